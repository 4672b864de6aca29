#pragma once

#include "configurator/rules/FAutoInc.h"

#include <memory>

class QDialog;
class QWidget;

// The Qt view of the grids' fill dialog. GUI thread only.

// Builds the dialog for the model (its values as they are): caption "Установить
// значения", one labelled spin edit per value (edFirst, edCount, edInc) over the
// value's range, "OK" as the default button and "Cancel"; Esc cancels. OK writes the
// spin edits' values into the model.
QDialog* BuildAutoIncDialog(TfmAutoInc& model, QWidget* parent);
// The dialog's view for the dialog service.
std::shared_ptr<const platform::FormView> AutoIncView();
