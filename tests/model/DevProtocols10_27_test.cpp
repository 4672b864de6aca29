#include "model/uDevProtocols.h"
#include "platform/Format.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

using platform::Format;
using testsupport::ScriptedPrompt;

namespace {

// ---------------------------------------------------------------------------------
// The expected layouts, written out from the protocol descriptions

// One field: where it lies and how. `bit` < 0 marks a whole field (a number of the
// given type, or a text of `length` bytes).
struct Spec {
    std::string key;
    int offset;
    uint16_t type;
    int bit = -1;
    int bits = 0;
    int length = 0;
};
using Layout = std::vector<Spec>;

std::vector<std::string> Keys(const char* prefix, int first, int last)
{
    std::vector<std::string> keys;
    for (int n = first; n <= last; ++n) keys.push_back(Format("%s%.2d", prefix, n));
    return keys;
}

struct LayoutBuilder {
    Layout l;
    LayoutBuilder& Num(std::string key, int offset, uint16_t type)
    {
        l.push_back({std::move(key), offset, type});
        return *this;
    }
    LayoutBuilder& Text(std::string key, int offset, int length)
    {
        l.push_back({std::move(key), offset, ftString, -1, 0, length});
        return *this;
    }
    LayoutBuilder& Bit(std::string key, int offset, uint16_t container, int bit, int bits = 1)
    {
        l.push_back({std::move(key), offset, container, bit, bits});
        return *this;
    }
    // The k-th flag (from 0) of a run starting at byte s: byte s + k div 8, bit k mod 8.
    LayoutBuilder& ByteFlags(const std::vector<std::string>& keys, int start)
    {
        for (size_t k = 0; k < keys.size(); ++k)
            Bit(keys[k], start + static_cast<int>(k / 8), ftByte, static_cast<int>(k % 8));
        return *this;
    }
    // Flags in bits 0.. of one word.
    LayoutBuilder& WordFlags(const std::vector<std::string>& keys, int offset)
    {
        for (size_t k = 0; k < keys.size(); ++k) Bit(keys[k], offset, ftWord, static_cast<int>(k));
        return *this;
    }
    // The head of the metering protocols.
    LayoutBuilder& Head(const char* cc)
    {
        return Num(Format("noname_%s_0", cc), 0, ftLongWord)
            .Num(Format("noname_%s_4", cc), 4, ftWord)
            .Num(Format("%s006", cc), 6, ftWord)
            .Num(Format("%s007", cc), 8, ftByte)
            .Num(Format("noname_%s_9", cc), 9, ftByte);
    }
    LayoutBuilder& RelayHead()
    {
        return Num("DevType", 0, ftByte).Num("PeriodM", 6, ftWord).Num("PeriodUM", 8, ftByte);
    }
};

const std::vector<std::string> OrionFlags = {
    "ParamIa",          "ParamIb",          "ParamIc",             "ParamUab",
    "ParamUbc",         "ParamUca",         "ParamFreq",           "ParamP",
    "ParamQ",           "ParamS",           "ParamCosf",           "ParamTS_RPO",
    "ParamTS_RPV",      "ParamTS_SIGN_Disable", "ParamTS_SIGN_Enable", "ParamTS_SIG_1MTZ",
    "ParamTS_SIG_2MTZ", "ParamTS_OZZ_Disable",  "ParamTS_OZZ_SIGN"};
const std::vector<std::string> SiriusFlags = {
    "ParamIa",          "ParamIb",          "ParamIc",     "ParamUab",
    "ParamUbc",         "ParamUca",         "ParamFreq",   "ParamTS_LedGuard",
    "ParamTS_RPV",      "ParamTS_RPO",      "ParamTS_SIG_1MTZ", "ParamTS_SIG_2MTZ",
    "ParamTS_OZZ",      "ParamTS_SwitchState"};

Layout UTM7Layout()
{
    LayoutBuilder b;
    b.Num("noname_99", 0, ftByte).Bit("2302", 1, ftByte, 0).Num("noname_100", 2, ftWord).Num("noname_101", 4, ftWord);
    const char* prefixes[] = {"009", "009", "010", "010", "011", "011", "012"};
    for (int n = 1; n <= 7; ++n) {
        b.Bit(Format("%s_utm7_%.2d_a", prefixes[n - 1], n), 5 + n, ftByte, 0, 3);
        b.Bit(Format("%s_utm7_%.2d_t", prefixes[n - 1], n), 5 + n, ftByte, 7);
    }
    return b.Num("012_utm7_08", 13, ftByte).l;
}

Layout TM512Layout()
{
    return LayoutBuilder{}
        .Num("1801", 0, ftByte)
        .Bit("1802", 1, ftByte, 0)
        .Bit("1803", 1, ftByte, 1)
        .Bit("1804", 1, ftByte, 2)
        .Bit("1805", 1, ftByte, 3)
        .l;
}

struct BlockCase {
    int index;
    const char* className;
    int size;
    Layout layout;
    std::map<int, uint8_t> nonZero; // area bytes after the reset; all others 0
};

const std::vector<BlockCase>& Cases()
{
    static const std::vector<BlockCase> cases = {
        {10, "TDevProtocolMKT2", 12,
         LayoutBuilder{}
             .Num("noname_80", 0, ftByte)
             .Num("noname_81", 1, ftByte)
             .Num("noname_82", 2, ftWord)
             .Num("noname_83", 4, ftWord)
             .WordFlags(Keys("009_mkt2_", 1, 16), 6)
             .WordFlags(Keys("010_mkt2_", 17, 30), 8)
             .Num("011_mkt2_01", 10, ftByte)
             .Num("011_mkt2_02", 11, ftByte)
             .l,
         {{10, 31}}},
        {11, "TDevProtocolMKT3", 8,
         LayoutBuilder{}
             .Num("1201", 0, ftByte)
             .Bit("1202", 1, ftByte, 0)
             .Bit("1204", 1, ftByte, 2)
             .Bit("1205", 1, ftByte, 3)
             .Num("noname_86", 2, ftWord)
             .Num("noname_87", 4, ftWord)
             .Num("011_mkt3_01", 6, ftByte)
             .Num("011_mkt3_02", 7, ftByte)
             .l,
         {}},
        {12, "TDevProtocolTM120", 3,
         LayoutBuilder{}
             .Num("BindTUTM120_CmdTU", 0, ftByte)
             .Num("AdrServiceCmdTM120", 1, ftByte)
             .Bit("ReqInvalidTIT", 2, ftByte, 0)
             .l,
         {}},
        {13, "TDevProtocolCE304", 26,
         LayoutBuilder{}.Head("16").ByteFlags(Keys("16", 1, 33), 10).Text("16pass", 18, 8).l, {}},
        {14, "TDevProtocolProton", 10, LayoutBuilder{}.Head("17").l, {}},
        {15, "TDevProtocolTM512", 2, TM512Layout(), {}},
        {16, "TDevProtocolRPT80", 8,
         LayoutBuilder{}.Num("1901", 0, ftByte).Bit("1902", 1, ftByte, 0).Num("1910", 6, ftWord).l, {}},
        {17, "TDevProtocolANSI", 16,
         LayoutBuilder{}.Head("21").ByteFlags(Keys("21", 1, 26), 10).WordFlags(Keys("21", 33, 42), 14).l, {}},
        {18, "TDevProtocolUTM7", 14, UTM7Layout(), {}},
        {19, "TDevProtocolSET", 26,
         LayoutBuilder{}.Head("24").ByteFlags(Keys("24", 1, 32), 10).Text("24pass", 18, 8).l, {}},
        {20, "TDevProtocolUTS8", 0, {}, {}},
        {21, "TDevProtocolMKT1", 12,
         LayoutBuilder{}
             .Num("noname_75", 0, ftLongWord)
             .Num("noname_76", 4, ftWord)
             .WordFlags(Keys("26_", 1, 10), 6)
             .Num("noname_77", 8, ftWord)
             .Num("2601", 10, ftByte)
             .Num("2602", 11, ftByte)
             .l,
         {{10, 11}}},
        {22, "TDevProtocolTM500", 2, TM512Layout(), {}},
        {23, "TDevProtocolTM51", 2, TM512Layout(), {}},
        {24, "TDevProtocolTM55", 2, TM512Layout(), {}},
        {25, "TDevProtocolTK113Shield", 0, {}, {}},
        {26, "TDevProtocolOrion", 16,
         LayoutBuilder{}
             .RelayHead()
             .ByteFlags(OrionFlags, 9)
             .Num("VAK_StateTU1_On", 12, ftWord)
             .Num("VAK_StateTU1_Off", 14, ftWord)
             .l,
         {{9, 0xFF}, {10, 0xFF}, {11, 0x07}}},
        {27, "TDevProtocolSirius", 11, LayoutBuilder{}.RelayHead().ByteFlags(SiriusFlags, 9).l,
         {{9, 0xFF}, {10, 0x3F}}},
    };
    return cases;
}

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.className; }

