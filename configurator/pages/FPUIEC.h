#pragma once

#include "configurator/pages/ProtocolFrame.h"
#include "configurator/pages/SharedPageControls.h"

class QCheckBox;
class QComboBox;
class TRadioGroup;
class TSpinEdit;

// The МЭК page of a control point (ПУ): the ASDU types and field sizes it answers
// with, its timing and its flags. Its encoding group rg013 stays hidden. Pelvar and
// Tramel-5141 devices lack "056_2", "079" and "iec_dp_ts_asdu": those controls stay
// unbound there. "Игнорировать данные в состоянии IV " shows only on the "Zumo2"
// document; a time sync period outside 0..59 minutes is refused silently.
class TfrPUIEC : public TProtocolFrame, public TIecAsduControls, public TIecSizeControls {
    Q_OBJECT
public:
    static const TPageTable Table;

    void FillLists() override;
    void Load(TFieldLst* list) override;

    TRadioGroup* rg013;
    QComboBox* cbTSDP_asdu;
    TSpinEdit* ed055;
    TSpinEdit* seMaxFrameSize;
    TSpinEdit* seSyncTime;
    QCheckBox* ch019;
    QCheckBox* ch020;
    QCheckBox* ch021;
    QCheckBox* ch074;
    QCheckBox* ch075;
    QCheckBox* ch078;
    QCheckBox* ch079;

protected:
    TfrPUIEC(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The page's veto: the time sync period.
    void Veto(const void* sender, TField* field, const Variant& value, TFieldLst* row, bool& accept);
};
