#pragma once
// Frames on the wire with their exact bytes, shared by the loader's tests and the
// controller simulator's own tests, so that a misreading of one side fails the other.

#include <string>
#include <vector>

namespace testsupport {

struct GoldenFrame {
    std::string name;
    std::string pdu;   // the bytes before the CRC (the whole frame where there is none)
    std::string frame; // as on the wire
    bool rtu = true;   // the frame is the PDU followed by its MODBUS CRC
};

const std::vector<GoldenFrame>& GoldenFrames();

// Bytes from hex pairs separated by blanks: "FA 14" -> "\xFA\x14".
std::string Bytes(const std::string& hex);

} // namespace testsupport
