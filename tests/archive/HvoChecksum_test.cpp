#include "archive/HvoChecksum.h"

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

} // namespace
