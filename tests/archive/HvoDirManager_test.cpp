// Reading archive directories: every entry against Python's zipfile, the bytes before the
// archive data, names, malformed fields and sizes taken from untrusted fields.

#include "archive/Halvorin.h"
#include "archive/HvoDirManager.h"
#include "archive/HvoExcept.h"
#include "archive/HvoRecords.h"
#include "tests/archive/ArchiveFixtures.h"

#include <gtest/gtest.h>

#include <map>

using namespace archivetest;

namespace {


std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return Hex(std::string(bytes.begin(), bytes.end())); }

// Bytes before the archive data, where they are not 0.
const std::map<std::string, int64_t> kShifts = {
    {"rd_stub_relative.zip", 200}, {"rd_stub_zipA.zip", 200},  {"rd_stub_pyappend.zip", 200},
    {"rd_offsets64_stub.zip", 200}, {"rd_empty_junk.zip", 1000},
};

} // namespace

TEST(DirectoryReading, EveryEntryEqualsPythonsZipInfo)
{
    int archives = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureDir())) {
        if (entry.path().extension() != ".items") continue;
        const std::string name = entry.path().stem().string() + ".zip";
        SCOPED_TRACE(name);
        ++archives;
        const auto rows = ReadTable(entry.path());
        auto archiver = OpenFixture(name);
        THvoDirManager& dir = *archiver->DirManager();
        ASSERT_EQ(dir.Items.Count, static_cast<int32_t>(rows.size()));
        const auto shift = kShifts.find(name);
        EXPECT_EQ(dir.Shift, shift == kShifts.end() ? 0 : shift->second);
        for (const auto& row : rows) {
            ASSERT_EQ(row.size(), 16u);
            const int32_t i = static_cast<int32_t>(Number(row[0]));
            SCOPED_TRACE(i);
            const TDirItem& item = dir.Items.ItemPtr(i);
            EXPECT_EQ(item.VersionMadeBy, Number(row[1]));
            EXPECT_EQ(item.VersionNeeded, Number(row[2]));
            EXPECT_EQ(item.Flags, Number(row[3]));
            EXPECT_EQ(item.CompressionMethod, Number(row[4]));
            EXPECT_EQ(item.LastModTime, Number(row[5]));
            EXPECT_EQ(item.LastModDate, Number(row[6]));
            EXPECT_EQ(item.Crc32, Number(row[7]));
            EXPECT_EQ(item.EffectiveUncompressedSize(), Number(row[8]));
            EXPECT_EQ(item.EffectiveCompressedSize(), Number(row[9]));
            EXPECT_EQ(Hex(item.FileName), row[10]) << item.FileName;
            EXPECT_EQ(Hex(BuildExtraField(item.ExtraFields)), row[11]);
            EXPECT_EQ(Hex(item.Comment), row[12]);
            EXPECT_EQ(item.InternalAttributes, Number(row[13]));
            EXPECT_EQ(item.ExternalAttributes, Number(row[14]));
            EXPECT_EQ(item.EffectiveLocalHeaderOffset(), Number(row[15]));
        }
        archiver->CloseArchive();
    }
    EXPECT_GE(archives, 15);
}

TEST(DirectoryReading, ZipFlagsAndNameIndex)
{
    // Entries after the first carry the offset marker: it stays, the 64-bit value moves.
    auto offsets = OpenFixture("rd_offsets64_stub.zip");
    const TDirItem& second = offsets->DirManager()->Items.ItemPtr(1);
    EXPECT_EQ(second.LocalHeaderOffset, 0xFFFFFFFFu);
    EXPECT_TRUE(second.HasZip64Extra);
    EXPECT_EQ(second.LocalHeaderOffset64, 260u);

    // The comment with an end record signature is skipped; its own comment is loaded.
    auto comments = OpenFixture("rd_comments.zip");
    EXPECT_EQ(comments->DirManager()->Comment.substr(0, 7), std::string("tail PK"));

    // Duplicates are kept, and the name index finds the last of them.
    auto duplicates = OpenFixture("rd_duplicates.zip");
    THvoDirArray& items = duplicates->DirManager()->Items;
    int32_t index = -1;
    EXPECT_TRUE(items.FindName("same.txt", index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(items.Names.Count(), 3);

    // An empty name does not disturb the entries after it.
    auto empty = OpenFixture("rd_empty_name.zip");
    THvoDirArray& named = empty->DirManager()->Items;
    ASSERT_EQ(named.Count, 3);
    EXPECT_TRUE(named.FindName("B.TXT", index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(named.FindName("", index));
    EXPECT_EQ(index, 0);
}

TEST(DirectoryReading, MalformedCentralFields)
{
    auto cut = OpenFixture("mal_extra_cut.zip");
    const TDirItem& a = cut->DirManager()->Items.ItemPtr(0);
    ASSERT_EQ(a.ExtraFields.size(), 1u);
    EXPECT_EQ(a.ExtraFields[0].Data.size(), 6u);

    auto stray = OpenFixture("mal_extra_stray.zip");
    const TDirItem& b = stray->DirManager()->Items.ItemPtr(0);
    ASSERT_EQ(b.ExtraFields.size(), 1u);
    EXPECT_EQ(b.ExtraFields[0].Data, (std::vector<uint8_t>{'a', 'b'}));

    auto huge = OpenFixture("mal_unicode_huge.zip");
    EXPECT_EQ(huge->DirManager()->Items.ItemPtr(0).FileName, "m.txt");

    // A central header with a wrong signature is read, and its entry decodes.
    auto signature = OpenFixture("mal_central_signature.zip");
    const TDirItem& c = signature->DirManager()->Items.ItemPtr(0);
    EXPECT_EQ(c.Signature, 0x02014B51u);
    TMemoryStream out;
    signature->ExtractItemToStream(0, out);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())), "malformed");
}

namespace {

// Bytes of an archive made of records at the end of a zero-filled file of total bytes.
struct TCraft {
    std::vector<uint8_t> bytes;
    explicit TCraft(size_t total) : bytes(total) {}
    template <class R>
    void Put(size_t at, const R& record)
    {
        WriteRecord(bytes.data() + at, record);
    }
};

// The native error of opening the bytes, or -1 when it opens.
int OpenError(const std::vector<uint8_t>& bytes)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    auto archiver = THalvorin::Create();
    THvoDirManager dir(&stream, *archiver, false);
    try {
        dir.ReadDirectory();
    } catch (const EHvoException& e) {
        return e.NativeError;
    }
    return -1;
}

} // namespace

