#pragma once
// The connection settings dialog's logic, without widgets: the device list as device
// parameter strings, the values its controls show for the selected device, and the
// edits add, remove, up, down, the close check and the script editor's opening. Its view
// (loader/qt/FParamView.h) copies control values in after every change and shows
// what this model holds afterwards.

#include "loader/dialogs/CmdDlg.h"
#include "platform/Dialogs.h"
#include "platform/Windows.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TLoaderCore;

// Address of a new network device.
extern const char* const kDefaultLanAddress; // "192.168.0.100"
// The close check's refusal: "Выбетите тип процессора или включите рукопожатие".
extern const char* const kHandshakeOrChipText;
// Hint of the connection list: "Aвто СОМ - использовать автоматический поиск COM порта
// подключения устройства".
extern const char* const kAutoComHint;
// Hint of the TFTP box: "Соединение TFTP использует 69 порт".
extern const char* const kTftpHint;
// Items with a meaning of their own: "TCP/IP", "Авто COM", "Авто" (processor), "<нет>" (script).
extern const char* const kTcpIpItem;
extern const char* const kAutoComItem;
extern const char* const kAutoChipItem;
extern const char* const kNoScriptItem;
// Port number of the automatic COM port search.
inline constexpr int kAutoComPort = 255;
// Longest device name, in characters.
inline constexpr int kDeviceNameMaxLength = 15;
// Range of the retry count.
inline constexpr int kMinRetryCount = 1;
inline constexpr int kMaxRetryCount = 100;
// The baud rates offered, as text.
const std::vector<std::string>& BaudRateItems();

// What the dialog reads from its surroundings.
struct TParamEnvironment {
    std::vector<std::string> ChipNames; // the chip table's names in table order
    std::vector<std::string> ComPorts;  // names of the serial ports present now ("COM3")
    TScriptPlace Scripts;               // the script folder of the editor and the script list
    // The chip table of the core, the present ports (platform::ListSerialPorts), the
    // core's script folder with this process's id, the core's operation window as owner
    // and its session-changed mark.
    static TParamEnvironment ForCore(TLoaderCore& core);
};

// One item of the connection list and the port number it stands for (0 TCP/IP, 255 the
// automatic search, n COM<n>).
struct TConnectionItem {
    std::string Text;
    int Port = 0;
    bool operator==(const TConnectionItem&) const = default;
};

// The values of the parameter panel's controls, item lists included. A list gets an
// extra item for a stored value it does not offer (a port not present now, a script
// without its file, a baud rate outside the list), so that the value survives until the
// user chooses another one.
struct TParamControls {
    bool Enabled = false; // a device is selected
    std::string Name;
    std::vector<std::string> Chips; // the chip names, then "Авто"
    int Chip = 0;
    std::vector<TConnectionItem> Connections;
    int Connection = 0;
    bool ComPage = false; // the page "COM", else "TCP/IP": follows the connection
    std::vector<std::string> BaudRates;
    int BaudRate = 0;
    std::string ScriptBaudRate; // the editable combo's text
    std::string Host;
    std::string IpPort;
    bool Udp = false;
    bool Tftp = false;
    bool Handshake = true;
    std::string HandshakePeriod;
    std::vector<std::string> Scripts; // "<нет>", then the scripts
    int Script = 0;
    bool ScriptsEnabled = false;      // more than one item
    int RetryCount = 3;
    bool operator==(const TParamControls&) const = default;
};

class TfmParamModel : public platform::FormModel {
public:
    explicit TfmParamModel(TParamEnvironment environment);

    std::string FormName() const override { return "TfmParam"; }

    // --- The caller's protocol -----------------------------------------------------
    // Adds a device string as the last item; its text is the string's Name.
    void AddDevice(const std::string& params);
    // Selects an item (-1 or outside the list: none) and fills the controls from it; a
    // click in the list does the same.
    void SetItemIndex(int index);
    int ItemIndex() const { return selected_; }
    int Count() const { return static_cast<int>(items_.size()); }
    std::string ItemText(int index) const;
    const std::string& ItemParams(int index) const { return items_.at(index); }
    // The device strings in list order.
    const std::vector<std::string>& Devices() const { return items_; }

    // --- Controls ----------------------------------------------------------------------
    const TParamControls& Controls() const { return controls_; }
    // The controls' values changed: writes them into the selected device's string (a
    // value left empty deletes its key; keys the dialog does not show stay as they
    // were) and fills the controls again from it. The name loses any ";" and is cut to
    // kDeviceNameMaxLength characters; the retry count is held to its range. Nothing
    // without a selected device.
    void OnParamsChange(const TParamControls& values);

    // --- Actions -----------------------------------------------------------------------
    // A new network device "Устройство<n>" (the smallest n from 1 no item has, letter
    // case ignored) as the last item, selected, with the script "<нет>".
    void Add();
    // Drops the selected item; the one before it is selected, the last one when the
    // first was dropped, none when the list is empty.
    void Remove();
    // Exchange the selected item with the one before / after it.
    void Up();
    void Down();
    bool RemoveEnabled() const { return selected_ >= 0; }
    bool UpEnabled() const { return selected_ >= 1; }
    bool DownEnabled() const { return selected_ >= 0 && selected_ < Count() - 1; }
    bool OkEnabled() const { return Count() > 0; }
    // The check of "ОК": every device that has the handshake off needs a processor of
    // the table. The first offender is selected and kHandshakeOrChipText shown as an
    // error box; false keeps the dialog open. "Отмена" is never checked.
    bool CanClose();

    // The window the dialog's error boxes and the script editor belong to (the view's
    // own while it is shown; at first the environment's owner).
    void SetOwner(platform::HWND owner) { env_.Scripts.Owner = owner; }

    // --- Script editor -------------------------------------------------------------------
    // Opens the script editor through the dialog service with that view: loads the
    // scripts (an error box and no editor when the folder cannot be made), selects the
    // device's script. On OK the editor's Save ran; the script list is filled again and
    // the editor's current script, by name, becomes the device's script.
    void EditScripts(std::shared_ptr<const platform::FormView> editorView);
    // Fills the script list from the folder again (the selected device's script stays).
    void ReloadScripts();

private:
    void Fill(bool initial);
    bool Refuse(const char* text) const;

    TParamEnvironment env_;
    std::vector<std::string> items_;
    int selected_ = -1;
    std::vector<std::string> scripts_; // the folder's scripts
    TParamControls controls_;
};

// The settings operation's dialog: shows the devices (their strings in list order, index
// the selected one) through the dialog service with that view, owner the environment's
// script owner. On OK gives back the edited strings and the selected index and returns
// true; on Cancel leaves both as they were. Called from any thread.
bool EditConnectionSettings(const TParamEnvironment& environment, std::shared_ptr<const platform::FormView> view,
                            std::vector<std::string>& devices, int& index);
