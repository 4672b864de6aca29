// Committing changes when an archive closes: adding entries of every kind, encrypted
// entries, moving, renaming, deleting and updating entries, failures and cancels that
// restore the archive, ZIP64 fields and new split sets, checked by Info-ZIP, Python's
// zipfile and 7-Zip.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "archive/HvoStreams.h"
#include "archive/HvoUpdate.h"
#include "platform/ScriptedDialogs.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/ExtractSupport.h"
#include "tests/archive/UpdateSupport.h"
#include "tests/archive/WriteSupport.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// The entries of an archive as the component reads them.
std::vector<TDirItem> ReadItems(const fs::path& zip, bool oemNames = true)
{
    auto a = THalvorin::Create();
    a->SetFileName(zip.string());
    a->Options().OEMFileNames = oemNames;
    a->OpenArchive();
    std::vector<TDirItem> out;
    for (int32_t i = 0; i < a->DirManager()->Items.Count; ++i) out.push_back(a->DirManager()->Items.GetItem(i));
    return out;
}

std::vector<std::string> Names(const fs::path& zip)
{
    std::vector<std::string> out;
    for (const TDirItem& item : ReadItems(zip)) out.push_back(item.FileName);
    return out;
}

// Ten files f0.txt .. f9.txt (their contents in the map) zipped by Info-ZIP.
std::map<std::string, std::string> MakeTen(const TempDir& dir, const fs::path& zip)
{
    std::map<std::string, std::string> files;
    fs::create_directories(dir / "ten");
    std::string names;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        files[name] = MixedData(20000 + 1000 * i, 100 + i);
        WriteFile(dir / "ten" / name, files[name]);
        names += " " + name;
    }
    PeerPasses("cd '" + (dir / "ten").string() + "' && zip -q -X '" + zip.string() + "'" + names);
    return files;
}

// The answer a failure handler gives, and the native errors it saw.
struct TFailures {
    THvoAction answer = fxaIgnore;
    std::vector<int> native;
    void Attach(THvoBaseArchiver& a)
    {
        a.OnProcessFileFailure = [this](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int nativeError,
                                        int, const std::string&, THvoAction& action) {
            native.push_back(nativeError);
            action = answer;
        };
    }
};

// ---- Adding ------------------------------------------------------------------------------

struct AddRow {
    const char* label;
    const char* name;        // the source file's name; ends with "/" for a folder
    size_t size;             // bytes of mixed data
    int mode;                // compression mode
    bool oem;                // OEMFileNames
    bool unicode;            // UnicodeFilenames
    uint16_t method;
    uint16_t flags;
    uint16_t version;        // version needed, as written
    const char* storedHex;   // the stored name's bytes; none: its UTF-8 bytes
};

