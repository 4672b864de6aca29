#pragma once
// Block transfers of the loader core: the MODBUS requests that read (0x14) and write
// (0x15) a block of controller memory and activate the flash save (0x56), and the rules
// every transfer shares (EEPROM addresses, chunk size, exception texts, write checksum).

#include <cstdint>
#include <string>
#include <vector>

class TBlockList;
class TChip;

// Whether an address denotes EEPROM: 0x80000000 and above. The only place of that rule.
bool IsEepromAddress(uint64_t address);

// The chip's chunk size (its Sector). Raises ESarnupolex "Неверный размер сектора %d у %s"
// (size, chip name) for a size below 1, before any request is built.
int32_t ChunkSize(const TChip& chip);

// Words of a record of count bytes: count div 2 + count mod 2.
int32_t RecordWords(int32_t count);

// The block read request without its CRC (10 bytes): device, 0x14, (divisor + 9) mod 256,
// reference type (0 linear, else 6), the high address word (linear) or file number
// (0x8000 for EEPROM, else address div divisor), the low address word, the word count.
std::vector<uint8_t> BlockReadRequest(uint8_t device, uint32_t address, int32_t count, bool eeprom, int32_t divisor,
                                      bool linear);

// The length of the reply to a block read without its CRC: 2 × words + 5; the data
// starts at byte 5.
int32_t BlockReadReplyLength(int32_t count);

// The block write request without its CRC: the header of the read with function 0x15,
// then the count data bytes and, for an odd count, one 0x00 pad byte.
std::vector<uint8_t> BlockWriteRequest(uint8_t device, const uint8_t* data, uint32_t address, int32_t count,
                                       int32_t divisor, bool eeprom, bool linear);

// The flash-save activation request without its CRC: device, 0x56, the checksum high
// and low byte, 0x00, 0x00.
std::vector<uint8_t> ActivationRequest(uint8_t device, uint16_t checksum);

// The write checksum after adding the count data bytes (a 16-bit sum that wraps).
uint16_t AddToWriteChecksum(uint16_t sum, const uint8_t* data, int32_t count);

// The text that follows "Ошибка %d при чтении MODBUS%s" for an exception code: codes 1,
// 2, 3, 4, 6, 8 and 9 have one (": неверная функция" ...); any other gives "".
std::string ModbusExceptionText(int code);

class TLoaderCore;

// The block requests of one operation on the core's current connection and chip, with
// retries. The write checksum lives here from the start of a write to its activation.
class TBlockTransfer {
public:
    explicit TBlockTransfer(TLoaderCore& core);

    // Reads count bytes at the address. Each attempt first drains the channel as
    // WriteBlock does (at most 100 bytes, else "Канал связи не пуст"), so that nothing an
    // earlier request left behind is taken for its reply. One attempt: "Нет ответа от устройства при
    // чтении блока (адрес %.8X, длина %d)", "Ошибка %d при чтении MODBUS%s" (a 3-byte
    // exception reply), "Получен ответ неверного размера при чтении блока (адрес %.8X,
    // длина %d)", "Ошибка CRC при чтении блока (адрес %.8X, длина %d)". Each failed
    // attempt is logged; while attempts remain the line "<caption> (Повтор операции -
    // n)" is sent, after the last one "<caption> (Операция чтения провалена - исчерпано
    // число попыток)", and its error is raised again. RetryCount below 1 makes one
    // attempt. Raises ESarnupolex "Не определен тип процессора" without a current chip.
    std::vector<uint8_t> ReadBlock(uint32_t address, int32_t count, bool eeprom, int32_t divisor);

    // Writes count bytes at the address, after adding them to the write checksum once.
    // Each attempt first drains the channel (at most 100 bytes, else "Канал связи не
    // пуст"), then needs the request echoed: "Нет ответа от устройства при записи блока
    // (адрес %.4X, длина %d)", "Ошибка %d при записи MODBUS%s", "Получен ответ неверного
    // размера при записи блока (адрес %.4X, длина %d, res = %d, DatagramSize = %d, TOut
    // = %d)", "Неверный ответ при записи блока (адрес %.4X, длина %d)". Retries as
    // ReadBlock, with "Операция записи провалена - исчерпано число попыток".
    void WriteBlock(const uint8_t* data, uint32_t address, int32_t count, int32_t divisor, bool eeprom);

