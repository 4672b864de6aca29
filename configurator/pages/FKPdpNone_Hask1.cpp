#include "configurator/pages/FKPdpNone_Hask1.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
    {.Name = "gbIEC", .Kind = TPanelKind::Group, .Title = "Формирование признака достоверности для МЭК"},
};

const TPageRow kEncoding[] = {
    {.Panel = nullptr, .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
};

const TPageRow kFlags[] = {
    {.Panel = nullptr, .Name = "ch012", .Kind = K::CheckBox, .Key = "012", .Caption = "Прослушивание"},
    {.Panel = "gbIEC", .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = "gbIEC", .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
};

const std::vector<TPageRow> kRows = TfrKPdpNone_Hask1::Rows();

} // namespace

const TPageTable TfrKPdpNone_Hask1::Table{"TfrKPdpNone_Hask1", kPanels, kRows};

std::span<const TPagePanel> TfrKPdpNone_Hask1::Panels() { return kPanels; }

std::vector<TPageRow> TfrKPdpNone_Hask1::Rows() { return JoinRows({kEncoding, PollSettingRows(), kFlags}); }

TfrKPdpNone_Hask1::TfrKPdpNone_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrKPdpNone_Hask1(tree, device, TDeviceFamily::Hask, Table, parent)
{
}

TfrKPdpNone_Hask1::TfrKPdpNone_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family,
                                     const TPageTable& table, QWidget* parent)
    : TFamilyRoleFrame(tree, device, family, TFamilyRolePage::KPdpNone, table, parent)
{
    rg013 = Control<TRadioGroup>("rg013");
    TPollSettingControls::Take(Controls());
    ch012 = Control<QCheckBox>("ch012");
    gbIEC = Control<QGroupBox>("gbIEC");
    ch020 = Control<QCheckBox>("ch020");
    ch021 = Control<QCheckBox>("ch021");
    gbIEC->hide();
}
