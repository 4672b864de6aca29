#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPGranit.h"
#include "configurator/pages/FPUGranit.h"
#include "configurator/widgets/FGranitAFBGrid.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/TreeView.h"
#include "model/uZumo2.h"
#include "platform/Windows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using testsupport::AreaBytes;
using testsupport::LogLine;
using testsupport::TAuditControl;
using testsupport::UseSlot;
using Items = std::vector<std::pair<const char*, int>>;

constexpr int kTableOffset = 15; // of "TSDB1" in the protocol area
constexpr const char* kSuccess = "Проверка параметров Гранит АФБ завершилась успешно";
constexpr const char* kTSMismatch = "Не соответствие количества ФБ ТС с количеством каналов ТС";

// ---------------------------------------------------------------------------------
// The pages as their description gives them

std::vector<TAuditControl> KPControls(const Items& commands, const char* numberKey)
{
    return {
        {"gbTiming", "QGroupBox", nullptr, ""},
        {"cb0901", "QComboBox", "0901", "Тип устройства", {{"Гранит", 0}, {"Гранит-Микро", 1}}},
        {"ed0906", "TSpinEdit", "0906", "Период опроса КП", {}, "с"},
        {"ed0907", "TSpinEdit", "0907", "Период опроса ТС", {}, "с"},
        {"ed0908", "TSpinEdit", "0908", "Период опроса ТИТ", {}, "с"},
        {"ed0909", "TSpinEdit", "0909", "Период опроса ТИИ", {}, "с"},
        {"seSMeandrTimeout", "TSpinEdit", "SMeandrPeriod", "Период отправки\nмеандра (мс)"},
        {"btnCheck", "QPushButton", nullptr, nullptr},
        {"gbLinkDown", "QGroupBox", nullptr, "Обработка события пропадания связи"},
        {"cbLinkDownEvent", "QComboBox", "TrigEvenLinkDown_Cmd", "Сервисная команда", commands},
        {"seLinkDownCmdVAK", "TSpinEdit", numberKey, "номер"},
        {"edCmdTimeout", "TSpinEdit", "TrigEvenLinkDown_Timeout", "Таймаут (c.)"},
        {"seCmdRepeatCount", "TSpinEdit", "TrigEvenLinkDown_RepeatCount", "Кво повторов"},
    };
}

std::vector<TAuditControl> PUControls(const Items& commands, const char* commandKey)
{
    return {
        {"seAFBServTU", "TSpinEdit", "AFBServTU", "АФБ сервисного ТУ"},
        {"chReqInvalidTS", "QCheckBox", "ReqInvalidTS", "Отвечать на запрос ТС(при недостоверности)"},
        {"chReqInvalidTIT", "QCheckBox", "ReqInvalidTIT", "Отвечать на запрос ТИТ(при недостоверности)"},
        {"seTU_ExecTimeout", "TSpinEdit", "PU_TU_ExecTimeout", "Таймаут ожидания ТУ (с.)"},
        {"cb0901", "QComboBox", "0901"},
        {"ed0909", "TSpinEdit", "0909"},
        {"gbCyclic", "QGroupBox", nullptr, "Циклическая выдача"},
        {"ed0907", "TSpinEdit", "0907", "Период выдачи ТС", {}, "с"},
        {"ed0908", "TSpinEdit", "0908", "Период выдачи ТИТ", {}, "с"},
        {"cbServiceCmd", "QComboBox", commandKey, "Сервисная команда", commands, "номер"},
        {"gbServiceAddress", "QGroupBox", nullptr, "Назначение серв. ТУ1 - ТУ Гранит"},
        {"seServiceBlock", "TSpinEdit", nullptr, "N блока ТУ1"},
        {"seServiceGroup", "TSpinEdit", nullptr, "N группы"},
        {"seServiceObject", "TSpinEdit", nullptr, "N объекта"},
    };
}

const Items kBaseLinkDown = {{"Нет", 0}, {"Собственные ТУ", 1}, {"D\u041E", 2}}; // a Cyrillic "О"
const Items kBaseServiceCmd = {{"Нет", 0}, {"Собственные ТУ", 1}, {"DO", 2}};
const Items kZumo9Commands = {{"Нет", 0}, {"Вн. ТУ1", 1}};

// ---------------------------------------------------------------------------------
// Fixture

