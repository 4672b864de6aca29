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

} // namespace

SARNUPOLEX_API const char* GetDevices(const char* /*scheme*/)
{
    try {
        return g_core ? g_core->GetDevices() : nullptr;
    } catch (...) {
        LogException(std::current_exception());
        return nullptr;
    }
}

SARNUPOLEX_API void SetSarnupolexParams(const LoaderParams* params, int32_t size)
{
    try {
        if (g_core) g_core->SetSarnupolexParams(params, size);
    } catch (...) {
        LogException(std::current_exception());
    }
}

SARNUPOLEX_API const char* GetOPCodes(const char* /*scheme*/)
{
    try {
        return OperationCatalogue();
    } catch (...) {
        LogException(std::current_exception());
        return "";
    }
}

SARNUPOLEX_API int32_t Invoke3(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                               TBlockList** result, uint32_t hostWindow, uint8_t linearHex, uint32_t baseAddress)
{
    try {
        if (!g_core) return 0;
        return InvokeOperation(*g_core,
                               TInvokeRequest{op, device, scheme, blocks, result, hostWindow, linearHex, baseAddress},
                               ShowConnectionSettings);
    } catch (...) {
        LogException(std::current_exception());
        return 0;
    }
}

SARNUPOLEX_API int32_t QuickSend(int32_t device, const char* /*scheme*/, const char* text, uint8_t /*linearHex*/,
                                 uint32_t /*baseAddress*/)
{
    try {
        if (!g_core) {
            ReportNoCore();
            return 0;
        }
        return QuickSendText(*g_core, device, text);
    } catch (...) {
        LogException(std::current_exception());
        return 0;
    }
}

SARNUPOLEX_API int32_t IORead(int32_t device, void* buffer, int32_t count)
{
    try {
        if (!g_core) {
            ReportNoCore();
            return -1;
        }
        return DeviceIORead(*g_core, device, buffer, count);
    } catch (...) {
        LogException(std::current_exception());
        return -1;
    }
}

SARNUPOLEX_API int32_t IOWrite(int32_t device, const void* buffer, int32_t count)
{
    try {
        if (!g_core) {
            ReportNoCore();
            return -1;
        }
        return DeviceIOWrite(*g_core, device, buffer, count);
    } catch (...) {
        LogException(std::current_exception());
        return -1;
    }
}

SARNUPOLEX_API int32_t IOWriteRead(int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                                   int32_t delayMs, int32_t idleMs)
{
    try {
        if (!g_core) {
            ReportNoCore();
            return -1;
        }
        return DeviceIOWriteRead(*g_core, device, buffer, writeLength, readLength, delayMs, idleMs);
    } catch (...) {
        LogException(std::current_exception());
        return -1;
    }
}
