// The loader core in this process, without the library's load hook: device list,
// working files, unload, operation log, host parameters and the host check.

#include "loader/core/LoaderCore.h"
#include "loader/SarnupolexLib.h"
#include "platform/Atoms.h"
#include "platform/CodePages.h"
#include "platform/ProgramDir.h"
#include "platform/Tick.h"
#include "platform/Windows.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using platform::MsgResult;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const std::string kPid = std::to_string(::getpid());

fs::path Fixture(const std::string& name) { return fs::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures" / name; }

// A supported host: its name holds "mirvak" and its version is 1.1.2.273.
const fs::path kSupportedHost = Fixture("Mirvak_host_1_1_2_273");

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Names in a folder, without this program's rolling log files.
std::set<std::string> Listing(const fs::path& folder)
{
    const std::string stem = fs::path(platform::ExecutableName()).stem().string();
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(stem, 0) != 0) names.insert(name);
    }
    return names;
}

// The rolling log of this program in the folder, all files together.
std::string RollingLog(const fs::path& folder)
{
    const std::string stem = fs::path(platform::ExecutableName()).stem().string();
    std::string text;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(stem, 0) == 0 && entry.is_regular_file())
            text += ReadFile(entry.path());
    return text;
}

int CountLines(const std::string& text)
{
    return text.empty() ? 0 : static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
}

// The host's count of a device list: its non-empty lines.
int HostCount(const std::string& text)
{
    int n = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) ++n;
        start = end + 1;
    }
    return n;
}

class LoaderCoreTest : public ::testing::Test {
protected:
    LoaderCoreTest() { FreeSharedWatchCategory(); }
    ~LoaderCoreTest() override { FreeSharedWatchCategory(); }

    // A core with this folder; the host is this test program unless given.
    std::unique_ptr<TLoaderCore> MakeCore(fs::path host = {})
    {
        TLoaderPlaces places;
        places.HostFolder = dir.path();
        places.HostExe = host.empty() ? fs::read_symlink("/proc/self/exe") : host;
        return std::make_unique<TLoaderCore>(places);
    }

    fs::path Working() const { return dir / ("Sarnupolex.dvs.tmp" + kPid); }
    fs::path Scripts() const { return dir / "Scripts"; }
    fs::path ScriptWorking(const std::string& name) const { return Scripts() / (name + ".tmp" + kPid); }

    testsupport::TempDir dir;
    testsupport::ScopedEnv env{platform::kProgramDirVariable, dir.path().string()};
};

// A window of this thread that keeps the texts of PROGRESS_TEXT and deletes their atoms.
class RecordingWindow {
public:
    RecordingWindow()
    {
        hwnd = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
                if (msg == platform::WM_LOADER_PROGRESS && wParam == PROGRESS_TEXT) {
                    std::string text;
                    const auto atom = static_cast<platform::ATOM>(lParam);
                    EXPECT_TRUE(platform::GetAtomName(atom, text));
                    platform::DeleteAtom(atom);
                    texts.push_back(text);
                }
                return platform::LRESULT{0};
            },
            queue);
    }
    ~RecordingWindow() { platform::UnregisterWindow(hwnd); }

    platform::MessageQueue queue;
    platform::HWND hwnd = 0;
    std::vector<std::string> texts;
};

} // namespace

// ---------------------------------------------------------------------------------
// Device list

