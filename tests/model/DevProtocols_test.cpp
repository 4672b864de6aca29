#include "model/uDevProtocols.h"
#include "model/uZumo_Classes.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "tests/support/ProtocolBlockFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace testsupport;

namespace {

// The МЭК words "0109".."0124" at 10..40.
std::vector<KeyAt> IecWords()
{
    std::vector<KeyAt> keys;
    for (int n = 1; n <= 16; ++n) keys.push_back(Word(Number(108 + n), 8 + 2 * n));
    return keys;
}

// The DCON relay maps of outputs 1..16, three bytes each from 10 on.
std::vector<KeyAt> RelayMaps()
{
    std::vector<KeyAt> keys;
    for (int i = 0; i < 16; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "ParamTU%.2d", i);
        keys.push_back(Record(key, 10 + 3 * i, 3));
    }
    return keys;
}

std::map<int, uint8_t> UnsetTsDescription()
{
    std::map<int, uint8_t> bytes;
    for (int i = 15; i <= 29; ++i) bytes[i] = 0xFF;
    return bytes;
}

std::map<int, uint8_t> Merge(std::map<int, uint8_t> a, const std::map<int, uint8_t>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

const std::vector<BlockRow>& Rows()
{
    static const std::vector<BlockRow> rows = {
        {1, "TDevProtocolIEC", 42,
         Join({Byte("noname_9", 0), Bit("0102", 1, 0), Bit("0105", 1, 1), Bit("0103", 1, 2), Bit("0106", 1, 6),
               Word("0104", 2), Word("noname_10", 4), Word("0107", 6), Word("0108", 8)},
              IecWords()),
         {{1, 0x02}, {2, 0x1E}}},
        {2, "TDevProtocolModBus", 12,
         {Byte("0201", 0), Byte("noname_13", 1), Word("0203", 2), Word("noname_15", 4), Word("0206", 6),
          Byte("0207", 8), Byte("0208", 9), Byte("0209", 10), Byte("0210", 11)},
         {{2, 0xD0}, {3, 0x07}, {10, 2}, {11, 4}}},
        {3, "TDevProtocolTM800A", 1, {Byte("3001", 0)}, {}},
        {4, "TDevProtocolTM800B", 9, {Word("4001", 2), Word("4006", 6), Byte("4007", 8)}, {{2, 0xD0}, {3, 0x07}}},
        {5, "TDevProtocolKompas", 24,
         {Byte("5001", 0), Bit("5002", 1, 0), Bit("5003", 1, 1), Word("5004", 2), Word("0506", 6), Word("0507", 8),
          Word("0508", 10), Word("0509", 12), Byte("0512", 14), Byte("0513", 15), Byte("0514", 16), Byte("0515", 17),
          Byte("0516", 18), Byte("0517", 19), Byte("TrigEvenLinkDown_Cmd", 20),
          Word("TrigEvenLinkDown_Timeout", 21), Byte("TrigEvenLinkDown_RepeatCount", 23)},
         {{2, 0xF4}, {3, 0x01}, {21, 0x0A}, {23, 2}}},
        {6, "TDevProtocolKompasPU", 56, {}, {}},
        {7, "TDevProtocolMercury", 26,
         Join({LongWord("noname_18", 0), Word("noname_19", 4), Word("07006", 6), Byte("07007", 8),
               Byte("noname_20", 9), Text("07pass", 18, 8)},
              NumberedFlags(701, 32, 10)),
         {}},
        {8, "TDevProtocolDCON", 58,
         Join({Byte("0801", 0), Bit("0802", 1, 1), Word("0803", 2), Word("0806", 6), Byte("0807", 8)}, RelayMaps()),
         {{2, 0xD0}, {3, 0x07}}},
        {9, "TDevProtocolGranit", 44,
         {Byte("0901", 0), Word("0906", 6), Word("0907", 8), Word("0908", 10), Word("0909", 12), Byte("verTS1", 14),
          Text("TSDB1", 15, 15), Byte("TrigEvenLinkDown_Cmd", 30), Word("TrigEvenLinkDown_Timeout", 31),
          Byte("TrigEvenLinkDown_RepeatCount", 33), Byte("BindTUGranit_CmdTU", 34), Byte("AdrServiceCmdGranit", 35),
          Byte("AFBServTU", 36), Bit("ReqInvalidTS", 37, 0), Bit("ReqInvalidTIT", 37, 1),
          Word("PU_TU_ExecTimeout", 38), Byte("LinkDownCmdVAK", 40), Byte("ServicedPUTU", 41),
          Word("SMeandrPeriod", 42)},
         Merge(UnsetTsDescription(), {{31, 0x0A}, {33, 2}, {36, 1}, {38, 5}})},
    };
    return rows;
}

} // namespace

