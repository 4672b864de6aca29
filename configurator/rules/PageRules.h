#pragma once

#include "configurator/rules/PageTable.h"
#include "model/uZumo_Classes.h"

#include <array>
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
    KPIEC_Grendal, // the МЭК page of a Tramel-5141 controlled point: no protocol index gives it
};
constexpr int ProtocolPageCount = static_cast<int>(TProtocolPage::KPIEC_Grendal) + 1;

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

// The device pages of the Pelvar (THask1Device) and Tramel-5141 (TDeviceGrendal)
// devices host a role page of their family below a protocol page.
enum class TDeviceFamily {
    Hask,    // TfrDevice_Hask1
    Grendal, // TfrDeviceGrendal
};

// The role pages of those device pages.
enum class TFamilyRolePage {
    KPdpNone, // a controlled point
    PUdpNone, // a control point of any protocol but МЭК
    PUIEC,    // a control point speaking МЭК
};
// The class name of a family's role page ("TfrPUIEC_Hask1").
const char* FamilyRolePageName(TDeviceFamily family, TFamilyRolePage page);

// The pages a family's device page hosts.
struct TFamilyPages {
    TFamilyRolePage Role = TFamilyRolePage::KPdpNone;
    TProtocolPage Protocol = TProtocolPage::None;
    bool operator==(const TFamilyPages&) const = default;
};
// By protocol index and role ("011"; 1 ПУ, anything else КП). A controlled point gets
// the КП role page and the protocol page of its index: МЭК 1 (on a Tramel-5141 its own
// TfrKPIEC_Grendal), ModBus 2, TM800B 4, Компас 1.1 5, Меркурий 7, DCON 8, Гранит 9,
// МКТ-2 10, МКТ-3 11, IEC 1107 13, Протон-К 14, ТМ 512 15, ANSI C1218-21 17, УТМ-7 18,
// СЭТ-4ТМ 19, МКТ-1 21; every other index (РПТ-80 16 and ТМ 120 12 among them) none.
// A control point gets the МЭК role page for index 1, else the other, and never a
// protocol page.
TFamilyPages FamilyPagesOf(TDeviceFamily family, int protocolIndex, int role);

// The port combo of those device pages: the document's port names that are not empty,
// each with its index (a Pelvar model without "Voice" skips index 1).
TPickList NamedPortItems(const TDocument& document);

// Whether a Pelvar device page shows the Ethernet settings for the position of the
// selected port item (-1: none): the items "ETH0", "ETH1" and "ETH0 или ETH1" stand at
// positions 2..4 on the models with "Voice" (THask1Doc_2d and THask1Doc_2d_43), at
// 1..3 on the others.
bool HaskEthernetShown(const TDocument* document, int itemPosition);

// Which settings a Tramel-5141 device page shows for its stored port "002": the serial
// settings for the serial ports 0..5, the Ethernet settings above 5 (the LAN ports 6..8
// and a free slot's 255 alike).
enum class TGrendalPortPanel { Serial, Ethernet };
TGrendalPortPanel GrendalPortPanelOf(int port);

// The two variants "073" chooses on the Tramel-5141 МЭК pages (the radio group's item
// index): "МЭК 101" 0 and "МЭК 104" 1.
constexpr int Iec101 = 0;
constexpr int Iec104 = 1;

// The field sizes "061" .. "064" a switch of "073" presets: "МЭК 104" 2, 1, 2, 3;
// "МЭК 101" 1, 1, 1, 2; none for another value.
std::optional<std::array<int32_t, 4>> IecVariantSizes(int variant);

// What the Tramel-5141 МЭК pages enable for the checked "073" item (-1: none).
struct TIecVariantControls {
    // The groups "Таймауты" and "Размеры окна" with their controls: "МЭК 104" only.
    bool TimeoutsEnabled = false;
    // cb062 "Канальный адрес": "МЭК 101" only, and never on a Pelvar device.
    bool LinkAddressEnabled = false;
    // ch078 "Непрерывная выдача данных на запрос класса 2" (the control point's page):
    // "МЭК 101" only.
    bool Class2Enabled = false;
    bool operator==(const TIecVariantControls&) const = default;
};
TIecVariantControls IecVariantControlsOf(int variant, bool pelvarDevice);

// The lists of the Pelvar and Tramel-5141 МЭК control point pages (cb065 .. cb067 and
// the field sizes cb061 .. cb064): the ASDU types as on TfrPUIEC, the sizes without
// "0 байт"; none for another control.
const TPickList* IecRolePageItems(std::string_view control);

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
