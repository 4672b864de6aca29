#include "model/uDocument.h"
#include "tests/support/LayoutAudit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using testsupport::LayoutProblems;
using testsupport::OverlayProblems;

namespace {

// A record whose layout comes from the test.
class TTestRecord : public TFieldLst {
public:
    using LayoutFn = std::function<void(TTestRecord&, TLayout&)>;
    void Build() override
    {
        TLayout l(*this);
        layout_(*this, l);
        l.Finish();
    }

protected:
    TTestRecord(TMemoryBlock* block, int32_t offset, LayoutFn layout) : TFieldLst(block, offset), layout_(layout) {}

private:
    LayoutFn layout_;
};

std::unique_ptr<TTestRecord> Record(TMemoryBlock& block, int32_t offset, TTestRecord::LayoutFn layout)
{
    return MakeList<TTestRecord>("r", &block, offset, std::move(layout));
}

} // namespace

// The audit is only worth something if it fails on the slips layouts make.
TEST(LayoutAudit, FindsTheSlipsOfALayout)
{
    TMemoryBlock block(0, 64);
    struct Row {
        const char* name;
        TTestRecord::LayoutFn layout;
        int32_t expectedSize;
        std::vector<std::string> problems;
    };
    const Row rows[] = {
        {"sound, with shared containers and reserved bytes",
         [](TTestRecord&, TLayout& l) {
             l.Bits(ftWord, {{"a", 0, 3, 0, false}, {"b", 3, 13, 0, false}});
             l.Skip(2);
             l.Field("c", ftByte, 0, false);
         },
         5, {}},
        {"wrong size", [](TTestRecord&, TLayout& l) { l.Field("a", ftWord, 0, false); }, 3, {"Size 2, expected 3"}},
        {"key twice, case ignored",
         [](TTestRecord&, TLayout& l) {
             l.Field("Addr", ftByte, 0, false);
             l.Field("ADDR", ftByte, 0, false);
         },
         2, {"\"r.ADDR\": key given twice (case ignored)"}},
        {"field outside the record",
         [](TTestRecord& r, TLayout& l) {
             l.Field("a", ftByte, 0, false);
             r.AddField("b", Make<TField>(r.Block, 1, ftWord, Variant(0), false));
         },
         1, {"\"r.b\": bytes 5..6 outside byte 4"}},
        {"overlapping fields",
         [](TTestRecord& r, TLayout& l) {
             l.Field("a", ftLongWord, 0, false);
             r.AddField("b", Make<TField>(r.Block, 2, ftWord, Variant(0), false));
         },
         4, {"\"r.a\" (bytes 4..7) overlaps \"r.b\" (bytes 6..7)"}},
        {"bits sharing a container overlap",
         [](TTestRecord&, TLayout& l) { l.Bits(ftByte, {{"a", 0, 4, 0, false}, {"b", 3, 2, 0, false}}); },
         1, {"\"r.a\" and \"r.b\" share bits of the container at 4"}},
        {"bits beyond the container",
         [](TTestRecord&, TLayout& l) { l.Bits(ftByte, {{"a", 6, 3, 0, false}}); },
         1, {"\"r.a\": bits 6..8 beyond a container of 1 bytes"}},
        {"bit field over a plain field",
         [](TTestRecord& r, TLayout& l) {
             l.Field("a", ftWord, 0, false);
             r.AddField("b", Make<TBitFleld>(r.Block, 1, ftByte, uint8_t{0}, uint8_t{1}, 0, false));
         },
         2, {"\"r.a\" (bytes 4..5) overlaps \"r.b\" (byte 5)"}},
        {"nested list with its own slip",
         [](TTestRecord&, TLayout& l) {
             l.Field("a", ftByte, 0, false);
             l.List<TTestRecord>("n", "n", TTestRecord::LayoutFn([](TTestRecord&, TLayout& m) {
                                     m.Field("x", ftByte, 0, false);
                                     m.Field("X", ftByte, 0, false);
                                 }));
         },
         3, {"\"r.n.X\": key given twice (case ignored)"}},
    };
    for (const Row& row : rows) {
        // Offsets in the findings are positions in the block.
        auto record = Record(block, 4, row.layout);
        EXPECT_EQ(LayoutProblems(*record, row.expectedSize), row.problems) << row.name;
    }
}

TEST(LayoutAudit, OverlayMustFitItsArea)
{
    TMemoryBlock block(0, 64);
    auto overlay = Record(block, 8, [](TTestRecord&, TLayout& l) {
        l.Field("a", ftWord, 0, false);
        l.Field("b", ftLongWord24, 0, false);
    });
    EXPECT_EQ(overlay->Size, 5);
    EXPECT_TRUE(OverlayProblems(*overlay, 8, 5).empty());
    EXPECT_TRUE(OverlayProblems(*overlay, 8, 8).empty());
    EXPECT_EQ(OverlayProblems(*overlay, 8, 4),
              (std::vector<std::string>{"the record (bytes 8..12) outside the area bytes 8..11",
                                        "\"r.b\": bytes 10..12 outside the area bytes 8..11"}));
    EXPECT_EQ(OverlayProblems(*overlay, 9, 8),
              (std::vector<std::string>{"the record (bytes 8..12) outside the area bytes 9..16",
                                        "\"r.a\": bytes 8..9 outside the area bytes 9..16"}));
}
