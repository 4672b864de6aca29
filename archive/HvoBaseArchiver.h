#pragma once

#include "archive/HvoChecksum.h"
#include "archive/HvoDirManager.h"
#include "archive/HvoOptions.h"
#include "archive/HvoStreams.h"
#include "archive/HvoVolumes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TAESCryptoTransform;
class THvoUpdateCommit;

enum THvoSpanningMode { smNone, smSpanning, smSplitting };
enum THvoCryptoAlgorithm { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum THvoProcessOperation { poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr,
                            poChangeComment, poMakeSFX, poMerge };
enum THvoProgressPhase { ppStart, ppProcess, ppEnd };
enum THvoAction { fxaRetry, fxaIgnore, fxaAbort };

class THvoBaseArchiver;

// The search state of FindFirst / FindNext.
struct TInternalSearchRec {
    int32_t Index = 0;           // position in the directory of the current hit
    std::string FileMask;        // "/" separators; compared whole, whatever its length
    bool UseWildcards = false;   // the mask holds "*" or "?"
    int32_t SearchAttr = 0;
    std::string ExclusionMask;
    bool UseMaskLists = false;   // masks come from FileMasks / ExclusionMasks instead
};

// The public search record that FindFirst / FindNext fill for the entry they found.
struct THvoArchiveItem {
    std::string FileName;        // after the last "\" ("/" read as "\", a final separator dropped)
    std::string StoredPath;      // the same name up to and including its last "\"
    int64_t CompressedSize = 0;  // the 64-bit values where the 32-bit fields hold 0xFFFFFFFF
    int64_t UncompressedSize = 0;
    double CompressionRate = 0;  // (1 - compressed / uncompressed) x 100; 100 for 0 bytes; never below 0
    bool Encrypted = false;      // flag bit 0
    uint16_t LastModFileDate = 0;
    uint16_t LastModFileTime = 0;
    uint32_t CRC = 0;
    uint32_t ExternalFileAttr = 0;
    std::string Comment;         // bytes as stored
    TInternalSearchRec Internal;
};

// Event types; Sender is the archiver, reference parameters are the handler's answers.
using THvoFileProgressEvent = std::function<void(THvoBaseArchiver& Sender, const std::string& FileName, double Progress,
                                                 THvoProcessOperation Operation, THvoProgressPhase ProgressPhase, bool& Cancel)>;
using THvoProgressEvent = std::function<void(THvoBaseArchiver& Sender, double Progress, THvoProcessOperation Operation,
                                             THvoProgressPhase ProgressPhase, bool& Cancel)>;
using THvoCopyTempFileProgressEvent =
    std::function<void(THvoBaseArchiver& Sender, double Progress, THvoProgressPhase ProgressPhase, bool& Cancel)>;
using THvoConfirmOverwriteEvent = std::function<void(THvoBaseArchiver& Sender, const std::string& SourceFileName,
                                                     std::string& DestFileName, bool& Confirm)>;
using THvoConfirmProcessFileEvent = std::function<void(THvoBaseArchiver& Sender, const std::string& FileName,
                                                       THvoProcessOperation Operation, bool& Confirm)>;
using TNotifyEvent = std::function<void(THvoBaseArchiver& Sender)>;
using THvoOnPasswordEvent = std::function<void(THvoBaseArchiver& Sender, const std::string& FileName,
                                               std::string& NewPassword, bool& SkipFile)>;
using THvoProcessFileFailureEvent =
    std::function<void(THvoBaseArchiver& Sender, const std::string& FileName, THvoProcessOperation Operation,
                       int NativeError, int ErrorCode, const std::string& ErrorMessage, THvoAction& Action)>;
using THvoOnRequestBlankVolumeEvent =
    std::function<void(THvoBaseArchiver& Sender, int VolumeNumber, std::string& VolumeFileName, bool& Cancel)>;
using THvoOnRequestFirstVolumeEvent =
    std::function<void(THvoBaseArchiver& Sender, std::string& VolumeFileName, bool& Cancel)>;
using THvoOnRequestLastVolumeEvent = THvoOnRequestFirstVolumeEvent;
using THvoOnRequestMiddleVolumeEvent = THvoOnRequestBlankVolumeEvent;
using THvoOnDiskFullEvent =
    std::function<void(THvoBaseArchiver& Sender, int VolumeNumber, const std::string& VolumeFileName, bool& Cancel)>;
using THvoOnStoreFileEvent = std::function<void(THvoBaseArchiver& Sender, std::string& FileName, int32_t& FileAttr,
                                                std::string& Comment, const std::string& OriginalFileName)>;
using THvoOnExtractFileEvent = std::function<void(THvoBaseArchiver& Sender, std::string& FileName, uint32_t& FileAttr,
                                                  const std::string& Comment)>;

// Open modes of the archive (OpenMode).
inline constexpr uint16_t kHvoOpenCreate = 0xFFFF;
inline constexpr uint16_t kHvoOpenReadWrite = 0x0022; // read-write, deny-write sharing
inline constexpr uint16_t kHvoOpenReadOnly = 0x0040;  // read-only, deny-none sharing

// The process-wide lock of the archivers: the processing of marked entries holds it for
// a whole operation, so two archivers never transfer entries at once. It lives from the
// library's load to its unload and is re-entrant.
void EnterArchiverLock();
void LeaveArchiverLock();

// The archiver: one archive (a file or a stream), its options and events, the directory
// of the open archive and the counters of the running operation. Objects are made by
// Create (construct, then the writer steps, so that overrides take part); the class of
// a new object decides its compression method. Errors are EHvoException with the
// component's Name as the prefix unless said otherwise.
class THvoBaseArchiver {
public:
    // A base archiver: mode 1, clFastest, method 0xFFFF, zmAuto.
    static std::unique_ptr<THvoBaseArchiver> Create();
    // Closes the archive as CloseArchive does; errors of the close are dropped.
    virtual ~THvoBaseArchiver();
    THvoBaseArchiver(const THvoBaseArchiver&) = delete;
    THvoBaseArchiver& operator=(const THvoBaseArchiver&) = delete;

