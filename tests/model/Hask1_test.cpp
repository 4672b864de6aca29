#include "model/uHask1.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using testsupport::BytesAt;
using testsupport::ErrorOf;
using testsupport::Hex;
using testsupport::RunCommand;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

namespace {

constexpr int kCodes[] = {6, 8, 9, 10, 11, 12};
constexpr uint32_t kBase = 0x200F0000;

std::unique_ptr<TZumo2Doc> NewDoc(int code)
{
    auto doc = MakeHask1Doc(code);
    doc->ResetDefaults();
    return doc;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

TField* FieldIn(const TFieldLst& list, const char* key)
{
    auto* field = list.Find<TField>(key);
    EXPECT_NE(field, nullptr) << key;
    return field;
}

// What a layout table says of one field: its offset in the list, bytes, bits, default,
// limits and CheckDefault.
struct TFieldRow {
    const char* Key;
    int32_t Offset;
    int32_t Size;
    int Position, Bits; // Bits 0: a whole field
    int32_t Default;
    int32_t Min, Max;
    bool Checked;
};

std::string Describe(const TFieldLst& list, const TField& f)
{
    const auto* bits = dynamic_cast<const TBitFleld*>(&f);
    return std::to_string(f.NodeOffset() - list.NodeOffset()) + "/" +
           std::to_string(f.Size) + "/" + std::to_string(bits ? bits->Position : 0) + "/" +
           std::to_string(bits ? bits->BitCount : 0) + "/" + f.DefaultValue.ToString() + "/" +
           std::to_string(f.MinValue) + ".." + std::to_string(f.MaxValue) + "/" + (f.CheckDefault ? "CD" : "-");
}

std::string Describe(const TFieldRow& r)
{
    return std::to_string(r.Offset) + "/" + std::to_string(r.Size) + "/" + std::to_string(r.Position) + "/" +
           std::to_string(r.Bits) + "/" + std::to_string(r.Default) + "/" + std::to_string(r.Min) + ".." +
           std::to_string(r.Max) + "/" + (r.Checked ? "CD" : "-");
}

void ExpectRows(const TFieldLst& list, std::initializer_list<TFieldRow> rows)
{
    for (const TFieldRow& r : rows) {
        if (const TField* f = FieldIn(list, r.Key)) {
            EXPECT_EQ(Describe(list, *f), Describe(r)) << list.Name << "." << r.Key;
        }
    }
}

// One-bit flags of a 32-bit word, from a first bit on: keys, CheckDefault.
void ExpectFlags(const TFieldLst& list, int32_t offset, std::initializer_list<const char*> keys, int firstBit,
                 bool checked)
{
    int bit = firstBit;
    for (const char* key : keys) {
        ExpectRows(list, {{key, offset, 4, bit, 1, 0, 0, 1, checked}});
        ++bit;
    }
}

// Coefficient tables of a modem, 512 bytes each: key, offset, caption.
struct TCoeffRow {
    const char* Key;
    int32_t Offset;
    const char* Name;
};

void ExpectCoeffs(const TFieldLst& modem, std::initializer_list<TCoeffRow> rows)
{
    for (const TCoeffRow& r : rows) {
        auto* table = modem.Find<TFiltrKf>(r.Key);
        EXPECT_NE(table, nullptr) << r.Key;
        if (!table) continue;
        EXPECT_EQ(table->Offset, r.Offset) << r.Key;
        EXPECT_EQ(table->Size, 512) << r.Key;
        EXPECT_EQ(table->Name, r.Name) << r.Key;
    }
}

const int32_t W = 65535;

// A level field: default and limits.
struct TLevel {
    int32_t Default, Min, Max;
};

// The band edges Fstop1, Fpass1, Fpass2, Fstop2 of one filter.
using TEdges = std::array<int32_t, 4>;
constexpr TEdges kOpenBand = {0, 0, 0, 0};
constexpr TEdges kVoiceBand = {150, 300, 2200, 2350};

// One filter of a modem table from `At` on: <Prefix>_01 and _02 (1300 and 2100, 0..8000),
// the level _03, the four band edges, and the byte _04 (never CheckDefault).
struct TFilterRow {
    const char* Prefix;
    int32_t At;
    TLevel Level;
    TEdges Edges;
    int32_t Last;
    bool Checked;
};

void ExpectFilters(const TFieldLst& list, std::initializer_list<TFilterRow> filters)
{
    for (const TFilterRow& f : filters) {
        const std::string p = f.Prefix;
        const std::string keys[] = {p + "_01", p + "_02", p + "_03", p + "_Fstop1", p + "_Fpass1", p + "_Fpass2",
                                    p + "_Fstop2", p + "_04"};
        ExpectRows(list, {
                             {keys[0].c_str(), f.At, 2, 0, 0, 1300, 0, 8000, f.Checked},
                             {keys[1].c_str(), f.At + 2, 2, 0, 0, 2100, 0, 8000, f.Checked},
                             {keys[2].c_str(), f.At + 4, 2, 0, 0, f.Level.Default, f.Level.Min, f.Level.Max,
                              f.Checked},
                             {keys[3].c_str(), f.At + 6, 2, 0, 0, f.Edges[0], 0, W, f.Checked},
                             {keys[4].c_str(), f.At + 8, 2, 0, 0, f.Edges[1], 0, W, f.Checked},
                             {keys[5].c_str(), f.At + 10, 2, 0, 0, f.Edges[2], 0, W, f.Checked},
                             {keys[6].c_str(), f.At + 12, 2, 0, 0, f.Edges[3], 0, W, f.Checked},
                             {keys[7].c_str(), f.At + 14, 1, 0, 0, f.Last, 0, 255, false},
                         });
    }
}

} // namespace

// ---------------------------------------------------------------------------------
// Modems

TEST(Hask1Modem, SingleModemFollowsItsTable)
{
    auto doc = NewDoc(6);
    auto* m = doc->Find<TModem>("Modem1");
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->ClassName(), "TModem");
    EXPECT_EQ(m->Size, 2200);
    EXPECT_EQ(m->NodeOffset(), 180);
    EXPECT_TRUE(testsupport::AuditLayout(*m, 2200));
    EXPECT_EQ(m->FieldCount(), 62);
    ExpectRows(*m, {
                       {"speed", 0, 4, 0, 0, 600, 0, 0x7FFFFFFF, false},
                       {"002", 8, 2, 0, 0, -30, -50, 0, false},
                       {"speed2", 1100, 4, 0, 0, 0, 0, 0x7FFFFFFF, true},
                       {"012", 1108, 2, 0, 0, -30, -50, 0, true},
                   });
    ExpectFilters(*m, {
                          {"100", 12, {0, -40, 0}, kOpenBand, 2, false},
                          {"200", 556, {-40, -40, 0}, kOpenBand, 0, false},
                          {"300", 1112, {0, -40, 40}, kVoiceBand, 2, true},
                          {"400", 1656, {0, -40, 40}, kVoiceBand, 0, true},
                      });
    ExpectFlags(*m, 4, {"001_00", "001_01", "001_02", "001_03", "001_04", "001_05", "001_06"}, 0, false);
    ExpectFlags(*m, 4, {"001_07", "001_08", "001_10", "001_11"}, 7, true);
    EXPECT_FALSE(m->Contains("001_09")) << "bits 9 and 10 are keyed 001_10 and 001_11";
    ExpectFlags(*m, 1104,
                {"011_00", "011_01", "011_02", "011_03", "011_04", "011_05", "011_06", "011_07", "011_08", "011_10",
                 "011_11"},
                0, true);
    ExpectCoeffs(*m, {
                         {"mod_coeff", 44, "Коэффициенты фильтра передатчика"},
                         {"demod_coeff", 588, "Коэффициенты фильтра приемника"},
                         {"mod2_coeff", 1144, "Коэффициенты фильтра"},
                         {"demod2_coeff", 1688, "Коэффициенты фильтра"},
                     });
}

