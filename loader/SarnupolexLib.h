#pragma once
// The loader library's C interface, as the host binds it by name after loading
// libSarnupolexLib.so (its names and types: loader/api/SarnupolexEntryPoints.h). Strings
// are zero-terminated Windows-1251 bytes; no exception ever leaves an entry point.

#include "loader/api/SarnupolexConst.h"
#include "loader/api/SarnupolexEntryPoints.h"

#include <cstdint>
#include <type_traits>

class TBlockList;

#define SARNUPOLEX_API extern "C" __attribute__((visibility("default")))

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

// The declarations have the types hosts bind them by.
static_assert(std::is_same_v<decltype(&GetDevices), GetDevicesProc>);
static_assert(std::is_same_v<decltype(&GetOPCodes), GetOPCodesProc>);
static_assert(std::is_same_v<decltype(&SetSarnupolexParams), SetSarnupolexParamsProc>);
static_assert(std::is_same_v<decltype(&Invoke3), Invoke3Proc>);
static_assert(std::is_same_v<decltype(&QuickSend), QuickSendProc>);
static_assert(std::is_same_v<decltype(&IORead), IOReadProc>);
static_assert(std::is_same_v<decltype(&IOWrite), IOWriteProc>);
static_assert(std::is_same_v<decltype(&IOWriteRead), IOWriteReadProc>);
