// The connection settings dialog's model without a display: strings to controls and
// back, the list actions, the close check.

#include "loader/dialogs/FParam.h"
#include "common/StrRoutines.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using platform::DialogKind;
using platform::MsgIcon;

// 14 chips, as the built-in table has; COM10 and COM2 present; two scripts.
class ParamDialogModel : public ::testing::Test {
protected:
    ParamDialogModel()
    {
        for (int i = 0; i < 14; ++i) env.ChipNames.push_back("Chip" + std::to_string(i));
        env.ComPorts = {"COM2", "COM10"};
        env.Scripts.Folder = dir / "Scripts";
        env.Scripts.Pid = "777";
        std::filesystem::create_directories(env.Scripts.Folder);
        testsupport::WriteFile(env.Scripts.Folder / "beta.tmp777", "x");
        testsupport::WriteFile(env.Scripts.Folder / "Alpha.tmp777", "y");
    }

    // A model holding these devices, the first selected.
    TfmParamModel Model(const std::vector<std::string>& devices, int selected = 0)
    {
        TfmParamModel model(env);
        for (const std::string& device : devices) model.AddDevice(device);
        model.SetItemIndex(selected);
        return model;
    }

    // The selected device after its name was typed.
    static std::string Rename(TfmParamModel& model, const std::string& name)
    {
        TParamControls values = model.Controls();
        values.Name = name;
        model.OnParamsChange(values);
        return model.ItemParams(model.ItemIndex());
    }

    testsupport::TempDir dir;
    TParamEnvironment env;
};

std::vector<std::string> Texts(const std::vector<TConnectionItem>& items)
{
    std::vector<std::string> texts;
    for (const TConnectionItem& item : items) texts.push_back(item.Text);
    return texts;
}

} // namespace

TEST_F(ParamDialogModel, ListsOfTheControls)
{
    TfmParamModel model = Model({"Name=a"});
    const TParamControls& c = model.Controls();
    EXPECT_EQ(Texts(c.Connections), (std::vector<std::string>{"TCP/IP", "Авто COM", "COM10", "COM2"}));
    EXPECT_EQ(c.Connections[1].Port, 255);
    EXPECT_EQ(c.Connections[2].Port, 10);
    ASSERT_EQ(c.Chips.size(), 15u);
    EXPECT_EQ(c.Chips.back(), "Авто");
    EXPECT_EQ(c.Scripts, (std::vector<std::string>{"<нет>", "Alpha", "beta"}));
    EXPECT_TRUE(c.ScriptsEnabled);
    EXPECT_EQ(c.BaudRates, BaudRateItems());
}

TEST_F(ParamDialogModel, UnshownKeysSurviveAnEdit)
{
    const std::string device = "Name=dev;ioType=iotSerial;SerialComNumber=2;SerialBaudRate=19200;SerialParity=2;"
                               "SerialStopBits=2;SerialByteSize=7;Address=1;Zeta=q;w";
    TfmParamModel model = Model({device});
    const std::string edited = Rename(model, "dev2");
    for (const char* key : {"SerialParity", "SerialStopBits", "SerialByteSize", "Address", "Zeta"})
        EXPECT_EQ(GetParam(edited, key), GetParam(device, key)) << key;
    EXPECT_NE(edited.find("SerialParity=2;SerialStopBits=2;SerialByteSize=7;Address=1;Zeta=q;w"), std::string::npos)
        << edited;
    EXPECT_EQ(GetParam(edited, "Name"), "dev2");
    EXPECT_EQ(model.ItemText(0), "dev2");
}

