#pragma once

#include "archive/HvoChecksum.h"

#include <cstdint>

// How entry names are stored: file name only, relative to the base folder, full path
// without the drive, full path with the drive.
enum THvoStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
// Sharing of source files opened for adding (kept as a setting; files are not locked here).
enum THvoFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };
// What extraction does with an existing file.
enum THvoOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
// Size limit of the volumes of a multi-volume archive (see VolumeSizeLimit).
enum THvoVolumeSize { vsAutoDetect, vsCustom, vs1_44MB, vs100MB, vs200MB, vs250MB, vs600MB, vs650MB, vs700MB, vs4700MB };

// Base of the option objects: an object takes the values of another of its own class.
// Any other source is refused with platform::EConvertError "Cannot assign a <source
// class> to a <target class>".
class THvoPersistent {
public:
    virtual ~THvoPersistent();
    virtual const char* ClassName() const = 0;
    virtual void Assign(const THvoPersistent& source);
};

// Behaviour of adding and extracting.
class THvoOptions : public THvoPersistent {
public:
    const char* ClassName() const override { return "THvoOptions"; }
    void Assign(const THvoPersistent& source) override;

    THvoStorePathMode StorePath = spRelativePath; // how names are stored and stored paths are used
    bool Recurse = true;                          // masks also select files in subfolders
    THvoFileShareMode ShareMode = smShareDenyNone; // sharing of source files opened for adding
    THvoOverwriteMode OverwriteMode = omAlways;   // what extraction does with existing files
    bool CreateDirs = true;                       // extraction creates the stored folders
    bool ReplaceReadOnly = true;                  // read-only targets are overwritten
    bool SetAttributes = true;                    // extracted files get the stored attributes
    int32_t SearchAttr = 10431;                   // attributes of files taken when adding
    bool FlushBuffers = true;                     // flush written files
    bool OEMFileNames = true;                     // names converted between ANSI and OEM
};

// Sizes and naming of the volumes of a multi-volume archive.
class THvoSpanningOptions : public THvoPersistent {
public:
    const char* ClassName() const override { return "THvoSpanningOptions"; }
    void Assign(const THvoPersistent& source) override;

    // Limit of the volume in bytes: the first volume's own FirstVolumeSize when above 0,
    // otherwise by VolumeSize (vsCustom: CustomVolumeSize); -1 for vsAutoDetect (the
    // free space of the disk decides).
    int64_t VolumeSizeLimit(const THvoVolumeNumberInfo& volume) const;

    int64_t CustomVolumeSize() const { return customVolumeSize_; }
    // Values below 65536 (negative ones too) become 65536.
    void SetCustomVolumeSize(int64_t value);

    bool AdvancedNaming = false;           // volume names with a three-digit number
    int64_t FirstVolumeSize = 0;           // limit of the first volume; 0 or less: none of its own
    THvoVolumeSize VolumeSize = vsAutoDetect;

private:
    int64_t customVolumeSize_ = 0;
};
