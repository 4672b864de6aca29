#include "platform/NamedMutex.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

namespace {

class NamedMutexTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedEnv runtime{kRuntimeDirVariable, dir.path().string()};
};

TEST_F(NamedMutexTest, ExcludesByNameWithinOneProcess)
{
    NamedMutex a("/dev/ttyUSB0"), b("/dev/ttyUSB0"), other("/dev/ttyUSB1");
    EXPECT_EQ(NamedMutexFile("/dev/ttyUSB0").parent_path(), dir.path());
    EXPECT_NE(NamedMutexFile("/dev/ttyUSB0"), NamedMutexFile("%2Fdev%2FttyUSB0"));

    ASSERT_TRUE(a.TryLock(0));
    EXPECT_FALSE(b.TryLock(0));
    EXPECT_TRUE(other.TryLock(0));
    b.Unlock(); // not the holder: changes nothing
    EXPECT_TRUE(a.Held());
    const uint64_t start = GetTickCount();
    EXPECT_FALSE(b.TryLock(100));
    EXPECT_GE(GetTickCount() - start, 100u);
    a.Unlock();
    EXPECT_TRUE(b.TryLock(0));
}

TEST_F(NamedMutexTest, ThreadsNeverOverlap)
{
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    auto work = [&] {
        NamedMutex m("shared");
        for (int i = 0; i < 100; ++i) {
            // Polling takers are served in no order: one may wait long on a busy machine.
            ASSERT_TRUE(m.TryLock(static_cast<uint32_t>(testsupport::kWaitDeadline.count())));
            if (inside.fetch_add(1) != 0) overlap = true;
            std::this_thread::yield();
            inside.fetch_sub(1);
            m.Unlock();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(work);
    for (auto& t : threads) t.join();
    EXPECT_FALSE(overlap);
}

TEST_F(NamedMutexTest, AnotherProcessHoldsItUntilItDies)
{
    const auto file = NamedMutexFile("port");
    const auto ready = dir / "ready";
    testsupport::ChildProcess holder("exec flock '" + file.string() + "' -c 'touch \"" + ready.string() +
                                     "\"; sleep 30'");
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(testsupport::WaitForPath(ready)) << "util-linux flock is needed (package util-linux)";

    NamedMutex m("port");
    EXPECT_FALSE(m.TryLock(200));
    holder.Kill();
    EXPECT_TRUE(m.TryLock(5000));
}

} // namespace
