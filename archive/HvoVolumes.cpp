// Volumes of the archiver: the names of the volumes of split and spanned archives, which
// file is the archive stream, the volume requests, and opening an archive's directory
// with the decision between a single file, a split set and a spanned set.

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

THvoVolumeOpenHook VolumeOpenHook = nullptr;

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The volume number written with at least digits digits.
std::string Digits(int32_t number, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.*u", digits, static_cast<unsigned>(number));
    return text;
}

} // namespace

void SetHvoVolumeOpenHook(THvoVolumeOpenHook hook) { VolumeOpenHook = hook; }

std::string FindVolumeFile(const std::string& name)
{
    if (name.empty()) return {};
    if (WideFileExists(name)) return name;
    // Volumes written elsewhere may differ in letter case (Info-ZIP writes ".z01").
    const std::string folder = WideExtractFilePath(name);
    const std::string file = WideExtractFileName(name);
    if (file.empty()) return {};
    std::string best;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (!EqualIgnoringAsciiCase(candidate, file) || !WideFileExists(folder + candidate)) continue;
        if (best.empty() || candidate < best) best = candidate;
    }
    return best.empty() ? std::string() : folder + best;
}

bool IsSfxName(const std::string& name)
{
    return WideLowerCase(WideExtractFileExt(name)).find(".exe") != std::string::npos;
}

void THvoBaseArchiver::GetVolumeName(std::string& name, int32_t volumeNumber, bool testExistence)
{
    if (spanningMode_ == smNone) return;
    const std::string dir = WideExtractFilePath(name);
    const std::string file = WideExtractFileName(name);
    const std::string ext = WideExtractFileExt(file);
    const std::string base = file.substr(0, file.size() - ext.size());
    const bool sfx = (dirManager_ && dirManager_->Shift != 0) || !sfxStub_.empty() || IsSfxName(fileName_);
    const auto numbered = [&](const std::string& extension) {
        return dir + base + "_" + Digits(volumeNumber + 1, 3) + extension;
    };
    // With testExistence a name is replaced by the existing file it denotes.
    const auto existing = [&](const std::string& candidate) {
        if (!testExistence) return candidate;
        const std::string found = FindVolumeFile(candidate);
        return found.empty() ? candidate : found;
    };

    if (volumeNumber < 0) {
        name = existing(spanningMode_ == smSplitting && sfx ? dir + base + ".ZIP" : name);
        return;
    }
    if (spanningMode_ == smSpanning) {
        const std::string extension = sfx ? ".exe" : ext;
        const std::string plain = dir + base + extension;
        const bool advanced = spanningOptions_.AdvancedNaming;
        const std::string first = advanced ? numbered(extension) : plain;
        name = first;
        if (!testExistence) return;
        std::string found = FindVolumeFile(first);
        if (found.empty()) found = FindVolumeFile(advanced ? plain : numbered(extension));
        if (!found.empty()) name = found;
        return;
    }
    if (volumeNumber == 0 && sfx)
        name = existing(dir + base + ".exe");
    else if (spanningOptions_.AdvancedNaming)
        name = existing(numbered(ext));
    else
        name = existing(dir + base + ".Z" + Digits(volumeNumber + 1, 2));
}

void THvoBaseArchiver::OpenVolumeFile(const std::string& name)
{
    if (VolumeOpenHook) VolumeOpenHook(name);
    // The new file is opened before the current one is let go, so that a failed open
    // leaves the archive stream as it was.
    auto stream = std::make_unique<TFileStream>(name, openMode_ == kHvoOpenCreate ? fmCreate : openMode_);
    ownedStream_ = std::move(stream);
    archiveStream_ = ownedStream_.get();
    volumeFileName_ = name;
    if (dirManager_ && !dirManager_->ForeignStream) dirManager_->Stream = archiveStream_;
}

void THvoBaseArchiver::OpenVolume(const THvoVolumeNumberInfo& volume)
{
    // A single file is opened once.
    if (spanningMode_ == smNone) {
        if (!archiveStream_) OpenVolumeFile(fileName_);
        volumeNumberInfo_ = volume;
        return;
    }
    if (openMode_ == kHvoOpenCreate) {
        OpenBlankVolume(volume);
        return;
    }
    if (archiveStream_ && THvoVolumeNumberInfo::SameVolume(volume, volumeNumberInfo_)) return;
    for (;;) {
        std::string name = fileName_;
        bool cancel = true;
        if (volume.IsFirst())
            DoRequestFirstVolume(name, cancel);
        else if (volume.IsLast())
            DoRequestLastVolume(name, cancel);
        else
            DoRequestMiddleVolume(volume.VolumeNumber, name, cancel);
        if (cancel) Raise(45);
        // An empty answer keeps the volume that is open.
        if (name.empty() && spanningMode_ != smSpanning) return;
        const std::string found = FindVolumeFile(name);
        if (!found.empty()) {
            OpenVolumeFile(found);
            volumeNumberInfo_ = volume;
            return;
        }
    }
}

