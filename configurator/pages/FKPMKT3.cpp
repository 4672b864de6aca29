#include "configurator/pages/FKPMKT3.h"

#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kRows[] = {
    {.Panel = "paValues", .Name = "ch1202", .Kind = K::CheckBox, .Key = "1202", .Caption = "Обратная связь"},
    {.Panel = "paValues", .Name = "ch1204", .Kind = K::CheckBox, .Key = "1204",
     .Caption = "Передача младшего бита в группе ТС"},
    {.Panel = "paValues", .Name = "ed011_mkt3_01", .Kind = K::SpinEdit, .Key = "011_mkt3_01",
     .Caption = "Количество слов в цикле"},
    {.Panel = "paValues", .Name = "ch1205", .Kind = K::CheckBox, .Key = "1205", .Caption = "Инверсия ТС"},
};

} // namespace

const TPageTable TfrKPMKT3::Table{"TfrKPMKT3", kPanels, kRows};

TfrKPMKT3::TfrKPMKT3(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPMKT3, Table, parent)
{
    ch1202 = Control<QCheckBox>("ch1202");
    ch1204 = Control<QCheckBox>("ch1204");
    ed011_mkt3_01 = Control<TSpinEdit>("ed011_mkt3_01");
    ch1205 = Control<QCheckBox>("ch1205");
}