TEST(Hask1Modem, TwoModemsShareOneLayoutUnderTheirOwnKeys)
{
    auto doc = NewDoc(9);
    auto* m1 = doc->Find<TModem1>("Modem1");
    auto* m2 = doc->Find<TModem2>("Modem2");
    ASSERT_NE(m1, nullptr);
    ASSERT_NE(m2, nullptr);
    EXPECT_EQ(m1->NodeOffset(), 180);
    EXPECT_EQ(m2->NodeOffset(), 1280);
    EXPECT_EQ(m1->Name, "Параметры модема channel");
    EXPECT_EQ(m2->Name, "Параметры модема voice");
    EXPECT_EQ(doc->Image.BlockByIndex(0)->Size, 2380);
    for (TModem* m : {static_cast<TModem*>(m1), static_cast<TModem*>(m2)}) {
        EXPECT_TRUE(testsupport::AuditLayout(*m, 1100));
        EXPECT_EQ(m->FieldCount(), 31);
        ExpectFlags(*m, 4, {"000", "001", "002", "003", "004", "005", "006"}, 0, false);
        ExpectFlags(*m, 4, {"007", "008", "010", "011"}, 7, true);
        ExpectRows(*m, {{"032", 8, 2, 0, 0, -30, -50, 0, false}});
    }
    ExpectRows(*m1, {{"speed", 0, 4, 0, 0, 600, 0, 0x7FFFFFFF, false}});
    ExpectFilters(*m1, {
                           {"100", 12, {0, -40, 0}, kOpenBand, 2, false},
                           {"200", 556, {-40, -40, 0}, kOpenBand, 0, false},
                       });
    ExpectRows(*m2, {{"speed2", 0, 4, 0, 0, 600, 0, 0x7FFFFFFF, false}});
    ExpectFilters(*m2, {
                           {"300", 12, {0, -40, 0}, kOpenBand, 2, false},
                           {"400", 556, {0, -40, 40}, kOpenBand, 0, false},
                       });
    ExpectCoeffs(*m1, {
                          {"mod_coeff", 44, "Коэффициенты фильтра передатчика"},
                          {"demod_coeff", 588, "Коэффициенты фильтра приемника"},
                      });
    ExpectCoeffs(*m2, {
                          {"mod2_coeff", 44, "Коэффициенты фильтра"},
                          {"demod2_coeff", 588, "Коэффициенты фильтра"},
                      });
}

