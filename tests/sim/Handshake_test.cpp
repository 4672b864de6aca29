// The bootloader handshake against the simulator's modes, on a pty and over TCP: the
// outcomes with the scripted wait window, the drain of a serial line before the probe,
// and the window's request and closing.

#include "loader/core/Chips.h"
#include "loader/protocol/FHandShake.h"
#include "loader/io/IOSerial.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderHandshake.h"
#include "loader/protocol/LoaderScript.h"
#include "loader/protocol/LoaderTransfer.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/sim/SimBootloader.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

using platform::DialogKind;
using sim::ProbeReply;
using sim::SimMode;

namespace {

enum class Line { Pty, Tcp };

class HandshakeTest : public ::testing::TestWithParam<Line> {
protected:
    void SetUp() override
    {
        if (GetParam() == Line::Pty)
            ports.emplace(platform::kComPortsVariable, "COM5=" + sim.AddPty());
        else
            tcpPort = sim.AddTcp("127.0.0.1");
        bootloader.Attach(sim);
        sim.Start();
        core.emplace(env.Places());
    }

    // Opens the connection with the extra settings ("Key=Value;...").
    void Open(const std::string& extra)
    {
        const std::string line = GetParam() == Line::Pty
                                     ? "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=57600;"
                                     : "ioType=iotTCP;TCPIP=127.0.0.1;TCPPort=" + std::to_string(tcpPort) + ";";
        core->Connection().OpenDevice(line + "HandshakePeriod=200;" + extra);
    }
    std::string Run() { return testsupport::ErrorOf([&] { RunHandShake(*core); }); }
    bool LogHas(const std::string& text) const { return core->OperationLog().find(text) != std::string::npos; }
    // Closes the connection and waits until the simulator has seen it go, so that the next
    // client is not taken for the old one.
    void Close()
    {
        core->Connection().CloseDevice();
        if (GetParam() == Line::Tcp) {
            EXPECT_TRUE(sim.WaitFor(
                [&] {
                    for (const auto& e : sim.Events())
                        if (e.find("tcp close") != std::string::npos) return true;
                    return false;
                },
                2000));
        }
    }
    int ChipIndex(const std::string& name) { return core->Chips().IndexOfName(name, false); }
    // The wait window's record; it must have been closed.
    void ExpectWindowClosed()
    {
        const auto records = dialogs->Records();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records[0].kind, DialogKind::WaitWindow);
        EXPECT_TRUE(records[0].closed);
    }

    sim::LoaderEnv env;
    std::optional<testsupport::ScopedEnv> ports;
    uint16_t tcpPort = 0;
    sim::SimBootloader bootloader{0xC3}; // outlives the simulator's run
    sim::ControllerSim sim;
    testsupport::DialogScript dialogs;
    std::optional<TLoaderCore> core; // ends before the environment
};

const char kFailed[] = "Процедура рукопожатия не выполнена";
const char kUnsupported[] = "Идентификатор процессора не поддерживается (-1)";
const char kTimeout[] = "HandShake: истекло время ожидания ответа";

TEST_P(HandshakeTest, BootloaderIdSelectsTheChip)
{
    Open("");
    dialogs->PushWaitWindow(-1);
    EXPECT_EQ(Run(), "(no error)");
    ASSERT_NE(core->Chips().Current(), nullptr);
    EXPECT_EQ(core->Chips().Current()->Name, "STM32f205rg");
    EXPECT_TRUE(LogHas("Oжидание перезагрузки..."));
    EXPECT_TRUE(LogHas("HandShake: ok"));
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].wait.caption, "Oжидание перезагрузки");
    EXPECT_EQ(records[0].wait.stopCaption, "Остановить");
    EXPECT_EQ(records[0].wait.stopHint,
              "Если не используется скрипт с рестартом контроллера , \r\nто нужно выключить, а затем включить контроллер");
    EXPECT_EQ(records[0].wait.owner, core->OperationWindow());
    EXPECT_TRUE(records[0].closed);
    EXPECT_EQ(bootloader.Mode(), SimMode::Bootloader);
}

TEST_P(HandshakeTest, WrongOrUnknownIdKeepsProbingUntilStop)
{
    const struct {
        const char* name;
        std::string settings;
        uint8_t id;
        bool mismatch;
    } cases[] = {
        {"E1 while ATMEGA128 (E0) is set", "ControllerType=" + std::to_string(ChipIndex("ATMEGA128")), 0xE1, true},
        {"unknown id, no chip", "", 0x77, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.Reset();
        Open(c.settings);
        bootloader.SetProbeReply(ProbeReply::WrongId, c.id);
        dialogs->PushWaitWindow(2);
        const size_t mark = core->OperationLog().size();
        EXPECT_EQ(Run(), kFailed);
        const std::string log = core->OperationLog().substr(mark);
        EXPECT_EQ(log.find("Устройство не соответветствует заданному в параметрах") != std::string::npos, c.mismatch);
        EXPECT_NE(log.find(kUnsupported), std::string::npos);
        EXPECT_EQ(log.find("HandShake: ok"), std::string::npos);
        ExpectWindowClosed();
        Close();
    }
}

TEST_P(HandshakeTest, BootloaderExitAnswer)
{
    bootloader.SetMode(SimMode::Application);
    bootloader.SetAppProbeReply(sim::AppProbeReply::Exit);
    // With a script: the box, then failure at the first attempt.
    Open("ScriptFile=start");
    dialogs->PushWaitWindow(-1);
    dialogs->PushAnswer(platform::MsgResult::OK);
    EXPECT_EQ(Run(), kFailed);
    auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].box.caption, "Ошибка");
    EXPECT_EQ(records[1].box.text, kBootloaderExitText);
    EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Error);
    EXPECT_EQ(records[1].box.buttons, platform::MsgButtons::OK);
    EXPECT_TRUE(records[0].closed);
    EXPECT_EQ(bootloader.Probes(), 1);
    Close();

    // Without one: only bytes on the line, and probing goes on.
    dialogs.Reset();
    Open("");
    dialogs->PushWaitWindow(3);
    EXPECT_EQ(Run(), kFailed);
    EXPECT_TRUE(LogHas("Канал не пуст (2b)"));
    EXPECT_GE(bootloader.Probes(), 3);
    ExpectWindowClosed();
}

