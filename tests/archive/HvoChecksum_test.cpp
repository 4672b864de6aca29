#include "archive/HvoChecksum.h"
#include "tests/archive/ArchiveFixtures.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

TEST(HvoChecksum, Crc32CheckValue)
{
    const char digits[] = "123456789";
    EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, digits, 9), 0xCBF43926u);
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < 9; ++i) crc = Crc32Step(crc, static_cast<uint8_t>(digits[i]));
    EXPECT_EQ(~crc, 0xCBF43926u);
    EXPECT_EQ(UpdateCrc32(0x12345678u, digits, 0), 0x12345678u);
}

TEST(HvoChecksum, ChunkedCrcEqualsZlibOverTheWhole)
{
    std::mt19937 random(104);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> data(1 + random() % 20000);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        const uLong expected = crc32(crc32(0, nullptr, 0), data.data(), static_cast<uInt>(data.size()));
        std::vector<size_t> cuts = {0, data.size()};
        for (int k = 0; k < 5; ++k) cuts.push_back(random() % (data.size() + 1));
        std::sort(cuts.begin(), cuts.end());
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t k = 0; k + 1 < cuts.size(); ++k) UpdateCrc32(&crc, data.data() + cuts[k], cuts[k + 1] - cuts[k]);
        EXPECT_EQ(~crc, expected) << "round " << round;
    }
}

TEST(HvoChecksum, CompressionMaps)
{
    const struct {
        int mode;
        THvoCompressionLevel level;
        int32_t buffer;
        uint16_t header;
    } rows[] = {
        {0, clNone, 1048576, 0xDA78},    {1, clFastest, 524288, 0x0178}, {2, clFastest, 524288, 0x0178},
        {3, clFastest, 524288, 0x5E78},  {4, clNormal, 1048576, 0x5E78}, {5, clNormal, 1048576, 0x9C78},
        {6, clNormal, 1048576, 0x9C78},  {7, clMax, 1572864, 0xDA78},    {8, clMax, 1572864, 0xDA78},
        {9, clMax, 1572864, 0xDA78},     {10, clNone, 1048576, 0},       {-1, clNone, 1048576, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        EXPECT_EQ(ModeToLevel(row.mode), row.level);
        EXPECT_EQ(BufferSizeForMode(row.mode), row.buffer);
        EXPECT_EQ(ZlibHeaderForMode(row.mode), row.header);
    }
    EXPECT_EQ(LevelToMode(clNone), 0);
    EXPECT_EQ(LevelToMode(clFastest), 1);
    EXPECT_EQ(LevelToMode(clNormal), 6);
    EXPECT_EQ(LevelToMode(clMax), 9);
    EXPECT_EQ(LevelToMode(static_cast<THvoCompressionLevel>(7)), 0);
}

THvoVolumeNumberInfo Volume(int32_t state, int32_t number, int32_t last)
{
    THvoVolumeNumberInfo v;
    v.State = state;
    v.VolumeNumber = number;
    v.LastVolumeNumber = last;
    return v;
}

TEST(HvoChecksum, VolumeNumberInfo)
{
    THvoVolumeNumberInfo v;
    EXPECT_EQ(v.State, 3);
    EXPECT_EQ(v.VolumeNumber, -1);
    EXPECT_FALSE(v.IsLast()) << "an undetermined last volume counts as last only after SetLast";
    v.SetLast(false);
    EXPECT_FALSE(v.IsLast());
    v.SetLast(true);
    EXPECT_TRUE(v.IsLast());
    EXPECT_EQ(v.State, 1);
    v.SetNumber(2);
    EXPECT_FALSE(v.IsLast());
    v.LastVolumeNumber = 2;
    EXPECT_TRUE(v.IsLast());
    v.SetFirst(true);
    EXPECT_TRUE(v.IsFirst());
    EXPECT_EQ(v.State, 0);
    v.Reset();
    EXPECT_EQ(v.LastVolumeNumber, -1);

    const struct {
        THvoVolumeNumberInfo a, b;
        bool same;
    } rows[] = {
        {Volume(1, -1, -1), Volume(1, -1, -1), true},  // both last, last number unknown
        {Volume(1, -1, -1), Volume(2, 3, -1), false},
        {Volume(2, 4, 4), Volume(1, -1, -1), true},    // a is last by number, b by state
        {Volume(0, 0, -1), Volume(2, 0, -1), true},    // both first
        {Volume(3, -1, -1), Volume(3, -1, -1), true},  // undetermined: equal state
        {Volume(3, -1, -1), Volume(2, -1, -1), false},
        {Volume(2, 3, -1), Volume(2, 3, 5), true},
        {Volume(2, 3, -1), Volume(2, 4, -1), false},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(THvoVolumeNumberInfo::SameVolume(rows[i].a, rows[i].b), rows[i].same) << "row " << i;
}

// ---- Traditional encryption ------------------------------------------------------------

using archivetest::FixtureDir;

std::vector<uint8_t> Seeded(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> data(n);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    return data;
}

TEST(HvoChecksum, TraditionalRoundTrip)
{
    const std::vector<uint8_t> plain = Seeded(3000, 7);
    std::vector<uint8_t> buffer = plain;
    THvoZipKeys keys;
    keys.InitKeys("secret");
    keys.EncryptBuffer(buffer.data(), 100, buffer.size() - 100);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 100, buffer.begin())) << "bytes before the offset stay";
    EXPECT_NE(buffer, plain);

    THvoZipKeys wrong;
    wrong.InitKeys("Secret");
    std::vector<uint8_t> other(buffer.begin() + 100, buffer.end());
    wrong.DecryptBuffer(other.data(), other.size());
    EXPECT_FALSE(std::equal(other.begin(), other.end(), plain.begin() + 100));

    THvoZipKeys right;
    right.InitKeys("secret");
    right.DecryptBuffer(buffer.data() + 100, buffer.size() - 100);
    EXPECT_EQ(buffer, plain);
}

