#include "loader/io/IOSerial.h"
#include "loader/io/IOSerialRate.h"
#include "platform/Exceptions.h"
#include "platform/NamedMutex.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>

using testsupport::MessageOf;

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::ChildProcess;
using testsupport::MakeRaw;
using testsupport::Pty;

const std::string kTxKey = platform::RegistryKey(platform::kHKeyLocalMachine, "SOFTWARE\\Quorvandell\\SERIALCOMM");

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class IOSerialTest : public ::testing::Test {
protected:
    void MapPorts(const std::string& text)
    {
        ports.reset();
        ports.emplace(platform::kComPortsVariable, text);
    }

    std::unique_ptr<TIOSerial> OpenPort(const std::string& path)
    {
        MapPorts("COM7=" + path);
        auto port = std::make_unique<TIOSerial>();
        port->SetPort("COM7");
        port->Open();
        return port;
    }

    testsupport::TempDir tmp;
    testsupport::ScopedEnv registry{platform::kRegistryFileVariable, (tmp / "registry.reg").string()};
    testsupport::ScopedEnv runtime{platform::kRuntimeDirVariable, (tmp / "run").string()};
    std::optional<testsupport::ScopedEnv> ports;
};

TEST(IOSerialSettings, WindowsCodesBecomeRawTermiosFlags)
{
    struct Row {
        uint32_t baud;
        uint8_t bits, parity, stop;
        int result;
        tcflag_t size, parityFlags, stopFlag;
        bool custom;
    };
    const Row rows[] = {
        {9600, 8, 0, 0, 0, CS8, 0, 0, false},
        {14400, 8, 2, 0, 0, CS8, PARENB, 0, true},
        {115200, 7, 1, 2, 0, CS7, PARENB | PARODD, CSTOPB, false},
        {57600, 8, 3, 0, 0, CS8, PARENB | PARODD | CMSPAR, 0, false},
        {57600, 8, 4, 0, 0, CS8, PARENB | CMSPAR, 0, false},
        {921600, 6, 0, 0, 0, CS6, 0, 0, false},
        {1200, 5, 0, 1, 0, CS5, 0, CSTOPB, false},
        {57600, 8, 0, 1, EINVAL, 0, 0, 0, false}, // one and a half stop bits need 5 data bits
        {57600, 9, 0, 0, EINVAL, 0, 0, 0, false},
        {57600, 4, 0, 0, EINVAL, 0, 0, 0, false},
        {57600, 5, 0, 2, EINVAL, 0, 0, 0, false},
        {57600, 8, 5, 0, EINVAL, 0, 0, 0, false},
        {57600, 8, 0, 3, EINVAL, 0, 0, 0, false},
        {0, 8, 0, 0, EINVAL, 0, 0, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.baud << "," << int(r.bits) << "," << int(r.parity) << "," << int(r.stop));
        termios t{};
        t.c_iflag = IXON | IXOFF | ICRNL | INPCK;
        t.c_oflag = OPOST;
        t.c_lflag = ICANON | ECHO | ISIG;
        t.c_cflag = CRTSCTS | HUPCL;
        t.c_cc[VMIN] = 1;
        bool custom = false;
        ASSERT_EQ(BuildSerialTermios(r.baud, r.bits, r.parity, r.stop, &t, &custom), r.result);
        if (r.result) continue;
        EXPECT_EQ(t.c_cflag & CSIZE, r.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), r.parityFlags);
        EXPECT_EQ(t.c_cflag & CSTOPB, r.stopFlag);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD | CRTSCTS | HUPCL), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(t.c_iflag, 0u);
        EXPECT_EQ(t.c_oflag, 0u);
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(custom, r.custom);
    }
}

