#include "configurator/rules/FAutoInc.h"
#include "configurator/widgets/GridFrame.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/qt/QtWindows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GridFixture.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::TGridTestTable;

enum Column { cInt, cWord, cNib, cByte, cSingle, cText, cU32 };

// A grid page over the test records, counting the WM_FRAME_NOTIFY posted to it.
class TTestGridPage : public TGridFrame {
public:
    int* notified = nullptr;

protected:
    TTestGridPage(TGridTestTable& table, TGridSpec spec, QWidget* parent)
        : TGridFrame(nullptr, nullptr, std::move(spec), parent), table_(table)
    {
        setObjectName("frTestGrid");
    }
    std::vector<TGridRow> GridRows() override { return table_.Rows(); }
    void FrameNotify(platform::WPARAM, platform::LPARAM) override
    {
        if (notified) ++*notified;
    }

private:
    TGridTestTable& table_;
};

class GridFrameTest : public ::testing::Test {
protected:
    testsupport::DialogScript dialogs;
    TGridTestTable table;
    std::unique_ptr<QWidget> window;
    TTestGridPage* page = nullptr;
    QLineEdit* elsewhere = nullptr; // a control outside the grid, to take the focus

    void SetUp() override
    {
        qttest::App();
        window = std::make_unique<QWidget>();
        new QVBoxLayout(window.get());
        elsewhere = new QLineEdit(window.get());
        window->layout()->addWidget(elsewhere);
        window->resize(800, 400);
        window->show();
        MakePage(testsupport::GridTestSpec());
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
    }

    // A page over the records with that spec, in place of the one before.
    void MakePage(TGridSpec spec)
    {
        delete page;
        page = MakeFrame<TTestGridPage>(table, std::move(spec), window.get());
        window->layout()->addWidget(page);
        page->show();
        window->activateWindow();
    }
    TGridView* Grid() { return page->vtGrid; }
    // Focuses a cell of the grid, the grid holding the input focus.
    void Focus(int row, int column)
    {
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
        page->FocusCell(row, column);
        Grid()->setFocus();
        ASSERT_TRUE(qttest::PumpUntil([&] { return Grid()->hasFocus(); }));
    }
    QWidget* Editor() { return page->Link()->Editor(); }
    TSpinEdit* Spin() { return qobject_cast<TSpinEdit*>(Editor()); }
    bool EditorClosed()
    {
        return qttest::PumpUntil([&] { return Editor() == nullptr; });
    }
    int64_t Value(int row, const char* key) { return table.Field(row, key).GetValue().ToInt64(); }
    QString Shown(int row, int column) { return page->Model()->index(row, column).data().toString(); }
    // The error boxes asked so far.
    std::vector<std::string> Errors() { return dialogs.MessageBoxTexts(); }
};

