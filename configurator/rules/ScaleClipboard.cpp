#include "configurator/rules/ScaleClipboard.h"

#include "configurator/core/StrUtils.h"
#include "configurator/rules/ScaleGridRules.h"
#include "model/UiCallbacks.h"
#include "model/uDocument.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string_view>

ITextClipboard::~ITextClipboard() = default;

namespace {

const char* const kLineEnd = "\r\n";
// The device scale blocks' fields a line fills, in its order.
const char* const kDevScaleKeys[] = {"0001", "0002", "0003"};
constexpr int kDevScaleParts = 4; // the three values and the formula
constexpr int kConversionMinParts = 2;

// Without the blanks and control characters at either end.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::string ValueText(const TFieldLst& record, int index)
{
    const auto* field = dynamic_cast<const TField*>(record.FieldByIndex(index));
    return field ? field->GetValue().ToString() : std::string();
}

// The conversion number of a device scale block; 0 without one.
int64_t ConversionNumber(const TFieldLst& record)
{
    const auto* field = record.Find<TField>("0003");
    return field ? field->GetValue().ToInt64() : 0;
}

// The bytes of a document's image, to put back.
class TImageCopy {
public:
    explicit TImageCopy(const TDocument& document)
    {
        for (int i = 0; i < document.Image.BlockCount(); ++i) {
            const TMemoryBlock& block = *document.Image.BlockByIndex(i);
            bytes_.emplace_back(block.Data(), block.Data() + block.Size);
        }
    }
    // The bytes back, then the document reloads what it caches from them.
    void Restore(TDocument& document) const
    {
        for (int i = 0; i < document.Image.BlockCount() && i < static_cast<int>(bytes_.size()); ++i) {
            TMemoryBlock& block = *document.Image.BlockByIndex(i);
            const std::vector<uint8_t>& saved = bytes_[static_cast<size_t>(i)];
            std::copy(saved.begin(), saved.begin() + std::min<size_t>(saved.size(), static_cast<size_t>(block.Size)),
                      block.Data());
        }
        document.ReloadAll();
    }

private:
    std::vector<std::vector<uint8_t>> bytes_;
};

// The column whose editor writes a field, for the cell validation of StoreCell; -1
// for none.
int ColumnOf(const TGridSpec& spec, const TGridRow& row, const TField& field)
{
    for (int c = 0; c < spec.ColumnCount(); ++c)
        if (EditField(spec, row, c) == &field) return c;
    return -1;
}

} // namespace

const char* ScaleTableHeader(TScaleTableKind kind)
{
    return kind == TScaleTableKind::Conversions ? "tit scales tab export:v1" : "dev scales tab export:v1";
}

std::string ScaleTableText(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows,
                           int& dataLines)
{
    dataLines = 0;
    std::string text = std::string(ScaleTableHeader(kind)) + kLineEnd;
    const int fields = !rows.empty() && rows.front().Record ? rows.front().Record->FieldCount() : 0;
    for (const TGridRow& row : rows) {
        if (!row.Record) continue;
        std::string line;
        if (kind == TScaleTableKind::Conversions) {
            for (int f = 0; f < fields; ++f) {
                if (f > 0) line += '\t';
                line += ValueText(*row.Record, f);
            }
        } else {
            if (ConversionNumber(*row.Record) == 0) continue;
            for (const char* key : kDevScaleKeys) {
                const auto* field = row.Record->Find<TField>(key);
                line += (field ? field->GetValue().ToString() : std::string()) + '\t';
            }
            line += CellText(spec, row, dsFormula);
        }
        text += line + kLineEnd;
        ++dataLines;
    }
    return text;
}

int CopyScaleTable(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows,
                   ITextClipboard& clipboard)
{
    int lines = 0;
    const std::string text = ScaleTableText(kind, spec, rows, lines);
    if (lines == 0) return 0;
    clipboard.SetText(text);
    PostLogMessage("Успешно выполнен экспорт. Строк " + std::to_string(lines), lkNormal);
    return lines;
}

std::vector<std::string> ClipboardLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool PasteScaleTable(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows, TDocument& document,
                     const ITextClipboard& clipboard, platform::HWND owner)
{
    if (!clipboard.HasText()) throw platform::Exception("Не текстовый формат");
    std::vector<std::string> lines = ClipboardLines(clipboard.Text());
    if (lines.empty() || Trimmed(lines.front()) != ScaleTableHeader(kind))
        throw platform::Exception("Формат не поддерживается; Строка 1");
    lines.erase(lines.begin());
    size_t dataLines = 0;
    for (const std::string& line : lines)
        if (!Trimmed(line).empty()) ++dataLines;
    if (dataLines > rows.size()) throw platform::Exception("Превышение кол. строк импорта");

    // The keys a line fills and the values it is cut into, prefilled by the fields'
    // types.
    std::vector<std::string> keys;
    int parts = kDevScaleParts;
    int minParts = static_cast<int>(std::size(kDevScaleKeys));
    const TFieldLst* first = !rows.empty() ? rows.front().Record : nullptr;
    if (kind == TScaleTableKind::Conversions) {
        for (int f = 0; first && f < first->FieldCount(); ++f) keys.push_back(first->FieldName(f));
        parts = static_cast<int>(keys.size());
        minParts = kConversionMinParts;
    } else {
        keys.assign(std::begin(kDevScaleKeys), std::end(kDevScaleKeys));
    }
    std::vector<Variant> prefill(static_cast<size_t>(parts), Variant(int32_t{0}));
    for (size_t j = 0; first && j < keys.size(); ++j)
        if (const auto* field = first->Find<TField>(keys[j]); field && field->FieldType == ftString)
            prefill[j] = Variant(std::string());

    const TImageCopy saved(document);
    try {
        for (const TGridRow& row : rows)
            if (row.Record) row.Record->ResetDefaults();
        size_t next = 0; // the row the next line fills
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            const std::string number = std::to_string(i + 1);
            if (Trimmed(line).empty()) continue;
            std::vector<Variant> values = prefill;
            const int split = SplitToVariants("\t", line, values);
            if (split < minParts) {
                const std::string message = "Ошибка разбора строки; Строка " + number;
                if (platform::ShowMessageBox(owner, message + "\rПродолжить ?", "Ошибка", platform::MsgIcon::Question,
                                             platform::MsgButtons::YesNo) == platform::MsgResult::Yes)
                    continue;
                saved.Restore(document);
                return false;
            }
            const TGridRow& target = rows[next++];
            try {
                for (size_t j = 0; j < keys.size(); ++j) {
                    TField* field = target.Record ? target.Record->Find<TField>(keys[j]) : nullptr;
                    if (!field) continue;
                    TCommandSender sender;
                    StoreCell(spec, target, ColumnOf(spec, target, *field), *field, values[j], sender);
                }
            } catch (...) {
                throw platform::Exception(platform::ExceptionMessage(std::current_exception()) +
                                          "\r\nОшибка заполнения значений; Строка " + number);
            }
        }
    } catch (...) {
        saved.Restore(document);
        throw;
    }
    PostLogMessage("Импорт окончен. Обработано строк " + std::to_string(lines.size()), lkNormal);
    return true;
}
