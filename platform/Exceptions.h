#pragma once

#include "platform/PlatformApi.h"

#include <stdexcept>
#include <string>

namespace platform {

// Base of every error this system raises itself. The message is UTF-8 and is what
// the user sees.
class PLATFORM_API Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message);
    ~Exception() override;
};

// A value could not be converted ("Could not convert variant ...", "'zz' is not a valid integer value").
class PLATFORM_API EConvertError : public Exception {
public:
    using Exception::Exception;
    ~EConvertError() override;
};

// An access outside the bounds of a buffer ("Range check error").
class PLATFORM_API ERangeError : public Exception {
public:
    using Exception::Exception;
    ~ERangeError() override;
};

// A list index outside the list ("List index out of bounds (%d)").
class PLATFORM_API EListError : public Exception {
public:
    using Exception::Exception;
    ~EListError() override;
};

// A failed call into the operating system; Code is the errno value (0 when unknown).
class PLATFORM_API EOSError : public Exception {
public:
    EOSError(const std::string& message, int code);
    ~EOSError() override;
    int Code() const noexcept { return code_; }

private:
    int code_;
};

// A file could not be created ("Cannot create file "%s". %s").
class PLATFORM_API EFCreateError : public Exception {
public:
    using Exception::Exception;
    ~EFCreateError() override;
};

// A file could not be opened ("Cannot open file "%s". %s").
class PLATFORM_API EFOpenError : public Exception {
public:
    using Exception::Exception;
    ~EFOpenError() override;
};

// The text of an errno value in Russian, as the C library translates it ("Нет такого
// файла или каталога" for ENOENT); in the current locale's language when the system has
// no ru_RU.UTF-8 locale.
PLATFORM_API std::string SysErrorMessage(int code);

// The text of an exception as the user sees it: what(), except that the system's text
// of a std::system_error (a std::filesystem::filesystem_error too) of the system or
// generic category is SysErrorMessage's instead of the C++ library's English one.
PLATFORM_API std::string ErrorText(const std::exception& error);

} // namespace platform
