#include "model/uDevProtocols.h"
#include "platform/Format.h"
#include "tests/support/ProtocolBlockFixture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace testsupport;
using platform::Format;

namespace {

// "<prefix>NN" for NN = first..last.
std::vector<std::string> Keys(const char* prefix, int first, int last)
{
    std::vector<std::string> keys;
    for (int n = first; n <= last; ++n) keys.push_back(Format("%s%.2d", prefix, n));
    return keys;
}

// One-bit flags from bit 0 of the word at `offset` on.
std::vector<KeyAt> WordFlags(const std::vector<std::string>& keys, int offset)
{
    std::vector<KeyAt> flags;
    for (size_t i = 0; i < keys.size(); ++i) flags.push_back(WordBit(keys[i], offset, static_cast<int>(i)));
    return flags;
}

// One-bit flags from bit 0 of the byte at `offset` on, eight to a byte.
std::vector<KeyAt> ByteFlags(const std::vector<std::string>& keys, int offset)
{
    std::vector<KeyAt> flags;
    for (size_t i = 0; i < keys.size(); ++i)
        flags.push_back(Bit(keys[i], offset + static_cast<int>(i / 8), static_cast<int>(i % 8)));
    return flags;
}

// The 10-byte head of the metering protocols of code cc.
std::vector<KeyAt> MeteringHead(int cc)
{
    return {LongWord(Format("noname_%d_0", cc), 0), Word(Format("noname_%d_4", cc), 4), Word(Format("%d006", cc), 6),
            Byte(Format("%d007", cc), 8), Byte(Format("noname_%d_9", cc), 9)};
}

const std::vector<KeyAt> RelayHead = {Byte("DevType", 0), Word("PeriodM", 6), Byte("PeriodUM", 8)};

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

std::vector<KeyAt> Utm7()
{
    std::vector<KeyAt> keys = {Byte("noname_99", 0), Bit("2302", 1, 0), Word("noname_100", 2), Word("noname_101", 4),
                               Byte("012_utm7_08", 13)};
    const char* prefixes[] = {"009", "009", "010", "010", "011", "011", "012"};
    for (int n = 1; n <= 7; ++n) {
        keys.push_back(Bit(Format("%s_utm7_%.2d_a", prefixes[n - 1], n), 5 + n, 0, 3));
        keys.push_back(Bit(Format("%s_utm7_%.2d_t", prefixes[n - 1], n), 5 + n, 7));
    }
    return keys;
}

const std::vector<KeyAt> Tm512 = {Byte("1801", 0), Bit("1802", 1, 0), Bit("1803", 1, 1), Bit("1804", 1, 2),
                                  Bit("1805", 1, 3)};

const std::vector<BlockRow>& Rows()
{
    static const std::vector<BlockRow> rows = {
        {10, "TDevProtocolMKT2", 12,
         Join(Join({Byte("noname_80", 0), Byte("noname_81", 1), Word("noname_82", 2), Word("noname_83", 4),
                    Byte("011_mkt2_01", 10), Byte("011_mkt2_02", 11)},
                   WordFlags(Keys("009_mkt2_", 1, 16), 6)),
              WordFlags(Keys("010_mkt2_", 17, 30), 8)),
         {{10, 31}}},
        {11, "TDevProtocolMKT3", 8,
         {Byte("1201", 0), Bit("1202", 1, 0), Bit("1204", 1, 2), Bit("1205", 1, 3), Word("noname_86", 2),
          Word("noname_87", 4), Byte("011_mkt3_01", 6), Byte("011_mkt3_02", 7)},
         {}},
        {12, "TDevProtocolTM120", 3,
         {Byte("BindTUTM120_CmdTU", 0), Byte("AdrServiceCmdTM120", 1), Bit("ReqInvalidTIT", 2, 0)}, {}},
        {13, "TDevProtocolCE304", 26,
         Join(Join(MeteringHead(16), NumberedFlags(1601, 33, 10)), {Text("16pass", 18, 8)}), {}},
        {14, "TDevProtocolProton", 10, MeteringHead(17), {}},
        {15, "TDevProtocolTM512", 2, Tm512, {}},
        {16, "TDevProtocolRPT80", 8, {Byte("1901", 0), Bit("1902", 1, 0), Word("1910", 6)}, {}},
        {17, "TDevProtocolANSI", 16,
         Join(Join(MeteringHead(21), NumberedFlags(2101, 26, 10)), WordFlags(Keys("21", 33, 42), 14)), {}},
        {18, "TDevProtocolUTM7", 14, Utm7(), {}},
        {19, "TDevProtocolSET", 26,
         Join(Join(MeteringHead(24), NumberedFlags(2401, 32, 10)), {Text("24pass", 18, 8)}), {}},
        {20, "TDevProtocolUTS8", 0, {}, {}},
        {21, "TDevProtocolMKT1", 12,
         Join({LongWord("noname_75", 0), Word("noname_76", 4), Word("noname_77", 8), Byte("2601", 10),
               Byte("2602", 11)},
              WordFlags(Keys("26_", 1, 10), 6)),
         {{10, 11}}},
        {22, "TDevProtocolTM500", 2, Tm512, {}},
        {23, "TDevProtocolTM51", 2, Tm512, {}},
        {24, "TDevProtocolTM55", 2, Tm512, {}},
        {25, "TDevProtocolTK113Shield", 0, {}, {}},
        {26, "TDevProtocolOrion", 16,
         Join(Join(RelayHead, ByteFlags(OrionFlags, 9)), {Word("VAK_StateTU1_On", 12), Word("VAK_StateTU1_Off", 14)}),
         {{9, 0xFF}, {10, 0xFF}, {11, 0x07}}},
        {27, "TDevProtocolSirius", 11, Join(RelayHead, ByteFlags(SiriusFlags, 9)), {{9, 0xFF}, {10, 0x3F}}},
    };
    return rows;
}

const BlockRow& Row(int index)
{
    for (const BlockRow& row : Rows())
        if (row.index == index) return row;
    throw std::out_of_range("no row");
}

KeySet Asked(const std::vector<std::string>& keys) { return {keys.begin(), keys.end()}; }

} // namespace