TEST_F(LoaderCoreTest, GetDevicesByFileState)
{
    struct Case {
        const char* name;
        std::optional<std::string> committed;
        std::optional<std::string> working;
        std::optional<std::string> expected; // nullopt: null
    };
    const std::string big = Repeat("Name=Контроллер;Port=COM1\n", 8000) + "Name=Last";
    const std::string ansi = platform::Utf8ToAnsi("Name=Узел №1;Port=COM1") + "\x98";
    const Case cases[] = {
        {"neither file", std::nullopt, std::nullopt, std::nullopt},
        {"committed only", "Name=A\nName=B", std::nullopt, "Name=A\nName=B"},
        {"working copy wins", "Name=A", "Name=W", "Name=W"},
        {"size 0", std::nullopt, "", std::nullopt},
        {"size 1", std::nullopt, "x", "x"},
        {"size 65535", std::nullopt, std::string(65535, 'a'), std::string(65535, 'a')},
        {"size 65536", std::nullopt, std::string(65536, 'a'), std::string(65536, 'a')},
        {"200 KiB", big, std::nullopt, big},
        {"only empty lines", std::nullopt, "\n\n", std::nullopt},
        {"blank middle line", std::nullopt, "Name=A\n\nName=B", "Name=A\nName=B"},
        {"leading and final LF", std::nullopt, "\nName=A\nName=B\n", "Name=A\nName=B"},
        {"blanks and lone CR stay", std::nullopt, "Name=A\n \n\r\nName=B", "Name=A\n \n\r\nName=B"},
        {"Windows-1251 bytes", ansi, std::nullopt, ansi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::remove(dir / "Sarnupolex.dvs", ec);
        fs::remove(Working(), ec);
        if (c.committed) WriteFile(dir / "Sarnupolex.dvs", *c.committed);
        if (c.working) WriteFile(Working(), *c.working);
        auto core = MakeCore();
        const char* text = core->GetDevices();
        if (!c.expected) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text), *c.expected);
            // The host takes item i as device i: both sides count the same lines.
            const std::string file = ReadFile(Working());
            EXPECT_EQ(CountLines(text), HostCount(file));
            EXPECT_EQ(static_cast<int>(core->DeviceLines().size()), HostCount(file));
        }
        ASSERT_TRUE(fs::exists(Working()));
        if (!c.committed && !c.working) {
            EXPECT_EQ(fs::file_size(Working()), 0u);
        }
        if (c.committed && !c.working) {
            EXPECT_EQ(ReadFile(Working()), *c.committed);
        }
    }
}

TEST_F(LoaderCoreTest, SaveDeviceListWritesLinesInWindows1251)
{
    auto core = MakeCore();
    core->SaveDeviceList("Zumo2Cfg", {"Name=Узел 1;Port=COM1", "Name=B\u0098", "Name=€ ∞"});
    const std::string file = ReadFile(Working());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 2);
    EXPECT_NE(file.back(), '\n');
    EXPECT_EQ(file, platform::Utf8ToAnsi("Name=Узел 1;Port=COM1") + "\nName=B\x98\nName=\x88 ?");
    ASSERT_NE(core->GetDevices(), nullptr);
    EXPECT_EQ(std::string(core->GetDevices()), file);
    EXPECT_EQ(core->DeviceLines(),
              (std::vector<std::string>{"Name=Узел 1;Port=COM1", "Name=B\u0098", "Name=€ ?"}));
}

TEST_F(LoaderCoreTest, WorkingNameReplacesTheExtension)
{
    EXPECT_EQ(TSessionFileNameHolder::WorkingName("/x/Scripts/start.txt"), fs::path("/x/Scripts/start.tmp" + kPid));
    EXPECT_EQ(TSessionFileNameHolder::WorkingName("/x/noext"), fs::path("/x/noext.tmp" + kPid));
}

TEST_F(LoaderCoreTest, StaleWorkingCopyOfThisProcessIdIsNotServed)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=Fresh");
    WriteFile(Working(), "Name=Stale");
    fs::create_directories(Scripts());
    WriteFile(Scripts() / "a.txt", "A");
    WriteFile(ScriptWorking("gone"), "stale script");
    auto core = MakeCore();
    core->LibraryAttach();
    ASSERT_NE(core->GetDevices(), nullptr);
    EXPECT_EQ(std::string(core->GetDevices()), "Name=Fresh");
    EXPECT_FALSE(fs::exists(ScriptWorking("gone")));
    EXPECT_EQ(ReadFile(ScriptWorking("a")), "A");
    core->LibraryDetach();
}

// ---------------------------------------------------------------------------------
// Unload

