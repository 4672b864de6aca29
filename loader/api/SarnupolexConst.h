#pragma once
// What the loader library and its hosts agree on besides the entry points: the block of
// parameters, the operation codes, the progress codes of WM_LOADER_PROGRESS and the
// limit of the idle read. The entry points are declared in loader/SarnupolexLib.h, which
// includes this header; the library's layers include this one.

#include <cstddef>
#include <cstdint>

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

// The most bytes IOWriteRead reads in its idle mode.
enum : int32_t { kIOWriteReadIdleLimit = 32768 };
