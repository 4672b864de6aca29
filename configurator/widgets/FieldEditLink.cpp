#include "configurator/widgets/FieldEditLink.h"

#include "configurator/widgets/GridModel.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/ErrorDisplay.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <exception>

namespace {

// A spin edit that takes a number typed beyond its range and clamps it when the text
// is taken, as the grids' spin edits do (Qt's own refuses the keystroke).
class TGridSpinEdit : public TSpinEdit {
public:
    using TSpinEdit::TSpinEdit;

    void SetText(const QString& text) { lineEdit()->setText(text); }

    QValidator::State validate(QString& text, int& pos) const override
    {
        // A floating value takes a point and a comma alike as its decimal point: typed
        // under the other separator it is no group separator ("0,25" is no 25).
        if (IsFloat()) {
            const QString point = locale().decimalPoint();
            if (point == "." || point == ",") text.replace(point == "." ? u',' : u'.', point[0]);
        }
        const QValidator::State state = TSpinEdit::validate(text, pos);
        if (state == QValidator::Invalid && Number(text)) return QValidator::Intermediate;
        return state;
    }
    void fixup(QString& text) const override
    {
        if (const std::optional<double> number = Number(text))
            text = textFromValue(std::clamp(*number, minimum(), maximum()));
        else
            TSpinEdit::fixup(text);
    }

private:
    std::optional<double> Number(const QString& text) const
    {
        bool ok = false;
        const double value = locale().toDouble(text.trimmed(), &ok);
        if (!ok || !std::isfinite(value)) return std::nullopt;
        return value;
    }
};

// A combo box that reports its list closing. The report comes once the event that
// closed it is handled: a chosen item is current by then.
class TGridComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> OnListClosed;

    void hidePopup() override
    {
        const bool shown = view() && view()->window()->isVisible();
        QComboBox::hidePopup();
        if (shown && OnListClosed)
            QTimer::singleShot(0, this, [this] {
                if (OnListClosed) OnListClosed();
            });
    }
};

} // namespace

// The open edit: where it is, its editor and what the editor showed at first.
struct TFieldEditLink::TOpenEdit {
    QPointer<QWidget> Editor;
    QPersistentModelIndex Index;
    TGridRow Row;
    int Column = -1;
    TEditorSpec Spec; // a copy: a row's own editor may be made anew per call
    TField* Field = nullptr;
    int MinWidth = 0;
    // What the editor showed when the edit opened (or the field's value shown again).
    double InitialNumber = 0;
    int InitialIndex = -1;
    QString InitialText;
    bool Committing = false;
    bool Closing = false;
    std::unique_ptr<TBoundControl> Control;

    TGridSpinEdit* Spin() const { return dynamic_cast<TGridSpinEdit*>(Editor.data()); }
    QComboBox* Combo() const { return qobject_cast<QComboBox*>(Editor.data()); }
    QLineEdit* Text() const { return qobject_cast<QLineEdit*>(Editor.data()); }

    // Shows a field's value in the editor and takes it as what the editor showed.
    void Show(const TField& field)
    {
        const Variant value = field.GetValue();
        if (TGridSpinEdit* spin = Spin()) {
            const double number = value.ToDouble();
            if (std::isfinite(number) && Spec.Kind == TEditorKind::Spin)
                spin->setRange(std::min(spin->minimum(), number), std::max(spin->maximum(), number));
            spin->setValue(number);
        } else if (QComboBox* combo = Combo()) {
            const QSignalBlocker quiet(combo);
            const int64_t stored = value.IsString() ? TryStrToInt(value.Str()).value_or(-1) : value.ToInt64();
            int index = -1;
            for (int i = 0; i < combo->count() && index < 0; ++i)
                if (combo->itemData(i).toLongLong() == stored) index = i;
            combo->setCurrentIndex(index);
        } else if (QLineEdit* text = Text()) {
            text->setText(QString::fromStdString(value.ToString()));
        }
        TakeBaseline();
    }
    void TakeBaseline()
    {
        if (TGridSpinEdit* spin = Spin()) InitialNumber = spin->value();
        if (QComboBox* combo = Combo()) InitialIndex = combo->currentIndex();
        if (QLineEdit* text = Text()) InitialText = text->text();
    }
    // Whether the user changed what the editor shows. A spin edit takes its typed text
    // first.
    bool Changed() const
    {
        if (TGridSpinEdit* spin = Spin()) {
            spin->interpretText();
            return spin->value() != InitialNumber;
        }
        if (QComboBox* combo = Combo()) return combo->currentIndex() != InitialIndex;
        if (QLineEdit* text = Text()) return text->text() != InitialText;
        return false;
    }
    // The value the editor holds; none for a combo box without a selection.
    std::optional<Variant> Read() const
    {
        if (TGridSpinEdit* spin = Spin()) {
            spin->interpretText();
            if (Spec.Kind == TEditorKind::FloatSpin) return Variant(spin->value());
            return WholeValue(std::llround(spin->value()));
        }
        if (QComboBox* combo = Combo()) {
            if (combo->currentIndex() < 0) return std::nullopt;
            return Variant(static_cast<int32_t>(combo->currentData().toLongLong()));
        }
        if (QLineEdit* text = Text()) return Variant(text->text().toStdString());
        return std::nullopt;
    }
};

