#include "archive/HvoTraditionalStream.h"

#include "platform/Exceptions.h"

#include <openssl/rand.h>

THvoTraditionalDecryptStream::THvoTraditionalDecryptStream(TStream& source, const THvoZipKeys& keys)
    : source_(source), keys_(keys)
{
}

THvoTraditionalDecryptStream::~THvoTraditionalDecryptStream() = default;

int64_t THvoTraditionalDecryptStream::Read(void* buffer, int64_t count)
{
    const int64_t got = source_.Read(buffer, count);
    if (got > 0) keys_.DecryptBuffer(static_cast<uint8_t*>(buffer), static_cast<size_t>(got));
    return got;
}

THvoTraditionalEncryptStream::THvoTraditionalEncryptStream(TStream& next) : next_(next) {}

THvoTraditionalEncryptStream::~THvoTraditionalEncryptStream() = default;

std::vector<uint8_t> THvoTraditionalEncryptStream::Header(std::string_view password, uint32_t crc)
{
    std::vector<uint8_t> header(kTraditionalHeaderSize);
    if (RAND_bytes(header.data(), 10) != 1) throw platform::Exception("RAND_bytes failed");
    header[10] = static_cast<uint8_t>(crc >> 16);
    header[11] = static_cast<uint8_t>(crc >> 24);
    keys_.InitKeys(password);
    for (uint8_t& b : header) b = keys_.EncryptByte(b);
    return header;
}

int64_t THvoTraditionalEncryptStream::Write(const void* buffer, int64_t count)
{
    if (count < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    buffer_.assign(bytes, bytes + count);
    keys_.EncryptBuffer(buffer_.data(), 0, buffer_.size());
    return next_.Write(buffer_.data(), count) == count ? count : 0;
}
