#pragma once

#include "configurator/pages/SharedPageControls.h"
#include "configurator/widgets/uParamFrame.h"

class QCheckBox;
class TDevice;
class TRadioGroup;
class TSpinEdit;

// The role page of a controlled point (КП): how the controller polls the device.
class TfrKPdpNone : public TParamFrame, public TPollSettingControls {
    Q_OBJECT
public:
    // The page's controls.
    static const TPageTable Table;

    TRadioGroup* rg013;
    TSpinEdit* ed055;
    QCheckBox* ch012;
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrKPdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
