#include "configurator/rules/GridController.h"
#include "configurator/rules/ScaleGridRules.h"
#include "model/uZumo2sin.h"
#include "platform/DecimalSeparator.h"
#include "platform/Windows.h"
#include "tests/support/GridFixture.h"
#include "tests/support/TestText.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A base document and a synchronous one ("Zumo2 синх": 60 scale blocks a device and
// the conversions' descriptions), with their defaults.
class ScaleDocs : public ::testing::Test {
protected:
    std::unique_ptr<TZumo2Doc> base = testsupport::NewZumo2Doc();
    std::unique_ptr<TZumo2Doc> sync = MakeZumo2sinDoc();

    void SetUp() override
    {
        sync->ResetDefaults();
        platform::SetDecimalSeparatorForTesting('.');
    }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(0); }

    static void SetConversion(TZumo2Doc& doc, int n, double k, double b)
    {
        doc.ScaleByIndex(n - 1)->Find<TField>("0001")->SetValue(k);
        doc.ScaleByIndex(n - 1)->Find<TField>("0002")->SetValue(b);
    }
    static void SetDescription(TZumo2Doc& doc, int n, const std::string& text)
    {
        doc.ScaleByIndex(n - 1)->Find<TField>("descr")->SetValue(text);
    }
    static TFieldLst& Block(TZumo2Doc& doc, int index) { return *doc.DeviceByIndex(0)->ScaleBlockByIndex(index); }
    static void SetBlock(TZumo2Doc& doc, int index, int32_t vak, int32_t count, int32_t n)
    {
        Block(doc, index).Find<TField>("0001")->SetValue(vak);
        Block(doc, index).Find<TField>("0002")->SetValue(count);
        Block(doc, index).Find<TField>("0003")->SetValue(n);
    }
    static std::vector<TGridRow> BlockRows(TZumo2Doc& doc)
    {
        TDevice* device = doc.DeviceByIndex(0);
        return RecordRows(device->ScaleBlockCount(), [device](int i) { return device->ScaleBlockByIndex(i); });
    }
    static std::vector<TGridRow> ConversionRows(TZumo2Doc& doc)
    {
        TZumo2Doc* d = &doc;
        return RecordRows(doc.ScaleCount(), [d](int i) { return d->ScaleByIndex(i); });
    }
};

TEST(ScaleTexts, ShortenedNumbers)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1.23456", "1.2345"},       {"2.50000", "2.5"}, {"3.0", "3."},     {"1,5", "1,5"},
        {"1.23456E-7", "1.2345E-7"}, {"1E20", "1E20"},   {"-0.1", "-0.1"}, {"12", "12"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(ShortNumberText(text), shown) << text;
}

TEST_F(ScaleDocs, ConversionCellsShowShortenedValuesAndDescriptions)
{
    SetConversion(*sync, 1, 1.23456, 1.23456E-7);
    SetDescription(*sync, 2, "Датчик давления");
    const TGridSpec spec = ScaleGridSpec(true);
    const std::vector<TGridRow> rows = ConversionRows(*sync);
    EXPECT_EQ(CellText(spec, rows[0], sgNumber), "1");
    EXPECT_EQ(CellText(spec, rows[0], sgFactor), "1.2345");
    EXPECT_EQ(CellText(spec, rows[0], sgOffset), "1.2345E-7");
    EXPECT_EQ(CellText(spec, rows[0], sgDescription), "Нет описания");
    EXPECT_EQ(CellText(spec, rows[1], sgDescription), "Датчик давления");
    EXPECT_EQ(CellText(spec, rows[49], sgNumber), "50");
    EXPECT_EQ(CellLook(spec, rows[0], sgNumber).Background, TCellBackground::ButtonFace);
    EXPECT_FALSE(spec.Columns[sgDescription].Hidden);
    EXPECT_TRUE(ScaleGridSpec(false).Columns[sgDescription].Hidden);
}

