#include "configurator/pages/FDevice.h"
#include "configurator/pages/FKPDCON.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/widgets/ParamControls.h"
#include "model/Mirvak_const.h"
#include "platform/Format.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/GridFixture.h"
#include "tests/support/PageAudit.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::AreaBytes;
using testsupport::Choose;
using testsupport::TAuditControl;
using testsupport::UseSlot;
using testsupport::ValueOf;

constexpr int kDcon = 8;   // the protocol index
constexpr int kTramel = 7; // the model code of "Tramel-5141"

// The page's controls as its description gives them, on a device that is no Tramel-5141
// device.
std::vector<TAuditControl> DconControls()
{
    return {
        {"cb0801", "QComboBox", "0801", "Тип устройства", {{"I-7051/51D", 0}, {"I-7052/52D", 1}, {"I-7045/45D", 2}}},
        {"ch0802", "QCheckBox", "0802", "Выдавать ТИТ без преобразования"},
        {"ed0803", "TSpinEdit", "0803", "Удерживать ТУ не менее", {}, "мс"},
        {"ed0806", "TSpinEdit", "0806", "Период опроса устройства"},
        {"cb0807", "QComboBox", "0807", nullptr, {{"мс", 0}, {"сек", 1}, {"мин", 2}, {"час", 3}}},
        {"gbParamTU", "QGroupBox", nullptr, "Назначение каналов ТУ"},
    };
}

// The real tree with every page the program registers, in a window, DCON devices in
// its slots.
class DconPageTest : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;

    // A КП DCON device in a slot of the shown document, its module type stored first.
    void UseDcon(int slot, int moduleType = 0)
    {
        UseSlot(Document(), slot, kDcon, 0, 0);
        dynamic_cast<TField*>(Device(slot).FindField("0801"))->SetValue(int32_t{moduleType});
        doc->RefreshTree();
    }
    // The device page of a slot and the DCON page it hosts; none for either it lacks.
    std::pair<TfrDevice*, TfrKPDCON*> Pages(int slot)
    {
        TfrDevice* device = SelectDevice(slot);
        return {device, device ? dynamic_cast<TfrKPDCON*>(device->ProtocolFrame()) : nullptr};
    }
    // The relay map field of row n (1 .. 16) of a slot's device.
    TField& Relay(int slot, int n, const char* key)
    {
        auto* record = dynamic_cast<TFieldLst*>(Device(slot).FindField(platform::Format("ParamTU%.2d", n - 1)));
        return *dynamic_cast<TField*>(record->FindField(key));
    }
    // The three bytes of relay map n (1 .. 16) of a slot's device.
    std::vector<int> RelayBytes(int slot, int n) { return AreaBytes(Device(slot), 10 + 3 * (n - 1), 3); }
    // The page's controls as the module type leaves them: the hold time with both its
    // labels, the TIT option, the TU table.
    static void ExpectControls(const TfrKPDCON& page, bool holdTime, bool rawTit, bool table)
    {
        for (const QWidget* w : {static_cast<const QWidget*>(page.ed0803), static_cast<const QWidget*>(page.lb0803),
                                 static_cast<const QWidget*>(page.lb0803Unit)})
            EXPECT_EQ(w->isEnabled(), holdTime) << w->objectName().toStdString();
        EXPECT_EQ(page.ch0802->isEnabled(), rawTit);
        EXPECT_EQ(page.gbParamTU->isVisible(), table);
    }
};

// ---------------------------------------------------------------------------------
// Tests

