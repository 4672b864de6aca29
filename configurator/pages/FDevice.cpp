#include "configurator/pages/FDevice.h"

#include "configurator/pages/FKPdpNone.h"
#include "configurator/pages/FPUdpNone.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/tree/TreeNodes.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>
#include <QGridLayout>
#include <QVBoxLayout>

#include <map>

namespace {

std::map<TProtocolPage, TProtocolPageFactory>& ProtocolPages()
{
    static std::map<TProtocolPage, TProtocolPageFactory> pages;
    return pages;
}

} // namespace

void RegisterProtocolPage(TProtocolPage page, TProtocolPageFactory factory)
{
    if (factory)
        ProtocolPages()[page] = std::move(factory);
    else
        ProtocolPages().erase(page);
}

TParamFrame* CreateProtocolPage(TProtocolPage page, QTreeWidget* tree, TDevice* device, QWidget* host)
{
    const auto it = ProtocolPages().find(page);
    if (page == TProtocolPage::None || it == ProtocolPages().end()) return nullptr;
    return it->second(tree, device, host);
}

TfrDevice::TfrDevice(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device), document_(dynamic_cast<TDocument*>(device->Parent))
{
    setObjectName("frDevice");
    if (devicesGroup) {
        for (int i = 0; i < devicesGroup->ChildCount() && !node_; ++i)
            if (devicesGroup->Child(i)->FieldList() == device) node_ = devicesGroup->Child(i);
    }

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);

    auto* link = new QWidget(this);
    link->setObjectName("paLink");
    auto* linkRows = new QGridLayout(link);
    linkRows->setContentsMargins(0, 0, 0, 0);
    cbPort = NewCombo(link, "cbPort");
    edAddr = NewSpin(link, "edAddr", 0, 65535);
    edSpeed = NewSpin(link, "edSpeed");
    cb005 = NewCombo(link, "cb005");
    AddRow(linkRows, cbPort, "Порт");
    AddRow(linkRows, edAddr, "Адрес");
    AddRow(linkRows, edSpeed, "Скорость", "бит/с");
    AddRow(linkRows, cb005, "Канальный протокол");
    linkRows->setColumnStretch(3, 1);
    column->addWidget(link);

    paPort = new QWidget(this);
    paPort->setObjectName("paPort");
    auto* serial = new QGridLayout(paPort);
    serial->setContentsMargins(0, 0, 0, 0);
    cb068_1 = NewCombo(paPort, "cb068_1");
    cb068_2 = NewCombo(paPort, "cb068_2");
    cb068_3 = NewCombo(paPort, "cb068_3");
    ed006 = NewSpin(paPort, "ed006");
    AddRow(serial, cb068_1, "Биты данных");
    AddRow(serial, cb068_2, "Четность");
    AddRow(serial, cb068_3, "Стоповые биты");
    AddRow(serial, ed006, "Межбайтный интервал", "мс");
    serial->setColumnStretch(3, 1);
    column->addWidget(paPort);

    paRole = new QWidget(this);
    paRole->setObjectName("paRole");
    (new QVBoxLayout(paRole))->setContentsMargins(0, 0, 0, 0);
    column->addWidget(paRole);
    paProtocol = new QWidget(this);
    paProtocol->setObjectName("paProtocol");
    (new QVBoxLayout(paProtocol))->setContentsMargins(0, 0, 0, 0);
    column->addWidget(paProtocol);
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
    BindControlTo(cbPort, "002", device_);
    BindControls({edAddr, edSpeed, cb005, ed006, cb068_1, cb068_2, cb068_3},
                 {"000", "001", "005", "006", "068_1", "068_2", "068_3"});
    TParamFrame::Load(list);
    FollowPort();
    SetChangeHandler(cbPort, [this](const void*) { FollowPort(); });
    CreateProtocolFrames();
}

void TfrDevice::FollowPort()
{
    // The settings of every port follow the first one's mode; documents whose ports
    // keep the mode each choose the record of the stored port number here.
    portList_ = document_ ? dynamic_cast<TFieldLst*>(document_->FindField("UART0")) : nullptr;
}

void TfrDevice::Host(QWidget* panel, TParamFrame* page)
{
    if (!page) {
        panel->setFixedHeight(0);
        return;
    }
    page->setParent(panel);
    panel->layout()->addWidget(page);
    page->resize(panel->width() > 0 ? panel->width() : page->sizeHint().width(), page->sizeHint().height());
    page->show();
}

void TfrDevice::CreateProtocolFrames()
{
    delete roleFrame_.data();
    delete protocolFrame_.data();

    const int role = device_->RoleField()->GetValue().ToInt32();
    if (RolePageOf(role) == TRolePage::PUdpNone)
        roleFrame_ = MakeFrame<TfrPUdpNone>(Tree, device_, paRole);
    else
        roleFrame_ = MakeFrame<TfrKPdpNone>(Tree, device_, paRole);
    Host(paRole, roleFrame_);

    protocolFrame_ = CreateProtocolPage(ProtocolPageOf(device_->ActiveProtocolIndex(), role), Tree, device_, paProtocol);
    Host(paProtocol, protocolFrame_);
    FitHeight();
}

void TfrDevice::FitHeight()
{
    const auto fit = [](QWidget* panel, TParamFrame* page) {
        if (!page) {
            panel->setFixedHeight(0);
            return;
        }
        page->FitHeight();
        panel->setFixedHeight(page->height());
    };
    fit(paRole, roleFrame_);
    fit(paProtocol, protocolFrame_);
    TParamFrame::FitHeight();
}

void TfrDevice::RefreshAll()
{
    TParamFrame::RefreshAll();
    if (roleFrame_) roleFrame_->RefreshAll();
    if (protocolFrame_) protocolFrame_->RefreshAll();
}

void TfrDevice::UpdateControls()
{
    std::optional<int> port;
    if (cbPort->currentIndex() >= 0) port = cbPort->currentData().toInt();
    const bool shown = SerialPanelShown(document_, portList_, port);
    if (paPort->isHidden() == shown) paPort->setVisible(shown);
    UpdateNodeCaption();
    if (roleFrame_) roleFrame_->UpdateControls();
    if (protocolFrame_) protocolFrame_->UpdateControls();
}

void TfrDevice::UpdateNodeCaption()
{
    if (!node_ || !node_->Tree()) return;
    std::string caption = device_->DeviceCaption();
    if (caption != node_->Caption()) node_->Tree()->SetCaption(node_, std::move(caption));
}
