#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FApperture.h"
#include "configurator/pages/FDevApperture.h"
#include "configurator/rules/ApertureGridRules.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/TreeComponent.h"
#include "model/uZumo2.h"
#include "platform/DecimalSeparator.h"
#include "platform/ProgramDir.h"
#include "platform/qt/QtWindows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTest>

#include <vector>

namespace {

using testsupport::UseSlot;

// Apertures 0.5, 0.0, 0.5, 1.25 and 0 from the fifth on.
void SetApertures(TZumo2Doc& doc)
{
    const double values[] = {0.5, 0.0, 0.5, 1.25};
    for (int i = 0; i < 4; ++i) doc.ApertureByIndex(i)->Find<TField>("0001")->SetValue(values[i]);
}

TField& BlockField(TZumo2Doc& doc, int block, const char* key)
{
    return *doc.DeviceByIndex(0)->ApertureBlockByIndex(block)->Find<TField>(key);
}

// Clicks a cell of a grid page, with modifiers.
void ClickCell(TGridFrame& page, int row, int column, Qt::KeyboardModifiers modifiers = {})
{
    const QRect cell = page.vtGrid->visualRect(page.Model()->index(row, column));
    QTest::mouseClick(page.vtGrid->viewport(), Qt::LeftButton, modifiers, cell.center());
}

bool EditorClosed(TGridFrame& page)
{
    return qttest::PumpUntil([&] { return page.Link()->Editor() == nullptr; });
}

class AperturePages : public testsupport::PagesWindow {
protected:
    void SetUp() override
    {
        PagesWindow::SetUp();
        SetApertures(Document());
        UseSlot(Document(), 0, 2, 0, 0, 1);
        doc->RefreshTree();
        window->activateWindow();
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
    }
    void TearDown() override
    {
        platform::SetDecimalSeparatorForTesting(0);
        PagesWindow::TearDown();
    }
    // The device's aperture grid; none when another page shows.
    TfrDevApperture* DeviceGrid() { return Select<TfrDevApperture>(DevNode(0)->Child(1)); }
    TfrApperture* Table() { return Select<TfrApperture>(doc->Groups().Apertures); }
    static bool Silver(TGridFrame& page, int row, int column)
    {
        return page.Model()->index(row, column).data(Qt::ForegroundRole).value<QBrush>().color() == QColor(192, 192, 192);
    }
};

TEST_F(AperturePages, DeviceGridClicksAndSilverRows)
{
    BlockField(Document(), 2, "0002").SetValue(4);
    TfrDevApperture* page = DeviceGrid();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->Model()->rowCount(), 20);
    EXPECT_TRUE(page->lbHelp->text().endsWith(QString("\n") + DevApertureHelpLine));

    // Rows whose count is 0 are silver in every column.
    for (int column = dacVak; column <= dacNumber; ++column) {
        EXPECT_TRUE(Silver(*page, 3, column)) << column;
        EXPECT_FALSE(Silver(*page, 2, column)) << column;
    }

    // A single click on the count of another row opens the spin editor there; the
    // stored count takes the silver away.
    page->FocusCell(0, dacVak);
    page->vtGrid->setFocus();
    page->vtGrid->horizontalHeader()->resizeSection(dacNumber, 200);
    ClickCell(*page, 3, dacCount);
    auto* spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(page->Link()->Row()->Record, Document().DeviceByIndex(0)->ApertureBlockByIndex(3));
    EXPECT_EQ(page->Link()->Column(), dacCount);
    EXPECT_EQ(spin->maximum(), 65535);
    spin->selectAll();
    QTest::keyClicks(spin, "5");
    QTest::keyClick(spin, Qt::Key_Return);
    ASSERT_TRUE(EditorClosed(*page));
    EXPECT_EQ(BlockField(Document(), 3, "0002").GetValue().ToInt64(), 5);
    for (int column = dacVak; column <= dacNumber; ++column) EXPECT_FALSE(Silver(*page, 3, column)) << column;
    // The columns fit their contents after the edit, the one widened by hand too.
    QHeaderView* header = page->vtGrid->horizontalHeader();
    EXPECT_EQ(header->sectionSize(dacNumber), 80);
    EXPECT_EQ(header->sectionSize(dacVak), 70);

    // A Ctrl+click on the aperture cell asks the main window for the aperture and opens
    // no editor.
    std::vector<platform::LPARAM> jumps;
    QWidget receiver;
    platform::qt::RegisterMainWindow(&receiver, [&](platform::HWND, platform::UINT msg, platform::WPARAM,
                                                    platform::LPARAM l) -> platform::LRESULT {
        if (msg == platform::WM_FRAME_NOTIFY) jumps.push_back(l);
        return 0;
    });
    BlockField(Document(), 4, "0003").SetValue(4);
    ClickCell(*page, 4, dacAperture, Qt::ControlModifier);
    ASSERT_TRUE(qttest::PumpUntil([&] { return !jumps.empty(); }));
    EXPECT_EQ(jumps, std::vector<platform::LPARAM>{reinterpret_cast<platform::LPARAM>(Document().ApertureByIndex(3))});
    EXPECT_EQ(page->Link()->Editor(), nullptr);
    EXPECT_EQ(page->vtGrid->currentIndex(), page->Model()->index(4, dacAperture));
}

