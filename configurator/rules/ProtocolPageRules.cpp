#include "configurator/rules/ProtocolPageRules.h"

#include "model/uDevProtocols.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo7.h"
#include "model/uZumo_Classes.h"
#include "platform/Format.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

// ---------------------------------------------------------------------------------
// Lists

namespace {

using P = TProtocolPage;

const TPickList kPeriodUnits = {{"мс", 0}, {"сек", 1}, {"мин", 2}, {"час", 3}};

// МЭК
const TPickList kIecTSAsdu = {{"без времени", 1}, {"время 3 байта", 2}, {"время 7 байт", 30},
                              {"битовое поле без времени", 201}};
const TPickList kIecTITAsdu = {{"16 бит без времени", 11}, {"16 бит, время 3 байта", 12},
                               {"16 бит, время 7 байт", 35}, {"float без времени", 13},
                               {"float, время 3 байта", 14}, {"float, время 7 байт", 36}};
const TPickList kIecTIIAsdu = {{"без времени", 15}, {"время 3 байта", 16}, {"время 7 байт", 37}};
const TPickList kIecDPTSAsdu = {{"без времени", 3}, {"Время 3 байта", 4}, {"Время 7 байт", 31}};
const TPickList kIecOneOrTwoBytes = {{"1 байт", 1}, {"2 байта", 2}};
const TPickList kIecLinkAddressPU = {{"0 байт", 0}, {"1 байт", 1}, {"2 байта", 2}};
const TPickList kIecLinkAddressKP = {{"0 байта", 0}, {"1 байт", 1}, {"2 байта", 2}};
const TPickList kIecObjectAddress = {{"1 байт", 1}, {"2 байта", 2}, {"3 байта", 3}};

// ModBus
const TPickList kModbusTypes = {{"ModBus", 0},        {"ЗНП 3020", 1},       {"Сириус/Орион-2", 2},
                                {"Сириус В 3.хх", 3}, {"Сириус С 3.хх", 4},  {"Сириус Л 3.хх", 5},
                                {"Сириус Т3 3.хх", 6}, {"SX2", 7},           {"PX3", 8},
                                {"ЭНИП", 9},          {"ОВЕН МУ110-16", 10}};
const TPickList kModbusTUAlgorithm = {{"С удержанием", 0}, {"Через 2 выхода", 1}};
const TPickList kModbusTSFunction = {{"01 hex", 1}, {"02 hex", 2}, {"03 hex", 3}, {"04 hex", 4}};
const TPickList kModbusTITFunction = {{"03 hex", 3}, {"04 hex", 4}};

// Компас 1.1: the type items are "TM" in Latin letters but for the Cyrillic "ТМ120".
const TPickList kKompasTypes = {{"КП TM1.1", 0}, {"ПУ TM1.1", 1}, {"ТМ120", 2}};
const TPickList kZeroToThree = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}};
const TPickList kKompasLinkDown = {{"Нет", 0}, {"Вн. ТУ1", 1}};

// МКТ-2
const TPickList kMkt2Words = {{"11", 11}, {"21", 21}, {"31", 31}};

// ТМ 120
const TPickList kTM120ServiceCmd = {{"Нет", 0}, {"Сервис. ТУ1", 1}};

// МКТ-1
const TPickList kMkt1Words = {{"6", 6}, {"11", 11}};

// Орион-2 and Сириус-2; the "A" of the Сириус-2 types is Latin.
const TPickList kOrionTypes = {{"2Л", 0}, {"2В", 1}, {"2С", 2}};
const TPickList kSiriusTypes = {{"2-Л-5A", 0},   {"2-В-5A", 1},   {"2-С-5A", 2},
                                {"2-Л-БПТ", 3}, {"2-В-БПТ", 4}, {"2-С-БПТ", 5}};

struct TComboList {
    TProtocolPage Page;
    const char* Control;
    const TPickList* Items;
};

