#include "tests/support/QtTestApp.h"

#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/StatusBar.h"
#include "model/uDocument.h"
#include "model/uZumo2.h"
#include "platform/ProgramDir.h"
#include "tests/fixtures/LoaderStub.h"
#include "platform/IniFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <map>
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
            control_->Window = 0;
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

    void SetUp() override
    {
        qttest::App();
        RegisterDocumentPages();
    }

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
    doc.SetModified(false);
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

TEST_F(LoaderBinding, BuildsTheToolBarAndTheDeviceList)
{
    Stub stub("loader_stub");
    ASSERT_TRUE(stub.Loaded());
    TfmCfgMain w(Options(stub));
    ASSERT_TRUE(Started(w));
    EXPECT_TRUE(dialogs->Records().empty());
    // Every entry point is bound; the block handed over names the window.
    EXPECT_NE(w.Entries().Invoke3, nullptr);
    EXPECT_NE(w.Entries().QuickSend, nullptr);
    EXPECT_NE(w.Entries().SetSarnupolexParams, nullptr);
    EXPECT_EQ(w.Entries().Invoke, nullptr);
    EXPECT_EQ(w.Entries().Invoke2, nullptr);
    EXPECT_EQ(w.Params().Size, 24u);
    EXPECT_EQ(w.Params().HostWindow, w.Handle());
    EXPECT_NE(w.Params().ManualTermEvent, 0u);

    // Catalogue order; the base model has neither the EEPROM read nor firmware with parameters.
    std::vector<std::string> texts;
    for (QAction* action : w.tbOperations->actions())
        if (action->data().isValid()) texts.push_back(action->text().toStdString());
    EXPECT_EQ(texts, (std::vector<std::string>{"Настройки подключения", "Считать параметры", "Записать параметры",
                                               "Выбрать файл прошивки", "Записать прошивку",
                                               "Считать FLASH и сохранить в файл"}));
    EXPECT_EQ(w.OperationAction(opReadEeprom), nullptr);
    EXPECT_EQ(w.OperationAction(opWriteFirmwareAndParams), nullptr);
    auto* settings = qobject_cast<QToolButton*>(w.tbOperations->widgetForAction(w.OperationAction(opSettings)));
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(settings->toolTip(), "Настройки подключения");
    auto* read = qobject_cast<QToolButton*>(w.tbOperations->widgetForAction(w.OperationAction(opReadParams)));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->text(), "Считать параметры");
    ASSERT_NE(w.SendBox(), nullptr);
    EXPECT_TRUE(w.SendBox()->isEditable());
    EXPECT_TRUE(w.SendBox()->currentText().isEmpty());

    QComboBox* devices = w.DeviceCombo();
    ASSERT_NE(devices, nullptr);
    EXPECT_EQ(devices->objectName(), "cbDevice");
    ASSERT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->itemText(0), "COM3, 57600");
    EXPECT_EQ(devices->itemText(1), "Стенд (10.0.0.5:502)");
    EXPECT_EQ(w.SelectedDeviceIndex(), 0);

    // The settings operation picks the second device: the rebuilt list selects it, and
    // a new document's tool bar keeps it.
    stub->ChosenDevice = 1;
    w.OperationAction(opSettings)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Настройки подключения - Ok") && !w.Busy(); }));
    EXPECT_EQ(stub->LastOp, opSettings);
    EXPECT_EQ(w.SelectedDeviceIndex(), 1);
    const QPointer<QComboBox> old = devices;
    w.Controller().ChangeModel(3);
    ASSERT_NE(w.DeviceCombo(), nullptr);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(w.SelectedDeviceIndex(), 1);
    w.close();
    platform::IniFile ini((dir / "Mirvak.ini").string());
    EXPECT_EQ(ini.ReadInteger("Autosave", "LastDevice", -5), 1);
}

