#pragma once

#include "configurator/widgets/uParamFrame.h"

class QCheckBox;
class TDevice;
class TRadioGroup;
class TSpinEdit;

// The role page of a controlled point (КП): how the controller polls the device.
class TfrKPdpNone : public TParamFrame {
    Q_OBJECT
public:
    // The page's controls.
    static const TPageTable Table;

    TRadioGroup* rg013;
    TSpinEdit* edTSLink;
    TSpinEdit* edTITLink;
    TSpinEdit* ed0004;
    TSpinEdit* ed0013;
    TSpinEdit* ed0014;
    TSpinEdit* ed0015;
    TSpinEdit* ed055;
    QCheckBox* ch012;
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrKPdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
