#include "configurator/rules/ProtocolPageRules.h"
#include "model/uDevProtocols.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "model/uZumo2_Siemens.h"
#include "model/uZumo2sin.h"
#include "model/uZumo4.h"
#include "platform/Format.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(ServiceAddress, EveryByteRoundTripsAndPinnedBytesReadAsWritten)
{
    for (int a = 0; a < 256; ++a) {
        const TServiceAddress address = DecodeServiceAddress(static_cast<uint8_t>(a));
        EXPECT_TRUE(address.Block >= 1 && address.Block <= 2) << a;
        EXPECT_TRUE(address.Group >= 1 && address.Group <= 16) << a;
        EXPECT_TRUE(address.Object >= 1 && address.Object <= 8) << a;
        EXPECT_EQ(EncodeServiceAddress(address), a);
    }
    const std::pair<uint8_t, TServiceAddress> pinned[] = {
        {0x8B, {2, 2, 4}}, {0x00, {1, 1, 1}}, {0xFF, {2, 16, 8}}, {0x7F, {1, 16, 8}}, {0x93, {2, 3, 4}}};
    for (const auto& [byte, address] : pinned) {
        EXPECT_EQ(DecodeServiceAddress(byte), address) << int{byte};
        EXPECT_EQ(EncodeServiceAddress(address), byte) << int{byte};
    }
    // Numbers outside their ranges still give a byte: the low 8 bits of the sum.
    EXPECT_EQ(EncodeServiceAddress({3, 1, 1}), 0);
    EXPECT_EQ(EncodeServiceAddress({1, 0, 1}), 0xF8);
}

TEST(KompasRoute, KeysByTypeAndStationCount)
{
    struct Case {
        const char* name;
        int type;
        int stations;
        bool shown;
        std::vector<std::string> stationKeys;
        const char* direction;
        const char* address;
    };
    const Case cases[] = {
        {"КП TM1.1 hides the route", 0, 2, false, {}, nullptr, nullptr},
        {"ТМ120 hides the route", 2, 0, false, {}, nullptr, nullptr},
        {"no stations", 1, 0, true, {}, "0513", "0514"},
        {"one station", 1, 1, true, {"0513"}, "0514", "0515"},
        {"two stations", 1, 2, true, {"0513", "0514"}, "0515", "0516"},
        {"three stations", 1, 3, true, {"0513", "0514", "0515"}, "0516", "0517"},
        {"seven from a file bind as three", 1, 7, true, {"0513", "0514", "0515"}, "0516", "0517"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TKompasRoute route = KompasRouteOf(c.type, c.stations);
        EXPECT_EQ(route.Shown, c.shown);
        std::vector<std::string> keys;
        for (const char* key : route.StationKeys)
            if (key) keys.push_back(key);
        EXPECT_EQ(keys, c.stationKeys);
        EXPECT_EQ(route.Stations, static_cast<int>(c.stationKeys.size()));
        EXPECT_STREQ(route.DirectionKey, c.direction);
        EXPECT_STREQ(route.AddressKey, c.address);
    }

    // Hidden, the route's fields go back to their defaults: the whole route, all of
    // them in the Компас block.
    const std::vector<std::string> reset(KompasRouteKeys().begin(), KompasRouteKeys().end());
    EXPECT_EQ(reset, (std::vector<std::string>{"0512", "0513", "0514", "0515", "0516", "0517"}));
    auto doc = MakeZumo2Doc();
    testsupport::UseSlot(*doc, 0, 5, 0, 0);
    for (const std::string& key : reset) EXPECT_NE(doc->DeviceByIndex(0)->FindField(key), nullptr) << key;
}

TEST(ProtocolPageRules, IecLayoutByDocumentAndDevice)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TZumo2Doc>()> make;
        TIecPageLayout layout;
    };
    const Case cases[] = {
        {"Zumo2", MakeZumo2Doc, {.IgnoreInvalidShown = true, .TimeoutGroupsShown = false, .LinkAddressEnabled = true}},
        {"Zumo2 синх", MakeZumo2sinDoc, {.IgnoreInvalidShown = false}},
        {"Zumo2 Siemens", MakeZumo2SiemensDoc, {.IgnoreInvalidShown = false}},
        {"Zumo4", MakeZumo4Doc, {.IgnoreInvalidShown = false}},
        {"Pelvar-44", [] { return MakeHask1Doc(6); },
         {.IgnoreInvalidShown = false, .TimeoutGroupsShown = true, .LinkAddressEnabled = false}},
        {"Tramel-5141", MakeGrendalDoc,
         {.IgnoreInvalidShown = false, .TimeoutGroupsShown = true, .LinkAddressEnabled = true}},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<TZumo2Doc> doc = c.make();
        EXPECT_EQ(IecPageLayoutOf(doc.get(), *doc->DeviceByIndex(0)), c.layout) << c.name;
    }
    EXPECT_FALSE(IecPageLayoutOf(nullptr, *MakeZumo2Doc()->DeviceByIndex(0)).IgnoreInvalidShown);
}

