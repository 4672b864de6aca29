#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <span>
#include <vector>

// Intel HEX text of a memory image: the reader and the writer that TMemory's HEX methods
// drive.

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

    // The next data record, or the part of it at or above base: its address relative to
    // base and its bytes, valid until the next call. Records that leave no bytes are
    // passed over. False at the end record (the stream is read no further than needed to
    // see it) or at the end of the text. Errors raise platform::EConvertError (a pair
    // that is not a hexadecimal byte: "'%s' is not a valid integer value") or
    // platform::Exception, in this order of checks: "Неверная контрольная сумма в строке
    // %d", "Слишком короткая строка %d" (also a count beyond the line), "Запись в строке
    // %d выходит за пределы 4 ГБ" (a data record that runs past 0xFFFFFFFF).
    bool Next(uint32_t& address, std::span<const uint8_t>& bytes);

private:
    static constexpr size_t kSmallestWindow = 64;
    static constexpr size_t kLargestWindow = size_t{256} << 10;

    // The next line, without its end; false when the text is over.
    bool NextLine(const char*& line, const char*& lineEnd);
    // Moves the unread rest to the front, grows the window when the rest fills it, and
    // reads what fits behind the rest.
    void Refill();

    std::istream& stream_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_ = 0;
    size_t expected_ = 0;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
    uint32_t base_;
    uint32_t extended_ = 0; // the address of the last extended address record
    int lineNo_ = 0;
    bool ended_ = false;    // the end record was read
    std::vector<uint8_t> bytes_;
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

    // platform::Exception "Блок данных %.8X - %.8X выходит за пределы 4 ГБ" (its absolute
    // start and end) when a block of size bytes at address, with base added, does not
    // end within 4 GiB.
    static void CheckRange(uint32_t address, int32_t size, uint32_t base);
    // The records of a block. Below 1 MiB a segment address record addresses each 64 KiB
    // window, above it a linear one; a segment value cannot pass 0xF000, so the text goes
    // on with linear addresses there, and a segment record that would wrap inside its
    // window is split at the boundary.
    void WriteBlock(uint32_t address, const uint8_t* data, int32_t size);
    // The end record; hands the rest of the text to the stream.
    void Finish();

private:
    // Room for the longest record: 1 + 2 * (4 + 255 + 1) + 2 characters.
    static constexpr size_t kSize = size_t{64} << 10;

    void Record(uint8_t type, uint32_t address, const uint8_t* data, size_t n);
    // An extended address record, unless it repeats the last one.
    void ExtendedRecord(uint8_t type, uint32_t value);
    void Flush();

    std::ostream& stream_;
    // Not cleared: only written bytes are handed on.
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0;
    uint32_t base_;
    size_t length_;
    uint8_t lastType_ = 0x02;
    uint32_t lastValue_ = 0;
};
