#include "archive/HvoChecksum.h"

#include <array>
#include <zlib.h>

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

struct ModeRow {
    int firstMode;
    int lastMode;
    THvoCompressionLevel level;
    int32_t bufferSize;
    uint16_t zlibHeader;
};

// Modes 0..9 by ranges; a mode outside them: clNone, 1 MiB, no header.
constexpr ModeRow kModes[] = {
    {0, 0, clNone, 1048576, 0xDA78},
    {1, 2, clFastest, 524288, 0x0178},
    {3, 3, clFastest, 524288, 0x5E78},
    {4, 4, clNormal, 1048576, 0x5E78},
    {5, 6, clNormal, 1048576, 0x9C78},
    {7, 9, clMax, 1572864, 0xDA78},
};
constexpr ModeRow kOtherMode = {-1, -1, clNone, 1048576, 0};

const ModeRow& RowOf(int mode)
{
    for (const ModeRow& row : kModes)
        if (mode >= row.firstMode && mode <= row.lastMode) return row;
    return kOtherMode;
}

} // namespace

uint32_t Crc32Step(uint32_t crc, uint8_t byte) { return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

uint32_t UpdateCrc32(uint32_t crc, const void* bytes, size_t count)
{
    // zlib's crc32 inverts at both ends; the component's value carries no inversion.
    uLong value = ~crc & 0xFFFFFFFFu;
    const auto* p = static_cast<const Bytef*>(bytes);
    while (count > 0) {
        const uInt n = count > 0x40000000u ? 0x40000000u : static_cast<uInt>(count);
        value = crc32(value, p, n);
        p += n;
        count -= n;
    }
    return ~static_cast<uint32_t>(value);
}

void UpdateCrc32(uint32_t* crc, const void* bytes, size_t count) { *crc = UpdateCrc32(*crc, bytes, count); }

void THvoZipKeys::InitKeys(std::string_view password)
{
    Key0 = 0x12345678u;
    Key1 = 0x23456789u;
    Key2 = 0x34567890u;
    for (const char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void THvoZipKeys::UpdateKeys(uint8_t b)
{
    Key0 = Crc32Step(Key0, b);
    Key1 = (Key1 + (Key0 & 0xFFu)) * 134775813u + 1u;
    Key2 = Crc32Step(Key2, static_cast<uint8_t>(Key1 >> 24));
}

uint8_t THvoZipKeys::KeyByte() const
{
    const uint32_t t = Key2 | 2u;
    return static_cast<uint8_t>((t * (t ^ 1u)) >> 8);
}

uint8_t THvoZipKeys::EncryptByte(uint8_t p)
{
    const auto c = static_cast<uint8_t>(p ^ KeyByte());
    UpdateKeys(p);
    return c;
}

void THvoZipKeys::DecryptBuffer(uint8_t* buffer, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const auto p = static_cast<uint8_t>(buffer[i] ^ KeyByte());
        UpdateKeys(p);
        buffer[i] = p;
    }
}

void THvoZipKeys::EncryptBuffer(uint8_t* buffer, size_t offset, size_t count)
{
    for (size_t i = offset; i < offset + count; ++i) buffer[i] = EncryptByte(buffer[i]);
}

void THvoZipKeys::InitKeysAndDecryptHeader(std::string_view password, uint8_t* header)
{
    InitKeys(password);
    DecryptBuffer(header, kTraditionalHeaderSize);
}

uint8_t TraditionalCheckByte(uint16_t flags, uint16_t lastModTime, uint32_t crc32)
{
    return (flags & 0x0008u) ? static_cast<uint8_t>(lastModTime >> 8) : static_cast<uint8_t>(crc32 >> 24);
}

int LevelToMode(THvoCompressionLevel level)
{
    switch (level) {
    case clFastest:
        return 1;
    case clNormal:
        return 6;
    case clMax:
        return 9;
    default:
        return 0;
    }
}

THvoCompressionLevel ModeToLevel(int mode) { return RowOf(mode).level; }
int32_t BufferSizeForMode(int mode) { return RowOf(mode).bufferSize; }
uint16_t ZlibHeaderForMode(int mode) { return RowOf(mode).zlibHeader; }

void THvoVolumeNumberInfo::Reset()
{
    State = kUndetermined;
    VolumeNumber = -1;
    LastVolumeNumber = -1;
}

void THvoVolumeNumberInfo::SetFirst(bool value)
{
    if (!value) return;
    VolumeNumber = 0;
    State = kFirst;
}

bool THvoVolumeNumberInfo::IsLast() const
{
    return LastVolumeNumber >= 0 ? VolumeNumber == LastVolumeNumber : State == kLast;
}

void THvoVolumeNumberInfo::SetLast(bool value)
{
    if (!value) return;
    VolumeNumber = LastVolumeNumber;
    State = kLast;
}

void THvoVolumeNumberInfo::SetNumber(int32_t number)
{
    State = kNumbered;
    VolumeNumber = number;
}

THvoVolumeNumberInfo THvoVolumeNumberInfo::Of(int32_t number, int32_t last)
{
    THvoVolumeNumberInfo volume;
    volume.LastVolumeNumber = last;
    if (number == last)
        volume.SetLast(true);
    else if (number == 0)
        volume.SetFirst(true);
    else
        volume.SetNumber(number);
    return volume;
}

bool THvoVolumeNumberInfo::SameVolume(const THvoVolumeNumberInfo& a, const THvoVolumeNumberInfo& b)
{
    if (a.IsLast()) return b.IsLast();
    if (a.IsFirst()) return b.IsFirst();
    if (a.VolumeNumber < 0) return a.State == b.State;
    return a.VolumeNumber == b.VolumeNumber;
}
