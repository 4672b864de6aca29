#include "configurator/rules/PageRules.h"

#include "configurator/rules/ProtocolPageRules.h"
#include "model/uDravo7.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo7.h"
#include "model/uZumo9.h"
#include "platform/Format.h"

#include <algorithm>

// ---------------------------------------------------------------------------------
// Pages of a device

namespace {

using P = TProtocolPage;

// By protocol index: the page of a controlled point, the page of a control point.
constexpr TProtocolPage kPages[ProtocolCount][2] = {
    {P::None, P::None},                 // 0 Нет
    {P::KPIEC, P::PUIEC},               // 1 МЭК
    {P::KPModbus, P::None},             // 2 ModBus
    {P::None, P::None},                 // 3 TM800A
    {P::KPTM800B, P::None},             // 4 TM800B
    {P::KPKOMPAS, P::None},             // 5 Компас 1.1
    {P::None, P::None},                 // 6 ПУ TM1.1
    {P::KPMercury, P::None},            // 7 Меркурий
    {P::KPDCON, P::None},               // 8 DCON
    {P::KPGranit, P::PUGranit},         // 9 Гранит
    {P::KPMKT2, P::None},               // 10 МКТ-2
    {P::KPMKT3, P::None},               // 11 МКТ-3
    {P::PUTM120, P::PUTM120},           // 12 ТМ 120
    {P::KPCE304, P::None},              // 13 IEC 1107
    {P::KPProton, P::None},             // 14 Протон-К
    {P::KPTM512, P::PUTM512},           // 15 ТМ 512
    {P::KPRPT80, P::PURPT80},           // 16 РПТ-80
    {P::KPANSI, P::None},               // 17 ANSI C1218-21
    {P::KPUTM7, P::None},               // 18 УТМ-7
    {P::KPSET, P::None},                // 19 СЭТ-4ТМ
    {P::None, P::None},                 // 20 УТС-8
    {P::KPMKT1, P::None},               // 21 МКТ-1
    {P::KPTM500, P::PUTM500},           // 22 ТМ 500
    {P::KPMK51, P::KPMK51},             // 23 МК 51
    {P::KPMK55, P::None},               // 24 МК 55
    {P::KPTK113Shield, P::None},        // 25 ТК113 Щит
    {P::KPOrion, P::None},              // 26 Орион-2
    {P::KPSirius_2V, P::None},          // 27 Сириус-2
    {P::KPSiemensSymap, P::None},       // 28 Siemens Symap
};

constexpr const char* kPageNames[ProtocolPageCount] = {
    "",
    "TfrKPIEC",
    "TfrPUIEC",
    "TfrKPModbus",
    "TfrKPTM800B",
    "TfrKPKOMPAS",
    "TfrKPMercury",
    "TfrKPDCON",
    "TfrKPGranit",
    "TFrPUGranit",
    "TfrKPMKT2",
    "TfrKPMKT3",
    "TFrPUTM120",
    "TfrKPCE304",
    "TfrKPProton",
    "TfrKPTM512",
    "TfrPUTM512",
    "TfrKPRPT80",
    "TfrPURPT80",
    "TfrKPANSI",
    "TfrKPUTM7",
    "TfrKPSET",
    "TfrKPMKT1",
    "TfrKPTM500",
    "TfrPUTM500",
    "TfrKPMK51",
    "TfrKPMK55",
    "TfrKPTK113Shield",
    "TFrKPOrion",
    "TFrKPSirius_2V",
    "TFrKPSiemensSymap",
    "TfrKPIEC_Grendal",
};

} // namespace

const char* ProtocolPageName(TProtocolPage page)
{
    const int i = static_cast<int>(page);
    return i >= 0 && i < ProtocolPageCount ? kPageNames[i] : "";
}

TProtocolPage ProtocolPageOf(int protocolIndex, int role)
{
    if (protocolIndex < 0 || protocolIndex >= ProtocolCount) return TProtocolPage::None;
    return kPages[protocolIndex][IsControlPoint(role) ? 1 : 0];
}

