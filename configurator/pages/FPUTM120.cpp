#include "configurator/pages/FPUTM120.h"

#include "configurator/pages/ServiceAddressEdits.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paService", .Kind = TPanelKind::Panel},
    {.Name = "gbServiceAddress", .Kind = TPanelKind::Group, .Title = "Назначение серв. ТУ1 - ТУ Компас"},
};

const TPageRow kRows[] = {
    {.Panel = "paService", .Name = "cbServiceCmd", .Kind = K::ComboBox, .Key = "BindTUTM120_CmdTU",
     .Caption = "Сервисная команда"},
    {.Panel = "paService", .Name = "seAFBServTU", .Kind = K::SpinEdit, .Key = nullptr, .Caption = "АФБ сервисного ТУ",
     .Minimum = 1, .Maximum = 15},
    ServiceAddressRows[0],
    ServiceAddressRows[1],
    ServiceAddressRows[2],
    {.Panel = nullptr, .Name = "chReqInvalidTIT", .Kind = K::CheckBox, .Key = "ReqInvalidTIT",
     .Caption = "Отвечать на запрос ТИТ(при недостоверности)"},
};

} // namespace

const TPageTable TFrPUTM120::Table{"TFrPUTM120", kPanels, kRows};

TFrPUTM120::TFrPUTM120(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::PUTM120, Table, parent)
{
    cbServiceCmd = Control<QComboBox>("cbServiceCmd");
    seAFBServTU = Control<TSpinEdit>("seAFBServTU");
    gbServiceAddress = Control<QGroupBox>("gbServiceAddress");
    seServiceBlock = Control<TSpinEdit>("seServiceBlock");
    seServiceGroup = Control<TSpinEdit>("seServiceGroup");
    seServiceObject = Control<TSpinEdit>("seServiceObject");
    chReqInvalidTIT = Control<QCheckBox>("chReqInvalidTIT");
    seAFBServTU->setEnabled(false);
    Control("lbAFBServTU")->setEnabled(false);
    address_ = new TServiceAddressEdits(seServiceBlock, seServiceGroup, seServiceObject, this);
}

TField* TFrPUTM120::AddressField() const { return dynamic_cast<TField*>(Device()->FindField("AdrServiceCmdTM120")); }

void TFrPUTM120::Load(TFieldLst* list)
{
    address_->Show(AddressField());
    TProtocolFrame::Load(list);
}

void TFrPUTM120::RefreshAll()
{
    TProtocolFrame::RefreshAll();
    address_->Show(AddressField());
}
