#pragma once

#include <cstdint>
#include <memory>

// A block of a sparse memory image: a start address, a size and its own zero-filled
// bytes. The bytes are allocated once by the constructor and never move, so nodes of a
// document may keep the block and offsets into it.
class TMemoryBlock {
public:
    TMemoryBlock(uint32_t address, int32_t size);
    virtual ~TMemoryBlock();
    TMemoryBlock(const TMemoryBlock&) = delete;
    TMemoryBlock& operator=(const TMemoryBlock&) = delete;

    // Frees the block in the module that allocated it (blocks cross between the
    // configurator and the loader library).
    virtual void Release();

    uint32_t Address = 0;
    int32_t Size = 0;
    uint8_t* Data() { return data_.get(); }
    const uint8_t* Data() const { return data_.get(); }

private:
    std::unique_ptr<uint8_t[]> data_;
};
