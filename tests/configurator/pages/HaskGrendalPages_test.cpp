#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGrendal.h"
#include "configurator/pages/FDevice_Hask1.h"
#include "configurator/pages/FKPIEC.h"
#include "configurator/pages/FKPKOMPAS.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/widgets/ParamControls.h"
#include "model/Mirvak_const.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::Choose;
using testsupport::IecPointAudit;
using testsupport::IecTimeoutAudit;
using testsupport::TAuditControl;
using testsupport::UseSlot;
using testsupport::ValueOf;
using Items = std::vector<std::pair<const char*, int>>;

// The model codes of the documents the tests show.
constexpr int kPelvar44 = 6;
constexpr int kTramel = 7;
constexpr int kPelvar42Twin = 9; // "Pelvar-42 2хС1-ТЧ"
constexpr int kPelvar41 = 10;

// ---------------------------------------------------------------------------------
// The pages as their description gives them

const Items kBinaryAscii = {{"Binary Hex", 0}, {"ASCII Hex", 1}};
const Items kOneOrTwoBytes = {{"1 байт", 1}, {"2 байта", 2}};
const Items kObjectAddress = {{"1 байт", 1}, {"2 байта", 2}, {"3 байта", 3}};
const Items kIecVariants = {{"МЭК 101", 0}, {"МЭК 104", 1}};

// The Ethernet settings of both device pages.
std::vector<TAuditControl> EthernetControls()
{
    return {
        {"ed003", "TIPAddressEdit", "003", "IP"},
        {"ed007", "TSpinEdit", "007", "Порт"},
        {"rg022", "TRadioGroup", "022", nullptr, {{"Клиент", 0}, {"Сервер", 1}}},
        {"rg024", "TRadioGroup", "024", nullptr, {{"TCP", 0}, {"UDP", 1}}},
    };
}

std::vector<TAuditControl> HaskDeviceControls()
{
    std::vector<TAuditControl> controls = {
        {"cbPort", "QComboBox", "002", "Стык", {{"Channel", 0}, {"ETH0", 2}, {"ETH1", 3}, {"ETH0 или ETH1", 4}}},
        {"edAddr", "TSpinEdit", "000", "Адрес"},
        {"paPort", "QWidget"},
        {"paProtocol", "QWidget"},
        {"paMode", "QWidget"},
    };
    for (const TAuditControl& c : EthernetControls()) controls.push_back(c);
    return controls;
}

std::vector<TAuditControl> GrendalDeviceControls()
{
    std::vector<TAuditControl> controls = {
        {"cbPort", "QComboBox", "002", "Стык",
         {{"COM2", 0}, {"COM3", 1}, {"COM4", 2}, {"COM5", 3}, {"COM6", 4}, {"COM7", 5}, {"LAN1", 6}, {"LAN2", 7},
          {"LAN1 или LAN2", 8}}},
        {"edAddr", "TSpinEdit", "000", "Адрес"},
        {"paPort", "QWidget"},
        {"paPortCOM", "QWidget"},
        {"edSpeed", "TSpinEdit", "001", "Скорость", {}, "бит/c"}, // a Latin "c"
        {"cb068_1", "QComboBox", "068_1", "Биты данных", {{"8", 8}, {"9", 9}}},
        {"cb068_2", "QComboBox", "068_2", "Четность", {{"Нет", 0}, {"Чет", 2}, {"Нечет", 3}}},
        {"cb068_3", "QComboBox", "068_3", "Стоповые биты", {{"1", 1}, {"2", 2}}},
        {"paPortETH", "QWidget"},
        {"paProtocol", "QWidget"},
        {"paMode", "QWidget"},
    };
    for (const TAuditControl& c : EthernetControls()) controls.push_back(c);
    return controls;
}

const TAuditControl kValidityGroup = {"gbIEC", "QGroupBox", nullptr, "Формирование признака достоверности для МЭК"};
const TAuditControl kValidityIV = {"ch020", "QCheckBox", "020", "Признак достоверности IV"};
const TAuditControl kValidityNT = {"ch021", "QCheckBox", "021", "Признак достоверности NT"};
const TAuditControl kStopOnLinkLoss = {"ch019", "QCheckBox", "019", "Останавливать работу при пропадании связи с КП"};
const TAuditControl kStartDelay = {"ed055", "TSpinEdit", "055", "Задержка начала передачи", {}, "мс"};

