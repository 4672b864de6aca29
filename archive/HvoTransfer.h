#pragma once

#include "archive/HvoStreams.h"

#include <cstdint>
#include <string>

class THvoBaseArchiver;

// The transfer of entry data (THvoBaseArchiver::DecompressEntry and CompressEntry, which
// compose the codec stages: THvoVolumeReadStream, THvoTraditionalDecryptStream and
// THvoTraditionalEncryptStream, THvoAesDecryptStream and THvoAesEncryptStream,
// THvoInflateStream and THvoDeflateStream, THvoCrcStream), and what both directions
// share.

// The modal password prompt through the dialog service: masked input with the caption, the
// prompt and value shown at first. True on OK, value then holds the entered text as an
// 8-bit (Windows-1251) string of at most 255 characters, characters outside the code page
// given as "?"; false on Cancel (value unchanged).
bool PasswordQuery(const std::string& Caption, const std::string& Prompt, std::string& Value);

// The last stage of both directions: writes into target through the archiver's
// WriteWithRetry, so that a short write asks DoDiskFull and is written again.
class THvoRetryStream : public TWriteOnlyStream {
public:
    THvoRetryStream(THvoBaseArchiver& archiver, TStream& target);
    ~THvoRetryStream() override;

    // count when all of it was written, else 0 (the archiver's Cancelled is set).
    int64_t Write(const void* buffer, int64_t count) override;
    // The bytes of the writes that succeeded.
    int64_t Written() const { return written_; }

private:
    THvoBaseArchiver& archiver_;
    TStream& target_;
    int64_t written_ = 0;
};
