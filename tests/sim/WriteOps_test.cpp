// The write operations end to end, dispatched as Invoke3 dispatches them, against the
// simulated controller over TCP and a pty, and against tftpd-hpa for a TFTP device: the
// parameters at the base address with the version question, firmware files made by
// srecord, firmware with parameters, the chosen file across a reload of the library,
// and the TFTP path.

#include "loader/core/LoaderCore.h"
#include "loader/ops/LoaderExports.h"
#include "loader/protocol/LoaderTftp.h"
#include "loader/ops/LoaderWrite.h"
#include "loader/SarnupolexLib.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/Format.h"
#include "platform/SerialPorts.h"
#include "platform/Windows.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/sim/SimMemory.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TestText.h"
#include "tests/support/TftpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using platform::DialogKind;
using platform::MsgResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

using testsupport::RandomBytes;

// One WM_LOADER_PROGRESS as the operation window received it.
struct Progress {
    int32_t code = 0;
    int64_t value = 0;
    std::string text;
};

// The host's blocks, released at the end.
struct HostBlocks {
    ~HostBlocks()
    {
        for (int i = 0; i < list.Count(); ++i) list.Block(i)->Release();
    }
    HostBlocks& Add(uint32_t address, const std::string& bytes)
    {
        auto block = TMemoryBlock::Make(address, static_cast<int32_t>(bytes.size()));
        std::memcpy(block->Data(), bytes.data(), bytes.size());
        list.AddBlock(block.release());
        return *this;
    }
    TBlockList list;
};

struct RigOptions {
    std::string chip = "STM32f205rg";
    bool tcp = true;
    std::string address = "127.0.0.72";
    std::string extra = "Handshake=0";
    bool controllerType = true; // the device line names the chip
};

// A loader core whose device 0 is the simulated controller, with its operation window
// on this thread, a scripted dialog service and the simulator's memory behind it.
class WriteRig {
public:
    explicit WriteRig(const RigOptions& options = {})
        : options_(options), memory(*sim::FindChipProfile(options.chip))
    {
        sim.SetHandler([this](const std::string& pdu) { return memory.Answer(pdu); });
        if (options.tcp) {
            connection = "ioType=iotTCP;TCPIP=" + options.address +
                         ";TCPPort=" + std::to_string(sim.AddTcp(options.address));
        } else {
            ports.emplace(platform::kComPortsVariable, "COM5=" + sim.AddPty());
            connection = "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200";
        }
        sim.AddModemReset(options.address);
        sim.Start();
        window = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
                if (msg != platform::WM_LOADER_PROGRESS) return platform::LRESULT{0};
                Progress p{static_cast<int32_t>(wParam), static_cast<int64_t>(lParam), {}};
                if (p.code == PROGRESS_CAPTION || p.code == PROGRESS_TEXT) {
                    platform::GetAtomName(static_cast<platform::ATOM>(lParam), p.text);
                    platform::DeleteAtom(static_cast<platform::ATOM>(lParam));
                }
                progress.push_back(p);
                if (p.code != PROGRESS_PERCENT) return platform::LRESULT{0};
                ++percents;
                return platform::LRESULT{cancelAt != 0 && percents >= cancelAt ? 1 : 0};
            },
            queue);
        Start();
    }
    ~WriteRig()
    {
        core.reset();
        platform::UnregisterWindow(window);
        sim.Stop();
        for (const std::string& error : memory.ProtocolErrors()) ADD_FAILURE() << "protocol error: " << error;
    }

    // A new core, as a new load of the library; the previous one is unloaded first.
    void Start()
    {
        if (core) {
            core->LibraryDetach();
            core.reset();
        }
        core.emplace(env.Places());
        core->LibraryAttach();
        const int chip = core->Chips().IndexOfName(options_.chip, false);
        EXPECT_GE(chip, 0);
        core->SaveDeviceList("", {"Name=Контроллер;" + connection + ";" + options_.extra +
                                  (options_.controllerType ? ";ControllerType=" + std::to_string(chip) : "")});
    }

    int32_t Invoke(int32_t op, const TBlockList* blocks = nullptr, uint32_t base = 0)
    {
        progress.clear();
        percents = 0;
        TInvokeRequest request;
        request.Op = op;
        request.Device = 0;
        request.Scheme = "Zumo2Cfg";
        request.Blocks = const_cast<TBlockList*>(blocks);
        request.HostWindow = window;
        request.BaseAddress = base;
        return InvokeOperation(*core, request, {});
    }
    void ChooseFile(const fs::path& file)
    {
        core->OpenDialogSettings()->WriteString("WriteOpenDialogFLASH", "FileName", file.string());
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Progress& p : progress)
            if (p.code == PROGRESS_TEXT) texts.push_back(p.text);
        return texts;
    }
    bool HasText(const std::string& text) const
    {
        const auto texts = Texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::vector<int64_t> Percents() const
    {
        std::vector<int64_t> values;
        for (const Progress& p : progress)
            if (p.code == PROGRESS_PERCENT) values.push_back(p.value);
        return values;
    }
    // OP_BEGIN came first and OP_END last.
    void ExpectBracketed() const
    {
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.front().code, PROGRESS_OP_BEGIN);
        EXPECT_EQ(progress.back().code, PROGRESS_OP_END);
    }
    size_t RequestsOf(uint8_t function) const
    {
        size_t n = 0;
        for (const auto& f : sim.Frames()) n += static_cast<uint8_t>(f.bytes[1]) == function ? 1 : 0;
        return n;
    }
    bool Connected() const
    {
        for (const auto& e : sim.Events())
            if (e.find("accept") != std::string::npos) return true;
        return !sim.Traffic().empty();
    }

    RigOptions options_;
    sim::LoaderEnv env;
    std::optional<testsupport::ScopedEnv> ports;
    sim::SimMemory memory;
    sim::ControllerSim sim;
    std::string connection;
    testsupport::DialogScript dialogs;
    platform::MessageQueue queue;
    platform::HWND window = 0;
    std::vector<Progress> progress;
    int percents = 0;
    int cancelAt = 0;
    std::optional<TLoaderCore> core; // ends before the environment
};

