#pragma once
// MODBUS frames on a byte transport: the CRC, writing a request in RTU form (bytes and
// CRC) or ASCII form (hex text and LRC), reading a reply of known length within a
// time-out, and the hex text of bytes that log lines show. No state; the transport is
// passed in.

#include "loader/io/IODevice.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Longest reply frame read, in bytes or characters.
inline constexpr int32_t kModbusResponseLimit = 10240;

// The table-driven CRC of the MODBUS serial line: CRC-16/MODBUS with its two bytes
// exchanged, so the high byte of the result goes first on the wire. 0xFFFF for no bytes.
uint16_t ModbusCrc16(const uint8_t* data, uint16_t length);

// Each byte as two upper-case hex digits, separated by one blank ("01 0A FF"); empty for
// no bytes.
std::string HexDump(const uint8_t* data, size_t count);

// Writes the PDU as one frame in one write: RTU, the bytes and their CRC (high byte
// first); ASCII, ":" + hex pairs + LRC (two's complement of the byte sum) + CR LF.
// dump receives HexDump of the frame as written.
void SendFrame(TIODevice& io, const uint8_t* pdu, int32_t count, std::string& dump, bool ascii);

// Reads one reply of at most expected payload bytes (RTU: expected + 2 bytes with the
// CRC; ASCII: 2 * expected + 5 characters), reading until the frame is complete or
// timeoutMs have passed. An exception reply (RTU: 5 bytes with bit 7 of the function
// code set; ASCII: 11 characters with a function digit of 8 or more) ends the wait at
// once. Raises platform::Exception "Превышена длина ответа" before any read when the
// frame could exceed kModbusResponseLimit.
//
// RTU: 0 with 3 bytes or fewer (crcError clear); else the frame without its CRC
// (address and function included) goes to dest, crcError tells whether the CRC
// matched, and the result is its length. ASCII: 0 unless the text starts with ":", ends
// with CR LF and holds hex digits only; else the converted bytes before the LRC go to
// dest, crcError tells whether the LRC matched, and the result is their number.
// dump receives HexDump of the bytes received (ASCII: of the converted bytes).
int32_t ReadResponse(TIODevice& io, uint8_t* dest, bool& crcError, int32_t expected, bool ascii, std::string& dump,
                     uint32_t timeoutMs);
