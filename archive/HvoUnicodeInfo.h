#pragma once

#include "archive/HvoStreams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The component's Unicode name record, the data of extra block 0x554E:
//   signature "NUCX" (4 bytes), length n (4 bytes, UTF-16 code units), n UTF-16LE units.
class TUnicodeExtendedInfo {
public:
    static constexpr uint32_t kSignature = 0x5843554E; // "NUCX"

    // Reads the record from a copy of the bytes (see ReadFromStream).
    bool ReadFromBuffer(const void* bytes, size_t size);
    // Reads the record from the stream's start; the stream's size is the block's data size.
    // True when the signature is "NUCX" and all 2 x n name bytes lie inside the data: the
    // name is then UnicodeName (UTF-8; an unpaired surrogate becomes U+FFFD). Otherwise
    // False and UnicodeName unchanged (a length beyond the data is refused, never
    // allocated). RecordSignature holds whatever signature was read.
    bool ReadFromStream(TStream& stream);

    std::string UnicodeName;
    uint32_t RecordSignature = 0;
};

// The record for a name (UTF-8; a malformed byte stands for U+FFFD): "NUCX", the number
// of UTF-16 code units, the UTF-16LE units.
std::vector<uint8_t> BuildUnicodeNameRecord(std::string_view name);
// The number of UTF-16 code units of a name (UTF-8).
size_t Utf16Length(std::string_view name);

// A stream that swallows everything: reads report the count without touching the
// buffer, writes report the count and keep nothing, Seek answers 0, sizes change nothing.
class TNullStream : public TStream {
public:
    ~TNullStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
};
