#include "configurator/rules/GridController.h"

#include "configurator/rules/FAutoInc.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"

#include <algorithm>
#include <limits>
#include <numeric>

IGridView::~IGridView() = default;

namespace {

// A field's value as a whole number; none for a text that is no number or a value
// beyond 64 bits.
std::optional<int64_t> FieldNumber(const TField& field)
{
    const Variant value = field.GetValue();
    if (value.IsString()) return TryStrToInt(value.Str());
    try {
        return value.ToInt64();
    } catch (const platform::EConvertError&) {
        return std::nullopt;
    }
}

// a + b, saturated at the ends of 64 bits (the store refuses such values anyway).
int64_t AddSaturated(int64_t a, int64_t b)
{
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

} // namespace

TGridKeyCode GridLetterKey(char32_t letter)
{
    switch (letter) {
    case U'A': case U'a': case U'Ф': case U'ф': return TGridKeyCode::A;
    case U'D': case U'd': case U'В': case U'в': return TGridKeyCode::D;
    default: return TGridKeyCode::Other;
    }
}

std::optional<int64_t> CellNumber(const std::string& text) { return TryStrToInt(text); }

TGridController::TGridController(IGridView& view, const TGridSpec& spec,
                                 std::shared_ptr<const platform::FormView> fillView)
    : view_(view), spec_(spec), fillView_(std::move(fillView))
{
}

int TGridController::FirstColumn(int position) const
{
    if (position < 0 || position >= view_.RowCount()) return 0;
    for (int c = 0; c < spec_.ColumnCount(); ++c) {
        const TGridColumn& column = spec_.Columns[static_cast<size_t>(c)];
        if (!column.Hidden && column.Focusable) return c;
    }
    return spec_.ColumnCount();
}

int TGridController::LastColumn(int position) const
{
    if (position < 0 || position >= view_.RowCount()) return -1;
    int last = -1;
    for (int c = spec_.ColumnCount() - 1; c >= 0 && last < 0; --c) {
        const TGridColumn& column = spec_.Columns[static_cast<size_t>(c)];
        if (!column.Hidden && column.Focusable) last = c;
    }
    if (spec_.Hooks.LastColumn) last = std::min(last, spec_.Hooks.LastColumn(view_.Row(position)));
    return last;
}

bool TGridController::CanFocus(int position, int column) const
{
    if (column < FirstColumn(position) || column > LastColumn(position)) return false;
    const TGridColumn& c = spec_.Columns[static_cast<size_t>(column)];
    return !c.Hidden && c.Focusable;
}

int TGridController::NeighbourRow(int position, bool down) const
{
    const int step = down ? 1 : -1;
    for (int p = position + step; p >= 0 && p < view_.RowCount(); p += step)
        if (FirstColumn(p) <= LastColumn(p)) return p;
    return -1;
}

std::optional<TGridController::TCell> TGridController::FocusedCell() const
{
    const int row = view_.FocusedRow();
    const int column = view_.FocusedColumn();
    if (row < 0 || row >= view_.RowCount() || column < 0 || column >= spec_.ColumnCount()) return std::nullopt;
    return TCell{row, column};
}

void TGridController::After(TGridCommand command, int position, int column) const
{
    if (spec_.Hooks.AfterCommand) spec_.Hooks.AfterCommand(command, position, column);
}

bool TGridController::MoveHorizontal(bool right)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return false;
    const auto [row, column] = *cell;
    const int step = right ? 1 : -1;
    for (int c = column + step; c >= FirstColumn(row) && c <= LastColumn(row); c += step) {
        if (!CanFocus(row, c)) continue;
        view_.Focus(row, c);
        After(TGridCommand::Move, row, c);
        return true;
    }
    const int target = NeighbourRow(row, right);
    if (target < 0) return false;
    const int c = right ? FirstColumn(target) : LastColumn(target);
    view_.Focus(target, c);
    After(TGridCommand::Move, target, c);
    return true;
}

bool TGridController::MoveVertical(bool down, bool copy)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return false;
    const auto [row, column] = *cell;
    const int target = NeighbourRow(row, down);
    if (target < 0) return false;
    if (copy) {
        CopyToNeighbour(target);
        return true;
    }
    const int c = std::clamp(column, FirstColumn(target), LastColumn(target));
    view_.Focus(target, c);
    After(TGridCommand::Move, target, c);
    return true;
}

