#include "archive/HvoVolumes.h"

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

THvoVolumes::THvoVolumes(THvoBaseArchiver& archiver) : archiver_(archiver) { current_.Reset(); }

THvoVolumes::~THvoVolumes() = default;

bool THvoVolumes::MultiVolume() const { return archiver_.SpanningMode() != smNone; }

void THvoVolumes::OpenMemory()
{
    owned_ = std::make_unique<TMemoryStream>();
    stream_ = owned_.get();
}

void THvoVolumes::UseStream(TStream& stream)
{
    current_.Reset();
    stream_ = &stream;
}

void THvoVolumes::Release()
{
    owned_.reset();
    stream_ = nullptr;
}

void THvoVolumes::FollowWithDirectory()
{
    THvoDirManager* directory = archiver_.DirManager();
    if (directory && !directory->ForeignStream) directory->Stream = stream_;
}

void THvoVolumes::GetVolumeName(std::string& name, int32_t volumeNumber, bool testExistence)
{
    const THvoSpanningMode spanningMode = archiver_.SpanningMode();
    if (spanningMode == smNone) return;
    const std::string dir = WideExtractFilePath(name);
    const std::string file = WideExtractFileName(name);
    const std::string ext = WideExtractFileExt(file);
    const std::string base = file.substr(0, file.size() - ext.size());
    const THvoDirManager* directory = archiver_.DirManager();
    const bool sfx =
        (directory && directory->Shift != 0) || !archiver_.SFXStub().empty() || IsSfxName(archiver_.FileName());
    const bool advanced = archiver_.SpanningOptions().AdvancedNaming;
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
        name = existing(spanningMode == smSplitting && sfx ? dir + base + ".ZIP" : name);
        return;
    }
    if (spanningMode == smSpanning) {
        const std::string extension = sfx ? ".exe" : ext;
        const std::string plain = dir + base + extension;
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
    else if (advanced)
        name = existing(numbered(ext));
    else
        name = existing(dir + base + ".Z" + Digits(volumeNumber + 1, 2));
}

void THvoVolumes::OpenVolumeFile(const std::string& name)
{
    if (VolumeOpenHook) VolumeOpenHook(name);
    // The new file is opened before the current one is let go, so that a failed open
    // leaves the archive stream as it was.
    const uint16_t openMode = archiver_.OpenMode();
    auto stream = std::make_unique<TFileStream>(name, openMode == kHvoOpenCreate ? fmCreate : openMode);
    owned_ = std::move(stream);
    stream_ = owned_.get();
    fileName_ = name;
    FollowWithDirectory();
}

void THvoVolumes::OpenVolume(const THvoVolumeNumberInfo& volume)
{
    // A single file is opened once.
    if (!MultiVolume()) {
        if (!stream_) OpenVolumeFile(archiver_.FileName());
        current_ = volume;
        return;
    }
    if (archiver_.OpenMode() == kHvoOpenCreate) {
        OpenBlankVolume(volume);
        return;
    }
    if (stream_ && THvoVolumeNumberInfo::SameVolume(volume, current_)) return;
    for (;;) {
        std::string name = archiver_.FileName();
        bool cancel = true;
        if (volume.IsFirst())
            archiver_.DoRequestFirstVolume(name, cancel);
        else if (volume.IsLast())
            archiver_.DoRequestLastVolume(name, cancel);
        else
            archiver_.DoRequestMiddleVolume(volume.VolumeNumber, name, cancel);
        if (cancel) throw EHvoException(45, archiver_.Name);
        // An empty answer keeps the volume that is open.
        if (name.empty() && archiver_.SpanningMode() != smSpanning) return;
        const std::string found = FindVolumeFile(name);
        if (!found.empty()) {
            OpenVolumeFile(found);
            current_ = volume;
            return;
        }
    }
}

