#include "loader/core/LoaderCore.h"

#include "loader/core/LoaderConnection.h"
#include "loader/io/Modbus.h"
#include "loader/api/SarnupolexConst.h"
#include "platform/AtomicFile.h"
#include "platform/Atoms.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/ProgramDir.h"
#include "platform/Tick.h"
#include "platform/VersionRecord.h"

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

const char* const kHostVersionWarning =
    "Используемая версия приложения устарела или не поддерживается\r\n"
    "Дальнейшая эксплуатация может привести к повреждению данных или контроллера";
const char* const kSaveSessionQuestion = "Сохранить сессионные настройки?\n(параметры подключения, скрипты)";

namespace {

constexpr const char* kWarningCaption = "Предупреждение";
constexpr const char* kNotSavedText = "Не удалось сохранить файл: ";
constexpr int32_t kParamsSize = static_cast<int32_t>(sizeof(LoaderParams));

// The smallest host version, each part compared by itself.
constexpr uint16_t kHostVersion[4] = {1, 1, 2, 273};

std::atomic<TLoaderCore*> g_current{nullptr};

// The whole file; false when it cannot be read.
bool ReadBytes(const fs::path& file, std::string& bytes)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool RenameOver(const fs::path& from, const fs::path& to, std::string& error)
{
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    error = platform::SysErrorMessage(errno);
    return false;
}

bool EndsWithCrLf(const std::string& text)
{
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    return text;
}

// The text without its empty lines, joined by LF again.
std::string DropEmptyLines(const std::string& text)
{
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            if (!out.empty()) out += '\n';
            out.append(text, start, end - start);
        }
        start = end + 1;
    }
    return out;
}

// "hh:mm:ss.zzz" of the local time now.
std::string TimeOfDay()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

// Settings of the library's file dialogs: read from the working copy when it exists,
// else from the committed file; every change goes to the working copy.
class TDialogSettingsFile : public platform::CustomIniFile {
public:
    TDialogSettingsFile(fs::path working, fs::path committed)
        : CustomIniFile(std::move(working)), committed_(std::move(committed))
    {
    }

protected:
    void BeforeRead() override
    {
        if (Exists(FileName())) {
            ReadFileText();
            return;
        }
        std::string bytes;
        if (!ReadBytes(committed_, bytes)) bytes.clear();
        text_.LoadBytes(bytes);
    }
    void AfterWrite() override { WriteFileText(); }

private:
    fs::path committed_;
};

} // namespace

// ---------------------------------------------------------------------------------

fs::path TSessionFileNameHolder::WorkingName(const fs::path& file)
{
    fs::path name = file;
    name.replace_extension(".tmp" + std::to_string(::getpid()));
    return name;
}

void TSessionFileNameHolder::Add(fs::path committed, fs::path working)
{
    pairs_.emplace_back(std::move(committed), std::move(working));
}

const std::pair<fs::path, fs::path>* TSessionFileNameHolder::FindWorking(const fs::path& working) const
{
    for (const auto& pair : pairs_)
        if (pair.second.filename() == working.filename()) return &pair;
    return nullptr;
}

TLoaderPlaces TLoaderPlaces::ForProcess(fs::path libraryFile)
{
    TLoaderPlaces places;
    places.HostFolder = platform::ProgramFilesDir();
    std::error_code ec;
    places.HostExe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) places.HostExe = "/proc/self/exe";
    places.LibraryFile = std::move(libraryFile);
    return places;
}

bool HostVersionSupported(const fs::path& executable)
{
    if (AsciiLower(executable.filename().string()).find("mirvak") == std::string::npos) return false;
    platform::VersionRecord record;
    if (!platform::ReadVersionRecord(executable, record)) return false;
    const uint16_t parts[4] = {record.major, record.minor, record.release, record.build};
    for (int i = 0; i < 4; ++i)
        if (parts[i] < kHostVersion[i]) return false;
    return true;
}

std::string ModuleDescription(const fs::path& file)
{
    platform::VersionRecord record;
    if (!platform::ReadVersionRecord(file, record)) return {};
    if (record.fileDescription.empty() || record.fileVersion.empty())
        return record.fileDescription + record.fileVersion;
    return record.fileDescription + " " + record.fileVersion;
}

TLoaderCore* CurrentLoaderCore() { return g_current.load(); }

void SetCurrentLoaderCore(TLoaderCore* core) { g_current.store(core); }

