#include "model/uDocument.h"
#include "platform/DecimalSeparator.h"
#include "platform/Exceptions.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using testsupport::LogLine;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::Hex;
using testsupport::ErrorOf;

namespace {

// Counts the calls of a change handler and keeps the last sender.
struct ChangeSpy {
    int calls = 0;
    TField* sender = nullptr;
    void OnChanged(TField* s)
    {
        ++calls;
        sender = s;
    }
    TNotifyEvent Event() { return TNotifyEvent::Of<&ChangeSpy::OnChanged>(this); }
};

class FieldsTest : public ::testing::Test {
protected:
    FieldsTest() : block(0x200, 16) {}
    void SetUp() override { platform::SetDecimalSeparatorForTesting(','); }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(0); }

    void Fill(uint8_t b) { std::memset(block.Data(), b, static_cast<size_t>(block.Size)); }
    std::string Bytes(size_t from, size_t n) const { return Hex(block.Data() + from, n); }

    TMemoryBlock block;
};

} // namespace

TEST_F(FieldsTest, TypesGiveSizesLimitsAndValueKinds)
{
    struct Row {
        uint16_t type;
        int32_t size, min, max;
        VariantKind kind;
    };
    const Row rows[] = {
        {ftSmallint, 2, -32768, 32767, VariantKind::Int16},
        {ftInteger, 4, 0, 0, VariantKind::Int32},
        {ftSingle, 4, 0, 0, VariantKind::Double},
        {ftShortInt, 1, -128, 127, VariantKind::Int8},
        {ftByte, 1, 0, 255, VariantKind::UInt8},
        {ftWord, 2, 0, 65535, VariantKind::UInt16},
        {ftLongWord, 4, 0, 0x7FFFFFFF, VariantKind::UInt32},
        {ftLongWord24, 3, 0, 0xFFFFFF, VariantKind::UInt32},
    };
    for (const Row& r : rows) {
        auto f = Make<TField>(&block, 3, r.type, Variant(int32_t{0}), true);
        EXPECT_EQ(f->Size, r.size) << r.type;
        EXPECT_EQ(f->MinValue, r.min) << r.type;
        EXPECT_EQ(f->MaxValue, r.max) << r.type;
        EXPECT_EQ(f->GetValue().Kind(), r.kind) << r.type;
        EXPECT_FALSE(f->Modified);
    }
    // Explicit limits are kept; creating writes nothing into the image.
    Fill(0x5A);
    auto f = Make<TField>(&block, 0, ftWord, Variant(int32_t{7}), false, 10, 20);
    EXPECT_EQ(f->MinValue, 10);
    EXPECT_EQ(f->MaxValue, 20);
    EXPECT_EQ(Bytes(0, 2), "5A 5A");

    EXPECT_EQ(ErrorOf([&] { Make<TField>(&block, 0, uint16_t{99}, Variant(), false); }), "тип 99 не поддерживается");
    EXPECT_EQ(ErrorOf([&] { Make<TField>(&block, 0, ftString, Variant(), false); }), "тип 256 не поддерживается");
}

