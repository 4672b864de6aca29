#include "configurator/rules/FAutoInc.h"
#include "configurator/rules/GridController.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GridFixture.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::GridTestSpec;
using testsupport::TGridTestTable;

enum Column { cInt, cWord, cNib, cByte, cSingle, cText, cU32 };

// The grid as the controller sees it: rows in record order, the focused cell, the
// edits it was asked to open and the rows it was told were stored.
using FakeGrid = testsupport::FakeGridView;

// One event of a sequence: a key pressed or released, or the open editor closing.
struct Ev {
    TGridKeyCode code = TGridKeyCode::Other;
    bool press = true;
    int mods = 0;
    int digit = -1;
    bool closeEditor = false;
};
enum { kAlt = 1, kCtrl = 2, kRepeat = 4 };
Ev P(TGridKeyCode code, int mods = 0) { return {code, true, mods}; }
Ev R(TGridKeyCode code, int mods = 0) { return {code, false, mods}; }
Ev Digit(int digit, bool press) { return {TGridKeyCode::Digit, press, 0, digit}; }
Ev EditorCloses() { return {.closeEditor = true}; }

using K = TGridKeyCode;

// The records, the grid spec as a case sets it, the fake grid and a controller over them.
class GridRig {
public:
    TGridTestTable table;
    TGridSpec spec = GridTestSpec();
    FakeGrid grid;
    std::unique_ptr<TGridController> controller;
    int changes = 0; // OnChange calls of any field

    GridRig()
    {
        grid.rows = table.Rows();
        for (int i = 0; i < table.Count(); ++i)
            for (int f = 0; f < table.Record(i).FieldCount(); ++f)
                if (auto* field = dynamic_cast<TField*>(table.Record(i).FieldByIndex(f)))
                    field->OnChange = TNotifyEvent::Of<&GridRig::Changed>(this);
    }
    void Changed(TField*) { ++changes; }

    // The controller over the grid spec as the case left it.
    TGridController& Controller()
    {
        if (!controller) controller = std::make_unique<TGridController>(grid, spec);
        return *controller;
    }
    // Runs the events; whether the last one was taken by the grid.
    bool Keys(const std::vector<Ev>& events)
    {
        bool consumed = false;
        for (const Ev& e : events) {
            if (e.closeEditor) {
                grid.editing = false;
                continue;
            }
            TGridKey key;
            key.Code = e.code;
            key.Digit = e.digit;
            key.Press = e.press;
            key.Alt = (e.mods & kAlt) != 0;
            key.Ctrl = (e.mods & kCtrl) != 0;
            key.AutoRepeat = (e.mods & kRepeat) != 0;
            consumed = Controller().Key(key);
        }
        return consumed;
    }
    std::string Text(int row, Column c) { return CellText(spec, grid.rows[static_cast<size_t>(row)], c); }
    int64_t Value(int row, const char* key) { return table.Field(row, key).GetValue().ToInt64(); }
    void Set(int row, const char* key, Variant value) { table.Field(row, key).SetValue(value); }
};

class GridTest : public ::testing::Test, public GridRig {};

