// The work behind the library's entry points, in process: the catalogue, the device
// choice, Invoke3's dispatch with its refusals, error box and log file, the settings
// operation on the host's list, and the quick send and direct I/O on a pseudo-terminal
// mapped as a COM port.

#include "loader/dialogs/FParam.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/LoaderExports.h"
#include "loader/ops/DeviceSession.h"
#include "loader/SarnupolexLib.h"
#include "common/StrRoutines.h"
#include "model/Memory.h"
#include "tests/sim/LoaderEnv.h"
#include "platform/CodePages.h"
#include "platform/ErrorDisplay.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/loader/SettingsOperation.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using platform::FormModel;
using platform::MsgResult;
using testsupport::Bytes;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

constexpr uint32_t kHostWindow = 0x1234;

// What the device got, waiting for the library to open the port and write want bytes
// (the master side reads nothing while no one holds the slave open).
std::string AwaitRequest(const testsupport::Pty& pty, size_t want)
{
    std::string got;
    testsupport::WaitUntil([&] {
        got += pty.Receive(want - got.size(), 100);
        return got.size() >= want;
    });
    return got;
}

// The core's folder, registry and runtime folder are the test's own (LoaderEnv).
class LoaderExportsTest : public ::testing::Test, protected sim::LoaderEnv {
protected:
    LoaderExportsTest()
    {
        core = std::make_unique<TLoaderCore>(Places());
        core->LibraryAttach();
    }

    void Devices(const std::string& text)
    {
        WriteFile(core->WorkingDeviceListFileName(), text);
    }
    void MapPort(const std::string& com, const std::string& path)
    {
        ports.reset();
        ports.emplace(platform::kComPortsVariable, com + "=" + path);
    }
    // Invoke3 with the settings dialog of the scripted service.
    int32_t Invoke(int32_t op, int32_t device = 0, TBlockList** result = nullptr)
    {
        TInvokeRequest request;
        request.Op = op;
        request.Device = device;
        request.Scheme = "Zumo2Cfg";
        request.Result = result;
        request.HostWindow = kHostWindow;
        return InvokeOperation(*core, request, [](TLoaderCore& c, std::vector<std::string>& devices, int& index) {
            return EditConnectionSettings(TParamEnvironment::ForCore(c), nullptr, devices, index);
        });
    }

    std::optional<testsupport::ScopedEnv> ports;
    testsupport::DialogScript script;
    std::unique_ptr<TLoaderCore> core;
};

// ---------------------------------------------------------------------------------
// Catalogue and device choice

TEST(OperationCatalogue, MatchesTheGoldenTextAndItsCodes)
{
    const std::string text = OperationCatalogue();
    EXPECT_EQ(text.size(), 511u);
    EXPECT_EQ(text, ReadFile(fs::path(MIRVAK_SOURCE_DIR) / "tests/loader/data/OperationCatalogue.1251.txt"));
    EXPECT_EQ(OperationCatalogue(), OperationCatalogue()) << "one static buffer";
    const std::vector<std::string> lines = SplitString('\n', platform::AnsiToUtf8(text));
    std::vector<int> codes;
    for (const std::string& line : lines) codes.push_back(std::stoi(GetParam(line, "OPCode")));
    EXPECT_EQ(codes, (std::vector<int>{0, -1, 1, 2, -1, 13, 9, 12, -1, 10, 11, -1, 14}));
    EXPECT_EQ(lines.front(), "OPCode=0; Caption=Настройки подключения");
    EXPECT_EQ(lines.back(), "OPCode=14; Caption=Быстрая отправка");
}

TEST(DeviceLineByIndex, PicksALineOrNamesTheFault)
{
    const std::vector<std::string> lines = {"Name=A", "Name=B"};
    EXPECT_EQ(DeviceLineByIndex(lines, 1), "Name=B");
    struct Case {
        int32_t index;
        const char* error;
    };
    for (const Case& c : {Case{-1, kNoConnectionSelected}, Case{-2, kConnectionUndefined},
                          Case{2, kConnectionUndefined}, Case{7, kConnectionUndefined},
                          Case{INT32_MIN, kConnectionUndefined}})
        EXPECT_EQ(testsupport::ErrorOf([&] { DeviceLineByIndex(lines, c.index); }), c.error) << c.index;
    EXPECT_EQ(testsupport::ErrorOf([] { DeviceLineByIndex({}, 0); }), kConnectionUndefined);
}

// ---------------------------------------------------------------------------------
// Invoke3