TEST_F(FieldsTest, StoresValuesWithinLimits)
{
    struct Row {
        uint16_t type;
        int32_t min, max;
        Variant value;
        const char* bytesOrError; // the first bytes of the block after the store
    };
    const Row rows[] = {
        {ftWord, 0, 0, int32_t{65535}, "FF FF 00 00 00"},
        {ftWord, 0, 0, int32_t{65536}, "Больше максимума"},
        {ftWord, 0, 0, int32_t{-1}, "Меньше минимума"},
        {ftWord, 0, 0, 2.5, "02 00 00 00 00"},
        {ftWord, 0, 0, 3.5, "04 00 00 00 00"},
        {ftWord, 0, 0, "258", "02 01 00 00 00"},
        {ftWord, 0, 0, "x", "Could not convert variant of type (String) into type (Double)"},
        {ftInteger, 0, 0, int32_t{-2}, "FE FF FF FF 00"},
        {ftInteger, 0, 0, int64_t{2147483647}, "FF FF FF 7F 00"},
        {ftInteger, 0, 0, int64_t{2147483648}, "Could not convert variant of type (Int64) into type (Integer)"},
        {ftShortInt, 0, 0, int32_t{-128}, "80 00 00 00 00"},
        {ftShortInt, 0, 0, int32_t{127}, "7F 00 00 00 00"},
        {ftShortInt, 0, 0, int32_t{128}, "Больше максимума"},
        {ftSmallint, 0, 0, int32_t{-32768}, "00 80 00 00 00"},
        {ftByte, 1, 0, int32_t{2}, "Больше максимума"},
        {ftByte, 1, 0, int32_t{-1}, "Меньше минимума"},
        {ftByte, -1, 255, int32_t{-1}, "FF 00 00 00 00"},
        {ftByte, 0, 255, 255.4, "Больше максимума"}, // limits see the value as given
        {ftLongWord, 0, 0, uint32_t{0x80000000}, "Больше максимума"},
        {ftLongWord, 0, 0, uint32_t{0x7FFFFFFF}, "FF FF FF 7F 00"},
        {ftLongWord, -5, -1, int32_t{-2}, "FE FF FF FF 00"},
        {ftLongWord24, 0, 0, int32_t{0xABCDEF}, "EF CD AB 00 00"},
        {ftLongWord24, 0, 0, int32_t{0x1000000}, "Больше максимума"},
        {ftSingle, 0, 0, 0.1, "CD CC CC 3D 00"},
        {ftSingle, 0, 0, "-1,5", "00 00 C0 BF 00"},
        {ftSingle, 0, 0, 1e300, "Could not convert variant of type (Double) into type (Single)"},
    };
    for (const Row& r : rows) {
        Fill(0);
        auto f = Make<TField>(&block, 0, r.type, Variant(int32_t{0}), true, r.min, r.max);
        ChangeSpy spy;
        f->OnChange = spy.Event();
        const std::string error = ErrorOf([&] { f->SetValue(r.value); });
        const bool stored = error == "(no error)";
        EXPECT_EQ(stored ? Bytes(0, 5) : error, r.bytesOrError) << r.type << " <- " << r.value.ToString();
        if (!stored) {
            EXPECT_EQ(Bytes(0, 5), "00 00 00 00 00") << r.type << " <- " << r.value.ToString();
        }
        EXPECT_EQ(f->Modified, stored);
        EXPECT_EQ(spy.calls, stored ? 1 : 0);
    }
}

TEST_F(FieldsTest, StoringTheHeldValueChangesNothingButANanAlwaysStores)
{
    auto f = Make<TField>(&block, 0, ftWord, Variant(int32_t{0}), true);
    ChangeSpy spy;
    f->OnChange = spy.Event();
    f->SetValue(int32_t{5});
    EXPECT_TRUE(f->Modified);
    EXPECT_EQ(spy.calls, 1);
    EXPECT_EQ(spy.sender, f.get());

    f->SetModified(false);
    for (const Variant& same : {Variant(int32_t{5}), Variant(5.0), Variant("5"), Variant(uint8_t{5})}) f->SetValue(same);
    EXPECT_FALSE(f->Modified);
    EXPECT_EQ(spy.calls, 1);

    auto s = Make<TField>(&block, 4, ftSingle, Variant(0.0), true);
    s->OnChange = spy.Event();
    const float nan = std::nanf("");
    std::memcpy(block.Data() + 4, &nan, 4);
    s->SetValue(std::nan(""));
    EXPECT_TRUE(s->Modified);
    EXPECT_EQ(spy.calls, 2);
}

