#include "archive/HvoUpdate.h"

#include "archive/HvoAes.h"
#include "archive/HvoDeflateStream.h"
#include "archive/HvoExcept.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStrFunc.h"
#include "archive/HvoUnicodeInfo.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <limits>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
constexpr int64_t kCopyBlock = 1 << 20;

bool IsChange(uint8_t operation)
{
    return operation == poRename || operation == poChangeAttr || operation == poChangeComment;
}

// The data of an entry read from a stream that holds more: the bytes from start on,
// seen as a stream of their own.
class TSourceWindow : public TStream {
public:
    TSourceWindow(TStream& base, int64_t start) : base_(base), start_(start) {}
    ~TSourceWindow() override = default;
    int64_t Read(void* buffer, int64_t count) override { return base_.Read(buffer, count); }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        if (origin == TSeekOrigin::soBeginning) offset += start_;
        const int64_t at = base_.Seek(offset, origin);
        return at < 0 ? at : at - start_;
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return std::max<int64_t>(base_.Size() - start_, 0); }

private:
    TStream& base_;
    int64_t start_;
};

// Copies count bytes from position from of source to the position of target.
void CopyRange(TStream& source, int64_t from, int64_t count, TStream& target)
{
    source.SetPosition(from);
    std::vector<uint8_t> block(static_cast<size_t>(std::min(kCopyBlock, std::max<int64_t>(count, 1))));
    for (int64_t done = 0; done < count;) {
        const int64_t n = std::min<int64_t>(static_cast<int64_t>(block.size()), count - done);
        source.ReadBuffer(block.data(), n);
        target.WriteBuffer(block.data(), n);
        done += n;
    }
}

// The most bytes an entry's data can take: deflate's bound over the whole source with
// room for the flush after every chunk, or the source itself when stored, and the
// encryption overhead (traditional header, or AES salt, verifier and code).
uint64_t WorstCaseDataSize(const TDirItem& item, uint64_t sourceSize, bool encrypted, bool aes)
{
    uint64_t size =
        item.StoredMethod != kMethodStored ? THvoDeflateStream::Bound(item.DeflateLevel, sourceSize) : sourceSize;
    if (encrypted) size += aes ? 16 + 2 + 10 : 12;
    return size;
}

// The local record of an entry as it lies in a stream: its header and the bytes from the
// header to the end of its data, with the data descriptor of a streamed entry.
struct TOldRecord {
    TLocalFileHeader Header;
    int64_t Length = 0;
};

TOldRecord ReadOldRecord(TStream& stream, int64_t at, const TDirItem& saved)
{
    TOldRecord record;
    uint8_t raw[TLocalFileHeader::kSize];
    stream.SetPosition(at);
    stream.ReadBuffer(raw, sizeof raw);
    ReadRecord(raw, record.Header);
    record.Length = static_cast<int64_t>(TLocalFileHeader::kSize) + record.Header.FileNameLength +
                    record.Header.ExtraFieldLength + static_cast<int64_t>(saved.EffectiveCompressedSize());
    if (saved.Flags & kFlagDataDescriptor) {
        // CRC and sizes follow the data, with or without their signature, sizes of 8 bytes
        // each for a ZIP64 entry.
        uint8_t signature[4] = {};
        stream.SetPosition(at + record.Length);
        const bool signed_ = stream.Read(signature, 4) == 4 && ReadLE32(signature) == kDataDescriptorSignature;
        record.Length += (signed_ ? 4 : 0) + (saved.HasZip64Extra ? 20 : 12);
    }
    return record;
}

template <class R>
std::vector<uint8_t> RecordBytes(const R& record)
{
    std::vector<uint8_t> raw(R::kSize);
    WriteRecord(raw.data(), record);
    return raw;
}

void DropBlocks(std::vector<TExtraBlock>& blocks, std::initializer_list<uint16_t> ids)
{
    std::erase_if(blocks, [&](const TExtraBlock& b) { return std::find(ids.begin(), ids.end(), b.HeaderId) != ids.end(); });
}

// The ZIP64 block of a local header: both sizes.
TExtraBlock LocalZip64Block(uint64_t uncompressed, uint64_t compressed)
{
    TExtraBlock block{kExtraZip64, std::vector<uint8_t>(16)};
    WriteLE64(block.Data.data(), uncompressed);
    WriteLE64(block.Data.data() + 8, compressed);
    return block;
}

