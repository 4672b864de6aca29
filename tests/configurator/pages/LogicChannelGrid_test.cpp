#include "configurator/pages/FLogicCh.h"
#include "configurator/pages/FCommon.h"
#include "model/ProtocolTables.h"
#include "model/uZumo2.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PagesWindow.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <string>
#include <vector>

namespace {

// The logical channel page of the base model's document in the real tree.
class LogicChannelGrid : public testsupport::PagesWindow {
protected:
    testsupport::DialogScript dialogs;
    TfrLogicCh* page = nullptr;

    TLogic& Channel(int i) { return *Document().LogicChannelByIndex(i); }
    void SetKind(int channel, int kind)
    {
        Channel(channel).TypeField->SetValue(Variant(int32_t{ChannelTypeCodes[kind]}));
    }
    // Shows the page of the "Логические каналы" group.
    void Show()
    {
        page = Select<TfrLogicCh>(doc->Groups().LogicChannels);
        ASSERT_NE(page, nullptr);
    }
    TGridView* Grid() { return page->vtGrid; }
    int Rows() { return page->Model()->rowCount(); }
    QString Text(int row, int column) { return page->Model()->index(row, column).data().toString(); }
    // Focuses a cell, the grid holding the input focus.
    void Focus(int row, int column)
    {
        window->activateWindow();
        ASSERT_TRUE(qttest::PumpUntil([&] { return window->isActiveWindow(); }));
        page->FocusCell(row, column);
        Grid()->setFocus();
        ASSERT_TRUE(qttest::PumpUntil([&] { return Grid()->hasFocus(); }));
    }
    // The focused channel's number and the focused column.
    std::pair<QString, int> Focused()
    {
        const QModelIndex current = Grid()->currentIndex();
        return {Text(current.row(), lcNumber), current.column()};
    }
};

TEST_F(LogicChannelGrid, TypeChosenInItsComboRegroupsOnceTheEditorCloses)
{
    Show();
    // All 20 channels without a kind: one group.
    ASSERT_EQ(Rows(), 21);
    EXPECT_EQ(Text(0, lcNumber), "№");
    EXPECT_EQ(Text(3, lcType), "Нет");
    Focus(3, lcType); // channel 3
    QTest::keyClick(Grid(), Qt::Key_Return);
    auto* combo = qobject_cast<QComboBox*>(page->Link()->Editor());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "Нет");
    combo->setCurrentIndex(combo->findText("Данные (ТИ)"));
    combo->hidePopup();
    // H 1 2 S H 3 S H 4 .. 20
    ASSERT_TRUE(qttest::PumpUntil([&] { return Rows() == 25; }));
    EXPECT_EQ(Channel(2).ActiveKindIndex(), 2);
    EXPECT_EQ(Text(4, lcFirstParam), "Тип");
    EXPECT_EQ(Text(5, lcType), "Данные (ТИ)");
    EXPECT_EQ(Focused(), (std::pair<QString, int>{"3", lcType}));
    // The grid takes the focus back (the window's own, the list's popup having taken
    // the activation with it here).
    EXPECT_EQ(window->focusWidget(), Grid());

    // The ТИТ source combo is as wide as its sixth item + 20.
    Focus(5, lcFirstParam);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(page->Link()->Editor(), nullptr);
    EXPECT_EQ(page->Link()->EditorMinWidth(), Grid()->fontMetrics().horizontalAdvance("Температура") + 20);
    QTest::keyClick(page->Link()->Editor(), Qt::Key_Escape);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    EXPECT_EQ(Rows(), 25);
}

TEST_F(LogicChannelGrid, DeleteResetsAndThePostedRebuildKeepsTheColumn)
{
    SetKind(0, 1);
    SetKind(1, 1);
    Channel(0).Kind(1)->Find<TField>("102")->SetValue(Variant(int32_t{7}));
    Show();
    // H 1 S H 2 S H 3 .. 20: channel 1's source 7 heads its own group.
    ASSERT_EQ(Rows(), 25);
    EXPECT_EQ(Text(0, 5), "Период (мин)");
    Focus(1, lcFirstParam);
    QScrollBar* across = Grid()->horizontalScrollBar();
    const int left = across->value();
    QTest::keyClick(Grid(), Qt::Key_Delete);
    EXPECT_EQ(Channel(0).Kind(1)->Find<TField>("102")->GetValue().ToInt32(), 5);
    ASSERT_TRUE(qttest::PumpUntil([&] { return Rows() == 23; }));
    EXPECT_EQ(Text(0, 5), "Значение ТС для остановки");
    EXPECT_EQ(Focused(), (std::pair<QString, int>{"1", lcFirstParam}));
    // The row is centred in the grid, which does not scroll across for it.
    EXPECT_GT(across->maximum(), 0);
    EXPECT_EQ(across->value(), left);

    // The tree's Delete key on the group resets every channel, and the page shows it.
    doc->ResetSelectionToDefaults();
    EXPECT_EQ(Rows(), 21);
}

