// Connections from device parameter strings: the settings a line asks for, opening
// serial ports (pseudo-terminals as COM ports) and sockets on loopback, the raw reads
// and writes with their echo check, the speed switch, the port search and the
// connection's description.

#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/io/IOSerial.h"
#include "loader/io/IOSerialRate.h"
#include "loader/io/Modbus.h"
#include "platform/Exceptions.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeSerialPorts.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::ErrorOf;
using testsupport::Pty;

namespace {

// A socket of the test bound on loopback; port 0: any.
class LoopbackSocket {
public:
    LoopbackSocket(int type, const std::string& address, uint16_t port)
    {
        fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        EXPECT_GE(fd, 0);
        // A datagram socket on a port of the system's choice shares it with no one: with
        // SO_REUSEADDR on both, the system may give it a port a socket of another test
        // holds, and one of them gets the other's datagrams.
        const int one = 1;
        if (type == SOCK_STREAM || port != 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = inet_addr(address.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << address << ":" << port;
        if (type == SOCK_STREAM) {
            EXPECT_EQ(::listen(fd, 4), 0);
        }
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        this->port = ntohs(a.sin_port);
    }
    ~LoopbackSocket() { ::close(fd); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    // Datagrams (or a connection's bytes) that arrive within timeoutMs of each other.
    std::vector<std::string> Datagrams(int timeoutMs) const
    {
        std::vector<std::string> out;
        char buf[2048];
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, timeoutMs) > 0) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n < 0) break;
            out.emplace_back(buf, static_cast<size_t>(n));
        }
        return out;
    }
    // A pending connection, accepted; -1 when none comes within timeoutMs.
    int Accept(int timeoutMs) const
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return -1;
        return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }

    int fd = -1;
    uint16_t port = 0;
};

class LoaderConnectionTest : public ::testing::Test {
protected:
    LoaderConnectionTest() { FreeSharedWatchCategory(); }
    ~LoaderConnectionTest() override
    {
        core.reset();
        FreeSharedWatchCategory();
    }

    TLoaderConnection& Connection() { return core->Connection(); }
    void MapPort(const std::string& com, const std::string& path)
    {
        ports.reset();
        ports.emplace(platform::kComPortsVariable, com + "=" + path);
    }
    bool LogHas(const std::string& text) const { return core->OperationLog().find(text) != std::string::npos; }

    testsupport::TempDir dir;
    testsupport::ScopedEnv folder{platform::kProgramDirVariable, dir.path().string()};
    testsupport::ScopedEnv registry{platform::kRegistryFileVariable, (dir / "registry.reg").string()};
    testsupport::ScopedEnv runtime{platform::kRuntimeDirVariable, (dir / "run").string()};
    std::optional<testsupport::ScopedEnv> ports;
    std::unique_ptr<TLoaderCore> core =
        std::make_unique<TLoaderCore>(TLoaderPlaces{dir.path(), fs::read_symlink("/proc/self/exe"), {}});
};

uint32_t TtyRate(const Pty& pty)
{
    uint32_t rate = 0;
    EXPECT_EQ(GetTtyBaudRate(pty.master, &rate), 0);
    return rate;
}

} // namespace

// ---------------------------------------------------------------------------------
// Settings

