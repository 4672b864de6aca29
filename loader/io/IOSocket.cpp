#include "loader/io/IOSocket.h"

#include "platform/Format.h"
#include "platform/Tick.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

const char* const SIOSocketClosedGracefully = "Соединение разорвано другой стороной (Closed Gracefully).";

EIOSocketException::~EIOSocketException() = default;
EIOSocketTCPException::~EIOSocketTCPException() = default;

std::string ResolveHost(const std::string& host)
{
    if (host.empty()) return "0.0.0.0";
    if (host[0] >= '0' && host[0] <= '9') return inet_addr(host.c_str()) == INADDR_NONE ? std::string() : host;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return {};
    std::string text;
    for (const addrinfo* a = list; a; a = a->ai_next)
        if (a->ai_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            const auto* b = reinterpret_cast<const unsigned char*>(&in->sin_addr.s_addr);
            text = platform::Format("%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
            break;
        }
    freeaddrinfo(list);
    return text;
}

int ResolvePort(const std::string& port)
{
    if (port.empty()) return 0;
    servent entry{};
    servent* found = nullptr;
    char buf[1024];
    if (getservbyname_r(port.c_str(), nullptr, &entry, buf, sizeof buf, &found) == 0 && found)
        return ntohs(static_cast<uint16_t>(found->s_port));
    size_t i = port[0] == '+' || port[0] == '-' ? 1 : 0;
    long value = 0;
    bool ok = i < port.size();
    for (; ok && i < port.size(); ++i) {
        if (port[i] < '0' || port[i] > '9' || value > 65535) {
            ok = false;
            break;
        }
        value = value * 10 + (port[i] - '0');
    }
    if (port[0] == '-') value = -value;
    if (!ok || value < 0 || value > 65535)
        throw platform::EConvertError(platform::Format("'%s' is not a valid integer value", port.c_str()));
    return static_cast<int>(value);
}

sockaddr_in MakeSocketAddress(const std::string& host, const std::string& port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    const std::string dotted = ResolveHost(host);
    a.sin_addr.s_addr = dotted.empty() ? INADDR_NONE : inet_addr(dotted.c_str());
    a.sin_port = htons(static_cast<uint16_t>(ResolvePort(port)));
    return a;
}

TIOSocket::TIOSocket() = default;

TIOSocket::~TIOSocket() { Discard(); }

void TIOSocket::RaiseLastError() { RaiseError(errno); }

void TIOSocket::Discard()
{
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    opened_ = false;
}

void TIOSocket::Close()
{
    // Linux frees the descriptor even when close reports an error, so there is nothing
    // left to keep.
    Discard();
    TIODevice::Close();
}

int32_t TIOSocket::InQueue()
{
    bool readable = true;
    return WaitSocket(&readable, nullptr, 0, nullptr) && readable ? 8192 : 0;
}

bool TIOSocket::WaitSocket(bool* readable, bool* writable, int timeoutMs, bool* error)
{
    pollfd p{socket_, 0, 0};
    if (readable && *readable) p.events |= POLLIN;
    if (writable && *writable) p.events |= POLLOUT;
    const uint64_t start = platform::GetTickCount();
    int r;
    for (;;) {
        int wait = timeoutMs;
        if (timeoutMs > 0) {
            const uint64_t spent = platform::GetTickCount() - start;
            wait = spent >= static_cast<uint64_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
        }
        r = ::poll(&p, 1, timeoutMs < 0 ? -1 : wait);
        if (r >= 0) break;
        if (errno != EINTR) RaiseLastError();
    }
    // A closed or failed socket counts as readable and writable: the next call reports it.
    const bool broken = p.revents & (POLLHUP | POLLERR);
    if (readable && *readable) *readable = (p.revents & POLLIN) || broken;
    if (writable && *writable) *writable = (p.revents & POLLOUT) || broken;
    if (error) *error = p.revents & POLLERR;
    if (r == 0) lastError_ = ETIMEDOUT;
    return r > 0;
}

void TIOSocket::BindLocal()
{
    // Only a fixed port is shared: with SO_REUSEADDR on a port of the system's choice
    // Linux may give two sockets the same port, and each then gets the other's datagrams.
    if (ReuseAddress && LocalPort != 0) {
        const int on = 1;
        if (::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) RaiseLastError();
    }
    localAddress_ = MakeSocketAddress("", platform::Format("%d", LocalPort));
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&localAddress_), sizeof localAddress_) != 0)
        RaiseLastError();
}

sockaddr_in TIOSocket::RemoteAddress()
{
    const sockaddr_in a = MakeSocketAddress(remoteHost_, platform::Format("%d", remotePort_));
    if (a.sin_addr.s_addr == INADDR_NONE || a.sin_addr.s_addr == htonl(INADDR_ANY)) RaiseError(EADDRNOTAVAIL);
    return a;
}
