#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock; never wraps, never goes back.
PLATFORM_API uint64_t GetTickCount();
PLATFORM_API void Sleep(uint32_t ms);

} // namespace platform
