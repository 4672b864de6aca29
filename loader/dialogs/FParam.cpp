#include "loader/dialogs/FParam.h"

#include "loader/core/LoaderCore.h"
#include "common/StrRoutines.h"
#include "platform/CodePages.h"
#include "platform/SerialPorts.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>

const char* const kDefaultLanAddress = "192.168.0.100";
const char* const kHandshakeOrChipText = "Выбетите тип процессора или включите рукопожатие";
const char* const kAutoComHint = "Aвто СОМ - использовать автоматический поиск COM порта подключения устройства";
const char* const kTftpHint = "Соединение TFTP использует 69 порт";
const char* const kTcpIpItem = "TCP/IP";
const char* const kAutoComItem = "Авто COM";
const char* const kAutoChipItem = "Авто";
const char* const kNoScriptItem = "<нет>";

namespace {

// Values a control shows while its key is missing from the first fill of a device.
constexpr int kDefaultBaudRate = 57600;
constexpr const char* kLoopbackAddress = "127.0.0.1";
constexpr const char* kDefaultTcpPort = "10001";
constexpr const char* kDefaultHandshakePeriod = "500";
constexpr int kDefaultRetryCount = 3;
constexpr int kMaxTcpPort = 65535;
constexpr const char* kNewDeviceName = "Устройство";

// The decimal integer of the whole text, else the default.
int StrToIntDef(const std::string& text, int def)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const auto [ptr, ec] = std::from_chars(first, end, value);
    return ec == std::errc() && ptr == end && !text.empty() ? value : def;
}

std::string DigitsOnly(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9') out += c;
    return out;
}

// The name without ";" and cut to the longest device name.
std::string CleanDeviceName(const std::string& text)
{
    const std::string name = ReplaceChars(text, ";", "");
    size_t pos = 0;
    for (int i = 0; i < kDeviceNameMaxLength && pos < name.size(); ++i) platform::DecodeUtf8(name, pos);
    return name.substr(0, pos);
}

// Port number of a COM name: the number after "COM".
int ComNumber(const std::string& name) { return name.size() > 3 ? StrToIntDef(name.substr(3), 0) : 0; }

int IndexOf(const std::vector<std::string>& items, const std::string& text)
{
    const auto it = std::find(items.begin(), items.end(), text);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

} // namespace

const std::vector<std::string>& BaudRateItems()
{
    static const std::vector<std::string> items = {"110",   "300",   "1200",   "2400",   "4800",
                                                   "9600",  "14400", "19200",  "38400",  "57600",
                                                   "115200", "230400", "460800", "921600"};
    return items;
}

TParamEnvironment TParamEnvironment::ForCore(TLoaderCore& core)
{
    TParamEnvironment env;
    for (int i = 0; i < core.Chips().Count(); ++i) env.ChipNames.push_back(core.Chips().Items(i).Name);
    for (const platform::SerialPortInfo& port : platform::ListSerialPorts()) env.ComPorts.push_back(port.name);
    env.Scripts.Folder = core.ScriptsFolder();
    env.Scripts.Pid = std::to_string(::getpid());
    env.Scripts.Owner = core.OperationWindow();
    env.Scripts.MarkSessionChanged = [&core] { core.MarkSessionChanged(); };
    return env;
}

TfmParamModel::TfmParamModel(TParamEnvironment environment) : env_(std::move(environment))
{
    scripts_ = ListScriptNames(env_.Scripts);
    Fill(true);
}

void TfmParamModel::AddDevice(const std::string& params) { items_.push_back(params); }

void TfmParamModel::SetItemIndex(int index)
{
    selected_ = index >= 0 && index < Count() ? index : -1;
    Fill(true);
}

std::string TfmParamModel::ItemText(int index) const { return GetParam(items_.at(index), "Name"); }