namespace {

// The open editor as the cell validation's Sender: it shows and reads the editor.
class TEditorControl : public TBoundControl {
public:
    explicit TEditorControl(TFieldEditLink::TOpenEdit& edit) : edit_(edit) {}
    const void* Sender() const override { return edit_.Editor.data(); }
    void Show(const TField& field) override { edit_.Show(field); }
    std::optional<Variant> Read() const override { return edit_.Read(); }

private:
    TFieldEditLink::TOpenEdit& edit_;
};

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

} // namespace

TFieldEditLink::TFieldEditLink(const TGridSpec& spec, TGridModel& model, QAbstractItemView& grid)
    : QStyledItemDelegate(&grid), spec_(spec), model_(model), grid_(grid)
{
}

TFieldEditLink::~TFieldEditLink() = default;

QWidget* TFieldEditLink::Editor() const { return edit_ ? edit_->Editor.data() : nullptr; }
int TFieldEditLink::Column() const { return edit_ && edit_->Editor ? edit_->Column : -1; }
const TGridRow* TFieldEditLink::Row() const { return edit_ && edit_->Editor ? &edit_->Row : nullptr; }
int TFieldEditLink::EditorMinWidth() const { return edit_ && edit_->Editor ? edit_->MinWidth : 0; }

QWidget* TFieldEditLink::PrepareEdit(QWidget* parent, const TGridRow& row, int column)
{
    const TEditorSpec& spec = CellEditor(spec_, row, column);
    TField* field = EditField(spec_, row, column);
    if (spec.Kind == TEditorKind::None || (spec.Kind != TEditorKind::Custom && !field)) return nullptr;

    auto edit = std::make_unique<TOpenEdit>();
    edit->Row = row;
    edit->Column = column;
    edit->Spec = spec;
    edit->Field = field;
    const QFontMetrics metrics = grid_.fontMetrics();
    TPickList items;
    switch (spec.Kind) {
    case TEditorKind::Spin:
    case TEditorKind::FloatSpin: {
        auto* spin = new TGridSpinEdit(parent);
        spin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        spin->setFrame(false);
        if (spec.Kind == TEditorKind::FloatSpin) {
            spin->SetFloat(true, spec.Decimals);
            spin->setRange(-FLT_MAX, FLT_MAX);
        } else {
            spin->setRange(static_cast<double>(spec.Minimum), static_cast<double>(EditorMaximum(spec, row, field)));
        }
        edit->Editor = spin;
        break;
    }
    case TEditorKind::Combo: {
        auto* combo = new TGridComboBox(parent);
        if (spec.Items) items = spec.Items(row);
        if (spec.Sorted) SortPickList(items);
        {
            const QSignalBlocker quiet(combo);
            for (const auto& [text, value] : items) combo->addItem(QString::fromStdString(text), value);
        }
        combo->OnListClosed = [this] { RequestEnd(); };
        edit->Editor = combo;
        break;
    }
    case TEditorKind::Text: {
        auto* text = new QLineEdit(parent);
        text->setFrame(false);
        const int length = field->MaxValue > 1 ? field->MaxValue - 1 : field->Size;
        if (length > 0) text->setMaxLength(length);
        edit->Editor = text;
        break;
    }
    case TEditorKind::Custom:
        edit->Editor = CreateCustomEditor ? CreateCustomEditor(parent, row, column) : nullptr;
        break;
    case TEditorKind::None: break;
    }
    if (!edit->Editor) return nullptr;

    if (field && spec.Kind != TEditorKind::Custom) edit->Show(*field);
    if (spec.Kind == TEditorKind::Combo && spec.Preselect) {
        const QSignalBlocker quiet(edit->Combo());
        edit->Combo()->setCurrentIndex(spec.Preselect(row, items));
        edit->TakeBaseline();
    }
    switch (spec.Width) {
    case TEditorWidth::Cell: break;
    case TEditorWidth::OfText:
        edit->MinWidth = metrics.horizontalAdvance(QString::fromUtf8(spec.WidthText ? spec.WidthText : "")) + spec.WidthPad;
        break;
    case TEditorWidth::WidestItem:
        for (const auto& item : items)
            edit->MinWidth = std::max(edit->MinWidth, metrics.horizontalAdvance(QString::fromStdString(item.first)));
        edit->MinWidth += spec.WidthPad;
        break;
    case TEditorWidth::OfItem:
        if (spec.WidthItem >= 0 && spec.WidthItem < static_cast<int>(items.size())) {
            const std::string& text = items[static_cast<size_t>(spec.WidthItem)].first;
            edit->MinWidth = metrics.horizontalAdvance(QString::fromStdString(text));
        }
        edit->MinWidth += spec.WidthPad;
        break;
    }
    edit->Control = std::make_unique<TEditorControl>(*edit);
    QWidget* editor = edit->Editor.data();
    editor->setObjectName("edGridCell");
    edit_ = std::move(edit);
    return editor;
}