TEST_F(LoaderCoreTest, UnloadMatrix)
{
    enum class Script { Edited, Added, Renamed, Removed };
    const char* scriptNames[] = {"edited", "added", "renamed", "removed"};
    const std::string committed = "Name=A\nName=B";
    for (bool changed : {false, true}) {
        for (MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
            for (Script script : {Script::Edited, Script::Added, Script::Renamed, Script::Removed}) {
                SCOPED_TRACE(std::string(changed ? "changed " : "unchanged ") + platform::MsgResultName(answer) + " " +
                             scriptNames[static_cast<int>(script)]);
                fs::remove_all(dir.path());
                fs::create_directories(Scripts());
                WriteFile(dir / "Sarnupolex.dvs", committed);
                WriteFile(Scripts() / "a.txt", "A");
                WriteFile(Scripts() / "B.TXT", "B");
                FreeSharedWatchCategory();

                testsupport::DialogScript dialogs;
                auto core = MakeCore(kSupportedHost);
                core->LibraryAttach();
                core->SetOperationWindow(1234);
                ASSERT_NE(core->GetDevices(), nullptr);
                EXPECT_TRUE(fs::exists(dir / "Sarnupolex.lck"));
                switch (script) {
                case Script::Edited: WriteFile(ScriptWorking("a"), "A2"); break;
                case Script::Added: WriteFile(ScriptWorking("c"), "C"); break;
                case Script::Renamed: fs::rename(ScriptWorking("a"), ScriptWorking("d")); break;
                case Script::Removed: fs::remove(ScriptWorking("a")); break;
                }
                if (changed) {
                    core->SaveDeviceList("Zumo2Cfg", {"Name=C"});
                    core->MarkSessionChanged();
                    dialogs->PushAnswer(answer);
                }
                core->LibraryDetach();

                const bool commit = changed && answer == MsgResult::Yes;
                EXPECT_EQ(Listing(dir.path()), (std::set<std::string>{"Chip.ini", "Sarnupolex.dvs", "SarnupolexLib.log",
                                                                       "Scripts"}));
                std::set<std::string> scripts = {"B.TXT", "a.txt"};
                if (commit && script == Script::Added) scripts.insert("c.txt");
                if (commit && script == Script::Renamed) scripts = {"B.TXT", "d.txt"};
                if (commit && script == Script::Removed) scripts = {"B.TXT"};
                EXPECT_EQ(Listing(Scripts()), scripts);
                EXPECT_EQ(ReadFile(Scripts() / "B.TXT"), "B");
                if (scripts.count("a.txt")) {
                    EXPECT_EQ(ReadFile(Scripts() / "a.txt"), commit && script == Script::Edited ? "A2" : "A");
                }
                if (scripts.count("c.txt")) {
                    EXPECT_EQ(ReadFile(Scripts() / "c.txt"), "C");
                }
                if (scripts.count("d.txt")) {
                    EXPECT_EQ(ReadFile(Scripts() / "d.txt"), "A");
                }
                EXPECT_EQ(ReadFile(dir / "Sarnupolex.dvs"), commit ? "Name=C" : committed);

                const auto records = dialogs->Records();
                ASSERT_EQ(records.size(), changed ? 1u : 0u);
                if (changed) {
                    EXPECT_EQ(records[0].box.text, "Сохранить сессионные настройки?\n(параметры подключения, скрипты)");
                    EXPECT_EQ(records[0].box.caption, "Предупреждение");
                    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Warning);
                    EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::YesNo);
                    EXPECT_EQ(records[0].owner, 1234u);
                    EXPECT_NE(core->OperationLog().find("Сохранить сессионные настройки?"), std::string::npos);
                }
            }
        }
    }
}

TEST_F(LoaderCoreTest, QuestionWithoutDialogServiceCountsAsNo)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=A");
    auto previous = platform::SetDialogService(nullptr);
    auto core = MakeCore();
    core->LibraryAttach();
    core->SaveDeviceList("", {"Name=B"});
    core->MarkSessionChanged();
    core->LibraryDetach();
    platform::SetDialogService(previous);
    EXPECT_EQ(ReadFile(dir / "Sarnupolex.dvs"), "Name=A");
    EXPECT_FALSE(fs::exists(Working()));
    EXPECT_NE(core->OperationLog().find(std::string("(параметры подключения, скрипты) ") +
                                        platform::MsgResultName(MsgResult::No)),
              std::string::npos);
}

