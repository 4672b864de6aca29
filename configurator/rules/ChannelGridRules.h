#pragma once

#include "configurator/rules/GridSpec.h"
#include "configurator/rules/ParamBinding.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TDevice;
class TZumo7Doc;

// The channel grids without widgets: the device channel grid (a device's channel
// blocks) and the Zumo 7 own and DIO channel grids (the document's two tables of 16
// channels), as grid specs with their texts, lists, colours and steps. The three share
// the description column: a data format or, on a command row (type 3), a command,
// behind a prefix that says which.

// ---------------------------------------------------------------------------------
// Texts and lists the three grids share

// The channel type of command rows (ТУ).
constexpr int CommandChannelType = 3;

// The static text in front of the description: "Команда: " on a command row (type 3),
// else "Формат данных: ".
std::string ChannelDescriptionPrefix(int type);
// The text the description column widens to: "Формат данных: " and the text, whatever
// the row's type.
std::string ChannelWidthText(const std::string& text);

// A command's text: 1 "Включить", 2 "Отключить", any other "Не задана".
std::string ChannelCommandText(int code);
// The command list: "Включить" 1, "Отключить" 2, "Не задана" 255.
const TPickList& ChannelCommandItems();

// The grey of rows without objects and of unset descriptions (166, 166, 166), and the
// silver of the description's prefix (192, 192, 192).
constexpr TRgb ChannelGrey{166, 166, 166};
constexpr TRgb ChannelSilver{192, 192, 192};

// ---------------------------------------------------------------------------------
// The device channel grid

// A data format's name: 0 "Int16", 32 "DO генер. всегда", 48 "Float 1234", 64 "DO по
// измен.", 80 "Float 2143", 96 "Float 4321", 144 "MK51 / P,I", 160 "MK51 / Q", 176
// "MK51 / Аналог", 192 "8 Бит(ASDU136)", any other "Не задан".
std::string DataFormatName(int code);
// The format list: 0, 48, 80, 96, 160, 144, 176, 192, 32, 64, 255, each with its name.
const TPickList& DataFormatItems();

// A channel type's text: its short name (ChannelKindShortName), "нет" for a code
// without one.
std::string DevChannelTypeText(int code);
// The type list: "Нет" 255, "ТС" 0, "ТИТ" 1, "ТИИ" 2, "ТУ" 3, "ТР" 4, "Параметр" 5,
// "ДТС" 7.
const TPickList& DevChannelTypeItems();

// Ctrl+Up (up) and Ctrl+Down on a description: up along 0, 48, 80, 96, 144, 160, and
// from 160 or any value off that chain to 255; down to the largest chain value below
// the value (255, 192 and 176 give 160, 64 gives 48, 32, 1 and 2 give 0); none at 0
// (nothing to do).
std::optional<int64_t> DescriptionStep(int64_t value, bool up);

// The columns of the device channel grid, by position in the block's key order.
enum TDevChannelColumn { dcStart, dcCount, dcVak, dcType, dcDescription };

// The texts of the two refusals.
extern const char* const DevChannelRangeMessage;   // "Обнаруженено пересечение ..." (two lines)
extern const char* const DevChannelInvalidMessage; // "Не допустимое значение"

// The device channel grid, rows being the channel blocks of a device:
//   "Начальный адрес" "0001" centred, at least 110 wide, spin to 2147483647, Ctrl
//     steps capped at 2147483647;
//   "Кол-во" "0002" centred, 50, spin to 65535, steps capped at 65535, with its hint;
//   "ВАК" "0003" centred, 50, spin to 2147483647, steps capped at 16777215, hint;
//   "Тип" "0004" centred, 50, DevChannelTypeText, combo of the type list at least
//     "Параметр" + 20 wide, steps capped at 2147483647 (the field refuses 256);
//   "Описание" "0005" right-aligned under a centred caption, 100, the command text on
//     a command row and the format name on others behind ChannelDescriptionPrefix,
//     combo of the command or the format list at least "Float 4321" + 20 wide, steps by
//     DescriptionStep.
// Every column widens to ChannelWidthText of its text + 30. Colours: the whole row grey
// while its count is 0, the description grey while it is 255, its prefix silver. F3,
// digits and sorting by value in the first three columns, sorting by text in the
// others; the whole command set, header sorting, movable columns, the help label. The
// page binds its cell validation with BindDevChannelValidation.
TGridSpec DevChannelGridSpec();

