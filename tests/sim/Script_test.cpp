// Device scripts against the simulator on a pty: the bytes of each command, the answers
// of the MODBUS write commands and their wait, the two phases with their speeds and the
// flash-save activation, files and errors, and the end pause.

#include "loader/core/Chips.h"
#include "loader/io/IOSerial.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderScript.h"
#include "loader/protocol/LoaderTransfer.h"
#include "platform/CodePages.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

using sim::ControllerSim;
using sim::Fault;
using sim::FaultKind;
using testsupport::Bytes;

namespace {

const char kActivationSilent[] = "Нет ответа при попытке активации сохранения переданной прошивки или параметров";
const char kActivated[] = "Активация сохранения переданной прошивки или параметров выполнена";

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.SetHandler([this](const std::string& pdu) -> std::optional<std::string> {
            switch (static_cast<uint8_t>(pdu[1])) {
            case 0x10: return differ ? pdu.substr(0, 5) + '\x07' : pdu.substr(0, 6);
            case 0x08: return differ ? pdu.substr(0, 5) + '\x07' : pdu;
            case 0x56: return pdu;
            default: return std::nullopt;
            }
        });
        ports.emplace(platform::kComPortsVariable, "COM5=" + sim.AddPty());
        sim.Start();
        core.emplace(env.Places());
        transfer.emplace(*core);
        std::filesystem::create_directories(core->ScriptsFolder());
    }

    void Open(const std::string& chip = "ATMEGA128")
    {
        core->Connection().OpenDevice("ioType=iotSerial;SerialComNumber=5;SerialBaudRate=57600;SpeedScript=9600;"
                                      "ControllerType=" + std::to_string(core->Chips().IndexOfName(chip, false)));
        if (TChip* current = core->Chips().Current()) current->FixedWriteTimeOut = 600;
    }
    // The script's working copy, lines in Windows-1251 joined by CR LF.
    void Script(const std::string& text, const std::string& name = "s")
    {
        std::ofstream(ScriptWorkingFile(*core, name), std::ios::binary) << platform::Utf8ToAnsi(text);
    }
    // A script whose lines are all in the final section. (The final phase keeps the line
    // speed, so that a pty never drops the last bytes written when the port is reopened.)
    void FinalScript(const std::string& text) { Script("[after]\n" + text); }
    std::string Make(TScriptPhase phase, bool activation = false, const std::string& name = "s")
    {
        return testsupport::ErrorOf([&] {
            MakeScript(*core, *transfer, name, core->Connection().Settings().ScriptSpeed, phase, activation);
        });
    }
    // What the simulator received from the mark on.
    std::string Received(size_t mark = 0) const
    {
        std::string bytes;
        const auto traffic = sim.Traffic();
        for (size_t i = mark; i < traffic.size(); ++i)
            if (!traffic[i].sent) bytes += traffic[i].bytes;
        return bytes;
    }
    // Drops the bytes the simulator sent that no one read, once it has sent them all.
    void DropInput()
    {
        EXPECT_TRUE(testsupport::WaitUntil([&] { return sim.RepliesSent(); }));
        core->Connection().Serial()->Purge(PURGE_RXCLEAR);
    }
    bool LogHas(const std::string& text) const { return core->OperationLog().find(text) != std::string::npos; }

    sim::LoaderEnv env;
    std::optional<testsupport::ScopedEnv> ports;
    std::atomic<bool> differ{false}; // read by the simulator's thread, which it outlives
    ControllerSim sim;
    std::optional<TLoaderCore> core; // ends before the environment
    std::optional<TBlockTransfer> transfer;
};

