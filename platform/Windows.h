#pragma once

#include "platform/Exceptions.h"
#include "platform/PlatformApi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

// Window handles are 32 bits wide (they travel in 32-bit fields between the program
// and the loader library); message parameters and results are pointer-sized, since a
// message may carry an object's address.
using HWND = uint32_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_USER = 0x0400;
// A frame asks its window to act on an object (lParam) or on itself.
inline constexpr UINT WM_FRAME_NOTIFY = WM_USER + 100;
// A line for the message list: wParam its kind, lParam an atom with its text.
inline constexpr UINT WM_LOG_MESSAGE = WM_USER + 101;
// Posted by the main window to itself once it is created.
inline constexpr UINT WM_STARTUP = WM_USER + 123;
// Progress of a loader operation, sent by the loader library to the host window.
inline constexpr UINT WM_LOADER_PROGRESS = 0x7F0;

// A window's message handler; it runs on the thread of the window's queue.
using MessageHandler = std::function<LRESULT(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

// Raised by RunOnGuiThread when there is no GUI thread to run on: no application, its
// event loop has ended, or the application is terminating.
class PLATFORM_API EGuiThreadUnavailable : public Exception {
public:
    using Exception::Exception;
    ~EGuiThreadUnavailable() override;
};

// The message queue of one thread. Sent and posted messages and calls handed to the
// thread wait in one queue and are delivered in the order they came, on the thread that
// created the queue, by whoever pumps it there: Run, or a GUI event loop that calls
// DispatchOne once for every wake-up it receives.
//
// The queue ends when Close is called or when its object is destroyed: whatever still
// waits in it is dropped and every sender is released with 0; later sends to its
// windows give 0 and posts false. Windows and the GUI slot keep the queue's state, not
// the object, so it may go before them.
class PLATFORM_API MessageQueue {
public:
    // Creates the queue of the calling thread. wake, when given, is called (from any
    // thread, never under a lock of the queue) every time something is queued; it must
    // not block. A thread has at most one open queue; a second one raises.
    explicit MessageQueue(std::function<void()> wake = {});
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    std::thread::id Thread() const;
    bool Closed() const;
    // Number of messages and calls waiting.
    size_t Pending() const;

    // On the queue's thread: delivers the oldest waiting message; false when none was
    // (or when called on another thread).
    bool DispatchOne();
    // On the queue's thread: delivers, waiting when the queue is empty, until Quit was
    // called and the queue is empty, or until the queue is closed.
    void Run();
    // Makes Run return once it has delivered what waits (from any thread).
    void Quit();
    // Ends the queue (see above). Any thread.
    void Close();

    // Runs fn on the queue's thread and waits for it: directly when called there,
    // otherwise queued behind the waiting messages. An exception of fn is carried back
    // and raised here. False (fn not run) when the queue has ended or ends before fn runs.
    bool Call(const std::function<void()>& fn) const;

    struct State;
    const std::shared_ptr<State>& Shared() const { return state_; }

private:
    std::shared_ptr<State> state_;
};

// Registers a window whose messages queue delivers to handler; returns its handle: not
// 0, and never given to another window for the life of the process. object is kept
// with the window for the layer that registered it (WindowObject); on the GUI thread's
// queue that is the Qt layer, which keeps the window's widget there.
PLATFORM_API HWND RegisterWindow(MessageHandler handler, const MessageQueue& queue, void* object = nullptr);
// Removes a window. Its waiting messages are dropped and their senders released with
// 0, also a sender whose message is being handled right now. False for no window.
PLATFORM_API bool UnregisterWindow(HWND hwnd);
PLATFORM_API bool IsWindow(HWND hwnd);
// The thread of the window's queue; an empty id for no window.
PLATFORM_API std::thread::id WindowThreadId(HWND hwnd);
PLATFORM_API void* WindowObject(HWND hwnd);

// Delivers a message and returns the handler's result. On the window's own thread the
// handler is called directly. From another thread the message is queued and the call
// waits until the handler returns, or until the handler calls ReplyMessage; it gives
// 0 when the window does not exist or goes, and when its queue ends. A thread waiting
// here does not handle messages of its own queue meanwhile.
PLATFORM_API LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues a message and returns at once; false when hwnd is no window or its queue has
// ended.
PLATFORM_API bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Inside a handler of a message sent from another thread: releases the sender with
// result while the handler goes on; its own result is then ignored. False when the
// message being handled was not sent from another thread or was answered already.
PLATFORM_API bool ReplyMessage(LRESULT result);
// Posts msg with the text in a new atom as lParam; the receiver reads and deletes the
// atom. When the text does not fit an atom nothing is posted; when the post fails the
// atom is deleted again. False in both cases.
PLATFORM_API bool PostAtomMessage(HWND hwnd, UINT msg, WPARAM wParam, const std::string& text);

// The application's main window: the one messages for the application go to (0: none).
PLATFORM_API void SetMainWindow(HWND hwnd);
PLATFORM_API HWND MainWindow();

// The application's title: captions of its error boxes. Until set, the program's file
// name without its folder.
PLATFORM_API void SetApplicationTitle(const std::string& title);
PLATFORM_API std::string ApplicationTitle();

// Set once the application has started to end: from then on other threads no longer get
// anything shown.
PLATFORM_API void SetTerminating(bool terminating);
PLATFORM_API bool IsTerminating();

// The queue of the GUI thread, installed by the GUI layer on that thread (nullptr removes
// it). The thread stays the GUI thread after the queue has ended, until it is removed.
PLATFORM_API void SetGuiQueue(const MessageQueue* queue);
PLATFORM_API bool IsGuiThread();
// Runs fn on the GUI thread and waits for it; directly when called there. An exception
// of fn is raised here. Raises EGuiThreadUnavailable instead of waiting when there is no
// GUI queue, when it ends before fn runs, or (from another thread) once the application
// is terminating. The GUI thread must never wait for the calling thread meanwhile.
PLATFORM_API void RunOnGuiThread(const std::function<void()>& fn);

} // namespace platform