std::string CaseName(const ::testing::TestParamInfo<BlockCase>& info)
{
    return Format("index%d_%s", info.param.index, info.param.className);
}

// ---------------------------------------------------------------------------------
// A protocol area inside a block with a sentinel around it

constexpr int32_t kArea = 13;
constexpr int32_t kAreaSize = 70;
constexpr uint8_t kSentinel = 0xA5;

class ProtocolArea {
public:
    ProtocolArea() : block_(0x1000, kArea + kAreaSize + 9)
    {
        std::memset(block_.Data(), kSentinel, static_cast<size_t>(block_.Size));
        std::memset(block_.Data() + kArea, 0, kAreaSize);
    }

    std::unique_ptr<TDevProtocol> Make(int index)
    {
        const TDevProtocolFactory factory = DevProtocolFactory(index);
        if (!factory) return nullptr;
        return factory(&block_, kArea, ProtocolNames[index], nullptr);
    }

    TMemoryBlock& Block() { return block_; }
    uint8_t Byte(int areaOffset) const { return block_.Data()[kArea + areaOffset]; }

    // The area bytes that are not zero, and whether the bytes around the area still
    // hold the sentinel.
    std::map<int, uint8_t> NonZero() const
    {
        std::map<int, uint8_t> bytes;
        for (int i = 0; i < kAreaSize; ++i)
            if (Byte(i) != 0) bytes[i] = Byte(i);
        return bytes;
    }
    bool SentinelIntact() const
    {
        for (int32_t i = 0; i < block_.Size; ++i)
            if ((i < kArea || i >= kArea + kAreaSize) && block_.Data()[i] != kSentinel) return false;
        return true;
    }

private:
    TMemoryBlock block_;
};

