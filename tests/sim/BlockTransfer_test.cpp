// The loader's block requests against the simulator on a pty: a write, its activation and
// a read back; retries with their lines; the activation's answers.

#include "loader/Chips.h"
#include "loader/LoaderConnection.h"
#include "loader/LoaderCore.h"
#include "loader/LoaderTransfer.h"
#include "loader/Modbus.h"
#include "loader/SarnupolexLib.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/Windows.h"
#include "platform/SerialPorts.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

using sim::ControllerSim;
using sim::Fault;
using sim::FaultKind;
using testsupport::Bytes;

namespace {

// A controller with linear addressing: 0x14 reads its bytes (0xFF where never written),
// 0x15 stores and echoes, 0x56 echoes.
struct LinearController {
    std::map<uint32_t, uint8_t> memory;
    bool wrongActivationEcho = false;
    std::optional<std::string> Answer(const std::string& pdu)
    {
        const auto byte = [&](size_t i) { return static_cast<uint8_t>(pdu[i]); };
        const uint32_t address = static_cast<uint32_t>(byte(4)) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7);
        const int words = byte(8) << 8 | byte(9);
        switch (byte(1)) {
        case 0x14: {
            std::string reply{pdu[0], '\x14', static_cast<char>(2 * words + 2), static_cast<char>(2 * words + 1), pdu[3]};
            for (int i = 0; i < 2 * words; ++i) {
                const auto it = memory.find(address + static_cast<uint32_t>(i));
                reply += static_cast<char>(it == memory.end() ? 0xFF : it->second);
            }
            return reply;
        }
        case 0x15:
            for (int i = 0; i < 2 * words; ++i) memory[address + static_cast<uint32_t>(i)] = byte(10 + static_cast<size_t>(i));
            return pdu;
        case 0x56: return wrongActivationEcho ? pdu.substr(0, 5) + '\x01' : pdu;
        default: return std::nullopt;
        }
    }
};

class BlockTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.SetHandler([this](const std::string& pdu) { return controller.Answer(pdu); });
        ports.emplace(platform::kComPortsVariable, "COM5=" + sim.AddPty());
        sim.Start();
        core.emplace(env.Places());
        const int stm32 = core->Chips().IndexOfName("STM32f205rg", false);
        ASSERT_GE(stm32, 0);
        core->Connection().OpenDevice("ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200;RetryCount=3;"
                                      "ControllerType=" + std::to_string(stm32));
        core->PostLogLine("Чтение");
    }
    bool LogHas(const std::string& text) const { return core->OperationLog().find(text) != std::string::npos; }

    sim::LoaderEnv env;
    std::optional<testsupport::ScopedEnv> ports;
    LinearController controller;
    ControllerSim sim;
    std::optional<TLoaderCore> core; // ends before the environment
};

} // namespace

TEST_F(BlockTransferTest, WriteActivateAndReadBack)
{
    TBlockTransfer transfer(*core);
    const uint8_t data[] = {0x01, 0x02, 0x03};
    transfer.WriteBlock(data, 0x08000005, 3, 1024, false);
    EXPECT_EQ(transfer.WriteChecksum(), 6);
    transfer.ActivateFlashSave();
    EXPECT_TRUE(LogHas("Активация сохранения переданной прошивки или параметров выполнена"));
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].bytes.substr(0, 14), Bytes("FA 15 09 00 08 00 00 05 00 02 01 02 03 00"));
    for (const auto& g : testsupport::GoldenFrames()) {
        if (g.name == "activation with checksum 0x0006") {
            EXPECT_EQ(frames[1].bytes, g.frame);
        }
    }
    const auto back = transfer.ReadBlock(0x08000004, 6, false, 1024);
    EXPECT_EQ(std::string(back.begin(), back.end()), Bytes("FF 01 02 03 00 FF"));
}

