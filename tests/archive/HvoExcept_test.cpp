#include "archive/HvoConst.h"
#include "archive/HvoExcept.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct MessageRow {
    int native;
    const char* component;
    bool formatted;
    std::initializer_list<THvoFormatArg> args;
    const char* expected;
};

TEST(HvoExcept, MessagesNameTheComponentTheTextAndTheNativeCode)
{
    const MessageRow rows[] = {
        {9, "Archiver1", false, {}, "Archiver1: File name is blank. Specify appropriate file name - Native error: 00009"},
        {7, "", false, {}, "Index out of bounds - Native error: 00007"},
        {-1, "", false, {}, "Unknown error - Native error: 000-1"},
        {69, "", false, {}, "Unknown error - Native error: 00069"},
        {68, "", true, {"..\\e"}, "Unsafe entry name \"..\\e\" refused - Native error: 00068"},
        {123456, "Z", false, {}, "Z: Unknown error - Native error: 123456"},
        {12, "", true, {"/tmp/Папка/файл.zip"}, "File \"/tmp/Папка/файл.zip\" not found - Native error: 00012"},
        {34, "Archiver1", true, {int64_t(5000000000), int64_t(4294967297)},
         "Archiver1: Invalid compressed size, rfs.size = 5000000000, count = 4294967297 - Native error: 00034"},
        {61, "", true, {"a.txt"}, "File name is too long: \r\n\"a.txt\" - Native error: 00061"},
        {63, "", true, {-3, 4}, "Invalid InitVector index = -3. Index should be >= 0 and < 4 - Native error: 00063"},
        // The plain form keeps the text as it is.
        {11, "", false, {}, "File \"%s\" not found - Native error: 00011"},
    };
    for (const MessageRow& row : rows) {
        SCOPED_TRACE(row.expected);
        const EHvoException e = row.formatted ? EHvoException::CreateFmt(row.native, row.component, row.args)
                                              : EHvoException::Create(row.native, row.component);
        EXPECT_EQ(std::string(e.what()), row.expected);
        EXPECT_EQ(e.NativeError, row.native);
        EXPECT_EQ(e.ErrorCode, HvoMessageIndexOf(row.native));
    }
    EXPECT_EQ(EHvoException::Create(27).ErrorCode, 14);
    EXPECT_EQ(EHvoException::Create(67).ErrorCode, 40);
}

TEST(HvoExcept, NamesInMessagesShowControlCharactersVisiblyAndTheMessageStaysWhole)
{
    struct Row {
        const char* title;
        std::string name;
        std::string shown;
    };
    const Row rows[] = {
        {"plain Cyrillic and backslashes", "Папка\\файл.hex", "Папка\\файл.hex"},
        {"NUL", std::string("a\0b", 3), "a\\x00b"},
        {"NUL at the end", std::string("ab\0", 3), "ab\\x00"},
        {"line feed and carriage return", "a\r\nb", "a\\r\\nb"},
        {"tab", "a\tb", "a\\tb"},
        {"escape sequence", "a\x1b[31mb", "a\\x1b[31mb"},
        {"other controls and DEL", "\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        EXPECT_EQ(HvoVisibleText(row.name), row.shown);
        const EHvoException e = EHvoException::CreateFmt(68, "Archiver1", {row.name});
        const std::string expected = "Archiver1: Unsafe entry name \"" + row.shown + "\" refused - Native error: 00068";
        EXPECT_EQ(e.Message(), expected);
        EXPECT_EQ(std::string(e.what()), expected);
        const EHvoException missing = EHvoException::CreateFmt(12, "", {row.name});
        EXPECT_EQ(missing.Message(), "File \"" + row.shown + "\" not found - Native error: 00012");
    }
}

TEST(HvoExcept, EveryMessageIndexIsReachedAndPlaceholdersFormatWithTheRaisersArguments)
{
    bool used[kHvoMessageCount] = {};
    for (int native = 0; native < kHvoNativeCodeCount; ++native) {
        SCOPED_TRACE(native);
        const int index = HvoMessageIndexOf(native);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, kHvoMessageCount);
        used[index] = true;
        const std::string text = HvoMessageText(index);
        std::string message;
        if (text.find("%d") != std::string::npos)
            message = EHvoException::CreateFmt(native, "A", {int64_t(1) << 40, 7}).what();
        else if (text.find("%s") != std::string::npos)
            message = EHvoException::CreateFmt(native, "A", {"имя.bin"}).what();
        else
            message = EHvoException::Create(native, "A").what();
        EXPECT_EQ(message.find('%'), std::string::npos) << message;
        EXPECT_EQ(message.rfind("A: ", 0), 0u) << message;
        EXPECT_NE(message.find(" - Native error: 000"), std::string::npos) << message;
    }
    for (int i = 0; i < kHvoMessageCount; ++i) EXPECT_TRUE(used[i]) << "message " << i;
}

TEST(HvoExcept, DerivesFromTheSystemsErrorClass)
{
    const std::string text = testsupport::MessageOf<platform::Exception>([] { throw EHvoException::Create(13, ""); });
    EXPECT_EQ(text, "Archive is not open - Native error: 00013");
}

TEST(HvoFormat, FormatsTheConversionsTheTextsUse)
{
    EXPECT_EQ(HvoFormat("%5d|%.3u|%.2d|%d|%s|%%", {7, 7, 5, int64_t(-9000000000), "ж"}), "    7|007|05|-9000000000|ж|%");
    EXPECT_EQ(HvoFormat("%-4s|%4s|%.1s", {"ab", "жж", "жук"}), "ab  |  жж|ж");
    EXPECT_EQ(HvoFormat("pkback# %.3d", {12}), "pkback# 012");
    EXPECT_EQ(HvoPromptText(kHvoPromptDiskFull),
              std::string("Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk "
                          "or find another blank disk"));
    EXPECT_EQ(HvoFormat(HvoPromptText(kHvoPromptOverwrite), {"a", "b"}), "Overwrite file \"a\" with \"b\"");
    EXPECT_STREQ(HvoPromptText(1), "");
}

TEST(HvoFormat, RefusesAMissingOrMismatchedArgument)
{
    using testsupport::MessageOf;
    EXPECT_EQ(MessageOf<platform::EConvertError>([] { HvoFormat("%s and %s", {"one"}); }),
              "Format '%s and %s' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf<platform::EConvertError>([] { HvoFormat("%d", {"text"}); }),
              "Format '%d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf<platform::EConvertError>([] { HvoFormat("%q", {1}); }),
              "Format '%q' invalid or incompatible with argument");
}

} // namespace
