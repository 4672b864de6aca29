#pragma once

#include "loader/io/IODevice.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>

class EIOSocketException : public EIODeviceException {
public:
    using EIODeviceException::EIODeviceException;
    ~EIOSocketException() override;
};

class EIOSocketTCPException : public EIOSocketException {
public:
    using EIOSocketException::EIOSocketException;
    ~EIOSocketTCPException() override;
};

// "Соединение разорвано другой стороной (Closed Gracefully)."
extern const char* const SIOSocketClosedGracefully;

// Dotted IPv4 text of a host: "" -> "0.0.0.0"; a text that starts with a digit is kept
// when inet_addr takes it ("127.1" too), else ""; a name gets its first IPv4 address,
// or "" when it cannot be resolved.
std::string ResolveHost(const std::string& host);

// Port of a service name or decimal text; "" -> 0. Anything else raises EConvertError
// "'%s' is not a valid integer value", also a number outside 0..65535.
int ResolvePort(const std::string& port);

// IPv4 address of ResolveHost(host) and ResolvePort(port); INADDR_NONE when the host
// does not resolve.
sockaddr_in MakeSocketAddress(const std::string& host, const std::string& port);

// IPv4 socket behind the transport interface.
class TIOSocket : public TIODevice {
public:
    TIOSocket();
    ~TIOSocket() override;

    [[noreturn]] void RaiseLastError() override;
    void Close() override;
    // 8192 when data is waiting, else 0: a sign, no byte count.
    int32_t InQueue() override;

    const std::string& GetRemoteHost() const { return remoteHost_; }
    int GetRemotePort() const { return remotePort_; }
    virtual void SetRemoteHost(const std::string& host) { remoteHost_ = host; }
    virtual void SetRemotePort(int port) { remotePort_ = port; }
    // Milliseconds a Read waits for data: 0 only polls, a negative value waits without limit.
    void SetReadTimeout(int ms) { readTimeout_ = ms; }
    int GetReadTimeout() const { return readTimeout_; }

    // Waits until the socket is readable or writable (each asked for by a true flag on
    // entry and answered in it), at most timeoutMs (negative: no limit). True when
    // something is ready; false on time-out. A failure of the wait raises.
    bool WaitSocket(bool* readable, bool* writable, int timeoutMs, bool* error);

    int Socket() const { return socket_; }
    const sockaddr_in& LocalAddress() const { return localAddress_; }

    bool ReuseAddress = true;
    int LocalPort = 0;

protected:
    // Binds to the wildcard address and LocalPort, with SO_REUSEADDR when ReuseAddress
    // and the port is fixed (not 0): a port of the system's choice is never shared.
    void BindLocal();
    // The peer's address; an empty, unresolvable or 0.0.0.0 host raises EADDRNOTAVAIL.
    sockaddr_in RemoteAddress();
    // Closes the socket without raising.
    void Discard();

    int socket_ = -1;
    sockaddr_in localAddress_{};
    int remotePort_ = 0;
    std::string remoteHost_;
    int readTimeout_ = 0;
};
