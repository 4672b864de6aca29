#include "loader/io/Modbus.h"

#include "platform/Tick.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The reflected CRC-16 (polynomial 0xA001) of each byte value.
constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc = MakeCrcTable();

// The two byte tables of the MODBUS RTU CRC, split by byte: the byte that goes
// first on the wire ("high" table) and the one that goes second ("low" table).
constexpr std::array<uint8_t, 256> MakeHalf(bool high)
{
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(high ? kCrc[i] & 0xFF : kCrc[i] >> 8);
    return table;
}

constexpr std::array<uint8_t, 256> kCrcHigh = MakeHalf(true);
constexpr std::array<uint8_t, 256> kCrcLow = MakeHalf(false);
static_assert(kCrcHigh[1] == 0xC1 && kCrcLow[1] == 0xC0 && kCrcHigh[255] == 0x40 && kCrcLow[255] == 0x40);

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, uint8_t byte)
{
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint8_t Lrc(const uint8_t* data, size_t count)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    return static_cast<uint8_t>(-sum);
}

} // namespace

uint16_t ModbusCrc16(const uint8_t* data, uint16_t length)
{
    uint8_t first = 0xFF;
    uint8_t second = 0xFF;
    for (uint16_t i = 0; i < length; ++i) {
        const uint8_t index = static_cast<uint8_t>(data[i] ^ first);
        first = static_cast<uint8_t>(kCrcHigh[index] ^ second);
        second = kCrcLow[index];
    }
    return static_cast<uint16_t>(first << 8 | second);
}

std::string HexDump(const uint8_t* data, size_t count)
{
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        AppendHex(text, data[i]);
    }
    return text;
}

void SendFrame(TIODevice& io, const uint8_t* pdu, int32_t count, std::string& dump, bool ascii)
{
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    std::string frame;
    if (ascii) {
        frame.reserve(2 * n + 5);
        frame += ':';
        for (size_t i = 0; i < n; ++i) AppendHex(frame, pdu[i]);
        AppendHex(frame, Lrc(pdu, n));
        frame += "\r\n";
    } else {
        frame.assign(reinterpret_cast<const char*>(pdu), n);
        const uint16_t crc = ModbusCrc16(pdu, static_cast<uint16_t>(n));
        frame += static_cast<char>(crc >> 8);
        frame += static_cast<char>(crc & 0xFF);
    }
    dump = HexDump(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    io.Write(frame.data(), static_cast<int32_t>(frame.size()));
}

int32_t ReadResponse(TIODevice& io, uint8_t* dest, bool& crcError, int32_t expected, bool ascii, std::string& dump,
                     uint32_t timeoutMs)
{
    crcError = false;
    dump.clear();
    const int64_t limit = ascii ? 2 * int64_t{expected} + 5 : int64_t{expected} + 2;
    if (limit > kModbusResponseLimit) throw platform::Exception("Превышена длина ответа");
    const int32_t frameLength = static_cast<int32_t>(std::max<int64_t>(limit, 0));

    std::array<uint8_t, kModbusResponseLimit> buffer;
    int32_t received = 0;
    const uint64_t start = platform::GetTickCount();
    while (platform::GetTickCount() - start < timeoutMs && received < frameLength) {
        const int32_t n = io.Read(buffer.data() + received, frameLength - received);
        if (n > 0) received += std::min(n, frameLength - received);
        if (!ascii && received == 5 && (buffer[1] & 0x80) != 0) break;
        if (ascii && received == 11 && buffer[3] >= '8') break;
    }

    if (!ascii) {
        if (received <= 3) return 0;
        const int32_t payload = received - 2;
        const uint16_t crc = ModbusCrc16(buffer.data(), static_cast<uint16_t>(payload));
        crcError = buffer[payload] != (crc >> 8) || buffer[payload + 1] != (crc & 0xFF);
        dump = HexDump(buffer.data(), static_cast<size_t>(received));
        std::copy_n(buffer.data(), payload, dest);
        return payload;
    }

    if (received <= 3 || buffer[0] != ':' || buffer[received - 2] != '\r' || buffer[received - 1] != '\n') return 0;
    // Every character between ":" and CR LF, an odd last digit too, must be a hex digit.
    for (int32_t i = 1; i < received - 2; ++i)
        if (HexValue(static_cast<char>(buffer[i])) < 0) return 0;
    const int32_t converted = (received - 3) / 2;
    std::vector<uint8_t> bytes(static_cast<size_t>(converted));
    for (int32_t i = 0; i < converted; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(HexValue(static_cast<char>(buffer[1 + 2 * i])) << 4 |
                                                             HexValue(static_cast<char>(buffer[2 + 2 * i])));
    if (converted < 1) return 0;
    // The bytes before the LRC: never more than arrived.
    const int32_t payload = std::min(expected, converted - 1);
    crcError = Lrc(bytes.data(), static_cast<size_t>(payload)) != bytes[static_cast<size_t>(payload)];
    dump = HexDump(bytes.data(), bytes.size());
    std::copy_n(bytes.data(), payload, dest);
    return payload;
}
