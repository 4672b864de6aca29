#include "loader/ops/LoaderWrite.h"

#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/DeviceSession.h"
#include "loader/ops/LoaderRead.h"
#include "loader/ops/LoaderPackage.h"
#include "loader/protocol/LoaderTftp.h"
#include "loader/protocol/LoaderTransfer.h"
#include "common/StrRoutines.h"
#include "model/Memory.h"
#include "platform/Dialogs.h"
#include "platform/Format.h"
#include "platform/Windows.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

const char* const kParamsOverlapProgram =
    "Область памяти параметров пересекается с памятью программы.\rБлок программы: адрес %.8X, размер %d.\rБлок "
    "параметров: адрес %.8X, размер %d";
const char* const kVersionQuestion = "Прошивка версии %s параметры версии %s. Продолжать?";

namespace {

const char kSchemeMarker[] = "Scheme ID:";
const char kFirmwareSection[] = "WriteOpenDialogFLASH";
const char kWarningCaption[] = "Предупреждение";

bool IsVersionChar(uint8_t c) { return c == '.' || (c >= '0' && c <= '9'); }

// OK to the confirmation, or no confirmation asked.
bool Confirmed(TLoaderCore& core, const std::string& text)
{
    if (core.DialogsConfDisabled()) return true;
    return platform::ShowMessageBox(core.OperationWindow(), text, kWarningCaption, platform::MsgIcon::Warning,
                                    platform::MsgButtons::OKCancel) == platform::MsgResult::OK;
}

void ShowError(TLoaderCore& core, const std::string& text)
{
    platform::ShowMessageBox(core.OperationWindow(), text, "Ошибка", platform::MsgIcon::Error,
                             platform::MsgButtons::OK);
}

std::string ChipName(TLoaderCore& core)
{
    const TChip* chip = core.Chips().Current();
    return chip ? chip->Name : std::string();
}

// A list over the blocks for the transfers; it owns nothing.
class TBlockView : public TBlockList {
public:
    explicit TBlockView(const std::vector<const TMemoryBlock*>& blocks)
    {
        for (const TMemoryBlock* b : blocks) Add(const_cast<TMemoryBlock*>(b));
    }
};

// The chosen file when it exists; else the error box and nothing.
bool ExistingFirmwareFile(TLoaderCore& core, std::string& file)
{
    file = ChosenFirmwareFile(core);
    std::error_code ec;
    if (!file.empty() && fs::is_regular_file(file, ec)) return true;
    ShowError(core, file.empty() ? std::string("Файл не найден") : "Файл \"" + file + "\" не найден");
    return false;
}

// A package's chip file is picked after the handshake; the TFTP device gets the chosen
// file itself.
bool WriteFirmwareTo(TDeviceSession& session, const std::string& file, const TFirmwarePackage& package,
                     const std::vector<const TMemoryBlock*>* params, uint32_t baseAddress)
{
    TLoaderCore& core = session.Core();
    if (!params && session.Settings().TFTP) return TFTPTransfer(core, session.Settings().Host, file).Run();
    session.Open();
    fs::path image = file;
    if (package.IsPackage()) {
        const std::optional<fs::path> chipFile = PackageFirmwareFile(package.Folder(), core.Chips().Current());
        if (!chipFile) {
            ShowError(core, kPackageChipUnsupported);
            return false;
        }
        image = *chipFile;
    }
    return WriteFirmwareImage(session, image, params, baseAddress);
}

} // namespace

std::vector<const TMemoryBlock*> SortedBlocks(const TBlockList* blocks)
{
    std::vector<const TMemoryBlock*> sorted;
    if (!blocks) return sorted;
    for (int i = 0; i < blocks->Count(); ++i) sorted.push_back(blocks->Block(i));
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TMemoryBlock* a, const TMemoryBlock* b) { return a->Address < b->Address; });
    return sorted;
}

