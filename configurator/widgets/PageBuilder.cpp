#include "configurator/widgets/PageBuilder.h"

#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/uParamFrame.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

QWidget* TPageControls::Find(const char* name) const
{
    const auto it = widgets_.find(name);
    return it == widgets_.end() ? nullptr : it->second;
}

void TPageControls::Missing(const char* name)
{
    throw std::logic_error(std::string("the page table makes no control \"") + name + "\" of that class");
}

namespace {

// A panel as built: the widget and where its contents go.
struct TBuiltPanel {
    QWidget* Widget = nullptr;
    QGridLayout* Grid = nullptr;  // a panel's or group's grid
    QHBoxLayout* Line = nullptr;  // a row panel's line
    bool InColumn = false;        // stacked in the page's column, not inside a row panel
    int Columns = 1;              // lines side by side
    int Lines = 0;                // lines placed so far
    int LastRow = 0;              // where the last line went: grid row and first column
    int LastColumn = 0;

    // The grid row and first column of the next line.
    std::pair<int, int> NextLine()
    {
        LastRow = Lines / Columns;
        LastColumn = Lines % Columns * 3;
        ++Lines;
        return {LastRow, LastColumn};
    }
};

// How far right of its panel's left edge a grid's cells start: the grid's margin and,
// for a group, the group's frame.
int GridInset(const TBuiltPanel& panel)
{
    panel.Widget->ensurePolished();
    return panel.Grid->contentsMargins().left() + panel.Widget->contentsMargins().left();
}

// The width of the widest caption label in a grid's first column; 0 without one.
int CaptionColumnWidth(const QGridLayout& grid)
{
    int widest = 0;
    for (int i = 0; i < grid.count(); ++i) {
        int row = 0, column = 0, rows = 0, columns = 0;
        grid.getItemPosition(i, &row, &column, &rows, &columns);
        auto* label = qobject_cast<QLabel*>(grid.itemAt(i)->widget());
        if (label && column == 0 && columns == 1) widest = std::max(widest, label->sizeHint().width());
    }
    return widest;
}

// The captioned editors of the panels stacked in the page's column start at one left
// edge: each grid's caption column is as wide as the widest, less its panel's inset.
void AlignCaptionColumns(const std::vector<const TBuiltPanel*>& panels)
{
    int edge = 0;
    for (const TBuiltPanel* panel : panels)
        if (const int width = CaptionColumnWidth(*panel->Grid); width > 0)
            edge = std::max(edge, GridInset(*panel) + width);
    for (const TBuiltPanel* panel : panels)
        if (CaptionColumnWidth(*panel->Grid) > 0)
            panel->Grid->setColumnMinimumWidth(0, edge - GridInset(*panel));
}

QWidget* MakeControl(QWidget* parent, const TPageRow& row)
{
    const QString caption = row.Caption ? QString::fromUtf8(row.Caption) : QString();
    switch (row.Kind) {
    case TControlKind::SpinEdit:
        return NewSpin(parent, row.Name, row.Minimum, row.Maximum);
    case TControlKind::CheckBox:
        return NewCheck(parent, row.Name, caption);
    case TControlKind::RadioGroup: {
        QStringList items;
        for (const char* item : row.Items)
            if (item) items << QString::fromUtf8(item);
        return NewRadioGroup(parent, row.Name, caption, items);
    }
    case TControlKind::ComboBox:
        return NewCombo(parent, row.Name);
    case TControlKind::IPv4Edit:
        return NewIPEdit(parent, row.Name);
    case TControlKind::TextEdit: {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(row.Name);
        return edit;
    }
    }
    return nullptr;
}

} // namespace

TPageControls BuildPage(TParamFrame& page, QBoxLayout& column, const TPageTable& table)
{
    CheckPageTable(table);
    TPageControls made;
    std::unordered_map<std::string, TBuiltPanel> panels;

    const auto panelOf = [&](const char* name, auto& self) -> TBuiltPanel* {
        if (!name) return nullptr;
        if (auto it = panels.find(name); it != panels.end()) return &it->second;
        const TPagePanel* panel = nullptr;
        for (const TPagePanel& p : table.Panels)
            if (std::string_view(p.Name) == name) panel = &p;
        TBuiltPanel* parent = panel->Parent ? self(panel->Parent, self) : nullptr;
        QWidget* owner = parent ? parent->Widget : &page;
        TBuiltPanel built;
        built.InColumn = !parent;
        if (panel->Kind == TPanelKind::Group) {
            built.Widget = NewGroup(owner, panel->Name, panel->Title ? QString::fromUtf8(panel->Title) : QString());
        } else {
            built.Widget = new QWidget(owner);
            built.Widget->setObjectName(panel->Name);
        }
        if (panel->Kind == TPanelKind::Row) {
            built.Line = new QHBoxLayout(built.Widget);
            built.Line->setContentsMargins(0, 0, 0, 0);
            built.Line->addStretch(1);
        } else {
            built.Grid = new QGridLayout(built.Widget);
            if (panel->Kind == TPanelKind::Panel) built.Grid->setContentsMargins(0, 0, 0, 0);
            built.Columns = std::max(1, panel->Columns);
            built.Grid->setColumnStretch(3 * built.Columns, 1);
        }
        // Side by side in a row panel, in front of its closing stretch.
        if (parent)
            parent->Line->insertWidget(parent->Line->count() - 1, built.Widget);
        else
            column.addWidget(built.Widget);
        made.widgets_[panel->Name] = built.Widget;
        return &panels.emplace(panel->Name, built).first->second;
    };

    for (const TPageRow& row : table.Rows) {
        TBuiltPanel* panel = panelOf(row.Panel, panelOf);
        QWidget* owner = panel ? panel->Widget : &page;
        QWidget* control = MakeControl(owner, row);
        made.widgets_[row.Name] = control;
        if (!panel) {
            column.addWidget(control);
        } else if (row.Beside) {
            // In the unit place of the line before, keeping its own width.
            panel->Grid->addWidget(control, panel->LastRow, panel->LastColumn + 2, Qt::AlignLeft);
        } else if (HasCaptionLabel(row)) {
            const auto [r, c] = panel->NextLine();
            const TRowLabels labels = AddRow(panel->Grid, control, QString::fromUtf8(row.Caption),
                                             row.Unit ? QString::fromUtf8(row.Unit) : QString(), r, c);
            made.widgets_[labels.Caption->objectName().toStdString()] = labels.Caption;
            if (labels.Unit) made.widgets_[labels.Unit->objectName().toStdString()] = labels.Unit;
        } else {
            // A line of its own; a captionless editor keeps its own width.
            const bool spans = row.Kind == TControlKind::CheckBox || row.Kind == TControlKind::RadioGroup;
            const auto [r, c] = panel->NextLine();
            panel->Grid->addWidget(control, r, c, 1, 3, spans ? Qt::Alignment() : Qt::AlignLeft);
        }
        page.AddTableRow(row, control);
    }
    std::vector<const TBuiltPanel*> stacked;
    for (const auto& [name, panel] : panels)
        if (panel.InColumn && panel.Grid && panel.Columns == 1) stacked.push_back(&panel);
    AlignCaptionColumns(stacked);
    return made;
}