TEST_F(LoaderExportsTest, RefusesUnknownOperationsWithOneErrorBox)
{
    for (int32_t op : {-1, 3, 8, 14, 20, INT32_MIN, INT32_MAX}) {
        script.Reset();
        WriteFile(core->LogFileName(), "marker");
        script->PushAnswer(MsgResult::OK);
        EXPECT_EQ(Invoke(op), 0) << op;
        const auto records = script->Records();
        ASSERT_EQ(records.size(), 1u) << op;
        EXPECT_EQ(records[0].box.text, "Операция с кодом " + std::to_string(op) + " не поддерживается");
        EXPECT_EQ(records[0].box.caption, "Ошибка");
        EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Error);
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::OK);
        EXPECT_EQ(records[0].owner, kHostWindow);
        EXPECT_EQ(core->OperationWindow(), kHostWindow);
        // The marker is gone: the file holds the operation log, when that has lines.
        if (core->OperationLog().empty())
            EXPECT_FALSE(fs::exists(core->LogFileName())) << op;
        else
            EXPECT_EQ(ReadFile(core->LogFileName()), core->OperationLog()) << op;
    }
}

TEST_F(LoaderExportsTest, ADirectoryInThePlaceOfTheLogEndsNothing)
{
    fs::create_directories(core->LogFileName() / "inner");
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(20), 0);
    EXPECT_TRUE(fs::is_directory(core->LogFileName() / "inner"));
    EXPECT_EQ(script->Records().size(), 1u);
}

// ---------------------------------------------------------------------------------
// The settings operation

TEST_F(LoaderExportsTest, SettingsOkRenamesAndReturnsTheSelectedIndex)
{
    Devices("Name=A;ioType=iotSerial\nName=B;ioType=iotSerial\nName=C;ioType=iotSerial");
    WriteFile(core->LogFileName(), "kept");
    const settingsop::TRenameCase rename = {1, 2, "Новый"};
    settingsop::PushRename(script, rename);
    ASSERT_NO_FATAL_FAILURE(settingsop::ExpectSelected(
        [this](int32_t op, int32_t device, TBlockList** result) { return Invoke(op, device, result); }, rename));
    ASSERT_NO_FATAL_FAILURE(settingsop::ExpectRenamed(core->DeviceLines(), 3, rename));
    EXPECT_TRUE(core->SessionChanged());
    EXPECT_EQ(ReadFile(core->LogFileName()).rfind("kept", 0), 0u) << "op 0 keeps the log file";
}

TEST_F(LoaderExportsTest, SettingsCancelLeavesTheListAndTheDevices)
{
    Devices("Name=A\nName=B");
    const std::string before = ReadFile(core->WorkingDeviceListFileName());
    script->PushForm([](FormModel&) { return MsgResult::Cancel; });
    TBlockList list;
    list.AddInteger(7);
    TBlockList* host = &list;
    EXPECT_EQ(Invoke(opSettings, 0, &host), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ReadFile(core->WorkingDeviceListFileName()), before);
    EXPECT_FALSE(core->SessionChanged());
}

TEST_F(LoaderExportsTest, SettingsWithoutAHostList)
{
    Devices("Name=A");
    for (bool nullResult : {true, false}) {
        script->PushForm([](FormModel&) { return MsgResult::OK; });
        TBlockList* none = nullptr;
        EXPECT_EQ(Invoke(opSettings, 0, nullResult ? nullptr : &none), -1);
    }
    EXPECT_EQ(script->Records().size(), 2u);
}

// ---------------------------------------------------------------------------------
// QuickSend and the direct I/O

TEST_F(LoaderExportsTest, DeviceChoiceErrorsReachTheLastErrorText)
{
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    struct Case {
        int32_t device;
        const char* error;
    };
    char buffer[4];
    for (const Case& c : {Case{-1, kNoConnectionSelected}, Case{-2, kConnectionUndefined},
                          Case{1, kConnectionUndefined}, Case{6, kConnectionUndefined}}) {
        EXPECT_EQ(QuickSendText(*core, c.device, "AT"), 0) << c.device;
        EXPECT_EQ(platform::LastErrorText(), c.error) << c.device;
        platform::SetLastErrorText({});
        EXPECT_EQ(DeviceIORead(*core, c.device, buffer, 4), -1) << c.device;
        EXPECT_EQ(platform::LastErrorText(), c.error) << c.device;
    }
    Devices("");
    EXPECT_EQ(DeviceIOWrite(*core, 0, buffer, 4), -1);
    EXPECT_EQ(platform::LastErrorText(), kConnectionUndefined);
}

TEST_F(LoaderExportsTest, NullPointersFailWithoutACrash)
{
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    EXPECT_EQ(QuickSendText(*core, 0, nullptr), 0);
    EXPECT_EQ(platform::LastErrorText(), kNoDataBuffer);
    EXPECT_EQ(DeviceIORead(*core, 0, nullptr, 4), -1);
    EXPECT_EQ(platform::LastErrorText(), kNoDataBuffer);
    EXPECT_EQ(DeviceIOWriteRead(*core, 0, nullptr, 0, 0, 0, 100), -1);
    EXPECT_EQ(platform::LastErrorText(), kNoDataBuffer);
    char buffer[4];
    EXPECT_EQ(DeviceIOWrite(*core, 0, buffer, -1), -1);
    EXPECT_EQ(platform::LastErrorText(), "Неверная длина данных: -1");
}

