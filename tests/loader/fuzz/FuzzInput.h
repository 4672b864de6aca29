#pragma once
// The fuzz input read front to back by the loader's fuzz targets; past its end every
// value reads as 0 and every run of bytes as empty.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzinput {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
    // Two bytes, the first one high.
    uint16_t Word()
    {
        const uint16_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }
    // Up to count bytes (fewer at the end).
    std::string Bytes(size_t count)
    {
        const size_t n = std::min(count, size_ - std::min(at_, size_));
        std::string bytes(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return bytes;
    }
    // Everything left.
    std::string Rest() { return Bytes(size_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace fuzzinput
