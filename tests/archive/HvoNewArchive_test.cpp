// New archives: empty ones with and without a stub, archives kept in memory and the
// switch between memory and file, and the prompts of spanned volumes.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/WriteSupport.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

const char* const kStub = "/bin/true";

// Runs body in a child process whose files cannot grow beyond limit bytes; the child's
// exit code (body's result), or -1 when it did not exit normally.
template <class F>
int InChildWithFileLimit(rlim_t limit, F&& body)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        _exit(code);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Entries of a fixture copied into the open (new) archive and its directory written.
void FillFrom(THvoBaseArchiver& archiver, const std::string& fixture)
{
    auto source = OpenFixture(fixture);
    TStream& stream = *archiver.ArchiveStream();
    CopyLocalRecords(*source, stream);
    archiver.DirManager()->Items.Assign(source->DirManager()->Items);
    archiver.DirManager()->WriteDirectory();
}

} // namespace

TEST(NewArchives, AnEmptyArchiveAfterAStub)
{
    TempDir dir;
    const std::string path = (dir / "sfx.zip").string();
    const std::string stub = ReadFile(kStub);
    auto a = THalvorin::Create();
    a->SetFileName(path);
    a->SetSFXStub(kStub);
    a->OpenArchive();
    EXPECT_EQ(a->DirManager()->Shift, static_cast<int64_t>(stub.size()));
    a->CloseArchive();
    const std::string written = ReadFile(path);
    ASSERT_EQ(written.size(), stub.size() + 22);
    EXPECT_TRUE(written.compare(0, stub.size(), stub) == 0);
    TEndOfCentralDir end;
    ReadRecord(reinterpret_cast<const uint8_t*>(written.data()) + stub.size(), end);
    EXPECT_EQ(end.Signature, kEndOfCentralDirSignature);
    EXPECT_EQ(end.EntriesTotal, 0);
    // Relative to the archive data: readers find no directory at an absolute offset.
    EXPECT_EQ(end.CentralDirOffset, 0u);

    EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"import zipfile,sys; sys.exit(len(zipfile.ZipFile(sys.argv[1]).infolist()))\" " +
                         path),
              0);
    EXPECT_EQ(RunCommand("7z l " + path + " >/dev/null"), 0);
    std::string listing;
    RunCommand("unzip -l " + path + " 2>&1", &listing);
    EXPECT_NE(listing.find("zipfile is empty"), std::string::npos) << listing;
    auto again = OpenFixture(path);
    EXPECT_EQ(again->DirManager()->Shift, static_cast<int64_t>(stub.size()));
    EXPECT_EQ(again->DirManager()->Items.Count, 0);
}

TEST(NewArchives, AStubLargerThanTheFirstVolumeIsRefused)
{
    TempDir dir;
    auto a = THalvorin::Create();
    a->SetFileName((dir / "split.zip").string());
    a->SetSFXStub(kStub);
    a->SetSpanningMode(smSplitting);
    a->SpanningOptions().FirstVolumeSize = 1000;
    EXPECT_EQ(NativeErrorOf([&] { a->OpenArchive(); }), 47);
    EXPECT_FALSE(a->Active());
    a->CloseArchive();
    // A limit that holds it (the failed attempt left an empty file: created anew).
    a->SpanningOptions().FirstVolumeSize = static_cast<int64_t>(ReadFile(kStub).size());
    SetHvoDiskFree([](const std::string&) -> int64_t { return int64_t(1) << 40; });
    a->OpenArchiveMode(kHvoOpenCreate);
    EXPECT_EQ(a->DirManager()->Shift, a->SpanningOptions().FirstVolumeSize);
    a->CloseArchive();
    SetHvoDiskFree(nullptr);
}

TEST(InMemoryArchives, SwitchingOnLeavesTheFileAlone)
{
    TempDir dir;
    const auto path = dir / "file.zip";
    std::filesystem::copy_file(FixtureDir() / "py_deflated.zip", path);
    const std::string before = ReadFile(path);
    auto a = THalvorin::Create();
    a->SetFileName(path.string());
    a->OpenArchive();
    ASSERT_GT(a->DirManager()->Items.Count, 0);
    a->SetInMemory(true);
    EXPECT_TRUE(a->InMemory());
    EXPECT_TRUE(a->Active());
    EXPECT_EQ(a->OpenMode(), kHvoOpenCreate);
    EXPECT_EQ(a->DirManager()->Items.Count, 0);
    EXPECT_EQ(dynamic_cast<TFileStream*>(a->ArchiveStream()), nullptr);
    a->CloseArchive();
    EXPECT_EQ(ReadFile(path), before);
    // Closed: only the switch changes; an open in memory makes a new archive, whatever
    // FileName names.
    a->SetFileName("");
    a->OpenArchive();
    EXPECT_EQ(a->DirManager()->Items.Count, 0);
    EXPECT_EQ(NativeErrorOf([&] { a->SetInMemory(false); }), 29);
    EXPECT_TRUE(a->InMemory());
    a->CloseArchive();
    a->SetInMemory(false);
    EXPECT_FALSE(a->InMemory());
    EXPECT_FALSE(a->Active());
}

