#include "archive/HvoCrcStream.h"

#include "archive/HvoChecksum.h"

THvoCrcStream::THvoCrcStream(TStream* next, uint64_t limit) : next_(next), limit_(limit) {}

THvoCrcStream::~THvoCrcStream() = default;

int64_t THvoCrcStream::Write(const void* buffer, int64_t count)
{
    if (count < 0) return 0;
    if (static_cast<uint64_t>(count) > limit_ - count_) {
        overrun_ = true;
        return 0;
    }
    crc_ = UpdateCrc32(crc_, buffer, static_cast<size_t>(count));
    if (next_ && next_->Write(buffer, count) != count) {
        refused_ = true;
        return 0;
    }
    count_ += static_cast<uint64_t>(count);
    return count;
}
