#pragma once

#include "platform/PlatformApi.h"

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace platform {

// Where an error that nobody else handles is shown to the user. Slots, event handlers,
// timer callbacks and window handlers run guarded: an exception never crosses the GUI
// event loop, it goes to a display.
class PLATFORM_API ErrorDisplay {
public:
    virtual ~ErrorDisplay();
    // Shows the error; never raises.
    virtual void ShowException(std::exception_ptr error) noexcept = 0;
};

// The text shown for an error: ErrorText of a std::exception (what(), with a system
// error's text in Russian), "Неизвестная ошибка" for anything else.
PLATFORM_API std::string ExceptionMessage(std::exception_ptr error);

// The calling thread's last error of a call into the loader library: the library sets
// the text (UTF-8) when one of its small entry points fails, the host reads it after
// the failure result. Empty until set; each thread has its own.
PLATFORM_API void SetLastErrorText(const std::string& text);
PLATFORM_API std::string LastErrorText();

// The application's display: an error box through the dialog service (error icon, OK,
// caption: the application's title) on the main window, unless another display was set.
PLATFORM_API ErrorDisplay& ApplicationErrorDisplay();
// Replaces the application's display (nullptr: the error box again); returns the one
// set before, nullptr for the error box. The display must outlive its use.
PLATFORM_API ErrorDisplay* SetApplicationErrorDisplay(ErrorDisplay* display);

// Shows an error on the application's display.
PLATFORM_API void ShowException(std::exception_ptr error) noexcept;
PLATFORM_API void ShowException(const std::exception& error) noexcept;

// Runs fn and shows whatever it raises on display (the application's when nullptr).
// Returns whether fn ended without an exception. Never raises.
template <class Fn>
bool RunGuarded(Fn&& fn, ErrorDisplay* display = nullptr) noexcept
{
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (...) {
        (display ? *display : ApplicationErrorDisplay()).ShowException(std::current_exception());
        return false;
    }
}

// fn wrapped in RunGuarded, to connect to a signal or a timer: the arguments of the
// call are passed on when fn takes them, else dropped.
template <class Fn>
auto Guarded(Fn fn, ErrorDisplay* display = nullptr)
{
    return [fn = std::move(fn), display](auto&&... args) mutable -> void {
        RunGuarded(
            [&] {
                if constexpr (std::is_invocable_v<Fn&, decltype(args)...>)
                    fn(std::forward<decltype(args)>(args)...);
                else
                    fn();
            },
            display);
    };
}

} // namespace platform