std::string GetSchemeVersion(const std::vector<const TMemoryBlock*>& blocks)
{
    TMemory image;
    for (const TMemoryBlock* b : blocks) {
        if (b->Size <= 0) continue;
        TMemoryBlock* copy = image.AddBlock(b->Address, b->Size);
        std::copy_n(b->Data(), b->Size, copy->Data());
    }
    int64_t count = -1;
    const auto rest = image.SearchPattern(
        std::span(reinterpret_cast<const uint8_t*>(kSchemeMarker), sizeof kSchemeMarker - 1), count);
    std::string version;
    if (!rest) return version;
    for (const uint8_t c : *rest) {
        if (!IsVersionChar(c)) break;
        version += static_cast<char>(c);
    }
    return version;
}

bool FirmwareVersionDiffers(const std::string& paramsVersion, const std::string& firmwareVersion)
{
    const std::vector<std::string> params = SplitString('.', paramsVersion);
    std::vector<std::string> firmware = SplitString('.', firmwareVersion);
    if (params.empty() || firmware.empty()) return false;
    while (firmware.size() < std::min<size_t>(params.size(), 2)) firmware.push_back("0");
    if (firmware[0] != params[0]) return true;
    return params.size() > 1 && firmware[1] != params[1];
}

void CheckParamsOverlap(const TMemory& image, const std::vector<const TMemoryBlock*>& params, uint32_t base)
{
    for (const TMemoryBlock* p : params) {
        if (p->Size <= 0) continue;
        const uint64_t a = uint64_t{base} + p->Address;
        const uint64_t aEnd = a + static_cast<uint64_t>(p->Size);
        for (int i = 0; i < image.BlockCount(); ++i) {
            const TMemoryBlock* f = image.BlockByIndex(i);
            if (f->Size <= 0) continue;
            const uint64_t b = f->Address;
            const uint64_t bEnd = b + static_cast<uint64_t>(f->Size);
            if (a < bEnd && b < aEnd)
                throw ESarnupolex(platform::Format(kParamsOverlapProgram, f->Address, f->Size,
                                                   static_cast<uint32_t>(a), p->Size));
        }
    }
}

std::string ChosenFirmwareFile(TLoaderCore& core)
{
    return core.OpenDialogSettings()->ReadString(kFirmwareSection, "FileName", "");
}

bool WriteDeviceParams(TLoaderCore& core, int32_t device, const std::string& /*scheme*/, const TBlockList* blocks,
                       uint32_t baseAddress, uint8_t /*linearHex*/)
{
    TDeviceSession session(core, device, TSessionKind::Operation);
    if (!Confirmed(core, platform::Format("Подтвердите операцию записи параметров\nУстройство: %s\nсоединение: %s",
                                          GetParam(session.Line(), "Name").c_str(),
                                          DescribeConnection(session.Line()).c_str())))
        return false;
    const std::vector<const TMemoryBlock*> sorted = SortedBlocks(blocks);
    const std::string paramsVersion = GetSchemeVersion(sorted);
    session.Open();
    const TChip* chip = core.Chips().Current();
    if (chip && chip->FindFirmwareID && !SplitString('.', paramsVersion).empty()) {
        std::string firmwareVersion;
        // A search the host cancelled ends the operation as a cancelled transfer does.
        if (!session.Transfer().FindFirmwareId(false, false, firmwareVersion)) return false;
        core.PostLogLine("#Версия: " + firmwareVersion);
        if (FirmwareVersionDiffers(paramsVersion, firmwareVersion) &&
            platform::ShowMessageBox(core.OperationWindow(),
                                     platform::Format(kVersionQuestion, firmwareVersion.c_str(), paramsVersion.c_str()),
                                     "Внимание", platform::MsgIcon::Warning,
                                     platform::MsgButtons::YesNo) != platform::MsgResult::Yes)
            return false;
    }
    core.PostLogLine("Запись параметров...");
    session.Transfer().ResetWriteChecksum();
    TBlockView list(sorted);
    if (!session.Transfer().WriteBlocks(list, baseAddress,
                                        platform::Format("Запись параметров (%s)", ChipName(core).c_str())))
        return false;
    core.PostLogLine("Параметры загружены");
    session.FinalPhase(true);
    core.PostLogLine("Параметры записаны");
    return true;
}

