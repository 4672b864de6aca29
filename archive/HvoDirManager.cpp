#include "archive/HvoDirManager.h"

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "archive/HvoUnicodeInfo.h"
#include "platform/CodePages.h"

#include <algorithm>
#include <cstring>

uint64_t TDirRecord::EffectiveCompressedSize() const
{
    return CompressedSize == 0xFFFFFFFF ? CompressedSize64 : CompressedSize;
}

uint64_t TDirRecord::EffectiveUncompressedSize() const
{
    return UncompressedSize == 0xFFFFFFFF ? UncompressedSize64 : UncompressedSize;
}

uint64_t TDirRecord::EffectiveLocalHeaderOffset() const
{
    return LocalHeaderOffset == 0xFFFFFFFF ? LocalHeaderOffset64 : LocalHeaderOffset;
}

uint32_t TDirRecord::EffectiveDiskNumberStart() const
{
    return DiskNumberStart == 0xFFFF ? DiskNumberStart64 : DiskNumberStart;
}

void TDirRecord::SetEffectiveLocalHeaderOffset(uint64_t offset)
{
    if (LocalHeaderOffset != 0xFFFFFFFF && offset < 0xFFFFFFFF) {
        LocalHeaderOffset = static_cast<uint32_t>(offset);
    } else {
        LocalHeaderOffset = 0xFFFFFFFF;
        LocalHeaderOffset64 = offset;
    }
}

// ---- THvoDirArray ----------------------------------------------------------------------

namespace {

std::string NameKey(const std::string& name) { return WideLowerCase(name); }

[[noreturn]] void RaiseIndex(int nativeError) { throw EHvoException(nativeError, {}); }

} // namespace

THvoDirArray::THvoDirArray() = default;

THvoDirArray::~THvoDirArray() { Clear(); }

void THvoDirArray::Clear()
{
    for (int32_t i = 0; i < Count; ++i) Items[static_cast<size_t>(i)].ExtraFields.clear();
    Count = 0;
    Items.resize(0);
    Names.Clear();
}

void THvoDirArray::SetCount(int32_t n)
{
    if (n > Capacity) {
        Delta = std::min(2 * Delta, MaxDelta);
        Capacity = Capacity + Delta > n ? Capacity + Delta : n;
        Items.reserve(static_cast<size_t>(Capacity));
    } else if (n == 0) {
        Items = std::vector<TDirItem>();
        Capacity = 0;
    }
    Items.resize(static_cast<size_t>(std::max(n, 0)));
    Count = std::max(n, 0);
}

TDirItem THvoDirArray::GetItem(int32_t i) const
{
    if (i < 0 || i >= Count) RaiseIndex(2);
    return Items[static_cast<size_t>(i)];
}

TDirItem& THvoDirArray::ItemPtr(int32_t i)
{
    if (i < 0 || i >= Count) RaiseIndex(3);
    return Items[static_cast<size_t>(i)];
}

const TDirItem& THvoDirArray::ItemPtr(int32_t i) const
{
    if (i < 0 || i >= Count) RaiseIndex(3);
    return Items[static_cast<size_t>(i)];
}

void THvoDirArray::PutKey(int32_t i, const std::string& name, int nativeError)
{
    if (Names.Count() > i)
        Names.Put(i, NameKey(name));
    else if (Names.Count() == i)
        Names.Add(NameKey(name));
    else
        RaiseIndex(nativeError);
}

void THvoDirArray::SetItem(int32_t i, const TDirItem& item)
{
    if (i < 0 || i >= Count) RaiseIndex(1);
    PutKey(i, item.FileName, 58);
    Items[static_cast<size_t>(i)] = item;
}

void THvoDirArray::Assign(const THvoDirArray& other)
{
    Clear();
    SetCount(other.Count);
    for (int32_t i = 0; i < other.Count; ++i) SetItem(i, other.GetItem(i));
}

void THvoDirArray::Delete(int32_t i)
{
    if (i < 0 || i >= Count) RaiseIndex(4);
    TDirItem& item = Items[static_cast<size_t>(i)];
    if (item.OwnsSourceObject) delete item.SourceObject;
    if (i < Names.Count()) Names.Delete(i);
    Items.erase(Items.begin() + i);
    SetCount(Count - 1);
}

void THvoDirArray::ClearMarks()
{
    for (int32_t i = 0; i < Count; ++i) Items[static_cast<size_t>(i)].Marked = false;
}

bool THvoDirArray::FindName(const std::string& name, int32_t& index)
{
    index = Names.IndexOf(NameKey(name));
    return index >= 0;
}

