#pragma once
// The loader library's state while it is loaded: its files next to the host program
// (device list, scripts, dialog settings, operation log) and the per-process working
// copies it edits, the operation log, the flags the host sets, and the load and unload
// work. The library's load hook creates one TLoaderCore and installs it as the current
// one; the unload hook runs LibraryDetach and frees it.

#include "loader/core/Chips.h"
#include "loader/io/MutexFile.h"
#include "loader/core/Watches.h"
#include "platform/IniFile.h"
#include "platform/Windows.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LoaderParams;
class TLoaderConnection;

// Pairs of a committed file and its working copy of this process.
class TSessionFileNameHolder {
public:
    // The file name with its extension replaced by ".tmp" and the process id in decimal
    // ("Scripts/start.txt" -> "Scripts/start.tmp1234"); a name without extension gets it
    // appended.
    static std::filesystem::path WorkingName(const std::filesystem::path& file);

    void Add(std::filesystem::path committed, std::filesystem::path working);
    // The registered pair whose working copy has that name, if any.
    const std::pair<std::filesystem::path, std::filesystem::path>* FindWorking(const std::filesystem::path& working) const;
    const std::vector<std::pair<std::filesystem::path, std::filesystem::path>>& Pairs() const { return pairs_; }
    void Clear() { pairs_.clear(); }

private:
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> pairs_;
};

// Where a core finds its files and its two modules.
struct TLoaderPlaces {
    std::filesystem::path HostFolder;  // the folder of all files ("next to the program")
    std::filesystem::path HostExe;     // the host executable, for the version check
    std::filesystem::path LibraryFile; // the library's own file; empty: none (tests)
    // The host folder of this process (platform::ProgramFilesDir) and /proc/self/exe.
    static TLoaderPlaces ForProcess(std::filesystem::path libraryFile);
};

// "Используемая версия приложения устарела или не поддерживается\r\nДальнейшая ..."
extern const char* const kHostVersionWarning;
// "Сохранить сессионные настройки?\n(параметры подключения, скрипты)"
extern const char* const kSaveSessionQuestion;

// Whether the executable is a configurator the library works with: its file name,
// lower-cased, contains "mirvak", and each part of its recorded version is at least
// the matching part of 1.1.2.273 (each part by itself, so 1.2.0.300 fails). False
// without a readable version record.
bool HostVersionSupported(const std::filesystem::path& executable);

// "<fileDescription> <fileVersion>" of the file's version record, the description alone
// when it has no version text; empty without a record.
std::string ModuleDescription(const std::filesystem::path& file);

class TLoaderCore {
public:
    // The start-up: reads and rewrites "Chip.ini", opens the nameless watch on the
    // shared log category, names the ini working copy and sets the flags to their load
    // values. Runs no attach work. The shutdown is the destructor.
    explicit TLoaderCore(TLoaderPlaces places);
    ~TLoaderCore();
    TLoaderCore(const TLoaderCore&) = delete;
    TLoaderCore& operator=(const TLoaderCore&) = delete;

    // Load work: the Info lines "<path>: <module description>" of
    // host and library, the version warning (level Error) when the host is not
    // supported, the lock on "Sarnupolex.lck" (1000 ms; "Access to file setting
    // exclusive: True"/"False"), the device-list pair, the removal of working copies a
    // crashed process with this id left, and a working copy of every "Scripts/*.txt"
    // (extension in any letter case). Raises nothing; failures are logged.
    void LibraryAttach() noexcept;
    // Unload work. When the session changed, asks kSaveSessionQuestion (caption
    // "Предупреждение", owner the operation window) and on Yes renames every working copy
    // of this process in "Scripts" over its script (the registered name, else
    // "<name>.txt"), deletes the registered scripts whose working copy is gone, and
    // commits the device list. Then it deletes this process's working copies, frees the
    // lock, moves the ini working copy over "SarnupolexLib.ini" and writes the operation
    // log. Raises nothing; failures go to the operation log.
    void LibraryDetach() noexcept;

    // --- Device list --------------------------------------------------------------
    std::filesystem::path DeviceListFileName() const;        // "Sarnupolex.dvs"
    std::filesystem::path WorkingDeviceListFileName() const; // "Sarnupolex.dvs.tmp<pid>"
    // The export's text: copies the committed list to the working copy when only the
    // former exists, creates an empty working copy when neither does; the working copy's
    // bytes, whatever their size, without empty lines (lines of blanks or a lone CR
    // stay). Null when that leaves nothing. Valid until the next call.
    const char* GetDevices() noexcept;
    // The device lines of the same text, as UTF-8 copies; empty when there are none.
    std::vector<std::string> DeviceLines();
    // Writes the UTF-8 lines, in Windows-1251 ("?" for a character without a code),
    // joined by LF without a final LF, to the working copy through a temporary file;
    // raises EFCreateError when that fails (the old working copy stays).
    void SaveDeviceList(const std::string& scheme, const std::vector<std::string>& lines);
    // Renames the working copy over "Sarnupolex.dvs"; on failure appends
    // "Не удалось сохранить файл: <name>" to the operation log and returns false.
    bool CommitDeviceList();

