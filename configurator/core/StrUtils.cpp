#include "configurator/core/StrUtils.h"

size_t PosFrom(std::string_view pattern, std::string_view text, long long start)
{
    if (pattern.empty()) return 0;
    if (start < 1) start = 1;
    if (static_cast<unsigned long long>(start) > text.size()) return 0;
    const size_t p = text.find(pattern, static_cast<size_t>(start - 1));
    return p == std::string_view::npos ? 0 : p + 1;
}

int SplitToVariants(std::string_view delimiter, std::string_view text, std::vector<Variant>& parts)
{
    const size_t n = parts.size();
    const size_t d = delimiter.size();
    const size_t length = text.size();
    size_t from = 1;
    size_t i = 0;
    size_t p = PosFrom(delimiter, text, 1);
    while (i < n && from <= length) {
        if (p == 0) p = length + 1;
        if (p > from) parts[i] = Variant(text.substr(from - 1, p - from));
        from = p + d;
        ++i;
        if (from > length) break;
        p = PosFrom(delimiter, text, static_cast<long long>(from));
    }
    return from <= length ? -10 : static_cast<int>(i);
}