TEST(DevProtocols, BlocksMatchTheirTables)
{
    for (const BlockRow& row : Rows()) ExpectBlockMatches(row);
}

TEST(DevProtocols, TableHasTheBlocksOfTheFirstNineIndexes)
{
    EXPECT_EQ(DevProtocolFactory(0), nullptr);
    EXPECT_EQ(DevProtocolFactory(-1), nullptr);
    EXPECT_EQ(DevProtocolFactory(ProtocolCount), nullptr);
    for (int i = 1; i <= 9; ++i) EXPECT_NE(DevProtocolFactory(i), nullptr) << i;
}

TEST(DevProtocols, SelectingAProtocolLeavesOnlyItsDefaultsInTheArea) { ExpectProtocolSwitches(Rows()); }

TEST(DevProtocols, DeviceFindsTheKeysOfTheActiveBlockOnly) { ExpectKeysThroughDevice(Rows()); }

TEST(DevProtocols, BlocksWithoutARuleAskOnlyAboutFixedFields)
{
    ExpectRules({
        {1, std::nullopt, {}, {}},
        {3, std::nullopt, {}, {"3001"}},
        {4, std::nullopt, {}, {}},
        {6, std::nullopt, {}, {}},
        {7, std::nullopt, {}, {}},
        {9, std::nullopt, {}, {}},
    });
}

TEST(DevProtocols, ModBusDeviceTypeTenFixesTheRequestFunctions)
{
    ExpectRules({
        {2, std::nullopt, {{"0201", 10}}, {"0209", "0210"}},
        {2, std::nullopt, {{"0201", 10}, {"0210", 4}}, {"0209"}},
        {2, std::nullopt, {{"0201", 0}}, {"0208"}},
        {2, std::nullopt, {{"0201", 11}}, {"0208"}},
    });
}

TEST(DevProtocols, KompasRouteBeyondItsEndKeepsItsDefaults)
{
    // Every route field is away from its default; "0512" is the row's count.
    const KeySet beyond[] = {{"0515", "0516", "0517"}, {"0516", "0517"}, {"0517"}, {}, {}};
    std::vector<RuleRow> rows;
    for (int count = 0; count <= 4; ++count) {
        rows.push_back({5, std::nullopt, {{"5001", 1}, {"0512", count}}, beyond[count]});
        for (int type : {0, 2}) {
            KeySet asked = beyond[count];
            asked.insert({"0513", "0514"});
            if (count != 0) asked.insert("0512");
            rows.push_back({5, std::nullopt, {{"5001", type}, {"0512", count}}, asked});
        }
    }
    ExpectRules(rows);
}

TEST(DevProtocols, DconControlPointUsesBothSettingsWhateverItsType)
{
    std::vector<RuleRow> rows;
    for (int type : {0, 1, 2, 3}) {
        rows.push_back({8, 1, {{"0801", type}}, {}});
        // A control point's slot (role 0) and a block made without the role field.
        const KeySet asked = type == 1 ? KeySet{"0803"} : type == 2 ? KeySet{"0802"} : KeySet{"0802", "0803"};
        rows.push_back({8, 0, {{"0801", type}}, asked});
        rows.push_back({8, std::nullopt, {{"0801", type}}, asked});
    }
    ExpectRules(rows);
}

