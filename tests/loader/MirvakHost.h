#pragma once
// The loader test host: it drives the real loader library as the configurator does. It
// loads the library with dlopen from the build's bin folder, owns a host window on its main
// thread that answers WM_LOADER_PROGRESS, runs SetSarnupolexParams and Invoke3 on a
// worker thread and the other entry points on the main thread, and unloads the library
// at the end of each test. The executable's name holds "mirvak" and it carries a
// configurator's version record, so the library takes it for a supported host.

#include "loader/SarnupolexLib.h"
#include "model/Memory.h"
#include "platform/Atoms.h"
#include "platform/ErrorDisplay.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "platform/SerialPorts.h"
#include "platform/Windows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/Pty.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testhost {

namespace fs = std::filesystem;

inline const std::string kLibrary = MIRVAK_BINARY_DIR "/bin/libSarnupolexLib.so";

// One WM_LOADER_PROGRESS as the host window received it.
struct Progress {
    int32_t code = 0;
    int64_t value = 0;
    std::string text; // the atom's text for captions and log lines
};

// The atoms of the process's table now in use.
inline int CountAtoms()
{
    int n = 0;
    std::string text;
    for (uint32_t atom = platform::kFirstAtom; atom <= platform::kLastAtom; ++atom)
        if (platform::GetAtomName(static_cast<platform::ATOM>(atom), text)) ++n;
    return n;
}

// The library finds its folder, registry and runtime folder in the test's own (LoaderEnv).
class MirvakHost : public ::testing::Test, protected sim::LoaderEnv {
protected:
    MirvakHost()
    {
        atomsBefore = CountAtoms();
        window = platform::RegisterWindow(
            [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
                if (msg != platform::WM_LOADER_PROGRESS) return platform::LRESULT{0};
                Progress p{static_cast<int32_t>(wParam), static_cast<int64_t>(lParam), {}};
                if (p.code == PROGRESS_CAPTION || p.code == PROGRESS_TEXT) {
                    const auto atom = static_cast<platform::ATOM>(lParam);
                    EXPECT_TRUE(platform::GetAtomName(atom, p.text));
                    platform::DeleteAtom(atom);
                }
                progress.push_back(p);
                if (p.code != PROGRESS_PERCENT) return platform::LRESULT{0};
                ++percents;
                return platform::LRESULT{percents == cancelAtPercent ? 1 : cancelReply};
            },
            queue);
    }
    ~MirvakHost() override
    {
        Unload();
        platform::UnregisterWindow(window);
        EXPECT_EQ(CountAtoms(), atomsBefore);
    }

    void Load()
    {
        library = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        BindEntryPoints(entries, kSarnupolexEntryPoints, [this](const char* name) { return dlsym(library, name); });
        ASSERT_EQ(UnboundEntryPoints(entries, kSarnupolexEntryPoints), std::vector<std::string>{});
    }
    // Unloads the library and checks that it is gone with its working copy.
    void Unload()
    {
        if (!library) return;
        EXPECT_EQ(dlclose(library), 0);
        library = nullptr;
        EXPECT_EQ(dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stays loaded";
        EXPECT_FALSE(fs::exists(dir / ("Sarnupolex.dvs.tmp" + std::to_string(getpid()))));
    }

    // SetSarnupolexParams and Invoke3 on a worker thread while this thread pumps the
    // host window.
    int32_t Invoke(int32_t op, int32_t device, TBlockList** result, TBlockList* blocks = nullptr,
                   uint32_t baseAddress = 0)
    {
        std::atomic<bool> done{false};
        int32_t answer = 0;
        std::thread worker([&] {
            LoaderParams params{24, window, 0, dialogsConfDisabled, {0, 0}, 0xFFFFFFFF, {}};
            entries.SetSarnupolexParams(&params, sizeof params);
            answer = entries.Invoke3(op, device, "Zumo2Cfg", blocks, result, window, 0, baseAddress);
            done = true;
            queue.Quit();
        });
        while (!done) {
            if (!queue.DispatchOne()) std::this_thread::yield();
        }
        worker.join();
        while (queue.DispatchOne()) {
        }
        return answer;
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Progress& p : progress)
            if (p.code == PROGRESS_TEXT) texts.push_back(p.text);
        return texts;
    }

    std::optional<testsupport::ScopedEnv> ports;
    testsupport::DialogScript script;
    platform::MessageQueue queue;
    platform::HWND window = 0;
    std::vector<Progress> progress;
    platform::LRESULT cancelReply = 0;
    // The PROGRESS_PERCENT (counted from 1) answered with a cancel; 0: none.
    int cancelAtPercent = 0;
    int percents = 0;
    // Byte 9 of LoaderParams: 1 asks no confirmation.
    uint8_t dialogsConfDisabled = 1;
    int atomsBefore = 0;

    void* library = nullptr;
    TSarnupolexEntryPoints entries;
};

} // namespace testhost
