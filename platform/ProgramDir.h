#pragma once

#include "platform/PlatformApi.h"

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// Environment variable that names the folder for the program's own files (tests set it).
inline constexpr const char* kProgramDirVariable = "MIRVAK_PROGRAM_DIR";

// Folder of the running executable, where the binaries live.
PLATFORM_API std::filesystem::path ExecutableDir();

// File name of the running executable without its folder.
PLATFORM_API std::string ExecutableName();

// Inputs of the "files next to the program" rule, gathered so that the rule itself
// is a pure function.
struct ProgramDirInputs {
    std::filesystem::path executableDir;
    bool executableDirWritable = false;
    std::optional<std::string> overrideDir;   // MIRVAK_PROGRAM_DIR
    std::optional<std::string> xdgConfigHome; // XDG_CONFIG_HOME
    std::optional<std::string> home;          // HOME
    std::string programName;                  // sub-folder name in the per-user folder
};

// The folder where the program keeps its ini files, logs and lists: the override when
// set and not empty; else the executable's folder when writable; else
// $XDG_CONFIG_HOME/<program> when that is absolute, or ~/.config/<program>.
PLATFORM_API std::filesystem::path ResolveProgramFilesDir(const ProgramDirInputs& in);

// The rule applied to this process (evaluated on every call). A per-user folder is
// created with mode 0700 when missing.
PLATFORM_API std::filesystem::path ProgramFilesDir();

} // namespace platform