std::vector<int> TableBytes(const TDevice& device) { return AreaBytes(device, kTableOffset, 15); }

void WriteTableBytes(TDevice& device, std::vector<uint8_t> bytes)
{
    device.WriteBytes(device.ProtocolAreaOffset() + kTableOffset, bytes.data(), bytes.size());
}

TField& FieldOf(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    if (!field) throw std::runtime_error(std::string("no field ") + key);
    return *field;
}

// 15 bytes: the head, then 0xFF.
std::vector<int> Table(std::vector<int> head)
{
    head.resize(15, 0xFF);
    return head;
}

class GranitPagesTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    // The Гранит controlled point page of slot 0, its window active.
    TfrKPGranit* KPPage()
    {
        UseSlot(Document(), 0, 9, 0, 0);
        doc->RefreshTree();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return ProtocolPage<TfrKPGranit>(0);
    }

    static QTableWidget* GridOf(const TGranitFrame* page) { return page->Grid()->grChannels; }
    // A data cell's top left corner on the screen.
    QPoint CellCorner(const TGranitFrame* page, int column)
    {
        QTableWidget* grid = GridOf(page);
        return grid->viewport()->mapToGlobal(grid->visualRect(grid->model()->index(0, column)).topLeft());
    }

    size_t Count(const LogLine& line) const
    {
        const std::vector<LogLine> lines = log.Lines();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
    }
    // Waits for a line, then lets whatever else was posted run.
    bool Logged(const LogLine& line)
    {
        const bool seen = qttest::PumpUntil([&] { return Count(line) > 0; });
        Process();
        return seen;
    }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(GranitPagesTest, BothPagesAsDescribed)
{
    UseSlot(Document(), 0, 9, 0, 0);
    UseSlot(Document(), 1, 9, 0, 1);
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());

    TfrDevice* device = SelectDevice(0);
    ASSERT_NE(device, nullptr);
    auto* kp = dynamic_cast<TfrKPGranit*>(device->ProtocolFrame());
    ASSERT_NE(kp, nullptr);
    EXPECT_EQ(kp->objectName(), "frKPGranit");
    EXPECT_TRUE(testsupport::AuditPage(*kp, Device(0), KPControls(kBaseLinkDown, "LinkDownCmdVAK")));
    EXPECT_EQ(kp->btnCheck->text(), "Проверка");
    EXPECT_EQ(kp->cb0901->currentText(), "Гранит");
    EXPECT_EQ(kp->cbLinkDownEvent->currentText(), "Нет");
    EXPECT_EQ(kp->seLinkDownCmdVAK->maximum(), 255) << "a byte's limits";
    EXPECT_TRUE(kp->seLinkDownCmdVAK->isVisible());
    EXPECT_EQ(kp->edCmdTimeout->value(), 10);
    EXPECT_EQ(kp->seCmdRepeatCount->value(), 2);

    // The strip: 15 narrow cells headed "  1" .. "  15", all "Нет", the label beside.
    TFrGranitAFBGrid* grid = kp->Grid();
    QTableWidget* cells = grid->grChannels;
    const int w = cells->fontMetrics().horizontalAdvance("WAZQ");
    ASSERT_EQ(cells->columnCount(), 15);
    ASSERT_EQ(cells->rowCount(), 1);
    EXPECT_EQ(cells->width(), (w + 1) * 15 + 7);
    EXPECT_EQ(grid->paGrid->width(), cells->width() + 3);
    EXPECT_FALSE(cells->verticalHeader()->isVisible());
    for (int column = 0; column < 15; ++column) {
        EXPECT_EQ(cells->horizontalHeaderItem(column)->text(), QString("  %1").arg(column + 1));
        EXPECT_EQ(cells->columnWidth(column), w + 1);
        EXPECT_EQ(grid->CellText(column, 1), "Нет") << column;
    }
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->lbMaxTU->text(), "Доступно 2 ТУ!");
    EXPECT_EQ(grid->lbMaxTU->y(), grid->paGrid->y()) << "beside the strip";
    std::vector<std::pair<QString, int>> menu;
    for (QAction* action : grid->pmAFB_Grid->actions()) menu.emplace_back(action->text(), action->data().toInt());
    EXPECT_EQ(menu, (std::vector<std::pair<QString, int>>{{"Нет", 0}, {"ТС", 1}, {"ТИТ", 2}, {"ТУ", 3}}));
    // The groups take the grid panel's width; the strip sits between them.
    EXPECT_EQ(kp->gbTiming->width(), std::max(grid->paGrid->width(), kp->gbTiming->minimumSizeHint().width()));
    EXPECT_EQ(kp->gbLinkDown->width(), kp->gbTiming->width());
    EXPECT_GT(grid->y(), kp->gbTiming->y());
    EXPECT_LT(grid->y(), kp->btnCheck->y());
    EXPECT_LT(kp->btnCheck->y(), kp->gbLinkDown->y());

    device = SelectDevice(1);
    ASSERT_NE(device, nullptr);
    auto* pu = dynamic_cast<TFrPUGranit*>(device->ProtocolFrame());
    ASSERT_NE(pu, nullptr);
    EXPECT_EQ(pu->objectName(), "frPUGranit");
    EXPECT_TRUE(testsupport::AuditPage(*pu, Device(1), PUControls(kBaseServiceCmd, "ServicedPUTU")));
    EXPECT_FALSE(pu->cb0901->isVisible());
    EXPECT_FALSE(pu->ed0909->isVisible());
    EXPECT_TRUE(pu->findChild<QLabel*>("lbServiceCmdUnit")->isVisible());
    EXPECT_EQ(pu->seTU_ExecTimeout->value(), 5);
    EXPECT_EQ(pu->seTU_ExecTimeout->minimum(), 0);
    EXPECT_EQ(pu->seTU_ExecTimeout->maximum(), 65535);
    EXPECT_EQ(pu->seAFBServTU->minimum(), 1);
    EXPECT_EQ(pu->seAFBServTU->maximum(), 15);
    for (TSpinEdit* edit : {pu->seServiceBlock, pu->seServiceGroup, pu->seServiceObject}) EXPECT_EQ(edit->value(), 1);
    EXPECT_EQ(pu->Grid()->CellText(14, 1), "Нет");
    EXPECT_EQ(pu->gbCyclic->width(), pu->gbServiceAddress->width());
    EXPECT_LT(pu->Grid()->y(), pu->gbServiceAddress->y());
    EXPECT_LT(pu->gbServiceAddress->y(), pu->seTU_ExecTimeout->mapTo(pu, QPoint()).y());

    // Showing the pages stored nothing.
    EXPECT_EQ(testsupport::AddressMap(Document()), before);
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(GranitPagesTest, KPEditingThroughTheMenuAndKeys)
{
    TfrKPGranit* page = KPPage();
    ASSERT_NE(page, nullptr);
    TFrGranitAFBGrid* grid = page->Grid();
    QTableWidget* cells = GridOf(page);
    QMenu* menu = grid->pmAFB_Grid;

    // The strip well inside the screen, so that the menu opens where it is asked to.
    window->move(window->x(), window->y() - (CellCorner(page, 0).y() - 200));
    Process();
    ASSERT_GT(CellCorner(page, 0).y(), 100);
    ASSERT_LT(CellCorner(page, 0).y(), 300);

    // Enter on slot 5: the menu at the cell's corner, and the key goes no further.
    cells->setCurrentCell(0, 4);
    QTest::keyClick(cells, Qt::Key_Return);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), CellCorner(page, 4));
    EXPECT_EQ(cells->currentColumn(), 4);
    menu->hide();

    // A press on slot 7 selects it and opens the menu at the mouse.
    const QPoint at = cells->visualRect(cells->model()->index(0, 6)).center();
    QTest::mousePress(cells->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(grid->SelectedColumn(), 6);
    EXPECT_EQ(grid->SelectedRow(), 1);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), cells->viewport()->mapToGlobal(at));

    const std::map<uint32_t, uint8_t> untouched = testsupport::AddressMap(Document());
    grid->TypeAction(2)->trigger(); // "ТИТ"
    menu->hide();
    EXPECT_EQ(TableBytes(Device(0)), Table({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x32}));
    EXPECT_EQ(FieldOf(Device(0), "TSDB1").GetValue().ToString(), "яяяяяя2яяяяяяяя");
    EXPECT_EQ(grid->CellText(6, 1), "ТИТ");

    // Delete: slot 7 empty again, and nothing else changed.
    QTest::keyClick(cells, Qt::Key_Delete);
    EXPECT_EQ(grid->CellText(6, 1), "Нет");
    EXPECT_EQ(testsupport::AddressMap(Document()), untouched);

    // Two ТУ: the menu no longer offers "ТУ"; one is gone, and it is offered again.
    for (int column : {0, 1}) {
        cells->setCurrentCell(0, column);
        grid->TypeAction(3)->trigger();
        EXPECT_EQ(grid->CellText(column, 1), "ТУ");
    }
    EXPECT_EQ(TableBytes(Device(0)), Table({0x33, 0x33}));
    QTest::keyClick(cells, Qt::Key_Return);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(grid->TypeAction(3)->isVisible());
    EXPECT_TRUE(grid->TypeAction(1)->isVisible());
    grid->TypeAction(0)->trigger(); // "Нет" on slot 2
    menu->hide();
    EXPECT_EQ(TableBytes(Device(0)), Table({0x33}));
    QTest::keyClick(cells, Qt::Key_Return);
    EXPECT_TRUE(grid->TypeAction(3)->isVisible());
    menu->hide();
    EXPECT_TRUE(dialogs->Records().empty());
}

