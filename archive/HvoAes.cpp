#include "archive/HvoAes.h"

#include "archive/HvoDirManager.h"
#include "archive/HvoStreams.h"
#include "platform/Exceptions.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <climits>

namespace {

[[noreturn]] void CryptoFailure()
{
    const unsigned long code = ERR_get_error();
    char reason[256] = "unknown error";
    if (code != 0) ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw platform::Exception(std::string("AES: ") + reason);
}

void Check(int result)
{
    if (result != 1) CryptoFailure();
}

constexpr size_t kBlock = 16;
// Counter blocks encrypted in one call.
constexpr size_t kStreamBlocks = 256;

void ReadExactly(TStream& stream, int64_t skip, std::vector<uint8_t>& into)
{
    if (skip != 0) stream.Seek(skip, TSeekOrigin::soCurrent);
    stream.ReadBuffer(into.data(), static_cast<int64_t>(into.size()));
}

} // namespace

// ---- TPBKDF2 -------------------------------------------------------------------------

TPBKDF2::TPBKDF2(std::string password, int32_t iterations, int32_t saltLength)
    : Iterations(iterations), Salt(static_cast<size_t>(std::max(saltLength, 0))), SaltLength(std::max(saltLength, 0)),
      Password(std::move(password))
{
    if (!Salt.empty()) Check(RAND_bytes(Salt.data(), static_cast<int>(Salt.size())));
}

TPBKDF2::TPBKDF2(std::string password, int32_t iterations, int32_t saltLength, const uint8_t* salt)
    : Iterations(iterations), Salt(salt, salt + std::max(saltLength, 0)), SaltLength(std::max(saltLength, 0)),
      Password(std::move(password))
{
}

std::vector<uint8_t> TPBKDF2::DeriveKey(int32_t length) const
{
    std::vector<uint8_t> key(static_cast<size_t>(std::max(length, 0)));
    if (key.empty()) return key;
    if (Password.size() > static_cast<size_t>(INT_MAX)) CryptoFailure();
    Check(PKCS5_PBKDF2_HMAC(Password.data(), static_cast<int>(Password.size()), Salt.data(),
                            static_cast<int>(Salt.size()), std::max(Iterations, 1), EVP_sha1(),
                            static_cast<int>(key.size()), key.data()));
    return key;
}

// ---- THvoCryptoTransform -------------------------------------------------------------

THvoCryptoTransform::~THvoCryptoTransform() = default;

std::optional<TAesRecord> FindAesRecord(const TDirItem& entry)
{
    for (const TExtraBlock& block : entry.ExtraFields) {
        if (block.HeaderId != kExtraAes || block.Data.size() < 7) continue;
        return TAesRecord{ReadLE16(&block.Data[0]), block.Data[4], ReadLE16(&block.Data[5])};
    }
    return std::nullopt;
}

// ---- TAESCryptoTransform -------------------------------------------------------------

struct TAESCryptoTransform::TState {
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* mac = nullptr;
    EVP_MAC_CTX* hmac = nullptr;
    uint64_t counter = 0;
    std::array<uint8_t, kBlock * kStreamBlocks> stream{};
    size_t streamUsed = 0; // bytes of stream already used
    size_t streamSize = 0;
    bool finished = false;
    std::vector<uint8_t> code;

    ~TState()
    {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(hmac);
        EVP_MAC_free(mac);
    }
};

TAESCryptoTransform::TAESCryptoTransform(int32_t keyBits, uint16_t vendorVersion, uint16_t actualMethod)
    : KeyLength(static_cast<uint16_t>((keyBits == 128 || keyBits == 192 ? keyBits : 256) / 8)),
      VendorVersion(vendorVersion), ActualMethod(actualMethod)
{
}

TAESCryptoTransform::~TAESCryptoTransform() = default;

