#pragma once
// A loader core for the fuzz targets: its program folder, registry and runtime folder in
// a temporary folder made once per process (FuzzFolder). The core is made again every so many inputs,
// so that its operation log stays small over a long run.

#include "loader/core/LoaderCore.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace fuzzinput {

inline TLoaderCore& FuzzCore()
{
    static const std::filesystem::path folder = [] {
        // In memory where the system has such a folder: the files' writes end in fsync.
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        std::string pattern = (base / "mirvak-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        const std::filesystem::path made = pattern;
        ::setenv(platform::kProgramDirVariable, made.c_str(), 1);
        ::setenv(platform::kRegistryFileVariable, (made / "registry.reg").c_str(), 1);
        ::setenv(platform::kRuntimeDirVariable, (made / "run").c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(std::getenv(platform::kProgramDirVariable), ignored);
        });
        return made;
    }();
    static std::unique_ptr<TLoaderCore> core;
    static int uses = 0;
    if (!core || ++uses % 256 == 0)
        core = std::make_unique<TLoaderCore>(TLoaderPlaces{folder, "/proc/self/exe", {}});
    return *core;
}

} // namespace fuzzinput