constexpr uint32_t kBase = 0x080C0000;

// Parameter blocks of a document: the scheme text in the first one.
void AddParams(HostBlocks& blocks, const std::string& version)
{
    blocks.Add(0x400, RandomBytes(100, 3));
    blocks.Add(0x10, "Scheme ID:" + version + std::string(1, '\0') + RandomBytes(20, 2));
}

} // namespace

TEST(WriteParams, BlocksGoToTheBaseAndAreActivated)
{
    WriteRig rig;
    rig.memory.PlaceMarker(false, 0x08010400, "3.1.7");
    HostBlocks blocks;
    AddParams(blocks, "3.1");
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteParams, &blocks.list, kBase), -1);
    rig.ExpectBracketed();
    const auto records = rig.dialogs->Records();
    ASSERT_EQ(records.size(), 1u) << "no version question";
    EXPECT_EQ(records[0].box.text, "Подтвердите операцию записи параметров\nУстройство: Контроллер\nсоединение: tcp:" +
                                       rig.options_.address + ":" + rig.connection.substr(rig.connection.rfind('=') + 1));
    EXPECT_EQ(records[0].box.caption, "Предупреждение");
    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Warning);
    // The FixedWrite chip commits only after an activation whose checksum agrees.
    std::map<uint32_t, uint8_t> expected;
    for (int i = 0; i < blocks.list.Count(); ++i) { // 0xFF in the rest of each chunk written
        const TMemoryBlock* b = blocks.list.Block(i);
        const uint32_t chunk = (kBase + b->Address) / 1024 * 1024;
        for (uint32_t a = chunk; a < chunk + 1024; ++a) expected[a] = 0xFF;
    }
    for (int i = 0; i < blocks.list.Count(); ++i) {
        const TMemoryBlock* b = blocks.list.Block(i);
        for (int k = 0; k < b->Size; ++k) expected[kBase + b->Address + k] = b->Data()[k];
    }
    auto committed = rig.memory.Committed(false);
    for (auto it = committed.begin(); it != committed.end();)
        it = it->first >= 0x08010400 && it->first < 0x08010500 ? committed.erase(it) : std::next(it);
    EXPECT_EQ(committed, expected);
    EXPECT_EQ(rig.RequestsOf(0x56), 1u);
    for (const char* line : {"#Версия: 3.1.7", "Запись параметров...", "Параметры загружены", "Параметры записаны"})
        EXPECT_TRUE(rig.HasText(line)) << line;
    EXPECT_TRUE(rig.core->OperationLog().find("Активация сохранения переданной прошивки или параметров выполнена") !=
                std::string::npos);
}

TEST(WriteParams, VersionQuestionNoStopsYesWrites)
{
    WriteRig rig;
    rig.memory.PlaceMarker(false, 0x08010400, "3.2");
    HostBlocks blocks;
    AddParams(blocks, "3.1");
    rig.dialogs->PushAnswer(MsgResult::OK);
    rig.dialogs->PushAnswer(MsgResult::No);
    EXPECT_EQ(rig.Invoke(opWriteParams, &blocks.list, kBase), 0);
    auto records = rig.dialogs->Records();
    ASSERT_EQ(records.size(), 2u) << "no error box after No";
    EXPECT_EQ(records[1].box.text, "Прошивка версии 3.2 параметры версии 3.1. Продолжать?");
    EXPECT_EQ(records[1].box.caption, "Внимание");
    EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Warning);
    EXPECT_EQ(records[1].box.buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(rig.RequestsOf(0x15), 0u);
    rig.ExpectBracketed();

    rig.dialogs.Reset();
    rig.dialogs->PushAnswer(MsgResult::OK);
    rig.dialogs->PushAnswer(MsgResult::Yes);
    EXPECT_EQ(rig.Invoke(opWriteParams, &blocks.list, kBase), -1);
    EXPECT_GT(rig.RequestsOf(0x15), 0u);
    EXPECT_EQ(rig.memory.Read(false, kBase + 0x10, 13), "Scheme ID:3.1");
}

