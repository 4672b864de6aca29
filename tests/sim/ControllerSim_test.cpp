// The controller simulator by itself (golden frames whole, in pieces and after garbage,
// faults as a plain reader sees them, the pty's slave coming and going), and the
// library's MODBUS requests against it over a pty, TCP and UDP.

#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"

#include "loader/io/IOSerialRate.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/io/Modbus.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using sim::ControllerSim;
using sim::LoaderEnv;
using sim::Fault;
using sim::FaultKind;
using testsupport::Bytes;

namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string WithCrc(const std::string& pdu)
{
    const uint16_t crc = ModbusCrc16(U8(pdu), static_cast<uint16_t>(pdu.size()));
    return pdu + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

const testsupport::GoldenFrame& Golden(const std::string& name)
{
    for (const auto& g : testsupport::GoldenFrames())
        if (g.name == name) return g;
    throw std::runtime_error("no golden frame " + name);
}

// A plain TCP client of the simulator.
class Client {
public:
    Client(const std::string& host, uint16_t port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = inet_addr(host.c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~Client() { ::close(fd); }
    void Send(const std::string& bytes) const { EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); }
    // Bytes until none comes for quietMs.
    std::string Receive(int quietMs = 200) const
    {
        std::string got;
        char buf[512];
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, quietMs) > 0) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    // A reply of that size, waited for as long as a busy machine needs, and whatever
    // follows it at once.
    std::string ReceiveReply(size_t size) const
    {
        std::string got;
        testsupport::WaitUntil([&] {
            got += Receive(10);
            return got.size() >= size;
        });
        return got + Receive(50);
    }
    int fd = -1;
};

// A started simulator with one TCP endpoint on the address, and a client of it.
struct SimOverTcp {
    explicit SimOverTcp(const std::string& host)
    {
        const uint16_t port = sim.AddTcp(host);
        sim.Start();
        client.emplace(host, port);
    }
    ControllerSim sim;
    std::optional<Client> client;
};

} // namespace

TEST(ControllerSim, RecognisesGoldenFramesWholeSplitAndAfterGarbage)
{
    SimOverTcp over("127.0.0.61");
    ControllerSim& sim = over.sim;
    const Client& client = *over.client;
    const auto& transmit = Golden("transmit 1");
    const auto& reply = Golden("reply to transmit 1");
    const auto& restart2 = Golden("restart2 1");

    client.Send(transmit.frame);
    EXPECT_EQ(client.ReceiveReply(reply.frame.size()), reply.frame);
    // The rest goes once the simulator holds the start.
    const size_t mark = sim.Traffic().size();
    client.Send(restart2.frame.substr(0, 4));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return sim.Traffic().size() > mark; }));
    client.Send(restart2.frame.substr(4));
    const std::string restartReply = WithCrc(restart2.pdu.substr(0, 6));
    EXPECT_EQ(client.ReceiveReply(restartReply.size()), restartReply);
    client.Send(Bytes("00 FF 13") + transmit.frame);
    EXPECT_EQ(client.ReceiveReply(reply.frame.size()), reply.frame);

    std::string flipped = transmit.frame;
    flipped.back() = static_cast<char>(flipped.back() ^ 1);
    client.Send(flipped);
    EXPECT_EQ(client.Receive(), "");
    const auto frames = sim.Frames();
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0].bytes, transmit.frame);
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[1].bytes, restart2.frame);
    EXPECT_EQ(frames[2].bytes, transmit.frame);
    EXPECT_FALSE(frames.back().crcOk);
    bool logged = false;
    for (const auto& e : sim.Events()) logged = logged || e.find("bad CRC") != std::string::npos;
    EXPECT_TRUE(logged);

    // The raw bytes in time order: the request as it came, then the reply.
    const auto traffic = sim.Traffic();
    ASSERT_GE(traffic.size(), 2u);
    EXPECT_EQ(traffic[0].endpoint, frames[0].endpoint);
    EXPECT_FALSE(traffic[0].sent);
    EXPECT_EQ(traffic[0].bytes, transmit.frame);
    EXPECT_TRUE(traffic[1].sent);
    EXPECT_EQ(traffic[1].bytes, reply.frame);
    for (size_t i = 1; i < traffic.size(); ++i) EXPECT_LE(traffic[i - 1].timeMs, traffic[i].timeMs);
}

