// The folder rule for the program's own files, and writing files without losing the old one.
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/ProgramDir.h"
#include "platform/Tick.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/stat.h>

using namespace platform;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

TEST(ProgramFilesDir, Rule)
{
    struct Case {
        const char* name;
        std::optional<std::string> overrideDir;
        bool writable;
        std::optional<std::string> xdg;
        const char* expected;
    };
    const Case cases[] = {
        {"override wins", "/srv/cfg", false, "/x", "/srv/cfg"},
        {"override wins over a writable folder", "/srv/cfg", true, std::nullopt, "/srv/cfg"},
        {"empty override is unset", "", true, std::nullopt, "/opt/mirvak/bin"},
        {"writable executable folder", std::nullopt, true, "/x", "/opt/mirvak/bin"},
        {"absolute XDG_CONFIG_HOME", std::nullopt, false, "/home/u/cfg", "/home/u/cfg/Mirvak"},
        {"relative XDG_CONFIG_HOME is ignored", std::nullopt, false, "cfg", "/home/u/.config/Mirvak"},
        {"empty XDG_CONFIG_HOME", std::nullopt, false, "", "/home/u/.config/Mirvak"},
        {"no XDG_CONFIG_HOME", std::nullopt, false, std::nullopt, "/home/u/.config/Mirvak"},
    };
    for (const auto& c : cases) {
        ProgramDirInputs in;
        in.executableDir = "/opt/mirvak/bin";
        in.executableDirWritable = c.writable;
        in.overrideDir = c.overrideDir;
        in.xdgConfigHome = c.xdg;
        in.home = "/home/u";
        in.programName = "Mirvak";
        EXPECT_EQ(ResolveProgramFilesDir(in), std::filesystem::path(c.expected)) << c.name;
    }
}

TEST(ProgramFilesDir, EnvironmentOverrideIsReadOnEveryCall)
{
    TempDir dir;
    {
        testsupport::ScopedEnv env(kProgramDirVariable, dir.path().string());
        EXPECT_EQ(ProgramFilesDir(), dir.path());
    }
    testsupport::ScopedEnv env(kProgramDirVariable, (dir / "other").string());
    EXPECT_EQ(ProgramFilesDir(), dir / "other");
    EXPECT_EQ(ExecutableDir().filename(), "bin");
}

TEST(AtomicWrite, ReplacesTheFile)
{
    TempDir dir;
    const auto target = dir / "params.hex";
    WriteFile(target, "old");
    WriteFileAtomically(target, std::string_view("new contents"));
    EXPECT_EQ(ReadFile(target), "new contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicWrite, FailingWriterKeepsOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    const auto target = dir / "params.hex";
    WriteFile(target, "old");
    EXPECT_THROW(WriteFileAtomically(target,
                                     [](std::ostream& os) {
                                         os << std::string(200000, 'x');
                                         throw std::runtime_error("half-way");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicWrite, ModeFollowsUmaskAndIsKeptOnReplace)
{
    TempDir dir;
    const mode_t old = ::umask(027);
    WriteFileAtomically(dir / "new.ini", std::string_view("a"));
    ::umask(old);
    struct stat st{};
    ASSERT_EQ(::stat((dir / "new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_EQ(::chmod((dir / "new.ini").c_str(), 0604), 0);
    WriteFileAtomically(dir / "new.ini", std::string_view("b"));
    ASSERT_EQ(::stat((dir / "new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}

TEST(AtomicWrite, SymlinkSurvivesAndItsDestinationIsReplaced)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    WriteFile(dir / "real" / "file.ini", "old");
    std::filesystem::create_symlink("real/file.ini", dir / "link.ini");
    WriteFileAtomically(dir / "link.ini", std::string_view("new"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFile(dir / "real" / "file.ini"), "new");
}

TEST(AtomicWrite, MissingFolderGivesTheCreateText)
{
    TempDir dir;
    const auto target = dir / "missing" / "params.hex";
    try {
        WriteFileAtomically(target, std::string_view("x"));
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + target.string() + "\". " + SysErrorMessage(ENOENT));
    }
}

TEST(OpenInputFile, MissingFileGivesTheOpenText)
{
    TempDir dir;
    std::ifstream in;
    try {
        OpenInputFile(dir / "none.hex", in);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (dir / "none.hex").string() + "\". " + SysErrorMessage(ENOENT));
    }
}

TEST(TickCount, AdvancesBySleepAndNeverGoesBack)
{
    const uint64_t t0 = GetTickCount();
    Sleep(50);
    const uint64_t t1 = GetTickCount();
    EXPECT_GE(t1 - t0, 50u);
    uint64_t last = t1;
    for (int i = 0; i < 1000; ++i) {
        const uint64_t now = GetTickCount();
        ASSERT_GE(now, last);
        last = now;
    }
}
