#include "tests/sim/ControllerSim.h"

#include "loader/io/IOSerialRate.h"
#include "loader/io/Modbus.h"
#include "tests/support/Wait.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <type_traits>

namespace sim {

namespace {

enum class Kind { Pty, Tcp, Udp, Modem };

constexpr int kTickMs = 10;

uint64_t MonotonicMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

int BoundSocket(int type, const std::string& address, uint16_t port, uint16_t& bound)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw std::runtime_error("socket");
    // A datagram socket on a port of the system's choice shares it with no one: with
    // SO_REUSEADDR on both, the system may give it a port a socket of another test holds,
    // and one of them gets the other's datagrams.
    const int one = 1;
    if (type == SOCK_STREAM || port != 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(address.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (type == SOCK_STREAM && ::listen(fd, 4) != 0)) {
        ::close(fd);
        throw std::runtime_error("cannot bind " + address + ":" + std::to_string(port));
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    bound = ntohs(a.sin_port);
    return fd;
}

// A pseudo-terminal master whose slave starts raw (echo and line mode are its defaults;
// the master's settings are the slave's); the slave's path, also named by the link.
int OpenPtyMaster(const std::filesystem::path& link, std::string& slave)
{
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) throw std::runtime_error("no pty");
    slave = ::ptsname(fd);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    if (!link.empty()) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(slave, link);
    }
    return fd;
}

std::string WithCrc(const std::string& pdu)
{
    const uint16_t crc = ModbusCrc16(reinterpret_cast<const uint8_t*>(pdu.data()), static_cast<uint16_t>(pdu.size()));
    return pdu + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

} // namespace

struct ControllerSim::Endpoint {
    Kind kind = Kind::Pty;
    std::string name;
    int fd = -1;     // pty master, listener, UDP socket
    int client = -1; // TCP: the connected client
    std::filesystem::path link; // pty: the published link
    bool slaveOpen = false;
    uint64_t quietUntil = 0; // pty: hung up, not polled before then
    sockaddr_in peer{};      // UDP: the sender of the last datagram
    std::string input;
    double lastByteMs = 0;   // when the last received byte counts as arrived
};

struct ControllerSim::Pending {
    Endpoint* endpoint = nullptr;
    std::string bytes;
    uint64_t due = 0;
    sockaddr_in peer{};
};

const FaultName kFaultNames[12] = {
    {"silence", FaultKind::Silence},       {"bad-crc", FaultKind::BadCrc},
    {"exception", FaultKind::Exception},   {"exception3", FaultKind::Exception3},
    {"delay", FaultKind::Delay},           {"truncate", FaultKind::Truncate},
    {"noise", FaultKind::Noise},           {"fragments", FaultKind::Fragments},
    {"disconnect", FaultKind::Disconnect}, {"noise-stream", FaultKind::NoiseStream},
    {"alter-byte", FaultKind::AlterByte},  {"noise-after", FaultKind::NoiseAfter},
};

std::optional<Fault> ParseFault(const std::string& text)
{
    const size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    const auto* found = std::find_if(std::begin(kFaultNames), std::end(kFaultNames),
                                     [&](const FaultName& f) { return name == f.name; });
    if (found == std::end(kFaultNames)) return std::nullopt;
    Fault fault{found->kind, 0, 0};
    if (equals == std::string::npos) return fault;
    const std::string numbers = text.substr(equals + 1);
    const size_t comma = numbers.find(',');
    const auto number = [](const std::string& digits, auto& out) {
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9)
            return false;
        out = static_cast<std::remove_reference_t<decltype(out)>>(std::stoul(digits));
        return true;
    };
    if (!number(numbers.substr(0, comma), fault.k)) return std::nullopt;
    if (comma != std::string::npos && !number(numbers.substr(comma + 1), fault.gapMs)) return std::nullopt;
    return fault;
}

ControllerSim::ControllerSim() : start_(MonotonicMs()) {}

ControllerSim::~ControllerSim()
{
    Stop();
    for (auto& e : endpoints_) {
        if (e->client >= 0) ::close(e->client);
        if (e->fd >= 0) ::close(e->fd);
    }
}

uint64_t ControllerSim::Now() const { return MonotonicMs() - start_; }

std::string ControllerSim::AddPty(const std::filesystem::path& link)
{
    auto e = std::make_unique<Endpoint>();
    e->kind = Kind::Pty;
    e->name = "pty";
    e->link = link;
    std::string slave;
    e->fd = OpenPtyMaster(link, slave);
    std::lock_guard<std::mutex> guard(lock_);
    endpoints_.push_back(std::move(e));
    return slave;
}