    // Sends the write checksum with 0x56 and waits the chip's FixedWriteTimeOut for its
    // 8-byte echo, dropping leading bytes that are not the device address. No retries;
    // ESarnupolex "Нет ответа при попытке активации сохранения переданной прошивки или
    // параметров", "Неверный ответ при попытке попытке активации сохранения (длина %d
    // байт)" (1 to 7 bytes), "Ошибка CRC MODBUS", "Ошибка ответа при активации
    // сохранения переданной прошивки или параметров". Success logs "Активация сохранения
    // переданной прошивки или параметров выполнена".
    void ActivateFlashSave();

    // Reads the blocks (absolute addresses) chunk by chunk: the chip's Sector, 128 for a
    // Sector of 256. A chunk shared by consecutive blocks is read once. The caption is
    // sent as PROGRESS_CAPTION and becomes the last line; after each copy
    // PROGRESS_PERCENT = (address + offset) × 100 / End (the highest block end), rounded;
    // a non-zero reply cancels. False when cancelled.
    bool ReadBlocks(TBlockList& blocks, const std::string& caption);
    // Writes every chunk that a block (address + offset) touches once, in block order,
    // its bytes from the blocks and 0xFF where no block covers them; chunks no block
    // touches are not written. PROGRESS_PERCENT = chunk index × 100 / chunks, rounded;
    // cancel as ReadBlocks. ESarnupolex "В файле прошивки нет блоков данных" for an
    // empty list. Addresses are taken in 64 bits, so overlapping blocks and ends near
    // 2^32 stay inside the image.
    bool WriteBlocks(TBlockList& blocks, uint32_t offset, const std::string& caption);

    // Looks for the firmware version in the first 64 KiB of FLASH (65536 div Sector
    // chunks from 0, or from FlashStartAddress with linear addressing) or in the EEPROM
    // (SizeEPP div Sector chunks from 0 with the EEPROM flag): the text after the
    // marker "Firmware ID:", up to the first zero byte in text mode (a read of
    // parameters), else digits and "." only (a write of parameters). A marker across
    // two chunks is found, and a version that reaches the end of the bytes read is
    // completed from the next chunk of the range. Posts "Поиск Firmware
    // идентификатора..." and runs the library's own progress display with "Поиск
    // Firmware идентификатора в FLASH (%s)" or "… в EEP (%s)" (chip name), which it
    // also sends to the host as PROGRESS_CAPTION (the last line, which retries name,
    // stays the posted one); after each chunk without a version but the last it sends
    // PROGRESS_PERCENT = (i + 1) × 100 / chunks, rounded. False when the host's reply (or the progress display's cancel
    // flag) cancelled the search: version is then empty and means nothing; true
    // otherwise, with version empty when none was found. Raises "Не определен тип
    // процессора", "Неверный размер сектора %d у %s", "У <chip> нет EEPROM" (no
    // request sent) and the errors of ReadBlock.
    bool FindFirmwareId(bool eeprom, bool textMode, std::string& version);

    uint16_t WriteChecksum() const { return checksum_; }
    void ResetWriteChecksum() { checksum_ = 0; }

private:
    TChip& CurrentChip() const;
    template <typename Attempt>
    void WithRetries(const char* exhausted, Attempt attempt);
    void DrainChannel();
    // The caption becomes the last line and goes to the host as PROGRESS_CAPTION.
    void SendCaption(const std::string& caption);
    // Only the PROGRESS_CAPTION to the host (no window: nothing).
    void ShowCaption(const std::string& caption);
    // Sends PROGRESS_PERCENT = part × 100 / whole, rounded; whether the host cancels.
    bool Cancelled(uint64_t part, uint64_t whole);

    TLoaderCore& core_;
    uint16_t checksum_ = 0;
};
