#include "configurator/rules/ScaleClipboard.h"
#include "configurator/rules/ScaleGridRules.h"
#include "model/uZumo2sin.h"
#include "platform/DecimalSeparator.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TestText.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using platform::MsgResult;
using testsupport::LogLine;
using K = TScaleTableKind;

const std::string kTit = "tit scales tab export:v1\r\n";
const std::string kDev = "dev scales tab export:v1\r\n";

// One document of a kind with its grid's spec and rows: the conversions, or the scale
// blocks of device 0.
struct Table {
    std::unique_ptr<TZumo2Doc> doc;
    TScaleTableKind kind;
    TGridSpec spec;
    std::vector<TGridRow> rows;

    Table(std::unique_ptr<TZumo2Doc> document, TScaleTableKind k, bool descriptions) : doc(std::move(document)), kind(k)
    {
        doc->ResetDefaults();
        TZumo2Doc* d = doc.get();
        if (kind == K::Conversions) {
            spec = ScaleGridSpec(descriptions);
            rows = RecordRows(d->ScaleCount(), [d](int i) { return d->ScaleByIndex(i); });
        } else {
            spec = DevScaleGridSpec(*d, descriptions);
            TDevice* device = d->DeviceByIndex(0);
            rows = RecordRows(device->ScaleBlockCount(), [device](int i) { return device->ScaleBlockByIndex(i); });
        }
    }
    TField& Field(int row, const char* key) { return *rows[static_cast<size_t>(row)].Record->Find<TField>(key); }
    void Set(int row, const char* key, Variant value) { Field(row, key).SetValue(value); }
    // A row's values by key order ("0001", "0002" and, for blocks, "0003") as texts.
    std::vector<std::string> Values(int row)
    {
        std::vector<std::string> out;
        for (const char* key : {"0001", "0002", "0003"})
            if (rows[static_cast<size_t>(row)].Record->Find<TField>(key)) out.push_back(Field(row, key).GetValue().ToString());
        return out;
    }
    int Copy(TMemoryClipboard& clipboard) { return CopyScaleTable(kind, spec, rows, clipboard); }
    bool Paste(const TMemoryClipboard& clipboard) { return PasteScaleTable(kind, spec, rows, *doc, clipboard); }
};

Table Conversions() { return Table(testsupport::NewZumo2Doc(), K::Conversions, false); }
Table SyncConversions() { return Table(MakeZumo2sinDoc(), K::Conversions, true); }
Table Blocks() { return Table(testsupport::NewZumo2Doc(), K::DeviceScales, false); }

std::string Repeat(const std::string& line, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) out += line;
    return out;
}

class ScaleClipboardTest : public ::testing::Test {
protected:
    testsupport::DialogScript dialogs;
    testsupport::ScopedLogRecorder log;
    TMemoryClipboard clipboard;

    void SetUp() override { platform::SetDecimalSeparatorForTesting('.'); }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(0); }

    // The questions asked so far, as "caption|text".
    std::vector<std::string> Questions()
    {
        std::vector<std::string> out;
        for (const platform::DialogRecord& r : dialogs->Records()) {
            EXPECT_EQ(r.box.icon, platform::MsgIcon::Question);
            EXPECT_EQ(r.box.buttons, platform::MsgButtons::YesNo);
            out.push_back(r.box.caption + "|" + r.box.text);
        }
        return out;
    }
};

TEST_F(ScaleClipboardTest, Export)
{
    struct Case {
        const char* name;
        std::function<Table()> make;
        std::function<void(Table&)> edit;
        std::string text;
        int lines;
    };
    const Case cases[] = {
        {"defaults", Conversions, [](Table&) {}, kTit + Repeat("1\t0\r\n", 50), 50},
        {"defaults with descriptions", SyncConversions, [](Table&) {}, kTit + Repeat("1\t0\t\r\n", 50), 50},
        {"a single and a description",
         SyncConversions,
         [](Table& t) {
             t.Set(0, "0001", 0.1);
             t.Set(0, "0002", -2.5);
             t.Set(0, "descr", "Ток фазы А");
         },
         kTit + "0.100000001490116\t-2.5\tТок фазы А\r\n" + Repeat("1\t0\t\r\n", 49), 50},
        {"blocks with a conversion only",
         Blocks,
         [](Table& t) {
             t.Set(0, "0001", 2);
             t.Set(0, "0002", 3);
             t.Set(0, "0003", 5);
             t.Set(3, "0001", 70000);
             t.Set(3, "0003", 50);
             t.doc->ScaleByIndex(49)->Find<TField>("0002")->SetValue(-1.5);
         },
         kDev + "2\t3\t5\tX*1.0000 \r\n70000\t0\t50\tX*1.0000 -1.5000 \r\n", 2},
    };
    for (const Case& c : cases) {
        Table table = c.make();
        c.edit(table);
        log.Clear();
        EXPECT_EQ(table.Copy(clipboard), c.lines) << c.name;
        EXPECT_EQ(clipboard.Content, c.text) << c.name;
        EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Успешно выполнен экспорт. Строк " + std::to_string(c.lines), lkNormal}}))
            << c.name;
    }

    // The user's separator.
    platform::SetDecimalSeparatorForTesting(',');
    Table table = Conversions();
    table.Set(1, "0001", 0.1);
    table.Copy(clipboard);
    const std::string start = kTit + "1\t0\r\n0,100000001490116\t0\r\n";
    EXPECT_EQ(clipboard.Content->substr(0, start.size()), start);

    // No data line: the clipboard is left alone and nothing is logged.
    Table blocks = Blocks();
    clipboard.Content = "before";
    log.Clear();
    EXPECT_EQ(blocks.Copy(clipboard), 0);
    EXPECT_EQ(clipboard.Content, "before");
    EXPECT_TRUE(log.Lines().empty());
}

