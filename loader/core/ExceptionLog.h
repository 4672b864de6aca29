#pragma once
// Logging of every exception the loader library raises, with a report of the host
// program, the machine and the call stack, so that a failed exchange can be diagnosed
// from the rolling log alone.
//
// Every throw compiled into a binary that links the loader's objects goes through a
// hook (the link wraps __cxa_throw): while tracking is on, the hook records the throwing
// thread's stack and writes four log entries for the exception. Throws inside other
// shared objects (the standard library, Qt, the platform library) are not seen there;
// the places where exceptions end call LogException, which logs whatever the hook did
// not, and nothing twice.

#include "loader/core/Watches.h"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

// Texts of the report.
extern const char* const SExcApplication;     // "Приложение: %s (версия %s)"
extern const char* const SExcStartParameters; // "Параметры запуска: %s"
extern const char* const SExcStartTime;       // "Время старта приложения: %s"
extern const char* const SExcComputer;        // "Компьютер: %s"
extern const char* const SExcUser;            // "Пользователь: %s"
extern const char* const SExcOperatingSystem; // "Операционная система: %s %s, Версия: %d.%d, Сборка: %x, "%s""
extern const char* const SExcProcessor;       // "Процессор: %s, %s, %d MHz"
extern const char* const SExcMemory;          // "Память: %d; свободно %d"
extern const char* const SExcScreen;          // "Экран: %dx%d pixels, %d bpp"
extern const char* const SExcCallStack;       // "Стек команд, создан %s"
extern const char* const SExcActiveControls;  // "Иерархия активных элементов:"
extern const char* const SExcNoVersion;       // "не указана"
// Text of the first and last of the four log entries: "Exception Call stack".
extern const char* const SExcLogFrame;

// Where the system facts are read from; tests point them at fixture folders.
struct TSystemRoots {
    std::filesystem::path Proc = "/proc";
    std::filesystem::path Etc = "/etc";
};

// The facts that do not change while the process runs: each a finished report line,
// Computer and User the bare names (empty when the system call fails).
struct TSystemFacts {
    std::string Application;
    std::string StartParameters;
    std::string Computer;
    std::string User;
    std::string OperatingSystem;
    std::string Processor;
};

// "Приложение: <ProductName> (версия <FileVersion>)" of the executable's version record;
// without a record or a value, its full path, or "не указана" for the version.
std::string ApplicationLine(const std::filesystem::path& executable);
// The items 1..n of a NUL-separated command line (as /proc/<pid>/cmdline holds it).
std::vector<std::string> CommandLineArguments(std::string_view cmdline);
// The same of this process.
std::vector<std::string> ProcessArguments();
// The items 1..n of a NUL-separated command line, each after one blank: " a b"; empty
// without parameters.
std::string StartParametersOf(std::string_view cmdline);
// StartParametersOf of this process.
std::string StartParameters();
// The operating-system line: the PRETTY_NAME of an os-release text, the kernel release
// as the service-pack text, major, minor and build (hexadecimal) from the release's
// first three numbers (0 where missing), and the kernel's version text in quotes.
std::string OperatingSystemLine(std::string_view osRelease, std::string_view kernelRelease,
                                std::string_view kernelVersion);
// The processor line of the first processor of a cpuinfo text: vendor_id, model name,
// cpu MHz rounded (0 when missing), then the marks of its flags: " [FDIV Bug]",
// " MMXex" / " MMX", " SSE<n>" at the highest level, " 3DNow!ex" / " 3DNow!",
// " 64 bits", " DEP".
std::string ProcessorLine(std::string_view cpuinfo);
// "Память: <total>; свободно <MemAvailable>", both in megabytes (bytes >> 20); the free
// figure is 0 when the meminfo text has no MemAvailable.
std::string MemoryLine(uint64_t totalBytes, std::string_view meminfo);
// The facts read now from the roots, the host executable (/proc/self/exe), uname,
// gethostname and the password database. Raises nothing; what cannot be read is empty.
TSystemFacts GatherSystemFacts(const TSystemRoots& roots = {});

