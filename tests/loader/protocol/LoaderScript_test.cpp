// The script file's sections, end pauses, hex and text data, and the request bytes of the
// commands; no connection.

#include "loader/core/LoaderConnection.h"
#include "loader/protocol/LoaderScript.h"
#include "loader/io/Modbus.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Str(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<std::string> Trimmed(const std::vector<TScriptLine>& lines)
{
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.Trimmed);
    return out;
}

TEST(ScriptSections, MarkersSplitThePhases)
{
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::string> preliminary;
        std::vector<std::string> final;
    } cases[] = {
        {"no marker", {"transmit 1", "sleep 10"}, {"transmit 1", "sleep 10"}, {}},
        {"[after] in capitals with blanks", {"a", "  [AFTER]\t", "b"}, {"a"}, {"b"}},
        {"[after write] in mixed case", {"a", "[After Write]", "b", "c"}, {"a"}, {"b", "c"}},
        {"a second marker changes nothing", {"a", "[after]", "b", "[after write]", "c"}, {"a"}, {"b", "c"}},
        {"blank lines stay in their section", {"", "a", "[after]", "   "}, {"", "a"}, {""}},
        {"inner blanks make no marker", {"[after  write]", "b"}, {"[after  write]", "b"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Trimmed(ScriptPhaseLines(c.lines, TScriptPhase::Preliminary)), c.preliminary);
        EXPECT_EQ(Trimmed(ScriptPhaseLines(c.lines, TScriptPhase::Final)), c.final);
    }
    const auto raw = ScriptPhaseLines({"  send 55AA \t"}, TScriptPhase::Preliminary);
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].Raw, "  send 55AA \t");
    EXPECT_EQ(raw[0].Trimmed, "send 55AA");
}

TEST(ScriptSections, EndPauses)
{
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::vector<int32_t> pauses;
    } cases[] = {
        {"one pause", {"endpause 2000"}, {2000}},
        {"anywhere in a line, any section", {"x", "[after]", "# wait: endpause 150"}, {150}},
        {"the number after one separator", {"endpause:75"}, {75}},
        {"not a number", {"endpause abc"}, {0}},
        {"two lines, two pauses", {"endpause 10", "endpause 20"}, {10, 20}},
        {"exact letter case only", {"ENDPAUSE 2000", "EndPause 5"}, {}},
        {"the word alone", {"endpause"}, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ScriptEndPauses(c.lines), c.pauses);
    }
}

TEST(ScriptData, HexBytes)
{
    EXPECT_EQ(Str(ScriptHexBytes("55AA")), testsupport::Bytes("55 AA"));
    EXPECT_EQ(Str(ScriptHexBytes("0a1B2")), testsupport::Bytes("0A 1B")); // odd last digit ignored
    EXPECT_TRUE(ScriptHexBytes("").empty());
    for (const char* bad : {"5G", "55 AA", "0x55", "55A-"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(testsupport::MessageOf<platform::EConvertError>([&] { ScriptHexBytes(bad); }),
                  std::string("'") + bad + "' is not a valid integer value");
    }
    EXPECT_EQ(ScriptHexBytes(std::string(602, 'F')).size(), 301u);
    EXPECT_EQ(testsupport::MessageOf<ESarnupolex>([] { ScriptHexBytes(std::string(604, 'F')); }), kScriptTooLong);
}

TEST(ScriptData, TextBytes)
{
    EXPECT_EQ(Str(ScriptTextBytes("AT#13#10")), testsupport::Bytes("41 54 0D 0A"));
    EXPECT_EQ(Str(ScriptTextBytes("#321")), "\x41"); // low 8 bits
    EXPECT_EQ(Str(ScriptTextBytes("Привет #0")), platform::Utf8ToAnsi("Привет ") + std::string(1, '\0'));
    EXPECT_EQ(Str(ScriptTextBytes(platform::AnsiToUtf8("\x98"))), "\x98");
    EXPECT_EQ(testsupport::MessageOf<platform::EConvertError>([] { ScriptTextBytes("AT#x"); }),
              "'' is not a valid integer value");
    EXPECT_EQ(ScriptTextBytes(std::string(301, 'a')).size(), 301u);
    EXPECT_EQ(testsupport::MessageOf<ESarnupolex>([] { ScriptTextBytes(std::string(302, 'a')); }), kScriptTooLong);
}

TEST(ScriptRequests, GoldenFrames)
{
    const int32_t value2 = 5;
    const struct {
        const char* golden;
        std::vector<uint8_t> pdu;
    } cases[] = {
        {"transmit 1", TransmitRequest(1, 258, 0, nullptr)},
        {"restart 5", RestartRequest(5)},
        {"restart2 1", Restart2Request(1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        bool found = false;
        for (const auto& g : testsupport::GoldenFrames()) {
            if (g.name != c.golden) continue;
            found = true;
            EXPECT_EQ(Str(c.pdu), g.pdu);
            const uint16_t crc = ModbusCrc16(c.pdu.data(), static_cast<uint16_t>(c.pdu.size()));
            EXPECT_EQ(Str(c.pdu) + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF), g.frame);
        }
        EXPECT_TRUE(found);
    }
    const auto four = TransmitRequest(1, 1000, 11, &value2);
    const uint16_t crc = ModbusCrc16(four.data(), static_cast<uint16_t>(four.size()));
    EXPECT_EQ(Str(four) + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF),
              testsupport::Bytes("01 10 03 F2 00 04 08 03 E8 00 00 00 0B 00 05 90 A5"));
}

} // namespace
