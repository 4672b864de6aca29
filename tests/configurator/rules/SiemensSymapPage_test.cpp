#include "configurator/rules/SiemensSymapPage.h"
#include "model/uDevProtocols.h"
#include "model/uZumo2_Siemens.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A Siemens document whose first device polls Siemens Symap.
class SymapRules : public ::testing::Test {
protected:
    std::unique_ptr<TZumo2SiemensDoc> doc = testsupport::MakeAs<TZumo2SiemensDoc>(MakeZumo2SiemensDoc);
    TDevProtocolSiemensSymap* block = nullptr;

    void SetUp() override
    {
        ASSERT_NE(doc, nullptr);
        testsupport::UseSlot(*doc, 0, 28, 0, 0);
        block = dynamic_cast<TDevProtocolSiemensSymap*>(doc->DeviceByIndex(0)->ActiveProtocol());
        ASSERT_NE(block, nullptr);
    }

    // The 66 bytes of a descriptor.
    static std::vector<uint8_t> Bytes(const TSiemensRegister& descriptor)
    {
        std::vector<uint8_t> bytes(TSiemensRegister::RecordSize);
        descriptor.ReadBytes(descriptor.NodeOffset(), bytes.data(), bytes.size());
        return bytes;
    }
};

TEST_F(SymapRules, KeysReachTheirWordsAndBitsInARealDescriptor)
{
    const TSiemensRegister& descriptor = *block->RegisterByIndex(0);
    const std::vector<uint8_t> defaults = Bytes(descriptor);
    for (int p = 0; p < SymapTabCount; ++p) {
        // The address of page p is the word at 2 + 2p.
        auto* address = dynamic_cast<TField*>(descriptor.FindField(SymapAddressKey(p)));
        ASSERT_NE(address, nullptr) << SymapAddressKey(p);
        address->SetValue(int32_t{0x1234});
        std::vector<uint8_t> expected = defaults;
        expected[static_cast<size_t>(2 + 2 * p)] = 0x34;
        expected[static_cast<size_t>(3 + 2 * p)] = 0x12;
        EXPECT_EQ(Bytes(descriptor), expected) << SymapAddressKey(p);
        address->SetValue(int32_t{0});
        // Bit b of page p is bit b of the mask word at 34 + 2p, and only that bit.
        for (int b = 0; b < SymapBitCount; ++b) {
            const std::string key = SymapBitKey(p, b);
            auto* bit = dynamic_cast<TBitFleld*>(descriptor.FindField(key));
            ASSERT_NE(bit, nullptr) << key;
            bit->SetValue(int32_t{0});
            expected = defaults;
            expected[static_cast<size_t>(34 + 2 * p + b / 8)] &= static_cast<uint8_t>(~(1u << (b % 8)));
            EXPECT_EQ(Bytes(descriptor), expected) << key;
            bit->SetValue(int32_t{1});
        }
    }
    EXPECT_EQ(Bytes(descriptor), defaults);

    struct Pinned {
        int page, bit;
        const char* key;
        const char* name;
        const char* caption;
    };
    const Pinned pinned[] = {
        {0, 0, "SymapInput00", "cbInput00", "Дверь КСО открыта"},
        {0, 15, "SymapInput15", "cbInput15", "Неисправность ВВ"},
        {1, 15, "SymapOutput15", "cbOutput15", "DP_MD5 15"},
        {2, 0, "DP_MD5_DI_ExtBoard_WORD1_00", "cbExtBoardDI_Word1_00", "DP_MD5 00"},
        {6, 9, "DP_MD5_DQ_ExtBoard_WORD2_09", "cbExtBoardDQ_Word2_09", "DP_MD5 09"},
        {7, 0, "DP_MD25_Alarm1_Status_00", "cbAlarm1_Status_00", "DP_MD25 00"},
        {11, 15, "DP_MD25_Alarm5_Status_15", "cbAlarm5_Status_15", "DP_MD25 15"},
        {12, 3, "PLC_Event_W1_03", "cbPLC_Event_W1_03", "Event 03"},
        {15, 15, "PLC_Alarm_W3_15", "cbPLC_Alarm_W3_15", "Alarm 15"},
    };
    for (const Pinned& p : pinned) {
        EXPECT_EQ(SymapBitKey(p.page, p.bit), p.key);
        EXPECT_EQ(SymapBitName(p.page, p.bit), p.name);
        EXPECT_EQ(SymapBitCaption(p.page, p.bit), p.caption);
    }

    // The descriptor controls bind in this order: type, addresses, bits.
    const std::vector<std::string>& keys = SymapDescriptorKeys();
    ASSERT_EQ(keys.size(), 273u);
    EXPECT_EQ(keys[0], "DevType");
    EXPECT_EQ(keys[1], "SRegAddr00");
    EXPECT_EQ(keys[16], "SRegAddr15");
    EXPECT_EQ(keys[17], "SymapInput00");
    EXPECT_EQ(keys[17 + 16 * 2], "DP_MD5_DI_ExtBoard_WORD1_00");
    EXPECT_EQ(keys[272], "PLC_Alarm_W3_15");
    for (const std::string& key : keys) EXPECT_NE(descriptor.FindField(key), nullptr) << key;

    EXPECT_THROW(SymapBitKey(16, 0), std::out_of_range);
    EXPECT_THROW(SymapBitKey(0, 16), std::out_of_range);
    EXPECT_THROW(SymapBitCaption(-1, 0), std::out_of_range);
}