// The keys a default check asked about, from its questions ("Параметр "P.key" ...").
std::set<std::string> AskedKeys(const ScriptedPrompt& prompt, const std::string& path)
{
    std::set<std::string> keys;
    const std::string lead = "Параметр \"" + path + ".";
    for (const std::string& q : prompt.Questions()) {
        if (q.rfind(lead, 0) != 0) {
            keys.insert("?" + q);
            continue;
        }
        const size_t end = q.find('"', lead.size());
        keys.insert(q.substr(lead.size(), end - lead.size()));
    }
    return keys;
}

// ---------------------------------------------------------------------------------
// Every block: class, size, layout, and defaults

class BlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockTest, LaysOutItsFieldsAndWritesOnlyOnReset)
{
    const BlockCase& c = GetParam();
    ProtocolArea area;
    auto block = area.Make(c.index);
    ASSERT_TRUE(block);
    EXPECT_STREQ(block->ClassName(), c.className);
    EXPECT_EQ(block->Name, ProtocolNames[c.index]);
    EXPECT_TRUE(testsupport::AuditLayout(*block, c.size));
    EXPECT_EQ(block->ProtocolAreaSize(), kAreaSize);
    EXPECT_TRUE(testsupport::FitsArea(*block, kArea, block->ProtocolAreaSize()));

    // Building writes nothing.
    EXPECT_TRUE(area.NonZero().empty());
    EXPECT_TRUE(area.SentinelIntact());

    // The keys are exactly those of the layout, each where the layout puts it.
    EXPECT_EQ(block->FieldCount(), static_cast<int>(c.layout.size()));
    for (const Spec& s : c.layout) {
        SCOPED_TRACE(s.key);
        auto* f = block->Find<TField>(s.key);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Parent, block.get());
        EXPECT_EQ(f->Block, &area.Block());
        EXPECT_EQ(f->NodeOffset(), kArea + s.offset);
        EXPECT_EQ(f->FieldType, s.type);
        auto* bits = dynamic_cast<TBitFleld*>(f);
        if (s.bit >= 0) {
            ASSERT_NE(bits, nullptr);
            EXPECT_EQ(bits->Position, s.bit);
            EXPECT_EQ(bits->BitCount, s.bits);
        } else {
            EXPECT_EQ(bits, nullptr);
            if (s.type == ftString) {
                EXPECT_NE(dynamic_cast<TStrField*>(f), nullptr);
                EXPECT_EQ(f->Size, s.length);
            }
        }
    }

    block->ResetDefaults();
    EXPECT_EQ(area.NonZero(), c.nonZero);
    EXPECT_TRUE(area.SentinelIntact());
}

