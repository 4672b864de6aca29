#include "model/uGrendal.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
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
using testsupport::ImageDifference;
using testsupport::QuestionsOfLoading;
using testsupport::RunCommand;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;
using testsupport::SrecRewrite;

namespace {

std::unique_ptr<TGrendalDoc> NewDoc()
{
    std::unique_ptr<TGrendalDoc> doc(dynamic_cast<TGrendalDoc*>(MakeGrendalDoc().release()));
    doc->ResetDefaults();
    return doc;
}

TField* FieldIn(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    EXPECT_NE(field, nullptr) << key;
    return field;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::vector<std::string> FileLines(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(GrendalDoc, MembersPortsAndCounts)
{
    auto doc = NewDoc();
    EXPECT_EQ(testsupport::MembersOf(*doc), (testsupport::TDocMembers{"Tramel-5141", "Контроллер Tramel-5141", 0,
                                                                      "Scheme ID:1.0.0.0", 6, 0xA6186, 127}));
    EXPECT_EQ(doc->GetPortNames(), (std::vector<std::string>{"COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "LAN1",
                                                              "LAN2", "LAN1 или LAN2"}));
    ASSERT_EQ(doc->COMPortCount(), 6);
    for (int i = 0; i < 6; ++i) {
        TUART* port = doc->COMPortByIndex(i);
        ASSERT_NE(port, nullptr);
        EXPECT_STREQ(port->ClassName(), "TCOMGrendal");
        EXPECT_EQ(port->Name, "COM" + std::to_string(i + 1));
        EXPECT_EQ(doc->FindField(port->Name), port);
        EXPECT_EQ(port->NodeOffset(), 8 * i);
        EXPECT_TRUE(testsupport::AuditLayout(*port, 8));
    }

    ASSERT_EQ(doc->Image.BlockCount(), 2);
    EXPECT_EQ(doc->Image.BlockByIndex(0)->Size, 232);
    EXPECT_EQ(doc->Image.BlockByIndex(1)->Address, 0x1000u);
    EXPECT_EQ(doc->Image.BlockByIndex(1)->Size, 145400);
    EXPECT_EQ(doc->LogicChannelCount(), 0);
    ASSERT_EQ(doc->DeviceCount(), 200);
    EXPECT_EQ(doc->DeviceByIndex(199)->NodeOffset(), 199 * 724);
    EXPECT_EQ(doc->DeviceByIndex(99)->Name, "Устройство_100");
    EXPECT_EQ(doc->DeviceByIndex(99)->NodeOffset(), 99 * 724);
    EXPECT_EQ(doc->DeviceByIndex(199)->Name, "Устройство_200");
    EXPECT_EQ(doc->ApertureByIndex(0)->NodeOffset(), 144800);
    EXPECT_EQ(doc->ScaleByIndex(0)->NodeOffset(), 145000);
    EXPECT_EQ(doc->ScaleByIndex(49)->NodeOffset() + 8, 145400);

    TDevice& d = *doc->DeviceByIndex(0);
    EXPECT_STREQ(d.ClassName(), "TDeviceGrendal");
    EXPECT_EQ(dynamic_cast<THask1Device*>(&d), nullptr);
    d.PortField()->SetValue(int32_t{0});
    EXPECT_EQ(d.DevicePortName(), "COM2");
    d.PortField()->SetValue(int32_t{8});
    EXPECT_EQ(d.DevicePortName(), "LAN1 или LAN2");
}

TEST(GrendalDoc, HeaderLayoutAndResetBytes)
{
    auto doc = NewDoc();
    struct Row {
        const char* key;
        int32_t offset, size;
        int32_t def;
        bool checked;
    };
    const Row rows[] = {
        {"noname_0", 64, 4, 0, false}, {"noname_2", 72, 2, 0, false}, {"021", 74, 2, 0, true},
        {"022", 74, 2, 1, false},      {"025", 74, 2, 1, true},       {"028", 74, 2, 0, true},
        {"040", 76, 2, 0, true},       {"041", 78, 2, 500, false},    {"044", 84, 2, 1440, false},
        {"045", 86, 2, 0, true},       {"048", 88, 1, -1, true},      {"049", 89, 1, -1, true},
        {"047", 90, 2, 0, true},
    };
    for (const Row& r : rows) {
        TField* f = FieldIn(*doc, r.key);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->NodeOffset(), r.offset) << r.key;
        EXPECT_EQ(f->Size, r.size) << r.key;
        EXPECT_EQ(f->DefaultValue.ToInt32(), r.def) << r.key;
        EXPECT_EQ(f->CheckDefault, r.checked) << r.key;
    }
    for (int i = 0; i < 6; ++i) {
        auto* text = doc->Find<TStrField>("05" + std::to_string(i));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->NodeOffset(), 96 + 16 * i);
        EXPECT_EQ(text->Size, 16);
    }
    auto* kept = doc->Find<TStrField>("noname_192");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->NodeOffset(), 192);
    EXPECT_EQ(kept->Size, 20);
    EXPECT_FALSE(kept->CheckDefault);
    EXPECT_EQ(doc->SchemeIdField()->NodeOffset(), 212);
    EXPECT_EQ(doc->Find<TUART>("ETH_0")->NodeOffset(), 48);
    EXPECT_EQ(doc->Find<TUART>("ETH_1")->Name, "LAN2");

