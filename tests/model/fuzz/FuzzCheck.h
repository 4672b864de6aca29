#pragma once

// Shared pieces of the fuzz targets of the file readers.

#include "model/Memory.h"
#include "model/uZumo2.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace fuzzcheck {

// Stops the run with the broken property: libFuzzer keeps the input as a crash.
[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline void Require(bool holds, const char* what)
{
    if (!holds) Fail(what);
}

// The input as a binary stream.
inline std::istringstream InputStream(const uint8_t* data, size_t size)
{
    return std::istringstream(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
}

// Every address the image holds with its byte; where blocks overlap, the earlier block
// in list order gives the byte, as FindBlock and CopyRange do.
inline std::map<uint32_t, uint8_t> Flatten(const TMemory& image)
{
    std::map<uint32_t, uint8_t> bytes;
    for (int i = 0; i < image.BlockCount(); ++i) {
        const TMemoryBlock* b = image.BlockByIndex(i);
        for (int32_t k = 0; k < b->Size; ++k) bytes.emplace(b->Address + static_cast<uint32_t>(k), b->Data()[k]);
    }
    return bytes;
}

// Answers the default check's every question with No.
class AnswerNo : public IDefaultPrompt {
public:
    int ask(const std::string&) override { return mrNo; }
};

// The base controller document, made once through its factory (building it costs far
// more than a load under the sanitizers), with the image of zeros and the field values
// of a new document: every input starts from the same document.
inline TZumo2Doc& NewDocument()
{
    static AnswerNo no;
    static const std::unique_ptr<TZumo2Doc> document = [] {
        auto d = MakeZumo2Doc();
        d->Prompt = &no;
        return d;
    }();
    for (int i = 0; i < document->Image.BlockCount(); ++i) {
        TMemoryBlock* b = document->Image.BlockByIndex(i);
        std::fill_n(b->Data(), b->Size, uint8_t{0});
    }
    document->ReloadAll();
    return *document;
}

} // namespace fuzzcheck