uint16_t ControllerSim::AddSocket(bool tcp, const std::string& address, uint16_t port)
{
    auto e = std::make_unique<Endpoint>();
    e->kind = tcp ? Kind::Tcp : Kind::Udp;
    uint16_t bound = 0;
    e->fd = BoundSocket(tcp ? SOCK_STREAM : SOCK_DGRAM, address, port, bound);
    e->name = (tcp ? "tcp:" : "udp:") + std::to_string(bound);
    std::lock_guard<std::mutex> guard(lock_);
    endpoints_.push_back(std::move(e));
    return bound;
}

uint16_t ControllerSim::AddTcp(const std::string& address, uint16_t port) { return AddSocket(true, address, port); }

uint16_t ControllerSim::AddUdp(const std::string& address, uint16_t port) { return AddSocket(false, address, port); }

void ControllerSim::AddModemReset(const std::string& address)
{
    auto e = std::make_unique<Endpoint>();
    e->kind = Kind::Modem;
    uint16_t bound = 0;
    e->fd = BoundSocket(SOCK_DGRAM, address, 513, bound);
    e->name = "modem";
    std::lock_guard<std::mutex> guard(lock_);
    endpoints_.push_back(std::move(e));
}

void ControllerSim::Start()
{
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void ControllerSim::Stop()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ControllerSim::SetHandler(Handler handler)
{
    std::lock_guard<std::mutex> guard(lock_);
    handler_ = std::move(handler);
}

ControllerSim::Handler ControllerSim::GetHandler() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return handler_;
}

void ControllerSim::SetInterceptor(Interceptor interceptor)
{
    std::lock_guard<std::mutex> guard(lock_);
    interceptor_ = std::move(interceptor);
}

void ControllerSim::Push(const std::string& bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& e : endpoints_) {
        if (e->kind == Kind::Modem) continue;
        if (e->kind == Kind::Pty && !e->slaveOpen) {
            // A slave opened but silent so far: the master no longer reports a hang-up.
            pollfd p{e->fd, POLLOUT, 0};
            if (::poll(&p, 1, 0) == 1 && !(p.revents & POLLHUP)) e->slaveOpen = true;
        }
        Queue(*e, bytes, 0);
    }
}

void ControllerSim::AddRawRule(const std::string& when, const std::string& answer, uint32_t delayMs)
{
    std::lock_guard<std::mutex> guard(lock_);
    rawRules_.push_back({when, {answer, delayMs}});
}

void ControllerSim::SetTurnaround(uint32_t ms)
{
    std::lock_guard<std::mutex> guard(lock_);
    turnaroundMs_ = ms;
}

void ControllerSim::SetLine(uint32_t socketBaud, int stopBits, bool parity)
{
    std::lock_guard<std::mutex> guard(lock_);
    socketBaud_ = socketBaud;
    stopBits_ = stopBits;
    parity_ = parity;
}

uint32_t ControllerSim::BaudOf(const Endpoint& e) const
{
    if (e.kind != Kind::Pty) return socketBaud_;
    uint32_t baud = 0;
    return GetTtyBaudRate(e.fd, &baud) == 0 ? baud : 0;
}

double ControllerSim::CharMs(const Endpoint& e) const
{
    const uint32_t baud = BaudOf(e);
    return baud == 0 ? 0.0 : (1 + 8 + stopBits_ + (parity_ ? 1 : 0)) * 1000.0 / baud;
}

void ControllerSim::SetEcho(bool echo)
{
    std::lock_guard<std::mutex> guard(lock_);
    echo_ = echo;
}

void ControllerSim::InjectFault(Fault fault, int count)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0; i < count; ++i) faults_.push_back(fault);
}

void ControllerSim::InjectFault(uint8_t function, Fault fault, int count)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (count != 0) functionFaults_.push_back({function, fault, count});
}

void ControllerSim::ClearFaults()
{
    std::lock_guard<std::mutex> guard(lock_);
    faults_.clear();
    functionFaults_.clear();
    noiseRate_ = 0;
}

void ControllerSim::SetNoise(uint32_t bytesPerSecond)
{
    std::lock_guard<std::mutex> guard(lock_);
    noiseRate_ = bytesPerSecond;
    noiseDue_ = static_cast<double>(Now());
}