TEST(WriteParams, ChipWithoutVersionSearchAsksNothing)
{
    RigOptions options;
    options.chip = "ATMEGA16";
    options.tcp = false;
    WriteRig rig(options);
    HostBlocks blocks;
    blocks.Add(0x10, std::string("Scheme ID:9.9") + '\0');
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteParams, &blocks.list, 0x100), -1);
    EXPECT_EQ(rig.RequestsOf(0x14), 0u);
    EXPECT_EQ(rig.dialogs->Records().size(), 1u);
    EXPECT_EQ(rig.memory.Read(false, 0x110, 13), "Scheme ID:9.9");
}

TEST(WriteParams, CancelledSearchWritesNothing)
{
    WriteRig rig;
    HostBlocks blocks;
    AddParams(blocks, "3.1");
    // The host cancels at the first percentage of the version search.
    rig.cancelAt = 1;
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteParams, &blocks.list, kBase), 0);
    EXPECT_EQ(rig.dialogs->Records().size(), 1u) << "neither question nor error box";
    EXPECT_GT(rig.RequestsOf(0x14), 0u);
    EXPECT_EQ(rig.RequestsOf(0x15), 0u);
    rig.ExpectBracketed();
}

TEST(WriteParams, CancelledConfirmationOpensNothing)
{
    HostBlocks blocks;
    AddParams(blocks, "3.1");
    WriteRig fresh;
    fresh.dialogs->PushAnswer(MsgResult::Cancel);
    EXPECT_EQ(fresh.Invoke(opWriteParams, &blocks.list, kBase), 0);
    EXPECT_FALSE(fresh.Connected());
    fresh.ExpectBracketed();
}

namespace {

// A firmware made by srecord from a random binary at the address.
struct Firmware {
    Firmware(const fs::path& folder, const std::string& name, uint32_t address, size_t size)
        : bin(RandomBytes(size, static_cast<unsigned>(size))), hex(folder / name)
    {
        WriteFile(folder / "fw.bin", bin);
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%08X", address);
        const std::string command = "srec_cat '" + (folder / "fw.bin").string() + "' -binary -offset " + offset +
                                    " -o '" + hex.string() + "' -intel";
        EXPECT_EQ(testsupport::RunCommand(command), 0) << command;
    }
    std::string bin;
    fs::path hex;
};

// One Intel HEX record with its checksum.
std::string HexRecord(uint8_t type, uint16_t address, const std::string& data)
{
    std::string bytes;
    bytes += static_cast<char>(data.size());
    bytes += static_cast<char>(address >> 8);
    bytes += static_cast<char>(address & 0xFF);
    bytes += static_cast<char>(type);
    bytes += data;
    uint8_t sum = 0;
    for (const char c : bytes) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    bytes += static_cast<char>(-sum);
    std::string line = ":";
    for (const char c : bytes) line += platform::Format("%.2X", static_cast<uint8_t>(c));
    return line + "\n";
}

std::string UpperAddress(uint16_t high) { return HexRecord(4, 0, std::string{static_cast<char>(high >> 8), static_cast<char>(high & 0xFF)}); }

const std::string kEndRecord = ":00000001FF\n";

} // namespace

TEST(WriteFirmwareOp, SrecordFilesOfEveryExtensionAreWritten)
{
    WriteRig rig;
    testsupport::TempDir folder;
    for (const char* name : {"fw.hex", "fw.a90", "fw.a82", "FW.A90"}) {
        SCOPED_TRACE(name);
        Firmware fw(folder.path(), name, 0x08010000, 5000 + std::strlen(name));
        rig.ChooseFile(fw.hex);
        rig.dialogs.Reset();
        rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(rig.Invoke(opWriteFirmware), -1);
        const auto records = rig.dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text.substr(records[0].box.text.rfind('\n') + 1), fw.hex.string());
        EXPECT_EQ(rig.memory.Read(false, 0x08010000, fw.bin.size()), fw.bin);
        EXPECT_TRUE(rig.HasText("Чтение файла: " + fw.hex.string()));
        EXPECT_TRUE(rig.HasText("Загрузка прошивки \"" + fw.hex.string() + "\""));
        EXPECT_TRUE(rig.HasText("Запись прошивки."));
        EXPECT_TRUE(rig.HasText("Прошивка записана"));
        rig.ExpectBracketed();
    }
    // srecord's own reading of the last file gives the simulator's bytes.
    const fs::path hex = folder / "FW.A90";
    const fs::path back = folder / "back.bin";
    ASSERT_EQ(testsupport::RunCommand("srec_cat '" + hex.string() + "' -intel -offset -0x08010000 -o '" +
                                      back.string() + "' -binary"),
              0);
    const std::string bytes = ReadFile(back);
    EXPECT_EQ(rig.memory.Read(false, 0x08010000, bytes.size()), bytes);
}