const TComboList kComboLists[] = {
    {P::PUIEC, "cb065", &kIecTSAsdu},
    {P::PUIEC, "cb066", &kIecTITAsdu},
    {P::PUIEC, "cb067", &kIecTIIAsdu},
    {P::PUIEC, "cbTSDP_asdu", &kIecDPTSAsdu},
    {P::PUIEC, "cb061", &kIecOneOrTwoBytes},
    {P::PUIEC, "cb062", &kIecLinkAddressPU},
    {P::PUIEC, "cb063", &kIecOneOrTwoBytes},
    {P::PUIEC, "cb064", &kIecObjectAddress},
    {P::KPIEC, "cb061", &kIecOneOrTwoBytes},
    {P::KPIEC, "cb062", &kIecLinkAddressKP},
    {P::KPIEC, "cb063", &kIecOneOrTwoBytes},
    {P::KPIEC, "cb064", &kIecObjectAddress},
    {P::KPModbus, "cb0201", &kModbusTypes},
    {P::KPModbus, "cb0207", &kPeriodUnits},
    {P::KPModbus, "cb0208", &kModbusTUAlgorithm},
    {P::KPModbus, "cb0209", &kModbusTSFunction},
    {P::KPModbus, "cb0210", &kModbusTITFunction},
    {P::KPTM800B, "cb04007", &kPeriodUnits},
    {P::KPKOMPAS, "cb5001", &kKompasTypes},
    {P::KPKOMPAS, "cb0512", &kZeroToThree},
    {P::KPKOMPAS, "cbDirect", &kZeroToThree},
    {P::KPKOMPAS, "cbLinkDownEvent", &kKompasLinkDown},
    {P::KPMKT2, "cb011_mkt2_01", &kMkt2Words},
    {P::PUTM120, "cbServiceCmd", &kTM120ServiceCmd},
    {P::KPMKT1, "cb2601", &kMkt1Words},
    {P::KPOrion, "cbDevType", &kOrionTypes},
    {P::KPOrion, "cbPeriodUM", &kPeriodUnits},
    {P::KPSirius_2V, "cbDevType", &kSiriusTypes},
    {P::KPSirius_2V, "cbPeriodUM", &kPeriodUnits},
    {P::KPIEC_Grendal, "cb061", &kIecOneOrTwoBytes},
    {P::KPIEC_Grendal, "cb062", &kIecOneOrTwoBytes},
    {P::KPIEC_Grendal, "cb063", &kIecOneOrTwoBytes},
    {P::KPIEC_Grendal, "cb064", &kIecObjectAddress},
};

} // namespace

const TPickList& PeriodUnitItems() { return kPeriodUnits; }

const std::array<const char*, 4>& TsTitItems()
{
    static const std::array<const char*, 4> items = {"TC", "ТИТ"};
    return items;
}

const TPickList* ComboItems(TProtocolPage page, std::string_view control)
{
    for (const TComboList& list : kComboLists)
        if (list.Page == page && control == list.Control) return list.Items;
    if (const TMeterProtocol* meter = MeterProtocolOf(page); meter && control == "cb" + meter->UnitKey)
        return &kPeriodUnits;
    return nullptr;
}

// ---------------------------------------------------------------------------------
// Service command address byte

TServiceAddress DecodeServiceAddress(uint8_t address)
{
    return {(address & 0x80) ? 2 : 1, ((address >> 3) & 0x0F) + 1, (address & 0x07) + 1};
}

uint8_t EncodeServiceAddress(const TServiceAddress& address)
{
    const int value = (address.Block - 1) * 128 + (address.Group - 1) * 8 + (address.Object - 1);
    return static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu);
}

// ---------------------------------------------------------------------------------
// Компас 1.1 route

namespace {

constexpr const char* kRouteKeys[] = {"0512", "0513", "0514", "0515", "0516", "0517"};

} // namespace

TKompasRoute KompasRouteOf(int deviceType, int stations)
{
    TKompasRoute route;
    if (deviceType != KompasRoutedType) return route;
    route.Shown = true;
    route.Stations = std::clamp(stations, 0, KompasMaxStations);
    // "0513" onwards: the stations, then the direction, then the address.
    const char* const* next = &kRouteKeys[1];
    for (int i = 0; i < route.Stations; ++i) route.StationKeys[static_cast<size_t>(i)] = *next++;
    route.DirectionKey = *next++;
    route.AddressKey = *next;
    return route;
}

