#include "loader/protocol/FHandShake.h"

#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderHandshake.h"
#include "platform/Tick.h"

#include <exception>

const char* const kHandShakeCaption = "Oжидание перезагрузки";
const char* const kHandShakeStopHint =
    "Если не используется скрипт с рестартом контроллера , \r\nто нужно выключить, а затем включить контроллер";

TfmHandShake::TfmHandShake(TLoaderCore& core, uint32_t overallLimit) : OverallLimit(overallLimit), core_(core) {}

platform::WaitWindowRequest TfmHandShake::Request() const
{
    platform::WaitWindowRequest request;
    request.owner = core_.OperationWindow();
    request.caption = kHandShakeCaption;
    request.stopCaption = "Остановить";
    request.stopHint = kHandShakeStopHint;
    return request;
}

platform::MsgResult TfmHandShake::ShowModal()
{
    Closing = false;
    ModalResult = platform::MsgResult::None;
    std::unique_ptr<platform::WaitWindow> window = platform::ShowWaitWindow(Request());
    StartTick = platform::GetTickCount();
    while (ModalResult == platform::MsgResult::None) {
        platform::Sleep(kHandShakeTimerMs);
        if (window && window->StopPressed()) {
            ModalResult = platform::MsgResult::Cancel;
            break;
        }
        Timer1Timer();
    }
    Closing = true;
    if (window) window->Close();
    return ModalResult;
}

void TfmHandShake::Timer1Timer()
{
    try {
        HandshakeAttempt(core_, OverallLimit != 0);
        ModalResult = platform::MsgResult::OK;
    } catch (const EHandShake_BootloaderExit& e) {
        core_.PostLogLine(e.what());
        ModalResult = platform::MsgResult::Abort;
        platform::ShowMessageBox(core_.OperationWindow(), e.what(), "Ошибка", platform::MsgIcon::Error,
                                 platform::MsgButtons::OK);
    } catch (const EHandShake_Timeout& e) {
        core_.AppendLogLine(e.what());
    } catch (const std::exception& e) {
        core_.PostLogLine(e.what());
    }
    if (ModalResult == platform::MsgResult::None && OverallLimit != 0 &&
        platform::GetTickCount() - StartTick >= OverallLimit)
        ModalResult = platform::MsgResult::Abort;
}
