// A well-formed parameter file of the base controller document whose image bytes come
// from the input. The first input byte holds flags: bit 0 keeps the input's bytes where
// the scheme text lies (else the expected text is written there), bit 1 writes the file
// with the linear flag. The rest fills the document's blocks in order, zeros after its
// end. When the load succeeds the image holds exactly the file's bytes, and saving and
// loading again gives the same image. With the expected scheme text the load must
// succeed.

#include "tests/model/fuzz/FuzzCheck.h"

#include "model/uZumo2.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstring>

using namespace fuzzcheck;

namespace {

// Where the header block keeps the scheme text, and its length.
constexpr uint32_t kSchemeBlock = 0;
constexpr size_t kSchemeOffset = 64;
constexpr size_t kSchemeLength = 20;

bool SameImage(const TMemory& a, const TMemory& b)
{
    if (a.BlockCount() != b.BlockCount()) return false;
    for (int i = 0; i < a.BlockCount(); ++i) {
        const TMemoryBlock* x = a.BlockByIndex(i);
        const TMemoryBlock* y = b.BlockByIndex(i);
        if (x->Address != y->Address || x->Size != y->Size ||
            std::memcmp(x->Data(), y->Data(), static_cast<size_t>(x->Size)) != 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    TZumo2Doc& document = NewDocument();
    const bool keepScheme = data[0] & 1;
    const bool linear = data[0] & 2;
    ++data;
    --size;

    TMemory file;
    size_t used = 0;
    for (int i = 0; i < document.Image.BlockCount(); ++i) {
        const TMemoryBlock* layout = document.Image.BlockByIndex(i);
        TMemoryBlock* b = file.AddBlock(layout->Address, layout->Size);
        const size_t n = std::min(size - used, static_cast<size_t>(layout->Size));
        std::memcpy(b->Data(), data + used, n);
        used += n;
        if (layout->Address == kSchemeBlock && !keepScheme) {
            std::memset(b->Data() + kSchemeOffset, 0, kSchemeLength);
            std::memcpy(b->Data() + kSchemeOffset, document.ExpectedSchemeId.data(),
                        std::min(kSchemeLength, document.ExpectedSchemeId.size()));
        }
    }
    std::ostringstream text(std::ios::binary);
    file.SaveToHexStream(text, linear, document.BaseAddress, 16);

    std::istringstream in(text.str(), std::ios::binary);
    try {
        document.LoadFromStream(in);
    } catch (const platform::Exception&) {
        Require(keepScheme, "a file with the expected scheme text did not load");
        return 0;
    }
    Require(SameImage(document.Image, file), "the loaded image differs from the file");

    // What SaveToFile writes, without the file.
    std::ostringstream saved(std::ios::binary);
    document.Image.SaveToHexStream(saved, document.LinearHex, document.BaseAddress, 16);
    std::istringstream again(saved.str(), std::ios::binary);
    document.LoadFromStream(again);
    Require(SameImage(document.Image, file), "the image saved and loaded again differs");
    return 0;
}
