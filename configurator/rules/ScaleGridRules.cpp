#include "configurator/rules/ScaleGridRules.h"

#include "configurator/rules/GridController.h"
#include "model/uZumo2.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>

const char* const DevScaleHelpLine = "Ctrl + щелчок по ячейке преобразования - переход к преобразованию";

namespace {

const char* const kNone = "нет";

// A field's value as a number; 0 for one that reads as none.
double FieldNumber(const TFieldLst& record, const char* key)
{
    const auto* field = record.Find<TField>(key);
    if (!field) return 0;
    try {
        return field->GetValue().ToDouble();
    } catch (const platform::EConvertError&) {
        return 0;
    }
}

// The conversion number a device scale row holds; 0 without one.
int64_t RowConversion(const TGridRow& row)
{
    if (!row.Record) return 0;
    const auto* field = row.Record->Find<TField>("0003");
    if (!field) return 0;
    try {
        return field->GetValue().ToInt64();
    } catch (const platform::EConvertError&) {
        return 0;
    }
}

std::string WithoutFirstBlank(std::string text)
{
    if (const size_t blank = text.find(' '); blank != std::string::npos) text.erase(blank, 1);
    return text;
}

int IndexOfText(const TPickList& items, const std::string& text)
{
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].first == text) return static_cast<int>(i);
    return -1;
}

} // namespace

std::string ShortNumberText(const std::string& text)
{
    const size_t point = text.find('.');
    if (point == std::string::npos) return text;
    size_t exponent = text.find_first_of("Ee", point);
    if (exponent == std::string::npos) exponent = text.size();
    std::string mantissa = text.substr(0, std::min(exponent, point + 1 + 4));
    while (mantissa.size() > point + 1 && mantissa.back() == '0') mantissa.pop_back();
    return mantissa + text.substr(exponent);
}

std::string ScaleFormulaText(double k, double b)
{
    std::string text = "X*" + FormatFixed(k, 4) + " ";
    if (b > 0)
        text += "+" + FormatFixed(b, 4) + " ";
    else if (b < 0)
        text += FormatFixed(b, 4) + " ";
    return text;
}

TScaleTIT* ReferencedConversion(const TZumo2Doc& doc, int64_t n)
{
    if (n < 1 || n > doc.ScaleCount()) return nullptr;
    return doc.ScaleByIndex(static_cast<int>(n - 1));
}

std::string ConversionFormula(const TZumo2Doc& doc, int64_t n)
{
    const TScaleTIT* scale = ReferencedConversion(doc, n);
    if (!scale) return kNone;
    return ScaleFormulaText(FieldNumber(*scale, "0001"), FieldNumber(*scale, "0002"));
}

std::string ConversionFormulaItem(const TZumo2Doc& doc, int64_t n) { return WithoutFirstBlank(ConversionFormula(doc, n)); }

std::string DevScaleDescription(const TZumo2Doc& doc, const TGridRow& row)
{
    static const std::string none = "нет описания";
    const int64_t n = RowConversion(row);
    const auto* descr = row.Record ? row.Record->Find<TLookupProxyField>("descr") : nullptr;
    if (!descr || !ReferencedConversion(doc, n)) return none;
    try {
        const std::string text = descr->LookupText(-1);
        return text.empty() ? none : text;
    } catch (const platform::Exception&) {
        return none; // a number beyond the description table
    }
}

TPickList FormulaItems(const TZumo2Doc& doc)
{
    TPickList items;
    items.reserve(static_cast<size_t>(doc.ScaleCount()) + 1);
    items.emplace_back(kNone, 0);
    for (int i = 1; i <= doc.ScaleCount(); ++i) {
        std::string text = ConversionFormulaItem(doc, i);
        if (IndexOfText(items, text) < 0) items.emplace_back(std::move(text), i);
    }
    return items;
}

int FormulaPreselect(const TZumo2Doc& doc, int64_t n, const TPickList& items)
{
    if (const int carrying = PickIndexOf(items, n); carrying >= 0) return carrying;
    if (const int same = IndexOfText(items, ConversionFormulaItem(doc, n)); same >= 0) return same;
    return items.empty() ? -1 : 0;
}

