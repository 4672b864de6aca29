#pragma once

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
