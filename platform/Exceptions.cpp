#include "platform/Exceptions.h"

#include <cstring>
#include <locale.h>
#include <system_error>

namespace platform {

Exception::Exception(const std::string& message) : std::runtime_error(message) {}
Exception::~Exception() = default;
EConvertError::~EConvertError() = default;
ERangeError::~ERangeError() = default;
EListError::~EListError() = default;
EOSError::EOSError(const std::string& message, int code) : Exception(message), code_(code) {}
EOSError::~EOSError() = default;
EFCreateError::~EFCreateError() = default;
EFOpenError::~EFOpenError() = default;

namespace {

// The locale the system's texts are taken in: Russian in UTF-8, made once; null when the
// system does not have it.
locale_t SystemTextLocale()
{
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "ru_RU.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

std::string SysErrorMessage(int code)
{
    if (const locale_t russian = SystemTextLocale()) {
        // The text is the C library's translation (or, for an unknown code, a buffer of
        // this thread): copied at once.
        if (const char* text = ::strerror_l(code, russian)) return text;
    }
    char buf[256];
    // GNU strerror_r returns a pointer that may or may not be buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    return text ? std::string(text) : std::string();
}

std::string ErrorText(const std::exception& error)
{
    const std::string what = error.what();
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    if (!system) return what;
    const std::error_category& category = system->code().category();
    if (category != std::generic_category() && category != std::system_category()) return what;
    // what() holds the code's message() as the C++ library words it.
    const std::string english = system->code().message();
    const size_t at = english.empty() ? std::string::npos : what.rfind(english);
    if (at == std::string::npos) return what;
    return what.substr(0, at) + SysErrorMessage(system->code().value()) + what.substr(at + english.size());
}

} // namespace platform
