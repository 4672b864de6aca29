// Extraction into folders: the loader's sequence, safe target paths, attributes, times,
// selection, overwrite rules, damaged entries, the processing loop and its lock.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoRecords.h"
#include "tests/archive/ExtractSupport.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <ctime>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace archivetest;
using testsupport::DialogScript;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// A handler that records failures and answers with action.
THvoProcessFileFailureEvent Recorder(std::vector<Failure>& failures, THvoAction answer = fxaIgnore)
{
    return [&failures, answer](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, int native, int,
                               const std::string& message, THvoAction& action) {
        failures.push_back({name, native, message});
        action = answer;
    };
}

mode_t ModeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

time_t MTimeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

// Sets a file's modification time.
void Touch(const fs::path& path, time_t moment)
{
    const timespec times[2] = {{moment, 0}, {moment, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

time_t LocalMoment(int y, int m, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace

// ---- The loader's sequence -------------------------------------------------------------

TEST(ExtractLoaderSequence, ExtractsTheSameTreeAsUnzipWithTheEntriesTimes)
{
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src / "sub");
    fs::create_directories(src / "emptydir");
    WriteFile(src / "A1.hex", ":020000040800F2\n:00000001FF\n");
    std::string binary;
    for (int i = 0; i < 100000; ++i) binary += static_cast<char>((i * 7 + i / 13) & 0xFF);
    WriteFile(src / "B2.bin", binary);
    WriteFile(src / "sub" / "C3.hex", ":0400000001020304F2\n:00000001FF\n");
    WriteFile(src / "empty.txt", "");
    const fs::path package = dir / "package.tcf";
    ASSERT_EQ(RunCommand("cd '" + src.string() + "' && TZ=UTC touch -d '2024-03-05 10:20:30' A1.hex B2.bin sub/C3.hex"
                         " empty.txt && zip -q -r -X '" + package.string() + "' A1.hex B2.bin sub emptydir empty.txt"),
              0);
    MakeZip(package, {{"Прошивка.hex", "firmware\n", {2023, 11, 2, 8, 15, 44}}}, {}, true);
    const std::string before = ReadFile(package);

    DialogScript dialogs;
    const fs::path ours = dir / "ours";
    std::vector<Failure> failures;
    LoaderExtract(package, ours, [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    EXPECT_TRUE(failures.empty());
    const fs::path theirs = dir / "theirs";
    ASSERT_EQ(RunCommand("unzip -q '" + package.string() + "' -d '" + theirs.string() + "'"), 0);
    const auto tree = Tree(ours);
    EXPECT_EQ(tree, Tree(theirs));
    EXPECT_EQ(tree.count("Прошивка.hex"), 1u);
    EXPECT_EQ(tree.count("emptydir"), 1u);
    EXPECT_EQ(ReadFile(package), before);

    // Each file's time is its entry's local time.
    auto a = THalvorin::Create();
    a->SetFileName(package.string());
    a->OpenArchive();
    THvoArchiveItem item;
    int files = 0;
    for (bool found = a->FindFirst("*.*", item); found; found = a->FindNext(item)) {
        if (item.ExternalFileAttr & 0x10) continue;
        const auto moment = DosToTime({item.LastModFileDate, item.LastModFileTime});
        ASSERT_TRUE(moment);
        std::string path = item.StoredPath + item.FileName;
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_EQ(MTimeOf(ours / path), *moment) << path;
        ++files;
    }
    EXPECT_EQ(files, 5);
}

// ---- Path safety -----------------------------------------------------------------------

namespace {

struct PathCase {
    const char* title;
    std::string name;                                       // the stored name
    std::vector<std::pair<std::string, std::string>> patches; // bytes zipfile cannot write
    std::string failureName;                                // as the failure event names it
};

} // namespace

TEST(ExtractPathSafety, NamesThatWouldLeaveTheBaseFolderAreRefusedAndTheOthersExtracted)
{
    const PathCase cases[] = {
        {"parent", "../e", {}, "..\\e"},
        {"parent after a folder", "a/../../e", {}, "a\\..\\..\\e"},
        {"absolute", "/abs/e", {}, "\\abs\\e"},
        {"drive with backslash", "C:\\e", {}, "C:\\e"},
        {"drive with slash", "C:/e", {}, "C:\\e"},
        {"drive-relative", "C:e", {}, "C:e"},
        {"network share", "\\\\srv\\share\\e", {}, "\\\\srv\\share\\e"},
        {"backslash parents", "a\\..\\..\\e", {}, "a\\..\\..\\e"},
        {"parent alone", "..", {}, ".."},
        {"NUL inside", "nuQQe", {{"nuQQe", std::string("nu\0Qe", 5)}}, std::string("nu\0Qe", 5)},
        {"control character", "ctl\x01" "e", {}, "ctl\x01" "e"},
        {"empty name", "", {}, ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.title);
        TempDir dir;
        const fs::path root = dir / "root";
        const fs::path base = root / "base";
        fs::create_directories(root);
        WriteFile(root / "witness", "w");
        const fs::path archive = dir / "bad.zip";
        MakeZip(archive, {{"first.txt", "1"}, {c.name, "evil"}, {"last.txt", "2"}}, c.patches);
        const auto rootBefore = Tree(root);
        std::vector<Failure> failures;
        LoaderExtract(archive, base, [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
        auto rootAfter = Tree(root);
        const std::map<std::string, std::string> expectedBase{{"first.txt", "1"}, {"last.txt", "2"}};
        EXPECT_EQ(Tree(base), expectedBase);
        for (const auto& [path, bytes] : expectedBase) rootAfter.erase("base/" + path);
        rootAfter.erase("base");
        EXPECT_EQ(rootAfter, rootBefore);
        EXPECT_FALSE(fs::exists(fs::symlink_status("/abs/e")));
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.path() / "e")));
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].native, 68);
        EXPECT_EQ(failures[0].name, c.failureName);
        EXPECT_NE(failures[0].message.find("Unsafe entry name"), std::string::npos);
    }
}

TEST(ExtractPathSafety, DotAndEmptyPartsAreDropped)
{
    for (const char* name : {"a/./b", "a//b"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        MakeZip(dir / "a.zip", {{name, "payload"}});
        std::vector<Failure> failures;
        LoaderExtract(dir / "a.zip", dir / "base", [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(Tree(dir / "base"), (std::map<std::string, std::string>{{"a", "/"}, {"a/b", "payload"}}));
    }
}

TEST(ExtractPathSafety, UnicodeRecordsAndRenamingHandlersAreCheckedToo)
{
    TempDir dir;
    // The component's own Unicode name record replaces a harmless 8-bit name.
    std::string record = "NUCX";
    const std::string utf16("\x2E\0\x2E\0\x2F\0\x65\0", 8);
    record += std::string("\x04\0\0\0", 4) + utf16;
    std::string extra = std::string("\x4E\x55", 2) + static_cast<char>(record.size()) + '\0' + record;
    ZipEntry unicode{"harmless.txt", "evil"};
    unicode.extra = extra;
    MakeZip(dir / "u.zip", {{"first.txt", "1"}, unicode});
    std::vector<Failure> failures;
    LoaderExtract(dir / "u.zip", dir / "base", [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 68);
    EXPECT_EQ(failures[0].name, "..\\e");
    EXPECT_FALSE(fs::exists(dir / "e"));
    EXPECT_EQ(Tree(dir / "base"), (std::map<std::string, std::string>{{"first.txt", "1"}}));

    // A handler that renames an entry out of the folder.
    failures.clear();
    MakeZip(dir / "r.zip", {{"first.txt", "1"}, {"second.txt", "2"}});
    LoaderExtract(dir / "r.zip", dir / "renamed", [&](THalvorin& a) {
        a.OnProcessFileFailure = Recorder(failures);
        a.OnExtractFile = [](THvoBaseArchiver&, std::string& name, uint32_t&, const std::string&) {
            if (name == "second.txt") name = "../e";
        };
    });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 68);
    EXPECT_EQ(failures[0].name, "second.txt");
    EXPECT_FALSE(fs::exists(dir / "e"));
    EXPECT_EQ(Tree(dir / "renamed"), (std::map<std::string, std::string>{{"first.txt", "1"}}));
}

TEST(ExtractPathSafety, SymbolicLinksInTheBaseFolderAreNeverFollowed)
{
    TempDir dir;
    const fs::path outside = dir / "outside";
    fs::create_directories(outside);
    const fs::path base = dir / "base";
    fs::create_directories(base);
    fs::create_directory_symlink(outside, base / "link");
    MakeZip(dir / "l.zip", {{"link/x", "through"}, {"after.txt", "a"}});
    std::vector<Failure> failures;
    LoaderExtract(dir / "l.zip", base, [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 20);
    EXPECT_EQ(failures[0].name, "link\\x");
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_TRUE(fs::exists(base / "after.txt"));

    // The entry named like the link replaces the link by a regular file.
    failures.clear();
    MakeZip(dir / "m.zip", {{"link", "plain"}});
    LoaderExtract(dir / "m.zip", base, [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(S_ISREG(ModeOf(base / "link")));
    EXPECT_EQ(ReadFile(base / "link"), "plain");
    EXPECT_TRUE(fs::is_directory(outside));
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST(ExtractPathSafety, WithoutHandlerTheFailureBoxAsksAndItsAnswerDecides)
{
    struct Row {
        platform::MsgResult answer;
        bool lastExtracted;
    };
    for (const Row row : {Row{platform::MsgResult::Ignore, true}, Row{platform::MsgResult::Abort, false}}) {
        SCOPED_TRACE(platform::MsgResultName(row.answer));
        TempDir dir;
        MakeZip(dir / "e.zip", {{"C3.hex", "c3"}, {"../evil.hex", "evil"}, {"last.hex", "l"}});
        DialogScript dialogs;
        dialogs->PushAnswer(row.answer);
        LoaderExtract(dir / "e.zip", dir / "base");
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Unsafe entry name \"..\\evil.hex\" refused - Native error: 00068. "
                                       "File processing error, possibly disk is full");
        EXPECT_EQ(records[0].box.caption, "Подтверждение");
        EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Question);
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::AbortRetryIgnore);
        EXPECT_EQ(records[0].box.owner, 0u);
        EXPECT_FALSE(fs::exists(dir / "evil.hex"));
        EXPECT_EQ(ReadFile(dir / "base" / "C3.hex"), "c3");
        EXPECT_EQ(fs::exists(dir / "base" / "last.hex"), row.lastExtracted);
    }
}

TEST(ExtractPathSafety, RefusalsShowControlCharactersOfTheNameVisiblyAndWhole)
{
    struct Row {
        const char* title;
        std::string stored;                                      // as zipfile writes it
        std::vector<std::pair<std::string, std::string>> patches; // then patched in
        std::string shown;                                       // in the message
    };
    const Row rows[] = {
        {"NUL", "nuQQe.hex", {{"nuQQe.hex", std::string("nu\0Qe.hex", 9)}}, "nu\\x00Qe.hex"},
        {"line feed", "lf\nend.hex", {}, "lf\\nend.hex"},
        {"escape", "esc\x1b[2Jend.hex", {}, "esc\\x1b[2Jend.hex"},
        {"NUL, LF and ESC in a folder", "d/aQbQc", {{"d/aQbQc", std::string("d/a\0b\n\x1b", 7)}}, "d\\a\\x00b\\n\\x1b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        TempDir dir;
        MakeZip(dir / "c.zip", {{"first.txt", "1"}, {row.stored, "evil"}, {"last.txt", "2"}}, row.patches);
        std::vector<Failure> failures;
        LoaderExtract(dir / "c.zip", dir / "base", [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].native, 68);
        EXPECT_EQ(failures[0].message, "Unsafe entry name \"" + row.shown + "\" refused - Native error: 00068");
        EXPECT_EQ(failures[0].message.find_first_of(std::string("\0\n\x1b", 3)), std::string::npos);
        EXPECT_EQ(Tree(dir / "base"), (std::map<std::string, std::string>{{"first.txt", "1"}, {"last.txt", "2"}}));
    }

    // Without a handler the box shows the whole message too.
    TempDir dir;
    MakeZip(dir / "n.zip", {{"nuQQe.hex", "evil"}}, {{"nuQQe.hex", std::string("nu\0Qe.hex", 9)}});
    DialogScript dialogs;
    dialogs->PushAnswer(platform::MsgResult::Ignore);
    LoaderExtract(dir / "n.zip", dir / "base");
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "Unsafe entry name \"nu\\x00Qe.hex\" refused - Native error: 00068. "
                                   "File processing error, possibly disk is full");
}

// ---- Attributes ------------------------------------------------------------------------

TEST(ExtractAttributes, OnlyTheReadOnlyBitIsApplied)
{
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "suid", "s");
    WriteFile(src / "plain", "p");
    ::chmod((src / "suid").c_str(), 04755);
    ::chmod((src / "plain").c_str(), 0644);
    fs::create_symlink("/etc/passwd", src / "alink");
    ASSERT_EQ(RunCommand("cd '" + src.string() + "' && zip -q -y '" + (dir / "m.zip").string() + "' suid plain alink"), 0);
    MakeZip(dir / "m.zip", {{"ro.txt", "r", {2020, 1, 1, 0, 0, 0}, 0x01}}, {}, true);
    LoaderExtract(dir / "m.zip", dir / "base");
    for (const char* name : {"suid", "plain", "alink"}) {
        SCOPED_TRACE(name);
        const mode_t mode = ModeOf(dir / "base" / name);
        EXPECT_TRUE(S_ISREG(mode));
        EXPECT_EQ(mode & 07111, 0u);
    }
    EXPECT_EQ(ReadFile(dir / "base" / "alink"), "/etc/passwd");
    EXPECT_EQ(ModeOf(dir / "base" / "ro.txt") & 0222, 0u);
    EXPECT_NE(ModeOf(dir / "base" / "plain") & 0200, 0u);

    // The FIFO entry of the libzip corpus is a file of its two bytes.
    LoaderExtract(MIRVAK_SOURCE_DIR "/../shared/testdata/zip/libzip/data__zip64.zip", dir / "fifo");
    EXPECT_TRUE(S_ISREG(ModeOf(dir / "fifo" / "-")));
    EXPECT_EQ(fs::file_size(dir / "fifo" / "-"), 2u);

    // SetAttributes off applies nothing.
    LoaderExtract(dir / "m.zip", dir / "noattr", [](THalvorin& a) { a.Options().SetAttributes = false; });
    EXPECT_NE(ModeOf(dir / "noattr" / "ro.txt") & 0200, 0u);
}

// ---- Times -----------------------------------------------------------------------------

TEST(ExtractTimes, LocalTimesFollowTheZoneAndInvalidDatesLeaveTheTime)
{
    ScopedEnv zone("TZ", "Europe/Berlin");
    tzset();
    TempDir dir;
    MakeZip(dir / "t.zip", {{"summer", "s", {2023, 7, 14, 13, 45, 30}},
                            {"winter", "w", {2023, 1, 14, 13, 45, 30}},
                            {"nomonth", "n", {2023, 0, 14, 13, 45, 30}}});
    std::string expected;
    ASSERT_EQ(RunCommand("TZ=Europe/Berlin /usr/bin/python3 -c 'import time; "
                         "print(int(time.mktime((2023,7,14,13,45,30,0,0,-1))), int(time.mktime((2023,1,14,13,45,30,0,0,-1))))'",
                         &expected),
              0);
    std::vector<Failure> failures;
    const time_t before = time(nullptr);
    LoaderExtract(dir / "t.zip", dir / "base", [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(std::to_string(MTimeOf(dir / "base" / "summer")) + " " + std::to_string(MTimeOf(dir / "base" / "winter")) +
                  "\n",
              expected);
    EXPECT_GE(MTimeOf(dir / "base" / "nomonth"), before - 1);
    unsetenv("TZ");
    tzset();
}

// ---- Selection -------------------------------------------------------------------------

TEST(ExtractSelection, MaskMatchRules)
{
    struct Row {
        const char* name;
        const char* mask;
        bool match;
    };
    const Row rows[] = {
        {"README", "*.*", true},     {"dir/", "*.*", true},        {"a.txt", "*.*", true},
        {"README", "*.", true},      {"a.txt", "*.", false},       {"a.", "*.", true},
        {"a.", "a", true},           {"A.TXT", "a.txt", true},     {"Файл.HEX", "файл.hex", true},
        {"a.txt", "", false},        {"sub/c3.hex", "*.hex", true}, {"a.txt", "*.hex", false},
        {"abc", "a?c", true},        {"a.b.c", "*.c", true},
    };
    for (const Row& r : rows) EXPECT_EQ(THvoBaseArchiver::MaskMatch(r.name, r.mask), r.match) << r.name << " " << r.mask;
    EXPECT_TRUE(THvoBaseArchiver::AttributesMatch(0x21, 0));
    EXPECT_FALSE(THvoBaseArchiver::AttributesMatch(0x02, 0x3F & ~0x02));
    EXPECT_TRUE(THvoBaseArchiver::AttributesMatch(0xFFFFFFFF, 10431));
}

TEST(ExtractSelection, ExtractFilesSelectsByMaskRecurseAttributesAndFolders)
{
    TempDir dir;
    const fs::path archive = dir / "s.zip";
    MakeZip(archive, {{"README", "r"},
                      {"a.txt", "a"},
                      {"b.hex", "b"},
                      {"hidden.txt", "h", {2020, 1, 1, 0, 0, 0}, 0x02},
                      {"dir/", "", {2020, 1, 1, 0, 0, 0}, 0x10},
                      {"dir/sub/file.txt", "f"},
                      {"dir/x.hex", "x"}});
    struct Row {
        const char* title;
        const char* mask;
        int32_t attr;
        const char* exclusion;
        bool recurse;
        bool createDirs;
        std::vector<std::string> files; // files below the base folder afterwards
    };
    const Row rows[] = {
        {"all", "*.*", 10431, "", true, true,
         {"README", "a.txt", "b.hex", "dir", "dir/sub", "dir/sub/file.txt", "dir/x.hex", "hidden.txt"}},
        {"no extension", "*.", 10431, "", true, true, {"README", "dir"}},
        {"exact without recurse", "a.txt", 10431, "", false, true, {"a.txt"}},
        {"absent without recurse", "none.txt", 10431, "", false, true, {}},
        {"exact through marking", "a.txt", 10430, "", false, true, {"a.txt"}},
        {"exclusion", "*.*", 10431, "*.hex", true, true,
         {"README", "a.txt", "dir", "dir/sub", "dir/sub/file.txt", "hidden.txt"}},
        {"hidden skipped", "*.txt", 0x3F & ~0x02, "", true, true, {"a.txt", "dir", "dir/sub", "dir/sub/file.txt"}},
        {"without folders", "file.txt", 10431, "", true, false, {"file.txt"}},
        {"one folder without recurse", "dir/*.hex", 10431, "", false, true, {"dir", "dir/x.hex"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        const fs::path base = dir / row.title;
        auto a = THalvorin::Create();
        a->SetFileName(archive.string());
        a->Options().Recurse = row.recurse;
        a->Options().CreateDirs = row.createDirs;
        a->OpenArchive();
        a->SetBaseDir(base.string());
        a->ExtractFiles(row.mask, row.attr, row.exclusion);
        std::vector<std::string> files;
        for (const auto& [path, bytes] : Tree(base)) files.push_back(path);
        EXPECT_EQ(files, row.files);
    }
}

TEST(ExtractSelection, FindFirstDropsTheDriveAndFillsTheRecord)
{
    TempDir dir;
    MakeZip(dir / "f.zip", {{"dir/a.txt", std::string(1000, 'a')}, {"dir/b.bin", ""}, {"c.txt", "c"}});
    auto a = THalvorin::Create();
    a->SetFileName((dir / "f.zip").string());
    a->OpenArchive();
    THvoArchiveItem item;
    ASSERT_TRUE(a->FindFirst("C:\\dir\\*.txt", item));
    EXPECT_EQ(item.Internal.FileMask, "dir/*.txt");
    EXPECT_EQ(item.FileName, "a.txt");
    EXPECT_EQ(item.StoredPath, "dir\\");
    EXPECT_EQ(item.UncompressedSize, 1000);
    EXPECT_GT(item.CompressionRate, 90.0);
    EXPECT_FALSE(item.Encrypted);
    EXPECT_FALSE(a->FindNext(item));
    EXPECT_EQ(item.Internal.Index, 1);
    ASSERT_TRUE(a->FindFirst("\\\\srv\\share\\dir\\*.bin", item));
    EXPECT_EQ(item.FileName, "b.bin");
    EXPECT_EQ(item.CompressionRate, 100.0);
    a->Options().StorePath = spFullPathWithDrive;
    EXPECT_FALSE(a->FindFirst("C:\\dir\\*.txt", item));
    EXPECT_EQ(item.Internal.FileMask, "C:/dir/*.txt");
    a->CloseArchive();
    EXPECT_THROW(a->FindFirst("*.*", item), EHvoException);
}

// ---- Overwrite and read-only targets ---------------------------------------------------

TEST(ExtractOverwrite, ModesAgainstOlderEqualAndNewerFiles)
{
    TempDir dir;
    // Entries of 2020 and of 2050 (the packed date's top bit set).
    MakeZip(dir / "o.zip", {{"e2020", "new", {2020, 6, 15, 12, 0, 0}}, {"e2050", "new", {2050, 6, 15, 12, 0, 0}}});
    const time_t entry2020 = LocalMoment(2020, 6, 15, 12, 0, 0);
    const time_t entry2050 = LocalMoment(2050, 6, 15, 12, 0, 0);
    struct Row {
        THvoOverwriteMode mode;
        const char* entry;
        int fileAge; // -1 older than the entry, 0 equal, 1 newer
        bool replaced;
    };
    const Row rows[] = {
        {omNever, "e2020", -1, false},  {omAlways, "e2020", 1, true},
        {omIfNewer, "e2020", -1, true}, {omIfNewer, "e2020", 0, false}, {omIfNewer, "e2020", 1, false},
        {omIfOlder, "e2020", -1, false}, {omIfOlder, "e2020", 0, false}, {omIfOlder, "e2020", 1, true},
        {omIfNewer, "e2050", -1, true}, {omIfOlder, "e2050", -1, false},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(n));
        const fs::path base = dir / ("b" + std::to_string(n++));
        fs::create_directories(base);
        const time_t entry = std::string(row.entry) == "e2020" ? entry2020 : entry2050;
        WriteFile(base / row.entry, "old");
        Touch(base / row.entry, entry + row.fileAge * 86400 * 30);
        auto a = THalvorin::Create();
        a->SetFileName((dir / "o.zip").string());
        a->Options().OverwriteMode = row.mode;
        a->OpenArchive();
        a->SetBaseDir(base.string());
        a->ExtractFiles(row.entry, 10430);
        EXPECT_EQ(ReadFile(base / row.entry), row.replaced ? "new" : "old");
    }
}

TEST(ExtractOverwrite, TheQuestionAndItsAnswersToAll)
{
    TempDir dir;
    MakeZip(dir / "q.zip", {{"a.txt", "new"}, {"b.txt", "new"}});
    struct Row {
        platform::MsgResult first; // answer for a.txt
        const char* a;
        const char* b;
        int boxes;                 // questions asked in the first run
        THvoOverwriteMode after;
    };
    const Row rows[] = {
        {platform::MsgResult::Yes, "new", "old", 2, omPrompt},
        {platform::MsgResult::No, "old", "new", 2, omPrompt},
        {platform::MsgResult::NoToAll, "old", "old", 1, omNever},
        {platform::MsgResult::YesToAll, "new", "new", 1, omAlways},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::MsgResultName(row.first));
        const fs::path base = dir / platform::MsgResultName(row.first);
        fs::create_directories(base);
        WriteFile(base / "a.txt", "old");
        WriteFile(base / "b.txt", "old");
        DialogScript dialogs;
        dialogs->PushAnswer(row.first);
        if (row.boxes == 2)
            dialogs->PushAnswer(row.first == platform::MsgResult::Yes ? platform::MsgResult::No : platform::MsgResult::Yes);
        auto a = THalvorin::Create();
        a->SetFileName((dir / "q.zip").string());
        a->Options().OverwriteMode = omPrompt;
        a->OpenArchive();
        a->SetBaseDir(base.string());
        a->ExtractFiles("*.*");
        EXPECT_EQ(ReadFile(base / "a.txt"), row.a);
        EXPECT_EQ(ReadFile(base / "b.txt"), row.b);
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), static_cast<size_t>(row.boxes));
        EXPECT_EQ(records[0].box.text, "Overwrite file \"" + (base / "a.txt").string() + "\" with \"a.txt\"");
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::YesNoNoToAllYesToAll);
        EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Question);
        EXPECT_EQ(a->Options().OverwriteMode, row.after);
    }
}

TEST(ExtractOverwrite, ReadOnlyTargetsFollowReplaceReadOnly)
{
    TempDir dir;
    MakeZip(dir / "r.zip", {{"ro.txt", "new"}});
    for (const bool replace : {false, true}) {
        SCOPED_TRACE(replace);
        const fs::path base = dir / (replace ? "on" : "off");
        fs::create_directories(base);
        WriteFile(base / "ro.txt", "old");
        ::chmod((base / "ro.txt").c_str(), 0444);
        LoaderExtract(dir / "r.zip", base, [&](THalvorin& a) { a.Options().ReplaceReadOnly = replace; });
        EXPECT_EQ(ReadFile(base / "ro.txt"), replace ? "new" : "old");
        EXPECT_EQ(ModeOf(base / "ro.txt") & 0200, replace ? 0200u : 0u);
    }
}

// ---- Damaged entries -------------------------------------------------------------------

TEST(ExtractDamage, ABadChecksumLeavesNoFileUnlessCorruptFilesAreWanted)
{
    TempDir dir;
    const fs::path archive = dir / "d.zip";
    ZipEntry damaged{"bad.txt", "payload with a unique marker"};
    damaged.stored = true;
    MakeZip(archive, {damaged, {"good.txt", "fine"}}, {{"unique marker", "uniquE marker"}});
    std::vector<Failure> failures;
    LoaderExtract(archive, dir / "base", [&](THalvorin& a) { a.OnProcessFileFailure = Recorder(failures); });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 8);
    EXPECT_EQ(failures[0].name, "bad.txt");
    EXPECT_EQ(Tree(dir / "base"), (std::map<std::string, std::string>{{"good.txt", "fine"}}));

    failures.clear();
    LoaderExtract(archive, dir / "kept", [&](THalvorin& a) {
        a.OnProcessFileFailure = Recorder(failures);
        a.SetExtractCorruptedFiles(true);
    });
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(ReadFile(dir / "kept" / "bad.txt"), "payload with a uniquE marker");

    // Testing writes nothing and names the damaged entry.
    failures.clear();
    auto a = THalvorin::Create();
    a->SetFileName(archive.string());
    a->OpenArchive();
    a->SetBaseDir((dir / "tested").string());
    a->OnProcessFileFailure = Recorder(failures);
    a->MarkItems("*.*", 10431, "");
    a->ProcessMarkedItems(poTest, -1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].native, 8);
    EXPECT_EQ(a->FilesDone, 1);
    EXPECT_FALSE(fs::exists(dir / "tested"));
}

// ---- The processing loop ---------------------------------------------------------------

namespace {

// Every event of a run as a line.
struct EventLog {
    std::vector<std::string> lines;
    std::vector<double> overall;

    void Attach(THvoBaseArchiver& a)
    {
        a.OnOverallProgress = [this](THvoBaseArchiver&, double progress, THvoProcessOperation, THvoProgressPhase phase,
                                     bool&) {
            overall.push_back(progress);
            if (phase != ppProcess) lines.push_back(std::string("overall ") + (phase == ppStart ? "start" : "end"));
        };
        a.OnFileProgress = [this](THvoBaseArchiver&, const std::string& name, double progress, THvoProcessOperation,
                                  THvoProgressPhase phase, bool& cancel) {
            if (phase == ppStart) lines.push_back("start " + name);
            if (phase == ppEnd) lines.push_back("end " + name);
            if (phase == ppStart && name == cancelAt) cancel = true;
            if (phase == ppStart) {
                EXPECT_EQ(progress, 0.0);
            }
            if (phase == ppEnd) {
                EXPECT_EQ(progress, 100.0);
            }
        };
    }
    std::string cancelAt;
};

} // namespace

TEST(ExtractLoop, RetryIgnoreAbortCancelAndConfirmation)
{
    TempDir dir;
    const fs::path archive = dir / "l.zip";
    ZipEntry bad{"2.txt", "damaged data here"};
    bad.stored = true;
    MakeZip(archive, {{"1.txt", "one"}, bad, {"3.txt", "three"}}, {{"damaged data", "damagEd data"}});

    struct Row {
        const char* title;
        std::vector<THvoAction> answers; // to the failures of 2.txt, in turn
        std::string cancelAt;
        std::string refuse;              // OnConfirmProcessFile says no
        std::vector<std::string> lines;
        int filesDone;
        std::vector<std::string> files;
    };
    const Row rows[] = {
        {"retry then ignore", {fxaRetry, fxaIgnore}, "", "",
         {"overall start", "start 1.txt", "end 1.txt", "start 2.txt", "start 2.txt", "start 3.txt", "end 3.txt",
          "overall end"},
         2, {"1.txt", "3.txt"}},
        {"abort", {fxaAbort}, "", "",
         {"overall start", "start 1.txt", "end 1.txt", "start 2.txt", "overall end"}, 1, {"1.txt"}},
        {"cancel at start", {}, "1.txt", "", {"overall start", "start 1.txt", "overall end"}, 0, {}},
        {"refused", {fxaIgnore}, "", "1.txt",
         {"overall start", "start 2.txt", "start 3.txt", "end 3.txt", "overall end"}, 1, {"3.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        auto a = THalvorin::Create();
        a->SetFileName(archive.string());
        a->OpenArchive();
        a->SetBaseDir((dir / row.title).string());
        EventLog log;
        log.cancelAt = row.cancelAt;
        log.Attach(*a);
        size_t failures = 0;
        a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, int native,
                                      int, const std::string&, THvoAction& action) {
            EXPECT_EQ(name, "2.txt");
            EXPECT_EQ(native, 8);
            ASSERT_LT(failures, row.answers.size());
            action = row.answers[failures++];
        };
        a->OnConfirmProcessFile = [&](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, bool& confirm) {
            confirm = name != row.refuse;
        };
        a->ExtractFiles("*.*");
        EXPECT_EQ(failures, row.answers.size());
        EXPECT_EQ(log.lines, row.lines);
        EXPECT_EQ(a->FilesDone, row.filesDone);
        EXPECT_EQ(a->FilesTotal, 3);
        std::vector<std::string> files;
        for (const auto& [path, bytes] : Tree(dir / row.title)) files.push_back(path);
        EXPECT_EQ(files, row.files);
    }
}

TEST(ExtractLoop, NoMarkedItemGivesOnlyTheOverallEvents)
{
    TempDir dir;
    MakeZip(dir / "n.zip", {{"a.txt", "a"}});
    auto a = THalvorin::Create();
    a->SetFileName((dir / "n.zip").string());
    a->OpenArchive();
    a->SetBaseDir((dir / "base").string());
    EventLog log;
    log.Attach(*a);
    a->ExtractFiles("*.none");
    EXPECT_EQ(log.lines, (std::vector<std::string>{"overall start", "overall end"}));
    EXPECT_EQ(a->FilesTotal, 0);
}

TEST(ExtractLoop, FileProgressRunsFromZeroToHundredAndOverallNeverDecreases)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 3 << 20; ++i) big += static_cast<char>((i * 31) >> 7);
    MakeZip(dir / "p.zip", {{"one.bin", big}, {"two.bin", big}});
    auto a = THalvorin::Create();
    a->SetFileName((dir / "p.zip").string());
    a->OpenArchive();
    a->SetBaseDir((dir / "base").string());
    std::map<std::string, std::vector<double>> perFile;
    std::vector<double> overall;
    a->OnFileProgress = [&](THvoBaseArchiver&, const std::string& name, double progress, THvoProcessOperation,
                            THvoProgressPhase, bool&) { perFile[name].push_back(progress); };
    a->OnOverallProgress = [&](THvoBaseArchiver&, double progress, THvoProcessOperation, THvoProgressPhase,
                               bool&) { overall.push_back(progress); };
    a->ExtractFiles("*.*");
    ASSERT_EQ(perFile.size(), 2u);
    for (const auto& [name, values] : perFile) {
        SCOPED_TRACE(name);
        EXPECT_EQ(values.front(), 0.0);
        EXPECT_EQ(values.back(), 100.0);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        EXPECT_GT(values.size(), 3u);
    }
    EXPECT_TRUE(std::is_sorted(overall.begin(), overall.end()));
    EXPECT_EQ(overall.back(), 100.0);
}

