#include "configurator/rules/ChannelGridRules.h"
#include "configurator/rules/GridController.h"
#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "model/uZumo9.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/GridFixture.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::FakeGridView;
using testsupport::GridKey;
using testsupport::MessageOf;

// A Sender that keeps what it was last shown, as an open editor does.
class Editor : public TBoundControl {
public:
    std::optional<Variant> shown;
    void Show(const TField& field) override { shown = field.GetValue(); }
    std::optional<Variant> Read() const override { return std::nullopt; }
};

// The device channel grid over the channel blocks of a document's first device; the
// page's binding core holds the validate event a case gives it.
class DevChannels {
public:
    std::unique_ptr<TZumo2Doc> doc;
    TGridSpec spec = DevChannelGridSpec();
    TParamBinding page;
    FakeGridView grid;
    TGridController controller{grid, spec};

    explicit DevChannels(std::unique_ptr<TZumo2Doc> document) : doc(std::move(document))
    {
        doc->ResetDefaults();
        grid.rows = DevChannelRows(*doc->DeviceByIndex(0));
        BindDevChannelValidation(spec, page);
    }
    TField& Field(int block, int column)
    {
        return *dynamic_cast<TField*>(doc->DeviceByIndex(0)->ChannelBlockByIndex(block)->FieldByIndex(column));
    }
    int64_t Value(int block, int column) { return Field(block, column).GetValue().ToInt64(); }
    // Sets a block: its start, count, ВАК, type and description.
    void SetBlock(int block, int32_t start, int32_t count, int32_t vak, int32_t type, int32_t description)
    {
        const int32_t values[] = {start, count, vak, type, description};
        for (int c = 0; c < 5; ++c) Field(block, c).SetValue(values[c]);
    }
    std::string Text(int block, int column) { return CellText(spec, grid.rows[static_cast<size_t>(block)], column); }
    // Stores a value into a cell as an editor's commit does.
    void Store(int block, int column, int32_t value, TBoundControl& sender)
    {
        StoreCell(spec, grid.rows[static_cast<size_t>(block)], column, Field(block, column), Variant(value), sender);
    }
    void Step(int block, int column, bool up)
    {
        grid.Focus(block, column);
        controller.StepCell(up);
    }
};

