#pragma once

#include "model/uDocument.h"
#include "platform/Atoms.h"
#include "platform/Windows.h"

#include <optional>
#include <string>
#include <vector>

class TMessageLog;

// The configurator's message list sink: every line goes to the main window as a posted
// WM_LOG_MESSAGE, wParam its kind, lParam an atom holding its text. Any thread may post.
class TCfgLogSink : public ILogSink {
public:
    // target 0: the application's main window at the time of each post.
    explicit TCfgLogSink(platform::HWND target = 0) : target_(target) {}

    // A text longer than an atom holds goes as consecutive lines of at most 255
    // characters; an empty text posts nothing.
    void post(const std::string& text, int kind) override;

private:
    platform::HWND target_;
};

// The pieces a text is posted in: at most 255 characters each, cut between characters.
using platform::SplitLogText;

// Reads the text of the atom in lParam and deletes the atom in every case; none when it
// could not be read.
std::optional<std::string> TakeLogText(platform::LPARAM lParam);

// The receiving side of WM_LOG_MESSAGE: reads the atom's text and adds it, stamped, at
// the top of the log with wParam as its kind; the atom is deleted in every case.
// False when the atom could not be read (no line is added).
bool ReceiveLogMessage(TMessageLog& log, platform::WPARAM wParam, platform::LPARAM lParam);
