// bench_block_transfer: the loader's block transfers against the controller simulator on
// a pty at 115200 baud, 8N1, with a 2 ms turnaround. For a 64 KiB read and a 64 KiB
// write with its activation, on a chip with 1024-byte chunks and one with 256-byte
// chunks (read in 128), it prints the elapsed time, the protocol bound (the wire time of
// every request and reply plus 2 ms per request) and their ratio; the target is 0.90.

#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderTransfer.h"
#include "loader/core/Watches.h"
#include "model/Memory.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/SimMemory.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

constexpr uint32_t kBaud = 115200;
constexpr uint32_t kTurnaroundMs = 2;
constexpr int32_t kBytes = 64 * 1024;

struct Figures {
    double elapsedS = 0;
    double boundS = 0;
    size_t requests = 0;
};

// One simulated controller and a loader core on its pty, in a folder of their own.
class Bench {
public:
    explicit Bench(const std::string& chip) : memory_(*sim::FindChipProfile(chip))
    {
        char folder[] = "/tmp/bench-block-transfer-XXXXXX";
        if (::mkdtemp(folder) == nullptr) throw std::runtime_error("no temporary folder");
        dir_ = folder;
        ::setenv(platform::kProgramDirVariable, folder, 1);
        ::setenv(platform::kRegistryFileVariable, (dir_ / "registry.reg").c_str(), 1);
        ::setenv(platform::kRuntimeDirVariable, (dir_ / "run").c_str(), 1);
        FreeSharedWatchCategory();
        sim_.SetHandler([this](const std::string& pdu) { return memory_.Answer(pdu); });
        sim_.SetTurnaround(kTurnaroundMs);
        sim_.SetLine(0, 1, false); // the pty runs at the speed its slave is set to
        ::setenv(platform::kComPortsVariable, ("COM5=" + sim_.AddPty()).c_str(), 1);
        sim_.Start();
        core_.emplace(TLoaderPlaces{dir_, std::filesystem::read_symlink("/proc/self/exe"), {}});
        const int index = core_->Chips().IndexOfName(chip, false);
        core_->Connection().OpenDevice("ioType=iotSerial;SerialComNumber=5;SerialBaudRate=" + std::to_string(kBaud) +
                                       ";RetryCount=3;ControllerType=" + std::to_string(index));
    }
    ~Bench()
    {
        core_.reset();
        sim_.Stop();
        FreeSharedWatchCategory();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    TLoaderCore& Core() { return *core_; }
    uint32_t FlashStart() const { return memory_.Profile().flashStart; }

    // Times the run and adds up the wire time of the frames it caused.
    Figures Measure(const std::function<void()>& run)
    {
        const size_t frames = sim_.Frames().size(), traffic = sim_.Traffic().size();
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto end = std::chrono::steady_clock::now();
        Figures f;
        f.elapsedS = std::chrono::duration<double>(end - start).count();
        const auto allFrames = sim_.Frames();
        const auto allTraffic = sim_.Traffic();
        size_t bytes = 0;
        for (size_t i = frames; i < allFrames.size(); ++i) bytes += allFrames[i].bytes.size();
        for (size_t i = traffic; i < allTraffic.size(); ++i) bytes += allTraffic[i].sent ? allTraffic[i].bytes.size() : 0;
        f.requests = allFrames.size() - frames;
        f.boundS = static_cast<double>(bytes) * 10.0 / kBaud + static_cast<double>(f.requests) * kTurnaroundMs / 1000.0;
        return f;
    }

private:
    std::filesystem::path dir_;
    sim::SimMemory memory_;
    sim::ControllerSim sim_;
    std::optional<TLoaderCore> core_;
};

void Print(const std::string& chip, const char* run, const Figures& f)
{
    std::printf("%-12s %-16s requests %4zu  elapsed %7.3f s  bound %7.3f s  ratio %.3f\n", chip.c_str(), run,
                f.requests, f.elapsedS, f.boundS, f.boundS / f.elapsedS);
    std::fflush(stdout);
}

} // namespace

int main()
{
    try {
        for (const std::string chip : {"STM32f205rg", "AVR32-256"}) {
            Bench bench(chip);
            TBlockTransfer transfer(bench.Core());
            TBlockList blocks;
            auto block = TMemoryBlock::Make(bench.FlashStart(), kBytes);
            for (int32_t i = 0; i < kBytes; ++i) block->Data()[i] = static_cast<uint8_t>(i * 7 + 1);
            blocks.AddBlock(block.get());
            Print(chip, "write 64 KiB", bench.Measure([&] {
                      if (!transfer.WriteBlocks(blocks, 0, "Запись")) throw std::runtime_error("write cancelled");
                      transfer.ActivateFlashSave();
                  }));
            Print(chip, "read 64 KiB", bench.Measure([&] {
                      if (!transfer.ReadBlocks(blocks, "Чтение")) throw std::runtime_error("read cancelled");
                  }));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_block_transfer: %s\n", e.what());
        return 1;
    }
    return 0;
}
