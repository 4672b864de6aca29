#include "loader/core/ExceptionLog.h"

#include "common/StrRoutines.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/VersionRecord.h"

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>
#include <execinfo.h>
#include <pwd.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>
#include <unordered_map>

const char* const SExcApplication = "Приложение: %s (версия %s)";
const char* const SExcStartParameters = "Параметры запуска: %s";
const char* const SExcStartTime = "Время старта приложения: %s";
const char* const SExcComputer = "Компьютер: %s";
const char* const SExcUser = "Пользователь: %s";
const char* const SExcOperatingSystem = "Операционная система: %s %s, Версия: %d.%d, Сборка: %x, \"%s\"";
const char* const SExcProcessor = "Процессор: %s, %s, %d MHz";
const char* const SExcMemory = "Память: %d; свободно %d";
const char* const SExcScreen = "Экран: %dx%d pixels, %d bpp";
const char* const SExcCallStack = "Стек команд, создан %s";
const char* const SExcActiveControls = "Иерархия активных элементов:";
const char* const SExcNoVersion = "не указана";
const char* const SExcLogFrame = "Exception Call stack";

namespace {

constexpr int kMaxFrames = 64;

std::string ReadWholeFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string_view Trim(std::string_view s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// "key : value" lines of a block; the first value of each key.
std::map<std::string, std::string, std::less<>> KeyValues(std::string_view text, char separator)
{
    std::map<std::string, std::string, std::less<>> values;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        const size_t sep = line.find(separator);
        if (sep != std::string_view::npos)
            values.emplace(std::string(Trim(line.substr(0, sep))), std::string(Trim(line.substr(sep + 1))));
        pos = end + 1;
    }
    return values;
}

std::string FormatLocal(TWatchTime time, const char* pattern)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, pattern, &tm);
    return buffer;
}

std::string Separator(int width) { return std::string(static_cast<size_t>(std::max(width, 0)), '-'); }

// --- Process-wide state --------------------------------------------------------------

// One exception object the hook saw, from its throw until its destruction.
struct TTrackedException {
    void (*destructor)(void*) = nullptr;
    const std::exception* error = nullptr; // the object as std::exception, if it is one
    TThrowStack stack;
    bool logged = false;
};

struct TTracking {
    std::mutex lock; // the table and the watch
    std::unordered_map<void*, TTrackedException> live;
    std::unique_ptr<TWatch> watch;
    std::optional<TSystemFacts> facts;
    TWatchTime loadTime = std::chrono::system_clock::now();
    TScreenFacts screen;
    TActiveControlSource activeControls;
};

