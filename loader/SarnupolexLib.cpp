// The library's entry points and its load and unload hooks. Kept out of loadercore, so
// that programs linking the core never run the hooks.

#include "loader/SarnupolexLib.h"

#include "loader/core/ExceptionLog.h"
#include "loader/qt/FAddrView.h"
#include "loader/qt/FExceptionInfoView.h"
#include "loader/qt/FParamView.h"
#include "loader/ops/LoaderExports.h"
#include "loader/core/LoaderCore.h"
#include "loader/core/Watches.h"

#include <dlfcn.h>

#include <exception>
#include <filesystem>
#include <string>

namespace {

// All state of the loaded library; a plain pointer, since the unload hook of a process
// that exits without unloading runs after the static destructors.
TLoaderCore* g_core = nullptr;

// An object of this library, for dladdr.
const char g_anchor = 0;

std::filesystem::path OwnFile()
{
    Dl_info info{};
    if (dladdr(&g_anchor, &info) != 0 && info.dli_fname != nullptr) return info.dli_fname;
    return {};
}

void LogFailure(const char* where, const char* what) noexcept
{
    try {
        SharedWatchCategory().WriteLine(wlExcept, std::string(where) + ": " + what);
    } catch (...) {
    }
}

// Start-up, then the load work. Shows nothing; an exception here would end the host
// inside dlopen, so none leaves.
__attribute__((constructor)) void LibraryLoad() noexcept
{
    try {
        // Exceptions are logged from here on: the shared category exists first.
        SharedWatchCategory();
        StartExceptionTracking();
        InstallExceptionDialog();
        InstallAddrFormView();
    } catch (const std::exception& e) {
        LogFailure("LibraryLoad", e.what());
    } catch (...) {
        LogFailure("LibraryLoad", "unknown exception");
    }
    try {
        g_core = new TLoaderCore(TLoaderPlaces::ForProcess(OwnFile()));
        SetCurrentLoaderCore(g_core);
        g_core->LibraryAttach();
    } catch (const std::exception& e) {
        LogFailure("LibraryLoad", e.what());
    } catch (...) {
        LogFailure("LibraryLoad", "unknown exception");
    }
}

// The unload work, then the shutdown.
__attribute__((destructor)) void LibraryUnload() noexcept
{
    try {
        if (g_core) g_core->LibraryDetach();
    } catch (...) {
        LogFailure("LibraryUnload", "LibraryDetach");
    }
    try {
        SetCurrentLoaderCore(nullptr);
        delete g_core;
    } catch (...) {
        LogFailure("LibraryUnload", "shutdown");
    }
    g_core = nullptr;
    try {
        RemoveAddrFormView();
        RemoveExceptionDialog();
    } catch (...) {
        LogFailure("LibraryUnload", "exception dialog");
    }
    StopExceptionTracking();
    FreeSharedWatchCategory();
    ReleaseExceptionTracking();
}

// Runs an entry point's work: no exception leaves, it is logged and the entry point
// gives failed instead.
template <class Result, class Work>
Result Guarded(Result failed, Work&& work) noexcept
{
    try {
        return work();
    } catch (...) {
        LogException(std::current_exception());
        return failed;
    }
}

// Whether an entry point says in the thread's last-error text that the core is missing.
enum class TNoCore { Silent, Reported };

// As Guarded, for the work on the loaded core; without one the entry point gives failed.
template <class Result, class Work>
Result WithCore(Result failed, TNoCore noCore, Work&& work) noexcept
{
    return Guarded(failed, [&]() -> Result {
        if (g_core) return work(*g_core);
        if (noCore == TNoCore::Reported) ReportNoCore();
        return failed;
    });
}

} // namespace

SARNUPOLEX_API const char* GetDevices(const char* /*scheme*/)
{
    return WithCore<const char*>(nullptr, TNoCore::Silent, [](TLoaderCore& core) { return core.GetDevices(); });
}

SARNUPOLEX_API void SetSarnupolexParams(const LoaderParams* params, int32_t size)
{
    WithCore(0, TNoCore::Silent, [&](TLoaderCore& core) {
        core.SetSarnupolexParams(params, size);
        return 0;
    });
}

SARNUPOLEX_API const char* GetOPCodes(const char* /*scheme*/)
{
    return Guarded<const char*>("", [] { return OperationCatalogue(); });
}

SARNUPOLEX_API int32_t Invoke3(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                               TBlockList** result, uint32_t hostWindow, uint8_t linearHex, uint32_t baseAddress)
{
    return WithCore(0, TNoCore::Silent, [&](TLoaderCore& core) {
        return InvokeOperation(core,
                               TInvokeRequest{op, device, scheme, blocks, result, hostWindow, linearHex, baseAddress},
                               ShowConnectionSettings);
    });
}

SARNUPOLEX_API int32_t QuickSend(int32_t device, const char* /*scheme*/, const char* text, uint8_t /*linearHex*/,
                                 uint32_t /*baseAddress*/)
{
    return WithCore(0, TNoCore::Reported, [&](TLoaderCore& core) { return QuickSendText(core, device, text); });
}

SARNUPOLEX_API int32_t IORead(int32_t device, void* buffer, int32_t count)
{
    return WithCore(-1, TNoCore::Reported,
                    [&](TLoaderCore& core) { return DeviceIORead(core, device, buffer, count); });
}

SARNUPOLEX_API int32_t IOWrite(int32_t device, const void* buffer, int32_t count)
{
    return WithCore(-1, TNoCore::Reported,
                    [&](TLoaderCore& core) { return DeviceIOWrite(core, device, buffer, count); });
}

SARNUPOLEX_API int32_t IOWriteRead(int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                                   int32_t delayMs, int32_t idleMs)
{
    return WithCore(-1, TNoCore::Reported, [&](TLoaderCore& core) {
        return DeviceIOWriteRead(core, device, buffer, writeLength, readLength, delayMs, idleMs);
    });
}