TEST(DevChannelGrid, TextsPrefixAndColours)
{
    struct Case {
        const char* name;
        int32_t count, type, description;
        std::vector<std::string> texts; // the five columns
        const char* prefix;
        std::vector<bool> grey; // per column
    };
    const std::vector<bool> none(5, false), all(5, true), description = {false, false, false, false, true};
    const Case cases[] = {
        {"a row without objects is grey throughout", 0, 0, 0, {"7", "0", "9", "ТС", "Int16"}, "Формат данных: ", all},
        {"an unset format greys the description", 1, 1, 255, {"7", "1", "9", "ТИТ", "Не задан"}, "Формат данных: ",
         description},
        {"a command row: on", 2, 3, 1, {"7", "2", "9", "ТУ", "Включить"}, "Команда: ", none},
        {"a command row: off", 2, 3, 2, {"7", "2", "9", "ТУ", "Отключить"}, "Команда: ", none},
        {"a command row: another code", 2, 3, 7, {"7", "2", "9", "ТУ", "Не задана"}, "Команда: ", none},
        {"an unset command is grey too", 2, 3, 255, {"7", "2", "9", "ТУ", "Не задана"}, "Команда: ", description},
        {"a type without a name", 2, 6, 176, {"7", "2", "9", "нет", "MK51 / Аналог"}, "Формат данных: ", none},
        {"a format without a name", 2, 7, 17, {"7", "2", "9", "ДТС", "Не задан"}, "Формат данных: ", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DevChannels t(MakeZumo2Doc());
        t.SetBlock(0, 7, c.count, 9, c.type, c.description);
        const TGridRow& row = t.grid.rows[0];
        for (int column = 0; column < 5; ++column) {
            SCOPED_TRACE(column);
            EXPECT_EQ(t.Text(0, column), c.texts[static_cast<size_t>(column)]);
            const TCellLook look = CellLook(t.spec, row, column);
            EXPECT_EQ(look.Text == ChannelGrey, c.grey[static_cast<size_t>(column)]);
            EXPECT_EQ(look.Text.has_value(), c.grey[static_cast<size_t>(column)]);
            EXPECT_EQ(CellStaticText(t.spec, row, column), column == dcDescription ? c.prefix : "");
            EXPECT_EQ(look.Static, column == dcDescription ? std::optional<TRgb>(ChannelSilver) : std::nullopt);
            // Every column widens to the format prefix and its text, whatever the type.
            EXPECT_EQ(CellWidthText(t.spec, row, column), "Формат данных: " + c.texts[static_cast<size_t>(column)]);
        }
    }
}

TEST(DevChannelGrid, EditorsFollowTheRowsType)
{
    DevChannels t(MakeZumo2Doc());
    t.SetBlock(0, 0, 1, 0, 3, 1);
    t.SetBlock(1, 0, 1, 0, 0, 0);
    const TEditorSpec& description = CellEditor(t.spec, t.grid.rows[0], dcDescription);
    EXPECT_EQ(description.Items(t.grid.rows[0]), (TPickList{{"Включить", 1}, {"Отключить", 2}, {"Не задана", 255}}));
    EXPECT_EQ(description.Items(t.grid.rows[1]),
              (TPickList{{"Int16", 0}, {"Float 1234", 48}, {"Float 2143", 80}, {"Float 4321", 96}, {"MK51 / Q", 160},
                         {"MK51 / P,I", 144}, {"MK51 / Аналог", 176}, {"8 Бит(ASDU136)", 192},
                         {"DO генер. всегда", 32}, {"DO по измен.", 64}, {"Не задан", 255}}));
    EXPECT_EQ(CellEditor(t.spec, t.grid.rows[1], dcType).Items(t.grid.rows[1]),
              (TPickList{{"Нет", 255}, {"ТС", 0}, {"ТИТ", 1}, {"ТИИ", 2}, {"ТУ", 3}, {"ТР", 4}, {"Параметр", 5},
                         {"ДТС", 7}}));
    // Changing the type switches the texts, never the stored description.
    t.SetBlock(2, 0, 1, 0, 0, 48);
    Editor editor;
    t.Store(2, dcType, 3, editor);
    EXPECT_EQ(t.Value(2, dcDescription), 48);
    EXPECT_EQ(t.Text(2, dcDescription), "Не задана");
    EXPECT_EQ(CellStaticText(t.spec, t.grid.rows[2], dcDescription), "Команда: ");
    t.Store(2, dcType, 0, editor);
    EXPECT_EQ(t.Text(2, dcDescription), "Float 1234");
}

TEST(DevChannelGrid, CtrlSteps)
{
    struct Case {
        const char* name;
        int column;
        int32_t type, value;
        bool up;
        int64_t expected;
        const char* error = nullptr;
    };
    const Case cases[] = {
        {"format 0 up", dcDescription, 0, 0, true, 48},
        {"format 48 up", dcDescription, 0, 48, true, 80},
        {"format 80 up", dcDescription, 0, 80, true, 96},
        {"format 96 up", dcDescription, 0, 96, true, 144},
        {"format 144 up", dcDescription, 0, 144, true, 160},
        {"format 160 up ends the chain", dcDescription, 0, 160, true, 255},
        {"format 176 up leaves the chain", dcDescription, 0, 176, true, 255},
        {"format 255 up stays", dcDescription, 0, 255, true, 255},
        {"format 255 down", dcDescription, 0, 255, false, 160},
        {"format 160 down", dcDescription, 0, 160, false, 144},
        {"format 144 down", dcDescription, 0, 144, false, 96},
        {"format 96 down", dcDescription, 0, 96, false, 80},
        {"format 80 down", dcDescription, 0, 80, false, 48},
        {"format 48 down", dcDescription, 0, 48, false, 0},
        {"format 0 down stays", dcDescription, 0, 0, false, 0},
        {"format 192 down", dcDescription, 0, 192, false, 160},
        {"format 176 down", dcDescription, 0, 176, false, 160},
        {"format 64 down", dcDescription, 0, 64, false, 48},
        {"format 32 down", dcDescription, 0, 32, false, 0},
        {"command 1 down", dcDescription, 3, 1, false, 0},
        {"command 2 down", dcDescription, 3, 2, false, 0},
        {"command 1 up", dcDescription, 3, 1, true, 255},
        {"count 65535 up stays", dcCount, 0, 65535, true, 65535},
        {"count 0 down stays", dcCount, 0, 0, false, 0},
        {"count up", dcCount, 0, 4, true, 5},
        {"ВАК 16777215 up stays", dcVak, 0, 16777215, true, 16777215},
        {"ВАК 16777214 up", dcVak, 0, 16777214, true, 16777215},
        {"start up", dcStart, 0, 2147483646, true, 2147483647},
        {"start 2147483647 up stays", dcStart, 0, 2147483647, true, 2147483647},
        {"type steps through unnamed codes", dcType, 5, 5, true, 6},
        {"type down", dcType, 7, 7, false, 6},
        {"type 255 up is refused by the field", dcType, 255, 255, true, 255, "Больше максимума"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DevChannels t(MakeZumo2Doc());
        t.SetBlock(0, 0, 1, 0, c.type, 255);
        t.Field(0, c.column).SetValue(c.value);
        if (c.error) {
            EXPECT_EQ(MessageOf<platform::Exception>([&] { t.Step(0, c.column, c.up); }), c.error);
        } else {
            t.Step(0, c.column, c.up);
        }
        EXPECT_EQ(t.Value(0, c.column), c.expected);
    }
}

TEST(DevChannelGrid, FillAndDigitsOnlyInTheFirstThreeColumns)
{
    testsupport::DialogScript dialogs; // no fill dialog may be asked for
    DevChannels t(MakeZumo2Doc());
    for (int column : {dcType, dcDescription}) {
        SCOPED_TRACE(column);
        t.grid.Focus(0, column);
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::F3, true)));
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::F3, false)));
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::Digit, true, false, false, 4)));
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::Digit, false, false, false, 4)));
    }
    EXPECT_TRUE(t.grid.edits.empty());
    for (int column : {dcStart, dcCount, dcVak}) {
        t.grid.Focus(0, column);
        EXPECT_TRUE(t.controller.Key(GridKey(TGridKeyCode::Digit, true, false, false, 4)));
        EXPECT_TRUE(t.controller.Key(GridKey(TGridKeyCode::Digit, false, false, false, 4)));
        t.grid.editing = false;
    }
    EXPECT_EQ(t.grid.edits, (std::vector<int>{4, 4, 4}));
}