// Created on first use and freed only by ReleaseExceptionTracking: exception objects
// thrown while tracking was on may be destroyed after the stop, even during the
// process's exit.
template <class T>
T& Lazy(std::atomic<T*>& slot)
{
    T* object = slot.load(std::memory_order_acquire);
    if (object) return *object;
    T* fresh = new T;
    if (slot.compare_exchange_strong(object, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;
    return *object;
}

std::atomic<TTracking*> g_tracking{nullptr};

TTracking& Tracking() { return Lazy(g_tracking); }

std::atomic<bool> g_active{false};

// The thread inside the notifier: a throw there is neither logged nor followed.
thread_local bool t_inNotifier = false;

// The calling thread's last recorded stack; plain data, so that no thread-exit
// destructor pins the library in memory.
struct TLastStack {
    void* frames[kMaxFrames];
    int count;
    int64_t time; // system clock ticks
};
thread_local TLastStack t_lastStack{};

class NotifierScope {
public:
    NotifierScope() : entered_(!t_inNotifier) { t_inNotifier = true; }
    ~NotifierScope()
    {
        if (entered_) t_inNotifier = false;
    }
    bool Entered() const { return entered_; }

private:
    bool entered_;
};

// --- Symbolizer ------------------------------------------------------------------------

class TSymbolizer {
public:
    ~TSymbolizer() { Reset(); }

    std::string Line(void* frame)
    {
        std::lock_guard<std::mutex> lock(lock_);
        auto it = cache_.find(frame);
        if (it != cache_.end()) return it->second;
        std::string line = Resolve(reinterpret_cast<Dwarf_Addr>(frame));
        cache_.emplace(frame, line);
        return line;
    }

    void Reset()
    {
        std::lock_guard<std::mutex> lock(lock_);
        if (dwfl_) dwfl_end(dwfl_);
        dwfl_ = nullptr;
        cache_.clear();
    }

private:
    void Report()
    {
        if (!dwfl_) {
            static char* debuginfoPath = nullptr;
            static const Dwfl_Callbacks callbacks = {
                dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr, &debuginfoPath};
            dwfl_ = dwfl_begin(&callbacks);
            if (!dwfl_) return;
        }
        dwfl_report_begin_add(dwfl_);
        dwfl_linux_proc_report(dwfl_, getpid());
        dwfl_report_end(dwfl_, nullptr, nullptr);
    }

    Dwfl_Module* Module(Dwarf_Addr address)
    {
        if (!dwfl_) Report();
        if (!dwfl_) return nullptr;
        Dwfl_Module* module = dwfl_addrmodule(dwfl_, address);
        if (!module) {
            // A module loaded since the last look at the process's maps.
            Report();
            module = dwfl_ ? dwfl_addrmodule(dwfl_, address) : nullptr;
        }
        return module;
    }

    std::string Resolve(Dwarf_Addr returnAddress)
    {
        // The call instruction lies before the return address.
        const Dwarf_Addr address = returnAddress - 1;
        Dwfl_Module* module = Module(address);
        if (!module) return "[?]";
        const char* moduleName = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        std::string line = "[" + std::filesystem::path(moduleName ? moduleName : "?").filename().string() + "]";

        if (const char* versioned = dwfl_module_addrname(module, address)) {
            // Without the symbol version ("__libc_start_main@@GLIBC_2.34").
            const std::string symbol(versioned, std::strcspn(versioned, "@"));
            int status = 0;
            char* demangled = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
            line += " ";
            line += status == 0 && demangled ? demangled : symbol;
            std::free(demangled);
        }

        int lineNo = 0;
        const char* source = nullptr;
        if (Dwfl_Line* l = dwfl_module_getsrc(module, address))
            source = dwfl_lineinfo(l, nullptr, &lineNo, nullptr, nullptr, nullptr);
        if (source && lineNo > 0) {
            line += platform::Format(" (Line %d, \"%s\"", lineNo, std::filesystem::path(source).filename().c_str());
            const int start = FunctionStartLine(module, address);
            if (start > 0 && lineNo >= start) line += platform::Format(" + %d", lineNo - start);
            line += ")";
        }
        return line;
    }

    // The declaration line of the innermost function (or inlined function) at the address.
    static int FunctionStartLine(Dwfl_Module* module, Dwarf_Addr address)
    {
        Dwarf_Addr bias = 0;
        Dwarf_Die* cu = dwfl_module_addrdie(module, address, &bias);
        if (!cu) return 0;
        Dwarf_Die* scopes = nullptr;
        const int count = dwarf_getscopes(cu, address - bias, &scopes);
        int start = 0;
        for (int i = 0; i < count; ++i) {
            const int tag = dwarf_tag(&scopes[i]);
            if (tag == DW_TAG_subprogram || tag == DW_TAG_inlined_subroutine) {
                if (dwarf_decl_line(&scopes[i], &start) != 0) start = 0;
                break;
            }
        }
        std::free(scopes);
        return start;
    }

    std::mutex lock_;
    Dwfl* dwfl_ = nullptr;
    std::unordered_map<void*, std::string> cache_;
};

std::atomic<TSymbolizer*> g_symbolizer{nullptr};

TSymbolizer& Symbolizer() { return Lazy(g_symbolizer); }

// --- Exceptions as objects -----------------------------------------------------------

// The thrown object as a std::exception, or null when it is none.
const std::exception* AsStdException(void* object, const std::type_info* type)
{
    void* adjusted = object;
    if (type && typeid(std::exception).__do_catch(type, &adjusted, 1))
        return static_cast<const std::exception*>(adjusted);
    return nullptr;
}

std::string TextOf(const std::type_info* type, const std::exception* error)
{
    std::string text = (type ? ExceptionClassName(*type) : std::string("?")) + ": ";
    if (error) {
        text += platform::ErrorText(*error);
        if (const auto* systemError = dynamic_cast<const std::system_error*>(error))
            text += " (" + std::to_string(systemError->code().value()) + ")";
    }
    return text;
}

// The four entries of one exception; the report with the given stack.
void WriteEntries(const std::string& text, const TThrowStack* stack)
{
    std::vector<std::string> lines;
    TReportOptions options;
    options.Stack = stack;
    BuildExceptionReport(lines, options);
    std::string report;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) report += "\r\n";
        report += lines[i];
    }
    TTracking& tracking = Tracking();
    std::lock_guard<std::mutex> lock(tracking.lock);
    if (!tracking.watch) return;
    tracking.watch->Log(wlEnter, SExcLogFrame);
    tracking.watch->Log(wlExcept, text);
    tracking.watch->Log(wlInfo, report);
    tracking.watch->Log(wlLeave, SExcLogFrame);
}