void THvoBaseArchiver::OpenBlankVolume(const THvoVolumeNumberInfo& volume)
{
    // The volume written so far is let go first: a spanned one is on a disk that leaves.
    ownedStream_.reset();
    archiveStream_ = nullptr;
    if (dirManager_ && !dirManager_->ForeignStream) dirManager_->Stream = nullptr;
    const int64_t limit = spanningOptions_.VolumeSizeLimit(volume);
    for (;;) {
        std::string name = fileName_;
        bool cancel = false;
        DoRequestBlankVolume(volume.VolumeNumber, name, cancel);
        if (cancel) Raise(45);
        const int64_t free = DiskFree(name);
        if (free > kMinimumVolumeRoom && !(spanningMode_ == smSpanning && limit > 0 && free < limit)) {
            OpenVolumeFile(name);
            volumeNumberInfo_ = volume;
            if (spanningMode_ == smSpanning) {
                char label[32];
                std::snprintf(label, sizeof label, "pkback# %.3d", volume.VolumeNumber + 1);
                SetVolumeLabel(name, label); // a medium without labels is no failure
            }
            return;
        }
        DoDiskFull(volume.VolumeNumber, name, cancel);
        if (cancel) Raise(45);
    }
}

void THvoBaseArchiver::RenameLastVolume()
{
    if (spanningMode_ == smNone || !archiveStream_ || archiveStream_ != ownedStream_.get()) return;
    std::string last = fileName_;
    GetVolumeName(last, -1, false);
    if (volumeFileName_ == last) return;
    const std::string written = volumeFileName_;
    ownedStream_.reset();
    archiveStream_ = nullptr;
    WideDeleteFile(last);
    std::string opened = last;
    int error = 0;
    if (::rename(written.c_str(), last.c_str()) != 0) {
        // The archive stays usable under the name it was written to.
        error = errno;
        opened = written;
    }
    ownedStream_ = std::make_unique<TFileStream>(opened, fmOpenReadWrite);
    archiveStream_ = ownedStream_.get();
    volumeFileName_ = opened;
    archiveStream_->Seek(0, TSeekOrigin::soEnd);
    if (dirManager_ && !dirManager_->ForeignStream) dirManager_->Stream = archiveStream_;
    if (error != 0) throw platform::EFCreateError(platform::CannotCreateFileText(last, error));
}

int64_t THvoBaseArchiver::ReadContinued(TStream*& in, THvoVolumeNumberInfo& volume, void* buffer, int64_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = std::max<int64_t>(in->Read(out, count), 0);
    // Data of a multi-volume archive goes on at the start of the next volume; nothing of
    // an entry lies beyond the last one.
    while (done < count && spanningMode_ != smNone && in == archiveStream_ &&
           (volume.LastVolumeNumber < 0 || volume.VolumeNumber < volume.LastVolumeNumber)) {
        volume = THvoVolumeNumberInfo::Of(volume.VolumeNumber + 1, volume.LastVolumeNumber);
        OpenVolume(volume);
        in = archiveStream_;
        in->SetPosition(0);
        const int64_t got = in->Read(out + done, count - done);
        if (got <= 0) break;
        done += got;
    }
    return done;
}

bool THvoBaseArchiver::VolumeExists(int32_t number)
{
    std::string name = fileName_;
    GetVolumeName(name, number, true);
    return !FindVolumeFile(name).empty();
}

void THvoBaseArchiver::DetectSpanningMode(bool found, const TEndOfCentralDir& end, int64_t position)
{
    // No drive of this system is removable: without an end record the file stands alone.
    if (!found) {
        spanningMode_ = smNone;
        return;
    }
    const int32_t lastDisk = dirManager_->EndRecordLastDisk(end, position);
    if (lastDisk == 0) {
        spanningMode_ = smNone;
        return;
    }
    // A split set has its earlier volumes beside the last one, under one naming or the other.
    spanningMode_ = smSplitting;
    if (VolumeExists(lastDisk - 1)) return;
    spanningOptions_.AdvancedNaming = !spanningOptions_.AdvancedNaming;
    if (VolumeExists(lastDisk - 1)) return;
    spanningOptions_.AdvancedNaming = !spanningOptions_.AdvancedNaming;
    spanningMode_ = IsSfxName(fileName_) ? smNone : smSpanning;
}

void THvoBaseArchiver::OpenArchiveDirectory()
{
    spanningMode_ = smNone;
    volumeNumberInfo_.Reset();
    TEndOfCentralDir end;
    int64_t position = -1;
    const auto searchEndRecord = [&] {
        dirManager_ = std::make_unique<THvoDirManager>(archiveStream_, *this, false);
        return dirManager_->FindEndRecord(kEndOfCentralDirSignature, end, position);
    };
    // The probe runs without repairing: it only looks for the end record. Nothing is
    // removable here, so one search decides (a spanned disk is never waited for).
    const bool repair = repairOnOpen_;
    repairOnOpen_ = false;
    try {
        if (!IsSfxName(fileName_)) {
            THvoVolumeNumberInfo last;
            last.SetLast(true);
            OpenVolume(last);
            DetectSpanningMode(searchEndRecord(), end, position);
        } else {
            OpenVolumeFile(fileName_);
            if (searchEndRecord()) {
                volumeNumberInfo_.SetLast(true);
                DetectSpanningMode(true, end, position);
            } else {
                // A self-extracting first volume of a split set whose last volume is base.ZIP.
                volumeNumberInfo_.SetFirst(true);
                spanningMode_ = smSplitting;
                std::string lastName = fileName_;
                GetVolumeName(lastName, -1, true);
                if (!FindVolumeFile(lastName).empty()) {
                    THvoVolumeNumberInfo last;
                    last.SetLast(true);
                    OpenVolume(last);
                }
                spanningMode_ = smNone;
                DetectSpanningMode(searchEndRecord(), end, position);
            }
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
