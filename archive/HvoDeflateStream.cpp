#include "archive/HvoDeflateStream.h"

#include <zlib.h>

struct THvoInflateStream::TZlib {
    z_stream zs{};
};

THvoInflateStream::THvoInflateStream(TStream& next, size_t outputSize, std::function<bool()> beforeStep)
    : next_(next), beforeStep_(std::move(beforeStep)), zlib_(std::make_unique<TZlib>()), output_(outputSize)
{
    ready_ = inflateInit2(&zlib_->zs, -MAX_WBITS) == Z_OK;
}

THvoInflateStream::~THvoInflateStream()
{
    if (ready_) inflateEnd(&zlib_->zs);
}

int64_t THvoInflateStream::Write(const void* buffer, int64_t count)
{
    if (!ready_ || state_ != isOpen || count <= 0) return 0;
    z_stream& zs = zlib_->zs;
    zs.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(buffer));
    zs.avail_in = static_cast<uInt>(count);
    for (;;) {
        if (beforeStep_ && !beforeStep_()) {
            state_ = isStopped;
            break;
        }
        zs.next_out = output_.data();
        zs.avail_out = static_cast<uInt>(output_.size());
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc < 0 && !(rc == Z_BUF_ERROR && zs.avail_in == 0)) {
            state_ = isDamaged;
            break;
        }
        const auto n = static_cast<int64_t>(output_.size() - zs.avail_out);
        if (n > 0 && next_.Write(output_.data(), n) != n) {
            state_ = isStopped;
            break;
        }
        if (rc == Z_STREAM_END) {
            state_ = isEnded;
            break;
        }
        if (zs.avail_out > 0 && zs.avail_in == 0) break;
        if (rc == Z_BUF_ERROR) {
            state_ = isDamaged;
            break;
        }
    }
    return count - static_cast<int64_t>(zs.avail_in);
}

struct THvoDeflateStream::TZlib {
    z_stream zs{};
};

THvoDeflateStream::THvoDeflateStream(TStream& next, int level, int64_t totalSize)
    : next_(next), zlib_(std::make_unique<TZlib>()), totalSize_(totalSize)
{
    ready_ = deflateInit2(&zlib_->zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    if (!ready_) deflateEnd(&zlib_->zs);
}

THvoDeflateStream::~THvoDeflateStream() { End(); }

int THvoDeflateStream::End()
{
    if (!ready_) return Z_OK;
    ready_ = false;
    return deflateEnd(&zlib_->zs);
}

int64_t THvoDeflateStream::Write(const void* buffer, int64_t count)
{
    if (!ready_ || count < 0) return 0;
    taken_ += count;
    const bool last = taken_ >= totalSize_;
    // Deflate is called until it leaves output space.
    z_stream& zs = zlib_->zs;
    const size_t room = deflateBound(&zs, static_cast<uLong>(count)) + 16;
    output_.clear();
    zs.next_in = const_cast<Bytef*>(static_cast<const Bytef*>(buffer));
    zs.avail_in = static_cast<uInt>(count);
    for (;;) {
        const size_t used = output_.size();
        output_.resize(used + room);
        zs.next_out = output_.data() + used;
        zs.avail_out = static_cast<uInt>(room);
        const int result = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
        output_.resize(used + room - zs.avail_out);
        if (result < 0 && result != Z_BUF_ERROR) return 0;
        if (zs.avail_out != 0) break;
    }
    const auto size = static_cast<int64_t>(output_.size());
    return next_.Write(output_.data(), size) == size ? count : 0;
}

uint64_t THvoDeflateStream::Bound(int level, uint64_t size)
{
    uint64_t bound = 0;
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK) {
        bound = deflateBound(&zs, static_cast<uLong>(size));
        deflateEnd(&zs);
    } else {
        bound = deflateBound(nullptr, static_cast<uLong>(size));
    }
    // The smallest chunk is 512 KiB; each flush adds at most an empty stored block.
    return bound + (size / 524288 + 1) * 16;
}