// The page of a device whose table holds a byte of no type opens: the cell stays
// empty, the first such slot is reported once, after the page is in place, and a type
// chosen there overwrites it. The same on the control point page.
TEST_F(GranitPagesTest, ATableByteOfNoTypeDoesNotKeepThePageFromOpening)
{
    for (int role : {0, 1}) {
        SCOPED_TRACE(role);
        UseSlot(Document(), role, 9, 0, role);
        WriteTableBytes(Device(role), {0x31, 0xFF, 0xFF, 0x34, 0x98});
    }
    doc->RefreshTree();
    for (int role : {0, 1}) {
        SCOPED_TRACE(role);
        dialogs.Reset();
        dialogs->PushAnswer(platform::MsgResult::OK);
        TfrDevice* device = SelectDevice(role);
        ASSERT_NE(device, nullptr);
        auto* page = dynamic_cast<TGranitFrame*>(device->ProtocolFrame());
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Grid()->CellText(0, 1), "ТС");
        EXPECT_EQ(page->Grid()->CellText(3, 1), "");
        EXPECT_EQ(page->Grid()->CellText(4, 1), "");
        EXPECT_EQ(page->Grid()->CellText(5, 1), "Нет");

        ASSERT_TRUE(qttest::PumpUntil([&] { return !dialogs->Records().empty(); }));
        Process();
        const std::vector<platform::DialogRecord> records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Не удалось отобразить значение Item[3]=52");
        EXPECT_FALSE(records[0].unexpected);

        GridOf(page)->setCurrentCell(0, 3);
        page->Grid()->TypeAction(1)->trigger();
        page->Grid()->pmAFB_Grid->hide();
        EXPECT_EQ(TableBytes(Device(role)), Table({0x31, 0xFF, 0xFF, 0x31, 0x98}));
        EXPECT_EQ(page->Grid()->CellText(3, 1), "ТС");
    }
}

