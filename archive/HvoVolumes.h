#pragma once

#include "archive/HvoChecksum.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStreams.h"

#include <cstdint>
#include <memory>
#include <string>

class THvoBaseArchiver;

// The volumes of an archiver's archive: the archive stream (a volume file or a memory
// stream that the part opened, or a stream the caller supplies and keeps owning), the
// name of the volume file and which volume of a multi-volume archive it is, and every
// move from one volume to another while an archive is opened, read or written. The
// archiver's FileName, OpenMode, SpanningMode, SpanningOptions and SFXStub decide the
// names and modes; its volume events answer the requests. Errors are EHvoException with
// the archiver's Name.
class THvoVolumes {
public:
    // The current volume starts undetermined (THvoVolumeNumberInfo::Reset).
    explicit THvoVolumes(THvoBaseArchiver& archiver);
    ~THvoVolumes();
    THvoVolumes(const THvoVolumes&) = delete;
    THvoVolumes& operator=(const THvoVolumes&) = delete;

    // The archive stream; null while none is open.
    TStream* Stream() { return stream_; }
    // The name of the volume file last opened as the archive stream.
    const std::string& FileName() const { return fileName_; }
    // The volume that the archive stream is.
    THvoVolumeNumberInfo& Current() { return current_; }
    // Whether the archive stream is one this part opened (a volume file or memory).
    bool OwnsStream() const { return stream_ && stream_ == owned_.get(); }
    // Whether the archive has more than one volume (SpanningMode is not smNone).
    bool MultiVolume() const;

    // A new, empty memory stream becomes the archive stream.
    void OpenMemory();
    // The caller's stream becomes the archive stream; the current volume is undetermined.
    void UseStream(TStream& stream);
    // Lets the archive stream go; a stream this part opened is freed.
    void Release();

    // Turns an archive name into the name of volume volumeNumber (0-based; -1 the last).
    // The archive counts as self-extracting when the directory has a Shift, SFXStub is
    // set or the name is an .exe. smSplitting: volume 0 of a self-extracting archive is
    // base.exe; otherwise base_NNN<ext> with AdvancedNaming (NNN = number + 1, three
    // digits), else base.Z01, base.Z02 ...; the last volume keeps the name, base.ZIP for
    // a self-extracting set. smSpanning: the extension becomes .exe for a
    // self-extracting archive; base_NNN<ext> with AdvancedNaming, else the name itself on
    // every disk; with testExistence the other naming is taken when only it exists.
    // smNone: the name stays. With testExistence a name that exists only in another
    // letter case (ASCII) in its folder is replaced by the existing one.
    void GetVolumeName(std::string& name, int32_t volumeNumber, bool testExistence);
    // Makes the described volume the archive stream. smNone: FileName is opened once.
    // Reading a multi-volume archive: nothing when that volume is current; otherwise the
    // volume is asked for (DoRequestFirstVolume for volume 0, DoRequestLastVolume for the
    // last, DoRequestMiddleVolume for the others) until the answer names an existing
    // file, which is opened (also when it exists only in another letter case); an empty
    // name outside smSpanning ends the request with nothing opened. A cancelled request
    // raises native error 45. Creating a multi-volume archive: the volume written so far
    // is freed and a blank volume is asked for (DoRequestBlankVolume, its name built by
    // GetVolumeName) until its folder has more than 65536 bytes free and, when spanning
    // with a size limit, at least the limit (otherwise DoDiskFull, and the request
    // again); a cancel of either raises native error 45. The file is then created, and a
    // spanned disk is labelled "pkback# NNN" (the number + 1, three digits).
    void OpenVolume(const THvoVolumeNumberInfo& volume);
    // Frees the archive stream, opens name in OpenMode as the new one and records the
    // name as the volume file name (the directory reads through it from then on).
    void OpenVolumeFile(const std::string& name);
    // The open volume of a multi-volume archive being written, when it is not the last
    // volume's name (GetVolumeName -1: FileName, base.ZIP for a self-extracting split
    // set), is moved to that name (a file there is deleted first) and reopened for
    // reading and writing, positioned at its end, as the archive stream and the
    // directory's stream. A failed move keeps the volume open under its own name and
    // raises platform::EFCreateError "Cannot create file "<last name>". <reason>".
    void RenameLastVolume();
    // Reads the directory of the archive that is being opened: decides SpanningMode from
    // the end record (volume n - 1 beside it: split, else spanned; an .exe: single) and
    // opens a self-extracting first volume's set from its base.ZIP. Native error 48 when
    // no end record is found and RepairOnOpen is clear; then those of
    // THvoDirManager::ReadDirectory.
    void OpenArchiveDirectory();

