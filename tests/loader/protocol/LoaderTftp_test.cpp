// The TFTP client: files of every size class delivered to tftpd-hpa byte for byte, its
// refusal passed on, and the protocol details against a scripted server on loopback
// (the request's bytes, a lost acknowledgement, a duplicate one, a stranger's packet,
// an error packet, silence).

#include "loader/protocol/LoaderTftp.h"
#include "platform/CodePages.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/TftpServer.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using testsupport::RandomBytes;

struct Recorded {
    std::vector<int64_t> work;
    int begins = 0;
    int ends = 0;
    int64_t size = -1;
};

TTftpEvents Recording(Recorded& r)
{
    TTftpEvents events;
    events.Begin = [&r](int64_t size) { ++r.begins, r.size = size; };
    events.Work = [&r](int64_t count) { r.work.push_back(count); };
    events.End = [&r] { ++r.ends; };
    return events;
}

// Sends the bytes to the server; the client's error text, or "" on success.
std::string PutError(TTftpClient& client, const std::string& bytes, const std::string& name, Recorded& r)
{
    std::istringstream stream(bytes);
    try {
        client.Put(stream, static_cast<int64_t>(bytes.size()), name, Recording(r));
    } catch (const ETftpError& e) {
        return e.what();
    }
    return {};
}

TEST(TftpClientAgainstTftpd, EverySizeArrivesUnderItsName)
{
    testsupport::TftpServer server;
    ASSERT_TRUE(server.started());
    TTftpClient client("127.0.0.1", server.port());
    // Empty, one byte, around one block, 1 MiB, and past block 65535 (the numbers wrap).
    for (const size_t size : {size_t{0}, size_t{1}, size_t{511}, size_t{512}, size_t{513}, size_t{1} << 20,
                              size_t{33600000}}) {
        SCOPED_TRACE(size);
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "fw" + std::to_string(size) + ".a90";
        Recorded r;
        EXPECT_EQ(PutError(client, bytes, name, r), "");
        EXPECT_EQ(testsupport::ReadFile(server.dir() / name), bytes);
        EXPECT_EQ(r.begins, 1);
        EXPECT_EQ(r.size, static_cast<int64_t>(size));
        EXPECT_EQ(r.ends, 1);
        ASSERT_EQ(r.work.size(), size / 512 + 1);
        EXPECT_EQ(r.work.back(), static_cast<int64_t>(size));
    }
}

TEST(TftpClientAgainstTftpd, RefusalCarriesTheServersCodeAndText)
{
    testsupport::TftpServer server("127.0.0.1", false);
    ASSERT_TRUE(server.started());
    TTftpClient client("127.0.0.1", server.port());
    Recorded r;
    const std::string error = PutError(client, "data", "new.hex", r);
    // tftpd-hpa without --create refuses a file that does not exist yet.
    EXPECT_EQ(error, "Ошибка TFTP 1: File not found");
    EXPECT_EQ(r.ends, 0);
    EXPECT_TRUE(r.work.empty());
}

TEST(TftpClient, HostsThatCannotBeReachedAreRefused)
{
    for (const char* host : {"", "0.0.0.0", "no-such-host.invalid"}) {
        TTftpClient client(host, 69);
        Recorded r;
        EXPECT_EQ(PutError(client, "x", "a.hex", r), "Ошибка TFTP: " + platform::SysErrorMessage(EADDRNOTAVAIL))
            << host;
        EXPECT_EQ(r.begins, 0);
    }
}

// A TFTP server on loopback that follows a script: it takes one write request on its
// port and answers from a transfer port of its own, and can lose, repeat or replace
// acknowledgements and send from a third, foreign port.
class ScriptedServer {
public:
    struct Script {
        std::set<int> dropAckOnce;     // blocks whose first copy gets no acknowledgement
        std::set<int> duplicateAck;    // blocks acknowledged twice
        int foreignAt = -1;            // before acknowledging this block, the foreign port sends an ACK
        int errorAt = -1;              // this block gets ERROR 2 "Access violation"
        bool silent = false;           // the request is never answered
    };