TEST_F(ScaleDocs, Formulas)
{
    struct Case {
        double k, b;
        const char* cell;
        const char* item;
    };
    const Case cases[] = {
        {2, -1.5, "X*2.0000 -1.5000 ", "X*2.0000-1.5000 "},
        {1, 0, "X*1.0000 ", "X*1.0000"},
        {1, 0.25, "X*1.0000 +0.2500 ", "X*1.0000+0.2500 "},
        {-0.5, 1000, "X*-0.5000 +1000.0000 ", "X*-0.5000+1000.0000 "},
    };
    for (const Case& c : cases) {
        SetConversion(*base, 3, c.k, c.b);
        EXPECT_EQ(ConversionFormula(*base, 3), c.cell) << c.cell;
        EXPECT_EQ(ConversionFormulaItem(*base, 3), c.item) << c.cell;
    }
    for (int64_t n : {int64_t{0}, int64_t{base->ScaleCount() + 1}, int64_t{65535}}) {
        EXPECT_EQ(ConversionFormula(*base, n), "нет") << n;
        EXPECT_EQ(ConversionFormulaItem(*base, n), "нет") << n;
    }
    platform::SetDecimalSeparatorForTesting(',');
    SetConversion(*base, 3, 2, -1.5);
    EXPECT_EQ(ConversionFormula(*base, 3), "X*2,0000 -1,5000 ");

    // The cell of column 2 follows the row's number.
    const TGridSpec spec = DevScaleGridSpec(*base, false);
    SetBlock(*base, 0, 100, 4, 3);
    EXPECT_EQ(CellText(spec, BlockRows(*base)[0], dsFormula), "X*2,0000 -1,5000 ");
    EXPECT_EQ(CellText(spec, BlockRows(*base)[1], dsFormula), "нет");
}

TEST_F(ScaleDocs, Calculator)
{
    const TScaleCalc start = ScaleCalcStart(1, 0);
    EXPECT_EQ(start.InMin, 0);
    EXPECT_EQ(start.InMax, 2000);
    EXPECT_EQ(start.OutMin, 0);
    EXPECT_EQ(start.OutMax, 2000);
    const TScaleCalc other = ScaleCalcStart(0.5, -3);
    EXPECT_EQ(other.OutMin, -3);
    EXPECT_EQ(other.OutMax, 997);

    const TGridSpec spec = ScaleGridSpec(false);
    const TGridRow row = ConversionRows(*base)[4];
    TScaleCalc calc = start;
    calc.OutMin = 4;
    calc.OutMax = 20;
    StoreScaleCalc(spec, row, calc);
    EXPECT_EQ(row.Record->Find<TField>("0001")->GetValue().ToSingle(), 0.008f);
    EXPECT_EQ(row.Record->Find<TField>("0002")->GetValue().ToSingle(), 4.0f);

    // Through two points away from 0: 10 -> 100, 20 -> 300 is k = 20, b = -100.
    calc = {10, 20, 100, 300};
    StoreScaleCalc(spec, row, calc);
    EXPECT_EQ(row.Record->Find<TField>("0001")->GetValue().ToSingle(), 20.0f);
    EXPECT_EQ(row.Record->Find<TField>("0002")->GetValue().ToSingle(), -100.0f);

    // Equal inputs, and a factor no single holds: the error, nothing stored.
    calc = {5, 5, 0, 1};
    EXPECT_EQ(testsupport::ErrorOf([&] { StoreScaleCalc(spec, row, calc); }),
              "Нижнее и верхнее входные значения совпадают");
    calc = {0, 0.001, 0, 1e36};
    EXPECT_NE(testsupport::ErrorOf([&] { StoreScaleCalc(spec, row, calc); }), "(no error)");
    EXPECT_EQ(row.Record->Find<TField>("0001")->GetValue().ToSingle(), 20.0f);
    EXPECT_EQ(row.Record->Find<TField>("0002")->GetValue().ToSingle(), -100.0f);
}

TEST_F(ScaleDocs, FormulaComboPreselection)
{
    // Conversions 1 and 2 share a formula; conversion 3 has its own; the others keep
    // the default X*1.
    SetConversion(*base, 1, 2, -1.5);
    SetConversion(*base, 2, 2, -1.5);
    SetConversion(*base, 3, 1, 0.25);
    TPickList items = FormulaItems(*base);
    EXPECT_EQ(items, (TPickList{{"нет", 0}, {"X*2.0000-1.5000 ", 1}, {"X*1.0000+0.2500 ", 3}, {"X*1.0000", 4}}));
    SortPickList(items); // as the combo box lists them
    const auto selected = [&](int64_t n) {
        const int at = FormulaPreselect(*base, n, items);
        return at < 0 ? std::string("(none)") : items[static_cast<size_t>(at)].first;
    };
    EXPECT_EQ(selected(1), "X*2.0000-1.5000 ");
    EXPECT_EQ(selected(3), "X*1.0000+0.2500 ");
    // Conversion 2 is listed under 1, conversion 7 under 4: the item with their formula,
    // not the first in sort order, so that looking re-points nothing.
    EXPECT_EQ(selected(2), "X*2.0000-1.5000 ");
    EXPECT_EQ(selected(7), "X*1.0000");
    EXPECT_EQ(selected(0), "нет");
    EXPECT_EQ(selected(base->ScaleCount() + 1), "нет");
    EXPECT_EQ(FormulaPreselect(*base, 1, TPickList{}), -1);
}

