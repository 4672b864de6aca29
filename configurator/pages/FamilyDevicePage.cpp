#include "configurator/pages/FamilyDevicePage.h"

#include "configurator/pages/DeviceNode.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>
#include <QVBoxLayout>

std::vector<TPageRow> FamilyDeviceRows(const char* ethernetPanel, std::span<const TPageRow> serialRows)
{
    using K = TControlKind;
    const TPageRow link[] = {
        {.Panel = "paLink", .Name = "cbPort", .Kind = K::ComboBox, .Key = "002", .Caption = "Стык"},
        {.Panel = "paLink", .Name = "edAddr", .Kind = K::SpinEdit, .Key = "000", .Caption = "Адрес", .Minimum = 0,
         .Maximum = 65535},
    };
    const TPageRow ethernet[] = {
        {.Panel = ethernetPanel, .Name = "ed003", .Kind = K::IPv4Edit, .Key = "003", .Caption = "IP"},
        {.Panel = ethernetPanel, .Name = "ed007", .Kind = K::SpinEdit, .Key = "007", .Caption = "Порт"},
        {.Panel = ethernetPanel, .Name = "rg022", .Kind = K::RadioGroup, .Key = "022", .Items = {"Клиент", "Сервер"}},
        {.Panel = ethernetPanel, .Name = "rg024", .Kind = K::RadioGroup, .Key = "024", .Items = {"TCP", "UDP"}},
    };
    return JoinRows({link, serialRows, ethernet});
}

TFamilyDevicePage::TFamilyDevicePage(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device,
                                     const TFrameRegistry* pages, TDeviceFamily family, const TPageTable& table,
                                     QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device), document_(dynamic_cast<TDocument*>(device->Parent)),
      pages_(pages), family_(family), node_(FindDeviceNode(devicesGroup, device))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    made_ = BuildPage(*this, *column, table);
    cbPort = Control<QComboBox>("cbPort");
    edAddr = Control<TSpinEdit>("edAddr");
    paPort = Control("paPort");
    ed003 = Control<TIPAddressEdit>("ed003");
    ed007 = Control<TSpinEdit>("ed007");
    rg022 = Control<TRadioGroup>("rg022");
    rg024 = Control<TRadioGroup>("rg024");

    // The protocol page, with the role page directly below it.
    paProtocol = new QWidget(this);
    paProtocol->setObjectName("paProtocol");
    column->addWidget(paProtocol);
    protocolHost_.emplace(paProtocol);
    paMode = new QWidget(this);
    paMode->setObjectName("paMode");
    column->addWidget(paMode);
    roleHost_.emplace(paMode);
    column->addStretch(1);
}

void TFamilyDevicePage::FillLists()
{
    if (document_) FillCombo(cbPort, NamedPortItems(*document_));
}

void TFamilyDevicePage::Load(TFieldLst* list)
{
    TParamFrame::Load(list);
    // The port's settings as the next idle cycle would show them, so that the page is
    // fitted with them from the start.
    UpdatePortPanel();
    CreateProtocolFrames();
}

void TFamilyDevicePage::CreateProtocolFrames()
{
    protocolHost_->Free();
    roleHost_->Free();
    const TFamilyPages pages =
        FamilyPagesOf(family_, device_->ActiveProtocolIndex(), device_->RoleField()->GetValue().ToInt32());
    protocolHost_->Host(CreateHostedProtocolPage(pages_, pages.Protocol, *device_, Tree, paProtocol));
    roleHost_->Host(MakeRolePage(pages.Role, paMode));
    FitHeight();
}

void TFamilyDevicePage::FitHeight()
{
    protocolHost_->Fit();
    roleHost_->Fit();
    TParamFrame::FitHeight();
}

void TFamilyDevicePage::UpdateControls()
{
    const bool portChanged = UpdatePortPanel();
    UpdateDeviceNodeCaption(node_, *device_);
    if (TParamFrame* protocol = ProtocolFrame()) protocol->UpdateControls();
    if (TParamFrame* role = RoleFrame()) role->UpdateControls();
    // A panel or a group of a hosted page came or went: another height.
    const bool protocolChanged = protocolHost_->Refit();
    const bool roleChanged = roleHost_->Refit();
    if (portChanged || protocolChanged || roleChanged) TParamFrame::FitHeight();
}

void TFamilyDevicePage::RefreshAll()
{
    TParamFrame::RefreshAll();
    if (TParamFrame* role = RoleFrame()) role->RefreshAll();
    if (TParamFrame* protocol = ProtocolFrame()) protocol->RefreshAll();
}

bool TFamilyDevicePage::ShowChanged(QWidget* widget, bool shown)
{
    if (widget->isHidden() != shown) return false;
    widget->setVisible(shown);
    return true;
}
