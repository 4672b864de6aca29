#include "configurator/rules/ModemRules.h"

#include "model/uHask1.h"
#include "platform/Format.h"

std::optional<TModemClass> ModemClassOf(const TFieldLst* list)
{
    // The two halves derive from TModem: most derived first.
    if (dynamic_cast<const TModem2*>(list)) return TModemClass::Modem2;
    if (dynamic_cast<const TModem1*>(list)) return TModemClass::Modem1;
    if (dynamic_cast<const TModem*>(list)) return TModemClass::Modem;
    return std::nullopt;
}

const char* ModemControlKey(std::string_view control, TModemClass modemClass)
{
    const TModemControl* c = FindModemControl(control);
    return c ? c->Keys[static_cast<size_t>(modemClass)] : nullptr;
}

TPickList OutputGainSteps()
{
    return {{"+6", 0}, {"+3", 1}, {"0", 2}, {"-3", 3}, {"-6", 4}, {"-9", 5}, {"-12", 6}, {"-15", 7}};
}

TPickList InputGainSteps()
{
    return {{"0", 0}, {"+6", 1}, {"+12", 2}, {"+18", 3}, {"+20", 4}, {"+26", 5}, {"+32", 6}, {"+38", 7}};
}

// ---------------------------------------------------------------------------------
// Filter records

namespace {

// By record (1 .. 4), then class (TModem, TModem1, TModem2).
const TFilterRecordKeys kRecordKeys[FilterRecordCount][ModemClassCount] = {
    {{"300", "speed2", "speed2", "mod2_coeff"}, {}, {}},
    {{"400", "speed2", "speed2", "demod2_coeff"}, {}, {}},
    {{"100", "100_01", "100_02", "mod_coeff"},
     {"100", "100_01", "100_02", "mod_coeff"},
     {"300", "300_01", "300_02", "mod2_coeff"}},
    {{"200", "200_01", "200_02", "demod_coeff"},
     {"200", "200_01", "200_02", "demod_coeff"},
     {"400", "400_01", "400_02", "demod2_coeff"}},
};

int ValueOf(const TField* field) { return field ? field->GetValue().ToInt32() : 0; }

} // namespace

TFilterRecordKeys FilterRecordKeys(int record, TModemClass modemClass)
{
    if (record < 1 || record > FilterRecordCount) return {};
    return kRecordKeys[record - 1][static_cast<size_t>(modemClass)];
}

bool TFilterRecord::Bound() const
{
    return Fstop1 && Fpass1 && Fpass2 && Fstop2 && Tone0 && Tone1 && Coefficients;
}

TFilterRecord BindFilterRecord(TFieldLst* modem, int record)
{
    TFilterRecord r;
    const std::optional<TModemClass> modemClass = ModemClassOf(modem);
    if (!modemClass) return r;
    const TFilterRecordKeys keys = FilterRecordKeys(record, *modemClass);
    if (!keys.Group) return r;
    const std::string group = keys.Group;
    r.Fstop1 = modem->Find<TField>(group + "_Fstop1");
    r.Fpass1 = modem->Find<TField>(group + "_Fpass1");
    r.Fpass2 = modem->Find<TField>(group + "_Fpass2");
    r.Fstop2 = modem->Find<TField>(group + "_Fstop2");
    r.Tone0 = modem->Find<TField>(keys.Tone0);
    r.Tone1 = modem->Find<TField>(keys.Tone1);
    r.Coefficients = modem->Find<TFieldLst>(keys.Coefficients);
    if (!r.Bound()) return {};
    FilterBandText(r);
    return r;
}

std::string FilterBandText(int fpass1, int fpass2)
{
    if (fpass1 == 0 && fpass2 == 0) return {};
    return platform::Format("%d - %d Гц", fpass1, fpass2);
}

void FilterBandText(TFilterRecord& record)
{
    record.BandText = record.Bound() ? FilterBandText(ValueOf(record.Fpass1), ValueOf(record.Fpass2)) : std::string();
}

void FillDesignParams(const TFilterRecord& record, int64_t speed, TFilterDesignParams& params)
{
    if (!record.Bound()) return;
    params.SpeedCode = SpeedCode(speed);
    params.TonesKnown = params.SpeedCode != 0;
    params.Fstop1 = static_cast<uint16_t>(ValueOf(record.Fstop1));
    params.Fpass1 = static_cast<uint16_t>(ValueOf(record.Fpass1));
    params.Fstop2 = static_cast<uint16_t>(ValueOf(record.Fstop2));
    params.Fpass2 = static_cast<uint16_t>(ValueOf(record.Fpass2));
    params.Tone0 = static_cast<uint16_t>(ValueOf(record.Tone0));
    params.Tone1 = static_cast<uint16_t>(ValueOf(record.Tone1));
    for (int i = 0; i < FilterTaps; ++i) {
        auto* tap = dynamic_cast<TField*>(record.Coefficients->FieldByIndex(i));
        params.Coefficients[static_cast<size_t>(i)] = static_cast<uint16_t>(ValueOf(tap));
    }
    for (uint16_t* weight : {&params.Wstop1, &params.Wpass, &params.Wstop2})
        if (*weight == 0) *weight = 1;
    params.BandGiven = params.Fstop1 != 0 || params.Fpass1 != 0 || params.Fpass2 != 0 || params.Fstop2 != 0;
}

void StoreDesignParams(const TFilterDesignParams& params, TFilterRecord& record)
{
    if (!record.Bound()) return;
    for (int i = 0; i < FilterTaps; ++i)
        if (auto* tap = dynamic_cast<TField*>(record.Coefficients->FieldByIndex(i)))
            tap->SetValue(Variant(int32_t{params.Coefficients[static_cast<size_t>(i)]}));
    record.Fstop1->SetValue(Variant(int32_t{params.Fstop1}));
    record.Fpass1->SetValue(Variant(int32_t{params.Fpass1}));
    record.Fstop2->SetValue(Variant(int32_t{params.Fstop2}));
    record.Fpass2->SetValue(Variant(int32_t{params.Fpass2}));
    FilterBandText(record);
}