std::optional<Fault> ControllerSim::NextFault(uint8_t function)
{
    for (auto it = functionFaults_.begin(); it != functionFaults_.end(); ++it) {
        if (it->function != function) continue;
        const Fault fault = it->fault;
        if (it->left > 0 && --it->left == 0) functionFaults_.erase(it);
        return fault;
    }
    if (faults_.empty()) return std::nullopt;
    const Fault fault = faults_.front();
    faults_.erase(faults_.begin());
    return fault;
}

std::vector<SimFrame> ControllerSim::Frames() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return frames_;
}

std::vector<SimBytes> ControllerSim::Traffic() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return traffic_;
}

std::vector<std::string> ControllerSim::ModemResets() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return modemResets_;
}

std::vector<std::string> ControllerSim::Events() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

bool ControllerSim::RepliesSent() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return pending_.empty();
}

bool ControllerSim::WaitFor(const std::function<bool()>& condition, int timeoutMs) const
{
    return testsupport::WaitUntil(condition, std::chrono::milliseconds(std::max(timeoutMs, 0)));
}

int ControllerSim::RequestLength(const std::string& bytes)
{
    if (bytes.size() < 2) return 0;
    switch (static_cast<uint8_t>(bytes[1])) {
    case 0x08: // diagnostics: sub-function, data, CRC
        return 8;
    case 0x10: // address, function, start, count, byte count, data, CRC
        return bytes.size() < 7 ? 0 : 7 + static_cast<uint8_t>(bytes[6]) + 2;
    case 0x14: // block read: 10 bytes, CRC
        return 12;
    case 0x15: // block write: 10 bytes with the word count in bytes 8-9, the words, CRC
        return bytes.size() < 10 ? 0 : 10 + 2 * (static_cast<uint8_t>(bytes[8]) << 8 | static_cast<uint8_t>(bytes[9])) + 2;
    case 0x56: // flash-save activation: 6 bytes, CRC
        return 8;
    default: return -1;
    }
}

void ControllerSim::Event(const std::string& text) { events_.push_back(std::to_string(Now()) + " " + text); }

void ControllerSim::Queue(Endpoint& e, std::string bytes, uint32_t delayMs)
{
    const double charMs = CharMs(e);
    const double start = std::max(e.lastByteMs, static_cast<double>(Now())) + delayMs;
    const auto add = [&](std::string part, double due) {
        Pending p;
        p.endpoint = &e;
        p.bytes = std::move(part);
        p.due = static_cast<uint64_t>(std::ceil(due));
        p.peer = e.peer;
        pending_.push_back(std::move(p));
    };
    if (charMs <= 0) {
        add(std::move(bytes), start);
    } else if (e.kind == Kind::Pty) {
        const size_t perMs = std::max<size_t>(1, static_cast<size_t>(1.0 / charMs));
        for (size_t at = 0; at < bytes.size(); at += perMs) {
            const size_t n = std::min(perMs, bytes.size() - at);
            add(bytes.substr(at, n), start + static_cast<double>(at + n) * charMs);
        }
    } else {
        const double end = start + static_cast<double>(bytes.size()) * charMs;
        add(std::move(bytes), end);
    }
}

void ControllerSim::Receive(Endpoint& e, const std::string& bytes)
{
    const double charMs = CharMs(e);
    const double now = static_cast<double>(Now());
    traffic_.push_back({Now(), e.name, false, bytes});
    for (size_t i = 0; i < bytes.size(); ++i) e.lastByteMs = std::max(now, e.lastByteMs + charMs);
    if (echo_ && e.kind != Kind::Udp) Queue(e, bytes, 0);
    e.input += bytes;
    Cut(e);
    if (e.kind == Kind::Udp) e.input.clear(); // one frame per datagram
}