TEST(ControllerSim, FaultsAsAPlainReaderSeesThem)
{
    SimOverTcp over("127.0.0.62");
    ControllerSim& sim = over.sim;
    const Client& client = *over.client;
    const auto& transmit = Golden("transmit 1");
    const auto& reply = Golden("reply to transmit 1");
    std::string badCrc = reply.frame;
    badCrc.back() = static_cast<char>(badCrc.back() ^ 0xFF);
    std::string altered = reply.pdu;
    altered[2] = static_cast<char>(altered[2] ^ 0x01);
    const struct {
        const char* name;
        Fault fault;
        std::string seen;
        uint64_t atLeastMs; // before the whole reply is in
    } cases[] = {
        {"silence", {FaultKind::Silence, 0, 0}, "", 0},
        {"bad CRC", {FaultKind::BadCrc, 0, 0}, badCrc, 0},
        {"exception", {FaultKind::Exception, 2, 0}, WithCrc(Bytes("01 90 02")), 0},
        {"short exception", {FaultKind::Exception3, 4, 0}, Bytes("01 90 04"), 0},
        {"delay", {FaultKind::Delay, 150, 0}, reply.frame, 150},
        {"truncated", {FaultKind::Truncate, 4, 0}, reply.frame.substr(0, 4), 0},
        {"noise", {FaultKind::Noise, 3, 0}, Bytes("FF 00 FF") + reply.frame, 0},
        {"fragments", {FaultKind::Fragments, 3, 60}, reply.frame, 120},
        {"noise after", {FaultKind::NoiseAfter, 2, 0}, reply.frame + Bytes("FF 00"), 0},
        {"one byte altered", {FaultKind::AlterByte, 2, 0}, WithCrc(altered), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.InjectFault(c.fault);
        const uint64_t start = platform::GetTickCount();
        client.Send(transmit.frame);
        std::string got;
        sim.WaitFor([&] { got += client.Receive(10); return got.size() >= c.seen.size() && !c.seen.empty(); },
                    c.seen.empty() ? 1000 : static_cast<int>(testsupport::kWaitDeadline.count()));
        const uint64_t elapsed = platform::GetTickCount() - start;
        got += client.Receive(100);
        EXPECT_EQ(got, c.seen);
        EXPECT_GE(elapsed, c.atLeastMs);
    }
    client.Send(transmit.frame);
    EXPECT_EQ(client.ReceiveReply(reply.frame.size()), reply.frame);

    sim.SetEcho(true);
    client.Send(transmit.frame);
    EXPECT_EQ(client.ReceiveReply(transmit.frame.size() + reply.frame.size()), transmit.frame + reply.frame);
    sim.SetEcho(false);

    // Faults by function code go first and leave the others queued: every request of
    // function 16, or the next two of it.
    sim.InjectFault(0x10, {FaultKind::Silence, 0, 0}, -1);
    sim.InjectFault({FaultKind::Truncate, 2, 0});
    for (int i = 0; i < 3; ++i) {
        client.Send(transmit.frame);
        EXPECT_EQ(client.Receive(), "");
    }
    sim.ClearFaults();
    sim.InjectFault(0x08, {FaultKind::Silence, 0, 0}, -1);
    sim.InjectFault(0x10, {FaultKind::Exception, 3, 0}, 2);
    for (const std::string& seen : {WithCrc(Bytes("01 90 03")), WithCrc(Bytes("01 90 03")), reply.frame}) {
        client.Send(transmit.frame);
        EXPECT_EQ(client.ReceiveReply(seen.size()), seen);
    }
    sim.ClearFaults();

    // Continuous noise: the reply, then noise at the rate until it is stopped.
    sim.InjectFault({FaultKind::NoiseStream, 500, 0});
    client.Send(transmit.frame);
    const uint64_t noiseStart = platform::GetTickCount();
    std::string noisy;
    char buf[256];
    pollfd wait{client.fd, POLLIN, 0};
    while (noisy.size() < reply.frame.size() + 100 && ::poll(&wait, 1, 1000) > 0) {
        const ssize_t n = ::recv(client.fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        noisy.append(buf, static_cast<size_t>(n));
    }
    ASSERT_GE(noisy.size(), reply.frame.size() + 100);
    EXPECT_GE(platform::GetTickCount() - noiseStart, 150u); // 100 bytes at 500 a second
    EXPECT_EQ(noisy.substr(0, reply.frame.size()), reply.frame);
    sim.SetNoise(0);
    client.Receive(50);
    EXPECT_EQ(client.Receive(100), "");

    sim.InjectFault({FaultKind::Disconnect, 0, 0});
    client.Send(transmit.frame);
    char byte = 0;
    pollfd p{client.fd, POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, 1000), 0);
    EXPECT_EQ(::recv(client.fd, &byte, 1, 0), 0); // closed by the simulator
}

TEST(ControllerSim, RawRulesUdpAndModemResets)
{
    ControllerSim sim;
    const uint16_t port = sim.AddUdp("127.0.0.63");
    sim.AddModemReset("127.0.0.63");
    sim.AddRawRule(Bytes("55 AA"), Bytes("AA 55"), 20);
    sim.Start();
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr("127.0.0.63");
    const std::string probe = Golden("probe").frame;
    ::sendto(s, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    char buf[64];
    pollfd p{s, POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, 1000), 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(::recv(s, buf, sizeof buf, 0))), Bytes("AA 55"));
    a.sin_port = htons(513);
    ::sendto(s, "REST_MODEM", 10, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    EXPECT_TRUE(sim.WaitFor([&] { return sim.ModemResets() == std::vector<std::string>{"REST_MODEM"}; }, 1000));
    ::close(s);
}

// A client that leaves while the simulator is busy, and the next that connects meanwhile:
// the simulator sees both at once, serves the new one and records a close for the old.
TEST(ControllerSim, ANewClientReplacesOneThatLeftWhileBusy)
{
    ControllerSim sim;
    const uint16_t port = sim.AddTcp("127.0.0.74");
    std::atomic<bool> busy{false}, release{false};
    sim.SetHandler([&](const std::string& pdu) -> std::optional<std::string> {
        if (busy.exchange(true)) return pdu.substr(0, 6);
        testsupport::WaitUntil([&] { return release.load(); }); // the first request holds it
        return std::nullopt;
    });
    sim.Start();
    const auto& transmit = Golden("transmit 1");
    {
        const Client first("127.0.0.74", port);
        first.Send(transmit.frame);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return busy.load(); }));
    }
    const Client second("127.0.0.74", port);
    release = true;
    second.Send(transmit.frame);
    EXPECT_EQ(second.ReceiveReply(Golden("reply to transmit 1").frame.size()), Golden("reply to transmit 1").frame);
    std::vector<std::string> events;
    for (const std::string& e : sim.Events()) events.push_back(e.substr(e.find(' ') + 1));
    EXPECT_EQ(events, (std::vector<std::string>{"tcp accept tcp:" + std::to_string(port),
                                                 "tcp close tcp:" + std::to_string(port),
                                                 "tcp accept tcp:" + std::to_string(port)}));
}