    for (int i = 0; i < 6; ++i) EXPECT_EQ(BytesAt(*doc, static_cast<uint32_t>(8 * i), 2), "08 00") << i;
    EXPECT_EQ(BytesAt(*doc, 48, 2), "0A 00");
    EXPECT_EQ(BytesAt(*doc, 56, 2), "0A 00");
    EXPECT_EQ(BytesAt(*doc, 74, 2), "1A 00");
    EXPECT_EQ(BytesAt(*doc, 78, 2), "F4 01");
    EXPECT_EQ(BytesAt(*doc, 80, 2), "F4 01");
    EXPECT_EQ(BytesAt(*doc, 84, 2), "A0 05");
    EXPECT_EQ(BytesAt(*doc, 88, 2), "FF FF");
    EXPECT_EQ(BytesAt(*doc, 212, 17), Hex(reinterpret_cast<const uint8_t*>("Scheme ID:1.0.0.0"), 17));
}

TEST(GrendalDevice, DifferencesFromThePelvarDevice)
{
    auto grendal = MakeGrendalDoc();
    auto hask = MakeHask1Doc(6);
    TDevice& g = *grendal->DeviceByIndex(0);
    TDevice& h = *hask->DeviceByIndex(0);
    EXPECT_TRUE(testsupport::AuditLayout(g, 724));
    ASSERT_EQ(g.FieldCount(), h.FieldCount());
    struct Difference {
        const char* key;
        int32_t def;
        bool checked;
    };
    const Difference differences[] = {
        {"001", 115200, false}, {"007", 2404, false}, {"055", 0, false}, {"068_1", 8, false}, {"068_2", 0, false},
        {"068_3", 1, false},    {"073", 1, false},    {"078", 0, false}, {"000", 1, false},
    };
    std::set<std::string> differing;
    for (const Difference& d : differences) {
        differing.insert(d.key);
        TField* f = FieldIn(g, d.key);
        EXPECT_EQ(f->DefaultValue.ToInt32(), d.def) << d.key;
        EXPECT_EQ(f->CheckDefault, d.checked) << d.key;
    }
    for (int i = 0; i < h.FieldCount(); ++i) {
        const std::string key = h.FieldName(i);
        ASSERT_EQ(g.FieldName(i), key);
        auto* hf = dynamic_cast<TField*>(h.FieldByIndex(i));
        auto* gf = dynamic_cast<TField*>(g.FieldByIndex(i));
        if (!hf || differing.count(key)) continue;
        ASSERT_NE(gf, nullptr) << key;
        EXPECT_EQ(gf->NodeOffset(), hf->NodeOffset()) << key;
        EXPECT_EQ(gf->Size, hf->Size) << key;
        EXPECT_TRUE(gf->DefaultValue.Equals(hf->DefaultValue)) << key;
        EXPECT_EQ(gf->CheckDefault, hf->CheckDefault) << key;
    }
    for (int index = 1; index < ProtocolCount; ++index)
        EXPECT_EQ(g.ProtocolBlock(index) != nullptr, h.ProtocolBlock(index) != nullptr) << index;

    auto doc = NewDoc();
    EXPECT_EQ(BytesAt(*doc, 0x1000, 4), "00 C2 01 00");
    EXPECT_EQ(BytesAt(*doc, 0x1000 + 24, 2), "64 09");
    EXPECT_EQ(BytesAt(*doc, 0x1000 + 72, 2), "01 00");
}