TEST_F(ParamDialogModel, ControlsFromStringsAndBack)
{
    struct Case {
        std::string device;
        std::string connection; // shown
        bool comPage;
        std::string chip;       // shown
        std::map<std::string, std::string> written; // after an edit of the name
    };
    const std::vector<Case> cases = {
        {"ioType=iotSerial;SerialComNumber=2", "COM2", true, "Авто",
         {{"ioType", "iotSerial"}, {"SerialComNumber", "2"}, {"ControllerType", "-1"}}},
        {"ioType=iotTCP;TCPIP=10.0.0.1;TCPPort=502;UDP=1;TFTP=1", "TCP/IP", false, "Авто",
         {{"ioType", "iotTCP"}, {"SerialComNumber", "0"}, {"TCPIP", "10.0.0.1"}, {"TCPPort", "502"}, {"UDP", "1"},
          {"TFTP", "1"}}},
        {"ioType=IOTSERIAL;SerialComNumber=255", "Авто COM", true, "Авто", {{"SerialComNumber", "255"}}},
        // A port number left in a network device's string is not its connection.
        {"ioType=iotTCP;SerialComNumber=2;TCPIP=h", "TCP/IP", false, "Авто", {{"ioType", "iotTCP"}}},
        {"ControllerType=-1", "TCP/IP", false, "Авто", {{"ControllerType", "-1"}}},
        {"ControllerType=20", "TCP/IP", false, "Авто", {{"ControllerType", "-1"}}},
        {"ControllerType=3", "TCP/IP", false, "Chip3", {{"ControllerType", "3"}}},
        {"ControllerType=13;Handshake=0", "TCP/IP", false, "Chip13", {{"ControllerType", "13"}, {"Handshake", "0"}}},
        // Defaults of a string without the keys.
        {"", "TCP/IP", false, "Авто",
         {{"TCPIP", "127.0.0.1"}, {"TCPPort", "10001"}, {"Handshake", "1"}, {"HandshakePeriod", "500"},
          {"RetryCount", "3"}, {"ScriptFile", "<нет>"}, {"SerialBaudRate", "57600"}, {"SpeedScript", "57600"}}},
        // A stored retry count of 0 is 1; one beyond the range is 100.
        {"RetryCount=0", "TCP/IP", false, "Авто", {{"RetryCount", "1"}}},
        {"RetryCount=500", "TCP/IP", false, "Авто", {{"RetryCount", "100"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        TfmParamModel model = Model({"Name=n;" + c.device});
        const TParamControls& shown = model.Controls();
        EXPECT_EQ(shown.Connections[shown.Connection].Text, c.connection);
        EXPECT_EQ(shown.ComPage, c.comPage);
        EXPECT_EQ(shown.Chips[shown.Chip], c.chip);
        const std::string edited = Rename(model, "m");
        for (const auto& [key, value] : c.written) EXPECT_EQ(GetParam(edited, key), value) << key;
    }
}

TEST_F(ParamDialogModel, ChoicesAreWritten)
{
    TfmParamModel model = Model({"Name=n;ioType=iotSerial;SerialComNumber=2;ControllerType=3"});
    TParamControls values = model.Controls();
    values.Chip = static_cast<int>(values.Chips.size()) - 1; // "Авто"
    values.Connection = 0;                                   // "TCP/IP"
    values.Script = 2;                                       // "beta"
    model.OnParamsChange(values);
    const std::string s = model.ItemParams(0);
    EXPECT_EQ(GetParam(s, "ControllerType"), "-1");
    EXPECT_EQ(GetParam(s, "ioType"), "iotTCP");
    EXPECT_EQ(GetParam(s, "SerialComNumber"), "0");
    EXPECT_EQ(GetParam(s, "ScriptFile"), "beta");
    EXPECT_FALSE(model.Controls().ComPage);

    values = model.Controls();
    values.Connection = 1; // "Авто COM"
    model.OnParamsChange(values);
    EXPECT_EQ(GetParam(model.ItemParams(0), "SerialComNumber"), "255");
    EXPECT_EQ(GetParam(model.ItemParams(0), "ioType"), "iotSerial");
    EXPECT_TRUE(model.Controls().ComPage);
}

TEST_F(ParamDialogModel, StoredValuesOutsideTheListsSurvive)
{
    TfmParamModel model =
        Model({"Name=n;ioType=iotSerial;SerialComNumber=5;SerialBaudRate=250000;ScriptFile=gone"});
    const TParamControls& c = model.Controls();
    EXPECT_EQ(c.Connections[c.Connection].Text, "COM5");
    EXPECT_EQ(c.Connections[c.Connection].Port, 5);
    EXPECT_EQ(c.BaudRates[c.BaudRate], "250000");
    EXPECT_EQ(c.BaudRates.back(), "921600") << "the extra rate stands in numeric order";
    EXPECT_EQ(c.Scripts[c.Script], "gone");
    EXPECT_EQ(c.ScriptBaudRate, "250000");

    const std::string edited = Rename(model, "renamed");
    EXPECT_EQ(GetParam(edited, "ioType"), "iotSerial");
    EXPECT_EQ(GetParam(edited, "SerialComNumber"), "5");
    EXPECT_EQ(GetParam(edited, "SerialBaudRate"), "250000");
    EXPECT_EQ(GetParam(edited, "ScriptFile"), "gone");

    // Once another value is chosen, the extra item goes.
    TParamControls values = model.Controls();
    values.Connection = 2; // COM10
    model.OnParamsChange(values);
    EXPECT_EQ(Texts(model.Controls().Connections), (std::vector<std::string>{"TCP/IP", "Авто COM", "COM10", "COM2"}));
}

TEST_F(ParamDialogModel, ScriptSpeedFollowsTheBaudRate)
{
    TfmParamModel model = Model({"Name=n;ioType=iotSerial;SerialComNumber=2"});
    EXPECT_EQ(model.Controls().BaudRates[model.Controls().BaudRate], "57600");
    EXPECT_EQ(model.Controls().ScriptBaudRate, "57600");
    model.SetItemIndex(-1);
    model.AddDevice("Name=m;SerialBaudRate=115200");
    model.SetItemIndex(1);
    EXPECT_EQ(model.Controls().ScriptBaudRate, "115200");
    model.AddDevice("Name=k;SerialBaudRate=115200;SpeedScript=9600");
    model.SetItemIndex(2);
    EXPECT_EQ(model.Controls().ScriptBaudRate, "9600");
}

TEST_F(ParamDialogModel, EditsAreCleaned)
{
    TfmParamModel model = Model({"Name=n;TCPPort=502"});
    TParamControls values = model.Controls();
    values.Name = "a;UDP=1";
    values.IpPort = "70000";
    values.HandshakePeriod = "";
    values.ScriptBaudRate = "96x00";
    model.OnParamsChange(values);
    std::string s = model.ItemParams(0);
    EXPECT_EQ(GetParam(s, "Name"), "aUDP=1");
    EXPECT_EQ(GetParam(s, "UDP"), "0");
    EXPECT_EQ(GetParam(s, "TCPPort"), "502") << "a port beyond 65535 is not taken";
    EXPECT_EQ(s.find("HandshakePeriod"), std::string::npos) << "an empty value deletes its key";
    EXPECT_EQ(model.Controls().HandshakePeriod, "") << "and the edit stays empty";
    EXPECT_EQ(GetParam(s, "SpeedScript"), "9600");

    values = model.Controls();
    values.Name = "Очень длинное имя прибора";
    values.IpPort = "";
    model.OnParamsChange(values);
    s = model.ItemParams(0);
    EXPECT_EQ(GetParam(s, "Name"), "Очень длинное и");
    EXPECT_EQ(s.find("TCPPort"), std::string::npos);
}

TEST_F(ParamDialogModel, AddTakesTheFirstFreeName)
{
    struct Case {
        std::vector<std::string> devices;
        std::string name;
    };
    const std::vector<Case> cases = {
        {{}, "Устройство1"},
        {{"Name=Other"}, "Устройство1"},
        {{"Name=устройство1"}, "Устройство2"},
        {{"Name=УСТРОЙСТВО1", "Name=Устройство3"}, "Устройство2"},
    };
    for (const Case& c : cases) {
        TfmParamModel model = Model(c.devices);
        model.Add();
        ASSERT_EQ(model.ItemIndex(), model.Count() - 1);
        EXPECT_EQ(model.ItemText(model.ItemIndex()), c.name);
    }
    TfmParamModel model = Model({});
    model.Add();
    EXPECT_EQ(model.ItemParams(0),
              "ioType=iotTCP;SerialComNumber=0;SerialBaudRate=57600;TCPIP=192.168.0.100;TCPPort=10001;Address=1;"
              "Name=Устройство1;SpeedScript=57600;TFTP=0;UDP=0;ControllerType=-1;ScriptFile=<нет>;Handshake=1;"
              "HandshakePeriod=500;RetryCount=3");
    EXPECT_TRUE(model.Controls().Enabled);
    EXPECT_EQ(model.Controls().Script, 0);
}

TEST_F(ParamDialogModel, RemoveUpDownAndTheirStates)
{
    TfmParamModel model = Model({"Name=a", "Name=b", "Name=c"});
    struct State {
        int selected;
        bool remove, up, down;
    };
    for (const State& s : {State{-1, false, false, false}, State{0, true, false, true}, State{1, true, true, true},
                           State{2, true, true, false}}) {
        model.SetItemIndex(s.selected);
        EXPECT_EQ(model.RemoveEnabled(), s.remove) << s.selected;
        EXPECT_EQ(model.UpEnabled(), s.up) << s.selected;
        EXPECT_EQ(model.DownEnabled(), s.down) << s.selected;
        EXPECT_TRUE(model.OkEnabled());
        EXPECT_EQ(model.Controls().Enabled, s.selected >= 0);
    }

    model.SetItemIndex(0);
    model.Down();
    EXPECT_EQ(model.ItemIndex(), 1);
    EXPECT_EQ(model.ItemText(1), "a");
    model.Up();
    EXPECT_EQ(model.ItemIndex(), 0);
    EXPECT_EQ(model.ItemText(0), "a");

    model.Remove(); // the first of three: the last is selected
    ASSERT_EQ(model.Count(), 2);
    EXPECT_EQ(model.ItemIndex(), 1);
    EXPECT_EQ(model.Controls().Name, "c");
    model.Remove(); // not the first: the one before it
    EXPECT_EQ(model.ItemIndex(), 0);
    model.Remove(); // the only one
    EXPECT_EQ(model.Count(), 0);
    EXPECT_EQ(model.ItemIndex(), -1);
    EXPECT_FALSE(model.Controls().Enabled);
    EXPECT_FALSE(model.OkEnabled());
}

TEST_F(ParamDialogModel, CloseCheckCoversEveryDevice)
{
    testsupport::DialogScript script;
    TfmParamModel model = Model({"Name=ok;Handshake=0;ControllerType=2", "Name=bad;Handshake=0", "Name=c"}, 2);
    script->PushAnswer(platform::MsgResult::OK);
    EXPECT_FALSE(model.CanClose());
    EXPECT_EQ(model.ItemIndex(), 1) << "the offender is selected";
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, DialogKind::MessageBox);
    EXPECT_EQ(records[0].box.text, "Выбетите тип процессора или включите рукопожатие");
    EXPECT_EQ(records[0].box.caption, "Ошибка");
    EXPECT_EQ(records[0].box.icon, MsgIcon::Error);

    TParamControls values = model.Controls();
    values.Handshake = true;
    model.OnParamsChange(values);
    EXPECT_TRUE(model.CanClose());
}

TEST_F(ParamDialogModel, CancelNeedsNoCheck)
{
    testsupport::DialogScript script;
    const std::vector<std::string> before = {"Name=bad;Handshake=0;ControllerType=-1"};
    std::vector<std::string> devices = before;
    int index = 0;
    script->PushForm([](platform::FormModel& form) {
        auto& model = dynamic_cast<TfmParamModel&>(form);
        Rename(model, "changed");
        return platform::MsgResult::Cancel;
    });
    EXPECT_FALSE(EditConnectionSettings(env, nullptr, devices, index));
    EXPECT_EQ(devices, before);
    EXPECT_EQ(index, 0);
}

TEST_F(ParamDialogModel, OkGivesTheEditedStrings)
{
    testsupport::DialogScript script;
    std::vector<std::string> devices = {"Name=a", "Name=b"};
    int index = 1;
    script->PushForm([](platform::FormModel& form) {
        auto& model = dynamic_cast<TfmParamModel&>(form);
        EXPECT_EQ(model.FormName(), "TfmParam");
        EXPECT_EQ(model.Controls().Name, "b");
        model.Add();
        Rename(model, "new");
        return platform::MsgResult::OK;
    });
    EXPECT_TRUE(EditConnectionSettings(env, nullptr, devices, index));
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0], "Name=a");
    EXPECT_EQ(GetParam(devices[2], "Name"), "new");
    EXPECT_EQ(index, 2);
}