std::vector<TAuditControl> KPdpNoneControls(bool startDelay)
{
    std::vector<TAuditControl> controls = {
        {"rg013", "TRadioGroup", "013", nullptr, kBinaryAscii},
        {"edTSLink", "TSpinEdit", "ts_link", "ВАК наличия связи"},
        {"edTITLink", "TSpinEdit", "tit_link", "ВАК качества связи"},
        {"ed0004", "TSpinEdit", "0004", "Таймаут ожидания пакета", {}, "мс"},
        {"ed0013", "TSpinEdit", "0013", "Время приостановки опроса", {}, "с"},
        {"ed0014", "TSpinEdit", "0014", "Повторов опроса"},
        {"ed0015", "TSpinEdit", "0015", "Ответов для наличия связи"},
        {"ch012", "QCheckBox", "012", "Прослушивание"},
        kValidityGroup,
        kValidityIV,
        kValidityNT,
    };
    if (startDelay) controls.push_back(kStartDelay);
    return controls;
}

std::vector<TAuditControl> PUdpNoneControls()
{
    return {
        {"gbMode", "QGroupBox", nullptr, "Режим работы"},
        {"rg013", "TRadioGroup", "013", nullptr, kBinaryAscii},
        kStopOnLinkLoss,
        kValidityGroup,
        kValidityIV,
        kValidityNT,
    };
}

std::vector<TAuditControl> SizeControls()
{
    return {
        {"cb061", "QComboBox", "061", "Причина передачи", kOneOrTwoBytes},
        {"cb062", "QComboBox", "062", "Канальный адрес", kOneOrTwoBytes},
        {"cb063", "QComboBox", "063", "Общий адрес ASDU", kOneOrTwoBytes},
        {"cb064", "QComboBox", "064", "Адрес объекта информации", kObjectAddress},
    };
}

std::vector<TAuditControl> PUIECControls(bool grendal)
{
    std::vector<TAuditControl> controls = {
        {"rg013", "TRadioGroup", "013", nullptr, kBinaryAscii},
        {"cb065", "QComboBox", "065", "ASDU ТС",
         {{"без времени", 1}, {"время 3 байта", 2}, {"время 7 байт", 30}, {"битовое поле без времени", 201}}},
        {"cb066", "QComboBox", "066", "ASDU ТИТ",
         {{"16 бит без времени", 11}, {"16 бит, время 3 байта", 12}, {"16 бит, время 7 байт", 35},
          {"float без времени", 13}, {"float, время 3 байта", 14}, {"float, время 7 байт", 36}}},
        {"cb067", "QComboBox", "067", "ASDU ТИИ", {{"без времени", 15}, {"время 3 байта", 16}, {"время 7 байт", 37}}},
        {"gbSizes", "QGroupBox", nullptr, "Размеры полей"},
        kStopOnLinkLoss,
        {"ch074", "QCheckBox", "074", "Полный опрос со временем"},
        {"ch075", "QCheckBox", "075", "Двухступенчатая команда ТУ"},
        kValidityGroup,
        kValidityIV,
        kValidityNT,
    };
    for (const auto& part : {SizeControls(), IecTimeoutAudit()}) controls.insert(controls.end(), part.begin(), part.end());
    if (grendal) {
        controls.push_back({"rg073", "TRadioGroup", "073", nullptr, kIecVariants});
        controls.push_back(kStartDelay);
        controls.push_back({"ch078", "QCheckBox", "078", "Непрерывная выдача данных на запрос класса 2"});
    }
    return controls;
}

std::vector<TAuditControl> KPIECGrendalControls()
{
    std::vector<TAuditControl> controls = {
        {"rg073", "TRadioGroup", "073", nullptr, kIecVariants},
    };
    for (const auto& part : {SizeControls(), IecTimeoutAudit(), IecPointAudit()})
        controls.insert(controls.end(), part.begin(), part.end());
    return controls;
}