TEST_F(BlockTransferTest, RetriesAndTheirErrors)
{
    const std::string noReply = "Нет ответа от устройства при чтении блока (адрес 08004000, длина 128)";
    const struct {
        const char* name;
        Fault fault;
        int failures;
        std::string error; // empty: the read succeeds
    } cases[] = {
        {"silent", {FaultKind::Silence, 0, 0}, 3, noReply},
        {"two failures, then success", {FaultKind::Silence, 0, 0}, 2, ""},
        {"exception 2", {FaultKind::Exception, 2, 0}, 3, "Ошибка 2 при чтении MODBUS: неверный адрес данных"},
        {"exception 7", {FaultKind::Exception, 7, 0}, 3, "Ошибка 7 при чтении MODBUS"},
        {"wrong length", {FaultKind::Truncate, 40, 0}, 3,
         "Получен ответ неверного размера при чтении блока (адрес 08004000, длина 128)"},
        {"bad CRC", {FaultKind::BadCrc, 0, 0}, 3, "Ошибка CRC при чтении блока (адрес 08004000, длина 128)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBlockTransfer transfer(*core);
        const size_t before = sim.Frames().size();
        sim.InjectFault(c.fault, c.failures);
        const std::string log = core->OperationLog();
        EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ReadBlock(0x08004000, 128, false, 128); }), c.error.empty() ? "(no error)" : c.error);
        EXPECT_EQ(sim.Frames().size() - before, 3u);
        const std::string added = core->OperationLog().substr(log.size());
        EXPECT_NE(added.find("Чтение (Повтор операции - 1)"), std::string::npos);
        EXPECT_NE(added.find("Чтение (Повтор операции - 2)"), std::string::npos);
        EXPECT_EQ(added.find("Чтение (Повтор операции - 3)"), std::string::npos);
        EXPECT_EQ(added.find("Чтение (Операция чтения провалена - исчерпано число попыток)") != std::string::npos,
                  !c.error.empty());
        EXPECT_EQ(core->LastLine(), "Чтение");
        sim.ClearFaults();
    }
}

TEST_F(BlockTransferTest, WriteRetriesAndANoisyChannel)
{
    TBlockTransfer transfer(*core);
    const uint8_t data[] = {0x10, 0x20};
    sim.InjectFault({FaultKind::Exception, 9, 0}, 3);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlock(data, 0x08000000, 2, 1024, false); }),
              "Ошибка 9 при записи MODBUS: ошибка при записи ячейки памяти, повторите запись");
    EXPECT_TRUE(LogHas("Чтение (Операция записи провалена - исчерпано число попыток)"));
    EXPECT_EQ(transfer.WriteChecksum(), 0x30); // once per call, not per attempt
    sim.ClearFaults();

    // Noise on the line before and during the write: every attempt finds it.
    sim.SetNoise(20000);
    ASSERT_TRUE(sim.WaitFor(
        [&] {
            size_t sent = 0;
            for (const auto& t : sim.Traffic()) sent += t.sent ? t.bytes.size() : 0;
            return sent >= 300;
        },
        2000));
    const size_t before = sim.Frames().size();
    const size_t logged = core->OperationLog().size();
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.WriteBlock(data, 0x08000000, 2, 1024, false); }), "Канал связи не пуст");
    sim.SetNoise(0);
    EXPECT_EQ(sim.Frames().size(), before); // no request went out
    const std::string added = core->OperationLog().substr(logged);
    size_t full = 0;
    for (size_t at = added.find("Канал связи не пуст"); at != std::string::npos; at = added.find("Канал связи не пуст", at + 1))
        ++full;
    EXPECT_EQ(full, 3u);
}

TEST_F(BlockTransferTest, ActivationAnswers)
{
    const struct {
        const char* name;
        std::optional<Fault> fault;
        bool wrongEcho;
        std::string error;
    } cases[] = {
        {"one leading garbage byte", Fault{FaultKind::Noise, 1, 0}, false, "(no error)"},
        {"five bytes", Fault{FaultKind::Truncate, 5, 0}, false,
         "Неверный ответ при попытке попытке активации сохранения (длина 5 байт)"},
        {"bad CRC", Fault{FaultKind::BadCrc, 0, 0}, false, "Ошибка CRC MODBUS"},
        {"silence", Fault{FaultKind::Silence, 0, 0}, false,
         "Нет ответа при попытке активации сохранения переданной прошивки или параметров"},
        {"another checksum", std::nullopt, true,
         "Ошибка ответа при активации сохранения переданной прошивки или параметров"},
    };
    core->Connection().Chip()->FixedWriteTimeOut = 300; // the wait of a short answer
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TBlockTransfer transfer(*core);
        if (c.fault) sim.InjectFault(*c.fault);
        controller.wrongActivationEcho = c.wrongEcho;
        EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ActivateFlashSave(); }), c.error);
        sim.ClearFaults();
    }
}

