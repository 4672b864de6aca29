#pragma once
// Firmware sent to a controller's TFTP server: a small client of the trivial file
// transfer protocol (write requests only, octet mode, 512-byte blocks) on a plain UDP
// socket, and the transfer that drives it for an operation, with its log lines,
// percentages and completion box.

#include "platform/Exceptions.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <string>

#include <netinet/in.h>

class TLoaderCore;

// The port of a TFTP server.
inline constexpr uint16_t kTftpPort = 69;
// Names another server port for tests (a server run on a free port).
inline constexpr const char* kTftpPortVariable = "MIRVAK_TFTP_PORT";
// kTftpPort, or the decimal port 1..65535 of kTftpPortVariable when it holds one.
uint16_t TftpServerPort();

// A failed transfer: the server's error, no answer, or a socket or name failure.
class ETftpError : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~ETftpError() override;
};

// "Ошибка TFTP %d: %s": the server's error code and text.
extern const char* const kTftpServerError;
// "Нет ответа от сервера TFTP %s (блок %d)": the host and the block still unacknowledged
// (0: the write request).
extern const char* const kTftpNoAnswer;
// "Ошибка TFTP: %s": a socket or name-resolution failure with the system's text.
extern const char* const kTftpSocketError;

// How long the client waits for an acknowledgement.
struct TTftpTiming {
    uint32_t ResendMs = 2500;   // the last packet is sent again after this long
    uint32_t TimeoutMs = 10000; // the transfer fails after this long without the answer
};

// What the client reports, on the thread that called Put.
struct TTftpEvents {
    std::function<void(int64_t size)> Begin;   // before the request, with the size given
    std::function<void(int64_t count)> Work;   // after each data acknowledgement: bytes acknowledged
    std::function<void()> End;                 // after the last block's acknowledgement
};

// The datagrams of a transfer: a UDP socket of the client's own, or a test's channel.
class TTftpChannel {
public:
    virtual ~TTftpChannel();
    // Sends one datagram; raises ETftpError kTftpSocketError when that fails.
    virtual void SendTo(const std::string& packet, const sockaddr_in& to) = 0;
    // One datagram and its source within waitMs; false when none came in that time.
    virtual bool Receive(std::string& packet, sockaddr_in& from, uint64_t waitMs) = 0;
};

// A TFTP client that writes files to one server.
class TTftpClient {
public:
    // The host (name or dotted IPv4) and the server's port.
    TTftpClient(std::string host, uint16_t port, TTftpTiming timing = {});

    // Sends the stream to the server under the remote name (bytes as they go on the wire):
    // a write request "<name>\0octet\0", then DATA blocks of 512 bytes read from the stream
    // as they go, the last one shorter (empty when the length is a multiple of 512). The
    // server's transfer id (address and port) is taken from its first reply; a packet from
    // any other source gets ERROR 5 "Unknown transfer ID" and changes nothing else. Block
    // numbers wrap from 65535 to 0. An acknowledgement of another block than the last one
    // sent is ignored: it never causes a resend. The last packet is resent after ResendMs
    // without its acknowledgement. Raises ETftpError kTftpServerError for an ERROR packet
    // of the server, kTftpNoAnswer after TimeoutMs without the acknowledgement, and
    // kTftpSocketError for a socket failure or an empty, unresolved or 0.0.0.0 host (EADDRNOTAVAIL).
    void Put(std::istream& source, int64_t size, const std::string& remoteName, const TTftpEvents& events);
    // The same over the given channel instead of a socket of its own.
    void Put(TTftpChannel& channel, std::istream& source, int64_t size, const std::string& remoteName,
             const TTftpEvents& events);

private:
    // The server's address; kTftpSocketError as Put describes.
    sockaddr_in ServerAddress() const;
    void Transfer(TTftpChannel& channel, const sockaddr_in& server, std::istream& source, int64_t size,
                  const std::string& remoteName, const TTftpEvents& events);

    std::string host_;
    uint16_t port_;
    TTftpTiming timing_;
};

// One firmware transfer of an operation to a controller's TFTP server (TftpServerPort).
class TFTPTransfer {
public:
    TFTPTransfer(TLoaderCore& core, std::string host, std::filesystem::path fileName);

    // Sends the file unchanged under its name without folder, in Windows-1251 ("?" for a
    // character without a code). Begin: state 1 and "Загрузка <path>" posted as a log line;
    // each acknowledgement: PROGRESS_PERCENT = count × 100 / size, rounded (100 for an
    // empty file), sent when it changes, the host's reply ignored; end: state 2 and
    // "<status> ok" in the operation log. When the client has returned, waits up to
    // 15000 ms for the end; true when it came, and then the box "Загрузка "<path>"
    // завершена" (empty caption, information icon) is shown on the operation window.
    // Errors of opening the file (EFOpenError) and of the client leave as exceptions.
    bool Run();

    void OnWorkBegin(int64_t size);
    void OnWork(int64_t count);
    void OnWorkEnd();

    int32_t State() const { return state_; }

private:
    TLoaderCore& core_;
    std::filesystem::path fileName_;
    TTftpClient client_;
    std::string status_;
    int32_t state_ = 0;
    int64_t total_ = 0;
    int lastPercent_ = -1;
};
