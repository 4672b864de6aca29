#pragma once

#include "configurator/rules/DeviceGroupRows.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/uParamFrame.h"

#include <QAbstractTableModel>

#include <vector>

class QTableView;
class TZumo2Doc;

// The rows of the used devices as a table model, in the order the sort state gives.
class TDeviceGroupModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Reads the used devices of the document again; the sort state stays.
    void Load(const TZumo2Doc& document);
    void Sort(const TSortState& state);
    const TSortState& SortState() const { return sort_; }
    // The row shown at a position; none outside.
    const TDeviceRow* RowAt(int position) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<TDeviceRow> rows_;
    std::vector<int> order_; // positions in rows_, as shown
    TSortState sort_;
};

// The page of the devices group: a grid of the used devices. A header click runs the
// sort cycle of its column; a double click asks the main window to select the row's
// device.
class TfrDeviceGroup : public TParamFrame, public IRecordsView {
    Q_OBJECT
public:
    void Load(TFieldLst* list) override;
    // The devices were changed behind the page: the rows are read again.
    void RecordsChanged() override;

    // Runs the sort cycle of a column, as a click on its header does.
    void HeaderClicked(int column);
    // Asks the main window to select the device of the row shown at a position.
    void RowDoubleClicked(int position);

    QTableView* Grid() const { return grid_; }
    TDeviceGroupModel* Model() const { return model_; }

protected:
    TfrDeviceGroup(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent = nullptr);

private:
    // Widens each column to its widest cell text + 30 pixels, keeping its minimum, and
    // makes the grid tall enough for its rows.
    void FitColumns();

    TZumo2Doc* document_;
    QTableView* grid_;
    TDeviceGroupModel* model_;
};
