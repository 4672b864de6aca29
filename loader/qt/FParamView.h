#pragma once
// The Qt view of the connection settings dialog: the device list on the left, the
// parameters panel on the right, the buttons at the bottom. Controls carry the names of
// the dialog's table as object names. The view copies control values into
// TfmParamModel after every change and then sets the controls whose value differs from
// the model's (so that a line edit keeps its cursor); every slot is guarded with the
// library's error display.

#include "loader/dialogs/FParam.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QSpinBox;
class QTabWidget;
class QWidget;
class TLoaderCore;

class TfmParam : public QDialog {
public:
    TfmParam(TfmParamModel& model, QWidget* parent);

protected:
    // Raises and activates the dialog, which stays on top.
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    void Connect();
    // Shows the model's state; control signals are ignored meanwhile.
    void Apply();
    // The model's controls with the values the widgets show.
    TParamControls Collect() const;
    void Changed();

    TfmParamModel& model_;
    bool loading_ = false;
    QListWidget* list_ = nullptr;
    QWidget* panel_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* type_ = nullptr;
    QComboBox* connection_ = nullptr;
    QTabWidget* notebook_ = nullptr;
    QComboBox* baud_ = nullptr;
    QComboBox* scriptBaud_ = nullptr;
    QLineEdit* host_ = nullptr;
    QLineEdit* ipPort_ = nullptr;
    QCheckBox* udp_ = nullptr;
    QCheckBox* tftp_ = nullptr;
    QCheckBox* handshake_ = nullptr;
    QLineEdit* period_ = nullptr;
    QComboBox* script_ = nullptr;
    QPushButton* editScripts_ = nullptr;
    QSpinBox* retry_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// The form view that builds a TfmParam for a TfmParamModel (no dialog for another model).
std::shared_ptr<const platform::FormView> ParamFormView();

// The settings operation's dialog for the core's devices, shown through the dialog
// service from any thread (EditConnectionSettings with TParamEnvironment::ForCore).
bool ShowConnectionSettings(TLoaderCore& core, std::vector<std::string>& devices, int& index);