// The operations share the fixed tool bar's row only while both fit the window; else
// they take a row of their own, so the first of them stay in sight at the window's
// first width, and at a wide one none hides behind the extension button.
TEST_F(LoaderBinding, OperationsTakeARowOfTheirOwnWhenTheWindowIsNarrow)
{
    Stub stub("loader_stub");
    ASSERT_TRUE(stub.Loaded());
    TfmCfgMain w(Options(stub));
    w.show();
    ASSERT_TRUE(Started(w));
    const auto inSight = [&](QAction* action) {
        QWidget* widget = w.tbOperations->widgetForAction(action);
        return widget && widget->isVisible();
    };
    const auto allInSight = [&] {
        for (QAction* action : w.tbOperations->actions())
            if (action->isVisible() && !inSight(action)) return false;
        return true;
    };
    for (const int width : {800, 3000, 800}) {
        w.resize(width, 600);
        if (width == 800) {
            EXPECT_TRUE(PumpUntil([&] { return w.toolBarBreak(w.tbOperations); }));
            EXPECT_TRUE(PumpUntil([&] {
                return inSight(w.OperationAction(opReadParams)) && inSight(w.OperationAction(opWriteParams));
            }));
        } else {
            EXPECT_TRUE(PumpUntil([&] { return !w.toolBarBreak(w.tbOperations); }));
            EXPECT_TRUE(PumpUntil(allInSight));
        }
    }
}

TEST_F(LoaderBinding, MissingEntryPointsLeaveTheirOperationsOut)
{
    Stub stub("loader_stub_partial");
    TfmCfgMain w(Options(stub));
    ASSERT_TRUE(Started(w));
    EXPECT_TRUE(w.LibraryLoaded());
    EXPECT_NE(w.Entries().GetOPCodes, nullptr);
    EXPECT_NE(w.Entries().GetDevices, nullptr);
    EXPECT_EQ(w.Entries().Invoke3, nullptr);
    EXPECT_EQ(w.Entries().QuickSend, nullptr);
    EXPECT_EQ(w.Entries().SetSarnupolexParams, nullptr);
    // The tool bar is there; an operation without an entry point only logs its caption.
    QAction* read = w.OperationAction(opReadParams);
    ASSERT_NE(read, nullptr);
    w.Controller().Document()->SetModified(false);
    read->trigger();
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Считать параметры - Ok", 0) && !w.Busy(); }));
    EXPECT_FALSE(w.Controller().Document()->IsModified());
    // The command-line box without QuickSend reports a failure.
    w.SendBox()->setEditText("AT");
    QTest::keyClick(w.SendBox()->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Отправка из командной строки: AT - Ошибка", 1); }));
}

TEST_F(LoaderBinding, OutdatedLibraryWarnsAndYesQuits)
{
    const std::string warning = "Используемая версия libSarnupolexLib.so устарела или не поддерживается\n"
                                "Дальнейшая эксплуатация может привести к повреждению данных или контроллера";
    Stub stub("loader_stub_1_3_0_0");
    {
        dialogs->PushAnswer(platform::MsgResult::No);
        TfmCfgMain w(Options(stub));
        ASSERT_TRUE(Started(w));
        EXPECT_EQ(w.cbTypeHUB->count(), 18);
        EXPECT_NE(w.OperationAction(opReadParams), nullptr);
    }
    dialogs.Reset();
    dialogs->PushAnswer(platform::MsgResult::Yes);
    TfmCfgMain w(Options(stub));
    const std::vector<platform::DialogRecord> records = dialogs->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.text, warning + "\nВыйти из приложения?");
    EXPECT_EQ(records[0].box.caption, "Предупреждение");
    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Warning);
    EXPECT_EQ(records[0].box.buttons, platform::MsgButtons::YesNo);
    ASSERT_GE(w.lbMsg->Log().Count(), 1);
    EXPECT_EQ(w.lbMsg->Log().Line(0), warning);
    EXPECT_FALSE(w.lbMsg->Log().Entry(0).HasTime);
    w.show();
    ASSERT_TRUE(PumpUntil([&] { return !w.isVisible(); }));
    // Creation stopped: no model list, no start-up.
    EXPECT_EQ(w.cbTypeHUB->count(), 0);
    ASSERT_TRUE(qttest::PumpPosted());
    EXPECT_EQ(w.Controller().Document(), nullptr);
}

// An operation waiting on the stand-in's latch.
class LoaderBindingBusy : public LoaderBinding {
protected:
    Stub stub{"loader_stub"};
    uint64_t clock = 1000000;

