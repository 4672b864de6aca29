#include "common/StrRoutines.h"

#include "platform/CodePages.h"

namespace {

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Lower-case partner of an upper-case Cyrillic letter of Windows-1251, 0 for any other
// code point. Ѐ (U+0400) and Ѝ (U+040D) are not in the code page and stay as they are.
char32_t AnsiLowerCyrillic(char32_t ch)
{
    if (ch >= 0x0410 && ch <= 0x042F) return ch + 0x20;
    if (ch >= 0x0401 && ch <= 0x040F && ch != 0x040D) return ch + 0x50;
    if (ch == 0x0490) return 0x0491;
    return 0;
}

// Position of the first occurrence of pattern in folded where a pair begins: at the
// start, or behind ";" and any blanks or control characters. npos when there is none.
size_t FindKey(const std::string& folded, const std::string& pattern)
{
    for (size_t p = folded.find(pattern); p != std::string::npos; p = folded.find(pattern, p + 1)) {
        size_t q = p;
        while (q > 0 && IsBlank(folded[q - 1])) --q;
        if (q == 0 || folded[q - 1] == ';') return p;
    }
    return std::string::npos;
}

// Start of the value behind the key found at p, and its end (the next ";" or the end).
struct ValueSpan {
    size_t start;
    size_t end;
};

ValueSpan ValueAt(std::string_view params, size_t p, size_t patternLength)
{
    const size_t start = p + patternLength;
    size_t end = params.find(';', start);
    if (end == std::string_view::npos) end = params.size();
    return {start, end};
}

} // namespace

std::string AnsiLowerCase(std::string_view text)
{
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b >= 'A' && b <= 'Z') {
            out[i] = static_cast<char>(b + 32);
        } else if ((b == 0xD0 || b == 0xD2) && i + 1 < out.size()) {
            const auto c = static_cast<unsigned char>(out[i + 1]);
            if ((c & 0xC0) != 0x80) continue;
            const char32_t ch = (static_cast<char32_t>(b & 0x1F) << 6) | (c & 0x3F);
            const char32_t lower = AnsiLowerCyrillic(ch);
            if (lower) {
                // Every partner is a two-byte sequence as well.
                out[i] = static_cast<char>(0xC0 | (lower >> 6));
                out[i + 1] = static_cast<char>(0x80 | (lower & 0x3F));
            }
            ++i;
        }
    }
    return out;
}

std::string GetParam(std::string_view params, std::string_view key)
{
    const std::string pattern = AnsiLowerCase(key) + "=";
    const size_t p = FindKey(AnsiLowerCase(params), pattern);
    if (p == std::string::npos) return {};
    auto [start, end] = ValueAt(params, p, pattern.size());
    while (start < end && IsBlank(params[start])) ++start;
    while (end > start && IsBlank(params[end - 1])) --end;
    return std::string(params.substr(start, end - start));
}

std::string SetParam(std::string_view params, std::string_view key, std::string_view value, bool deleteEmpty)
{
    std::string result(params);
    const std::string pattern = AnsiLowerCase(key) + "=";
    const size_t p = FindKey(AnsiLowerCase(params), pattern);
    if (p == std::string::npos) {
        if (value.empty()) return result;
        if (!result.empty() && result.back() != ';') result += ';';
        result.append(key).append("=").append(value);
        return result;
    }
    const auto [start, end] = ValueAt(params, p, pattern.size());
    if (value.empty() && deleteEmpty) {
        result.erase(p, end < result.size() ? end + 1 - p : std::string::npos);
        return result;
    }
    result.replace(start, end - start, value);
    return result;
}

std::vector<std::string> SplitString(char delimiter, std::string s)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t p = s.find(delimiter); p != std::string::npos; p = s.find(delimiter, from)) {
        parts.emplace_back(s, from, p - from);
        from = p + 1;
    }
    if (from < s.size()) parts.emplace_back(s, from);
    return parts;
}

size_t LastCharPos(char ch, std::string_view s)
{
    const size_t p = s.rfind(ch);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string RemoveExtension(std::string_view name)
{
    const size_t p = LastCharPos('.', name);
    return std::string(p < 1 ? name : name.substr(0, p - 1));
}

std::string ReplaceChars(std::string_view s, std::string_view charSet, std::string_view replacement)
{
    std::u32string set;
    for (size_t pos = 0; pos < charSet.size();) set += platform::DecodeUtf8(charSet, pos);

    std::string out;
    out.reserve(s.size());
    for (size_t pos = 0; pos < s.size();) {
        const size_t start = pos;
        const char32_t ch = platform::DecodeUtf8(s, pos);
        const std::string_view bytes = s.substr(start, pos - start);
        // A malformed byte decodes as U+FFFD; only a real U+FFFD may match one in the set.
        const bool malformed = ch == 0xFFFD && bytes != "\xEF\xBF\xBD";
        if (!malformed && set.find(ch) != std::u32string::npos)
            out += replacement;
        else
            out += bytes;
    }
    return out;
}

std::string SafeFileName(std::string_view s)
{
    return ReplaceChars(s, ":;*/\\?.~`!@$%^&()[]{}\"'<>", "");
}
