#pragma once

#include "configurator/rules/ParamBinding.h"
#include "model/uDocument.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A grid page as data: its rows, its columns with the fields they show and edit, their
// editors, texts and colours, the keyboard commands the grid takes, and the hooks where
// a page differs. The grid controller (configurator/rules/GridController.h) runs the
// commands over it without widgets; the Qt grid (configurator/widgets/GridFrame.h)
// shows it. Every value a grid writes goes through StoreCell.

// ---------------------------------------------------------------------------------
// Rows

// One row of a grid. A record grid has one row per record, in record order; a page may
// also show rows that are no record of their own (the logical channel grid's group
// headers and separators), telling them apart by Kind.
struct TGridRow {
    TFieldLst* Record = nullptr; // the row's record (not owned); none for a row without one
    int Kind = 0;                // the page's own kind of row; 0 for a plain record row
    int Number = 0;              // the row number shown (index + 1 in record order)
};

// One row per record, numbered from 1; none for a count of 0 or less.
std::vector<TGridRow> RecordRows(int count, const std::function<TFieldLst*(int index)>& recordAt);

// ---------------------------------------------------------------------------------
// Cells

// Which field of a row's record a column binds.
class TFieldRef {
public:
    // No field: the column only displays.
    TFieldRef() = default;
    // The record's field at a position of its key list (FieldByIndex).
    static TFieldRef ByIndex(int index);
    // The record's field of a key (FindField, case ignored).
    static TFieldRef ByKey(std::string key);
    // A field the page picks from the row (the logical channel grid's per-kind fields).
    static TFieldRef Of(std::function<TField*(const TGridRow& row)> pick);

    // The row's field; none for no binding, a row without a record, a position or key
    // the record lacks, or a node there that is no field.
    TField* Resolve(const TGridRow& row) const;
    explicit operator bool() const { return kind_ != Kind::None; }

private:
    enum class Kind { None, Index, Key, Pick };
    Kind kind_ = Kind::None;
    int index_ = 0;
    std::string key_;
    std::function<TField*(const TGridRow&)> pick_;
};

// How a cell's text stands in its cell.
enum class TCellAlign { Left, Center, Right };

// A colour by its red, green and blue parts.
struct TRgb {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const TRgb&) const = default;
};

// The background a cell is filled with.
enum class TCellBackground {
    Default,    // the view's own (white, or the selection's)
    ButtonFace, // the colour of buttons (row number columns)
    Window,     // the window colour
};

// How a cell looks beside the style's defaults; an empty colour leaves the style's.
struct TCellLook {
    std::optional<TRgb> Text{};   // the cell's text
    std::optional<TRgb> Static{}; // its static text
    TCellBackground Background = TCellBackground::Default;
};

// A cell's text from its row; the page's rule for a column.
using TCellTextRule = std::function<std::string(const TGridRow& row)>;
// A cell's look from its row.
using TCellLookRule = std::function<TCellLook(const TGridRow& row)>;
// Ctrl+Up (up) and Ctrl+Down on a cell holding value: the new value, or none when the
// step does nothing there.
using TCtrlStepRule = std::function<std::optional<int64_t>(const TGridRow& row, int64_t value, bool up)>;

// The step rule of most columns: + 1 while below cap, - 1 while above 0.
TCtrlStepRule CappedStep(int64_t cap);
// The same with a cap that may change while the page is shown (a document's count).
TCtrlStepRule CappedStep(std::function<int64_t()> cap);

// ---------------------------------------------------------------------------------
// Editors

enum class TEditorKind {
    None,      // the cell is not edited
    Spin,      // a whole-number spin edit, right-aligned
    FloatSpin, // a floating-point spin edit with Decimals decimals and the single's range
    Combo,     // a drop-down list of Items, each carrying the value it stores
    Text,      // a line edit of at most the field's MaxValue - 1 characters
    Custom,    // the page's own editor (the scale calculator); the page ends it
};

// How wide the editor is at least (EditorMinWidth); a narrower column is overlapped.
enum class TEditorWidth {
    Cell,        // the cell's width
    OfText,      // WidthText's width + WidthPad
    WidestItem,  // the widest item's width + WidthPad
    OfItem,      // the width of item WidthItem's text (0 without that item) + WidthPad
};

// The editor of a cell, built when the edit opens and filled from the edit field.
struct TEditorSpec {
    TEditorKind Kind = TEditorKind::None;

    // Spin: the range. Minimum 0 unless a page names one; Maximum from MaximumOf when
    // given, else from the field's MaxValue when LimitsFromField, else as written. A
    // value typed beyond the range is clamped to it; the field's own limits still
    // apply when it is stored.
    int64_t Minimum = 0;
    int64_t Maximum = 2147483647;
    bool LimitsFromField = false;
    std::function<int64_t(const TGridRow& row)> MaximumOf{};
    // FloatSpin: decimals shown and typed.
    int Decimals = 4;

