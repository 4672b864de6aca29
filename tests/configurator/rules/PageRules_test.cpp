#include "configurator/rules/PageRules.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::unique_ptr<TZumo2Doc> NewDocument()
{
    auto doc = MakeZumo2Doc();
    doc->ResetDefaults();
    return doc;
}

TField* FieldOf(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    EXPECT_NE(field, nullptr) << key;
    return field;
}

TEST(ProtocolPages, EveryIndexAndRole)
{
    // By protocol index: the page of a КП device, the page of a ПУ device.
    const std::pair<const char*, const char*> expected[ProtocolCount] = {
        {"", ""},
        {"TfrKPIEC", "TfrPUIEC"},
        {"TfrKPModbus", ""},
        {"", ""},
        {"TfrKPTM800B", ""},
        {"TfrKPKOMPAS", ""},
        {"", ""},
        {"TfrKPMercury", ""},
        {"TfrKPDCON", ""},
        {"TfrKPGranit", "TFrPUGranit"},
        {"TfrKPMKT2", ""},
        {"TfrKPMKT3", ""},
        {"TFrPUTM120", "TFrPUTM120"},
        {"TfrKPCE304", ""},
        {"TfrKPProton", ""},
        {"TfrKPTM512", "TfrPUTM512"},
        {"TfrKPRPT80", "TfrPURPT80"},
        {"TfrKPANSI", ""},
        {"TfrKPUTM7", ""},
        {"TfrKPSET", ""},
        {"", ""},
        {"TfrKPMKT1", ""},
        {"TfrKPTM500", "TfrPUTM500"},
        {"TfrKPMK51", "TfrKPMK51"},
        {"TfrKPMK55", ""},
        {"TfrKPTK113Shield", ""},
        {"TFrKPOrion", ""},
        {"TFrKPSirius_2V", ""},
        {"TFrKPSiemensSymap", ""},
    };
    for (int index = 0; index < ProtocolCount; ++index) {
        EXPECT_STREQ(ProtocolPageName(ProtocolPageOf(index, 0)), expected[index].first) << index;
        EXPECT_STREQ(ProtocolPageName(ProtocolPageOf(index, 1)), expected[index].second) << index;
        // Every value other than 1 is a controlled point.
        EXPECT_EQ(ProtocolPageOf(index, 2), ProtocolPageOf(index, 0)) << index;
    }
    // The shared pages are one kind each, and protocols without a page have none.
    EXPECT_EQ(ProtocolPageOf(12, 0), TProtocolPage::PUTM120);
    EXPECT_EQ(ProtocolPageOf(23, 1), TProtocolPage::KPMK51);
    for (int index : {3, 6, 20}) {
        EXPECT_EQ(ProtocolPageOf(index, 0), TProtocolPage::None);
        EXPECT_EQ(ProtocolPageOf(index, 1), TProtocolPage::None);
    }
    EXPECT_EQ(ProtocolPageOf(-1, 0), TProtocolPage::None);
    EXPECT_EQ(ProtocolPageOf(ProtocolCount, 1), TProtocolPage::None);
    // Page names are unique.
    std::set<std::string> names;
    for (int k = 1; k < ProtocolPageCount; ++k) names.insert(ProtocolPageName(static_cast<TProtocolPage>(k)));
    EXPECT_EQ(names.size(), static_cast<size_t>(ProtocolPageCount - 1));
}

TEST(RolePages, ControlPointOnlyForOne)
{
    EXPECT_EQ(RolePageOf(1), TRolePage::PUdpNone);
    for (int role : {0, 2, 255, -1}) EXPECT_EQ(RolePageOf(role), TRolePage::KPdpNone) << role;
}

TEST(RolePages, ControlPointLayout)
{
    for (int index = 0; index < ProtocolCount; ++index) {
        for (int role : {0, 1}) {
            SCOPED_TRACE(std::to_string(index) + "/" + std::to_string(role));
            const TPUdpNoneLayout l = PUdpNoneLayoutOf(index, role);
            EXPECT_EQ(l.IecValidityShown, index == 1 && role == 1);
            const bool ownLink = index == 5 || index == 9 || index == 12;
            EXPECT_EQ(l.ChannelGroupShown, ownLink);
            if (ownLink) {
                EXPECT_FALSE(l.TITLinkShown);
                EXPECT_FALSE(l.SuspensionShown);
                EXPECT_STREQ(l.TimeoutCaption, "Таймаут наличия связи");
                EXPECT_STREQ(l.TimeoutUnit, "с.");
            } else {
                EXPECT_STREQ(l.TimeoutCaption, "Таймаут ожидания пакета");
            }
        }
    }
}

