#include "configurator/rules/GridController.h"
#include "configurator/rules/LogicGridRows.h"
#include "model/ProtocolTables.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GridFixture.h"
#include "tests/support/TestText.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::ErrorOf;

// A channel as a case sets it up from its defaults: its kind index (0 none) and, for
// ТС and ТИТ, the source in the kind's first parameter (-1: the kind's default); or a
// type code of its own (-1: the kind's).
struct Ch {
    int Kind = 0;
    int Source = -1;
    int Code = -1;
};

void SetUpChannel(TLogic& logic, const Ch& ch)
{
    logic.ResetDefaults();
    logic.TypeField->SetValue(Variant(int32_t{ch.Code >= 0 ? ch.Code : ChannelTypeCodes[ch.Kind]}));
    if (ch.Source >= 0) logic.ActiveKind()->ParamField(0)->SetValue(Variant(int32_t{ch.Source}));
}

// The row kinds as letters: H header, C channel, S separator.
std::string Kinds(const std::vector<TGridNode>& rows)
{
    std::string kinds;
    for (const TGridNode& row : rows) {
        if (!kinds.empty()) kinds += ' ';
        kinds += row.Kind == lrHeader ? 'H' : row.Kind == lrChannel ? 'C' : 'S';
    }
    return kinds;
}

// The grid as the commands see it, over the rows of a document's first channels.
class TRowsView : public IGridView {
public:
    std::vector<TGridNode> rows;
    int row = -1, column = -1;

    int RowCount() const override { return static_cast<int>(rows.size()); }
    const TGridRow& Row(int position) const override { return rows[static_cast<size_t>(position)]; }
    int FocusedRow() const override { return row; }
    int FocusedColumn() const override { return column; }
    void Focus(int position, int c) override { row = position, column = c; }
    bool Editing() const override { return false; }
    void StartEdit(int) override {}
    void RowsStored(int, int) override {}
};

// A base-model and a Pelvar-44 document, the grid spec and its commands over the first
// channels of one of them.
class LogicGrid : public ::testing::Test {
protected:
    std::unique_ptr<TZumo2Doc> base = testsupport::NewZumo2Doc();
    std::unique_ptr<TZumo2Doc> pelvar = MakeHask1Doc(6);
    int rebuilds = 0;
    TGridSpec spec = LogicGridSpec([this] { ++rebuilds; });
    TRowsView view;
    TGridController controller{view, spec};

    void SetUp() override { pelvar->ResetDefaults(); }

    // Sets up the first channels of a document and shows them.
    void Show(TZumo2Doc& doc, const std::vector<Ch>& channels)
    {
        std::vector<TLogic*> shown;
        for (size_t i = 0; i < channels.size(); ++i) {
            TLogic* logic = doc.LogicChannelByIndex(static_cast<int>(i));
            SetUpChannel(*logic, channels[i]);
            shown.push_back(logic);
        }
        view.rows = LogicGridRows(shown);
    }
    TLogic& Channel(TZumo2Doc& doc, int i) { return *doc.LogicChannelByIndex(i); }
    int64_t Value(TZumo2Doc& doc, int channel, int column)
    {
        return Channel(doc, channel).ColumnField(column - 1)->GetValue().ToInt64();
    }
    // The key pressed and released, as the user types it.
    void Type(TGridKeyCode code, bool ctrl = false, bool alt = false)
    {
        for (bool press : {true, false}) controller.Key(testsupport::GridKey(code, press, ctrl, alt));
    }
};