TEST(DevProtocols10To27, BlocksMatchTheirTables)
{
    for (const BlockRow& row : Rows()) ExpectBlockMatches(row);
}

TEST(DevProtocols10To27, TableIsFull)
{
    for (int i = 1; i <= 28; ++i) EXPECT_NE(DevProtocolFactory(i), nullptr) << i;
    EXPECT_EQ(DevProtocolFactory(0), nullptr);
    EXPECT_EQ(DevProtocolFactory(29), nullptr);
}

TEST(DevProtocols10To27, SelectingAProtocolLeavesOnlyItsDefaultsInTheArea)
{
    ExpectProtocolSwitches(Rows());
    // From the relay protection block with its flags set to the cycle block and back.
    ExpectProtocolSwitches({Row(26), Row(21)});
}

TEST(DevProtocols10To27, DeviceFindsTheKeysOfTheActiveBlockOnly) { ExpectKeysThroughDevice(Rows()); }

// ТМ 500, МК 51 and МК 55 are classes of their own that lay out what ТМ 512 does.
TEST(DevProtocols10To27, TM512FamilySharesOneLayout)
{
    ProtocolBlockFixture tm512(15);
    for (int index : {22, 23, 24}) {
        SCOPED_TRACE(index);
        ProtocolBlockFixture other(index);
        EXPECT_NE(dynamic_cast<TDevProtocolTM512*>(&other.Block()), nullptr);
        EXPECT_STRNE(other.Block().ClassName(), tm512.Block().ClassName());
        ASSERT_EQ(KeysOf(other.Block()), KeysOf(tm512.Block()));
        for (const std::string& key : KeysOf(tm512.Block())) {
            EXPECT_EQ(other.Field(key).Offset, tm512.Field(key).Offset) << key;
            EXPECT_EQ(other.Field(key).FieldType, tm512.Field(key).FieldType) << key;
            const auto* ab = dynamic_cast<const TBitFleld*>(&tm512.Field(key));
            const auto* bb = dynamic_cast<const TBitFleld*>(&other.Field(key));
            ASSERT_EQ(bb == nullptr, ab == nullptr) << key;
            if (ab) {
                EXPECT_EQ(bb->Position, ab->Position) << key;
                EXPECT_EQ(bb->BitCount, ab->BitCount) << key;
            }
        }
    }
}

