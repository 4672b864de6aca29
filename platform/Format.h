#pragma once

#include "platform/PlatformApi.h"

#include <string>

namespace platform {

// printf-style formatting of messages (%s, %d, %u, %X, %.8X ...). Floating point
// values are never formatted here: their text follows the user's separator and is
// made by Variant.
PLATFORM_API std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
