#pragma once

#include "archive/HvoOptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Text, mask and path functions of the ZIP component. Names and paths are UTF-8;
// "per character" means per code point. On this system a path built for the file system
// uses "/"; when a name is split into its parts, "/" and "\" both separate.

// Compares the first n code points of a and b by code point value: -1, 0 or 1 (a
// shorter text that is a prefix of the other is smaller).
int CompareWideN(std::string_view a, std::string_view b, size_t n);

// Wildcard matching: "*" any run, "?" one code point. "*.*" matches everything; a final
// "*" matches any rest, even an empty one; any other "*" needs at least one code point
// of the name left ("a**" does not match "a" but matches "ab"). With ignoreCase both
// sides are upper-cased first.
bool MatchesMask(std::string_view name, std::string_view mask, bool ignoreCase);

// The path with "/" appended unless it ends with "/" or "\".
std::string WideIncludeTrailingBackslash(std::string_view path);
// The path without one final "/" or "\".
std::string WideExcludeTrailingBackslash(std::string_view path);
// Whether a folder / a file (not a folder) is at the path. A symbolic link is a file,
// never the folder it points to.
bool WideDirectoryExists(std::string_view path);
bool WideFileExists(std::string_view path);
// Creates every missing folder of the path, one at a time (mode 0777 less the umask);
// whether the folder exists afterwards. An empty path gives False.
bool WideForceDirectories(std::string_view path);
// Case mapping per code point for all of Unicode.
std::string WideLowerCase(std::string_view text);
std::string WideUpperCase(std::string_view text);
// Every occurrence of from replaced by to (an empty from changes nothing).
std::string WideStringReplace(std::string_view text, std::string_view from, std::string_view to);
// Bytes of the text as UTF-16: its UTF-16 code units x 2.
int64_t ByteLength(std::string_view text);
// Removes a file (not a folder); whether it succeeded.
bool WideDeleteFile(std::string_view path);
// Renames a file; fails when the new name exists already.
bool WideRenameFile(std::string_view oldName, std::string_view newName);

// Attribute bits as the component uses them.
inline constexpr int32_t faReadOnly = 0x01;
inline constexpr int32_t faHidden = 0x02;
inline constexpr int32_t faSysFile = 0x04;
inline constexpr int32_t faVolumeID = 0x08;
inline constexpr int32_t faDirectory = 0x10;
inline constexpr int32_t faArchive = 0x20;

struct TWideFindState;

// One entry found by WideFindFirst / WideFindNext.
struct TWideSearchRec {
    int32_t Time = 0;  // last write, MS-DOS date (high word) and time (low word), local time
    int64_t Size = 0;
    int32_t Attr = 0;  // as WideFileGetAttr reports it
    std::string Name;  // name within the folder
    std::shared_ptr<TWideFindState> FindHandle;
};

// Lists the folder part of pattern, entries whose name matches the name part of the
// pattern (MatchesMask, ignoring case), "." and ".." left out, in name order. A folder
// is listed only when attr holds faDirectory. Symbolic links are listed as files.
// 0 when an entry was found (in rec), otherwise a non-zero code; WideFindClose ends it.
int WideFindFirst(std::string_view pattern, int32_t attr, TWideSearchRec& rec);
int WideFindNext(TWideSearchRec& rec);
void WideFindClose(TWideSearchRec& rec);

// faDirectory for a folder; faReadOnly when the owner's write bit is clear; otherwise
// faArchive. faSysFile when the entry exists but cannot be examined; -1 when missing.
int32_t WideFileGetAttr(std::string_view path);
// Only faReadOnly has a meaning: set clears every write bit, clear gives the owner's
// write bit back. Whether the file's mode could be set.
bool WideFileSetAttr(std::string_view path, int32_t attr);
// The path of destName relative to the folder of baseName ("../" for each folder of the
// base that is not shared). destName unchanged when one is absolute and the other not.
std::string WideExtractRelativePath(std::string_view baseName, std::string_view destName);
// After the last separator / up to and including it / from the last "." of the name part.
std::string WideExtractFileName(std::string_view path);
std::string WideExtractFilePath(std::string_view path);
std::string WideExtractFileExt(std::string_view path);
// The absolute, lexically normalised path.
std::string WideExpandFileName(std::string_view path);
std::string WideGetCurrentDir();
// The last write time as a combined MS-DOS date and time in local time (clamped to
// 1980..2107); -1 for a folder or a missing file.
int32_t WideFileAge(std::string_view path);

