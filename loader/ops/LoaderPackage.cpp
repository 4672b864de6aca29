#include "loader/ops/LoaderPackage.h"

#include "archive/Halvorin.h"
#include "loader/core/Chips.h"
#include "loader/core/ExceptionLog.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "common/StrRoutines.h"
#include "platform/Dialogs.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <system_error>

#include <stdlib.h>

namespace fs = std::filesystem;

const char* const kPackageDiskError =
    "Программе не удается осуществить запись данных на диск. Удалите временные файлы системы, освободите больше "
    "места на системном диске, затем попытайтесь снова";
const char* const kPackageChipUnsupported = "Аппаратная конфигурация устройства не поддерживается этой версией прошивки";

namespace {

const char kPackageExtension[] = ".tcf";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// Ignoring ASCII case first, then bytewise, so that the order does not depend on the
// directory's.
bool NameBefore(const std::string& a, const std::string& b)
{
    const auto lower = [](char x, char y) { return LowerAscii(x) < LowerAscii(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower)) return false;
    return a < b;
}

fs::path TemporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? fs::path(tmp) : fs::path("/tmp");
}

// "Quorvandell h.m.s": the time of day without leading zeros.
std::string FolderPrefix()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return platform::Format("Quorvandell %d.%d.%d", local.tm_hour, local.tm_min, local.tm_sec);
}

// One extraction of every entry into the folder; the component's errors leave it.
void ExtractInto(THalvorin& archiver, const fs::path& folder)
{
    archiver.OpenArchive();
    archiver.SetBaseDir(folder.string());
    archiver.ExtractFiles("*.*", 10431, "");
}

} // namespace

TFirmwarePackage::~TFirmwarePackage() { RemoveFolders(); }

void TFirmwarePackage::RemoveFolders()
{
    for (const fs::path& folder : owned_) {
        std::error_code ec;
        fs::remove_all(folder, ec);
        if (ec) LogException(std::make_exception_ptr(std::system_error(ec, folder.string())));
    }
    owned_.clear();
}

std::optional<fs::path> TFirmwarePackage::NewFolder(const fs::path& parent)
{
    std::string pattern = (parent / (FolderPrefix() + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return std::nullopt;
    owned_.emplace_back(pattern);
    return owned_.back();
}

bool IsFirmwarePackage(const std::string& file)
{
    const std::string name = fs::path(file).filename().string();
    return name.size() >= sizeof kPackageExtension - 1 &&
           name.compare(name.size() - (sizeof kPackageExtension - 1), std::string::npos, kPackageExtension) == 0;
}

void ExtractFirmwarePackage(TLoaderCore& core, const std::string& file, TFirmwarePackage& package)
{
    package.package_ = false;
    package.failed_ = false;
    if (!IsFirmwarePackage(file)) return;
    std::unique_ptr<THalvorin> archiver = THalvorin::Create();
    archiver->Options().StorePath = spFullPath;
    archiver->SetFileName(file);
    const auto attempt = [&](const fs::path& parent) {
        try {
            const std::optional<fs::path> folder = package.NewFolder(parent);
            if (!folder) return false;
            ExtractInto(*archiver, *folder);
            package.folder_ = *folder;
            return true;
        } catch (...) {
            LogException(std::current_exception());
            return false;
        }
    };
    if (!attempt(TemporaryFolder()) && !attempt(core.HostFolder())) {
        platform::ShowMessageBox(core.OperationWindow(), kPackageDiskError, "Ошибка", platform::MsgIcon::Error,
                                 platform::MsgButtons::OK);
        package.RemoveFolders();
        package.failed_ = true;
    }
    archiver->CloseArchive();
    package.package_ = true;
}

std::optional<fs::path> PackageFirmwareFile(const fs::path& folder, const TChip* chip)
{
    if (!chip) throw ESarnupolex("Не определен тип процессора");
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (entry.symlink_status(ec).type() == fs::file_type::regular) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end(), NameBefore);
    for (const std::string& wanted : {chip->Name, platform::Format("%.2X", chip->ByteID)})
        for (const std::string& name : names)
            if (SameIgnoringCase(RemoveExtension(name), wanted)) return folder / name;
    return std::nullopt;
}
