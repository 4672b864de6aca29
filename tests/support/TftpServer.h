#pragma once
// tftpd-hpa as the independent TFTP peer of the tests: an in.tftpd of this test alone,
// in the foreground on a loopback address and a free UDP port, serving a temporary
// folder.

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <memory>
#include <string>

namespace testsupport {

class TftpServer {
public:
    // Starts the server on the address and waits until it answers; create lets clients
    // write new files. Run as root it drops to root's own account; otherwise it is
    // started through "sudo -n", since in.tftpd needs the right to confine itself to
    // its folder. The test fails (and started() stays false) when it does not answer.
    explicit TftpServer(const std::string& address = "127.0.0.1", bool create = true);
    ~TftpServer();
    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    bool started() const { return started_; }
    uint16_t port() const { return port_; }
    const std::string& address() const { return address_; }
    // The served folder.
    const TempDir& dir() const { return dir_; }

private:
    std::string address_;
    uint16_t port_ = 0;
    TempDir dir_;
    std::unique_ptr<ChildProcess> process_;
    bool started_ = false;
};

// A UDP port of the address that is free now.
uint16_t FreeUdpPort(const std::string& address);

} // namespace testsupport
