#include "loader/core/ExceptionLog.h"

#include "loader/io/IOSerial.h"
#include "loader/core/Watches.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const fs::path kFixtures = fs::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures";

struct Entry {
    std::string level;
    std::string text;
};

// The entries of the log files in a folder, in file order; an entry may span lines.
std::vector<Entry> ReadEntries(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".log") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<Entry> entries;
    const std::regex start(R"((^|\r\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \| (\w+) *\| )");
    for (const fs::path& file : files) {
        const std::string bytes = ReadFile(file);
        std::vector<std::pair<size_t, std::smatch>> starts;
        for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), start); it != std::sregex_iterator(); ++it)
            starts.emplace_back(it->position(), *it);
        for (size_t i = 0; i < starts.size(); ++i) {
            const size_t textStart = starts[i].first + starts[i].second.length();
            const size_t textEnd = i + 1 < starts.size() ? starts[i + 1].first : bytes.size() - 2;
            entries.push_back({starts[i].second[2].str(), bytes.substr(textStart, textEnd - textStart)});
        }
    }
    return entries;
}

// The entries written after the category's "System" start line.
std::vector<Entry> ExceptionEntries(const fs::path& folder)
{
    std::vector<Entry> all = ReadEntries(folder);
    std::vector<Entry> out;
    for (Entry& e : all)
        if (e.level != "System") out.push_back(std::move(e));
    return out;
}

// Tracking on the shared category of a temporary host folder, for one test.
class TrackingScope {
public:
    TrackingScope() : env_("MIRVAK_PROGRAM_DIR", dir_.path().string()) { StartExceptionTracking(); }
    ~TrackingScope() { Stop(); }
    void Stop()
    {
        if (stopped_) return;
        stopped_ = true;
        StopExceptionTracking();
        FreeSharedWatchCategory();
        IgnoreList().Clear();
        SetActiveControlSource({});
    }
    const fs::path& Folder() const { return dir_.path(); }

private:
    TempDir dir_;
    testsupport::ScopedEnv env_;
    bool stopped_ = false;
};

void ExpectFourEntries(const std::vector<Entry>& entries, size_t at, const std::string& text)
{
    ASSERT_GE(entries.size(), at + 4);
    EXPECT_EQ(entries[at].level, "Enter");
    EXPECT_EQ(entries[at].text, "Exception Call stack");
    EXPECT_EQ(entries[at + 1].level, "Except");
    EXPECT_EQ(entries[at + 1].text, text);
    EXPECT_EQ(entries[at + 2].level, "Info");
    EXPECT_EQ(entries[at + 2].text.rfind("Приложение: ", 0), 0u) << entries[at + 2].text;
    EXPECT_EQ(entries[at + 3].level, "Leave");
    EXPECT_EQ(entries[at + 3].text, "Exception Call stack");
}

__attribute__((noinline)) void ReadBeforeOpen()
{
    TIOSerial port;
    char byte = 0;
    port.Read(&byte, 1);
}

std::string RunShell(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 256> buffer{};
        while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

} // namespace

TEST(ExceptionLog, FourEntriesForAnExceptionRaisedAndCaughtInTheLibrary)
{
    TrackingScope tracking;
    EXPECT_THROW(ReadBeforeOpen(), EIOSerialException);
    tracking.Stop();

    const std::vector<Entry> entries = ExceptionEntries(tracking.Folder());
    ASSERT_EQ(entries.size(), 4u);
    ExpectFourEntries(entries, 0, "EIOSerialException: Соединение не установлено");
    // The report of the throw, for a reader of this test's output.
    std::cout << entries[2].text << "\n";
    EXPECT_NE(entries[2].text.find("\r\nСтек команд, создан "), std::string::npos);
    EXPECT_NE(entries[2].text.find("ReadBeforeOpen"), std::string::npos);
}