TEST(ControllerSim, PtySlaveComesAndGoes)
{
    testsupport::TempDir dir;
    ControllerSim sim;
    const std::string slave = sim.AddPty(dir / "ctl");
    EXPECT_EQ(fs::read_symlink(dir / "ctl"), fs::path(slave));
    sim.Start();
    const auto& transmit = Golden("transmit 1");
    for (int round = 0; round < 2; ++round) {
        const int fd = ::open((dir / "ctl").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, transmit.frame.data(), transmit.frame.size()), ssize_t(transmit.frame.size()));
        std::string got;
        char buf[64];
        pollfd p{fd, POLLIN, 0};
        while (got.size() < 8 && ::poll(&p, 1, 1000) > 0) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        EXPECT_EQ(got, Golden("reply to transmit 1").frame);
        ::close(fd);
        EXPECT_TRUE(sim.WaitFor(
            [&] {
                int closed = 0;
                for (const auto& e : sim.Events()) closed += e.find("pty slave closed") != std::string::npos;
                return closed == round + 1;
            },
            1000));
    }
}

// A disconnect on a pty hangs it up: the slave's holder sees the hang-up, and the link
// then names a fresh slave that works.
TEST(ControllerSim, DisconnectHangsUpThePty)
{
    testsupport::TempDir dir;
    ControllerSim sim;
    sim.AddPty(dir / "ctl");
    sim.Start();
    const auto& transmit = Golden("transmit 1");
    const auto exchange = [&](int fd) {
        EXPECT_EQ(::write(fd, transmit.frame.data(), transmit.frame.size()), ssize_t(transmit.frame.size()));
        std::string got;
        char buf[64];
        pollfd p{fd, POLLIN, 0};
        while (got.size() < 8 && ::poll(&p, 1, 1000) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    };
    const int first = ::open((dir / "ctl").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(first, 0);
    EXPECT_EQ(exchange(first), Golden("reply to transmit 1").frame);
    sim.InjectFault({FaultKind::Disconnect, 0, 0});
    ASSERT_EQ(::write(first, transmit.frame.data(), transmit.frame.size()), ssize_t(transmit.frame.size()));
    pollfd p{first, POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, 1000), 0);
    EXPECT_TRUE(p.revents & POLLHUP);
    char byte = 0;
    EXPECT_LE(::read(first, &byte, 1), 0);
    ::close(first);
    bool hungUp = false;
    for (const auto& e : sim.Events()) hungUp = hungUp || e.find("pty hang-up") != std::string::npos;
    EXPECT_TRUE(hungUp);

    const int second = ::open((dir / "ctl").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(second, 0);
    EXPECT_EQ(exchange(second), Golden("reply to transmit 1").frame);
    ::close(second);
}

namespace {

// Sends "transmit 1" through the library's connection and reads its 6-byte reply.
void TransmitThroughLibrary(TLoaderCore& core)
{
    const auto& transmit = Golden("transmit 1");
    core.Connection().SendRequest(U8(transmit.pdu), static_cast<int32_t>(transmit.pdu.size()));
    uint8_t dest[16] = {};
    bool crcError = true;
    EXPECT_EQ(core.Connection().ReadReply(dest, crcError, 6, 1000), 6);
    EXPECT_FALSE(crcError);
    EXPECT_EQ(HexDump(dest, 6), "01 10 03 F2 00 02");
}

} // namespace

// The library's requests and replies through each kind of endpoint.
TEST(ControllerSim, LibraryRequestsOverEachEndpoint)
{
    LoaderEnv env;
    {
        ControllerSim sim;
        const std::string slave = sim.AddPty();
        const uint16_t tcp = sim.AddTcp("127.0.0.64");
        const uint16_t udp = sim.AddUdp("127.0.0.64");
        sim.AddModemReset("127.0.0.64");
        sim.SetTurnaround(5);
        sim.Start();
        testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM5=" + slave);
        TLoaderCore core(env.Places());
        const std::string lines[] = {
            "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=14400",
            "ioType=iotTCP;TCPIP=127.0.0.64;TCPPort=" + std::to_string(tcp),
            "ioType=iotUDP;UDP=1;TCPIP=127.0.0.64;TCPPort=" + std::to_string(udp),
        };
        for (const std::string& line : lines) {
            SCOPED_TRACE(line);
            core.Connection().OpenDevice(line);
            TransmitThroughLibrary(core);
            core.Connection().CloseDevice();
        }
        ASSERT_EQ(sim.Frames().size(), 3u);
        // The rate the serial layer set (a rate without a Bxxx constant) is the line's.
        EXPECT_EQ(sim.Frames()[0].baud, 14400u);
        EXPECT_EQ(sim.ModemResets().size(), 2u);
        EXPECT_NE(core.OperationLog().find("< 01 10 03 F2 00 02 E0 7F"), std::string::npos);
    }
}

// The library's replies under faults on each kind of endpoint: fragments with gaps below
// and above the serial layer's 50 ms are assembled, a bad CRC is flagged, silence gives
// nothing; with the line echo, the echo is checked and the reply still read whole; a
// speed switch shows in the frames on the pty and changes nothing on a socket.
TEST(ControllerSim, LibraryRepliesUnderFaults)
{
    LoaderEnv env;
    ControllerSim sim;
    const std::string slave = sim.AddPty();
    const uint16_t tcp = sim.AddTcp("127.0.0.69");
    const uint16_t udp = sim.AddUdp("127.0.0.69");
    sim.SetTurnaround(2);
    sim.Start();
    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM5=" + slave);
    TLoaderCore core(env.Places());
    const std::string lines[] = {
        "ioType=iotSerial;SerialComNumber=5;SerialBaudRate=57600",
        "ioType=iotTCP;TCPIP=127.0.0.69;TCPPort=" + std::to_string(tcp),
        "ioType=iotUDP;UDP=1;TCPIP=127.0.0.69;TCPPort=" + std::to_string(udp),
    };
    const struct {
        const char* name;
        Fault fault;
        int32_t result;
        bool crcError;
    } cases[] = {
        {"fragments 20 ms apart", {FaultKind::Fragments, 3, 20}, 6, false},
        {"fragments 80 ms apart", {FaultKind::Fragments, 3, 80}, 6, false},
        {"bad CRC", {FaultKind::BadCrc, 0, 0}, 6, true},
        {"silence", {FaultKind::Silence, 0, 0}, 0, false},
    };
    const auto& transmit = Golden("transmit 1");
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        core.Connection().OpenDevice(line);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            sim.InjectFault(c.fault);
            core.Connection().SendRequest(U8(transmit.pdu), static_cast<int32_t>(transmit.pdu.size()));
            uint8_t dest[16] = {};
            bool crcError = !c.crcError;
            EXPECT_EQ(core.Connection().ReadReply(dest, crcError, 6, 600), c.result);
            EXPECT_EQ(crcError, c.crcError);
            if (c.result > 0) {
                EXPECT_EQ(HexDump(dest, 6), "01 10 03 F2 00 02");
            }
        }
        const bool serial = core.Connection().Serial() != nullptr;
        if (serial) {
            sim.SetEcho(true);
            core.Connection().SetEcho(true);
            TransmitThroughLibrary(core);
            EXPECT_NE(core.OperationLog().find("echo < " + HexDump(U8(transmit.frame), transmit.frame.size())),
                      std::string::npos);
            core.Connection().SetEcho(false);
            sim.SetEcho(false);
        }
        const size_t before = sim.Frames().size();
        for (int32_t baud : {9600, 57600}) {
            core.Connection().SwitchSerialSpeed(baud, "нет");
            TransmitThroughLibrary(core);
        }
        const auto frames = sim.Frames();
        ASSERT_EQ(frames.size(), before + 2);
        EXPECT_EQ(frames[before].baud, serial ? 9600u : 0u);
        EXPECT_EQ(frames[before + 1].baud, serial ? 57600u : 0u);
        core.Connection().CloseDevice();
    }
    EXPECT_NE(core.OperationLog().find("> " + HexDump(U8(transmit.frame), transmit.frame.size())), std::string::npos);
    EXPECT_NE(core.OperationLog().find("< 01 10 03 F2 00 02 E0 80"), std::string::npos); // the flipped CRC
}

