#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

const std::string kKey = RegistryKey(kHKeyLocalMachine, "SOFTWARE\\Quorvandell\\SERIALCOMM");

TEST(RegistryStore, TextRoundTripsAndNamesIgnoreCase)
{
    RegistryData d;
    const std::vector<std::pair<std::string, RegistryValue>> values = {
        {"CheckTxEmpty", RegistryValue::Dword(0)},
        {"Big", RegistryValue::Dword(0xFFFFFFFFu)},
        {"/dev/serial/by-id/usb-FTDI \"x\"-if00", RegistryValue::String("COM3")},
        {"back\\slash", RegistryValue::String("line1\nline2 \\ \"q\" кириллица")},
        {"", RegistryValue::String("default value")},
    };
    for (const auto& [name, v] : values) d.Set(kKey, name, v);
    d.Set("HKEY_CURRENT_USER\\Software\\Quorvandell\\Sarnupolex\\Options", "Left", RegistryValue::Dword(12));

    const RegistryData back = RegistryData::Parse(d.Serialize());
    EXPECT_EQ(back.Values(kKey), values);
    EXPECT_EQ(back.Get("hkey_local_machine\\software\\quorvandell\\serialcomm", "checktxempty"),
              RegistryValue::Dword(0));
    EXPECT_EQ(back.Get("HKEY_CURRENT_USER\\SOFTWARE\\Quorvandell\\Sarnupolex\\Options", "LEFT"),
              RegistryValue::Dword(12));
    EXPECT_FALSE(back.Get(kKey, "Missing"));

    // A later Set of the same name in another case replaces the value in place.
    d.Set(kKey, "CHECKTXEMPTY", RegistryValue::Dword(1));
    EXPECT_EQ(d.Values(kKey).front().second, RegistryValue::Dword(1));
    EXPECT_TRUE(d.Remove(kKey, "big"));
    EXPECT_FALSE(d.Get(kKey, "Big"));
}

TEST(RegistryStore, ReadOrCreateWritesOnceAndKeepsOtherValues)
{
    testsupport::TempDir dir;
    const RegistryStore store(dir / "a" / "b" / "registry.reg"); // folders are created
    EXPECT_EQ(store.ReadOrCreate(kKey, "CheckTxEmpty", RegistryValue::Dword(0)), RegistryValue::Dword(0));
    store.Write(kKey, "CheckTxEmpty", RegistryValue::Dword(1));
    store.Write(kKey, "/dev/ttyUSB0", RegistryValue::String("COM4"));
    EXPECT_EQ(store.ReadOrCreate(kKey, "CheckTxEmpty", RegistryValue::Dword(0)), RegistryValue::Dword(1));
    EXPECT_EQ(RegistryStore(store.File()).Read(kKey, "/dev/ttyUSB0"), RegistryValue::String("COM4"));
}

TEST(RegistryStore, UnusableFileRaisesSystemError)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "plain", "x");
    const RegistryStore store(dir / "plain" / "registry.reg");
    EXPECT_THROW(store.Read(kKey, "CheckTxEmpty"), EOSError);
    EXPECT_THROW(store.Write(kKey, "CheckTxEmpty", RegistryValue::Dword(0)), EOSError);
}

TEST(RegistryStore, ConcurrentUpdatesAreNotLost)
{
    testsupport::TempDir dir;
    const auto file = dir / "registry.reg";
    auto bump = [&] {
        const RegistryStore store(file);
        for (int i = 0; i < 50; ++i)
            store.Update([](RegistryData& d) {
                const auto v = d.Get(kKey, "Counter");
                d.Set(kKey, "Counter", RegistryValue::Dword(v ? v->number + 1 : 1));
                return true;
            });
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(bump);
    for (auto& t : threads) t.join();
    EXPECT_EQ(RegistryStore(file).Read(kKey, "Counter"), RegistryValue::Dword(200));
}

} // namespace
