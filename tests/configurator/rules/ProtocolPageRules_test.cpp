#include "configurator/rules/GridController.h"
#include "configurator/rules/ProtocolPageRules.h"
#include "model/uDevProtocols.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "model/uZumo2_Siemens.h"
#include "model/uZumo2sin.h"
#include "model/uZumo4.h"
#include "model/uZumo7.h"
#include "model/uZumo7sin.h"
#include "platform/Format.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GridFixture.h"
#include "tests/support/ProtocolBlockFixture.h"
#include "tests/support/TestText.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Readable failures of the rules' records.
void PrintTo(const TControlCaption& c, std::ostream* os)
{
    *os << "{" << (c.Control ? c.Control : "none") << ", " << (c.Caption ? c.Caption : "none") << "}";
}

void PrintTo(const TSiriusLayout& layout, std::ostream* os)
{
    *os << "{untick " << layout.UntickVoltage << ", shown " << layout.VoltageShown << ", captions";
    for (const TControlCaption& c : layout.Captions) PrintTo(c, os);
    *os << "}";
}

void PrintTo(const TDconControls& c, std::ostream* os)
{
    *os << "{hold time " << c.HoldTimeEnabled << ", raw TIT " << c.RawTitEnabled << ", table " << c.RelayTableShown
        << "}";
}

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
        std::vector<std::string> keys = {}; // keys that do not run on from firstKey
    };
    // ANSI C1218-21: NN 01 to 25, then 33 to 36.
    std::vector<std::string> ansi(mercury.begin(), mercury.begin() + 25);
    for (const char* caption : {"Активная выданная", "Реактивная выданная", "Активная потребленная",
                                "Реактивная потребленная"})
        ansi.push_back(caption);
    std::vector<std::string> ansiKeys;
    for (int nn = 1; nn <= 36; ++nn)
        if (nn <= 25 || nn >= 33) ansiKeys.push_back(platform::Format("21%.2d", nn));
    const Case cases[] = {
        {TProtocolPage::KPMercury, 7, "07006", "07007", "07pass", "0701", mercury},
        {TProtocolPage::KPCE304, 13, "16006", "16007", "16pass", "1601", iec1107},
        {TProtocolPage::KPProton, 14, "17006", "17007", "", nullptr, {}},
        {TProtocolPage::KPANSI, 17, "21006", "21007", "", "2101", ansi, ansiKeys},
        {TProtocolPage::KPSET, 19, "24006", "24007", "24pass", "2401", mercury},
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
            EXPECT_EQ(meter->Quantities[i].Key,
                      c.keys.empty() ? platform::Format("%.4d", first + static_cast<int>(i)) : c.keys[i]);
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

// On Zumo 7 documents, and only there, СЭТ-4ТМ reads the line voltages for NN 13 to 15.
TEST(MeterTable, Zumo7CaptionsOfSET)
{
    const auto captions = [](TProtocolPage page, const TDocument* document) {
        std::vector<std::string> out;
        for (const TMeterQuantity& q : MeterQuantitiesOn(page, document)) out.push_back(q.Caption);
        return out;
    };
    const std::unique_ptr<TZumo2Doc> zumo7 = MakeZumo7Doc();
    const std::unique_ptr<TZumo2Doc> zumo7sin = MakeZumo7sinDoc();
    const std::unique_ptr<TZumo2Doc> zumo2 = MakeZumo2Doc();
    const std::vector<std::string> base = captions(TProtocolPage::KPSET, zumo2.get());
    ASSERT_EQ(base.size(), 32u);
    EXPECT_EQ(std::vector<std::string>(base.begin() + 12, base.begin() + 15),
              (std::vector<std::string>{"Ua", "Ub", "Uc"}));
    EXPECT_EQ(captions(TProtocolPage::KPSET, nullptr), base);
    for (const TZumo2Doc* doc : {zumo7.get(), zumo7sin.get()}) {
        SCOPED_TRACE(doc->ClassName());
        std::vector<std::string> expected = base;
        expected[12] = "Uab";
        expected[13] = "Ubc";
        expected[14] = "Uca";
        EXPECT_EQ(captions(TProtocolPage::KPSET, doc), expected);
        EXPECT_EQ(captions(TProtocolPage::KPMercury, doc), captions(TProtocolPage::KPMercury, zumo2.get()));
        EXPECT_EQ(MeterQuantitiesOn(TProtocolPage::KPSET, doc)[12].Key, "2413");
    }
    EXPECT_TRUE(MeterQuantitiesOn(TProtocolPage::KPModbus, zumo7.get()).empty());
}

TEST(ProtocolPageRules, TM512FamilyVariants)
{
    using Changes = std::vector<TControlCaption>;
    const std::pair<TProtocolPage, Changes> cases[] = {
        {TProtocolPage::KPTM512, {}},
        {TProtocolPage::PUTM512, {}},
        {TProtocolPage::KPMK55, {}},
        {TProtocolPage::KPTM500, {{"ch1802", "Только доп. ТИТ"}, {"ch1803", nullptr}}},
        {TProtocolPage::PUTM500, {{"ch1802", "Только доп. ТИТ"}, {"ch1803", "Экстра флаги в потоке"}}},
        {TProtocolPage::KPMK51, {{"gbTM512", nullptr}}},
        {TProtocolPage::KPModbus, {}},
    };
    for (const auto& [page, changes] : cases) {
        const std::span<const TControlCaption> made = TM512ChangesOf(page);
        EXPECT_EQ(Changes(made.begin(), made.end()), changes) << ProtocolPageName(page);
    }

    // The four pages' blocks share ТМ 512's layout: "1802" .. "1805" are bits 0 .. 3 of
    // area byte 1 in each.
    auto doc = MakeZumo2Doc();
    TDevice& device = *doc->DeviceByIndex(0);
    for (int index : {15, 22, 23, 24}) {
        testsupport::UseSlot(*doc, 0, index, 0, 0);
        for (int bit = 0; bit < 4; ++bit) {
            const std::string key = std::to_string(1802 + bit);
            auto* flag = dynamic_cast<TBitFleld*>(device.FindField(key));
            ASSERT_NE(flag, nullptr) << index << " " << key;
            EXPECT_EQ(flag->NodeOffset() - device.ProtocolAreaOffset(), 1) << index << " " << key;
            EXPECT_EQ(flag->Position, bit) << index << " " << key;
        }
    }
}

TEST(ProtocolPageRules, UTM7MessageKeys)
{
    const std::pair<int, const char*> stems[] = {
        {1, "009_utm7_01"}, {2, "009_utm7_02"}, {3, "010_utm7_03"}, {4, "010_utm7_04"},
        {5, "011_utm7_05"}, {6, "011_utm7_06"}, {7, "012_utm7_07"},
    };
    auto doc = MakeZumo2Doc();
    testsupport::UseSlot(*doc, 0, 18, 0, 0);
    TDevice& device = *doc->DeviceByIndex(0);
    for (const auto& [n, stem] : stems) {
        const TUTM7MessageKeys keys = UTM7MessageKeys(n);
        EXPECT_EQ(keys.Address, std::string(stem) + "_a");
        EXPECT_EQ(keys.Kind, std::string(stem) + "_t");
        // Each names its bits of the message's byte, area byte 5 + n.
        auto* address = dynamic_cast<TBitFleld*>(device.FindField(keys.Address));
        auto* kind = dynamic_cast<TBitFleld*>(device.FindField(keys.Kind));
        ASSERT_NE(address, nullptr) << n;
        ASSERT_NE(kind, nullptr) << n;
        EXPECT_EQ(address->NodeOffset() - device.ProtocolAreaOffset(), 5 + n);
        EXPECT_EQ(kind->NodeOffset() - device.ProtocolAreaOffset(), 5 + n);
        EXPECT_EQ(address->Position, 0);
        EXPECT_EQ(address->BitCount, 3);
        EXPECT_EQ(kind->Position, 7);
    }
    EXPECT_THROW(UTM7MessageKeys(0), std::out_of_range);
    EXPECT_THROW(UTM7MessageKeys(8), std::out_of_range);
}

TEST(ProtocolPageRules, MKT1WordsShownWithElevenWordsOnly)
{
    for (int word = 1; word <= MKT1Words; ++word) {
        const bool always = word <= 5;
        EXPECT_TRUE(MKT1WordShown(word, 11)) << word;
        EXPECT_EQ(MKT1WordShown(word, 6), always) << word;
        EXPECT_EQ(MKT1WordShown(word, std::nullopt), always) << word;
    }
}

TEST(ProtocolPageRules, OrionSignalCaptionsByStoredType)
{
    using Captions = std::array<TControlCaption, 4>;
    const Captions leds = {{{"cbTS_SIG_1MTZ", "Светодиод15"},
                            {"cbTS_SIG_2MTZ", "Светодиод16"},
                            {"cbTS_OZZ_Disable", "Светодиод3"},
                            {"cbTS_OZZ_SIGN", "Светодиод14"}}};
    const Captions protection = {{{"cbTS_SIG_1MTZ", "Сраб. 1ст. МТЗ"},
                                  {"cbTS_SIG_2MTZ", "Сраб. 2ст. МТЗ"},
                                  {"cbTS_OZZ_Disable", "ОЗЗ на откл."},
                                  {"cbTS_OZZ_SIGN", "ОЗЗ на сигн."}}};
    const std::pair<int, Captions> cases[] = {{0, leds}, {1, protection}, {2, protection}, {7, protection}};
    for (const auto& [type, captions] : cases) EXPECT_EQ(OrionSignalCaptions(type), captions) << type;
}

// The keypad's digit keys share their codes 96 .. 105 with the grave accent and "a" ..
// "i": as characters those are no digits, and a numeric field refuses them.
TEST(ProtocolPageRules, VakKeyFilterTakesDigitsAndBackspaceOnly)
{
    struct Case {
        const char* name;
        char32_t character;
        bool accepted;
    };
    std::vector<Case> cases = {{"Backspace", U'\b', true}, {"grave accent", U'`', false},
                               {"j", U'j', false},          {"minus", U'-', false},
                               {"comma", U',', false},      {"Cyrillic Ж", U'Ж', false},
                               {"blank", U' ', false},      {"full-width 7", U'\uFF17', false}};
    for (char32_t d = U'0'; d <= U'9'; ++d) cases.push_back({"digit", d, true});
    for (char32_t c = U'a'; c <= U'i'; ++c) cases.push_back({"keypad code as a letter", c, false});
    for (const Case& c : cases)
        EXPECT_EQ(VakCharacterAccepted(c.character), c.accepted) << c.name << " U+" << std::hex
                                                                 << static_cast<uint32_t>(c.character);
}

TEST(ProtocolPageRules, SiriusTypeRule)
{
    const std::vector<TControlCaption> protection = {
        {"cbTS_LedGuard", "Led Сраб. защиты"}, {"cbTS_SIG_1MTZ", "Сраб. 1ст. МТЗ"}, {"cbTS_SIG_2MTZ", "Сраб. 2ст. МТЗ"}};
    const std::vector<TControlCaption> leds = {
        {"cbTS_LedGuard", "Control.LEd1_15"}, {"cbTS_SIG_1MTZ", "Control.LEd2_8"}, {"cbTS_SIG_2MTZ", "Control.LEd2_9"}};
    struct Case {
        const char* name;
        std::optional<int> type;
        TSiriusLayout layout;
    };
    const Case cases[] = {
        {"2-Л-5A", 0, {.UntickVoltage = true, .VoltageShown = false, .Captions = leds}},
        {"2-В-5A", 1, {.UntickVoltage = false, .VoltageShown = true, .Captions = protection}},
        {"2-С-5A", 2, {.UntickVoltage = true, .VoltageShown = false, .Captions = protection}},
        {"2-Л-БПТ", 3, {.UntickVoltage = true, .VoltageShown = false, .Captions = leds}},
        {"2-В-БПТ", 4, {.UntickVoltage = false, .VoltageShown = true, .Captions = leds}},
        {"2-С-БПТ", 5, {.UntickVoltage = true, .VoltageShown = false, .Captions = leds}},
        {"none selected", std::nullopt, {.UntickVoltage = false, .VoltageShown = false, .Captions = {}}},
    };
    for (const Case& c : cases) EXPECT_EQ(SiriusLayoutOf(c.type), c.layout) << c.name;
    const std::vector<std::string> voltage(SiriusVoltageControls().begin(), SiriusVoltageControls().end());
    EXPECT_EQ(voltage, (std::vector<std::string>{"chUab", "chUbc", "chUca", "chFreq", "cbTS_OZZ"}));
}

// ---------------------------------------------------------------------------------
// DCON

TEST(DconPageRules, ControlsByDeviceAndModuleType)
{
    struct Case {
        const char* name;
        bool grendal;
        std::optional<int> type;
        TDconControls controls;
    };
    const Case cases[] = {
        {"Tramel-5141, I-7051/51D", true, 0, {.HoldTimeEnabled = false, .RawTitEnabled = false, .RelayTableShown = false}},
        {"Tramel-5141, I-7052/52D", true, 1, {.HoldTimeEnabled = false, .RawTitEnabled = false, .RelayTableShown = false}},
        {"Tramel-5141, I-7045/45D", true, 2, {.HoldTimeEnabled = true, .RawTitEnabled = false, .RelayTableShown = true}},
        {"Tramel-5141, I-7017", true, 3, {.HoldTimeEnabled = false, .RawTitEnabled = true, .RelayTableShown = false}},
        {"Tramel-5141, none", true, std::nullopt, {.HoldTimeEnabled = false, .RawTitEnabled = false, .RelayTableShown = false}},
        {"other, I-7051/51D", false, 0, {.HoldTimeEnabled = false, .RawTitEnabled = false, .RelayTableShown = false}},
        {"other, I-7052/52D", false, 1, {.HoldTimeEnabled = false, .RawTitEnabled = true, .RelayTableShown = false}},
        {"other, I-7045/45D", false, 2, {.HoldTimeEnabled = true, .RawTitEnabled = false, .RelayTableShown = true}},
        {"other, none (a stored 3)", false, std::nullopt,
         {.HoldTimeEnabled = false, .RawTitEnabled = false, .RelayTableShown = false}},
    };
    for (const Case& c : cases) EXPECT_EQ(DconControlsOf(c.grendal, c.type), c.controls) << c.name;
}

TEST(DconPageRules, ModuleItemsByDeviceClass)
{
    const TPickList three = {{"I-7051/51D", 0}, {"I-7052/52D", 1}, {"I-7045/45D", 2}};
    TPickList four = three;
    four.emplace_back("I-7017", 3);
    EXPECT_EQ(DconModuleItems(true), four);
    EXPECT_EQ(DconModuleItems(false), three);

    EXPECT_TRUE(IsGrendalDevice(*MakeGrendalDoc()->DeviceByIndex(0)));
    EXPECT_FALSE(IsGrendalDevice(*MakeZumo2Doc()->DeviceByIndex(0)));
    EXPECT_FALSE(IsGrendalDevice(*MakeHask1Doc(6)->DeviceByIndex(0))) << "a Pelvar device";
}

// The TU table's grid as the page shows it, without widgets: a fake grid over the rows
// of a DCON block in its area (relay map n at area bytes 10 + 3 (n - 1): "type", then
// "select_off" and "select_on" as the high and low nibble, then "execute_off" and
// "execute_on"), and the grid controller over the table's spec.
class DconRelayTable : public ::testing::Test {
protected:
    testsupport::DialogScript dialogs;
    testsupport::ProtocolBlockFixture block{8};
    TGridSpec spec = DconRelayGridSpec();
    testsupport::FakeGridView grid;
    TGridController controller{grid, spec};

    void SetUp() override { grid.rows = DconRelayRows(&block.Block()); }

    // Focuses row n (1 .. 16) at a column.
    void At(int n, int column)
    {
        grid.row = n - 1;
        grid.column = column;
    }
    // The focused cell as (row n, column).
    std::pair<int, int> Focused() const { return {grid.row + 1, grid.column}; }
    void Set(int n, const char* key, int32_t value) const
    {
        block.Set(platform::Format("ParamTU%.2d.%s", n - 1, key), value);
    }
    // A key pressed or released with Alt and Ctrl as given.
    void Key(TGridKeyCode code, bool press, bool alt = false, bool ctrl = false)
    {
        controller.Key(testsupport::GridKey(code, press, ctrl, alt));
    }
    void Stroke(TGridKeyCode code, bool alt = false, bool ctrl = false)
    {
        Key(code, true, alt, ctrl);
        Key(code, false, alt, ctrl);
    }
    // Area offset -> byte, for the bytes of the area that are not zero.
    std::map<int, uint8_t> Image() const { return block.NonZeroArea(); }
};

using K = TGridKeyCode;

TEST_F(DconRelayTable, ColumnsRowsAndEditorLimits)
{
    const std::vector<TGridRow>& rows = grid.rows;
    ASSERT_EQ(rows.size(), 16u);
    auto& dcon = dynamic_cast<TDevProtocolDCON&>(block.Block());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(rows[static_cast<size_t>(i)].Record, dcon.ParamTUByIndex(i)) << i;
        EXPECT_EQ(CellText(spec, rows[static_cast<size_t>(i)], tuNumber), std::to_string(i + 1));
    }
    EXPECT_TRUE(DconRelayRows(nullptr).empty());
    testsupport::ProtocolBlockFixture modbus(2);
    EXPECT_TRUE(DconRelayRows(&modbus.Block()).empty()) << "a block that is no DCON block";

    struct Column {
        const char* caption;
        const char* key; // none: no field
        int64_t maximum; // of the spin editor
    };
    const Column columns[] = {
        {"№", nullptr, 0},          {"Тип", "type", 255},     {"Исп-Кан-Вкл", "select_on", 15},
        {"Исп-Кан-Откл", "select_off", 15}, {"Вкл-Кан", "execute_on", 15}, {"Откл-Кан", "execute_off", 15},
    };
    ASSERT_EQ(spec.ColumnCount(), 6);
    const TGridRow& third = rows[2];
    for (int c = 0; c < 6; ++c) {
        const Column& expected = columns[c];
        SCOPED_TRACE(expected.caption);
        EXPECT_STREQ(spec.Columns[static_cast<size_t>(c)].Caption, expected.caption);
        EXPECT_EQ(spec.Columns[static_cast<size_t>(c)].TextPad, 0) << "texts never widen the column";
        TField* field = EditField(spec, third, c);
        EXPECT_EQ(CommandField(spec, third, c), field);
        if (!expected.key) {
            EXPECT_EQ(field, nullptr);
            EXPECT_FALSE(CellEditable(spec, third, c));
            EXPECT_FALSE(controller.CanFocus(2, c));
            EXPECT_EQ(CellLook(spec, third, c).Background, TCellBackground::ButtonFace);
            continue;
        }
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field, third.Record->FindField(expected.key));
        EXPECT_TRUE(controller.CanFocus(2, c));
        const TEditorSpec& editor = CellEditor(spec, third, c);
        EXPECT_EQ(editor.Kind, TEditorKind::Spin);
        EXPECT_EQ(editor.Minimum, 0);
        EXPECT_EQ(EditorMaximum(editor, third, field), expected.maximum);
        field->SetValue(int32_t{9});
        EXPECT_EQ(CellText(spec, third, c), "9");
    }
    EXPECT_EQ(spec.Help, TGridHelp::None);
    EXPECT_EQ(spec.Fit, TGridFit::HoldsRows);
    EXPECT_FALSE(spec.Commands.HeaderSort);
}

