#include "configurator/core/LoaderProgress.h"

#include "common/ProgressMgr.h"
#include "loader/SarnupolexLib.h"
#include "platform/Atoms.h"
#include "tests/support/RecordingProgressView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class RecordingHost : public TLoaderProgressHost {
public:
    explicit RecordingHost(const testsupport::RecordingProgressView& view) : view_(view) {}
    void ShowCancelButton() override { ++shown; }
    void RemoveCancelButton() override { ++removed; }
    bool HasProgressBar() const override
    {
        // A bar exists from its first showing until it is removed.
        bool bar = false;
        for (const std::string& call : view_.calls) {
            if (call.rfind("bar ", 0) == 0) bar = true;
            if (call == "remove bar") bar = false;
        }
        return bar;
    }
    void RefreshStatusText() override { ++refreshed; }
    void SetLastingStatusText(const std::string& text) override { lasting = text; }
    void Log(const std::string& line, int kind) override { lines.push_back(std::to_string(kind) + " " + line); }

    int shown = 0;
    int removed = 0;
    int refreshed = 0;
    std::string lasting;
    std::vector<std::string> lines;

private:
    const testsupport::RecordingProgressView& view_;
};

class LoaderBindingProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgressStatusBar(&view);
        ProgressCancelled() = false;
    }
    void TearDown() override
    {
        EndProgress();
        SetProgressStatusBar(nullptr);
        ProgressCancelled() = false;
    }

    // The answer the sender gets; the reply comes before any work is done.
    platform::LRESULT Send(int32_t code, platform::LPARAM value = 0)
    {
        platform::LRESULT answer = -7;
        const size_t callsBefore = view.calls.size();
        size_t callsAtReply = 0;
        progress.Receive(static_cast<platform::WPARAM>(static_cast<intptr_t>(code)), value,
                         [&](platform::LRESULT result) {
                             answer = result;
                             callsAtReply = view.calls.size();
                         });
        EXPECT_EQ(callsAtReply, callsBefore) << "the reply came after the work";
        return answer;
    }
    platform::LRESULT SendText(int32_t code, const std::string& text)
    {
        const platform::ATOM atom = platform::AddAtom(text);
        const platform::LRESULT answer = Send(code, atom);
        std::string left;
        EXPECT_FALSE(platform::GetAtomName(atom, left)) << "the atom was not deleted";
        return answer;
    }

    testsupport::RecordingProgressView view;
    RecordingHost host{view};
    TLoaderProgress progress{host};
};

TEST_F(LoaderBindingProgress, OneCancelButtonPerOperationHoweverManyCaptions)
{
    EXPECT_EQ(Send(PROGRESS_OP_BEGIN), 0);
    EXPECT_EQ(SendText(PROGRESS_CAPTION, "Cчитывание параметров..."), 0);
    EXPECT_EQ(view.text, "Cчитывание параметров...");
    EXPECT_EQ(SendText(PROGRESS_CAPTION, "Cчитывание параметров..."), 0);
    EXPECT_EQ(host.shown, 1);
    EXPECT_TRUE(progress.CancelButtonShown());
    EXPECT_EQ(Send(PROGRESS_OP_END), 0);
    EXPECT_EQ(host.removed, 1);
    EXPECT_EQ(host.refreshed, 1);
    EXPECT_FALSE(ProgressBusy());
    EXPECT_FALSE(progress.CancelButtonShown());
    // The next operation gets its own button.
    SendText(PROGRESS_CAPTION, "Запись параметров...");
    EXPECT_EQ(host.shown, 2);
}

