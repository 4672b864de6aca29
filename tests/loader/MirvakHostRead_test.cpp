// The read operations through the loader test host against the controller simulator:
// parameters read back over TCP, UDP and a pty, the failures and cancels that must leave
// nothing behind, the confirmation, FLASH and EEPROM saved as Intel HEX (checked with
// srecord and python3-intelhex), the memory area dialog and the remembered save folder.

#include "tests/loader/MirvakHost.h"

#include "loader/dialogs/FAddr.h"
#include "loader/ops/LoaderRead.h"
#include "tests/sim/SimDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

namespace fs = std::filesystem;
using platform::DialogKind;
using platform::FormModel;
using platform::MsgResult;
using testhost::Progress;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::WriteFile;

namespace {

const fs::path kChipIni = fs::path(MIRVAK_SOURCE_DIR) / "tests/loader/data/Chip.ini";

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// The test "Chip.ini" with one value of a chip's section replaced.
struct ChipEdit {
    std::string chip;
    std::string key;
    std::string value;
};

// The test "Chip.ini" with LF line ends. Block read answers are awaited 1000 ms: long
// enough that a busy machine's simulator answers within them, so that no late answer is
// taken for a later request's.
std::string TestChipIni()
{
    std::string ini = ReadFile(kChipIni);
    std::erase(ini, '\r');
    const std::string key = "\nReadTimeOut=";
    for (size_t at = ini.find(key); at != std::string::npos; at = ini.find(key, at + 1)) {
        const size_t value = at + key.size();
        ini.replace(value, ini.find('\n', value) - value, "1000");
    }
    return ini;
}

std::string ChipIni(const std::vector<ChipEdit>& edits = {})
{
    std::string ini = TestChipIni();
    for (const ChipEdit& e : edits) {
        const size_t section = ini.find("\nName=" + e.chip + "\n");
        EXPECT_NE(section, std::string::npos) << e.chip;
        const size_t end = std::min(ini.find("\n[", section), ini.size());
        const size_t key = ini.find("\n" + e.key + "=", section);
        EXPECT_LT(key, end) << e.chip << " " << e.key;
        const size_t valueStart = key + e.key.size() + 2;
        ini.replace(valueStart, ini.find('\n', valueStart) - valueStart, e.value);
    }
    return ini;
}

// The index of the chip's section in the test "Chip.ini".
int ChipIndex(const std::string& chip)
{
    const std::string ini = TestChipIni();
    const size_t name = ini.find("\nName=" + chip + "\n");
    const size_t section = ini.rfind("[Chip", name);
    return std::stoi(ini.substr(section + 5));
}

std::string RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

enum class Link { Pty, Tcp, Udp };

struct DeviceOptions {
    Link link = Link::Tcp;
    bool handshake = false;
    std::string script;
    bool bootloader = false; // the simulator answers the handshake
};

DeviceOptions On(Link link, bool handshake = false, std::string script = {}, bool bootloader = false)
{
    return DeviceOptions{link, handshake, std::move(script), bootloader};
}

class ReadHost : public testhost::MirvakHost {
protected:
    ~ReadHost() override { Finish(); }

    // The simulator with the chip's memory as the only device, the test "Chip.ini", and
    // the library loaded.
    void Start(const std::string& chip, const DeviceOptions& options = {}, const std::string& chipIni = ChipIni())
    {
        device.emplace(chip);
        if (options.bootloader) device->AttachBootloader();
        std::string line = "Name=Dev;";
        switch (options.link) {
        case Link::Pty:
            ports.emplace(platform::kComPortsVariable, "COM5=" + device->controller.AddPty());
            line += "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200";
            break;
        case Link::Tcp:
            port = device->controller.AddTcp("127.0.0.1");
            line += "ioType=iotTCP;TCPIP=127.0.0.1;TCPPort=" + std::to_string(port);
            break;
        case Link::Udp:
            port = device->controller.AddUdp("127.0.0.1");
            line += "ioType=iotUDP;UDP=1;TCPIP=127.0.0.1;TCPPort=" + std::to_string(port);
            break;
        }
        device->controller.Start();
        line += ";RetryCount=2;ControllerType=" + std::to_string(ChipIndex(chip));
        line += options.handshake ? ";Handshake=1;HandshakePeriod=100" : ";Handshake=0";
        if (!options.script.empty()) line += ";ScriptFile=" + options.script;
        WriteFile(dir / "Chip.ini", chipIni);
        WriteFile(dir / "Sarnupolex.dvs", line);
        Load();
        progress.clear();
        percents = 0;
    }
    // Unloads the library and stops the simulator; every dialog asked for must have been
    // answered as scripted.
    void Finish()
    {
        Unload();
        device.reset();
        ports.reset();
        EXPECT_TRUE(script->UnexpectedRecords().empty()) << script->UnexpectedRecords().front().Describe();
        EXPECT_EQ(script->AnswersLeft(), 0u);
        script.Reset();
    }

