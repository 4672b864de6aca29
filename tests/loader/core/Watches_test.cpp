#include "loader/core/Watches.h"
#include "platform/Format.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::Format;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// 2026-12-10 14:03:07.512 local time, worked out once: the C library's time zone state,
// which mktime reloads, is guarded by a lock that ThreadSanitizer cannot see, and the
// clock is read by many threads at once.
TWatchTime BaseTime()
{
    static const TWatchTime base = [] {
        std::tm tm{};
        tm.tm_year = 2026 - 1900;
        tm.tm_mon = 11;
        tm.tm_mday = 10;
        tm.tm_hour = 14;
        tm.tm_min = 3;
        tm.tm_sec = 7;
        tm.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(512);
    }();
    return base;
}

// A clock that stands still, or moves one millisecond with every reading.
std::function<TWatchTime()> TestClock(bool moving)
{
    auto ticks = std::make_shared<std::atomic<int64_t>>(0);
    return [ticks, moving] { return BaseTime() + std::chrono::milliseconds(moving ? ticks->fetch_add(1) : 0); };
}

TWatchSettings Settings(const fs::path& folder, std::function<TWatchTime()> clock, int32_t maxSize = 1024000)
{
    TWatchSettings s;
    s.Folder = folder;
    s.Stem = "Host";
    s.Clock = std::move(clock);
    s.MaxSize = maxSize;
    return s;
}

const std::regex kLine(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \| (System|Info  |Error |Except|Enter |Leave ) \| .*$)");
const std::regex kLogName(R"(^Host_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_\d{3}(_([2-9]|10))?\.log$)");

struct Line {
    std::string level, text;
};

// The lines of one file; every line must have the full form and end with CR LF.
std::vector<Line> ParseLog(const fs::path& file)
{
    const std::string bytes = ReadFile(file);
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << file << ": unterminated line";
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(pos, end - pos);
        EXPECT_TRUE(std::regex_match(line, kLine)) << file << ": " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        if (line.size() >= 35) lines.push_back({line.substr(26, 6), line.substr(35)});
        pos = end + 2;
    }
    return lines;
}

std::vector<fs::path> Logs(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (std::regex_match(e.path().filename().string(), kLogName)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string StartLine(const TWatchCategory& c) { return "Start Time: " + FormatWatchTime(c.StartTime()); }

// Lines of one writer process: "pid=<pid> seq=<n>".
bool ParseTagged(const std::string& text, int& pid, int& seq) { return std::sscanf(text.c_str(), "pid=%d seq=%d", &pid, &seq) == 2; }

// Forks writer processes that wait at a gate and then write their lines at once. Each
// keeps its log open until every writer has written its lines, so that the writers
// overlap however the machine schedules them.
class Writers {
public:
    Writers(const fs::path& folder, int count, int lines, int32_t maxSize)
    {
        int gate[2], done[2], release[2];
        EXPECT_EQ(pipe(gate), 0);
        EXPECT_EQ(pipe(done), 0);
        EXPECT_EQ(pipe(release), 0);
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(gate[1]);
                close(done[0]);
                close(release[1]);
                char c;
                while (read(gate[0], &c, 1) < 0 && errno == EINTR) {
                }
                {
                    TWatchCategory cat(Settings(folder, [] { return std::chrono::system_clock::now(); }, maxSize));
                    for (int n = 0; n < lines; ++n) {
                        cat.WriteLine(wlInfo, Format("pid=%d seq=%d", static_cast<int>(getpid()), n));
                        usleep(200);
                    }
                    (void)!write(done[1], "d", 1);
                    while (read(release[0], &c, 1) < 0 && errno == EINTR) {
                    }
                }
                _exit(0);
            }
            pids_.push_back(pid);
        }
        close(gate[0]);
        close(done[1]);
        close(release[0]);
        done_ = done[0];
        release_ = release[1];
        close(gate[1]); // opens the gate
    }
    void Wait()
    {
        // Every writer has written its lines (or ended): the logs may close.
        char c;
        for (size_t written = 0; written < pids_.size();) {
            const ssize_t n = read(done_, &c, 1);
            if (n == 0 || (n < 0 && errno != EINTR)) break;
            if (n > 0) ++written;
        }
        close(done_);
        close(release_);
        for (pid_t pid : pids_) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
    const std::vector<pid_t>& Pids() const { return pids_; }

private:
    std::vector<pid_t> pids_;
    int done_ = -1, release_ = -1;
};

// Reads the writers' lines: per pid its files ordered by their first sequence number.
// Checks that no file mixes processes and that each pid's lines, in file order, are
// the numbers first..lines-1 without a gap; returns first per pid.
std::map<int, int> CheckWriterLogs(const fs::path& folder, int lines)
{
    std::map<int, std::vector<std::vector<int>>> byPid;
    for (const fs::path& f : Logs(folder)) {
        int filePid = -1;
        std::vector<int> seqs;
        for (const Line& l : ParseLog(f)) {
            if (l.level == "System") continue;
            int pid, seq;
            EXPECT_TRUE(ParseTagged(l.text, pid, seq)) << l.text;
            if (filePid < 0) filePid = pid;
            EXPECT_EQ(pid, filePid) << f << " holds lines of two processes";
            seqs.push_back(seq);
        }
        if (filePid >= 0) byPid[filePid].push_back(seqs);
    }
    std::map<int, int> first;
    for (auto& [pid, files] : byPid) {
        std::sort(files.begin(), files.end());
        std::vector<int> all;
        for (const auto& s : files) all.insert(all.end(), s.begin(), s.end());
        if (all.empty()) continue;
        bool unbroken = true;
        for (size_t i = 0; i < all.size() && unbroken; ++i) unbroken = all[i] == all[0] + static_cast<int>(i);
        EXPECT_TRUE(unbroken) << "pid " << pid << " lost lines between " << all.front() << " and " << all.back();
        EXPECT_EQ(all.back(), lines - 1) << "pid " << pid;
        first[pid] = all[0];
    }
    return first;
}

void RequireFlockTool()
{
    ASSERT_EQ(access("/usr/bin/flock", X_OK), 0) << "flock is missing (Debian package util-linux)";
}

} // namespace