    std::string Name; // prefixes the messages of the component's errors
    int64_t Tag = 0;

    // ---- Published properties -------------------------------------------------------
    bool ExtractCorruptedFiles() const { return extractCorruptedFiles_; }
    void SetExtractCorruptedFiles(bool value) { extractCorruptedFiles_ = value; }
    THvoCompressionLevel CompressionLevel() const { return compressionLevel_; }
    // Sets the level and its mode (clNone 0, clFastest 1, clNormal 6, clMax 9), then the method.
    void SetCompressionLevel(THvoCompressionLevel value);
    uint8_t CompressionMode() const { return compressionMode_; }
    // Native error 5 above 9 (mode and level unchanged); otherwise sets the mode, its level
    // (0 clNone, 1..3 clFastest, 4..6 clNormal, 7..9 clMax) and the method.
    void SetCompressionMode(int value);
    // " 6.10"; writing is accepted and changes nothing.
    std::string CurrentVersion() const;
    void SetCurrentVersion(const std::string&) {}
    const std::string& Password() const { return password_; }
    virtual void SetPassword(const std::string& value);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    const std::string& BaseDir() const { return baseDir_; }
    void SetBaseDir(const std::string& value) { baseDir_ = value; }
    const std::string& TempDir() const { return tempDir_; }
    void SetTempDir(const std::string& value) { tempDir_ = value; }
    THvoSpanningMode SpanningMode() const { return spanningMode_; }
    // Refused while an archive is open: platform::Exception "Cannot set spanning mode on
    // open archive" (not the component's error class); the mode stays.
    void SetSpanningMode(THvoSpanningMode value);
    THvoSpanningOptions& SpanningOptions() { return spanningOptions_; }
    const std::string& SFXStub() const { return sfxStub_; }
    void SetSFXStub(const std::string& value) { sfxStub_ = value; }
    THvoOptions& Options() { return options_; }
    const std::vector<std::string>& FileMasks() const { return fileMasks_; }
    void SetFileMasks(const std::vector<std::string>& value) { fileMasks_ = value; }
    const std::vector<std::string>& ExclusionMasks() const { return exclusionMasks_; }
    void SetExclusionMasks(const std::vector<std::string>& value) { exclusionMasks_ = value; }
    const std::vector<std::string>& NoCompressionMasks() const { return noCompressionMasks_; }
    void SetNoCompressionMasks(const std::vector<std::string>& value) { noCompressionMasks_ = value; }
    bool InMemory() const { return inMemory_; }
    // Closed: only the switch changes. Open, switched off: native error 29 when the
    // file-name part of FileName is blank; otherwise the memory image (an archive that
    // received nothing gets its end record first) replaces FileName atomically (a failed
    // write leaves the old file and the open in-memory archive as they were and raises
    // platform::EFCreateError), the archive is closed and OpenArchive opens the file.
    // Open, switched on: the archive is closed and a new, empty archive is opened in
    // memory; the file is not read.
    void SetInMemory(bool value);