TEST(ConnectionSettings, FromDeviceStrings)
{
    TConnectionSettings defaults;
    defaults.ScriptSpeed = 57600;
    EXPECT_EQ(ParseConnectionSettings(""), defaults);
    EXPECT_FALSE(defaults.Serial || defaults.UDP || defaults.TFTP);
    EXPECT_EQ(defaults.ChipIndex, -1);
    EXPECT_TRUE(defaults.Handshake);

    TConnectionSettings serial = defaults;
    serial.Serial = true;
    serial.ComNumber = 3;
    serial.BaudRate = serial.ScriptSpeed = 9600;
    serial.Parity = 2;
    serial.StopBits = 2;
    serial.ByteSize = 7;
    serial.Handshake = false;
    serial.RetryCount = 5;
    serial.ChipIndex = 20;
    EXPECT_EQ(ParseConnectionSettings("Name=К1; ioType=IOTSERIAL;SerialComNumber=3;SerialBaudRate=9600;SerialParity=2;"
                                      "SerialStopBits=2;SerialByteSize=7;ScriptFile=<нет>;Handshake=0;"
                                      "HandshakePeriod=abc;RetryCount=5;ControllerType=20"),
              serial);

    TConnectionSettings udp = defaults;
    udp.UDP = udp.TFTP = true;
    udp.Host = "10.0.0.5";
    udp.PortText = "12a";
    udp.ScriptName = "start";
    udp.ScriptSpeed = 9600;
    EXPECT_EQ(ParseConnectionSettings("TCPIP=10.0.0.5;TCPPort=12a;UDP=1;TFTP=1;ScriptFile=start;SpeedScript=9600"), udp);

    // A NUL byte inside a value does not end it: "96<NUL>00" is no number.
    using namespace std::string_literals;
    EXPECT_EQ(ParseConnectionSettings("SerialBaudRate=96\0" "00;RetryCount=7"s).BaudRate, 57600);
}

TEST(ConnectionSettings, PerByteTimeout)
{
    EXPECT_EQ(SerialByteTimeout(9600), 2u);
    EXPECT_EQ(SerialByteTimeout(1200), 10u);
    EXPECT_EQ(SerialByteTimeout(11000), 2u);
    EXPECT_EQ(SerialByteTimeout(11001), 0u);
    EXPECT_EQ(SerialByteTimeout(57600), 0u);
    EXPECT_EQ(ErrorOf([] { SerialByteTimeout(0); }), "Неверная скорость порта: 0");
    EXPECT_EQ(ErrorOf([] { SerialByteTimeout(-5); }), "Неверная скорость порта: -5");
}

TEST(ConnectionSettings, DescribeConnection)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ioType=iotSerial;SerialComNumber=3", "COM3;57600"},
        {"ioType=IOTSERIAL;SerialComNumber=12;SerialBaudRate=9600", "COM12;9600"},
        {"ioType=iotTCP;TFTP=1;TCPIP=10.0.0.5;TCPPort=69", "TFTP:10.0.0.5"},
        {"ioType=iotTCP;TCPIP=h;TCPPort=p", "tcp:h:p"},
        {"ioType=IOTUDP;TCPIP=10.0.0.5;TCPPort=4001", "udp:10.0.0.5:4001"},
        {"TCPIP=10.0.0.5;TCPPort=4001", "(описание соединения отсутствует)"},
    };
    for (const auto& [line, text] : cases) EXPECT_EQ(DescribeConnection(line), text) << line;
}

TEST(ConnectionSettings, FindControllerComPort)
{
    testsupport::TempDir tmp;
    testsupport::FakeSerialPorts fake(tmp.path());
    fake.AddPlatformPort("ttyS0", "4");
    const std::string none = "Устройство не обнаружено.\rВ настройках подключения явно укажите COM порт для работы.";
    EXPECT_EQ(ErrorOf([&] { FindControllerComPort(fake.Sources()); }), none);
    fake.AddUsbPort("ttyUSB0", "1-1", "FT232R USB UART", "1-1:1.0/ttyUSB0");
    fake.AddUsbPort("ttyACM0", "1-2", "Quorvandell Zumo CDC", "1-2:1.0");
    // The COM name the table gives a port, by its product string.
    const auto comOf = [&](const std::string& product) {
        for (const auto& port : platform::BuildSerialPortTable(fake.Sources()))
            if (port.product == product) return port.name;
        return std::string("?");
    };
    EXPECT_EQ(FindControllerComPort(fake.Sources()), comOf("Quorvandell Zumo CDC"));
    fake.AddUsbPort("ttyACM1", "1-3", "quorvandell other", "1-3:1.0");
    fake.AddUsbPort("ttyACM2", "1-4", "Quorvandell second", "1-4:1.0");
    const std::string first = comOf("Quorvandell Zumo CDC");
    const std::string second = comOf("Quorvandell second");
    ASSERT_NE(first, second);
    const auto number = [](const std::string& com) { return std::stoi(com.substr(3)); };
    EXPECT_EQ(FindControllerComPort(fake.Sources()), number(first) < number(second) ? first : second);
}

