#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <vector>

// Intel HEX text of a memory image: the reader and the writer that TMemory's HEX methods
// drive.

// The addresses of Intel HEX text are 32 bits wide.
inline constexpr uint64_t kHexAddressSpace = uint64_t{1} << 32;

// The value of every character as a hexadecimal digit, -1 for the others.
struct THexDigits {
    int8_t value[256];
    constexpr THexDigits() : value()
    {
        for (int c = 0; c < 256; ++c) value[c] = -1;
        for (int c = 0; c < 10; ++c) value['0' + c] = static_cast<int8_t>(c);
        for (int c = 0; c < 6; ++c) {
            value['A' + c] = static_cast<int8_t>(10 + c);
            value['a' + c] = static_cast<int8_t>(10 + c);
        }
    }
};
inline constexpr THexDigits kHexDigits{};

// The data records of Intel HEX text, read from a stream's current position. The text
// is read piece by piece into one window that is reused for the whole stream, so a long
// text is never held whole and a short one costs a window of its own size; the window
// grows only to hold a line longer than itself. A line ends at CR, LF or CR LF; lines
// that do not start with ":" are passed over.
class THexReader {
public:
    // base is the absolute address that becomes address 0; bytes below it are dropped.
    THexReader(std::istream& stream, uint32_t base);
    THexReader(const THexReader&) = delete;
    THexReader& operator=(const THexReader&) = delete;

    // The size of the text when the stream could tell it, else 0.
    size_t Expected() const { return expected_; }

    // Hands every data record, or the part of it at or above base, to
    // onData(address relative to base, bytes, count) in the order of the text; records
    // that leave no bytes are passed over. Reading stops at the end record (the stream is
    // read no further than needed to see it) or at the end of the text. Errors raise
    // platform::EConvertError (a pair that is not a hexadecimal byte: "'%s' is not a
    // valid integer value") or platform::Exception, in this order of checks: "Неверная
    // контрольная сумма в строке %d", "Слишком короткая строка %d" (also a count beyond
    // the line), "Запись в строке %d выходит за пределы 4 ГБ" (a data record that runs
    // past 0xFFFFFFFF); the records before stay handed on. The record loop is here, in
    // the header, so that it and what onData does compile as one loop.
    template <class OnData>
    void Read(OnData&& onData);

private:
    static constexpr size_t kSmallestWindow = 64;
    static constexpr size_t kLargestWindow = size_t{256} << 10;

    // The next line, without its end; false when the text is over.
    bool NextLine(const char*& line, const char*& lineEnd);
    // Moves the unread rest to the front, grows the window when the rest fills it, and
    // reads what fits behind the rest.
    void Refill();
    // The errors, in the order of their checks.
    [[noreturn]] static void NotHex(const unsigned char* pair);
    [[noreturn]] static void BadChecksum(int line);
    [[noreturn]] static void ShortLine(int line);
    [[noreturn]] static void BeyondFourGiB(int line);

    std::istream& stream_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    size_t expected_ = 0;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
    uint32_t base_;
};

// Writes blocks as Intel HEX text: data records with CR LF line ends, each block
// preceded by the extended address record its window needs when it differs from the
// last one written. The text is collected in a buffer and handed to the stream in pieces
// of up to 64 KiB.
class THexWriter {
public:
    // base is added to the block addresses; linear starts the text with the extended
    // linear address 0x8000; recordLength is the number of data bytes per record (0 or
    // above 255: 255).
    THexWriter(std::ostream& stream, bool linear, uint32_t base, int recordLength);
    THexWriter(const THexWriter&) = delete;
    THexWriter& operator=(const THexWriter&) = delete;

    // Writes the records of the blocks (pointers to objects with Address, Size and
    // Data()) in their order, then the end record. Below 1 MiB a segment address record
    // addresses each 64 KiB window, above it a linear one; a segment value cannot pass
    // 0xF000, so the text goes on with linear addresses there, and a segment record that
    // would wrap inside its window is split at the boundary. A block that, with base
    // added, does not end within 4 GiB raises platform::Exception "Блок данных %.8X -
    // %.8X выходит за пределы 4 ГБ" (its absolute start and end) before anything is
    // written. The loop is here, in the header, so that it compiles as one loop over the
    // caller's blocks.
    template <class Blocks>
    void Write(const Blocks& blocks);

private:
    // Room for the longest record: 1 + 2 * (4 + 255 + 1) + 2 characters.
    static constexpr size_t kSize = size_t{64} << 10;

    void Record(uint8_t type, uint32_t address, const uint8_t* data, size_t n);
    // An extended address record, unless it repeats the last one.
    void ExtendedRecord(uint8_t type, uint32_t value);
    void Flush();
    [[noreturn]] static void OutOfRange(uint64_t start, uint64_t end);

    std::ostream& stream_;
    // Not cleared: only written bytes are handed on.
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0;
    bool linear_;
    uint32_t base_;
    size_t length_;
    uint8_t lastType_ = 0x02;
    uint32_t lastValue_ = 0;
};

