// Our Intel HEX text against independent tools: python3-intelhex and srecord.

#include "model/Memory.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>

namespace {

using testsupport::RunCommand;

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

void RequireIntelHex()
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed (apt-get install python3-intelhex)";
}

void RequireSrecord()
{
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null && command -v srec_cmp >/dev/null"), 0)
        << "the Debian package srecord is needed (apt-get install srecord)";
}

// Seeded blocks that cross 64 KiB windows from unaligned starts, in segment and linear
// address ranges, and one that crosses 1 MiB in segment mode.
void FillImage(TMemory& m, uint32_t seed)
{
    std::mt19937 random(seed);
    const uint32_t starts[] = {0x0003, 0xFFE7, 0x1FFF5, 0x2FFF9, 0xFFFB3, 0x0800FFE1, 0x08020000};
    for (uint32_t start : starts) {
        const int32_t size = 60 + static_cast<int32_t>(random() % 200);
        TMemoryBlock* b = m.AddBlock(start, size);
        for (int32_t i = 0; i < size; ++i) b->Data()[i] = static_cast<uint8_t>(random());
    }
}

std::map<uint32_t, uint8_t> AddressMap(const TMemory& m)
{
    std::map<uint32_t, uint8_t> out;
    for (int i = 0; i < m.BlockCount(); ++i) {
        const TMemoryBlock* b = m.BlockByIndex(i);
        for (int32_t k = 0; k < b->Size; ++k) out[b->Address + static_cast<uint32_t>(k)] = b->Data()[k];
    }
    return out;
}

TEST(HexPeers, IntelHexReadsOurTextAsTheImage)
{
    ASSERT_NO_FATAL_FAILURE(RequireIntelHex());
    testsupport::TempDir dir;
    TMemory m;
    FillImage(m, 7);
    std::string expected;
    for (const auto& [address, value] : AddressMap(m)) expected += std::to_string(address) + " " + std::to_string(value) + "\n";

    for (bool linear : {false, true}) {
        SCOPED_TRACE(linear ? "linear" : "segment");
        m.SaveToHexFile(dir / "ours.hex", linear, 0, 16);
        std::string out;
        const int rc = RunCommand("/usr/bin/python3 -c 'import sys\n"
                                  "from intelhex import IntelHex\n"
                                  "d = IntelHex(sys.argv[1]).todict()\n"
                                  "for a in sorted(k for k in d if isinstance(k, int)): print(a, d[a])' " +
                                      Quote(dir / "ours.hex"),
                                  &out);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(out, expected);
    }
}

TEST(HexPeers, SrecCatConversionReadsBackToTheImage)
{
    ASSERT_NO_FATAL_FAILURE(RequireSrecord());
    testsupport::TempDir dir;
    TMemory m;
    FillImage(m, 11);
    for (bool linear : {false, true}) {
        SCOPED_TRACE(linear ? "linear" : "segment");
        m.SaveToHexFile(dir / "ours.hex", linear, 0, 16);
        ASSERT_EQ(RunCommand("srec_cat " + Quote(dir / "ours.hex") + " -intel -o " + Quote(dir / "theirs.hex") +
                             " -intel -obs=32"),
                  0);
        TMemory back;
        back.LoadFromHexFile(dir / "theirs.hex");
        EXPECT_EQ(AddressMap(back), AddressMap(m));
    }
}

TEST(HexPeers, SrecCmpAgreesOnTwoRecordLengths)
{
    ASSERT_NO_FATAL_FAILURE(RequireSrecord());
    testsupport::TempDir dir;
    TMemory m;
    FillImage(m, 13);
    m.SaveToHexFile(dir / "a.hex", false, 0, 16);
    m.SaveToHexFile(dir / "b.hex", false, 0, 0);
    const std::string compare = "srec_cmp " + Quote(dir / "a.hex") + " -intel " + Quote(dir / "b.hex") + " -intel";
    EXPECT_EQ(RunCommand(compare + " 2>&1"), 0);

    // The peer does see a change of one byte.
    m.BlockByIndex(3)->Data()[50] ^= 1;
    m.SaveToHexFile(dir / "b.hex", false, 0, 0);
    EXPECT_NE(RunCommand(compare + " >/dev/null 2>&1"), 0);
}

} // namespace
