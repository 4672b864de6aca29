#pragma once
// The controller's life around its bootloader for the simulator: the application that
// answers the script requests (switching a through channel on, the two restarts), the
// restart with its reboot delay, the bootloader's window in which a probe 55 AA is
// answered with the processor id, and the bootloader mode that the block requests then
// reach. Attach hooks it into a ControllerSim; every member is thread-safe.

#include "tests/sim/ControllerSim.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class SimMode {
    Application, // the controller's program: script requests, no probes
    Rebooting,   // after a restart, before the bootloader listens: nothing is answered
    Window,      // the bootloader listens; a probe answered here enters Bootloader
    Bootloader,  // probes and block requests are answered
};

// "app", "rebooting", "window", "bootloader".
const char* SimModeName(SimMode mode);
// The mode of a name of SimModeName; none for another text.
std::optional<SimMode> ParseSimMode(const std::string& name);

// How the bootloader answers a probe (in the window and in bootloader mode).
enum class ProbeReply {
    Id,        // the profile's id after the turnaround
    WrongId,   // the id given with SetProbeReply instead
    DelayedId, // the profile's id, ms later
    IdExtra,   // the profile's id followed by count extra bytes
    None,      // nothing
};

// How the application answers a probe.
enum class AppProbeReply {
    Nothing,
    Exit,      // 75 AA
    ExitSplit, // 75, then AA gapMs later
};

// One write of the application's through-channel registers (0x03F2, 2 or 4 registers).
struct SimTransmit {
    uint8_t address = 0;
    std::vector<uint16_t> values;
};

class SimBootloader {
public:
    // A bootloader whose chip answers byteId; it starts in bootloader mode.
    explicit SimBootloader(uint8_t byteId, SimMode mode = SimMode::Bootloader);

    // Installs the probe interceptor and a handler that answers the application's requests
    // and, in bootloader mode, passes every request to the handler the simulator had (or
    // its default). Call after the simulator's own handler is set; this object must
    // outlive the simulator's run.
    void Attach(ControllerSim& sim);

    void SetMode(SimMode mode);
    SimMode Mode();
    // Delay from a restart to the window, and the window's length.
    void SetTiming(uint32_t rebootMs, uint32_t windowMs);
    // A restart as the controller's supply sees it, that many ms from now.
    void PowerCycleIn(uint32_t ms);
    // value: the wrong id, the delay (ms) or the count of extra bytes.
    void SetProbeReply(ProbeReply reply, uint32_t value = 0);
    void SetAppProbeReply(AppProbeReply reply, uint32_t gapMs = 0);

    std::vector<SimTransmit> Transmits() const;
    int Restarts() const;
    int Probes() const; // probes received in any mode
    // "<ms> <mode>" for the first mode and every change, in order (ms since construction).
    std::vector<std::string> ModeChanges() const;

private:
    SimIntercept Intercept(const std::string& input);
    std::optional<std::string> Handle(const std::string& pdu, const ControllerSim::Handler& inner);
    void Update(uint64_t now);
    void Enter(SimMode mode, uint64_t now);
    void Restart(uint64_t now);

    mutable std::mutex lock_;
    uint8_t byteId_;
    SimMode mode_;
    uint32_t rebootMs_ = 200;
    uint32_t windowMs_ = 1000;
    std::optional<uint64_t> restartAt_;
    std::optional<uint64_t> powerCycleAt_;
    ProbeReply probeReply_ = ProbeReply::Id;
    uint32_t probeValue_ = 0;
    AppProbeReply appProbeReply_ = AppProbeReply::Nothing;
    uint32_t appGapMs_ = 0;
    std::vector<SimTransmit> transmits_;
    int restarts_ = 0;
    int probes_ = 0;
    std::vector<std::string> modeChanges_;
    uint64_t start_;
};

} // namespace sim