std::span<const char* const> KompasRouteKeys() { return kRouteKeys; }

// ---------------------------------------------------------------------------------
// Meters

namespace {

// The quantity captions by NN (01 .. 36), in three columns: the Меркурий and СЭТ-4ТМ
// meters, IEC 1107, ANSI C1218-21. None: the meters of the column have no such NN.
enum TCaptionColumn { MercurySet, Iec1107, Ansi };

constexpr const char* kCaptions[36][3] = {
    {"P_", "P_", "P_"},
    {"Pa", "Pa", "Pa"},
    {"Pb", "Pb", "Pb"},
    {"Pc", "Pc", "Pc"},
    {"Q_", "Q_", "Q_"},
    {"Qa", "Qa", "Qa"},
    {"Qb", "Qb", "Qb"},
    {"Qc", "Qc", "Qc"},
    {"S_", "S_", "S_"},
    {"Sa", "Sa", "Sa"},
    {"Sb", "Sb", "Sb"},
    {"Sc", "Sc", "Sc"},
    {"Ua", "Ua", "Ua"},
    {"Ub", "Ub", "Ub"},
    {"Uc", "Uc", "Uc"},
    {"Ia", "Ia", "Ia"},
    {"Ib", "Ib", "Ib"},
    {"Ic", "Ic", "Ic"},
    {"Cos_", "Cos_", "Cos_"},
    {"Cos A", "Cos A", "Cos A"},
    {"Cos B", "Cos B", "Cos B"},
    {"Cos C", "Cos C", "Cos C"},
    {"F", "F", "F"},
    {"угол АВ", "угол АВ", "угол АВ"},
    {"угол АС", "угол АС", "угол АС"},
    {"угол ВС", "угол ВС", nullptr},
    {"Ep+", "Энергия 1", nullptr},
    {"Ep-", "Энергия 2", nullptr},
    {"Eq+", "Энергия 3", nullptr},
    {"Eq-", "Энергия 4", nullptr},
    {"Серийный №", "Энергия 5", nullptr},
    {"Дата выпуска", "Энергия 6", nullptr},
    {nullptr, "№ счетчика", "Активная выданная"},
    {nullptr, nullptr, "Реактивная выданная"},
    {nullptr, nullptr, "Активная потребленная"},
    {nullptr, nullptr, "Реактивная потребленная"},
};

// A meter protocol: its page, code, whether it has a password, its caption column and
// its runs of NN (first, last; an empty run has first 0).
struct TMeterRow {
    TProtocolPage Page;
    int Code;
    bool Password;
    TCaptionColumn Captions;
    std::array<std::pair<int, int>, 2> Runs;
};

constexpr TMeterRow kMeters[] = {
    {P::KPMercury, 7, true, MercurySet, {{{1, 32}, {0, 0}}}},
    {P::KPCE304, 16, true, Iec1107, {{{1, 33}, {0, 0}}}},
    {P::KPProton, 17, false, MercurySet, {{{0, 0}, {0, 0}}}},
    {P::KPANSI, 21, false, Ansi, {{{1, 25}, {33, 36}}}},
    {P::KPSET, 24, true, MercurySet, {{{1, 32}, {0, 0}}}},
};

// Captions a meter shows on Zumo 7 documents in place of its own, by NN.
struct TZumo7Caption {
    TProtocolPage Page;
    int NN;
    const char* Caption;
};

constexpr TZumo7Caption kZumo7Captions[] = {
    {P::KPSET, 13, "Uab"},
    {P::KPSET, 14, "Ubc"},
    {P::KPSET, 15, "Uca"},
};

TMeterProtocol MakeMeter(const TMeterRow& row)
{
    const std::string cc = platform::Format("%.2d", row.Code);
    TMeterProtocol meter{row.Page, row.Code, cc + "006", cc + "007", row.Password ? cc + "pass" : "", {}};
    for (const auto& [first, last] : row.Runs)
        for (int nn = first; first > 0 && nn <= last; ++nn)
            meter.Quantities.push_back({platform::Format("%s%.2d", cc.c_str(), nn), kCaptions[nn - 1][row.Captions]});
    return meter;
}

const std::map<TProtocolPage, TMeterProtocol>& Meters()
{
    static const std::map<TProtocolPage, TMeterProtocol> meters = [] {
        std::map<TProtocolPage, TMeterProtocol> made;
        for (const TMeterRow& row : kMeters) made.emplace(row.Page, MakeMeter(row));
        return made;
    }();
    return meters;
}

constexpr TPagePanel kMeterPanels[] = {
    {.Name = "paPeriod", .Kind = TPanelKind::Panel},
    {.Name = "paValues", .Kind = TPanelKind::Panel, .Columns = 4},
};

// A meter page's rows, made from its meter protocol.
std::vector<TPageRow> MakeMeterRows(const TMeterProtocol& meter)
{
    using K = TControlKind;
    std::vector<TPageRow> rows;
    rows.push_back({.Panel = "paPeriod", .Name = KeptText("ed" + meter.PeriodKey), .Kind = K::SpinEdit,
                    .Key = KeptText(meter.PeriodKey), .Caption = "Период опроса устройства"});
    rows.push_back({.Panel = "paPeriod", .Name = KeptText("cb" + meter.UnitKey), .Kind = K::ComboBox,
                    .Key = KeptText(meter.UnitKey), .Beside = true});
    if (!meter.PasswordKey.empty())
        rows.push_back({.Panel = "paPeriod", .Name = KeptText("ed" + meter.PasswordKey), .Kind = K::TextEdit,
                        .Key = KeptText(meter.PasswordKey), .Caption = "Пароль доступа"});
    for (const TMeterQuantity& q : meter.Quantities)
        rows.push_back({.Panel = "paValues", .Name = KeptText("ch" + q.Key), .Kind = K::CheckBox,
                        .Key = KeptText(q.Key), .Caption = q.Caption});
    return rows;
}

// A meter page's table with the rows it points to.
struct TMeterTable {
    std::vector<TPageRow> Rows;
    TPageTable Table;
};

} // namespace

