// Split and spanned archives: volume names, opening a set from its last volume (or from a
// self-extracting first volume), reading the directory and entry data across volumes,
// missing volumes, the volume requests and their default boxes. The sets are written by
// Info-ZIP's zip -s and renamed by make_fixtures.py; 7-Zip's extraction of the same set
// and the sources are what every extraction is compared with.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/ExtractSupport.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace archivetest;
using testsupport::DialogScript;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

fs::path VolumeDir() { return FixtureDir() / "vol"; }

// A copy of one fixture folder of volumes.
void CopySet(const std::string& folder, const fs::path& to)
{
    fs::create_directories(to);
    fs::copy(VolumeDir() / folder, to, fs::copy_options::recursive);
}

// The loader's sequence over the archive; failures are recorded and ignored.
std::vector<Failure> ExtractIgnoring(const fs::path& archive, const fs::path& baseDir,
                                     const std::function<void(THalvorin&)>& prepare = {})
{
    std::vector<Failure> failures;
    LoaderExtract(archive, baseDir, [&](THalvorin& a) {
        a.OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, int native, int,
                                     const std::string& message, THvoAction& action) {
            failures.push_back({name, native, message});
            action = fxaIgnore;
        };
        if (prepare) prepare(a);
    });
    return failures;
}

int VolumeOpens = 0;
std::map<std::string, int> OpensByName;

void CountOpen(const std::string& name)
{
    ++VolumeOpens;
    ++OpensByName[fs::path(name).filename().string()];
}

} // namespace

TEST(VolumeNames, EveryModeAndNaming)
{
    TempDir dir;
    const std::string d = dir.path().string() + "/";
    struct Row {
        const char* what;
        THvoSpanningMode mode;
        bool advanced;
        const char* archive;
        int32_t volume;
        const char* expected;
    };
    const Row rows[] = {
        {"split, first", smSplitting, false, "data.zip", 0, "data.Z01"},
        {"split, third", smSplitting, false, "data.zip", 2, "data.Z03"},
        {"split, hundredth", smSplitting, false, "data.zip", 99, "data.Z100"},
        {"split, last", smSplitting, false, "data.zip", -1, "data.zip"},
        {"split numbered, first", smSplitting, true, "data.zip", 0, "data_001.zip"},
        {"split numbered, last", smSplitting, true, "data.zip", -1, "data.zip"},
        {"split SFX, first", smSplitting, false, "data.exe", 0, "data.exe"},
        {"split SFX, second", smSplitting, false, "data.exe", 1, "data.Z02"},
        {"split SFX, last", smSplitting, false, "data.exe", -1, "data.ZIP"},
        {"spanned", smSpanning, false, "data.zip", 3, "data.zip"},
        {"spanned numbered", smSpanning, true, "data.zip", 3, "data_004.zip"},
        {"spanned SFX numbered", smSpanning, true, "data.exe", 1, "data_002.exe"},
        {"spanned, last", smSpanning, true, "data.zip", -1, "data.zip"},
        {"single file", smNone, true, "data.zip", 4, "data.zip"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto a = THalvorin::Create();
        a->SetSpanningMode(row.mode);
        a->SpanningOptions().AdvancedNaming = row.advanced;
        a->SetFileName(d + row.archive);
        std::string name = d + row.archive;
        a->GetVolumeName(name, row.volume, false);
        EXPECT_EQ(name, d + row.expected);
    }
}

TEST(VolumeNames, TheSearchFindsTheOtherNamingAndAnyLetterCase)
{
    TempDir dir;
    testsupport::WriteFile(dir / "data_002.zip", "x");
    testsupport::WriteFile(dir / "data.z03", "x");
    testsupport::WriteFile(dir / "DATA.Z03", "x");
    auto a = THalvorin::Create();
    const std::string archive = (dir / "data.zip").string();
    a->SetFileName(archive);

    a->SetSpanningMode(smSpanning);
    std::string name = archive;
    a->GetVolumeName(name, 1, true);
    EXPECT_EQ(name, (dir / "data_002.zip").string()) << "the numbered naming exists, the plain one does not";
    name = archive;
    a->GetVolumeName(name, 5, true);
    EXPECT_EQ(name, archive) << "neither exists: the first naming stays";

    a->SetSpanningMode(smSplitting);
    name = archive;
    a->GetVolumeName(name, 2, true);
    EXPECT_EQ(name, (dir / "DATA.Z03").string()) << "first match in byte order";
    name = archive;
    a->GetVolumeName(name, 2, false);
    EXPECT_EQ(name, (dir / "data.Z03").string());
    EXPECT_EQ(FindVolumeFile((dir / "Data_002.ZIP").string()), (dir / "data_002.zip").string());
    EXPECT_EQ(FindVolumeFile((dir / "data.z04").string()), "");
}

TEST(SplitSets, OpenFromTheLastVolumeAndExtractWhole)
{
    struct Row {
        const char* folder;
        const char* open;
        bool advancedNaming;
    };
    const Row rows[] = {
        {"zs", "sp.zip", false},    // as zip -s writes it: sp.z01 ... (the letter-case rule)
        {"upper", "sp.zip", false}, // sp.Z01 ...
        {"adv", "sp.zip", true},    // sp_001.zip ...: .Z05 is missing, _005 exists
        {"sfx", "sp.exe", false},   // sp.exe, sp.Z02 ..., sp.ZIP: opened from the first volume
    };
    const auto sources = Tree(VolumeDir() / "src");
    ASSERT_EQ(sources.size(), 303u);
    ASSERT_EQ(Tree(VolumeDir() / "by7z"), sources);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        DialogScript dialogs;
        TempDir out;
        THvoSpanningMode mode = smNone;
        bool advanced = false;
        const auto failures = ExtractIgnoring(VolumeDir() / row.folder / row.open, out.path(), [&](THalvorin& a) {
            a.AfterOpen = [&](THvoBaseArchiver& s) {
                mode = s.SpanningMode();
                advanced = s.SpanningOptions().AdvancedNaming;
                EXPECT_EQ(s.DirManager()->Items.Count, 303);
            };
        });
        for (const Failure& f : failures) ADD_FAILURE() << f.name << ": " << f.message;
        EXPECT_EQ(mode, smSplitting);
        EXPECT_EQ(advanced, row.advancedNaming);
        EXPECT_TRUE(Tree(out.path()) == sources) << "extraction differs from the sources";
    }
}

