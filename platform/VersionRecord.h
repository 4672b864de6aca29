#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Every binary of the system carries a version record: an ELF note (owner
// kVersionNoteOwner, type kVersionNoteType) in an allocated section, so that it lies in
// a PT_NOTE segment and survives stripping. The CMake function mirvak_version_record
// gives a target its record.
//
// Description of the note, little-endian:
//   u32 layout (1)
//   u32 version, most significant half (major << 16 | minor)
//   u32 version, least significant half (release << 16 | build)
//   u32 file flags mask
//   u32 file flags (kVersionFlag...)
//   u32 file type (VersionFileType)
//   three strings, each u32 byte count + UTF-8 bytes: ProductName, FileDescription,
//   FileVersion
inline constexpr const char* kVersionNoteOwner = "Mirvak";
inline constexpr uint32_t kVersionNoteType = 0x4D560001;
inline constexpr uint32_t kVersionRecordLayout = 1;

inline constexpr uint32_t kVersionFlagDebug = 0x01;
inline constexpr uint32_t kVersionFlagPrerelease = 0x02;
inline constexpr uint32_t kVersionFlagPrivateBuild = 0x08;
inline constexpr uint32_t kVersionFlagSpecialBuild = 0x20;

enum class VersionFileType : uint32_t { Unknown = 0, Program = 1, SharedLibrary = 2 };

struct VersionRecord {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t release = 0;
    uint16_t build = 0;
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    VersionFileType fileType = VersionFileType::Unknown;
    std::string productName;
    std::string fileDescription;
    std::string fileVersion;

    // A flag counts only where the mask lets it through.
    bool HasFlag(uint32_t flag) const { return (fileFlags & fileFlagsMask & flag) != 0; }
};

// The description bytes of the version note of an ELF file. The file is only read: it
// is never mapped, loaded or run. Only 64-bit little-endian ELF files are accepted;
// false for anything else, for a file without the note, and for a damaged one.
PLATFORM_API bool ReadVersionNote(const std::filesystem::path& file, std::string& description);

// Decodes the description of a version note; false when it is too short or its
// strings run past its end.
PLATFORM_API bool ParseVersionRecord(std::string_view description, VersionRecord& record);

// ReadVersionNote and ParseVersionRecord together.
PLATFORM_API bool ReadVersionRecord(const std::filesystem::path& file, VersionRecord& record);

} // namespace platform