const TMeterProtocol* MeterProtocolOf(TProtocolPage page)
{
    const auto it = Meters().find(page);
    return it == Meters().end() ? nullptr : &it->second;
}

std::vector<TMeterQuantity> MeterQuantitiesOn(TProtocolPage page, const TDocument* document)
{
    const TMeterProtocol* meter = MeterProtocolOf(page);
    if (!meter) return {};
    std::vector<TMeterQuantity> quantities = meter->Quantities;
    if (!dynamic_cast<const TZumo7Doc*>(document)) return quantities;
    for (const TZumo7Caption& own : kZumo7Captions) {
        if (own.Page != page) continue;
        const std::string key = platform::Format("%.2d%.2d", meter->Code, own.NN);
        for (TMeterQuantity& q : quantities)
            if (q.Key == key) q.Caption = own.Caption;
    }
    return quantities;
}

const TPageTable& MeterPageTable(TProtocolPage page)
{
    static const std::map<TProtocolPage, TMeterTable> tables = [] {
        std::map<TProtocolPage, TMeterTable> made;
        for (const auto& [p, meter] : Meters()) {
            // The table points into its rows: it is set once they have their place.
            TMeterTable& table = made[p];
            table.Rows = MakeMeterRows(meter);
            table.Table = {ProtocolPageName(p), kMeterPanels, table.Rows};
        }
        return made;
    }();
    const auto it = tables.find(page);
    if (it == tables.end())
        throw std::logic_error(std::string("no meter page \"") + ProtocolPageName(page) + "\"");
    return it->second.Table;
}

// ---------------------------------------------------------------------------------
// Rules

TIecPageLayout IecPageLayoutOf(const TDocument* document, const TDevice& device)
{
    TIecPageLayout layout;
    layout.IgnoreInvalidShown = document && document->GetCaption() == "Zumo2";
    const bool pelvar = dynamic_cast<const THask1Device*>(&device) != nullptr;
    layout.TimeoutGroupsShown = pelvar || dynamic_cast<const TDeviceGrendal*>(&device) != nullptr;
    layout.LinkAddressEnabled = !pelvar;
    return layout;
}

