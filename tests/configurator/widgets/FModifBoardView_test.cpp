#include "configurator/widgets/FModifBoardView.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

class BoardModifView : public ::testing::Test {
protected:
    TfmBoardModif form;
    std::unique_ptr<QDialog> dialog;
    QTreeWidget* grid = nullptr;

    void SetUp() override
    {
        qttest::App();
        form.FormShow();
        dialog.reset(BuildBoardModifDialog(form, nullptr));
        dialog->show();
        grid = dialog->findChild<QTreeWidget*>("vtGrid");
        ASSERT_NE(grid, nullptr);
    }
    QTreeWidgetItem* RowOf(uint16_t signature) { return grid->topLevelItem(form.RowOfSignature(signature)); }
};

} // namespace

TEST_F(BoardModifView, GridShowsTheModel)
{
    EXPECT_EQ(dialog->windowTitle(), "Выбор модификации платы");
    ASSERT_EQ(grid->topLevelItemCount(), 78);
    ASSERT_EQ(grid->columnCount(), 7);
    EXPECT_EQ(grid->headerItem()->text(0), "Наименование");
    EXPECT_EQ(grid->headerItem()->text(6), "описание");
    EXPECT_EQ(grid->columnWidth(0), 180);
    EXPECT_EQ(grid->columnWidth(1), 60);
    EXPECT_EQ(grid->topLevelItem(0)->text(0), "Zumo7-E1C20");
    EXPECT_EQ(grid->topLevelItem(77)->text(0), "Zumo7-E2C02-M4");
    QTreeWidgetItem* m1 = RowOf(610);
    EXPECT_EQ(m1->text(0), "Zumo7-E1C20-M1");
    EXPECT_EQ(m1->text(2), "4");
    EXPECT_EQ(m1->text(6), "");
    EXPECT_EQ(m1->textAlignment(0), Qt::AlignCenter);
}

// The columns keep their widths whatever the dialog's width: the description column is
// 180 pixels wide, not stretched over the free width, and the dialog fits its columns.
TEST_F(BoardModifView, ColumnsKeepTheirWidths)
{
    const int widths[] = {180, 60, -1, -1, -1, -1, 180};
    const int defaultWidth = grid->header()->defaultSectionSize();
    int total = 0;
    for (int c = 0; c < 7; ++c) total += widths[c] > 0 ? widths[c] : defaultWidth;
    for (const int dialogWidth : {0, 1200, 500}) {
        SCOPED_TRACE(dialogWidth);
        if (dialogWidth > 0) dialog->resize(dialogWidth, dialog->height());
        ASSERT_TRUE(qttest::PumpUntil([&] { return dialogWidth == 0 || dialog->width() == dialogWidth; }));
        for (int c = 0; c < 7; ++c) {
            EXPECT_EQ(grid->columnWidth(c), widths[c] > 0 ? widths[c] : defaultWidth) << "column " << c;
        }
        if (dialogWidth == 0) {
            // As made: every column in sight, no free width beyond the scroll bar.
            EXPECT_GE(grid->viewport()->width(), total);
            EXPECT_LT(grid->viewport()->width(), total + 10);
        }
    }
}

TEST_F(BoardModifView, DoubleClickChoosesTheRow)
{
    QTreeWidgetItem* m1 = RowOf(610);
    grid->scrollToItem(m1);
    const QRect rect = grid->visualItemRect(m1);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(form.FocusedSignature(), 610);
}

TEST_F(BoardModifView, EnterNeedsAFocusedRow)
{
    grid->setCurrentItem(nullptr);
    EXPECT_EQ(form.FocusedRow(), -1);
    QTest::keyRelease(grid, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible()) << "nothing happens";
    grid->setCurrentItem(RowOf(380));
    EXPECT_EQ(form.FocusedSignature(), 380);
    QTest::keyRelease(grid, Qt::Key_Enter);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(BoardModifView, ClosingCancels)
{
    grid->setCurrentItem(RowOf(730));
    dialog->close();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(form.FocusedSignature(), 730);
}
