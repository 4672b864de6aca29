#include "archive/HvoOptions.h"
#include "platform/Exceptions.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

namespace {

TEST(HvoOptions, Defaults)
{
    const THvoOptions o;
    EXPECT_EQ(o.StorePath, spRelativePath);
    EXPECT_TRUE(o.Recurse);
    EXPECT_EQ(o.ShareMode, smShareDenyNone);
    EXPECT_EQ(o.OverwriteMode, omAlways);
    EXPECT_TRUE(o.CreateDirs);
    EXPECT_TRUE(o.ReplaceReadOnly);
    EXPECT_TRUE(o.SetAttributes);
    EXPECT_EQ(o.SearchAttr, 0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0x80 | 0x800 | 0x2000);
    EXPECT_TRUE(o.FlushBuffers);
    EXPECT_TRUE(o.OEMFileNames);

    const THvoSpanningOptions s;
    EXPECT_FALSE(s.AdvancedNaming);
    EXPECT_EQ(s.FirstVolumeSize, 0);
    EXPECT_EQ(s.VolumeSize, vsAutoDetect);
    EXPECT_EQ(s.CustomVolumeSize(), 0);
}

TEST(HvoOptions, CustomVolumeSizeHasAFloor)
{
    THvoSpanningOptions s;
    for (auto [given, kept] : {std::pair<int64_t, int64_t>{-5, 65536}, {1000, 65536}, {65536, 65536}, {70000, 70000}}) {
        s.SetCustomVolumeSize(given);
        EXPECT_EQ(s.CustomVolumeSize(), kept) << given;
    }
}

TEST(HvoOptions, VolumeSizeLimit)
{
    THvoVolumeNumberInfo first, later;
    first.SetFirst(true);
    later.SetNumber(3);
    THvoSpanningOptions s;
    s.SetCustomVolumeSize(123456);
    const struct {
        THvoVolumeSize size;
        int64_t bytes;
    } rows[] = {
        {vsAutoDetect, -1},        {vsCustom, 123456},       {vs1_44MB, 1457664},     {vs100MB, 104857600},
        {vs200MB, 209715200},      {vs250MB, 262144000},     {vs600MB, 629145600},    {vs650MB, 681574400},
        {vs700MB, 734003200},      {vs4700MB, 4928307200},
    };
    for (const auto& row : rows) {
        s.VolumeSize = row.size;
        s.FirstVolumeSize = 0;
        EXPECT_EQ(s.VolumeSizeLimit(later), row.bytes) << row.size;
        EXPECT_EQ(s.VolumeSizeLimit(first), row.bytes) << row.size;
        s.FirstVolumeSize = 2000000;
        EXPECT_EQ(s.VolumeSizeLimit(first), 2000000) << row.size;
        EXPECT_EQ(s.VolumeSizeLimit(later), row.bytes) << row.size;
    }
    s.FirstVolumeSize = -1;
    s.VolumeSize = vs100MB;
    EXPECT_EQ(s.VolumeSizeLimit(first), 104857600);
}

TEST(HvoOptions, AssignTakesOnlyItsOwnClass)
{
    THvoOptions a, b;
    b.StorePath = spFullPath;
    b.SearchAttr = 7;
    b.OEMFileNames = false;
    a.Assign(b);
    EXPECT_EQ(a.StorePath, spFullPath);
    EXPECT_EQ(a.SearchAttr, 7);
    EXPECT_FALSE(a.OEMFileNames);

    THvoSpanningOptions s, t;
    t.SetCustomVolumeSize(99999);
    t.VolumeSize = vsCustom;
    t.AdvancedNaming = true;
    s.Assign(t);
    EXPECT_EQ(s.CustomVolumeSize(), 99999);
    EXPECT_EQ(s.VolumeSize, vsCustom);
    EXPECT_TRUE(s.AdvancedNaming);

    EXPECT_EQ(testsupport::MessageOf<platform::EConvertError>([&] { a.Assign(s); }),
              "Cannot assign a THvoSpanningOptions to a THvoOptions");
    EXPECT_EQ(testsupport::MessageOf<platform::EConvertError>([&] { s.Assign(a); }),
              "Cannot assign a THvoOptions to a THvoSpanningOptions");
    EXPECT_EQ(a.StorePath, spFullPath);
}

} // namespace