TEST(AddingEntries, EveryKindOfEntryPassesThePeers)
{
    const size_t big = 3 * 1024 * 1024 + 17;
    const AddRow rows[] = {
        {"stored", "s.bin", big, 0, true, false, 0, 0, 20, "732e62696e"},
        {"level 1", "d1.bin", big, 1, true, false, 8, 0, 20, "64312e62696e"},
        {"level 6", "d6.bin", big, 6, true, false, 8, 0, 20, "64362e62696e"},
        {"level 9", "d9.bin", big, 9, true, false, 8, 0, 20, "64392e62696e"},
        {"empty", "e.bin", 0, 6, true, false, 0, 0, 20, "652e62696e"},
        {"folder", "dir/", 0, 6, true, false, 0, 2, 20, "6469722f"},
        {"Cyrillic, OEM", "Отчёт.txt", 5000, 6, true, false, 8, 0, 20, "8ee2e7f1e22e747874"},
        {"Cyrillic, ANSI", "Отчёт.txt", 5000, 6, false, false, 8, 0, 0x0B14, "cef2f7b8f22e747874"},
        {"CJK", "数据.txt", 5000, 6, true, false, 8, 0x0800, 20, nullptr},
        {"Unicode record", "Отчёт.txt", 5000, 6, true, true, 8, 0, 20, "8ee2e7f1e22e747874"},
    };
    for (const AddRow& row : rows) {
        SCOPED_TRACE(row.label);
        TempDir dir;
        const std::string name = row.name;
        const bool folder = name.back() == '/';
        const std::string content = MixedData(row.size);
        const fs::path source = dir / "src" / (folder ? name.substr(0, name.size() - 1) : name);
        fs::create_directories(dir / "src");
        if (folder)
            fs::create_directories(source);
        else
            WriteFile(source, content);
        const fs::path zip = dir / "a.zip";
        auto a = BeginUpdate(zip, [&](THalvorin& h) {
            h.SetCompressionMode(row.mode);
            h.Options().OEMFileNames = row.oem;
            h.SetUnicodeFilenames(row.unicode);
        });
        Describe(*a, source);
        a->CloseArchive();

        PeersAccept(zip);
        const std::string stored = row.storedHex ? row.storedHex : Hex(name);
        EXPECT_EQ(RunPeer("names " + zip.string()), std::string(row.flags & 0x0800 ? "1 " : "0 ") + stored + "\n");
        EXPECT_TRUE(UnzipBytes(zip) == content);

        const std::vector<TDirItem> items = ReadItems(zip, row.oem);
        ASSERT_EQ(items.size(), 1u);
        const TDirItem& item = items[0];
        EXPECT_EQ(item.FileName, name);
        EXPECT_EQ(item.CompressionMethod, row.method);
        EXPECT_EQ(item.Flags, row.flags);
        EXPECT_EQ(item.VersionNeeded, row.version);
        EXPECT_EQ(item.UncompressedSize, content.size());
        if (folder) {
            EXPECT_EQ(item.Crc32, 0u);
            EXPECT_EQ(item.CompressedSize, 0u);
        }
        // The local header says what the directory says.
        const std::string bytes = ReadFile(zip);
        const TLocalFileHeader local = LocalHeaderAt(bytes, item.LocalHeaderOffset);
        EXPECT_EQ(local.Signature, kLocalFileHeaderSignature);
        EXPECT_EQ(local.CompressionMethod, row.method);
        EXPECT_EQ(local.Flags, row.flags);
        EXPECT_EQ(local.VersionNeeded, row.version);
        EXPECT_EQ(local.Crc32, item.Crc32);
        EXPECT_EQ(local.CompressedSize, item.CompressedSize);
        EXPECT_EQ(local.UncompressedSize, item.UncompressedSize);

        // The name record: "NUCX", the UTF-16 length, the UTF-16LE name; in the local
        // header and in the directory.
        std::string record;
        if (row.unicode) {
            const std::u16string wide = u"Отчёт.txt";
            record = std::string("NUCX") + std::string(1, char(wide.size())) + std::string(3, '\0');
            for (char16_t c : wide) record += std::string{char(c & 0xFF), char(c >> 8)};
        }
        for (const auto& blocks : {item.ExtraFields, LocalExtraAt(bytes, item.LocalHeaderOffset)}) {
            std::string found;
            for (const TExtraBlock& b : blocks)
                if (b.HeaderId == 0x554E) found.assign(b.Data.begin(), b.Data.end());
            EXPECT_EQ(Hex(found), Hex(record));
        }
    }
}

// The bytes of the data of entry i (after its local header) of a file.
std::string EntryData(const std::string& bytes, const TDirItem& item)
{
    const TLocalFileHeader local = LocalHeaderAt(bytes, item.LocalHeaderOffset);
    return bytes.substr(item.LocalHeaderOffset + TLocalFileHeader::kSize + local.FileNameLength + local.ExtraFieldLength,
                        item.CompressedSize);
}

