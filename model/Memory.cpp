#include "model/Memory.h"

#include "model/IntelHex.h"
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

void TMemory::LoadFromHexStream(std::istream& stream, uint32_t base)
{
    THexReader reader(stream, base);
    // A record of 16 bytes takes 45 characters: room for as many blocks at once.
    blocks_.reserve(blocks_.size() + reader.Expected() / 45);
    TBlockSlabs slabs;
    reader.Read([&](uint32_t address, const uint8_t* bytes, size_t count) {
        TMemoryBlock* block = Insert(TMemoryBlock::Make(address, static_cast<int32_t>(count), slabs));
        std::memcpy(block->Data(), bytes, count);
    });
}

void TMemory::SaveToHexStream(std::ostream& stream, bool linear, uint32_t base, int recordLength) const
{
    THexWriter(stream, linear, base, recordLength).Write(blocks_);
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
