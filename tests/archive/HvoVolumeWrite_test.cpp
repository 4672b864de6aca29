// Writing multi-volume archives: a split set that Info-ZIP joins, headers kept whole on a
// volume, blocks no volume can hold, full disks, blank disks and their labels.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/WriteSupport.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace archivetest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

constexpr int64_t kVolume = 65536;

// Disks that never fill up, for as long as it lives.
struct TRoomyDisks {
    TRoomyDisks()
    {
        SetHvoDiskFree([](const std::string&) -> int64_t { return int64_t(1) << 40; });
    }
    ~TRoomyDisks() { SetHvoDiskFree(nullptr); }
};

// A new multi-volume archive of 64 KiB volumes.
std::unique_ptr<THalvorin> NewVolumes(const std::filesystem::path& path, THvoSpanningMode mode)
{
    auto a = THalvorin::Create();
    a->SetFileName(path.string());
    a->SetSpanningMode(mode);
    a->SpanningOptions().VolumeSize = vsCustom;
    a->SpanningOptions().SetCustomVolumeSize(kVolume);
    return a;
}

// Copies the local records of the open source into the open multi-volume target as a
// commit places them: each local header whole on one volume, the item then pointing at
// the volume and offset where it landed.
void CopyIntoVolumes(THvoBaseArchiver& source, THvoBaseArchiver& target, bool progress = false)
{
    THvoDirManager& from = *source.DirManager();
    THvoDirManager& to = *target.DirManager();
    TStream& in = *source.ArchiveStream();
    THvoVolumeNumberInfo& volume = target.VolumeNumberInfo();
    to.Items.SetCount(from.Items.Count);
    for (int32_t i = 0; i < from.Items.Count; ++i) {
        TDirItem item = from.Items.GetItem(i);
        const int64_t size = LocalRecordSize(in, item);
        uint8_t raw[TLocalFileHeader::kSize];
        in.SetPosition(static_cast<int64_t>(item.EffectiveLocalHeaderOffset()));
        in.ReadBuffer(raw, sizeof raw);
        TLocalFileHeader local;
        ReadRecord(raw, local);
        TStream* out = target.ArchiveStream();
        target.WriteChecked(nullptr, 0, nullptr, 30 + local.FileNameLength + local.ExtraFieldLength, volume, out);
        item.DiskNumberStart = static_cast<uint16_t>(volume.VolumeNumber);
        item.SetEffectiveLocalHeaderOffset(static_cast<uint64_t>(out->Seek(0, TSeekOrigin::soEnd)));
        in.SetPosition(static_cast<int64_t>(from.Items.ItemPtr(i).EffectiveLocalHeaderOffset()));
        ASSERT_EQ(target.CopySpanned(in, size, progress, nullptr, -1, volume, out), size);
        to.Items.SetItem(i, item);
    }
}

// The files of the folder, by name.
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(VolumeWriting, ASplitSetThatInfoZipJoins)
{
    TempDir dir;
    TRoomyDisks disks;
    const auto spread = dir / "spread.zip";
    RunPeer("make-spread " + spread.string());
    const auto set = dir / "set";
    std::filesystem::create_directory(set);
    auto a = NewVolumes(set / "ours.zip", smSplitting);
    a->OpenArchive();
    auto source = OpenFixture(spread.string());
    std::vector<double> progress;
    a->OnCopyTempFileProgress = [&](THvoBaseArchiver&, double value, THvoProgressPhase, bool&) {
        progress.push_back(value);
    };
    CopyIntoVolumes(*source, *a, true);
    a->DirManager()->WriteDirectory();
    EXPECT_EQ(a->VolumeFileName(), (set / "ours.zip").string());
    a->CloseArchive();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_EQ(progress.back(), 100.0);

    const auto files = FilesIn(set);
    ASSERT_GE(files.size(), 6u);
    std::string volumes;
    for (size_t i = 0; i + 1 < files.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "ours.Z%02zu", i + 1);
        EXPECT_EQ(files[i].filename().string(), name);
        volumes += files[i].string() + " ";
        // Info-ZIP asks for its volumes in lower case.
        std::filesystem::create_symlink(files[i], set / ("ours.z" + std::string(name + 6)));
    }
    EXPECT_EQ(files.back().filename(), "ours.zip");
    for (const auto& f : files) EXPECT_LE(std::filesystem::file_size(f), static_cast<uintmax_t>(kVolume)) << f;
    EXPECT_EQ(RunPeer("volumes " + volumes + files.back().string()), "305\n");

    const auto joined = dir / "joined.zip";
    std::string out;
    EXPECT_EQ(RunCommand("cd " + set.string() + " && zip -q -s 0 ours.zip --out " + joined.string() + " 2>&1", &out), 0)
        << out;
    RunPeer("compare " + spread.string() + " " + joined.string());
    // The component reads its own set back.
    auto again = THalvorin::Create();
    again->SetFileName((set / "ours.zip").string());
    again->OpenArchive();
    EXPECT_EQ(again->SpanningMode(), smSplitting);
    EXPECT_EQ(again->DirManager()->Items.Count, 305);
}

