#pragma once

#include "configurator/pages/GranitFrame.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class TServiceAddressEdits;
class TSpinEdit;

// The Гранит page of a control point: the serviced TU block, the answers while invalid,
// the cyclic periods (gbCyclic "Циклическая выдача"), the service command with "номер",
// the function block table, the service command address "AdrServiceCmdGranit" in three
// edits (gbServiceAddress "Назначение серв. ТУ1 - ТУ Гранит") and the TU time-out.
// cb0901 and ed0909 are bound and hidden. The page has no block check.
//
// cbServiceCmd and "номер" follow the document's family (GranitCommandsOf): bound to
// "BindTUGranit_CmdTU" with "номер" hidden on Zumo 9 documents, to "ServicedPUTU"
// elsewhere.
//
// The address edits (TServiceAddressEdits) are shown from the field with their
// signals blocked before the base Load and store the encoded byte at once when the
// user changes one. Changes of seAFBServTU and seTU_ExecTimeout store it too, after
// their own store (the byte does not depend on them: it is written unchanged).
class TFrPUGranit : public TGranitFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void FillLists() override;
    void Load(TFieldLst* list) override;
    // The bound controls, the cells and the address edits shown again.
    void RefreshAll() override;

    TSpinEdit* seAFBServTU;
    QComboBox* cbServiceCmd;
    QCheckBox* chReqInvalidTS;
    QCheckBox* chReqInvalidTIT;
    QComboBox* cb0901;
    TSpinEdit* ed0909;
    QGroupBox* gbCyclic;
    TSpinEdit* ed0907;
    TSpinEdit* ed0908;
    QGroupBox* gbServiceAddress;
    TSpinEdit* seServiceBlock;  // "N блока ТУ1"
    TSpinEdit* seServiceGroup;  // "N группы"
    TSpinEdit* seServiceObject; // "N объекта"
    TSpinEdit* seTU_ExecTimeout;

protected:
    TFrPUGranit(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    TField* AddressField() const;

    TServiceAddressEdits* address_;
};
