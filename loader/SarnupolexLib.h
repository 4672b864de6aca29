#pragma once
// The loader library's C interface, as the host binds it by name after loading
// libSarnupolexLib.so. Strings are zero-terminated Windows-1251 bytes; no exception
// ever leaves an entry point.

#include <cstddef>
#include <cstdint>
#include <type_traits>

class TBlockList;

#define SARNUPOLEX_API extern "C" __attribute__((visibility("default")))

// The block the host hands to SetSarnupolexParams before every operation; 24 bytes,
// little-endian, handles as 32-bit numbers.
struct LoaderParams {
    uint32_t Size;               // 24; not read (the size argument is checked instead)
    uint32_t HostWindow;         // the host's main window; not read
    uint8_t Reserved1;
    uint8_t DialogsConfDisabled; // 1: operations ask no confirmation; any other value: they ask
    uint8_t Reserved2[2];
    uint32_t ManualTermEvent;    // a host event; stored, never used
    uint8_t Reserved3[8];
};
static_assert(sizeof(LoaderParams) == 24);
static_assert(offsetof(LoaderParams, Size) == 0);
static_assert(offsetof(LoaderParams, HostWindow) == 4);
static_assert(offsetof(LoaderParams, Reserved1) == 8);
static_assert(offsetof(LoaderParams, DialogsConfDisabled) == 9);
static_assert(offsetof(LoaderParams, Reserved2) == 10);
static_assert(offsetof(LoaderParams, ManualTermEvent) == 12);
static_assert(offsetof(LoaderParams, Reserved3) == 16);

// Operation codes of Invoke3 and of the catalogue (GetOPCodes). Codes 3 to 8 are
// unassigned.
enum : int32_t {
    opSeparator = -1,              // a separator of the catalogue; never invoked
    opSettings = 0,                // the connection settings dialog
    opReadParams = 1,              // read the device's parameters
    opWriteParams = 2,             // write the parameters
    opWriteFirmware = 9,           // write the firmware
    opReadEeprom = 10,             // read the EEPROM into a file
    opReadFlash = 11,              // read the FLASH into a file
    opWriteFirmwareAndParams = 12, // write the firmware and the current parameters
    opChooseFirmware = 13,         // choose the firmware file
    opQuickSend = 14,              // done by QuickSend, not by Invoke3
};

// wParam of platform::WM_LOADER_PROGRESS as the library sends it (the host also
// handles PROGRESS_QUERY_BAR, which the library never sends).
enum : int32_t {
    PROGRESS_QUERY_BAR = -1,
    PROGRESS_OP_BEGIN = 0, // lParam 0: an operation that talks to a device begins
    PROGRESS_OP_END = 1,   // lParam 0: that operation ends, also after an error
    PROGRESS_CAPTION = 2,  // lParam: atom of the caption of a block transfer
    PROGRESS_PERCENT = 3,  // lParam: percent 0..100; a non-zero reply asks to cancel
    PROGRESS_TEXT = 4,     // lParam: atom of a log line (at most 255 characters)
};

// The device-list text: lines separated by LF, one device each (line i is device
// index i), empty lines left out. Valid until the next call; null when the list is
// empty. The scheme name is ignored.
SARNUPOLEX_API const char* GetDevices(const char* scheme);

// Takes the confirmation flag and the event handle from the block when size is 24;
// any other size, or a null block, is logged as an error ("Не верный размер
// параметров: %d, ожидается 24") and nothing is taken. While the host is not a
// supported configurator, every call first shows the warning box "Предупреждение".
SARNUPOLEX_API void SetSarnupolexParams(const LoaderParams* params, int32_t size);

// The operation catalogue: 13 lines "OPCode=<code>; Caption=<text>" joined by LF, no
// final LF, in Windows-1251; separators have the code -1. A static buffer. The scheme
// name is ignored.
SARNUPOLEX_API const char* GetOPCodes(const char* scheme);

// Runs an operation on the device of line `device` of GetDevices' text, with its
// messages and boxes on hostWindow (kept as the library's window until the next call).
// Deletes "SarnupolexLib.log" first unless op is opSettings, and writes the operation
// log there at the end. Returns -1 on success, 0 on failure or cancel; an error shows as
// the box "Ошибка" on hostWindow, an unknown op as "Операция с кодом %d не
// поддерживается". blocks is the host's list (read only; null: none). For opSettings,
// *result is the host's list: its item 0 (the model code) is taken out, and on OK the
// selected device index is added; a null result means no list. Operations that create
// a list store it in *result; the host releases each block and then the list with their
// Release. scheme, linearHex and baseAddress are passed to the operations.
SARNUPOLEX_API int32_t Invoke3(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                               TBlockList** result, uint32_t hostWindow, uint8_t linearHex,
                               uint32_t baseAddress);

// Writes the text's bytes followed by CR LF to the device of line `device`, opening and
// closing the connection. 1 when written, 0 on any failure (no device selected, the
// connection, the write, a null text); the failure's text is then
// platform::LastErrorText() of the calling thread and an Error line of the rolling log.
// The other arguments are ignored.
SARNUPOLEX_API int32_t QuickSend(int32_t device, const char* scheme, const char* text, uint8_t linearHex,
                                 uint32_t baseAddress);

// One read of at most count bytes from the device into the buffer: the bytes read, or
// -1 on failure (text in platform::LastErrorText(), as for QuickSend).
SARNUPOLEX_API int32_t IORead(int32_t device, void* buffer, int32_t count);
// One write of count bytes: the bytes written, or -1 on failure.
SARNUPOLEX_API int32_t IOWrite(int32_t device, const void* buffer, int32_t count);
// Writes writeLength bytes of the buffer, waits delayMs (when above 0), then reads into
// the buffer from its start. idleMs 0: one read of at most readLength bytes. idleMs not
// 0: byte after byte until idleMs pass without a byte or 32768 bytes have arrived,
// whatever readLength says, so the buffer must hold 32768 bytes then. The bytes read,
// or -1 on failure.
SARNUPOLEX_API int32_t IOWriteRead(int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                                   int32_t delayMs, int32_t idleMs);

// The most bytes IOWriteRead reads in its idle mode.
enum : int32_t { kIOWriteReadIdleLimit = 32768 };

// The entry points' types, for dlsym.
using GetDevicesProc = const char* (*)(const char* scheme);
using GetOPCodesProc = const char* (*)(const char* scheme);
using SetSarnupolexParamsProc = void (*)(const LoaderParams* params, int32_t size);
using Invoke3Proc = int32_t (*)(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                                TBlockList** result, uint32_t hostWindow, uint8_t linearHex, uint32_t baseAddress);
using QuickSendProc = int32_t (*)(int32_t device, const char* scheme, const char* text, uint8_t linearHex,
                                  uint32_t baseAddress);
using IOReadProc = int32_t (*)(int32_t device, void* buffer, int32_t count);
using IOWriteProc = int32_t (*)(int32_t device, const void* buffer, int32_t count);
using IOWriteReadProc = int32_t (*)(int32_t device, void* buffer, int32_t writeLength, int32_t readLength,
                                    int32_t delayMs, int32_t idleMs);
static_assert(std::is_same_v<decltype(&GetOPCodes), GetOPCodesProc>);
static_assert(std::is_same_v<decltype(&Invoke3), Invoke3Proc>);
static_assert(std::is_same_v<decltype(&QuickSend), QuickSendProc>);
static_assert(std::is_same_v<decltype(&IOWriteRead), IOWriteReadProc>);
