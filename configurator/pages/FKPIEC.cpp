#include "configurator/pages/FKPIEC.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include <vector>

namespace {

using K = TControlKind;

// The maximum frame size below the timing.
const TPageRow kFrameSize[] = {
    {.Panel = "paValues", .Name = "seMaxFrameSize", .Kind = K::SpinEdit, .Key = "101", .Caption = "Макс. размер кадра",
     .Unit = "байт", .Minimum = 0, .Maximum = 255},
};

const TPageRow kTail[] = {
    {.Panel = nullptr, .Name = "ch0106", .Kind = K::CheckBox, .Key = "0106",
     .Caption = "Игнорировать данные в состоянии IV "},
    // Check boxes on the device record's 1-bit fields, whatever their prefix says.
    {.Panel = nullptr, .Name = "cbBroadCastSetTime", .Kind = K::CheckBox, .Key = "051",
     .Caption = "Поддержка широковещательных команд"},
    {.Panel = nullptr, .Name = "cbChannCheckBS", .Kind = K::CheckBox, .Key = "052",
     .Caption = "Разовая проверка перед началом передачи"},
    {.Panel = nullptr, .Name = "cbBalanceMode", .Kind = K::CheckBox, .Key = "053", .Caption = "Балансный режим"},
};

const std::vector<TPageRow> kRows = JoinRows({IecSizeRows("paSizes"), IecTimeoutRows(), IecPollRows(), kFrameSize,
                                              IecGroupPollRows(), IecCommandRows(), kTail});

} // namespace

const TPageTable TfrKPIEC::Table{"TfrKPIEC", IecPointPanels(), kRows};

TfrKPIEC::TfrKPIEC(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPIEC, Table, parent)
{
    TIecPointControls::Take(Controls());
    seMaxFrameSize = Control<TSpinEdit>("seMaxFrameSize");
    ch0106 = Control<QCheckBox>("ch0106");
    cbBroadCastSetTime = Control<QCheckBox>("cbBroadCastSetTime");
    cbChannCheckBS = Control<QCheckBox>("cbChannCheckBS");
    cbBalanceMode = Control<QCheckBox>("cbBalanceMode");
    OnValidate = TFieldValidateEvent::Of<&TfrKPIEC::Veto>(this);
}

void TfrKPIEC::Load(TFieldLst* list)
{
    TProtocolFrame::Load(list);
    const TIecPageLayout layout = IecPageLayoutOf(dynamic_cast<const TDocument*>(Device()->Parent), *Device());
    gbTimeouts->setVisible(layout.TimeoutGroupsShown);
    gbWindow->setVisible(layout.TimeoutGroupsShown);
    ch0106->setVisible(layout.IgnoreInvalidShown);
    // Greyed with its caption.
    cb062->setEnabled(layout.LinkAddressEnabled);
    Control("lb062")->setEnabled(layout.LinkAddressEnabled);
}

void TfrKPIEC::Veto(const void* sender, TField*, const Variant& value, TFieldLst*, bool& accept)
{
    if (sender == seMaxFrameSize && !MaxFrameSizeAccepted(value)) accept = false;
}
