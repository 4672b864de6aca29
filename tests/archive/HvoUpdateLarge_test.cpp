// An entry whose data passes 4 GiB although its source does not: the local header
// carries both sizes in a ZIP64 block. The archive is a stream that keeps its first
// 64 KiB and only counts the rest.

#include "archive/Halvorin.h"
#include "archive/HvoChecksum.h"
#include "archive/HvoRecords.h"
#include "archive/HvoStreams.h"
#include "archive/HvoUpdate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kKept = 64 * 1024;

// Keeps the bytes written below kKept; above it only the size grows. Reads there give
// zero bytes.
class TCountingSink : public TStream {
public:
    ~TCountingSink() override = default;
    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t n = std::max<int64_t>(std::min(count, size_ - position_), 0);
        auto* out = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < n; ++i) out[i] = position_ + i < kKept ? head_[static_cast<size_t>(position_ + i)] : 0;
        position_ += n;
        return n;
    }
    int64_t Write(const void* buffer, int64_t count) override
    {
        const auto* in = static_cast<const uint8_t*>(buffer);
        for (int64_t i = 0; i < count && position_ + i < kKept; ++i) head_[static_cast<size_t>(position_ + i)] = in[i];
        position_ += count;
        size_ = std::max(size_, position_);
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : size_;
        position_ = base + offset;
        return position_;
    }
    void SetSize(int64_t size) override
    {
        size_ = size;
        if (size < kKept) std::fill(head_.begin() + size, head_.end(), 0);
    }
    int64_t Size() override { return size_; }
    const uint8_t* Head() const { return head_.data(); }

private:
    std::vector<uint8_t> head_ = std::vector<uint8_t>(kKept);
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// size zero bytes.
class TZeroSource : public TStream {
public:
    explicit TZeroSource(int64_t size) : size_(size) {}
    ~TZeroSource() override = default;
    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t n = std::max<int64_t>(std::min(count, size_ - position_), 0);
        std::memset(buffer, 0, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        const int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : size_;
        position_ = base + offset;
        return position_;
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return size_; }

private:
    int64_t size_;
    int64_t position_ = 0;
};

// An archiver over a stream the test supplies.
class TStreamArchiver : public THalvorin {
public:
    TStreamArchiver() { Build(); }
    using THvoBaseArchiver::OpenArchiveStream;
};

TEST(LargeEntries, EncryptedDataPastFourGiBHasBothSizesInTheLocalZip64Block)
{
    TCountingSink archive;
    // An empty archive: its end record alone.
    uint8_t end[TEndOfCentralDir::kSize];
    WriteRecord(end, TEndOfCentralDir{});
    archive.WriteBuffer(end, sizeof end);
    const int64_t sourceSize = 0xFFFFFFF8;
    TZeroSource zeros(sourceSize);

    TStreamArchiver a;
    a.SetZip64Mode(zmAuto);
    a.SetCompressionMode(0);
    a.SetPassword("secret");
    a.OpenArchiveStream(archive);
    HvoOpenUpdate(a);
    THvoDirArray& items = a.DirManager()->Items;
    items.SetCount(1);
    a.FillNewItem(0, "zeros.bin", DosToInt(CivilToDos({2024, 5, 6, 7, 8, 10})), 0x20, false);
    items.ItemPtr(0).SourceObject = &zeros;
    items.ItemPtr(0).Operation = poAdd;
    a.CloseArchive();

    TLocalFileHeader local;
    ReadRecord(archive.Head(), local);
    EXPECT_EQ(local.Signature, kLocalFileHeaderSignature);
    EXPECT_EQ(local.VersionNeeded, 45);
    EXPECT_EQ(local.Flags & 1, 1);
    EXPECT_EQ(local.CompressionMethod, 0);
    EXPECT_EQ(local.CompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(local.UncompressedSize, 0xFFFFFFFFu);
    ASSERT_EQ(local.FileNameLength, 9);
    const uint8_t* extra = archive.Head() + TLocalFileHeader::kSize + local.FileNameLength;
    const std::vector<TExtraBlock> blocks = ParseExtraField({extra, local.ExtraFieldLength});
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].HeaderId, 1);
    ASSERT_EQ(blocks[0].Data.size(), 16u);
    EXPECT_EQ(ReadLE64(blocks[0].Data.data()), uint64_t(sourceSize));
    EXPECT_EQ(ReadLE64(blocks[0].Data.data() + 8), uint64_t(sourceSize) + 12);
    // The encryption header before the data opens with the password and checks against
    // the CRC of the local header.
    uint8_t header[12];
    std::memcpy(header, extra + local.ExtraFieldLength, sizeof header);
    THvoZipKeys keys;
    keys.InitKeysAndDecryptHeader("secret", header);
    EXPECT_EQ(header[11], local.Crc32 >> 24);
    // The data, the directory and the ZIP64 end records follow.
    const int64_t dataEnd = int64_t(TLocalFileHeader::kSize) + 9 + 20 + sourceSize + 12;
    EXPECT_GT(archive.Size(), dataEnd + int64_t(TEndOfCentralDir::kSize + TZip64EndOfCentralDir::kSize));
}

} // namespace
