#pragma once
// The Qt view of the exception report dialog and its installation as the library's error
// display. GUI thread only, except where said.

#include "loader/dialogs/FExceptionInfo.h"

#include <memory>
#include <string>
#include <vector>

class QDialog;
class QWidget;

// Builds the dialog for the model: the error icon of the style, "TextLabel" (read-only
// memo with the message), "DetailsMemo" (read-only, both scroll bars, no wrapping;
// hidden until "DetailsBtn" opens it), "OkBtn" "&Выход" (default), "Button2"
// "&Перезапустить", "Button1" "Скопировать"; minimum width 200. Ctrl+C copies as
// "Скопировать" does, with a beep. The buttons record the choice in the model and close
// the dialog; closing it otherwise leaves the choice None. Reads the screen and rebuilds
// the model's details first.
QDialog* BuildExceptionDialog(TExceptionDialog& model, QWidget* parent);
// The dialog's view for the dialog service.
std::shared_ptr<const platform::FormView> ExceptionDialogView();

// Marks a dialog as one of the library's: the active-control chain is reported only for
// controls of such dialogs.
void MarkLibraryForm(QWidget* form);
// The chain of the focused control of a library dialog up to its window, one line
// "<class> "<object name>"" each; empty off the GUI thread or when the focus is elsewhere.
// Any thread.
std::vector<std::string> ActiveControlChain();
// Reads the primary screen's size and depth into the report's cache (0x0, 0 bpp
// without a screen). Does nothing off the GUI thread.
void ReadScreenFacts();

// At library load (after exception tracking started): reads the screen, gives the report
// its active-control chain and makes the dialog the library's error display, closing the
// host through the operation window. At unload: the error box again.
void InstallExceptionDialog();
void RemoveExceptionDialog();
