#include "platform/Exceptions.h"

#include <cstring>

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

std::string SysErrorMessage(int code)
{
    char buf[256];
    // GNU strerror_r returns a pointer that may or may not be buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    return text ? std::string(text) : std::string();
}

} // namespace platform
