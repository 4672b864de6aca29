#include "configurator/core/StrUtils.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(StrUtils, PosFrom)
{
    const std::tuple<const char*, const char*, long long, size_t> cases[] = {
        {"ab", "xxabab", 4, 5},   // occurrences at 3 and 5
        {"ab", "xxabab", 1, 3},
        {"ab", "xxabab", 3, 3},
        {"ab", "xxabab", 6, 0},
        {"ab", "xxabab", 7, 0},   // beyond the end
        {"ab", "xxabab", 0, 3},   // below 1 counts as 1
        {"ab", "xxabab", -5, 3},
        {"", "xxabab", 1, 0},     // empty pattern
        {"ab", "", 1, 0},
        {",", ",a", 1, 1},
        {"я", "аяя", 3, 3},       // byte positions
        {"я", "аяя", 4, 5},
    };
    for (const auto& [pattern, text, start, expected] : cases)
        EXPECT_EQ(PosFrom(pattern, text, start), expected) << pattern << " in " << text << " from " << start;
}

struct SplitCase {
    const char* delimiter;
    const char* text;
    int expected;
    // Element texts; nullopt where the element keeps what it held.
    std::vector<std::optional<std::string>> parts;
};

TEST(StrUtils, SplitToVariants)
{
    const auto u = std::nullopt;
    const SplitCase cases[] = {
        {",", "a,b,c", -10, {"a", "b"}},
        {",", "a,b,c", 3, {"a", "b", "c"}},
        {",", "a,,b", 3, {"a", u, "b"}},
        {",", "a,", 1, {"a", u, u}},
        {",", ",a", 2, {u, "a", u}},
        {",", ",,", 2, {u, u, u}},
        {"::", "ab::cd::", 2, {"ab", "cd", u}},
        {"::", "ab:cd", 1, {"ab:cd", u}},
        {",", "", 0, {u, u}},
        {"", "abc", 1, {"abc", u}},
        {",", "a", -10, {}},
        {"\t", "1\t2,5\tтекст", 3, {"1", "2,5", "текст"}},
    };
    const Variant untouched(int32_t(-1));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " into " + std::to_string(c.parts.size()));
        std::vector<Variant> parts(c.parts.size(), untouched);
        EXPECT_EQ(SplitToVariants(c.delimiter, c.text, parts), c.expected);
        ASSERT_EQ(parts.size(), c.parts.size());
        for (size_t i = 0; i < parts.size(); ++i) {
            if (c.parts[i]) {
                EXPECT_TRUE(parts[i].IsString()) << i;
                EXPECT_EQ(parts[i].Str(), *c.parts[i]) << i;
            } else {
                EXPECT_EQ(parts[i].Kind(), VariantKind::Int32) << i;
            }
        }
    }
}

} // namespace
