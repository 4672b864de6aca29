#pragma once
// The Qt view of the memory area dialog: "Начальный адрес: " with a hexadecimal spin
// box and the mark "Hex", "Количество: " with a decimal spin box and the unit list,
// "OK" and "Cancel". It shows TfmAddrModel's values and copies the controls into it on
// OK; every slot is guarded with the library's error display.

#include "loader/dialogs/FAddr.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QShowEvent;
class QSpinBox;

class TfmAddr : public QDialog {
public:
    // Centred over the parent (the owner's window, else the main window).
    TfmAddr(TfmAddrModel& model, QWidget* parent);

protected:
    // Centres the dialog's left over the parent again.
    void showEvent(QShowEvent* event) override;

private:
    TfmAddrModel& model_;
    QSpinBox* addr_ = nullptr;
    QSpinBox* count_ = nullptr;
    QComboBox* length_ = nullptr;
};

// The form view that builds a TfmAddr for a TfmAddrModel (no dialog for another model).
std::shared_ptr<const platform::FormView> AddrFormView();
// Makes AddrFormView the view the library shows the dialog with (SetAddrFormView), and
// takes it away again; the library's load and unload hooks call them.
void InstallAddrFormView();
void RemoveAddrFormView();
