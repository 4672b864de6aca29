#pragma once

#include "archive/HvoChecksum.h"
#include "archive/HvoHashedStringList.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStreams.h"

#include <cstdint>
#include <string>
#include <vector>

class THvoBaseArchiver;

// The directory record of one entry of an open archive. The 46 fixed bytes of its
// central header are the inherited TCentralFileHeader fields, held as on disk;
// 0xFFFFFFFF in a size or offset (0xFFFF in DiskNumberStart) means the value is in the
// matching ...64 field.
struct TDirRecord : TCentralFileHeader {
    std::string FileName;               // the entry's name as stored, "/" separators (UTF-8)
    std::string Comment;                // the entry's comment, bytes as stored
    std::vector<TExtraBlock> ExtraFields; // every extra block in the order read (data owned)
    uint8_t AesStrength = 0;            // 0 not AES; 1/2/3 AES-128/192/256
    bool HasZip64Extra = false;         // a ZIP64 block was read for the entry
    uint64_t UncompressedSize64 = 0;
    uint64_t CompressedSize64 = 0;
    uint64_t LocalHeaderOffset64 = 0;
    uint32_t DiskNumberStart64 = 0;
    uint16_t StoredMethod = 0;          // the method applied to the data (AES: from its record)
    bool UnknownSizes = false;          // rebuilt streamed entry without its data descriptor: not decodable

    // Each value resolved by its own all-ones test.
    uint64_t EffectiveCompressedSize() const;
    uint64_t EffectiveUncompressedSize() const;
    uint64_t EffectiveLocalHeaderOffset() const;
    uint32_t EffectiveDiskNumberStart() const;
    // Sets the local header offset: in the 32-bit field when it fits and the item holds no
    // ZIP64 marker there, otherwise in LocalHeaderOffset64 behind the 0xFFFFFFFF marker.
    void SetEffectiveLocalHeaderOffset(uint64_t offset);
};

// The work fields an operation keeps on an entry: whether it is selected and under
// which operation it is processed, and for an entry that is added or changed where its
// data comes from and how it is written.
struct TDirItemWork {
    uint8_t NewEntry = 0;               // work flag of adding; 0 for entries read
    std::string SourceText;             // work field of adding: the entry's password
    TStream* SourceObject = nullptr;    // work object of adding; freed by Delete when owned
    bool OwnsSourceObject = false;
    int64_t SourcePosition = 0;         // work field of adding: where the data starts in SourceObject
    bool Marked = false;                // selected for the operation in progress
    std::string SourcePath;             // work field of adding
    std::string OldFileName;            // work field of renaming: the name the entry had
    uint8_t DeflateLevel = 0;           // work field of adding: compression mode 0..9
    uint8_t Operation = 0;              // THvoProcessOperation under which it is processed
};

// One entry of an open archive: its directory record and the work fields of the
// operation in progress.
struct TDirItem : TDirRecord, TDirItemWork {};

// The directory: the items in directory order and an index of their name keys.
// Entry i of Names is always the key of item i (the name in lower case); lookups by
// name go through the list's hash.
class THvoDirArray {
public:
    THvoDirArray();
    ~THvoDirArray();
    THvoDirArray(const THvoDirArray&) = delete;
    THvoDirArray& operator=(const THvoDirArray&) = delete;