TRolePage RolePageOf(int role) { return IsControlPoint(role) ? TRolePage::PUdpNone : TRolePage::KPdpNone; }

TPUdpNoneLayout PUdpNoneLayoutOf(int protocolIndex, int role)
{
    TPUdpNoneLayout layout;
    layout.IecValidityShown = protocolIndex == 1 && IsControlPoint(role);
    // Only these protocols watch the link of a control point themselves: the page
    // shows the link TS and a timeout in seconds.
    if (protocolIndex == 5 || protocolIndex == 9 || protocolIndex == 12) {
        layout.ChannelGroupShown = true;
        layout.TITLinkShown = false;
        layout.SuspensionShown = false;
        layout.TimeoutCaption = "Таймаут наличия связи";
        layout.TimeoutUnit = "с.";
    }
    return layout;
}

namespace {

// The protocol pages a Pelvar controlled point gets, by protocol index; the Tramel-5141
// takes them too, but for МЭК.
constexpr std::pair<int, TProtocolPage> kHaskKPPages[] = {
    {1, P::KPIEC},    {2, P::KPModbus}, {4, P::KPTM800B}, {5, P::KPKOMPAS}, {7, P::KPMercury}, {8, P::KPDCON},
    {9, P::KPGranit}, {10, P::KPMKT2},  {11, P::KPMKT3},  {13, P::KPCE304}, {14, P::KPProton}, {15, P::KPTM512},
    {17, P::KPANSI},  {18, P::KPUTM7},  {19, P::KPSET},   {21, P::KPMKT1},
};

// By family and role page.
constexpr const char* kFamilyRolePageNames[2][3] = {
    {"TfrKPdpNone_Hask1", "TfrPUdpNone_Hask1", "TfrPUIEC_Hask1"},
    {"TfrKPdpNone_Grendal", "TfrPUdpNone_Grendal", "TfrPUIEC_Grendal"},
};

} // namespace

const char* FamilyRolePageName(TDeviceFamily family, TFamilyRolePage page)
{
    return kFamilyRolePageNames[static_cast<int>(family)][static_cast<int>(page)];
}

TFamilyPages FamilyPagesOf(TDeviceFamily family, int protocolIndex, int role)
{
    if (IsControlPoint(role)) return {protocolIndex == 1 ? TFamilyRolePage::PUIEC : TFamilyRolePage::PUdpNone};
    TFamilyPages pages{TFamilyRolePage::KPdpNone};
    for (const auto& [index, page] : kHaskKPPages)
        if (index == protocolIndex) pages.Protocol = page;
    if (family == TDeviceFamily::Grendal && pages.Protocol == P::KPIEC) pages.Protocol = P::KPIEC_Grendal;
    return pages;
}

TPickList NamedPortItems(const TDocument& document)
{
    TPickList items;
    const std::vector<std::string> names = document.GetPortNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty()) items.emplace_back(names[i], static_cast<int>(i));
    return items;
}

bool HaskEthernetShown(const TDocument* document, int itemPosition)
{
    // The models with "Voice" have one item more in front of the Ethernet ports.
    const int first = dynamic_cast<const THask1Doc_2d*>(document) ? 2 : 1;
    return itemPosition >= first && itemPosition <= first + 2;
}

TGrendalPortPanel GrendalPortPanelOf(int port)
{
    return port < 6 ? TGrendalPortPanel::Serial : TGrendalPortPanel::Ethernet;
}

std::optional<std::array<int32_t, 4>> IecVariantSizes(int variant)
{
    if (variant == Iec104) return std::array<int32_t, 4>{2, 1, 2, 3};
    if (variant == Iec101) return std::array<int32_t, 4>{1, 1, 1, 2};
    return std::nullopt;
}

TIecVariantControls IecVariantControlsOf(int variant, bool pelvarDevice)
{
    const bool iec101 = variant == Iec101;
    return {.TimeoutsEnabled = variant == Iec104, .LinkAddressEnabled = iec101 && !pelvarDevice,
            .Class2Enabled = iec101};
}

