#include "model/uDevProtocols.h"

#include "model/uZumo_Classes.h"
#include "platform/Format.h"

#include <vector>

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

void TDevProtocolIEC::Build()
{
    TLayout l(*this);
    l.Field("noname_9", ftByte, 0, false);
    l.Bits(ftByte, {{"0102", 0, 1, 0, false}, {"0105", 1, 1, 1, false}, {"0103", 2, 1, 0, false},
                    {"0106", 6, 1, 0, false}});
    l.Field("0104", ftWord, 30, false);
    l.Field("noname_10", ftWord, 0, false);
    l.Field("0107", ftWord, 0, false);
    l.Field("0108", ftWord, 0, false);
    for (int n = 1; n <= 16; ++n) l.Field(Format("%.4d", 108 + n), ftWord, 0, false);
    l.Finish();
}

void TDevProtocolModBus::Build()
{
    TLayout l(*this);
    type_ = l.Field("0201", ftByte, 0, false);
    l.Field("noname_13", ftByte, 0, false);
    l.Field("0203", ftWord, 2000, false);
    l.Field("noname_15", ftWord, 0, false);
    l.Field("0206", ftWord, 0, false);
    l.Field("0207", ftByte, 0, false);
    tuAlgorithm_ = l.Field("0208", ftByte, 0, false);
    tsFunction_ = l.Field("0209", ftByte, 2, false);
    titFunction_ = l.Field("0210", ftByte, 4, false);
    l.Finish();
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
    TLayout l(*this);
    l.Field("3001", ftByte, 0, true);
    l.Finish();
}

void TDevProtocolTM800B::Build()
{
    TLayout l(*this);
    l.Skip(2);
    l.Field("4001", ftWord, 2000, false);
    l.Skip(2);
    l.Field("4006", ftWord, 0, false);
    l.Field("4007", ftByte, 0, false);
    l.Finish();
}

void TDevProtocolKompas::Build()
{
    TLayout l(*this);
    type_ = l.Field("5001", ftByte, 0, false);
    l.Bits(ftByte, {{"5002", 0, 1, 0, false}, {"5003", 1, 1, 0, false}});
    l.Field("5004", ftWord, 500, false);
    l.Skip(2);
    l.Field("0506", ftWord, 0, false);
    l.Field("0507", ftWord, 0, false);
    l.Field("0508", ftWord, 0, false);
    l.Field("0509", ftWord, 0, false);
    for (size_t i = 0; i < Route.size(); ++i)
        Route[i] = l.Field(Format("%.4d", 512 + static_cast<int>(i)), ftByte, 0, false);
    l.Field("TrigEvenLinkDown_Cmd", ftByte, 0, false);
    l.Field("TrigEvenLinkDown_Timeout", ftWord, 10, false);
    l.Field("TrigEvenLinkDown_RepeatCount", ftByte, 2, false);
    l.Finish();
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
    TLayout l(*this);
    l.Field("noname_18", ftLongWord, 0, false);
    l.Field("noname_19", ftWord, 0, false);
    l.Field("07006", ftWord, 0, false);
    l.Field("07007", ftByte, 0, false);
    l.Field("noname_20", ftByte, 0, false);
    // Each flag selects one value of the meter to read, in key order from bit 0 of
    // byte 10.
    l.Bits(ftByte, {{"0701", 0, 1, 0, false}, {"0702", 1, 1, 0, false}, {"0703", 2, 1, 0, false},
                    {"0704", 3, 1, 0, false}, {"0705", 4, 1, 0, false}, {"0706", 5, 1, 0, false},
                    {"0707", 6, 1, 0, false}, {"0708", 7, 1, 0, false}});
    l.Bits(ftByte, {{"0709", 0, 1, 0, false}, {"0710", 1, 1, 0, false}, {"0711", 2, 1, 0, false},
                    {"0712", 3, 1, 0, false}, {"0713", 4, 1, 0, false}, {"0714", 5, 1, 0, false},
                    {"0715", 6, 1, 0, false}, {"0716", 7, 1, 0, false}});
    l.Bits(ftByte, {{"0717", 0, 1, 0, false}, {"0718", 1, 1, 0, false}, {"0719", 2, 1, 0, false},
                    {"0720", 3, 1, 0, false}, {"0721", 4, 1, 0, false}, {"0722", 5, 1, 0, false},
                    {"0723", 6, 1, 0, false}, {"0724", 7, 1, 0, false}});
    l.Bits(ftByte, {{"0725", 0, 1, 0, false}, {"0726", 1, 1, 0, false}, {"0727", 2, 1, 0, false},
                    {"0728", 3, 1, 0, false}, {"0729", 4, 1, 0, false}, {"0730", 5, 1, 0, false},
                    {"0731", 6, 1, 0, false}, {"0732", 7, 1, 0, false}});
    l.Skip(4);
    l.Text("07pass", 8, "", false);
    l.Finish();
}