namespace {

// The operation window: records the percentages and cancels at the k-th (0: never).
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

// Blocks with gaps, an unaligned start, two blocks in one chunk, a block across two
// chunks and a block inside an earlier, longer one: the written chunks hold the blocks
// and 0xFF elsewhere, untouched chunks stay unwritten, and a read gives the bytes back
// with one request per chunk.
TEST_F(BlockTransferTest, WriteBlocksAndReadThemBack)
{
    ProgressWindow window;
    core->SetOperationWindow(window.hwnd);
    Blocks blocks;
    const struct {
        uint32_t address;
        int32_t size;
    } layout[] = {{0x08000005, 3}, {0x08000100, 40}, {0x080007C0, 100}, {0x08002000, 300}, {0x08002010, 8}};
    uint8_t value = 1;
    for (const auto& b : layout) {
        TMemoryBlock& block = blocks.Add(b.address, b.size);
        for (int32_t i = 0; i < b.size; ++i) block.Data()[i] = value++;
    }
    TBlockTransfer transfer(*core);
    ASSERT_TRUE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    EXPECT_EQ(window.captions, std::vector<std::string>{"Запись"});
    // Chunks 0, 1, 2 and 8 of 9 (0x08000000 to 0x0800212C).
    EXPECT_EQ(window.percents, (std::vector<int>{11, 22, 33, 100}));
    std::map<uint32_t, uint8_t> expected;
    for (uint32_t chunk : {0x08000000u, 0x08000400u, 0x08000800u, 0x08002000u})
        for (uint32_t i = 0; i < 1024; ++i) expected[chunk + i] = 0xFF;
    for (int i = 0; i < blocks.list.Count(); ++i)
        for (int32_t k = 0; k < blocks.list.Block(i)->Size; ++k)
            expected[blocks.list.Block(i)->Address + static_cast<uint32_t>(k)] = blocks.list.Block(i)->Data()[k];
    EXPECT_EQ(controller.memory, expected);
    uint16_t sum = 0;
    for (const auto& [address, byte] : expected) sum = static_cast<uint16_t>(sum + byte);
    EXPECT_EQ(transfer.WriteChecksum(), sum);

    Blocks back;
    for (const auto& b : layout) back.Add(b.address, b.size);
    const size_t before = sim.Frames().size();
    window.percents.clear();
    ASSERT_TRUE(transfer.ReadBlocks(back.list, "Чтение блоков"));
    // Chunks 0 (shared by two blocks), 1, 2 and 8 (shared by the outer and inner block).
    EXPECT_EQ(sim.Frames().size() - before, 4u);
    for (int i = 0; i < back.list.Count(); ++i)
        for (int32_t k = 0; k < back.list.Block(i)->Size; ++k)
            EXPECT_EQ(back.list.Block(i)->Data()[k], expected[back.list.Block(i)->Address + static_cast<uint32_t>(k)]);
    ASSERT_FALSE(window.percents.empty());
    EXPECT_EQ(window.percents.back(), 100);
    EXPECT_EQ(window.percents.front(), 100); // absolute addresses far above the blocks' span

    // A cancel at the second percentage: false, and no request after it.
    window.cancelAt = 2;
    window.percents.clear();
    const size_t beforeCancel = sim.Frames().size();
    EXPECT_FALSE(transfer.WriteBlocks(blocks.list, 0, "Запись"));
    EXPECT_EQ(sim.Frames().size() - beforeCancel, 2u);
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
    EXPECT_TRUE(sim.Frames().empty());
}

// A stored RetryCount below 1 makes one attempt.
TEST_F(BlockTransferTest, RetryCountZeroMakesOneAttempt)
{
    const int stm32 = core->Chips().IndexOfName("STM32f205rg", false);
    core->Connection().CloseDevice();
    core->Connection().OpenDevice("ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200;RetryCount=0;"
                                  "ControllerType=" + std::to_string(stm32));
    TBlockTransfer transfer(*core);
    sim.InjectFault({FaultKind::Silence, 0, 0}, 2);
    EXPECT_EQ(testsupport::ErrorOf([&] { transfer.ReadBlock(0x08004000, 128, false, 128); }),
              "Нет ответа от устройства при чтении блока (адрес 08004000, длина 128)");
    EXPECT_EQ(sim.Frames().size(), 1u);
    EXPECT_EQ(core->OperationLog().find("Повтор операции"), std::string::npos);
}