TEST(ExtractLoop, AFullDiskShowsTheFailureBoxAndLeavesNoPartialFile)
{
    TempDir dir;
    ZipEntry big{"big.bin", "0123456789abcdef"};
    big.repeat = (4 << 20) / 16;
    MakeZip(dir / "big.zip", {big});
    const fs::path base = dir / "base";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1 << 20, 1 << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto service = std::make_shared<platform::ScriptedDialogService>();
        service->PushAnswer(platform::MsgResult::Ignore);
        platform::SetDialogService(service);
        int code = 0;
        try {
            LoaderExtract(dir / "big.zip", base);
            const auto records = service->Records();
            if (records.size() != 1) code = 2;
            else if (records[0].box.text != "Disk is full. There is not enough free space on disk. - Native error: "
                                            "00065. File processing error, possibly disk is full")
                code = 3;
        } catch (...) {
            code = 4;
        }
        platform::SetDialogService(nullptr);
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(base / "big.bin"));
}

TEST(ExtractLoop, RunsOfTwoArchiversNeverInterleaveAndMayNest)
{
    TempDir dir;
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 20; ++i) entries.push_back({"f" + std::to_string(i), std::string(20000, char('a' + i))});
    MakeZip(dir / "c.zip", entries);
    std::mutex lock;
    std::vector<std::string> events;
    auto run = [&](const std::string& who) {
        auto a = THalvorin::Create();
        a->SetFileName((dir / "c.zip").string());
        a->OpenArchive();
        a->SetBaseDir((dir / who).string());
        a->OnFileProgress = [&](THvoBaseArchiver&, const std::string&, double, THvoProcessOperation,
                                THvoProgressPhase phase, bool&) {
            if (phase == ppProcess) return;
            std::lock_guard<std::mutex> hold(lock);
            events.push_back(who);
        };
        a->ExtractFiles("*.*");
    };
    std::thread one(run, "one");
    std::thread two(run, "two");
    one.join();
    two.join();
    ASSERT_EQ(events.size(), 80u);
    int changes = 0;
    for (size_t i = 1; i < events.size(); ++i) changes += events[i] != events[i - 1];
    EXPECT_EQ(changes, 1);

    // A handler that runs a second archiver inside an event.
    auto outer = THalvorin::Create();
    outer->SetFileName((dir / "c.zip").string());
    outer->OpenArchive();
    outer->SetBaseDir((dir / "outer").string());
    bool nested = false;
    outer->OnFileProgress = [&](THvoBaseArchiver&, const std::string&, double, THvoProcessOperation,
                                THvoProgressPhase phase, bool&) {
        if (nested || phase != ppStart) return;
        nested = true;
        auto inner = THalvorin::Create();
        inner->SetFileName((dir / "c.zip").string());
        inner->OpenArchive();
        inner->SetBaseDir((dir / "inner").string());
        inner->ExtractFiles("*.*");
    };
    outer->ExtractFiles("*.*");
    EXPECT_EQ(Tree(dir / "inner").size(), 20u);
    EXPECT_EQ(Tree(dir / "outer").size(), 20u);
}