    explicit ScriptedServer(Script script) : script_(std::move(script))
    {
        listen_ = Bind();
        transfer_ = Bind();
        foreign_ = Bind();
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedServer()
    {
        stop_ = true;
        thread_.join();
        for (int fd : {listen_, transfer_, foreign_}) ::close(fd);
    }
    uint16_t Port() const { return PortOf(listen_); }

    std::string Request() const { std::lock_guard l(lock_); return request_; }
    std::string Data() const
    {
        std::lock_guard l(lock_);
        std::string all;
        for (const auto& [n, bytes] : blocks_) all += bytes;
        return all;
    }
    // DATA packets received per block number (the sequence number, not wrapped).
    std::map<int, int> DataCount() const { std::lock_guard l(lock_); return dataCount_; }
    std::vector<std::string> ForeignReceived() const { std::lock_guard l(lock_); return foreignReceived_; }
    int PacketsAfterError() const { std::lock_guard l(lock_); return afterError_; }
    // Polls of 20 ms in which nothing arrived.
    int QuietPolls() const { return quietPolls_; }

private:
    static int Bind()
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        return fd;
    }
    static uint16_t PortOf(int fd)
    {
        sockaddr_in a{};
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        return ntohs(a.sin_port);
    }
    void Send(int fd, const std::string& packet)
    {
        ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&client_), sizeof client_);
    }
    static std::string Ack(int block)
    {
        return std::string{0, 4, static_cast<char>((block >> 8) & 0xFF), static_cast<char>(block & 0xFF)};
    }
    void Run()
    {
        pollfd p[3] = {{listen_, POLLIN, 0}, {transfer_, POLLIN, 0}, {foreign_, POLLIN, 0}};
        int sequence = 0; // blocks acknowledged so far
        bool errorSent = false;
        while (!stop_) {
            if (::poll(p, 3, 20) <= 0) {
                ++quietPolls_;
                continue;
            }
            for (int i = 0; i < 3; ++i) {
                if (!(p[i].revents & POLLIN)) continue;
                char buffer[1024];
                sockaddr_in from{};
                socklen_t n = sizeof from;
                const ssize_t got = ::recvfrom(p[i].fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
                if (got < 0) continue;
                const std::string packet(buffer, static_cast<size_t>(got));
                std::lock_guard l(lock_);
                if (errorSent) ++afterError_;
                if (i == 0) {
                    request_ = packet;
                    client_ = from;
                    if (!script_.silent) Send(transfer_, Ack(0));
                } else if (i == 2) {
                    foreignReceived_.push_back(packet);
                } else if (packet.size() >= 4 && packet[1] == 3) {
                    const int wire = (static_cast<uint8_t>(packet[2]) << 8) | static_cast<uint8_t>(packet[3]);
                    // The sequence number this packet carries: the next block or the last one again.
                    const int number = (sequence + 1) % 65536 == wire ? sequence + 1 : sequence;
                    ++dataCount_[number];
                    if (number == script_.errorAt) {
                        static const char error[] = "\0\5\0\2Access violation";
                        Send(transfer_, std::string(error, sizeof error));
                        errorSent = true;
                        continue;
                    }
                    if (script_.dropAckOnce.erase(number)) continue;
                    blocks_[number] = packet.substr(4);
                    if (number == script_.foreignAt) {
                        ::sendto(foreign_, Ack(wire).data(), 4, 0, reinterpret_cast<const sockaddr*>(&client_),
                                 sizeof client_);
                        // The real acknowledgement goes once the client has answered the foreign one.
                        pollfd f{foreign_, POLLIN, 0};
                        if (::poll(&f, 1, static_cast<int>(testsupport::kWaitDeadline.count())) > 0) {
                            const ssize_t answer = ::recv(foreign_, buffer, sizeof buffer, 0);
                            if (answer >= 0) foreignReceived_.emplace_back(buffer, static_cast<size_t>(answer));
                        }
                    }
                    sequence = number;
                    Send(transfer_, Ack(wire));
                    if (script_.duplicateAck.count(number)) Send(transfer_, Ack(wire));
                }
            }
        }
    }

    Script script_;
    int listen_ = -1, transfer_ = -1, foreign_ = -1;
    sockaddr_in client_{};
    std::atomic<bool> stop_{false};
    std::atomic<int> quietPolls_{0};
    mutable std::mutex lock_;
    std::string request_;
    std::map<int, std::string> blocks_;
    std::map<int, int> dataCount_;
    std::vector<std::string> foreignReceived_;
    int afterError_ = 0;
    std::thread thread_;
};

