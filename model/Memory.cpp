#include "model/Memory.h"

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <new>

// ---------------------------------------------------------------------------------------
// TMemoryBlock

TMemoryBlock::TMemoryBlock(uint32_t address, int32_t size) : Address(address), Size(size)
{
    if (size > 0) {
        data_ = new uint8_t[static_cast<size_t>(size)](); // zero-filled
        ownsData_ = true;
    }
}

TMemoryBlock::TMemoryBlock(uint32_t address, int32_t size, InlineTag) noexcept : Address(address), Size(size)
{
    if (size > 0) {
        data_ = reinterpret_cast<uint8_t*>(this) + sizeof(TMemoryBlock);
        std::memset(data_, 0, static_cast<size_t>(size));
    }
}

TMemoryBlock::~TMemoryBlock()
{
    if (ownsData_) delete[] data_;
}

std::unique_ptr<TMemoryBlock> TMemoryBlock::Make(uint32_t address, int32_t size)
{
    const size_t extra = size > 0 ? static_cast<size_t>(size) : 0;
    return std::unique_ptr<TMemoryBlock>(new (InlineTag{}, extra) TMemoryBlock(address, size, InlineTag{}));
}

void TMemoryBlock::Release() { delete this; }

void* TMemoryBlock::operator new(std::size_t bytes) { return ::operator new(bytes); }

void* TMemoryBlock::operator new(std::size_t bytes, InlineTag, std::size_t extra)
{
    static_assert(sizeof(TMemoryBlock) % alignof(uint64_t) == 0, "the bytes follow the object aligned");
    return ::operator new(bytes + extra);
}

void TMemoryBlock::operator delete(void* p) noexcept { ::operator delete(p); }

void TMemoryBlock::operator delete(void* p, InlineTag, std::size_t) noexcept { ::operator delete(p); }

// ---------------------------------------------------------------------------------------
// TBlockList

namespace {

[[noreturn]] void ListIndexError(int index)
{
    throw platform::EListError(platform::Format("List index out of bounds (%d)", index));
}

} // namespace

TBlockList::TBlockList() = default;
TBlockList::~TBlockList() = default;

void TBlockList::Release() { delete this; }

int TBlockList::Count() const { return static_cast<int>(items_.size()); }

void* TBlockList::Item(int index) const
{
    if (index < 0 || index >= Count()) ListIndexError(index);
    return items_[static_cast<size_t>(index)];
}

void TBlockList::Add(void* item) { items_.push_back(item); }

void TBlockList::Delete(int index)
{
    if (index < 0 || index >= Count()) ListIndexError(index);
    items_.erase(items_.begin() + index);
}

void TBlockList::Clear() { items_.clear(); }

int32_t TBlockList::Integer(int index) const
{
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(Item(index)));
}

void TBlockList::AddInteger(int32_t value) { Add(reinterpret_cast<void*>(static_cast<intptr_t>(value))); }

// ---------------------------------------------------------------------------------------
// TMemory: blocks, copy and search

TMemory::TMemory() = default;

TMemory::~TMemory() { ClearBlocks(); }

TMemoryBlock* TMemory::AddBlock(uint32_t address, int32_t size)
{
    auto block = TMemoryBlock::Make(address, size);
    TMemoryBlock* result = block.get();
    if (sorted_) {
        auto at = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                                   [](uint32_t a, const std::unique_ptr<TMemoryBlock>& b) { return a < b->Address; });
        blocks_.insert(at, std::move(block));
    } else {
        blocks_.push_back(std::move(block));
    }
    return result;
}

void TMemory::ClearBlocks() { blocks_.clear(); }

int TMemory::BlockCount() const { return static_cast<int>(blocks_.size()); }

TMemoryBlock* TMemory::BlockByIndex(int index) const
{
    if (index < 0 || index >= BlockCount()) ListIndexError(index);
    return blocks_[static_cast<size_t>(index)].get();
}

TMemoryBlock* TMemory::FindBlock(uint32_t address) const
{
    for (const auto& b : blocks_)
        if (b->Size > 0 && address >= b->Address && uint64_t{address} < uint64_t{b->Address} + uint64_t(b->Size))
            return b.get();
    return nullptr;
}

