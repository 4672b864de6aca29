#include "platform/Dialogs.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <thread>

using namespace platform;
using namespace platform::qt;

// Once the event loop has ended, nothing sent to the GUI thread waits any more; once
// the application object has gone, there is no GUI thread.
TEST(QtShutdown, NothingWaitsForAnEndedEventLoop)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "QtShutdown_test";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    InstallQtDialogService();
    auto window = std::make_unique<QWidget>();
    const HWND hwnd = RegisterMainWindow(window.get(), [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_CLOSE)
            QCoreApplication::quit();
        return 5;
    });
    EXPECT_TRUE(IsGuiThread());

    LRESULT whileRunning = 0;
    std::thread worker;
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] { whileRunning = SendMessage(hwnd, WM_CLOSE, 0, 0); });
    });
    app->exec();
    worker.join();
    EXPECT_EQ(whileRunning, 5);

    LRESULT afterwards = -1;
    bool posted = true, refused = false;
    MsgResult answer = MsgResult::None;
    std::thread([&] {
        afterwards = SendMessage(hwnd, WM_USER, 0, 0);
        posted = PostMessage(hwnd, WM_USER, 0, 0);
        try {
            RunOnGuiThread([] {});
        } catch (const EGuiThreadUnavailable&) {
            refused = true;
        }
        answer = ShowMessageBox(0, "Выйти из приложения?", "Предупреждение", MsgIcon::Warning, MsgButtons::YesNo);
    }).join();
    EXPECT_EQ(afterwards, 0);
    EXPECT_FALSE(posted);
    EXPECT_TRUE(refused);
    EXPECT_EQ(answer, MsgResult::No);
    // The GUI thread itself still calls its windows directly.
    EXPECT_EQ(SendMessage(hwnd, WM_USER, 0, 0), 5);

    window.reset();
    EXPECT_EQ(MainWindow(), 0u);
    app.reset();
    EXPECT_FALSE(IsGuiThread());
    EXPECT_THROW(RunOnGuiThread([] {}), EGuiThreadUnavailable);
    SetDialogService(nullptr);
}