// A temporary file of the commit, deleted with it.
struct TTempFile {
    std::string Name;
    std::unique_ptr<TFileStream> Stream;
    ~TTempFile()
    {
        Stream.reset();
        if (!Name.empty()) ::unlink(Name.c_str());
    }
};

} // namespace

void HvoOpenUpdate(THvoBaseArchiver& archiver)
{
    archiver.CheckActive();
    // The directory as it was before the first change is what a failure restores.
    if (archiver.updateCount_ <= 0) archiver.dirManager_->SavedItems.Assign(archiver.dirManager_->Items);
    archiver.updateCount_ = 1;
}

// ---- Describing entries ------------------------------------------------------------------

void THvoBaseArchiver::FillNewItem(int32_t index, const std::string& sourceName, uint32_t fileTime,
                                   uint32_t attributes, bool fromFile)
{
    CheckActive();
    THvoDirArray& items = dirManager_->Items;
    std::string stored;
    bool folder = false;
    uint32_t stamp = fileTime;
    if (fromFile) {
        stored = StoredName(sourceName, workingDir_.empty() ? WideGetCurrentDir() : workingDir_, options_.StorePath, {});
        folder = WideDirectoryExists(sourceName);
        const int32_t age = WideFileAge(sourceName);
        stamp = age != -1 ? static_cast<uint32_t>(age) : DosToInt(TimeToDos(std::time(nullptr)));
        const int32_t own = WideFileGetAttr(sourceName);
        attributes = own >= 0 ? static_cast<uint32_t>(own) : 0x20;
    } else {
        stored = sourceName;
        if (!stored.empty() && stored.back() == '\\') stored.pop_back();
        std::replace(stored.begin(), stored.end(), '\\', '/');
        folder = (attributes & faDirectory) != 0;
    }
    if (stored.empty()) return;
    if (folder && stored.back() != '/') stored += '/';

    const TDirItem& slot = items.ItemPtr(index);
    TDirItem item;
    item.Comment = slot.Comment;
    item.Marked = slot.Marked;
    item.SourceObject = slot.SourceObject;
    item.OwnsSourceObject = slot.OwnsSourceObject;
    item.SourcePosition = slot.SourcePosition;
    item.FileName = stored;
    item.NewEntry = 1;
    item.SourceText = password_;
    item.SourcePath = fromFile ? sourceName : std::string();
    item.DeflateLevel = folder ? 0 : compressionMode_;

    item.Signature = kCentralFileHeaderSignature;
    item.CompressionMethod = item.StoredMethod = compressionMethod_;
    item.VersionNeeded = item.VersionMadeBy = options_.OEMFileNames ? 0x0014 : 0x0B14;
    item.Flags = password_.empty() ? 0 : kFlagEncrypted;
    const TDosDateTime dos = IntToDos(stamp);
    item.LastModTime = dos.Time;
    item.LastModDate = dos.Date;
    item.Crc32 = kAllOnes;
    item.FileNameLength = static_cast<uint16_t>(std::min<size_t>(stored.size(), 0xFFFF));
    item.ExternalAttributes = attributes;
    if (folder) {
        item.CompressionMethod = item.StoredMethod = kMethodStored;
        item.Crc32 = 0;
        item.Flags = 2;
    }
    items.SetItem(index, item);
}

// ---- Steps of the processing loop --------------------------------------------------------

void THvoBaseArchiver::DeleteItem(int32_t index)
{
    CheckActive();
    if (index < 0 || index >= dirManager_->Items.Count) Raise(21);
    if (updateCount_ <= 0) Raise(22);
    dirManager_->Items.Delete(index);
}

void THvoBaseArchiver::MarkForUpdate(int32_t index)
{
    CheckActive();
    THvoDirArray& items = dirManager_->Items;
    if (index < 0 || index >= items.Count) Raise(24);
    if (updateCount_ <= 0) Raise(25);
    // The entry keeps its stored name: the update replaces its data, not its place.
    const std::string name = items.ItemPtr(index).FileName;
    FillNewItem(index, items.ItemPtr(index).SourcePath, 0, 0, true);
    items.SetName(index, name);
    items.ItemPtr(index).Operation = poUpdate;
}