// ---------------------------------------------------------------------------------
// Serial

TEST_F(LoaderConnectionTest, OpensASerialPortAtItsSpeed)
{
    Pty pty;
    MapPort("COM7", pty.slave);
    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7;SerialBaudRate=9600;ControllerType=0");
    TIOSerial* serial = Connection().Serial();
    ASSERT_NE(serial, nullptr);
    EXPECT_TRUE(serial->Opened());
    EXPECT_EQ(TtyRate(pty), 9600u);
    EXPECT_EQ(serial->ReadTotalTimeoutMultiplier(), 2u);
    EXPECT_EQ(serial->WriteTotalTimeoutMultiplier(), 2u);
    EXPECT_TRUE(LogHas(": Установка соединения COM7(9600)\r\n"));
    ASSERT_NE(Connection().Chip(), nullptr);
    EXPECT_EQ(Connection().Chip(), &core->Chips().Items(0));
    Connection().CloseDevice();
    EXPECT_EQ(Connection().Device(), nullptr);

    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7;ControllerType=20");
    EXPECT_EQ(TtyRate(pty), 57600u);
    EXPECT_EQ(Connection().Serial()->ReadTotalTimeoutMultiplier(), TCommTimeouts{}.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(Connection().Chip(), nullptr);
    Connection().CloseDevice();

    EXPECT_EQ(ErrorOf([&] { Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7;SerialBaudRate=0"); }),
              "Неверная скорость порта: 0");
    EXPECT_EQ(Connection().Device(), nullptr);
}

TEST_F(LoaderConnectionTest, RawBytesAndRequestsAreLogged)
{
    Pty pty;
    MapPort("COM7", pty.slave);
    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7");
    const std::string at = Bytes("41 54 0D 0A");
    EXPECT_EQ(Connection().DeviceWrite(at.data(), 4), 4);
    EXPECT_EQ(pty.Receive(4), at);
    pty.Send("OK");
    char buf[8] = {};
    EXPECT_EQ(Connection().DeviceRead(buf, 2), 2);
    EXPECT_TRUE(LogHas(": > 41 54 0D 0A\r\n"));
    EXPECT_TRUE(LogHas(": < 4F 4B\r\n"));

    for (const auto& g : testsupport::GoldenFrames()) {
        if (!g.rtu || g.name != "transmit 1") continue;
        Connection().SendRequest(reinterpret_cast<const uint8_t*>(g.pdu.data()), static_cast<int32_t>(g.pdu.size()));
        EXPECT_EQ(pty.Receive(g.frame.size()), g.frame);
        EXPECT_TRUE(LogHas(": > " + HexDump(reinterpret_cast<const uint8_t*>(g.frame.data()), g.frame.size())));
    }
    // The reply in two pieces 80 ms apart is assembled.
    const std::string reply = Bytes("01 10 03 F2 00 02 E0 7F");
    std::thread device([&] {
        pty.Send(reply.substr(0, 3));
        platform::Sleep(80);
        pty.Send(reply.substr(3));
    });
    uint8_t dest[16] = {};
    bool crcError = true;
    EXPECT_EQ(Connection().ReadReply(dest, crcError, 6, 1000), 6);
    device.join();
    EXPECT_FALSE(crcError);
    EXPECT_TRUE(LogHas(": < 01 10 03 F2 00 02 E0 7F\r\n"));
    Connection().CloseDevice();
    EXPECT_EQ(ErrorOf([&] { Connection().DeviceWrite(at.data(), 4); }), "Соединение не установлено");
}

TEST_F(LoaderConnectionTest, EchoIsGatheredInPiecesAndTheReplyStaysWhole)
{
    Pty pty;
    MapPort("COM7", pty.slave);
    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7");
    Connection().SetEcho(true);
    const std::string request = "0123456789";
    // A half-duplex converter: the echo in two pieces, then the reply.
    std::thread device([&] {
        const std::string got = pty.Receive(10);
        pty.Send(got.substr(0, 3));
        platform::Sleep(30);
        pty.Send(got.substr(3));
        platform::Sleep(30);
        pty.Send("REPLY");
    });
    Connection().DeviceWrite(request.data(), 10);
    char reply[16] = {};
    int32_t n = 0;
    for (int i = 0; i < 20 && n < 5; ++i) n += Connection().DeviceRead(reply + n, 5 - n);
    device.join();
    EXPECT_EQ(std::string(reply, static_cast<size_t>(n)), "REPLY");
    EXPECT_TRUE(LogHas(": echo < 30 31 32 33 34 35 36 37 38 39\r\n")) << core->OperationLog();

    // No echo at all: "Нет эха", and the reply that follows still arrives whole.
    Connection().DeviceWrite("abc", 3);
    EXPECT_EQ(pty.Receive(3), "abc");
    EXPECT_TRUE(LogHas(": Нет эха\r\n"));
    pty.Send("LATE");
    n = 0;
    for (int i = 0; i < 40 && n < 4; ++i) n += Connection().DeviceRead(reply + n, 4 - n);
    EXPECT_EQ(std::string(reply, static_cast<size_t>(n)), "LATE");

    // A write longer than 64 KiB: its echo fits the buffer.
    const std::string big(70000, 'x');
    std::thread echoer([&] { pty.Send(pty.Receive(big.size(), 3000)); });
    Connection().DeviceWrite(big.data(), static_cast<int32_t>(big.size()));
    echoer.join();
    EXPECT_TRUE(LogHas(": echo < 78 78"));
    EXPECT_EQ(core->OperationLog().find("Нет эха"), core->OperationLog().rfind("Нет эха"));
}

TEST_F(LoaderConnectionTest, SwitchSerialSpeed)
{
    Pty pty;
    MapPort("COM7", pty.slave);
    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=7");
    EXPECT_EQ(TtyRate(pty), 57600u);
    Connection().SwitchSerialSpeed(9600, "нет");
    EXPECT_EQ(TtyRate(pty), 9600u);
    Connection().SwitchSerialSpeed(57600, "нет");
    EXPECT_EQ(TtyRate(pty), 57600u);
    EXPECT_TRUE(Connection().Serial()->Opened());

    // The port gone: the caller's text, the reason in the log.
    MapPort("COM7", (dir / "missing-tty").string());
    EXPECT_EQ(ErrorOf([&] { Connection().SwitchSerialSpeed(9600, "Не удалось сменить скорость"); }),
              "Не удалось сменить скорость");
    Connection().CloseDevice();
}

// ---------------------------------------------------------------------------------
// Network

TEST_F(LoaderConnectionTest, TcpAndUdpOpenAndResetTheModem)
{
    const std::string host = "127.0.0.41";
    LoopbackSocket modem(SOCK_DGRAM, host, 513);
    LoopbackSocket tcp(SOCK_STREAM, host, 0);
    Connection().OpenDevice("ioType=iotTCP;TCPIP=" + host + ";TCPPort=" + std::to_string(tcp.port));
    const int client = tcp.Accept(2000);
    EXPECT_GE(client, 0);
    EXPECT_TRUE(LogHas(": Установка соединения tcp: " + host + ":" + std::to_string(tcp.port) + "\r\n"));
    EXPECT_EQ(modem.Datagrams(200), std::vector<std::string>{"REST_MODEM"});
    EXPECT_EQ(Connection().Serial(), nullptr);
    Connection().SwitchSerialSpeed(9600, "нет"); // nothing on a network connection
    Connection().CloseDevice();
    if (client >= 0) ::close(client);

    LoopbackSocket udp(SOCK_DGRAM, host, 0);
    Connection().OpenDevice("TCPIP=" + host + ";UDP=1;TCPPort=" + std::to_string(udp.port));
    EXPECT_TRUE(LogHas(": Установка соединения udp: " + host + ":" + std::to_string(udp.port) + "\r\n"));
    EXPECT_EQ(modem.Datagrams(200), std::vector<std::string>{"REST_MODEM"});
    Connection().DeviceWrite("ping", 4);
    EXPECT_EQ(udp.Datagrams(500), std::vector<std::string>{"ping"});
    Connection().CloseDevice();
}

TEST_F(LoaderConnectionTest, AnInvalidPortOpensNothing)
{
    const std::string host = "127.0.0.42";
    LoopbackSocket modem(SOCK_DGRAM, host, 513);
    LoopbackSocket tcp(SOCK_STREAM, host, 0);
    EXPECT_EQ(ErrorOf([&] { Connection().OpenDevice("TCPIP=" + host); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { Connection().OpenDevice("TCPIP=" + host + ";TCPPort=12a"); }),
              "'12a' is not a valid integer value");
    EXPECT_EQ(tcp.Accept(100), -1);
    EXPECT_TRUE(modem.Datagrams(50).empty());
    EXPECT_EQ(Connection().Device(), nullptr);
}

TEST_F(LoaderConnectionTest, ARefusedPortIsRetriedForFiveSeconds)
{
    const std::string host = "127.0.0.43";
    LoopbackSocket modem(SOCK_DGRAM, host, 513);
    uint16_t port = 0;
    {
        LoopbackSocket closed(SOCK_STREAM, host, 0); // a port nobody listens on afterwards
        port = closed.port;
    }
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(ErrorOf([&] { Connection().OpenDevice("TCPIP=" + host + ";TCPPort=" + std::to_string(port)); }),
              "Соединение не установлено");
    const uint64_t elapsed = platform::GetTickCount() - start;
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 10000u);
    EXPECT_TRUE(LogHas(platform::SysErrorMessage(ECONNREFUSED))) << core->OperationLog();
    EXPECT_TRUE(modem.Datagrams(50).empty());
}

// A listener whose accept queue is full drops new SYNs: each attempt waits at most the
// time left, and the open ends after 5 s instead of the system's two minutes.
TEST_F(LoaderConnectionTest, ABlackHoleEndsTheOpenAfterFiveSeconds)
{
    const std::string host = "127.0.0.44";
    LoopbackSocket modem(SOCK_DGRAM, host, 513);
    LoopbackSocket listener(SOCK_STREAM, host, 0);
    ASSERT_EQ(::listen(listener.fd, 0), 0);
    // Fill the queue with connections nobody accepts.
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(listener.port);
        a.sin_addr.s_addr = inet_addr(host.c_str());
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    // The queue is full once the listener holds one of them.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        pollfd p{listener.fd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }));
    const uint64_t start = platform::GetTickCount();
    EXPECT_EQ(ErrorOf([&] {
                  Connection().OpenDevice("TCPIP=" + host + ";TCPPort=" + std::to_string(listener.port));
              }),
              "Соединение не установлено");
    const uint64_t elapsed = platform::GetTickCount() - start;
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 10000u);
    EXPECT_TRUE(modem.Datagrams(50).empty());
    for (int s : fillers) ::close(s);
}

// A pseudo-terminal pair that socat makes: what the library writes to one end, a plain
// reader gets on the other.
TEST_F(LoaderConnectionTest, WritesThroughAPtyPairOfSocat)
{
    ASSERT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
    const fs::path a = dir / "ttyA", b = dir / "ttyB";
    testsupport::ChildProcess socat("exec socat pty,raw,echo=0,link=" + a.string() + " pty,raw,echo=0,link=" +
                                    b.string());
    ASSERT_TRUE(testsupport::WaitForPath(a) && testsupport::WaitForPath(b)) << "socat did not make its pair";
    const int reader = ::open(b.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    MapPort("COM9", a.string());
    Connection().OpenDevice("ioType=iotSerial;SerialComNumber=9;SerialBaudRate=115200");
    for (const auto& g : testsupport::GoldenFrames()) {
        if (g.name != "restart2 1") continue;
        Connection().SendRequest(reinterpret_cast<const uint8_t*>(g.pdu.data()), static_cast<int32_t>(g.pdu.size()));
        std::string got;
        char buf[64];
        pollfd p{reader, POLLIN, 0};
        while (got.size() < g.frame.size() && poll(&p, 1, 2000) > 0) {
            const ssize_t n = ::read(reader, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        EXPECT_EQ(got, g.frame);
    }
    Connection().CloseDevice();
    ::close(reader);
}
