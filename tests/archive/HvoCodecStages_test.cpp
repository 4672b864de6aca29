// The codec stages by themselves: what each hands on, when it stops, and that the two
// directions of a stage meet.

#include "archive/HvoAesStream.h"
#include "archive/HvoCrcStream.h"
#include "archive/HvoDeflateStream.h"
#include "archive/HvoDirManager.h"
#include "archive/HvoTraditionalStream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>
#include <zlib.h>

namespace {

std::vector<uint8_t> SampleData(size_t size)
{
    std::mt19937 random(63);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = i % 1000 < 300 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 5);
    return data;
}

// Keeps what it takes and the size of every write; takes nothing once refusing.
class TRecorder : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (refusing) return 0;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + count);
        pieces.push_back(count);
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return -1; }
    void SetSize(int64_t) override {}

    std::vector<uint8_t> data;
    std::vector<int64_t> pieces;
    bool refusing = false;
};

// Writes data to the stage in pieces of the given size.
void WriteInPieces(TStream& stage, const std::vector<uint8_t>& data, size_t piece)
{
    for (size_t at = 0; at < data.size(); at += piece)
        stage.Write(data.data() + at, static_cast<int64_t>(std::min(piece, data.size() - at)));
}

TEST(CodecStages, DeflatedWritesInflateBackInPiecesOfTheOutputSize)
{
    const std::vector<uint8_t> data = SampleData(300000);
    TRecorder packed;
    {
        THvoDeflateStream deflate(packed, 6, static_cast<int64_t>(data.size()));
        ASSERT_TRUE(deflate.Ready());
        WriteInPieces(deflate, data, 100000);
        EXPECT_EQ(deflate.End(), Z_OK) << "the write that completes the input finishes the stream";
    }
    EXPECT_EQ(packed.pieces.size(), 3u) << "one piece per write";

    // The stream is read back in odd pieces, with bytes behind its end.
    std::vector<uint8_t> input = packed.data;
    input.insert(input.end(), {'J', 'U', 'N', 'K'});
    TRecorder plain;
    THvoInflateStream inflate(plain, 4096);
    ASSERT_TRUE(inflate.Ready());
    int64_t taken = 0;
    for (size_t at = 0; at < input.size() && inflate.State() == THvoInflateStream::isOpen; at += 777) {
        const auto n = static_cast<int64_t>(std::min<size_t>(777, input.size() - at));
        taken += inflate.Write(input.data() + at, n);
    }
    EXPECT_EQ(inflate.State(), THvoInflateStream::isEnded);
    EXPECT_EQ(taken, static_cast<int64_t>(packed.data.size())) << "nothing behind the end is taken";
    EXPECT_TRUE(plain.data == data);
    for (const int64_t piece : plain.pieces) EXPECT_LE(piece, 4096);
}

