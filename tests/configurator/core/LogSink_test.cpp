#include "configurator/core/DefaultPrompt.h"
#include "configurator/core/LogSink.h"
#include "configurator/core/MessageLog.h"
#include "platform/Atoms.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

// A window on this thread's queue that receives the log as the main window does.
struct LogWindow {
    MessageQueue queue;
    TMessageLog log{[] { return TLogTime{9, 1, 8, 7, 6, 5}; }};
    HWND hwnd = RegisterWindow(
        [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_LOG_MESSAGE) ReceiveLogMessage(log, w, l);
            return 0;
        },
        queue);
    ~LogWindow() { UnregisterWindow(hwnd); }
    void Pump()
    {
        while (queue.DispatchOne()) {
        }
    }
};

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(LogSink, LongTextsArriveInPiecesAndEveryAtomIsDeleted)
{
    LogWindow window;
    TCfgLogSink sink(window.hwnd);

    const std::string whole = Repeat("ж", 255);
    const std::string head = Repeat("ы", 255);
    const std::string tail = Repeat("z", 45);
    // Our own reference to each text's atom: the post shares it, the receiver drops one.
    const ATOM atoms[] = {AddAtom(whole), AddAtom(head), AddAtom(tail)};

    sink.post(whole, 2);
    sink.post(head + tail, 1); // 300 characters: two lines
    sink.post("", 0);          // nothing to post
    window.Pump();

    ASSERT_EQ(window.log.Count(), 3);
    EXPECT_EQ(window.log.Entry(2).Text, whole);
    EXPECT_EQ(window.log.Entry(2).Kind, 2);
    EXPECT_EQ(window.log.Entry(1).Text, head);
    EXPECT_EQ(window.log.Line(0), "09.01 08:07:06.005  " + tail);
    EXPECT_EQ(window.log.Entry(0).Kind, 1);
    for (ATOM atom : atoms) {
        EXPECT_TRUE(DeleteAtom(atom));
        std::string text;
        EXPECT_FALSE(GetAtomName(atom, text)) << "the receiver kept a reference";
    }

    // An atom that cannot be read adds no line.
    const ATOM gone = AddAtom("gone");
    DeleteAtom(gone);
    PostMessage(window.hwnd, WM_LOG_MESSAGE, 0, gone);
    window.Pump();
    EXPECT_EQ(window.log.Count(), 3);
}

TEST(LogSink, SplitsBetweenCharacters)
{
    EXPECT_TRUE(SplitLogText("").empty());
    EXPECT_EQ(SplitLogText("abc"), std::vector<std::string>{"abc"});
    const auto parts = SplitLogText(Repeat("я", 511));
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], Repeat("я", 255));
    EXPECT_EQ(parts[1], Repeat("я", 255));
    EXPECT_EQ(parts[2], "я");
}

TEST(DefaultPrompt, WarningWithFourAnswersAndClosingIsNo)
{
    testsupport::DialogScript dialogs;
    TCfgDefaultPrompt prompt;
    const std::pair<MsgResult, int> cases[] = {
        {MsgResult::Yes, mrYes},
        {MsgResult::No, mrNo},
        {MsgResult::NoToAll, mrNoToAll},
        {MsgResult::YesToAll, mrYesToAll},
    };
    for (const auto& [answer, result] : cases) {
        dialogs->PushAnswer(answer);
        EXPECT_EQ(prompt.ask("Параметр \"x\"\rИспользовать значение по умолчанию?"), result);
    }
    const auto box = dialogs->Records().back().box;
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(box.buttons, MsgButtons::YesNoNoToAllYesToAll);
    EXPECT_EQ(box.text, "Параметр \"x\"\rИспользовать значение по умолчанию?");

    // A box closed without a button (the scripted service answers an unscripted
    // request so) counts as No.
    EXPECT_EQ(prompt.ask("q"), mrNo);
    EXPECT_TRUE(dialogs->Records().back().unexpected);
    dialogs.Reset();
}

} // namespace
