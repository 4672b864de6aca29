#include "configurator/pages/FKPMKT1.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/Format.h"

#include <QComboBox>
#include <QGroupBox>

#include <optional>
#include <string>
#include <vector>

namespace {

using K = TControlKind;

// Five words to a line: words 6 to 10 fill the second line, which goes with them.
constexpr TPagePanel kPanels[] = {
    {.Name = "paWords", .Kind = TPanelKind::Panel},
    {.Name = "gbWords", .Kind = TPanelKind::Group, .Title = "Определение информационных слов", .Columns = 5},
};

std::string WordKey(int n) { return platform::Format("26_%.2d", n); }

const TPageRow kHead[] = {
    {.Panel = "paWords", .Name = "cb2601", .Kind = K::ComboBox, .Key = "2601", .Caption = "Количество слов в цикле"},
};

const std::vector<TPageRow> kRows = CycleWordRows(kHead, "gbWords", MKT1Words, WordKey);

} // namespace

const TPageTable TfrKPMKT1::Table{"TfrKPMKT1", kPanels, kRows};

TfrKPMKT1::TfrKPMKT1(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPMKT1, Table, parent)
{
    cb2601 = Control<QComboBox>("cb2601");
    gbWords = Control<QGroupBox>("gbWords");
    rgWords = Controls().Run<TRadioGroup, MKT1Words>([](int n) { return "rg" + WordKey(n); });
}

void TfrKPMKT1::UpdateControls()
{
    std::optional<int> words;
    if (cb2601->currentIndex() >= 0) words = cb2601->currentData().toInt();
    for (int n = 1; n <= MKT1Words; ++n) SetShown(rgWords[static_cast<size_t>(n - 1)], MKT1WordShown(n, words));
}