TEST_F(GridTest, NavigationAndKeyTiming)
{
    struct Case {
        const char* name;
        std::function<void(TGridSpec&)> setup;
        int row, column;
        std::vector<Ev> events;
        int endRow, endColumn;
        bool consumed;
        std::vector<int> edits = {};
        std::string wordText = ""; // the word of the end row, when the case steps it
    };
    const auto hide = [](std::vector<int> columns) {
        return [columns](TGridSpec& s) {
            for (int c : columns) s.Columns[static_cast<size_t>(c)].Hidden = true;
        };
    };
    const auto lastColumns = [](std::vector<int> last) {
        return [last](TGridSpec& s) {
            s.Hooks.LastColumn = [last](const TGridRow& row) { return last[static_cast<size_t>(row.Number - 1)]; };
        };
    };
    const Case cases[] = {
        {"Right from the last column wraps to the next row", {}, 0, cU32, {P(K::Right), R(K::Right)}, 1, cInt, true},
        {"Left from the first column wraps to the previous row", {}, 1, cInt, {P(K::Left), R(K::Left)}, 0, cU32, true},
        {"Left in the first cell stays", {}, 0, cInt, {P(K::Left), R(K::Left)}, 0, cInt, true},
        {"Right in the last cell stays", {}, 4, cU32, {P(K::Right), R(K::Right)}, 4, cU32, true},
        {"Up in the first row stays", {}, 0, cWord, {P(K::Up), R(K::Up)}, 0, cWord, true},
        {"Left/Right wait for their release", {}, 0, cWord, {P(K::Right)}, 0, cWord, true},
        {"hidden columns are passed over", hide({cByte, cU32}), 0, cNib, {P(K::Right), R(K::Right)}, 0, cSingle, true},
        {"wrapping lands on the last shown column", hide({cByte, cU32}), 1, cInt, {P(K::Left), R(K::Left)}, 0, cText,
         true},
        {"a row's own last column bounds a move down", lastColumns({6, 2, 6, 6, 6}), 0, cSingle,
         {P(K::Down), R(K::Down)}, 1, cNib, true},
        {"and a wrap to the next row", lastColumns({6, 2, 6, 6, 6}), 1, cNib, {P(K::Right), R(K::Right)}, 2, cInt, true},
        {"rows without a focusable cell are passed over", lastColumns({6, 6, -1, 6, 6}), 1, cWord,
         {P(K::Down), R(K::Down)}, 3, cWord, true},
        {"moves on press where the grid says so, auto-repeat too",
         [](TGridSpec& s) { s.Commands.LeftRightOn = TKeyMoment::Press; }, 0, cInt,
         {P(K::Right), P(K::Right, kRepeat), R(K::Right)}, 0, cNib, false},
        {"an auto-repeat release is ignored", {}, 0, cWord,
         {P(K::Down), R(K::Down, kRepeat), P(K::Down, kRepeat), R(K::Down, kRepeat), P(K::Down, kRepeat), R(K::Down)},
         1, cWord, true},
        {"Ctrl+Down steps on every press, auto-repeat too, and never moves", {}, 2, cWord,
         {P(K::Down, kCtrl), P(K::Down, kCtrl | kRepeat), P(K::Down, kCtrl | kRepeat), R(K::Down)}, 2, cWord, false,
         {}, "7"},
        {"a release with Ctrl held does nothing", {}, 2, cWord, {P(K::Down), R(K::Down, kCtrl)}, 2, cWord, true},
        {"without a focused cell the arrows are the view's own", {}, -1, -1, {P(K::Down)}, -1, -1, false},
        {"Up/Down the view's own where the grid leaves them",
         [](TGridSpec& s) { s.Commands.UpDown = false; }, 0, cWord, {P(K::Down)}, 0, cWord, false},
        {"Enter edits on release", {}, 0, cWord, {P(K::Enter), R(K::Enter)}, 0, cWord, true, {-1}},
        {"Enter edits on press where the grid says so",
         [](TGridSpec& s) { s.Commands.EnterOn = TKeyMoment::Press; }, 0, cWord, {P(K::Enter)}, 0, cWord, true, {-1}},
        {"Enter released after a commit does nothing", {}, 0, cWord,
         {P(K::Enter), R(K::Enter), EditorCloses(), R(K::Enter)}, 0, cWord, false, {-1}},
        {"a digit starts editing with itself", {}, 1, cWord, {Digit(7, true), Digit(7, false)}, 1, cWord, true, {7}},
        {"a digit elsewhere is the view's own", {}, 1, cSingle, {Digit(7, true), Digit(7, false)}, 1, cSingle, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridRig t;
        t.Set(2, "word", int32_t{10});
        if (c.setup) c.setup(t.spec);
        t.grid.Focus(c.row, c.column);
        EXPECT_EQ(t.Keys(c.events), c.consumed);
        EXPECT_EQ(t.grid.row, c.endRow);
        EXPECT_EQ(t.grid.column, c.endColumn);
        EXPECT_EQ(t.grid.edits, c.edits);
        if (!c.wordText.empty()) {
            EXPECT_EQ(t.Text(t.grid.row, cWord), c.wordText);
        }
    }
}

TEST_F(GridTest, CopyToNeighbour)
{
    struct Case {
        const char* name;
        std::function<void(GridRig&)> setup;
        int row, column;
        std::vector<Ev> events;
        const char* key;          // the field compared in rows 0..2
        std::vector<int64_t> values;
        int endRow;
        const char* error = "(no error)";
    };
    const auto set = [](const char* key, std::vector<int64_t> values) {
        return [key, values](GridRig& t) {
            for (size_t i = 0; i < values.size(); ++i) t.Set(static_cast<int>(i), key, values[i]);
        };
    };
    const std::vector<Ev> altADown = {P(K::A, kAlt), P(K::Down, kAlt), R(K::Down, kAlt), R(K::A, kAlt)};
    const Case cases[] = {
        {"Alt+Down copies the value and moves", set("int", {12, 0, 0}), 0, cInt, {P(K::Down, kAlt), R(K::Down, kAlt)},
         "int", {12, 12, 0}, 1},
        {"Alt+Up copies upwards", set("int", {0, 12, 0}), 1, cInt, {P(K::Up, kAlt), R(K::Up, kAlt)}, "int",
         {12, 12, 0}, 0},
        {"\"12\" with A stores 13", set("int", {12, 0, 0}), 0, cInt, altADown, "int", {12, 13, 0}, 1},
        {"repeated, A spreads a sequence", set("int", {12, 0, 0}), 0, cInt,
         {P(K::A, kAlt), P(K::Down, kAlt), R(K::Down, kAlt), P(K::Down, kAlt), R(K::Down, kAlt), R(K::A, kAlt)}, "int",
         {12, 13, 14}, 2},
        {"D stores one less", set("int", {12, 0, 0}), 0, cInt,
         {P(K::D, kAlt), P(K::Down, kAlt), R(K::Down, kAlt), R(K::D, kAlt)}, "int", {12, 11, 0}, 1},
        {"\"Ф\" counts as A", set("int", {12, 0, 0}), 0, cInt,
         {P(GridLetterKey(U'Ф'), kAlt), P(K::Down, kAlt), R(K::Down, kAlt)}, "int", {12, 13, 0}, 1},
        {"A released before Down is not held", set("int", {12, 0, 0}), 0, cInt,
         {P(K::A, kAlt), R(K::A, kAlt), P(K::Down, kAlt), R(K::Down, kAlt)}, "int", {12, 12, 0}, 1},
        {"a text that is no number with A stores nothing, but the focus moves", set("byte", {2, 1, 3}), 0, cByte,
         altADown, "byte", {2, 1, 3}, 1},
        {"without A a text column copies the field's value", set("byte", {2, 1, 3}), 0, cByte,
         {P(K::Down, kAlt), R(K::Down, kAlt)}, "byte", {2, 2, 3}, 1},
        {"Down on the last row does nothing", set("int", {0, 0, 0}), 4, cInt, {P(K::Down, kAlt), R(K::Down, kAlt)},
         "int", {0, 0, 0}, 4},
        {"2147483647 is copied like any number", set("int", {2147483647, 0, 0}), 0, cInt,
         {P(K::Down, kAlt), R(K::Down, kAlt)}, "int", {2147483647, 2147483647, 0}, 1},
        {"A beyond 32 bits is refused", set("int", {2147483647, 0, 0}), 0, cInt, altADown, "int",
         {2147483647, 0, 0}, 0, "Больше максимума"},
        {"D giving -1 into a word is refused and stays", set("word", {0, 5, 5}), 0, cWord,
         {P(K::D, kAlt), P(K::Down, kAlt), R(K::Down, kAlt)}, "word", {0, 5, 5}, 0, "Меньше минимума"},
        {"A giving 16 into a nibble is refused", set("nib", {15, 0, 0}), 0, cNib, altADown, "nib", {15, 0, 0}, 0,
         "Больше максимума"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridRig t;
        c.setup(t);
        t.grid.Focus(c.row, c.column);
        EXPECT_EQ(testsupport::ErrorOf([&] { t.Keys(c.events); }), c.error);
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(t.Value(static_cast<int>(i), c.key), c.values[i]) << i;
        EXPECT_EQ(t.grid.row, c.endRow);
        EXPECT_EQ(t.grid.column, c.column);
    }
}

TEST_F(GridTest, FillAndStoreCell)
{
    struct Case {
        const char* name;
        std::function<void(GridRig&)> setup;
        int row;
        Column column;
        int64_t first, count, increment;
        std::vector<int64_t> values; // the column's field in rows 0..4 afterwards
        int stored;                  // rows reported stored
        const char* error = "(no error)";
    };
    const auto veto = [](std::function<void(bool& accept)> rule) {
        return [rule](GridRig& t) {
            t.spec.Hooks.OnValidateCell = [rule](TBoundControl&, int, const TGridRow&, TField&, const Variant& value,
                                                 bool& accept) {
                if (value.ToInt64() == 7) rule(accept);
            };
        };
    };
    const Case cases[] = {
        {"count 0 changes nothing", {}, 0, cInt, 5, 0, 1, {0, 0, 0, 0, 0}, 0},
        {"a fill stops at the last row", {}, 3, cInt, 5, 10, 1, {0, 0, 0, 5, 6}, 2},
        {"a negative increment counts down", {}, 0, cInt, 3, 3, -1, {3, 2, 1, 0, 0}, 3},
        {"limits 0 and 0 check nothing", {}, 0, cInt, -5, 2, -1, {-5, -6, 0, 0, 0}, 2},
        {"a bit field refuses what it cannot hold", {}, 0, cNib, 14, 3, 1, {14, 15, 2, 2, 2}, 2, "Больше максимума"},
        {"a run past 2147483647 stops, keeping the rows before", {}, 0, cInt, 2147483646, 5, 1,
         {2147483646, 2147483647, 0, 0, 0}, 2, "Больше максимума"},
        {"a word refuses more than 65535", {}, 1, cWord, 65534, 3, 1, {1, 65534, 65535, 1, 1}, 2, "Больше максимума"},
        {"a validation veto stores nothing", veto([](bool& a) { a = false; }), 0, cInt, 5, 4, 1, {5, 6, 0, 0, 0}, 2,
         "Не допустимое значение"},
        {"an exception inside the validation is a veto", veto([](bool&) { throw platform::Exception("внутри"); }), 0,
         cInt, 5, 4, 1, {5, 6, 0, 0, 0}, 2, "Не допустимое значение"},
        {"the grid's own exception for a veto",
         [veto](GridRig& t) {
             veto([](bool& a) { a = false; })(t);
             t.spec.Hooks.OnCellRejected = [](int column) {
                 throw platform::Exception("столбец " + std::to_string(column));
             };
         },
         0, cInt, 5, 4, 1, {5, 6, 0, 0, 0}, 2, "столбец 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GridRig t;
        if (c.setup) c.setup(t);
        t.grid.Focus(c.row, c.column);
        const char* key = c.column == cInt ? "int" : c.column == cWord ? "word" : "nib";
        t.changes = 0;
        EXPECT_EQ(testsupport::ErrorOf([&] { t.Controller().FillColumn(c.first, c.count, c.increment); }), c.error);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(t.Value(i, key), c.values[static_cast<size_t>(i)]) << i;
        EXPECT_EQ(t.grid.storedRows, c.stored);
        // OnChange only for what was stored: every stored row changed its value here.
        EXPECT_EQ(t.changes, c.stored);
    }
}

TEST_F(GridTest, StoreCellChecksNumbersOnlyInNumericFields)
{
    TCommandSender sender;
    const TGridRow& row = grid.rows[0];
    // The text field has a MaxValue (9) as storages do; texts are not numbers.
    StoreCell(spec, row, cText, table.Field(0, "text"), Variant("12345"), sender);
    EXPECT_EQ(table.Field(0, "text").GetValue().ToString(), "12345");
    StoreCell(spec, row, cText, table.Field(0, "text"), Variant(int32_t{1234}), sender);
    EXPECT_EQ(table.Field(0, "text").GetValue().ToString(), "1234");
    // A text that reads as a number is checked as that number.
    EXPECT_EQ(testsupport::ErrorOf([&] { StoreCell(spec, row, cNib, table.Field(0, "nib"), Variant("16"), sender); }),
              "Больше максимума");
    EXPECT_EQ(Value(0, "nib"), 2);
}

TEST_F(GridTest, CommandsResetAndStep)
{
    Set(1, "word", int32_t{500});
    Set(1, "nib", int32_t{9});
    Set(1, "int", int32_t{-4});
    grid.Focus(1, cWord);

    // Delete resets the focused field through the validation, which sees the default.
    std::vector<int64_t> validated;
    spec.Hooks.OnValidateCell = [&](TBoundControl&, int, const TGridRow&, TField&, const Variant& value, bool&) {
        validated.push_back(value.ToInt64());
    };
    EXPECT_TRUE(Keys({P(K::Delete), R(K::Delete)}));
    EXPECT_EQ(Value(1, "word"), 1);
    EXPECT_EQ(Value(1, "nib"), 9);
    EXPECT_EQ(validated, std::vector<int64_t>{1});

    // Alt+Delete resets the whole record without the validation.
    Set(1, "word", int32_t{500});
    validated.clear();
    EXPECT_TRUE(Keys({P(K::Delete, kAlt), R(K::Delete, kAlt)}));
    EXPECT_EQ(Value(1, "word"), 1);
    EXPECT_EQ(Value(1, "nib"), 2);
    EXPECT_EQ(Value(1, "int"), 0);
    EXPECT_TRUE(validated.empty());

    // Ctrl steps stay within the column's cap and above 0; a column without a rule
    // takes the key and changes nothing.
    Set(1, "word", int32_t{65535});
    Keys({P(K::Up, kCtrl)});
    EXPECT_EQ(Value(1, "word"), 65535);
    Set(1, "word", int32_t{0});
    Keys({P(K::Down, kCtrl)});
    EXPECT_EQ(Value(1, "word"), 0);
    grid.Focus(1, cNib);
    EXPECT_TRUE(Keys({P(K::Up, kCtrl)}));
    EXPECT_EQ(Value(1, "nib"), 2);

    // A column without a command field (a second view) takes no command.
    spec.Columns[cWord].CommandField = TFieldRef();
    spec.Columns[cWord].CtrlStep = CappedStep(65535);
    grid.Focus(1, cWord);
    Set(1, "word", int32_t{10});
    Keys({P(K::Up, kCtrl), P(K::Delete), R(K::Delete), P(K::Delete, kAlt), R(K::Delete, kAlt), P(K::Down, kAlt),
         R(K::Down, kAlt)});
    EXPECT_EQ(Value(1, "word"), 10);
    EXPECT_EQ(Value(1, "nib"), 2);
    EXPECT_EQ(Value(2, "word"), 1);
}

TEST_F(GridTest, FillDialogOffersTheRowsToTheEnd)
{
    testsupport::DialogScript dialogs;
    grid.Focus(1, cInt);
    // The count is capped at the rows from the focused one to the last.
    testsupport::AnswerFillDialog(dialogs.Service(), 4, 10, 4, 5);
    EXPECT_TRUE(Keys({P(K::F3), R(K::F3)}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Value(i, "int"), (std::vector<int64_t>{0, 10, 15, 20, 25})[static_cast<size_t>(i)]);

    // Cancel changes nothing; a column that does not fill asks nothing.
    dialogs->PushForm([](platform::FormModel& model) {
        dynamic_cast<TfmAutoInc&>(model).SetValue(aiFirst, 99);
        return platform::MsgResult::Cancel;
    });
    Keys({P(K::F3), R(K::F3)});
    EXPECT_EQ(Value(1, "int"), 10);
    grid.Focus(1, cSingle);
    EXPECT_FALSE(Keys({P(K::F3), R(K::F3)}));
}

TEST_F(GridTest, ClicksAndTheJumpToARecord)
{
    // The main window: a window on this thread's queue that records what it gets.
    platform::MessageQueue queue;
    std::vector<std::pair<platform::WPARAM, platform::LPARAM>> received;
    const platform::HWND main = platform::RegisterWindow(
        [&](platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
            if (msg == platform::WM_FRAME_NOTIFY) received.emplace_back(w, l);
            return 0;
        },
        queue);
    const platform::HWND previous = platform::MainWindow();
    platform::SetMainWindow(main);

    // A page whose Ctrl+click on the int column jumps to the record the value numbers.
    spec.Hooks.OnCtrlClick = [this](const TGridRow& row, int column) {
        const int64_t n = row.Record->Find<TField>("int")->GetValue().ToInt64();
        if (column == cInt && n >= 1 && n <= table.Count()) PostRecordJump(&table.Record(static_cast<int>(n - 1)));
    };
    Set(1, "int", int32_t{4});
    grid.Focus(1, cInt);
    EXPECT_TRUE(Controller().MouseRelease(true, false, false));
    EXPECT_FALSE(Controller().MouseRelease(true, true, false)); // Ctrl+Shift is no jump
    grid.Focus(1, cWord);
    EXPECT_TRUE(Controller().MouseRelease(true, false, false)); // the page's rule says no
    while (queue.DispatchOne()) {
    }
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, 0u);
    EXPECT_EQ(received[0].second, reinterpret_cast<platform::LPARAM>(&table.Record(3)));
    platform::SetMainWindow(previous);
    platform::UnregisterWindow(main);

    // Double clicks edit; a single click only where the grid says so, and never with
    // a modifier.
    EXPECT_TRUE(Controller().MouseDoubleClick());
    grid.editing = false;
    EXPECT_FALSE(Controller().MouseRelease(false, false, false));
    spec.Commands.ClickEdits = TEditClick::Single;
    EXPECT_FALSE(Controller().MouseRelease(false, true, false));
    EXPECT_TRUE(Controller().MouseRelease(false, false, false));
    EXPECT_EQ(grid.edits, (std::vector<int>{-1, -1}));
}

TEST(FillDialog, RangesAndDefaults)
{
    TfmAutoInc form;
    EXPECT_EQ(TfmAutoInc::Caption(), "Установить значения");
    EXPECT_EQ(form.First(), 0);
    EXPECT_EQ(form.Count(), 1);
    EXPECT_EQ(form.Increment(), 1);
    form.SetValue(aiFirst, -3000000000LL);
    form.SetValue(aiInc, 3000000000LL);
    EXPECT_EQ(form.First(), -2147483648LL);
    EXPECT_EQ(form.Increment(), 2147483647);
    form.SetCountMaximum(3);
    form.SetValue(aiCount, -1);
    EXPECT_EQ(form.Count(), 0);
    form.SetValue(aiCount, 7);
    EXPECT_EQ(form.Count(), 3);
}

TEST_F(GridTest, HeaderSorting)
{
    // 0 against 0xFFFFFFFF: an unsigned value from a file beyond 2^31 (beyond what the
    // field takes from an editor).
    TField& big = table.Field(0, "u32");
    const uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    big.WriteBytes(big.NodeOffset(), ones, sizeof ones);
    ASSERT_EQ(big.GetValue().ToInt64(), 0xFFFFFFFF);
    table.Field(1, "u32").SetValue(uint32_t{0});
    table.Field(2, "u32").SetValue(uint32_t{5});
    const char* const texts[] = {"9", "10", "a", "A", "b"};
    for (int i = 0; i < 5; ++i) table.Field(i, "text").SetValue(texts[i]);
    table.Field(3, "u32").SetValue(uint32_t{5});
    table.Field(4, "u32").SetValue(uint32_t{1});

    const auto order = [&](int column, TSortDirection direction) {
        return GridRowOrder(spec, grid.rows, {column, direction});
    };
    EXPECT_EQ(order(cU32, TSortDirection::Ascending), (std::vector<int>{1, 4, 2, 3, 0}));
    EXPECT_EQ(order(cU32, TSortDirection::Descending), (std::vector<int>{0, 2, 3, 4, 1}));
    // Texts compare as texts: "10" before "9"; "a" and "A" differ, so the two
    // directions put them in opposite orders.
    const std::vector<int> up = order(cText, TSortDirection::Ascending);
    const std::vector<int> down = order(cText, TSortDirection::Descending);
    EXPECT_EQ(up[0], 1);
    EXPECT_EQ(up[1], 0);
    const auto before = [](const std::vector<int>& o, int a, int b) {
        return std::find(o.begin(), o.end(), a) < std::find(o.begin(), o.end(), b);
    };
    EXPECT_NE(before(up, 2, 3), before(down, 2, 3));

    // Three clicks on a header: ascending, descending, record order again.
    TSortState state;
    for (int click = 0; click < 3; ++click) state = NextSortState(state, cU32);
    EXPECT_EQ(state.Direction, TSortDirection::None);
    EXPECT_EQ(GridRowOrder(spec, grid.rows, state), (std::vector<int>{0, 1, 2, 3, 4}));
}

} // namespace
