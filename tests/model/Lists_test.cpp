#include "model/uDocument.h"
#include "platform/Exceptions.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <span>
#include <sstream>
#include <stdexcept>
#include <vector>

using testsupport::LogLine;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::ErrorOf;
using testsupport::MessageOf;

namespace {

// What reached the spy nodes, in order.
struct Journal {
    std::vector<std::string> lines;
    bool reloadThrows = false;
    void Note(std::string s) { lines.push_back(std::move(s)); }
    void Changed(TField* sender);
    TNotifyEvent OnChange() { return TNotifyEvent::Of<&Journal::Changed>(this); }
};

// A byte field that notes its reloads, its changes and its end under its label.
class TSpyField : public TField {
public:
    ~TSpyField() override { journal_.Note("free " + label_); }
    const char* ClassName() const override { return "TSpyField"; }
    void Reload() override
    {
        journal_.Note("reload " + label_);
        if (journal_.reloadThrows) throw platform::Exception("reload failed");
    }
    const std::string& Label() const { return label_; }

protected:
    TSpyField(TMemoryBlock* block, int32_t offset, Journal& journal, std::string label, int32_t defaultValue,
              uint16_t type = ftByte)
        : TField(block, offset, type, Variant(defaultValue), true), journal_(journal), label_(std::move(label))
    {
    }

private:
    Journal& journal_;
    std::string label_;
};

void Journal::Changed(TField* sender)
{
    auto* spy = dynamic_cast<TSpyField*>(sender);
    Note("change " + (spy ? spy->Label() : std::string("?")));
}

// A record whose layout and unused-field rule come from the test; it notes its marks.
class TSpyRecord : public TFieldLst {
public:
    using LayoutFn = std::function<void(TSpyRecord&, TLayout&)>;
    using MarkFn = std::function<void(TSpyRecord&)>;

    const char* ClassName() const override { return "TSpyRecord"; }
    void Build() override
    {
        TLayout layout(*this);
        if (layoutFn_) layoutFn_(*this, layout);
        layout.Finish();
    }
    void MarkUnusedFields() override
    {
        journal.Note("mark " + Name);
        if (markFn_) markFn_(*this);
    }

    Journal& journal;

protected:
    TSpyRecord(TMemoryBlock* block, int32_t offset, Journal& j, LayoutFn layout, MarkFn mark = {},
               bool layoutOrder = false)
        : TFieldLst(block, offset), journal(j), layoutFn_(std::move(layout)), markFn_(std::move(mark))
    {
        LayoutOrder = layoutOrder;
    }

private:
    LayoutFn layoutFn_;
    MarkFn markFn_;
};

// A document with two blocks whose load steps are noted and may fail on request.
class TSpyDoc : public TDocument {
public:
    using LayoutFn = std::function<void(TSpyDoc&)>;

    Journal& journal;
    bool importResult = true;
    bool importThrows = false;
    bool validateThrows = false;
    std::string imported;
    TMemoryBlock* header = nullptr;
    TMemoryBlock* table = nullptr;

    void Build() override
    {
        header = Image.AddBlock(0x0000, 32);
        table = Image.AddBlock(0x0200, 16);
        if (layoutFn_) layoutFn_(*this);
    }
    void Validate() override
    {
        journal.Note("validate");
        if (validateThrows) throw platform::Exception("invalid");
    }
    bool ImportImage(std::istream& stream) override
    {
        journal.Note("import");
        imported.assign(std::istreambuf_iterator<char>(stream), {});
        if (importThrows) throw platform::Exception("import failed");
        return importResult;
    }
    void ValidateFieldChange(const void*, TField*, const Variant& value, TFieldLst*, bool& accept) override
    {
        if (value.Equals(int32_t{13})) accept = false;
    }
    std::vector<std::string> GetPortNames() const override { return {"COM"}; }
    void SaveToFile(const std::filesystem::path&) override {}

protected:
    TSpyDoc(Journal& j, LayoutFn layout) : journal(j), layoutFn_(std::move(layout))
    {
        ModelName = "Zumo";
        ExpectedSchemeId = "Scheme ID:8.0.0.0";
    }

private:
    LayoutFn layoutFn_;
};

// A list of spy fields under the given keys, in key order or layout order.
std::unique_ptr<TSpyRecord> KeyList(Journal& journal, TMemoryBlock& block, const std::vector<std::string>& keys,
                                    bool layoutOrder)
{
    return MakeList<TSpyRecord>(
        "keys", &block, 0, journal,
        [&journal, keys](TSpyRecord& r, TLayout& l) {
            for (const auto& k : keys) l.Add(k, Make<TSpyField>(r.Block, l.Offset(), journal, k, 0));
        },
        TSpyRecord::MarkFn{}, layoutOrder);
}

std::vector<std::string> Keys(const TFieldLst& list)
{
    std::vector<std::string> keys;
    for (int i = 0; i < list.FieldCount(); ++i) keys.push_back(list.FieldName(i));
    return keys;
}

} // namespace

