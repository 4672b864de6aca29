// A directory of more entries than the end record can count (slow: 70,000 entries).

#include "archive/Halvorin.h"
#include "tests/archive/WriteSupport.h"

#include <gtest/gtest.h>

using namespace archivetest;
using testsupport::TempDir;

TEST(ManyEntries, CountsBeyond65535GoToTheZip64EndRecord)
{
    TempDir dir;
    const std::string source = (dir / "many.zip").string();
    RunPeer("make-many " + source + " 70000");
    auto archiver = THalvorin::Create();
    archiver->SetFileName(source);
    archiver->OpenArchive();
    ASSERT_EQ(archiver->DirManager()->Items.Count, 70000);
    TMemoryStream fresh;
    CopyLocalRecords(*archiver, fresh);
    archiver->DirManager()->WriteDirectory(&fresh);
    const auto ours = dir / "ours.zip";
    SaveStream(fresh, ours);
    archiver->CloseArchive();

    const uint8_t* tail = fresh.Memory() + fresh.Size() - 98;
    TZip64EndOfCentralDir zip64;
    TZip64EndLocator locator;
    TEndOfCentralDir end;
    ReadRecord(tail, zip64);
    ReadRecord(tail + 56, locator);
    ReadRecord(tail + 76, end);
    EXPECT_EQ(end.EntriesOnDisk, 0xFFFF);
    EXPECT_EQ(end.EntriesTotal, 0xFFFF);
    EXPECT_EQ(zip64.Signature, kZip64EndOfCentralDirSignature);
    EXPECT_EQ(zip64.RecordSize, 44u);
    EXPECT_EQ(zip64.VersionMadeBy, 45);
    EXPECT_EQ(zip64.EntriesOnDisk, 70000u);
    EXPECT_EQ(zip64.EntriesTotal, 70000u);
    EXPECT_EQ(zip64.CentralDirOffset, end.CentralDirOffset);
    EXPECT_EQ(zip64.CentralDirSize, end.CentralDirSize);
    EXPECT_EQ(locator.Signature, kZip64EndLocatorSignature);
    EXPECT_EQ(locator.Zip64EndOffset, static_cast<uint64_t>(fresh.Size() - 98));
    EXPECT_EQ(locator.TotalDisks, 1u);
    RunPeer("compare " + source + " " + ours.string());
    // Read back by the component itself.
    auto again = THalvorin::Create();
    again->SetFileName(ours.string());
    again->OpenArchive();
    EXPECT_EQ(again->DirManager()->Items.Count, 70000);
}
