#include "configurator/StrUtils.h"

#include <gtest/gtest.h>

#include <tuple>

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

} // namespace
