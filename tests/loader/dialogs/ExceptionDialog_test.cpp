#include "loader/dialogs/FExceptionInfo.h"

#include "loader/io/IOSerial.h"
#include "loader/io/MutexFile.h"
#include "platform/NamedMutex.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DialogScript.h"
#include "tests/support/Pty.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using platform::MsgResult;
using testsupport::DialogScript;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Tracking on the shared category of a temporary host folder.
class TrackingScope {
public:
    TrackingScope() : env_("MIRVAK_PROGRAM_DIR", dir_.path().string()) { StartExceptionTracking(); }
    ~TrackingScope()
    {
        StopExceptionTracking();
        FreeSharedWatchCategory();
    }
    const fs::path& Folder() const { return dir_.path(); }

private:
    TempDir dir_;
    testsupport::ScopedEnv env_;
};

__attribute__((noinline)) std::exception_ptr ThrowSerial()
{
    try {
        TIOSerial port;
        char byte = 0;
        port.Read(&byte, 1);
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The dialog's model as the scripted service hands it to a form handler.
TExceptionDialog& Model(platform::FormModel& model) { return dynamic_cast<TExceptionDialog&>(model); }

// A host window of the test thread that records the messages it gets.
struct HostWindow {
    HostWindow()
    {
        hwnd = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
                messages.push_back(msg);
                return 0;
            },
            queue);
    }
    ~HostWindow() { platform::UnregisterWindow(hwnd); }
    void Pump()
    {
        while (queue.DispatchOne()) {
        }
    }
    platform::MessageQueue queue;
    platform::HWND hwnd = 0;
    std::vector<platform::UINT> messages;
};

} // namespace

TEST(ExceptionDialog, DetailsBlock)
{
    TrackingScope tracking;
    struct Case {
        std::exception_ptr error;
        const char* classLine;
        const char* messageLine;
        bool stack;
    };
    const Case cases[] = {
        {std::make_exception_ptr(std::runtime_error("abc")), "Клас ошибки: runtime_error", "Сообщение ошибки: abc.", false},
        {std::make_exception_ptr(std::runtime_error("abc.")), "Клас ошибки: runtime_error", "Сообщение ошибки: abc.", false},
        {std::make_exception_ptr(std::runtime_error("")), "Клас ошибки: runtime_error", "Сообщение ошибки: .", false},
        {ThrowSerial(), "Клас ошибки: EIOSerialException", "Сообщение ошибки: Соединение не установлено.", true},
    };
    for (const Case& c : cases) {
        TExceptionDialog dialog(c.error, "Mirvak");
        const std::vector<std::string>& lines = dialog.DetailsLines();
        SCOPED_TRACE(dialog.DetailsText());
        ASSERT_GE(lines.size(), 12u);
        EXPECT_EQ(lines[0], c.classLine);
        EXPECT_EQ(lines[1], c.messageLine);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[2], m, std::regex("^Адрес ошибки: ([0-9A-F]{16})$")));
        EXPECT_EQ(m[1].str() != std::string(16, '0'), c.stack);
        EXPECT_EQ(lines[3].rfind("Приложение: ", 0), 0u);
        EXPECT_EQ(lines[4].rfind("Параметры запуска: ", 0), 0u);
        EXPECT_TRUE(std::regex_match(lines[5], std::regex("^Время старта приложения: \\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d$")));
        EXPECT_EQ(lines[6].rfind("Компьютер: ", 0), 0u);
        EXPECT_EQ(lines[7].rfind("Пользователь: ", 0), 0u);
        EXPECT_EQ(lines[8], std::string(78, '-'));
        EXPECT_EQ(lines.back(), std::string(78, '-'));
        EXPECT_EQ(dialog.DetailsText().find("Стек команд, создан ") != std::string::npos, c.stack);
        EXPECT_EQ(dialog.DetailsText().find("ThrowSerial") != std::string::npos, c.stack);
    }
}

TEST(ExceptionDialog, CaptionToggleAndClipboardText)
{
    TExceptionDialog dialog(std::make_exception_ptr(std::runtime_error("Сбой")), "Mirvak");
    EXPECT_EQ(dialog.Caption(), "Ошибка в приложении - Mirvak");
    EXPECT_FALSE(dialog.DetailsVisible());
    EXPECT_EQ(dialog.DetailsButtonCaption(), "&Детализация >>");
    dialog.ToggleDetails();
    EXPECT_EQ(dialog.DetailsButtonCaption(), "<< &Детализация");
    dialog.ToggleDetails();
    EXPECT_EQ(dialog.DetailsButtonCaption(), "&Детализация >>");
    EXPECT_EQ(dialog.ClipboardText(), "Сбой\r\n" + dialog.DetailsText());
    EXPECT_EQ(dialog.DetailsText().find('\n'), dialog.DetailsText().find("\r\n") + 1);
}