TEST(WriteFirmwareOp, OverlappingAndFarApartRecords)
{
    WriteRig rig;
    testsupport::TempDir folder;
    // Two records over the same bytes, the second one wins as written later.
    const fs::path overlap = folder / "overlap.hex";
    WriteFile(overlap, UpperAddress(0x0801) + HexRecord(0, 0, testsupport::Bytes("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF")) +
                           HexRecord(0, 8, testsupport::Bytes("A1 A2 A3 A4 A5 A6 A7 A8")) + kEndRecord);
    rig.ChooseFile(overlap);
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteFirmware), -1);
    EXPECT_EQ(rig.memory.Read(false, 0x08010000, 16), testsupport::Bytes("00 11 22 33 44 55 66 77 A1 A2 A3 A4 A5 A6 A7 A8"));

    // Records 15 MiB apart: two chunks written, nothing between them.
    const fs::path far = folder / "far.hex";
    WriteFile(far, UpperAddress(0x0801) + HexRecord(0, 0, testsupport::Bytes("DE AD BE EF")) + UpperAddress(0x08FF) +
                       HexRecord(0, 0, testsupport::Bytes("CA FE BA BE")) + kEndRecord);
    rig.ChooseFile(far);
    rig.dialogs.Reset();
    rig.dialogs->PushAnswer(MsgResult::OK);
    const size_t before = rig.RequestsOf(0x15);
    EXPECT_EQ(rig.Invoke(opWriteFirmware), -1);
    EXPECT_EQ(rig.RequestsOf(0x15) - before, 2u);
    EXPECT_EQ(rig.memory.Read(false, 0x08010000, 4), "\xDE\xAD\xBE\xEF");
    EXPECT_EQ(rig.memory.Read(false, 0x08FF0000, 4), "\xCA\xFE\xBA\xBE");
    EXPECT_EQ(rig.memory.Read(false, 0x08010400, 1), "\xFF");
}

TEST(WriteFirmwareOp, BadFilesAndMissingChoice)
{
    WriteRig rig;
    testsupport::TempDir folder;
    const fs::path text = folder / "notes.a90";
    WriteFile(text, ":это не Intel HEX\n");
    std::string readerError;
    try {
        TMemory image;
        image.LoadFromHexFile(text);
    } catch (const std::exception& e) {
        readerError = e.what();
    }
    ASSERT_FALSE(readerError.empty());
    const fs::path empty = folder / "empty.hex";
    WriteFile(empty, kEndRecord);
    for (const auto& [file, error] : {std::pair{text, readerError}, std::pair{empty, std::string("В файле прошивки нет блоков данных")}}) {
        rig.ChooseFile(file);
        rig.dialogs.Reset();
        rig.dialogs->PushAnswer(MsgResult::OK);
        rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(rig.Invoke(opWriteFirmware), 0);
        const auto records = rig.dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].box.text, error);
        EXPECT_EQ(records[1].box.caption, "Ошибка");
        rig.ExpectBracketed();
    }
    EXPECT_EQ(rig.RequestsOf(0x15), 0u);
}

TEST(WriteFirmwareOp, MissingFileOrNoChoiceOpensNothing)
{
    testsupport::TempDir folder;
    WriteRig fresh;
    fresh.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(fresh.Invoke(opWriteFirmware), 0);
    fresh.ChooseFile(folder / "gone.hex");
    fresh.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(fresh.Invoke(opWriteFirmware), 0);
    const auto records = fresh.dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].box.text, "Файл не найден");
    EXPECT_EQ(records[1].box.text, "Файл \"" + (folder / "gone.hex").string() + "\" не найден");
    EXPECT_EQ(records[1].box.caption, "Ошибка");
    EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Error);
    EXPECT_FALSE(fresh.Connected());
    EXPECT_TRUE(fresh.progress.empty());
}

