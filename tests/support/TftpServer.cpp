#include "tests/support/TftpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace testsupport {

namespace {

sockaddr_in Address(const std::string& address, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    return a;
}

// Whether a read request of a missing file gets an answer within waitMs.
bool Answers(const std::string& address, uint16_t port, int waitMs)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    static const char request[] = "\0\1probe-none\0octet";
    const sockaddr_in to = Address(address, port);
    bool answered = false;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) > 0) {
            char buffer[600];
            answered = ::recv(fd, buffer, sizeof buffer, 0) >= 4;
        }
    }
    ::close(fd);
    return answered;
}

} // namespace

uint16_t FreeUdpPort(const std::string& address)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Address(address, 0);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

TftpServer::TftpServer(const std::string& address, bool create) : address_(address)
{
    namespace fs = std::filesystem;
    fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::add);
    const bool root = ::geteuid() == 0;
    for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
        port_ = FreeUdpPort(address);
        std::string command = root ? "exec " : "exec sudo -n ";
        command += "/usr/sbin/in.tftpd --foreground --address " + address + ":" + std::to_string(port_) +
                   (create ? " --create" : "") + " --secure --user " + (root ? std::string("root") : "$(id -un)") +
                   " '" + dir_.path().string() + "'";
        process_ = std::make_unique<ChildProcess>(command);
        for (int i = 0; i < 50 && !started_; ++i) {
            started_ = Answers(address, port_, 100);
        }
        if (!started_) process_.reset();
    }
    if (!started_) ADD_FAILURE() << "in.tftpd (tftpd-hpa) does not answer on " << address;
}

TftpServer::~TftpServer() = default;

} // namespace testsupport
