// Damaged archives rebuilt from their local headers, and self-extracting archives.

#include "archive/Halvorin.h"
#include "archive/HvoExcept.h"
#include "archive/HvoRecords.h"
#include "tests/archive/ExtractSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace archivetest;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

// The offsets Python's zipfile reads: the central directory's start, then each entry's
// local header.
std::vector<int64_t> Offsets(const fs::path& archive)
{
    std::string out;
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                         "print(z.start_dir, *[i.header_offset for i in z.infolist()])\" '" +
                             archive.string() + "'",
                         &out),
              0);
    std::vector<int64_t> values;
    std::istringstream in(out);
    for (int64_t v; in >> v;) values.push_back(v);
    return values;
}

void Put16(std::string& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The archive of a folder made by zip: "dir/", "dir/a.txt", "empty.txt", "b.bin".
Files MakeFolderZip(const TempDir& dir, const fs::path& archive)
{
    const fs::path src = dir / "src";
    fs::create_directories(src / "dir");
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 13) ^ (i >> 5));
    const Files files{{"dir", "/"}, {"dir/a.txt", "text of a\n"}, {"empty.txt", ""}, {"b.bin", binary}};
    for (const auto& [name, bytes] : files)
        if (bytes != "/") WriteFile(src / name, bytes);
    EXPECT_EQ(RunCommand("cd '" + src.string() + "' && zip -q -r -X '" + archive.string() + "' dir empty.txt b.bin"), 0);
    return files;
}

// Extracts with the loader's sequence; the failures go to failures.
Files Extracted(const fs::path& archive, const fs::path& base, std::vector<Failure>& failures)
{
    LoaderExtract(archive, base, [&](THalvorin& a) {
        a.OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, int native,
                                     int, const std::string& message, THvoAction& action) {
            failures.push_back({name, native, message});
            action = fxaIgnore;
        };
    });
    return Tree(base);
}

int OpenError(const fs::path& archive, std::string* message = nullptr)
{
    auto a = THalvorin::Create();
    a->SetFileName(archive.string());
    try {
        a->OpenArchive();
    } catch (const EHvoException& e) {
        if (message) *message = e.what();
        return e.NativeError;
    }
    return 0;
}

} // namespace

TEST(Rebuild, DamagedDirectoriesAreRebuiltFromTheLocalHeaders)
{
    TempDir dir;
    const fs::path original = dir / "folder.zip";
    const Files files = MakeFolderZip(dir, original);
    const std::string bytes = ReadFile(original);
    const auto offsets = Offsets(original);
    ASSERT_EQ(offsets.size(), 5u);
    const size_t centralStart = static_cast<size_t>(offsets[0]);
    const size_t endAt = bytes.size() - TEndOfCentralDir::kSize;

    std::string countPatched = bytes;
    Put16(countPatched, endAt + 8, 0xFFFF);
    Put16(countPatched, endAt + 10, 0xFFFF);
    std::string sizePatched = bytes;
    Put32(sizePatched, endAt + 12, static_cast<uint32_t>(bytes.size() - TEndOfCentralDir::kSize - centralStart - 30));
    struct Row {
        const char* title;
        std::string bytes;
    };
    const Row rows[] = {
        {"cut at the first central header", bytes.substr(0, centralStart)},
        {"end record removed", bytes.substr(0, endAt)},
        {"untrusted count", countPatched},
        {"header running past the end records", sizePatched},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        const fs::path damaged = dir / "damaged.zip";
        WriteFile(damaged, row.bytes);
        auto a = THalvorin::Create();
        a->SetFileName(damaged.string());
        a->OpenArchive();
        ASSERT_EQ(a->DirManager()->Items.Count, 4);
        EXPECT_EQ(a->DirManager()->Items.ItemPtr(0).ExternalAttributes, 0x10u);
        EXPECT_EQ(a->DirManager()->Items.ItemPtr(2).FileName, "empty.txt");
        EXPECT_EQ(a->DirManager()->Items.ItemPtr(2).ExternalAttributes, 0x20u);
        a->CloseArchive();
        std::vector<Failure> failures;
        const fs::path base = dir / row.title;
        EXPECT_EQ(Extracted(damaged, base, failures), files);
        EXPECT_TRUE(failures.empty());
    }
}

