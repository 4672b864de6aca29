#pragma once

#include "model/uDocument.h"

#include <cstdint>
#include <memory>
#include <string>

// The parameter blocks of the link protocols. Every device record holds one protocol
// area; the blocks of all protocols lie over it at the same offset, and the device's
// protocol code decides which one is in force.

// The base of the blocks: a list laid out from the start of the area.
class TDevProtocol : public TFieldLst {
public:
    const char* ClassName() const override { return "TDevProtocol"; }

    // Bytes of the area this block needs.
    virtual int32_t ProtocolAreaSize() const { return 70; }

protected:
    TDevProtocol(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// Makes the block of one protocol over the area at an absolute offset of the block,
// with no parent. The role field is the device's "011"; only the DCON block keeps it.
using TDevProtocolFactory = std::unique_ptr<TDevProtocol> (*)(TMemoryBlock* block, int32_t offset,
                                                              std::string name, TField* roleField);

// The factory of a protocol index 1..28; none for an index without a block class
// (and outside the range).
TDevProtocolFactory DevProtocolFactory(int index);
