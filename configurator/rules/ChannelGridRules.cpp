#include "configurator/rules/ChannelGridRules.h"

#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "model/uZumo_Classes.h"

#include <algorithm>
#include <iterator>

namespace {

const char* const kFormatPrefix = "Формат данных: ";
const char* const kCommandPrefix = "Команда: ";
constexpr int kNone = 255;

// The value of a row's field at a position as a whole number; -1 without one.
int64_t CodeAt(const TGridRow& row, int position)
{
    const TField* field = row.Record ? dynamic_cast<const TField*>(row.Record->FieldByIndex(position)) : nullptr;
    if (!field) return -1;
    const Variant value = field->GetValue();
    return value.IsString() ? TryStrToInt(value.Str()).value_or(-1) : value.ToInt64();
}

// The value of a row's field at a position as text; "" without one.
std::string TextAt(const TGridRow& row, int position)
{
    const TField* field = row.Record ? dynamic_cast<const TField*>(row.Record->FieldByIndex(position)) : nullptr;
    return field ? field->GetValue().ToString() : std::string();
}

int AsCode(int64_t value) { return value < INT32_MIN || value > INT32_MAX ? -1 : static_cast<int>(value); }

// The description of a row: the command text on a command row, else the row's own text
// of its value.
template <class OtherText>
TCellTextRule DescriptionText(int typeColumn, int column, OtherText other)
{
    return [=](const TGridRow& row) {
        const int code = AsCode(CodeAt(row, column));
        return CodeAt(row, typeColumn) == CommandChannelType ? ChannelCommandText(code) : other(code);
    };
}

// The description's prefix of a row.
TCellTextRule DescriptionPrefix(int typeColumn)
{
    return [=](const TGridRow& row) { return ChannelDescriptionPrefix(AsCode(CodeAt(row, typeColumn))); };
}

// The description's items of a row: the command list on a command row, else the given.
std::function<TPickList(const TGridRow&)> DescriptionItems(int typeColumn, const TPickList& other)
{
    return [typeColumn, &other](const TGridRow& row) {
        return CodeAt(row, typeColumn) == CommandChannelType ? ChannelCommandItems() : other;
    };
}

// The items of a fixed list.
std::function<TPickList(const TGridRow&)> ItemsOf(const TPickList& items)
{
    return [&items](const TGridRow&) { return items; };
}

// A spin editor up to a maximum.
TEditorSpec Spin(int64_t maximum) { return {.Kind = TEditorKind::Spin, .Maximum = maximum}; }

// A combo editor at least the width of a text + 20.
TEditorSpec Combo(std::function<TPickList(const TGridRow&)> items, const char* widthText)
{
    return {.Kind = TEditorKind::Combo, .Items = std::move(items), .Width = TEditorWidth::OfText,
            .WidthText = widthText, .WidthPad = 20};
}

// The text a column of a row shows, as the grid spec's rule or the field's value gives it.
TCellTextRule WidenedText(TCellTextRule text, int column)
{
    return [text = std::move(text), column](const TGridRow& row) {
        return ChannelWidthText(text ? text(row) : TextAt(row, column));
    };
}

} // namespace

// ---------------------------------------------------------------------------------
// Shared

std::string ChannelDescriptionPrefix(int type) { return type == CommandChannelType ? kCommandPrefix : kFormatPrefix; }

std::string ChannelWidthText(const std::string& text) { return kFormatPrefix + text; }

std::string ChannelCommandText(int code)
{
    switch (code) {
    case 1: return "Включить";
    case 2: return "Отключить";
    default: return "Не задана";
    }
}

const TPickList& ChannelCommandItems()
{
    static const TPickList items = {{"Включить", 1}, {"Отключить", 2}, {"Не задана", kNone}};
    return items;
}

// ---------------------------------------------------------------------------------
// The device channel grid