// ---------------------------------------------------------------------------------
// The script editor opened from the dialog, with the library's load and unload work.

#include "loader/core/LoaderCore.h"
#include "platform/ProgramDir.h"
#include "platform/SerialPorts.h"

#include <unistd.h>

#include <map>

namespace {

using platform::FormModel;
using platform::MsgResult;

class ParamDialogSession : public ::testing::Test {
protected:
    ParamDialogSession()
    {
        FreeSharedWatchCategory();
        std::filesystem::create_directories(Scripts());
        testsupport::WriteFile(Scripts() / "a.txt", "sleep 1;\r\n  x");
        testsupport::WriteFile(Scripts() / "b.txt", "B");
        initial = Folder();
        TLoaderPlaces places;
        places.HostFolder = dir.path();
        places.HostExe = std::filesystem::read_symlink("/proc/self/exe");
        core = std::make_unique<TLoaderCore>(places);
        core->LibraryAttach();
    }
    ~ParamDialogSession() override
    {
        core.reset();
        FreeSharedWatchCategory();
    }

    std::filesystem::path Scripts() const { return dir / "Scripts"; }
    // Every file of the script folder with its bytes.
    std::map<std::string, std::string> Folder() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(Scripts()))
            files[entry.path().filename().string()] = testsupport::ReadFile(entry.path());
        return files;
    }
    // The settings dialog opens the editor, which the handler edits; the settings
    // dialog then ends with its answer. Returns the device strings.
    std::vector<std::string> Edit(std::function<MsgResult(TScriptDialogModel&)> editor,
                                  MsgResult settingsAnswer = MsgResult::OK)
    {
        script->PushForm([settingsAnswer](FormModel& form) {
            dynamic_cast<TfmParamModel&>(form).EditScripts(nullptr);
            return settingsAnswer;
        });
        script->PushForm([editor](FormModel& form) { return editor(dynamic_cast<TScriptDialogModel&>(form)); });
        std::vector<std::string> devices = {"Name=dev;ScriptFile=b"};
        int index = 0;
        EditConnectionSettings(TParamEnvironment::ForCore(*core), nullptr, devices, index);
        return devices;
    }
    void Unload(std::optional<MsgResult> answer)
    {
        if (answer) script->PushAnswer(*answer);
        core->LibraryDetach();
        core.reset();
    }

    testsupport::TempDir dir;
    testsupport::ScopedEnv env{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript script;
    std::unique_ptr<TLoaderCore> core;
    std::map<std::string, std::string> initial; // the folder before the library's load
    const std::string pid = std::to_string(::getpid());
};

} // namespace

