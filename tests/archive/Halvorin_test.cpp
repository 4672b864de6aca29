// The archiver: properties, opening and closing, decoding entries, full disks.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoUnicodeInfo.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {


template <class F>
int NativeErrorOf(F&& f)
{
    try {
        f();
    } catch (const EHvoException& e) {
        return e.NativeError;
    }
    return -1;
}

// A memory stream that keeps the largest size it reached.
class TCountingStream : public TMemoryStream {
public:
    int64_t Write(const void* buffer, int64_t count) override
    {
        const int64_t n = TMemoryStream::Write(buffer, count);
        Written += n;
        return n;
    }
    std::string Bytes() { return std::string(reinterpret_cast<const char*>(Memory()), static_cast<size_t>(Size())); }
    int64_t Written = 0;
};

// Takes at most Room bytes per write while Room is set; records where writes started.
class TShortStream : public TMemoryStream {
public:
    int64_t Write(const void* buffer, int64_t count) override
    {
        Positions.push_back(Position());
        const int64_t n = Room >= 0 ? std::min(count, Room) : count;
        return TMemoryStream::Write(buffer, n);
    }
    int64_t Room = -1;
    std::vector<int64_t> Positions;
};

} // namespace

TEST(ArchiverProperties, WritersAndFactoryDefaults)
{
    auto halvorin = THalvorin::Create();
    EXPECT_EQ(halvorin->CompressionMode(), 1);
    EXPECT_EQ(halvorin->CompressionLevel(), clFastest);
    EXPECT_EQ(halvorin->CompressionMethod(), 8);
    EXPECT_EQ(halvorin->Zip64Mode(), zmDisabled);
    EXPECT_EQ(halvorin->EncryptionMethod(), caPkzipClassic);
    EXPECT_TRUE(halvorin->RepairOnOpen());
    EXPECT_EQ(halvorin->CurrentVersion(), " 6.10");
    auto base = THvoBaseArchiver::Create();
    EXPECT_EQ(base->CompressionMethod(), 0xFFFF);
    EXPECT_EQ(base->Zip64Mode(), zmAuto);
    EXPECT_EQ(base->CompressionMode(), 1);

    struct Row {
        int mode; // -1: set the level instead
        THvoCompressionLevel level;
        int expectedMode;
        THvoCompressionLevel expectedLevel;
        uint16_t expectedMethod;
    };
    const Row rows[] = {
        {5, clNone, 5, clNormal, 8},
        {0, clNone, 0, clNone, 0},
        {-1, clMax, 9, clMax, 8},
        {3, clNone, 3, clFastest, 8},
    };
    for (const Row& row : rows) {
        auto a = THalvorin::Create();
        if (row.mode >= 0)
            a->SetCompressionMode(row.mode);
        else
            a->SetCompressionLevel(row.level);
        EXPECT_EQ(a->CompressionMode(), row.expectedMode);
        EXPECT_EQ(a->CompressionLevel(), row.expectedLevel);
        EXPECT_EQ(a->CompressionMethod(), row.expectedMethod);
    }
    halvorin->SetCompressionMode(6);
    EXPECT_EQ(NativeErrorOf([&] { halvorin->SetCompressionMode(10); }), 5);
    EXPECT_EQ(halvorin->CompressionMode(), 6);
    EXPECT_EQ(halvorin->CompressionLevel(), clNormal);
}

TEST(ArchiverOpenClose, MissingNamesBlankNamesAndModes)
{
    TempDir dir;
    const std::string created = (dir / "new.zip").string();
    {
        auto a = THalvorin::Create();
        a->SetFileName(created);
        a->OpenArchive();
        EXPECT_TRUE(a->Active());
        EXPECT_EQ(a->OpenMode(), kHvoOpenCreate);
        a->CloseArchive();
        EXPECT_FALSE(a->Active());
        a->CloseArchive(); // twice: harmless
    }
    EXPECT_EQ(std::filesystem::file_size(created), 22u);
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                         "sys.exit(len(z.infolist()))\" " + created),
              0);
    EXPECT_EQ(RunCommand("7z l " + created + " >/dev/null"), 0);

    const std::string missing = (dir / "missing.zip").string();
    auto a = THalvorin::Create();
    a->Name = "Arc";
    a->SetFileName(missing);
    try {
        a->OpenArchiveMode(kHvoOpenReadOnly);
        FAIL() << "opened a missing file";
    } catch (const EHvoException& e) {
        EXPECT_EQ(e.NativeError, 12);
        EXPECT_NE(std::string(e.what()).find("File \"" + missing + "\" not found"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("Arc: ", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    for (const std::string& name : {(dir / "folder/").string(), std::string("x\\"), std::string("c:"), std::string()}) {
        a->SetFileName(name);
        EXPECT_EQ(NativeErrorOf([&] { a->OpenArchive(); }), 9) << name;
        EXPECT_EQ(NativeErrorOf([&] { a->OpenArchiveMode(kHvoOpenReadOnly); }), 10) << name;
    }
    // A folder of the name is no archive file.
    a->SetFileName(dir.path().string());
    EXPECT_EQ(NativeErrorOf([&] { a->OpenArchiveMode(kHvoOpenReadOnly); }), 12);
    EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(0, *std::make_unique<TMemoryStream>()); }), 13);
    auto never = THalvorin::Create();
    never->CloseArchive();

    // Spanning mode is fixed while open.
    auto open = OpenFixture("infozip.zip");
    EXPECT_THROW(open->SetSpanningMode(smSplitting), platform::Exception);
    try {
        open->SetSpanningMode(smSplitting);
    } catch (const EHvoException&) {
        ADD_FAILURE() << "the component's own error class";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Cannot set spanning mode on open archive");
    }
    EXPECT_EQ(open->SpanningMode(), smNone);
    open->CloseArchive();
    open->SetSpanningMode(smSplitting);
    EXPECT_EQ(open->SpanningMode(), smSplitting);
}

