#include "tests/sim/SimMemory.h"

#include "loader/core/Chips.h"
#include "model/Memory.h"

#include <stdlib.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace sim {

namespace {

constexpr uint32_t kEepromBase = 0x80000000u;
constexpr uint16_t kEepromFile = 0x8000;
const std::string kMarker = "Firmware ID:";

uint32_t Word(const std::string& pdu, size_t at)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(pdu[at])) << 8 | static_cast<uint8_t>(pdu[at + 1]);
}

std::string Hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "%X", value);
    return text;
}

std::vector<ChipProfile> ReadProfiles()
{
    char folder[] = "/tmp/sim-chips-XXXXXX";
    if (::mkdtemp(folder) == nullptr) throw std::runtime_error("no temporary folder for the chip table");
    TChips chips;
    chips.Load(std::filesystem::path(folder) / "Chip.ini");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::vector<ChipProfile> profiles;
    for (int i = 0; i < chips.Count(); ++i) {
        const TChip& c = chips.Items(i);
        profiles.push_back({c.Name, c.ByteID, c.Sector, c.SizeFlash, c.SizeEPP, c.LinearAddr, c.FixedWrite,
                            c.FlashStartAddress, chips.AddrDev});
    }
    return profiles;
}

} // namespace

const std::vector<ChipProfile>& ChipProfiles()
{
    static const std::vector<ChipProfile> profiles = ReadProfiles();
    return profiles;
}

std::optional<ChipProfile> FindChipProfile(const std::string& name)
{
    for (const ChipProfile& p : ChipProfiles())
        if (p.name == name) return p;
    return std::nullopt;
}

std::optional<BlockRequest> DecodeBlockRequest(const std::string& pdu, const ChipProfile& profile,
                                               std::vector<std::string>& errors)
{
    if (pdu.size() < 10) {
        errors.push_back("block request of " + std::to_string(pdu.size()) + " bytes");
        return std::nullopt;
    }
    BlockRequest r;
    r.function = static_cast<uint8_t>(pdu[1]);
    r.words = static_cast<int32_t>(Word(pdu, 8));
    const uint32_t d = 2 * static_cast<uint32_t>(r.words);
    const uint8_t byte2 = static_cast<uint8_t>(pdu[2]);
    if (byte2 != static_cast<uint8_t>(d + 9))
        errors.push_back("byte 2 is " + Hex(byte2) + ", not (" + std::to_string(d) + " + 9) mod 256");
    const uint8_t reference = static_cast<uint8_t>(pdu[3]);
    if (reference != (profile.linear ? 0 : 6))
        errors.push_back("reference type " + std::to_string(reference) + " for " + profile.name);
    const size_t length = r.function == 0x15 ? 10 + d : 10;
    if (pdu.size() != length)
        errors.push_back("a PDU of " + std::to_string(pdu.size()) + " bytes for " + std::to_string(r.words) + " words");
    const uint32_t high = Word(pdu, 4), record = Word(pdu, 6);
    if (profile.linear) {
        r.address = high << 16 | record;
    } else if (high == kEepromFile) {
        r.eeprom = true;
        r.address = record;
    } else {
        r.address = d == 0 ? record : high * d + record % d;
        if ((r.address & 0xFFFF) != record)
            errors.push_back("record " + Hex(record) + " is not the low word of address " + Hex(r.address));
    }
    if (r.function == 0x15) r.data = pdu.substr(10, std::min<size_t>(d, pdu.size() - 10));
    return r;
}

SimMemory::SimMemory(ChipProfile profile) : profile_(std::move(profile)) {}

uint8_t SimMemory::ReadLocked(bool eeprom, uint32_t address) const
{
    const Space& space = SpaceOf(eeprom);
    const auto page = space.find(address / kPage);
    return page == space.end() ? 0xFF : static_cast<uint8_t>(page->second[address % kPage]);
}

void SimMemory::WriteLocked(bool eeprom, uint32_t address, const std::string& bytes)
{
    Space& space = SpaceOf(eeprom);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        auto& page = space[at / kPage];
        if (page.empty()) page.assign(kPage, '\xFF');
        page[at % kPage] = bytes[i];
    }
}

uint8_t SimMemory::Read(bool eeprom, uint32_t address) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return ReadLocked(eeprom, address);
}