TEST(Lists, KeysSortAndAreFoundTheSameEverywhere)
{
    struct Row {
        std::vector<std::string> added;
        std::vector<std::string> order;
        std::vector<std::pair<std::string, std::string>> finds; // asked, found ("" none)
        bool layoutOrder = false;
    };
    const Row rows[] = {
        {{"addr2", "0002", "Addr", "0001"}, {"0001", "0002", "Addr", "addr2"}, {{"ADDR", "Addr"}, {"addr", "Addr"}, {"add", ""}}},
        {{"noname_2", "noname_10", "noname_1", "noname_0_1"}, {"noname_0_1", "noname_1", "noname_10", "noname_2"}, {}},
        {{"2601", "26_01"}, {"26_01", "2601"}, {}},
        {{"TS_DPI_buf_size", "time_offset"}, {"time_offset", "TS_DPI_buf_size"}, {{"ts_dpi_BUF_SIZE", "TS_DPI_buf_size"}}},
        {{"Устройство_01", "Преобразование_01", "UART0", "Логический_канал_01", "Апертура_01"},
         {"UART0", "Апертура_01", "Логический_канал_01", "Преобразование_01", "Устройство_01"},
         {{"устройство_01", "Устройство_01"}, {"УСТРОЙСТВО_01", "Устройство_01"}, {"Устройство_1", ""}}},
        {{"Ж", "ё", "е", "Я", "z", " x", "№"}, {" x", "z", "е", "ё", "Ж", "Я", "№"}, {{"Ё", "ё"}, {"Е", "е"}}},
        {{"zeta", "Alpha", "mid"}, {"zeta", "Alpha", "mid"}, {{"ALPHA", "Alpha"}, {"Mid", "mid"}, {"beta", ""}}, true},
    };
    for (const Row& r : rows) {
        Journal journal;
        TMemoryBlock block(0, 64);
        auto list = KeyList(journal, block, r.added, r.layoutOrder);
        const std::string label = ::testing::PrintToString(r.added);
        EXPECT_EQ(Keys(*list), r.order) << label;
        for (int i = 0; i < list->FieldCount(); ++i)
            EXPECT_EQ(static_cast<TSpyField*>(list->FieldByIndex(i))->Label(), r.order[static_cast<size_t>(i)]);
        EXPECT_EQ(list->FieldByIndex(list->FieldCount()), nullptr);
        EXPECT_EQ(list->FieldByIndex(-1), nullptr);
        for (const auto& [asked, found] : r.finds) {
            auto* node = list->Find<TSpyField>(asked);
            EXPECT_EQ(node ? node->Label() : "", found) << asked;
        }
    }

    // Equal keys are one key; the order is total and consistent.
    EXPECT_EQ(CompareKeys("Устройство", "УСТРОЙСТВО"), 0);
    EXPECT_LT(CompareKeys("Еж", "Ёж"), 0);
    EXPECT_GT(CompareKeys("Ёа", "Ея"), 0) << "ё is a letter of its own, after е";
    EXPECT_LT(CompareKeys("Ёя", "Жа"), 0) << "and before ж";
    EXPECT_LT(CompareKeys("a", "a_"), 0);
    EXPECT_GT(CompareKeys("a0", "a_"), 0);

    // Keys sharing a long start, with the difference in a letter's case, inside a
    // Cyrillic letter's bytes or at its first byte.
    EXPECT_EQ(CompareKeys("Apperture_channel_19", "APPERTURE_CHANNEL_19"), 0);
    EXPECT_LT(CompareKeys("Apperture_channel_18", "APPERTURE_CHANNEL_19"), 0);
    EXPECT_EQ(CompareKeys("де", "дЕ"), 0);
    EXPECT_EQ(CompareKeys("Устройство_е", "УСТРОЙСТВО_Е"), 0);
    EXPECT_LT(CompareKeys("Устройство_д", "Устройство_е"), 0);
    EXPECT_LT(CompareKeys("Устройство_ё", "Устройство_ж"), 0);
    EXPECT_GT(CompareKeys("Устройство_ё", "Устройство_е"), 0);
    EXPECT_LT(CompareKeys("Устройство_10", "Устройство_9"), 0);
    EXPECT_LT(CompareKeys("Устройство_1", "Устройство_10"), 0);
}

