// Reads an archive given as bytes: its directory, then its entries into a null stream.
// Handlers answer every event, so nothing waits for a user. The work of one input is
// bounded, so that no input nears the fuzzer's time-out: inputs above 128 KiB are passed
// over (every record and entry kind fits in less; a larger archive only repeats them),
// the first 64 entries are decoded, of them at most two AES entries (each costs a key
// derivation of a thousand HMAC rounds, and a third one reaches no code the first two
// did not).

#include "archive/Halvorin.h"
#include "archive/HvoAes.h"
#include "archive/HvoUnicodeInfo.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Exposes the opening of an archive held in a stream.
class TFuzzArchiver : public THalvorin {
public:
    static std::unique_ptr<TFuzzArchiver> Create()
    {
        std::unique_ptr<TFuzzArchiver> archiver(new TFuzzArchiver);
        archiver->Build();
        return archiver;
    }
    using THvoBaseArchiver::OpenArchiveStream;

protected:
    TFuzzArchiver() = default;
};

void AnswerEverything(TFuzzArchiver& a)
{
    auto passwordAsked = std::make_shared<bool>(false);
    a.OnPassword = [passwordAsked](THvoBaseArchiver&, const std::string&, std::string& password, bool& skip) {
        if (*passwordAsked) {
            skip = true;
            return;
        }
        *passwordAsked = true;
        password = "pw";
    };
    a.OnProcessFileFailure = [](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int, int,
                                const std::string&, THvoAction& action) { action = fxaIgnore; };
    a.OnConfirmOverwrite = [](THvoBaseArchiver&, const std::string&, std::string&, bool& confirm) { confirm = false; };
    auto cancelVolume = [](THvoBaseArchiver&, int, std::string&, bool& cancel) { cancel = true; };
    auto cancelEnd = [](THvoBaseArchiver&, std::string&, bool& cancel) { cancel = true; };
    a.OnRequestBlankVolume = cancelVolume;
    a.OnRequestMiddleVolume = cancelVolume;
    a.OnRequestFirstVolume = cancelEnd;
    a.OnRequestLastVolume = cancelEnd;
    a.OnDiskFull = [](THvoBaseArchiver&, int, const std::string&, bool& cancel) { cancel = true; };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 128 * 1024) return 0;
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    auto archiver = TFuzzArchiver::Create();
    AnswerEverything(*archiver);
    try {
        archiver->OpenArchiveStream(stream);
    } catch (const platform::Exception&) {
        return 0;
    }
    constexpr int32_t kMaxEntries = 64;
    constexpr int kMaxAesEntries = 2;
    int aesEntries = 0;
    const int32_t count = std::min(archiver->DirManager()->Items.Count, kMaxEntries);
    for (int32_t i = 0; i < count; ++i) {
        const TDirItem& item = archiver->DirManager()->Items.ItemPtr(i);
        if (item.CompressionMethod == 99 || FindAesRecord(item)) {
            if (aesEntries == kMaxAesEntries) continue;
            ++aesEntries;
        }
        TNullStream sink;
        archiver->Cancelled = false;
        try {
            archiver->ExtractItemToStream(i, sink);
        } catch (const platform::Exception&) {
        }
    }
    archiver->CloseArchive();
    return 0;
}