// ---------------------------------------------------------------------------------
// Fixture

void SetValue(TFieldLst& list, const char* key, int32_t value)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    ASSERT_NE(field, nullptr) << key;
    field->SetValue(value);
}

// The field sizes "061" .. "064".
std::array<int32_t, 4> Sizes(const TFieldLst& device)
{
    return {ValueOf(device, "061"), ValueOf(device, "062"), ValueOf(device, "063"), ValueOf(device, "064")};
}

// The real tree with every page the program registers, in a window, over a document of
// a Pelvar or Tramel-5141 model.
class HaskGrendalPagesTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    // Shows a new document of the model instead; the last one goes.
    TZumo2Doc& Model(int code)
    {
        if (kept) doc->ReleaseDocument();
        return UseModel(code);
    }
    // The family device page of a slot after an idle cycle; none when another page shows.
    TFamilyDevicePage* Page(int slot) { return Select<TFamilyDevicePage>(DevNode(slot)); }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(HaskGrendalPagesTest, EachFamilyShowsItsOwnDevicePage)
{
    UseSlot(Document(), 0, 2, 0, 0);
    doc->RefreshTree();
    EXPECT_NE(Select<TfrDevice>(DevNode(0)), nullptr);

    UseSlot(Model(kPelvar44), 0, 2, 0, 0);
    doc->RefreshTree();
    auto* pelvar = Select<TfrDevice_Hask1>(DevNode(0));
    ASSERT_NE(pelvar, nullptr);
    EXPECT_EQ(pelvar->objectName(), "frDevice_Hask1");
    EXPECT_EQ(pelvar->Node(), DevNode(0));

    UseSlot(Model(kTramel), 0, 2, 0, 0);
    doc->RefreshTree();
    auto* tramel = Select<TfrDeviceGrendal>(DevNode(0));
    ASSERT_NE(tramel, nullptr);
    EXPECT_EQ(tramel->objectName(), "frDeviceGrendal");
    EXPECT_EQ(tramel->Node(), DevNode(0));
}

TEST_F(HaskGrendalPagesTest, EveryPageAsDescribed)
{
    struct Case {
        int index;
        int role;
        const char* rolePage;
        std::vector<TAuditControl> roleControls;
        const char* protocolPage; // none: the device page hosts no protocol page
        std::vector<TAuditControl> protocolControls; // empty: audited with the common pages
    };
    struct ModelCase {
        int code;
        const char* devicePage;
        std::vector<TAuditControl> deviceControls;
        std::vector<Case> cases;
    };
    const ModelCase models[] = {
        {kPelvar44, "frDevice_Hask1", HaskDeviceControls(),
         {{1, 0, "frKPdpNone_Hask1", KPdpNoneControls(false), "frKPIEC", {}},
          {9, 1, "frPUdpNone_Hask1", PUdpNoneControls(), nullptr, {}},
          {1, 1, "frPUIEC_Hask1", PUIECControls(false), nullptr, {}}}},
        {kTramel, "frDeviceGrendal", GrendalDeviceControls(),
         {{1, 0, "frKPdpNone_Grendal", KPdpNoneControls(true), "frKPIEC_Grendal", KPIECGrendalControls()},
          {2, 1, "frPUdpNone_Grendal", PUdpNoneControls(), nullptr, {}},
          {1, 1, "frPUIEC_Grendal", PUIECControls(true), nullptr, {}}}},
    };
    for (const ModelCase& m : models) {
        TZumo2Doc& document = Model(m.code);
        for (size_t i = 0; i < m.cases.size(); ++i)
            UseSlot(document, static_cast<int>(i), m.cases[i].index, 0, m.cases[i].role);
        doc->RefreshTree();
        for (size_t i = 0; i < m.cases.size(); ++i) {
            const Case& c = m.cases[i];
            SCOPED_TRACE(c.rolePage);
            TFamilyDevicePage* page = Page(static_cast<int>(i));
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(page->objectName(), m.devicePage);
            EXPECT_TRUE(testsupport::AuditPage(*page, Device(static_cast<int>(i)), m.deviceControls));

            TParamFrame* role = page->RoleFrame();
            ASSERT_NE(role, nullptr);
            EXPECT_EQ(role->objectName(), c.rolePage);
            EXPECT_EQ(role->parentWidget(), page->paMode);
            EXPECT_TRUE(testsupport::AuditPage(*role, Device(static_cast<int>(i)), c.roleControls));

            TParamFrame* protocol = page->ProtocolFrame();
            if (!c.protocolPage) {
                EXPECT_EQ(protocol, nullptr);
                EXPECT_EQ(page->paProtocol->height(), 0);
                continue;
            }
            ASSERT_NE(protocol, nullptr);
            EXPECT_EQ(protocol->objectName(), c.protocolPage);
            EXPECT_EQ(protocol->parentWidget(), page->paProtocol);
            if (!c.protocolControls.empty()) {
                EXPECT_TRUE(testsupport::AuditPage(*protocol, Device(static_cast<int>(i)), c.protocolControls));
            }
            // The protocol page on top, the role page below it.
            EXPECT_GT(page->paMode->y(), page->paProtocol->geometry().bottom());
        }
    }
}