constexpr TTftpTiming kFast{100, 800};

TEST(TftpClient, WriteRequestIsOpcodeNameAndOctet)
{
    ScriptedServer server({});
    TTftpClient client("127.0.0.1", server.Port(), kFast);
    Recorded r;
    const std::string name = platform::Utf8ToAnsi("Прошивка №1.a90");
    EXPECT_EQ(PutError(client, "abc", name, r), "");
    EXPECT_EQ(server.Request(), std::string("\0\2", 2) + name + std::string("\0octet\0", 7));
    EXPECT_EQ(server.Data(), "abc");
}

TEST(TftpClient, LostDuplicateAndForeignPacketsLeaveTheFileIntact)
{
    const std::string bytes = RandomBytes(5 * 512 + 100, 7);
    ScriptedServer::Script script;
    script.dropAckOnce = {2};
    script.duplicateAck = {3};
    script.foreignAt = 4;
    ScriptedServer server(script);
    TTftpClient client("127.0.0.1", server.Port(), kFast);
    Recorded r;
    EXPECT_EQ(PutError(client, bytes, "fw.hex", r), "");
    EXPECT_EQ(server.Data(), bytes);
    const std::map<int, int> counts = server.DataCount();
    EXPECT_EQ(counts.at(2), 2) << "the lost acknowledgement makes the block go again";
    for (int block : {1, 3, 4, 5, 6}) EXPECT_EQ(counts.at(block), 1) << "block " << block;
    const auto foreign = server.ForeignReceived();
    ASSERT_EQ(foreign.size(), 1u);
    EXPECT_EQ(foreign[0], std::string("\0\5\0\5Unknown transfer ID\0", 24));
    EXPECT_EQ(r.ends, 1);
    EXPECT_EQ(r.work.back(), static_cast<int64_t>(bytes.size()));
}

TEST(TftpClient, ErrorPacketEndsTheTransfer)
{
    ScriptedServer::Script script;
    script.errorAt = 3;
    ScriptedServer server(script);
    TTftpClient client("127.0.0.1", server.Port(), kFast);
    Recorded r;
    EXPECT_EQ(PutError(client, RandomBytes(4000, 1), "fw.hex", r), "Ошибка TFTP 2: Access violation");
    // Whatever the client sent has arrived once the server has polled twice in quiet.
    const int quiet = server.QuietPolls();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return server.QuietPolls() >= quiet + 2; }));
    EXPECT_EQ(server.PacketsAfterError(), 0);
    EXPECT_EQ(r.ends, 0);
    EXPECT_EQ(r.work.size(), 2u);
}

TEST(TftpClient, SilenceFailsAfterTheTimeOut)
{
    ScriptedServer::Script script;
    script.silent = true;
    ScriptedServer server(script);
    TTftpClient client("127.0.0.1", server.Port(), kFast);
    Recorded r;
    EXPECT_EQ(PutError(client, "x", "fw.hex", r), "Нет ответа от сервера TFTP 127.0.0.1 (блок 0)");
    EXPECT_EQ(r.begins, 1);
    EXPECT_EQ(r.ends, 0);
}

} // namespace
