#pragma once

#include "loader/io/IODevice.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>

namespace platform {
class NamedMutex;
}

class EIOSerialException : public EIODeviceException {
public:
    using EIODeviceException::EIODeviceException;
    ~EIOSerialException() override;
};

// Serial time-outs in the order and meaning of Windows' COMMTIMEOUTS (milliseconds).
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 50;
    uint32_t ReadTotalTimeoutMultiplier = 1;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 1;
    uint32_t WriteTotalTimeoutConstant = 0;
    bool operator==(const TCommTimeouts&) const = default;
};

inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

// Flags of Purge, as Windows defines them.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Texts of the serial transport.
extern const char* const SIOSerialPortBusy;        // "Возможно порт занят"
extern const char* const SIOSerialLockTimeout;     // "Таймаут ожидания освобождения порта"
extern const char* const SIOSerialWriteTimeout;    // "Таймаут при передаче"
extern const char* const SIOSerialTxEmptyTimeout;  // "%s Таймаут при ожидании конца передачи"

// Windows line settings (rate, data bits 5..8, parity code 0 none, 1 odd, 2 even, 3 mark,
// 4 space, stop-bits code 0 one, 1 one and a half, 2 two) as raw termios flags: no flow
// control, no input processing, VMIN = VTIME = 0. The rate goes in with cfsetspeed when
// it has a B constant; *customRate tells the caller to set it through termios2 instead.
// 0, or EINVAL for settings a Windows port refuses.
int BuildSerialTermios(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                       struct termios* t, bool* customRate);

// The loader's COM port: "COM<n>" looked up in the platform's port table, opened
// exclusively, read and written under the Windows time-out rules.
class TIOSerial : public TIODevice {
public:
    TIOSerial();
    ~TIOSerial() override;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    void Open() override;
    void Close() override;
    int32_t InQueue() override;

    const std::string& GetPort() const { return port_; }
    TCommTimeouts GetTimeouts() const { return timeouts_; }
    uint32_t GetBaudRate() const { return baudRate_; }
    uint8_t GetByteSize() const { return byteSize_; }
    uint8_t GetParity() const { return parity_; }
    uint8_t GetStopBits() const { return stopBits_; }

    // Line settings act at the next Open; time-outs at the next Read or Write.
    void SetPort(const std::string& port) { port_ = port; }
    void SetTimeouts(const TCommTimeouts& t) { timeouts_ = t; }
    void SetBaudRate(uint32_t v) { baudRate_ = v; }
    void SetByteSize(uint8_t v) { byteSize_ = v; }
    void SetParity(uint8_t v) { parity_ = v; }
    void SetStopBits(uint8_t v) { stopBits_ = v; }
    void SetReadIntervalTimeout(uint32_t ms) { timeouts_.ReadIntervalTimeout = ms; }
    void SetReadTotalTimeoutConstant(uint32_t ms) { timeouts_.ReadTotalTimeoutConstant = ms; }
    void SetReadTotalTimeoutMultiplier(uint32_t ms) { timeouts_.ReadTotalTimeoutMultiplier = ms; }
    void SetWriteTotalTimeoutConstant(uint32_t ms) { timeouts_.WriteTotalTimeoutConstant = ms; }
    void SetWriteTotalTimeoutMultiplier(uint32_t ms) { timeouts_.WriteTotalTimeoutMultiplier = ms; }

    uint32_t ReadIntervalTimeout() const { return timeouts_.ReadIntervalTimeout; }
    uint32_t ReadTotalTimeoutMultiplier() const { return timeouts_.ReadTotalTimeoutMultiplier; }
    uint32_t ReadTotalTimeoutConstant() const { return timeouts_.ReadTotalTimeoutConstant; }
    uint32_t WriteTotalTimeoutMultiplier() const { return timeouts_.WriteTotalTimeoutMultiplier; }
    uint32_t WriteTotalTimeoutConstant() const { return timeouts_.WriteTotalTimeoutConstant; }

    // Nothing is ever pending after a call returns, so the abort flags have nothing to
    // abort; PURGE_TXCLEAR drops the unsent output, PURGE_RXCLEAR the unread input.
    void Purge(uint32_t flags);

    // The open device (-1 when closed).
    int Handle() const { return fd_; }

    // Plain reads and writes: no send lock, no transmitter-empty wait, and a read
    // without the overall wait of the overlapped mode.
    bool Synchronous = false;

private:
    using Clock = std::chrono::steady_clock;
    [[noreturn]] void RaiseSerial(int code);
    int32_t ReadNow(uint8_t* buffer, int32_t count);
    void WriteAll(const uint8_t* data, int32_t count, Clock::time_point deadline, bool limited);
    void WaitTransmitterEmpty(Clock::time_point deadline, bool limited);

    int fd_ = -1;
    std::string port_;
    uint32_t baudRate_ = 57600;
    uint8_t byteSize_ = 8;
    uint8_t parity_ = 0;
    uint8_t stopBits_ = 0;
    TCommTimeouts timeouts_;
    std::unique_ptr<platform::NamedMutex> sendLock_;
};

// The registry value CheckTxEmpty under HKEY_LOCAL_MACHINE "SOFTWARE\Quorvandell\SERIALCOMM",
// written as False when missing; False when the store cannot be used or holds no number.
bool ReadCheckTxEmpty();

// Name of the send lock of a port: one per device, whichever link names it.
std::string SerialSendLockName(const std::string& devicePath);
