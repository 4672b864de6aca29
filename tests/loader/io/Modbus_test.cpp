// MODBUS frames: the CRC against an independent implementation, frames as written, and
// replies read from a transport that hands out planned pieces.

#include "loader/io/IOSerial.h"
#include "loader/io/Modbus.h"
#include "platform/NamedMutex.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/ScriptedTransport.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::GoldenFrames;

namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Reads take at most the next planned piece (its rest stays for the next read); without
// pieces a read waits 1 ms and gives nothing, as a transport's read time-out would.
using ScriptedIO = testsupport::ScriptedTransport;

// One planned reply and what ReadResponse must make of it.
struct ReadCase {
    const char* name;
    std::vector<std::string> pieces;
    int32_t expected;
    int32_t result;
    bool crcError;
    std::string data;
};

// Reads the case's reply and checks result, flag and copied bytes; the dump text.
std::string CheckRead(const ReadCase& c, bool ascii)
{
    SCOPED_TRACE(c.name);
    ScriptedIO io(c.pieces);
    std::vector<uint8_t> dest(16, 0xEE);
    bool crcError = !c.crcError;
    std::string dump = "old";
    const int32_t n = ReadResponse(io, dest.data(), crcError, c.expected, ascii, dump, 60);
    EXPECT_EQ(n, c.result);
    EXPECT_EQ(crcError, c.crcError);
    EXPECT_EQ(std::string(dest.begin(), dest.begin() + n), c.data);
    EXPECT_EQ(dest[static_cast<size_t>(n)], 0xEE);
    return dump;
}

std::string RtuFrame(const std::string& pdu)
{
    ScriptedIO io;
    std::string dump;
    SendFrame(io, U8(pdu), static_cast<int32_t>(pdu.size()), dump, false);
    return io.Written();
}

} // namespace

TEST(Modbus, CrcAgreesWithCrcmod)
{
    EXPECT_EQ(ModbusCrc16(U8(std::string("123456789")), 9), 0x374B);
    EXPECT_EQ(ModbusCrc16(nullptr, 0), 0xFFFF);
    // python3-crcmod's "modbus" function, low byte first on the wire.
    std::string script = "import crcmod.predefined\nf = crcmod.predefined.mkCrcFun('modbus')\n";
    std::string expected;
    for (const auto& g : GoldenFrames()) {
        if (!g.rtu) continue;
        script += "c = f(bytes.fromhex('" + HexDump(U8(g.pdu), g.pdu.size()) + "'))\n";
        script += "print('%02X %02X' % (c & 0xFF, c >> 8))\n";
        expected += HexDump(U8(g.frame) + g.pdu.size(), 2) + "\n";
    }
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "crc.py", script);
    std::string output;
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 '" + (dir / "crc.py").string() + "'", &output), 0)
        << "python3-crcmod is needed";
    EXPECT_EQ(output, expected);
}

TEST(Modbus, GoldenFramesAsWritten)
{
    for (const auto& g : GoldenFrames()) {
        if (!g.rtu) continue;
        SCOPED_TRACE(g.name);
        ScriptedIO io;
        std::string dump;
        SendFrame(io, U8(g.pdu), static_cast<int32_t>(g.pdu.size()), dump, false);
        EXPECT_EQ(io.Written(), g.frame);
        EXPECT_EQ(io.Writes(), 1);
        EXPECT_EQ(dump, HexDump(U8(g.frame), g.frame.size()));
    }
    ScriptedIO io;
    std::string dump;
    SendFrame(io, U8(Bytes("01 03")), 2, dump, true);
    EXPECT_EQ(io.Written(), ":0103FC\r\n");
    EXPECT_EQ(dump, "3A 30 31 30 33 46 43 0D 0A");
    EXPECT_EQ(HexDump(U8(Bytes("01 0A FF")), 3), "01 0A FF");
    EXPECT_EQ(HexDump(nullptr, 0), "");
}

TEST(Modbus, ReadResponseRtu)
{
    const std::string reply = RtuFrame(Bytes("01 10 03 F2 00 02"));
    std::string badCrc = reply;
    badCrc.back() = static_cast<char>(badCrc.back() ^ 1);
    std::vector<std::string> bytewise;
    for (char c : reply) bytewise.emplace_back(1, c);
    const std::string exception = RtuFrame(Bytes("FA 94 02"));

    const ReadCase cases[] = {
        {"whole reply", {reply}, 6, 6, false, Bytes("01 10 03 F2 00 02")},
        {"one byte a read", bytewise, 6, 6, false, Bytes("01 10 03 F2 00 02")},
        {"exception reply ends the wait", {exception, "\x11\x22\x33\x44"}, 6, 3, false, Bytes("FA 94 02")},
        {"one byte", {"\x01"}, 6, 0, false, ""},
        {"three bytes", {reply.substr(0, 3)}, 6, 0, false, ""},
        {"wrong last byte", {badCrc}, 6, 6, true, Bytes("01 10 03 F2 00 02")},
        {"silence", {}, 6, 0, false, ""},
        {"more than expected stays unread", {reply + "\x55"}, 6, 6, false, Bytes("01 10 03 F2 00 02")},
    };
    for (const ReadCase& c : cases) {
        const std::string dump = CheckRead(c, false);
        std::string arrived;
        for (const std::string& p : c.pieces) arrived += p;
        if (c.result > 0) {
            EXPECT_EQ(dump, HexDump(U8(arrived), static_cast<size_t>(c.result) + 2)) << c.name;
        }
    }
    ScriptedIO io({exception, "\x11"});
    std::vector<uint8_t> dest(8);
    bool crcError = false;
    std::string dump;
    EXPECT_EQ(ReadResponse(io, dest.data(), crcError, 6, false, dump, 1000), 3);
    EXPECT_EQ(io.Reads(), 1);
    EXPECT_EQ(io.StepsLeft(), 1u);
}

