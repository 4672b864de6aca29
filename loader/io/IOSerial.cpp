#include "loader/io/IOSerial.h"

#include "loader/io/IOSerialRate.h"

#include "platform/Format.h"
#include "platform/NamedMutex.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

const char* const SIOSerialPortBusy = "Возможно порт занят";
const char* const SIOSerialLockTimeout = "Таймаут ожидания освобождения порта";
const char* const SIOSerialWriteTimeout = "Таймаут при передаче";
const char* const SIOSerialTxEmptyTimeout = "%s Таймаут при ожидании конца передачи";

EIOSerialException::~EIOSerialException() = default;

namespace {

using std::chrono::milliseconds;

// 64-bit products and sums that stop at the top instead of wrapping.
uint64_t SatMul(uint64_t a, uint64_t b)
{
    uint64_t r;
    return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}

uint64_t SatAdd(uint64_t a, uint64_t b)
{
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

// A span of milliseconds that a steady clock can add without overflow (about 34 years).
milliseconds Span(uint64_t ms)
{
    return milliseconds(static_cast<int64_t>(std::min<uint64_t>(ms, uint64_t(1) << 40)));
}

// Milliseconds for poll() until `limit`, rounded up so that poll never wakes early.
int PollWait(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point limit)
{
    const auto left = std::chrono::ceil<milliseconds>(limit - now).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

speed_t BaudConstant(uint32_t baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

} // namespace

int BuildSerialTermios(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits,
                       struct termios* t, bool* customRate)
{
    if (baud == 0 || byteSize < 5 || byteSize > 8 || parity > 4 || stopBits > 2) return EINVAL;
    if (stopBits == 1 && byteSize != 5) return EINVAL; // one and a half: 5 data bits only
    if (stopBits == 2 && byteSize == 5) return EINVAL;

    t->c_iflag = 0;
    t->c_oflag = 0;
    t->c_lflag = 0;
    t->c_cflag = CLOCAL | CREAD;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t->c_cflag |= sizes[byteSize - 5];
    switch (parity) {
    case 1: t->c_cflag |= PARENB | PARODD; break;
    case 2: t->c_cflag |= PARENB; break;
    case 3: t->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t->c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (stopBits != 0) t->c_cflag |= CSTOPB;
    for (auto& c : t->c_cc) c = 0;
    t->c_cc[VMIN] = 0;
    t->c_cc[VTIME] = 0;

    // A rate without a B constant keeps the old one here; termios2 sets it afterwards.
    const speed_t code = BaudConstant(baud);
    *customRate = code == B0;
    if (!*customRate) {
        cfsetispeed(t, code);
        cfsetospeed(t, code);
    }
    return 0;
}

std::string SerialSendLockName(const std::string& devicePath)
{
    char* real = ::realpath(devicePath.c_str(), nullptr);
    std::string name = real ? real : devicePath;
    std::free(real);
    return "serial-send:" + name;
}

bool ReadCheckTxEmpty()
{
    try {
        const platform::RegistryStore store(platform::RegistryStore::DefaultFile());
        const auto v = store.ReadOrCreate(
            platform::RegistryKey(platform::kHKeyLocalMachine, "SOFTWARE\\Quorvandell\\SERIALCOMM"),
            "CheckTxEmpty", platform::RegistryValue::Dword(0));
        return v.type == platform::RegistryValue::Type::Dword && v.number != 0;
    } catch (const std::exception&) {
        return false;
    }
}

TIOSerial::TIOSerial() = default;

TIOSerial::~TIOSerial() { TIOSerial::Close(); }

void TIOSerial::RaiseSerial(int code)
{
    lastError_ = static_cast<uint32_t>(code);
    throw EIOSerialException(platform::SysErrorMessage(code));
}

void TIOSerial::Open()
{
    if (fd_ >= 0) Close();

    auto busy = [this](int code) {
        lastError_ = static_cast<uint32_t>(code);
        throw EIOSerialException(platform::SysErrorMessage(code) + "\r" + SIOSerialPortBusy);
    };
    const auto path = platform::SerialPortPath(port_);
    if (!path) busy(ENOENT);
    const int fd = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) busy(errno);
    // TIOCEXCL keeps other programs out; the flock keeps out our own processes, root too.
    ::ioctl(fd, TIOCEXCL);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno == EWOULDBLOCK ? EBUSY : errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        busy(code);
    }
    fd_ = fd;
    sendLock_ = std::make_unique<platform::NamedMutex>(SerialSendLockName(*path));

    struct termios t {};
    if (::tcgetattr(fd_, &t) != 0) RaiseLastError();
    bool customRate = false;
    if (const int err = BuildSerialTermios(baudRate_, byteSize_, parity_, stopBits_, &t, &customRate)) RaiseError(err);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) RaiseLastError();
    if (customRate)
        if (const int err = SetTtyBaudRate(fd_, baudRate_)) RaiseError(err);
    uint32_t actual = 0;
    if (const int err = GetTtyBaudRate(fd_, &actual)) RaiseError(err);
    if (actual != baudRate_) RaiseError(EINVAL);

    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) RaiseLastError();
    if (::tcflush(fd_, TCIOFLUSH) != 0) RaiseLastError();
    opened_ = true;
}