TEST(ProtocolPageRules, ModbusControlsAndVetoes)
{
    const std::pair<std::optional<int>, TModbusControls> types[] = {
        {0, {true, false}}, {9, {true, false}}, {10, {false, true}}, {11, {true, false}}, {std::nullopt, {true, false}}};
    for (const auto& [type, controls] : types) EXPECT_EQ(ModbusControlsOf(type), controls) << type.value_or(-1);

    for (int64_t minutes : {0, 59}) EXPECT_TRUE(SyncPeriodAccepted(Variant(minutes))) << minutes;
    for (int64_t minutes : {-1, 60, 255}) EXPECT_FALSE(SyncPeriodAccepted(Variant(minutes))) << minutes;
    for (int64_t bytes : {0, 255}) EXPECT_TRUE(MaxFrameSizeAccepted(Variant(bytes))) << bytes;
    for (int64_t bytes : {-1, 256}) EXPECT_FALSE(MaxFrameSizeAccepted(Variant(bytes))) << bytes;
}

// The meters' quantities as the protocol table gives them, each found in its block.
TEST(MeterTable, QuantitiesAndKeysAsTheProtocolsHaveThem)
{
    const std::vector<std::string> mercury = {
        "P_", "Pa", "Pb", "Pc", "Q_", "Qa", "Qb", "Qc", "S_", "Sa", "Sb", "Sc", "Ua", "Ub", "Uc", "Ia",
        "Ib", "Ic", "Cos_", "Cos A", "Cos B", "Cos C", "F", "угол АВ", "угол АС", "угол ВС", "Ep+", "Ep-",
        "Eq+", "Eq-", "Серийный №", "Дата выпуска"};
    std::vector<std::string> iec1107(mercury.begin(), mercury.begin() + 26);
    for (const char* caption : {"Энергия 1", "Энергия 2", "Энергия 3", "Энергия 4", "Энергия 5", "Энергия 6",
                                "№ счетчика"})
        iec1107.push_back(caption);

    struct Case {
        TProtocolPage page;
        int index;
        const char* period;
        const char* unit;
        const char* password;
        const char* firstKey;
        std::vector<std::string> captions;
    };
    const Case cases[] = {
        {TProtocolPage::KPMercury, 7, "07006", "07007", "07pass", "0701", mercury},
        {TProtocolPage::KPCE304, 13, "16006", "16007", "16pass", "1601", iec1107},
        {TProtocolPage::KPProton, 14, "17006", "17007", "", nullptr, {}},
    };
    auto doc = MakeZumo2Doc();
    TDevice& device = *doc->DeviceByIndex(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(ProtocolPageName(c.page));
        const TMeterProtocol* meter = MeterProtocolOf(c.page);
        ASSERT_NE(meter, nullptr);
        EXPECT_EQ(meter->PeriodKey, c.period);
        EXPECT_EQ(meter->UnitKey, c.unit);
        EXPECT_EQ(meter->PasswordKey, c.password);
        ASSERT_EQ(meter->Quantities.size(), c.captions.size());
        const int first = c.firstKey ? std::stoi(c.firstKey) : 0;
        for (size_t i = 0; i < c.captions.size(); ++i) {
            EXPECT_EQ(meter->Quantities[i].Key, platform::Format("%.4d", first + static_cast<int>(i)));
            EXPECT_EQ(meter->Quantities[i].Caption, c.captions[i]) << meter->Quantities[i].Key;
        }
        // Every key names a field of the protocol's block, the password its 8 bytes.
        testsupport::UseSlot(*doc, 0, c.index, 0, 0);
        for (const std::string& key : {meter->PeriodKey, meter->UnitKey})
            EXPECT_NE(dynamic_cast<TField*>(device.FindField(key)), nullptr) << key;
        for (const TMeterQuantity& q : meter->Quantities)
            EXPECT_NE(dynamic_cast<TBitFleld*>(device.FindField(q.Key)), nullptr) << q.Key;
        if (!meter->PasswordKey.empty()) {
            auto* password = dynamic_cast<TStrField*>(device.FindField(meter->PasswordKey));
            ASSERT_NE(password, nullptr);
            EXPECT_EQ(password->Size, 8);
        }
        // The unit combo offers the period units.
        EXPECT_EQ(ComboItems(c.page, "cb" + meter->UnitKey), &PeriodUnitItems());
    }
    EXPECT_EQ(MeterProtocolOf(TProtocolPage::KPModbus), nullptr);
    EXPECT_THROW(MeterPageTable(TProtocolPage::KPModbus), std::logic_error);
    EXPECT_EQ(PeriodUnitItems(), (TPickList{{"мс", 0}, {"сек", 1}, {"мин", 2}, {"час", 3}}));
}

// The meter pages' tables are sound and name their controls after their keys.
TEST(MeterTable, PageTables)
{
    const TPageTable& mercury = MeterPageTable(TProtocolPage::KPMercury);
    EXPECT_NO_THROW(CheckPageTable(mercury));
    ASSERT_EQ(mercury.Rows.size(), 3u + 32u);
    EXPECT_STREQ(mercury.Rows[0].Name, "ed07006");
    EXPECT_STREQ(mercury.Rows[1].Name, "cb07007");
    EXPECT_TRUE(mercury.Rows[1].Beside);
    EXPECT_STREQ(mercury.Rows[2].Name, "ed07pass");
    EXPECT_EQ(mercury.Rows[2].Kind, TControlKind::TextEdit);
    EXPECT_STREQ(mercury.Rows[34].Name, "ch0732");
    EXPECT_STREQ(mercury.Rows[34].Key, "0732");
    const TPageTable& proton = MeterPageTable(TProtocolPage::KPProton);
    EXPECT_NO_THROW(CheckPageTable(proton));
    EXPECT_EQ(proton.Rows.size(), 2u);
}

} // namespace