void THvoDirArray::SetName(int32_t i, const std::string& name)
{
    TDirItem& item = ItemPtr(i);
    PutKey(i, name, 59);
    item.FileName = name;
}

// ---- THvoDirManager --------------------------------------------------------------------

namespace {

constexpr int64_t kEndSearchWindow = 65600;
constexpr int64_t kProbeChunk = 10000;

bool ValidEndCandidate(const uint8_t* p, int64_t q, int64_t streamSize)
{
    if (streamSize - q < static_cast<int64_t>(TEndOfCentralDir::kSize)) return false;
    TEndOfCentralDir r;
    ReadRecord(p, r);
    if (r.StartDiskNumber > r.DiskNumber) return false;
    if (r.EntriesOnDisk > r.EntriesTotal) return false;
    // A directory that begins on an earlier volume has only its tail before the record.
    if (r.StartDiskNumber == r.DiskNumber && r.CentralDirSize != 0xFFFFFFFF &&
        !(static_cast<int64_t>(r.CentralDirSize) < q + 22))
        return false;
    if (r.StartDiskNumber == r.DiskNumber && r.CentralDirOffset != 0xFFFFFFFF && r.CentralDirSize != 0xFFFFFFFF &&
        !(static_cast<int64_t>(r.CentralDirOffset) < q + 22 - static_cast<int64_t>(r.CentralDirSize)))
        return false;
    return r.CommentLength <= streamSize - (q + 22);
}

} // namespace

THvoDirManager::THvoDirManager(TStream* stream, THvoBaseArchiver& archiver, bool newArchive)
    : Stream(stream), NewArchive(newArchive), ForeignStream(stream != archiver.ArchiveStream()), Archiver(archiver)
{
    Reset();
    if (!newArchive) return;
    Archiver.VolumeNumberInfo().SetFirst(true);
    if (!Archiver.SFXStub().empty()) WriteStub();
}

void THvoDirManager::WriteStub()
{
    TFileStream stub(Archiver.SFXStub(), fmOpenRead);
    const int64_t size = stub.Size();
    if (Archiver.SpanningMode() != smNone) {
        const int64_t limit = Archiver.SpanningOptions().VolumeSizeLimit(Archiver.VolumeNumberInfo());
        if (limit >= 0 && limit < size) throw EHvoException(47, Archiver.Name);
    }
    Stream->SetSize(0);
    Stream->SetPosition(0);
    std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(size, 1), 1 << 20)));
    for (int64_t copied = 0; copied < size;) {
        const int64_t n = std::min<int64_t>(static_cast<int64_t>(block.size()), size - copied);
        stub.ReadBuffer(block.data(), n);
        if (Stream->Write(block.data(), n) != n) throw EHvoException(46, Archiver.Name);
        copied += n;
    }
    Shift = size;
}

THvoDirManager::~THvoDirManager() = default;

void THvoDirManager::Reset()
{
    Items.SetCount(0);
    Items.Names.Clear();
    EndRecord = TEndOfCentralDir{};
    EndRecord.Signature = kEndOfCentralDirSignature;
}

bool THvoDirManager::FindEndRecord(uint32_t signature, TEndOfCentralDir& record, int64_t& position)
{
    position = -1;
    record = TEndOfCentralDir{};
    record.Signature = 0;
    Comment.clear();
    const int64_t size = Stream->Size();
    const int64_t window = std::min(kEndSearchWindow, size);
    if (window <= 0) return false;
    const int64_t saved = Stream->Position();
    std::vector<uint8_t> buffer(static_cast<size_t>(window));
    Stream->SetPosition(size - window);
    const int64_t got = Stream->Read(buffer.data(), window);
    Stream->SetPosition(saved);
    if (got != window) return false;
    uint8_t sig[4];
    WriteLE32(sig, signature);
    for (int64_t i = window - 1; i >= 3; --i) {
        if (buffer[static_cast<size_t>(i)] != sig[3] || std::memcmp(&buffer[static_cast<size_t>(i - 3)], sig, 3) != 0)
            continue;
        const int64_t q = size - window + i - 3;
        if (window - (i - 3) < static_cast<int64_t>(TEndOfCentralDir::kSize)) continue;
        const uint8_t* p = &buffer[static_cast<size_t>(i - 3)];
        if (!ValidEndCandidate(p, q, size)) continue;
        ReadRecord(p, record);
        position = q;
        if (record.CommentLength != 0) {
            Comment.resize(record.CommentLength);
            Stream->SetPosition(q + 22);
            Stream->ReadBuffer(Comment.data(), record.CommentLength);
            Stream->SetPosition(saved);
        }
        return true;
    }
    return false;
}

