#include "loader/core/Chips.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/IniFile.h"
#include "platform/ProgramDir.h"

#include <algorithm>
#include <set>

namespace {

struct BuiltInChip {
    const char* name;
    uint8_t byteId;
    int32_t sector, sizeFlash, sizeEpp;
    bool fixedWrite;
    int32_t flashTimeOut, fixedWriteTimeOut, readTimeOut, eepTimeOut;
    bool linearAddr, findFirmwareId;
    uint32_t flashStartAddress;
};

// Device settings store a chip's index in the table, so this order never changes;
// a new processor goes at the end.
const BuiltInChip kBuiltIn[kBuiltInChipCount] = {
    {"STM32f205rg", 0xC3, 1024, 960, 0, true, 2000, 10000, 300, 300, true, true, 0x08010000},
    {"STM32f103re", 0xC1, 1024, 512, 0, true, 300, 10000, 300, 300, true, true, 0x08000000},
    {"AVR32-512", 0xA4, 256, 512, 0, true, 100, 3000, 300, 100, true, true, 0x80006000},
    {"AVR32-256", 0xA3, 256, 256, 0, true, 300, 3000, 300, 100, true, true, 0x80006000},
    {"ATMEGA1281", 0xE1, 256, 128, 4096, true, 300, 3000, 300, 3000, false, true, 0x80000000},
    {"BLACKFIN", 0xBF, 1024, 4096, 0, true, 2000, 20000, 500, 2000, true, true, 0x20000000},
    {"ATMEGA128", 0xE0, 256, 128, 4096, false, 300, 3000, 300, 3000, false, true, 0x80000000},
    {"ATMEGA64", 0xEE, 256, 64, 2048, false, 300, 3000, 300, 3000, false, true, 0x80000000},
    {"ATMEGA16", 0xDD, 128, 16, 512, false, 300, 3000, 300, 3000, false, false, 0x80000000},
    {"ATMEGA8", 0xCC, 64, 8, 512, false, 300, 3000, 300, 3000, false, false, 0x80000000},
    {"LPC2106", 0xA7, 256, 120, 0, true, 300, 3000, 300, 300, false, true, 0x80000000},
    {"STM32f405rg", 0xC4, 1024, 960, 0, true, 3000, 10000, 300, 300, true, true, 0x08010000},
    {"STM32f405vg", 0xC5, 1024, 960, 0, true, 3000, 10000, 300, 300, true, true, 0x08010000},
    {"Grendal", 0xC8, 1024, 4096, 0, true, 200, 10000, 300, 300, true, true, 0x00100000},
};

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// Decimal up to 4294967295, or hexadecimal after "0x" or "$" up to eight digits' worth.
bool ParseUnsigned32(const std::string& text, uint32_t& value)
{
    const std::string s = Trim(text);
    size_t i = 0;
    if (i < s.size() && s[i] == '+') ++i;
    unsigned base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t acc = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        acc = acc * base + digit;
        if (acc > 0xFFFFFFFFull) return false;
    }
    value = static_cast<uint32_t>(acc);
    return true;
}

std::string SectionName(int index) { return platform::Format("Chip%d", index); }

// The indices below count whose section SectionName(index) the file has, ascending. They
// are read off the file's sections, so that a huge count in the file costs nothing.
std::vector<int32_t> ChipSections(platform::CustomIniFile& ini, int32_t count)
{
    std::set<int32_t> found;
    for (const std::string& section : ini.ReadSections()) {
        // "Chip" in any letter case, then the index as SectionName writes it.
        if (section.size() < 5 || !platform::IniNamesEqual(section.substr(0, 4), "Chip")) continue;
        const std::string digits = section.substr(4);
        if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0') ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int64_t index = std::stoll(digits);
        if (index < count) found.insert(static_cast<int32_t>(index));
    }
    return {found.begin(), found.end()};
}

} // namespace

// ---------------------------------------------------------------------------------
// TChip

TChip::TChip(uint8_t byteId, std::string name, int32_t sector, int32_t sizeFlash, int32_t sizeEpp, bool fixedWrite,
             int32_t flashTimeOut, int32_t fixedWriteTimeOut, int32_t readTimeOut, int32_t eepTimeOut,
             bool linearAddr, bool findFirmwareId, uint32_t flashStartAddress)
    : EEPTimeOut(eepTimeOut),
      FixedWrite(fixedWrite),
      FlashStartAddress(flashStartAddress),
      FlashTimeOut(flashTimeOut),
      FixedWriteTimeOut(fixedWriteTimeOut),
      ReadTimeOut(readTimeOut),
      ByteID(byteId),
      LinearAddr(linearAddr),
      FindFirmwareID(findFirmwareId),
      Name(std::move(name)),
      Sector(sector),
      SizeFlash(sizeFlash),
      SizeEPP(sizeEpp)
{
}

