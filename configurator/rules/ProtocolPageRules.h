#pragma once

#include "configurator/rules/GridSpec.h"
#include "configurator/rules/PageRules.h"
#include "configurator/rules/PageTable.h"
#include "model/uDocument.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TDevProtocol;
class TDevice;

// What the protocol pages decide without widgets: their combo lists, the service
// command address byte, the Компас route, the meter table and the pages' show, hide,
// enable and veto rules. The pages (configurator/pages) only apply them.
//
// Conventions every protocol page shares:
//   - a combo box shows texts and stores the value its item carries (ComboItems);
//   - a poll period is a spin edit with the period units beside it, "мс" 0, "сек" 1,
//     "мин" 2, "час" 3 (PeriodUnitItems);
//   - a radio group of "TC" (Latin letters) and "ТИТ" stores the item index, 0 or 1
//     (TsTitItems);
//   - an access password is a text edit limited to its field's 8 characters.

// ---------------------------------------------------------------------------------
// Lists

// The period units.
const TPickList& PeriodUnitItems();
// The two items of a "TC"/"ТИТ" radio group, in item order.
const std::array<const char*, 4>& TsTitItems();

// The items of a protocol page's combo box by its object name; none for a control the
// lists do not know (a combo the page fills by rules of its own). A meter page's unit
// combo gets the period units.
const TPickList* ComboItems(TProtocolPage page, std::string_view control);

// ---------------------------------------------------------------------------------
// Service command address byte

// One byte A shown as three numbers: the TU1 block (1..2) is 2 when bit 7 is set, else
// 1; the group (1..16) is bits 3..6 + 1; the object (1..8) bits 0..2 + 1. Shown by the
// ТМ 120 and Гранит control point pages.
struct TServiceAddress {
    int Block = 1;
    int Group = 1;
    int Object = 1;
    bool operator==(const TServiceAddress&) const = default;
};
TServiceAddress DecodeServiceAddress(uint8_t address);
// (block - 1) x 128 + (group - 1) x 8 + (object - 1), cut to its low 8 bits: numbers
// outside their ranges still give a byte.
uint8_t EncodeServiceAddress(const TServiceAddress& address);

// ---------------------------------------------------------------------------------
// Компас 1.1 route

// The device type "5001" whose page shows the route: "ПУ TM1.1".
constexpr int KompasRoutedType = 1;
// The stations a route passes at most.
constexpr int KompasMaxStations = 3;

// Where the route controls bind for a device type and a stored station count n
// ("0512"): only with the routed type is the group "Промежуточные ПУ НУ" shown; then
// "0513".."0517" hold the addresses of the n stations (edPUNU1..edPUNU3), the
// direction (cbDirect) and the controlled point's address (edAddrKP), in that order.
// An n above 3 (from a file) binds as 3. A station edit without a key is unbound and
// hidden with its label; hidden, the route binds none of them.
struct TKompasRoute {
    bool Shown = false;
    int Stations = 0; // as bound, 0..3
    std::array<const char*, KompasMaxStations> StationKeys{};
    const char* DirectionKey = nullptr;
    const char* AddressKey = nullptr;
};
TKompasRoute KompasRouteOf(int deviceType, int stations);
// The route's fields, "0512" .. "0517": reset to their defaults while the route is
// hidden.
std::span<const char* const> KompasRouteKeys();

// ---------------------------------------------------------------------------------
// Meters

// A measured quantity a meter page offers: its key (protocol code and NN) and the
// caption of its check box ("ch" + key).
struct TMeterQuantity {
    std::string Key;
    const char* Caption;
};

// A meter protocol as its page shows it: the poll period value and unit keys
// ("<cc>006", "<cc>007"), the password key ("<cc>pass", empty without one) and the
// quantities, NN ascending.
struct TMeterProtocol {
    TProtocolPage Page;
    int Code; // the protocol code the keys start with
    std::string PeriodKey;
    std::string UnitKey;
    std::string PasswordKey;
    std::vector<TMeterQuantity> Quantities;
};

// The meter protocol of a page; none for a page that is no meter's. Every meter page
// is made from it.
const TMeterProtocol* MeterProtocolOf(TProtocolPage page);

// The quantities a meter page shows on a document: the meter's own, but on Zumo 7
// documents (TZumo7Doc and its descendants) СЭТ-4ТМ's NN 13 to 15 read "Uab", "Ubc",
// "Uca" in place of "Ua", "Ub", "Uc". None for a page that is no meter's.
std::vector<TMeterQuantity> MeterQuantitiesOn(TProtocolPage page, const TDocument* document);

