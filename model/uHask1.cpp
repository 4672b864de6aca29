#include "model/uHask1.h"

#include <cstring>
#include <iterator>
#include <span>

// ---------------------------------------------------------------------------------
// Modems

void TFiltrKf::Build()
{
    static const TLayoutRow rows[] = {
        {.Key = "%.3d", .Offset = 0, .Type = ftWord, .First = 0, .Count = TapCount},
    };
    LayOutTable(*this, rows);
}

namespace {

// One stretch of a modem list: its fields, then a coefficient table at an offset.
struct TModemPart {
    std::span<const TLayoutRow> Rows;
    int32_t CoeffOffset;
    const char* CoeffKey;
    const char* CoeffName;
};

void LayOutModem(TFieldLst& list, std::span<const TModemPart> parts)
{
    TLayout l(list);
    for (const TModemPart& part : parts) {
        l.Rows(part.Rows);
        l.Skip(part.CoeffOffset - l.Offset()); // reserved bytes in front of the table
        l.List<TFiltrKf>(part.CoeffKey, part.CoeffName);
    }
    l.Finish();
}

const char* const kModCoeff = "Коэффициенты фильтра передатчика";
const char* const kDemodCoeff = "Коэффициенты фильтра приемника";
const char* const kTransitCoeff = "Коэффициенты фильтра";

// The channel modem of TModem.
const TLayoutRow kModemChannelRows[] = {
    {"speed", 0, ftLongWord, 600},
    {.Key = "001_%.2d", .Offset = 4, .Type = ftLongWord, .Bits = {0, 1}, .First = 0, .Count = 7},
    {"001_07", 4, ftLongWord, 0, true, {7, 1}},
    {"001_08", 4, ftLongWord, 0, true, {8, 1}},
    {"001_10", 4, ftLongWord, 0, true, {9, 1}},
    {"001_11", 4, ftLongWord, 0, true, {10, 1}},
    {"002", 8, ftSmallint, -30, false, {}, -50, 0},
    {"100_01", 12, ftWord, 1300, false, {}, 0, 8000},
    {"100_02", 14, ftWord, 2100, false, {}, 0, 8000},
    {"100_03", 16, ftSmallint, 0, false, {}, -40, 0},
    {"100_Fstop1", 18, ftWord},
    {"100_Fpass1", 20, ftWord},
    {"100_Fpass2", 22, ftWord},
    {"100_Fstop2", 24, ftWord},
    {"100_04", 26, ftByte, 2},
};
const TLayoutRow kModemDemodRows[] = {
    {"200_01", 556, ftWord, 1300, false, {}, 0, 8000},
    {"200_02", 558, ftWord, 2100, false, {}, 0, 8000},
    {"200_03", 560, ftSmallint, -40, false, {}, -40, 0},
    {"200_Fstop1", 562, ftWord},
    {"200_Fpass1", 564, ftWord},
    {"200_Fpass2", 566, ftWord},
    {"200_Fstop2", 568, ftWord},
    {"200_04", 570, ftByte, 0},
};
// The voice part of TModem: checked, except the gain codes.
const TLayoutRow kModemVoiceRows[] = {
    {"speed2", 1100, ftLongWord, 0, true},
    {.Key = "011_%.2d", .Offset = 1104, .Type = ftLongWord, .CheckDefault = true, .Bits = {0, 1}, .First = 0,
     .Count = 9},
    {"011_10", 1104, ftLongWord, 0, true, {9, 1}},
    {"011_11", 1104, ftLongWord, 0, true, {10, 1}},
    {"012", 1108, ftSmallint, -30, true, {}, -50, 0},
    {"300_01", 1112, ftWord, 1300, true, {}, 0, 8000},
    {"300_02", 1114, ftWord, 2100, true, {}, 0, 8000},
    {"300_03", 1116, ftSmallint, 0, true, {}, -40, 40},
    {"300_Fstop1", 1118, ftWord, 150, true},
    {"300_Fpass1", 1120, ftWord, 300, true},
    {"300_Fpass2", 1122, ftWord, 2200, true},
    {"300_Fstop2", 1124, ftWord, 2350, true},
    {"300_04", 1126, ftByte, 2},
};
const TLayoutRow kModemVoiceDemodRows[] = {
    {"400_01", 1656, ftWord, 1300, true, {}, 0, 8000},
    {"400_02", 1658, ftWord, 2100, true, {}, 0, 8000},
    {"400_03", 1660, ftSmallint, 0, true, {}, -40, 40},
    {"400_Fstop1", 1662, ftWord, 150, true},
    {"400_Fpass1", 1664, ftWord, 300, true},
    {"400_Fpass2", 1666, ftWord, 2200, true},
    {"400_Fstop2", 1668, ftWord, 2350, true},
    {"400_04", 1670, ftByte, 0},
};

// The layout of TModem1 and TModem2: the same rows under two keys.
struct THalfModemRow {
    const char* ChannelKey; // TModem1
    const char* VoiceKey;   // TModem2
    TLayoutRow Row;         // its Key is not used
};

const THalfModemRow kHalfModemRows[] = {
    {"speed", "speed2", {"", 0, ftLongWord, 600}},
    {"%.3d", "%.3d", {.Key = "", .Offset = 4, .Type = ftLongWord, .Bits = {0, 1}, .First = 0, .Count = 7}},
    {"007", "007", {"", 4, ftLongWord, 0, true, {7, 1}}},
    {"008", "008", {"", 4, ftLongWord, 0, true, {8, 1}}},
    {"010", "010", {"", 4, ftLongWord, 0, true, {9, 1}}},
    {"011", "011", {"", 4, ftLongWord, 0, true, {10, 1}}},
    {"032", "032", {"", 8, ftSmallint, -30, false, {}, -50, 0}},
    {"100_01", "300_01", {"", 12, ftWord, 1300, false, {}, 0, 8000}},
    {"100_02", "300_02", {"", 14, ftWord, 2100, false, {}, 0, 8000}},
    {"100_03", "300_03", {"", 16, ftSmallint, 0, false, {}, -40, 0}},
    {"100_Fstop1", "300_Fstop1", {"", 18, ftWord}},
    {"100_Fpass1", "300_Fpass1", {"", 20, ftWord}},
    {"100_Fpass2", "300_Fpass2", {"", 22, ftWord}},
    {"100_Fstop2", "300_Fstop2", {"", 24, ftWord}},
    {"100_04", "300_04", {"", 26, ftByte, 2}},
};
const THalfModemRow kHalfModemDemodRows[] = {
    {"200_01", "400_01", {"", 556, ftWord, 1300, false, {}, 0, 8000}},
    {"200_02", "400_02", {"", 558, ftWord, 2100, false, {}, 0, 8000}},
    // TModem2's level takes its own default and range below.
    {"200_03", "400_03", {"", 560, ftSmallint, -40, false, {}, -40, 0}},
    {"200_Fstop1", "400_Fstop1", {"", 562, ftWord}},
    {"200_Fpass1", "400_Fpass1", {"", 564, ftWord}},
    {"200_Fpass2", "400_Fpass2", {"", 566, ftWord}},
    {"200_Fstop2", "400_Fstop2", {"", 568, ftWord}},
    {"200_04", "400_04", {"", 570, ftByte, 0}},
};

// The rows of one half under the keys of TModem1 (voice false) or TModem2.
std::vector<TLayoutRow> HalfRows(std::span<const THalfModemRow> rows, bool voice)
{
    std::vector<TLayoutRow> out;
    for (const THalfModemRow& r : rows) {
        out.push_back(r.Row);
        out.back().Key = voice ? r.VoiceKey : r.ChannelKey;
    }
    return out;
}

void LayOutHalfModem(TFieldLst& list, bool voice)
{
    static const std::vector<TLayoutRow> rows[2] = {HalfRows(kHalfModemRows, false), HalfRows(kHalfModemRows, true)};
    static const std::vector<TLayoutRow> demod[2] = {HalfRows(kHalfModemDemodRows, false),
                                                     HalfRows(kHalfModemDemodRows, true)};
    const size_t v = voice ? 1 : 0;
    const TModemPart parts[] = {
        {rows[v], 44, voice ? "mod2_coeff" : "mod_coeff", voice ? kTransitCoeff : kModCoeff},
        {demod[v], 588, voice ? "demod2_coeff" : "demod_coeff", voice ? kTransitCoeff : kDemodCoeff},
    };
    LayOutModem(list, parts);
}

} // namespace

