#include "loader/protocol/LoaderTransfer.h"

#include "common/ProgressMgr.h"
#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/io/Modbus.h"
#include "loader/api/SarnupolexConst.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Tick.h"
#include "platform/Windows.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

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

// The marker the firmware's version text follows.
const std::string kFirmwareIdMarker = "Firmware ID:";

// Whether a byte belongs to the version: up to the first zero byte in text mode, else
// digits and "." only.
bool VersionByte(uint8_t byte, bool textMode)
{
    return textMode ? byte != 0 : (byte >= '0' && byte <= '9') || byte == '.';
}

// Ends the progress display however the search ends.
struct ProgressScope {
    explicit ProgressScope(const std::string& text) { BeginProgress(text, 0, TProgressCursor::HourGlass); }
    ~ProgressScope() { EndProgress(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
};

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

TBlockTransfer::TBlockTransfer(TLoaderCore& core) : core_(core) {}

TChip& TBlockTransfer::CurrentChip() const
{
    TChip* chip = core_.Connection().Chip();
    if (chip == nullptr) throw ESarnupolex("Не определен тип процессора");
    return *chip;
}

template <typename Attempt>
void TBlockTransfer::WithRetries(const char* exhausted, Attempt attempt)
{
    const int32_t attempts = std::max(core_.Connection().Settings().RetryCount, 1);
    for (int32_t made = 1;; ++made) {
        try {
            attempt();
            return;
        } catch (const platform::Exception& e) {
            core_.AppendLogLine(e.what());
            const std::string caption = core_.LastLine();
            if (made < attempts) {
                core_.SendLogLine(platform::Format("%s (Повтор операции - %d)", caption.c_str(), made));
                continue;
            }
            core_.AppendLogLine(exhausted);
            core_.SendLogLine(platform::Format("%s (%s)", caption.c_str(), exhausted));
            throw;
        }
    }
}

std::vector<uint8_t> TBlockTransfer::ReadBlock(uint32_t address, int32_t count, bool eeprom, int32_t divisor)
{
    const TChip& chip = CurrentChip();
    const uint8_t device = core_.Chips().AddrDev;
    const std::vector<uint8_t> request = BlockReadRequest(device, address, count, eeprom, divisor, chip.LinearAddr);
    const int32_t expected = BlockReadReplyLength(count);
    std::vector<uint8_t> data(static_cast<size_t>(count));
    WithRetries("Операция чтения провалена - исчерпано число попыток", [&] {
        // What an earlier attempt left behind (noise, the rest of a broken reply, a reply
        // that came late) must not be read as this attempt's reply.
        DrainChannel();
        TLoaderConnection& connection = core_.Connection();
        connection.SendRequest(request.data(), static_cast<int32_t>(request.size()));
        std::vector<uint8_t> reply(static_cast<size_t>(expected) + 2);
        bool crcError = false;
        const int32_t n = connection.ReadReply(reply.data(), crcError, expected, static_cast<uint32_t>(chip.ReadTimeOut));
        if (n == 0)
            throw ESarnupolex(
                platform::Format("Нет ответа от устройства при чтении блока (адрес %.8X, длина %d)", address, count));
        if (n != expected) {
            if (n == 3 && reply[0] == device && reply[1] == 0x94)
                throw ESarnupolex(platform::Format("Ошибка %d при чтении MODBUS%s", reply[2],
                                                   ModbusExceptionText(reply[2]).c_str()));
            throw ESarnupolex(platform::Format(
                "Получен ответ неверного размера при чтении блока (адрес %.8X, длина %d)", address, count));
        }
        if (crcError)
            throw ESarnupolex(platform::Format("Ошибка CRC при чтении блока (адрес %.8X, длина %d)", address, count));
        std::copy_n(reply.begin() + 5, count, data.begin());
    });
    return data;
}

void TBlockTransfer::DrainChannel()
{
    TLoaderConnection& connection = core_.Connection();
    uint8_t byte = 0;
    int drained = 0;
    while (drained < 100 && connection.DeviceRead(&byte, 1) == 1) ++drained;
    if (drained == 100) throw ESarnupolex("Канал связи не пуст");
}

void TBlockTransfer::WriteBlock(const uint8_t* data, uint32_t address, int32_t count, int32_t divisor, bool eeprom)
{
    const TChip& chip = CurrentChip();
    checksum_ = AddToWriteChecksum(checksum_, data, count);
    const uint8_t device = core_.Chips().AddrDev;
    const std::vector<uint8_t> request = BlockWriteRequest(device, data, address, count, divisor, eeprom, chip.LinearAddr);
    const int32_t expected = static_cast<int32_t>(request.size());
    const int32_t timeout = eeprom ? chip.EEPTimeOut : chip.FlashTimeOut;
    WithRetries("Операция записи провалена - исчерпано число попыток", [&] {
        DrainChannel();
        TLoaderConnection& connection = core_.Connection();
        connection.SendRequest(request.data(), expected);
        std::vector<uint8_t> reply(static_cast<size_t>(expected) + 2);
        bool crcError = false;
        const int32_t n = connection.ReadReply(reply.data(), crcError, expected, static_cast<uint32_t>(timeout));
        if (n == 0)
            throw ESarnupolex(
                platform::Format("Нет ответа от устройства при записи блока (адрес %.4X, длина %d)", address, count));
        if (n != expected) {
            if (n == 3 && reply[0] == device && reply[1] == 0x95)
                throw ESarnupolex(platform::Format("Ошибка %d при записи MODBUS%s", reply[2],
                                                   ModbusExceptionText(reply[2]).c_str()));
            throw ESarnupolex(platform::Format("Получен ответ неверного размера при записи блока (адрес %.4X, длина "
                                               "%d, res = %d, DatagramSize = %d, TOut = %d)",
                                               address, count, n, expected, timeout));
        }
        if (!std::equal(request.begin(), request.end(), reply.begin()))
            throw ESarnupolex(
                platform::Format("Неверный ответ при записи блока (адрес %.4X, длина %d)", address, count));
    });
}

void TBlockTransfer::ActivateFlashSave()
{
    const TChip& chip = CurrentChip();
    const uint8_t device = core_.Chips().AddrDev;
    const std::vector<uint8_t> request = ActivationRequest(device, checksum_);
    TLoaderConnection& connection = core_.Connection();
    connection.SendRequest(request.data(), static_cast<int32_t>(request.size()));
    uint8_t reply[8] = {};
    int32_t got = 0;
    const uint64_t start = platform::GetTickCount();
    for (;;) {
        got += connection.DeviceRead(reply + got, 8 - got);
        // Leading bytes that are not the device address are dropped; the rest stays.
        const auto first = std::find(reply, reply + got, device);
        got = static_cast<int32_t>(std::copy(first, reply + got, reply) - reply);
        if (got == 8 || platform::GetTickCount() - start >= static_cast<uint64_t>(std::max(chip.FixedWriteTimeOut, 0)))
            break;
        platform::Sleep(10);
    }
    if (got == 0)
        throw ESarnupolex("Нет ответа при попытке активации сохранения переданной прошивки или параметров");
    if (got < 8)
        throw ESarnupolex(
            platform::Format("Неверный ответ при попытке попытке активации сохранения (длина %d байт)", got));
    const uint16_t crc = ModbusCrc16(reply, 6);
    if (reply[6] != static_cast<uint8_t>(crc >> 8) || reply[7] != static_cast<uint8_t>(crc))
        throw ESarnupolex("Ошибка CRC MODBUS");
    if (!std::equal(request.begin(), request.end(), reply))
        throw ESarnupolex("Ошибка ответа при активации сохранения переданной прошивки или параметров");
    core_.AppendLogLine("Активация сохранения переданной прошивки или параметров выполнена");
}

void TBlockTransfer::SendCaption(const std::string& caption)
{
    core_.SetLastLine(caption);
    ShowCaption(caption);
}

void TBlockTransfer::ShowCaption(const std::string& caption)
{
    const platform::HWND window = core_.OperationWindow();
    if (window == 0 || !platform::IsWindow(window)) return;
    const platform::ATOM atom = platform::AddAtom(caption);
    if (atom != 0) platform::SendMessage(window, platform::WM_LOADER_PROGRESS, PROGRESS_CAPTION, atom);
}

bool TBlockTransfer::Cancelled(uint64_t part, uint64_t whole)
{
    const platform::HWND window = core_.OperationWindow();
    if (window == 0 || whole == 0) return false;
    const uint64_t percent = (part * 100 + whole / 2) / whole;
    return platform::SendMessage(window, platform::WM_LOADER_PROGRESS, PROGRESS_PERCENT,
                                 static_cast<platform::LPARAM>(percent)) != 0;
}

bool TBlockTransfer::ReadBlocks(TBlockList& blocks, const std::string& caption)
{
    const TChip& chip = CurrentChip();
    SendCaption(caption);
    int32_t chunk = ChunkSize(chip);
    if (chunk == 256) chunk = 128;
    uint64_t end = 0;
    for (int i = 0; i < blocks.Count(); ++i)
        end = std::max(end, uint64_t{blocks.Block(i)->Address} + static_cast<uint64_t>(std::max(blocks.Block(i)->Size, 0)));
    int64_t lastChunk = -1;
    std::vector<uint8_t> buffer;
    for (int i = 0; i < blocks.Count(); ++i) {
        TMemoryBlock& block = *blocks.Block(i);
        const bool eeprom = IsEepromAddress(block.Address);
        for (uint64_t offset = 0; offset < static_cast<uint64_t>(std::max(block.Size, 0));) {
            const uint64_t at = block.Address + offset;
            const int64_t number = static_cast<int64_t>(at / static_cast<uint64_t>(chunk));
            if (number != lastChunk) {
                buffer = ReadBlock(static_cast<uint32_t>(number * chunk), chunk, eeprom, chunk);
                lastChunk = number;
            }
            const uint64_t inChunk = at - static_cast<uint64_t>(number * chunk);
            const uint64_t n = std::min(static_cast<uint64_t>(block.Size) - offset, static_cast<uint64_t>(chunk) - inChunk);
            std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(inChunk), n, block.Data() + offset);
            offset += n;
            if (Cancelled(block.Address + offset, end)) return false;
        }
    }
    return true;
}

bool TBlockTransfer::WriteBlocks(TBlockList& blocks, uint32_t offset, const std::string& caption)
{
    const TChip& chip = CurrentChip();
    SendCaption(caption);
    if (blocks.Count() == 0) throw ESarnupolex("В файле прошивки нет блоков данных");
    const uint64_t chunk = static_cast<uint64_t>(ChunkSize(chip));
    // The chunks the blocks touch, each filled with 0xFF, then with the blocks' bytes.
    std::map<uint64_t, std::vector<uint8_t>> image;
    uint64_t first = UINT64_MAX, end = 0;
    for (int i = 0; i < blocks.Count(); ++i) {
        const TMemoryBlock& block = *blocks.Block(i);
        const uint64_t start = uint64_t{block.Address} + offset;
        for (uint64_t at = start; at < start + static_cast<uint64_t>(std::max(block.Size, 0));) {
            auto& bytes = image[at / chunk];
            if (bytes.empty()) bytes.assign(chunk, 0xFF);
            const uint64_t inChunk = at % chunk;
            const uint64_t n = std::min(start + static_cast<uint64_t>(block.Size) - at, chunk - inChunk);
            std::copy_n(block.Data() + (at - start), n, bytes.begin() + static_cast<std::ptrdiff_t>(inChunk));
            first = std::min(first, at / chunk);
            at += n;
            end = std::max(end, at);
        }
    }
    if (image.empty()) return true;
    const uint64_t chunks = end / chunk - first + 1;
    // Chunks go out in the order the blocks reach them, each chunk once even when blocks overlap
    // or come out of address order: a chunk written twice would add its bytes twice to the checksum.
    std::set<uint64_t> written;
    for (int i = 0; i < blocks.Count(); ++i) {
        const TMemoryBlock& block = *blocks.Block(i);
        if (block.Size <= 0) continue;
        const uint64_t start = uint64_t{block.Address} + offset;
        for (uint64_t number = start / chunk; number <= (start + static_cast<uint64_t>(block.Size) - 1) / chunk; ++number) {
            if (!written.insert(number).second) continue;
            const uint64_t address = number * chunk;
            WriteBlock(image[number].data(), static_cast<uint32_t>(address), static_cast<int32_t>(chunk),
                       static_cast<int32_t>(chunk), IsEepromAddress(address));
            if (Cancelled(number - first + 1, chunks)) return false;
        }
    }
    return true;
}

bool TBlockTransfer::FindFirmwareId(bool eeprom, bool textMode, std::string& version)
{
    const TChip& chip = CurrentChip();
    version.clear();
    core_.PostLogLine("Поиск Firmware идентификатора...");
    const std::string caption = platform::Format(
        eeprom ? "Поиск Firmware идентификатора в EEP (%s)" : "Поиск Firmware идентификатора в FLASH (%s)",
        chip.Name.c_str());
    ProgressScope progress(caption);
    // The host shows the search as it shows a transfer: the caption, a bar that the
    // percentages move and its cancel button. Retries keep naming the search's log line.
    ShowCaption(caption);
    const int32_t chunk = ChunkSize(chip);
    const int64_t chunks = eeprom ? chip.SizeEPP / chunk : 65536 / chunk;
    if (eeprom && chunks <= 0) throw ESarnupolex("У " + chip.Name + " нет EEPROM");
    const uint64_t start = !eeprom && chip.LinearAddr ? chip.FlashStartAddress : 0;
    const auto read = [&](int64_t i) {
        return ReadBlock(static_cast<uint32_t>(start + static_cast<uint64_t>(i) * static_cast<uint64_t>(chunk)), chunk,
                         eeprom, chunk);
    };
    const size_t keep = kFirmwareIdMarker.size() - 1; // the previous chunk's bytes a marker may start in
    std::vector<uint8_t> tail;  // the last bytes of the chunk before
    std::vector<uint8_t> ahead; // a chunk read in advance to complete a version
    for (int64_t i = 0; i < chunks; ++i) {
        std::vector<uint8_t> window = std::move(tail);
        const std::vector<uint8_t> bytes = ahead.empty() ? read(i) : std::move(ahead);
        ahead.clear();
        window.insert(window.end(), bytes.begin(), bytes.end());
        const int64_t found = FindPattern(reinterpret_cast<const uint8_t*>(kFirmwareIdMarker.data()), window.data(),
                                          kFirmwareIdMarker.size(), window.size());
        if (found >= 0) {
            std::string text;
            size_t at = static_cast<size_t>(found) + 1; // found: the marker's last byte
            for (int64_t next = i + 1;; ++next) {
                while (at < window.size() && VersionByte(window[at], textMode)) text += static_cast<char>(window[at++]);
                if (at < window.size() || next >= chunks) break;
                // The version runs to the end of the bytes read: the next chunk completes it.
                ahead = read(next);
                window.insert(window.end(), ahead.begin(), ahead.end());
            }
            version = platform::AnsiToUtf8(text);
            if (!version.empty()) return true;
        }
        if (i + 1 == chunks) break;
        const uint64_t percent = (static_cast<uint64_t>(i + 1) * 100 + static_cast<uint64_t>(chunks) / 2) /
                                 static_cast<uint64_t>(chunks);
        if (Cancelled(static_cast<uint64_t>(i + 1), static_cast<uint64_t>(chunks)) || !SetProgress(static_cast<int>(percent))) {
            version.clear();
            return false;
        }
        tail.assign(bytes.end() - static_cast<std::ptrdiff_t>(std::min(keep, bytes.size())), bytes.end());
    }
    return true;
}
