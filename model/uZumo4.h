#pragma once

#include "model/uZumo2.h"

#include <cstdint>
#include <memory>
#include <span>

// Model code 2, "Zumo4", "Scheme ID:8.0.0.0": the base model's image with three ports
// in its header:
//   "UART0" TPortCOM "COM" (duplex 0), "UART1" TUART "XPort" (duplex 1),
//   "UART2" TUART "485" (duplex 0), and no "USB" record;
//   the common fields at 24, "SchemeID" at 56, bytes 76..83 reserved.
// The first channel block of its first device gets defaults of its own.
class TZumo4Doc : public TZumo2Doc {
public:
    const char* ClassName() const override { return "TZumo4Doc"; }

    // The base model's steps, then ApplyFirstDeviceDefaults.
    void Build() override;

    // Only on a document whose class is exactly TZumo4Doc (no descendant), whose first
    // device has more than three channel blocks: the defaults (not the values) of that
    // device's first channel block become "0001" 0, "0002" 4, "0003" 1, "0004" 0.
    // ResetDefaults then stores them.
    void ApplyFirstDeviceDefaults();

protected:
    TZumo4Doc() : TZumo4Doc("Zumo4") {}
    // Descendants name their model; the name replaces ModelName once the base named
    // the document.
    explicit TZumo4Doc(const char* modelName) : modelName_(modelName) {}

    // One port record of a header table: a TPortCOM or a plain TUART.
    struct TPortRow {
        const char* Key;
        bool Com;
        const char* Caption;
        int32_t DuplexDefault;
    };
    // The records of a table, one after the other from the running offset.
    static void LayPorts(TLayout& layout, std::span<const TPortRow> ports);

    void AfterConstruction() override;
    void BuildPorts(TLayout& layout) override;

private:
    const char* modelName_;
};

// A code-2 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo4Doc();
