// Intel HEX read and write of a 16 MiB image against srec_cat converting the same file.
// Prints, all from one run: our read, our write, srec_cat's conversion, srec_cat's time
// over our read, over our write and over both together (srec_cat reads and writes), the
// time /usr/bin/python3 with intelhex takes to read the file, and the peak resident size
// of this process.

#include "bench/ScratchDir.h"
#include "model/Memory.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs a shell command and returns its time; status receives its exit status.
double Timed(const std::string& command, int& status)
{
    const auto start = std::chrono::steady_clock::now();
    status = std::system(command.c_str());
    return Seconds(start);
}

// The peak resident size of this process so far, in MiB.
double PeakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // Linux reports kilobytes
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    const fs::path dir = MakeScratchDir("bench_hex");
    if (dir.empty()) return 1;
    const fs::path in = dir / "in.hex", ours = dir / "ours.hex", theirs = dir / "out.hex";

    // The source image is written and freed before anything is measured; its 16 MiB
    // stay in the peak printed before reading.
    constexpr int32_t imageSize = 16 << 20;
    {
        TMemory image;
        TMemoryBlock* block = image.AddBlock(0x08000000, imageSize);
        std::mt19937 random(20261210);
        for (int32_t i = 0; i < imageSize; i += 4) {
            const uint32_t v = random();
            for (int k = 0; k < 4; ++k) block->Data()[i + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        image.SaveToHexFile(in, false, 0, 16);
    }
    const double peakBefore = PeakResidentMiB();

    TMemory image;
    auto start = std::chrono::steady_clock::now();
    image.LoadFromHexFile(in);
    const double readTime = Seconds(start);
    const double peakAfterRead = PeakResidentMiB();

    start = std::chrono::steady_clock::now();
    image.SaveToHexFile(ours, false, 0, 16);
    const double writeTime = Seconds(start);

    int srecStatus = 0, pythonStatus = 0;
    const double srecTime =
        Timed("srec_cat '" + in.string() + "' -intel -o '" + theirs.string() + "' -intel -obs=16", srecStatus);
    const double pythonTime =
        Timed("/usr/bin/python3 -c 'import sys, intelhex; intelhex.IntelHex(sys.argv[1])' '" + in.string() + "'",
              pythonStatus);

    const auto textSize = fs::file_size(in);
    std::printf("HEX text: %ju bytes (%.1f MiB), %d blocks read\n", static_cast<uintmax_t>(textSize),
                static_cast<double>(textSize) / (1 << 20), image.BlockCount());
    std::printf("our read:        %.3f s (%.0f MB/s of text)\n", readTime, static_cast<double>(textSize) / readTime / 1e6);
    std::printf("our write:       %.3f s\n", writeTime);
    std::printf("srec_cat:        %.3f s%s\n", srecTime,
                srecStatus == 0 ? "" : " (failed: is the srecord package installed?)");
    std::printf("python intelhex: %.3f s%s\n", pythonTime,
                pythonStatus == 0 ? "" : " (failed: is the python3-intelhex package installed?)");
    std::printf("srec_cat / our read:         %.1fx\n", srecTime / readTime);
    std::printf("srec_cat / our write:        %.1fx\n", srecTime / writeTime);
    std::printf("srec_cat / our read + write: %.1fx\n", srecTime / (readTime + writeTime));
    std::printf("python intelhex / our read:  %.1fx\n", pythonTime / readTime);
    std::printf("peak resident size: %.1f MiB before reading, %.1f MiB after reading\n", peakBefore, peakAfterRead);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return srecStatus == 0 && pythonStatus == 0 ? 0 : 1;
}
