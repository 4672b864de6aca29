#pragma once
// The write operations of the loader: the host document's parameters, the choice of a
// firmware file, the firmware alone (over MODBUS, or by TFTP to devices marked so) and
// the firmware together with the parameters; the scheme version of the parameters and
// its comparison with the firmware's, and the check that parameters stay out of the
// program's memory.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TBlockList;
class TDeviceSession;
class TLoaderCore;
class TMemory;
class TMemoryBlock;

// "Область памяти параметров пересекается с памятью программы.\rБлок программы: адрес
// %.8X, размер %d.\rБлок параметров: адрес %.8X, размер %d"
extern const char* const kParamsOverlapProgram;
// "Прошивка версии %s параметры версии %s. Продолжать?" (firmware, parameters)
extern const char* const kVersionQuestion;

// The host's blocks in ascending unsigned address order (equal addresses keep their
// order); the list itself is left as it is. Empty for a null list.
std::vector<const TMemoryBlock*> SortedBlocks(const TBlockList* blocks);

// The version the parameters were made for: the digits and "." that follow the first
// "Scheme ID:" in the blocks laid out flat, from the lowest start to the highest end,
// bytes between blocks read as zeros (so a version stops at a gap). Empty without
// blocks or marker.
std::string GetSchemeVersion(const std::vector<const TMemoryBlock*>& blocks);

// Whether the firmware's version differs from the parameters' so that the user is asked:
// both have components (split at "."); the firmware's are padded with "0" up to the
// parameters' count, at most 2; component 1 is compared as text, and, when equal and the
// parameters have a second component, component 2.
bool FirmwareVersionDiffers(const std::string& paramsVersion, const std::string& firmwareVersion);

// Raises ESarnupolex kParamsOverlapProgram (program block, then parameter block) for the
// first parameter block, in the given order, whose bytes share an address with a block
// of the image. Ranges are taken in 64 bits: nothing wraps at 4 GiB. Empty blocks hold
// no address.
void CheckParamsOverlap(const TMemory& image, const std::vector<const TMemoryBlock*>& params, uint32_t base);

// The firmware file remembered by the file dialog ("WriteOpenDialogFLASH", "FileName")
// in the ini working copy when it exists, else in "SarnupolexLib.ini"; empty when none.
std::string ChosenFirmwareFile(TLoaderCore& core);

// Operation 2. The host blocks (addresses relative to base) are written at base + their
// address after the confirmation "Подтвердите операцию записи параметров\nУстройство:
// %s\nсоединение: %s" (unless dialogs are disabled), the preliminary script, the handshake
// and, on a chip with FindFirmwareID and parameters with a version, the version check
// (kVersionQuestion, "Внимание", Yes/No). Logs "Запись параметров...", "Параметры
// загружены" and "Параметры записаны"; the final script phase activates the flash save.
// False on Cancel, No, a cancelled search or transfer (no box). Runs in a device session
// (PROGRESS_OP_BEGIN before the device is chosen, the end pause, the closing of the
// connection and PROGRESS_OP_END on every path); errors leave once it has ended, for
// Invoke3's box "Ошибка".
bool WriteDeviceParams(TLoaderCore& core, int32_t device, const std::string& scheme, const TBlockList* blocks,
                       uint32_t baseAddress, uint8_t linearHex);

// Operation 13: the open dialog for firmware files; when confirmed the file is
// remembered and "Выбранв прошивка "<path>"" is posted. Whether it was confirmed.
bool ChooseFirmwareFile(TLoaderCore& core);

// Operation 9: the chosen file to the device. A missing file: the box "Файл "<path>" не
// найден" ("Файл не найден" when none was chosen), caption "Ошибка", and false, before
// any connection. The confirmation names device, connection and file. A device with
// TFTP sends the file unchanged to its TCPIP host (TFTPTransfer); any other is opened,
// runs its preliminary script and handshake and gets WriteFirmwareImage. A ".tcf" package
// is unpacked before the confirmation (ExtractFirmwarePackage; failing: false); over
// MODBUS the chip's file from it is written (PackageFirmwareFile; none: the box
// "Аппаратная конфигурация устройства не поддерживается этой версией прошивки" and false),
// a TFTP device gets the package itself; its folder is removed at the end on every path.
// The session, and its errors, as WriteDeviceParams; the confirmation comes after
// PROGRESS_OP_BEGIN.
bool WriteFirmware(TLoaderCore& core, int32_t device, const std::string& scheme);

// Operation 12: as WriteFirmware (packages too) without confirmation and TFTP; the host blocks join the
// firmware image at base + their address.
bool WriteFirmwareAndParams(TLoaderCore& core, int32_t device, const std::string& scheme, const TBlockList* blocks,
                            uint32_t baseAddress);

// On the session's open connection: reads the Intel HEX file ("Чтение файла: <file>";
// the reader's errors pass), adds copies of the parameter blocks at base + their address
// after CheckParamsOverlap, and writes every block with WriteBlocks ("Загрузка прошивки
// "<file>"[ и параметров]"), then "Запись прошивки.", the final script phase with
// activation and "Прошивка записана". False when the transfer was cancelled.
bool WriteFirmwareImage(TDeviceSession& session, const std::filesystem::path& file,
                        const std::vector<const TMemoryBlock*>* params, uint32_t baseAddress);
