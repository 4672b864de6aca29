#include "configurator/rules/DeviceGroupRows.h"
#include "model/uZumo2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void Set(TDevice& device, const char* key, int32_t value)
{
    auto* field = dynamic_cast<TField*>(device.FindField(key));
    ASSERT_NE(field, nullptr) << key;
    field->SetValue(value);
}

// A device in a slot (0-based) with a protocol index, role, port and address.
void Use(TZumo2Doc& doc, int slot, int protocol, int role, int port, int address)
{
    TDevice& d = *doc.DeviceByIndex(slot);
    Set(d, "004", ProtocolCodes[protocol]);
    Set(d, "011", role);
    Set(d, "002", port);
    Set(d, "000", address);
}

class DeviceGroup : public ::testing::Test {
protected:
    void SetUp() override
    {
        doc = MakeZumo2Doc();
        doc->ResetDefaults();
        Use(*doc, 10, 12, 0, 2, 9);  // slot 11: ТМ 120, КП, 485, 9
        Use(*doc, 1, 2, 0, 0, 10);   // slot 2: ModBus, КП, COM, 10
        Use(*doc, 4, 1, 1, 1, 100);  // slot 5: МЭК, ПУ, XPort, 100
        Use(*doc, 19, 3, 1, 255, 9); // slot 20: TM800A, ПУ, no port, 9
    }

    std::vector<std::string> Column(const std::vector<TDeviceRow>& rows, const std::vector<int>& order, int column)
    {
        std::vector<std::string> texts;
        for (int i : order) texts.push_back(DeviceCellText(rows[static_cast<size_t>(i)], column));
        return texts;
    }

    std::unique_ptr<TZumo2Doc> doc;
};

TEST_F(DeviceGroup, RowsOfUsedSlotsInSlotOrder)
{
    const auto rows = DeviceGroupRows(*doc);
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<std::vector<std::string>> expected = {
        {"2", "ModBus", "COM", "КП", "10"},
        {"5", "МЭК", "XPort", "ПУ", "100"},
        {"11", "ТМ 120", "485", "КП", "9"},
        {"20", "TM800A", "Нет", "ПУ", "9"},
    };
    for (size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].Device, doc->DeviceByIndex(rows[r].Slot - 1));
        for (int c = 0; c < DeviceColumnCount; ++c) EXPECT_EQ(DeviceCellText(rows[r], c), expected[r][c]) << r << "/" << c;
        EXPECT_EQ(DeviceCellText(rows[r], DeviceColumnCount), "");
    }
    // A code that names no protocol leaves the slot unused.
    Set(*doc->DeviceByIndex(1), "004", 10);
    EXPECT_EQ(DeviceGroupRows(*doc).size(), 3u);
}

TEST_F(DeviceGroup, HeaderCycle)
{
    TSortState s;
    s = NextSortState(s, dcAddress);
    EXPECT_EQ(s, (TSortState{dcAddress, TSortDirection::Ascending}));
    s = NextSortState(s, dcAddress);
    EXPECT_EQ(s, (TSortState{dcAddress, TSortDirection::Descending}));
    s = NextSortState(s, dcAddress);
    EXPECT_EQ(s.Direction, TSortDirection::None);
    s = NextSortState(s, dcAddress);
    EXPECT_EQ(s, (TSortState{dcAddress, TSortDirection::Ascending}));
    // Another column starts ascending, whatever the state.
    s = NextSortState(NextSortState(s, dcAddress), dcPort);
    EXPECT_EQ(s, (TSortState{dcPort, TSortDirection::Ascending}));
}

TEST_F(DeviceGroup, SortsByCellText)
{
    const auto rows = DeviceGroupRows(*doc);
    // Addresses compare as text: "10" and "100" before "9"; equal texts keep slot order.
    EXPECT_EQ(Column(rows, SortedRowOrder(rows, {dcAddress, TSortDirection::Ascending}), dcNumber),
              (std::vector<std::string>{"2", "5", "11", "20"}));
    EXPECT_EQ(Column(rows, SortedRowOrder(rows, {dcAddress, TSortDirection::Descending}), dcAddress),
              (std::vector<std::string>{"9", "9", "100", "10"}));
    EXPECT_EQ(Column(rows, SortedRowOrder(rows, {dcNumber, TSortDirection::Ascending}), dcNumber),
              (std::vector<std::string>{"11", "2", "20", "5"}));
    EXPECT_EQ(Column(rows, SortedRowOrder(rows, {dcRole, TSortDirection::Ascending}), dcNumber),
              (std::vector<std::string>{"2", "11", "5", "20"}));
    // Unsorted: slot order.
    EXPECT_EQ(SortedRowOrder(rows, {}), (std::vector<int>{0, 1, 2, 3}));
}

TEST(CellTexts, CaseSensitiveComparison)
{
    EXPECT_LT(CompareCellTexts("10", "9"), 0);
    EXPECT_EQ(CompareCellTexts("МЭК", "МЭК"), 0);
    EXPECT_NE(CompareCellTexts("abc", "ABC"), 0);
    EXPECT_EQ(CompareCellTexts("abc", "ABC"), -CompareCellTexts("ABC", "abc"));
    EXPECT_LT(CompareCellTexts("ModBus", "МЭК"), 0); // Latin before Cyrillic
}

} // namespace
