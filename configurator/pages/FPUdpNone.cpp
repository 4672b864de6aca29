#include "configurator/pages/FPUdpNone.h"

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "gbChannel", .Kind = TPanelKind::Group},
    {.Name = "gbMode", .Kind = TPanelKind::Group, .Title = "Режим работы"},
    {.Name = "gbIEC", .Kind = TPanelKind::Group, .Title = "Формирование признака достоверности для МЭК"},
};

const TPageRow kRows[] = {
    {.Panel = "gbChannel", .Name = "ed0004", .Kind = K::SpinEdit, .Key = "0004", .Caption = "Таймаут ожидания пакета",
     .Unit = "мс"},
    {.Panel = "gbChannel", .Name = "ed0013", .Kind = K::SpinEdit, .Key = "0013", .Caption = "Время приостановки опроса",
     .Unit = "с"},
    {.Panel = "gbChannel", .Name = "edTSLink", .Kind = K::SpinEdit, .Key = "ts_link", .Caption = "ВАК наличия связи"},
    {.Panel = "gbChannel", .Name = "edTITLink", .Kind = K::SpinEdit, .Key = "tit_link", .Caption = "ВАК качества связи"},
    {.Panel = "gbMode", .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
    {.Panel = "gbMode", .Name = "ed055", .Kind = K::SpinEdit, .Key = "055", .Caption = "Задержка начала передачи",
     .Unit = "мс", .Minimum = 0, .Maximum = 65535},
    {.Panel = "gbMode", .Name = "ch019", .Kind = K::CheckBox, .Key = "019",
     .Caption = "Останавливать работу при пропадании связи с КП"},
    {.Panel = "gbIEC", .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = "gbIEC", .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
};

} // namespace

const TPageTable TfrPUdpNone::Table{"TfrPUdpNone", kPanels, kRows};

TfrPUdpNone::TfrPUdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device)
{
    setObjectName("frPUdpNone");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const TPageControls c = BuildPage(*this, *column, Table);
    column->addStretch(1);

    gbChannel = c.Get<QGroupBox>("gbChannel");
    ed0004 = c.Get<TSpinEdit>("ed0004");
    ed0013 = c.Get<TSpinEdit>("ed0013");
    edTSLink = c.Get<TSpinEdit>("edTSLink");
    edTITLink = c.Get<TSpinEdit>("edTITLink");
    lb0004 = c.Get<QLabel>("lb0004");
    lb0004Unit = c.Get<QLabel>("lb0004Unit");
    lb0013 = c.Get<QLabel>("lb0013");
    lb0013Unit = c.Get<QLabel>("lb0013Unit");
    lbTITLink = c.Get<QLabel>("lbTITLink");
    gbMode = c.Get<QGroupBox>("gbMode");
    rg013 = c.Get<TRadioGroup>("rg013");
    ed055 = c.Get<TSpinEdit>("ed055");
    ch019 = c.Get<QCheckBox>("ch019");
    gbIEC = c.Get<QGroupBox>("gbIEC");
    ch020 = c.Get<QCheckBox>("ch020");
    ch021 = c.Get<QCheckBox>("ch021");
}

void TfrPUdpNone::Load(TFieldLst* list)
{
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
