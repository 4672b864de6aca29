#include "configurator/pages/FKPSiemensSymap.h"

#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uDevProtocols.h"
#include "model/uZumo2_Siemens.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Format.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTabWidget>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paValues", .Kind = TPanelKind::Panel},
};

// The type and "Активно" are bound by code to the selected descriptor.
const TPageRow kRows[] = {
    {.Panel = "paValues", .Name = "cbDevType", .Kind = K::ComboBox, .Key = nullptr, .Caption = "Тип устройства"},
    {.Panel = "paValues", .Name = "cbPeriodM", .Kind = K::SpinEdit, .Key = "PeriodM",
     .Caption = "Период опроса устройства"},
    {.Panel = "paValues", .Name = "cbPeriodUM", .Kind = K::ComboBox, .Key = "PeriodUM", .Beside = true},
    {.Panel = nullptr, .Name = "cbRegisterEnabled", .Kind = K::CheckBox, .Key = nullptr, .Caption = "Активно"},
};

// The bits of a tab page go down two columns of eight.
constexpr int kBitRows = SymapBitCount / 2;

// Paints a line's text grey while its descriptor is not enabled, asking the page when
// the line is painted.
class TRegisterLines : public QStyledItemDelegate {
public:
    TRegisterLines(const TFrKPSiemensSymap& page, QObject* parent) : QStyledItemDelegate(parent), page_(page) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        // A paint event carries no error out: a line that cannot be read stays as it is.
        platform::RunGuarded([&] {
            const QColor color = page_.LineColor(index.row());
            option->palette.setColor(QPalette::Text, color);
            if (!page_.IsRegisterEnabled(index.row())) option->palette.setColor(QPalette::HighlightedText, color);
        });
    }

private:
    const TFrKPSiemensSymap& page_;
};

} // namespace

const TPageTable TFrKPSiemensSymap::Table{"TFrKPSiemensSymap", kPanels, kRows};

TFrKPSiemensSymap::TFrKPSiemensSymap(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPSiemensSymap, Table, parent)
{
    cbDevType = Control<QComboBox>("cbDevType");
    lbDevType = Control<QLabel>("lbDevType");
    cbPeriodM = Control<TSpinEdit>("cbPeriodM");
    cbPeriodUM = Control<QComboBox>("cbPeriodUM");
    cbRegisterEnabled = Control<QCheckBox>("cbRegisterEnabled");
    BuildTabs();
    BuildRegisterList();

    descriptorControls_.push_back(cbDevType);
    for (TSpinEdit* address : seRegAddr) descriptorControls_.push_back(address);
    for (const auto& bits : cbBits) descriptorControls_.insert(descriptorControls_.end(), bits.begin(), bits.end());
    released_ = {cbRegisterEnabled, cbDevType};
    for (int p = 0; p < SymapFirstPLCTab; ++p)
        released_.insert(released_.end(), cbBits[static_cast<size_t>(p)].begin(), cbBits[static_cast<size_t>(p)].end());
}

TParamFrame* TFrKPSiemensSymap::Create(QTreeWidget* tree, TDevice* device, QWidget* host)
{
    if (!device || !dynamic_cast<TZumo2SiemensDoc*>(device->Parent) ||
        !dynamic_cast<TDevProtocolSiemensSymap*>(device->ActiveProtocol()))
        return nullptr;
    return MakeFrame<TFrKPSiemensSymap>(tree, device, host);
}