// A Zumo 9 document whose "VAK_TU1" is 5: block 0 a ТС run at ВАК 5 of 5 objects,
// block 1 a ТУ run at ВАК 1 of 3, block 2 a ТУ run at ВАК 10 of 6; the page's
// OnValidate is the document's channel check.
std::unique_ptr<DevChannels> Zumo9Channels()
{
    auto t = std::make_unique<DevChannels>(MakeZumo9Doc());
    dynamic_cast<TZumo9Doc&>(*t->doc).CommandAddressField()->SetValue(int32_t{5});
    t->SetBlock(0, 0, 5, 5, 0, 255);
    t->SetBlock(1, 0, 3, 1, 3, 255);
    t->SetBlock(2, 0, 6, 10, 3, 255);
    t->page.OnValidate = TFieldValidateEvent::Of<&TZumo2Doc::ValidateChannelChange>(t->doc.get());
    return t;
}

const char* const kOverlap = "Обнаруженено пересечение с другим диапазоном ВАК\r\nили ВАК уже занят";

TEST(DevChannelGrid, EveryStoreTheDocumentRefusesRaisesByColumnAndChangesNothing)
{
    struct Case {
        const char* name;
        std::function<void(DevChannels&)> prepare; // accepted changes before
        std::function<void(DevChannels&, Editor&)> command;
        bool range; // EDevChannelRangeCheckFailedException, else EDevChannelINValidValueException
        std::optional<int64_t> shown = std::nullopt; // what the editor shows afterwards
    };
    const Case cases[] = {
        {"an edit of a command run's count over VAK_TU1", {},
         [](DevChannels& t, Editor& editor) { t.Store(1, dcCount, 5, editor); }, true, 3},
        {"an edit of a ТС run's type to ТУ", {}, [](DevChannels& t, Editor& editor) { t.Store(0, dcType, 3, editor); },
         false, 0},
        {"Ctrl+Up on a command run's count",
         [](DevChannels& t) {
             Editor editor;
             t.Store(1, dcCount, 4, editor);
             EXPECT_EQ(t.Value(1, dcCount), 4);
         },
         [](DevChannels& t, Editor&) { t.Step(1, dcCount, true); }, true},
        {"Alt+Down of a count into a command run", {},
         [](DevChannels& t, Editor&) {
             t.grid.Focus(0, dcCount);
             t.controller.MoveVertical(true, true);
         },
         true},
        {"Delete on a command run's ВАК", {},
         [](DevChannels& t, Editor&) {
             t.grid.Focus(2, dcVak);
             t.controller.ResetCell();
         },
         true},
        {"Ctrl+Up on a run's type into ТУ",
         [](DevChannels& t) {
             t.Step(0, dcType, true);
             t.Step(0, dcType, true);
             EXPECT_EQ(t.Value(0, dcType), 2);
         },
         [](DevChannels& t, Editor&) { t.Step(0, dcType, true); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<DevChannels> t = Zumo9Channels();
        if (c.prepare) c.prepare(*t);
        const auto before = testsupport::AddressMap(*t->doc);
        Editor editor;
        const auto run = [&] { c.command(*t, editor); };
        if (c.range)
            EXPECT_EQ(MessageOf<EDevChannelRangeCheckFailedException>(run), kOverlap);
        else
            EXPECT_EQ(MessageOf<EDevChannelINValidValueException>(run), "Не допустимое значение");
        EXPECT_TRUE(testsupport::AddressMap(*t->doc) == before);
        if (c.shown) {
            ASSERT_TRUE(editor.shown.has_value());
            EXPECT_EQ(editor.shown->ToInt64(), *c.shown);
        }
    }
}

TEST(DevChannelGrid, AFillKeepsWhatItStoredBeforeARefusal)
{
    std::unique_ptr<DevChannels> t = Zumo9Channels();
    t->grid.Focus(0, dcVak);
    // Row 0 takes 3; 4 would put row 1's command run (4..6) over VAK_TU1.
    EXPECT_EQ(MessageOf<EDevChannelRangeCheckFailedException>([&] { t->controller.FillColumn(3, 2, 1); }), kOverlap);
    EXPECT_EQ(t->Value(0, dcVak), 3);
    EXPECT_EQ(t->Value(1, dcVak), 1);
}

TEST(DevChannelGrid, ValidationWithoutTheDocumentsCheck)
{
    // Without OnValidate the grid accepts; the Zumo 9 fields still keep their own
    // silent veto.
    std::unique_ptr<DevChannels> t = Zumo9Channels();
    t->page.OnValidate = {};
    Editor editor;
    t->Store(1, dcCount, 5, editor);
    EXPECT_EQ(t->Value(1, dcCount), 3);
    t->Store(1, dcCount, 4, editor);
    EXPECT_EQ(t->Value(1, dcCount), 4);

    // A check that raises refuses, in any column.
    DevChannels base(MakeZumo2Doc());
    const auto broken = [](const void*, TField*, const Variant&, TFieldLst*, bool&) {
        throw platform::Exception("broken");
    };
    base.page.OnValidate = TFieldValidateEvent::Of(broken);
    EXPECT_EQ(MessageOf<EDevChannelINValidValueException>([&] { base.Store(0, dcStart, 1, editor); }),
              "Не допустимое значение");
    EXPECT_EQ(MessageOf<EDevChannelRangeCheckFailedException>([&] { base.Store(0, dcVak, 1, editor); }), kOverlap);
    EXPECT_EQ(base.Value(0, dcStart), 0);
}

// The own or DIO grid of a Zumo 7 document.
class Zumo7Channels {
public:
    std::unique_ptr<TZumo2Doc> doc = MakeZumo7Doc();
    const TZumo7ChannelTable& table;
    TGridSpec spec;
    FakeGridView grid;
    TGridController controller{grid, spec};

    explicit Zumo7Channels(TZumo7ChannelKind kind)
        : table(Zumo7ChannelTable(kind)), spec(Zumo7ChannelGridSpec(table))
    {
        doc->ResetDefaults();
        grid.rows = Zumo7ChannelRows(dynamic_cast<TZumo7Doc&>(*doc), table);
    }
    TField& Field(int row, const char* key) { return *grid.rows[static_cast<size_t>(row)].Record->Find<TField>(key); }
    std::string Text(int row, int column) { return CellText(spec, grid.rows[static_cast<size_t>(row)], column); }
};

TEST(Zumo7ChannelGrids, WhereTheOwnAndDIOGridsDiffer)
{
    struct Page {
        TZumo7ChannelKind kind;
        std::vector<const char*> captions;
        std::vector<int> shown; // the visible columns, which are the editable ones
        const char* typeFive;   // the text of type 5
    };
    const Page pages[] = {
        {TZumo7ChannelKind::Own,
         {"Начальный адрес", "Кол-во", "ВАК", "Тип", "Описание", "Время удержания(ms)", "Время дребезга(ms)"},
         {0, 1, 2, 3, 5},
         "Нет"},
        {TZumo7ChannelKind::DIO,
         {"Начальный адрес", "Кол-во", "ВАК", "Тип", "Описание", "Время удержания(ms)"},
         {0, 1, 2, 3, 4, 5},
         "Параметр"},
    };
    for (const Page& p : pages) {
        Zumo7Channels t(p.kind);
        SCOPED_TRACE(p.captions.size());
        ASSERT_EQ(t.grid.rows.size(), 16u);
        ASSERT_EQ(t.spec.ColumnCount(), static_cast<int>(p.captions.size()));
        std::vector<int> shown, editable;
        for (int c = 0; c < t.spec.ColumnCount(); ++c) {
            EXPECT_STREQ(t.spec.Columns[static_cast<size_t>(c)].Caption, p.captions[static_cast<size_t>(c)]);
            if (!t.spec.Columns[static_cast<size_t>(c)].Hidden) shown.push_back(c);
            if (CellEditable(t.spec, t.grid.rows[0], c)) editable.push_back(c);
        }
        EXPECT_EQ(shown, p.shown);
        EXPECT_EQ(editable, p.shown);

        // Type texts and items.
        const std::pair<int32_t, const char*> types[] = {{0, "ТС"}, {3, "ТУ"}, {5, p.typeFive}, {1, "Нет"}, {255, "Нет"}};
        for (const auto& [code, text] : types) {
            t.Field(0, "Chtype").SetValue(code);
            EXPECT_EQ(t.Text(0, zcType), text) << code;
        }
        EXPECT_EQ(CellEditor(t.spec, t.grid.rows[0], zcType).Items(t.grid.rows[0]),
                  (TPickList{{"Нет", 255}, {"ТС", 0}, {"ТУ", 3}}));

        // Descriptions: inversion or nothing, commands on a command row, which the type
        // change leaves stored as they were.
        struct Description {
            int32_t type, value;
            const char* text;
            const char* prefix;
        };
        const Description descriptions[] = {
            {0, 16, "Инверсия", "Формат данных: "}, {0, 255, "Не задано", "Формат данных: "},
            {0, 1, "Не задано", "Формат данных: "}, {3, 1, "Включить", "Команда: "},
            {3, 2, "Отключить", "Команда: "},       {3, 16, "Не задана", "Команда: "},
        };
        for (const Description& d : descriptions) {
            t.Field(1, "ChFrm").SetValue(d.value);
            t.Field(1, "Chtype").SetValue(d.type);
            EXPECT_EQ(t.Field(1, "ChFrm").GetValue().ToInt64(), d.value);
            EXPECT_EQ(t.Text(1, zcDescription), d.text);
            EXPECT_EQ(CellStaticText(t.spec, t.grid.rows[1], zcDescription), d.prefix);
            EXPECT_EQ(CellWidthText(t.spec, t.grid.rows[1], zcDescription), std::string("Формат данных: ") + d.text);
            EXPECT_FALSE(CellLook(t.spec, t.grid.rows[1], zcDescription).Static.has_value());
        }
        const TEditorSpec& description = CellEditor(t.spec, t.grid.rows[1], zcDescription);
        EXPECT_EQ(description.Items(t.grid.rows[1]), (TPickList{{"Включить", 1}, {"Отключить", 2}, {"Не задана", 255}}));
        t.Field(1, "Chtype").SetValue(int32_t{0});
        EXPECT_EQ(description.Items(t.grid.rows[1]), (TPickList{{"Инверсия", 16}, {"Не задано", 255}}));

        // No Ctrl steps, Alt copies or fill: those keys are the view's own.
        testsupport::DialogScript dialogs;
        t.Field(0, "count").SetValue(int32_t{4});
        t.grid.Focus(0, zcCount);
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::Up, true, true)));
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::Down, true, false, true)));
        EXPECT_FALSE(t.controller.Key(GridKey(TGridKeyCode::F3, true)));
        EXPECT_EQ(t.Field(0, "count").GetValue().ToInt64(), 4);
        EXPECT_EQ(t.Field(1, "count").GetValue().ToInt64(), 0);
    }
}

