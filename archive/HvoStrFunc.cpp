#include "archive/HvoStrFunc.h"

#include "archive/HvoRecords.h"
#include "platform/CodePages.h"
#include "platform/WideCase.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

std::u32string CodePointsOf(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) out += platform::DecodeUtf8(text, pos);
    return out;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The path without trailing separators (the root "/" stays), so that lstat looks at the
// entry itself and not at the target of a link.
std::string WithoutTrailingSeparators(std::string_view path)
{
    std::string p(path);
    while (p.size() > 1 && IsSeparator(p.back())) p.pop_back();
    return p;
}

bool LStat(std::string_view path, struct stat& st) { return ::lstat(WithoutTrailingSeparators(path).c_str(), &st) == 0; }

int32_t AttrOfMode(mode_t mode)
{
    if (S_ISDIR(mode)) return faDirectory;
    return (mode & S_IWUSR) ? faArchive : faReadOnly;
}

// Wildcard matcher over code points; failed (name, mask) positions are remembered, so a
// mask with many "*" stays polynomial.
class MaskMatcher {
public:
    MaskMatcher(std::u32string name, std::u32string mask)
        : name_(std::move(name)), mask_(std::move(mask)), failed_((name_.size() + 1) * (mask_.size() + 1), false)
    {
    }

    bool Match(size_t i, size_t j)
    {
        const size_t key = i * (mask_.size() + 1) + j;
        if (failed_[key]) return false;
        const bool result = Walk(i, j);
        if (!result) failed_[key] = true;
        return result;
    }

private:
    bool Walk(size_t i, size_t j)
    {
        for (;;) {
            if (mask_.size() - j == 1 && mask_[j] == U'*') return true;
            if (i == name_.size()) return j == mask_.size();
            if (j == mask_.size()) return false;
            if (mask_[j] == U'*') {
                for (size_t k = i; k < name_.size(); ++k)
                    if (Match(k, j + 1)) return true;
                return false;
            }
            if (mask_[j] != U'?' && mask_[j] != name_[i]) return false;
            ++i;
            ++j;
        }
    }

    std::u32string name_;
    std::u32string mask_;
    std::vector<bool> failed_;
};

} // namespace

int CompareWideN(std::string_view a, std::string_view b, size_t n)
{
    const std::u32string ca = CodePointsOf(a).substr(0, n);
    const std::u32string cb = CodePointsOf(b).substr(0, n);
    const int c = ca.compare(cb);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool MatchesMask(std::string_view name, std::string_view mask, bool ignoreCase)
{
    if (mask == "*.*") return true;
    std::u32string n = CodePointsOf(name);
    std::u32string m = CodePointsOf(mask);
    if (ignoreCase) {
        for (char32_t& c : n) c = platform::UpperCaseChar(c);
        for (char32_t& c : m) c = platform::UpperCaseChar(c);
    }
    MaskMatcher matcher(std::move(n), std::move(m));
    return matcher.Match(0, 0);
}

std::string WideIncludeTrailingBackslash(std::string_view path)
{
    std::string p(path);
    if (p.empty() || !IsSeparator(p.back())) p += '/';
    return p;
}

std::string WideExcludeTrailingBackslash(std::string_view path)
{
    std::string p(path);
    if (!p.empty() && IsSeparator(p.back())) p.pop_back();
    return p;
}

bool WideDirectoryExists(std::string_view path)
{
    struct stat st {};
    return !path.empty() && LStat(path, st) && S_ISDIR(st.st_mode);
}

bool WideFileExists(std::string_view path)
{
    struct stat st {};
    return !path.empty() && LStat(path, st) && !S_ISDIR(st.st_mode);
}

bool WideForceDirectories(std::string_view path)
{
    const std::string target = WithoutTrailingSeparators(path);
    if (target.empty()) return false;
    size_t pos = 0;
    for (;;) {
        pos = target.find('/', pos + 1);
        const std::string part = target.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0) {
            // An existing folder (also through a link) is fine; anything else is not.
            struct stat st {};
            if (errno != EEXIST || ::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        }
        if (pos == std::string::npos) return true;
    }
}

std::string WideLowerCase(std::string_view text) { return platform::LowerCaseUtf8(text); }
std::string WideUpperCase(std::string_view text) { return platform::UpperCaseUtf8(text); }

std::string WideStringReplace(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty()) return std::string(text);
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(text.substr(pos));
    return out;
}

