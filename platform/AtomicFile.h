#pragma once

#include "platform/PlatformApi.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string_view>

namespace platform {

// Writes a file for the user without ever destroying the previous one: the writer fills
// a temporary file in the target's folder, which is flushed, synced and renamed over the
// target. On any failure (also an exception of the writer) the temporary file is removed,
// the target stays as it was, and the error is raised: EFCreateError "Cannot create
// file "%s". %s" when the file cannot be made or written, or the writer's own exception.
// A new file gets mode 0666 & ~umask; a replaced file keeps its mode; a symbolic link
// is followed and its destination replaced.
PLATFORM_API void WriteFileAtomically(const std::filesystem::path& target,
                                      const std::function<void(std::ostream&)>& writer);
PLATFORM_API void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Opens a file for binary reading; EFOpenError "Cannot open file "%s". %s" on failure.
PLATFORM_API void OpenInputFile(const std::filesystem::path& path, std::ifstream& stream);

// "Cannot create file "%s". %s" / "Cannot open file "%s". %s" with the system's reason.
PLATFORM_API std::string CannotCreateFileText(const std::filesystem::path& path, int error);
PLATFORM_API std::string CannotOpenFileText(const std::filesystem::path& path, int error);

} // namespace platform