namespace {

struct TFormat {
    int Code;
    const char* Name;
};
// In the order the format list shows them.
const TFormat kFormats[] = {
    {0, "Int16"},          {48, "Float 1234"},    {80, "Float 2143"},        {96, "Float 4321"},
    {160, "MK51 / Q"},     {144, "MK51 / P,I"},   {176, "MK51 / Аналог"},    {192, "8 Бит(ASDU136)"},
    {32, "DO генер. всегда"}, {64, "DO по измен."}, {kNone, "Не задан"},
};

// The chain Ctrl+Up and Ctrl+Down walk; 255 stands above its end.
constexpr int64_t kFormatChain[] = {0, 48, 80, 96, 144, 160};

} // namespace

const char* const DevChannelRangeMessage = "Обнаруженено пересечение с другим диапазоном ВАК\r\nили ВАК уже занят";
const char* const DevChannelInvalidMessage = "Не допустимое значение";

std::string DataFormatName(int code)
{
    for (const TFormat& format : kFormats)
        if (format.Code == code) return format.Name;
    return "Не задан";
}

const TPickList& DataFormatItems()
{
    static const TPickList items = [] {
        TPickList list;
        for (const TFormat& format : kFormats) list.emplace_back(format.Name, format.Code);
        return list;
    }();
    return items;
}

std::string DevChannelTypeText(int code)
{
    std::string name = ChannelKindShortName(code);
    return name.empty() ? "нет" : name;
}

const TPickList& DevChannelTypeItems()
{
    static const TPickList items = {{"Нет", kNone}, {"ТС", 0},       {"ТИТ", 1}, {"ТИИ", 2},
                                    {"ТУ", 3},      {"ТР", 4},       {"Параметр", 5}, {"ДТС", 7}};
    return items;
}

std::optional<int64_t> DescriptionStep(int64_t value, bool up)
{
    const auto* begin = std::begin(kFormatChain);
    const auto* end = std::end(kFormatChain);
    if (up) {
        const auto* at = std::find(begin, end, value);
        return at != end && at + 1 != end ? at[1] : int64_t{kNone};
    }
    // The largest chain value below the value.
    const auto* above = std::lower_bound(begin, end, value);
    if (above == begin) return std::nullopt;
    return above[-1];
}

TGridSpec DevChannelGridSpec()
{
    const auto bound = [](int index) { return TFieldRef::ByIndex(index); };
    const auto grey = [](int column) -> TCellLookRule {
        return [column](const TGridRow& row) {
            TCellLook look;
            if (CodeAt(row, dcCount) == 0 || (column == dcDescription && CodeAt(row, dcDescription) == kNone))
                look.Text = ChannelGrey;
            if (column == dcDescription) look.Static = ChannelSilver;
            return look;
        };
    };
    const TCellTextRule typeText = [](const TGridRow& row) { return DevChannelTypeText(AsCode(CodeAt(row, dcType))); };
    const TCellTextRule descriptionText = DescriptionText(dcType, dcDescription, DataFormatName);

    TGridSpec spec;
    spec.Columns = {
        {.Caption = "Начальный адрес", .Align = TCellAlign::Center, .MinWidth = 110,
         .EditField = bound(dcStart), .CommandField = bound(dcStart), .WidthText = WidenedText({}, dcStart),
         .Look = grey(dcStart), .Editor = Spin(2147483647), .CtrlStep = CappedStep(2147483647), .Fills = true,
         .DigitEdits = true, .SortByValue = true},
        {.Caption = "Кол-во", .Align = TCellAlign::Center, .MinWidth = 50,
         .Hint = "Кол-во последовательно идущих объектов с увеличением адреса на 1", .EditField = bound(dcCount),
         .CommandField = bound(dcCount), .WidthText = WidenedText({}, dcCount), .Look = grey(dcCount),
         .Editor = Spin(65535), .CtrlStep = CappedStep(65535), .Fills = true, .DigitEdits = true,
         .SortByValue = true},
        {.Caption = "ВАК", .Align = TCellAlign::Center, .MinWidth = 50, .Hint = "Внутренний адрес канала",
         .EditField = bound(dcVak), .CommandField = bound(dcVak), .WidthText = WidenedText({}, dcVak),
         .Look = grey(dcVak), .Editor = Spin(2147483647), .CtrlStep = CappedStep(16777215), .Fills = true,
         .DigitEdits = true, .SortByValue = true},
        {.Caption = "Тип", .Align = TCellAlign::Center, .MinWidth = 50, .EditField = bound(dcType),
         .CommandField = bound(dcType), .Text = typeText, .WidthText = WidenedText(typeText, dcType),
         .Look = grey(dcType), .Editor = Combo(ItemsOf(DevChannelTypeItems()), "Параметр"),
         .CtrlStep = CappedStep(2147483647)},
        {.Caption = "Описание", .Align = TCellAlign::Right, .CaptionAlign = TCellAlign::Center, .MinWidth = 100,
         .EditField = bound(dcDescription), .CommandField = bound(dcDescription), .Text = descriptionText,
         .StaticText = DescriptionPrefix(dcType), .WidthText = WidenedText(descriptionText, dcDescription),
         .Look = grey(dcDescription),
         .Editor = Combo(DescriptionItems(dcType, DataFormatItems()), "Float 4321"),
         .CtrlStep = [](const TGridRow&, int64_t value, bool up) { return DescriptionStep(value, up); }},
    };
    spec.Commands.HeaderSort = true;
    spec.ColumnsMovable = true;
    return spec;
}