TEST(AddingEntries, EncryptedEntriesOpenWithTheirPasswordAndNeverShareTheirFirstBytes)
{
    const struct {
        THvoCryptoAlgorithm method;
        size_t distinct; // leading bytes that must differ: the traditional header or the salt
        uint16_t localMethod;
    } rows[] = {{caPkzipClassic, 12, 8}, {caAES_128, 8, 99}, {caAES_256, 16, 99}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.method));
        TempDir dir;
        const std::string content = MixedData(300000);
        WriteFile(dir / "a.bin", content);
        WriteFile(dir / "b.bin", content);
        const fs::path zip = dir / "e.zip";
        auto a = BeginUpdate(zip, [&](THalvorin& h) {
            h.SetCompressionMode(6);
            h.SetEncryptionMethod(row.method);
            h.SetPassword("secret");
        });
        Describe(*a, dir / "a.bin");
        Describe(*a, dir / "b.bin");
        a->CloseArchive();

        const std::vector<TDirItem> items = ReadItems(zip);
        ASSERT_EQ(items.size(), 2u);
        const std::string bytes = ReadFile(zip);
        for (const TDirItem& item : items) {
            EXPECT_EQ(item.Flags & 1, 1);
            EXPECT_EQ(item.CompressionMethod, row.localMethod);
            EXPECT_EQ(LocalHeaderAt(bytes, item.LocalHeaderOffset).CompressionMethod, row.localMethod);
        }
        EXPECT_NE(EntryData(bytes, items[0]).substr(0, row.distinct), EntryData(bytes, items[1]).substr(0, row.distinct));
        std::string out;
        if (row.method == caPkzipClassic) {
            PeerPasses("unzip -tqq -P secret " + zip.string());
            RunCommand("unzip -P secret -p " + zip.string() + " a.bin", &out);
        } else {
            PeerPasses("7z t -bd -psecret " + zip.string());
            RunCommand("7z x -so -psecret " + zip.string() + " b.bin 2>/dev/null", &out);
        }
        EXPECT_TRUE(out == content);
        // The component reads its own entries back with the password.
        auto r = THalvorin::Create();
        r->SetFileName(zip.string());
        r->SetPassword("secret");
        r->OpenArchive();
        TMemoryStream back;
        r->ExtractItemToStream(1, back);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.Memory()), static_cast<size_t>(back.Size())), content);
    }
}

TEST(AddingEntries, AFolderOfFilesKeepsItsRelativeNames)
{
    TempDir dir;
    const fs::path tree = dir / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    WriteFile(tree / "top.txt", "top");
    WriteFile(tree / "sub" / "a.txt", MixedData(70000));
    WriteFile(tree / "sub" / "deeper" / "b.txt", "b");
    const fs::path cwd = fs::current_path();
    fs::current_path(tree);
    const fs::path zip = dir / "tree.zip";
    auto a = BeginUpdate(zip, [](THalvorin& h) { h.Options().StorePath = spRelativePath; });
    for (const char* path : {"top.txt", "sub", "sub/a.txt", "sub/deeper", "sub/deeper/b.txt"})
        Describe(*a, tree / path);
    a->CloseArchive();
    fs::current_path(cwd);
    EXPECT_EQ(Names(zip), (std::vector<std::string>{"top.txt", "sub/", "sub/a.txt", "sub/deeper/", "sub/deeper/b.txt"}));
    PeersAccept(zip);
    const std::string listing = PeerPasses("unzip -l " + zip.string());
    EXPECT_NE(listing.find("sub/deeper/b.txt"), std::string::npos) << listing;
    EXPECT_EQ(UnzipBytes(zip, "sub/a.txt"), MixedData(70000));
}

// ---- Commits -----------------------------------------------------------------------------

TEST(Commits, AddingOneFileRewritesNothingBeforeItAndBacksUpOnlyTheTail)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    const auto files = MakeTen(dir, zip);
    const std::string before = ReadFile(zip);
    const fs::path temp = dir / "temp";
    fs::create_directories(temp);
    WriteFile(dir / "new.txt", MixedData(50000, 7));

    auto a = BeginUpdate(zip, [&](THalvorin& h) { h.SetTempDir(temp.string()); });
    const int64_t directoryStart = a->DirManager()->CentralDirStart;
    std::vector<uintmax_t> backups;
    a->OnFileProgress = [&](THvoBaseArchiver&, const std::string&, double, THvoProcessOperation,
                            THvoProgressPhase phase, bool&) {
        if (phase != ppStart) return;
        for (const auto& e : fs::directory_iterator(temp)) backups.push_back(fs::file_size(e.path()));
    };
    Describe(*a, dir / "new.txt");
    a->CloseArchive();

    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0], before.size() - static_cast<size_t>(directoryStart));
    EXPECT_TRUE(fs::is_empty(temp));
    const std::string after = ReadFile(zip);
    EXPECT_EQ(after.substr(0, static_cast<size_t>(directoryStart)), before.substr(0, static_cast<size_t>(directoryStart)));
    PeersAccept(zip);
    for (const auto& [name, content] : files) EXPECT_TRUE(UnzipBytes(zip, name) == content) << name;
    EXPECT_TRUE(UnzipBytes(zip, "new.txt") == MixedData(50000, 7));
    EXPECT_EQ(Names(zip).size(), 11u);
}