// 0 when every byte is below 128; 1 for well-formed UTF-8 with at least one multi-byte
// sequence; 2 otherwise. Lead bytes 0xC2..0xF4, with the second byte limited after
// 0xE0 (0xA0..0xBF), 0xF0 (0x90..0xBF) and 0xF4 (0x80..0x8F).
int IsUtf8(std::string_view bytes);
// The 8-bit form of a name: its Windows-1251 bytes when they convert back to the same
// name (usesUtf8 False), otherwise UTF-8 cut to at most 255 bytes at a code point
// boundary (usesUtf8 True).
std::string EncodeName(std::string_view name, bool& usesUtf8);
// A stored 8-bit name as text: as UTF-8 when IsUtf8 gives 1 (wasUtf8 True), otherwise
// from Windows-1251 (pure ASCII too).
std::string DecodeName(std::string_view bytes, bool& wasUtf8);

// Free bytes available to the caller on the file system of the folder that holds (or
// will hold) the file at path: statvfs of that folder, f_bavail x f_frsize; -1 when the
// folder cannot be examined. Tests replace it through SetHvoDiskFree.
int64_t DiskFree(std::string_view path);
// Labels the medium that holds path. The file systems here have no such label: the call
// does nothing and reports failure, which callers ignore. Tests observe the text asked
// for through SetHvoVolumeLabel.
bool SetVolumeLabel(std::string_view path, std::string_view label);
// Test hooks of the two calls above; an empty function restores the default.
void SetHvoDiskFree(std::function<int64_t(const std::string& path)> diskFree);
void SetHvoVolumeLabel(std::function<bool(const std::string& path, const std::string& label)> setLabel);

// A path of this system has no drive and nothing is removable: both are False.
bool IsFloppyPath(std::string_view path);
bool IsRemovablePath(std::string_view path);

// Removes the folder and every folder below it, depth first, as far as they are empty;
// stops with False at the first subfolder that stays. True when the folder is gone
// (removed, or it did not exist). Symbolic links are never followed: a link is a file
// and keeps its folder.
bool RemoveEmptyFolders(std::string_view folder);

// Stored names. Besides paths of this system ("/" separated, absolute when they begin
// with "/"), Windows-style paths are understood: a drive ("C:", a ":" before the first
// separator), a network path ("\\server\share\...") and a root-relative "\...".

// The absolute form of fileName. defaultFolder empty: the current folder; base empty:
// defaultFolder. A name with a drive or beginning with two separators is returned
// unchanged; a name beginning with one separator is normalised on its own; any other
// non-empty name is normalised after the base folder ("." and ".." resolved). With an
// empty fileName the base itself: relative to defaultFolder unless it is absolute; a
// base of a single separator is the root "/".
std::string ExpandPath(std::string_view base, std::string_view fileName, std::string_view defaultFolder);
// WideIncludeTrailingBackslash of base, or of defaultFolder when base is empty.
std::string BaseFolder(std::string_view base, std::string_view defaultFolder);
// The name under which fileName is stored: the full path (ExpandPath against the
// expanded base) without one final separator and then one final "."; by mode the file
// name only, the path relative to the base folder (the full path when that would climb
// out of it with ".."), or the full path. The drive, the server of a network path and one
// leading separator are then cut - for spFullPathWithDrive only when the path has no
// drive to keep - and every "\" becomes "/". Empty when nothing is left (a bare "C:\").
std::string StoredName(std::string_view fileName, std::string_view base, THvoStorePathMode mode,
                       std::string_view defaultFolder);
