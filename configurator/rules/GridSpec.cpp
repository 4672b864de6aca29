#include "configurator/rules/GridSpec.h"

#include "configurator/rules/DeviceGroupRows.h"
#include "platform/Exceptions.h"
#include "platform/WideCase.h"

#include <algorithm>
#include <limits>
#include <utility>

const char* const GridHelpLines[7] = {
    "F2, Enter - редактирование выбранной ячейки",
    "Alt + Up - предыдущей ячейке присвоить значение выбранной ячейки",
    "Alt + Down - следующей ячейке присвоить значение выбранной ячейки",
    "Alt+A+Up или Alt+A+Down - распространить значение выбранной ячейки с инкрементом",
    "Alt+D+Up или Alt+D+Down - распространить значение выбранной ячейки с декрементом",
    "Delete - сбросить поле в значение по умолчанию",
    "Alt+Delete - сбросить строку в значение по умолчанию",
};

std::vector<TGridRow> RecordRows(int count, const std::function<TFieldLst*(int index)>& recordAt)
{
    std::vector<TGridRow> rows;
    rows.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) rows.push_back({recordAt(i), 0, i + 1});
    return rows;
}

TFieldRef TFieldRef::ByIndex(int index)
{
    TFieldRef ref;
    ref.kind_ = Kind::Index;
    ref.index_ = index;
    return ref;
}

TFieldRef TFieldRef::ByKey(std::string key)
{
    TFieldRef ref;
    ref.kind_ = Kind::Key;
    ref.key_ = std::move(key);
    return ref;
}

TFieldRef TFieldRef::Of(std::function<TField*(const TGridRow& row)> pick)
{
    TFieldRef ref;
    if (!pick) return ref;
    ref.kind_ = Kind::Pick;
    ref.pick_ = std::move(pick);
    return ref;
}

TField* TFieldRef::Resolve(const TGridRow& row) const
{
    switch (kind_) {
    case Kind::None: return nullptr;
    case Kind::Index: return row.Record ? dynamic_cast<TField*>(row.Record->FieldByIndex(index_)) : nullptr;
    case Kind::Key: return row.Record ? dynamic_cast<TField*>(row.Record->FindField(key_)) : nullptr;
    case Kind::Pick: return pick_(row);
    }
    return nullptr;
}

TCtrlStepRule CappedStep(int64_t cap)
{
    return [cap](const TGridRow&, int64_t value, bool up) -> std::optional<int64_t> {
        if (up) return value < cap ? std::optional<int64_t>(value + 1) : std::nullopt;
        return value > 0 ? std::optional<int64_t>(value - 1) : std::nullopt;
    };
}

TCtrlStepRule CappedStep(std::function<int64_t()> cap)
{
    return [cap = std::move(cap)](const TGridRow& row, int64_t value, bool up) {
        return CappedStep(cap())(row, value, up);
    };
}

int PickIndexOf(const TPickList& items, int64_t value)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].second == value) return static_cast<int>(i);
    return -1;
}

void SortPickList(TPickList& items)
{
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) keys.emplace_back(platform::LowerCaseUtf8(items[i].first), i);
    // By the user's collation of the lowered texts; texts equal but for their case in
    // list order.
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
        if (a.first == b.first) return false;
        return CompareCellTexts(a.first, b.first) < 0;
    });
    TPickList sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
    items = std::move(sorted);
}

namespace {

const TGridColumn* ColumnOf(const TGridSpec& spec, int column)
{
    if (column < 0 || column >= spec.ColumnCount()) return nullptr;
    return &spec.Columns[static_cast<size_t>(column)];
}

} // namespace

TField* EditField(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    return c ? c->EditField.Resolve(row) : nullptr;
}

TField* CommandField(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    return c ? c->CommandField.Resolve(row) : nullptr;
}

TField* ShownField(const TGridSpec& spec, const TGridRow& row, int column)
{
    if (TField* field = EditField(spec, row, column)) return field;
    return CommandField(spec, row, column);
}

std::string CellText(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    if (!c) return {};
    if (c->Text) return c->Text(row);
    const TField* field = ShownField(spec, row, column);
    return field ? field->GetValue().ToString() : std::string();
}

std::string CellStaticText(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    return c && c->StaticText ? c->StaticText(row) : std::string();
}

std::string CellWidthText(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    if (c && c->WidthText) return c->WidthText(row);
    return CellStaticText(spec, row, column) + CellText(spec, row, column);
}

TCellLook CellLook(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TGridColumn* c = ColumnOf(spec, column);
    return c && c->Look ? c->Look(row) : TCellLook{};
}

const TEditorSpec& CellEditor(const TGridSpec& spec, const TGridRow& row, int column)
{
    static const TEditorSpec none;
    const TGridColumn* c = ColumnOf(spec, column);
    if (!c) return none;
    if (spec.Hooks.EditorOf) {
        if (const TEditorSpec* own = spec.Hooks.EditorOf(row, column)) return *own;
    }
    return c->Editor;
}

bool CellEditable(const TGridSpec& spec, const TGridRow& row, int column)
{
    const TEditorSpec& editor = CellEditor(spec, row, column);
    if (editor.Kind == TEditorKind::None) return false;
    return editor.Kind == TEditorKind::Custom || EditField(spec, row, column) != nullptr;
}

int64_t EditorMaximum(const TEditorSpec& editor, const TGridRow& row, const TField* field)
{
    if (editor.MaximumOf) return editor.MaximumOf(row);
    if (editor.LimitsFromField && field) return field->MaxValue;
    return editor.Maximum;
}

Variant WholeValue(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max()) throw platform::Exception("Больше максимума");
    if (value < std::numeric_limits<int32_t>::min()) throw platform::Exception("Меньше минимума");
    return Variant(static_cast<int32_t>(value));
}

namespace {

// The grid's cell validation; raises the grid's exception on a refusal.
void ValidateCell(const TGridSpec& spec, const TGridRow& row, int column, TField& field, const Variant& value,
                  TBoundControl& sender)
{
    if (!spec.Hooks.OnValidateCell) return;
    bool accept = true;
    try {
        spec.Hooks.OnValidateCell(sender, column, row, field, value, accept);
    } catch (...) {
        accept = false;
    }
    if (accept) return;
    if (spec.Hooks.OnCellRejected) spec.Hooks.OnCellRejected(column);
    throw platform::Exception("Не допустимое значение");
}

} // namespace

void StoreCell(const TGridSpec& spec, const TGridRow& row, int column, TField& field, const Variant& value,
               TBoundControl& sender)
{
    ValidateCell(spec, row, column, field, value, sender);
    // The field's own SetValue checks its limits only where the class does: a bit field
    // would drop the bits beyond its width without a word.
    // A text is checked as the number it reads as; one that reads as none is left to
    // the store, which refuses it.
    const bool numeric = !value.IsString() || TryStrToFloat(value.Str()).has_value();
    if (field.FieldType != ftString && (field.MinValue != 0 || field.MaxValue != 0) && numeric) {
        if (value.CompareTo(Variant(field.MinValue)) < 0) throw platform::Exception("Меньше минимума");
        if (value.CompareTo(Variant(field.MaxValue)) > 0) throw platform::Exception("Больше максимума");
    }
    field.SetValue(value);
}

void ResetCell(const TGridSpec& spec, const TGridRow& row, int column, TField& field, TBoundControl& sender)
{
    ValidateCell(spec, row, column, field, field.DefaultValue, sender);
    field.ResetDefaults();
}
