#include "configurator/core/LogSink.h"

#include "configurator/core/MessageLog.h"
#include "platform/Atoms.h"

void TCfgLogSink::post(const std::string& text, int kind)
{
    const platform::HWND target = target_ != 0 ? target_ : platform::MainWindow();
    if (target == 0) return;
    for (const std::string& part : platform::SplitLogText(text))
        platform::PostAtomMessage(target, platform::WM_LOG_MESSAGE, static_cast<platform::WPARAM>(kind), part);
}

std::optional<std::string> TakeLogText(platform::LPARAM lParam)
{
    const auto atom = static_cast<platform::ATOM>(lParam);
    if (static_cast<platform::LPARAM>(atom) != lParam) return std::nullopt; // no atom at all
    std::string text;
    const bool read = platform::GetAtomName(atom, text);
    platform::DeleteAtom(atom);
    if (!read) return std::nullopt;
    return text;
}

bool ReceiveLogMessage(TMessageLog& log, platform::WPARAM wParam, platform::LPARAM lParam)
{
    const std::optional<std::string> text = TakeLogText(lParam);
    if (!text) return false;
    log.Add(*text, static_cast<int>(wParam));
    return true;
}