    // ---- State ----------------------------------------------------------------------
    bool Active() const { return active_; }
    uint16_t OpenMode() const { return openMode_; }
    uint16_t CompressionMethod() const { return compressionMethod_; }
    TZip64Mode Zip64Mode() const { return zip64Mode_; }
    THvoCryptoAlgorithm EncryptionMethod() const { return encryptionMethod_; }
    bool UnicodeFilenames() const { return unicodeFilenames_; }
    bool RepairOnOpen() const { return repairOnOpen_; }
    THvoVolumeNumberInfo& VolumeNumberInfo() { return volumes_.Current(); }
    // The directory of the open archive; null while closed.
    THvoDirManager* DirManager() { return dirManager_.get(); }
    // The open archive's stream; null while closed.
    TStream* ArchiveStream() { return volumes_.Stream(); }
    const std::string& VolumeFileName() const { return volumes_.FileName(); }
    const std::string& WorkingDir() const { return workingDir_; }
    int32_t UpdateCount() const { return updateCount_; }

    // Counters of the running operation.
    int32_t FilesDone = 0;
    int32_t FilesTotal = 0;
    int64_t BytesTotal = 0;
    int64_t BytesDone = 0;
    int64_t FileBytesDone = 0;
    int64_t FileBytesTotal = 0;
    bool Cancelled = false;
    // Per-entry progress events are raised. On from the start, so that a direct decode
    // reports progress too; operations set it when they start.
    bool ProgressOn = true;
    bool FileSkipped = false;

    // ---- Events (handlers run on the calling thread; their exceptions pass on) -------
    THvoFileProgressEvent OnFileProgress;
    THvoProgressEvent OnOverallProgress;
    THvoCopyTempFileProgressEvent OnCopyTempFileProgress;
    THvoConfirmOverwriteEvent OnConfirmOverwrite;
    THvoConfirmProcessFileEvent OnConfirmProcessFile;
    TNotifyEvent AfterOpen;
    THvoOnPasswordEvent OnPassword;
    THvoProcessFileFailureEvent OnProcessFileFailure;
    THvoOnRequestBlankVolumeEvent OnRequestBlankVolume;
    THvoOnRequestFirstVolumeEvent OnRequestFirstVolume;
    THvoOnRequestLastVolumeEvent OnRequestLastVolume;
    THvoOnRequestMiddleVolumeEvent OnRequestMiddleVolume;
    THvoOnDiskFullEvent OnDiskFull;
    THvoOnStoreFileEvent OnStoreFile;
    THvoOnExtractFileEvent OnExtractFile;

