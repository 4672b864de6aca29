#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace testsupport {

void MakeRaw(int fd)
{
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
}

Pty::Pty()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    slave = ptsname(master);
    const int s = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    MakeRaw(s);
    close(s);
}

Pty::~Pty() { CloseMaster(); }

void Pty::CloseMaster()
{
    if (master >= 0) close(master);
    master = -1;
}

void Pty::Send(const std::string& bytes) const
{
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Pty::Receive(size_t want, int timeoutMs) const
{
    std::string got;
    char buf[65536];
    while (got.size() < want) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) break;
        const ssize_t n = read(master, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

} // namespace testsupport