void TIOSerial::Close()
{
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }
    sendLock_.reset();
    TIODevice::Close();
}

int32_t TIOSerial::InQueue()
{
    if (fd_ < 0) RaiseError(EBADF);
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) RaiseLastError();
    return n;
}

void TIOSerial::Purge(uint32_t flags)
{
    if (fd_ < 0) RaiseError(EBADF);
    if ((flags & PURGE_TXCLEAR) && ::tcflush(fd_, TCOFLUSH) != 0) RaiseLastError();
    if ((flags & PURGE_RXCLEAR) && ::tcflush(fd_, TCIFLUSH) != 0) RaiseLastError();
}

int32_t TIOSerial::ReadNow(uint8_t* buffer, int32_t count)
{
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseSerial(errno);
        }
        if (r == 0) return 0;
        if (p.revents & POLLNVAL) RaiseSerial(EBADF);
        if (p.revents & POLLIN) {
            const ssize_t k = ::read(fd_, buffer, static_cast<size_t>(count));
            if (k > 0) return static_cast<int32_t>(k);
            if (k == 0) RaiseSerial(EIO);
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return 0;
            RaiseSerial(errno);
        }
        RaiseSerial(EIO); // hung up or failed
    }
}

int32_t TIOSerial::Read(void* buffer, int32_t count)
{
    if (!opened_) throw EIOSerialException(SIODeviceNotConnected);
    if (count <= 0) return 0;
    auto* buf = static_cast<uint8_t*>(buffer);
    const uint64_t I = timeouts_.ReadIntervalTimeout;
    const uint64_t M = timeouts_.ReadTotalTimeoutMultiplier;
    const uint64_t C = timeouts_.ReadTotalTimeoutConstant;
    const uint64_t n = static_cast<uint64_t>(count);
    const auto start = Clock::now();

    // Only what is waiting.
    if (I == MAXDWORD && M == 0 && C == 0) return ReadNow(buf, count);

    const bool firstByteEnds = I == MAXDWORD && M == MAXDWORD && C > 0 && C < MAXDWORD;
    bool limited = false;
    uint64_t totalMs = UINT64_MAX;
    if (firstByteEnds) {
        limited = true;
        totalMs = C;
    } else {
        if (M != 0 || C != 0) {
            limited = true;
            totalMs = SatAdd(SatMul(M, n), C);
        }
        if (!Synchronous) {
            // The overall wait of an overlapped read.
            const uint64_t wait = SatAdd(SatMul(SatMul(I, n), M), C);
            if (wait == 0) return ReadNow(buf, count);
            limited = true;
            totalMs = std::min(totalMs, wait);
        }
    }
    const bool interval = I > 0 && I < MAXDWORD;
    const auto total = start + Span(totalMs);

    int32_t got = 0;
    Clock::time_point lastByte;
    while (got < count) {
        if (firstByteEnds && got > 0) break;
        const auto now = Clock::now();
        bool bounded = limited;
        auto limit = total;
        if (interval && got > 0) {
            limit = bounded ? std::min(limit, lastByte + Span(I)) : lastByte + Span(I);
            bounded = true;
        }
        int wait = -1;
        if (bounded) {
            if (now >= limit) break;
            wait = PollWait(now, limit);
        }
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseSerial(errno);
        }
        if (r == 0) continue;
        if (p.revents & POLLNVAL) RaiseSerial(EBADF);
        if (p.revents & POLLIN) {
            const ssize_t k = ::read(fd_, buf + got, static_cast<size_t>(count - got));
            if (k > 0) {
                got += static_cast<int32_t>(k);
                lastByte = Clock::now();
                continue;
            }
            if (k == 0) RaiseSerial(EIO);
            if (errno == EINTR || errno == EAGAIN) continue;
            RaiseSerial(errno);
        }
        RaiseSerial(EIO); // hung up or failed
    }
    return got;
}

