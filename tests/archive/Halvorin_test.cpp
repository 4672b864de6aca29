// The archiver: properties, opening and closing, decoding entries, full disks.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoUnicodeInfo.h"
#include "platform/CodePages.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <optional>
#include <tuple>
#include <unistd.h>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

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
    ASSERT_GE(rows.size(), 40u);
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

// ---- Encrypted entries -------------------------------------------------------------------

namespace {

// The prompts an archiver made, answered from a queue (an empty answer skips the entry).
struct TPasswordScript {
    std::vector<std::string> answers;
    std::vector<std::string> asked; // the entry names
    void Attach(THvoBaseArchiver& archiver)
    {
        archiver.OnPassword = [this](THvoBaseArchiver&, const std::string& name, std::string& password, bool& skip) {
            asked.push_back(name);
            if (answers.empty() || answers.front().empty())
                skip = true;
            else
                password = answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
        };
    }
};

// A wrong password that the check bytes of the first two entries refuse. The fixtures are
// encrypted afresh each run with random headers, and one wrong password in 256 passes a
// traditional check byte (one in 65536 an AES verifier); such a password is tried like the
// right one. The prompt tests keep it past the first entry, so the second must refuse it too.
std::string RefusedPassword(const std::string& archive)
{
    const auto refuses = [&](const std::string& candidate, int32_t index) {
        auto a = OpenFixture(archive);
        a->SetPassword(candidate);
        a->OnPassword = [](THvoBaseArchiver&, const std::string&, std::string&, bool& skip) { skip = true; };
        TCountingStream out;
        return NativeErrorOf([&] { a->ExtractItemToStream(index, out); }) == -1 && a->FileSkipped;
    };
    for (int i = 0;; ++i) {
        const std::string candidate = "wrong" + std::to_string(i);
        if (refuses(candidate, 0) && refuses(candidate, 1)) return candidate;
    }
}

} // namespace

TEST(ArchiverDecryption, PeersEntriesWithTheRightPassword)
{
    int entries = 0;
    for (const auto& row : ReadTable(FixtureDir() / "crypto.tsv")) {
        if (row[0] != "entry") continue;
        SCOPED_TRACE(row[1] + " #" + row[2]);
        auto a = OpenFixture(row[1]);
        a->SetPassword("pw");
        TPasswordScript script;
        script.Attach(*a);
        TCountingStream out;
        EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(std::stoi(row[2]), out); }), -1);
        EXPECT_TRUE(out.Bytes() == ReadFile(FixtureDir() / row[3])) << "output differs";
        EXPECT_TRUE(script.asked.empty());
        ++entries;
    }
    EXPECT_EQ(entries, 10);
}

TEST(ArchiverDecryption, PasswordPrompts)
{
    for (const char* archive : {"enc_7z_aes256.zip", "enc_infozip.zip", "enc_7z_zipcrypto.zip"}) {
        SCOPED_TRACE(archive);
        const std::string random = ReadFile(FixtureDir() / "crypt/random.bin");
        const std::string text = ReadFile(FixtureDir() / "crypt/text.txt");
        {
            // Empty password: asked; a wrong answer asks again; the right one is kept for the
            // next entry.
            auto a = OpenFixture(archive);
            TPasswordScript script{{RefusedPassword(archive), "pw"}, {}};
            script.Attach(*a);
            TCountingStream first, second;
            a->ExtractItemToStream(0, first);
            a->ExtractItemToStream(1, second);
            EXPECT_EQ(script.asked, (std::vector<std::string>{"random.bin", "random.bin"}));
            EXPECT_EQ(a->Password(), "pw");
            EXPECT_TRUE(first.Bytes() == random);
            EXPECT_TRUE(second.Bytes() == text);
        }
        {
            // Skipped: no error, nothing written, FileSkipped set; the next entry is asked again.
            auto a = OpenFixture(archive);
            a->SetPassword(RefusedPassword(archive));
            TPasswordScript script{{"", "pw"}, {}};
            script.Attach(*a);
            TCountingStream skipped, next;
            EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(0, skipped); }), -1);
            EXPECT_TRUE(a->FileSkipped);
            EXPECT_EQ(skipped.Written, 0);
            a->ExtractItemToStream(1, next);
            EXPECT_FALSE(a->FileSkipped);
            EXPECT_TRUE(next.Bytes() == text);
            EXPECT_EQ(script.asked.size(), 2u);
        }
        {
            // Without a handler the entry is skipped.
            auto a = OpenFixture(archive);
            TCountingStream out;
            EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(0, out); }), -1);
            EXPECT_TRUE(a->FileSkipped);
            EXPECT_EQ(out.Written, 0);
        }
    }
    auto plain = OpenFixture("enc_plain_flagged.zip");
    TCountingStream out;
    EXPECT_EQ(NativeErrorOf([&] { plain->ExtractItemToStream(0, out); }), -1);
    EXPECT_TRUE(plain->FileSkipped);
}

