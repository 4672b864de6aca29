#include "platform/Atoms.h"
#include "platform/ErrorDisplay.h"
#include "platform/Windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <latch>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

namespace {

// A thread that pumps its own message queue until stopped.
class Pump {
public:
    Pump()
    {
        std::promise<void> ready;
        thread_ = std::thread([this, &ready] {
            MessageQueue queue;
            {
                std::lock_guard guard(lock_);
                queue_ = &queue;
            }
            ready.set_value();
            queue.Run();
            std::lock_guard guard(lock_);
            queue_ = nullptr;
        });
        ready.get_future().wait();
    }
    ~Pump() { Stop(); }

    void Stop()
    {
        {
            std::lock_guard guard(lock_);
            if (queue_)
                queue_->Quit();
        }
        if (thread_.joinable())
            thread_.join();
    }

    MessageQueue& Queue() { return *queue_; }
    std::thread::id Id() const { return thread_.get_id(); }

    void WaitPending(size_t n)
    {
        while (queue_->Pending() != n)
            std::this_thread::yield();
    }

private:
    std::mutex lock_;
    MessageQueue* queue_ = nullptr;
    std::thread thread_;
};

// Sends from a thread of its own; the result comes when the send returns.
std::future<LRESULT> SendAsync(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return std::async(std::launch::async, [=] { return SendMessage(hwnd, msg, wParam, lParam); });
}

class Gate {
public:
    void Open()
    {
        std::lock_guard guard(lock_);
        open_ = true;
        changed_.notify_all();
    }
    void Wait()
    {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [this] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
};

} // namespace

TEST(Windows, HandlesAreDistinctAndNeverReused)
{
    Pump pump;
    std::set<HWND> seen;
    std::vector<HWND> live;
    for (int i = 0; i < 3; ++i) {
        const HWND h = RegisterWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, pump.Queue());
        EXPECT_NE(h, 0u);
        EXPECT_TRUE(seen.insert(h).second);
        EXPECT_TRUE(IsWindow(h));
        EXPECT_EQ(WindowThreadId(h), pump.Id());
        live.push_back(h);
    }
    EXPECT_TRUE(UnregisterWindow(live[1]));
    EXPECT_FALSE(IsWindow(live[1]));
    EXPECT_FALSE(UnregisterWindow(live[1]));
    EXPECT_EQ(WindowThreadId(live[1]), std::thread::id());
    const HWND next = RegisterWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, pump.Queue());
    EXPECT_TRUE(seen.insert(next).second);
    EXPECT_FALSE(IsWindow(0));
    for (HWND h : {live[0], live[2], next})
        UnregisterWindow(h);
}

TEST(Windows, SendReturnsTheHandlersResultOnItsThread)
{
    Pump pump;
    std::thread::id handlerThread;
    const HWND inner = RegisterWindow([](HWND, UINT, WPARAM w, LPARAM) -> LRESULT { return LRESULT(w) * 10; },
                                      pump.Queue());
    // A handler that sends to a window of its own thread calls it directly.
    const HWND outer = RegisterWindow(
        [&](HWND self, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            handlerThread = std::this_thread::get_id();
            EXPECT_EQ(msg, WM_LOADER_PROGRESS);
            EXPECT_NE(self, inner);
            return SendMessage(inner, 0, w, 0) + l;
        },
        pump.Queue());
    // The parameters are pointer-sized both ways.
    const LPARAM big = LPARAM(0x12345678) << 16;
    EXPECT_EQ(SendMessage(outer, WM_LOADER_PROGRESS, 4, big), 40 + big);
    EXPECT_EQ(handlerThread, pump.Id());
    EXPECT_EQ(SendMessage(0, WM_CLOSE, 0, 0), 0);
    UnregisterWindow(inner);
    UnregisterWindow(outer);
}

