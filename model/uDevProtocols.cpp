#include "model/uDevProtocols.h"

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 1 to 9

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

// ---------------------------------------------------------------------------------
// The table

namespace {

template <class T>
std::unique_ptr<TDevProtocol> MakeBlock(TMemoryBlock* block, int32_t offset, std::string name, TField*)
{
    return MakeList<T>(std::move(name), block, offset);
}

// By protocol index; none where no block class is registered.
const TDevProtocolFactory Factories[ProtocolCount] = {
    nullptr, // 0: Нет
    nullptr, // 1
    nullptr, // 2
    nullptr, // 3
    nullptr, // 4
    nullptr, // 5
    nullptr, // 6
    nullptr, // 7
    nullptr, // 8
    nullptr, // 9
    nullptr, // 10
    nullptr, // 11
    nullptr, // 12
    nullptr, // 13
    nullptr, // 14
    nullptr, // 15
    nullptr, // 16
    nullptr, // 17
    nullptr, // 18
    nullptr, // 19
    nullptr, // 20
    nullptr, // 21
    nullptr, // 22
    nullptr, // 23
    nullptr, // 24
    nullptr, // 25
    nullptr, // 26
    nullptr, // 27
    nullptr, // 28
};

} // namespace

TDevProtocolFactory DevProtocolFactory(int index)
{
    if (index < 1 || index >= ProtocolCount)
        return nullptr;
    return Factories[index];
}