TEST(SplitSets, AMissingMiddleVolumeEndsWith45WithoutABox)
{
    TempDir dir;
    CopySet("zs", dir / "set");
    fs::remove(dir / "set" / "sp.z03");
    const auto sources = Tree(VolumeDir() / "src");
    {
        // Default failure handling: 45 aborts the operation, nothing is asked.
        DialogScript dialogs;
        TempDir out;
        LoaderExtract(dir / "set" / "sp.zip", out.path());
        EXPECT_LT(Tree(out.path()).size(), sources.size());
    }
    {
        // Ignored: what lies in the present volumes is extracted whole.
        DialogScript dialogs;
        TempDir out;
        const auto failures = ExtractIgnoring(dir / "set" / "sp.zip", out.path());
        std::set<std::string> failed;
        for (const Failure& f : failures) {
            EXPECT_EQ(f.native, 45) << f.name << ": " << f.message;
            failed.insert(f.name);
        }
        EXPECT_TRUE(failed.count("random.bin"));
        const auto extracted = Tree(out.path());
        EXPECT_GE(extracted.size(), 300u);
        for (const auto& [path, bytes] : extracted) {
            ASSERT_TRUE(sources.count(path)) << path;
            EXPECT_TRUE(sources.at(path) == bytes) << path;
            EXPECT_FALSE(failed.count(path)) << path;
        }
        for (const auto& [path, bytes] : sources)
            EXPECT_TRUE(extracted.count(path) || failed.count(path) || bytes == "/") << path;
    }
}

