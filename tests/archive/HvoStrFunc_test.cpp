#include "archive/HvoStrFunc.h"
#include "platform/CodePages.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct MaskRow {
    std::string name;
    const char* mask;
    bool ignoreCase;
    bool matches;
};

TEST(HvoStrFunc, MatchesMask)
{
    const MaskRow rows[] = {
        {"a.txt", "*.txt", false, true},
        {"x.y.txt", "*.txt", false, true},
        {"a.txt2", "*.txt", false, false},
        {"abc", "a?c", false, true},
        {"ac", "a?c", false, false},
        {"README.TXT", "readme.*", true, true},
        {"README.TXT", "readme.*", false, false},
        {"a", "a**", false, false},
        {"ab", "a**", false, true},
        {"a", "a*", false, true},
        {"noext", "*.*", false, true},
        {"", "*", false, true},
        {"", "?", false, false},
        {"abc", "ab", false, false},
        {"ab", "abc", false, false},
        {"Привет.txt", "пРИВЕТ.*", true, true},
        {"Привет.txt", "пРИВЕТ.*", false, false},
        {"ΣΟΦΙΑ", "σοφια", true, true},
        {"ж", "?", false, true},
        {"жж", "?", false, false},
        {"a.b.c.d", "*.*.*.d", false, true},
        {std::string(60, 'a'), "*a*a*a*a*a*a*a*a*b", false, false},
    };
    for (const MaskRow& row : rows) {
        SCOPED_TRACE(row.name + " ~ " + row.mask);
        EXPECT_EQ(MatchesMask(row.name, row.mask, row.ignoreCase), row.matches);
    }
}

TEST(HvoStrFunc, IsUtf8)
{
    const struct {
        std::string bytes;
        int expected;
    } rows[] = {
        {"\xC0\x80", 2},         {"\xE2\x82\xAC", 1},     {"plain ascii", 0},       {"\xE2\x82", 2},
        {"\xF4\x90\x80\x80", 2}, {"\xF0\x90\x80\x80", 1}, {"\xF4\x8F\xBF\xBF", 1}, {"\xE0\x9F\x80", 2},
        {"\xED\xA0\x80", 1},     {"\xF5\x80\x80\x80", 2}, {"\x80", 2},             {"", 0},
        {"abc\xD0\xB6", 1},      {"\xD0\xB6\xFF", 2},
    };
    for (const auto& row : rows) EXPECT_EQ(IsUtf8(row.bytes), row.expected) << testsupport::Hex(reinterpret_cast<const uint8_t*>(row.bytes.data()), row.bytes.size());
}

TEST(HvoStrFunc, EncodeNameUsesWindows1251WhereItHoldsTheName)
{
    bool utf8 = true;
    EXPECT_EQ(EncodeName("Отчёт.txt", utf8), platform::Utf8ToAnsi("Отчёт.txt"));
    EXPECT_FALSE(utf8);
    EXPECT_EQ(EncodeName("data/file-1.bin", utf8), "data/file-1.bin");
    EXPECT_FALSE(utf8);
    EXPECT_EQ(EncodeName("日本語.txt", utf8), "日本語.txt");
    EXPECT_TRUE(utf8);
}

TEST(HvoStrFunc, EncodeNameCutsALongUtf8NameAtACodePoint)
{
    std::string name;
    for (int i = 0; i < 130; ++i) name += "я";
    name += "日";
    ASSERT_EQ(name.size(), 263u);
    bool utf8 = false;
    const std::string stored = EncodeName(name, utf8);
    EXPECT_TRUE(utf8);
    EXPECT_LE(stored.size(), 255u);
    EXPECT_EQ(stored.size(), 254u);
    EXPECT_EQ(IsUtf8(stored), 1);
    bool wasUtf8 = false;
    const std::string back = DecodeName(stored, wasUtf8);
    EXPECT_TRUE(wasUtf8);
    EXPECT_EQ(name.rfind(back, 0), 0u);
}