TEST_F(GridFrameTest, DigitOpensTheSpinEditorAndEnterStores)
{
    Focus(1, cWord);
    QTest::keyClick(Grid(), Qt::Key_7);
    ASSERT_NE(Spin(), nullptr);
    EXPECT_EQ(Spin()->text(), "7");
    EXPECT_TRUE(Spin()->hasFocus());
    QTest::keyClick(Spin(), Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(1, "word"), 7);
    EXPECT_EQ(Shown(1, cWord), "7");
    EXPECT_TRUE(Grid()->hasFocus());

    // Esc stores nothing; the keypad's digits open editors too.
    QTest::keyClick(Grid(), Qt::Key_8, Qt::KeypadModifier);
    ASSERT_NE(Spin(), nullptr);
    EXPECT_EQ(Spin()->text(), "8");
    QTest::keyClick(Spin(), Qt::Key_Escape);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(1, "word"), 7);

    // The Enter that ended an editor, released on the grid, opens none.
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(Spin(), nullptr);
    QTest::keyPress(Spin(), Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    QTest::keyRelease(Grid(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(GridFrameTest, RefusedValueKeepsTheEditorOpenWithOneError)
{
    // The column's spin goes to 2147483647; the word field refuses more than 65535.
    Focus(2, cWord);
    dialogs->PushAnswer(platform::MsgResult::OK);
    QTest::keyClick(Grid(), Qt::Key_7);
    ASSERT_NE(Spin(), nullptr);
    QTest::keyClicks(Spin(), "0000");
    QTest::keyClick(Spin(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(Errors(), std::vector<std::string>{"Больше максимума"});
    ASSERT_NE(Spin(), nullptr);
    EXPECT_EQ(Spin()->text(), "70000");
    EXPECT_EQ(Value(2, "word"), 1);

    // Ended by the focus leaving it: one error again, and the editor, still open, takes
    // the focus back.
    dialogs.Reset();
    dialogs->PushAnswer(platform::MsgResult::OK);
    elsewhere->setFocus();
    ASSERT_TRUE(qttest::PumpUntil([&] { return Spin() && Spin()->hasFocus(); }));
    EXPECT_EQ(Errors(), std::vector<std::string>{"Больше максимума"});
    EXPECT_EQ(Value(2, "word"), 1);

    // A click on another cell leaves it open too; Esc then drops it.
    const QRect other = Grid()->visualRect(page->Model()->index(3, cInt));
    dialogs.Reset();
    dialogs->PushAnswer(platform::MsgResult::OK);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, other.center());
    ASSERT_TRUE(qttest::PumpUntil([&] { return Spin() && Spin()->hasFocus(); }));
    EXPECT_EQ(Grid()->currentIndex().row(), 2);
    QTest::keyClick(Spin(), Qt::Key_Escape);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(2, "word"), 1);

    // Grids that say so show the field's value again in the editor, which stays open.
    TGridSpec spec = testsupport::GridTestSpec();
    spec.Commands.RefusalShowsValue = true;
    MakePage(std::move(spec));
    Focus(2, cWord);
    dialogs.Reset();
    dialogs->PushAnswer(platform::MsgResult::OK);
    QTest::keyClick(Grid(), Qt::Key_7);
    QTest::keyClicks(Spin(), "0000");
    QTest::keyClick(Spin(), Qt::Key_Return);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Больше максимума"});
    ASSERT_NE(Spin(), nullptr);
    EXPECT_EQ(Spin()->text(), "1");
    QTest::keyClick(Spin(), Qt::Key_Return); // nothing changed since: closes, stores nothing
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(2, "word"), 1);
}

TEST_F(GridFrameTest, TypedValuesBeyondTheSpinAreClamped)
{
    // The nibble's spin takes the field's limits, 0..15.
    Focus(0, cNib);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(Spin(), nullptr);
    Spin()->selectAll();
    QTest::keyClicks(Spin(), "20");
    EXPECT_EQ(Spin()->text(), "20");
    QTest::keyClick(Spin(), Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(0, "nib"), 15);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(GridFrameTest, ColumnsWithoutFocusNeverBecomeCurrent)
{
    TGridSpec spec = testsupport::GridTestSpec();
    spec.Columns[cInt].Focusable = false;
    MakePage(std::move(spec));
    Focus(2, cWord);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->visualRect(page->Model()->index(3, cInt)).center());
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(3, cWord));
    QTest::keyClick(Grid(), Qt::Key_Home);
    EXPECT_EQ(Grid()->currentIndex().column(), cWord);
    QTest::keyClick(Grid(), Qt::Key_Left);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(2, cU32));
}

TEST_F(GridFrameTest, RowsWithoutFocusNeverBecomeCurrent)
{
    // Row 2 takes no focus (its last column lies before its first); an editor of the
    // combo column is as wide as its third item + 20.
    TGridSpec spec = testsupport::GridTestSpec();
    spec.Hooks.LastColumn = [this](const TGridRow& row) { return row.Record == &table.Record(2) ? -1 : cU32; };
    spec.Columns[cByte].Editor.Width = TEditorWidth::OfItem;
    spec.Columns[cByte].Editor.WidthItem = 2;
    MakePage(std::move(spec));
    Focus(1, cWord);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->visualRect(page->Model()->index(2, cInt)).center());
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(1, cWord));
    QTest::keyClick(Grid(), Qt::Key_Down);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(3, cWord));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->visualRect(page->Model()->index(4, cInt)).center());
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(4, cInt));

    Focus(4, cByte);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(page->Link()->EditorMinWidth(), Grid()->fontMetrics().horizontalAdvance("три") + 20);
    QTest::keyClick(Editor(), Qt::Key_Escape);
    ASSERT_TRUE(EditorClosed());
}

