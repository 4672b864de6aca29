#pragma once

#include "model/uZumo_Classes.h"

#include <QString>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QWidget;
class TIPAddressEdit;
class TRadioGroup;
class TSpinEdit;

// Building blocks of the pages that are laid out in code: controls named as the
// binding expects, and rows of a caption, an editor and a unit.

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text);
QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& text);
QComboBox* NewCombo(QWidget* parent, const char* name);
// A spin edit; with minimum < maximum the design gives its range.
TSpinEdit* NewSpin(QWidget* parent, const char* name, double minimum = 0, double maximum = 0);
TRadioGroup* NewRadioGroup(QWidget* parent, const char* name, const QString& title, const QStringList& items);
TIPAddressEdit* NewIPEdit(QWidget* parent, const char* name);
QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title);

// Replaces a combo box's items by the texts of a pick list, each carrying its value.
void FillCombo(QComboBox* combo, const TPickList& items);

// The labels of one row of a grid layout: caption, editor, optional unit.
struct TRowLabels {
    QLabel* Caption = nullptr;
    QLabel* Unit = nullptr;
};
// Adds a row to a grid layout of three columns (caption, editor, unit). The labels are
// named after the editor: "lb" + its key, and "lb" + its key + "Unit". Without a row
// the line goes below the grid's last; with one, into that row from the given column.
TRowLabels AddRow(QGridLayout* grid, QWidget* editor, const QString& caption, const QString& unit = {},
                  int row = -1, int column = 0);

// Converts a UTF-8 text of the model.
inline QString QStr(const std::string& text) { return QString::fromStdString(text); }
