#include "configurator/rules/GranitAfb.h"

#include "model/UiCallbacks.h"
#include "model/uZumo9.h"
#include "model/uZumo_Classes.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>

// ---------------------------------------------------------------------------------
// Types

namespace {

// A block type: its byte, its grid text, the device channel type it carries, the
// channels one block carries and its mismatch message (none for "no block").
struct TAfbType {
    uint8_t Byte;
    const char* Name;
    int ChannelKind;
    int ChannelsPerBlock;
    const char* Mismatch;
};

constexpr TAfbType kTypes[] = {
    {AfbTS, "ТС", 0, 64, "Не соответствие количества ФБ ТС с количеством каналов ТС"},
    {AfbTIT, "ТИТ", 1, 32, "Не соответствие количества ФБ ТИТ с количеством каналов ТИТ"},
    {AfbTU, "ТУ", 3, 128, "Не соответствие количества ФБ ТУ с количеством каналов ТУ"},
    {AfbNone, "Нет", AfbNoChannelKind, 0, nullptr},
};

const TAfbType* TypeOf(uint8_t byte)
{
    for (const TAfbType& type : kTypes)
        if (type.Byte == byte) return &type;
    return nullptr;
}

// The types the check walks, in its order.
constexpr uint8_t kCheckedTypes[] = {AfbTS, AfbTIT, AfbTU};

constexpr const char* kCheckSucceeded = "Проверка параметров Гранит АФБ завершилась успешно";
constexpr const char* kInvalidType = "CheckAFBSettings: не допустимый тип АФБ";

} // namespace

bool AfbTypeName(uint8_t type, std::string& text)
{
    const TAfbType* known = TypeOf(type);
    text = known ? known->Name : "";
    return known != nullptr;
}

int CountAfbOfType(uint8_t type, const TAfbTable& table)
{
    return static_cast<int>(std::count(table.begin(), table.end(), type));
}

int AfbTypeToChannelKind(uint8_t type)
{
    const TAfbType* known = TypeOf(type);
    return known ? known->ChannelKind : AfbNoChannelKind;
}

int64_t SumChannelCount(int kind, const TDevice& device)
{
    int64_t sum = 0;
    device.ForEachChannelBlock([&](TDevChannel& block, bool&) {
        const auto* type = dynamic_cast<const TField*>(block.FindField("0004"));
        const auto* count = dynamic_cast<const TField*>(block.FindField("0002"));
        if (type && count && type->GetValue().ToInt64() == kind) sum += count->GetValue().ToInt64();
    });
    return sum;
}

bool AfbCountMatches(uint8_t type, int64_t blocks, int64_t channels)
{
    const TAfbType* known = TypeOf(type);
    if (!known || known->ChannelsPerBlock == 0 || blocks < 0 || channels < 0) return false;
    const int64_t per = known->ChannelsPerBlock;
    return blocks == (channels + per - 1) / per;
}

// ---------------------------------------------------------------------------------
// Block check

std::optional<std::string> AfbTypeMismatch(uint8_t type, const TAfbTable& table, const TDevice& device)
{
    const TAfbType* known = TypeOf(type);
    if (!known || !known->Mismatch) throw platform::Exception(kInvalidType);
    const int blocks = CountAfbOfType(type, table);
    const int64_t channels = SumChannelCount(known->ChannelKind, device);
    if (AfbCountMatches(type, blocks, channels)) return std::nullopt;
    return std::string(known->Mismatch);
}

std::optional<std::string> CheckAfbSettings(const TAfbTable& table, const TDevice& device)
{
    for (const uint8_t type : kCheckedTypes) {
        if (std::optional<std::string> mismatch = AfbTypeMismatch(type, table, device)) {
            PostLogMessage(*mismatch, lkError);
            return mismatch;
        }
    }
    PostLogMessage(kCheckSucceeded, lkNormal);
    return std::nullopt;
}

void CheckDeviceAfb(const TDevice& device)
{
    const auto* field = dynamic_cast<const TField*>(device.FindField("TSDB1"));
    if (!field) return;
    if (std::optional<std::string> mismatch = CheckAfbSettings(ReadAfbTable(*field), device))
        throw platform::Exception(*mismatch);
}

// ---------------------------------------------------------------------------------
// Table codec

TAfbTable AfbTableFromText(const std::string& text)
{
    TAfbTable table;
    table.fill(AfbNone);
    const std::string bytes = platform::Utf8ToAnsi(text);
    if (bytes.size() < table.size()) return table;
    std::copy_n(bytes.begin(), table.size(), table.begin());
    return table;
}

std::string AfbTableText(const TAfbTable& table)
{
    return platform::AnsiToUtf8(std::string(table.begin(), table.end()));
}

TAfbTable ReadAfbTable(const TField& field) { return AfbTableFromText(field.GetValue().ToString()); }

void StoreAfbTable(TField& field, const TAfbTable& table) { field.SetValue(Variant(AfbTableText(table))); }

std::optional<TAfbBadSlot> FirstBadAfbSlot(const TAfbTable& table)
{
    for (size_t i = 0; i < table.size(); ++i)
        if (!TypeOf(table[i])) return TAfbBadSlot{static_cast<int>(i), table[i]};
    return std::nullopt;
}

std::string AfbSlotMessage(const TAfbBadSlot& slot)
{
    return platform::Format("Не удалось отобразить значение Item[%d]=%d", slot.Position, int{slot.Byte});
}

// ---------------------------------------------------------------------------------
// Slot operations

uint8_t AfbByteOfTag(int tag)
{
    return tag >= 1 && tag <= AfbTagTU ? static_cast<uint8_t>(0x30 + tag) : AfbNone;
}

int AfbSlotOfCell(int column, int row, int columns) { return (row - 1) * columns + column; }

bool SetAfbSlot(TAfbTable& table, int slot, int tag)
{
    if (slot < 0 || slot >= AfbSlotCount) return false;
    table[static_cast<size_t>(slot)] = AfbByteOfTag(tag);
    return true;
}

bool AfbTUOffered(const TAfbTable& table) { return CountAfbOfType(AfbTU, table) < AfbMaxTU; }

// ---------------------------------------------------------------------------------
// Lists of the pages

namespace {

const TPickList kDeviceTypes = {{"Гранит", 0}, {"Гранит-Микро", 1}};
const TPickList kZumo9Commands = {{"Нет", 0}, {"Вн. ТУ1", 1}};
// The second letter of "DО" is the Cyrillic "О".
const TPickList kLinkDownCommands = {{"Нет", 0}, {"Собственные ТУ", 1}, {"DО", 2}};
const TPickList kServiceCommands = {{"Нет", 0}, {"Собственные ТУ", 1}, {"DO", 2}};

} // namespace

const TPickList& GranitDeviceTypeItems() { return kDeviceTypes; }

TGranitCommands GranitCommandsOf(TProtocolPage page, const TDocument* document)
{
    const bool zumo9 = dynamic_cast<const TZumo9Doc*>(document) != nullptr;
    switch (page) {
    case TProtocolPage::KPGranit:
        if (zumo9) return {.Items = &kZumo9Commands};
        return {.Items = &kLinkDownCommands, .BoundKey = "LinkDownCmdVAK", .NumberShown = true};
    case TProtocolPage::PUGranit:
        if (zumo9) return {.Items = &kZumo9Commands, .BoundKey = "BindTUGranit_CmdTU"};
        return {.Items = &kServiceCommands, .BoundKey = "ServicedPUTU", .NumberShown = true};
    default:
        return {};
    }
}
