#include "tests/support/QtTestApp.h"

#include "configurator/FCfgMain.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/StatusBar.h"
#include "model/uDocument.h"
#include "model/uZumo2.h"
#include "platform/ProgramDir.h"
#include "tests/fixtures/LoaderStub.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QProgressBar>
#include <QToolBar>
#include <QToolButton>

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

using qttest::PumpUntil;
using testsupport::TempDir;

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(MIRVAK_BINARY_DIR) / "tests" / "fixtures";

// Keeps a stand-in loaded for the test, so that its state outlives the window's unload.
class Stub {
public:
    explicit Stub(const std::string& name) : file_(kFixtures / ("lib" + name + ".so"))
    {
        handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) return;
        if (auto control = reinterpret_cast<LoaderStubControlProc>(dlsym(handle_, "LoaderStubControl"))) {
            control_ = control();
            control_->Mode = TStubMode::Return;
            control_->Release = false;
            control_->Answer = -1;
            control_->QuickSendAnswer = 1;
            control_->ChosenDevice = -1;
            control_->Captions = 2;
            control_->Invokes = 0;
            control_->MostActive = 0;
            control_->ParamsCalls = 0;
            control_->CancelAnswers = 0;
            control_->Releases = 0;
        }
    }
    ~Stub()
    {
        if (handle_) dlclose(handle_);
    }
    const std::filesystem::path& File() const { return file_; }
    TLoaderStubControl& operator*() const { return *control_; }
    TLoaderStubControl* operator->() const { return control_; }
    bool Loaded() const { return control_ != nullptr; }

private:
    std::filesystem::path file_;
    void* handle_ = nullptr;
    TLoaderStubControl* control_ = nullptr;
};

class LoaderBinding : public ::testing::Test {
protected:
    TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;

    void SetUp() override { qttest::App(); }

    TCfgMainOptions Options(const Stub& stub) const
    {
        TCfgMainOptions o;
        o.LibraryFile = stub.File();
        o.IniFile = dir / "Mirvak.ini";
        o.DocumentFactory = [](int) -> std::unique_ptr<TDocument> { return MakeZumo2Doc(); };
        return o;
    }

    static bool Started(TfmCfgMain& w) { return PumpUntil([&] { return w.Controller().Document() != nullptr; }); }

    static bool HasLine(TfmCfgMain& w, const std::string& text, int kind = -1)
    {
        for (int i = 0; i < w.lbMsg->Log().Count(); ++i)
            if (w.lbMsg->Log().Entry(i).Text == text && (kind < 0 || w.lbMsg->Log().Entry(i).Kind == kind))
                return true;
        return false;
    }

    static std::vector<uint8_t> Image(TDocument& doc)
    {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < doc.Image.BlockCount(); ++i) {
            const TMemoryBlock* b = doc.Image.BlockByIndex(i);
            bytes.insert(bytes.end(), b->Data(), b->Data() + b->Size);
        }
        return bytes;
    }
};

TEST_F(LoaderBinding, ReadsParametersThroughTheToolBar)
{
    Stub stub("loader_stub");
    ASSERT_TRUE(stub.Loaded());
    TfmCfgMain w(Options(stub));
    w.show();
    ASSERT_TRUE(Started(w));
    QAction* read = w.OperationAction(opReadParams);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->text(), "Считать параметры");
    TDocument& doc = *w.Controller().Document();
    const std::vector<uint8_t> before = Image(doc);
    read->trigger();
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Считать параметры - Ok", 0) && !w.Busy(); }));
    EXPECT_TRUE(HasLine(w, "Параметры считаны"));
    EXPECT_TRUE(HasLine(w, "Версия: 3.1"));
    EXPECT_EQ(w.LastingStatusText(), "Версия: 3.1");
    EXPECT_EQ(Image(*w.Controller().Document()), before);
    EXPECT_TRUE(w.Controller().Document()->IsModified());
    EXPECT_EQ(stub->ParamsCalls, 1);
    EXPECT_EQ(stub->LastDevice, 0);
    EXPECT_EQ(w.ProgressCancelButton(), nullptr);
    // Every block and the list came back through their own Release.
    EXPECT_EQ(stub->Releases, doc.Image.BlockCount() + 1);
}

} // namespace
