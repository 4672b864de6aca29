#include "platform/ErrorDisplay.h"

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"

#include <atomic>
#include <cstdio>

namespace platform {

ErrorDisplay::~ErrorDisplay() = default;

std::string ExceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return ErrorText(e);
    } catch (...) {
    }
    return "Неизвестная ошибка";
}

namespace {

thread_local std::string lastErrorText;

} // namespace

void SetLastErrorText(const std::string& text) { lastErrorText = text; }

std::string LastErrorText() { return lastErrorText; }

namespace {

class ErrorBoxDisplay : public ErrorDisplay {
public:
    void ShowException(std::exception_ptr error) noexcept override
    {
        try {
            ShowMessageBox(MainWindow(), ExceptionMessage(error), ApplicationTitle(), MsgIcon::Error, MsgButtons::OK);
        } catch (...) {
            // The display itself failed: nothing is left to show it on.
            std::fputs(("Ошибка: " + ExceptionMessage(error) + "\n").c_str(), stderr);
        }
    }
};

ErrorBoxDisplay errorBox;
std::atomic<ErrorDisplay*> applicationDisplay{nullptr};

} // namespace

ErrorDisplay& ApplicationErrorDisplay()
{
    ErrorDisplay* display = applicationDisplay.load();
    return display ? *display : errorBox;
}

ErrorDisplay* SetApplicationErrorDisplay(ErrorDisplay* display) { return applicationDisplay.exchange(display); }

void ShowException(std::exception_ptr error) noexcept { ApplicationErrorDisplay().ShowException(error); }

void ShowException(const std::exception& error) noexcept
{
    // A copy of the message is enough: the display shows only the text.
    try {
        ShowException(std::make_exception_ptr(std::runtime_error(ErrorText(error))));
    } catch (...) {
    }
}

} // namespace platform