bool THvoDirManager::HasEndRecord()
{
    TEndOfCentralDir record;
    int64_t position = 0;
    const bool found = FindEndRecord(kEndOfCentralDirSignature, record, position);
    return found || Archiver.RepairOnOpen();
}

void THvoDirManager::ReadAt(int64_t position, void* buffer, int64_t count)
{
    if (position < 0 || count < 0 || position > Stream->Size() - count) throw EHvoException(57, Archiver.Name);
    Stream->SetPosition(position);
    Stream->ReadBuffer(buffer, count);
}

void THvoDirManager::ReadDirectory()
{
    Reset();
    Shift = 0;
    HasZip64 = false;
    EndRecordFound = false;
    int64_t p = 0;
    TEndOfCentralDir end;
    if (!FindEndRecord(kEndOfCentralDirSignature, end, p)) {
        Rebuild();
        return;
    }
    EndRecord = end;
    EndRecordFound = true;

    if (p >= 21) {
        uint8_t raw[TZip64EndOfCentralDir::kSize];
        ReadAt(p - 20, raw, TZip64EndLocator::kSize);
        if (ReadLE32(raw) == kZip64EndLocatorSignature) {
            ReadRecord(raw, Zip64Locator);
            HasZip64 = true;
            p -= 20;
            // The ZIP64 end record must lie whole in the stream before the locator.
            const uint64_t at = Zip64Locator.Zip64EndOffset;
            if (p < 57 || at > static_cast<uint64_t>(p) - TZip64EndOfCentralDir::kSize)
                throw EHvoException(40, Archiver.Name);
            ReadAt(static_cast<int64_t>(at), raw, TZip64EndOfCentralDir::kSize);
            if (ReadLE32(raw) != kZip64EndOfCentralDirSignature) throw EHvoException(40, Archiver.Name);
            ReadRecord(raw, Zip64EndRecord);
            p -= 56;
        }
    }
    // Without ZIP64 records a count of 0xFFFF may stand for more entries: not trusted.
    if (!HasZip64 && EndRecord.EntriesTotal == 0xFFFF) {
        Rebuild();
        return;
    }

    const uint32_t directoryDisk =
        EndRecord.StartDiskNumber != 0xFFFF ? EndRecord.StartDiskNumber : (HasZip64 ? Zip64EndRecord.StartDiskNumber : 0);
    const bool multiVolume = Archiver.SpanningMode() != smNone;
    if (multiVolume) {
        // The probe opened the last volume before its number was known.
        THvoVolumeNumberInfo& current = Archiver.VolumeNumberInfo();
        if (current.LastVolumeNumber < 0 && current.State == THvoVolumeNumberInfo::kLast)
            current = THvoVolumeNumberInfo::Of(LastDisk(), LastDisk());
        NextVolume(VolumeOf(directoryDisk));
    }

    try {
        ReadCentralHeaders(p);
    } catch (const platform::Exception& e) {
        // A cancelled volume request is the user's answer, not damage.
        const auto* own = dynamic_cast<const EHvoException*>(&e);
        if (own && own->NativeError == 45) throw;
        // Component and stream errors of reading; with RepairOnOpen the local headers decide.
        if (!Archiver.RepairOnOpen()) throw;
        Rebuild();
        return;
    }

    if (!Archiver.RepairOnOpen() && !multiVolume) {
        uint64_t total = 0;
        const uint64_t streamSize = static_cast<uint64_t>(Stream->Size());
        for (int32_t i = 0; i < Items.Count; ++i) {
            const uint64_t s = Items.ItemPtr(i).EffectiveCompressedSize();
            if (__builtin_add_overflow(total, s, &total) || total > streamSize) throw EHvoException(57, Archiver.Name);
        }
    }
    if (LastDisk() == 0) DetermineShift(p);
    ApplyShift();
}

int32_t THvoDirManager::LastDisk() const
{
    if (EndRecord.DiskNumber != 0xFFFF) return EndRecord.DiskNumber;
    return HasZip64 && Zip64Locator.TotalDisks > 0 ? static_cast<int32_t>(std::min<uint32_t>(Zip64Locator.TotalDisks - 1, INT32_MAX)) : 0;
}

