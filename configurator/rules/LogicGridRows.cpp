#include "configurator/rules/LogicGridRows.h"

#include "model/ProtocolTables.h"
#include "model/uZumo2.h"

#include <initializer_list>
#include <utility>

const char* const LogicNumberHint = "Внутренний адрес канала";

namespace {

constexpr int kSpinMinWidth = 70;
constexpr int64_t kVakMaximum = 16777215;
constexpr TRgb kSilver{192, 192, 192};

// The channel of a channel row; none on other rows.
TLogic* ChannelOf(const TGridNode& row) { return row.Kind == lrChannel ? RowLogic(row) : nullptr; }

TLogicChannel* KindOf(const TGridNode& row)
{
    const TLogic* logic = RowLogic(row);
    return logic ? logic->ActiveKind() : nullptr;
}

// A whole-number spin edit of the grid: right-aligned, at least 70 pixels wide.
TEditorSpec Spin(int64_t minimum, int64_t maximum)
{
    return {.Kind = TEditorKind::Spin, .Minimum = minimum, .Maximum = maximum, .Width = TEditorWidth::OfText,
            .WidthText = nullptr, .WidthPad = kSpinMinWidth};
}

// A spin edit up to the field's own MaxValue.
TEditorSpec SpinOfField(int64_t minimum)
{
    TEditorSpec spec = Spin(minimum, 0);
    spec.LimitsFromField = true;
    return spec;
}

// A spin edit whose maximum the kind's first parameter decides: 65535 when it is 0,
// else 255.
TEditorSpec SpinBySource()
{
    TEditorSpec spec = Spin(0, 0);
    spec.MaximumOf = [](const TGridNode& row) -> int64_t {
        const TLogicChannel* kind = KindOf(row);
        const TField* source = kind ? kind->ParamField(0) : nullptr;
        return source && source->GetValue().ToInt64() == 0 ? 65535 : 255;
    };
    return spec;
}

// A drop-down list; as wide as its item at widthItem + 20 when widthItem is given.
TEditorSpec Combo(std::function<TPickList(const TGridNode& row)> items, int widthItem = -1, bool rebuild = false)
{
    TEditorSpec spec{.Kind = TEditorKind::Combo, .Items = std::move(items), .RebuildAfterEdit = rebuild};
    if (widthItem >= 0) {
        spec.Width = TEditorWidth::OfItem;
        spec.WidthItem = widthItem;
    }
    return spec;
}

// Items of codes with the texts of a code table.
std::function<TPickList(const TGridNode&)> CodeItems(std::string (*text)(int code), std::initializer_list<int> codes)
{
    TPickList items;
    for (int code : codes) items.emplace_back(text(code), code);
    return [items](const TGridNode&) { return items; };
}

TPickList PortItems(const TGridNode& row)
{
    TPickList items;
    if (const TLogic* logic = RowLogic(row)) logic->FillPortList(items);
    return items;
}

TPickList TypeItems(const TGridNode& row)
{
    TPickList items;
    const TLogic* logic = RowLogic(row);
    const unsigned mask = logic ? LogicKindMaskOf(*logic) : 0;
    for (int i = 0; i < ChannelTypeCount; ++i)
        if (mask & (1u << i)) items.emplace_back(ChannelTypeNames[i], ChannelTypeCodes[i]);
    return items;
}

TEditorSpec TypeCombo()
{
    TEditorSpec spec = Combo(TypeItems, -1, true);
    spec.Width = TEditorWidth::WidestItem;
    // The kind the channel shows: a code of no kind shows (and preselects) "Нет".
    spec.Preselect = [](const TGridNode& row, const TPickList& items) {
        const TLogic* logic = RowLogic(row);
        return logic ? PickIndexOf(items, ChannelTypeCodes[logic->ActiveKindIndex()]) : -1;
    };
    return spec;
}

TPickList KindValueItems(const TGridNode& row)
{
    TPickList items;
    if (const TLogicChannel* kind = KindOf(row)) kind->FillValueList(0, items);
    return items;
}

TPickList CounterItems(const TGridNode&)
{
    return {{"Кол-во принятых байт", 0},
            {"Кол-во переданных байт", 1},
            {"Кол-во принятых пакетов", 6},
            {"Кол-во испорченых пакетов", 7}};
}

// One editor of a class, for a run of columns.
struct TLogicEditorRow {
    TLogicEditor Editor;
    int FirstColumn;
    int LastColumn;
    TEditorSpec Spec;
};

const std::vector<TLogicEditorRow>& LogicEditors()
{
    using E = TLogicEditor;
    static const std::vector<TLogicEditorRow> table = {
        {E::TFieldEditLink, lcVAK, lcVAK, Spin(0, kVakMaximum)},
        {E::TFieldEditLink, lcPort, lcPort, Combo(PortItems)},
        {E::TFieldEditLink, lcType, lcType, TypeCombo()},
        {E::TEditTC, 4, 4, Combo(CodeItems(LogicTSSourceText, {5, 6, 7, 8}), 1, true)},
        {E::TEditTC, 5, 5, SpinBySource()},
        {E::TEditTIT, 4, 4, Combo(KindValueItems, 5, true)},
        {E::TEditTIT, 5, 5, SpinBySource()},
        {E::TEditTII, 4, 4, Combo(CounterItems, 3)},
        {E::TEditTU, 4, 4, Combo(CodeItems(LogicTUCommandText, {0, 4, 9}), 1, true)},
        {E::TEditTU, 5, 5, Spin(0, 65535)},
        {E::TEditGroupTU, 4, 4, Spin(0, 65535)},
        {E::TEditGroupTU, 5, LogicGridColumnCount - 1, SpinOfField(-1)},
        {E::TEditTR, 4, 4, Combo(CodeItems(LogicTRKindText, {1}))},
        {E::TEditTR, 5, 6, SpinOfField(0)},
    };
    return table;
}

// The editor class of each kind index.
constexpr TLogicEditor kKindEditors[ChannelTypeCount] = {
    TLogicEditor::None,   TLogicEditor::TEditTC,      TLogicEditor::TEditTIT,     TLogicEditor::TEditTII,
    TLogicEditor::TEditTU, TLogicEditor::TEditGroupTU, TLogicEditor::TEditGroupTU, TLogicEditor::TEditTR,
};

// Ctrl steps of the VAK: up without a cap of its own (the field's maximum refuses what
// lies beyond), down while above 0.
std::optional<int64_t> VakStep(const TGridNode&, int64_t value, bool up)
{
    if (up) return value + 1;
    return value > 0 ? std::optional<int64_t>(value - 1) : std::nullopt;
}

// Ctrl steps of the port: 0 .. 3, then 255 ("Нет"), whatever ports the model has.
std::optional<int64_t> PortStep(const TGridNode&, int64_t value, bool up)
{
    if (up) return value < 3 ? value + 1 : 255;
    if (value > 2) return 2;
    return value > 0 ? std::optional<int64_t>(value - 1) : std::nullopt;
}

std::optional<int64_t> TypeStep(const TGridNode& row, int64_t, bool up)
{
    const TLogic* logic = ChannelOf(row);
    const std::optional<int> index = logic ? StepKindIndex(*logic, up) : std::nullopt;
    return index ? std::optional<int64_t>(ChannelTypeCodes[*index]) : std::nullopt;
}

// Runs the change handler of each display parameter of the channel's kind once,
// without a sender. The fields are collected first: a handler may rebuild the list.
void RunDisplayHandlers(const TLogic& logic)
{
    const TLogicChannel* kind = logic.ActiveKind();
    if (!kind) return;
    std::vector<TField*> fields;
    for (int i = 0, count = kind->ParamFieldCount(); i < count; ++i)
        if (TField* field = kind->ParamField(i)) fields.push_back(field);
    for (TField* field : fields)
        if (field->OnChange) field->OnChange(nullptr);
}

} // namespace