TEST(ScaleClipboardLines, Breaks)
{
    EXPECT_EQ(ClipboardLines(""), std::vector<std::string>{});
    EXPECT_EQ(ClipboardLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ClipboardLines("a\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ClipboardLines("a\rb\r"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ClipboardLines("a\r\n\r\nb\n\n"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(ClipboardLines("\r\n"), (std::vector<std::string>{""}));
}

// An import of a table: what it raised, asked and logged, and what the rows hold.
struct ImportCase {
    const char* name;
    std::function<Table()> make;
    std::optional<std::string> text; // none: the clipboard holds no text
    std::vector<MsgResult> answers = {}; // to the questions, in turn
    std::string error = {};              // the error's end ("" none)
    std::vector<std::string> questions = {};
    std::map<int, std::vector<std::string>> rows = {}; // rows and their values; none: the image as it was
    std::string log = {};                              // "" none
};

TEST_F(ScaleClipboardTest, Import)
{
    const std::string question3 = "Ошибка|Ошибка разбора строки; Строка 3\rПродолжить ?";
    const std::string fillError = "\r\nОшибка заполнения значений; Строка 2";
    const ImportCase cases[] = {
        {"not text", Conversions, std::nullopt, {}, "Не текстовый формат"},
        {"empty text", Conversions, "", {}, "Формат не поддерживается; Строка 1"},
        {"another table's header", Conversions, kDev + "1\t0\r\n", {}, "Формат не поддерживается; Строка 1"},
        {"more lines than rows", Conversions, kTit + Repeat("1\t0\r\n", 51), {}, "Превышение кол. строк импорта"},
        {"blank lines do not count as rows",
         Conversions,
         kTit + Repeat("2\t0\r\n\r\n", 50),
         {},
         "",
         {},
         {{0, {"2", "0"}}, {49, {"2", "0"}}},
         "Импорт окончен. Обработано строк 100"},
        {"a bad line skipped",
         Conversions,
         kTit + "2\t1\r\n3\t1\r\n5\r\n7\t1\r\n",
         {MsgResult::Yes},
         "",
         {question3},
         {{0, {"2", "1"}}, {1, {"3", "1"}}, {2, {"7", "1"}}, {3, {"1", "0"}}, {4, {"1", "0"}}},
         "Импорт окончен. Обработано строк 4"},
        {"a bad line ends it", Conversions, kTit + "2\t1\r\n3\t1\r\n5\r\n7\t1\r\n", {MsgResult::No}, "", {question3}},
        {"a value refused", Conversions, kTit + "2\t1\r\nabc\t1\r\n", {}, fillError},
        {"a decimal comma under a decimal point", Conversions, kTit + "2\t1\r\n1,5\t1\r\n", {}, fillError},
        {"more parts than fields", SyncConversions, kTit + "2\t1\t\r\n2\t1\ta\tb\r\n", {MsgResult::No}, "",
         {"Ошибка|Ошибка разбора строки; Строка 2\rПродолжить ?"}},
        {"an empty middle line keeps the rows",
         Conversions,
         kTit + "2\t0\r\n\r\n3\t0\r\n",
         {},
         "",
         {},
         {{0, {"2", "0"}}, {1, {"3", "0"}}, {2, {"1", "0"}}},
         "Импорт окончен. Обработано строк 3"},
        {"line feeds alone", Conversions, "tit scales tab export:v1\n2\t0.5\n3\t0\n", {}, "", {},
         {{0, {"2", "0.5"}}, {1, {"3", "0"}}}, "Импорт окончен. Обработано строк 2"},
        {"carriage returns alone", Conversions, "tit scales tab export:v1 \r2\t0.5\r\r3\t0", {}, "", {},
         {{0, {"2", "0.5"}}, {1, {"3", "0"}}}, "Импорт окончен. Обработано строк 3"},
        {"three parts of a block",
         Blocks,
         kDev + "10\t2\t5\r\n20\t3\t6\tX*1.0000 \r\n",
         {},
         "",
         {},
         {{0, {"10", "2", "5"}}, {1, {"20", "3", "6"}}, {2, {"0", "0", "0"}}},
         "Импорт окончен. Обработано строк 2"},
        {"five parts of a block", Blocks, kDev + "10\t2\t5\r\n20\t3\t6\tX\ty\r\n", {MsgResult::No}, "",
         {"Ошибка|Ошибка разбора строки; Строка 2\rПродолжить ?"}},
        {"two parts of a block", Blocks, kDev + "10\t2\r\n", {MsgResult::No}, "",
         {"Ошибка|Ошибка разбора строки; Строка 1\rПродолжить ?"}},
        {"a number beyond the count", Blocks, kDev + "10\t2\t5\r\n20\t70000\t6\r\n", {}, fillError},
    };
    for (const ImportCase& c : cases) {
        Table table = c.make();
        // Something to reset and to put back.
        table.Set(1, "0001", 9);
        table.Set(1, "0002", 8);
        if (table.rows[1].Record->Find<TField>("descr")) table.Set(1, "descr", "Было");
        const auto before = testsupport::AddressMap(*table.doc);
        dialogs.Reset();
        for (MsgResult answer : c.answers) dialogs->PushAnswer(answer);
        log.Clear();
        clipboard.Content = c.text;
        bool completed = false;
        const std::string error = testsupport::ErrorOf([&] { completed = table.Paste(clipboard); });
        if (c.error.empty()) {
            EXPECT_EQ(error, "(no error)") << c.name;
        } else {
            EXPECT_TRUE(error.size() >= c.error.size() && error.compare(error.size() - c.error.size(), c.error.size(), c.error) == 0)
                << c.name << ": " << error;
        }
        EXPECT_EQ(Questions(), c.questions) << c.name;
        EXPECT_EQ(completed, !c.rows.empty()) << c.name;
        if (c.rows.empty()) {
            EXPECT_TRUE(testsupport::AddressMap(*table.doc) == before) << c.name << ": the image changed";
            EXPECT_EQ(table.Values(1), table.kind == K::Conversions ? (std::vector<std::string>{"9", "8"})
                                                                    : (std::vector<std::string>{"9", "8", "0"}))
                << c.name;
        }
        for (const auto& [row, values] : c.rows) EXPECT_EQ(table.Values(row), values) << c.name << " row " << row;
        if (c.log.empty())
            EXPECT_TRUE(log.Lines().empty()) << c.name;
        else
            EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{c.log, lkNormal}})) << c.name;
    }

    // Under a decimal comma both separators are read.
    platform::SetDecimalSeparatorForTesting(',');
    Table table = Conversions();
    clipboard.Content = kTit + "1,5\t0.25\r\n";
    EXPECT_TRUE(table.Paste(clipboard));
    EXPECT_EQ(table.Field(0, "0001").GetValue().ToSingle(), 1.5f);
    EXPECT_EQ(table.Field(0, "0002").GetValue().ToSingle(), 0.25f);
}

