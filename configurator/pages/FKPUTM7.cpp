#include "configurator/pages/FKPUTM7.h"

#include "configurator/widgets/ParamControls.h"
#include "platform/Format.h"

#include <QCheckBox>

#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paMessages", .Kind = TPanelKind::Panel},
};

const TPageRow kHead[] = {
    {.Panel = nullptr, .Name = "ch2302", .Kind = K::CheckBox, .Key = "2302",
     .Caption = "Изменение знака ТИ при приёме и выдачи в канале связи"},
};

// Message n in two rows: the address or group, its kind beside it.
std::vector<TPageRow> MakeRows()
{
    std::vector<TPageRow> rows(std::begin(kHead), std::end(kHead));
    for (int n = 1; n <= UTM7Messages; ++n) {
        const TUTM7MessageKeys keys = UTM7MessageKeys(n);
        rows.push_back({.Panel = "paMessages", .Name = KeptText("ed" + keys.Address), .Kind = K::SpinEdit,
                        .Key = KeptText(keys.Address),
                        .Caption = KeptText(platform::Format("Информационное сообщение %d:    Адрес/Группа", n))});
        rows.push_back({.Panel = "paMessages", .Name = KeptText("rg" + keys.Kind), .Kind = K::RadioGroup,
                        .Key = KeptText(keys.Kind), .Items = TsTitItems(), .Beside = true});
    }
    return rows;
}

const std::vector<TPageRow> kRows = MakeRows();

} // namespace

const TPageTable TfrKPUTM7::Table{"TfrKPUTM7", kPanels, kRows};

TfrKPUTM7::TfrKPUTM7(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPUTM7, Table, parent)
{
    ch2302 = Control<QCheckBox>("ch2302");
    for (int n = 1; n <= UTM7Messages; ++n) {
        const TUTM7MessageKeys keys = UTM7MessageKeys(n);
        const auto i = static_cast<size_t>(n - 1);
        edAddress[i] = Control<TSpinEdit>(("ed" + keys.Address).c_str());
        rgKind[i] = Control<TRadioGroup>(("rg" + keys.Kind).c_str());
    }
}