TLogic* RowLogic(const TGridNode& row) { return dynamic_cast<TLogic*>(row.Record); }

std::string NumberText(const TGridNode& row)
{
    switch (row.Kind) {
    case lrHeader: return "№";
    case lrChannel: return std::to_string(row.Number);
    default: return {};
    }
}

std::vector<TLogic*> LogicChannels(const TZumo2Doc& document)
{
    std::vector<TLogic*> channels;
    channels.reserve(static_cast<size_t>(document.LogicChannelCount()));
    for (int i = 0; i < document.LogicChannelCount(); ++i) channels.push_back(document.LogicChannelByIndex(i));
    return channels;
}

bool JoinsGroup(const TLogic& previous, const TLogic& channel)
{
    if (previous.ActiveKindIndex() != channel.ActiveKindIndex()) return false;
    const TLogicChannel* kind = channel.ActiveKind();
    const TLogicChannel* previousKind = previous.ActiveKind();
    if (!kind || !previousKind) return true;
    const int count = kind->ParamFieldCount();
    if (previousKind->ParamFieldCount() != count) return false;
    for (int i = 0; i < count; ++i)
        if (previousKind->ParamCaption(i) != kind->ParamCaption(i)) return false;
    return true;
}

std::vector<TGridNode> LogicGridRows(const std::vector<TLogic*>& channels)
{
    std::vector<TGridNode> rows;
    rows.reserve(channels.size() * 3);
    const TLogic* previous = nullptr;
    for (size_t i = 0; i < channels.size(); ++i) {
        TLogic* logic = channels[i];
        if (!logic) continue;
        RunDisplayHandlers(*logic);
        if (!previous || !JoinsGroup(*previous, *logic)) {
            if (previous) rows.push_back({logic, lrSeparator, 0});
            rows.push_back({logic, lrHeader, 0});
        }
        rows.push_back({logic, lrChannel, static_cast<int>(i) + 1});
        previous = logic;
    }
    return rows;
}