TEST(Watches, LineFormat)
{
    TempDir dir;
    TWatch named("N", std::make_unique<TWatchCategory>(Settings(dir.path(), TestClock(false))));
    for (uint8_t level = wlSystem; level <= wlLeave; ++level) named.Log(level, Format("level %d", level));
    named.Enter("in");
    named.Leave("out");
    TWatch nameless("", std::make_unique<TWatchCategory>(Settings(dir / "other", TestClock(false))));
    fs::create_directory(dir / "other");
    nameless.Log(wlInfo, "Привет, журнал");

    const fs::path file = dir / "Host_2026-12-10_14-03-07_512.log";
    ASSERT_TRUE(fs::exists(file));
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(bytes.rfind("2026-12-10 14:03:07.512 | System | Start Time: 2026-12-10 14:03:07.512\r\n", 0), 0u);
    EXPECT_NE(bytes.find("2026-12-10 14:03:07.512 | Info   | N: level 1\r\n"), std::string::npos);
    const std::vector<Line> lines = ParseLog(file);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"System", "Start Time: 2026-12-10 14:03:07.512"},
        {"System", "N: level 0"}, {"Info  ", "N: level 1"}, {"Error ", "N: level 2"},
        {"Except", "N: level 3"}, {"Enter ", "N: level 4"}, {"Leave ", "N: level 5"},
        {"Enter ", "N: in"},      {"Leave ", "N: out"},
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].level, expected[i].first);
        EXPECT_EQ(lines[i].text, expected[i].second);
    }

    const std::vector<Line> other = ParseLog(dir / "other" / "Host_2026-12-10_14-03-07_512.log");
    ASSERT_EQ(other.size(), 2u);
    EXPECT_EQ(other[1].text, "Привет, журнал"); // UTF-8 bytes as they are
}

TEST(Watches, SharedCategoryOfTheHost)
{
    TempDir dir;
    testsupport::ScopedEnv env("MIRVAK_PROGRAM_DIR", dir.path().string());
    {
        TWatch core("", false);
        TWatch other("Other", false);
        EXPECT_EQ(&core.Category(), &other.Category());
        EXPECT_EQ(&core.Category(), &SharedWatchCategory());
        core.Log(wlInfo, "from the core");
        other.Log(wlExcept, "from elsewhere");
        TWatch own("Own", true);
        EXPECT_NE(&own.Category(), &core.Category());
    }
    FreeSharedWatchCategory();

    // The host executable's name without extension, in the folder for the program's files.
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir.path())) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u) << "the private category wrote nothing, so made no file";
    EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                                 std::regex(R"(^test_loader_core_Watches_test_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_\d{3}\.log$)")))
        << files[0];
    const std::vector<Line> lines = ParseLog(files[0]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].text, "from the core");
    EXPECT_EQ(lines[2].text, "Other: from elsewhere");
}