TEST_F(LoaderExportsTest, QuickSendWritesTheHostBytesAndCrLf)
{
    testsupport::Pty pty;
    MapPort("COM7", pty.slave);
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    EXPECT_EQ(QuickSendText(*core, 0, "AT"), 1);
    EXPECT_EQ(pty.Receive(4), Bytes("41 54 0D 0A"));
    const std::string hello = platform::Utf8ToAnsi("Привет");
    EXPECT_EQ(QuickSendText(*core, 0, hello.c_str()), 1);
    EXPECT_EQ(pty.Receive(8), Bytes("CF F0 E8 E2 E5 F2 0D 0A"));
    EXPECT_EQ(core->Connection().Device(), nullptr) << "closed after the call";
    EXPECT_NE(core->OperationLog().find("Установка соединения COM7(57600)"), std::string::npos);
}

TEST_F(LoaderExportsTest, QuickSendToAMissingPortGivesTheTransportText)
{
    MapPort("COM7", (dir / "no-such-tty").string());
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    EXPECT_EQ(QuickSendText(*core, 0, "AT"), 0);
    EXPECT_FALSE(platform::LastErrorText().empty());
    EXPECT_NE(platform::LastErrorText(), kConnectionUndefined);
    EXPECT_EQ(core->Connection().Device(), nullptr);
}

// An operation on a port that is not there: one error box with the system's reason in
// Russian and the hint that the port may be busy.
TEST_F(LoaderExportsTest, AMissingPortsBoxGivesTheReasonInRussian)
{
    MapPort("COM7", (dir / "no-such-tty").string());
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(opReadFlash), 0);
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "Нет такого файла или каталога\rВозможно порт занят");
    EXPECT_EQ(records[0].box.caption, "Ошибка");
}

TEST_F(LoaderExportsTest, ReadAndWriteRoundTrip)
{
    testsupport::Pty pty;
    MapPort("COM7", pty.slave);
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7");
    EXPECT_EQ(DeviceIOWrite(*core, 0, "ping", 4), 4);
    EXPECT_EQ(pty.Receive(4), "ping");
    // The port is open only during the call: the peer keeps sending until a read gets bytes.
    std::atomic<bool> done{false};
    std::thread peer([&] {
        while (!done) {
            pty.Send("pppp");
            platform::Sleep(5);
        }
    });
    char buffer[8] = {};
    int32_t got = 0;
    for (int i = 0; i < 100 && got == 0; ++i) got = DeviceIORead(*core, 0, buffer, 4);
    done = true;
    peer.join();
    ASSERT_GT(got, 0);
    EXPECT_LE(got, 4);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), std::string(static_cast<size_t>(got), 'p'));
    pty.Receive(100000, 100);

    // Idle 0: one read's count.
    std::thread answer([&] {
        EXPECT_EQ(AwaitRequest(pty, 2), "hi");
        pty.Send("abc");
    });
    char io[16] = {'h', 'i'};
    const int32_t n = DeviceIOWriteRead(*core, 0, io, 2, 3, 200, 0);
    answer.join();
    EXPECT_EQ(std::string(io, static_cast<size_t>(std::max(n, 0))), std::string("abc").substr(0, std::max(n, 0)));
    EXPECT_GE(n, 1);
}

TEST_F(LoaderExportsTest, IdleReadStopsAtTheLimitOrAfterSilence)
{
    testsupport::Pty pty;
    MapPort("COM7", pty.slave);
    Devices("Name=A;ioType=iotSerial;SerialComNumber=7;SerialBaudRate=115200");
    // The silence that ends a read: far from the peer's gaps, so that a busy machine's
    // peer keeps to them.
    constexpr int32_t kIdleMs = 1000;
    {
        // 40000 bytes without a gap: exactly the limit, into a buffer of exactly that size.
        // The peer answers the request, so the port is open when the stream starts.
        std::thread stream([&] {
            EXPECT_EQ(AwaitRequest(pty, 2), "go");
            pty.Send(std::string(40000, 'x'));
        });
        std::vector<uint8_t> buffer(kIOWriteReadIdleLimit);
        buffer[0] = 'g';
        buffer[1] = 'o';
        EXPECT_EQ(DeviceIOWriteRead(*core, 0, buffer.data(), 2, 1, 0, kIdleMs), kIOWriteReadIdleLimit);
        stream.join();
        pty.Receive(100000, 200); // the rest
    }
    struct Case {
        int gapMs;
        std::string expected;
    };
    for (const Case& c : {Case{50, "onetwo"}, Case{2500, "one"}}) {
        std::thread bursts([&] {
            EXPECT_EQ(AwaitRequest(pty, 2), "go");
            pty.Send("one");
            platform::Sleep(static_cast<uint32_t>(c.gapMs));
            pty.Send("two");
        });
        std::vector<uint8_t> buffer(kIOWriteReadIdleLimit);
        buffer[0] = 'g';
        buffer[1] = 'o';
        const int32_t n = DeviceIOWriteRead(*core, 0, buffer.data(), 2, 1, 0, kIdleMs);
        bursts.join();
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + std::max(n, 0)), c.expected) << c.gapMs;
    }
}

} // namespace
