// Writing central directories: peers' archives with a rewritten directory read back by
// Python and Info-ZIP, ZIP64 blocks rebuilt, names encoded, fields that cannot be held.

#include "archive/Halvorin.h"
#include "archive/HvoDirManager.h"
#include "archive/HvoExcept.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/archive/WriteSupport.h"

#include <gtest/gtest.h>

using namespace archivetest;
using testsupport::TempDir;

namespace {

TExtraBlock Block(uint16_t id, const std::string& data) { return {id, std::vector<uint8_t>(data.begin(), data.end())}; }

std::string Hex(const uint8_t* p, size_t n)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}


// The extra field of the central header at position 0 of the stream.
std::string FirstExtraField(TMemoryStream& stream)
{
    TCentralFileHeader header;
    ReadRecord(stream.Memory(), header);
    return Hex(stream.Memory() + TCentralFileHeader::kSize + header.FileNameLength, header.ExtraFieldLength);
}

} // namespace

TEST(DirectoryWriting, PeersArchivesWithARewrittenDirectory)
{
    TempDir dir;
    const std::string rich = (dir / "py_rich.zip").string();
    RunPeer("make-rich " + rich);
    // Info-ZIP: a folder, an empty file, Unix attributes and extra blocks; Python: comments,
    // opaque blocks, a Unicode name record over a CP866 name, ZIP64 blocks everywhere.
    const std::string sources[] = {(FixtureDir() / "rd_infozip_dir.zip").string(), rich,
                                   (FixtureDir() / "rd_py_zip64.zip").string(),
                                   (FixtureDir() / "infozip.zip").string()};
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        auto archiver = THalvorin::Create();
        archiver->SetFileName(source);
        archiver->OpenArchive();
        const std::string comment = archiver->DirManager()->Comment;
        TMemoryStream fresh;
        CopyLocalRecords(*archiver, fresh);
        archiver->DirManager()->WriteDirectory(&fresh);
        EXPECT_EQ(archiver->DirManager()->Comment, comment);
        const auto ours = dir / ("ours_" + std::filesystem::path(source).filename().string());
        SaveStream(fresh, ours);
        archiver->CloseArchive();
        RunPeer("compare " + source + " " + ours.string());
    }
}

TEST(DirectoryWriting, Zip64BlocksAreRebuiltFromTheAllOnesFields)
{
    auto archiver = THalvorin::Create();
    TMemoryStream stream;
    THvoDirManager dir(&stream, *archiver, true);
    dir.Items.SetCount(1);
    dir.Items.SetName(0, "a.bin");
    TDirItem& item = dir.Items.ItemPtr(0);

    // A block read for values that fit their fields is not written back.
    item.CompressedSize = 10;
    item.UncompressedSize = 20;
    item.HasZip64Extra = true;
    item.ExtraFields = {Block(0x0001, std::string(16, '\x07')), Block(0xCAFE, "ab")};
    dir.WriteDirectory();
    EXPECT_EQ(FirstExtraField(stream), "feca02006162");
    EXPECT_EQ(item.ExtraFieldLength, 6);

    // Both sizes need the block: it comes first, the others follow in the order held.
    stream.Clear();
    item.CompressedSize = item.UncompressedSize = 0xFFFFFFFF;
    item.UncompressedSize64 = 0x123456789;
    item.CompressedSize64 = 0x100000000;
    item.ExtraFields = {Block(0xCAFE, "ab"), Block(0x0001, std::string(4, '\x09')), Block(0xBEEF, "")};
    dir.WriteDirectory();
    EXPECT_EQ(FirstExtraField(stream), "01001000" "8967452301000000" "0000000001000000" "feca02006162" "efbe0000");
    EXPECT_EQ(item.ExtraFieldLength, 4 + 16 + 6 + 4);

    // The offset and the disk too, in the fixed order.
    stream.Clear();
    item.LocalHeaderOffset = 0xFFFFFFFF;
    item.LocalHeaderOffset64 = 0x200000000;
    item.DiskNumberStart = 0xFFFF;
    item.DiskNumberStart64 = 3;
    item.ExtraFields.clear();
    dir.WriteDirectory();
    EXPECT_EQ(FirstExtraField(stream),
              "01001c00" "8967452301000000" "0000000001000000" "0000000002000000" "03000000");
}

