#include "configurator/pages/FPUIEC_Grendal.h"

#include "configurator/widgets/ParamControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

const TPageRow kHead[] = {
    {.Panel = nullptr, .Name = "rg073", .Kind = K::RadioGroup, .Key = "073", .Items = {"МЭК 101", "МЭК 104"}},
};

// Below the ASDU types, and below the flags.
const TPageRow kTail[] = {
    {.Panel = "paAsdu", .Name = "ed055", .Kind = K::SpinEdit, .Key = "055", .Caption = "Задержка начала передачи",
     .Unit = "мс", .Minimum = 0, .Maximum = 65535},
    {.Panel = nullptr, .Name = "ch078", .Kind = K::CheckBox, .Key = "078",
     .Caption = "Непрерывная выдача данных на запрос класса 2"},
};

const std::vector<TPageRow> kRows = JoinRows({kHead, TfrPUIEC_Hask1::Rows(), kTail});

} // namespace

const TPageTable TfrPUIEC_Grendal::Table{"TfrPUIEC_Grendal", TfrPUIEC_Hask1::Panels(), kRows};

TfrPUIEC_Grendal::TfrPUIEC_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrPUIEC_Hask1(tree, device, TDeviceFamily::Grendal, Table, parent)
{
    rg073 = Control<TRadioGroup>("rg073");
    ed055 = Control<TSpinEdit>("ed055");
    ch078 = Control<QCheckBox>("ch078");
    ch019->hide();
    variant_.emplace(*this,
                     TIecVariantSwitch::TControls{.Variant = rg073,
                                                  .Sizes = {cb061, cb062, cb063, cb064},
                                                  .Timeouts = gbTimeouts,
                                                  .Window = gbWindow,
                                                  .LinkAddress = {cb062, Control("lb062")},
                                                  .Class2 = ch078},
                     false);
}

void TfrPUIEC_Grendal::Load(TFieldLst* list)
{
    TfrPUIEC_Hask1::Load(list);
    variant_->Hook();
}

void TfrPUIEC_Grendal::UpdateControls()
{
    variant_->Update();
}

void TfrPUIEC_Grendal::RefreshAll()
{
    variant_->RefreshQuietly([this] { TfrPUIEC_Hask1::RefreshAll(); });
}
