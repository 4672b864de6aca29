#include "configurator/widgets/PageWidgets.h"

#include "configurator/rules/ParamBinding.h"
#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& text)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(name);
    return check;
}

QComboBox* NewCombo(QWidget* parent, const char* name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    return combo;
}

TSpinEdit* NewSpin(QWidget* parent, const char* name, double minimum, double maximum)
{
    auto* spin = new TSpinEdit(parent);
    spin->setObjectName(name);
    if (minimum < maximum) spin->SetDesignedRange(minimum, maximum);
    return spin;
}

TRadioGroup* NewRadioGroup(QWidget* parent, const char* name, const QString& title, const QStringList& items)
{
    auto* group = new TRadioGroup(title, parent);
    group->setObjectName(name);
    group->SetItems(items);
    return group;
}

TIPAddressEdit* NewIPEdit(QWidget* parent, const char* name)
{
    auto* edit = new TIPAddressEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QGroupBox* NewGroup(QWidget* parent, const char* name, const QString& title)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(name);
    return group;
}

void FillCombo(QComboBox* combo, const TPickList& items)
{
    combo->clear();
    for (const auto& [text, value] : items) combo->addItem(QStr(text), QVariant::fromValue<qlonglong>(value));
}

TRowLabels AddRow(QGridLayout* grid, QWidget* editor, const QString& caption, const QString& unit)
{
    const int row = grid->rowCount();
    QWidget* parent = grid->parentWidget();
    const std::string key = ControlKey(editor->objectName().toStdString());
    TRowLabels labels;
    labels.Caption = NewLabel(parent, ("lb" + key).c_str(), caption);
    labels.Caption->setBuddy(editor);
    grid->addWidget(labels.Caption, row, 0);
    grid->addWidget(editor, row, 1);
    if (!unit.isEmpty()) {
        labels.Unit = NewLabel(parent, ("lb" + key + "Unit").c_str(), unit);
        grid->addWidget(labels.Unit, row, 2);
    }
    return labels;
}
