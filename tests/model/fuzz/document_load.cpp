// The base controller document, made through its factory, loads arbitrary bytes as its
// parameter file; the default check that follows a load is answered No. A load may fail
// only with the program's own exceptions.

#include "tests/model/fuzz/FuzzCheck.h"

#include "model/uZumo2.h"
#include "platform/Exceptions.h"

using namespace fuzzcheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TZumo2Doc& document = NewDocument();
    auto in = InputStream(data, size);
    try {
        document.LoadFromStream(in);
    } catch (const platform::Exception&) {
    }
    return 0;
}
