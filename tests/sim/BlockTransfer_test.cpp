// The loader's block transfers against the simulated controller's memory, on a pty and
// over TCP: a write, its activation and a read back per chip; retries with their lines;
// the activation's answers; progress and cancel; the firmware version search; chips the
// transfers refuse.

#include "common/ProgressMgr.h"
#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderTransfer.h"
#include "loader/io/Modbus.h"
#include "loader/SarnupolexLib.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/SerialPorts.h"
#include "platform/Windows.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/sim/SimDevice.h"
#include "tests/sim/SimMemory.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>

using sim::ControllerSim;
using sim::Fault;
using sim::FaultKind;
using testsupport::Bytes;

namespace {

// A loader core on the simulated controller with the memory of one chip, over a pty (at
// 115200 baud) or TCP. Every protocol rule the requests break fails the test.
struct RigOptions {
    bool tcp = false;
    std::string settings = "RetryCount=3";
    std::string chipIni; // written as "Chip.ini" before the core starts
    std::string profile; // the simulator's chip when it is not the loader's

    RigOptions& Tcp(bool value) { tcp = value; return *this; }
    RigOptions& Settings(std::string value) { settings = std::move(value); return *this; }
    RigOptions& ChipIni(std::string text, std::string simChip)
    {
        chipIni = std::move(text);
        profile = std::move(simChip);
        return *this;
    }
};

class Rig {
public:
    explicit Rig(const std::string& chip, const RigOptions& options = {})
        : device(options.profile.empty() ? chip : options.profile)
    {
        std::string line;
        if (options.tcp) {
            line = "ioType=iotTCP;TCPIP=127.0.0.71;TCPPort=" + std::to_string(sim.AddTcp("127.0.0.71"));
        } else {
            ports.emplace(platform::kComPortsVariable, "COM5=" + sim.AddPty());
            line = "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200";
        }
        sim.Start();
        if (!options.chipIni.empty()) testsupport::WriteFile(env.dir / "Chip.ini", options.chipIni);
        core.emplace(env.Places());
        const int index = core->Chips().IndexOfName(chip, false);
        EXPECT_GE(index, 0) << chip;
        core->Connection().OpenDevice(line + ";" + options.settings + ";ControllerType=" + std::to_string(index));
        // Answers are awaited at least a second: a busy machine's simulator answers within
        // that, so that no late answer is taken for a later request's.
        if (TChip* current = core->Connection().Chip())
            for (int32_t* wait : {&current->ReadTimeOut, &current->FlashTimeOut, &current->EEPTimeOut,
                                  &current->FixedWriteTimeOut})
                *wait = std::max(*wait, 1000);
        core->PostLogLine("Чтение");
    }
    ~Rig() { core.reset(); }
    bool LogHas(const std::string& text) const { return core->OperationLog().find(text) != std::string::npos; }
    size_t RequestsOf(uint8_t function) const
    {
        size_t n = 0;
        for (const auto& f : sim.Frames()) n += static_cast<uint8_t>(f.bytes[1]) == function ? 1 : 0;
        return n;
    }

    sim::LoaderEnv env;
    std::optional<testsupport::ScopedEnv> ports;
    sim::SimDevice device; // stops after the core, then reports the protocol errors
    sim::SimMemory& memory = device.memory;
    ControllerSim& sim = device.controller;
    std::optional<TLoaderCore> core; // ends before the environment
};

class BlockTransferTest : public ::testing::Test {
protected:
    Rig rig{"STM32f205rg"};
    ControllerSim& sim = rig.sim;
    std::optional<TLoaderCore>& core = rig.core;
    bool LogHas(const std::string& text) const { return rig.LogHas(text); }
};

} // namespace

TEST_F(BlockTransferTest, WriteActivateAndReadBack)
{
    TBlockTransfer transfer(*core);
    const uint8_t data[] = {0x01, 0x02, 0x03};
    transfer.WriteBlock(data, 0x08000005, 3, 4, false);
    EXPECT_EQ(transfer.WriteChecksum(), 6);
    EXPECT_EQ(rig.memory.Read(false, 0x08000005), 0xFF); // pending until the activation
    transfer.ActivateFlashSave();
    EXPECT_TRUE(LogHas("Активация сохранения переданной прошивки или параметров выполнена"));
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes.substr(0, 14), Bytes("FA 15 0D 00 08 00 00 05 00 02 01 02 03 00"));
    for (const auto& g : testsupport::GoldenFrames()) {
        if (g.name == "activation with checksum 0x0006") {
            EXPECT_EQ(frames[1].bytes, g.frame);
        }
    }
    const auto back = transfer.ReadBlock(0x08000004, 6, false, 6);
    EXPECT_EQ(std::string(back.begin(), back.end()), Bytes("FF 01 02 03 00 FF"));
}

