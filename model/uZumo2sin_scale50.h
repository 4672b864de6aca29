#pragma once

#include "model/uZumo2sin.h"

#include <memory>

// Model code 15, "Zumo2 синх 50", "Scheme ID:9.0.0.0": 20 devices with 50 scale
// reference blocks (964 bytes) in 0x0200 19600 bytes (ending at 0x4E90), the
// descriptions at 0x5490, 0x74B0 600 bytes (from 0). The 0x600 bytes between the
// table and the descriptions belong to no block.

inline constexpr char Zumo2sin50DevScaleName[] = "TZumo2sin50_DevScale";
inline constexpr char Zumo2sin50ScaleTITName[] = "TZumo2sin50_ScaleTIT";
inline constexpr char Zumo2sin50DeviceName[] = "TZumo2sin50_Device";
using TZumo2sin50_DevScale = TNamedRecord<TDevScale, Zumo2sin50DevScaleName>;
using TZumo2sin50_ScaleTIT = TNamedRecord<TScaleTIT, Zumo2sin50ScaleTITName>;
using TZumo2sin50_Device = TZumo2SyncDevice<TZumo2sin50_DevScale, 50, Zumo2sin50DeviceName>;

class TZumo2sin50Doc : public TZumo2SyncDocOf<TZumo2sin50_Device, TZumo2sin50_ScaleTIT> {
public:
    const char* ClassName() const override { return "TZumo2sin50Doc"; }

protected:
    TZumo2sin50Doc();
};

// A code-15 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo2sin50Doc();