std::unique_ptr<TAESCryptoTransform> TAESCryptoTransform::ForEntry(const TDirItem& entry)
{
    const int32_t bits = entry.AesStrength >= 1 && entry.AesStrength <= 3 ? 64 + 64 * entry.AesStrength : 256;
    const std::optional<TAesRecord> record = FindAesRecord(entry);
    auto transform = std::make_unique<TAESCryptoTransform>(bits, record ? record->VendorVersion : uint16_t{2},
                                                           record ? record->ActualMethod : entry.StoredMethod);
    transform->SetDirection(kDecrypt);
    return transform;
}

const std::vector<uint8_t>& TAESCryptoTransform::KeyMaterial(const std::string& password)
{
    if (derived_.empty() || derivedKeyLength_ != KeyLength || derivedPassword_ != password || derivedSalt_ != EntrySalt) {
        const TPBKDF2 kdf(password, kIterations, static_cast<int32_t>(EntrySalt.size()), EntrySalt.data());
        derived_ = kdf.DeriveKey(2 * KeyLength + kVerifierLength);
        derivedPassword_ = password;
        derivedSalt_ = EntrySalt;
        derivedKeyLength_ = KeyLength;
    }
    return derived_;
}

void TAESCryptoTransform::DeriveKeys()
{
    if (KeyLength != 16 && KeyLength != 24 && KeyLength != 32) throw platform::Exception("AES: no key");
    Kdf = std::make_unique<TPBKDF2>(Password, kIterations, static_cast<int32_t>(EntrySalt.size()), EntrySalt.data());
    const std::vector<uint8_t> material = KeyMaterial(Password);
    const auto* p = material.data();
    AesKey.assign(p, p + KeyLength);
    HmacKey.assign(p + KeyLength, p + 2 * KeyLength);
    Verifier.assign(p + 2 * KeyLength, p + 2 * KeyLength + kVerifierLength);

    auto state = std::make_unique<TState>();
    const EVP_CIPHER* cipher = KeyLength == 16 ? EVP_aes_128_ecb() : KeyLength == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    state->cipher = EVP_CIPHER_CTX_new();
    if (state->cipher == nullptr) CryptoFailure();
    Check(EVP_EncryptInit_ex(state->cipher, cipher, nullptr, AesKey.data(), nullptr));
    Check(EVP_CIPHER_CTX_set_padding(state->cipher, 0));
    state->mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (state->mac == nullptr) CryptoFailure();
    state->hmac = EVP_MAC_CTX_new(state->mac);
    if (state->hmac == nullptr) CryptoFailure();
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    Check(EVP_MAC_init(state->hmac, HmacKey.data(), HmacKey.size(), params));
    state_ = std::move(state);
}

void TAESCryptoTransform::SetPassword(const std::string& password)
{
    Password = password;
    if (Direction == kDecrypt) {
        if (!EntrySalt.empty()) DeriveKeys();
        return;
    }
    EntrySalt = TPBKDF2(std::string(), kIterations, KeyLength / 2).GetSalt();
    DeriveKeys();
}

bool TAESCryptoTransform::CheckPassword(const std::string& password)
{
    if (Verifier.size() != kVerifierLength) return false;
    const std::vector<uint8_t>& material = KeyMaterial(password);
    return material[2 * KeyLength] == Verifier[0] && material[2 * KeyLength + 1] == Verifier[1];
}

void TAESCryptoTransform::Reset()
{
    Password.clear();
    KeyLength = 0;
    Kdf.reset();
    HmacKey.clear();
    AesKey.clear();
    Verifier.clear();
    EntrySalt.clear();
    AuthCode.clear();
    state_.reset();
    derivedPassword_.clear();
    derivedSalt_.clear();
    derived_.clear();
}