void TIOSerial::WriteAll(const uint8_t* data, int32_t count, Clock::time_point deadline, bool limited)
{
    auto timedOut = [this] {
        ::tcflush(fd_, TCOFLUSH); // the unsent rest never goes out late
        throw EIOSerialException(SIOSerialWriteTimeout);
    };
    int32_t done = 0;
    while (done < count) {
        const ssize_t k = ::write(fd_, data + done, static_cast<size_t>(count - done));
        if (k > 0) {
            done += static_cast<int32_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno != EAGAIN) RaiseSerial(errno);
        const auto now = Clock::now();
        if (limited && now >= deadline) timedOut();
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, limited ? PollWait(now, deadline) : -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            RaiseSerial(errno);
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT))
            RaiseSerial(p.revents & POLLNVAL ? EBADF : EIO);
    }
    // Wait until the driver has sent everything.
    for (;;) {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) RaiseSerial(errno);
        if (queued <= 0) return;
        if (limited && Clock::now() >= deadline) timedOut();
        std::this_thread::sleep_for(milliseconds(1));
    }
}

void TIOSerial::WaitTransmitterEmpty(Clock::time_point deadline, bool limited)
{
    // At least 50 ms for the last character to leave the shift register.
    deadline = std::max(deadline, Clock::now() + milliseconds(50));
    for (;;) {
        unsigned int lsr = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &lsr) != 0) {
            if (errno == ENOTTY || errno == EINVAL) return; // no such register: the queue is empty
            RaiseSerial(errno);
        }
        if (lsr & TIOCSER_TEMT) return;
        if (limited && Clock::now() >= deadline) {
            ::tcflush(fd_, TCOFLUSH);
            throw EIOSerialException(platform::Format(SIOSerialTxEmptyTimeout, "1."));
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
}

int32_t TIOSerial::Write(const void* buffer, int32_t count)
{
    if (!opened_) throw EIOSerialException(SIODeviceNotConnected);
    if (count < 0) count = 0;
    const auto* data = static_cast<const uint8_t*>(buffer);
    const uint64_t M = timeouts_.WriteTotalTimeoutMultiplier;
    const uint64_t C = timeouts_.WriteTotalTimeoutConstant;
    const bool limited = M != 0 || C != 0;
    const uint64_t budget = SatAdd(SatMul(M, static_cast<uint64_t>(count)), C);

    if (Synchronous) {
        WriteAll(data, count, Clock::now() + Span(budget), limited);
        return count;
    }

    const bool checkTxEmpty = ReadCheckTxEmpty();
    bool locked = false;
    try {
        locked = sendLock_->TryLock(1000);
    } catch (const platform::EOSError& e) {
        lastError_ = static_cast<uint32_t>(e.Code());
        throw EIOSerialException(e.what());
    }
    if (!locked) throw EIOSerialException(SIOSerialLockTimeout);
    struct Release {
        platform::NamedMutex& m;
        ~Release() { m.Unlock(); }
    } release{*sendLock_};

    const auto deadline = Clock::now() + Span(budget);
    WriteAll(data, count, deadline, limited);
    if (checkTxEmpty) WaitTransmitterEmpty(deadline, limited);
    return count;
}