TEST(ExceptionLog, EachExceptionIsLoggedOnceAlsoWhenItEndsAtACatchSite)
{
    TrackingScope tracking;
    // Seen by the hook; the catch site adds nothing.
    try {
        ReadBeforeOpen();
    } catch (...) {
        LogException(std::current_exception());
    }
    // Raised inside the standard library, which the hook does not see: logged once, at
    // the catch site.
    try {
        std::string text = "abc";
        (void)text.at(10);
    } catch (...) {
        LogException(std::current_exception());
    }
    // A std::system_error carries its code.
    try {
        throw std::system_error(std::make_error_code(std::errc::permission_denied), "Нет доступа");
    } catch (...) {
    }
    tracking.Stop();

    const std::vector<Entry> entries = ExceptionEntries(tracking.Folder());
    ASSERT_EQ(entries.size(), 12u);
    ExpectFourEntries(entries, 0, "EIOSerialException: Соединение не установлено");
    ASSERT_NO_FATAL_FAILURE(ExpectFourEntries(entries, 4, entries[5].text));
    EXPECT_EQ(entries[5].text.rfind("out_of_range: basic_string::at", 0), 0u) << entries[5].text;
    const std::string code = std::to_string(static_cast<int>(std::errc::permission_denied));
    EXPECT_EQ(entries[9].text.rfind("system_error: Нет доступа", 0), 0u) << entries[9].text;
    EXPECT_EQ(entries[9].text.substr(entries[9].text.size() - code.size() - 3), " (" + code + ")");
}

TEST(ExceptionLog, IgnoreListComparesTheLowerCasedText)
{
    struct Case {
        const char* entry;
        const char* message;
        bool logged;
    };
    const Case cases[] = {
        {"нет ответа", "НЕТ ОТВЕТА от контроллера", false},
        {"ёжик", "Ёжик в тумане", false},
        {"timeout", "Read TIMEOUT", false},
        {"нет ответа", "Соединение не установлено", true},
        // Entries are compared as they are: one written in capitals never matches.
        {"НЕТ", "НЕТ ОТВЕТА", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TrackingScope tracking;
        IgnoreList().Add(c.entry);
        EXPECT_THROW(throw std::runtime_error(c.message), std::runtime_error);
        tracking.Stop();
        EXPECT_EQ(ExceptionEntries(tracking.Folder()).size(), c.logged ? 4u : 0u);
    }
}

TEST(ExceptionLog, ApplicationLineFromTheVersionRecord)
{
    const fs::path none = kFixtures / "version_program_none";
    EXPECT_EQ(ApplicationLine(none), "Приложение: " + none.string() + " (версия не указана)");
    EXPECT_EQ(ApplicationLine(kFixtures / "version_program"), "Приложение: Проба (версия 1.2.4.30)");
}

// Run as a child by StartParametersOfAChild: writes its start parameters to a file.
TEST(ExceptionLogChild, WriteStartParameters)
{
    if (const char* out = std::getenv("EXCEPTIONLOG_CHILD_OUT")) WriteFile(out, "[" + StartParameters() + "]");
}

TEST(ExceptionLog, StartParametersOfAChild)
{
    TempDir dir;
    const fs::path self = fs::read_symlink("/proc/self/exe");
    for (const auto& [args, expected] : {std::pair<std::string, std::string>{" a b", "[ a b]"}, {"", "[]"}}) {
        const fs::path out = dir / "params.txt";
        const std::string command = "GTEST_FILTER='ExceptionLogChild.*' EXCEPTIONLOG_CHILD_OUT='" + out.string() +
                                    "' '" + self.string() + "'" + args + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(ReadFile(out), expected);
    }
    EXPECT_EQ(StartParametersOf(std::string("prog\0x\0\0y\0", 10)), " x  y");
}

TEST(ExceptionLog, ReportLinesAgreeWithTheSystemTools)
{
    std::vector<std::string> lines;
    const TThrowStack stack = CaptureStack();
    TReportOptions options;
    options.Stack = &stack;
    BuildExceptionReport(lines, options);
    std::string report;
    for (const std::string& line : lines) report += line + "\n";
    SCOPED_TRACE(report);

    ASSERT_GE(lines.size(), 13u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("^Приложение: .+ \\(версия .+\\)$")));
    EXPECT_EQ(lines[1].rfind("Параметры запуска: ", 0), 0u);
    EXPECT_EQ(lines[2], "Компьютер: " + RunShell("uname -n"));
    EXPECT_EQ(lines[3], "Пользователь: " + RunShell("id -un"));
    EXPECT_EQ(lines[4], std::string(80, '-'));

    std::smatch m;
    const std::string release = RunShell("uname -r");
    ASSERT_TRUE(std::regex_match(
        lines[5], m, std::regex("^Операционная система: .* (\\S+), Версия: (\\d+)\\.(\\d+), Сборка: ([0-9a-f]+), \".*\"$")));
    EXPECT_EQ(m[1].str(), release);
    std::smatch r;
    ASSERT_TRUE(std::regex_search(release, r, std::regex("^(\\d+)\\.(\\d+)(\\.(\\d+))?")));
    EXPECT_EQ(m[2].str(), r[1].str());
    EXPECT_EQ(m[3].str(), r[2].str());
    EXPECT_EQ(std::stoi(m[4].str(), nullptr, 16), r[4].matched ? std::stoi(r[4].str()) : 0);

    EXPECT_TRUE(std::regex_match(lines[6], std::regex("^Процессор: .*, .*, \\d+ MHz.*$")));
    EXPECT_TRUE(std::regex_match(lines[7], std::regex("^Память: [1-9]\\d*; свободно \\d+$")));
    EXPECT_TRUE(std::regex_match(lines[8], std::regex("^Экран: \\d+x\\d+ pixels, \\d+ bpp$")));
    EXPECT_EQ(lines[9], std::string(80, '-'));
    EXPECT_TRUE(std::regex_match(lines[10], std::regex("^Стек команд, создан \\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$")));
    // The first frame is this test, with its source line and the offset from the start
    // of its function.
    EXPECT_TRUE(std::regex_match(
        lines[11], std::regex("^\\[test_loader_core_ExceptionLog_test\\] "
                              "ExceptionLog_ReportLinesAgreeWithTheSystemTools_Test::TestBody\\(\\) "
                              "\\(Line \\d+, \"ExceptionLog_test\\.cpp\" \\+ [1-9]\\d*\\)$")));
    EXPECT_EQ(lines.back(), std::string(80, '-'));
    for (size_t i = 11; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].find("0x"), std::string::npos) << lines[i];
}

