#include "model/IntelHex.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

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

} // namespace

THexReader::THexReader(std::istream& stream, uint32_t base) : stream_(stream), base_(base)
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

void THexReader::NotHex(const unsigned char* pair)
{
    throw platform::EConvertError("'" + std::string(reinterpret_cast<const char*>(pair), 2) +
                                  "' is not a valid integer value");
}

void THexReader::BadChecksum(int line)
{
    throw platform::Exception(platform::Format("Неверная контрольная сумма в строке %d", line));
}

void THexReader::ShortLine(int line)
{
    throw platform::Exception(platform::Format("Слишком короткая строка %d", line));
}

void THexReader::BeyondFourGiB(int line)
{
    throw platform::Exception(platform::Format("Запись в строке %d выходит за пределы 4 ГБ", line));
}

THexWriter::THexWriter(std::ostream& stream, bool linear, uint32_t base, int recordLength)
    : stream_(stream), buf_(std::make_unique_for_overwrite<char[]>(kSize)), linear_(linear), base_(base),
      length_(recordLength >= 1 && recordLength <= 255 ? static_cast<size_t>(recordLength) : 255)
{
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

void THexWriter::Flush()
{
    stream_.write(buf_.get(), static_cast<std::streamsize>(pos_));
    pos_ = 0;
}

void THexWriter::OutOfRange(uint64_t start, uint64_t end)
{
    throw platform::Exception(platform::Format("Блок данных %.8llX - %.8llX выходит за пределы 4 ГБ",
                                               static_cast<unsigned long long>(start),
                                               static_cast<unsigned long long>(end)));
}
