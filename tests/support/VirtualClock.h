#pragma once
// A virtual clock for the fuzz targets. VirtualClock.cpp defines platform::GetTickCount
// and platform::Sleep: linked into a program, it replaces the platform's clock for every
// unit of that program (theirs binds to the program's own definitions first). The clock
// stands still until a Sleep advances it by its milliseconds, at once; so a wait for a
// time-out costs no real time and always ends. Link it into nothing that needs real time.

#include <cstdint>

namespace testsupport {

// The clock's milliseconds now.
uint64_t VirtualNow();

} // namespace testsupport
