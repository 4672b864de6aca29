#include "archive/HvoRecords.h"

#include <type_traits>
#include <utility>

uint16_t ReadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t ReadLE32(const uint8_t* p) { return uint32_t(ReadLE16(p)) | uint32_t(ReadLE16(p + 2)) << 16; }
uint64_t ReadLE64(const uint8_t* p) { return uint64_t(ReadLE32(p)) | uint64_t(ReadLE32(p + 4)) << 32; }

void WriteLE16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void WriteLE32(uint8_t* p, uint32_t value)
{
    WriteLE16(p, static_cast<uint16_t>(value));
    WriteLE16(p + 2, static_cast<uint16_t>(value >> 16));
}

void WriteLE64(uint8_t* p, uint64_t value)
{
    WriteLE32(p, static_cast<uint32_t>(value));
    WriteLE32(p + 4, static_cast<uint32_t>(value >> 32));
}

namespace {

using L = TLocalFileHeader;
constexpr TRecordField<L> kLocalFields[] = {
    {0, &L::Signature},         {4, &L::VersionNeeded},   {6, &L::Flags},
    {8, &L::CompressionMethod}, {10, &L::LastModTime},    {12, &L::LastModDate},
    {14, &L::Crc32},            {18, &L::CompressedSize}, {22, &L::UncompressedSize},
    {26, &L::FileNameLength},   {28, &L::ExtraFieldLength},
};

using D = TDataDescriptor;
constexpr TRecordField<D> kDescriptorFields[] = {
    {0, &D::Signature}, {4, &D::Crc32}, {8, &D::CompressedSize}, {12, &D::UncompressedSize},
};

using C = TCentralFileHeader;
constexpr TRecordField<C> kCentralFields[] = {
    {0, &C::Signature},          {4, &C::VersionMadeBy},      {6, &C::VersionNeeded},
    {8, &C::Flags},              {10, &C::CompressionMethod}, {12, &C::LastModTime},
    {14, &C::LastModDate},       {16, &C::Crc32},             {20, &C::CompressedSize},
    {24, &C::UncompressedSize},  {28, &C::FileNameLength},    {30, &C::ExtraFieldLength},
    {32, &C::FileCommentLength}, {34, &C::DiskNumberStart},   {36, &C::InternalAttributes},
    {38, &C::ExternalAttributes}, {42, &C::LocalHeaderOffset},
};

using E = TEndOfCentralDir;
constexpr TRecordField<E> kEndFields[] = {
    {0, &E::Signature},     {4, &E::DiskNumber},      {6, &E::StartDiskNumber},
    {8, &E::EntriesOnDisk}, {10, &E::EntriesTotal},   {12, &E::CentralDirSize},
    {16, &E::CentralDirOffset}, {20, &E::CommentLength},
};

using Z = TZip64EndOfCentralDir;
constexpr TRecordField<Z> kZip64EndFields[] = {
    {0, &Z::Signature},       {4, &Z::RecordSize},     {12, &Z::VersionMadeBy},
    {14, &Z::VersionNeeded},  {16, &Z::DiskNumber},    {20, &Z::StartDiskNumber},
    {24, &Z::EntriesOnDisk},  {32, &Z::EntriesTotal},  {40, &Z::CentralDirSize},
    {48, &Z::CentralDirOffset},
};

using K = TZip64EndLocator;
constexpr TRecordField<K> kLocatorFields[] = {
    {0, &K::Signature}, {4, &K::Zip64EndDisk}, {8, &K::Zip64EndOffset}, {16, &K::TotalDisks},
};

template <class R>
constexpr uint32_t WidthOf(const TRecordField<R>& f)
{
    return std::visit([](auto member) -> uint32_t { return sizeof(std::declval<R>().*member); }, f.Member);
}

// The fields follow one another without gaps and end at the record's size.
template <class R, size_t N>
constexpr bool Contiguous(const TRecordField<R> (&fields)[N], size_t size)
{
    uint32_t end = 0;
    for (const auto& f : fields) {
        if (f.Offset != end) return false;
        end += WidthOf(f);
    }
    return end == size;
}

static_assert(Contiguous(kLocalFields, 30) && TLocalFileHeader::kSize == 30);
static_assert(Contiguous(kDescriptorFields, 16) && TDataDescriptor::kSize == 16);
static_assert(Contiguous(kCentralFields, 46) && TCentralFileHeader::kSize == 46);
static_assert(Contiguous(kEndFields, 22) && TEndOfCentralDir::kSize == 22);
static_assert(Contiguous(kZip64EndFields, 56) && TZip64EndOfCentralDir::kSize == 56);
static_assert(Contiguous(kLocatorFields, 20) && TZip64EndLocator::kSize == 20);

template <class R, size_t N>
void ReadFields(const TRecordField<R> (&fields)[N], const uint8_t* p, R& r)
{
    for (const auto& f : fields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(r.*member)>;
                if constexpr (sizeof(T) == 2)
                    r.*member = ReadLE16(p + f.Offset);
                else if constexpr (sizeof(T) == 4)
                    r.*member = ReadLE32(p + f.Offset);
                else
                    r.*member = ReadLE64(p + f.Offset);
            },
            f.Member);
    }
}