TEST(SymapTabsOf, PagesByDeviceType)
{
    struct Case {
        const char* name;
        std::optional<int> type;
        TSymapTabsShown shown;
    };
    const TSymapTabsShown symap{0, 11, 0};
    const Case cases[] = {
        {"Symap_DES_DG", 6, symap},
        {"Symap_DES_RU", 7, symap},
        {"Symap_MGS", 8, symap},
        {"PLC", 9, {12, 15, 12}},
        {"none selected", std::nullopt, symap},
        {"a type no item carries", 0, symap},
    };
    for (const Case& c : cases) EXPECT_EQ(SymapTabsOf(c.type), c.shown) << c.name;
    EXPECT_STREQ(SymapTabs()[0].Caption, "I_Symap");
    EXPECT_STREQ(SymapTabs()[12].Caption, "Event_W1");
}

TEST_F(SymapRules, NamesAndEnableFlags)
{
    EXPECT_EQ(RegisterName(*doc, 5), "ячейка 6");
    EXPECT_EQ(RegisterName(*doc, 15), "ячейка 16");
    doc->SetRegisterName(5, "Шкаф 2");
    EXPECT_EQ(RegisterName(*doc, 5), "Шкаф 2");
    EXPECT_EQ(RegisterName(*doc, 4), "ячейка 5");
    EXPECT_THROW(RegisterName(*doc, 16), std::exception);

    // "SRegisterEnabled05" is bit 5 of the word at area byte 9.
    auto* flag = dynamic_cast<TField*>(block->FindField("SRegisterEnabled05"));
    ASSERT_NE(flag, nullptr);
    flag->SetValue(int32_t{1});
    for (int i = -1; i <= 16; ++i) EXPECT_EQ(IsRegisterEnabled(*block, i), i == 5) << i;
    TDevice& device = *doc->DeviceByIndex(0);
    uint8_t low = 0;
    device.ReadBytes(device.ProtocolAreaOffset() + 9, &low, 1);
    EXPECT_EQ(low, 0x20);
}

TEST(RegisterSelection, StepsOfASequenceOfSelections)
{
    struct Step {
        const char* name;
        int selected;
        TRegisterSelection expected;
    };
    // From the first binding on: -1 bound at the start.
    const Step steps[] = {
        {"the first line binds descriptor 0", 0, {.Selected = true, .Unbind = false, .Bind = 0, .Bound = 0}},
        {"the same line again changes nothing", 0, {.Selected = true, .Unbind = false, .Bind = -1, .Bound = 0}},
        {"line 5 releases 0 and binds 5", 5, {.Selected = true, .Unbind = true, .Bind = 5, .Bound = 5}},
        {"no line keeps 5 bound", -1, {.Selected = false, .Unbind = false, .Bind = -1, .Bound = 5}},
        {"line 5 again after none", 5, {.Selected = true, .Unbind = false, .Bind = -1, .Bound = 5}},
        {"line 15 releases 5", 15, {.Selected = true, .Unbind = true, .Bind = 15, .Bound = 15}},
    };
    int bound = -1;
    for (const Step& s : steps) {
        const TRegisterSelection step = RegisterSelectionOf(s.selected, bound);
        EXPECT_EQ(step, s.expected) << s.name;
        bound = step.Bound;
    }
    EXPECT_EQ(RegisterSelectionOf(-1, -1), (TRegisterSelection{.Selected = false, .Bound = -1}));
}

TEST(RegisterRenamedTo, EmptyAndCancelChangeNothing)
{
    EXPECT_EQ(RegisterRenamedTo(std::nullopt), std::nullopt);
    EXPECT_EQ(RegisterRenamedTo(std::string()), std::nullopt);
    EXPECT_EQ(RegisterRenamedTo(std::string("Шкаф 2")), "Шкаф 2");
    EXPECT_EQ(RegisterRenamedTo(std::string(" ")), " ");
}

} // namespace
