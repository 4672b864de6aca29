#include "configurator/pages/FCommon.h"

#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo2.h"
#include "platform/Format.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "gbTimeCheck", .Kind = TPanelKind::Group},
    {.Name = "paVAC_TU1", .Kind = TPanelKind::Panel},
    {.Name = "gbBuffer", .Kind = TPanelKind::Group},
    {.Name = "paTime", .Kind = TPanelKind::Panel},
    {.Name = "paNet", .Kind = TPanelKind::Row},
    {.Name = "gbNet1", .Kind = TPanelKind::Group, .Title = "Параметры сети 1", .Parent = "paNet"},
    {.Name = "gbNet2", .Kind = TPanelKind::Group, .Title = "Параметры сети 2", .Parent = "paNet"},
};

// The time settings and the network addresses are bound where the document has them.
const TPageRow kRows[] = {
    {.Panel = "gbTimeCheck", .Name = "ch022", .Kind = K::CheckBox, .Key = "022", .Caption = "Контроль по функции"},
    {.Panel = "gbTimeCheck", .Name = "ch023", .Kind = K::CheckBox, .Key = "023", .Caption = "Контроль по PPS"},
    {.Panel = "gbTimeCheck", .Name = "ch028", .Kind = K::CheckBox, .Key = "028",
     .Caption = "Автоматическая коррекция часов"},
    {.Panel = "gbTimeCheck", .Name = "edPeriodCheckTime", .Kind = K::SpinEdit, .Key = "044",
     .Caption = "Период контроля", .Unit = "мин."},
    // The command channel address of the documents that have one is bound by the page.
    {.Panel = "paVAC_TU1", .Name = "edVAC_TU1", .Kind = K::SpinEdit, .Key = nullptr, .Caption = "ВАК ТУ1",
     .Minimum = 0, .Maximum = 65535},
    {.Panel = nullptr, .Name = "chQuality", .Kind = K::CheckBox, .Key = "024",
     .Caption = "Выдача недостоверности сигналов при потере связи с КП"},
    {.Panel = "gbBuffer", .Name = "edBufTS", .Kind = K::SpinEdit, .Key = "041", .Caption = "Буфер ТС"},
    {.Panel = "gbBuffer", .Name = "edBufTIT", .Kind = K::SpinEdit, .Key = "042", .Caption = "Буфер ТИТ"},
    {.Panel = "gbBuffer", .Name = "edBufTSDPI", .Kind = K::SpinEdit, .Key = "TS_DPI_buf_size", .Caption = "Буфер TSDP",
     .WhereDocumentHasIt = true},
    {.Panel = "paTime", .Name = "seTimeOffset", .Kind = K::SpinEdit, .Key = "time_offset",
     .Caption = "При установке времени добавлять\n(n часов)", .WhereDocumentHasIt = true},
    {.Panel = "paTime", .Name = "cbInverAll_Ts", .Kind = K::CheckBox, .Key = "inv_all_ts",
     .Caption = "Инвертировать все ТС", .WhereDocumentHasIt = true},
    {.Panel = "paTime", .Name = "cbSetTimeTest", .Kind = K::CheckBox, .Key = "settime_test",
     .Caption = "Ретрансляция времени на XPORT", .WhereDocumentHasIt = true},
    {.Panel = "paTime", .Name = "seXPORT_settime_p", .Kind = K::SpinEdit, .Key = "XPORT_settime_p",
     .Caption = "Период установки времени XPORT\n(мин.)", .WhereDocumentHasIt = true},
    {.Panel = "gbNet1", .Name = "ed050", .Kind = K::IPv4Edit, .Key = "050", .Caption = "IP адрес",
     .WhereDocumentHasIt = true},
    {.Panel = "gbNet1", .Name = "ed052", .Kind = K::IPv4Edit, .Key = "052", .Caption = "Маска",
     .WhereDocumentHasIt = true},
    {.Panel = "gbNet1", .Name = "ed054", .Kind = K::IPv4Edit, .Key = "054", .Caption = "Шлюз",
     .WhereDocumentHasIt = true},
    {.Panel = "gbNet2", .Name = "ed051", .Kind = K::IPv4Edit, .Key = "051", .Caption = "IP адрес",
     .WhereDocumentHasIt = true},
    {.Panel = "gbNet2", .Name = "ed053", .Kind = K::IPv4Edit, .Key = "053", .Caption = "Маска",
     .WhereDocumentHasIt = true},
    {.Panel = "gbNet2", .Name = "ed055", .Kind = K::IPv4Edit, .Key = "055", .Caption = "Шлюз",
     .WhereDocumentHasIt = true},
};

} // namespace

const TPageTable TfrCommon::Table{"TfrCommon", kPanels, kRows};