    sim::SimMemory& Memory() { return device->memory; }
    sim::ControllerSim& Controller() { return device->controller; }

    std::vector<sim::BlockRequest> Reads()
    {
        std::vector<sim::BlockRequest> reads;
        for (const sim::BlockRequest& r : Memory().Requests())
            if (r.function == 0x14) reads.push_back(r);
        return reads;
    }

    // PROGRESS_OP_BEGIN came first and PROGRESS_OP_END last, once each.
    void ExpectOperationFramed() const
    {
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.front().code, PROGRESS_OP_BEGIN);
        EXPECT_EQ(progress.back().code, PROGRESS_OP_END);
        const auto count = [&](int32_t code) {
            return std::count_if(progress.begin(), progress.end(), [&](const Progress& p) { return p.code == code; });
        };
        EXPECT_EQ(count(PROGRESS_OP_BEGIN), 1);
        EXPECT_EQ(count(PROGRESS_OP_END), 1);
    }

    // Every TCP client the simulator accepted has gone again.
    bool ConnectionsClosed()
    {
        return Controller().WaitFor(
            [&] {
                int open = 0;
                for (const std::string& e : Controller().Events()) {
                    if (e.find("tcp accept") != std::string::npos) ++open;
                    if (e.find("tcp close") != std::string::npos) --open;
                }
                return open == 0;
            },
            3000);
    }
    bool Connected()
    {
        for (const std::string& e : Controller().Events())
            if (e.find("tcp accept") != std::string::npos) return true;
        return false;
    }

    bool HasText(const std::string& text) const
    {
        const std::vector<std::string> texts = Texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    // The HEX file holds exactly the bytes from start, as srec_cat and intelhex read it.
    void ExpectHexHolds(const fs::path& hex, uint32_t start, const std::string& bytes)
    {
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%08X", start);
        const fs::path bin = dir / "srec.bin";
        ASSERT_EQ(RunCommand("srec_cat " + Quote(hex) + " -intel -offset -" + offset + " -o " + Quote(bin) +
                             " -binary >/dev/null 2>&1"),
                  0);
        EXPECT_TRUE(ReadFile(bin) == bytes) << "srec_cat sees other bytes";
        const fs::path python = dir / "intelhex.bin";
        ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import sys\n"
                             "from intelhex import IntelHex\n"
                             "h = IntelHex(sys.argv[1])\n"
                             "open(sys.argv[2], \"wb\").write(h.tobinarray(start=int(sys.argv[3]), "
                             "size=int(sys.argv[4])).tobytes())' " +
                             Quote(hex) + " " + Quote(python) + " " + std::to_string(start) + " " +
                             std::to_string(bytes.size())),
                  0);
        EXPECT_TRUE(ReadFile(python) == bytes) << "intelhex sees other bytes";
    }

    std::optional<sim::SimDevice> device;
    uint16_t port = 0;
};

// The host's document blocks and the read result, released as the configurator does.
struct HostBlocks {
    std::vector<std::unique_ptr<TMemoryBlock>> own;
    TBlockList list;
    TBlockList* result = nullptr;

    explicit HostBlocks(const std::vector<std::pair<uint32_t, int32_t>>& blocks)
    {
        for (const auto& [address, size] : blocks) {
            own.push_back(std::make_unique<TMemoryBlock>(address, size));
            list.AddBlock(own.back().get());
        }
    }
    // The result's blocks as (address, bytes), released.
    std::vector<std::pair<uint32_t, std::string>> TakeResult()
    {
        std::vector<std::pair<uint32_t, std::string>> blocks;
        if (!result) return blocks;
        for (int i = 0; i < result->Count(); ++i) {
            TMemoryBlock* block = result->Block(i);
            blocks.emplace_back(block->Address,
                                std::string(reinterpret_cast<const char*>(block->Data()), static_cast<size_t>(block->Size)));
            block->Release();
        }
        result->Release();
        result = nullptr;
        return blocks;
    }
};

