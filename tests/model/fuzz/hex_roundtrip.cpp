// Reads arbitrary bytes as Intel HEX. Whatever reads without an error is written again in
// linear and segment mode, with 16, 255 and 0 bytes per record, at base 0 and at the base
// of the controllers' parameters, and read back at that base: the image must come back
// the same, the earlier block giving the byte where two overlap. The writer may refuse
// only an image with a block that the base pushes past 4 GiB.

#include "tests/model/fuzz/FuzzCheck.h"

#include "model/Memory.h"
#include "platform/Exceptions.h"

using namespace fuzzcheck;

namespace {

bool PastFourGiB(const TMemory& image, uint32_t base)
{
    for (int i = 0; i < image.BlockCount(); ++i) {
        const TMemoryBlock* b = image.BlockByIndex(i);
        if (uint64_t{b->Address} + base + uint64_t(b->Size) > (uint64_t{1} << 32)) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemory image;
    auto in = InputStream(data, size);
    try {
        image.LoadFromHexStream(in, 0);
    } catch (const platform::Exception&) {
        return 0;
    }
    const auto want = Flatten(image);

    for (bool linear : {false, true})
        for (int recordLength : {16, 255, 0})
            for (uint32_t base : {0u, 0x08004000u}) {
                std::ostringstream out(std::ios::binary);
                try {
                    image.SaveToHexStream(out, linear, base, recordLength);
                } catch (const platform::Exception&) {
                    Require(PastFourGiB(image, base), "the writer refused an image that fits in 4 GiB");
                    Require(out.str().empty(), "the writer refused after writing");
                    continue;
                }
                Require(!PastFourGiB(image, base), "the writer wrote a block past 4 GiB");
                TMemory back;
                std::istringstream again(out.str(), std::ios::binary);
                back.LoadFromHexStream(again, base); // an error here escapes: a crash
                Require(Flatten(back) == want, "the image read back differs");
            }
    return 0;
}
