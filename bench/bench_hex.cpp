// Intel HEX read and write of a 16 MiB image against srec_cat converting the same file.
// Prints our read time, our write time, srec_cat's time and srec_cat's time over each of
// ours, all from one run.

#include "model/Memory.h"

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

} // namespace

int main()
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "bench_hex.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const fs::path in = dir / "in.hex", ours = dir / "ours.hex", theirs = dir / "out.hex";

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

    TMemory image;
    auto start = std::chrono::steady_clock::now();
    image.LoadFromHexFile(in);
    const double readTime = Seconds(start);

    start = std::chrono::steady_clock::now();
    image.SaveToHexFile(ours, false, 0, 16);
    const double writeTime = Seconds(start);

    const std::string command = "srec_cat '" + in.string() + "' -intel -o '" + theirs.string() + "' -intel -obs=16";
    start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double srecTime = Seconds(start);

    std::printf("HEX text: %ju bytes, %d blocks read\n", static_cast<uintmax_t>(fs::file_size(in)), image.BlockCount());
    std::printf("our read:  %.3f s\n", readTime);
    std::printf("our write: %.3f s\n", writeTime);
    std::printf("srec_cat:  %.3f s%s\n", srecTime, status == 0 ? "" : " (failed: is the srecord package installed?)");
    std::printf("srec_cat / our read:  %.1fx\n", srecTime / readTime);
    std::printf("srec_cat / our write: %.1fx\n", srecTime / writeTime);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return status == 0 ? 0 : 1;
}