// A request whose byte 2 does not fit its word count fails the test that sent it.
TEST(BlockTransferRig, ABrokenProtocolRuleFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        {
            Rig broken("STM32f205rg");
            TBlockTransfer(*broken.core).ReadBlock(0x08000004, 6, false, 1024);
        },
        "protocol error: byte 2 is 9, not (6 + 9) mod 256");
}

TEST_F(BlockTransferTest, RetriesAndTheirErrors)
{
    const std::string noReply = "Нет ответа от устройства при чтении блока (адрес 08004000, длина 128)";
    const struct {
        const char* name;
        bool write;
        Fault fault;
        int failures;
        std::string error; // empty: the transfer succeeds
    } cases[] = {
        {"silent", false, {FaultKind::Silence, 0, 0}, 3, noReply},
        {"two failures, then success", false, {FaultKind::Silence, 0, 0}, 2, ""},
        {"exception 1", false, {FaultKind::Exception, 1, 0}, 3, "Ошибка 1 при чтении MODBUS: неверная функция"},
        {"exception 2", false, {FaultKind::Exception, 2, 0}, 3, "Ошибка 2 при чтении MODBUS: неверный адрес данных"},
        {"exception 3", false, {FaultKind::Exception, 3, 0}, 3, "Ошибка 3 при чтении MODBUS: неверное значение"},
        {"exception 4", false, {FaultKind::Exception, 4, 0}, 3, "Ошибка 4 при чтении MODBUS: сбой устройства"},
        {"exception 6", false, {FaultKind::Exception, 6, 0}, 3, "Ошибка 6 при чтении MODBUS: устройство занято"},
        {"exception 8", false, {FaultKind::Exception, 8, 0}, 3,
         "Ошибка 8 при чтении MODBUS: ключи активированы, включите игнорирование ключей"},
        {"exception 9", false, {FaultKind::Exception, 9, 0}, 3,
         "Ошибка 9 при чтении MODBUS: ошибка при записи ячейки памяти, повторите запись"},
        {"exception 7", false, {FaultKind::Exception, 7, 0}, 3, "Ошибка 7 при чтении MODBUS"},
        {"wrong length", false, {FaultKind::Truncate, 40, 0}, 3,
         "Получен ответ неверного размера при чтении блока (адрес 08004000, длина 128)"},
        {"bad CRC", false, {FaultKind::BadCrc, 0, 0}, 3, "Ошибка CRC при чтении блока (адрес 08004000, длина 128)"},
        {"write, silent", true, {FaultKind::Silence, 0, 0}, 3,
         "Нет ответа от устройства при записи блока (адрес 8000000, длина 128)"},
        {"write, two failures", true, {FaultKind::Exception, 6, 0}, 2, ""},
        {"write, exception 1", true, {FaultKind::Exception, 1, 0}, 3, "Ошибка 1 при записи MODBUS: неверная функция"},
        {"write, exception 3", true, {FaultKind::Exception, 3, 0}, 3, "Ошибка 3 при записи MODBUS: неверное значение"},
        {"write, exception 4", true, {FaultKind::Exception, 4, 0}, 3, "Ошибка 4 при записи MODBUS: сбой устройства"},
        {"write, exception 8", true, {FaultKind::Exception, 8, 0}, 3,
         "Ошибка 8 при записи MODBUS: ключи активированы, включите игнорирование ключей"},
        {"write, exception 7", true, {FaultKind::Exception, 7, 0}, 3, "Ошибка 7 при записи MODBUS"},
        {"write, wrong length", true, {FaultKind::Truncate, 40, 0}, 3,
         "Получен ответ неверного размера при записи блока (адрес 8000000, длина 128, res = 38, DatagramSize = "
         "138, TOut = 1000)"},
        {"write, an echo differing in one byte", true, {FaultKind::AlterByte, 20, 0}, 3,
         "Неверный ответ при записи блока (адрес 8000000, длина 128)"},
        // The echo decides a write, not the reply's CRC.
        {"write, bad CRC", true, {FaultKind::BadCrc, 0, 0}, 1, ""},
    };
    const std::vector<uint8_t> data(128, 0x5A);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Where every attempt goes unanswered nothing can come late: those wait the short
        // time out; an answer, whole or cut short, is awaited as a busy machine needs.
        const bool nothingComes = c.fault.kind == FaultKind::Silence && !c.error.empty();
        core->Connection().Chip()->FlashTimeOut = nothingComes ? 300 : 1000;
        core->Connection().Chip()->ReadTimeOut = nothingComes ? 300 : 1000;
        TBlockTransfer transfer(*core);
        const size_t before = sim.Frames().size();
        sim.InjectFault(c.fault, c.failures);
        const std::string log = core->OperationLog();
        EXPECT_EQ(testsupport::ErrorOf([&] {
                      if (c.write)
                          transfer.WriteBlock(data.data(), 0x08000000, 128, 128, false);
                      else
                          transfer.ReadBlock(0x08004000, 128, false, 128);
                  }),
                  c.error.empty() ? "(no error)" : c.error);
        // A write passes a bad CRC: its echo decides.
        const size_t attempts = c.write && c.fault.kind == FaultKind::BadCrc
                                    ? 1
                                    : static_cast<size_t>(std::min(c.failures + (c.error.empty() ? 1 : 0), 3));
        EXPECT_EQ(sim.Frames().size() - before, attempts);
        const std::string added = core->OperationLog().substr(log.size());
        for (size_t n = 1; n < 3; ++n)
            EXPECT_EQ(added.find("Чтение (Повтор операции - " + std::to_string(n) + ")") != std::string::npos,
                      n < attempts);
        EXPECT_EQ(added.find("Чтение (Повтор операции - 3)"), std::string::npos);
        const std::string exhausted = c.write ? "Чтение (Операция записи провалена - исчерпано число попыток)"
                                              : "Чтение (Операция чтения провалена - исчерпано число попыток)";
        EXPECT_EQ(added.find(exhausted) != std::string::npos, !c.error.empty());
        EXPECT_EQ(core->LastLine(), "Чтение");
        sim.ClearFaults();
    }
}