TEST(Lists, DuplicateKeysKeepTheFirstAndFreeTheSecond)
{
    Journal journal;
    TMemoryBlock block(0, 16);
    std::unique_ptr<TSpyRecord> list = MakeList<TSpyRecord>("r", &block, 0, journal, [&journal](TSpyRecord& r, TLayout& l) {
        l.Add("a", Make<TSpyField>(r.Block, l.Offset(), journal, "first", 0, ftWord));
        EXPECT_EQ(l.Add("A", Make<TSpyField>(r.Block, l.Offset(), journal, "second", 0, ftLongWord)), nullptr);
        l.Add("b", Make<TSpyField>(r.Block, l.Offset(), journal, "b", 0));
    });
    EXPECT_EQ(journal.lines, std::vector<std::string>{"free second"});
    EXPECT_EQ(list->FieldCount(), 2);
    EXPECT_EQ(list->Size, 2 + 4 + 1) << "the rejected field's size still advances the layout";
    EXPECT_EQ(list->Find<TSpyField>("a")->Label(), "first");
    EXPECT_EQ(list->FindField("b")->Offset, 6);
    EXPECT_EQ(list->FindField("a")->Parent, list.get());

    journal.lines.clear();
    auto extra = Make<TSpyField>(&block, 0, journal, "extra", 0, ftWord);
    EXPECT_EQ(list->AddField("B", std::move(extra)), 2);
    list->ReplaceField("A", Make<TSpyField>(&block, 0, journal, "replacement", 0));
    list->RemoveField("missing");
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"free extra", "free first"}));
    EXPECT_EQ(list->Find<TSpyField>("a")->Label(), "replacement");
    EXPECT_EQ(list->FieldName(0), "A");
    EXPECT_EQ(ErrorOf([&] { list->FieldName(2); }), "List index out of bounds (2)");

    journal.lines.clear();
    list.reset();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"free b", "free replacement"})) << "last to first";
}

