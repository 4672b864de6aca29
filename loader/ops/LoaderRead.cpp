#include "loader/ops/LoaderRead.h"

#include "loader/core/Chips.h"
#include "loader/core/ExceptionLog.h"
#include "loader/dialogs/FAddr.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/LoaderExports.h"
#include "loader/protocol/LoaderHandshake.h"
#include "loader/protocol/LoaderScript.h"
#include "loader/protocol/LoaderTransfer.h"
#include "loader/api/SarnupolexConst.h"
#include "common/StrRoutines.h"
#include "platform/Format.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

TMemBlock::~TMemBlock() = default;
EOperationAborted::~EOperationAborted() = default;

const char* const kReadParamsQuestion = "Подтвердите операцию чтения параметров\nУстройство: %s\nсоединение: %s";
const char* const kBadMemoryArea = "Неверная область памяти (адрес %.8X, размер %llu байт)";
const char* const kAreaCancelled = "отмена";

const char* const kReadFlashDialogSection = "ReadOpenDialogFLASH";
const char* const kReadEepromDialogSection = "ReadOpenDialog";
const char* const kFirmwareDirKey = "Dir_a90";
const char* const kFirmwareFileFilter = "Файлы прошивок|*.a90;*.a82|Hex файлы|*.hex|Все файлы|*.*";

bool RunFileDialog(TLoaderCore& core, const platform::FileDialogRequest& request, const std::string& section,
                   const std::string& dirKey, platform::FileDialogResult& result)
{
    std::error_code ec;
    const fs::path source = fs::exists(core.WorkingIniFileName(), ec) ? core.WorkingIniFileName() : core.IniFileName();
    const std::unique_ptr<platform::CustomIniFile> settings = core.OpenDialogSettings();
    platform::FileDialogRequest dialog = request;
    dialog.filterIndex = settings->ReadInteger(section, dirKey + "FilterIndex", 1);
    dialog.initialDir = settings->ReadString(section, dirKey, core.HostFolder().string());
    core.AppendLogLine(platform::Format("ini файл \"%s\" %s (%s) считан начальный путь %s", source.string().c_str(),
                                        section.c_str(), dirKey.c_str(), dialog.initialDir.c_str()));
    result = platform::ShowFileDialog(dialog);
    if (!result.accepted) return false;
    const std::string folder = fs::path(result.fileName).parent_path().string();
    settings->WriteInteger(section, dirKey + "FilterIndex", result.filterIndex);
    settings->WriteString(section, dirKey, folder);
    settings->WriteString(section, "FileName", result.fileName);
    core.AppendLogLine(platform::Format("ini файл \"%s\" %s (%s) сохранен начальный путь %s",
                                        core.WorkingIniFileName().string().c_str(), section.c_str(), dirKey.c_str(),
                                        folder.c_str()));
    return true;
}

