#include "loader/core/LoaderConnection.h"

#include "loader/core/Chips.h"
#include "loader/io/IOSerial.h"
#include "loader/io/IOSocket.h"
#include "loader/io/IOSocketTCP.h"
#include "loader/io/IOSocketUDP.h"
#include "loader/core/LoaderCore.h"
#include "loader/io/Modbus.h"
#include "common/StrRoutines.h"
#include "platform/Format.h"
#include "platform/Tick.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

constexpr const char* kControllerWord = "Quorvandell";
constexpr uint32_t kNetworkOpenMs = 5000;
constexpr int kEchoReads = 11;

// A decimal integer; def when the value is missing or not such a number.
int32_t IntParam(const std::string& line, const char* key, int32_t def)
{
    const std::string text = GetParam(line, key);
    if (text.empty()) return def;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || end == text.c_str() || value < INT32_MIN || value > INT32_MAX) return def;
    return static_cast<int32_t>(value);
}

bool SameAscii(const std::string& a, const char* b)
{
    return AnsiLowerCase(a) == AnsiLowerCase(b);
}

std::string ComName(const TConnectionSettings& s)
{
    return s.ComNumber == 255 ? FindControllerComPort() : "COM" + std::to_string(s.ComNumber);
}

// The number of "COM<n>"; names without one go last.
long ComNumberOf(const std::string& name)
{
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        char* end = nullptr;
        const long n = std::strtol(name.c_str() + 3, &end, 10);
        if (*end == '\0') return n;
    }
    return LONG_MAX;
}

// One datagram "REST_MODEM" to port 513 of the host, from a socket of its own; nothing
// is awaited and a failure goes unnoticed.
void SendModemReset(const std::string& host)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    try {
        const sockaddr_in to = MakeSocketAddress(host, "513");
        static const char kText[] = "REST_MODEM";
        ::sendto(s, kText, sizeof kText - 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } catch (...) {
    }
    ::close(s);
}

} // namespace

ESarnupolex::~ESarnupolex() = default;

TConnectionSettings ParseConnectionSettings(const std::string& line)
{
    TConnectionSettings s;
    s.ChipIndex = IntParam(line, "ControllerType", -1);
    s.ScriptName = GetParam(line, "ScriptFile");
    if (s.ScriptName == "<нет>") s.ScriptName.clear();
    s.Handshake = IntParam(line, "Handshake", 1) > 0;
    s.HandshakePeriod = IntParam(line, "HandshakePeriod", 500);
    s.RetryCount = IntParam(line, "RetryCount", 3);
    s.UDP = IntParam(line, "UDP", 0) > 0;
    s.TFTP = IntParam(line, "TFTP", 0) > 0;
    s.Serial = SameAscii(GetParam(line, "ioType"), "iotSerial");
    s.ComNumber = IntParam(line, "SerialComNumber", 0);
    s.BaudRate = IntParam(line, "SerialBaudRate", 57600);
    s.ByteSize = IntParam(line, "SerialByteSize", 8);
    s.Parity = IntParam(line, "SerialParity", 0);
    s.StopBits = IntParam(line, "SerialStopBits", 0);
    s.ScriptSpeed = IntParam(line, "SpeedScript", s.BaudRate);
    s.Host = GetParam(line, "TCPIP");
    s.PortText = GetParam(line, "TCPPort");
    return s;
}

uint32_t SerialByteTimeout(int32_t baudRate)
{
    if (baudRate <= 0) throw ESarnupolex(platform::Format("Неверная скорость порта: %d", baudRate));
    const int32_t t = 11000 / baudRate + 1;
    return t > 1 ? static_cast<uint32_t>(t) : 0;
}

std::string FindControllerComPort(const platform::SerialPortSources& sources)
{
    std::vector<platform::SerialPortInfo> ports = platform::BuildSerialPortTable(sources);
    std::stable_sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        return ComNumberOf(a.name) < ComNumberOf(b.name);
    });
    for (const auto& port : ports)
        if (port.present && port.product.find(kControllerWord) != std::string::npos) return port.name;
    throw platform::Exception("Устройство не обнаружено.\rВ настройках подключения явно укажите COM порт для работы.");
}

std::string FindControllerComPort() { return FindControllerComPort(platform::DefaultSerialPortSources()); }

std::string DescribeConnection(const std::string& line)
{
    const std::string ioType = GetParam(line, "ioType");
    if (SameAscii(ioType, "iotSerial")) {
        const TConnectionSettings s = ParseConnectionSettings(line);
        return ComName(s) + ";" + std::to_string(s.BaudRate);
    }
    if (IntParam(line, "TFTP", 0) >= 1) return "TFTP:" + GetParam(line, "TCPIP");
    const std::string target = GetParam(line, "TCPIP") + ":" + GetParam(line, "TCPPort");
    if (SameAscii(ioType, "iotTCP")) return "tcp:" + target;
    if (SameAscii(ioType, "iotUDP")) return "udp:" + target;
    return "(описание соединения отсутствует)";
}

