#pragma once

#include "configurator/widgets/uParamFrame.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class TRadioGroup;
class TSpinEdit;
class TUART;

// The page of one port: its mode, flags and leader durations. The mode rule
// (PortModeRule) enables the flags and durations only in the synchronous mode. The
// Dravo 7's "Port A" shows only the group holding "Дуплекс", with the mode disabled.
class TfrPort : public TParamFrame {
    Q_OBJECT
public:
    void FillLists() override;
    void Load(TFieldLst* list) override;

    QGroupBox* gbMode; // the mode with "Дуплекс"
    QComboBox* cb016;
    QCheckBox* ch018;
    QGroupBox* gbFlags;
    QCheckBox* chInverseRxD;
    QCheckBox* chInverseTxD;
    TRadioGroup* rgLevel;
    QCheckBox* ch058;
    QCheckBox* chFullPacket;
    QCheckBox* chInversDE;
    QGroupBox* gbTimes; // the leader durations
    TSpinEdit* edSendLider;
    TSpinEdit* edWindow;

protected:
    TfrPort(QTreeWidget* tree, TUART* port, QWidget* parent = nullptr);

private:
    // Enables or disables the page's controls by the selected mode; the mode combo's
    // own change handler.
    void ApplyModeRule();

    TUART* port_;
};