TEST(Lists, LayoutPlacesFieldsWithARunningOffset)
{
    Journal journal;
    TMemoryBlock block(0x100, 32);
    auto rec = MakeList<TSpyRecord>("rec", &block, 4, journal, [&journal](TSpyRecord&, TLayout& l) {
        l.Field("001", ftWord, int32_t{1}, true);
        l.Bits(ftWord, {{"flag", 0, 1, 0, true}, {"mode", 1, 3, 5, false}, {"high", 12, 4, 0, true}});
        l.Text("name", 5, "ab", true);
        l.Skip(3);
        l.List<TSpyRecord>("inner", "Внутренний", journal, [](TSpyRecord&, TLayout& in) {
            in.Field("x", ftLongWord, int32_t{7}, true);
        });
        l.Field("tail", ftByte, int32_t{0}, false);
    });
    struct Expect {
        const char* key;
        int32_t offset;
        int32_t size;
    };
    for (const Expect& e : {Expect{"001", 0, 2}, Expect{"flag", 2, 2}, Expect{"mode", 2, 2}, Expect{"high", 2, 2},
                            Expect{"name", 4, 5}, Expect{"inner", 12, 4}, Expect{"tail", 16, 1}}) {
        TObjNode* n = rec->FindField(e.key);
        ASSERT_NE(n, nullptr) << e.key;
        EXPECT_EQ(n->Offset, e.offset) << e.key;
        EXPECT_EQ(n->Size, e.size) << e.key;
        EXPECT_EQ(n->Block, &block) << e.key;
    }
    EXPECT_EQ(rec->Size, 17);
    auto* inner = rec->Find<TSpyRecord>("inner");
    EXPECT_EQ(inner->Name, "Внутренний");
    EXPECT_EQ(rec->Find<TBitFleld>("mode")->MaxValue, 7);
    EXPECT_FALSE(rec->Find<TBitFleld>("mode")->CheckDefault);

    // Values land at the parents' offsets added up.
    TField* x = inner->Find<TField>("x");
    EXPECT_EQ(x->NodeOffset(), 4 + 12);
    rec->ResetDefaults();
    const uint8_t* d = block.Data();
    EXPECT_EQ(d[4], 1);
    EXPECT_EQ(d[6], 5 << 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 8), 2), "ab");
    EXPECT_EQ(d[16], 7);
    EXPECT_TRUE(rec->IsModified());
    rec->SetModified(false);
    EXPECT_FALSE(x->Modified);
    x->SetValue(int32_t{8});
    EXPECT_TRUE(rec->IsModified()) << "a modified field two levels down";
}

TEST(Lists, LayoutTablesPlaceRowsAtTheirOffsets)
{
    static const TLayoutRow head[] = {
        {"001", 0, ftWord, 1, true},
        {"flag", 2, ftByte, 1, false, {0, 1}},
        {.Key = "f%d", .Offset = 2, .Type = ftByte, .Bits = {2, 2}, .First = 1, .Count = 4}, // bits 2..9
        {.Key = "name", .Offset = 6, .Type = ftString, .CheckDefault = true, .Length = 3, .Text = "яz"},
        {.Key = "lim", .Offset = 10, .Type = ftSmallint, .Default = -1, .MinValue = -1, .MaxValue = 9},
        {"k", 12, ftSingle, 2},
        {.Key = "w%.2d", .Offset = 16, .Type = ftWord, .First = 7, .Count = 2},
        {"open", 20, ftWord, 0, false, {0, 1}},
    };
    // A second table may go on in the container the first one left open.
    static const TLayoutRow tail[] = {
        {"more", 20, ftWord, 0, false, {15, 1}},
    };
    Journal journal;
    TMemoryBlock block(0, 32);
    auto rec = MakeList<TSpyRecord>("rec", &block, 2, journal, [](TSpyRecord&, TLayout& l) {
        l.Rows(head);
        l.Rows(tail);
    });
    struct Expect {
        const char* key;
        int32_t offset;
        int32_t size;
        int position; // -1: a whole field
        int bits;
    };
    for (const Expect& e : {Expect{"001", 0, 2, -1, 0}, Expect{"flag", 2, 1, 0, 1}, Expect{"f1", 2, 1, 2, 2},
                            Expect{"f3", 2, 1, 6, 2}, Expect{"f4", 3, 1, 0, 2},
                            Expect{"name", 6, 3, -1, 0}, Expect{"lim", 10, 2, -1, 0}, Expect{"k", 12, 4, -1, 0},
                            Expect{"w07", 16, 2, -1, 0}, Expect{"w08", 18, 2, -1, 0}, Expect{"open", 20, 2, 0, 1},
                            Expect{"more", 20, 2, 15, 1}}) {
        auto* f = rec->Find<TField>(e.key);
        ASSERT_NE(f, nullptr) << e.key;
        EXPECT_EQ(f->Offset, e.offset) << e.key;
        EXPECT_EQ(f->Size, e.size) << e.key;
        auto* bit = dynamic_cast<TBitFleld*>(f);
        EXPECT_EQ(bit ? bit->Position : -1, e.position) << e.key;
        EXPECT_EQ(bit ? bit->BitCount : 0, e.bits) << e.key;
    }
    EXPECT_EQ(rec->FieldCount(), 13);
    EXPECT_EQ(rec->Size, 22);
    EXPECT_EQ(rec->Find<TField>("lim")->MinValue, -1);
    EXPECT_EQ(rec->Find<TField>("lim")->MaxValue, 9);
    EXPECT_EQ(rec->Find<TField>("w07")->MaxValue, 65535) << "no limits: the type's range";
    EXPECT_TRUE(rec->Find<TField>("name")->CheckDefault);
    EXPECT_FALSE(rec->Find<TField>("lim")->CheckDefault);

    rec->ResetDefaults();
    const uint8_t* d = block.Data() + 2;
    EXPECT_EQ(d[0], 1);
    EXPECT_EQ(d[2], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + 6), 3), std::string("\xFFz\0", 3));
    EXPECT_EQ(d[10], 0xFF);
    EXPECT_EQ(d[11], 0xFF);
    float k = 0;
    std::memcpy(&k, d + 12, sizeof k);
    EXPECT_EQ(k, 2.0f);
}

