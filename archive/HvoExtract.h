#pragma once

#include <string>
#include <vector>

// Selection of entries by masks and attributes, extraction of single entries into
// folders, testing, the loop over marked entries and the public search and extract
// operations. They are members of the archiver, declared with it (HvoBaseArchiver.h:
// selection, public operations, processing of marked entries); this header holds the
// unit's own pieces.

// The parts of a target name that make its path below the base folder: "." and empty
// parts dropped. False for a name that would leave the base folder or cannot name a
// file there: a leading separator ("/" or "\": absolute or network path), ":" (drive or
// stream), a control character, a ".." part, or no part at all.
bool SafeEntryParts(const std::string& name, std::vector<std::string>& parts);

// A folder below the base folder of an extraction, reached one part at a time and never
// through a symbolic link, so that what an archive names cannot lead outside. It holds
// the open folder, closed when it goes.
class THvoTargetFolder {
public:
    THvoTargetFolder() = default;
    ~THvoTargetFolder();
    THvoTargetFolder(const THvoTargetFolder&) = delete;
    THvoTargetFolder& operator=(const THvoTargetFolder&) = delete;

    // Opens the base folder (path with its final separator), made with its parents when
    // it is missing. False when it cannot be opened.
    bool OpenBase(const std::string& base);
    // Makes the folder part in the open folder when it is missing, and opens it instead.
    // False when it cannot be made or is not a folder (a file or a link of that name).
    bool Enter(const std::string& part);
    // The open folder's descriptor; -1 before OpenBase succeeded.
    int Handle() const { return fd_; }

private:
    void Reset(int fd);
    int fd_ = -1;
};

// The process-wide lock of the archivers (EnterArchiverLock) for the life of the holder.
class THvoArchiverLockHolder {
public:
    THvoArchiverLockHolder();
    ~THvoArchiverLockHolder();
    THvoArchiverLockHolder(const THvoArchiverLockHolder&) = delete;
    THvoArchiverLockHolder& operator=(const THvoArchiverLockHolder&) = delete;
};
