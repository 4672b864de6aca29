#include "configurator/rules/ApertureGridRules.h"
#include "configurator/rules/GridController.h"
#include "model/uZumo2.h"
#include "platform/DecimalSeparator.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GridFixture.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::FakeGridView;

// A base document whose apertures are 0.5, 0.0, 0.5, 1.25 and 0 from the fifth on, with
// the aperture grids of device 0 and of the document over it.
class ApertureGrids : public ::testing::Test {
protected:
    std::unique_ptr<TZumo2Doc> doc = testsupport::NewZumo2Doc();
    TDevice& device = *doc->DeviceByIndex(0);

    void SetUp() override
    {
        const double values[] = {0.5, 0.0, 0.5, 1.25};
        for (int i = 0; i < 4; ++i) SetAperture(i, values[i]);
    }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(0); }

    void SetAperture(int index, double value) { doc->ApertureByIndex(index)->Find<TField>("0001")->SetValue(value); }
    double Aperture(int index) { return doc->ApertureByIndex(index)->Find<TField>("0001")->GetValue().ToDouble(); }
    TField& BlockField(int block, const char* key) { return *device.ApertureBlockByIndex(block)->Find<TField>(key); }
    int64_t Block(int block, const char* key) { return BlockField(block, key).GetValue().ToInt64(); }
    std::vector<TGridRow> DeviceRows()
    {
        return RecordRows(device.ApertureBlockCount(), [this](int i) -> TFieldLst* { return device.ApertureBlockByIndex(i); });
    }
    std::vector<TGridRow> TableRows()
    {
        return RecordRows(doc->ApertureCount(), [this](int i) -> TFieldLst* { return doc->ApertureByIndex(i); });
    }
};

// The main window for the test: a window on a queue of this thread, recording the
// WM_FRAME_NOTIFY it gets; the previous main window comes back when it goes.
class RecordingMainWindow {
public:
    std::vector<std::pair<platform::WPARAM, platform::LPARAM>> received;

    RecordingMainWindow()
    {
        hwnd_ = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
                if (msg == platform::WM_FRAME_NOTIFY) received.emplace_back(w, l);
                return 0;
            },
            queue_);
        previous_ = platform::MainWindow();
        platform::SetMainWindow(hwnd_);
    }
    ~RecordingMainWindow()
    {
        platform::SetMainWindow(previous_);
        platform::UnregisterWindow(hwnd_);
    }
    // Delivers what was posted.
    void Deliver()
    {
        while (queue_.DispatchOne()) {
        }
    }

private:
    platform::MessageQueue queue_;
    platform::HWND hwnd_ = 0;
    platform::HWND previous_ = 0;
};