void TAESCryptoTransform::Transform(const uint8_t* source, uint8_t* target, size_t count)
{
    if (!state_) throw platform::Exception("AES: no key");
    TState& s = *state_;
    while (count > 0) {
        if (s.streamUsed == s.streamSize) {
            // The next run of counter blocks: an 8-byte little-endian counter, incremented
            // before each block (the first block uses 1), then eight zero bytes.
            std::array<uint8_t, kBlock * kStreamBlocks> counters{};
            for (size_t b = 0; b < kStreamBlocks; ++b) {
                ++s.counter;
                for (size_t i = 0; i < 8; ++i) counters[b * kBlock + i] = static_cast<uint8_t>(s.counter >> (8 * i));
            }
            int produced = 0;
            Check(EVP_EncryptUpdate(s.cipher, s.stream.data(), &produced, counters.data(), static_cast<int>(counters.size())));
            if (produced != static_cast<int>(counters.size())) CryptoFailure();
            s.streamSize = s.stream.size();
            s.streamUsed = 0;
        }
        const size_t n = std::min(count, s.streamSize - s.streamUsed);
        for (size_t i = 0; i < n; ++i) target[i] = source[i] ^ s.stream[s.streamUsed + i];
        s.streamUsed += n;
        source += n;
        target += n;
        count -= n;
    }
}

void TAESCryptoTransform::DecryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                                      size_t count)
{
    if (!state_) throw platform::Exception("AES: no key");
    if (count == 0) return;
    if (!state_->finished) Check(EVP_MAC_update(state_->hmac, source + sourceOffset, count));
    Transform(source + sourceOffset, target + targetOffset, count);
}

void TAESCryptoTransform::EncryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                                      size_t count)
{
    if (!state_) throw platform::Exception("AES: no key");
    if (count == 0) return;
    Transform(source + sourceOffset, target + targetOffset, count);
    if (!state_->finished) Check(EVP_MAC_update(state_->hmac, target + targetOffset, count));
}

std::vector<uint8_t> TAESCryptoTransform::GetEncryptionHeader() const
{
    std::vector<uint8_t> header = EntrySalt;
    header.insert(header.end(), Verifier.begin(), Verifier.end());
    return header;
}

void TAESCryptoTransform::ReadEncryptionHeader(TStream& stream, int64_t skip)
{
    EntrySalt.assign(KeyLength / 2, 0);
    ReadExactly(stream, skip, EntrySalt);
    DeriveKeys();
    Verifier.assign(kVerifierLength, 0);
    ReadExactly(stream, 0, Verifier);
}

const std::vector<uint8_t>& TAESCryptoTransform::FinishedCode()
{
    if (!state_) throw platform::Exception("AES: no key");
    TState& s = *state_;
    if (!s.finished) {
        std::array<uint8_t, EVP_MAX_MD_SIZE> mac{};
        size_t length = 0;
        Check(EVP_MAC_final(s.hmac, mac.data(), &length, mac.size()));
        if (length < static_cast<size_t>(AuthCodeLength)) CryptoFailure();
        s.code.assign(mac.begin(), mac.begin() + AuthCodeLength);
        s.finished = true;
    }
    return s.code;
}

std::vector<uint8_t> TAESCryptoTransform::GetAuthenticationCode()
{
    AuthCode = FinishedCode();
    return AuthCode;
}

void TAESCryptoTransform::ReadAuthenticationCode(TStream& stream, int64_t skip)
{
    AuthCode.assign(static_cast<size_t>(AuthCodeLength), 0);
    ReadExactly(stream, skip, AuthCode);
}

bool TAESCryptoTransform::AuthenticationFailed(const TDirItem& entry, uint32_t crc)
{
    const std::vector<uint8_t>& code = FinishedCode();
    if (AuthCode.size() != code.size() || CRYPTO_memcmp(AuthCode.data(), code.data(), code.size()) != 0) return true;
    return VendorVersion == 1 && entry.Crc32 != crc;
}

TExtraBlock TAESCryptoTransform::GetExtraField() const
{
    TExtraBlock block;
    block.HeaderId = kExtraAes;
    block.Data.resize(7);
    WriteLE16(&block.Data[0], VendorVersion);
    block.Data[2] = 'A';
    block.Data[3] = 'E';
    block.Data[4] = static_cast<uint8_t>(KeyLength == 16 ? 1 : KeyLength == 24 ? 2 : 3);
    WriteLE16(&block.Data[5], ActualMethod);
    return block;
}