// A meter page's controls, made from its meter protocol: in the panel "paPeriod" the
// period "ed<cc>006" ("Период опроса устройства") with its unit combo "cb<cc>007"
// beside it and the password "ed<cc>pass" ("Пароль доступа", where there is one); in
// the panel "paValues" one check box "ch<key>" per quantity, four to a line. Raises
// std::logic_error for a page that is no meter's.
const TPageTable& MeterPageTable(TProtocolPage page);

// ---------------------------------------------------------------------------------
// Rules

// What the МЭК pages show by the document and the device.
struct TIecPageLayout {
    // "Игнорировать данные в состоянии IV " (ch079 on the control point page, ch0106 on
    // the controlled point page): only a document whose caption is "Zumo2".
    bool IgnoreInvalidShown = false;
    // The controlled point page's groups "Таймауты" and "Размеры окна": only Pelvar and
    // Tramel-5141 devices.
    bool TimeoutGroupsShown = false;
    // The controlled point page's cb062 "Канальный адрес": disabled for Pelvar devices.
    bool LinkAddressEnabled = true;
    bool operator==(const TIecPageLayout&) const = default;
};
TIecPageLayout IecPageLayoutOf(const TDocument* document, const TDevice& device);

// The ModBus device type whose TU are switched by an algorithm of their own
// ("ОВЕН МУ110-16").
constexpr int ModbusOwenType = 10;

// What the ModBus page shows for the selected device type (none selected counts as
// any other type): for "ОВЕН МУ110-16" "Алгоритм ТУ" in the place of the TS and TIT
// request functions, for every other type the functions.
struct TModbusControls {
    bool RequestFunctionsShown = true; // cb0209, cb0210 with their labels
    bool TUAlgorithmShown = false;     // cb0208 with its label
    bool operator==(const TModbusControls&) const = default;
};
TModbusControls ModbusControlsOf(std::optional<int> deviceType);

// The vetoes of the МЭК pages: the time sync period "056_2" (seSyncTime) keeps
// 0..59 minutes, the maximum frame size "101" (seMaxFrameSize) 0..255 bytes. A value
// outside is restored on the control without a message.
bool SyncPeriodAccepted(const Variant& value);
bool MaxFrameSizeAccepted(const Variant& value);

// ---------------------------------------------------------------------------------
// Captions that follow the page or a value

// A control of a page with the caption a rule gives it (a check box's text, a group's
// title).
struct TControlCaption {
    const char* Control;
    const char* Caption;
    bool operator==(const TControlCaption& other) const;
};

// ---------------------------------------------------------------------------------
// ТМ 512 family

// The group of the ТМ 512 family's page that holds its four check boxes, ch1802 ..
// ch1805 ("1802" .. "1805"; the ТМ 500, МК 51 and МК 55 blocks share ТМ 512's layout).
constexpr const char* TM512Group = "gbTM512";

// What a page of the family changes on the ТМ 512 page, all bindings kept: each entry
// captions a control anew, or hides it when its caption is none. The ТМ 500 pages
// caption ch1802 "Только доп. ТИТ"; the controlled point's hides ch1803, the control
// point's captions it "Экстра флаги в потоке"; the МК 51 page hides the whole group.
// ТМ 512 in both roles and МК 55 change nothing, nor does a page outside the family.
std::span<const TControlCaption> TM512ChangesOf(TProtocolPage page);

// ---------------------------------------------------------------------------------
// УТМ-7

// The information messages of a УТМ-7 device.
constexpr int UTM7Messages = 7;

// The keys of information message n (1 .. 7): its address or group (bits 0..2 of its
// byte) and its kind, "TC" 0 or "ТИТ" 1 (bit 7). They begin with the word the message
// lies in: "009" for messages 1 and 2, "010" for 3 and 4, "011" for 5 and 6, "012" for
// 7 ("009_utm7_01_a", "009_utm7_01_t" .. "012_utm7_07_a", "012_utm7_07_t"). Raises
// std::out_of_range for another n.
struct TUTM7MessageKeys {
    std::string Address;
    std::string Kind;
};
TUTM7MessageKeys UTM7MessageKeys(int message);

// ---------------------------------------------------------------------------------
// МКТ-1

// The cycle words whose kind the МКТ-1 page chooses ("26_01" .. "26_10").
constexpr int MKT1Words = 10;

// Whether the kind of cycle word n (1 .. 10) shows, with the value of the item selected
// in "Количество слов в цикле" (none selected: none): words 1 to 5 always, words 6 to
// 10 only while "11" is selected. A stored count the items lack (neither 6 nor 11)
// selects none and hides them.
bool MKT1WordShown(int word, std::optional<int> wordsInCycle);

// ---------------------------------------------------------------------------------
// Орион-2

