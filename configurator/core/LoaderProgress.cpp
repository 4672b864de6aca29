#include "configurator/core/LoaderProgress.h"

#include "configurator/core/LogSink.h"
#include "common/ProgressMgr.h"
#include "loader/SarnupolexLib.h"

void TLoaderProgress::Receive(platform::WPARAM code, platform::LPARAM lParam,
                              const std::function<void(platform::LRESULT)>& reply)
{
    const auto op = static_cast<int32_t>(static_cast<intptr_t>(code));
    if (op == PROGRESS_QUERY_BAR) {
        // No widget crosses into the library.
        reply(0);
        return;
    }
    reply(closing_ || ProgressCancelled() ? 1 : 0);
    switch (op) {
    case PROGRESS_OP_BEGIN:
        if (!closing_) ProgressCancelled() = false;
        break;
    case PROGRESS_OP_END:
        EndProgress();
        host_.RefreshStatusText();
        if (buttonShown_) {
            buttonShown_ = false;
            host_.RemoveCancelButton();
        }
        break;
    case PROGRESS_CAPTION: {
        const std::string text = TakeLogText(lParam).value_or(std::string());
        BeginProgress(text, 0, TProgressCursor::HourGlass);
        if (closing_) ProgressCancelled() = true;
        if (!buttonShown_ && host_.HasProgressBar()) {
            buttonShown_ = true;
            host_.ShowCancelButton();
        }
        break;
    }
    case PROGRESS_PERCENT:
        SetProgress(static_cast<int>(lParam & 0xFF));
        break;
    case PROGRESS_TEXT: {
        const std::string text = TakeLogText(lParam).value_or(std::string());
        const bool lasting = !text.empty() && text[0] == '#';
        const std::string line = lasting ? text.substr(1) : text;
        if (lasting) host_.SetLastingStatusText(line);
        SetProgressText(text);
        host_.Log(line, 0);
        break;
    }
    default: break;
    }
}

void TLoaderProgress::OperationStarting()
{
    if (!closing_) ProgressCancelled() = false;
}

void TLoaderProgress::SetClosing(bool closing)
{
    closing_ = closing;
    ProgressCancelled() = closing;
}

void TLoaderProgress::Cancel() { ProgressCancelled() = true; }

bool TLoaderProgress::CancelEnabled() { return !ProgressCancelled(); }
