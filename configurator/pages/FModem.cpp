#include "configurator/pages/FModem.h"

#include "configurator/pages/FilterView.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/PageBuilder.h"
#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uHask1.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramDir.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace {

using K = TControlKind;

constexpr TPagePanel kPanels[] = {
    {.Name = "paSpeed", .Kind = TPanelKind::Panel},
    {.Name = "paFlags", .Kind = TPanelKind::Panel},
    {.Name = "paModem", .Kind = TPanelKind::Row},
    {.Name = "gbMod", .Kind = TPanelKind::Group, .Title = "Модулятор", .Parent = "paModem"},
    {.Name = "gbDemod", .Kind = TPanelKind::Group, .Title = "Демодулятор", .Parent = "paModem"},
    {.Name = "gbTK", .Kind = TPanelKind::Group, .Title = "Транзитный канал (ТК)"},
};

// A row of a control of ModemControls, captioned from there.
constexpr TPageRow Row(const char* panel, const char* name, TControlKind kind)
{
    return {.Panel = panel, .Name = name, .Kind = kind, .Key = nullptr, .Caption = ModemCaption(name),
            .Unit = ModemUnit(name)};
}

const TPageRow kRows[] = {
    Row("paSpeed", "edSpeed", K::SpinEdit),   Row("paSpeed", "ed032", K::SpinEdit),
    Row("paFlags", "ch000", K::CheckBox),     Row("paFlags", "ch001", K::CheckBox),
    Row("paFlags", "ch002", K::CheckBox),     Row("paFlags", "ch003", K::CheckBox),
    Row("paFlags", "ch004", K::CheckBox),     Row("paFlags", "ch005", K::CheckBox),
    Row("paFlags", "ch006", K::CheckBox),     Row("paFlags", "ch010", K::CheckBox),
    Row("paFlags", "ch011", K::CheckBox),     Row("gbMod", "ed100_1", K::SpinEdit),
    Row("gbMod", "ed100_2", K::SpinEdit),     Row("gbMod", "ed100_3", K::SpinEdit),
    Row("gbMod", "cb100_04", K::ComboBox),    Row("gbDemod", "ed200_1", K::SpinEdit),
    Row("gbDemod", "ed200_2", K::SpinEdit),   Row("gbDemod", "ed200_3", K::SpinEdit),
    Row("gbDemod", "cb200_04", K::ComboBox),  Row("gbTK", "ed033", K::SpinEdit),
    Row("gbTK", "cb300_04", K::ComboBox),     Row("gbTK", "ed034", K::SpinEdit),
    Row("gbTK", "cb400_04", K::ComboBox),
};

// Each record's button goes with the gain step of its filter.
constexpr const char* kButtonBeside[FilterRecordCount] = {"cb300_04", "cb400_04", "cb100_04", "cb200_04"};

// Whether the modem belongs to a voice model with one modem.
bool OnVoiceDocument(const TFieldLst* modem)
{
    for (const TFieldLst* list = modem; list; list = list->Parent)
        if (dynamic_cast<const THask1Doc_1v*>(list)) return true;
    return false;
}

} // namespace

const TPageTable TfrModem::Table{"TfrModem", kPanels, kRows};

