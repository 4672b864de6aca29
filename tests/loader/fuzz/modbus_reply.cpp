// Reads one MODBUS reply, RTU or ASCII, from the scripted transport that hands the input
// out in pieces of the sizes the input chooses, with silences (on the virtual clock).
// What was read is checked against the frame rules worked out here again:
// - a reply is accepted (its whole expected length, no CRC or LRC error) only when the
//   bytes read are one whole frame of that length with a correct CRC or LRC;
// - the bytes given to the caller are exactly the frame's data: RTU, every byte read
//   but the last two; ASCII, the hex pairs converted, before the LRC;
// - crcError tells exactly whether the CRC or LRC matched; the dump shows what came;
// - nothing is read past the frame's length, no result exceeds the expected length,
//   an ASCII reply with anything but hex digits between ":" and CR LF gives 0, and a
//   length past the limit raises before anything is read.
// Input: a mode byte (bit 0: ASCII), the expected length (two bytes, signed, high first),
// the time-out in 4 ms steps, then steps: a byte with bit 7 set is a silence of
// (low bits) × 4 ms; else a piece of (byte + 1) bytes of the input.

#include "loader/io/Modbus.h"
#include "platform/Exceptions.h"
#include "tests/loader/fuzz/FuzzInput.h"
#include "tests/model/fuzz/FuzzCheck.h"
#include "tests/support/ScriptedTransport.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

using fuzzcheck::Require;

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The bytes of an ASCII frame's text: ":" + hex digits only + CR LF, the digits read in
// pairs (an odd last digit left over); none when the text is not such a frame.
std::optional<std::string> AsciiBytes(const std::string& text)
{
    if (text.size() <= 3 || text.front() != ':' || text.compare(text.size() - 2, 2, "\r\n") != 0) return std::nullopt;
    std::string bytes;
    for (size_t i = 1; i + 2 < text.size(); ++i)
        if (HexDigit(text[i]) < 0) return std::nullopt;
    for (size_t i = 1; i + 1 < text.size() - 2; i += 2)
        bytes += static_cast<char>(HexDigit(text[i]) << 4 | HexDigit(text[i + 1]));
    return bytes;
}

uint8_t Lrc(const std::string& bytes, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(bytes[i]));
    return static_cast<uint8_t>(-sum);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzinput::Input input(data, size);
    const bool ascii = (input.Byte() & 1) != 0;
    const int32_t expected = static_cast<int16_t>(input.Word());
    const uint32_t timeoutMs = uint32_t{input.Byte()} * 4;
    testsupport::ScriptedTransport transport;
    transport.Open();
    while (!input.Empty()) {
        const uint8_t step = input.Byte();
        if (step & 0x80)
            transport.Silence(uint32_t{step & 0x7Fu} * 4);
        else
            transport.Piece(input.Bytes(size_t{step} + 1));
    }

    const int64_t frameLength = ascii ? 2 * int64_t{expected} + 5 : int64_t{expected} + 2;
    std::vector<uint8_t> dest(static_cast<size_t>(std::max(expected, 0)) + 8, 0xA5);
    bool crcError = true;
    std::string dump;
    int32_t result = 0;
    try {
        result = ReadResponse(transport, dest.data(), crcError, expected, ascii, dump, timeoutMs);
    } catch (const platform::Exception& e) {
        Require(frameLength > kModbusResponseLimit && std::strcmp(e.what(), "Превышена длина ответа") == 0,
                "an error other than the frame limit's");
        Require(transport.Delivered().empty(), "the limit was raised after reading");
        return 0;
    }
    Require(frameLength <= kModbusResponseLimit, "a frame past the limit was read");
    const std::string& got = transport.Delivered();
    Require(static_cast<int64_t>(got.size()) <= std::max<int64_t>(frameLength, 0), "read past the frame");
    Require(result >= 0 && result <= std::max(expected, 0), "a result beyond the expected length");
    Require(std::all_of(dest.begin() + result, dest.end(), [](uint8_t b) { return b == 0xA5; }),
            "bytes given past the result");
    const bool accepted = result == expected && expected > 0 && !crcError;

    std::string frame; // the frame's bytes: RTU as read, ASCII converted
    std::string frameData; // the frame's data before its check
    bool checkOk = false;
    if (!ascii) {
        if (got.size() <= 3) {
            Require(result == 0 && !crcError, "a reply of 3 bytes or fewer was taken");
            return 0;
        }
        frame = got;
        frameData = got.substr(0, got.size() - 2);
        const uint16_t crc = ModbusCrc16(reinterpret_cast<const uint8_t*>(frameData.data()), static_cast<uint16_t>(frameData.size()));
        checkOk = static_cast<uint8_t>(got[got.size() - 2]) == (crc >> 8) &&
                  static_cast<uint8_t>(got[got.size() - 1]) == (crc & 0xFF);
        Require(result == static_cast<int32_t>(frameData.size()), "RTU: the result is not the bytes read without the CRC");
    } else {
        const auto bytes = AsciiBytes(got);
        if (!bytes || bytes->empty()) {
            Require(result == 0, "ASCII: a text that is no frame gave bytes");
            return 0;
        }
        frame = *bytes;
        const size_t payload = std::min<size_t>(static_cast<size_t>(std::max(expected, 0)), frame.size() - 1);
        frameData = frame.substr(0, payload);
        checkOk = Lrc(frame, payload) == static_cast<uint8_t>(frame[payload]);
        Require(result == static_cast<int32_t>(payload), "ASCII: the result is not the pairs before the LRC");
    }
    Require(crcError == !checkOk, "the check flag does not tell whether the check matched");
    Require(std::string(dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(frameData.size())) == frameData,
            "the bytes given are not the frame's data");
    Require(dump == HexDump(reinterpret_cast<const uint8_t*>(frame.data()), frame.size()), "the dump differs");
    if (accepted) {
        Require(static_cast<int64_t>(got.size()) == frameLength, "accepted without the whole frame");
        Require(checkOk, "accepted with a bad check");
    }
    return 0;
}
