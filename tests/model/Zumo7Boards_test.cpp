#include "model/uZumo7_utils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct BoardCase {
    uint16_t signature;
    TZumo7BoardInfo row; // the expected row; the empty row for a signature without one
    bool known;
};

const BoardCase kCases[] = {
    {10, {"Zumo7-E1C20", 10, 1, 2, 0, 0, 0, 0}, true},
    {340, {"Zumo7-E2C20-O16", 340, 2, 2, 0, 0, 16, 0}, true},
    {380, {"Zumo7-E1C11-I8O8", 380, 1, 1, 1, 8, 8, 0}, true},
    {610, {"Zumo7-E1C20-M1", 610, 1, 4, 0, 0, 0, 0}, true},
    {630, {"Zumo7-E1C02-M1", 630, 1, 1, 2, 0, 0, 1}, true},
    {690, {"Zumo7-E1C02-M2", 690, 1, 3, 2, 0, 0, 2}, true},
    {780, {"Zumo7-E2C02-M4", 780, 2, 2, 2, 0, 0, 4}, true},
    {0, {}, false},
    {5, {}, false},
    {15, {}, false},
    {25, {}, false},
    {790, {}, false},
    {65535, {}, false},
};

} // namespace

TEST(Zumo7Boards, RowsOfSignaturesAndTheEmptyRowOutsideTheTable)
{
    for (const BoardCase& c : kCases) {
        SCOPED_TRACE(c.signature);
        const TZumo7BoardInfo row = GetBoardInfo(c.signature);
        EXPECT_STREQ(row.Name, c.row.Name);
        EXPECT_EQ(row.Signature, c.row.Signature);
        EXPECT_EQ(row.EtherCount, c.row.EtherCount);
        EXPECT_EQ(row.RS232Count, c.row.RS232Count);
        EXPECT_EQ(row.RS485Count, c.row.RS485Count);
        EXPECT_EQ(row.InternalDI, c.row.InternalDI);
        EXPECT_EQ(row.InternalDO, c.row.InternalDO);
        EXPECT_EQ(row.ModemInfo, c.row.ModemInfo);
        EXPECT_EQ(IsKnownBoard(c.signature), c.known);
        EXPECT_EQ(BoardName(c.signature), c.row.Name);
    }
}

TEST(Zumo7Boards, ListCountAndEveryRow)
{
    EXPECT_EQ(BoardCount(), 78);
    EXPECT_EQ(DefaultBoardSignature(), 10);
    TArrZumo7BoardMod list = {1, 2, 3};
    GetBoardList(list);
    ASSERT_EQ(list.size(), 78u);
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list[i], 10 * (i + 1));
        const TZumo7BoardInfo row = GetBoardInfo(list[i]);
        EXPECT_EQ(row.Signature, list[i]);
        EXPECT_LE(std::strlen(row.Name), 55u);
        EXPECT_EQ(std::string(row.Name).rfind("Zumo7-", 0), 0u) << row.Name;
    }
}

TEST(Zumo7Boards, ModemListsAndMembership)
{
    TArrZumo7BoardMod m1, m2, m4;
    GetModemBoardsM1(m1);
    GetModemBoardsM2(m2);
    GetModemBoardsM4(m4);
    EXPECT_EQ(m1, (TArrZumo7BoardMod{610, 620, 630, 640, 650, 660}));
    EXPECT_EQ(m2, (TArrZumo7BoardMod{670, 680, 690, 700, 710, 720}));
    EXPECT_EQ(m4, (TArrZumo7BoardMod{730, 740, 750, 760, 770, 780}));
    EXPECT_TRUE(BoardInList(610, m1));
    EXPECT_FALSE(BoardInList(730, m2)) << "the M2 list itself holds only its own six";
    EXPECT_FALSE(BoardInList(610, {}));
    EXPECT_FALSE(BoardInList(0, {}));
    EXPECT_TRUE(IsModemBoardM1(660));
    EXPECT_FALSE(IsModemBoardM1(670));
}

TEST(Zumo7Boards, ForEachBoardStopsAfterTheCallThatClearsProceed)
{
    int calls = 0;
    uint16_t last = 0;
    ForEachBoard([&](const TZumo7BoardInfo& row, bool& proceed) {
        EXPECT_TRUE(proceed);
        EXPECT_GT(row.Signature, last);
        last = row.Signature;
        if (++calls == 5) proceed = false;
    });
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(last, 50);
}
