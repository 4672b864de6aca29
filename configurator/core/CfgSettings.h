#pragma once

#include <filesystem>
#include <string>

namespace platform {
class CustomIniFile;
}

// The configurator's settings file "Mirvak.ini" in the program's files folder: the
// window placement and the last settings, read when the window is first shown and
// written once at shutdown.

// A rectangle in screen pixels.
struct TScreenRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// The window's normal geometry and whether it was maximized.
struct TWindowPlacement {
    TScreenRect Normal;
    bool Maximized = false;
};

struct TCfgSettings {
    bool HasPlacement = false;        // the file held a placement
    TWindowPlacement Placement;       // [Placement] Left, Top, Width, Height, Maximized
    int LastDevice = 0;               // [Autosave] LastDevice
    int TreeWidth = 200;              // [Cfg] TreeWidth
    bool HasTreeWidth = false;        // the file held [Cfg] TreeWidth
    int MsgHeight = 100;              // [Cfg] MsgHeight
    int SelHUB = 0;                   // [Cfg] SelHUB, a model code
    std::string LastParamFile;        // [Cfg] LastParamFile
};

// The settings file of the running program.
std::filesystem::path CfgIniFileName();

// Reads the settings; what is missing or unreadable keeps its default.
TCfgSettings ReadCfgSettings(platform::CustomIniFile& ini);
// Writes the placement, then (only with writeLastDevice) "Autosave"/"LastDevice", then
// "Cfg" TreeWidth, MsgHeight, SelHUB and LastParamFile, in this order. Other keys of the
// file stay.
void WriteCfgSettings(platform::CustomIniFile& ini, const TCfgSettings& settings, bool writeLastDevice);

// The file read as a whole; a missing file gives the defaults.
TCfgSettings LoadCfgSettings(const std::filesystem::path& fileName);
// The file rewritten once, atomically; raises when it cannot be written (the old file stays).
void SaveCfgSettings(const std::filesystem::path& fileName, const TCfgSettings& settings, bool writeLastDevice);

// A path as the settings file keeps it: unchanged when the file gives it back exactly,
// else empty (a character Windows-1251 lacks, a line break, blanks at either end), so
// that a wrong path is never looked for.
std::string StorableParamFile(const std::string& path);

// A restored placement brought onto the screen: when its left edge is negative or lies
// beyond the virtual screen's width, it is centred horizontally on the primary screen's
// available area and keeps its top when that lies inside the area (else it is centred
// vertically as well); a height below minHeight becomes minHeight.
TWindowPlacement FixRestoredPlacement(TWindowPlacement placement, int virtualScreenWidth,
                                      const TScreenRect& primaryAvailable, int minHeight);