TEST(SerialPanel, FollowsTheModeOfThePortList)
{
    auto doc = NewDocument();
    auto* uart0 = doc->Find<TUART>("UART0");
    ASSERT_NE(uart0, nullptr);
    EXPECT_TRUE(SerialPanelShown(doc.get(), uart0, 0));
    EXPECT_TRUE(SerialPanelShown(doc.get(), uart0, 1)); // the port list is "UART0" for every port
    EXPECT_FALSE(SerialPanelShown(doc.get(), uart0, std::nullopt)) << "no port selected";
    EXPECT_FALSE(SerialPanelShown(doc.get(), nullptr, 0)) << "no port list";
    EXPECT_FALSE(SerialPanelShown(nullptr, uart0, 0));
    FieldOf(*uart0, "016")->SetValue(int32_t{1});
    EXPECT_FALSE(SerialPanelShown(doc.get(), uart0, 0)) << "synchronous";
    // A list that is not a port record shows nothing.
    EXPECT_FALSE(SerialPanelShown(doc.get(), doc->DeviceByIndex(0), 0));
}

TEST(DeviceLists, ItemsAndValues)
{
    auto doc = NewDocument();
    EXPECT_EQ(DevicePortItems(*doc), (TPickList{{"COM", 0}, {"XPort", 1}, {"485", 2}}));
    EXPECT_EQ(ChannelProtocolItems(), (TPickList{{"Нет", 0}, {"\"Модемный\"", 128}, {"NE50", 135}}));
    EXPECT_EQ(DataBitsItems(), (TPickList{{"8", 8}, {"9", 9}}));
    EXPECT_EQ(ParityItems(), (TPickList{{"Нет", 0}, {"Чет", 2}, {"Нечет", 3}}));
    EXPECT_EQ(StopBitsItems(), (TPickList{{"1", 1}, {"2", 2}}));
    // The device defaults are among the items.
    TDevice* device = doc->DeviceByIndex(0);
    const auto has = [](const TPickList& items, int value) {
        for (const auto& item : items)
            if (item.second == value) return true;
        return false;
    };
    EXPECT_TRUE(has(DataBitsItems(), FieldOf(*device, "068_1")->GetValue().ToInt32()));
    EXPECT_TRUE(has(ParityItems(), FieldOf(*device, "068_2")->GetValue().ToInt32()));
    EXPECT_TRUE(has(StopBitsItems(), FieldOf(*device, "068_3")->GetValue().ToInt32()));
}

TEST(PortMode, AsynchronousDisablesAllButTheModeAndDuplex)
{
    auto doc = NewDocument();
    auto* com = doc->Find<TUART>("UART0");
    ASSERT_NE(com, nullptr);
    const std::set<std::string> kept = {"gbMode", "cb016", "ch018"};
    std::set<std::string> switchedNames;
    for (const TPageControl& c : PortPageControls())
        if (!kept.count(c.Name)) switchedNames.insert(c.Name);
    ASSERT_TRUE(switchedNames.count("gbFlags") && switchedNames.count("edSendLider") && switchedNames.count("edWindow"));

    for (int mode : {0, 1}) {
        const auto states = PortModeRule(*com, mode);
        std::set<std::string> names;
        for (const auto& [name, enabled] : states) {
            names.insert(name);
            EXPECT_EQ(enabled, mode == 1) << name << " in mode " << mode;
        }
        EXPECT_EQ(names, switchedNames) << mode;
    }
    EXPECT_TRUE(PortModeRule(*com, std::nullopt).empty()) << "no mode selected";
}

TEST(PortMode, ModemPortOffersOnlySynchronous)
{
    TMemory image;
    TMemoryBlock* block = image.AddBlock(0, 16);
    auto modem = MakeList<TModemPort>("Modem", block, 0);
    auto com = MakeList<TPortCOM>("COM", block, 8);
    EXPECT_EQ(PortModeItems(*modem), (TPickList{{"Синхронный", 1}}));
    EXPECT_EQ(PortModeItems(*com), (TPickList{{"Асинхронный", 0}, {"Синхронный", 1}}));
    // What a modem port holds is among its items, and the rule enables everything.
    EXPECT_EQ(FieldOf(*modem, "016")->GetValue().ToInt32(), 1);
    for (const auto& [name, enabled] : PortModeRule(*modem, 1)) EXPECT_TRUE(enabled) << name;
}

