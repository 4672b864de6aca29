#pragma once

#include <atomic>
#include <string>

// Progress display in a status bar with a cancel flag: one per deliverable. The program
// and the loader library each link their own copy of this unit; its state has internal
// linkage and nothing of it is exported from a shared object, so the two copies never
// merge.
//
// The state knows no widgets. A status bar shows progress through a TProgressView; the
// configurator attaches one on its window thread, the loader library never does, so
// there only the busy state and the cancel flag change.

enum class TProgressCursor { Default, Arrow, HourGlass };

// What the progress display asks of a status bar.
class TProgressView {
public:
    virtual ~TProgressView();

    // The status text: the simple text while the status bar shows one simple panel,
    // else the text of panel 0.
    virtual std::string StatusText() const = 0;
    // Shows a status text in the same place. A progress bar keeps its right edge: its
    // left moves by the difference between the old and the new text width.
    virtual void ShowStatusText(const std::string& text) = 0;
    // Creates the progress bar when there is none and places it behind the text
    // (left := text width + 50, height 10, vertically centred 2 pixels low, up to 5
    // pixels before the right end of the room the status bar gives a progress display,
    // range 0..100), at position.
    virtual void ShowBar(int position) = 0;
    // Moves an existing bar to position and asks for its repaint; nothing without a bar.
    virtual void SetBarPosition(int position) = 0;
    // Frees the progress bar, if any.
    virtual void RemoveBar() = 0;
    // Asks for a repaint of the status bar.
    virtual void Refresh() = 0;
    // Sets the screen cursor (it does not stack: Default ends any cursor set before).
    virtual void SetCursor(TProgressCursor cursor) = 0;
};

// Attaches a status bar (nullptr detaches); the display is idle afterwards.
void SetProgressStatusBar(TProgressView* view);
TProgressView* ProgressStatusBar();

// Busy := true, the cancel flag cleared, the cursor set (with ChangeCursor); with an
// attached status bar the status text is saved and text shown, and unless position is
// 100 a progress bar shows position.
void BeginProgress(const std::string& text, int position, TProgressCursor cursor = TProgressCursor::HourGlass);

// Moves the bar to percent and asks for its repaint. Returns false while not busy (and
// does nothing then) or when the cancel flag is set. It never runs an event loop:
// handlers of pending messages must not run inside a handler that reports progress.
bool SetProgress(int percent);

// Shows text in the status bar; a progress bar keeps its right edge.
void SetProgressText(const std::string& text);

// Frees the bar, puts the saved status text back, resets the cursor (with
// ChangeCursor) and ends the busy state.
void EndProgress();

bool ProgressBusy();

// The cancel flag: set by the user's cancel command, cleared by BeginProgress, read by
// SetProgress. Any thread may read or set it.
std::atomic<bool>& ProgressCancelled();

// Options, true at start. ProcessMessagesOnProgress is kept for callers that set it; it
// changes nothing, since SetProgress never processes messages.
bool& ProcessMessagesOnProgress();
bool& ChangeCursor();