TEST_F(ParamDialogSession, RemovedScriptGoesOnlyWhenKept)
{
    for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        SCOPED_TRACE(platform::MsgResultName(answer));
        if (!core) {
            TLoaderPlaces places;
            places.HostFolder = dir.path();
            places.HostExe = std::filesystem::read_symlink("/proc/self/exe");
            core = std::make_unique<TLoaderCore>(places);
            core->LibraryAttach();
        }
        Edit([](TScriptDialogModel& editor) {
            editor.SelectByName("a");
            editor.Remove();
            return MsgResult::OK;
        });
        EXPECT_TRUE(std::filesystem::exists(Scripts() / "a.txt")) << "OK touches no script";
        Unload(answer);
        EXPECT_EQ(std::filesystem::exists(Scripts() / "a.txt"), answer == MsgResult::No);
    }
}

TEST_F(ParamDialogSession, AddedScriptIsKeptAndChosen)
{
    const auto devices = Edit([](TScriptDialogModel& editor) {
        EXPECT_EQ(editor.CurrentName(), "b") << "the device's script is current";
        editor.Add();
        editor.SetNameText("zz");
        return MsgResult::OK;
    });
    EXPECT_EQ(GetParam(devices[0], "ScriptFile"), "zz") << "the editor's current script, by name";
    Unload(MsgResult::Yes);
    EXPECT_EQ(Folder(), (std::map<std::string, std::string>{
                            {"a.txt", "sleep 1;\r\n  x"}, {"b.txt", "B"}, {"zz.txt", "sleep 1000\r\nrestart 1"}}));
}