TEST(PortMode, AdspChannelFollowsItsOwnRules)
{
    auto doc = MakeHask1Doc(6);
    auto* adsp = doc->Find<TUART>("ADSP");
    auto* eth = doc->Find<TUART>("ETH_0");
    ASSERT_NE(adsp, nullptr);
    EXPECT_TRUE(PortModeRule(*adsp, 0).empty());
    EXPECT_TRUE(PortModeRule(*adsp, 1).empty());
    EXPECT_FALSE(PortModeRule(*eth, 0).empty());

    // Exactly the bound flags the channel does not fix.
    std::set<std::string> shown;
    for (const TPageRow& row : PortPageTable().Rows)
        if (row.Panel && std::string(row.Panel) == "gbFlags" &&
            PortFlagShown(*adsp, row.Key ? adsp->Find<TField>(row.Key) : nullptr))
            shown.insert(row.Name);
    EXPECT_EQ(shown, (std::set<std::string>{"rgLevel", "ch058"}));
    EXPECT_FALSE(PortFlagShown(*adsp, nullptr));
    EXPECT_TRUE(PortFlagShown(*eth, nullptr));
    EXPECT_TRUE(PortFlagShown(*eth, FieldOf(*eth, "016")));
}

TEST(EventBuffer, CaptionAndCapacity)
{
    auto doc = NewDocument();
    EXPECT_EQ(EventBufferCapacity(*doc), 1200);
    EXPECT_EQ(EventBufferCaption(1200), "Буфер архива событий (макс. 1200 событий)");
    for (int code : {6, 8, 9, 10, 11, 12}) EXPECT_EQ(EventBufferCapacity(*MakeHask1Doc(code)), 50000) << code;
    // TS 40000, then TIT 20000.
    EXPECT_EQ(BufferRule(TBuffer::TIT, 40000, 20000, 50000), (TBufferChange{TBuffer::TS, 30000}));
}

TEST(CommonPage, LayoutByFamily)
{
    const TCommonPageLayout base = CommonPageLayoutOf(*NewDocument());
    EXPECT_TRUE(base.TimeSourcesShown);
    EXPECT_FALSE(base.NetworkShown);
    for (int code : {6, 8, 9, 10, 11, 12}) {
        const TCommonPageLayout layout = CommonPageLayoutOf(*MakeHask1Doc(code));
        EXPECT_FALSE(layout.TimeSourcesShown) << code;
        EXPECT_TRUE(layout.NetworkShown) << code;
        EXPECT_EQ(layout.SecondNetworkShown, code < 10) << code;
    }
    const TCommonPageLayout tramel = CommonPageLayoutOf(*MakeGrendalDoc());
    EXPECT_FALSE(tramel.TimeSourcesShown);
    EXPECT_TRUE(tramel.NetworkShown);
    EXPECT_TRUE(tramel.SecondNetworkShown);
    EXPECT_EQ(EventBufferCapacity(*MakeGrendalDoc()), 50000);
}

TEST(EventBuffer, RuleLowersTheOtherBuffer)
{
    struct Case {
        TBuffer changed;
        int64_t ts, tit;
        std::optional<TBufferChange> expected;
    };
    const Case cases[] = {
        {TBuffer::TIT, 1000, 500, TBufferChange{TBuffer::TS, 700}},  // TS 1000, then TIT 500
        {TBuffer::TS, 1000, 500, TBufferChange{TBuffer::TIT, 200}},
        {TBuffer::TS, 300, 500, std::nullopt},                      // they fit
        {TBuffer::TIT, 700, 500, std::nullopt},                     // exactly the capacity
        {TBuffer::TS, 1500, 500, TBufferChange{TBuffer::TIT, 0}},   // never negative
        {TBuffer::TIT, 100, 65535, TBufferChange{TBuffer::TS, 0}},
        {TBuffer::TSDP, 900, 500, TBufferChange{TBuffer::TS, 700}}, // TSDP only triggers
        {TBuffer::TSDP, 500, 500, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ts) + "+" + std::to_string(c.tit));
        EXPECT_EQ(BufferRule(c.changed, c.ts, c.tit, 1200), c.expected);
    }
}