std::vector<TGridRow> DevChannelRows(const TDevice& device)
{
    return RecordRows(device.ChannelBlockCount(), [&device](int i) -> TFieldLst* { return device.ChannelBlockByIndex(i); });
}

void ValidateDevChannelCell(TParamBinding& page, TBoundControl& sender, int, const TGridRow& row, TField& field,
                            const Variant& value, bool& accept)
{
    if (!page.OnValidate) return;
    page.ValidateValue(sender, &field, value, row.Record, accept);
    // The binding shows the value again only in controls it holds; the grid's editor
    // is none of them.
    if (!accept) sender.Show(field);
}

void RaiseDevChannelRefusal(int column)
{
    if (column == dcCount || column == dcVak) throw EDevChannelRangeCheckFailedException(DevChannelRangeMessage);
    throw EDevChannelINValidValueException(DevChannelInvalidMessage);
}

void BindDevChannelValidation(TGridSpec& spec, TParamBinding& page)
{
    spec.Hooks.OnValidateCell = [&page](TBoundControl& sender, int column, const TGridRow& row, TField& field,
                                        const Variant& value, bool& accept) {
        ValidateDevChannelCell(page, sender, column, row, field, value, accept);
    };
    spec.Hooks.OnCellRejected = [](int column) { RaiseDevChannelRefusal(column); };
}

// ---------------------------------------------------------------------------------
// The Zumo 7 own and DIO channel grids

const TZumo7ChannelTable& Zumo7ChannelTable(TZumo7ChannelKind kind)
{
    static const TZumo7ChannelTable tables[] = {
        {TZumo7ChannelKind::Own, {{0, "ТС"}, {3, "ТУ"}}, 7, {zcDescription, zcBounce},
         [](const TZumo7Doc& d) { return d.InternalChannelCount(); },
         [](const TZumo7Doc& d, int i) -> TFieldLst* { return d.InternalChannelByIndex(i); }},
        {TZumo7ChannelKind::DIO, {{0, "ТС"}, {3, "ТУ"}, {5, "Параметр"}}, 6, {},
         [](const TZumo7Doc& d) { return d.DioChannelCount(); },
         [](const TZumo7Doc& d, int i) -> TFieldLst* { return d.DioChannelByIndex(i); }},
    };
    return tables[kind == TZumo7ChannelKind::Own ? 0 : 1];
}

std::string Zumo7ChannelTypeText(const TZumo7ChannelTable& table, int code)
{
    for (const auto& [named, text] : table.TypeNames)
        if (named == code) return text;
    return "Нет";
}