TEST(HvoStrFunc, DecodeNameAgreesWithPythonsCodecs)
{
    const auto rows = archivetest::ReadTable(archivetest::FixtureDir() / "names.tsv");
    ASSERT_GT(rows.size(), 100u);
    int utf8Rows = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 4u);
        SCOPED_TRACE(row[1]);
        bool wasUtf8 = false;
        EXPECT_EQ(DecodeName(archivetest::FromHex(row[1]), wasUtf8), archivetest::FromHex(row[2]));
        EXPECT_EQ(wasUtf8, row[3] == "1");
        utf8Rows += wasUtf8;
    }
    EXPECT_GT(utf8Rows, 20);
}

TEST(HvoStrFunc, PathTextFunctions)
{
    EXPECT_EQ(WideIncludeTrailingBackslash("/a/b"), "/a/b/");
    EXPECT_EQ(WideIncludeTrailingBackslash("/a/b/"), "/a/b/");
    EXPECT_EQ(WideIncludeTrailingBackslash("a\\"), "a\\");
    EXPECT_EQ(WideExcludeTrailingBackslash("/a/b//"), "/a/b/");
    EXPECT_EQ(WideExtractFileName("dir\\sub/name.tar.gz"), "name.tar.gz");
    EXPECT_EQ(WideExtractFilePath("dir\\sub/name.tar.gz"), "dir\\sub/");
    EXPECT_EQ(WideExtractFileExt("dir.x/name.tar.gz"), ".gz");
    EXPECT_EQ(WideExtractFileExt("dir.x/name"), "");
    EXPECT_EQ(WideExtractRelativePath("/base/x/", "/base/x/y/f.txt"), "y/f.txt");
    EXPECT_EQ(WideExtractRelativePath("/base/x/", "/base/z/f.txt"), "../z/f.txt");
    EXPECT_EQ(WideExtractRelativePath("/base/x/", "rel/f.txt"), "rel/f.txt");
    EXPECT_EQ(WideExpandFileName("/a/./b/../c"), "/a/c");
    EXPECT_EQ(WideExpandFileName("x/y"), (fs::current_path() / "x/y").string());
    EXPECT_EQ(WideStringReplace("a\\b\\c", "\\", "/"), "a/b/c");
    EXPECT_EQ(WideStringReplace("abc", "", "x"), "abc");
    EXPECT_EQ(ByteLength("aж日😀"), 10);
    EXPECT_EQ(WideUpperCase("ёж.txt"), "ЁЖ.TXT");
    EXPECT_EQ(WideLowerCase("ЁЖ.TXT"), "ёж.txt");
    EXPECT_EQ(CompareWideN("abcX", "abcY", 3), 0);
    EXPECT_EQ(CompareWideN("abcX", "abcY", 4), -1);
    EXPECT_EQ(CompareWideN("я", "a", 1), 1);
    EXPECT_FALSE(IsFloppyPath("A:\\x"));
    EXPECT_FALSE(IsRemovablePath("/media/usb/x"));
}

class HvoPathLayer : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    void Touch(const std::string& name, const std::string& bytes = "x") { testsupport::WriteFile(dir_ / name, bytes); }

    testsupport::TempDir dir_;
};

TEST_F(HvoPathLayer, RemoveEmptyFolders)
{
    fs::create_directories(P("empty/a/b/c"));
    fs::create_directories(P("empty/d"));
    EXPECT_TRUE(RemoveEmptyFolders(P("empty/")));
    EXPECT_FALSE(fs::exists(P("empty")));

    fs::create_directories(P("full/a/b"));
    Touch("full/a/keep.txt");
    EXPECT_FALSE(RemoveEmptyFolders(P("full/")));
    EXPECT_TRUE(fs::exists(P("full/a/keep.txt")));

    EXPECT_TRUE(RemoveEmptyFolders(P("missing/")));

    fs::create_directories(P("outside/empty-inside"));
    Touch("outside/data.txt");
    fs::create_directories(P("linked"));
    fs::create_directory_symlink(P("outside"), P("linked/link"));
    EXPECT_FALSE(RemoveEmptyFolders(P("linked/")));
    EXPECT_TRUE(fs::is_symlink(P("linked/link")));
    EXPECT_TRUE(fs::exists(P("outside/empty-inside")));
    EXPECT_TRUE(fs::exists(P("outside/data.txt")));
}

