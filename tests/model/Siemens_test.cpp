#include "model/uZumo2_Siemens.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/ProtocolBlockFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace testsupport;
using platform::Format;

namespace {

constexpr int kSiemens = 28;
constexpr int kArea = 1126;

// The stems of the 16 mask words of a descriptor, with what goes between stem and bit.
const std::pair<const char*, const char*> kMaskStems[16] = {
    {"SymapInput", ""},
    {"SymapOutput", ""},
    {"DP_MD5_DI_ExtBoard_WORD1", "_"},
    {"DP_MD5_DI_ExtBoard_WORD2", "_"},
    {"DP_MD5_DI_ExtBoard_WORD3", "_"},
    {"DP_MD5_DQ_ExtBoard_WORD1", "_"},
    {"DP_MD5_DQ_ExtBoard_WORD2", "_"},
    {"DP_MD25_Alarm1_Status", "_"},
    {"DP_MD25_Alarm2_Status", "_"},
    {"DP_MD25_Alarm3_Status", "_"},
    {"DP_MD25_Alarm4_Status", "_"},
    {"DP_MD25_Alarm5_Status", "_"},
    {"PLC_Event_W1", "_"},
    {"PLC_Alarm_W1", "_"},
    {"PLC_Alarm_W2", "_"},
    {"PLC_Alarm_W3", "_"},
};

// The non-zero area bytes a reset of the Siemens block writes.
std::map<int, uint8_t> SiemensDefaults()
{
    std::map<int, uint8_t> bytes{{0, 6}};
    for (int n = 0; n < 16; ++n) {
        bytes[70 + 66 * n] = 6;
        for (int b = 34; b < 66; ++b) bytes[70 + 66 * n + b] = 0xFF;
    }
    return bytes;
}

std::unique_ptr<TZumo2SiemensDoc> NewSiemens(bool reset = true)
{
    return MakeAs<TZumo2SiemensDoc>(MakeZumo2SiemensDoc, reset);
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::vector<uint8_t> BlockBytes(const TDocument& doc, int index)
{
    const TMemoryBlock* b = doc.Image.BlockByIndex(index);
    return {b->Data(), b->Data() + b->Size};
}

} // namespace

TEST(SiemensSymap, BlockOfEntry28)
{
    std::vector<KeyAt> keys = {Byte("DevType_rez", 0), Word("PeriodM", 6), Byte("PeriodUM", 8)};
    for (int n = 0; n < 16; ++n) keys.push_back(WordBit(Format("SRegisterEnabled%.2d", n), 9, n));
    for (int n = 0; n < 16; ++n) keys.push_back(Record(Format("SiemensRegister%.2d", n), 70 + 66 * n, 66));
    ExpectBlockMatches({kSiemens, "TDevProtocolSiemensSymap", kArea, keys, SiemensDefaults()}, kArea);
    EXPECT_EQ(DevProtocolAreaSize(kSiemens), kArea);
    EXPECT_EQ(DevProtocolAreaSize(2), 70);
}

TEST(SiemensSymap, LayoutOrderAndDescriptors)
{
    ProtocolBlockFixture f(kSiemens, std::nullopt, 0, kArea);
    auto& block = dynamic_cast<TDevProtocolSiemensSymap&>(f.Block());

    std::vector<std::string> order = {"DevType_rez", "PeriodM", "PeriodUM"};
    for (int n = 0; n < 16; ++n) order.push_back(Format("SRegisterEnabled%.2d", n));
    for (int n = 0; n < 16; ++n) order.push_back(Format("SiemensRegister%.2d", n));
    EXPECT_EQ(KeysOf(block), order);

    std::vector<std::string> descriptorOrder = {"DevType", "Rez1"};
    for (int k = 0; k < 16; ++k) descriptorOrder.push_back(Format("SRegAddr%.2d", k));
    for (const auto& [stem, gap] : kMaskStems)
        for (int b = 0; b < 16; ++b) descriptorOrder.push_back(Format("%s%s%.2d", stem, gap, b));

    ASSERT_EQ(block.RegisterCount(), 16);
    EXPECT_EQ(block.RegisterByIndex(16), nullptr);
    EXPECT_EQ(block.RegisterByIndex(-1), nullptr);
    for (int n = 0; n < 16; ++n) {
        SCOPED_TRACE(n);
        TSiemensRegister* r = block.RegisterByIndex(n);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r, block.FindField(Format("SiemensRegister%.2d", n)));
        EXPECT_EQ(r->Name, Format("Siemens register %.2d", n + 1));
        EXPECT_TRUE(AuditLayout(*r, 66));
        EXPECT_EQ(KeysOf(*r), descriptorOrder);
        int bits = 0;
        for (int i = 0; i < r->FieldCount(); ++i) bits += dynamic_cast<TBitFleld*>(r->FieldByIndex(i)) ? 1 : 0;
        EXPECT_EQ(bits, 256);
        ASSERT_NE(r->FindField("symapinput00"), nullptr);
        EXPECT_EQ(r->FindField("symapinput00")->NodeOffset() - ProtocolBlockFixture::Guard, 70 + 66 * n + 34);
        ASSERT_NE(r->FindField("PLC_Alarm_W3_15"), nullptr);
        EXPECT_EQ(r->Find<TBitFleld>("PLC_Alarm_W3_15")->Position, 15);
        EXPECT_EQ(r->FindField("SRegAddr15")->NodeOffset() - ProtocolBlockFixture::Guard, 70 + 66 * n + 32);
    }
}