    TCfgMainOptions BusyOptions()
    {
        TCfgMainOptions o = Options(stub);
        o.Clock = [this] { return clock; };
        return o;
    }

    // Enabled states of the shown page's controls, as the page itself set them.
    static std::map<QWidget*, bool> PageStates(TfmCfgMain& w)
    {
        std::map<QWidget*, bool> states;
        if (QWidget* page = w.ShownFrame())
            for (QWidget* child : page->findChildren<QWidget*>()) states[child] = child->isEnabledTo(page);
        return states;
    }
};

TEST_F(LoaderBindingBusy, LocksTheWindowWhileTheOperationRuns)
{
    stub->Mode = TStubMode::Latch;
    TfmCfgMain w(BusyOptions());
    w.show();
    ASSERT_TRUE(Started(w));
    // The common page of the document.
    TDocTreeView* view = w.DocTree()->View();
    view->setCurrentItem(view->ItemOf(w.DocTree()->Tree().Tree().Root(0)));
    ASSERT_TRUE(PumpUntil([&] { return w.ShownFrame() != nullptr; }));
    // A control the page keeps disabled on its own (one its idle update leaves so).
    QWidget* kept = nullptr;
    for (QWidget* child : w.ShownFrame()->findChildren<QWidget*>()) {
        if (kept || child->objectName().isEmpty() || !child->isEnabledTo(w.ShownFrame())) continue;
        child->setEnabled(false);
        w.UpdateControls();
        if (!child->isEnabledTo(w.ShownFrame())) kept = child;
    }
    ASSERT_NE(kept, nullptr);
    const std::map<QWidget*, bool> before = PageStates(w);

    // A write: the page stays as it is through the operation.
    QAction* write = w.OperationAction(opWriteParams);
    write->trigger();
    EXPECT_TRUE(w.Busy());
    // Locked before the thread has done anything.
    EXPECT_FALSE(w.tbOperations->isEnabled());
    EXPECT_FALSE(w.tbFixed->isEnabled());
    EXPECT_FALSE(write->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return stub->Waiting.load(); }));
    EXPECT_FALSE(w.vtTree->isEnabled());
    EXPECT_FALSE(w.ShownFrame()->isEnabled());
    EXPECT_TRUE(w.sbStatus->isEnabled());
    ASSERT_NE(w.ProgressCancelButton(), nullptr);
    EXPECT_TRUE(w.ProgressCancelButton()->isEnabled());
    EXPECT_EQ(w.sbStatus->findChildren<QToolButton*>("btProgressCancel").size(), 1);

    // A second start is refused, by the action and by its shortcut path alike.
    EXPECT_FALSE(w.RunOperation(w.OperationAction(opReadParams)));
    EXPECT_FALSE(w.RunOperation(write));

    // A click before 20 s does nothing; after them it asks whether to quit.
    clock += 19999;
    QTest::mouseClick(w.vtTree->viewport(), Qt::LeftButton);
    ASSERT_TRUE(qttest::PumpPosted());
    EXPECT_TRUE(dialogs->Records().empty());
    clock += 2;
    dialogs->PushAnswer(platform::MsgResult::No);
    QTest::mouseClick(w.vtTree->viewport(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return dialogs->Records().size() == 1; }));
    EXPECT_EQ(dialogs->Records()[0].box.text, "Выполняется длительная операция\nВыйти из приложения?");
    EXPECT_EQ(dialogs->Records()[0].box.caption, "Предупреждение");
    EXPECT_TRUE(w.Busy());
    EXPECT_EQ(stub->MostActive, 1);

    stub->Release = true;
    ASSERT_TRUE(PumpUntil([&] { return !w.Busy(); }));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Записать параметры - Ok", 0); }));
    EXPECT_TRUE(w.tbOperations->isEnabled());
    EXPECT_TRUE(w.tbFixed->isEnabled());
    EXPECT_TRUE(write->isEnabled());
    EXPECT_TRUE(w.vtTree->isEnabled());
    EXPECT_EQ(w.ProgressCancelButton(), nullptr);
    EXPECT_EQ(stub->Invokes, 1);
    w.UpdateControls();
    const std::map<QWidget*, bool> after = PageStates(w);
    EXPECT_FALSE(kept->isEnabledTo(w.ShownFrame()));
    for (const auto& [widget, enabled] : before) {
        if (!enabled && after.count(widget)) {
            EXPECT_FALSE(after.at(widget)) << widget->objectName().toStdString();
        }
    }
    // A click now is an ordinary click.
    QTest::mouseClick(w.vtTree->viewport(), Qt::LeftButton);
    ASSERT_TRUE(qttest::PumpPosted());
    EXPECT_EQ(dialogs->Records().size(), 1u);
}

