#include "configurator/pages/FKPIEC.h"

#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"
#include "platform/Format.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include <string>
#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paSizes", .Kind = TPanelKind::Panel},
    {.Name = "gbTimeouts", .Kind = TPanelKind::Group, .Title = "Таймауты", .Columns = 2},
    {.Name = "gbWindow", .Kind = TPanelKind::Group, .Title = "Размеры окна", .Columns = 2},
    {.Name = "paValues", .Kind = TPanelKind::Panel},
    {.Name = "gbGroupPoll", .Kind = TPanelKind::Group, .Title = "Групповой опрос, с ", .Columns = 4},
};

const TPageRow kHead[] = {
    {.Panel = "paSizes", .Name = "cb061", .Kind = K::ComboBox, .Key = "061", .Caption = "Причина передачи"},
    {.Panel = "paSizes", .Name = "cb062", .Kind = K::ComboBox, .Key = "062", .Caption = "Канальный адрес"},
    {.Panel = "paSizes", .Name = "cb063", .Kind = K::ComboBox, .Key = "063", .Caption = "Общий адрес ASDU"},
    {.Panel = "paSizes", .Name = "cb064", .Kind = K::ComboBox, .Key = "064", .Caption = "Адрес объекта информации"},
    {.Panel = "gbTimeouts", .Name = "ed090", .Kind = K::SpinEdit, .Key = "090", .Caption = "T0", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed091", .Kind = K::SpinEdit, .Key = "091", .Caption = "T1", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed092", .Kind = K::SpinEdit, .Key = "092", .Caption = "T2", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed093", .Kind = K::SpinEdit, .Key = "093", .Caption = "T3", .Unit = "с"},
    {.Panel = "gbWindow", .Name = "ed094", .Kind = K::SpinEdit, .Key = "094", .Caption = "К"},
    {.Panel = "gbWindow", .Name = "ed095", .Kind = K::SpinEdit, .Key = "095", .Caption = "W"},
    {.Panel = "paValues", .Name = "ed0104", .Kind = K::SpinEdit, .Key = "0104", .Caption = "Таймаут операции ТУ",
     .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0107", .Kind = K::SpinEdit, .Key = "0107", .Caption = "Цикл опроса", .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0108", .Kind = K::SpinEdit, .Key = "0108", .Caption = "Период полного опроса",
     .Unit = "с"},
    {.Panel = "paValues", .Name = "seMaxFrameSize", .Kind = K::SpinEdit, .Key = "101", .Caption = "Макс. размер кадра",
     .Unit = "байт", .Minimum = 0, .Maximum = 255},
};

const TPageRow kTail[] = {
    {.Panel = nullptr, .Name = "ch0102", .Kind = K::CheckBox, .Key = "0102", .Caption = "Установка времени"},
    {.Panel = nullptr, .Name = "ch0103", .Kind = K::CheckBox, .Key = "0103",
     .Caption = "Ретрансляция полного/группового опроса"},
    {.Panel = nullptr, .Name = "ch0105", .Kind = K::CheckBox, .Key = "0105", .Caption = "Двухступенчатая команда ТУ"},
    {.Panel = nullptr, .Name = "ch0106", .Kind = K::CheckBox, .Key = "0106",
     .Caption = "Игнорировать данные в состоянии IV "},
    // Check boxes on the device record's 1-bit fields, whatever their prefix says.
    {.Panel = nullptr, .Name = "cbBroadCastSetTime", .Kind = K::CheckBox, .Key = "051",
     .Caption = "Поддержка широковещательных команд"},
    {.Panel = nullptr, .Name = "cbChannCheckBS", .Kind = K::CheckBox, .Key = "052",
     .Caption = "Разовая проверка перед началом передачи"},
    {.Panel = nullptr, .Name = "cbBalanceMode", .Kind = K::CheckBox, .Key = "053", .Caption = "Балансный режим"},
};

// The group poll periods n = 1 .. 16: ed0109 .. ed0124, captioned with n.
constexpr int kGroupPolls = 16;

const std::vector<TPageRow> kRows = RowsWithRun(kHead, 1, kGroupPolls, [](int n) -> TPageRow {
    const std::string key = platform::Format("%.4d", 108 + n);
    return {.Panel = "gbGroupPoll", .Name = KeptText("ed" + key), .Kind = K::SpinEdit, .Key = KeptText(key),
            .Caption = KeptText(std::to_string(n))};
}, kTail);

} // namespace

const TPageTable TfrKPIEC::Table{"TfrKPIEC", kPanels, kRows};

TfrKPIEC::TfrKPIEC(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPIEC, Table, parent)
{
    cb061 = Control<QComboBox>("cb061");
    cb062 = Control<QComboBox>("cb062");
    cb063 = Control<QComboBox>("cb063");
    cb064 = Control<QComboBox>("cb064");
    gbTimeouts = Control<QGroupBox>("gbTimeouts");
    gbWindow = Control<QGroupBox>("gbWindow");
    ed0104 = Control<TSpinEdit>("ed0104");
    ed0107 = Control<TSpinEdit>("ed0107");
    ed0108 = Control<TSpinEdit>("ed0108");
    seMaxFrameSize = Control<TSpinEdit>("seMaxFrameSize");
    gbGroupPoll = Control<QGroupBox>("gbGroupPoll");
    for (int n = 1; n <= kGroupPolls; ++n)
        edGroupPoll[static_cast<size_t>(n - 1)] = Control<TSpinEdit>(platform::Format("ed%.4d", 108 + n).c_str());
    ch0102 = Control<QCheckBox>("ch0102");
    ch0103 = Control<QCheckBox>("ch0103");
    ch0105 = Control<QCheckBox>("ch0105");
    ch0106 = Control<QCheckBox>("ch0106");
    cbBroadCastSetTime = Control<QCheckBox>("cbBroadCastSetTime");
    cbChannCheckBS = Control<QCheckBox>("cbChannCheckBS");
    cbBalanceMode = Control<QCheckBox>("cbBalanceMode");
    OnValidate = TFieldValidateEvent::Of<&TfrKPIEC::Veto>(this);
}

void TfrKPIEC::Load(TFieldLst* list)
{
    TProtocolFrame::Load(list);
    const TIecPageLayout layout = IecPageLayoutOf(dynamic_cast<const TDocument*>(Device()->Parent), *Device());
    gbTimeouts->setVisible(layout.TimeoutGroupsShown);
    gbWindow->setVisible(layout.TimeoutGroupsShown);
    ch0106->setVisible(layout.IgnoreInvalidShown);
    // Greyed with its caption.
    cb062->setEnabled(layout.LinkAddressEnabled);
    Control("lb062")->setEnabled(layout.LinkAddressEnabled);
}

void TfrKPIEC::Veto(const void* sender, TField*, const Variant& value, TFieldLst*, bool& accept)
{
    if (sender == seMaxFrameSize && !MaxFrameSizeAccepted(value)) accept = false;
}
