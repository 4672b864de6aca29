#pragma once

#include "platform/PlatformApi.h"

namespace platform {

// The user's decimal separator, from LC_NUMERIC of the environment (LC_ALL, then
// LC_NUMERIC, then LANG), read without touching the process locale. '.' when the
// locale is unknown.
PLATFORM_API char DecimalSeparator();

// Tests pin the separator; 0 returns to the environment's.
PLATFORM_API void SetDecimalSeparatorForTesting(char separator);

} // namespace platform
