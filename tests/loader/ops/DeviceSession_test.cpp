// The device session against the simulated controller over TCP: the order of its steps
// as the operation window sees them (marks, opening, script phases, handshake, the
// operation's work, end pause) on success, on a cancel, on an error in each step and on
// an exception; the error that leaves; the connection closed on every path; and the
// session of the direct I/O, which is the connection alone.

#include "loader/api/SarnupolexConst.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/DeviceSession.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/SerialPorts.h"
#include "platform/Windows.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/sim/SimDevice.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The steps of a session by the first words of the lines they post.
struct StepText {
    const char* prefix;
    const char* step;
};
const StepText kStepTexts[] = {
    {"Установка соединения", "open"},
    {"Выполнение предварительного скрипта", "preliminary"},
    {"Oжидание перезагрузки", "handshake"},
    {"Работа операции", "work"},
    {"Выполнение завершающего скрипта", "final"},
    {"Выполнение паузы окончания операции", "end pause"},
};

const char kScript[] = "sleep 1\r\n[after]\r\nsleep 1\r\nendpause 1";
const char kWorkLine[] = "Работа операции";

// A loader core whose device 0 is the simulated controller with its bootloader, behind
// the handshake and the script "s"; the operation window records the steps.
class SessionRig {
public:
    // connection: the line's transport; empty: the simulator over TCP.
    explicit SessionRig(const std::string& script = kScript, std::string connection = {})
    {
        device.AttachBootloader();
        const uint16_t port = device.controller.AddTcp("127.0.0.1");
        device.controller.Start();
        if (connection.empty()) connection = "ioType=iotTCP;TCPIP=127.0.0.1;TCPPort=" + std::to_string(port);
        std::filesystem::create_directories(env.dir / "Scripts");
        testsupport::WriteFile(env.dir / "Scripts" / "s.txt", script);
        window = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
                return Handle(msg, static_cast<int32_t>(wParam), lParam);
            },
            queue);
        core.emplace(env.Places());
        core->LibraryAttach();
        core->SetOperationWindow(window);
        const int chip = core->Chips().IndexOfName("STM32f205rg", false);
        core->SaveDeviceList("", {"Name=Dev;" + connection + ";ControllerType=" + std::to_string(chip) +
                                  ";Handshake=1;HandshakePeriod=100;ScriptFile=s"});
    }
    ~SessionRig()
    {
        core->LibraryDetach();
        core.reset();
        platform::UnregisterWindow(window);
    }

    // Whether the simulator saw every client it accepted go again.
    bool ConnectionsClosed() const
    {
        return device.controller.WaitFor(
            [&] {
                int open = 0;
                for (const std::string& e : device.controller.Events()) {
                    if (e.find("tcp accept") != std::string::npos) ++open;
                    if (e.find("tcp close") != std::string::npos) --open;
                }
                return open == 0;
            },
            3000);
    }

    sim::LoaderEnv env;
    sim::SimDevice device{"STM32f205rg"};
    testsupport::DialogScript dialogs;
    platform::MessageQueue queue;
    platform::HWND window = 0;
    std::vector<std::string> steps;
    std::string raiseAt;  // the step whose line makes the window raise
    bool cancel = false;  // the window asks to cancel at the first percentage
    std::optional<TLoaderCore> core; // ends before the environment

private:
    platform::LRESULT Handle(platform::UINT msg, int32_t code, platform::LPARAM lParam)
    {
        if (msg != platform::WM_LOADER_PROGRESS) return 0;
        std::string step;
        if (code == PROGRESS_OP_BEGIN) step = "begin";
        if (code == PROGRESS_OP_END) step = "end";
        if (code == PROGRESS_PERCENT) return cancel ? 1 : 0;
        if (code == PROGRESS_TEXT || code == PROGRESS_CAPTION) {
            std::string text;
            platform::GetAtomName(static_cast<platform::ATOM>(lParam), text);
            platform::DeleteAtom(static_cast<platform::ATOM>(lParam));
            for (const StepText& s : kStepTexts)
                if (text.rfind(s.prefix, 0) == 0) step = s.step;
        }
        if (step.empty() || (!steps.empty() && steps.back() == step)) return 0;
        steps.push_back(step);
        if (step == raiseAt) throw std::runtime_error("окно не принимает строку");
        return 0;
    }
};

// What an operation does in its session once it is open.
enum class Work {
    Done,      // reads a block, runs the final phase: true
    Cancelled, // the host cancels the read: false, no final phase (as a write does)
    Fails,     // the library's error after some work
    Throws,    // an exception that is not the library's
};

bool DoWork(TDeviceSession& session, Work work)
{
    session.Core().PostLogLine(kWorkLine);
    if (work == Work::Fails) throw ESarnupolex("Сбой операции");
    if (work == Work::Throws) throw std::logic_error("не библиотечная ошибка");
    TMemory image;
    TBlockList blocks;
    blocks.AddBlock(image.AddBlock(0x08004000, 2048));
    if (!session.Transfer().ReadBlocks(blocks, "Чтение")) return false;
    session.FinalPhase(false);
    return true;
}

} // namespace

