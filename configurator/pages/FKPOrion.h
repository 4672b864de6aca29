#pragma once

#include "configurator/pages/FKPRelayProtection.h"

class QCheckBox;
class QLineEdit;

// The Орион-2 page of a controlled point (relay protection): device type, poll period,
// the values (group "ТИТ") and signals (group "ТС") to read, and the logical addresses
// of the TU1 state flags (VAK).
//
// The caption rule (OrionSignalCaptions, from the stored "DevType") runs at the end of
// Load and after every stored change of cbDevType; it sets captions only and stores
// nothing. The two VAK edits, text edits on word fields that store on every change,
// take digits only: a validator refuses any text with another character
// (VakCharacterAccepted), typed or pasted, and leaves editing keys alone. An emptied
// edit is no number: its store reports the conversion error and the field keeps its
// value.
class TFrKPOrion : public TfrRelayProtection {
    Q_OBJECT
public:
    static const TPageTable Table;

    QCheckBox* chP;
    QCheckBox* chQ;
    QCheckBox* chS;
    QCheckBox* chCosf;
    QCheckBox* cbTS_RPO;
    QCheckBox* cbTS_RPV;
    QCheckBox* cbTS_SIGN_Disable;
    QCheckBox* cbTS_SIGN_Enable;
    QCheckBox* cbTS_SIG_1MTZ;
    QCheckBox* cbTS_SIG_2MTZ;
    QCheckBox* cbTS_OZZ_Disable;
    QCheckBox* cbTS_OZZ_SIGN;
    QLineEdit* edVak_TU1_on;
    QLineEdit* edVak_TU1_off;

protected:
    TFrKPOrion(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The captions of the last four "ТС" boxes for the stored device type.
    void ApplyType() override;
};
