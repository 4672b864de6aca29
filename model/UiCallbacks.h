#pragma once

#include <string>

// What the model asks of the user interface: the default question and the message
// list. The interface installs its implementations; the model runs without them.

// Answers of the default question, as the message box returns them.
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// Asks whether a field that differs from its default should get it back. The text
// is the finding, a lone CR, and the question; the result is one of the answers
// above.
class IDefaultPrompt {
public:
    virtual ~IDefaultPrompt();
    virtual int ask(const std::string& text) = 0;
};

// Kinds of message list lines.
constexpr int lkNormal = 0;
constexpr int lkError = 1;
constexpr int lkHighlight = 2;

// Receives the lines of the message list. Called from any thread.
class ILogSink {
public:
    virtual ~ILogSink();
    virtual void post(const std::string& text, int kind) = 0;
};

// Installs the process's sink (none removes it) and returns the one it replaces.
// Waits for posts in flight to the old sink.
ILogSink* SetLogSink(ILogSink* sink);

// Hands a line to the installed sink, whole; without a sink the line is dropped.
// Thread-safe.
void PostLogMessage(const std::string& text, int kind);

// One default check: the answer remembered across it (0 at the start) and whom to
// ask. Without a prompt the check behaves as if "No to All" had been answered.
struct TDefaultCheckRun {
    int Answer = 0;
    IDefaultPrompt* Prompt = nullptr;
};