void ForgetTracked(void* object) noexcept
{
    void (*destructor)(void*) = nullptr;
    {
        TTracking& tracking = Tracking();
        std::lock_guard<std::mutex> lock(tracking.lock);
        auto it = tracking.live.find(object);
        if (it != tracking.live.end()) {
            destructor = it->second.destructor;
            tracking.live.erase(it);
        }
    }
    if (destructor) destructor(object);
}

// Destructor given to the runtime in place of the object's own: forgets the object, then
// destroys it.
void TrackedDestructor(void* object) { ForgetTracked(object); }

// The return addresses of the calling thread from the frame with the return address
// first on (the frames of the capture are dropped; the count of those differs between
// unwinders, so the cut is found by address). At most kMaxFrames.
__attribute__((noinline)) int Backtrace(void** frames, const void* first)
{
    void* raw[kMaxFrames + 8];
    const int count = backtrace(raw, kMaxFrames + 8);
    int start = 0;
    while (start < count && raw[start] != first) ++start;
    if (start == count) start = 0;
    const int kept = std::min(count - start, kMaxFrames);
    std::copy(raw + start, raw + start + kept, frames);
    return kept;
}

// The notifier of the throw hook. Returns the destructor to give the runtime.
using TDestructor = void (*)(void*);
// caller is the return address into the throwing function.
__attribute__((noinline)) TDestructor NotifyThrow(void* object, std::type_info* type, TDestructor destructor,
                                                  const void* caller) noexcept
{
    NotifierScope scope;
    // A throw inside a log write (the category's lock held) is not followed: writing the
    // entries would wait for that lock.
    if (!scope.Entered() || !g_active.load() || WatchWriteInProgress()) return destructor;
    bool registered = false;
    try {
        // Frames of this function and of the hook are dropped.
        TLastStack& last = t_lastStack;
        last.count = Backtrace(last.frames, caller);
        const TWatchTime now = std::chrono::system_clock::now();
        last.time = now.time_since_epoch().count();

        TThrowStack stack{std::vector<void*>(last.frames, last.frames + last.count), now};
        const std::exception* error = AsStdException(object, type);
        const std::string text = TextOf(type, error);
        {
            TTracking& tracking = Tracking();
            std::lock_guard<std::mutex> lock(tracking.lock);
            TTrackedException& entry = tracking.live[object];
            entry.destructor = destructor;
            entry.error = error;
            entry.stack = stack;
            entry.logged = true;
            registered = true;
        }
        if (!IgnoreList().Matches(text)) WriteEntries(text, &stack);
        return TrackedDestructor;
    } catch (...) {
        // The exception being thrown goes on as it is.
        return registered ? TrackedDestructor : destructor;
    }
}

} // namespace

// The throw hook: every __cxa_throw of the objects linked with --wrap=__cxa_throw. Of
// default visibility: under the sanitizers a shared object of the link (their runtime,
// which defines a __cxa_throw of its own) is tied to it, and the linker refuses a hidden
// one. The loader library's version script keeps it local there.
extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));
[[noreturn]] __attribute__((visibility("default"))) void __wrap___cxa_throw(void* object, std::type_info* type,
                                                                           void (*destructor)(void*))
{
    destructor = NotifyThrow(object, type, destructor, __builtin_return_address(0));
    __real___cxa_throw(object, type, destructor);
}
}

// --- Report lines --------------------------------------------------------------------

std::string ApplicationLine(const std::filesystem::path& executable)
{
    platform::VersionRecord record;
    const bool haveRecord = platform::ReadVersionRecord(executable, record);
    const std::string product = haveRecord && !record.productName.empty() ? record.productName : executable.string();
    const std::string version = haveRecord && !record.fileVersion.empty() ? record.fileVersion : SExcNoVersion;
    return platform::Format(SExcApplication, product.c_str(), version.c_str());
}

