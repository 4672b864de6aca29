#include "loader/core/Watches.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/ProgramDir.h"
#include "platform/Tick.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxNames = 10;   // names tried for a new file
constexpr size_t kKeptFiles = 100;

struct LocalParts {
    std::tm tm{};
    int ms = 0;
};

LocalParts Split(TWatchTime time)
{
    using namespace std::chrono;
    const auto sinceEpoch = time.time_since_epoch();
    auto secs = duration_cast<seconds>(sinceEpoch);
    auto ms = duration_cast<milliseconds>(sinceEpoch - secs).count();
    if (ms < 0) {
        ms += 1000;
        secs -= seconds(1);
    }
    LocalParts parts;
    const std::time_t t = static_cast<std::time_t>(secs.count());
    localtime_r(&t, &parts.tm);
    parts.ms = static_cast<int>(ms);
    return parts;
}

// Exclusive flock on the log folder while old logs are counted and deleted and the new
// file is made, so that processes starting files at the same moment do not each
// delete too few. Waits a short while at most; without it the clean-up still runs.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder)
    {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        const uint64_t start = platform::GetTickCount();
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (platform::GetTickCount() - start >= 200) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            platform::Sleep(1);
        }
    }
    ~FolderLock()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

std::string FoldAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    return s;
}

} // namespace

const char* WatchLevelName(uint8_t level)
{
    static const char* const names[] = {"System", "Info", "Error", "Except", "Enter", "Leave"};
    return level < 6 ? names[level] : "?";
}

std::string FormatWatchTime(TWatchTime time)
{
    const LocalParts p = Split(time);
    return platform::Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", p.tm.tm_year + 1900, p.tm.tm_mon + 1,
                            p.tm.tm_mday, p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec, p.ms);
}

std::string FormatWatchFileStamp(TWatchTime time)
{
    const LocalParts p = Split(time);
    return platform::Format("%04d-%02d-%02d_%02d-%02d-%02d_%03d", p.tm.tm_year + 1900, p.tm.tm_mon + 1,
                            p.tm.tm_mday, p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec, p.ms);
}

TWatchSettings TWatchSettings::ForHost()
{
    TWatchSettings s;
    s.Folder = platform::ProgramFilesDir();
    // The host program, not this library: /proc/self/exe.
    s.Stem = std::filesystem::path(platform::ExecutableName()).stem().string();
    s.Clock = [] { return std::chrono::system_clock::now(); };
    return s;
}

// ---------------------------------------------------------------------------------
// TWatchStream

TWatchStream::TWatchStream(const std::filesystem::path& fileName)
{
    // Always a new file: a name that exists (another process, or another category of
    // this one, opened it in the same millisecond) moves on to the next name instead of
    // writing over its lines.
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        const int error = errno;
        std::error_code ec;
        const auto full = std::filesystem::absolute(fileName, ec);
        throw platform::EFOpenError(platform::Format("Can't open file \"%s\". Windows error: %s.",
                                                     (ec ? fileName : full).c_str(),
                                                     platform::SysErrorMessage(error).c_str()));
    }
    // Marks the file as in use for the clean-up of every process.
    while (::flock(fd_, LOCK_SH) != 0 && errno == EINTR) {
    }
}

TWatchStream::~TWatchStream()
{
    if (fd_ >= 0) ::close(fd_);
}