TEST_F(FieldsTest, ValidateHandlerVetoesOrThrows)
{
    struct Veto {
        int calls = 0;
        bool accept = true;
        bool raise = false;
        const void* sender = nullptr;
        TField* field = nullptr;
        Variant value;
        TFieldLst* row = reinterpret_cast<TFieldLst*>(1);
        void operator()(const void* s, TField* f, const Variant& v, TFieldLst* r, bool& a)
        {
            ++calls;
            sender = s, field = f, value = v, row = r;
            EXPECT_TRUE(a) << "Accept starts true";
            if (raise) throw platform::Exception("нельзя");
            a = accept;
        }
    };

    auto word = Make<TField>(&block, 0, ftWord, Variant(int32_t{0}), true);
    auto text = Make<TStrField>(&block, 2, 4, "", true);
    auto bits = Make<TBitFleld>(&block, 6, ftByte, uint8_t{0}, uint8_t{4}, 0, true);
    for (TField* f : {static_cast<TField*>(word.get()), static_cast<TField*>(text.get()), static_cast<TField*>(bits.get())}) {
        Fill(0);
        Veto veto;
        ChangeSpy spy;
        f->OnValidate = TFieldValidateEvent::Of(veto);
        f->OnChange = spy.Event();

        veto.accept = false;
        f->SetValue(int32_t{3});
        EXPECT_EQ(veto.calls, 1) << f->ClassName();
        EXPECT_EQ(veto.sender, f);
        EXPECT_EQ(veto.field, f);
        EXPECT_TRUE(veto.value.Equals(int32_t{3}));
        EXPECT_EQ(veto.row, nullptr);
        EXPECT_EQ(Bytes(0, 8), "00 00 00 00 00 00 00 00") << f->ClassName();
        EXPECT_FALSE(f->Modified);
        EXPECT_EQ(spy.calls, 0);

        veto.raise = true;
        EXPECT_EQ(ErrorOf([&] { f->SetValue(int32_t{3}); }), "нельзя") << f->ClassName();
        EXPECT_EQ(Bytes(0, 8), "00 00 00 00 00 00 00 00") << f->ClassName();

        veto.raise = false;
        veto.accept = true;
        f->SetValue(int32_t{3});
        EXPECT_EQ(f->GetValue().ToString(), "3") << f->ClassName();
        EXPECT_EQ(spy.calls, 1);
    }
}

TEST_F(FieldsTest, ResetDefaultsRunsTheWholeStore)
{
    auto f = Make<TField>(&block, 0, ftByte, Variant(int32_t{9}), true);
    ChangeSpy spy;
    f->OnChange = spy.Event();
    f->ResetDefaults();
    EXPECT_EQ(Bytes(0, 1), "09");
    EXPECT_EQ(spy.calls, 1);

    auto outside = Make<TField>(&block, 1, ftByte, Variant(int32_t{300}), true);
    EXPECT_EQ(ErrorOf([&] { outside->ResetDefaults(); }), "Больше максимума");
}

TEST_F(FieldsTest, BitFieldsTouchOnlyTheirBits)
{
    Fill(0xFF);
    auto b = Make<TBitFleld>(&block, 0, ftByte, uint8_t{4}, uint8_t{3}, 0, true);
    EXPECT_EQ(b->Size, 1);
    EXPECT_EQ(b->MinValue, 0);
    EXPECT_EQ(b->MaxValue, 7);
    EXPECT_EQ(b->GetValue().Kind(), VariantKind::Int32);
    EXPECT_EQ(b->GetValue().ToInt32(), 7);
    b->SetValue(int32_t{0});
    EXPECT_EQ(Bytes(0, 2), "8F FF");
    b->SetValue(int32_t{9}); // no limit check; the high bit is dropped
    EXPECT_EQ(Bytes(0, 2), "9F FF");
    EXPECT_EQ(b->GetValue().ToInt32(), 1);

    // Neighbours in wider containers, and no equality test.
    auto w = Make<TBitFleld>(&block, 2, ftWord, uint8_t{7}, uint8_t{3}, 0, true);
    auto d = Make<TBitFleld>(&block, 4, ftLongWord, uint8_t{20}, uint8_t{8}, 0, true);
    EXPECT_EQ(w->GetValue().Kind(), VariantKind::Int32);
    EXPECT_EQ(d->GetValue().Kind(), VariantKind::UInt32);
    ChangeSpy spy;
    w->OnChange = spy.Event();
    w->SetValue(int32_t{0});
    w->SetValue(int32_t{0});
    EXPECT_EQ(spy.calls, 2);
    EXPECT_EQ(Bytes(2, 2), "7F FC");
    d->SetValue(uint32_t{0x5A});
    EXPECT_EQ(Bytes(4, 5), "FF FF AF F5 FF");
    EXPECT_EQ(d->GetValue().ToInt64(), 0x5A);

    auto all = Make<TBitFleld>(&block, 8, ftLongWord, uint8_t{0}, uint8_t{32}, 0, true);
    EXPECT_EQ(all->GetValue().ToInt64(), 0xFFFFFFFF);
    all->SetValue(int32_t{-2});
    EXPECT_EQ(Bytes(8, 4), "FE FF FF FF");
}

