#pragma once
// The Qt view of the script editor: the list of scripts on the left, "Имя:", the "?"
// command reference and "Скрипт:" on the right, "Добавить", "Удалить", "ОК" and
// "Отмена" at the bottom. It copies control values into TScriptDialogModel and shows
// what the model holds; every slot is guarded with the library's error display.

#include "loader/dialogs/CmdDlg.h"

#include <QDialog>

#include <memory>

class QLabel;
class QListWidget;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class TScriptDialog : public QDialog {
public:
    TScriptDialog(TScriptDialogModel& model, QWidget* parent);

private:
    // Shows the model's state; control signals are ignored meanwhile.
    void Apply();
    void Connect();

    TScriptDialogModel& model_;
    bool loading_ = false;
    QListWidget* list_ = nullptr;
    QWidget* panel_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* help_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// The form view that builds a TScriptDialog for a TScriptDialogModel (no dialog for
// another model).
std::shared_ptr<const platform::FormView> ScriptFormView();
