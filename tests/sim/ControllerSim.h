#pragma once
// The controller side of the loader's protocols for tests: endpoints on loopback (a
// pseudo-terminal, TCP listeners, UDP sockets and a modem-reset listener on port 513),
// MODBUS RTU frames cut by function code and checked by CRC, raw rules, a reply handler,
// faults for the next requests, and a time-stamped record of what happened. Runs its own
// poll thread; every member is thread-safe.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

namespace sim {

// One frame the simulator recognised (or rejected by its CRC).
struct SimFrame {
    uint64_t timeMs = 0;   // since the simulator started
    std::string endpoint;  // "pty", "tcp:<port>", "udp:<port>"
    std::string bytes;     // the whole frame, CRC included
    bool crcOk = false;
    uint32_t baud = 0;     // the line speed when it arrived (0: unpaced)
};

// Raw bytes as they crossed an endpoint: read from it, or written to it.
struct SimBytes {
    uint64_t timeMs = 0;  // since the simulator started
    std::string endpoint; // as in SimFrame
    bool sent = false;    // false: received
    std::string bytes;
};

enum class FaultKind {
    Silence,    // no reply
    BadCrc,     // the reply's last byte flipped
    Exception,  // the standard 5-byte exception reply with code k
    Exception3, // the 3-byte exception form without CRC, code k
    Delay,      // the reply k ms later than the turnaround
    Truncate,   // only the first k bytes of the reply
    Noise,      // k bytes of noise in front of the reply
    Fragments,  // the reply in pieces of k bytes, gapMs apart
    Disconnect, // no reply; the TCP client is closed, the pty hung up (see AddPty)
    NoiseStream, // the reply, and from then on noise at k bytes a second (SetNoise(k))
    AlterByte,  // byte k of the reply changed (its CRC made to match)
    NoiseAfter, // k bytes of noise behind the reply, left for the next request to meet
};


struct Fault {
    FaultKind kind = FaultKind::Silence;
    int k = 0;
    uint32_t gapMs = 0;
};

// The fault kinds by the names the program takes on its command line.
struct FaultName {
    const char* name;
    FaultKind kind;
};
extern const FaultName kFaultNames[12];

// A fault from "kind[=k[,gapMs]]", with a kind of kFaultNames; none for an unknown kind
// or a malformed number.
std::optional<Fault> ParseFault(const std::string& text);

// What an interceptor makes of the buffered input of an endpoint, before raw rules and
// frames see it.
struct SimIntercept {
    size_t take = 0;   // bytes taken from the start of the input (0: none)
    bool wait = false; // the input may be the start of bytes it takes: wait for more
    std::vector<std::pair<std::string, uint32_t>> replies; // bytes and their delay (ms)
};

class ControllerSim {
public:
    // A request PDU (the frame without its CRC) and the reply PDU; none: no reply.
    using Handler = std::function<std::optional<std::string>(const std::string& pdu)>;
    // Looks at the buffered input first; called on the simulator's thread.
    using Interceptor = std::function<SimIntercept(const std::string& input)>;

    ControllerSim();
    ~ControllerSim();
    ControllerSim(const ControllerSim&) = delete;
    ControllerSim& operator=(const ControllerSim&) = delete;

    // Endpoints, added before Start. A pseudo-terminal whose slave starts raw: its path
    // (also published as the symbolic link when one is given). A disconnect fault closes
    // the master, which the slave's holder sees as a hang-up, and opens a fresh pair whose
    // slave the link then names.
    std::string AddPty(const std::filesystem::path& link = {});
    // A TCP listener taking one client at a time (a new one closes the old); the port it
    // got (port 0: any).
    uint16_t AddTcp(const std::string& address, uint16_t port = 0);
    // A UDP socket: one frame per datagram, replies to the sender.
    uint16_t AddUdp(const std::string& address, uint16_t port = 0);
    // Records the datagrams that arrive at port 513 of the address.
    void AddModemReset(const std::string& address);
    void Start();
    void Stop();