TEST(VolumeWriting, ABlockNoVolumeCanHoldEndsTheWrite)
{
    TempDir dir;
    TRoomyDisks disks;
    auto a = NewVolumes(dir / "big.zip", smSplitting);
    a->OpenArchive();
    THvoDirManager& manager = *a->DirManager();
    manager.Items.SetCount(1);
    manager.Items.SetName(0, std::string(40000, 'n'));
    manager.Items.ItemPtr(0).ExtraFields = {{0xCAFE, std::vector<uint8_t>(30000, 7)}};
    EXPECT_EQ(NativeErrorOf([&] { manager.WriteDirectory(); }), 46);
    EXPECT_LE(FilesIn(dir.path()).size(), 2u);
    EXPECT_EQ(NativeErrorOf([&] { a->CloseArchive(); }), 46);
    EXPECT_FALSE(a->Active());
    EXPECT_LE(FilesIn(dir.path()).size(), 2u);
}

TEST(VolumeWriting, AFullDiskIsReportedBeforeAnythingIsWritten)
{
    TempDir dir;
    for (const int64_t free : {int64_t(65536), int64_t(100)}) {
        SetHvoDiskFree([&](const std::string&) { return free; });
        auto a = NewVolumes(dir / "full.zip", smSplitting);
        std::vector<std::string> reported;
        a->OnDiskFull = [&](THvoBaseArchiver&, int volume, const std::string& name, bool& cancel) {
            reported.push_back(std::to_string(volume) + " " + name);
            cancel = reported.size() == 2; // a retry first
        };
        EXPECT_EQ(NativeErrorOf([&] { a->OpenArchive(); }), 45);
        ASSERT_EQ(reported.size(), 2u);
        EXPECT_EQ(reported[0], "1 " + (dir / "full.Z01").string());
        EXPECT_TRUE(FilesIn(dir.path()).empty());
    }
    // Without a handler: splitting raises native error 65; spanning asks with both numbers
    // and Cancel ends the request.
    SetHvoDiskFree([](const std::string&) -> int64_t { return 4096; });
    auto split = NewVolumes(dir / "full.zip", smSplitting);
    EXPECT_EQ(NativeErrorOf([&] { split->OpenArchive(); }), 65);
    testsupport::DialogScript dialogs;
    dialogs->PushAnswer(platform::MsgResult::OK);     // the blank disk
    dialogs->PushAnswer(platform::MsgResult::Cancel); // the full disk
    auto span = NewVolumes(dir / "full.zip", smSpanning);
    EXPECT_EQ(NativeErrorOf([&] { span->OpenArchive(); }), 45);
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].box.text, "Please insert a blank disk #1");
    EXPECT_EQ(records[1].box.text, "Disk is full. Required free space: 65536 bytes, but available only: 4096 bytes. "
                                   "Clean the disk or find another blank disk");
    // A cancelled blank disk.
    dialogs.Reset();
    SetHvoDiskFree(nullptr);
    dialogs->PushAnswer(platform::MsgResult::Cancel);
    EXPECT_EQ(NativeErrorOf([&] { span->OpenArchive(); }), 45);
    EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(VolumeWriting, SpannedDisksAreLabelledAndTheLastTakesTheArchiveName)
{
    TempDir dir;
    TRoomyDisks disks;
    std::vector<std::string> labels;
    SetHvoVolumeLabel([&](const std::string&, const std::string& label) {
        labels.push_back(label);
        return false;
    });
    const auto spread = dir / "spread.zip";
    RunPeer("make-spread " + spread.string());
    auto a = NewVolumes(dir / "ours.zip", smSpanning);
    // Each disk is a folder of its own.
    std::vector<int> asked;
    a->OnRequestBlankVolume = [&](THvoBaseArchiver&, int volume, std::string& name, bool& cancel) {
        asked.push_back(volume);
        const auto disk = dir / ("disk" + std::to_string(volume));
        std::filesystem::create_directories(disk);
        name = (disk / "ours.zip").string();
        cancel = false;
    };
    a->OpenArchive();
    auto source = OpenFixture(spread.string());
    CopyIntoVolumes(*source, *a);
    a->DirManager()->WriteDirectory();
    const int32_t last = a->VolumeNumberInfo().VolumeNumber;
    a->CloseArchive();
    SetHvoVolumeLabel(nullptr);
    ASSERT_GE(labels.size(), 3u);
    EXPECT_EQ(labels[0], "pkback# 001");
    EXPECT_EQ(labels[2], "pkback# 003");
    EXPECT_EQ(asked.front(), 1);
    EXPECT_EQ(asked.back(), last + 1);
    // The last disk's file was moved to the archive's own name.
    EXPECT_TRUE(std::filesystem::exists(dir / "ours.zip"));
    EXPECT_FALSE(std::filesystem::exists(dir / ("disk" + std::to_string(last + 1)) / "ours.zip"));
}

