#pragma once

#include <cstdint>
#include <string>

class TStatusBar;

// The version of a binary as its version record gives it (platform/VersionRecord.h).
struct TFileVersionParts {
    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
    // File flags, each as far as the flags mask lets it through.
    bool Debug = false;
    bool Prerelease = false;
    bool PrivateBuild = false;
    bool SpecialBuild = false;
    bool IsDll = false;  // the record says shared library
};

// Reads the version record of a file without loading it; false when the file has none
// or cannot be read.
bool GetFileVersionParts(const std::string& fileName, TFileVersionParts& parts);

// Adds a last panel "Версия a.b.c.d" (with " (тестовая)" for a Debug build) and fits the
// panels; adds nothing when the file has no record. Never raises: errorText is emptied
// first and receives the message of a failure.
void ShowVersionInStatusBar(TStatusBar* bar, const std::string& fileName, std::string& errorText);
