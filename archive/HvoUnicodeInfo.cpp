#include "archive/HvoUnicodeInfo.h"

#include "archive/HvoRecords.h"
#include "platform/CodePages.h"

#include <vector>

bool TUnicodeExtendedInfo::ReadFromBuffer(const void* bytes, size_t size)
{
    TMemoryStream stream;
    stream.Write(bytes, static_cast<int64_t>(size));
    return ReadFromStream(stream);
}

bool TUnicodeExtendedInfo::ReadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    uint8_t header[8];
    if (stream.Read(header, 4) != 4) return false;
    RecordSignature = ReadLE32(header);
    if (RecordSignature != kSignature) return false;
    if (stream.Read(header + 4, 4) != 4) return false;
    const uint64_t units = ReadLE32(header + 4);
    if (size < 8 || units * 2 > static_cast<uint64_t>(size - 8)) return false;
    std::vector<uint8_t> data(static_cast<size_t>(units * 2));
    if (!data.empty() && stream.Read(data.data(), static_cast<int64_t>(data.size())) != static_cast<int64_t>(data.size()))
        return false;
    std::string name;
    for (size_t i = 0; i < units; ++i) {
        char32_t unit = ReadLE16(data.data() + 2 * i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char32_t low = ReadLE16(data.data() + 2 * i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
        platform::AppendUtf8(name, unit);
    }
    UnicodeName = std::move(name);
    return true;
}

namespace {

std::vector<uint16_t> Utf16Units(std::string_view name)
{
    std::vector<uint16_t> units;
    for (size_t pos = 0; pos < name.size();) {
        const char32_t ch = platform::DecodeUtf8(name, pos);
        if (ch >= 0x10000) {
            units.push_back(static_cast<uint16_t>(0xD800 + ((ch - 0x10000) >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<uint16_t>(ch));
        }
    }
    return units;
}

} // namespace

std::vector<uint8_t> BuildUnicodeNameRecord(std::string_view name)
{
    const std::vector<uint16_t> units = Utf16Units(name);
    std::vector<uint8_t> record(8 + 2 * units.size());
    WriteLE32(record.data(), TUnicodeExtendedInfo::kSignature);
    WriteLE32(record.data() + 4, static_cast<uint32_t>(units.size()));
    for (size_t i = 0; i < units.size(); ++i) WriteLE16(record.data() + 8 + 2 * i, units[i]);
    return record;
}

size_t Utf16Length(std::string_view name) { return Utf16Units(name).size(); }

TNullStream::~TNullStream() = default;
int64_t TNullStream::Read(void*, int64_t count) { return count; }
int64_t TNullStream::Write(const void*, int64_t count) { return count; }
int64_t TNullStream::Seek(int64_t, TSeekOrigin) { return 0; }
void TNullStream::SetSize(int64_t) {}