const TPickList* IecRolePageItems(std::string_view control)
{
    // The ASDU types as the control point's МЭК page; the sizes as the Tramel-5141
    // controlled point's, whose "Канальный адрес" offers no "0 байт".
    if (control == "cb065" || control == "cb066" || control == "cb067") return ComboItems(P::PUIEC, control);
    return ComboItems(P::KPIEC_Grendal, control);
}

// ---------------------------------------------------------------------------------
// Serial settings of a device

bool SerialPanelShown(const TDocument* document, const TFieldLst* portList, std::optional<int> selectedPort)
{
    if (!document || !portList || !selectedPort) return false;
    // Documents whose ports decide by other rules test for their class here.
    if (dynamic_cast<const TDravo7Doc*>(document)) {
        // The Dravo 7 asks for the settings of the ports behind the first one while
        // the first is asynchronous.
        const auto* mode = dynamic_cast<const TField*>(portList->FindField("016"));
        return mode && mode->GetValue().Equals(int32_t{0}) && *selectedPort > 0;
    }
    const auto* port = dynamic_cast<const TUART*>(portList);
    return port && !port->IsSynchronous();
}

TPickList DevicePortItems(const TDocument& document)
{
    TPickList items;
    const std::vector<std::string> names = document.GetPortNames();
    // A modem board of the first kind offers no "COM3"; the other ports keep their indexes.
    const bool withoutCOM3 = HasModemBoardM1(&document);
    for (size_t i = 0; i < names.size(); ++i)
        if (!withoutCOM3 || names[i] != "COM3") items.emplace_back(names[i], static_cast<int>(i));
    return items;
}

const TPickList& ChannelProtocolItems()
{
    static const TPickList items = {{"Нет", 0}, {"\"Модемный\"", 128}, {"NE50", 135}};
    return items;
}

const TPickList& DataBitsItems()
{
    static const TPickList items = {{"8", 8}, {"9", 9}};
    return items;
}

const TPickList& ParityItems()
{
    static const TPickList items = {{"Нет", 0}, {"Чет", 2}, {"Нечет", 3}};
    return items;
}

const TPickList& StopBitsItems()
{
    static const TPickList items = {{"1", 1}, {"2", 2}};
    return items;
}

// ---------------------------------------------------------------------------------
// Port page

TPickList PortModeItems(const TUART& port)
{
    if (dynamic_cast<const TModemPort*>(&port)) return {{"Синхронный", 1}};
    return {{"Асинхронный", 0}, {"Синхронный", 1}};
}

namespace {

using K = TControlKind;

constexpr TPagePanel kPortPanels[] = {
    {.Name = "gbMode", .Kind = TPanelKind::Group},
    {.Name = "gbFlags", .Kind = TPanelKind::Group},
    {.Name = "gbTimes", .Kind = TPanelKind::Group},
};

const TPageRow kPortRows[] = {
    {.Panel = "gbMode", .Name = "cb016", .Kind = K::ComboBox, .Key = "016"},
    {.Panel = "gbMode", .Name = "ch018", .Kind = K::CheckBox, .Key = "018", .Caption = "Дуплекс"},
    {.Panel = "gbFlags", .Name = "chInverseRxD", .Kind = K::CheckBox, .Key = "051", .Caption = "Инверсия RxD"},
    {.Panel = "gbFlags", .Name = "chInverseTxD", .Kind = K::CheckBox, .Key = "052", .Caption = "Инверсия TxD"},
    {.Panel = "gbFlags", .Name = "rgLevel", .Kind = K::RadioGroup, .Key = "057", .Items = {"уровень 0", "уровень 1"}},
    {.Panel = "gbFlags", .Name = "ch058", .Kind = K::CheckBox, .Key = "058", .Caption = "Управление модемом"},
    {.Panel = "gbFlags", .Name = "chFullPacket", .Kind = K::CheckBox, .Key = "059",
     .Caption = "Прием всего пакета в окне"},
    // An ADSP channel has no DE inversion.
    {.Panel = "gbFlags", .Name = "chInversDE", .Kind = K::CheckBox, .Key = "flag_invDE", .Caption = "Инверсия DE",
     .WhereDocumentHasIt = true},
    {.Panel = "gbTimes", .Name = "edSendLider", .Kind = K::SpinEdit, .Key = "055", .Caption = "Лидера на передачу",
     .Unit = "мс", .Minimum = 0, .Maximum = 65535},
    {.Panel = "gbTimes", .Name = "edWindow", .Kind = K::SpinEdit, .Key = "056", .Caption = "Окна приема лидера",
     .Unit = "мс"},
};

} // namespace