int32_t THvoDirManager::EndRecordLastDisk(const TEndOfCentralDir& end, int64_t position)
{
    if (end.DiskNumber != 0xFFFF) return end.DiskNumber;
    if (position < static_cast<int64_t>(TZip64EndLocator::kSize)) return 0;
    uint8_t raw[TZip64EndLocator::kSize];
    const int64_t saved = Stream->Position();
    Stream->SetPosition(position - static_cast<int64_t>(sizeof raw));
    const bool read = Stream->Read(raw, sizeof raw) == static_cast<int64_t>(sizeof raw);
    Stream->SetPosition(saved);
    if (!read || ReadLE32(raw) != kZip64EndLocatorSignature) return 0;
    TZip64EndLocator locator;
    ReadRecord(raw, locator);
    return locator.TotalDisks > 0 ? static_cast<int32_t>(std::min<uint32_t>(locator.TotalDisks - 1, INT32_MAX)) : 0;
}

void THvoDirManager::NextVolume(const THvoVolumeNumberInfo& volume)
{
    if (ForeignStream) return;
    Archiver.OpenVolume(volume);
    Stream = Archiver.ArchiveStream();
}

int64_t THvoDirManager::VolumeEnd(int64_t endPosition)
{
    // The directory part of the last volume ends where its end records begin.
    return Archiver.VolumeNumberInfo().IsLast() ? endPosition : Stream->Size();
}

void THvoDirManager::ReadCentralHeaders(int64_t p)
{
    const uint64_t size = HasZip64 ? Zip64EndRecord.CentralDirSize : EndRecord.CentralDirSize;
    const uint64_t count = HasZip64 ? (Zip64EndRecord.EntriesTotal & 0xFFFFFFFF) : EndRecord.EntriesTotal;
    // Every entry takes at least a fixed header of the directory.
    if (count > size / TCentralFileHeader::kSize) throw EHvoException(57, Archiver.Name);
    if (Archiver.SpanningMode() == smNone) {
        if (size > static_cast<uint64_t>(p)) throw EHvoException(57, Archiver.Name);
        const int64_t start = p - static_cast<int64_t>(size);
        CentralDirStart = start;
        Stream->SetPosition(start);
        for (int32_t i = 0; i < static_cast<int32_t>(count); ++i) {
            Items.SetCount(i + 1);
            ReadItem(i, p);
        }
        return;
    }
    // Across volumes: from the stored offset on the directory's first disk; a header is
    // read whole from one volume.
    const uint64_t offset = HasZip64 ? Zip64EndRecord.CentralDirOffset : EndRecord.CentralDirOffset;
    if (offset > static_cast<uint64_t>(Stream->Size())) throw EHvoException(57, Archiver.Name);
    Stream->SetPosition(static_cast<int64_t>(offset));
    for (int32_t i = 0; i < static_cast<int32_t>(count); ++i) {
        THvoVolumeNumberInfo current = Archiver.VolumeNumberInfo();
        if (VolumeEnd(p) - Stream->Position() < static_cast<int64_t>(TCentralFileHeader::kSize) &&
            current.VolumeNumber >= 0 && current.VolumeNumber < LastDisk()) {
            NextVolume(VolumeOf(static_cast<uint32_t>(current.VolumeNumber + 1)));
            Stream->SetPosition(0);
        }
        if (i == 0) CentralDirStart = Stream->Position();
        Items.SetCount(i + 1);
        ReadItem(i, VolumeEnd(p));
    }
}

void THvoDirManager::ReadItem(int32_t index, int64_t directoryEnd)
{
    TDirItem& item = Items.ItemPtr(index);
    const int64_t at = Stream->Position();
    uint8_t fixed[TCentralFileHeader::kSize];
    if (at > directoryEnd - static_cast<int64_t>(TCentralFileHeader::kSize)) throw EHvoException(57, Archiver.Name);
    Stream->ReadBuffer(fixed, sizeof fixed);
    ReadRecord(fixed, static_cast<TCentralFileHeader&>(item));
    const int64_t variable = int64_t(item.FileNameLength) + item.ExtraFieldLength + item.FileCommentLength;
    if (at + static_cast<int64_t>(TCentralFileHeader::kSize) + variable > directoryEnd)
        throw EHvoException(57, Archiver.Name);
    if ((item.Flags & kFlagEncrypted) && item.VersionNeeded < 0x4114) item.AesStrength = 0;
    item.StoredMethod = item.CompressionMethod;

    std::string name(item.FileNameLength, '\0');
    Stream->ReadBuffer(name.data(), item.FileNameLength);
    if (EndRecordFound && Archiver.Options().OEMFileNames && !(item.Flags & kFlagUtf8)) name = platform::OemToAnsi(name);
    bool wasUtf8 = false;
    Items.SetName(index, DecodeName(name, wasUtf8));

    if (item.ExtraFieldLength > 0) {
        std::vector<uint8_t> field(item.ExtraFieldLength);
        Stream->ReadBuffer(field.data(), item.ExtraFieldLength);
        ReadExtraField(index, field);
    }
    item.Comment.assign(item.FileCommentLength, '\0');
    Stream->ReadBuffer(item.Comment.data(), item.FileCommentLength);
}

