#include "archive/HvoTransfer.h"

#include "archive/HvoAesStream.h"
#include "archive/HvoBaseArchiver.h"
#include "archive/HvoConst.h"
#include "archive/HvoCrcStream.h"
#include "archive/HvoDeflateStream.h"
#include "archive/HvoExcept.h"
#include "archive/HvoTraditionalStream.h"
#include "archive/HvoVolumeStream.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

constexpr int64_t kInputChunk = 1 << 20;
constexpr int64_t kInflateOutput = 1 << 20;
constexpr int64_t kStoredPiece = 65535;

// Source bytes taken per step by the entry's compression mode.
int64_t CompressionChunk(uint8_t level)
{
    if (level >= 1 && level <= 3) return 524288;
    if (level >= 7) return 1572864;
    return 1048576;
}

} // namespace

THvoRetryStream::THvoRetryStream(THvoBaseArchiver& archiver, TStream& target) : archiver_(archiver), target_(target) {}

THvoRetryStream::~THvoRetryStream() = default;

int64_t THvoRetryStream::Write(const void* buffer, int64_t count)
{
    if (!archiver_.WriteWithRetry(target_, buffer, count)) return 0;
    written_ += count;
    return count;
}

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

    const int64_t headerAt = archive.Position();
    uint8_t raw[TLocalFileHeader::kSize];
    if (archive.Read(raw, sizeof raw) != static_cast<int64_t>(sizeof raw)) return false;
    TLocalFileHeader local;
    ReadRecord(raw, local);
    if (local.Signature != kLocalFileHeaderSignature) return false;
    const int64_t dataStart = headerAt + static_cast<int64_t>(sizeof raw) + local.FileNameLength + local.ExtraFieldLength;
    const int64_t directoryStart = dirManager_ ? dirManager_->CentralDirStart : archive.Size();
    if (spanningMode_ == smNone && dataStart > directoryStart) return false;

    uint64_t compressed = item.EffectiveCompressedSize();
    const uint64_t uncompressed = item.EffectiveUncompressedSize();
    if (spanningMode_ == smNone && compressed > static_cast<uint64_t>(directoryStart - dataStart))
        compressed = static_cast<uint64_t>(directoryStart - dataStart);

    FileBytesTotal = uncompressed != 0 ? static_cast<int64_t>(std::min<uint64_t>(uncompressed, INT64_MAX)) : 2;
    FileBytesDone = 0;
    FileSkipped = false;

    if (item.StoredMethod == kMethodDeflate64) Raise(55);
    if (item.StoredMethod != kMethodStored && item.StoredMethod != kMethodDeflated) return false;

    // A size below the encryption overhead cannot hold the entry: it fails before any of
    // its data is read.
    if (encrypted) {
        const uint64_t overhead =
            aes ? static_cast<uint64_t>(aes->EncryptionHeaderSize() + aes->AuthenticationCodeSize())
                : kTraditionalHeaderSize;
        if (compressed < overhead) return false;
        compressed -= overhead;
    }
    // The entry's bytes, read on across its volumes where it runs past the end of one.
    archive.SetPosition(dataStart);
    THvoVolumeReadStream in(volumes_, archive,
                            dirManager_ ? dirManager_->VolumeOf(item.EffectiveDiskNumberStart())
                                        : THvoVolumeNumberInfo::Of(0, 0));

    THvoZipKeys keys;
    if (encrypted) {
        // The encryption header too may begin on one volume and end on the next: it is
        // read on first, and the password checks read it from memory.
        const int64_t headerSize = aes ? aes->EncryptionHeaderSize() : static_cast<int64_t>(kTraditionalHeaderSize);
        std::vector<uint8_t> headerBytes(static_cast<size_t>(headerSize));
        if (in.Read(headerBytes.data(), headerSize) != headerSize) return false;
        TMemoryStream header;
        header.WriteBuffer(headerBytes.data(), headerSize);
        if (!CheckEntryPassword(header, 0, item, local, aes.get(), keys)) return false;
    }

    // The chain: the entry's bytes decrypted as they are read; inflated (or taken as
    // they are), checked against the declared size, summed and written.
    std::optional<THvoAesDecryptStream> aesIn;
    std::optional<THvoTraditionalDecryptStream> traditionalIn;
    if (aes)
        aesIn.emplace(in, std::move(aes));
    else if (encrypted)
        traditionalIn.emplace(in, keys);
    TStream& plain = aesIn           ? static_cast<TStream&>(*aesIn)
                     : traditionalIn ? static_cast<TStream&>(*traditionalIn)
                                     : static_cast<TStream&>(in);
    THvoRetryStream output(*this, dest);
    THvoCrcStream checked(&output, uncompressed);
    const bool deflated = item.StoredMethod == kMethodDeflated;
    std::optional<THvoInflateStream> inflater;
    if (deflated) {
        // One byte more than the entry declares is enough to see that it produces too much.
        inflater.emplace(checked, static_cast<size_t>(std::min<uint64_t>(uncompressed, kInflateOutput - 1) + 1), [&] {
            FileBytesDone = static_cast<int64_t>(checked.Count());
            DecodeProgress(item);
            return !Cancelled;
        });
        if (!inflater->Ready()) return false;
    }
    std::vector<uint8_t> input(static_cast<size_t>(std::min<uint64_t>(compressed, kInputChunk)) + 2);
    uint64_t read = 0;
    bool streamEnded = false;
    bool abandoned = false;

    while (read < compressed) {
        uint64_t want = std::min<uint64_t>(kInputChunk, compressed - read);
        // Stored data beyond the declared size is never needed: one byte more shows it.
        if (!deflated && !abandoned && !Cancelled && uncompressed - checked.Count() < want)
            want = uncompressed - checked.Count() + 1;
        const auto chunk = static_cast<int64_t>(want);
        // Decrypted (and for AES authenticated) also past the end of a deflate stream; an
        // entry given up is only read on.
        TStream& from = abandoned || Cancelled ? static_cast<TStream&>(in) : plain;
        if (from.Read(input.data(), chunk) != chunk) return false;
        read += static_cast<uint64_t>(chunk);
        if (abandoned || Cancelled || streamEnded) continue;
        if (!deflated) {
            for (int64_t at = 0; at < chunk && !abandoned; at += kStoredPiece) {
                const int64_t n = std::min(kStoredPiece, chunk - at);
                FileBytesDone = static_cast<int64_t>(checked.Count()) + n;
                DecodeProgress(item);
                if (Cancelled) {
                    abandoned = true;
                    break;
                }
                checked.Write(&input[static_cast<size_t>(at)], n);
                // The entry fails as soon as its output passes the declared size.
                if (checked.Overrun()) return false;
                abandoned = checked.Refused();
            }
            continue;
        }
        inflater->Write(input.data(), chunk);
        if (checked.Overrun() || inflater->State() == THvoInflateStream::isDamaged) return false;
        abandoned = inflater->State() == THvoInflateStream::isStopped;
        streamEnded = inflater->State() == THvoInflateStream::isEnded;
    }
    if (checked.Count() != uncompressed) return false;
    if (aesIn) return aesIn->Authentic(item, checked.Crc());
    return checked.Crc() == item.Crc32;
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
    SkipFile = !PasswordQuery(HvoFormat(HvoPromptText(kHvoPromptPasswordFor), {HvoVisibleText(name)}),
                              HvoPromptText(kHvoPromptEnterPassword), value);
    if (!SkipFile) NewPassword = value;
}

