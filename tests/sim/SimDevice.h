#pragma once
// The simulated controller with the memory of one chip, for tests that drive the loader
// against it. Every protocol rule the requests break fails the test when it ends.

#include "tests/sim/ControllerSim.h"
#include "tests/sim/SimBootloader.h"
#include "tests/sim/SimMemory.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sim {

struct SimDevice {
    // chip: a profile name of FindChipProfile.
    explicit SimDevice(const std::string& chip) : memory(*FindChipProfile(chip))
    {
        controller.SetHandler([this](const std::string& pdu) { return memory.Answer(pdu); });
    }
    ~SimDevice()
    {
        controller.Stop();
        for (const std::string& error : memory.ProtocolErrors()) ADD_FAILURE() << "protocol error: " << error;
    }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Answers the handshake's probes with the chip's id.
    void AttachBootloader()
    {
        bootloader.emplace(memory.Profile().byteId);
        bootloader->Attach(controller);
    }

    SimMemory memory;
    ControllerSim controller;
    std::optional<SimBootloader> bootloader; // outlives the simulator's run
};

} // namespace sim
