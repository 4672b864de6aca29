#pragma once

#include "configurator/core/FModifBoard.h"

#include <memory>

class QDialog;
class QWidget;

// The Qt view of the board modification dialog. GUI thread only.

// Builds the dialog for the model (its rows as they are): caption "Выбор модификации
// платы", only the window's close button among the title buttons, centred on the screen
// when shown; the grid "vtGrid" lists the rows with full-row selection and grid lines,
// its current row being the model's focused row. A double click on the grid, or
// releasing Enter on it while a row is focused, accepts the dialog; closing it (the
// close button, Esc) rejects it.
QDialog* BuildBoardModifDialog(TfmBoardModif& model, QWidget* parent);
// The dialog's view for the dialog service.
std::shared_ptr<const platform::FormView> BoardModifView();
