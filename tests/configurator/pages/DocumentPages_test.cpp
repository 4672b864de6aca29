#include "configurator/core/ChannelExport.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGrendal.h"
#include "configurator/pages/FDevice_Hask1.h"
#include "configurator/pages/FDeviceGroup.h"
#include "configurator/pages/FKPModbus.h"
#include "configurator/pages/FKPSiemensSymap.h"
#include "configurator/pages/FKPdpNone.h"
#include "configurator/pages/FModem.h"
#include "configurator/pages/FPUdpNone.h"
#include "configurator/pages/FPort.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/TreeView.h"
#include "platform/qt/WinUtils.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "model/uZumo9.h"
#include "platform/Windows.h"
#include "platform/qt/QtWindows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::FieldOf;
using testsupport::ScopedLogRecorder;
using testsupport::UseSlot;

// The items of a combo box: text and value.
std::vector<std::pair<QString, int>> Items(const QComboBox* combo)
{
    std::vector<std::pair<QString, int>> items;
    for (int i = 0; i < combo->count(); ++i) items.emplace_back(combo->itemText(i), combo->itemData(i).toInt());
    return items;
}

// The texts of every label, check box and group title of a page.
QStringList Texts(const QWidget* page)
{
    QStringList texts;
    for (auto* w : page->findChildren<QLabel*>()) texts << w->text();
    for (auto* w : page->findChildren<QCheckBox*>()) texts << w->text();
    for (auto* w : page->findChildren<QGroupBox*>()) texts << w->title();
    return texts;
}

// A page that only fills some height, for a protocol whose page comes later.
class TStubPage : public TParamFrame {
public:
    QWidget* body;

protected:
    TStubPage(QTreeWidget* tree, TDevice* device, QWidget* parent) : TParamFrame(tree, device, parent)
    {
        body = new QWidget(this);
        body->setGeometry(0, 0, 100, 57);
    }
};

// The real tree with the real pages of the base document in a window.
using PagesTest = testsupport::PagesWindow;

