#include "configurator/core/LoaderLibrary.h"

#include "configurator/core/LoaderHost.h"
#include "platform/Dialogs.h"
#include "platform/NamedEvent.h"
#include "platform/VersionRecord.h"

#include <dlfcn.h>
#include <unistd.h>

bool LoaderFileVersionSupported(const std::filesystem::path& file)
{
    platform::VersionRecord record;
    if (!platform::ReadVersionRecord(file, record)) return LoaderVersionSupported(std::nullopt);
    return LoaderVersionSupported(TLoaderVersion{record.major, record.minor, record.release, record.build});
}

TLoaderLibrary::TLoaderLibrary() = default;

TLoaderLibrary::~TLoaderLibrary() { Unload(); }

bool TLoaderLibrary::Start(const TLoaderStartRequest& request)
{
    handle_ = dlopen(request.File.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        request.Log(kLoaderMissing);
        return false;
    }
    Bind();
    bool quit = false;
    if (!LoaderFileVersionSupported(request.File)) {
        request.Log(kLoaderOutdated);
        quit = platform::ShowMessageBox(request.HostWindow, std::string(kLoaderOutdated) + "\nВыйти из приложения?",
                                        "Предупреждение", platform::MsgIcon::Warning,
                                        platform::MsgButtons::YesNo) == platform::MsgResult::Yes;
    }
    manualTermEvent_ = std::make_unique<platform::NamedEvent>(
        "Global\\ManualTermEvent" + std::to_string(::getpid()), false, false);
    params_ = MakeLoaderParams(request.HostWindow, request.FirstArgument, manualTermEvent_->Handle());
    return quit;
}

void TLoaderLibrary::Bind()
{
    entries_ = {};
    if (!handle_) return;
    const auto lookup = [this](const char* name) { return dlsym(handle_, name); };
    BindEntryPoints(entries_, kSarnupolexEntryPoints, lookup);
    BindEntryPoints(entries_, kOlderInvokeEntryPoints, lookup);
}

void TLoaderLibrary::OperationEnded()
{
    if (manualTermEvent_) manualTermEvent_->Reset();
}

void TLoaderLibrary::Unload()
{
    entries_ = {};
    if (!handle_) return;
    dlclose(handle_);
    handle_ = nullptr;
}