void TfmParamModel::Fill(bool initial)
{
    TParamControls c;
    c.Chips = env_.ChipNames;
    c.Chips.push_back(kAutoChipItem);
    c.Chip = static_cast<int>(c.Chips.size()) - 1;
    c.BaudRates = BaudRateItems();
    c.BaudRate = IndexOf(c.BaudRates, std::to_string(kDefaultBaudRate));
    c.Scripts = {kNoScriptItem};
    c.Scripts.insert(c.Scripts.end(), scripts_.begin(), scripts_.end());
    std::vector<std::string> ports = env_.ComPorts;
    const std::string params = selected_ >= 0 ? items_[selected_] : std::string();
    const auto value = [&](const char* key) { return GetParam(params, key); };
    const auto orDefault = [&](const char* key, const char* def) {
        const std::string v = value(key);
        return v.empty() && initial ? std::string(def) : v;
    };

    c.Enabled = selected_ >= 0;
    int port = 0;
    if (c.Enabled) {
        c.Name = value("Name");
        // The loader takes the network for anything but "iotSerial": a port number
        // left in such a string is not the device's connection.
        if (AnsiLowerCase(value("ioType")) == "iotserial") port = std::max(0, StrToIntDef(value("SerialComNumber"), 0));
        if (port != 0 && port != kAutoComPort && IndexOf(ports, "COM" + std::to_string(port)) < 0)
            ports.push_back("COM" + std::to_string(port));

        int baud = StrToIntDef(value("SerialBaudRate"), kDefaultBaudRate);
        if (baud <= 0) baud = kDefaultBaudRate;
        const std::string baudText = std::to_string(baud);
        c.BaudRate = IndexOf(c.BaudRates, baudText);
        if (c.BaudRate < 0) {
            const auto at = std::find_if(c.BaudRates.begin(), c.BaudRates.end(),
                                         [&](const std::string& item) { return std::stoi(item) > baud; });
            c.BaudRate = static_cast<int>(at - c.BaudRates.begin());
            c.BaudRates.insert(at, baudText);
        }
        c.ScriptBaudRate = value("SpeedScript");
        if (c.ScriptBaudRate.empty()) c.ScriptBaudRate = baudText;

        c.Host = orDefault("TCPIP", kLoopbackAddress);
        c.IpPort = orDefault("TCPPort", kDefaultTcpPort);
        c.Tftp = StrToIntDef(value("TFTP"), 0) > 0;
        c.Udp = StrToIntDef(value("UDP"), 0) > 0;
        const int chip = StrToIntDef(value("ControllerType"), -1);
        if (chip >= 0 && chip < static_cast<int>(env_.ChipNames.size())) c.Chip = chip;
        c.Handshake = StrToIntDef(value("Handshake"), 1) > 0;
        c.HandshakePeriod = orDefault("HandshakePeriod", kDefaultHandshakePeriod);
        c.RetryCount = std::clamp(StrToIntDef(value("RetryCount"), kDefaultRetryCount), kMinRetryCount, kMaxRetryCount);

        const std::string script = value("ScriptFile");
        if (!script.empty() && script != kNoScriptItem) {
            c.Script = IndexOf(c.Scripts, script);
            if (c.Script < 0) {
                for (size_t i = 1; i < c.Scripts.size() && c.Script < 0; ++i)
                    if (AnsiLowerCase(c.Scripts[i]) == AnsiLowerCase(script)) c.Script = static_cast<int>(i);
            }
            if (c.Script < 0) {
                c.Scripts.push_back(script);
                c.Script = static_cast<int>(c.Scripts.size()) - 1;
            }
        }
    }
    c.ScriptsEnabled = c.Scripts.size() > 1;

    std::sort(ports.begin(), ports.end());
    c.Connections = {{kTcpIpItem, 0}, {kAutoComItem, kAutoComPort}};
    for (const std::string& name : ports) c.Connections.push_back({name, ComNumber(name)});
    for (size_t i = 0; i < c.Connections.size(); ++i)
        if (c.Connections[i].Port == port) c.Connection = static_cast<int>(i);
    c.ComPage = port != 0;
    controls_ = std::move(c);
}

void TfmParamModel::OnParamsChange(const TParamControls& v)
{
    if (selected_ < 0) return;
    const auto item = [](const auto& items, int index) {
        return index >= 0 && index < static_cast<int>(items.size()) ? items[index] : typename std::decay_t<decltype(items)>::value_type{};
    };
    const int port = item(v.Connections, v.Connection).Port;
    const int lastChip = static_cast<int>(v.Chips.size()) - 1;
    std::string ipPort = DigitsOnly(v.IpPort);
    if (!ipPort.empty() && StrToIntDef(ipPort, kMaxTcpPort + 1) > kMaxTcpPort) ipPort = GetParam(items_[selected_], "TCPPort");
    const std::string script = item(v.Scripts, v.Script);

    std::string s = items_[selected_];
    s = SetParam(s, "ioType", port != 0 ? "iotSerial" : "iotTCP");
    s = SetParam(s, "Name", CleanDeviceName(v.Name));
    s = SetParam(s, "SerialComNumber", std::to_string(port));
    s = SetParam(s, "SerialBaudRate", item(v.BaudRates, v.BaudRate));
    s = SetParam(s, "SpeedScript", DigitsOnly(v.ScriptBaudRate));
    s = SetParam(s, "TCPIP", v.Host);
    s = SetParam(s, "TFTP", v.Tftp ? "1" : "0");
    s = SetParam(s, "UDP", v.Udp ? "1" : "0");
    s = SetParam(s, "TCPPort", ipPort);
    s = SetParam(s, "ControllerType", v.Chip >= 0 && v.Chip < lastChip ? std::to_string(v.Chip) : "-1");
    s = SetParam(s, "ScriptFile", script.empty() ? std::string(kNoScriptItem) : script);
    s = SetParam(s, "Handshake", v.Handshake ? "1" : "0");
    s = SetParam(s, "HandshakePeriod", DigitsOnly(v.HandshakePeriod));
    s = SetParam(s, "RetryCount", std::to_string(std::clamp(v.RetryCount, kMinRetryCount, kMaxRetryCount)));
    items_[selected_] = s;
    Fill(false);
}