void TDevProtocolDCON::Build()
{
    TLayout l(*this);
    type_ = l.Field("0801", ftByte, 0, false);
    l.Bits(ftByte, {{"0802", 1, 1, 0, false}});
    rawTit_ = Find<TField>("0802");
    tuHold_ = l.Field("0803", ftWord, 2000, false);
    l.Skip(2);
    l.Field("0806", ftWord, 0, false);
    l.Field("0807", ftByte, 0, false);
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

namespace {

// The DCON block keeps the device's role field.
std::unique_ptr<TDevProtocol> MakeDCON(TMemoryBlock* block, int32_t offset, std::string name, TField* roleField)
{
    return MakeList<TDevProtocolDCON>(std::move(name), block, offset, roleField);
}

} // namespace

void TDevProtocolGranit::Build()
{
    // The TS description is unset when all its bytes are 0xFF, which Windows-1251
    // reads as "я".
    std::string unsetTs;
    for (int i = 0; i < 15; ++i) unsetTs += "я";

    TLayout l(*this);
    l.Field("0901", ftByte, 0, false);
    l.Skip(5);
    l.Field("0906", ftWord, 0, false);
    l.Field("0907", ftWord, 0, false);
    l.Field("0908", ftWord, 0, false);
    l.Field("0909", ftWord, 0, false);
    l.Field("verTS1", ftByte, 0, false);
    l.Text("TSDB1", 15, unsetTs, false);
    l.Field("TrigEvenLinkDown_Cmd", ftByte, 0, false);
    l.Field("TrigEvenLinkDown_Timeout", ftWord, 10, false);
    l.Field("TrigEvenLinkDown_RepeatCount", ftByte, 2, false);
    l.Field("BindTUGranit_CmdTU", ftByte, 0, false);
    l.Field("AdrServiceCmdGranit", ftByte, 0, false);
    l.Field("AFBServTU", ftByte, 1, false, 1, 15);
    l.Bits(ftByte, {{"ReqInvalidTS", 0, 1, 0, false}, {"ReqInvalidTIT", 1, 1, 0, false}});
    l.Field("PU_TU_ExecTimeout", ftWord, 5, false);
    l.Field("LinkDownCmdVAK", ftByte, 0, false);
    l.Field("ServicedPUTU", ftByte, 0, false);
    l.Field("SMeandrPeriod", ftWord, 0, false);
    l.Finish();
}

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

namespace {

// "<prefix>01" style keys: the prefix and each number of first..last in two digits.
std::vector<std::string> NumberedKeys(const char* prefix, int first, int last)
{
    std::vector<std::string> keys;
    for (int n = first; n <= last; ++n)
        keys.push_back(Format("%s%.2d", prefix, n));
    return keys;
}

// One-bit flags in the order of their keys from bit 0 of the running offset upward,
// filling containers of the given type one after the other; the offset grows by the
// containers begun.
void LayFlags(TFieldLst& list, TLayout& layout, uint16_t containerType, const std::vector<std::string>& keys,
              int32_t defaultValue)
{
    const int32_t containerSize = containerType == ftByte ? 1 : containerType == ftWord ? 2 : 4;
    const size_t perContainer = static_cast<size_t>(containerSize) * 8;
    for (size_t k = 0; k < keys.size(); ++k) {
        const int32_t offset = layout.Offset() + static_cast<int32_t>(k / perContainer) * containerSize;
        list.AddField(keys[k], Make<TBitFleld>(list.Block, offset, containerType,
                                               static_cast<uint8_t>(k % perContainer), uint8_t{1}, defaultValue,
                                               false));
    }
    layout.Skip(static_cast<int32_t>((keys.size() + perContainer - 1) / perContainer) * containerSize);
}

// The 10-byte head of the metering protocols: reserved space, the poll period and its
// unit. The reserved fields are named after the code and their offset.
void LayMeteringHead(TLayout& layout, int code)
{
    const std::string cc = Format("%.2d", code);
    layout.Field("noname_" + cc + "_0", ftLongWord, 0, false);
    layout.Field("noname_" + cc + "_4", ftWord, 0, false);
    layout.Field(cc + "006", ftWord, 0, false);
    layout.Field(cc + "007", ftByte, 0, false);
    layout.Field("noname_" + cc + "_9", ftByte, 0, false);
}

// The head of the relay protection blocks, up to their flags at byte 9.
void LayRelayProtectionHead(TLayout& layout)
{
    layout.Field("DevType", ftByte, 0, false);
    layout.Skip(5);
    layout.Field("PeriodM", ftWord, 0, false);
    layout.Field("PeriodUM", ftByte, 0, false);
}

} // namespace

void TDevProtocolMKT2::Build()
{
    TLayout layout(*this);
    layout.Field("noname_80", ftByte, 0, false);
    layout.Field("noname_81", ftByte, 0, false);
    layout.Field("noname_82", ftWord, 0, false);
    layout.Field("noname_83", ftWord, 0, false);
    LayFlags(*this, layout, ftWord, NumberedKeys("009_mkt2_", 1, 16), 0);
    LayFlags(*this, layout, ftWord, NumberedKeys("010_mkt2_", 17, 30), 0);
    layout.Field("011_mkt2_01", ftByte, 31, false);
    layout.Field("011_mkt2_02", ftByte, 0, false);
    layout.Finish();
}

void TDevProtocolMKT3::Build()
{
    TLayout layout(*this);
    layout.Field("1201", ftByte, 0, true);
    layout.Bits(ftByte, {{"1202", 0, 1, 0, false}, {"1204", 2, 1, 0, false}, {"1205", 3, 1, 0, false}});
    layout.Field("noname_86", ftWord, 0, false);
    layout.Field("noname_87", ftWord, 0, false);
    layout.Field("011_mkt3_01", ftByte, 0, false);
    layout.Field("011_mkt3_02", ftByte, 0, false);
    layout.Finish();
}

void TDevProtocolTM120::Build()
{
    TLayout layout(*this);
    layout.Field("BindTUTM120_CmdTU", ftByte, 0, false);
    layout.Field("AdrServiceCmdTM120", ftByte, 0, false);
    layout.Bits(ftByte, {{"ReqInvalidTIT", 0, 1, 0, false}});
    layout.Finish();
}

void TDevProtocolCE304::Build()
{
    TLayout layout(*this);
    LayMeteringHead(layout, 16);
    LayFlags(*this, layout, ftByte, NumberedKeys("16", 1, 33), 0);
    layout.Skip(3);
    layout.Text("16pass", 8, "", false);
    layout.Finish();
}

void TDevProtocolProton::Build()
{
    TLayout layout(*this);
    LayMeteringHead(layout, 17);
    layout.Finish();
}

void TDevProtocolTM512::Build()
{
    TLayout layout(*this);
    layout.Field("1801", ftByte, 0, true);
    layout.Bits(ftByte, {{"1802", 0, 1, 0, false},
                         {"1803", 1, 1, 0, false},
                         {"1804", 2, 1, 0, false},
                         {"1805", 3, 1, 0, false}});
    layout.Finish();
}

void TDevProtocolRPT80::Build()
{
    TLayout layout(*this);
    layout.Field("1901", ftByte, 0, true);
    layout.Bits(ftByte, {{"1902", 0, 1, 0, false}});
    layout.Skip(4);
    layout.Field("1910", ftWord, 0, false);
    layout.Finish();
}

void TDevProtocolANSI::Build()
{
    TLayout layout(*this);
    LayMeteringHead(layout, 21);
    LayFlags(*this, layout, ftByte, NumberedKeys("21", 1, 26), 0);
    LayFlags(*this, layout, ftWord, NumberedKeys("21", 33, 42), 0);
    layout.Finish();
}

void TDevProtocolUTM7::Build()
{
    TLayout layout(*this);
    layout.Field("noname_99", ftByte, 0, false);
    layout.Bits(ftByte, {{"2302", 0, 1, 0, false}});
    layout.Field("noname_100", ftWord, 0, false);
    layout.Field("noname_101", ftWord, 0, false);
    // Message n: bits 0..2 the address or group, bit 7 the kind (0 TS, 1 ТИТ).
    static const char* const prefixes[7] = {"009", "009", "010", "010", "011", "011", "012"};
    for (int n = 1; n <= 7; ++n) {
        const std::string key = Format("%s_utm7_%.2d_", prefixes[n - 1], n);
        AddField(key + "a", Make<TBitFleld>(Block, layout.Offset(), ftByte, uint8_t{0}, uint8_t{3}, 0, false));
        AddField(key + "t", Make<TBitFleld>(Block, layout.Offset(), ftByte, uint8_t{7}, uint8_t{1}, 0, false));
        layout.Skip(1);
    }
    layout.Field("012_utm7_08", ftByte, 0, false);
    layout.Finish();
}

void TDevProtocolSET::Build()
{
    TLayout layout(*this);
    LayMeteringHead(layout, 24);
    LayFlags(*this, layout, ftByte, NumberedKeys("24", 1, 32), 0);
    layout.Skip(4);
    layout.Text("24pass", 8, "", false);
    layout.Finish();
}

void TDevProtocolUTS8::Build()
{
    TLayout(*this).Finish();
}

void TDevProtocolMKT1::Build()
{
    TLayout layout(*this);
    layout.Field("noname_75", ftLongWord, 0, false);
    layout.Field("noname_76", ftWord, 0, false);
    LayFlags(*this, layout, ftWord, NumberedKeys("26_", 1, 10), 0);
    layout.Field("noname_77", ftWord, 0, false);
    layout.Field("2601", ftByte, 11, false);
    layout.Field("2602", ftByte, 0, false);
    layout.Finish();
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
    TLayout layout(*this);
    LayRelayProtectionHead(layout);
    LayFlags(*this, layout, ftByte,
             {"ParamIa", "ParamIb", "ParamIc", "ParamUab", "ParamUbc", "ParamUca", "ParamFreq", "ParamP",
              "ParamQ", "ParamS", "ParamCosf", "ParamTS_RPO", "ParamTS_RPV", "ParamTS_SIGN_Disable",
              "ParamTS_SIGN_Enable", "ParamTS_SIG_1MTZ", "ParamTS_SIG_2MTZ", "ParamTS_OZZ_Disable",
              "ParamTS_OZZ_SIGN"},
             1);
    layout.Field("VAK_StateTU1_On", ftWord, 0, false);
    layout.Field("VAK_StateTU1_Off", ftWord, 0, false);
    layout.Finish();
}

void TDevProtocolSirius::Build()
{
    TLayout layout(*this);
    LayRelayProtectionHead(layout);
    LayFlags(*this, layout, ftByte,
             {"ParamIa", "ParamIb", "ParamIc", "ParamUab", "ParamUbc", "ParamUca", "ParamFreq",
              "ParamTS_LedGuard", "ParamTS_RPV", "ParamTS_RPO", "ParamTS_SIG_1MTZ", "ParamTS_SIG_2MTZ",
              "ParamTS_OZZ", "ParamTS_SwitchState"},
             1);
    layout.Finish();
}

// ---------------------------------------------------------------------------------
// The table

namespace {

template <class T>
std::unique_ptr<TDevProtocol> MakeBlock(TMemoryBlock* block, int32_t offset, std::string name, TField*)
{
    return MakeList<T>(std::move(name), block, offset);
}

// By protocol index; none where no block class is registered.
const TDevProtocolFactory Factories[ProtocolCount] = {
    nullptr, // 0: Нет
    MakeBlock<TDevProtocolIEC>, // 1
    MakeBlock<TDevProtocolModBus>, // 2
    MakeBlock<TDevProtocolTM800A>, // 3
    MakeBlock<TDevProtocolTM800B>, // 4
    MakeBlock<TDevProtocolKompas>, // 5
    MakeBlock<TDevProtocolKompasPU>, // 6
    MakeBlock<TDevProtocolMercury>, // 7
    MakeDCON, // 8
    MakeBlock<TDevProtocolGranit>, // 9
    MakeBlock<TDevProtocolMKT2>, // 10: МКТ-2
    MakeBlock<TDevProtocolMKT3>, // 11: МКТ-3
    MakeBlock<TDevProtocolTM120>, // 12: ТМ 120
    MakeBlock<TDevProtocolCE304>, // 13: IEC 1107
    MakeBlock<TDevProtocolProton>, // 14: Протон-К
    MakeBlock<TDevProtocolTM512>, // 15: ТМ 512
    MakeBlock<TDevProtocolRPT80>, // 16: РПТ-80
    MakeBlock<TDevProtocolANSI>, // 17: ANSI C1218-21
    MakeBlock<TDevProtocolUTM7>, // 18: УТМ-7
    MakeBlock<TDevProtocolSET>, // 19: СЭТ-4ТМ
    MakeBlock<TDevProtocolUTS8>, // 20: УТС-8
    MakeBlock<TDevProtocolMKT1>, // 21: МКТ-1
    MakeBlock<TDevProtocolTM500>, // 22: ТМ 500
    MakeBlock<TDevProtocolTM51>, // 23: МК 51
    MakeBlock<TDevProtocolTM55>, // 24: МК 55
    MakeBlock<TDevProtocolTK113Shield>, // 25: ТК113 Щит
    MakeBlock<TDevProtocolOrion>, // 26: Орион-2
    MakeBlock<TDevProtocolSirius>, // 27: Сириус-2
    nullptr, // 28
};

} // namespace

TDevProtocolFactory DevProtocolFactory(int index)
{
    if (index < 1 || index >= ProtocolCount)
        return nullptr;
    return Factories[index];
}
