#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

// The on-disk records of ZIP archives. Every field is little-endian; records are read
// from and written to byte buffers field by field, by the layout tables below (never by
// casting packed structures).

// Little-endian values at a byte position.
uint16_t ReadLE16(const uint8_t* p);
uint32_t ReadLE32(const uint8_t* p);
uint64_t ReadLE64(const uint8_t* p);
void WriteLE16(uint8_t* p, uint16_t value);
void WriteLE32(uint8_t* p, uint32_t value);
void WriteLE64(uint8_t* p, uint64_t value);

inline constexpr uint32_t kLocalFileHeaderSignature = 0x04034B50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;
inline constexpr uint32_t kCentralFileHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndOfCentralDirSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndOfCentralDirSignature = 0x06064B50;
inline constexpr uint32_t kZip64EndLocatorSignature = 0x07064B50;

// General purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 0x0001;      // entry encrypted
inline constexpr uint16_t kFlagDataDescriptor = 0x0008; // sizes and CRC in a data descriptor
inline constexpr uint16_t kFlagUtf8 = 0x0800;           // name (and comment) in UTF-8

// Extra field block IDs the component interprets.
inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraAes = 0x9901;
inline constexpr uint16_t kExtraUnicodeName = 0x554E;

// Compression methods.
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;

// One field of a record layout: its offset and the member that holds it (the member's
// type gives the width).
template <class R>
struct TRecordField {
    uint32_t Offset;
    std::variant<uint16_t R::*, uint32_t R::*, uint64_t R::*> Member;
};

// Local file header: 30 bytes, then the name and the extra field.
struct TLocalFileHeader {
    static constexpr size_t kSize = 30;
    uint32_t Signature = kLocalFileHeaderSignature;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint16_t LastModTime = 0;
    uint16_t LastModDate = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
};

// Data descriptor after an entry's data (flag bit 3): 16 bytes, signed form only.
struct TDataDescriptor {
    static constexpr size_t kSize = 16;
    uint32_t Signature = kDataDescriptorSignature;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
};

// Central directory file header: 46 bytes, then name, extra field and comment.
struct TCentralFileHeader {
    static constexpr size_t kSize = 46;
    uint32_t Signature = kCentralFileHeaderSignature;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint16_t LastModTime = 0;
    uint16_t LastModDate = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0;
    uint16_t ExtraFieldLength = 0;
    uint16_t FileCommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;
};

// End of central directory record: 22 bytes, then the archive comment (raw bytes).
struct TEndOfCentralDir {
    static constexpr size_t kSize = 22;
    uint32_t Signature = kEndOfCentralDirSignature;
    uint16_t DiskNumber = 0;
    uint16_t StartDiskNumber = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t EntriesTotal = 0;
    uint32_t CentralDirSize = 0;
    uint32_t CentralDirOffset = 0;
    uint16_t CommentLength = 0;
};

// ZIP64 end of central directory record: always 56 bytes, no extensible data.
struct TZip64EndOfCentralDir {
    static constexpr size_t kSize = 56;
    uint32_t Signature = kZip64EndOfCentralDirSignature;
    uint64_t RecordSize = 44;
    uint16_t VersionMadeBy = 45;
    uint16_t VersionNeeded = 45;
    uint32_t DiskNumber = 0;
    uint32_t StartDiskNumber = 0;
    uint64_t EntriesOnDisk = 0;
    uint64_t EntriesTotal = 0;
    uint64_t CentralDirSize = 0;
    uint64_t CentralDirOffset = 0;
};

// ZIP64 end of central directory locator: 20 bytes.
struct TZip64EndLocator {
    static constexpr size_t kSize = 20;
    uint32_t Signature = kZip64EndLocatorSignature;
    uint32_t Zip64EndDisk = 0;
    uint64_t Zip64EndOffset = 0;
    uint32_t TotalDisks = 0;
};