TEST_F(LoaderBindingBusy, CancelButtonEndsTheReadAndKeepsTheDocument)
{
    stub->Mode = TStubMode::Latch;
    TfmCfgMain w(BusyOptions());
    w.show();
    ASSERT_TRUE(Started(w));
    const std::vector<uint8_t> before = Image(*w.Controller().Document());
    w.Controller().Document()->SetModified(false);
    w.OperationAction(opReadParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return stub->Waiting.load() && w.ProgressCancelButton(); }));
    // Each block transfer's caption came; the status bar holds one button.
    EXPECT_EQ(w.sbStatus->findChildren<QToolButton*>("btProgressCancel").size(), 1);
    QTest::mouseClick(w.ProgressCancelButton(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !w.Busy(); }));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Считать параметры - неудача", 1); }));
    EXPECT_TRUE(HasLine(w, "Операция прервана"));
    EXPECT_EQ(Image(*w.Controller().Document()), before);
    EXPECT_FALSE(w.Controller().Document()->IsModified());
    EXPECT_TRUE(dialogs->Records().empty());
    // The next operation is not cancelled by what went before.
    stub->Mode = TStubMode::Return;
    w.OperationAction(opWriteParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Записать параметры - Ok", 0) && !w.Busy(); }));
    w.OperationAction(opReadParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Считать параметры - Ok", 0) && !w.Busy(); }));
}

// During an operation the progress bar and its cancel button keep clear of the version
// panel, through each transfer's caption and at every width of the window.
TEST_F(LoaderBindingBusy, ProgressLeavesTheVersionReadable)
{
    stub->Mode = TStubMode::Latch;
    TCfgMainOptions o = BusyOptions();
    o.VersionFile = (kFixtures / "version_program").string();
    TfmCfgMain w(o);
    w.show();
    ASSERT_TRUE(Started(w));
    const int versionPanel = w.sbStatus->PanelCount() - 1;
    ASSERT_GE(versionPanel, 1);
    ASSERT_EQ(w.sbStatus->PanelText(versionPanel).toStdString(), "Версия 1.2.4.30");
    const auto clear = [&] {
        const QProgressBar* bar = w.sbStatus->ProgressBar();
        const QToolButton* button = w.ProgressCancelButton();
        if (!bar || !button) return false;
        const QRect version = w.sbStatus->PanelGeometry(versionPanel);
        return version.right() == w.sbStatus->rect().right() && version.width() > 0 &&
               !version.intersects(bar->geometry()) && !version.intersects(button->geometry()) &&
               !bar->geometry().intersects(button->geometry()) && bar->isVisible() && button->isVisible();
    };
    w.OperationAction(opReadParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return stub->Waiting.load(); }));
    EXPECT_TRUE(clear());
    for (const int width : {700, 1200}) {
        w.resize(width, w.height());
        EXPECT_TRUE(PumpUntil([&] { return w.sbStatus->width() > width - 20 && clear(); })) << width;
    }
    stub->Release = true;
    ASSERT_TRUE(PumpUntil([&] { return !w.Busy(); }));
}

TEST_F(LoaderBindingBusy, QuittingWhileBusyCancelsAndWaits)
{
    stub->Mode = TStubMode::Latch;
    auto w = std::make_unique<TfmCfgMain>(BusyOptions());
    w->show();
    ASSERT_TRUE(Started(*w));
    w->OperationAction(opReadParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return stub->Waiting.load(); }));
    // Yes to the abort question closes the window: the operation is cancelled first.
    clock += 20001;
    dialogs->PushAnswer(platform::MsgResult::Yes);
    QTest::mouseClick(w->vtTree->viewport(), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return !w->isVisible(); }));
    EXPECT_FALSE(w->Busy());
    EXPECT_GT(stub->CancelAnswers, 0);
    EXPECT_FALSE(platform::IsTerminating());
    EXPECT_TRUE(std::filesystem::exists(dir / "Mirvak.ini"));
    w.reset();
    EXPECT_EQ(stub->Invokes, 1);
}

