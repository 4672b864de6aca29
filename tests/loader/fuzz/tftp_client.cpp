// Writes a file with the TFTP client to a scripted server whose packets come from the
// input, on the virtual clock: after each datagram the client sends, the input picks
// what comes back (the acknowledgement of the block sent, of another or an earlier one,
// duplicates, an error, a packet from a foreign port or host, a short or unknown one)
// and how long the server stays silent first. The client must:
// - succeed only when every block was acknowledged in order by the server's transfer id
//   (the source of the first reply from the server's host): block k goes out first only
//   after the acknowledgement of block k - 1 came, with the file's bytes k of 512, and
//   success comes only after the acknowledgement of the last (short) block;
// - report the progress of acknowledged bytes only, rising, the whole size at the end;
// - fail with the server's error only after an ERROR packet from it, and give up after
//   exactly its time-out without an answer, never later;
// - answer a packet from a foreign source with ERROR 5 to that source.
// Input: the file size (two bytes, mod 8 KiB), the resend and give-up times in 20 ms
// steps, the server's port, then for each datagram sent a byte of what to answer and
// maybe its argument bytes.

#include "loader/protocol/LoaderTftp.h"
#include "tests/loader/fuzz/FuzzInput.h"
#include "tests/model/fuzz/FuzzCheck.h"
#include "tests/support/VirtualClock.h"

#include "platform/Tick.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

using fuzzcheck::Require;

namespace {

constexpr const char* kServerHost = "127.0.0.1";
constexpr size_t kBlock = 512;

uint16_t GetWord(const std::string& p, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(p[at]) << 8 | static_cast<uint8_t>(p[at + 1]));
}

std::string Word(uint16_t w) { return {static_cast<char>(w >> 8), static_cast<char>(w & 0xFF)}; }

sockaddr_in Address(const char* host, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(host);
    a.sin_port = htons(port);
    return a;
}

