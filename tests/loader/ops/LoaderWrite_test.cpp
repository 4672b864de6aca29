// The pure rules of the write operations: the scheme version found in the host's
// blocks, when the firmware's version asks a question, and where parameters may lie
// beside the program.

#include "loader/core/LoaderConnection.h"
#include "loader/ops/LoaderWrite.h"
#include "model/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Blocks made from (address, text) pairs.
class Blocks {
public:
    Blocks& Add(uint32_t address, const std::string& bytes)
    {
        auto block = TMemoryBlock::Make(address, static_cast<int32_t>(bytes.size()));
        std::memcpy(block->Data(), bytes.data(), bytes.size());
        owned_.push_back(std::move(block));
        return *this;
    }
    std::vector<const TMemoryBlock*> Sorted() const
    {
        TBlockList list;
        for (const auto& b : owned_) list.AddBlock(b.get());
        return SortedBlocks(&list);
    }

private:
    std::vector<std::unique_ptr<TMemoryBlock>> owned_;
};

TEST(SchemeVersion, FoundInTheBlocksLaidOutFlat)
{
    struct Case {
        const char* name;
        Blocks blocks;
        const char* version;
    };
    std::vector<Case> cases;
    cases.push_back({"one block", std::move(Blocks().Add(0x100, std::string("xxScheme ID:3.1\0yy", 18))), "3.1"});
    cases.push_back({"across two adjacent blocks",
                     std::move(Blocks().Add(0x10A, std::string("D:3.1\0", 6)).Add(0x100, "xxScheme I")), "3.1"});
    cases.push_back({"a gap right after the text", std::move(Blocks().Add(0x100, "Scheme ID:3.").Add(0x120, "7")), "3."});
    // An earlier block that ends after the last one: the span reaches its end.
    cases.push_back({"earlier block ends last",
                     std::move(Blocks().Add(0x100, std::string(0x200, 'z') + "Scheme ID:4.2").Add(0x180, "ab")), "4.2"});
    cases.push_back({"no marker", std::move(Blocks().Add(0x100, "Scheme 3.1")), ""});
    cases.push_back({"marker and digit at the very end", std::move(Blocks().Add(0x10, "Scheme ID:8")), "8"});
    cases.push_back({"no blocks", Blocks(), ""});
    for (const Case& c : cases) EXPECT_EQ(GetSchemeVersion(c.blocks.Sorted()), c.version) << c.name;
}

TEST(SchemeVersion, SortedCopyIsUnsignedAscendingAndLeavesTheListAlone)
{
    auto high = TMemoryBlock::Make(0x80000000, 1);
    auto low = TMemoryBlock::Make(0x10, 1);
    auto mid = TMemoryBlock::Make(0x7FFFFFFF, 1);
    TBlockList list;
    list.AddBlock(high.get());
    list.AddBlock(low.get());
    list.AddBlock(mid.get());
    const auto sorted = SortedBlocks(&list);
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0], low.get());
    EXPECT_EQ(sorted[1], mid.get());
    EXPECT_EQ(sorted[2], high.get());
    EXPECT_EQ(list.Block(0), high.get());
    EXPECT_TRUE(SortedBlocks(nullptr).empty());
}

TEST(FirmwareVersion, DifferenceAsksTheUser)
{
    const struct {
        const char* params;
        const char* firmware;
        bool asks;
    } cases[] = {
        {"3.1", "3.1.7", false}, {"3.1", "3.2", true},     {"4.2", "4", true}, // padded to 4.0
        {"4", "4.7", false},     {"12.0.0.0", "12.3", true}, {"03", "3", true}, // compared as text
        {"3.1", "", false},      {"", "3.2", false},
    };
    for (const auto& c : cases) EXPECT_EQ(FirmwareVersionDiffers(c.params, c.firmware), c.asks) << c.params << " / " << c.firmware;
}

std::string OverlapError(const TMemory& image, const Blocks& params, uint32_t base)
{
    try {
        CheckParamsOverlap(image, params.Sorted(), base);
    } catch (const ESarnupolex& e) {
        return e.what();
    }
    return {};
}

TEST(ParamsOverlap, TouchingTheLastProgramByteIsRefused)
{
    TMemory image;
    image.AddBlock(0x08010000, 0x100);
    image.AddBlock(0xFFFFFF00, 0x100); // ends at 4 GiB
    // A parameter block (relative to the base) that holds the program's last byte.
    EXPECT_EQ(OverlapError(image, Blocks().Add(0xFF, std::string(16, 'p')), 0x08010000),
              "Область памяти параметров пересекается с памятью программы.\rБлок программы: адрес 08010000, "
              "размер 256.\rБлок параметров: адрес 080100FF, размер 16");
    // Right after it, and right before it: accepted.
    EXPECT_EQ(OverlapError(image, Blocks().Add(0x100, std::string(16, 'p')), 0x08010000), "");
    EXPECT_EQ(OverlapError(image, Blocks().Add(0x08000000, std::string(0x10000, 'p')), 0), "");
    // Ranges ending at 0xFFFFFFFF do not wrap to low addresses.
    EXPECT_EQ(OverlapError(image, Blocks().Add(0xFFFFFE00, std::string(0x100, 'p')), 0), "");
    EXPECT_EQ(OverlapError(image, Blocks().Add(0x0, std::string(0x10, 'p')), 0), "");
    EXPECT_EQ(OverlapError(image, Blocks().Add(0xFFFFFFFF, "p"), 0),
              "Область памяти параметров пересекается с памятью программы.\rБлок программы: адрес FFFFFF00, "
              "размер 256.\rБлок параметров: адрес FFFFFFFF, размер 1");
}

} // namespace
