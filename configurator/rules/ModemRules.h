#pragma once

#include "configurator/rules/Filter.h"
#include "model/uDocument.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What the modem page decides without widgets: which field each of its controls edits
// on each modem class, its four filter records, the gain step lists and the band text.

// The modem lists a modem page edits: TModem, TModem1, TModem2 (model/uHask1.h).
enum class TModemClass { Modem, Modem1, Modem2 };
inline constexpr int ModemClassCount = 3;

// The class of a modem list; none for any other list.
std::optional<TModemClass> ModemClassOf(const TFieldLst* list);

// A control of the modem page: the key it binds on each modem class (none: it stays
// unbound there), its caption and unit.
struct TModemControl {
    const char* Control;
    std::array<const char*, ModemClassCount> Keys; // TModem, TModem1, TModem2
    const char* Caption;
    const char* Unit = nullptr;
};

// The page's bound controls. On TModem2 the transit controls ed033, ed034, cb300_04 and
// cb400_04 stay unbound: their keys are the modulator's and demodulator's there, which
// ed100_3, cb100_04 and cb200_04 bind, and their group is not shown on that document.
inline constexpr TModemControl ModemControls[] = {
    {"edSpeed", {"speed", "speed", "speed2"}, "Скорость", "Бод"},
    {"ch000", {"001_00", "000", "000"}, "Выдача осциллограмм"},
    {"ch001", {"001_01", "001", "001"}, "Выдача спектра"},
    {"ch002", {"001_02", "002", "002"}, "Непрерывное осциллографирование"},
    {"ch003", {"001_03", "003", "003"}, "Выдача уровня сигнала"},
    {"ch004", {"001_04", "004", "004"}, "Выдача гистограмм"},
    {"ch005", {"001_05", "005", "005"}, "Выдача данных"},
    {"ch006", {"001_06", "006", "006"}, "Подтверждение приёма"},
    {"ch010", {"011_10", "010", "010"}, "CH <-- V"},
    {"ch011", {"011_11", "011", "011"}, "CH --> V"},
    {"ed032", {"002", "032", "032"}, "Пороговый уровень речи", "дБ"},
    {"ed033", {"300_03", nullptr, nullptr}, "Усиление ТК", "дБ"},
    {"ed034", {"400_03", nullptr, nullptr}, "Усиление ТК", "дБ"},
    {"ed100_1", {"100_01", "100_01", "300_01"}, "Частота «0»", "Гц"},
    {"ed100_2", {"100_02", "100_02", "300_02"}, "Частота «1»", "Гц"},
    {"ed100_3", {"100_03", "100_03", "300_03"}, "Ослабление выходного сигнала", "дБ"},
    {"ed200_1", {"200_01", "200_01", "400_01"}, "Частота «0»", "Гц"},
    {"ed200_2", {"200_02", "200_02", "400_02"}, "Частота «1»", "Гц"},
    {"ed200_3", {"200_03", "200_03", "400_03"}, "Порог чувствительности", "дБ"},
    {"cb100_04", {"100_04", "100_04", "300_04"}, "Усиление на выходе"},
    {"cb200_04", {"200_04", "200_04", "400_04"}, "Усиление на входе"},
    {"cb300_04", {"300_04", nullptr, nullptr}, "На выходе"},
    {"cb400_04", {"400_04", nullptr, nullptr}, "На входе"},
};

// The row of a control; none for a control the table lacks.
constexpr const TModemControl* FindModemControl(std::string_view control)
{
    for (const TModemControl& c : ModemControls)
        if (control == c.Control) return &c;
    return nullptr;
}
// A control's caption and unit (none for a control the table lacks).
constexpr const char* ModemCaption(std::string_view control)
{
    const TModemControl* c = FindModemControl(control);
    return c ? c->Caption : nullptr;
}
constexpr const char* ModemUnit(std::string_view control)
{
    const TModemControl* c = FindModemControl(control);
    return c ? c->Unit : nullptr;
}
// The key a control binds on a class; none when it stays unbound there.
const char* ModemControlKey(std::string_view control, TModemClass modemClass);

// Gain step lists (text, stored value). Output (cb100_04, cb300_04): "+6" 0, "+3" 1,
// "0" 2, "-3" 3, "-6" 4, "-9" 5, "-12" 6, "-15" 7. Input (cb200_04, cb400_04): "0" 0,
// "+6" 1, "+12" 2, "+18" 3, "+20" 4, "+26" 5, "+32" 6, "+38" 7.
TPickList OutputGainSteps();
TPickList InputGainSteps();

// ---------------------------------------------------------------------------------
// Filter records

inline constexpr int FilterRecordCount = 4; // numbered 1 .. 4

// The fields of a filter record by key: the group of its band edges ("300" gives
// "300_Fstop1" .. "300_Fstop2"), its two tone fields and its coefficient table; no
// group on a class where the record is not bound.
struct TFilterRecordKeys {
    const char* Group;
    const char* Tone0;
    const char* Tone1;
    const char* Coefficients;
};
// Record 1 and 2 are the transit filters of TModem ("300", "400"; both tones "speed2");
// 3 the modulator ("100", "mod_coeff"; TModem2 "300", "mod2_coeff") and 4 the
// demodulator ("200", "demod_coeff"; TModem2 "400", "demod2_coeff"). Records 1 and 2
// are not bound on TModem1 and TModem2. A record outside 1 .. 4 has no keys.
TFilterRecordKeys FilterRecordKeys(int record, TModemClass modemClass);

// One filter record of a modem: references to its fields and its band text.
struct TFilterRecord {
    TField* Fstop1 = nullptr;
    TField* Fpass1 = nullptr;
    TField* Fpass2 = nullptr;
    TField* Fstop2 = nullptr;
    TField* Tone0 = nullptr;
    TField* Tone1 = nullptr;
    TFieldLst* Coefficients = nullptr; // the TFiltrKf
    std::string BandText;

    // Every field and the table were found.
    bool Bound() const;
};

// The record of a modem by its number, its band text computed; an unbound record (or a
// modem list of another class) has no fields and an empty text.
TFilterRecord BindFilterRecord(TFieldLst* modem, int record);

// "%d - %d Гц" of Fpass1 and Fpass2; empty when both are 0.
std::string FilterBandText(int fpass1, int fpass2);
// Renews the record's band text from its fields (empty for an unbound record).
void FilterBandText(TFilterRecord& record);

// Before the dialog: the speed code and whether the tones are known from the modem's
// speed; the edges, the tones and the 256 coefficients from the record (coefficient i
// from the table's field i); weights of 0 become 1; BandGiven when an edge is not 0.
// An unbound record changes nothing.
void FillDesignParams(const TFilterRecord& record, int64_t speed, TFilterDesignParams& params);
// After OK: coefficient i into the table's field i, then Fstop1, Fpass1, Fstop2 and
// Fpass2 into the record's fields, and the band text renewed. Stores through the
// fields, so their checks apply.
void StoreDesignParams(const TFilterDesignParams& params, TFilterRecord& record);
