// A well-formed parameter file of the base controller document whose image is the
// image of a new document at its defaults with bytes of the input patched in. The first
// input byte holds flags: bit 0 keeps the input's bytes where the scheme text lies (else
// the expected text is written there), bit 1 writes the file with the linear flag. The
// rest is a list of patches, each an offset (two bytes, little-endian, taken modulo the
// image's size), a length byte and that many bytes, written over the image in order
// (wrapping at its end). When the load succeeds the image holds exactly the file's
// bytes, and saving and loading again gives the same image. With the expected scheme
// text the load must succeed.
//
// Patches reach every byte of the image with short inputs, and the fields they leave
// at their defaults cost the default check next to nothing; inputs are capped at 1 KiB
// (a longer list of patches reaches no other code).

#include "tests/model/fuzz/FuzzCheck.h"

#include "model/uZumo2.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

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

// The image of a new document at its defaults, made once.
const TMemory& DefaultImage()
{
    static const std::unique_ptr<TMemory> image = [] {
        auto document = MakeZumo2Doc();
        document->ResetDefaults();
        auto copy = std::make_unique<TMemory>();
        for (int i = 0; i < document->Image.BlockCount(); ++i) {
            const TMemoryBlock* b = document->Image.BlockByIndex(i);
            std::memcpy(copy->AddBlock(b->Address, b->Size)->Data(), b->Data(), static_cast<size_t>(b->Size));
        }
        return copy;
    }();
    return *image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kMaxInput = 1024;
    if (size == 0 || size > kMaxInput) return 0;
    TZumo2Doc& document = NewDocument();
    const bool keepScheme = data[0] & 1;
    const bool linear = data[0] & 2;
    ++data;
    --size;

    // The defaults' bytes, the image's blocks laid end to end.
    const TMemory& defaults = DefaultImage();
    TMemory file;
    std::vector<TMemoryBlock*> blocks;
    size_t total = 0;
    for (int i = 0; i < defaults.BlockCount(); ++i) {
        const TMemoryBlock* d = defaults.BlockByIndex(i);
        TMemoryBlock* b = file.AddBlock(d->Address, d->Size);
        std::memcpy(b->Data(), d->Data(), static_cast<size_t>(d->Size));
        blocks.push_back(b);
        total += static_cast<size_t>(d->Size);
    }
    auto byteAt = [&](size_t at) -> uint8_t& {
        for (TMemoryBlock* b : blocks) {
            if (at < static_cast<size_t>(b->Size)) return b->Data()[at];
            at -= static_cast<size_t>(b->Size);
        }
        return blocks.front()->Data()[0];
    };
    for (size_t used = 0; used + 3 <= size && total > 0;) {
        size_t at = (data[used] | size_t{data[used + 1]} << 8) % total;
        const size_t length = std::min<size_t>(data[used + 2], size - used - 3);
        used += 3;
        for (size_t k = 0; k < length; ++k, at = (at + 1) % total) byteAt(at) = data[used + k];
        used += length;
    }
    for (TMemoryBlock* b : blocks) {
        if (b->Address == kSchemeBlock && !keepScheme) {
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
