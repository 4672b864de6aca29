#pragma once

// Rolling diagnostic log files of the loader library: one line per event with a time
// stamp and a level, a new file once the current one reaches MaxSize, at most 100 files
// of the host program kept next to it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

using TWatchTime = std::chrono::system_clock::time_point;

// Levels of a line.
enum : uint8_t {
    wlSystem = 0,
    wlInfo = 1,
    wlError = 2,
    wlExcept = 3,
    wlEnter = 4,
    wlLeave = 5,
};

// "System", "Info", ... "Leave"; "?" for an unknown level.
const char* WatchLevelName(uint8_t level);

// Local time as "YYYY-MM-DD HH:MM:SS.zzz" (lines) and "YYYY-MM-DD_HH-MM-SS_zzz" (file names).
std::string FormatWatchTime(TWatchTime time);
std::string FormatWatchFileStamp(TWatchTime time);

// Where and when a category writes. The defaults are the host program's folder for its
// own files, the host executable's name without extension and the system clock.
struct TWatchSettings {
    std::filesystem::path Folder;
    std::string Stem;
    std::function<TWatchTime()> Clock;
    int32_t MaxSize = 1024000;
    // Pause after none of the ten names of a new file could be opened.
    uint32_t RetryPauseMs = 1000;

    static TWatchSettings ForHost();
};

// One open log file, created new (never reused) and held with a shared flock so that
// the clean-up of other processes leaves it alone while it is written.
class TWatchStream {
public:
    // Raises EFOpenError "Can't open file "%s". Windows error: %s." when the file
    // cannot be created.
    explicit TWatchStream(const std::filesystem::path& fileName);
    ~TWatchStream();
    TWatchStream(const TWatchStream&) = delete;
    TWatchStream& operator=(const TWatchStream&) = delete;

    // Appends the bytes with one write; false when the write failed.
    bool Write(const std::string& bytes);
    int64_t Size() const { return size_; }

private:
    int fd_ = -1;
    int64_t size_ = 0;
};

// Owner of one log file at a time, shared by the watches that write into it.
class TWatchCategory {
public:
    TWatchCategory();
    explicit TWatchCategory(TWatchSettings settings);
    ~TWatchCategory();
    TWatchCategory(const TWatchCategory&) = delete;
    TWatchCategory& operator=(const TWatchCategory&) = delete;

    // Writes one line; never raises (a line that cannot be written is lost).
    void WriteLine(uint8_t level, const std::string& text) noexcept;

    int32_t MaxSize() const;
    void SetMaxSize(int32_t size);
    TWatchTime StartTime() const { return startTime_; }
    // Number of files this category has tried to create so far.
    int OpenAttempts() const;

private:
    void CheckFile();
    bool OpenLogFile(int index);
    void DeleteOldLogs();

    mutable std::mutex logLock_;
    TWatchSettings settings_;
    TWatchTime startTime_;
    std::unique_ptr<TWatchStream> stream_;
    bool failed_ = false;
    uint64_t failedAt_ = 0;
    int openAttempts_ = 0;
};

// Whether the calling thread is inside WriteLine of a category, with its lock held: the
// exception logger writes nothing for a throw made there.
bool WatchWriteInProgress();

// The category of the whole process, created at the first call.
TWatchCategory& SharedWatchCategory();
// Closes and frees the shared category (when the library unloads).
void FreeSharedWatchCategory();

// A named source of log lines.
class TWatch {
public:
    // On the shared category, or on a private one of its own.
    TWatch(std::string name, bool privateCategory);
    // On a private category made by the caller.
    TWatch(std::string name, std::unique_ptr<TWatchCategory> category);
    ~TWatch();
    TWatch(const TWatch&) = delete;
    TWatch& operator=(const TWatch&) = delete;

    // "<name>: <text>", or the text alone when the watch has no name.
    void Log(uint8_t level, const std::string& text);
    void Enter(const std::string& text) { Log(wlEnter, text); }
    void Leave(const std::string& text) { Log(wlLeave, text); }

    const std::string& Name() const { return name_; }
    TWatchCategory& Category() { return *category_; }

private:
    std::string name_;
    TWatchCategory* category_;
    std::unique_ptr<TWatchCategory> own_;
};
