#include "loader/io/IOSocketTCP.h"
#include "loader/io/IOSocketUDP.h"
#include "platform/Exceptions.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <vector>
#include <unistd.h>

using testsupport::MessageOf;

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::ChildProcess;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

sockaddr_in Address(const char* host, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = inet_addr(host);
    return a;
}

int LocalPortOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// Whether the socket has something to read (a datagram, or a connection to accept).
bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

// A socket of the test itself, closed with the object.
struct TestSocket {
    TestSocket(int type, const char* host, int port = 0)
    {
        fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
        // A datagram socket on a port of the system's choice shares it with no one: with
        // SO_REUSEADDR on both, the system may give it a port a socket of another test
        // holds, and one of them gets the other's datagrams.
        const int on = 1;
        if (type == SOCK_STREAM || port != 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in a = Address(host, port);
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0) << host;
        this->port = LocalPortOf(fd);
    }
    ~TestSocket()
    {
        if (fd >= 0) close(fd);
    }
    std::string Receive(int timeoutMs)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return {};
        char buf[2048];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, size_t(n)) : std::string();
    }
    void SendTo(int toPort, const std::string& bytes) const
    {
        const sockaddr_in a = Address("127.0.0.1", toPort);
        ASSERT_EQ(sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a),
                  ssize_t(bytes.size()));
    }
    int fd = -1;
    int port = 0;
};

// socat as an independent TCP echo peer on loopback.
class EchoServer {
public:
    EchoServer()
    {
        EXPECT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
        port = TestSocket(SOCK_STREAM, "127.0.0.1").port; // a free port
        server = std::make_unique<ChildProcess>("exec socat TCP-LISTEN:" + std::to_string(port) +
                                                ",bind=127.0.0.1,reuseaddr,fork EXEC:cat");
        // Ready once it accepts.
        testsupport::WaitUntil([&] {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in a = Address("127.0.0.1", port);
            const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
            close(fd);
            return ok;
        });
    }
    std::unique_ptr<TIOSocketTCP> Connect(bool keepAlive = false) const
    {
        auto t = std::make_unique<TIOSocketTCP>();
        t->SetRemoteHost("127.0.0.1");
        t->SetRemotePort(port);
        t->SetKeepAlive(keepAlive);
        t->Open();
        return t;
    }
    int port = 0;

private:
    std::unique_ptr<ChildProcess> server;
};

TEST(IOSocketNames, HostsAndPortsResolve)
{
    const std::pair<const char*, const char*> hosts[] = {
        {"", "0.0.0.0"}, {"localhost", "127.0.0.1"}, {"1.2.3.999", ""},
        {"127.1", "127.1"}, {"300", "300"}, {"192.168.0.7", "192.168.0.7"},
    };
    for (const auto& [host, dotted] : hosts) EXPECT_EQ(ResolveHost(host), dotted) << host;

    const std::pair<const char*, int> ports[] = {{"", 0}, {"http", 80}, {"502", 502}, {"65535", 65535}};
    for (const auto& [text, port] : ports) EXPECT_EQ(ResolvePort(text), port) << text << " (/etc/services: package netbase)";
    for (const char* bad : {"x1", "70000", "-1", "12 "})
        EXPECT_EQ(MessageOf<platform::EConvertError>([&] { ResolvePort(bad); }),
                  std::string("'") + bad + "' is not a valid integer value");

    const sockaddr_in a = MakeSocketAddress("127.1", "http");
    EXPECT_EQ(a.sin_family, AF_INET);
    EXPECT_EQ(a.sin_addr.s_addr, inet_addr("127.0.0.1"));
    EXPECT_EQ(ntohs(a.sin_port), 80);
}