// A working copy that cannot be renamed (a folder in its place) leaves the committed
// file as it was, and the failure is in the operation log.
TEST_F(LoaderCoreTest, FailedCommitsKeepTheCommittedFiles)
{
    enum class Target { List, Script, Ini };
    for (Target target : {Target::List, Target::Script, Target::Ini}) {
        SCOPED_TRACE(static_cast<int>(target));
        fs::remove_all(dir.path());
        fs::create_directories(Scripts());
        WriteFile(dir / "Sarnupolex.dvs", "Name=Old");
        WriteFile(dir / "SarnupolexLib.ini", "[S]\r\nk=1\r\n");
        WriteFile(Scripts() / "a.txt", "A");
        FreeSharedWatchCategory();

        testsupport::DialogScript dialogs;
        auto core = MakeCore(kSupportedHost);
        core->LibraryAttach();
        core->SaveDeviceList("", {"Name=New"});
        core->OpenDialogSettings()->WriteString("S", "k", "2");
        WriteFile(ScriptWorking("a"), "A2");
        core->MarkSessionChanged();
        dialogs->PushAnswer(MsgResult::Yes);
        const fs::path blocked = target == Target::List     ? Working()
                                 : target == Target::Script ? ScriptWorking("a")
                                                            : core->WorkingIniFileName();
        fs::remove(blocked);
        fs::create_directories(blocked / "inner");
        core->LibraryDetach();

        const std::string log = core->OperationLog();
        switch (target) {
        case Target::List:
            EXPECT_EQ(ReadFile(dir / "Sarnupolex.dvs"), "Name=Old");
            EXPECT_NE(log.find("Не удалось сохранить файл: " + (dir / "Sarnupolex.dvs").string()), std::string::npos);
            break;
        case Target::Script:
            EXPECT_EQ(ReadFile(Scripts() / "a.txt"), "A");
            EXPECT_NE(log.find("Не удалось сохранить файл: " + (Scripts() / "a.txt").string()), std::string::npos);
            break;
        case Target::Ini:
            EXPECT_EQ(ReadFile(dir / "SarnupolexLib.ini"), "[S]\r\nk=1\r\n");
            EXPECT_NE(log.find("RenameFile " + core->WorkingIniFileName().string() + " в " +
                               (dir / "SarnupolexLib.ini").string()),
                      std::string::npos);
            break;
        }
        EXPECT_EQ(ReadFile(dir / "SarnupolexLib.log"), log);
    }
}

TEST_F(LoaderCoreTest, DialogSettingsKeepEverySectionAcrossTheSession)
{
    const std::string ini = "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n\r\n[C]\r\nc=3\r\n";
    for (MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
        SCOPED_TRACE(platform::MsgResultName(answer));
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        WriteFile(dir / "SarnupolexLib.ini", ini);
        FreeSharedWatchCategory();

        testsupport::DialogScript dialogs;
        auto core = MakeCore(kSupportedHost);
        core->LibraryAttach();
        EXPECT_EQ(core->OpenDialogSettings()->ReadString("B", "b", ""), "2");
        core->OpenDialogSettings()->WriteString("B", "b", "20");
        EXPECT_EQ(ReadFile(dir / "SarnupolexLib.ini"), ini);
        auto settings = core->OpenDialogSettings();
        EXPECT_EQ(settings->ReadString("A", "a", ""), "1");
        EXPECT_EQ(settings->ReadString("B", "b", ""), "20");
        core->MarkSessionChanged();
        dialogs->PushAnswer(answer);
        core->LibraryDetach();

        platform::IniFile after(dir / "SarnupolexLib.ini");
        EXPECT_EQ(after.ReadString("A", "a", ""), "1");
        EXPECT_EQ(after.ReadString("B", "b", ""), "20");
        EXPECT_EQ(after.ReadString("C", "c", ""), "3");
        EXPECT_FALSE(fs::exists(core->WorkingIniFileName()));
    }
}

TEST_F(LoaderCoreTest, MissingIniWorkingCopyIsLogged)
{
    WriteFile(dir / "SarnupolexLib.ini", "[A]\r\na=1\r\n");
    auto core = MakeCore(kSupportedHost);
    core->LibraryAttach();
    core->LibraryDetach();
    EXPECT_NE(core->OperationLog().find(core->WorkingIniFileName().string() + " не найден"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "SarnupolexLib.ini"), "[A]\r\na=1\r\n");
}