TEST_F(BlockTransferTest, WriteRetriesAndANoisyChannel)
{
    TBlockTransfer transfer(*core);
    const uint8_t data[] = {0x10, 0x20};
    sim.InjectFault({FaultKind::Exception, 9, 0}, 3);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlock(data, 0x08000000, 2, 2, false); }),
              "Ошибка 9 при записи MODBUS: ошибка при записи ячейки памяти, повторите запись");
    EXPECT_TRUE(LogHas("Чтение (Операция записи провалена - исчерпано число попыток)"));
    EXPECT_EQ(transfer.WriteChecksum(), 0x30); // once per call, not per attempt
    sim.ClearFaults();

    // Noise left behind a reply is drained before the next write, which then succeeds.
    sim.InjectFault({FaultKind::NoiseAfter, 60, 0});
    transfer.ReadBlock(0x08004000, 128, false, 128);
    ASSERT_TRUE(sim.WaitFor(
        [&] {
            size_t sent = 0;
            for (const auto& t : sim.Traffic()) sent += t.sent ? t.bytes.size() : 0;
            return sent >= 135 + 60;
        },
        2000));
    transfer.WriteBlock(data, 0x08000000, 2, 2, false);
    EXPECT_FALSE(LogHas("Канал связи не пуст"));

    // Noise on the line before and during the write: every attempt finds it.
    sim.SetNoise(20000);
    ASSERT_TRUE(sim.WaitFor(
        [&] {
            size_t sent = 0;
            for (const auto& t : sim.Traffic()) sent += t.sent ? t.bytes.size() : 0;
            return sent >= 600;
        },
        2000));
    const size_t before = sim.Frames().size();
    const size_t logged = core->OperationLog().size();
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlock(data, 0x08000000, 2, 2, false); }), "Канал связи не пуст");
    sim.SetNoise(0);
    EXPECT_EQ(sim.Frames().size(), before); // no request went out
    const std::string added = core->OperationLog().substr(logged);
    size_t full = 0;
    for (size_t at = added.find("Канал связи не пуст"); at != std::string::npos; at = added.find("Канал связи не пуст", at + 1))
        ++full;
    EXPECT_EQ(full, 3u);
}