TEST(GrendalDevice, MarkUnusedFieldsFollowsLanRoleAndProtocol)
{
    const std::vector<std::string> onLan = {"001", "006", "068_1", "068_2", "068_3"};
    const std::vector<std::string> offLan = {"003", "007", "022", "024"};
    const std::vector<std::string> iecOnly = {"061", "062", "063", "064", "065", "066", "067", "074", "075",
                                              "076", "077", "078", "090", "091", "092", "093", "094", "095",
                                              "096", "097", "098", "099", "101"};
    const std::vector<std::string> byRole = {"0004", "ts_link", "tit_link"};
    std::vector<std::string> all = {"073", "019", "0013", "0014", "0015"};
    for (const auto* group : {&onLan, &offLan, &iecOnly, &byRole}) all.insert(all.end(), group->begin(), group->end());

    auto doc = NewDoc();
    TDevice& d = *doc->DeviceByIndex(0);
    for (int port : {0, 5, 6, 8}) {
        for (int index : {1, 2}) {
            for (int role : {0, 1}) {
                SCOPED_TRACE(::testing::PrintToString(std::vector<int>{port, index, role}));
                d.ResetDefaults();
                d.RoleField()->SetValue(int32_t{role});
                d.ProtocolField()->SetValue(int32_t{ProtocolCodes[index]});
                d.PortField()->SetValue(int32_t{port});
                d.MarkUnusedFields();
                const bool lan = port >= 6;
                std::set<std::string> expected;
                auto add = [&expected](bool on, const std::vector<std::string>& keys) {
                    if (on) expected.insert(keys.begin(), keys.end());
                };
                add(lan, onLan);
                add(!lan, offLan);
                add(index != 1, iecOnly);
                add(role == 1, byRole);
                add(role == 0, {"019"});
                add(role == 1, {"0013", "0014", "0015"});
                std::set<std::string> checked;
                for (const std::string& key : all)
                    if (auto* f = dynamic_cast<TField*>(d.TFieldLst::FindField(key)); f && f->CheckDefault)
                        checked.insert(key);
                EXPECT_EQ(checked, expected);
            }
        }
    }
}

TEST(GrendalDoc, SavedFileUsesSegmentRecordsAndPeersReadIt)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    testsupport::TempDir dir;
    auto doc = NewDoc();
    doc->SaveToFile(dir / "saved.hex");
    const std::vector<std::string> lines = FileLines(dir / "saved.hex");
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(lines[0].substr(0, 9), ":10000000") << "no extended record before the first data record";
    // Each segment record comes right after the record at offset 0xFFF0 of the window before.
    for (const char* segment : {":020000021000EC", ":020000022000DC"}) {
        const auto at = std::find(lines.begin(), lines.end(), segment);
        ASSERT_NE(at, lines.end()) << segment;
        ASSERT_NE(at, lines.begin());
        EXPECT_EQ((at - 1)->substr(0, 9), ":10FFF000") << segment;
    }

    // intelhex sees the image byte for byte.
    std::ofstream(dir / "image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(doc->Image.BlockByIndex(0)->Data()), 232)
        .write(reinterpret_cast<const char*>(doc->Image.BlockByIndex(1)->Data()), 145400);
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import sys\n"
                         "from intelhex import IntelHex\n"
                         "h = IntelHex(sys.argv[1]).todict()\n"
                         "b = open(sys.argv[2], \"rb\").read()\n"
                         "want = {a: b[a] for a in range(232)}\n"
                         "want.update({0x1000 + a: b[232 + a] for a in range(145400)})\n"
                         "sys.exit(0 if h == want else 1)' " +
                         Quote(dir / "saved.hex") + " " + Quote(dir / "image.bin")),
              0);

    ASSERT_EQ(SrecRewrite(dir / "saved.hex", dir / "other.hex"), 0);
    auto other = MakeGrendalDoc();
    EXPECT_EQ(QuestionsOfLoading(*other, dir / "other.hex"), std::vector<std::string>{});
    EXPECT_EQ(ImageDifference(*other, *doc), "");
}