    // ---- Open and close -------------------------------------------------------------
    // Opens FileName: 9 when its file-name part (after the last "/", "\" or ":") is
    // blank; a missing file (or a folder of that name) is created as a new archive;
    // an existing one opens read-write when the probe can open it so, else read-only.
    void OpenArchive();
    // Opens with an explicit mode: kHvoOpenCreate makes a new archive (the file is
    // created or emptied), any other mode reads an existing one. Errors: 10 blank name;
    // 12 "File "…" not found" for a missing file (nothing is created); 28 a mode other
    // than create while InMemory; those of reading the directory (see THvoDirManager).
    // An open archive is closed first. AfterOpen is called once the archive is open.
    void OpenArchiveMode(uint16_t mode);
    // Commits an open update (Commit), finishes a new archive without entries (its end
    // record), then releases the stream and the directory whatever happened, and raises
    // what the commit or the finishing raised (native error 46 for a short write; the
    // archive is restored first when the commit failed). Harmless when closed.
    void CloseArchive();

    // ---- Volumes --------------------------------------------------------------------
    // The archive's volumes (THvoVolumes has the details): the name of a volume, making
    // a volume the archive stream, opening one volume file, and moving the open volume
    // of a new multi-volume archive to the last volume's name.
    void GetVolumeName(std::string& name, int32_t volumeNumber, bool testExistence)
    {
        volumes_.GetVolumeName(name, volumeNumber, testExistence);
    }
    void OpenVolume(const THvoVolumeNumberInfo& volume) { volumes_.OpenVolume(volume); }
    void OpenVolumeFile(const std::string& name) { volumes_.OpenVolumeFile(name); }
    void RenameLastVolume() { volumes_.RenameLastVolume(); }

    // ---- Guards ---------------------------------------------------------------------
    // Native error 13 when no archive is open.
    void CheckActive();
    // Native error 26 while an update is open.
    void CheckNoUpdate();
    // Creates a new, empty temporary file named "hv" and six unique characters in TempDir
    // when set, else in the system's temporary folder ($TMPDIR, else /tmp); its full
    // name. platform::EFCreateError "Cannot create file ..." when it cannot be created.
    std::string MakeTempFileName();
    bool InUpdate() const { return updateCount_ > 0; }
    void ResetUpdateCount();

    // ---- Entries --------------------------------------------------------------------
    // Decodes entry index into stream: makes the entry's first volume current (45 when
    // its request is cancelled), positions the archive stream at its local header and
    // runs DecompressEntry; offset, offsetHigh and count pass through (0: the whole
    // entry). Errors: 13 closed; 16 index outside the entries; 55 Deflate64; 8 the entry
    // failed (unknown method, damaged header or data, size, CRC-32 or authentication
    // mismatch) unless cancelled, skipped or ExtractCorruptedFiles is set.
    void ExtractItemToStream(int32_t index, TStream& stream, int32_t offset = 0, int32_t offsetHigh = 0,
                             int32_t count = 0);
    // The two directions of the entry codec compose its stages (HvoTransfer.h).
    // Decodes the entry whose local header is at the stream's position into dest (stored
    // or deflated), verifying its size and CRC-32. An encrypted entry (traditional, or AES
    // when its AES record was read) is decrypted after CheckEntryPassword, and an AES
    // entry is verified by its authentication code instead (AE-1: and its CRC-32). False
    // when the entry fails (no local header signature, data starting beyond the
    // directory, unknown method, a compressed size below the encryption overhead,
    // damaged data, more output than declared, size, CRC or code mismatch), was skipped
    // at the password prompt (FileSkipped) or cancelled; native error 55 for Deflate64.
    // In a multi-volume archive read through the archive stream, data that runs past the
    // end of a volume is read on from the start of the next ones (OpenVolume; native error
    // 45 when such a request is cancelled); archive is not used after such a change.
    bool DecompressEntry(TStream& archive, TStream& dest, TDirItem& item);
    // Encodes source (from its start) into archive at the archive's position, after the
    // entry's local header: CRC-32, raw deflate by the item's DeflateLevel (StoredMethod 0:
    // copied), encryption when the item's SourceText (its password) is set - traditional
    // (12-byte header, ten random bytes and the two high bytes of the CRC) or, with an AES
    // EncryptionMethod, AES (AE-2; CompressionMethod 99, AesStrength set, salt and verifier
    // before the data, the code after it). The item's sizes and CRC follow; sizes reaching
    // 0xFFFFFFFF, or all sizes under zmAlways, go to CompressedSize64 / UncompressedSize64
    // behind 0xFFFFFFFF markers with HasZip64Extra set. An empty source is stored (method
    // 0). False only when cancelled (a progress event or a refused write). Errors: native
    // 41 (SourcePath) when ZIP64 fields are needed under zmDisabled; native 34 (source size,
    // bytes read) when the source could not be read completely; EHvoZlibError "error N"
    // when zlib cannot end the stream.
    bool CompressEntry(TStream& source, TStream& archive, TDirItem& item);
    // The password loop of an encrypted entry whose data starts at dataStart: tries
    // Password (traditional: an empty one fails; the decrypted header's last byte must
    // equal the check byte of the local header; AES: the stored verifier), and after a
    // failed try asks DoPassword with the entry's name. A changed password is kept in
    // Password (and given to the AES transform) and tried; SkipFile ends with False and
    // FileSkipped set. True leaves the stream at the encrypted data and the traditional
    // keys (or the transform) ready for it. False also when the header cannot be read.
    bool CheckEntryPassword(TStream& archive, int64_t dataStart, const TDirItem& item, const TLocalFileHeader& local,
                            TAESCryptoTransform* aes, THvoZipKeys& keys);
    // The password dialog, for DoPassword without a handler: caption "Password for "<name>""
    // (the name after its round trip through Windows-1251), prompt "Enter password: ",
    // empty field (PasswordQuery). Cancel sets SkipFile; OK sets NewPassword to the
    // entered text, an empty one too (it fails and asks again).
    static void PasswordDialog(const std::string& FileName, std::string& NewPassword, bool& SkipFile);
    // Writes count bytes at the stream's position; on a short write asks DoDiskFull
    // (volume -1, Cancel preset True) and rewrites the same bytes at the same position
    // while the answer clears Cancel; False (Cancelled set) when Cancel stays set.
    bool WriteWithRetry(TStream& stream, const void* buffer, int64_t count);