void THvoBaseArchiver::UpdateItem(int32_t index, const std::string& name, const std::string& baseDir)
{
    CheckActive();
    THvoDirArray& items = dirManager_->Items;
    if (index < 0 || index >= items.Count) Raise(24);
    const TDirItem& item = items.ItemPtr(index);
    if ((item.ExternalAttributes & faDirectory) || (!item.FileName.empty() && item.FileName.back() == '/')) return;
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::string path = WideIncludeTrailingBackslash(baseDir) + relative;
    if (!WideFileExists(path)) return;
    if (!options_.ReplaceReadOnly && (item.ExternalAttributes & faReadOnly)) return;
    const uint32_t entryAge = DosToInt({item.LastModDate, item.LastModTime});
    if (!OverwriteAllowed(name, path, static_cast<uint32_t>(WideFileAge(path)), entryAge)) return;
    items.ItemPtr(index).SourcePath = path;
    MarkForUpdate(index);
}

// ---- The commit --------------------------------------------------------------------------

void THvoBaseArchiver::Commit()
{
    if (updateCount_ <= 0) return;
    updateCount_ = 0;
    if (!commit_) commit_ = std::make_unique<THvoUpdateCommit>(*this);
    commit_->Run();
}

THvoUpdateCommit::THvoUpdateCommit(THvoBaseArchiver& archiver) : archiver_(archiver) {}

THvoUpdateCommit::~THvoUpdateCommit() = default;

int32_t THvoUpdateCommit::FindFirstChange()
{
    const THvoDirArray& items = archiver_.DirManager()->Items;
    const THvoDirArray& saved = archiver_.DirManager()->SavedItems;
    const int32_t common = std::min(items.Count, saved.Count);
    int32_t start = common;
    for (int32_t i = 0; i < common; ++i) {
        if (items.ItemPtr(i).FileName != saved.ItemPtr(i).FileName || items.ItemPtr(i).NewEntry) {
            start = i;
            break;
        }
    }
    // The archive is cut where the first rewritten entry lies: an entry kept before it
    // in the directory but stored after it in the file would be cut off.
    for (;;) {
        uint64_t lowest = std::numeric_limits<uint64_t>::max();
        for (int32_t i = start; i < saved.Count; ++i)
            lowest = std::min(lowest, saved.ItemPtr(i).EffectiveLocalHeaderOffset());
        int32_t moved = start;
        for (int32_t i = 0; i < start; ++i)
            if (saved.ItemPtr(i).EffectiveLocalHeaderOffset() >= lowest) {
                moved = i;
                break;
            }
        if (moved == start) return start;
        start = moved;
    }
}

void THvoUpdateCommit::MakeBackup()
{
    DropBackup();
    backupName_ = archiver_.MakeTempFileName();
    backup_ = std::make_unique<TFileStream>(backupName_, fmOpenReadWrite);
    TStream& archive = *archiver_.ArchiveStream();
    const int64_t size = archive.Size();
    if (size > commitPosition_) CopyRange(archive, commitPosition_, size - commitPosition_, *backup_);
}

void THvoUpdateCommit::DropBackup()
{
    backup_.reset();
    if (!backupName_.empty()) ::unlink(backupName_.c_str());
    backupName_.clear();
}

void THvoUpdateCommit::RestoreBackup()
{
    if (!backup_) throw EHvoException(6, archiver_.Name);
    archiver_.ArchiveStream()->SetPosition(commitPosition_);
    archiver_.ArchiveStream()->SetSize(commitPosition_);
    archiver_.ArchiveStream()->SetPosition(commitPosition_);
    CopyRange(*backup_, 0, backup_->Size(), *archiver_.ArchiveStream());
    DropBackup();
}

void THvoUpdateCommit::ReleaseOwnedSources(THvoDirArray& items)
{
    for (int32_t i = 0; i < items.Count; ++i) {
        TDirItem& item = items.ItemPtr(i);
        if (item.OwnsSourceObject) delete item.SourceObject;
        if (item.OwnsSourceObject) item.SourceObject = nullptr;
        item.OwnsSourceObject = false;
    }
}