    // --- Parameters from the host --------------------------------------------------
    // The export's work; raises nothing.
    void SetSarnupolexParams(const LoaderParams* params, int32_t size) noexcept;
    bool DialogsConfDisabled() const;
    uint32_t ManualTermEvent() const;
    // The window of the operation under way (set by each Invoke3; 0 before the first):
    // log lines and boxes of the library go there.
    platform::HWND OperationWindow() const;
    void SetOperationWindow(platform::HWND window);
    // Marks the device list and scripts as edited: the unload asks whether to keep them.
    void MarkSessionChanged();
    bool SessionChanged() const;
    bool HostSupported() const; // HostVersionSupported of the host executable

    // --- Operation log -------------------------------------------------------------
    // Appends "hh:mm:ss.zzz: <text>" CR LF (local time).
    void AppendLogLine(const std::string& text);
    // Remembers the text, without a final CR LF when it is at least 3 characters long,
    // as the last line, logs it and sends it to the operation window as PROGRESS_TEXT
    // atoms of at most 255 characters each. Nothing is sent (the line is only logged)
    // without a window, to a window that is gone, or for an empty text.
    void PostLogLine(const std::string& text);
    // Logs and sends the text as PostLogLine does, but leaves the last line as it was
    // (retry lines of a transfer name its caption without replacing it).
    void SendLogLine(const std::string& text);
    // Appends the prefix followed by " XX" for every byte ("> 01 0A FF").
    void LogHexDump(const std::string& prefix, const uint8_t* data, size_t count);
    std::string LastLine() const;
    // Sets the last line without logging or sending it (the caption of a transfer).
    void SetLastLine(const std::string& text);
    std::string OperationLog() const;
    // Writes the operation log over "SarnupolexLib.log" when it is not empty. Never
    // raises: a failure becomes one Error line in the rolling log.
    void SaveLog() noexcept;
    std::filesystem::path LogFileName() const;

    // --- Settings of the library's file dialogs ---------------------------------------
    // "SarnupolexLib.ini" and its working copy "<tick count>.tmp" (the tick count at
    // start-up).
    std::filesystem::path IniFileName() const;
    std::filesystem::path WorkingIniFileName() const;
    // An ini file that reads the working copy when it exists, else "SarnupolexLib.ini",
    // and writes the working copy, which thus starts as a copy of the committed file.
    std::unique_ptr<platform::CustomIniFile> OpenDialogSettings() const;

    const std::filesystem::path& HostFolder() const { return places_.HostFolder; }
    std::filesystem::path ScriptsFolder() const; // "Scripts"
    TChips& Chips() { return chips_; }
    // The current connection of the device operations.
    TLoaderConnection& Connection() { return *connection_; }
    TWatch& Watch() { return *watch_; }

private:
    void DeliverLogLine(const std::string& line);
    std::optional<std::string> DeviceListBytes();
    void RemoveOwnWorkingCopies();
    void CommitScripts();
    void CommitIni();
    std::vector<std::filesystem::path> OwnScriptWorkingCopies() const;

    TLoaderPlaces places_;
    std::string pidText_;
    TChips chips_;
    std::unique_ptr<TWatch> watch_;
    std::unique_ptr<TLoaderConnection> connection_;
    TSessionFileNameHolder devicePair_;
    TSessionFileNameHolder scriptPairs_;
    std::unique_ptr<TMutexFileHolder> lock_;
    std::filesystem::path workingIni_;

    // Guards everything below: operations log on their thread while the host's window
    // thread asks for the device list.
    mutable std::mutex mutex_;
    std::string operationLog_;
    std::string lastLine_;
    std::string devicesBuffer_;
    bool sessionChanged_ = false;
    bool dialogsConfDisabled_ = false;
    uint32_t manualTermEvent_ = 0xFFFFFFFF;
    platform::HWND operationWindow_ = 0;
    mutable std::optional<bool> hostSupported_;
};

// The core of the loaded library; null while none is installed.
TLoaderCore* CurrentLoaderCore();
void SetCurrentLoaderCore(TLoaderCore* core);