TEST_F(DconRelayTable, MovesWrapBetweenColumnOneAndFive)
{
    struct Case {
        const char* name;
        std::pair<int, int> from;
        K key;
        std::pair<int, int> to;
    };
    const Case cases[] = {
        {"Left from column 1 goes to column 5 of the row before", {4, 1}, K::Left, {3, 5}},
        {"Right from column 5 goes to column 1 of the next row", {3, 5}, K::Right, {4, 1}},
        {"Left at the first cell", {1, 1}, K::Left, {1, 1}},
        {"Right at the last cell", {16, 5}, K::Right, {16, 5}},
        {"Left within the row", {7, 3}, K::Left, {7, 2}},
        {"Down keeps the column", {7, 3}, K::Down, {8, 3}},
        {"Up on the first row", {1, 4}, K::Up, {1, 4}},
        {"Down on the last row", {16, 4}, K::Down, {16, 4}},
    };
    for (const Case& c : cases) {
        At(c.from.first, c.from.second);
        Stroke(c.key);
        EXPECT_EQ(Focused(), c.to) << c.name;
    }
    EXPECT_TRUE(Image().empty());
}

TEST_F(DconRelayTable, CtrlStepsStopAtTheFieldsLimits)
{
    struct Case {
        const char* name;
        int column;
        const char* key;
        int32_t value;
        bool up;
        std::map<int, uint8_t> image; // of row 5, at area bytes 22 .. 24
    };
    const Case cases[] = {
        {"a nibble below 15 goes up", tuSelectOn, "select_on", 14, true, {{23, 0x0F}}},
        {"a nibble at 15 stays", tuSelectOff, "select_off", 15, true, {{23, 0xF0}}},
        {"\"type\" at 255 stays", tuType, "type", 255, true, {{22, 0xFF}}},
        {"\"type\" below 255 goes up", tuType, "type", 254, true, {{22, 0xFF}}},
        {"0 stays 0", tuExecuteOn, "execute_on", 0, false, {}},
        {"1 goes down to 0", tuExecuteOff, "execute_off", 1, false, {}},
    };
    for (const Case& c : cases) {
        block.ZeroArea();
        Set(5, c.key, c.value);
        At(5, c.column);
        Key(c.up ? K::Up : K::Down, true, false, true);
        Key(c.up ? K::Up : K::Down, false, false, true);
        EXPECT_EQ(Image(), c.image) << c.name;
        EXPECT_EQ(Focused(), (std::pair<int, int>{5, c.column})) << c.name;
    }
}