template <class R, size_t N>
void WriteFields(const TRecordField<R> (&fields)[N], uint8_t* p, const R& r)
{
    for (const auto& f : fields) {
        std::visit(
            [&](auto member) {
                using T = std::remove_cvref_t<decltype(r.*member)>;
                if constexpr (sizeof(T) == 2)
                    WriteLE16(p + f.Offset, r.*member);
                else if constexpr (sizeof(T) == 4)
                    WriteLE32(p + f.Offset, r.*member);
                else
                    WriteLE64(p + f.Offset, r.*member);
            },
            f.Member);
    }
}

} // namespace

void ReadRecord(const uint8_t* p, TLocalFileHeader& r) { ReadFields(kLocalFields, p, r); }
void ReadRecord(const uint8_t* p, TDataDescriptor& r) { ReadFields(kDescriptorFields, p, r); }
void ReadRecord(const uint8_t* p, TCentralFileHeader& r) { ReadFields(kCentralFields, p, r); }
void ReadRecord(const uint8_t* p, TEndOfCentralDir& r) { ReadFields(kEndFields, p, r); }
void ReadRecord(const uint8_t* p, TZip64EndOfCentralDir& r) { ReadFields(kZip64EndFields, p, r); }
void ReadRecord(const uint8_t* p, TZip64EndLocator& r) { ReadFields(kLocatorFields, p, r); }
void WriteRecord(uint8_t* p, const TLocalFileHeader& r) { WriteFields(kLocalFields, p, r); }
void WriteRecord(uint8_t* p, const TDataDescriptor& r) { WriteFields(kDescriptorFields, p, r); }
void WriteRecord(uint8_t* p, const TCentralFileHeader& r) { WriteFields(kCentralFields, p, r); }
void WriteRecord(uint8_t* p, const TEndOfCentralDir& r) { WriteFields(kEndFields, p, r); }
void WriteRecord(uint8_t* p, const TZip64EndOfCentralDir& r) { WriteFields(kZip64EndFields, p, r); }
void WriteRecord(uint8_t* p, const TZip64EndLocator& r) { WriteFields(kLocatorFields, p, r); }

