#include "configurator/pages/FDeviceGrendal.h"

#include "configurator/pages/FKPdpNone_Grendal.h"
#include "configurator/pages/FPUIEC_Grendal.h"
#include "configurator/pages/FPUdpNone_Grendal.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paLink", .Kind = TPanelKind::Panel},
    // The serial and the Ethernet settings side by side; one of them is hidden.
    {.Name = "paPort", .Kind = TPanelKind::Row},
    {.Name = "paPortCOM", .Kind = TPanelKind::Panel, .Parent = "paPort"},
    {.Name = "paPortETH", .Kind = TPanelKind::Panel, .Parent = "paPort"},
};

// The unit's "c" is a Latin letter.
const TPageRow kSerialRows[] = {
    {.Panel = "paPortCOM", .Name = "edSpeed", .Kind = K::SpinEdit, .Key = "001", .Caption = "Скорость",
     .Unit = "бит/c"},
    {.Panel = "paPortCOM", .Name = "cb068_1", .Kind = K::ComboBox, .Key = "068_1", .Caption = "Биты данных"},
    {.Panel = "paPortCOM", .Name = "cb068_2", .Kind = K::ComboBox, .Key = "068_2", .Caption = "Четность"},
    {.Panel = "paPortCOM", .Name = "cb068_3", .Kind = K::ComboBox, .Key = "068_3", .Caption = "Стоповые биты"},
};

const std::vector<TPageRow> kRows = FamilyDeviceRows("paPortETH", kSerialRows);

} // namespace

const TPageTable TfrDeviceGrendal::Table{"TfrDeviceGrendal", kPanels, kRows};

TfrDeviceGrendal::TfrDeviceGrendal(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device,
                                   const TFrameRegistry* pages, QWidget* parent)
    : TFamilyDevicePage(tree, devicesGroup, device, pages, TDeviceFamily::Grendal, Table, parent)
{
    setObjectName("frDeviceGrendal");
    paPortCOM = Control("paPortCOM");
    edSpeed = Control<TSpinEdit>("edSpeed");
    cb068_1 = Control<QComboBox>("cb068_1");
    cb068_2 = Control<QComboBox>("cb068_2");
    cb068_3 = Control<QComboBox>("cb068_3");
    paPortETH = Control("paPortETH");
    paPortETH->hide();
}

void TfrDeviceGrendal::FillLists()
{
    TFamilyDevicePage::FillLists();
    FillCombo(cb068_1, DataBitsItems());
    FillCombo(cb068_2, ParityItems());
    FillCombo(cb068_3, StopBitsItems());
}

bool TfrDeviceGrendal::UpdatePortPanel()
{
    const bool serial = GrendalPortPanelOf(Device()->PortField()->GetValue().ToInt32()) == TGrendalPortPanel::Serial;
    const bool serialChanged = ShowChanged(paPortCOM, serial);
    const bool ethernetChanged = ShowChanged(paPortETH, !serial);
    return serialChanged || ethernetChanged;
}

TParamFrame* TfrDeviceGrendal::MakeRolePage(TFamilyRolePage page, QWidget* host)
{
    return MakeRolePageOf<TfrKPdpNone_Grendal, TfrPUdpNone_Grendal, TfrPUIEC_Grendal>(page, host);
}
