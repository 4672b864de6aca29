#pragma once
// The loader core's places for tests against the simulator: its program folder, registry
// and runtime folder in a temporary folder, the shared watch category freed around it.

#include "loader/core/LoaderCore.h"
#include "loader/core/Watches.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "tests/support/TempDir.h"

#include <filesystem>

namespace sim {

struct LoaderEnv {
    LoaderEnv() { FreeSharedWatchCategory(); }
    ~LoaderEnv() { FreeSharedWatchCategory(); }
    LoaderEnv(const LoaderEnv&) = delete;
    LoaderEnv& operator=(const LoaderEnv&) = delete;
    // The places of a core whose host is this test program.
    TLoaderPlaces Places() const
    {
        return TLoaderPlaces{dir.path(), std::filesystem::read_symlink("/proc/self/exe"), {}};
    }

    testsupport::TempDir dir;
    testsupport::ScopedEnv folder{platform::kProgramDirVariable, dir.path().string()};
    testsupport::ScopedEnv registry{platform::kRegistryFileVariable, (dir / "registry.reg").string()};
    testsupport::ScopedEnv runtime{platform::kRuntimeDirVariable, (dir / "run").string()};
};

} // namespace sim
