#include "configurator/widgets/FGranitAFBGrid.h"

#include "configurator/rules/GranitAfb.h"
#include "platform/ErrorDisplay.h"

#include <QAction>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTableWidget>

#include <array>

// The grid with the input of a data cell. Its handlers reach the owner only while the
// grid is whole: a dying grid gets Qt's base handlers.
class TFrGranitAFBGrid::TGrid : public QTableWidget {
public:
    explicit TGrid(TFrGranitAFBGrid& owner) : QTableWidget(&owner), owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        QTableWidget::mousePressEvent(event);
        const QPoint at = event->position().toPoint();
        const bool button = event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
        if (!button || !indexAt(at).isValid()) return;
        const QPoint global = viewport()->mapToGlobal(at);
        platform::RunGuarded([&] { owner_.ShowTypeMenu(global.x(), global.y()); });
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (currentIndex().isValid()) {
                const QPoint global = viewport()->mapToGlobal(visualRect(currentIndex()).topLeft());
                platform::RunGuarded([&] { owner_.ShowTypeMenu(global.x(), global.y()); });
            }
            event->accept();
            return;
        case Qt::Key_Delete:
            platform::RunGuarded([&] {
                if (owner_.OnDeleteKey) owner_.OnDeleteKey();
            });
            event->accept();
            return;
        default:
            QTableWidget::keyPressEvent(event);
        }
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        QTableWidget::focusOutEvent(event);
        owner_.FocusLeft(event->reason());
    }

private:
    TFrGranitAFBGrid& owner_;
};

namespace {

struct TTypeItem {
    const char* Text;
    int Tag;
};

constexpr std::array<TTypeItem, 4> kTypeItems = {{{"Нет", 0}, {"ТС", 1}, {"ТИТ", 2}, {"ТУ", 3}}};

} // namespace

TFrGranitAFBGrid::TFrGranitAFBGrid(QWidget* parent) : QFrame(parent)
{
    setObjectName("frGranitAFBGrid");
    paGrid = new QWidget(this);
    paGrid->setObjectName("paGrid");
    auto* grid = new TGrid(*this);
    grid->setParent(paGrid);
    grChannels = grid;
    grChannels->setObjectName("grChannels");
    grChannels->move(0, 0);
    grChannels->setRowCount(1);
    grChannels->verticalHeader()->hide();
    grChannels->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grChannels->horizontalHeader()->setSectionsClickable(false);
    grChannels->horizontalHeader()->setHighlightSections(false);
    grChannels->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grChannels->horizontalHeader()->setMinimumSectionSize(1);
    grChannels->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grChannels->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grChannels->setAutoScroll(false);
    grChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grChannels->setSelectionMode(QAbstractItemView::SingleSelection);
    grChannels->setSelectionBehavior(QAbstractItemView::SelectItems);
    // Tab leaves the grid rather than walking its cells.
    grChannels->setTabKeyNavigation(false);

    pmAFB_Grid = new QMenu(this);
    pmAFB_Grid->setObjectName("pmAFB_Grid");
    for (const TTypeItem& item : kTypeItems) {
        QAction* action = pmAFB_Grid->addAction(QString::fromUtf8(item.Text));
        action->setData(item.Tag);
        connect(action, &QAction::triggered, this, platform::Guarded([this, action] { SelectType(action); }));
    }

    lbMaxTU = new QLabel(QStringLiteral("Доступно 2 ТУ!"), this);
    lbMaxTU->setObjectName("lbMaxTU");

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(paGrid);
    row->addWidget(lbMaxTU);
    row->addStretch(1);
}

TFrGranitAFBGrid::~TFrGranitAFBGrid()
{
    // Nothing of the page runs for a grid that goes.
    OnSelectType = nullptr;
    OnGetCellText = nullptr;
    OnDeleteKey = nullptr;
    OnLeave = nullptr;
}

void TFrGranitAFBGrid::SetSlotCount(int n)
{
    grChannels->setColumnCount(n);
    width_ = grChannels->fontMetrics().horizontalAdvance(QStringLiteral("WAZQ"));
    const int rowHeight = grChannels->fontMetrics().height() + 8;
    grChannels->verticalHeader()->setDefaultSectionSize(rowHeight);
    grChannels->setRowHeight(0, rowHeight);
    for (int i = 0; i < n; ++i) {
        grChannels->setColumnWidth(i, width_ + 1);
        grChannels->setHorizontalHeaderItem(i, new QTableWidgetItem(QStringLiteral("  %1").arg(i + 1)));
        if (!grChannels->item(0, i)) {
            auto* cell = new QTableWidgetItem;
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grChannels->setItem(0, i, cell);
        }
    }
    if (n <= 0) return;
    const int frame = 2 * grChannels->frameWidth();
    const int height = grChannels->horizontalHeader()->sizeHint().height() + rowHeight + frame;
    grChannels->setFixedSize((width_ + 1) * n + 7, height);
    paGrid->setFixedSize(grChannels->x() + grChannels->width() + 3, height);
    grChannels->setCurrentCell(0, 0);
}

int TFrGranitAFBGrid::SlotCount() const { return grChannels->columnCount(); }

void TFrGranitAFBGrid::RefreshCell(int column, int row)
{
    QTableWidgetItem* cell = grChannels->item(row - 1, column);
    if (!cell) return;
    std::string text;
    cell->setText(QString());
    if (OnGetCellText) OnGetCellText(column, text, row);
    cell->setText(QString::fromStdString(text));
}

void TFrGranitAFBGrid::RefreshAllCells()
{
    if (!OnGetCellText) return;
    for (int row = 1; row <= grChannels->rowCount(); ++row)
        for (int column = 0; column < grChannels->columnCount(); ++column) RefreshCell(column, row);
}

void TFrGranitAFBGrid::ShowTypeMenu(int x, int y)
{
    const bool tuOffered = !DataField || AfbTUOffered(ReadAfbTable(*DataField));
    TypeAction(AfbTagTU)->setVisible(tuOffered);
    pmAFB_Grid->popup(QPoint(x, y));
}

int TFrGranitAFBGrid::SelectedColumn() const
{
    const QModelIndex current = grChannels->currentIndex();
    return current.isValid() ? current.column() : -1;
}

int TFrGranitAFBGrid::SelectedRow() const
{
    const QModelIndex current = grChannels->currentIndex();
    return current.isValid() ? current.row() + 1 : -1;
}

QString TFrGranitAFBGrid::CellText(int column, int row) const
{
    const QTableWidgetItem* cell = grChannels->item(row - 1, column);
    return cell ? cell->text() : QString();
}

QAction* TFrGranitAFBGrid::TypeAction(int tag) const
{
    for (QAction* action : pmAFB_Grid->actions())
        if (action->data().toInt() == tag) return action;
    return nullptr;
}

void TFrGranitAFBGrid::SelectType(QAction* item)
{
    const int column = SelectedColumn();
    const int row = SelectedRow();
    if (column < 0 || row < 1) return;
    if (OnSelectType) OnSelectType(item, column, item->data().toInt(), row);
    RefreshCell(column, row);
}

void TFrGranitAFBGrid::FocusLeft(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        platform::RunGuarded([this, reason] {
            if (OnLeave) OnLeave(reason);
        });
        break;
    default:
        break;
    }
}