TPickList DescriptionItems(const TLookupProxyField& descr)
{
    TPickList items;
    descr.FillLookupList(items, 1);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].first.empty()) items[i].first = platform::Format("Шаблон %.2d", static_cast<int>(i) + 1);
    SortPickList(items);
    items.insert(items.begin(), {kNone, 0});
    return items;
}

int DescriptionPreselect(const TZumo2Doc& doc, int64_t n, const TPickList& items)
{
    const int none = PickIndexOf(items, 0);
    if (!ReferencedConversion(doc, n)) return none;
    const int carrying = PickIndexOf(items, n);
    return carrying >= 0 ? carrying : none;
}

TGridSpec ScaleGridSpec(bool descriptions)
{
    TGridSpec spec;
    TEditorSpec number;
    number.Kind = TEditorKind::Custom;
    TEditorSpec floating;
    floating.Kind = TEditorKind::FloatSpin;
    floating.Decimals = 4;
    TEditorSpec text;
    text.Kind = TEditorKind::Text;
    const auto shortened = [](const char* key) {
        return [key](const TGridRow& row) {
            const auto* field = row.Record ? row.Record->Find<TField>(key) : nullptr;
            return field ? ShortNumberText(field->GetValue().ToString()) : std::string();
        };
    };
    spec.Columns = {
        {.Caption = "№ Преобразования",
         .MinWidth = 115,
         .Text = [](const TGridRow& row) { return std::to_string(row.Number); },
         .Look = [](const TGridRow&) { return TCellLook{.Background = TCellBackground::ButtonFace}; },
         .Editor = number},
        {.Caption = "Коэффициент",
         .MinWidth = 100,
         .EditField = TFieldRef::ByKey("0001"),
         .Text = shortened("0001"),
         .Editor = floating,
         .DigitEdits = true},
        {.Caption = "Смещение",
         .MinWidth = 100,
         .EditField = TFieldRef::ByKey("0002"),
         .Text = shortened("0002"),
         .Editor = floating,
         .DigitEdits = true},
        {.Caption = "Описание",
         .Width = 400,
         .Hidden = !descriptions,
         .EditField = TFieldRef::ByKey("descr"),
         .Text =
             [](const TGridRow& row) {
                 const auto* field = row.Record ? row.Record->Find<TField>("descr") : nullptr;
                 const std::string value = field ? field->GetValue().ToString() : std::string();
                 return value.empty() ? std::string("Нет описания") : value;
             },
         .Editor = text,
         .DigitEdits = true},
    };
    for (TGridColumn& column : spec.Columns) column.TextPad = 0;
    spec.Commands.UpDown = false;
    spec.Commands.AltCopy = false;
    spec.Commands.CtrlSteps = false;
    spec.Commands.Reset = false;
    spec.Help = TGridHelp::None;
    return spec;
}