TEST(Hask1Modem, LimitsRefuseAndTake)
{
    auto single = NewDoc(6);
    auto twin = NewDoc(9);
    auto* m = single->Find<TFieldLst>("Modem1");
    auto* m1 = twin->Find<TFieldLst>("Modem1");
    auto* m2 = twin->Find<TFieldLst>("Modem2");
    struct Case {
        TFieldLst* list;
        const char* key;
        int32_t value;
        const char* error; // none: taken
    };
    const Case cases[] = {
        {m, "100_03", 5, "Больше максимума"}, {m, "100_03", -40, nullptr},  {m1, "100_03", 5, "Больше максимума"},
        {m, "300_03", 5, nullptr},            {m2, "300_03", 5, "Больше максимума"}, {m2, "400_03", 5, nullptr},
        {m, "002", 1, "Больше максимума"},    {m, "002", -51, "Меньше минимума"},    {m, "100_01", 8001, "Больше максимума"},
        {m1, "032", 1, "Больше максимума"},
    };
    for (const Case& c : cases) {
        TField* f = FieldIn(*c.list, c.key);
        const Variant before = f->GetValue();
        const std::string error = ErrorOf([&] { f->SetValue(c.value); });
        const std::string label = c.list->Name + "." + c.key + " := " + std::to_string(c.value);
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << label << ": " << error;
            EXPECT_TRUE(f->GetValue().Equals(before)) << label;
        } else {
            EXPECT_EQ(error, "(no error)") << label;
            EXPECT_EQ(f->GetValue().ToInt32(), c.value) << label;
        }
    }
}

TEST(Hask1Modem, FilterTapsAreInPositionOrder)
{
    auto doc = NewDoc(6);
    auto* modem = doc->Find<TFieldLst>("Modem1");
    auto* taps = modem->Find<TFiltrKf>("demod2_coeff");
    ASSERT_NE(taps, nullptr);
    ASSERT_EQ(taps->FieldCount(), 256);
    EXPECT_EQ(taps->FieldName(10), "010");
    for (int i = 0; i < 256; ++i) {
        auto* tap = dynamic_cast<TField*>(taps->FieldByIndex(i));
        ASSERT_NE(tap, nullptr);
        EXPECT_EQ(taps->FieldName(i), platform::Format("%.3d", i));
        EXPECT_EQ(tap->NodeOffset(), 180 + 1688 + 2 * i);
        EXPECT_EQ(tap->FieldType, ftWord);
        EXPECT_FALSE(tap->CheckDefault);
    }

    // The pattern of -1 in the last tap lies at the end of the header block.
    dynamic_cast<TField*>(taps->FieldByIndex(255))->SetValue(int32_t{0xFFFF});
    EXPECT_EQ(BytesAt(*doc, kBase + 2378, 2), "FF FF");

    auto* mod = modem->Find<TFiltrKf>("mod_coeff");
    dynamic_cast<TField*>(mod->FieldByIndex(0))->SetValue(int32_t{32767});
    std::vector<int32_t> read;
    for (int i = 0; i < 256; ++i) read.push_back(dynamic_cast<TField*>(mod->FieldByIndex(i))->GetValue().ToInt32());
    std::vector<int32_t> expected(256, 0);
    expected[0] = 32767;
    EXPECT_EQ(read, expected);
}

// ---------------------------------------------------------------------------------
// Documents

