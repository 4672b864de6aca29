#include "loader/ops/DeviceSession.h"

#include "loader/api/SarnupolexConst.h"
#include "loader/core/ExceptionLog.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderHandshake.h"
#include "loader/protocol/LoaderScript.h"

#include <exception>

const char* const kNoConnectionSelected = "Не выбрано подключение";
const char* const kConnectionUndefined = "Выбранное подключение не определено";

const std::string& DeviceLineByIndex(const std::vector<std::string>& lines, int32_t index)
{
    if (index == -1) throw ESarnupolex(kNoConnectionSelected);
    if (index < 0 || static_cast<size_t>(index) >= lines.size()) throw ESarnupolex(kConnectionUndefined);
    return lines[static_cast<size_t>(index)];
}

std::string SelectDeviceLine(TLoaderCore& core, int32_t device)
{
    const std::vector<std::string> lines = core.DeviceLines();
    return DeviceLineByIndex(lines, device);
}

TDeviceSession::TMarks::TMarks(TLoaderCore& core, bool send)
    : window_(send ? core.OperationWindow() : 0), pending_(send)
{
    Send(PROGRESS_OP_BEGIN);
}

void TDeviceSession::TMarks::End() noexcept
{
    if (!pending_) return;
    Send(PROGRESS_OP_END);
    pending_ = false;
}

void TDeviceSession::TMarks::Send(int32_t code) noexcept
{
    if (!pending_ || window_ == 0 || !platform::IsWindow(window_)) return;
    try {
        platform::SendMessage(window_, platform::WM_LOADER_PROGRESS, static_cast<platform::WPARAM>(code), 0);
    } catch (...) {
        LogException(std::current_exception());
    }
}

TDeviceSession::TDeviceSession(TLoaderCore& core, int32_t device, TSessionKind kind)
    : core_(core),
      kind_(kind),
      marks_(core, kind == TSessionKind::Operation),
      line_(SelectDeviceLine(core, device)),
      settings_(ParseConnectionSettings(line_)),
      transfer_(core)
{
}

TDeviceSession::~TDeviceSession()
{
    if (opened_ && kind_ == TSessionKind::Operation) {
        try {
            RunEndPause(core_, settings_.ScriptName);
        } catch (...) {
            LogException(std::current_exception());
        }
    }
    try {
        core_.Connection().CloseDevice();
    } catch (...) {
        LogException(std::current_exception());
    }
}

void TDeviceSession::Open()
{
    core_.Connection().OpenDevice(line_);
    opened_ = true;
    if (kind_ != TSessionKind::Operation) return;
    MakeScript(core_, transfer_, settings_.ScriptName, settings_.ScriptSpeed, TScriptPhase::Preliminary, true);
    RunHandShake(core_);
}

void TDeviceSession::FinalPhase(bool activation)
{
    MakeScript(core_, transfer_, settings_.ScriptName, settings_.ScriptSpeed, TScriptPhase::Final, activation);
}

void TDeviceSession::EndProgress() noexcept { marks_.End(); }

TLoaderConnection& TDeviceSession::Connection() const { return core_.Connection(); }