TEST(SplitSets, HandlersGetNumbersFromOneAndMaySupplyAnotherFolder)
{
    TempDir dir;
    CopySet("zs", dir / "set");
    fs::create_directories(dir / "elsewhere");
    fs::rename(dir / "set" / "sp.z03", dir / "elsewhere" / "sp.z03");
    DialogScript dialogs;
    TempDir out;
    std::vector<int> numbers;
    const auto failures = ExtractIgnoring(dir / "set" / "sp.zip", out.path(), [&](THalvorin& a) {
        a.OnRequestMiddleVolume = [&](THvoBaseArchiver&, int number, std::string& name, bool& cancel) {
            numbers.push_back(number);
            EXPECT_FALSE(cancel);
            if (number == 3) name = (dir / "elsewhere" / "sp.z03").string();
        };
    });
    for (const Failure& f : failures) ADD_FAILURE() << f.name << ": " << f.message;
    EXPECT_TRUE(Tree(out.path()) == Tree(VolumeDir() / "src"));
    EXPECT_TRUE(std::find(numbers.begin(), numbers.end(), 3) != numbers.end());
    for (int n : numbers) EXPECT_TRUE(n >= 2 && n <= 5) << n;

    // Opened from its last volume, the set asks only for the volumes its directory lies
    // on: the one before the last, then the last again; from its self-extracting first
    // volume, for base.ZIP first.
    const auto requestsWhileOpening = [](const fs::path& archive) {
        auto a = THalvorin::Create();
        std::vector<std::string> requests;
        a->OnRequestMiddleVolume = [&](THvoBaseArchiver&, int number, std::string&, bool&) {
            requests.push_back("middle " + std::to_string(number));
        };
        a->OnRequestLastVolume = [&](THvoBaseArchiver&, std::string& name, bool&) {
            requests.push_back("last " + fs::path(name).filename().string());
        };
        a->SetFileName(archive.string());
        a->OpenArchive();
        EXPECT_EQ(a->DirManager()->Items.Count, 303);
        return requests;
    };
    EXPECT_EQ(requestsWhileOpening(dir / "set" / "sp.zip"), (std::vector<std::string>{"middle 5", "last sp.zip"}));
    EXPECT_EQ(requestsWhileOpening(VolumeDir() / "sfx" / "sp.exe"),
              (std::vector<std::string>{"last sp.ZIP", "middle 5", "last sp.ZIP"}));

    // A cancelled request ends the open with 45.
    auto cancelled = THalvorin::Create();
    cancelled->OnRequestLastVolume = [](THvoBaseArchiver&, std::string&, bool& cancel) { cancel = true; };
    cancelled->SetFileName((VolumeDir() / "sfx" / "sp.exe").string());
    EXPECT_EQ(NativeErrorOf([&] { cancelled->OpenArchive(); }), 45);
    EXPECT_FALSE(cancelled->Active());
}

TEST(SplitSets, ADamagedCentralHeaderIsNotRebuiltAcrossVolumes)
{
    TempDir dir;
    CopySet("zs", dir / "set");
    // The directory begins on the volume before the last one, at the end record's offset.
    const std::string last = testsupport::ReadFile(dir / "set" / "sp.zip");
    const size_t end = last.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    TEndOfCentralDir record;
    ReadRecord(reinterpret_cast<const uint8_t*>(last.data() + end), record);
    ASSERT_LT(record.StartDiskNumber, record.DiskNumber);
    const fs::path volume = dir / "set" / ("sp.z0" + std::to_string(record.StartDiskNumber + 1));
    std::string bytes = testsupport::ReadFile(volume);
    ASSERT_EQ(bytes.substr(record.CentralDirOffset, 4), std::string("PK\x01\x02", 4));
    bytes.replace(record.CentralDirOffset, 46, std::string(46, '\xFF'));
    testsupport::WriteFile(volume, bytes);

    auto a = THalvorin::Create();
    a->SetFileName((dir / "set" / "sp.zip").string());
    EXPECT_EQ(NativeErrorOf([&] { a->OpenArchive(); }), 44);
}

TEST(SplitSets, EachVolumeIsOpenedABoundedNumberOfTimes)
{
    DialogScript dialogs;
    TempDir out;
    VolumeOpens = 0;
    OpensByName.clear();
    SetHvoVolumeOpenHook(CountOpen);
    const auto failures = ExtractIgnoring(VolumeDir() / "zs" / "sp.zip", out.path());
    SetHvoVolumeOpenHook(nullptr);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(OpensByName.size(), 6u);
    for (const auto& [name, count] : OpensByName) EXPECT_LE(count, 4) << name;
    EXPECT_LT(VolumeOpens, 303 / 4);
}