void TFrKPSiemensSymap::BuildTabs()
{
    pcChannls = new QTabWidget(this);
    pcChannls->setObjectName("pcChannls");
    for (int p = 0; p < SymapTabCount; ++p) {
        const TSymapTab& tab = SymapTabs()[static_cast<size_t>(p)];
        auto* sheet = new QWidget;
        sheet->setObjectName(QString::fromStdString(platform::Format("tsChannls%.2d", p)));
        auto* column = new QVBoxLayout(sheet);

        auto* address = new QGridLayout;
        address->setContentsMargins(0, 0, 0, 0);
        address->setColumnStretch(2, 1);
        TSpinEdit* edit = NewSpin(sheet, tab.AddressName);
        AddRow(address, edit, "Рег. адр.");
        seRegAddr[static_cast<size_t>(p)] = edit;
        column->addLayout(address);

        QGroupBox* group = NewGroup(sheet, platform::Format("gbBits%.2d", p).c_str(), QString());
        auto* bits = new QGridLayout(group);
        for (int b = 0; b < SymapBitCount; ++b) {
            QCheckBox* check = NewCheck(group, SymapBitName(p, b).c_str(), QStr(SymapBitCaption(p, b)));
            bits->addWidget(check, b % kBitRows, b / kBitRows);
            cbBits[static_cast<size_t>(p)][static_cast<size_t>(b)] = check;
        }
        column->addWidget(group);
        column->addStretch(1);
        pcChannls->addTab(sheet, QString::fromUtf8(tab.Caption));
    }
}

void TFrKPSiemensSymap::BuildRegisterList()
{
    auto* area = new QWidget(this);
    area->setObjectName("paRegisters");
    auto* line = new QHBoxLayout(area);
    line->setContentsMargins(0, 0, 0, 0);

    auto* left = new QVBoxLayout;
    lbSRegisters = new QListWidget(area);
    lbSRegisters->setObjectName("lbSRegisters");
    lbSRegisters->setSelectionMode(QAbstractItemView::SingleSelection);
    lbSRegisters->setItemDelegate(new TRegisterLines(*this, lbSRegisters));
    lbSRegisters->setFixedWidth(lbSRegisters->fontMetrics().averageCharWidth() * 24);
    QLabel* caption = NewLabel(area, "lbSRegistersCaption", "Устройства");
    caption->setBuddy(lbSRegisters);
    left->addWidget(caption);
    left->addWidget(lbSRegisters, 1);
    line->addLayout(left);

    miRenameRegister = new QAction("Переименовать", lbSRegisters);
    miRenameRegister->setObjectName("miRenameRegister");
    miRenameRegister->setEnabled(false);
    lbSRegisters->addAction(miRenameRegister);
    lbSRegisters->setContextMenuPolicy(Qt::ActionsContextMenu);

    // "Активно" above the tab pages of the descriptor it belongs to.
    auto* right = new QVBoxLayout;
    Column()->removeWidget(cbRegisterEnabled);
    right->addWidget(cbRegisterEnabled);
    right->addWidget(pcChannls, 1);
    line->addLayout(right, 1);
    Column()->insertWidget(Column()->count() - 1, area);

    connect(lbSRegisters, &QListWidget::currentRowChanged, this, platform::Guarded([this] { SelectRegister(); }));
    connect(miRenameRegister, &QAction::triggered, this, platform::Guarded([this] { miRenameRegisterClick(); }));
}

void TFrKPSiemensSymap::FillLists()
{
    bound_ = -1;
    FillCombo(cbDevType, SymapDeviceTypeItems());
    FillCombo(cbPeriodUM, PeriodUnitItems());
    TProtocolFrame::FillLists();
}

void TFrKPSiemensSymap::Load(TFieldLst* list)
{
    document_ = dynamic_cast<TZumo2SiemensDoc*>(Device()->Parent);
    block_ = dynamic_cast<TDevProtocolSiemensSymap*>(Device()->ActiveProtocol());
    {
        // The first line is selected here, and SelectRegister runs once below.
        const QSignalBlocker quiet(lbSRegisters);
        lbSRegisters->clear();
        const int count = block_ && document_ ? block_->RegisterCount() : 0;
        for (int i = 0; i < count; ++i) lbSRegisters->addItem(QStr(RegisterName(i)));
        if (count > 0) {
            lbSRegisters->setCurrentRow(0);
            lbSRegisters->setMinimumHeight(lbSRegisters->sizeHintForRow(0) * count + 2 * lbSRegisters->frameWidth());
        }
    }
    SelectRegister();
    TProtocolFrame::Load(list);
    SetChangeHandler(cbDevType, [this](const void*) { ApplyDevType(); });
    SetChangeHandler(cbRegisterEnabled, [this](const void*) { cbRegisterEnabledClick(); });
    ApplyDevType();
}