TEST_F(GridFrameTest, UntouchedEditorsStoreNothing)
{
    // A float shown with 4 decimals and confirmed as it is keeps all its digits.
    table.Field(0, "single").SetValue(1.23456);
    float stored = 0;
    table.Field(0, "single").ReadBytes(table.Field(0, "single").NodeOffset(), &stored, sizeof stored);
    Focus(0, cSingle);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(Spin(), nullptr);
    EXPECT_EQ(Spin()->text(), QLocale().toString(1.2346, 'f', 4));
    QTest::keyClick(Spin(), Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    float after = 0;
    table.Field(0, "single").ReadBytes(table.Field(0, "single").NodeOffset(), &after, sizeof after);
    EXPECT_EQ(after, stored);

    // A byte that no item carries: no selection, and closing the list stores nothing.
    table.Field(0, "byte").SetValue(int32_t{7});
    Focus(0, cByte);
    QTest::keyClick(Grid(), Qt::Key_Return);
    auto* combo = qobject_cast<QComboBox*>(Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->count(), 3);
    ASSERT_TRUE(qttest::PumpUntil([&] { return combo->view()->isVisible(); })); // the list opens at once
    combo->hidePopup();
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(0, "byte"), 7);

    // A choice in the list is stored when the list closes.
    QTest::keyClick(Grid(), Qt::Key_Return);
    combo = qobject_cast<QComboBox*>(Editor());
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(1);
    combo->hidePopup();
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(0, "byte"), 2);
    EXPECT_EQ(Shown(0, cByte), "два");

    // An item the page preselects for a value no item carries is not stored unchosen.
    TGridSpec spec = testsupport::GridTestSpec();
    spec.Columns[cByte].Editor.Preselect = [](const TGridRow&, const TPickList&) { return 0; };
    MakePage(std::move(spec));
    table.Field(1, "byte").SetValue(int32_t{9});
    Focus(1, cByte);
    QTest::keyClick(Grid(), Qt::Key_Return);
    combo = qobject_cast<QComboBox*>(Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "один");
    combo->hidePopup();
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(Value(1, "byte"), 9);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(GridFrameTest, FillDialogFromTheSecondRow)
{
    Focus(1, cInt);
    testsupport::AnswerFillDialog(dialogs.Service(), 4, 10, 4, 5);
    QTest::keyClick(Grid(), Qt::Key_F3);
    const std::vector<int64_t> values = {Value(0, "int"), Value(1, "int"), Value(2, "int"), Value(3, "int"),
                                         Value(4, "int")};
    EXPECT_EQ(values, (std::vector<int64_t>{0, 10, 15, 20, 25}));
    EXPECT_EQ(Shown(4, cInt), "25");
    EXPECT_EQ(Grid()->currentIndex().row(), 1);
}

TEST_F(GridFrameTest, AltADownCopiesPlusOneAndMoves)
{
    table.Field(0, "int").SetValue(int32_t{12});
    Focus(0, cInt);
    QTest::keyPress(Grid(), Qt::Key_Alt);
    QTest::keyPress(Grid(), Qt::Key_A, Qt::AltModifier);
    QTest::keyPress(Grid(), Qt::Key_Down, Qt::AltModifier);
    QTest::keyRelease(Grid(), Qt::Key_Down, Qt::AltModifier);
    QTest::keyRelease(Grid(), Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(Value(1, "int"), 13);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(1, cInt));
    EXPECT_TRUE(Grid()->selectionModel()->isRowSelected(1, {}));

    // "Ф" is the same key in the Russian layout.
    const auto ef = [&](QEvent::Type type) {
        QKeyEvent event(type, 0x0424, Qt::AltModifier, QStringLiteral("Ф"));
        QApplication::sendEvent(Grid(), &event);
    };
    ef(QEvent::KeyPress);
    QTest::keyClick(Grid(), Qt::Key_Down, Qt::AltModifier);
    ef(QEvent::KeyRelease);
    QTest::keyRelease(Grid(), Qt::Key_Alt);
    EXPECT_EQ(Value(2, "int"), 14);
    EXPECT_EQ(Shown(2, cInt), "14");
}

TEST_F(GridFrameTest, RefreshKeepsTheFocusAndColumnsOnlyWiden)
{
    Focus(3, cText);
    table.Field(3, "text").SetValue("ширина!");
    page->RefreshAll();
    EXPECT_EQ(Shown(3, cText), "ширина!");
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(3, cText));
    EXPECT_TRUE(Grid()->selectionModel()->isRowSelected(3, {}));

    // A stored row widens its columns to text + 30; a shorter text later narrows none.
    QHeaderView* header = Grid()->horizontalHeader();
    const int advance = Grid()->fontMetrics().horizontalAdvance("ширина!");
    EXPECT_LT(header->sectionSize(cText), advance + 30);
    QTest::keyClick(Grid(), Qt::Key_Return);
    auto* edit = qobject_cast<QLineEdit*>(Editor());
    ASSERT_NE(edit, nullptr);
    edit->setText("ширина!!");
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    const int wide = header->sectionSize(cText);
    EXPECT_EQ(wide, Grid()->fontMetrics().horizontalAdvance("ширина!!") + 30);
    Focus(3, cText);
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(Shown(3, cText), "abc");
    EXPECT_EQ(header->sectionSize(cText), wide);

    // A new page fits its columns to the widest texts of all its rows.
    table.Field(4, "int").SetValue(int32_t{123456789});
    table.Field(2, "int").SetValue(int32_t{-99});
    MakePage(testsupport::GridTestSpec());
    EXPECT_EQ(Grid()->horizontalHeader()->sectionSize(cInt),
              Grid()->fontMetrics().horizontalAdvance("123456789") + 30);
}