void THvoDirManager::ReadExtraField(int32_t index, const std::vector<uint8_t>& field)
{
    TDirItem& item = Items.ItemPtr(index);
    item.HasZip64Extra = false;
    // A remainder of fewer than four bytes after the last whole block is ignored.
    item.ExtraFields = ParseExtraField(field);
    for (const TExtraBlock& block : item.ExtraFields) {
        if (block.HeaderId == kExtraZip64) {
            TZip64Values values{item.UncompressedSize64, item.CompressedSize64, item.LocalHeaderOffset64,
                                item.DiskNumberStart64};
            ReadZip64Block(block.Data, item, values);
            item.UncompressedSize64 = values.UncompressedSize;
            item.CompressedSize64 = values.CompressedSize;
            item.LocalHeaderOffset64 = values.LocalHeaderOffset;
            item.DiskNumberStart64 = values.DiskNumberStart;
            item.HasZip64Extra = true;
        } else if (block.HeaderId == kExtraUnicodeName) {
            TUnicodeExtendedInfo info;
            if (info.ReadFromBuffer(block.Data.data(), block.Data.size())) Items.SetName(index, info.UnicodeName);
        } else if (block.HeaderId == kExtraAes && item.VersionNeeded < 0x4114 && block.Data.size() >= 7) {
            const uint8_t strength = block.Data[4];
            if (strength >= 1 && strength <= 3) item.AesStrength = strength;
            item.StoredMethod = ReadLE16(&block.Data[5]);
        }
    }
}

std::vector<int64_t> THvoDirManager::SignaturePositions(uint32_t signature, int64_t tail)
{
    std::vector<int64_t> out;
    const int64_t size = Stream->Size();
    uint8_t sig[4];
    WriteLE32(sig, signature);
    constexpr int64_t kChunk = 1 << 20;
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunk));
    int64_t position = 0;
    while (position <= size - 4) {
        Stream->SetPosition(position);
        const int64_t got = Stream->Read(chunk.data(), std::min(kChunk, size - position));
        if (got < 4) break;
        for (int64_t i = 0; i + 4 <= got; ++i) {
            if (chunk[static_cast<size_t>(i)] != sig[0] || std::memcmp(&chunk[static_cast<size_t>(i)], sig, 4) != 0) continue;
            if (size - (position + i) >= tail) out.push_back(position + i);
        }
        if (position + got >= size) break;
        position += got - 3; // consecutive chunks overlap so that no signature is cut
    }
    return out;
}