std::vector<TExtraBlock> ParseExtraField(std::span<const uint8_t> field)
{
    std::vector<TExtraBlock> blocks;
    size_t pos = 0;
    while (field.size() - pos >= 4) {
        TExtraBlock block;
        block.HeaderId = ReadLE16(field.data() + pos);
        size_t size = ReadLE16(field.data() + pos + 2);
        pos += 4;
        if (size > field.size() - pos) size = field.size() - pos;
        block.Data.assign(field.begin() + static_cast<ptrdiff_t>(pos), field.begin() + static_cast<ptrdiff_t>(pos + size));
        pos += size;
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<uint8_t> BuildExtraField(const std::vector<TExtraBlock>& blocks)
{
    std::vector<uint8_t> out;
    for (const TExtraBlock& b : blocks) {
        const size_t at = out.size();
        out.resize(at + 4);
        WriteLE16(out.data() + at, b.HeaderId);
        WriteLE16(out.data() + at + 2, static_cast<uint16_t>(b.Data.size()));
        out.insert(out.end(), b.Data.begin(), b.Data.end());
    }
    return out;
}

void ReadZip64Block(std::span<const uint8_t> data, const TCentralFileHeader& header, TZip64Values& values)
{
    // The values lie one after the other; once one is cut short, the bytes after it
    // cannot hold the next one.
    size_t pos = 0;
    bool whole = true;
    auto take = [&](bool wanted, size_t width, auto& value) {
        if (!wanted || !whole) return;
        if (data.size() - pos < width) {
            whole = false;
            return;
        }
        using T = std::remove_reference_t<decltype(value)>;
        value = static_cast<T>(width == 8 ? ReadLE64(data.data() + pos) : ReadLE32(data.data() + pos));
        pos += width;
    };
    take(header.UncompressedSize == 0xFFFFFFFFu, 8, values.UncompressedSize);
    take(header.CompressedSize == 0xFFFFFFFFu, 8, values.CompressedSize);
    take(header.LocalHeaderOffset == 0xFFFFFFFFu, 8, values.LocalHeaderOffset);
    take(header.DiskNumberStart == 0xFFFF, 4, values.DiskNumberStart);
}

std::vector<uint8_t> BuildZip64Block(const TCentralFileHeader& header, const TZip64Values& values)
{
    std::vector<uint8_t> out;
    auto put = [&](uint64_t value, size_t width) {
        const size_t at = out.size();
        out.resize(at + width);
        if (width == 8)
            WriteLE64(out.data() + at, value);
        else
            WriteLE32(out.data() + at, static_cast<uint32_t>(value));
    };
    if (header.UncompressedSize == 0xFFFFFFFFu) put(values.UncompressedSize, 8);
    if (header.CompressedSize == 0xFFFFFFFFu) put(values.CompressedSize, 8);
    if (header.LocalHeaderOffset == 0xFFFFFFFFu) put(values.LocalHeaderOffset, 8);
    if (header.DiskNumberStart == 0xFFFF) put(values.DiskNumberStart, 4);
    return out;
}

std::optional<TCivilTime> DosToCivil(TDosDateTime value)
{
    TCivilTime t;
    t.Year = 1980 + (value.Date >> 9);
    t.Month = (value.Date >> 5) & 0x0F;
    t.Day = value.Date & 0x1F;
    t.Hour = value.Time >> 11;
    t.Minute = (value.Time >> 5) & 0x3F;
    const int halfSeconds = value.Time & 0x1F;
    t.Second = halfSeconds * 2;
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Hour > 23 || t.Minute > 59 || halfSeconds >= 30)
        return std::nullopt;
    return t;
}

TDosDateTime CivilToDos(const TCivilTime& time)
{
    if (time.Year < 1980) return {(0 << 9) | (1 << 5) | 1, 0};
    if (time.Year > 2107) return {(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29};
    TDosDateTime v;
    v.Date = static_cast<uint16_t>((time.Year - 1980) << 9 | time.Month << 5 | time.Day);
    v.Time = static_cast<uint16_t>(time.Hour << 11 | time.Minute << 5 | time.Second / 2);
    return v;
}

std::optional<time_t> DosToTime(TDosDateTime value)
{
    const std::optional<TCivilTime> civil = DosToCivil(value);
    if (!civil) return std::nullopt;
    struct tm tm {};
    tm.tm_year = civil->Year - 1900;
    tm.tm_mon = civil->Month - 1;
    tm.tm_mday = civil->Day;
    tm.tm_hour = civil->Hour;
    tm.tm_min = civil->Minute;
    tm.tm_sec = civil->Second;
    tm.tm_isdst = -1;
    const time_t moment = mktime(&tm);
    if (moment == time_t(-1)) return std::nullopt;
    return moment;
}

TDosDateTime TimeToDos(time_t moment)
{
    struct tm tm {};
    if (!localtime_r(&moment, &tm)) return CivilToDos(TCivilTime{moment < 0 ? 1979 : 2108});
    TCivilTime t;
    t.Year = tm.tm_year + 1900;
    t.Month = tm.tm_mon + 1;
    t.Day = tm.tm_mday;
    t.Hour = tm.tm_hour;
    t.Minute = tm.tm_min;
    t.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    return CivilToDos(t);
}
