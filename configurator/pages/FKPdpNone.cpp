#include "configurator/pages/FKPdpNone.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kEncoding[] = {
    {.Panel = nullptr, .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
};

// The start delay below the poll settings, then the flags.
const TPageRow kTail[] = {
    {.Panel = "paValues", .Name = "ed055", .Kind = K::SpinEdit, .Key = "055", .Caption = "Задержка начала передачи",
     .Unit = "мс", .Minimum = 0, .Maximum = 65535},
    {.Panel = nullptr, .Name = "ch012", .Kind = K::CheckBox, .Key = "012", .Caption = "Прослушивание"},
    {.Panel = nullptr, .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = nullptr, .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
};

const std::vector<TPageRow> kRows = JoinRows({kEncoding, PollSettingRows(), kTail});

} // namespace

const TPageTable TfrKPdpNone::Table{"TfrKPdpNone", kPanels, kRows};

TfrKPdpNone::TfrKPdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TParamFrame(tree, device, parent)
{
    setObjectName("frKPdpNone");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const TPageControls c = BuildPage(*this, *column, Table);
    column->addStretch(1);

    rg013 = c.Get<TRadioGroup>("rg013");
    TPollSettingControls::Take(c);
    ed055 = c.Get<TSpinEdit>("ed055");
    ch012 = c.Get<QCheckBox>("ch012");
    ch020 = c.Get<QCheckBox>("ch020");
    ch021 = c.Get<QCheckBox>("ch021");
}