int64_t ByteLength(std::string_view text)
{
    int64_t units = 0;
    for (char32_t c : CodePointsOf(text)) units += c > 0xFFFF ? 2 : 1;
    return units * 2;
}

bool WideDeleteFile(std::string_view path) { return ::unlink(std::string(path).c_str()) == 0; }

bool WideRenameFile(std::string_view oldName, std::string_view newName)
{
    const std::string from(oldName), to(newName);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

struct TWideFindState {
    std::vector<TWideSearchRec> entries;
    size_t next = 0;
};

int WideFindFirst(std::string_view pattern, int32_t attr, TWideSearchRec& rec)
{
    WideFindClose(rec);
    const std::string folder = WideExtractFilePath(pattern);
    const std::string mask = WideExtractFileName(pattern);
    const std::string dirPath = folder.empty() ? "." : folder;
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return errno ? errno : ENOENT;
    auto state = std::make_shared<TWideFindState>();
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || !MatchesMask(name, mask, true)) continue;
        struct stat st {};
        TWideSearchRec found;
        found.Name = name;
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            found.Attr = AttrOfMode(st.st_mode);
            found.Size = S_ISDIR(st.st_mode) ? 0 : st.st_size;
            found.Time = static_cast<int32_t>(DosToInt(TimeToDos(st.st_mtime)));
        } else {
            found.Attr = faSysFile;
        }
        if ((found.Attr & faDirectory) && !(attr & faDirectory)) continue;
        state->entries.push_back(std::move(found));
    }
    ::closedir(dir);
    std::sort(state->entries.begin(), state->entries.end(),
              [](const TWideSearchRec& a, const TWideSearchRec& b) { return a.Name < b.Name; });
    rec.FindHandle = state;
    return WideFindNext(rec);
}

int WideFindNext(TWideSearchRec& rec)
{
    TWideFindState* state = rec.FindHandle.get();
    if (!state || state->next >= state->entries.size()) return ENOENT;
    const TWideSearchRec& e = state->entries[state->next++];
    rec.Name = e.Name;
    rec.Attr = e.Attr;
    rec.Size = e.Size;
    rec.Time = e.Time;
    return 0;
}

void WideFindClose(TWideSearchRec& rec) { rec.FindHandle.reset(); }

int32_t WideFileGetAttr(std::string_view path)
{
    struct stat st {};
    if (LStat(path, st)) return AttrOfMode(st.st_mode);
    return errno == EACCES || errno == EOVERFLOW || errno == EIO ? faSysFile : -1;
}

bool WideFileSetAttr(std::string_view path, int32_t attr)
{
    const std::string p(path);
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return false;
    const mode_t mode = (attr & faReadOnly) ? (st.st_mode & ~mode_t(0222)) : (st.st_mode | S_IWUSR);
    return ::chmod(p.c_str(), mode & 07777) == 0;
}

