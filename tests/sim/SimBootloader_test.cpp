// The simulator's controller modes by themselves: a restart, the reboot delay, the
// bootloader's window and its end without a probe.

#include "tests/sim/SimBootloader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using sim::SimMode;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(SimBootloader, AWindowWithoutAProbeEndsInTheApplication)
{
    sim::SimBootloader bootloader(0xC3, SimMode::Application);
    bootloader.SetTiming(100, 200);
    bootloader.PowerCycleIn(0);
    EXPECT_EQ(bootloader.Mode(), SimMode::Rebooting);
    SleepMs(150);
    EXPECT_EQ(bootloader.Mode(), SimMode::Window);
    SleepMs(200);
    EXPECT_EQ(bootloader.Mode(), SimMode::Application);
    const auto changes = bootloader.ModeChanges();
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0], "0 app");
    EXPECT_NE(changes[1].find(" rebooting"), std::string::npos);
    EXPECT_NE(changes[2].find(" window"), std::string::npos);
    EXPECT_NE(changes[3].find(" app"), std::string::npos);
    EXPECT_EQ(bootloader.Restarts(), 1);
}

TEST(SimBootloader, ModeNames)
{
    for (const SimMode mode : {SimMode::Application, SimMode::Rebooting, SimMode::Window, SimMode::Bootloader})
        EXPECT_EQ(sim::ParseSimMode(sim::SimModeName(mode)), mode);
    EXPECT_FALSE(sim::ParseSimMode("boot").has_value());
}

} // namespace
