#include "loader/io/MutexFile.h"
#include "platform/Format.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;

extern char** environ;

namespace {

// Counts the idle calls of Lock and keeps the holder's own wait.
class CountingHolder : public TMutexFileHolder {
public:
    int idles = 0;

protected:
    void Idle(TMutexFile& file) override
    {
        ++idles;
        TMutexFileHolder::Idle(file);
    }
};

// util-linux flock holding a file in a process of its own until stopped.
class ForeignHolder {
public:
    explicit ForeignHolder(const fs::path& file)
    {
        EXPECT_EQ(access("/usr/bin/flock", X_OK), 0) << "flock is missing (Debian package util-linux)";
        const std::string cmd = "/usr/bin/flock -n '" + file.string() + "' sh -c 'echo $$; exec sleep 30'";
        pipe_ = popen(cmd.c_str(), "r");
        char buf[32] = {};
        if (pipe_ && fgets(buf, sizeof buf, pipe_)) pid_ = std::atoi(buf);
        EXPECT_GT(pid_, 0) << "flock did not take " << file;
    }
    ~ForeignHolder() { Stop(); }
    void Stop()
    {
        if (pid_ > 0) kill(pid_, SIGTERM);
        pid_ = 0;
        if (pipe_) pclose(pipe_);
        pipe_ = nullptr;
    }

private:
    FILE* pipe_ = nullptr;
    pid_t pid_ = 0;
};

// Whether util-linux flock could take the file at once.
bool ForeignCanLock(const fs::path& file) { return RunCommand("/usr/bin/flock -n '" + file.string() + "' true") == 0; }

long long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(MutexFile, WaitsForAnotherProgram)
{
    TempDir dir;
    const fs::path lock = dir / "Sarnupolex.lck";
    ForeignHolder foreign(lock);

    CountingHolder holder;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(holder.Lock(lock.string(), 1000), -1);
    EXPECT_GE(MsSince(start), 1000);
    EXPECT_EQ(holder.LastTimeout(), 1000);

    holder.idles = 0;
    EXPECT_EQ(holder.Lock(lock.string(), 0), -1);
    EXPECT_EQ(holder.idles, 1);
    EXPECT_EQ(holder.LastTimeout(), 0);

    try {
        TMutexFile direct(lock.string(), nullptr, 0);
        ADD_FAILURE() << "locked a taken file";
    } catch (const EMutexFileLockTimeout& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to lock mutex (File: " + lock.string() + "; waiting: 0 msec)");
    }

    // Free again: taken at the first attempt.
    foreign.Stop();
    holder.idles = 0;
    EXPECT_EQ(holder.Lock(lock.string(), 1000), 0);
    EXPECT_EQ(holder.idles, 1);
    EXPECT_EQ(holder.Lock((dir / "second.lck").string(), 0), 1);
    EXPECT_EQ(holder.Count(), 2);
    EXPECT_EQ(holder.Names(1), (dir / "second.lck").string());
}

TEST(MutexFile, OtherProgramsSeeTheLockAndItsEnd)
{
    TempDir dir;
    const fs::path lock = dir / "a.lck";
    {
        CountingHolder holder;
        ASSERT_EQ(holder.Lock(lock.string(), 0), 0);
        EXPECT_TRUE(fs::exists(lock));
        EXPECT_FALSE(ForeignCanLock(lock));
    }
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_TRUE(ForeignCanLock(lock));
}

TEST(MutexFile, HeldAgainstItsOwnProcess)
{
    TempDir dir;
    const std::string lock = (dir / "b.lck").string();
    int idles = 0;
    const TMutexFile::TIdle count = [&idles](TMutexFile&) { ++idles; };
    {
        TMutexFile first(lock, count, 0);
        EXPECT_GE(first.Handle(), 0);
        EXPECT_THROW(TMutexFile(lock, count, 50), EMutexFileLockTimeout);
        CountingHolder holder;
        EXPECT_EQ(holder.Lock(lock, 0), -1);
    }
    idles = 0;
    TMutexFile again(lock, count, 0);
    EXPECT_EQ(idles, 1);

    // A folder that does not exist counts as a taken lock until the time-out.
    EXPECT_THROW(TMutexFile((dir / "none" / "c.lck").string(), count, 0), EMutexFileLockTimeout);
}

TEST(MutexFile, KilledHolderLeavesNoLock)
{
    TempDir dir;
    const fs::path lock = dir / "d.lck";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        try {
            TMutexFile held(lock.string(), nullptr, 1000);
            (void)!write(ready[1], "x", 1);
            pause();
        } catch (...) {
        }
        _exit(1);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    CountingHolder holder;
    EXPECT_EQ(holder.Lock(lock.string(), 0), -1);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(fs::exists(lock)); // left behind, but nobody holds it
    holder.idles = 0;
    EXPECT_EQ(holder.Lock(lock.string(), 0), 0);
    EXPECT_EQ(holder.idles, 1);
}

TEST(MutexFile, ProcessesTakeTurns)
{
    TempDir dir;
    const std::string lock = (dir / "e.lck").string();
    const fs::path counter = dir / "counter";
    const fs::path journal = dir / "journal";
    testsupport::WriteFile(counter, "0");
    constexpr int kProcesses = 8, kCycles = 200;

    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            int rc = 0;
            try {
                const int log = open(journal.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
                const std::string enter = platform::Format("enter %d\n", static_cast<int>(getpid()));
                const std::string leave = platform::Format("leave %d\n", static_cast<int>(getpid()));
                for (int i = 0; i < kCycles; ++i) {
                    TMutexFile held(lock, [](TMutexFile&) { usleep(50); }, 120000);
                    (void)!write(log, enter.data(), enter.size());
                    char buf[32] = {};
                    const int fd = open(counter.c_str(), O_RDWR);
                    (void)!pread(fd, buf, sizeof buf - 1, 0);
                    const std::string next = std::to_string(std::atoi(buf) + 1);
                    (void)!ftruncate(fd, 0);
                    (void)!pwrite(fd, next.data(), next.size(), 0);
                    close(fd);
                    (void)!write(log, leave.data(), leave.size());
                }
                close(log);
            } catch (...) {
                rc = 1;
            }
            _exit(rc);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    EXPECT_EQ(ReadFile(counter), std::to_string(kProcesses * kCycles));
    std::istringstream lines(ReadFile(journal));
    std::string word, inside;
    int pid = 0, count = 0;
    while (lines >> word >> pid) {
        const std::string who = std::to_string(pid);
        if (word == "enter") {
            ASSERT_EQ(inside, "") << "enter " << who << " while " << inside << " holds the lock";
            inside = who;
        } else {
            ASSERT_EQ(inside, who) << "leave " << who;
            inside.clear();
        }
        ++count;
    }
    EXPECT_EQ(count, 2 * kProcesses * kCycles);
    EXPECT_FALSE(fs::exists(lock));
}

TEST(MutexFile, ChildProcessesDoNotInheritTheLock)
{
    TempDir dir;
    const fs::path lock = dir / "f.lck";
    pid_t sleeper = 0;
    {
        CountingHolder holder;
        ASSERT_EQ(holder.Lock(lock.string(), 0), 0);
        char arg0[] = "sleep", arg1[] = "5";
        char* argv[] = {arg0, arg1, nullptr};
        ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, argv, environ), 0);
        // posix_spawn returns once the child runs "sleep": its descriptors are final.
        for (const auto& e : fs::directory_iterator(platform::Format("/proc/%d/fd", static_cast<int>(sleeper)))) {
            std::error_code ec;
            EXPECT_NE(fs::read_symlink(e.path(), ec), lock) << "the child holds the lock file";
        }
    }
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_TRUE(ForeignCanLock(lock));
    kill(sleeper, SIGTERM);
    waitpid(sleeper, nullptr, 0);
}
