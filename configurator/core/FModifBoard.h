#pragma once

#include "model/uZumo7_utils.h"
#include "platform/Dialogs.h"
#include "platform/Windows.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// The board modification dialog of a new Zumo 7 document, without widgets: one row per
// board of the board table, the focused row, and how the dialog ends. Its Qt view
// (configurator/widgets/FModifBoardView.h) shows the rows in a grid.

// One column of the grid: its header, its width (-1: the grid's default) and whether
// its cells are centred.
struct TBoardModifColumn {
    const char* Header;
    int Width;
    bool Centred;
};

// "Наименование" 180 centred, "Ethernet" 60, "RS232", "RS485", "DI", "DO", "описание" 180.
inline constexpr TBoardModifColumn BoardModifColumns[] = {
    {"Наименование", 180, true}, {"Ethernet", 60, false}, {"RS232", -1, false}, {"RS485", -1, false},
    {"DI", -1, false},           {"DO", -1, false},       {"описание", 180, false},
};
inline constexpr int BoardModifColumnCount = static_cast<int>(std::size(BoardModifColumns));

class TfmBoardModif : public platform::FormModel {
public:
    std::string FormName() const override { return "TfmBoardModif"; }
    // "Выбор модификации платы".
    static std::string Caption();

    // On show: the rows are cleared, then one row per board of the table, in table
    // order; no row is focused.
    void FormShow();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The board of a row; the empty row outside.
    TZumo7BoardInfo Row(int row) const;
    // Column 0 the name, 1..5 the Ethernet, RS232, RS485, DI and DO counts in decimal;
    // column 6, and anything outside, empty.
    std::string CellText(int row, int column) const;

    // The focused row, -1 for none; a row outside the grid focuses none.
    int FocusedRow() const { return focused_; }
    void SetFocusedRow(int row) { focused_ = row >= 0 && row < RowCount() ? row : -1; }
    // The row of a signature, -1 when no row has it.
    int RowOfSignature(uint16_t signature) const;
    // The focused row's signature; 0 when none is focused.
    uint16_t FocusedSignature() const;

    // A double click on the grid: the dialog closes with OK (true).
    bool DblClick() { return true; }
    // A key released on the grid: Enter (Return or the keypad's) with a focused row
    // closes the dialog with OK (true); anything else does nothing.
    bool KeyUp(bool enterKey) const { return enterKey && focused_ >= 0; }

private:
    std::vector<TZumo7BoardInfo> rows_;
    int focused_ = -1;
};

// Shows the dialog modally through the dialog service (view: its view for the service)
// and hands back its result (OK, or Cancel when it was closed) and the focused row's
// signature (0 when none was focused).
platform::MsgResult ChooseBoardSignature(uint16_t& signature, std::shared_ptr<const platform::FormView> view = {},
                                         platform::HWND owner = 0);
