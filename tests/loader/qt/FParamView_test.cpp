// The Qt views of the connection settings dialog and the script editor, offscreen: the
// settings dialog asked for from a worker thread, the editor opened nested, a throwing
// slot, and a picture of each dialog in the test output.

#include "tests/support/QtTestApp.h"

#include "loader/dialogs/FExceptionInfo.h"
#include "common/StrRoutines.h"
#include "loader/qt/CmdDlgView.h"
#include "loader/qt/FParamView.h"
#include "platform/qt/QtDialogs.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using platform::MsgResult;
using qttest::PumpUntil;
using qttest::WhenModalNamed;

namespace {

// Saves a picture of the widget under the build folder's tests/screenshots.
void Picture(QWidget* widget, const std::string& name)
{
    const fs::path folder = fs::path(MIRVAK_BINARY_DIR) / "tests" / "screenshots";
    fs::create_directories(folder);
    const fs::path file = folder / (name + ".png");
    EXPECT_TRUE(widget->grab().save(QString::fromStdString(file.string()))) << file;
}

template <class T>
T* Child(QWidget* parent, const char* name)
{
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class ParamDialogView : public ::testing::Test {
protected:
    void SetUp() override
    {
        qttest::App();
        previous = platform::SetDialogService(std::make_shared<platform::qt::QtDialogService>());
        for (const char* chip : {"AT89C51", "AT89C52", "ATmega128"}) env.ChipNames.push_back(chip);
        env.ComPorts = {"COM1", "COM3"};
        env.Scripts.Folder = dir / "Scripts";
        env.Scripts.Pid = "31";
        fs::create_directories(env.Scripts.Folder);
        testsupport::WriteFile(env.Scripts.Folder / "start.tmp31", "sleep 1000\r\nrestart 1");
        testsupport::WriteFile(env.Scripts.Folder / "stop.tmp31", "restart2 3");
    }
    void TearDown() override { platform::SetDialogService(previous); }

    testsupport::TempDir dir;
    TParamEnvironment env;
    std::shared_ptr<platform::DialogService> previous;
};

} // namespace

TEST_F(ParamDialogView, AWorkerGetsTheEditedDevices)
{
    std::thread::id builtOn;
    WhenModalNamed("TfmParam", [&](QWidget* dialog) {
        builtOn = std::this_thread::get_id();
        EXPECT_EQ(dialog->windowTitle(), "Параметры");
        auto* name = Child<QLineEdit>(dialog, "NameEdit");
        EXPECT_EQ(name->text(), "Второй");
        EXPECT_EQ(Child<QComboBox>(dialog, "FileNameCombo")->currentText(), "COM3");
        EXPECT_EQ(Child<QComboBox>(dialog, "ScriptComboBox")->currentText(), "stop");
        Picture(dialog, "TfmParam");
        name->setFocus();
        QTest::keyClicks(name, "X;");
        EXPECT_EQ(name->text(), "ВторойX") << "\";\" is not taken";
        EXPECT_EQ(Child<QListWidget>(dialog, "DeviceListBox")->item(1)->text(), "ВторойX");
        Child<QPushButton>(dialog, "OkButton")->click();
    });
    std::vector<std::string> devices = {"Name=Первый;TCPIP=10.0.0.2",
                                        "Name=Второй;ioType=iotSerial;SerialComNumber=3;ScriptFile=stop"};
    int index = 1;
    std::atomic<bool> done{false};
    bool accepted = false;
    std::thread worker([&] {
        accepted = EditConnectionSettings(env, ParamFormView(), devices, index);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(builtOn, std::this_thread::get_id());
    EXPECT_TRUE(accepted);
    EXPECT_EQ(index, 1);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0], "Name=Первый;TCPIP=10.0.0.2");
    EXPECT_EQ(GetParam(devices[1], "Name"), "ВторойX");
    EXPECT_EQ(GetParam(devices[1], "SerialComNumber"), "3");
    EXPECT_EQ(GetParam(devices[1], "ScriptFile"), "stop");
}

TEST_F(ParamDialogView, TheEditorOpensNestedAndCancelReturns)
{
    bool editorSeen = false;
    WhenModalNamed("TfmParam", [&](QWidget* dialog) {
        WhenModalNamed("TScriptDialog", [&](QWidget* editor) {
            editorSeen = true;
            EXPECT_EQ(editor->windowTitle(), "Скрипты");
            EXPECT_EQ(editor->parentWidget(), dialog) << "the editor belongs to the settings dialog";
            auto* list = Child<QListWidget>(editor, "CommandListBox");
            EXPECT_EQ(list->count(), 2);
            EXPECT_EQ(list->currentItem()->text(), "start") << "the device's script";
            EXPECT_EQ(Child<QLineEdit>(editor, "NameEdit")->text(), "start");
            auto* help = Child<QLabel>(editor, "HelpLabel");
            EXPECT_EQ(help->toolTipDuration(), 60000);
            EXPECT_TRUE(help->toolTip().startsWith("Каждая команда на новой строке, параметры отделяются пробелами."));
            Picture(editor, "TScriptDialog");
            Child<QPushButton>(editor, "AddButton")->click();
            Child<QPushButton>(editor, "CancelButton")->click();
        });
        Child<QPushButton>(dialog, "EditScriptButton")->click();
        Child<QPushButton>(dialog, "CancelButton")->click();
    });
    std::vector<std::string> devices = {"Name=a;ScriptFile=start"};
    int index = 0;
    EXPECT_FALSE(EditConnectionSettings(env, ParamFormView(), devices, index));
    EXPECT_TRUE(editorSeen);
    EXPECT_EQ(devices[0], "Name=a;ScriptFile=start");
    EXPECT_EQ(ListScriptNames(env.Scripts), (std::vector<std::string>{"start", "stop"}));
}

TEST_F(ParamDialogView, AThrowingSlotReachesTheLibrarysDisplay)
{
    // Without the exception dialog installed, the library's display is the error box.
    testsupport::DialogScript script;
    script->PushAnswer(MsgResult::OK);
    // A folder where the new script's working copy would go: writing it fails.
    fs::create_directories(env.Scripts.Folder / "Script_3.tmp31" / "inside");
    TScriptDialogModel model(env.Scripts);
    model.Load();
    TScriptDialog editor(model, nullptr);
    Child<QPushButton>(&editor, "AddButton")->click();
    EXPECT_EQ(Child<QLineEdit>(&editor, "NameEdit")->text(), "Script_3");
    Child<QPushButton>(&editor, "OkButton")->click();
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].box.icon, platform::MsgIcon::Error);
    EXPECT_NE(records[0].box.text.find("Script_3"), std::string::npos) << records[0].box.text;
    EXPECT_EQ(editor.result(), 0) << "the editor stays open";
    // The event loop goes on and the dialog still answers.
    QTimer::singleShot(0, &editor, [&] { Child<QPushButton>(&editor, "CancelButton")->click(); });
    EXPECT_EQ(editor.exec(), QDialog::Rejected);
}