TEST_F(ParamDialogSession, NoAtUnloadLeavesTheFolderAsItWas)
{
    Edit([](TScriptDialogModel& editor) {
        editor.SelectByName("a");
        editor.SetNameText("renamed");
        editor.SetScriptText("changed");
        return MsgResult::OK;
    });
    EXPECT_EQ(Folder().count("renamed.tmp" + pid), 1u);
    Unload(MsgResult::No);
    EXPECT_EQ(Folder(), initial);
}

TEST_F(ParamDialogSession, EditorOkIsAskedAboutAfterSettingsCancel)
{
    Edit(
        [](TScriptDialogModel& editor) {
            editor.SelectByName("b");
            editor.SetScriptText("B2");
            return MsgResult::OK;
        },
        MsgResult::Cancel);
    Unload(MsgResult::Yes); // DialogScript fails the test when the question is not asked
    EXPECT_EQ(Folder().at("b.txt"), "B2");
}

TEST_F(ParamDialogSession, EditorCancelChangesNothing)
{
    const auto before = Folder();
    Edit([](TScriptDialogModel& editor) {
        editor.SelectByName("a");
        editor.Remove();
        editor.Add();
        return MsgResult::Cancel;
    });
    EXPECT_EQ(Folder(), before) << "working copies untouched";
    Unload(std::nullopt); // nothing to ask
    EXPECT_EQ(Folder(), initial);
}