    // Writes count bytes to stream (temp, when given, collects them in front of it).
    // A single-file archive, or a stream that is not the archive stream: one write, into
    // temp when given. A multi-volume archive: the room of the current volume is its
    // disk's free space (DiskFree) less what temp holds, and no more than the volume's
    // size limit less the stream's and temp's sizes. With keepTogether k >= 0, nothing
    // is written on a volume whose room is below k + the bytes still to write; otherwise
    // as many bytes as fit. While bytes remain, temp is appended to the stream and
    // emptied, a spanned volume is synced, the next volume is made current (volume and
    // stream follow it) and writing goes on there. Native error 46 when a fresh, empty
    // volume can hold nothing of what is asked (a keep-together block larger than any
    // volume would otherwise open volumes without end). A count of 0 with k >= 0 only
    // makes sure that k bytes fit on the volume that is current afterwards. Returns the
    // bytes written (short when a volume has no room left or the medium takes less).
    int64_t WriteSpanned(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                         THvoVolumeNumberInfo& volume, TStream*& stream);
    // WriteSpanned, and native error 46 "Write to stream error" when fewer bytes than
    // asked were written.
    void WriteChecked(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                      THvoVolumeNumberInfo& volume, TStream*& stream);
    // Copies count bytes (-1: the rest) from source's position through WriteSpanned in
    // blocks of at most 1,000,000 bytes. With progress, OnCopyTempFileProgress gets 0 at
    // the start (ppStart), the share done after every block (ppProcess) and 100 at the
    // end (ppEnd); a cancel stops the copy and sets Cancelled. Returns the bytes copied
    // (short when the source ends early, a write falls short or the copy was cancelled).
    int64_t CopySpanned(TStream& source, int64_t count, bool progress, TMemoryStream* temp, int64_t keepTogether,
                        THvoVolumeNumberInfo& volume, TStream*& stream);
    // WriteChecked and CopySpanned on the archive stream at the current volume.
    void WriteArchiveChecked(int64_t keepTogether);
    int64_t CopyToArchive(TStream& source, int64_t count, bool progress);

private:
    // A volume is taken only with more free bytes than this.
    static constexpr int64_t kMinimumVolumeRoom = 65536;

    // The blank-volume request of OpenVolume.
    void OpenBlankVolume(const THvoVolumeNumberInfo& volume);
    // After an end record search on the current volume: the spanning mode it implies.
    void DetectSpanningMode(bool found, const TEndOfCentralDir& end, int64_t position);
    // Whether volume number exists under the current naming (letter case aside).
    bool VolumeExists(int32_t number);
    // The archive stream becomes the directory's stream unless that reads another one.
    void FollowWithDirectory();

    THvoBaseArchiver& archiver_;
    std::unique_ptr<TStream> owned_; // the archive stream when this part opened it
    TStream* stream_ = nullptr;      // the archive stream, owned or supplied
    std::string fileName_;
    THvoVolumeNumberInfo current_;
};

// Whether a name is that of a self-extracting archive: its extension, in lower case,
// contains ".exe".
bool IsSfxName(const std::string& name);

// Test hook: called with the name of every volume file OpenVolumeFile opens; nullptr
// removes it.
using THvoVolumeOpenHook = void (*)(const std::string& name);
void SetHvoVolumeOpenHook(THvoVolumeOpenHook hook);

// The file that name denotes: name itself when it exists, otherwise the first file (in
// byte order) of its folder whose name equals it ignoring ASCII letter case; empty when
// there is none.
std::string FindVolumeFile(const std::string& name);
