#include "configurator/widgets/GridFrame.h"

#include "configurator/widgets/FAutoIncView.h"
#include "platform/ErrorDisplay.h"
#include "platform/qt/QtWindows.h"

#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <unordered_map>

namespace {

// A key event of Qt as the controller takes it.
TGridKey GridKeyOf(const QKeyEvent& event)
{
    TGridKey key;
    key.Press = event.type() != QEvent::KeyRelease;
    key.AutoRepeat = event.isAutoRepeat();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    key.Alt = modifiers.testFlag(Qt::AltModifier);
    key.Ctrl = modifiers.testFlag(Qt::ControlModifier);
    key.Shift = modifiers.testFlag(Qt::ShiftModifier);
    const int code = event.key();
    switch (code) {
    case Qt::Key_Return:
    case Qt::Key_Enter: key.Code = TGridKeyCode::Enter; break;
    case Qt::Key_F2: key.Code = TGridKeyCode::F2; break;
    case Qt::Key_F3: key.Code = TGridKeyCode::F3; break;
    case Qt::Key_Escape: key.Code = TGridKeyCode::Escape; break;
    case Qt::Key_Left: key.Code = TGridKeyCode::Left; break;
    case Qt::Key_Right: key.Code = TGridKeyCode::Right; break;
    case Qt::Key_Up: key.Code = TGridKeyCode::Up; break;
    case Qt::Key_Down: key.Code = TGridKeyCode::Down; break;
    case Qt::Key_Delete: key.Code = TGridKeyCode::Delete; break;
    default:
        if (code >= Qt::Key_0 && code <= Qt::Key_9) {
            // The digit keys and the keypad's; not as a part of a shortcut.
            if (!key.Alt && !key.Ctrl) {
                key.Code = TGridKeyCode::Digit;
                key.Digit = code - Qt::Key_0;
            }
        } else if (code > 0 && code < 0x110000) {
            key.Code = GridLetterKey(static_cast<char32_t>(code));
        }
        break;
    }
    return key;
}

} // namespace

// ---------------------------------------------------------------------------------
// The view

TGridView::TGridView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
}

bool TGridView::Run(const std::function<bool()>& command)
{
    bool taken = true;
    platform::RunGuarded([&] { taken = command(); });
    return taken;
}

bool TGridView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && controller_) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers().testFlag(Qt::AltModifier)) {
            switch (GridKeyOf(*key).Code) {
            case TGridKeyCode::A:
            case TGridKeyCode::D:
            case TGridKeyCode::Left:
            case TGridKeyCode::Right:
            case TGridKeyCode::Up:
            case TGridKeyCode::Down:
            case TGridKeyCode::Delete: event->accept(); return true;
            default: break;
            }
        }
    }
    return QTableView::event(event);
}

void TGridView::keyPressEvent(QKeyEvent* event)
{
    if (controller_ && Run([&] { return controller_->Key(GridKeyOf(*event)); })) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TGridView::keyReleaseEvent(QKeyEvent* event)
{
    if (controller_ && Run([&] { return controller_->Key(GridKeyOf(*event)); })) {
        event->accept();
        return;
    }
    QTableView::keyReleaseEvent(event);
}

void TGridView::focusOutEvent(QFocusEvent* event)
{
    if (controller_) controller_->FocusLost();
    QTableView::focusOutEvent(event);
}

void TGridView::mousePressEvent(QMouseEvent* event)
{
    // A refused commit keeps its editor open: a click elsewhere does not drop it.
    if (state() == QAbstractItemView::EditingState) {
        event->accept();
        return;
    }
    const QPersistentModelIndex before = currentIndex();
    QTableView::mousePressEvent(event);
    KeepCurrentFocusable(before);
}

void TGridView::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (!controller_ || event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid()) return;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    Run([&] {
        return controller_->MouseRelease(modifiers.testFlag(Qt::ControlModifier), modifiers.testFlag(Qt::ShiftModifier),
                                         modifiers.testFlag(Qt::AltModifier));
    });
}

void TGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    KeepCurrentFocusable();
    if (!controller_ || event->button() != Qt::LeftButton || !indexAt(event->position().toPoint()).isValid()) return;
    Run([&] { return controller_->MouseDoubleClick(); });
}

