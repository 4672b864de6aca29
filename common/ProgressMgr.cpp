#include "common/ProgressMgr.h"

namespace {

// One progress display per deliverable: internal linkage keeps the program's copy and
// the library's copy apart even where the program exports its symbols.
struct ProgressState {
    TProgressView* view = nullptr;
    bool busy = false;
    std::atomic<bool> cancelled{false};
    std::string savedText;
    bool processMessages = true;
    bool changeCursor = true;
};

ProgressState& State()
{
    static ProgressState state;
    return state;
}

} // namespace

TProgressView::~TProgressView() = default;

void SetProgressStatusBar(TProgressView* view)
{
    State().view = view;
    State().busy = false;
}

TProgressView* ProgressStatusBar()
{
    return State().view;
}

void BeginProgress(const std::string& text, int position, TProgressCursor cursor)
{
    ProgressState& s = State();
    s.busy = true;
    s.cancelled = false;
    if (!s.view) return;
    if (s.changeCursor) s.view->SetCursor(cursor);
    s.savedText = s.view->StatusText();
    s.view->ShowStatusText(text);
    if (position != 100) s.view->ShowBar(position);
    s.view->Refresh();
}

bool SetProgress(int percent)
{
    ProgressState& s = State();
    if (!s.busy) return false;
    if (s.view) s.view->SetBarPosition(percent);
    return !s.cancelled;
}

void SetProgressText(const std::string& text)
{
    ProgressState& s = State();
    if (!s.view) return;
    s.view->ShowStatusText(text);
    s.view->Refresh();
}

void EndProgress()
{
    ProgressState& s = State();
    if (s.view) {
        s.view->RemoveBar();
        s.view->ShowStatusText(s.savedText);
        if (s.changeCursor) s.view->SetCursor(TProgressCursor::Default);
    }
    s.savedText.clear();
    s.busy = false;
}

bool ProgressBusy()
{
    return State().busy;
}

std::atomic<bool>& ProgressCancelled()
{
    return State().cancelled;
}

bool& ProcessMessagesOnProgress()
{
    return State().processMessages;
}

bool& ChangeCursor()
{
    return State().changeCursor;
}
