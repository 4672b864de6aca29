#include "configurator/widgets/GridModel.h"

#include "configurator/rules/GridController.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPalette>

#include <numeric>

namespace {

QColor QtColour(const TRgb& rgb) { return QColor(rgb.R, rgb.G, rgb.B); }

} // namespace

Qt::Alignment QtAlignment(TCellAlign align)
{
    switch (align) {
    case TCellAlign::Center: return Qt::AlignCenter;
    case TCellAlign::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case TCellAlign::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

void ShowSortIndicator(QHeaderView* header, const TSortState& state)
{
    header->setSortIndicatorShown(state.Direction != TSortDirection::None);
    if (state.Direction != TSortDirection::None)
        header->setSortIndicator(state.Column, state.Direction == TSortDirection::Ascending ? Qt::AscendingOrder
                                                                                          : Qt::DescendingOrder);
}

TGridModel::TGridModel(const TGridSpec& spec, QObject* parent) : QAbstractTableModel(parent), spec_(spec) {}

void TGridModel::SetRows(std::vector<TGridRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    order_ = GridRowOrder(spec_, rows_, sort_);
    endResetModel();
}

const TGridRow* TGridModel::RowAt(int position) const
{
    if (position < 0 || position >= static_cast<int>(order_.size())) return nullptr;
    return &rows_[static_cast<size_t>(order_[static_cast<size_t>(position)])];
}

int TGridModel::PositionOf(const TFieldLst* record) const
{
    if (!record) return -1;
    for (size_t p = 0; p < order_.size(); ++p)
        if (rows_[static_cast<size_t>(order_[p])].Record == record) return static_cast<int>(p);
    return -1;
}

void TGridModel::Sort(const TSortState& state)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<int> before = order_;
    sort_ = state;
    order_ = GridRowOrder(spec_, rows_, sort_);
    // The focused and selected rows move with their records.
    std::vector<int> positionOf(order_.size());
    for (size_t p = 0; p < order_.size(); ++p) positionOf[static_cast<size_t>(order_[p])] = static_cast<int>(p);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        const int row = index.row() >= 0 && index.row() < static_cast<int>(before.size())
                            ? positionOf[static_cast<size_t>(before[static_cast<size_t>(index.row())])]
                            : -1;
        to.append(row >= 0 ? createIndex(row, index.column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TGridModel::RowsChanged(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, rowCount() - 1);
    if (first > last || columnCount() == 0) return;
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void TGridModel::AllRowsChanged() { RowsChanged(0, rowCount() - 1); }

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : spec_.ColumnCount(); }

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    const TGridRow* row = RowAt(index.row());
    const int column = index.column();
    if (!row || column < 0 || column >= spec_.ColumnCount()) return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(CellText(spec_, *row, column));
    case StaticTextRole: return QString::fromStdString(CellStaticText(spec_, *row, column));
    case Qt::TextAlignmentRole: return QVariant::fromValue(QtAlignment(spec_.Columns[static_cast<size_t>(column)].Align));
    case Qt::ToolTipRole: {
        const char* hint = spec_.Columns[static_cast<size_t>(column)].Hint;
        return hint ? QVariant(QString::fromUtf8(hint)) : QVariant();
    }
    case Qt::ForegroundRole:
    case StaticColourRole: {
        if (!spec_.Columns[static_cast<size_t>(column)].Look) return {};
        const TCellLook look = CellLook(spec_, *row, column);
        const std::optional<TRgb>& colour = role == Qt::ForegroundRole ? look.Text : look.Static;
        return colour ? QVariant(QBrush(QtColour(*colour))) : QVariant();
    }
    case Qt::BackgroundRole: {
        if (!spec_.Columns[static_cast<size_t>(column)].Look) return {};
        switch (CellLook(spec_, *row, column).Background) {
        case TCellBackground::ButtonFace: return QBrush(QGuiApplication::palette().color(QPalette::Button));
        case TCellBackground::Window: return QBrush(QGuiApplication::palette().color(QPalette::Base));
        case TCellBackground::Default: break;
        }
        return {};
    }
    default: return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= spec_.ColumnCount()) return {};
    const TGridColumn& column = spec_.Columns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return QString::fromUtf8(column.Caption);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(QtAlignment(column.CaptionAlign.value_or(column.Align)));
    return {};
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    const TGridRow* row = RowAt(index.row());
    if (!row) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (CellEditable(spec_, *row, index.column())) flags |= Qt::ItemIsEditable;
    return flags;
}
