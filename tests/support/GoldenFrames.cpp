#include "tests/support/GoldenFrames.h"

#include <sstream>

namespace testsupport {

std::string Bytes(const std::string& hex)
{
    std::string bytes;
    std::istringstream in(hex);
    std::string pair;
    while (in >> pair) bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
    return bytes;
}

const std::vector<GoldenFrame>& GoldenFrames()
{
    struct Row {
        const char* name;
        const char* pdu;
        const char* crc; // empty: the frame has no CRC
    };
    static const Row rows[] = {
        {"read 128 bytes at 0x08004000, linear", "FA 14 89 00 08 00 40 00 00 40", "77 96"},
        {"read 128 bytes at EEPROM 0x100, file/record", "FA 14 89 06 80 00 01 00 00 40", "1B 22"},
        {"read exception, code 2", "FA 94 02", "BE F0"},
        {"activation with checksum 0x0006", "FA 56 00 06 00 00", "BC 4C"},
        {"transmit 1", "01 10 03 F2 00 02 04 01 02 00 00", "C9 FE"},
        {"reply to transmit 1", "01 10 03 F2 00 02", "E0 7F"},
        {"restart 5", "05 08 00 01 00 00", "B0 4F"},
        {"restart2 1", "01 10 03 E9 00 01 02 00 01", "42 69"},
        {"AT with CR LF", "41 54 0D 0A", ""},
        {"probe", "55 AA", ""},
    };
    static const std::vector<GoldenFrame> frames = [] {
        std::vector<GoldenFrame> out;
        out.push_back({"CRC of 123456789", "123456789", std::string("123456789") + Bytes("37 4B"), true});
        for (const Row& r : rows) {
            const std::string crc = r.crc;
            out.push_back({r.name, Bytes(r.pdu), Bytes(r.pdu) + Bytes(crc), !crc.empty()});
        }
        return out;
    }();
    return frames;
}

} // namespace testsupport
