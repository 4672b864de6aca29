#pragma once

#include "model/uZumo2sin.h"

#include <memory>
#include <string>
#include <vector>

// The Dravo 7 controller: two ports ("Port B" and "Port A") and a USB link under a
// header of its own, and its synchronous variant. Both documents lay out their whole
// image themselves; the base model's port and common-field steps are not used, since
// the keys "021" .. "049" lie elsewhere here ("027" is bit 6 of the word at 34, not
// bit 8).
//
// Header block 0x0000, 76 bytes, of both documents:
//   0 "UART0" TPortCOM "Port B", 8 "UART1" "Port A", 16 "USB" TUART (duplex 1);
//   24 "noname_0" and 28 "noname_1" (longwords), 32 "noname_2" (word);
//   34 the word of the bits "021" .. "028" (bits 0 .. 7);
//   36 .. 46 the words "040" .. "045"; 48 "048" and 49 "049" (signed bytes, -1);
//   50 "047" (word); 52 "noname_3" (longword); 56 "SchemeID" (20 characters).
// The header has no "time_offset", "inv_all_ts", "settime_test", "TS_DPI_buf_size" or
// "XPORT_settime_p".

// "Port A" of the Dravo 7: a plain port on which only the mode "016" and the duplex
// setting "018" may differ from their defaults.
class TPortA : public TUART {
public:
    const char* ClassName() const override { return "TPortA"; }

    // TUART's flags (every field fixed), then "016" and "018" freed by key.
    void MarkFixedFields() override;

protected:
    using TUART::TUART;
};

// The Dravo 7 document (model code 5), "Dravo7", named "Контроллер Dravo7" in the
// field tree, "Scheme ID:8.0.0.0". Its image:
//   0x0000, 76 bytes: the header above, "UART1" a TPortA;
//   0x0200, 14800 bytes: 20 TDevice, then 20 TLogic at 14480;
//   0x7000, 1925 bytes: from 1200, 50 TIT apertures, 50 TIT conversions, then 125 TS
//     inversion records "Инверсия_ТС_01" .. "Инверсия_ТС_125" at 1800 .. 1924, in
//     the document's inverse-TS list in that order. Their keys of three digits sort
//     among those of two, so walk the list, not the field order.
class TDravo7Doc : public TZumo2Doc {
public:
    static constexpr int InverseTSRecords = 125;

    const char* ClassName() const override { return "TDravo7Doc"; }

    void Build() override;
    // "Port B", "Port A".
    std::vector<std::string> GetPortNames() const override;

protected:
    TDravo7Doc() = default;
    void AfterConstruction() override;
};

// The block records of the synchronous Dravo 7, of their own class names.
inline constexpr char Dravo7sinDevScaleName[] = "TDravo7sin_DevScale";
inline constexpr char Dravo7sinScaleTITName[] = "TDravo7sin_ScaleTIT";
using TDravo7sin_DevScale = TNamedRecord<TDevScale, Dravo7sinDevScaleName>;
using TDravo7sin_ScaleTIT = TNamedRecord<TScaleTIT, Dravo7sinScaleTITName>;

// A device of the synchronous Dravo 7: 60 aperture blocks ("Apperture00" ..,
// captioned "Канал апертуры 01" ..) from 404 and 60 TDravo7sin_DevScale blocks
// ("Scales00" .., "Канал преобр. ТИТ 01" ..) from 884, so 1364 bytes.
class TDravo7sin_Device : public TDevice {
public:
    static constexpr int ApertureBlocks = 60;
    static constexpr int ScaleBlocks = 60;

    const char* ClassName() const override { return "TDravo7sin_Device"; }

protected:
    using TDevice::TDevice;
    void AddApertureBlocks(TLayout& layout) override;
    void AddScaleBlocks(TLayout& layout) override;
};

// The synchronous Dravo 7 document (model code 13), "Dravo7 синх", "Scheme ID:12.0.0.0";
// its node name stays the base model's, "Zumo2". Its image:
//   0x0000, 76 bytes: the header above, "UART1" a TPortCOM;
//   0x0200, 13595 bytes: 5 TDravo7sin_Device, then 20 TLogic at 6820, then
//     "scaleTIT_descrList" at 7140 (image 0x1DE4; version 1, 50 slots of 129 bytes);
//   0x7000, 1800 bytes: from 1200, 50 TIT apertures, then 50 TDravo7sin_ScaleTIT.
// Every conversion and every device scale block gets its "descr" proxy on the
// descriptions, as in the Zumo 2 sync documents. It has no TS inversion records.
class TDravo7_sinDoc : public TZumo2Doc {
public:
    static constexpr int Devices = 5;

    TFlashFixedStringsStorage* ScaleDescriptions = nullptr; // the child "scaleTIT_descrList"

    const char* ClassName() const override { return "TDravo7_sinDoc"; }

    void Build() override;
    // "Port B", "Port A".
    std::vector<std::string> GetPortNames() const override;
    // Adds the "descr" proxies to the conversions and the device scale blocks.
    void BindScaleDescriptions();

protected:
    TDravo7_sinDoc();
    void AfterConstruction() override;
    void BuildDevices(TLayout& layout, int count) override;
    void BuildScales(TLayout& layout, int count) override;
};

// A code-5 or code-13 document, built (its fields read zeros); ResetDefaults gives it
// its default contents.
std::unique_ptr<TZumo2Doc> MakeDravo7Doc();
std::unique_ptr<TZumo2Doc> MakeDravo7_sinDoc();