TEST(DevProtocols, DconRelayMapsFollowTheOutputs)
{
    ProtocolBlockFixture f(8);
    auto& dcon = dynamic_cast<TDevProtocolDCON&>(f.Block());
    ASSERT_EQ(dcon.ParamTUCount(), 16);
    EXPECT_EQ(dcon.ParamTUByIndex(-1), nullptr);
    EXPECT_EQ(dcon.ParamTUByIndex(16), nullptr);
    for (int i = 0; i < 16; ++i) {
        char key[16], name[32];
        std::snprintf(key, sizeof key, "ParamTU%.2d", i);
        std::snprintf(name, sizeof name, "Канал %.2d", i + 1);
        const TParamTU* map = dcon.ParamTUByIndex(i);
        ASSERT_NE(map, nullptr) << i;
        EXPECT_EQ(map, dcon.FindField(key)) << i;
        EXPECT_EQ(map->Name, name);
        EXPECT_EQ(map->NodeOffset() - ProtocolBlockFixture::Guard, 10 + 3 * i);
    }

    // Output 16 lies at area bytes 55..57.
    f.Set("ParamTU15.type", 0x12);
    f.Set("ParamTU15.select_on", 3);
    f.Set("ParamTU15.select_off", 4);
    f.Set("ParamTU15.execute_on", 5);
    f.Set("ParamTU15.execute_off", 6);
    EXPECT_EQ(f.NonZeroArea(), (std::map<int, uint8_t>{{55, 0x12}, {56, 0x43}, {57, 0x65}}));
    EXPECT_TRUE(f.GuardsIntact());
}

TEST(DevProtocols, TsDescriptionAndPasswordAreWindows1251Texts)
{
    ProtocolBlockFixture granit(9);
    granit.Block().ResetDefaults();
    TField& ts = granit.Field("TSDB1");
    std::string fifteenYa;
    for (int i = 0; i < 15; ++i) fifteenYa += "я";
    EXPECT_EQ(ts.GetValue().ToString(), fifteenYa);

    // The grid stores raw bytes through the field's text.
    const std::string raw = "123" + std::string(12, '\xFF');
    ts.SetValue(platform::AnsiToUtf8(raw));
    const std::vector<uint8_t> area = granit.Area();
    EXPECT_EQ(std::string(area.begin() + 15, area.begin() + 30), raw);
    EXPECT_EQ(platform::Utf8ToAnsi(ts.GetValue().ToString()), raw);
    EXPECT_EQ(area[14], 0);
    EXPECT_EQ(area[30], 0);

    ProtocolBlockFixture mercury(7);
    mercury.Set("07pass", "Пароль12");
    const std::vector<uint8_t> m = mercury.Area();
    EXPECT_EQ(std::string(m.begin() + 18, m.begin() + 26), "\xCF\xE0\xF0\xEE\xEB\xFC" "12");
    EXPECT_EQ(mercury.Field("07pass").GetValue().ToString(), "Пароль12");
    // Longer than its 8 bytes: cut, nothing past the block.
    mercury.Set("07pass", "Пароль123456");
    EXPECT_EQ(mercury.Field("07pass").GetValue().ToString(), "Пароль12");
    EXPECT_TRUE(mercury.GuardsIntact());
}

TEST(DevProtocols, GranitServicedTuBlockIsLimitedToOneToFifteen)
{
    ProtocolBlockFixture f(9);
    TField& afb = f.Field("AFBServTU");
    EXPECT_EQ(afb.MinValue, 1);
    EXPECT_EQ(afb.MaxValue, 15);
    f.Set("AFBServTU", 15);
    EXPECT_THROW(f.Set("AFBServTU", 16), platform::Exception);
    EXPECT_THROW(f.Set("AFBServTU", 0), platform::Exception);
    EXPECT_EQ(f.Area()[36], 15);

    // A TU time-out of 5 within the word's own range.
    TField& timeout = f.Field("PU_TU_ExecTimeout");
    EXPECT_EQ(timeout.MinValue, 0);
    EXPECT_EQ(timeout.MaxValue, 65535);
}