TEST_F(FieldsTest, TextFieldsHoldWindows1251Bytes)
{
    Fill(0);
    auto t = Make<TStrField>(&block, 0, 4, "AB", true);
    EXPECT_EQ(t->Size, 4);
    EXPECT_EQ(t->FieldType, ftString);
    EXPECT_EQ(t->MinValue, 0);
    EXPECT_EQ(t->MaxValue, 0);
    EXPECT_EQ(t->GetValue().Kind(), VariantKind::String);
    EXPECT_EQ(t->GetValue().Str(), "");

    t->SetValue("ABCD"); // no terminating zero, reads back whole
    EXPECT_EQ(Bytes(0, 5), "41 42 43 44 00");
    EXPECT_EQ(t->GetValue().Str(), "ABCD");
    t->SetValue("ABCDEF");
    EXPECT_EQ(Bytes(0, 5), "41 42 43 44 00");
    t->ResetDefaults(); // no equality test, zero-filled behind
    EXPECT_EQ(Bytes(0, 4), "41 42 00 00");
    t->SetValue(int32_t{12});
    EXPECT_EQ(t->GetValue().Str(), "12");

    auto c = Make<TStrField>(&block, 4, 8, "", true);
    c->SetValue("Привет");
    EXPECT_EQ(Bytes(4, 8), "CF F0 E8 E2 E5 F2 00 00");
    EXPECT_EQ(c->GetValue().Str(), "Привет");
    c->SetValue("ЁжикЁжикЁжик"); // cut after eight characters, not eight UTF-8 bytes
    EXPECT_EQ(Bytes(4, 8), "A8 E6 E8 EA A8 E6 E8 EA");
    EXPECT_EQ(c->GetValue().Str(), "ЁжикЁжик");
}

TEST_F(FieldsTest, CopyToNeedsOneClassAndOneSize)
{
    Fill(0);
    block.Data()[0] = 0x34;
    block.Data()[1] = 0x12;
    auto a = Make<TField>(&block, 0, ftWord, Variant(int32_t{0}), true);
    auto b = Make<TField>(&block, 2, ftSmallint, Variant(int32_t{0}), true);
    a->CopyTo(*b);
    EXPECT_EQ(Bytes(0, 4), "34 12 34 12");

    auto bits = Make<TBitFleld>(&block, 4, ftWord, uint8_t{0}, uint8_t{3}, 0, true);
    auto small = Make<TField>(&block, 6, ftByte, Variant(int32_t{0}), true);
    EXPECT_EQ(ErrorOf([&] { a->CopyTo(*bits); }), "Попытка скопировать \"TField\" в \"TBitFleld\"");
    EXPECT_EQ(ErrorOf([&] { a->CopyTo(*small); }), "Размер источника 2 байт получателя 1 байт");
    EXPECT_EQ(Bytes(4, 3), "00 00 00");
}

