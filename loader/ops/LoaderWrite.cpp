#include "loader/ops/LoaderWrite.h"

#include "loader/core/Chips.h"
#include "loader/core/ExceptionLog.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/ops/LoaderExports.h"
#include "loader/ops/LoaderRead.h"
#include "loader/protocol/LoaderHandshake.h"
#include "loader/ops/LoaderPackage.h"
#include "loader/protocol/LoaderScript.h"
#include "loader/protocol/LoaderTftp.h"
#include "loader/protocol/LoaderTransfer.h"
#include "loader/api/SarnupolexConst.h"
#include "common/StrRoutines.h"
#include "model/Memory.h"
#include "platform/Dialogs.h"
#include "platform/Format.h"
#include "platform/Windows.h"

#include <algorithm>
#include <exception>
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

void SendOperationMark(TLoaderCore& core, int32_t mark)
{
    const platform::HWND window = core.OperationWindow();
    if (window == 0 || !platform::IsWindow(window)) return;
    platform::SendMessage(window, platform::WM_LOADER_PROGRESS, static_cast<platform::WPARAM>(mark), 0);
}

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

// One device operation: the begin mark, and on leaving, whatever happened, the end mark,
// the script's end pause and the closing of the connection. The library's own errors
// become the "Ошибка" box and the result false.
class TDeviceOperation {
public:
    TDeviceOperation(TLoaderCore& core, const std::string& line)
        : core_(core), settings_(ParseConnectionSettings(line)), transfer_(core)
    {
        SendOperationMark(core_, PROGRESS_OP_BEGIN);
    }
    ~TDeviceOperation()
    {
        try {
            SendOperationMark(core_, PROGRESS_OP_END);
            RunEndPause(core_, settings_.ScriptName);
        } catch (...) {
            LogException(std::current_exception());
        }
        try {
            core_.Connection().CloseDevice();
        } catch (...) {
            LogException(std::current_exception());
        }
    }
    TDeviceOperation(const TDeviceOperation&) = delete;
    TDeviceOperation& operator=(const TDeviceOperation&) = delete;

    template <class Body>
    bool Run(Body&& body)
    {
        try {
            return body();
        } catch (const ESarnupolex& e) {
            LogException(std::current_exception());
            ShowError(core_, e.what());
            return false;
        }
    }

    // Opens the line's connection, runs the script's preliminary phase and the handshake.
    void Open(const std::string& line)
    {
        core_.Connection().OpenDevice(line);
        MakeScript(core_, transfer_, settings_.ScriptName, settings_.ScriptSpeed, TScriptPhase::Preliminary, true);
        RunHandShake(core_);
    }
    // The final phase with the flash-save activation.
    void Finish() { MakeScript(core_, transfer_, settings_.ScriptName, settings_.ScriptSpeed, TScriptPhase::Final, true); }

    const TConnectionSettings& Settings() const { return settings_; }
    TBlockTransfer& Transfer() { return transfer_; }

private:
    TLoaderCore& core_;
    TConnectionSettings settings_;
    TBlockTransfer transfer_;
};