TEST(Hask1Doc, ModelTable)
{
    using Names = std::vector<std::string>;
    struct Row {
        int code;
        const char* model;
        Names ports;
        Names portList; // a logical channel's sources
        int f025, f026;
        const char* modem1Class;
        int32_t modem1Size;
        bool hasModem2;
        int cd300_03; // -1: no such key
    };
    const Names eth2 = {"Channel", "", "ETH0", "ETH1", "ETH0 или ETH1"};
    const Names eth1 = {"Channel", "", "ETH0"};
    const Row rows[] = {
        {6, "Pelvar-44", eth2, {"Channel", "ETH0", "ETH1", "Нет"}, 0, 0, "TModem", 2200, false, 1},
        {8, "Pelvar-42 С1-ТЧ и VOICE", eth2, {"Channel", "ETH0", "ETH1", "Нет"}, 0, 1, "TModem", 2200, false, 0},
        {9, "Pelvar-42 2хС1-ТЧ", {"Channel", "Voice", "ETH0", "ETH1", "ETH0 или ETH1"},
         {"Channel", "Voice", "ETH0", "ETH1", "Нет"}, 1, 0, "TModem1", 1100, true, -1},
        {10, "Pelvar-41", eth1, {"Channel", "ETH0", "Нет"}, 0, 0, "TModem", 2200, false, 1},
        {11, "Pelvar-43 С1-ТЧ и VOICE", eth1, {"Channel", "ETH0", "Нет"}, 0, 1, "TModem", 2200, false, 0},
        {12, "Pelvar-43 2хС1-ТЧ", {"Channel", "Voice", "ETH0"}, {"Channel", "Voice", "ETH0", "Нет"}, 1, 0, "TModem1",
         1100, true, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        auto doc = NewDoc(r.code);
        EXPECT_EQ(testsupport::MembersOf(*doc),
                  (testsupport::TDocMembers{r.model, std::string("Контроллер ") + r.model, kBase, "Scheme ID:1.0.0.0",
                                            0x159A6A, 0x258E3A, 31}));
        EXPECT_EQ(doc->GetPortNames(), r.ports);
        EXPECT_EQ(doc->DeviceCount(), 20);
        EXPECT_EQ(doc->LogicChannelCount(), 20);
        EXPECT_EQ(doc->ApertureCount(), 50);
        EXPECT_EQ(doc->ScaleCount(), 50);

        TPickList list;
        TLogic* logic = doc->LogicChannelByIndex(0);
        logic->FillPortList(list);
        Names texts;
        for (const auto& [text, value] : list) texts.push_back(text);
        EXPECT_EQ(texts, r.portList);
        EXPECT_EQ(list.back().second, 255);
        EXPECT_EQ(logic->PortText(1), "Voice");
        EXPECT_EQ(logic->PortText(3), "ETH1");
        EXPECT_EQ(logic->PortText(4), "Нет");

        EXPECT_EQ(doc->Find<TField>("025")->GetValue().ToInt32(), r.f025);
        EXPECT_EQ(doc->Find<TField>("026")->GetValue().ToInt32(), r.f026);
        auto* modem1 = doc->Find<TFieldLst>("Modem1");
        ASSERT_NE(modem1, nullptr);
        EXPECT_STREQ(modem1->ClassName(), r.modem1Class);
        EXPECT_EQ(modem1->NodeOffset(), 180);
        EXPECT_EQ(modem1->Size, r.modem1Size);
        auto* modem2 = doc->Find<TFieldLst>("Modem2");
        EXPECT_EQ(modem2 != nullptr, r.hasModem2);
        if (modem2) {
            EXPECT_STREQ(modem2->ClassName(), "TModem2");
            EXPECT_EQ(modem2->NodeOffset(), 1280);
        }
        auto* level = modem1->Find<TField>("300_03");
        ASSERT_EQ(level != nullptr, r.cd300_03 >= 0);
        if (level) {
            EXPECT_EQ(level->CheckDefault, r.cd300_03 == 1);
        }
    }
}

TEST(Hask1Doc, HeaderLayout)
{
    auto doc = NewDoc(6);
    ASSERT_EQ(doc->Image.BlockCount(), 3);
    EXPECT_EQ(doc->Image.BlockByIndex(0)->Address, 0x0000u);
    EXPECT_EQ(doc->Image.BlockByIndex(0)->Size, 2380);
    EXPECT_EQ(doc->Image.BlockByIndex(1)->Address, 0x1000u);
    EXPECT_EQ(doc->Image.BlockByIndex(1)->Size, 14800);
    EXPECT_EQ(doc->Image.BlockByIndex(2)->Address, 0x8000u);
    EXPECT_EQ(doc->Image.BlockByIndex(2)->Size, 600);

    struct Port {
        const char* key;
        const char* cls;
        const char* caption;
        int32_t offset;
    };
    for (const Port& p : {Port{"ADSP", "TADSP", "Channel", 0}, Port{"ADSP2", "TADSP", "Voice", 8},
                          Port{"ETH_0", "TETH", "ETH0", 16}, Port{"ETH_1", "TETH", "ETH1", 24}}) {
        auto* list = doc->Find<TUART>(p.key);
        ASSERT_NE(list, nullptr) << p.key;
        EXPECT_STREQ(list->ClassName(), p.cls);
        EXPECT_EQ(list->Name, p.caption);
        EXPECT_EQ(list->NodeOffset(), p.offset);
        EXPECT_TRUE(testsupport::AuditLayout(*list, 8));
    }
    ExpectRows(*doc->Find<TFieldLst>("ETH_0"), {{"016", 0, 2, 0, 3, 2, 0, 7, true}, {"018", 0, 2, 3, 1, 1, 0, 1, true}});
    ExpectRows(*doc->Find<TFieldLst>("ADSP"), {
                                                  {"016", 0, 2, 0, 3, 1, 0, 7, true},
                                                  {"018", 0, 2, 3, 1, 0, 0, 1, false},
                                                  {"051", 2, 2, 0, 1, 0, 0, 1, true},
                                                  {"052", 2, 2, 1, 1, 0, 0, 1, true},
                                                  {"053", 2, 2, 2, 1, 0, 0, 1, true},
                                                  {"057", 2, 2, 3, 1, 0, 0, 1, false},
                                                  {"058", 2, 2, 4, 1, 0, 0, 1, false},
                                                  {"059", 2, 2, 5, 1, 0, 0, 1, true},
                                                  {"055", 4, 2, 0, 0, 0, 0, W, false},
                                                  {"056", 6, 2, 0, 0, 0, 0, W, false},
                                              });
    EXPECT_EQ(doc->Find<TFieldLst>("ADSP")->FieldCount(), 10);
    ExpectRows(*doc, {
                         {"noname_0", 32, 4, 0, 0, 0, 0, 0x7FFFFFFF, false},
                         {"noname_2", 40, 2, 0, 0, 0, 0, W, false},
                         {"021", 42, 2, 0, 1, 0, 0, 1, true},
                         {"022", 42, 2, 1, 1, 1, 0, 1, false},
                         {"028", 42, 2, 7, 1, 0, 0, 1, true},
                         {"041", 46, 2, 0, 0, 500, 0, 50000, false},
                         {"042", 48, 2, 0, 0, 500, 0, 50000, false},
                         {"044", 52, 2, 0, 0, 1440, 0, W, false},
                         {"046", 56, 1, 0, 0, -1, -128, 127, true},
                         {"049", 57, 1, 0, 0, -1, -128, 127, true},
                         {"047", 58, 2, 0, 0, 0, 0, W, true},
                         {"048", 60, 2, 0, 0, 0, 0, W, true},
                     });
    for (int i = 0; i < 6; ++i) {
        auto* text = doc->Find<TStrField>(platform::Format("%.3d", 50 + i));
        ASSERT_NE(text, nullptr) << i;
        EXPECT_EQ(text->NodeOffset(), 64 + 16 * i);
        EXPECT_EQ(text->Size, 16);
        EXPECT_FALSE(text->CheckDefault);
    }
    EXPECT_EQ(doc->SchemeIdField()->NodeOffset(), 160);
}

TEST(Hask1Doc, ResetHeaderBytes)
{
    for (int code : kCodes) {
        SCOPED_TRACE(code);
        auto doc = NewDoc(code);
        const bool twin = code == 9 || code == 12;
        const bool voice = code == 8 || code == 11;
        EXPECT_EQ(BytesAt(*doc, kBase + 0, 2), "01 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 8, 2), "01 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 16, 2), "0A 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 24, 2), "0A 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 42, 2), twin ? "1A 00" : voice ? "2A 00" : "0A 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 46, 2), "F4 01");
        EXPECT_EQ(BytesAt(*doc, kBase + 48, 2), "F4 01");
        EXPECT_EQ(BytesAt(*doc, kBase + 52, 2), "A0 05");
        EXPECT_EQ(BytesAt(*doc, kBase + 56, 2), "FF FF");
        EXPECT_EQ(BytesAt(*doc, kBase + 160, 17), Hex(reinterpret_cast<const uint8_t*>("Scheme ID:1.0.0.0"), 17));
        EXPECT_EQ(BytesAt(*doc, kBase + 180, 4), "58 02 00 00");
        EXPECT_EQ(BytesAt(*doc, kBase + 188, 2), "E2 FF");
        EXPECT_EQ(BytesAt(*doc, kBase + 192, 2), "14 05");
        EXPECT_EQ(BytesAt(*doc, kBase + 740, 2), "D8 FF");
        EXPECT_EQ(BytesAt(*doc, kBase + 1298, 2), twin ? "00 00" : "96 00");
    }
}

