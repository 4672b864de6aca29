#pragma once

#include "configurator/core/LoaderOperation.h"
#include "platform/Windows.h"

#include <atomic>
#include <functional>
#include <thread>

class TMemory;

// What an operation's thread needs of the main window. The two steps run on the GUI
// thread, called through platform::RunOnGuiThread.
struct TInvokeWindow {
    platform::HWND Handle = 0;  // owner of the questions; receives kInvokeEnded
    // The read image replaces the document; raises to report a failure.
    std::function<void(TMemory& image)> ApplyReadDocument;
    // The settings operation chose this device: the device combo box is refilled.
    std::function<void(int32_t index)> RefillDevices;
};

// One loader operation on a thread of its own, owned by the main window. The window
// locks itself before Start; the thread runs the operation (RunLoaderOperation) and at
// its end posts kInvokeEnded to the window, whose handler calls Join and unlocks.
// Nothing escapes the thread: every exception becomes a line of the message list.
class TInvokeTh : private TLoaderOperationHost {
public:
    // Posted to the window when the operation's thread has finished its work.
    static constexpr platform::UINT kInvokeEnded = platform::WM_USER + 140;

    TInvokeTh(TInvokeWindow window, TLoaderEntryPoints entries, TOperationRequest request);
    // Joins the thread when it is still joinable (it must have ended).
    ~TInvokeTh() override;
    TInvokeTh(const TInvokeTh&) = delete;
    TInvokeTh& operator=(const TInvokeTh&) = delete;

    // Starts the thread; once.
    void Start();
    // Whether the thread has finished its work (it may still be about to return).
    bool Ended() const { return ended_; }
    // Waits for the thread to return; call once Ended() holds or kInvokeEnded came.
    void Join();
    const TOperationRequest& Request() const { return request_; }

private:
    void Execute() noexcept;
    // TLoaderOperationHost
    void Log(const std::string& line, int kind) override;
    bool AskWarning(const std::string& question) override;
    void DeviceChosen(int32_t index) override;
    void ApplyReadDocument(TMemory& image) override;

    TInvokeWindow window_;
    TLoaderEntryPoints entries_;
    TOperationRequest request_;
    std::thread thread_;
    std::atomic<bool> ended_{false};
};
