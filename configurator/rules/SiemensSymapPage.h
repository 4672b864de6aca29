#pragma once

#include "model/uDocument.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

class TDevProtocolSiemensSymap;
class TZumo2SiemensDoc;

// What the Siemens Symap page decides without widgets: its tab pages and the keys they
// bind in a register descriptor, the tabs a device type shows, the descriptors' names
// and enable flags, the steps of a selection in the descriptor list and the rename
// rule. The page (configurator/pages/FKPSiemensSymap) applies them.

// ---------------------------------------------------------------------------------
// Tab pages of a descriptor

constexpr int SymapTabCount = 16;
constexpr int SymapBitCount = 16;
// Pages 0 .. 11 are the Symap pages, 12 .. 15 the PLC pages.
constexpr int SymapFirstPLCTab = 12;

// One tab page p: its caption, its address spin edit (bound to "SRegAddr" + two-digit p)
// and 16 check boxes, bit b named CheckStem + two-digit b and bound to KeyStem +
// two-digit b, captioned as SymapBitCaption gives.
struct TSymapTab {
    const char* Caption;     // "I_Symap"
    const char* AddressName; // "seInputsRegAddr"
    const char* CheckStem;   // "cbInput"
    // "SymapInput", "SymapOutput"; the stems of pages 2 to 15 end in "_"
    // ("DP_MD5_DI_ExtBoard_WORD1_").
    const char* KeyStem;
    // The captions' stem ("DP_MD5 ", then the two-digit bit); none: page 0's own texts.
    const char* CaptionStem;
};
const std::array<TSymapTab, SymapTabCount>& SymapTabs();

// "SRegAddr" + two-digit page.
std::string SymapAddressKey(int page);
// The tab's key stem + two-digit bit ("SymapOutput15", "PLC_Alarm_W3_15").
std::string SymapBitKey(int page, int bit);
// The tab's check box stem + two-digit bit ("cbOutput15").
std::string SymapBitName(int page, int bit);
// Page 0: "Дверь КСО открыта" .. "Неисправность ВВ"; the others their stem and the
// two-digit bit ("DP_MD5 00", "Alarm 15").
std::string SymapBitCaption(int page, int bit);

// The keys of a descriptor that the page's descriptor controls bind, pairwise in this
// order: "DevType", the 16 addresses in page order, then the 256 bits in page and bit
// order (273 keys).
const std::vector<std::string>& SymapDescriptorKeys();

// ---------------------------------------------------------------------------------
// Device type

// The descriptor's "DevType" as "Тип устройства" offers it: "Symap_DES_DG" 6,
// "Symap_DES_RU" 7, "Symap_MGS" 8, "PLC" 9.
const TPickList& SymapDeviceTypeItems();
constexpr int SymapPLCType = 9;

// The tab pages a device type shows: pages First .. Last, Current made the current one.
struct TSymapTabsShown {
    int First = 0;
    int Last = 0;
    int Current = 0;
    bool operator==(const TSymapTabsShown&) const = default;
};
// "PLC" (9) shows the PLC pages with "Event_W1" current; any other type, and none
// selected, the Symap pages with "I_Symap" current.
TSymapTabsShown SymapTabsOf(std::optional<int> deviceType);

// ---------------------------------------------------------------------------------
// Descriptors

// The name the list shows for descriptor i: the document's stored name, or
// "ячейка " followed by i + 1 when that is empty. "Range error" outside 0 .. 15.
std::string RegisterName(const TZumo2SiemensDoc& document, int index);

// Whether descriptor i is polled: 0 <= i < RegisterCount and the block's
// "SRegisterEnabled" + two-digit i holds 1.
bool IsRegisterEnabled(const TDevProtocolSiemensSymap& block, int index);

// What a selection in the descriptor list does: line selected (-1: none) while
// descriptor bound is bound (-1: none yet).
//   - none selected: the type, the tabs and "Активно" are disabled; nothing is bound
//     or released, and the bound descriptor stays;
//   - another line than the bound one: the bound descriptor's controls are released
//     (when one is bound), the selected one is bound, "Активно" is enabled and the
//     type and the tabs follow its enable flag; it is the bound one afterwards, also
//     when its binding fails;
//   - the bound line again: nothing changes.
// The tabs follow the shown type in every case.
struct TRegisterSelection {
    bool Selected = false; // a line is selected
    bool Unbind = false;   // release the bound descriptor's controls first
    int Bind = -1;         // the descriptor to bind; -1: none
    int Bound = -1;        // the bound descriptor afterwards
    bool operator==(const TRegisterSelection&) const = default;
};
TRegisterSelection RegisterSelectionOf(int selected, int bound);

// The name a rename prompt's answer gives: none for a cancel (no answer) or an empty
// text, which change nothing.
std::optional<std::string> RegisterRenamedTo(const std::optional<std::string>& answer);