TEST_F(PagesTest, DevicePageOfAControlledPoint)
{
    UseSlot(Document(), 1, 2, 0, 0, 4); // КП ModBus on "COM" at 4
    doc->RefreshTree();
    TfrDevice* page = SelectDevice(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Node(), DevNode(1));
    EXPECT_EQ(page->PortList(), Document().FindField("UART0"));

    using Items_t = std::vector<std::pair<QString, int>>;
    EXPECT_EQ(Items(page->cbPort), (Items_t{{"COM", 0}, {"XPort", 1}, {"485", 2}}));
    EXPECT_EQ(Items(page->cb005), (Items_t{{"Нет", 0}, {"\"Модемный\"", 128}, {"NE50", 135}}));
    EXPECT_EQ(Items(page->cb068_1), (Items_t{{"8", 8}, {"9", 9}}));
    EXPECT_EQ(Items(page->cb068_2), (Items_t{{"Нет", 0}, {"Чет", 2}, {"Нечет", 3}}));
    EXPECT_EQ(Items(page->cb068_3), (Items_t{{"1", 1}, {"2", 2}}));
    EXPECT_EQ(page->cbPort->currentText(), "COM");
    EXPECT_EQ(page->cb068_1->currentText(), "8");
    EXPECT_EQ(page->cb068_2->currentText(), "Нет");
    EXPECT_EQ(page->cb068_3->currentText(), "1");
    EXPECT_EQ(page->cb005->currentText(), "Нет");
    EXPECT_EQ(page->edAddr->value(), 4);
    EXPECT_EQ(page->edAddr->maximum(), 65535);
    EXPECT_EQ(page->edSpeed->value(), 115200);

    // Top to bottom: the device fields, the serial settings, the role page.
    EXPECT_TRUE(page->paPort->isVisible());
    auto* role = dynamic_cast<TfrKPdpNone*>(page->RoleFrame());
    ASSERT_NE(role, nullptr);
    EXPECT_EQ(role->parentWidget(), page->paRole);
    const QStringList texts = Texts(role);
    for (const char* text : {"Таймаут ожидания пакета", "Повторов опроса", "Прослушивание"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_EQ(role->ed0014->value(), 3);
    // Below it the ModBus page, at its height.
    auto* modbus = dynamic_cast<TfrKPModbus*>(page->ProtocolFrame());
    ASSERT_NE(modbus, nullptr);
    EXPECT_EQ(modbus->parentWidget(), page->paProtocol);
    EXPECT_EQ(page->paProtocol->height(), modbus->height());
    EXPECT_GT(page->paProtocol->height(), 0);
    EXPECT_GT(page->paRole->height(), 0);
    EXPECT_LT(page->cbPort->mapTo(page, QPoint()).y(), page->paPort->mapTo(page, QPoint()).y());
    EXPECT_LT(page->paPort->mapTo(page, QPoint()).y(), page->paRole->mapTo(page, QPoint()).y());
    EXPECT_LT(page->paRole->mapTo(page, QPoint()).y(), page->paProtocol->mapTo(page, QPoint()).y());

    // The address renames the node at the next idle cycle.
    page->edAddr->setValue(5);
    EXPECT_EQ(FieldOf(*Document().DeviceByIndex(1), "000")->GetValue().ToInt32(), 5);
    doc->UpdateFrameControls();
    EXPECT_EQ(DevNode(1)->Caption(), "КП ModBus, COM, адрес 5");
    EXPECT_EQ(view->ItemOf(DevNode(1))->text(0), "КП ModBus, COM, адрес 5");
    // The role page binds through the device.
    role->ed0004->setValue(250);
    EXPECT_EQ(FieldOf(*Document().DeviceByIndex(1), "0004")->GetValue().ToInt32(), 250);
}

TEST_F(PagesTest, SerialSettingsFollowTheFirstPortsMode)
{
    UseSlot(Document(), 0, 2, 1, 0, 1); // on "XPort": the settings follow "UART0" all the same
    doc->RefreshTree();
    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->paPort->isVisible());
    FieldOf(*Document().Find<TFieldLst>("UART0"), "016")->SetValue(int32_t{1});
    page->UpdateControls();
    EXPECT_FALSE(page->paPort->isVisible());
    FieldOf(*Document().Find<TFieldLst>("UART0"), "016")->SetValue(int32_t{0});
    FieldOf(*Document().DeviceByIndex(0), "002")->SetValue(int32_t{255});
    page->RefreshAll();
    page->UpdateControls();
    EXPECT_EQ(page->cbPort->currentIndex(), -1);
    EXPECT_FALSE(page->paPort->isVisible()) << "no port selected";
}

TEST_F(PagesTest, HostedProtocolPage)
{
    RegisterProtocolPage(registry, TProtocolPage::KPModbus, [](QTreeWidget* tree, TDevice* device, QWidget* host) {
        return MakeFrame<TStubPage>(tree, device, host);
    });

    UseSlot(Document(), 2, 2, 0, 0);
    UseSlot(Document(), 3, 3, 0, 0); // TM800A has no page
    UseSlot(Document(), 4, 2, 0, 1); // ModBus has no ПУ page
    doc->RefreshTree();
    TfrDevice* page = SelectDevice(2);
    ASSERT_NE(page, nullptr);
    QPointer<TParamFrame> stub = page->ProtocolFrame();
    ASSERT_TRUE(stub);
    EXPECT_EQ(stub->parentWidget(), page->paProtocol);
    EXPECT_EQ(stub->height(), 57 + 4);
    EXPECT_EQ(page->paProtocol->height(), stub->height());
    EXPECT_TRUE(stub->isVisible());

    // Made again: the old pages go first.
    QPointer<TParamFrame> role = page->RoleFrame();
    page->CreateProtocolFrames();
    EXPECT_FALSE(stub);
    EXPECT_FALSE(role);
    EXPECT_EQ(page->paRole->findChildren<TParamFrame*>().size(), 1);
    EXPECT_EQ(page->paProtocol->findChildren<TParamFrame*>().size(), 1);

    page = SelectDevice(3);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ProtocolFrame(), nullptr);
    EXPECT_NE(dynamic_cast<TfrKPdpNone*>(page->RoleFrame()), nullptr);
    page = SelectDevice(4);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->ProtocolFrame(), nullptr);
    EXPECT_NE(dynamic_cast<TfrPUdpNone*>(page->RoleFrame()), nullptr);
}