void TModem::Build()
{
    static const TModemPart parts[] = {
        {kModemChannelRows, 44, "mod_coeff", kModCoeff},
        {kModemDemodRows, 588, "demod_coeff", kDemodCoeff},
        {kModemVoiceRows, 1144, "mod2_coeff", kTransitCoeff},
        {kModemVoiceDemodRows, 1688, "demod2_coeff", kTransitCoeff},
    };
    LayOutModem(*this, parts);
}

void TModem1::Build() { LayOutHalfModem(*this, false); }

void TModem2::Build()
{
    LayOutHalfModem(*this, true);
    if (auto* level = Find<TField>("400_03")) {
        level->DefaultValue = int32_t{0};
        level->MinValue = -40;
        level->MaxValue = 40;
    }
}

// ---------------------------------------------------------------------------------
// Ports

void TETH::Layout()
{
    static const TLayoutRow rows[] = {
        {"016", 0, ftWord, 2, true, {0, 3}},
        {"018", 0, ftWord, 1, true, {3, 1}},
    };
    TLayout l(*this);
    l.Rows(rows);
    l.Skip(6); // reserved
    l.Finish();
}

void TADSP::Layout()
{
    static const TLayoutRow rows[] = {
        {"016", 0, ftWord, 1, true, {0, 3}},
        {"018", 0, ftWord, 0, false, {3, 1}},
        {"051", 2, ftWord, 0, true, {0, 1}},
        {"052", 2, ftWord, 0, true, {1, 1}},
        {"053", 2, ftWord, 0, true, {2, 1}},
        {"057", 2, ftWord, 0, false, {3, 1}},
        {"058", 2, ftWord, 0, false, {4, 1}},
        {"059", 2, ftWord, 0, true, {5, 1}},
        {"055", 4, ftWord},
        {"056", 6, ftWord},
    };
    LayOutTable(*this, rows);
}