    // Empties the items and the name index.
    void Clear();
    // Grows (new slots empty) or shrinks the item count; 0 releases the storage.
    // Capacity grows by Delta, which doubles up to MaxDelta at each growth.
    void SetCount(int32_t n);
    int32_t GetCount() const { return Count; }
    // A copy of item i; native error 2 outside 0..Count-1.
    TDirItem GetItem(int32_t i) const;
    // Item i in place; native error 3 outside 0..Count-1.
    TDirItem& ItemPtr(int32_t i);
    const TDirItem& ItemPtr(int32_t i) const;
    // Copies the item into slot i (native error 1 outside the items) and puts its key at
    // entry i of Names: replaced when there, appended when Names holds exactly i
    // entries, native error 58 when it holds fewer.
    void SetItem(int32_t i, const TDirItem& item);
    // Clear, then a copy of every item of other.
    void Assign(const THvoDirArray& other);
    // Removes item i and its key (native error 4 outside the items); frees its source
    // object when it owns it.
    void Delete(int32_t i);
    void ClearMarks();
    // Position of the name's key (the last among equal keys); false and -1 when absent.
    bool FindName(const std::string& name, int32_t& index);
    // Sets item i's name and replaces entry i of Names by the new key (appended when
    // Names holds exactly i entries; native error 59 when it holds fewer). Items are
    // keyed by position, so an empty or repeated name never disturbs another item.
    void SetName(int32_t i, const std::string& name);

    std::vector<TDirItem> Items;  // the first Count are the entries
    THvoHashedStringList Names;
    int32_t Delta = 500;
    int32_t MaxDelta = 10000;
    int32_t Capacity = 0;
    int32_t Count = 0;

private:
    void PutKey(int32_t i, const std::string& name, int nativeError);
};

// The directory of one archive stream: finds the end records, reads the central
// directory, works out the bytes before the archive data (Shift) and writes the
// directory of a new archive. It owns the item arrays, not the stream.
class THvoDirManager {
public:
    // Over stream for the archiver; foreign when stream is not the archiver's own archive
    // stream. A new archive resets the archiver's volume bookkeeping to volume 0.
    THvoDirManager(TStream* stream, THvoBaseArchiver& archiver, bool newArchive);
    ~THvoDirManager();
    THvoDirManager(const THvoDirManager&) = delete;
    THvoDirManager& operator=(const THvoDirManager&) = delete;

    // No items; EndRecord zeroed with its signature set.
    void Reset();
    // Searches the last 65600 bytes of the stream backwards for a valid end of central
    // directory record (the candidate nearest the end); fills record, its stream
    // position and Comment. False (position -1) when none validates.
    bool FindEndRecord(uint32_t signature, TEndOfCentralDir& record, int64_t& position);
    // FindEndRecord for the end record; true whatever it finds while the archiver's
    // RepairOnOpen is set.
    bool HasEndRecord();
    // Makes the volume current (unless the stream is foreign) and reads from the
    // archiver's archive stream from then on.
    void NextVolume(const THvoVolumeNumberInfo& volume);
    // The last disk of the directory read: the end record's number of this disk, or
    // with 0xFFFF there the ZIP64 locator's total disks - 1 (0 without ZIP64 records).
    int32_t LastDisk() const;
    // The volume of a disk of this archive, its last volume known.
    THvoVolumeNumberInfo VolumeOf(uint32_t disk) const
    {
        return THvoVolumeNumberInfo::Of(static_cast<int32_t>(disk), LastDisk());
    }
    // The last disk that an end record found at position names: its number of this disk,
    // or with 0xFFFF there that of a ZIP64 locator just before it (0 without one).
    int32_t EndRecordLastDisk(const TEndOfCentralDir& end, int64_t position);
    // Fills Items and corrects the local header offsets for Shift. A multi-volume
    // archive (SpanningMode not smNone) is read from the directory's stored offset on its
    // first disk, moving on to the next volume where fewer than 46 bytes are left; a
    // single file from what precedes its end records. Without an end record, with an
    // untrusted count (0xFFFF without ZIP64 records), or (RepairOnOpen set) when the
    // central headers cannot be read, the directory is rebuilt from the local headers
    // instead (Rebuild), which a multi-volume archive refuses. Errors (all
    // EHvoException with the archiver's name, or the stream's):
    //   35 a rebuild that finds no local header;
    //   40 a ZIP64 locator whose end record is not inside the stream before it;
    //   44 a multi-volume archive whose directory cannot be read (it is never rebuilt);
    //   45 a volume request cancelled;
    //   57 (RepairOnOpen clear) a directory larger than what precedes the end records,
    //      an entry count that cannot fit in it, a header running past it (or past its
    //      volume), or (single files) sizes adding up beyond the stream.
    void ReadDirectory();
    // Rebuilds Items from the local headers found anywhere in the stream (every
    // signature with 30 bytes after it, in file order): fields from the header, the
    // name decoded from the ANSI code page (converted from OEM first when an end record
    // had been found, OEMFileNames is on and bit 11 is clear), the extra field read as in
    // the directory; a folder when the name ends with "/" or "\\", else a file (0x20). A
    // streamed entry (bit 3) takes CRC and sizes from the next signed data descriptor
    // with 16 bytes; without one it is marked UnknownSizes. Headers whose compressed
    // size is not below the stream size or whose name is longer than 260 are skipped.
    // CentralDirStart becomes the stream size. Native 44 for a multi-volume archive,
    // 35 when no local header is found. Each signature costs one pass over the stream.
    void Rebuild();
    // Writes the central directory of Items and the end records at the end of Stream (of
    // stream when given, which then becomes Stream); the stream's size is cut to its end
    // first. Each item's header is written with its name encoded (Windows-1251, as OEM
    // bytes under OEMFileNames; UTF-8 with flag bit 11 when the code page cannot hold it
    // or the item is flagged UTF-8 already), a ZIP64 block rebuilt from its all-ones
    // fields followed by its other extra blocks in order, and its comment; the item's
    // flags and lengths are updated. On a multi-volume archive a header, its name and
    // extra field never straddle two volumes, and the end records with the comment stay
    // together. The ZIP64 end record and locator come first when the position reaches
    // 0xFFFFFFFF, the count 0xFFFF or any end record field overflows. An empty directory
    // records its offset relative to the archive data (after Shift). Native error 46
    // when a write falls short, and before anything of an item is written when its name,
    // extra field or comment would not fit its 16-bit length. Leaves Stream after the
    // end record (and the comment).
    void WriteDirectory(TStream* stream = nullptr);

