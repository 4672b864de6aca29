#include "configurator/pages/FKPSirius_2V.h"

#include <QCheckBox>
#include <QComboBox>

#include <optional>
#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paType", .Kind = TPanelKind::Panel},
    {.Name = "paTIT", .Kind = TPanelKind::Panel, .Columns = 4},
    {.Name = "paTS", .Kind = TPanelKind::Panel, .Columns = 2},
};

// After the head, in the order the block is bound. The type rule captions cbTS_LedGuard,
// cbTS_SIG_1MTZ and cbTS_SIG_2MTZ.
const TPageRow kOwnRows[] = {
    {.Panel = "paTS", .Name = "cbTS_LedGuard", .Kind = K::CheckBox, .Key = "ParamTS_LedGuard",
     .Caption = "Led Сраб. защиты"},
    {.Panel = "paTS", .Name = "cbTS_RPV", .Kind = K::CheckBox, .Key = "ParamTS_RPV", .Caption = "РПВ"},
    {.Panel = "paTS", .Name = "cbTS_RPO", .Kind = K::CheckBox, .Key = "ParamTS_RPO", .Caption = "РПО"},
    {.Panel = "paTS", .Name = "cbTS_SIG_1MTZ", .Kind = K::CheckBox, .Key = "ParamTS_SIG_1MTZ",
     .Caption = "Сраб. 1ст. МТЗ"},
    {.Panel = "paTS", .Name = "cbTS_SIG_2MTZ", .Kind = K::CheckBox, .Key = "ParamTS_SIG_2MTZ",
     .Caption = "Сраб. 2ст. МТЗ"},
    {.Panel = "paTS", .Name = "cbTS_OZZ", .Kind = K::CheckBox, .Key = "ParamTS_OZZ", .Caption = "ОЗЗ на откл."},
    {.Panel = "paTS", .Name = "chTS_SwitchState", .Kind = K::CheckBox, .Key = "ParamTS_SwitchState",
     .Caption = "Состояние переключателя"},
};

const std::vector<TPageRow> kRows = TfrRelayProtection::Rows("paTIT", kOwnRows);

} // namespace

const TPageTable TFrKPSirius_2V::Table{"TFrKPSirius_2V", kPanels, kRows};

TFrKPSirius_2V::TFrKPSirius_2V(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrRelayProtection(tree, device, TProtocolPage::KPSirius_2V, Table, parent)
{
    cbTS_LedGuard = Control<QCheckBox>("cbTS_LedGuard");
    cbTS_RPV = Control<QCheckBox>("cbTS_RPV");
    cbTS_RPO = Control<QCheckBox>("cbTS_RPO");
    cbTS_SIG_1MTZ = Control<QCheckBox>("cbTS_SIG_1MTZ");
    cbTS_SIG_2MTZ = Control<QCheckBox>("cbTS_SIG_2MTZ");
    cbTS_OZZ = Control<QCheckBox>("cbTS_OZZ");
    chTS_SwitchState = Control<QCheckBox>("chTS_SwitchState");
}

void TFrKPSirius_2V::ApplyType()
{
    std::optional<int> type;
    if (cbDevType->currentIndex() >= 0) type = cbDevType->currentData().toInt();
    const TSiriusLayout layout = SiriusLayoutOf(type);
    for (const char* name : SiriusVoltageControls()) {
        auto* box = Control<QCheckBox>(name);
        if (layout.UntickVoltage) box->setChecked(false);
        box->setVisible(layout.VoltageShown);
    }
    for (const TControlCaption& c : layout.Captions) SetCaption(Control(c.Control), c.Caption);
}