TEST_F(ApertureGrids, ComboAndCellTexts)
{
    const TGridSpec spec = DevApertureGridSpec(*doc);
    const TGridRow row = DeviceRows()[0];
    const auto shown = [&](int number) {
        BlockField(0, "0003").SetValue(number);
        return CellText(spec, row, dacAperture);
    };
    const int count = doc->ApertureCount();
    ASSERT_EQ(count, 50);
    struct Case {
        const char* name;
        char separator;
        TPickList items;  // in the order they are added
        TPickList sorted; // as the combo box lists them
        std::string third, fourth, zero;
    };
    const Case cases[] = {
        {"point", '.', {{"нет", 0}, {"0.5000", 1}, {"1.2500", 4}}, {{"0.5000", 1}, {"1.2500", 4}, {"нет", 0}},
         "0.5000", "1.2500", "0.0000"},
        {"comma", ',', {{"нет", 0}, {"0,5000", 1}, {"1,2500", 4}}, {{"0,5000", 1}, {"1,2500", 4}, {"нет", 0}},
         "0,5000", "1,2500", "0,0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SetDecimalSeparatorForTesting(c.separator);
        const TPickList items = spec.Columns[dacAperture].Editor.Items(row);
        EXPECT_EQ(items, c.items);
        TPickList sorted = items;
        SortPickList(sorted);
        EXPECT_EQ(sorted, c.sorted);
        EXPECT_EQ(shown(3), c.third); // a later duplicate shows its own value
        EXPECT_EQ(shown(4), c.fourth);
        EXPECT_EQ(shown(2), c.zero); // a zero aperture is a reference like any other
        EXPECT_EQ(CellText(spec, row, dacNumber), "2");
        EXPECT_EQ(shown(0), "нет");
        EXPECT_EQ(shown(count), "0" + std::string(1, c.separator) + "0000");
        EXPECT_EQ(shown(count + 1), "нет");
        EXPECT_EQ(Block(0, "0003"), count + 1); // shown, never changed
        EXPECT_EQ(CellText(spec, row, dacNumber), std::to_string(count + 1));
    }

    // The table grid: the row number and the value; the single shown as a double.
    platform::SetDecimalSeparatorForTesting('.');
    SetAperture(5, 0.1);
    const TGridSpec table = ApertureGridSpec();
    const std::vector<TGridRow> rows = TableRows();
    EXPECT_EQ(CellText(table, rows[3], acNumber), "4");
    EXPECT_EQ(CellText(table, rows[3], acValue), "1.2500");
    EXPECT_EQ(CellText(table, rows[5], acValue), "0.1000");
    EXPECT_EQ(CellText(table, rows[49], acNumber), "50");
}

TEST_F(ApertureGrids, PreselectionKeepsTheReference)
{
    // 0.25 sorts before 0.5: the first item in sort order is not the cell's value.
    SetAperture(4, 0.25);
    const TGridSpec spec = DevApertureGridSpec(*doc);
    const TGridRow row = DeviceRows()[0];
    const TEditorSpec& combo = spec.Columns[dacAperture].Editor;
    ASSERT_TRUE(combo.Sorted);
    TPickList items = combo.Items(row);
    SortPickList(items);
    ASSERT_EQ(items, (TPickList{{"0.2500", 5}, {"0.5000", 1}, {"1.2500", 4}, {"нет", 0}}));
    struct Case {
        const char* name;
        int stored;
        const char* selected;
    };
    const Case cases[] = {
        {"the item carrying the number", 1, "0.5000"},
        {"a later duplicate: the item of its value", 3, "0.5000"},
        {"none", 0, "нет"},
        {"above the count: the item of its text", 51, "нет"},
        {"a zero aperture: the first in sort order", 2, "0.2500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlockField(0, "0003").SetValue(c.stored);
        const int selected = combo.Preselect(row, items);
        ASSERT_GE(selected, 0);
        EXPECT_EQ(items[static_cast<size_t>(selected)].first, c.selected);
        EXPECT_EQ(Block(0, "0003"), c.stored);
    }
    EXPECT_EQ(AperturePreselect({}, 1, "0.5000"), -1);
}

TEST_F(ApertureGrids, CtrlStepsAndCommandsOfTheNumberColumn)
{
    const TGridSpec spec = DevApertureGridSpec(*doc);
    FakeGridView grid;
    grid.rows = DeviceRows();
    TGridController controller(grid, spec);
    struct Case {
        const char* name;
        int column;
        const char* key;
        int start;
        bool up;
        int expected;
    };
    const Case cases[] = {
        {"ВАК up", dacVak, "0001", 7, true, 8},
        {"ВАК capped", dacVak, "0001", 16777215, true, 16777215},
        {"ВАК above the cap down", dacVak, "0001", 20000000, false, 19999999},
        {"count capped", dacCount, "0002", 65535, true, 65535},
        {"aperture up", dacAperture, "0003", 49, true, 50},
        {"aperture capped at the count", dacAperture, "0003", 50, true, 50},
        {"aperture down", dacAperture, "0003", 50, false, 49},
        {"down stays at 0", dacCount, "0002", 0, false, 0},
        {"number column: no step", dacNumber, "0003", 3, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlockField(1, c.key).SetValue(c.start);
        grid.Focus(1, c.column);
        controller.StepCell(c.up);
        EXPECT_EQ(Block(1, c.key), c.expected);
    }

    // The number column takes no Alt copy, Delete, Alt+Delete or F3: the focus moves,
    // nothing is stored and no fill dialog is asked.
    testsupport::DialogScript dialogs;
    BlockField(1, "0003").SetValue(5);
    BlockField(1, "0002").SetValue(9);
    grid.Focus(1, dacNumber);
    controller.ResetCell();
    controller.ResetRow();
    controller.AskFillValues();
    EXPECT_EQ(Block(1, "0003"), 5);
    EXPECT_EQ(Block(1, "0002"), 9);
    EXPECT_TRUE(controller.MoveVertical(true, true));
    EXPECT_EQ(Block(2, "0003"), 0);
    EXPECT_EQ(grid.row, 2);

    // In the aperture column the same commands act.
    grid.Focus(1, dacAperture);
    EXPECT_TRUE(controller.MoveVertical(true, true));
    EXPECT_EQ(Block(2, "0003"), 5);
    testsupport::AnswerFillDialog(dialogs.Service(), device.ApertureBlockCount() - 2, 48, 4, 1);
    controller.AskFillValues();
    EXPECT_EQ(Block(2, "0003"), 48);
    EXPECT_EQ(Block(5, "0003"), 51); // above the count: stored, shown "нет"
    EXPECT_EQ(Block(6, "0003"), 0);
    // The word refuses more than 65535 on every store.
    EXPECT_THROW(controller.FillColumn(65535, 2, 1), platform::Exception);
    EXPECT_EQ(Block(2, "0003"), 65535);
    EXPECT_EQ(Block(3, "0003"), 49);
}

TEST_F(ApertureGrids, CtrlClickJumpsToTheAperture)
{
    const TGridSpec spec = DevApertureGridSpec(*doc);
    FakeGridView grid;
    grid.rows = DeviceRows();
    TGridController controller(grid, spec);
    const int count = doc->ApertureCount();
    struct Case {
        const char* name;
        int number;
        bool shift;
        int column;
        int target; // the aperture index posted; -1: nothing
    };
    const Case cases[] = {
        {"no aperture", 0, false, dacAperture, -1},
        {"the first", 1, false, dacAperture, 0},
        {"the last", count, false, dacAperture, count - 1},
        {"above the count", count + 1, false, dacAperture, -1},
        {"Ctrl+Shift", 1, true, dacAperture, -1},
        {"another column", 1, false, dacCount, -1},
        {"the number column", 1, false, dacNumber, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingMainWindow main;
        BlockField(2, "0003").SetValue(c.number);
        grid.Focus(2, c.column);
        controller.MouseRelease(true, c.shift, false);
        main.Deliver();
        if (c.target < 0) {
            EXPECT_TRUE(main.received.empty());
        } else {
            ASSERT_EQ(main.received.size(), 1u);
            EXPECT_EQ(main.received[0].first, 0u);
            EXPECT_EQ(main.received[0].second, reinterpret_cast<platform::LPARAM>(doc->ApertureByIndex(c.target)));
        }
        EXPECT_TRUE(grid.edits.empty()); // a Ctrl+click never edits
    }

    // A click without modifiers edits.
    grid.Focus(2, dacAperture);
    EXPECT_TRUE(controller.MouseRelease(false, false, false));
    EXPECT_EQ(grid.edits, std::vector<int>{-1});
}

TEST_F(ApertureGrids, TableGrid)
{
    const TGridSpec spec = ApertureGridSpec();
    FakeGridView grid;
    grid.rows = TableRows();
    TGridController controller(grid, spec);
    EXPECT_FALSE(CellEditable(spec, grid.rows[0], acNumber));
    EXPECT_TRUE(CellEditable(spec, grid.rows[0], acValue));

    // F3 fills the values from the focused row with whole numbers.
    testsupport::DialogScript dialogs;
    grid.Focus(0, acValue);
    testsupport::AnswerFillDialog(dialogs.Service(), doc->ApertureCount(), 1, 3, 1);
    const auto press = [&](TGridKeyCode code, bool ctrl = false) {
        TGridKey key{.Code = code, .Ctrl = ctrl};
        const bool taken = controller.Key(key);
        key.Press = false;
        return controller.Key(key) || taken;
    };
    EXPECT_TRUE(press(TGridKeyCode::F3));
    EXPECT_EQ(CellText(spec, grid.rows[0], acValue), "1.0000");
    EXPECT_EQ(CellText(spec, grid.rows[1], acValue), "2.0000");
    EXPECT_EQ(CellText(spec, grid.rows[2], acValue), "3.0000");
    EXPECT_EQ(Aperture(3), 1.25);
    // Not in the number column.
    grid.Focus(0, acNumber);
    EXPECT_FALSE(press(TGridKeyCode::F3));

    // Arrows, Delete and Ctrl steps are the view's own: they change no value.
    grid.Focus(1, acValue);
    for (TGridKeyCode code : {TGridKeyCode::Left, TGridKeyCode::Right, TGridKeyCode::Up, TGridKeyCode::Down,
                              TGridKeyCode::Delete})
        EXPECT_FALSE(press(code));
    EXPECT_FALSE(press(TGridKeyCode::Up, true));
    EXPECT_FALSE(press(TGridKeyCode::Down, true));
    EXPECT_EQ(Aperture(1), 2.0);
    EXPECT_EQ(grid.row, 1);

    // Enter and digits edit the focused cell, on release.
    EXPECT_TRUE(press(TGridKeyCode::Enter));
    grid.editing = false;
    EXPECT_TRUE(controller.Key({.Code = TGridKeyCode::Digit, .Digit = 4}));
    EXPECT_EQ(grid.edits, std::vector<int>{-1});
    EXPECT_TRUE(controller.Key({.Code = TGridKeyCode::Digit, .Digit = 4, .Press = false}));
    EXPECT_EQ(grid.edits, (std::vector<int>{-1, 4}));
}

} // namespace
