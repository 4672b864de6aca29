#pragma once

#include "common/ProgressMgr.h"

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A status bar that writes down what the progress display asks of it.
class RecordingProgressView : public TProgressView {
public:
    std::vector<std::string> calls;
    std::string text = "Готов";

    std::string StatusText() const override { return text; }
    void ShowStatusText(const std::string& t) override
    {
        calls.push_back("text " + t);
        text = t;
    }
    void ShowBar(int position) override { calls.push_back("bar " + std::to_string(position)); }
    void SetBarPosition(int position) override { calls.push_back("position " + std::to_string(position)); }
    void RemoveBar() override { calls.push_back("remove bar"); }
    void Refresh() override { calls.push_back("refresh"); }
    void SetCursor(TProgressCursor cursor) override
    {
        calls.push_back(cursor == TProgressCursor::Default ? "cursor default"
                        : cursor == TProgressCursor::Arrow ? "cursor arrow"
                                                           : "cursor hourglass");
    }
    std::vector<std::string> Take() { return std::exchange(calls, {}); }
};

} // namespace testsupport