// ---------------------------------------------------------------------------------
// Start-up and shutdown

TLoaderCore::TLoaderCore(TLoaderPlaces places)
    : places_(std::move(places)), pidText_(std::to_string(::getpid()))
{
    chips_.Load(places_.HostFolder / "Chip.ini");
    watch_ = std::make_unique<TWatch>(std::string(), false);
    connection_ = std::make_unique<TLoaderConnection>(*this);
    workingIni_ = places_.HostFolder / (std::to_string(platform::GetTickCount()) + ".tmp");
}

TLoaderCore::~TLoaderCore()
{
    connection_.reset();
    if (CurrentLoaderCore() == this) SetCurrentLoaderCore(nullptr);
}

// ---------------------------------------------------------------------------------
// Load and unload

namespace {

// Runs one step of the load or unload work; a failure is logged and the work goes on.
void Step(TWatch& watch, const char* name, const std::function<void()>& step) noexcept
{
    try {
        step();
    } catch (const std::exception& e) {
        try {
            watch.Log(wlExcept, std::string(name) + ": " + e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            watch.Log(wlExcept, std::string(name) + ": unknown exception");
        } catch (...) {
        }
    }
}

} // namespace

void TLoaderCore::LibraryAttach() noexcept
{
    Step(*watch_, "LibraryAttach", [this] {
        watch_->Log(wlInfo, places_.HostExe.string() + ": " + ModuleDescription(places_.HostExe));
        if (!places_.LibraryFile.empty())
            watch_->Log(wlInfo, places_.LibraryFile.string() + ": " + ModuleDescription(places_.LibraryFile));
        if (!HostSupported()) watch_->Log(wlError, kHostVersionWarning);
    });
    Step(*watch_, "LibraryAttach", [this] {
        lock_ = std::make_unique<TMutexFileHolder>();
        fs::path lockFile = DeviceListFileName();
        lockFile.replace_extension(".lck");
        const bool exclusive = lock_->Lock(lockFile.string(), 1000) >= 0;
        watch_->Log(wlInfo, std::string("Access to file setting exclusive: ") + (exclusive ? "True" : "False"));
    });
    // Only a crashed process with this id can have left working copies of it.
    Step(*watch_, "LibraryAttach", [this] { RemoveOwnWorkingCopies(); });
    Step(*watch_, "LibraryAttach", [this] {
        devicePair_.Add(DeviceListFileName(), WorkingDeviceListFileName());
        std::error_code ec;
        std::vector<fs::path> scripts;
        for (const auto& entry : fs::directory_iterator(ScriptsFolder(), ec))
            if (entry.is_regular_file() && AsciiLower(entry.path().extension().string()) == ".txt")
                scripts.push_back(entry.path());
        std::sort(scripts.begin(), scripts.end());
        for (const fs::path& script : scripts) {
            const fs::path working = TSessionFileNameHolder::WorkingName(script);
            scriptPairs_.Add(script, working);
            Step(*watch_, "LibraryAttach", [&] {
                std::string bytes;
                if (!ReadBytes(script, bytes)) throw platform::EFOpenError(platform::CannotOpenFileText(script, errno));
                platform::WriteFileAtomically(working, bytes);
            });
        }
    });
}

void TLoaderCore::LibraryDetach() noexcept
{
    Step(*watch_, "LibraryDetach", [this] {
        if (!SessionChanged()) return;
        platform::MsgResult answer = platform::MsgResult::No;
        try {
            answer = platform::ShowMessageBox(OperationWindow(), kSaveSessionQuestion, kWarningCaption,
                                              platform::MsgIcon::Warning, platform::MsgButtons::YesNo);
        } catch (...) {
            answer = platform::MsgResult::No;
        }
        AppendLogLine(std::string(kSaveSessionQuestion) + " " + platform::MsgResultName(answer));
        if (answer != platform::MsgResult::Yes) return;
        CommitScripts();
        CommitDeviceList();
    });
    Step(*watch_, "LibraryDetach", [this] { RemoveOwnWorkingCopies(); });
    Step(*watch_, "LibraryDetach", [this] { lock_.reset(); });
    Step(*watch_, "LibraryDetach", [this] { CommitIni(); });
    SaveLog();
}

std::vector<fs::path> TLoaderCore::OwnScriptWorkingCopies() const
{
    const std::string suffix = ".tmp" + pidText_;
    std::vector<fs::path> copies;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(ScriptsFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            copies.push_back(entry.path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
}

void TLoaderCore::RemoveOwnWorkingCopies()
{
    std::error_code ec;
    for (const fs::path& copy : OwnScriptWorkingCopies()) fs::remove(copy, ec);
    fs::remove(WorkingDeviceListFileName(), ec);
}

void TLoaderCore::CommitScripts()
{
    const std::vector<fs::path> copies = OwnScriptWorkingCopies();
    // Scripts registered at load whose working copy is gone were removed or renamed.
    std::vector<fs::path> removed;
    for (const auto& [script, working] : scriptPairs_.Pairs())
        if (!Exists(working)) removed.push_back(script);
    for (const fs::path& copy : copies) {
        const auto* pair = scriptPairs_.FindWorking(copy);
        const fs::path target = pair ? pair->first : copy.parent_path() / (copy.stem().string() + ".txt");
        std::string error;
        if (!RenameOver(copy, target, error)) AppendLogLine(kNotSavedText + target.string());
    }
    std::error_code ec;
    for (const fs::path& script : removed) fs::remove(script, ec);
}

void TLoaderCore::CommitIni()
{
    const fs::path working = WorkingIniFileName();
    if (!Exists(working)) {
        AppendLogLine(working.string() + " не найден");
        return;
    }
    AppendLogLine(working.string());
    std::string error;
    if (!RenameOver(working, IniFileName(), error))
        AppendLogLine("RenameFile " + working.string() + " в " + IniFileName().string() + error);
}

// ---------------------------------------------------------------------------------
// Device list

fs::path TLoaderCore::DeviceListFileName() const { return places_.HostFolder / "Sarnupolex.dvs"; }

fs::path TLoaderCore::WorkingDeviceListFileName() const
{
    return places_.HostFolder / ("Sarnupolex.dvs.tmp" + pidText_);
}

std::optional<std::string> TLoaderCore::DeviceListBytes()
{
    const fs::path working = WorkingDeviceListFileName();
    const fs::path committed = DeviceListFileName();
    std::string bytes;
    if (!Exists(working) && Exists(committed)) {
        if (!ReadBytes(committed, bytes)) throw platform::EFOpenError(platform::CannotOpenFileText(committed, errno));
        platform::WriteFileAtomically(working, bytes);
    }
    if (!Exists(working)) {
        platform::WriteFileAtomically(working, std::string_view());
        return std::nullopt;
    }
    if (!ReadBytes(working, bytes)) return std::nullopt;
    bytes = DropEmptyLines(bytes);
    if (bytes.empty()) return std::nullopt;
    return bytes;
}

const char* TLoaderCore::GetDevices() noexcept
{
    try {
        std::optional<std::string> bytes = DeviceListBytes();
        std::lock_guard<std::mutex> lock(mutex_);
        if (!bytes) return nullptr;
        devicesBuffer_ = std::move(*bytes);
        return devicesBuffer_.c_str();
    } catch (const std::exception& e) {
        Step(*watch_, "GetDevices", [&] { watch_->Log(wlError, std::string("GetDevices: ") + e.what()); });
    } catch (...) {
    }
    return nullptr;
}

std::vector<std::string> TLoaderCore::DeviceLines()
{
    std::vector<std::string> lines;
    const std::optional<std::string> bytes = DeviceListBytes();
    if (!bytes) return lines;
    size_t start = 0;
    while (start <= bytes->size()) {
        size_t end = bytes->find('\n', start);
        if (end == std::string::npos) end = bytes->size();
        lines.push_back(platform::AnsiToUtf8(std::string_view(*bytes).substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

void TLoaderCore::SaveDeviceList(const std::string& /*scheme*/, const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += platform::Utf8ToAnsi(lines[i]);
    }
    platform::WriteFileAtomically(WorkingDeviceListFileName(), text);
}

bool TLoaderCore::CommitDeviceList()
{
    std::string error;
    if (RenameOver(WorkingDeviceListFileName(), DeviceListFileName(), error)) return true;
    AppendLogLine(kNotSavedText + DeviceListFileName().string());
    return false;
}

// ---------------------------------------------------------------------------------
// Parameters from the host

void TLoaderCore::SetSarnupolexParams(const LoaderParams* params, int32_t size) noexcept
{
    Step(*watch_, "SetSarnupolexParams", [&] {
        if (!HostSupported())
            platform::ShowMessageBox(OperationWindow(), kHostVersionWarning, kWarningCaption,
                                     platform::MsgIcon::Warning, platform::MsgButtons::OK);
    });
    Step(*watch_, "SetSarnupolexParams", [&] {
        if (params && size == kParamsSize) {
            std::lock_guard<std::mutex> lock(mutex_);
            dialogsConfDisabled_ = params->DialogsConfDisabled == 1;
            manualTermEvent_ = params->ManualTermEvent;
            return;
        }
        watch_->Log(wlError, "Не верный размер параметров: " + std::to_string(size) + ", ожидается " +
                                 std::to_string(kParamsSize));
    });
}

bool TLoaderCore::DialogsConfDisabled() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dialogsConfDisabled_;
}

uint32_t TLoaderCore::ManualTermEvent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return manualTermEvent_;
}

platform::HWND TLoaderCore::OperationWindow() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return operationWindow_;
}

void TLoaderCore::SetOperationWindow(platform::HWND window)
{
    std::lock_guard<std::mutex> lock(mutex_);
    operationWindow_ = window;
}

void TLoaderCore::MarkSessionChanged()
{
    std::lock_guard<std::mutex> lock(mutex_);
    sessionChanged_ = true;
}

bool TLoaderCore::SessionChanged() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sessionChanged_;
}

bool TLoaderCore::HostSupported() const
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (hostSupported_) return *hostSupported_;
    }
    const bool supported = HostVersionSupported(places_.HostExe);
    std::lock_guard<std::mutex> lock(mutex_);
    hostSupported_ = supported;
    return supported;
}

