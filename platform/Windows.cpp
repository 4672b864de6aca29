#include "platform/Windows.h"

#include "platform/Atoms.h"
#include "platform/ErrorDisplay.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

EGuiThreadUnavailable::~EGuiThreadUnavailable() = default;

namespace {

// Whoever waits for a queued message or call: released once, by the handler's result,
// by ReplyMessage, or with 0 when the message is dropped.
struct Waiter {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool ran = false; // calls: fn was run
    LRESULT result = 0;
    std::exception_ptr error;

    bool Complete(LRESULT value)
    {
        std::lock_guard guard(lock);
        if (finished)
            return false;
        finished = true;
        result = value;
        done.notify_all();
        return true;
    }

    LRESULT Wait()
    {
        std::unique_lock guard(lock);
        done.wait(guard, [this] { return finished; });
        return result;
    }
};

struct Item {
    HWND hwnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::shared_ptr<Waiter> waiter; // sent messages and calls
    std::function<void()> call;     // calls
};

// The waiter of the message each thread is handling now, innermost last (handlers may
// send to their own thread's windows, which nests).
thread_local std::vector<std::shared_ptr<Waiter>> handling;

void ReleaseAll(std::vector<std::shared_ptr<Waiter>>& waiters)
{
    for (auto& w : waiters)
        w->Complete(0);
}

} // namespace

struct MessageQueue::State {
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Item> items;
    // Sent messages being delivered now, with their window.
    std::vector<std::pair<HWND, std::shared_ptr<Waiter>>> delivering;
    bool closed = false;
    bool quit = false;
    std::thread::id thread;

    std::mutex wakeLock;
    std::function<void()> wake;

    bool Push(Item item)
    {
        {
            std::lock_guard guard(lock);
            if (closed)
                return false;
            items.push_back(std::move(item));
        }
        changed.notify_all();
        std::lock_guard guard(wakeLock);
        if (wake)
            wake();
        return true;
    }

    void Close()
    {
        std::deque<Item> dropped;
        std::vector<std::shared_ptr<Waiter>> released;
        {
            std::lock_guard guard(lock);
            closed = true;
            dropped.swap(items);
            for (auto& d : delivering)
                released.push_back(d.second);
            delivering.clear();
        }
        changed.notify_all();
        {
            std::lock_guard guard(wakeLock);
            wake = nullptr;
        }
        for (auto& item : dropped)
            if (item.waiter)
                released.push_back(item.waiter);
        ReleaseAll(released);
    }

    // Drops the waiting messages of a window that goes and releases their senders.
    void DropWindow(HWND hwnd)
    {
        std::vector<std::shared_ptr<Waiter>> released;
        {
            std::lock_guard guard(lock);
            for (auto it = items.begin(); it != items.end();) {
                if (it->hwnd == hwnd && !it->call) {
                    if (it->waiter)
                        released.push_back(it->waiter);
                    it = items.erase(it);
                } else {
                    ++it;
                }
            }
            for (auto& d : delivering)
                if (d.first == hwnd)
                    released.push_back(d.second);
        }
        ReleaseAll(released);
    }

    void Deliver(Item& item);
};

namespace {

struct Window {
    std::shared_ptr<MessageHandler> handler;
    std::shared_ptr<MessageQueue::State> queue;
    void* object = nullptr;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<HWND, Window> windows;
    uint64_t next = 0x10000;
    HWND mainWindow = 0;
    bool titleSet = false;
    std::string title;
    std::shared_ptr<MessageQueue::State> guiQueue;
    std::thread::id guiThread;
};

Registry& Windows()
{
    static Registry* registry = new Registry; // lives until the process ends
    return *registry;
}

std::atomic<bool> terminating{false};

// The open queue of this thread, to refuse a second one.
thread_local std::weak_ptr<MessageQueue::State> threadQueue;

bool FindWindow(HWND hwnd, Window& window)
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    auto it = r.windows.find(hwnd);
    if (it == r.windows.end())
        return false;
    window = it->second;
    return true;
}

