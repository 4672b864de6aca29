#pragma once

#include "configurator/pages/ProtocolFrame.h"

#include <array>

class QCheckBox;
class TRadioGroup;
class TSpinEdit;

// The УТМ-7 page of a controlled point: the TI sign option and the seven information
// messages, each an address or group (a spin edit over its 3-bit field, 0..7) with its
// kind "TC" or "ТИТ" beside it, on the keys UTM7MessageKeys gives.
class TfrKPUTM7 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QCheckBox* ch2302;
    // Message n at n - 1: ed009_utm7_01_a .. ed012_utm7_07_a, rg009_utm7_01_t ..
    // rg012_utm7_07_t.
    std::array<TSpinEdit*, UTM7Messages> edAddress;
    std::array<TRadioGroup*, UTM7Messages> rgKind;

protected:
    TfrKPUTM7(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