// ---------------------------------------------------------------------------------
// Logical channels

const TCodeText Hask1TITSources[Hask1TITSourceCount] = {
    {1, "Суммирование"},
    {2, "Вычитание"},
    {3, "Период опроса усройства"},
    {4, "Ошибка установки времени"},
    {8, "Отсутсвие синхронизации времени"},
    {15, "Скорость приема"},
    {16, "Скорость передачи"},
};

std::string THask1LogicTIT::ParamText(int index) const
{
    if (index != 0) return TLogicTIT::ParamText(index);
    const int32_t source = ValueOf("202");
    for (const TCodeText& s : Hask1TITSources)
        if (s.Code == source) return s.Text;
    return std::to_string(source);
}

void THask1LogicTIT::FillValueList(int index, TPickList& list) const
{
    list.clear();
    if (index != 0) return;
    for (const TCodeText& s : Hask1TITSources) list.emplace_back(s.Text, s.Code);
}

std::unique_ptr<TLogicChannel> THask1Logic::CreateKind(int index, int32_t areaOffset)
{
    const std::string name = ChannelTypeNames[index];
    switch (index) {
    case 1: return MakeList<TLogicTS>(name, Block, areaOffset);
    case 2: return MakeList<THask1LogicTIT>(name, Block, areaOffset);
    case 3: return MakeList<TLogicTII>(name, Block, areaOffset);
    case 4: return MakeList<TLogicTU>(name, Block, areaOffset);
    default: return nullptr; // group commands and regulation: no record
    }
}

std::string THask1Logic::PortText(int portIndex) const
{
    static const char* const names[] = {"Channel", "Voice", "ETH0", "ETH1"};
    return portIndex >= 0 && portIndex < static_cast<int>(std::size(names)) ? names[portIndex] : "Нет";
}

void THask1Logic::FillPortList(TPickList& list) const
{
    const TFieldLst* doc = Parent;
    const bool voice = dynamic_cast<const THask1Doc_2d*>(doc) != nullptr;
    const bool secondEthernet = !dynamic_cast<const THask1Doc_41*>(doc) && !dynamic_cast<const THask1Doc_2d_43*>(doc) &&
                                !dynamic_cast<const THask1Doc_1v_43*>(doc);
    list.clear();
    list.emplace_back("Channel", 0);
    if (voice) list.emplace_back("Voice", 1);
    list.emplace_back("ETH0", 2);
    if (secondEthernet) list.emplace_back("ETH1", 3);
    list.emplace_back("Нет", 255);
}

// ---------------------------------------------------------------------------------
// Devices

