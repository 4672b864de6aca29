#include "model/Memory.h"

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <sanitizer/asan_interface.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <new>
#include <queue>

// ---------------------------------------------------------------------------------------
// Block memory
//
// Every block object lies behind an 8-byte prefix that names the slab holding it, or
// none when the block has an allocation of its own. A slab is one run of memory shared
// by many blocks made one after another (the blocks of a HEX file); it counts its live
// blocks and goes back to the system with the last one, whichever thread releases it.
// Few large runs instead of a million small allocations spare the system a page fault
// for every 4 KiB of blocks: the largest slabs ask for huge pages and are filled with
// pages at once.

namespace {

struct Slab {
    std::atomic<size_t> live; // blocks in it, plus one while the reader still fills it
    size_t bytes;
    bool mapped; // from mmap, else from operator new
};

struct BlockPrefix {
    Slab* slab;
};
static_assert(sizeof(BlockPrefix) == 8 && alignof(TMemoryBlock) <= 8, "the object follows its prefix aligned");

constexpr size_t kSlabHeader = (sizeof(Slab) + 7) / 8 * 8;

// Under AddressSanitizer the room of a slab that no block holds is poisoned, and a gap
// behind every block keeps it so: a block's neighbours are out of its reach, as they are
// for blocks of their own allocation.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kRedZone = 16;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kRedZone = 16;
#else
constexpr size_t kRedZone = 0;
#endif
#else
constexpr size_t kRedZone = 0;
#endif
constexpr size_t kFirstSlab = size_t{16} << 10;
constexpr size_t kHugePage = size_t{2} << 20;

BlockPrefix* PrefixOf(void* object) { return reinterpret_cast<BlockPrefix*>(static_cast<char*>(object) - sizeof(BlockPrefix)); }

// A block of its own allocation keeps the alignment of operator new: its prefix takes
// the second half of 16 bytes in front of it.
constexpr size_t kOwnFront = 16;

void* OwnAllocation(size_t objectBytes)
{
    char* const memory = static_cast<char*>(::operator new(kOwnFront + objectBytes));
    void* const object = memory + kOwnFront;
    PrefixOf(object)->slab = nullptr;
    return object;
}

void ReleaseSlab(Slab* slab) noexcept
{
    if (slab->live.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    const size_t bytes = slab->bytes;
    const bool mapped = slab->mapped;
    ASAN_UNPOISON_MEMORY_REGION(slab, bytes);
    slab->~Slab();
    if (mapped)
        munmap(slab, bytes);
    else
        ::operator delete(slab);
}

// A huge page of its own, aligned to its size, or none when the system gives no
// mapping.
void* MapHugePage()
{
    void* const area = mmap(nullptr, 2 * kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto at = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (at + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > at) munmap(area, aligned - at);
    if (aligned + kHugePage < at + 2 * kHugePage) munmap(reinterpret_cast<void*>(aligned + kHugePage), at + kHugePage - aligned);
    void* const page = reinterpret_cast<void*>(aligned);
    // Both are hints: without them the pages come one fault at a time.
    madvise(page, kHugePage, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    madvise(page, kHugePage, MADV_POPULATE_WRITE);
#endif
    return page;
}

} // namespace

// The slabs of one reading: hands out room for blocks from the current slab and starts a
// new one, twice as large up to a huge page, when it is full.
class TBlockSlabs {
public:
    TBlockSlabs() = default;
    TBlockSlabs(const TBlockSlabs&) = delete;
    TBlockSlabs& operator=(const TBlockSlabs&) = delete;
    ~TBlockSlabs()
    {
        if (slab_) ReleaseSlab(slab_);
    }

    // Room for an object of the given size, behind its prefix.
    void* Allocate(size_t objectBytes)
    {
        const size_t need = sizeof(BlockPrefix) + (objectBytes + 7) / 8 * 8 + kRedZone;
        if (need > kHugePage - kSlabHeader) return OwnAllocation(objectBytes);
        if (!slab_ || static_cast<size_t>(end_ - next_) < need) Start(need);
        auto* prefix = reinterpret_cast<BlockPrefix*>(next_);
        ASAN_UNPOISON_MEMORY_REGION(prefix, sizeof(BlockPrefix) + objectBytes);
        next_ += need;
        prefix->slab = slab_;
        slab_->live.fetch_add(1, std::memory_order_relaxed);
        return prefix + 1;
    }

private:
    void Start(size_t need)
    {
        size_t bytes = nextBytes_;
        while (bytes - kSlabHeader < need) bytes *= 2;
        void* memory = bytes >= kHugePage ? MapHugePage() : nullptr;
        const bool mapped = memory != nullptr;
        if (!memory) memory = ::operator new(bytes);
        Slab* const slab = new (memory) Slab{{1}, bytes, mapped};
        if (slab_) ReleaseSlab(slab_);
        slab_ = slab;
        next_ = static_cast<char*>(memory) + kSlabHeader;
        end_ = static_cast<char*>(memory) + bytes;
        ASAN_POISON_MEMORY_REGION(next_, bytes - kSlabHeader);
        nextBytes_ = std::min(bytes * 2, kHugePage);
    }

    Slab* slab_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
    size_t nextBytes_ = kFirstSlab;
};

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

std::unique_ptr<TMemoryBlock> TMemoryBlock::Make(uint32_t address, int32_t size, TBlockSlabs& slabs)
{
    const size_t extra = size > 0 ? static_cast<size_t>(size) : 0;
    void* const memory = slabs.Allocate(sizeof(TMemoryBlock) + extra);
    return std::unique_ptr<TMemoryBlock>(::new (memory) TMemoryBlock(address, size, InlineTag{}));
}

void TMemoryBlock::Release() { delete this; }

void* TMemoryBlock::operator new(std::size_t bytes) { return OwnAllocation(bytes); }

void* TMemoryBlock::operator new(std::size_t bytes, InlineTag, std::size_t extra)
{
    static_assert(sizeof(TMemoryBlock) % alignof(uint64_t) == 0, "the bytes follow the object aligned");
    return OwnAllocation(bytes + extra);
}

void TMemoryBlock::operator delete(void* p) noexcept
{
    if (!p) return;
    BlockPrefix* const prefix = PrefixOf(p);
    if (prefix->slab)
        ReleaseSlab(prefix->slab);
    else
        ::operator delete(static_cast<char*>(p) - kOwnFront);
}

void TMemoryBlock::operator delete(void* p, InlineTag, std::size_t) noexcept { TMemoryBlock::operator delete(p); }

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

namespace {
constexpr size_t kMappedList = size_t{1} << 20;
}

void* TMemory::AllocateList(std::size_t bytes)
{
    if (bytes < kMappedList) return ::operator new(bytes);
    void* const p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_POPULATE_WRITE
    madvise(p, bytes, MADV_POPULATE_WRITE); // a hint: without it the pages come one fault at a time
#endif
    return p;
}

void TMemory::FreeList(void* p, std::size_t bytes) noexcept
{
    if (bytes < kMappedList)
        ::operator delete(p);
    else
        munmap(p, bytes);
}

TMemory::~TMemory() { ClearBlocks(); }

TMemoryBlock* TMemory::AddBlock(uint32_t address, int32_t size) { return Insert(TMemoryBlock::Make(address, size)); }

TMemoryBlock* TMemory::Insert(std::unique_ptr<TMemoryBlock> block)
{
    TMemoryBlock* result = block.get();
    if (sorted_) {
        auto at = std::upper_bound(blocks_.begin(), blocks_.end(), result->Address,
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
    // The bytes go in runs, each from the first block in list order that holds its
    // start, as FindBlock gives it. The runs are found in one sweep over the blocks that
    // reach into the range, not with a search of the whole list for each run.
    const uint64_t from = address;
    const uint64_t to = from + buffer.size();
    struct Candidate {
        uint64_t start, end;
        TMemoryBlock* block; // its position among the candidates is its list order
    };
    std::vector<Candidate> candidates;
    for (const auto& b : blocks_) {
        const uint64_t start = b->Address;
        const uint64_t end = start + uint64_t(std::max(b->Size, 0));
        if (start < end && start < to && end > from) candidates.push_back({start, end, b.get()});
    }
    std::vector<size_t> byStart(candidates.size());
    for (size_t i = 0; i < byStart.size(); ++i) byStart[i] = i;
    std::stable_sort(byStart.begin(), byStart.end(),
                     [&](size_t a, size_t b) { return candidates[a].start < candidates[b].start; });

    // The candidates that start at or before the current address, earliest in list first;
    // those that ended leave when they come to the top.
    std::priority_queue<size_t, std::vector<size_t>, std::greater<size_t>> open;
    size_t next = 0;
    for (uint64_t at = from; at < to;) {
        while (next < byStart.size() && candidates[byStart[next]].start <= at) open.push(byStart[next++]);
        while (!open.empty() && candidates[open.top()].end <= at) open.pop();
        if (open.empty()) return false;
        const Candidate& c = candidates[open.top()];
        uint64_t limit = std::min(to, c.end);
        if (next < byStart.size()) limit = std::min(limit, candidates[byStart[next]].start);
        uint8_t* const image = c.block->Data() + (at - c.start);
        uint8_t* const outside = buffer.data() + (at - from);
        const size_t n = static_cast<size_t>(limit - at);
        if (toImage)
            std::memcpy(image, outside, n);
        else
            std::memcpy(outside, image, n);
        at = limit;
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

void TMemory::LoadFromHexStream(std::istream& stream, uint32_t base)
{
    THexReader reader(stream, base);
    // A record of 16 bytes takes 45 characters: room for as many blocks at once.
    blocks_.reserve(blocks_.size() + reader.Expected() / 45);
    TBlockSlabs slabs;
    uint32_t address = 0;
    std::span<const uint8_t> bytes;
    while (reader.Next(address, bytes)) {
        TMemoryBlock* block = Insert(TMemoryBlock::Make(address, static_cast<int32_t>(bytes.size()), slabs));
        std::memcpy(block->Data(), bytes.data(), bytes.size());
    }
}

void TMemory::SaveToHexStream(std::ostream& stream, bool linear, uint32_t base, int recordLength) const
{
    // Every window value must fit: a block that does not end within 4 GiB is not written.
    for (const auto& block : blocks_) THexWriter::CheckRange(block->Address, block->Size, base);
    THexWriter out(stream, linear, base, recordLength);
    for (const auto& block : blocks_) out.WriteBlock(block->Address, block->Data(), block->Size);
    out.Finish();
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
