#pragma once

#include "configurator/pages/ProtocolFrame.h"
#include "configurator/rules/GranitAfb.h"

#include <initializer_list>
#include <vector>

class QComboBox;
class TFrGranitAFBGrid;

// The base of the two Гранит pages: the function block table in its grid
// (TFrGranitAFBGrid) and the grid's handlers, the same on both pages:
//   - a cell shows the type of its slot's byte (AfbTypeName); a byte of no type shows
//     an empty cell;
//   - a type chosen from the menu sets slot (row - 1) × 15 + column to its byte and
//     stores the whole table into "TSDB1";
//   - Delete sets the selected slot to 0xFF, stores the table and shows the cell again.
// The table is read from "TSDB1" whenever it is needed (ReadAfbTable: a stored text
// shorter than 15 bytes reads as 15 empty slots), so a change behind the page is never
// overwritten by an old copy; nothing is stored before the first edit.
//
// A table byte the grid cannot show does not keep the page (and the device page that
// hosts it) from opening: its cell stays empty, and the message of the first such slot
// ("Не удалось отобразить значение Item[%d]=%d", 0-based position and byte) goes to the
// application's error display once, posted after the page is in place. Choosing a type
// overwrites the slot.
class TGranitFrame : public TProtocolFrame {
    Q_OBJECT
public:
    ~TGranitFrame() override;

    TFrGranitAFBGrid* Grid() const { return grid_; }
    // The "TSDB1" field of the device's block; none without it.
    TField* TableField() const;
    // The table as the device holds it; 15 × 0xFF without the field.
    TAfbTable Table() const;

    // The grid gets its 15 slots and the handlers; the command combo is emptied (Load
    // fills it for the document's family).
    void FillLists() override;
    // The bound controls shown again, then every cell.
    void RefreshAll() override;

protected:
    // What the document's family decides (GranitCommandsOf), by the names of the
    // table's widgets: the command combo Load fills, the control whose binding it
    // decides and the widgets of "номер".
    struct TFamilyControls {
        const char* CommandCombo;
        const char* Bound;
        std::initializer_list<const char*> Number;
    };
    TGranitFrame(QTreeWidget* tree, TDevice* device, TProtocolPage kind, const TPageTable& table,
                 const TFamilyControls& family, QWidget* parent = nullptr);

    // Load's first steps: the grid's data field := "TSDB1"; the command combo filled
    // with the family's items with its signals blocked (so that nothing is stored: the
    // base Load then selects the field's item, or none); the family's control bound
    // (or unbound) and "номер" shown or hidden.
    void LoadFamily();
    // Load's last step, after the base Load: every cell shown, and the first slot that
    // cannot be shown reported (posted).
    void ShowCells();
    // The grid goes into the page's column in front of a widget of the column, and
    // each of the groups takes the grid panel's width (or the width it needs).
    void PlaceGrid(QWidget* before, std::initializer_list<QWidget*> groups);

private:
    void SelectType(int column, int tag, int row);
    void GetCellText(int column, std::string& text, int row) const;
    void DeleteSelected();

    QComboBox* command_;
    QWidget* bound_;
    std::vector<QWidget*> number_;
    TFrGranitAFBGrid* grid_;
};
