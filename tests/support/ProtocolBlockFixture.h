#pragma once

#include "model/uDevProtocols.h"
#include "model/uZumo_Classes.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Where one key of a protocol block lies: its offset in the area, its type (the
// container's for a bit field, 0 for a nested record) and its size; for a bit field
// also its lowest bit and bit count.
struct KeyAt {
    std::string key;
    int offset;
    uint16_t type;
    int size;
    int bit = -1;
    int bits = 0;
};

inline KeyAt Byte(std::string key, int offset) { return {std::move(key), offset, ftByte, 1}; }
inline KeyAt Word(std::string key, int offset) { return {std::move(key), offset, ftWord, 2}; }
inline KeyAt LongWord(std::string key, int offset) { return {std::move(key), offset, ftLongWord, 4}; }
inline KeyAt Text(std::string key, int offset, int length) { return {std::move(key), offset, ftString, length}; }
inline KeyAt Record(std::string key, int offset, int size) { return {std::move(key), offset, 0, size}; }
// A bit field in a one-byte container.
inline KeyAt Bit(std::string key, int offset, int bit, int bits = 1)
{
    return {std::move(key), offset, ftByte, 1, bit, bits};
}

// A bit field in a two-byte container.
inline KeyAt WordBit(std::string key, int offset, int bit, int bits = 1)
{
    return {std::move(key), offset, ftWord, 2, bit, bits};
}

// Keys numbered as "%.4d".
std::string Number(int n);
// `count` one-bit flags keyed Number(first), Number(first + 1) ..., from bit 0 of the
// byte at `offset` on, eight to a byte.
std::vector<KeyAt> NumberedFlags(int first, int count, int offset);
std::vector<KeyAt> Join(std::vector<KeyAt> a, const std::vector<KeyAt>& b);

// What one protocol index must give, transcribed from the block tables.
struct BlockRow {
    int index;
    const char* className;
    int size;
    std::vector<KeyAt> keys;         // every direct key of the block
    std::map<int, uint8_t> defaults; // the non-zero area bytes after a reset
};

// Sets every field of a list, nested lists included, to a value other than its default.
void SetAllAwayFromDefaults(const TFieldLst& list);
// The field at a path of keys joined by "." ("ParamTU03.type"); raises when missing.
TField& FieldAt(const TFieldLst& list, const std::string& path);

// A protocol block made through the block table over an area (70 bytes unless given)
// that lies between guard bytes holding a sentinel. An optional role field (the
// device's "011") is handed to the factory.
class ProtocolBlockFixture {
public:
    static constexpr int Guard = 16;
    static constexpr int AreaSize = 70; // of an ordinary device
    static constexpr uint8_t Sentinel = 0xA5;

    // The area holds `areaFill` while the block is built.
    explicit ProtocolBlockFixture(int index, std::optional<int> role = std::nullopt, uint8_t areaFill = 0,
                                  int areaSize = AreaSize);

    TDevProtocol& Block() const { return *block_; }
    TMemoryBlock& Memory() { return memory_; }
    TField* RoleField() const { return role_.get(); }

    std::vector<uint8_t> Area() const;
    // Area offset -> byte, for the bytes that are not zero.
    std::map<int, uint8_t> NonZeroArea() const;
    bool GuardsIntact() const;
    void ZeroArea();

    // The field of a key of the block ("ParamTU03.type" reaches into a nested record).
    TField& Field(const std::string& path) const { return FieldAt(*block_, path); }
    void Set(const std::string& path, const Variant& value) const { Field(path).SetValue(value); }

    // Every field away from its default, then `settings` in order, then one default
    // check that answers No: the keys it asked about, as paths below the block.
    std::set<std::string> AskedAbout(const std::vector<std::pair<std::string, Variant>>& settings) const;

private:
    int areaSize_;
    TMemoryBlock memory_;
    std::unique_ptr<TMemoryBlock> roleBlock_;
    std::unique_ptr<TField> role_;
    std::unique_ptr<TDevProtocol> block_;
};

// A document whose one image block holds two plain devices, "Устройство_01" at 0 and
// "Устройство_02" right after it, with the real block table. Every byte of the block
// holds the sentinel before the devices are built. No "UART0".
class TwoDeviceDoc : public TDocument {
public:
    static constexpr int32_t DeviceSize = 724;
    static constexpr int32_t AreaOffset = 94; // of the protocol area in a device
    static constexpr uint8_t Sentinel = 0xA5;

    TMemoryBlock* Devices = nullptr;
    TDevice* First = nullptr;
    TDevice* Second = nullptr;

    static std::unique_ptr<TwoDeviceDoc> New() { return MakeDocument<TwoDeviceDoc>(); }

    void Build() override;
    std::vector<std::string> GetPortNames() const override { return {"COM", "XPort", "485"}; }
    void SaveToFile(const std::filesystem::path&) override {}

    // The first device reset, with the role and the protocol of an index selected.
    TDevice& Select(int index, int role = 0);

protected:
    TwoDeviceDoc() { ModelName = "Doc"; }
};

// Checks one row over a fixture of its own with an area of areaSize bytes: the class
// and name, the size, the block's area size, the layout audit with the fit into the
// area, the key set with every key's place and type, that building writes nothing,
// and the defaults a reset writes (every field reads its default afterwards, the
// guards keep their sentinel).
void ExpectBlockMatches(const BlockRow& row, int areaSize = ProtocolBlockFixture::AreaSize);

// On the first device of a TwoDeviceDoc, selects the rows' protocols one after the
// other, twice over: each time the area holds exactly the row's defaults and zeros,
// the code byte holds the code, and every other byte of the image block keeps the
// sentinel.
void ExpectProtocolSwitches(const std::vector<BlockRow>& rows);
// With each row's protocol selected on a device, every key of every row is found
// through the device exactly when the active block has it, and never among the
// device's own keys.
void ExpectKeysThroughDevice(const std::vector<BlockRow>& rows);

using Settings = std::vector<std::pair<std::string, Variant>>;
using KeySet = std::set<std::string>;

// One case of a block's unused-field rule.
struct RuleRow {
    int index;
    std::optional<int> role; // the device's "011"; none for a block made without it
    Settings settings;       // applied after every field was set away from its default
    KeySet asked;            // what the default check must ask about
};

// Runs every row twice, each time over a fixture of its own: on the block alone, and
// through the default check of a device of the row's role (КП when none) that has
// the row's protocol selected. Questions about the device's own fields do not count.
void ExpectRules(const std::vector<RuleRow>& rows);

// The keys of a list in its order.
std::vector<std::string> KeysOf(const TFieldLst& list);

} // namespace testsupport
