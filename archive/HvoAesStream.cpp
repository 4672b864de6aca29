#include "archive/HvoAesStream.h"

THvoAesDecryptStream::THvoAesDecryptStream(TStream& source, std::unique_ptr<TAESCryptoTransform> transform)
    : source_(source), transform_(std::move(transform))
{
}

THvoAesDecryptStream::~THvoAesDecryptStream() = default;

int64_t THvoAesDecryptStream::Read(void* buffer, int64_t count)
{
    const int64_t got = source_.Read(buffer, count);
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (got > 0) transform_->DecryptData(bytes, 0, bytes, 0, static_cast<size_t>(got));
    return got;
}

bool THvoAesDecryptStream::Authentic(const TDirItem& entry, uint32_t crc)
{
    // The code too may begin on one volume and end on the next: read through source.
    std::vector<uint8_t> code(static_cast<size_t>(transform_->AuthenticationCodeSize()));
    if (source_.Read(code.data(), static_cast<int64_t>(code.size())) != static_cast<int64_t>(code.size())) return false;
    TMemoryStream stored;
    stored.WriteBuffer(code.data(), static_cast<int64_t>(code.size()));
    stored.SetPosition(0);
    transform_->ReadAuthenticationCode(stored, 0);
    return !transform_->AuthenticationFailed(entry, crc);
}

THvoAesEncryptStream::THvoAesEncryptStream(TStream& next, std::unique_ptr<TAESCryptoTransform> transform)
    : next_(next), transform_(std::move(transform))
{
}

THvoAesEncryptStream::~THvoAesEncryptStream() = default;

std::vector<uint8_t> THvoAesEncryptStream::Header(const std::string& password)
{
    transform_->SetPassword(password);
    return transform_->GetEncryptionHeader();
}

int64_t THvoAesEncryptStream::Write(const void* buffer, int64_t count)
{
    if (count < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    buffer_.assign(bytes, bytes + count);
    transform_->EncryptData(buffer_.data(), 0, buffer_.data(), 0, buffer_.size());
    return next_.Write(buffer_.data(), count) == count ? count : 0;
}

std::vector<uint8_t> THvoAesEncryptStream::Trailer() { return transform_->GetAuthenticationCode(); }