TEST_F(HvoPathLayer, ExistenceTreatsALinkAsAFile)
{
    fs::create_directories(P("folder"));
    Touch("file");
    fs::create_directory_symlink(P("folder"), P("link"));
    EXPECT_TRUE(WideDirectoryExists(P("folder")));
    EXPECT_TRUE(WideDirectoryExists(P("folder/")));
    EXPECT_FALSE(WideFileExists(P("folder")));
    EXPECT_TRUE(WideFileExists(P("file")));
    EXPECT_FALSE(WideDirectoryExists(P("link/")));
    EXPECT_TRUE(WideFileExists(P("link")));
    EXPECT_FALSE(WideFileExists(P("nothing")));

    EXPECT_TRUE(WideForceDirectories(P("link/x/y/")));
    EXPECT_TRUE(fs::is_directory(P("folder/x/y")));
    EXPECT_FALSE(WideForceDirectories(P("file/x")));
    EXPECT_FALSE(WideForceDirectories(""));
}

TEST_F(HvoPathLayer, DeleteAndRenameFiles)
{
    Touch("a", "A");
    Touch("b", "B");
    EXPECT_FALSE(WideRenameFile(P("a"), P("b")));
    EXPECT_EQ(testsupport::ReadFile(P("b")), "B");
    EXPECT_TRUE(WideRenameFile(P("a"), P("c")));
    EXPECT_TRUE(WideDeleteFile(P("c")));
    EXPECT_FALSE(WideDeleteFile(P("c")));
    fs::create_directories(P("d"));
    EXPECT_FALSE(WideDeleteFile(P("d")));
}

TEST_F(HvoPathLayer, AttributesFollowTheWriteBits)
{
    Touch("f");
    fs::create_directories(P("d"));
    EXPECT_EQ(WideFileGetAttr(P("f")), faArchive);
    EXPECT_EQ(WideFileGetAttr(P("d")), faDirectory);
    EXPECT_EQ(WideFileGetAttr(P("none")), -1);

    ASSERT_TRUE(WideFileSetAttr(P("f"), faReadOnly | faHidden));
    EXPECT_EQ(fs::status(P("f")).permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
              fs::perms::none);
    EXPECT_EQ(WideFileGetAttr(P("f")), faReadOnly);
    ASSERT_TRUE(WideFileSetAttr(P("f"), faArchive));
    EXPECT_NE(fs::status(P("f")).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(WideFileGetAttr(P("f")), faArchive);
    EXPECT_FALSE(WideFileSetAttr(P("none"), faReadOnly));
}

TEST_F(HvoPathLayer, FindListsNamesInOrder)
{
    for (const char* name : {"b.txt", "a.txt", "C.dat", "z.TXT"}) Touch(name, std::string(3, 'x'));
    fs::create_directories(P("d.txt"));
    fs::create_symlink(P("a.txt"), P("l.txt"));

    auto list = [&](const std::string& pattern, int32_t attr) {
        std::vector<std::string> names;
        TWideSearchRec rec;
        for (int rc = WideFindFirst(pattern, attr, rec); rc == 0; rc = WideFindNext(rec)) {
            names.push_back(rec.Name + (rec.Attr & faDirectory ? "/" : ""));
            if (rec.Name == "b.txt") {
                EXPECT_EQ(rec.Size, 3);
                EXPECT_EQ(rec.Attr, faArchive);
                EXPECT_EQ(rec.Time, WideFileAge(P("b.txt")));
            }
        }
        WideFindClose(rec);
        return names;
    };
    EXPECT_EQ(list(P("*"), faDirectory | faArchive),
              (std::vector<std::string>{"C.dat", "a.txt", "b.txt", "d.txt/", "l.txt", "z.TXT"}));
    EXPECT_EQ(list(P("*.txt"), faArchive), (std::vector<std::string>{"a.txt", "b.txt", "l.txt", "z.TXT"}));
    EXPECT_TRUE(list(P("missing/*"), faDirectory).empty());
}

// The MS-DOS date and time of a moment in local time, by Python's time.localtime.
int32_t PythonDosTime(time_t moment)
{
    std::string out;
    const int rc = testsupport::RunCommand(
        "/usr/bin/python3 -c 'import time; t = time.localtime(" + std::to_string(moment) +
            "); print(((t.tm_year - 1980) << 25 | t.tm_mon << 21 | t.tm_mday << 16 | t.tm_hour << 11 | t.tm_min << 5 | "
            "t.tm_sec // 2))'",
        &out);
    EXPECT_EQ(rc, 0);
    return static_cast<int32_t>(std::stoll(out));
}

TEST_F(HvoPathLayer, FileAgeIsLocalTime)
{
    Touch("f");
    fs::create_directories(P("d"));
    {
        testsupport::ScopedEnv tz("TZ", "Europe/Berlin");
        tzset();
        // 2023-07-15 22:30:17 UTC (summer time) and 2023-01-15 23:30:17 UTC (winter time):
        // both fall on the next day in Berlin.
        for (time_t moment : {time_t(1689460217), time_t(1673825417)}) {
            SCOPED_TRACE(moment);
            const struct timespec times[2] = {{moment, 0}, {moment, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, P("f").c_str(), times, 0), 0);
            EXPECT_EQ(WideFileAge(P("f")), PythonDosTime(moment));
        }
    }
    tzset();
    EXPECT_EQ(WideFileAge(P("d")), -1);
    EXPECT_EQ(WideFileAge(P("none")), -1);
}

} // namespace

