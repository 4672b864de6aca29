#include "configurator/FileVersion.h"

#include "configurator/StatusBar.h"
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

void FitStatusPanels(TStatusBar* bar)
{
    const int n = bar->PanelCount();
    if (n < 2) return;
    const int last = bar->TextWidth(bar->PanelText(n - 1));
    int others = 0;
    for (int i = 0; i < n - 2; ++i) others += bar->PanelWidth(i);
    bar->SetPanelWidth(n - 2, bar->width() - last - others - 25);
    bar->SetKeepLastPanelFitted(true);
}