TEST_F(ScaleDocs, DescriptionComboAndColumn)
{
    SetDescription(*sync, 2, "Альфа");
    SetDescription(*sync, 1, "Бета");
    const TGridSpec spec = DevScaleGridSpec(*sync, true);
    const TGridRow row = BlockRows(*sync)[0];
    const auto* descr = row.Record->Find<TLookupProxyField>("descr");
    ASSERT_NE(descr, nullptr);
    const TPickList items = DescriptionItems(*descr);
    ASSERT_EQ(items.size(), 51u);
    EXPECT_EQ(TPickList(items.begin(), items.begin() + 4),
              (TPickList{{"нет", 0}, {"Альфа", 2}, {"Бета", 1}, {"Шаблон 03", 3}}));
    EXPECT_EQ(items.back(), (std::pair<std::string, int>{"Шаблон 50", 50}));

    const auto selected = [&](int64_t n) { return items[static_cast<size_t>(DescriptionPreselect(*sync, n, items))].second; };
    EXPECT_EQ(selected(0), 0);
    EXPECT_EQ(selected(2), 2);
    EXPECT_EQ(selected(50), 50);
    EXPECT_EQ(selected(51), 0);

    const std::pair<int32_t, const char*> shown[] = {
        {1, "Бета"}, {2, "Альфа"}, {3, "нет описания"}, {0, "нет описания"}, {51, "нет описания"}};
    for (const auto& [n, text] : shown) {
        Block(*sync, 0).Find<TField>("0003")->SetValue(n);
        EXPECT_EQ(CellText(spec, row, dsDescription), text) << n;
    }
    EXPECT_FALSE(spec.Columns[dsDescription].Hidden);
    EXPECT_TRUE(DevScaleGridSpec(*base, false).Columns[dsDescription].Hidden);
}

using FakeGrid = testsupport::FakeGridView;
using testsupport::GridKey;

// Presses and releases a key on a cell; whether the press was taken.
bool Stroke(TGridController& controller, FakeGrid& grid, int row, int column, TGridKeyCode code, bool ctrl = false,
            bool alt = false, int digit = -1)
{
    grid.editing = false;
    grid.Focus(row, column);
    const bool taken = controller.Key(GridKey(code, true, ctrl, alt, digit));
    controller.Key(GridKey(code, false, ctrl, alt, digit));
    return taken;
}

TEST_F(ScaleDocs, DeviceScaleCommands)
{
    const TGridSpec spec = DevScaleGridSpec(*sync, true);
    FakeGrid grid;
    grid.rows = BlockRows(*sync);
    TGridController controller(grid, spec);
    const auto value = [&](int index, const char* key) { return Block(*sync, index).Find<TField>(key)->GetValue().ToInt64(); };
    const int count = sync->ScaleCount();
    using K = TGridKeyCode;

    // Ctrl steps stop at each column's cap, and at 0 going down.
    struct Step {
        int column;
        const char* key;
        int32_t from;
        bool up;
        int64_t to;
    };
    const Step steps[] = {
        {dsVak, "0001", 16777214, true, 16777215},  {dsVak, "0001", 16777215, true, 16777215},
        {dsCount, "0002", 65535, true, 65535},      {dsFormula, "0003", count - 1, true, count},
        {dsFormula, "0003", count, true, count},    {dsFormula, "0003", 0, false, 0},
        {dsFormula, "0003", 1, false, 0},
    };
    for (const Step& s : steps) {
        Block(*sync, 1).Find<TField>(s.key)->SetValue(s.from);
        EXPECT_TRUE(Stroke(controller, grid, 1, s.column, s.up ? K::Up : K::Down, true)) << s.key << " " << s.from;
        EXPECT_EQ(value(1, s.key), s.to) << s.key << " " << s.from;
    }

    // The number and description columns take no Ctrl step, Alt copy or Delete; the
    // Alt copy still moves.
    SetBlock(*sync, 2, 10, 5, 3);
    for (int column : {dsNumber, dsDescription}) {
        Stroke(controller, grid, 2, column, K::Up, true);
        Stroke(controller, grid, 2, column, K::Delete);
        Stroke(controller, grid, 2, column, K::Delete, false, true);
        EXPECT_EQ(value(2, "0003"), 3) << column;
        EXPECT_EQ(value(2, "0001"), 10) << column;
        Stroke(controller, grid, 2, column, K::Down, false, true);
        EXPECT_EQ(grid.row, 3);
        EXPECT_EQ(value(3, "0003"), 0) << column;
    }
    // Digits and F3 only on VAK and count; Enter edits on its press.
    EXPECT_TRUE(Stroke(controller, grid, 2, dsCount, K::Digit, false, false, 7));
    EXPECT_FALSE(Stroke(controller, grid, 2, dsFormula, K::Digit, false, false, 7));
    EXPECT_FALSE(Stroke(controller, grid, 2, dsNumber, K::F3));
    grid.editing = false;
    grid.Focus(2, dsDescription);
    controller.Key(GridKey(K::Enter, true));
    EXPECT_EQ(grid.edits, (std::vector<int>{7, -1}));

    // Delete and Alt+Delete reset the block and leave the descriptions alone.
    SetDescription(*sync, 1, "Первое");
    SetBlock(*sync, 4, 20, 6, 1);
    Stroke(controller, grid, 4, dsFormula, K::Delete);
    EXPECT_EQ(value(4, "0003"), 0);
    SetBlock(*sync, 4, 20, 6, 1);
    Stroke(controller, grid, 4, dsFormula, K::Delete, false, true);
    EXPECT_EQ(value(4, "0001"), 0);
    EXPECT_EQ(value(4, "0003"), 0);
    EXPECT_EQ(sync->ScaleByIndex(0)->Find<TField>("descr")->GetValue().ToString(), "Первое");
    EXPECT_EQ(sync->Find<TFlashStringsStorage>("scaleTIT_descrList")->GetString(0), "Первое");

    // Rows of count 0 are silver.
    EXPECT_EQ(CellLook(spec, grid.rows[4], dsVak).Text, (TRgb{192, 192, 192}));
    EXPECT_EQ(CellLook(spec, grid.rows[2], dsDescription).Text, std::nullopt);
}