// A serial connection reaches the TCP endpoint through a relay socat makes, as through a
// serial-to-Ethernet gateway.
TEST(ControllerSim, SerialConnectionThroughASocatRelay)
{
    ASSERT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
    LoaderEnv env;
    ControllerSim sim;
    const uint16_t port = sim.AddTcp("127.0.0.66");
    sim.Start();
    const fs::path gateway = env.dir / "ttyGW";
    testsupport::ChildProcess socat("exec socat pty,raw,echo=0,link=" + gateway.string() + " TCP:127.0.0.66:" +
                                    std::to_string(port));
    ASSERT_TRUE(testsupport::WaitForPath(gateway)) << "socat did not make its pty";
    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM6=" + gateway.string());
    TLoaderCore core(env.Places());
    core.Connection().OpenDevice("ioType=iotSerial;SerialComNumber=6;SerialBaudRate=57600");
    TransmitThroughLibrary(core);
    core.Connection().CloseDevice();
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].endpoint, "tcp:" + std::to_string(port));
    EXPECT_TRUE(frames[0].crcOk);
}

// A libmodbus RTU client's function-16 request, framed and CRC-checked by the simulator,
// at the speed the client set on the pty.
TEST(ControllerSim, LibmodbusClientRequestIsFramed)
{
    ControllerSim sim;
    const std::string slave = sim.AddPty();
    sim.Start();
    const std::string client = (fs::path(MIRVAK_BINARY_DIR) / "tests/fixtures/modbus_rtu_client").string();
    std::string output;
    EXPECT_EQ(testsupport::RunCommand("timeout 10 '" + client + "' " + slave + " 19200 2>&1", &output), 0) << output;
    const auto frames = sim.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, Golden("transmit 1").frame);
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[0].baud, 19200u);
}