QModelIndex TGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (!controller_ || !next.isValid() || controller_->CanFocus(next.row(), next.column())) return next;
    const int step = action == MoveLeft || action == MovePrevious || action == MoveHome ? -1 : 1;
    const int columns = model()->columnCount();
    for (int direction : {step, -step})
        for (int c = next.column(); c >= 0 && c < columns; c += direction)
            if (controller_->CanFocus(next.row(), c)) return model()->index(next.row(), c);
    // A row that takes no focus at all (a page or a jump to the end landed there): the
    // nearest row that does, on the cursor's way first, in the column nearest to its.
    const QModelIndex current = currentIndex();
    if (!current.isValid() || next.row() == current.row()) return current;
    const int way = next.row() > current.row() ? 1 : -1;
    for (int direction : {way, -way})
        for (int r = next.row() + direction; r >= 0 && r < model()->rowCount(); r += direction) {
            const int first = controller_->FirstColumn(r);
            const int last = controller_->LastColumn(r);
            if (first > last) continue;
            for (int c = std::clamp(next.column(), first, last); c <= last; ++c)
                if (controller_->CanFocus(r, c)) return model()->index(r, c);
        }
    return current;
}

QItemSelectionModel::SelectionFlags TGridView::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    // One selected row, the focused one; Ctrl never deselects it.
    if (!index.isValid() || (event && event->type() == QEvent::MouseButtonRelease))
        return QTableView::selectionCommand(index, event);
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