// A stored table shorter than 15 bytes shows 15 empty slots; nothing is stored before
// the first edit, which stores the whole table.
TEST_F(GranitPagesTest, AShortTableShowsEmptySlotsUntilEdited)
{
    UseSlot(Document(), 0, 9, 0, 0);
    WriteTableBytes(Device(0), {0x31, 0x32, 0x33, 0x31, 0x32, 0x33, 0x31, 0x32, 0x33, 0x31, 0x00});
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());
    auto* page = ProtocolPage<TfrKPGranit>(0);
    ASSERT_NE(page, nullptr);
    for (int column = 0; column < 15; ++column) EXPECT_EQ(page->Grid()->CellText(column, 1), "Нет") << column;
    Process();
    EXPECT_EQ(testsupport::AddressMap(Document()), before);

    GridOf(page)->setCurrentCell(0, 2);
    page->Grid()->TypeAction(2)->trigger();
    page->Grid()->pmAFB_Grid->hide();
    EXPECT_EQ(TableBytes(Device(0)), Table({0xFF, 0xFF, 0x32}));
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(GranitPagesTest, CheckButtonLogsTheResultAndShowsAMismatch)
{
    TfrKPGranit* page = KPPage();
    ASSERT_NE(page, nullptr);
    page->btnCheck->click();
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{kSuccess, 0}}));
    EXPECT_TRUE(dialogs->Records().empty());

    // One ТС block against 65 ТС channels.
    TDevChannel& block = *Device(0).ChannelBlockByIndex(0);
    FieldOf(block, "0004").SetValue(int32_t{0});
    FieldOf(block, "0002").SetValue(int32_t{65});
    GridOf(page)->setCurrentCell(0, 0);
    page->Grid()->TypeAction(1)->trigger();
    page->Grid()->pmAFB_Grid->hide();
    log.Clear();
    dialogs->PushAnswer(platform::MsgResult::OK);
    page->btnCheck->click();
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{kTSMismatch, 1}}));
    const std::vector<platform::DialogRecord> records = dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, kTSMismatch);
    EXPECT_EQ(TableBytes(Device(0)), Table({0x31})) << "the table stays as edited";
}

