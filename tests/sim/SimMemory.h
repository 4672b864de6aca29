#pragma once
// The controller's memory for the simulator and its block requests: chip profiles taken
// from the loader's chip table, a sparse FLASH and a separate EEPROM, block read (0x14),
// block write (0x15) and flash-save activation (0x56), with the protocol rules a request
// must keep recorded as errors the tests fail on. Thread-safe.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// What the simulator needs of a chip row.
struct ChipProfile {
    std::string name;
    uint8_t byteId = 0;
    int32_t sector = 0;
    int32_t sizeFlash = 0;
    int32_t sizeEpp = 0;
    bool linear = false;
    bool fixedWrite = false;
    uint32_t flashStart = 0;
    uint8_t device = 250; // the bootloader's MODBUS address
};

// One profile per built-in chip row, read once through TChips::Load of a "Chip.ini" in a
// temporary folder.
const std::vector<ChipProfile>& ChipProfiles();
// The profile of that name (letter case counts); none for an unknown name.
std::optional<ChipProfile> FindChipProfile(const std::string& name);

// A block request as the controller understands it.
struct BlockRequest {
    uint8_t function = 0;
    bool eeprom = false;  // file 0x8000 of a file/record profile
    uint32_t address = 0; // linear: bytes 4-7; file/record: file × d + (record mod d),
                          // the record itself for the EEPROM
    int32_t words = 0;
    std::string data;     // a write's 2 × words bytes (pad included)
};

// Decodes a 0x14 or 0x15 PDU (without CRC) for the profile; d = 2 × words. Each broken
// rule adds a line to errors: byte 2 not (d + 9) mod 256, a reference type other than 0
// (linear) or 6, a file/record address whose low word is not the record, a PDU whose
// length does not match the word count. None (with an error) for a PDU too short to hold
// the header.
std::optional<BlockRequest> DecodeBlockRequest(const std::string& pdu, const ChipProfile& profile,
                                               std::vector<std::string>& errors);

class SimMemory {
public:
    explicit SimMemory(ChipProfile profile);

    const ChipProfile& Profile() const { return profile_; }

    // The reply PDU to a block request, none for other function codes or a request
    // that cannot be decoded. 0x14: device, 0x14, (2w + 2) & 0xFF, (2w + 1) & 0xFF, the
    // reference type, 2w bytes of committed memory. 0x15: the bytes go to the pending
    // image (committed at once for a chip without FixedWrite) and the request is echoed.
    // 0x56: the checksum must equal the sum of the bytes last written to each chunk
    // since the last activation; then the pending image is committed and the request
    // echoed, else the exception 4 reply, nothing committed.
    std::optional<std::string> Answer(const std::string& pdu);

    // Committed memory; 0xFF where never written. Without linear addressing the EEPROM
    // is a space of its own; with it everything is one 32-bit space and eeprom is ignored.
    uint8_t Read(bool eeprom, uint32_t address) const;
    std::string Read(bool eeprom, uint32_t address, size_t count) const;
    void Write(bool eeprom, uint32_t address, const std::string& bytes);
    // Writes "Firmware ID:" followed by the text and a zero byte.
    void PlaceMarker(bool eeprom, uint32_t address, const std::string& text);
    // Addresses of every committed byte of a space, ascending, with its value.
    std::map<uint32_t, uint8_t> Committed(bool eeprom) const;

    // Intel HEX through the model's memory image: the file's addresses go to FLASH, or
    // to the EEPROM (offset = address − 0x80000000) for a file/record profile at
    // 0x80000000 and above; a save writes a space's committed bytes (EEPROM at
    // 0x80000000 + offset). Errors of the reader and writer pass through.
    void LoadHex(const std::filesystem::path& file);
    void SaveHex(const std::filesystem::path& file, bool eeprom) const;

    // The sum the next activation must carry.
    uint16_t Checksum() const;
    // Every block request decoded, in arrival order.
    std::vector<BlockRequest> Requests() const;
    // Protocol errors seen so far; Take also forgets them.
    std::vector<std::string> ProtocolErrors() const;
    std::vector<std::string> TakeProtocolErrors();

private:
    static constexpr uint32_t kPage = 256;
    using Space = std::map<uint32_t, std::string>; // page number -> kPage bytes
    Space& SpaceOf(bool eeprom) { return eeprom && !profile_.linear ? eeprom_ : flash_; }
    const Space& SpaceOf(bool eeprom) const { return eeprom && !profile_.linear ? eeprom_ : flash_; }
    void WriteLocked(bool eeprom, uint32_t address, const std::string& bytes);
    uint8_t ReadLocked(bool eeprom, uint32_t address) const;
    void Commit();

    struct PendingWrite {
        bool eeprom;
        uint32_t address;
        std::string bytes;
    };

    ChipProfile profile_;
    mutable std::mutex lock_;
    Space flash_;
    Space eeprom_;
    std::vector<PendingWrite> pending_;
    // The sum of the bytes last written to each chunk: (EEPROM, chunk address).
    std::map<std::pair<bool, uint32_t>, uint16_t> chunkSums_;
    std::vector<BlockRequest> requests_;
    std::vector<std::string> errors_;
};

} // namespace sim
