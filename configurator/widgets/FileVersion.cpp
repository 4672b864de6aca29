#include "configurator/widgets/FileVersion.h"

#include "configurator/widgets/StatusBar.h"
#include "platform/Format.h"
#include "platform/VersionRecord.h"

#include <exception>

bool GetFileVersionParts(const std::string& fileName, TFileVersionParts& parts)
{
    platform::VersionRecord r;
    if (!platform::ReadVersionRecord(fileName, r)) return false;
    parts.Major = r.major;
    parts.Minor = r.minor;
    parts.Release = r.release;
    parts.Build = r.build;
    parts.Debug = r.HasFlag(platform::kVersionFlagDebug);
    parts.Prerelease = r.HasFlag(platform::kVersionFlagPrerelease);
    parts.PrivateBuild = r.HasFlag(platform::kVersionFlagPrivateBuild);
    parts.SpecialBuild = r.HasFlag(platform::kVersionFlagSpecialBuild);
    parts.IsDll = r.fileType == platform::VersionFileType::SharedLibrary;
    return true;
}

void ShowVersionInStatusBar(TStatusBar* bar, const std::string& fileName, std::string& errorText)
{
    errorText.clear();
    try {
        TFileVersionParts v;
        if (!GetFileVersionParts(fileName, v)) return;
        std::string text = platform::Format("Версия %d.%d.%d.%d", v.Major, v.Minor, v.Release, v.Build);
        if (v.Debug) text += " (тестовая)";
        bar->AddPanel(QString::fromStdString(text));
        FitStatusPanels(bar);
    } catch (const std::exception& e) {
        errorText = std::string("Ошибка при \"GetFileVersionRoot\": ") + e.what();
    }
}