TfrCommon::TfrCommon(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TParamFrame(tree, document, parent), document_(document)
{
    setObjectName("frCommon");
    auto* column = new QVBoxLayout(this);
    const TPageControls c = BuildPage(*this, *column, Table);
    column->addStretch(1);

    gbTimeCheck = c.Get<QGroupBox>("gbTimeCheck");
    ch022 = c.Get<QCheckBox>("ch022");
    ch023 = c.Get<QCheckBox>("ch023");
    ch028 = c.Get<QCheckBox>("ch028");
    edPeriodCheckTime = c.Get<TSpinEdit>("edPeriodCheckTime");
    edVAC_TU1 = c.Get<TSpinEdit>("edVAC_TU1");
    lbVAC_TU1 = c.Get<QLabel>("lbVAC_TU1");
    chQuality = c.Get<QCheckBox>("chQuality");
    gbBuffer = c.Get<QGroupBox>("gbBuffer");
    edBufTS = c.Get<TSpinEdit>("edBufTS");
    edBufTIT = c.Get<TSpinEdit>("edBufTIT");
    edBufTSDPI = c.Get<TSpinEdit>("edBufTSDPI");
    seTimeOffset = c.Get<TSpinEdit>("seTimeOffset");
    cbInverAll_Ts = c.Get<QCheckBox>("cbInverAll_Ts");
    cbSetTimeTest = c.Get<QCheckBox>("cbSetTimeTest");
    seXPORT_settime_p = c.Get<TSpinEdit>("seXPORT_settime_p");
    paNet = c.Get("paNet");
    gbNet1 = c.Get<QGroupBox>("gbNet1");
    ed050 = c.Get<TIPAddressEdit>("ed050");
    ed052 = c.Get<TIPAddressEdit>("ed052");
    ed054 = c.Get<TIPAddressEdit>("ed054");
    gbNet2 = c.Get<QGroupBox>("gbNet2");
    ed051 = c.Get<TIPAddressEdit>("ed051");
    ed053 = c.Get<TIPAddressEdit>("ed053");
    ed055 = c.Get<TIPAddressEdit>("ed055");
    paNet->hide();
}

void TfrCommon::Load(TFieldLst* list)
{
    capacity_ = EventBufferCapacity(*document_);
    gbBuffer->setTitle(QStr(EventBufferCaption(capacity_)));
    // Families with a network or other time checks arrange the page here; hidden
    // controls give their room back to the group's layout.
    const TCommonPageLayout layout = CommonPageLayoutOf(*document_);
    ch023->setVisible(layout.TimeSourcesShown);
    ch028->setVisible(layout.TimeSourcesShown);
    paNet->setVisible(layout.NetworkShown);

    // The command channel address of the documents that have one is bound here, in its
    // row right below the time-check group; the others do not show it. The document
    // refuses an address inside a command channel range (Rejected reports it).
    edVAC_TU1->setVisible(layout.CommandAddressShown);
    lbVAC_TU1->setVisible(layout.CommandAddressShown);
    edVAC_TU1->parentWidget()->setVisible(layout.CommandAddressShown);
    if (layout.CommandAddressShown) BindControl(edVAC_TU1, "VAK_TU1");
    TParamFrame::Load(list);
    gbNet2->setVisible(layout.SecondNetworkShown);

    SetChangeHandler(edBufTS, [this](const void*) { BufferChanged(TBuffer::TS); });
    SetChangeHandler(edBufTIT, [this](const void*) { BufferChanged(TBuffer::TIT); });
    SetChangeHandler(edBufTSDPI, [this](const void*) { BufferChanged(TBuffer::TSDP); });
    OnRejected = TValueRejectedEvent::Of<&TfrCommon::Rejected>(this);
}

void TfrCommon::BufferChanged(TBuffer changed)
{
    // The buffer the rule lowers does not lower the other one in turn: the value just
    // entered stays.
    if (applyingRule_) return;
    TField* ts = FieldOf(edBufTS);
    TField* tit = FieldOf(edBufTIT);
    if (!ts || !tit) return;
    const auto change = BufferRule(changed, ts->GetValue().ToInt64(), tit->GetValue().ToInt64(), capacity_);
    if (!change) return;
    TSpinEdit* target = change->Target == TBuffer::TS ? edBufTS : edBufTIT;
    applyingRule_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{applyingRule_};
    target->setValue(change->Value);
}

void TfrCommon::Rejected(const void* sender, TField*, const Variant& value)
{
    if (sender != edVAC_TU1) return;
    PostLogMessage(platform::Format("Значение ВАК(%s) ТУ уже занято", value.ToString().c_str()), lkError);
    throw EDevChannelRangeCheckFailedException("ВАК ТУ1 пересекается с общим списком каналов ТУ");
}