// The captions of the last four "ТС" check boxes (cbTS_SIG_1MTZ, cbTS_SIG_2MTZ,
// cbTS_OZZ_Disable, cbTS_OZZ_SIGN) for the stored device type "DevType": type 0 ("2Л")
// reads "Светодиод15", "Светодиод16", "Светодиод3", "Светодиод14"; any other "Сраб.
// 1ст. МТЗ", "Сраб. 2ст. МТЗ", "ОЗЗ на откл.", "ОЗЗ на сигн.".
std::array<TControlCaption, 4> OrionSignalCaptions(int deviceType);

// The characters the VAK edits of Орион-2 take (logical addresses of a word): the
// digits "0".."9" and Backspace (U+0008). Everything else is refused, the grave accent
// and "a".."i" included (they share their codes with the keypad's digit keys, whose
// characters are the digits).
bool VakCharacterAccepted(char32_t character);

// ---------------------------------------------------------------------------------
// Сириус-2

// The Сириус-2 check boxes of values that need voltage inputs: chUab, chUbc, chUca,
// chFreq and cbTS_OZZ.
std::span<const char* const> SiriusVoltageControls();

// What the Сириус-2 page does for the value T of the selected device type:
//   - T 0, 2, 3 or 5 (types without voltage inputs): the voltage boxes are unticked,
//     which stores 0 into their fields;
//   - they show exactly when T is 1 or 4;
//   - cbTS_LedGuard, cbTS_SIG_1MTZ and cbTS_SIG_2MTZ read "Control.LEd1_15",
//     "Control.LEd2_8", "Control.LEd2_9" for T 0, 3, 4 and 5, "Led Сраб. защиты",
//     "Сраб. 1ст. МТЗ", "Сраб. 2ст. МТЗ" for T 1 and 2.
// With none selected (a stored type above 5): nothing unticked, the voltage boxes
// hidden, no caption changed.
struct TSiriusLayout {
    bool UntickVoltage = false;
    bool VoltageShown = false;
    std::vector<TControlCaption> Captions;
    bool operator==(const TSiriusLayout&) const = default;
};
TSiriusLayout SiriusLayoutOf(std::optional<int> deviceType);

// ---------------------------------------------------------------------------------
// DCON

// The module types of "0801" that the rules name.
constexpr int DconI7052 = 1; // "I-7052/52D"
constexpr int DconI7045 = 2; // "I-7045/45D", the module with relay outputs
constexpr int DconI7017 = 3; // "I-7017", offered on Tramel-5141 devices only

// Whether a device is a Tramel-5141 device (TDeviceGrendal), whose DCON page differs.
bool IsGrendalDevice(const TDevice& device);

// The items of the DCON page's "Тип устройства" (cb0801): "I-7051/51D" 0, "I-7052/52D" 1,
// "I-7045/45D" 2, and "I-7017" 3 on a Tramel-5141 device only. The list is made for the
// device once: a stored 3 on any other device selects no item and stays 3.
const TPickList& DconModuleItems(bool grendalDevice);

// What the DCON page enables and shows for the module type selected in cb0801 (none
// selected: none):
//   - the TU hold time ed0803 with its labels lb0803 and lb0803Unit: "I-7045/45D" only;
//   - "Выдавать ТИТ без преобразования" ch0802: "I-7017" on a Tramel-5141 device,
//     "I-7052/52D" on any other;
//   - the TU table "Назначение каналов ТУ": exactly while the hold time is enabled.
struct TDconControls {
    bool HoldTimeEnabled = false;
    bool RawTitEnabled = false;
    bool RelayTableShown = false;
    bool operator==(const TDconControls&) const = default;
};
TDconControls DconControlsOf(bool grendalDevice, std::optional<int> moduleType);

// The TU table's rows: one per relay map of a DCON block (TParamTU, ParamTUByIndex), in
// output order, numbered from 1; none for a block that is no DCON block.
std::vector<TGridRow> DconRelayRows(const TDevProtocol* block);

// The columns of the TU table.
enum TDconRelayColumn { tuNumber, tuType, tuSelectOn, tuSelectOff, tuExecuteOn, tuExecuteOff, tuColumnCount };

// The TU table as a grid: column 0 "№" shows the row number on the button face, 30
// pixels wide, and never takes the focus; columns 1 to 5 "Тип", "Исп-Кан-Вкл",
// "Исп-Кан-Откл", "Вкл-Кан", "Откл-Кан" show and edit the relay map's fields 0 to 4
// ("type", "select_on", "select_off", "execute_on", "execute_off") by position. Their
// spin editors go from 0 to the field's MaxValue (255 for "type", 15 for the nibbles);
// Ctrl+Up adds 1 up to that maximum, Ctrl+Down takes 1 while above 0; F3 and the digits
// act in each of them. Texts never widen the columns. The whole command set, no header
// sort, no help label, and the grid as tall as its rows.
TGridSpec DconRelayGridSpec();
