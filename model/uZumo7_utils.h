#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The board modifications of the Zumo 7 controller: one constant row per board with
// its port and I/O counts, and the lists of the modem boards.

// One board modification.
struct TZumo7BoardInfo {
    const char* Name = "";  // shown to the user, at most 55 characters
    uint16_t Signature = 0; // 0 marks the empty row
    uint8_t EtherCount = 0;
    uint8_t RS232Count = 0;
    uint8_t RS485Count = 0;
    uint8_t InternalDI = 0;
    uint8_t InternalDO = 0;
    uint8_t ModemInfo = 0; // written into the document's meta record
};

// A list of board signatures; a list handed out belongs to the caller.
using TArrZumo7BoardMod = std::vector<uint16_t>;

// Calls back for every board in ascending signature order, with proceed preset to
// true; stops after the call that clears it.
void ForEachBoard(const std::function<void(const TZumo7BoardInfo& row, bool& proceed)>& callback);
// The number of boards: 78.
int BoardCount();
// The row of a signature. Only multiples of 10 from 10 to 780 have one; any other
// value (0 and 65535 included) gives the empty row: name "", every count 0.
TZumo7BoardInfo GetBoardInfo(uint16_t signature);
// Every board's signature in table order (10, 20 .. 780); the list is replaced.
void GetBoardList(TArrZumo7BoardMod& list);
// The board of a new Zumo 7 document: 10.
uint16_t DefaultBoardSignature();
// False for 0; otherwise whether a board carries the signature.
bool IsKnownBoard(uint16_t signature);
// The board's name; empty for a signature without a board.
std::string BoardName(uint16_t signature);
// Whether the list holds the signature (false for an empty list).
bool BoardInList(uint16_t signature, const TArrZumo7BoardMod& list);
// The modem boards of each kind, six signatures each; the list is replaced.
void GetModemBoardsM1(TArrZumo7BoardMod& list); // 610 .. 660
void GetModemBoardsM2(TArrZumo7BoardMod& list); // 670 .. 720
void GetModemBoardsM4(TArrZumo7BoardMod& list); // 730 .. 780
// Shorthands: whether a board is in one of those lists.
bool IsModemBoardM1(uint16_t signature);
bool IsModemBoardM2(uint16_t signature);
bool IsModemBoardM4(uint16_t signature);