    // Combo: the items, in the order the page lists them (sorted when Sorted, by the
    // user's collation with case ignored; see SortPickList).
    std::function<TPickList(const TGridRow& row)> Items{};
    bool Sorted = false;
    // The item selected when the edit opens, by position in the list as shown (-1:
    // none); without it, the item carrying the field's value (none when no item does).
    std::function<int(const TGridRow& row, const TPickList& items)> Preselect{};

    TEditorWidth Width = TEditorWidth::Cell;
    const char* WidthText = nullptr; // OfText: the reference text
    int WidthPad = 20;
    int WidthItem = 0; // OfItem: the item's position in the list as shown

    // The page rebuilds its rows once this editor has closed, committed or not.
    bool RebuildAfterEdit = false;
};

// The item carrying a value; -1 when none does.
int PickIndexOf(const TPickList& items, int64_t value);
// Sorts a pick list by its texts in the user's collation, case ignored; items whose
// texts compare equal keep their order.
void SortPickList(TPickList& items);

// ---------------------------------------------------------------------------------
// Columns

// One column: its header, its cells and what the commands do in it.
struct TGridColumn {
    const char* Caption = "";
    TCellAlign Align = TCellAlign::Left;
    std::optional<TCellAlign> CaptionAlign{}; // none: as the cells
    int Width = 0;        // the width when shown; 0: MinWidth, or the view's default
    int MinWidth = 0;     // the column is never narrower
    int TextPad = 30;     // texts widen the column to their width + TextPad; 0: never
    bool Hidden = false;  // the column is not shown and never takes the focus
    bool Focusable = true;
    const char* Hint = nullptr; // tool tip of its cells; none: no tip

    // The field the column's editor writes, and the field Alt copies, Ctrl steps,
    // Delete and F3 act on. A second view of another column's field has an edit field
    // and no command field; a column that only displays has neither.
    TFieldRef EditField{};
    TFieldRef CommandField{};

    TCellTextRule Text{};       // none: the shown field's value as text ("" without one)
    TCellTextRule StaticText{}; // a text in front of the text, in its own colour; none: none
    TCellTextRule WidthText{};  // the text the column widens to; none: static text + text
    TCellLookRule Look{};       // none: the style's
    TEditorSpec Editor{};
    TCtrlStepRule CtrlStep{};   // none: Ctrl steps do nothing here
    bool Fills = false;       // F3 fills this column
    bool DigitEdits = false;  // a digit key starts editing here
    bool SortByValue = false; // header sorting compares the field values; else the texts
};

// ---------------------------------------------------------------------------------
// Commands

// When a key acts: on its press (auto-repeated presses act again) or on its release
// (once, when the key is let go; the releases of auto-repeat do nothing).
enum class TKeyMoment { Press, Release };

// What a click on a cell does besides focusing it.
enum class TEditClick { None, Double, Single };

// The keyboard commands a grid takes (the key table of the grid framework). Keys a
// grid does not take are the view's own.
struct TGridCommands {
    bool EnterEdits = true;  // Enter and F2 start editing the focused cell
    TKeyMoment EnterOn = TKeyMoment::Release;
    bool LeftRight = true;   // Left/Right move along the row, wrapping to the neighbouring rows
    TKeyMoment LeftRightOn = TKeyMoment::Release;
    bool UpDown = true;      // Up/Down move to the neighbouring row on release
    bool AltCopy = true;     // ... copying the cell's value there with Alt held
    bool CtrlSteps = true;   // Ctrl+Up/Down step the cell's value (columns' CtrlStep)
    bool Reset = true;       // Delete resets the cell's field, Alt+Delete the row's record
    bool HeaderSort = false; // header clicks sort: ascending, descending, off
    TEditClick ClickEdits = TEditClick::Double;
    // A refused commit shows the field's value again in the editor (else the editor
    // keeps what the user entered).
    bool RefusalShowsValue = false;
};

// The commands, as the hook after them names them.
enum class TGridCommand { Move, AltCopy, CtrlStep, Reset, ResetRow, Fill };

// The help label under a grid.
enum class TGridHelp {
    Shown,  // the common lines (GridHelpLines), then the page's HelpExtra
    Hidden, // made but not shown
    None,   // no label
};
extern const char* const GridHelpLines[7];

// How the grid takes its height.
enum class TGridFit {
    FillsHost, // the page fills the frame host and the grid scrolls
    HoldsRows, // the grid is as tall as its header and rows, without scroll bars
};

// The grid's cell validation (OnValidateCell): clears accept to refuse the
// value; an exception inside it refuses it too. Sender is the open editor's control, or
// a stand-in for commands without an editor; it is in no frame's registry.
using TCellValidateEvent = std::function<void(TBoundControl& sender, int column, const TGridRow& row,
                                              TField& field, const Variant& value, bool& accept)>;

