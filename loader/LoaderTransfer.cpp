#include "loader/LoaderTransfer.h"

#include "loader/Chips.h"
#include "loader/LoaderConnection.h"
#include "platform/Format.h"

#include <algorithm>
#include <iterator>

namespace {

struct ExceptionText {
    int code;
    const char* text;
};

const ExceptionText kExceptionTexts[] = {
    {1, ": неверная функция"},
    {2, ": неверный адрес данных"},
    {3, ": неверное значение"},
    {4, ": сбой устройства"},
    {6, ": устройство занято"},
    {8, ": ключи активированы, включите игнорирование ключей"},
    {9, ": ошибка при записи ячейки памяти, повторите запись"},
};

void PutWord(std::vector<uint8_t>& bytes, uint32_t word)
{
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word));
}

// The 10 bytes both block requests start with.
std::vector<uint8_t> BlockHeader(uint8_t device, uint8_t function, uint32_t address, int32_t count, bool eeprom,
                                 int32_t divisor, bool linear)
{
    std::vector<uint8_t> bytes{device, function, static_cast<uint8_t>(divisor + 9), static_cast<uint8_t>(linear ? 0 : 6)};
    if (linear)
        PutWord(bytes, address >> 16);
    else
        PutWord(bytes, eeprom ? 0x8000u : address / static_cast<uint32_t>(divisor));
    PutWord(bytes, address & 0xFFFF);
    PutWord(bytes, static_cast<uint32_t>(RecordWords(count)));
    return bytes;
}

} // namespace

bool IsEepromAddress(uint64_t address) { return address >= 0x80000000u; }

int32_t ChunkSize(const TChip& chip)
{
    if (chip.Sector < 1)
        throw ESarnupolex(platform::Format("Неверный размер сектора %d у %s", chip.Sector, chip.Name.c_str()));
    return chip.Sector;
}

int32_t RecordWords(int32_t count) { return count / 2 + count % 2; }

std::vector<uint8_t> BlockReadRequest(uint8_t device, uint32_t address, int32_t count, bool eeprom, int32_t divisor,
                                      bool linear)
{
    return BlockHeader(device, 0x14, address, count, eeprom, divisor, linear);
}

int32_t BlockReadReplyLength(int32_t count) { return 2 * RecordWords(count) + 5; }

std::vector<uint8_t> BlockWriteRequest(uint8_t device, const uint8_t* data, uint32_t address, int32_t count,
                                       int32_t divisor, bool eeprom, bool linear)
{
    std::vector<uint8_t> bytes = BlockHeader(device, 0x15, address, count, eeprom, divisor, linear);
    bytes.insert(bytes.end(), data, data + count);
    if (count % 2 != 0) bytes.push_back(0x00);
    return bytes;
}

std::vector<uint8_t> ActivationRequest(uint8_t device, uint16_t checksum)
{
    return {device, 0x56, static_cast<uint8_t>(checksum >> 8), static_cast<uint8_t>(checksum), 0x00, 0x00};
}

uint16_t AddToWriteChecksum(uint16_t sum, const uint8_t* data, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + data[i]);
    return sum;
}

std::string ModbusExceptionText(int code)
{
    const auto* found = std::find_if(std::begin(kExceptionTexts), std::end(kExceptionTexts),
                                     [&](const ExceptionText& e) { return e.code == code; });
    return found == std::end(kExceptionTexts) ? std::string() : found->text;
}