void ControllerSim::Cut(Endpoint& e)
{
    for (;;) {
        if (interceptor_ && !e.input.empty()) {
            const SimIntercept seen = interceptor_(e.input);
            for (const auto& [bytes, delay] : seen.replies) Queue(e, bytes, delay);
            if (seen.take > 0) {
                e.input.erase(0, std::min(seen.take, e.input.size()));
                continue;
            }
            if (seen.wait) return;
        }
        bool matched = false;
        for (const auto& [when, answer] : rawRules_) {
            if (!when.empty() && e.input.compare(0, when.size(), when) == 0) {
                e.input.erase(0, when.size());
                Queue(e, answer.first, answer.second);
                matched = true;
                break;
            }
        }
        if (matched) continue;
        // The start of a rule's bytes: wait for the rest.
        bool partial = false;
        for (const auto& rule : rawRules_)
            partial = partial || (e.input.size() < rule.first.size() && rule.first.compare(0, e.input.size(), e.input) == 0);
        if (partial || e.input.empty()) return;
        const int length = RequestLength(e.input);
        if (length == 0 || (length > 0 && e.input.size() < static_cast<size_t>(length))) return;
        if (length < 0) {
            Event("dropped byte " + std::to_string(static_cast<uint8_t>(e.input[0])));
            e.input.erase(0, 1); // resync
            continue;
        }
        const std::string frame = e.input.substr(0, static_cast<size_t>(length));
        const std::string pdu = frame.substr(0, frame.size() - 2);
        const bool ok = WithCrc(pdu) == frame;
        frames_.push_back({Now(), e.name, frame, ok, BaudOf(e)});
        if (!ok) {
            Event("bad CRC on " + e.name);
            e.input.erase(0, 1); // resync
            continue;
        }
        e.input.erase(0, frame.size());
        Answer(e, pdu);
    }
}

void ControllerSim::Answer(Endpoint& e, const std::string& pdu)
{
    std::optional<std::string> reply;
    if (handler_)
        reply = handler_(pdu);
    else if (static_cast<uint8_t>(pdu[1]) == 0x10)
        reply = pdu.substr(0, 6);
    const std::optional<Fault> fault = NextFault(static_cast<uint8_t>(pdu[1]));
    const FaultKind kind = fault ? fault->kind : FaultKind::Silence;
    const size_t k = fault ? static_cast<size_t>(std::max(fault->k, 0)) : 0;
    if (fault && kind == FaultKind::Disconnect) {
        Disconnect(e);
        return;
    }
    if (fault && kind == FaultKind::Silence) return;
    const std::string exception{pdu[0], static_cast<char>(static_cast<uint8_t>(pdu[1]) | 0x80), static_cast<char>(k)};
    if (fault && kind == FaultKind::Exception) reply = exception;
    if (!reply && !(fault && kind == FaultKind::Exception3)) return;
    std::string bytes = fault && kind == FaultKind::Exception3 ? exception : WithCrc(*reply);
    uint32_t delay = turnaroundMs_;
    if (fault) {
        switch (kind) {
        case FaultKind::BadCrc: bytes.back() = static_cast<char>(bytes.back() ^ 0xFF); break;
        case FaultKind::NoiseStream:
            noiseRate_ = static_cast<uint32_t>(k);
            noiseDue_ = static_cast<double>(Now());
            break;
        case FaultKind::Delay: delay += static_cast<uint32_t>(k); break;
        case FaultKind::Truncate: bytes.resize(std::min(k, bytes.size())); break;
        case FaultKind::Noise:
        case FaultKind::NoiseAfter: {
            std::string noise;
            for (size_t i = 0; i < k; ++i) noise += static_cast<char>(i % 2 ? 0x00 : 0xFF);
            bytes = kind == FaultKind::Noise ? noise + bytes : bytes + noise;
            break;
        }
        case FaultKind::AlterByte:
            if (reply && k < reply->size()) {
                (*reply)[k] = static_cast<char>((*reply)[k] ^ 0x01);
                bytes = WithCrc(*reply);
            }
            break;
        case FaultKind::Fragments:
            for (size_t at = 0; k > 0 && at < bytes.size(); at += k)
                Queue(e, bytes.substr(at, k), delay + static_cast<uint32_t>(at / k) * fault->gapMs);
            return;
        default: break;
        }
    }
    Queue(e, bytes, delay);
}

void ControllerSim::Disconnect(Endpoint& e)
{
    if (e.kind == Kind::Pty) HangUp(e);
    if (e.kind != Kind::Tcp || e.client < 0) return;
    ::close(e.client);
    e.client = -1;
    e.input.clear();
    Event("tcp close " + e.name);
}

void ControllerSim::HangUp(Endpoint& e)
{
    ::close(e.fd);
    std::string slave;
    e.fd = OpenPtyMaster(e.link, slave);
    e.slaveOpen = false;
    e.input.clear();
    e.quietUntil = 0;
    std::erase_if(pending_, [&](const Pending& p) { return p.endpoint == &e; });
    Event("pty hang-up, new slave " + slave);
}

