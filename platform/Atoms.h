#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using ATOM = uint16_t;

// The process's atom table: short texts handed between threads and modules by a 16-bit
// number. Atoms run from kFirstAtom to kLastAtom; 0 is never an atom. Thread-safe.
inline constexpr ATOM kFirstAtom = 0xC000;
inline constexpr ATOM kLastAtom = 0xFFFF;
// Longest text an atom holds, in characters (code points of the UTF-8 text).
inline constexpr size_t kMaxAtomLength = 255;

// Adds a text, or one more reference to the atom that holds the same text (matched
// exactly, letter case included). An empty text, a longer one than kMaxAtomLength and a
// full table give 0. A text starting with "#" is a text like any other.
PLATFORM_API ATOM AddAtom(const std::string& text);

// The text of an atom; false (text unchanged) for an atom that is not in the table.
PLATFORM_API bool GetAtomName(ATOM atom, std::string& text);

// Drops one reference; the atom goes when the last one is dropped. False for an atom
// that is not in the table.
PLATFORM_API bool DeleteAtom(ATOM atom);

// The pieces in which a longer text travels as atoms: at most kMaxAtomLength characters
// each, cut between characters; none for an empty text.
PLATFORM_API std::vector<std::string> SplitLogText(const std::string& text);

} // namespace platform
