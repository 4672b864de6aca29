// Reads or writes a list of blocks through the loader's block transfer over the scripted
// transport, each request answered from the input: a good reply (reads: the reply frame
// with data of the input; writes: the echo), an exception reply with or without CRC,
// noise, silence, a reply with one byte changed, cut short, or with noise in front of or
// behind it; each in pieces of input-chosen sizes, maybe after a silence (virtual clock).
// The result is either a reported failure (the library's exception) or success with:
// - reads: every block byte taken from the reply frame read after the last attempt of
//   its chunk's request (chunks of the Sector, 128 for 256), and that frame whole, of
//   the expected length, with a good CRC;
// - writes: every chunk a block touches sent with the image's bytes (0xFF where no block
//   lies, the later block where two overlap) and answered by an equal echo.
// Never success over a chunk whose reply did not pass its checks.
// Input: a mode byte (bit 0: write, bit 1: linear addressing, bits 2-3: retries - 1,
// bits 4-7: the chunk size's index), the time-out in 2 ms steps, the block count - 1
// (mod 3), per block an EEPROM flag byte, an address word and a size byte (mod 48); for
// writes an offset word; then one answer per request as above.

#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/io/Modbus.h"
#include "loader/protocol/LoaderTransfer.h"
#include "model/Memory.h"
#include "platform/Exceptions.h"
#include "tests/loader/fuzz/FuzzCore.h"
#include "tests/loader/fuzz/FuzzInput.h"
#include "tests/model/fuzz/FuzzCheck.h"
#include "tests/support/ScriptedTransport.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

using fuzzcheck::Require;