    // ---- Writing across volumes --------------------------------------------------------
    // Writing and copying across the volumes of a multi-volume archive (THvoVolumes has
    // the details).
    int64_t WriteSpanned(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                         THvoVolumeNumberInfo& volume, TStream*& stream)
    {
        return volumes_.WriteSpanned(buffer, count, temp, keepTogether, volume, stream);
    }
    void WriteChecked(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                      THvoVolumeNumberInfo& volume, TStream*& stream)
    {
        volumes_.WriteChecked(buffer, count, temp, keepTogether, volume, stream);
    }
    int64_t CopySpanned(TStream& source, int64_t count, bool progress, TMemoryStream* temp, int64_t keepTogether,
                        THvoVolumeNumberInfo& volume, TStream*& stream)
    {
        return volumes_.CopySpanned(source, count, progress, temp, keepTogether, volume, stream);
    }

    // ---- Selection ------------------------------------------------------------------
    // Wildcard match of a name against a mask, ignoring case: an empty mask matches
    // nothing; the first "*.*" of the mask reads as "*"; a final "." of the name and of
    // the mask is ignored, and a mask ending in "." only takes names without an
    // extension ("*." selects "README" and "a.", not "a.txt").
    static bool MaskMatch(const std::string& name, const std::string& mask);
    // The entry's attributes pass when each hidden, system, volume and directory bit
    // they hold is in searchAttr; read-only and archive bits never exclude.
    static bool AttributesMatch(uint32_t itemAttributes, int32_t searchAttr);
    // The name part of the selection for entry index. List mode: the name with "\"
    // separators must match one of FileMasks and none of ExclusionMasks. Otherwise the
    // name without a final separator, or else its file-name part, must match FileMask,
    // and the full name must not match ExclusionMask.
    bool ItemMatches(int32_t index, const TInternalSearchRec& search);
    // Finds the first entry at or after item.Internal.Index that passes the selection
    // (without wildcards and Recurse: the exact name by its key; with Recurse off only
    // entries of the mask's folder); then stores its position and fills item. False
    // when none is left (Index unchanged).
    bool FindItem(THvoArchiveItem& item);
    // Clears every mark, then marks the entries FindFirst / FindNext return.
    void MarkItems(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask);