std::string SelectDevice(TLoaderCore& core, int32_t device)
{
    const std::vector<std::string> lines = core.DeviceLines();
    return DeviceLineByIndex(lines, device);
}

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
bool WriteFirmwareTo(TLoaderCore& core, const std::string& line, const std::string& file,
                     const TFirmwarePackage& package, const std::vector<const TMemoryBlock*>* params,
                     uint32_t baseAddress)
{
    TDeviceOperation operation(core, line);
    return operation.Run([&] {
        if (!params && operation.Settings().TFTP) return TFTPTransfer(core, operation.Settings().Host, file).Run();
        operation.Open(line);
        fs::path image = file;
        if (package.IsPackage()) {
            const std::optional<fs::path> chipFile = PackageFirmwareFile(package.Folder(), core.Chips().Current());
            if (!chipFile) {
                ShowError(core, kPackageChipUnsupported);
                return false;
            }
            image = *chipFile;
        }
        return WriteFirmwareImage(core, operation.Transfer(), image, params, baseAddress);
    });
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
    const std::string line = SelectDevice(core, device);
    TDeviceOperation operation(core, line);
    return operation.Run([&] {
        if (!Confirmed(core, platform::Format("Подтвердите операцию записи параметров\nУстройство: %s\nсоединение: %s",
                                              GetParam(line, "Name").c_str(), DescribeConnection(line).c_str())))
            return false;
        const std::vector<const TMemoryBlock*> sorted = SortedBlocks(blocks);
        const std::string paramsVersion = GetSchemeVersion(sorted);
        operation.Open(line);
        const TChip* chip = core.Chips().Current();
        if (chip && chip->FindFirmwareID && !SplitString('.', paramsVersion).empty()) {
            std::string firmwareVersion;
            // A search the host cancelled ends the operation as a cancelled transfer does.
            if (!operation.Transfer().FindFirmwareId(false, false, firmwareVersion)) return false;
            core.PostLogLine("#Версия: " + firmwareVersion);
            if (FirmwareVersionDiffers(paramsVersion, firmwareVersion) &&
                platform::ShowMessageBox(core.OperationWindow(),
                                         platform::Format(kVersionQuestion, firmwareVersion.c_str(),
                                                          paramsVersion.c_str()),
                                         "Внимание", platform::MsgIcon::Warning,
                                         platform::MsgButtons::YesNo) != platform::MsgResult::Yes)
                return false;
        }
        core.PostLogLine("Запись параметров...");
        operation.Transfer().ResetWriteChecksum();
        TBlockView list(sorted);
        if (!operation.Transfer().WriteBlocks(list, baseAddress,
                                              platform::Format("Запись параметров (%s)", ChipName(core).c_str())))
            return false;
        core.PostLogLine("Параметры загружены");
        operation.Finish();
        core.PostLogLine("Параметры записаны");
        return true;
    });
}

bool WriteFirmware(TLoaderCore& core, int32_t device, const std::string& /*scheme*/)
{
    std::string file;
    if (!ExistingFirmwareFile(core, file)) return false;
    TFirmwarePackage package; // its folder goes when the operation ends, on every path
    ExtractFirmwarePackage(core, file, package);
    if (package.Failed()) return false;
    const std::string line = SelectDevice(core, device);
    if (!Confirmed(core, platform::Format("Подтвердите операцию записи прошивки\nУстройство: %s\nсоединение: %s\n%s",
                                          GetParam(line, "Name").c_str(), DescribeConnection(line).c_str(),
                                          file.c_str())))
        return false;
    return WriteFirmwareTo(core, line, file, package, nullptr, 0);
}

bool WriteFirmwareAndParams(TLoaderCore& core, int32_t device, const std::string& /*scheme*/, const TBlockList* blocks,
                            uint32_t baseAddress)
{
    std::string file;
    if (!ExistingFirmwareFile(core, file)) return false;
    TFirmwarePackage package;
    ExtractFirmwarePackage(core, file, package);
    if (package.Failed()) return false;
    const std::string line = SelectDevice(core, device);
    const std::vector<const TMemoryBlock*> params = SortedBlocks(blocks);
    return WriteFirmwareTo(core, line, file, package, &params, baseAddress);
}

bool WriteFirmwareImage(TLoaderCore& core, TBlockTransfer& transfer, const fs::path& file,
                        const std::vector<const TMemoryBlock*>* params, uint32_t baseAddress)
{
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
    transfer.ResetWriteChecksum();
    TBlockList list;
    for (int i = 0; i < image.BlockCount(); ++i) list.AddBlock(image.BlockByIndex(i));
    if (!transfer.WriteBlocks(list, 0, platform::Format("Загрузка прошивки \"%s\"%s", ChipName(core).c_str(), suffix)))
        return false;
    core.PostLogLine("Запись прошивки.");
    MakeScript(core, transfer, core.Connection().Settings().ScriptName, core.Connection().Settings().ScriptSpeed,
               TScriptPhase::Final, true);
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