TEST(WriteFirmwareOp, ChosenFileSurvivesAReload)
{
    WriteRig rig;
    testsupport::TempDir folder;
    Firmware fw(folder.path(), "chosen.a90", 0x08010000, 3000);
    rig.dialogs->PushFile(fw.hex.string());
    EXPECT_EQ(rig.Invoke(opChooseFirmware), -1);
    const auto chosen = rig.dialogs->Records();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0].kind, DialogKind::FileDialog);
    EXPECT_EQ(chosen[0].file.filter, "Файлы прошивок|*.a90;*.a82;*.tcf|Hex файлы|*.hex|Exe файлы|*.exe|Все файлы|*.*");
    EXPECT_EQ(chosen[0].file.kind, platform::FileDialogKind::Open);
    EXPECT_TRUE(rig.HasText("Выбранв прошивка \"" + fw.hex.string() + "\""));
    rig.dialogs->PushFileCancel();
    EXPECT_EQ(rig.Invoke(opChooseFirmware), 0);

    rig.Start(); // unload and load again
    EXPECT_EQ(ChosenFirmwareFile(*rig.core), fw.hex.string());
    rig.dialogs.Reset();
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteFirmware), -1);
    EXPECT_EQ(rig.memory.Read(false, 0x08010000, fw.bin.size()), fw.bin);
}

TEST(WriteFirmwareAndParamsOp, OverlapIsRefusedAdjacentBlocksGoTogether)
{
    WriteRig rig;
    testsupport::TempDir folder;
    Firmware fw(folder.path(), "fw.hex", 0x08010000, 0x800);
    rig.ChooseFile(fw.hex);
    // The parameter block holds the program's last byte.
    HostBlocks touching;
    touching.Add(0x7FF, std::string(16, 'p'));
    rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(rig.Invoke(opWriteFirmwareAndParams, &touching.list, 0x08010000), 0);
    auto records = rig.dialogs->Records();
    ASSERT_EQ(records.size(), 1u) << "no confirmation";
    // srecord writes 32 bytes per record: the last record starts at 0x080107E0.
    EXPECT_EQ(records[0].box.text, "Область памяти параметров пересекается с памятью программы.\rБлок программы: адрес "
                                   "080107E0, размер 32.\rБлок параметров: адрес 080107FF, размер 16");
    EXPECT_EQ(rig.RequestsOf(0x15), 0u);
    rig.ExpectBracketed();

    HostBlocks adjacent;
    adjacent.Add(0x800, "Scheme ID:3.1");
    rig.dialogs.Reset();
    EXPECT_EQ(rig.Invoke(opWriteFirmwareAndParams, &adjacent.list, 0x08010000), -1);
    EXPECT_TRUE(rig.dialogs->Records().empty());
    EXPECT_EQ(rig.memory.Read(false, 0x08010000, 0x800 + 13), fw.bin + "Scheme ID:3.1");
    EXPECT_TRUE(rig.HasText("Загрузка прошивки \"" + fw.hex.string() + "\" и параметров"));
}

namespace {

// A device marked TFTP whose host is the simulator's address, where tftpd-hpa listens too.
struct TftpRig {
    static RigOptions Options()
    {
        RigOptions options;
        options.address = "127.0.0.73";
        options.extra = "TFTP=1";
        return options;
    }
    testsupport::TftpServer server{"127.0.0.73"};
    testsupport::ScopedEnv portVariable{kTftpPortVariable, std::to_string(server.port())};
    WriteRig rig{Options()};
};

} // namespace

TEST(WriteFirmwareTftp, FileArrivesUnchangedWithoutAConnection)
{
    TftpRig t;
    ASSERT_TRUE(t.server.started());
    testsupport::TempDir folder;
    for (const auto& [name, size] : {std::pair{"fw.a90", size_t{70000}}, std::pair{"empty.hex", size_t{0}}}) {
        SCOPED_TRACE(name);
        const fs::path file = folder / name;
        const std::string bytes = RandomBytes(size, 11);
        WriteFile(file, bytes);
        t.rig.ChooseFile(file);
        t.rig.dialogs.Reset();
        t.rig.cancelAt = 1; // replies asking to cancel change nothing
        t.rig.dialogs->PushAnswer(MsgResult::OK);
        t.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(t.rig.Invoke(opWriteFirmware), -1);
        EXPECT_EQ(ReadFile(t.server.dir() / name), bytes);
        const auto records = t.rig.dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].box.text, "Подтвердите операцию записи прошивки\nУстройство: Контроллер\nсоединение: "
                                       "TFTP:127.0.0.73\n" + file.string());
        EXPECT_EQ(records[1].box.text, "Загрузка \"" + file.string() + "\" завершена");
        EXPECT_EQ(records[1].box.caption, "");
        EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Information);
        EXPECT_TRUE(t.rig.HasText("Загрузка " + file.string()));
        const auto percents = t.rig.Percents();
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(percents.back(), 100);
        EXPECT_NE(t.rig.core->OperationLog().find("Загрузка " + file.string() + " ok"), std::string::npos);
        t.rig.ExpectBracketed();
    }
    EXPECT_FALSE(t.rig.Connected());
    EXPECT_TRUE(t.rig.sim.ModemResets().empty());
}

