#include "configurator/pages/FKPKOMPAS.h"

#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paType", .Kind = TPanelKind::Panel},
    {.Name = "paValues", .Kind = TPanelKind::Panel},
    {.Name = "gbLinkDown", .Kind = TPanelKind::Group, .Title = "Обработка события пропадания связи"},
    {.Name = "gbRoute", .Kind = TPanelKind::Group, .Title = "Промежуточные ПУ НУ"},
};

// The route controls but cb0512 have no key: the route rule binds them.
const TPageRow kRows[] = {
    {.Panel = "paType", .Name = "cb5001", .Kind = K::ComboBox, .Key = "5001", .Caption = " Тип устройства"},
    {.Panel = nullptr, .Name = "ch5002", .Kind = K::CheckBox, .Key = "5002", .Caption = "Установка времени"},
    {.Panel = nullptr, .Name = "ch5003", .Kind = K::CheckBox, .Key = "5003",
     .Caption = "События по ТС формировать из архива УКПМ"},
    {.Panel = "paValues", .Name = "ed5004", .Kind = K::SpinEdit, .Key = "5004", .Caption = "Пауза между посылками ТУ",
     .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0506", .Kind = K::SpinEdit, .Key = "0506", .Caption = "Период ОТ", .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0507", .Kind = K::SpinEdit, .Key = "0507", .Caption = "Период ЗМТС", .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0508", .Kind = K::SpinEdit, .Key = "0508", .Caption = "Период ЗГТИТ", .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0509", .Kind = K::SpinEdit, .Key = "0509", .Caption = "Период ЗГТИИ", .Unit = "с"},
    {.Panel = "gbLinkDown", .Name = "cbLinkDownEvent", .Kind = K::ComboBox, .Key = "TrigEvenLinkDown_Cmd",
     .Caption = "Выполнить"},
    {.Panel = "gbLinkDown", .Name = "edCmdTimeout", .Kind = K::SpinEdit, .Key = "TrigEvenLinkDown_Timeout",
     .Caption = "Таймаут (c.)"},
    {.Panel = "gbLinkDown", .Name = "seCmdRepeatCount", .Kind = K::SpinEdit, .Key = "TrigEvenLinkDown_RepeatCount",
     .Caption = "Кво повторов"},
    {.Panel = "gbRoute", .Name = "cb0512", .Kind = K::ComboBox, .Key = "0512", .Caption = "Количество"},
    {.Panel = "gbRoute", .Name = "edPUNU1", .Kind = K::SpinEdit, .Key = nullptr,
     .Caption = "Адрес промежуточного ПУ НУ 1", .Minimum = 0, .Maximum = 255},
    {.Panel = "gbRoute", .Name = "edPUNU2", .Kind = K::SpinEdit, .Key = nullptr,
     .Caption = "Адрес промежуточного ПУ НУ 2", .Minimum = 0, .Maximum = 255},
    {.Panel = "gbRoute", .Name = "edPUNU3", .Kind = K::SpinEdit, .Key = nullptr,
     .Caption = "Адрес промежуточного ПУ НУ 3", .Minimum = 0, .Maximum = 255},
    {.Panel = "gbRoute", .Name = "cbDirect", .Kind = K::ComboBox, .Key = nullptr,
     .Caption = "Направление конечного ПУ НУ"},
    {.Panel = "gbRoute", .Name = "edAddrKP", .Kind = K::SpinEdit, .Key = nullptr, .Caption = "Адрес устройства КП",
     .Minimum = 0, .Maximum = 255},
};

} // namespace

const TPageTable TfrKPKOMPAS::Table{"TfrKPKOMPAS", kPanels, kRows};

TfrKPKOMPAS::TfrKPKOMPAS(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPKOMPAS, Table, parent)
{
    cb5001 = Control<QComboBox>("cb5001");
    ch5002 = Control<QCheckBox>("ch5002");
    ch5003 = Control<QCheckBox>("ch5003");
    ed5004 = Control<TSpinEdit>("ed5004");
    ed0506 = Control<TSpinEdit>("ed0506");
    ed0507 = Control<TSpinEdit>("ed0507");
    ed0508 = Control<TSpinEdit>("ed0508");
    ed0509 = Control<TSpinEdit>("ed0509");
    cbLinkDownEvent = Control<QComboBox>("cbLinkDownEvent");
    edCmdTimeout = Control<TSpinEdit>("edCmdTimeout");
    seCmdRepeatCount = Control<TSpinEdit>("seCmdRepeatCount");
    gbRoute = Control<QGroupBox>("gbRoute");
    cb0512 = Control<QComboBox>("cb0512");
    edPUNU = {Control<TSpinEdit>("edPUNU1"), Control<TSpinEdit>("edPUNU2"), Control<TSpinEdit>("edPUNU3")};
    lbPUNU_ = {Control<QLabel>("lbPUNU1"), Control<QLabel>("lbPUNU2"), Control<QLabel>("lbPUNU3")};
    cbDirect = Control<QComboBox>("cbDirect");
    edAddrKP = Control<TSpinEdit>("edAddrKP");
}

int TfrKPKOMPAS::FieldValue(const char* key) const
{
    const auto* field = dynamic_cast<const TField*>(Device()->FindField(key));
    return field ? field->GetValue().ToInt32() : 0;
}

void TfrKPKOMPAS::Load(TFieldLst* list)
{
    ApplyRoute(list);
    SetChangeHandler(cb5001, [this](const void*) { ApplyRoute(FieldList); });
    SetChangeHandler(cb0512, [this](const void*) { ApplyRoute(FieldList); });
}

void TfrKPKOMPAS::ApplyRoute(TFieldLst* list)
{
    const TKompasRoute route = KompasRouteOf(FieldValue("5001"), FieldValue("0512"));
    gbRoute->setVisible(route.Shown);
    const auto bind = [this](QWidget* control, const char* key) {
        if (key)
            BindControl(control, key);
        else
            UnbindControl(control);
    };
    for (size_t i = 0; i < edPUNU.size(); ++i) {
        bind(edPUNU[i], route.StationKeys[i]);
        const bool station = route.StationKeys[i] != nullptr;
        edPUNU[i]->setVisible(station);
        lbPUNU_[i]->setVisible(station);
    }
    bind(cbDirect, route.DirectionKey);
    bind(edAddrKP, route.AddressKey);
    if (!route.Shown) {
        for (const char* key : KompasRouteKeys())
            if (auto* field = dynamic_cast<TField*>(Device()->FindField(key))) field->ResetDefaults();
    }
    TProtocolFrame::Load(list);
}