void THvoUpdateCommit::Rollback()
{
    ReleaseOwnedSources(archiver_.DirManager()->Items);
    archiver_.DirManager()->Items.Assign(archiver_.DirManager()->SavedItems);
    if (!archiver_.ArchiveStream()) return;
    if (backup_) {
        RestoreBackup();
    } else {
        archiver_.ArchiveStream()->SetPosition(commitPosition_);
        archiver_.ArchiveStream()->SetSize(commitPosition_);
        archiver_.DirManager()->WriteDirectory();
    }
}

void THvoUpdateCommit::Run()
{
    archiver_.FilesDone = 0;
    archiver_.FilesTotal = 0;
    archiver_.Cancelled = false;
    archiver_.ProgressOn = true;
    archiver_.BytesTotal = 0;
    archiver_.BytesDone = 0;
    movedSources_.clear();
    THvoDirManager& dir = *archiver_.DirManager();
    THvoDirArray& items = dir.Items;
    const THvoDirArray& saved = dir.SavedItems;

    int32_t firstNew = -1;
    for (int32_t i = 0; i < items.Count; ++i) {
        const TDirItem& item = items.ItemPtr(i);
        if (!item.NewEntry) continue;
        archiver_.BytesTotal +=
            static_cast<int64_t>(item.HasZip64Extra ? item.UncompressedSize64 : item.UncompressedSize);
        ++archiver_.FilesTotal;
        if (firstNew < 0) firstNew = i;
    }
    commitStart_ = FindFirstChange();
    const auto operation = firstNew >= 0 ? static_cast<THvoProcessOperation>(items.ItemPtr(firstNew).Operation) : poDelete;
    archiver_.DoOverallProgress(operation, ppStart, 0.0, archiver_.Cancelled);
    if (archiver_.Cancelled) {
        ReleaseOwnedSources(items);
        return;
    }

    if (commitStart_ < saved.Count) {
        uint64_t lowest = std::numeric_limits<uint64_t>::max();
        for (int32_t i = commitStart_; i < saved.Count; ++i)
            lowest = std::min(lowest, saved.ItemPtr(i).EffectiveLocalHeaderOffset());
        commitPosition_ = static_cast<int64_t>(lowest);
    } else {
        commitPosition_ = saved.Count > 0 ? dir.CentralDirStart : dir.Shift;
    }
    // Everything from the cut on is kept, the old directory too, so that a failed commit
    // gives the archive back byte for byte.
    if (archiver_.ArchiveStream()->Size() > commitPosition_) {
        try {
            MakeBackup();
        } catch (...) {
            DropBackup();
            ReleaseOwnedSources(items);
            throw;
        }
    }

    bool aborted = false;
    try {
        archiver_.ArchiveStream()->SetPosition(commitPosition_);
        archiver_.ArchiveStream()->SetSize(commitPosition_);
        archiver_.ArchiveStream()->SetPosition(commitPosition_);
        int32_t i = commitStart_;
        while (i < items.Count && !archiver_.Cancelled) {
            THvoAction answer = fxaIgnore;
            bool written = true;
            do {
                answer = fxaIgnore;
                written = true;
                const TDirItem& item = items.ItemPtr(i);
                if (!item.NewEntry || IsChange(item.Operation))
                    CopyEntry(i);
                else
                    written = WriteNewEntry(i, answer);
            } while (answer == fxaRetry);
            if (answer == fxaAbort || archiver_.Cancelled) {
                aborted = answer == fxaAbort;
                break;
            }
            if (written) {
                ++archiver_.FilesDone;
                ++i;
                continue;
            }
            // A failed entry that replaces no saved one is dropped; one that does keeps
            // the old entry.
            const std::string& name = items.ItemPtr(i).FileName;
            const bool replaces = std::any_of(saved.Items.begin(), saved.Items.begin() + saved.Count,
                                              [&](const TDirItem& s) { return s.FileName == name; });
            if (items.ItemPtr(i).Operation == poAdd || !replaces) {
                items.Delete(i);
            } else {
                CopyEntry(i);
                ++i;
            }
        }
        if (!archiver_.Cancelled && !aborted) {
            dir.WriteDirectory();
            DropBackup();
        }
    } catch (...) {
        try {
            Rollback();
        } catch (...) {
            // The first failure is the one reported; the backup file stays when it could
            // not be copied back.
        }
        ReleaseOwnedSources(items);
        throw;
    }
    if (!archiver_.Cancelled && !aborted) {
        DeleteMovedSources();
        bool cancel = false;
        archiver_.DoOverallProgress(operation, ppEnd, 100.0, cancel);
    }
    if (archiver_.Cancelled || aborted) {
        Rollback();
    } else if (archiver_.Options().FlushBuffers) {
        if (auto* file = dynamic_cast<TFileStream*>(archiver_.ArchiveStream())) ::fsync(file->Handle());
    }
    ReleaseOwnedSources(items);
}