// Reads drain what an earlier request left behind before every attempt, as writes do:
// noise in front of a reply costs retries and nothing else; noise in front of every
// reply still fails with the reply's own error. Without the drain the rest of a broken
// reply stays in front of every later one and no retry succeeds. The drain takes what
// has come by then: on a busy machine a rest may come later and cost one retry more, so
// six attempts are allowed.
TEST(BlockTransferRig, ReadsRecoverFromNoise)
{
    Rig rig("STM32f205rg", RigOptions().Settings("RetryCount=6"));
    std::string stored;
    for (int i = 0; i < 128; ++i) stored += static_cast<char>(i * 7 + 3);
    rig.memory.Write(false, 0x08004000, stored);
    const std::string crcError = "Ошибка CRC при чтении блока (адрес 08004000, длина 128)";
    const struct {
        const char* name;
        int noisyReplies;
        std::string error; // empty: the read succeeds
    } cases[] = {
        {"noise in front of one reply", 1, ""},
        {"noise in front of two replies", 2, ""},
        {"noise in front of every reply", 6, crcError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBlockTransfer transfer(*rig.core);
        const size_t before = rig.sim.Frames().size();
        const std::string log = rig.core->OperationLog();
        // 20 bytes: the reply's rest stays in the channel behind the bytes read.
        rig.sim.InjectFault({FaultKind::Noise, 20, 0}, c.noisyReplies);
        std::vector<uint8_t> got;
        EXPECT_EQ(testsupport::ErrorOf([&] { got = transfer.ReadBlock(0x08004000, 128, false, 128); }),
                  c.error.empty() ? "(no error)" : c.error);
        const size_t requests = rig.sim.Frames().size() - before;
        if (c.error.empty()) {
            EXPECT_EQ(std::string(got.begin(), got.end()), stored);
            EXPECT_GE(requests, static_cast<size_t>(c.noisyReplies) + 1);
        }
        EXPECT_LE(requests, 6u);
        const std::string added = rig.core->OperationLog().substr(log.size());
        EXPECT_EQ(added.find("Чтение (Операция чтения провалена - исчерпано число попыток)") != std::string::npos,
                  !c.error.empty());
        EXPECT_EQ(added.find("Канал связи не пуст"), std::string::npos);
        rig.sim.ClearFaults();
        ASSERT_TRUE(rig.sim.WaitFor([&] { return rig.sim.RepliesSent(); }, 2000));
    }
}

// A reply that comes after its attempt gave up is never taken for the reply to a later
// request: not by the retry, and not by the read of the next chunk, which would get the
// same length and a good CRC with the wrong chunk's bytes.
TEST_F(BlockTransferTest, ALateReplyIsNeverTakenForALaterRequest)
{
    std::string first, second;
    for (int i = 0; i < 128; ++i) {
        first += static_cast<char>(0x11);
        second += static_cast<char>(0x22);
    }
    rig.memory.Write(false, 0x08004000, first);
    rig.memory.Write(false, 0x08004080, second);
    core->Connection().Chip()->ReadTimeOut = 300;
    TBlockTransfer transfer(*core);
    // The first reply comes 500 ms late, behind the retry's.
    sim.InjectFault({FaultKind::Delay, 500, 0});
    const auto a = transfer.ReadBlock(0x08004000, 128, false, 128);
    EXPECT_EQ(std::string(a.begin(), a.end()), first);
    ASSERT_TRUE(sim.WaitFor([&] { return sim.RepliesSent(); }, 3000));
    // The late reply has reached the loader's side of the line.
    ASSERT_TRUE(sim.WaitFor([&] { return core->Connection().Device()->InQueue() > 0; }, 3000));
    core->Connection().Chip()->ReadTimeOut = 1000;
    const auto b = transfer.ReadBlock(0x08004080, 128, false, 128);
    EXPECT_EQ(std::string(b.begin(), b.end()), second);
}

TEST_F(BlockTransferTest, ActivationAnswers)
{
    const struct {
        const char* name;
        Fault fault;
        std::string error;
    } cases[] = {
        {"one leading garbage byte", Fault{FaultKind::Noise, 1, 0}, "(no error)"},
        {"five bytes", Fault{FaultKind::Truncate, 5, 0}, "Неверный ответ при попытке попытке активации сохранения (длина 5 байт)"},
        {"bad CRC", Fault{FaultKind::BadCrc, 0, 0}, "Ошибка CRC MODBUS"},
        {"silence", Fault{FaultKind::Silence, 0, 0},
         "Нет ответа при попытке активации сохранения переданной прошивки или параметров"},
        {"another checksum echoed", Fault{FaultKind::AlterByte, 3, 0},
         "Ошибка ответа при активации сохранения переданной прошивки или параметров"},
        // The controller's own sum differs: its exception reply is 5 bytes long.
        {"checksum refused", Fault{FaultKind::Exception, 4, 0},
         "Неверный ответ при попытке попытке активации сохранения (длина 5 байт)"},
    };
    core->Connection().Chip()->FixedWriteTimeOut = 1000; // the wait of a short answer, on a busy machine too
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBlockTransfer transfer(*core);
        sim.InjectFault(c.fault);
        EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ActivateFlashSave(); }), c.error);
        sim.ClearFaults();
    }
}

