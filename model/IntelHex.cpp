#include "model/IntelHex.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct HexDigits {
    int8_t value[256];
    constexpr HexDigits() : value()
    {
        for (int c = 0; c < 256; ++c) value[c] = -1;
        for (int c = 0; c < 10; ++c) value['0' + c] = static_cast<int8_t>(c);
        for (int c = 0; c < 6; ++c) {
            value['A' + c] = static_cast<int8_t>(10 + c);
            value['a' + c] = static_cast<int8_t>(10 + c);
        }
    }
};
constexpr HexDigits kHexDigits;

struct HexPairs {
    char text[256][2];
    constexpr HexPairs() : text()
    {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            text[b][0] = digits[b >> 4];
            text[b][1] = digits[b & 15];
        }
    }
};
constexpr HexPairs kHexPairs;

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;

[[noreturn]] void ShortLine(int line)
{
    throw platform::Exception(platform::Format("Слишком короткая строка %d", line));
}

} // namespace

THexReader::THexReader(std::istream& stream, uint32_t base) : stream_(stream), base_(base), bytes_(256)
{
    size_t window = kLargestWindow;
    const auto start = stream.tellg();
    if (start != std::istream::pos_type(-1) && stream.seekg(0, std::ios::end)) {
        const auto end = stream.tellg();
        stream.seekg(start);
        // One more byte than the text, so that the first read already meets its end.
        if (end != std::istream::pos_type(-1) && end >= start) {
            expected_ = static_cast<size_t>(end - start);
            window = std::clamp<size_t>(expected_ + 1, kSmallestWindow, kLargestWindow);
        }
    }
    stream.clear(stream.rdstate() & ~std::ios::failbit);
    capacity_ = window;
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
    Refill();
    if (end_ >= 3 && std::memcmp(buffer_.get(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3; // byte-order mark
}

bool THexReader::NextLine(const char*& line, const char*& lineEnd)
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

void THexReader::Refill()
{
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == capacity_) {
        auto larger = std::make_unique_for_overwrite<char[]>(capacity_ * 2);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    stream_.read(buffer_.get() + end_, static_cast<std::streamsize>(capacity_ - end_));
    end_ += static_cast<size_t>(stream_.gcount());
    if (!stream_) atEnd_ = true; // a short read: the stream is over
}

bool THexReader::Next(uint32_t& address, std::span<const uint8_t>& bytes)
{
    const char* line;
    const char* eol;
    while (!ended_ && NextLine(line, eol)) {
        ++lineNo_;
        if (eol == line || *line != ':') continue;

        // Every pair after the colon is a byte; a lone last character is ignored.
        const size_t count = static_cast<size_t>(eol - line - 1) / 2;
        if (bytes_.size() < count) bytes_.resize(count);
        const unsigned char* s = reinterpret_cast<const unsigned char*>(line + 1);
        uint8_t* b = bytes_.data();
        unsigned sum = 0;
        for (size_t i = 0; i < count; ++i, s += 2) {
            const int hi = kHexDigits.value[s[0]];
            const int lo = kHexDigits.value[s[1]];
            if ((hi | lo) < 0)
                throw platform::EConvertError("'" + std::string(reinterpret_cast<const char*>(s), 2) +
                                              "' is not a valid integer value");
            b[i] = static_cast<uint8_t>(hi << 4 | lo);
            sum += b[i];
        }
        if ((sum & 0xFF) != 0) throw platform::Exception(platform::Format("Неверная контрольная сумма в строке %d", lineNo_));
        if (count < 4) ShortLine(lineNo_);

        const size_t n = b[0];
        switch (b[3]) {
        case 0x00: {
            if (count < 5 + n) ShortLine(lineNo_);
            const uint32_t a = extended_ + (uint32_t{b[1]} << 8 | b[2]);
            if (uint64_t{a} + n > kAddressSpace)
                throw platform::Exception(platform::Format("Запись в строке %d выходит за пределы 4 ГБ", lineNo_));
            if (uint64_t{a} + n < base_) break;
            const size_t skip = a < base_ ? base_ - a : 0;
            if (skip >= n) break;
            address = a + static_cast<uint32_t>(skip) - base_;
            bytes = std::span<const uint8_t>(b + 4 + skip, n - skip);
            return true;
        }
        case 0x01:
            ended_ = true;
            return false;
        case 0x02:
        case 0x04:
            if (n < 2 || count < 5 + n) ShortLine(lineNo_);
            extended_ = uint32_t{b[4]} << 8 | b[5];
            extended_ = b[3] == 0x02 ? extended_ << 4 : extended_ << 16;
            break;
        default:
            break;
        }
    }
    return false;
}

THexWriter::THexWriter(std::ostream& stream, bool linear, uint32_t base, int recordLength)
    : stream_(stream), buf_(std::make_unique_for_overwrite<char[]>(kSize)), base_(base),
      length_(recordLength >= 1 && recordLength <= 255 ? static_cast<size_t>(recordLength) : 255)
{
    if (linear) {
        lastType_ = 0;
        ExtendedRecord(0x04, 0x8000);
    }
}

void THexWriter::CheckRange(uint32_t address, int32_t size, uint32_t base)
{
    const uint64_t start = uint64_t{address} + base;
    const uint64_t end = start + static_cast<uint64_t>(std::max(size, 0));
    if (start >= kAddressSpace || end > kAddressSpace)
        throw platform::Exception(platform::Format("Блок данных %.8llX - %.8llX выходит за пределы 4 ГБ",
                                                   static_cast<unsigned long long>(start),
                                                   static_cast<unsigned long long>(end)));
}

void THexWriter::Record(uint8_t type, uint32_t address, const uint8_t* data, size_t n)
{
    const size_t need = 13 + 2 * n;
    if (pos_ + need > kSize) Flush();
    char* o = buf_.get() + pos_;
    *o++ = ':';
    unsigned sum = 0;
    auto put = [&o, &sum](unsigned byte) {
        std::memcpy(o, kHexPairs.text[byte & 0xFF], 2);
        o += 2;
        sum += byte;
    };
    put(static_cast<unsigned>(n));
    put((address >> 8) & 0xFF);
    put(address & 0xFF);
    put(type);
    for (size_t i = 0; i < n; ++i) put(data[i]);
    put(0x100 - (sum & 0xFF));
    *o++ = '\r';
    *o++ = '\n';
    pos_ = static_cast<size_t>(o - buf_.get());
}

void THexWriter::ExtendedRecord(uint8_t type, uint32_t value)
{
    if (type == lastType_ && value == lastValue_) return;
    const uint8_t data[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Record(type, 0, data, 2);
    lastType_ = type;
    lastValue_ = value;
}

void THexWriter::Flush()
{
    stream_.write(buf_.get(), static_cast<std::streamsize>(pos_));
    pos_ = 0;
}

void THexWriter::WriteBlock(uint32_t address, const uint8_t* data, int32_t blockSize)
{
    const uint32_t a = address + base_;
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

    const size_t size = blockSize > 0 ? static_cast<size_t>(blockSize) : 0;
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

void THexWriter::Finish()
{
    Record(0x01, 0, nullptr, 0);
    Flush();
}