TEST_F(LogicGrid, RowsGroupChannelsOfOneKindAndCaptions)
{
    struct Case {
        const char* name;
        std::vector<Ch> channels;
        const char* kinds;
    };
    const Case cases[] = {
        {"ТС ТС ТИТ ТС", {{1}, {1}, {2}, {1}}, "H C C S H C S H C"},
        {"no kinds", {{0}, {0}, {0}}, "H C C C"},
        {"ТС 5 next to ТС 7 head other captions", {{1, 5}, {1, 7}}, "H C S H C"},
        {"ТС 7 next to ТС 8 share their captions", {{1, 7}, {1, 8}}, "H C C"},
        {"ТИТ 0 next to ТИТ 3", {{2, 0}, {2, 3}}, "H C C"},
        {"ТИТ 3 next to ТИТ 1 (more parameters)", {{2, 3}, {2, 1}}, "H C S H C"},
        {"a kind next to none", {{4}, {0}}, "H C S H C"},
        {"no channels", {}, ""},
    };
    for (const Case& c : cases) {
        Show(*base, c.channels);
        EXPECT_EQ(Kinds(view.rows), c.kinds) << c.name;
    }

    // Header and separator rows carry the channel of the group that follows; channel
    // rows are numbered by their place in the table.
    Show(*base, {{1}, {1}, {2}});
    ASSERT_EQ(view.rows.size(), 6u);
    const std::vector<int> carried = {0, 0, 1, 2, 2, 2};
    for (size_t p = 0; p < view.rows.size(); ++p)
        EXPECT_EQ(RowLogic(view.rows[p]), &Channel(*base, carried[p])) << p;
    const std::vector<std::string> numbers = {"№", "1", "2", "", "№", "3"};
    for (size_t p = 0; p < view.rows.size(); ++p) EXPECT_EQ(NumberText(view.rows[p]), numbers[p]) << p;
    EXPECT_EQ(LogicRowPosition(view.rows, &Channel(*base, 2)), 5);
    EXPECT_EQ(LogicRowPosition(view.rows, &Channel(*base, 7)), -1);

    // The texts: captions on headers, values on channels, nothing on separators.
    const auto texts = [&](int position) {
        std::vector<std::string> t;
        for (int c = 0; c <= 5; ++c) t.push_back(CellText(spec, view.rows[static_cast<size_t>(position)], c));
        return t;
    };
    EXPECT_EQ(texts(0), (std::vector<std::string>{"№", "ВАК", "Порт", "Тип логического канала", "Tип",
                                                   "Значение ТС для остановки"}));
    EXPECT_EQ(texts(1), (std::vector<std::string>{"1", "0", "Нет", "Состояние (ТС)", "Остановка работы порта", "0"}));
    EXPECT_EQ(texts(3), std::vector<std::string>(6));
}

TEST_F(LogicGrid, LastColumnsAndLooks)
{
    Show(*base, {{0}, {1}, {2, 1}, {5}});
    // Rows: H C(none) S H C(ТС) S H C(ТИТ 1) S H C(group ТУ)
    const auto last = [&](int p) { return RowLastColumn(view.rows[static_cast<size_t>(p)]); };
    EXPECT_EQ(last(1), 3);
    EXPECT_EQ(last(4), 5);
    EXPECT_EQ(last(3), 5); // a header row: its group's
    EXPECT_EQ(last(7), 10);
    EXPECT_EQ(last(10), 7);

    // Only channel rows take the focus, in columns 1 to their last.
    EXPECT_FALSE(controller.CanFocus(0, 1));
    EXPECT_FALSE(controller.CanFocus(2, 1));
    EXPECT_FALSE(controller.CanFocus(1, 0));
    EXPECT_TRUE(controller.CanFocus(1, 3));
    EXPECT_FALSE(controller.CanFocus(1, 4));
    EXPECT_TRUE(controller.CanFocus(7, 10));

    // A channel without a kind is silver from column 1.
    EXPECT_EQ(CellLook(spec, view.rows[1], 1).Text, (TRgb{192, 192, 192}));
    EXPECT_FALSE(CellLook(spec, view.rows[4], 1).Text.has_value());
    EXPECT_FALSE(CellLook(spec, view.rows[0], 1).Text.has_value());
    EXPECT_EQ(spec.Columns[lcNumber].Hint, std::string("Внутренний адрес канала"));
    EXPECT_EQ(spec.ColumnCount(), 16);
}

