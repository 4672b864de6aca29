#include "model/uZumo9.h"

#include <optional>

namespace {

constexpr int32_t CommandType = 3; // "0004" of a command (ТУ) block

// A channel block's values as far as the rule needs them, widened so that a start near
// 0xFFFFFFFF plus a count does not wrap.
struct TCommandRange {
    int64_t Start = 0; // "0003"
    int64_t Count = 0; // "0002"
    int64_t Type = 0;  // "0004"

    bool Holds(int64_t address) const
    {
        return address != 0 && Type == CommandType && Count > 0 && Start <= address && address < Start + Count;
    }
};

std::optional<int64_t> NumberOf(const Variant& value)
{
    try {
        return value.ToInt64();
    } catch (const platform::EConvertError&) {
        return std::nullopt;
    }
}

int64_t ValueOf(const TFieldLst& block, const char* key)
{
    const auto* field = block.Find<TField>(key);
    return field ? field->GetValue().ToInt64() : 0;
}

TCommandRange RangeOf(const TFieldLst& block)
{
    return {ValueOf(block, "0003"), ValueOf(block, "0002"), ValueOf(block, "0004")};
}

// The keys of a channel block the rule judges, with the member of the range each sets.
struct TJudgedKey {
    const char* Key;
    int64_t TCommandRange::*Member;
};
constexpr TJudgedKey JudgedKeys[] = {
    {"0002", &TCommandRange::Count},
    {"0003", &TCommandRange::Start},
    {"0004", &TCommandRange::Type},
};

} // namespace

void TZumo9Doc::Build()
{
    TZumo4Doc::Build();
    commandAddress_ = Find<TField>("VAK_TU1");
    const TFieldValidateEvent rule = ValidateFieldChangeEvent();
    if (commandAddress_) commandAddress_->OnValidate = rule;
    for (int d = 0; d < DeviceCount(); ++d) {
        const TDevice& device = *DeviceByIndex(d);
        for (int i = 0; i < device.ChannelBlockCount(); ++i)
            for (const TJudgedKey& judged : JudgedKeys)
                if (auto* field = device.ChannelBlockByIndex(i)->Find<TField>(judged.Key)) field->OnValidate = rule;
    }
}

void TZumo9Doc::BuildPorts(TLayout& layout)
{
    static const TPortRow ports[] = {
        {"UART0", true, "COM1", 0},
        {"UART1", false, "XPort", 0},
        {"UART2", true, "COM2", 0},
        {"USB", false, "USB", 1},
    };
    LayPorts(layout, ports);
}

void TZumo9Doc::BuildCommon(TLayout& layout) { BuildCommonFields(layout, "VAK_TU1"); }

std::vector<std::string> TZumo9Doc::GetPortNames() const { return {"COM1", "XPort", "COM2", "USB"}; }

bool TZumo9Doc::CommandRangeHolds(int64_t address) const
{
    bool held = false;
    ForEachDeviceChannelList([&](TDevice&, TDevChannel& block, bool& proceed) {
        held = RangeOf(block).Holds(address);
        proceed = !held;
    });
    return held;
}

bool TZumo9Doc::ChannelChangeAccepted(const TDevChannel& block, const TField& field, const Variant& value) const
{
    const int64_t address = commandAddress_ ? commandAddress_->GetValue().ToInt64() : 0;
    if (address == 0) return true;
    for (const TJudgedKey& judged : JudgedKeys) {
        if (block.FindField(judged.Key) != &field) continue;
        const std::optional<int64_t> number = NumberOf(value);
        if (!number) return true;
        TCommandRange after = RangeOf(block);
        after.*judged.Member = *number;
        return !after.Holds(address);
    }
    return true; // "0001" and "0005" place nothing in the ВАК space
}

void TZumo9Doc::ValidateFieldChange(const void*, TField* field, const Variant& value, TFieldLst* row, bool& accept)
{
    if (!field) return;
    if (field == commandAddress_) {
        const std::optional<int64_t> address = NumberOf(value);
        if (address && CommandRangeHolds(*address)) accept = false;
        return;
    }
    const auto* block = dynamic_cast<const TDevChannel*>(row);
    if (!block) block = dynamic_cast<const TDevChannel*>(field->Parent);
    if (block && !ChannelChangeAccepted(*block, *field, value)) accept = false;
}

void TZumo9Doc::ValidateChannelChange(const void* sender, TField* field, const Variant& value,
                                      TFieldLst* channelList, bool& accept)
{
    ValidateFieldChange(sender, field, value, channelList, accept);
}

void TZumo9Doc::Validate()
{
    if (commandAddress_ && CommandRangeHolds(commandAddress_->GetValue().ToInt64()))
        throw platform::Exception(OverlapMessage);
}

std::unique_ptr<TZumo2Doc> MakeZumo9Doc() { return MakeDocument<TZumo9Doc>(); }