TEST(IOSocketTCP, EchoRoundTripsAndReadTimeouts)
{
    EchoServer echo;
    auto tcp = echo.Connect();
    ASSERT_TRUE(tcp->Opened());

    // 1 MiB both ways: every byte of every partial send arrives.
    std::string big(1 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
    std::thread writer([&] { EXPECT_EQ(tcp->Write(big.data(), int32_t(big.size())), int32_t(big.size())); });
    std::string back;
    tcp->SetReadTimeout(5000);
    std::vector<char> buf(65536);
    while (back.size() < big.size()) {
        const int32_t n = tcp->Read(buf.data(), int32_t(buf.size()));
        if (n == 0) break;
        back.append(buf.data(), size_t(n));
    }
    writer.join();
    EXPECT_TRUE(back == big) << back.size() << " bytes came back";

    tcp->SetReadTimeout(0);
    EXPECT_EQ(tcp->InQueue(), 0);
    auto start = Clock::now();
    EXPECT_EQ(tcp->Read(buf.data(), 10), 0);
    EXPECT_LT(MsSince(start), 100);

    tcp->SetReadTimeout(150);
    start = Clock::now();
    EXPECT_EQ(tcp->Read(buf.data(), 10), 0);
    EXPECT_GE(MsSince(start), 150);
    EXPECT_LT(MsSince(start), 1000);

    tcp->SetReadTimeout(-1);
    start = Clock::now();
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tcp->Write("late", 4);
    });
    std::string got;
    while (got.size() < 4) {
        const int32_t n = tcp->Read(buf.data(), 4 - int32_t(got.size()));
        got.append(buf.data(), size_t(n));
    }
    late.join();
    EXPECT_EQ(got, "late");
    EXPECT_GE(MsSince(start), 200);

    tcp->Write("queued", 6);
    testsupport::WaitUntil([&] { return tcp->InQueue() != 0; });
    EXPECT_EQ(tcp->InQueue(), 8192); // a sign, whatever the amount
}

TEST(IOSocketTCP, PeerCloseIsReportedOnceAndWritesDoNotKill)
{
    TestSocket listener(SOCK_STREAM, "127.0.0.1");
    ASSERT_EQ(listen(listener.fd, 4), 0);
    char buf[16];

    TIOSocketTCP tcp;
    EXPECT_EQ(MessageOf<EIOSocketTCPException>([&] { tcp.Read(buf, 1); }), SIODeviceNotConnected);
    EXPECT_EQ(MessageOf<EIOSocketTCPException>([&] { tcp.Write(buf, 1); }), SIODeviceNotConnected);
    tcp.SetRemoteHost("127.0.0.1");
    tcp.SetRemotePort(listener.port);
    tcp.Open();
    close(accept(listener.fd, nullptr, nullptr));
    tcp.SetReadTimeout(2000);
    EXPECT_EQ(MessageOf<EIOSocketTCPException>([&] { tcp.Read(buf, 1); }), SIOSocketClosedGracefully);
    EXPECT_FALSE(tcp.Opened());
    EXPECT_EQ(MessageOf<EIOSocketTCPException>([&] { tcp.Read(buf, 1); }), SIODeviceNotConnected);

    // Writing to a peer that has gone: an error, never SIGPIPE.
    tcp.Open();
    close(accept(listener.fd, nullptr, nullptr));
    // The first write may still go out; one after the peer's reset raises.
    bool raised = false;
    testsupport::WaitUntil([&] {
        try {
            tcp.Write("ping", 4);
        } catch (const platform::EOSError& e) {
            raised = true;
            EXPECT_TRUE(e.Code() == EPIPE || e.Code() == ECONNRESET) << e.what();
            EXPECT_EQ(tcp.LastError(), uint32_t(e.Code()));
        }
        return raised;
    });
    EXPECT_TRUE(raised);
}

TEST(IOSocketTCP, KeepAliveIsSetBeforeOpenOnly)
{
    EchoServer echo;
    auto tcp = echo.Connect(true);
    const std::pair<int, int> options[] = {{SOL_SOCKET, SO_KEEPALIVE}, {IPPROTO_TCP, TCP_KEEPIDLE},
                                           {IPPROTO_TCP, TCP_KEEPINTVL}, {IPPROTO_TCP, TCP_KEEPCNT}};
    const int expected[] = {1, 10, 1, 10};
    for (size_t i = 0; i < 4; ++i) {
        int v = -1;
        socklen_t len = sizeof v;
        ASSERT_EQ(getsockopt(tcp->Socket(), options[i].first, options[i].second, &v, &len), 0);
        EXPECT_EQ(v, expected[i]) << i;
    }
    std::string out;
    ASSERT_EQ(testsupport::RunCommand("ss -tno state established", &out), 0) << "ss is needed (package iproute2)";
    // Our end is the line whose local address (third column) is our socket's.
    const std::string local = "127.0.0.1:" + std::to_string(LocalPortOf(tcp->Socket()));
    std::istringstream lines(out);
    std::string line, timer = "no line of " + local;
    while (std::getline(lines, line)) {
        std::istringstream cols(line);
        std::string recvQ, sendQ, address;
        if (cols >> recvQ >> sendQ >> address && address == local) timer = line;
    }
    EXPECT_NE(timer.find("timer:(keepalive"), std::string::npos) << timer << "\n" << out;

    EXPECT_EQ(MessageOf<EIOSocketTCPException>([&] { tcp->SetKeepAlive(false); }), SIOSocketKeepAliveChange);
    EXPECT_TRUE(tcp->GetKeepAlive());
    tcp->Close();
    tcp->SetKeepAlive(false);
    EXPECT_FALSE(tcp->GetKeepAlive());
}

