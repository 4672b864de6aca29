#pragma once
// The window "Oжидание перезагрузки" of the handshake without its widgets: the wait
// window of the dialog service shows it (on the GUI thread), while its timer cycle runs
// the attempts on the operation thread, 10 ms apart, and polls the window's button
// between them.

#include "platform/Dialogs.h"

#include <cstdint>

class TLoaderCore;

// Caption "Oжидание перезагрузки" (Latin O), the button "Остановить" and its tool tip.
extern const char* const kHandShakeCaption;
extern const char* const kHandShakeStopHint;
// Pause between two attempts.
inline constexpr uint32_t kHandShakeTimerMs = 10;

class TfmHandShake {
public:
    // overallLimit: ms after which probing gives up; 0: no limit.
    TfmHandShake(TLoaderCore& core, uint32_t overallLimit);

    // The wait window's request: caption, button, tool tip, owner the operation window.
    platform::WaitWindowRequest Request() const;
    // Shows the window and runs the timer cycle until a result: OK (an attempt
    // succeeded), Abort (the overall limit passed, or the controller left the bootloader)
    // or Cancel (the button). The window is closed in every case.
    platform::MsgResult ShowModal();
    // One timer event: an attempt and its outcome. A bootloader exit is logged, ends with
    // Abort and is shown in a box "Ошибка" with the error icon on the operation window; a
    // time-out goes to the operation log; any other error is logged. Without a result,
    // Abort once the overall limit has passed since the start tick.
    void Timer1Timer();

    uint64_t StartTick = 0;
    uint32_t OverallLimit = 0;
    bool Closing = false;
    platform::MsgResult ModalResult = platform::MsgResult::None;

private:
    TLoaderCore& core_;
};