// Where the pages differ from the common grid.
struct TGridHooks {
    TCellValidateEvent OnValidateCell{};
    // Raises the grid's exception for a value refused in a column; without it, or when
    // it returns, a refusal raises "Не допустимое значение".
    std::function<void(int column)> OnCellRejected{};
    // The last column of a row that takes the focus; a row whose last column lies
    // before its first takes no focus at all. None: the last focusable column.
    std::function<int(const TGridRow& row)> LastColumn{};
    // A row's own editor for a column; none: the column's.
    std::function<const TEditorSpec*(const TGridRow& row, int column)> EditorOf{};
    // After a command changed a value or moved the focus: at the row shown at position
    // (the focused row afterwards) and column. Pages that rebuild their rows post it.
    std::function<void(TGridCommand command, int position, int column)> AfterCommand{};
    // A mouse release with Ctrl as the only modifier, on the focused cell (row, column).
    std::function<void(const TGridRow& row, int column)> OnCtrlClick{};
};

// A whole grid.
struct TGridSpec {
    std::vector<TGridColumn> Columns{};
    TGridCommands Commands{};
    TGridHooks Hooks{};
    TGridHelp Help = TGridHelp::Shown;
    const char* HelpExtra = nullptr; // one line more under the common ones
    TGridFit Fit = TGridFit::FillsHost;
    // After an edit stored its value, every column fits its contents: the widest text
    // of all rows + TextPad, never below MinWidth (narrowing too).
    bool FitAfterEdit = false;
    // The user may drag columns to other places (the view's order; commands keep the
    // columns' own order).
    bool ColumnsMovable = false;
    // The focused cell of the selected row is painted in the window colour while the
    // grid has the focus; false: as the rest of the selected row.
    bool FocusedCellStandsOut = true;

    int ColumnCount() const { return static_cast<int>(Columns.size()); }
};

// ---------------------------------------------------------------------------------
// Cells of a spec

// The column's edit and command fields in a row; none outside the columns.
TField* EditField(const TGridSpec& spec, const TGridRow& row, int column);
TField* CommandField(const TGridSpec& spec, const TGridRow& row, int column);
// The field a cell shows: its edit field, else its command field.
TField* ShownField(const TGridSpec& spec, const TGridRow& row, int column);
// The cell's text: the column's rule, else the shown field's value as text; "" without
// either or outside the columns.
std::string CellText(const TGridSpec& spec, const TGridRow& row, int column);
// The cell's static text; "" without a rule.
std::string CellStaticText(const TGridSpec& spec, const TGridRow& row, int column);
// The text a cell widens its column to: the column's WidthText rule, else the static
// text and the text.
std::string CellWidthText(const TGridSpec& spec, const TGridRow& row, int column);
TCellLook CellLook(const TGridSpec& spec, const TGridRow& row, int column);
// The cell's editor: the row's own (EditorOf), else the column's; the editor of kind
// None outside the columns.
const TEditorSpec& CellEditor(const TGridSpec& spec, const TGridRow& row, int column);
// Whether a cell opens an editor: an editor kind other than None, with an edit field
// (or of the page's own kind).
bool CellEditable(const TGridSpec& spec, const TGridRow& row, int column);
// A spin editor's maximum in a row, as TEditorSpec describes it.
int64_t EditorMaximum(const TEditorSpec& editor, const TGridRow& row, const TField* field);

// ---------------------------------------------------------------------------------
// Storing

// The value of a whole-number result: a 32-bit integer; beyond 32 bits "Больше
// максимума" or "Меньше минимума" is raised.
Variant WholeValue(int64_t value);

// Stores a value into a cell's field, as every write of a grid does:
//   1. the grid's cell validation (with Sender, the column and the row): a refusal,
//      or an exception inside it, raises the grid's exception (OnCellRejected, else
//      "Не допустимое значение");
//   2. a numeric value into a numeric field (not a text) with MinValue or MaxValue
//      non-zero: below MinValue raises "Меньше минимума", above MaxValue "Больше
//      максимума", whatever the field's class (bit fields too);
//   3. the field's SetValue (its own limits, validate and change handlers).
// An exception leaves before anything is stored.
void StoreCell(const TGridSpec& spec, const TGridRow& row, int column, TField& field, const Variant& value,
               TBoundControl& sender);
// Delete on a cell: the cell validation with the field's DefaultValue as in StoreCell,
// then the field's ResetDefaults.
void ResetCell(const TGridSpec& spec, const TGridRow& row, int column, TField& field, TBoundControl& sender);

// The stand-in Sender of commands that have no editor: shows nothing, reads nothing.
class TCommandSender : public TBoundControl {
public:
    void Show(const TField&) override {}
    std::optional<Variant> Read() const override { return std::nullopt; }
};
