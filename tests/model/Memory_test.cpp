#include "model/Memory.h"
#include "platform/Exceptions.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// n bytes counting up from first.
Bytes Count(uint8_t first, size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

// Bytes with every hex digit in both places, so letter case shows.
Bytes Mixed(size_t n, unsigned salt = 0)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + 11 + salt);
    return b;
}

// A record line (without line end) from its bytes; the checksum is appended.
std::string Raw(const Bytes& bytes)
{
    std::string s = ":";
    unsigned sum = 0;
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        s += pair;
        sum += b;
    }
    std::snprintf(pair, sizeof pair, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return s + pair;
}

std::string Rec(uint8_t type, uint16_t address, const Bytes& data)
{
    Bytes b = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
               type};
    b.insert(b.end(), data.begin(), data.end());
    return Raw(b);
}

std::string Lines(const std::vector<std::string>& lines, const char* end = "\r\n")
{
    std::string s;
    for (const auto& l : lines) s += l + end;
    return s;
}

struct Block {
    uint32_t address;
    Bytes bytes;
    bool operator==(const Block&) const = default;
};

std::vector<Block> BlocksOf(const TMemory& m)
{
    std::vector<Block> out;
    for (int i = 0; i < m.BlockCount(); ++i) {
        const TMemoryBlock* b = m.BlockByIndex(i);
        out.push_back({b->Address, Bytes(b->Data(), b->Data() + b->Size)});
    }
    return out;
}

void PrintTo(const Block& b, std::ostream* os)
{
    *os << std::hex << "{0x" << b.address << ", " << std::dec << b.bytes.size() << " bytes}";
}

std::string SaveText(const TMemory& m, bool linear, uint32_t base, int recordLength)
{
    std::ostringstream out(std::ios::binary);
    m.SaveToHexStream(out, linear, base, recordLength);
    return out.str();
}

// Every byte of want's blocks must read back the same from got.
void ExpectSameBytes(const TMemory& want, TMemory& got)
{
    for (int i = 0; i < want.BlockCount(); ++i) {
        const TMemoryBlock* b = want.BlockByIndex(i);
        Bytes read(static_cast<size_t>(b->Size));
        ASSERT_TRUE(got.CopyRange(b->Address, read, false)) << std::hex << "block at 0x" << b->Address;
        ASSERT_EQ(read, Bytes(b->Data(), b->Data() + b->Size)) << std::hex << "block at 0x" << b->Address;
    }
}

// ------------------------------------------------------------------------------------
// Reader

struct ReaderCase {
    const char* name;
    std::string text;
    uint32_t base;
    std::vector<Block> blocks; // also the blocks that stay when the reading fails
    std::string error;         // empty: no error
    bool conversion = false;   // the error is a conversion error
};

