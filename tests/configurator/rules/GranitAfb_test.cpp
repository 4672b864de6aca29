#include "configurator/rules/GranitAfb.h"
#include "model/uZumo2.h"
#include "model/uZumo9.h"
#include "platform/Exceptions.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::LogLine;

TField& FieldOf(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    if (!field) throw std::runtime_error(std::string("no field ") + key);
    return *field;
}

TAfbTable TableOf(std::initializer_list<uint8_t> head)
{
    TAfbTable table;
    table.fill(AfbNone);
    std::copy(head.begin(), head.end(), table.begin());
    return table;
}

// The bytes "TSDB1" holds in the image.
std::vector<int> ImageBytes(const TField& field)
{
    std::vector<uint8_t> bytes(AfbSlotCount);
    field.ReadBytes(field.NodeOffset(), bytes.data(), bytes.size());
    return {bytes.begin(), bytes.end()};
}

std::vector<int> Ints(const TAfbTable& table) { return {table.begin(), table.end()}; }

// A base-model document whose first slot is a Гранит controlled point with channel
// blocks of type 0 with 10, 0 and 55 channels, type 1 with 33, type 3 with 128, and
// one of no type (255) with 7: 65 ТС, 33 ТИТ and 128 ТУ channels.
class GranitAfbDevice : public ::testing::Test {
protected:
    std::unique_ptr<TZumo2Doc> doc = testsupport::NewZumo2Doc();
    TDevice& device = *doc->DeviceByIndex(0);

    void SetUp() override
    {
        testsupport::UseSlot(*doc, 0, 9, 0, 0);
        const std::pair<int, int> blocks[] = {{0, 10}, {0, 0}, {0, 55}, {1, 33}, {3, 128}, {255, 7}};
        for (size_t i = 0; i < std::size(blocks); ++i) {
            TDevChannel& block = *device.ChannelBlockByIndex(static_cast<int>(i));
            FieldOf(block, "0004").SetValue(int32_t{blocks[i].first});
            FieldOf(block, "0002").SetValue(int32_t{blocks[i].second});
        }
    }

    TField& Table() { return FieldOf(device, "TSDB1"); }
};

TEST(GranitAfb, TypesNamesAndChannelKinds)
{
    struct Case {
        uint8_t byte;
        bool known;
        const char* name;
        int kind;
    };
    const Case cases[] = {
        {0x31, true, "ТС", 0},    {0x32, true, "ТИТ", 1},  {0x33, true, "ТУ", 3},
        {0xFF, true, "Нет", 255}, {0x34, false, "", 255}, {0x30, false, "", 255},
        {0x00, false, "", 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.byte});
        std::string text = "old";
        EXPECT_EQ(AfbTypeName(c.byte, text), c.known);
        EXPECT_EQ(text, c.name);
        EXPECT_EQ(AfbTypeToChannelKind(c.byte), c.kind);
    }
}