void TFieldEditLink::SetBounds(QWidget* editor, const QRect& cell) const
{
    if (!edit_ || editor != edit_->Editor) return;
    if (edit_->Spec.Kind == TEditorKind::Custom) {
        const QPoint at = grid_.viewport()->mapToGlobal(cell.topLeft());
        editor->move(editor->parentWidget() ? editor->parentWidget()->mapFromGlobal(at) : at);
        editor->resize(editor->sizeHint());
        return;
    }
    QRect bounds = cell;
    if (edit_->MinWidth > 0 && bounds.width() < edit_->MinWidth) bounds.setWidth(edit_->MinWidth);
    editor->setGeometry(bounds);
}

void TFieldEditLink::BeginEdit(int digit)
{
    if (!edit_ || !edit_->Editor) return;
    if (QComboBox* combo = edit_->Combo()) {
        if (combo->count() > 0) combo->showPopup();
        return;
    }
    if (digit < 0 || digit > 9) return;
    const QString text = QString::number(digit);
    if (TGridSpinEdit* spin = edit_->Spin())
        spin->SetText(text);
    else if (QLineEdit* line = edit_->Text())
        line->setText(text);
}

bool TFieldEditLink::EndEdit()
{
    if (!edit_ || !edit_->Editor || edit_->Committing || edit_->Closing) return false;
    // Kept alive through the error box, whose event loop may drop the editor.
    const std::shared_ptr<TOpenEdit> hold = edit_;
    TOpenEdit& edit = *hold;
    const int position = edit.Index.row();
    if (edit.Spec.Kind == TEditorKind::Custom) {
        Close(false);
        emit RowStored(position);
        return true;
    }
    edit.Committing = true;
    bool stored = false;
    std::exception_ptr error;
    try {
        if (edit.Changed()) {
            if (const std::optional<Variant> value = edit.Read()) {
                StoreCell(spec_, edit.Row, edit.Column, *edit.Field, *value, *edit.Control);
                stored = true;
            }
        }
    } catch (...) {
        error = std::current_exception();
    }
    if (error) {
        // The editor stays open for the user to correct it or press Esc, and has the
        // focus once the error box is gone.
        if (spec_.Commands.RefusalShowsValue) edit.Show(*edit.Field);
        if (QWidget* editor = edit.Editor.data())
            QTimer::singleShot(0, editor, [editor] {
                if (editor->isVisible()) editor->setFocus(Qt::OtherFocusReason);
            });
        platform::ShowException(error);
        edit.Committing = false;
        return false;
    }
    edit.Committing = false;
    if (edit_ != hold) return false; // the edit ended meanwhile
    Close(!stored);
    if (stored) emit RowStored(position);
    return true;
}

void TFieldEditLink::CancelEdit()
{
    if (!edit_ || !edit_->Editor || edit_->Closing) return;
    Close(true);
}

void TFieldEditLink::RequestEnd()
{
    if (!edit_ || !edit_->Editor || edit_->Committing || edit_->Closing) return;
    if (OnEditRequest && OnEditRequest(true)) return;
    EndEdit();
}

void TFieldEditLink::RequestCancel()
{
    if (!edit_ || !edit_->Editor || edit_->Closing) return;
    if (OnEditRequest && OnEditRequest(false)) return;
    CancelEdit();
}

void TFieldEditLink::Close(bool revert)
{
    TOpenEdit& edit = *edit_;
    edit.Closing = true;
    const bool rebuild = edit.Spec.RebuildAfterEdit;
    QWidget* editor = edit.Editor.data();
    if (auto* combo = dynamic_cast<TGridComboBox*>(editor)) combo->OnListClosed = nullptr;
    emit closeEditor(editor, revert ? QAbstractItemDelegate::RevertModelCache : QAbstractItemDelegate::NoHint);
    Forget();
    emit EditClosed(rebuild);
}