TEST(Commits, UpdateDeleteAndRenameSurviveReopening)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    auto files = MakeTen(dir, zip);

    // An update replaces the data of one entry in its place.
    WriteFile(dir / "changed.bin", MixedData(33333, 9));
    {
        auto a = BeginUpdate(zip);
        a->DirManager()->Items.ItemPtr(4).SourcePath = (dir / "changed.bin").string();
        a->MarkForUpdate(4);
        a->CloseArchive();
    }
    files["f4.txt"] = MixedData(33333, 9);
    EXPECT_EQ(Names(zip)[4], "f4.txt");

    // A delete through the processing loop.
    {
        auto a = BeginUpdate(zip);
        a->DirManager()->Items.ItemPtr(2).Marked = true;
        a->DirManager()->Items.ItemPtr(3).Marked = true;
        a->ProcessMarkedItems(poDelete, -1);
        EXPECT_EQ(a->DirManager()->Items.Count, 8);
        a->CloseArchive();
    }
    files.erase("f2.txt");
    files.erase("f3.txt");
    PeersAccept(zip);
    EXPECT_EQ(Names(zip).size(), 8u);
    for (const auto& [name, content] : files) EXPECT_TRUE(UnzipBytes(zip, name) == content) << name;

    // An entry written with its name record, renamed with the records on: the new name
    // is what is read back, in the directory and after reopening.
    {
        auto a = BeginUpdate(zip, [](THalvorin& h) { h.SetUnicodeFilenames(true); });
        WriteFile(dir / "Старое.txt", "old name");
        Describe(*a, dir / "Старое.txt");
        a->CloseArchive();
    }
    {
        auto a = BeginUpdate(zip, [](THalvorin& h) { h.SetUnicodeFilenames(true); });
        THvoDirArray& items = a->DirManager()->Items;
        const int32_t last = items.Count - 1;
        ASSERT_EQ(items.ItemPtr(last).FileName, "Старое.txt");
        items.ItemPtr(last).OldFileName = items.ItemPtr(last).FileName;
        items.SetName(last, "Новое.txt");
        items.ItemPtr(last).NewEntry = 1;
        items.ItemPtr(last).Operation = poRename;
        // Renaming the first entry moves every entry behind it.
        items.ItemPtr(0).OldFileName = "f0.txt";
        items.SetName(0, "renamed/f0.txt");
        items.ItemPtr(0).NewEntry = 1;
        items.ItemPtr(0).Operation = poRename;
        a->CloseArchive();
    }
    const std::vector<std::string> names = Names(zip);
    EXPECT_EQ(names.front(), "renamed/f0.txt");
    EXPECT_EQ(names.back(), "Новое.txt");
    PeersAccept(zip);
    EXPECT_TRUE(UnzipBytes(zip, "renamed/f0.txt") == files["f0.txt"]);
    for (const auto& [name, content] : files) {
        if (name != "f0.txt") {
            EXPECT_TRUE(UnzipBytes(zip, name) == content) << name;
        }
    }
    const std::string bytes = ReadFile(zip);
    const TDirItem renamed = ReadItems(zip).back();
    int records = 0;
    for (const TExtraBlock& b : LocalExtraAt(bytes, renamed.LocalHeaderOffset)) records += b.HeaderId == 0x554E;
    EXPECT_EQ(records, 1);
}

TEST(Commits, AFailedAddAnsweredIgnoreDropsOnlyThatEntry)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    const auto files = MakeTen(dir, zip);
    WriteFile(dir / "one.txt", "one");
    WriteFile(dir / "three.txt", "three");
    auto a = BeginUpdate(zip);
    TFailures failures;
    failures.Attach(*a);
    Describe(*a, dir / "one.txt");
    Describe(*a, dir / "missing.txt");
    Describe(*a, dir / "three.txt");
    a->CloseArchive();
    EXPECT_EQ(failures.native, std::vector<int>{33});
    const std::vector<std::string> names = Names(zip);
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names[10], "one.txt");
    EXPECT_EQ(names[11], "three.txt");
    PeersAccept(zip);
    for (const auto& [name, content] : files) EXPECT_TRUE(UnzipBytes(zip, name) == content) << name;
    EXPECT_EQ(UnzipBytes(zip, "three.txt"), "three");
}