// ---------------------------------------------------------------------------------
// Devices

namespace {

void Set(TFieldLst& list, const char* key, int32_t value) { FieldIn(list, key)->SetValue(value); }

// The device's own fields whose flag is set, among the keys.
std::set<std::string> CheckedAmong(const TDevice& d, const std::vector<std::string>& keys)
{
    std::set<std::string> out;
    for (const std::string& key : keys)
        if (auto* f = dynamic_cast<TField*>(d.TFieldLst::FindField(key)); f && f->CheckDefault) out.insert(key);
    return out;
}

} // namespace

TEST(Hask1Device, LayoutAndResetBytes)
{
    auto doc = NewDoc(6);
    TDevice* d = doc->DeviceByIndex(0);
    EXPECT_STREQ(d->ClassName(), "THask1Device");
    EXPECT_TRUE(testsupport::AuditLayout(*d, 724));
    EXPECT_EQ(d->ProtocolAreaOffset(), 94);
    EXPECT_EQ(d->ChannelBlockByIndex(0)->NodeOffset(), 164);
    EXPECT_EQ(d->ApertureBlockByIndex(0)->NodeOffset(), 404);
    EXPECT_EQ(d->ScaleBlockByIndex(0)->NodeOffset(), 564);
    EXPECT_EQ(d->ChannelBlockByIndex(19)->Name, "Канал 20");
    EXPECT_EQ(d->ApertureBlockByIndex(0)->Name, "Канал 01");
    EXPECT_EQ(d->ScaleBlockByIndex(0)->Name, "Канал 01");
    EXPECT_TRUE(d->Contains("Scales00"));
    EXPECT_EQ(doc->DeviceByIndex(1)->NodeOffset(), 724);
    EXPECT_EQ(doc->LogicChannelByIndex(0)->NodeOffset(), 14480);
    EXPECT_EQ(doc->ApertureByIndex(0)->NodeOffset(), 0);
    EXPECT_EQ(doc->ScaleByIndex(0)->NodeOffset(), 200);

    const uint32_t at = kBase + 0x1000;
    EXPECT_EQ(BytesAt(*doc, at, 4), "00 C2 01 00");
    EXPECT_EQ(BytesAt(*doc, at + 28, 4), "02 20 00 00");
    EXPECT_EQ(BytesAt(*doc, at + 38, 4), "DA 1E 24 25");
    EXPECT_EQ(BytesAt(*doc, at + 42, 2), "08 01");
    EXPECT_EQ(BytesAt(*doc, at + 44, 2), "01 00");
    EXPECT_EQ(BytesAt(*doc, at + 48, 2), "05 00");
    EXPECT_EQ(BytesAt(*doc, at + 50, 12), "1E 00 0F 00 0A 00 14 00 0C 00 08 00");
    EXPECT_EQ(BytesAt(*doc, at + 74, 2), "FF FF");
    EXPECT_EQ(BytesAt(*doc, at + 92, 2), "03 01");
    // The same keys as the base model's device, other places and meanings; the flags
    // as built, before the settings re-mark them.
    auto built = MakeHask1Doc(6);
    d = built->DeviceByIndex(0);
    auto* text = d->Find<TStrField>("003");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->NodeOffset(), 4);
    EXPECT_EQ(text->Size, 16);
    EXPECT_FALSE(text->CheckDefault);
    ExpectRows(*d, {
                       {"056", 36, 2, 0, 0, 0, 0, W, true},
                       {"061", 38, 1, 0, 2, 2, 0, 3, false},
                       {"094", 58, 2, 0, 0, 12, 1, 20, false},
                   });
}

