#include "configurator/pages/FPUIEC_Hask1.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paAsdu", .Kind = TPanelKind::Panel},
    {.Name = "gbSizes", .Kind = TPanelKind::Group, .Title = "Размеры полей"},
    {.Name = "gbTimeouts", .Kind = TPanelKind::Group, .Title = "Таймауты", .Columns = 2},
    {.Name = "gbWindow", .Kind = TPanelKind::Group, .Title = "Размеры окна", .Columns = 2},
    {.Name = "gbIEC", .Kind = TPanelKind::Group, .Title = "Формирование признака достоверности для МЭК"},
};

const TPageRow kEncoding[] = {
    {.Panel = nullptr, .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
};

const TPageRow kFlags[] = {
    {.Panel = nullptr, .Name = "ch019", .Kind = K::CheckBox, .Key = "019",
     .Caption = "Останавливать работу при пропадании связи с КП"},
    {.Panel = nullptr, .Name = "ch074", .Kind = K::CheckBox, .Key = "074", .Caption = "Полный опрос со временем"},
    {.Panel = nullptr, .Name = "ch075", .Kind = K::CheckBox, .Key = "075", .Caption = "Двухступенчатая команда ТУ"},
    {.Panel = "gbIEC", .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = "gbIEC", .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
};

const std::vector<TPageRow> kRows = TfrPUIEC_Hask1::Rows();

} // namespace

const TPageTable TfrPUIEC_Hask1::Table{"TfrPUIEC_Hask1", kPanels, kRows};

std::span<const TPagePanel> TfrPUIEC_Hask1::Panels() { return kPanels; }

std::vector<TPageRow> TfrPUIEC_Hask1::Rows()
{
    return JoinRows({kEncoding, IecAsduRows(), IecSizeRows("gbSizes"), IecTimeoutRows(), kFlags});
}

TfrPUIEC_Hask1::TfrPUIEC_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrPUIEC_Hask1(tree, device, TDeviceFamily::Hask, Table, parent)
{
}

TfrPUIEC_Hask1::TfrPUIEC_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family, const TPageTable& table,
                               QWidget* parent)
    : TFamilyRoleFrame(tree, device, family, TFamilyRolePage::PUIEC, table, parent)
{
    rg013 = Control<TRadioGroup>("rg013");
    TIecAsduControls::Take(Controls());
    TIecSizeControls::Take(Controls());
    TIecTimeoutControls::Take(Controls());
    gbSizes = Control<QGroupBox>("gbSizes");
    ch019 = Control<QCheckBox>("ch019");
    ch074 = Control<QCheckBox>("ch074");
    ch075 = Control<QCheckBox>("ch075");
    gbIEC = Control<QGroupBox>("gbIEC");
    ch020 = Control<QCheckBox>("ch020");
    ch021 = Control<QCheckBox>("ch021");
    rg013->hide();
}

void TfrPUIEC_Hask1::FillLists()
{
    for (QComboBox* combo : {cb065, cb066, cb067, cb061, cb062, cb063, cb064})
        FillCombo(combo, *IecRolePageItems(combo->objectName().toStdString()));
}
