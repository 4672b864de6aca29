#include "model/Variant.h"
#include "platform/DecimalSeparator.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

class VariantTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetDecimalSeparatorForTesting(','); }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(0); }
};

const char* OrderName(std::partial_ordering o)
{
    if (o == std::partial_ordering::less) return "less";
    if (o == std::partial_ordering::greater) return "greater";
    if (o == std::partial_ordering::equivalent) return "equal";
    return "unordered";
}

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::EConvertError& e) {
        return e.what();
    }
    return "(no error)";
}

// The text cases: formatting of floating values and reading numbers, with ',' as the
// user's separator. Run under the C locale and under the Russian one, whose own
// separator is also ','; neither may matter.
void CheckTextCases()
{
    struct Row {
        Variant value;
        const char* text;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {1e20, "1E20"},
        {1.5e-7, "1,5E-7"},
        {0.1f, "0,100000001490116"},
        {0.00001, "0,00001"},
        {0.0000099, "9,9E-6"},
        {123.456, "123,456"},
        {-0.5, "-0,5"},
        {1e15, "1E15"},
        {999999999999999.0, "999999999999999"},
        {100.0, "100"},
        {1.0 / 3, "0,333333333333333"},
        {2.0 / 3, "0,666666666666667"},
        {-1.25e-300, "-1,25E-300"},
        {0.0, "0"},
        {nan, "NAN"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {int32_t{-5}, "-5"},
        {uint32_t{0xFFFFFFFF}, "4294967295"},
        {int64_t{-9223372036854775807 - 1}, "-9223372036854775808"},
        {int8_t{-128}, "-128"},
        {true, "True"},
        {Variant(), ""},
        {"текст", "текст"},
    };
    for (const Row& r : rows) EXPECT_EQ(r.value.ToString(), r.text) << r.text;

    struct Parse {
        const char* text;
        std::optional<double> value;
    };
    const Parse parses[] = {
        {"1,5", 1.5},   {"1.5", 1.5},      {" -2,5E3 ", -2500.0}, {"+3", 3.0},   {",5", 0.5},
        {"1,5,", {}},   {"1,5.0", {}},     {"", {}},              {"nan", {}},   {"inf", {}},
        {"1e", {}},     {"0x10", {}},      {"12abc", {}},         {"--1", {}},   {"1 000", {}},
    };
    for (const Parse& p : parses) EXPECT_EQ(TryStrToFloat(p.text), p.value) << p.text;

    struct Fixed {
        double value;
        int decimals;
        const char* text;
    };
    const Fixed fixed[] = {
        {1.23456, 4, "1,2346"}, {0.1f, 4, "0,1000"},  {-1.5, 4, "-1,5000"}, {1e20, 2, "100000000000000000000,00"},
        {1234567.0, 4, "1234567,0000"}, {7.9, 0, "8"}, {7.9, -1, "8"}, {nan, 4, "NAN"},
    };
    for (const Fixed& f : fixed) EXPECT_EQ(FormatFixed(f.value, f.decimals), f.text) << f.text;

    EXPECT_EQ(Variant("2,5").ToDouble(), 2.5);
    EXPECT_EQ(Variant("3,5").ToInt32(), 4);
    EXPECT_TRUE(Variant("0,1").Equals(0.1));

    platform::SetDecimalSeparatorForTesting('.');
    EXPECT_EQ(Variant(1.5e-7).ToString(), "1.5E-7");
    EXPECT_EQ(Variant(-0.25).ToString(), "-0.25");
    EXPECT_EQ(FormatFixed(0.25, 4), "0.2500");
    EXPECT_EQ(TryStrToFloat("1,5"), std::nullopt);
    platform::SetDecimalSeparatorForTesting(',');
}

} // namespace