namespace {

constexpr uint32_t kFirmwareAt = 0x08010000;

// Firmware packages for the STM32f205rg (byte id C3) made by the real tools, in a folder
// of their own; the temporary folder of the process is a per-test folder, and the
// program folder is the rig's, so that extraction folders left behind show.
struct PackageFixture {
    explicit PackageFixture(const RigOptions& options = {}) : rig(options) {}

    // A ZIP of the named files, in the order given; "-0" stores them.
    fs::path Zip(const std::string& package, const std::vector<std::pair<std::string, const Firmware*>>& entries,
                 bool stored = false)
    {
        const fs::path stage = folder / ("stage-" + package);
        std::string names;
        for (const auto& [name, fw] : entries) {
            fs::create_directories((stage / name).parent_path());
            fs::copy_file(fw->hex, stage / name);
            names += " '" + name + "'";
        }
        const fs::path zip = folder / package;
        EXPECT_EQ(testsupport::RunCommand("cd '" + stage.string() + "' && zip -q -X " + (stored ? "-0 " : "") + "'" +
                                          zip.string() + "'" + names),
                  0);
        EXPECT_EQ(testsupport::RunCommand("unzip -tq '" + zip.string() + "' >/dev/null"), 0);
        return zip;
    }
    // A ZIP written by python's zipfile under names the tools would not store.
    fs::path Crafted(const std::string& package, const std::vector<std::pair<std::string, const Firmware*>>& entries)
    {
        std::string script = "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n";
        for (const auto& [name, fw] : entries)
            script += "z.writestr(zipfile.ZipInfo('" + name + "'), open('" + fw->hex.string() + "','rb').read())\n";
        script += "z.close()\n";
        WriteFile(folder / "craft.py", script);
        const fs::path zip = folder / package;
        EXPECT_EQ(testsupport::RunCommand("python3 '" + (folder / "craft.py").string() + "' '" + zip.string() + "'"), 0);
        return zip;
    }

    // Extraction folders still present in the temporary or the program folder.
    std::vector<std::string> Leftovers() const
    {
        std::vector<std::string> left;
        for (const fs::path& dir : {tmp.path(), rig.env.dir.path()}) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(dir, ec))
                if (e.path().filename().string().rfind("Quorvandell", 0) == 0) left.push_back(e.path().string());
        }
        return left;
    }
    // The folder the written file was read from, from the log line.
    fs::path ReadFolder() const
    {
        for (const std::string& text : rig.Texts())
            if (text.rfind("Чтение файла: ", 0) == 0)
                return fs::path(text.substr(std::strlen("Чтение файла: "))).parent_path();
        return {};
    }
    int32_t Write(const fs::path& package, int32_t op = opWriteFirmware, const TBlockList* blocks = nullptr,
                  uint32_t base = 0)
    {
        rig.ChooseFile(package);
        return rig.Invoke(op, blocks, base);
    }

    testsupport::TempDir tmp;
    testsupport::ScopedEnv tmpVariable{"TMPDIR", tmp.path().string()};
    testsupport::TempDir folder;
    WriteRig rig;
    Firmware a{folder.path(), "a.hex", kFirmwareAt, 3000};
    Firmware b{folder.path(), "b.hex", kFirmwareAt, 3001};
};

} // namespace

TEST(FirmwarePackage, ChipFileIsPickedByNameThenByteId)
{
    PackageFixture p;
    struct Row {
        std::vector<std::pair<std::string, const Firmware*>> entries;
        bool stored;
        const Firmware* expected;
    };
    const std::vector<Row> rows = {
        {{{"STM32f205rg.a90", &p.a}, {"C3.hex", &p.b}}, false, &p.a},
        {{{"C3.hex", &p.b}}, true, &p.b},
        {{{"stm32F205RG.hex", &p.a}}, false, &p.a},
        {{{"c3.HEX", &p.b}}, true, &p.b},
        // Listed first in the archive, but not first in name order.
        {{{"STM32f205rg.hex", &p.b}, {"STM32f205rg.a90", &p.a}}, false, &p.a},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const fs::path package = p.Zip("p" + std::to_string(i) + ".tcf", rows[i].entries, rows[i].stored);
        p.rig.dialogs.Reset();
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(p.Write(package), -1);
        EXPECT_EQ(p.rig.memory.Read(false, kFirmwareAt, rows[i].expected->bin.size()), rows[i].expected->bin);
        const auto records = p.rig.dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text.substr(records[0].box.text.rfind('\n') + 1), package.string());
        const fs::path read = p.ReadFolder();
        EXPECT_EQ(read.parent_path(), p.tmp.path());
        EXPECT_EQ(read.filename().string().rfind("Quorvandell ", 0), 0u) << read;
        EXPECT_TRUE(p.Leftovers().empty());
        p.rig.ExpectBracketed();
    }
}