TEST_F(LogicChannelGrid, WheelDoesNotScrollWhileAnEditorIsOpen)
{
    for (int i = 0; i < Document().LogicChannelCount(); ++i) SetKind(i, 1 + i % 2);
    Show();
    ASSERT_EQ(Rows(), 59);
    QScrollBar* bar = Grid()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    const auto wheel = [&] {
        const QPointF at = Grid()->viewport()->rect().center();
        QWheelEvent event(at, Grid()->viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Grid()->viewport(), &event);
    };
    Focus(1, lcVAK);
    QTest::keyClick(Grid(), Qt::Key_Return);
    ASSERT_NE(page->Link()->Editor(), nullptr);
    wheel();
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(page->Link()->Editor(), Qt::Key_Escape);
    ASSERT_TRUE(qttest::PumpUntil([&] { return page->Link()->Editor() == nullptr; }));
    wheel();
    EXPECT_GT(bar->value(), 0);
}

TEST_F(LogicChannelGrid, PageKeysLandOnChannelRows)
{
    for (int i = 0; i < Document().LogicChannelCount(); ++i) SetKind(i, 1 + i % 2);
    Show();
    Focus(1, lcPort);
    // Every page down goes on to a channel row further down, to the last one.
    for (int before = 1; before < Rows() - 1;) {
        QTest::keyClick(Grid(), Qt::Key_PageDown);
        const int row = Grid()->currentIndex().row();
        ASSERT_GT(row, before);
        EXPECT_EQ(page->Model()->RowAt(row)->Kind, lrChannel) << row;
        EXPECT_EQ(Grid()->currentIndex().column(), lcPort);
        before = row;
    }
    // Ctrl+Home: the first cell, in the first channel row.
    QTest::keyClick(Grid(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(1, lcVAK));
}

TEST_F(LogicChannelGrid, ClicksOnHeaderRowsKeepTheFocusedCell)
{
    SetKind(1, 1);
    Show();
    // H 1 S H 2 S H 3 .. 20
    Focus(1, lcPort);
    const auto click = [&](int row) {
        const QPoint at = Grid()->visualRect(page->Model()->index(row, lcVAK)).center();
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, at);
    };
    click(3);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(1, lcPort));
    click(4);
    EXPECT_EQ(Grid()->currentIndex(), page->Model()->index(4, lcVAK));
}

TEST_F(LogicChannelGrid, CellsArePaintedByRowKind)
{
    SetKind(1, 1);
    window->resize(1600, 700);
    Show();
    // H 1 S H 2 S H 3 .. 20; channel 1, without a kind, is focused and selected.
    Focus(1, lcVAK);
    ASSERT_TRUE(qttest::PumpUntil([&] { return Grid()->viewport()->width() > 1100; }));
    const QImage image = Grid()->viewport()->grab().toImage();
    const auto colour = [&](int row, int column) {
        const QRect cell = Grid()->visualRect(page->Model()->index(row, column));
        return image.pixelColor(cell.right() - 3, cell.top() + 3);
    };
    const QPalette& palette = Grid()->palette();
    const QColor grey(160, 160, 164);
    EXPECT_EQ(colour(0, lcNumber), palette.color(QPalette::Button));
    EXPECT_EQ(colour(0, lcType), palette.color(QPalette::Button));
    EXPECT_EQ(colour(0, lcFirstParam), grey); // beyond the group's columns
    EXPECT_EQ(colour(1, lcNumber), palette.color(QPalette::Button));
    EXPECT_EQ(colour(1, lcVAK), palette.color(QPalette::Highlight));
    EXPECT_EQ(colour(1, lcPort), palette.color(QPalette::Base));
    EXPECT_EQ(colour(1, lcFirstParam), grey); // also on the selected row
    EXPECT_EQ(colour(2, lcVAK), grey);        // a separator
    EXPECT_EQ(colour(3, 5), palette.color(QPalette::Button));
    EXPECT_EQ(colour(4, 5), palette.color(QPalette::Base));
    EXPECT_EQ(colour(4, 6), grey);
}

TEST_F(LogicChannelGrid, RebuildPostedBeforeThePageGoesIsDropped)
{
    Show();
    const platform::HWND handle = page->Handle();
    ASSERT_TRUE(platform::PostMessage(handle, platform::WM_FRAME_NOTIFY, 0, 0));
    ASSERT_NE(Select<TfrCommon>(doc->Groups().Root), nullptr);
    Process();
    EXPECT_FALSE(platform::IsWindow(handle));
    EXPECT_NE(dynamic_cast<TfrCommon*>(doc->Frame()->Widget()), nullptr);
}

} // namespace