TEST(Lists, LayoutTablesRefuseOverlapsAndTakenKeys)
{
    static const TLayoutRow overlapping[] = {
        {"a", 0, ftWord},
        {"b", 1, ftByte},
    };
    // A bit field may not go back into a container once something lies behind it.
    static const TLayoutRow reopened[] = {
        {"x", 0, ftByte, 0, false, {0, 1}},
        {"y", 1, ftByte},
        {"z", 0, ftByte, 0, false, {1, 1}},
    };
    static const TLayoutRow spilling[] = {
        {"c", 0, ftByte, 0, false, {7, 2}},
    };
    static const TLayoutRow twice[] = {
        {"a", 0, ftByte, 1},
        {"A", 1, ftByte, 2},
    };
    Journal journal;
    TMemoryBlock block(0, 8);
    const auto make = [&](std::span<const TLayoutRow> rows) {
        return MakeList<TSpyRecord>("rec", &block, 0, journal, [rows](TSpyRecord&, TLayout& l) { l.Rows(rows); });
    };
    EXPECT_EQ(MessageOf<std::logic_error>([&] { make(overlapping); }),
              "layout row \"b\" at 1 overlaps what lies before 2");
    EXPECT_EQ(MessageOf<std::logic_error>([&] { make(reopened); }),
              "layout row \"z\" at 0 overlaps what lies before 2");
    EXPECT_EQ(MessageOf<std::logic_error>([&] { make(spilling); }), "layout row \"c\" does not fit its container");

    auto rec = make(twice);
    EXPECT_EQ(rec->FieldCount(), 1);
    EXPECT_EQ(rec->RefusedKeys(), std::vector<std::string>{"A"});
    EXPECT_EQ(rec->Find<TField>("a")->DefaultValue.ToInt32(), 1);
    EXPECT_EQ(rec->Size, 2) << "the refused row still takes its bytes";
}

namespace {

// Doc "Zumo": record "R1" (fields "b", "a", "hidden"; its rule unchecks "hidden"),
// record "R2" with field "z" and a nested record "deep" with field "y", and a field
// "top" directly under the document. Every field's default is 1; values start at 0.
std::unique_ptr<TSpyDoc> MakeSpyDoc(Journal& journal)
{
    return MakeDocument<TSpyDoc>(journal, [&journal](TSpyDoc& doc) {
        doc.AddField("R1", MakeList<TSpyRecord>(
                               "R1", doc.header, 0, journal,
                               [&journal](TSpyRecord& r, TLayout& l) {
                                   for (const char* k : {"b", "a", "hidden"})
                                       l.Add(k, Make<TSpyField>(r.Block, l.Offset(), journal, k, 1));
                               },
                               [](TSpyRecord& r) { r.Find<TField>("hidden")->CheckDefault = false; }));
        doc.AddField("top", Make<TSpyField>(doc.table, 0, journal, "top", 1));
        doc.AddField("R2", MakeList<TSpyRecord>("R2", doc.table, 4, journal, [&journal](TSpyRecord& r, TLayout& l) {
            l.Add("z", Make<TSpyField>(r.Block, l.Offset(), journal, "z", 1));
            l.List<TSpyRecord>("deep", "deep", journal, [&journal](TSpyRecord& d, TLayout& dl) {
                dl.Add("y", Make<TSpyField>(d.Block, dl.Offset(), journal, "y", 1));
            });
        }));
    });
}

} // namespace