namespace {

struct StoredNameRow {
    const char* fileName;
    const char* base;
    THvoStorePathMode mode;
    const char* stored;
};

TEST(HvoStrFunc, StoredNameFollowsTheStorePathMode)
{
    const StoredNameRow rows[] = {
        {"C:\\data\\a.txt", "", spFullPath, "data/a.txt"},
        {"C:\\data\\a.txt", "", spFullPathWithDrive, "C:/data/a.txt"},
        {"C:\\data\\a.txt", "", spNoPath, "a.txt"},
        {"\\\\srv\\share\\x.bin", "", spFullPath, "share/x.bin"},
        {"C:\\", "", spFullPath, ""},
        {"C:\\other\\a.txt", "C:\\base", spRelativePath, "other/a.txt"},
        {"C:\\base\\sub\\a.txt", "C:\\base", spRelativePath, "sub/a.txt"},
        {"/home/u/a.txt", "", spNoPath, "a.txt"},
        {"/home/u/a.txt", "/srv", spRelativePath, "home/u/a.txt"},
        {"/home/u/a.txt", "", spFullPath, "home/u/a.txt"},
        {"/home/u/a.txt", "", spFullPathWithDrive, "home/u/a.txt"},
        {"/home/u/a:b.txt", "", spFullPath, "home/u/a:b.txt"},
        {"docs/./x/../a.txt", "/home/u", spRelativePath, "docs/a.txt"},
        {"docs/a.txt", "/home/u/", spFullPath, "home/u/docs/a.txt"},
        {"/home/u/docs/", "/home/u", spRelativePath, "docs"},
        {"a.txt", "sub", spRelativePath, "a.txt"},
        {"a.txt", "sub", spFullPath, "work/sub/a.txt"},
    };
    for (const StoredNameRow& row : rows)
        EXPECT_EQ(StoredName(row.fileName, row.base, row.mode, "/work"), row.stored)
            << row.fileName << " base " << row.base << " mode " << row.mode;
}

TEST(HvoStrFunc, ExpandPathAndBaseFolder)
{
    EXPECT_EQ(BaseFolder("", "/work"), "/work/");
    EXPECT_EQ(BaseFolder("/srv", "/work"), "/srv/");
    EXPECT_EQ(ExpandPath("", "", "/work"), "/work/");
    EXPECT_EQ(ExpandPath("sub", "", "/work"), "/work/sub/");
    EXPECT_EQ(ExpandPath("\\", "", "/work"), "/");
    EXPECT_EQ(ExpandPath("/srv", "../etc/a", "/work"), "/etc/a");
    EXPECT_EQ(ExpandPath("/srv", "C:\\x", "/work"), "C:\\x");
    EXPECT_EQ(ExpandPath("/srv", "\\\\h\\s\\x", "/work"), "\\\\h\\s\\x");
    EXPECT_EQ(ExpandPath("/srv", "\\data\\a", "/work"), "/data/a");
    const std::string cwd = WideGetCurrentDir();
    EXPECT_EQ(ExpandPath("", "a", ""), WideIncludeTrailingBackslash(cwd) + "a");
}

} // namespace