TEST_F(IOSerialTest, DefaultsAndLineSettingsOnAPty)
{
    TIOSerial fresh;
    EXPECT_EQ(fresh.GetBaudRate(), 57600u);
    EXPECT_EQ(fresh.GetByteSize(), 8);
    EXPECT_EQ(fresh.GetParity(), 0);
    EXPECT_EQ(fresh.GetStopBits(), 0);
    EXPECT_EQ(fresh.GetTimeouts(), (TCommTimeouts{50, 1, 0, 1, 0}));
    EXPECT_FALSE(fresh.Opened());

    struct Row {
        uint32_t baud;
        uint8_t bits, parity, stop;
        bool refused;
    };
    const Row rows[] = {
        {9600, 8, 0, 0, false},   {14400, 8, 2, 0, false}, {115200, 7, 1, 2, false},
        {57600, 8, 3, 0, false},  {57600, 8, 4, 0, false}, {921600, 8, 0, 0, false},
        {57600, 8, 0, 1, true},   {57600, 9, 0, 0, true},  {57600, 5, 0, 2, true},
    };
    Pty pty;
    const int probe = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // the test's own view
    ASSERT_GE(probe, 0);
    MapPorts("COM7=" + pty.slave);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.baud << "," << int(r.bits) << "," << int(r.parity) << "," << int(r.stop));
        TIOSerial port;
        port.SetPort("COM7");
        port.SetBaudRate(r.baud);
        port.SetByteSize(r.bits);
        port.SetParity(r.parity);
        port.SetStopBits(r.stop);
        if (r.refused) {
            try {
                port.Open();
                ADD_FAILURE() << "accepted";
            } catch (const platform::EOSError& e) {
                EXPECT_EQ(e.Code(), EINVAL);
                EXPECT_EQ(port.LastError(), uint32_t(EINVAL));
            }
            EXPECT_FALSE(port.Opened());
            continue;
        }
        port.Open();
        ASSERT_TRUE(port.Opened());
        uint32_t rate = 0;
        ASSERT_EQ(GetTtyBaudRate(probe, &rate), 0);
        EXPECT_EQ(rate, r.baud);
        termios t{};
        ASSERT_EQ(tcgetattr(probe, &t), 0);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, r.stop != 0);
        EXPECT_EQ(t.c_cflag & (CRTSCTS | CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
        EXPECT_EQ(t.c_lflag & ICANON, 0u);
        port.Close();
        if (r.baud == 14400) continue; // stty shows a rate without a B constant as 0
        std::string out;
        ASSERT_EQ(testsupport::RunCommand("stty -F " + pty.slave + " -a", &out), 0) << "stty is needed (coreutils)";
        EXPECT_NE(out.find("speed " + std::to_string(r.baud) + " baud"), std::string::npos) << out;
        EXPECT_NE(out.find(r.stop ? " cstopb" : "-cstopb"), std::string::npos) << out;
        for (const char* flag : {"-crtscts", "-ixon", "-ixoff", "-icanon", " clocal", " cread"})
            EXPECT_NE(out.find(flag), std::string::npos) << flag << "\n" << out;
    }

    // A new rate waits for the next Open.
    TIOSerial port;
    port.SetPort("COM7");
    port.SetBaudRate(9600);
    port.Open();
    port.SetBaudRate(115200);
    EXPECT_EQ(port.GetBaudRate(), 115200u);
    uint32_t rate = 0;
    ASSERT_EQ(GetTtyBaudRate(probe, &rate), 0);
    EXPECT_EQ(rate, 9600u);
    port.Open();
    ASSERT_EQ(GetTtyBaudRate(probe, &rate), 0);
    EXPECT_EQ(rate, 115200u);
    close(probe);
}