TEST_F(DconPageTest, AsDescribedWithItsDefaults)
{
    UseDcon(0);
    const auto [device, page] = Pages(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->objectName(), "frKPDCON");
    EXPECT_EQ(page->parentWidget(), device->paProtocol);
    EXPECT_TRUE(testsupport::AuditPage(*page, Device(0), DconControls()));
    EXPECT_EQ(page->vtGrid->parentWidget(), page->gbParamTU);
    EXPECT_GE(page->width(), 500);

    // "I-7051/51D": the hold time of 2000 ms and the check box greyed, no table.
    EXPECT_EQ(page->cb0801->currentText(), "I-7051/51D");
    EXPECT_EQ(page->ed0803->value(), 2000);
    EXPECT_EQ(page->cb0807->currentText(), "мс");
    ExpectControls(*page, false, false, false);
    EXPECT_TRUE(page->ed0806->isEnabled());
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(DconPageTest, ModuleTypeShowsTheTableAndTheDevicePageFollows)
{
    UseDcon(0);
    const auto [device, page] = Pages(0);
    ASSERT_NE(page, nullptr);
    const int without = device->height();
    const int pageWithout = page->height();

    // "I-7045/45D": the hold time and the table with its 16 numbered rows.
    Choose(page->cb0801, "I-7045/45D");
    EXPECT_EQ(ValueOf(Device(0), "0801"), 2);
    Idle();
    ExpectControls(*page, true, false, true);
    TGridModel* model = page->Model();
    ASSERT_EQ(model->rowCount(), 16);
    const std::vector<QString> captions = {"№", "Тип", "Исп-Кан-Вкл", "Исп-Кан-Откл", "Вкл-Кан", "Откл-Кан"};
    ASSERT_EQ(model->columnCount(), 6);
    for (int c = 0; c < 6; ++c) EXPECT_EQ(model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), captions[c]);
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(model->index(r, 0).data().toString(), QString::number(r + 1));
        for (int c = 1; c < 6; ++c) EXPECT_EQ(model->index(r, c).data().toString(), "0") << r << " " << c;
    }
    // The grid holds its header and every row, without scroll bars.
    TGridView* grid = page->vtGrid;
    EXPECT_TRUE(grid->horizontalHeader()->isVisible());
    EXPECT_LE(grid->visualRect(model->index(15, 5)).bottom(), grid->viewport()->height());
    EXPECT_LE(grid->visualRect(model->index(15, 5)).right(), grid->viewport()->width());
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(0), 30);
    EXPECT_GT(page->height(), pageWithout + 16 * grid->verticalHeader()->defaultSectionSize());
    EXPECT_GT(device->height(), without) << "the device page takes the table in";
    EXPECT_EQ(device->paProtocol->height(), page->height());

    // A header click sorts nothing.
    Relay(0, 1, "type").SetValue(int32_t{9});
    page->RefreshAll();
    QTest::mouseClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(grid->horizontalHeader()->sectionViewportPosition(1) + 5, 5));
    EXPECT_EQ(model->index(0, 1).data().toString(), "9");
    EXPECT_EQ(model->index(0, 0).data().toString(), "1");

    // "I-7051/51D": no table, and both give its height back.
    Choose(page->cb0801, "I-7051/51D");
    Idle();
    ExpectControls(*page, false, false, false);
    EXPECT_EQ(page->height(), pageWithout);
    EXPECT_EQ(device->height(), without);
    EXPECT_EQ(device->paProtocol->height(), page->height());

    // "I-7052/52D": the check box.
    Choose(page->cb0801, "I-7052/52D");
    Idle();
    ExpectControls(*page, false, true, false);
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(DconPageTest, StoredI7017OnAnotherDeviceIsKeptUnselected)
{
    UseDcon(0, 3);
    const std::map<uint32_t, uint8_t> before = testsupport::AddressMap(Document());
    auto* page = ProtocolPage<TfrKPDCON>(0);
    ASSERT_NE(page, nullptr);
    for (int i = 0; i < 3; ++i) Idle();
    EXPECT_EQ(page->cb0801->count(), 3);
    EXPECT_EQ(page->cb0801->currentIndex(), -1);
    EXPECT_EQ(ValueOf(Device(0), "0801"), 3);
    ExpectControls(*page, false, false, false);
    page->RefreshAll();
    Idle();
    EXPECT_EQ(testsupport::AddressMap(Document()), before);
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(DconPageTest, TramelDeviceOffersI7017)
{
    TZumo2Doc& tramel = UseModel(kTramel);
    UseSlot(tramel, 0, kDcon, 0, 0);
    UseSlot(tramel, 1, kDcon, 0, 0);
    dynamic_cast<TField*>(Device(1).FindField("0801"))->SetValue(int32_t{3});
    doc->RefreshTree();
    for (int slot : {0, 1}) {
        auto* family = Select<TFamilyDevicePage>(DevNode(slot));
        ASSERT_NE(family, nullptr);
        auto* page = dynamic_cast<TfrKPDCON*>(family->ProtocolFrame());
        ASSERT_NE(page, nullptr);
        ASSERT_EQ(page->cb0801->count(), 4);
        EXPECT_EQ(page->cb0801->itemText(3), "I-7017");
        if (slot == 0) {
            // "I-7052/52D" leaves the check box greyed here; "I-7017" enables it.
            Choose(page->cb0801, "I-7052/52D");
            Idle();
            ExpectControls(*page, false, false, false);
            Choose(page->cb0801, "I-7017");
            EXPECT_EQ(ValueOf(Device(0), "0801"), 3);
        }
        Idle();
        EXPECT_EQ(page->cb0801->currentText(), "I-7017");
        ExpectControls(*page, false, true, false);
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(DconPageTest, KeysEditTheCells)
{
    UseDcon(0, 2);
    auto* page = ProtocolPage<TfrKPDCON>(0);
    ASSERT_NE(page, nullptr);
    Idle();
    TGridView* grid = page->vtGrid;
    ASSERT_TRUE(grid->isVisible());
    ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
    const auto focus = [&](int row, int column) {
        page->FocusCell(row, column);
        grid->setFocus();
        return qttest::PumpUntil([&] { return grid->hasFocus(); });
    };
    const auto spin = [&] { return qobject_cast<TSpinEdit*>(page->Link()->Editor()); };
    // A key on the grid that opens the spin editor; a key on the editor that closes it.
    const auto open = [&](Qt::Key key) {
        QTest::keyClick(grid, key);
        return spin();
    };
    const auto end = [&](Qt::Key key) {
        QTest::keyClick(spin(), key);
        return qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; });
    };

    // The digit 7 on row 3, "Исп-Кан-Вкл": a spin editor holding 7; Enter stores it into
    // "select_on" of the third relay map, the low nibble of area byte 17.
    ASSERT_TRUE(focus(2, 2));
    ASSERT_NE(open(Qt::Key_7), nullptr);
    EXPECT_EQ(spin()->text(), "7");
    EXPECT_EQ(spin()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    ASSERT_TRUE(end(Qt::Key_Return));
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0x07, 0}));
    EXPECT_EQ(page->Model()->index(2, 2).data().toString(), "7");
    EXPECT_TRUE(grid->hasFocus());

    // Esc stores nothing.
    ASSERT_NE(open(Qt::Key_5), nullptr);
    ASSERT_TRUE(end(Qt::Key_Escape));
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0x07, 0}));

    // 20 typed into a nibble's editor is clamped to 15; "Тип" takes up to 255.
    ASSERT_TRUE(focus(2, 3));
    ASSERT_NE(open(Qt::Key_2), nullptr);
    QTest::keyClicks(spin(), "0");
    ASSERT_TRUE(end(Qt::Key_Return));
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0xF7, 0}));
    ASSERT_TRUE(focus(2, 1));
    ASSERT_NE(open(Qt::Key_Return), nullptr);
    EXPECT_EQ(spin()->maximum(), 255);
    ASSERT_TRUE(end(Qt::Key_Escape));

    // Ctrl+Up on row 3's "select_off" at 15 keeps it; Alt+Down copies "select_on" to row 4.
    ASSERT_TRUE(focus(2, 3));
    QTest::keyClick(grid, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0xF7, 0}));
    ASSERT_TRUE(focus(2, 2));
    QTest::keyClick(grid, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(RelayBytes(0, 4), (std::vector<int>{0, 0x07, 0}));
    EXPECT_EQ(grid->currentIndex(), page->Model()->index(3, 2));

    // Clicks and keys never make "№" current.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(page->Model()->index(5, 0)).center());
    EXPECT_EQ(grid->currentIndex().column(), 1);
    EXPECT_EQ(grid->currentIndex().row(), 5);
    ASSERT_TRUE(focus(0, 1));
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_EQ(grid->currentIndex(), page->Model()->index(0, 1));
    ASSERT_NE(open(Qt::Key_0), nullptr);
    EXPECT_EQ(page->Link()->Column(), 1) << "a digit edits the focused cell";
    ASSERT_TRUE(end(Qt::Key_Escape));
    EXPECT_TRUE(dialogs.MessageBoxTexts().empty());

    // F3 with (14, 3, 1) on "Исп-Кан-Вкл" from row 1: 14 and 15, then row 3 refuses 16
    // with one error and keeps its byte.
    ASSERT_TRUE(focus(0, 2));
    testsupport::AnswerFillDialog(dialogs.Service(), 16, 14, 3, 1);
    dialogs->PushAnswer(platform::MsgResult::OK);
    QTest::keyClick(grid, Qt::Key_F3);
    EXPECT_EQ(dialogs.MessageBoxTexts(), std::vector<std::string>{"Больше максимума"});
    EXPECT_EQ(RelayBytes(0, 1), (std::vector<int>{0, 0x0E, 0}));
    EXPECT_EQ(RelayBytes(0, 2), (std::vector<int>{0, 0x0F, 0}));
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0xF7, 0}));
    EXPECT_EQ(page->Model()->index(1, 2).data().toString(), "15");
}