TEST_F(HaskGrendalPagesTest, PelvarEthernetSettingsFollowThePortAtTheNextIdleCycle)
{
    UseSlot(Model(kPelvar41), 0, 1, 0, 0); // КП МЭК on "Channel"
    doc->RefreshTree();
    TFamilyDevicePage* page = Page(0);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->cbPort->count(), 2);
    EXPECT_EQ(page->cbPort->itemText(0), "Channel");
    EXPECT_EQ(page->cbPort->itemText(1), "ETH0");
    EXPECT_FALSE(page->paPort->isVisible());
    const int onChannel = page->height();

    Choose(page->cbPort, "ETH0");
    EXPECT_EQ(ValueOf(Device(0), "002"), 2);
    EXPECT_FALSE(page->paPort->isVisible()) << "not before the idle cycle";
    Idle();
    for (QWidget* w : std::initializer_list<QWidget*>{page->paPort, page->ed003, page->ed007, page->rg022, page->rg024})
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_GT(page->height(), onChannel) << "the page takes the settings in";
    EXPECT_GT(page->paProtocol->y(), page->paPort->y());

    Choose(page->cbPort, "Channel");
    Idle();
    EXPECT_FALSE(page->paPort->isVisible());
    EXPECT_EQ(page->height(), onChannel);

    // A stored port that no item carries ("ETH1" on a model without it) selects none and
    // shows no Ethernet settings.
    SetValue(Device(0), "002", 3);
    page->RefreshAll();
    Idle();
    EXPECT_EQ(page->cbPort->currentIndex(), -1);
    EXPECT_FALSE(page->paPort->isVisible());
    EXPECT_EQ(ValueOf(Device(0), "002"), 3);

    // With "Voice" in front, the Ethernet ports are one item further: "Voice" shows none.
    UseSlot(Model(kPelvar42Twin), 0, 1, 1, 0);
    doc->RefreshTree();
    page = Page(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->cbPort->currentText(), "Voice");
    EXPECT_FALSE(page->paPort->isVisible());
    Choose(page->cbPort, "ETH0 или ETH1");
    Idle();
    EXPECT_TRUE(page->paPort->isVisible());
    EXPECT_EQ(ValueOf(Device(0), "002"), 4);
}