void TFieldEditLink::Forget() { edit_.reset(); }

QWidget* TFieldEditLink::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const TGridRow* row = model_.RowAt(index.row());
    if (!row) return nullptr;
    auto* self = const_cast<TFieldEditLink*>(this);
    QWidget* editor = self->PrepareEdit(parent, *row, index.column());
    if (editor) self->edit_->Index = index;
    return editor;
}

// The editor is filled once, when it is made; the view's later refills (a changed cell
// under an open editor) would overwrite what the user typed.
void TFieldEditLink::setEditorData(QWidget*, const QModelIndex&) const {}

void TFieldEditLink::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {}

void TFieldEditLink::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                          const QModelIndex&) const
{
    SetBounds(editor, option.rect);
}

void TFieldEditLink::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    // The view drops an editor of its own accord (its rows were replaced): the edit is
    // over, nothing is stored.
    if (edit_ && edit_->Editor == editor) const_cast<TFieldEditLink*>(this)->Forget();
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool TFieldEditLink::eventFilter(QObject* watched, QEvent* event)
{
    if (!edit_ || !edit_->Editor || watched != edit_->Editor.data()) return false;
    // The page's own editor looks after its keys and its focus.
    if (edit_->Spec.Kind == TEditorKind::Custom) return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (IsEnter(key) || key == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return false;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (IsEnter(key) || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            platform::RunGuarded([this] { RequestEnd(); });
            return true;
        }
        if (key == Qt::Key_Escape) {
            platform::RunGuarded([this] { RequestCancel(); });
            return true;
        }
        return false;
    }
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        return IsEnter(key) || key == Qt::Key_Escape;
    }
    case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // A popup (the combo box's own list) or another window (an error box) takes
        // the focus only for a while.
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return false;
        // Nor does a part of the editor (a combo box's list is a window of its own).
        QWidget* editor = edit_->Editor.data();
        for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
            if (w == editor) return false;
        if (editor->isVisible()) platform::RunGuarded([this] { RequestEnd(); });
        return false;
    }
    default: return false;
    }
}

void TFieldEditLink::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // A colour rule holds on the selected row too.
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (foreground.canConvert<QBrush>()) option->palette.setBrush(QPalette::HighlightedText, foreground.value<QBrush>());
    // The focused cell stands out in the window colour while the grid has the focus.
    const bool selected = option->state.testFlag(QStyle::State_Selected);
    if (spec_.FocusedCellStandsOut && selected && grid_.hasFocus() && index == grid_.currentIndex()) {
        const QColor window = option->palette.color(QPalette::Base);
        option->palette.setColor(QPalette::Text, window);
        option->palette.setColor(QPalette::HighlightedText, window);
    }
}

void TFieldEditLink::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (PaintCell) {
        const TGridRow* row = model_.RowAt(index.row());
        if (row && PaintCell(painter, option, *row, index.column())) return;
    }
    const QString staticText = index.data(TGridModel::StaticTextRole).toString();
    if (staticText.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // The static text and the text as one block, aligned as the cell is.
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 0, -2, 0);
    const QFontMetrics metrics(opt.font);
    const int staticWidth = metrics.horizontalAdvance(staticText);
    const int width = staticWidth + metrics.horizontalAdvance(text);
    int left = area.left();
    if (opt.displayAlignment & Qt::AlignRight)
        left = area.right() - width;
    else if (opt.displayAlignment & Qt::AlignHCenter)
        left = area.left() + (area.width() - width) / 2;
    const bool selected = opt.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorRole role = selected ? QPalette::HighlightedText : QPalette::Text;
    QColor staticColour = opt.palette.color(role);
    const QVariant own = index.data(TGridModel::StaticColourRole);
    const bool focusedCell =
        spec_.FocusedCellStandsOut && selected && grid_.hasFocus() && index == grid_.currentIndex();
    if (own.canConvert<QBrush>() && !focusedCell) staticColour = own.value<QBrush>().color();
    painter->save();
    painter->setFont(opt.font);
    painter->setClipRect(area);
    painter->setPen(staticColour);
    painter->drawText(QRect(left, area.top(), staticWidth, area.height()), Qt::AlignLeft | Qt::AlignVCenter, staticText);
    painter->setPen(opt.palette.color(role));
    painter->drawText(QRect(left + staticWidth, area.top(), width - staticWidth, area.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}