TGridSpec DevScaleGridSpec(const TZumo2Doc& doc, bool descriptions)
{
    const TZumo2Doc* d = &doc;
    const auto scaleCount = [d] { return static_cast<int64_t>(d->ScaleCount()); };
    const auto spin = [](int64_t maximum) {
        TEditorSpec editor;
        editor.Kind = TEditorKind::Spin;
        editor.Maximum = maximum;
        return editor;
    };
    TEditorSpec number = spin(0);
    number.MaximumOf = [scaleCount](const TGridRow&) { return scaleCount(); };
    TEditorSpec formula;
    formula.Kind = TEditorKind::Combo;
    formula.Items = [d](const TGridRow&) { return FormulaItems(*d); };
    formula.Sorted = true;
    formula.Preselect = [d](const TGridRow& row, const TPickList& items) {
        return FormulaPreselect(*d, RowConversion(row), items);
    };
    formula.Width = TEditorWidth::WidestItem;
    formula.WidthPad = 40;
    TEditorSpec description;
    description.Kind = TEditorKind::Combo;
    description.Items = [](const TGridRow& row) {
        const auto* descr = row.Record ? row.Record->Find<TLookupProxyField>("descr") : nullptr;
        return descr ? DescriptionItems(*descr) : TPickList{};
    };
    description.Preselect = [d](const TGridRow& row, const TPickList& items) {
        return DescriptionPreselect(*d, RowConversion(row), items);
    };
    description.Width = TEditorWidth::WidestItem;
    description.WidthPad = 40;
    // Counts of 0 in silver.
    const TCellLookRule silverAtZero = [](const TGridRow& row) {
        const auto* count = row.Record ? row.Record->Find<TField>("0002") : nullptr;
        TCellLook look;
        if (count && count->GetValue().Equals(Variant(int32_t{0}))) look.Text = TRgb{192, 192, 192};
        return look;
    };

    TGridSpec spec;
    spec.Columns = {
        {.Caption = "ВАК",
         .Align = TCellAlign::Center,
         .MinWidth = 70,
         .EditField = TFieldRef::ByKey("0001"),
         .CommandField = TFieldRef::ByKey("0001"),
         .Editor = spin(2147483647),
         .CtrlStep = CappedStep(16777215),
         .Fills = true,
         .DigitEdits = true},
        {.Caption = "Кол-во",
         .Align = TCellAlign::Center,
         .MinWidth = 50,
         .EditField = TFieldRef::ByKey("0002"),
         .CommandField = TFieldRef::ByKey("0002"),
         .Editor = spin(65535),
         .CtrlStep = CappedStep(65535),
         .Fills = true,
         .DigitEdits = true},
        {.Caption = "Преобразование (выражение)",
         .Align = TCellAlign::Center,
         .Width = 200,
         .MinWidth = 100,
         .EditField = TFieldRef::ByKey("0003"),
         .CommandField = TFieldRef::ByKey("0003"),
         .Text = [d](const TGridRow& row) { return ConversionFormula(*d, RowConversion(row)); },
         .Editor = formula,
         .CtrlStep = CappedStep(scaleCount)},
        {.Caption = "№ шаблона",
         .Align = TCellAlign::Center,
         .MinWidth = 80,
         .EditField = TFieldRef::ByKey("0003"),
         .Editor = number},
        {.Caption = "Описание",
         .Width = 400,
         .MinWidth = 400,
         .Hidden = !descriptions,
         .EditField = TFieldRef::ByKey("0003"),
         .Text = [d](const TGridRow& row) { return DevScaleDescription(*d, row); },
         .Editor = description},
    };
    for (TGridColumn& column : spec.Columns) column.Look = silverAtZero;
    spec.Commands.EnterOn = TKeyMoment::Press;
    spec.Hooks.OnCtrlClick = [d](const TGridRow& row, int column) {
        if (column != dsFormula) return;
        if (const TScaleTIT* target = ReferencedConversion(*d, RowConversion(row))) PostRecordJump(target);
    };
    spec.HelpExtra = DevScaleHelpLine;
    return spec;
}

TScaleCalc ScaleCalcStart(double k, double b)
{
    TScaleCalc calc;
    calc.OutMin = b;
    calc.OutMax = calc.InMax * k + b;
    return calc;
}

TScaleFactors ScaleCalcResult(const TScaleCalc& calc)
{
    if (calc.InMax == calc.InMin) throw platform::Exception("Нижнее и верхнее входные значения совпадают");
    TScaleFactors result;
    result.K = (calc.OutMax - calc.OutMin) / (calc.InMax - calc.InMin);
    result.B = calc.OutMin - calc.InMin * result.K;
    return result;
}

void StoreScaleCalc(const TGridSpec& spec, const TGridRow& row, const TScaleCalc& calc)
{
    const TScaleFactors result = ScaleCalcResult(calc);
    const Variant k(result.K), b(result.B);
    // Both must fit a single before either is stored.
    (void)k.ToSingle();
    (void)b.ToSingle();
    TField* factor = EditField(spec, row, sgFactor);
    TField* offset = EditField(spec, row, sgOffset);
    if (!factor || !offset) return;
    TCommandSender sender;
    StoreCell(spec, row, sgFactor, *factor, k, sender);
    StoreCell(spec, row, sgOffset, *offset, b, sender);
}