TEST_F(HaskGrendalPagesTest, PelvarHostedPagesByProtocolAndRole)
{
    struct Case {
        const char* name;
        int index;
        int role;
        const char* rolePage;
        const char* protocolPage; // none: none hosted
    };
    const Case cases[] = {
        {"КП МЭК", 1, 0, "frKPdpNone_Hask1", "frKPIEC"},
        {"КП Компас 1.1", 5, 0, "frKPdpNone_Hask1", "frKPKOMPAS"},
        {"КП TM800A", 3, 0, "frKPdpNone_Hask1", nullptr},
        {"КП РПТ-80", 16, 0, "frKPdpNone_Hask1", nullptr},
        {"ПУ МЭК", 1, 1, "frPUIEC_Hask1", nullptr},
        {"ПУ ТМ 120", 12, 1, "frPUdpNone_Hask1", nullptr},
        {"ПУ TM1.1", 6, 1, "frPUdpNone_Hask1", nullptr},
    };
    TZumo2Doc& pelvar = Model(kPelvar44);
    for (size_t i = 0; i < std::size(cases); ++i) UseSlot(pelvar, static_cast<int>(i), cases[i].index, 0, cases[i].role);
    // РПТ-80 keeps what its block holds: no page shows it.
    SetValue(Device(3), "1910", 77);
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(pelvar);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        TFamilyDevicePage* page = Page(static_cast<int>(i));
        ASSERT_NE(page, nullptr);
        ASSERT_NE(page->RoleFrame(), nullptr);
        EXPECT_EQ(page->RoleFrame()->objectName(), c.rolePage);
        EXPECT_EQ(page->RoleFrame()->findChild<QWidget*>("ed055"), nullptr) << "no start delay on a Pelvar";
        EXPECT_EQ(page->ProtocolFrame() ? page->ProtocolFrame()->objectName() : QString(),
                  c.protocolPage ? c.protocolPage : "");
    }
    EXPECT_EQ(testsupport::AddressMap(pelvar), before);
    EXPECT_EQ(ValueOf(Device(3), "1910"), 77);

    // The МЭК page of a Pelvar controlled point: its timeout groups, "Канальный адрес"
    // greyed.
    auto* kp = dynamic_cast<TfrKPIEC*>(Page(0)->ProtocolFrame());
    ASSERT_NE(kp, nullptr);
    EXPECT_TRUE(kp->gbTimeouts->isVisible());
    EXPECT_TRUE(kp->gbWindow->isVisible());
    EXPECT_FALSE(kp->cb062->isEnabled());
    EXPECT_FALSE(kp->findChild<QLabel*>("lb062")->isEnabled());
}

TEST_F(HaskGrendalPagesTest, PelvarControlPointIecOffersNoZeroByteAddress)
{
    TZumo2Doc& pelvar = Model(kPelvar44);
    UseSlot(pelvar, 0, 1, 2, 1); // ПУ МЭК on "ETH0"
    SetValue(Device(0), "062", 0); // from a file
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(pelvar);
    TFamilyDevicePage* page = Page(0);
    ASSERT_NE(page, nullptr);
    TParamFrame* role = page->RoleFrame();
    ASSERT_NE(role, nullptr);
    EXPECT_EQ(role->objectName(), "frPUIEC_Hask1");
    EXPECT_EQ(page->ProtocolFrame(), nullptr);
    for (const char* name : {"gbTimeouts", "gbWindow", "gbIEC", "gbSizes", "cb065"})
        EXPECT_TRUE(role->findChild<QWidget*>(name)->isVisible()) << name;
    EXPECT_FALSE(role->findChild<QWidget*>("rg013")->isVisible());

    auto* cb062 = role->findChild<QComboBox*>("cb062");
    EXPECT_EQ(cb062->count(), 2);
    EXPECT_EQ(cb062->findData(QVariant::fromValue<qlonglong>(0)), -1);
    EXPECT_EQ(cb062->currentIndex(), -1);
    Idle();
    page->RefreshAll();
    Idle();
    EXPECT_EQ(ValueOf(Device(0), "062"), 0);
    EXPECT_EQ(testsupport::AddressMap(pelvar), before);
    Choose(cb062, "2 байта");
    EXPECT_EQ(ValueOf(Device(0), "062"), 2);
}

