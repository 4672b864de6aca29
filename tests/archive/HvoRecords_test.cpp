#include "archive/HvoRecords.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace {

using archivetest::FromHex;
using archivetest::Number;

const char* const kArchives[] = {"py_stored", "py_deflated", "py_dates", "infozip", "infozip_zip64", "sevenzip"};

std::vector<uint64_t> FieldsOf(const TLocalFileHeader& h)
{
    return {h.Signature, h.VersionNeeded, h.Flags, h.CompressionMethod, h.LastModTime, h.LastModDate,
            h.Crc32,     h.CompressedSize, h.UncompressedSize, h.FileNameLength, h.ExtraFieldLength};
}

std::vector<uint64_t> FieldsOf(const TCentralFileHeader& h)
{
    return {h.Signature,         h.VersionMadeBy,    h.VersionNeeded,     h.Flags,
            h.CompressionMethod, h.LastModTime,      h.LastModDate,       h.Crc32,
            h.CompressedSize,    h.UncompressedSize, h.FileNameLength,    h.ExtraFieldLength,
            h.FileCommentLength, h.DiskNumberStart,  h.InternalAttributes, h.ExternalAttributes,
            h.LocalHeaderOffset};
}

std::vector<uint64_t> FieldsOf(const TEndOfCentralDir& r)
{
    return {r.Signature,     r.DiskNumber,     r.StartDiskNumber,  r.EntriesOnDisk,
            r.EntriesTotal,  r.CentralDirSize, r.CentralDirOffset, r.CommentLength};
}

std::vector<uint64_t> FieldsOf(const TZip64EndOfCentralDir& r)
{
    return {r.Signature,  r.RecordSize,      r.VersionMadeBy, r.VersionNeeded,  r.DiskNumber,
            r.StartDiskNumber, r.EntriesOnDisk, r.EntriesTotal, r.CentralDirSize, r.CentralDirOffset};
}

std::vector<uint64_t> FieldsOf(const TZip64EndLocator& r)
{
    return {r.Signature, r.Zip64EndDisk, r.Zip64EndOffset, r.TotalDisks};
}

std::vector<uint64_t> Expected(const std::vector<std::string>& row, size_t count)
{
    std::vector<uint64_t> out;
    for (size_t i = 0; i < count; ++i) out.push_back(Number(row.at(2 + i)));
    return out;
}

// Reads the record at the row's offset, compares its fields with the row's and writes it
// back to the same bytes; returns the record.
template <class R>
R CheckRecord(const std::string& archive, const std::vector<std::string>& row)
{
    const size_t at = Number(row.at(1));
    EXPECT_LE(at + R::kSize, archive.size());
    const auto* p = reinterpret_cast<const uint8_t*>(archive.data()) + at;
    R r;
    ReadRecord(p, r);
    const std::vector<uint64_t> fields = FieldsOf(r);
    EXPECT_EQ(fields, Expected(row, fields.size())) << row[0] << " at " << at;
    uint8_t written[R::kSize];
    WriteRecord(written, r);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(written), R::kSize), archive.substr(at, R::kSize)) << row[0] << " at " << at;
    return r;
}

std::span<const uint8_t> Bytes(const std::string& archive, size_t at, size_t size)
{
    return {reinterpret_cast<const uint8_t*>(archive.data()) + at, size};
}