inline bool THexReader::NextLine(const char*& line, const char*& lineEnd)
{
    for (;;) {
        const char* const p = buffer_.get() + pos_;
        const char* const e = buffer_.get() + end_;
        const char* q = p;
        while (q < e && *q != '\r' && *q != '\n') ++q;
        // A CR at the end of the window may be the first half of CR LF: read on first.
        if (q < e && !(*q == '\r' && q + 1 == e && !atEnd_)) {
            line = p;
            lineEnd = q;
            pos_ = static_cast<size_t>(q - buffer_.get()) + 1;
            if (*q == '\r' && pos_ < end_ && buffer_[pos_] == '\n') ++pos_;
            return true;
        }
        if (atEnd_) {
            if (p == e) return false;
            line = p;
            lineEnd = e;
            pos_ = end_;
            return true;
        }
        Refill();
    }
}

template <class OnData>
void THexReader::Read(OnData&& onData)
{
    std::vector<uint8_t> bytes(256);
    uint32_t extended = 0;
    int lineNo = 0;
    const char* line;
    const char* eol;
    while (NextLine(line, eol)) {
        ++lineNo;
        if (eol == line || *line != ':') continue;

        // Every pair after the colon is a byte; a lone last character is ignored.
        const size_t count = static_cast<size_t>(eol - line - 1) / 2;
        if (bytes.size() < count) bytes.resize(count);
        const unsigned char* s = reinterpret_cast<const unsigned char*>(line + 1);
        uint8_t* b = bytes.data();
        unsigned sum = 0;
        for (size_t i = 0; i < count; ++i, s += 2) {
            const int hi = kHexDigits.value[s[0]];
            const int lo = kHexDigits.value[s[1]];
            if ((hi | lo) < 0) NotHex(s);
            b[i] = static_cast<uint8_t>(hi << 4 | lo);
            sum += b[i];
        }
        if ((sum & 0xFF) != 0) BadChecksum(lineNo);
        if (count < 4) ShortLine(lineNo);

        const size_t n = b[0];
        switch (b[3]) {
        case 0x00: {
            if (count < 5 + n) ShortLine(lineNo);
            const uint32_t a = extended + (uint32_t{b[1]} << 8 | b[2]);
            if (uint64_t{a} + n > kHexAddressSpace) BeyondFourGiB(lineNo);
            if (uint64_t{a} + n < base_) break;
            const size_t skip = a < base_ ? base_ - a : 0;
            if (skip >= n) break;
            onData(a + static_cast<uint32_t>(skip) - base_, b + 4 + skip, n - skip);
            break;
        }
        case 0x01:
            return;
        case 0x02:
        case 0x04:
            if (n < 2 || count < 5 + n) ShortLine(lineNo);
            extended = uint32_t{b[4]} << 8 | b[5];
            extended = b[3] == 0x02 ? extended << 4 : extended << 16;
            break;
        default:
            break;
        }
    }
}

inline void THexWriter::ExtendedRecord(uint8_t type, uint32_t value)
{
    if (type == lastType_ && value == lastValue_) return;
    const uint8_t data[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Record(type, 0, data, 2);
    lastType_ = type;
    lastValue_ = value;
}

template <class Blocks>
void THexWriter::Write(const Blocks& blocks)
{
    // Every window value must fit: a block that does not end within 4 GiB is not written.
    for (const auto& block : blocks) {
        const uint64_t start = uint64_t{block->Address} + base_;
        const uint64_t end = start + static_cast<uint64_t>(std::max(block->Size, 0));
        if (start >= kHexAddressSpace || end > kHexAddressSpace) OutOfRange(start, end);
    }
    if (linear_) {
        lastType_ = 0;
        ExtendedRecord(0x04, 0x8000);
    }

    for (const auto& block : blocks) {
        const uint32_t a = block->Address + base_;
        const uint64_t windowBase = a & 0xFFFF0000u;
        // Below 1 MiB a segment value addresses the 64 KiB window; above it a linear one.
        uint8_t type = a >= 0x100000 ? 0x04 : 0x02;
        uint32_t value = type == 0x04 ? a >> 16 : (a >> 16) << 12;
        ExtendedRecord(type, value);

        const uint64_t o = a & 0xFFFF;
        uint64_t w = 0;
        auto nextWindow = [&] {
            w += 0x10000;
            if (type == 0x02 && value < 0xF000) {
                value += 0x1000;
            } else {
                // A segment value cannot pass 0xF000: go on with linear addresses.
                type = 0x04;
                value = static_cast<uint32_t>((windowBase + w) >> 16) & 0xFFFF;
            }
            ExtendedRecord(type, value);
        };

        const size_t size = block->Size > 0 ? static_cast<size_t>(block->Size) : 0;
        const uint8_t* data = block->Data();
        for (size_t i = 0; i < size; i += length_) {
            const size_t n = std::min(length_, size - i);
            uint64_t offset = o + i - w;
            if (offset > 0xFFFF) {
                nextWindow();
                offset -= 0x10000;
            }
            if (type == 0x02 && offset + n > 0x10000) {
                // A segment record wraps inside its window: split it at the boundary.
                const size_t first = static_cast<size_t>(0x10000 - offset);
                Record(0x00, static_cast<uint32_t>(offset), data + i, first);
                nextWindow();
                Record(0x00, 0, data + i + first, n - first);
            } else {
                Record(0x00, static_cast<uint32_t>(offset), data + i, n);
            }
        }
    }
    Record(0x01, 0, nullptr, 0);
    Flush();
}
