#include "configurator/pages/FPort.h"

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

TfrPort::TfrPort(QTreeWidget* tree, TUART* port, QWidget* parent) : TParamFrame(tree, port, parent), port_(port)
{
    setObjectName("frPort");
    auto* column = new QVBoxLayout(this);

    gbMode = NewGroup(this, "gbMode", {});
    auto* mode = new QVBoxLayout(gbMode);
    cb016 = NewCombo(gbMode, "cb016");
    ch018 = NewCheck(gbMode, "ch018", "Дуплекс");
    mode->addWidget(cb016, 0, Qt::AlignLeft);
    mode->addWidget(ch018);
    column->addWidget(gbMode);

    gbFlags = NewGroup(this, "gbFlags", {});
    auto* flags = new QVBoxLayout(gbFlags);
    chInverseRxD = NewCheck(gbFlags, "chInverseRxD", "Инверсия RxD");
    chInverseTxD = NewCheck(gbFlags, "chInverseTxD", "Инверсия TxD");
    rgLevel = NewRadioGroup(gbFlags, "rgLevel", {}, {"уровень 0", "уровень 1"});
    ch058 = NewCheck(gbFlags, "ch058", "Управление модемом");
    chFullPacket = NewCheck(gbFlags, "chFullPacket", "Прием всего пакета в окне");
    chInversDE = NewCheck(gbFlags, "chInversDE", "Инверсия DE");
    for (QWidget* w : std::initializer_list<QWidget*>{chInverseRxD, chInverseTxD, rgLevel, ch058, chFullPacket, chInversDE})
        flags->addWidget(w, 0, Qt::AlignTop);
    column->addWidget(gbFlags);

    gbTimes = NewGroup(this, "gbTimes", {});
    auto* times = new QGridLayout(gbTimes);
    edSendLider = NewSpin(gbTimes, "edSendLider", 0, 65535);
    edWindow = NewSpin(gbTimes, "edWindow");
    AddRow(times, edSendLider, "Лидера на передачу", "мс");
    AddRow(times, edWindow, "Окна приема лидера", "мс");
    times->setColumnStretch(3, 1);
    column->addWidget(gbTimes);
    column->addStretch(1);
}

void TfrPort::FillLists()
{
    FillCombo(cb016, PortModeItems(*port_));
}

void TfrPort::Load(TFieldLst* list)
{
    BindControls({cb016, ch018, chInverseRxD, chInverseTxD, rgLevel, ch058, chFullPacket, edSendLider, edWindow,
                  chInversDE},
                 {"016", "018", "051", "052", "057", "058", "059", "055", "056", "flag_invDE"});
    TParamFrame::Load(list);
    // Ports of other kinds show and enable their controls by their own rules here.
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