TfmAddrModel& AreaModel(FormModel& form)
{
    EXPECT_EQ(form.FormName(), "TfmAddr");
    return static_cast<TfmAddrModel&>(form);
}

// A handler of the area dialog that types the values and confirms.
std::function<MsgResult(FormModel&)> TypeArea(int64_t start, int64_t count, int unit)
{
    return [=](FormModel& form) {
        TfmAddrModel& model = AreaModel(form);
        model.SetStart(start);
        model.SetCount(count);
        model.SetUnitIndex(unit);
        return MsgResult::OK;
    };
}

} // namespace

TEST_F(ReadHost, ParametersComeBackAscendingAndRelative)
{
    const struct {
        const char* name;
        const char* chip;
        Link link;
        uint32_t base;
        bool idSearch; // the chip looks for the firmware version first
        bool device;   // a script and the handshake around the read
    } cases[] = {
        {"linear chip, 1024-byte chunks, TCP", "STM32f205rg", Link::Tcp, 0x08004000, true, false},
        {"linear chip over UDP", "STM32f205rg", Link::Udp, 0x08004000, false, false},
        {"file/record chip, Sector 256 read as 128, pty, script and handshake", "ATMEGA128", Link::Pty, 0x00004000,
         false, true},
    };
    fs::create_directories(dir / "Scripts");
    WriteFile(dir / "Scripts" / "around.txt", "sleep 10\r\n[after]\r\nsleep 10\r\nendpause 20");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.chip, On(c.link, c.device, c.device ? "around" : "", c.device),
              ChipIni({{c.chip, "FindFirmwareID", c.idSearch ? "1" : "0"}}));
        if (c.device) script->PushWaitWindow(-1);
        Memory().Write(false, c.base, RandomBytes(0x300, 7));
        HostBlocks host({{0x0200, 0x40}, {0x0000, 0x100}});
        ASSERT_EQ(Invoke(opReadParams, 0, &host.result, &host.list, c.base), -1);
        const auto blocks = host.TakeResult();
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[0].first, 0x0000u);
        EXPECT_TRUE(blocks[0].second == Memory().Read(false, c.base, 0x100));
        EXPECT_EQ(blocks[1].first, 0x0200u);
        EXPECT_TRUE(blocks[1].second == Memory().Read(false, c.base + 0x200, 0x40));
        // Read in ascending order: the first block request is for the document's start.
        const auto reads = Reads();
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads[c.idSearch ? 64 : 0].address, c.base);

        ExpectOperationFramed();
        // The firmware-ID search shows its own caption first.
        std::vector<std::string> captions;
        for (const Progress& p : progress)
            if (p.code == PROGRESS_CAPTION) captions.push_back(p.text);
        std::vector<std::string> expected;
        if (c.idSearch) expected.push_back(std::string("Поиск Firmware идентификатора в FLASH (") + c.chip + ")");
        expected.push_back(std::string("Считывание параметров (") + c.chip + ")");
        EXPECT_EQ(captions, expected);
        const auto caption = std::find_if(progress.begin(), progress.end(), [&](const Progress& p) {
            return p.code == PROGRESS_CAPTION && p.text == expected.back();
        });
        ASSERT_NE(caption, progress.end());
        const auto done = std::find_if(progress.begin(), progress.end(), [](const Progress& p) {
            return p.code == PROGRESS_TEXT && p.text == "Параметры считаны";
        });
        ASSERT_NE(done, progress.end());
        EXPECT_LT(caption, done);
        EXPECT_TRUE(std::any_of(caption, done, [](const Progress& p) { return p.code == PROGRESS_PERCENT; }));
        EXPECT_TRUE(std::all_of(done + 1, progress.end() - 1, [](const Progress& p) { return p.code == PROGRESS_TEXT; }));
        EXPECT_TRUE(HasText("Cчитывание параметров...")) << "a Latin C first";
        if (c.device) {
            EXPECT_EQ(device->bootloader->Probes(), 1);
            const std::string log = ReadFile(dir / "SarnupolexLib.log");
            EXPECT_NE(log.find("HandShake: ok"), std::string::npos);
            EXPECT_NE(log.find("Выполнение предварительного скрипта \"around\""), std::string::npos);
            EXPECT_NE(log.find("Выполнение завершающего скрипта \"around\""), std::string::npos);
            EXPECT_NE(log.find("Выполнение паузы окончания операции, 20 мс"), std::string::npos) << log;
        }
        Finish();
    }
}