void TGridView::KeepCurrentFocusable(const QModelIndex& before)
{
    const QModelIndex current = currentIndex();
    if (!controller_ || !current.isValid() || controller_->CanFocus(current.row(), current.column())) return;
    const int columns = model()->columnCount();
    for (int direction : {1, -1})
        for (int c = current.column(); c >= 0 && c < columns; c += direction)
            if (controller_->CanFocus(current.row(), c)) {
                selectionModel()->setCurrentIndex(model()->index(current.row(), c),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return;
            }
    // A row that takes no focus at all: the cell before stays current.
    if (before.isValid() && before != current)
        selectionModel()->setCurrentIndex(before, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---------------------------------------------------------------------------------
// The page

// The grid as the controller sees it.
class TGridFrame::TView : public IGridView {
public:
    explicit TView(TGridFrame& frame) : frame_(frame) {}

    int RowCount() const override { return frame_.model_->rowCount(); }
    const TGridRow& Row(int position) const override { return *frame_.model_->RowAt(position); }
    int FocusedRow() const override
    {
        const QModelIndex current = frame_.vtGrid->currentIndex();
        return current.isValid() ? current.row() : -1;
    }
    int FocusedColumn() const override
    {
        const QModelIndex current = frame_.vtGrid->currentIndex();
        return current.isValid() ? current.column() : -1;
    }
    void Focus(int position, int column) override { frame_.FocusCell(position, column); }
    bool Editing() const override { return frame_.link_->Editor() != nullptr; }
    void StartEdit(int digit) override
    {
        const QModelIndex current = frame_.vtGrid->currentIndex();
        if (!current.isValid() || !frame_.model_->flags(current).testFlag(Qt::ItemIsEditable)) return;
        frame_.vtGrid->scrollTo(current);
        frame_.vtGrid->edit(current);
        if (frame_.link_->Editor()) frame_.link_->BeginEdit(digit);
    }
    void RowsStored(int first, int last) override
    {
        frame_.model_->RowsChanged(first, last);
        frame_.FitColumns(first, last);
    }

private:
    TGridFrame& frame_;
};

TGridFrame::TGridFrame(QTreeWidget* tree, TFieldLst* fieldList, TGridSpec spec, QWidget* parent)
    : TParamFrame(tree, fieldList, parent), spec_(std::move(spec))
{
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    vtGrid = new TGridView(this);
    vtGrid->setObjectName("vtGrid");
    model_ = new TGridModel(spec_, this);
    vtGrid->setModel(model_);
    link_ = new TFieldEditLink(spec_, *model_, *vtGrid);
    vtGrid->setItemDelegate(link_);
    view_ = std::make_unique<TView>(*this);
    controller_ = std::make_unique<TGridController>(*view_, spec_, AutoIncView());
    vtGrid->SetController(controller_.get());

    QHeaderView* rows = vtGrid->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(vtGrid->fontMetrics().height() + 6);
    QHeaderView* header = vtGrid->horizontalHeader();
    header->setMinimumSectionSize(5);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setSectionsClickable(spec_.Commands.HeaderSort);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(spec_.ColumnsMovable);
    for (int c = 0; c < spec_.ColumnCount(); ++c) {
        const TGridColumn& column = spec_.Columns[static_cast<size_t>(c)];
        if (column.Hidden) {
            vtGrid->setColumnHidden(c, true);
            continue;
        }
        const int width = column.Width > 0 ? column.Width : column.MinWidth;
        if (width > 0) header->resizeSection(c, width);
    }
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section < 0 || section >= spec_.ColumnCount() || vtGrid->isColumnHidden(section)) return;
        const int minimum = spec_.Columns[static_cast<size_t>(section)].MinWidth;
        if (size < minimum) vtGrid->horizontalHeader()->resizeSection(section, minimum);
    });
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int section) { platform::RunGuarded([&] { HeaderClicked(section); }); });
    connect(link_, &TFieldEditLink::RowStored, this, [this](int position) {
        view_->RowsStored(position, position);
        if (spec_.FitAfterEdit) FitColumnsToContents();
    });
    connect(link_, &TFieldEditLink::EditClosed, this, [this](bool rebuild) {
        if (rebuild) platform::PostMessage(handle_, platform::WM_FRAME_NOTIFY, 0, 0);
    });
    column_->addWidget(vtGrid, 1);
    AddGrid(vtGrid);

    if (spec_.Help != TGridHelp::None) {
        QStringList lines;
        for (const char* line : GridHelpLines) lines << QString::fromUtf8(line);
        if (spec_.HelpExtra) lines << QString::fromUtf8(spec_.HelpExtra);
        lbHelp = new QLabel(lines.join('\n'), this);
        lbHelp->setObjectName("lbHelp");
        lbHelp->setVisible(spec_.Help == TGridHelp::Shown);
        column_->addWidget(lbHelp);
    }
    if (spec_.Fit == TGridFit::HoldsRows) {
        vtGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        vtGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else {
        // A few rows at least; the host scrolls below that.
        vtGrid->setMinimumHeight(header->sizeHint().height() + 5 * rows->defaultSectionSize() + 2 * vtGrid->frameWidth());
    }

    handle_ = platform::qt::RegisterWidget(this, [this](platform::HWND, platform::UINT msg, platform::WPARAM wParam,
                                                        platform::LPARAM lParam) -> platform::LRESULT {
        if (msg == platform::WM_FRAME_NOTIFY) platform::RunGuarded([&] { FrameNotify(wParam, lParam); });
        return 0;
    });
}

TGridFrame::~TGridFrame()
{
    // Messages posted to the page are dropped from here on; the grid, its editor and the
    // link go before the grid spec and the controller they use, storing nothing more.
    platform::qt::UnregisterWidget(this);
    vtGrid->SetController(nullptr);
    link_->CancelEdit();
    delete vtGrid;
}

void TGridFrame::FrameNotify(platform::WPARAM, platform::LPARAM) {}

void TGridFrame::Load(TFieldLst* list)
{
    SetRows(GridRows());
    // Only a page that also binds controls runs the binding's Load.
    if (!TableControls().empty() || !Controls().empty()) TParamFrame::Load(list);
}

void TGridFrame::RefreshAll()
{
    TParamFrame::RefreshAll();
    model_->AllRowsChanged();
}

void TGridFrame::SetRows(std::vector<TGridRow> rows)
{
    model_->SetRows(std::move(rows));
    FitColumns(0, model_->rowCount() - 1);
    if (spec_.Fit == TGridFit::HoldsRows) {
        const int height = vtGrid->horizontalHeader()->sizeHint().height() +
                           model_->rowCount() * vtGrid->verticalHeader()->defaultSectionSize() + 2 * vtGrid->frameWidth();
        vtGrid->setFixedHeight(height);
    }
}

