#pragma once
// The current connection of the loader library: a device parameter string turned into
// an open transport (serial port, TCP or UDP) with the settings the operations read,
// the raw reads and writes with their log lines and echo check, the MODBUS request and
// reply on that transport, the speed switch of scripts, the search for the controller's
// COM port and the short description of a connection.

#include "loader/io/IODevice.h"
#include "platform/Exceptions.h"
#include "platform/SerialPorts.h"

#include <cstdint>
#include <memory>
#include <string>

class TIOSerial;
class TLoaderCore;
class TChip;

// The library's own exception; its message is the text given.
class ESarnupolex : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~ESarnupolex() override;
};

// What a device parameter string asks for (keys ignoring case, values trimmed; a
// missing or unreadable integer takes its default).
struct TConnectionSettings {
    bool Serial = false;        // ioType "iotSerial" in any letter case; else network
    bool UDP = false;           // UDP > 0 (network only)
    bool TFTP = false;          // TFTP > 0
    int32_t ChipIndex = -1;     // ControllerType
    bool Handshake = true;      // Handshake > 0
    int32_t HandshakePeriod = 500;
    int32_t RetryCount = 3;
    std::string ScriptName;     // ScriptFile; "<нет>" reads as empty
    // Serial.
    int32_t ComNumber = 0;      // SerialComNumber; 255: search the port
    int32_t BaudRate = 57600;   // SerialBaudRate
    int32_t ByteSize = 8;
    int32_t Parity = 0;         // Windows codes: 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t StopBits = 0;       // Windows codes: 0 one, 1 one and a half, 2 two
    int32_t ScriptSpeed = 0;    // SpeedScript, default the baud rate
    // Network.
    std::string Host;           // TCPIP
    std::string PortText;       // TCPPort as written

    bool operator==(const TConnectionSettings&) const = default;
};

TConnectionSettings ParseConnectionSettings(const std::string& line);

// The text as a decimal 32-bit integer (leading blanks allowed), else
// platform::EConvertError "'%s' is not a valid integer value".
int32_t StrictInt(const std::string& text);

// The per-byte time-out of a serial line: 11000 div rate + 1 ms; 0 when that is 1 or
// less (the transport's defaults stay). Raises ESarnupolex "Неверная скорость порта: %d"
// for a rate of 0 or below.
uint32_t SerialByteTimeout(int32_t baudRate);

// The first present port of the table, in COM-number order, whose USB product string
// contains "Quorvandell"; raises "Устройство не обнаружено." CR "В настройках
// подключения явно укажите COM порт для работы." when there is none.
std::string FindControllerComPort(const platform::SerialPortSources& sources);
std::string FindControllerComPort();

// "COM3;57600" (serial; the port search included), "TFTP:<host>", "tcp:<host>:<port>",
// "udp:<host>:<port>", else "(описание соединения отсутствует)". Opens nothing.
std::string DescribeConnection(const std::string& line);

class TLoaderConnection {
public:
    // Lines go to the core's operation log and window; chips come from its table.
    explicit TLoaderConnection(TLoaderCore& core);
    ~TLoaderConnection();
    TLoaderConnection(const TLoaderConnection&) = delete;
    TLoaderConnection& operator=(const TLoaderConnection&) = delete;

    // Takes the settings of the line, selects the chip (none outside the table), creates
    // the transport and opens it, after the line "Установка соединения ...". A serial
    // port that cannot be opened raises the transport's exception. A network transport
    // is tried every 10 ms for 5000 ms; then ESarnupolex "Соединение не установлено"
    // (the last attempt's error goes to the operation log). Once open, a network
    // connection sends one datagram "REST_MODEM" to port 513 of its host. A port that is
    // not a number raises EConvertError before anything is created.
    void OpenDevice(const std::string& line);
    // As OpenDevice with a transport already made (a test's scripted one): takes the
    // settings of the line, selects the chip and opens the transport when it is closed.
    // No log line, no modem reset; the transport replaces any other.
    void AttachDevice(const std::string& line, std::unique_ptr<TIODevice> device);
    // Closes and frees the transport, if any.
    void CloseDevice();

    // One read of at most count bytes; what arrived is logged as "< XX ...".
    int32_t DeviceRead(void* buffer, int32_t count);
    // Logs "> XX ...", writes the bytes in one write, then checks the echo.
    int32_t DeviceWrite(const void* buffer, int32_t count);
    // With the echo flag on, gathers the echo of count bytes just written within 11
    // reads 100 ms apart, never reading more: "echo < XX ..." or "Нет эха" in the log.
    void CheckEcho(int32_t count);
    // On a serial connection, reopens the port at another rate (a negative rate always
    // reopens); ESarnupolex with errorText when it stays closed (the reason goes to the
    // operation log). Nothing on a network connection.
    void SwitchSerialSpeed(int32_t baudRate, const std::string& errorText);

    // The PDU as an RTU frame, logged "> XX ...", then the echo check of its bytes.
    void SendRequest(const uint8_t* pdu, int32_t count);
    // An RTU reply (ReadResponse), logged "< XX ..."; its payload length or 0.
    int32_t ReadReply(uint8_t* dest, bool& crcError, int32_t expected, uint32_t timeoutMs);

    const TConnectionSettings& Settings() const { return settings_; }
    TIODevice* Device() const { return device_.get(); }
    // The serial transport of the connection; null for a network one or none.
    TIOSerial* Serial() const;
    TChip* Chip() const;
    bool Echo() const { return echo_; }
    void SetEcho(bool echo) { echo_ = echo; }

private:
    TIODevice& Current() const;
    void OpenSerial();
    void OpenNetwork();

    TLoaderCore& core_;
    TConnectionSettings settings_;
    std::unique_ptr<TIODevice> device_;
    bool echo_ = false;
};