std::string SimMemory::Read(bool eeprom, uint32_t address, size_t count) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::string bytes;
    for (size_t i = 0; i < count; ++i) bytes += static_cast<char>(ReadLocked(eeprom, address + static_cast<uint32_t>(i)));
    return bytes;
}

void SimMemory::Write(bool eeprom, uint32_t address, const std::string& bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    WriteLocked(eeprom, address, bytes);
}

void SimMemory::PlaceMarker(bool eeprom, uint32_t address, const std::string& text)
{
    Write(eeprom, address, kMarker + text + '\0');
}

std::map<uint32_t, uint8_t> SimMemory::Committed(bool eeprom) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::map<uint32_t, uint8_t> bytes;
    for (const auto& [page, data] : SpaceOf(eeprom))
        for (uint32_t i = 0; i < kPage; ++i) bytes[page * kPage + i] = static_cast<uint8_t>(data[i]);
    return bytes;
}

void SimMemory::LoadHex(const std::filesystem::path& file)
{
    TMemory image;
    image.LoadFromHexFile(file);
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0; i < image.BlockCount(); ++i) {
        const TMemoryBlock& block = *image.BlockByIndex(i);
        const bool eeprom = !profile_.linear && block.Address >= kEepromBase;
        const std::string bytes(reinterpret_cast<const char*>(block.Data()), static_cast<size_t>(block.Size));
        WriteLocked(eeprom, eeprom ? block.Address - kEepromBase : block.Address, bytes);
    }
}

void SimMemory::SaveHex(const std::filesystem::path& file, bool eeprom) const
{
    TMemory image;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const uint32_t base = eeprom && !profile_.linear ? kEepromBase : 0;
        for (const auto& [page, data] : SpaceOf(eeprom)) {
            TMemoryBlock* block = image.AddBlock(base + page * kPage, static_cast<int32_t>(kPage));
            std::copy(data.begin(), data.end(), block->Data());
        }
    }
    image.SaveToHexFile(file, false, 0, 16);
}

uint16_t SimMemory::Checksum() const
{
    std::lock_guard<std::mutex> guard(lock_);
    uint16_t sum = 0;
    for (const auto& [chunk, chunkSum] : chunkSums_) sum = static_cast<uint16_t>(sum + chunkSum);
    return sum;
}

std::vector<BlockRequest> SimMemory::Requests() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

std::vector<std::string> SimMemory::ProtocolErrors() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return errors_;
}

std::vector<std::string> SimMemory::TakeProtocolErrors()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(errors_, {});
}

void SimMemory::Commit()
{
    for (const PendingWrite& w : pending_) WriteLocked(w.eeprom, w.address, w.bytes);
    pending_.clear();
}

std::optional<std::string> SimMemory::Answer(const std::string& pdu)
{
    if (pdu.size() < 2) return std::nullopt;
    const uint8_t function = static_cast<uint8_t>(pdu[1]);
    std::lock_guard<std::mutex> guard(lock_);
    if (function == 0x56) {
        uint16_t sum = 0;
        for (const auto& [chunk, chunkSum] : chunkSums_) sum = static_cast<uint16_t>(sum + chunkSum);
        if (pdu.size() < 4 || Word(pdu, 2) != sum) return std::string{pdu[0], '\xD6', '\x04'};
        Commit();
        chunkSums_.clear();
        return pdu;
    }
    if (function != 0x14 && function != 0x15) return std::nullopt;
    const std::optional<BlockRequest> request = DecodeBlockRequest(pdu, profile_, errors_);
    if (!request) return std::nullopt;
    requests_.push_back(*request);
    const int32_t bytes = 2 * request->words;
    if (function == 0x14) {
        std::string reply{pdu[0], '\x14', static_cast<char>(bytes + 2), static_cast<char>(bytes + 1), pdu[3]};
        for (int32_t i = 0; i < bytes; ++i)
            reply += static_cast<char>(ReadLocked(request->eeprom, request->address + static_cast<uint32_t>(i)));
        return reply;
    }
    uint16_t sum = 0;
    for (char c : request->data) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
    chunkSums_[{request->eeprom, request->address}] = sum;
    if (profile_.fixedWrite)
        pending_.push_back({request->eeprom, request->address, request->data});
    else
        WriteLocked(request->eeprom, request->address, request->data);
    return pdu;
}

} // namespace sim
