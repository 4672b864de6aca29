#include "archive/HvoExtract.h"

#include "archive/HvoBaseArchiver.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "archive/HvoUnicodeInfo.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Backslashed(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string Slashed(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string WithoutFinalSeparator(std::string name)
{
    if (!name.empty() && IsSeparator(name.back())) name.pop_back();
    return name;
}

// The key of a name's folder: its path part with "\" separators, in lower case.
std::string FolderKey(const std::string& name) { return WideLowerCase(Backslashed(WideExtractFilePath(name))); }

// Characters of a leading drive ("X:") or network share ("\\server\share") of a mask,
// together with the separators that follow it; 0 when there is none.
size_t DrivePartLength(const std::string& mask)
{
    size_t length = 0;
    if (mask.size() >= 2 && std::isalpha(static_cast<unsigned char>(mask[0])) && mask[1] == ':') {
        length = 2;
    } else if (mask.size() >= 2 && IsSeparator(mask[0]) && IsSeparator(mask[1])) {
        const size_t server = mask.find_first_of("/\\", 2);
        if (server == std::string::npos) return mask.size();
        const size_t share = mask.find_first_of("/\\", server + 1);
        length = share == std::string::npos ? mask.size() : share;
    }
    if (length == 0) return 0;
    while (length < mask.size() && IsSeparator(mask[length])) ++length;
    return length;
}

std::string Joined(const std::vector<std::string>& parts, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i) out += (i ? "/" : "") + parts[i];
    return out;
}

bool IsDirectoryEntry(const TDirItem& item)
{
    return (item.ExternalAttributes & faDirectory) != 0 || (!item.FileName.empty() && item.FileName.back() == '/');
}

} // namespace

bool SafeEntryParts(const std::string& name, std::vector<std::string>& parts)
{
    parts.clear();
    if (name.empty() || IsSeparator(name.front())) return false;
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || IsSeparator(name[i])) {
            if (part == "..") return false;
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == ':') return false;
        part += name[i];
    }
    return !parts.empty();
}

THvoTargetFolder::~THvoTargetFolder() { Reset(-1); }

