#pragma once

// The processors the bootloaders run on: sizes, transfer chunk, addressing and reply
// times of each, read from "Chip.ini" next to the host program and completed with the
// built-in rows.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class CustomIniFile;
}

class TChip {
public:
    TChip(uint8_t byteId, std::string name, int32_t sector, int32_t sizeFlash, int32_t sizeEpp, bool fixedWrite,
          int32_t flashTimeOut, int32_t fixedWriteTimeOut, int32_t readTimeOut, int32_t eepTimeOut, bool linearAddr,
          bool findFirmwareId, uint32_t flashStartAddress);
    // From the section "Chip<index>"; a missing or unreadable value takes its default.
    TChip(platform::CustomIniFile& ini, int index);

    // Into the section "Chip<index>", keys in their fixed order.
    void SaveToIni(platform::CustomIniFile& ini, int index) const;

    int32_t EEPTimeOut = 3000;
    bool FixedWrite = false;
    uint32_t FlashStartAddress = 0;
    int32_t FlashTimeOut = 3000;
    int32_t FixedWriteTimeOut = 3000;
    int32_t ReadTimeOut = 300;
    uint8_t ByteID = 0;
    bool LinearAddr = false;
    bool FindFirmwareID = true;
    std::string Name;
    // A chip without Sector keeps 0: rows are never dropped or repaired, because
    // device settings refer to chips by index. Block transfers refuse such a chip.
    int32_t Sector = 0;
    int32_t SizeFlash = 0;
    int32_t SizeEPP = 0;
};

class TChips {
public:
    TChips();
    ~TChips();
    TChips(const TChips&) = delete;
    TChips& operator=(const TChips&) = delete;

    // Reads "Chip.ini" of the host program's folder (or the given file), completes the
    // table with the built-in rows and writes the file back. Raises nothing: a missing
    // or unreadable file reads as empty, a failed write leaves the file as it was.
    void Load();
    void Load(const std::filesystem::path& fileName);
    void Clear();

    int Count() const { return static_cast<int>(items_.size()); }
    // EListError "List index out of bounds (%d)" outside the table.
    TChip& Items(int index) const;

    // Index of the first chip with exactly that name (letter case counts), or -1; with
    // select, the found chip (or none) becomes current.
    int IndexOfName(const std::string& name, bool select);
    int IndexOfByteID(uint8_t byteId, bool select);
    // The chip at the index becomes current; none outside the table.
    void SelectChip(int index);

    TChip* Current() const { return current_; }
    uint8_t AddrDev = 250;

private:
    std::vector<std::unique_ptr<TChip>> items_;
    TChip* current_ = nullptr;
};

// Number of chips built into the table.
inline constexpr int kBuiltInChipCount = 14;