TEST(ArchiverOpenClose, ReadOnlyProbeAndUntouchedArchive)
{
    TempDir dir;
    const auto path = dir / "copy.zip";
    std::filesystem::copy_file(FixtureDir() / "py_deflated.zip", path);
    const std::string before = ReadFile(path);
    const timespec old{1000000000, 0};
    const timespec times[2] = {old, old};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    for (bool probeFails : {false, true}) {
        SetHvoReadWriteProbe(probeFails ? +[](const std::string&) { return false; } : nullptr);
        auto a = THalvorin::Create();
        bool opened = false;
        a->AfterOpen = [&](THvoBaseArchiver& sender) { opened = &sender == a.get(); };
        a->SetFileName(path.string());
        a->OpenArchive();
        EXPECT_TRUE(opened);
        EXPECT_EQ(a->OpenMode(), probeFails ? kHvoOpenReadOnly : kHvoOpenReadWrite);
        for (int32_t i = 0; i < a->DirManager()->Items.Count; ++i) {
            TNullStream sink;
            a->ExtractItemToStream(i, sink);
        }
        a->CloseArchive();
    }
    SetHvoReadWriteProbe(nullptr);
    EXPECT_EQ(ReadFile(path), before);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, old.tv_sec);
}

TEST(ArchiverOpenClose, CloseReportsAFailedDirectoryWrite)
{
    TempDir dir;
    const std::string path = (dir / "limited.zip").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No file may grow: the end record cannot be written.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{0, 0};
        setrlimit(RLIMIT_FSIZE, &limit);
        int code = 1;
        auto a = THalvorin::Create();
        a->SetFileName(path);
        a->OpenArchive();
        try {
            a->CloseArchive();
        } catch (const EHvoException& e) {
            code = e.NativeError == 46 && !a->Active() && a->ArchiveStream() == nullptr ? 0 : 2;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ArchiverDecoding, EntriesAgainstTheirSources)
{
    const auto rows = ReadTable(FixtureDir() / "decode.tsv");
    ASSERT_GT(rows.size(), 40u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0] + " #" + row[1]);
        auto a = OpenFixture(row[0]);
        const auto index = static_cast<int32_t>(Number(row[1]));
        const TDirItem& item = a->DirManager()->Items.ItemPtr(index);
        TCountingStream out;
        const int error = NativeErrorOf([&] { a->ExtractItemToStream(index, out); });
        if (row[2] == "ok") {
            EXPECT_EQ(error, -1);
            EXPECT_TRUE(out.Bytes() == ReadFile(FixtureDir() / row[3])) << "output differs";
        } else {
            EXPECT_EQ(error, std::stoi(row[2]));
            // Never more output than the entry declares.
            EXPECT_LE(static_cast<uint64_t>(out.Written), item.EffectiveUncompressedSize());
        }
    }
}

TEST(ArchiverDecoding, ProgressCancelAndCorruptedEntries)
{
    auto a = OpenFixture("dec_big.zip");
    std::vector<double> file, overall;
    a->OnFileProgress = [&](THvoBaseArchiver&, const std::string& name, double p, THvoProcessOperation,
                            THvoProgressPhase phase, bool&) {
        EXPECT_EQ(name, "mixed_deflated.bin");
        EXPECT_EQ(phase, ppProcess);
        file.push_back(p);
    };
    a->OnOverallProgress = [&](THvoBaseArchiver&, double p, THvoProcessOperation, THvoProgressPhase, bool&) {
        overall.push_back(p);
    };
    TNullStream sink;
    a->ExtractItemToStream(0, sink);
    ASSERT_GE(file.size(), 3u);
    EXPECT_EQ(file.front(), 0.0);
    EXPECT_TRUE(std::is_sorted(file.begin(), file.end()));
    EXPECT_LE(file.back(), 100.0);
    EXPECT_EQ(overall, file); // no files counted: the entry alone

    // A cancel ends the entry without an error; the flag tells the caller.
    a->OnFileProgress = [](THvoBaseArchiver&, const std::string&, double p, THvoProcessOperation, THvoProgressPhase,
                           bool& cancel) { cancel = p > 30; };
    TCountingStream partial;
    a->ExtractItemToStream(1, partial);
    EXPECT_TRUE(a->Cancelled);
    EXPECT_LT(partial.Written, 3 * 1024 * 1024);

    // Kept as far as it decodes when corrupted entries are wanted.
    auto c = OpenFixture("dec_flipped_stored.zip");
    c->SetExtractCorruptedFiles(true);
    TCountingStream kept;
    c->ExtractItemToStream(0, kept);
    EXPECT_EQ(kept.Written, 5700);
    EXPECT_EQ(NativeErrorOf([&] { c->ExtractItemToStream(1, kept); }), 16);
}