namespace {

// The operation window: records the captions and percentages and cancels at the k-th
// percentage (0: never).
class ProgressWindow {
public:
    ProgressWindow()
    {
        hwnd = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
                if (msg != platform::WM_LOADER_PROGRESS) return platform::LRESULT{0};
                if (wParam == PROGRESS_CAPTION) {
                    std::string text;
                    platform::GetAtomName(static_cast<platform::ATOM>(lParam), text);
                    platform::DeleteAtom(static_cast<platform::ATOM>(lParam));
                    captions.push_back(text);
                }
                if (wParam != PROGRESS_PERCENT) return platform::LRESULT{0};
                percents.push_back(static_cast<int>(lParam));
                return platform::LRESULT{percents.size() == cancelAt ? 1 : 0};
            },
            queue);
    }
    ~ProgressWindow() { platform::UnregisterWindow(hwnd); }
    platform::MessageQueue queue;
    platform::HWND hwnd = 0;
    std::vector<int> percents;
    std::vector<std::string> captions;
    size_t cancelAt = 0;
};

struct Blocks {
    ~Blocks()
    {
        for (int i = 0; i < list.Count(); ++i) list.Block(i)->Release();
    }
    TMemoryBlock& Add(uint32_t address, int32_t size)
    {
        auto block = TMemoryBlock::Make(address, size);
        TMemoryBlock& added = *block;
        list.AddBlock(block.release());
        return added;
    }
    TBlockList list;
};

} // namespace

// Percentages over chunk indexes for a write and absolute addresses for a read; a
// cancel ends the transfer with false and no request after it.
TEST_F(BlockTransferTest, ProgressAndCancel)
{
    ProgressWindow window;
    core->SetOperationWindow(window.hwnd);
    Blocks blocks;
    const struct {
        uint32_t address;
        int32_t size;
    } layout[] = {{0x08000005, 3}, {0x08000100, 40}, {0x080007C0, 100}, {0x08002000, 300}, {0x08002010, 8}};
    for (const auto& b : layout) std::fill_n(blocks.Add(b.address, b.size).Data(), b.size, 0x11);
    TBlockTransfer transfer(*core);
    ASSERT_TRUE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    EXPECT_EQ(window.captions, std::vector<std::string>{"Запись"});
    // Chunks 0, 1, 2 and 8 of 9 (0x08000000 to 0x0800212C).
    EXPECT_EQ(window.percents, (std::vector<int>{11, 22, 33, 100}));

    window.percents.clear();
    ASSERT_TRUE(transfer.ReadBlocks(blocks.list, "Чтение блоков"));
    // Absolute addresses far above the blocks' span: every percentage rounds to 100.
    EXPECT_EQ(window.percents, std::vector<int>(6, 100));

    window.cancelAt = 2;
    window.percents.clear();
    const size_t beforeCancel = sim.Frames().size();
    EXPECT_FALSE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    EXPECT_EQ(sim.Frames().size() - beforeCancel, 2u);
    window.percents.clear();
    const size_t beforeReadCancel = sim.Frames().size();
    EXPECT_FALSE(transfer.ReadBlocks(blocks.list, "Чтение"));
    EXPECT_EQ(sim.Frames().size() - beforeReadCancel, 1u); // both percentages in chunk 0
    core->SetOperationWindow(0);
}

// A block that ends at 4 GiB: the image's range is taken in 64 bits, so its end does not
// wrap to 0; the one chunk it touches is written.
TEST_F(BlockTransferTest, WriteImageAtTheEndOfTheAddressSpace)
{
    ProgressWindow window;
    core->SetOperationWindow(window.hwnd);
    Blocks blocks;
    std::fill_n(blocks.Add(0xFFFFFF00, 0x100).Data(), 0x100, 0x77);
    TBlockTransfer transfer(*core);
    ASSERT_TRUE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    transfer.ActivateFlashSave();
    EXPECT_EQ(sim.Frames().size(), 2u);
    EXPECT_EQ(window.percents, std::vector<int>{50}); // chunks: End div chunk - Start div chunk + 1 = 2
    EXPECT_EQ(rig.memory.Read(false, 0xFFFFFC00, 0x300), std::string(0x300, '\xFF'));
    EXPECT_EQ(rig.memory.Read(false, 0xFFFFFF00, 0x100), std::string(0x100, '\x77'));
    core->SetOperationWindow(0);
}