void ControllerSim::Send(Endpoint& e, const std::string& bytes, const sockaddr_in& peer)
{
    bool sent = true;
    if (e.kind == Kind::Udp && peer.sin_port != 0) {
        ::sendto(e.fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } else if (e.kind == Kind::Tcp && e.client >= 0) {
        ::send(e.client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    } else if (e.kind == Kind::Pty && e.slaveOpen) {
        if (::write(e.fd, bytes.data(), bytes.size()) < 0) Event("pty write failed");
    } else {
        sent = false;
    }
    if (sent) traffic_.push_back({Now(), e.name, true, bytes});
}

void ControllerSim::SendNoise(uint64_t now)
{
    if (noiseRate_ == 0) return;
    const double step = 1000.0 / noiseRate_;
    std::string noise;
    for (; noiseDue_ <= static_cast<double>(now); noiseDue_ += step) {
        noiseSeed_ = noiseSeed_ * 1103515245u + 12345u;
        noise += static_cast<char>(noiseSeed_ >> 16);
    }
    if (noise.empty()) return;
    for (auto& e : endpoints_)
        if (e->kind != Kind::Modem && (e->kind != Kind::Pty || e->slaveOpen)) Send(*e, noise, e->peer);
}

void ControllerSim::Run()
{
    char buf[4096];
    while (!stop_) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Endpoint*, bool>> owners; // endpoint, the TCP client
        int timeout = kTickMs;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const uint64_t now = Now();
            for (auto& e : endpoints_) {
                if (e->kind == Kind::Pty && e->quietUntil > now) continue;
                fds.push_back({e->fd, POLLIN, 0});
                owners.push_back({e.get(), false});
                if (e->client >= 0) {
                    fds.push_back({e->client, POLLIN, 0});
                    owners.push_back({e.get(), true});
                }
            }
            for (const Pending& p : pending_)
                timeout = std::min<int>(timeout, p.due > now ? static_cast<int>(p.due - now) : 0);
            if (noiseRate_ > 0)
                timeout = std::min<int>(timeout, std::max(0, static_cast<int>(std::ceil(noiseDue_ - static_cast<double>(now)))));
        }
        ::poll(fds.data(), fds.size(), timeout);
        std::lock_guard<std::mutex> guard(lock_);
        for (size_t i = 0; i < fds.size(); ++i) {
            Endpoint& e = *owners[i].first;
            const short ev = fds[i].revents;
            if (ev == 0) continue;
            if (owners[i].second) { // TCP client
                // A client a newer one has replaced in this round is gone already.
                if (fds[i].fd != e.client) continue;
                const ssize_t n = ::recv(e.client, buf, sizeof buf, 0);
                if (n > 0)
                    Receive(e, std::string(buf, static_cast<size_t>(n)));
                else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    Disconnect(e);
                continue;
            }
            switch (e.kind) {
            case Kind::Pty:
                if (ev & POLLIN) {
                    const ssize_t n = ::read(e.fd, buf, sizeof buf);
                    if (n > 0) {
                        if (!e.slaveOpen) Event("pty slave opened");
                        e.slaveOpen = true;
                        Receive(e, std::string(buf, static_cast<size_t>(n)));
                    }
                } else if (ev & POLLHUP) {
                    // No slave: the master reports hang-up on every poll.
                    if (e.slaveOpen) Event("pty slave closed");
                    e.slaveOpen = false;
                    e.input.clear();
                    e.quietUntil = Now() + kTickMs;
                }
                break;
            case Kind::Tcp: {
                const int client = ::accept4(e.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (client >= 0) {
                    Disconnect(e); // one client at a time
                    e.client = client;
                    e.input.clear();
                    Event("tcp accept " + e.name);
                }
                break;
            }
            case Kind::Udp:
            case Kind::Modem: {
                socklen_t len = sizeof e.peer;
                const ssize_t n = ::recvfrom(e.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&e.peer), &len);
                if (n < 0) break;
                if (e.kind == Kind::Modem)
                    modemResets_.emplace_back(buf, static_cast<size_t>(n));
                else
                    Receive(e, std::string(buf, static_cast<size_t>(n)));
                break;
            }
            }
        }
        const uint64_t now = Now();
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->due > now) {
                ++it;
                continue;
            }
            Endpoint& e = *it->endpoint;
            const size_t before = traffic_.size();
            Send(e, it->bytes, it->peer);
            if (traffic_.size() == before) Event("reply dropped on " + e.name);
            it = pending_.erase(it);
        }
        SendNoise(now);
    }
}

} // namespace sim
