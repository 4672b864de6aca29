#pragma once

#include "configurator/rules/GridSpec.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>
#include <memory>

class QAbstractItemView;
class TGridModel;

// The cell editing of a grid page (TFieldEditLink), as the view's item
// delegate: one editor exists only while an edit is open, built from the grid spec and
// filled from the cell's edit field. It also paints the cells: a static text in front
// of the text in its own colour, and the focused cell of the selected row in the window
// colour while the grid has the focus (where the grid spec's FocusedCellStandsOut says so).
//
// Ending an edit: Enter (and Tab), the editor losing the focus and a combo box's list
// closing all end it through one commit path (EndEdit), guarded against re-entry; a
// focus lost to a popup or to another window (an error box) ends nothing. Esc cancels
// (CancelEdit). Enter and Esc are consumed, also their releases. An editor stores only
// what the user changed: confirming an untouched editor stores nothing, so a rounded
// float or a preselected item never rewrites the field. A combo box without a selection
// never stores; ending it cancels. Every store goes through StoreCell with the editor
// as Sender (a control in no frame's registry); a refused store shows its error on the
// application's display and the editor stays open, keeping the entry, or showing the
// field's value again where the grid's commands say so (RefusalShowsValue). The view's
// own commit (setModelData) stores nothing.
class TFieldEditLink : public QStyledItemDelegate {
    Q_OBJECT
public:
    // The grid spec, the model and the grid must outlive the link.
    TFieldEditLink(const TGridSpec& spec, TGridModel& model, QAbstractItemView& grid);
    ~TFieldEditLink() override;

    // The open edit: its editor, column and row; none, -1 and none while none is open.
    QWidget* Editor() const;
    int Column() const;
    const TGridRow* Row() const;
    // The editor's minimum width in pixels (0: none), from the editor spec's Width.
    int EditorMinWidth() const;

    // Makes the page's own editor (TEditorKind::Custom) with the given parent for a
    // cell; none: the cell is not edited. Such an editor stores its values itself and
    // handles its own keys and focus; the page ends it with EndEdit or CancelEdit.
    std::function<QWidget*(QWidget* parent, const TGridRow& row, int column)> CreateCustomEditor;
    // Paints a cell the page's own way (group headers, separators); true when it did,
    // false to leave the cell to the link.
    std::function<bool(QPainter* painter, const QStyleOptionViewItem& option, const TGridRow& row, int column)>
        PaintCell;
    // Enter (end) or Esc (not end) in an editor, or its combo list closing (end): when
    // the hook returns true the page ends or cancels the edit later itself (from a
    // posted request); without it, or when it returns false, the link does at once.
    std::function<bool(bool end)> OnEditRequest;

    // Builds the editor the cell calls for (none for a cell without one), filled from
    // its edit field: a spin edit over its range (widened to hold the field's value) with
    // the field's value, a float spin with Decimals decimals over the single's range
    // (taking a point and a comma alike as the decimal point, never as a group mark), a
    // combo box filled with its signals blocked and its item preselected, a text edit
    // of at most MaxValue - 1 characters (the field's length when MaxValue is 0).
    QWidget* PrepareEdit(QWidget* parent, const TGridRow& row, int column);
    // Places the editor over the cell (in the grid's viewport), widened to
    // EditorMinWidth when the cell is narrower; the page's own editor at the cell's
    // top-left with its own size, whatever widget its parent is.
    void SetBounds(QWidget* editor, const QRect& cell) const;
    // Once the view shows and focuses the editor: a combo box with items opens its
    // list; a digit (0..9) becomes a spin or text edit's whole text.
    void BeginEdit(int digit);
    // Ends the open edit: stores the editor's value when the user changed it and closes
    // the editor (a combo box without a selection closes without storing). False when
    // the store was refused (the editor stays open and gets the focus back) or while a
    // commit runs already. The page's own editor just closes.
    bool EndEdit();
    // Closes the open editor, storing nothing.
    void CancelEdit();

signals:
    // A value was stored into the row shown at a position (the page's own editor: it
    // closed through EndEdit).
    void RowStored(int position);
    // The editor closed, committed or not; rebuild when its spec asks the page to
    // rebuild its rows afterwards.
    void EditClosed(bool rebuild);

protected:
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

public:
    // The open edit's state.
    struct TOpenEdit;

private:
    void RequestEnd();
    void RequestCancel();
    // Closes the editor through the view.
    void Close(bool revert);
    // The edit is over (the editor goes).
    void Forget();

    const TGridSpec& spec_;
    TGridModel& model_;
    QAbstractItemView& grid_;
    std::shared_ptr<TOpenEdit> edit_;
};