INSTANTIATE_TEST_SUITE_P(Indexes10To27, BlockTest, ::testing::ValuesIn(Cases()), CaseName);

TEST(DevProtocolTable, FilledFrom10To27AndNotAt28)
{
    for (int index = 10; index <= 27; ++index) EXPECT_NE(DevProtocolFactory(index), nullptr) << index;
    EXPECT_EQ(DevProtocolFactory(28), nullptr);
}

// ТМ 500, МК 51 and МК 55 are their own classes over the ТМ 512 layout.
TEST(DevProtocolTM512Family, SharesTheTM512Layout)
{
    ProtocolArea area;
    auto tm512 = area.Make(15);
    for (int index : {22, 23, 24}) {
        SCOPED_TRACE(index);
        auto other = area.Make(index);
        ASSERT_NE(dynamic_cast<TDevProtocolTM512*>(other.get()), nullptr);
        EXPECT_STRNE(other->ClassName(), tm512->ClassName());
        ASSERT_EQ(other->FieldCount(), tm512->FieldCount());
        EXPECT_EQ(other->Size, tm512->Size);
        for (int i = 0; i < tm512->FieldCount(); ++i) {
            EXPECT_EQ(other->FieldName(i), tm512->FieldName(i));
            auto* a = dynamic_cast<TField*>(tm512->FieldByIndex(i));
            auto* b = dynamic_cast<TField*>(other->FieldByIndex(i));
            ASSERT_TRUE(a && b);
            EXPECT_EQ(b->Offset, a->Offset);
            EXPECT_EQ(b->FieldType, a->FieldType);
            auto* abits = dynamic_cast<TBitFleld*>(a);
            auto* bbits = dynamic_cast<TBitFleld*>(b);
            ASSERT_EQ(bbits == nullptr, abits == nullptr) << other->FieldName(i);
            if (abits) {
                EXPECT_EQ(bbits->Position, abits->Position);
                EXPECT_EQ(bbits->BitCount, abits->BitCount);
            }
        }
    }
}

// The flag runs over several bytes: one flag, one bit.
TEST(DevProtocolFlagRuns, EachFlagOwnsOneBit)
{
    {
        ProtocolArea area;
        auto iec = area.Make(13);
        iec->ResetDefaults();
        auto* last = iec->Find<TField>("1633");
        last->SetValue(1);
        EXPECT_EQ(area.NonZero(), (std::map<int, uint8_t>{{14, 0x01}}));
        EXPECT_EQ(last->GetValue().Kind(), VariantKind::Int32);
        EXPECT_EQ(iec->Find<TField>("1632")->GetValue().ToInt32(), 0);
    }
    {
        ProtocolArea area;
        auto orion = area.Make(26);
        orion->ResetDefaults();
        orion->Find<TField>("ParamTS_OZZ_SIGN")->SetValue(0);
        EXPECT_EQ(area.NonZero(), (std::map<int, uint8_t>{{9, 0xFF}, {10, 0xFF}, {11, 0x03}}));
        EXPECT_EQ(orion->Find<TField>("ParamTS_OZZ_Disable")->GetValue().ToInt32(), 1);
    }
    {
        ProtocolArea area;
        auto ansi = area.Make(17);
        ansi->Find<TField>("2142")->SetValue(1);
        ansi->Find<TField>("2126")->SetValue(1);
        EXPECT_EQ(area.NonZero(), (std::map<int, uint8_t>{{13, 0x02}, {15, 0x02}}));
    }
    {
        ProtocolArea area;
        auto utm7 = area.Make(18);
        utm7->Find<TField>("012_utm7_07_a")->SetValue(7);
        utm7->Find<TField>("009_utm7_01_t")->SetValue(1);
        EXPECT_EQ(area.NonZero(), (std::map<int, uint8_t>{{6, 0x80}, {12, 0x07}}));
    }
}

TEST(DevProtocolPasswords, StoredAsWindows1251)
{
    for (auto [index, key] : {std::pair{13, "16pass"}, std::pair{19, "24pass"}}) {
        SCOPED_TRACE(key);
        ProtocolArea area;
        auto block = area.Make(index);
        block->Find<TField>(key)->SetValue("Пароль");
        const uint8_t expected[8] = {0xCF, 0xE0, 0xF0, 0xEE, 0xEB, 0xFC, 0, 0};
        EXPECT_EQ(std::memcmp(area.Block().Data() + kArea + 18, expected, 8), 0);
        EXPECT_EQ(block->Find<TField>(key)->GetValue().Str(), "Пароль");
        EXPECT_EQ(area.NonZero().size(), 6u);
    }
}