TEST(FirmwarePackage, NoChipFileOrUnreadablePackageWritesNothing)
{
    PackageFixture p;
    // Entries in sub-folders are unpacked but not searched.
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(p.Write(p.Zip("sub.tcf", {{"sub/C3.hex", &p.b}})), 0);
    auto records = p.rig.dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].box.text, "Аппаратная конфигурация устройства не поддерживается этой версией прошивки");
    EXPECT_EQ(records[1].box.caption, "Ошибка");
    EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Error);
    EXPECT_EQ(p.rig.RequestsOf(0x15), 0u);
    p.rig.ExpectBracketed();
    EXPECT_TRUE(p.Leftovers().empty());

    // Not a ZIP: both folders fail, nothing is asked or opened.
    const fs::path random = p.folder / "random.tcf";
    const std::string bytes = RandomBytes(4000, 9);
    WriteFile(random, bytes);
    p.rig.dialogs.Reset();
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(p.Write(random), 0);
    records = p.rig.dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "Программе не удается осуществить запись данных на диск. Удалите временные файлы "
                                   "системы, освободите больше места на системном диске, затем попытайтесь снова");
    EXPECT_EQ(records[0].box.caption, "Ошибка");
    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Error);
    EXPECT_TRUE(p.rig.progress.empty()) << "no operation begun";
    EXPECT_EQ(ReadFile(random), bytes);
    EXPECT_TRUE(p.Leftovers().empty());
}

TEST(FirmwarePackage, EntriesLeavingTheFolderAreRefused)
{
    PackageFixture p;
    const testsupport::TempDir outside;
    const fs::path absolute = outside / "abs" / "x.hex";
    const auto listing = [](const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    for (const std::string& name : {std::string("../evil.hex"), absolute.string()}) {
        SCOPED_TRACE(name);
        const fs::path package = p.Crafted("crafted.tcf", {{name, &p.a}, {"C3.hex", &p.b}});
        const auto tmpBefore = listing(p.tmp.path());
        p.rig.dialogs.Reset();
        p.rig.dialogs->PushAnswer(MsgResult::Ignore);
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(p.Write(package), -1);
        const auto records = p.rig.dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::AbortRetryIgnore) << records[0].Describe();
        EXPECT_EQ(listing(p.tmp.path()), tmpBefore); // the extraction folder's parent
        EXPECT_FALSE(fs::exists(p.tmp / "evil.hex"));
        EXPECT_FALSE(fs::exists(absolute));
        EXPECT_TRUE(fs::is_empty(outside.path()));
        EXPECT_EQ(p.rig.memory.Read(false, kFirmwareAt, p.b.bin.size()), p.b.bin);
        fs::remove(package);
    }
}

TEST(FirmwarePackage, EncryptedEntryWithoutPasswordIsNotFound)
{
    PackageFixture p;
    fs::copy_file(p.b.hex, p.folder / "C3.hex");
    const fs::path package = p.folder / "enc.tcf";
    ASSERT_EQ(testsupport::RunCommand("cd '" + p.folder.path().string() + "' && 7z a -bd -tzip -psecret -mem=AES256 '" +
                                      package.string() + "' C3.hex >/dev/null"),
              0);
    p.rig.dialogs->PushInput(std::nullopt);
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(p.Write(package), 0);
    const auto records = p.rig.dialogs->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].kind, DialogKind::InputQuery);
    EXPECT_EQ(records[2].box.text, "Аппаратная конфигурация устройства не поддерживается этой версией прошивки");
    EXPECT_EQ(p.rig.RequestsOf(0x15), 0u);
    EXPECT_TRUE(p.Leftovers().empty());
}

TEST(FirmwarePackage, OtherSpellingsAndAMissingChip)
{
    {
        PackageFixture p;
        // Only ".tcf" in lower case is a package: the rest goes to the Intel HEX reader.
        const fs::path upper = p.Zip("fw.TCF", {{"C3.hex", &p.b}});
        // The reader finds no record in a ZIP, or raises.
        std::string readerError = "В файле прошивки нет блоков данных";
        try {
            TMemory image;
            image.LoadFromHexFile(upper);
            ASSERT_EQ(image.BlockCount(), 0);
        } catch (const std::exception& e) {
            readerError = e.what();
        }
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(p.Write(upper), 0);
        const auto records = p.rig.dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].box.text, readerError);
        EXPECT_EQ(p.ReadFolder(), p.folder.path());
    }
    {
        RigOptions options;
        options.controllerType = false; // no handshake and no chip named
        PackageFixture p(options);
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(p.Write(p.Zip("p.tcf", {{"C3.hex", &p.b}})), 0);
        const auto records = p.rig.dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].box.text, "Не определен тип процессора");
        EXPECT_EQ(records[1].box.caption, "Ошибка");
        EXPECT_EQ(p.rig.RequestsOf(0x15), 0u);
        EXPECT_TRUE(p.Leftovers().empty());
    }
}

