#include "configurator/pages/FKPIEC_Grendal.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uHask1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include <vector>

namespace {

using K = TControlKind;

const TPageRow kVariant[] = {
    {.Panel = nullptr, .Name = "rg073", .Kind = K::RadioGroup, .Key = "073", .Items = {"МЭК 101", "МЭК 104"}},
};

const std::vector<TPageRow> kRows = JoinRows(
    {kVariant, IecSizeRows("paSizes"), IecTimeoutRows(), IecPollRows(), IecGroupPollRows(), IecCommandRows()});

} // namespace

const TPageTable TfrKPIEC_Grendal::Table{"TfrKPIEC_Grendal", IecPointPanels(), kRows};

TfrKPIEC_Grendal::TfrKPIEC_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPIEC_Grendal, Table, parent)
{
    rg073 = Control<TRadioGroup>("rg073");
    TIecPointControls::Take(Controls());
    // A Pelvar device would keep "Канальный адрес" disabled; only Tramel-5141 devices
    // reach this page.
    variant_.emplace(*this,
                     TIecVariantSwitch::TControls{.Variant = rg073,
                                                  .Sizes = {cb061, cb062, cb063, cb064},
                                                  .Timeouts = gbTimeouts,
                                                  .Window = gbWindow,
                                                  .LinkAddress = {cb062, Control("lb062")}},
                     dynamic_cast<const THask1Device*>(device) != nullptr);
}

void TfrKPIEC_Grendal::Load(TFieldLst* list)
{
    TProtocolFrame::Load(list);
    const bool timeouts = IecPageLayoutOf(dynamic_cast<const TDocument*>(Device()->Parent), *Device()).TimeoutGroupsShown;
    gbTimeouts->setVisible(timeouts);
    gbWindow->setVisible(timeouts);
    variant_->Hook();
}

void TfrKPIEC_Grendal::UpdateControls() { variant_->Update(); }

void TfrKPIEC_Grendal::RefreshAll()
{
    variant_->RefreshQuietly([this] { TProtocolFrame::RefreshAll(); });
}