TEST_F(PagesTest, ControlPointRolePageByProtocol)
{
    UseSlot(Document(), 0, 1, 0, 1); // ПУ МЭК
    UseSlot(Document(), 1, 5, 0, 1); // ПУ Компас 1.1
    UseSlot(Document(), 2, 2, 0, 1); // ПУ ModBus
    doc->RefreshTree();

    auto role = [&](int slot) { return dynamic_cast<TfrPUdpNone*>(SelectDevice(slot)->RoleFrame()); };
    TfrPUdpNone* iec = role(0);
    ASSERT_NE(iec, nullptr);
    EXPECT_TRUE(iec->gbIEC->isVisible());
    EXPECT_EQ(iec->gbIEC->title(), "Формирование признака достоверности для МЭК");
    EXPECT_FALSE(iec->gbChannel->isVisible());
    EXPECT_TRUE(iec->gbMode->isVisible());
    EXPECT_EQ(iec->gbMode->y(), 0) << "Режим работы takes the channel group's place";

    TfrPUdpNone* kompas = role(1);
    ASSERT_NE(kompas, nullptr);
    EXPECT_FALSE(kompas->gbIEC->isVisible());
    EXPECT_TRUE(kompas->gbChannel->isVisible());
    EXPECT_FALSE(kompas->edTITLink->isVisible());
    EXPECT_FALSE(kompas->ed0013->isVisible());
    EXPECT_TRUE(kompas->edTSLink->isVisible());
    EXPECT_GT(kompas->gbMode->y(), kompas->gbChannel->y());
    EXPECT_EQ(kompas->lb0004->text(), "Таймаут наличия связи");
    EXPECT_EQ(kompas->lb0004Unit->text(), "с.");

    TfrPUdpNone* modbus = role(2);
    ASSERT_NE(modbus, nullptr);
    EXPECT_FALSE(modbus->gbChannel->isVisible());
    EXPECT_FALSE(modbus->gbIEC->isVisible());
    modbus->ch019->setChecked(true);
    EXPECT_EQ(FieldOf(*Document().DeviceByIndex(2), "019")->GetValue().ToInt32(), 1);
}

TEST_F(PagesTest, SiemensDeviceHasItsRolePageAndTheSymapPage)
{
    doc->CreateDocumentForModel(17, "Zumo2 Siemens");
    UseSlot(Document(), 0, 28, 0, 0); // КП Siemens Symap on COM
    doc->RefreshTree();
    EXPECT_EQ(DevNode(0)->Caption(), "КП Siemens Symap, COM, адрес 0");
    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_NE(dynamic_cast<TFrKPSiemensSymap*>(page->ProtocolFrame()), nullptr);
    EXPECT_NE(dynamic_cast<TfrKPdpNone*>(page->RoleFrame()), nullptr);
}

TEST_F(PagesTest, PortPageModeRule)
{
    auto* page = Select<TfrPort>(doc->Groups().Root->Child(0));
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->cb016->count(), 2);
    EXPECT_EQ(page->cb016->currentText(), "Асинхронный");
    const std::vector<QWidget*> switched = {page->gbFlags, page->chInverseRxD, page->rgLevel, page->chInversDE,
                                            page->gbTimes, page->edSendLider, page->edWindow};
    const auto expectMode = [&](bool synchronous) {
        for (QWidget* w : switched) EXPECT_EQ(w->isEnabled(), synchronous) << w->objectName().toStdString();
        EXPECT_TRUE(page->cb016->isEnabled());
        EXPECT_TRUE(page->ch018->isEnabled());
    };
    expectMode(false);

    page->cb016->setCurrentIndex(1);
    EXPECT_EQ(FieldOf(*Document().Find<TFieldLst>("UART0"), "016")->GetValue().ToInt32(), 1);
    expectMode(true);
    page->chInverseRxD->setChecked(true);
    EXPECT_EQ(FieldOf(*Document().Find<TFieldLst>("UART0"), "051")->GetValue().ToInt32(), 1);

    page->cb016->setCurrentIndex(0);
    expectMode(false);
    // A lock of the window and its end leave the mode's disabled controls disabled.
    EnableChildren(window.get(), false);
    EXPECT_FALSE(page->cb016->isEnabled());
    EnableChildren(window.get(), true);
    expectMode(false);
}

