#pragma once

// A lock that threads and processes contend for through a file: whoever holds an
// exclusive flock on the lock file holds the lock. The lock goes with the descriptor,
// so a holder that dies never leaves it taken.

#include "platform/Exceptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// "Unable to lock mutex (File: %s; waiting: %d msec)"
class EMutexFileLockTimeout : public platform::Exception {
public:
    EMutexFileLockTimeout(const std::string& fileName, int32_t timeoutMs);
    ~EMutexFileLockTimeout() override;
};

// One held lock. The constructor retries until the time-out has passed, calling the idle
// callback after every attempt (the successful one too), and raises
// EMutexFileLockTimeout when the lock stays taken; any failure to open the file counts
// as a taken lock. The destructor removes the file and releases the lock.
class TMutexFile {
public:
    using TIdle = std::function<void(TMutexFile&)>;

    TMutexFile(std::string fileName, const TIdle& idle, int32_t timeoutMs);
    ~TMutexFile();
    TMutexFile(const TMutexFile&) = delete;
    TMutexFile& operator=(const TMutexFile&) = delete;

    // The open lock file; -1 while not held.
    int Handle() const { return handle_; }
    const std::string& FileName() const { return fileName_; }

private:
    bool TryLock();

    std::string fileName_;
    int handle_ = -1;
};

// The locks a process holds, by file name. Destroying the holder releases them all.
class TMutexFileHolder {
public:
    TMutexFileHolder();
    virtual ~TMutexFileHolder();
    TMutexFileHolder(const TMutexFileHolder&) = delete;
    TMutexFileHolder& operator=(const TMutexFileHolder&) = delete;

    // Takes the lock of the file, waiting at most timeoutMs; the index of the lock in
    // the holder's list, or -1 when it stayed taken.
    int Lock(const std::string& fileName, int32_t timeoutMs);
    int32_t LastTimeout() const { return lastTimeout_; }
    int Count() const { return static_cast<int>(locks_.size()); }
    const std::string& Names(int index) const { return locks_.at(static_cast<size_t>(index)).first; }

protected:
    // Called after every attempt to take a lock: waits 100 ms.
    virtual void Idle(TMutexFile& file);

private:
    std::vector<std::pair<std::string, std::unique_ptr<TMutexFile>>> locks_;
    int32_t lastTimeout_ = 0;
};