namespace {

constexpr int32_t kChunkSizes[] = {1, 2, 3, 4, 5, 7, 8, 16, 32, 64, 128, 256, 6, 12, 24, 48};
constexpr uint32_t kFlashBase = 0x08000000;
constexpr uint32_t kEepromBase = 0x80000000;

std::string WithCrc(std::string pdu)
{
    const uint16_t crc = ModbusCrc16(reinterpret_cast<const uint8_t*>(pdu.data()), static_cast<uint16_t>(pdu.size()));
    pdu += static_cast<char>(crc >> 8);
    pdu += static_cast<char>(crc & 0xFF);
    return pdu;
}

// One request as it went out and where the bytes read after it start.
struct Request {
    std::string pdu;        // without its CRC
    size_t replyAt = 0;     // offset in the bytes delivered
};

// Answers each request from the input, as the header describes.
void Answer(fuzzinput::Input& input, testsupport::ScriptedTransport& transport, const std::string& frame,
            std::vector<Request>& requests)
{
    const std::string pdu = frame.substr(0, frame.size() >= 2 ? frame.size() - 2 : 0);
    requests.push_back({pdu, transport.Delivered().size()});
    const uint8_t how = input.Byte();
    const uint8_t device = pdu.empty() ? 0 : static_cast<uint8_t>(pdu[0]);
    const uint8_t function = pdu.size() > 1 ? static_cast<uint8_t>(pdu[1]) : 0;
    std::string good;
    if (function == 0x15) {
        good = frame;
    } else {
        const size_t words = pdu.size() >= 10 ? (static_cast<uint8_t>(pdu[8]) << 8 | static_cast<uint8_t>(pdu[9])) : 0;
        std::string reply{static_cast<char>(device), static_cast<char>(function), static_cast<char>(2 * words + 2),
                          static_cast<char>(2 * words + 1), 6};
        reply += input.Bytes(2 * words);
        good = WithCrc(reply);
    }
    const std::string exception{static_cast<char>(device), static_cast<char>(function | 0x80),
                                static_cast<char>(input.Byte() % 10)};
    std::string bytes;
    switch (how & 7) {
    case 0: break; // silence
    case 1: bytes = good; break;
    case 2: bytes = WithCrc(exception); break;
    case 3: bytes = exception; break;
    case 4: bytes = input.Bytes(input.Byte() % 64); break;
    case 5: {
        bytes = good;
        if (!bytes.empty()) bytes[input.Byte() % bytes.size()] ^= static_cast<char>(input.Byte() | 1);
        break;
    }
    case 6: bytes = input.Bytes(input.Byte() % 16) + good; break;
    case 7: bytes = good.substr(0, input.Byte() % (good.size() + 1)) + input.Bytes(input.Byte() % 16); break;
    }
    if (how & 0x08) transport.Silence(uint32_t{input.Byte()} * 2);
    const size_t piece = (how >> 4) + 1u;
    for (size_t at = 0; at < bytes.size(); at += piece) transport.Piece(bytes.substr(at, piece));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzinput::Input input(data, size);
    const uint8_t mode = input.Byte();
    const bool write = mode & 1;
    const bool linear = mode & 2;
    const int retries = ((mode >> 2) & 3) + 1;
    const int32_t chunk = kChunkSizes[mode >> 4];
    const int32_t timeout = int32_t{input.Byte()} * 2;

    TLoaderCore& core = fuzzinput::FuzzCore();
    auto owned = std::make_unique<testsupport::ScriptedTransport>();
    testsupport::ScriptedTransport& transport = *owned;
    core.Connection().AttachDevice("ioType=iotSerial;RetryCount=" + std::to_string(retries) + ";ControllerType=0",
                                   std::move(owned));
    TChip& chip = *core.Connection().Chip();
    chip.Sector = chunk;
    chip.LinearAddr = linear;
    chip.ReadTimeOut = chip.FlashTimeOut = chip.EEPTimeOut = timeout;
    const uint8_t device = core.Chips().AddrDev;

    TMemory memory;
    TBlockList blocks;
    const int count = input.Byte() % 3 + 1;
    for (int i = 0; i < count; ++i) {
        const bool eeprom = input.Byte() & 1;
        const uint32_t address = (eeprom ? kEepromBase : kFlashBase) + (input.Word() & 0x3FFF);
        const int32_t length = input.Byte() % 48;
        TMemoryBlock* block = memory.AddBlock(address, length);
        blocks.AddBlock(block);
        for (int32_t k = 0; k < length; ++k) block->Data()[k] = static_cast<uint8_t>(i * 31 + k * 7 + 1);
    }
    const uint32_t offset = write ? input.Word() & 0x3FFF : 0;

    std::vector<Request> requests;
    transport.SetResponder([&](testsupport::ScriptedTransport& t, const std::string& frame) {
        Answer(input, t, frame, requests);
    });
    TBlockTransfer transfer(core);
    bool done = false;
    try {
        done = write ? transfer.WriteBlocks(blocks, offset, "Запись") : transfer.ReadBlocks(blocks, "Чтение");
    } catch (const platform::Exception&) {
        core.Connection().CloseDevice();
        return 0; // a reported failure
    }
    Require(done, "cancelled without a window");
    const std::string& delivered = transport.Delivered();
    // The bytes read after the last request equal to pdu: the frame its attempt took.
    const auto frameAfterLast = [&](const std::string& pdu, size_t length) -> std::string {
        for (auto it = requests.rbegin(); it != requests.rend(); ++it)
            if (it->pdu == pdu) return delivered.substr(it->replyAt, length);
        fuzzcheck::Fail("a chunk was never requested");
    };

    // Reads go in chunks of the Sector, 128 for a Sector of 256.
    const int32_t readChunk = chunk == 256 ? 128 : chunk;
    const uint64_t step = static_cast<uint64_t>(write ? chunk : readChunk);
    if (write) {
        // The image: every chunk a block touches, 0xFF where no block lies, later blocks over earlier ones.
        std::map<uint64_t, std::string> image;
        for (int i = 0; i < blocks.Count(); ++i) {
            const TMemoryBlock& b = *blocks.Block(i);
            for (int32_t k = 0; k < b.Size; ++k) {
                const uint64_t at = uint64_t{b.Address} + offset + static_cast<uint64_t>(k);
                std::string& bytes = image[at / step];
                if (bytes.empty()) bytes.assign(step, '\xFF');
                bytes[at % step] = static_cast<char>(b.Data()[k]);
            }
        }
        for (const auto& [number, bytes] : image) {
            const uint64_t address = number * step;
            const std::vector<uint8_t> request =
                BlockWriteRequest(device, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(address),
                                  chunk, chunk, IsEepromAddress(address), linear);
            const std::string pdu(request.begin(), request.end());
            Require(frameAfterLast(pdu, pdu.size()) == pdu, "a chunk written without an equal echo");
        }
        core.Connection().CloseDevice();
        return 0;
    }
    // Reads: chunk by chunk in block order, a chunk read again only when another came
    // between; each read is the run of equal requests its attempts sent, the last one
    // taking the frame whose data the block bytes must hold.
    const int32_t expected = BlockReadReplyLength(readChunk);
    size_t next = 0; // the first request not matched yet
    std::string frame;
    int64_t lastChunk = -1;
    for (int i = 0; i < blocks.Count(); ++i) {
        const TMemoryBlock& b = *blocks.Block(i);
        for (int32_t k = 0; k < b.Size; ++k) {
            const uint64_t at = uint64_t{b.Address} + static_cast<uint64_t>(k);
            if (static_cast<int64_t>(at / step) != lastChunk) {
                lastChunk = static_cast<int64_t>(at / step);
                const std::vector<uint8_t> request = BlockReadRequest(
                    device, static_cast<uint32_t>(at / step * step), readChunk, IsEepromAddress(b.Address), readChunk,
                    linear);
                const std::string pdu(request.begin(), request.end());
                Require(next < requests.size() && requests[next].pdu == pdu, "a chunk read without its request");
                while (next + 1 < requests.size() && requests[next + 1].pdu == pdu) ++next;
                frame = delivered.substr(requests[next].replyAt, static_cast<size_t>(expected) + 2);
                ++next;
                Require(frame.size() == static_cast<size_t>(expected) + 2, "a chunk read from a short reply");
                const std::string crc =
                    WithCrc(frame.substr(0, static_cast<size_t>(expected))).substr(static_cast<size_t>(expected));
                Require(frame.compare(static_cast<size_t>(expected), 2, crc) == 0,
                        "a chunk read from a reply with a bad CRC");
            }
            Require(static_cast<uint8_t>(frame[5 + at % step]) == b.Data()[k], "a block byte not from its chunk's reply");
        }
    }
    Require(next == requests.size(), "requests beyond the chunks read");
    core.Connection().CloseDevice();
    return 0;
}