TEST(GrendalDoc, RawTextAndRandomImageRoundTrip)
{
    testsupport::TempDir dir;
    auto doc = NewDoc();
    uint8_t* header = doc->Image.BlockByIndex(0)->Data();
    const uint8_t raw[20] = {0x98, 0xC0, 0xFF, 0x01, 0x41, 0x98, 0x7F, 0x80, 0x20, 0x98,
                             0xE9, 0xA8, 0xB8, 0x00, 0x5A, 0x98, 0x98, 0x11, 0xFE, 0x98};
    std::memcpy(header + 192, raw, sizeof raw);
    doc->SaveToFile(dir / "raw.hex");
    auto loaded = MakeGrendalDoc();
    EXPECT_EQ(QuestionsOfLoading(*loaded, dir / "raw.hex"), std::vector<std::string>{});
    EXPECT_EQ(Hex(loaded->Image.BlockByIndex(0)->Data() + 192, 20), Hex(raw, 20));

    std::mt19937 random(41);
    for (int i = 0; i < doc->Image.BlockCount(); ++i) {
        TMemoryBlock* b = doc->Image.BlockByIndex(i);
        for (int32_t k = 0; k < b->Size; ++k) b->Data()[k] = static_cast<uint8_t>(random());
    }
    doc->SchemeIdField()->SetValue(doc->ExpectedSchemeId);
    doc->SaveToFile(dir / "random.hex");
    auto again = MakeGrendalDoc();
    ScriptedPrompt prompt{mrNoToAll};
    again->Prompt = &prompt;
    ScopedLogRecorder log;
    again->LoadFromFile(dir / "random.hex");
    EXPECT_EQ(ImageDifference(*again, *doc), "");
}

TEST(GrendalDoc, DefaultCheckWithEverySlotInUse)
{
    testsupport::TempDir dir;
    auto doc = NewDoc();
    std::vector<int> protocols;
    for (int index = 1; index < ProtocolCount; ++index)
        if ((doc->PuProtocolMask | doc->KpProtocolMask) & (1u << index)) protocols.push_back(index);
    for (int slot = 0; slot < 200; ++slot) {
        TDevice& d = *doc->DeviceByIndex(slot);
        const int role = slot % 2;
        const uint32_t mask = role == 1 ? doc->PuProtocolMask : doc->KpProtocolMask;
        int index = protocols[static_cast<size_t>(slot / 2) % protocols.size()];
        if (!(mask & (1u << index))) index = 1;
        d.RoleField()->SetValue(int32_t{role});
        d.ProtocolField()->SetValue(int32_t{ProtocolCodes[index]});
        d.PortField()->SetValue(int32_t{slot % 9});
        d.AddressField()->SetValue(int32_t{slot + 1});
    }
    doc->SaveToFile(dir / "full.hex");
    auto loaded = MakeGrendalDoc();
    EXPECT_EQ(QuestionsOfLoading(*loaded, dir / "full.hex"), std::vector<std::string>{});
    EXPECT_EQ(loaded->DeviceByIndex(199)->AddressField()->GetValue().ToInt32(), 200);
}

TEST(GrendalDoc, CrossLoadsWithThePelvarDocuments)
{
    testsupport::TempDir dir;
    auto hask = MakeHask1Doc(6);
    hask->ResetDefaults();
    hask->SaveToFile(dir / "hask.hex");
    auto grendal = NewDoc();
    grendal->SaveToFile(dir / "grendal.hex");

    auto intoGrendal = MakeGrendalDoc();
    EXPECT_EQ(ErrorOf([&] { intoGrendal->LoadFromFile(dir / "hask.hex"); }),
              "Файл параметров не имеет блока данных 00000000 - 000000E8");
    auto intoHask = MakeHask1Doc(6);
    EXPECT_EQ(ErrorOf([&] { intoHask->LoadFromFile(dir / "grendal.hex"); }),
              "Файл параметров не имеет блока данных 200F0000 - 200F094C");
}
