#include "loader/io/IOSocketTCP.h"


#include <cerrno>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

const char* const SIOSocketKeepAliveChange =
    "Невозможно изменить значение Keepalive так как соединение уже установлено";

TIOSocketTCP::TIOSocketTCP() = default;

TIOSocketTCP::~TIOSocketTCP() = default;

void TIOSocketTCP::SetKeepAlive(bool value)
{
    if (opened_) throw EIOSocketTCPException(SIOSocketKeepAliveChange);
    keepAlive_ = value;
}

void TIOSocketTCP::Open()
{
    if (opened_) return;
    Discard(); // a socket of a failed attempt is not reused
    try {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) RaiseLastError();
        if (keepAlive_) {
            // Probes after 10 s of silence, then every second; the results do not matter.
            const int on = 1, idle = 10, interval = 1, count = 10;
            ::setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            ::setsockopt(socket_, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
            ::setsockopt(socket_, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
            ::setsockopt(socket_, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
        }
        BindLocal();
        const sockaddr_in peer = RemoteAddress();

        const int flags = ::fcntl(socket_, F_GETFL);
        if (flags < 0 || ::fcntl(socket_, F_SETFL, flags | O_NONBLOCK) != 0) RaiseLastError();
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            if (errno != EINPROGRESS && errno != EINTR) RaiseLastError();
            bool writable = true;
            if (!WaitSocket(nullptr, &writable, connectTimeout_, nullptr)) RaiseError(ETIMEDOUT);
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) RaiseLastError();
            if (err != 0) RaiseError(err);
        }
        if (::fcntl(socket_, F_SETFL, flags) != 0) RaiseLastError();
    } catch (...) {
        Discard();
        throw;
    }
    opened_ = true;
}

int32_t TIOSocketTCP::Read(void* buffer, int32_t count)
{
    if (!opened_) throw EIOSocketTCPException(SIODeviceNotConnected);
    if (count <= 0) return 0;
    bool readable = true;
    if (!WaitSocket(&readable, nullptr, readTimeout_, nullptr) || !readable) return 0;
    for (;;) {
        const ssize_t n = ::recv(socket_, buffer, static_cast<size_t>(count), MSG_DONTWAIT);
        if (n > 0) return static_cast<int32_t>(n);
        if (n == 0) {
            Close();
            throw EIOSocketTCPException(SIOSocketClosedGracefully);
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        RaiseLastError();
    }
}

int32_t TIOSocketTCP::Write(const void* buffer, int32_t count)
{
    if (!opened_) throw EIOSocketTCPException(SIODeviceNotConnected);
    const auto* data = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        // MSG_NOSIGNAL: a closed peer gives EPIPE, never SIGPIPE.
        const ssize_t n = ::send(socket_, data + done, static_cast<size_t>(count - done), MSG_NOSIGNAL);
        if (n >= 0) {
            done += static_cast<int32_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        RaiseLastError();
    }
    return done;
}