TEST_F(BlockTransferTest, EmptyListAndNoChip)
{
    Blocks none;
    TBlockTransfer transfer(*core);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlocks(none.list, 0, "Запись"); }),
              "В файле прошивки нет блоков данных");
    core->Connection().CloseDevice();
    core->Connection().OpenDevice("ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200");
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ReadBlocks(none.list, "Чтение"); }), "Не определен тип процессора");
    std::string version;
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.FindFirmwareId(false, true, version); }), "Не определен тип процессора");
    EXPECT_TRUE(sim.Frames().empty());
}

// A stored RetryCount below 1 makes one attempt.
TEST(BlockTransferRig, RetryCountZeroMakesOneAttempt)
{
    Rig rig("STM32f205rg", RigOptions().Settings("RetryCount=0"));
    TBlockTransfer transfer(*rig.core);
    rig.sim.InjectFault({FaultKind::Silence, 0, 0}, 2);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ReadBlock(0x08004000, 128, false, 128); }),
              "Нет ответа от устройства при чтении блока (адрес 08004000, длина 128)");
    EXPECT_EQ(rig.sim.Frames().size(), 1u);
    EXPECT_FALSE(rig.LogHas("Повтор операции"));
}

// A chip of "Chip.ini" without a Sector: every transfer refuses it before a request.
TEST(BlockTransferRig, ChunkSizeZeroFromChipIni)
{
    Rig rig("ZeroChip", RigOptions().ChipIni(
                            "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=ZeroChip\r\nLinearAddr=1\r\nSizeEPP=512\r\n",
                            "STM32f205rg"));
    TBlockTransfer transfer(*rig.core);
    Blocks blocks;
    blocks.Add(0x100, 4);
    std::string version;
    const std::string refused = "Неверный размер сектора 0 у ZeroChip";
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ReadBlocks(blocks.list, "Чтение"); }), refused);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlocks(blocks.list, 0, "Запись"); }), refused);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.FindFirmwareId(false, true, version); }), refused);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.FindFirmwareId(true, true, version); }), refused);
    EXPECT_TRUE(rig.sim.Frames().empty());
    EXPECT_FALSE(ProgressBusy());
}

// Round trip, per chip and channel: blocks written with WriteBlocks and activated are
// committed with 0xFF in the rest of each written chunk and nothing else touched, each
// chunk written once, and ReadBlocks gives them back, reading a chunk again only when a
// block goes back to a chunk other than the one read last.
struct RoundTripCase {
    const char* chip;
    bool tcp;
};

class BlockTransferRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(BlockTransferRoundTrip, WriteActivateReadBack)
{
    const RoundTripCase& param = GetParam();
    Rig rig(param.chip, RigOptions().Tcp(param.tcp));
    const sim::ChipProfile& profile = rig.memory.Profile();
    const uint32_t c = static_cast<uint32_t>(profile.sector);
    const uint32_t base = profile.linear ? profile.flashStart : 0;
    struct Layout {
        uint32_t address;
        int32_t size;
    };
    std::vector<Layout> layout = {
        {base + 5, 3},                     // in chunk 0, unaligned
        {base + c / 2, 10},                // a second block in chunk 0
        {base + 3 * c - 50, 100},          // across chunks 2 and 3
        {base + 6 * c + 7, static_cast<int32_t>(2 * c + 20)}, // after a gap, chunks 6 to 8
        {base + 7 * c + 2, 8},             // inside the block before, in a chunk already written
    };
    if (profile.sizeEpp > 0) layout.push_back({0x80000000u + 0x20, 40}); // EEPROM
    // Memory no block touches keeps its bytes.
    const std::string untouched(c, '\x3C');
    rig.memory.Write(false, base + 4 * c, untouched);

