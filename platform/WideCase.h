#pragma once

#include "platform/PlatformApi.h"

#include <string>
#include <string_view>

namespace platform {

// Upper and lower case of text for all of Unicode, one code point to one code point,
// by the case tables of the "C.UTF-8" locale (independent of the process locale, which
// the application may change). Code points without a case mapping stay as they are.
PLATFORM_API char32_t UpperCaseChar(char32_t ch);
PLATFORM_API char32_t LowerCaseChar(char32_t ch);

// The same over UTF-8 text. Bytes that are not well-formed UTF-8 are copied unchanged.
PLATFORM_API std::string UpperCaseUtf8(std::string_view text);
PLATFORM_API std::string LowerCaseUtf8(std::string_view text);

} // namespace platform