TEST(ArchiverDecoding, FullDisk)
{
    auto a = OpenFixture("rd_sevenzip_si.zip");
    const std::string expected = ReadFile(FixtureDir() / "piped.bin");
    {
        // No handler: native error 65 without the component's prefix.
        a->Name = "Arc";
        TShortStream out;
        out.Room = 100;
        try {
            a->ExtractItemToStream(0, out);
            FAIL() << "no error";
        } catch (const EHvoException& e) {
            EXPECT_EQ(e.NativeError, 65);
            EXPECT_EQ(std::string(e.what()).rfind("Disk is full.", 0), 0u) << e.what();
        }
    }
    {
        // A handler that frees space once: the same bytes again at the same position.
        TShortStream out;
        out.Room = 100;
        int calls = 0;
        a->OnDiskFull = [&](THvoBaseArchiver&, int volume, const std::string& name, bool& cancel) {
            EXPECT_EQ(volume, 0);
            EXPECT_EQ(name, a->FileName());
            EXPECT_TRUE(cancel);
            ++calls;
            out.Room = -1;
            cancel = false;
        };
        a->ExtractItemToStream(0, out);
        EXPECT_EQ(calls, 1);
        ASSERT_GE(out.Positions.size(), 2u);
        EXPECT_EQ(out.Positions[0], out.Positions[1]);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())) == expected);
    }
    {
        // A handler that only logs ends the write: no endless retry, the entry cancelled.
        TShortStream out;
        out.Room = 100;
        int calls = 0;
        a->OnDiskFull = [&](THvoBaseArchiver&, int, const std::string&, bool&) { ++calls; };
        a->ExtractItemToStream(0, out);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(a->Cancelled);
        TShortStream direct;
        direct.Room = 0;
        a->Cancelled = false;
        EXPECT_FALSE(a->WriteWithRetry(direct, "abc", 3));
        EXPECT_TRUE(a->Cancelled);
    }
}

TEST(ArchiverEvents, DispatchersPrepareTheirArguments)
{
    auto a = THalvorin::Create();
    a->SetFileName("dir/arc.zip");
    std::string seen;
    int seenVolume = -5;
    a->OnFileProgress = [&](THvoBaseArchiver&, const std::string& name, double, THvoProcessOperation, THvoProgressPhase,
                            bool&) { seen = name; };
    bool cancel = true;
    a->DoFileProgress("a/b/c.txt", poExtract, 1, ppProcess, cancel);
    EXPECT_EQ(seen, "a\\b\\c.txt");
    std::string name = "x/y";
    uint32_t attr = 0;
    a->DoExtractFile(name, attr, "");
    EXPECT_EQ(name, "x\\y");
    int32_t storeAttr = 0;
    std::string comment;
    a->DoStoreFile(name, storeAttr, comment, "orig");
    EXPECT_EQ(name, "x\\y"); // no handler: unchanged
    a->OnStoreFile = [&](THvoBaseArchiver&, std::string& n, int32_t&, std::string&, const std::string&) { seen = n; };
    a->DoStoreFile(name, storeAttr, comment, "orig");
    EXPECT_EQ(seen, "x\\y");
    EXPECT_EQ(name, "x/y");
    bool confirm = false;
    a->DoConfirmProcessFile("f", poExtract, confirm);
    EXPECT_TRUE(confirm);
    THvoAction action = fxaAbort;
    a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int, int,
                                  const std::string&, THvoAction& act) { EXPECT_EQ(act, fxaIgnore); };
    a->DoProcessFileFailure("f", poExtract, 8, 7, "m", action);
    EXPECT_EQ(action, fxaIgnore);
    a->OnRequestMiddleVolume = [&](THvoBaseArchiver&, int volume, std::string& file, bool& c) {
        seenVolume = volume;
        seen = file;
        EXPECT_FALSE(c);
    };
    std::string volumeName;
    a->DoRequestMiddleVolume(2, volumeName, cancel);
    EXPECT_EQ(seenVolume, 3);
    EXPECT_EQ(seen, "dir/arc.zip");
    a->OnDiskFull = [&](THvoBaseArchiver&, int volume, const std::string&, bool& c) {
        seenVolume = volume;
        EXPECT_FALSE(c);
    };
    cancel = true;
    a->DoDiskFull(4, "v", cancel);
    EXPECT_EQ(seenVolume, 5);
    cancel = true;
    a->DoCopyTempFileProgress(ppStart, cancel, 0);
    EXPECT_FALSE(cancel);
    // The lock is re-entrant.
    EnterArchiverLock();
    EnterArchiverLock();
    LeaveArchiverLock();
    LeaveArchiverLock();
}