// An entry of a peer's archive (zip -P and 7-Zip's ZipCrypto, password "pw") decrypted
// with the keys, its check byte taken from the local header, and decoded.
struct TDecrypted {
    bool checkByteMatches = false;
    std::string output;
};

TDecrypted DecryptTraditional(const archivetest::TRawEntry& entry, const std::string& password)
{
    std::vector<uint8_t> data = entry.Data;
    EXPECT_GE(data.size(), static_cast<size_t>(kTraditionalHeaderSize));
    THvoZipKeys keys;
    keys.InitKeysAndDecryptHeader(password, data.data());
    TDecrypted result;
    result.checkByteMatches = data[11] == TraditionalCheckByte(entry.Local.Flags, entry.Local.LastModTime, entry.Local.Crc32);
    keys.DecryptBuffer(data.data() + kTraditionalHeaderSize, data.size() - kTraditionalHeaderSize);
    const uint8_t* body = data.data() + kTraditionalHeaderSize;
    const size_t size = data.size() - kTraditionalHeaderSize;
    result.output = entry.Item.CompressionMethod == 8 ? archivetest::InflateRaw(body, size)
                                                      : std::string(body, body + size);
    return result;
}

TEST(HvoChecksum, TraditionalDecryptsThePeersEntries)
{
    bool sawTimeCheck = false;
    bool sawCrcCheck = false;
    int entries = 0;
    for (const auto& row : archivetest::ReadTable(FixtureDir() / "crypto.tsv")) {
        if (row[0] != "entry" || row[5] != "0") continue;
        SCOPED_TRACE(row[1] + " #" + row[2]);
        const auto entry = archivetest::ReadRawEntry(row[1], std::stoi(row[2]));
        ASSERT_TRUE(entry.Item.Flags & 1);
        (entry.Local.Flags & 8 ? sawTimeCheck : sawCrcCheck) = true;
        const TDecrypted decrypted = DecryptTraditional(entry, "pw");
        EXPECT_TRUE(decrypted.checkByteMatches);
        EXPECT_TRUE(decrypted.output == testsupport::ReadFile(FixtureDir() / row[3])) << "output differs";
        EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, decrypted.output.data(), decrypted.output.size()), entry.Item.Crc32);
        ++entries;
    }
    EXPECT_EQ(entries, 4);
    EXPECT_TRUE(sawTimeCheck) << "an entry with sizes in a data descriptor (check byte from the time)";
    EXPECT_TRUE(sawCrcCheck) << "an entry checked by its CRC";
}

TEST(HvoChecksum, TraditionalWrongPasswordPassingTheCheckByteGivesOtherData)
{
    int rows = 0;
    for (const auto& row : archivetest::ReadTable(FixtureDir() / "crypto.tsv")) {
        if (row[0] != "wrongpw") continue;
        SCOPED_TRACE(row[1] + " with " + row[3]);
        const auto entry = archivetest::ReadRawEntry(row[1], std::stoi(row[2]));
        const TDecrypted decrypted = DecryptTraditional(entry, row[3]);
        EXPECT_TRUE(decrypted.checkByteMatches);
        EXPECT_NE(~UpdateCrc32(0xFFFFFFFFu, decrypted.output.data(), decrypted.output.size()), entry.Item.Crc32);
        ++rows;
    }
    EXPECT_EQ(rows, 2);
}

TEST(HvoChecksum, TraditionalEntryWrittenHereIsReadByUnzip)
{
    testsupport::TempDir dir;
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "encrypted line " + std::to_string(i) + "\n";
    const uint32_t crc = ~UpdateCrc32(0xFFFFFFFFu, text.data(), text.size());
    std::vector<uint8_t> stored(kTraditionalHeaderSize);
    const std::vector<uint8_t> noise = Seeded(10, 12);
    std::copy(noise.begin(), noise.end(), stored.begin());
    stored[10] = static_cast<uint8_t>(crc >> 16);
    stored[11] = static_cast<uint8_t>(crc >> 24);
    const std::vector<uint8_t> deflated = archivetest::DeflateRaw(text);
    stored.insert(stored.end(), deflated.begin(), deflated.end());
    THvoZipKeys keys;
    keys.InitKeys("pw");
    for (int i = 0; i < kTraditionalHeaderSize; ++i) stored[i] = keys.EncryptByte(stored[i]);
    keys.EncryptBuffer(stored.data(), kTraditionalHeaderSize, deflated.size());
    const auto path = dir / "trad.zip";
    archivetest::WriteOneEntryZip(path, "secret.txt", 20, 1, 8, crc, static_cast<uint32_t>(text.size()), {}, stored);

    std::string output;
    EXPECT_EQ(testsupport::RunCommand("unzip -p -P pw '" + path.string() + "' 2>/dev/null", &output), 0);
    EXPECT_TRUE(output == text) << "unzip gives other bytes";
    EXPECT_NE(testsupport::RunCommand("unzip -tq -P px '" + path.string() + "' >/dev/null 2>&1"), 0);
}

} // namespace
