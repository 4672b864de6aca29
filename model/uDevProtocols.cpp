#include "model/uDevProtocols.h"

#include "model/uZumo_Classes.h"
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
    nullptr, // 10
    nullptr, // 11
    nullptr, // 12
    nullptr, // 13
    nullptr, // 14
    nullptr, // 15
    nullptr, // 16
    nullptr, // 17
    nullptr, // 18
    nullptr, // 19
    nullptr, // 20
    nullptr, // 21
    nullptr, // 22
    nullptr, // 23
    nullptr, // 24
    nullptr, // 25
    nullptr, // 26
    nullptr, // 27
    nullptr, // 28
};

} // namespace

TDevProtocolFactory DevProtocolFactory(int index)
{
    if (index < 1 || index >= ProtocolCount)
        return nullptr;
    return Factories[index];
}