void THvoTargetFolder::Reset(int fd)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool THvoTargetFolder::OpenBase(const std::string& base)
{
    Reset(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd_ < 0 && WideForceDirectories(base)) Reset(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd_ >= 0;
}

bool THvoTargetFolder::Enter(const std::string& part)
{
    if (::mkdirat(fd_, part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    const int next = ::openat(fd_, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return false;
    Reset(next);
    return true;
}

THvoArchiverLockHolder::THvoArchiverLockHolder() { EnterArchiverLock(); }

THvoArchiverLockHolder::~THvoArchiverLockHolder() { LeaveArchiverLock(); }

// ---- Selection -------------------------------------------------------------------------

bool THvoBaseArchiver::MaskMatch(const std::string& name, const std::string& mask)
{
    if (mask.empty()) return false;
    std::string m = mask;
    const size_t all = m.find("*.*");
    if (all != std::string::npos) m.replace(all, 3, "*");
    const bool noExtension = mask.back() == '.';
    if (noExtension && !m.empty() && m.back() == '.') m.pop_back();
    std::string n = name;
    if (!n.empty() && n.back() == '.') n.pop_back();
    if (!MatchesMask(n, m, true)) return false;
    if (!noExtension) return true;
    const std::string extension = WideExtractFileExt(name);
    return extension.empty() || extension == ".";
}

bool THvoBaseArchiver::AttributesMatch(uint32_t itemAttributes, int32_t searchAttr)
{
    return (itemAttributes & ~static_cast<uint32_t>(searchAttr) & 0x1E) == 0;
}

bool THvoBaseArchiver::ItemMatches(int32_t index, const TInternalSearchRec& search)
{
    const std::string& stored = dirManager_->Items.ItemPtr(index).FileName;
    if (search.UseMaskLists) {
        const std::string name = Backslashed(stored);
        const auto matches = [&](const std::string& mask) { return MaskMatch(name, mask); };
        return std::any_of(fileMasks_.begin(), fileMasks_.end(), matches) &&
               std::none_of(exclusionMasks_.begin(), exclusionMasks_.end(), matches);
    }
    const std::string full = WithoutFinalSeparator(stored);
    if (!MaskMatch(full, search.FileMask) && !MaskMatch(WideExtractFileName(full), search.FileMask)) return false;
    return !MaskMatch(full, search.ExclusionMask);
}

bool THvoBaseArchiver::FindItem(THvoArchiveItem& result)
{
    CheckActive();
    TInternalSearchRec& search = result.Internal;
    THvoDirArray& items = dirManager_->Items;
    int32_t found = -1;
    if (!search.UseWildcards && !options_.Recurse) {
        int32_t at = -1;
        if (items.FindName(search.FileMask, at) && at >= search.Index) found = at;
    } else {
        const std::string maskFolder = FolderKey(search.FileMask);
        for (int32_t i = std::max(search.Index, 0); i < items.Count && found < 0; ++i) {
            const TDirItem& item = items.ItemPtr(i);
            if (!options_.Recurse && FolderKey(item.FileName) != maskFolder) continue;
            if (ItemMatches(i, search) && AttributesMatch(item.ExternalAttributes, search.SearchAttr)) found = i;
        }
    }
    if (found < 0) return false;

    const TDirItem& item = items.ItemPtr(found);
    search.Index = found;
    const std::string name = WithoutFinalSeparator(Backslashed(item.FileName));
    result.FileName = WideExtractFileName(name);
    result.StoredPath = WideExtractFilePath(name);
    const uint64_t compressed = std::min<uint64_t>(item.EffectiveCompressedSize(), INT64_MAX);
    const uint64_t uncompressed = std::min<uint64_t>(item.EffectiveUncompressedSize(), INT64_MAX);
    result.CompressedSize = static_cast<int64_t>(compressed);
    result.UncompressedSize = static_cast<int64_t>(uncompressed);
    result.CompressionRate =
        uncompressed == 0 ? 100.0 : std::max(0.0, (1.0 - double(compressed) / double(uncompressed)) * 100.0);
    result.Encrypted = (item.Flags & 1) != 0;
    result.LastModFileDate = item.LastModDate;
    result.LastModFileTime = item.LastModTime;
    result.CRC = item.Crc32;
    result.ExternalFileAttr = item.ExternalAttributes;
    result.Comment = item.Comment;
    return true;
}

void THvoBaseArchiver::MarkItems(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask)
{
    CheckActive();
    dirManager_->Items.ClearMarks();
    THvoArchiveItem item;
    for (bool found = FindFirst(fileMask, item, searchAttr, exclusionMask); found; found = FindNext(item))
        dirManager_->Items.ItemPtr(item.Internal.Index).Marked = true;
}

// ---- Public operations -----------------------------------------------------------------

bool THvoBaseArchiver::FindFirst(const std::string& fileMask, THvoArchiveItem& item, int32_t searchAttr,
                                 const std::string& exclusionMask)
{
    CheckActive();
    std::string mask = fileMask;
    const size_t drive = DrivePartLength(fileMask);
    if (drive > 0 && options_.StorePath != spFullPathWithDrive) mask = fileMask.substr(drive);
    TInternalSearchRec& search = item.Internal;
    search.FileMask = Slashed(mask);
    search.ExclusionMask = exclusionMask;
    search.UseMaskLists = false;
    search.UseWildcards = search.FileMask.find_first_of("*?") != std::string::npos;
    search.SearchAttr = searchAttr;
    search.Index = 0;
    return FindItem(item);
}

bool THvoBaseArchiver::FindNext(THvoArchiveItem& item)
{
    ++item.Internal.Index;
    return FindItem(item);
}

void THvoBaseArchiver::ExtractFiles(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask)
{
    CheckActive();
    CheckNoUpdate();
    const bool wildcards = fileMask.find_first_of("*?") != std::string::npos;
    if (!options_.Recurse && !wildcards && exclusionMask.empty() && searchAttr == 10431) {
        THvoArchiveItem item;
        if (!FindFirst(fileMask, item, searchAttr, exclusionMask)) return;
        dirManager_->Items.ItemPtr(item.Internal.Index).Marked = true;
        ProcessMarkedItems(poExtract, item.Internal.Index);
        return;
    }
    MarkItems(fileMask, searchAttr, exclusionMask);
    ProcessMarkedItems(poExtract, -1);
}

// ---- Single entries --------------------------------------------------------------------

void THvoBaseArchiver::ExtractItem(int32_t index, const std::string& name, const std::string& baseDir)
{
    CheckActive();
    if (index < 0 || index >= dirManager_->Items.Count) Raise(16);
    const TDirItem& item = dirManager_->Items.ItemPtr(index);
    const bool directoryEntry = IsDirectoryEntry(item);
    const TDosDateTime stamp{item.LastModDate, item.LastModTime};
    uint32_t attributes = item.ExternalAttributes;
    std::string target = name;
    DoExtractFile(target, attributes, item.Comment);

    if (!options_.CreateDirs) {
        if (directoryEntry) return;
        target = WideExtractFileName(target);
    }
    std::vector<std::string> parts;
    if (!SafeEntryParts(target, parts)) throw EHvoException(68, Name, {Backslashed(target)});
    // Every part names a folder for a directory entry stored with its final separator;
    // otherwise the last part is the file (or, for a directory entry without one, nothing).
    const bool allFolders = directoryEntry && IsSeparator(target.back());
    const size_t folderCount = allFolders ? parts.size() : parts.size() - 1;

    const std::string base = WideIncludeTrailingBackslash(baseDir);
    const std::string folderPath = base + Joined(parts, folderCount);
    THvoTargetFolder folder;
    if (!folder.OpenBase(base)) throw EHvoException(20, Name, {folderPath});
    for (size_t i = 0; i < folderCount; ++i)
        if (!folder.Enter(parts[i])) throw EHvoException(20, Name, {folderPath});
    if (directoryEntry) return;

    const std::string& leaf = parts.back();
    const std::string targetPath = base + Joined(parts, parts.size());
    struct stat existing {};
    if (::fstatat(folder.Handle(), leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        const bool regular = S_ISREG(existing.st_mode);
        if (!options_.ReplaceReadOnly && regular && (existing.st_mode & S_IWUSR) == 0) return;
        if (!OverwriteAllowed(name, targetPath, DosToInt(stamp), DosToInt(TimeToDos(existing.st_mtime)))) return;
        if (regular)
            ::fchmodat(folder.Handle(), leaf.c_str(), (existing.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW);
        if (::unlinkat(folder.Handle(), leaf.c_str(), 0) != 0) throw EHvoException(19, Name, {targetPath});
    }
    const int fd = ::openat(folder.Handle(), leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw EHvoException(19, Name, {targetPath});

    TFileStream file(fd, targetPath);
    std::exception_ptr failure;
    try {
        ExtractItemToStream(index, file);
    } catch (...) {
        failure = std::current_exception();
    }
    // The time is set whatever happened; an invalid packed value leaves it alone.
    if (const auto moment = DosToTime(stamp)) {
        const timespec times[2] = {{0, UTIME_OMIT}, {*moment, 0}};
        ::futimens(fd, times);
    }
    const bool remove = failure || Cancelled || FileSkipped;
    // Only the read-only bit of the stored attributes has a meaning here: the rest (a Unix
    // mode of the archive's maker among them) is never applied.
    struct stat written {};
    if (!remove && options_.SetAttributes && (attributes & faReadOnly) && ::fstat(fd, &written) == 0)
        ::fchmod(fd, written.st_mode & 07777 & ~mode_t(0222));
    ::close(file.Release());
    if (remove) ::unlinkat(folder.Handle(), leaf.c_str(), 0);
    if (failure) std::rethrow_exception(failure);
}

void THvoBaseArchiver::TestItem(int32_t index, const std::string&)
{
    CheckActive();
    if (index < 0 || index >= dirManager_->Items.Count) Raise(16);
    if (IsDirectoryEntry(dirManager_->Items.ItemPtr(index))) return;
    TNullStream sink;
    ExtractItemToStream(index, sink);
}

bool THvoBaseArchiver::OverwriteAllowed(const std::string& sourceName, const std::string& targetName, uint32_t sourceAge,
                                        uint32_t targetAge)
{
    switch (options_.OverwriteMode) {
    case omPrompt: {
        std::string destination = targetName;
        bool confirm = false;
        DoConfirmOverwrite(sourceName, destination, confirm);
        return confirm;
    }
    case omAlways: return true;
    case omNever: return false;
    // Packed date-times compare unsigned: dates from 2044 on have the top bit set.
    case omIfNewer: return sourceAge > targetAge;
    case omIfOlder: return sourceAge < targetAge;
    }
    return true;
}

// ---- The loop over marked entries ------------------------------------------------------

void THvoBaseArchiver::ProcessMarkedItems(THvoProcessOperation operation, int32_t index)
{
    THvoArchiverLockHolder lock;
    CheckActive();
    THvoDirArray& items = dirManager_->Items;
    FilesDone = 0;
    FilesTotal = 0;
    Cancelled = false;
    ProgressOn = true;
    if (index >= 0) {
        FilesTotal = 1;
    } else {
        for (int32_t i = 0; i < items.Count; ++i)
            if (items.ItemPtr(i).Marked) ++FilesTotal;
    }
    const bool reports = operation == poExtract || operation == poTest;
    THvoAction action = fxaIgnore;
    if (reports) DoOverallProgress(operation, ppStart, 0.0, Cancelled);
    if (!Cancelled) {
        bool leave = false;
        for (int32_t i = std::max(index, 0); !leave && i < items.Count;) {
            // A deleted item's successor takes its index.
            bool deleted = false;
            if (items.ItemPtr(i).Marked) {
                items.ItemPtr(i).Operation = static_cast<uint8_t>(operation);
                do {
                    action = fxaIgnore;
                    const std::string name = Backslashed(items.ItemPtr(i).FileName);
                    try {
                        bool confirm = true;
                        DoConfirmProcessFile(name, operation, confirm);
                        if (!confirm) break;
                        if (workingDir_.empty()) workingDir_ = WideGetCurrentDir();
                        const std::string base = WideIncludeTrailingBackslash(baseDir_.empty() ? workingDir_ : baseDir_);
                        if (reports) {
                            DoFileProgress(name, operation, 0.0, ppStart, Cancelled);
                            if (Cancelled) {
                                leave = true;
                                break;
                            }
                        }
                        if (operation == poDelete) {
                            const int32_t count = items.Count;
                            DeleteItem(i);
                            deleted = items.Count < count;
                        }
                        if (operation == poUpdate) UpdateItem(i, name, base);
                        if (operation == poExtract) ExtractItem(i, name, base);
                        if (operation == poTest) TestItem(i, name);
                        if (reports) {
                            bool cancel = Cancelled;
                            DoFileProgress(name, operation, 100.0, ppEnd, cancel);
                            Cancelled = Cancelled || cancel;
                        }
                        if (Cancelled) {
                            leave = true;
                            break;
                        }
                        ++FilesDone;
                    } catch (const EHvoException& e) {
                        DoProcessFileFailure(name, operation, e.NativeError, e.ErrorCode, e.Message(), action);
                        if (action == fxaAbort) leave = true;
                    }
                } while (action == fxaRetry);
            }
            if (index >= 0) break;
            if (!deleted) ++i;
        }
        if (reports) {
            bool cancel = Cancelled;
            DoOverallProgress(operation, ppEnd, 100.0, cancel);
            Cancelled = Cancelled || cancel;
        }
    }
    if (Cancelled || action == fxaAbort) ResetUpdateCount();
}