bool Same(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// What happened, in order, on the virtual clock.
struct Event {
    bool sent;          // by the client; else delivered to it
    sockaddr_in peer;   // where it went, or its source
    std::string packet;
    uint64_t at;
};

class ScriptedServer : public TTftpChannel {
public:
    ScriptedServer(fuzzinput::Input& input, uint16_t port) : input_(input), tid_(Address(kServerHost, port)) {}

    void SendTo(const std::string& packet, const sockaddr_in& to) override
    {
        events.push_back({true, to, packet, testsupport::VirtualNow()});
        Answer(packet);
    }

    bool Receive(std::string& packet, sockaddr_in& from, uint64_t waitMs) override
    {
        if (queue_.empty()) {
            platform::Sleep(static_cast<uint32_t>(waitMs));
            return false;
        }
        Pending& next = queue_.front();
        if (next.delayMs > waitMs) {
            next.delayMs -= waitMs;
            platform::Sleep(static_cast<uint32_t>(waitMs));
            return false;
        }
        platform::Sleep(static_cast<uint32_t>(next.delayMs));
        packet = next.packet;
        from = next.from;
        events.push_back({false, from, packet, testsupport::VirtualNow()});
        queue_.pop_front();
        return true;
    }

    std::vector<Event> events;

private:
    struct Pending {
        std::string packet;
        sockaddr_in from;
        uint64_t delayMs;
    };

    void Answer(const std::string& sent)
    {
        if (input_.Empty()) return;
        const uint8_t how = input_.Byte();
        const uint64_t delay = uint64_t{input_.Byte()} * 10;
        const uint16_t block = sent.size() >= 4 && GetWord(sent, 0) == 3 ? GetWord(sent, 2) : 0;
        std::string packet;
        sockaddr_in from = tid_;
        switch (how % 10) {
        case 0: return; // silence
        case 1:
        case 2: packet = Word(4) + Word(block); break;
        case 3: packet = Word(4) + Word(static_cast<uint16_t>(block + static_cast<int8_t>(input_.Byte()))); break;
        case 4: packet = Word(5) + Word(input_.Byte()) + input_.Bytes(input_.Byte() % 16) + '\0'; break;
        case 5: // the right acknowledgement from a foreign port, then from another host
            packet = Word(4) + Word(block);
            from = Address(kServerHost, static_cast<uint16_t>(ntohs(tid_.sin_port) + 1 + input_.Byte()));
            if (how & 0x80) from = Address("127.0.0.2", ntohs(tid_.sin_port));
            break;
        case 6: packet = input_.Bytes(input_.Byte() % 8); break;
        case 7: packet = Word(input_.Byte()) + Word(block); break;
        case 8: // the acknowledgement twice
            queue_.push_back({Word(4) + Word(block), from, delay});
            packet = Word(4) + Word(block);
            break;
        case 9: packet = Word(4) + Word(static_cast<uint16_t>(block - 1)); break;
        }
        queue_.push_back({packet, from, delay});
    }

    fuzzinput::Input& input_;
    sockaddr_in tid_;
    std::deque<Pending> queue_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzinput::Input input(data, size);
    const size_t length = input.Word() % 8192;
    TTftpTiming timing;
    timing.ResendMs = uint32_t{input.Byte()} * 20 + 20;
    timing.TimeoutMs = uint32_t{input.Byte()} * 20 + 20;
    const uint16_t port = static_cast<uint16_t>(69 + input.Byte());
    std::string file;
    for (size_t i = 0; i < length; ++i) file += static_cast<char>(i * 13 + i / 256);
    std::istringstream source(file, std::ios::binary);

    ScriptedServer server(input, port);
    std::vector<int64_t> work;
    bool ended = false;
    TTftpEvents events;
    events.Work = [&](int64_t count) { work.push_back(count); };
    events.End = [&] { ended = true; };
    TTftpClient client(kServerHost, 69, timing);
    const uint64_t start = testsupport::VirtualNow();
    std::string error;
    try {
        client.Put(server, source, static_cast<int64_t>(length), "file.bin", events);
    } catch (const ETftpError& e) {
        error = e.what();
    }
    const uint64_t end = testsupport::VirtualNow();
    const size_t blocks = length / kBlock + 1;
    Require(end - start <= (blocks + 1) * uint64_t{timing.TimeoutMs}, "the transfer ran past its give-up times");

    // Walk the events as the protocol reads them. The server's transfer id is the
    // source of the first acknowledgement of the request from the server's host; until
    // it is known any port of that host speaks for the server.
    const sockaddr_in server69 = Address(kServerHost, 69);
    const sockaddr_in* tid = nullptr;
    size_t acked = 0; // data blocks acknowledged in order
    bool serverError = false;
    for (const Event& e : server.events) {
        if (e.sent) {
            const uint16_t op = e.packet.size() >= 2 ? GetWord(e.packet, 0) : 0;
            if (op == 3) {
                Require(tid != nullptr && e.packet.size() >= 4 && GetWord(e.packet, 2) == acked + 1,
                        "a block went out before the one ahead was acknowledged");
                Require(e.packet.compare(4, std::string::npos, file, acked * kBlock, kBlock) == 0,
                        "a block's bytes are not the file's");
                Require(Same(e.peer, *tid), "a block went to another than the server's transfer id");
            } else if (op == 5) {
                Require(e.packet == Word(5) + Word(5) + "Unknown transfer ID" + '\0', "an error other than ERROR 5");
                Require(tid == nullptr || !Same(e.peer, *tid), "ERROR 5 to the server's transfer id");
            } else {
                Require(e.packet == Word(2) + "file.bin" + '\0' + "octet" + '\0', "a packet of no kind");
                Require(tid == nullptr && Same(e.peer, server69), "the request sent again after its acknowledgement");
            }
            continue;
        }
        const bool fromServer = tid ? Same(e.peer, *tid) : e.peer.sin_addr.s_addr == server69.sin_addr.s_addr;
        if (!fromServer || e.packet.size() < 4) continue;
        const uint16_t op = GetWord(e.packet, 0);
        if (op == 5) {
            serverError = true;
            break;
        }
        if (op != 4) continue;
        const uint16_t number = GetWord(e.packet, 2);
        if (tid == nullptr) {
            if (number == 0) tid = &e.peer;
        } else if (number == acked + 1 && acked < blocks) {
            ++acked;
        }
    }
    const size_t works = acked;
    Require(work.size() == works, "progress reported other than once per acknowledged block");
    for (size_t i = 0; i < work.size(); ++i)
        Require(work[i] == static_cast<int64_t>(std::min((i + 1) * kBlock, length)), "progress other than the bytes acknowledged");
    if (error.empty()) {
        Require(acked == blocks && ended, "success without every block acknowledged in order");
    } else {
        Require(!ended, "the end reported with an error");
        if (serverError) {
            Require(error.rfind("Ошибка TFTP ", 0) == 0 && error.find(':') != std::string::npos,
                    "the server's error not reported");
            return 0;
        }
        const auto lastSend = std::find_if(server.events.rbegin(), server.events.rend(), [](const Event& e) {
            return e.sent && !(e.packet.size() >= 2 && GetWord(e.packet, 0) == 5);
        });
        Require(lastSend != server.events.rend(), "no answer to nothing sent");
        // The first send of the packet still in flight: resends repeat it.
        auto firstSend = lastSend;
        for (auto it = lastSend; it != server.events.rend(); ++it)
            if (it->sent && it->packet == lastSend->packet) firstSend = it;
        Require(end - firstSend->at == timing.TimeoutMs, "gave up other than at the time-out");
    }
    return 0;
}