TEST(EventBuffer, ClampedValueFitsTheWordField)
{
    // TS 1500 on a capacity of 1200: the TIT buffer is emptied, not wrapped round.
    auto doc = NewDocument();
    TField* ts = FieldOf(*doc, "041");
    TField* tit = FieldOf(*doc, "042");
    ts->SetValue(int32_t{1500});
    const auto change = BufferRule(TBuffer::TS, ts->GetValue().ToInt64(), tit->GetValue().ToInt64(), 1200);
    ASSERT_TRUE(change);
    tit->SetValue(change->Value);
    EXPECT_EQ(tit->GetValue().ToInt32(), 0);
    EXPECT_EQ(ts->GetValue().ToInt32(), 1500);
}

// ---------------------------------------------------------------------------------
// Pelvar and Tramel-5141 device pages

TEST(FamilyPages, ByFamilyIndexAndRole)
{
    using F = TDeviceFamily;
    using P = TProtocolPage;
    using R = TFamilyRolePage;
    struct Case {
        const char* name;
        F family;
        int index;
        int role;
        R rolePage;
        P protocolPage;
    };
    const Case cases[] = {
        {"Hask КП МЭК", F::Hask, 1, 0, R::KPdpNone, P::KPIEC},
        {"Hask КП TM800A", F::Hask, 3, 0, R::KPdpNone, P::None},
        {"Hask КП DCON", F::Hask, 8, 0, R::KPdpNone, P::KPDCON},
        {"Hask КП Гранит", F::Hask, 9, 0, R::KPdpNone, P::KPGranit},
        {"Hask КП ТМ 120", F::Hask, 12, 0, R::KPdpNone, P::None},
        {"Hask КП РПТ-80", F::Hask, 16, 0, R::KPdpNone, P::None},
        {"Hask КП МКТ-1", F::Hask, 21, 0, R::KPdpNone, P::KPMKT1},
        {"Hask ПУ МЭК", F::Hask, 1, 1, R::PUIEC, P::None},
        {"Hask ПУ Гранит", F::Hask, 9, 1, R::PUdpNone, P::None},
        {"Hask ПУ ТМ 120", F::Hask, 12, 1, R::PUdpNone, P::None},
        {"Grendal КП МЭК", F::Grendal, 1, 0, R::KPdpNone, P::KPIEC_Grendal},
        {"Grendal КП ModBus", F::Grendal, 2, 0, R::KPdpNone, P::KPModbus},
        {"Grendal КП, role 2", F::Grendal, 7, 2, R::KPdpNone, P::KPMercury},
        {"Grendal ПУ МЭК", F::Grendal, 1, 1, R::PUIEC, P::None},
        {"Grendal ПУ ModBus", F::Grendal, 2, 1, R::PUdpNone, P::None},
        {"no protocol", F::Grendal, 0, 0, R::KPdpNone, P::None},
        {"outside the table", F::Hask, 29, 0, R::KPdpNone, P::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FamilyPagesOf(c.family, c.index, c.role), (TFamilyPages{c.rolePage, c.protocolPage}));
    }
    EXPECT_STREQ(FamilyRolePageName(F::Hask, R::PUIEC), "TfrPUIEC_Hask1");
    EXPECT_STREQ(FamilyRolePageName(F::Grendal, R::KPdpNone), "TfrKPdpNone_Grendal");
    EXPECT_STREQ(ProtocolPageName(P::KPIEC_Grendal), "TfrKPIEC_Grendal");

    // A controlled point's page is the common one but for ТМ 120, РПТ-80 and the
    // indexes from 22 on, which the devices of these families hold no page for; a
    // Tramel-5141 differs from a Pelvar in its МЭК page only; no protocol index gives
    // the Tramel-5141 МЭК page on the common device page.
    for (int index = 0; index < ProtocolCount; ++index) {
        SCOPED_TRACE(index);
        const bool none = index == 12 || index == 16 || index >= 22;
        const P hask = FamilyPagesOf(F::Hask, index, 0).Protocol;
        EXPECT_EQ(hask, none ? P::None : ProtocolPageOf(index, 0));
        const P grendal = FamilyPagesOf(F::Grendal, index, 0).Protocol;
        EXPECT_EQ(grendal, index == 1 ? P::KPIEC_Grendal : hask);
        EXPECT_NE(ProtocolPageOf(index, 0), P::KPIEC_Grendal);
        EXPECT_NE(ProtocolPageOf(index, 1), P::KPIEC_Grendal);
    }
}

