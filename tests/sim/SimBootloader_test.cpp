// The simulator's controller modes by themselves: a restart, the reboot delay, the
// bootloader's window and its end without a probe.

#include "tests/sim/SimBootloader.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using sim::SimMode;

uint64_t MsSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

// The mode is looked at often enough to see the window (a second long) and when the
// application starts; neither comes before its time (less a millisecond: the bootloader
// counts whole ones).
TEST(SimBootloader, AWindowWithoutAProbeEndsInTheApplication)
{
    sim::SimBootloader bootloader(0xC3, SimMode::Application);
    bootloader.SetTiming(100, 1000);
    const auto start = std::chrono::steady_clock::now();
    bootloader.PowerCycleIn(0);
    EXPECT_EQ(bootloader.Mode(), SimMode::Rebooting);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return bootloader.Mode() != SimMode::Rebooting; }));
    EXPECT_GE(MsSince(start), 99u);
    EXPECT_EQ(bootloader.Mode(), SimMode::Window);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return bootloader.Mode() != SimMode::Window; }));
    EXPECT_GE(MsSince(start), 1099u);
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