TEST(HexReader, FixturesGiveBlocksOrTheExactMessage)
{
    const std::string eof = ":00000001FF";
    const ReaderCase cases[] = {
        {"records in file order, one block each",
         Lines({Rec(0, 0x0000, Count(0, 16)), Rec(0, 0x0010, Count(16, 16)), eof}), 0,
         {{0x00, Count(0, 16)}, {0x10, Count(16, 16)}}, ""},
        {"duplicate records stay two blocks", Lines({Rec(0, 0x20, {1, 2}), Rec(0, 0x20, {3, 4})}), 0,
         {{0x20, {1, 2}}, {0x20, {3, 4}}}, ""},
        {"the end record stops the reading", Lines({Rec(0, 0, {7}), eof, Rec(0, 0x10, {8}), ":zz"}), 0,
         {{0, {7}}}, ""},
        {"a line of the colon alone is short", Lines({":"}), 0, {}, "Слишком короткая строка 1"},
        {"the checksum is tested before the length", Lines({":010203"}), 0, {},
         "Неверная контрольная сумма в строке 1"},
        {"skipped lines count in line numbers", Lines({"", "; comment", ":00000001FE"}, "\n"), 0, {},
         "Неверная контрольная сумма в строке 3"},
        {"segment address", Lines({":020000021000EC", Rec(0, 0x0010, {0xAA})}), 0, {{0x10010, {0xAA}}}, ""},
        {"segment records do not wrap at 64 KiB", Lines({":020000021000EC", Rec(0, 0xFFF8, Count(0, 16))}), 0,
         {{0x1FFF8, Count(0, 16)}}, ""},
        {"linear address", Lines({":020000040800F2", Rec(0, 0x0010, {0xAB})}), 0, {{0x08000010, {0xAB}}}, ""},
        {"base crops and drops records",
         Lines({Rec(0, 0x100, Count(0, 16)), Rec(0, 0x0F0, Count(0, 16)), Rec(0, 0x0F8, Count(0, 16)), Rec(0, 0x200, {1})}),
         0x108, {{0, Count(8, 8)}, {0xF8, {1}}}, ""},
        {"CR line ends and a lone last character",
         Rec(0, 0x10, {1, 2}) + "\r" + Rec(0, 0x20, {3}) + "0\r\r" + Rec(0, 0x30, {4}), 0,
         {{0x10, {1, 2}}, {0x20, {3}}, {0x30, {4}}}, ""},
        {"other record types are ignored",
         Lines({Rec(3, 0, {0, 0, 0, 0}), Rec(5, 0, {0, 0, 0, 0}), Rec(0, 0x40, {9})}), 0, {{0x40, {9}}}, ""},
        {"an empty data record adds nothing", Lines({Rec(0, 0x40, {})}), 0, {}, ""},
        {"a record of 255 bytes", Lines({Rec(0, 0x100, Mixed(255))}), 0, {{0x100, Mixed(255)}}, ""},
        {"a count larger than the line", Lines({Rec(0, 0x10, {1}), Raw({0x10, 0, 0, 0, 1, 2, 3, 4})}), 0,
         {{0x10, {1}}}, "Слишком короткая строка 2"},
        {"a segment record without its value", Lines({":00000002FE"}), 0, {}, "Слишком короткая строка 1"},
        {"a linear record with half its value", Lines({Raw({1, 0, 0, 4, 0x08})}), 0, {},
         "Слишком короткая строка 1"},
        {"a byte-order mark is dropped", "\xEF\xBB\xBF" + Lines({":020000040800F2", Rec(0, 0x10, {5})}), 0,
         {{0x08000010, {5}}}, ""},
        {"a pair that is not hexadecimal", Lines({Rec(0, 0, {6}), ":zz00"}), 0, {{0, {6}}},
         "'zz' is not a valid integer value", true},
        {"a record that ends at 4 GiB", Lines({":02000004FFFFFC", Rec(0, 0xFFF0, Count(0, 16))}), 0,
         {{0xFFFFFFF0, Count(0, 16)}}, ""},
        {"a record past 4 GiB", Lines({":02000004FFFFFC", Rec(0, 0xFFE0, {1}), Rec(0, 0xFFF0, Count(0, 32))}), 0,
         {{0xFFFFFFE0, {1}}}, "Запись в строке 3 выходит за пределы 4 ГБ"},
        {"a record past 4 GiB is refused also below the base",
         Lines({":02000004FFFFFC", Rec(0, 0xFFFF, {1, 2})}), 0xFFFFFFFF, {}, "Запись в строке 2 выходит за пределы 4 ГБ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemory m;
        std::istringstream in(c.text, std::ios::binary);
        std::string error;
        bool conversion = false;
        try {
            m.LoadFromHexStream(in, c.base);
        } catch (const platform::EConvertError& e) {
            error = e.what();
            conversion = true;
        } catch (const platform::Exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(conversion, c.conversion);
        EXPECT_EQ(BlocksOf(m), c.blocks);
    }
}

TEST(HexReader, StartsAtTheStreamPositionAndDuplicatesResolveToTheEarlier)
{
    const std::string first = Rec(0, 0x10, {1, 2, 3, 4}) + "\r\n";
    std::istringstream in("skipped by the caller\n" + first + Lines({Rec(0, 0x12, {9, 9}), ":00000001FF"}),
                          std::ios::binary);
    std::string ignored;
    std::getline(in, ignored);
    TMemory m;
    m.LoadFromHexStream(in, 0);
    ASSERT_EQ(m.BlockCount(), 2);

    Bytes got(4);
    EXPECT_TRUE(m.CopyRange(0x10, got, false));
    EXPECT_EQ(got, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(m.FindBlock(0x12), m.BlockByIndex(0));
}

// Hands out a text in pieces and cannot seek, as a pipe does.
class PipeBuf : public std::streambuf {
public:
    explicit PipeBuf(std::string text) : text_(std::move(text)) {}

protected:
    int_type underflow() override
    {
        if (at_ == text_.size()) return traits_type::eof();
        const size_t n = std::min<size_t>(4093, text_.size() - at_);
        setg(text_.data() + at_, text_.data() + at_, text_.data() + at_ + n);
        at_ += n;
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string text_;
    size_t at_ = 0;
};

// The reader takes a long text piece by piece: lines, CR LF pairs and an overlong line
// that cross the pieces read the same as from a stream that holds the whole text.
TEST(HexReader, TextReadInPiecesReadsLikeOneWhole)
{
    // Records of 45 characters past the first 256 KiB; the padding of the first line moves
    // every line end, so that one of them is split between two pieces.
    std::string records;
    for (uint32_t i = 0; i < 7000; ++i) records += Rec(0, static_cast<uint16_t>(i * 16), Mixed(16, i)) + "\r\n";
    const std::string tail = Lines({std::string(300000, ';'), // longer than the reader's window
                                    Rec(0, 0x10, {1}), ":0000000000", ":00000001FE"});
    for (size_t pad = 0; pad < 45; ++pad) {
        SCOPED_TRACE(pad);
        const std::string text = "; " + std::string(pad, '-') + "\r\n" + records + tail;

        TMemory whole, piecewise;
        std::string wholeError, pieceError;
        std::istringstream in(text, std::ios::binary);
        try {
            whole.LoadFromHexStream(in, 0);
        } catch (const platform::Exception& e) {
            wholeError = e.what();
        }
        PipeBuf pipe(text);
        std::istream piped(&pipe);
        try {
            piecewise.LoadFromHexStream(piped, 0);
        } catch (const platform::Exception& e) {
            pieceError = e.what();
        }
        EXPECT_EQ(wholeError, "Неверная контрольная сумма в строке 7005");
        EXPECT_EQ(pieceError, wholeError);
        ASSERT_EQ(whole.BlockCount(), 7001);
        EXPECT_EQ(BlocksOf(piecewise), BlocksOf(whole));
        EXPECT_EQ(BlocksOf(whole)[6999], (Block{(6999 * 16) & 0xFFFF, Mixed(16, 6999)}));
    }
}

// ------------------------------------------------------------------------------------
// Writer

struct WriterCase {
    const char* name;
    std::vector<Block> blocks;
    bool linear;
    uint32_t base;
    int recordLength;
    std::vector<std::string> lines;
};

TEST(HexWriter, WritesTheExactText)
{
    const Bytes b84 = Mixed(84), b16 = Mixed(16), b32 = Mixed(32), b300 = Mixed(300), b2 = Mixed(2);
    auto part = [](const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); };
    const std::string eof = ":00000001FF";
    const WriterCase cases[] = {
        {"linear base with an 84-byte block",
         {{0, b84}}, false, 0x08004000, 16,
         {":020000040800F2", Rec(0, 0x4000, part(b84, 0, 16)), Rec(0, 0x4010, part(b84, 16, 16)),
          Rec(0, 0x4020, part(b84, 32, 16)), Rec(0, 0x4030, part(b84, 48, 16)), Rec(0, 0x4040, part(b84, 64, 16)),
          Rec(0, 0x4050, part(b84, 80, 4)), eof}},
        {"the linear flag's first record", {{0, b2}}, true, 0, 16,
         {":0200000480007A", ":020000020000FC", Rec(0, 0, b2), eof}},
        {"one extended record for blocks of one window", {{0x08000000, b2}, {0x08000100, b2}}, false, 0, 16,
         {":020000040800F2", Rec(0, 0, b2), Rec(0, 0x100, b2), eof}},
        {"segment records split at the 64 KiB boundary", {{0xFFF8, b16}}, false, 0, 16,
         {Rec(0, 0xFFF8, part(b16, 0, 8)), ":020000021000EC", Rec(0, 0, part(b16, 8, 8)), eof}},
        {"a block crossing 1 MiB in segment mode goes on linearly", {{0xFFFF0, b32}}, false, 0, 16,
         {":02000002F0000C", Rec(0, 0xFFF0, part(b32, 0, 16)), ":020000040010EA", Rec(0, 0, part(b32, 16, 16)), eof}},
        {"a record straddling 1 MiB in segment mode is split", {{0xFFFF8, b16}}, false, 0, 16,
         {":02000002F0000C", Rec(0, 0xFFF8, part(b16, 0, 8)), ":020000040010EA", Rec(0, 0, part(b16, 8, 8)), eof}},
        {"linear records are not split", {{0x0810FFF8, b16}}, false, 0, 16,
         {":020000040810E2", Rec(0, 0xFFF8, b16), eof}},
        {"record length 0 writes at most 255 bytes", {{0x10, b300}}, false, 0, 0,
         {Rec(0, 0x10, part(b300, 0, 255)), Rec(0, 0x10F, part(b300, 255, 45)), eof}},
        {"record length above 255 writes at most 255 bytes", {{0x10, b300}}, false, 0, 300,
         {Rec(0, 0x10, part(b300, 0, 255)), Rec(0, 0x10F, part(b300, 255, 45)), eof}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemory m;
        for (const auto& b : c.blocks)
            std::copy(b.bytes.begin(), b.bytes.end(), m.AddBlock(b.address, static_cast<int32_t>(b.bytes.size()))->Data());
        EXPECT_EQ(SaveText(m, c.linear, c.base, c.recordLength), Lines(c.lines));
    }
}

TEST(HexWriter, BlocksPastFourGiBAreRefusedBeforeAnythingIsWritten)
{
    const struct {
        uint32_t address;
        int32_t size;
        uint32_t base;
        const char* error; // empty: written and read back
    } cases[] = {
        {0xFFFFFFF0, 16, 0, ""},
        {0xFFFFFFF0, 32, 0, "Блок данных FFFFFFF0 - 100000010 выходит за пределы 4 ГБ"},
        {0xF7FFC000, 16, 0x08004000, "Блок данных 100000000 - 100000010 выходит за пределы 4 ГБ"},
        {0xF7FFBFF8, 16, 0x08004000, "Блок данных FFFFFFF8 - 100000008 выходит за пределы 4 ГБ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        TMemory m;
        m.AddBlock(0x100, 4);
        const Bytes bytes = Mixed(static_cast<size_t>(c.size));
        std::copy(bytes.begin(), bytes.end(), m.AddBlock(c.address, c.size)->Data());
        std::ostringstream out(std::ios::binary);
        std::string error;
        try {
            m.SaveToHexStream(out, false, c.base, 16);
        } catch (const platform::Exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        if (*c.error) {
            EXPECT_EQ(out.str(), "");
            continue;
        }
        TMemory back;
        std::istringstream in(out.str(), std::ios::binary);
        back.LoadFromHexStream(in, c.base);
        ExpectSameBytes(m, back);
    }
}

TEST(HexWriter, WindowChangeInsideABlock)
{
    const struct {
        uint32_t base;
        const char* first;  // the extended record before the block, if any
        const char* change; // the extended record after the record at 0xFFF0
    } cases[] = {{0, nullptr, ":020000021000EC"}, {0x08000000, ":020000040800F2", ":020000040801F1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        TMemory m;
        TMemoryBlock* b = m.AddBlock(0x1000, 0x10010);
        const Bytes bytes = Mixed(0x10010);
        std::copy(bytes.begin(), bytes.end(), b->Data());
        const std::string text = SaveText(m, false, c.base, 16);

        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) {
            ASSERT_FALSE(l.empty());
            ASSERT_EQ(l.back(), '\r');
            l.pop_back();
            lines.push_back(l);
        }
        const size_t ext = c.first ? 1 : 0;
        if (c.first) {
            EXPECT_EQ(lines[0], c.first);
        }
        EXPECT_EQ(lines[ext], Rec(0, 0x1000, Bytes(bytes.begin(), bytes.begin() + 16)));
        const auto change = std::find(lines.begin(), lines.end(), c.change);
        ASSERT_NE(change, lines.end());
        EXPECT_EQ(change - lines.begin(), static_cast<long>(ext + 0xF00));
        EXPECT_EQ(change[-1].substr(0, 9), ":10FFF000");
        EXPECT_EQ(change[1].substr(0, 9), ":10000000");
        EXPECT_EQ(lines.size(), ext + 0x1001 + 1 + 1);
        EXPECT_EQ(lines.back(), ":00000001FF");

        TMemory back;
        std::istringstream again(text, std::ios::binary);
        back.LoadFromHexStream(again, c.base);
        ExpectSameBytes(m, back);
    }
}

TEST(HexWriter, SeededRoundTripAroundWindowAndMegabyteBoundaries)
{
    std::mt19937 random(1101);
    const uint32_t anchors[] = {0x0, 0xFFF0, 0x1FFE3, 0x7FFFF, 0xFFF00, 0xFFFFD, 0x100000, 0x10FFF1, 0x0800FFFA};
    TMemory m;
    uint32_t floor = 0;
    for (uint32_t anchor : anchors) {
        // Blocks do not overlap, so every address has one value.
        const uint32_t start = std::max(floor, anchor - std::min<uint32_t>(anchor, random() % 40));
        const int32_t size = 1 + static_cast<int32_t>(random() % 700);
        TMemoryBlock* b = m.AddBlock(start, size);
        for (int32_t i = 0; i < size; ++i) b->Data()[i] = static_cast<uint8_t>(random());
        floor = start + static_cast<uint32_t>(size);
    }
    for (bool linear : {false, true})
        for (int length : {16, 7, 0, 255}) {
            SCOPED_TRACE(testing::Message() << "linear " << linear << ", record length " << length);
            TMemory back;
            std::istringstream in(SaveText(m, linear, 0, length), std::ios::binary);
            back.LoadFromHexStream(in, 0);
            ExpectSameBytes(m, back);
        }
}

TEST(HexFiles, SaveAndLoadThroughFiles)
{
    testsupport::TempDir dir;
    TMemory m;
    const Bytes bytes = Mixed(40);
    std::copy(bytes.begin(), bytes.end(), m.AddBlock(0x08000000, 40)->Data());
    m.SaveToHexFile(dir / "image.hex", false, 0, 16);
    TMemory back;
    back.LoadFromHexFile(dir / "image.hex");
    ExpectSameBytes(m, back);

    try {
        m.SaveToHexFile(dir / "missing" / "image.hex", false, 0, 16);
        ADD_FAILURE() << "no error";
    } catch (const platform::EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
    }
    EXPECT_THROW(back.LoadFromHexFile(dir / "missing.hex"), platform::EFOpenError);
}

// ------------------------------------------------------------------------------------
// Search, copy, blocks

TEST(FindPatternTest, AgreesWithStdSearch)
{
    std::mt19937 random(4242);
    for (int round = 0; round < 300; ++round) {
        const size_t textLength = 1 + random() % 3000;
        const unsigned alphabet = 2 + random() % 3; // small alphabets give many partial matches
        Bytes text(textLength);
        for (auto& b : text) b = static_cast<uint8_t>(0xFE + random() % alphabet);
        const size_t patternLength = 1 + round % 300;
        Bytes pattern(patternLength);
        if (random() % 2 && patternLength <= textLength) {
            const size_t at = random() % (textLength - patternLength + 1);
            std::copy_n(text.begin() + static_cast<long>(at), patternLength, pattern.begin());
        } else {
            for (auto& b : pattern) b = static_cast<uint8_t>(0xFE + random() % alphabet);
        }
        const auto found = std::search(text.begin(), text.end(), pattern.begin(), pattern.end());
        const int64_t want =
            found == text.end() ? -1 : static_cast<int64_t>(found - text.begin() + static_cast<long>(patternLength) - 1);
        ASSERT_EQ(FindPattern(pattern.data(), text.data(), patternLength, textLength), want)
            << "round " << round << ", pattern " << patternLength << ", text " << textLength;
    }
    const uint8_t any = 0;
    EXPECT_EQ(FindPattern(&any, &any, 0, 1), -1);
}

TEST(SearchPatternTest, Cases)
{
    const std::string key = "Scheme ID:";
    const Bytes pattern(key.begin(), key.end());
    const std::string tail = "Scheme ID:8.0.0.0";

    // Unsorted list: the block with the key comes first but lies last; a gap of zeros
    // lies between the other two.
    TMemory m;
    std::copy(tail.begin(), tail.end(), m.AddBlock(0x100, static_cast<int32_t>(tail.size()))->Data());
    m.AddBlock(0x10, 4)->Data()[3] = 'S';
    m.AddBlock(0x20, 2)->Data()[0] = 'c';

    struct {
        const char* name;
        Bytes pattern;
        int64_t count;
        std::optional<Bytes> result;
    } cases[] = {
        {"all the rest", pattern, -1, Bytes{'8', '.', '0', '.', '0', '.', '0'}},
        {"a few bytes", pattern, 3, Bytes{'8', '.', '0'}},
        {"too many bytes", pattern, 8, std::nullopt},
        {"the gap reads as zeros", Bytes{'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'c'}, 2, Bytes{0, 0}},
        {"missing pattern", Bytes{'x'}, -1, std::nullopt},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t count = c.count;
        const auto result = m.SearchPattern(c.pattern, count);
        EXPECT_EQ(result, c.result);
        if (result) {
            EXPECT_EQ(count, static_cast<int64_t>(result->size()));
        }
    }
    TMemory empty;
    int64_t count = -1;
    EXPECT_EQ(empty.SearchPattern(pattern, count), std::nullopt);
}

TEST(CopyRangeTest, Cases)
{
    TMemory m;
    std::copy_n(Count(0, 8).begin(), 8, m.AddBlock(0x100, 8)->Data());
    std::copy_n(Count(8, 8).begin(), 8, m.AddBlock(0x108, 8)->Data());
    std::copy_n(Count(0x20, 4).begin(), 4, m.AddBlock(0x120, 4)->Data());

    Bytes out(16);
    EXPECT_TRUE(m.CopyRange(0x100, out, false)) << "adjacent blocks";
    EXPECT_EQ(out, Count(0, 16));

    Bytes gap(0x24, 0xEE);
    EXPECT_FALSE(m.CopyRange(0x100, gap, false)) << "a gap";
    EXPECT_EQ(Bytes(gap.begin(), gap.begin() + 16), Count(0, 16));
    EXPECT_EQ(gap[16], 0xEE);

    EXPECT_TRUE(m.CopyRange(0x5000, std::span<uint8_t>(), false)) << "count 0";

    Bytes in = {0xA1, 0xA2, 0xA3, 0xA4};
    EXPECT_TRUE(m.CopyRange(0x106, in, true)) << "into the image across a block end";
    Bytes back(4);
    EXPECT_TRUE(m.CopyRange(0x106, back, false));
    EXPECT_EQ(back, in);
    EXPECT_EQ(m.BlockByIndex(0)->Data()[5], 5);
    EXPECT_EQ(m.BlockByIndex(1)->Data()[2], 10);
}

// Overlapping blocks in every order: each byte comes from the block FindBlock names, and
// a range copies what byte-by-byte copies give.
TEST(CopyRangeTest, OverlapsTakeTheFirstBlockInListOrder)
{
    std::mt19937 random(1101);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        TMemory m;
        const int blocks = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < blocks; ++i) {
            TMemoryBlock* b = m.AddBlock(0x100 + random() % 48, static_cast<int32_t>(random() % 24));
            for (int32_t k = 0; k < b->Size; ++k) b->Data()[k] = static_cast<uint8_t>(random());
        }
        const uint32_t from = 0x100 + random() % 56;
        Bytes got(random() % 24, 0xEE);
        const bool all = m.CopyRange(from, got, false);

        Bytes want(got.size(), 0xEE);
        bool covered = true;
        for (size_t k = 0; k < want.size() && covered; ++k) {
            const uint32_t a = from + static_cast<uint32_t>(k);
            const TMemoryBlock* b = m.FindBlock(a);
            covered = b != nullptr;
            if (b) want[k] = b->Data()[a - b->Address];
        }
        EXPECT_EQ(all, covered);
        EXPECT_EQ(got, want);
    }
}

TEST(FindBlockTest, EmptyBlocksAndTheTopOfTheAddressSpace)
{
    TMemory m;
    TMemoryBlock* empty = m.AddBlock(0, 0);
    TMemoryBlock* top = m.AddBlock(0xFFFFFFF0u, 16);
    EXPECT_EQ(empty->Data(), nullptr);
    EXPECT_EQ(m.FindBlock(0), nullptr);
    EXPECT_EQ(m.FindBlock(0x1234), nullptr);
    EXPECT_EQ(m.FindBlock(0xFFFFFFEFu), nullptr);
    EXPECT_EQ(m.FindBlock(0xFFFFFFF0u), top);
    EXPECT_EQ(m.FindBlock(0xFFFFFFFFu), top);

    Bytes eight(8), nine(9);
    EXPECT_TRUE(m.CopyRange(0xFFFFFFF8u, eight, false));
    EXPECT_FALSE(m.CopyRange(0xFFFFFFF8u, nine, false)) << "no wrap to address 0";
    EXPECT_FALSE(m.CopyRange(0, eight, false));
}

TEST(MemoryBlocks, OrderIndexErrorsAndZeroFill)
{
    TMemory m;
    TMemoryBlock* late = m.AddBlock(0x300, 3);
    TMemoryBlock* a1 = m.AddBlock(0x100, 100);
    TMemoryBlock* a2 = m.AddBlock(0x100, 1);
    EXPECT_EQ(m.BlockByIndex(0), late) << "insertion order while not sorted";
    EXPECT_TRUE(std::all_of(a1->Data(), a1->Data() + 100, [](uint8_t b) { return b == 0; }));

    const uint8_t* bytes = a1->Data();
    m.SetSorted(true);
    EXPECT_EQ(a1->Data(), bytes) << "bytes never move";
    TMemoryBlock* a3 = m.AddBlock(0x100, 2);
    TMemoryBlock* low = m.AddBlock(0x0, 2);
    TMemoryBlock* high = m.AddBlock(0xFFFFFFFFu, 1);
    const TMemoryBlock* want[] = {low, a1, a2, a3, late, high};
    ASSERT_EQ(m.BlockCount(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.BlockByIndex(i), want[i]) << i;

    for (int index : {-1, 6}) {
        try {
            m.BlockByIndex(index);
            ADD_FAILURE() << "no error for " << index;
        } catch (const platform::EListError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(index) + ")");
        }
    }
    m.ClearBlocks();
    EXPECT_EQ(m.BlockCount(), 0);
}

TEST(BlockListTest, BlocksAndTheModelCode)
{
    auto* list = new TBlockList;
    TMemoryBlock* own = new TMemoryBlock(0x40, 4);
    auto made = TMemoryBlock::Make(0x80, 8);
    list->AddBlock(own);
    list->AddBlock(made.get());
    EXPECT_EQ(list->Block(1)->Address, 0x80u);
    EXPECT_EQ(list->Block(0)->Data()[3], 0);
    EXPECT_THROW(list->Item(2), platform::EListError);
    list->Block(0)->Release();
    list->Delete(0);
    list->Clear();

    list->AddInteger(-1);
    list->AddInteger(16);
    EXPECT_EQ(list->Integer(0), -1);
    list->Delete(0);
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Integer(0), 16);
    list->Release();
}

} // namespace