TEST_F(HaskGrendalPagesTest, HostedPageThatGrowsRefitsTheFamilyPage)
{
    UseSlot(Model(kPelvar44), 0, 5, 0, 0); // КП Компас 1.1
    doc->RefreshTree();
    TFamilyDevicePage* page = Page(0);
    ASSERT_NE(page, nullptr);
    auto* kompas = dynamic_cast<TfrKPKOMPAS*>(page->ProtocolFrame());
    ASSERT_NE(kompas, nullptr);
    const int height = page->height();
    const int roleAt = page->paMode->y();
    Choose(kompas->cb5001, "ПУ TM1.1"); // shows the route
    Idle();
    EXPECT_GT(page->height(), height);
    EXPECT_GT(page->paMode->y(), roleAt) << "the role page moves down below the grown page";
    EXPECT_EQ(page->paProtocol->height(), kompas->height());
}

TEST_F(HaskGrendalPagesTest, AddressRenamesTheNodeAtTheNextIdleCycle)
{
    for (int code : {kPelvar44, kTramel}) {
        SCOPED_TRACE(code);
        UseSlot(Model(code), 0, 1, 0, 0, 5);
        doc->RefreshTree();
        TFamilyDevicePage* page = Page(0);
        ASSERT_NE(page, nullptr);
        const std::string caption = DevNode(0)->Caption();
        EXPECT_EQ(caption, Device(0).DeviceCaption());
        page->edAddr->setValue(17);
        EXPECT_EQ(ValueOf(Device(0), "000"), 17);
        EXPECT_EQ(DevNode(0)->Caption(), caption);
        const std::map<uint32_t, uint8_t> stored = testsupport::AddressMap(Document());
        Idle();
        EXPECT_EQ(DevNode(0)->Caption(), Device(0).DeviceCaption());
        EXPECT_NE(DevNode(0)->Caption(), caption);
        EXPECT_EQ(testsupport::AddressMap(Document()), stored) << "renaming stores nothing";
    }
}

TEST_F(HaskGrendalPagesTest, PageWithoutANodeLeavesTheTreeAlone)
{
    for (int code : {kPelvar44, kTramel}) {
        SCOPED_TRACE(code);
        UseSlot(Model(code), 0, 1, 0, 0, 5);
        doc->RefreshTree();
        const std::string caption = DevNode(0)->Caption();
        std::unique_ptr<TFamilyDevicePage> page;
        if (code == kTramel)
            page.reset(MakeFrame<TfrDeviceGrendal>(view, nullptr, &Device(0), &registry, nullptr));
        else
            page.reset(MakeFrame<TfrDevice_Hask1>(view, nullptr, &Device(0), &registry, nullptr));
        EXPECT_EQ(page->Node(), nullptr);
        EXPECT_NE(page->ProtocolFrame(), nullptr);
        page->edAddr->setValue(9);
        for (int i = 0; i < 3; ++i) page->UpdateControls();
        EXPECT_EQ(ValueOf(Device(0), "000"), 9);
        EXPECT_EQ(DevNode(0)->Caption(), caption);
    }
}

TEST_F(HaskGrendalPagesTest, TramelSerialOrEthernetSettingsByThePort)
{
    UseSlot(Model(kTramel), 0, 1, 0, 0); // КП МЭК on "COM2"
    doc->RefreshTree();
    auto* page = Select<TfrDeviceGrendal>(DevNode(0));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->paPortCOM->isVisible());
    EXPECT_FALSE(page->paPortETH->isVisible());
    EXPECT_EQ(page->edSpeed->value(), 115200);
    const int serialAt = page->paPortCOM->x();

    Choose(page->cbPort, "LAN1");
    EXPECT_EQ(ValueOf(Device(0), "002"), 6);
    Idle();
    EXPECT_FALSE(page->paPortCOM->isVisible());
    EXPECT_TRUE(page->paPortETH->isVisible());
    EXPECT_EQ(page->paPortETH->x(), serialAt) << "the Ethernet settings take the place";
    EXPECT_EQ(page->ed007->value(), 2404);
    EXPECT_GT(page->paProtocol->y(), page->paPort->geometry().bottom());

    Choose(page->cbPort, "COM7");
    EXPECT_EQ(ValueOf(Device(0), "002"), 5);
    Idle();
    EXPECT_TRUE(page->paPortCOM->isVisible());
    EXPECT_FALSE(page->paPortETH->isVisible());

    // A free slot's port 255 counts as "above 5".
    UseSlot(Document(), 1, 2, 255, 0);
    doc->RefreshTree();
    page = Select<TfrDeviceGrendal>(DevNode(1));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->paPortETH->isVisible());
    EXPECT_EQ(page->cbPort->currentIndex(), -1);
}