// Damaged or mismatching entries fail with native error 8 and never write more than they
// declare; none of them asks for a password again.
TEST(ArchiverDecryption, FailingEntries)
{
    std::vector<std::tuple<std::string, int32_t, std::string>> rows;
    for (const auto& row : ReadTable(FixtureDir() / "crypto.tsv"))
        if (row[0] == "wrongpw") rows.emplace_back(row[1], std::stoi(row[2]), row[3]); // passes the check byte
    ASSERT_EQ(rows.size(), 2u);
    rows.emplace_back("enc_ae1_badcrc.zip", 1, "pw");
    rows.emplace_back("enc_short_traditional.zip", 0, "pw");
    rows.emplace_back("enc_short_aes.zip", 0, "pw");
    // 7-Zip's AES entries with a changed cipher byte or a changed authentication code.
    TempDir dir;
    const std::string original = ReadFile(FixtureDir() / "enc_7z_aes256.zip");
    const TRawEntry entry = ReadRawEntry("enc_7z_aes256.zip", 0);
    const size_t dataEnd = static_cast<size_t>(entry.DataStart) + entry.Data.size();
    for (const auto& [name, at] : {std::pair<std::string, size_t>{"flip_cipher.zip", dataEnd - 500},
                                   std::pair<std::string, size_t>{"flip_code.zip", dataEnd - 1}}) {
        std::string damaged = original;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        testsupport::WriteFile(dir / name, damaged);
        rows.emplace_back((dir / name).string(), 0, "pw");
    }
    for (const auto& [archive, index, password] : rows) {
        SCOPED_TRACE(archive);
        auto a = THalvorin::Create();
        a->SetFileName(archive.front() == '/' ? archive : (FixtureDir() / archive).string());
        a->OpenArchive();
        a->SetPassword(password);
        TPasswordScript script;
        script.Attach(*a);
        TCountingStream out;
        EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(index, out); }), 8);
        EXPECT_LE(static_cast<uint64_t>(out.Written), a->DirManager()->Items.ItemPtr(index).EffectiveUncompressedSize());
        EXPECT_TRUE(script.asked.empty());
    }
    // AE-1 with its real CRC passes.
    auto ae1 = OpenFixture("enc_ae1.zip");
    ae1->SetPassword("pw");
    TCountingStream out;
    ae1->ExtractItemToStream(1, out);
    EXPECT_TRUE(out.Bytes() == ReadFile(FixtureDir() / "crypt/text.txt"));
}

