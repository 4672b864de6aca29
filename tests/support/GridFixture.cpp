#include "tests/support/GridFixture.h"

#include "configurator/rules/FAutoInc.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

const TLayoutRow kRecordRows[] = {
    {.Key = "int", .Offset = 0, .Type = ftInteger},
    {.Key = "word", .Offset = 4, .Type = ftWord, .Default = 1},
    {.Key = "nib", .Offset = 6, .Type = ftByte, .Default = 2, .Bits = {0, 4}},
    {.Key = "byte", .Offset = 7, .Type = ftByte, .Default = 3},
    {.Key = "single", .Offset = 8, .Type = ftSingle},
    {.Key = "text", .Offset = 12, .Type = ftString, .Length = 8, .Text = "abc"},
    {.Key = "u32", .Offset = 20, .Type = ftLongWord},
};
constexpr int32_t kRecordSize = 24;

} // namespace

TGridTestRecord::TGridTestRecord(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset)
{
    LayoutOrder = true;
}

void TGridTestRecord::Build()
{
    LayOutTable(*this, kRecordRows);
    Find<TField>("text")->MaxValue = 9;
}

const TPickList& GridTestByteItems()
{
    static const TPickList items = {{"один", 1}, {"два", 2}, {"три", 3}};
    return items;
}

TGridTestTable::TGridTestTable(int count) : block_(0, kRecordSize * count)
{
    for (int i = 0; i < count; ++i) {
        records_.push_back(MakeList<TGridTestRecord>("rec" + std::to_string(i), &block_, kRecordSize * i));
        records_.back()->ResetDefaults();
    }
}

std::vector<TGridRow> TGridTestTable::Rows()
{
    return RecordRows(Count(), [this](int i) -> TFieldLst* { return &Record(i); });
}

TGridSpec GridTestSpec()
{
    const auto bound = [](int index) { return TFieldRef::ByIndex(index); };
    TGridSpec spec;
    spec.Columns = {
        {.Caption = "int", .Align = TCellAlign::Right, .MinWidth = 60, .EditField = bound(0), .CommandField = bound(0),
         .Editor = {.Kind = TEditorKind::Spin, .Minimum = INT32_MIN},
         .CtrlStep = CappedStep(2147483647), .Fills = true, .DigitEdits = true, .SortByValue = true},
        {.Caption = "word", .Align = TCellAlign::Center, .EditField = bound(1), .CommandField = bound(1),
         .Editor = {.Kind = TEditorKind::Spin}, .CtrlStep = CappedStep(65535), .Fills = true, .DigitEdits = true},
        {.Caption = "nib", .EditField = bound(2), .CommandField = bound(2),
         .Editor = {.Kind = TEditorKind::Spin, .LimitsFromField = true}, .Fills = true},
        {.Caption = "byte", .EditField = bound(3), .CommandField = bound(3),
         .Text =
             [](const TGridRow& row) {
                 const int i = PickIndexOf(GridTestByteItems(), row.Record->Find<TField>("byte")->GetValue().ToInt64());
                 return i < 0 ? std::string("нет") : GridTestByteItems()[static_cast<size_t>(i)].first;
             },
         .Editor = {.Kind = TEditorKind::Combo,
                    .Items = [](const TGridRow&) { return GridTestByteItems(); },
                    .Width = TEditorWidth::OfText,
                    .WidthText = "три три три"}},
        {.Caption = "single", .EditField = bound(4), .CommandField = bound(4),
         .Editor = {.Kind = TEditorKind::FloatSpin}},
        {.Caption = "text", .Width = 40, .EditField = bound(5), .CommandField = bound(5),
         .Editor = {.Kind = TEditorKind::Text}},
        {.Caption = "u32", .EditField = bound(6), .CommandField = bound(6), .Editor = {.Kind = TEditorKind::Spin},
         .SortByValue = true},
    };
    return spec;
}

void AnswerFillDialog(platform::ScriptedDialogService& dialogs, int64_t offered, int64_t first, int64_t count,
                      int64_t increment)
{
    dialogs.PushForm([=](platform::FormModel& model) {
        auto& form = dynamic_cast<TfmAutoInc&>(model);
        EXPECT_EQ(form.Count(), offered);
        EXPECT_EQ(form.Maximum(aiCount), offered);
        form.SetValue(aiFirst, first);
        form.SetValue(aiCount, count);
        form.SetValue(aiInc, increment);
        return platform::MsgResult::OK;
    });
}

TGridKey GridKey(TGridKeyCode code, bool press, bool ctrl, bool alt, int digit)
{
    TGridKey key;
    key.Code = code;
    key.Press = press;
    key.Ctrl = ctrl;
    key.Alt = alt;
    key.Digit = digit;
    return key;
}

} // namespace testsupport