std::string Zumo7DescriptionText(int code) { return code == 16 ? "Инверсия" : "Не задано"; }

const TPickList& Zumo7ChannelTypeItems()
{
    static const TPickList items = {{"Нет", kNone}, {"ТС", 0}, {"ТУ", 3}};
    return items;
}

const TPickList& Zumo7DescriptionItems()
{
    static const TPickList items = {{"Инверсия", 16}, {"Не задано", kNone}};
    return items;
}

TGridSpec Zumo7ChannelGridSpec(const TZumo7ChannelTable& table)
{
    const auto bound = [](int index) { return TFieldRef::ByIndex(index); };
    const TCellTextRule descriptionText = DescriptionText(zcType, zcDescription, Zumo7DescriptionText);

    TGridSpec spec;
    spec.Columns = {
        {.Caption = "Начальный адрес", .Align = TCellAlign::Center, .MinWidth = 110, .TextPad = 20,
         .EditField = bound(zcStart), .CommandField = bound(zcStart), .Editor = Spin(2147483647),
         .DigitEdits = true, .SortByValue = true},
        {.Caption = "Кол-во", .Align = TCellAlign::Center, .MinWidth = 50, .TextPad = 20,
         .EditField = bound(zcCount), .CommandField = bound(zcCount), .Editor = Spin(65535), .DigitEdits = true,
         .SortByValue = true},
        {.Caption = "ВАК", .Align = TCellAlign::Center, .MinWidth = 50, .TextPad = 20, .EditField = bound(zcVac),
         .CommandField = bound(zcVac), .Editor = Spin(2147483647), .DigitEdits = true, .SortByValue = true},
        {.Caption = "Тип", .Align = TCellAlign::Center, .MinWidth = 50, .TextPad = 20, .EditField = bound(zcType),
         .CommandField = bound(zcType),
         .Text = [table](const TGridRow& row) { return Zumo7ChannelTypeText(table, AsCode(CodeAt(row, zcType))); },
         .Editor = Combo(ItemsOf(Zumo7ChannelTypeItems()), "Параметр")},
        {.Caption = "Описание", .Align = TCellAlign::Right, .CaptionAlign = TCellAlign::Center, .MinWidth = 100,
         .EditField = bound(zcDescription), .CommandField = bound(zcDescription), .Text = descriptionText,
         .StaticText = DescriptionPrefix(zcType), .WidthText = WidenedText(descriptionText, zcDescription),
         .Editor = Combo(DescriptionItems(zcType, Zumo7DescriptionItems()), "Float 4321")},
        {.Caption = "Время удержания(ms)", .Width = 150, .TextPad = 20, .EditField = bound(zcHold),
         .CommandField = bound(zcHold), .Editor = Spin(2147483647)},
        {.Caption = "Время дребезга(ms)", .Width = 130, .TextPad = 20, .EditField = bound(zcHold),
         .Editor = Spin(2147483647)},
    };
    spec.Columns.resize(static_cast<size_t>(table.ColumnCount));
    for (int column : table.Hidden) {
        TGridColumn& hidden = spec.Columns[static_cast<size_t>(column)];
        hidden.Hidden = true;
        hidden.Editor.Kind = TEditorKind::None;
    }
    TGridCommands& commands = spec.Commands;
    commands.LeftRightOn = TKeyMoment::Press;
    commands.UpDown = false;
    commands.AltCopy = false;
    commands.CtrlSteps = false;
    commands.HeaderSort = true;
    commands.RefusalShowsValue = true;
    spec.Help = TGridHelp::Hidden;
    spec.ColumnsMovable = true;
    spec.FocusedCellStandsOut = false;
    return spec;
}

std::vector<TGridRow> Zumo7ChannelRows(const TZumo7Doc& document, const TZumo7ChannelTable& table)
{
    return RecordRows(table.Count(document), [&](int i) { return table.Record(document, i); });
}