namespace {

// The first address past the 32-bit space, and the largest area a read takes.
constexpr uint64_t kAddressSpaceEnd = uint64_t{1} << 32;
constexpr uint64_t kMaxAreaSize = (uint64_t{1} << 31) - 1;

// PROGRESS_OP_BEGIN when made, PROGRESS_OP_END once: at End or when it goes.
class TProgressSession {
public:
    explicit TProgressSession(TLoaderCore& core) : window_(core.OperationWindow()) { Send(PROGRESS_OP_BEGIN); }
    ~TProgressSession() { End(); }
    TProgressSession(const TProgressSession&) = delete;
    TProgressSession& operator=(const TProgressSession&) = delete;
    void End() noexcept
    {
        if (ended_) return;
        ended_ = true;
        Send(PROGRESS_OP_END);
    }

private:
    void Send(int32_t code) noexcept
    {
        if (window_ != 0 && platform::IsWindow(window_))
            platform::SendMessage(window_, platform::WM_LOADER_PROGRESS, static_cast<platform::WPARAM>(code), 0);
    }
    platform::HWND window_;
    bool ended_ = false;
};

// The result list of a parameter read: its blocks and the list itself are released
// unless the list was handed over.
class TResultList {
public:
    TResultList() : list_(new TBlockList) {}
    ~TResultList()
    {
        if (!list_) return;
        for (int i = 0; i < list_->Count(); ++i) list_->Block(i)->Release();
        list_->Release();
    }
    TResultList(const TResultList&) = delete;
    TResultList& operator=(const TResultList&) = delete;
    TBlockList& operator*() const { return *list_; }
    TBlockList* HandOver() { return std::exchange(list_, nullptr); }

private:
    TBlockList* list_;
};

// The device line of that index in the device list.
std::string SelectLine(TLoaderCore& core, int32_t device)
{
    const std::vector<std::string> lines = core.DeviceLines();
    return DeviceLineByIndex(lines, device);
}

const TChip& RequireChip(TLoaderCore& core)
{
    const TChip* chip = core.Chips().Current();
    if (!chip) throw ESarnupolex("Не определен тип процессора");
    return *chip;
}

// Runs the body on the opened connection of the line. The end pause of the line's
// script (when a transport is open) and the close follow on every path; an error of the
// end pause after another error is only logged.
template <class Body>
bool WithDevice(TLoaderCore& core, const std::string& line, Body body)
{
    TLoaderConnection& connection = core.Connection();
    const std::string script = ParseConnectionSettings(line).ScriptName;
    const auto finish = [&] {
        if (connection.Device()) RunEndPause(core, script);
    };
    bool result = false;
    try {
        connection.OpenDevice(line);
        TBlockTransfer transfer(core);
        result = body(transfer, connection.Settings());
    } catch (...) {
        try {
            finish();
        } catch (...) {
            LogException(std::current_exception());
        }
        connection.CloseDevice();
        throw;
    }
    try {
        finish();
    } catch (...) {
        connection.CloseDevice();
        throw;
    }
    connection.CloseDevice();
    return result;
}

void RunScript(TLoaderCore& core, TBlockTransfer& transfer, const TConnectionSettings& settings, TScriptPhase phase)
{
    MakeScript(core, transfer, settings.ScriptName, settings.ScriptSpeed, phase, phase == TScriptPhase::Preliminary);
}

// The list's items in ascending unsigned address order (equal addresses keep theirs).
void SortByAddress(TBlockList& list)
{
    std::vector<TMemoryBlock*> blocks;
    for (int i = 0; i < list.Count(); ++i) blocks.push_back(list.Block(i));
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const TMemoryBlock* a, const TMemoryBlock* b) { return a->Address < b->Address; });
    list.Clear();
    for (TMemoryBlock* block : blocks) list.AddBlock(block);
}

bool ReadParamsCore(TLoaderCore& core, const std::string& line, TBlockList& list, platform::HWND window)
{
    if (!core.DialogsConfDisabled()) {
        const std::string question = platform::Format(kReadParamsQuestion, GetParam(line, "Name").c_str(),
                                                      DescribeConnection(line).c_str());
        if (platform::ShowMessageBox(window, question, "Предупреждение", platform::MsgIcon::Warning,
                                     platform::MsgButtons::OKCancel) != platform::MsgResult::OK)
            return false;
    }
    return WithDevice(core, line, [&](TBlockTransfer& transfer, const TConnectionSettings& settings) {
        RunScript(core, transfer, settings, TScriptPhase::Preliminary);
        RunHandShake(core);
        const TChip* chip = core.Chips().Current();
        bool proceed = true;
        if (chip && chip->FindFirmwareID) {
            std::string version;
            proceed = transfer.FindFirmwareId(false, true, version);
            if (proceed && !version.empty()) core.PostLogLine("#Версия: " + version);
        }
        bool complete = false;
        if (proceed) {
            core.PostLogLine("Cчитывание параметров...");
            SortByAddress(list);
            complete = transfer.ReadBlocks(
                list, platform::Format("Считывание параметров (%s)", chip ? chip->Name.c_str() : ""));
        }
        core.PostLogLine(complete ? "Параметры считаны" : "Операция прервана");
        RunScript(core, transfer, settings, TScriptPhase::Final);
        return complete;
    });
}

// Refuses an area of 2 GiB or more, or one that does not end within 4 GiB.
void CheckArea(uint64_t start, uint64_t size)
{
    if (size > kMaxAreaSize || start + size > kAddressSpaceEnd)
        throw ESarnupolex(platform::Format(kBadMemoryArea, static_cast<unsigned>(start),
                                           static_cast<unsigned long long>(size)));
}

// What a memory read covers: chunks of chunk bytes from start.
struct TReadArea {
    uint64_t Start = 0;
    uint64_t Chunks = 0;
};

// A whole-memory read: FLASH or EEPROM.
struct TMemoryKind {
    const char* LogLine;
    const char* Caption;
    const char* DoneLine;
    const char* Section;
    bool Linear; // the file's addressing
    TReadArea (*Area)(TLoaderCore& core, const TChip& chip, int32_t chunk);
};

