#pragma once

#include "tests/support/Wait.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace testsupport {

// A shell command run in the background in a process group of its own; the destructor
// kills the group (the command and whatever it started) and reaps the shell.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& command);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    // Kills the group now and waits for the shell and for every live member to end.
    void Kill();

private:
    pid_t pid_ = -1;
};

// Whether a process of the group is still running (zombies do not count).
bool GroupHasLiveMembers(pid_t group);

// Polls until the path exists, at most timeoutMs; whether it does.
bool WaitForPath(const std::filesystem::path& path, int timeoutMs = static_cast<int>(kWaitDeadline.count()));

} // namespace testsupport