// A flag of a run over several bytes owns one bit of one byte.
TEST(DevProtocols10To27, FlagRunsGiveEachFlagOneBit)
{
    ProtocolBlockFixture iec(13);
    iec.Block().ResetDefaults();
    iec.Set("1633", 1);
    EXPECT_EQ(iec.NonZeroArea(), (std::map<int, uint8_t>{{14, 0x01}}));
    EXPECT_EQ(iec.Field("1633").GetValue().Kind(), VariantKind::Int32);

    ProtocolBlockFixture orion(26);
    orion.Block().ResetDefaults();
    orion.Set("ParamTS_OZZ_SIGN", 0);
    EXPECT_EQ(orion.NonZeroArea(), (std::map<int, uint8_t>{{9, 0xFF}, {10, 0xFF}, {11, 0x03}}));

    ProtocolBlockFixture ansi(17);
    ansi.Set("2142", 1);
    ansi.Set("2126", 1);
    EXPECT_EQ(ansi.NonZeroArea(), (std::map<int, uint8_t>{{13, 0x02}, {15, 0x02}}));

    ProtocolBlockFixture utm7(18);
    utm7.Set("012_utm7_07_a", 7);
    utm7.Set("009_utm7_01_t", 1);
    EXPECT_EQ(utm7.NonZeroArea(), (std::map<int, uint8_t>{{6, 0x80}, {12, 0x07}}));
    EXPECT_TRUE(utm7.GuardsIntact());
}

TEST(DevProtocols10To27, PasswordsAreWindows1251Texts)
{
    for (auto [index, key] : {std::pair{13, "16pass"}, std::pair{19, "24pass"}}) {
        SCOPED_TRACE(key);
        ProtocolBlockFixture f(index);
        f.Set(key, "Пароль");
        const std::vector<uint8_t> area = f.Area();
        EXPECT_EQ(std::string(area.begin() + 18, area.begin() + 26), std::string("\xCF\xE0\xF0\xEE\xEB\xFC\0\0", 8));
        EXPECT_EQ(f.Field(key).GetValue().ToString(), "Пароль");
        EXPECT_EQ(f.NonZeroArea().size(), 6u);
    }
}

TEST(DevProtocols10To27, MKT1KindsBeyondWordFiveNeedElevenWords)
{
    const KeySet beyondFive = Asked(Keys("26_", 6, 10));
    ExpectRules({
        {21, std::nullopt, {{"2601", 11}}, {}},
        {21, std::nullopt, {{"2601", 11}, {"26_08", 1}}, {}},
        {21, std::nullopt, {{"2601", 5}}, beyondFive},
        {21, std::nullopt, {{"2601", 5}, {"26_06", 0}, {"26_07", 0}, {"26_09", 0}, {"26_10", 0}}, {"26_08"}},
        {21, std::nullopt, {{"2601", 10}}, beyondFive},
        {21, std::nullopt, {}, beyondFive}, // 12 words
    });

    // The rule follows the cycle length at every check.
    ProtocolBlockFixture f(21);
    EXPECT_EQ(f.AskedAbout({{"2601", 5}}), beyondFive);
    EXPECT_EQ(f.AskedAbout({{"2601", 11}}), KeySet{});
}

TEST(DevProtocols10To27, FixedFieldsAreAlwaysAskedAbout)
{
    ExpectRules({
        {11, std::nullopt, {}, {"1201"}},
        {15, std::nullopt, {}, {"1801"}},
        {22, std::nullopt, {}, {"1801"}},
        {23, std::nullopt, {}, {"1801"}},
        {24, std::nullopt, {}, {"1801"}},
        {16, std::nullopt, {}, {"1901"}},
    });
}

TEST(DevProtocols10To27, OtherBlocksAskNothing)
{
    std::vector<RuleRow> rows;
    for (int index : {10, 12, 13, 14, 17, 18, 19, 20, 25, 26, 27}) rows.push_back({index, std::nullopt, {}, {}});
    ExpectRules(rows);
}