TEST_F(PagesTest, LaidOutPagesFitTheirHeight)
{
    // Made outside any layout and fitted before it is shown in a scroll area, as the main
    // window places a page: the height comes from the page's layout, not from the size
    // the page happened to have.
    QScrollArea host;
    host.resize(700, 200);
    host.show();
    QPointer<TfrCommon> page = MakeFrame<TfrCommon>(view, &Document(), &host);
    page->resize(600, 30);
    page->FitHeight();
    const int fitted = page->height();
    host.setWidget(page);
    page->show();
    Process();
    EXPECT_EQ(page->height(), fitted);
    EXPECT_GE(fitted, page->layout()->totalMinimumSize().height());
    for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isHidden()) continue;
        EXPECT_LE(w->geometry().bottom() + 1, fitted) << w->objectName().toStdString();
    }
    EXPECT_GT(page->edBufTSDPI->mapTo(page, QPoint()).y(), page->edBufTS->mapTo(page, QPoint()).y());
    EXPECT_GT(page->height(), 300);
}

class VetoingDoc : public TZumo2Doc {
public:
    // Refuses a time-check period above 2000.
    void ValidateFieldChange(const void*, TField* field, const Variant& value, TFieldLst*, bool& accept) override
    {
        if (field == FindField("044") && value.ToInt32() > 2000) accept = false;
    }
};

TEST_F(PagesTest, CommonPage)
{
    auto* page = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->gbBuffer->title(), "Буфер архива событий (макс. 1200 событий)");
    const QStringList texts = Texts(page);
    for (const char* text : {"Контроль по функции", "Контроль по PPS", "Буфер ТС", "Буфер ТИТ", "Буфер TSDP"})
        EXPECT_TRUE(texts.contains(text)) << text;
    EXPECT_TRUE(page->ch022->isChecked());
    EXPECT_EQ(page->edBufTS->value(), 500);
    EXPECT_EQ(page->edBufTSDPI->value(), 200);
    EXPECT_FALSE(page->edVAC_TU1->isVisible());
    EXPECT_FALSE(page->paNet->isVisible());
    EXPECT_EQ(page->FieldOf(page->ed050), nullptr) << "the base model has no network";

    TField* ts = FieldOf(Document(), "041");
    TField* tit = FieldOf(Document(), "042");
    page->edBufTS->setValue(1000);
    EXPECT_EQ(tit->GetValue().ToInt32(), 200);
    page->edBufTIT->setValue(500);
    EXPECT_EQ(ts->GetValue().ToInt32(), 700);
    EXPECT_EQ(page->edBufTS->value(), 700);
    EXPECT_EQ(tit->GetValue().ToInt32(), 500);
    // More than the capacity empties the other buffer; the value entered stays.
    page->edBufTS->setValue(1500);
    EXPECT_EQ(tit->GetValue().ToInt32(), 0);
    EXPECT_EQ(ts->GetValue().ToInt32(), 1500);
    // The TSDP buffer only starts the rule.
    tit->SetValue(int32_t{400});
    page->edBufTSDPI->setValue(300);
    EXPECT_EQ(ts->GetValue().ToInt32(), 800);
    EXPECT_EQ(FieldOf(Document(), "TS_DPI_buf_size")->GetValue().ToInt32(), 300);

    // The document vetoes values of its fields.
    kept = MakeDocument<VetoingDoc>();
    TZumo2Doc* owned = kept.get();
    owned->ResetDefaults();
    doc->AttachDocument(owned, 0);
    doc->RefreshTree();
    page = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(page, nullptr);
    page->edPeriodCheckTime->setValue(2500);
    EXPECT_EQ(FieldOf(*owned, "044")->GetValue().ToInt32(), 1440);
    EXPECT_EQ(page->edPeriodCheckTime->value(), 1440);
    page->edPeriodCheckTime->setValue(1500);
    EXPECT_EQ(FieldOf(*owned, "044")->GetValue().ToInt32(), 1500);
    doc->ReleaseDocument();
}