TEST(DirectoryWriting, AnExtraFieldThatCannotBeHeldIsRefusedBeforeTheItem)
{
    auto archiver = THalvorin::Create();
    TMemoryStream stream;
    stream.WriteBuffer("entries", 7);
    THvoDirManager dir(&stream, *archiver, true);
    dir.Items.SetCount(2);
    dir.Items.SetName(0, "fits.txt");
    dir.Items.SetName(1, "big.bin");
    TDirItem& big = dir.Items.ItemPtr(1);
    // 4 + 65530 bytes fit the 16-bit length alone; the ZIP64 block the item needs does not.
    big.ExtraFields = {Block(0xCAFE, std::string(65530, 'x'))};
    big.ExtraFieldLength = 65534;
    big.CompressedSize = 0xFFFFFFFF;
    big.CompressedSize64 = 1;
    try {
        dir.WriteDirectory();
        FAIL() << "written";
    } catch (const EHvoException& e) {
        EXPECT_EQ(e.NativeError, 46);
    }
    EXPECT_EQ(big.ExtraFieldLength, 65534);
    EXPECT_EQ(big.FileNameLength, 0);
    EXPECT_EQ(stream.Size(), 7);
    // Without the ZIP64 need it is written whole.
    big.CompressedSize = 1;
    dir.WriteDirectory();
    EXPECT_EQ(dir.Items.ItemPtr(1).ExtraFieldLength, 65534);
}

TEST(DirectoryWriting, NamesAreEncodedForTheirCodePage)
{
    struct Row {
        const char* name;
        uint16_t flags;
        bool oem;
        const char* expected; // bit 11, then the stored bytes in hex
    };
    const Row rows[] = {
        {"漢字.txt", 0, true, "1 e6bca2e5ad972e747874"},
        {"Имя.txt", 0, true, "0 88acef2e747874"},          // CP866
        {"Имя.txt", 0, false, "0 c8ecff2e747874"},         // Windows-1251
        {"Имя.txt", 0x0800, true, "1 d098d0bcd18f2e747874"}, // flagged UTF-8 stays UTF-8
        {"plain/name.txt", 0, true, "0 706c61696e2f6e616d652e747874"},
    };
    TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto archiver = THalvorin::Create();
        archiver->Options().OEMFileNames = row.oem;
        TMemoryStream stream;
        THvoDirManager manager(&stream, *archiver, true);
        manager.Items.SetCount(1);
        manager.Items.SetName(0, row.name);
        manager.Items.ItemPtr(0).Flags = row.flags;
        manager.WriteDirectory();
        const auto path = dir / "names.zip";
        SaveStream(stream, path);
        EXPECT_EQ(RunPeer("names " + path.string()), std::string(row.expected) + "\n");
    }
}

TEST(DirectoryWriting, CommentsAndEndRecordFields)
{
    auto archiver = THalvorin::Create();
    TMemoryStream stream;
    stream.WriteBuffer("0123456789", 10);
    THvoDirManager dir(&stream, *archiver, true);
    dir.Comment = "about";
    dir.Items.SetCount(1);
    dir.Items.SetName(0, "n");
    dir.Items.ItemPtr(0).Comment = "xyz";
    dir.WriteDirectory();
    const std::string expectedHeaderEnd = "6e" "78797a"; // name, comment
    TCentralFileHeader header;
    ReadRecord(stream.Memory() + 10, header);
    EXPECT_EQ(header.FileCommentLength, 3);
    EXPECT_EQ(Hex(stream.Memory() + 10 + 46, 4), expectedHeaderEnd);
    TEndOfCentralDir end;
    ReadRecord(stream.Memory() + 10 + 50, end);
    EXPECT_EQ(end.Signature, kEndOfCentralDirSignature);
    EXPECT_EQ(end.EntriesOnDisk, 1);
    EXPECT_EQ(end.EntriesTotal, 1);
    EXPECT_EQ(end.CentralDirSize, 50u);
    EXPECT_EQ(end.CentralDirOffset, 10u);
    EXPECT_EQ(end.CommentLength, 5);
    EXPECT_EQ(stream.Size(), 10 + 50 + 22 + 5);
    EXPECT_EQ(stream.Position(), stream.Size());
    EXPECT_EQ(dir.CentralDirStart, 10);
}