TEST(Windows, ReplyReleasesTheSenderWhileTheHandlerGoesOn)
{
    Pump pump;
    Gate senderReturned;
    std::atomic<bool> handlerDone{false};
    std::atomic<bool> secondReply{true};
    std::atomic<bool> replyOfPost{true};
    const HWND h = RegisterWindow(
        [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_CLOSE) { // posted: nobody to reply to
                replyOfPost = ReplyMessage(5);
                return 0;
            }
            ReplyMessage(42);
            secondReply = ReplyMessage(43);
            senderReturned.Wait();
            handlerDone = true;
            return 7;
        },
        pump.Queue());
    EXPECT_EQ(SendMessage(h, WM_LOADER_PROGRESS, 3, 0), 42);
    EXPECT_FALSE(handlerDone);
    senderReturned.Open();
    ASSERT_TRUE(PostMessage(h, WM_CLOSE, 0, 0));
    pump.Stop(); // after the posted message
    EXPECT_TRUE(handlerDone);
    EXPECT_FALSE(secondReply);
    EXPECT_FALSE(replyOfPost);
    EXPECT_FALSE(ReplyMessage(1)); // outside any handler
    UnregisterWindow(h);
}

TEST(Windows, AWindowThatGoesReleasesItsSenders)
{
    Gate entered, release;
    Pump pump;
    const HWND h = RegisterWindow(
        [&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
            entered.Open();
            release.Wait();
            return 99;
        },
        pump.Queue());
    auto handled = SendAsync(h, WM_USER);
    entered.Wait();
    auto queued = SendAsync(h, WM_USER + 1);
    pump.WaitPending(1);
    ASSERT_TRUE(UnregisterWindow(h));
    // Both return while the handler is still held.
    EXPECT_EQ(handled.get(), 0);
    EXPECT_EQ(queued.get(), 0);
    EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    release.Open();
}

TEST(Windows, AQueueThatEndsReleasesItsSenders)
{
    Gate entered, release;
    std::atomic<int> calls{0};
    auto queue = std::make_unique<Pump>();
    const HWND h = RegisterWindow(
        [&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
            ++calls;
            entered.Open();
            release.Wait();
            return 1;
        },
        queue->Queue());
    auto handled = SendAsync(h, WM_USER);
    entered.Wait();
    auto queued = SendAsync(h, WM_USER);
    queue->WaitPending(1);
    queue->Queue().Close();
    EXPECT_EQ(handled.get(), 0);
    EXPECT_EQ(queued.get(), 0);
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
    release.Open();
    queue.reset();
    EXPECT_EQ(calls, 1);
    UnregisterWindow(h);
}

TEST(Windows, PostToAStaleHandleFailsAndTheAtomGoes)
{
    Pump pump;
    const HWND h = RegisterWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, pump.Queue());
    UnregisterWindow(h);
    EXPECT_FALSE(PostMessage(h, WM_LOG_MESSAGE, 0, 0));
    const std::string text = "Строка сообщения для окна, которого нет";
    EXPECT_FALSE(PostAtomMessage(h, WM_LOG_MESSAGE, 1, text));
    // Had the helper kept its atom, one delete would leave it in the table.
    const ATOM atom = AddAtom(text);
    ASSERT_NE(atom, 0);
    EXPECT_TRUE(DeleteAtom(atom));
    std::string left;
    EXPECT_FALSE(GetAtomName(atom, left));
    // A text that fits no atom is not posted at all.
    EXPECT_FALSE(PostAtomMessage(MainWindow(), WM_LOG_MESSAGE, 0, std::string(256, 'x')));
}

TEST(Windows, PostedAtomReachesTheHandler)
{
    Pump pump;
    std::promise<std::string> received;
    const HWND h = RegisterWindow(
        [&](HWND, UINT msg, WPARAM kind, LPARAM atom) -> LRESULT {
            std::string text;
            EXPECT_EQ(msg, WM_LOG_MESSAGE);
            EXPECT_EQ(kind, 2u);
            EXPECT_TRUE(GetAtomName(static_cast<ATOM>(atom), text));
            EXPECT_TRUE(DeleteAtom(static_cast<ATOM>(atom)));
            received.set_value(text);
            return 0;
        },
        pump.Queue());
    ASSERT_TRUE(PostAtomMessage(h, WM_LOG_MESSAGE, 2, "Готов"));
    EXPECT_EQ(received.get_future().get(), "Готов");
    UnregisterWindow(h);
}