TEST_F(PagesTest, Zumo9CommonPageEditsTheCommandAddress)
{
    testsupport::DialogScript script;
    doc->CreateDocumentForModel(4, "Zumo9");
    auto* zumo9 = dynamic_cast<TZumo9Doc*>(&Document());
    ASSERT_NE(zumo9, nullptr);
    TDevChannel& block = *zumo9->DeviceByIndex(2)->ChannelBlockByIndex(3);
    FieldOf(block, "0004")->SetValue(int32_t{3}); // a ТУ block over [5, 8)
    FieldOf(block, "0003")->SetValue(int32_t{5});
    FieldOf(block, "0002")->SetValue(int32_t{3});

    auto* page = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(page, nullptr);
    auto* row = page->findChild<QWidget*>("paVAC_TU1");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->isVisible());
    EXPECT_TRUE(page->edVAC_TU1->isVisible());
    EXPECT_TRUE(page->lbVAC_TU1->isVisible());
    EXPECT_EQ(page->lbVAC_TU1->text(), "ВАК ТУ1");
    EXPECT_EQ(page->FieldOf(page->edVAC_TU1), zumo9->CommandAddressField());
    EXPECT_EQ(page->edVAC_TU1->minimum(), 0);
    EXPECT_EQ(page->edVAC_TU1->maximum(), 65535);
    // Right below the time-check group, above everything else of the page.
    const auto top = [&](QWidget* w) { return w->mapTo(page, QPoint()).y(); };
    EXPECT_GE(top(row), top(page->gbTimeCheck) + page->gbTimeCheck->height());
    EXPECT_LT(top(row), top(page->chQuality));
    EXPECT_LT(top(row), top(page->gbBuffer));

    // An address inside the ТУ range: reported in the message list and in an error box,
    // and the old value stays.
    TSpinEdit* spin = page->edVAC_TU1;
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "6");
    script->PushAnswer(platform::MsgResult::OK);
    log.Clear();
    QTest::keyClick(spin, Qt::Key_Return);
    ASSERT_EQ(script->Records().size(), 1u);
    EXPECT_EQ(script->Records()[0].box.text, "ВАК ТУ1 пересекается с общим списком каналов ТУ");
    const std::vector<testsupport::LogLine> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), testsupport::LogLine{"Значение ВАК(6) ТУ уже занято", 1}),
              lines.end());
    EXPECT_EQ(zumo9->CommandAddressField()->GetValue().ToInt32(), 0);
    EXPECT_EQ(spin->value(), 0);

    // One outside it is stored.
    spin->selectAll();
    QTest::keyClicks(spin, "9");
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(zumo9->CommandAddressField()->GetValue().ToInt32(), 9);
    EXPECT_EQ(script->Records().size(), 1u);

    // Other models do not show it.
    doc->CreateDocumentForModel(2, "Zumo4");
    page = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->edVAC_TU1->isVisible());
    EXPECT_FALSE(page->lbVAC_TU1->isVisible());
    EXPECT_FALSE(page->findChild<QWidget*>("paVAC_TU1")->isVisible());
    EXPECT_EQ(page->FieldOf(page->edVAC_TU1), nullptr);
}