TEST_F(ScriptTest, CommandBytes)
{
    Open();
    const struct {
        const char* line;
        std::string sent;
    } cases[] = {
        {"transmit 1", Bytes("01 10 03 F2 00 02 04 01 02 00 00 C9 FE")},
        {"TRANSMIT 1 1000 11 5", Bytes("01 10 03 F2 00 04 08 03 E8 00 00 00 0B 00 05 90 A5")},
        {"restart 5 nowait", Bytes("05 08 00 01 00 00 B0 4F")},
        {"restart2 1", Bytes("01 10 03 E9 00 01 02 00 01 42 69")},
        {"send 55AA", Bytes("55 AA")},
        {"send_str AT#13#10", Bytes("41 54 0D 0A")},
        {"send_str Да нет", platform::Utf8ToAnsi("Да нет")},
        {"unknown 1 2 3", ""},
        {"sleep", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        FinalScript(c.line);
        const size_t mark = sim.Traffic().size();
        const std::string log = core->OperationLog();
        EXPECT_EQ(Make(TScriptPhase::Final), "(no error)");
        testsupport::WaitUntil([&] { return Received(mark) == c.sent; });
        EXPECT_EQ(Received(mark), c.sent);
        if (std::string(c.line) == "restart 5 nowait") { // its answer is never read
            EXPECT_EQ(core->OperationLog().find("< 05 08", log.size()), std::string::npos);
        }
        DropInput();
    }
}

TEST_F(ScriptTest, RepliesToTheWriteCommands)
{
    Open();
    const std::string transmitNone = "Нет ответа при попытке включения транзитного канала";
    const std::string restartNone = "Нет ответа при попытке рестарта";
    const struct {
        const char* name;
        std::optional<Fault> fault;
        bool differ;
        std::string transmit, restart2, restart; // "" : accepted
    } cases[] = {
        {"none", Fault{FaultKind::Silence, 0, 0}, false, transmitNone, restartNone, restartNone},
        {"3-byte exception", Fault{FaultKind::Exception3, 2, 0}, false, "Ошибка 2 при записи MODBUS",
         "Ошибка 2 при записи MODBUS", "Ошибка 2 при записи MODBUS"},
        {"three other bytes", Fault{FaultKind::Truncate, 3, 0}, false, "", "",
         "Неверный ответ при попытке рестарта (длина 3 байт)"},
        {"eight good bytes", std::nullopt, false, "", "", ""},
        {"bad CRC", Fault{FaultKind::BadCrc, 0, 0}, false, "Ошибка CRC MODBUS", "Ошибка CRC MODBUS",
         "Ошибка CRC MODBUS"},
        {"differing bytes", std::nullopt, true, "Ошибка при записи MODBUS", "Ошибка при записи MODBUS",
         "Ошибка при записи MODBUS"},
        {"six bytes", Fault{FaultKind::Truncate, 6, 0}, false,
         "Неверный ответ при попытке включения транзитного канала (длина 6 байт)",
         "Неверный ответ при попытке рестарта (длина 6 байт)", "Неверный ответ при попытке рестарта (длина 6 байт)"},
        // Only restart drops a stray byte in front; the others read it as part of the reply.
        {"a garbage byte in front", Fault{FaultKind::Noise, 1, 0}, false, "Ошибка CRC MODBUS", "Ошибка CRC MODBUS",
         ""},
    };
    for (const auto& c : cases) {
        const std::pair<const char*, std::string> commands[] = {
            {"transmit 1", c.transmit}, {"restart2 1", c.restart2}, {"restart 1", c.restart}};
        for (const auto& [line, error] : commands) {
            SCOPED_TRACE(std::string(c.name) + ": " + line);
            differ = c.differ;
            if (c.fault) sim.InjectFault(*c.fault);
            FinalScript(line);
            EXPECT_EQ(Make(TScriptPhase::Final), error.empty() ? "(no error)" : error);
            sim.ClearFaults();
            DropInput();
        }
    }
}

TEST_F(ScriptTest, ReplyWait)
{
    Open();
    const struct {
        const char* name;
        Fault fault;
        std::string error;
        uint64_t minMs, maxMs;
    } cases[] = {
        {"halves 100 ms apart", {FaultKind::Fragments, 4, 100}, "", 100, 1500},
        {"halves 1500 ms apart", {FaultKind::Fragments, 4, 1500},
         "Неверный ответ при попытке включения транзитного канала (длина 4 байт)", 450, 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.InjectFault(c.fault);
        FinalScript("transmit 1");
        const uint64_t start = platform::GetTickCount();
        EXPECT_EQ(Make(TScriptPhase::Final), c.error.empty() ? "(no error)" : c.error);
        const uint64_t spent = platform::GetTickCount() - start;
        EXPECT_GE(spent, c.minMs);
        EXPECT_LE(spent, c.maxMs);
        DropInput();
    }

    // A reply that trickles in without a pause ends at three seconds: a byte every 25 ms,
    // far within the half second of silence, and a recv longer than three seconds of them
    // (the noise is no match for its bytes, were they all to come).
    std::string expected;
    for (int i = 0; i < 200; ++i) expected += "BB";
    FinalScript("recv " + expected);
    sim.SetNoise(40);
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(Make(TScriptPhase::Final), "Неверный ответ от устройства");
    const uint64_t spent = platform::GetTickCount() - start;
    sim.SetNoise(0);
    EXPECT_GE(spent, 2950u);
    EXPECT_LT(spent, 5000u);
    DropInput();
}

TEST_F(ScriptTest, PhasesRunAtTheirSpeedsAndActivate)
{
    Open("STM32f205rg");
    Script("transmit 1\n[AFTER WRITE]\nsend 77");
    EXPECT_EQ(Make(TScriptPhase::Preliminary, true), "(no error)");
    EXPECT_EQ(core->Connection().Serial()->GetBaudRate(), 57600u);
    // A FixedWrite chip: the final phase of a write activates, with or without a script.
    EXPECT_EQ(Make(TScriptPhase::Final, true, ""), "(no error)");
    EXPECT_TRUE(LogHas(kActivated));
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes, Bytes("01 10 03 F2 00 02 04 01 02 00 00 C9 FE"));
    EXPECT_EQ(frames[0].baud, 9600u);
    EXPECT_EQ(static_cast<uint8_t>(frames[1].bytes[1]), 0x56);
    EXPECT_EQ(frames[1].baud, 57600u);
    EXPECT_EQ(Received().find('\x77'), std::string::npos); // the final section did not run
}

TEST_F(ScriptTest, FixedActsOnlyInTheFinalPhaseOfAWrite)
{
    Open(); // ATMEGA128: no FixedWrite
    Script("fixed\n[after]\nfixed");
    EXPECT_EQ(Make(TScriptPhase::Preliminary, true), "(no error)");
    EXPECT_EQ(Make(TScriptPhase::Final, false), "(no error)");
    EXPECT_TRUE(sim.Frames().empty());
    EXPECT_EQ(Make(TScriptPhase::Final, true), "(no error)");
    ASSERT_EQ(sim.Frames().size(), 1u);
    EXPECT_EQ(static_cast<uint8_t>(sim.Frames()[0].bytes[1]), 0x56);
}

TEST_F(ScriptTest, EchoIsNeverTakenForTheActivationReply)
{
    Open("STM32f205rg");
    sim.SetEcho(true);
    Script("echo\n[after]\n");
    // A silent controller: only the echo comes back.
    sim.InjectFault(0x56, Fault{FaultKind::Silence, 0, 0}, 1);
    EXPECT_EQ(Make(TScriptPhase::Preliminary), "(no error)");
    EXPECT_EQ(Make(TScriptPhase::Final, true), kActivationSilent);
    EXPECT_FALSE(LogHas(kActivated));
    DropInput();
    // A controller that answers after the echo.
    EXPECT_EQ(Make(TScriptPhase::Preliminary), "(no error)");
    EXPECT_EQ(Make(TScriptPhase::Final, true), "(no error)");
    EXPECT_TRUE(LogHas(kActivated));
    EXPECT_TRUE(core->Connection().Echo());
}

TEST_F(ScriptTest, FilesAndErrors)
{
    Open();
    // A missing working copy, named with its path.
    const std::string missing = ScriptWorkingFile(*core, "absent").string();
    EXPECT_EQ(Make(TScriptPhase::Preliminary, false, "absent"), "Файл скрипта " + missing + " не существует");
    EXPECT_NE(missing.find(".tmp"), std::string::npos);

    // The working copy runs, not the committed script.
    std::ofstream(core->ScriptsFolder() / "s.txt") << "send 11";
    Script("  send 22 \n[after]\n  send 22 ");
    size_t mark = sim.Traffic().size();
    std::string log = core->OperationLog();
    EXPECT_EQ(Make(TScriptPhase::Final), "(no error)");
    testsupport::WaitUntil([&] { return Received(mark) == Bytes("22"); });
    EXPECT_EQ(Received(mark), Bytes("22"));
    const std::string added = core->OperationLog().substr(log.size());
    const size_t trimmed = added.find(": send 22\r\n");
    const size_t posted = added.find("Выполнение завершающего скрипта \"s\", команда: send 22");
    const size_t ok = added.find(":   send 22  ok\r\n");
    const size_t done = added.find("Cкрипт \"s\" выполнен");
    EXPECT_TRUE(trimmed < posted && posted < ok && ok < done) << added;

    // Errors stop the script before anything is sent; the line and the message are logged.
    const struct {
        const char* line;
        std::string error;
    } cases[] = {
        {"send 5G", "'5G' is not a valid integer value"},
        {"send_str AT#", "'' is not a valid integer value"},
        {"transmit  1", "'' is not a valid integer value"},
        {"transmit", "List index out of bounds (1)"},
        {"recv BB", "Нет ответа от устройства"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Script(std::string(c.line) + "\nsend 33");
        mark = sim.Traffic().size();
        log = core->OperationLog();
        EXPECT_EQ(Make(TScriptPhase::Preliminary), c.error);
        EXPECT_EQ(Received(mark), "");
        EXPECT_NE(core->OperationLog().find(std::string(c.line) + " " + c.error, log.size()), std::string::npos);
    }
    Script("send " + std::string(604, 'A'));
    mark = sim.Traffic().size();
    EXPECT_EQ(Make(TScriptPhase::Preliminary), kScriptTooLong);
    EXPECT_EQ(Received(mark), "");
}

TEST_F(ScriptTest, RecvChecksTheReply)
{
    Open();
    sim.AddRawRule(Bytes("A1"), Bytes("BB"));
    sim.AddRawRule(Bytes("A2"), Bytes("BC"));
    sim.AddRawRule(Bytes("A3"), Bytes("BB BB"));
    const struct {
        const char* script;
        std::string error;
    } cases[] = {
        {"send A1\nrecv BB", ""},
        {"send A2\nrecv BB", "Ошибочный ответ устройства"},
        {"send A3\nrecv BBBBBB", "Неверный ответ от устройства"},
        {"recv BB", "Нет ответа от устройства"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        Script(c.script);
        EXPECT_EQ(Make(TScriptPhase::Preliminary), c.error.empty() ? "(no error)" : c.error);
        DropInput();
    }
}

TEST_F(ScriptTest, EndPauseBeforeClosing)
{
    Open();
    Script("transmit 1\n[after]\nsend 01\nxx endpause 2000");
    EXPECT_EQ(Make(TScriptPhase::Final), "(no error)"); // the simulator sees the port open
    const uint64_t start = platform::GetTickCount();
    RunEndPause(*core, "s");
    core->Connection().CloseDevice();
    EXPECT_GE(platform::GetTickCount() - start, 2000u);
    EXPECT_TRUE(LogHas("Выполнение паузы окончания операции, 2000 мс: "));
    EXPECT_TRUE(sim.WaitFor(
        [&] {
            for (const auto& e : sim.Events())
                if (e.find("pty slave closed") != std::string::npos) return true;
            return false;
        },
        2000));
    // Without a name, or a file, nothing.
    const uint64_t again = platform::GetTickCount();
    RunEndPause(*core, "");
    RunEndPause(*core, "absent");
    EXPECT_LT(platform::GetTickCount() - again, 500u);
}

// libmodbus's RTU server with holding registers 0x03E9 to 0x03F5, behind a pty pair of
// socat, answers transmit (2 and 4 registers) and restart2; its answers are accepted.
// (libmodbus has no function 8, so it is no peer for restart.)
TEST(ScriptPeer, LibmodbusServerAcceptsTheWriteCommands)
{
    ASSERT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
    sim::LoaderEnv env;
    const std::filesystem::path a = env.dir / "ttyA", b = env.dir / "ttyB";
    testsupport::ChildProcess socat("exec socat pty,raw,echo=0,link=" + a.string() + " pty,raw,echo=0,link=" +
                                    b.string());
    ASSERT_TRUE(testsupport::WaitForPath(a) && testsupport::WaitForPath(b)) << "socat did not make its pair";
    const std::filesystem::path ready = env.dir / "server.out";
    testsupport::ChildProcess server(
        "exec '" + (std::filesystem::path(MIRVAK_BINARY_DIR) / "tests/fixtures/modbus_rtu_server").string() + "' '" +
        b.string() + "' 9600 5 1001 13 >'" + ready.string() + "' 2>&1");
    const bool up = testsupport::WaitUntil([&] {
        return std::filesystem::exists(ready) && testsupport::ReadFile(ready).find("ready") != std::string::npos;
    });
    ASSERT_TRUE(up) << (std::filesystem::exists(ready) ? testsupport::ReadFile(ready) : "no output");

    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM9=" + a.string());
    TLoaderCore core(env.Places());
    TBlockTransfer transfer(core);
    std::filesystem::create_directories(core.ScriptsFolder());
    std::ofstream(ScriptWorkingFile(core, "peer"), std::ios::binary) << "[after]\ntransmit 1\ntransmit 1 1000 11 5\nrestart2 1\n";
    core.Connection().OpenDevice("ioType=iotSerial;SerialComNumber=9;SerialBaudRate=9600");
    EXPECT_EQ(testsupport::ErrorOf([&] { MakeScript(core, transfer, "peer", 9600, TScriptPhase::Final, false); }),
              "(no error)")
        << core.OperationLog();
    const std::string log = core.OperationLog();
    for (const char* reply : {"< 01 10 03 F2 00 02", "< 01 10 03 F2 00 04", "< 01 10 03 E9 00 01"})
        EXPECT_NE(log.find(reply), std::string::npos) << reply;
    core.Connection().CloseDevice();
}

} // namespace
