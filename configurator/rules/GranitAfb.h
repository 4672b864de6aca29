#pragma once

#include "configurator/rules/PageRules.h"
#include "model/uDocument.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class TDevice;

// What the Гранит pages decide without widgets: the function block table (АФБ) of a
// device, its codec, the block check against the device's channel blocks, and the
// pages' lists by the document's family. The pages and their grid only apply them.
//
// The table is "TSDB1" of the Гранит block: 15 bytes, byte i the type of block i + 1:
//   0x31 ТС (device channel type 0, 64 channels a block),
//   0x32 ТИТ (type 1, 32 channels a block),
//   0x33 ТУ (type 3, 128 channels a block),
//   0xFF no block ("Нет").
// Any other byte is a type the pages cannot show.

// ---------------------------------------------------------------------------------
// Types

constexpr int AfbSlotCount = 15;
constexpr uint8_t AfbNone = 0xFF;
constexpr uint8_t AfbTS = 0x31;
constexpr uint8_t AfbTIT = 0x32;
constexpr uint8_t AfbTU = 0x33;
// AfbTypeToChannelKind of a byte that is no block type.
constexpr int AfbNoChannelKind = 255;
// The ТУ blocks a table holds at most: the type menu offers "ТУ" only below it.
constexpr int AfbMaxTU = 2;

using TAfbTable = std::array<uint8_t, AfbSlotCount>;

// The grid's text of a type byte ("ТС", "ТИТ", "ТУ", "Нет"); false and an empty text
// for any other byte.
bool AfbTypeName(uint8_t type, std::string& text);
// How many of the table's bytes equal the type.
int CountAfbOfType(uint8_t type, const TAfbTable& table);
// The device channel type ("0004") a block type carries: 0, 1 or 3; AfbNoChannelKind
// for any other byte.
int AfbTypeToChannelKind(uint8_t type);
// The sum of the counts ("0002") of the device's channel blocks whose type ("0004")
// is kind, in block order.
int64_t SumChannelCount(int kind, const TDevice& device);
// Whether blocks of a type carry the channels: blocks = channels / 64 rounded up for
// ТС, / 32 for ТИТ, / 128 for ТУ (0 channels, 0 blocks). False for any other byte, and
// for negative counts.
bool AfbCountMatches(uint8_t type, int64_t blocks, int64_t channels);

// ---------------------------------------------------------------------------------
// Block check

// The message of one type whose block count does not carry the device's channels of
// its kind, none when it does:
//   ТС  "Не соответствие количества ФБ ТС с количеством каналов ТС",
//   ТИТ "Не соответствие количества ФБ ТИТ с количеством каналов ТИТ",
//   ТУ  "Не соответствие количества ФБ ТУ с количеством каналов ТУ".
// Raises platform::Exception "CheckAFBSettings: не допустимый тип АФБ" for any other
// type byte.
std::optional<std::string> AfbTypeMismatch(uint8_t type, const TAfbTable& table, const TDevice& device);
// The block check of a table against the device: ТС, ТИТ, ТУ in this order, the first
// mismatch's message, none when all three match. A mismatch is posted to the message
// list as an error line (kind 1); success posts "Проверка параметров Гранит АФБ
// завершилась успешно" (kind 0). A byte of no type counts as none of the three.
std::optional<std::string> CheckAfbSettings(const TAfbTable& table, const TDevice& device);
// The block check of the device's own table ("TSDB1" of its active block, read by
// ReadAfbTable), the mismatch raised as platform::Exception after it was posted.
// Nothing happens for a device whose active block has no table (its protocol changed
// meanwhile).
void CheckDeviceAfb(const TDevice& device);

// ---------------------------------------------------------------------------------
// Table codec

// "TSDB1": Windows-1251 bytes in the image, UTF-8 text in memory (0xFF reads as "я").

// The table of a field's text: its Windows-1251 bytes; a text of fewer than 15 bytes
// (the image's text stops at a zero byte) gives 15 × AfbNone, a longer one its first 15.
TAfbTable AfbTableFromText(const std::string& text);
// The text whose Windows-1251 bytes are the table's (every byte round-trips, 0x98
// included).
std::string AfbTableText(const TAfbTable& table);
// The table a field holds (AfbTableFromText of its value).
TAfbTable ReadAfbTable(const TField& field);
// Stores the whole table into the field (SetValue of AfbTableText), so that the image
// holds exactly its 15 bytes; errors of the store pass on.
void StoreAfbTable(TField& field, const TAfbTable& table);

// The first slot whose byte the grid cannot show: its 0-based position and byte.
struct TAfbBadSlot {
    int Position;
    uint8_t Byte;
    bool operator==(const TAfbBadSlot&) const = default;
};
std::optional<TAfbBadSlot> FirstBadAfbSlot(const TAfbTable& table);
// "Не удалось отобразить значение Item[%d]=%d" of a bad slot.
std::string AfbSlotMessage(const TAfbBadSlot& slot);

// ---------------------------------------------------------------------------------
// Slot operations

// The type menu's tags: "Нет" 0, "ТС" 1, "ТИТ" 2, "ТУ" 3.
constexpr int AfbTagNone = 0;
constexpr int AfbTagTU = 3;
// The byte of a menu tag: 0x30 + tag for 1 .. 3, AfbNone for 0 (and any other tag).
uint8_t AfbByteOfTag(int tag);
// The slot of a grid cell: (row - 1) × columns + column, the data rows counted from 1.
int AfbSlotOfCell(int column, int row, int columns);
// Sets one slot to the byte of a tag; false (and nothing changes) for a slot outside
// 0 .. 14.
bool SetAfbSlot(TAfbTable& table, int slot, int tag);
// Whether the type menu offers "ТУ": fewer than AfbMaxTU bytes are ТУ.
bool AfbTUOffered(const TAfbTable& table);

// ---------------------------------------------------------------------------------
// Lists of the pages

// cb0901 "Тип устройства": "Гранит" 0, "Гранит-Микро" 1.
const TPickList& GranitDeviceTypeItems();

// What a page's command combo offers, the key of the control the family decides the
// binding of, and whether "номер" shows, by the document's family (Zumo 9: a TZumo9Doc
// or a descendant):
//   КП, cbLinkDownEvent (the table binds "TrigEvenLinkDown_Cmd"): Zumo 9 "Нет" 0,
//     "Вн. ТУ1" 1, and seLinkDownCmdVAK with its label "номер" hidden and unbound;
//     otherwise "Нет" 0, "Собственные ТУ" 1, "DО" 2 (a Cyrillic "О"), seLinkDownCmdVAK
//     bound to "LinkDownCmdVAK";
//   ПУ, cbServiceCmd: Zumo 9 "Нет" 0, "Вн. ТУ1" 1, bound to "BindTUGranit_CmdTU", the
//     label "номер" hidden; otherwise "Нет" 0, "Собственные ТУ" 1, "DO" 2 (Latin
//     letters), bound to "ServicedPUTU".
// Any other page gets no items and nothing bound.
struct TGranitCommands {
    const TPickList* Items = nullptr;
    // What the family's control binds: seLinkDownCmdVAK (КП), cbServiceCmd (ПУ); none:
    // it stays unbound.
    const char* BoundKey = nullptr;
    bool NumberShown = false; // "номер" shown
};
TGranitCommands GranitCommandsOf(TProtocolPage page, const TDocument* document);
