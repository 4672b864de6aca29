#include "configurator/pages/FDevice_Hask1.h"

#include "configurator/pages/FKPdpNone_Hask1.h"
#include "configurator/pages/FPUIEC_Hask1.h"
#include "configurator/pages/FPUdpNone_Hask1.h"
#include "model/uZumo_Classes.h"

#include <QComboBox>

namespace {

constexpr TPagePanel kPanels[] = {
    {.Name = "paLink", .Kind = TPanelKind::Panel},
    {.Name = "paPort", .Kind = TPanelKind::Panel}, // the Ethernet settings
};

const std::vector<TPageRow> kRows = FamilyDeviceRows("paPort");

} // namespace

const TPageTable TfrDevice_Hask1::Table{"TfrDevice_Hask1", kPanels, kRows};

TfrDevice_Hask1::TfrDevice_Hask1(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device,
                                 const TFrameRegistry* pages, QWidget* parent)
    : TFamilyDevicePage(tree, devicesGroup, device, pages, TDeviceFamily::Hask, Table, parent)
{
    setObjectName("frDevice_Hask1");
    paPort->hide();
}

bool TfrDevice_Hask1::UpdatePortPanel()
{
    return ShowChanged(paPort, HaskEthernetShown(Document(), cbPort->currentIndex()));
}

TParamFrame* TfrDevice_Hask1::MakeRolePage(TFamilyRolePage page, QWidget* host)
{
    return MakeRolePageOf<TfrKPdpNone_Hask1, TfrPUdpNone_Hask1, TfrPUIEC_Hask1>(page, host);
}