TEST(ExceptionLog, ProcessorMarksFromTheFlags)
{
    struct Case {
        const char* flags;
        const char* extra;
        const char* marks;
    };
    const Case cases[] = {
        {"fpu", "", ""},
        {"fpu mmx", "", " MMX"},
        {"mmx mmxext", "", " MMXex"},
        {"sse", "", " SSE1"},
        {"sse sse2", "", " SSE2"},
        {"sse2 pni", "", " SSE3"},
        {"ssse3", "", " SSE3"},
        {"sse2 sse4_1", "", " SSE4"},
        {"sse4_2", "", " SSE4"},
        {"sse4a", "", " SSE4"},
        {"3dnow", "", " 3DNow!"},
        {"3dnow 3dnowext", "", " 3DNow!ex"},
        {"lm", "", " 64 bits"},
        {"nx", "", " DEP"},
        {"fpu", "fdiv_bug\t: yes\n", " [FDIV Bug]"},
        {"fpu", "fdiv_bug\t: no\n", ""},
        {"nx lm 3dnow sse2 mmx", "fdiv_bug\t: yes\n", " [FDIV Bug] MMX SSE2 3DNow! 64 bits DEP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const std::string cpuinfo = std::string("processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Core X\n"
                                                "cpu MHz\t\t: 2999.6\n") +
                                    c.extra + "flags\t\t: " + c.flags +
                                    "\n\nprocessor\t: 1\nflags\t\t: 3dnowext mmxext\n";
        EXPECT_EQ(ProcessorLine(cpuinfo), std::string("Процессор: GenuineIntel, Core X, 3000 MHz") + c.marks);
    }
    EXPECT_EQ(ProcessorLine(""), "Процессор: , , 0 MHz");
}

