#pragma once

#include "configurator/rules/DeviceGroupRows.h"
#include "configurator/rules/GridSpec.h"

#include <QAbstractTableModel>

#include <vector>

class QHeaderView;

// The rows of a grid page as a table model: the page's rows (records it never owns, or
// the page's own row descriptors) in the order a header sort gives, the cells' texts,
// static texts, colours, tool tips and alignment from the grid spec. Cells are read
// from the fields whenever the view asks; nothing is cached.
class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Roles beyond Qt's: the static text in front of a cell's text, and its colour.
    enum Role { StaticTextRole = Qt::UserRole + 1, StaticColourRole };

    // The grid spec must outlive the model.
    explicit TGridModel(const TGridSpec& spec, QObject* parent = nullptr);

    // Replaces the rows (a model reset); the sort state stays.
    void SetRows(std::vector<TGridRow> rows);
    // The rows in the page's order.
    const std::vector<TGridRow>& Rows() const { return rows_; }
    // The row shown at a position; none outside.
    const TGridRow* RowAt(int position) const;
    // The position of the first row showing a record; -1 when none does.
    int PositionOf(const TFieldLst* record) const;

    // Orders the rows as a header sort does (GridRowOrder). Focus and selection stay
    // on their rows.
    void Sort(const TSortState& state);
    const TSortState& SortState() const { return sort_; }

    // The rows shown from first to last changed: every cell of them is read again.
    void RowsChanged(int first, int last);
    // Every row changed (one range; the focus and the selection stay).
    void AllRowsChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Cells with an editor are editable; every cell is enabled and selectable.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const TGridSpec& spec_;
    std::vector<TGridRow> rows_;
    std::vector<int> order_; // positions in rows_, as shown
    TSortState sort_;
};

// Qt's alignment of a cell alignment, vertically centred.
Qt::Alignment QtAlignment(TCellAlign align);

// Shows a sort state on a header: the glyph of its column and direction, none when the
// sort is off.
void ShowSortIndicator(QHeaderView* header, const TSortState& state);