TEST_F(IOSerialTest, ReadEndsByTheWindowsTimeoutRules)
{
    struct Row {
        const char* what;
        TCommTimeouts timeouts;
        int32_t count;
        std::vector<int> sendAtMs; // one byte each
        bool sendBefore;           // the bytes wait before the read starts
        int32_t expected;
        int64_t minMs, maxMs;
    };
    const TCommTimeouts defaults{};
    // The gaps and timeouts of a row lie far apart, and a read that ends "at once" may take
    // up to a second: the rows hold on a machine busy many times over.
    const TCommTimeouts gap200{200, 0, 1000, 1, 0};
    const TCommTimeouts zero{0, 0, 0, 1, 0};
    const Row rows[] = {
        {"silent Read(10)", defaults, 10, {}, false, 0, 10, 1000},
        {"silent Read(1025)", defaults, 1025, {}, false, 0, 1025, 2500},
        {"one byte then silence", defaults, 1025, {5}, false, 1, 50, 1000},
        {"bytes every 20 ms", gap200, 5, {0, 20, 40, 60, 80}, false, 5, 80, 1000},
        {"bytes 800 ms apart", gap200, 5, {0, 800}, false, 1, 200, 800},
        {"multiplier 2: twice as long", {50, 2, 0, 1, 0}, 100, {}, false, 0, 200, 1200},
        {"all zero: what waits", zero, 10, {0, 0, 0}, true, 3, 0, 1000},
        {"all zero, silent", zero, 10, {}, false, 0, 0, 1000},
        {"MAXDWORD: what waits", {MAXDWORD, 0, 0, 1, 0}, 10, {0, 0}, true, 2, 0, 1000},
        {"first byte ends", {MAXDWORD, MAXDWORD, 2000, 1, 0}, 10, {40}, false, 1, 35, 1500},
        {"first byte, silent", {MAXDWORD, MAXDWORD, 300, 1, 0}, 10, {}, false, 0, 300, 1300},
    };
    Pty pty;
    auto port = OpenPort(pty.slave);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // Each value through its own setter, on the open port.
        port->SetReadIntervalTimeout(r.timeouts.ReadIntervalTimeout);
        port->SetReadTotalTimeoutMultiplier(r.timeouts.ReadTotalTimeoutMultiplier);
        port->SetReadTotalTimeoutConstant(r.timeouts.ReadTotalTimeoutConstant);
        ASSERT_EQ(port->GetTimeouts(), r.timeouts);
        if (r.sendBefore) {
            pty.Send(std::string(r.sendAtMs.size(), 'w'));
            testsupport::WaitUntil([&] { return port->InQueue() >= int32_t(r.sendAtMs.size()); });
        }
        const auto start = Clock::now();
        std::thread peer([&] {
            if (r.sendBefore) return;
            for (int at : r.sendAtMs) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(at));
                pty.Send("x");
            }
        });
        std::vector<char> buf(static_cast<size_t>(r.count));
        const int32_t got = port->Read(buf.data(), r.count);
        const int64_t took = MsSince(start);
        peer.join();
        EXPECT_EQ(got, r.expected);
        EXPECT_GE(took, r.minMs);
        EXPECT_LT(took, r.maxMs);
        // Bytes of this row that came late: the peer has written them all, the purge
        // drops them with whatever the line has not yet passed on.
        port->Purge(PURGE_RXCLEAR);
    }
}

TEST_F(IOSerialTest, FailuresOfOpenSayThePortMayBeBusy)
{
    const std::string busyTail = std::string("\r") + SIOSerialPortBusy;
    Pty pty;
    MapPorts("COM9=" + (tmp / "missing").string() + ";COM7=" + pty.slave);
    auto openText = [](const std::string& name) {
        return MessageOf<EIOSerialException>([&] {
            TIOSerial port;
            port.SetPort(name);
            port.Open();
        });
    };
    EXPECT_EQ(openText("COM9"), platform::SysErrorMessage(ENOENT) + busyTail);
    EXPECT_EQ(openText("COM4242"), platform::SysErrorMessage(ENOENT) + busyTail); // no such port

    {
        TIOSerial first;
        first.SetPort("COM7");
        first.Open();
        EXPECT_EQ(openText("COM7"), platform::SysErrorMessage(EBUSY) + busyTail);
    }
    {
        const auto ready = tmp / "ready";
        ChildProcess holder("exec flock -n " + pty.slave + " -c 'touch \"" + ready.string() + "\"; sleep 30'");
        ASSERT_TRUE(testsupport::WaitForPath(ready)) << "util-linux flock is needed (package util-linux)";
        EXPECT_EQ(openText("COM7"), platform::SysErrorMessage(EBUSY) + busyTail);
    }
    EXPECT_EQ(openText("COM7"), "no exception"); // free again
}