TEST(Commits, AbortAndCancelLeaveTheArchiveByteForByte)
{
    enum Stop { kAbort, kRetryThenAbort, kCancelOverall, kCancelFile };
    for (const Stop stop : {kAbort, kRetryThenAbort, kCancelOverall, kCancelFile}) {
        SCOPED_TRACE(int(stop));
        TempDir dir;
        const fs::path zip = dir / "ten.zip";
        MakeTen(dir, zip);
        const std::string before = ReadFile(zip);
        WriteFile(dir / "one.txt", MixedData(3 << 20, 3));
        auto a = BeginUpdate(zip, [&](THalvorin& h) { h.SetTempDir(dir.path().string()); });
        // A rename of the first entry makes the commit rewrite the whole archive first.
        THvoDirArray& items = a->DirManager()->Items;
        items.ItemPtr(0).OldFileName = "f0.txt";
        items.SetName(0, "zero.txt");
        items.ItemPtr(0).NewEntry = 1;
        items.ItemPtr(0).Operation = poRename;
        Describe(*a, dir / "one.txt");
        Describe(*a, dir / "missing.txt");
        int failures = 0;
        a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string&, THvoProcessOperation, int, int,
                                      const std::string&, THvoAction& action) {
            ++failures;
            action = stop == kRetryThenAbort && failures == 1 ? fxaRetry : fxaAbort;
        };
        a->OnOverallProgress = [&](THvoBaseArchiver&, double, THvoProcessOperation, THvoProgressPhase phase,
                                   bool& cancel) { cancel = stop == kCancelOverall && phase == ppProcess; };
        a->OnFileProgress = [&](THvoBaseArchiver&, const std::string&, double progress, THvoProcessOperation,
                                THvoProgressPhase, bool& cancel) { cancel = stop == kCancelFile && progress > 0; };
        a->CloseArchive();
        EXPECT_EQ(failures, stop == kAbort ? 1 : stop == kRetryThenAbort ? 2 : 0);
        EXPECT_TRUE(ReadFile(zip) == before);
        // Neither the backup nor a temporary file of the commit is left.
        size_t left = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) left += e.path().filename().string().rfind("hv", 0) == 0;
        EXPECT_EQ(left, 0u);
    }
}

TEST(Commits, AWriteFailureRestoresTheArchiveAndCloseReportsIt)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    MakeTen(dir, zip);
    const std::string before = ReadFile(zip);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Files may not grow much past the archive's size: the entries with the renamed
        // one's longer header still fit, the directory after them does not; the restored
        // archive fits again.
        signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = before.size() + 64;
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        int code = 1;
        try {
            auto a = BeginUpdate(zip, [&](THalvorin& h) { h.SetTempDir(dir.path().string()); });
            THvoDirArray& items = a->DirManager()->Items;
            items.ItemPtr(0).OldFileName = "f0.txt";
            items.SetName(0, "a/much/longer/name/" + std::string(200, 'n') + ".txt");
            items.ItemPtr(0).NewEntry = 1;
            items.ItemPtr(0).Operation = poRename;
            a->CloseArchive();
        } catch (const EHvoException& e) {
            code = e.NativeError == 46 ? 0 : 3;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            code = 2;
        }
        _exit(code);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(ReadFile(zip) == before);
}

// ---- Moves -------------------------------------------------------------------------------

TEST(Moves, AMoveThatFailsKeepsTheOldEntryAndItsSource)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    const auto files = MakeTen(dir, zip);
    // A source path of more than 260 characters.
    const fs::path deep = dir / std::string(130, 'd') / std::string(130, 'e');
    fs::create_directories(deep);
    WriteFile(deep / "f1.txt", "the new f1");
    ASSERT_GE(deep.string().size(), 260u);
    testsupport::DialogScript dialogs;
    dialogs->PushAnswer(platform::MsgResult::Ignore);
    auto a = BeginUpdate(zip);
    Describe(*a, deep / "f1.txt", poMove, 1);
    a->CloseArchive();

    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, "File name is too long: \r\n\"" + (deep / "f1.txt").string() + "\" - Native error: 00061");
    EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::AbortIgnore);
    EXPECT_TRUE(fs::exists(deep / "f1.txt"));
    PeersAccept(zip);
    EXPECT_TRUE(UnzipBytes(zip, "f1.txt") == files.at("f1.txt"));
    EXPECT_EQ(Names(zip).size(), 10u);
}

