#include "loader/dialogs/FExceptionInfo.h"

#include "platform/Format.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>

extern char** environ;

const char* const SExcDialogCaption = "Ошибка в приложении - %s";
const char* const SExcClassLine = "Клас ошибки: %s";
const char* const SExcMessageLine = "Сообщение ошибки: %s";
const char* const SExcAddressLine = "Адрес ошибки: %s";
const char* const SExcDetails = "&Детализация";
const char* const SExcExit = "&Выход";
const char* const SExcRestart = "&Перезапустить";
const char* const SExcCopy = "Скопировать";
const char* const SExcTextHint = "Use Ctrl+C to copy the report to the clipboard";
const char* const SExcDetailsHint = "Show or hide additional information";

std::string ExceptionMessageLine(const std::string& message)
{
    std::string text = message;
    if (text.empty() || text.back() != '.') text += '.';
    return platform::Format(SExcMessageLine, text.c_str());
}

// ---------------------------------------------------------------------------------
// TExceptionDialog

TExceptionDialog::TExceptionDialog(std::exception_ptr error, std::string applicationTitle)
    : error_(std::move(error)), title_(std::move(applicationTitle))
{
    const std::string text = ExceptionText(error_);
    className_ = text.substr(0, text.find(": "));
    message_ = platform::ExceptionMessage(error_);
    BuildDetails();
}

void TExceptionDialog::BuildDetails()
{
    const std::optional<TThrowStack> stack = RecordedStack(error_);
    const void* address = stack && !stack->Frames.empty() ? stack->Frames.front() : nullptr;
    const int digits = static_cast<int>(sizeof(void*) * 2);

    details_.clear();
    details_.push_back(platform::Format(SExcClassLine, className_.c_str()));
    details_.push_back(ExceptionMessageLine(message_));
    details_.push_back(platform::Format(
        SExcAddressLine,
        platform::Format("%0*" PRIXPTR, digits, reinterpret_cast<uintptr_t>(address)).c_str()));
    TReportOptions options;
    options.SeparatorWidth = kExceptionDialogSeparator;
    options.StartTime = LibraryLoadTime();
    options.Stack = stack ? &*stack : nullptr;
    BuildExceptionReport(details_, options);
}

std::string TExceptionDialog::Caption() const { return platform::Format(SExcDialogCaption, title_.c_str()); }

std::string TExceptionDialog::DetailsText() const
{
    std::string text;
    for (size_t i = 0; i < details_.size(); ++i) {
        if (i) text += "\r\n";
        text += details_[i];
    }
    return text;
}

std::string TExceptionDialog::ClipboardText() const { return message_ + "\r\n" + DetailsText(); }

std::string TExceptionDialog::DetailsButtonCaption() const
{
    return detailsVisible_ ? std::string("<< ") + SExcDetails : std::string(SExcDetails) + " >>";
}

// ---------------------------------------------------------------------------------
// Restart

bool RestartProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                    double delaySeconds)
{
    // Written without printf's %f, whose decimal separator follows the host's locale.
    const long ms = delaySeconds > 0 ? std::lround(delaySeconds * 1000) : 0;
    const std::string script = platform::Format("(sleep %ld.%03ld; exec \"$0\" \"$@\") &", ms / 1000, ms % 1000);
    std::vector<std::string> args = {"/bin/sh", "-c", script, executable.string()};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return false;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    // The shell only puts the waiting part in the background and ends; the program's new
    // instance is no child of this process.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

TExceptionDialogHost TExceptionDialogHost::ForProcess()
{
    TExceptionDialogHost host;
    std::error_code ec;
    host.Executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    host.Arguments = ProcessArguments();
    return host;
}

// ---------------------------------------------------------------------------------
// TExceptionDisplay

TExceptionDisplay::TExceptionDisplay(std::shared_ptr<const platform::FormView> view, TExceptionDialogHost host)
    : view_(std::move(view)), host_(std::move(host))
{
}

TExceptionDisplay::~TExceptionDisplay() = default;

void TExceptionDisplay::ShowException(std::exception_ptr error) noexcept
{
    LogException(error);
    try {
        const platform::HWND owner = host_.Window ? host_.Window() : 0;
        bool expected = false;
        if (!showing_.compare_exchange_strong(expected, true)) {
            platform::ShowMessageBox(owner, platform::ExceptionMessage(error), platform::ApplicationTitle(),
                                     platform::MsgIcon::Error, platform::MsgButtons::OK);
            return;
        }
        struct Reset {
            std::atomic<bool>& flag;
            ~Reset() { flag.store(false); }
        } reset{showing_};
        TExceptionDialog dialog(error, host_.Title ? host_.Title() : platform::ApplicationTitle());
        platform::ShowForm(platform::FormRequest{owner, &dialog, view_});
        switch (dialog.Choice()) {
        case TExceptionDialog::TChoice::None:
            break;
        case TExceptionDialog::TChoice::Restart:
            RestartProgram(host_.Executable, host_.Arguments, host_.RestartDelaySeconds);
            CloseHost();
            break;
        case TExceptionDialog::TChoice::Exit:
            CloseHost();
            break;
        }
    } catch (...) {
        // The dialog itself failed: the error box is the last resort.
        platform::ApplicationErrorDisplay().ShowException(error);
    }
}

void TExceptionDisplay::CloseHost()
{
    const platform::HWND window = host_.Window ? host_.Window() : 0;
    if (window != 0 && platform::PostMessage(window, platform::WM_CLOSE, 0, 0)) return;
    if (host_.Quit) host_.Quit();
}

// ---------------------------------------------------------------------------------
// The library's display

namespace {

std::atomic<TExceptionDisplay*> g_dialogDisplay{nullptr};

class LibraryDisplay : public platform::ErrorDisplay {
public:
    void ShowException(std::exception_ptr error) noexcept override
    {
        if (TExceptionDisplay* display = g_dialogDisplay.load()) {
            display->ShowException(error);
        } else {
            LogException(error);
            platform::ApplicationErrorDisplay().ShowException(error);
        }
    }
};

} // namespace

platform::ErrorDisplay& LibraryErrorDisplay()
{
    static LibraryDisplay display;
    return display;
}

TExceptionDisplay* SetLibraryExceptionDisplay(TExceptionDisplay* display) { return g_dialogDisplay.exchange(display); }
