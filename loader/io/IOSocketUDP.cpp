#include "loader/io/IOSocketUDP.h"


#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <sys/socket.h>

TIOSocketUDP::TIOSocketUDP() = default;

TIOSocketUDP::~TIOSocketUDP() = default;

void TIOSocketUDP::SetRemoteHost(const std::string& host)
{
    hostFixed_ = true;
    TIOSocket::SetRemoteHost(host);
}

void TIOSocketUDP::SetRemotePort(int port)
{
    portFixed_ = true;
    TIOSocket::SetRemotePort(port);
}

void TIOSocketUDP::Open()
{
    if (opened_) return;
    Discard();
    try {
        socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) RaiseLastError();
        BindLocal();
    } catch (...) {
        Discard();
        throw;
    }
    opened_ = true;
}

int32_t TIOSocketUDP::Read(void* buffer, int32_t count)
{
    if (!opened_) throw EIOSocketException(SIODeviceNotConnected);
    if (count < 0) count = 0;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    // With a fixed host only its datagrams count; the port may differ (gateways).
    in_addr_t expected = INADDR_NONE;
    if (hostFixed_) {
        const std::string dotted = ResolveHost(remoteHost_);
        expected = dotted.empty() ? INADDR_NONE : inet_addr(dotted.c_str());
    }
    for (;;) {
        int wait = readTimeout_;
        if (readTimeout_ > 0) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            wait = spent >= readTimeout_ ? 0 : readTimeout_ - static_cast<int>(spent);
        }
        bool readable = true;
        if (!WaitSocket(&readable, nullptr, wait, nullptr) || !readable) return 0;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(socket_, buffer, static_cast<size_t>(count), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            RaiseLastError();
        }
        if (hostFixed_ && from.sin_addr.s_addr != expected) continue; // not our peer
        if (!hostFixed_) remoteHost_ = inet_ntoa(from.sin_addr);
        if (!portFixed_) remotePort_ = ntohs(from.sin_port);
        return static_cast<int32_t>(n);
    }
}

int32_t TIOSocketUDP::Write(const void* buffer, int32_t count)
{
    if (!opened_) throw EIOSocketException(SIODeviceNotConnected);
    if (count < 0) count = 0;
    const sockaddr_in peer = RemoteAddress();
    for (;;) {
        const ssize_t n = ::sendto(socket_, buffer, static_cast<size_t>(count), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
        if (n >= 0) return static_cast<int32_t>(n);
        if (errno == EINTR) continue;
        RaiseLastError();
    }
}
