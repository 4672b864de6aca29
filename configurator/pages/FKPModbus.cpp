#include "configurator/pages/FKPModbus.h"

#include "configurator/widgets/ParamControls.h"

#include <QComboBox>
#include <QLabel>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

// "Алгоритм ТУ" right above the request functions, so that it takes their place.
const TPageRow kRows[] = {
    {.Panel = "paValues", .Name = "cb0201", .Kind = K::ComboBox, .Key = "0201", .Caption = "Тип устройства"},
    {.Panel = "paValues", .Name = "ed0203", .Kind = K::SpinEdit, .Key = "0203", .Caption = "Удержание ТУ не менее",
     .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0108", .Kind = K::SpinEdit, .Key = "0206", .Caption = "Период опроса устройства"},
    {.Panel = "paValues", .Name = "cb0207", .Kind = K::ComboBox, .Key = "0207", .Beside = true},
    {.Panel = "paValues", .Name = "cb0208", .Kind = K::ComboBox, .Key = "0208", .Caption = "Алгоритм ТУ"},
    {.Panel = "paValues", .Name = "cb0209", .Kind = K::ComboBox, .Key = "0209", .Caption = "Функция запроса ТС"},
    {.Panel = "paValues", .Name = "cb0210", .Kind = K::ComboBox, .Key = "0210", .Caption = "Функция запроса ТИТ"},
};

} // namespace

const TPageTable TfrKPModbus::Table{"TfrKPModbus", kPanels, kRows};

TfrKPModbus::TfrKPModbus(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPModbus, Table, parent)
{
    cb0201 = Control<QComboBox>("cb0201");
    ed0203 = Control<TSpinEdit>("ed0203");
    ed0108 = Control<TSpinEdit>("ed0108");
    cb0207 = Control<QComboBox>("cb0207");
    cb0208 = Control<QComboBox>("cb0208");
    cb0209 = Control<QComboBox>("cb0209");
    cb0210 = Control<QComboBox>("cb0210");
    lb0208 = Control<QLabel>("lb0208");
    lb0209 = Control<QLabel>("lb0209");
    lb0210 = Control<QLabel>("lb0210");
}

void TfrKPModbus::UpdateControls()
{
    std::optional<int> type;
    if (cb0201->currentIndex() >= 0) type = cb0201->currentData().toInt();
    const TModbusControls shown = ModbusControlsOf(type);
    for (QWidget* w : {static_cast<QWidget*>(cb0209), static_cast<QWidget*>(lb0209), static_cast<QWidget*>(cb0210),
                       static_cast<QWidget*>(lb0210)})
        SetShown(w, shown.RequestFunctionsShown);
    SetShown(cb0208, shown.TUAlgorithmShown);
    SetShown(lb0208, shown.TUAlgorithmShown);
}
