#pragma once

#include "model/uZumo2sin.h"
#include "model/uZumo7.h"

#include <memory>

// The synchronous Zumo 7 model: the Zumo 7 board, meta record, ports and channels, with
// the sync model's devices of 60 TIT conversion references and a description for each
// TIT conversion.

inline constexpr char Zumo7sinDevScaleName[] = "TZumo7sin_DevScale";
inline constexpr char Zumo7sinScaleTITName[] = "TZumo7sin_ScaleTIT";
inline constexpr char Zumo7sinDeviceName[] = "TZumo7sin_Device";
using TZumo7sin_DevScale = TNamedRecord<TDevScale, Zumo7sinDevScaleName>;
using TZumo7sin_ScaleTIT = TNamedRecord<TScaleTIT, Zumo7sinScaleTITName>;
// 60 scale reference blocks: 1044-byte devices.
using TZumo7sin_Device = TZumo2SyncDevice<TZumo7sin_DevScale, 60, Zumo7sinDeviceName>;

// Model code 16, "Zumo7sin", "Scheme ID:14.0.0.0". The image, in this order:
//   0xB700, 64 bytes and 0x0000, 108 bytes: as the Zumo 7 document;
//   0x0200, 21200 bytes: 20 TZumo7sin_Device, then 20 logical channels;
//   0x55D0, 6455 bytes: "scaleTIT_descrList" (0x100 bytes behind the device block);
//   0x7000, 1800 bytes: 50 TIT apertures from 1200, then 50 TZumo7sin_ScaleTIT;
//   0x9000, 640 bytes: 16 own channels, then 16 DIO channels.
// The "descr" proxies of the conversions and the device scale blocks are bound after
// the TIT block and before the channel block.
class TZumo7sinDoc : public TZumo7Doc {
public:
    const char* ClassName() const override { return "TZumo7sinDoc"; }

    void Build() override;

    // The child "scaleTIT_descrList".
    TFlashFixedStringsStorage* ScaleDescriptions() const { return descriptions_; }

protected:
    TZumo7sinDoc();
    void BuildDevices(TLayout& layout, int count) override;
    void BuildScales(TLayout& layout, int count) override;

private:
    TFlashFixedStringsStorage* descriptions_ = nullptr;
};

// A code-16 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo7sinDoc();
