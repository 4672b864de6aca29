#include "model/uDevProtocols.h"

#include "platform/Format.h"

using platform::Format;

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 1 to 9

namespace {

bool Holds(const TField* field, int32_t value) { return field && field->GetValue().ToInt32() == value; }

void SetCheckDefault(TField* field, bool flag)
{
    if (field) field->CheckDefault = flag;
}

} // namespace

// The tables give each field's offset from the start of the protocol area.

void TDevProtocolIEC::Build()
{
    static const TLayoutRow rows[] = {
        {"noname_9", 0, ftByte},
        {"0102", 1, ftByte, 0, false, {0, 1}},
        {"0105", 1, ftByte, 1, false, {1, 1}},
        {"0103", 1, ftByte, 0, false, {2, 1}},
        {"0106", 1, ftByte, 0, false, {6, 1}},
        {"0104", 2, ftWord, 30},
        {"noname_10", 4, ftWord},
        {"0107", 6, ftWord},
        {"0108", 8, ftWord},
        {.Key = "%.4d", .Offset = 10, .Type = ftWord, .First = 109, .Count = 16}, // "0109" .. "0124"
    };
    LayOutTable(*this, rows);
}

void TDevProtocolModBus::Build()
{
    static const TLayoutRow rows[] = {
        {"0201", 0, ftByte},
        {"noname_13", 1, ftByte},
        {"0203", 2, ftWord, 2000},
        {"noname_15", 4, ftWord},
        {"0206", 6, ftWord},
        {"0207", 8, ftByte},
        {"0208", 9, ftByte},
        {"0209", 10, ftByte, 2},
        {"0210", 11, ftByte, 4},
    };
    LayOutTable(*this, rows);
    type_ = Find<TField>("0201");
    tuAlgorithm_ = Find<TField>("0208");
    tsFunction_ = Find<TField>("0209");
    titFunction_ = Find<TField>("0210");
}

void TDevProtocolModBus::MarkUnusedFields()
{
    const bool fixedFunctions = Holds(type_, 10);
    SetCheckDefault(tuAlgorithm_, !fixedFunctions);
    SetCheckDefault(tsFunction_, fixedFunctions);
    SetCheckDefault(titFunction_, fixedFunctions);
}