TEST_F(LogicGrid, MovesStayOnChannelRows)
{
    // Rows: 0 H, 1 ТС, 2 ТС, 3 S, 4 H, 5 none, 6 S, 7 H, 8 ТИТ 3 (two parameters).
    Show(*base, {{1}, {1}, {0}, {2, 3}});
    struct Case {
        const char* name;
        int row, column;
        TGridKeyCode key;
        int endRow, endColumn;
    };
    using K = TGridKeyCode;
    const Case cases[] = {
        {"Right from the last column", 1, 5, K::Right, 2, 1},
        {"Right inside the row", 1, 3, K::Right, 1, 4},
        {"Left from column 1", 5, 1, K::Left, 2, 5},
        {"Left from column 1 onto a channel without a kind", 8, 1, K::Left, 5, 3},
        {"Up from column 5 onto a channel without a kind", 8, 5, K::Up, 5, 3},
        {"Down over a separator and a header", 2, 4, K::Down, 5, 3},
        {"Down keeps the column", 1, 2, K::Down, 2, 2},
        {"Up at the first channel", 1, 2, K::Up, 1, 2},
        {"Down at the last channel", 8, 2, K::Down, 8, 2},
        {"Left at the first channel", 1, 1, K::Left, 1, 1},
        {"Right at the last channel's end", 8, 5, K::Right, 8, 5},
    };
    for (const Case& c : cases) {
        view.Focus(c.row, c.column);
        Type(c.key);
        EXPECT_EQ(view.row, c.endRow) << c.name;
        EXPECT_EQ(view.column, c.endColumn) << c.name;
    }
    EXPECT_EQ(rebuilds, 0);
}

TEST_F(LogicGrid, AltCopyFromTheTypeColumnOnRebuilds)
{
    Show(*base, {{1}, {2}});
    // Rows: 0 H, 1 ТС, 2 S, 3 H, 4 ТИТ.
    view.Focus(1, lcType);
    Type(TGridKeyCode::Down, false, true);
    EXPECT_EQ(Channel(*base, 1).ActiveKindIndex(), 1);
    EXPECT_EQ(view.row, 4);
    EXPECT_EQ(rebuilds, 1);

    // In the VAK column the target simply becomes current.
    Channel(*base, 0).AddrField->SetValue(Variant(int32_t{7}));
    view.Focus(1, lcVAK);
    Type(TGridKeyCode::Down, false, true);
    EXPECT_EQ(Value(*base, 1, lcVAK), 7);
    EXPECT_EQ(rebuilds, 1);
}

TEST_F(LogicGrid, CtrlSteps)
{
    enum Doc { Base, Pelvar };
    struct Case {
        const char* name;
        Doc doc;
        Ch channel;
        int column;
        int64_t start;            // the value set first (-1: as set up)
        std::vector<bool> steps;  // up (true) or down
        std::vector<int64_t> values; // the column's value after each step (type: the kind index)
        int rebuilds;
    };
    const Case cases[] = {
        {"VAK down", Base, {0}, lcVAK, 2, {false, false, false}, {1, 0, 0}, 0},
        {"port up from 0", Base, {0}, lcPort, 0, {true, true, true, true, true}, {1, 2, 3, 255, 255}, 0},
        {"port down from 255", Base, {0}, lcPort, 255, {false, false, false, false}, {2, 1, 0, 0}, 0},
        {"type up through every kind to ТР", Base, {0}, lcType, -1,
         {true, true, true, true, true, true, true, true}, {1, 2, 3, 4, 5, 6, 7, 7}, 7},
        {"type down from none", Base, {0}, lcType, -1, {false}, {0}, 0},
        {"type down from ТС", Base, {1}, lcType, -1, {false}, {0}, 1},
        {"Pelvar: type up stops at ТУ", Pelvar, {4}, lcType, -1, {true, true, false}, {4, 4, 3}, 1},
        {"Pelvar: a group command code steps down to ТУ", Pelvar, {0, -1, 14}, lcType, -1, {false, true}, {4, 4}, 1},
        {"kind parameters take no steps", Base, {1}, 4, -1, {true, false}, {5, 5}, 0},
    };
    for (const Case& c : cases) {
        TZumo2Doc& doc = c.doc == Base ? *base : *pelvar;
        Show(doc, {c.channel});
        if (c.start >= 0) Channel(doc, 0).ColumnField(c.column - 1)->SetValue(Variant(int32_t(c.start)));
        view.Focus(1, c.column);
        rebuilds = 0;
        for (size_t s = 0; s < c.steps.size(); ++s) {
            Type(c.steps[s] ? TGridKeyCode::Up : TGridKeyCode::Down, true);
            const int64_t value = c.column == lcType ? Channel(doc, 0).ActiveKindIndex() : Value(doc, 0, c.column);
            EXPECT_EQ(value, c.values[s]) << c.name << ", step " << s;
        }
        EXPECT_EQ(rebuilds, c.rebuilds) << c.name;
        EXPECT_EQ(view.row, 1) << c.name; // Ctrl steps never move
    }

    // The VAK is 24 bits wide: one more is refused, the value stays.
    Show(*base, {{0}});
    Channel(*base, 0).AddrField->SetValue(Variant(int32_t{16777215}));
    view.Focus(1, lcVAK);
    EXPECT_EQ(ErrorOf([&] { Type(TGridKeyCode::Up, true); }), "Больше максимума");
    EXPECT_EQ(Value(*base, 0, lcVAK), 16777215);
}

