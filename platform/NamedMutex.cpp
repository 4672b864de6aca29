#include "platform/NamedMutex.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Tick.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

[[noreturn]] void RaiseOS(int code)
{
    throw EOSError(SysErrorMessage(code), code);
}

} // namespace

std::filesystem::path RuntimeDir()
{
    std::filesystem::path dir;
    if (const char* v = std::getenv(kRuntimeDirVariable); v && *v)
        dir = v;
    else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x == '/')
        dir = std::filesystem::path(x) / "mirvak";
    else
        dir = Format("/tmp/mirvak-%u", static_cast<unsigned>(::getuid()));
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir.parent_path(), ec);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) RaiseOS(errno);
    }
    // In a shared folder such as /tmp the name may have been taken by someone else.
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) RaiseOS(errno);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) RaiseOS(EACCES);
    return dir;
}

std::filesystem::path NamedMutexFile(const std::string& name)
{
    // Letters, digits, '-', '_' and '.' stay; every other byte becomes %XX, so distinct
    // names give distinct files and '/' never starts a sub-folder.
    std::string file;
    for (unsigned char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.';
        if (plain)
            file += static_cast<char>(c);
        else
            file += Format("%%%02X", c);
    }
    if (file.empty() || file == "." || file == "..") file = "%" + file;
    return RuntimeDir() / (file + ".lock");
}

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {}

NamedMutex::~NamedMutex() { Unlock(); }

bool NamedMutex::TryLock(uint32_t timeoutMs)
{
    if (fd_ >= 0) return true;
    const std::string file = NamedMutexFile(name_).string();
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) RaiseOS(errno);
    const uint64_t start = GetTickCount();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int code = errno;
            ::close(fd);
            RaiseOS(code);
        }
        const uint64_t waited = GetTickCount() - start;
        if (waited >= timeoutMs) {
            ::close(fd);
            return false;
        }
        Sleep(static_cast<uint32_t>(std::min<uint64_t>(2, timeoutMs - waited)));
    }
}

void NamedMutex::Unlock()
{
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

} // namespace platform