TEST_F(PagesTest, PelvarPortAndCommonPages)
{
    // The base model's pages, for the heights the Pelvar pages give up.
    auto* basePort = Select<TfrPort>(doc->Groups().Root->Child(0));
    ASSERT_NE(basePort, nullptr);
    const int baseFlags = basePort->gbFlags->height();
    auto* baseCommon = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(baseCommon, nullptr);
    const int baseTimeCheck = baseCommon->gbTimeCheck->height();

    for (int code : {6, 9, 10}) {
        SCOPED_TRACE(code);
        kept = CreateModelDocument(code, "Pelvar");
        TZumo2Doc& pelvar = *kept;
        doc->AttachDocument(&pelvar, code);
        doc->RefreshTree();

        auto* port = Select<TfrPort>(doc->Groups().Root->Child(0));
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->ch058->text(), "Непрерывная несущая");
        EXPECT_FALSE(port->cb016->isVisible());
        EXPECT_TRUE(port->rgLevel->isVisible());
        EXPECT_TRUE(port->ch058->isVisible());
        for (QWidget* w : std::initializer_list<QWidget*>{port->chInverseRxD, port->chInverseTxD, port->chFullPacket,
                                                          port->chInversDE})
            EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
        EXPECT_LT(port->gbFlags->height(), baseFlags);
        EXPECT_GE(port->gbFlags->height(), port->rgLevel->height() + port->ch058->height());
        EXPECT_TRUE(port->gbFlags->isEnabled()) << "no mode rule on the channel";
        port->ch058->setChecked(true);
        EXPECT_EQ(FieldOf(*pelvar.Find<TFieldLst>("ADSP"), "058")->GetValue().ToInt32(), 1);

        auto* common = Select<TfrCommon>(doc->Groups().Root);
        ASSERT_NE(common, nullptr);
        EXPECT_EQ(common->gbBuffer->title(), "Буфер архива событий (макс. 50000 событий)");
        EXPECT_FALSE(common->ch023->isVisible());
        EXPECT_FALSE(common->ch028->isVisible());
        EXPECT_TRUE(common->ch022->isVisible());
        EXPECT_LT(common->gbTimeCheck->height(), baseTimeCheck);
        EXPECT_TRUE(common->paNet->isVisible());
        EXPECT_TRUE(common->gbNet1->isVisible());
        EXPECT_EQ(common->gbNet2->isVisible(), code != 10);
        EXPECT_EQ(common->FieldOf(common->ed050), pelvar.FindField("050"));
        EXPECT_EQ(common->FieldOf(common->ed055), pelvar.FindField("055"));
        common->edBufTS->setValue(40000);
        common->edBufTIT->setValue(20000);
        EXPECT_EQ(FieldOf(pelvar, "041")->GetValue().ToInt32(), 30000);
        EXPECT_EQ(FieldOf(pelvar, "042")->GetValue().ToInt32(), 20000);

        // A КП added under "ETH0" stores the port's index.
        doc->BuildAddDeviceMenu();
        const TMenuItem& kp = *doc->AddDeviceMenu().Item(1);
        const TMenuItem* eth0 = nullptr;
        for (int i = 0; i < kp.Count(); ++i)
            if (kp.Item(i)->Caption == "ETH0") eth0 = kp.Item(i);
        ASSERT_NE(eth0, nullptr);
        ASSERT_TRUE(doc->AddDeviceFromMenu(*eth0->Item(0)));
        EXPECT_EQ(pelvar.DeviceByIndex(0)->PortField()->GetValue().ToInt32(), 2);
        EXPECT_EQ(pelvar.DeviceByIndex(0)->RoleField()->GetValue().ToInt32(), 0);

        // A device shows the Pelvar device page, a modem node the modem page.
        EXPECT_NE(Select<TfrDevice_Hask1>(DevNode(0)), nullptr);
        const int modem = code == 9 ? 2 : 1;
        const TfrModem* modemPage = Select<TfrModem>(doc->Groups().Root->Child(modem));
        ASSERT_NE(modemPage, nullptr);
        EXPECT_EQ(modemPage->FieldList, pelvar.FindField("Modem1"));
        doc->ReleaseDocument();
    }
}

TEST_F(PagesTest, DeviceGroupPage)
{
    UseSlot(Document(), 2, 2, 0, 0, 9);
    UseSlot(Document(), 5, 1, 1, 1, 10);
    UseSlot(Document(), 7, 12, 2, 0, 100);
    doc->RefreshTree();
    auto* page = Select<TfrDeviceGroup>(doc->Groups().Devices);
    ASSERT_NE(page, nullptr);
    QAbstractItemModel* model = page->Grid()->model();
    ASSERT_EQ(model->rowCount(), 3);
    QStringList headers;
    for (int c = 0; c < model->columnCount(); ++c) headers << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, (QStringList{"№", "Протокол", "Порт", "Роль", "Адрес"}));
    const auto column = [&](int c) {
        QStringList texts;
        for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, c).data().toString();
        return texts;
    };
    EXPECT_EQ(column(0), (QStringList{"3", "6", "8"}));
    EXPECT_EQ(column(1), (QStringList{"ModBus", "МЭК", "ТМ 120"}));
    EXPECT_EQ(column(2), (QStringList{"COM", "XPort", "485"}));
    EXPECT_EQ(column(3), (QStringList{"КП", "ПУ", "КП"}));
    const QFontMetrics metrics = page->Grid()->fontMetrics();
    EXPECT_GE(page->Grid()->columnWidth(1), std::max(100, metrics.horizontalAdvance("ТМ 120") + 30));
    EXPECT_GE(page->Grid()->columnWidth(2), 50);
    // Devices changed behind the page: its rows are read again.
    UseSlot(Document(), 9, 2, 0, 0, 1);
    doc->Frame()->RecordsChanged();
    EXPECT_EQ(model->rowCount(), 4);
    FieldOf(*Document().DeviceByIndex(9), "004")->SetValue(int32_t{255});
    doc->Frame()->RecordsChanged();
    EXPECT_EQ(model->rowCount(), 3);

    // The header's cycle on "Адрес": ascending as text, descending, unsorted.
    QHeaderView* header = page->Grid()->horizontalHeader();
    emit header->sectionClicked(4);
    EXPECT_EQ(column(4), (QStringList{"10", "100", "9"}));
    emit header->sectionClicked(4);
    EXPECT_EQ(column(4), (QStringList{"9", "100", "10"}));
    emit header->sectionClicked(4);
    EXPECT_EQ(column(4), (QStringList{"9", "10", "100"}));
    EXPECT_FALSE(header->isSortIndicatorShown());
    emit header->sectionClicked(4);

    // A double click jumps to the row's device.
    QWidget receiver;
    platform::qt::RegisterMainWindow(&receiver, [this](platform::HWND, platform::UINT msg, platform::WPARAM w,
                                                       platform::LPARAM l) -> platform::LRESULT {
        if (msg == platform::WM_FRAME_NOTIFY) doc->FrameNotify(w, l);
        return 0;
    });
    emit page->Grid()->doubleClicked(model->index(1, 0)); // "100": slot 8
    Process();
    EXPECT_EQ(doc->Tree().Focused(), DevNode(7));
    EXPECT_NE(dynamic_cast<TfrDevice*>(doc->Frame()->Widget()), nullptr);
}