TChip::TChip(platform::CustomIniFile& ini, int index)
{
    const std::string s = SectionName(index);
    Name = ini.ReadString(s, "Name", "");
    // Hexadecimal without a prefix ("C3"); only the low byte counts.
    const std::string id = Trim(ini.ReadString(s, "ByteID", ""));
    int32_t byteId = 0;
    if (!id.empty()) {
        const bool prefixed = id[0] == '$' || (id.size() > 1 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X'));
        if (!platform::ParseIniInteger(prefixed ? id : "$" + id, byteId)) byteId = 0;
    }
    ByteID = static_cast<uint8_t>(byteId & 0xFF);
    Sector = ini.ReadInteger(s, "Sector", 0);
    SizeFlash = ini.ReadInteger(s, "SizeFlash", 0);
    SizeEPP = ini.ReadInteger(s, "SizeEPP", 0);
    FlashTimeOut = ini.ReadInteger(s, "FlashTimeOut", 3000);
    FixedWriteTimeOut = ini.ReadInteger(s, "FixedWriteTimeOut", 3000);
    ReadTimeOut = ini.ReadInteger(s, "ReadTimeOut", 300);
    EEPTimeOut = ini.ReadInteger(s, "EEPTimeOut", 3000);
    FixedWrite = ini.ReadBool(s, "FixedWrite", false);
    LinearAddr = ini.ReadBool(s, "LinearAddr", false);
    FindFirmwareID = ini.ReadBool(s, "FindFirmwareID", true);
    // All 32 bits: "0x80006000" is neither negative nor clipped.
    uint32_t start = 0;
    FlashStartAddress = ParseUnsigned32(ini.ReadString(s, "FlashStartAddress", ""), start) ? start : 0;
}

void TChip::SaveToIni(platform::CustomIniFile& ini, int index) const
{
    const std::string s = SectionName(index);
    ini.WriteString(s, "Name", Name);
    ini.WriteString(s, "ByteID", platform::Format("%.2X", ByteID));
    ini.WriteInteger(s, "Sector", Sector);
    ini.WriteInteger(s, "SizeFlash", SizeFlash);
    ini.WriteInteger(s, "SizeEPP", SizeEPP);
    ini.WriteInteger(s, "FlashTimeOut", FlashTimeOut);
    ini.WriteInteger(s, "FixedWriteTimeOut", FixedWriteTimeOut);
    ini.WriteInteger(s, "ReadTimeOut", ReadTimeOut);
    ini.WriteInteger(s, "EEPTimeOut", EEPTimeOut);
    ini.WriteBool(s, "FixedWrite", FixedWrite);
    ini.WriteBool(s, "LinearAddr", LinearAddr);
    ini.WriteBool(s, "FindFirmwareID", FindFirmwareID);
    ini.WriteString(s, "FlashStartAddress", platform::Format("0x%08X", FlashStartAddress));
}

// ---------------------------------------------------------------------------------
// TChips

TChips::TChips() = default;
TChips::~TChips() = default;

void TChips::Clear()
{
    current_ = nullptr;
    items_.clear();
}

void TChips::Load() { Load(platform::ProgramFilesDir() / "Chip.ini"); }

void TChips::Load(const std::filesystem::path& fileName)
{
    Clear();
    platform::MemIniFile ini(fileName);
    AddrDev = static_cast<uint8_t>(ini.ReadInteger("Cfg", "AddrDev", 250) & 0xFF);
    const int32_t count = ini.ReadInteger("Chip", "Count", 0);
    for (const int32_t i : ChipSections(ini, count)) items_.push_back(std::make_unique<TChip>(ini, i));
    for (const BuiltInChip& b : kBuiltIn) {
        if (IndexOfName(b.name, false) >= 0) continue;
        items_.insert(items_.begin(),
                      std::make_unique<TChip>(b.byteId, b.name, b.sector, b.sizeFlash, b.sizeEpp, b.fixedWrite,
                                              b.flashTimeOut, b.fixedWriteTimeOut, b.readTimeOut, b.eepTimeOut,
                                              b.linearAddr, b.findFirmwareId, b.flashStartAddress));
    }

    ini.WriteInteger("Cfg", "AddrDev", AddrDev);
    ini.WriteInteger("Chip", "Count", Count());
    for (int i = 0; i < Count(); ++i) items_[static_cast<size_t>(i)]->SaveToIni(ini, i);
    try {
        ini.UpdateFile();
    } catch (...) {
        // The table stands without its file (a folder that cannot be written).
    }
}

TChip& TChips::Items(int index) const
{
    if (index < 0 || index >= Count()) throw platform::EListError(platform::Format("List index out of bounds (%d)", index));
    return *items_[static_cast<size_t>(index)];
}

int TChips::IndexOfName(const std::string& name, bool select)
{
    int found = -1;
    for (int i = 0; i < Count() && found < 0; ++i)
        if (items_[static_cast<size_t>(i)]->Name == name) found = i;
    if (select) SelectChip(found);
    return found;
}

int TChips::IndexOfByteID(uint8_t byteId, bool select)
{
    int found = -1;
    for (int i = 0; i < Count() && found < 0; ++i)
        if (items_[static_cast<size_t>(i)]->ByteID == byteId) found = i;
    if (select) SelectChip(found);
    return found;
}

void TChips::SelectChip(int index)
{
    current_ = index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}