TModbusControls ModbusControlsOf(std::optional<int> deviceType)
{
    const bool owen = deviceType == ModbusOwenType;
    return {.RequestFunctionsShown = !owen, .TUAlgorithmShown = owen};
}

bool SyncPeriodAccepted(const Variant& value)
{
    const int64_t minutes = value.ToInt64();
    return minutes >= 0 && minutes <= 59;
}

bool MaxFrameSizeAccepted(const Variant& value)
{
    const int64_t bytes = value.ToInt64();
    return bytes >= 0 && bytes <= 255;
}

// ---------------------------------------------------------------------------------
// Captions that follow the page or a value

bool TControlCaption::operator==(const TControlCaption& other) const
{
    const auto same = [](const char* a, const char* b) { return a && b ? std::string_view(a) == b : a == b; };
    return same(Control, other.Control) && same(Caption, other.Caption);
}

// ---------------------------------------------------------------------------------
// ТМ 512 family

namespace {

constexpr TControlCaption kTM500KP[] = {{"ch1802", "Только доп. ТИТ"}, {"ch1803", nullptr}};
constexpr TControlCaption kTM500PU[] = {{"ch1802", "Только доп. ТИТ"}, {"ch1803", "Экстра флаги в потоке"}};
constexpr TControlCaption kMK51[] = {{TM512Group, nullptr}};

struct TTM512Variant {
    TProtocolPage Page;
    std::span<const TControlCaption> Changes;
};

constexpr TTM512Variant kTM512Variants[] = {
    {P::KPTM500, kTM500KP},
    {P::PUTM500, kTM500PU},
    {P::KPMK51, kMK51},
};

} // namespace

std::span<const TControlCaption> TM512ChangesOf(TProtocolPage page)
{
    for (const TTM512Variant& variant : kTM512Variants)
        if (variant.Page == page) return variant.Changes;
    return {};
}

// ---------------------------------------------------------------------------------
// УТМ-7

TUTM7MessageKeys UTM7MessageKeys(int message)
{
    if (message < 1 || message > UTM7Messages)
        throw std::out_of_range("no УТМ-7 information message " + std::to_string(message));
    // Two messages to a word from "009" on.
    const int word = 9 + (message - 1) / 2;
    const std::string stem = platform::Format("%.3d_utm7_%.2d", word, message);
    return {stem + "_a", stem + "_t"};
}

// ---------------------------------------------------------------------------------
// МКТ-1

bool MKT1WordShown(int word, std::optional<int> wordsInCycle)
{
    return word <= 5 || wordsInCycle == 11;
}

// ---------------------------------------------------------------------------------
// Орион-2

std::array<TControlCaption, 4> OrionSignalCaptions(int deviceType)
{
    if (deviceType == 0)
        return {{{"cbTS_SIG_1MTZ", "Светодиод15"},
                 {"cbTS_SIG_2MTZ", "Светодиод16"},
                 {"cbTS_OZZ_Disable", "Светодиод3"},
                 {"cbTS_OZZ_SIGN", "Светодиод14"}}};
    return {{{"cbTS_SIG_1MTZ", "Сраб. 1ст. МТЗ"},
             {"cbTS_SIG_2MTZ", "Сраб. 2ст. МТЗ"},
             {"cbTS_OZZ_Disable", "ОЗЗ на откл."},
             {"cbTS_OZZ_SIGN", "ОЗЗ на сигн."}}};
}

bool VakCharacterAccepted(char32_t character)
{
    return (character >= U'0' && character <= U'9') || character == U'\b';
}

// ---------------------------------------------------------------------------------
// Сириус-2

namespace {

constexpr const char* kSiriusVoltage[] = {"chUab", "chUbc", "chUca", "chFreq", "cbTS_OZZ"};

} // namespace

std::span<const char* const> SiriusVoltageControls() { return kSiriusVoltage; }