TEST(Modbus, ReadResponseLengthLimit)
{
    struct Case {
        bool ascii;
        int32_t expected;
        bool accepted;
    };
    for (const Case& c : {Case{false, 10238, true}, Case{false, 10239, false}, Case{true, 5117, true},
                          Case{true, 5118, false}}) {
        SCOPED_TRACE(c.expected);
        ScriptedIO io;
        std::vector<uint8_t> dest(kModbusResponseLimit);
        bool crcError = false;
        std::string dump;
        const std::string error = testsupport::ErrorOf(
            [&] { ReadResponse(io, dest.data(), crcError, c.expected, c.ascii, dump, 5); });
        EXPECT_EQ(error, c.accepted ? "(no error)" : "Превышена длина ответа");
        EXPECT_EQ(io.Reads() > 0, c.accepted);
    }
}

TEST(Modbus, ReadResponseAscii)
{
    // ":" 01 03 02 00 0A, LRC F0, CR LF.
    const std::string reply = ":01030200" "0AF0\r\n";
    const ReadCase cases[] = {
        {"whole frame", {reply}, 5, 5, false, Bytes("01 03 02 00 0A")},
        {"in pieces", {":0103", "02000A", "F0\r", "\n"}, 5, 5, false, Bytes("01 03 02 00 0A")},
        {"wrong LRC", {":010302000AF1\r\n"}, 5, 5, true, Bytes("01 03 02 00 0A")},
        {"exception stops at 11 characters", {":018302" "7A\r\n", ":99"}, 5, 3, false, Bytes("01 83 02")},
        {"short frame: only the bytes that came", {":0103FC\r\n"}, 5, 2, false, Bytes("01 03")},
        {"not hex", {":01G30200" "0AF0\r\n"}, 5, 0, false, ""},
        {"cut short, its odd last character not hex", {":0102Z\r\n"}, 5, 0, false, ""},
        {"no colon", {"0103020" "00AF0\r\n"}, 5, 0, false, ""},
        {"no CR LF", {":010302000AF0"}, 5, 0, false, ""},
    };
    for (const ReadCase& c : cases) CheckRead(c, true);
}

// libmodbus's RTU server, behind a pty pair of socat, answers our function-16 frames: a
// write within its registers, and its exception for one outside them.
TEST(Modbus, LibmodbusServerAnswersOurFrames)
{
    ASSERT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry(platform::kRegistryFileVariable, (dir / "registry.reg").string());
    testsupport::ScopedEnv runtime(platform::kRuntimeDirVariable, (dir / "run").string());
    const fs::path a = dir / "ttyA", b = dir / "ttyB";
    testsupport::ChildProcess socat("exec socat pty,raw,echo=0,link=" + a.string() + " pty,raw,echo=0,link=" +
                                    b.string());
    ASSERT_TRUE(testsupport::WaitForPath(a) && testsupport::WaitForPath(b)) << "socat did not make its pair";
    const fs::path ready = dir / "server.out";
    testsupport::ChildProcess server("exec '" + (fs::path(MIRVAK_BINARY_DIR) / "tests/fixtures/modbus_rtu_server").string() +
                                     "' '" + b.string() + "' 9600 5 >'" + ready.string() + "' 2>&1");
    const bool up = testsupport::WaitUntil(
        [&] { return fs::exists(ready) && testsupport::ReadFile(ready).find("ready") != std::string::npos; });
    ASSERT_TRUE(up) << (fs::exists(ready) ? testsupport::ReadFile(ready) : "no output");

    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM9=" + a.string());
    TIOSerial port;
    port.SetPort("COM9");
    port.SetBaudRate(9600);
    port.Open();
    struct Exchange {
        const char* request;
        int32_t result;
        const char* reply;
    };
    const Exchange exchanges[] = {
        {"01 10 00 00 00 02 04 00 01 00 02", 6, "01 10 00 00 00 02"},
        {"01 10 00 64 00 01 02 00 07", 3, "01 90 02"},
    };
    for (const Exchange& x : exchanges) {
        SCOPED_TRACE(x.request);
        const std::string pdu = Bytes(x.request);
        std::string dump;
        SendFrame(port, U8(pdu), static_cast<int32_t>(pdu.size()), dump, false);
        uint8_t dest[16] = {};
        bool crcError = true;
        const int32_t n = ReadResponse(port, dest, crcError, 6, false, dump, 2000);
        EXPECT_EQ(n, x.result);
        EXPECT_FALSE(crcError);
        EXPECT_EQ(HexDump(dest, static_cast<size_t>(std::max(n, 0))), x.reply);
    }
    port.Close();
}
