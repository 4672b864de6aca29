#pragma once
// The host's side of the loader's progress messages, without widgets: what each
// WM_LOADER_PROGRESS code does to the progress display, the cancel flag, the cancel
// button, the lasting status text and the message list.

#include "platform/Windows.h"

#include <functional>
#include <string>

// The window's part of the progress handling.
class TLoaderProgressHost {
public:
    virtual ~TLoaderProgressHost() = default;
    // Puts the cancel button on the status bar, 3 pixels right of the progress bar made
    // 50 pixels narrower, and enables the status bar. Called once per operation.
    virtual void ShowCancelButton() = 0;
    // Frees the cancel button; called only when one is shown.
    virtual void RemoveCancelButton() = 0;
    // Whether the status bar shows a progress bar now.
    virtual bool HasProgressBar() const = 0;
    // The status text after the end of a progress (the hint, the lasting text or "Готов").
    virtual void RefreshStatusText() = 0;
    virtual void SetLastingStatusText(const std::string& text) = 0;
    // A line of the message list; kind 0 normal.
    virtual void Log(const std::string& line, int kind) = 0;
};

class TLoaderProgress {
public:
    explicit TLoaderProgress(TLoaderProgressHost& host) : host_(host) {}

    // Handles one message: first the answer is given to reply (the cancel flag, 1 for
    // cancel; 1 for everything while closing; 0 without a sender for
    // PROGRESS_QUERY_BAR), then the work:
    //   PROGRESS_OP_BEGIN  the cancel flag is cleared (not while closing);
    //   PROGRESS_CAPTION   the atom's text begins a progress at 0 with the hour glass
    //                      (which clears the flag; while closing it is set again) and
    //                      the cancel button is shown, once per operation;
    //   PROGRESS_PERCENT   the low byte of lParam is the bar's position (100 is full);
    //   PROGRESS_TEXT      the atom's text is shown as received; a leading "#" makes the
    //                      rest the lasting status text; the line is logged without "#";
    //   PROGRESS_OP_END    the progress ends, the status text is refreshed and the
    //                      cancel button goes.
    // Atoms are deleted in every case. Unknown codes only answer.
    void Receive(platform::WPARAM code, platform::LPARAM lParam, const std::function<void(platform::LRESULT)>& reply);

    // A new operation starts: a cancel given before does not carry over.
    void OperationStarting();
    // The window is closing during an operation: every message now answers cancel.
    void SetClosing(bool closing);
    bool Closing() const { return closing_; }
    bool CancelButtonShown() const { return buttonShown_; }

    // The user's cancel command; enabled only while the flag is clear.
    static void Cancel();
    static bool CancelEnabled();

private:
    TLoaderProgressHost& host_;
    bool buttonShown_ = false;
    bool closing_ = false;
};
