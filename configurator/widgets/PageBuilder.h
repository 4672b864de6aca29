#pragma once

#include "configurator/rules/PageTable.h"

#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>

class QBoxLayout;
class TParamFrame;

// What a page table made, by object name: panels, controls and their labels.
class TPageControls {
public:
    // The widget of a name; raises std::logic_error when the table made none, or one
    // of another class.
    template <class T = QWidget>
    T* Get(const char* name) const
    {
        auto* widget = qobject_cast<T*>(Find(name));
        if (!widget) Missing(name);
        return widget;
    }
    // A run of like widgets the table made from a pattern (RowsWithRun): the widget
    // name(n) for n = 1 .. N at n - 1. Raises as Get does.
    template <class T, size_t N>
    std::array<T*, N> Run(const std::function<std::string(int n)>& name) const
    {
        std::array<T*, N> run{};
        for (size_t i = 0; i < N; ++i) run[i] = Get<T>(name(static_cast<int>(i) + 1).c_str());
        return run;
    }
    // The widget of a name; none when the table made none.
    QWidget* Find(const char* name) const;

private:
    friend TPageControls BuildPage(TParamFrame& page, QBoxLayout& column, const TPageTable& table);
    [[noreturn]] static void Missing(const char* name);

    std::unordered_map<std::string, QWidget*> widgets_;
};

// Builds a page table inside a page: checks it (CheckPageTable), makes every panel and
// control with its name, caption, unit label, range and radio items, and lays them out
// one below the other in column (captioned editors in the grid of their panel, whose
// lines fill as many columns as the panel asks for, a row beside another in that row's
// unit place; row panels side by side, then a stretch). The captioned editors of the
// single-column panels and groups stacked in the column start at one left edge: every
// caption column there is widened to the widest caption, at the page's font when it
// is built. The page keeps the table and binds each row with a key at its Load, by
// that key, in table order (TParamFrame::Load).
TPageControls BuildPage(TParamFrame& page, QBoxLayout& column, const TPageTable& table);