void THvoDirManager::Rebuild()
{
    Items.SetCount(0);
    Items.Names.Clear();
    if (Archiver.SpanningMode() != smNone) throw EHvoException(44, Archiver.Name);
    const int64_t size = Stream->Size();
    const std::vector<int64_t> headers = SignaturePositions(kLocalFileHeaderSignature, TLocalFileHeader::kSize);
    if (headers.empty()) throw EHvoException(35, Archiver.Name);
    std::vector<int64_t> descriptors;
    bool descriptorsFound = false;
    // Headers are read through a window of the stream: one read serves many small headers.
    constexpr int64_t kWindow = 1 << 20;
    std::vector<uint8_t> window;
    int64_t windowAt = 0;
    const auto readAt = [&](int64_t position, void* buffer, int64_t count) {
        if (position < windowAt || position + count > windowAt + static_cast<int64_t>(window.size())) {
            windowAt = position;
            window.resize(static_cast<size_t>(std::min(std::max(kWindow, count), size - position)));
            Stream->SetPosition(position);
            Stream->ReadBuffer(window.data(), static_cast<int64_t>(window.size()));
        }
        std::memcpy(buffer, &window[static_cast<size_t>(position - windowAt)], static_cast<size_t>(count));
    };
    for (const int64_t h : headers) {
        uint8_t raw[TLocalFileHeader::kSize];
        readAt(h, raw, sizeof raw);
        TLocalFileHeader local;
        ReadRecord(raw, local);
        if (static_cast<int64_t>(local.CompressedSize) >= size || local.FileNameLength > 260) continue;
        const int32_t index = Items.Count;
        Items.SetCount(index + 1);
        TDirItem& item = Items.ItemPtr(index);
        item.Signature = kCentralFileHeaderSignature;
        item.VersionMadeBy = local.VersionNeeded;
        item.VersionNeeded = local.VersionNeeded;
        item.Flags = local.Flags;
        item.CompressionMethod = local.CompressionMethod;
        item.StoredMethod = local.CompressionMethod;
        item.LastModTime = local.LastModTime;
        item.LastModDate = local.LastModDate;
        item.Crc32 = local.Crc32;
        item.CompressedSize = local.CompressedSize;
        item.UncompressedSize = local.UncompressedSize;
        item.FileNameLength = local.FileNameLength;
        item.ExtraFieldLength = local.ExtraFieldLength;
        item.SetEffectiveLocalHeaderOffset(static_cast<uint64_t>(h));

        int64_t at = h + static_cast<int64_t>(TLocalFileHeader::kSize);
        std::string name;
        if (size - at >= local.FileNameLength) {
            name.resize(local.FileNameLength);
            readAt(at, name.data(), local.FileNameLength);
            at += local.FileNameLength;
        }
        // Folders are known by their names: an empty file is a file.
        item.ExternalAttributes = !name.empty() && (name.back() == '/' || name.back() == '\\') ? 0x10 : 0x20;
        if (EndRecordFound && Archiver.Options().OEMFileNames && !(local.Flags & kFlagUtf8)) name = platform::OemToAnsi(name);
        Items.SetName(index, platform::AnsiToUtf8(name));
        if (local.ExtraFieldLength > 0 && size - at >= local.ExtraFieldLength) {
            std::vector<uint8_t> field(local.ExtraFieldLength);
            readAt(at, field.data(), local.ExtraFieldLength);
            ReadExtraField(index, field);
        }
        if (local.Flags & kFlagDataDescriptor) {
            if (!descriptorsFound) {
                descriptors = SignaturePositions(kDataDescriptorSignature, 16);
                descriptorsFound = true;
            }
            const auto next = std::upper_bound(descriptors.begin(), descriptors.end(), h);
            TDirItem& streamed = Items.ItemPtr(index);
            if (next == descriptors.end()) {
                // A streaming writer leaves the header's CRC and sizes at 0: decoding must not
                // take them for an empty entry.
                streamed.UnknownSizes = true;
            } else {
                uint8_t d[16];
                readAt(*next, d, sizeof d);
                streamed.Crc32 = ReadLE32(d + 4);
                streamed.CompressedSize = ReadLE32(d + 8);
                streamed.UncompressedSize = ReadLE32(d + 12);
            }
        }
    }
    CentralDirStart = size;
}

void THvoDirManager::DetermineShift(int64_t endPosition)
{
    if (EndRecord.EntriesTotal == 0) {
        Shift = endPosition;
        return;
    }
    if (Items.Count == 0) return;
    const TDirItem& first = Items.ItemPtr(0);
    const int64_t size = Stream->Size();
    const uint64_t from = first.EffectiveLocalHeaderOffset();
    if (from >= static_cast<uint64_t>(size)) return;
    uint8_t sig[4];
    WriteLE32(sig, kLocalFileHeaderSignature);
    std::vector<uint8_t> chunk(static_cast<size_t>(kProbeChunk));
    int64_t position = static_cast<int64_t>(from);
    while (position < size) {
        Stream->SetPosition(position);
        const int64_t got = Stream->Read(chunk.data(), std::min(kProbeChunk, size - position));
        if (got < 4) return;
        for (int64_t i = 0; i + 4 <= got; ++i) {
            if (std::memcmp(&chunk[static_cast<size_t>(i)], sig, 4) != 0) continue;
            const int64_t q = position + i;
            if (size - q < static_cast<int64_t>(TLocalFileHeader::kSize)) continue;
            uint8_t raw[TLocalFileHeader::kSize];
            Stream->SetPosition(q);
            if (Stream->Read(raw, sizeof raw) != static_cast<int64_t>(sizeof raw)) continue;
            TLocalFileHeader h;
            ReadRecord(raw, h);
            if (size - q - static_cast<int64_t>(TLocalFileHeader::kSize) < h.FileNameLength) continue;
            const bool same = h.VersionNeeded == first.VersionNeeded && h.CompressionMethod == first.CompressionMethod &&
                              h.LastModTime == first.LastModTime && h.LastModDate == first.LastModDate &&
                              h.Crc32 == first.Crc32 && h.CompressedSize == first.CompressedSize &&
                              h.UncompressedSize == first.UncompressedSize;
            if (q == 0 || same) {
                Shift = q;
                return;
            }
        }
        if (got < kProbeChunk) return;
        position += got - 3; // consecutive chunks overlap so that no signature is cut
    }
}

