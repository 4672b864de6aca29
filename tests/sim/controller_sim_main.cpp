// controller-sim: the controller simulator as a program for manual runs. Its options
// are in kOptions below (--help prints them).
//
// --modem-reset listens on port 513 of the last TCP or UDP address (127.0.0.1 without one).
// --speed paces the sockets (a pty runs at the speed its slave is set to; 0: unpaced).
// --fault takes a kind of sim::kFaultNames with its number and gap: for the next COUNT
// requests (1 without it), or with @FUNCTION (hex) for every request of that function
// code, or the next COUNT of them.
// --chip gives the controller the memory of that chip of the built-in table: it answers
// block reads (0x14), writes (0x15) and the flash-save activation (0x56); --load fills
// its memory from Intel HEX files first. Protocol errors of the requests are printed.
// It also answers probes 55 AA with the chip's id and runs the controller's modes from
// --mode (bootloader without it): the application answers the script requests and
// restarts, after --reboot ms (200) the bootloader listens for --window ms (1000).
// --app-exit makes the application answer probes with 75 AA. --log prints the changes of
// mode too.
//
// A rules file holds lines "<hex bytes> => <hex bytes> [delay ms]"; "#" starts a
// comment. The program prints its endpoints, then the bytes it receives ("<") and sends
// (">"), the frames it recognises and its events, until SIGINT or SIGTERM stops it; it
// then removes the links of its pseudo-terminals. Without arguments, or with a wrong
// one, it prints its usage and ends with status 2.

#include "loader/io/Modbus.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/SimBootloader.h"
#include "tests/sim/SimMemory.h"
#include "tests/support/GoldenFrames.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

// The options as the usage lists them.
struct TOption {
    const char* syntax;
    const char* text;
};
const TOption kOptions[] = {
    {"--pty LINK", "a pseudo-terminal, its slave named by the symbolic link LINK"},
    {"--tcp ADDR:PORT", "a TCP listener (port 0: any), one client at a time"},
    {"--udp ADDR:PORT", "a UDP socket, one frame per datagram"},
    {"--modem-reset", "records the datagrams to port 513 of the last TCP or UDP address"},
    {"--rules FILE", "raw rules, lines \"<hex bytes> => <hex bytes> [delay ms]\""},
    {"--turnaround MS", "pause between a request and its reply"},
    {"--speed BAUD", "paces the sockets (0: unpaced; a pty runs at its slave's speed)"},
    {"--echo", "sends every received byte straight back"},
    {"--fault KIND[=K[,GAP]][@FC][*N]",
     "a fault for the next request, the next N, or every request of function FC (hex)"},
    {"--noise N", "N noise bytes a second"},
    {"--chip NAME", "the memory of a chip of the built-in table: block reads, writes, activation"},
    {"--load FILE.hex", "fills the chip's memory first (with --chip)"},
    {"--mode app|window|bootloader", "the controller's mode at the start (bootloader)"},
    {"--reboot MS", "from a restart to the bootloader's window (200)"},
    {"--window MS", "how long the bootloader's window listens for a probe (1000)"},
    {"--app-exit", "the application answers probes with 75 AA"},
    {"--log", "prints the changes of mode too"},
    {"-h, --help", "prints this usage"},
};

void PrintUsage(std::ostream& out)
{
    out << "Usage: controller-sim [OPTION]...\n"
           "Plays the controller side of the loader's protocols on loopback and prints what crosses it.\n\n";
    size_t width = 0;
    for (const TOption& o : kOptions) width = std::max(width, std::string(o.syntax).size());
    for (const TOption& o : kOptions) {
        const std::string syntax = o.syntax;
        out << "  " << syntax << std::string(width - syntax.size() + 2, ' ') << o.text << "\n";
    }
    out << "\nFault kinds:";
    for (const sim::FaultName& f : sim::kFaultNames) out << " " << f.name;
    out << "\n";
}

// Removes the links of the pseudo-terminals when the program ends; a path that is no
// symbolic link by then stays.
class TPtyLinks {
public:
    TPtyLinks() = default;
    TPtyLinks(const TPtyLinks&) = delete;
    TPtyLinks& operator=(const TPtyLinks&) = delete;
    ~TPtyLinks()
    {
        for (const std::filesystem::path& link : links_) {
            std::error_code ec;
            if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
        }
    }
    void Add(const std::string& link)
    {
        if (!link.empty()) links_.emplace_back(link);
    }

private:
    std::vector<std::filesystem::path> links_;
};

std::pair<std::string, uint16_t> HostPort(const std::string& text)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return {text, 0};
    return {text.substr(0, colon), static_cast<uint16_t>(std::stoi(text.substr(colon + 1)))};
}

void LoadRules(sim::ControllerSim& sim, const std::string& file)
{
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        const size_t arrow = line.find("=>");
        if (arrow == std::string::npos) continue;
        std::istringstream answer(line.substr(arrow + 2));
        std::string answerHex, word;
        uint32_t delay = 0;
        while (answer >> word) {
            if (word.size() == 2)
                answerHex += word + " ";
            else
                delay = static_cast<uint32_t>(std::stoul(word));
        }
        sim.AddRawRule(testsupport::Bytes(line.substr(0, arrow)), testsupport::Bytes(answerHex), delay);
    }
}

void AddFault(sim::ControllerSim& sim, const std::string& spec)
{
    const size_t at = spec.find('@'), star = spec.find('*');
    const auto fault = sim::ParseFault(spec.substr(0, std::min(at, star)));
    if (!fault) throw std::runtime_error("bad fault " + spec);
    const int count = star == std::string::npos ? -1 : std::stoi(spec.substr(star + 1));
    if (at == std::string::npos)
        sim.InjectFault(*fault, count < 0 ? 1 : count);
    else
        sim.InjectFault(static_cast<uint8_t>(std::stoul(spec.substr(at + 1, star - at - 1), nullptr, 16)), *fault, count);
}

