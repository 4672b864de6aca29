#include "loader/io/MutexFile.h"

#include "platform/Format.h"
#include "platform/Tick.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

EMutexFileLockTimeout::EMutexFileLockTimeout(const std::string& fileName, int32_t timeoutMs)
    : platform::Exception(
          platform::Format("Unable to lock mutex (File: %s; waiting: %d msec)", fileName.c_str(), timeoutMs))
{
}

EMutexFileLockTimeout::~EMutexFileLockTimeout() = default;

TMutexFile::TMutexFile(std::string fileName, const TIdle& idle, int32_t timeoutMs) : fileName_(std::move(fileName))
{
    // Elapsed time on the monotonic tick: no wrap, no jump with the wall clock.
    const uint64_t start = platform::GetTickCount();
    const uint64_t timeout = timeoutMs > 0 ? static_cast<uint64_t>(timeoutMs) : 0;
    for (;;) {
        const bool held = TryLock();
        if (idle) idle(*this);
        if (held) return;
        if (platform::GetTickCount() - start >= timeout) break;
    }
    throw EMutexFileLockTimeout(fileName_, timeoutMs);
}

TMutexFile::~TMutexFile()
{
    if (handle_ < 0) return;
    // Removed while still locked, so that no contender can lock this file any more;
    // one that opened it before checks that the name still leads to it.
    ::unlink(fileName_.c_str());
    ::close(handle_);
}

bool TMutexFile::TryLock()
{
    // O_CLOEXEC: a child process (a restart, any program the host starts) must not
    // inherit the lock.
    const int fd = ::open(fileName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return false;
    // flock, not fcntl record locks: those do not conflict within one process and
    // vanish when any descriptor of the file is closed.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // A holder that released between our open and our flock has unlinked the file we
    // locked; a newer file may already hold the name.
    struct stat byFd {}, byName {};
    if (::fstat(fd, &byFd) != 0 || ::stat(fileName_.c_str(), &byName) != 0 || byFd.st_dev != byName.st_dev ||
        byFd.st_ino != byName.st_ino) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

// ---------------------------------------------------------------------------------

TMutexFileHolder::TMutexFileHolder() = default;

TMutexFileHolder::~TMutexFileHolder()
{
    // Newest first.
    while (!locks_.empty()) locks_.pop_back();
}

int TMutexFileHolder::Lock(const std::string& fileName, int32_t timeoutMs)
{
    lastTimeout_ = timeoutMs;
    try {
        auto file = std::make_unique<TMutexFile>(fileName, [this](TMutexFile& f) { Idle(f); }, timeoutMs);
        locks_.emplace_back(fileName, std::move(file));
        return static_cast<int>(locks_.size()) - 1;
    } catch (const EMutexFileLockTimeout&) {
        return -1;
    }
}

void TMutexFileHolder::Idle(TMutexFile&) { platform::Sleep(100); }