void THvoDirManager::ApplyShift()
{
    for (int32_t i = 0; i < Items.Count; ++i) {
        const TDirItem& probe = Items.ItemPtr(i);
        if (probe.EffectiveCompressedSize() == 0) continue;
        if (probe.EffectiveLocalHeaderOffset() >= static_cast<uint64_t>(Shift)) return;
        for (int32_t j = 0; j < Items.Count; ++j) {
            TDirItem& item = Items.ItemPtr(j);
            if (item.ExternalAttributes & 0x10) continue;
            item.SetEffectiveLocalHeaderOffset(item.EffectiveLocalHeaderOffset() + static_cast<uint64_t>(Shift));
        }
        return;
    }
}

namespace {

// Bytes of a record as they lie on disk.
template <class R>
std::vector<uint8_t> RecordBytes(const R& record)
{
    std::vector<uint8_t> raw(R::kSize);
    WriteRecord(raw.data(), record);
    return raw;
}

} // namespace

THvoDirManager::TEncodedHeader THvoDirManager::EncodeHeader(const TDirItem& item) const
{
    TEncodedHeader out;
    out.Header = item;
    // The name: Windows-1251 when it holds it (OEM bytes when asked for), else UTF-8 with
    // bit 11. A name already flagged as UTF-8 stays UTF-8, so the flag never lies.
    bool utf8 = false;
    out.Name = EncodeName(item.FileName, utf8);
    if (!utf8 && (item.Flags & kFlagUtf8)) out.Name = item.FileName;
    if (utf8) out.Header.Flags |= kFlagUtf8;
    if (Archiver.Options().OEMFileNames && !(out.Header.Flags & kFlagUtf8)) out.Name = platform::AnsiToOem(out.Name);

    // The extra field: a ZIP64 block made from the all-ones fields (one read from the
    // archive is never written back), then every other block in the order held.
    const TZip64Values values{item.UncompressedSize64, item.CompressedSize64, item.LocalHeaderOffset64,
                              item.DiskNumberStart64};
    const std::vector<uint8_t> zip64 = BuildZip64Block(item, values);
    std::vector<TExtraBlock> blocks;
    if (!zip64.empty()) blocks.push_back({kExtraZip64, zip64});
    for (const TExtraBlock& block : item.ExtraFields)
        if (block.HeaderId != kExtraZip64) blocks.push_back(block);
    for (const TExtraBlock& block : blocks)
        if (block.Data.size() > 0xFFFF) throw EHvoException(46, Archiver.Name);
    out.Extra = BuildExtraField(blocks);

    // Lengths that do not fit their 16-bit fields would make the directory unreadable.
    if (out.Name.size() > 0xFFFF || out.Extra.size() > 0xFFFF || item.Comment.size() > 0xFFFF)
        throw EHvoException(46, Archiver.Name);
    out.Header.FileNameLength = static_cast<uint16_t>(out.Name.size());
    out.Header.ExtraFieldLength = static_cast<uint16_t>(out.Extra.size());
    out.Header.FileCommentLength = static_cast<uint16_t>(item.Comment.size());
    return out;
}

