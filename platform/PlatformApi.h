#pragma once

// libplatform is built with hidden visibility; only what is marked PLATFORM_API is
// exported.
#define PLATFORM_API __attribute__((visibility("default")))