    // ---- Public operations ----------------------------------------------------------
    // Starts a search: a leading drive ("X:") or network share ("\\server\share") is
    // dropped from the mask unless StorePath is spFullPathWithDrive, "\" becomes "/".
    // True when an entry matches; item then describes it. Native error 13 when closed.
    bool FindFirst(const std::string& fileMask, THvoArchiveItem& item, int32_t searchAttr = 10431,
                   const std::string& exclusionMask = {});
    // Continues after the last hit; False after the last one (Index one past it).
    bool FindNext(THvoArchiveItem& item);
    // Extracts every matching entry below BaseDir (or the working folder). Native errors
    // 13 (closed) and 26 (update open) leave it; each entry's failure goes to
    // OnProcessFileFailure and the call returns normally whatever the answer.
    void ExtractFiles(const std::string& fileMask, int32_t searchAttr = 10431, const std::string& exclusionMask = {});

    // ---- Processing of marked entries -------------------------------------------------
    // Runs operation over the marked entries (index -1) or over entry index alone, under
    // the process-wide lock: counters, overall and per-file progress, OnConfirmProcessFile,
    // the operation's step, and OnProcessFileFailure for the component's own errors
    // (retry, ignore, abort). Other exceptions leave after the lock is released. Cancel
    // or abort drop an open update. Steps exist for poDelete (DeleteItem; the next item
    // takes the index), poUpdate (UpdateItem), poExtract and poTest.
    void ProcessMarkedItems(THvoProcessOperation operation, int32_t index);
    // Extracts entry index as name ("\" separators) below baseDir. The name (possibly
    // changed by OnExtractFile) is refused with native error 68 "Unsafe entry name "%s"
    // refused" (the name with visible control characters: "\x00", "\n", "\x1b") when it starts with a separator, holds ":" or a character below 0x20, has
    // a ".." part or no part at all; "." and empty parts are dropped. Folders below
    // baseDir are made one at a time and never through a symbolic link or a file (native
    // 20 "Cannot create directory "%s""); the target is made anew (native 19 "Cannot
    // create file "%s"") after an existing file or link of its name is removed, subject
    // to ReplaceReadOnly and OverwriteMode. The file's time is set from the entry even
    // when decoding fails; a failed, cancelled or skipped entry leaves no file. With
    // SetAttributes only the read-only bit is applied (the write bits are cleared).
    void ExtractItem(int32_t index, const std::string& name, const std::string& baseDir);
    // Decodes entry index into a stream that keeps nothing; directory entries are passed
    // over. A damaged entry raises native error 8.
    void TestItem(int32_t index, const std::string& name);

    // ---- Updates ----------------------------------------------------------------------
    // The changes of an open update (UpdateCount above 0) are items of the directory that
    // carry work fields: NewEntry with Operation poAdd, poMove or poUpdate for entries
    // written from their source (SourcePath or SourceObject from SourcePosition), poRename
    // (OldFileName the previous name), poChangeAttr or poChangeComment for entries
    // rewritten with a change; entries removed from the directory disappear. SavedItems
    // holds the directory as it was when the update began. CloseArchive commits them.