TEST(SiemensSymap, DeviceRecordHasRoomForTheBlock)
{
    auto doc = NewSiemens(false);
    TDevice& d = *doc->DeviceByIndex(0);
    EXPECT_STREQ(d.ClassName(), "TZumo2SiemensDevice");
    EXPECT_TRUE(AuditLayout(d, 1780));
    EXPECT_EQ(d.FindField("Channels00")->NodeOffset(), 1220);
    EXPECT_EQ(d.FindField("Apperture00")->NodeOffset(), 1460);
    EXPECT_EQ(d.FindField("Scales00")->NodeOffset(), 1620);
    ASSERT_NE(d.ProtocolBlock(kSiemens), nullptr);
    EXPECT_TRUE(FitsArea(*d.ProtocolBlock(kSiemens), d.ProtocolAreaOffset(), kArea));
    EXPECT_EQ(d.ProtocolAreaOffset(), 94);

    auto base = MakeZumo2Doc();
    EXPECT_EQ(base->DeviceByIndex(0)->ProtocolBlock(kSiemens), nullptr) << "no room in a 70-byte area";
}

TEST(SiemensSymap, SelectingTheProtocolWritesItsDefaultsInsideTheArea)
{
    auto doc = NewSiemens();
    TMemoryBlock* table = doc->Image.BlockByIndex(2);
    constexpr uint8_t sentinel = 0xA5;
    std::memset(table->Data(), sentinel, static_cast<size_t>(table->Size));
    TDevice& d = *doc->DeviceByIndex(1);
    const auto area = static_cast<size_t>(d.ProtocolAreaOffset());
    const auto code = static_cast<size_t>(d.ProtocolField()->NodeOffset());

    d.ProtocolField()->SetValue(35);
    ASSERT_EQ(d.ActiveProtocol(), d.ProtocolBlock(kSiemens));
    std::vector<uint8_t> expected(static_cast<size_t>(table->Size), sentinel);
    std::fill_n(expected.begin() + static_cast<ptrdiff_t>(area), kArea, 0);
    for (const auto& [at, byte] : SiemensDefaults()) expected[area + static_cast<size_t>(at)] = byte;
    expected[code] = 35;
    EXPECT_EQ(BlockBytes(*doc, 2), expected);

    // Switching away zeroes all 1126 bytes before the ModBus defaults are written.
    std::memset(table->Data() + area, 0x5A, kArea);
    d.ProtocolField()->SetValue(ProtocolCodes[2]);
    std::fill_n(expected.begin() + static_cast<ptrdiff_t>(area), kArea, 0);
    for (const auto& [at, byte] : std::map<int, uint8_t>{{2, 0xD0}, {3, 0x07}, {10, 2}, {11, 4}})
        expected[area + static_cast<size_t>(at)] = byte;
    expected[code] = ProtocolCodes[2];
    EXPECT_EQ(BlockBytes(*doc, 2), expected);
}

TEST(SiemensSymap, CodeInAnOrdinaryDeviceSelectsNoBlockAndTouchesNothing)
{
    auto doc = MakeZumo2Doc();
    doc->ResetDefaults();
    TDevice& last = *doc->DeviceByIndex(19); // the logical channels lie behind it
    TMemoryBlock* table = doc->Image.BlockByIndex(1);
    table->Data()[last.ProtocolField()->NodeOffset()] = 35; // as a load would put it
    const std::vector<uint8_t> before = BlockBytes(*doc, 1);
    EXPECT_EQ(last.ActiveProtocolIndex(), kSiemens);
    EXPECT_EQ(last.ActiveProtocol(), nullptr);

    ScriptedPrompt prompt{mrYesToAll};
    TDefaultCheckRun run{0, &prompt};
    doc->CheckDefaults(doc->ModelName, run);
    EXPECT_EQ(BlockBytes(*doc, 1), before);
}

