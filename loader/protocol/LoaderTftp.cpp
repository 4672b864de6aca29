#include "loader/protocol/LoaderTftp.h"

#include "loader/io/IOSocket.h"
#include "loader/core/LoaderCore.h"
#include "loader/api/SarnupolexConst.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"
#include "platform/Format.h"
#include "platform/Tick.h"
#include "platform/Windows.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ETftpError::~ETftpError() = default;

const char* const kTftpServerError = "Ошибка TFTP %d: %s";
const char* const kTftpNoAnswer = "Нет ответа от сервера TFTP %s (блок %d)";
const char* const kTftpSocketError = "Ошибка TFTP: %s";

namespace {

enum : uint16_t { kOpWrq = 2, kOpData = 3, kOpAck = 4, kOpError = 5 };
constexpr size_t kBlockSize = 512;
constexpr uint16_t kUnknownTransferId = 5;
// The client waits this long for the end after its put returned.
constexpr uint64_t kEndWaitMs = 15000;

[[noreturn]] void RaiseSocketError(int code)
{
    throw ETftpError(platform::Format(kTftpSocketError, platform::SysErrorMessage(code).c_str()));
}

void PutWord(std::string& packet, uint16_t value)
{
    packet += static_cast<char>(value >> 8);
    packet += static_cast<char>(value & 0xFF);
}

uint16_t GetWord(const std::string& packet, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(packet[at]) << 8 | static_cast<uint8_t>(packet[at + 1]));
}

bool SameSource(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// A UDP socket bound to any local port, closed when it goes.
class TUdpSocket : public TTftpChannel {
public:
    TUdpSocket()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) RaiseSocketError(errno);
    }
    ~TUdpSocket() override { ::close(fd_); }
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;

    void SendTo(const std::string& packet, const sockaddr_in& to) override
    {
        if (::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
            RaiseSocketError(errno);
    }
    // One datagram within waitMs; false when none came.
    bool Receive(std::string& packet, sockaddr_in& from, uint64_t waitMs) override
    {
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(waitMs));
        if (r < 0) {
            if (errno == EINTR) return false;
            RaiseSocketError(errno);
        }
        if (r == 0) return false;
        char buffer[65536];
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            // An ICMP error of an earlier datagram; the time-out decides.
            if (errno == EINTR || errno == ECONNREFUSED || errno == EAGAIN) return false;
            RaiseSocketError(errno);
        }
        packet.assign(buffer, static_cast<size_t>(n));
        return true;
    }

private:
    int fd_ = -1;
};

} // namespace

uint16_t TftpServerPort()
{
    const char* text = std::getenv(kTftpPortVariable);
    if (!text || !*text) return kTftpPort;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 65535) return kTftpPort;
    return static_cast<uint16_t>(value);
}

TTftpClient::TTftpClient(std::string host, uint16_t port, TTftpTiming timing)
    : host_(std::move(host)), port_(port), timing_(timing)
{
}

TTftpChannel::~TTftpChannel() = default;

sockaddr_in TTftpClient::ServerAddress() const
{
    const sockaddr_in server = MakeSocketAddress(host_, platform::Format("%d", port_));
    if (server.sin_addr.s_addr == INADDR_NONE || server.sin_addr.s_addr == htonl(INADDR_ANY))
        RaiseSocketError(EADDRNOTAVAIL);
    return server;
}

void TTftpClient::Put(std::istream& source, int64_t size, const std::string& remoteName, const TTftpEvents& events)
{
    const sockaddr_in server = ServerAddress();
    TUdpSocket socket;
    Transfer(socket, server, source, size, remoteName, events);
}

void TTftpClient::Put(TTftpChannel& channel, std::istream& source, int64_t size, const std::string& remoteName,
                      const TTftpEvents& events)
{
    Transfer(channel, ServerAddress(), source, size, remoteName, events);
}

