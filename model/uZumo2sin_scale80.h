#pragma once

#include "model/uZumo2sin.h"

#include <memory>

// Model code 14, "Zumo2 синх 80", "Scheme ID:13.0.0.0": 15 devices with 80 scale
// reference blocks (1204 bytes) in 0x0200 18380 bytes, the descriptions at 0x49CC,
// 0x74B0 600 bytes (from 0).

inline constexpr char Zumo2sin80DevScaleName[] = "TZumo2sin80_DevScale";
inline constexpr char Zumo2sin80ScaleTITName[] = "TZumo2sin80_ScaleTIT";
inline constexpr char Zumo2sin80DeviceName[] = "TZumo2sin80_Device";
using TZumo2sin80_DevScale = TNamedRecord<TDevScale, Zumo2sin80DevScaleName>;
using TZumo2sin80_ScaleTIT = TNamedRecord<TScaleTIT, Zumo2sin80ScaleTITName>;
using TZumo2sin80_Device = TZumo2SyncDevice<TZumo2sin80_DevScale, 80, Zumo2sin80DeviceName>;

class TZumo2sin80Doc : public TZumo2SyncDocOf<TZumo2sin80_Device, TZumo2sin80_ScaleTIT> {
public:
    const char* ClassName() const override { return "TZumo2sin80Doc"; }

protected:
    TZumo2sin80Doc();
};

// A code-14 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo2sin80Doc();