void THvoUpdateCommit::DeleteMovedSources()
{
    // Files first, then the folders they were in.
    for (const bool folders : {false, true}) {
        for (const auto& [path, folder] : movedSources_) {
            if (folder != folders) continue;
            THvoAction answer = fxaIgnore;
            do {
                answer = fxaIgnore;
                try {
                    if (!folder) {
                        if (!WideDeleteFile(path) && !(WideFileSetAttr(path, 0) && WideDeleteFile(path)))
                            throw EHvoException(27, archiver_.Name, {path});
                    } else {
                        std::error_code ec;
                        if (!std::filesystem::remove(path, ec) && std::filesystem::exists(path))
                            throw EHvoException(60, archiver_.Name, {path});
                    }
                } catch (const EHvoException& e) {
                    archiver_.DoProcessFileFailure(path, poMove, e.NativeError, e.ErrorCode, e.Message(), answer);
                }
            } while (answer == fxaRetry);
            if (answer == fxaAbort) return;
        }
    }
}

bool THvoUpdateCommit::WriteNewEntry(int32_t index, THvoAction& answer)
{
    archiver_.UpdateCompressionMethod();
    TDirItem& item = archiver_.DirManager()->Items.ItemPtr(index);
    const auto operation = static_cast<THvoProcessOperation>(item.Operation);
    const std::string shown = operation == poAdd || operation == poMove ? item.SourcePath : item.FileName;
    archiver_.DoFileProgress(shown, operation, 0.0, ppStart, archiver_.Cancelled);
    if (archiver_.Cancelled) return false;
    const int64_t entryStart = archiver_.ArchiveStream()->Position();
    try {
        return WriteEntryRecord(item, answer);
    } catch (const EHvoException& e) {
        // What the failed attempt wrote is cut off again.
        if (archiver_.SpanningMode() == smNone && archiver_.ArchiveStream()) {
            archiver_.ArchiveStream()->SetSize(entryStart);
            archiver_.ArchiveStream()->SetPosition(entryStart);
        }
        if (!archiver_.ArchiveStream()) {
            answer = fxaAbort;
        } else {
            archiver_.DoProcessFileFailure(operation == poUpdate ? item.FileName : item.SourcePath, operation,
                                           e.NativeError, e.ErrorCode, e.Message(), answer);
        }
        return false;
    }
}