TEST_F(IOSerialTest, IoOnAClosedOrHungUpPortRaises)
{
    TIOSerial closed;
    char b[4] = {};
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { closed.Read(b, 4); }), SIODeviceNotConnected);
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { closed.Write(b, 4); }), SIODeviceNotConnected);

    Pty pty;
    auto port = OpenPort(pty.slave);
    pty.CloseMaster();
    auto start = Clock::now();
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { port->Read(b, 1025); }), platform::SysErrorMessage(EIO));
    EXPECT_LT(MsSince(start), 500);
    start = Clock::now();
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { port->Write(b, 4); }), platform::SysErrorMessage(EIO));
    EXPECT_LT(MsSince(start), 500);
}

TEST_F(IOSerialTest, WritesArriveAndStaleInputIsDropped)
{
    Pty pty;
    pty.Send("stale bytes");
    auto port = OpenPort(pty.slave);
    char buf[64];
    EXPECT_EQ(port->Read(buf, 10), 0);

    std::string frame;
    for (int i = 0; i < 256; ++i) frame += static_cast<char>(i);
    EXPECT_EQ(port->Write(frame.data(), int32_t(frame.size())), int32_t(frame.size()));
    EXPECT_EQ(pty.Receive(frame.size()), frame);
    pty.Send(frame);
    std::string got(frame.size(), '\0');
    port->SetReadTotalTimeoutConstant(1000);
    EXPECT_EQ(port->Read(got.data(), int32_t(got.size())), int32_t(got.size()));
    EXPECT_EQ(got, frame);
}

TEST_F(IOSerialTest, WriteTimeoutDiscardsTheUnsentRest)
{
    Pty pty;
    auto port = OpenPort(pty.slave);
    port->SetWriteTotalTimeoutMultiplier(0);
    port->SetWriteTotalTimeoutConstant(100);
    const std::string big(1 << 20, 'z');
    const auto start = Clock::now();
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { port->Write(big.data(), int32_t(big.size())); }),
              SIOSerialWriteTimeout);
    const int64_t took = MsSince(start);
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2000);
    // The send lock was given back.
    platform::NamedMutex lock(SerialSendLockName(pty.slave));
    EXPECT_TRUE(lock.TryLock(0));
    lock.Unlock();

    // What a pty pair holds when its master does not read, measured on a pair of our own.
    size_t held = 0;
    {
        Pty other;
        const int s = open(other.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(s, 0);
        ssize_t n;
        size_t written = 0;
        while ((n = write(s, big.data(), 4096)) > 0) written += size_t(n);
        held = other.Receive(big.size(), 300).size();
        EXPECT_EQ(held, written);
        close(s);
    }
    // The unsent rest was discarded: less than a full pair comes out, and nothing later.
    const std::string arrived = pty.Receive(big.size(), 300);
    EXPECT_LT(arrived.size(), held);
    EXPECT_EQ(pty.Receive(1, 300), "");

    // The port goes on working.
    EXPECT_EQ(port->Write("ok", 2), 2);
    EXPECT_EQ(pty.Receive(2), "ok");
}

TEST_F(IOSerialTest, SendLockIsSharedByEveryNameOfThePort)
{
    Pty pty;
    const auto link = tmp / "link-to-port";
    std::filesystem::create_symlink(pty.slave, link);
    auto port = OpenPort(link.string());

    const auto ready = tmp / "ready";
    const auto lockFile = platform::NamedMutexFile(SerialSendLockName(pty.slave));
    ChildProcess holder("exec flock " + lockFile.string() + " -c 'touch \"" + ready.string() + "\"; sleep 30'");
    ASSERT_TRUE(testsupport::WaitForPath(ready)) << "util-linux flock is needed (package util-linux)";
    const auto start = Clock::now();
    EXPECT_EQ(MessageOf<EIOSerialException>([&] { port->Write("a", 1); }), SIOSerialLockTimeout);
    const int64_t took = MsSince(start);
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 5000);

    holder.Kill(); // the holder dies: the kernel frees the lock
    EXPECT_EQ(port->Write("b", 1), 1);
    EXPECT_EQ(pty.Receive(1), "b");
}

