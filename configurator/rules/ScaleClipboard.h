#pragma once

#include "configurator/rules/GridSpec.h"
#include "platform/Windows.h"

#include <optional>
#include <string>
#include <vector>

class TDocument;

// The scale tables on the clipboard, as tab-separated Unicode text: a header line,
// then one line per row, each line (the last one too) ended by CR LF.
//   "tit scales tab export:v1": every conversion, its record's fields in key order
//       ("0001", "0002" and, where there is one, "descr") as text in the user's
//       locale, separated by TAB, neither quoted nor escaped.
//   "dev scales tab export:v1": every device scale block whose conversion number is
//       not 0: VAK, count, number and the formula as the grid shows it (its trailing
//       blank too), separated by TAB.

// The clipboard as the scale grids use it: Unicode text (UTF-8 here).
class ITextClipboard {
public:
    virtual ~ITextClipboard();
    // Whether the clipboard holds text.
    virtual bool HasText() const = 0;
    // The text it holds ("" without one).
    virtual std::string Text() const = 0;
    // Empties the clipboard and puts the text on it.
    virtual void SetText(const std::string& text) = 0;
};

// A clipboard kept in memory, for tests and benchmarks: no text until one is set.
class TMemoryClipboard : public ITextClipboard {
public:
    std::optional<std::string> Content; // none: the clipboard holds something else

    bool HasText() const override { return Content.has_value(); }
    std::string Text() const override { return Content.value_or(std::string()); }
    void SetText(const std::string& text) override { Content = text; }
};

enum class TScaleTableKind {
    Conversions, // the document's TIT conversions (the conversion grid)
    DeviceScales // a device's scale blocks (the device scale grid)
};

// The table's header line.
const char* ScaleTableHeader(TScaleTableKind kind);

// The clipboard text of the rows (a grid's rows in the order shown, the grid spec the grid's:
// the device scale lines take their formula from its column 2), and how many data
// lines it has. The conversions give one line per row, with the fields of the first
// row's record by position; the device scale blocks one line per row whose number is
// not 0.
std::string ScaleTableText(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows,
                           int& dataLines);

// The tool button "copy": with at least one data line, puts the text on the clipboard
// and logs "Успешно выполнен экспорт. Строк " and their number (lkNormal); without,
// leaves the clipboard alone and logs nothing. Returns the number of data lines.
int CopyScaleTable(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows,
                   ITextClipboard& clipboard);

// The text cut into lines at CR LF, LF or CR; a break at the end adds no line, so
// "" gives none.
std::vector<std::string> ClipboardLines(const std::string& text);

// The tool button "paste": reads the clipboard's table back into the rows.
//   1. No text raises "Не текстовый формат". No line, or a first line that is not
//      the header (blanks around it aside), raises "Формат не поддерживается; Строка
//      1". More non-empty lines after the header than rows raises "Превышение кол.
//      строк импорта". Nothing has changed then.
//   2. The document's image is copied, and every row's record is reset to its
//      defaults.
//   3. The lines after the header, numbered from 1: an empty one (blanks aside) is
//      passed over and uses no row. Each other line is cut at TAB into values
//      prefilled by the type of the field they go to ("" for a text, else 0; an
//      empty part keeps that): the conversions into as many values as the first
//      record has fields, at least 2 of them; the device scale blocks into 4, at
//      least 3. Fewer parts, or more than the values, raise "Ошибка разбора строки;
//      Строка N", shown as a question (caption "Ошибка", the message, CR and
//      "Продолжить ?", Yes/No) through the dialog service over owner: Yes passes the
//      line over, No ends the import. Otherwise the values are stored by key into the
//      next row's record through StoreCell (the conversions: every field; the device
//      scale blocks: "0001", "0002" and "0003", the formula is not read back); a
//      value the field refuses ends the import with "<its message>\r\nОшибка
//      заполнения значений; Строка N".
//   4. An import that ends early puts the image back as it was (and the document
//      reloads what it keeps from it, the description texts among it) and logs
//      nothing; a refused value then raises its error. An import that read every
//      line logs "Импорт окончен. Обработано строк " and the number of lines after
//      the header (lkNormal).
// Returns whether the import read every line. The caller repaints the grid once,
// whatever the outcome.
bool PasteScaleTable(TScaleTableKind kind, const TGridSpec& spec, const std::vector<TGridRow>& rows, TDocument& document,
                     const ITextClipboard& clipboard, platform::HWND owner = 0);
