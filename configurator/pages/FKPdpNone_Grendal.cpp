#include "configurator/pages/FKPdpNone_Grendal.h"

#include "configurator/widgets/ParamControls.h"

namespace {

// Below the poll settings of the Pelvar page.
const TPageRow kOwnRows[] = {
    {.Panel = "paValues", .Name = "ed055", .Kind = TControlKind::SpinEdit, .Key = "055",
     .Caption = "Задержка начала передачи", .Unit = "мс", .Minimum = 0, .Maximum = 65535},
};

const std::vector<TPageRow> kRows = JoinRows({TfrKPdpNone_Hask1::Rows(), kOwnRows});

} // namespace

const TPageTable TfrKPdpNone_Grendal::Table{"TfrKPdpNone_Grendal", TfrKPdpNone_Hask1::Panels(), kRows};

TfrKPdpNone_Grendal::TfrKPdpNone_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrKPdpNone_Hask1(tree, device, TDeviceFamily::Grendal, Table, parent)
{
    ed055 = Control<TSpinEdit>("ed055");
}
