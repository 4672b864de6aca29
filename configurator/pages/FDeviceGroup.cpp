#include "configurator/pages/FDeviceGroup.h"

#include "configurator/widgets/GridModel.h"
#include "configurator/widgets/PageWidgets.h"
#include "model/uZumo2.h"
#include "platform/Windows.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Width and minimum of the columns; the numbers column starts at its width.
constexpr int kColumnWidths[DeviceColumnCount] = {30, 100, 50, 0, 0};
constexpr Qt::Alignment kAlignment[DeviceColumnCount] = {
    Qt::AlignRight | Qt::AlignVCenter, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter, Qt::AlignCenter,
    Qt::AlignCenter};

} // namespace

void TDeviceGroupModel::Load(const TZumo2Doc& document)
{
    beginResetModel();
    rows_ = DeviceGroupRows(document);
    order_ = SortedRowOrder(rows_, sort_);
    endResetModel();
}

void TDeviceGroupModel::Sort(const TSortState& state)
{
    emit layoutAboutToBeChanged();
    sort_ = state;
    order_ = SortedRowOrder(rows_, sort_);
    emit layoutChanged();
}

const TDeviceRow* TDeviceGroupModel::RowAt(int position) const
{
    if (position < 0 || position >= static_cast<int>(order_.size())) return nullptr;
    return &rows_[static_cast<size_t>(order_[static_cast<size_t>(position)])];
}

int TDeviceGroupModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int TDeviceGroupModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : DeviceColumnCount; }

QVariant TDeviceGroupModel::data(const QModelIndex& index, int role) const
{
    const TDeviceRow* row = RowAt(index.row());
    if (!row || index.column() < 0 || index.column() >= DeviceColumnCount) return {};
    if (role == Qt::DisplayRole) return QStr(DeviceCellText(*row, index.column()));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(kAlignment[index.column()]);
    return {};
}

QVariant TDeviceGroupModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= DeviceColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(DeviceColumnCaptions[section]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(kAlignment[section]);
    return {};
}

TfrDeviceGroup::TfrDeviceGroup(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TParamFrame(tree, document, parent), document_(document)
{
    setObjectName("frDeviceGroup");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    grid_ = new QTableView(this);
    grid_->setObjectName("vtDevices");
    model_ = new TDeviceGroupModel(grid_);
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setShowGrid(true);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    QHeaderView* header = grid_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    for (int c = 0; c < DeviceColumnCount; ++c)
        if (kColumnWidths[c] > 0) header->resizeSection(c, kColumnWidths[c]);
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) { HeaderClicked(section); });
    connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) RowDoubleClicked(index.row());
    });
    column->addWidget(grid_);
    AddGrid(grid_);
}

void TfrDeviceGroup::Load(TFieldLst* list)
{
    TParamFrame::Load(list);
    model_->Load(*document_);
    FitColumns();
}

void TfrDeviceGroup::RecordsChanged()
{
    model_->Load(*document_);
    FitColumns();
}

void TfrDeviceGroup::FitColumns()
{
    QHeaderView* header = grid_->horizontalHeader();
    const QFontMetrics cells = grid_->fontMetrics();
    for (int c = 0; c < DeviceColumnCount; ++c) {
        int width = std::max(header->sectionSize(c), kColumnWidths[c]);
        for (int r = 0; r < model_->rowCount(); ++r)
            width = std::max(width, cells.horizontalAdvance(model_->data(model_->index(r, c), Qt::DisplayRole).toString()) + 30);
        header->resizeSection(c, width);
    }
    // Tall enough for every row: the page scrolls in its host, not the grid.
    const int rows = std::max(model_->rowCount(), 1) * grid_->verticalHeader()->defaultSectionSize();
    grid_->setMinimumHeight(header->sizeHint().height() + rows + 2 * grid_->frameWidth() + 4);
}

void TfrDeviceGroup::HeaderClicked(int column)
{
    const TSortState state = NextSortState(model_->SortState(), column);
    model_->Sort(state);
    ShowSortIndicator(grid_->horizontalHeader(), state);
}

void TfrDeviceGroup::RowDoubleClicked(int position)
{
    if (const TDeviceRow* row = model_->RowAt(position))
        platform::PostMessage(platform::MainWindow(), platform::WM_FRAME_NOTIFY, 0,
                              reinterpret_cast<platform::LPARAM>(row->Device));
}