TEST(Lists, LayoutOfADocumentUsesBlocksOfItsImage)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    EXPECT_EQ(doc->Name, "Zumo");
    EXPECT_EQ(doc->GetCaption(), "Zumo");
    EXPECT_EQ(doc->Image.BlockCount(), 2);
    EXPECT_EQ(Keys(*doc), (std::vector<std::string>{"R1", "R2", "top"}));
    doc->Find<TFieldLst>("R2")->Find<TFieldLst>("deep")->Find<TField>("y")->SetValue(int32_t{9});
    EXPECT_EQ(doc->table->Data()[4 + 1], 9);
}

TEST(Lists, ReloadAllReachesDirectChildrenOnly)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    journal.lines.clear();
    doc->ReloadAll();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"mark R1", "mark R2", "reload top"}));

    journal.lines.clear();
    doc->Find<TFieldLst>("R2")->ReloadAll();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"mark deep", "reload z"}));
}

TEST(Lists, ResetDefaultsChangesWhatDiffersThenReloads)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    auto* r2 = doc->Find<TFieldLst>("R2");
    auto* z = r2->Find<TField>("z");
    auto* y = r2->Find<TFieldLst>("deep")->Find<TField>("y");
    z->SetValue(int32_t{1}); // already at its default
    y->SetValue(int32_t{5});
    z->OnChange = journal.OnChange();
    y->OnChange = journal.OnChange();
    journal.lines.clear();

    r2->ResetDefaults();
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"change y", "reload y", "mark deep", "reload z"}));
    EXPECT_EQ(y->GetValue().ToInt32(), 1);
}

TEST(Lists, DefaultCheckFollowsKeysPathsAndRememberedAnswers)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    ScriptedPrompt prompt{mrNo, mrYesToAll};
    ScopedLogRecorder log;
    TDefaultCheckRun run{0, &prompt};
    journal.lines.clear();
    doc->CheckDefaults("Zumo", run);

    auto finding = [](const char* path) {
        return "Параметр \"" + std::string(path) + "\" имеет значение 0 отличное от значения по умолчанию 1.";
    };
    const std::string question = "\rИспользовать значение по умолчанию?";
    EXPECT_EQ(prompt.Questions(), (std::vector<std::string>{finding("Zumo.R1.a") + question, finding("Zumo.R1.b") + question}));
    const std::string reset = " Присвоено значение по умолчанию.";
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{
                               {finding("Zumo.R1.a"), lkHighlight},
                               {finding("Zumo.R1.b") + reset, lkHighlight},
                               {finding("Zumo.R2.deep.y") + reset, lkHighlight},
                               {finding("Zumo.R2.z") + reset, lkHighlight},
                               {finding("Zumo.top") + reset, lkHighlight},
                           }));
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"mark R1", "mark R2", "mark deep"}));
    EXPECT_EQ(doc->Find<TFieldLst>("R1")->Find<TField>("hidden")->GetValue().ToInt32(), 0);
    EXPECT_EQ(doc->Find<TFieldLst>("R1")->Find<TField>("a")->GetValue().ToInt32(), 0);
    EXPECT_EQ(doc->Find<TField>("top")->GetValue().ToInt32(), 1);
}