void THvoVolumes::OpenBlankVolume(const THvoVolumeNumberInfo& volume)
{
    // The volume written so far is let go first: a spanned one is on a disk that leaves.
    Release();
    FollowWithDirectory();
    const bool spanning = archiver_.SpanningMode() == smSpanning;
    const int64_t limit = archiver_.SpanningOptions().VolumeSizeLimit(volume);
    for (;;) {
        std::string name = archiver_.FileName();
        bool cancel = false;
        archiver_.DoRequestBlankVolume(volume.VolumeNumber, name, cancel);
        if (cancel) throw EHvoException(45, archiver_.Name);
        const int64_t free = DiskFree(name);
        if (free > kMinimumVolumeRoom && !(spanning && limit > 0 && free < limit)) {
            OpenVolumeFile(name);
            current_ = volume;
            if (spanning) {
                char label[32];
                std::snprintf(label, sizeof label, "pkback# %.3d", volume.VolumeNumber + 1);
                SetVolumeLabel(name, label); // a medium without labels is no failure
            }
            return;
        }
        archiver_.DoDiskFull(volume.VolumeNumber, name, cancel);
        if (cancel) throw EHvoException(45, archiver_.Name);
    }
}

void THvoVolumes::RenameLastVolume()
{
    if (!MultiVolume() || !OwnsStream()) return;
    std::string last = archiver_.FileName();
    GetVolumeName(last, -1, false);
    if (fileName_ == last) return;
    const std::string written = fileName_;
    Release();
    WideDeleteFile(last);
    std::string opened = last;
    int error = 0;
    if (::rename(written.c_str(), last.c_str()) != 0) {
        // The archive stays usable under the name it was written to.
        error = errno;
        opened = written;
    }
    owned_ = std::make_unique<TFileStream>(opened, fmOpenReadWrite);
    stream_ = owned_.get();
    fileName_ = opened;
    stream_->Seek(0, TSeekOrigin::soEnd);
    FollowWithDirectory();
    if (error != 0) throw platform::EFCreateError(platform::CannotCreateFileText(last, error));
}

bool THvoVolumes::VolumeExists(int32_t number)
{
    std::string name = archiver_.FileName();
    GetVolumeName(name, number, true);
    return !FindVolumeFile(name).empty();
}

void THvoVolumes::DetectSpanningMode(bool found, const TEndOfCentralDir& end, int64_t position)
{
    THvoSpanningMode& spanningMode = archiver_.spanningMode_;
    // No drive of this system is removable: without an end record the file stands alone.
    if (!found) {
        spanningMode = smNone;
        return;
    }
    const int32_t lastDisk = archiver_.dirManager_->EndRecordLastDisk(end, position);
    if (lastDisk == 0) {
        spanningMode = smNone;
        return;
    }
    // A split set has its earlier volumes beside the last one, under one naming or the other.
    spanningMode = smSplitting;
    if (VolumeExists(lastDisk - 1)) return;
    bool& advancedNaming = archiver_.SpanningOptions().AdvancedNaming;
    advancedNaming = !advancedNaming;
    if (VolumeExists(lastDisk - 1)) return;
    advancedNaming = !advancedNaming;
    spanningMode = IsSfxName(archiver_.FileName()) ? smNone : smSpanning;
}

void THvoVolumes::OpenArchiveDirectory()
{
    THvoSpanningMode& spanningMode = archiver_.spanningMode_;
    std::unique_ptr<THvoDirManager>& directory = archiver_.dirManager_;
    const std::string& fileName = archiver_.FileName();
    spanningMode = smNone;
    current_.Reset();
    TEndOfCentralDir end;
    int64_t position = -1;
    const auto searchEndRecord = [&] {
        directory = std::make_unique<THvoDirManager>(stream_, archiver_, false);
        return directory->FindEndRecord(kEndOfCentralDirSignature, end, position);
    };
    // The probe runs without repairing: it only looks for the end record. Nothing is
    // removable here, so one search decides (a spanned disk is never waited for).
    bool& repairOnOpen = archiver_.repairOnOpen_;
    const bool repair = repairOnOpen;
    repairOnOpen = false;
    try {
        if (!IsSfxName(fileName)) {
            THvoVolumeNumberInfo last;
            last.SetLast(true);
            OpenVolume(last);
            DetectSpanningMode(searchEndRecord(), end, position);
        } else {
            OpenVolumeFile(fileName);
            if (searchEndRecord()) {
                current_.SetLast(true);
                DetectSpanningMode(true, end, position);
            } else {
                // A self-extracting first volume of a split set whose last volume is base.ZIP.
                current_.SetFirst(true);
                spanningMode = smSplitting;
                std::string lastName = fileName;
                GetVolumeName(lastName, -1, true);
                if (!FindVolumeFile(lastName).empty()) {
                    THvoVolumeNumberInfo last;
                    last.SetLast(true);
                    OpenVolume(last);
                }
                spanningMode = smNone;
                DetectSpanningMode(searchEndRecord(), end, position);
            }
        }
    } catch (...) {
        repairOnOpen = repair;
        throw;
    }
    repairOnOpen = repair;
    if (!directory->HasEndRecord()) {
        if (stream_ == owned_.get()) {
            directory.reset();
            Release();
        }
        throw EHvoException(48, archiver_.Name);
    }
    directory->ReadDirectory();
}