std::vector<TLayoutRow> Hask1DeviceRows(std::span<const THask1RowChange> changes)
{
    static const TLayoutRow table[] = {
        {"001", 0, ftLongWord, 115200, true}, // serial speed
        {.Key = "003", .Offset = 4, .Type = ftString, .Length = 16},
        {"005", 20, ftWord, 0, true},
        {"006", 22, ftWord, 0, true},
        {"007", 24, ftWord},
        {"018", 28, ftLongWord, 0, true, {0, 1}},
        {"011", 28, ftLongWord, 1, false, {1, 1}}, // role: 1 ПУ, 0 КП
        {"012", 28, ftLongWord, 0, false, {2, 1}},
        {"014", 28, ftLongWord, 0, true, {3, 1}},
        {"013", 28, ftLongWord, 0, false, {4, 1}},
        {"015", 28, ftLongWord, 0, true, {5, 1}},
        {"016", 28, ftLongWord, 0, true, {6, 3}},
        {"017", 28, ftLongWord, 0, true, {9, 1}},
        {"019", 28, ftLongWord, 0, false, {10, 1}},
        {"020", 28, ftLongWord, 0, false, {11, 1}},
        {"021", 28, ftLongWord, 0, false, {12, 1}},
        {"022", 28, ftLongWord, 1, false, {13, 1}},
        {"024", 28, ftLongWord, 0, false, {15, 1}},
        {"051", 32, ftWord, 0, true, {0, 1}},
        {"052", 32, ftWord, 0, true, {1, 1}},
        {"053", 32, ftWord, 0, true, {2, 1}},
        {"057", 32, ftWord, 0, true, {3, 1}},
        {"058", 32, ftWord, 0, true, {4, 1}},
        {"059", 32, ftWord, 0, true, {5, 1}},
        {"055", 34, ftWord, 0, true},
        {"056", 36, ftWord, 0, true},
        {"061", 38, ftByte, 2, false, {0, 2}},
        {"063", 38, ftByte, 2, false, {2, 2}},
        {"062", 38, ftByte, 1, false, {4, 2}},
        {"064", 38, ftByte, 3, false, {6, 2}},
        {"065", 39, ftByte, 30},
        {"066", 40, ftByte, 36},
        {"067", 41, ftByte, 37},
        {"068_1", 42, ftWord, 8, true, {0, 4}},
        {"068_2", 42, ftWord, 0, true, {4, 4}},
        {"068_3", 42, ftWord, 1, true, {8, 4}},
        {"069", 44, ftWord, 1, true},
        {"070", 46, ftWord, 0, true},
        {"073", 48, ftWord, 1, true, {0, 1}},
        {"074", 48, ftWord, 0, false, {1, 1}},
        {"075", 48, ftWord, 1, false, {2, 1}},
        {"076", 48, ftWord, 0, true, {3, 1}},
        {"077", 48, ftWord, 0, true, {4, 1}},
        {"078", 48, ftWord, 0, true, {5, 1}},
        {"090", 50, ftWord, 30},
        {"091", 52, ftWord, 15},
        {"092", 54, ftWord, 10},
        {"093", 56, ftWord, 20},
        {.Key = "094", .Offset = 58, .Type = ftWord, .Default = 12, .MinValue = 1, .MaxValue = 20},
        {.Key = "095", .Offset = 60, .Type = ftWord, .Default = 8, .MinValue = 1, .MaxValue = 20},
        {"096", 62, ftByte, 0, true},
        {"097", 63, ftByte, 0, true},
        {"098", 64, ftWord, 0, true},
        {"099", 66, ftByte, 0, true},
        {"101", 67, ftByte, 0, true},
        {"000", 72, ftWord},      // device address
        {"002", 74, ftByte, 255}, // port index
        {"004", 75, ftByte, 255}, // protocol code
        {"0004", 76, ftWord},
        {"0013", 78, ftWord},
        {"ts_link", 80, ftLongWord},
        {"tit_link", 84, ftLongWord},
        {"0014", 92, ftByte, 3},
        {"0015", 93, ftByte, 1},
    };
    std::vector<TLayoutRow> rows(std::begin(table), std::end(table));
    for (const THask1RowChange& change : changes)
        for (TLayoutRow& row : rows)
            if (std::strcmp(row.Key, change.Key) == 0) {
                row.Default = change.Default;
                row.CheckDefault = change.CheckDefault;
            }
    return rows;
}

TDevice::TBlockNames Hask1DeviceBlockNames() { return {"Канал %.2d", "Канал %.2d", "Канал %.2d"}; }

TDevProtocolFactory Hask1ProtocolFactory(int index)
{
    return index == 12 || index >= 22 ? nullptr : DevProtocolFactory(index);
}