TEST(Watches, NewFileOnceTheSizeIsReached)
{
    TempDir dir;
    TWatchCategory cat(Settings(dir.path(), TestClock(true), 200));
    EXPECT_EQ(cat.MaxSize(), 200);
    for (int i = 0; i < 60; ++i) cat.WriteLine(wlInfo, Format("line %02d", i));

    const std::vector<fs::path> files = Logs(dir.path());
    ASSERT_GT(files.size(), 5u);
    std::vector<std::string> texts;
    for (size_t f = 0; f < files.size(); ++f) {
        const std::vector<Line> lines = ParseLog(files[f]);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].level, "System");
        EXPECT_EQ(lines[0].text, StartLine(cat));
        for (size_t i = 1; i < lines.size(); ++i) texts.push_back(lines[i].text);
        // The last line is the first one written at 200 bytes or more.
        const std::string bytes = ReadFile(files[f]);
        const size_t lastStart = bytes.rfind("\r\n", bytes.size() - 3) + 2;
        EXPECT_LT(lastStart, 200u) << files[f];
        if (f + 1 < files.size()) {
            EXPECT_GE(bytes.size(), 200u) << files[f];
        }
    }
    ASSERT_EQ(texts.size(), 60u);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(texts[static_cast<size_t>(i)], Format("line %02d", i));
}

TEST(Watches, KeepsAHundredFilesOfItsOwn)
{
    RequireFlockTool();
    struct Case {
        const char* what;
        int held;          // index of an old file held by another program, -1 for none
        size_t remaining;  // files of the host afterwards
    };
    for (const Case& tc : {Case{"all free", -1, 100}, Case{"one in use", 5, 116}}) {
        SCOPED_TRACE(tc.what);
        TempDir dir;
        // 120 old logs, oldest first; one of them in capitals, which still counts.
        std::vector<fs::path> old;
        old.push_back(dir / "HOST_2019-01-01_00-00-00_000.LOG");
        for (int i = 1; i < 120; ++i) old.push_back(dir / Format("Host_2020-01-01_00-00-00_%03d.log", i));
        for (const auto& p : old) WriteFile(p, "old\r\n");
        WriteFile(dir / "HostTool_x.log", "another program\r\n");
        WriteFile(dir / "Host_notes.txt", "not a log\r\n");

        FILE* holder = nullptr;
        pid_t sleeper = 0;
        if (tc.held >= 0) {
            const std::string cmd = "/usr/bin/flock '" + old[static_cast<size_t>(tc.held)].string() +
                                    "' sh -c 'echo $$; exec sleep 5'";
            holder = popen(cmd.c_str(), "r");
            ASSERT_NE(holder, nullptr);
            char buf[32] = {};
            ASSERT_NE(fgets(buf, sizeof buf, holder), nullptr);
            sleeper = std::atoi(buf);
        }

        TWatchCategory cat(Settings(dir.path(), TestClock(false)));
        cat.WriteLine(wlInfo, "new");

        if (holder) {
            kill(sleeper, SIGTERM);
            pclose(holder);
        }
        size_t count = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            std::string n = e.path().filename().string();
            std::transform(n.begin(), n.end(), n.begin(), ::tolower);
            if (n.rfind("host_", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".log") ++count;
        }
        EXPECT_EQ(count, tc.remaining);
        EXPECT_TRUE(fs::exists(dir / "HostTool_x.log"));
        EXPECT_TRUE(fs::exists(dir / "Host_notes.txt"));
        EXPECT_TRUE(fs::exists(dir / "Host_2026-12-10_14-03-07_512.log"));
        const size_t firstKept = tc.held >= 0 ? static_cast<size_t>(tc.held) : 21;
        for (size_t i = 0; i < old.size(); ++i) EXPECT_EQ(fs::exists(old[i]), i >= firstKept) << old[i];
    }
}