TEST_F(HaskGrendalPagesTest, TramelIecVariantPresetsSizesAndEnablesItsControls)
{
    struct Case {
        const char* name;
        int role;
        bool protocolPage; // the variant is on the protocol page, else on the role page
        const char* page;
    };
    const Case cases[] = {
        {"КП", 0, true, "frKPIEC_Grendal"},
        {"ПУ", 1, false, "frPUIEC_Grendal"},
    };
    TZumo2Doc& tramel = Model(kTramel);
    for (int slot : {0, 1}) UseSlot(tramel, slot, 1, 0, cases[slot].role);
    doc->RefreshTree();
    for (int slot : {0, 1}) {
        const Case& c = cases[slot];
        SCOPED_TRACE(c.name);
        TFamilyDevicePage* device = Page(slot);
        ASSERT_NE(device, nullptr);
        TParamFrame* page = c.protocolPage ? device->ProtocolFrame() : device->RoleFrame();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->objectName(), c.page);
        auto* rg073 = page->findChild<TRadioGroup*>("rg073");
        auto* cb062 = page->findChild<QComboBox*>("cb062");
        auto* ch078 = page->findChild<QCheckBox*>("ch078");
        ASSERT_NE(rg073, nullptr);
        EXPECT_EQ(ch078 != nullptr, !c.protocolPage);
        // The enabled state of T0, К, "Канальный адрес" and (on the ПУ page) ch078.
        const auto enabled = [&] {
            return std::vector<bool>{page->findChild<QWidget*>("ed090")->isEnabled(),
                                     page->findChild<QWidget*>("ed094")->isEnabled(), cb062->isEnabled(),
                                     ch078 ? ch078->isEnabled() : false};
        };
        // A new device: "МЭК 104" with its sizes.
        EXPECT_EQ(rg073->ItemIndex(), 1);
        EXPECT_EQ(Sizes(Device(slot)), (std::array<int32_t, 4>{2, 1, 2, 3}));
        Idle();
        EXPECT_EQ(enabled(), (std::vector<bool>{true, true, false, false}));

        rg073->Button(0)->click(); // "МЭК 101"
        EXPECT_EQ(ValueOf(Device(slot), "073"), 0);
        EXPECT_EQ(Sizes(Device(slot)), (std::array<int32_t, 4>{1, 1, 1, 2}));
        EXPECT_EQ(cb062->currentText(), "1 байт");
        Idle();
        EXPECT_EQ(enabled(), (std::vector<bool>{false, false, true, !c.protocolPage}));
        EXPECT_FALSE(page->findChild<QLabel*>("lb090")->isEnabled()) << "greyed with its group";

        rg073->Button(1)->click(); // "МЭК 104"
        EXPECT_EQ(ValueOf(Device(slot), "073"), 1);
        EXPECT_EQ(Sizes(Device(slot)), (std::array<int32_t, 4>{2, 1, 2, 3}));
        Idle();
        EXPECT_EQ(enabled(), (std::vector<bool>{true, true, false, false}));
    }

    // The role pages: the КП page has the start delay, the ПУ page hides ch019.
    EXPECT_TRUE(Page(0)->RoleFrame()->findChild<QWidget*>("ed055")->isVisible());
    TParamFrame* pu = Page(1)->RoleFrame();
    EXPECT_FALSE(pu->findChild<QWidget*>("ch019")->isVisible());
    EXPECT_TRUE(pu->findChild<QWidget*>("ed055")->isVisible());
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(HaskGrendalPagesTest, TramelStoredSizesSurviveShowingThePages)
{
    TZumo2Doc& tramel = Model(kTramel);
    for (int slot : {0, 1}) {
        UseSlot(tramel, slot, 1, 0, slot); // КП, ПУ МЭК
        // "МЭК 104" with the sizes of "МЭК 101", as a file may hold them.
        for (const auto& [key, value] : {std::pair{"061", 1}, {"062", 1}, {"063", 1}, {"064", 2}})
            SetValue(Device(slot), key, value);
    }
    doc->RefreshTree();
    for (int slot : {0, 1}) {
        SCOPED_TRACE(slot);
        const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(tramel);
        TFamilyDevicePage* page = Page(slot);
        ASSERT_NE(page, nullptr);
        Idle();
        TParamFrame* iec = slot == 0 ? page->ProtocolFrame() : page->RoleFrame();
        ASSERT_NE(iec, nullptr);
        EXPECT_EQ(iec->findChild<TRadioGroup*>("rg073")->ItemIndex(), 1);
        EXPECT_EQ(iec->findChild<QComboBox*>("cb064")->currentText(), "2 байта");
        EXPECT_EQ(testsupport::AddressMap(tramel), before);

        // Shown again after a change behind the page: a variant shown is no switch.
        Choose(iec->findChild<QComboBox*>("cb064"), "3 байта");
        SetValue(Device(slot), "073", 0);
        page->RefreshAll();
        EXPECT_EQ(iec->findChild<TRadioGroup*>("rg073")->ItemIndex(), 0);
        EXPECT_EQ(Sizes(Device(slot)), (std::array<int32_t, 4>{1, 1, 1, 3}));
    }
}