// The grid's rows: the device's channel blocks in block order.
std::vector<TGridRow> DevChannelRows(const TDevice& device);

// The device grid's cell validation over a page's binding core: without its OnValidate
// every value is accepted; otherwise the page's ValidateValue judges the value for the
// row's block (an exception inside the document's check refuses it), and a refusal
// shows the field's value in the Sender again.
void ValidateDevChannelCell(TParamBinding& page, TBoundControl& sender, int column, const TGridRow& row, TField& field,
                            const Variant& value, bool& accept);
// A refusal in a column: "Кол-во" and "ВАК" raise EDevChannelRangeCheckFailedException
// (DevChannelRangeMessage), the others EDevChannelINValidValueException
// (DevChannelInvalidMessage).
[[noreturn]] void RaiseDevChannelRefusal(int column);
// Sets the grid spec's cell validation to ValidateDevChannelCell over the page and its
// refusals to RaiseDevChannelRefusal, so that every store of the grid (edits, Ctrl
// steps, Alt copies, fills, Delete) passes them. The page must outlive the grid spec's use.
void BindDevChannelValidation(TGridSpec& spec, TParamBinding& page);

// ---------------------------------------------------------------------------------
// The Zumo 7 own and DIO channel grids

// The two tables.
enum class TZumo7ChannelKind { Own, DIO };

// Where the two grids differ.
struct TZumo7ChannelTable {
    TZumo7ChannelKind Kind;
    // Column 3's texts: the codes with a name of their own; any other code "Нет".
    std::vector<std::pair<int, const char*>> TypeNames;
    int ColumnCount;         // 7 on the own grid (with "Время дребезга(ms)"), 6 on the DIO grid
    std::vector<int> Hidden; // hidden columns, which are never edited
    // The table's record count in a document, and a record by its index.
    int (*Count)(const TZumo7Doc& document);
    TFieldLst* (*Record)(const TZumo7Doc& document, int index);
};
const TZumo7ChannelTable& Zumo7ChannelTable(TZumo7ChannelKind kind);

// A channel type's text on a grid (the table's TypeNames).
std::string Zumo7ChannelTypeText(const TZumo7ChannelTable& table, int code);
// A description's text on a non-command row: 16 "Инверсия", any other "Не задано".
std::string Zumo7DescriptionText(int code);
// The type list of both grids: "Нет" 255, "ТС" 0, "ТУ" 3.
const TPickList& Zumo7ChannelTypeItems();
// The description list of a non-command row: "Инверсия" 16, "Не задано" 255.
const TPickList& Zumo7DescriptionItems();

// The columns of the own and DIO grids, by position (the records keep their layout
// order).
enum TZumo7ChannelColumn { zcStart, zcCount, zcVac, zcType, zcDescription, zcHold, zcBounce };

// The grid of a table:
//   "Начальный адрес" "start_adr", "Кол-во" "count", "ВАК" "VAC": centred, at least
//     110, 50 and 50 wide, spins to 2147483647, 65535 and 2147483647;
//   "Тип" "Chtype" centred, 50, Zumo7ChannelTypeText, combo of Zumo7ChannelTypeItems at
//     least "Параметр" + 20 wide;
//   "Описание" "ChFrm" right-aligned under a centred caption, 100, the command text on
//     a command row, else Zumo7DescriptionText, behind ChannelDescriptionPrefix; combo
//     of the command list or of Zumo7DescriptionItems, at least "Float 4321" + 20 wide;
//     widens to ChannelWidthText + 30;
//   "Время удержания(ms)" "shared_delay" 150 wide, spin to 2147483647;
//   on the own grid also "Время дребезга(ms)", "shared_delay" again, 130 wide, spin to
//     2147483647.
// The other columns widen to their text + 20. Left and Right on their press, passing
// hidden columns; Up and Down are the view's own; no Ctrl steps, Alt copies or fill;
// Enter, Delete and Alt+Delete on their release; digits edit in the first three
// columns. Header sorting by value in the first three columns and by text in the
// others; a refused store shows the field's value in the editor again; the help label
// hidden; the styles' colours, the focused cell as the rest of the selected row. No
// cell validation: every value is accepted.
TGridSpec Zumo7ChannelGridSpec(const TZumo7ChannelTable& table);

// The table's 16 records of the document, in order.
std::vector<TGridRow> Zumo7ChannelRows(const TZumo7Doc& document, const TZumo7ChannelTable& table);