    // Describes a new entry in the existing item slot index. fromFile: the stored name is
    // formed from sourceName, WorkingDir and Options().StorePath (StoredName), the entry is
    // a folder when a folder of that name exists, its time is the file's age (now when
    // that cannot be read) and its attributes the file's own (0x20 when it does not
    // exist); a folder's name gets a final "/". Otherwise the stored name is sourceName
    // without a final "\" and with "/" separators, a folder when attributes hold 0x10,
    // with fileTime (MS-DOS date high, time low). An empty stored name changes nothing.
    // The item: NewEntry 1, SourceText the current Password (flag bit 0 when it is set),
    // SourcePath the source name from a file, DeflateLevel CompressionMode (0 for a
    // folder), methods CompressionMethod, version 20 under OEMFileNames else 0x0B14, CRC
    // 0xFFFFFFFF, sizes 0, no extra blocks; a folder has method 0, CRC 0 and flags 2.
    void FillNewItem(int32_t index, const std::string& sourceName, uint32_t fileTime, uint32_t attributes,
                     bool fromFile);
    // Writes the pending changes of an open update into the archive (nothing without
    // one) and closes the update; THvoUpdateCommit has the details.
    void Commit();
    // The poDelete step: removes entry index from the directory. Native 21 outside the
    // entries, 22 without an open update.
    void DeleteItem(int32_t index);
    // The poUpdate step: entry index ("\" separated name, base folder with its separator)
    // is marked for update from the file base + name when that file exists, the entry is
    // not a folder, ReplaceReadOnly is on or the entry is not read-only, and
    // OverwriteMode allows it: omPrompt asks DoConfirmOverwrite, omIfNewer / omIfOlder
    // compare the file's age with the entry's packed date-time as unsigned values.
    void UpdateItem(int32_t index, const std::string& name, const std::string& baseDir);
    // Native 24 outside the entries, 25 without an open update; otherwise the entry is
    // described anew from its SourcePath (FillNewItem; it keeps its stored name and
    // comment) and its Operation becomes poUpdate.
    void MarkForUpdate(int32_t index);

    // ---- Event dispatchers ----------------------------------------------------------
    virtual void UpdateCompressionMethod();
    // Progress: without a handler Cancel := False.
    virtual void DoOverallProgress(THvoProcessOperation Operation, THvoProgressPhase ProgressPhase, double Progress,
                                   bool& Cancel);
    // The handler gets "\" separators.
    virtual void DoFileProgress(const std::string& FileName, THvoProcessOperation Operation, double Progress,
                                THvoProgressPhase ProgressPhase, bool& Cancel);
    // Cancel := False first.
    virtual void DoCopyTempFileProgress(THvoProgressPhase ProgressPhase, bool& Cancel, double Progress);
    // Without a handler: the question "Overwrite file "<dest>" with "<source>"" (names
    // with visible control characters; caption
    // "Подтверждение", Yes / No / No to all / Yes to all); the answers to all also set
    // Options().OverwriteMode to omNever / omAlways for good; a closed box is False.
    virtual void DoConfirmOverwrite(const std::string& SourceFileName, std::string& DestFileName, bool& Confirm);
    // Confirm := True first.
    virtual void DoConfirmProcessFile(const std::string& FileName, THvoProcessOperation Operation, bool& Confirm);
    // Without a handler the password dialog asks (PasswordDialog); its Cancel skips the entry.
    virtual void DoPassword(const std::string& FileName, std::string& NewPassword, bool& SkipFile);
    // Action := fxaIgnore first. ErrorMessage is the exception's whole message (names in
    // it with visible control characters, see HvoVisibleText), passed to the handler and
    // the box as it is. Without a handler: native error 45 aborts at once;
    // native error 61 shows the message alone with Abort and Ignore; any other shows
    // "<message>. File processing error, possibly disk is full" with Abort, Retry and
    // Ignore (caption "Подтверждение"). Retry and Ignore answer as named, anything
    // else (a closed box too) aborts.
    virtual void DoProcessFileFailure(const std::string& FileName, THvoProcessOperation Operation, int NativeError,
                                      int ErrorCode, const std::string& ErrorMessage, THvoAction& Action);
    // Volume requests: VolumeFileName becomes the volume's name formed from FileName
    // (searched for an existing file, in any letter case, unless a handler takes a
    // first or middle volume; a negative blank-volume number counts as 0) and Cancel :=
    // False first; handlers get volume numbers + 1. Without a handler outside spanning:
    // blank volume stays accepted; the others cancel when the file does not exist (first
    // volume: unless creating). Spanning, without a handler: OK / Cancel boxes (caption
    // "Подтверждение") "Please insert a blank disk #<number + 1>", "Please insert the
    // first disk", "Please insert disk #<number + 1>", and for the last disk "Please
    // insert the last disk", then "File '<name>' not found on inserted disk. Please
    // insert last disk with required file" until the file is there; Cancel := the box
    // was not answered OK.
    virtual void DoRequestBlankVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel);
    virtual void DoRequestFirstVolume(std::string& VolumeFileName, bool& Cancel);
    virtual void DoRequestLastVolume(std::string& VolumeFileName, bool& Cancel);
    virtual void DoRequestMiddleVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel);
    // Cancel := False first, except for volume -1 (a retried write), whose handler gets
    // the preset True and retries only by clearing it. The handler gets the number + 1.
    // Without a handler outside spanning: native error 65 without the component prefix.
    // Without a handler when spanning: "Disk is full. Required free space: <limit of the
    // volume (-1 for none)> bytes, but available only: <DiskFree of VolumeFileName>
    // bytes. Clean the disk or find another blank disk" (OK / Cancel; anything but OK
    // cancels); a retried write (-1) is measured against the current volume.
    virtual void DoDiskFull(int VolumeNumber, const std::string& VolumeFileName, bool& Cancel);
    // Only with a handler: "/" becomes "\" for it and back after it.
    virtual void DoStoreFile(std::string& FileName, int32_t& FileAttr, std::string& Comment,
                             const std::string& OriginalFileName);
    // Every "/" becomes "\", then the handler when there is one.
    virtual void DoExtractFile(std::string& FileName, uint32_t& FileAttr, const std::string& Comment);