TEST_F(GranitPagesTest, LeavingTheGridChecksOnceAfterTheFocusMoved)
{
    TfrKPGranit* page = KPPage();
    ASSERT_NE(page, nullptr);
    QTableWidget* cells = GridOf(page);
    QMenu* menu = page->Grid()->pmAFB_Grid;
    TDevChannel& block = *Device(0).ChannelBlockByIndex(0);
    FieldOf(block, "0004").SetValue(int32_t{0});
    FieldOf(block, "0002").SetValue(int32_t{1});

    // Opening and closing the grid's menu is no leaving.
    cells->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(qttest::PumpUntil([&] { return cells->hasFocus(); }));
    QTest::keyClick(cells, Qt::Key_Return);
    ASSERT_TRUE(qttest::PumpUntil([&] { return menu->isVisible(); }));
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(qttest::PumpUntil([&] { return !menu->isVisible(); }));
    // The window active again (the offscreen platform leaves the closed menu active).
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(qttest::PumpUntil([&] { return cells->hasFocus(); }));
    Process();
    EXPECT_TRUE(log.Lines().empty());

    // Tab to ed0906: one check, its box opened after the focus change.
    dialogs->PushAnswer(platform::MsgResult::OK);
    page->ed0906->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(log.Lines().empty()) << "posted, not run inside the focus change";
    ASSERT_TRUE(Logged({kTSMismatch, 1}));
    EXPECT_EQ(Count({kTSMismatch, 1}), 1u);
    ASSERT_EQ(dialogs->Records().size(), 1u);
    EXPECT_EQ(dialogs->Records()[0].box.text, kTSMismatch);

    // A click on "Проверка" from the grid checks once: the button's own check.
    FieldOf(block, "0002").SetValue(int32_t{0});
    cells->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(qttest::PumpUntil([&] { return cells->hasFocus(); }));
    log.Clear();
    QTest::mouseClick(page->btnCheck, Qt::LeftButton);
    ASSERT_TRUE(Logged({kSuccess, 0}));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{kSuccess, 0}}));

    // Tab from the grid lands on "Проверка": that is a leaving, and checks.
    cells->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(qttest::PumpUntil([&] { return cells->hasFocus(); }));
    log.Clear();
    QTest::keyClick(cells, Qt::Key_Tab);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->btnCheck->hasFocus(); }));
    ASSERT_TRUE(Logged({kSuccess, 0}));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{kSuccess, 0}}));
}

TEST_F(GranitPagesTest, LeavingThroughTheTreeChecksTheDeviceAfterThePageWent)
{
    TfrKPGranit* kp = KPPage();
    ASSERT_NE(kp, nullptr);
    QPointer<TfrKPGranit> page = kp;
    GridOf(kp)->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(qttest::PumpUntil([&] { return GridOf(kp)->hasFocus(); }));

    QTreeWidgetItem* devices = view->ItemOf(doc->Groups().Devices);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(devices).center());
    ASSERT_TRUE(qttest::PumpUntil([&] { return page.isNull(); }));
    ASSERT_TRUE(Logged({kSuccess, 0}));
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{kSuccess, 0}}));
    EXPECT_TRUE(dialogs->Records().empty());
}