TEST_F(IOSerialTest, CheckTxEmptyIsCreatedAndHonoured)
{
    Pty pty;
    auto port = OpenPort(pty.slave);
    const platform::RegistryStore store(platform::RegistryStore::DefaultFile());
    EXPECT_FALSE(store.Read(kTxKey, "CheckTxEmpty"));
    EXPECT_EQ(port->Write("1", 1), 1);
    EXPECT_EQ(store.Read(kTxKey, "CheckTxEmpty"), platform::RegistryValue::Dword(0));

    store.Write(kTxKey, "CheckTxEmpty", platform::RegistryValue::Dword(1));
    EXPECT_TRUE(ReadCheckTxEmpty());
    EXPECT_EQ(port->Write("2", 1), 1); // a pty has no shift register: empty at once
    store.Write(kTxKey, "CheckTxEmpty", platform::RegistryValue::String("1"));
    EXPECT_FALSE(ReadCheckTxEmpty()); // wrong type
    EXPECT_EQ(pty.Receive(2), "12");

    testsupport::WriteFile(tmp / "plain", "");
    testsupport::ScopedEnv unusable(platform::kRegistryFileVariable, (tmp / "plain" / "registry.reg").string());
    EXPECT_FALSE(ReadCheckTxEmpty());
    EXPECT_EQ(port->Write("3", 1), 1);
    EXPECT_EQ(pty.Receive(1), "3");
}

TEST_F(IOSerialTest, SocatPairCarriesFramesBothWays)
{
    ASSERT_EQ(testsupport::RunCommand("command -v socat >/dev/null"), 0) << "socat is needed (package socat)";
    const auto a = tmp / "a", b = tmp / "b";
    ChildProcess socat("exec socat -d -d pty,raw,echo=0,link=" + a.string() + " pty,raw,echo=0,link=" + b.string() +
                       " 2>" + (tmp / "socat.log").string());
    ASSERT_TRUE(testsupport::WaitForPath(a) && testsupport::WaitForPath(b)) << "socat did not make its pair";
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return testsupport::ReadFile(tmp / "socat.log").find("starting data transfer loop") != std::string::npos;
    })) << "socat does not carry data";

    auto port = OpenPort(a.string());
    const int other = open(b.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    MakeRaw(other);
    port->SetReadTotalTimeoutConstant(2000);

    const std::string request("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8);
    std::string reply("\x01\x03\x14", 3);
    for (int i = 0; i < 20; ++i) reply += static_cast<char>(i * 13 + 0x80);
    reply += std::string("\x00\xFF\x0D\x0A\x11\x13", 6); // bytes a cooked line would eat
    EXPECT_EQ(port->Write(request.data(), int32_t(request.size())), int32_t(request.size()));
    std::string seen;
    char buf[256];
    while (seen.size() < request.size()) {
        pollfd p{other, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = read(other, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, size_t(n));
    }
    EXPECT_EQ(seen, request);
    ASSERT_EQ(write(other, reply.data(), reply.size()), ssize_t(reply.size()));
    std::string got(reply.size(), '\0');
    EXPECT_EQ(port->Read(got.data(), int32_t(got.size())), int32_t(got.size()));
    EXPECT_EQ(got, reply);
    close(other);

    socat.Kill();
    const auto start = Clock::now();
    EXPECT_THROW(port->Read(buf, 1025), EIOSerialException);
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(IOSerialTest, ChildProcessesInheritNoPort)
{
    Pty pty;
    auto port = OpenPort(pty.slave);
    std::string out;
    ASSERT_EQ(testsupport::RunCommand("ls -l /proc/self/fd", &out), 0);
    EXPECT_EQ(out.find(pty.slave + "\n"), std::string::npos) << out;
}

} // namespace
