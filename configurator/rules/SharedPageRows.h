#pragma once

#include "configurator/rules/PageTable.h"

#include <span>
#include <string>
#include <vector>

// Rows that several pages have alike, each as the pages' descriptions give it; a page
// takes them into its table (JoinRows). Combo boxes among them are filled by the page.

// The panels of a МЭК controlled point's page, in layout order: "paSizes" for the
// field sizes, the groups "gbTimeouts" "Таймауты" and "gbWindow" "Размеры окна" in two
// columns each, "paValues" for the timing and the group "gbGroupPoll" "Групповой
// опрос, с " in four columns.
std::span<const TPagePanel> IecPointPanels();
// The МЭК ASDU types in the panel "paAsdu": cb065 "ASDU ТС", cb066 "ASDU ТИТ", cb067
// "ASDU ТИИ".
std::span<const TPageRow> IecAsduRows();
// The МЭК field sizes in a panel of the page's: cb061 "Причина передачи", cb062
// "Канальный адрес", cb063 "Общий адрес ASDU", cb064 "Адрес объекта информации".
std::vector<TPageRow> IecSizeRows(const char* panel);
// The МЭК timeouts in the group "gbTimeouts" (ed090 .. ed093, "T0" .. "T3" in "с") and
// the window sizes in the group "gbWindow" (ed094 "К", Cyrillic, and ed095 "W").
std::span<const TPageRow> IecTimeoutRows();
// The МЭК controlled point's timing in the panel "paValues": ed0104 "Таймаут операции
// ТУ" (с), ed0107 "Цикл опроса" (мс), ed0108 "Период полного опроса" (с).
std::span<const TPageRow> IecPollRows();
// The sixteen МЭК group poll periods in the group "gbGroupPoll": ed0109 .. ed0124,
// captioned "1" .. "16".
std::vector<TPageRow> IecGroupPollRows();
// The МЭК controlled point's commands: ch0102 "Установка времени", ch0103
// "Ретрансляция полного/группового опроса", ch0105 "Двухступенчатая команда ТУ".
std::span<const TPageRow> IecCommandRows();

// How a controlled point is polled, in the panel "paValues": edTSLink "ВАК наличия
// связи", edTITLink "ВАК качества связи", ed0004 "Таймаут ожидания пакета" (мс), ed0013
// "Время приостановки опроса" (с), ed0014 "Повторов опроса", ed0015 "Ответов для
// наличия связи".
std::span<const TPageRow> PollSettingRows();

// A cycle's words after the head rows: for word n = 1 .. words the radio group
// "rg" + key(n) in a panel, bound to key(n), titled " 1" .. " 9", "10" ..., choosing its
// kind "TC" or "ТИТ" (TsTitItems).
std::vector<TPageRow> CycleWordRows(std::span<const TPageRow> head, const char* panel, int words,
                                    std::string (*key)(int n));