TEST(IOSocketTCP, ConnectIsBoundedAndNeverReachesTheWildcard)
{
    // A listener whose queue is full: further SYNs go unanswered.
    TestSocket full(SOCK_STREAM, "127.0.0.1");
    ASSERT_EQ(listen(full.fd, 0), 0);
    std::vector<std::unique_ptr<TestSocket>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<TestSocket>(SOCK_STREAM, "127.0.0.1"));
        const int fl = fcntl(fillers.back()->fd, F_GETFL);
        fcntl(fillers.back()->fd, F_SETFL, fl | O_NONBLOCK);
        const sockaddr_in a = Address("127.0.0.1", full.port);
        connect(fillers.back()->fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        // The first fills the queue: the listener holds it.
        if (i == 0) {
            ASSERT_TRUE(testsupport::WaitUntil([&] { return Readable(full.fd); }));
        }
    }
    TIOSocketTCP tcp;
    tcp.SetRemoteHost("127.0.0.1");
    tcp.SetRemotePort(full.port);
    tcp.SetConnectTimeout(1500);
    const auto start = Clock::now();
    EXPECT_EQ(MessageOf<platform::EOSError>([&] { tcp.Open(); }), platform::SysErrorMessage(ETIMEDOUT));
    EXPECT_GE(MsSince(start), 1400);
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_FALSE(tcp.Opened());
    EXPECT_EQ(tcp.Socket(), -1);

    EchoServer echo;
    tcp.SetRemotePort(echo.port);
    tcp.Open();
    EXPECT_TRUE(tcp.Opened());
    tcp.Close();

    // Linux would connect 0.0.0.0 to a local listener.
    TestSocket wildcard(SOCK_STREAM, "0.0.0.0");
    ASSERT_EQ(listen(wildcard.fd, 4), 0);
    for (const char* host : {"", "0.0.0.0", "1.2.3.999"}) {
        TIOSocketTCP t;
        t.SetRemoteHost(host);
        t.SetRemotePort(wildcard.port);
        EXPECT_EQ(MessageOf<platform::EOSError>([&] { t.Open(); }), platform::SysErrorMessage(EADDRNOTAVAIL)) << host;
        EXPECT_FALSE(t.Opened());
    }
}

TEST(IOSocketUDP, FixedPeerIgnoresStrangers)
{
    TestSocket peer(SOCK_DGRAM, "127.0.0.1");
    TestSocket stranger(SOCK_DGRAM, "127.0.0.2");
    TIOSocketUDP udp;
    udp.SetRemoteHost("127.0.0.1");
    udp.SetRemotePort(peer.port);
    EXPECT_TRUE(udp.HostFixed() && udp.PortFixed());
    udp.Open();
    const int local = LocalPortOf(udp.Socket());

    ASSERT_EQ(udp.Write("request", 7), 7);
    EXPECT_EQ(peer.Receive(2000), "request");
    stranger.SendTo(local, "forged");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Readable(udp.Socket()); })); // the reply comes after it
    peer.SendTo(local, "reply");
    udp.SetReadTimeout(2000);
    char buf[64];
    const int32_t n = udp.Read(buf, sizeof buf);
    EXPECT_EQ(std::string(buf, size_t(std::max(n, 0))), "reply");
    EXPECT_EQ(udp.GetRemoteHost(), "127.0.0.1");
    EXPECT_EQ(udp.GetRemotePort(), peer.port);

    stranger.SendTo(local, "forged again");
    udp.SetReadTimeout(150);
    const auto start = Clock::now();
    EXPECT_EQ(udp.Read(buf, sizeof buf), 0); // dropped, and the wait stays bounded
    EXPECT_GE(MsSince(start), 150);
    EXPECT_LT(MsSince(start), 1000);
    udp.Write("next", 4);
    EXPECT_EQ(peer.Receive(2000), "next");
    EXPECT_EQ(stranger.Receive(100), "");
}

