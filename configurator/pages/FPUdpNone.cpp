#include "configurator/pages/FPUdpNone.h"

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

TfrPUdpNone::TfrPUdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device)
{
    setObjectName("frPUdpNone");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    gbChannel = NewGroup(this, "gbChannel", {});
    auto* channel = new QGridLayout(gbChannel);
    ed0004 = NewSpin(gbChannel, "ed0004");
    ed0013 = NewSpin(gbChannel, "ed0013");
    edTSLink = NewSpin(gbChannel, "edTSLink");
    edTITLink = NewSpin(gbChannel, "edTITLink");
    const TRowLabels timeout = AddRow(channel, ed0004, "Таймаут ожидания пакета", "мс");
    lb0004 = timeout.Caption;
    lb0004Unit = timeout.Unit;
    const TRowLabels suspension = AddRow(channel, ed0013, "Время приостановки опроса", "с");
    lb0013 = suspension.Caption;
    lb0013Unit = suspension.Unit;
    AddRow(channel, edTSLink, "ВАК наличия связи");
    lbTITLink = AddRow(channel, edTITLink, "ВАК качества связи").Caption;
    channel->setColumnStretch(3, 1);
    column->addWidget(gbChannel);

    gbMode = NewGroup(this, "gbMode", "Режим работы");
    auto* mode = new QGridLayout(gbMode);
    rg013 = NewRadioGroup(gbMode, "rg013", {}, {"Binary Hex", "ASCII Hex"});
    mode->addWidget(rg013, 0, 0, 1, 3);
    ed055 = NewSpin(gbMode, "ed055", 0, 65535);
    AddRow(mode, ed055, "Задержка начала передачи", "мс");
    ch019 = NewCheck(gbMode, "ch019", "Останавливать работу при пропадании связи с КП");
    mode->addWidget(ch019, mode->rowCount(), 0, 1, 3);
    mode->setColumnStretch(3, 1);
    column->addWidget(gbMode);

    gbIEC = NewGroup(this, "gbIEC", "Формирование признака достоверности для МЭК");
    auto* iec = new QVBoxLayout(gbIEC);
    ch020 = NewCheck(gbIEC, "ch020", "Признак достоверности IV");
    ch021 = NewCheck(gbIEC, "ch021", "Признак достоверности NT");
    iec->addWidget(ch020);
    iec->addWidget(ch021);
    column->addWidget(gbIEC);
    column->addStretch(1);
}

void TfrPUdpNone::Load(TFieldLst* list)
{
    BindControls({rg013, ch019, ed055, ch020, ch021, ed0004, ed0013, edTSLink, edTITLink},
                 {"013", "019", "055", "020", "021", "0004", "0013", "ts_link", "tit_link"});
    TParamFrame::Load(list);

    const TPUdpNoneLayout layout =
        PUdpNoneLayoutOf(device_->ActiveProtocolIndex(), device_->RoleField()->GetValue().ToInt32());
    gbIEC->setVisible(layout.IecValidityShown);
    // Hidden, the channel group leaves its place to "Режим работы".
    gbChannel->setVisible(layout.ChannelGroupShown);
    for (QWidget* w : {static_cast<QWidget*>(lbTITLink), static_cast<QWidget*>(edTITLink)})
        w->setVisible(layout.TITLinkShown);
    for (QWidget* w : {static_cast<QWidget*>(lb0013), static_cast<QWidget*>(ed0013), static_cast<QWidget*>(lb0013Unit)})
        w->setVisible(layout.SuspensionShown);
    lb0004->setText(layout.TimeoutCaption);
    lb0004Unit->setText(layout.TimeoutUnit);
}
