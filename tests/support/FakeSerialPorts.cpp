#include "tests/support/FakeSerialPorts.h"

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace testsupport {

FakeSerialPorts::FakeSerialPorts(fs::path root) : root_(std::move(root))
{
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sys/class/tty");
}

void FakeSerialPorts::AddPlatformPort(const std::string& name, const std::string& type)
{
    const fs::path cls = root_ / "sys/class/tty" / name;
    fs::create_directories(cls);
    fs::create_directories(root_ / "sys/devices/platform/serial8250");
    fs::create_symlink(root_ / "sys/devices/platform/serial8250", cls / "device");
    WriteFile(cls / "type", type + "\n");
    WriteFile(root_ / "dev" / name, "");
}

void FakeSerialPorts::AddUsbPort(const std::string& name, const std::string& usbDevice, const std::string& product,
                                 const std::string& interfacePath)
{
    const fs::path usb = root_ / "sys/devices/pci0000:00/usb1" / usbDevice;
    fs::create_directories(usb / interfacePath);
    WriteFile(usb / "idVendor", "0403\n");
    WriteFile(usb / "product", product + "\n");
    const fs::path cls = root_ / "sys/class/tty" / name;
    fs::create_directories(cls);
    fs::create_symlink(usb / interfacePath, cls / "device");
    WriteFile(root_ / "dev" / name, "");
}

platform::SerialPortSources FakeSerialPorts::Sources() const
{
    platform::SerialPortSources sources;
    sources.sysClassTty = root_ / "sys/class/tty";
    sources.devDir = root_ / "dev";
    sources.registryFile = root_ / "registry.reg";
    return sources;
}

} // namespace testsupport