TEST_F(HaskGrendalPagesTest, EditsSurviveSaveAndReopen)
{
    struct Case {
        int code;
        const char* port;
        int portIndex;
    };
    for (const Case& c : {Case{kPelvar44, "ETH1", 3}, Case{kTramel, "LAN2", 7}}) {
        SCOPED_TRACE(c.code);
        UseSlot(Model(c.code), 0, 1, 0, 0);
        doc->RefreshTree();
        TFamilyDevicePage* page = Page(0);
        ASSERT_NE(page, nullptr);
        Choose(page->cbPort, c.port);
        Idle();
        page->ed003->setText("192.168.10.7");
        page->ed007->setValue(2405);
        page->rg022->Button(0)->click();
        page->rg024->Button(1)->click();
        page->edAddr->setValue(300);
        auto* t1 = page->ProtocolFrame()->findChild<TSpinEdit*>("ed091");
        ASSERT_NE(t1, nullptr);
        t1->setValue(25);
        if (auto* variant = page->ProtocolFrame()->findChild<TRadioGroup*>("rg073")) variant->Button(0)->click();

        testsupport::TempDir dir;
        Document().SaveToFile(dir / "saved.hex");
        std::unique_ptr<TZumo2Doc> reopened = CreateModelDocument(c.code, ModelNames[c.code]);
        EXPECT_TRUE(testsupport::QuestionsOfLoading(*reopened, dir / "saved.hex").empty());
        EXPECT_EQ(testsupport::ImageDifference(*reopened, Document()), "");
        TDevice& device = *reopened->DeviceByIndex(0);
        EXPECT_EQ(ValueOf(device, "002"), c.portIndex);
        EXPECT_EQ(dynamic_cast<TField*>(device.FindField("003"))->GetValue().ToString(), "192.168.10.7");
        EXPECT_EQ(ValueOf(device, "007"), 2405);
        EXPECT_EQ(ValueOf(device, "022"), 0);
        EXPECT_EQ(ValueOf(device, "024"), 1);
        EXPECT_EQ(ValueOf(device, "000"), 300);
        EXPECT_EQ(ValueOf(device, "091"), 25);
        if (c.code == kTramel) {
            EXPECT_EQ(Sizes(device), (std::array<int32_t, 4>{1, 1, 1, 2}));
        }

        // And the page shows them.
        doc->ReleaseDocument();
        kept = std::move(reopened);
        doc->AttachDocument(kept.get(), c.code);
        doc->RefreshTree();
        page = Page(0);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->cbPort->currentText(), c.port);
        EXPECT_TRUE(page->ed003->isVisible());
        EXPECT_EQ(page->ed003->Address(), "192.168.10.7");
        EXPECT_EQ(page->rg022->ItemIndex(), 0);
    }
}

} // namespace
