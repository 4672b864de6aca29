#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "tests/support/FakeSerialPorts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

// A fake /sys/class/tty and /dev: two 8250 ports (one without hardware) and an FTDI adapter.
class SerialPortTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake.AddPlatformPort("ttyS0", "4");
        fake.AddPlatformPort("ttyS1", "0");
        fs::create_directories(root / "sys/class/tty/tty0"); // a console: no device link
        fake.AddUsbPort("ttyUSB0", "1-1", "FT232R USB UART", "1-1:1.0/ttyUSB0");
        fs::create_directories(root / "dev/serial/by-id");
        fs::create_symlink("../../ttyUSB0", byId);
        sources = fake.Sources();
    }

    void AddUsbPort(const std::string& name, const std::string& usbDevice, const std::string& product,
                    const std::string& interfacePath)
    {
        fake.AddUsbPort(name, usbDevice, product, interfacePath);
    }

    std::string Dev(const std::string& name) const { return fake.Dev(name); }

    testsupport::TempDir tmp;
    fs::path root = tmp.path();
    testsupport::FakeSerialPorts fake{root};
    fs::path byId = root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1ZQ1-if00-port0";
    SerialPortSources sources;
};

TEST_F(SerialPortTableTest, NumbersPresentPortsAndRemembersUsbPorts)
{
    const std::vector<SerialPortInfo> expected = {
        {"COM1", Dev("ttyS0"), "", true},
        {"COM2", byId.string(), "FT232R USB UART", true},
    };
    EXPECT_EQ(BuildSerialPortTable(sources), expected);
    EXPECT_EQ(RegistryStore(sources.registryFile).Read(kSerialCommKey, byId.string()),
              RegistryValue::String("COM2"));

    // Re-plugged as ttyUSB1, next to a pinned absent device and a new adapter without a by-id link.
    RegistryStore(sources.registryFile)
        .Write(kSerialCommKey, "/dev/serial/by-id/usb-absent-if00", RegistryValue::String("COM3"));
    fs::remove_all(root / "sys/class/tty/ttyUSB0");
    fs::remove(root / "dev/ttyUSB0");
    fs::remove(byId);
    AddUsbPort("ttyUSB1", "1-1", "FT232R USB UART", "1-1:1.0/ttyUSB1");
    fs::create_symlink("../../ttyUSB1", byId);
    AddUsbPort("ttyACM0", "1-2", "Controller CDC", "1-2:1.0");

    const std::vector<SerialPortInfo> replugged = {
        {"COM1", Dev("ttyS0"), "", true},
        {"COM2", byId.string(), "FT232R USB UART", true},
        {"COM3", "/dev/serial/by-id/usb-absent-if00", "", false},
        {"COM4", Dev("ttyACM0"), "Controller CDC", true},
    };
    EXPECT_EQ(BuildSerialPortTable(sources), replugged);
    EXPECT_EQ(BuildSerialPortTable(sources), replugged); // stable once stored
}

TEST_F(SerialPortTableTest, OverridesComeFirstAndAnUnusableStoreIsEmpty)
{
    sources.overrides = "COM1=/tmp/elsewhere; com7 = /tmp/pty-a ;junk;COM0=/x";
    EXPECT_EQ(BuildSerialPortTable(sources), (std::vector<SerialPortInfo>{
                                                 {"COM1", "/tmp/elsewhere", "", false},
                                                 {"COM2", Dev("ttyS0"), "", true}, // its number is taken
                                                 {"COM3", byId.string(), "FT232R USB UART", true},
                                                 {"COM7", "/tmp/pty-a", "", false},
                                             }));
    // ttyS0 was renumbered for this table only; the USB port's number is stored.
    EXPECT_FALSE(RegistryStore(sources.registryFile).Read(kSerialCommKey, Dev("ttyS0")));

    testsupport::WriteFile(root / "plain", "");
    sources.overrides.clear();
    sources.registryFile = root / "plain" / "registry.reg";
    EXPECT_EQ(BuildSerialPortTable(sources), (std::vector<SerialPortInfo>{
                                                 {"COM1", Dev("ttyS0"), "", true},
                                                 {"COM2", byId.string(), "FT232R USB UART", true},
                                             }));
}

TEST_F(SerialPortTableTest, LookupReadsTheEnvironment)
{
    testsupport::ScopedEnv registry(kRegistryFileVariable, (root / "user.reg").string());
    testsupport::ScopedEnv ports(kComPortsVariable, "COM7=/tmp/pty-a;COM8=/tmp/pty-b");
    EXPECT_EQ(SerialPortPath("com8"), "/tmp/pty-b");
    EXPECT_EQ(SerialPortPath("COM7"), "/tmp/pty-a");
    EXPECT_FALSE(SerialPortPath("COMX"));
    EXPECT_FALSE(SerialPortPath("LPT1"));
}

} // namespace
