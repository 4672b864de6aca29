#include "loader/LibraryErrorDisplay.h"

#include <atomic>

namespace {

// Passes to the application's display as it is at the time of the error.
class TPassingDisplay : public platform::ErrorDisplay {
public:
    void ShowException(std::exception_ptr error) noexcept override
    {
        platform::ApplicationErrorDisplay().ShowException(error);
    }
};

TPassingDisplay g_passing;
std::atomic<platform::ErrorDisplay*> g_display{nullptr};

} // namespace

platform::ErrorDisplay* LibraryErrorDisplay()
{
    platform::ErrorDisplay* display = g_display.load();
    return display ? display : &g_passing;
}

platform::ErrorDisplay* SetLibraryErrorDisplay(platform::ErrorDisplay* display) { return g_display.exchange(display); }
