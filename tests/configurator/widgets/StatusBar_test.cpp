#include "common/ProgressMgr.h"
#include "configurator/widgets/StatusBar.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

class StatusBarProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        qttest::App();
        bar = std::make_unique<TStatusBar>();
        bar->resize(600, 22);
        bar->show();
        bar->SetPanelText(0, "Готов");
        SetProgressStatusBar(bar.get());
    }
    void TearDown() override
    {
        EndProgress();
        bar.reset();
    }

    int Right(const QProgressBar* p) const { return p->geometry().x() + p->geometry().width(); }

    std::unique_ptr<TStatusBar> bar;
};

TEST_F(StatusBarProgress, BarFollowsTheText)
{
    const std::string text = "Считывание параметров";
    BeginProgress(text, 0);
    EXPECT_EQ(bar->PanelText(0), QString::fromStdString(text));
    QProgressBar* p = bar->ProgressBar();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->parentWidget(), bar.get());
    EXPECT_EQ(p->geometry(), QRect(bar->TextWidth(QString::fromStdString(text)) + 50, (22 - 10) / 2 + 2,
                                   600 - 5 - bar->TextWidth(QString::fromStdString(text)) - 50, 10));
    EXPECT_EQ(p->minimum(), 0);
    EXPECT_EQ(p->maximum(), 100);

    // A longer and then a shorter text: the left edge follows, the right edge stays.
    for (const std::string next : {"Считывание параметров: блок 2 из 10", "Шаг"}) {
        SetProgressText(next);
        ASSERT_EQ(bar->ProgressBar(), p);
        EXPECT_EQ(Right(p), 595);
        EXPECT_EQ(p->geometry().x(), bar->TextWidth(QString::fromStdString(next)) + 50);
        EXPECT_EQ(bar->PanelText(0), QString::fromStdString(next));
    }

    // Setting the position runs no event loop: a queued call stays queued.
    bool ran = false;
    QTimer::singleShot(0, bar.get(), [&ran] { ran = true; });
    EXPECT_TRUE(SetProgress(40));
    EXPECT_EQ(p->value(), 40);
    EXPECT_FALSE(ran);
    QApplication::processEvents();
    EXPECT_TRUE(ran);

    EndProgress();
    EXPECT_EQ(bar->ProgressBar(), nullptr);
    EXPECT_EQ(bar->PanelText(0), "Готов");
}

// With the version panel on the right, the bar and the cancel button take the room
// between the text and that panel, for every text and width, so that the version stays
// readable; a new caption keeps the button's room.
TEST_F(StatusBarProgress, BarAndButtonKeepClearOfTheLastPanel)
{
    bar->AddPanel("Версия 1.1.2.273");
    FitStatusPanels(bar.get());
    BeginProgress("Считывание параметров", 0);
    QProgressBar* p = bar->ProgressBar();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Right(p), bar->PanelGeometry(1).x() - 5);
    EXPECT_EQ(p->geometry().x(), bar->TextWidth("Считывание параметров") + 50);

    QToolButton button(bar.get());
    bar->ProgressView().SetButton(&button);
    EXPECT_EQ(Right(p), bar->PanelGeometry(1).x() - 5 - 50);
    EXPECT_EQ(button.geometry(), QRect(Right(p) + 3, 2, 20, 20));

    for (const int width : {600, 1000, 330}) {
        bar->resize(width, 22);
        for (const std::string text : {"Шаг", "Поиск Firmware идентификатора в FLASH (STM32f103re)"}) {
            SCOPED_TRACE(std::to_string(width) + " " + text);
            SetProgressText(text);
            const QRect version = bar->PanelGeometry(1);
            EXPECT_EQ(version.x() + version.width(), width);
            EXPECT_GE(version.width(), bar->TextWidth("Версия 1.1.2.273"));
            EXPECT_FALSE(p->geometry().intersects(version));
            EXPECT_FALSE(button.geometry().intersects(version));
            EXPECT_FALSE(button.geometry().intersects(p->geometry()));
            EXPECT_GE(p->width(), 50);
            EXPECT_GE(p->geometry().x(), 0);
        }
    }
    bar->resize(600, 22);
    BeginProgress("Считывание параметров (STM32f103re)", 0);
    ASSERT_EQ(bar->ProgressBar(), p);
    EXPECT_EQ(Right(p) + 3, button.geometry().x());
    EXPECT_FALSE(button.geometry().intersects(bar->PanelGeometry(1)));

    // Without the button the bar reaches to 5 pixels before the panel again.
    bar->ProgressView().SetButton(nullptr);
    EXPECT_EQ(Right(p), bar->PanelGeometry(1).x() - 5);
}

TEST_F(StatusBarProgress, AtHundredNoBarAndSimpleText)
{
    BeginProgress("Готово", 100);
    EXPECT_EQ(bar->ProgressBar(), nullptr);
    EXPECT_EQ(bar->PanelText(0), "Готово");
    EndProgress();

    bar->SetSimplePanel(true);
    bar->SetSimpleText("Простой текст");
    BeginProgress("Запись", 10);
    EXPECT_EQ(bar->SimpleText(), "Запись");
    EXPECT_EQ(bar->PanelText(0), "Готов");
    ASSERT_NE(bar->ProgressBar(), nullptr);
    EXPECT_EQ(bar->ProgressBar()->geometry().x(), bar->TextWidth("Запись") + 50);
    EndProgress();
    EXPECT_EQ(bar->SimpleText(), "Простой текст");
}

// One BeginProgress per block and one EndProgress per operation leave no wait cursor.
TEST_F(StatusBarProgress, CursorIsSetNotStacked)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    BeginProgress("Блок 1", 0, TProgressCursor::HourGlass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    BeginProgress("Блок 2", 0, TProgressCursor::Arrow);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    BeginProgress("Блок 3", 0, TProgressCursor::HourGlass);
    EndProgress();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A status bar that goes away gives its cursor back and detaches itself.
    BeginProgress("Блок", 0);
    bar.reset();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ProgressStatusBar(), nullptr);
}

} // namespace
