#include "configurator/pages/FKPMKT2.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/Format.h"

#include <QComboBox>

#include <string>
#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paWords", .Kind = TPanelKind::Panel},
    {.Name = "gbMask", .Kind = TPanelKind::Group, .Title = "Маска каналов", .Columns = 6},
};

// The key of word n: its kind lies in the word "009" for words 1 .. 16, in "010" after.
std::string WordKey(int n) { return platform::Format(n <= 16 ? "009_mkt2_%.2d" : "010_mkt2_%.2d", n); }

const TPageRow kHead[] = {
    {.Panel = "paWords", .Name = "cb011_mkt2_01", .Kind = K::ComboBox, .Key = "011_mkt2_01",
     .Caption = "Количество слов в цикле"},
};

const std::vector<TPageRow> kRows = CycleWordRows(kHead, "gbMask", TfrKPMKT2::Words, WordKey);

} // namespace

const TPageTable TfrKPMKT2::Table{"TfrKPMKT2", kPanels, kRows};

TfrKPMKT2::TfrKPMKT2(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPMKT2, Table, parent)
{
    cb011_mkt2_01 = Control<QComboBox>("cb011_mkt2_01");
    rgWords = Controls().Run<TRadioGroup, Words>([](int n) { return "rg" + WordKey(n); });
}