LRESULT CallHandler(const Window& window, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                    std::shared_ptr<Waiter> waiter)
{
    handling.push_back(std::move(waiter));
    struct Pop {
        ~Pop() { handling.pop_back(); }
    } pop;
    return (*window.handler)(hwnd, msg, wParam, lParam);
}

} // namespace

void MessageQueue::State::Deliver(Item& item)
{
    if (item.call) {
        item.call();
        return;
    }
    Window window;
    if (!FindWindow(item.hwnd, window) || window.queue.get() != this) {
        if (item.waiter)
            item.waiter->Complete(0);
        return;
    }
    if (item.waiter) {
        std::lock_guard guard(lock);
        delivering.emplace_back(item.hwnd, item.waiter);
    }
    LRESULT result = 0;
    // Nobody up the stack is ready for an exception here: it goes to the display.
    RunGuarded([&] { result = CallHandler(window, item.hwnd, item.msg, item.wParam, item.lParam, item.waiter); });
    if (item.waiter) {
        {
            std::lock_guard guard(lock);
            for (auto it = delivering.begin(); it != delivering.end(); ++it)
                if (it->second == item.waiter) {
                    delivering.erase(it);
                    break;
                }
        }
        item.waiter->Complete(result);
    }
}

MessageQueue::MessageQueue(std::function<void()> wake) : state_(std::make_shared<State>())
{
    if (auto open = threadQueue.lock()) {
        std::lock_guard guard(open->lock);
        if (!open->closed)
            throw Exception("The thread has a message queue already");
    }
    state_->thread = std::this_thread::get_id();
    state_->wake = std::move(wake);
    threadQueue = state_;
}

MessageQueue::~MessageQueue() { state_->Close(); }

std::thread::id MessageQueue::Thread() const { return state_->thread; }

bool MessageQueue::Closed() const
{
    std::lock_guard guard(state_->lock);
    return state_->closed;
}

size_t MessageQueue::Pending() const
{
    std::lock_guard guard(state_->lock);
    return state_->items.size();
}

bool MessageQueue::DispatchOne()
{
    if (std::this_thread::get_id() != state_->thread)
        return false;
    Item item;
    {
        std::lock_guard guard(state_->lock);
        if (state_->items.empty())
            return false;
        item = std::move(state_->items.front());
        state_->items.pop_front();
    }
    state_->Deliver(item);
    return true;
}

void MessageQueue::Run()
{
    if (std::this_thread::get_id() != state_->thread)
        return;
    for (;;) {
        {
            std::unique_lock guard(state_->lock);
            state_->changed.wait(guard, [this] { return state_->closed || state_->quit || !state_->items.empty(); });
            if (state_->closed)
                return;
            if (state_->quit && state_->items.empty()) {
                state_->quit = false;
                return;
            }
        }
        DispatchOne();
    }
}

void MessageQueue::Quit()
{
    {
        std::lock_guard guard(state_->lock);
        state_->quit = true;
    }
    state_->changed.notify_all();
}

void MessageQueue::Close() { state_->Close(); }

namespace {

bool CallOn(const std::shared_ptr<MessageQueue::State>& queue, const std::function<void()>& fn)
{
    if (std::this_thread::get_id() == queue->thread) {
        fn();
        return true;
    }
    auto waiter = std::make_shared<Waiter>();
    Item item;
    // The caller waits until the call has run or was dropped, so fn may be referred to.
    item.call = [waiter, &fn] {
        try {
            fn();
        } catch (...) {
            waiter->error = std::current_exception();
        }
        waiter->ran = true;
        waiter->Complete(0);
    };
    item.waiter = waiter;
    if (!queue->Push(std::move(item)))
        return false;
    waiter->Wait();
    // The error leaves with the caller, which drops its last reference here: the item
    // that the handling thread frees later no longer holds it.
    if (std::exception_ptr error = std::exchange(waiter->error, nullptr))
        std::rethrow_exception(error);
    return waiter->ran;
}

} // namespace

