#pragma once
// A transport of the tests that plays a script: bytes handed out in pieces of the sizes
// the script chooses, and silences. It records what is written and may answer each write
// by adding to the script. Its silences pass through platform::Sleep: real time in an
// ordinary test, no time at all on the virtual clock (tests/support/VirtualClock.h).

#include "loader/io/IODevice.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedTransport : public TIODevice {
public:
    // Called after each write with the bytes written; it may add to the script.
    using Responder = std::function<void(ScriptedTransport& transport, const std::string& written)>;

    ScriptedTransport() = default;
    // A script of these pieces.
    explicit ScriptedTransport(const std::vector<std::string>& pieces);

    // Bytes that a read hands out; one read takes at most the rest of one piece. An
    // empty piece adds nothing.
    void Piece(const std::string& bytes);
    // One read that waits ms (platform::Sleep) and gives nothing.
    void Silence(uint32_t ms);
    // Past the script's end every read is a silence of this long (1 ms unless set).
    void SetIdle(uint32_t ms) { idleMs_ = ms; }
    void SetResponder(Responder responder) { responder_ = std::move(responder); }

    void Open() override { opened_ = true; }
    // Reads as described above; count below 1 reads nothing and takes no step.
    int32_t Read(void* buffer, int32_t count) override;
    // Records the bytes, then calls the responder; the whole count is written.
    int32_t Write(const void* buffer, int32_t count) override;
    // The bytes left in the current piece (0 before a silence or at the end).
    int32_t InQueue() override;

    // Every byte handed out by reads, in order.
    const std::string& Delivered() const { return delivered_; }
    // Every byte written, in order.
    const std::string& Written() const { return written_; }
    // Steps (pieces and silences) not played yet.
    size_t StepsLeft() const { return steps_.size(); }
    // Calls of Read and of Write so far.
    int Reads() const { return reads_; }
    int Writes() const { return writes_; }

private:
    struct Step {
        std::string bytes; // empty: a silence
        uint32_t silenceMs = 0;
    };
    std::deque<Step> steps_;
    std::string delivered_;
    std::string written_;
    uint32_t idleMs_ = 1;
    int reads_ = 0;
    int writes_ = 0;
    Responder responder_;
};

} // namespace testsupport