TEST(CodecStages, InflateStopsAtDamagedDataAtItsHookAndAtANextThatRefuses)
{
    TRecorder packed;
    const std::vector<uint8_t> data = SampleData(5000);
    const auto size = static_cast<int64_t>(data.size());
    THvoDeflateStream(packed, 1, size).Write(data.data(), size);
    const std::vector<uint8_t> damaged(64, 0xFF);
    const struct {
        const char* name;
        const std::vector<uint8_t>& input;
        bool hookSaysNo;
        bool nextRefuses;
        THvoInflateStream::TState state;
        size_t written;
    } rows[] = {
        {"damaged data", damaged, false, false, THvoInflateStream::isDamaged, 0},
        {"the hook says no", packed.data, true, false, THvoInflateStream::isStopped, 0},
        {"next refuses", packed.data, false, true, THvoInflateStream::isStopped, 0},
        {"complete", packed.data, false, false, THvoInflateStream::isEnded, data.size()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TRecorder plain;
        plain.refusing = row.nextRefuses;
        int steps = 0;
        THvoInflateStream inflate(plain, 1024, [&] { return ++steps, !row.hookSaysNo; });
        inflate.Write(row.input.data(), static_cast<int64_t>(row.input.size()));
        EXPECT_EQ(inflate.State(), row.state);
        EXPECT_EQ(plain.data.size(), row.written);
        EXPECT_GE(steps, 1) << "the hook runs before the first step";
        EXPECT_EQ(inflate.Write(row.input.data(), 1), row.state == THvoInflateStream::isOpen ? 1 : 0)
            << "a stage that is no longer open takes nothing";
    }
}

TEST(CodecStages, CrcStageCountsPassesOnAndRefusesWhatPassesItsLimit)
{
    const std::vector<uint8_t> data = SampleData(11);
    TRecorder next;
    THvoCrcStream checked(&next, 10);
    EXPECT_EQ(checked.Write(data.data(), 6), 6);
    EXPECT_EQ(checked.Write(data.data() + 6, 5), 0);
    EXPECT_TRUE(checked.Overrun());
    EXPECT_EQ(checked.Count(), 6u);
    EXPECT_EQ(next.data.size(), 6u) << "nothing of a write past the limit is handed on";
    EXPECT_EQ(checked.Crc(), crc32(0, data.data(), 6));

    TRecorder refusing;
    refusing.refusing = true;
    THvoCrcStream refused(&refusing);
    EXPECT_EQ(refused.Write(data.data(), 4), 0);
    EXPECT_TRUE(refused.Refused());
    EXPECT_FALSE(refused.Overrun());
    EXPECT_EQ(refused.Count(), 0u);

    THvoCrcStream summing(nullptr);
    WriteInPieces(summing, data, 3);
    EXPECT_EQ(summing.Crc(), crc32(0, data.data(), static_cast<uInt>(data.size())));
    EXPECT_EQ(summing.Count(), data.size());
}

TEST(CodecStages, CipherStagesMeetAndAesAuthenticatesTheCipherText)
{
    const std::vector<uint8_t> data = SampleData(70000);
    const uint32_t crc = crc32(0, data.data(), static_cast<uInt>(data.size()));

    // Traditional: the header carries the CRC's high bytes; the keys run on across writes.
    TRecorder sealed;
    THvoTraditionalEncryptStream encrypt(sealed);
    std::vector<uint8_t> header = encrypt.Header("pw", crc);
    ASSERT_EQ(header.size(), static_cast<size_t>(kTraditionalHeaderSize));
    WriteInPieces(encrypt, data, 10001);
    EXPECT_FALSE(sealed.data == data);
    THvoZipKeys keys;
    keys.InitKeysAndDecryptHeader("pw", header.data());
    EXPECT_EQ(header[11], static_cast<uint8_t>(crc >> 24));
    TMemoryStream stored;
    stored.WriteBuffer(sealed.data.data(), static_cast<int64_t>(sealed.data.size()));
    stored.SetPosition(0);
    THvoTraditionalDecryptStream decrypt(stored, keys);
    std::vector<uint8_t> opened(data.size());
    EXPECT_EQ(decrypt.Read(opened.data(), static_cast<int64_t>(opened.size())), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(opened == data);

    // AES-256: salt and verifier before the cipher text, the code after it.
    TRecorder cipher;
    auto transform = std::make_unique<TAESCryptoTransform>(256, 2, 0);
    transform->SetDirection(THvoCryptoTransform::kEncrypt);
    THvoAesEncryptStream aesOut(cipher, std::move(transform));
    const std::vector<uint8_t> aesHeader = aesOut.Header("pw");
    WriteInPieces(aesOut, data, 4099);
    const std::vector<uint8_t> code = aesOut.Trailer();
    TDirItem entry;
    entry.AesStrength = 3;
    for (const bool flip : {false, true}) {
        SCOPED_TRACE(flip ? "a cipher byte flipped" : "as written");
        TMemoryStream archive;
        archive.WriteBuffer(aesHeader.data(), static_cast<int64_t>(aesHeader.size()));
        std::vector<uint8_t> body = cipher.data;
        if (flip) body[body.size() / 2] ^= 0x01;
        archive.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
        archive.WriteBuffer(code.data(), static_cast<int64_t>(code.size()));
        archive.SetPosition(0);
        auto reader = TAESCryptoTransform::ForEntry(entry);
        reader->SetPassword("pw");
        reader->ReadEncryptionHeader(archive, 0);
        ASSERT_TRUE(reader->CheckPassword("pw"));
        THvoAesDecryptStream aesIn(archive, std::move(reader));
        std::vector<uint8_t> plain(data.size());
        EXPECT_EQ(aesIn.Read(plain.data(), static_cast<int64_t>(plain.size())), static_cast<int64_t>(data.size()));
        EXPECT_EQ(plain == data, !flip);
        EXPECT_EQ(aesIn.Authentic(entry, crc), !flip);
    }
}

} // namespace
