#include "tests/sim/SimBootloader.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace sim {

namespace {

uint64_t SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

const char kProbe[] = "\x55\xAA";

uint8_t Byte(const std::string& s, size_t i) { return static_cast<uint8_t>(s[i]); }

struct ModeName {
    SimMode mode;
    const char* name;
};

const ModeName kModeNames[] = {
    {SimMode::Application, "app"},
    {SimMode::Rebooting, "rebooting"},
    {SimMode::Window, "window"},
    {SimMode::Bootloader, "bootloader"},
};

} // namespace

const char* SimModeName(SimMode mode)
{
    for (const ModeName& m : kModeNames)
        if (m.mode == mode) return m.name;
    return "?";
}

std::optional<SimMode> ParseSimMode(const std::string& name)
{
    for (const ModeName& m : kModeNames)
        if (name == m.name) return m.mode;
    return std::nullopt;
}

SimBootloader::SimBootloader(uint8_t byteId, SimMode mode) : byteId_(byteId), mode_(mode), start_(SteadyMs())
{
    modeChanges_.push_back("0 " + std::string(SimModeName(mode)));
}

void SimBootloader::Attach(ControllerSim& sim)
{
    sim.SetInterceptor([this](const std::string& input) { return Intercept(input); });
    ControllerSim::Handler inner = sim.GetHandler();
    sim.SetHandler([this, inner](const std::string& pdu) { return Handle(pdu, inner); });
}

void SimBootloader::SetMode(SimMode mode)
{
    std::lock_guard<std::mutex> guard(lock_);
    restartAt_.reset();
    Enter(mode, SteadyMs());
}

SimMode SimBootloader::Mode()
{
    std::lock_guard<std::mutex> guard(lock_);
    Update(SteadyMs());
    return mode_;
}

void SimBootloader::SetTiming(uint32_t rebootMs, uint32_t windowMs)
{
    std::lock_guard<std::mutex> guard(lock_);
    rebootMs_ = rebootMs;
    windowMs_ = windowMs;
}

void SimBootloader::PowerCycleIn(uint32_t ms)
{
    std::lock_guard<std::mutex> guard(lock_);
    powerCycleAt_ = SteadyMs() + ms;
}

void SimBootloader::SetProbeReply(ProbeReply reply, uint32_t value)
{
    std::lock_guard<std::mutex> guard(lock_);
    probeReply_ = reply;
    probeValue_ = value;
}

void SimBootloader::SetAppProbeReply(AppProbeReply reply, uint32_t gapMs)
{
    std::lock_guard<std::mutex> guard(lock_);
    appProbeReply_ = reply;
    appGapMs_ = gapMs;
}

std::vector<SimTransmit> SimBootloader::Transmits() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return transmits_;
}

int SimBootloader::Restarts() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return restarts_;
}

int SimBootloader::Probes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return probes_;
}

std::vector<std::string> SimBootloader::ModeChanges() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return modeChanges_;
}

void SimBootloader::Enter(SimMode mode, uint64_t now)
{
    if (mode == mode_) return;
    mode_ = mode;
    modeChanges_.push_back(std::to_string(now - start_) + " " + SimModeName(mode));
}

void SimBootloader::Restart(uint64_t now)
{
    ++restarts_;
    restartAt_ = now;
    Enter(SimMode::Rebooting, now);
}

void SimBootloader::Update(uint64_t now)
{
    if (powerCycleAt_ && now >= *powerCycleAt_) {
        const uint64_t at = *powerCycleAt_;
        powerCycleAt_.reset();
        Restart(at);
    }
    if (!restartAt_) return;
    const uint64_t window = *restartAt_ + rebootMs_;
    if (now < window) {
        Enter(SimMode::Rebooting, now);
    } else if (now < window + windowMs_) {
        Enter(SimMode::Window, now);
    } else {
        // The window passed without a probe: the application starts.
        restartAt_.reset();
        Enter(SimMode::Application, now);
    }
}

SimIntercept SimBootloader::Intercept(const std::string& input)
{
    SimIntercept result;
    if (input.size() < 2) {
        result.wait = input[0] == kProbe[0];
        return result;
    }
    if (input.compare(0, 2, kProbe, 2) != 0) return result;
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = SteadyMs();
    Update(now);
    ++probes_;
    result.take = 2;
    const std::string id(1, static_cast<char>(byteId_));
    switch (mode_) {
    case SimMode::Rebooting: break;
    case SimMode::Application:
        if (appProbeReply_ == AppProbeReply::Exit) result.replies.push_back({"\x75\xAA", 0});
        if (appProbeReply_ == AppProbeReply::ExitSplit) {
            result.replies.push_back({"\x75", 0});
            result.replies.push_back({"\xAA", appGapMs_});
        }
        break;
    case SimMode::Window:
    case SimMode::Bootloader:
        switch (probeReply_) {
        case ProbeReply::Id: result.replies.push_back({id, 0}); break;
        case ProbeReply::WrongId: result.replies.push_back({std::string(1, static_cast<char>(probeValue_)), 0}); break;
        case ProbeReply::DelayedId: result.replies.push_back({id, probeValue_}); break;
        case ProbeReply::IdExtra: result.replies.push_back({id + std::string(probeValue_, '\x5A'), 0}); break;
        case ProbeReply::None: break;
        }
        if (mode_ == SimMode::Window && !result.replies.empty()) {
            restartAt_.reset();
            Enter(SimMode::Bootloader, now);
        }
        break;
    }
    return result;
}

std::optional<std::string> SimBootloader::Handle(const std::string& pdu, const ControllerSim::Handler& inner)
{
    SimMode mode;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const uint64_t now = SteadyMs();
        Update(now);
        mode = mode_;
        const uint8_t function = Byte(pdu, 1);
        if (mode == SimMode::Application && function == 0x10 && pdu.size() >= 7) {
            const int reg = Byte(pdu, 2) << 8 | Byte(pdu, 3);
            const int count = Byte(pdu, 4) << 8 | Byte(pdu, 5);
            if (reg == 0x03F2 && (count == 2 || count == 4)) {
                SimTransmit t{Byte(pdu, 0), {}};
                for (int i = 0; i < count && 8 + 2 * static_cast<size_t>(i) < pdu.size(); ++i)
                    t.values.push_back(static_cast<uint16_t>(Byte(pdu, 7 + 2 * static_cast<size_t>(i)) << 8 |
                                                             Byte(pdu, 8 + 2 * static_cast<size_t>(i))));
                transmits_.push_back(std::move(t));
                return pdu.substr(0, 6);
            }
            if (reg == 0x03E9 && count == 1 && pdu.size() >= 9 && Byte(pdu, 7) == 0 && Byte(pdu, 8) == 1) {
                Restart(now);
                return pdu.substr(0, 6);
            }
            return std::nullopt;
        }
        if (mode == SimMode::Application && function == 0x08 && pdu.size() >= 4 && Byte(pdu, 2) == 0 &&
            Byte(pdu, 3) == 1) {
            Restart(now);
            return pdu;
        }
        if (mode != SimMode::Bootloader) return std::nullopt;
    }
    if (inner) return inner(pdu);
    if (Byte(pdu, 1) == 0x10) return pdu.substr(0, 6);
    return std::nullopt;
}

} // namespace sim
