#include "configurator/ChannelExport.h"

#include "model/uZumo2.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Format.h"

namespace {

// Every field printed here holds a whole number of at most 32 bits, signed or not;
// through 64 bits it keeps its sign and its unsigned range alike.
long long Number(const TFieldLst& list, const char* key)
{
    const TField* field = list.Find<TField>(key);
    return field ? static_cast<long long>(field->GetValue().ToInt64()) : 0;
}

} // namespace

std::optional<std::string> FormatChannelCsvLine(const TDevice& device, const TDevChannel& block)
{
    const long long count = Number(block, "0002");
    if (count == 0) return std::nullopt;
    const long long type = Number(block, "0004");
    std::string typeText = ChannelKindShortName(static_cast<int>(type));
    if (typeText.empty()) typeText = platform::Format("неопределено: %lld", type);
    return platform::Format("%s, %s, %lld, %lld, %lld, %lld, %s", device.DeviceTitle().c_str(),
                            device.DevicePortName().c_str(), Number(device, "000"), Number(block, "0001"), count,
                            Number(block, "0003"), typeText.c_str());
}

std::vector<std::string> CollectChannelCsvLines(const TZumo2Doc& document)
{
    std::vector<std::string> lines;
    document.ForEachDeviceChannelList([&](TDevice& device, TDevChannel& block, bool&) {
        if (auto line = FormatChannelCsvLine(device, block)) lines.push_back(std::move(*line));
    });
    return lines;
}

bool HasDeviceInUse(const TDocument* document)
{
    const auto* doc = dynamic_cast<const TZumo2Doc*>(document);
    if (!doc) return false;
    for (int i = 0; i < doc->DeviceCount(); ++i)
        if (doc->DeviceByIndex(i)->ActiveProtocolIndex() != 0) return true;
    return false;
}

void WriteChannelCsv(const std::filesystem::path& fileName, const std::vector<std::string>& lines)
{
    std::string text = kChannelCsvHeader;
    text += "\r\n";
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    platform::WriteFileAtomically(fileName, platform::Utf8ToAnsi(text));
}
