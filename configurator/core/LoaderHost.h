#pragma once
// The host's rules for the loader library, without widgets: which library versions are
// supported, the parameter block handed to it, the operations tool bar and the device
// combo box as data built from the library's texts, the scheme check of read data, the
// command-line box's history and the abort rule of a running operation.

#include "loader/SarnupolexLib.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TMemory;

// The scheme name passed to every entry point.
inline constexpr const char* kLoaderScheme = "Zumo2Cfg";

// The four parts of a library's version record.
struct TLoaderVersion {
    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
};

// True only when each part on its own is at least the matching part of 1.2.4.30, so
// 1.3.0.0 and 2.0.0.0 are refused as well as 1.2.4.29; no record (nullopt): false.
bool LoaderVersionSupported(const std::optional<TLoaderVersion>& version);

// The block for SetSarnupolexParams: Size 24, the host window, DialogsConfDisabled 1
// when firstArgument equals "--DialogsConfDisabled" ignoring case (nothing else, not
// "--DialogsConfDisabled=1"), the event handle; every reserved byte 0.
LoaderParams MakeLoaderParams(uint32_t hostWindow, std::string_view firstArgument, uint32_t manualTermEvent);

// What a catalogue line puts on the tool bar.
enum class TOperationKind {
    Separator,  // an 8-pixel gap
    Button,     // a button with its own action
    DeviceBox,  // operation 0: the device combo box in front of an icon-only button
    SendBox,    // operation 14: the label "   Командная строка: " and the editable box
};

struct TOperationEntry {
    TOperationKind Kind = TOperationKind::Button;
    int Code = 0;
    std::string Caption;   // empty for operation 0 (the button shows its image only)
    std::string Hint;      // "Hint", else the caption; operation 0: its "Caption"
    std::string Shortcut;  // the key text as written, empty for none
    bool Hidden = false;   // "Hidden" is "True", in any case
};

struct TOperationToolbarModel {
    std::vector<TOperationEntry> Entries;  // in catalogue order
    // Set when a line's "OPCode" is not an integer ("'%s' is not a valid integer value").
    // The lines are taken last to first, so Entries then holds those after the bad line.
    std::string Error;
};

// The tool bar described by the catalogue text (UTF-8, lines separated by LF; empty
// lines skipped). Operation 10 appears only with linearHex, 12 only with
// firmwareWithParams.
TOperationToolbarModel BuildOperationEntries(std::string_view catalogue, bool linearHex, bool firmwareWithParams);

// The combo box text of one device line: "COM3, 57600", "Авто COM, 57600" (port
// number above 254), "host:port", the "Name" alone, or "name (text)"; "<без имени>"
// when nothing is known, "<ошибка>" when the line cannot be read.
std::string DeviceDisplayText(std::string_view line);

struct TDeviceComboModel {
    std::vector<std::string> Items;  // item i is the library's device i
    int Width = 100;                 // widest text + 30, within 100..250 pixels
    int Selected = -1;               // -1: nothing selected
    bool Enabled = false;            // false when there are no items
};

// The device combo box for the device list (UTF-8, lines separated by LF; empty lines
// give no item and no index). The index to select is lastDevice when it is 0 or more
// (lastDevice is then set to -1: a remembered index is used once), else
// currentSelection; -1 selects item 0 when there is one, an index past the items
// selects nothing. textWidth measures a text in pixels.
TDeviceComboModel BuildDeviceCombo(std::string_view devices, int& lastDevice, int currentSelection,
                                   const std::function<int(std::string_view)>& textWidth);

// The question to ask before read data replace the document, none when the data carry
// the expected scheme: "Scheme ID:" missing gives "Схема версии %s, а в параметрах нет
// идентификатора версии. Продолжать?"; otherwise the digits and dots behind it (within
// the image) form the version, a number without "." reading as number + ".0.0.0", and
// another version gives "Схема версии %s, а параметры версии %s. Продолжать?".
std::optional<std::string> SchemeVersionQuestion(const TMemory& image, const std::string& expectedSchemeId);

// The command-line box's history on Enter: a text not yet among the items goes first;
// more than 10 items drop the 11th.
void RememberSendText(std::vector<std::string>& items, const std::string& text);

// The abort rule: a click during an operation asks only once more than 20000 ms have
// passed since its start (the tick counter may wrap).
bool AbortQuestionDue(uint32_t startTick, uint32_t now);
inline constexpr const char* kAbortQuestion = "Выполняется длительная операция\nВыйти из приложения?";