void MarkHask1DeviceFields(TDevice& device, const THask1MarkRules& rules)
{
    // The keys by rule, one run after another, in the order of `runs` below.
    static const char* const keys[] = {
        "0004", "ts_link", "tit_link",                                            // КП only
        "0013", "0014", "0015",                                                   // polling
        "061", "062", "063", "064", "065", "066", "067", "074", "075", "076", "077", // МЭК
        "078", "090", "091", "092", "093", "094", "095", "096", "097", "098", "099", "101",
        "073",                                                                    // МЭК variant
        "019",                                                                    // ПУ only
        "006", "068_1", "068_2", "068_3",                                         // serial
        "001",                                                                    // speed
        "003", "007", "022", "024",                                               // off LAN
    };
    const int p = device.ActiveProtocolIndex();
    const bool pu = device.RoleField()->GetValue().ToInt32() == 1;
    const int port = device.PortField()->GetValue().ToInt32();
    const bool lan = port >= rules.FirstLan && port <= rules.LastLan;
    const bool pollSettingsUnused = pu || p == 3 || p == 10 || p == 11 || p == 15 || p == 16 || p == 18 || p == 20;

    struct TRun {
        size_t count;
        bool applies;
        bool checkDefault;
    };
    const TRun runs[] = {
        {3, true, pu},
        {3, true, pollSettingsUnused},
        {23, true, p != 1},
        {1, rules.IecVariantFixed, p != 1},
        {1, true, !pu},
        {4, true, rules.SerialFixedOnLan && lan},
        {1, true, lan},
        {4, true, !lan},
    };
    const std::span<TField* const> fields = device.OwnFields(keys);
    size_t at = 0;
    for (const TRun& run : runs) {
        if (run.applies)
            for (size_t i = at; i < at + run.count; ++i)
                if (fields[i]) fields[i]->CheckDefault = run.checkDefault;
        at += run.count;
    }
}

void THask1Device::LayoutFields(TLayout& layout)
{
    static const std::vector<TLayoutRow> rows = Hask1DeviceRows({});
    layout.Rows(rows);
}

TDevice::TBlockNames THask1Device::BlockNames() const { return Hask1DeviceBlockNames(); }

TDevProtocolFactory THask1Device::ProtocolFactory(int index) const { return Hask1ProtocolFactory(index); }

void THask1Device::MarkUnusedFields()
{
    MarkHask1DeviceFields(*this, {.FirstLan = 2, .LastLan = 4, .SerialFixedOnLan = false, .IecVariantFixed = true});
}

// ---------------------------------------------------------------------------------
// Documents

THask1Doc_1d::THask1Doc_1d()
{
    ModelName = "Pelvar-44";
    BaseAddress = 0x200F0000;
    ExpectedSchemeId = "Scheme ID:1.0.0.0";
    PuProtocolMask = 0x159A6A;
    KpProtocolMask = 0x258E3A;
    LogicKindMask = 31;
}

void THask1Doc_1d::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    Name = "Контроллер " + ModelName;
}

void THask1Doc_1d::Build()
{
    // Several keys mean something else than in the base model: the header is laid out
    // from its own table.
    static const TLayoutRow rows[] = {
        {"noname_0", 32, ftLongWord},
        {"noname_1", 36, ftLongWord},
        {"noname_2", 40, ftWord},
        {"021", 42, ftWord, 0, true, {0, 1}},
        {"022", 42, ftWord, 1, false, {1, 1}},
        {"023", 42, ftWord, 0, true, {2, 1}},
        {"024", 42, ftWord, 1, false, {3, 1}},
        {"025", 42, ftWord, 0, true, {4, 1}},
        {"026", 42, ftWord, 0, true, {5, 1}},
        {"027", 42, ftWord, 0, true, {6, 1}},
        {"028", 42, ftWord, 0, true, {7, 1}},
        {"040", 44, ftWord, 0, true},
        {"041", 46, ftWord, 500, false, {}, 0, 50000},
        {"042", 48, ftWord, 500, false, {}, 0, 50000},
        {"043", 50, ftWord},
        {"044", 52, ftWord, 1440},
        {"045", 54, ftWord, 0, true},
        {"046", 56, ftShortInt, -1, true},
        {"049", 57, ftShortInt, -1, true},
        {"047", 58, ftWord, 0, true},
        {"048", 60, ftWord, 0, true},
        {.Key = "050", .Offset = 64, .Type = ftString, .Length = 16},
        {.Key = "051", .Offset = 80, .Type = ftString, .Length = 16},
        {.Key = "052", .Offset = 96, .Type = ftString, .Length = 16},
        {.Key = "053", .Offset = 112, .Type = ftString, .Length = 16},
        {.Key = "054", .Offset = 128, .Type = ftString, .Length = 16},
        {.Key = "055", .Offset = 144, .Type = ftString, .Length = 16},
    };
    TLayout header(*this, AddImageBlock(0x0000, 2380), 0);
    header.List<TADSP>("ADSP", "Channel");
    header.List<TADSP>("ADSP2", "Voice");
    header.List<TETH>("ETH_0", "ETH0");
    header.List<TETH>("ETH_1", "ETH1");
    header.Rows(rows);
    AddSchemeId(header);
    BuildModems(header);

    TLayout table(*this, AddImageBlock(0x1000, 14800), 0);
    BuildDevices(table, 20);
    BuildLogicChannels(table, 20);

    TLayout tit(*this, AddImageBlock(0x8000, 600), 0);
    BuildApertures(tit, 50);
    BuildScales(tit, 50);
}