TEST(FamilyPages, PelvarEthernetFollowsTheItemPosition)
{
    struct Case {
        int code; // the Pelvar model
        TPickList items;
        std::vector<std::pair<int, bool>> shown; // stored port -> Ethernet settings shown
    };
    const Case cases[] = {
        {10, {{"Channel", 0}, {"ETH0", 2}}, {{0, false}, {2, true}, {3, false}, {255, false}}}, // "Pelvar-41"
        {6, {{"Channel", 0}, {"ETH0", 2}, {"ETH1", 3}, {"ETH0 или ETH1", 4}}, // "Pelvar-44"
         {{0, false}, {1, false}, {2, true}, {3, true}, {4, true}, {255, false}}},
        {9, {{"Channel", 0}, {"Voice", 1}, {"ETH0", 2}, {"ETH1", 3}, {"ETH0 или ETH1", 4}}, // "Pelvar-42 2хС1-ТЧ"
         {{0, false}, {1, false}, {2, true}, {3, true}, {4, true}, {255, false}}},
        {12, {{"Channel", 0}, {"Voice", 1}, {"ETH0", 2}}, {{1, false}, {2, true}, {4, false}}}, // "Pelvar-43 2хС1-ТЧ"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::unique_ptr<TZumo2Doc> doc = MakeHask1Doc(c.code);
        ASSERT_NE(doc, nullptr);
        const TPickList items = NamedPortItems(*doc);
        EXPECT_EQ(items, c.items);
        for (const auto& [port, shown] : c.shown) {
            // The position of the item that carries the stored port; none without one.
            int position = -1;
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].second == port) position = static_cast<int>(i);
            EXPECT_EQ(HaskEthernetShown(doc.get(), position), shown) << "port " << port;
        }
    }
}

TEST(FamilyPages, GrendalPortsAndTheirPanels)
{
    const TPickList ports = NamedPortItems(*MakeGrendalDoc());
    EXPECT_EQ(ports, (TPickList{{"COM2", 0}, {"COM3", 1}, {"COM4", 2}, {"COM5", 3}, {"COM6", 4}, {"COM7", 5},
                                {"LAN1", 6}, {"LAN2", 7}, {"LAN1 или LAN2", 8}}));
    for (int port : {0, 5}) EXPECT_EQ(GrendalPortPanelOf(port), TGrendalPortPanel::Serial) << port;
    for (int port : {6, 7, 8, 255}) EXPECT_EQ(GrendalPortPanelOf(port), TGrendalPortPanel::Ethernet) << port;
}

TEST(FamilyPages, IecVariantPresetsAndEnables)
{
    EXPECT_EQ(IecVariantSizes(Iec104), (std::array<int32_t, 4>{2, 1, 2, 3}));
    EXPECT_EQ(IecVariantSizes(Iec101), (std::array<int32_t, 4>{1, 1, 1, 2}));
    EXPECT_EQ(IecVariantSizes(-1), std::nullopt);
    EXPECT_EQ(IecVariantSizes(2), std::nullopt);

    struct Case {
        const char* name;
        int variant;
        bool pelvar;
        TIecVariantControls expected; // timeouts, link address, class 2
    };
    const Case cases[] = {
        {"МЭК 104", Iec104, false, {true, false, false}},
        {"МЭК 101", Iec101, false, {false, true, true}},
        {"МЭК 101 on a Pelvar device", Iec101, true, {false, false, true}},
        {"none checked", -1, false, {false, false, false}},
    };
    for (const Case& c : cases) EXPECT_EQ(IecVariantControlsOf(c.variant, c.pelvar), c.expected) << c.name;
}

TEST(FamilyPages, IecControlPointListsOfferNoZeroBytes)
{
    const TPickList oneOrTwo = {{"1 байт", 1}, {"2 байта", 2}};
    for (const char* control : {"cb061", "cb062", "cb063"}) {
        ASSERT_NE(IecRolePageItems(control), nullptr) << control;
        EXPECT_EQ(*IecRolePageItems(control), oneOrTwo) << control;
    }
    ASSERT_NE(IecRolePageItems("cb064"), nullptr);
    EXPECT_EQ(*IecRolePageItems("cb064"), (TPickList{{"1 байт", 1}, {"2 байта", 2}, {"3 байта", 3}}));
    ASSERT_NE(IecRolePageItems("cb066"), nullptr);
    EXPECT_EQ(IecRolePageItems("cb066")->size(), 6u);
    EXPECT_EQ(IecRolePageItems("cb065")->back(), (std::pair<std::string, int>{"битовое поле без времени", 201}));
    EXPECT_EQ(IecRolePageItems("cbTSDP_asdu"), nullptr);
}

} // namespace