TEST(SpannedSets, DetectedFromTheEndRecordAndAskedForByBoxes)
{
    TempDir dir;
    const fs::path archive = dir / "span.zip";
    MakeZip(archive, {{"a.txt", "first entry\n"}, {"b/c.txt", std::string(5000, 'c')}});
    // The end record names disk 2 while no volume of either naming is beside it.
    std::string bytes = testsupport::ReadFile(archive);
    const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    ASSERT_NE(end, std::string::npos);
    bytes[end + 4] = 2;
    testsupport::WriteFile(archive, bytes);

    const auto expectFirstDiskBox = [](DialogScript& dialogs) {
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Please insert the first disk");
        EXPECT_EQ(records[0].box.caption, "Подтверждение");
        EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::OKCancel);
        EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Question);
        EXPECT_EQ(records[0].owner, 0u);
    };
    {
        DialogScript dialogs;
        dialogs->PushAnswer(platform::MsgResult::Cancel);
        auto a = THalvorin::Create();
        a->SetFileName(archive.string());
        EXPECT_EQ(NativeErrorOf([&] { a->OpenArchive(); }), 45);
        expectFirstDiskBox(dialogs);
    }
    {
        DialogScript dialogs;
        dialogs->PushAnswer(platform::MsgResult::OK);
        TempDir out;
        THvoSpanningMode mode = smNone;
        const auto failures = ExtractIgnoring(archive, out.path(), [&](THalvorin& a) {
            a.AfterOpen = [&](THvoBaseArchiver& s) { mode = s.SpanningMode(); };
        });
        EXPECT_EQ(mode, smSpanning);
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(testsupport::ReadFile(out / "b" / "c.txt"), std::string(5000, 'c'));
        expectFirstDiskBox(dialogs);
    }
}

TEST(SpannedSets, TheDefaultMiddleAndLastDiskBoxes)
{
    TempDir dir;
    const fs::path archive = dir / "span.zip";
    testsupport::WriteFile(archive, "x");
    auto a = THalvorin::Create();
    a->SetFileName(archive.string());
    a->SetSpanningMode(smSpanning);
    DialogScript dialogs;
    dialogs->PushAnswer(platform::MsgResult::OK);
    dialogs->PushAnswer(platform::MsgResult::Cancel);
    dialogs->PushAnswer(platform::MsgResult::Cancel);
    std::string name = archive.string();
    bool cancel = true;
    a->DoRequestMiddleVolume(2, name, cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(name, archive.string());
    a->DoRequestMiddleVolume(2, name, cancel);
    EXPECT_TRUE(cancel);
    // The last disk: the file is missing, so the first box is already the last one asked.
    name = (dir / "gone.zip").string();
    a->SetFileName(name);
    a->DoRequestLastVolume(name, cancel);
    EXPECT_TRUE(cancel);
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].box.text, "Please insert disk #3");
    EXPECT_EQ(records[2].box.text, "Please insert the last disk");

    // OK while the file stays missing asks with the file's name until it is there or cancelled.
    dialogs.Reset();
    dialogs->PushAnswer(platform::MsgResult::OK);
    dialogs->PushAnswer(platform::MsgResult::Cancel);
    a->DoRequestLastVolume(name, cancel);
    EXPECT_TRUE(cancel);
    const auto again = dialogs->Records();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].box.text,
              "File '" + name + "' not found on inserted disk. Please insert last disk with required file");
}

TEST(SpannedSets, TheCorpusMultiDiskArchiveAsksForItsFirstDisk)
{
    // Its end record names disk 1 (the directory's disk too); the one entry starts on disk 0.
    const fs::path archive = MIRVAK_SOURCE_DIR "/../shared/testdata/zip/libzip/data__multidisk.zip";
    for (const auto answer : {platform::MsgResult::Cancel, platform::MsgResult::OK}) {
        SCOPED_TRACE(answer == platform::MsgResult::OK ? "OK" : "Cancel");
        DialogScript dialogs;
        dialogs->PushAnswer(answer);
        TempDir out;
        THvoSpanningMode mode = smNone;
        const auto failures = ExtractIgnoring(archive, out.path(), [&](THalvorin& a) {
            a.AfterOpen = [&](THvoBaseArchiver& s) { mode = s.SpanningMode(); };
        });
        EXPECT_EQ(mode, smSpanning);
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Please insert the first disk");
        if (answer == platform::MsgResult::OK) {
            EXPECT_TRUE(failures.empty());
            EXPECT_EQ(Tree(out.path()), (std::map<std::string, std::string>{{"testfile.txt", ""}}));
        } else {
            ASSERT_EQ(failures.size(), 1u);
            EXPECT_EQ(failures[0].native, 45);
            EXPECT_TRUE(Tree(out.path()).empty());
        }
    }
}