TEST(Hask1Device, MarkUnusedFieldsFollowsRoleProtocolAndPort)
{
    const std::vector<std::string> byRole = {"0004", "ts_link", "tit_link"};
    const std::vector<std::string> polling = {"0013", "0014", "0015"};
    const std::vector<std::string> iecOnly = {"061", "062", "063", "064", "065", "066", "067", "073",
                                              "074", "075", "076", "077", "078", "090", "091", "092",
                                              "093", "094", "095", "096", "097", "098", "099", "101"};
    const std::vector<std::string> kpOnly = {"019"};
    const std::vector<std::string> serial = {"006", "068_1", "068_2", "068_3"};
    const std::vector<std::string> onEth = {"001"};
    const std::vector<std::string> offEth = {"003", "007", "022", "024"};
    std::vector<std::string> all;
    for (const auto* group : {&byRole, &polling, &iecOnly, &kpOnly, &serial, &onEth, &offEth})
        all.insert(all.end(), group->begin(), group->end());

    struct Row {
        int role, index, port;
        bool byRole, polling, iecOnly, kpOnly, eth;
    };
    const Row rows[] = {
        // A МЭК control point on ETH0: the speed is fixed, the text and "007" free.
        {1, 1, 2, true, true, false, false, true},
        {0, 1, 0, false, false, false, true, false},
        {0, 10, 0, false, true, true, true, false},
        {0, 3, 4, false, true, true, true, true},
        {0, 2, 0, false, false, true, true, false},
        {1, 2, 3, true, true, true, false, true},
        {1, 12, 0, true, true, true, false, false},
        {0, 12, 2, false, false, true, true, true},
    };
    auto doc = NewDoc(6);
    TDevice& d = *doc->DeviceByIndex(0);
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>{r.role, r.index, r.port}));
        d.ResetDefaults();
        Set(d, "011", r.role);
        Set(d, "004", ProtocolCodes[r.index]);
        Set(d, "002", r.port);
        d.MarkUnusedFields();
        std::set<std::string> expected;
        auto add = [&expected](bool on, const std::vector<std::string>& keys) {
            if (on) expected.insert(keys.begin(), keys.end());
        };
        add(r.byRole, byRole);
        add(r.polling, polling);
        add(r.iecOnly, iecOnly);
        add(r.kpOnly, kpOnly);
        add(r.eth, onEth);
        add(!r.eth, offEth);
        EXPECT_EQ(CheckedAmong(d, all), expected);
    }
}

