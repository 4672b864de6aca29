#pragma once
// The read operations of the library: the parameter blocks of the host's document read
// back into a list of new block objects, and the whole FLASH or EEPROM of the chip read
// into an Intel HEX file the user chooses; and the file dialog of the library that
// remembers its folder and filter per dialog.

#include "model/Memory.h"
#include "platform/Dialogs.h"

#include <cstdint>
#include <string>

class TLoaderCore;

// The settings section and keys of the read operations' save dialogs.
extern const char* const kReadFlashDialogSection; // "ReadOpenDialogFLASH"
extern const char* const kReadEepromDialogSection; // "ReadOpenDialog"
extern const char* const kFirmwareDirKey;          // "Dir_a90"
// "Файлы прошивок|*.a90;*.a82|Hex файлы|*.hex|Все файлы|*.*"
extern const char* const kFirmwareFileFilter;

// Runs the file dialog with the remembered settings of its section in the library's
// dialog settings (the ini working copy when it exists, else "SarnupolexLib.ini"): the
// filter index from (section, dirKey + "FilterIndex"), 1 when missing, and the initial
// folder from (section, dirKey), the host folder when missing, replace those of the
// request; the rest of the request (kind, owner, filter, default extension, flags) is
// used as given. The operation log gets "ini файл "<file>" <section> (<dirKey>) считан
// начальный путь <folder>". When the user confirms a file, the chosen filter index, the
// file's folder and the file itself ((section, "FileName")) are written to the working
// copy, and the log gets "ini файл "<working copy>" <section> (<dirKey>) сохранен
// начальный путь <folder>". True when a file was confirmed; result then holds the file
// with its folder and the chosen filter index. Raises when the working copy cannot be
// written.
bool RunFileDialog(TLoaderCore& core, const platform::FileDialogRequest& request, const std::string& section,
                   const std::string& dirKey, platform::FileDialogResult& result);
