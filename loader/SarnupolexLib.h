#pragma once
// The loader library's C interface, as the host binds it by name after loading
// libSarnupolexLib.so. Strings are zero-terminated Windows-1251 bytes; no exception
// ever leaves an entry point.

#include <cstddef>
#include <cstdint>

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

// wParam of platform::WM_LOADER_PROGRESS as the library sends it.
enum : int32_t {
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
