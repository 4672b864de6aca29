#include "configurator/pages/FPUIEC.h"

#include "configurator/rules/SharedPageRows.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QComboBox>

#include <vector>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paAsdu", .Kind = TPanelKind::Panel},
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

const TPageRow kEncoding[] = {
    {.Panel = nullptr, .Name = "rg013", .Kind = K::RadioGroup, .Key = "013", .Items = {"Binary Hex", "ASCII Hex"}},
};

// Between the ASDU types and the field sizes.
const TPageRow kTSDP[] = {
    {.Panel = "paAsdu", .Name = "cbTSDP_asdu", .Kind = K::ComboBox, .Key = "iec_dp_ts_asdu", .Caption = "ASDU ДПТС",
     .WhereDocumentHasIt = true},
};

const TPageRow kTail[] = {
    {.Panel = "paValues", .Name = "ed055", .Kind = K::SpinEdit, .Key = "055", .Caption = "Задержка начала передачи",
     .Unit = "мс", .Minimum = 0, .Maximum = 65535},
    {.Panel = "paValues", .Name = "seMaxFrameSize", .Kind = K::SpinEdit, .Key = "101", .Caption = "Макс. размер кадра",
     .Unit = "байт", .Minimum = 0, .Maximum = 255},
    {.Panel = "paValues", .Name = "seSyncTime", .Kind = K::SpinEdit, .Key = "056_2",
     .Caption = "Период синхронизации времени", .Unit = "мин.", .Minimum = 0, .Maximum = 59,
     .WhereDocumentHasIt = true},
    {.Panel = nullptr, .Name = "ch019", .Kind = K::CheckBox, .Key = "019",
     .Caption = "Останавливать работу при пропадании связи с КП"},
    {.Panel = nullptr, .Name = "ch020", .Kind = K::CheckBox, .Key = "020", .Caption = "Признак достоверности IV"},
    {.Panel = nullptr, .Name = "ch021", .Kind = K::CheckBox, .Key = "021", .Caption = "Признак достоверности NT"},
    {.Panel = nullptr, .Name = "ch074", .Kind = K::CheckBox, .Key = "074", .Caption = "Полный опрос со временем"},
    {.Panel = nullptr, .Name = "ch075", .Kind = K::CheckBox, .Key = "075", .Caption = "Двухступенчатая команда ТУ"},
    {.Panel = nullptr, .Name = "ch078", .Kind = K::CheckBox, .Key = "078",
     .Caption = "Непрерывная выдача данных на запрос класса 2"},
    {.Panel = nullptr, .Name = "ch079", .Kind = K::CheckBox, .Key = "079",
     .Caption = "Игнорировать данные в состоянии IV ", .WhereDocumentHasIt = true},
};

const std::vector<TPageRow> kRows = JoinRows({kEncoding, IecAsduRows(), kTSDP, IecSizeRows("paAsdu"), kTail});

} // namespace

const TPageTable TfrPUIEC::Table{"TfrPUIEC", kPanels, kRows};

TfrPUIEC::TfrPUIEC(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::PUIEC, Table, parent)
{
    rg013 = Control<TRadioGroup>("rg013");
    TIecAsduControls::Take(Controls());
    TIecSizeControls::Take(Controls());
    cbTSDP_asdu = Control<QComboBox>("cbTSDP_asdu");
    ed055 = Control<TSpinEdit>("ed055");
    seMaxFrameSize = Control<TSpinEdit>("seMaxFrameSize");
    seSyncTime = Control<TSpinEdit>("seSyncTime");
    ch019 = Control<QCheckBox>("ch019");
    ch020 = Control<QCheckBox>("ch020");
    ch021 = Control<QCheckBox>("ch021");
    ch074 = Control<QCheckBox>("ch074");
    ch075 = Control<QCheckBox>("ch075");
    ch078 = Control<QCheckBox>("ch078");
    ch079 = Control<QCheckBox>("ch079");
    OnValidate = TFieldValidateEvent::Of<&TfrPUIEC::Veto>(this);
}

void TfrPUIEC::FillLists()
{
    TProtocolFrame::FillLists();
    rg013->hide();
}

void TfrPUIEC::Load(TFieldLst* list)
{
    TProtocolFrame::Load(list);
    const auto* document = dynamic_cast<const TDocument*>(Device()->Parent);
    ch079->setVisible(IecPageLayoutOf(document, *Device()).IgnoreInvalidShown);
}

void TfrPUIEC::Veto(const void* sender, TField*, const Variant& value, TFieldLst*, bool& accept)
{
    if (sender == seSyncTime && !SyncPeriodAccepted(value)) accept = false;
}
