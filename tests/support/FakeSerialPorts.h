#pragma once
// A fake /sys/class/tty and /dev under a folder, for building the serial port table
// without real hardware.

#include "platform/SerialPorts.h"

#include <filesystem>
#include <string>

namespace testsupport {

class FakeSerialPorts {
public:
    // Creates root/dev and root/sys/class/tty.
    explicit FakeSerialPorts(std::filesystem::path root);

    // An 8250 port of the platform bus; type "0" is one without hardware.
    void AddPlatformPort(const std::string& name, const std::string& type);
    // A USB adapter with its product string, its tty under interfacePath of the device.
    void AddUsbPort(const std::string& name, const std::string& usbDevice, const std::string& product,
                    const std::string& interfacePath);
    std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }
    // Sources over the fake tree, with the registry store root/registry.reg.
    platform::SerialPortSources Sources() const;

private:
    std::filesystem::path root_;
};

} // namespace testsupport
