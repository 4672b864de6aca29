#pragma once

#include "configurator/rules/PageTable.h"
#include "configurator/widgets/GridFrame.h"

#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class TDevice;
class TSpinEdit;

// The DCON page of a controlled point (protocol index 8), over the device whose active
// block is the DCON block: the module type, the TIT option, the TU hold time and the
// poll period with its unit (Table), and below them the group gbParamTU "Назначение
// каналов ТУ" holding the TU table vtGrid, one row per relay map of the block
// (DconRelayGridSpec, DconRelayRows in configurator/rules/ProtocolPageRules.h).
//
// The grid page that also binds controls: Load adds the 16 rows, binds the table's
// controls and shows their values. FillLists fills cb0801 for the device's class once:
// "I-7017" only on a Tramel-5141 device, so that nothing is removed after the values
// are shown and a stored type no item carries shows no selection and is kept.
// UpdateControls (every idle cycle) enables and shows by DconControlsOf from the item
// selected in cb0801 and never stores. The page's height follows its layout: the device
// page hosting it re-fits its panel when the table shows or hides. The page is at least
// 500 pixels wide and never narrower than its grid. Object name "frKPDCON"; made by
// MakeFrame with (tree, device, host panel).
class TfrKPDCON : public TGridFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QComboBox* cb0801;   // "Тип устройства"
    QCheckBox* ch0802;   // "Выдавать ТИТ без преобразования"
    TSpinEdit* ed0803;   // "Удерживать ТУ не менее", in "мс"
    QLabel* lb0803;      // its caption
    QLabel* lb0803Unit;  // its unit
    TSpinEdit* ed0806;   // "Период опроса устройства"
    QComboBox* cb0807;   // the period's unit
    QGroupBox* gbParamTU; // "Назначение каналов ТУ", holding vtGrid

    TDevice* Device() const { return device_; }

    void FillLists() override;
    // The rows, the controls' bindings and values, then the rules applied once.
    void Load(TFieldLst* list) override;
    void UpdateControls() override;

protected:
    TfrKPDCON(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

    std::vector<TGridRow> GridRows() override;

private:
    TDevice* device_;
    bool grendal_; // a Tramel-5141 device
};
