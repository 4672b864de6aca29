#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// Bytes as upper-case hex pairs separated by blanks: "00 C2 01".
std::string Hex(const uint8_t* p, size_t n);

// The message of the exception the call raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

} // namespace testsupport
