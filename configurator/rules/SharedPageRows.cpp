#include "configurator/rules/SharedPageRows.h"

#include "configurator/rules/ProtocolPageRules.h"
#include "platform/Format.h"

#include <string>

namespace {

using K = TControlKind;

constexpr TPagePanel kIecPointPanels[] = {
    {.Name = "paSizes", .Kind = TPanelKind::Panel},
    {.Name = "gbTimeouts", .Kind = TPanelKind::Group, .Title = "Таймауты", .Columns = 2},
    {.Name = "gbWindow", .Kind = TPanelKind::Group, .Title = "Размеры окна", .Columns = 2},
    {.Name = "paValues", .Kind = TPanelKind::Panel},
    {.Name = "gbGroupPoll", .Kind = TPanelKind::Group, .Title = "Групповой опрос, с ", .Columns = 4},
};

const TPageRow kIecAsdu[] = {
    {.Panel = "paAsdu", .Name = "cb065", .Kind = K::ComboBox, .Key = "065", .Caption = "ASDU ТС"},
    {.Panel = "paAsdu", .Name = "cb066", .Kind = K::ComboBox, .Key = "066", .Caption = "ASDU ТИТ"},
    {.Panel = "paAsdu", .Name = "cb067", .Kind = K::ComboBox, .Key = "067", .Caption = "ASDU ТИИ"},
};

const TPageRow kIecSizes[] = {
    {.Panel = nullptr, .Name = "cb061", .Kind = K::ComboBox, .Key = "061", .Caption = "Причина передачи"},
    {.Panel = nullptr, .Name = "cb062", .Kind = K::ComboBox, .Key = "062", .Caption = "Канальный адрес"},
    {.Panel = nullptr, .Name = "cb063", .Kind = K::ComboBox, .Key = "063", .Caption = "Общий адрес ASDU"},
    {.Panel = nullptr, .Name = "cb064", .Kind = K::ComboBox, .Key = "064", .Caption = "Адрес объекта информации"},
};

const TPageRow kIecTimeouts[] = {
    {.Panel = "gbTimeouts", .Name = "ed090", .Kind = K::SpinEdit, .Key = "090", .Caption = "T0", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed091", .Kind = K::SpinEdit, .Key = "091", .Caption = "T1", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed092", .Kind = K::SpinEdit, .Key = "092", .Caption = "T2", .Unit = "с"},
    {.Panel = "gbTimeouts", .Name = "ed093", .Kind = K::SpinEdit, .Key = "093", .Caption = "T3", .Unit = "с"},
    {.Panel = "gbWindow", .Name = "ed094", .Kind = K::SpinEdit, .Key = "094", .Caption = "К"},
    {.Panel = "gbWindow", .Name = "ed095", .Kind = K::SpinEdit, .Key = "095", .Caption = "W"},
};

const TPageRow kIecPoll[] = {
    {.Panel = "paValues", .Name = "ed0104", .Kind = K::SpinEdit, .Key = "0104", .Caption = "Таймаут операции ТУ",
     .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0107", .Kind = K::SpinEdit, .Key = "0107", .Caption = "Цикл опроса", .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0108", .Kind = K::SpinEdit, .Key = "0108", .Caption = "Период полного опроса",
     .Unit = "с"},
};

const TPageRow kIecCommands[] = {
    {.Panel = nullptr, .Name = "ch0102", .Kind = K::CheckBox, .Key = "0102", .Caption = "Установка времени"},
    {.Panel = nullptr, .Name = "ch0103", .Kind = K::CheckBox, .Key = "0103",
     .Caption = "Ретрансляция полного/группового опроса"},
    {.Panel = nullptr, .Name = "ch0105", .Kind = K::CheckBox, .Key = "0105", .Caption = "Двухступенчатая команда ТУ"},
};

const TPageRow kPollSettings[] = {
    {.Panel = "paValues", .Name = "edTSLink", .Kind = K::SpinEdit, .Key = "ts_link", .Caption = "ВАК наличия связи"},
    {.Panel = "paValues", .Name = "edTITLink", .Kind = K::SpinEdit, .Key = "tit_link", .Caption = "ВАК качества связи"},
    {.Panel = "paValues", .Name = "ed0004", .Kind = K::SpinEdit, .Key = "0004", .Caption = "Таймаут ожидания пакета",
     .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0013", .Kind = K::SpinEdit, .Key = "0013", .Caption = "Время приостановки опроса",
     .Unit = "с"},
    {.Panel = "paValues", .Name = "ed0014", .Kind = K::SpinEdit, .Key = "0014", .Caption = "Повторов опроса"},
    {.Panel = "paValues", .Name = "ed0015", .Kind = K::SpinEdit, .Key = "0015", .Caption = "Ответов для наличия связи"},
};

} // namespace

std::span<const TPagePanel> IecPointPanels() { return kIecPointPanels; }

std::span<const TPageRow> IecAsduRows() { return kIecAsdu; }

std::vector<TPageRow> IecSizeRows(const char* panel)
{
    std::vector<TPageRow> rows(std::begin(kIecSizes), std::end(kIecSizes));
    for (TPageRow& row : rows) row.Panel = panel;
    return rows;
}

std::span<const TPageRow> IecTimeoutRows() { return kIecTimeouts; }

std::span<const TPageRow> IecPollRows() { return kIecPoll; }

std::vector<TPageRow> IecGroupPollRows()
{
    return RowsWithRun({}, 1, 16, [](int n) -> TPageRow {
        const std::string key = platform::Format("%.4d", 108 + n);
        return {.Panel = "gbGroupPoll", .Name = KeptText("ed" + key), .Kind = K::SpinEdit, .Key = KeptText(key),
                .Caption = KeptText(std::to_string(n))};
    });
}

std::span<const TPageRow> IecCommandRows() { return kIecCommands; }

std::span<const TPageRow> PollSettingRows() { return kPollSettings; }

std::vector<TPageRow> CycleWordRows(std::span<const TPageRow> head, const char* panel, int words,
                                    std::string (*key)(int n))
{
    return RowsWithRun(head, 1, words, [panel, key](int n) -> TPageRow {
        return {.Panel = panel, .Name = KeptText("rg" + key(n)), .Kind = K::RadioGroup, .Key = KeptText(key(n)),
                .Caption = KeptText(platform::Format("%2d", n)), .Items = TsTitItems()};
    });
}