TEST_F(ScaleClipboardTest, RoundTrips)
{
    // Conversions with descriptions, empty ones among them, the longest 128 Cyrillic
    // letters: every byte of the image comes back.
    Table table = SyncConversions();
    std::string longest;
    for (int i = 0; i < 128; ++i) longest += i % 2 ? "Ж" : "я";
    table.Set(0, "0001", 0.1);
    table.Set(0, "0002", -1234.5678);
    table.Set(0, "descr", longest);
    table.Set(1, "0001", 1.23456E-7);
    table.Set(2, "descr", "Давление, кПа");
    table.Set(3, "0002", 3e12);
    ASSERT_EQ(table.Field(0, "descr").GetValue().ToString(), longest);
    const auto before = testsupport::AddressMap(*table.doc);
    table.Copy(clipboard);
    for (const char* key : {"0001", "0002", "descr"}) table.Set(0, key, key[0] == 'd' ? Variant("x") : Variant(5));
    ASSERT_TRUE(table.Paste(clipboard));
    EXPECT_TRUE(testsupport::AddressMap(*table.doc) == before);
    // Empty descriptions stay empty, not "0".
    EXPECT_EQ(table.Field(1, "descr").GetValue().ToString(), "");
    EXPECT_EQ(table.Field(0, "descr").GetValue().ToString(), longest);

    // Blocks without a conversion are left out: the others move up, the last rows go
    // to their defaults.
    Table blocks = Blocks();
    blocks.Set(0, "0001", 2);
    blocks.Set(0, "0003", 5);
    blocks.Set(1, "0001", 4); // no conversion
    blocks.Set(2, "0001", 7);
    blocks.Set(2, "0002", 8);
    blocks.Set(2, "0003", 1);
    EXPECT_EQ(blocks.Copy(clipboard), 2);
    ASSERT_TRUE(blocks.Paste(clipboard));
    EXPECT_EQ(blocks.Values(0), (std::vector<std::string>{"2", "0", "5"}));
    EXPECT_EQ(blocks.Values(1), (std::vector<std::string>{"7", "8", "1"}));
    EXPECT_EQ(blocks.Values(2), (std::vector<std::string>{"0", "0", "0"}));
}

} // namespace
