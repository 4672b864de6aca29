#include "configurator/core/LoaderLibrary.h"

#include "configurator/core/LoaderHost.h"
#include "platform/ProgramDir.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures";
const fs::path kLibrary = fs::path(MIRVAK_BINARY_DIR) / "bin" / "libSarnupolexLib.so";
constexpr uint32_t kWindow = 0x4711;

using Names = std::vector<std::string>;

// Every entry point the host binds that the library left null, the library's first.
Names Unbound(const TLoaderLibrary& library)
{
    Names names = UnboundEntryPoints(library.Entries(), kSarnupolexEntryPoints);
    for (const std::string& name : UnboundEntryPoints(library.Entries(), kOlderInvokeEntryPoints))
        names.push_back(name);
    return names;
}

// Whether the file is loaded in the process (the probe's own reference is given back).
bool IsLoaded(const fs::path& file)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

class LoaderLibrary : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;
    Names lines;

    // Starts the library from the file; the message list's lines go to lines.
    bool Start(TLoaderLibrary& library, const fs::path& file, const std::string& firstArgument = {})
    {
        TLoaderStartRequest request;
        request.File = file;
        request.HostWindow = kWindow;
        request.FirstArgument = firstArgument;
        request.Log = [this](const std::string& line) { lines.push_back(line); };
        return library.Start(request);
    }
};

TEST_F(LoaderLibrary, MissingFileLeavesTheProgramAFileEditor)
{
    TLoaderLibrary library;
    EXPECT_FALSE(Start(library, kFixtures / "no_such_library.so"));
    EXPECT_FALSE(library.Loaded());
    EXPECT_EQ(lines, Names{"Не найдена библиотека libSarnupolexLib.so"});
    EXPECT_EQ(Unbound(library), (Names{"GetDevices", "GetOPCodes", "SetSarnupolexParams", "Invoke3", "QuickSend",
                                       "IORead", "IOWrite", "IOWriteRead", "Invoke", "Invoke2"}));
    const LoaderParams zero{};
    EXPECT_EQ(std::memcmp(&library.Params(), &zero, sizeof zero), 0);
    EXPECT_TRUE(dialogs->Records().empty());
}

