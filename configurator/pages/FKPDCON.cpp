#include "configurator/pages/FKPDCON.h"

#include "configurator/pages/ProtocolFrame.h"
#include "configurator/rules/ProtocolPageRules.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kRows[] = {
    {.Panel = "paValues", .Name = "cb0801", .Kind = K::ComboBox, .Key = "0801", .Caption = "Тип устройства"},
    {.Panel = "paValues", .Name = "ch0802", .Kind = K::CheckBox, .Key = "0802",
     .Caption = "Выдавать ТИТ без преобразования"},
    {.Panel = "paValues", .Name = "ed0803", .Kind = K::SpinEdit, .Key = "0803", .Caption = "Удерживать ТУ не менее",
     .Unit = "мс"},
    {.Panel = "paValues", .Name = "ed0806", .Kind = K::SpinEdit, .Key = "0806", .Caption = "Период опроса устройства"},
    {.Panel = "paValues", .Name = "cb0807", .Kind = K::ComboBox, .Key = "0807", .Beside = true},
};

constexpr int kMinimumWidth = 500;

} // namespace

const TPageTable TfrKPDCON::Table{"TfrKPDCON", kPanels, kRows};

TfrKPDCON::TfrKPDCON(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TGridFrame(tree, device, DconRelayGridSpec(), parent), device_(device),
      grendal_(device && IsGrendalDevice(*device))
{
    setObjectName("frKPDCON");

    // The five controls above the group that takes the grid.
    Column()->removeWidget(vtGrid);
    const TPageControls made = BuildPage(*this, *Column(), Table);
    cb0801 = made.Get<QComboBox>("cb0801");
    ch0802 = made.Get<QCheckBox>("ch0802");
    ed0803 = made.Get<TSpinEdit>("ed0803");
    lb0803 = made.Get<QLabel>("lb0803");
    lb0803Unit = made.Get<QLabel>("lb0803Unit");
    ed0806 = made.Get<TSpinEdit>("ed0806");
    cb0807 = made.Get<QComboBox>("cb0807");
    gbParamTU = NewGroup(this, "gbParamTU", QString::fromUtf8("Назначение каналов ТУ"));
    auto* box = new QVBoxLayout(gbParamTU);
    box->addWidget(vtGrid);
    Column()->addWidget(gbParamTU);
    Column()->addStretch(1);

    // Each column holds its caption; texts never widen them. Without scroll bars the
    // grid is as wide as its columns.
    QHeaderView* header = vtGrid->horizontalHeader();
    int width = 0;
    for (int c = 0; c < Spec().ColumnCount(); ++c) {
        if (c != tuNumber) header->resizeSection(c, std::max(header->sectionSize(c), header->sectionSizeHint(c)));
        width += header->sectionSize(c);
    }
    vtGrid->setMinimumWidth(width + 2 * vtGrid->frameWidth());
    setMinimumWidth(std::max(kMinimumWidth, Column()->minimumSize().width()));
}

void TfrKPDCON::FillLists()
{
    FillCombo(cb0801, DconModuleItems(grendal_));
    FillCombo(cb0807, PeriodUnitItems());
}

void TfrKPDCON::Load(TFieldLst* list)
{
    TGridFrame::Load(list);
    // The page takes its first height with the table shown or hidden as it will be.
    UpdateControls();
}

std::vector<TGridRow> TfrKPDCON::GridRows() { return DconRelayRows(device_ ? device_->ActiveProtocol() : nullptr); }

void TfrKPDCON::UpdateControls()
{
    std::optional<int> type;
    if (cb0801->currentIndex() >= 0) type = cb0801->currentData().toInt();
    const TDconControls controls = DconControlsOf(grendal_, type);
    for (QWidget* w : {static_cast<QWidget*>(ed0803), static_cast<QWidget*>(lb0803), static_cast<QWidget*>(lb0803Unit)})
        w->setEnabled(controls.HoldTimeEnabled);
    ch0802->setEnabled(controls.RawTitEnabled);
    SetShown(gbParamTU, controls.RelayTableShown);
}