std::vector<std::string> CommandLineArguments(std::string_view cmdline)
{
    std::vector<std::string> arguments;
    size_t pos = cmdline.find('\0');
    while (pos != std::string_view::npos && pos + 1 < cmdline.size()) {
        const size_t end = cmdline.find('\0', pos + 1);
        arguments.emplace_back(cmdline.substr(pos + 1, end == std::string_view::npos ? end : end - pos - 1));
        pos = end;
    }
    return arguments;
}

std::vector<std::string> ProcessArguments() { return CommandLineArguments(ReadWholeFile("/proc/self/cmdline")); }

std::string StartParametersOf(std::string_view cmdline)
{
    std::string result;
    for (const std::string& argument : CommandLineArguments(cmdline)) result += " " + argument;
    return result;
}

std::string StartParameters() { return StartParametersOf(ReadWholeFile("/proc/self/cmdline")); }

std::string OperatingSystemLine(std::string_view osRelease, std::string_view kernelRelease,
                                std::string_view kernelVersion)
{
    const auto values = KeyValues(osRelease, '=');
    std::string name;
    if (auto it = values.find("PRETTY_NAME"); it != values.end()) {
        name = it->second;
        if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front())
            name = name.substr(1, name.size() - 2);
    }
    int numbers[3] = {0, 0, 0};
    size_t pos = 0;
    for (int i = 0; i < 3 && pos < kernelRelease.size(); ++i) {
        if (kernelRelease[pos] < '0' || kernelRelease[pos] > '9') break;
        int value = 0;
        while (pos < kernelRelease.size() && kernelRelease[pos] >= '0' && kernelRelease[pos] <= '9' && value < 100000000)
            value = value * 10 + (kernelRelease[pos++] - '0');
        numbers[i] = value;
        if (pos >= kernelRelease.size() || kernelRelease[pos] != '.') break;
        ++pos;
    }
    return platform::Format(SExcOperatingSystem, name.c_str(), std::string(kernelRelease).c_str(), numbers[0],
                            numbers[1], static_cast<unsigned>(numbers[2]), std::string(kernelVersion).c_str());
}

std::string ProcessorLine(std::string_view cpuinfo)
{
    // The first processor's block ends at the first empty line.
    const size_t blockEnd = cpuinfo.find("\n\n");
    const auto values = KeyValues(cpuinfo.substr(0, blockEnd), ':');
    auto value = [&](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    };
    int mhz = 0;
    if (const std::string text = value("cpu MHz"); !text.empty()) {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && std::isfinite(v) && v >= 0 && v < 1e9) mhz = static_cast<int>(std::lround(v));
    }
    std::vector<std::string> flags;
    std::istringstream in(value("flags"));
    for (std::string flag; in >> flag;) flags.push_back(flag);
    auto has = [&](std::string_view flag) { return std::find(flags.begin(), flags.end(), flag) != flags.end(); };

    std::string line = platform::Format(SExcProcessor, value("vendor_id").c_str(), value("model name").c_str(), mhz);
    if (value("fdiv_bug") == "yes") line += " [FDIV Bug]";
    if (has("mmxext")) line += " MMXex";
    else if (has("mmx")) line += " MMX";
    // The highest SSE level the flags name.
    static const struct {
        const char* flag;
        int level;
    } kSseLevels[] = {{"sse", 1}, {"sse2", 2}, {"pni", 3}, {"ssse3", 3}, {"sse4_1", 4}, {"sse4_2", 4}, {"sse4a", 4}};
    int sse = 0;
    for (const auto& row : kSseLevels)
        if (has(row.flag)) sse = std::max(sse, row.level);
    if (sse > 0) line = platform::Format("%s SSE%d", line.c_str(), sse);
    if (has("3dnowext")) line += " 3DNow!ex";
    else if (has("3dnow")) line += " 3DNow!";
    if (has("lm")) line += " 64 bits";
    if (has("nx")) line += " DEP";
    return line;
}

std::string MemoryLine(uint64_t totalBytes, std::string_view meminfo)
{
    uint64_t freeBytes = 0;
    const auto values = KeyValues(meminfo, ':');
    if (auto it = values.find("MemAvailable"); it != values.end())
        freeBytes = std::strtoull(it->second.c_str(), nullptr, 10) * 1024;
    return platform::Format(SExcMemory, static_cast<int>(totalBytes >> 20), static_cast<int>(freeBytes >> 20));
}

