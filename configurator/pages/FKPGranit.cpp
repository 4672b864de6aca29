#include "configurator/pages/FKPGranit.h"

#include "configurator/widgets/FGranitAFBGrid.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/TreeView.h"
#include "model/uZumo2.h"
#include "platform/ErrorDisplay.h"
#include "platform/Windows.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "gbTiming", .Kind = TPanelKind::Group},
    {.Name = "gbLinkDown", .Kind = TPanelKind::Group, .Title = "Обработка события пропадания связи"},
};

// seLinkDownCmdVAK has no key: Load binds it by the document's family.
const TPageRow kRows[] = {
    {.Panel = "gbTiming", .Name = "cb0901", .Kind = K::ComboBox, .Key = "0901", .Caption = "Тип устройства"},
    {.Panel = "gbTiming", .Name = "ed0906", .Kind = K::SpinEdit, .Key = "0906", .Caption = "Период опроса КП",
     .Unit = "с"},
    {.Panel = "gbTiming", .Name = "ed0907", .Kind = K::SpinEdit, .Key = "0907", .Caption = "Период опроса ТС",
     .Unit = "с"},
    {.Panel = "gbTiming", .Name = "ed0908", .Kind = K::SpinEdit, .Key = "0908", .Caption = "Период опроса ТИТ",
     .Unit = "с"},
    {.Panel = "gbTiming", .Name = "ed0909", .Kind = K::SpinEdit, .Key = "0909", .Caption = "Период опроса ТИИ",
     .Unit = "с"},
    {.Panel = "gbTiming", .Name = "seSMeandrTimeout", .Kind = K::SpinEdit, .Key = "SMeandrPeriod",
     .Caption = "Период отправки\nмеандра (мс)"},
    {.Panel = "gbLinkDown", .Name = "cbLinkDownEvent", .Kind = K::ComboBox, .Key = "TrigEvenLinkDown_Cmd",
     .Caption = "Сервисная команда"},
    {.Panel = "gbLinkDown", .Name = "seLinkDownCmdVAK", .Kind = K::SpinEdit, .Key = nullptr, .Caption = "номер"},
    {.Panel = "gbLinkDown", .Name = "edCmdTimeout", .Kind = K::SpinEdit, .Key = "TrigEvenLinkDown_Timeout",
     .Caption = "Таймаут (c.)"},
    {.Panel = "gbLinkDown", .Name = "seCmdRepeatCount", .Kind = K::SpinEdit, .Key = "TrigEvenLinkDown_RepeatCount",
     .Caption = "Кво повторов"},
};

// Whether the document still holds the device. The address is compared with the
// document's devices before anything is read through it: a check posted before the
// document was replaced points into a freed one.
bool HoldsDevice(const TZumo2Doc* document, const TDevice* device)
{
    for (int i = 0; document && i < document->DeviceCount(); ++i)
        if (document->DeviceByIndex(i) == device) return true;
    return false;
}

} // namespace

const TPageTable TfrKPGranit::Table{"TfrKPGranit", kPanels, kRows};

TfrKPGranit::TfrKPGranit(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TGranitFrame(tree, device, TProtocolPage::KPGranit, Table,
                   {"cbLinkDownEvent", "seLinkDownCmdVAK", {"seLinkDownCmdVAK", "lbLinkDownCmdVAK"}}, parent)
{
    cb0901 = Control<QComboBox>("cb0901");
    ed0906 = Control<TSpinEdit>("ed0906");
    ed0907 = Control<TSpinEdit>("ed0907");
    ed0908 = Control<TSpinEdit>("ed0908");
    ed0909 = Control<TSpinEdit>("ed0909");
    seSMeandrTimeout = Control<TSpinEdit>("seSMeandrTimeout");
    gbTiming = Control<QGroupBox>("gbTiming");
    gbLinkDown = Control<QGroupBox>("gbLinkDown");
    cbLinkDownEvent = Control<QComboBox>("cbLinkDownEvent");
    seLinkDownCmdVAK = Control<TSpinEdit>("seLinkDownCmdVAK");
    edCmdTimeout = Control<TSpinEdit>("edCmdTimeout");
    seCmdRepeatCount = Control<TSpinEdit>("seCmdRepeatCount");

    btnCheck = new QPushButton(QStringLiteral("Проверка"), this);
    btnCheck->setObjectName("btnCheck");
    Column()->insertWidget(Column()->indexOf(gbLinkDown), btnCheck, 0, Qt::AlignLeft);
    connect(btnCheck, &QPushButton::clicked, this, platform::Guarded([this] { CheckDeviceAfb(*Device()); }));
}

void TfrKPGranit::FillLists()
{
    TGranitFrame::FillLists();
    FillCombo(cb0901, GranitDeviceTypeItems());
    PlaceGrid(btnCheck, {gbTiming, gbLinkDown});
    Grid()->OnLeave = [this](Qt::FocusReason reason) { GridLeft(reason); };
}

void TfrKPGranit::Load(TFieldLst* list)
{
    LoadFamily();
    TGranitFrame::Load(list);
    ShowCells();
}

void TfrKPGranit::GridLeft(Qt::FocusReason reason)
{
    // "Проверка" checks when it is clicked: the focus it takes at the press is no
    // second check. Tab onto it is a leaving like any other.
    if (reason == Qt::MouseFocusReason && QApplication::focusWidget() == btnCheck) return;
    PostCheck();
}

void TfrKPGranit::PostCheck()
{
    TDevice* device = Device();
    QPointer<TDocTreeView> view = qobject_cast<TDocTreeView*>(Tree);
    QObject* context = view ? static_cast<QObject*>(view.data()) : this;
    const bool shown = !view.isNull();
    QMetaObject::invokeMethod(
        context,
        [device, view, shown] {
            platform::RunGuarded([&] {
                if (platform::IsTerminating()) return;
                if (shown && (!view || !HoldsDevice(view->DocTree().Document(), device))) return;
                CheckDeviceAfb(*device);
            });
        },
        Qt::QueuedConnection);
}
