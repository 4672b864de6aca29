#pragma once

#include "archive/HvoStreams.h"

#include <cstdint>
#include <limits>

// The check stage of entry data: the CRC-32 and the count of the plain bytes written to
// it, which it passes on to next (when there is one). Decoding gives it the size the
// entry declares: a write that would pass it is refused and marks the data as overrun,
// so that an entry fails as soon as it produces more than it declares.
class THvoCrcStream : public TWriteOnlyStream {
public:
    explicit THvoCrcStream(TStream* next, uint64_t limit = std::numeric_limits<uint64_t>::max());
    ~THvoCrcStream() override;

    // count when next took the bytes (or there is no next): they count then. 0 when they
    // would pass the limit (Overrun; nothing of them counts) or next took less (Refused;
    // the CRC has taken them in).
    int64_t Write(const void* buffer, int64_t count) override;

    // The CRC-32 of the bytes taken, in its final (inverted) form.
    uint32_t Crc() const { return ~crc_; }
    // The bytes that counted.
    uint64_t Count() const { return count_; }
    bool Overrun() const { return overrun_; }
    bool Refused() const { return refused_; }

private:
    TStream* next_;
    uint64_t limit_;
    uint32_t crc_ = 0xFFFFFFFFu;
    uint64_t count_ = 0;
    bool overrun_ = false;
    bool refused_ = false;
};