bool TMemory::CopyRange(uint32_t address, std::span<uint8_t> buffer, bool toImage)
{
    uint64_t at = address;
    size_t done = 0;
    while (done < buffer.size()) {
        TMemoryBlock* b = at <= UINT32_MAX ? FindBlock(static_cast<uint32_t>(at)) : nullptr;
        if (!b) return false;
        const uint64_t offset = at - b->Address;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size() - done, uint64_t(b->Size) - offset));
        uint8_t* image = b->Data() + offset;
        if (toImage)
            std::memcpy(image, buffer.data() + done, n);
        else
            std::memcpy(buffer.data() + done, image, n);
        done += n;
        at += n;
    }
    return true;
}

void TMemory::SetSorted(bool value)
{
    sorted_ = value;
    if (value)
        std::stable_sort(blocks_.begin(), blocks_.end(),
                         [](const auto& a, const auto& b) { return a->Address < b->Address; });
}

std::optional<std::vector<uint8_t>> TMemory::SearchPattern(std::span<const uint8_t> pattern, int64_t& count) const
{
    if (blocks_.empty()) return std::nullopt;

    std::vector<const TMemoryBlock*> order;
    order.reserve(blocks_.size());
    for (const auto& b : blocks_) order.push_back(b.get());
    if (!sorted_)
        std::stable_sort(order.begin(), order.end(),
                         [](const TMemoryBlock* a, const TMemoryBlock* b) { return a->Address < b->Address; });

    const uint64_t low = order.front()->Address;
    uint64_t high = low;
    for (const TMemoryBlock* b : order) high = std::max(high, uint64_t{b->Address} + uint64_t(std::max(b->Size, 0)));

    std::vector<uint8_t> flat(static_cast<size_t>(high - low));
    for (const TMemoryBlock* b : order)
        if (b->Size > 0) std::memcpy(flat.data() + (b->Address - low), b->Data(), static_cast<size_t>(b->Size));

    const int64_t m = FindPattern(pattern.data(), flat.data(), pattern.size(), flat.size());
    if (m < 0) return std::nullopt;

    const int64_t after = static_cast<int64_t>(flat.size()) - m - 1;
    if (count == -1)
        count = after;
    else if (count < 0 || count > after)
        return std::nullopt;
    const auto from = flat.begin() + (m + 1);
    return std::vector<uint8_t>(from, from + count);
}

