#include "platform/ProgramDir.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>
#include <sys/stat.h>

namespace platform {
namespace {

std::optional<std::string> Env(const char* name)
{
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

std::filesystem::path SelfExe()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p;
}

} // namespace

std::filesystem::path ExecutableDir() { return SelfExe().parent_path(); }

std::string ExecutableName() { return SelfExe().filename().string(); }

std::filesystem::path ResolveProgramFilesDir(const ProgramDirInputs& in)
{
    if (in.overrideDir && !in.overrideDir->empty()) return std::filesystem::path(*in.overrideDir);
    if (in.executableDirWritable) return in.executableDir;
    if (in.xdgConfigHome && !in.xdgConfigHome->empty() && std::filesystem::path(*in.xdgConfigHome).is_absolute())
        return std::filesystem::path(*in.xdgConfigHome) / in.programName;
    const std::string home = in.home.value_or("");
    return std::filesystem::path(home) / ".config" / in.programName;
}

std::filesystem::path ProgramFilesDir()
{
    ProgramDirInputs in;
    in.executableDir = ExecutableDir();
    in.executableDirWritable = !in.executableDir.empty() && access(in.executableDir.c_str(), W_OK) == 0;
    in.overrideDir = Env(kProgramDirVariable);
    in.xdgConfigHome = Env("XDG_CONFIG_HOME");
    in.home = Env("HOME");
    in.programName = std::filesystem::path(ExecutableName()).stem().string();
    const auto dir = ResolveProgramFilesDir(in);
    const bool perUser = !(in.overrideDir && !in.overrideDir->empty()) && !in.executableDirWritable;
    if (perUser) {
        std::error_code ec;
        if (!std::filesystem::exists(dir, ec)) {
            std::filesystem::create_directories(dir.parent_path(), ec);
            ::mkdir(dir.c_str(), 0700);
        }
    }
    return dir;
}

} // namespace platform