void TGridController::CopyToNeighbour(int target)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell || target < 0 || target >= view_.RowCount()) return;
    const auto [row, column] = *cell;
    const int targetColumn = std::clamp(column, FirstColumn(target), LastColumn(target));
    bool stored = false;
    // A target row that cannot keep the column gets nothing: the value would land in
    // another column's field.
    TField* source = CommandField(spec_, view_.Row(row), column);
    TField* destination = targetColumn == column ? CommandField(spec_, view_.Row(target), column) : nullptr;
    if (source && destination) {
        const int64_t delta = IsDown(TGridKeyCode::A) ? 1 : IsDown(TGridKeyCode::D) ? -1 : 0;
        std::optional<int64_t> a, b;
        if (delta != 0) {
            a = CellNumber(CellText(spec_, view_.Row(row), column));
            b = CellNumber(CellText(spec_, view_.Row(target), column));
        } else {
            a = FieldNumber(*source);
            b = FieldNumber(*destination);
        }
        if (a && b) {
            StoreCell(spec_, view_.Row(target), column, *destination, WholeValue(*a + delta), sender_);
            view_.RowsStored(target, target);
            stored = true;
        }
    }
    view_.Focus(target, targetColumn);
    After(stored ? TGridCommand::AltCopy : TGridCommand::Move, target, targetColumn);
}

void TGridController::OnFocusedField(TGridCommand command, const TFieldCommand& change)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return;
    const auto [row, column] = *cell;
    TField* field = CommandField(spec_, view_.Row(row), column);
    if (!field || !change(view_.Row(row), column, *field)) return;
    view_.RowsStored(row, row);
    After(command, row, column);
}

void TGridController::StepCell(bool up)
{
    OnFocusedField(TGridCommand::CtrlStep, [this, up](const TGridRow& row, int column, TField& field) {
        const TCtrlStepRule& rule = spec_.Columns[static_cast<size_t>(column)].CtrlStep;
        const std::optional<int64_t> value = FieldNumber(field);
        if (!rule || !value) return false;
        const std::optional<int64_t> next = rule(row, *value, up);
        if (!next || *next == *value) return false;
        StoreCell(spec_, row, column, field, WholeValue(*next), sender_);
        return true;
    });
}

void TGridController::ResetCell()
{
    OnFocusedField(TGridCommand::Reset, [this](const TGridRow& row, int column, TField& field) {
        ::ResetCell(spec_, row, column, field, sender_);
        return true;
    });
}

void TGridController::ResetRow()
{
    // Like every command, Alt+Delete does nothing on a column without a field.
    OnFocusedField(TGridCommand::ResetRow, [](const TGridRow& row, int, TField&) {
        if (!row.Record) return false;
        row.Record->ResetDefaults();
        return true;
    });
}

void TGridController::AskFillValues()
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return;
    const auto [row, column] = *cell;
    if (!spec_.Columns[static_cast<size_t>(column)].Fills || !CommandField(spec_, view_.Row(row), column)) return;
    ::AskFillValues(
        view_.RowCount() - row, [this](int64_t first, int64_t count, int64_t increment) { FillColumn(first, count, increment); },
        fillView_);
}

void TGridController::FillColumn(int64_t first, int64_t count, int64_t increment)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return;
    const auto [row, column] = *cell;
    int stored = -1; // the last row stored
    int64_t value = first;
    try {
        for (int p = row; p < view_.RowCount() && count > 0; ++p) {
            TField* field = CommandField(spec_, view_.Row(p), column);
            if (!field) continue; // a row of another kind
            StoreCell(spec_, view_.Row(p), column, *field, WholeValue(value), sender_);
            stored = p;
            value = AddSaturated(value, increment);
            --count;
        }
    } catch (...) {
        if (stored >= row) view_.RowsStored(row, stored);
        throw;
    }
    if (stored >= row) {
        view_.RowsStored(row, stored);
        After(TGridCommand::Fill, row, column);
    }
}

bool TGridController::Key(const TGridKey& key) { return key.Press ? KeyPress(key) : KeyRelease(key); }

void TGridController::FocusLost()
{
    down_.clear();
    pressed_.clear();
}