// The nibbles hold 0 .. 15: a fill or a copy beyond is refused where it would wrap.
TEST_F(DconRelayTable, FillsStopAtTheFieldsLimits)
{
    // (14, 3, 1) on "select_on" from row 1: 14 and 15, then 16 is refused at row 3,
    // whose byte keeps "select_off" 9 and "select_on" 7.
    Set(3, "select_on", 7);
    Set(3, "select_off", 9);
    At(1, tuSelectOn);
    testsupport::AnswerFillDialog(dialogs.Service(), 16, 14, 3, 1);
    EXPECT_EQ(testsupport::ErrorOf([&] { Stroke(K::F3); }), "Больше максимума");
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{11, 0x0E}, {14, 0x0F}, {17, 0x97}}));

    // (250, 10, 1) on "type" from row 1: 250 .. 255, then 256 is refused at row 7.
    block.ZeroArea();
    Set(7, "type", 3);
    At(1, tuType);
    testsupport::AnswerFillDialog(dialogs.Service(), 16, 250, 10, 1);
    EXPECT_EQ(testsupport::ErrorOf([&] { Stroke(K::F3); }), "Больше максимума");
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{10, 250}, {13, 251}, {16, 252}, {19, 253}, {22, 254}, {25, 255}, {28, 3}}));

    // From row 15 two rows are offered; a count beyond the last row stops there.
    block.ZeroArea();
    At(15, tuExecuteOff);
    testsupport::AnswerFillDialog(dialogs.Service(), 2, 4, 2, 2);
    Stroke(K::F3);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{54, 0x40}, {57, 0x60}}));
}

