#include "platform/NamedEvent.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(NamedEvent, ObjectsOfOneNameShareTheEvent)
{
    platform::NamedEvent a("Global\\ManualTermEvent1", false, false);
    platform::NamedEvent b("Global\\ManualTermEvent1", true, true);  // opened: keeps the first kind
    platform::NamedEvent other("Global\\ManualTermEvent2", false, false);
    EXPECT_NE(a.Handle(), 0u);
    EXPECT_EQ(a.Handle(), b.Handle());
    EXPECT_NE(a.Handle(), other.Handle());
    EXPECT_FALSE(b.Wait(0));  // not signalled
    a.Set();
    EXPECT_FALSE(other.Wait(0));
    EXPECT_TRUE(b.Wait(0));
    EXPECT_FALSE(a.Wait(0));  // auto-reset: one waiter per Set
    a.Set();
    a.Reset();
    EXPECT_FALSE(a.Wait(0));
}

TEST(NamedEvent, ManualResetStaysSignalledAndWakesAWaiter)
{
    platform::NamedEvent e("manual", true, false);
    std::thread setter([] {
        platform::NamedEvent same("manual", true, false);
        same.Set();
    });
    EXPECT_TRUE(e.Wait(5000));
    setter.join();
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(10));
}

TEST(NamedEvent, AGoneEventIsMadeAnew)
{
    uint32_t first = 0;
    {
        platform::NamedEvent e("again", true, true);
        first = e.Handle();
    }
    platform::NamedEvent e("again", false, false);
    EXPECT_NE(e.Handle(), first);
    EXPECT_FALSE(e.Wait(0));
}

} // namespace
