#pragma once

#include "platform/PlatformApi.h"
#include "platform/Windows.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>


namespace platform {

// Every message box, file dialog, input prompt and form of both deliverables is asked
// of one dialog service, held in a process-wide slot: the GUI's own service in the
// program, a scripted one in tests. Each request names the window it belongs to by
// handle (0: the main window). Services may be called from any thread.

// Answers, numbered as the model's answers of the default question are.
enum class MsgResult : int {
    None = 0,
    OK = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
    NoToAll = 9,
    YesToAll = 10,
};

enum class MsgIcon { None, Information, Warning, Error, Question };

enum class MsgButtons {
    OK,
    OKCancel,
    YesNo,
    YesNoCancel,
    YesNoNoToAllYesToAll, // Yes, No, No to all, Yes to all
    AbortRetryIgnore,
    AbortIgnore,
};

// The answers a button set offers, in the order its buttons stand.
PLATFORM_API std::vector<MsgResult> ButtonResults(MsgButtons buttons);
// The answer of a box closed without a button, also of one that is not shown at all:
// its Cancel, else its No; OK for a lone OK, Abort for Abort/Retry/Ignore.
PLATFORM_API MsgResult CloseAnswer(MsgButtons buttons);
PLATFORM_API const char* MsgResultName(MsgResult result);

struct MessageBoxRequest {
    HWND owner = 0;
    std::string text;
    std::string caption;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
};

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    HWND owner = 0;
    FileDialogKind kind = FileDialogKind::Open;
    std::string title;      // empty: the dialog's own
    std::string filter;     // "Описание|*.a90;*.a82|Все файлы|*.*"
    int filterIndex = 1;    // 1-based
    std::string initialDir; // empty: the current folder
    std::string fileName;   // proposed name, with or without its folder
    std::string defaultExt; // "hex" (a leading dot is ignored); empty: none
    bool fileMustExist = false;
    bool overwritePrompt = false;
};

struct FileDialogResult {
    bool accepted = false;
    std::string fileName; // the chosen file with its folder
    int filterIndex = 0;  // 1-based index of the filter chosen last
};

// One entry of a filter string: its description and its patterns.
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;
    bool operator==(const FileFilter&) const = default;
};

// Splits a filter string "description|pattern;pattern|...": descriptions and pattern
// lists alternate; a description without a pattern list is dropped.
PLATFORM_API std::vector<FileFilter> ParseFileFilter(const std::string& filter);
// Whether a file name (without its folder) matches one of the patterns ("*" and "?"
// wildcards), ignoring letter case; "*.*" matches every name.
PLATFORM_API bool MatchesFileFilter(const std::string& name, const std::vector<std::string>& patterns);
// The default extension rule: fileName with "." + defaultExt appended when its last
// component (the file, not its folder) has no "."; unchanged when defaultExt or
// fileName is empty.
PLATFORM_API std::string ApplyDefaultExt(const std::string& fileName, const std::string& defaultExt);
// A text with every CR LF pair and every lone CR turned into LF.
PLATFORM_API std::string NormalizeLineBreaks(const std::string& text);

struct InputRequest {
    HWND owner = 0;
    std::string caption;
    std::string prompt;
    std::string value; // shown at first
    bool masked = false;
};

// The widget-free model of one of the library's own dialogs; its view reads and writes it.
class PLATFORM_API FormModel {
public:
    virtual ~FormModel();
    // The form's name, for records and messages ("TfmParam").
    virtual std::string FormName() const = 0;
};

// What builds the on-screen view of a form model. The window system's layer derives its
// own kind (platform::qt::QtFormView); a service that shows no windows never looks at it,
// and a service given a kind it does not know answers Cancel.
class PLATFORM_API FormView {
public:
    virtual ~FormView();
};

struct FormRequest {
    HWND owner = 0;
    FormModel* model = nullptr;
    std::shared_ptr<const FormView> view;
};

struct WaitWindowRequest {
    HWND owner = 0;
    std::string caption;
    std::string text;
    std::string stopCaption = "Остановить";
    std::string stopHint; // tool tip of the button; empty: none
};

// A non-modal window shown while a thread waits for something; its one button asks the
// waiting thread to stop. Polled and closed from the thread that opened it.
class PLATFORM_API WaitWindow {
public:
    virtual ~WaitWindow();
    // Whether the user has asked to stop (stays true once it is).
    virtual bool StopPressed() = 0;
    // Closes the window (also done by the destructor).
    virtual void Close() = 0;
};

class PLATFORM_API DialogService {
public:
    virtual ~DialogService();

    MsgResult MessageBox(const MessageBoxRequest& request);
    // The answer with the default extension rule applied to the chosen file, and the
    // request's filter index when the service named none.
    FileDialogResult FileDialog(const FileDialogRequest& request);
    // The entered text; nothing when cancelled.
    std::optional<std::string> InputQuery(const InputRequest& request);
    MsgResult ShowForm(const FormRequest& request);
    std::unique_ptr<WaitWindow> ShowWaitWindow(const WaitWindowRequest& request);

protected:
    virtual MsgResult DoMessageBox(const MessageBoxRequest& request) = 0;
    virtual FileDialogResult DoFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> DoInputQuery(const InputRequest& request) = 0;
    virtual MsgResult DoShowForm(const FormRequest& request) = 0;
    virtual std::unique_ptr<WaitWindow> DoShowWaitWindow(const WaitWindowRequest& request) = 0;
};

// Installs the process's service (nullptr: none) and returns the one it replaces.
PLATFORM_API std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> service);
// The installed service; without one, a service that shows nothing and answers every
// request as if it had been closed.
PLATFORM_API std::shared_ptr<DialogService> Dialogs();

// Shortcuts to the installed service.
PLATFORM_API MsgResult ShowMessageBox(const MessageBoxRequest& request);
PLATFORM_API MsgResult ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                                      MsgIcon icon, MsgButtons buttons);
PLATFORM_API FileDialogResult ShowFileDialog(const FileDialogRequest& request);
PLATFORM_API std::optional<std::string> ShowInputQuery(const InputRequest& request);
PLATFORM_API MsgResult ShowForm(const FormRequest& request);
PLATFORM_API std::unique_ptr<WaitWindow> ShowWaitWindow(const WaitWindowRequest& request);

} // namespace platform
