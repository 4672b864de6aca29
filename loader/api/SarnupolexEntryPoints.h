#pragma once
// The loader library's entry points as a host binds them by name: their function types,
// a record of bound pointers and the one table of their exported names. Every host
// (the configurator and the test hosts) binds through this table, so a name is written
// once. The declarations themselves are in loader/SarnupolexLib.h, which checks them
// against these types.

#include "loader/api/SarnupolexConst.h"

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

class TBlockList;

// The entry points' types.
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

// The eight entry points of one loaded library; a name the library lacks stays null.
struct TSarnupolexEntryPoints {
    GetDevicesProc GetDevices = nullptr;
    GetOPCodesProc GetOPCodes = nullptr;
    SetSarnupolexParamsProc SetSarnupolexParams = nullptr;
    Invoke3Proc Invoke3 = nullptr;
    QuickSendProc QuickSend = nullptr;
    IOReadProc IORead = nullptr;
    IOWriteProc IOWrite = nullptr;
    IOWriteReadProc IOWriteRead = nullptr;
};

// One line of a table of entry points: the exported name and the member of a record
// that holds the bound pointer (the member's type is the entry point's type).
template <class Record, class Proc>
struct TEntryPointName {
    const char* Name;
    Proc Record::*Slot;
};

// The library's exported names, each with its member of TSarnupolexEntryPoints.
inline constexpr std::tuple kSarnupolexEntryPoints{
    TEntryPointName{"GetDevices", &TSarnupolexEntryPoints::GetDevices},
    TEntryPointName{"GetOPCodes", &TSarnupolexEntryPoints::GetOPCodes},
    TEntryPointName{"SetSarnupolexParams", &TSarnupolexEntryPoints::SetSarnupolexParams},
    TEntryPointName{"Invoke3", &TSarnupolexEntryPoints::Invoke3},
    TEntryPointName{"QuickSend", &TSarnupolexEntryPoints::QuickSend},
    TEntryPointName{"IORead", &TSarnupolexEntryPoints::IORead},
    TEntryPointName{"IOWrite", &TSarnupolexEntryPoints::IOWrite},
    TEntryPointName{"IOWriteRead", &TSarnupolexEntryPoints::IOWriteRead},
};

// The names of a table, in its order.
template <class Table>
constexpr auto EntryPointNames(const Table& table)
{
    return std::apply([](const auto&... line) { return std::array<const char*, sizeof...(line)>{line.Name...}; },
                      table);
}

// Sets every member the table names in record to lookup(name) (a void*, null when the
// library lacks the name), cast to the member's type. A record derived from the
// table's record type takes the table too.
template <class Record, class Table, class Lookup>
void BindEntryPoints(Record& record, const Table& table, Lookup&& lookup)
{
    std::apply(
        [&](const auto&... line) {
            ((record.*line.Slot =
                  reinterpret_cast<std::remove_reference_t<decltype(record.*line.Slot)>>(lookup(line.Name))),
             ...);
        },
        table);
}

// The names of the table whose members in record are null, in the table's order.
template <class Record, class Table>
std::vector<std::string> UnboundEntryPoints(const Record& record, const Table& table)
{
    std::vector<std::string> names;
    std::apply([&](const auto&... line) { ((record.*line.Slot ? void() : void(names.emplace_back(line.Name))), ...); },
               table);
    return names;
}