TEST_F(FieldsTest, DefaultCheckAsksAndRemembersTheAnswer)
{
    // Six fields in check order: three differ from their defaults, one differs but is
    // not checked, one holds its default, and the last differs again.
    struct Fields {
        std::vector<std::unique_ptr<TField>> all;
        std::vector<std::string> paths;
    };
    auto makeFields = [&] {
        Fill(0);
        Fields f;
        auto add = [&](std::unique_ptr<TField> field, const char* path, Variant value) {
            field->SetValue(value);
            field->SetModified(false);
            f.all.push_back(std::move(field));
            f.paths.push_back(path);
        };
        add(Make<TField>(&block, 0, ftByte, Variant(int32_t{1}), true), "Doc.a", int32_t{5});
        add(Make<TField>(&block, 1, ftByte, Variant(int32_t{1}), false), "Doc.unchecked", int32_t{5});
        add(Make<TStrField>(&block, 2, 4, "abc", true), "Doc.name", "xyz");
        add(Make<TField>(&block, 6, ftWord, Variant(int32_t{200}), true), "Doc.same", int32_t{200});
        add(Make<TField>(&block, 8, ftSingle, Variant(0.0), true), "Doc.k", 0.1);
        add(Make<TBitFleld>(&block, 12, ftByte, uint8_t{1}, uint8_t{1}, 0, true), "Doc.bit", int32_t{1});
        return f;
    };
    const std::string found[] = {
        "Параметр \"Doc.a\" имеет значение 5 отличное от значения по умолчанию 1.",
        "Параметр \"Doc.name\" имеет значение xyz отличное от значения по умолчанию abc.",
        "Параметр \"Doc.k\" имеет значение 0,100000001490116 отличное от значения по умолчанию 0.",
        "Параметр \"Doc.bit\" имеет значение 1 отличное от значения по умолчанию 0.",
    };
    const char* reset = " Присвоено значение по умолчанию.";

    struct Row {
        std::vector<int> answers;
        size_t questions;                      // the first n findings are asked
        std::vector<bool> reset;               // per finding
        int finalAnswer;
    };
    const Row rows[] = {
        {{mrYes, mrYes, mrYes, mrYes}, 4, {true, true, true, true}, mrYes},
        {{mrNo, mrYes, mrNo, mrNo}, 4, {false, true, false, false}, mrNo},
        {{mrNoToAll}, 1, {false, false, false, false}, mrNoToAll},
        {{mrNo, mrNoToAll}, 2, {false, false, false, false}, mrNoToAll},
        {{mrYesToAll}, 1, {true, true, true, true}, mrYesToAll},
        {{mrNo, mrYes, mrYesToAll}, 3, {false, true, true, true}, mrYesToAll},
    };
    for (const Row& r : rows) {
        Fields f = makeFields();
        ScriptedPrompt prompt;
        for (int a : r.answers) prompt.Push(a);
        ScopedLogRecorder log;
        TDefaultCheckRun run{0, &prompt};
        for (size_t i = 0; i < f.all.size(); ++i) f.all[i]->CheckDefaults(f.paths[i], run);

        const std::string label = ::testing::PrintToString(r.answers);
        EXPECT_EQ(run.Answer, r.finalAnswer) << label;
        EXPECT_EQ(prompt.AnswersLeft(), 0u) << label;
        ASSERT_EQ(prompt.Questions().size(), r.questions) << label;
        for (size_t i = 0; i < r.questions; ++i)
            EXPECT_EQ(prompt.Questions()[i], found[i] + "\rИспользовать значение по умолчанию?") << label;

        std::vector<LogLine> expected;
        for (size_t i = 0; i < 4; ++i) expected.push_back({found[i] + (r.reset[i] ? reset : ""), lkHighlight});
        EXPECT_EQ(log.Lines(), expected) << label;

        const TField* checked[] = {f.all[0].get(), f.all[2].get(), f.all[4].get(), f.all[5].get()};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(checked[i]->GetValue().Equals(checked[i]->DefaultValue), r.reset[i]) << label << " " << i;
            EXPECT_EQ(checked[i]->Modified, r.reset[i]) << label << " " << i;
        }
        EXPECT_EQ(f.all[1]->GetValue().ToInt32(), 5) << "unchecked field left alone";
    }
}

TEST_F(FieldsTest, DefaultCheckWithoutPromptOnlyReports)
{
    Fill(0);
    auto a = Make<TField>(&block, 0, ftByte, Variant(int32_t{1}), true);
    auto b = Make<TField>(&block, 1, ftByte, Variant(int32_t{1}), true);
    ScopedLogRecorder log;
    TDefaultCheckRun run;
    a->CheckDefaults("X.a", run);
    b->CheckDefaults("X.b", run);
    EXPECT_EQ(run.Answer, mrNoToAll);
    EXPECT_EQ(Bytes(0, 2), "00 00");
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{
                               {"Параметр \"X.a\" имеет значение 0 отличное от значения по умолчанию 1.", lkHighlight},
                               {"Параметр \"X.b\" имеет значение 0 отличное от значения по умолчанию 1.", lkHighlight},
                           }));
}