TReadArea FlashArea(TLoaderCore& core, const TChip& chip, int32_t chunk)
{
    const uint64_t size = static_cast<uint64_t>(std::max(chip.SizeFlash, 0)) * 1024;
    TReadArea area{0, size / static_cast<uint64_t>(chunk)};
    if (area.Chunks == 0) {
        TfmAddrModel dialog;
        if (!ShowAddrForm(dialog, core.OperationWindow())) throw EOperationAborted(kAreaCancelled);
        area.Start = dialog.StartAddress();
        area.Chunks = (dialog.AreaSize() + static_cast<uint64_t>(chunk) - 1) / static_cast<uint64_t>(chunk);
        CheckArea(area.Start, dialog.AreaSize());
    } else if (chip.LinearAddr) {
        area.Start = chip.FlashStartAddress;
    }
    return area;
}

TReadArea EepromArea(TLoaderCore&, const TChip& chip, int32_t chunk)
{
    const TReadArea area{0x80000000u, static_cast<uint64_t>(std::max(chip.SizeEPP, 0) / chunk)};
    if (area.Chunks == 0) throw platform::Exception("У " + chip.Name + " нет EEPROM");
    return area;
}

const TMemoryKind kFlash{"Cчитывание FLASH...", "Считывание FLASH (%s)", "FLASH считана", kReadFlashDialogSection,
                         false, FlashArea};
const TMemoryKind kEeprom{"Cчитывание EEP...", "Считывание EEP (%s)", "EEP считана", kReadEepromDialogSection, true,
                          EepromArea};

// Asks for the file and writes the image to it as Intel HEX.
void SaveImage(TLoaderCore& core, const TMemory& image, const TMemoryKind& kind)
{
    platform::FileDialogRequest request;
    request.owner = core.OperationWindow();
    request.kind = platform::FileDialogKind::Save;
    request.filter = kFirmwareFileFilter;
    request.defaultExt = "hex";
    request.overwritePrompt = true;
    platform::FileDialogResult chosen;
    if (RunFileDialog(core, request, kind.Section, kFirmwareDirKey, chosen))
        image.SaveToHexFile(fs::path(chosen.fileName), kind.Linear, 0, 16);
}

bool ReadMemoryToFile(TLoaderCore& core, int32_t device, const TMemoryKind& kind)
{
    TProgressSession session(core);
    const std::string line = SelectLine(core, device);
    TMemory image;
    image.SetSorted(true);
    return WithDevice(core, line, [&](TBlockTransfer& transfer, const TConnectionSettings& settings) {
        RunScript(core, transfer, settings, TScriptPhase::Preliminary);
        RunHandShake(core);
        core.PostLogLine(kind.LogLine);
        const TChip& chip = RequireChip(core);
        const int32_t chunk = ChunkSize(chip);
        const TReadArea area = kind.Area(core, chip, chunk);
        CheckArea(area.Start, area.Chunks * static_cast<uint64_t>(chunk));
        TBlockList blocks; // the image owns them
        for (uint64_t i = 0; i < area.Chunks; ++i)
            blocks.AddBlock(image.AddBlock(static_cast<uint32_t>(area.Start + i * static_cast<uint64_t>(chunk)), chunk));
        const bool complete = transfer.ReadBlocks(blocks, platform::Format(kind.Caption, chip.Name.c_str()));
        if (complete) core.PostLogLine(kind.DoneLine);
        RunScript(core, transfer, settings, TScriptPhase::Final);
        session.End();
        if (complete) SaveImage(core, image, kind);
        return complete;
    });
}

} // namespace

bool ReadDeviceParams(TLoaderCore& core, int32_t device, const std::string& /*scheme*/, const TBlockList* blocks,
                      uint32_t baseAddress, uint8_t /*linearHex*/, platform::HWND hostWindow, TBlockList** result)
{
    if (result) *result = nullptr;
    TResultList list;
    if (blocks)
        for (int i = 0; i < blocks->Count(); ++i) {
            const TMemoryBlock& block = *blocks->Block(i);
            (*list).AddBlock(new TMemBlock(block.Address + baseAddress, block.Size));
        }
    TProgressSession session(core);
    const std::string line = SelectLine(core, device);
    if (!ReadParamsCore(core, line, *list, hostWindow)) return false;
    if (baseAddress != 0)
        for (int i = 0; i < (*list).Count(); ++i) (*list).Block(i)->Address -= baseAddress;
    if (result) *result = list.HandOver();
    return true;
}

bool ReadFlashToFile(TLoaderCore& core, int32_t device, const std::string& /*scheme*/)
{
    return ReadMemoryToFile(core, device, kFlash);
}

bool ReadEepromToFile(TLoaderCore& core, int32_t device, const std::string& /*scheme*/)
{
    return ReadMemoryToFile(core, device, kEeprom);
}
