#include "loader/io/IODevice.h"

#include <cerrno>

const char* const SIODeviceNotConnected = "Соединение не установлено";

EIODeviceException::~EIODeviceException() = default;

// Descendants close their own resources in their destructors; this only clears the flag.
TIODevice::~TIODevice() { opened_ = false; }

int32_t TIODevice::Read(void*, int32_t) { return 0; }

int32_t TIODevice::Write(const void*, int32_t) { return 0; }

void TIODevice::RaiseLastError() { RaiseError(errno); }

void TIODevice::Close() { opened_ = false; }

void TIODevice::RaiseError(int code)
{
    lastError_ = static_cast<uint32_t>(code);
    throw platform::EOSError(platform::SysErrorMessage(code), code);
}