bool MessageQueue::Call(const std::function<void()>& fn) const { return CallOn(state_, fn); }

HWND RegisterWindow(MessageHandler handler, const MessageQueue& queue, void* object)
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    if (r.next > UINT32_MAX)
        throw Exception("No window handles left");
    const HWND hwnd = static_cast<HWND>(r.next++);
    r.windows.emplace(hwnd, Window{std::make_shared<MessageHandler>(std::move(handler)), queue.Shared(), object});
    return hwnd;
}

bool UnregisterWindow(HWND hwnd)
{
    std::shared_ptr<MessageQueue::State> queue;
    {
        Registry& r = Windows();
        std::lock_guard guard(r.lock);
        auto it = r.windows.find(hwnd);
        if (it == r.windows.end())
            return false;
        queue = it->second.queue;
        r.windows.erase(it);
    }
    queue->DropWindow(hwnd);
    return true;
}

bool IsWindow(HWND hwnd)
{
    Window window;
    return FindWindow(hwnd, window);
}

std::thread::id WindowThreadId(HWND hwnd)
{
    Window window;
    return FindWindow(hwnd, window) ? window.queue->thread : std::thread::id();
}

void* WindowObject(HWND hwnd)
{
    Window window;
    return FindWindow(hwnd, window) ? window.object : nullptr;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window window;
    if (!FindWindow(hwnd, window))
        return 0;
    if (window.queue->thread == std::this_thread::get_id())
        return CallHandler(window, hwnd, msg, wParam, lParam, nullptr);
    auto waiter = std::make_shared<Waiter>();
    if (!window.queue->Push(Item{hwnd, msg, wParam, lParam, waiter, {}}))
        return 0;
    return waiter->Wait();
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window window;
    if (!FindWindow(hwnd, window))
        return false;
    return window.queue->Push(Item{hwnd, msg, wParam, lParam, nullptr, {}});
}

bool ReplyMessage(LRESULT result)
{
    if (handling.empty() || !handling.back())
        return false;
    return handling.back()->Complete(result);
}

bool PostAtomMessage(HWND hwnd, UINT msg, WPARAM wParam, const std::string& text)
{
    const ATOM atom = AddAtom(text);
    if (atom == 0)
        return false;
    if (PostMessage(hwnd, msg, wParam, atom))
        return true;
    DeleteAtom(atom);
    return false;
}

void SetMainWindow(HWND hwnd)
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    r.mainWindow = hwnd;
}

HWND MainWindow()
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    return r.mainWindow;
}

void SetApplicationTitle(const std::string& title)
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    r.title = title;
    r.titleSet = true;
}

std::string ApplicationTitle()
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    if (!r.titleSet) {
        std::error_code error;
        r.title = std::filesystem::read_symlink("/proc/self/exe", error).stem().string();
        r.titleSet = true;
    }
    return r.title;
}

void SetTerminating(bool value) { terminating = value; }

bool IsTerminating() { return terminating; }

void SetGuiQueue(const MessageQueue* queue)
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    r.guiQueue = queue ? queue->Shared() : nullptr;
    r.guiThread = queue ? queue->Thread() : std::thread::id();
}

bool IsGuiThread()
{
    Registry& r = Windows();
    std::lock_guard guard(r.lock);
    return r.guiQueue && r.guiThread == std::this_thread::get_id();
}

void RunOnGuiThread(const std::function<void()>& fn)
{
    std::shared_ptr<MessageQueue::State> queue;
    {
        Registry& r = Windows();
        std::lock_guard guard(r.lock);
        queue = r.guiQueue;
    }
    if (!queue)
        throw EGuiThreadUnavailable("Окна приложения недоступны");
    if (queue->thread != std::this_thread::get_id() && IsTerminating())
        throw EGuiThreadUnavailable("Приложение завершает работу");
    if (!CallOn(queue, fn))
        throw EGuiThreadUnavailable("Окна приложения недоступны");
}

} // namespace platform
