#pragma once

#include "model/Variant.h"

#include <string_view>
#include <vector>

// Small string helpers of the configurator. Positions are 1-based byte positions in
// UTF-8 text.

// Position of the first occurrence of pattern in text at or after start, 0 when there
// is none. A start below 1 counts as 1; an empty pattern and a start beyond the text
// give 0.
size_t PosFrom(std::string_view pattern, std::string_view text, long long start);

// Cuts text at each delimiter into the elements of parts (as String variants), at most
// parts.size() of them; returns the number of parts passed, or -10 when every element
// was used and text remains. An empty part (a delimiter at the start, two in a row)
// counts but leaves its element untouched; a delimiter at the very end adds no part.
int SplitToVariants(std::string_view delimiter, std::string_view text, std::vector<Variant>& parts);