void TDevProtocolTM800A::Build()
{
    static const TLayoutRow rows[] = {
        {"3001", 0, ftByte, 0, true},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolTM800B::Build()
{
    static const TLayoutRow rows[] = {
        {"4001", 2, ftWord, 2000},
        {"4006", 6, ftWord},
        {"4007", 8, ftByte},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolKompas::Build()
{
    static const TLayoutRow rows[] = {
        {"5001", 0, ftByte},
        {"5002", 1, ftByte, 0, false, {0, 1}},
        {"5003", 1, ftByte, 0, false, {1, 1}},
        {"5004", 2, ftWord, 500},
        {"0506", 6, ftWord},
        {"0507", 8, ftWord},
        {"0508", 10, ftWord},
        {"0509", 12, ftWord},
        {.Key = "%.4d", .Offset = 14, .Type = ftByte, .First = 512, .Count = 6}, // the route, "0512" .. "0517"
        {"TrigEvenLinkDown_Cmd", 20, ftByte},
        {"TrigEvenLinkDown_Timeout", 21, ftWord, 10},
        {"TrigEvenLinkDown_RepeatCount", 23, ftByte, 2},
    };
    LayOutTable(*this, rows);
    type_ = Find<TField>("5001");
    for (size_t i = 0; i < Route.size(); ++i) Route[i] = Find<TField>(Format("%.4d", 512 + static_cast<int>(i)));
}

void TDevProtocolKompas::MarkUnusedFields()
{
    const bool routed = Holds(type_, 1);
    for (size_t i = 0; i < 3; ++i) SetCheckDefault(Route[i], !routed);

    // The route takes the intermediate points, the direction and the address: the
    // byte of "0513" + k lies past its end when k >= count + 2.
    const int32_t count = Route[0] ? Route[0]->GetValue().ToInt32() : 0;
    for (size_t i = 3; i < Route.size(); ++i) {
        const int32_t k = static_cast<int32_t>(i) - 1;
        SetCheckDefault(Route[i], k >= count + 2);
    }
}

void TDevProtocolKompasPU::Build()
{
    TLayout l(*this);
    l.Skip(56);
    l.Finish();
}

void TDevProtocolMercury::Build()
{
    // Each flag selects one value of the meter to read, in key order from bit 0 of
    // byte 10.
    static const TLayoutRow rows[] = {
        {"noname_18", 0, ftLongWord},
        {"noname_19", 4, ftWord},
        {"07006", 6, ftWord},
        {"07007", 8, ftByte},
        {"noname_20", 9, ftByte},
        {.Key = "%.4d", .Offset = 10, .Type = ftByte, .Bits = {0, 1}, .First = 701, .Count = 32},
        {.Key = "07pass", .Offset = 18, .Type = ftString, .Length = 8},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolDCON::Build()
{
    static const TLayoutRow rows[] = {
        {"0801", 0, ftByte},
        {"0802", 1, ftByte, 0, false, {1, 1}},
        {"0803", 2, ftWord, 2000},
        {"0806", 6, ftWord},
        {"0807", 8, ftByte},
    };
    TLayout l(*this);
    l.Rows(rows);
    type_ = Find<TField>("0801");
    rawTit_ = Find<TField>("0802");
    tuHold_ = Find<TField>("0803");
    l.Skip(1);
    paramTU_.clear();
    for (int i = 0; i < OutputCount; ++i)
        if (TParamTU* map = l.List<TParamTU>(Format("ParamTU%.2d", i), Format("Канал %.2d", i + 1)))
            paramTU_.push_back(map);
    l.Finish();
}

void TDevProtocolDCON::MarkUnusedFields()
{
    const bool pu = Holds(roleField_, 1);
    SetCheckDefault(rawTit_, !pu && !Holds(type_, 1));
    SetCheckDefault(tuHold_, !pu && !Holds(type_, 2));
}

TParamTU* TDevProtocolDCON::ParamTUByIndex(int index) const
{
    if (index < 0 || index >= ParamTUCount()) return nullptr;
    return paramTU_[static_cast<size_t>(index)];
}

void TParamTU::Build()
{
    static const TLayoutRow rows[] = {
        {"type", 0, ftByte},
        {"select_on", 1, ftByte, 0, false, {0, 4}},
        {"select_off", 1, ftByte, 0, false, {4, 4}},
        {"execute_on", 2, ftByte, 0, false, {0, 4}},
        {"execute_off", 2, ftByte, 0, false, {4, 4}},
    };
    LayOutTable(*this, rows);
}

namespace {

// The DCON block keeps the device's role field.
std::unique_ptr<TDevProtocol> MakeDCON(TMemoryBlock* block, int32_t offset, std::string name, TField* roleField)
{
    return MakeList<TDevProtocolDCON>(std::move(name), block, offset, roleField);
}

} // namespace

void TDevProtocolGranit::Build()
{
    static const TLayoutRow rows[] = {
        {"0901", 0, ftByte},
        {"0906", 6, ftWord},
        {"0907", 8, ftWord},
        {"0908", 10, ftWord},
        {"0909", 12, ftWord},
        {"verTS1", 14, ftByte},
        // Unset when all its bytes are 0xFF, which Windows-1251 reads as "я".
        {.Key = "TSDB1", .Offset = 15, .Type = ftString, .Length = 15, .Text = "яяяяяяяяяяяяяяя"},
        {"TrigEvenLinkDown_Cmd", 30, ftByte},
        {"TrigEvenLinkDown_Timeout", 31, ftWord, 10},
        {"TrigEvenLinkDown_RepeatCount", 33, ftByte, 2},
        {"BindTUGranit_CmdTU", 34, ftByte},
        {"AdrServiceCmdGranit", 35, ftByte},
        {.Key = "AFBServTU", .Offset = 36, .Type = ftByte, .Default = 1, .MinValue = 1, .MaxValue = 15},
        {"ReqInvalidTS", 37, ftByte, 0, false, {0, 1}},
        {"ReqInvalidTIT", 37, ftByte, 0, false, {1, 1}},
        {"PU_TU_ExecTimeout", 38, ftWord, 5},
        {"LinkDownCmdVAK", 40, ftByte},
        {"ServicedPUTU", 41, ftByte},
        {"SMeandrPeriod", 42, ftWord},
    };
    LayOutTable(*this, rows);
}

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

namespace {

// A metering block: the 10-byte head that the metering protocols share, then the
// block's own rows. The head holds reserved space, the poll period and its unit; its
// keys begin with the protocol code, and the reserved fields are named after the code
// and their offset.
void LayOutMeteringBlock(TFieldLst& block, int code, std::span<const TLayoutRow> rows)
{
    const std::string cc = Format("%.2d", code);
    TLayout layout(block);
    layout.Field("noname_" + cc + "_0", ftLongWord, 0, false);
    layout.Field("noname_" + cc + "_4", ftWord, 0, false);
    layout.Field(cc + "006", ftWord, 0, false);
    layout.Field(cc + "007", ftByte, 0, false);
    layout.Field("noname_" + cc + "_9", ftByte, 0, false);
    layout.Rows(rows);
    layout.Finish();
}

// The head of the relay protection blocks and the flags both of them begin with; the
// flags are set by default (the value is read).
const TLayoutRow RelayProtectionHead[] = {
    {"DevType", 0, ftByte},
    {"PeriodM", 6, ftWord},
    {"PeriodUM", 8, ftByte},
    {"ParamIa", 9, ftByte, 1, false, {0, 1}},
    {"ParamIb", 9, ftByte, 1, false, {1, 1}},
    {"ParamIc", 9, ftByte, 1, false, {2, 1}},
    {"ParamUab", 9, ftByte, 1, false, {3, 1}},
    {"ParamUbc", 9, ftByte, 1, false, {4, 1}},
    {"ParamUca", 9, ftByte, 1, false, {5, 1}},
    {"ParamFreq", 9, ftByte, 1, false, {6, 1}},
};

} // namespace

void TDevProtocolMKT2::Build()
{
    static const TLayoutRow rows[] = {
        {"noname_80", 0, ftByte},
        {"noname_81", 1, ftByte},
        {"noname_82", 2, ftWord},
        {"noname_83", 4, ftWord},
        {.Key = "009_mkt2_%.2d", .Offset = 6, .Type = ftWord, .Bits = {0, 1}, .First = 1, .Count = 16},
        {.Key = "010_mkt2_%.2d", .Offset = 8, .Type = ftWord, .Bits = {0, 1}, .First = 17, .Count = 14},
        {"011_mkt2_01", 10, ftByte, 31},
        {"011_mkt2_02", 11, ftByte},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolMKT3::Build()
{
    static const TLayoutRow rows[] = {
        {"1201", 0, ftByte, 0, true},
        {"1202", 1, ftByte, 0, false, {0, 1}},
        {"1204", 1, ftByte, 0, false, {2, 1}},
        {"1205", 1, ftByte, 0, false, {3, 1}},
        {"noname_86", 2, ftWord},
        {"noname_87", 4, ftWord},
        {"011_mkt3_01", 6, ftByte},
        {"011_mkt3_02", 7, ftByte},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolTM120::Build()
{
    static const TLayoutRow rows[] = {
        {"BindTUTM120_CmdTU", 0, ftByte},
        {"AdrServiceCmdTM120", 1, ftByte},
        {"ReqInvalidTIT", 2, ftByte, 0, false, {0, 1}},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolCE304::Build()
{
    static const TLayoutRow rows[] = {
        {.Key = "%.4d", .Offset = 10, .Type = ftByte, .Bits = {0, 1}, .First = 1601, .Count = 33},
        {.Key = "16pass", .Offset = 18, .Type = ftString, .Length = 8},
    };
    LayOutMeteringBlock(*this, 16, rows);
}

void TDevProtocolProton::Build()
{
    LayOutMeteringBlock(*this, 17, {});
}

void TDevProtocolTM512::Build()
{
    static const TLayoutRow rows[] = {
        {"1801", 0, ftByte, 0, true},
        {"1802", 1, ftByte, 0, false, {0, 1}},
        {"1803", 1, ftByte, 0, false, {1, 1}},
        {"1804", 1, ftByte, 0, false, {2, 1}},
        {"1805", 1, ftByte, 0, false, {3, 1}},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolRPT80::Build()
{
    static const TLayoutRow rows[] = {
        {"1901", 0, ftByte, 0, true},
        {"1902", 1, ftByte, 0, false, {0, 1}},
        {"1910", 6, ftWord},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolANSI::Build()
{
    static const TLayoutRow rows[] = {
        {.Key = "%.4d", .Offset = 10, .Type = ftByte, .Bits = {0, 1}, .First = 2101, .Count = 26},
        {.Key = "%.4d", .Offset = 14, .Type = ftWord, .Bits = {0, 1}, .First = 2133, .Count = 10},
    };
    LayOutMeteringBlock(*this, 21, rows);
}

void TDevProtocolUTM7::Build()
{
    // Message n lies in byte 5 + n: bits 0..2 the address or group, bit 7 the kind
    // (0 TS, 1 ТИТ).
    static const TLayoutRow rows[] = {
        {"noname_99", 0, ftByte},
        {"2302", 1, ftByte, 0, false, {0, 1}},
        {"noname_100", 2, ftWord},
        {"noname_101", 4, ftWord},
        {"009_utm7_01_a", 6, ftByte, 0, false, {0, 3}},
        {"009_utm7_01_t", 6, ftByte, 0, false, {7, 1}},
        {"009_utm7_02_a", 7, ftByte, 0, false, {0, 3}},
        {"009_utm7_02_t", 7, ftByte, 0, false, {7, 1}},
        {"010_utm7_03_a", 8, ftByte, 0, false, {0, 3}},
        {"010_utm7_03_t", 8, ftByte, 0, false, {7, 1}},
        {"010_utm7_04_a", 9, ftByte, 0, false, {0, 3}},
        {"010_utm7_04_t", 9, ftByte, 0, false, {7, 1}},
        {"011_utm7_05_a", 10, ftByte, 0, false, {0, 3}},
        {"011_utm7_05_t", 10, ftByte, 0, false, {7, 1}},
        {"011_utm7_06_a", 11, ftByte, 0, false, {0, 3}},
        {"011_utm7_06_t", 11, ftByte, 0, false, {7, 1}},
        {"012_utm7_07_a", 12, ftByte, 0, false, {0, 3}},
        {"012_utm7_07_t", 12, ftByte, 0, false, {7, 1}},
        {"012_utm7_08", 13, ftByte},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolSET::Build()
{
    static const TLayoutRow rows[] = {
        {.Key = "%.4d", .Offset = 10, .Type = ftByte, .Bits = {0, 1}, .First = 2401, .Count = 32},
        {.Key = "24pass", .Offset = 18, .Type = ftString, .Length = 8},
    };
    LayOutMeteringBlock(*this, 24, rows);
}

void TDevProtocolUTS8::Build()
{
    TLayout(*this).Finish();
}

void TDevProtocolMKT1::Build()
{
    static const TLayoutRow rows[] = {
        {"noname_75", 0, ftLongWord},
        {"noname_76", 4, ftWord},
        {.Key = "26_%.2d", .Offset = 6, .Type = ftWord, .Bits = {0, 1}, .First = 1, .Count = 10},
        {"noname_77", 8, ftWord},
        {"2601", 10, ftByte, 11},
        {"2602", 11, ftByte},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolMKT1::MarkUnusedFields()
{
    const bool elevenWords = Holds(Find<TField>("2601"), 11);
    for (int n = 6; n <= 10; ++n) SetCheckDefault(Find<TField>(Format("26_%.2d", n)), !elevenWords);
}

void TDevProtocolTK113Shield::Build()
{
    TLayout(*this).Finish();
}

void TDevProtocolOrion::Build()
{
    static const TLayoutRow rows[] = {
        {"ParamP", 9, ftByte, 1, false, {7, 1}},
        {"ParamQ", 10, ftByte, 1, false, {0, 1}},
        {"ParamS", 10, ftByte, 1, false, {1, 1}},
        {"ParamCosf", 10, ftByte, 1, false, {2, 1}},
        {"ParamTS_RPO", 10, ftByte, 1, false, {3, 1}},
        {"ParamTS_RPV", 10, ftByte, 1, false, {4, 1}},
        {"ParamTS_SIGN_Disable", 10, ftByte, 1, false, {5, 1}},
        {"ParamTS_SIGN_Enable", 10, ftByte, 1, false, {6, 1}},
        {"ParamTS_SIG_1MTZ", 10, ftByte, 1, false, {7, 1}},
        {"ParamTS_SIG_2MTZ", 11, ftByte, 1, false, {0, 1}},
        {"ParamTS_OZZ_Disable", 11, ftByte, 1, false, {1, 1}},
        {"ParamTS_OZZ_SIGN", 11, ftByte, 1, false, {2, 1}},
        {"VAK_StateTU1_On", 12, ftWord},
        {"VAK_StateTU1_Off", 14, ftWord},
    };
    TLayout l(*this);
    l.Rows(RelayProtectionHead);
    l.Rows(rows);
    l.Finish();
}

void TDevProtocolSirius::Build()
{
    static const TLayoutRow rows[] = {
        {"ParamTS_LedGuard", 9, ftByte, 1, false, {7, 1}},
        {"ParamTS_RPV", 10, ftByte, 1, false, {0, 1}},
        {"ParamTS_RPO", 10, ftByte, 1, false, {1, 1}},
        {"ParamTS_SIG_1MTZ", 10, ftByte, 1, false, {2, 1}},
        {"ParamTS_SIG_2MTZ", 10, ftByte, 1, false, {3, 1}},
        {"ParamTS_OZZ", 10, ftByte, 1, false, {4, 1}},
        {"ParamTS_SwitchState", 10, ftByte, 1, false, {5, 1}},
    };
    TLayout l(*this);
    l.Rows(RelayProtectionHead);
    l.Rows(rows);
    l.Finish();
}

// ---------------------------------------------------------------------------------
// Siemens Symap

void TSiemensRegister::Build()
{
    // The mask words: the bits of word w under its stem and the bit number.
    static const TLayoutRow rows[] = {
        {"DevType", 0, ftByte, 6},
        {"Rez1", 1, ftByte},
        {.Key = "SRegAddr%.2d", .Offset = 2, .Type = ftWord, .First = 0, .Count = 16},
        {.Key = "SymapInput%.2d", .Offset = 34, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "SymapOutput%.2d", .Offset = 36, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD5_DI_ExtBoard_WORD1_%.2d", .Offset = 38, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD5_DI_ExtBoard_WORD2_%.2d", .Offset = 40, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD5_DI_ExtBoard_WORD3_%.2d", .Offset = 42, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD5_DQ_ExtBoard_WORD1_%.2d", .Offset = 44, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD5_DQ_ExtBoard_WORD2_%.2d", .Offset = 46, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD25_Alarm1_Status_%.2d", .Offset = 48, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD25_Alarm2_Status_%.2d", .Offset = 50, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD25_Alarm3_Status_%.2d", .Offset = 52, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD25_Alarm4_Status_%.2d", .Offset = 54, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "DP_MD25_Alarm5_Status_%.2d", .Offset = 56, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "PLC_Event_W1_%.2d", .Offset = 58, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "PLC_Alarm_W1_%.2d", .Offset = 60, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "PLC_Alarm_W2_%.2d", .Offset = 62, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
        {.Key = "PLC_Alarm_W3_%.2d", .Offset = 64, .Type = ftWord, .Default = 1, .Bits = {0, 1}, .Count = 16},
    };
    LayOutTable(*this, rows);
}

void TDevProtocolSiemensSymap::Build()
{
    static const TLayoutRow rows[] = {
        {"DevType_rez", 0, ftByte, 6},
        {"PeriodM", 6, ftWord},  // poll period
        {"PeriodUM", 8, ftByte}, // its unit
        {.Key = "SRegisterEnabled%.2d", .Offset = 9, .Type = ftWord, .Bits = {0, 1}, .Count = Registers},
    };
    TLayout l(*this);
    l.Rows(rows);
    l.Skip(70 - l.Offset()); // reserved
    for (int n = 0; n < Registers; ++n)
        if (auto* descriptor = l.List<TSiemensRegister>(Format("SiemensRegister%.2d", n),
                                                        Format("Siemens register %.2d", n + 1)))
            registers_.push_back(descriptor);
    l.Finish();
}

TSiemensRegister* TDevProtocolSiemensSymap::RegisterByIndex(int index) const
{
    return index >= 0 && index < RegisterCount() ? registers_[static_cast<size_t>(index)] : nullptr;
}

// ---------------------------------------------------------------------------------
// The table

namespace {

template <class T>
std::unique_ptr<TDevProtocol> MakeBlock(TMemoryBlock* block, int32_t offset, std::string name, TField*)
{
    return MakeList<T>(std::move(name), block, offset);
}

// By protocol index: the block class's factory and the area its block needs.
struct TProtocolEntry {
    TDevProtocolFactory Make;
    int32_t AreaSize;
};

constexpr int32_t Plain = 70;

const TProtocolEntry Protocols[ProtocolCount] = {
    {nullptr, 0}, // 0: Нет
    {MakeBlock<TDevProtocolIEC>, Plain}, // 1
    {MakeBlock<TDevProtocolModBus>, Plain}, // 2
    {MakeBlock<TDevProtocolTM800A>, Plain}, // 3
    {MakeBlock<TDevProtocolTM800B>, Plain}, // 4
    {MakeBlock<TDevProtocolKompas>, Plain}, // 5
    {MakeBlock<TDevProtocolKompasPU>, Plain}, // 6
    {MakeBlock<TDevProtocolMercury>, Plain}, // 7
    {MakeDCON, Plain}, // 8
    {MakeBlock<TDevProtocolGranit>, Plain}, // 9
    {MakeBlock<TDevProtocolMKT2>, Plain}, // 10: МКТ-2
    {MakeBlock<TDevProtocolMKT3>, Plain}, // 11: МКТ-3
    {MakeBlock<TDevProtocolTM120>, Plain}, // 12: ТМ 120
    {MakeBlock<TDevProtocolCE304>, Plain}, // 13: IEC 1107
    {MakeBlock<TDevProtocolProton>, Plain}, // 14: Протон-К
    {MakeBlock<TDevProtocolTM512>, Plain}, // 15: ТМ 512
    {MakeBlock<TDevProtocolRPT80>, Plain}, // 16: РПТ-80
    {MakeBlock<TDevProtocolANSI>, Plain}, // 17: ANSI C1218-21
    {MakeBlock<TDevProtocolUTM7>, Plain}, // 18: УТМ-7
    {MakeBlock<TDevProtocolSET>, Plain}, // 19: СЭТ-4ТМ
    {MakeBlock<TDevProtocolUTS8>, Plain}, // 20: УТС-8
    {MakeBlock<TDevProtocolMKT1>, Plain}, // 21: МКТ-1
    {MakeBlock<TDevProtocolTM500>, Plain}, // 22: ТМ 500
    {MakeBlock<TDevProtocolTM51>, Plain}, // 23: МК 51
    {MakeBlock<TDevProtocolTM55>, Plain}, // 24: МК 55
    {MakeBlock<TDevProtocolTK113Shield>, Plain}, // 25: ТК113 Щит
    {MakeBlock<TDevProtocolOrion>, Plain}, // 26: Орион-2
    {MakeBlock<TDevProtocolSirius>, Plain}, // 27: Сириус-2
    {MakeBlock<TDevProtocolSiemensSymap>, TDevProtocolSiemensSymap::AreaSize}, // 28: Siemens Symap
};

} // namespace

TDevProtocolFactory DevProtocolFactory(int index)
{
    return index >= 1 && index < ProtocolCount ? Protocols[index].Make : nullptr;
}

int32_t DevProtocolAreaSize(int index)
{
    return index >= 1 && index < ProtocolCount ? Protocols[index].AreaSize : 0;
}
