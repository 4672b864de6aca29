#include "loader/ops/LoaderRead.h"

#include "loader/core/Chips.h"
#include "loader/dialogs/FAddr.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/DeviceSession.h"
#include "loader/protocol/LoaderTransfer.h"
#include "common/StrRoutines.h"
#include "platform/Format.h"
#include "platform/IniFile.h"

#include <algorithm>
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

const TChip& RequireChip(TLoaderCore& core)
{
    const TChip* chip = core.Chips().Current();
    if (!chip) throw ESarnupolex("Не определен тип процессора");
    return *chip;
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

bool ReadParamsCore(TDeviceSession& session, TBlockList& list, platform::HWND window)
{
    TLoaderCore& core = session.Core();
    if (!core.DialogsConfDisabled()) {
        const std::string question = platform::Format(kReadParamsQuestion, GetParam(session.Line(), "Name").c_str(),
                                                      DescribeConnection(session.Line()).c_str());
        if (platform::ShowMessageBox(window, question, "Предупреждение", platform::MsgIcon::Warning,
                                     platform::MsgButtons::OKCancel) != platform::MsgResult::OK)
            return false;
    }
    session.Open();
    const TChip* chip = core.Chips().Current();
    bool proceed = true;
    if (chip && chip->FindFirmwareID) {
        std::string version;
        proceed = session.Transfer().FindFirmwareId(false, true, version);
        if (proceed && !version.empty()) core.PostLogLine("#Версия: " + version);
    }
    bool complete = false;
    if (proceed) {
        core.PostLogLine("Cчитывание параметров...");
        SortByAddress(list);
        complete = session.Transfer().ReadBlocks(
            list, platform::Format("Считывание параметров (%s)", chip ? chip->Name.c_str() : ""));
    }
    core.PostLogLine(complete ? "Параметры считаны" : "Операция прервана");
    session.FinalPhase(false);
    return complete;
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
    TDeviceSession session(core, device, TSessionKind::Operation);
    TMemory image;
    image.SetSorted(true);
    session.Open();
    core.PostLogLine(kind.LogLine);
    const TChip& chip = RequireChip(core);
    const int32_t chunk = ChunkSize(chip);
    const TReadArea area = kind.Area(core, chip, chunk);
    CheckArea(area.Start, area.Chunks * static_cast<uint64_t>(chunk));
    TBlockList blocks; // the image owns them
    for (uint64_t i = 0; i < area.Chunks; ++i)
        blocks.AddBlock(image.AddBlock(static_cast<uint32_t>(area.Start + i * static_cast<uint64_t>(chunk)), chunk));
    const bool complete = session.Transfer().ReadBlocks(blocks, platform::Format(kind.Caption, chip.Name.c_str()));
    if (complete) core.PostLogLine(kind.DoneLine);
    session.FinalPhase(false);
    session.EndProgress();
    if (complete) SaveImage(core, image, kind);
    return complete;
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
    TDeviceSession session(core, device, TSessionKind::Operation);
    if (!ReadParamsCore(session, *list, hostWindow)) return false;
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
