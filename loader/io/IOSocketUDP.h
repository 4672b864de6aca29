#pragma once

#include "loader/io/IOSocket.h"

// Datagrams with one peer. A peer set by the setters stays fixed: datagrams from other
// hosts are dropped. Without it, the transport answers whoever sent the last datagram.
class TIOSocketUDP : public TIOSocket {
public:
    TIOSocketUDP();
    ~TIOSocketUDP() override;

    // One datagram, at most count bytes of it (the rest is dropped).
    int32_t Read(void* buffer, int32_t count) override;
    // The whole buffer as one datagram.
    int32_t Write(const void* buffer, int32_t count) override;
    void Open() override;
    void SetRemoteHost(const std::string& host) override;
    void SetRemotePort(int port) override;

    bool HostFixed() const { return hostFixed_; }
    bool PortFixed() const { return portFixed_; }

private:
    bool hostFixed_ = false;
    bool portFixed_ = false;
};