TEST(ArchiverDecryption, PasswordDialog)
{
    testsupport::DialogScript dialogs;
    const struct {
        std::string name;
        std::optional<std::string> typed;
        std::string caption;
        std::string password; // after the dialog; "old" when left
        bool skip;
    } rows[] = {
        {"dir/secret.bin", "pw", "Password for \"dir/secret.bin\"", "pw", false},
        {"secret.bin", std::nullopt, "Password for \"secret.bin\"", "old", true},
        {"secret.bin", "", "Password for \"secret.bin\"", "", false},
        {"ключ✓.bin", "пароль✓", "Password for \"ключ?.bin\"", platform::Utf8ToAnsi("пароль?"), false},
        {"long", std::string(300, 'a'), "Password for \"long\"", std::string(255, 'a'), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        dialogs.Reset();
        dialogs->PushInput(row.typed);
        std::string password = "old";
        bool skip = !row.skip;
        THvoBaseArchiver::PasswordDialog(row.name, password, skip);
        EXPECT_TRUE(password == row.password);
        EXPECT_EQ(skip, row.skip);
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].kind, platform::DialogKind::InputQuery);
        EXPECT_EQ(records[0].input.caption, row.caption);
        EXPECT_EQ(records[0].input.prompt, "Enter password: ");
        EXPECT_EQ(records[0].input.value, "");
        EXPECT_TRUE(records[0].input.masked);
    }
    dialogs.Reset();

    // Through the decoder: a wrong answer asks again, the right one serves the next entry
    // too; Cancel skips.
    auto a = OpenFixture("enc_7z_aes256.zip");
    a->OnPassword = [](THvoBaseArchiver&, const std::string& name, std::string& password, bool& skip) {
        THvoBaseArchiver::PasswordDialog(name, password, skip);
    };
    dialogs->PushInput(RefusedPassword("enc_7z_aes256.zip"));
    dialogs->PushInput(std::string("pw"));
    TCountingStream first, second;
    a->ExtractItemToStream(0, first);
    a->ExtractItemToStream(1, second);
    EXPECT_EQ(dialogs->Records().size(), 2u);
    EXPECT_TRUE(first.Bytes() == ReadFile(FixtureDir() / "crypt/random.bin"));
    EXPECT_TRUE(second.Bytes() == ReadFile(FixtureDir() / "crypt/text.txt"));
    dialogs.Reset();
    a->SetPassword("");
    dialogs->PushInput(std::nullopt);
    TCountingStream skipped;
    EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(0, skipped); }), -1);
    EXPECT_TRUE(a->FileSkipped);
    EXPECT_EQ(skipped.Written, 0);
}

// The third-party archives with known passwords decode to what the peers give: unzip for
// traditional entries, 7-Zip for AES ones (unzip reads no AES).
TEST(ArchiverDecryption, ThirdPartyArchives)
{
    const std::filesystem::path corpus = std::filesystem::path(MIRVAK_SOURCE_DIR) / "../shared/testdata/zip/libzip";
    const struct {
        const char* archive;
        const char* password;
    } rows[] = {{"data__encrypt-aes128.zip", "foofoofoo"}, {"data__encrypt-aes192.zip", "foofoofoo"},
                {"data__encrypt-aes256.zip", "foofoofoo"}, {"data__encrypt.zip", "foo"},
                {"data__encrypt-1234.zip", "1234"},        {"data__empty-pkware.zip", "1"}};
    int encrypted = 0;
    for (const auto& row : rows) {
        const std::string path = (corpus / row.archive).string();
        auto a = THalvorin::Create();
        a->SetFileName(path);
        a->OpenArchive();
        a->SetPassword(row.password);
        TPasswordScript script;
        script.Attach(*a);
        for (int32_t i = 0; i < a->DirManager()->Items.Count; ++i) {
            const TDirItem& item = a->DirManager()->Items.ItemPtr(i);
            SCOPED_TRACE(std::string(row.archive) + " " + item.FileName);
            TCountingStream out;
            EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(i, out); }), -1);
            encrypted += item.Flags & 1;
            std::string expected;
            const std::string command = item.AesStrength != 0
                ? "7z x -so -p" + std::string(row.password) + " '" + path + "' '" + item.FileName + "' 2>/dev/null"
                : "unzip -p -P " + std::string(row.password) + " '" + path + "' '" + item.FileName + "' 2>/dev/null";
            if (!item.FileName.empty()) {
                EXPECT_EQ(RunCommand(command, &expected), 0);
            }
            EXPECT_TRUE(out.Bytes() == expected) << "output differs from the peer's";
        }
        EXPECT_TRUE(script.asked.empty());
    }
    EXPECT_EQ(encrypted, 6);

    // A wrong authentication code: native error 8.
    auto a = THalvorin::Create();
    a->SetFileName((corpus / "data__hmac-error.zip").string());
    a->OpenArchive();
    a->SetPassword("1234");
    TCountingStream out;
    EXPECT_EQ(NativeErrorOf([&] { a->ExtractItemToStream(0, out); }), 8);
}