// ---------------------------------------------------------------------------------
// Attach

TEST_F(LoaderCoreTest, AttachLogsAndTakesTheLock)
{
    auto core = MakeCore(kSupportedHost);
    core->LibraryAttach();
    const std::string log = RollingLog(dir.path());
    EXPECT_NE(log.find(kSupportedHost.string() + ": Test fixture Mirvak_host_1_1_2_273 1.1.2.273"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Access to file setting exclusive: True"), std::string::npos) << log;
    EXPECT_EQ(log.find("Используемая версия"), std::string::npos);
    EXPECT_EQ(core->Chips().Count(), kBuiltInChipCount);
    core->LibraryDetach();
    EXPECT_FALSE(fs::exists(dir / "Sarnupolex.lck"));
}

TEST_F(LoaderCoreTest, AttachGoesOnWhenAnotherProgramHoldsTheLock)
{
    const fs::path lock = dir / "Sarnupolex.lck";
    ASSERT_EQ(access("/usr/bin/flock", X_OK), 0) << "flock is missing (Debian package util-linux)";
    testsupport::ChildProcess holder("exec /usr/bin/flock '" + lock.string() + "' sleep 30");
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return testsupport::RunCommand("/usr/bin/flock -n '" + lock.string() + "' true") != 0; }));
    auto core = MakeCore();
    core->LibraryAttach();
    const std::string log = RollingLog(dir.path());
    EXPECT_NE(log.find("Access to file setting exclusive: False"), std::string::npos) << log;
    // The unsupported host is warned about at level Error.
    EXPECT_NE(log.find("| Error  | Используемая версия приложения устарела или не поддерживается"), std::string::npos)
        << log;
    core->LibraryDetach();
}

// ---------------------------------------------------------------------------------
// Operation log

TEST_F(LoaderCoreTest, OperationLogLines)
{
    auto core = MakeCore();
    core->SaveLog();
    EXPECT_FALSE(fs::exists(dir / "SarnupolexLib.log"));
    core->AppendLogLine("abc");
    core->AppendLogLine("Строка");
    EXPECT_TRUE(std::regex_match(core->OperationLog(),
                                 std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d: abc\r\n"
                                            "\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d: Строка\r\n")))
        << core->OperationLog();
    core->SaveLog();
    EXPECT_EQ(ReadFile(dir / "SarnupolexLib.log"), core->OperationLog());

    fs::remove(dir / "SarnupolexLib.log");
    fs::create_directories(dir / "SarnupolexLib.log" / "inner");
    EXPECT_NO_THROW(core->SaveLog());
    EXPECT_NE(RollingLog(dir.path()).find("| Error  | SaveLog: "), std::string::npos) << RollingLog(dir.path());
}

TEST_F(LoaderCoreTest, LogHexDump)
{
    auto core = MakeCore();
    const uint8_t bytes[] = {0x01, 0x0A, 0xFF};
    core->LogHexDump(">", bytes, 3);
    core->LogHexDump("<", bytes, 0);
    EXPECT_TRUE(std::regex_match(core->OperationLog(), std::regex("[0-9:.]{12}: > 01 0A FF\r\n[0-9:.]{12}: <\r\n")))
        << core->OperationLog();
}

