#include "model/uZumo_Classes.h"

// ---------------------------------------------------------------------------------
// Ports and small records

namespace {

// The fields of a record, direct children only.
template <class F>
void ForEachField(TFieldLst& list, F f)
{
    for (int i = 0; i < list.FieldCount(); ++i)
        if (auto* field = dynamic_cast<TField*>(list.FieldByIndex(i))) f(list.FieldName(i), *field);
}

} // namespace

void TUART::Build()
{
    Layout();
    MarkFixedFields();
}

void TUART::Layout()
{
    TLayout l(*this);
    l.Bits(ftWord, {{"016", 0, 3, 0, false}, {"018", 3, 1, duplexDefault_, false}});
    l.Bits(ftWord, {{"051", 0, 1, 0, false},
                    {"052", 1, 1, 0, false},
                    {"053", 2, 1, 0, false},
                    {"057", 3, 1, 0, false},
                    {"058", 4, 1, 0, false},
                    {"059", 5, 1, 0, false},
                    {"flag_invDE", 6, 1, 0, false}});
    l.Field("055", ftWord, uint16_t{0}, false);
    l.Field("056", ftWord, uint16_t{0}, false);
    l.Finish();
}

void TUART::MarkFixedFields()
{
    ForEachField(*this, [](const std::string&, TField& f) { f.CheckDefault = true; });
}

bool TUART::IsSynchronous() const
{
    const auto* mode = Find<TField>("016");
    return mode && mode->GetValue().Equals(int32_t{1});
}

void TPortCOM::MarkFixedFields()
{
    ForEachField(*this, [](const std::string& key, TField& f) { f.CheckDefault = CompareKeys(key, "053") == 0; });
}

void TPortCOM_XPORT::Layout()
{
    TUART::Layout();
    // Shares the container of "016" at offset 0; the record keeps its size.
    AddField("is_xport", Make<TBitFleld>(Block, 0, ftWord, uint8_t{4}, uint8_t{1}, 1, true));
}

void TModemPort::Build()
{
    TPortCOM::Build();
    if (auto* mode = Find<TField>("016")) {
        mode->DefaultValue = int32_t{1};
        mode->SetValue(int32_t{1});
    }
}

void TScaleTIT::Build()
{
    TLayout l(*this);
    l.Field("0001", ftSingle, 1.0, false);
    l.Field("0002", ftSingle, 0.0, false);
    l.Finish();
}

void TAppertureTIT::Build()
{
    TLayout l(*this);
    l.Field("0001", ftSingle, 0.0, false);
    l.Finish();
}

void TParamTU::Build()
{
    TLayout l(*this);
    l.Field("type", ftByte, uint8_t{0}, false);
    l.Bits(ftByte, {{"select_on", 0, 4, 0, false}, {"select_off", 4, 4, 0, false}});
    l.Bits(ftByte, {{"execute_on", 0, 4, 0, false}, {"execute_off", 4, 4, 0, false}});
    l.Finish();
}

void TInverseTS::Build()
{
    TLayout l(*this);
    l.Bits(ftByte, {{"1", 7, 1, 0, true},
                    {"2", 6, 1, 0, true},
                    {"3", 5, 1, 0, true},
                    {"4", 4, 1, 0, true},
                    {"5", 3, 1, 0, true},
                    {"6", 2, 1, 0, true},
                    {"7", 1, 1, 0, true},
                    {"8", 0, 1, 0, true}});
    l.Finish();
}

namespace {

// The 20-byte channel of the Zumo 7 boards; returns its "VAC".
TField* LayoutZumo7Channel(TFieldLst& list)
{
    TLayout l(list);
    l.Field("start_adr", ftWord, uint16_t{1}, false);
    l.Field("count", ftWord, uint16_t{0}, false);
    TField* vac = l.Field("VAC", ftLongWord, uint32_t{0}, false);
    l.Field("Chtype", ftByte, uint8_t{255}, false);
    l.Field("ChFrm", ftByte, uint8_t{255}, false);
    l.Field("shared_delay", ftWord, uint16_t{0}, false);
    l.Skip(8);
    l.Finish();
    return vac;
}

} // namespace

void TInternalChannel::Build() { VAC = LayoutZumo7Channel(*this); }

void TDIO_Channel::Build() { VAC = LayoutZumo7Channel(*this); }

// ---------------------------------------------------------------------------------
// Logical channels

// ---------------------------------------------------------------------------------
// Devices
