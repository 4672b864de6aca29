#include "platform/SerialPorts.h"

#include "platform/Format.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// "COM12" (any case) -> 12; 0 when the text is no COM name.
int ComNumber(const std::string& name)
{
    const std::string s = Trim(name);
    if (s.size() < 4 || s.size() > 12) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(s[static_cast<size_t>(i)])) != "COM"[i]) return 0;
    long n = 0;
    for (size_t i = 3; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return 0;
        n = n * 10 + (s[i] - '0');
        if (n > 100000) return 0;
    }
    return static_cast<int>(n);
}

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    return Trim(line);
}

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

// USB product string: the nearest folder above the port's device that is a USB device.
std::string UsbProduct(const fs::path& deviceLink)
{
    std::error_code ec;
    fs::path p = fs::canonical(deviceLink, ec);
    if (ec) return {};
    for (int level = 0; level < 6 && !p.empty() && p != p.root_path(); ++level, p = p.parent_path())
        if (Exists(p / "idVendor") && Exists(p / "product")) return FirstLine(p / "product");
    return {};
}

struct Device {
    std::string kernelName;  // ttyUSB0
    std::string path;        // by-id link or <dev>/<name>
    std::string plainPath;   // <dev>/<name>
    std::string product;
    int natural = 0;         // ttyS<k>: k + 1
};

std::vector<Device> Enumerate(const SerialPortSources& src)
{
    std::vector<Device> serialS, others;
    std::error_code ec;
    // by-id links by the kernel name they point to.
    std::map<std::string, std::string> byId;
    for (fs::directory_iterator it(src.devDir / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(it->path(), lec);
        if (lec) continue;
        const std::string kernel = target.filename().string();
        const std::string link = it->path().string();
        auto found = byId.find(kernel);
        if (found == byId.end() || link < found->second) byId[kernel] = link;
    }
    ec.clear();
    for (fs::directory_iterator it(src.sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        std::error_code lec;
        if (!fs::is_symlink(entry / "device", lec)) continue;
        Device d;
        d.kernelName = entry.filename().string();
        d.plainPath = (src.devDir / d.kernelName).string();
        if (d.kernelName.rfind("ttyS", 0) == 0 && d.kernelName.size() > 4 &&
            std::all_of(d.kernelName.begin() + 4, d.kernelName.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            if (FirstLine(entry / "type") == "0") continue;
            d.natural = std::atoi(d.kernelName.c_str() + 4) + 1;
            d.path = d.plainPath;
            serialS.push_back(d);
        } else {
            auto link = byId.find(d.kernelName);
            d.path = link != byId.end() ? link->second : d.plainPath;
            d.product = UsbProduct(entry / "device");
            others.push_back(d);
        }
    }
    std::sort(serialS.begin(), serialS.end(), [](const Device& a, const Device& b) { return a.natural < b.natural; });
    std::sort(others.begin(), others.end(), [](const Device& a, const Device& b) { return a.kernelName < b.kernelName; });
    serialS.insert(serialS.end(), others.begin(), others.end());
    return serialS;
}

std::vector<std::pair<int, std::string>> ParseOverrides(const std::string& text)
{
    std::vector<std::pair<int, std::string>> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        const size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        const int n = ComNumber(item.substr(0, eq));
        const std::string path = Trim(item.substr(eq + 1));
        if (n > 0 && !path.empty()) out.emplace_back(n, path);
    }
    return out;
}

// Builds the table from the registry contents `reg`; new numbers are added to it and
// `changed` is set.
std::vector<SerialPortInfo> Compute(const SerialPortSources& src, RegistryData& reg, bool store, bool& changed)
{
    std::map<int, SerialPortInfo> table;
    auto named = [&](const std::string& path) {
        for (auto& [n, info] : table)
            if (info.path == path) return &info;
        return static_cast<SerialPortInfo*>(nullptr);
    };
    auto add = [&](int n, const std::string& path) {
        if (n <= 0 || table.count(n) || named(path)) return;
        table[n] = SerialPortInfo{Format("COM%d", n), path, {}, Exists(path)};
    };
    auto lowestFree = [&] {
        int n = 1;
        while (table.count(n)) ++n;
        return n;
    };

    for (const auto& [n, path] : ParseOverrides(src.overrides)) add(n, path);
    for (const auto& [path, value] : reg.Values(kSerialCommKey))
        if (value.type == RegistryValue::Type::String) add(ComNumber(value.text), path);

    for (const Device& d : Enumerate(src)) {
        SerialPortInfo* known = named(d.path);
        if (!known) known = named(d.plainPath);
        if (known) {
            known->product = d.product;
            known->present = true;
            continue;
        }
        int n = d.natural;
        bool pin = false;
        if (n <= 0) {
            n = lowestFree();
            pin = store;
        } else if (table.count(n)) {
            n = lowestFree();
        }
        table[n] = SerialPortInfo{Format("COM%d", n), d.path, d.product, true};
        if (pin) {
            reg.Set(kSerialCommKey, d.path, RegistryValue::String(Format("COM%d", n)));
            changed = true;
        }
    }
    std::vector<SerialPortInfo> out;
    for (auto& [n, info] : table) out.push_back(std::move(info));
    return out;
}

} // namespace

SerialPortSources DefaultSerialPortSources()
{
    SerialPortSources s;
    if (const char* v = std::getenv(kComPortsVariable)) s.overrides = v;
    s.registryFile = RegistryStore::DefaultFile();
    return s;
}

std::vector<SerialPortInfo> BuildSerialPortTable(const SerialPortSources& sources)
{
    if (!sources.registryFile.empty()) {
        try {
            std::vector<SerialPortInfo> result;
            RegistryStore(sources.registryFile).Update([&](RegistryData& reg) {
                bool changed = false;
                result = Compute(sources, reg, true, changed);
                return changed;
            });
            return result;
        } catch (const std::exception&) {
            // An unusable store counts as empty.
        }
    }
    RegistryData empty;
    bool changed = false;
    return Compute(sources, empty, false, changed);
}

std::vector<SerialPortInfo> ListSerialPorts()
{
    auto all = BuildSerialPortTable(DefaultSerialPortSources());
    std::erase_if(all, [](const SerialPortInfo& p) { return !p.present; });
    return all;
}

std::optional<std::string> SerialPortPath(const std::string& comName)
{
    const int n = ComNumber(comName);
    if (n <= 0) return std::nullopt;
    const SerialPortSources sources = DefaultSerialPortSources();
    for (const auto& [k, path] : ParseOverrides(sources.overrides))
        if (k == n) return path;
    for (const auto& p : BuildSerialPortTable(sources))
        if (ComNumber(p.name) == n) return p.path;
    return std::nullopt;
}

} // namespace platform
