// Decoding of entry data: stored and deflated entries into a stream, decrypted (traditional
// or AES) after a password check, verified by size and CRC-32 or the AES authentication
// code, with progress and retried writes.

#include "archive/HvoAes.h"
#include "archive/HvoBaseArchiver.h"
#include "archive/HvoChecksum.h"
#include "archive/HvoConst.h"
#include "archive/HvoExcept.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <optional>
#include <vector>
#include <openssl/rand.h>
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
        // The encryption header too may begin on one volume and end on the next: it is
        // read on first, and the password checks read it from memory.
        const int64_t headerSize = aes ? aes->EncryptionHeaderSize() : static_cast<int64_t>(kTraditionalHeaderSize);
        std::vector<uint8_t> headerBytes(static_cast<size_t>(headerSize));
        in->SetPosition(dataStart);
        if (volumes_.ReadContinued(in, volume, headerBytes.data(), headerSize) != headerSize) return false;
        TMemoryStream header;
        header.WriteBuffer(headerBytes.data(), headerSize);
        if (!CheckEntryPassword(header, 0, item, local, aes.get(), keys)) return false;
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
        if (volumes_.ReadContinued(in, volume, input.data(), chunk) != chunk) return false;
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
        if (volumes_.ReadContinued(in, volume, code.data(), static_cast<int64_t>(code.size())) != static_cast<int64_t>(code.size()))
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
    volumes_.OpenVolume(dirManager_->VolumeOf(item.EffectiveDiskNumberStart()));
    TStream& archive = *volumes_.Stream();
    archive.SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()));
    const bool ok = DecompressEntry(archive, stream, item);
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

namespace {

// Source bytes taken per step by the entry's compression mode.
int64_t CompressionChunk(uint8_t level)
{
    if (level >= 1 && level <= 3) return 524288;
    if (level >= 7) return 1572864;
    return 1048576;
}

// The raw deflate state, ended by End (whose result counts) or on destruction.
struct TDeflater {
    z_stream zs{};
    bool ready = false;
    explicit TDeflater(int level)
    {
        ready = deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!ready) deflateEnd(&zs);
    }
    int End()
    {
        if (!ready) return Z_OK;
        ready = false;
        return deflateEnd(&zs);
    }
    ~TDeflater() { End(); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
};

// Deflates one chunk into out (replaced), calling deflate until it leaves output space.
bool DeflateChunk(TDeflater& deflater, const uint8_t* input, size_t count, bool last, std::vector<uint8_t>& out)
{
    z_stream& zs = deflater.zs;
    const size_t room = deflateBound(&zs, static_cast<uLong>(count)) + 16;
    out.clear();
    zs.next_in = const_cast<Bytef*>(input);
    zs.avail_in = static_cast<uInt>(count);
    for (;;) {
        const size_t used = out.size();
        out.resize(used + room);
        zs.next_out = out.data() + used;
        zs.avail_out = static_cast<uInt>(room);
        const int result = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
        out.resize(used + room - zs.avail_out);
        if (result < 0 && result != Z_BUF_ERROR) return false;
        if (zs.avail_out != 0) return true;
    }
}

} // namespace

