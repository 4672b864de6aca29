#pragma once

#include "configurator/pages/FKPRelayProtection.h"

class QCheckBox;

// The Сириус-2 page of a controlled point (relay protection): device type, poll period
// and the values and signals to read.
//
// The type rule (SiriusLayoutOf, from the selected type's value) runs at the end of Load
// and after every stored change of cbDevType: for a type without voltage inputs it
// unticks the voltage boxes (SiriusVoltageControls), each storing 0 through the change
// cycle, even when the page merely shows; it shows those boxes only for the types with
// voltage inputs and captions three signal boxes by the type. Captions and visibility
// store nothing. With no type selected (a stored type above 5) the boxes are hidden and
// nothing else changes.
class TFrKPSirius_2V : public TfrRelayProtection {
    Q_OBJECT
public:
    static const TPageTable Table;

    QCheckBox* cbTS_LedGuard;
    QCheckBox* cbTS_RPV;
    QCheckBox* cbTS_RPO;
    QCheckBox* cbTS_SIG_1MTZ;
    QCheckBox* cbTS_SIG_2MTZ;
    QCheckBox* cbTS_OZZ;
    QCheckBox* chTS_SwitchState;

protected:
    TFrKPSirius_2V(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    void ApplyType() override;
};
