#pragma once

#include "configurator/rules/DeviceGroupRows.h"
#include "configurator/rules/GridSpec.h"
#include "platform/Dialogs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

// The keyboard and mouse commands every grid page shares, without widgets: moves with
// row wrap, the Alt copy to the neighbouring row, Ctrl steps, resets, the fill dialog
// and the start of edits, run over a small view of the grid (IGridView) and a grid spec
// (configurator/rules/GridSpec.h). Every value goes through StoreCell; a command that
// raises ends there, what it stored before stays, and the exception passes to the
// caller (the Qt grid shows it on the application's error display).

// The grid as the commands see it. Positions are rows in the order shown.
class IGridView {
public:
    virtual ~IGridView();
    virtual int RowCount() const = 0;
    // The row shown at a position (0 <= position < RowCount).
    virtual const TGridRow& Row(int position) const = 0;
    // The focused cell; -1 for none.
    virtual int FocusedRow() const = 0;
    virtual int FocusedColumn() const = 0;
    // Focuses a cell: its row becomes the selected row and is scrolled into view.
    virtual void Focus(int position, int column) = 0;
    // Whether a cell editor is open.
    virtual bool Editing() const = 0;
    // Opens the editor of the focused cell where it has one; with a digit (0..9) that
    // digit becomes the editor's whole text.
    virtual void StartEdit(int digit) = 0;
    // Values of the rows shown from first to last were stored: each row is repainted
    // whole (other cells derive from it) and the columns widen to its texts.
    virtual void RowsStored(int first, int last) = 0;
};

// The keys the commands know; every other key is Other.
enum class TGridKeyCode { Other, Enter, F2, F3, Escape, Left, Right, Up, Down, Delete, Digit, A, D };

// The key of a letter key as the layout gives it (upper or lower case): "A" and the
// Russian layout's "Ф" on the same key are A, "D" and "В" are D; any other is Other.
TGridKeyCode GridLetterKey(char32_t letter);

// A key event as plain values. The Qt grid maps Return and Enter to Enter, '0'..'9'
// (keypad or not) to Digit, letters by GridLetterKey.
struct TGridKey {
    TGridKeyCode Code = TGridKeyCode::Other;
    int Digit = -1; // 0..9 for Digit
    bool Press = true;
    bool AutoRepeat = false;
    bool Alt = false;
    bool Ctrl = false;
    bool Shift = false;
};

class TGridController {
public:
    // The fill dialog is shown with fillView through the dialog service.
    TGridController(IGridView& view, const TGridSpec& spec, std::shared_ptr<const platform::FormView> fillView = {});
    TGridController(const TGridController&) = delete;
    TGridController& operator=(const TGridController&) = delete;

    // A key of the grid (not of an open editor). True when the grid takes the key; a
    // key it does not take is the view's own. On press: Ctrl+Up/Down step the cell
    // (auto-repeat steps again), Up/Down are held back for their release, Enter, Left
    // and Right act when the grid spec says so and are held back otherwise. On release (not
    // an auto-repeat one, of a key whose press the grid saw): Enter/F2 edit, Left/Right
    // move with wrap, Up/Down move with the Alt copy, Delete and Alt+Delete reset, F3
    // fills, a digit starts editing. A release with Ctrl held does nothing. Without a
    // focused cell the arrows are the view's own.
    bool Key(const TGridKey& key);
    // The grid lost the focus: the keys it saw pressed are forgotten.
    void FocusLost();
    // Whether the key A (or D) is down, from the presses and releases the grid saw.
    bool IsDown(TGridKeyCode code) const { return down_.count(code) != 0; }

    // A mouse release over the grid once the view has focused the cell under it: with
    // Ctrl as the only modifier the page's Ctrl+click hook runs on the focused cell;
    // without modifiers a grid that edits on a single click starts editing. True when
    // something ran.
    bool MouseRelease(bool ctrl, bool shift, bool alt);
    // A double click on a cell: a grid that edits on clicks starts editing.
    bool MouseDoubleClick();

    // The commands, on the focused cell; each does nothing without one.
    // Left/Right: the neighbouring focusable column, wrapping to the last column of
    // the previous row or the first of the next; nothing at either end.
    bool MoveHorizontal(bool right);
    // Up/Down: the neighbouring row that takes the focus, in the same column (reduced
    // to that row's last column); with copy, CopyToNeighbour first. Nothing at either
    // end.
    bool MoveVertical(bool down, bool copy);
    // Copies the focused cell to the same column of the row at target: with A down the
    // displayed number + 1, with D down - 1 (A wins), else the field's value, each
    // read as a whole number. A text that is no number, in either row, stops it
    // without a change; so does a target row that cannot keep the column (its last
    // column lies before it). The target becomes focused, also when nothing was
    // copied; a refused store raises and leaves the focus where it was.
    void CopyToNeighbour(int target);
    // Ctrl+Up/Down: the column's step rule on the command field's value.
    void StepCell(bool up);
    // Delete: the command field to its default (ResetCell of GridSpec.h). Alt+Delete:
    // the row's record to its defaults, without the cell validation; like every
    // command, nothing on a column without a command field.
    void ResetCell();
    void ResetRow();
    // F3: the fill dialog with the number of rows from the focused one to the last.
    void AskFillValues();
    // Stores first, first + increment ... into the command field of the focused column
    // in the focused row and each one after it that has the field, count times or to
    // the last row. Whole numbers in 64 bits; a result beyond 32 bits stops the fill as
    // a refused store does. Rows are repainted also when it stops.
    void FillColumn(int64_t first, int64_t count, int64_t increment);

    // The first and last column of a row that take the focus (first > last: none).
    int FirstColumn(int position) const;
    int LastColumn(int position) const;
    bool CanFocus(int position, int column) const;

private:
    // The focused cell; none without a focused row and column.
    struct TCell {
        int Row;
        int Column;
    };
    std::optional<TCell> FocusedCell() const;
    // Runs a change of the focused cell's command field (none: nothing); when it
    // changed something, the row is repainted and the hook told of the command.
    using TFieldCommand = std::function<bool(const TGridRow& row, int column, TField& field)>;
    void OnFocusedField(TGridCommand command, const TFieldCommand& change);
    void After(TGridCommand command, int position, int column) const;
    bool KeyPress(const TGridKey& key);
    bool KeyRelease(const TGridKey& key);
    // The neighbouring position that takes the focus; -1 for none.
    int NeighbourRow(int position, bool down) const;

    IGridView& view_;
    const TGridSpec& spec_;
    std::shared_ptr<const platform::FormView> fillView_;
    TCommandSender sender_;
    std::set<TGridKeyCode> down_;    // A and D, held
    std::set<TGridKeyCode> pressed_; // keys pressed on the grid and not yet released
};

// The number a cell's text shows, for the A/D copies; none for a text that is no whole
// number (a state of its own: 2147483647 is a number like any other).
std::optional<int64_t> CellNumber(const std::string& text);

// The positions of rows in the order a header sort shows them: record order when the
// sort is off; a SortByValue column compares its fields' whole-number values three-way
// (exactly, whatever their width; a row without a number first), any other column its
// cell texts in the user's collation with case (CompareCellTexts). Rows that compare
// equal keep their order.
std::vector<int> GridRowOrder(const TGridSpec& spec, const std::vector<TGridRow>& rows, const TSortState& state);

// Asks the main window to show a record (a jump by Ctrl+click): posts WM_FRAME_NOTIFY
// with wParam 0 and the record to platform::MainWindow(). False when it could not post.
bool PostRecordJump(const TFieldLst* record);
