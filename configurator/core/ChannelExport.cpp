#include "configurator/core/ChannelExport.h"

#include "model/uZumo2.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Dialogs.h"
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

std::string AskSaveFileName(platform::HWND owner, const std::string& filter, const std::string& initialDir)
{
    platform::FileDialogRequest request;
    request.owner = owner;
    request.kind = platform::FileDialogKind::Save;
    request.filter = filter.empty() ? std::string("All files (*.*)|*.*") : filter + "|All files (*.*)|*.*";
    request.initialDir = initialDir;
    const platform::FileDialogResult answer = platform::ShowFileDialog(request);
    if (!answer.accepted || answer.fileName.empty()) return {};
    std::string fileName = answer.fileName;
    if (fileName.find(".csv") == std::string::npos) fileName += ".csv";
    return fileName;
}

void ExportDeviceChannelsToCsv(TDocument* document, platform::HWND owner, const std::string& currentParamFile,
                               const TShellOpen& open)
{
    if (!HasDeviceInUse(document)) throw platform::Exception("Не найдено устройство с логическими каналами");
    const std::string folder =
        currentParamFile.empty() ? std::string() : std::filesystem::path(currentParamFile).parent_path().string();
    const std::string fileName = AskSaveFileName(owner, "csv формат (*.csv)|*.csv", folder);
    if (fileName.empty()) return;
    const auto* doc = dynamic_cast<const TZumo2Doc*>(document);
    if (!doc) throw platform::Exception("Для выбранного устройства не поддерживается");
    const std::vector<std::string> lines = CollectChannelCsvLines(*doc);
    if (lines.empty()) {
        platform::ShowMessageBox(owner, "Нет данных для экспорта", platform::ApplicationTitle(),
                                 platform::MsgIcon::None, platform::MsgButtons::OK);
        return;
    }
    WriteChannelCsv(fileName, lines);
    if (platform::ShowMessageBox(owner, "Открыть файл " + fileName, "Подтверждение", platform::MsgIcon::Question,
                                 platform::MsgButtons::YesNo) == platform::MsgResult::Yes &&
        open)
        open(fileName);
}