TEST(Lists, LoadCycleRunsItsStepsAndReloadsAfterFailures)
{
    // One field differs from its default ("top"); the prompt answers No.
    const std::vector<std::string> reload = {"mark R1", "mark R2", "reload top"};
    const std::vector<std::string> check = {"mark R1", "mark R2", "mark deep"};
    struct Row {
        const char* name;
        bool importResult, importThrows, validateThrows, reloadThrows;
        std::vector<std::vector<std::string>> steps;
        const char* error;
        size_t questions;
    };
    const Row rows[] = {
        {"nothing imported", false, false, false, false, {{"import"}}, "(no error)", 0},
        {"imported", true, false, false, false, {{"import", "validate"}, check, reload}, "(no error)", 5},
        {"invalid", true, false, true, false, {{"import", "validate"}, reload}, "invalid", 0},
        {"invalid, reload fails too", true, false, true, true, {{"import", "validate"}, reload}, "invalid", 0},
        {"import fails", true, true, false, false, {{"import"}, reload}, "import failed", 0},
    };
    for (const Row& r : rows) {
        Journal journal;
        auto doc = MakeSpyDoc(journal);
        ScriptedPrompt prompt;
        for (size_t i = 0; i < r.questions; ++i) prompt.Push(mrNo);
        ScopedLogRecorder log;
        doc->Prompt = &prompt;
        doc->importResult = r.importResult;
        doc->importThrows = r.importThrows;
        doc->validateThrows = r.validateThrows;
        journal.reloadThrows = r.reloadThrows;
        journal.lines.clear();

        std::istringstream stream("bytes");
        EXPECT_EQ(ErrorOf([&] { doc->LoadFromStream(stream); }), r.error) << r.name;
        std::vector<std::string> expected;
        for (const auto& s : r.steps) expected.insert(expected.end(), s.begin(), s.end());
        EXPECT_EQ(journal.lines, expected) << r.name;
        EXPECT_EQ(prompt.Questions().size(), r.questions) << r.name;
        if (r.questions) {
            EXPECT_EQ(prompt.Questions()[0].rfind("Параметр \"Zumo.R1.a\"", 0), 0u) << r.name;
        }
        EXPECT_EQ(doc->imported, "bytes") << r.name;
    }
}

TEST(Lists, DocumentWithoutPromptOnlyReports)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    ScopedLogRecorder log;
    doc->AfterLoad();
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], (LogLine{"Параметр \"Zumo.R1.a\" имеет значение 0 отличное от значения по умолчанию 1.",
                                 lkHighlight}));
    EXPECT_EQ(doc->Find<TField>("top")->GetValue().ToInt32(), 0);
    EXPECT_FALSE(doc->IsModified());
}

TEST(Lists, LoadFromFileReadsFromTheStartOrNamesTheMissingFile)
{
    testsupport::TempDir dir;
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    doc->importResult = false;
    testsupport::WriteFile(dir / "params.hex", ":00000001FF\r\n");
    doc->LoadFromFile(dir / "params.hex");
    EXPECT_EQ(doc->imported, ":00000001FF\r\n");

    const auto missing = dir / "missing.hex";
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(missing); }),
              "Cannot open file \"" + missing.string() + "\". " + platform::SysErrorMessage(ENOENT));
}

TEST(Lists, DocumentVetoesThroughTheValidateEvent)
{
    Journal journal;
    auto doc = MakeSpyDoc(journal);
    auto* top = doc->Find<TField>("top");
    top->OnValidate = doc->ValidateFieldChangeEvent();
    top->SetValue(int32_t{13});
    EXPECT_EQ(top->GetValue().ToInt32(), 0);
    top->SetValue(int32_t{12});
    EXPECT_EQ(top->GetValue().ToInt32(), 12);
}

TEST(Lists, SharedTablesPairNamesWithDistinctCodes)
{
    EXPECT_STREQ(ProtocolNames[0], "Нет");
    EXPECT_EQ(ProtocolCodes[0], 255);
    EXPECT_STREQ(ProtocolNames[28], "Siemens Symap");
    EXPECT_EQ(ProtocolCodes[28], 35);
    std::set<int> codes(ProtocolCodes, ProtocolCodes + ProtocolCount);
    EXPECT_EQ(codes.size(), static_cast<size_t>(ProtocolCount));
    for (int unused : {10, 13, 14, 20, 22, 27, 28}) EXPECT_EQ(codes.count(unused), 0u) << unused;
    for (int c = 1; c <= 35; ++c) {
        if (!std::set<int>{10, 13, 14, 20, 22, 27, 28}.count(c)) {
            EXPECT_EQ(codes.count(c), 1u) << c;
        }
    }

    EXPECT_STREQ(ChannelTypeNames[7], "Телерегулирование");
    EXPECT_EQ(std::vector<int>(ChannelTypeCodes, ChannelTypeCodes + ChannelTypeCount),
              (std::vector<int>{255, 0, 1, 2, 3, 14, 15, 6}));
}