TEST(Moves, AMovedFolderIsRemovedAfterItsFiles)
{
    TempDir dir;
    const fs::path folder = dir / "mv";
    fs::create_directories(folder);
    WriteFile(folder / "a.txt", "a");
    WriteFile(folder / "b.txt", MixedData(100000));
    WriteFile(dir / "stays.txt", "stays");
    const fs::path zip = dir / "m.zip";
    auto a = BeginUpdate(zip);
    Describe(*a, folder, poMove);
    Describe(*a, folder / "a.txt", poMove);
    Describe(*a, folder / "b.txt", poMove);
    Describe(*a, dir / "stays.txt", poAdd);
    a->CloseArchive();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(dir / "stays.txt"));
    EXPECT_EQ(Names(zip), (std::vector<std::string>{"mv/", "a.txt", "b.txt", "stays.txt"}));
    PeersAccept(zip);
    EXPECT_TRUE(UnzipBytes(zip, "b.txt") == MixedData(100000));
}

// ---- ZIP64 -------------------------------------------------------------------------------

TEST(Zip64Commits, AlwaysWritesLocalAndCentralBlocksThePeersAccept)
{
    TempDir dir;
    WriteFile(dir / "a.txt", MixedData(100000));
    WriteFile(dir / "e.txt", "");
    const fs::path zip = dir / "z.zip";
    auto a = BeginUpdate(zip, [](THalvorin& h) { h.SetZip64Mode(zmAlways); });
    Describe(*a, dir / "a.txt");
    Describe(*a, dir / "e.txt");
    a->CloseArchive();
    PeersAccept(zip);
    EXPECT_TRUE(UnzipBytes(zip, "a.txt") == MixedData(100000));
    const std::string bytes = ReadFile(zip);
    for (const TDirItem& item : ReadItems(zip)) {
        SCOPED_TRACE(item.FileName);
        EXPECT_TRUE(item.HasZip64Extra);
        EXPECT_EQ(item.VersionNeeded, 45);
        EXPECT_EQ(item.CompressedSize, 0xFFFFFFFFu);
        const TLocalFileHeader local = LocalHeaderAt(bytes, item.LocalHeaderOffset64);
        EXPECT_EQ(local.VersionNeeded, 45);
        EXPECT_EQ(local.UncompressedSize, 0xFFFFFFFFu);
        EXPECT_EQ(local.CompressedSize, 0xFFFFFFFFu);
        const auto blocks = LocalExtraAt(bytes, item.LocalHeaderOffset64);
        ASSERT_FALSE(blocks.empty());
        EXPECT_EQ(blocks[0].HeaderId, 1);
        ASSERT_EQ(blocks[0].Data.size(), 16u);
        EXPECT_EQ(ReadLE64(blocks[0].Data.data()), item.UncompressedSize64);
        EXPECT_EQ(ReadLE64(blocks[0].Data.data() + 8), item.CompressedSize64);
    }
}

