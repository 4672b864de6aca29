#pragma once

#include "platform/PlatformApi.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Environment variable with extra port names, "COM7=/path;COM8=/path" (tests set it).
inline constexpr const char* kComPortsVariable = "MIRVAK_COM_PORTS";

// Registry key whose values pin numbers: device path -> "COM<n>".
inline constexpr const char* kSerialCommKey = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct SerialPortInfo {
    std::string name;     // "COM3"
    std::string path;     // device path the port opens
    std::string product;  // USB product string reported by the bus; empty for others
    bool present = false; // the device exists now

    bool operator==(const SerialPortInfo&) const = default;
};

// Where the table comes from; the defaults read this machine.
struct SerialPortSources {
    std::string overrides;                        // text of kComPortsVariable
    std::filesystem::path registryFile;           // empty: no store
    std::filesystem::path sysClassTty = "/sys/class/tty";
    std::filesystem::path devDir = "/dev";
};

// Sources of this process: the environment variable, RegistryStore::DefaultFile(),
// /sys/class/tty and /dev.
PLATFORM_API SerialPortSources DefaultSerialPortSources();

// The table of COM names, in ascending number order. A name is given by the first source
// that has it:
//   1. the overrides text;
//   2. the registry key kSerialCommKey (pinned numbers, also of absent devices);
//   3. serial devices under sysClassTty (entries with a "device" link): a ttyS<k> whose
//      "type" is not 0 is COM<k+1>; any other port is known by its link in
//      <devDir>/serial/by-id when there is one, and gets the lowest free number, which
//      is stored under (2) so that it survives re-plugging.
// A device whose number is already taken by an earlier source gets the lowest free
// number for this table only. An unusable store is read as empty and not written.
PLATFORM_API std::vector<SerialPortInfo> BuildSerialPortTable(const SerialPortSources& sources);

// The ports present now, from the default sources.
PLATFORM_API std::vector<SerialPortInfo> ListSerialPorts();

// The device path of a COM name ("COM3", any case), from the default sources; the
// overrides are consulted first and alone when they have the name.
PLATFORM_API std::optional<std::string> SerialPortPath(const std::string& comName);

} // namespace platform