const TPageTable& PortPageTable()
{
    static const TPageTable table{"TfrPort", kPortPanels, kPortRows};
    return table;
}

const std::vector<TPageControl>& PortPageControls()
{
    static const std::vector<TPageControlName> names = PageTableControls(PortPageTable());
    static const std::vector<TPageControl> controls = [] {
        std::vector<TPageControl> out;
        for (const TPageControlName& n : names) out.push_back({n.Name.c_str(), n.Group});
        return out;
    }();
    return controls;
}

std::optional<bool> PortModeEnables(const TUART& port, std::optional<int> mode)
{
    // Ports whose pages follow rules of their own return here.
    if (dynamic_cast<const TADSP*>(&port) || dynamic_cast<const TPortA*>(&port)) return std::nullopt;
    if (!mode) return std::nullopt;
    return *mode == 1;
}

bool PortModeSwitches(const TPageControl& control)
{
    const std::string_view name = control.Name;
    const std::string_view group = control.Group ? control.Group : "";
    return name != "cb016" && name != "ch018" && name != "gbMode" && group != "gbMode";
}

std::vector<std::pair<std::string, bool>> PortModeRule(const TUART& port, std::optional<int> mode)
{
    std::vector<std::pair<std::string, bool>> states;
    const std::optional<bool> enabled = PortModeEnables(port, mode);
    if (!enabled) return states;
    for (const TPageControl& control : PortPageControls())
        if (PortModeSwitches(control)) states.emplace_back(control.Name, *enabled);
    return states;
}

// ---------------------------------------------------------------------------------
// Common page

int32_t EventBufferCapacity(const TDocument& document)
{
    // Documents with a larger archive give their capacity here.
    if (dynamic_cast<const THask1Doc_1d*>(&document) || dynamic_cast<const TGrendalDoc*>(&document)) return 50000;
    return 1200;
}

TCommonPageLayout CommonPageLayoutOf(const TDocument& document)
{
    TCommonPageLayout layout;
    if (dynamic_cast<const TGrendalDoc*>(&document)) {
        layout.TimeSourcesShown = false;
        layout.NetworkShown = true;
        layout.SecondNetworkShown = true;
    } else if (dynamic_cast<const THask1Doc_1d*>(&document)) {
        layout.TimeSourcesShown = false;
        layout.NetworkShown = true;
        layout.SecondNetworkShown = !dynamic_cast<const THask1Doc_41*>(&document) &&
                                    !dynamic_cast<const THask1Doc_2d_43*>(&document) &&
                                    !dynamic_cast<const THask1Doc_1v_43*>(&document);
    }
    layout.CommandAddressShown = dynamic_cast<const TZumo9Doc*>(&document) != nullptr;
    return layout;
}

bool PortFlagShown(const TUART& port, const TField* field)
{
    if (!dynamic_cast<const TADSP*>(&port)) return true;
    return field && !field->CheckDefault;
}

std::string EventBufferCaption(int32_t capacity)
{
    return platform::Format("Буфер архива событий (макс. %d событий)", capacity);
}

std::optional<TBufferChange> BufferRule(TBuffer changed, int64_t ts, int64_t tit, int32_t capacity)
{
    if (ts + tit <= capacity) return std::nullopt;
    // A buffer never goes below 0: the rest of a buffer larger than the capacity is
    // nothing, not a negative size.
    if (changed == TBuffer::TS) return TBufferChange{TBuffer::TIT, static_cast<int32_t>(std::max<int64_t>(0, capacity - ts))};
    return TBufferChange{TBuffer::TS, static_cast<int32_t>(std::max<int64_t>(0, capacity - tit))};
}