TEST_F(LogicGrid, DeleteResetsAndAsksForARebuild)
{
    Show(*base, {{1, 7}, {2}});
    Channel(*base, 0).Kind(1)->Find<TField>("103")->SetValue(Variant(int32_t{9}));
    view.Focus(1, 4);
    Type(TGridKeyCode::Delete);
    EXPECT_EQ(Channel(*base, 0).Kind(1)->Find<TField>("102")->GetValue().ToInt32(), 5);
    EXPECT_EQ(rebuilds, 1);
    Type(TGridKeyCode::Delete, false, true);
    EXPECT_EQ(Channel(*base, 0).ActiveKindIndex(), 0);
    EXPECT_EQ(rebuilds, 2);
}

TEST_F(LogicGrid, FillWalksChannelRowsAcrossGroups)
{
    testsupport::DialogScript dialogs;
    Show(*base, {{1}, {1}, {2}, {2}, {0}, {0}, {3}});
    // Rows: 0 H, 1 ТС, 2 ТС, 3 S, 4 H, 5 ТИТ, 6 ТИТ, 7 S, 8 H, 9 none, 10 none, 11 S,
    // 12 H, 13 ТИИ. The dialog offers the rows from the focused one on, all kinds counted.
    view.Focus(2, lcVAK);
    testsupport::AnswerFillDialog(dialogs.Service(), 12, 100, 5, 10);
    Type(TGridKeyCode::F3);
    std::vector<int64_t> vaks;
    for (int i = 0; i < 7; ++i) vaks.push_back(Value(*base, i, lcVAK));
    EXPECT_EQ(vaks, (std::vector<int64_t>{0, 100, 110, 120, 130, 140, 0}));

    // F3 fills column 1 only.
    const size_t asked = dialogs->Records().size();
    view.Focus(2, lcPort);
    Type(TGridKeyCode::F3);
    EXPECT_EQ(dialogs->Records().size(), asked);

    // A fill beyond 24 bits stops at the channel that would pass it.
    view.Focus(1, lcVAK);
    EXPECT_EQ(ErrorOf([&] { controller.FillColumn(16777214, 5, 1); }), "Больше максимума");
    vaks.clear();
    for (int i = 0; i < 4; ++i) vaks.push_back(Value(*base, i, lcVAK));
    EXPECT_EQ(vaks, (std::vector<int64_t>{16777214, 16777215, 110, 120}));
}

