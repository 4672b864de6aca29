#include "platform/WideCase.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace platform;

namespace {

struct CaseRow {
    const char* text;
    const char* upper;
    const char* lower;
};

// Letters of several scripts; characters without a single-code-point mapping stay.
const CaseRow kCaseRows[] = {
    {"abc XYZ 019", "ABC XYZ 019", "abc xyz 019"},
    {"Привет, Мир ёЁ", "ПРИВЕТ, МИР ЁЁ", "привет, мир ёё"},
    {"αβγ ΔΕΖ", "ΑΒΓ ΔΕΖ", "αβγ δεζ"},
    {"éçñ ÀÖ", "ÉÇÑ ÀÖ", "éçñ àö"},
    {"straße", "STRAßE", "straße"},
    {"日本語", "日本語", "日本語"},
    {"", "", ""},
};

TEST(WideCase, MapsEachCodePointOfUtf8Text)
{
    for (const CaseRow& row : kCaseRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(UpperCaseUtf8(row.text), row.upper);
        EXPECT_EQ(LowerCaseUtf8(row.text), row.lower);
    }
    EXPECT_EQ(UpperCaseChar(U'я'), U'Я');
    EXPECT_EQ(LowerCaseChar(U'Ω'), U'ω');
    EXPECT_EQ(UpperCaseChar(0x10428), char32_t(0x10400)); // Deseret, outside the 16-bit range
}

TEST(WideCase, KeepsMalformedBytes)
{
    const std::string text = std::string("a\xC0\x80z\xE2\x82", 6);
    EXPECT_EQ(UpperCaseUtf8(text), std::string("A\xC0\x80Z\xE2\x82", 6));
}

TEST(WideCase, DoesNotDependOnTheProcessLocale)
{
    const std::string old = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const std::string upper = UpperCaseUtf8("ёлка");
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(upper, "ЁЛКА");
}

} // namespace
