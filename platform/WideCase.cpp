#include "platform/WideCase.h"

#include "platform/CodePages.h"

#include <locale.h>
#include <wctype.h>

namespace platform {

namespace {

// The locale is made once and kept for the life of the process (never freed: no work
// at unload). glibc has "C.UTF-8" built in; without it only ASCII letters change case.
locale_t CaseLocale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return locale;
}

char32_t MapChar(char32_t ch, bool upper)
{
    if (ch < 0x80) {
        if (upper && ch >= 'a' && ch <= 'z') return ch - 0x20;
        if (!upper && ch >= 'A' && ch <= 'Z') return ch + 0x20;
        return ch;
    }
    const locale_t locale = CaseLocale();
    if (locale == locale_t(nullptr)) return ch;
    const wint_t w = static_cast<wint_t>(ch);
    return static_cast<char32_t>(upper ? towupper_l(w, locale) : towlower_l(w, locale));
}

std::string MapText(std::string_view text, bool upper)
{
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const char32_t ch = DecodeUtf8(text, pos);
        // A malformed byte decodes as U+FFFD from one byte: keep the byte itself.
        if (ch == 0xFFFD && pos - start == 1 && static_cast<uint8_t>(text[start]) >= 0x80) {
            out += text[start];
            continue;
        }
        AppendUtf8(out, MapChar(ch, upper));
    }
    return out;
}

} // namespace

char32_t UpperCaseChar(char32_t ch) { return MapChar(ch, true); }
char32_t LowerCaseChar(char32_t ch) { return MapChar(ch, false); }
std::string UpperCaseUtf8(std::string_view text) { return MapText(text, true); }
std::string LowerCaseUtf8(std::string_view text) { return MapText(text, false); }

} // namespace platform