namespace {

// The folder names of a path (separators "/" and "\"), empty parts left out.
std::vector<std::string> FoldersOf(std::string_view folderPath)
{
    std::vector<std::string> out;
    std::string part;
    for (char c : folderPath) {
        if (IsSeparator(c)) {
            if (!part.empty()) out.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) out.push_back(part);
    return out;
}

} // namespace

std::string WideExtractRelativePath(std::string_view baseName, std::string_view destName)
{
    const std::string basePath = WideExtractFilePath(baseName);
    const std::string destPath = WideExtractFilePath(destName);
    const bool baseAbsolute = !basePath.empty() && IsSeparator(basePath[0]);
    const bool destAbsolute = !destPath.empty() && IsSeparator(destPath[0]);
    if (baseAbsolute != destAbsolute) return std::string(destName);
    const std::vector<std::string> base = FoldersOf(basePath);
    const std::vector<std::string> dest = FoldersOf(destPath);
    size_t common = 0;
    while (common < base.size() && common < dest.size() && base[common] == dest[common]) ++common;
    std::string out;
    for (size_t i = common; i < base.size(); ++i) out += "../";
    for (size_t i = common; i < dest.size(); ++i) out += dest[i] + "/";
    return out + WideExtractFileName(destName);
}

std::string WideExtractFileName(std::string_view path)
{
    const size_t sep = path.find_last_of("/\\");
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string WideExtractFilePath(std::string_view path)
{
    const size_t sep = path.find_last_of("/\\");
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string WideExtractFileExt(std::string_view path)
{
    const std::string name = WideExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string WideExpandFileName(std::string_view path)
{
    std::error_code ec;
    const std::filesystem::path p = path.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(path);
    const std::filesystem::path full = std::filesystem::absolute(p, ec);
    return (ec ? p : full).lexically_normal().string();
}

std::string WideGetCurrentDir()
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

int32_t WideFileAge(std::string_view path)
{
    struct stat st {};
    if (::stat(std::string(path).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int32_t>(DosToInt(TimeToDos(st.st_mtime)));
}

int IsUtf8(std::string_view bytes)
{
    bool multi = false;
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int more;
        uint8_t low = 0x80, high = 0xBF; // range of the byte after the lead
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b == 0xE0) {
            more = 2;
            low = 0xA0;
        } else if (b >= 0xE1 && b <= 0xEF) {
            more = 2;
        } else if (b == 0xF0) {
            more = 3;
            low = 0x90;
        } else if (b >= 0xF1 && b <= 0xF3) {
            more = 3;
        } else if (b == 0xF4) {
            more = 3;
            high = 0x8F;
        } else {
            return 2;
        }
        if (n - i - 1 < static_cast<size_t>(more)) return 2;
        for (int k = 1; k <= more; ++k) {
            const auto c = static_cast<uint8_t>(bytes[i + static_cast<size_t>(k)]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 2;
        }
        i += static_cast<size_t>(more) + 1;
        multi = true;
    }
    return multi ? 1 : 0;
}

std::string EncodeName(std::string_view name, bool& usesUtf8)
{
    std::string ansi = platform::Utf8ToAnsi(name);
    usesUtf8 = platform::AnsiToUtf8(ansi) != name;
    if (!usesUtf8) return ansi;
    constexpr size_t kMaxBytes = 255;
    if (name.size() <= kMaxBytes) return std::string(name);
    // Cut before the sequence that would not fit whole.
    size_t cut = kMaxBytes;
    while (cut > 0 && (static_cast<uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
    return std::string(name.substr(0, cut));
}

std::string DecodeName(std::string_view bytes, bool& wasUtf8)
{
    wasUtf8 = IsUtf8(bytes) == 1;
    return wasUtf8 ? std::string(bytes) : platform::AnsiToUtf8(bytes);
}

namespace {

std::function<int64_t(const std::string&)> DiskFreeHook;
std::function<bool(const std::string&, const std::string&)> VolumeLabelHook;

} // namespace

void SetHvoDiskFree(std::function<int64_t(const std::string& path)> diskFree) { DiskFreeHook = std::move(diskFree); }

void SetHvoVolumeLabel(std::function<bool(const std::string& path, const std::string& label)> setLabel)
{
    VolumeLabelHook = std::move(setLabel);
}

int64_t DiskFree(std::string_view path)
{
    if (DiskFreeHook) return DiskFreeHook(std::string(path));
    std::string folder = WideExtractFilePath(path);
    if (folder.empty()) folder = ".";
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return -1;
    return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

bool SetVolumeLabel(std::string_view path, std::string_view label)
{
    if (VolumeLabelHook) return VolumeLabelHook(std::string(path), std::string(label));
    return false;
}

bool IsFloppyPath(std::string_view) { return false; }
bool IsRemovablePath(std::string_view) { return false; }

bool RemoveEmptyFolders(std::string_view folder)
{
    const std::string path = WithoutTrailingSeparators(folder);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return false;
    std::vector<std::string> subfolders;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            struct stat est {};
            if (name != "." && name != ".." && ::fstatat(::dirfd(dir), name.c_str(), &est, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(est.st_mode))
                subfolders.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::string& sub : subfolders)
        if (!RemoveEmptyFolders(path + "/" + sub)) return false;
    return ::rmdir(path.c_str()) == 0;
}

namespace {

// Length of a drive prefix ("C:"): the text up to a ":" that comes before any separator.
size_t DriveLength(std::string_view path)
{
    const size_t colon = path.find(':');
    if (colon == std::string_view::npos) return 0;
    const size_t sep = path.find_first_of("/\\");
    return (sep == std::string_view::npos || colon < sep) ? colon + 1 : 0;
}

bool BeginsWithTwoSeparators(std::string_view path)
{
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// Resolves "." and ".." lexically below the root "/"; "/" separates the result. A
// trailing separator is kept.
std::string NormaliseRooted(std::string_view path)
{
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : path) {
        if (IsSeparator(c)) flush();
        else part += c;
    }
    flush();
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    if (out.empty() || (!path.empty() && IsSeparator(path.back()))) out += '/';
    return out;
}

// Normalises a path with a drive: the drive, then the rooted rest.
std::string NormaliseWithDrive(std::string_view path)
{
    const size_t drive = DriveLength(path);
    return std::string(path.substr(0, drive)) + NormaliseRooted(path.substr(drive));
}

} // namespace

std::string BaseFolder(std::string_view base, std::string_view defaultFolder)
{
    return WideIncludeTrailingBackslash(base.empty() ? defaultFolder : base);
}

std::string ExpandPath(std::string_view base, std::string_view fileName, std::string_view defaultFolder)
{
    const std::string folder = defaultFolder.empty() ? WideGetCurrentDir() : std::string(defaultFolder);
    const std::string baseFolder = BaseFolder(base, folder);
    if (fileName.empty()) {
        if (DriveLength(baseFolder) > 0) return NormaliseWithDrive(baseFolder);
        if (BeginsWithTwoSeparators(baseFolder) && baseFolder.size() > 2) return baseFolder;
        if (IsSeparator(baseFolder[0])) return NormaliseRooted(baseFolder);
        return ExpandPath(folder, baseFolder, folder);
    }
    if (fileName[0] == '/' && !BeginsWithTwoSeparators(fileName)) return NormaliseRooted(fileName);
    if (DriveLength(fileName) > 0 || BeginsWithTwoSeparators(fileName)) return std::string(fileName);
    if (IsSeparator(fileName[0])) return NormaliseRooted(fileName);
    const std::string joined = baseFolder + std::string(fileName);
    if (DriveLength(joined) > 0) return NormaliseWithDrive(joined);
    if (BeginsWithTwoSeparators(joined)) return joined;
    if (IsSeparator(joined[0])) return NormaliseRooted(joined);
    return NormaliseRooted(WideIncludeTrailingBackslash(WideGetCurrentDir()) + joined);
}

std::string StoredName(std::string_view fileName, std::string_view base, THvoStorePathMode mode,
                       std::string_view defaultFolder)
{
    std::string full = ExpandPath(ExpandPath(base, "", defaultFolder), fileName, defaultFolder);
    if (!full.empty() && IsSeparator(full.back())) full.pop_back();
    if (!full.empty() && full.back() == '.') full.pop_back();
    std::string name;
    bool cutDrive = true;
    switch (mode) {
    case spNoPath:
        name = WideExtractFileName(full);
        break;
    case spRelativePath: {
        const std::string folder = ExpandPath(BaseFolder(base, defaultFolder), "", defaultFolder);
        name = WideExtractRelativePath(WideIncludeTrailingBackslash(folder), full);
        if (name.find("..\\") != std::string::npos || name.find("../") != std::string::npos) name = full;
        break;
    }
    case spFullPath:
        name = full;
        break;
    case spFullPathWithDrive:
        name = full;
        cutDrive = DriveLength(full) == 0;  // no drive on this system's own paths
        break;
    }
    size_t start = 0;
    if (cutDrive) {
        const size_t drive = DriveLength(name);
        if (drive > 0) {
            start = drive;
        } else if (BeginsWithTwoSeparators(name)) {
            const size_t server = name.find_first_of("/\\", 2);
            start = server == std::string::npos ? name.size() : server + 1;
        }
        if (start < name.size() && IsSeparator(name[start])) ++start;
    }
    std::string out = start < name.size() ? name.substr(start) : std::string();
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}
