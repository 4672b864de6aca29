#include "configurator/widgets/MessageList.h"

#include "platform/ErrorDisplay.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>

// ---------------------------------------------------------------------------------
// TMessageLogModel

TMessageLogModel::TMessageLogModel(TMessageLog::Clock clock, QObject* parent)
    : QAbstractListModel(parent), log_(std::move(clock))
{
}

void TMessageLogModel::Add(const std::string& text, int kind)
{
    beginInsertRows({}, 0, 0);
    log_.Add(text, kind);
    endInsertRows();
}

void TMessageLogModel::AddLine(const std::string& line, int kind)
{
    beginInsertRows({}, 0, 0);
    log_.AddLine(line, kind);
    endInsertRows();
}

void TMessageLogModel::Delete(const std::vector<int>& rows)
{
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        if (*it < 0 || *it >= log_.Count()) continue;
        beginRemoveRows({}, *it, *it);
        log_.Delete({*it});
        endRemoveRows();
    }
}

void TMessageLogModel::Clear()
{
    beginResetModel();
    log_.Clear();
    endResetModel();
}

int TMessageLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : log_.Count(); }

QVariant TMessageLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= log_.Count()) return {};
    const TLogEntry& entry = log_.Entry(index.row());
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(entry.Line());
    case kKindRole: return entry.Kind;
    case kStampRole: return static_cast<int>(entry.StampLength()); // the stamp is ASCII
    default: return {};
    }
}

// ---------------------------------------------------------------------------------
// TMessageLogDelegate

namespace {
constexpr int kItemHeight = 16;
constexpr int kMargin = 2;
} // namespace

QColor TMessageLogDelegate::KindColor(int kind, const QPalette& palette)
{
    switch (kind) {
    case 1: return QColor(255, 0, 0);
    case 2: return QColor(128, 0, 128);
    default: return palette.color(QPalette::Text);
    }
}

void TMessageLogDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const int kind = index.data(TMessageLogModel::kKindRole).toInt();
    const int stamp = index.data(TMessageLogModel::kStampRole).toInt();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& palette = option.palette;

    painter->save();
    painter->setFont(option.font);
    painter->fillRect(option.rect, palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    QRect r = option.rect.adjusted(kMargin, 0, 0, 0);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (selected) {
        painter->setPen(palette.color(QPalette::HighlightedText));
        painter->drawText(r, flags, text);
    } else {
        const QString head = text.left(stamp);
        const QString rest = text.mid(stamp);
        painter->setPen(palette.color(QPalette::Text));
        painter->drawText(r, flags, head);
        r.setLeft(r.left() + option.fontMetrics.horizontalAdvance(head));
        painter->setPen(KindColor(kind, palette));
        painter->drawText(r, flags, rest);
    }
    painter->restore();
}

QSize TMessageLogDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    // The drawn width: the text behind its left margin.
    return {option.fontMetrics.horizontalAdvance(text) + kMargin, kItemHeight};
}

// ---------------------------------------------------------------------------------
// TMessageList

TMessageList::TMessageList(QWidget* parent, TMessageLog::Clock clock)
    : QListView(parent), model_(new TMessageLogModel(std::move(clock), this))
{
    setModel(model_);
    setItemDelegate(new TMessageLogDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
}

std::vector<int> TMessageList::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TMessageList::DeleteSelected() { model_->Delete(SelectedRows()); }

void TMessageList::CopySelected()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    // The clipboard carries Unicode text; the keyboard layout is left alone.
    QApplication::clipboard()->setText(QString::fromStdString(Log().CopyText(rows)));
}

void TMessageList::keyPressEvent(QKeyEvent* event)
{
    // The view's own copy and select-all would act on the press (copying the current
    // line even without a selection); this list acts on the release.
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll)) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TMessageList::keyReleaseEvent(QKeyEvent* event)
{
    platform::RunGuarded([&] {
        const bool ctrlOnly = event->modifiers() == Qt::ControlModifier;
        if (event->key() == Qt::Key_Delete)
            DeleteSelected();
        else if (ctrlOnly && event->key() == Qt::Key_A)
            selectAll();
        else if (ctrlOnly && event->key() == Qt::Key_C)
            CopySelected();
    });
    QListView::keyReleaseEvent(event);
}

void TMessageList::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    platform::RunGuarded([&] { model_->Clear(); });
}
