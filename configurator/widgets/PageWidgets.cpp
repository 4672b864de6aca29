#include "configurator/widgets/PageWidgets.h"

#include "configurator/rules/ParamBinding.h"
#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

#include <utility>

namespace {

// A widget of class W made with the arguments and named for lookups and tests.
template <class W, class... Args>
W* Named(const char* name, Args&&... args)
{
    auto* widget = new W(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

} // namespace

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text) { return Named<QLabel>(name, text, parent); }

QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& text)
{
    return Named<QCheckBox>(name, text, parent);
}

QComboBox* NewCombo(QWidget* parent, const char* name) { return Named<QComboBox>(name, parent); }

TSpinEdit* NewSpin(QWidget* parent, const char* name, double minimum, double maximum)
{
    auto* spin = Named<TSpinEdit>(name, parent);
    if (minimum < maximum) spin->SetDesignedRange(minimum, maximum);
    return spin;
}

TRadioGroup* NewRadioGroup(QWidget* parent, const char* name, const QString& title, const QStringList& items)
{
    auto* group = Named<TRadioGroup>(name, title, parent);
    group->SetItems(items);
    return group;
}

TIPAddressEdit* NewIPEdit(QWidget* parent, const char* name) { return Named<TIPAddressEdit>(name, parent); }

QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title)
{
    return Named<QGroupBox>(name, title, parent);
}

void FillCombo(QComboBox* combo, const TPickList& items)
{
    combo->clear();
    for (const auto& [text, value] : items) combo->addItem(QStr(text), QVariant::fromValue<qlonglong>(value));
}

TRowLabels AddRow(QGridLayout* grid, QWidget* editor, const QString& caption, const QString& unit, int row,
                  int column)
{
    if (row < 0) row = grid->rowCount();
    QWidget* parent = grid->parentWidget();
    const std::string key = ControlKey(editor->objectName().toStdString());
    TRowLabels labels;
    labels.Caption = NewLabel(parent, ("lb" + key).c_str(), caption);
    labels.Caption->setBuddy(editor);
    grid->addWidget(labels.Caption, row, column);
    grid->addWidget(editor, row, column + 1);
    if (!unit.isEmpty()) {
        labels.Unit = NewLabel(parent, ("lb" + key + "Unit").c_str(), unit);
        grid->addWidget(labels.Unit, row, column + 2);
    }
    return labels;
}