TEST_F(LogicGrid, EditorTable)
{
    enum Doc { Base, Pelvar };
    using E = TLogicEditor;
    struct Case {
        const char* name;
        Doc doc;
        Ch channel;
        int column;
        E editor;
        TEditorKind kind;
        std::vector<std::string> items; // a combo's texts; empty: not compared
        int64_t minimum = 0, maximum = 0; // a spin's
        bool rebuild = false;
    };
    const Case cases[] = {
        {"VAK", Base, {0}, lcVAK, E::TFieldEditLink, TEditorKind::Spin, {}, 0, 16777215},
        {"Pelvar port", Pelvar, {0}, lcPort, E::TFieldEditLink, TEditorKind::Combo, {"Channel", "ETH0", "ETH1", "Нет"}},
        {"Pelvar type", Pelvar, {0}, lcType, E::TFieldEditLink, TEditorKind::Combo,
         {"Нет", "Состояние (ТС)", "Данные (ТИ)", "Счетчик (ТИИ)", "ТУ"}, 0, 0, true},
        {"ТС source", Base, {1}, 4, E::TEditTC, TEditorKind::Combo,
         {"Остановка работы порта", "Состояние порта", "Периодическая генерация",
          "Периодическая генерация с привязкой ко времени"}, 0, 0, true},
        {"ТС value of source 5", Base, {1, 5}, 5, E::TEditTC, TEditorKind::Spin, {}, 0, 255},
        {"ТС address of source 0", Base, {1, 0}, 5, E::TEditTC, TEditorKind::Spin, {}, 0, 65535},
        {"ТИТ address of source 0", Base, {2, 0}, 5, E::TEditTIT, TEditorKind::Spin, {}, 0, 65535},
        {"ТИТ channels are not edited", Base, {2, 1}, 6, E::TEditTIT, TEditorKind::None, {}},
        {"ТИИ counter", Base, {3}, 4, E::TEditTII, TEditorKind::Combo,
         {"Кол-во принятых байт", "Кол-во переданных байт", "Кол-во принятых пакетов", "Кол-во испорченых пакетов"}},
        {"ТУ command", Base, {4}, 4, E::TEditTU, TEditorKind::Combo, {"Рестарт", "Сброс КДС", "Отключить порт"}, 0, 0,
         true},
        {"group ТУ address", Base, {6}, 4, E::TEditGroupTU, TEditorKind::Spin, {}, 0, 65535},
        {"group ТУ channel", Base, {5}, 5, E::TEditGroupTU, TEditorKind::Spin, {}, -1, 32767},
        {"ТР kind", Base, {7}, 4, E::TEditTR, TEditorKind::Combo, {"Конвертация в ТИТ"}},
        {"ТР count", Base, {7}, 6, E::TEditTR, TEditorKind::Spin, {}, 0, 65535},
        {"beyond ТР's columns", Base, {7}, 7, E::TEditTR, TEditorKind::None, {}},
        {"no kind", Base, {0}, 4, E::None, TEditorKind::None, {}},
        {"Pelvar group command code", Pelvar, {0, -1, 14}, 4, E::None, TEditorKind::None, {}},
    };
    for (const Case& c : cases) {
        TZumo2Doc& doc = c.doc == Base ? *base : *pelvar;
        Show(doc, {c.channel});
        const TGridNode& row = view.rows[1];
        EXPECT_EQ(LogicEditorClass(row, c.column), c.editor) << c.name;
        const TEditorSpec& editor = CellEditor(spec, row, c.column);
        EXPECT_EQ(editor.Kind, c.kind) << c.name;
        EXPECT_EQ(CellEditable(spec, row, c.column), c.kind != TEditorKind::None) << c.name;
        if (c.kind == TEditorKind::None) continue;
        EXPECT_EQ(editor.RebuildAfterEdit, c.rebuild) << c.name;
        if (c.kind == TEditorKind::Spin) {
            EXPECT_EQ(editor.Minimum, c.minimum) << c.name;
            EXPECT_EQ(EditorMaximum(editor, row, EditField(spec, row, c.column)), c.maximum) << c.name;
            EXPECT_EQ(editor.WidthPad, 70) << c.name;
        }
        if (!c.items.empty()) {
            std::vector<std::string> texts;
            for (const auto& item : editor.Items(row)) texts.push_back(item.first);
            EXPECT_EQ(texts, c.items) << c.name;
        }
    }

    // The ТИТ sources: 14 on the base model, the Pelvar's own 7.
    for (auto [doc, count] : {std::pair{base.get(), 14}, std::pair{pelvar.get(), 7}}) {
        Show(*doc, {{2}});
        EXPECT_EQ(CellEditor(spec, view.rows[1], 4).Items(view.rows[1]).size(), static_cast<size_t>(count));
    }
    // The type combo preselects the channel's kind; a code of no kind shows "Нет".
    Show(*base, {{3}});
    const TEditorSpec& type = CellEditor(spec, view.rows[1], lcType);
    EXPECT_EQ(type.Preselect(view.rows[1], type.Items(view.rows[1])), 3);
    Channel(*base, 0).TypeField->SetValue(Variant(int32_t{77}));
    EXPECT_EQ(type.Preselect(view.rows[1], type.Items(view.rows[1])), 0);
    // Header rows edit nothing.
    EXPECT_FALSE(CellEditable(spec, view.rows[0], lcVAK));
}

TEST_F(LogicGrid, EmptyTableDoesNothing)
{
    Show(*base, {});
    for (TGridKeyCode key : {TGridKeyCode::Down, TGridKeyCode::Right, TGridKeyCode::Delete, TGridKeyCode::F3})
        Type(key);
    Type(TGridKeyCode::Up, true);
    controller.FillColumn(1, 5, 1);
    EXPECT_EQ(view.row, -1);
    EXPECT_EQ(rebuilds, 0);
}

} // namespace
