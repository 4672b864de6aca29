#pragma once

#include "model/uZumo2.h"

#include <memory>
#include <string>
#include <vector>

// The Siemens model: the base controller with three devices that have room for the
// Siemens Symap block, and a table of register names.

// A device whose protocol area (1126 bytes) holds the Siemens Symap block: its record
// is 94 + 1126 + 240 + 160 + 160 = 1780 bytes, its channel blocks from 1220.
class TZumo2SiemensDevice : public TDevice {
public:
    const char* ClassName() const override { return "TZumo2SiemensDevice"; }

protected:
    using TDevice::TDevice;
    int32_t ProtocolAreaSize() const override { return TDevProtocolSiemensSymap::AreaSize; }
};

// Model code 17, "Zumo2 Siemens" (its Name stays "Zumo2"); scheme "Scheme ID:15.0.0.0";
// the КП protocols of the base model and Siemens Symap. The image, from BaseAddress,
// in this order:
//   0x0000, 84 bytes: the ports, the common fields and "SchemeID" of the base model;
//   0x67D6, 1045 bytes: "SRegisterRef", the register names, 16 slots of 65 bytes;
//   0x0200, 5660 bytes: 3 devices of 1780 bytes, 20 logical channels from 5340;
//   0x7000, 1800 bytes: 50 TIT apertures from 1200, 50 TIT conversions from 1400.
class TZumo2SiemensDoc : public TZumo2Doc {
public:
    static constexpr int RegisterNames = 16;

    TFlashFixedStringsStorage* SRegisterRef = nullptr; // also the child "SRegisterRef"

    const char* ClassName() const override { return "TZumo2SiemensDoc"; }

    void Build() override;

    // The name of register n (0..15); "Range error" outside.
    std::string GetRegisterName(int n) const;
    // Stores the name of register n, cut to 64 characters; "Range error" outside. Sets
    // no Modified flag.
    void SetRegisterName(int n, const std::string& name);

protected:
    TZumo2SiemensDoc();
    // The model's name, given after the base named the document.
    void AfterConstruction() override;
    void BuildDevices(TLayout& layout, int count) override;
};

// A Siemens document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo2SiemensDoc();