TEST(SiemensDoc, MembersAndBlocks)
{
    auto doc = NewSiemens(false);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->ModelName, "Zumo2 Siemens");
    EXPECT_EQ(doc->Name, "Zumo2");
    EXPECT_EQ(doc->GetCaption(), "Zumo2 Siemens");
    EXPECT_EQ(doc->ExpectedSchemeId, "Scheme ID:15.0.0.0");
    EXPECT_EQ(doc->KpProtocolMask, 0x1FEFEFBEu);
    EXPECT_EQ(doc->PuProtocolMask, 0x00D59B7Eu);
    EXPECT_EQ(doc->BaseAddress, 0x08004000u);
    EXPECT_EQ(doc->GetPortNames(), (std::vector<std::string>{"COM", "XPort", "485"}));

    const std::pair<uint32_t, int32_t> blocks[] = {{0x0000, 84}, {0x67D6, 1045}, {0x0200, 5660}, {0x7000, 1800}};
    ASSERT_EQ(doc->Image.BlockCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(doc->Image.BlockByIndex(i)->Address, blocks[i].first) << i;
        EXPECT_EQ(doc->Image.BlockByIndex(i)->Size, blocks[i].second) << i;
    }
    ASSERT_NE(doc->SRegisterRef, nullptr);
    EXPECT_EQ(doc->FindField("SRegisterRef"), doc->SRegisterRef);
    EXPECT_EQ(doc->SRegisterRef->Block, doc->Image.BlockByIndex(1));
    EXPECT_EQ(doc->SRegisterRef->Count, 16);
    EXPECT_EQ(doc->SRegisterRef->SlotSize(), 65);
    EXPECT_EQ(BlockBytes(*doc, 1)[0], 1) << "the built document holds its header";

    ASSERT_EQ(doc->DeviceCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(doc->DeviceByIndex(i)->NodeOffset(), 1780 * i);
        EXPECT_EQ(doc->DeviceByIndex(i)->Name, Format("Устройство_%.2d", i + 1));
    }
    ASSERT_EQ(doc->LogicChannelCount(), 20);
    EXPECT_EQ(doc->LogicChannelByIndex(0)->NodeOffset(), 5340);
    EXPECT_EQ(doc->LogicChannelByIndex(19)->NodeOffset() + doc->LogicChannelByIndex(19)->Size, 5660);
    ASSERT_EQ(doc->ApertureCount(), 50);
    ASSERT_EQ(doc->ScaleCount(), 50);
    EXPECT_EQ(doc->ApertureByIndex(0)->NodeOffset(), 1200);
    EXPECT_EQ(doc->ScaleByIndex(0)->NodeOffset(), 1400);
    EXPECT_EQ(doc->ScaleByIndex(49)->NodeOffset() + 8, 1800);
}

TEST(SiemensDoc, ResetDocumentAsksNothingWithSiemensDevices)
{
    auto doc = NewSiemens();
    EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), "Scheme ID:15.0.0.0");
    for (bool withDevices : {false, true}) {
        if (withDevices) {
            for (int i = 0; i < doc->DeviceCount(); ++i) {
                TDevice& d = *doc->DeviceByIndex(i);
                d.RoleField()->SetValue(0);
                d.PortField()->SetValue(0);
                d.ProtocolField()->SetValue(35);
            }
        }
        ScriptedPrompt prompt; // any question fails the test
        TDefaultCheckRun run{0, &prompt};
        doc->CheckDefaults(doc->ModelName, run);
        EXPECT_TRUE(prompt.Questions().empty()) << withDevices;
    }
}

