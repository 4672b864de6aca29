#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// How long a test waits for something that is bound to happen: long enough for a machine
// busy with other work many times over, short enough that a fault fails the test before
// its time-out stops it.
inline constexpr std::chrono::milliseconds kWaitDeadline{20000};

// Polls the condition every few milliseconds until it holds or the timeout passes;
// whether it holds (looked at once more when the time is up). A test waits on what it
// then asserts, never a fixed time.
template <class Condition>
bool WaitUntil(Condition&& condition, std::chrono::milliseconds timeout = kWaitDeadline)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return static_cast<bool>(condition());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace testsupport
