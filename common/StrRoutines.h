#pragma once

#include <string>
#include <string_view>
#include <vector>

// Helpers for device parameter strings ("Key=Value;Key=Value") and small string tasks,
// linked into the configurator and the loader library alike.
//
// Strings are UTF-8. Positions are byte positions, 1-based where a routine returns one.
// Every delimiter these routines look for is ASCII, so no cut ever falls inside a
// multi-byte character.

// Lower-case copy with the rules of the Windows ANSI code page (Windows-1251): ASCII
// letters and every upper/lower letter pair of that code page (А-Я, Ё, Ђ Ѓ Є Ѕ І Ї Ј Љ
// Њ Ћ Ќ Ў Џ Ґ) fold; nothing else changes. Each pair has the same UTF-8 length, so the
// copy is exactly as long as the text and positions carry over.
std::string AnsiLowerCase(std::string_view text);

// Value of Key in a parameter string, without the blanks and control characters
// around it; empty when the key is absent or its value is empty. Keys compare without
// regard to case and match only where a pair begins: at the start of the string or
// after ";" and any blanks ("Port" is not found inside "TCPPort=", nor "udp" inside a
// value "x udp=1").
std::string GetParam(std::string_view params, std::string_view key);

// The parameter string with Key set to Value. An existing pair gets the new value (an
// empty old value too); a missing one is appended with the caller's spelling of Key,
// after a ";" when the string does not end with one. An empty Value with deleteEmpty
// removes the pair and its trailing ";" (the separator in front stays); an empty Value
// for a missing key changes nothing.
std::string SetParam(std::string_view params, std::string_view key, std::string_view value,
                     bool deleteEmpty = true);

// The parts of S between delimiters: "a;;b" gives a, "", b; a delimiter at the very end
// adds no empty part; an empty S gives no parts.
std::vector<std::string> SplitString(char delimiter, std::string s);

// 1-based position of the last occurrence of ch in s, 0 when it does not occur.
size_t LastCharPos(char ch, std::string_view s);

// Name without the text from its last "." on (a "." in a folder name counts too).
std::string RemoveExtension(std::string_view name);

// S with every character that occurs in charSet replaced by replacement (which may be
// empty). Works on characters, so a set may hold non-ASCII characters.
std::string ReplaceChars(std::string_view s, std::string_view charSet, std::string_view replacement);

// S without the characters that are unsafe in file names: : ; * / \ ? . ~ ` ! @ $ % ^
// & ( ) [ ] { } " ' < >
std::string SafeFileName(std::string_view s);
