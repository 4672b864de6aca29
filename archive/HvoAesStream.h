#pragma once

#include "archive/HvoAes.h"
#include "archive/HvoStreams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The stages of AES entry encryption. Each owns the entry's transform: its keys, the
// counter of the key stream and the authentication over the cipher text.

// Decrypts entry data as it is read from source, authenticating the cipher text. The
// transform comes ready: its encryption header was read and the password checked.
class THvoAesDecryptStream : public TReadOnlyStream {
public:
    THvoAesDecryptStream(TStream& source, std::unique_ptr<TAESCryptoTransform> transform);
    ~THvoAesDecryptStream() override;

    // Reads up to count bytes from source, authenticates and decrypts those it got.
    int64_t Read(void* buffer, int64_t count) override;
    // Reads the authentication code stored after the data from source and compares it
    // with the code of the cipher text read: true when they agree (AE-1: and the stored
    // CRC-32 equals crc, the final CRC-32 of the decoded bytes). False when the code
    // cannot be read whole.
    bool Authentic(const TDirItem& entry, uint32_t crc);

private:
    TStream& source_;
    std::unique_ptr<TAESCryptoTransform> transform_;
};

// Encrypts entry data on its way to next: the encryption header (Header) goes before
// it, the authentication code (Trailer) after it.
class THvoAesEncryptStream : public TWriteOnlyStream {
public:
    // transform: set to encrypt.
    THvoAesEncryptStream(TStream& next, std::unique_ptr<TAESCryptoTransform> transform);
    ~THvoAesEncryptStream() override;

    // Derives the keys from the password and a new random salt; the salt and the
    // password verifier to write before the data.
    std::vector<uint8_t> Header(const std::string& password);
    // Encrypts a copy of the bytes, authenticates it and writes it to next in one piece:
    // count when next took it all, else 0.
    int64_t Write(const void* buffer, int64_t count) override;
    // Ends the authentication: the code to write after the data.
    std::vector<uint8_t> Trailer();

private:
    TStream& next_;
    std::unique_ptr<TAESCryptoTransform> transform_;
    std::vector<uint8_t> buffer_;
};
