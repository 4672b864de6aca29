#include "configurator/rules/ApertureGridRules.h"

#include "configurator/rules/GridController.h"
#include "model/uZumo2.h"

#include <algorithm>

const char* const DevApertureHelpLine = "Ctrl + щелчок по ячейке апертуры - переход к апертуре";

namespace {

constexpr TRgb kSilver{192, 192, 192};
constexpr const char* kNone = "нет";

// A row's field at a position, as a whole number; none without one.
std::optional<int64_t> NumberAt(const TGridRow& row, int index)
{
    const auto* field = row.Record ? dynamic_cast<const TField*>(row.Record->FieldByIndex(index)) : nullptr;
    if (!field) return std::nullopt;
    return field->GetValue().ToInt64();
}

// An aperture's value.
double ApertureValue(const TAppertureTIT& aperture)
{
    const auto* field = aperture.Find<TField>("0001");
    return field ? field->GetValue().ToDouble() : 0.0;
}

std::string ApertureText(double value) { return FormatFixed(value, 4); }

} // namespace

std::string ApertureReferenceText(const TZumo2Doc& document, int64_t number)
{
    if (number < 1 || number > document.ApertureCount()) return kNone;
    return ApertureText(ApertureValue(*document.ApertureByIndex(static_cast<int>(number - 1))));
}

TPickList ApertureItems(const TZumo2Doc& document)
{
    TPickList items{{kNone, 0}};
    for (int i = 0; i < document.ApertureCount(); ++i) {
        const double value = ApertureValue(*document.ApertureByIndex(i));
        if (value == 0) continue;
        std::string text = ApertureText(value);
        const bool listed =
            std::any_of(items.begin(), items.end(), [&text](const auto& item) { return item.first == text; });
        if (!listed) items.emplace_back(std::move(text), i + 1);
    }
    return items;
}

int AperturePreselect(const TPickList& items, int64_t number, const std::string& cellText)
{
    if (items.empty()) return -1;
    if (const int carrying = PickIndexOf(items, number); carrying >= 0) return carrying;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].first == cellText) return static_cast<int>(i);
    return 0;
}

TAppertureTIT* ApertureJumpTarget(const TZumo2Doc& document, const TGridRow& row, int column)
{
    if (column != dacAperture) return nullptr;
    const std::optional<int64_t> number = NumberAt(row, dacAperture);
    if (!number || *number < 1 || *number > document.ApertureCount()) return nullptr;
    return document.ApertureByIndex(static_cast<int>(*number - 1));
}

TGridSpec DevApertureGridSpec(const TZumo2Doc& document)
{
    const TZumo2Doc* doc = &document;
    const auto bound = [](int index) { return TFieldRef::ByIndex(index); };
    const auto apertureCount = [doc] { return static_cast<int64_t>(doc->ApertureCount()); };
    // The whole row is silver while its count is 0.
    const TCellLookRule silverWhenEmpty = [](const TGridRow& row) {
        TCellLook look;
        if (NumberAt(row, dacCount) == 0) look.Text = kSilver;
        return look;
    };

    TGridSpec spec;
    spec.Columns = {
        {.Caption = "ВАК", .Align = TCellAlign::Center, .MinWidth = 70, .EditField = bound(0), .CommandField = bound(0),
         .Look = silverWhenEmpty, .Editor = {.Kind = TEditorKind::Spin, .Maximum = 2147483647},
         .CtrlStep = CappedStep(16777215), .Fills = true, .DigitEdits = true},
        {.Caption = "Кол-во", .Align = TCellAlign::Center, .MinWidth = 50, .EditField = bound(1),
         .CommandField = bound(1), .Look = silverWhenEmpty, .Editor = {.Kind = TEditorKind::Spin, .Maximum = 65535},
         .CtrlStep = CappedStep(65535), .Fills = true, .DigitEdits = true},
        {.Caption = "Аппертура", .Align = TCellAlign::Center, .MinWidth = 60, .EditField = bound(2),
         .CommandField = bound(2),
         .Text = [doc](const TGridRow& row) { return ApertureReferenceText(*doc, NumberAt(row, dacAperture).value_or(0)); },
         .Look = silverWhenEmpty,
         .Editor = {.Kind = TEditorKind::Combo,
                    .Items = [doc](const TGridRow&) { return ApertureItems(*doc); },
                    .Sorted = true,
                    .Preselect =
                        [doc](const TGridRow& row, const TPickList& items) {
                            const int64_t number = NumberAt(row, dacAperture).value_or(0);
                            return AperturePreselect(items, number, ApertureReferenceText(*doc, number));
                        },
                    .Width = TEditorWidth::WidestItem,
                    .WidthPad = 40},
         .CtrlStep = CappedStep(apertureCount), .Fills = true},
        // A second view of the aperture's number: edited here, commanded in the column
        // before.
        {.Caption = "№ шаблона", .Align = TCellAlign::Center, .MinWidth = 80, .EditField = bound(2),
         .Look = silverWhenEmpty,
         .Editor = {.Kind = TEditorKind::Spin, .MaximumOf = [apertureCount](const TGridRow&) { return apertureCount(); }}},
    };
    spec.Commands.ClickEdits = TEditClick::Single;
    spec.Hooks.OnCtrlClick = [doc](const TGridRow& row, int column) {
        if (TAppertureTIT* target = ApertureJumpTarget(*doc, row, column)) PostRecordJump(target);
    };
    spec.HelpExtra = DevApertureHelpLine;
    spec.FitAfterEdit = true;
    return spec;
}

TGridSpec ApertureGridSpec()
{
    TGridSpec spec;
    spec.Columns = {
        {.Caption = "№ Шаблона", .Align = TCellAlign::Center, .MinWidth = 75,
         .Text = [](const TGridRow& row) { return std::to_string(row.Number); },
         .Look = [](const TGridRow&) { return TCellLook{.Background = TCellBackground::ButtonFace}; },
         .DigitEdits = true},
        {.Caption = "Апертура", .Width = 70, .EditField = TFieldRef::ByIndex(0), .CommandField = TFieldRef::ByIndex(0),
         .Text =
             [](const TGridRow& row) {
                 const auto* field = row.Record ? dynamic_cast<const TField*>(row.Record->FieldByIndex(0)) : nullptr;
                 return field ? ApertureText(field->GetValue().ToDouble()) : std::string();
             },
         .Editor = {.Kind = TEditorKind::FloatSpin, .Decimals = 4}, .Fills = true, .DigitEdits = true},
    };
    TGridCommands& commands = spec.Commands;
    commands.LeftRight = false;
    commands.UpDown = false;
    commands.AltCopy = false;
    commands.CtrlSteps = false;
    commands.Reset = false;
    spec.Help = TGridHelp::None;
    spec.FitAfterEdit = true;
    return spec;
}