TEST_F(FieldsTest, LogLinesReachTheInstalledSinkFromAnyThread)
{
    PostLogMessage("dropped: no sink", lkNormal);
    ScopedLogRecorder outer;
    {
        ScopedLogRecorder inner;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([] {
                for (int i = 0; i < 500; ++i) PostLogMessage(std::string(300, 'x'), lkError);
            });
        for (auto& th : threads) th.join();
        const auto lines = inner.Lines();
        ASSERT_EQ(lines.size(), 2000u);
        EXPECT_EQ(lines[0], (LogLine{std::string(300, 'x'), lkError})) << "long texts are handed over whole";
    }
    PostLogMessage("after", lkNormal);
    EXPECT_EQ(outer.Lines(), (std::vector<LogLine>{{"after", lkNormal}}));
}

TEST_F(FieldsTest, AccessOutsideTheBlockRaisesAndTouchesNothing)
{
    TMemoryBlock small(0, 6);
    std::memset(small.Data(), 0x11, 6);
    struct Row {
        int32_t offset;
        uint16_t type;
    };
    const Row rows[] = {{5, ftWord}, {3, ftLongWord}, {6, ftByte}, {-1, ftByte}, {0x7FFFFFFF, ftSingle}};
    for (const Row& r : rows) {
        auto f = Make<TField>(&small, r.offset, r.type, Variant(int32_t{0}), true);
        EXPECT_EQ(ErrorOf([&] { f->SetValue(int32_t{7}); }), "Range check error") << r.offset;
        EXPECT_THROW(f->GetValue(), platform::ERangeError) << r.offset;
    }
    auto text = Make<TStrField>(&small, 2, 5, "", true);
    EXPECT_EQ(ErrorOf([&] { text->SetValue("abcde"); }), "Range check error");
    auto bits = Make<TBitFleld>(&small, 4, ftLongWord, uint8_t{0}, uint8_t{1}, 0, true);
    EXPECT_EQ(ErrorOf([&] { bits->SetValue(int32_t{0}); }), "Range check error");
    auto inside = Make<TField>(&small, 0, ftWord, Variant(int32_t{0}), true);
    auto across = Make<TField>(&small, 5, ftWord, Variant(int32_t{0}), true);
    EXPECT_EQ(ErrorOf([&] { inside->CopyTo(*across); }), "Range check error");
    EXPECT_EQ(Hex(small.Data(), 6), "11 11 11 11 11 11");

    auto unbound = Make<TField>(nullptr, 0, ftByte, Variant(int32_t{0}), true);
    EXPECT_EQ(ErrorOf([&] { unbound->GetValue(); }), "Range check error");
}

namespace {

// A field whose layout step asks a virtual that a descendant overrides, and which
// records the order of its construction phases.
class TProbeField : public TField {
public:
    std::vector<std::string> phases;
    void Build() override
    {
        phases.push_back("Build " + std::string(ClassName()));
        FieldType = ContainerType();
        TField::Build();
    }
    const char* ClassName() const override { return "TProbeField"; }

protected:
    explicit TProbeField(TMemoryBlock* block) : TField(block, 0, 0, Variant(int32_t{0}), true) {}
    virtual uint16_t ContainerType() const { return ftByte; }
    void AfterConstruction() override
    {
        phases.push_back("after");
        TField::AfterConstruction();
    }
};

class TWideProbeField : public TProbeField {
public:
    const char* ClassName() const override { return "TWideProbeField"; }

protected:
    using TProbeField::TProbeField;
    uint16_t ContainerType() const override { return ftWord; }
};

} // namespace

TEST_F(FieldsTest, BuildReachesTheOverridesOfTheMadeClass)
{
    auto wide = Make<TWideProbeField>(&block);
    EXPECT_EQ(wide->Size, 2);
    EXPECT_EQ(wide->MaxValue, 65535) << "limits follow the type chosen in Build";
    EXPECT_EQ(wide->phases, (std::vector<std::string>{"Build TWideProbeField", "after"}));
    EXPECT_STREQ(wide->ClassName(), "TWideProbeField");

    auto text = Make<TStrField>(&block, 0, 10, "", true);
    EXPECT_EQ(text->Size, 10);
}
