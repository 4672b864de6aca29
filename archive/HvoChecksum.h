#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// CRC-32 of the ZIP format (reflected, polynomial 0xEDB88320), without inversion inside:
// callers start with 0xFFFFFFFF and store the inverted result.
uint32_t UpdateCrc32(uint32_t crc, const void* bytes, size_t count);
// The same, updating the crc variable in place.
void UpdateCrc32(uint32_t* crc, const void* bytes, size_t count);
// One table step for one byte (also the step of the traditional cipher's keys).
uint32_t Crc32Step(uint32_t crc, uint8_t byte);

// The keys of the traditional PKWARE encryption of ZIP entries. Each encrypting or
// decrypting pass holds its own keys, so passes on different threads never meet.
// All arithmetic is modulo 2^32.
struct THvoZipKeys {
    uint32_t Key0 = 0x12345678u;
    uint32_t Key1 = 0x23456789u;
    uint32_t Key2 = 0x34567890u;

    // Starts the keys (0x12345678, 0x23456789, 0x34567890) and feeds every byte of the
    // password (8-bit characters, taken as they are) to UpdateKeys in order.
    void InitKeys(std::string_view password);
    // Mixes one plain byte into the keys.
    void UpdateKeys(uint8_t b);
    // The next byte of the key stream; the keys do not change.
    uint8_t KeyByte() const;
    // Encrypts one plain byte and updates the keys with it.
    uint8_t EncryptByte(uint8_t p);
    // Decrypts count bytes in place, updating the keys with each plain byte.
    void DecryptBuffer(uint8_t* buffer, size_t count);
    // Encrypts count bytes from offset in place.
    void EncryptBuffer(uint8_t* buffer, size_t offset, size_t count);
    // InitKeys(password), then decrypts the 12-byte encryption header in place. The caller
    // compares its last byte with the entry's check byte (TraditionalCheckByte).
    void InitKeysAndDecryptHeader(std::string_view password, uint8_t* header);
};

// Length of the encryption header before a traditionally encrypted entry's data.
inline constexpr int kTraditionalHeaderSize = 12;

// The byte the last byte of a decrypted encryption header must equal: the high byte of the
// local header's modification time when flag bit 3 (sizes in a data descriptor) is set,
// else the high byte of the CRC-32.
uint8_t TraditionalCheckByte(uint16_t flags, uint16_t lastModTime, uint32_t crc32);

// The archiver's compression level; its numeric compression mode is 0..9.
enum THvoCompressionLevel { clNone, clFastest, clNormal, clMax };

// clNone 0, clFastest 1, clNormal 6, clMax 9; anything else 0.
int LevelToMode(THvoCompressionLevel level);
// 0 clNone; 1..3 clFastest; 4..6 clNormal; 7..9 clMax; anything else clNone.
THvoCompressionLevel ModeToLevel(int mode);
// Transfer buffer of a mode: 0 and 4..6 1 MiB, 1..3 512 KiB, 7..9 1.5 MiB, others 1 MiB.
int32_t BufferSizeForMode(int mode);
// The two header bytes of a zlib stream of the mode as a little-endian word: 0x0178 for
// modes 1 and 2, 0x5E78 for 3 and 4, 0x9C78 for 5 and 6, 0xDA78 for 0 and 7..9; 0 for others.
uint16_t ZlibHeaderForMode(int mode);

// Which volume of a multi-volume archive is meant.
class THvoVolumeNumberInfo {
public:
    // State values.
    static constexpr int32_t kFirst = 0;
    static constexpr int32_t kLast = 1;
    static constexpr int32_t kNumbered = 2;
    static constexpr int32_t kUndetermined = 3;

    // Undetermined: State 3, VolumeNumber -1, LastVolumeNumber -1.
    void Reset();

    bool IsFirst() const { return VolumeNumber == 0; }
    // True: volume 0, State first. False does nothing.
    void SetFirst(bool value);
    // With a known last number: VolumeNumber equals it; otherwise State is last.
    bool IsLast() const;
    // True: VolumeNumber := LastVolumeNumber, State last. False does nothing.
    void SetLast(bool value);
    // A numbered volume.
    void SetNumber(int32_t number);
    // Volume number of a set whose last volume is last (known): State last for the last
    // volume, first for volume 0, numbered otherwise.
    static THvoVolumeNumberInfo Of(int32_t number, int32_t last);
    // Both last, or both first, or (undetermined number) the same State, or the same number.
    static bool SameVolume(const THvoVolumeNumberInfo& a, const THvoVolumeNumberInfo& b);

    int32_t State = kUndetermined;
    int32_t VolumeNumber = -1;
    int32_t LastVolumeNumber = -1;
};