TEST(Watches, TakenNamesAreNeverWrittenOver)
{
    TempDir dir;
    const std::string stamp = "Host_2026-12-10_14-03-07_512";
    WriteFile(dir / (stamp + ".log"), "someone else's line\n");
    {
        TWatchCategory cat(Settings(dir.path(), TestClock(false)));
        cat.WriteLine(wlInfo, "mine");
        EXPECT_EQ(cat.OpenAttempts(), 2);
    }
    EXPECT_EQ(ReadFile(dir / (stamp + ".log")), "someone else's line\n");
    const std::vector<Line> lines = ParseLog(dir / (stamp + "_2.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, "mine");

    // All ten names taken: the line is dropped, and no name is tried again at once.
    for (int i = 3; i <= 10; ++i) WriteFile(dir / Format("%s_%d.log", stamp.c_str(), i), "x");
    const auto before = Logs(dir.path());
    TWatchCategory cat(Settings(dir.path(), TestClock(false)));
    for (int i = 0; i < 1000; ++i) cat.WriteLine(wlInfo, "lost");
    EXPECT_EQ(cat.OpenAttempts(), 10);
    EXPECT_EQ(Logs(dir.path()), before);
    EXPECT_EQ(ReadFile(dir / (stamp + ".log")), "someone else's line\n");
}

TEST(Watches, FolderThatCannotBeWritten)
{
    TempDir dir;
    WriteFile(dir / "blocker", "a file, not a folder");
    TWatchCategory cat(Settings(dir / "blocker" / "logs", [] { return std::chrono::system_clock::now(); }));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) cat.WriteLine(wlError, "nowhere to go");
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    // Ten names per second at most.
    EXPECT_LE(cat.OpenAttempts(), 10 * (1 + static_cast<int>(elapsed.count() / 1000)));

    fs::remove(dir / "blocker");
    fs::create_directories(dir / "blocker" / "logs");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    cat.WriteLine(wlInfo, "back again");
    const auto files = Logs(dir / "blocker" / "logs");
    ASSERT_EQ(files.size(), 1u);
    const std::vector<Line> lines = ParseLog(files[0]);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, StartLine(cat));
    EXPECT_EQ(lines[1].text, "back again");
}

TEST(Watches, ThreadsShareOneCategory)
{
    TempDir dir;
    TWatchCategory cat(Settings(dir.path(), TestClock(true), 64 * 1024));
    constexpr int kThreads = 8, kLines = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&cat, t] {
            for (int n = 0; n < kLines; ++n) cat.WriteLine(wlInfo, Format("T%d seq=%d", t, n));
        });
    for (auto& th : threads) th.join();

    std::vector<int> next(kThreads, 0);
    int total = 0;
    const auto files = Logs(dir.path());
    EXPECT_GT(files.size(), 5u);
    EXPECT_LT(files.size(), 100u);
    for (const auto& f : files)
        for (const Line& l : ParseLog(f)) {
            if (l.level == "System") continue;
            int t = -1, n = -1;
            ASSERT_EQ(std::sscanf(l.text.c_str(), "T%d seq=%d", &t, &n), 2) << l.text;
            ASSERT_TRUE(t >= 0 && t < kThreads);
            EXPECT_EQ(n, next[static_cast<size_t>(t)]++) << "thread " << t;
            ++total;
        }
    EXPECT_EQ(total, kThreads * kLines);
}

TEST(Watches, ProcessesShareOneFolder)
{
    TempDir dir;
    constexpr int kLines = 1000;
    Writers writers(dir.path(), 4, kLines, 4096);
    writers.Wait();
    const std::map<int, int> first = CheckWriterLogs(dir.path(), kLines);
    ASSERT_EQ(first.size(), 4u);
    for (const auto& [pid, seq] : first) EXPECT_EQ(seq, 0) << "pid " << pid;
}

TEST(Watches, ProcessesAtTheFileLimit)
{
    TempDir dir;
    for (int i = 0; i < 100; ++i) WriteFile(dir / Format("Host_2000-01-01_00-00-00_%03d.log", i), "old\r\n");
    constexpr int kLines = 600;
    Writers writers(dir.path(), 4, kLines, 600);
    writers.Wait();
    // Old files of each process may be gone, but never one still being written: what
    // is left of each process is an unbroken run up to its last line.
    const std::map<int, int> first = CheckWriterLogs(dir.path(), kLines);
    EXPECT_EQ(first.size(), 4u);
    EXPECT_FALSE(fs::exists(dir / "Host_2000-01-01_00-00-00_099.log"));
    // A file in use stops the clean-up (a writer that fell behind keeps an old one
    // open); once no one writes, the next file brings the folder back to the limit.
    TWatchCategory(Settings(dir.path(), [] { return std::chrono::system_clock::now(); }, 600))
        .WriteLine(wlInfo, "after the writers");
    EXPECT_LE(Logs(dir.path()).size(), 100u);
}
