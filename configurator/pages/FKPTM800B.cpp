#include "configurator/pages/FKPTM800B.h"

#include "configurator/widgets/ParamControls.h"

#include <QComboBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kRows[] = {
    {.Panel = "paValues", .Name = "ed4001", .Kind = K::SpinEdit, .Key = "4001", .Caption = "Удержание ТУ не менее",
     .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed4006", .Kind = K::SpinEdit, .Key = "4006", .Caption = "Период опроса устройства"},
    {.Panel = "paValues", .Name = "cb04007", .Kind = K::ComboBox, .Key = "4007", .Beside = true},
};

} // namespace

const TPageTable TfrKPTM800B::Table{"TfrKPTM800B", kPanels, kRows};

TfrKPTM800B::TfrKPTM800B(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPTM800B, Table, parent)
{
    ed4001 = Control<TSpinEdit>("ed4001");
    ed4006 = Control<TSpinEdit>("ed4006");
    cb04007 = Control<QComboBox>("cb04007");
}