    std::mt19937 random(static_cast<uint32_t>(c));
    Blocks blocks;
    for (const auto& b : layout) {
        TMemoryBlock& block = blocks.Add(b.address, b.size);
        for (int32_t i = 0; i < b.size; ++i) block.Data()[i] = static_cast<uint8_t>(random());
    }
    // What each written chunk must hold: 0xFF, then the blocks in list order.
    const auto spaceOf = [&](uint32_t address) { return !profile.linear && address >= 0x80000000u; };
    const auto offsetOf = [&](uint32_t address) { return spaceOf(address) ? address - 0x80000000u : address; };
    std::map<std::pair<bool, uint32_t>, uint8_t> expected;
    for (int i = 0; i < blocks.list.Count(); ++i) {
        const TMemoryBlock& b = *blocks.list.Block(i);
        for (uint32_t k = 0; k < static_cast<uint32_t>(b.Size); ++k) {
            const uint32_t chunk = (b.Address + k) / c * c;
            for (uint32_t j = 0; j < c; ++j) expected.emplace(std::make_pair(spaceOf(chunk), offsetOf(chunk + j)), 0xFF);
        }
    }
    std::set<std::pair<bool, uint32_t>> writtenChunks;
    for (const auto& [at, value] : expected) writtenChunks.insert({at.first, at.second / c * c});
    for (int i = 0; i < blocks.list.Count(); ++i) {
        const TMemoryBlock& b = *blocks.list.Block(i);
        for (uint32_t k = 0; k < static_cast<uint32_t>(b.Size); ++k)
            expected[{spaceOf(b.Address + k), offsetOf(b.Address + k)}] = b.Data()[k];
    }

    TBlockTransfer transfer(*rig.core);
    ASSERT_TRUE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    EXPECT_EQ(rig.memory.Checksum(), transfer.WriteChecksum());
    transfer.ActivateFlashSave();
    std::set<std::pair<bool, uint32_t>> requested;
    for (const auto& r : rig.memory.Requests()) requested.insert({r.eeprom, r.address});
    EXPECT_EQ(requested, writtenChunks);
    EXPECT_EQ(rig.RequestsOf(0x15), writtenChunks.size());
    for (bool eeprom : profile.linear ? std::vector<bool>{false} : std::vector<bool>{false, true}) {
        for (const auto& [address, value] : rig.memory.Committed(eeprom)) {
            const uint32_t chunkOffset = address - (base + 4 * c);
            const auto it = expected.find({eeprom, address});
            if (it != expected.end())
                ASSERT_EQ(value, it->second) << std::hex << address;
            else if (!eeprom && chunkOffset < c)
                ASSERT_EQ(value, 0x3C) << std::hex << address;
            else
                ASSERT_EQ(value, 0xFF) << std::hex << address; // never written
        }
    }

