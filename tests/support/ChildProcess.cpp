#include "tests/support/ChildProcess.h"

#include "tests/support/Wait.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

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
    // The leader is gone, but its children may still be on their way out with the
    // files and locks they hold: wait until no live member of the group is left.
    WaitUntil([&] { return !GroupHasLiveMembers(pid_); }, std::chrono::seconds(5));
    pid_ = -1;
}

bool GroupHasLiveMembers(pid_t group)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid pgrp ...; comm may hold blanks and parentheses.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        long ppid = 0, pgrp = 0;
        if (!(rest >> state >> ppid >> pgrp)) continue;
        if (pgrp == group && state != 'Z' && state != 'X') return true;
    }
    return false;
}

bool WaitForPath(const std::filesystem::path& path, int timeoutMs)
{
    return WaitUntil(
        [&] {
            std::error_code ec;
            return std::filesystem::exists(path, ec);
        },
        std::chrono::milliseconds(timeoutMs));
}

} // namespace testsupport