// The stand-ins export only some entry points: the others stay null, and a supported
// version asks nothing.
TEST_F(LoaderLibrary, EntryPointsTheLibraryLacksStayNull)
{
    struct Case {
        const char* name;
        const char* file;
        Names unbound;
    };
    const Case cases[] = {
        {"operations without the I/O calls", "libloader_stub.so", {"IORead", "IOWrite", "IOWriteRead", "Invoke", "Invoke2"}},
        {"catalogue and devices only",
         "libloader_stub_partial.so",
         {"SetSarnupolexParams", "Invoke3", "QuickSend", "IORead", "IOWrite", "IOWriteRead", "Invoke", "Invoke2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lines.clear();
        TLoaderLibrary library;
        EXPECT_FALSE(Start(library, kFixtures / c.file, "--dialogsconfdisabled"));
        EXPECT_TRUE(library.Loaded());
        EXPECT_EQ(Unbound(library), c.unbound);
        EXPECT_TRUE(lines.empty());
        // The bound catalogue is the stand-in's own.
        ASSERT_NE(library.Entries().GetOPCodes, nullptr);
        EXPECT_EQ(std::string(library.Entries().GetOPCodes(kLoaderScheme)).rfind("OPCode=0;", 0), 0u);
        EXPECT_EQ(library.Params().Size, 24u);
        EXPECT_EQ(library.Params().HostWindow, kWindow);
        EXPECT_EQ(library.Params().DialogsConfDisabled, 1);
        EXPECT_NE(library.Params().ManualTermEvent, 0u);
        library.Unload();
        EXPECT_FALSE(library.Loaded());
        EXPECT_EQ(Unbound(library).size(), 10u);
        EXPECT_FALSE(IsLoaded(kFixtures / c.file));
    }
    EXPECT_TRUE(dialogs->Records().empty());
}

TEST_F(LoaderLibrary, OutdatedVersionWarnsAndAsksWhetherToQuit)
{
    const std::string warning = "Используемая версия libSarnupolexLib.so устарела или не поддерживается\n"
                                "Дальнейшая эксплуатация может привести к повреждению данных или контроллера";
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        dialogs.Reset();
        lines.clear();
        dialogs->PushAnswer(yes ? platform::MsgResult::Yes : platform::MsgResult::No);
        TLoaderLibrary library;
        EXPECT_EQ(Start(library, kFixtures / "libloader_stub_1_3_0_0.so"), yes);
        EXPECT_EQ(lines, Names{warning});
        // The question on the window, with the warning's icon and Yes and No.
        ASSERT_EQ(dialogs->Records().size(), 1u);
        const platform::DialogRecord asked = dialogs->Records().front();
        EXPECT_EQ(std::tie(asked.box.text, asked.box.caption, asked.owner),
                  std::make_tuple(warning + "\nВыйти из приложения?", std::string("Предупреждение"), kWindow));
        EXPECT_TRUE(asked.box.icon == platform::MsgIcon::Warning && asked.box.buttons == platform::MsgButtons::YesNo);
        // Bound and handed its block either way: the window decides about quitting.
        EXPECT_NE(library.Entries().Invoke3, nullptr);
        EXPECT_EQ(library.Params().Size, 24u);
        EXPECT_EQ(library.Params().DialogsConfDisabled, 0);
    }
}

TEST_F(LoaderLibrary, VersionRuleReadsTheLibraryFilesRecord)
{
    const std::pair<const char*, bool> cases[] = {
        {"libversion_lib.so", true},           {"libversion_lib_1_2_5_31.so", true},
        {"libversion_lib_1_3_0_0.so", false},  {"libversion_lib_2_0_0_0.so", false},
        {"libversion_lib_1_2_4_29.so", false}, {"libversion_lib_none.so", false},
        {"no_such_library.so", false},
    };
    for (const auto& [file, supported] : cases)
        EXPECT_EQ(LoaderFileVersionSupported(kFixtures / file), supported) << file;
}

// The built library: each of its eight entry points bound to the function of its name.
// In a child process that ends without its exit work: the library takes the Qt
// libraries with it when it goes, and what they keep until the process ends would
// count as leaked.
TEST_F(LoaderLibrary, BindsTheBuiltLibrary)
{
    testsupport::WriteFile(dir / "Sarnupolex.dvs", "Name=A;Port=COM1\nName=B;Port=COM2");
    const pid_t child = fork();
    if (child == 0) {
        // The checks as bits of the exit code (eight at most).
        int failed = 0;
        const auto check = [&failed](bool ok, int bit) { failed |= ok ? 0 : 1 << bit; };
        {
            TLoaderLibrary library;
            check(!Start(library, kLibrary) && lines.empty(), 0);
            check(Unbound(library) == Names{"Invoke", "Invoke2"}, 1);
            const TLoaderEntryPoints& e = library.Entries();
            if (Unbound(library).size() != 2) _exit(failed);
            // GetDevices and GetOPCodes share their type: each gives its own text.
            const char* devices = e.GetDevices(kLoaderScheme);
            check(devices && std::string(devices) == "Name=A;Port=COM1\nName=B;Port=COM2", 2);
            check(std::string(e.GetOPCodes(kLoaderScheme)).rfind("OPCode=", 0) == 0, 3);
            // No device is selected: the I/O calls fail without touching the buffer.
            char buffer[4] = {'x', 'x', 'x', 'x'};
            check(e.IORead(-1, buffer, 4) == -1, 4);
            check(e.IOWrite(-1, buffer, 4) == -1 && std::string(buffer, 4) == "xxxx", 5);
            check(IsLoaded(kLibrary), 6);
        }
        // The library does not stay loaded; it asked nothing.
        check(!IsLoaded(kLibrary) && dialogs->Records().empty(), 7);
        _exit(failed);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks (bits)";
}

} // namespace
