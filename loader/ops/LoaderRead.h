#pragma once
// The read operations of the library: the parameter blocks of the host's document read
// back into a list of new block objects, and the whole FLASH or EEPROM of the chip read
// into an Intel HEX file the user chooses; and the file dialog of the library that
// remembers its folder and filter per dialog.

#include "model/Memory.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"

#include <cstdint>
#include <string>

class TLoaderCore;

// The block class of the read results: a memory block created, and released through
// its own Release, inside the library.
class TMemBlock : public TMemoryBlock {
public:
    using TMemoryBlock::TMemoryBlock;
    ~TMemBlock() override;
};

// An operation the user stopped in one of its dialogs; shown like any other error.
class EOperationAborted : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EOperationAborted() override;
};

// "Подтвердите операцию чтения параметров\nУстройство: %s\nсоединение: %s"
extern const char* const kReadParamsQuestion;
// "Неверная область памяти (адрес %.8X, размер %llu байт)"
extern const char* const kBadMemoryArea;
// "отмена": the memory area dialog was not confirmed.
extern const char* const kAreaCancelled;

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

// Reads the host's blocks back from the device of that index (op 1). The result holds a
// new block for each host block at its address + baseAddress with its size. Unless the
// host disabled confirmations, asks kReadParamsQuestion (device name and connection,
// caption "Предупреждение", exclamation, OK/Cancel) on the host window; Cancel ends with
// false before anything is opened. Then it opens the connection, runs the script's
// preliminary phase and the handshake, looks for the firmware version when the chip
// asks for it ("#Версия: <version>" when one is found), reads the blocks in ascending
// unsigned address order ("Cчитывание параметров...", caption "Считывание параметров
// (<chip>)"), logs "Параметры считаны" or "Операция прервана" (a cancel of the version
// search or of the read), runs the final phase, the end pause, and closes. On success
// the blocks' addresses are made relative to the document again (unchanged for a
// baseAddress of 0), the list, in ascending address order, goes to *result (which the
// host releases), and the result is true. On every other path, also when it raises,
// the library releases the list and its blocks itself and *result stays null.
// PROGRESS_OP_BEGIN goes first and PROGRESS_OP_END last on every path. The scheme and
// linearHex are not used.
bool ReadDeviceParams(TLoaderCore& core, int32_t device, const std::string& scheme, const TBlockList* blocks,
                      uint32_t baseAddress, uint8_t linearHex, platform::HWND hostWindow, TBlockList** result);

// Reads the chip's FLASH into an Intel HEX file (op 11): SizeFlash KiB in chunks of its
// Sector from 0, or from FlashStartAddress on a linear chip; a chip with SizeFlash 0 asks
// for the area with the memory area dialog (EOperationAborted kAreaCancelled when it is
// not confirmed) and reads from the typed start. After a complete read, the save dialog
// of kReadFlashDialogSection; the image is written as Intel HEX (not linear, 16 bytes a
// record) whatever filter was chosen. True when the FLASH was read completely. Raises
// "Не определен тип процессора" without a chip, "Неверный размер сектора %d у %s" for a
// Sector below 1 and kBadMemoryArea for an area of 2 GiB or more or one that passes
// 4 GiB, each before a block is read or allocated. PROGRESS_OP_END is sent on every
// path (before the save dialog after a read).
bool ReadFlashToFile(TLoaderCore& core, int32_t device, const std::string& scheme);

// As ReadFlashToFile for the EEPROM (op 10): SizeEPP div Sector chunks from 0x80000000;
// "У <chip> нет EEPROM" for none, before any block request; the save dialog of
// kReadEepromDialogSection; the file is linear, so it starts with ":0200000480007A".
bool ReadEepromToFile(TLoaderCore& core, int32_t device, const std::string& scheme);