TEST_F(LoaderCoreTest, PostLogLine)
{
    RecordingWindow window;
    auto core = MakeCore();
    core->SetOperationWindow(window.hwnd);

    core->PostLogLine("abc\r\n");
    core->PostLogLine("\r\n");
    const std::string cyrillic = Repeat("ж", 300);
    core->PostLogLine(cyrillic);
    EXPECT_EQ(window.texts, (std::vector<std::string>{"abc", "\r\n", Repeat("ж", 255), Repeat("ж", 45)}));
    EXPECT_EQ(core->LastLine(), cyrillic);
    const std::string log = core->OperationLog();
    EXPECT_NE(log.find(": abc\r\n"), std::string::npos);
    EXPECT_NE(log.find(": \r\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(": " + cyrillic + "\r\n"), std::string::npos);
    EXPECT_EQ(log.find(cyrillic), log.rfind(cyrillic));

    // No window: logged only, no atom made.
    window.texts.clear();
    for (platform::HWND none : {platform::HWND{0}, platform::HWND{0x7FFFFFF0}}) {
        core->SetOperationWindow(none);
        core->PostLogLine("unsent");
        EXPECT_EQ(core->LastLine(), "unsent");
    }
    core->SetOperationWindow(window.hwnd);
    core->PostLogLine("");
    EXPECT_TRUE(window.texts.empty());
    // An atom left behind would survive dropping the probe's own reference.
    const platform::ATOM probe = platform::AddAtom("unsent");
    platform::DeleteAtom(probe);
    std::string text;
    EXPECT_FALSE(platform::GetAtomName(probe, text));
}

// ---------------------------------------------------------------------------------
// Parameters from the host

TEST_F(LoaderCoreTest, SetParamsTakesTheFlagOnlyFromA24ByteBlock)
{
    auto core = MakeCore(kSupportedHost);
    testsupport::DialogScript dialogs; // a supported host sees no box
    EXPECT_FALSE(core->DialogsConfDisabled());
    EXPECT_EQ(core->ManualTermEvent(), 0xFFFFFFFFu);
    for (auto [byte, disabled] : {std::pair<uint8_t, bool>{1, true}, {0, false}, {2, false}}) {
        LoaderParams params{};
        params.Size = 24;
        params.DialogsConfDisabled = byte;
        params.ManualTermEvent = 77;
        core->SetSarnupolexParams(&params, 24);
        EXPECT_EQ(core->DialogsConfDisabled(), disabled) << int(byte);
        EXPECT_EQ(core->ManualTermEvent(), 77u);
    }

    unsigned char raw[40] = {};
    raw[9] = 1;
    raw[12] = 5;
    core->SetSarnupolexParams(reinterpret_cast<const LoaderParams*>(raw), 40);
    core->SetSarnupolexParams(nullptr, 24);
    EXPECT_FALSE(core->DialogsConfDisabled());
    EXPECT_EQ(core->ManualTermEvent(), 77u);
    const std::string log = RollingLog(dir.path());
    EXPECT_NE(log.find("| Error  | Не верный размер параметров: 40, ожидается 24"), std::string::npos) << log;
    EXPECT_NE(log.find("| Error  | Не верный размер параметров: 24, ожидается 24"), std::string::npos) << log;
}

TEST_F(LoaderCoreTest, UnsupportedHostIsWarnedOnEveryCall)
{
    auto core = MakeCore(); // this test program
    core->SetOperationWindow(55);
    testsupport::DialogScript dialogs;
    dialogs->PushAnswer(MsgResult::OK);
    dialogs->PushAnswer(MsgResult::OK);
    LoaderParams params{};
    params.DialogsConfDisabled = 1;
    core->SetSarnupolexParams(&params, 24);
    core->SetSarnupolexParams(&params, 24);
    EXPECT_TRUE(core->DialogsConfDisabled());
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    for (const auto& r : records) {
        EXPECT_EQ(r.box.text, "Используемая версия приложения устарела или не поддерживается\r\n"
                              "Дальнейшая эксплуатация может привести к повреждению данных или контроллера");
        EXPECT_EQ(r.box.caption, "Предупреждение");
        EXPECT_EQ(r.box.icon, platform::MsgIcon::Warning);
        EXPECT_EQ(r.owner, 55u);
    }
}

TEST(HostVersion, EachPartComparedByItself)
{
    const std::pair<const char*, bool> cases[] = {
        {"Mirvak_host_1_1_2_273", true},  {"Mirvak_host_1_2_0_300", false}, {"Mirvak_host_2_0_0_0", false},
        {"Mirvak_host_1_1_2_272", false}, {"Mirvak_host_none", false},      {"host_1_1_2_273", false},
    };
    for (const auto& [name, supported] : cases) {
        ASSERT_TRUE(fs::exists(Fixture(name))) << name;
        EXPECT_EQ(HostVersionSupported(Fixture(name)), supported) << name;
    }
    EXPECT_EQ(ModuleDescription(Fixture("Mirvak_host_1_2_0_300")), "Test fixture Mirvak_host_1_2_0_300 1.2.0.300");
    EXPECT_EQ(ModuleDescription(Fixture("Mirvak_host_none")), "");
}
