#include "archive/HvoUnicodeInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Record(const char* signature, uint32_t length, std::initializer_list<uint16_t> units, size_t extra = 0)
{
    std::vector<uint8_t> out(signature, signature + 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    for (uint16_t u : units) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    out.resize(out.size() + extra);
    return out;
}

TEST(HvoUnicodeInfo, ReadsTheNameRecord)
{
    const struct {
        const char* what;
        std::vector<uint8_t> data;
        bool ok;
        const char* name; // expected name (the previous one when not ok)
    } rows[] = {
        {"valid", Record("NUCX", 4, {0x0416, 0x0443, 0x043A, 0x002E}), true, "Жук."},
        {"surrogate pair", Record("NUCX", 3, {0xD83D, 0xDE00, 0x0061}), true, "😀a"},
        {"unpaired surrogates", Record("NUCX", 3, {0xDC00, 0x0062, 0xD800}), true, "\xEF\xBF\xBD" "b" "\xEF\xBF\xBD"},
        {"trailing bytes after the name", Record("NUCX", 1, {0x0041}, 3), true, "A"},
        {"empty name", Record("NUCX", 0, {}), true, ""},
        {"wrong signature", Record("NUCY", 1, {0x0041}), false, "old"},
        {"length beyond the block", Record("NUCX", 0x7FFFFFFF, {0x0041}), false, "old"},
        {"length one unit beyond", Record("NUCX", 2, {0x0041}, 1), false, "old"},
        {"header cut short", std::vector<uint8_t>{'N', 'U', 'C', 'X', 1, 0}, false, "old"},
        {"nothing", std::vector<uint8_t>{}, false, "old"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TUnicodeExtendedInfo info;
        info.UnicodeName = "old";
        EXPECT_EQ(info.ReadFromBuffer(row.data.data(), row.data.size()), row.ok);
        EXPECT_EQ(info.UnicodeName, row.name);
        if (row.data.size() >= 4) {
            uint32_t signature;
            std::memcpy(&signature, row.data.data(), 4);
            EXPECT_EQ(info.RecordSignature, signature);
        }
    }
}

TEST(HvoUnicodeInfo, ReadsFromTheStartOfAStream)
{
    const std::vector<uint8_t> data = Record("NUCX", 1, {0x044F});
    TMemoryStream stream;
    stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    TUnicodeExtendedInfo info;
    EXPECT_TRUE(info.ReadFromStream(stream));
    EXPECT_EQ(info.UnicodeName, "я");
    EXPECT_EQ(info.RecordSignature, TUnicodeExtendedInfo::kSignature);
}

TEST(HvoNullStream, SwallowsEverything)
{
    TNullStream null;
    uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(null.Read(buffer, 8), 8);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[7], 8);
    EXPECT_EQ(null.Write(buffer, 5), 5);
    EXPECT_EQ(null.Seek(100, TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(null.Seek(-3, TSeekOrigin::soEnd), 0);
    null.SetSize(1000);
    EXPECT_EQ(null.Size(), 0);
    EXPECT_EQ(null.Position(), 0);
    null.WriteBuffer(buffer, 8);
    null.ReadBuffer(buffer, 8);
}

} // namespace
