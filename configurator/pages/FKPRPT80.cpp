#include "configurator/pages/FKPRPT80.h"

#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kKPRows[] = {
    {.Panel = "paValues", .Name = "ed1910", .Kind = K::SpinEdit, .Key = "1910", .Caption = "Интервал выдачи данных",
     .Unit = "с"},
};

const TPageRow kPURows[] = {
    {.Panel = nullptr, .Name = "ch1902", .Kind = K::CheckBox, .Key = "1902",
     .Caption = "Фильтровать недостоверные данные"},
};

} // namespace

const TPageTable TfrKPRPT80::Table{"TfrKPRPT80", kPanels, kKPRows};
const TPageTable TfrPURPT80::Table{"TfrPURPT80", {}, kPURows};

TfrKPRPT80::TfrKPRPT80(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPRPT80, Table, parent)
{
    ed1910 = Control<TSpinEdit>("ed1910");
}

TfrPURPT80::TfrPURPT80(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::PURPT80, Table, parent)
{
    ch1902 = Control<QCheckBox>("ch1902");
}
