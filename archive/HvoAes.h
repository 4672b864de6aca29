#pragma once

// AES encryption of ZIP entries in the published AE-1 / AE-2 form (extra block 0x9901):
// a random salt per entry, keys derived from the password with PBKDF2-HMAC-SHA1 over 1000
// iterations, a 2-byte password verifier before the data, AES in counter mode over the
// (compressed) data and the first 10 bytes of an HMAC-SHA1 of the cipher text after it.
// Data layout inside the entry's compressed size:
//   salt (KeyLength / 2 bytes) | verifier (2) | cipher text | authentication code (10)
// The primitives are OpenSSL 3's libcrypto. Failures of libcrypto itself (out of memory)
// raise platform::Exception "AES: <libcrypto's reason>".

#include "archive/HvoRecords.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TStream;
struct TDirItem;

// Password, salt and iteration count of one key derivation.
class TPBKDF2 {
public:
    // A new salt of saltLength bytes, each from the system's cryptographic random source
    // over the full range 0..255, so no two entries share a salt (and with it a key stream).
    TPBKDF2(std::string password, int32_t iterations, int32_t saltLength);
    // A copy of the saltLength bytes at salt.
    TPBKDF2(std::string password, int32_t iterations, int32_t saltLength, const uint8_t* salt);

    // length bytes of PBKDF2 (RFC 2898) with HMAC-SHA1 over the password bytes and the salt,
    // Iterations rounds.
    std::vector<uint8_t> DeriveKey(int32_t length) const;
    // A copy of the salt.
    std::vector<uint8_t> GetSalt() const { return Salt; }

    int32_t Iterations;
    std::vector<uint8_t> Salt;
    int32_t SaltLength;
    std::string Password; // 8-bit bytes, taken as they are
};

// An encryption transform of entry data that the compression transfer drives: it produces
// and reads the bytes before the data (encryption header) and after it (authentication code)
// and encrypts or decrypts the data between them.
class THvoCryptoTransform {
public:
    static constexpr int32_t kEncrypt = 0;
    static constexpr int32_t kDecrypt = 1;

    THvoCryptoTransform() = default;
    THvoCryptoTransform(const THvoCryptoTransform&) = delete;
    THvoCryptoTransform& operator=(const THvoCryptoTransform&) = delete;
    virtual ~THvoCryptoTransform();

    // Stores the password and derives keys: when decrypting from the entry's salt once one
    // was read; when encrypting from a new random salt.
    virtual void SetPassword(const std::string& password) = 0;
    // Whether the password, with the entry's salt, gives the stored verifier. The
    // transform's own keys and password stay.
    virtual bool CheckPassword(const std::string& password) = 0;
    // The cipher key (empty before a derivation).
    virtual std::vector<uint8_t> GetKey() const = 0;
    virtual std::string GetPassword() const = 0;
    // kEncrypt or kDecrypt.
    virtual void SetDirection(int32_t direction) { Direction = direction; }
    // Back to the created state without key size: no password, salt, keys or code.
    virtual void Reset() = 0;
    // Authenticates count cipher bytes at source + sourceOffset, then decrypts them to
    // target + targetOffset (the two may be the same bytes). Raises platform::Exception
    // "AES: no key" before a derivation.
    virtual void DecryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                             size_t count) = 0;
    // Encrypts count plain bytes to the target, then authenticates the cipher text.
    virtual void EncryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                             size_t count) = 0;
    // The bytes written before the data: salt, then verifier.
    virtual std::vector<uint8_t> GetEncryptionHeader() const = 0;
    // Moves the stream by skip bytes from its position, reads the salt, derives the keys
    // from it and the current password, then reads the stored verifier. A short read raises
    // EReadError.
    virtual void ReadEncryptionHeader(TStream& stream, int64_t skip) = 0;
    virtual int32_t EncryptionHeaderSize() const = 0;
    // Ends the authentication: the code of the data passed so far (as written after it).
    virtual std::vector<uint8_t> GetAuthenticationCode() = 0;
    // Moves the stream by skip bytes and reads the stored code. A short read raises
    // EReadError.
    virtual void ReadAuthenticationCode(TStream& stream, int64_t skip) = 0;
    virtual int32_t AuthenticationCodeSize() const = 0;
    // Ends the authentication and compares with the stored code: true when they differ.
    // An AE-1 entry also fails when its stored CRC-32 differs from crc (the CRC-32 of the
    // decoded bytes, in its final, inverted form).
    virtual bool AuthenticationFailed(const TDirItem& entry, uint32_t crc) = 0;
    // The extra block that marks the entry.
    virtual TExtraBlock GetExtraField() const = 0;

    int32_t Direction = kEncrypt;
};