// The primary screen as the GUI layer last read it; 0x0 pixels, 0 bpp without a display.
struct TScreenFacts {
    int Width = 0;
    int Height = 0;
    int Depth = 0;
};
void SetScreenFacts(const TScreenFacts& facts);
TScreenFacts ScreenFacts();

// Lines of the active-control chain ("<class> "<name>"", the focused control first),
// given by the GUI layer; empty when no control of the library's dialogs has the focus
// or the report is not built on the GUI thread. An exception of the source drops the
// section.
using TActiveControlSource = std::function<std::vector<std::string>()>;
void SetActiveControlSource(TActiveControlSource source);

// A call stack as recorded at a throw: return addresses, the throwing function's first.
struct TThrowStack {
    std::vector<void*> Frames;
    TWatchTime Time;
};
// The stack of the exception's throw when the hook recorded one; nothing for a foreign
// exception or one thrown while tracking was off.
std::optional<TThrowStack> RecordedStack(const std::exception_ptr& error);
// The stack of the calling thread now, without this function's frame.
TThrowStack CaptureStack();
// One line per frame: "[<module file>] <function> (Line <n>, "<source file>" + <offset>)",
// the source part only where debug information has it, the function only where a symbol
// covers the address; never an address.
std::vector<std::string> SymbolizeStack(const std::vector<void*>& frames);

// How a report is built: the log's (80 hyphens, no start time) or the dialog's.
struct TReportOptions {
    int SeparatorWidth = 80;
    // The library's load time, shown after the start parameters when given.
    std::optional<TWatchTime> StartTime;
    // The stack section; none when null.
    const TThrowStack* Stack = nullptr;
};
// Appends the report lines: application, start parameters, [start time,] computer,
// user, separator, operating system, processor, memory, screen, separator, then the
// stack with its header and a separator, and the active-control chain with its header
// and a separator when there are such lines.
void BuildExceptionReport(std::vector<std::string>& lines, const TReportOptions& options);
// The log's report with the calling thread's last recorded stack.
void BuildExceptionReport(std::vector<std::string>& lines);

// Exceptions whose lower-cased text (AnsiLowerCase) contains an entry are not logged.
// Entries are compared as they are, so they are written in lower case. Empty at start.
class TExceptionIgnoreList {
public:
    void Add(std::string entry);
    void Clear();
    std::vector<std::string> Entries() const;
    // Whether the text, lower-cased, contains an entry.
    bool Matches(std::string_view text) const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> entries_;
};
TExceptionIgnoreList& IgnoreList();

// The demangled class name without namespaces ("EIOSerialException", "out_of_range").
std::string ExceptionClassName(const std::type_info& type);
// "<class>: <message>" of an exception (platform::ErrorText: a system error's text in
// Russian), with " (<code>)" added for a std::system_error;
// "<class>: " for an object that is no std::exception.
std::string ExceptionText(const std::exception_ptr& error);

// The notifier of the places where exceptions end: logs the four entries of an exception
// the hook did not log (a throw inside another shared object), nothing when it did, when
// tracking is off or when the ignore list matches. The stack section is the catching
// thread's stack. Never raises.
void LogException(const std::exception_ptr& error) noexcept;

// Starts tracking: gathers the fixed facts, creates the nameless watch on the shared log
// category and records the load time. Call after the shared category exists.
void StartExceptionTracking();
// Stops tracking and frees the watch; call before the shared category is freed. Throws
// after the stop are not logged.
void StopExceptionTracking() noexcept;
// Frees what tracking keeps between start and stop (the facts, the table of live
// exceptions, the symbolizer, the ignore list). Only for a library whose code is about to be unmapped,
// after StopExceptionTracking: an exception it threw cannot be destroyed later anyway.
void ReleaseExceptionTracking() noexcept;
bool ExceptionTrackingActive();
// When StartExceptionTracking ran last.
TWatchTime LibraryLoadTime();