bool TGridController::KeyPress(const TGridKey& key)
{
    if (key.Code == TGridKeyCode::A || key.Code == TGridKeyCode::D) down_.insert(key.Code);
    if (view_.Editing()) return false;
    const TGridCommands& commands = spec_.Commands;
    const std::optional<TCell> cell = FocusedCell();
    const TGridColumn* focused = cell ? &spec_.Columns[static_cast<size_t>(cell->Column)] : nullptr;
    // The key waits for its release.
    const auto holdBack = [this, &key] {
        pressed_.insert(key.Code);
        return true;
    };
    // Without a focused cell the view's own arrows find one first.
    const bool arrow = key.Code == TGridKeyCode::Up || key.Code == TGridKeyCode::Down ||
                       key.Code == TGridKeyCode::Left || key.Code == TGridKeyCode::Right;
    if (arrow && !cell) return false;
    switch (key.Code) {
    case TGridKeyCode::Up:
    case TGridKeyCode::Down:
        if (key.Ctrl) {
            pressed_.erase(key.Code); // its release moves nothing
            if (!commands.CtrlSteps) return false;
            StepCell(key.Code == TGridKeyCode::Up);
            return true;
        }
        return commands.UpDown && holdBack();
    case TGridKeyCode::Left:
    case TGridKeyCode::Right:
        if (!commands.LeftRight) return false;
        if (commands.LeftRightOn == TKeyMoment::Press) {
            MoveHorizontal(key.Code == TGridKeyCode::Right);
            return true;
        }
        return holdBack();
    case TGridKeyCode::Enter:
    case TGridKeyCode::F2:
        if (!commands.EnterEdits) return false;
        if (commands.EnterOn == TKeyMoment::Press) {
            view_.StartEdit(-1);
            return true;
        }
        return holdBack();
    case TGridKeyCode::Delete:
        return commands.Reset && holdBack();
    case TGridKeyCode::F3:
        return focused && focused->Fills && holdBack();
    case TGridKeyCode::Digit:
        return focused && focused->DigitEdits && holdBack();
    default:
        return false;
    }
}

bool TGridController::KeyRelease(const TGridKey& key)
{
    if (key.AutoRepeat) return pressed_.count(key.Code) != 0;
    if (key.Code == TGridKeyCode::A || key.Code == TGridKeyCode::D) down_.erase(key.Code);
    // Only the release of a press the grid held back acts: the release of an Enter or
    // Esc that ended an editor, or of a key pressed elsewhere, does nothing.
    if (pressed_.erase(key.Code) == 0) return false;
    if (key.Ctrl || view_.Editing()) return true;
    const TGridCommands& commands = spec_.Commands;
    switch (key.Code) {
    case TGridKeyCode::Enter:
    case TGridKeyCode::F2: view_.StartEdit(-1); break;
    case TGridKeyCode::Left:
    case TGridKeyCode::Right: MoveHorizontal(key.Code == TGridKeyCode::Right); break;
    case TGridKeyCode::Up:
    case TGridKeyCode::Down: MoveVertical(key.Code == TGridKeyCode::Down, key.Alt && commands.AltCopy); break;
    case TGridKeyCode::Delete:
        if (key.Alt)
            ResetRow();
        else
            ResetCell();
        break;
    case TGridKeyCode::F3: AskFillValues(); break;
    case TGridKeyCode::Digit: view_.StartEdit(key.Digit); break;
    default: break;
    }
    return true;
}

bool TGridController::MouseRelease(bool ctrl, bool shift, bool alt)
{
    const std::optional<TCell> cell = FocusedCell();
    if (!cell) return false;
    const auto [row, column] = *cell;
    if (ctrl && !shift && !alt) {
        if (!spec_.Hooks.OnCtrlClick) return false;
        spec_.Hooks.OnCtrlClick(view_.Row(row), column);
        return true;
    }
    if (ctrl || shift || alt || spec_.Commands.ClickEdits != TEditClick::Single || view_.Editing()) return false;
    view_.StartEdit(-1);
    return true;
}

bool TGridController::MouseDoubleClick()
{
    if (spec_.Commands.ClickEdits == TEditClick::None || view_.Editing() || !FocusedCell()) return false;
    view_.StartEdit(-1);
    return true;
}

std::vector<int> GridRowOrder(const TGridSpec& spec, const std::vector<TGridRow>& rows, const TSortState& state)
{
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    if (state.Direction == TSortDirection::None || state.Column < 0 || state.Column >= spec.ColumnCount())
        return order;
    const int column = state.Column;
    const bool descending = state.Direction == TSortDirection::Descending;
    if (spec.Columns[static_cast<size_t>(column)].SortByValue) {
        // Three-way on whole numbers: values from a file may exceed 2^31.
        std::vector<std::optional<int64_t>> values(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            if (const TField* field = ShownField(spec, rows[i], column)) values[i] = FieldNumber(*field);
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
            const std::optional<int64_t>& a = values[static_cast<size_t>(x)];
            const std::optional<int64_t>& b = values[static_cast<size_t>(y)];
            return descending ? a > b : a < b;
        });
        return order;
    }
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const TGridRow& row : rows) texts.push_back(CellText(spec, row, column));
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = CompareCellTexts(texts[static_cast<size_t>(x)], texts[static_cast<size_t>(y)]);
        return descending ? c > 0 : c < 0;
    });
    return order;
}

bool PostRecordJump(const TFieldLst* record)
{
    if (!record) return false;
    return platform::PostMessage(platform::MainWindow(), platform::WM_FRAME_NOTIFY, 0,
                                 reinterpret_cast<platform::LPARAM>(record));
}
