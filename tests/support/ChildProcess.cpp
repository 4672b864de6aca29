#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace testsupport {

ChildProcess::ChildProcess(const std::string& command)
{
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, &attr, const_cast<char* const*>(argv), environ) == 0) pid_ = pid;
    posix_spawnattr_destroy(&attr);
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Kill()
{
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

bool WaitForPath(const std::filesystem::path& path, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::error_code ec;
    while (!std::filesystem::exists(path, ec)) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace testsupport