void THvoDirManager::WriteDirectory(TStream* stream)
{
    // The archive's own stream may have moved on to another volume since.
    if (stream) {
        Stream = stream;
        ForeignStream = stream != Archiver.ArchiveStream();
    } else if (!ForeignStream) {
        Stream = Archiver.ArchiveStream();
    }
    THvoVolumeNumberInfo& volume = Archiver.VolumeNumberInfo();
    const auto currentVolume = [&] { return static_cast<uint32_t>(std::max(volume.VolumeNumber, 0)); };
    int64_t cdStart = Stream->Seek(0, TSeekOrigin::soEnd);
    Stream->SetSize(cdStart);
    uint32_t startVolume = currentVolume();
    // Collects what is written in front of the volume, so that each central header with
    // its name and extra field lands whole on one volume.
    TMemoryStream temp;
    const auto position = [&] { return Stream->Position() + temp.Size(); };
    const auto put = [&](const void* bytes, int64_t count) {
        if (count > 0) Archiver.WriteChecked(bytes, count, &temp, -1, volume, Stream);
    };
    // Makes sure that count bytes fit whole on the volume that is current afterwards.
    const auto reserve = [&](int64_t count) { Archiver.WriteChecked(nullptr, 0, &temp, count, volume, Stream); };
    uint64_t cdSize = 0;

    for (int32_t i = 0; i < Items.Count; ++i) {
        TDirItem& item = Items.ItemPtr(i);
        const TEncodedHeader encoded = EncodeHeader(item);
        const std::vector<uint8_t> fixed = RecordBytes<TCentralFileHeader>(encoded.Header);
        reserve(static_cast<int64_t>(fixed.size() + encoded.Name.size() + encoded.Extra.size()));
        if (i == 0) {
            // The directory starts where its first header lands.
            cdStart = position();
            startVolume = currentVolume();
        }
        static_cast<TCentralFileHeader&>(item) = encoded.Header;
        put(fixed.data(), static_cast<int64_t>(fixed.size()));
        put(encoded.Name.data(), static_cast<int64_t>(encoded.Name.size()));
        put(encoded.Extra.data(), static_cast<int64_t>(encoded.Extra.size()));
        put(item.Comment.data(), static_cast<int64_t>(item.Comment.size()));
        cdSize += fixed.size() + encoded.Name.size() + encoded.Extra.size() + item.Comment.size();
    }
    if (temp.Size() > 0) Archiver.WriteChecked(temp.Memory(), temp.Size(), nullptr, -1, volume, Stream);
    temp.Clear();

    // The end records (and the comment after them) stay together on the last volume.
    const uint64_t count = static_cast<uint64_t>(Items.Count);
    const uint16_t commentLength = static_cast<uint16_t>(std::min<size_t>(Comment.size(), 0xFFFF));
    bool zip64 = static_cast<uint64_t>(Stream->Position()) >= 0xFFFFFFFF || count >= 0xFFFF;
    const auto saturated = [&] {
        return cdSize >= 0xFFFFFFFF || static_cast<uint64_t>(cdStart) >= 0xFFFFFFFF || startVolume >= 0xFFFF ||
               currentVolume() >= 0xFFFF;
    };
    reserve((zip64 || saturated() ? TZip64EndOfCentralDir::kSize + TZip64EndLocator::kSize : 0) +
            TEndOfCentralDir::kSize + commentLength);
    if (Items.Count == 0) {
        cdStart = Stream->Position();
        startVolume = currentVolume();
    }
    CentralDirStart = cdStart;
    // An empty directory after a stub is placed relative to the archive data: readers
    // (7-Zip, Info-ZIP) take an absolute offset there for a missing central directory.
    const int64_t recordedStart = Items.Count == 0 && startVolume == 0 && cdStart >= Shift ? cdStart - Shift : cdStart;
    // A field that overflows holds its all-ones marker, and the ZIP64 records then carry
    // the value.
    zip64 = zip64 || saturated();

    const uint32_t lastVolume = currentVolume();
    EndRecord.Signature = kEndOfCentralDirSignature;
    EndRecord.StartDiskNumber = static_cast<uint16_t>(std::min<uint32_t>(startVolume, 0xFFFF));
    EndRecord.DiskNumber = static_cast<uint16_t>(std::min<uint32_t>(lastVolume, 0xFFFF));
    EndRecord.EntriesOnDisk = EndRecord.EntriesTotal = static_cast<uint16_t>(std::min<uint64_t>(count, 0xFFFF));
    EndRecord.CentralDirSize = static_cast<uint32_t>(std::min<uint64_t>(cdSize, 0xFFFFFFFF));
    EndRecord.CentralDirOffset =
        static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(recordedStart), 0xFFFFFFFF));
    EndRecord.CommentLength = commentLength;
    if (zip64) {
        Zip64EndRecord = TZip64EndOfCentralDir{};
        Zip64EndRecord.DiskNumber = lastVolume;
        Zip64EndRecord.StartDiskNumber = startVolume;
        Zip64EndRecord.EntriesOnDisk = Zip64EndRecord.EntriesTotal = count;
        Zip64EndRecord.CentralDirSize = cdSize;
        Zip64EndRecord.CentralDirOffset = static_cast<uint64_t>(recordedStart);
        Zip64Locator = TZip64EndLocator{};
        Zip64Locator.Zip64EndDisk = lastVolume;
        Zip64Locator.Zip64EndOffset = static_cast<uint64_t>(Stream->Position());
        Zip64Locator.TotalDisks = lastVolume + 1;
        HasZip64 = true;
    }
    std::vector<uint8_t> tail;
    const auto append = [&](const std::vector<uint8_t>& bytes) { tail.insert(tail.end(), bytes.begin(), bytes.end()); };
    if (zip64) {
        append(RecordBytes(Zip64EndRecord));
        append(RecordBytes(Zip64Locator));
    }
    append(RecordBytes(EndRecord));
    tail.insert(tail.end(), Comment.begin(), Comment.begin() + commentLength);
    Archiver.WriteChecked(tail.data(), static_cast<int64_t>(tail.size()), nullptr, -1, volume, Stream);
    // The last volume carries the archive's own name.
    if (!ForeignStream) {
        Archiver.RenameLastVolume();
        Stream = Archiver.ArchiveStream();
    }
}