    Blocks back;
    for (const auto& b : layout) back.Add(b.address, b.size);
    const uint32_t readChunk = c == 256 ? 128 : c;
    // Reads keep only the chunk read last: a chunk is read again when a later block goes back to it.
    size_t chunkReads = 0;
    uint64_t lastRead = UINT64_MAX;
    for (const auto& b : layout)
        for (uint32_t k = 0; k < static_cast<uint32_t>(b.size); ++k) {
            const uint64_t number = (uint64_t{b.address} + k) / readChunk;
            if (number != lastRead) ++chunkReads;
            lastRead = number;
        }
    const size_t before = rig.RequestsOf(0x14);
    ASSERT_TRUE(transfer.ReadBlocks(back.list, "Чтение"));
    EXPECT_EQ(rig.RequestsOf(0x14) - before, chunkReads);
    // A later block wins where blocks overlap.
    for (int i = 0; i < back.list.Count(); ++i) {
        const TMemoryBlock& b = *back.list.Block(i);
        for (uint32_t k = 0; k < static_cast<uint32_t>(b.Size); ++k)
            ASSERT_EQ(b.Data()[k], (expected[{spaceOf(b.Address + k), offsetOf(b.Address + k)}])) << "block " << i << " byte " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Chips, BlockTransferRoundTrip,
                         ::testing::Values(RoundTripCase{"STM32f205rg", false}, RoundTripCase{"STM32f205rg", true},
                                           RoundTripCase{"AVR32-256", false}, RoundTripCase{"AVR32-256", true},
                                           RoundTripCase{"ATMEGA1281", false}, RoundTripCase{"ATMEGA1281", true},
                                           RoundTripCase{"ATMEGA128", false}, RoundTripCase{"ATMEGA128", true},
                                           RoundTripCase{"ATMEGA8", false}, RoundTripCase{"ATMEGA8", true}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.chip) + (info.param.tcp ? "_tcp" : "_pty");
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The firmware version search over TCP: where the marker lies, the two modes, the
// spaces and their start addresses, and a cancel.
TEST(BlockTransferRig, FindFirmwareId)
{
    const struct {
        const char* name;
        const char* chip;
        bool eeprom;
        bool textMode;
        uint32_t marker; // placed at this address (eeprom: offset in the EEPROM)
        std::string text;
        std::string version;
        size_t requests;
        size_t percents; // one after each chunk without a version, the last excepted
        uint32_t firstAddress;
    } cases[] = {
        {"chunk 0, linear start", "STM32f205rg", false, true, 0x08010000 + 10, "1.2.3", "1.2.3", 1, 0, 0x08010000},
        {"chunk 5, file/record start", "ATMEGA1281", false, false, 5 * 256 + 100, "4.5", "4.5", 6, 5, 0},
        {"marker across two chunks", "STM32f205rg", false, false, 0x08010000 + 3 * 1024 - 5, "2.0.1", "2.0.1", 4, 3,
         0x08010000},
        {"version across two chunks", "STM32f205rg", false, false, 0x08010000 + 2 * 1024 - 14, "12.34", "12.34", 3, 1,
         0x08010000},
        {"marker at a chunk's end, version in the next", "ATMEGA128", false, true, 256 - 12, "v7", "v7", 2, 0, 0},
        {"read mode takes any text", "AVR32-256", false, true, 0x80006000 + 300, "3.4-rc", "3.4-rc", 2, 1, 0x80006000},
        {"write mode takes digits and dots", "AVR32-256", false, false, 0x80006000 + 300, "3.4-rc", "3.4", 2, 1,
         0x80006000},
        {"write mode, no digits", "STM32f205rg", false, false, 0x08010000 + 10, "abc", "", 64, 63, 0x08010000},
        {"absent", "ATMEGA1281", false, true, 0x20000, "1.0", "", 256, 255, 0},
        {"EEPROM", "ATMEGA1281", true, true, 0x234, "E1", "E1", 3, 2, 0},
        {"EEPROM, absent", "ATMEGA8", true, true, 0, "", "", 8, 7, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.chip, RigOptions().Tcp(true));
        if (!c.text.empty()) rig.memory.PlaceMarker(c.eeprom, c.marker, c.text);
        ProgressWindow window;
        rig.core->SetOperationWindow(window.hwnd);
        TBlockTransfer transfer(*rig.core);
        std::string version = "old";
        EXPECT_TRUE(transfer.FindFirmwareId(c.eeprom, c.textMode, version));
        EXPECT_EQ(version, c.version);
        const auto requests = rig.memory.Requests();
        ASSERT_EQ(requests.size(), c.requests);
        EXPECT_EQ(requests[0].address, c.firstAddress);
        for (const auto& r : requests) EXPECT_EQ(r.eeprom, c.eeprom && !rig.memory.Profile().linear);
        // The host shows the search's caption, with its bar and cancel button.
        EXPECT_EQ(window.captions, std::vector<std::string>{std::string("Поиск Firmware идентификатора в ") +
                                                            (c.eeprom ? "EEP (" : "FLASH (") + c.chip + ")"});
        EXPECT_EQ(window.percents.size(), c.percents);
        EXPECT_TRUE(rig.LogHas("Поиск Firmware идентификатора..."));
        EXPECT_FALSE(ProgressBusy());
        rig.core->SetOperationWindow(0);
    }
}

TEST(BlockTransferRig, FindFirmwareIdRefusalsAndCancel)
{
    Rig rig("STM32f205rg", RigOptions().Tcp(true));
    TBlockTransfer transfer(*rig.core);
    std::string version;
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.FindFirmwareId(true, true, version); }), "У STM32f205rg нет EEPROM");
    EXPECT_TRUE(rig.sim.Frames().empty());
    EXPECT_FALSE(ProgressBusy());

    // A cancel at the second percentage: the caller learns it, after two requests.
    ProgressWindow window;
    window.cancelAt = 2;
    rig.core->SetOperationWindow(window.hwnd);
    rig.memory.PlaceMarker(false, 0x08010000 + 10 * 1024, "9.9");
    EXPECT_FALSE(transfer.FindFirmwareId(false, true, version));
    EXPECT_EQ(version, "");
    EXPECT_EQ(rig.memory.Requests().size(), 2u);
    EXPECT_EQ(window.percents, (std::vector<int>{2, 3}));
    EXPECT_FALSE(ProgressBusy());

    // A retry during the search names the search's log line, not the host's caption.
    rig.sim.InjectFault({FaultKind::Silence, 0, 0}, 1);
    window.cancelAt = 0;
    EXPECT_TRUE(transfer.FindFirmwareId(false, true, version));
    EXPECT_EQ(version, "9.9");
    EXPECT_TRUE(rig.LogHas("Поиск Firmware идентификатора... (Повтор операции - 1)"));
    EXPECT_EQ(rig.core->LastLine(), "Поиск Firmware идентификатора...");
    rig.core->SetOperationWindow(0);
}