TEST_F(ParamDialogSession, BlockedFolderIsReported)
{
    std::filesystem::remove_all(Scripts());
    testsupport::WriteFile(Scripts(), "in the way");
    script->PushForm([](FormModel& form) {
        dynamic_cast<TfmParamModel&>(form).EditScripts(nullptr);
        return MsgResult::Cancel;
    });
    script->PushAnswer(MsgResult::OK);
    std::vector<std::string> devices = {"Name=dev"};
    int index = 0;
    EditConnectionSettings(TParamEnvironment::ForCore(*core), nullptr, devices, index);
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].box.text, "Не удалось создать папку для скриптов\n" + Scripts().string());
    EXPECT_EQ(records[1].box.caption, "Ошибка");
}

TEST_F(ParamDialogSession, PortsOfThisMachineSortedAsText)
{
    testsupport::ScopedEnv ports(platform::kComPortsVariable, "COM2=/dev/null;COM10=/dev/zero");
    TfmParamModel model(TParamEnvironment::ForCore(*core));
    std::vector<std::string> texts;
    for (const TConnectionItem& item : model.Controls().Connections) texts.push_back(item.Text);
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts[0], "TCP/IP");
    EXPECT_EQ(texts[1], "Авто COM");
    const auto at = [&](const std::string& name) { return std::find(texts.begin(), texts.end(), name) - texts.begin(); };
    EXPECT_LT(at("COM10"), at("COM2"));
    EXPECT_LT(at("COM2"), static_cast<long>(texts.size()));
    EXPECT_EQ(model.Controls().Chips.size(), static_cast<size_t>(kBuiltInChipCount + 1));
}