TEST_F(DconRelayTable, AltCopiesToTheNextRow)
{
    // Alt+Down: "select_on" of row 3 to row 4, which becomes focused.
    Set(3, "select_on", 9);
    At(3, tuSelectOn);
    Stroke(K::Down, true);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{17, 0x09}, {20, 0x09}}));
    EXPECT_EQ(Focused(), (std::pair<int, int>{4, tuSelectOn}));

    // Alt+A+Down: plus one, and on again.
    Key(K::A, true, true);
    Stroke(K::Down, true);
    EXPECT_EQ(Focused(), (std::pair<int, int>{5, tuSelectOn}));
    Stroke(K::Down, true);
    Key(K::A, false, true);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{17, 0x09}, {20, 0x09}, {23, 0x0A}, {26, 0x0B}}));

    // From 15 the next row would get 16: refused, nothing stored, the focus stays.
    block.ZeroArea();
    Set(3, "select_on", 15);
    Set(4, "select_on", 4);
    At(3, tuSelectOn);
    Key(K::A, true, true);
    EXPECT_EQ(testsupport::ErrorOf([&] { Stroke(K::Down, true); }), "Больше максимума");
    Key(K::A, false, true);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{17, 0x0F}, {20, 0x04}}));
    EXPECT_EQ(Focused(), (std::pair<int, int>{3, tuSelectOn}));
}

TEST_F(DconRelayTable, DeleteResetsTheFieldAndAltDeleteTheRecord)
{
    for (int n : {2, 3})
        for (const char* key : {"type", "select_on", "select_off", "execute_on", "execute_off"}) Set(n, key, 5);
    At(2, tuSelectOff);
    Stroke(K::Delete);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{13, 5}, {14, 0x05}, {15, 0x55}, {16, 5}, {17, 0x55}, {18, 0x55}}));
    Stroke(K::Delete, true);
    EXPECT_EQ(Image(), (std::map<int, uint8_t>{{16, 5}, {17, 0x55}, {18, 0x55}}));
}

} // namespace
