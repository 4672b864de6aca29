#include "tests/support/VirtualClock.h"

#include "platform/Tick.h"

#include <atomic>

namespace {

// Starts far from 0, as a machine's uptime does, so that no subtraction reaches below it.
std::atomic<uint64_t> g_now{1000000};

} // namespace

namespace testsupport {

uint64_t VirtualNow() { return g_now.load(); }

} // namespace testsupport

namespace platform {

uint64_t GetTickCount() { return g_now.load(); }

void Sleep(uint32_t ms) { g_now += ms; }

} // namespace platform