TEST_F(ReadHost, GrendalLayoutAtBaseZeroIsReadUnchanged)
{
    Start("Grendal", On(Link::Tcp));
    Memory().Write(false, 0, RandomBytes(232, 1));
    Memory().Write(false, 0x1000, RandomBytes(145400, 2));
    Memory().PlaceMarker(false, 0x00100000 + 0x123, "3.1.7");
    HostBlocks host({{0x0000, 232}, {0x1000, 145400}});
    ASSERT_EQ(Invoke(opReadParams, 0, &host.result, &host.list, 0), -1);
    const auto blocks = host.TakeResult();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].first, 0x0000u);
    EXPECT_TRUE(blocks[0].second == Memory().Read(false, 0, 232));
    EXPECT_EQ(blocks[1].first, 0x1000u);
    EXPECT_TRUE(blocks[1].second == Memory().Read(false, 0x1000, 145400));
    EXPECT_TRUE(HasText("#Версия: 3.1.7"));
    EXPECT_TRUE(ConnectionsClosed());
}

TEST_F(ReadHost, FailuresAndCancelsLeaveNothingBehind)
{
    const std::string silent = "Нет ответа от устройства при чтении блока (адрес 08004000, длина 1024)";
    const struct {
        const char* name;
        int32_t device;
        DeviceOptions options;
        bool idSearch;
        std::function<void()> arrange;
        std::string box; // empty: none
        bool connects;
    } cases[] = {
        {"confirmation cancelled", 0, {}, false,
         [this] {
             dialogsConfDisabled = 0;
             script->PushAnswer(MsgResult::Cancel);
         },
         "", false},
        {"no device selected", -1, {}, false, {}, "Не выбрано подключение", false},
        {"handshake never answered", 0, On(Link::Tcp, true), false,
         [this] { script->PushWaitWindow(2); }, "Процедура рукопожатия не выполнена", true},
        {"script file missing", 0, On(Link::Tcp, false, "absent"), false, {},
         "Файл скрипта " + (dir / "Scripts" / ("absent.tmp" + std::to_string(getpid()))).string() + " не существует",
         true},
        {"cancel at the third percentage", 0, {}, false, [this] { cancelAtPercent = 3; }, "", true},
        {"cancel during the firmware version search", 0, {}, true, [this] { cancelAtPercent = 1; }, "",
         true},
        {"simulator silent past the retries", 0, {}, false,
         [this] { Controller().InjectFault({sim::FaultKind::Silence, 0, 0}, 100); }, silent, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start("STM32f205rg", c.options, ChipIni({{"STM32f205rg", "FindFirmwareID", c.idSearch ? "1" : "0"}}));
        dialogsConfDisabled = 1;
        cancelAtPercent = 0;
        if (c.arrange) c.arrange();
        if (!c.box.empty()) script->PushAnswer(MsgResult::OK);
        HostBlocks host({{0x0000, 0x1000}});
        EXPECT_EQ(Invoke(opReadParams, c.device, &host.result, &host.list, 0x08004000), 0);
        EXPECT_EQ(host.result, nullptr);
        const auto records = script->Records();
        if (c.box.empty()) {
            EXPECT_TRUE(std::none_of(records.begin(), records.end(), [](const platform::DialogRecord& r) {
                return r.kind == DialogKind::MessageBox && r.box.caption == "Ошибка";
            }));
        } else {
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.back().box.text, c.box);
            EXPECT_EQ(records.back().box.caption, "Ошибка");
        }
        ExpectOperationFramed();
        EXPECT_EQ(Connected(), c.connects);
        EXPECT_TRUE(ConnectionsClosed());
        if (c.box.empty() && c.connects) {
            EXPECT_TRUE(HasText("Операция прервана"));
        }
        Finish();
    }
}

