#include "configurator/pages/FPUdpNone_Hask1.h"

#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "gbMode", .Kind = TPanelKind::Group, .Title = "Режим работы"},
    {.Name = "gbIEC", .Kind = TPanelKind::Group, .Title = "Формирование признака достоверности для МЭК"},
};

const TPageRow kRows[] = {
    {.Panel = "gbMode", .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
    {.Panel = "gbMode", .Name = "ch019", .Kind = K::CheckBox, .Key = "019",
     .Caption = "Останавливать работу при пропадании связи с КП"},
    {.Panel = "gbIEC", .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = "gbIEC", .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
};

} // namespace

const TPageTable TfrPUdpNone_Hask1::Table{"TfrPUdpNone_Hask1", kPanels, kRows};

TfrPUdpNone_Hask1::TfrPUdpNone_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrPUdpNone_Hask1(tree, device, TDeviceFamily::Hask, parent)
{
}

TfrPUdpNone_Hask1::TfrPUdpNone_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family, QWidget* parent)
    : TFamilyRoleFrame(tree, device, family, TFamilyRolePage::PUdpNone, Table, parent)
{
    gbMode = Control<QGroupBox>("gbMode");
    rg013 = Control<TRadioGroup>("rg013");
    ch019 = Control<QCheckBox>("ch019");
    gbIEC = Control<QGroupBox>("gbIEC");
    ch020 = Control<QCheckBox>("ch020");
    ch021 = Control<QCheckBox>("ch021");
    gbIEC->hide();
}