int64_t FindPattern(const uint8_t* pattern, const uint8_t* text, size_t patternLength, size_t textLength)
{
    if (patternLength == 0 || patternLength > textLength) return -1;
    size_t skip[256];
    std::fill(std::begin(skip), std::end(skip), patternLength);
    for (size_t i = 0; i + 1 < patternLength; ++i) skip[pattern[i]] = patternLength - 1 - i;

    const size_t last = patternLength - 1;
    for (size_t p = last; p < textLength; p += skip[text[p]]) {
        size_t k = 0;
        while (k < patternLength && pattern[last - k] == text[p - k]) ++k;
        if (k == patternLength) return static_cast<int64_t>(p);
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Intel HEX

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

// The rest of the stream from its current position.
std::string ReadRest(std::istream& stream)
{
    std::string text;
    constexpr size_t chunk = size_t{1} << 20;
    const auto start = stream.tellg();
    if (start != std::istream::pos_type(-1) && stream.seekg(0, std::ios::end)) {
        const auto end = stream.tellg();
        stream.seekg(start);
        if (end != std::istream::pos_type(-1) && end > start) text.reserve(static_cast<size_t>(end - start) + chunk);
    }
    stream.clear(stream.rdstate() & ~std::ios::failbit);
    size_t used = 0;
    while (stream) {
        text.resize(used + chunk);
        stream.read(text.data() + used, static_cast<std::streamsize>(chunk));
        used += static_cast<size_t>(stream.gcount());
    }
    text.resize(used);
    return text;
}

[[noreturn]] void ShortLine(int line)
{
    throw platform::Exception(platform::Format("Слишком короткая строка %d", line));
}

// Collects the text in a preallocated buffer and hands it to the stream in large pieces.
class HexWriter {
public:
    explicit HexWriter(std::ostream& stream) : stream_(stream), buf_(size_t{1} << 20) {}

    void Record(uint8_t type, uint32_t address, const uint8_t* data, size_t n)
    {
        const size_t need = 13 + 2 * n;
        if (pos_ + need > buf_.size()) Flush();
        char* o = buf_.data() + pos_;
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
        pos_ = static_cast<size_t>(o - buf_.data());
    }

    void Flush()
    {
        stream_.write(buf_.data(), static_cast<std::streamsize>(pos_));
        pos_ = 0;
    }

private:
    std::ostream& stream_;
    std::vector<char> buf_;
    size_t pos_ = 0;
};

} // namespace

void TMemory::LoadFromHexStream(std::istream& stream, uint32_t base)
{
    const std::string text = ReadRest(stream);
    const char* p = text.data();
    const char* const end = p + text.size();
    if (text.size() >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;

    std::vector<uint8_t> bytes(256);
    uint32_t extended = 0;
    int lineNo = 0;
    while (p < end) {
        ++lineNo;
        const char* eol = p;
        while (eol < end && *eol != '\r' && *eol != '\n') ++eol;
        const char* const line = p;
        p = eol;
        if (p < end && *p++ == '\r' && p < end && *p == '\n') ++p;

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
            if ((hi | lo) < 0)
                throw platform::EConvertError("'" + std::string(reinterpret_cast<const char*>(s), 2) +
                                              "' is not a valid integer value");
            b[i] = static_cast<uint8_t>(hi << 4 | lo);
            sum += b[i];
        }
        if ((sum & 0xFF) != 0) throw platform::Exception(platform::Format("Неверная контрольная сумма в строке %d", lineNo));
        if (count < 4) ShortLine(lineNo);

        const size_t n = b[0];
        switch (b[3]) {
        case 0x00: {
            if (count < 5 + n) ShortLine(lineNo);
            const uint32_t a = extended + (uint32_t{b[1]} << 8 | b[2]);
            if (uint64_t{a} + n < base) break;
            const size_t skip = a < base ? base - a : 0;
            if (skip >= n) break;
            const uint32_t at = a + static_cast<uint32_t>(skip);
            TMemoryBlock* block = AddBlock(at - base, static_cast<int32_t>(n - skip));
            std::memcpy(block->Data(), b + 4 + skip, n - skip);
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

void TMemory::SaveToHexStream(std::ostream& stream, bool linear, uint32_t base, int recordLength) const
{
    HexWriter out(stream);
    uint8_t lastType = 0x02;
    uint32_t lastValue = 0;
    auto extendedRecord = [&](uint8_t type, uint32_t value) {
        if (type == lastType && value == lastValue) return;
        const uint8_t data[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        out.Record(type, 0, data, 2);
        lastType = type;
        lastValue = value;
    };
    if (linear) {
        lastType = 0;
        extendedRecord(0x04, 0x8000);
    }

    const size_t length = recordLength >= 1 && recordLength <= 255 ? static_cast<size_t>(recordLength) : 255;
    for (const auto& block : blocks_) {
        const uint32_t a = block->Address + base;
        const uint64_t windowBase = a & 0xFFFF0000u;
        // Below 1 MiB a segment value addresses the 64 KiB window; above it a linear one.
        uint8_t type = a >= 0x100000 ? 0x04 : 0x02;
        uint32_t value = type == 0x04 ? a >> 16 : (a >> 16) << 12;
        extendedRecord(type, value);

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
            extendedRecord(type, value);
        };

        const size_t size = block->Size > 0 ? static_cast<size_t>(block->Size) : 0;
        const uint8_t* data = block->Data();
        for (size_t i = 0; i < size; i += length) {
            const size_t n = std::min(length, size - i);
            uint64_t offset = o + i - w;
            if (offset > 0xFFFF) {
                nextWindow();
                offset -= 0x10000;
            }
            if (type == 0x02 && offset + n > 0x10000) {
                // A segment record wraps inside its window: split it at the boundary.
                const size_t first = static_cast<size_t>(0x10000 - offset);
                out.Record(0x00, static_cast<uint32_t>(offset), data + i, first);
                nextWindow();
                out.Record(0x00, 0, data + i + first, n - first);
            } else {
                out.Record(0x00, static_cast<uint32_t>(offset), data + i, n);
            }
        }
    }
    out.Record(0x01, 0, nullptr, 0);
    out.Flush();
}

void TMemory::SaveToHexFile(const std::filesystem::path& fileName, bool linear, uint32_t base, int recordLength) const
{
    platform::WriteFileAtomically(fileName,
                                  [&](std::ostream& stream) { SaveToHexStream(stream, linear, base, recordLength); });
}

void TMemory::LoadFromHexFile(const std::filesystem::path& fileName)
{
    std::ifstream stream;
    platform::OpenInputFile(fileName, stream);
    LoadFromHexStream(stream, 0);
}
