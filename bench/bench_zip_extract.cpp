// Extraction of a firmware package of about 64 MiB (32 deflated entries: binary images
// and Intel HEX text, made by zip -6) through the loader's sequence, against 7z x on the
// same file. Prints, all from one run: our time, 7-Zip's, their ratio (ours / 7-Zip's),
// and unzip's time for context; each the best of 5 runs with a warm page cache.

#include "archive/Halvorin.h"
#include "bench/ScratchDir.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 5;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A firmware-like image: code-like runs that repeat with small changes (as compiled
// functions and tables do), fresh random runs, and erased (0xFF) gaps.
std::vector<uint8_t> FirmwareImage(std::mt19937& random, size_t size)
{
    std::vector<uint8_t> image;
    image.reserve(size);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> kind(0, 99);
    while (image.size() < size) {
        const int k = kind(random);
        const size_t run = 64 + static_cast<size_t>(byte(random)) * 4;
        if (k < 40 || image.size() < 4096) {
            for (size_t i = 0; i < run; ++i) image.push_back(static_cast<uint8_t>(byte(random)));
        } else if (k < 88) {
            const size_t from = static_cast<size_t>(random() % (image.size() - run));
            for (size_t i = 0; i < run; ++i)
                image.push_back(kind(random) < 4 ? static_cast<uint8_t>(byte(random)) : image[from + i]);
        } else {
            image.insert(image.end(), run * 2, 0xFF);
        }
    }
    image.resize(size);
    return image;
}

// Intel HEX text of an image: 16-byte data records with extended linear address records.
std::string IntelHex(const std::vector<uint8_t>& image, uint32_t base)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(image.size() * 45 / 16);
    auto record = [&](uint8_t type, uint16_t address, const uint8_t* data, size_t count) {
        uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
        auto put = [&](uint8_t b) {
            out += digits[b >> 4];
            out += digits[b & 15];
        };
        out += ':';
        put(static_cast<uint8_t>(count));
        put(static_cast<uint8_t>(address >> 8));
        put(static_cast<uint8_t>(address & 0xFF));
        put(type);
        for (size_t i = 0; i < count; ++i) {
            put(data[i]);
            sum = static_cast<uint8_t>(sum + data[i]);
        }
        put(static_cast<uint8_t>(-sum));
        out += "\r\n";
    };
    for (size_t at = 0; at < image.size(); at += 16) {
        const uint32_t address = base + static_cast<uint32_t>(at);
        if (at == 0 || (address & 0xFFFF) == 0) {
            const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16)};
            record(4, 0, upper, 2);
        }
        record(0, static_cast<uint16_t>(address & 0xFFFF), &image[at], std::min<size_t>(16, image.size() - at));
    }
    record(1, 0, nullptr, 0);
    return out;
}

void Write(const fs::path& path, const void* bytes, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

double Best(const std::function<void()>& run, const fs::path& target)
{
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        fs::remove_all(target);
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, Seconds(start));
    }
    return best;
}

int Shell(const std::string& command)
{
    const int status = std::system(command.c_str());
    if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    return status;
}

} // namespace

int main()
{
    const fs::path dir = MakeScratchDir("bench_zip_extract");
    if (dir.empty()) return 1;
    const fs::path src = dir / "src";
    const fs::path package = dir / "package.tcf";
    fs::create_directories(src);

    std::mt19937 random(20261210);
    for (int i = 0; i < 16; ++i) {
        const auto image = FirmwareImage(random, 7u << 19);
        Write(src / ("image" + std::to_string(i) + ".bin"), image.data(), image.size());
        const std::string hex = IntelHex(FirmwareImage(random, 3u << 19), 0x08000000u + (static_cast<uint32_t>(i) << 24));
        Write(src / ("chip" + std::to_string(i) + ".hex"), hex.data(), hex.size());
    }
    if (Shell("cd '" + src.string() + "' && zip -q -6 -r '" + package.string() + "' .") != 0) return 1;
    fs::remove_all(src);

    int64_t unpacked = 0;
    {
        auto a = THalvorin::Create();
        a->SetFileName(package.string());
        a->OpenArchive();
        THvoDirArray& items = a->DirManager()->Items;
        for (int32_t i = 0; i < items.Count; ++i) {
            const TDirItem& item = items.ItemPtr(i);
            if (item.CompressionMethod != 8) {
                std::fprintf(stderr, "entry %s is not deflated\n", item.FileName.c_str());
                return 1;
            }
            unpacked += static_cast<int64_t>(item.EffectiveUncompressedSize());
        }
        std::printf("package: %d entries, %.1f MiB, %.1f MiB unpacked\n", items.Count,
                    static_cast<double>(fs::file_size(package)) / (1 << 20), static_cast<double>(unpacked) / (1 << 20));
    }

    const fs::path target = dir / "out";
    bool failed = false;
    const double ours = Best(
        [&] {
            auto a = THalvorin::Create();
            a->Options().StorePath = spFullPath;
            a->SetFileName(package.string());
            a->OnProcessFileFailure = [&](THvoBaseArchiver&, const std::string& name, THvoProcessOperation, int, int,
                                          const std::string& message, THvoAction& action) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), message.c_str());
                failed = true;
                action = fxaAbort;
            };
            a->OpenArchive();
            a->SetBaseDir(target.string());
            a->ExtractFiles("*.*", 10431, "");
            a->CloseArchive();
        },
        target);
    const double sevenZip =
        Best([&] { failed |= Shell("7z x -y -bd -o'" + target.string() + "' '" + package.string() + "' >/dev/null") != 0; },
             target);
    const double unzip =
        Best([&] { failed |= Shell("unzip -q -o '" + package.string() + "' -d '" + target.string() + "'") != 0; }, target);
    fs::remove_all(dir);
    if (failed) return 1;

    const double mib = static_cast<double>(unpacked) / (1 << 20);
    std::printf("ours (THalvorin, ExtractFiles): %.3f s (%.0f MiB/s)\n", ours, mib / ours);
    std::printf("7z x:                          %.3f s (%.0f MiB/s)\n", sevenZip, mib / sevenZip);
    std::printf("ratio ours / 7z x:             %.2f (budget: at most 1.0)\n", ours / sevenZip);
    std::printf("unzip -q (context):            %.3f s (%.0f MiB/s)\n", unzip, mib / unzip);
    return 0;
}