TEST(ControllerSim, FaultsByName)
{
    const struct {
        const char* text;
        std::optional<FaultKind> kind;
        int k;
        uint32_t gapMs;
    } cases[] = {
        {"silence", FaultKind::Silence, 0, 0},
        {"exception=2", FaultKind::Exception, 2, 0},
        {"fragments=3,60", FaultKind::Fragments, 3, 60},
        {"noise-stream=500", FaultKind::NoiseStream, 500, 0},
        {"exception=", std::nullopt, 0, 0},
        {"delay=-5", std::nullopt, 0, 0},
        {"fragments=3,x", std::nullopt, 0, 0},
        {"thunder", std::nullopt, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto fault = sim::ParseFault(c.text);
        ASSERT_EQ(fault.has_value(), c.kind.has_value());
        if (!fault) continue;
        EXPECT_EQ(fault->kind, *c.kind);
        EXPECT_EQ(fault->k, c.k);
        EXPECT_EQ(fault->gapMs, c.gapMs);
    }
}

// The program: endpoints from its command line, printed; a rules file; a fault for a
// function code; the line echo; the traffic on its standard output.
TEST(ControllerSim, ProgramRunsFromItsCommandLine)
{
    testsupport::TempDir dir;
    {
        std::ofstream rules(dir / "r.txt");
        rules << "# a register read\n01 03 00 00 00 01 84 0A => 01 03 02 00 2A 38 5B 5\n";
    }
    const fs::path out = dir / "out.txt";
    testsupport::ChildProcess program("exec '" + (fs::path(MIRVAK_BINARY_DIR) / "bin/controller-sim").string() +
                                      "' --pty '" + (dir / "ctl").string() + "' --tcp 127.0.0.68:0 --speed 115200" +
                                      " --turnaround 2 --rules '" + (dir / "r.txt").string() +
                                      "' --fault exception=2@10 --echo >'" + out.string() + "' 2>&1");
    uint16_t port = 0;
    testsupport::WaitUntil([&] {
        const std::string text = fs::exists(out) ? testsupport::ReadFile(out) : "";
        const size_t at = text.find("tcp 127.0.0.68:");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos)
            port = static_cast<uint16_t>(std::stoi(text.substr(at + 15)));
        return port != 0;
    });
    ASSERT_NE(port, 0) << (fs::exists(out) ? testsupport::ReadFile(out) : "no output");
    EXPECT_NE(testsupport::ReadFile(out).find("pty /dev/pts/"), std::string::npos);
    Client client("127.0.0.68", port);
    // (The program may still be starting when the first request goes.)
    const std::string read = Bytes("01 03 00 00 00 01 84 0A");
    client.Send(read);
    const std::string readAnswer = read + Bytes("01 03 02 00 2A 38 5B");
    EXPECT_EQ(client.ReceiveReply(readAnswer.size()), readAnswer);
    const auto& transmit = Golden("transmit 1");
    client.Send(transmit.frame);
    const std::string transmitAnswer = transmit.frame + WithCrc(Bytes("01 90 02"));
    EXPECT_EQ(client.ReceiveReply(transmitAnswer.size()), transmitAnswer);
    // The program may log a reply after the client has it: wait for every line.
    const std::vector<std::string> lines = {"tcp:" + std::to_string(port) + " < 01 03 00 00 00 01 84 0A",
                                            "tcp:" + std::to_string(port) + " > 01 90 02",
                                            "frame 01 10 03 F2 00 02 04 01 02 00 00 C9 FE at 115200 baud"};
    std::string text;
    testsupport::WaitUntil([&] {
        text = testsupport::ReadFile(out);
        return std::all_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return text.find(line) != std::string::npos; });
    });
    for (const std::string& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

namespace {

std::string SimProgram() { return (fs::path(MIRVAK_BINARY_DIR) / "bin/controller-sim").string(); }

// The options (--name) a text mentions.
std::set<std::string> OptionsIn(const std::string& text)
{
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    return options;
}

} // namespace

// Its usage: asked for, on standard output; without arguments or with a wrong one, on
// standard error with status 2. It lists the options the README shows, and no others.
TEST(ControllerSim, ProgramPrintsItsUsage)
{
    testsupport::TempDir dir;
    const fs::path err = dir / "err.txt";
    std::string usage;
    ASSERT_EQ(testsupport::RunCommand("timeout 20 '" + SimProgram() + "' --help 2>'" + err.string() + "'", &usage), 0);
    EXPECT_EQ(usage.rfind("Usage: controller-sim [OPTION]...\n", 0), 0u) << usage;
    EXPECT_EQ(testsupport::ReadFile(err), "");

    const struct {
        const char* args;
        int status;
        std::string out, err;
    } cases[] = {
        {"-h", 0, usage, ""},
        {"", 2, "", usage},
        {"--speed 9600 --bogus", 2, "", "unknown argument --bogus\n" + usage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out;
        EXPECT_EQ(testsupport::RunCommand("timeout 20 '" + SimProgram() + "' " + c.args + " 2>'" + err.string() + "'", &out),
                  c.status);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(testsupport::ReadFile(err), c.err);
    }

    const std::string readme = testsupport::ReadFile(fs::path(MIRVAK_SOURCE_DIR) / "README.md");
    const size_t from = readme.find("## The controller simulator");
    ASSERT_NE(from, std::string::npos);
    const size_t to = readme.find("\n## ", from + 1);
    EXPECT_EQ(OptionsIn(usage), OptionsIn(readme.substr(from, to == std::string::npos ? to : to - from)));
}

// Stopped by SIGINT or SIGTERM, the program ends with status 0 and its pty link is gone.
TEST(ControllerSim, ProgramRemovesItsPtyLinkWhenStopped)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        testsupport::TempDir dir;
        const fs::path link = dir / "ctl";
        testsupport::ChildProcess program("exec '" + SimProgram() + "' --pty '" + link.string() + "' >/dev/null");
        ASSERT_TRUE(testsupport::WaitUntil([&] { return fs::is_symlink(link); }));
        ASSERT_EQ(::kill(program.pid(), signal), 0);
        int status = -1;
        ASSERT_TRUE(testsupport::WaitUntil([&] { return ::waitpid(program.pid(), &status, WNOHANG) == program.pid(); }));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_FALSE(fs::is_symlink(link));
    }
}

