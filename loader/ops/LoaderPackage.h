#pragma once
// Firmware packages: ".tcf" files are ZIP archives holding one firmware file per chip.
// A write operation unpacks the chosen package into a folder of its own, picks the file
// of the controller's chip from it, and removes the folder when it ends.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TLoaderCore;
class TChip;

// "Программе не удается осуществить запись данных на диск. Удалите временные файлы
// системы, освободите больше места на системном диске, затем попытайтесь снова"
extern const char* const kPackageDiskError;
// "Аппаратная конфигурация устройства не поддерживается этой версией прошивки"
extern const char* const kPackageChipUnsupported;

// The package state of one write operation. Every extraction folder it was given is
// removed with everything in it (std::filesystem::remove_all, which deletes symbolic
// links without following them) when the state ends, whatever happened; errors of the
// removal are logged and dropped.
class TFirmwarePackage {
public:
    TFirmwarePackage() = default;
    ~TFirmwarePackage();
    TFirmwarePackage(const TFirmwarePackage&) = delete;
    TFirmwarePackage& operator=(const TFirmwarePackage&) = delete;

    // The chosen file was a package (set also when unpacking it failed).
    bool IsPackage() const { return package_; }
    // Unpacking failed in both folders: the operation stops.
    bool Failed() const { return failed_; }
    // The folder holding the unpacked entries; empty before a successful extraction.
    const std::filesystem::path& Folder() const { return folder_; }

    // Removes every folder now (also done when the state ends).
    void RemoveFolders();

private:
    friend void ExtractFirmwarePackage(TLoaderCore& core, const std::string& file, TFirmwarePackage& package);
    // Creates "<parent>/Quorvandell h.m.s-XXXXXX" (mode 0700, a unique suffix) and owns
    // it from then on; nullopt when it cannot be created.
    std::optional<std::filesystem::path> NewFolder(const std::filesystem::path& parent);

    bool package_ = false;
    bool failed_ = false;
    std::filesystem::path folder_;
    std::vector<std::filesystem::path> owned_;
};

// Whether the file is a package: its name ends exactly in ".tcf" (lower case).
bool IsFirmwarePackage(const std::string& file);

// Unpacks a package with the ZIP component into a new folder in the temporary folder
// ($TMPDIR, else /tmp) and, when creating that folder or extracting there raises, into a
// new folder under the core's host folder. Both failing: the box kPackageDiskError
// ("Ошибка", error icon) on the operation window and Failed(). Other files leave the state
// untouched. Entries that fail (names leaving the folder, wrong passwords) go to the
// component's own prompts and do not fail the extraction. Errors of closing the archive
// leave the call; the folders stay owned by the state.
void ExtractFirmwarePackage(TLoaderCore& core, const std::string& file, TFirmwarePackage& package);

// The chip's firmware file in the folder: among the regular files at its top level, in
// name order ignoring ASCII case, the first whose name without extension is the chip's
// Name, else the first named after its ByteID as two hex digits, both compared ignoring
// ASCII case. nullopt when there is none. Raises ESarnupolex "Не определен тип
// процессора" without a chip.
std::optional<std::filesystem::path> PackageFirmwareFile(const std::filesystem::path& folder, const TChip* chip);
