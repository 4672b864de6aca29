#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Single-byte code pages met at the borders of the system: Windows-1251 (ANSI) in
// parameter images, the loader's files and on the wire; CP866 (OEM) in archives.
// Every one of the 256 bytes has a character (0x98 of Windows-1251 is U+0098), so
// bytes -> UTF-8 -> bytes is lossless. A character the code page lacks, and every
// byte of malformed UTF-8, becomes '?'.
enum class CodePage { Ansi, Oem };

PLATFORM_API std::string ToUtf8(std::string_view bytes, CodePage page);
PLATFORM_API std::string FromUtf8(std::string_view utf8, CodePage page);

inline std::string AnsiToUtf8(std::string_view bytes) { return ToUtf8(bytes, CodePage::Ansi); }
inline std::string Utf8ToAnsi(std::string_view utf8) { return FromUtf8(utf8, CodePage::Ansi); }
inline std::string OemToUtf8(std::string_view bytes) { return ToUtf8(bytes, CodePage::Oem); }
inline std::string Utf8ToOem(std::string_view utf8) { return FromUtf8(utf8, CodePage::Oem); }

// Byte-to-byte conversion between the two code pages ('?' where the target lacks the character).
PLATFORM_API std::string OemToAnsi(std::string_view bytes);
PLATFORM_API std::string AnsiToOem(std::string_view bytes);

// The character of one byte, and the byte of one character (-1 when missing).
PLATFORM_API char32_t ByteToChar(uint8_t byte, CodePage page);
PLATFORM_API int CharToByte(char32_t ch, CodePage page);

// Decodes one UTF-8 sequence at text[pos]; advances pos. A malformed byte yields
// U+FFFD and advances by one.
PLATFORM_API char32_t DecodeUtf8(std::string_view text, size_t& pos);
PLATFORM_API void AppendUtf8(std::string& out, char32_t ch);

} // namespace platform