// ---------------------------------------------------------------------------------
// The default check: the fields that must hold their defaults

struct RuleCase {
    const char* name;
    int index;
    std::vector<std::pair<const char*, int>> values; // stored after the reset, in order
    std::set<std::string> asked;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class RuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleTest, AsksAboutExactlyTheFieldsThatMustHoldTheirDefaults)
{
    const RuleCase& c = GetParam();
    ProtocolArea area;
    auto block = area.Make(c.index);
    block->ResetDefaults();
    for (auto [key, value] : c.values) block->Find<TField>(key)->SetValue(value);

    ScriptedPrompt prompt;
    for (size_t i = 0; i < c.asked.size(); ++i) prompt.Push(mrNo);
    TDefaultCheckRun run{0, &prompt};
    block->CheckDefaults("Dev", run);
    EXPECT_EQ(AskedKeys(prompt, "Dev"), c.asked);
}

INSTANTIATE_TEST_SUITE_P(
    Indexes10To27, RuleTest,
    ::testing::Values(
        RuleCase{"MKT1_elevenWords", 21, {{"2601", 11}, {"26_08", 1}}, {}},
        RuleCase{"MKT1_fiveWords", 21, {{"2601", 5}, {"26_08", 1}}, {"26_08"}},
        RuleCase{"MKT1_fiveWordsAllKinds",
                 21,
                 {{"2601", 5},
                  {"26_01", 1},
                  {"26_05", 1},
                  {"26_06", 1},
                  {"26_07", 1},
                  {"26_08", 1},
                  {"26_09", 1},
                  {"26_10", 1},
                  {"2602", 9}},
                 {"26_06", "26_07", "26_08", "26_09", "26_10"}},
        RuleCase{"MKT1_elevenWordsAllKinds", 21, {{"26_01", 1}, {"26_06", 1}, {"26_10", 1}}, {}},
        RuleCase{"MKT3_fixed", 11, {{"1201", 3}, {"1202", 1}, {"011_mkt3_01", 5}}, {"1201"}},
        RuleCase{"TM512_fixed", 15, {{"1801", 1}, {"1805", 1}}, {"1801"}},
        RuleCase{"TM500_fixed", 22, {{"1801", 1}}, {"1801"}},
        RuleCase{"MK51_fixed", 23, {{"1801", 1}}, {"1801"}},
        RuleCase{"MK55_fixed", 24, {{"1801", 1}}, {"1801"}},
        RuleCase{"RPT80_fixed", 16, {{"1901", 2}, {"1910", 100}}, {"1901"}},
        RuleCase{"MKT2_free", 10, {{"011_mkt2_01", 5}, {"009_mkt2_16", 1}}, {}},
        RuleCase{"IEC1107_free", 13, {{"16006", 5}, {"1633", 1}}, {}},
        RuleCase{"Orion_free", 26, {{"ParamIa", 0}, {"ParamTS_OZZ_SIGN", 0}, {"VAK_StateTU1_On", 3}}, {}},
        RuleCase{"UTM7_free", 18, {{"2302", 1}, {"012_utm7_07_a", 5}}, {}},
        RuleCase{"UTS8_empty", 20, {}, {}}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

// The rule follows the current cycle length at every check.
TEST(DevProtocolMKT1Rule, FollowsTheCycleLengthAtEachCheck)
{
    ProtocolArea area;
    auto mkt1 = area.Make(21);
    mkt1->ResetDefaults();
    mkt1->Find<TField>("26_10")->SetValue(1);
    mkt1->Find<TField>("2601")->SetValue(5);
    {
        ScriptedPrompt prompt{mrNo};
        TDefaultCheckRun run{0, &prompt};
        mkt1->CheckDefaults("Dev", run);
        EXPECT_EQ(AskedKeys(prompt, "Dev"), (std::set<std::string>{"26_10"}));
    }
    mkt1->Find<TField>("2601")->SetValue(11);
    {
        ScriptedPrompt prompt;
        TDefaultCheckRun run{0, &prompt};
        mkt1->CheckDefaults("Dev", run);
        EXPECT_TRUE(prompt.Questions().empty());
    }
}

} // namespace