// No check runs for a page that goes with the focus in its grid, for a device of a
// document the tree no longer shows, or once the program is terminating.
TEST_F(GranitPagesTest, NoCheckFromAGoingPageAReplacedDocumentOrATerminatingProgram)
{
    const auto focusGrid = [&](TfrKPGranit* page) {
        GridOf(page)->setFocus(Qt::OtherFocusReason);
        return qttest::PumpUntil([&] { return GridOf(page)->hasFocus(); });
    };
    // Each replacement is made while the document it replaces still exists.
    const auto replace = [&] {
        doc->ReplaceDocument(testsupport::NewZumo2Doc(), TTreeFamily::Zumo, 0);
        doc->RefreshTree();
        for (int i = 0; i < 3; ++i) Process();
    };

    TfrKPGranit* kp = KPPage();
    ASSERT_NE(kp, nullptr);
    ASSERT_TRUE(focusGrid(kp));
    replace(); // the page goes with the focus in its grid
    EXPECT_TRUE(log.Lines().empty());

    kp = KPPage();
    ASSERT_NE(kp, nullptr);
    ASSERT_TRUE(focusGrid(kp));
    kp->ed0906->setFocus(Qt::TabFocusReason); // posts the check
    replace();
    EXPECT_TRUE(log.Lines().empty());

    kp = KPPage();
    ASSERT_NE(kp, nullptr);
    ASSERT_TRUE(focusGrid(kp));
    kp->ed0906->setFocus(Qt::TabFocusReason);
    platform::SetTerminating(true);
    for (int i = 0; i < 3; ++i) Process();
    platform::SetTerminating(false);
    EXPECT_TRUE(log.Lines().empty());

    // And the same leaving checks when nothing of that holds.
    ASSERT_TRUE(focusGrid(kp));
    kp->ed0906->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(Logged({kSuccess, 0}));
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(GranitPagesTest, CommandsByTheDocumentsFamily)
{
    struct Case {
        const char* model;
        int code;
        Items kpItems;
        const char* numberKey;
        Items puItems;
        const char* commandKey;
    };
    const Case cases[] = {
        {"Zumo2", 0, kBaseLinkDown, "LinkDownCmdVAK", kBaseServiceCmd, "ServicedPUTU"},
        {"Zumo9", 4, kZumo9Commands, nullptr, kZumo9Commands, "BindTUGranit_CmdTU"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        TZumo2Doc& document = UseModel(c.code);
        UseSlot(document, 0, 9, 0, 0);
        UseSlot(document, 1, 9, 0, 1);
        FieldOf(*document.DeviceByIndex(1), "BindTUGranit_CmdTU").SetValue(int32_t{1});
        doc->RefreshTree();
        const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(document);

        auto* kp = ProtocolPage<TfrKPGranit>(0);
        ASSERT_NE(kp, nullptr);
        EXPECT_TRUE(testsupport::AuditPage(*kp, *document.DeviceByIndex(0), KPControls(c.kpItems, c.numberKey)));
        EXPECT_EQ(kp->seLinkDownCmdVAK->isVisible(), c.numberKey != nullptr);
        EXPECT_EQ(kp->findChild<QLabel*>("lbLinkDownCmdVAK")->isVisible(), c.numberKey != nullptr);

        auto* pu = ProtocolPage<TFrPUGranit>(1);
        ASSERT_NE(pu, nullptr);
        EXPECT_TRUE(testsupport::AuditPage(*pu, *document.DeviceByIndex(1), PUControls(c.puItems, c.commandKey)));
        EXPECT_EQ(pu->findChild<QLabel*>("lbServiceCmdUnit")->isVisible(), c.numberKey != nullptr);
        EXPECT_EQ(pu->cbServiceCmd->currentText(), c.code == 4 ? "Вн. ТУ1" : "Нет");
        EXPECT_EQ(testsupport::AddressMap(document), before);

        // The combo stores into the field it is bound to.
        const int other = pu->cbServiceCmd->currentIndex() == 1 ? 0 : 1;
        pu->cbServiceCmd->setCurrentIndex(other);
        EXPECT_EQ(FieldOf(*document.DeviceByIndex(1), c.commandKey).GetValue().ToInt32(), other);
        doc->ReleaseDocument();
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(GranitPagesTest, PUServiceAddressByte)
{
    UseSlot(Document(), 0, 9, 0, 1);
    FieldOf(Device(0), "AdrServiceCmdGranit").SetValue(int32_t{0x8B});
    doc->RefreshTree();
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());
    auto* page = ProtocolPage<TFrPUGranit>(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->seServiceBlock->value(), 2);
    EXPECT_EQ(page->seServiceGroup->value(), 2);
    EXPECT_EQ(page->seServiceObject->value(), 4);
    EXPECT_EQ(testsupport::AddressMap(Document()), before);
    const auto address = [&] { return AreaBytes(Device(0), 35, 1); };

    page->seServiceObject->setValue(1);
    EXPECT_EQ(address(), std::vector<int>{0x88});

    // seAFBServTU and seTU_ExecTimeout store the byte too, after their own value.
    FieldOf(Device(0), "AdrServiceCmdGranit").SetValue(int32_t{0});
    page->seAFBServTU->setValue(3);
    EXPECT_EQ(AreaBytes(Device(0), 36, 1), std::vector<int>{3});
    EXPECT_EQ(address(), std::vector<int>{0x88});
    FieldOf(Device(0), "AdrServiceCmdGranit").SetValue(int32_t{0});
    page->seTU_ExecTimeout->setValue(7);
    EXPECT_EQ(AreaBytes(Device(0), 38, 2), (std::vector<int>{7, 0}));
    EXPECT_EQ(address(), std::vector<int>{0x88});

    // Changed behind the page (a controller read): shown again, and the new serviced
    // block, whose store stores the address too, keeps the new address.
    FieldOf(Device(0), "AdrServiceCmdGranit").SetValue(int32_t{0x93});
    FieldOf(Device(0), "AFBServTU").SetValue(int32_t{9});
    WriteTableBytes(Device(0), {0x33});
    doc->Frame()->RefreshAll();
    EXPECT_EQ(page->seServiceGroup->value(), 3);
    EXPECT_EQ(page->seAFBServTU->value(), 9);
    EXPECT_EQ(address(), std::vector<int>{0x93});
    EXPECT_EQ(page->Grid()->CellText(0, 1), "ТУ");
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(GranitPagesTest, TableSurvivesSaveAndReopen)
{
    UseSlot(Document(), 0, 9, 0, 0);
    UseSlot(Document(), 1, 9, 0, 1);
    doc->RefreshTree();
    const auto choose = [](TGranitFrame* page, int column, int tag) {
        GridOf(page)->setCurrentCell(0, column);
        page->Grid()->TypeAction(tag)->trigger();
        page->Grid()->pmAFB_Grid->hide();
    };
    auto* kp = ProtocolPage<TfrKPGranit>(0);
    ASSERT_NE(kp, nullptr);
    choose(kp, 0, 1);
    choose(kp, 5, 2);
    choose(kp, 14, 3);
    auto* pu = ProtocolPage<TFrPUGranit>(1);
    ASSERT_NE(pu, nullptr);
    choose(pu, 2, 3);
    pu->seServiceGroup->setValue(5);

    testsupport::TempDir dir;
    Document().SaveToFile(dir / "saved.hex");
    kept = MakeZumo2Doc();
    TZumo2Doc* reopened = kept.get();
    EXPECT_TRUE(testsupport::QuestionsOfLoading(*reopened, dir / "saved.hex").empty());
    doc->AttachDocument(reopened, 0);
    doc->RefreshTree();

    const auto cells = [](const TGranitFrame* page) {
        std::vector<std::string> texts;
        for (int column = 0; column < 15; ++column) texts.push_back(page->Grid()->CellText(column, 1).toStdString());
        return texts;
    };
    std::vector<std::string> expected(15, "Нет");
    expected[0] = "ТС";
    expected[5] = "ТИТ";
    expected[14] = "ТУ";
    kp = ProtocolPage<TfrKPGranit>(0);
    ASSERT_NE(kp, nullptr);
    EXPECT_EQ(cells(kp), expected);
    pu = ProtocolPage<TFrPUGranit>(1);
    ASSERT_NE(pu, nullptr);
    expected = std::vector<std::string>(15, "Нет");
    expected[2] = "ТУ";
    EXPECT_EQ(cells(pu), expected);
    EXPECT_EQ(pu->seServiceGroup->value(), 5);
    doc->ReleaseDocument();
    EXPECT_TRUE(dialogs->Records().empty());
}

} // namespace