void TFrKPSiemensSymap::RefreshAll()
{
    TProtocolFrame::RefreshAll();
    for (int i = 0; i < lbSRegisters->count(); ++i) lbSRegisters->item(i)->setText(QStr(RegisterName(i)));
    lbSRegisters->viewport()->update();
}

void TFrKPSiemensSymap::SelectRegister()
{
    const TRegisterSelection step = RegisterSelectionOf(lbSRegisters->currentRow(), bound_);
    miRenameRegister->setEnabled(step.Selected);
    if (!step.Selected) {
        EnableRegisterControls(false);
        cbRegisterEnabled->setEnabled(false);
    } else if (step.Bind >= 0) {
        if (step.Unbind) UnbindRegister();
        bound_ = step.Bound; // also when the binding fails
        BindRegister(step.Bind);
        EnableRegisterControls(IsRegisterEnabled(step.Bind));
        cbRegisterEnabled->setEnabled(true);
    }
    ApplyDevType();
}

void TFrKPSiemensSymap::BindRegister(int index)
{
    BindControl(cbRegisterEnabled, platform::Format("SRegisterEnabled%.2d", index));
    BindControlsTo(descriptorControls_, block_ ? block_->RegisterByIndex(index) : nullptr, SymapDescriptorKeys());
    TProtocolFrame::Load(FieldList);
}

void TFrKPSiemensSymap::UnbindRegister() { UnbindControls(released_); }

bool TFrKPSiemensSymap::IsRegisterEnabled(int index) const
{
    return block_ && ::IsRegisterEnabled(*block_, index);
}

void TFrKPSiemensSymap::EnableRegisterControls(bool on)
{
    lbDevType->setEnabled(on);
    cbDevType->setEnabled(on);
    pcChannls->setEnabled(on);
}

void TFrKPSiemensSymap::ApplyDevType()
{
    std::optional<int> type;
    if (cbDevType->currentIndex() >= 0) type = cbDevType->currentData().toInt();
    const TSymapTabsShown shown = SymapTabsOf(type);
    for (int p = 0; p < SymapTabCount; ++p) pcChannls->setTabVisible(p, p >= shown.First && p <= shown.Last);
    pcChannls->setCurrentIndex(shown.Current);
}

void TFrKPSiemensSymap::RenameRegister(int index, const std::string& name)
{
    if (!document_) return;
    document_->SetRegisterName(index, name);
    if (QListWidgetItem* line = lbSRegisters->item(index)) line->setText(QStr(RegisterName(index)));
}

void TFrKPSiemensSymap::miRenameRegisterClick()
{
    const int index = lbSRegisters->currentRow();
    if (index < 0) return;
    platform::InputRequest request;
    request.caption = "Вопрос";
    request.prompt = "Введите название устройства";
    request.value = lbSRegisters->item(index)->text().toStdString();
    if (const std::optional<std::string> name = RegisterRenamedTo(platform::ShowInputQuery(request)))
        RenameRegister(index, *name);
}

void TFrKPSiemensSymap::cbRegisterEnabledClick()
{
    EnableRegisterControls(IsRegisterEnabled(lbSRegisters->currentRow()));
    lbSRegisters->viewport()->update();
}

std::string TFrKPSiemensSymap::RegisterName(int index) const
{
    return document_ ? ::RegisterName(*document_, index) : std::string();
}

QColor TFrKPSiemensSymap::LineColor(int index) const
{
    const QPalette& palette = lbSRegisters->palette();
    return IsRegisterEnabled(index) ? palette.color(QPalette::Active, QPalette::Text)
                                    : palette.color(QPalette::Disabled, QPalette::Text);
}
