#pragma once
// The work behind the library's entry points, without widgets: the operation catalogue,
// the dispatch of an operation code with its error box and log file, the settings
// operation on the host's list, and the quick send and direct reads and writes in a
// device session. The entry points in loader/SarnupolexLib.cpp only forward here with
// the loaded core.

#include "platform/Dialogs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TBlockList;
class TLoaderCore;

// "Операция с кодом %d не поддерживается".
extern const char* const kOperationNotSupported;
// "Не задан буфер данных": a null text or buffer with bytes to move.
extern const char* const kNoDataBuffer;
// "Неверная длина данных: %d": a negative byte count.
extern const char* const kBadDataLength;

// The catalogue text in Windows-1251 (13 lines "OPCode=%d; Caption=...", LF between
// them, none at the end), built once; valid while the library is loaded.
const char* OperationCatalogue();

// Shows the settings dialog for the devices (their lines, the selected index), as
// ShowConnectionSettings does; on OK the lines and index are the edited ones.
using TSettingsDialog = std::function<bool(TLoaderCore& core, std::vector<std::string>& devices, int& index)>;

// The settings operation. The model code is item 0 of the host list, taken out of it
// (16 without a list or item); it is not used further. The dialog gets the device lines
// with the device index selected. On OK the session is marked changed, the lines are
// saved as the working device list, the selected index is added to the host list and
// the result is true. Cancel: false, nothing saved, the list left empty.
bool EditConnectionSettings(TLoaderCore& core, int32_t device, const std::string& scheme, TBlockList* hostList,
                            const TSettingsDialog& dialog);

// Invoke3's arguments.
struct TInvokeRequest {
    int32_t Op = 0;
    int32_t Device = -1;
    const char* Scheme = nullptr;  // null reads as empty
    TBlockList* Blocks = nullptr;  // the host's blocks, read only
    TBlockList** Result = nullptr; // op 0: the host's list; else where a new list goes
    uint32_t HostWindow = 0;
    uint8_t LinearHex = 0;
    uint32_t BaseAddress = 0;
};

// Invoke3: sets the operation window; for an op other than 0 deletes the log file (a
// directory in its place stays, and nothing is raised); refuses op above 13 (compared
// unsigned) and every op without an operation here with kOperationNotSupported;
// otherwise runs the operation. -1 when it returned true, 0 when false or when it
// raised: the error then shows as a box (caption "Ошибка", error icon, OK) on the host
// window and is logged. Finally the operation log is written (SaveLog). Never raises.
int32_t InvokeOperation(TLoaderCore& core, const TInvokeRequest& request, const TSettingsDialog& settings) noexcept;

// QuickSend: 1 when the text and CR LF were written to the device's connection, else 0.
// Every failure (selection, opening, writing, a null text) sets the thread's last-error
// text and an Error line of the rolling log. Runs in a device session for direct I/O, so
// the connection is closed in any case.
int32_t QuickSendText(TLoaderCore& core, int32_t device, const char* text) noexcept;
// IORead, IOWrite, IOWriteRead: the transport's count, or -1 after a failure reported as
// QuickSendText reports it.
int32_t DeviceIORead(TLoaderCore& core, int32_t device, void* buffer, int32_t count) noexcept;
int32_t DeviceIOWrite(TLoaderCore& core, int32_t device, const void* buffer, int32_t count) noexcept;
int32_t DeviceIOWriteRead(TLoaderCore& core, int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                          int32_t delayMs, int32_t idleMs) noexcept;

// The failure result of an entry point that has no core to work with: the last-error
// text says the library is not loaded properly.
void ReportNoCore() noexcept;