std::string Dump(const std::string& bytes)
{
    return HexDump(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(std::cerr);
        return 2;
    }
    // Set before the first link is made: a stop from then on removes it.
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    TPtyLinks links; // removed after the simulator has stopped
    try {
        std::optional<sim::SimMemory> memory; // outlives the simulator that calls it
        std::vector<std::string> hexFiles;
        sim::ControllerSim sim;
        bool modemReset = false;
        bool log = false, appExit = false;
        sim::SimMode mode = sim::SimMode::Bootloader;
        uint32_t rebootMs = 200, windowMs = 1000;
        std::string lastHost = "127.0.0.1";
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            const std::string value = i + 1 < argc ? argv[i + 1] : "";
            if (arg == "--help" || arg == "-h") {
                PrintUsage(std::cout);
                return 0;
            } else if (arg == "--pty") {
                links.Add(value);
                std::cout << "pty " << sim.AddPty(value) << " link " << value << "\n";
                ++i;
            } else if (arg == "--tcp") {
                const auto [host, port] = HostPort(value);
                std::cout << "tcp " << host << ":" << sim.AddTcp(host, port) << "\n";
                lastHost = host;
                ++i;
            } else if (arg == "--udp") {
                const auto [host, port] = HostPort(value);
                std::cout << "udp " << host << ":" << sim.AddUdp(host, port) << "\n";
                lastHost = host;
                ++i;
            } else if (arg == "--modem-reset") {
                modemReset = true;
            } else if (arg == "--rules") {
                LoadRules(sim, value);
                ++i;
            } else if (arg == "--turnaround") {
                sim.SetTurnaround(static_cast<uint32_t>(std::stoul(value)));
                ++i;
            } else if (arg == "--speed") {
                sim.SetLine(static_cast<uint32_t>(std::stoul(value)));
                ++i;
            } else if (arg == "--fault") {
                AddFault(sim, value);
                ++i;
            } else if (arg == "--noise") {
                sim.SetNoise(static_cast<uint32_t>(std::stoul(value)));
                ++i;
            } else if (arg == "--chip") {
                const auto profile = sim::FindChipProfile(value);
                if (!profile) throw std::runtime_error("unknown chip " + value);
                memory.emplace(*profile);
                ++i;
            } else if (arg == "--load") {
                hexFiles.push_back(value);
                ++i;
            } else if (arg == "--mode") {
                const auto parsed = sim::ParseSimMode(value);
                if (!parsed) throw std::runtime_error("bad mode " + value);
                mode = *parsed;
                ++i;
            } else if (arg == "--reboot") {
                rebootMs = static_cast<uint32_t>(std::stoul(value));
                ++i;
            } else if (arg == "--window") {
                windowMs = static_cast<uint32_t>(std::stoul(value));
                ++i;
            } else if (arg == "--app-exit") {
                appExit = true;
            } else if (arg == "--log") {
                log = true;
            } else if (arg == "--echo") {
                sim.SetEcho(true);
            } else {
                std::cerr << "unknown argument " << arg << "\n";
                PrintUsage(std::cerr);
                return 2;
            }
        }
        if (!hexFiles.empty() && !memory) throw std::runtime_error("--load needs --chip");
        if (memory) {
            for (const std::string& file : hexFiles) memory->LoadHex(file);
            sim.SetHandler([&memory](const std::string& pdu) { return memory->Answer(pdu); });
            std::cout << "chip " << memory->Profile().name << " at address " << int{memory->Profile().device} << "\n";
        }
        if (modemReset) {
            sim.AddModemReset(lastHost);
            std::cout << "modem-reset " << lastHost << ":513\n";
        }
        std::unique_ptr<sim::SimBootloader> bootloader; // wraps the memory's handler
        if (memory) {
            bootloader = std::make_unique<sim::SimBootloader>(memory->Profile().byteId, mode);
            bootloader->SetTiming(rebootMs, windowMs);
            if (appExit) bootloader->SetAppProbeReply(sim::AppProbeReply::Exit);
            bootloader->Attach(sim);
            std::cout << "mode " << sim::SimModeName(mode) << "\n";
        }
        std::cout.flush();
        sim.Start();
        size_t traffic = 0, frames = 0, events = 0, errors = 0, modes = 0;
        while (!g_stop) {
            sim.WaitFor([] { return g_stop != 0; }, 100);
            const auto t = sim.Traffic();
            for (; traffic < t.size(); ++traffic)
                std::cout << t[traffic].timeMs << " " << t[traffic].endpoint << (t[traffic].sent ? " > " : " < ")
                          << Dump(t[traffic].bytes) << "\n";
            const auto f = sim.Frames();
            for (; frames < f.size(); ++frames)
                std::cout << f[frames].timeMs << " " << f[frames].endpoint << " frame " << Dump(f[frames].bytes)
                          << (f[frames].crcOk ? "" : " (bad CRC)") << " at " << f[frames].baud << " baud\n";
            const auto e = sim.Events();
            for (; events < e.size(); ++events) std::cout << e[events] << "\n";
            const auto p = memory ? memory->ProtocolErrors() : std::vector<std::string>{};
            for (; errors < p.size(); ++errors) std::cout << "protocol error: " << p[errors] << "\n";
            if (bootloader && log) {
                bootloader->Mode(); // brings the mode up to date
                const auto m = bootloader->ModeChanges();
                for (; modes < m.size(); ++modes) std::cout << "mode " << m[modes] << "\n";
            }
            std::cout.flush();
        }
        sim.Stop();
    } catch (const std::exception& e) {
        std::cerr << "controller-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
