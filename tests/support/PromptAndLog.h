#pragma once

#include "model/uDocument.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// Answers the default question from a queue and records every question. A question
// with no answer left fails the test and is answered No.
class ScriptedPrompt : public IDefaultPrompt {
public:
    ScriptedPrompt() = default;
    explicit ScriptedPrompt(std::initializer_list<int> answers) : answers_(answers) {}

    void Push(int answer) { answers_.push_back(answer); }
    int ask(const std::string& text) override;

    const std::vector<std::string>& Questions() const { return questions_; }
    size_t AnswersLeft() const { return answers_.size(); }

private:
    std::deque<int> answers_;
    std::vector<std::string> questions_;
};

struct LogLine {
    std::string text;
    int kind;
    bool operator==(const LogLine&) const = default;
};

// Records the message list lines for as long as it lives; it installs itself as the
// process's sink and puts the previous one back when it goes.
class ScopedLogRecorder : public ILogSink {
public:
    ScopedLogRecorder();
    ~ScopedLogRecorder() override;
    ScopedLogRecorder(const ScopedLogRecorder&) = delete;
    ScopedLogRecorder& operator=(const ScopedLogRecorder&) = delete;

    void post(const std::string& text, int kind) override;

    std::vector<LogLine> Lines() const;
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<LogLine> lines_;
    ILogSink* previous_;
};

} // namespace testsupport