TSystemFacts GatherSystemFacts(const TSystemRoots& roots)
{
    TSystemFacts facts;
    try {
        facts.Application = ApplicationLine(std::filesystem::read_symlink(roots.Proc / "self" / "exe"));
    } catch (...) {
        facts.Application = ApplicationLine(roots.Proc / "self" / "exe");
    }
    facts.StartParameters = StartParametersOf(ReadWholeFile(roots.Proc / "self" / "cmdline"));
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) facts.Computer = host;
    passwd pw{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        facts.User = found->pw_name;
    utsname names{};
    if (uname(&names) != 0) names = utsname{};
    facts.OperatingSystem = OperatingSystemLine(ReadWholeFile(roots.Etc / "os-release"), names.release, names.version);
    facts.Processor = ProcessorLine(ReadWholeFile(roots.Proc / "cpuinfo"));
    return facts;
}

void SetScreenFacts(const TScreenFacts& facts)
{
    std::lock_guard<std::mutex> lock(Tracking().lock);
    Tracking().screen = facts;
}

TScreenFacts ScreenFacts()
{
    std::lock_guard<std::mutex> lock(Tracking().lock);
    return Tracking().screen;
}

void SetActiveControlSource(TActiveControlSource source)
{
    std::lock_guard<std::mutex> lock(Tracking().lock);
    Tracking().activeControls = std::move(source);
}

// --- Stacks --------------------------------------------------------------------------

namespace {

// The exception object an error holds, the key of its tracking entry; none for no error
// or one that is no std::exception.
const std::exception* ThrownObject(const std::exception_ptr& error) noexcept
{
    if (!error) return nullptr;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return &e;
    } catch (...) {
    }
    return nullptr;
}

} // namespace

std::optional<TThrowStack> RecordedStack(const std::exception_ptr& error)
{
    const std::exception* key = ThrownObject(error);
    if (!key) return std::nullopt;
    TTracking& tracking = Tracking();
    std::lock_guard<std::mutex> lock(tracking.lock);
    for (const auto& [object, entry] : tracking.live)
        if (entry.error == key) return entry.stack;
    return std::nullopt;
}

__attribute__((noinline)) TThrowStack CaptureStack()
{
    TThrowStack stack;
    stack.Frames.resize(kMaxFrames);
    stack.Frames.resize(static_cast<size_t>(Backtrace(stack.Frames.data(), __builtin_return_address(0))));
    stack.Time = std::chrono::system_clock::now();
    return stack;
}

std::vector<std::string> SymbolizeStack(const std::vector<void*>& frames)
{
    std::vector<std::string> lines;
    lines.reserve(frames.size());
    for (void* frame : frames) lines.push_back(Symbolizer().Line(frame));
    return lines;
}

// --- Report --------------------------------------------------------------------------

void BuildExceptionReport(std::vector<std::string>& lines, const TReportOptions& options)
{
    TTracking& tracking = Tracking();
    std::optional<TSystemFacts> facts;
    TScreenFacts screen;
    TActiveControlSource activeControls;
    {
        std::lock_guard<std::mutex> lock(tracking.lock);
        facts = tracking.facts;
        screen = tracking.screen;
        activeControls = tracking.activeControls;
    }
    if (!facts) facts = GatherSystemFacts();
    const std::string separator = Separator(options.SeparatorWidth);

    lines.push_back(facts->Application);
    lines.push_back(platform::Format(SExcStartParameters, facts->StartParameters.c_str()));
    if (options.StartTime)
        lines.push_back(platform::Format(SExcStartTime, FormatLocal(*options.StartTime, "%d.%m.%y %H:%M:%S").c_str()));
    lines.push_back(platform::Format(SExcComputer, facts->Computer.c_str()));
    lines.push_back(platform::Format(SExcUser, facts->User.c_str()));
    lines.push_back(separator);
    lines.push_back(facts->OperatingSystem);
    lines.push_back(facts->Processor);
    struct sysinfo info {};
    const uint64_t total = sysinfo(&info) == 0 ? uint64_t(info.totalram) * info.mem_unit : 0;
    lines.push_back(MemoryLine(total, ReadWholeFile("/proc/meminfo")));
    lines.push_back(platform::Format(SExcScreen, screen.Width, screen.Height, screen.Depth));
    lines.push_back(separator);

    if (options.Stack) {
        lines.push_back(platform::Format(SExcCallStack, FormatLocal(options.Stack->Time, "%d.%m.%Y %H:%M:%S").c_str()));
        for (std::string& line : SymbolizeStack(options.Stack->Frames)) lines.push_back(std::move(line));
        lines.push_back(separator);
    }

    std::vector<std::string> chain;
    if (activeControls) {
        try {
            chain = activeControls();
        } catch (...) {
            chain.clear();
        }
    }
    if (!chain.empty()) {
        lines.push_back(SExcActiveControls);
        for (std::string& line : chain) lines.push_back(std::move(line));
        lines.push_back(separator);
    }
}

