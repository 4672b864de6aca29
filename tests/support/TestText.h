#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace testsupport {

// Bytes as upper-case hex pairs separated by blanks: "00 C2 01".
std::string Hex(const uint8_t* p, size_t n);

// size pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);

// The message of the exception the call raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

// The message of the exception of class E the call raises; another exception or none
// gives a text saying so.
template <class E>
std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
    return "no exception";
}

} // namespace testsupport