// ---------------------------------------------------------------------------------
// Operation log

void TLoaderCore::AppendLogLine(const std::string& text)
{
    const std::string line = TimeOfDay() + ": " + text + "\r\n";
    std::lock_guard<std::mutex> lock(mutex_);
    operationLog_ += line;
}

void TLoaderCore::PostLogLine(const std::string& text)
{
    std::string line = text;
    if (line.size() >= 3 && EndsWithCrLf(line)) line.resize(line.size() - 2);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastLine_ = line;
    }
    DeliverLogLine(line);
}

void TLoaderCore::SendLogLine(const std::string& text)
{
    std::string line = text;
    if (line.size() >= 3 && EndsWithCrLf(line)) line.resize(line.size() - 2);
    DeliverLogLine(line);
}

void TLoaderCore::DeliverLogLine(const std::string& line)
{
    AppendLogLine(line);
    const platform::HWND window = OperationWindow();
    if (window == 0 || line.empty() || !platform::IsWindow(window)) return;
    for (const std::string& part : platform::SplitLogText(line)) {
        const platform::ATOM atom = platform::AddAtom(part);
        if (atom == 0) continue;
        platform::SendMessage(window, platform::WM_LOADER_PROGRESS, PROGRESS_TEXT, atom);
    }
}

void TLoaderCore::LogHexDump(const std::string& prefix, const uint8_t* data, size_t count)
{
    AppendLogLine(count == 0 ? prefix : prefix + " " + HexDump(data, count));
}

void TLoaderCore::SetLastLine(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lastLine_ = text;
}

std::string TLoaderCore::LastLine() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastLine_;
}

std::string TLoaderCore::OperationLog() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return operationLog_;
}

void TLoaderCore::SaveLog() noexcept
{
    try {
        const std::string log = OperationLog();
        if (!log.empty()) platform::WriteFileAtomically(LogFileName(), log);
    } catch (const std::exception& e) {
        try {
            watch_->Log(wlError, std::string("SaveLog: ") + e.what());
        } catch (...) {
        }
    } catch (...) {
    }
}

fs::path TLoaderCore::LogFileName() const { return places_.HostFolder / "SarnupolexLib.log"; }

// ---------------------------------------------------------------------------------
// Dialog settings

fs::path TLoaderCore::IniFileName() const { return places_.HostFolder / "SarnupolexLib.ini"; }

fs::path TLoaderCore::WorkingIniFileName() const { return workingIni_; }

std::unique_ptr<platform::CustomIniFile> TLoaderCore::OpenDialogSettings() const
{
    return std::make_unique<TDialogSettingsFile>(WorkingIniFileName(), IniFileName());
}

fs::path TLoaderCore::ScriptsFolder() const { return places_.HostFolder / "Scripts"; }