TEST(ExtractPrompts, TheFailureBoxDependsOnTheNativeError)
{
    auto a = THalvorin::Create();
    DialogScript dialogs;
    THvoAction action = fxaIgnore;
    a->DoProcessFileFailure("f", poExtract, 45, 39, "Stopped", action);
    EXPECT_EQ(action, fxaAbort);
    EXPECT_TRUE(dialogs->Records().empty());

    dialogs->PushAnswer(platform::MsgResult::Ignore);
    a->DoProcessFileFailure("f", poExtract, 61, 36, "File name is too long", action);
    EXPECT_EQ(action, fxaIgnore);
    dialogs->PushAnswer(platform::MsgResult::Retry);
    a->DoProcessFileFailure("f", poExtract, 19, 9, "Cannot create file", action);
    EXPECT_EQ(action, fxaRetry);
    dialogs->PushAnswer(platform::MsgResult::Abort);
    a->DoProcessFileFailure("f", poExtract, 19, 9, "Cannot create file", action);
    EXPECT_EQ(action, fxaAbort);
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].box.text, "File name is too long");
    EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::AbortIgnore);
    EXPECT_EQ(records[1].box.text, "Cannot create file. File processing error, possibly disk is full");
    EXPECT_EQ(records[1].box.buttons, platform::MsgButtons::AbortRetryIgnore);
}