TEST_F(DconPageTest, DeleteOnTheDeviceNodeShowsTheResetValues)
{
    UseDcon(0, 2);
    Relay(0, 3, "select_on").SetValue(int32_t{7});
    Relay(0, 16, "type").SetValue(int32_t{200});
    auto* page = ProtocolPage<TfrKPDCON>(0);
    ASSERT_NE(page, nullptr);
    Idle();
    EXPECT_EQ(page->Model()->index(2, 2).data().toString(), "7");
    EXPECT_EQ(page->Model()->index(15, 1).data().toString(), "200");

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_EQ(doc->Frame()->Widget()->findChild<TfrKPDCON*>(), page) << "the same page shows the reset values";
    EXPECT_EQ(ValueOf(Device(0), "0801"), 0);
    EXPECT_EQ(RelayBytes(0, 3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(page->Model()->index(2, 2).data().toString(), "0");
    EXPECT_EQ(page->Model()->index(15, 1).data().toString(), "0");
    EXPECT_EQ(page->cb0801->currentText(), "I-7051/51D");
    Idle();
    ExpectControls(*page, false, false, false);
}

TEST_F(DconPageTest, ValuesSurviveSaveAndReopen)
{
    UseDcon(0, 2);
    auto* page = ProtocolPage<TfrKPDCON>(0);
    ASSERT_NE(page, nullptr);
    page->ed0803->setValue(1500);
    Choose(page->cb0807, "сек");
    page->ed0806->setValue(30);
    Relay(0, 5, "execute_off").SetValue(int32_t{12});
    Relay(0, 5, "type").SetValue(int32_t{77});

    testsupport::TempDir dir;
    Document().SaveToFile(dir / "saved.hex");
    std::unique_ptr<TZumo2Doc> reopened = MakeZumo2Doc();
    EXPECT_TRUE(testsupport::QuestionsOfLoading(*reopened, dir / "saved.hex").empty());
    EXPECT_EQ(testsupport::ImageDifference(*reopened, Document()), "");

    kept = std::move(reopened);
    doc->AttachDocument(kept.get(), 0);
    doc->RefreshTree();
    page = ProtocolPage<TfrKPDCON>(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->cb0801->currentText(), "I-7045/45D");
    EXPECT_EQ(page->ed0803->value(), 1500);
    EXPECT_EQ(page->cb0807->currentText(), "сек");
    EXPECT_EQ(page->ed0806->value(), 30);
    EXPECT_EQ(page->Model()->index(4, 1).data().toString(), "77");
    EXPECT_EQ(page->Model()->index(4, 5).data().toString(), "12");
    EXPECT_TRUE(dialogs->Records().empty());
}

} // namespace