// The AES record of an entry's extra field (block 0x9901, at least 7 bytes).
struct TAesRecord {
    uint16_t VendorVersion = 0; // 1 AE-1, 2 AE-2
    uint8_t Strength = 0;       // 1, 2, 3: 128, 192, 256-bit key
    uint16_t ActualMethod = 0;  // compression method of the data
};
// The first AES record among the entry's extra blocks, if any.
std::optional<TAesRecord> FindAesRecord(const TDirItem& entry);

class TAESCryptoTransform : public THvoCryptoTransform {
public:
    static constexpr int32_t kIterations = 1000;
    static constexpr int32_t kAuthCodeLength = 10;
    static constexpr int32_t kVerifierLength = 2;

    // keyBits 128, 192 or 256 (anything else is taken as 256); vendorVersion 1 or 2 (the
    // archiver writes 2); actualMethod the compression method of the data.
    TAESCryptoTransform(int32_t keyBits, uint16_t vendorVersion, uint16_t actualMethod);
    ~TAESCryptoTransform() override;

    // A transform that decrypts the entry: key size from its AesStrength (AES-256 when it
    // holds none), vendor version and method from its AES record (2 and StoredMethod
    // without one).
    static std::unique_ptr<TAESCryptoTransform> ForEntry(const TDirItem& entry);

    void SetPassword(const std::string& password) override;
    bool CheckPassword(const std::string& password) override;
    std::vector<uint8_t> GetKey() const override { return AesKey; }
    std::string GetPassword() const override { return Password; }
    void Reset() override;
    void DecryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                     size_t count) override;
    void EncryptData(const uint8_t* source, size_t sourceOffset, uint8_t* target, size_t targetOffset,
                     size_t count) override;
    std::vector<uint8_t> GetEncryptionHeader() const override;
    void ReadEncryptionHeader(TStream& stream, int64_t skip) override;
    // KeyLength / 2 + 2: 10, 14 or 18.
    int32_t EncryptionHeaderSize() const override { return KeyLength / 2 + kVerifierLength; }
    std::vector<uint8_t> GetAuthenticationCode() override;
    void ReadAuthenticationCode(TStream& stream, int64_t skip) override;
    int32_t AuthenticationCodeSize() const override { return AuthCodeLength; }
    bool AuthenticationFailed(const TDirItem& entry, uint32_t crc) override;
    // ID 0x9901, 7 bytes: vendor version, "AE", strength (1, 2, 3 by key bits), ActualMethod.
    TExtraBlock GetExtraField() const override;

    std::unique_ptr<TPBKDF2> Kdf;
    uint16_t KeyLength;
    std::vector<uint8_t> HmacKey;
    std::vector<uint8_t> AesKey;
    std::vector<uint8_t> Verifier;
    std::vector<uint8_t> EntrySalt;
    std::vector<uint8_t> AuthCode;
    std::string Password;
    uint16_t VendorVersion;
    uint16_t ActualMethod;
    int32_t AuthCodeLength = kAuthCodeLength;

private:
    struct TState; // libcrypto's cipher and HMAC contexts and the counter
    // Replaces Kdf from Password and EntrySalt, then splits the derived bytes into
    // AesKey, HmacKey and Verifier and restarts the cipher and the authentication.
    void DeriveKeys();
    // The derived bytes (keys and verifier) of password and EntrySalt. The last
    // derivation is kept: asking again for the same password, salt and key length
    // (reading the header, checking the password, setting it) derives nothing anew.
    const std::vector<uint8_t>& KeyMaterial(const std::string& password);
    // XORs count bytes with the key stream.
    void Transform(const uint8_t* source, uint8_t* target, size_t count);
    // The first 10 bytes of the finished HMAC (finished once).
    const std::vector<uint8_t>& FinishedCode();

    std::unique_ptr<TState> state_;
    // The last derivation: its password, salt, key length and bytes.
    std::string derivedPassword_;
    std::vector<uint8_t> derivedSalt_;
    uint16_t derivedKeyLength_ = 0;
    std::vector<uint8_t> derived_;
};