TfrModem::TfrModem(QTreeWidget* tree, TFieldLst* modem, TFilterDesignParams* params, TFilterDesigner designer,
                   QWidget* parent)
    : TParamFrame(tree, modem, parent), params_(params), designer_(std::move(designer))
{
    setObjectName("frModem");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    const TPageControls c = BuildPage(*this, *column, Table);
    column->addStretch(1);

    edSpeed = c.Get<TSpinEdit>("edSpeed");
    ed032 = c.Get<TSpinEdit>("ed032");
    gbMod = c.Get<QGroupBox>("gbMod");
    gbDemod = c.Get<QGroupBox>("gbDemod");
    gbTK = c.Get<QGroupBox>("gbTK");
    cb100_04 = c.Get<QComboBox>("cb100_04");
    cb200_04 = c.Get<QComboBox>("cb200_04");
    cb300_04 = c.Get<QComboBox>("cb300_04");
    cb400_04 = c.Get<QComboBox>("cb400_04");

    for (int i = 0; i < FilterRecordCount; ++i) {
        auto* beside = c.Get<QComboBox>(kButtonBeside[i]);
        auto* grid = qobject_cast<QGridLayout*>(beside->parentWidget()->layout());
        int row = 0, col = 0, rows = 0, cols = 0;
        grid->getItemPosition(grid->indexOf(beside), &row, &col, &rows, &cols);
        auto* cell = new QWidget(beside->parentWidget());
        auto* line = new QHBoxLayout(cell);
        line->setContentsMargins(0, 0, 0, 0);
        const QString number = QString::number(i + 1);
        auto* button = new QPushButton("Расчет", cell);
        button->setObjectName("btCalc" + number);
        button->setProperty("Tag", i + 1);
        auto* label = new QLabel(cell);
        label->setObjectName("lbFiltr" + number);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance("0000 - 0000 Гц"));
        line->addWidget(button);
        line->addWidget(label);
        line->addStretch(1);
        // Beside the gain step in the transit group; in the narrower modulator and
        // demodulator groups on a line of its own under the editors.
        if (beside->parentWidget() == gbTK)
            grid->addWidget(cell, row, 3);
        else
            grid->addWidget(cell, grid->rowCount(), 1, 1, 3);
        btCalc[static_cast<size_t>(i)] = button;
        lbFiltr[static_cast<size_t>(i)] = label;
        connect(button, &QPushButton::clicked, this, platform::Guarded([this, button] { OnCalcFiltr(button); }));
    }
}

void TfrModem::FillLists()
{
    FillCombo(cb100_04, OutputGainSteps());
    FillCombo(cb300_04, OutputGainSteps());
    FillCombo(cb200_04, InputGainSteps());
    FillCombo(cb400_04, InputGainSteps());
}

void TfrModem::Load(TFieldLst* list)
{
    if (const std::optional<TModemClass> modemClass = ModemClassOf(list)) {
        for (const TTableControl& c : TableControls()) {
            const char* key = ModemControlKey(c.Row->Name, *modemClass);
            if (key && list->Find<TField>(key)) BindControlTo(c.Control, key, list);
        }
    }
    TParamFrame::Load(list);
    gbTK->setVisible(OnVoiceDocument(list));
    for (int i = 0; i < FilterRecordCount; ++i) records_[static_cast<size_t>(i)] = BindFilterRecord(list, i + 1);
    UpdateControls();
}

void TfrModem::UpdateControls()
{
    for (int i = 0; i < FilterRecordCount; ++i) {
        const QString text = QStr(records_[static_cast<size_t>(i)].BandText);
        if (lbFiltr[static_cast<size_t>(i)]->text() != text) lbFiltr[static_cast<size_t>(i)]->setText(text);
    }
}

void TfrModem::OnCalcFiltr(QObject* sender)
{
    const int record = sender ? sender->property("Tag").toInt() : 0;
    if (record < 1 || record > FilterRecordCount || !params_) return;
    TFilterRecord& r = records_[static_cast<size_t>(record - 1)];
    if (!r.Bound()) return;
    FillDesignParams(r, static_cast<int64_t>(edSpeed->value()), *params_);

    TFilterForm form(*params_, designer_);
    platform::FormRequest request;
    request.model = &form;
    request.view = FilterView();
    if (platform::ShowForm(request) != platform::MsgResult::OK) return;
    StoreDesignParams(*params_, r);
    UpdateControls();
}

void RegisterModemPage(TFrameRegistry& registry)
{
    auto params = std::make_shared<TFilterDesignParams>();
    RegisterPage<TfrModem>(registry, TFrameKind::Modem, [params](const TFrameArgs& a) -> TfrModem* {
        if (!ModemClassOf(a.List)) return nullptr;
        return MakeFrame<TfrModem>(a.View, a.List, params.get(), LibraryDesigner(platform::ExecutableDir()), a.Parent);
    });
}
