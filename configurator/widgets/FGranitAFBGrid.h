#pragma once

#include <QFrame>

#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class TField;

// The Гранит function block table editor: a strip of slots, one data row under a
// header row, each cell showing the type of one block. A plain widget a page embeds,
// not a page: it binds nothing, the page gives it its data field and its handlers.
//
//   grChannels   the grid: the header "  1" … "  n" (two blanks, then the number), one
//                data row, no row header and no scrolling;
//   pmAFB_Grid   the type menu: "Нет" (tag 0), "ТС" (1), "ТИТ" (2), "ТУ" (3), each
//                action carrying its tag as its data;
//   lbMaxTU      "Доступно 2 ТУ!", beside the grid's panel paGrid.
//
// Rows are counted as the handlers see them: 0 is the header row, the data row is 1.
// Input on a data cell:
//   - a mouse press (left or right button) selects the cell, then opens the menu at the
//     mouse;
//   - Enter opens the menu at the selected cell's top left corner and is consumed;
//   - Delete runs OnDeleteKey and is consumed;
//   - an item of the menu runs OnSelectType for the selected data cell with the item's
//     tag, then refreshes that cell.
// Handlers and refreshes run guarded: an error goes to the application's error display.
class TFrGranitAFBGrid : public QFrame {
    Q_OBJECT
public:
    explicit TFrGranitAFBGrid(QWidget* parent = nullptr);
    ~TFrGranitAFBGrid() override;

    QWidget* paGrid;          // holds the grid, as wide as it + 3
    QTableWidget* grChannels;
    QMenu* pmAFB_Grid;
    QLabel* lbMaxTU;

    // The "TSDB1" field the menu counts the ТУ blocks of; none counts none.
    TField* DataField = nullptr;

    // The handlers. The page reads and writes its table in them; the grid only shows.
    // A menu item for a data cell: the item, the cell's column, the item's tag and row.
    std::function<void(QAction* item, int column, int tag, int row)> OnSelectType;
    // The text of a cell, which starts empty.
    std::function<void(int column, std::string& text, int row)> OnGetCellText;
    // Delete on the grid.
    std::function<void()> OnDeleteKey;
    // The focus left the grid for another widget of its window, with the reason: the
    // mouse, Tab, Backtab or a shortcut. The grid's own menu taking the focus, another
    // window becoming active (a message box included) and the grid going away do not
    // count. Runs inside the focus change: it must not open a window there.
    std::function<void(Qt::FocusReason reason)> OnLeave;

    // n slots: n columns, each as wide as the font's "WAZQ" plus the grid line, headed
    // "  1" … "  n"; the grid becomes (w + 1) × n + 7 pixels wide and its panel 3 more
    // (none changes for n = 0). The first data cell is selected.
    void SetSlotCount(int n);
    int SlotCount() const;
    // A cell's text: empty, then what OnGetCellText makes of it.
    void RefreshCell(int column, int row);
    // Every data cell, when OnGetCellText is set.
    void RefreshAllCells();
    // Opens the type menu at a point of the screen; "ТУ" is offered only while fewer
    // than 2 of the data field's table bytes are ТУ (AfbTUOffered). Does not wait for
    // a choice.
    void ShowTypeMenu(int x, int y);

    // The selected cell when it is a data cell: its column and row; -1, -1 otherwise.
    int SelectedColumn() const;
    int SelectedRow() const;
    // A cell's text as shown; empty outside the grid.
    QString CellText(int column, int row) const;
    // The menu's item of a tag; none for another tag.
    QAction* TypeAction(int tag) const;

private:
    class TGrid;
    friend class TGrid;

    // An item of the menu chosen.
    void SelectType(QAction* item);
    // The focus went from the grid with this reason.
    void FocusLeft(Qt::FocusReason reason);

    int width_ = 0; // of one column's text
};
