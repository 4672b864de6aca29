// Volumes of the archiver: which file holds the archive, and opening its directory.
// Archives are read and written as single files here.

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"

#include <algorithm>
#include <unistd.h>
#include <vector>

void THvoBaseArchiver::OpenVolume(const THvoVolumeNumberInfo& volume)
{
    if (!archiveStream_) {
        ownedStream_ = std::make_unique<TFileStream>(fileName_, openMode_ == kHvoOpenCreate ? fmCreate : openMode_);
        archiveStream_ = ownedStream_.get();
        volumeFileName_ = fileName_;
    }
    volumeNumberInfo_ = volume;
}

bool IsSfxName(const std::string& name)
{
    return WideLowerCase(WideExtractFileExt(name)).find(".exe") != std::string::npos;
}

void THvoBaseArchiver::OpenArchiveDirectory()
{
    spanningMode_ = smNone;
    volumeNumberInfo_.Reset();
    // The probe runs without repairing: it only looks for the end record.
    const bool repair = repairOnOpen_;
    repairOnOpen_ = false;
    try {
        THvoVolumeNumberInfo last;
        last.SetLast(true);
        OpenVolume(last);
        dirManager_ = std::make_unique<THvoDirManager>(archiveStream_, *this, false);
        TEndOfCentralDir end;
        int64_t position = 0;
        const bool found = dirManager_->FindEndRecord(kEndOfCentralDirSignature, end, position);
        // An end record naming a later disk belongs to a split or spanned archive.
        if (found && end.DiskNumber > 0) Raise(44);
        // A self-extracting archive without an end record may be the first volume of a
        // split archive whose last volume is base.ZIP beside it; those are not read here.
        if (!found && IsSfxName(fileName_)) {
            const std::string path = WideExtractFilePath(fileName_);
            const std::string file = WideExtractFileName(fileName_);
            const std::string base = file.substr(0, file.size() - WideExtractFileExt(file).size());
            if (WideFileExists(path + base + ".ZIP")) Raise(44);
        }
    } catch (...) {
        repairOnOpen_ = repair;
        throw;
    }
    repairOnOpen_ = repair;
    if (!dirManager_->HasEndRecord()) {
        if (archiveStream_ == ownedStream_.get()) {
            dirManager_.reset();
            ownedStream_.reset();
            archiveStream_ = nullptr;
        }
        Raise(48);
    }
    dirManager_->ReadDirectory();
}

int64_t THvoBaseArchiver::WriteSpanned(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                                       THvoVolumeNumberInfo& volume, TStream*& stream)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (spanningMode_ == smNone || stream != archiveStream_) return temp ? temp->Write(bytes, count) : stream->Write(bytes, count);
    int64_t written = 0;
    for (;;) {
        const int64_t held = temp ? temp->Size() : 0;
        int64_t room = DiskFree(volumeFileName_) - held;
        const int64_t limit = spanningOptions_.VolumeSizeLimit(volume);
        if (limit > 0) room = std::min(room, limit - stream->Size() - held);
        if (room < 0) return written;
        const bool fresh = stream->Size() + held == 0;
        const int64_t left = count - written;
        int64_t placed = 0;
        if (keepTogether < 0 || keepTogether + left <= room) {
            const int64_t n = std::min(room, left);
            placed = n > 0 ? (temp ? temp->Write(bytes + written, n) : stream->Write(bytes + written, n)) : 0;
            written += placed;
            if (placed < n) return written;
            if (written == count) return written;
        }
        // Nothing of the block goes on an empty volume: no later volume takes more.
        if (fresh && placed == 0) Raise(46);
        if (temp && temp->Size() > 0) {
            const int64_t size = temp->Size();
            if (stream->Write(temp->Memory(), size) != size) return written;
            temp->Clear();
        }
        if (spanningMode_ == smSpanning)
            if (auto* file = dynamic_cast<TFileStream*>(stream)) ::fsync(file->Handle());
        volume.SetNumber(volume.VolumeNumber + 1);
        OpenVolume(volume);
        stream = archiveStream_;
    }
}

void THvoBaseArchiver::WriteChecked(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                                    THvoVolumeNumberInfo& volume, TStream*& stream)
{
    if (WriteSpanned(buffer, count, temp, keepTogether, volume, stream) != count) Raise(46);
}

int64_t THvoBaseArchiver::CopySpanned(TStream& source, int64_t count, bool progress, TMemoryStream* temp,
                                      int64_t keepTogether, THvoVolumeNumberInfo& volume, TStream*& stream)
{
    constexpr int64_t kBlock = 1000000;
    if (count < 0) count = std::max<int64_t>(source.Size() - source.Position(), 0);
    bool cancel = false;
    if (progress) DoCopyTempFileProgress(ppStart, cancel, 0.0);
    std::vector<uint8_t> block(static_cast<size_t>(std::min(kBlock, std::max<int64_t>(count, 1))));
    int64_t copied = 0;
    while (!cancel && copied < count) {
        const int64_t want = std::min(kBlock, count - copied);
        const int64_t got = source.Read(block.data(), want);
        const int64_t put = got > 0 ? WriteSpanned(block.data(), got, temp, keepTogether, volume, stream) : 0;
        copied += put;
        if (got < want || put < got) return copied;
        if (progress) DoCopyTempFileProgress(ppProcess, cancel, double(copied) / double(count) * 100.0);
    }
    if (cancel) {
        Cancelled = true;
        return copied;
    }
    if (progress) DoCopyTempFileProgress(ppEnd, cancel, 100.0);
    return copied;
}