TEST_F(LoaderBinding, SendBoxSendsAndKeepsItsHistory)
{
    Stub stub("loader_stub");
    TfmCfgMain w(Options(stub));
    ASSERT_TRUE(Started(w));
    QComboBox* box = w.SendBox();
    ASSERT_NE(box, nullptr);
    box->setEditText("привет");
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Отправка из командной строки: привет - Ok", 0); }));
    EXPECT_EQ(std::string(stub->LastSend), "\xEF\xF0\xE8\xE2\xE5\xF2");  // Windows-1251
    EXPECT_EQ(box->count(), 1);
    stub->QuickSendAnswer = 0;
    box->setEditText("AT");
    QTest::keyClick(box->lineEdit(), Qt::Key_Enter);
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Нет связи с устройством", 1); }));
    EXPECT_TRUE(HasLine(w, "Отправка из командной строки: AT - Ошибка", 1));
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), "AT");
    EXPECT_EQ(box->itemText(1), "привет");
}

// The library's line of the connection shows while a command-line send runs; when the
// send ends, with success or failure, panel 0 shows the idle text again.
TEST_F(LoaderBinding, SendBoxLeavesTheIdleStatusText)
{
    Stub stub("loader_stub");
    TfmCfgMain w(Options(stub));
    ASSERT_TRUE(Started(w));
    stub->Window = w.Handle();
    for (const int answer : {1, 0}) {
        SCOPED_TRACE(answer);
        const std::string text = "AT" + std::to_string(answer);
        stub->QuickSendAnswer = answer;
        w.SendBox()->setEditText(QString::fromStdString(text));
        QTest::keyClick(w.SendBox()->lineEdit(), Qt::Key_Return);
        ASSERT_TRUE(PumpUntil([&] {
            return HasLine(w, "Отправка из командной строки: " + text + (answer ? " - Ok" : " - Ошибка"));
        }));
        EXPECT_TRUE(HasLine(w, "Установка соединения COM3(57600)", 0));
        EXPECT_EQ(w.sbStatus->PanelText(0).toStdString(), "Готов");
    }
}

// In a process of its own: an operation that never returns, then the window is closed.
TEST_F(LoaderBinding, ChildClosesDuringAnEndlessOperation)
{
    const char* folder = std::getenv("MIRVAK_LOADER_CHILD");
    if (!folder) GTEST_SKIP() << "run by ClosingDuringAnEndlessOperationEndsTheProcess";
    Stub stub("loader_stub");
    stub->Mode = TStubMode::NeverReturn;
    TCfgMainOptions o = Options(stub);
    o.IniFile = std::filesystem::path(folder) / "Mirvak.ini";
    TfmCfgMain w(o);
    w.show();
    ASSERT_TRUE(Started(w));
    w.OperationAction(opReadParams)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return stub->Waiting.load(); }));
    w.close();
    testsupport::WriteFile(std::filesystem::path(folder) / "returned", "close returned");
}

TEST_F(LoaderBinding, ClosingDuringAnEndlessOperationEndsTheProcess)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    QElapsedTimer clock;
    clock.start();
    testsupport::ChildProcess child("exec env MIRVAK_LOADER_CHILD='" + dir.path().string() + "' QT_QPA_PLATFORM=offscreen '" +
                                    self + "' --gtest_filter=LoaderBinding.ChildClosesDuringAnEndlessOperation");
    ASSERT_TRUE(child.started());
    // The child starts a whole program and waits out the close: under a sanitizer on a
    // busy machine that takes longer than one wait.
    ASSERT_TRUE(PumpUntil([&] { return !testsupport::GroupHasLiveMembers(child.pid()); }, 3 * testsupport::kWaitDeadline));
    EXPECT_GE(clock.elapsed(), TfmCfgMain::kCloseWaitMs);
    EXPECT_TRUE(std::filesystem::exists(dir / "Mirvak.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir / "returned"));
}

} // namespace
