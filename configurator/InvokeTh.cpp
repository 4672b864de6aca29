#include "configurator/InvokeTh.h"

#include "model/Memory.h"
#include "model/UiCallbacks.h"
#include "platform/Dialogs.h"

TInvokeTh::TInvokeTh(TInvokeWindow window, TLoaderEntryPoints entries, TOperationRequest request)
    : window_(std::move(window)), entries_(entries), request_(std::move(request))
{
}

TInvokeTh::~TInvokeTh()
{
    if (thread_.joinable()) thread_.join();
}

void TInvokeTh::Start()
{
    thread_ = std::thread([this] { Execute(); });
}

void TInvokeTh::Join()
{
    if (thread_.joinable()) thread_.join();
}

void TInvokeTh::Execute() noexcept
{
    // RunLoaderOperation catches what the operation raises; the guard here keeps
    // anything else (a failing log post) from ending the process.
    try {
        RunLoaderOperation(entries_, request_, *this);
    } catch (...) {
    }
    ended_ = true;
    platform::PostMessage(window_.Handle, kInvokeEnded, 0, 0);
}

void TInvokeTh::Log(const std::string& line, int kind) { PostLogMessage(line, kind); }

bool TInvokeTh::AskWarning(const std::string& question)
{
    return platform::ShowMessageBox(window_.Handle, question, "Предупреждение", platform::MsgIcon::Warning,
                                    platform::MsgButtons::YesNo) == platform::MsgResult::Yes;
}

void TInvokeTh::DeviceChosen(int32_t index)
{
    if (window_.RefillDevices) platform::RunOnGuiThread([&] { window_.RefillDevices(index); });
}

void TInvokeTh::ApplyReadDocument(TMemory& image)
{
    if (window_.ApplyReadDocument) platform::RunOnGuiThread([&] { window_.ApplyReadDocument(image); });
}