void BuildExceptionReport(std::vector<std::string>& lines)
{
    const TLastStack& last = t_lastStack;
    TThrowStack stack{std::vector<void*>(last.frames, last.frames + last.count),
                      TWatchTime(TWatchTime::duration(last.time))};
    TReportOptions options;
    options.Stack = last.count > 0 ? &stack : nullptr;
    BuildExceptionReport(lines, options);
}

// --- Ignore list ---------------------------------------------------------------------

void TExceptionIgnoreList::Add(std::string entry)
{
    std::lock_guard<std::mutex> lock(lock_);
    entries_.push_back(std::move(entry));
}

void TExceptionIgnoreList::Clear()
{
    std::lock_guard<std::mutex> lock(lock_);
    entries_.clear();
}

std::vector<std::string> TExceptionIgnoreList::Entries() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return entries_;
}

bool TExceptionIgnoreList::Matches(std::string_view text) const
{
    std::lock_guard<std::mutex> lock(lock_);
    if (entries_.empty()) return false;
    const std::string lower = AnsiLowerCase(text);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const std::string& entry) { return lower.find(entry) != std::string::npos; });
}

namespace {
std::atomic<TExceptionIgnoreList*> g_ignoreList{nullptr};
} // namespace

TExceptionIgnoreList& IgnoreList() { return Lazy(g_ignoreList); }

// --- Exceptions ----------------------------------------------------------------------

std::string ExceptionClassName(const std::type_info& type)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    // The part after the last "::" outside template arguments.
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<') ++depth;
        else if (name[i] == '>') --depth;
        else if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
    }
    return name.substr(start);
}

std::string ExceptionText(const std::exception_ptr& error)
{
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return TextOf(&typeid(e), &e);
    } catch (...) {
        if (const std::type_info* type = abi::__cxa_current_exception_type()) return TextOf(type, nullptr);
    }
    return "?: ";
}

void LogException(const std::exception_ptr& error) noexcept
{
    NotifierScope scope;
    if (!scope.Entered() || !g_active.load() || WatchWriteInProgress() || !error) return;
    try {
        if (const std::exception* key = ThrownObject(error)) {
            TTracking& tracking = Tracking();
            std::lock_guard<std::mutex> lock(tracking.lock);
            for (const auto& [object, entry] : tracking.live)
                if (entry.error == key && entry.logged) return;
        }
        const std::string text = ExceptionText(error);
        if (IgnoreList().Matches(text)) return;
        const TThrowStack stack = CaptureStack();
        WriteEntries(text, &stack);
    } catch (...) {
    }
}

// --- Start and stop ------------------------------------------------------------------

void StartExceptionTracking()
{
    TSystemFacts facts = GatherSystemFacts();
    // The first backtrace loads the unwinder; better here than inside a throw.
    void* warm[4];
    backtrace(warm, 4);
    auto watch = std::make_unique<TWatch>("", false);
    {
        TTracking& tracking = Tracking();
        std::lock_guard<std::mutex> lock(tracking.lock);
        tracking.facts = std::move(facts);
        tracking.watch = std::move(watch);
        tracking.loadTime = std::chrono::system_clock::now();
    }
    g_active.store(true);
}

void StopExceptionTracking() noexcept
{
    g_active.store(false);
    std::unique_ptr<TWatch> watch;
    {
        TTracking& tracking = Tracking();
        std::lock_guard<std::mutex> lock(tracking.lock);
        watch = std::move(tracking.watch);
    }
    watch.reset();
    Symbolizer().Reset();
}

void ReleaseExceptionTracking() noexcept
{
    delete g_symbolizer.exchange(nullptr);
    delete g_tracking.exchange(nullptr);
    delete g_ignoreList.exchange(nullptr);
}

bool ExceptionTrackingActive() { return g_active.load(); }

TWatchTime LibraryLoadTime()
{
    std::lock_guard<std::mutex> lock(Tracking().lock);
    return Tracking().loadTime;
}
