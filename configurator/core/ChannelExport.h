#pragma once

#include "platform/Windows.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TDevice;
class TDevChannel;
class TDocument;
class TZumo2Doc;

// The table of the devices' channel blocks as comma-separated text: one line per block
// in use, in device order and block order, after a header line.

inline constexpr const char* kChannelCsvHeader = "Устройство, порт, адрес, нач, кол-во, ВАК, тип";

// "<title>, <port>, <address>, <start>, <count>, <ВАК>, <type>" of one block; none for a
// block whose count "0002" is 0. Numbers are printed as the unsigned values they are;
// a type without a short name reads "неопределено: <code>".
std::optional<std::string> FormatChannelCsvLine(const TDevice& device, const TDevChannel& block);

// The lines of every block in use, without the header.
std::vector<std::string> CollectChannelCsvLines(const TZumo2Doc& document);

// Whether the document is one whose devices can be exported and at least one of its
// device slots is in use (a protocol is chosen).
bool HasDeviceInUse(const TDocument* document);

// The header and the lines, each ended by CR LF, in Windows-1251, written atomically.
void WriteChannelCsv(const std::filesystem::path& fileName, const std::vector<std::string>& lines);

// Opens a file with the desktop's default application.
using TShellOpen = std::function<void(const std::string& fileName)>;

// Asks for a file to save to with the given filter ("csv формат (*.csv)|*.csv") followed
// by "All files (*.*)|*.*" (only the latter without a filter), starting in the folder;
// ".csv" is appended to a name that holds no ".csv" anywhere. Empty when cancelled.
std::string AskSaveFileName(platform::HWND owner, const std::string& filter, const std::string& initialDir);

// The export command: the devices' channel blocks of the document into a file the user
// chooses, then the question whether to open it. currentParamFile suggests the folder.
// Raises "Не найдено устройство с логическими каналами" without a device in use and
// "Для выбранного устройства не поддерживается" for a document of another kind; says
// "Нет данных для экспорта" when no block is in use.
void ExportDeviceChannelsToCsv(TDocument* document, platform::HWND owner, const std::string& currentParamFile,
                               const TShellOpen& open);
