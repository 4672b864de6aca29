#include "platform/Format.h"

#include <cstdarg>
#include <cstdio>

namespace platform {

std::string Format(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    // Most texts fit a small buffer: one formatting pass then does.
    char buffer[256];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, copy);
    va_end(copy);
    std::string out;
    if (n > 0 && static_cast<size_t>(n) < sizeof buffer) {
        out.assign(buffer, static_cast<size_t>(n));
    } else if (n > 0) {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    }
    va_end(ap);
    return out;
}

} // namespace platform
