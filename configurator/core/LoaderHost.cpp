#include "configurator/core/LoaderHost.h"

#include "common/StrRoutines.h"
#include "model/Memory.h"
#include "model/Variant.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    return AnsiLowerCase(a) == AnsiLowerCase(b);
}

std::vector<std::string> NonEmptyLines(std::string_view text)
{
    std::vector<std::string> lines = SplitString('\n', std::string(text));
    std::erase_if(lines, [](const std::string& line) { return line.empty(); });
    return lines;
}

} // namespace

bool LoaderVersionSupported(const std::optional<TLoaderVersion>& version)
{
    if (!version) return false;
    return version->Major >= 1 && version->Minor >= 2 && version->Release >= 4 && version->Build >= 30;
}

LoaderParams MakeLoaderParams(uint32_t hostWindow, std::string_view firstArgument, uint32_t manualTermEvent)
{
    LoaderParams params;
    std::memset(&params, 0, sizeof params);
    params.Size = sizeof(LoaderParams);
    params.HostWindow = hostWindow;
    params.DialogsConfDisabled = SameTextIgnoringCase(firstArgument, "--DialogsConfDisabled") ? 1 : 0;
    params.ManualTermEvent = manualTermEvent;
    return params;
}

TOperationToolbarModel BuildOperationEntries(std::string_view catalogue, bool linearHex, bool firmwareWithParams)
{
    TOperationToolbarModel model;
    const std::vector<std::string> lines = NonEmptyLines(catalogue);
    // Taken last to first, as the tool bar places each control at its start.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::string& line = *it;
        const std::string codeText = GetParam(line, "OPCode");
        const std::optional<int64_t> code = TryStrToInt(codeText);
        if (!code || *code < INT32_MIN || *code > INT32_MAX) {
            model.Error = platform::Format("'%s' is not a valid integer value", codeText.c_str());
            break;
        }
        const int n = static_cast<int>(*code);
        if ((n == opReadEeprom && !linearHex) || (n == opWriteFirmwareAndParams && !firmwareWithParams)) continue;

        TOperationEntry entry;
        entry.Code = n;
        if (n == opQuickSend) {
            entry.Kind = TOperationKind::SendBox;
        } else if (n < 0) {
            entry.Kind = TOperationKind::Separator;
        } else {
            entry.Kind = n == opSettings ? TOperationKind::DeviceBox : TOperationKind::Button;
            const std::string caption = GetParam(line, "Caption");
            if (n == opSettings) {
                entry.Hint = caption;
            } else {
                entry.Caption = caption;
                entry.Hint = GetParam(line, "Hint");
            }
            if (entry.Hint.empty()) entry.Hint = entry.Caption;
            entry.Shortcut = GetParam(line, "Shortcut");
            entry.Hidden = SameTextIgnoringCase(GetParam(line, "Hidden"), "True");
        }
        model.Entries.push_back(std::move(entry));
    }
    std::reverse(model.Entries.begin(), model.Entries.end());
    return model;
}

std::string DeviceDisplayText(std::string_view line)
{
    try {
        std::string text;
        const std::string ioType = GetParam(line, "ioType");
        if (SameTextIgnoringCase(ioType, "iotSerial")) {
            const std::string number = GetParam(line, "SerialComNumber");
            const int64_t port = TryStrToInt(number).value_or(0);
            text = port > 254 ? "Авто COM" : "COM" + number;
            const std::string rate = GetParam(line, "SerialBaudRate");
            if (!rate.empty()) text += (text.empty() ? "" : ", ") + rate;
        }
        if (SameTextIgnoringCase(ioType, "iotTCP")) {
            const std::string host = GetParam(line, "TCPIP");
            if (!host.empty()) text = host;
            const std::string port = GetParam(line, "TCPPort");
            if (!port.empty()) text += (text.empty() ? "" : ":") + port;
        }
        const std::string name = GetParam(line, "Name");
        if (!name.empty())
            text = text.empty() ? name : name + " (" + text + ")";
        else if (text.empty())
            text = "<без имени>";
        return text;
    } catch (const std::exception&) {
        return "<ошибка>";
    }
}

TDeviceComboModel BuildDeviceCombo(std::string_view devices, int& lastDevice, int currentSelection,
                                   const std::function<int(std::string_view)>& textWidth)
{
    int index = currentSelection;
    if (lastDevice >= 0) {
        index = lastDevice;
        lastDevice = -1;
    }
    TDeviceComboModel model;
    int widest = 0;
    for (const std::string& line : NonEmptyLines(devices)) {
        model.Items.push_back(DeviceDisplayText(line));
        widest = std::max(widest, textWidth(model.Items.back()));
    }
    model.Enabled = !model.Items.empty();
    model.Width = std::clamp(widest + 30, 100, 250);
    const int count = static_cast<int>(model.Items.size());
    if (index == -1 && count > 0)
        model.Selected = 0;
    else if (index >= 0 && index < count)
        model.Selected = index;
    return model;
}

std::optional<std::string> SchemeVersionQuestion(const TMemory& image, const std::string& expectedSchemeId)
{
    static constexpr std::string_view kMarker = "Scheme ID:";
    try {
        int64_t count = -1;
        const auto after = image.SearchPattern(
            std::span(reinterpret_cast<const uint8_t*>(kMarker.data()), kMarker.size()), count);
        if (!after)
            return platform::Format("Схема версии %s, а в параметрах нет идентификатора версии. Продолжать?",
                                    expectedSchemeId.c_str());
        std::string version(kMarker);
        bool dotted = false;
        for (uint8_t byte : *after) {
            if (!((byte >= '0' && byte <= '9') || byte == '.')) break;
            dotted = dotted || byte == '.';
            version += static_cast<char>(byte);
        }
        if (!dotted) version += ".0.0.0";
        if (version != expectedSchemeId)
            return platform::Format("Схема версии %s, а параметры версии %s. Продолжать?", expectedSchemeId.c_str(),
                                    version.c_str());
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

void RememberSendText(std::vector<std::string>& items, const std::string& text)
{
    if (std::find(items.begin(), items.end(), text) != items.end()) return;
    items.insert(items.begin(), text);
    if (items.size() > 10) items.erase(items.begin() + 10);
}

bool AbortQuestionDue(uint32_t startTick, uint32_t now)
{
    return static_cast<uint32_t>(now - startTick) > 20000;
}