TEST_P(HandshakeTest, PowerCycleDuringProbing)
{
    bootloader.SetMode(SimMode::Application);
    bootloader.SetTiming(100, 2500); // a serial attempt lasts about a second
    Open("");
    dialogs->PushWaitWindow(-1);
    bootloader.PowerCycleIn(1500);
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(Run(), "(no error)");
    EXPECT_GE(platform::GetTickCount() - start, 1500u);
    EXPECT_GE(bootloader.Probes(), 2);
    const std::string log = core->OperationLog();
    const size_t timeout = log.find(kTimeout), ok = log.find("HandShake: ok");
    ASSERT_NE(timeout, std::string::npos);
    EXPECT_LT(timeout, ok);
    EXPECT_EQ(core->Chips().Current()->ByteID, 0xC3);
    ExpectWindowClosed();
}

TEST_P(HandshakeTest, ScriptLimitEndsSilentProbing)
{
    bootloader.SetProbeReply(ProbeReply::None);
    Open("ScriptFile=start");
    dialogs->PushWaitWindow(-1);
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(Run(), kFailed);
    EXPECT_GE(platform::GetTickCount() - start, 5000u);
    EXPECT_TRUE(LogHas(kTimeout));
    ExpectWindowClosed();
}

TEST_P(HandshakeTest, HandshakeOff)
{
    Open("Handshake=0");
    EXPECT_EQ(Run(), "(no error)");
    EXPECT_TRUE(dialogs->Records().empty());
    // A byte written now reaches the simulator behind anything the handshake wrote.
    core->Connection().DeviceWrite("\xEE", 1);
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        for (const auto& t : sim.Traffic())
            if (!t.sent && t.bytes.find('\xEE') != std::string::npos) return true;
        return false;
    }));
    EXPECT_EQ(bootloader.Probes(), 0);
    EXPECT_FALSE(LogHas("Oжидание перезагрузки..."));
}

// A controller running its application: the script switches the through channel on and
// restarts it, and the handshake catches the bootloader's window.
TEST_P(HandshakeTest, ScriptRestartThenHandshake)
{
    bootloader.SetMode(SimMode::Application);
    bootloader.SetTiming(300, 4000); // a window a busy machine's handshake still meets
    std::filesystem::create_directories(core->ScriptsFolder());
    std::ofstream(ScriptWorkingFile(*core, "start"), std::ios::binary) << "transmit 1 1000 11 5\nrestart2 1\n";
    Open("ScriptFile=start");
    TBlockTransfer transfer(*core);
    EXPECT_EQ(testsupport::ErrorOf([&] {
                  MakeScript(*core, transfer, "start", core->Connection().Settings().ScriptSpeed,
                             TScriptPhase::Preliminary, false);
              }),
              "(no error)");
    dialogs->PushWaitWindow(-1);
    EXPECT_EQ(Run(), "(no error)");
    EXPECT_EQ(bootloader.Restarts(), 1);
    ASSERT_EQ(bootloader.Transmits().size(), 1u);
    EXPECT_EQ(bootloader.Transmits()[0].values, (std::vector<uint16_t>{1000, 0, 11, 5}));
    EXPECT_EQ(bootloader.Mode(), SimMode::Bootloader);
    EXPECT_EQ(core->Chips().Current()->Name, "STM32f205rg");
}

INSTANTIATE_TEST_SUITE_P(Lines, HandshakeTest, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return std::string(info.param == Line::Pty ? "Pty" : "Tcp"); });

class HandshakeDrainTest : public HandshakeTest {};

TEST_P(HandshakeDrainTest, WaitingBytesAreDrainedInReadsOf1024)
{
    Open("");
    TIOSerial* serial = core->Connection().Serial();
    ASSERT_NE(serial, nullptr);
    sim.Push(std::string(2048, '\x33'));
    ASSERT_TRUE(sim.WaitFor([&] { return serial->InQueue() >= 2048; }, 5000));
    dialogs->PushWaitWindow(-1);
    EXPECT_EQ(Run(), "(no error)");
    const std::string log = core->OperationLog();
    const std::string line = "Принято при ожидании успокоения линии (1024b): 33 33 33 33 33 33 33 33 33 33 33 33 33 "
                             "33 33 33 33 33 33 33\r\n";
    const size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(line, first + 1), std::string::npos);
    EXPECT_LT(first, log.find("HandShake: ok"));
}

TEST_P(HandshakeDrainTest, NoiseDoesNotBlockTheStopButton)
{
    Open("");
    sim.SetNoise(2000);
    bootloader.SetProbeReply(ProbeReply::None);
    dialogs->PushWaitWindow(3);
    EXPECT_EQ(Run(), kFailed);
    EXPECT_TRUE(LogHas("Канал не пуст"));
    ExpectWindowClosed();
    sim.SetNoise(0);
}

INSTANTIATE_TEST_SUITE_P(Serial, HandshakeDrainTest, ::testing::Values(Line::Pty),
                         [](const auto&) { return std::string("Pty"); });

} // namespace