TEST(ExceptionDialog, ASecondExceptionWhileShownGoesToAPlainBox)
{
    TrackingScope tracking;
    DialogScript script;
    TExceptionDisplay display(nullptr, TExceptionDialogHost{});
    SetLibraryExceptionDisplay(&display);
    script->PushForm([&](platform::FormModel& model) {
        EXPECT_TRUE(display.Showing());
        EXPECT_EQ(Model(model).Message(), "первая");
        LibraryErrorDisplay().ShowException(std::make_exception_ptr(std::runtime_error("вторая")));
        return MsgResult::Cancel;
    });
    script->PushAnswer(MsgResult::OK);
    LibraryErrorDisplay().ShowException(std::make_exception_ptr(std::runtime_error("первая")));
    SetLibraryExceptionDisplay(nullptr);
    EXPECT_FALSE(display.Showing());

    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, platform::DialogKind::Form);
    EXPECT_EQ(records[0].form, "TExceptionDialog");
    EXPECT_EQ(records[1].kind, platform::DialogKind::MessageBox);
    EXPECT_EQ(records[1].box.text, "вторая");
    EXPECT_EQ(records[1].box.icon, platform::MsgIcon::Error);
    EXPECT_EQ(records[1].box.buttons, platform::MsgButtons::OK);

    // Without the dialog installed, the library's display is the error box.
    script->PushAnswer(MsgResult::OK);
    LibraryErrorDisplay().ShowException(std::make_exception_ptr(std::runtime_error("третья")));
    ASSERT_EQ(script->Records().size(), 3u);
    EXPECT_EQ(script->Records()[2].box.text, "третья");
}

TEST(ExceptionDialog, ExitClosesTheHostWindowInsteadOfQuitting)
{
    DialogScript script;
    HostWindow host;
    int quits = 0;
    TExceptionDialogHost options;
    options.Window = [&] { return host.hwnd; };
    options.Quit = [&] { ++quits; };
    TExceptionDisplay display(nullptr, options);

    struct Case {
        TExceptionDialog::TChoice choice;
        size_t closes;
    };
    for (const Case c : {Case{TExceptionDialog::TChoice::None, 0}, Case{TExceptionDialog::TChoice::Exit, 1}}) {
        host.messages.clear();
        script->PushForm([&](platform::FormModel& model) {
            Model(model).Choose(c.choice);
            return MsgResult::Cancel;
        });
        display.ShowException(std::make_exception_ptr(std::runtime_error("x")));
        host.Pump();
        EXPECT_EQ(host.messages, std::vector<platform::UINT>(c.closes, platform::WM_CLOSE));
    }
    EXPECT_EQ(quits, 0);

    // Without a host window the application's event loop ends.
    options.Window = [] { return platform::HWND(0); };
    TExceptionDisplay windowless(nullptr, options);
    script->PushForm([&](platform::FormModel& model) {
        Model(model).Choose(TExceptionDialog::TChoice::Exit);
        return MsgResult::Cancel;
    });
    windowless.ShowException(std::make_exception_ptr(std::runtime_error("x")));
    EXPECT_EQ(quits, 1);
}

TEST(ExceptionDialog, RestartPassesPathAndArgumentsAsTheyAre)
{
    TempDir dir;
    const fs::path folder = dir / "host dir 'q' \"dq\" $(touch pwned)";
    fs::create_directories(folder);
    const fs::path out = dir / "restarted.txt";
    const fs::path host = folder / "fake host $(touch pwned).sh";
    WriteFile(host, "#!/bin/sh\n"
                    "{ for a in \"$0\" \"$@\"; do printf '[%s]\\n' \"$a\"; done; ls -l /proc/$$/fd; } > '" +
                        out.string() + ".tmp'\nmv '" + out.string() + ".tmp' '" + out.string() + "'\n");
    fs::permissions(host, fs::perms::owner_all);

    // Descriptors the library holds while restarting: a lock file and an open serial port.
    testsupport::ScopedEnv registry(platform::kRegistryFileVariable, (dir / "registry.reg").string());
    testsupport::ScopedEnv runtime(platform::kRuntimeDirVariable, (dir / "run").string());
    const fs::path lockFile = dir / "Sarnupolex.lck";
    TMutexFile lock(lockFile.string(), {}, 1000);
    ASSERT_GE(lock.Handle(), 0);
    testsupport::Pty pty;
    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM7=" + pty.slave);
    TIOSerial port;
    port.SetPort("COM7");
    port.Open();

    DialogScript script;
    HostWindow window;
    TExceptionDialogHost options;
    options.Window = [&] { return window.hwnd; };
    options.Executable = host;
    options.Arguments = {"--DialogsConfDisabled", "a b", "$(touch pwned)", "'", ""};
    options.RestartDelaySeconds = 0.2;
    TExceptionDisplay display(nullptr, options);
    script->PushForm([&](platform::FormModel& model) {
        Model(model).Choose(TExceptionDialog::TChoice::Restart);
        return MsgResult::Cancel;
    });
    display.ShowException(std::make_exception_ptr(std::runtime_error("x")));
    window.Pump();
    EXPECT_EQ(window.messages, std::vector<platform::UINT>{platform::WM_CLOSE});

    ASSERT_TRUE(testsupport::WaitForPath(out, 10000));
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.substr(0, text.find("total")), "[" + host.string() + "]\n[--DialogsConfDisabled]\n[a b]\n"
                                                   "[$(touch pwned)]\n[']\n[]\n")
        << text;
    EXPECT_EQ(text.find(lockFile.string()), std::string::npos) << text;
    EXPECT_EQ(text.find(pty.slave), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_FALSE(fs::exists(folder / "pwned"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
}
