#include "configurator/rules/ModemRules.h"

#include "model/uHask1.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<TZumo2Doc> Document(int code)
{
    std::unique_ptr<TZumo2Doc> doc = MakeHask1Doc(code);
    doc->ResetDefaults();
    return doc;
}

int Value(const TFieldLst& list, const std::string& key) { return list.Find<TField>(key)->GetValue().ToInt32(); }

TEST(ModemRules, BandText)
{
    EXPECT_EQ(FilterBandText(1100, 2300), "1100 - 2300 Гц");
    EXPECT_EQ(FilterBandText(0, 2300), "0 - 2300 Гц");
    EXPECT_EQ(FilterBandText(0, 0), "");
}

TEST(ModemRules, GainStepsAndClasses)
{
    EXPECT_EQ(OutputGainSteps(), (TPickList{{"+6", 0}, {"+3", 1}, {"0", 2}, {"-3", 3}, {"-6", 4}, {"-9", 5},
                                            {"-12", 6}, {"-15", 7}}));
    EXPECT_EQ(InputGainSteps(), (TPickList{{"0", 0}, {"+6", 1}, {"+12", 2}, {"+18", 3}, {"+20", 4}, {"+26", 5},
                                           {"+32", 6}, {"+38", 7}}));
    auto single = Document(8);
    auto twin = Document(9);
    EXPECT_EQ(ModemClassOf(single->Find<TFieldLst>("Modem1")), TModemClass::Modem);
    EXPECT_EQ(ModemClassOf(twin->Find<TFieldLst>("Modem1")), TModemClass::Modem1);
    EXPECT_EQ(ModemClassOf(twin->Find<TFieldLst>("Modem2")), TModemClass::Modem2);
    EXPECT_EQ(ModemClassOf(single->Find<TFieldLst>("ADSP")), std::nullopt);
    EXPECT_EQ(ModemControlKey("ch010", TModemClass::Modem), std::string("011_10"));
    EXPECT_EQ(ModemControlKey("cb300_04", TModemClass::Modem2), nullptr);
    EXPECT_STREQ(ModemCaption("edSpeed"), "Скорость");
}

// A record's parameters go to the dialog and come back: coefficient i is field i, the
// edges go to their own fields, weights of 0 become 1.
TEST(ModemRules, RecordToParametersAndBack)
{
    auto doc = Document(6);
    auto* modem = doc->Find<TFieldLst>("Modem1");
    TFilterRecord record = BindFilterRecord(modem, 4); // the demodulator
    ASSERT_TRUE(record.Bound());
    EXPECT_EQ(record.Coefficients, modem->Find<TFieldLst>("demod_coeff"));
    EXPECT_EQ(record.BandText, "");
    const char* keys[] = {"200_Fstop1", "200_Fpass1", "200_Fpass2", "200_Fstop2"};
    const int edges[] = {990, 1100, 2300, 2410};
    for (int i = 0; i < 4; ++i) modem->Find<TField>(keys[i])->SetValue(Variant(int32_t{edges[i]}));
    modem->Find<TField>("200_02")->SetValue(Variant(int32_t{2200}));
    auto* coefficients = modem->Find<TFieldLst>("demod_coeff");
    dynamic_cast<TField*>(coefficients->FieldByIndex(10))->SetValue(Variant(int32_t{65531}));

    TFilterDesignParams params;
    params.Wpass = 9;
    FillDesignParams(record, 1200, params);
    EXPECT_EQ(params.SpeedCode, 5);
    EXPECT_TRUE(params.TonesKnown);
    EXPECT_EQ((std::vector<int>{params.Fstop1, params.Fpass1, params.Fpass2, params.Fstop2}),
              (std::vector<int>{990, 1100, 2300, 2410}));
    EXPECT_EQ(params.Tone0, 1300);
    EXPECT_EQ(params.Tone1, 2200);
    EXPECT_EQ(params.Coefficients[10], 65531);
    EXPECT_EQ((std::vector<int>{params.Wstop1, params.Wpass, params.Wstop2}), (std::vector<int>{1, 9, 1}));
    EXPECT_TRUE(params.BandGiven);

    FillDesignParams(record, 2400, params);
    EXPECT_EQ(params.SpeedCode, 0);
    EXPECT_FALSE(params.TonesKnown);

    params.Fstop1 = 1000;
    params.Fpass1 = 1111;
    params.Fpass2 = 2222;
    params.Fstop2 = 2333;
    params.Coefficients.fill(0);
    params.Coefficients[0] = 32767;
    params.Coefficients[255] = 65531;
    StoreDesignParams(params, record);
    EXPECT_EQ((std::vector<int>{Value(*modem, "200_Fstop1"), Value(*modem, "200_Fpass1"), Value(*modem, "200_Fpass2"),
                                Value(*modem, "200_Fstop2")}),
              (std::vector<int>{1000, 1111, 2222, 2333}));
    EXPECT_EQ(Value(*coefficients, "000"), 32767);
    EXPECT_EQ(Value(*coefficients, "010"), 0);
    EXPECT_EQ(Value(*coefficients, "255"), 65531);
    EXPECT_EQ(record.BandText, "1111 - 2222 Гц");
    // The modulator's table is another one.
    EXPECT_EQ(Value(*modem->Find<TFieldLst>("mod_coeff"), "000"), 0);
}

// An unbound record (the transit filters of a two-modem document) neither fills nor
// stores anything.
TEST(ModemRules, UnboundRecordTouchesNothing)
{
    auto doc = Document(9);
    TFilterRecord record = BindFilterRecord(doc->Find<TFieldLst>("Modem2"), 1);
    EXPECT_FALSE(record.Bound());
    TFilterDesignParams params;
    params.Fstop1 = 5;
    FillDesignParams(record, 600, params);
    EXPECT_EQ(params.Fstop1, 5);
    EXPECT_EQ(params.SpeedCode, 0);
    StoreDesignParams(params, record);
    EXPECT_EQ(record.BandText, "");
    EXPECT_FALSE(BindFilterRecord(doc->Find<TFieldLst>("Modem1"), 5).Bound());
}

} // namespace
