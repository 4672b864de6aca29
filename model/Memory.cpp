#include "Memory.h"

TMemoryBlock::TMemoryBlock(uint32_t address, int32_t size) : Address(address), Size(size)
{
    if (size > 0) data_ = std::make_unique<uint8_t[]>(static_cast<size_t>(size)); // zero-filled
}

TMemoryBlock::~TMemoryBlock() = default;

void TMemoryBlock::Release() { delete this; }