TEST(VolumeWriting, ANewSetClosedAtOnceIsOneEmptyLastVolume)
{
    TempDir dir;
    TRoomyDisks disks;
    auto a = NewVolumes(dir / "empty.zip", smSplitting);
    std::vector<int> asked;
    a->OnRequestBlankVolume = [&](THvoBaseArchiver&, int volume, std::string& name, bool&) {
        asked.push_back(volume);
        EXPECT_EQ(name, (dir / "empty.Z01").string());
    };
    a->OpenArchive();
    a->CloseArchive();
    EXPECT_EQ(asked, std::vector<int>{1});
    const auto files = FilesIn(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "empty.zip");
    EXPECT_EQ(std::filesystem::file_size(files[0]), 22u);
    EXPECT_EQ(RunCommand("7z l " + files[0].string() + " >/dev/null"), 0);
}

TEST(VolumeWriting, CopyProgressAndCancel)
{
    auto a = THalvorin::Create();
    a->SetInMemory(true);
    a->OpenArchive();
    TMemoryStream source;
    const std::string bytes(2500000, 'b');
    source.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    std::vector<std::pair<THvoProgressPhase, double>> seen;
    a->OnCopyTempFileProgress = [&](THvoBaseArchiver&, double value, THvoProgressPhase phase, bool& cancel) {
        EXPECT_FALSE(cancel);
        seen.emplace_back(phase, value);
        cancel = seen.size() == 3;
    };
    TStream* out = a->ArchiveStream();
    source.SetPosition(0);
    EXPECT_EQ(a->CopySpanned(source, -1, true, nullptr, -1, a->VolumeNumberInfo(), out), 2000000);
    EXPECT_TRUE(a->Cancelled);
    const std::vector<std::pair<THvoProgressPhase, double>> expected = {{ppStart, 0.0}, {ppProcess, 40.0}, {ppProcess, 80.0}};
    EXPECT_EQ(seen, expected);
    // Without cancel it runs to the end; without the flag no event is raised.
    a->Cancelled = false;
    seen.clear();
    a->OnCopyTempFileProgress = [&](THvoBaseArchiver&, double value, THvoProgressPhase phase, bool&) {
        seen.emplace_back(phase, value);
    };
    source.SetPosition(0);
    EXPECT_EQ(a->CopySpanned(source, 1500000, true, nullptr, -1, a->VolumeNumberInfo(), out), 1500000);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen.back(), std::make_pair(ppEnd, 100.0));
    seen.clear();
    source.SetPosition(0);
    EXPECT_EQ(a->CopySpanned(source, 10, false, nullptr, -1, a->VolumeNumberInfo(), out), 10);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(out->Size(), 2000000 + 1500000 + 10);
}
