#include "tests/support/QtTestApp.h"

#include "platform/qt/QtWindows.h"
#include "platform/Windows.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace platform;
using namespace platform::qt;
using qttest::PumpUntil;

class QtWindows : public ::testing::Test {
protected:
    void SetUp() override { qttest::App(); }
};

TEST_F(QtWindows, AWorkerSendsToAWidgetThatRepliesAndGoesOnOnTheGuiThread)
{
    QLabel label;
    std::atomic<bool> senderReturned{false};
    std::thread::id handlerThread;
    bool sawSenderReturn = false;
    const HWND hwnd = RegisterWidget(&label, [&](HWND, UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg != WM_LOADER_PROGRESS)
            return 0;
        ReplyMessage(LRESULT(wParam) + 1);
        // The sender runs on while this handler still works on the widget.
        sawSenderReturn = PumpUntil([&] { return senderReturned.load(); });
        handlerThread = std::this_thread::get_id();
        label.setText("готово");
        return 0;
    });
    ASSERT_NE(hwnd, 0u);
    EXPECT_EQ(WidgetHandle(&label), hwnd);
    EXPECT_EQ(WidgetFromHandle(hwnd), &label);

    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessage(hwnd, WM_LOADER_PROGRESS, 3, 0);
        senderReturned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return label.text() == "готово"; }));
    worker.join();
    EXPECT_EQ(result, 4);
    EXPECT_TRUE(sawSenderReturn);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST_F(QtWindows, APostedCloseClosesTheWindow)
{
    auto* window = new QLabel("Mirvak");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QPointer<QLabel> alive(window);
    const HWND hwnd = RegisterWidget(window);
    std::thread([hwnd] { EXPECT_TRUE(PostMessage(hwnd, WM_CLOSE, 0, 0)); }).join();
    ASSERT_TRUE(PumpUntil([&] { return alive.isNull(); }));
    // The handle went with the widget.
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(WidgetFromHandle(hwnd), nullptr);
    EXPECT_FALSE(PostMessage(hwnd, WM_CLOSE, 0, 0));
    EXPECT_EQ(SendMessage(hwnd, WM_CLOSE, 0, 0), 0);
}

TEST_F(QtWindows, TheMainWindowOwnsDialogsOfUnknownOwners)
{
    auto main = std::make_unique<QWidget>();
    QWidget page;
    const HWND mainHandle = RegisterMainWindow(main.get());
    const HWND pageHandle = RegisterWidget(&page);
    EXPECT_EQ(MainWindow(), mainHandle);
    EXPECT_EQ(OwnerWidget(pageHandle), &page);
    EXPECT_EQ(OwnerWidget(0), main.get());
    EXPECT_EQ(OwnerWidget(0x7FFFFFFF), main.get());
    EXPECT_THROW(RegisterWidget(&page), Exception);
    main.reset();
    EXPECT_EQ(MainWindow(), 0u);
    EXPECT_EQ(OwnerWidget(0), nullptr);
    UnregisterWidget(&page);
    EXPECT_FALSE(IsWindow(pageHandle));
    EXPECT_EQ(WidgetHandle(&page), 0u);
}

TEST_F(QtWindows, RunOnGuiThreadFromAWorker)
{
    std::thread::id ranOn;
    bool carried = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        RunOnGuiThread([&] { ranOn = std::this_thread::get_id(); });
        try {
            RunOnGuiThread([] { throw std::runtime_error("Канал не пуст"); });
        } catch (const std::runtime_error& e) {
            carried = std::string(e.what()) == "Канал не пуст";
        }
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(carried);

    // Terminating: the worker is refused although nobody handles events meanwhile.
    SetTerminating(true);
    bool refused = false;
    bool ran = false;
    std::thread([&] {
        try {
            RunOnGuiThread([&] { ran = true; });
        } catch (const EGuiThreadUnavailable&) {
            refused = true;
        }
    }).join();
    SetTerminating(false);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(ran);
    // On the GUI thread it runs directly.
    RunOnGuiThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}