TEST_F(ReadHost, ConfirmationUnlessDialogsAreDisabled)
{
    for (const uint8_t flag : {uint8_t{1}, uint8_t{0}, uint8_t{2}}) {
        SCOPED_TRACE(int{flag});
        Start("STM32f205rg", {}, ChipIni({{"STM32f205rg", "FindFirmwareID", "0"}}));
        dialogsConfDisabled = flag;
        if (flag != 1) script->PushAnswer(MsgResult::OK);
        HostBlocks host({{0x0000, 0x10}});
        EXPECT_EQ(Invoke(opReadParams, 0, &host.result, &host.list, 0x08000000), -1);
        host.TakeResult();
        const auto records = script->Records();
        if (flag == 1) {
            EXPECT_TRUE(records.empty());
        } else {
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].box.text, "Подтвердите операцию чтения параметров\nУстройство: Dev\nсоединение: tcp:127.0.0.1:" +
                                               std::to_string(port));
            EXPECT_EQ(records[0].box.caption, "Предупреждение");
            EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Warning);
            EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::OKCancel);
            EXPECT_EQ(records[0].owner, window);
        }
        Finish();
    }
}

TEST_F(ReadHost, FlashOfTheChipTableIsSavedFromItsStart)
{
    // STM32f405vg: SizeFlash 960, Sector 1024, linear from 0x08010000.
    Start("STM32f405vg");
    const uint32_t start = 0x08010000;
    Memory().Write(false, start, RandomBytes(4096, 3));
    Memory().Write(false, start + 960 * 1024 - 100, RandomBytes(100, 4));
    const fs::path file = dir / "flash.hex";
    script->PushFile(file.string());
    EXPECT_EQ(Invoke(opReadFlash, 0, nullptr), -1);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 960u);
    EXPECT_EQ(reads.front().address, start);
    EXPECT_EQ(reads.back().address, start + 959 * 1024);
    ExpectHexHolds(file, start, Memory().Read(false, start, 960 * 1024));
    EXPECT_TRUE(HasText("Cчитывание FLASH..."));
    EXPECT_TRUE(HasText("FLASH считана"));
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](const Progress& p) {
        return p.code == PROGRESS_CAPTION && p.text == "Считывание FLASH (STM32f405vg)";
    }));
    ExpectOperationFramed();
    EXPECT_TRUE(ConnectionsClosed());
}

TEST_F(ReadHost, FlashAreaFromTheDialog)
{
    const struct {
        const char* name;
        const char* chip;
        uint32_t start;
        int32_t count;
        int unit;
        std::vector<uint32_t> reads;
    } cases[] = {
        {"file/record chip, 3000 bytes", "LPC2106", 0x1000, 3000, 0, {0x1000, 0x1400, 0x1800}},
        {"linear chip keeps the typed start", "STM32f205rg", 0x08000400, 2, 1, {0x08000400, 0x08000800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.chip, {}, ChipIni({{c.chip, "SizeFlash", "0"}, {c.chip, "Sector", "1024"}}));
        Memory().Write(false, c.start, RandomBytes(4096, 5));
        script->PushForm(TypeArea(c.start, c.count, c.unit));
        const fs::path file = dir / "area.hex";
        script->PushFile(file.string());
        EXPECT_EQ(Invoke(opReadFlash, 0, nullptr), -1);
        std::vector<uint32_t> addresses;
        for (const auto& r : Reads()) addresses.push_back(r.address);
        EXPECT_EQ(addresses, c.reads);
        ExpectHexHolds(file, c.start, Memory().Read(false, c.start, c.reads.size() * 1024));
        ExpectOperationFramed();
        Finish();
    }
}

TEST_F(ReadHost, FlashRefusalsAndCancels)
{
    const struct {
        const char* name;
        std::vector<ChipEdit> edits;
        std::function<void()> arrange;
        std::string box; // empty: none
    } cases[] = {
        {"2048 Мб", {{"STM32f205rg", "SizeFlash", "0"}}, [this] { script->PushForm(TypeArea(0x1000, 2048, 2)); },
         "Неверная область памяти (адрес 00001000, размер 2147483648 байт)"},
        {"area dialog cancelled", {{"STM32f205rg", "SizeFlash", "0"}},
         [this] { script->PushForm([](FormModel&) { return MsgResult::Cancel; }); }, "отмена"},
        {"Sector 0", {{"STM32f205rg", "Sector", "0"}}, {}, "Неверный размер сектора 0 у STM32f205rg"},
        {"cancelled read", {{"STM32f205rg", "SizeFlash", "8"}}, [this] { cancelAtPercent = 2; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start("STM32f205rg", {}, ChipIni(c.edits));
        cancelAtPercent = 0;
        if (c.arrange) c.arrange();
        if (!c.box.empty()) script->PushAnswer(MsgResult::OK);
        EXPECT_EQ(Invoke(opReadFlash, 0, nullptr), 0);
        const auto records = script->Records();
        const bool fileAsked = std::any_of(records.begin(), records.end(),
                                           [](const platform::DialogRecord& r) { return r.kind == DialogKind::FileDialog; });
        EXPECT_FALSE(fileAsked);
        if (c.box.empty()) {
            EXPECT_EQ(Reads().size(), 2u) << "stopped at the cancel";
        } else {
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.back().box.text, c.box);
            EXPECT_EQ(records.back().box.caption, "Ошибка");
            EXPECT_TRUE(Reads().empty());
        }
        ExpectOperationFramed();
        EXPECT_TRUE(ConnectionsClosed());
        Finish();
    }
}

TEST_F(ReadHost, EepromIsSavedAsLinearHex)
{
    // ATMEGA128: SizeEPP 4096 in chunks of 256, read as 128.
    Start("ATMEGA128", On(Link::Pty));
    Memory().Write(true, 0, RandomBytes(4096, 6));
    const fs::path file = dir / "eep.hex";
    script->PushFile(file.string());
    EXPECT_EQ(Invoke(opReadEeprom, 0, nullptr), -1);
    const auto reads = Reads();
    ASSERT_EQ(reads.size(), 32u);
    EXPECT_TRUE(std::all_of(reads.begin(), reads.end(), [](const sim::BlockRequest& r) { return r.eeprom; }));
    EXPECT_EQ(ReadFile(file).substr(0, 15), ":0200000480007A");
    ExpectHexHolds(file, 0x80000000, Memory().Read(true, 0, 4096));
    EXPECT_TRUE(HasText("Cчитывание EEP..."));
    EXPECT_TRUE(HasText("EEP считана"));
    ExpectOperationFramed();
}

TEST_F(ReadHost, ChipWithoutEepromSendsNoBlockRequest)
{
    Start("STM32f205rg");
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(opReadEeprom, 0, nullptr), 0);
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "У STM32f205rg нет EEPROM");
    EXPECT_TRUE(Memory().Requests().empty());
    ExpectOperationFramed();
}