bool TWatchStream::Write(const std::string& bytes)
{
    ssize_t n;
    do {
        n = ::write(fd_, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    size_ += n;
    return static_cast<size_t>(n) == bytes.size();
}

// ---------------------------------------------------------------------------------
// TWatchCategory

TWatchCategory::TWatchCategory() : TWatchCategory(TWatchSettings::ForHost()) {}

TWatchCategory::TWatchCategory(TWatchSettings settings) : settings_(std::move(settings))
{
    if (!settings_.Clock) settings_.Clock = [] { return std::chrono::system_clock::now(); };
    startTime_ = settings_.Clock();
}

TWatchCategory::~TWatchCategory() = default;

int32_t TWatchCategory::MaxSize() const
{
    std::lock_guard<std::mutex> lock(logLock_);
    return settings_.MaxSize;
}

void TWatchCategory::SetMaxSize(int32_t size)
{
    std::lock_guard<std::mutex> lock(logLock_);
    settings_.MaxSize = size;
}

int TWatchCategory::OpenAttempts() const
{
    std::lock_guard<std::mutex> lock(logLock_);
    return openAttempts_;
}

namespace {
thread_local int t_writeDepth = 0;
} // namespace

bool WatchWriteInProgress() { return t_writeDepth > 0; }

void TWatchCategory::WriteLine(uint8_t level, const std::string& text) noexcept
{
    struct Depth {
        Depth() { ++t_writeDepth; }
        ~Depth() { --t_writeDepth; }
    } depth;
    try {
        const TWatchTime now = settings_.Clock();
        std::lock_guard<std::mutex> lock(logLock_);
        CheckFile();
        if (!stream_) return;
        stream_->Write(platform::Format("%s | %-6s | %s\r\n", FormatWatchTime(now).c_str(), WatchLevelName(level),
                                        text.c_str()));
    } catch (...) {
        // A line that cannot be written is lost; the caller goes on.
    }
}

void TWatchCategory::CheckFile()
{
    if (stream_ && stream_->Size() >= settings_.MaxSize) stream_.reset();
    if (stream_) return;
    if (failed_ && platform::GetTickCount() - failedAt_ < settings_.RetryPauseMs) return;
    failed_ = false;
    {
        FolderLock folderLock(settings_.Folder);
        DeleteOldLogs();
        for (int index = 1; index <= kMaxNames; ++index)
            if (OpenLogFile(index)) break;
    }
    if (!stream_) {
        // No name could be opened (a folder that cannot be written, a full disk): the
        // line is dropped and no new file is tried for a while.
        failed_ = true;
        failedAt_ = platform::GetTickCount();
        return;
    }
    // Straight into the new file: going through WriteLine would check the file again.
    stream_->Write(platform::Format("%s | %-6s | Start Time: %s\r\n", FormatWatchTime(settings_.Clock()).c_str(),
                                    WatchLevelName(wlSystem), FormatWatchTime(startTime_).c_str()));
}

bool TWatchCategory::OpenLogFile(int index)
{
    ++openAttempts_;
    try {
        const std::string stamp = FormatWatchFileStamp(settings_.Clock());
        const std::string name = index == 1 ? platform::Format("%s_%s.log", settings_.Stem.c_str(), stamp.c_str())
                                            : platform::Format("%s_%s_%d.log", settings_.Stem.c_str(), stamp.c_str(), index);
        stream_ = std::make_unique<TWatchStream>(settings_.Folder / name);
        return true;
    } catch (...) {
        return false;
    }
}

void TWatchCategory::DeleteOldLogs()
{
    // "<stem>_*.log": every name this unit makes, and not the logs of other programs
    // whose names merely begin with the stem.
    const std::string prefix = FoldAscii(settings_.Stem + "_");
    std::vector<std::pair<std::string, std::filesystem::path>> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(settings_.Folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string folded = FoldAscii(name);
        if (folded.size() < prefix.size() + 4 || folded.compare(0, prefix.size(), prefix) != 0 ||
            folded.compare(folded.size() - 4, 4, ".log") != 0)
            continue;
        std::error_code dirEc;
        if (it->is_directory(dirEc)) continue;
        files.emplace_back(folded, it->path());
    }
    if (files.size() < kKeptFiles) return;
    std::sort(files.begin(), files.end());
    const size_t toDelete = files.size() - (kKeptFiles - 1);
    size_t deleted = 0;
    for (size_t i = 0; i < files.size() && deleted < toDelete; ++i) {
        const char* name = files[i].second.c_str();
        // Only a file nobody writes may go: a writer holds a shared lock on its file.
        const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT) continue; // gone already: does not count
        if (fd < 0) return;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        const bool gone = free && ::unlink(name) == 0;
        ::close(fd);
        if (!gone) return; // in use, or not ours to delete: the clean-up stops here
        ++deleted;
    }
}

// ---------------------------------------------------------------------------------
// Shared category

namespace {
std::mutex g_sharedLock;
// A plain pointer: the library's unload work logs after the static destructors of a
// process that exits without unloading it have run.
TWatchCategory* g_shared = nullptr;
} // namespace

TWatchCategory& SharedWatchCategory()
{
    std::lock_guard<std::mutex> lock(g_sharedLock);
    if (!g_shared) g_shared = new TWatchCategory();
    return *g_shared;
}

void FreeSharedWatchCategory()
{
    std::lock_guard<std::mutex> lock(g_sharedLock);
    delete g_shared;
    g_shared = nullptr;
}

// ---------------------------------------------------------------------------------
// TWatch

TWatch::TWatch(std::string name, bool privateCategory) : name_(std::move(name))
{
    if (privateCategory) {
        own_ = std::make_unique<TWatchCategory>();
        category_ = own_.get();
    } else {
        category_ = &SharedWatchCategory();
    }
}

TWatch::TWatch(std::string name, std::unique_ptr<TWatchCategory> category)
    : name_(std::move(name)), category_(category.get()), own_(std::move(category))
{
}

TWatch::~TWatch() = default;

void TWatch::Log(uint8_t level, const std::string& text)
{
    category_->WriteLine(level, name_.empty() ? text : name_ + ": " + text);
}
