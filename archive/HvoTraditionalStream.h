#pragma once

#include "archive/HvoChecksum.h"
#include "archive/HvoStreams.h"

#include <cstdint>
#include <string_view>
#include <vector>

// The stages of the traditional PKWARE encryption of entry data. Each holds the three
// keys of its pass (THvoZipKeys), so passes on different threads never meet.

// Decrypts entry data as it is read from source. The keys come ready: the encryption
// header before the data has been decrypted with them.
class THvoTraditionalDecryptStream : public TReadOnlyStream {
public:
    THvoTraditionalDecryptStream(TStream& source, const THvoZipKeys& keys);
    ~THvoTraditionalDecryptStream() override;

    // Reads up to count bytes from source and decrypts those it got, in place.
    int64_t Read(void* buffer, int64_t count) override;

private:
    TStream& source_;
    THvoZipKeys keys_;
};

// Encrypts entry data on its way to next, after the encryption header that Header makes.
class THvoTraditionalEncryptStream : public TWriteOnlyStream {
public:
    explicit THvoTraditionalEncryptStream(TStream& next);
    ~THvoTraditionalEncryptStream() override;

    // Starts the keys from the password and returns the 12-byte encryption header of an
    // entry whose CRC-32 is crc: ten random bytes and the two high bytes of the CRC,
    // encrypted. platform::Exception "RAND_bytes failed" when the system's random source
    // gives nothing.
    std::vector<uint8_t> Header(std::string_view password, uint32_t crc);
    // Encrypts a copy of the bytes and writes it to next in one piece: count when next
    // took it all, else 0.
    int64_t Write(const void* buffer, int64_t count) override;

private:
    TStream& next_;
    THvoZipKeys keys_;
    std::vector<uint8_t> buffer_;
};