TEST(HvoRecords, ReadsAndWritesTheRecordsOfPeerArchives)
{
    int zip64Blocks = 0, opaqueBlocks = 0;
    for (const char* name : kArchives) {
        SCOPED_TRACE(name);
        const std::string archive = testsupport::ReadFile(archivetest::FixtureDir() / (std::string(name) + ".zip"));
        const auto rows = archivetest::ReadTable(archivetest::FixtureDir() / (std::string(name) + ".tsv"));
        ASSERT_FALSE(rows.empty());
        for (const auto& row : rows) {
            const size_t at = Number(row.at(1));
            if (row[0] == "local") {
                const TLocalFileHeader h = CheckRecord<TLocalFileHeader>(archive, row);
                EXPECT_EQ(archive.substr(at + 30, h.FileNameLength), FromHex(row.at(13)));
                const std::optional<TCivilTime> t = DosToCivil({h.LastModDate, h.LastModTime});
                ASSERT_TRUE(t.has_value());
                EXPECT_EQ((std::vector<int>{t->Year, t->Month, t->Day, t->Hour, t->Minute, t->Second}),
                          (std::vector<int>{std::stoi(row.at(14)), std::stoi(row.at(15)), std::stoi(row.at(16)),
                                            std::stoi(row.at(17)), std::stoi(row.at(18)), std::stoi(row.at(19))}));
                const TDosDateTime packed = CivilToDos(*t);
                EXPECT_EQ(packed.Date, h.LastModDate);
                EXPECT_EQ(packed.Time, h.LastModTime);
                const auto extra = Bytes(archive, at + 30 + h.FileNameLength, h.ExtraFieldLength);
                const std::vector<TExtraBlock> blocks = ParseExtraField(extra);
                EXPECT_EQ(BuildExtraField(blocks), std::vector<uint8_t>(extra.begin(), extra.end()));
                for (const TExtraBlock& b : blocks) {
                    if (b.HeaderId != 0xCAFE) continue;
                    ++opaqueBlocks;
                    EXPECT_EQ(b.Data, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
                }
            } else if (row[0] == "central") {
                const TCentralFileHeader h = CheckRecord<TCentralFileHeader>(archive, row);
                EXPECT_EQ(archive.substr(at + 46, h.FileNameLength), FromHex(row.at(19)));
                const auto extra = Bytes(archive, at + 46 + h.FileNameLength, h.ExtraFieldLength);
                const std::vector<TExtraBlock> blocks = ParseExtraField(extra);
                EXPECT_EQ(BuildExtraField(blocks), std::vector<uint8_t>(extra.begin(), extra.end()));
                TZip64Values values;
                for (const TExtraBlock& b : blocks) {
                    if (b.HeaderId != kExtraZip64) continue;
                    ++zip64Blocks;
                    ReadZip64Block(b.Data, h, values);
                    EXPECT_EQ(BuildZip64Block(h, values), b.Data);
                }
                EXPECT_EQ(h.UncompressedSize == 0xFFFFFFFFu ? values.UncompressedSize : h.UncompressedSize, Number(row.at(20)));
                EXPECT_EQ(h.CompressedSize == 0xFFFFFFFFu ? values.CompressedSize : h.CompressedSize, Number(row.at(21)));
                EXPECT_EQ(h.LocalHeaderOffset == 0xFFFFFFFFu ? values.LocalHeaderOffset : h.LocalHeaderOffset,
                          Number(row.at(22)));
            } else if (row[0] == "end") {
                CheckRecord<TEndOfCentralDir>(archive, row);
            } else if (row[0] == "zip64end") {
                CheckRecord<TZip64EndOfCentralDir>(archive, row);
            } else if (row[0] == "locator") {
                CheckRecord<TZip64EndLocator>(archive, row);
            } else {
                ADD_FAILURE() << "unknown row " << row[0];
            }
        }
    }
    EXPECT_GT(zip64Blocks, 0);
    EXPECT_GT(opaqueBlocks, 0);
}

TEST(HvoRecords, Zip64BlockTakesOnlyWholeValuesInOrder)
{
    TCentralFileHeader h;
    h.UncompressedSize = 0xFFFFFFFFu;
    h.CompressedSize = 0xFFFFFFFFu;
    h.LocalHeaderOffset = 0xFFFFFFFFu;
    h.DiskNumberStart = 0xFFFF;
    std::vector<uint8_t> data(8 + 8 + 5);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
    TZip64Values v;
    v.LocalHeaderOffset = 77;
    v.DiskNumberStart = 66;
    ReadZip64Block(data, h, v);
    EXPECT_EQ(v.UncompressedSize, 0x0807060504030201u);
    EXPECT_EQ(v.CompressedSize, 0x100F0E0D0C0B0A09u);
    EXPECT_EQ(v.LocalHeaderOffset, 77u) << "five bytes left: the offset does not fit";
    EXPECT_EQ(v.DiskNumberStart, 66u) << "the disk number would lie after the missing offset";

    // Only the disk number is all ones: it is the first value.
    TCentralFileHeader d;
    d.DiskNumberStart = 0xFFFF;
    TZip64Values w;
    ReadZip64Block(std::span<const uint8_t>(data.data(), 4), d, w);
    EXPECT_EQ(w.DiskNumberStart, 0x04030201u);
    EXPECT_EQ(BuildZip64Block(d, w), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_TRUE(BuildZip64Block(TCentralFileHeader{}, w).empty()) << "an entry that fits needs no block";
}

TEST(HvoRecords, ExtraFieldWithABlockLongerThanTheRest)
{
    const std::vector<uint8_t> field = {0x55, 0x54, 9, 0, 1, 2, 3, 0x4E, 0x55};
    const std::vector<TExtraBlock> blocks = ParseExtraField(field);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].HeaderId, 0x5455);
    EXPECT_EQ(blocks[0].Data, (std::vector<uint8_t>{1, 2, 3, 0x4E, 0x55}));
    const std::vector<uint8_t> tail = {1, 0, 0, 0, 0x99};
    ASSERT_EQ(ParseExtraField(tail).size(), 1u) << "fewer than four bytes end the field";
    EXPECT_TRUE(ParseExtraField(tail)[0].Data.empty());
    EXPECT_TRUE(ParseExtraField(std::vector<uint8_t>{1, 0, 0}).empty());
}