void Put(std::string& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(Zip64Commits, AnEntryPastFourGiBIsRefusedWhileZip64IsDisabled)
{
    TempDir dir;
    const fs::path zip = dir / "sparse.zip";
    // One stored entry of 4 GiB of zeros, the data a hole of a sparse file: the
    // directory starts past 4 GiB.
    const uint64_t size = uint64_t(1) << 32;
    const auto zip64Sizes = [&](std::string& out) {
        Put(out, 1, 2);
        Put(out, 16, 2);
        Put(out, size, 8);
        Put(out, size, 8);
    };
    {
        std::string head;
        Put(head, kLocalFileHeaderSignature, 4);
        Put(head, 45, 2);
        Put(head, 0, 2);
        Put(head, 0, 2);
        Put(head, 0, 4);
        Put(head, 0, 4); // CRC (never checked here)
        Put(head, 0xFFFFFFFF, 4);
        Put(head, 0xFFFFFFFF, 4);
        Put(head, 3, 2);
        Put(head, 20, 2);
        head += "big";
        zip64Sizes(head);
        const uint64_t cd = head.size() + size;
        std::string tail;
        Put(tail, kCentralFileHeaderSignature, 4);
        Put(tail, 45, 2);
        Put(tail, 45, 2);
        Put(tail, 0, 2);
        Put(tail, 0, 2);
        Put(tail, 0, 4);
        Put(tail, 0, 4);
        Put(tail, 0xFFFFFFFF, 4);
        Put(tail, 0xFFFFFFFF, 4);
        Put(tail, 3, 2);
        Put(tail, 20, 2);
        Put(tail, 0, 2);
        Put(tail, 0, 2);
        Put(tail, 0, 2);
        Put(tail, 0x20, 4);
        Put(tail, 0, 4);
        tail += "big";
        zip64Sizes(tail);
        const uint64_t cdSize = tail.size();
        const uint64_t zip64End = cd + cdSize;
        Put(tail, kZip64EndOfCentralDirSignature, 4);
        Put(tail, 44, 8);
        Put(tail, 45, 2);
        Put(tail, 45, 2);
        Put(tail, 0, 4);
        Put(tail, 0, 4);
        Put(tail, 1, 8);
        Put(tail, 1, 8);
        Put(tail, cdSize, 8);
        Put(tail, cd, 8);
        Put(tail, kZip64EndLocatorSignature, 4);
        Put(tail, 0, 4);
        Put(tail, zip64End, 8);
        Put(tail, 1, 4);
        Put(tail, kEndOfCentralDirSignature, 4);
        Put(tail, 0, 4);
        Put(tail, 1, 2);
        Put(tail, 1, 2);
        Put(tail, cdSize, 4);
        Put(tail, 0xFFFFFFFF, 4);
        Put(tail, 0, 2);
        TFileStream file(zip.string(), fmCreate);
        file.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
        file.SetPosition(static_cast<int64_t>(cd));
        file.WriteBuffer(tail.data(), static_cast<int64_t>(tail.size()));
    }
    WriteFile(dir / "small.txt", "small");
    TFailures failures;
    auto a = BeginUpdate(zip, [&](THalvorin& h) {
        EXPECT_EQ(h.Zip64Mode(), zmDisabled);
        h.SetTempDir(dir.path().string());
        failures.Attach(h);
    });
    Describe(*a, dir / "small.txt");
    a->CloseArchive();
    EXPECT_EQ(failures.native, std::vector<int>{43});
    EXPECT_EQ(Names(zip), std::vector<std::string>{"big"});
}

// ---- Helpers -----------------------------------------------------------------------------

TEST(UpdateHelpers, DeleteAndMarkForUpdateNeedAnEntryAndAnOpenUpdate)
{
    TempDir dir;
    const fs::path zip = dir / "ten.zip";
    MakeTen(dir, zip);
    auto a = THalvorin::Create();
    a->SetFileName(zip.string());
    a->OpenArchive();
    const struct {
        int32_t index;
        bool update;
        int deleteError;
        int markError;
    } rows[] = {{0, false, 22, 25}, {9, false, 22, 25}, {-1, true, 21, 24}, {10, true, 21, 24}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        if (row.update) HvoOpenUpdate(*a);
        EXPECT_EQ(NativeErrorOf([&] { a->DeleteItem(row.index); }), row.deleteError);
        EXPECT_EQ(NativeErrorOf([&] { a->MarkForUpdate(row.index); }), row.markError);
    }
}

TEST(UpdateHelpers, UpdateItemFollowsTheOverwriteModeWithEntriesFrom2050)
{
    TempDir dir;
    const fs::path zip = dir / "late.zip";
    {
        // An entry dated 2050-06-01 12:00:00.
        const uint32_t stamp = DosToInt(CivilToDos({2050, 6, 1, 12, 0, 0}));
        auto a = BeginUpdate(zip);
        THvoDirArray& items = a->DirManager()->Items;
        items.SetCount(1);
        TMemoryStream data;
        data.WriteBuffer("old", 3);
        a->FillNewItem(0, "a.txt", stamp, 0x20, false);
        items.ItemPtr(0).SourceObject = &data;
        items.ItemPtr(0).Operation = poAdd;
        a->CloseArchive();
    }
    WriteFile(dir / "a.txt", "new"); // dated now: older than the entry
    const struct {
        THvoOverwriteMode mode;
        bool confirm;
        bool updated;
    } rows[] = {{omAlways, false, true},  {omNever, false, false}, {omIfNewer, false, false},
                {omIfOlder, false, true}, {omPrompt, true, true},  {omPrompt, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.mode));
        auto a = BeginUpdate(zip);
        a->Options().OverwriteMode = row.mode;
        int asked = 0;
        a->OnConfirmOverwrite = [&](THvoBaseArchiver&, const std::string&, std::string&, bool& confirm) {
            ++asked;
            confirm = row.confirm;
        };
        a->SetBaseDir(dir.path().string());
        a->DirManager()->Items.ItemPtr(0).Marked = true;
        a->ProcessMarkedItems(poUpdate, -1);
        EXPECT_EQ(asked, row.mode == omPrompt ? 1 : 0);
        const TDirItem& item = a->DirManager()->Items.ItemPtr(0);
        EXPECT_EQ(item.NewEntry != 0, row.updated);
        EXPECT_EQ(item.FileName, "a.txt");
        if (row.updated) {
            EXPECT_EQ(item.Operation, poUpdate);
            EXPECT_EQ(item.SourcePath, (dir / "a.txt").string());
        }
        a->ResetUpdateCount(); // nothing is written
        a->CloseArchive();
    }
}

