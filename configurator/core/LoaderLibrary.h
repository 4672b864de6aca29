#pragma once
// The loader library as the main window holds it, without widgets: loaded by file name
// when the window is made, its entry points bound by name, its version record checked,
// the parameter block and the host's termination event, and unloaded with the window.

#include "configurator/core/LoaderOperation.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class NamedEvent;
}

// The message list's line when the library cannot be loaded (the program then edits
// files only).
inline constexpr const char* kLoaderMissing = "Не найдена библиотека libSarnupolexLib.so";
// The message list's line, and the warning's text before its question, when the library
// file's version is not supported.
inline constexpr const char* kLoaderOutdated =
    "Используемая версия libSarnupolexLib.so устарела или не поддерживается\n"
    "Дальнейшая эксплуатация может привести к повреждению данных или контроллера";

// Whether the file's version record is supported (LoaderVersionSupported: each part at
// least that of 1.2.4.30); false for a file without a record or one that cannot be read.
bool LoaderFileVersionSupported(const std::filesystem::path& file);

// What the window hands to Start.
struct TLoaderStartRequest {
    std::filesystem::path File;   // the library file
    uint32_t HostWindow = 0;      // the main window: the warning's owner and the block's HostWindow
    std::string FirstArgument;    // the program's first command-line argument ("" without one)
    // Takes a line for the message list (without time, normal kind).
    std::function<void(const std::string& line)> Log;
};

class TLoaderLibrary {
public:
    TLoaderLibrary();
    // Unloads the library.
    ~TLoaderLibrary();
    TLoaderLibrary(const TLoaderLibrary&) = delete;
    TLoaderLibrary& operator=(const TLoaderLibrary&) = delete;

    // Loads the file (the system's search order for a bare name) and binds the entry
    // points. A file that does not load logs kLoaderMissing and leaves everything
    // unbound and the block zero. Otherwise: an unsupported version record logs
    // kLoaderOutdated and asks kLoaderOutdated + "\nВыйти из приложения?" ("Предупреждение",
    // warning icon, Yes and No, on HostWindow); then the termination event
    // "Global\ManualTermEvent<pid>" (auto-reset, not signalled) is made and the block
    // filled (MakeLoaderParams). True only when the user answered Yes, that is chose to
    // quit. Once per object.
    bool Start(const TLoaderStartRequest& request);

    bool Loaded() const { return handle_ != nullptr; }
    // The entry points, each null when the library lacks it (all null when not loaded).
    const TLoaderEntryPoints& Entries() const { return entries_; }
    // Looks up every entry point by name again (the library's eight and the two older
    // Invoke entry points); all null when not loaded.
    void Bind();
    // The block handed to SetSarnupolexParams before each operation; zero when not loaded.
    const LoaderParams& Params() const { return params_; }
    // After each operation: the termination event is reset (nothing when not loaded).
    void OperationEnded();
    // Unloads the library; every entry point is null afterwards.
    void Unload();

private:
    void* handle_ = nullptr;
    TLoaderEntryPoints entries_;
    LoaderParams params_{};
    std::unique_ptr<platform::NamedEvent> manualTermEvent_;
};
