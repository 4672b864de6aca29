#pragma once
// Signal wiring shared by the library's Qt dialogs.

#include "loader/dialogs/FExceptionInfo.h"
#include "platform/ErrorDisplay.h"

#include <functional>
#include <initializer_list>
#include <utility>

class QDialog;
class QLayout;
class QPushButton;

// fn as a slot of a library dialog: what it throws goes to the library's error display.
template <class Fn>
auto LibrarySlot(Fn fn)
{
    return platform::Guarded(std::move(fn), &LibraryErrorDisplay());
}

// A button of a list-editing dialog and what its click does to the model.
struct TDialogButton {
    QPushButton* Button;
    std::function<void()> Action;
};

// Wires the buttons of a library dialog that edits a list: each button's click runs its
// action, then `refresh`; "OK" runs `canClose`, then `refresh`, and accepts the dialog
// when it said yes; "Cancel" rejects it. Errors go to the library's error display.
void ConnectDialogButtons(QDialog& dialog, std::initializer_list<TDialogButton> buttons, QPushButton* ok,
                          std::function<bool()> canClose, QPushButton* cancel, std::function<void()> refresh);

// Lays out a list-editing dialog: `top` over a row of the tool buttons, a stretch, then
// OK and Cancel.
void LayOutDialog(QDialog& dialog, QLayout* top, std::initializer_list<QPushButton*> tools, QPushButton* ok,
                  QPushButton* cancel);