void TTftpClient::Transfer(TTftpChannel& socket, const sockaddr_in& server, std::istream& source, int64_t size,
                           const std::string& remoteName, const TTftpEvents& events)
{
    if (events.Begin) events.Begin(size);

    std::string packet;
    PutWord(packet, kOpWrq);
    packet += remoteName;
    packet += '\0';
    packet += "octet";
    packet += '\0';

    sockaddr_in peer = server; // the server's transfer id once locked
    bool locked = false;
    uint16_t block = 0;        // the block the packet in flight carries (0 also for the request)
    bool request = true;       // the packet in flight is the write request
    bool last = false;
    int64_t acknowledged = 0;
    size_t inFlight = 0;       // data bytes of the packet in flight
    char data[kBlockSize];

    for (;;) {
        socket.SendTo(packet, peer);
        const uint64_t sent = platform::GetTickCount();
        uint64_t resend = sent + timing_.ResendMs;
        bool acked = false;
        while (!acked) {
            const uint64_t now = platform::GetTickCount();
            if (now - sent >= timing_.TimeoutMs)
                throw ETftpError(platform::Format(kTftpNoAnswer, host_.c_str(), static_cast<int>(block)));
            if (now >= resend) {
                socket.SendTo(packet, peer);
                resend = now + timing_.ResendMs;
            }
            const uint64_t until = std::min<uint64_t>(resend, sent + timing_.TimeoutMs);
            std::string reply;
            sockaddr_in from{};
            if (!socket.Receive(reply, from, until > now ? until - now : 0)) continue;
            const bool fromPeer = locked ? SameSource(from, peer) : from.sin_addr.s_addr == server.sin_addr.s_addr;
            if (!fromPeer) {
                std::string error;
                PutWord(error, kOpError);
                PutWord(error, kUnknownTransferId);
                error += "Unknown transfer ID";
                error += '\0';
                socket.SendTo(error, from);
                continue;
            }
            if (reply.size() < 4) continue;
            const uint16_t opcode = GetWord(reply, 0);
            if (opcode == kOpError) {
                const size_t end = reply.find('\0', 4);
                const std::string text = reply.substr(4, end == std::string::npos ? std::string::npos : end - 4);
                throw ETftpError(platform::Format(kTftpServerError, static_cast<int>(GetWord(reply, 2)),
                                                  platform::AnsiToUtf8(text).c_str()));
            }
            if (opcode != kOpAck || GetWord(reply, 2) != block) continue;
            if (!locked) {
                peer = from;
                locked = true;
            }
            acked = true;
        }
        if (!request) {
            acknowledged += static_cast<int64_t>(inFlight);
            if (events.Work) events.Work(acknowledged);
            if (last) {
                if (events.End) events.End();
                return;
            }
        }
        source.read(data, kBlockSize);
        if (source.bad()) RaiseSocketError(EIO);
        inFlight = static_cast<size_t>(source.gcount());
        request = false;
        last = inFlight < kBlockSize;
        block = static_cast<uint16_t>(block + 1);
        packet.clear();
        PutWord(packet, kOpData);
        PutWord(packet, block);
        packet.append(data, inFlight);
    }
}

TFTPTransfer::TFTPTransfer(TLoaderCore& core, std::string host, std::filesystem::path fileName)
    : core_(core), fileName_(std::move(fileName)), client_(std::move(host), TftpServerPort())
{
}

bool TFTPTransfer::Run()
{
    state_ = 0;
    std::ifstream file;
    platform::OpenInputFile(fileName_, file);
    file.seekg(0, std::ios::end);
    const int64_t size = static_cast<int64_t>(file.tellg());
    file.seekg(0, std::ios::beg);
    TTftpEvents events;
    events.Begin = [this](int64_t total) { OnWorkBegin(total); };
    events.Work = [this](int64_t count) { OnWork(count); };
    events.End = [this] { OnWorkEnd(); };
    client_.Put(file, size, platform::Utf8ToAnsi(fileName_.filename().string()), events);
    const uint64_t start = platform::GetTickCount();
    while (platform::GetTickCount() - start < kEndWaitMs && state_ < 2) platform::Sleep(10);
    if (state_ != 2) return false;
    platform::ShowMessageBox(core_.OperationWindow(), "Загрузка \"" + fileName_.string() + "\" завершена", "",
                             platform::MsgIcon::Information, platform::MsgButtons::OK);
    return true;
}

void TFTPTransfer::OnWorkBegin(int64_t size)
{
    state_ = 1;
    status_ = "Загрузка " + fileName_.string();
    core_.PostLogLine(status_);
    total_ = size;
    lastPercent_ = -1;
}

void TFTPTransfer::OnWork(int64_t count)
{
    // An empty file is complete with its only (empty) block.
    const int percent = total_ <= 0 ? 100 : static_cast<int>((count * 100 + total_ / 2) / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const platform::HWND window = core_.OperationWindow();
    if (window == 0 || !platform::IsWindow(window)) return;
    // The reply is not used: a transfer cannot be cancelled.
    platform::SendMessage(window, platform::WM_LOADER_PROGRESS, PROGRESS_PERCENT, static_cast<platform::LPARAM>(percent));
}

void TFTPTransfer::OnWorkEnd()
{
    state_ = 2;
    core_.AppendLogLine(status_ + " ok");
}