    TStream* Stream = nullptr;
    bool NewArchive = false;
    bool ForeignStream = false;
    THvoBaseArchiver& Archiver;
    THvoDirArray SavedItems;
    THvoDirArray Items;
    std::string Comment;               // archive comment, bytes as stored
    TZip64EndLocator Zip64Locator;
    TZip64EndOfCentralDir Zip64EndRecord;
    TEndOfCentralDir EndRecord;
    bool EndRecordFound = false;       // ReadDirectory found an end record
    int64_t Shift = 0;                 // bytes before the archive data
    bool HasZip64 = false;
    int64_t CentralDirStart = 0;       // stream position of the first central header

private:
    // An item's central header as it is written.
    struct TEncodedHeader {
        TCentralFileHeader Header;
        std::string Name;
        std::vector<uint8_t> Extra;
    };
    TEncodedHeader EncodeHeader(const TDirItem& item) const;
    // Copies the SFXStub file into the new archive's empty stream; Shift := its size.
    // Native error 47 when the first volume's size limit is below it.
    void WriteStub();
    void ReadItem(int32_t index, int64_t directoryEnd);
    // Multi-volume reading: where the current volume's directory part ends.
    int64_t VolumeEnd(int64_t endPosition);
    // Reads the extra blocks of item index (ZIP64 values, Unicode name, AES record).
    void ReadExtraField(int32_t index, const std::vector<uint8_t>& field);
    // Stream positions of the signature's bytes that have at least tail bytes from them
    // to the end of the stream, in one pass.
    std::vector<int64_t> SignaturePositions(uint32_t signature, int64_t tail);
    // Reads the central directory of ReadDirectory; raises what reading raises.
    void ReadCentralHeaders(int64_t endPosition);
    void DetermineShift(int64_t endPosition);
    void ApplyShift();
    // Reads exactly count bytes at position; native error 57 when they are not there.
    void ReadAt(int64_t position, void* buffer, int64_t count);
};