TEST(IOSocketUDP, FreePeerIsLearntAndLongDatagramsAreCut)
{
    TestSocket client(SOCK_DGRAM, "127.0.0.1");
    TIOSocketUDP udp;
    char buf[64];
    EXPECT_EQ(MessageOf<EIOSocketException>([&] { udp.Read(buf, 4); }), SIODeviceNotConnected);
    EXPECT_EQ(MessageOf<EIOSocketException>([&] { udp.Write(buf, 4); }), SIODeviceNotConnected);
    udp.Open();

    // The local bind: wildcard address, a port of the system's choice, not shared.
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ASSERT_EQ(getsockname(udp.Socket(), reinterpret_cast<sockaddr*>(&bound), &len), 0);
    EXPECT_EQ(bound.sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_NE(bound.sin_port, 0);
    EXPECT_EQ(udp.LocalAddress().sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(udp.LocalAddress().sin_port, 0);
    int reuse = 0;
    len = sizeof reuse;
    getsockopt(udp.Socket(), SOL_SOCKET, SO_REUSEADDR, &reuse, &len);
    EXPECT_EQ(reuse, 0);

    // Nobody to send to yet.
    EXPECT_EQ(MessageOf<platform::EOSError>([&] { udp.Write("x", 1); }), platform::SysErrorMessage(EADDRNOTAVAIL));

    client.SendTo(ntohs(bound.sin_port), "0123456789");
    client.SendTo(ntohs(bound.sin_port), "ab");
    udp.SetReadTimeout(2000);
    EXPECT_EQ(udp.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(udp.Read(buf, sizeof buf), 2); // the rest of the first datagram is gone
    EXPECT_EQ(std::string(buf, 2), "ab");
    EXPECT_EQ(udp.GetRemoteHost(), "127.0.0.1");
    EXPECT_EQ(udp.GetRemotePort(), client.port);
    EXPECT_FALSE(udp.HostFixed());
    ASSERT_EQ(udp.Write("answer", 6), 6);
    EXPECT_EQ(client.Receive(2000), "answer");

    udp.Close();
    EXPECT_EQ(MessageOf<EIOSocketException>([&] { udp.Read(buf, 4); }), SIODeviceNotConnected);
}

int ReuseOf(int fd)
{
    int reuse = -1;
    socklen_t len = sizeof reuse;
    getsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, &len);
    return reuse;
}

// SO_REUSEADDR goes with a fixed local port only; on a port of the system's choice two
// sockets could be given the same port and each receive the other's datagrams.
TEST(IOSocketUDP, OnlyAFixedLocalPortIsShared)
{
    const int fixed = TestSocket(SOCK_DGRAM, "127.0.0.1").port; // free a moment ago
    const struct {
        const char* name;
        int port;
        bool reuseAddress;
        int reuse;
    } cases[] = {
        {"a port of the system's choice", 0, true, 0},
        {"a fixed port", fixed, true, 1},
        {"a fixed port, reuse turned off", fixed, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIOSocketUDP udp;
        udp.LocalPort = c.port;
        udp.ReuseAddress = c.reuseAddress;
        udp.Open();
        EXPECT_EQ(ReuseOf(udp.Socket()), c.reuse);
        if (c.reuse == 1) {
            TIOSocketUDP second; // the same fixed port binds twice
            second.LocalPort = c.port;
            EXPECT_NO_THROW(second.Open());
        }
    }
}

// Hundreds of sockets on ports of the system's choice at once: with SO_REUSEADDR Linux
// would hand some of them the same port (nearly sure among 500 of ~28000 ports).
TEST(IOSocketUDP, PortsOfTheSystemsChoiceAreNeverShared)
{
    std::vector<std::unique_ptr<TIOSocketUDP>> sockets;
    std::set<int> ports;
    for (int i = 0; i < 500; ++i) {
        auto udp = std::make_unique<TIOSocketUDP>();
        udp->Open();
        ports.insert(LocalPortOf(udp->Socket()));
        sockets.push_back(std::move(udp));
    }
    EXPECT_EQ(ports.size(), sockets.size());
}

TEST(IOSocketTCP, ChildProcessesInheritNoSocket)
{
    EchoServer echo;
    auto tcp = echo.Connect();
    TIOSocketUDP udp;
    udp.Open();
    std::string out;
    ASSERT_EQ(testsupport::RunCommand("ls -l /proc/self/fd", &out), 0);
    EXPECT_EQ(out.find("socket:"), std::string::npos) << out;
}

} // namespace
