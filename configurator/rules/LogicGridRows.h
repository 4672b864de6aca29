#pragma once

#include "configurator/rules/GridSpec.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TLogic;
class TZumo2Doc;

// The logical channel grid without widgets: its rows, their grouping, the columns each
// row has, the moves between channel rows, the Ctrl steps and the kind editors, as a
// grid spec (configurator/rules/GridSpec.h) over the document's TLogic entries.
//
// Channels of one kind with the same column captions stand in one group under a
// header row of those captions; a separator row stands before every group but the
// first. Column 0 shows the channel's number; column c (1 and up) the channel's column
// c - 1 (TLogic::ColumnText), or on a header row its caption (TLogic::ColumnCaption).

// A row of the grid (TGridNode): Record is the row's TLogic, a header or separator row
// carrying the first channel of the group that follows; Kind its TLogicRowKind; Number
// the channel's index in the document's table + 1.
using TGridNode = TGridRow;

// The kinds of rows (RowKind).
enum TLogicRowKind { lrHeader = 0, lrChannel = 1, lrSeparator = 2 };

// The columns: 0 the number, then the channel's VAK, port, type and the active kind's
// display parameters in their order, up to 16 columns.
enum TLogicGridColumn { lcNumber = 0, lcVAK = 1, lcPort = 2, lcType = 3, lcFirstParam = 4 };
constexpr int LogicGridColumnCount = 16;

// The hint of column 0.
extern const char* const LogicNumberHint; // "Внутренний адрес канала"

// The channel of a row (RowLogic); none for a row without one.
TLogic* RowLogic(const TGridNode& row);
// The number column's text: the number on channel rows, "№" on header rows, "" on
// separator rows.
std::string NumberText(const TGridNode& row);

// The document's channels, in table order.
std::vector<TLogic*> LogicChannels(const TZumo2Doc& document);

// Whether a channel joins the group of the one before it: both have the same kind
// (ActiveKindIndex) and, with a kind, the same number of display parameters and the
// same column captions (kinds whose parameters depend on a value, such as ТС sources 5
// and 7, head their columns differently).
bool JoinsGroup(const TLogic& previous, const TLogic& channel);

// The rows of the channels, in table order: for each channel that starts a group a
// separator row (not before the first) and a header row, then its channel row. Before a
// channel is placed, the change handler of each of its kind's display parameters runs
// once without a sender (over the fields collected first), as the kinds derive their
// display lists from their values. No channels: no rows.
std::vector<TGridNode> LogicGridRows(const std::vector<TLogic*>& channels);

// The position of a channel's own row (the channel row, not its group's header); -1
// when no row shows it.
int LogicRowPosition(const std::vector<TGridNode>& rows, const TLogic* logic);

// The last column of a row (RowLastColumn): 3 + the active kind's ParamFieldCount of
// the row's channel (on header and separator rows the group's first), or 3 without a
// kind or a channel.
int RowLastColumn(const TGridNode& row);

// The editors of the grid: the grid's own link in columns 1 to 3, beyond them the
// editor of the channel's kind.
enum class TLogicEditor { None, TFieldEditLink, TEditTC, TEditTIT, TEditTII, TEditTU, TEditGroupTU, TEditTR };

// The editor class of a cell: TFieldEditLink in columns 1 to 3 of a channel row;
// beyond, by the channel's kind index 1 TEditTC, 2 TEditTIT, 3 TEditTII, 4 TEditTU, 5
// and 6 TEditGroupTU, 7 TEditTR; None on other rows, in column 0 and for a channel
// without a kind record.
TLogicEditor LogicEditorClass(const TGridNode& row, int column);

// The editor of a cell from the editor class's table; none where its class has no
// editor for the column (its cells are not edited):
//   TFieldEditLink 1 VAK: spin 0 .. 16777215
//   TFieldEditLink 2 port: combo of the channel's FillPortList
//   TFieldEditLink 3 type: combo of the kinds in the document's LogicKindMask (item
//     ChannelTypeNames[i], value ChannelTypeCodes[i]), at least the widest item + 20
//     wide, preselecting the code of the channel's ActiveKindIndex; rebuilds
//   TEditTC 4: combo of LogicTSSourceText 5 .. 8, as wide as the second item + 20;
//     rebuilds. 5: spin up to 65535 when parameter 0 is 0, else 255
//   TEditTIT 4: combo of the kind's FillValueList(0), as wide as the sixth item + 20;
//     rebuilds. 5: spin as TEditTC's
//   TEditTII 4: combo of the four counters, as wide as the fourth item + 20
//   TEditTU 4: combo of LogicTUCommandText 0, 4, 9, as wide as the second item + 20;
//     rebuilds. 5: spin up to 65535
//   TEditGroupTU 4: spin up to 65535; 5 and up: spin over the field's limits, -1 ..
//     32767
//   TEditTR 4: combo of LogicTRKindText 1. 5, 6: spin over the field's limits
// Spin editors are at least 70 pixels wide. Every editor edits the channel's
// ColumnField(column - 1).
const TEditorSpec* LogicCellEditor(const TGridNode& row, int column);

// The kinds a channel's type combo offers and the type step reaches: the document's
// LogicKindMask (every kind without a document).
unsigned LogicKindMaskOf(const TLogic& logic);

// The kind index a type step reaches from the channel's ActiveKindIndex: the next (up)
// or previous kind index that the document's LogicKindMask offers and that the channel
// has a kind record for (index 0, none, when the mask offers it); none without one.
std::optional<int> StepKindIndex(const TLogic& logic, bool up);

// The grid: 16 columns, column 0 the number (no focus, hint LogicNumberHint), columns 1
// and up the channel's columns, with their texts (silver on channel rows without a
// kind), fields, editors (LogicCellEditor) and Ctrl steps:
//   column 1 VAK: + 1 (the field refuses more than 16777215), - 1 above 0;
//   column 2 port: up to value + 1 below 3, else 255; down to 2 above 2, else value - 1
//     above 0;
//   column 3 type: the type code of StepKindIndex;
//   columns 4 and up: nothing.
// Only channel rows take the focus, in columns 1 to RowLastColumn; F3 fills column 1;
// digits do not edit. Column 2 is at least 160 pixels wide, the others start at 10.
// requestRebuild runs where the page must rebuild its rows once the command is over: a
// type step that changed the type, Delete and Alt+Delete, an Alt copy into column 3 or
// beyond. An editor of the type or of a kind's selecting parameter asks for the rebuild
// through RebuildAfterEdit.
TGridSpec LogicGridSpec(std::function<void()> requestRebuild);
