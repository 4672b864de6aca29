#include "configurator/widgets/FModifBoardView.h"

#include "platform/qt/QtDialogs.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

class BoardModifDialog : public QDialog {
public:
    BoardModifDialog(TfmBoardModif& model, QWidget* parent)
        : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          model_(model)
    {
        setObjectName("fmBoardModif");
        setWindowTitle(Q(TfmBoardModif::Caption()));

        grid_ = new QTreeWidget(this);
        grid_->setObjectName("vtGrid");
        grid_->setRootIsDecorated(false);
        grid_->setItemsExpandable(false);
        grid_->setUniformRowHeights(true);
        grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid_->setSelectionMode(QAbstractItemView::SingleSelection);
        grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid_->setAllColumnsShowFocus(true);
        // Horizontal and vertical grid lines between the cells.
        grid_->setStyleSheet("QTreeView::item { border-right: 1px solid palette(mid); border-bottom: 1px solid "
                             "palette(mid); }");
        grid_->setColumnCount(BoardModifColumnCount);
        QStringList headers;
        for (const TBoardModifColumn& column : BoardModifColumns) headers << QString::fromUtf8(column.Header);
        grid_->setHeaderLabels(headers);
        // The columns keep their widths; the last one does not take the free width.
        grid_->header()->setStretchLastSection(false);
        int width = 0;
        for (int c = 0; c < BoardModifColumnCount; ++c) {
            const TBoardModifColumn& column = BoardModifColumns[c];
            if (column.Width > 0) grid_->setColumnWidth(c, column.Width);
            width += grid_->columnWidth(c);
        }
        for (int r = 0; r < model_.RowCount(); ++r) {
            auto* item = new QTreeWidgetItem(grid_);
            for (int c = 0; c < BoardModifColumnCount; ++c) {
                item->setText(c, Q(model_.CellText(r, c)));
                if (BoardModifColumns[c].Centred) item->setTextAlignment(c, Qt::AlignCenter);
            }
        }
        if (QTreeWidgetItem* focused = grid_->topLevelItem(model_.FocusedRow())) grid_->setCurrentItem(focused);
        connect(grid_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
            model_.SetFocusedRow(current ? grid_->indexOfTopLevelItem(current) : -1);
        });
        connect(grid_, &QTreeWidget::itemDoubleClicked, this, [this] {
            if (model_.DblClick()) accept();
        });
        grid_->installEventFilter(this);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(grid_);
        // The dialog fits its columns, the grid's frame and its vertical scroll bar.
        resize(width + 2 * grid_->frameWidth() + grid_->verticalScrollBar()->sizeHint().width(), 480);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == grid_ && event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (model_.KeyUp(key == Qt::Key_Return || key == Qt::Key_Enter)) {
                accept();
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

    void showEvent(QShowEvent* event) override
    {
        QDialog::showEvent(event);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }

private:
    TfmBoardModif& model_;
    QTreeWidget* grid_;
};

} // namespace

QDialog* BuildBoardModifDialog(TfmBoardModif& model, QWidget* parent) { return new BoardModifDialog(model, parent); }

std::shared_ptr<const platform::FormView> BoardModifView()
{
    return platform::qt::MakeFormViewOf(&BuildBoardModifDialog);
}