TEST_F(ParamDialogView, ThePanelFollowsTheSelection)
{
    TfmParamModel model(env);
    model.AddDevice("Name=a;ioType=iotSerial;SerialComNumber=1");
    model.SetItemIndex(0);
    TfmParam dialog(model, nullptr);
    auto* panel = Child<QWidget>(&dialog, "ParamPanel");
    auto* name = Child<QLineEdit>(&dialog, "NameEdit");
    EXPECT_TRUE(name->isEnabledTo(&dialog));
    EXPECT_EQ(Child<QComboBox>(&dialog, "TypeCombo")->currentText(), "Авто");
    Child<QPushButton>(&dialog, "RemoveButton")->click();
    EXPECT_FALSE(name->isEnabledTo(&dialog));
    EXPECT_TRUE(panel->isEnabledTo(&dialog));
    EXPECT_FALSE(Child<QPushButton>(&dialog, "OkButton")->isEnabled());
    Child<QPushButton>(&dialog, "AddButton")->click();
    EXPECT_TRUE(name->isEnabledTo(&dialog));
    EXPECT_EQ(name->text(), "Устройство1");
    EXPECT_EQ(Child<QLineEdit>(&dialog, "HostEdit")->text(), "192.168.0.100");
    // Typing in the middle keeps the cursor where it is.
    name->setCursorPosition(3);
    QTest::keyClicks(name, "z");
    EXPECT_EQ(name->text(), "Устzройство1");
    EXPECT_EQ(name->cursorPosition(), 4);
}