TEST(FirmwarePackage, WithParamsTheChipFileAndTheBlocksGoTogether)
{
    PackageFixture p;
    HostBlocks params;
    params.Add(0x1000, "Scheme ID:3.1");
    EXPECT_EQ(p.Write(p.Zip("p.tcf", {{"STM32f205rg.a90", &p.a}}), opWriteFirmwareAndParams, &params.list,
                      kFirmwareAt),
              -1);
    EXPECT_TRUE(p.rig.dialogs->Records().empty()) << "no confirmation";
    EXPECT_EQ(p.rig.memory.Read(false, kFirmwareAt, p.a.bin.size()), p.a.bin);
    EXPECT_EQ(p.rig.memory.Read(false, kFirmwareAt + 0x1000, 13), "Scheme ID:3.1");
    EXPECT_EQ(p.ReadFolder().parent_path(), p.tmp.path());
    EXPECT_TRUE(p.Leftovers().empty());
}

TEST(FirmwarePackage, FolderIsRemovedOnEveryPath)
{
    PackageFixture p;
    const fs::path package = p.Zip("p.tcf", {{"C3.hex", &p.b}});
    p.rig.ChooseFile(package);
    // The confirmation comes after the unpacking.
    p.rig.dialogs->PushAnswer(MsgResult::Cancel);
    EXPECT_EQ(p.rig.Invoke(opWriteFirmware), 0);
    EXPECT_TRUE(p.Leftovers().empty());
    EXPECT_EQ(p.rig.RequestsOf(0x15), 0u);

    // A transfer error from the controller, then a connection that cannot be opened: the
    // confirmation and the error box each time.
    p.rig.sim.SetHandler([&p](const std::string& pdu) -> std::optional<std::string> {
        if (pdu.size() > 1 && static_cast<uint8_t>(pdu[1]) == 0x15) return std::string{pdu[0], '\x95', '\x04'};
        return p.rig.memory.Answer(pdu);
    });
    for (const bool connects : {true, false}) {
        SCOPED_TRACE(connects);
        if (!connects) p.rig.sim.Stop();
        p.rig.dialogs.Reset();
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        p.rig.dialogs->PushAnswer(MsgResult::OK);
        EXPECT_EQ(p.rig.Invoke(opWriteFirmware), 0);
        ASSERT_EQ(p.rig.dialogs->Records().size(), 2u);
        EXPECT_EQ(p.rig.dialogs->Records()[1].box.caption, "Ошибка");
        EXPECT_TRUE(p.Leftovers().empty());
    }

    // Deleted after it was chosen: reported before the archiver could create it.
    fs::remove(package);
    p.rig.dialogs.Reset();
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(p.rig.Invoke(opWriteFirmware), 0);
    ASSERT_EQ(p.rig.dialogs->Records().size(), 1u);
    EXPECT_EQ(p.rig.dialogs->Records()[0].box.text, "Файл \"" + package.string() + "\" не найден");
    EXPECT_FALSE(fs::exists(package));
    EXPECT_TRUE(p.Leftovers().empty());
}

TEST(FirmwarePackage, FallsBackToTheProgramFolder)
{
    PackageFixture p;
    const fs::path notAFolder = p.tmp / "file";
    WriteFile(notAFolder, "x");
    const testsupport::ScopedEnv tmpVariable{"TMPDIR", notAFolder.string()};
    p.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(p.Write(p.Zip("p.tcf", {{"C3.hex", &p.b}})), -1);
    EXPECT_EQ(p.rig.memory.Read(false, kFirmwareAt, p.b.bin.size()), p.b.bin);
    EXPECT_EQ(p.ReadFolder().parent_path(), p.rig.env.dir.path());
    EXPECT_TRUE(p.Leftovers().empty());
}

TEST(FirmwarePackage, TftpDeviceGetsThePackageItself)
{
    TftpRig t;
    ASSERT_TRUE(t.server.started());
    testsupport::TempDir tmp;
    const testsupport::ScopedEnv tmpVariable{"TMPDIR", tmp.path().string()};
    testsupport::TempDir folder;
    Firmware fw(folder.path(), "C3.hex", kFirmwareAt, 2000);
    const fs::path package = folder / "pkg.tcf";
    ASSERT_EQ(testsupport::RunCommand("cd '" + folder.path().string() + "' && zip -q '" + package.string() + "' C3.hex"), 0);
    t.rig.ChooseFile(package);
    t.rig.dialogs->PushAnswer(MsgResult::OK);
    t.rig.dialogs->PushAnswer(MsgResult::OK);
    EXPECT_EQ(t.rig.Invoke(opWriteFirmware), -1);
    EXPECT_EQ(ReadFile(t.server.dir() / "pkg.tcf"), ReadFile(package));
    for (const fs::path& dir : {tmp.path(), t.rig.env.dir.path()})
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_NE(e.path().filename().string().rfind("Quorvandell", 0), 0u) << e.path();
    EXPECT_FALSE(t.rig.Connected());
}
