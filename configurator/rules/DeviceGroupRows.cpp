#include "configurator/rules/DeviceGroupRows.h"

#include "model/uZumo2.h"

#include <algorithm>
#include <locale>
#include <numeric>

const char* const DeviceColumnCaptions[DeviceColumnCount] = {"№", "Протокол", "Порт", "Роль", "Адрес"};

std::vector<TDeviceRow> DeviceGroupRows(const TZumo2Doc& document)
{
    std::vector<TDeviceRow> rows;
    for (int i = 0; i < document.DeviceCount(); ++i) {
        TDevice* device = document.DeviceByIndex(i);
        if (device && device->ActiveProtocolIndex() != 0) rows.push_back({i + 1, device});
    }
    return rows;
}

std::string DeviceCellText(const TDeviceRow& row, int column)
{
    if (!row.Device) return {};
    switch (column) {
    case dcNumber:
        return std::to_string(row.Slot);
    case dcProtocol:
        return ProtocolNames[row.Device->ActiveProtocolIndex()];
    case dcPort:
        return row.Device->DevicePortName();
    case dcRole:
        return row.Device->RoleField()->GetValue().ToInt32() != 0 ? "ПУ" : "КП";
    case dcAddress:
        return row.Device->AddressField()->GetValue().ToString();
    default:
        return {};
    }
}

TSortState NextSortState(const TSortState& state, int column)
{
    if (state.Column == column && state.Direction != TSortDirection::None) {
        if (state.Direction == TSortDirection::Ascending) return {column, TSortDirection::Descending};
        return {};
    }
    return {column, TSortDirection::Ascending};
}

namespace {

// The user's locale, or the classic one when the environment names none that exists.
const std::locale& UserLocale()
{
    static const std::locale locale = [] {
        try {
            return std::locale("");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    return locale;
}

} // namespace

int CompareCellTexts(std::string_view a, std::string_view b)
{
    const auto& collate = std::use_facet<std::collate<char>>(UserLocale());
    const int byLocale = collate.compare(a.data(), a.data() + a.size(), b.data(), b.data() + b.size());
    if (byLocale != 0) return byLocale;
    const int byBytes = a.compare(b);
    return byBytes < 0 ? -1 : byBytes > 0 ? 1 : 0;
}

std::vector<int> SortedRowOrder(const std::vector<TDeviceRow>& rows, const TSortState& state)
{
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    if (state.Direction == TSortDirection::None || state.Column < 0 || state.Column >= DeviceColumnCount)
        return order;
    std::vector<std::string> texts;
    texts.reserve(rows.size());
    for (const TDeviceRow& row : rows) texts.push_back(DeviceCellText(row, state.Column));
    const bool descending = state.Direction == TSortDirection::Descending;
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = CompareCellTexts(texts[static_cast<size_t>(x)], texts[static_cast<size_t>(y)]);
        return descending ? c > 0 : c < 0;
    });
    return order;
}