void THask1Doc_1d::BuildModems(TLayout& layout) { layout.List<TModem>("Modem1", "Параметры модема"); }

void THask1Doc_1d::BuildDevices(TLayout& layout, int count)
{
    AddNumbered(layout, devices_, BlockFactoryOf<THask1Device>(), count, "Устройство_%.2d");
}

void THask1Doc_1d::BuildLogicChannels(TLayout& layout, int count)
{
    AddNumbered(layout, logicChannels_, BlockFactoryOf<THask1Logic>(), count, "Логический_канал_%.2d");
}

void THask1Doc_1d::SetDefault(const char* key, int32_t value)
{
    if (auto* field = Find<TField>(key)) field->DefaultValue = value;
}

std::vector<std::string> THask1Doc_1d::GetPortNames() const
{
    return {"Channel", "", "ETH0", "ETH1", "ETH0 или ETH1"};
}

THask1Doc_1v::THask1Doc_1v() { ModelName = "Pelvar-42 С1-ТЧ и VOICE"; }

void THask1Doc_1v::Build()
{
    THask1Doc_1d::Build();
    SetDefault("026", 1);
    // The voice part of the modem is in use: it may differ from its defaults.
    if (auto* modem = Find<TFieldLst>("Modem1"))
        for (const char* key : {"011_10", "011_11", "300_03", "400_03", "300_Fstop1", "300_Fpass1", "300_Fstop2",
                                "300_Fpass2", "400_Fstop1", "400_Fpass1", "400_Fstop2", "400_Fpass2"})
            if (auto* field = modem->Find<TField>(key)) field->CheckDefault = false;
}

THask1Doc_2d::THask1Doc_2d() { ModelName = "Pelvar-42 2хС1-ТЧ"; }

void THask1Doc_2d::Build()
{
    THask1Doc_1d::Build();
    SetDefault("025", 1);
}

void THask1Doc_2d::BuildModems(TLayout& layout)
{
    // Made in the place of the single modem: the image is the same.
    layout.List<TModem1>("Modem1", "Параметры модема channel");
    layout.List<TModem2>("Modem2", "Параметры модема voice");
}

std::vector<std::string> THask1Doc_2d::GetPortNames() const
{
    return {"Channel", "Voice", "ETH0", "ETH1", "ETH0 или ETH1"};
}

THask1Doc_41::THask1Doc_41() { ModelName = "Pelvar-41"; }

std::vector<std::string> THask1Doc_41::GetPortNames() const { return {"Channel", "", "ETH0"}; }

THask1Doc_1v_43::THask1Doc_1v_43() { ModelName = "Pelvar-43 С1-ТЧ и VOICE"; }

std::vector<std::string> THask1Doc_1v_43::GetPortNames() const { return {"Channel", "", "ETH0"}; }

THask1Doc_2d_43::THask1Doc_2d_43() { ModelName = "Pelvar-43 2хС1-ТЧ"; }

std::vector<std::string> THask1Doc_2d_43::GetPortNames() const { return {"Channel", "Voice", "ETH0"}; }

std::unique_ptr<TZumo2Doc> MakeHask1Doc(int modelCode)
{
    switch (modelCode) {
    case 6: return MakeDocument<THask1Doc_1d>();
    case 8: return MakeDocument<THask1Doc_1v>();
    case 9: return MakeDocument<THask1Doc_2d>();
    case 10: return MakeDocument<THask1Doc_41>();
    case 11: return MakeDocument<THask1Doc_1v_43>();
    case 12: return MakeDocument<THask1Doc_2d_43>();
    default: return nullptr;
    }
}
