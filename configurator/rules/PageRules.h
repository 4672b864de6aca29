#pragma once

#include "configurator/rules/PageTable.h"
#include "model/uZumo_Classes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TDocument;

// What the device, role, port and common pages decide without widgets: which pages a
// device gets, which controls are shown or enabled, and the event buffer rule. The
// pages only apply these decisions to their controls.

// ---------------------------------------------------------------------------------
// Pages of a device

// A device's role ("011"): 1 is a control point (ПУ), anything else a controlled
// point (КП).
constexpr int RoleControlPoint = 1;
inline bool IsControlPoint(int role) { return role == RoleControlPoint; }

// The protocol pages a device page may host, by what they edit. Several protocols
// share none; two pages serve both roles.
enum class TProtocolPage {
    None,
    KPIEC,
    PUIEC,
    KPModbus,
    KPTM800B,
    KPKOMPAS,
    KPMercury,
    KPDCON,
    KPGranit,
    PUGranit,
    KPMKT2,
    KPMKT3,
    PUTM120, // the TM 120 page, for both roles
    KPCE304,
    KPProton,
    KPTM512,
    PUTM512,
    KPRPT80,
    PURPT80,
    KPANSI,
    KPUTM7,
    KPSET,
    KPMKT1,
    KPTM500,
    PUTM500,
    KPMK51, // the MK 51 page, for both roles
    KPMK55,
    KPTK113Shield, // a page without controls
    KPOrion,
    KPSirius_2V,
    KPSiemensSymap,
};
constexpr int ProtocolPageCount = static_cast<int>(TProtocolPage::KPSiemensSymap) + 1;

// The class name of a page kind ("TfrKPModbus"); "" for none.
const char* ProtocolPageName(TProtocolPage page);

// The protocol page of a protocol index and role; none outside 0..28.
TProtocolPage ProtocolPageOf(int protocolIndex, int role);

// The role pages.
enum class TRolePage {
    KPdpNone, // a controlled point
    PUdpNone, // a control point
};
TRolePage RolePageOf(int role);

// What the control point's role page shows, from the protocol index and role.
struct TPUdpNoneLayout {
    // The group "Формирование признака достоверности для МЭК" (ch020, ch021).
    bool IecValidityShown = false;
    // The channel parameter group (ed0004, ed0013, edTSLink, edTITLink and their
    // labels); when it is hidden, the group "Режим работы" takes its place.
    bool ChannelGroupShown = false;
    // Inside the channel group: "ВАК качества связи" and "Время приостановки опроса".
    bool TITLinkShown = true;
    bool SuspensionShown = true;
    // The label of ed0004 and its unit.
    const char* TimeoutCaption = "Таймаут ожидания пакета";
    const char* TimeoutUnit = "мс";
};
TPUdpNoneLayout PUdpNoneLayoutOf(int protocolIndex, int role);

// ---------------------------------------------------------------------------------
// Serial settings of a device

// Whether the device page shows the serial settings (bits, parity, stop bits,
// inter-byte interval): the port list the settings depend on is known, a port is
// selected (the port number the port combo shows), and that port record is an
// asynchronous port. On a Dravo 7 document (the synchronous variant excepted, which is
// no TDravo7Doc) instead: the port list's mode "016" is 0 and the selected port is not
// the first one.
bool SerialPanelShown(const TDocument* document, const TFieldLst* portList, std::optional<int> selectedPort);

// The device page's port list: the port names of the document with their indexes; a
// Zumo 7 document on a modem board of the first kind leaves "COM3" out (the other
// ports keep their indexes).
TPickList DevicePortItems(const TDocument& document);

// The device page's fixed lists: "Канальный протокол" and the serial settings.
const TPickList& ChannelProtocolItems(); // cb005
const TPickList& DataBitsItems();        // cb068_1
const TPickList& ParityItems();          // cb068_2
const TPickList& StopBitsItems();        // cb068_3

// ---------------------------------------------------------------------------------
// Port page

// The modes a port offers: a modem port is synchronous only.
TPickList PortModeItems(const TUART& port);

// The port page's controls.
const TPageTable& PortPageTable();

// The port page's controls, groups and labels included, by object name.
const std::vector<TPageControl>& PortPageControls();

// Whether the mode rule runs on this port with this mode selected: not on the ports
// whose pages follow rules of their own (an ADSP channel, the Dravo 7's "Port A"), nor
// without a selected mode. The result is
// whether the switched controls are enabled (the mode is synchronous).
std::optional<bool> PortModeEnables(const TUART& port, std::optional<int> mode);

// Whether the port page shows a control of its flags group bound to the field (none:
// unbound). An ADSP channel shows exactly its bound flags that are not fixed to their
// defaults; every other port shows them all.
bool PortFlagShown(const TUART& port, const TField* field);

// Whether the mode rule switches a control: every control but the mode combo, the
// group that holds it (with all its controls) and "Дуплекс".
bool PortModeSwitches(const TPageControl& control);

// The port page's controls the mode rule switches with the state it gives them;
// empty when the rule does not run.
std::vector<std::pair<std::string, bool>> PortModeRule(const TUART& port, std::optional<int> mode);

// ---------------------------------------------------------------------------------
// Common page

// How many events the event archive holds in all: 50000 on the Pelvar and Tramel-5141
// documents, 1200 on the others.
int32_t EventBufferCapacity(const TDocument& document);

// What the common page shows by the document's family.
struct TCommonPageLayout {
    // "Контроль по PPS" and "Автоматическая коррекция часов"; hidden on the Pelvar and
    // Tramel-5141 documents, whose time-check group then shrinks to what stays.
    bool TimeSourcesShown = true;
    // The network panel ("050" .. "055").
    bool NetworkShown = false;
    // "Параметры сети 2"; not on the Pelvar models with one Ethernet port.
    bool SecondNetworkShown = false;
    // The command address "VAK_TU1" ("ВАК ТУ1", below the time-check group): the Zumo 9
    // documents only.
    bool CommandAddressShown = false;
};
TCommonPageLayout CommonPageLayoutOf(const TDocument& document);
// The caption of the buffer group for a capacity.
std::string EventBufferCaption(int32_t capacity);

// The buffers of the event archive, as their edits change them.
enum class TBuffer { TS, TIT, TSDP };

struct TBufferChange {
    TBuffer Target; // TS or TIT
    int32_t Value;
    bool operator==(const TBufferChange&) const = default;
};

// After a buffer edit stored its value: when TS + TIT exceed the capacity, the other
// of the two buffers is lowered to what is left (never below 0); a change of the
// TSDP buffer lowers the TS buffer. Nothing when they fit.
std::optional<TBufferChange> BufferRule(TBuffer changed, int64_t ts, int64_t tit, int32_t capacity);
