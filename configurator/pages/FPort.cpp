#include "configurator/pages/FPort.h"

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uDravo7.h"
#include "model/uHask1.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include <string_view>

TfrPort::TfrPort(QTreeWidget* tree, TUART* port, QWidget* parent) : TParamFrame(tree, port, parent), port_(port)
{
    setObjectName("frPort");
    auto* column = new QVBoxLayout(this);
    const TPageControls c = BuildPage(*this, *column, PortPageTable());
    column->addStretch(1);

    gbMode = c.Get<QGroupBox>("gbMode");
    cb016 = c.Get<QComboBox>("cb016");
    ch018 = c.Get<QCheckBox>("ch018");
    gbFlags = c.Get<QGroupBox>("gbFlags");
    chInverseRxD = c.Get<QCheckBox>("chInverseRxD");
    chInverseTxD = c.Get<QCheckBox>("chInverseTxD");
    rgLevel = c.Get<TRadioGroup>("rgLevel");
    ch058 = c.Get<QCheckBox>("ch058");
    chFullPacket = c.Get<QCheckBox>("chFullPacket");
    chInversDE = c.Get<QCheckBox>("chInversDE");
    gbTimes = c.Get<QGroupBox>("gbTimes");
    edSendLider = c.Get<TSpinEdit>("edSendLider");
    edWindow = c.Get<TSpinEdit>("edWindow");
}

void TfrPort::FillLists()
{
    FillCombo(cb016, PortModeItems(*port_));
}

void TfrPort::Load(TFieldLst* list)
{
    TParamFrame::Load(list);
    // Ports of other kinds show and enable their controls by their own rules here.
    if (dynamic_cast<TADSP*>(port_)) {
        ch058->setText("Непрерывная несущая");
        // The group keeps only the flags the channel uses; its layout shrinks to them.
        for (const TPageRow& row : PortPageTable().Rows)
            if (row.Panel && std::string_view(row.Panel) == "gbFlags")
                if (auto* w = findChild<QWidget*>(row.Name)) w->setVisible(PortFlagShown(*port_, FieldOf(w)));
        cb016->hide();
    } else if (dynamic_cast<TPortA*>(port_)) {
        // "Port A" keeps only the group holding "Дуплекс", its mode shown but fixed.
        for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) w->setVisible(w->isAncestorOf(ch018));
        cb016->setEnabled(false);
    }
    SetChangeHandler(cb016, [this](const void*) { ApplyModeRule(); });
    ApplyModeRule();
}

void TfrPort::ApplyModeRule()
{
    std::optional<int> mode;
    if (cb016->currentIndex() >= 0) mode = cb016->currentData().toInt();
    for (const auto& [name, enabled] : PortModeRule(*port_, mode))
        if (auto* w = findChild<QWidget*>(QString::fromStdString(name))) w->setEnabled(enabled);
}
