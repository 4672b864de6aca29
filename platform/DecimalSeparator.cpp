#include "platform/DecimalSeparator.h"

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace platform {
namespace {

std::atomic<char> g_override{0};

char FromEnvironment()
{
    const char* name = nullptr;
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            name = v;
            break;
        }
    }
    if (!name) return '.';
    locale_t loc = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
    if (!loc) return '.';
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    // A multi-byte separator (none of the locales we meet) falls back to '.'.
    const char sep = (radix && radix[0] && !radix[1]) ? radix[0] : '.';
    freelocale(loc);
    return sep;
}

} // namespace

char DecimalSeparator()
{
    const char o = g_override.load();
    if (o) return o;
    static const char fromEnv = FromEnvironment();
    return fromEnv;
}

void SetDecimalSeparatorForTesting(char separator) { g_override.store(separator); }

} // namespace platform