// 1000 reply bytes at 9600 baud (10 bits a character) take at least 1.04 s, through a
// TCP endpoint paced by its setting and through a pty paced by its slave's speed.
TEST(ControllerSim, RepliesArePacedAtTheLineSpeed)
{
    const std::string big = Bytes("01 10") + std::string(996, '\x5A');
    for (bool pty : {false, true}) {
        SCOPED_TRACE(pty ? "pty" : "tcp");
        ControllerSim sim;
        sim.SetHandler([&](const std::string&) { return std::optional<std::string>(big); });
        uint16_t port = 0;
        std::string slave;
        if (pty)
            slave = sim.AddPty();
        else
            port = sim.AddTcp("127.0.0.65");
        sim.SetLine(9600);
        sim.Start();
        int fd = -1;
        std::optional<Client> client;
        if (pty) {
            fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(SetTtyBaudRate(fd, 9600), 0);
        } else {
            client.emplace("127.0.0.65", port);
            fd = client->fd;
        }
        const std::string request = Golden("transmit 1").frame;
        const uint64_t start = platform::GetTickCount();
        ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
        size_t got = 0;
        char buf[512];
        pollfd p{fd, POLLIN, 0};
        while (got < 1000 && ::poll(&p, 1, 3000) > 0) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        const uint64_t elapsed = platform::GetTickCount() - start;
        EXPECT_EQ(got, 1000u);
        EXPECT_GE(elapsed, 1040u);
        if (pty) ::close(fd);
    }
}