int LogicRowPosition(const std::vector<TGridNode>& rows, const TLogic* logic)
{
    if (!logic) return -1;
    for (size_t p = 0; p < rows.size(); ++p)
        if (rows[p].Kind == lrChannel && rows[p].Record == logic) return static_cast<int>(p);
    return -1;
}

int RowLastColumn(const TGridNode& row)
{
    const TLogicChannel* kind = KindOf(row);
    return lcType + (kind ? kind->ParamFieldCount() : 0);
}

TLogicEditor LogicEditorClass(const TGridNode& row, int column)
{
    const TLogic* logic = ChannelOf(row);
    if (!logic || column < lcVAK || column >= LogicGridColumnCount) return TLogicEditor::None;
    if (column <= lcType) return TLogicEditor::TFieldEditLink;
    return logic->ActiveKind() ? kKindEditors[logic->ActiveKindIndex()] : TLogicEditor::None;
}

const TEditorSpec* LogicCellEditor(const TGridNode& row, int column)
{
    const TLogicEditor editor = LogicEditorClass(row, column);
    if (editor == TLogicEditor::None) return nullptr;
    for (const TLogicEditorRow& r : LogicEditors())
        if (r.Editor == editor && column >= r.FirstColumn && column <= r.LastColumn) return &r.Spec;
    return nullptr;
}

unsigned LogicKindMaskOf(const TLogic& logic)
{
    for (const TFieldLst* p = logic.Parent; p; p = p->Parent)
        if (const auto* document = dynamic_cast<const TDocument*>(p)) return document->LogicKindMask;
    return (1u << ChannelTypeCount) - 1;
}

std::optional<int> StepKindIndex(const TLogic& logic, bool up)
{
    const unsigned mask = LogicKindMaskOf(logic);
    const int step = up ? 1 : -1;
    for (int i = logic.ActiveKindIndex() + step; i >= 0 && i < ChannelTypeCount; i += step)
        if ((mask & (1u << i)) && (i == 0 || logic.Kind(i))) return i;
    return std::nullopt;
}

TGridSpec LogicGridSpec(std::function<void()> requestRebuild)
{
    TGridSpec spec;
    spec.Columns.reserve(LogicGridColumnCount);
    spec.Columns.push_back({.Width = 10, .Focusable = false, .Hint = LogicNumberHint, .Text = NumberText});
    for (int c = lcVAK; c < LogicGridColumnCount; ++c) {
        const TFieldRef field = TFieldRef::Of([c](const TGridNode& row) -> TField* {
            const TLogic* logic = ChannelOf(row);
            return logic ? logic->ColumnField(c - 1) : nullptr;
        });
        TGridColumn column{
            .Width = c == lcPort ? 160 : 10,
            .MinWidth = c == lcPort ? 160 : 0,
            .EditField = field,
            .CommandField = field,
            .Text =
                [c](const TGridNode& row) {
                    const TLogic* logic = RowLogic(row);
                    if (!logic || row.Kind == lrSeparator) return std::string();
                    return row.Kind == lrHeader ? logic->ColumnCaption(c - 1) : logic->ColumnText(c - 1);
                },
            .Look =
                [](const TGridNode& row) {
                    const TLogic* logic = ChannelOf(row);
                    return logic && !logic->ActiveKind() ? TCellLook{.Text = kSilver} : TCellLook{};
                },
            .Fills = c == lcVAK,
        };
        if (c == lcVAK) column.CtrlStep = VakStep;
        if (c == lcPort) column.CtrlStep = PortStep;
        if (c == lcType) column.CtrlStep = TypeStep;
        spec.Columns.push_back(std::move(column));
    }
    spec.Hooks.LastColumn = [](const TGridNode& row) { return ChannelOf(row) ? RowLastColumn(row) : -1; };
    spec.Hooks.EditorOf = LogicCellEditor;
    spec.Hooks.AfterCommand = [requestRebuild = std::move(requestRebuild)](TGridCommand command, int, int column) {
        // Commands that may change a channel's kind, or the parameters it shows.
        const bool regroup = command == TGridCommand::Reset || command == TGridCommand::ResetRow ||
                             (command == TGridCommand::CtrlStep && column == lcType) ||
                             (command == TGridCommand::AltCopy && column >= lcType);
        if (regroup && requestRebuild) requestRebuild();
    };
    return spec;
}