TEST(Hask1Device, ProtocolSlotsWithoutABlock)
{
    auto doc = NewDoc(6);
    TDevice& d = *doc->DeviceByIndex(0);
    for (int index = 1; index < ProtocolCount; ++index)
        EXPECT_EQ(d.ProtocolBlock(index) != nullptr, index != 12 && index < 22) << index;

    Set(d, "004", ProtocolCodes[2]); // ModBus
    EXPECT_NE(d.FindField("0209"), nullptr);

    Set(d, "011", 1);
    Set(d, "004", 15); // ТМ 120
    EXPECT_EQ(d.ActiveProtocolIndex(), 12);
    EXPECT_EQ(d.ActiveProtocol(), nullptr);
    EXPECT_EQ(d.DeviceTitle(), "ПУ ТМ 120");
    EXPECT_EQ(d.FindField("0209"), nullptr);
    EXPECT_EQ(BytesAt(*doc, kBase + 0x1000 + 94, 70), Hex(std::vector<uint8_t>(70).data(), 70));

    // A file with Siemens Symap in a slot: no block, and nothing to ask.
    testsupport::TempDir dir;
    auto source = NewDoc(6);
    Set(*source->DeviceByIndex(3), "004", 35);
    source->SaveToFile(dir / "x.hex");
    auto loaded = MakeHask1Doc(6);
    EXPECT_EQ(testsupport::QuestionsOfLoading(*loaded, dir / "x.hex"), std::vector<std::string>{});
    EXPECT_EQ(loaded->DeviceByIndex(3)->ActiveProtocolIndex(), 28);
    EXPECT_EQ(loaded->DeviceByIndex(3)->ActiveProtocol(), nullptr);
}

// ---------------------------------------------------------------------------------
// Logical channels

TEST(Hask1Logic, KindsAndSources)
{
    auto doc = NewDoc(6);
    TLogic& logic = *doc->LogicChannelByIndex(0);
    const char* const classes[] = {"TLogicTS", "THask1LogicTIT", "TLogicTII", "TLogicTU"};
    for (int code = 0; code < 4; ++code) {
        logic.TypeField->SetValue(int32_t{code});
        ASSERT_NE(logic.ActiveKind(), nullptr) << code;
        EXPECT_STREQ(logic.ActiveKind()->ClassName(), classes[code]);
    }
    for (int code : {14, 15, 6}) {
        SCOPED_TRACE(code);
        std::memset(doc->Image.BlockByIndex(1)->Data() + logic.KindAreaOffset, 0x5A, 8);
        logic.TypeField->SetValue(int32_t{code});
        EXPECT_EQ(logic.ActiveKindIndex(), TLogic::KindIndexOfCode(code));
        EXPECT_GE(logic.ActiveKindIndex(), 5);
        EXPECT_EQ(logic.ActiveKind(), nullptr);
        EXPECT_EQ(BytesAt(*doc, kBase + 0x1000 + static_cast<uint32_t>(logic.KindAreaOffset), 8),
                  "00 00 00 00 00 00 00 00");
        EXPECT_EQ(logic.ColumnField(3), nullptr);
        EXPECT_EQ(logic.ColumnText(2), ChannelTypeNames[logic.ActiveKindIndex()]);
    }

    logic.TypeField->SetValue(int32_t{1});
    TLogicChannel& tit = *logic.ActiveKind();
    TPickList list;
    tit.FillValueList(0, list);
    const TPickList expected = {{"Суммирование", 1},
                                {"Вычитание", 2},
                                {"Период опроса усройства", 3},
                                {"Ошибка установки времени", 4},
                                {"Отсутсвие синхронизации времени", 8},
                                {"Скорость приема", 15},
                                {"Скорость передачи", 16}};
    EXPECT_EQ(list, expected);
    tit.FillValueList(1, list);
    EXPECT_TRUE(list.empty());
    Set(tit, "202", 5);
    EXPECT_EQ(tit.ParamText(0), "5");
    Set(tit, "202", 8);
    EXPECT_EQ(tit.ParamText(0), "Отсутсвие синхронизации времени");
}

// ---------------------------------------------------------------------------------
// Parameter files and the default check