TEST_F(GridFrameTest, FloatSpinsTakeBothDecimalMarks)
{
    struct Case {
        const char* name;
        QLocale locale;
        const char* typed;
        double stored;
    };
    const Case cases[] = {
        {"comma under a point", QLocale::c(), "0,25", 0.25},
        {"point under a point", QLocale::c(), "1.5", 1.5},
        {"point under a comma", QLocale(QLocale::Russian, QLocale::Russia), "2.75", 2.75},
        {"comma under a comma", QLocale(QLocale::Russian, QLocale::Russia), "0,125", 0.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->setLocale(c.locale);
        Focus(1, cSingle);
        QTest::keyClick(Grid(), Qt::Key_Return);
        ASSERT_NE(Spin(), nullptr);
        Spin()->selectAll();
        QTest::keyClicks(Spin(), c.typed);
        QTest::keyClick(Spin(), Qt::Key_Return);
        ASSERT_TRUE(EditorClosed());
        EXPECT_EQ(table.Field(1, "single").GetValue().ToDouble(), c.stored);
    }
    EXPECT_TRUE(Errors().empty());
}

TEST_F(GridFrameTest, FitAfterEditNarrowsToTheContents)
{
    TGridSpec spec = testsupport::GridTestSpec();
    spec.FitAfterEdit = true;
    MakePage(std::move(spec));
    QHeaderView* header = Grid()->horizontalHeader();
    header->resizeSection(cInt, 300);
    header->resizeSection(cText, 300);

    // Cancelled: nothing is fitted.
    Focus(0, cWord);
    QTest::keyClick(Grid(), Qt::Key_7);
    QTest::keyClick(Spin(), Qt::Key_Escape);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(header->sectionSize(cInt), 300);

    // Stored: every column its widest text + 30, never below its minimum.
    QTest::keyClick(Grid(), Qt::Key_7);
    QTest::keyClick(Spin(), Qt::Key_Return);
    ASSERT_TRUE(EditorClosed());
    EXPECT_EQ(header->sectionSize(cInt), 60);
    EXPECT_EQ(header->sectionSize(cText), Grid()->fontMetrics().horizontalAdvance("abc") + 30);
}

TEST_F(GridFrameTest, PostsToAGonePageAreDropped)
{
    int notified = 0;
    page->notified = &notified;
    ASSERT_TRUE(platform::PostMessage(page->Handle(), platform::WM_FRAME_NOTIFY, 100, 0));
    ASSERT_TRUE(qttest::PumpUntil([&] { return notified == 1; }));

    ASSERT_TRUE(platform::PostMessage(page->Handle(), platform::WM_FRAME_NOTIFY, 0, 0));
    const platform::HWND handle = page->Handle();
    delete page;
    page = nullptr;
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_EQ(notified, 1);
    EXPECT_FALSE(platform::IsWindow(handle));
}

// The cell painting of a page's link, open to the test.
class TOpenLink : public TFieldEditLink {
public:
    using TFieldEditLink::initStyleOption;
    using TFieldEditLink::TFieldEditLink;
};

TEST_F(GridFrameTest, FocusedCellInTheWindowColourWhereTheSpecSaysSo)
{
    Focus(1, cWord);
    const QModelIndex focused = page->Model()->index(1, cWord);
    const QModelIndex other = page->Model()->index(1, cInt);
    // The text colour of a selected cell as the link paints it.
    const auto selectedText = [&](const TGridSpec& spec, const QModelIndex& index) {
        TOpenLink link(spec, *page->Model(), *Grid());
        QStyleOptionViewItem option;
        option.state |= QStyle::State_Selected;
        option.palette.setColor(QPalette::Base, Qt::white);
        option.palette.setColor(QPalette::HighlightedText, Qt::yellow);
        link.initStyleOption(&option, index);
        return option.palette.color(QPalette::HighlightedText);
    };
    TGridSpec spec = testsupport::GridTestSpec();
    EXPECT_EQ(selectedText(spec, focused), QColor(Qt::white));
    EXPECT_EQ(selectedText(spec, other), QColor(Qt::yellow));
    spec.FocusedCellStandsOut = false;
    EXPECT_EQ(selectedText(spec, focused), QColor(Qt::yellow));
}

} // namespace
