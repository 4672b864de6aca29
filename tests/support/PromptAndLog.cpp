#include "tests/support/PromptAndLog.h"

#include <gtest/gtest.h>

namespace testsupport {

int ScriptedPrompt::ask(const std::string& text)
{
    questions_.push_back(text);
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return mrNo;
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

ScopedLogRecorder::ScopedLogRecorder() : previous_(SetLogSink(this)) {}

ScopedLogRecorder::~ScopedLogRecorder() { SetLogSink(previous_); }

void ScopedLogRecorder::post(const std::string& text, int kind)
{
    std::lock_guard guard(lock_);
    lines_.push_back({text, kind});
}

std::vector<LogLine> ScopedLogRecorder::Lines() const
{
    std::lock_guard guard(lock_);
    return lines_;
}

void ScopedLogRecorder::Clear()
{
    std::lock_guard guard(lock_);
    lines_.clear();
}

} // namespace testsupport
