#include "configurator/pages/FLogicCh.h"

#include "configurator/widgets/FrameHost.h"
#include "model/uZumo2.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionViewItem>

namespace {

// The grid's background: medium grey.
const QColor kMediumGrey(160, 160, 164);

} // namespace

TfrLogicCh::TfrLogicCh(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TGridFrame(tree, document, LogicGridSpec([this] {
                     platform::PostMessage(Handle(), platform::WM_FRAME_NOTIFY, 0, 0);
                 }),
                 parent),
      document_(document)
{
    setObjectName("frLogicCh");
    vtGrid->horizontalHeader()->hide();
    vtGrid->setShowGrid(false);
    // The viewport shows the grey where no cell is painted. Its own background role
    // keeps the palette, and so the editors on it, as they are.
    QWidget* viewport = vtGrid->viewport();
    QPalette palette = viewport->palette();
    palette.setColor(QPalette::AlternateBase, kMediumGrey);
    viewport->setPalette(palette);
    viewport->setBackgroundRole(QPalette::AlternateBase);
    viewport->installEventFilter(this);
    Link()->PaintCell = [this](QPainter* painter, const QStyleOptionViewItem& option, const TGridRow& row,
                               int column) { return PaintCell(painter, option, row, column); };
}

void TfrLogicCh::Load(TFieldLst* list)
{
    if (auto* document = dynamic_cast<TZumo2Doc*>(list)) document_ = document;
    RebuildGrid(nullptr);
}

void TfrLogicCh::RefreshAll() { RebuildGrid(nullptr); }

void TfrLogicCh::RecordsChanged() { RebuildKeepingFocus(); }

std::vector<TGridRow> TfrLogicCh::GridRows()
{
    return document_ ? LogicGridRows(LogicChannels(*document_)) : std::vector<TGridRow>{};
}

void TfrLogicCh::RebuildGrid(const TLogic* select, int column)
{
    SetRows(GridRows());
    const int position = LogicRowPosition(Model()->Rows(), select);
    if (position < 0) return;
    FocusCell(position, column);
    // Centred vertically; across, the cell only kept in view.
    QScrollBar* across = vtGrid->horizontalScrollBar();
    const int left = across->value();
    vtGrid->scrollTo(Model()->index(position, column), QAbstractItemView::PositionAtCenter);
    across->setValue(left);
}

void TfrLogicCh::RebuildKeepingFocus()
{
    const QModelIndex current = vtGrid->currentIndex();
    const TGridRow* row = current.isValid() ? Model()->RowAt(current.row()) : nullptr;
    RebuildGrid(row ? RowLogic(*row) : nullptr, current.isValid() ? current.column() : lcVAK);
}

void TfrLogicCh::FrameNotify(platform::WPARAM wParam, platform::LPARAM)
{
    if (wParam == 0) RebuildKeepingFocus();
}

bool TfrLogicCh::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == vtGrid->viewport() && event->type() == QEvent::Wheel && Link()->Editor()) {
        event->accept();
        return true;
    }
    return TGridFrame::eventFilter(watched, event);
}

bool TfrLogicCh::PaintCell(QPainter* painter, const QStyleOptionViewItem& option, const TGridRow& row,
                           int column) const
{
    // Separator rows and the cells beyond a row's columns keep the grey, also where the
    // view marks the selected row.
    if (row.Kind == lrSeparator || column > RowLastColumn(row)) {
        painter->fillRect(option.rect, kMediumGrey);
        return true;
    }
    const QPalette& palette = option.palette;
    const bool button = row.Kind == lrHeader || column == lcNumber;
    const QModelIndex current = vtGrid->currentIndex();
    const bool focused = option.state.testFlag(QStyle::State_Selected) && current.isValid() &&
                         current.column() == column && Model()->RowAt(current.row()) == &row;
    const bool gridFocus = vtGrid->hasFocus();
    const QPalette::ColorGroup group = gridFocus ? QPalette::Active : QPalette::Inactive;

    QColor fill = palette.color(button ? QPalette::Button : QPalette::Base);
    QColor edge = palette.color(button ? QPalette::Dark : QPalette::Button);
    QColor text = palette.color(button ? QPalette::ButtonText : QPalette::Text);
    if (!button) {
        const TCellLook look = CellLook(Spec(), row, column);
        if (look.Text) text = QColor(look.Text->R, look.Text->G, look.Text->B);
    }
    if (focused) {
        fill = palette.color(group, QPalette::Highlight);
        if (gridFocus) text = palette.color(QPalette::Base);
    }

    const QRect rect = option.rect;
    painter->save();
    painter->fillRect(rect, fill);
    painter->setPen(edge);
    painter->drawLine(rect.right(), rect.top() + 1, rect.right(), rect.bottom() - 1);
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->setFont(option.font);
    painter->setPen(text);
    const QRect area = rect.adjusted(4, 0, -4, -1);
    painter->setClipRect(area);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(CellText(Spec(), row, column)));
    painter->restore();
    return true;
}

void RegisterLogicChannelPage(TFrameRegistry& registry)
{
    RegisterPage<TfrLogicCh>(registry, TFrameKind::LogicChannels, [](const TFrameArgs& a) -> TfrLogicCh* {
        return a.Document ? MakeFrame<TfrLogicCh>(a.View, a.Document, a.Parent) : nullptr;
    });
}