void TGridFrame::FocusCell(int position, int column)
{
    const QModelIndex index = model_->index(position, column);
    if (!index.isValid()) return;
    vtGrid->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    vtGrid->scrollTo(index);
}

bool TGridFrame::FocusRecord(const TFieldLst* record, int column, bool centre)
{
    const int position = model_->PositionOf(record);
    if (position < 0) return false;
    FocusCell(position, column);
    if (centre) vtGrid->scrollTo(model_->index(position, column), QAbstractItemView::PositionAtCenter);
    vtGrid->setFocus(Qt::OtherFocusReason);
    return true;
}

void TGridFrame::FitColumns(int first, int last) { FitColumnWidths(first, last, false); }

void TGridFrame::FitColumnsToContents() { FitColumnWidths(0, model_->rowCount() - 1, true); }

void TGridFrame::FitColumnWidths(int first, int last, bool narrow)
{
    first = std::max(first, 0);
    last = std::min(last, model_->rowCount() - 1);
    if (first > last) return;
    QHeaderView* header = vtGrid->horizontalHeader();
    const QFontMetrics metrics = vtGrid->fontMetrics();
    // Where the font's digits share one width, texts of digits alone are as wide as
    // they are long: only the longest of them is measured.
    bool uniformDigits = true;
    for (char d = '1'; d <= '9' && uniformDigits; ++d)
        uniformDigits = metrics.horizontalAdvance(QChar(d)) == metrics.horizontalAdvance(QChar('0'));
    const auto digitsOnly = [](const std::string& text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    };
    std::unordered_map<std::string, int> measured; // texts repeat down a column
    const auto measure = [&](std::string text) {
        auto it = measured.find(text);
        if (it == measured.end()) {
            const int advance = metrics.horizontalAdvance(QString::fromStdString(text));
            it = measured.emplace(std::move(text), advance).first;
        }
        return it->second;
    };
    for (int c = 0; c < spec_.ColumnCount(); ++c) {
        const TGridColumn& column = spec_.Columns[static_cast<size_t>(c)];
        if (column.Hidden || column.TextPad <= 0) continue;
        int width = narrow ? column.MinWidth : std::max(header->sectionSize(c), column.MinWidth);
        std::string longestDigits;
        for (int p = first; p <= last; ++p) {
            std::string text = CellWidthText(spec_, *model_->RowAt(p), c);
            if (uniformDigits && digitsOnly(text)) {
                if (text.size() > longestDigits.size()) longestDigits = std::move(text);
                continue;
            }
            width = std::max(width, measure(std::move(text)) + column.TextPad);
        }
        if (!longestDigits.empty()) width = std::max(width, measure(std::move(longestDigits)) + column.TextPad);
        if (width > header->sectionSize(c) || (narrow && width != header->sectionSize(c)))
            header->resizeSection(c, width);
    }
}

void TGridFrame::HeaderClicked(int column)
{
    if (!spec_.Commands.HeaderSort) return;
    const TSortState state = NextSortState(model_->SortState(), column);
    model_->Sort(state);
    ShowSortIndicator(vtGrid->horizontalHeader(), state);
}

QWidget* TGridFrame::HostViewport() const
{
    QWidget* parent = parentWidget();
    if (!parent) return nullptr;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(parent)) return area->viewport();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(parent->parentWidget()); area && area->viewport() == parent)
        return parent;
    return nullptr;
}

void TGridFrame::FitHeight()
{
    QWidget* host = spec_.Fit == TGridFit::FillsHost ? HostViewport() : nullptr;
    if (!host) {
        TParamFrame::FitHeight();
        return;
    }
    if (watchedHost_ != host) {
        if (watchedHost_) watchedHost_->removeEventFilter(this);
        watchedHost_ = host;
        host->installEventFilter(this);
    }
    resize(width(), std::max(host->height(), minimumSizeHint().height()));
}

bool TGridFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedHost_ && event->type() == QEvent::Resize)
        resize(width(), std::max(watchedHost_->height(), minimumSizeHint().height()));
    return TParamFrame::eventFilter(watched, event);
}