void TfmParamModel::Add()
{
    int n = 1;
    const auto taken = [&](const std::string& name) {
        for (int i = 0; i < Count(); ++i)
            if (AnsiLowerCase(ItemText(i)) == AnsiLowerCase(name)) return true;
        return false;
    };
    while (taken(kNewDeviceName + std::to_string(n))) ++n;
    std::string s;
    s = SetParam(s, "ioType", "iotTCP");
    s = SetParam(s, "SerialComNumber", "0");
    s = SetParam(s, "SerialBaudRate", std::to_string(kDefaultBaudRate));
    s = SetParam(s, "TCPIP", kDefaultLanAddress);
    s = SetParam(s, "TCPPort", kDefaultTcpPort);
    s = SetParam(s, "Address", "1");
    s = SetParam(s, "Name", kNewDeviceName + std::to_string(n));
    items_.push_back(s);
    SetItemIndex(Count() - 1);
    OnParamsChange(controls_);
}

void TfmParamModel::Remove()
{
    if (selected_ < 0) return;
    const int removed = selected_;
    items_.erase(items_.begin() + removed);
    SetItemIndex(items_.empty() ? -1 : removed == 0 ? Count() - 1 : removed - 1);
}

void TfmParamModel::Up()
{
    if (!UpEnabled()) return;
    std::swap(items_[selected_], items_[selected_ - 1]);
    SetItemIndex(selected_ - 1);
}

void TfmParamModel::Down()
{
    if (!DownEnabled()) return;
    std::swap(items_[selected_], items_[selected_ + 1]);
    SetItemIndex(selected_ + 1);
}

bool TfmParamModel::Refuse(const char* text) const
{
    platform::ShowMessageBox(env_.Scripts.Owner, text, "Ошибка", platform::MsgIcon::Error, platform::MsgButtons::OK);
    return false;
}

bool TfmParamModel::CanClose()
{
    const int chips = static_cast<int>(env_.ChipNames.size());
    for (int i = 0; i < Count(); ++i) {
        const bool handshake = StrToIntDef(GetParam(items_[i], "Handshake"), 1) > 0;
        const int chip = StrToIntDef(GetParam(items_[i], "ControllerType"), -1);
        if (handshake || (chip >= 0 && chip < chips)) continue;
        SetItemIndex(i);
        return Refuse(kHandshakeOrChipText);
    }
    return true;
}

void TfmParamModel::ReloadScripts()
{
    scripts_ = ListScriptNames(env_.Scripts);
    TParamControls kept = controls_;
    Fill(false);
    // Only the script list changes; the other controls keep what they show.
    kept.Scripts = controls_.Scripts;
    kept.Script = controls_.Script;
    kept.ScriptsEnabled = controls_.ScriptsEnabled;
    controls_ = std::move(kept);
}

void TfmParamModel::EditScripts(std::shared_ptr<const platform::FormView> editorView)
{
    TScriptDialogModel editor(env_.Scripts);
    try {
        editor.Load();
    } catch (const std::exception& e) {
        Refuse(e.what());
        return;
    }
    editor.SelectByName(controls_.Script > 0 ? controls_.Scripts[controls_.Script] : std::string());
    const platform::MsgResult result =
        platform::ShowForm(platform::FormRequest{env_.Scripts.Owner, &editor, std::move(editorView)});
    if (result != platform::MsgResult::OK || !editor.Save()) return;
    ReloadScripts();
    const int chosen = IndexOf(controls_.Scripts, editor.CurrentName());
    if (selected_ >= 0 && !editor.CurrentName().empty() && chosen > 0 && chosen != controls_.Script) {
        TParamControls values = controls_;
        values.Script = chosen;
        OnParamsChange(values);
    }
}

bool EditConnectionSettings(const TParamEnvironment& environment, std::shared_ptr<const platform::FormView> view,
                            std::vector<std::string>& devices, int& index)
{
    TfmParamModel model(environment);
    for (const std::string& device : devices) model.AddDevice(device);
    model.SetItemIndex(index);
    const platform::MsgResult result =
        platform::ShowForm(platform::FormRequest{environment.Scripts.Owner, &model, std::move(view)});
    if (result != platform::MsgResult::OK) return false;
    devices = model.Devices();
    index = model.ItemIndex();
    return true;
}