bool THvoBaseArchiver::CompressEntry(TStream& source, TStream& archive, TDirItem& item)
{
    const int64_t sourceSize = source.Size();
    const int64_t chunkSize = std::min<int64_t>(CompressionChunk(item.DeflateLevel), std::max<int64_t>(sourceSize, 1));
    int64_t bytesRead = 0;
    const bool encrypt = !item.SourceText.empty();
    std::unique_ptr<TAESCryptoTransform> aes;
    if (encrypt && encryptionMethod_ >= caAES_128 && encryptionMethod_ <= caAES_256) {
        const int32_t keyBits = encryptionMethod_ == caAES_128 ? 128 : encryptionMethod_ == caAES_192 ? 192 : 256;
        aes = std::make_unique<TAESCryptoTransform>(keyBits, 2, item.StoredMethod);
        aes->SetDirection(THvoCryptoTransform::kEncrypt);
        item.CompressionMethod = 99;
        item.AesStrength = static_cast<uint8_t>(encryptionMethod_);
    }
    std::vector<uint8_t> input(static_cast<size_t>(chunkSize));
    const auto operation = static_cast<THvoProcessOperation>(item.Operation);

    source.SetPosition(0);
    // The chain: the source's bytes summed (before anything else when encrypting: the
    // traditional header carries part of the CRC), deflated (or taken as they are),
    // encrypted and written.
    THvoRetryStream output(*this, archive);
    std::optional<THvoAesEncryptStream> aesOut;
    std::optional<THvoTraditionalEncryptStream> traditionalOut;
    if (aes)
        aesOut.emplace(output, std::move(aes));
    else if (encrypt)
        traditionalOut.emplace(output);
    TStream& encrypted = aesOut           ? static_cast<TStream&>(*aesOut)
                         : traditionalOut ? static_cast<TStream&>(*traditionalOut)
                                          : static_cast<TStream&>(output);
    std::optional<THvoDeflateStream> deflater;
    if (item.StoredMethod != kMethodStored) deflater.emplace(encrypted, item.DeflateLevel, sourceSize);
    TStream& packed = deflater ? static_cast<TStream&>(*deflater) : encrypted;
    THvoCrcStream summed(encrypt ? nullptr : &packed);
    TStream& chain = encrypt ? packed : summed;

    int64_t headerSize = 0;
    bool run = !deflater || deflater->Ready();
    if (run && encrypt) {
        for (;;) {
            const int64_t n = source.Read(input.data(), chunkSize);
            if (n <= 0) break;
            summed.Write(input.data(), n);
            if (n < chunkSize) break;
        }
        source.SetPosition(0);
        const std::vector<uint8_t> header =
            aesOut ? aesOut->Header(item.SourceText) : traditionalOut->Header(item.SourceText, summed.Crc());
        if (!WriteWithRetry(archive, header.data(), static_cast<int64_t>(header.size()))) run = false;
        headerSize = static_cast<int64_t>(header.size());
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
        if (chain.Write(input.data(), chunk) != chunk) break;
        bytesRead += chunk;
    }
    if (run) {
        BytesDone += sourceSize;
        if (aesOut && !Cancelled) {
            const std::vector<uint8_t> code = aesOut->Trailer();
            output.Write(code.data(), static_cast<int64_t>(code.size()));
        }
    }
    const int ended = deflater ? deflater->End() : 0;
    if (ended < 0 && !Cancelled) throw EHvoZlibError(ended);

    if (sourceSize != bytesRead) {
        if (Cancelled) return false;
        throw EHvoException(34, Name, {sourceSize, bytesRead});
    }
    const int64_t compressed = headerSize + output.Written();
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
    item.Crc32 = summed.Crc();
    if (item.HasZip64Extra && zip64Mode_ == zmDisabled)
        throw EHvoException(41, Name, {THvoFormatArg(item.SourcePath)});
    if (sourceSize == 0) {
        item.StoredMethod = 0;
        if (!aesOut) item.CompressionMethod = 0;
    }
    return true;
}