TEST(Rebuild, StreamedEntriesTakeTheirDescriptorsOrFail)
{
    TempDir dir;
    std::string payload;
    for (int i = 0; i < 300; ++i) payload += "line " + std::to_string(i) + "\n";
    WriteFile(dir / "payload", payload);
    // zip writing to a pipe, and Python writing to a stream that cannot seek.
    ASSERT_EQ(RunCommand("cd '" + dir.path().string() + "' && zip -q -fz- - - < payload | cat > piped.zip"), 0);
    ASSERT_EQ(RunCommand("cd '" + dir.path().string() + "' && /usr/bin/python3 -c \"\n"
                         "import io, zipfile\n"
                         "class Out(io.RawIOBase):\n"
                         "    def __init__(self, f): self.f = f\n"
                         "    def writable(self): return True\n"
                         "    def write(self, b): return self.f.write(b)\n"
                         "with open('streamed.zip', 'wb') as f:\n"
                         "    with zipfile.ZipFile(Out(f), 'w', zipfile.ZIP_DEFLATED) as z:\n"
                         "        with z.open('streamed.txt', 'w') as e: e.write(open('payload', 'rb').read())\n"
                         "\""),
              0);
    for (const char* name : {"piped.zip", "streamed.zip"}) {
        SCOPED_TRACE(name);
        const fs::path archive = dir / name;
        const std::string bytes = ReadFile(archive);
        const auto offsets = Offsets(archive);
        ASSERT_EQ(offsets.size(), 2u);
        const std::string cut = bytes.substr(0, static_cast<size_t>(offsets[0]));
        const std::string entry = name == std::string("piped.zip") ? "-" : "streamed.txt";
        WriteFile(dir / "cut.zip", cut);
        std::vector<Failure> failures;
        EXPECT_EQ(Extracted(dir / "cut.zip", dir / (std::string(name) + ".out"), failures), (Files{{entry, payload}}));
        EXPECT_TRUE(failures.empty());

        // Without its signature the descriptor is not recognised: the entry fails.
        std::string unsigned_ = cut;
        const size_t descriptor = unsigned_.rfind(std::string("PK\x07\x08", 4));
        ASSERT_NE(descriptor, std::string::npos);
        unsigned_[descriptor] = 'X';
        WriteFile(dir / "unsigned.zip", unsigned_);
        failures.clear();
        EXPECT_EQ(Extracted(dir / "unsigned.zip", dir / (std::string(name) + ".bad"), failures), Files{});
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].native, 8);
    }
}

TEST(Rebuild, BoundsNamesAndHopelessFiles)
{
    TempDir dir;
    // Three entries; the second gets a name length of 261, the third a compressed size
    // beyond the file. Only the first is kept.
    MakeZip(dir / "three.zip", {{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
    std::string bytes = ReadFile(dir / "three.zip");
    const auto offsets = Offsets(dir / "three.zip");
    ASSERT_EQ(offsets.size(), 4u);
    bytes.resize(static_cast<size_t>(offsets[0]));
    Put16(bytes, static_cast<size_t>(offsets[2]) + 26, 261);
    Put32(bytes, static_cast<size_t>(offsets[3]) + 18, static_cast<uint32_t>(bytes.size()));
    WriteFile(dir / "bounds.zip", bytes);
    std::vector<Failure> failures;
    EXPECT_EQ(Extracted(dir / "bounds.zip", dir / "bounds", failures), (Files{{"one.txt", "1"}}));

    // A CP866 name: converted from OEM when an end record was found, not without one.
    const std::string oem("\x8f\xe0\xa8\xa2\xa5\xe2.txt", 10);
    MakeZip(dir / "oem.zip", {{"PPPPPP.txt", "oem"}}, {{"PPPPPP.txt", oem}});
    std::string withEnd = ReadFile(dir / "oem.zip");
    Put16(withEnd, withEnd.size() - 14, 0xFFFF);
    Put16(withEnd, withEnd.size() - 12, 0xFFFF);
    WriteFile(dir / "oem-end.zip", withEnd);
    const auto oemOffsets = Offsets(dir / "oem.zip");
    WriteFile(dir / "oem-cut.zip", withEnd.substr(0, static_cast<size_t>(oemOffsets[0])));
    std::string cp866, cp1251;
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys; b=bytes.fromhex(sys.argv[1]); "
                         "print(b.decode('cp866'))\" " + Hex(oem),
                         &cp866),
              0);
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"import sys; b=bytes.fromhex(sys.argv[1]); "
                         "print(b.decode('cp1251'))\" " + Hex(oem),
                         &cp1251),
              0);
    for (const auto& [file, expected] : {std::pair{"oem-end.zip", cp866}, std::pair{"oem-cut.zip", cp1251}}) {
        SCOPED_TRACE(file);
        auto a = THalvorin::Create();
        a->SetFileName((dir / file).string());
        a->OpenArchive();
        ASSERT_EQ(a->DirManager()->Items.Count, 1);
        EXPECT_EQ(a->DirManager()->Items.ItemPtr(0).FileName + "\n", expected);
    }

    // Nothing to rebuild from.
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise += static_cast<char>((i * 7919) % 251);
    WriteFile(dir / "noise.zip", noise);
    WriteFile(dir / "empty.zip", "");
    for (const char* file : {"noise.zip", "empty.zip"}) {
        SCOPED_TRACE(file);
        std::string message;
        EXPECT_EQ(OpenError(dir / file, &message), 35);
        EXPECT_EQ(message, "Invalid archive file. - Native error: 00035");
    }

    // 4 MiB of streamed local headers without descriptors: one pass, no hang.
    std::string header(31, '\0');
    Put32(header, 0, kLocalFileHeaderSignature);
    Put16(header, 6, kFlagDataDescriptor);
    Put16(header, 26, 1);
    header[30] = 'a';
    std::string flood;
    while (flood.size() < (4u << 20)) flood += header;
    WriteFile(dir / "flood.zip", flood);
    auto a = THalvorin::Create();
    a->SetFileName((dir / "flood.zip").string());
    a->OpenArchive();
    EXPECT_GT(a->DirManager()->Items.Count, 100000);
}