TEST(Hask1Doc, SavedFileStartsWithTheSegmentAndPeersReadIt)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    testsupport::TempDir dir;
    auto doc = NewDoc(9);
    doc->SaveToFile(dir / "saved.hex");
    std::ifstream in(dir / "saved.hex");
    std::string first;
    std::getline(in, first);
    if (!first.empty() && first.back() == '\r') first.pop_back();
    EXPECT_EQ(first, ":02000004200FCB");

    // Each block lands at its address: intelhex gives the ranges, srec_cat the same bytes.
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import sys\n"
                         "from intelhex import IntelHex\n"
                         "h = IntelHex(sys.argv[1])\n"
                         "s = h.segments()\n"
                         "sys.exit(0 if s == [(0x200F0000, 0x200F094C), (0x200F1000, 0x200F49D0), "
                         "(0x200F8000, 0x200F8258)] else 1)' " +
                         Quote(dir / "saved.hex")),
              0);
    ASSERT_EQ(testsupport::SrecRewrite(dir / "saved.hex", dir / "other.hex"), 0);
    auto other = MakeHask1Doc(9);
    EXPECT_EQ(testsupport::QuestionsOfLoading(*other, dir / "other.hex"), std::vector<std::string>{});
    EXPECT_EQ(testsupport::ImageDifference(*other, *doc), "");
}

TEST(Hask1Doc, RandomImageRoundTripsByteForByte)
{
    testsupport::TempDir dir;
    std::mt19937 random(40);
    for (int code : kCodes) {
        SCOPED_TRACE(code);
        auto doc = NewDoc(code);
        for (int i = 0; i < doc->Image.BlockCount(); ++i) {
            TMemoryBlock* b = doc->Image.BlockByIndex(i);
            for (int32_t k = 0; k < b->Size; ++k) b->Data()[k] = static_cast<uint8_t>(random());
        }
        doc->SchemeIdField()->SetValue(doc->ExpectedSchemeId);
        const auto file = dir / platform::Format("%d.hex", code);
        doc->SaveToFile(file);
        auto loaded = MakeHask1Doc(code);
        ScriptedPrompt prompt{mrNoToAll}; // random bytes hold no defaults: keep them all
        loaded->Prompt = &prompt;
        ScopedLogRecorder log;
        loaded->LoadFromFile(file);
        EXPECT_EQ(testsupport::ImageDifference(*loaded, *doc), "");
    }
}

namespace {

// The questions a load of `from`'s reset file into a new `into` document asks, by the
// path behind the model name; the answers are No.
std::vector<std::string> QuestionsOfLoad(int from, int into, const std::function<void(TZumo2Doc&)>& change = {})
{
    testsupport::TempDir dir;
    auto source = NewDoc(from);
    if (change) change(*source);
    source->SaveToFile(dir / "x.hex");
    auto doc = MakeHask1Doc(into);
    ScriptedPrompt prompt;
    for (int i = 0; i < 100; ++i) prompt.Push(mrNo);
    doc->Prompt = &prompt;
    ScopedLogRecorder log;
    doc->LoadFromFile(dir / "x.hex");
    std::vector<std::string> paths;
    const std::string head = "Параметр \"" + doc->ModelName + ".";
    for (const std::string& q : prompt.Questions()) {
        EXPECT_EQ(q.rfind(head, 0), 0u) << q;
        paths.push_back(q.substr(head.size(), q.find('"', head.size()) - head.size()));
    }
    return paths;
}

} // namespace

TEST(Hask1Doc, DefaultCheck)
{
    for (int code : kCodes) EXPECT_EQ(QuestionsOfLoad(code, code), std::vector<std::string>{}) << code;

    const auto level5 = [](TZumo2Doc& d) { d.Find<TFieldLst>("Modem1")->Find<TField>("300_03")->SetValue(5); };
    EXPECT_EQ(QuestionsOfLoad(8, 8, level5), std::vector<std::string>{});
    EXPECT_EQ(QuestionsOfLoad(6, 6, level5), std::vector<std::string>{"Modem1.300_03"});
}

TEST(Hask1Doc, CrossLoadsWithinTheFamily)
{
    const std::vector<std::string> twinIntoSingle = {
        "025",
        "Modem1.300_Fpass1",
        "Modem1.300_Fpass2",
        "Modem1.300_Fstop1",
        "Modem1.300_Fstop2",
        "Modem1.400_Fpass1",
        "Modem1.400_Fpass2",
        "Modem1.400_Fstop1",
        "Modem1.400_Fstop2",
        "Modem1.speed2",
    };
    EXPECT_EQ(QuestionsOfLoad(9, 6), twinIntoSingle);
    EXPECT_EQ(QuestionsOfLoad(6, 9), std::vector<std::string>{"025"});
    EXPECT_EQ(QuestionsOfLoad(6, 10), std::vector<std::string>{});
    EXPECT_EQ(QuestionsOfLoad(10, 6), std::vector<std::string>{});
}
