#pragma once

#include <string_view>

// The order of keys: the same on every machine, whatever locales it has. Case is
// folded for Latin and Cyrillic letters (Ё/ё included). Characters rank by class:
// blanks and punctuation ("_" included) by code point, then digits, then Latin
// letters, then Cyrillic letters in alphabetical order with Ё right after Е, then
// anything else by code point. Keys compare position by position; a prefix comes
// first; digit runs are not read as numbers. Keys that compare equal are one key.
int CompareKeys(std::string_view a, std::string_view b);