TEST(InMemoryArchives, SwitchingOffWritesTheImageAndReopensIt)
{
    TempDir dir;
    const auto path = dir / "image.zip";
    testsupport::WriteFile(path, "an older file");
    auto a = THalvorin::Create();
    a->SetInMemory(true);
    a->OpenArchive();
    FillFrom(*a, "py_deflated.zip");
    const int32_t count = a->DirManager()->Items.Count;
    a->SetFileName(path.string());
    a->SetInMemory(false);
    EXPECT_FALSE(a->InMemory());
    ASSERT_TRUE(a->Active());
    EXPECT_EQ(a->OpenMode(), kHvoOpenReadWrite);
    EXPECT_NE(dynamic_cast<TFileStream*>(a->ArchiveStream()), nullptr);
    int32_t listed = 0;
    THvoArchiveItem item;
    for (bool found = a->FindFirst("*.*", item); found; found = a->FindNext(item)) ++listed;
    EXPECT_EQ(listed, count);
    a->CloseArchive();
    RunPeer("compare " + (FixtureDir() / "py_deflated.zip").string() + " " + path.string());

    // An archive that received nothing becomes an empty archive file.
    a->SetInMemory(true);
    a->OpenArchive();
    a->SetInMemory(false);
    EXPECT_TRUE(a->Active());
    EXPECT_EQ(a->DirManager()->Items.Count, 0);
    a->CloseArchive();
    EXPECT_EQ(std::filesystem::file_size(path), 22u);
}

TEST(InMemoryArchives, AFailedWriteKeepsTheOldFileAndTheArchive)
{
    TempDir dir;
    const auto path = dir / "kept.zip";
    std::filesystem::copy_file(FixtureDir() / "py_stored.zip", path);
    const std::string before = ReadFile(path);
    const int code = InChildWithFileLimit(100, [&] {
        auto a = THalvorin::Create();
        a->SetInMemory(true);
        a->OpenArchive();
        FillFrom(*a, "py_deflated.zip");
        a->SetFileName(path.string());
        try {
            a->SetInMemory(false);
        } catch (const EHvoException&) {
            return 3;
        } catch (const platform::Exception&) {
            return a->Active() && a->InMemory() && a->DirManager()->Items.Count > 0 ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(path), before);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

TEST(SpannedVolumePrompts, BlankDiskAndFullDiskBoxes)
{
    testsupport::DialogScript dialogs;
    // The one question asked: an OK / Cancel confirmation box without an owner.
    const auto expectBox = [&](const std::string& text) {
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, text);
        EXPECT_EQ(records[0].box.caption, "Подтверждение");
        EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Question);
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::OKCancel);
        EXPECT_EQ(records[0].owner, 0u);
    };
    auto a = THalvorin::Create();
    a->SetFileName("/media/disk/arc.zip");
    std::string name;
    bool cancel = true;
    // Outside spanning no box: the blank volume is taken, under its volume name.
    a->SetSpanningMode(smSplitting);
    a->DoRequestBlankVolume(-3, name, cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(name, "/media/disk/arc.Z01");
    EXPECT_TRUE(dialogs->Records().empty());

    a->SetSpanningMode(smSpanning);
    for (const auto answer : {platform::MsgResult::OK, platform::MsgResult::Cancel}) {
        dialogs.Reset();
        dialogs->PushAnswer(answer);
        cancel = answer == platform::MsgResult::OK;
        a->DoRequestBlankVolume(2, name, cancel);
        EXPECT_EQ(cancel, answer != platform::MsgResult::OK);
        EXPECT_EQ(name, "/media/disk/arc.zip");
        expectBox("Please insert a blank disk #3");
    }

    std::string asked;
    SetHvoDiskFree([&](const std::string& path) -> int64_t {
        asked = path;
        return 5000000000;
    });
    struct Row {
        THvoVolumeSize size;
        platform::MsgResult answer;
        const char* required;
    };
    const Row rows[] = {{vsCustom, platform::MsgResult::Cancel, "70000"},
                        {vs4700MB, platform::MsgResult::OK, "4928307200"},
                        {vsAutoDetect, platform::MsgResult::Cancel, "-1"}};
    a->SpanningOptions().SetCustomVolumeSize(70000);
    for (const Row& row : rows) {
        dialogs.Reset();
        a->SpanningOptions().VolumeSize = row.size;
        dialogs->PushAnswer(row.answer);
        cancel = row.answer == platform::MsgResult::OK;
        a->DoDiskFull(1, "/media/disk/arc.z02", cancel);
        EXPECT_EQ(cancel, row.answer != platform::MsgResult::OK);
        expectBox(std::string("Disk is full. Required free space: ") + row.required +
                  " bytes, but available only: 5000000000 bytes. Clean the disk or find another blank disk");
        EXPECT_EQ(asked, "/media/disk/arc.z02");
    }
    SetHvoDiskFree(nullptr);
}
