#include "common/ProgressMgr.h"
#include "tests/support/RecordingProgressView.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using RecordingView = testsupport::RecordingProgressView;

using Calls = std::vector<std::string>;

class ProgressMgr : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgressStatusBar(nullptr);
        EndProgress();
        ChangeCursor() = true;
        ProcessMessagesOnProgress() = true;
        ProgressCancelled() = false;
    }
    void TearDown() override { SetProgressStatusBar(nullptr); }

    RecordingView view;
};

TEST_F(ProgressMgr, BeginShowsTextAndBarUnlessAtHundred)
{
    SetProgressStatusBar(&view);
    BeginProgress("Считывание", 100, TProgressCursor::HourGlass);
    EXPECT_TRUE(ProgressBusy());
    EXPECT_EQ(view.Take(), (Calls{"cursor hourglass", "text Считывание", "refresh"}));

    BeginProgress("Запись", 0, TProgressCursor::Arrow);
    EXPECT_EQ(view.Take(), (Calls{"cursor arrow", "text Запись", "bar 0", "refresh"}));

    ChangeCursor() = false;
    BeginProgress("Запись", 30);
    EXPECT_EQ(view.Take(), (Calls{"text Запись", "bar 30", "refresh"}));
}

TEST_F(ProgressMgr, SetProgressOnlyWhileBusyAndNotCancelled)
{
    SetProgressStatusBar(&view);
    EXPECT_FALSE(SetProgress(50));
    EXPECT_TRUE(view.calls.empty());

    BeginProgress("Работа", 0);
    view.Take();
    // Only the position changes: no message processing, whatever the option says.
    EXPECT_TRUE(SetProgress(40));
    ProcessMessagesOnProgress() = false;
    EXPECT_TRUE(SetProgress(41));
    EXPECT_EQ(view.Take(), (Calls{"position 40", "position 41"}));

    ProgressCancelled() = true;
    EXPECT_FALSE(SetProgress(60));
    BeginProgress("Снова", 0);
    EXPECT_FALSE(ProgressCancelled());
    EXPECT_TRUE(SetProgress(70));
}

TEST_F(ProgressMgr, EndPutsTheSavedTextBack)
{
    SetProgressStatusBar(&view);
    BeginProgress("Работа", 0);
    SetProgressText("#Шаг 2");
    view.Take();
    EndProgress();
    EXPECT_FALSE(ProgressBusy());
    EXPECT_EQ(view.Take(), (Calls{"remove bar", "text Готов", "cursor default"}));
    EXPECT_FALSE(SetProgress(10));

    // The text shows also outside an operation.
    SetProgressText("Текст");
    EXPECT_EQ(view.Take(), (Calls{"text Текст", "refresh"}));
}

// The loader library attaches no status bar: only the busy state and the flag change.
TEST_F(ProgressMgr, WithoutStatusBar)
{
    BeginProgress("Библиотека", 0);
    EXPECT_TRUE(ProgressBusy());
    EXPECT_TRUE(SetProgress(10));
    SetProgressText("x");
    ProgressCancelled() = true;
    EXPECT_FALSE(SetProgress(20));
    EndProgress();
    EXPECT_FALSE(ProgressBusy());
    SetProgressStatusBar(&view);
    EXPECT_TRUE(view.calls.empty());
}

// This program exports its symbols; a shared object linking its own copy of the unit
// keeps its own state, and exports none of the unit's symbols.
TEST_F(ProgressMgr, EachModuleHasItsOwnState)
{
    const std::string probePath = std::string(MIRVAK_BINARY_DIR) + "/bin/libprogress_probe.so";
    void* probe = dlopen(probePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(probe, nullptr) << dlerror();
    auto begin = reinterpret_cast<void (*)()>(dlsym(probe, "probe_begin"));
    auto end = reinterpret_cast<void (*)()>(dlsym(probe, "probe_end"));
    auto busy = reinterpret_cast<bool (*)()>(dlsym(probe, "probe_busy"));
    auto step = reinterpret_cast<bool (*)(int)>(dlsym(probe, "probe_step"));
    ASSERT_TRUE(begin && end && busy && step);

    BeginProgress("Программа", 0);
    EXPECT_FALSE(busy());
    EXPECT_FALSE(step(10));
    begin();
    ProgressCancelled() = true;
    EXPECT_TRUE(step(20));
    EndProgress();
    EXPECT_TRUE(busy());
    end();
    EXPECT_FALSE(busy());
    dlclose(probe);

    // Functions of both units, as the start of a demangled name; their internal state
    // and the view class anywhere in one.
    const std::string functions[] = {"SetProgressStatusBar(", "ProgressStatusBar(", "BeginProgress(",
                                     "SetProgress(", "SetProgressText(", "EndProgress(", "ProgressBusy(",
                                     "ProgressCancelled(", "ProcessMessagesOnProgress(", "ChangeCursor(",
                                     "GetParam(", "SetParam(", "SplitString(", "LastCharPos(",
                                     "RemoveExtension(", "ReplaceChars(", "SafeFileName(", "AnsiLowerCase("};
    for (const std::string& file : {probePath, std::filesystem::read_symlink("/proc/self/exe").string()}) {
        std::string symbols;
        ASSERT_EQ(testsupport::RunCommand("nm -D -C --defined-only '" + file + "'", &symbols), 0)
            << "nm is needed (Debian package binutils)";
        // Exports are on: the probe's entry points, this program's own functions.
        EXPECT_NE(symbols.find(file == probePath ? "probe_begin" : "testsupport::RunCommand"), std::string::npos);
        std::istringstream lines(symbols);
        std::string line;
        while (std::getline(lines, line)) {
            const size_t at = line.find(' ', line.find(' ') + 1);  // "address type name"
            const std::string name = at == std::string::npos ? line : line.substr(at + 1);
            // This program compiles inline members of the view class itself and may export
            // them; they hold no state.
            if (file == probePath) {
                EXPECT_EQ(name.find("TProgressView"), std::string::npos) << file << ": " << name;
            }
            EXPECT_EQ(name.find("(anonymous namespace)"), std::string::npos) << file << ": " << name;
            for (const auto& f : functions) EXPECT_NE(name.rfind(f, 0), 0u) << file << ": " << name;
        }
    }
}

} // namespace
