#include "configurator/core/CfgSettings.h"

#include "platform/CodePages.h"
#include "platform/IniFile.h"
#include "platform/ProgramDir.h"

#include <algorithm>

namespace {

const char* const kPlacement = "Placement";
const char* const kCfg = "Cfg";
const char* const kAutosave = "Autosave";

} // namespace

std::filesystem::path CfgIniFileName() { return platform::ProgramFilesDir() / "Mirvak.ini"; }

TCfgSettings ReadCfgSettings(platform::CustomIniFile& ini)
{
    TCfgSettings s;
    s.HasPlacement = ini.ValueExists(kPlacement, "Width") && ini.ValueExists(kPlacement, "Height");
    TScreenRect& r = s.Placement.Normal;
    r.Left = ini.ReadInteger(kPlacement, "Left", 0);
    r.Top = ini.ReadInteger(kPlacement, "Top", 0);
    r.Width = ini.ReadInteger(kPlacement, "Width", 0);
    r.Height = ini.ReadInteger(kPlacement, "Height", 0);
    s.Placement.Maximized = ini.ReadBool(kPlacement, "Maximized", false);
    s.LastDevice = ini.ReadInteger(kAutosave, "LastDevice", 0);
    s.TreeWidth = ini.ReadInteger(kCfg, "TreeWidth", 200);
    s.HasTreeWidth = ini.ValueExists(kCfg, "TreeWidth");
    s.MsgHeight = ini.ReadInteger(kCfg, "MsgHeight", 100);
    s.SelHUB = ini.ReadInteger(kCfg, "SelHUB", 0);
    s.LastParamFile = ini.ReadString(kCfg, "LastParamFile", "");
    return s;
}

void WriteCfgSettings(platform::CustomIniFile& ini, const TCfgSettings& s, bool writeLastDevice)
{
    const TScreenRect& r = s.Placement.Normal;
    ini.WriteInteger(kPlacement, "Left", r.Left);
    ini.WriteInteger(kPlacement, "Top", r.Top);
    ini.WriteInteger(kPlacement, "Width", r.Width);
    ini.WriteInteger(kPlacement, "Height", r.Height);
    ini.WriteBool(kPlacement, "Maximized", s.Placement.Maximized);
    if (writeLastDevice) ini.WriteInteger(kAutosave, "LastDevice", s.LastDevice);
    ini.WriteInteger(kCfg, "TreeWidth", s.TreeWidth);
    ini.WriteInteger(kCfg, "MsgHeight", s.MsgHeight);
    ini.WriteInteger(kCfg, "SelHUB", s.SelHUB);
    ini.WriteString(kCfg, "LastParamFile", StorableParamFile(s.LastParamFile));
}

TCfgSettings LoadCfgSettings(const std::filesystem::path& fileName)
{
    platform::MemIniFile ini(fileName);
    return ReadCfgSettings(ini);
}

void SaveCfgSettings(const std::filesystem::path& fileName, const TCfgSettings& settings, bool writeLastDevice)
{
    platform::MemIniFile ini(fileName);
    WriteCfgSettings(ini, settings, writeLastDevice);
    ini.UpdateFile();
}

std::string StorableParamFile(const std::string& path)
{
    if (path.find_first_of("\r\n") != std::string::npos) return {};
    if (!path.empty() && (path.front() == ' ' || path.front() == '\t' || path.back() == ' ' || path.back() == '\t'))
        return {};
    if (platform::AnsiToUtf8(platform::Utf8ToAnsi(path)) != path) return {};
    return path;
}

TWindowPlacement FixRestoredPlacement(TWindowPlacement p, int virtualScreenWidth, const TScreenRect& area,
                                      int minHeight)
{
    TScreenRect& r = p.Normal;
    if (r.Height < minHeight) r.Height = minHeight;
    if (r.Left < 0 || r.Left > virtualScreenWidth) {
        r.Left = area.Left + std::max(0, (area.Width - r.Width) / 2);
        const bool topVisible = r.Top >= area.Top && r.Top < area.Top + area.Height;
        if (!topVisible) r.Top = area.Top + std::max(0, (area.Height - r.Height) / 2);
    }
    return p;
}