int32_t StrictInt(const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        throw platform::EConvertError(platform::Format("'%s' is not a valid integer value", text.c_str()));
    return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------------

TLoaderConnection::TLoaderConnection(TLoaderCore& core) : core_(core) {}

TLoaderConnection::~TLoaderConnection()
{
    try {
        CloseDevice();
    } catch (...) {
    }
}

void TLoaderConnection::OpenDevice(const std::string& line)
{
    settings_ = ParseConnectionSettings(line);
    core_.Chips().SelectChip(settings_.ChipIndex);
    if (settings_.Serial)
        OpenSerial();
    else
        OpenNetwork();
}

void TLoaderConnection::AttachDevice(const std::string& line, std::unique_ptr<TIODevice> device)
{
    CloseDevice();
    settings_ = ParseConnectionSettings(line);
    core_.Chips().SelectChip(settings_.ChipIndex);
    device_ = std::move(device);
    if (!device_->Opened()) device_->Open();
}

void TLoaderConnection::OpenSerial()
{
    const uint32_t byteTimeout = SerialByteTimeout(settings_.BaudRate);
    const std::string port = ComName(settings_);
    auto serial = std::make_unique<TIOSerial>();
    serial->SetPort(port);
    serial->SetBaudRate(static_cast<uint32_t>(settings_.BaudRate));
    serial->SetByteSize(static_cast<uint8_t>(settings_.ByteSize));
    serial->SetParity(static_cast<uint8_t>(settings_.Parity));
    serial->SetStopBits(static_cast<uint8_t>(settings_.StopBits));
    if (byteTimeout > 1) {
        serial->SetReadTotalTimeoutMultiplier(byteTimeout);
        serial->SetWriteTotalTimeoutMultiplier(byteTimeout);
    }
    device_ = std::move(serial);
    core_.PostLogLine(platform::Format("Установка соединения %s(%d)", port.c_str(), settings_.BaudRate));
    device_->Open();
}

void TLoaderConnection::OpenNetwork()
{
    const int32_t port = StrictInt(settings_.PortText);
    std::unique_ptr<TIOSocket> socket;
    if (settings_.UDP)
        socket = std::make_unique<TIOSocketUDP>();
    else
        socket = std::make_unique<TIOSocketTCP>();
    socket->SetRemoteHost(settings_.Host);
    socket->SetRemotePort(port);
    // Reply loops read again at once: a read waits a little instead of spinning.
    socket->SetReadTimeout(1);
    TIOSocket* opened = socket.get();
    auto* tcp = dynamic_cast<TIOSocketTCP*>(socket.get());
    device_ = std::move(socket);
    core_.PostLogLine(platform::Format(settings_.UDP ? "Установка соединения udp: %s:%d"
                                                     : "Установка соединения tcp: %s:%d",
                                       opened->GetRemoteHost().c_str(), opened->GetRemotePort()));
    const uint64_t start = platform::GetTickCount();
    std::string lastError;
    while (!opened->Opened() && platform::GetTickCount() - start < kNetworkOpenMs) {
        const uint64_t elapsed = platform::GetTickCount() - start;
        if (tcp) tcp->SetConnectTimeout(static_cast<int>(std::max<uint64_t>(kNetworkOpenMs - elapsed, 1)));
        try {
            opened->Open();
        } catch (const std::exception& e) {
            lastError = e.what();
        }
        if (!opened->Opened()) platform::Sleep(10);
    }
    if (!opened->Opened()) {
        if (!lastError.empty()) core_.AppendLogLine(lastError);
        throw ESarnupolex("Соединение не установлено");
    }
    SendModemReset(opened->GetRemoteHost());
}

void TLoaderConnection::CloseDevice()
{
    if (!device_) return;
    std::unique_ptr<TIODevice> device = std::move(device_);
    device->Close();
}

TIODevice& TLoaderConnection::Current() const
{
    if (!device_) throw ESarnupolex(SIODeviceNotConnected);
    return *device_;
}

TIOSerial* TLoaderConnection::Serial() const { return dynamic_cast<TIOSerial*>(device_.get()); }

TChip* TLoaderConnection::Chip() const { return core_.Chips().Current(); }

int32_t TLoaderConnection::DeviceRead(void* buffer, int32_t count)
{
    const int32_t n = Current().Read(buffer, count);
    if (n >= 1) core_.LogHexDump("<", static_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
    return n;
}

int32_t TLoaderConnection::DeviceWrite(const void* buffer, int32_t count)
{
    TIODevice& device = Current();
    core_.LogHexDump(">", static_cast<const uint8_t*>(buffer), static_cast<size_t>(std::max(count, 0)));
    const int32_t n = device.Write(buffer, count);
    CheckEcho(count);
    return n;
}

void TLoaderConnection::CheckEcho(int32_t count)
{
    if (!echo_ || count <= 0) return;
    TIODevice& device = Current();
    std::vector<uint8_t> echo(static_cast<size_t>(count));
    int32_t got = 0;
    for (int read = 0; read < kEchoReads && got < count; ++read) {
        if (read > 0) platform::Sleep(100);
        const int32_t n = device.Read(echo.data() + got, count - got);
        if (n > 0) got += std::min(n, count - got);
    }
    if (got == count)
        core_.LogHexDump("echo <", echo.data(), echo.size());
    else
        core_.AppendLogLine("Нет эха");
}

void TLoaderConnection::SwitchSerialSpeed(int32_t baudRate, const std::string& errorText)
{
    TIOSerial* serial = Serial();
    if (!serial) return;
    if (baudRate < 0 || static_cast<uint32_t>(baudRate) != serial->GetBaudRate()) {
        serial->Close();
        serial->SetBaudRate(static_cast<uint32_t>(baudRate));
    }
    if (!serial->Opened()) {
        try {
            serial->Open();
        } catch (const std::exception& e) {
            core_.AppendLogLine(e.what());
        }
    }
    if (!serial->Opened()) throw ESarnupolex(errorText);
}

void TLoaderConnection::SendRequest(const uint8_t* pdu, int32_t count)
{
    std::string dump;
    SendFrame(Current(), pdu, count, dump, false);
    core_.AppendLogLine("> " + dump);
    CheckEcho(count + 2);
}

int32_t TLoaderConnection::ReadReply(uint8_t* dest, bool& crcError, int32_t expected, uint32_t timeoutMs)
{
    std::string dump;
    const int32_t n = ReadResponse(Current(), dest, crcError, expected, false, dump, timeoutMs);
    core_.AppendLogLine("< " + dump);
    return n;
}
