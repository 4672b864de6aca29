#include "configurator/pages/FPUGranit.h"

#include "configurator/pages/ServiceAddressEdits.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paService", .Kind = TPanelKind::Panel},
    {.Name = "paTimeout", .Kind = TPanelKind::Panel},
    {.Name = "gbCyclic", .Kind = TPanelKind::Group, .Title = "Циклическая выдача"},
    {.Name = "paCommand", .Kind = TPanelKind::Panel},
    {.Name = "gbServiceAddress", .Kind = TPanelKind::Group, .Title = "Назначение серв. ТУ1 - ТУ Гранит"},
};

// cbServiceCmd and the address edits have no key: Load binds the combo by the
// document's family, the edits show the address byte unbound. "номер" stands after
// cbServiceCmd as its unit.
const TPageRow kRows[] = {
    {.Panel = "paService", .Name = "seAFBServTU", .Kind = K::SpinEdit, .Key = "AFBServTU",
     .Caption = "АФБ сервисного ТУ"},
    {.Panel = nullptr, .Name = "chReqInvalidTS", .Kind = K::CheckBox, .Key = "ReqInvalidTS",
     .Caption = "Отвечать на запрос ТС(при недостоверности)"},
    {.Panel = nullptr, .Name = "chReqInvalidTIT", .Kind = K::CheckBox, .Key = "ReqInvalidTIT",
     .Caption = "Отвечать на запрос ТИТ(при недостоверности)"},
    {.Panel = "paTimeout", .Name = "seTU_ExecTimeout", .Kind = K::SpinEdit, .Key = "PU_TU_ExecTimeout",
     .Caption = "Таймаут ожидания ТУ (с.)"},
    {.Panel = nullptr, .Name = "cb0901", .Kind = K::ComboBox, .Key = "0901"},
    {.Panel = nullptr, .Name = "ed0909", .Kind = K::SpinEdit, .Key = "0909"},
    {.Panel = "gbCyclic", .Name = "ed0907", .Kind = K::SpinEdit, .Key = "0907", .Caption = "Период выдачи ТС",
     .Unit = "с"},
    {.Panel = "gbCyclic", .Name = "ed0908", .Kind = K::SpinEdit, .Key = "0908", .Caption = "Период выдачи ТИТ",
     .Unit = "с"},
    {.Panel = "paCommand", .Name = "cbServiceCmd", .Kind = K::ComboBox, .Key = nullptr,
     .Caption = "Сервисная команда", .Unit = "номер"},
    ServiceAddressRows[0],
    ServiceAddressRows[1],
    ServiceAddressRows[2],
};

} // namespace

const TPageTable TFrPUGranit::Table{"TFrPUGranit", kPanels, kRows};

TFrPUGranit::TFrPUGranit(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TGranitFrame(tree, device, TProtocolPage::PUGranit, Table, {"cbServiceCmd", "cbServiceCmd", {"lbServiceCmdUnit"}},
                   parent)
{
    seAFBServTU = Control<TSpinEdit>("seAFBServTU");
    chReqInvalidTS = Control<QCheckBox>("chReqInvalidTS");
    chReqInvalidTIT = Control<QCheckBox>("chReqInvalidTIT");
    seTU_ExecTimeout = Control<TSpinEdit>("seTU_ExecTimeout");
    cb0901 = Control<QComboBox>("cb0901");
    ed0909 = Control<TSpinEdit>("ed0909");
    gbCyclic = Control<QGroupBox>("gbCyclic");
    ed0907 = Control<TSpinEdit>("ed0907");
    ed0908 = Control<TSpinEdit>("ed0908");
    cbServiceCmd = Control<QComboBox>("cbServiceCmd");
    gbServiceAddress = Control<QGroupBox>("gbServiceAddress");
    seServiceBlock = Control<TSpinEdit>("seServiceBlock");
    seServiceGroup = Control<TSpinEdit>("seServiceGroup");
    seServiceObject = Control<TSpinEdit>("seServiceObject");
    cb0901->hide();
    ed0909->hide();
    // The time-out goes below the address group.
    QWidget* timeout = Control("paTimeout");
    Column()->removeWidget(timeout);
    Column()->insertWidget(Column()->indexOf(gbServiceAddress) + 1, timeout);
    address_ = new TServiceAddressEdits(seServiceBlock, seServiceGroup, seServiceObject, this);
}

TField* TFrPUGranit::AddressField() const
{
    return dynamic_cast<TField*>(Device()->FindField("AdrServiceCmdGranit"));
}

void TFrPUGranit::FillLists()
{
    TGranitFrame::FillLists();
    PlaceGrid(gbServiceAddress, {gbCyclic, gbServiceAddress});
}

void TFrPUGranit::Load(TFieldLst* list)
{
    LoadFamily();
    address_->Show(AddressField());
    TGranitFrame::Load(list);
    // The address byte after their own store.
    SetChangeHandler(seAFBServTU, [this](const void*) { address_->Store(); });
    SetChangeHandler(seTU_ExecTimeout, [this](const void*) { address_->Store(); });
    ShowCells();
}

void TFrPUGranit::RefreshAll()
{
    // The edits first: a value of seAFBServTU or seTU_ExecTimeout changed behind the
    // page stores the byte the edits show, which must be the field's by then.
    address_->Show(AddressField());
    TGranitFrame::RefreshAll();
}
