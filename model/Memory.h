#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

class TBlockSlabs;

// A block of a sparse memory image: a start address, a size and its own zero-filled
// bytes. The bytes are allocated once by the constructor and never move, so nodes of a
// document may keep the block and offsets into it.
class TMemoryBlock {
public:
    TMemoryBlock(uint32_t address, int32_t size);
    virtual ~TMemoryBlock();
    TMemoryBlock(const TMemoryBlock&) = delete;
    TMemoryBlock& operator=(const TMemoryBlock&) = delete;

    // A block whose bytes follow the object in the same allocation: one allocation per
    // block, which keeps images of a million small blocks cheap to build and to free.
    static std::unique_ptr<TMemoryBlock> Make(uint32_t address, int32_t size);

    // Frees the block in the module that allocated it (blocks cross between the
    // configurator and the loader library).
    virtual void Release();

    uint32_t Address = 0;
    int32_t Size = 0;
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }

    // Every block object, also one of a derived class, is allocated by the module that
    // creates it and freed by its own deleting destructor.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* p) noexcept;

private:
    friend class TMemory;
    // A block placed in one of the slabs: the HEX reader makes its many small blocks
    // there. Such a block is released on its own like any other.
    static std::unique_ptr<TMemoryBlock> Make(uint32_t address, int32_t size, TBlockSlabs& slabs);

    struct InlineTag {};
    TMemoryBlock(uint32_t address, int32_t size, InlineTag) noexcept;
    static void* operator new(std::size_t bytes, InlineTag, std::size_t extra);
    static void operator delete(void* p, InlineTag, std::size_t extra) noexcept;

    uint8_t* data_ = nullptr;
    bool ownsData_ = false;
};

// A list of pointer-sized items handed between the configurator and the loader library:
// memory block objects, or, for the connection settings operation, one 32-bit integer
// (the model code in, the selected device index out). The list is changed and freed
// only through its virtual operations, so each side frees only what it allocated; the
// list never owns the blocks it holds.
class TBlockList {
public:
    TBlockList();
    virtual ~TBlockList();
    TBlockList(const TBlockList&) = delete;
    TBlockList& operator=(const TBlockList&) = delete;

    // Frees the list (not its blocks) in the module that allocated it.
    virtual void Release();

    virtual int Count() const;
    // The item at a list position; outside the list: EListError "List index out of bounds (%d)".
    virtual void* Item(int index) const;
    virtual void Add(void* item);
    virtual void Delete(int index);
    virtual void Clear();

    TMemoryBlock* Block(int index) const { return static_cast<TMemoryBlock*>(Item(index)); }
    void AddBlock(TMemoryBlock* block) { Add(block); }
    int32_t Integer(int index) const;
    void AddInteger(int32_t value);

private:
    std::vector<void*> items_;
};

// A sparse memory image: a list of blocks in the order they were added, or in ascending
// address order while Sorted is set. Blocks may overlap; nothing merges them.
class TMemory {
public:
    TMemory();
    ~TMemory();
    TMemory(const TMemory&) = delete;
    TMemory& operator=(const TMemory&) = delete;

    // A new zero-filled block owned by the image. While Sorted is set it goes behind
    // every block whose address is not above its own.
    TMemoryBlock* AddBlock(uint32_t address, int32_t size);
    void ClearBlocks();
    int BlockCount() const;
    // Outside the list: EListError "List index out of bounds (%d)".
    TMemoryBlock* BlockByIndex(int index) const;
    // The first block in list order that holds the address; an empty block holds none.
    TMemoryBlock* FindBlock(uint32_t address) const;

    // Copies the buffer's bytes into the image at address (toImage) or the image's bytes
    // into the buffer. False at the first address no block holds; the bytes copied up
    // to there stay copied.
    bool CopyRange(uint32_t address, std::span<uint8_t> buffer, bool toImage);

    // The bytes that follow the first occurrence of pattern in the image laid out flat
    // (gaps read as zeros): count of them, or all to the end when count is -1. count
    // receives the length returned. None for an empty image, a missing pattern or too
    // few following bytes.
    std::optional<std::vector<uint8_t>> SearchPattern(std::span<const uint8_t> pattern, int64_t& count) const;

    // Adds every data record of Intel HEX text, read from the stream's current position,
    // as a block of its own, in file order; base is the absolute address that becomes
    // image address 0. The reading stops at the end record; the stream is read no further
    // than needed to see it. Errors raise platform::EConvertError (a pair that is not a
    // hexadecimal byte: "'%s' is not a valid integer value") or platform::Exception, in
    // this order of checks: "Неверная контрольная сумма в строке %d", "Слишком короткая
    // строка %d" (also a count beyond the line), "Запись в строке %d выходит за пределы
    // 4 ГБ" (a data record that runs past 0xFFFFFFFF). Blocks of earlier lines stay.
    void LoadFromHexStream(std::istream& stream, uint32_t base);
    // Writes every block as Intel HEX text; base is added to the block addresses, linear
    // starts the text with the extended linear address 0x8000, recordLength is the number
    // of data bytes per record (0 or above 255: 255). A block that, with base added, does
    // not end within 4 GiB raises platform::Exception "Блок данных %.8X - %.8X выходит за
    // пределы 4 ГБ" (its absolute start and end) before anything is written.
    void SaveToHexStream(std::ostream& stream, bool linear, uint32_t base, int recordLength) const;
    // The file is replaced atomically; a failed save leaves the old file as it was.
    void SaveToHexFile(const std::filesystem::path& fileName, bool linear, uint32_t base, int recordLength) const;
    void LoadFromHexFile(const std::filesystem::path& fileName);

    bool Sorted() const { return sorted_; }
    // Setting it sorts the list at once by ascending address (equal addresses keep
    // their order).
    void SetSorted(bool value);

private:
    // Adds the block as AddBlock does.
    TMemoryBlock* Insert(std::unique_ptr<TMemoryBlock> block);

    // Gives a large list its pages at once instead of one fault at a time.
    template <class T>
    struct PopulatedAllocator {
        using value_type = T;
        PopulatedAllocator() = default;
        template <class U>
        PopulatedAllocator(const PopulatedAllocator<U>&) noexcept {}
        T* allocate(std::size_t n) { return static_cast<T*>(AllocateList(n * sizeof(T))); }
        void deallocate(T* p, std::size_t n) noexcept { FreeList(p, n * sizeof(T)); }
        template <class U>
        bool operator==(const PopulatedAllocator<U>&) const noexcept { return true; }
    };
    static void* AllocateList(std::size_t bytes);
    static void FreeList(void* p, std::size_t bytes) noexcept;

    std::vector<std::unique_ptr<TMemoryBlock>, PopulatedAllocator<std::unique_ptr<TMemoryBlock>>> blocks_;
    bool sorted_ = false;
};

// The index in text of the last byte of the first occurrence of pattern, or -1 when
// there is none (also for an empty pattern).
int64_t FindPattern(const uint8_t* pattern, const uint8_t* text, size_t patternLength, size_t textLength);