TEST_F(ScaleDocs, ConversionGridCommands)
{
    const TGridSpec spec = ScaleGridSpec(true);
    FakeGrid grid;
    grid.rows = ConversionRows(*sync);
    TGridController controller(grid, spec);
    using K = TGridKeyCode;
    SetConversion(*sync, 2, 3, 4);

    // Up/Down are the view's own; Ctrl steps, Delete and F3 do nothing; digits edit from
    // column 1 on.
    EXPECT_FALSE(Stroke(controller, grid, 1, sgFactor, K::Down));
    EXPECT_FALSE(Stroke(controller, grid, 1, sgFactor, K::Up, true));
    EXPECT_FALSE(Stroke(controller, grid, 1, sgFactor, K::Delete));
    EXPECT_FALSE(Stroke(controller, grid, 1, sgFactor, K::F3));
    EXPECT_EQ(sync->ScaleByIndex(1)->Find<TField>("0001")->GetValue().ToInt32(), 3);
    EXPECT_FALSE(Stroke(controller, grid, 1, sgNumber, K::Digit, false, false, 5));
    for (int column : {sgFactor, sgOffset, sgDescription})
        EXPECT_TRUE(Stroke(controller, grid, 1, column, K::Digit, false, false, 5));
    // Right from the description wraps to the next row's number.
    EXPECT_TRUE(Stroke(controller, grid, 1, sgDescription, K::Right));
    EXPECT_EQ(std::make_pair(grid.row, grid.column), std::make_pair(2, int(sgNumber)));
}

TEST_F(ScaleDocs, JumpToTheConversion)
{
    // The main window: a window on this thread's queue that records what it gets.
    platform::MessageQueue queue;
    std::vector<platform::LPARAM> received;
    const platform::HWND main = platform::RegisterWindow(
        [&](platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
            if (msg == platform::WM_FRAME_NOTIFY && w == 0) received.push_back(l);
            return 0;
        },
        queue);
    const platform::HWND previous = platform::MainWindow();
    platform::SetMainWindow(main);

    const TGridSpec spec = DevScaleGridSpec(*base, false);
    FakeGrid grid;
    grid.rows = BlockRows(*base);
    TGridController controller(grid, spec);
    const int count = base->ScaleCount();
    for (int n : {0, 1, count, count + 1}) {
        Block(*base, 0).Find<TField>("0003")->SetValue(int32_t{n});
        grid.Focus(0, dsFormula);
        controller.MouseRelease(true, false, false);
        grid.Focus(0, dsNumber); // another column: no jump
        controller.MouseRelease(true, false, false);
        grid.Focus(0, dsFormula);
        controller.MouseRelease(true, false, true); // Ctrl+Alt: no jump
    }
    while (queue.DispatchOne()) {
    }
    platform::SetMainWindow(previous);
    platform::UnregisterWindow(main);
    EXPECT_EQ(received, (std::vector<platform::LPARAM>{reinterpret_cast<platform::LPARAM>(base->ScaleByIndex(0)),
                                                       reinterpret_cast<platform::LPARAM>(base->ScaleByIndex(count - 1))}));
}

} // namespace