TEST(GranitAfb, CountMatchesRoundsChannelsUpToWholeBlocks)
{
    struct Case {
        const char* name;
        uint8_t type;
        int64_t blocks;
        int64_t channels;
        bool matches;
    };
    const Case cases[] = {
        {"no ТС channels, no block", AfbTS, 0, 0, true},
        {"no ТС channels, one block", AfbTS, 1, 0, false},
        {"64 ТС in one block", AfbTS, 1, 64, true},
        {"64 ТС in none", AfbTS, 0, 64, false},
        {"64 ТС in two", AfbTS, 2, 64, false},
        {"65 ТС need two", AfbTS, 2, 65, true},
        {"65 ТС in one", AfbTS, 1, 65, false},
        {"32 ТИТ in one", AfbTIT, 1, 32, true},
        {"32 ТИТ in two", AfbTIT, 2, 32, false},
        {"33 ТИТ need two", AfbTIT, 2, 33, true},
        {"33 ТИТ in one", AfbTIT, 1, 33, false},
        {"128 ТУ in one", AfbTU, 1, 128, true},
        {"128 ТУ in two", AfbTU, 2, 128, false},
        {"129 ТУ need two", AfbTU, 2, 129, true},
        {"129 ТУ in one", AfbTU, 1, 129, false},
        {"no type", AfbNone, 0, 0, false},
        {"an unknown byte", 0x34, 0, 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(AfbCountMatches(c.type, c.blocks, c.channels), c.matches) << c.name;
}

TEST_F(GranitAfbDevice, ChannelSumsByKind)
{
    EXPECT_EQ(SumChannelCount(0, device), 65);
    EXPECT_EQ(SumChannelCount(1, device), 33);
    EXPECT_EQ(SumChannelCount(3, device), 128);
    EXPECT_EQ(SumChannelCount(2, device), 0);
    EXPECT_EQ(SumChannelCount(255, device), 7);
}

TEST_F(GranitAfbDevice, CheckReportsTheFirstMismatchInTypeOrder)
{
    testsupport::ScopedLogRecorder log;
    // 2 ТС, 2 ТИТ and 1 ТУ blocks carry 65, 33 and 128 channels, in any order.
    EXPECT_EQ(CheckAfbSettings(TableOf({AfbTIT, AfbTS, AfbTU, AfbTS, 0x34, AfbTIT}), device), std::nullopt);
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Проверка параметров Гранит АФБ завершилась успешно", 0}}));

    struct Case {
        const char* name;
        TAfbTable table;
        const char* message;
    };
    const Case cases[] = {
        {"ТС before ТИТ", TableOf({AfbTS, AfbTIT}), "Не соответствие количества ФБ ТС с количеством каналов ТС"},
        {"ТИТ before ТУ", TableOf({AfbTS, AfbTS, AfbTIT}), "Не соответствие количества ФБ ТИТ с количеством каналов ТИТ"},
        {"ТУ", TableOf({AfbTS, AfbTS, AfbTIT, AfbTIT, AfbTU, AfbTU}),
         "Не соответствие количества ФБ ТУ с количеством каналов ТУ"},
        // A byte of no type is none of the three.
        {"a bad byte is no ТУ", TableOf({AfbTS, AfbTS, AfbTIT, AfbTIT, 0x34}),
         "Не соответствие количества ФБ ТУ с количеством каналов ТУ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        EXPECT_EQ(CheckAfbSettings(c.table, device), c.message);
        EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{c.message, 1}}));
    }

    EXPECT_THROW(
        {
            try {
                AfbTypeMismatch(AfbNone, TableOf({}), device);
            } catch (const platform::Exception& e) {
                EXPECT_STREQ(e.what(), "CheckAFBSettings: не допустимый тип АФБ");
                throw;
            }
        },
        platform::Exception);
}

