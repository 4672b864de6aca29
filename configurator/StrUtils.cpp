#include "configurator/StrUtils.h"

size_t PosFrom(std::string_view pattern, std::string_view text, long long start)
{
    if (pattern.empty()) return 0;
    if (start < 1) start = 1;
    if (static_cast<unsigned long long>(start) > text.size()) return 0;
    const size_t p = text.find(pattern, static_cast<size_t>(start - 1));
    return p == std::string_view::npos ? 0 : p + 1;
}