TEST(DirectoryReading, UntrustedSizesEndInErrorsNotAllocations)
{
    const size_t total = 1024;
    const size_t endAt = total - TEndOfCentralDir::kSize;
    const size_t locatorAt = endAt - TZip64EndLocator::kSize;
    const size_t zip64At = locatorAt - TZip64EndOfCentralDir::kSize;
    struct Row {
        const char* what;
        uint64_t entries;
        uint64_t directorySize;
        uint64_t locatorOffset;
        int expected;
    };
    const Row rows[] = {
        // Read with RepairOnOpen (the archiver's default): a directory that cannot be read
        // is rebuilt from the local headers, of which there are none here.
        {"ZIP64 count of 2^32-1", 0xFFFFFFFF, 0, zip64At, 35},
        {"ZIP64 directory larger than the file", 3, uint64_t(1) << 40, zip64At, 35},
        {"locator offset past the end", 1, 46, 1 << 20, 40},
        {"locator offset into the locator", 1, 46, locatorAt - 40, 40},
        {"locator offset far beyond 2^63", 1, 46, ~uint64_t(0) - 10, 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TCraft craft(total);
        TZip64EndOfCentralDir z64;
        z64.EntriesOnDisk = z64.EntriesTotal = row.entries;
        z64.CentralDirSize = row.directorySize;
        craft.Put(zip64At, z64);
        TZip64EndLocator locator;
        locator.Zip64EndOffset = row.locatorOffset;
        locator.TotalDisks = 1;
        craft.Put(locatorAt, locator);
        TEndOfCentralDir end;
        end.EntriesOnDisk = end.EntriesTotal = 0xFFFF;
        end.CentralDirSize = end.CentralDirOffset = 0xFFFFFFFF;
        craft.Put(endAt, end);
        EXPECT_EQ(OpenError(craft.bytes), row.expected);
    }
    // Plain end records: a count that cannot fit in the directory, a directory reaching
    // before the file, a total of 0xFFFF without ZIP64, a later disk (read as one file:
    // the open decides the volumes, and a directory read alone is a single file).
    struct Plain {
        const char* what;
        uint16_t entries;
        uint32_t directorySize;
        uint16_t disk;
        int expected;
    };
    const Plain plains[] = {
        {"count beyond the directory", 200, 460, 0, 35},
        {"untrusted 0xFFFF", 0xFFFF, 460, 0, 35},
        {"disk 1", 1, 46, 1, -1},
    };
    for (const Plain& row : plains) {
        SCOPED_TRACE(row.what);
        TCraft craft(total);
        TEndOfCentralDir end;
        end.DiskNumber = end.StartDiskNumber = row.disk;
        end.EntriesOnDisk = end.EntriesTotal = row.entries;
        end.CentralDirSize = row.directorySize;
        craft.Put(endAt, end);
        EXPECT_EQ(OpenError(craft.bytes), row.expected);
    }
    EXPECT_EQ(OpenError(std::vector<uint8_t>(100)), 35);
}

TEST(DirectoryArray, KeysFollowPositionsAndIndexesAreChecked)
{
    THvoDirArray items;
    items.SetCount(3);
    EXPECT_EQ(items.Capacity, 1000);
    items.SetName(0, "A.txt");
    items.SetName(1, "");
    items.SetName(2, "b.TXT");
    items.SetName(1, "c.txt");
    int32_t index = -1;
    EXPECT_TRUE(items.FindName("C.TXT", index));
    EXPECT_EQ(index, 1);
    items.Delete(0);
    EXPECT_TRUE(items.FindName("b.txt", index));
    EXPECT_EQ(index, 1);
    for (auto call : {+[](THvoDirArray& a) { a.GetItem(5); }, +[](THvoDirArray& a) { a.ItemPtr(-1); },
                      +[](THvoDirArray& a) { a.SetItem(2, TDirItem{}); }, +[](THvoDirArray& a) { a.Delete(2); }})
        EXPECT_THROW(call(items), EHvoException);
    items.SetCount(0);
    EXPECT_EQ(items.Capacity, 0);
}
