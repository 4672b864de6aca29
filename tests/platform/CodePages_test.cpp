#include "platform/CodePages.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {

std::string AllBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s;
}

// Characters of all 256 bytes as Debian's Python codecs give them, one hex code point per byte.
std::string OracleCodePoints(const char* codec)
{
    const std::string cmd = std::string("/usr/bin/python3 -c \"import sys\n"
                                        "out=[]\n"
                                        "for b in range(256):\n"
                                        "  try: out.append('%04X' % ord(bytes([b]).decode('") +
                            codec +
                            "')))\n"
                            "  except UnicodeDecodeError: out.append('----')\n"
                            "print(' '.join(out))\"";
    std::string out;
    const int rc = testsupport::RunCommand(cmd, &out);
    EXPECT_EQ(rc, 0) << "python3 with its codecs is needed (package python3)";
    return out;
}

std::string OursCodePoints(CodePage page)
{
    std::string out;
    char buf[8];
    for (int b = 0; b < 256; ++b) {
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(ByteToChar(static_cast<uint8_t>(b), page)));
        if (b) out += ' ';
        out += buf;
    }
    return out + "\n";
}

} // namespace

TEST(CodePages, AllBytesRoundTrip)
{
    const std::string bytes = AllBytes();
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(bytes)), bytes);
    EXPECT_EQ(Utf8ToOem(OemToUtf8(bytes)), bytes);
}

TEST(CodePages, AgreeWithPythonCodecs)
{
    EXPECT_EQ(OursCodePoints(CodePage::Oem), OracleCodePoints("cp866"));
    // Python leaves 0x98 of cp1251 undefined; we map it to U+0098.
    std::string oracle = OracleCodePoints("cp1251");
    const size_t pos = 0x98 * 5;
    ASSERT_EQ(oracle.substr(pos, 4), "----");
    oracle.replace(pos, 4, "0098");
    EXPECT_EQ(OursCodePoints(CodePage::Ansi), oracle);
}

TEST(CodePages, MissingAndMalformedBecomeQuestionMarks)
{
    EXPECT_EQ(Utf8ToAnsi("€"), "\x88");
    EXPECT_EQ(Utf8ToAnsi("Привет"), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(Utf8ToAnsi("a\xE4\xB8\xADz"), "a?z");       // a CJK character
    EXPECT_EQ(Utf8ToAnsi("a\xC3z"), "a?z");               // truncated sequence
    EXPECT_EQ(Utf8ToAnsi("\xFF\xFE"), "??");              // two stray bytes, one mark each
    EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");              // overlong form
    EXPECT_EQ(Utf8ToOem("Ёж"), "\xF0\xA6");
}

TEST(CodePages, OemAnsiBytes)
{
    EXPECT_EQ(OemToAnsi("\x80\xA0\xF0"), "\xC0\xE0\xA8");  // А а Ё
    EXPECT_EQ(AnsiToOem("\xC0\xE0\xA8"), "\x80\xA0\xF0");
    EXPECT_EQ(OemToAnsi("\xB0"), "?");                    // a box-drawing glyph has no ANSI byte
}
