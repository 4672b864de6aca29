#pragma once

#include "archive/HvoBaseArchiver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The commit of an archiver's open update (THvoBaseArchiver::Commit): entries before the
// first change stay where they are; the rest of the archive is kept in a backup file,
// the archive is cut there, and every later item is written from its source or copied
// from the backup (renames with a new local header), then the directory. A failure of
// one entry goes to OnProcessFileFailure: Retry writes it again, Ignore drops a failed
// addition (or keeps the old entry it would have replaced), Abort ends the commit.
// Abort, a cancel from a progress event, and any other exception restore the archive
// from the backup byte for byte (the exception then passes on). After a commit that
// wrote its entries, the sources of moved entries written in it are deleted (files
// first, then folders; native 27 / 60 go to OnProcessFileFailure).
//
// The part lives as long as its archiver: a backup that could not be copied back stays
// on disk, and is deleted when the next commit makes its own backup.
class THvoUpdateCommit {
public:
    explicit THvoUpdateCommit(THvoBaseArchiver& archiver);
    ~THvoUpdateCommit();
    THvoUpdateCommit(const THvoUpdateCommit&) = delete;
    THvoUpdateCommit& operator=(const THvoUpdateCommit&) = delete;

    // Writes the pending changes of the archiver's directory into its archive (the
    // archiver has closed its update already).
    void Run();

private:
    // The first item index at which Items and SavedItems differ in name or the item is
    // NewEntry (the smaller count when none), moved back so that no saved entry before
    // it lies in the archive after one from it on.
    int32_t FindFirstChange();
    // Copies the archive from commitPosition_ to its end into a new temporary file.
    void MakeBackup();
    // Cuts the archive at commitPosition_ and copies the backup back; native 6 without one.
    void RestoreBackup();
    // Frees the backup and deletes its file.
    void DropBackup();
    // Items := SavedItems; the archive restored from the backup (without one: cut at
    // commitPosition_ and its directory written again).
    void Rollback();
    // Writes item index from its source with its local header; false when cancelled or
    // failed (answer then holds the failure event's answer, fxaAbort when the volume code
    // refused the entry).
    bool WriteNewEntry(int32_t index, THvoAction& answer);
    // The work of WriteNewEntry once the progress has started; raises what fails.
    bool WriteEntryRecord(TDirItem& item, THvoAction& answer);
    // Copies the old record of item index from the backup to the archive's position;
    // a renamed entry gets a new local header. Native 7 when its saved entry is missing.
    void CopyEntry(int32_t index);
    // Deletes the sources of the moved entries written by the commit.
    void DeleteMovedSources();
    // Frees the source streams that items own.
    static void ReleaseOwnedSources(THvoDirArray& items);

    THvoBaseArchiver& archiver_;
    int32_t commitStart_ = 0;
    int64_t commitPosition_ = 0;
    std::unique_ptr<TFileStream> backup_;
    std::string backupName_;
    // Sources of moved entries written in this commit, and whether each is a folder.
    std::vector<std::pair<std::string, bool>> movedSources_;
};

// Test seam: opens an update on the open archive as the operations that queue changes
// would (none exists in the component): SavedItems becomes a copy of the directory (unless
// an update is open already) and UpdateCount 1, so that the items changed afterwards are
// committed by CloseArchive.
void HvoOpenUpdate(THvoBaseArchiver& archiver);
