#pragma once

#include <string_view>

// Small string helpers of the configurator. Positions are 1-based byte positions in
// UTF-8 text.

// Position of the first occurrence of pattern in text at or after start, 0 when there
// is none. A start below 1 counts as 1; an empty pattern and a start beyond the text
// give 0.
size_t PosFrom(std::string_view pattern, std::string_view text, long long start);