// ---- Volumes -----------------------------------------------------------------------------

TEST(VolumeCommits, FilesAddedToANewSplitSetAreJoinedByInfoZip)
{
    TempDir dir;
    SetHvoDiskFree([](const std::string&) -> int64_t { return int64_t(1) << 40; });
    const fs::path set = dir / "set";
    fs::create_directories(set);
    std::vector<std::string> contents;
    for (int i = 0; i < 6; ++i) {
        // Each entry below a volume's size: Info-ZIP's join cannot follow one over three.
        contents.push_back(MixedData(20000 + 8000 * i, 50 + i));
        WriteFile(dir / ("v" + std::to_string(i) + ".bin"), contents.back());
    }
    auto a = THalvorin::Create();
    a->SetFileName((set / "ours.zip").string());
    a->SetSpanningMode(smSplitting);
    a->SpanningOptions().VolumeSize = vsCustom;
    a->SpanningOptions().SetCustomVolumeSize(65536);
    a->SetTempDir(dir.path().string());
    a->Options().StorePath = spNoPath;
    a->SetCompressionMode(0);
    a->OpenArchive();
    HvoOpenUpdate(*a);
    for (int i = 0; i < 6; ++i) Describe(*a, dir / ("v" + std::to_string(i) + ".bin"));
    a->CloseArchive();
    SetHvoDiskFree(nullptr);

    std::vector<fs::path> volumes;
    for (const auto& e : fs::directory_iterator(set)) volumes.push_back(e.path());
    std::sort(volumes.begin(), volumes.end());
    ASSERT_GE(volumes.size(), 4u);
    for (const fs::path& v : volumes) {
        EXPECT_LE(fs::file_size(v), 65536u) << v;
        // Info-ZIP asks for its volumes in lower case.
        const std::string name = v.filename().string();
        if (name.size() > 4 && name[name.size() - 3] == 'Z')
            fs::create_symlink(v, set / (name.substr(0, name.size() - 3) + "z" + name.substr(name.size() - 2)));
    }
    PeerPasses("cd '" + set.string() + "' && 7z t -bd ours.zip");
    const fs::path joined = dir / "joined.zip";
    PeerPasses("cd '" + set.string() + "' && zip -q -s 0 ours.zip --out '" + joined.string() + "'");
    PeerPasses("unzip -tqq '" + joined.string() + "'");
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(UnzipBytes(joined, "v" + std::to_string(i) + ".bin") == contents[static_cast<size_t>(i)]) << i;
    // No temporary file of an entry is left.
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string().rfind("hv", 0), 0u) << e.path();
}

} // namespace