TEST_F(VariantTest, ComparesNumbersByValueAndTextsExactly)
{
    struct Row {
        Variant a, b;
        std::partial_ordering expected;
    };
    const Row rows[] = {
        {uint32_t{0xFFFFFFFF}, int64_t{0xFFFFFFFF}, std::partial_ordering::equivalent},
        {uint32_t{0xFFFFFFFF}, int64_t{-1}, std::partial_ordering::greater},
        {uint32_t{0xFFFFFFFF}, int32_t{-1}, std::partial_ordering::greater},
        // Exact in 64 bits: as doubles both would be 2^53.
        {int64_t{9007199254740993}, int64_t{9007199254740992}, std::partial_ordering::greater},
        {int64_t{9007199254740993}, 9007199254740992.0, std::partial_ordering::equivalent},
        {"12", int32_t{12}, std::partial_ordering::equivalent},
        {uint8_t{12}, "12", std::partial_ordering::equivalent},
        {"12,5", 12.5, std::partial_ordering::equivalent},
        {"9", int32_t{10}, std::partial_ordering::less},
        {"9", "10", std::partial_ordering::greater}, // two texts: not as numbers
        {"abc", "ABC", std::partial_ordering::greater},
        {"abc", "abc", std::partial_ordering::equivalent},
        {2.0, int16_t{2}, std::partial_ordering::equivalent},
        {2.5, int32_t{2}, std::partial_ordering::greater},
        {true, int32_t{1}, std::partial_ordering::equivalent},
        {false, 0.0, std::partial_ordering::equivalent},
        {Variant(), int32_t{0}, std::partial_ordering::equivalent},
        {Variant(), "", std::partial_ordering::equivalent},
        {Variant(), "a", std::partial_ordering::less},
        {Variant(), Variant(), std::partial_ordering::equivalent},
        {std::nan(""), std::nan(""), std::partial_ordering::unordered},
        {std::nan(""), int32_t{0}, std::partial_ordering::unordered},
    };
    for (const Row& r : rows) {
        EXPECT_STREQ(OrderName(r.a.CompareTo(r.b)), OrderName(r.expected)) << r.a.ToString() << " vs " << r.b.ToString();
        EXPECT_STREQ(OrderName(r.b.CompareTo(r.a)), OrderName(0 <=> r.expected)) << r.b.ToString() << " vs " << r.a.ToString();
    }

    EXPECT_EQ(ErrorOf([] { (void)Variant("x").CompareTo(int32_t{1}); }),
              "Could not convert variant of type (String) into type (Double)");
    EXPECT_EQ(ErrorOf([] { (void)Variant(1.0).Equals(""); }),
              "Could not convert variant of type (String) into type (Double)");
}

TEST_F(VariantTest, ConvertsToIntegersRoundingHalfToEven)
{
    struct Row {
        Variant value;
        int64_t expected; // when error is empty
        const char* error;
    };
    const Row toInt32[] = {
        {2.5, 2, ""},
        {3.5, 4, ""},
        {-2.5, -2, ""},
        {-3.5, -4, ""},
        {2.4999, 2, ""},
        {"7", 7, ""},
        {" -7 ", -7, ""},
        {"2,5", 2, ""},
        {"3.5", 4, ""},
        {"1E3", 1000, ""},
        {true, 1, ""},
        {Variant(), 0, ""},
        {uint16_t{65535}, 65535, ""},
        {int32_t{-2147483647 - 1}, -2147483647 - 1, ""},
        {2147483647.4, 2147483647, ""},
        {uint32_t{0xFFFFFFFF}, 0, "Could not convert variant of type (Cardinal) into type (Integer)"},
        {int64_t{2147483648}, 0, "Could not convert variant of type (Int64) into type (Integer)"},
        {2147483647.5, 0, "Could not convert variant of type (Double) into type (Integer)"},
        {-2147483649.0, 0, "Could not convert variant of type (Double) into type (Integer)"},
        {std::nan(""), 0, "Could not convert variant of type (Double) into type (Integer)"},
        {"2147483648", 0, "Could not convert variant of type (String) into type (Integer)"},
        {"x", 0, "Could not convert variant of type (String) into type (Integer)"},
        {"", 0, "Could not convert variant of type (String) into type (Integer)"},
    };
    for (const Row& r : toInt32) {
        if (*r.error)
            EXPECT_EQ(ErrorOf([&] { (void)r.value.ToInt32(); }), r.error) << r.value.ToString();
        else
            EXPECT_EQ(r.value.ToInt32(), r.expected) << r.value.ToString();
    }

    const Row toInt64[] = {
        {uint32_t{0xFFFFFFFF}, 0xFFFFFFFF, ""},
        {"9223372036854775807", 9223372036854775807, ""},
        {-0.5, 0, ""},
        {1e19, 0, "Could not convert variant of type (Double) into type (Int64)"},
        {"1E19", 0, "Could not convert variant of type (String) into type (Int64)"},
    };
    for (const Row& r : toInt64) {
        if (*r.error)
            EXPECT_EQ(ErrorOf([&] { (void)r.value.ToInt64(); }), r.error) << r.value.ToString();
        else
            EXPECT_EQ(r.value.ToInt64(), r.expected) << r.value.ToString();
    }

    EXPECT_EQ(Variant(0.1).ToSingle(), 0.1f);
    EXPECT_EQ(ErrorOf([] { (void)Variant(1e300).ToSingle(); }),
              "Could not convert variant of type (Double) into type (Single)");
    EXPECT_TRUE(std::isinf(Variant(std::numeric_limits<double>::infinity()).ToSingle()));
}

TEST_F(VariantTest, TextsFollowTheUserSeparator) { CheckTextCases(); }

TEST_F(VariantTest, TextsIgnoreTheProcessLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr)
        << "the ru_RU.UTF-8 locale is missing (package locales; localedef -i ru_RU -f UTF-8 ru_RU.UTF-8)";
    CheckTextCases();
    std::setlocale(LC_ALL, old.c_str());
}