bool THvoUpdateCommit::WriteEntryRecord(TDirItem& item, THvoAction& answer)
{
    const auto operation = static_cast<THvoProcessOperation>(item.Operation);
    const bool always = archiver_.Zip64Mode() == zmAlways;
    // The blocks this write makes are made anew (a retried entry would repeat them).
    DropBlocks(item.ExtraFields, {kExtraZip64, kExtraUnicodeName, kExtraAes});
    item.AesStrength = 0;
    bool utf8 = false;
    std::string name = EncodeName(item.FileName, utf8);
    item.Flags = static_cast<uint16_t>(utf8 ? item.Flags | kFlagUtf8 : item.Flags & ~kFlagUtf8);
    if (archiver_.Options().OEMFileNames && !utf8) name = platform::AnsiToOem(name);
    item.HasZip64Extra = false;

    // The source: a stream from SourcePosition on, or the file; a folder has none.
    std::unique_ptr<TFileStream> file;
    std::unique_ptr<TSourceWindow> window;
    TStream* source = nullptr;
    struct TRestore {
        TStream* object = nullptr;
        int64_t position = 0;
        ~TRestore()
        {
            if (object) object->SetPosition(position);
        }
    } restore;
    if (item.SourceObject) {
        restore.object = item.SourceObject;
        restore.position = item.SourceObject->Position();
        window = std::make_unique<TSourceWindow>(*item.SourceObject, item.SourcePosition);
        source = window.get();
    } else if (!(item.ExternalAttributes & faDirectory)) {
        if (Utf16Length(item.SourcePath) >= 260 && item.SourcePath.find("\\\\?\\") == std::string::npos)
            throw EHvoException(61, archiver_.Name, {item.SourcePath});
        try {
            file = std::make_unique<TFileStream>(item.SourcePath, fmOpenRead);
        } catch (const platform::EFOpenError&) {
            throw EHvoException(33, archiver_.Name, {item.SourcePath});
        }
        source = file.get();
    }
    const int64_t sourceSize = source ? source->Size() : 0;
    if (source && sourceSize == 0) item.StoredMethod = kMethodStored;
    const bool encrypted = source && !item.SourceText.empty();
    item.Flags = static_cast<uint16_t>(encrypted ? item.Flags | kFlagEncrypted : item.Flags & ~kFlagEncrypted);
    const bool aes = encrypted && archiver_.EncryptionMethod() >= caAES_128 && archiver_.EncryptionMethod() <= caAES_256;

    const bool spanned = archiver_.SpanningMode() != smNone;
    const int64_t position = archiver_.ArchiveStream()->Position();
    if (!spanned) {
        item.LocalHeaderOffset = static_cast<uint32_t>(std::min<int64_t>(position, kAllOnes));
        item.LocalHeaderOffset64 = static_cast<uint64_t>(position);
        if (position >= static_cast<int64_t>(kAllOnes) || always) {
            item.HasZip64Extra = true;
            item.LocalHeaderOffset = kAllOnes;
        }
    }
    const bool sizeIn64 = source && (static_cast<uint64_t>(sourceSize) >= kAllOnes || always);
    if (sizeIn64) item.HasZip64Extra = true;
    uint16_t version = archiver_.Options().OEMFileNames ? 0x0014 : 0x0B14;
    if (item.HasZip64Extra || static_cast<uint64_t>(sourceSize) >= kAllOnes) version = 45;
    item.VersionNeeded = item.VersionMadeBy = version;
    if (item.HasZip64Extra && archiver_.Zip64Mode() == zmDisabled)
        throw EHvoException(43, archiver_.Name, {item.SourcePath.empty() ? item.FileName : item.SourcePath});
    // Room for both sizes in the local header also when only the data may grow past the
    // 32-bit fields (incompressible or encrypted data just below 4 GiB).
    const bool reserve =
        sizeIn64 || (source && archiver_.Zip64Mode() != zmDisabled &&
                     WorstCaseDataSize(item, static_cast<uint64_t>(sourceSize), encrypted, aes) >= kAllOnes);

    TLocalFileHeader local;
    local.VersionNeeded = version;
    local.Flags = item.Flags;
    local.CompressionMethod = aes && version < 0x4114 ? 99 : item.CompressionMethod;
    local.LastModTime = item.LastModTime;
    local.LastModDate = item.LastModDate;
    local.Crc32 = item.Crc32;
    local.UncompressedSize = !source ? 0 : reserve ? kAllOnes : static_cast<uint32_t>(sourceSize);
    local.CompressedSize = reserve ? kAllOnes : 0;
    std::vector<TExtraBlock> blocks;
    if (reserve) blocks.push_back(LocalZip64Block(0, 0));
    if (archiver_.UnicodeFilenames()) {
        blocks.push_back({kExtraUnicodeName, BuildUnicodeNameRecord(item.FileName)});
        item.ExtraFields.push_back(blocks.back());
    }
    if (aes) {
        const THvoCryptoAlgorithm method = archiver_.EncryptionMethod();
        const int32_t keyBits = method == caAES_128 ? 128 : method == caAES_192 ? 192 : 256;
        blocks.push_back(TAESCryptoTransform(keyBits, 2, item.StoredMethod).GetExtraField());
        item.ExtraFields.push_back(blocks.back());
    }
    const std::vector<uint8_t> extra = BuildExtraField(blocks);
    if (name.size() > 0xFFFF || extra.size() > 0xFFFF) throw EHvoException(46, archiver_.Name);
    local.FileNameLength = static_cast<uint16_t>(name.size());
    local.ExtraFieldLength = static_cast<uint16_t>(extra.size());
    item.FileNameLength = local.FileNameLength;

    // A multi-volume archive receives the entry through a temporary file.
    TTempFile temp;
    TStream* out = archiver_.ArchiveStream();
    if (spanned) {
        temp.Name = archiver_.MakeTempFileName();
        temp.Stream = std::make_unique<TFileStream>(temp.Name, fmOpenReadWrite);
        out = temp.Stream.get();
    }
    const int64_t headerAt = out->Position();
    std::vector<uint8_t> header = RecordBytes(local);
    header.insert(header.end(), name.begin(), name.end());
    header.insert(header.end(), extra.begin(), extra.end());
    if (!archiver_.WriteWithRetry(*out, header.data(), static_cast<int64_t>(header.size()))) return false;

    if (source) {
        if (!archiver_.CompressEntry(*source, *out, item)) return false;
        if (reserve) {
            item.HasZip64Extra = true;
            item.CompressedSize = item.UncompressedSize = kAllOnes;
            item.VersionNeeded = item.VersionMadeBy = 45;
        }
        local.VersionNeeded = item.VersionNeeded;
        local.CompressionMethod = item.CompressionMethod;
        local.Crc32 = item.Crc32;
        local.CompressedSize = item.CompressedSize;
        local.UncompressedSize = item.UncompressedSize;
        const int64_t end = out->Position();
        const std::vector<uint8_t> fixed = RecordBytes(local);
        out->SetPosition(headerAt);
        if (!archiver_.WriteWithRetry(*out, fixed.data(), static_cast<int64_t>(fixed.size()))) return false;
        if (reserve) {
            const std::vector<uint8_t> zip64 =
                BuildExtraField({LocalZip64Block(item.UncompressedSize64, item.CompressedSize64)});
            out->SetPosition(headerAt + static_cast<int64_t>(fixed.size() + name.size()));
            if (!archiver_.WriteWithRetry(*out, zip64.data(), static_cast<int64_t>(zip64.size()))) return false;
        }
        out->SetPosition(end);
    } else {
        item.CompressedSize = item.UncompressedSize = 0;
        item.CompressedSize64 = item.UncompressedSize64 = 0;
    }
    if (archiver_.Cancelled) return false;

    bool refused = false;
    if (spanned) {
        // The local header lands whole on one volume; the entry starts there.
        archiver_.volumes_.WriteArchiveChecked(static_cast<int64_t>(header.size()));
        const auto disk = static_cast<uint32_t>(std::max(archiver_.VolumeNumberInfo().VolumeNumber, 0));
        item.DiskNumberStart = static_cast<uint16_t>(std::min<uint32_t>(disk, 0xFFFF));
        item.DiskNumberStart64 = disk;
        const int64_t at = archiver_.ArchiveStream()->Seek(0, TSeekOrigin::soEnd);
        item.LocalHeaderOffset = static_cast<uint32_t>(std::min<int64_t>(at, kAllOnes));
        item.LocalHeaderOffset64 = static_cast<uint64_t>(at);
        if (at >= static_cast<int64_t>(kAllOnes) || always || disk >= 0xFFFF) {
            item.HasZip64Extra = true;
            item.LocalHeaderOffset = kAllOnes;
            if (disk >= 0xFFFF) item.DiskNumberStart = 0xFFFF;
        }
        const int64_t size = temp.Stream->Size();
        temp.Stream->SetPosition(0);
        refused = archiver_.volumes_.CopyToArchive(*temp.Stream, size, true) != size;
        if (archiver_.Cancelled) return false;
    }

    // The item's own stream is no longer needed once its entry is written.
    window.reset();
    if (item.OwnsSourceObject) {
        restore.object = nullptr;
        delete item.SourceObject;
        item.SourceObject = nullptr;
        item.OwnsSourceObject = false;
    }
    file.reset();
    const std::string shown = operation == poAdd || operation == poMove ? item.SourcePath : item.FileName;
    archiver_.DoFileProgress(shown, operation, 100.0, ppEnd, archiver_.Cancelled);
    if (refused) {
        answer = fxaAbort;
        return false;
    }
    if (operation == poMove) movedSources_.emplace_back(item.SourcePath, (item.ExternalAttributes & faDirectory) != 0);
    return true;
}

