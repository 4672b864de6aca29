#include "configurator/pages/FilterView.h"

#include "platform/ErrorDisplay.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The chart view: rubber-band zoom, a double click undoes it.
class TAFCView : public QChartView {
public:
    TAFCView(QChart* chart, TFilterDialog& dialog) : QChartView(chart, &dialog), dialog_(dialog)
    {
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        platform::RunGuarded([this] { dialog_.AFCDblClick(); });
        event->accept();
    }

private:
    TFilterDialog& dialog_;
};

QPushButton* NewButton(QWidget* parent, const char* name, const char* text)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TFilterDialog::TFilterDialog(TFilterForm& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      model_(model)
{
    setObjectName("FilterForm");
    setWindowTitle(Q(TFilterForm::Caption()));
    // Message boxes of the dialog belong to it.
    model_.Owner = platform::qt::RegisterWidget(this);

    // The chart.
    auto* chart = new QChart;
    chart->setTitle("АЧХ фильтра");
    chart->legend()->hide();
    AFC_series = new QLineSeries(chart);
    AFC_series->setObjectName("AFC_series");
    chart->addSeries(AFC_series);
    BottomAxis = new QValueAxis(chart);
    BottomAxis->setTitleText("F, Hz");
    BottomAxis->setLabelFormat("%.0f");
    LeftAxis = new QValueAxis(chart);
    LeftAxis->setTitleText("A, dB");
    LeftAxis->setLabelFormat("%.0f");
    chart->addAxis(BottomAxis, Qt::AlignBottom);
    chart->addAxis(LeftAxis, Qt::AlignLeft);
    AFC_series->attachAxis(BottomAxis);
    AFC_series->attachAxis(LeftAxis);
    AFC = new TAFCView(chart, *this);
    AFC->setObjectName("AFC");
    AFC->setMinimumSize(560, 380);

    // The spins, in a caption and editor grid.
    auto* side = new QWidget(this);
    auto* sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(0, 0, 0, 0);
    auto* spinGrid = new QGridLayout;
    for (int i = 0; i < FilterSpinCount; ++i) {
        const TFilterSpinDef& def = FilterSpins[i];
        auto* spin = new QSpinBox(side);
        spin->setObjectName(def.Name);
        spin->setRange(def.Minimum, def.Maximum);
        spin->setValue(def.Initial);
        spin->setKeyboardTracking(false);
        auto* caption = new QLabel(QString::fromUtf8(def.Caption), side);
        caption->setBuddy(spin);
        spinGrid->addWidget(caption, i, 0);
        spinGrid->addWidget(spin, i, 1);
        Spins[static_cast<size_t>(i)] = spin;
        connect(spin, &QSpinBox::valueChanged, this, [this, i](int value) {
            if (!showing_) model_.SetSpinValue(static_cast<TFilterSpin>(i), value);
        });
    }
    sideColumn->addLayout(spinGrid);

    CalcBtn = NewButton(side, "CalcBtn", "Расчет");
    AutoFillBtn = NewButton(side, "AutoFillBtn", "Авто");
    ClearBtn = NewButton(side, "ClearBtn", "Без фильтра");
    for (QPushButton* b : {CalcBtn, AutoFillBtn, ClearBtn}) sideColumn->addWidget(b);
    connect(CalcBtn, &QPushButton::clicked, this, [this] { Run([this] { model_.CalcBtnClick(); }); });
    connect(AutoFillBtn, &QPushButton::clicked, this, [this] { Run([this] { model_.AutoFillBtnClick(); }); });
    connect(ClearBtn, &QPushButton::clicked, this, [this] { Run([this] { model_.ClearBtnClick(); }); });

    auto* info = new QGroupBox("Информация", side);
    info->setObjectName("gbInfo");
    auto* infoColumn = new QVBoxLayout(info);
    infoColumn->addWidget(new QLabel("Неравномерность:", info));
    fp_lbl = new QLabel(info);
    fp_lbl->setObjectName("fp_lbl");
    fs_lbl = new QLabel(info);
    fs_lbl->setObjectName("fs_lbl");
    infoColumn->addWidget(fp_lbl);
    infoColumn->addWidget(fs_lbl);
    sideColumn->addWidget(info);
    sideColumn->addStretch(1);

    OKBtn = NewButton(this, "OKBtn", "OK");
    CancelBtn = NewButton(this, "CancelBtn", "Отмена");
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        bool close = false;
        platform::RunGuarded([&] { close = model_.OKBtnClick(); });
        if (close) accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(AFC, 1);
    top->addWidget(side);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    ShowModel();
}

template <class Fn>
void TFilterDialog::Run(Fn&& handler)
{
    platform::RunGuarded(std::forward<Fn>(handler));
    ShowModel();
}

void TFilterDialog::Activate()
{
    // Once per show; the model ignores the window's later activations.
    if (!model_.Activated()) Run([this] { model_.FormActivate(); });
}

bool TFilterDialog::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) Activate();
    return QDialog::event(event);
}

void TFilterDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Also when the window system activates nothing (no window manager): once shown.
    QTimer::singleShot(0, this, [this] { Activate(); });
}

void TFilterDialog::AFCDblClick()
{
    AFC->chart()->zoomReset();
    BottomAxis->setRange(model_.BottomAxis().Min, model_.BottomAxis().Max);
    LeftAxis->setRange(model_.LeftAxis().Min, model_.LeftAxis().Max);
}

void TFilterDialog::ShowModel()
{
    showing_ = true;
    for (int i = 0; i < FilterSpinCount; ++i) {
        QSpinBox* spin = Spins[static_cast<size_t>(i)];
        const int value = model_.SpinValue(static_cast<TFilterSpin>(i));
        if (spin->value() != value) spin->setValue(value);
    }
    showing_ = false;
    AutoFillBtn->setEnabled(model_.AutoFillEnabled());
    fp_lbl->setText(Q(model_.PassLabel()));
    fs_lbl->setText(Q(model_.StopLabel()));
    if (shownRevision_ == model_.Revision()) return;
    shownRevision_ = model_.Revision();
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(model_.Series().size()));
    for (const TChartPoint& p : model_.Series()) points.append(QPointF(p.X, p.Y));
    AFC_series->replace(points);
    AFCDblClick();
}

std::shared_ptr<const platform::FormView> FilterView()
{
    return platform::qt::MakeFormView([](platform::FormModel& model, QWidget* parent) -> QDialog* {
        auto* form = dynamic_cast<TFilterForm*>(&model);
        return form ? new TFilterDialog(*form, parent) : nullptr;
    });
}
