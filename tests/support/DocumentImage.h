#pragma once

#include "model/uZumo2.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace testsupport {

// Absolute address -> byte, over every block of the document.
std::map<uint32_t, uint8_t> AddressMap(const TDocument& doc);
// The same as lines "address byte" in address order, decimal.
std::string AddressLines(const TDocument& doc);
// What python3-intelhex reads from a HEX file, as AddressLines writes it; empty when
// the peer fails.
std::string IntelHexLines(const std::filesystem::path& file);

// The document a maker makes, as class T (none when it is of another class), reset
// to its defaults unless asked otherwise.
template <class T>
std::unique_ptr<T> MakeAs(std::unique_ptr<TZumo2Doc> (*make)(), bool reset = true)
{
    std::unique_ptr<TZumo2Doc> doc = make();
    auto* typed = dynamic_cast<T*>(doc.get());
    if (!typed) return nullptr;
    doc.release();
    std::unique_ptr<T> out(typed);
    if (reset) out->ResetDefaults();
    return out;
}

} // namespace testsupport