TEST(ExceptionLog, SystemFactsFromFixtureFolders)
{
    TempDir dir;
    fs::create_directories(dir / "etc");
    fs::create_directories(dir / "proc");
    WriteFile(dir / "etc" / "os-release", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    WriteFile(dir / "proc" / "cpuinfo", "vendor_id : AuthenticAMD\nmodel name : Ryzen\nflags : sse4a lm\n");
    TSystemRoots roots{dir / "proc", dir / "etc"};
    const TSystemFacts facts = GatherSystemFacts(roots);
    EXPECT_EQ(facts.Processor, "Процессор: AuthenticAMD, Ryzen, 0 MHz SSE4 64 bits");
    EXPECT_EQ(facts.OperatingSystem.rfind("Операционная система: Debian GNU/Linux 12 (bookworm) ", 0), 0u)
        << facts.OperatingSystem;
    EXPECT_EQ(facts.StartParameters, "");

    struct Case {
        const char* release;
        const char* line;
    };
    const Case cases[] = {
        {"6.1.0-18-amd64", "Операционная система: Debian 12 6.1.0-18-amd64, Версия: 6.1, Сборка: 0, \"#1 SMP\""},
        {"5.15.167.4-microsoft", "Операционная система: Debian 12 5.15.167.4-microsoft, Версия: 5.15, Сборка: a7, \"#1 SMP\""},
        {"6.8", "Операционная система: Debian 12 6.8, Версия: 6.8, Сборка: 0, \"#1 SMP\""},
        {"", "Операционная система: Debian 12 , Версия: 0.0, Сборка: 0, \"#1 SMP\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OperatingSystemLine("PRETTY_NAME='Debian 12'\n", c.release, "#1 SMP"), c.line);

    EXPECT_EQ(MemoryLine(uint64_t(16) << 30, "MemTotal:       16000000 kB\nMemAvailable:    2097152 kB\n"),
              "Память: 16384; свободно 2048");
    EXPECT_EQ(MemoryLine(0, ""), "Память: 0; свободно 0");
}

TEST(ExceptionLog, ClassNamesWithoutNamespaces)
{
    EXPECT_EQ(ExceptionClassName(typeid(EIOSerialException)), "EIOSerialException");
    EXPECT_EQ(ExceptionClassName(typeid(std::out_of_range)), "out_of_range");
    EXPECT_EQ(ExceptionClassName(typeid(platform::EOSError)), "EOSError");
    EXPECT_EQ(ExceptionText(std::make_exception_ptr(42)), "int: ");
}

TEST(ExceptionLog, AFailingReportSourceNeitherRecursesNorReplacesTheException)
{
    TrackingScope tracking;
    std::atomic<int> calls{0};
    SetActiveControlSource([&]() -> std::vector<std::string> {
        ++calls;
        throw std::runtime_error("source failed");
    });
    try {
        ReadBeforeOpen();
        FAIL() << "no exception";
    } catch (const EIOSerialException& e) {
        EXPECT_STREQ(e.what(), "Соединение не установлено");
    }
    tracking.Stop();
    EXPECT_EQ(calls.load(), 1);
    const std::vector<Entry> entries = ExceptionEntries(tracking.Folder());
    ASSERT_EQ(entries.size(), 4u);
    ExpectFourEntries(entries, 0, "EIOSerialException: Соединение не установлено");
}

TEST(ExceptionLog, ConcurrentThrowsGiveCompleteReports)
{
    TrackingScope tracking;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) {
                try {
                    throw std::runtime_error("поток " + std::to_string(t) + " бросок " + std::to_string(i));
                } catch (const std::runtime_error&) {
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    tracking.Stop();

    const std::vector<Entry> entries = ExceptionEntries(tracking.Folder());
    ASSERT_EQ(entries.size(), 1600u);
    std::set<std::string> texts;
    for (size_t i = 0; i < entries.size(); i += 4) {
        ASSERT_NO_FATAL_FAILURE(ExpectFourEntries(entries, i, entries[i + 1].text));
        EXPECT_NE(entries[i + 2].text.find("\r\nСтек команд, создан "), std::string::npos);
        texts.insert(entries[i + 1].text);
    }
    EXPECT_EQ(texts.size(), 400u);
}

TEST(ExceptionLog, NothingIsLoggedAfterTheStop)
{
    TrackingScope tracking;
    std::exception_ptr kept;
    try {
        ReadBeforeOpen();
    } catch (...) {
        kept = std::current_exception();
    }
    tracking.Stop();
    EXPECT_FALSE(ExceptionTrackingActive());
    // Thrown after the stop and the category's release, and one thrown before but
    // destroyed after: neither logs nor faults.
    EXPECT_THROW(ReadBeforeOpen(), EIOSerialException);
    LogException(kept);
    kept = nullptr;
    EXPECT_EQ(ExceptionEntries(tracking.Folder()).size(), 4u);
}

TEST(ExceptionLog, AThrowInsideALogWriteDoesNotWaitForTheLog)
{
    // The log folder lies under a plain file: creating the log file fails inside the
    // category's write, and that failure must not be logged into the same category.
    TempDir dir;
    WriteFile(dir / "file", "");
    testsupport::ScopedEnv env("MIRVAK_PROGRAM_DIR", (dir / "file" / "sub").string());
    StartExceptionTracking();
    EXPECT_THROW(ReadBeforeOpen(), EIOSerialException);
    SharedWatchCategory().WriteLine(wlInfo, "line");
    StopExceptionTracking();
    FreeSharedWatchCategory();
}