TEST(Windows, SentAndPostedMessagesKeepQueueOrder)
{
    Pump pump;
    Gate release;
    std::vector<UINT> order;
    const HWND h = RegisterWindow(
        [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            order.push_back(msg);
            if (msg == 1)
                release.Wait();
            return 0;
        },
        pump.Queue());
    ASSERT_TRUE(PostMessage(h, 1, 0, 0));
    ASSERT_TRUE(PostMessage(h, 2, 0, 0));
    pump.WaitPending(1); // 1 is being handled, 2 waits
    auto sent = SendAsync(h, 3);
    pump.WaitPending(2);
    ASSERT_TRUE(PostMessage(h, 4, 0, 0));
    auto sentToo = SendAsync(h, 5);
    pump.WaitPending(4);
    release.Open();
    sent.get();
    sentToo.get();
    pump.Stop();
    EXPECT_EQ(order, (std::vector<UINT>{1, 2, 3, 4, 5}));
    UnregisterWindow(h);
}

namespace {

struct RecordingDisplay : ErrorDisplay {
    void ShowException(std::exception_ptr error) noexcept override
    {
        std::lock_guard guard(lock);
        messages.push_back(ExceptionMessage(error));
    }
    std::mutex lock;
    std::vector<std::string> messages;
};

} // namespace

TEST(Windows, AHandlersExceptionGoesToTheApplicationsDisplay)
{
    RecordingDisplay display;
    ErrorDisplay* before = SetApplicationErrorDisplay(&display);
    {
        Pump pump;
        const HWND h = RegisterWindow(
            [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
                if (msg == 1)
                    throw std::runtime_error("Меньше минимума");
                throw 17;
            },
            pump.Queue());
        EXPECT_EQ(SendAsync(h, 1).get(), 0);
        ASSERT_TRUE(PostMessage(h, 2, 0, 0));
        pump.Stop();
        UnregisterWindow(h);
    }
    SetApplicationErrorDisplay(before);
    EXPECT_EQ(display.messages, (std::vector<std::string>{"Меньше минимума", "Неизвестная ошибка"}));
}

TEST(Windows, RunOnGuiThread)
{
    // Without a GUI thread nothing waits.
    SetGuiQueue(nullptr);
    EXPECT_FALSE(IsGuiThread());
    EXPECT_THROW(RunOnGuiThread([] {}), EGuiThreadUnavailable);

    Pump gui;
    SetGuiQueue(&gui.Queue());
    std::thread::id ranOn;
    RunOnGuiThread([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, gui.Id());
    // The function's exception comes back to the caller.
    EXPECT_THROW(RunOnGuiThread([] { throw std::out_of_range("x"); }), std::out_of_range);
    // On the GUI thread itself it runs directly, also when nested.
    int depth = 0;
    RunOnGuiThread([&] {
        EXPECT_TRUE(IsGuiThread());
        RunOnGuiThread([&] { depth = 2; });
    });
    EXPECT_EQ(depth, 2);
    // Terminating: refused at once, however busy the GUI thread is.
    SetTerminating(true);
    bool ran = false;
    EXPECT_THROW(RunOnGuiThread([&] { ran = true; }), EGuiThreadUnavailable);
    SetTerminating(false);
    EXPECT_FALSE(ran);
    // A GUI queue that has ended refuses too.
    gui.Queue().Close();
    EXPECT_THROW(RunOnGuiThread([&] { ran = true; }), EGuiThreadUnavailable);
    EXPECT_FALSE(ran);
    SetGuiQueue(nullptr);
}

TEST(Windows, OneOpenQueuePerThread)
{
    MessageQueue first;
    EXPECT_THROW(MessageQueue second, Exception);
    first.Close();
    MessageQueue third; // the first one has ended
    EXPECT_EQ(third.Thread(), std::this_thread::get_id());
}
