#include "model/uZumo7_utils.h"

#include <algorithm>
#include <array>

namespace {

// The boards in signature order: the row of signature s is kBoards[s / 10 - 1].
const std::array<TZumo7BoardInfo, 78> kBoards = {{
    {"Zumo7-E1C20", 10, 1, 2, 0, 0, 0, 0},
    {"Zumo7-E1C11", 20, 1, 1, 1, 0, 0, 0},
    {"Zumo7-E1C02", 30, 1, 0, 2, 0, 0, 0},
    {"Zumo7-E2C20", 40, 2, 2, 0, 0, 0, 0},
    {"Zumo7-E2C11", 50, 2, 1, 1, 0, 0, 0},
    {"Zumo7-E2C02", 60, 2, 0, 2, 0, 0, 0},
    {"Zumo7-E1C40", 70, 1, 4, 0, 0, 0, 0},
    {"Zumo7-E1C31", 80, 1, 3, 1, 0, 0, 0},
    {"Zumo7-E1C22", 90, 1, 2, 2, 0, 0, 0},
    {"Zumo7-E1C13", 100, 1, 1, 3, 0, 0, 0},
    {"Zumo7-E1C04", 110, 1, 0, 4, 0, 0, 0},
    {"Zumo7-E2C40", 120, 2, 4, 0, 0, 0, 0},
    {"Zumo7-E2C31", 130, 2, 3, 1, 0, 0, 0},
    {"Zumo7-E2C22", 140, 2, 2, 2, 0, 0, 0},
    {"Zumo7-E2C13", 150, 2, 1, 3, 0, 0, 0},
    {"Zumo7-E2C04", 160, 2, 0, 4, 0, 0, 0},
    {"Zumo7-E1C50", 170, 1, 5, 0, 0, 0, 0},
    {"Zumo7-E1C41", 180, 1, 4, 1, 0, 0, 0},
    {"Zumo7-E1C23", 190, 1, 2, 3, 0, 0, 0},
    {"Zumo7-E1C14", 200, 1, 1, 4, 0, 0, 0},
    {"Zumo7-E1C05", 210, 1, 0, 5, 0, 0, 0},
    {"Zumo7-E4C20", 220, 4, 2, 0, 0, 0, 0},
    {"Zumo7-E4C11", 230, 4, 1, 1, 0, 0, 0},
    {"Zumo7-E4C02", 240, 4, 0, 2, 0, 0, 0},
    {"Zumo7-E1C20_I16", 250, 1, 2, 0, 16, 0, 0},
    {"Zumo7-E1C11_I16", 260, 1, 1, 1, 16, 0, 0},
    {"Zumo7-E1C02_I16", 270, 1, 0, 2, 16, 0, 0},
    {"Zumo7-E2C20_I16", 280, 2, 2, 0, 16, 0, 0},
    {"Zumo7-E2C11_I16", 290, 2, 1, 1, 16, 0, 0},
    {"Zumo7-E2C02_I16", 300, 2, 0, 2, 16, 0, 0},
    {"Zumo7-E1C20_O16", 310, 1, 2, 0, 0, 16, 0},
    {"Zumo7-E1C11_O16", 320, 1, 1, 1, 0, 16, 0},
    {"Zumo7-E1C02_O16", 330, 1, 0, 2, 0, 16, 0},
    {"Zumo7-E2C20-O16", 340, 2, 2, 0, 0, 16, 0},
    {"Zumo7-E2C11_O16", 350, 2, 1, 1, 0, 16, 0},
    {"Zumo7-E2C02_O16", 360, 2, 0, 2, 0, 16, 0},
    {"Zumo7-E1C20_I8O8", 370, 1, 2, 0, 8, 8, 0},
    {"Zumo7-E1C11-I8O8", 380, 1, 1, 1, 8, 8, 0},
    {"Zumo7-E1C02_I8O8", 390, 1, 0, 2, 8, 8, 0},
    {"Zumo7-E2C20_I8O8", 400, 2, 2, 0, 8, 8, 0},
    {"Zumo7-E2C11_I8O8", 410, 2, 1, 1, 8, 8, 0},
    {"Zumo7-E2C02_I8O8", 420, 2, 0, 2, 8, 8, 0},
    {"Zumo7-E1C20_I64", 430, 1, 2, 0, 64, 0, 0},
    {"Zumo7-E1C11_I64", 440, 1, 1, 1, 64, 0, 0},
    {"Zumo7-E1C02_I64", 450, 1, 0, 2, 64, 0, 0},
    {"Zumo7-E2C20_I64", 460, 2, 2, 0, 64, 0, 0},
    {"Zumo7-E2C11_I64", 470, 2, 1, 1, 64, 0, 0},
    {"Zumo7-E2C02_I64", 480, 2, 0, 2, 64, 0, 0},
    {"Zumo7-E1C20-R1", 490, 1, 2, 0, 2, 1, 0},
    {"Zumo7-E1C11-R1", 500, 1, 1, 1, 2, 1, 0},
    {"Zumo7-E1C02-R1", 510, 1, 0, 2, 2, 1, 0},
    {"Zumo7-E2C20-R1", 520, 2, 2, 0, 2, 1, 0},
    {"Zumo7-E2C11-R1", 530, 2, 1, 1, 2, 1, 0},
    {"Zumo7-E2C02-R1", 540, 2, 0, 2, 2, 1, 0},
    {"Zumo7-E1C20-R3", 550, 1, 2, 0, 6, 3, 0},
    {"Zumo7-E1C11-R3", 560, 1, 1, 1, 6, 3, 0},
    {"Zumo7-E1C02-R3", 570, 1, 0, 2, 6, 3, 0},
    {"Zumo7-E2C20-R3", 580, 2, 2, 0, 6, 3, 0},
    {"Zumo7-E2C11-R3", 590, 2, 1, 1, 6, 3, 0},
    {"Zumo7-E2C02-R3", 600, 2, 0, 2, 6, 3, 0},
    {"Zumo7-E1C20-M1", 610, 1, 4, 0, 0, 0, 0},
    {"Zumo7-E1C11-M1", 620, 1, 3, 1, 0, 0, 1},
    {"Zumo7-E1C02-M1", 630, 1, 1, 2, 0, 0, 1},
    {"Zumo7-E2C20-M1", 640, 2, 4, 0, 0, 0, 1},
    {"Zumo7-E2C11-M1", 650, 2, 3, 1, 0, 0, 1},
    {"Zumo7-E2C02-M1", 660, 2, 2, 2, 0, 0, 1},
    {"Zumo7-E1C20-M2", 670, 1, 4, 0, 0, 0, 2},
    {"Zumo7-E1C11-M2", 680, 1, 3, 1, 0, 0, 2},
    {"Zumo7-E1C02-M2", 690, 1, 3, 2, 0, 0, 2},
    {"Zumo7-E2C20-M2", 700, 2, 5, 0, 0, 0, 2},
    {"Zumo7-E2C11-M2", 710, 2, 4, 1, 0, 0, 2},
    {"Zumo7-E2C02-M2", 720, 2, 2, 2, 0, 0, 2},
    {"Zumo7-E1C20-M4", 730, 1, 4, 0, 0, 0, 4},
    {"Zumo7-E1C11-M4", 740, 1, 3, 1, 0, 0, 4},
    {"Zumo7-E1C02-M4", 750, 1, 3, 2, 0, 0, 4},
    {"Zumo7-E2C20-M4", 760, 2, 5, 0, 0, 0, 4},
    {"Zumo7-E2C11-M4", 770, 2, 4, 1, 0, 0, 4},
    {"Zumo7-E2C02-M4", 780, 2, 2, 2, 0, 0, 4},
}};

constexpr uint16_t kSignatureStep = 10;

// The row of a signature, or none: only multiples of 10 within the table have one.
const TZumo7BoardInfo* RowOf(uint16_t signature)
{
    if (signature == 0 || signature % kSignatureStep != 0) return nullptr;
    const size_t index = signature / kSignatureStep - 1;
    return index < kBoards.size() ? &kBoards[index] : nullptr;
}

using TModemGroup = std::array<uint16_t, 6>;
constexpr TModemGroup kModemM1 = {610, 620, 630, 640, 650, 660};
constexpr TModemGroup kModemM2 = {670, 680, 690, 700, 710, 720};
constexpr TModemGroup kModemM4 = {730, 740, 750, 760, 770, 780};

bool InGroup(uint16_t signature, const TModemGroup& group)
{
    return std::find(group.begin(), group.end(), signature) != group.end();
}

} // namespace

