#pragma once

#include "archive/HvoBaseArchiver.h"

#include <memory>

// The archiver the system creates: deflates unless the compression mode is 0, and
// starts with ZIP64 disabled. Defaults of a new object: mode 1, clFastest, method 8,
// zmDisabled, caPkzipClassic, UnicodeFilenames off.
class THalvorin : public THvoBaseArchiver {
public:
    static std::unique_ptr<THalvorin> Create();
    ~THalvorin() override;

    void SetZip64Mode(TZip64Mode value) { zip64Mode_ = value; }
    void SetUnicodeFilenames(bool value) { unicodeFilenames_ = value; }
    void SetEncryptionMethod(THvoCryptoAlgorithm value) { encryptionMethod_ = value; }

    void SetPassword(const std::string& value) override;
    // Method 8 when the compression mode is not 0, else 0.
    void UpdateCompressionMethod() override;

protected:
    THalvorin() = default;
    void Build() override;
};