TEST_F(GranitAfbDevice, DeviceCheckRaisesWhatItLogged)
{
    testsupport::ScopedLogRecorder log;
    StoreAfbTable(Table(), TableOf({AfbTS}));
    try {
        CheckDeviceAfb(device);
        ADD_FAILURE() << "no mismatch raised";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Не соответствие количества ФБ ТС с количеством каналов ТС");
    }
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Не соответствие количества ФБ ТС с количеством каналов ТС", 1}}));

    // Another protocol meanwhile: no table, no check.
    log.Clear();
    testsupport::UseSlot(*doc, 0, 2, 0, 0);
    EXPECT_NO_THROW(CheckDeviceAfb(device));
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(GranitAfbDevice, TableCodecKeepsTheImageBytes)
{
    const std::vector<int> empty(AfbSlotCount, 0xFF);
    EXPECT_EQ(ImageBytes(Table()), empty);
    EXPECT_EQ(Ints(ReadAfbTable(Table())), empty);

    const TAfbTable written = TableOf({0x31, 0x32, 0x33});
    StoreAfbTable(Table(), written);
    EXPECT_EQ(ImageBytes(Table()), Ints(written));
    EXPECT_EQ(ReadAfbTable(Table()), written);

    // A zero at byte 10 ends the text early: 15 empty slots.
    uint8_t zero = 0;
    Table().WriteBytes(Table().NodeOffset() + 10, &zero, 1);
    EXPECT_EQ(Ints(ReadAfbTable(Table())), empty);

    // Bytes the grid cannot show survive a store of another slot; the first is reported.
    TAfbTable odd = TableOf({0x98, 0x31, 0xFF, 0x34});
    StoreAfbTable(Table(), odd);
    TAfbTable table = ReadAfbTable(Table());
    ASSERT_TRUE(SetAfbSlot(table, 1, 2));
    StoreAfbTable(Table(), table);
    odd[1] = 0x32;
    EXPECT_EQ(ImageBytes(Table()), Ints(odd));
    EXPECT_EQ(FirstBadAfbSlot(ReadAfbTable(Table())), (TAfbBadSlot{0, 0x98}));
    odd[0] = 0x31;
    StoreAfbTable(Table(), odd);
    const std::optional<TAfbBadSlot> bad = FirstBadAfbSlot(ReadAfbTable(Table()));
    EXPECT_EQ(bad, (TAfbBadSlot{3, 0x34}));
    ASSERT_TRUE(bad);
    EXPECT_EQ(AfbSlotMessage(*bad), "Не удалось отобразить значение Item[3]=52");
    EXPECT_EQ(FirstBadAfbSlot(written), std::nullopt);

    // 0xFF is "я" in memory.
    EXPECT_EQ(AfbTableText(TableOf({})), "яяяяяяяяяяяяяяя");
}

TEST(GranitAfb, SlotOperations)
{
    TAfbTable table = TableOf({});
    const std::pair<int, uint8_t> tags[] = {{1, 0x31}, {2, 0x32}, {3, 0x33}, {0, 0xFF}};
    for (const auto& [tag, byte] : tags) {
        EXPECT_TRUE(SetAfbSlot(table, 14, tag));
        EXPECT_EQ(table[14], byte) << tag;
    }
    EXPECT_FALSE(SetAfbSlot(table, 15, 1));
    EXPECT_FALSE(SetAfbSlot(table, -1, 1));
    EXPECT_EQ(table, TableOf({}));
    EXPECT_EQ(AfbSlotOfCell(6, 1, 15), 6);
    EXPECT_EQ(AfbSlotOfCell(0, 2, 15), 15);

    EXPECT_TRUE(AfbTUOffered(table));
    SetAfbSlot(table, 3, AfbTagTU);
    EXPECT_TRUE(AfbTUOffered(table));
    SetAfbSlot(table, 9, AfbTagTU);
    EXPECT_FALSE(AfbTUOffered(table));
    SetAfbSlot(table, 3, AfbTagNone);
    EXPECT_TRUE(AfbTUOffered(table));
}

TEST(GranitAfb, CommandsByFamily)
{
    const auto base = testsupport::NewZumo2Doc();
    const std::unique_ptr<TZumo2Doc> zumo9 = MakeZumo9Doc();
    ASSERT_NE(dynamic_cast<TZumo9Doc*>(zumo9.get()), nullptr);
    const TPickList zumo9Items = {{"Нет", 0}, {"Вн. ТУ1", 1}};
    struct Case {
        const char* name;
        TProtocolPage page;
        const TDocument* document;
        TPickList items;
        const char* boundKey;
        bool numberShown;
    };
    const Case cases[] = {
        {"КП", TProtocolPage::KPGranit, base.get(), {{"Нет", 0}, {"Собственные ТУ", 1}, {"D\u041E", 2}},
         "LinkDownCmdVAK", true},
        {"КП of Zumo 9", TProtocolPage::KPGranit, zumo9.get(), zumo9Items, nullptr, false},
        {"ПУ", TProtocolPage::PUGranit, base.get(), {{"Нет", 0}, {"Собственные ТУ", 1}, {"DO", 2}}, "ServicedPUTU",
         true},
        {"ПУ of Zumo 9", TProtocolPage::PUGranit, zumo9.get(), zumo9Items, "BindTUGranit_CmdTU", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TGranitCommands commands = GranitCommandsOf(c.page, c.document);
        ASSERT_NE(commands.Items, nullptr);
        EXPECT_EQ(*commands.Items, c.items);
        EXPECT_EQ(commands.BoundKey ? std::string(commands.BoundKey) : "", c.boundKey ? c.boundKey : "");
        EXPECT_EQ(commands.NumberShown, c.numberShown);
    }
    EXPECT_EQ(GranitCommandsOf(TProtocolPage::PUTM120, base.get()).Items, nullptr);
    EXPECT_EQ(GranitDeviceTypeItems(), (TPickList{{"Гранит", 0}, {"Гранит-Микро", 1}}));
}

} // namespace
