#pragma once
// The loader library's exception report dialog: the error, a details block with the
// report of the exception logger and the call stack of the throw, copy, and quitting or
// restarting the host program. The form's model and the display that shows it live here,
// free of widgets; the Qt view builds the dialog from the model (FExceptionInfoView.h).

#include "loader/core/ExceptionLog.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Windows.h"

#include <atomic>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Texts of the dialog.
extern const char* const SExcDialogCaption;  // "Ошибка в приложении - %s"
extern const char* const SExcClassLine;      // "Клас ошибки: %s"
extern const char* const SExcMessageLine;    // "Сообщение ошибки: %s"
extern const char* const SExcAddressLine;    // "Адрес ошибки: %s" (the address as hexadecimal digits)
extern const char* const SExcDetails;        // "&Детализация"
extern const char* const SExcExit;           // "&Выход"
extern const char* const SExcRestart;        // "&Перезапустить"
extern const char* const SExcCopy;           // "Скопировать"
extern const char* const SExcTextHint;       // "Use Ctrl+C to copy the report to the clipboard"
extern const char* const SExcDetailsHint;    // "Show or hide additional information"

// Width of the dialog's separator lines (the log's report uses 80).
inline constexpr int kExceptionDialogSeparator = 78;
inline constexpr int kExceptionDialogMinWidth = 200;

// The model of TExceptionDialog: what it shows and what the user chose.
class TExceptionDialog : public platform::FormModel {
public:
    // How the dialog was left.
    enum class TChoice {
        None,    // closed by the window's close button: the program goes on
        Exit,    // "&Выход": the host program closes
        Restart, // "&Перезапустить": the host is started again, then closes
    };

    // Fills the message and the details for the error; applicationTitle goes into the
    // caption.
    TExceptionDialog(std::exception_ptr error, std::string applicationTitle);

    std::string FormName() const override { return "TExceptionDialog"; }

    // Builds the details again (the view calls it on the GUI thread, once it has read the
    // screen, so that the active controls and the screen are current).
    void BuildDetails();

    // "Ошибка в приложении - <title>".
    std::string Caption() const;
    // The exception's message as it is.
    const std::string& Message() const { return message_; }
    // The details block: "Клас ошибки: ...", "Сообщение ошибки: ..." ending in a full
    // stop, "Адрес ошибки: ..." (the first frame of the throw in hexadecimal, pointer
    // width, zeros without a recorded stack), then the report with 78-hyphen separators
    // and the library's start time.
    const std::vector<std::string>& DetailsLines() const { return details_; }
    // The details lines joined by CR LF.
    std::string DetailsText() const;
    // What "Скопировать" and Ctrl+C put on the clipboard: the message, CR LF, the details.
    std::string ClipboardText() const;

    // The details area, closed at first; the button's caption follows it:
    // "&Детализация >>" closed, "<< &Детализация" open.
    bool DetailsVisible() const { return detailsVisible_; }
    void ToggleDetails() { detailsVisible_ = !detailsVisible_; }
    std::string DetailsButtonCaption() const;

    TChoice Choice() const { return choice_; }
    void Choose(TChoice choice) { choice_ = choice; }

private:
    std::exception_ptr error_;
    std::string title_;
    std::string className_;
    std::string message_;
    std::vector<std::string> details_;
    bool detailsVisible_ = false;
    TChoice choice_ = TChoice::None;
};

// "Сообщение ошибки: ..." of a message: a full stop added unless it ends in one.
std::string ExceptionMessageLine(const std::string& message);

// Starts the program again after a delay, detached from this process (its own session),
// as an argument vector: /bin/sh -c '(sleep <delay>; exec "$0" "$@") &' <executable>
// <arguments...>. No command text is built from the path or the arguments, so blanks,
// quotes and shell characters in them stay plain text. Returns whether the shell started.
bool RestartProgram(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                    double delaySeconds);

// What the dialog acts on when the user leaves it.
struct TExceptionDialogHost {
    // The window asked to close (WM_CLOSE) on "&Выход" and after a restart: the window of
    // the operation under way; 0 when there is none.
    std::function<platform::HWND()> Window;
    // The application's title for the caption; platform::ApplicationTitle() when empty.
    std::function<std::string()> Title;
    // Ends the application's event loop; used only when no host window is known.
    std::function<void()> Quit;
    // The program restarted and its arguments (this process's, by default).
    std::filesystem::path Executable;
    std::vector<std::string> Arguments;
    double RestartDelaySeconds = 10;

    // This process: /proc/self/exe with the arguments of /proc/self/cmdline.
    static TExceptionDialogHost ForProcess();
};

// The library's error display with the exception dialog: logs the exception (as a place
// where exceptions end), then shows the dialog through the dialog service, or a plain
// error box (platform::ShowMessageBox, MsgIcon::Error) while the dialog is already on
// screen. Then acts on the choice: "&Выход" posts WM_CLOSE to the host window (without
// one, Quit ends the event loop); "&Перезапустить" restarts the host and closes it as
// "&Выход" does.
class TExceptionDisplay : public platform::ErrorDisplay {
public:
    TExceptionDisplay(std::shared_ptr<const platform::FormView> view, TExceptionDialogHost host);
    ~TExceptionDisplay() override;

    void ShowException(std::exception_ptr error) noexcept override;
    // Whether the dialog is on screen now.
    bool Showing() const { return showing_.load(); }

private:
    void CloseHost();

    std::shared_ptr<const platform::FormView> view_;
    TExceptionDialogHost host_;
    std::atomic<bool> showing_{false};
};

// The display every guard of the library's dialogs reports to: the installed exception
// dialog, else platform::ApplicationErrorDisplay() (the error box). Never the host's
// process-wide slot.
platform::ErrorDisplay& LibraryErrorDisplay();
// Installs the exception dialog's display (nullptr removes it); returns the one before.
// The display must outlive its installation.
TExceptionDisplay* SetLibraryExceptionDisplay(TExceptionDisplay* display);