TEST_F(PagesTest, GrendalPagesWithEverySlotInUse)
{
    kept = CreateModelDocument(7, "Tramel-5141");
    TZumo2Doc& grendal = *kept;
    doc->AttachDocument(&grendal, 7);
    doc->RefreshTree();

    // The common page takes the Pelvar branch with both network panels.
    auto* common = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(common->gbBuffer->title(), "Буфер архива событий (макс. 50000 событий)");
    EXPECT_FALSE(common->ch023->isVisible()) << "Контроль по PPS";
    EXPECT_FALSE(common->ch028->isVisible()) << "Автоматическая коррекция часов";
    EXPECT_TRUE(common->paNet->isVisible());
    EXPECT_TRUE(common->gbNet1->isVisible());
    EXPECT_TRUE(common->gbNet2->isVisible());
    EXPECT_EQ(common->gbNet2->title(), "Параметры сети 2");
    EXPECT_EQ(common->FieldOf(common->ed050), grendal.FindField("050"));
    EXPECT_EQ(common->FieldOf(common->ed055), grendal.FindField("055"));

    // Every slot in use, its address its slot number, one channel block each.
    ASSERT_EQ(grendal.DeviceCount(), 200);
    for (int i = 0; i < 200; ++i) {
        UseSlot(grendal, i, 2, i % 9, 0, i + 1);
        FieldOf(*grendal.DeviceByIndex(i)->ChannelBlockByIndex(0), "0002")->SetValue(int32_t{1});
    }
    doc->RefreshTree();

    // The group page lists the slots in slot order, not in key order.
    auto* group = Select<TfrDeviceGroup>(doc->Groups().Devices);
    ASSERT_NE(group, nullptr);
    QAbstractItemModel* model = group->Grid()->model();
    ASSERT_EQ(model->rowCount(), 200);
    for (int r : {0, 9, 98, 99, 100, 199})
        EXPECT_EQ(model->index(r, 0).data().toString(), QString::number(r + 1)) << r;
    EXPECT_EQ(model->index(8, 2).data().toString(), "LAN1 или LAN2");

    // The export writes the devices in slot order: "Устройство_100" after "Устройство_99".
    const std::vector<std::string> lines = CollectChannelCsvLines(grendal);
    ASSERT_EQ(lines.size(), 200u);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::istringstream line(lines[i]);
        std::string title, port, address;
        std::getline(line, title, ',');
        std::getline(line, port, ',');
        std::getline(line, address, ',');
        EXPECT_EQ(address, " " + std::to_string(i + 1)) << lines[i];
    }
    EXPECT_EQ(lines[6], "КП ModBus, LAN1, 7, 0, 1, 0, неопределено: 255");

    // A device node shows the Tramel-5141 device page.
    EXPECT_NE(Select<TfrDeviceGrendal>(DevNode(99)), nullptr);
    EXPECT_NE(Select<TfrDeviceGrendal>(DevNode(199)), nullptr);
    doc->ReleaseDocument();
}

} // namespace