bool WriteFirmware(TLoaderCore& core, int32_t device, const std::string& /*scheme*/)
{
    std::string file;
    if (!ExistingFirmwareFile(core, file)) return false;
    TFirmwarePackage package; // its folder goes when the operation ends, on every path
    ExtractFirmwarePackage(core, file, package);
    if (package.Failed()) return false;
    TDeviceSession session(core, device, TSessionKind::Operation);
    if (!Confirmed(core, platform::Format("Подтвердите операцию записи прошивки\nУстройство: %s\nсоединение: %s\n%s",
                                          GetParam(session.Line(), "Name").c_str(),
                                          DescribeConnection(session.Line()).c_str(), file.c_str())))
        return false;
    return WriteFirmwareTo(session, file, package, nullptr, 0);
}

bool WriteFirmwareAndParams(TLoaderCore& core, int32_t device, const std::string& /*scheme*/, const TBlockList* blocks,
                            uint32_t baseAddress)
{
    std::string file;
    if (!ExistingFirmwareFile(core, file)) return false;
    TFirmwarePackage package;
    ExtractFirmwarePackage(core, file, package);
    if (package.Failed()) return false;
    const std::vector<const TMemoryBlock*> params = SortedBlocks(blocks);
    TDeviceSession session(core, device, TSessionKind::Operation);
    return WriteFirmwareTo(session, file, package, &params, baseAddress);
}

bool WriteFirmwareImage(TDeviceSession& session, const fs::path& file, const std::vector<const TMemoryBlock*>* params,
                        uint32_t baseAddress)
{
    TLoaderCore& core = session.Core();
    core.PostLogLine(platform::Format("Чтение файла: %s", file.string().c_str()));
    TMemory image;
    image.LoadFromHexFile(file);
    if (params) {
        CheckParamsOverlap(image, *params, baseAddress);
        for (const TMemoryBlock* p : *params) {
            TMemoryBlock* copy = image.AddBlock(static_cast<uint32_t>(uint64_t{baseAddress} + p->Address), p->Size);
            std::copy_n(p->Data(), std::max(p->Size, 0), copy->Data());
        }
    }
    // Sorted once: sorted insertion would move the list for every record.
    image.SetSorted(true);
    const char* suffix = params ? " и параметров" : "";
    core.PostLogLine(platform::Format("Загрузка прошивки \"%s\"%s", file.string().c_str(), suffix));
    session.Transfer().ResetWriteChecksum();
    TBlockList list;
    for (int i = 0; i < image.BlockCount(); ++i) list.AddBlock(image.BlockByIndex(i));
    if (!session.Transfer().WriteBlocks(list, 0,
                                        platform::Format("Загрузка прошивки \"%s\"%s", ChipName(core).c_str(), suffix)))
        return false;
    core.PostLogLine("Запись прошивки.");
    session.FinalPhase(true);
    core.PostLogLine("Прошивка записана");
    return true;
}

bool ChooseFirmwareFile(TLoaderCore& core)
{
    platform::FileDialogRequest request;
    request.owner = core.OperationWindow();
    request.kind = platform::FileDialogKind::Open;
    request.filter = "Файлы прошивок|*.a90;*.a82;*.tcf|Hex файлы|*.hex|Exe файлы|*.exe|Все файлы|*.*";
    platform::FileDialogResult result;
    if (!RunFileDialog(core, request, kFirmwareSection, kFirmwareDirKey, result)) return false;
    core.PostLogLine(platform::Format("Выбранв прошивка \"%s\"", result.fileName.c_str()));
    return true;
}
