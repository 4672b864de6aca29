#include "loader/LoaderRead.h"

#include "loader/LoaderCore.h"
#include "platform/Format.h"
#include "platform/IniFile.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

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