void ForEachBoard(const std::function<void(const TZumo7BoardInfo& row, bool& proceed)>& callback)
{
    bool proceed = true;
    for (const TZumo7BoardInfo& row : kBoards) {
        if (row.Signature == 0) continue;
        callback(row, proceed);
        if (!proceed) return;
    }
}

int BoardCount()
{
    int count = 0;
    ForEachBoard([&](const TZumo7BoardInfo&, bool&) { ++count; });
    return count;
}

TZumo7BoardInfo GetBoardInfo(uint16_t signature)
{
    const TZumo7BoardInfo* row = RowOf(signature);
    return row ? *row : TZumo7BoardInfo{};
}

void GetBoardList(TArrZumo7BoardMod& list)
{
    list.clear();
    list.reserve(static_cast<size_t>(BoardCount()));
    ForEachBoard([&](const TZumo7BoardInfo& row, bool&) { list.push_back(row.Signature); });
}

uint16_t DefaultBoardSignature() { return 10; }

bool IsKnownBoard(uint16_t signature)
{
    if (signature == 0) return false;
    bool found = false;
    ForEachBoard([&](const TZumo7BoardInfo& row, bool& proceed) {
        found = row.Signature == signature;
        proceed = !found;
    });
    return found;
}

std::string BoardName(uint16_t signature) { return GetBoardInfo(signature).Name; }

bool BoardInList(uint16_t signature, const TArrZumo7BoardMod& list)
{
    return std::find(list.begin(), list.end(), signature) != list.end();
}

void GetModemBoardsM1(TArrZumo7BoardMod& list) { list.assign(kModemM1.begin(), kModemM1.end()); }
void GetModemBoardsM2(TArrZumo7BoardMod& list) { list.assign(kModemM2.begin(), kModemM2.end()); }
void GetModemBoardsM4(TArrZumo7BoardMod& list) { list.assign(kModemM4.begin(), kModemM4.end()); }

bool IsModemBoardM1(uint16_t signature) { return InGroup(signature, kModemM1); }
bool IsModemBoardM2(uint16_t signature) { return InGroup(signature, kModemM2); }
bool IsModemBoardM4(uint16_t signature) { return InGroup(signature, kModemM4); }