bool THvoBaseArchiver::CompressEntry(TStream& source, TStream& archive, TDirItem& item)
{
    const int64_t sourceSize = source.Size();
    const int64_t chunkSize = std::min<int64_t>(CompressionChunk(item.DeflateLevel), std::max<int64_t>(sourceSize, 1));
    uint32_t crc = 0xFFFFFFFFu;
    int64_t bytesRead = 0;
    int64_t compressed = 0;
    const bool encrypt = !item.SourceText.empty();
    std::unique_ptr<TAESCryptoTransform> aes;
    if (encrypt && encryptionMethod_ >= caAES_128 && encryptionMethod_ <= caAES_256) {
        const int32_t keyBits = encryptionMethod_ == caAES_128 ? 128 : encryptionMethod_ == caAES_192 ? 192 : 256;
        aes = std::make_unique<TAESCryptoTransform>(keyBits, 2, item.StoredMethod);
        aes->SetDirection(THvoCryptoTransform::kEncrypt);
        item.CompressionMethod = 99;
        item.AesStrength = static_cast<uint8_t>(encryptionMethod_);
    }
    THvoZipKeys keys;
    std::vector<uint8_t> input(static_cast<size_t>(chunkSize));
    std::vector<uint8_t> output;
    const auto operation = static_cast<THvoProcessOperation>(item.Operation);

    source.SetPosition(0);
    TDeflater deflater(item.DeflateLevel);
    bool run = item.StoredMethod == 0 || deflater.ready;
    if (run && encrypt) {
        // The CRC is needed before the data: the traditional header carries part of it.
        for (;;) {
            const int64_t n = source.Read(input.data(), chunkSize);
            if (n <= 0) break;
            UpdateCrc32(&crc, input.data(), static_cast<size_t>(n));
            if (n < chunkSize) break;
        }
        source.SetPosition(0);
        std::vector<uint8_t> header;
        if (aes) {
            aes->SetPassword(item.SourceText);
            header = aes->GetEncryptionHeader();
        } else {
            header.resize(kTraditionalHeaderSize);
            if (RAND_bytes(header.data(), 10) != 1) throw platform::Exception("RAND_bytes failed");
            const uint32_t check = ~crc;
            header[10] = static_cast<uint8_t>(check >> 16);
            header[11] = static_cast<uint8_t>(check >> 24);
            keys.InitKeys(item.SourceText);
            for (uint8_t& b : header) b = keys.EncryptByte(b);
        }
        if (!WriteWithRetry(archive, header.data(), static_cast<int64_t>(header.size()))) run = false;
        compressed += static_cast<int64_t>(header.size());
    }
    FileBytesTotal = sourceSize;
    while (run && bytesRead < sourceSize) {
        FileBytesDone = bytesRead;
        if (ProgressOn) {
            DoFileProgress(item.SourcePath, operation, double(bytesRead) / double(sourceSize) * 100.0, ppProcess,
                           Cancelled);
            if (Cancelled) break;
            const double overall =
                BytesTotal > 0 ? double(BytesDone + FileBytesDone) / double(BytesTotal) * 100.0 : 50.0;
            DoOverallProgress(operation, ppProcess, overall, Cancelled);
            if (Cancelled) break;
        }
        const int64_t chunk = std::min(chunkSize, sourceSize - bytesRead);
        if (source.Read(input.data(), chunk) != chunk) break;
        if (!encrypt) UpdateCrc32(&crc, input.data(), static_cast<size_t>(chunk));
        const bool last = bytesRead + chunk >= sourceSize;
        if (item.StoredMethod == 0) {
            output.assign(input.begin(), input.begin() + chunk);
        } else if (!DeflateChunk(deflater, input.data(), static_cast<size_t>(chunk), last, output)) {
            break;
        }
        bytesRead += chunk;
        if (aes) aes->EncryptData(output.data(), 0, output.data(), 0, output.size());
        else if (encrypt) keys.EncryptBuffer(output.data(), 0, output.size());
        if (!WriteWithRetry(archive, output.data(), static_cast<int64_t>(output.size()))) {
            bytesRead -= chunk;
            break;
        }
        compressed += static_cast<int64_t>(output.size());
    }
    if (run) {
        BytesDone += sourceSize;
        if (aes && !Cancelled) {
            const std::vector<uint8_t> code = aes->GetAuthenticationCode();
            if (WriteWithRetry(archive, code.data(), static_cast<int64_t>(code.size())))
                compressed += static_cast<int64_t>(code.size());
        }
    }
    const int ended = deflater.End();
    if (ended < 0 && !Cancelled) throw EHvoZlibError(ended);

    if (sourceSize != bytesRead) {
        if (Cancelled) return false;
        throw EHvoException(34, Name, {sourceSize, bytesRead});
    }
    const bool always = zip64Mode_ == zmAlways;
    const auto place = [&](uint32_t& field, uint64_t& field64, uint64_t value) {
        if (value < 0xFFFFFFFFu && !always) {
            field = static_cast<uint32_t>(value);
            field64 = value;
        } else {
            item.HasZip64Extra = true;
            field = 0xFFFFFFFFu;
            field64 = value;
        }
    };
    place(item.CompressedSize, item.CompressedSize64, static_cast<uint64_t>(compressed));
    place(item.UncompressedSize, item.UncompressedSize64, static_cast<uint64_t>(sourceSize));
    item.Crc32 = ~crc;
    if (item.HasZip64Extra && zip64Mode_ == zmDisabled)
        throw EHvoException(41, Name, {THvoFormatArg(item.SourcePath)});
    if (sourceSize == 0) {
        item.StoredMethod = 0;
        if (!aes) item.CompressionMethod = 0;
    }
    return true;
}