TEST_F(ReadHost, SaveDialogRemembersFolderAndFilter)
{
    Start("STM32f205rg", {}, ChipIni({{"STM32f205rg", "SizeFlash", "1"}}));
    fs::create_directories(dir / "sub");
    script->PushFile((dir / "sub" / "first.hex").string(), 2);
    EXPECT_EQ(Invoke(opReadFlash, 0, nullptr), -1);
    const std::string firstLog = ReadFile(dir / "SarnupolexLib.log");
    script->PushFile((dir / "sub" / "second.hex").string());
    EXPECT_EQ(Invoke(opReadFlash, 0, nullptr), -1);
    const std::string secondLog = ReadFile(dir / "SarnupolexLib.log");
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
        EXPECT_EQ(r.kind, DialogKind::FileDialog);
        EXPECT_EQ(r.file.kind, platform::FileDialogKind::Save);
        EXPECT_EQ(r.file.filter, "Файлы прошивок|*.a90;*.a82|Hex файлы|*.hex|Все файлы|*.*");
        EXPECT_EQ(r.file.defaultExt, "hex");
        EXPECT_EQ(r.owner, window);
    }
    EXPECT_EQ(records[0].file.filterIndex, 1);
    EXPECT_EQ(fs::path(records[0].file.initialDir), dir.path());
    EXPECT_EQ(records[1].file.filterIndex, 2);
    EXPECT_EQ(fs::path(records[1].file.initialDir), dir / "sub");
    EXPECT_TRUE(fs::exists(dir / "sub" / "first.hex"));
    EXPECT_TRUE(fs::exists(dir / "sub" / "second.hex"));
    EXPECT_NE(firstLog.find("ReadOpenDialogFLASH (Dir_a90) считан начальный путь " + dir.path().string()),
              std::string::npos)
        << firstLog;
    EXPECT_NE(firstLog.find("ReadOpenDialogFLASH (Dir_a90) сохранен начальный путь " + (dir / "sub").string()),
              std::string::npos);
    EXPECT_NE(secondLog.find("ReadOpenDialogFLASH (Dir_a90) считан начальный путь " + (dir / "sub").string()),
              std::string::npos);
}