TSiriusLayout SiriusLayoutOf(std::optional<int> deviceType)
{
    TSiriusLayout layout;
    if (!deviceType) return layout;
    const int t = *deviceType;
    layout.UntickVoltage = t == 0 || t == 2 || t == 3 || t == 5;
    layout.VoltageShown = t == 1 || t == 4;
    if (t == 1 || t == 2)
        layout.Captions = {{"cbTS_LedGuard", "Led Сраб. защиты"},
                           {"cbTS_SIG_1MTZ", "Сраб. 1ст. МТЗ"},
                           {"cbTS_SIG_2MTZ", "Сраб. 2ст. МТЗ"}};
    else
        layout.Captions = {{"cbTS_LedGuard", "Control.LEd1_15"},
                           {"cbTS_SIG_1MTZ", "Control.LEd2_8"},
                           {"cbTS_SIG_2MTZ", "Control.LEd2_9"}};
    return layout;
}

// ---------------------------------------------------------------------------------
// DCON

namespace {

const TPickList kDconModules = {{"I-7051/51D", 0}, {"I-7052/52D", 1}, {"I-7045/45D", 2}};
const TPickList kDconModulesGrendal = {{"I-7051/51D", 0}, {"I-7052/52D", 1}, {"I-7045/45D", 2}, {"I-7017", 3}};

// The captions of the relay map's fields, in their order.
constexpr const char* kDconRelayCaptions[] = {"Тип", "Исп-Кан-Вкл", "Исп-Кан-Откл", "Вкл-Кан", "Откл-Кан"};

} // namespace

bool IsGrendalDevice(const TDevice& device) { return dynamic_cast<const TDeviceGrendal*>(&device) != nullptr; }

const TPickList& DconModuleItems(bool grendalDevice) { return grendalDevice ? kDconModulesGrendal : kDconModules; }

TDconControls DconControlsOf(bool grendalDevice, std::optional<int> moduleType)
{
    TDconControls controls;
    if (!moduleType) return controls;
    controls.HoldTimeEnabled = *moduleType == DconI7045;
    controls.RawTitEnabled = *moduleType == (grendalDevice ? DconI7017 : DconI7052);
    controls.RelayTableShown = controls.HoldTimeEnabled;
    return controls;
}

std::vector<TGridRow> DconRelayRows(const TDevProtocol* block)
{
    const auto* dcon = dynamic_cast<const TDevProtocolDCON*>(block);
    if (!dcon) return {};
    return RecordRows(dcon->ParamTUCount(), [dcon](int index) -> TFieldLst* { return dcon->ParamTUByIndex(index); });
}

TGridSpec DconRelayGridSpec()
{
    TGridSpec spec;
    TGridColumn number;
    number.Caption = "№";
    number.Width = 30;
    number.TextPad = 0;
    number.Focusable = false;
    number.Text = [](const TGridRow& row) { return std::to_string(row.Number); };
    number.Look = [](const TGridRow&) { return TCellLook{.Background = TCellBackground::ButtonFace}; };
    spec.Columns.push_back(std::move(number));
    for (int f = 0; f < tuColumnCount - 1; ++f) {
        TGridColumn column;
        column.Caption = kDconRelayCaptions[f];
        column.TextPad = 0;
        column.EditField = TFieldRef::ByIndex(f);
        column.CommandField = TFieldRef::ByIndex(f);
        column.Editor.Kind = TEditorKind::Spin;
        column.Editor.LimitsFromField = true;
        // Up to the field's own maximum: a nibble stops at 15, the type at 255.
        column.CtrlStep = [field = column.CommandField](const TGridRow& row, int64_t value,
                                                        bool up) -> std::optional<int64_t> {
            const TField* shown = field.Resolve(row);
            return shown ? CappedStep(shown->MaxValue)(row, value, up) : std::nullopt;
        };
        column.Fills = true;
        column.DigitEdits = true;
        spec.Columns.push_back(std::move(column));
    }
    spec.Help = TGridHelp::None;
    spec.Fit = TGridFit::HoldsRows;
    return spec;
}