TEST_F(LoaderBindingProgress, CancelIsAnsweredUntilTheNextCaption)
{
    Send(PROGRESS_OP_BEGIN);
    SendText(PROGRESS_CAPTION, "Cчитывание параметров...");
    EXPECT_EQ(Send(PROGRESS_PERCENT, 10), 0);
    EXPECT_TRUE(TLoaderProgress::CancelEnabled());
    TLoaderProgress::Cancel();
    EXPECT_FALSE(TLoaderProgress::CancelEnabled());
    EXPECT_EQ(Send(PROGRESS_PERCENT, 20), 1);
    EXPECT_EQ(Send(PROGRESS_TEXT, platform::AddAtom("строка")), 1);
    // A caption begins a new transfer and clears the flag.
    SendText(PROGRESS_CAPTION, "Cчитывание параметров...");
    EXPECT_EQ(Send(PROGRESS_PERCENT, 30), 0);
    // The sender with no handle of its own gets nothing back for the bar query.
    TLoaderProgress::Cancel();
    EXPECT_EQ(Send(PROGRESS_QUERY_BAR), 0);
}

TEST_F(LoaderBindingProgress, PercentMovesTheBarAndHundredFillsIt)
{
    SendText(PROGRESS_CAPTION, "Cчитывание параметров...");
    view.Take();
    Send(PROGRESS_PERCENT, 40);
    Send(PROGRESS_PERCENT, 0x100 | 60);  // only the low byte counts
    Send(PROGRESS_PERCENT, 100);
    const std::vector<std::string> calls = view.Take();
    EXPECT_EQ(calls, (std::vector<std::string>{"position 40", "position 60", "position 100"}));
}

TEST_F(LoaderBindingProgress, HashTextLastsBeyondTheOperation)
{
    SendText(PROGRESS_CAPTION, "Cчитывание параметров...");
    SendText(PROGRESS_TEXT, "#Версия: 3.1");
    EXPECT_EQ(view.text, "#Версия: 3.1");  // shown as received
    EXPECT_EQ(host.lasting, "Версия: 3.1");
    SendText(PROGRESS_TEXT, "Параметры считаны");
    EXPECT_EQ(host.lines, (std::vector<std::string>{"0 Версия: 3.1", "0 Параметры считаны"}));
    EXPECT_EQ(host.lasting, "Версия: 3.1");  // a plain text leaves it
    Send(PROGRESS_OP_END);
    EXPECT_EQ(host.lasting, "Версия: 3.1");
    EXPECT_EQ(host.refreshed, 1);
}

TEST_F(LoaderBindingProgress, AStaleCancelDoesNotEndLaterOperations)
{
    // A read cancelled by the user.
    progress.OperationStarting();
    Send(PROGRESS_OP_BEGIN);
    SendText(PROGRESS_CAPTION, "Cчитывание параметров...");
    TLoaderProgress::Cancel();
    EXPECT_EQ(Send(PROGRESS_PERCENT, 5), 1);
    Send(PROGRESS_OP_END);
    // A parameter write: its first percentage comes before any caption.
    progress.OperationStarting();
    EXPECT_EQ(Send(PROGRESS_PERCENT, 0), 0);
    Send(PROGRESS_OP_BEGIN);
    SendText(PROGRESS_CAPTION, "Запись параметров...");
    EXPECT_EQ(Send(PROGRESS_PERCENT, 100), 0);
    Send(PROGRESS_OP_END);
    // A cancel given in a search that ends the whole operation, then a read.
    TLoaderProgress::Cancel();
    EXPECT_EQ(Send(PROGRESS_OP_BEGIN), 1);  // answered before the flag is cleared
    EXPECT_EQ(Send(PROGRESS_PERCENT, 1), 0);
    Send(PROGRESS_OP_END);
}

TEST_F(LoaderBindingProgress, ClosingAnswersEveryMessageWithCancel)
{
    progress.SetClosing(true);
    EXPECT_EQ(Send(PROGRESS_OP_BEGIN), 1);
    EXPECT_EQ(SendText(PROGRESS_CAPTION, "Cчитывание параметров..."), 1);
    EXPECT_EQ(Send(PROGRESS_PERCENT, 10), 1);  // the caption did not clear it
    progress.OperationStarting();
    EXPECT_EQ(Send(PROGRESS_PERCENT, 11), 1);
    EXPECT_EQ(Send(PROGRESS_OP_END), 1);
    progress.SetClosing(false);
    EXPECT_EQ(Send(PROGRESS_PERCENT, 12), 0);
}

} // namespace