TEST(SiemensDoc, SavedFileHoldsTheBlocksInListOrderAndPeersAgree)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    TempDir dir;
    auto doc = NewSiemens();
    doc->SetRegisterName(0, "Насос");
    doc->SaveToFile(dir / "siemens.hex");

    const std::string text = ReadFile(dir / "siemens.hex");
    EXPECT_EQ(text.rfind(":020000040800F2\r\n", 0), 0u);
    std::vector<std::pair<uint32_t, uint32_t>> expected, records;
    for (const auto& [start, size] :
         {std::pair<uint32_t, uint32_t>{0x4000, 84}, {0xA7D6, 1045}, {0x4200, 5660}, {0xB000, 1800}})
        for (uint32_t at = 0; at < size; at += 16) expected.push_back({start + at, std::min(16u, size - at)});
    int extended = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.substr(7, 2) == "04") ++extended;
        if (line.substr(7, 2) == "00")
            records.push_back({std::stoul(line.substr(3, 4), nullptr, 16), std::stoul(line.substr(1, 2), nullptr, 16)});
    }
    EXPECT_EQ(extended, 1);
    EXPECT_EQ(records, expected);

    EXPECT_EQ(IntelHexLines(dir / "siemens.hex"), AddressLines(*doc));

    ASSERT_EQ(RunCommand("srec_cat " + Quote(dir / "siemens.hex") + " -intel -o " + Quote(dir / "other.hex") +
                         " -intel -obs=32"),
              0);
    auto back = NewSiemens(false);
    ScriptedPrompt prompt; // any question fails the test
    back->Prompt = &prompt;
    back->LoadFromFile(dir / "other.hex");
    EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    EXPECT_TRUE(prompt.Questions().empty());
    EXPECT_EQ(back->GetRegisterName(0), "Насос");
}

TEST(SiemensDoc, RegisterNamesAreCutAndSurviveAFile)
{
    TempDir dir;
    auto doc = NewSiemens();
    std::string name;
    for (int i = 0; i < 70; ++i) name += static_cast<char>('A' + i % 26);
    doc->SetRegisterName(15, name);
    EXPECT_EQ(doc->GetRegisterName(15), name.substr(0, 64));
    const std::vector<uint8_t> names = BlockBytes(*doc, 1);
    EXPECT_EQ(names[5 + 15 * 65], 64);
    EXPECT_EQ(names[1044], static_cast<uint8_t>(name[63])) << "the last slot ends the block";
    EXPECT_EQ(ErrorOf([&] { doc->SetRegisterName(16, "x"); }), "Range error");

    doc->SaveToFile(dir / "names.hex");
    auto back = NewSiemens(false);
    back->LoadFromFile(dir / "names.hex");
    EXPECT_EQ(back->GetRegisterName(15), name.substr(0, 64));
    EXPECT_EQ(back->SRegisterRef->CachedStrings[15].first, name.substr(0, 64));
}

TEST(SiemensDoc, FileOfTheBaseSchemeIsRefused)
{
    TempDir dir;
    auto source = NewSiemens();
    source->SchemeIdField()->SetValue("Scheme ID:8.0.0.0");
    source->SaveToFile(dir / "v8.hex");
    auto doc = NewSiemens(false);
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "v8.hex"); }),
              "Файл параметров имеет версию \"Scheme ID:8.0.0.0\" вместо \"Scheme ID:15.0.0.0\"\r\n"
              "Прошивка не подходит для контроллера Zumo2 Siemens");
}

TEST(SiemensDoc, RandomImageRoundTripsByteForByte)
{
    TempDir dir;
    auto doc = NewSiemens();
    std::mt19937 random(1780);
    for (int i = 0; i < doc->Image.BlockCount(); ++i) {
        TMemoryBlock* b = doc->Image.BlockByIndex(i);
        for (int32_t k = 0; k < b->Size; ++k) {
            const bool scheme = i == 0 && k >= 64;
            const bool header = i == 1 && k < 5;
            if (!scheme && !header) b->Data()[k] = static_cast<uint8_t>(random());
        }
    }
    doc->SaveToFile(dir / "first.hex");

    auto back = NewSiemens(false);
    ScriptedPrompt prompt{mrNoToAll};
    back->Prompt = &prompt;
    back->LoadFromFile(dir / "first.hex");
    back->SaveToFile(dir / "second.hex");
    EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    EXPECT_EQ(ReadFile(dir / "second.hex"), ReadFile(dir / "first.hex"));
}

TEST(SiemensDoc, LastLogicalChannelStaysInsideTheTable)
{
    auto doc = NewSiemens();
    TLogic& last = *doc->LogicChannelByIndex(19);
    const std::vector<uint8_t> before = BlockBytes(*doc, 2);
    last.TypeField->SetValue(ChannelTypeCodes[7]); // ТР
    last.ResetDefaults();
    last.TypeField->SetValue(ChannelTypeCodes[7]);
    ASSERT_NE(last.ActiveKind(), nullptr);
    EXPECT_TRUE(FitsArea(*last.ActiveKind(), last.KindAreaOffset, TLogic::KindAreaSize));
    const std::vector<uint8_t> after = BlockBytes(*doc, 2);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 5644, after.begin())) << "only the last entry changed";
}