TEST(Zumo7ChannelGrids, LeftAndRightOnTheirPress)
{
    struct Case {
        const char* name;
        TZumo7ChannelKind kind;
        int row, column;
        bool right;
        int endRow, endColumn;
    };
    const TZumo7ChannelKind own = TZumo7ChannelKind::Own, dio = TZumo7ChannelKind::DIO;
    const Case cases[] = {
        {"own: Right passes the hidden description", own, 2, zcType, true, 2, zcHold},
        {"own: Left passes it too", own, 2, zcHold, false, 2, zcType},
        {"own: Right from the last shown column", own, 2, zcHold, true, 3, zcStart},
        {"own: Left from the first column", own, 2, zcStart, false, 1, zcHold},
        {"own: nothing before the first row", own, 0, zcStart, false, 0, zcStart},
        {"own: nothing after the last row", own, 15, zcHold, true, 15, zcHold},
        {"DIO: Right onto the description", dio, 2, zcType, true, 2, zcDescription},
        {"DIO: Right from the last column", dio, 2, zcHold, true, 3, zcStart},
        {"DIO: Left from the first column", dio, 2, zcStart, false, 1, zcHold},
        {"DIO: nothing after the last row", dio, 15, zcHold, true, 15, zcHold},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Zumo7Channels t(c.kind);
        t.grid.Focus(c.row, c.column);
        EXPECT_TRUE(t.controller.Key(GridKey(c.right ? TGridKeyCode::Right : TGridKeyCode::Left, true)));
        EXPECT_EQ(t.grid.row, c.endRow);
        EXPECT_EQ(t.grid.column, c.endColumn);
    }
}

} // namespace
