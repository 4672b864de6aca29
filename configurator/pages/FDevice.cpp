#include "configurator/pages/FDevice.h"

#include "configurator/pages/DeviceNode.h"
#include "configurator/pages/FKPdpNone.h"
#include "configurator/pages/FPUdpNone.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/tree/TreeNodes.h"
#include "model/uZumo7.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>
#include <QVBoxLayout>


void RegisterProtocolPage(TFrameRegistry& registry, TProtocolPage page, TProtocolFrameFactory factory)
{
    if (!factory || page == TProtocolPage::None) {
        registry.RegisterProtocolPage(static_cast<int>(page), {});
        return;
    }
    registry.RegisterProtocolPage(static_cast<int>(page),
                                  [factory = std::move(factory)](const TProtocolPageArgs& a) -> QWidget* {
                                      return factory(a.View, a.Device, a.Host);
                                  });
}

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paLink", .Kind = TPanelKind::Panel},
    {.Name = "paPort", .Kind = TPanelKind::Panel}, // the serial settings
};

const TPageRow kRows[] = {
    {.Panel = "paLink", .Name = "cbPort", .Kind = K::ComboBox, .Key = "002", .Caption = "Порт"},
    {.Panel = "paLink", .Name = "edAddr", .Kind = K::SpinEdit, .Key = "000", .Caption = "Адрес", .Minimum = 0,
     .Maximum = 65535},
    {.Panel = "paLink", .Name = "edSpeed", .Kind = K::SpinEdit, .Key = "001", .Caption = "Скорость", .Unit = "бит/с"},
    {.Panel = "paLink", .Name = "cb005", .Kind = K::ComboBox, .Key = "005", .Caption = "Канальный протокол"},
    {.Panel = "paPort", .Name = "cb068_1", .Kind = K::ComboBox, .Key = "068_1", .Caption = "Биты данных"},
    {.Panel = "paPort", .Name = "cb068_2", .Kind = K::ComboBox, .Key = "068_2", .Caption = "Четность"},
    {.Panel = "paPort", .Name = "cb068_3", .Kind = K::ComboBox, .Key = "068_3", .Caption = "Стоповые биты"},
    {.Panel = "paPort", .Name = "ed006", .Kind = K::SpinEdit, .Key = "006", .Caption = "Межбайтный интервал",
     .Unit = "мс"},
};

} // namespace

const TPageTable TfrDevice::Table{"TfrDevice", kPanels, kRows};

TfrDevice::TfrDevice(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, const TFrameRegistry* pages,
                     QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device), document_(dynamic_cast<TDocument*>(device->Parent)),
      pages_(pages)
{
    setObjectName("frDevice");
    node_ = FindDeviceNode(devicesGroup, device);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);

    const TPageControls c = BuildPage(*this, *column, Table);
    cbPort = c.Get<QComboBox>("cbPort");
    edAddr = c.Get<TSpinEdit>("edAddr");
    edSpeed = c.Get<TSpinEdit>("edSpeed");
    cb005 = c.Get<QComboBox>("cb005");
    paPort = c.Get("paPort");
    cb068_1 = c.Get<QComboBox>("cb068_1");
    cb068_2 = c.Get<QComboBox>("cb068_2");
    cb068_3 = c.Get<QComboBox>("cb068_3");
    ed006 = c.Get<TSpinEdit>("ed006");

    paRole = new QWidget(this);
    paRole->setObjectName("paRole");
    column->addWidget(paRole);
    roleHost_.emplace(paRole);
    paProtocol = new QWidget(this);
    paProtocol->setObjectName("paProtocol");
    column->addWidget(paProtocol);
    protocolHost_.emplace(paProtocol);
    column->addStretch(1);
}

TField* TfrDevice::PortField() const { return device_->PortField(); }

void TfrDevice::FillLists()
{
    if (document_) FillCombo(cbPort, DevicePortItems(*document_));
    FillCombo(cb005, ChannelProtocolItems());
    FillCombo(cb068_1, DataBitsItems());
    FillCombo(cb068_2, ParityItems());
    FillCombo(cb068_3, StopBitsItems());
}

void TfrDevice::Load(TFieldLst* list)
{
    TParamFrame::Load(list);
    FollowPort();
    SetChangeHandler(cbPort, [this](const void*) { FollowPort(); });
    CreateProtocolFrames();
}

void TfrDevice::FollowPort()
{
    // A Zumo 7 board keeps the mode in each port: the record of the stored port number
    // (none past the board's ports). Elsewhere every port follows the first one's mode.
    if (auto* zumo7 = dynamic_cast<TZumo7Doc*>(document_)) {
        portList_ = zumo7->PortByIndex(PortField()->GetValue().ToInt32());
        return;
    }
    portList_ = document_ ? dynamic_cast<TFieldLst*>(document_->FindField("UART0")) : nullptr;
}

void TfrDevice::CreateProtocolFrames()
{
    roleHost_->Free();
    protocolHost_->Free();

    const int role = device_->RoleField()->GetValue().ToInt32();
    if (RolePageOf(role) == TRolePage::PUdpNone)
        roleHost_->Host(MakeFrame<TfrPUdpNone>(Tree, device_, paRole));
    else
        roleHost_->Host(MakeFrame<TfrKPdpNone>(Tree, device_, paRole));

    const TProtocolPage page = ProtocolPageOf(device_->ActiveProtocolIndex(), role);
    protocolHost_->Host(CreateHostedProtocolPage(pages_, page, *device_, Tree, paProtocol));
    FitHeight();
}

void TfrDevice::FitHeight()
{
    roleHost_->Fit();
    protocolHost_->Fit();
    TParamFrame::FitHeight();
}

void TfrDevice::RefreshAll()
{
    TParamFrame::RefreshAll();
    if (TParamFrame* role = RoleFrame()) role->RefreshAll();
    if (TParamFrame* protocol = ProtocolFrame()) protocol->RefreshAll();
}

void TfrDevice::UpdateControls()
{
    std::optional<int> port;
    if (cbPort->currentIndex() >= 0) port = cbPort->currentData().toInt();
    const bool shown = SerialPanelShown(document_, portList_, port);
    const bool serialChanged = paPort->isHidden() == shown;
    if (serialChanged) paPort->setVisible(shown);
    UpdateNodeCaption();
    if (TParamFrame* role = RoleFrame()) role->UpdateControls();
    if (TParamFrame* protocol = ProtocolFrame()) protocol->UpdateControls();
    // The serial settings or a group of a hosted page came or went: another height.
    const bool roleChanged = roleHost_->Refit();
    const bool protocolChanged = protocolHost_->Refit();
    if (serialChanged || roleChanged || protocolChanged) TParamFrame::FitHeight();
}

void TfrDevice::UpdateNodeCaption() { UpdateDeviceNodeCaption(node_, *device_); }
