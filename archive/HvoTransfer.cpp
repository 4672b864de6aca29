// Decoding of entry data: stored and deflated entries into a stream, decrypted (traditional
// or AES) after a password check, verified by size and CRC-32 or the AES authentication
// code, with progress and retried writes.

#include "archive/HvoAes.h"
#include "archive/HvoBaseArchiver.h"
#include "archive/HvoConst.h"
#include "archive/HvoExcept.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <optional>
#include <vector>
#include <zlib.h>

namespace {

constexpr int64_t kInputChunk = 1 << 20;
constexpr int64_t kInflateOutput = 1 << 20;
constexpr int64_t kStoredPiece = 65535;

// The inflate state, ended in every case.
struct TInflater {
    z_stream zs{};
    bool ready = false;
    TInflater() { ready = inflateInit2(&zs, -MAX_WBITS) == Z_OK; }
    ~TInflater()
    {
        if (ready) inflateEnd(&zs);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
};

} // namespace

bool THvoBaseArchiver::WriteWithRetry(TStream& stream, const void* buffer, int64_t count)
{
    const int64_t position = stream.Position();
    for (;;) {
        if (stream.Write(buffer, count) == count) return true;
        bool cancel = true;
        DoDiskFull(-1, fileName_, cancel);
        if (cancel) {
            Cancelled = true;
            return false;
        }
        stream.SetPosition(position);
    }
}

void THvoBaseArchiver::DecodeProgress(const TDirItem& item)
{
    if (!ProgressOn) return;
    const double fraction = FileBytesTotal > 0 ? double(FileBytesDone) / double(FileBytesTotal) : 0.0;
    const auto operation = static_cast<THvoProcessOperation>(item.Operation);
    DoFileProgress(item.FileName, operation, fraction * 100.0, ppProcess, Cancelled);
    if (Cancelled) return;
    const double files = FilesTotal > 0 ? double(FilesTotal) : 1.0;
    DoOverallProgress(operation, ppProcess, (fraction + FilesDone) / files * 100.0, Cancelled);
}

bool THvoBaseArchiver::DecompressEntry(TStream& archive, TStream& dest, TDirItem& item)
{
    // Rebuilt streamed entries whose sizes and CRC were never found are not decoded.
    if (item.UnknownSizes) return false;
    const bool encrypted = (item.Flags & kFlagEncrypted) != 0;
    std::unique_ptr<TAESCryptoTransform> aes;
    if (encrypted && item.VersionNeeded < 0x4114 && item.AesStrength >= 1 && item.AesStrength <= 3) {
        aes = TAESCryptoTransform::ForEntry(item);
        aes->SetPassword(Password());
    }

    // The entry's volumes: data running past the end of one goes on in the next.
    THvoVolumeNumberInfo volume = dirManager_ ? dirManager_->VolumeOf(item.EffectiveDiskNumberStart())
                                              : THvoVolumeNumberInfo::Of(0, 0);
    TStream* in = &archive;

    const int64_t headerAt = in->Position();
    uint8_t raw[TLocalFileHeader::kSize];
    if (in->Read(raw, sizeof raw) != static_cast<int64_t>(sizeof raw)) return false;
    TLocalFileHeader local;
    ReadRecord(raw, local);
    if (local.Signature != kLocalFileHeaderSignature) return false;
    const int64_t dataStart = headerAt + static_cast<int64_t>(sizeof raw) + local.FileNameLength + local.ExtraFieldLength;
    const int64_t directoryStart = dirManager_ ? dirManager_->CentralDirStart : in->Size();
    if (spanningMode_ == smNone && dataStart > directoryStart) return false;

    uint64_t compressed = item.EffectiveCompressedSize();
    const uint64_t uncompressed = item.EffectiveUncompressedSize();
    if (spanningMode_ == smNone && compressed > static_cast<uint64_t>(directoryStart - dataStart))
        compressed = static_cast<uint64_t>(directoryStart - dataStart);

    FileBytesTotal = uncompressed != 0 ? static_cast<int64_t>(std::min<uint64_t>(uncompressed, INT64_MAX)) : 2;
    FileBytesDone = 0;
    FileSkipped = false;
    uint32_t crc = 0xFFFFFFFF;

    if (item.StoredMethod == kMethodDeflate64) Raise(55);
    if (item.StoredMethod != kMethodStored && item.StoredMethod != kMethodDeflated) return false;

    THvoZipKeys keys;
    if (encrypted) {
        // A size below the encryption overhead cannot hold the entry: it fails before any
        // of its data is read.
        const uint64_t overhead =
            aes ? static_cast<uint64_t>(aes->EncryptionHeaderSize() + aes->AuthenticationCodeSize()) : kTraditionalHeaderSize;
        if (compressed < overhead) return false;
        compressed -= overhead;
        if (!CheckEntryPassword(*in, dataStart, item, local, aes.get(), keys)) return false;
    } else {
        in->SetPosition(dataStart);
    }

    const bool deflated = item.StoredMethod == kMethodDeflated;
    std::optional<TInflater> inflater;
    if (deflated) {
        inflater.emplace();
        if (!inflater->ready) return false;
    }
    std::vector<uint8_t> input(static_cast<size_t>(std::min<uint64_t>(compressed, kInputChunk)) + 2);
    // One byte more than the entry declares is enough to see that it produces too much.
    std::vector<uint8_t> output(deflated ? static_cast<size_t>(std::min<uint64_t>(uncompressed, kInflateOutput - 1) + 1) : 0);
    uint64_t produced = 0;
    uint64_t read = 0;
    bool streamEnded = false;
    bool abandoned = false;

    // Writes decoded bytes; the entry fails as soon as its output passes the declared size.
    auto emit = [&](const uint8_t* bytes, int64_t n) {
        if (static_cast<uint64_t>(n) > uncompressed - produced) return false;
        crc = UpdateCrc32(crc, bytes, static_cast<size_t>(n));
        if (!WriteWithRetry(dest, bytes, n)) {
            abandoned = true;
            return true;
        }
        produced += static_cast<uint64_t>(n);
        return true;
    };

    while (read < compressed) {
        uint64_t want = std::min<uint64_t>(kInputChunk, compressed - read);
        // Stored data beyond the declared size is never needed: one byte more shows it.
        if (!deflated && !abandoned && !Cancelled && uncompressed - produced < want) want = uncompressed - produced + 1;
        const auto chunk = static_cast<int64_t>(want);
        if (ReadContinued(in, volume, input.data(), chunk) != chunk) return false;
        read += static_cast<uint64_t>(chunk);
        if (abandoned || Cancelled) continue;
        // Decrypted (and for AES authenticated) also past the end of a deflate stream.
        if (aes)
            aes->DecryptData(input.data(), 0, input.data(), 0, static_cast<size_t>(chunk));
        else if (encrypted)
            keys.DecryptBuffer(input.data(), static_cast<size_t>(chunk));
        if (streamEnded) continue;
        if (item.StoredMethod == kMethodStored) {
            for (int64_t at = 0; at < chunk && !abandoned; at += kStoredPiece) {
                const int64_t n = std::min(kStoredPiece, chunk - at);
                FileBytesDone = static_cast<int64_t>(produced) + n;
                DecodeProgress(item);
                if (Cancelled) {
                    abandoned = true;
                    break;
                }
                if (!emit(&input[static_cast<size_t>(at)], n)) return false;
            }
            continue;
        }
        z_stream& zs = inflater->zs;
        zs.next_in = input.data();
        zs.avail_in = static_cast<uInt>(chunk);
        for (;;) {
            FileBytesDone = static_cast<int64_t>(produced);
            DecodeProgress(item);
            if (Cancelled) {
                abandoned = true;
                break;
            }
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            const int rc = inflate(&zs, Z_NO_FLUSH);
            if (rc < 0 && !(rc == Z_BUF_ERROR && zs.avail_in == 0)) return false;
            const auto n = static_cast<int64_t>(output.size() - zs.avail_out);
            if (n > 0 && !emit(output.data(), n)) return false;
            if (abandoned) break;
            if (rc == Z_STREAM_END) {
                streamEnded = true;
                break;
            }
            if (zs.avail_out > 0 && zs.avail_in == 0) break;
            if (rc == Z_BUF_ERROR) return false;
        }
    }
    if (produced != uncompressed) return false;
    if (aes) {
        // The code too may begin on one volume and end on the next.
        std::vector<uint8_t> code(static_cast<size_t>(aes->AuthenticationCodeSize()));
        if (ReadContinued(in, volume, code.data(), static_cast<int64_t>(code.size())) != static_cast<int64_t>(code.size()))
            return false;
        TMemoryStream stored;
        stored.WriteBuffer(code.data(), static_cast<int64_t>(code.size()));
        stored.SetPosition(0);
        aes->ReadAuthenticationCode(stored, 0);
        return !aes->AuthenticationFailed(item, ~crc);
    }
    return ~crc == item.Crc32;
}

bool THvoBaseArchiver::CheckEntryPassword(TStream& archive, int64_t dataStart, const TDirItem& item,
                                          const TLocalFileHeader& local, TAESCryptoTransform* aes, THvoZipKeys& keys)
{
    for (;;) {
        archive.SetPosition(dataStart);
        bool passed = false;
        if (aes) {
            try {
                aes->ReadEncryptionHeader(archive, 0);
            } catch (const EReadError&) {
                return false;
            }
            passed = aes->CheckPassword(Password());
        } else if (!Password().empty()) {
            uint8_t header[kTraditionalHeaderSize];
            if (archive.Read(header, sizeof header) != static_cast<int64_t>(sizeof header)) return false;
            keys.InitKeysAndDecryptHeader(Password(), header);
            passed = header[kTraditionalHeaderSize - 1] ==
                     TraditionalCheckByte(local.Flags, local.LastModTime, local.Crc32);
        }
        if (passed) return true;
        std::string password = Password();
        FileSkipped = false;
        DoPassword(item.FileName, password, FileSkipped);
        if (FileSkipped) return false;
        if (password != Password()) {
            SetPassword(password);
            if (aes) aes->SetPassword(password);
        }
    }
}

void THvoBaseArchiver::ExtractItemToStream(int32_t index, TStream& stream, int32_t, int32_t, int32_t)
{
    CheckActive();
    THvoDirArray& items = dirManager_->Items;
    if (index < 0 || index >= items.Count) Raise(16);
    TDirItem& item = items.ItemPtr(index);
    OpenVolume(dirManager_->VolumeOf(item.EffectiveDiskNumberStart()));
    archiveStream_->SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()));
    const bool ok = DecompressEntry(*archiveStream_, stream, item);
    if (!ok && !Cancelled && !extractCorruptedFiles_ && !FileSkipped) Raise(8);
}

bool PasswordQuery(const std::string& Caption, const std::string& Prompt, std::string& Value)
{
    platform::InputRequest request;
    request.caption = Caption;
    request.prompt = Prompt;
    request.value = platform::AnsiToUtf8(Value);
    request.masked = true;
    const std::optional<std::string> answer = platform::ShowInputQuery(request);
    if (!answer) return false;
    // The edit takes at most 255 characters, one byte each in the code page.
    Value = platform::Utf8ToAnsi(*answer).substr(0, 255);
    return true;
}

void THvoBaseArchiver::PasswordDialog(const std::string& FileName, std::string& NewPassword, bool& SkipFile)
{
    const std::string name = platform::AnsiToUtf8(platform::Utf8ToAnsi(FileName));
    std::string value;
    SkipFile = !PasswordQuery(HvoFormat(HvoPromptText(kHvoPromptPasswordFor), {name}),
                              HvoPromptText(kHvoPromptEnterPassword), value);
    if (!SkipFile) NewPassword = value;
}