void THvoUpdateCommit::CopyEntry(int32_t index)
{
    THvoDirArray& items = archiver_.DirManager()->Items;
    const THvoDirArray& saved = archiver_.DirManager()->SavedItems;
    const uint8_t operation = items.ItemPtr(index).Operation;
    const bool renamed = items.ItemPtr(index).NewEntry && operation == poRename;
    const std::string& wanted = operation == poRename ? items.ItemPtr(index).OldFileName : items.ItemPtr(index).FileName;
    int32_t found = -1;
    for (int32_t s = 0; s < saved.Count && found < 0; ++s)
        if (saved.ItemPtr(s).FileName == wanted) found = s;
    if (found < 0) throw EHvoException(7, archiver_.Name);
    const TDirItem& old = saved.ItemPtr(found);
    // An entry written as it was is described as it was.
    if (items.ItemPtr(index).NewEntry && !IsChange(operation)) {
        items.SetItem(index, old);
        items.ItemPtr(index).Operation = operation;
    }
    TDirItem& item = items.ItemPtr(index);

    const int64_t from = static_cast<int64_t>(old.EffectiveLocalHeaderOffset()) - commitPosition_;
    if (!backup_ || from < 0) throw EHvoException(7, archiver_.Name);
    const TOldRecord record = ReadOldRecord(*backup_, from, old);

    TStream& out = *archiver_.ArchiveStream();
    const int64_t at = out.Position();
    item.LocalHeaderOffset = static_cast<uint32_t>(std::min<int64_t>(at, kAllOnes));
    item.LocalHeaderOffset64 = static_cast<uint64_t>(at);
    if (at >= static_cast<int64_t>(kAllOnes) || archiver_.Zip64Mode() == zmAlways) {
        item.HasZip64Extra = true;
        item.LocalHeaderOffset = kAllOnes;
    }

    if (!renamed) {
        CopyRange(*backup_, from, record.Length, out);
        return;
    }
    // A new local header for the new name. The old name record would override the new
    // name when the archive is read again: it is replaced by one for the new name.
    bool utf8 = false;
    std::string name = EncodeName(item.FileName, utf8);
    item.Flags = static_cast<uint16_t>(utf8 ? item.Flags | kFlagUtf8 : item.Flags & ~kFlagUtf8);
    if (archiver_.Options().OEMFileNames && !utf8) name = platform::AnsiToOem(name);
    DropBlocks(item.ExtraFields, {kExtraUnicodeName});
    if (archiver_.UnicodeFilenames()) item.ExtraFields.push_back({kExtraUnicodeName, BuildUnicodeNameRecord(item.FileName)});
    std::vector<TExtraBlock> blocks;
    if (record.Header.UncompressedSize == kAllOnes || record.Header.CompressedSize == kAllOnes)
        blocks.push_back(LocalZip64Block(item.EffectiveUncompressedSize(), item.EffectiveCompressedSize()));
    for (const TExtraBlock& block : item.ExtraFields)
        if (block.HeaderId != kExtraZip64) blocks.push_back(block);
    const std::vector<uint8_t> extra = BuildExtraField(blocks);
    if (name.size() > 0xFFFF || extra.size() > 0xFFFF) throw EHvoException(46, archiver_.Name);
    TLocalFileHeader local = record.Header;
    local.Flags = static_cast<uint16_t>(utf8 ? local.Flags | kFlagUtf8 : local.Flags & ~kFlagUtf8);
    local.FileNameLength = static_cast<uint16_t>(name.size());
    local.ExtraFieldLength = static_cast<uint16_t>(extra.size());
    std::vector<uint8_t> header = RecordBytes(local);
    header.insert(header.end(), name.begin(), name.end());
    header.insert(header.end(), extra.begin(), extra.end());
    out.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
    const int64_t oldHeader =
        static_cast<int64_t>(TLocalFileHeader::kSize) + record.Header.FileNameLength + record.Header.ExtraFieldLength;
    CopyRange(*backup_, from + oldHeader, record.Length - oldHeader, out);
}
