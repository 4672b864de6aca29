// The main window's first start on a 1280 × 1024 screen: the offscreen platform with a
// screen of that size. This program makes its own application object for that screen.

#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "model/uZumo2.h"
#include "platform/ProgramDir.h"
#include "tests/support/DialogScript.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <filesystem>
#include <string>

using qttest::PumpUntil;

namespace {

const std::filesystem::path kStub = std::filesystem::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures" / "libloader_stub.so";

// The application object on one offscreen screen of 1280 × 1024 pixels.
QApplication& App1280()
{
    static testsupport::TempDir dir;
    static QApplication* app = [] {
        const std::filesystem::path config = dir / "screen.json";
        testsupport::WriteFile(config, R"({"screens": [{"name": "screen1280", "x": 0, "y": 0, "width": 1280,
                                           "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        static std::string name = "first_start_test";
        static std::string option = "-platform";
        static std::string platform = "offscreen:configfile=" + config.string();
        static char* argv[] = {name.data(), option.data(), platform.data(), nullptr};
        static int argc = 3;
        return new QApplication(argc, argv);
    }();
    return *app;
}

class FirstStart : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;

    void SetUp() override
    {
        App1280();
        RegisterDocumentPages();
        const QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_NE(screen, nullptr);
        ASSERT_EQ(screen->geometry(), QRect(0, 0, 1280, 1024));
    }

    // The window with the loader's stand-in and no stored placement, started.
    std::unique_ptr<TfmCfgMain> Start()
    {
        TCfgMainOptions o;
        o.LibraryFile = kStub;
        o.IniFile = dir / "Mirvak.ini"; // none yet: the first start
        o.DocumentFactory = [](int) -> std::unique_ptr<TDocument> { return MakeZumo2Doc(); };
        auto w = std::make_unique<TfmCfgMain>(o);
        w->show();
        EXPECT_TRUE(PumpUntil([&] { return w->Controller().Document() != nullptr; }));
        EXPECT_TRUE(w->LibraryLoaded());
        return w;
    }

    // Every entry of the tool bars in sight and inside the window, no extension button
    // shown, every bar above the tree; the operations' buttons with or without captions.
    static bool AllInSight(TfmCfgMain& w, bool captions)
    {
        const QRect window = w.rect();
        const int treeTop = w.vtTree->mapTo(&w, QPoint(0, 0)).y();
        for (QToolBar* bar : {w.tbFixed, w.tbOperations, w.tbCommandLine}) {
            if (!bar->isVisible()) return false;
            if (bar->mapTo(&w, QPoint(0, bar->height())).y() > treeTop) return false;
            for (const auto* extension : bar->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
                if (extension->isVisible()) return false;
            for (QAction* action : bar->actions()) {
                if (!action->isVisible()) continue;
                QWidget* widget = bar->widgetForAction(action);
                if (!widget || !widget->isVisible()) return false;
                if (!window.contains(QRect(widget->mapTo(&w, QPoint(0, 0)), widget->size()))) return false;
                auto* button = qobject_cast<QToolButton*>(widget);
                if (bar == w.tbOperations && button && action->data().toInt() != opSettings &&
                    button->toolButtonStyle() != (captions ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly))
                    return false;
            }
        }
        return w.SendBox() && w.SendBox()->isVisible();
    }
};

} // namespace

// At the first start the window widens, within the screen, until the model bar, every
// operation with its caption and the command line are in sight.
TEST_F(FirstStart, EveryOperationIsInSight)
{
    auto w = Start();
    EXPECT_TRUE(PumpUntil([&] { return AllInSight(*w, true); }));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(w->frameGeometry()));
    EXPECT_GT(w->width(), 800);
    for (const int code : {opSettings, opReadParams, opWriteParams, opChooseFirmware, opWriteFirmware, opReadFlash}) {
        EXPECT_NE(w->OperationAction(code), nullptr) << code;
    }
    // Remembered: the next start restores the width.
    w->close();
    w.reset();
    auto again = Start();
    EXPECT_TRUE(PumpUntil([&] { return AllInSight(*again, true); }));
}

// A window narrower than the operations with their captions shows them as images in a
// row of their own; nothing hides behind an extension button whose row would lie over
// the tree. Wide again, the captions come back.
TEST_F(FirstStart, NarrowWindowShowsTheOperationsAsImages)
{
    auto w = Start();
    ASSERT_TRUE(PumpUntil([&] { return AllInSight(*w, true); }));
    w->resize(700, w->height());
    EXPECT_TRUE(PumpUntil([&] { return w->width() == 700 && AllInSight(*w, false); }));
    EXPECT_TRUE(w->toolBarBreak(w->tbOperations));
    w->resize(1280, w->height());
    EXPECT_TRUE(PumpUntil([&] { return w->width() == 1280 && AllInSight(*w, true); }));
}