// Reading needs kSize bytes at p; writing fills kSize bytes at p.
void ReadRecord(const uint8_t* p, TLocalFileHeader& r);
void ReadRecord(const uint8_t* p, TDataDescriptor& r);
void ReadRecord(const uint8_t* p, TCentralFileHeader& r);
void ReadRecord(const uint8_t* p, TEndOfCentralDir& r);
void ReadRecord(const uint8_t* p, TZip64EndOfCentralDir& r);
void ReadRecord(const uint8_t* p, TZip64EndLocator& r);
void WriteRecord(uint8_t* p, const TLocalFileHeader& r);
void WriteRecord(uint8_t* p, const TDataDescriptor& r);
void WriteRecord(uint8_t* p, const TCentralFileHeader& r);
void WriteRecord(uint8_t* p, const TEndOfCentralDir& r);
void WriteRecord(uint8_t* p, const TZip64EndOfCentralDir& r);
void WriteRecord(uint8_t* p, const TZip64EndLocator& r);

// One extra field block: header ID, data size and data.
struct TExtraBlock {
    uint16_t HeaderId = 0;
    std::vector<uint8_t> Data; // its size is the block's data size
};

// The blocks of an extra field in order. A block whose data size exceeds what remains of
// the field keeps only the rest; fewer than four bytes left end the field.
std::vector<TExtraBlock> ParseExtraField(std::span<const uint8_t> field);
// The bytes of blocks (header ID, data size, data each).
std::vector<uint8_t> BuildExtraField(const std::vector<TExtraBlock>& blocks);

// The values of a ZIP64 extended information block (ID 0x0001). Each is present only
// when the header's 32-bit (disk: 16-bit) field holds all ones.
struct TZip64Values {
    uint64_t UncompressedSize = 0;
    uint64_t CompressedSize = 0;
    uint64_t LocalHeaderOffset = 0;
    uint32_t DiskNumberStart = 0;
};

// Takes the values from a ZIP64 block in the order uncompressed size, compressed size,
// local header offset (8 bytes each), disk start (4 bytes), each only when its header
// field is all ones and the rest of the block still holds all of its bytes. The first
// value cut short ends the reading (what follows it would be read from its bytes).
// Values that are not taken keep what they held.
void ReadZip64Block(std::span<const uint8_t> data, const TCentralFileHeader& header, TZip64Values& values);
// The ZIP64 block data for a central header whose fields are all ones where the values
// did not fit; empty when the header needs none.
std::vector<uint8_t> BuildZip64Block(const TCentralFileHeader& header, const TZip64Values& values);

// MS-DOS date and time, in local time: date day bits 0-4, month 5-8, years since 1980
// 9-15; time seconds/2 bits 0-4, minutes 5-10, hours 11-15. A combined value holds the
// date in the high 16 bits and the time in the low 16 bits.
struct TDosDateTime {
    uint16_t Date = 0;
    uint16_t Time = 0;
};

struct TCivilTime {
    int Year = 1980;
    int Month = 1; // 1..12
    int Day = 1;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

// The packed fields; none for an invalid value (month 0 or above 12, day 0, hour above 23,
// minute above 59, seconds field 30 or more).
std::optional<TCivilTime> DosToCivil(TDosDateTime value);
// Packs a time of 1980..2107 (seconds rounded down to even); earlier times give the
// first representable value (1980-01-01 00:00:00), later ones the last (2107-12-31 23:59:58).
TDosDateTime CivilToDos(const TCivilTime& time);
// The moment of a packed local time (mktime, daylight saving decided by the system);
// none for an invalid value.
std::optional<time_t> DosToTime(TDosDateTime value);
// The local time of a moment, packed and clamped as by CivilToDos.
TDosDateTime TimeToDos(time_t moment);
// Combined value (date << 16 | time) and back.
inline uint32_t DosToInt(TDosDateTime v) { return uint32_t(v.Date) << 16 | v.Time; }
inline TDosDateTime IntToDos(uint32_t v) { return {uint16_t(v >> 16), uint16_t(v & 0xFFFF)}; }
