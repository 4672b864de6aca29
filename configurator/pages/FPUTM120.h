#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class TServiceAddressEdits;
class TSpinEdit;

// The ТМ 120 page, for both roles: the TU command binding, the service command address
// "AdrServiceCmdTM120" in three edits (TServiceAddressEdits, shown before the base
// Load) and the TIT answer while invalid. The block has no "AFBServTU": its edit stays
// disabled and unbound.
class TFrPUTM120 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void Load(TFieldLst* list) override;
    // The bound controls and the address edits shown again.
    void RefreshAll() override;

    QComboBox* cbServiceCmd;
    TSpinEdit* seAFBServTU;
    QGroupBox* gbServiceAddress; // "Назначение серв. ТУ1 - ТУ Компас"
    TSpinEdit* seServiceBlock;   // "N блока ТУ1"
    TSpinEdit* seServiceGroup;   // "N группы"
    TSpinEdit* seServiceObject;  // "N объекта"
    QCheckBox* chReqInvalidTIT;

protected:
    TFrPUTM120(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    TField* AddressField() const;

    TServiceAddressEdits* address_;
};