TEST(DeviceSession, StepsOnEveryPath)
{
    using Steps = std::vector<std::string>;
    const Steps all{"begin", "open", "preliminary", "handshake", "work", "final", "end pause", "end"};
    const struct {
        const char* name;
        int32_t device = 0;
        std::string script = kScript;
        Work work = Work::Done;
        std::function<void(SessionRig&)> arrange;
        int waitPolls = -1; // the handshake window stops after that many polls; -1: never
        bool result = false;
        std::string error; // empty: none leaves
        Steps steps;
    } cases[] = {
        {"done", 0, kScript, Work::Done, {}, -1, true, "", all},
        {"cancelled by the host", 0, kScript, Work::Cancelled, [](SessionRig& r) { r.cancel = true; }, -1, false, "",
         {"begin", "open", "preliminary", "handshake", "work", "end pause", "end"}},
        {"no device of that index", -1, kScript, Work::Done, {}, -1, false, "Не выбрано подключение", {"begin", "end"}},
        {"error in the preliminary phase", 0, "send zz\r\nendpause 1", Work::Done, {}, -1, false,
         "'zz' is not a valid integer value", {"begin", "open", "preliminary", "end pause", "end"}},
        {"no answer to the handshake", 0, kScript, Work::Done,
         [](SessionRig& r) { r.device.bootloader->SetProbeReply(sim::ProbeReply::None); }, 2, false,
         "Процедура рукопожатия не выполнена", {"begin", "open", "preliminary", "handshake", "end pause", "end"}},
        {"error in the work", 0, kScript, Work::Fails, {}, -1, false, "Сбой операции",
         {"begin", "open", "preliminary", "handshake", "work", "end pause", "end"}},
        {"exception in the work", 0, kScript, Work::Throws, {}, -1, false, "не библиотечная ошибка",
         {"begin", "open", "preliminary", "handshake", "work", "end pause", "end"}},
        {"error in the final phase", 0, "sleep 1\r\n[after]\r\nsend zz\r\nendpause 1", Work::Done, {}, -1,
         false, "'zz' is not a valid integer value", all},
        {"error in the end pause after the work is done: the result stands", 0, kScript, Work::Done,
         [](SessionRig& r) { r.raiseAt = "end pause"; }, -1, true, "", all},
        {"error in the end pause after an error: the first error leaves", 0, kScript, Work::Fails,
         [](SessionRig& r) { r.raiseAt = "end pause"; }, -1, false, "Сбой операции",
         {"begin", "open", "preliminary", "handshake", "work", "end pause", "end"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionRig rig(c.script);
        if (c.arrange) c.arrange(rig);
        rig.dialogs->PushWaitWindow(c.waitPolls);
        bool result = false;
        const std::string error = testsupport::ErrorOf([&] {
            TDeviceSession session(*rig.core, c.device, TSessionKind::Operation);
            session.Open();
            result = DoWork(session, c.work);
        });
        EXPECT_EQ(error, c.error.empty() ? "(no error)" : c.error);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(rig.steps, c.steps);
        EXPECT_EQ(rig.core->Connection().Device(), nullptr);
        EXPECT_TRUE(rig.ConnectionsClosed());
        rig.dialogs.Reset(); // the handshake window is not reached on every path
    }
}

TEST(DeviceSession, ConnectionThatFailsToOpenIsClosedWithoutEndPause)
{
    testsupport::TempDir dir;
    const testsupport::ScopedEnv ports{platform::kComPortsVariable, "COM9=" + (dir / "no-such-tty").string()};
    SessionRig rig(kScript, "ioType=iotSerial;SerialComNumber=9");
    const std::string error = testsupport::ErrorOf([&] {
        TDeviceSession session(*rig.core, 0, TSessionKind::Operation);
        session.Open();
    });
    EXPECT_NE(error, "(no error)");
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"begin", "open", "end"}));
    EXPECT_EQ(rig.core->Connection().Device(), nullptr);
}

TEST(DeviceSession, DirectIOIsTheConnectionAlone)
{
    SessionRig rig;
    {
        TDeviceSession session(*rig.core, 0, TSessionKind::DirectIO);
        session.Open();
        EXPECT_EQ(session.Connection().DeviceWrite("AT\r\n", 4), 4);
        session.EndProgress();
    }
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"open"}));
    EXPECT_EQ(rig.core->Connection().Device(), nullptr);
    EXPECT_TRUE(rig.ConnectionsClosed());
    EXPECT_TRUE(rig.dialogs->Records().empty()) << "no handshake window";
}

TEST(DeviceSession, EndProgressComesOnceBeforeTheEndPause)
{
    SessionRig rig;
    rig.dialogs->PushWaitWindow(-1);
    {
        TDeviceSession session(*rig.core, 0, TSessionKind::Operation);
        session.Open();
        EXPECT_TRUE(DoWork(session, Work::Done));
        session.EndProgress();
        session.EndProgress();
    }
    EXPECT_EQ(rig.steps, (std::vector<std::string>{"begin", "open", "preliminary", "handshake", "work", "final", "end",
                                                   "end pause"}));
}
