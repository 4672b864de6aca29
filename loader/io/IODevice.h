#pragma once

#include "platform/Exceptions.h"

#include <cstdint>
#include <string>

// "Соединение не установлено": I/O on a transport that is not open.
extern const char* const SIODeviceNotConnected;

// Base of the transport exceptions.
class EIODeviceException : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EIODeviceException() override;
};

// A byte-stream transport to a controller: serial port, TCP or UDP. One operation thread
// uses it; nothing is pending inside it between calls.
class TIODevice {
public:
    TIODevice() = default;
    virtual ~TIODevice();
    TIODevice(const TIODevice&) = delete;
    TIODevice& operator=(const TIODevice&) = delete;

    // Up to count bytes into buffer; the number read (0 when nothing came in time).
    virtual int32_t Read(void* buffer, int32_t count);
    // count bytes from buffer; the number written.
    virtual int32_t Write(const void* buffer, int32_t count);
    // LastError := errno of this thread; raises EOSError with the system's text for it.
    [[noreturn]] virtual void RaiseLastError();
    virtual void Open() = 0;
    virtual void Close();
    // Bytes waiting to be read.
    virtual int32_t InQueue() = 0;

    uint32_t LastError() const { return lastError_; }
    bool Opened() const { return opened_; }

protected:
    // LastError := code; raises EOSError with the system's text for it.
    [[noreturn]] void RaiseError(int code);

    uint32_t lastError_ = 0;
    bool opened_ = false;
};