TEST(HvoRecords, WrittenZip64EndRecordsCarryTheirFixedValues)
{
    uint8_t bytes[TZip64EndOfCentralDir::kSize];
    WriteRecord(bytes, TZip64EndOfCentralDir{});
    EXPECT_EQ(ReadLE32(bytes), 0x06064B50u);
    EXPECT_EQ(ReadLE64(bytes + 4), 44u);
    EXPECT_EQ(ReadLE16(bytes + 12), 45);
    EXPECT_EQ(ReadLE16(bytes + 14), 45);
}

TEST(HvoRecords, DosDateTimeRejectsInvalidValuesAndClamps)
{
    const TDosDateTime invalid[] = {
        {uint16_t(43 << 9 | 0 << 5 | 10), 0},                // month 0
        {uint16_t(43 << 9 | 6 << 5 | 0), 0},                 // day 0
        {uint16_t(43 << 9 | 13 << 5 | 1), 0},                // month 13
        {uint16_t(43 << 9 | 6 << 5 | 1), uint16_t(30)},      // seconds field 30
        {uint16_t(43 << 9 | 6 << 5 | 1), uint16_t(24 << 11)}, // hour 24
    };
    for (const TDosDateTime& v : invalid) {
        EXPECT_FALSE(DosToCivil(v).has_value()) << v.Date << " " << v.Time;
        EXPECT_FALSE(DosToTime(v).has_value()) << v.Date << " " << v.Time;
    }
    EXPECT_EQ(DosToInt(CivilToDos({1975, 5, 5, 5, 5, 5})), DosToInt(CivilToDos({1980, 1, 1, 0, 0, 0})));
    EXPECT_EQ(DosToInt(CivilToDos({2150, 5, 5, 5, 5, 5})), DosToInt(CivilToDos({2107, 12, 31, 23, 59, 58})));
    EXPECT_EQ(DosToInt(TimeToDos(0)), DosToInt(CivilToDos({1980, 1, 1, 0, 0, 0})));
    EXPECT_EQ(IntToDos(0x12345678u).Date, 0x1234);
    EXPECT_EQ(IntToDos(0x12345678u).Time, 0x5678);
}

TEST(HvoRecords, DosDateTimeIsLocalTime)
{
    {
        testsupport::ScopedEnv tz("TZ", "Europe/Berlin");
        tzset();
        const TDosDateTime summer = CivilToDos({2023, 7, 16, 0, 30, 16});
        EXPECT_EQ(DosToTime(summer), time_t(1689460216));
        EXPECT_EQ(DosToInt(TimeToDos(1689460217)), DosToInt(summer)) << "odd seconds round down";
        const TDosDateTime winter = CivilToDos({2023, 1, 16, 0, 30, 16});
        EXPECT_EQ(DosToTime(winter), time_t(1673825416));
    }
    tzset();
}

} // namespace
