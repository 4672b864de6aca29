#include "model/uDevProtocols.h"

#include "platform/Format.h"

#include <vector>

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 1 to 9

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

namespace {

// "<prefix>01" style keys: the prefix and each number of first..last in two digits.
std::vector<std::string> NumberedKeys(const char* prefix, int first, int last)
{
    std::vector<std::string> keys;
    for (int n = first; n <= last; ++n)
        keys.push_back(platform::Format("%s%.2d", prefix, n));
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
    const std::string cc = platform::Format("%.2d", code);
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
        const std::string key = platform::Format("%s_utm7_%.2d_", prefixes[n - 1], n);
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
    const TField* words = Find<TField>("2601");
    const bool elevenWords = words && words->GetValue().ToInt32() == 11;
    for (int n = 6; n <= 10; ++n)
        if (auto* kind = Find<TField>(platform::Format("26_%.2d", n)))
            kind->CheckDefault = !elevenWords;
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
    nullptr, // 1
    nullptr, // 2
    nullptr, // 3
    nullptr, // 4
    nullptr, // 5
    nullptr, // 6
    nullptr, // 7
    nullptr, // 8
    nullptr, // 9
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