TEST_F(AperturePages, ApertureComboKeepsTheReferenceUntilChosen)
{
    TfrDevApperture* page = DeviceGrid();
    ASSERT_NE(page, nullptr);
    page->vtGrid->setFocus();

    // A reference to a zero aperture opens on the first item; closing the list leaves it.
    BlockField(Document(), 1, "0003").SetValue(2);
    ClickCell(*page, 1, dacAperture);
    auto* combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
    EXPECT_EQ(texts, (QStringList{"0.5000", "1.2500", "нет"}));
    EXPECT_EQ(combo->currentText(), "0.5000");
    const QFontMetrics metrics = page->vtGrid->fontMetrics();
    EXPECT_EQ(page->Link()->EditorMinWidth(), metrics.horizontalAdvance("1.2500") + 40);
    ASSERT_TRUE(qttest::PumpUntil([&] { return combo->view()->isVisible(); }));
    combo->hidePopup();
    ASSERT_TRUE(EditorClosed(*page));
    EXPECT_EQ(BlockField(Document(), 1, "0003").GetValue().ToInt64(), 2);

    // A later duplicate opens on its value's item; a chosen item is stored.
    BlockField(Document(), 1, "0003").SetValue(3);
    ClickCell(*page, 1, dacAperture);
    combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "0.5000");
    combo->setCurrentIndex(combo->findText("1.2500"));
    combo->hidePopup();
    ASSERT_TRUE(EditorClosed(*page));
    EXPECT_EQ(BlockField(Document(), 1, "0003").GetValue().ToInt64(), 4);
    EXPECT_EQ(page->Model()->index(1, dacAperture).data().toString(), "1.2500");
    EXPECT_EQ(page->Model()->index(1, dacNumber).data().toString(), "4");
}

TEST_F(AperturePages, TableGridEdits)
{
    auto* first = Document().ApertureByIndex(0)->Find<TField>("0001");
    first->SetValue(1.23456);
    float stored = 0;
    first->ReadBytes(first->NodeOffset(), &stored, sizeof stored);
    TfrApperture* page = Table();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->Model()->rowCount(), 50);
    EXPECT_EQ(page->Model()->index(9, acNumber).data().toString(), "10");
    EXPECT_EQ(page->Model()->index(0, acNumber).data(Qt::BackgroundRole).value<QBrush>().color(),
              QGuiApplication::palette().color(QPalette::Button));

    // The number column opens no editor.
    page->FocusCell(0, acNumber);
    page->vtGrid->setFocus();
    QTest::keyClick(page->vtGrid, Qt::Key_Return);
    EXPECT_EQ(page->Link()->Editor(), nullptr);

    // An aperture opened and confirmed as it is keeps all its digits.
    page->FocusCell(0, acValue);
    QTest::keyClick(page->vtGrid, Qt::Key_Return);
    auto* spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->decimals(), 4);
    QTest::keyClick(spin, Qt::Key_Return);
    ASSERT_TRUE(EditorClosed(*page));
    float after = 0;
    first->ReadBytes(first->NodeOffset(), &after, sizeof after);
    EXPECT_EQ(after, stored);

    // Under a comma a typed "0,25" is a quarter, and reads so.
    window->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    platform::SetDecimalSeparatorForTesting(',');
    page->FocusCell(2, acValue);
    page->vtGrid->setFocus();
    QTest::keyClick(page->vtGrid, Qt::Key_0);
    spin = qobject_cast<TSpinEdit*>(page->Link()->Editor());
    ASSERT_NE(spin, nullptr);
    QTest::keyClicks(spin, ",25");
    QTest::keyClick(spin, Qt::Key_Return);
    ASSERT_TRUE(EditorClosed(*page));
    EXPECT_EQ(Document().ApertureByIndex(2)->Find<TField>("0001")->GetValue().ToDouble(), 0.25);
    EXPECT_EQ(page->Model()->index(2, acValue).data().toString(), "0,2500");
    EXPECT_EQ(page->vtGrid->currentIndex(), page->Model()->index(2, acValue));
}

// The jump through the program's main window: the posted record selects the aperture
// table and focuses its row.
TEST(ApertureJump, MainWindowShowsTheAperture)
{
    qttest::App();
    testsupport::TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;
    RegisterDocumentPages();
    TCfgMainOptions options;
    options.LibraryFile = dir / "libSarnupolexLib.so"; // none there
    options.IniFile = dir / "Mirvak.ini";
    TfmCfgMain w(options);
    w.resize(900, 700);
    w.show();
    ASSERT_TRUE(qttest::PumpUntil([&] { return w.Controller().Document() != nullptr; }));
    auto* doc = dynamic_cast<TZumo2Doc*>(w.Controller().Document());
    ASSERT_NE(doc, nullptr);
    SetApertures(*doc);
    UseSlot(*doc, 0, 2, 0, 0, 1);
    BlockField(*doc, 5, "0003").SetValue(2);
    TDocTree& tree = w.DocTree()->Tree();
    tree.RefreshTree();
    TDocTreeView* view = w.DocTree()->View();
    view->setCurrentItem(view->ItemOf(tree.Groups().Devices->Child(0)->Child(1)));
    w.activateWindow();
    ASSERT_TRUE(qttest::PumpUntil([&] { return w.isActiveWindow(); }));
    auto* page = qobject_cast<TfrDevApperture*>(w.ShownFrame());
    ASSERT_NE(page, nullptr);

    ClickCell(*page, 5, dacAperture, Qt::ControlModifier);
    ASSERT_TRUE(qttest::PumpUntil([&] { return qobject_cast<TfrApperture*>(w.ShownFrame()) != nullptr; }));
    auto* table = qobject_cast<TfrApperture*>(w.ShownFrame());
    EXPECT_EQ(view->currentItem(), view->ItemOf(tree.Groups().Apertures));
    EXPECT_EQ(table->vtGrid->currentIndex(), table->Model()->index(1, acValue));
    EXPECT_TRUE(table->vtGrid->selectionModel()->isRowSelected(1, {}));
    EXPECT_TRUE(qttest::PumpUntil([&] { return table->vtGrid->hasFocus(); }));
    EXPECT_EQ(table->Link()->Editor(), nullptr);
}

} // namespace
