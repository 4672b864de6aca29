#pragma once

#include "configurator/rules/GridController.h"
#include "configurator/rules/GridSpec.h"
#include "configurator/widgets/FieldEditLink.h"
#include "configurator/widgets/GridModel.h"
#include "configurator/widgets/uParamFrame.h"
#include "platform/Windows.h"

#include <QTableView>

#include <memory>
#include <vector>

class QLabel;
class QVBoxLayout;

// The grid of a grid page: a table view with full-row selection whose keys and clicks
// go to the page's grid controller first. Keys the controller does not take are the
// view's own; while it has the focus no window shortcut takes Alt+A, Alt+D (and "Ф",
// "В"), Alt+arrows or Alt+Delete. Cells of columns or rows that take no focus never
// become current, by click or by key (a page key or a jump to the end that lands on
// such a row goes on to the nearest row that takes it). A click on another cell while a refused commit
// keeps its editor open is ignored. Errors of the commands go to the application's
// error display.
class TGridView : public QTableView {
    Q_OBJECT
public:
    explicit TGridView(QWidget* parent = nullptr);
    // The controller the view's keys and clicks go to (none: the view's own alone).
    void SetController(TGridController* controller) { controller_ = controller; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    // Typing never searches the rows.
    void keyboardSearch(const QString&) override {}

private:
    // Runs a command of the controller; errors go to the application's display.
    bool Run(const std::function<bool()>& command);
    // A current cell in a column that takes no focus moves to the nearest one that does;
    // in a row that takes no focus at all, back to the cell before (when there was one).
    void KeepCurrentFocusable(const QModelIndex& before = {});

    TGridController* controller_ = nullptr;
};

// The base of the grid pages (TGridFrame): a parameter page that owns the
// grid vtGrid and the help label lbHelp under it, and shows one row per record of what
// it edits. Cells are read from the fields when painted; one editor exists while an
// edit is open (TFieldEditLink); keys and clicks run the shared commands
// (TGridController) over the page's grid spec, and every value goes through StoreCell.
//
// A page passes its spec to the constructor, sets the grid spec's hooks to its own methods
// in its constructor, gives its rows in GridRows and is made by MakeFrame.
// - Load adds the rows (GridRows) in record order and fits the columns; it runs the
//   base's Load (binding the page's controls) only for a page that also binds controls
//   (the table controls it made, or controls it bound in its own Load before calling
//   this one).
// - UpdateControls does nothing. RefreshAll reloads the bound controls and tells the
//   model that every row changed (the focus and the selection stay). The column
//   fitting never runs while cells are painted.
// - Columns start at their Width (else MinWidth), widen to their texts + TextPad after
//   Load and after a row was stored, and never narrow, neither by fitting nor below
//   their MinWidth by the user; where the grid spec has FitAfterEdit, an edit that stored
//   its value fits them to their contents (FitColumnsToContents).
// - The page has a window handle of its own (Handle) for WM_FRAME_NOTIFY posted to it
//   (FrameNotify runs guarded); posts that arrive once the page is gone are dropped.
//   When an editor whose spec has RebuildAfterEdit closes, the page posts itself
//   WM_FRAME_NOTIFY (0, 0).
// - A page with TGridFit::FillsHost fills the viewport of the scroll area that hosts it
//   and its grid scrolls; with HoldsRows the grid is as tall as its rows and has no
//   scroll bars.
// - Pages whose records the main window selects implement IRecordSelector with
//   FocusRecord; pages that rebuild their rows implement IRecordsView with SetRows.
// - A page that places the grid in a group box of its own takes vtGrid out of Column()
//   first (Column()->removeWidget(vtGrid)) and adds it to the box's layout; lbHelp the
//   same way.
// - A page paints cells of its own through the link's PaintCell, makes its own editor
//   through CreateCustomEditor and posts the end of edits through OnEditRequest
//   (configurator/widgets/FieldEditLink.h).
class TGridFrame : public TParamFrame {
    Q_OBJECT
public:
    ~TGridFrame() override;

    TGridView* vtGrid;
    QLabel* lbHelp = nullptr; // none for TGridHelp::None

    const TGridSpec& Spec() const { return spec_; }
    TGridModel* Model() const { return model_; }
    TFieldEditLink* Link() const { return link_; }
    TGridController& Controller() { return *controller_; }
    platform::HWND Handle() const { return handle_; }

    void Load(TFieldLst* list) override;
    void UpdateControls() override {}
    void RefreshAll() override;
    void FitHeight() override;

    // Replaces the rows (a rebuild); the columns widen to the new rows' texts.
    void SetRows(std::vector<TGridRow> rows);
    // Focuses the row of a record (the first one showing it) at a column, scrolls it
    // into view (centred when asked) and gives the grid the input focus. False when no
    // row shows the record.
    bool FocusRecord(const TFieldLst* record, int column, bool centre = false);
    // Focuses a cell as the commands do: its row becomes the selected row.
    void FocusCell(int position, int column);
    // Widens the columns to the texts (CellWidthText) of the rows shown from first to
    // last, after Load, SetRows and every stored row. A page that fits its columns
    // otherwise (to their contents after an edit) overrides it.
    virtual void FitColumns(int first, int last);
    // Fits every column to its contents: the widest text of all rows + TextPad, never
    // below MinWidth, narrowing too (after an edit, where the grid spec's FitAfterEdit asks).
    void FitColumnsToContents();

    // Ends or cancels the open edit (for requests the page posted itself).
    bool EndEdit() { return link_->EndEdit(); }
    void CancelEdit() { link_->CancelEdit(); }

protected:
    // The page's tree, what it edits, its grid spec and its parent widget.
    TGridFrame(QTreeWidget* tree, TFieldLst* fieldList, TGridSpec spec, QWidget* parent = nullptr);

    // The rows, in record order.
    virtual std::vector<TGridRow> GridRows() = 0;
    // WM_FRAME_NOTIFY posted to the page's own handle; nothing here.
    virtual void FrameNotify(platform::WPARAM wParam, platform::LPARAM lParam);

    TGridSpec& MutableSpec() { return spec_; }
    QVBoxLayout* Column() const { return column_; }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TView;
    void HeaderClicked(int column);
    // Widens (narrow: fits) the columns to the texts of the rows from first to last.
    void FitColumnWidths(int first, int last, bool narrow);
    // The frame host's viewport, when a scroll area hosts the page.
    QWidget* HostViewport() const;

    TGridSpec spec_;
    TGridModel* model_;
    TFieldEditLink* link_;
    std::unique_ptr<TView> view_;
    std::unique_ptr<TGridController> controller_;
    QVBoxLayout* column_;
    platform::HWND handle_ = 0;
    QPointer<QWidget> watchedHost_;
};