    // Without a handler, function 16 is answered with the first 6 bytes of its request.
    void SetHandler(Handler handler);
    // The handler in place (empty when none is set).
    Handler GetHandler() const;
    void SetInterceptor(Interceptor interceptor);
    // Sends the bytes now, paced as a reply, on every endpoint with a peer.
    void Push(const std::string& bytes);
    // When these bytes arrive (matched at the start of the buffered input, before any
    // frame), answer those bytes after delayMs.
    void AddRawRule(const std::string& when, const std::string& answer, uint32_t delayMs = 0);
    // Pause between the last byte of a request and the reply.
    void SetTurnaround(uint32_t ms);
    // The line model. A character is 1 start bit, 8 data bits, the stop bits and one
    // more with parity. A pty runs at the speed its slave was set to; sockets at the
    // baud rate given here (0: unpaced). Received bytes count as arrived no faster than
    // the line carries them; a reply leaves a pty byte by byte at its own time (at most
    // one millisecond's worth per write), a socket whole at the time its last byte ends.
    void SetLine(uint32_t socketBaud, int stopBits = 1, bool parity = false);
    // Every received byte is sent straight back, as a half-duplex converter does.
    void SetEcho(bool echo);
    // A fault for each of the next count requests.
    void InjectFault(Fault fault, int count = 1);
    // A fault for each of the next count requests of that function code; count < 0:
    // every one. It goes before the faults of InjectFault, which it leaves in place.
    void InjectFault(uint8_t function, Fault fault, int count);
    // Drops every pending fault and stops the noise.
    void ClearFaults();
    // Noise bytes at that rate on every endpoint with a peer (a pty with its slave open,
    // a TCP client, the last UDP sender); 0 stops it.
    void SetNoise(uint32_t bytesPerSecond);

    std::vector<SimFrame> Frames() const;
    // Every byte received and sent, in time order.
    std::vector<SimBytes> Traffic() const;
    std::vector<std::string> ModemResets() const;
    // Connection events and rejected input, one line each.
    std::vector<std::string> Events() const;
    // Whether every reply queued so far has gone out (none waits for its time).
    bool RepliesSent() const;
    // Polls the condition until it holds or timeoutMs pass; whether it holds.
    bool WaitFor(const std::function<bool()>& condition, int timeoutMs) const;

    // Bytes a request of that function code needs from the frame's start, known once
    // the given bytes have arrived; 0 while unknown, -1 for a function outside the table.
    static int RequestLength(const std::string& bytes);

private:
    struct Endpoint;
    struct Pending;
    uint16_t AddSocket(bool tcp, const std::string& address, uint16_t port);
    void Run();
    void Receive(Endpoint& e, const std::string& bytes);
    void Cut(Endpoint& e);
    void Answer(Endpoint& e, const std::string& frame);
    void Queue(Endpoint& e, std::string bytes, uint32_t delayMs);
    void Disconnect(Endpoint& e);
    void HangUp(Endpoint& e);
    void Send(Endpoint& e, const std::string& bytes, const sockaddr_in& peer);
    void SendNoise(uint64_t now);
    std::optional<Fault> NextFault(uint8_t function);
    void Event(const std::string& text);
    uint64_t Now() const;

    mutable std::mutex lock_;
    std::vector<std::unique_ptr<Endpoint>> endpoints_;
    std::vector<Pending> pending_;
    std::vector<SimFrame> frames_;
    std::vector<std::string> modemResets_;
    std::vector<std::string> events_;
    std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>> rawRules_;
    std::vector<Fault> faults_;
    struct FunctionFault {
        uint8_t function;
        Fault fault;
        int left; // < 0: every request
    };
    std::vector<FunctionFault> functionFaults_;
    std::vector<SimBytes> traffic_;
    Handler handler_;
    Interceptor interceptor_;
    double CharMs(const Endpoint& e) const;
    uint32_t BaudOf(const Endpoint& e) const;

    uint32_t turnaroundMs_ = 0;
    uint32_t socketBaud_ = 0;
    uint32_t noiseRate_ = 0;
    double noiseDue_ = 0;
    uint32_t noiseSeed_ = 1;
    int stopBits_ = 1;
    bool parity_ = false;
    bool echo_ = false;
    uint64_t start_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace sim