protected:
    THvoBaseArchiver();
    // The construction steps that go through the writers (and so through overrides).
    virtual void Build();
    // Opens an archive held in a stream that the caller supplies and keeps owning.
    void OpenArchiveStream(TStream& stream);

    TZip64Mode zip64Mode_ = zmAuto;
    THvoCryptoAlgorithm encryptionMethod_ = caPkzipClassic;
    bool unicodeFilenames_ = false;
    uint16_t compressionMethod_ = 0xFFFF;

private:
    friend void HvoOpenUpdate(THvoBaseArchiver& archiver);
    // The parts behind the front: the volumes, and the commit of an update with its backup.
    friend class THvoVolumes;
    friend class THvoUpdateCommit;

    [[noreturn]] void Raise(int nativeError);
    void ReleaseArchive();
    // The OK / Cancel question of a spanned archive's disk request; true on OK.
    static bool AskForDisk(const std::string& text);
    // Whether Options().OverwriteMode lets the source replace the target: omPrompt asks
    // DoConfirmOverwrite (sourceName, targetName); omIfNewer / omIfOlder compare the
    // packed date-times (date high, time low) as unsigned values.
    bool OverwriteAllowed(const std::string& sourceName, const std::string& targetName, uint32_t sourceAge,
                          uint32_t targetAge);
    // Progress of a decoding entry.
    void DecodeProgress(const TDirItem& item);

    std::string workingDir_;
    int32_t updateCount_ = 0;
    bool active_ = false;
    std::string fileName_;
    uint16_t openMode_ = 0;
    std::string tempDir_;
    std::string baseDir_;
    std::string sfxStub_;
    THvoOptions options_;
    std::vector<std::string> fileMasks_;
    std::vector<std::string> exclusionMasks_;
    std::vector<std::string> noCompressionMasks_;
    bool inMemory_ = false;
    THvoSpanningMode spanningMode_ = smNone;
    THvoSpanningOptions spanningOptions_;
    bool extractCorruptedFiles_ = false;
    bool repairOnOpen_ = true;
    std::unique_ptr<THvoDirManager> dirManager_;
    THvoVolumes volumes_{*this};
    std::unique_ptr<THvoUpdateCommit> commit_; // made by the first commit
    uint8_t compressionMode_ = 0;
    THvoCompressionLevel compressionLevel_ = clNone;
    std::string password_;
};

// Test hook: the read-write probe of OpenArchive (open(O_RDWR) on the path by default);
// nullptr restores the default. Root opens a read-only file read-write, so tests replace it.
using THvoReadWriteProbe = bool (*)(const std::string& path);
void SetHvoReadWriteProbe(THvoReadWriteProbe probe);