int64_t THvoVolumes::WriteSpanned(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                                  THvoVolumeNumberInfo& volume, TStream*& stream)
{
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (!MultiVolume() || stream != stream_) return temp ? temp->Write(bytes, count) : stream->Write(bytes, count);
    int64_t written = 0;
    for (;;) {
        const int64_t held = temp ? temp->Size() : 0;
        int64_t room = DiskFree(fileName_) - held;
        const int64_t limit = archiver_.SpanningOptions().VolumeSizeLimit(volume);
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
        if (fresh && placed == 0) throw EHvoException(46, archiver_.Name);
        if (temp && temp->Size() > 0) {
            const int64_t size = temp->Size();
            if (stream->Write(temp->Memory(), size) != size) return written;
            temp->Clear();
        }
        if (archiver_.SpanningMode() == smSpanning)
            if (auto* file = dynamic_cast<TFileStream*>(stream)) ::fsync(file->Handle());
        volume.SetNumber(volume.VolumeNumber + 1);
        OpenVolume(volume);
        stream = stream_;
    }
}

void THvoVolumes::WriteChecked(const void* buffer, int64_t count, TMemoryStream* temp, int64_t keepTogether,
                               THvoVolumeNumberInfo& volume, TStream*& stream)
{
    if (WriteSpanned(buffer, count, temp, keepTogether, volume, stream) != count)
        throw EHvoException(46, archiver_.Name);
}

int64_t THvoVolumes::CopySpanned(TStream& source, int64_t count, bool progress, TMemoryStream* temp,
                                 int64_t keepTogether, THvoVolumeNumberInfo& volume, TStream*& stream)
{
    constexpr int64_t kBlock = 1000000;
    if (count < 0) count = std::max<int64_t>(source.Size() - source.Position(), 0);
    bool cancel = false;
    if (progress) archiver_.DoCopyTempFileProgress(ppStart, cancel, 0.0);
    std::vector<uint8_t> block(static_cast<size_t>(std::min(kBlock, std::max<int64_t>(count, 1))));
    int64_t copied = 0;
    while (!cancel && copied < count) {
        const int64_t want = std::min(kBlock, count - copied);
        const int64_t got = source.Read(block.data(), want);
        const int64_t put = got > 0 ? WriteSpanned(block.data(), got, temp, keepTogether, volume, stream) : 0;
        copied += put;
        if (got < want || put < got) return copied;
        if (progress) archiver_.DoCopyTempFileProgress(ppProcess, cancel, double(copied) / double(count) * 100.0);
    }
    if (cancel) {
        archiver_.Cancelled = true;
        return copied;
    }
    if (progress) archiver_.DoCopyTempFileProgress(ppEnd, cancel, 100.0);
    return copied;
}

void THvoVolumes::WriteArchiveChecked(int64_t keepTogether)
{
    WriteChecked(nullptr, 0, nullptr, keepTogether, current_, stream_);
}

int64_t THvoVolumes::CopyToArchive(TStream& source, int64_t count, bool progress)
{
    return CopySpanned(source, count, progress, nullptr, -1, current_, stream_);
}
