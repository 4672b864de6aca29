#include "configurator/rules/PageTable.h"

#include "configurator/rules/ParamBinding.h"

#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Refuse(const TPageTable& table, const std::string& what)
{
    throw std::logic_error(std::string(table.Page ? table.Page : "page") + ": " + what);
}

const TPagePanel* FindPanel(const TPageTable& table, const char* name)
{
    if (!name) return nullptr;
    for (const TPagePanel& panel : table.Panels)
        if (std::string_view(panel.Name) == name) return &panel;
    return nullptr;
}

} // namespace

bool HasCaptionLabel(const TPageRow& row)
{
    return row.Caption && row.Kind != TControlKind::CheckBox && row.Kind != TControlKind::RadioGroup;
}

std::string CaptionLabelName(const TPageRow& row) { return "lb" + ControlKey(row.Name); }

std::string UnitLabelName(const TPageRow& row) { return "lb" + ControlKey(row.Name) + "Unit"; }

void CheckPageTable(const TPageTable& table)
{
    std::set<std::string_view> names;
    std::set<std::string_view> keys;
    const auto name = [&](const char* n) {
        if (!n || !*n) Refuse(table, "a control or panel without a name");
        if (!names.insert(n).second) Refuse(table, std::string("the name \"") + n + "\" is given twice");
    };
    for (const TPagePanel& panel : table.Panels) {
        name(panel.Name);
        if (panel.Parent) {
            const TPagePanel* parent = FindPanel(table, panel.Parent);
            if (!parent || parent->Kind != TPanelKind::Row)
                Refuse(table, std::string("the panel \"") + panel.Name + "\" is not inside a row panel of the page");
        }
    }
    const TPageRow* previous = nullptr;
    for (const TPageRow& row : table.Rows) {
        name(row.Name);
        if (row.Key && !keys.insert(row.Key).second)
            Refuse(table, std::string("the key \"") + row.Key + "\" is bound twice");
        const TPagePanel* panel = FindPanel(table, row.Panel);
        if (row.Panel && !panel) Refuse(table, std::string("the panel \"") + row.Panel + "\" is not in the table");
        if (panel && panel->Kind == TPanelKind::Row)
            Refuse(table, std::string("\"") + row.Name + "\" sits directly in the row panel \"" + row.Panel + "\"");
        if (!panel && HasCaptionLabel(row))
            Refuse(table, std::string("\"") + row.Name + "\" has a caption but no panel");
        if (row.Beside) {
            const bool place = panel && previous && !previous->Beside && previous->Panel &&
                               std::string_view(previous->Panel) == row.Panel && HasCaptionLabel(*previous) &&
                               !previous->Unit;
            if (!place)
                Refuse(table, std::string("\"") + row.Name + "\" has no captioned row without a unit before it");
            if (row.Caption) Refuse(table, std::string("\"") + row.Name + "\" sits beside a row and has a caption");
        }
        previous = &row;
    }
}

std::vector<TPageRow> RowsWithRun(std::span<const TPageRow> head, int first, int last,
                                  const std::function<TPageRow(int n)>& row, std::span<const TPageRow> tail)
{
    std::vector<TPageRow> rows(head.begin(), head.end());
    for (int n = first; n <= last; ++n) rows.push_back(row(n));
    rows.insert(rows.end(), tail.begin(), tail.end());
    return rows;
}

std::vector<TPageRow> JoinRows(std::initializer_list<std::span<const TPageRow>> parts)
{
    std::vector<TPageRow> rows;
    for (const std::span<const TPageRow> part : parts) rows.insert(rows.end(), part.begin(), part.end());
    return rows;
}

const char* KeptText(std::string_view text)
{
    // Nodes of a set never move: the texts stay where they are as others join.
    static std::mutex guard;
    static std::set<std::string, std::less<>> texts;
    const std::lock_guard lock(guard);
    auto it = texts.find(text);
    if (it == texts.end()) it = texts.emplace(text).first;
    return it->c_str();
}

std::vector<TPageControlName> PageTableControls(const TPageTable& table)
{
    std::vector<TPageControlName> out;
    std::set<std::string_view> placed;
    // A panel goes before the first thing it holds, its row panel before it.
    const auto place = [&](const char* panelName, auto& self) -> void {
        const TPagePanel* panel = FindPanel(table, panelName);
        if (!panel || !placed.insert(panel->Name).second) return;
        if (panel->Parent) self(panel->Parent, self);
        out.push_back({panel->Name, panel->Parent});
    };
    for (const TPageRow& row : table.Rows) {
        place(row.Panel, place);
        if (HasCaptionLabel(row)) out.push_back({CaptionLabelName(row), row.Panel});
        out.push_back({row.Name, row.Panel});
        if (HasCaptionLabel(row) && row.Unit) out.push_back({UnitLabelName(row), row.Panel});
    }
    return out;
}