TEST(VolumeDetection, AZip64EndRecordTakesItsLastDiskFromTheLocator)
{
    // The end record holds 0xFFFF everywhere; the locator counts one disk: a single file.
    DialogScript dialogs;
    auto a = THalvorin::Create();
    a->SetFileName(MIRVAK_SOURCE_DIR "/../shared/testdata/zip/libzip/data__zip64-3mf.zip");
    a->OpenArchive();
    EXPECT_EQ(a->SpanningMode(), smNone);
    EXPECT_EQ(a->DirManager()->Items.Count, 1);
    EXPECT_EQ(a->DirManager()->EndRecord.DiskNumber, 0xFFFF);
}

TEST(SplitSets, EncryptedDeflatedDataDecodesAcrossVolumes)
{
    // random.bin runs over four volumes, text.txt from the fourth into the last.
    DialogScript dialogs;
    TempDir out;
    int asked = 0;
    const auto failures = ExtractIgnoring(VolumeDir() / "enc" / "enc.zip", out.path(), [&](THalvorin& a) {
        a.OnPassword = [&](THvoBaseArchiver&, const std::string&, std::string& password, bool&) {
            ++asked;
            password = "secret";
        };
    });
    for (const Failure& f : failures) ADD_FAILURE() << f.name << ": " << f.message;
    EXPECT_EQ(asked, 1);
    const auto sources = Tree(VolumeDir() / "src");
    const auto extracted = Tree(out.path());
    ASSERT_EQ(extracted.size(), 2u);
    EXPECT_TRUE(extracted.at("random.bin") == sources.at("random.bin"));
    EXPECT_TRUE(extracted.at("text.txt") == sources.at("text.txt"));
}

TEST(SplitSets, AnEncryptionHeaderMayBeginOnOneVolumeAndEndOnTheNext)
{
    // Stored, the first entry ends where the second entry's 12-byte encryption header
    // begins six bytes before the end of the first 64 KiB volume.
    TempDir dir;
    std::string first(65372, '\0');
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>((i * 7919u) >> 5);
    std::string second;
    for (int i = 0; i < 50; ++i) second += "hello across two volumes\n";
    testsupport::WriteFile(dir / "a.bin", first);
    testsupport::WriteFile(dir / "b.txt", second);
    ASSERT_EQ(testsupport::RunCommand("cd '" + dir.path().string() + "' && zip -q -0 -P secret -s 64k s.zip a.bin b.txt"), 0);
    const std::string volume = testsupport::ReadFile(dir / "s.z01");
    ASSERT_EQ(volume.size(), 65536u);
    const size_t local = volume.find(std::string("PK\x03\x04", 4), 10);
    ASSERT_NE(local, std::string::npos);
    const size_t dataStart = local + 30 + uint8_t(volume[local + 26]) + uint8_t(volume[local + 27]) * 256u +
                             uint8_t(volume[local + 28]) + uint8_t(volume[local + 29]) * 256u;
    ASSERT_GT(dataStart + 12, volume.size());
    ASSERT_LT(dataStart, volume.size());

    DialogScript dialogs;
    TempDir out;
    const auto failures = ExtractIgnoring(dir / "s.zip", out.path(), [](THalvorin& a) {
        a.OnPassword = [](THvoBaseArchiver&, const std::string&, std::string& password, bool&) { password = "secret"; };
    });
    for (const Failure& f : failures) ADD_FAILURE() << f.name << ": " << f.message;
    const auto extracted = Tree(out.path());
    ASSERT_EQ(extracted.size(), 2u);
    EXPECT_TRUE(extracted.at("a.bin") == first);
    EXPECT_TRUE(extracted.at("b.txt") == second);
}