TEST(Rebuild, SelfExtractingArchives)
{
    TempDir dir;
    const Files files = MakeFolderZip(dir, dir / "plain.zip");
    const std::string stub = ReadFile("/bin/true");
    const std::string archive = ReadFile(dir / "plain.zip");
    const auto offsets = Offsets(dir / "plain.zip");
    WriteFile(dir / "x.exe", stub + archive);
    WriteFile(dir / "abs.exe", stub + archive);
    ASSERT_EQ(RunCommand("zip -q -A '" + (dir / "abs.exe").string() + "'"), 0);
    WriteFile(dir / "cut.exe", stub + archive.substr(0, static_cast<size_t>(offsets[0])));
    WriteFile(dir / "UPPER.EXE", stub + archive);
    struct Row {
        const char* file;
        int64_t shift;
    };
    for (const Row& row : {Row{"x.exe", int64_t(stub.size())}, Row{"abs.exe", int64_t(stub.size())},
                           Row{"cut.exe", 0}, Row{"UPPER.EXE", int64_t(stub.size())}}) {
        SCOPED_TRACE(row.file);
        auto a = THalvorin::Create();
        a->SetFileName((dir / row.file).string());
        a->OpenArchive();
        EXPECT_EQ(a->DirManager()->Shift, row.shift);
        a->CloseArchive();
        std::vector<Failure> failures;
        EXPECT_EQ(Extracted(dir / row.file, dir / (std::string(row.file) + ".out"), failures), files);
        EXPECT_TRUE(failures.empty());
    }

    // Only the stub: nothing to rebuild from.
    WriteFile(dir / "stub.exe", stub);
    EXPECT_EQ(OpenError(dir / "stub.exe"), 35);
    // An .exe without an end record beside base.ZIP is the first volume of a split archive;
    // base.ZIP's end record decides: here it names disk 0, so base.ZIP is read alone.
    WriteFile(dir / "SPLIT.EXE", stub + archive.substr(0, static_cast<size_t>(offsets[0])));
    WriteFile(dir / "SPLIT.ZIP", archive);
    auto a = THalvorin::Create();
    a->SetFileName((dir / "SPLIT.EXE").string());
    a->OpenArchive();
    EXPECT_EQ(a->VolumeFileName(), (dir / "SPLIT.ZIP").string());
    EXPECT_EQ(a->DirManager()->Items.Count, 4);
    // The probe gave the repair flag back: a damaged archive is rebuilt by the next open.
    EXPECT_TRUE(a->RepairOnOpen());
    a->SetFileName((dir / "cut.exe").string());
    a->OpenArchive();
    EXPECT_EQ(a->DirManager()->Items.Count, 4);
}
