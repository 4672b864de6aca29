#pragma once

#include <string>
#include <string_view>
#include <vector>

class TDevice;
class TZumo2Doc;

// The grid of the used devices without widgets: its rows, the texts of its cells, the
// sort cycle of its header and the order of its rows.

// One used device slot: its number from 1 and the device.
struct TDeviceRow {
    int Slot = 0;
    TDevice* Device = nullptr;
};

// One row per device with a protocol, in slot order.
std::vector<TDeviceRow> DeviceGroupRows(const TZumo2Doc& document);

// The columns: "№", "Протокол", "Порт", "Роль", "Адрес".
enum TDeviceColumn { dcNumber, dcProtocol, dcPort, dcRole, dcAddress };
constexpr int DeviceColumnCount = 5;
extern const char* const DeviceColumnCaptions[DeviceColumnCount];

// The text of a cell; "" outside the columns.
std::string DeviceCellText(const TDeviceRow& row, int column);

// How the grid is sorted: a column and a direction, or not at all.
enum class TSortDirection { None, Ascending, Descending };
struct TSortState {
    int Column = -1;
    TSortDirection Direction = TSortDirection::None;
    bool operator==(const TSortState&) const = default;
};

// A click on a column header: the sorted column goes ascending, descending, unsorted;
// another column is sorted ascending.
TSortState NextSortState(const TSortState& state, int column);

// Compares two cell texts as the user's locale orders strings, case-sensitively:
// < 0, 0 or > 0. Texts that the locale ranks equal but that differ are ordered by
// their code points, so only equal texts compare equal.
int CompareCellTexts(std::string_view a, std::string_view b);

// The positions of the rows in the order the grid shows them: slot order when it is
// not sorted; rows with equal texts keep their slot order.
std::vector<int> SortedRowOrder(const std::vector<TDeviceRow>& rows, const TSortState& state);
