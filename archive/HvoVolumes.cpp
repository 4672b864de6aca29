// Volumes of the archiver: which file holds the archive, and opening its directory.
// Archives are read and written as single files here.

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"

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

void THvoBaseArchiver::WriteChecked(TStream& stream, const void* buffer, int64_t count)
{
    if (stream.Write(buffer, count) != count) Raise(46);
}
