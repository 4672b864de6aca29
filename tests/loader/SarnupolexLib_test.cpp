// The real library loaded with dlopen in a child process, so that its load and unload
// hooks run; and its dynamic symbol table.

#include "loader/SarnupolexLib.h"
#include "platform/ScriptedDialogs.h"
#include "platform/VersionRecord.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const std::string kLibrary = MIRVAK_BINARY_DIR "/bin/libSarnupolexLib.so";

// Runs the body in a forked child with MIRVAK_PROGRAM_DIR set to the folder; the body's
// result is the child's exit code (0: every check held). With leave, the child ends by
// exit() (its unload hooks run at exit); else by _exit().
int InChild(const fs::path& folder, const std::function<int()>& body, bool leave = false, pid_t* childPid = nullptr)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("MIRVAK_PROGRAM_DIR", folder.c_str(), 1);
        const int code = body();
        if (leave) std::exit(code);
        _exit(code);
    }
    if (childPid) *childPid = pid;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// The entry points of a library loaded in the child.
TSarnupolexEntryPoints Bind(void* lib)
{
    TSarnupolexEntryPoints entries;
    BindEntryPoints(entries, kSarnupolexEntryPoints, [lib](const char* name) { return dlsym(lib, name); });
    return entries;
}

// The child's checks as bits of its exit code.
struct Checks {
    int code = 0;
    void Check(bool ok, int bit)
    {
        if (!ok) code |= 1 << bit;
    }
};

// Sections "[Chip<n>]" of a chip table.
int CountChipSections(const std::string& ini)
{
    int n = 0;
    std::istringstream in(ini);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("[Chip", 0) == 0 && line.size() > 5 && std::isdigit(static_cast<unsigned char>(line[5]))) ++n;
    return n;
}

std::string RollingLogs(const fs::path& folder)
{
    const std::string stem = fs::read_symlink("/proc/self/exe").stem().string();
    std::string text;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(stem, 0) == 0) text += ReadFile(entry.path());
    return text;
}

} // namespace

TEST(SarnupolexLib, LoadAndUnloadInAChild)
{
    testsupport::TempDir dir;
    WriteFile(dir / "Sarnupolex.dvs", "Name=A;Port=COM1\n\nName=B;Port=COM2");
    pid_t child = 0;
    const int code = InChild(
        dir.path(),
        [&] {
            Checks c;
            auto dialogs = std::make_shared<platform::ScriptedDialogService>();
            platform::SetDialogService(dialogs);
            void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!lib) return 1;
            const TSarnupolexEntryPoints entries = Bind(lib);
            c.Check(UnboundEntryPoints(entries, kSarnupolexEntryPoints).empty(), 1);
            const char* text = entries.GetDevices ? entries.GetDevices("Zumo2Cfg") : nullptr;
            c.Check(text != nullptr && std::string(text) == "Name=A;Port=COM1\nName=B;Port=COM2", 2);
            c.Check(fs::exists(dir / ("Sarnupolex.dvs.tmp" + std::to_string(getpid()))), 3);
            c.Check(fs::exists(dir / "Sarnupolex.lck"), 4);
            c.Check(dlclose(lib) == 0, 5);
            c.Check(dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD) == nullptr, 6);
            c.Check(dialogs->Records().empty(), 7);
            return c.code;
        },
        false, &child);
    EXPECT_EQ(code, 0) << "failed checks (bits): " << code;
    EXPECT_EQ(CountChipSections(ReadFile(dir / "Chip.ini")), 14);
    EXPECT_TRUE(fs::exists(dir / "SarnupolexLib.log"));
    EXPECT_FALSE(fs::exists(dir / ("Sarnupolex.dvs.tmp" + std::to_string(child))));
    EXPECT_FALSE(fs::exists(dir / "Sarnupolex.lck"));
    EXPECT_EQ(ReadFile(dir / "Sarnupolex.dvs"), "Name=A;Port=COM1\n\nName=B;Port=COM2");
    const std::string log = RollingLogs(dir.path());
    EXPECT_NE(log.find(kLibrary + ": Загрузчик контроллеров телемеханики " SARNUPOLEXLIB_VERSION), std::string::npos)
        << log;
    EXPECT_NE(log.find("Access to file setting exclusive: True"), std::string::npos) << log;
}

TEST(SarnupolexLib, ExitWithoutUnloadingStillRunsTheUnloadWork)
{
    testsupport::TempDir dir;
    fs::create_directories(dir / "Scripts");
    WriteFile(dir / "Scripts" / "start.txt", "S");
    pid_t child = 0;
    const int code = InChild(
        dir.path(),
        [&] {
            void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!lib) return 1;
            const GetDevicesProc getDevices = Bind(lib).GetDevices;
            if (!getDevices || getDevices("") != nullptr) return 2;
            if (!fs::exists(dir / "Scripts" / ("start.tmp" + std::to_string(getpid())))) return 3;
            return 0;
        },
        true, &child);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::exists(dir / "SarnupolexLib.log"));
    EXPECT_FALSE(fs::exists(dir / ("Sarnupolex.dvs.tmp" + std::to_string(child))));
    EXPECT_FALSE(fs::exists(dir / "Scripts" / ("start.tmp" + std::to_string(child))));
    EXPECT_EQ(ReadFile(dir / "Scripts" / "start.txt"), "S");
}

TEST(SarnupolexLib, ExportsOnlyItsEntryPoints)
{
    constexpr auto names = EntryPointNames(kSarnupolexEntryPoints);
    static_assert(names.size() == 8);
    const std::set<std::string> entryPoints(names.begin(), names.end());
    std::string symbols;
    ASSERT_EQ(testsupport::RunCommand("nm -D --defined-only '" + kLibrary + "'", &symbols), 0)
        << "nm is needed (Debian package binutils)";
    std::set<std::string> exported;
    std::istringstream lines(symbols);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        EXPECT_NE(type, "u") << "unique symbol " << name;
        EXPECT_TRUE(entryPoints.count(name)) << "exported: " << name;
        exported.insert(name);
    }
    EXPECT_EQ(exported, entryPoints);

    // A unique binding would keep the library loaded after dlclose.
    std::string dynamic;
    ASSERT_EQ(testsupport::RunCommand("readelf --dyn-syms -W '" + kLibrary + "'", &dynamic), 0);
    EXPECT_EQ(dynamic.find("UNIQUE"), std::string::npos) << dynamic;

    platform::VersionRecord record;
    ASSERT_TRUE(platform::ReadVersionRecord(kLibrary, record));
    EXPECT_EQ(record.fileVersion, SARNUPOLEXLIB_VERSION);
    EXPECT_EQ(record.fileType, platform::VersionFileType::SharedLibrary);
}
