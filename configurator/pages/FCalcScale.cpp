#include "configurator/pages/FCalcScale.h"

#include "configurator/widgets/ParamControls.h"
#include "platform/ErrorDisplay.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cfloat>
#include <iterator>
#include <utility>

namespace {

// The two rows of edits: a caption, then the lower and the upper value.
struct TCalcRow {
    const char* Caption;
    const char* Lower;
    const char* Upper;
};
const TCalcRow kCalcRows[] = {
    {"Результирующее значение", "edOutMin", "edOutMax"},
    {"Входящее значение", "edInMin", "edInMax"},
};

constexpr int kEditWidth = 110;

} // namespace

TfrCalcScale::TfrCalcScale(QWidget* parent, platform::HWND page, const TGridSpec& spec, const TGridRow& row)
    : QFrame(parent), page_(page), spec_(spec), row_(row)
{
    setObjectName("frCalcScale");
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(QString::fromUtf8("Расчитать коэффициент"), this);
    GroupBox1->setObjectName("GroupBox1");
    column->addWidget(GroupBox1);
    auto* grid = new QGridLayout(GroupBox1);
    TSpinEdit* edits[2][2] = {};
    int line = 0;
    for (size_t r = 0; r < std::size(kCalcRows); ++r) {
        const TCalcRow& calcRow = kCalcRows[r];
        grid->addWidget(new QLabel(QString::fromUtf8(calcRow.Caption), GroupBox1), line++, 0, 1, 4);
        const char* names[2] = {calcRow.Lower, calcRow.Upper};
        const char* captions[2] = {"Нижнее", "Верхнее"};
        for (int side = 0; side < 2; ++side) {
            auto* edit = new TSpinEdit(GroupBox1);
            edit->setObjectName(names[side]);
            edit->SetFloat(true, 3);
            edit->setRange(-FLT_MAX, FLT_MAX);
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            edit->setFixedWidth(kEditWidth);
            auto* label = new QLabel(QString::fromUtf8(captions[side]), GroupBox1);
            label->setBuddy(edit);
            grid->addWidget(label, line, side * 2);
            grid->addWidget(edit, line, side * 2 + 1);
            edits[r][side] = edit;
        }
        ++line;
    }
    edOutMin = edits[0][0];
    edOutMax = edits[0][1];
    edInMin = edits[1][0];
    edInMax = edits[1][1];

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button1 = new QPushButton(QString::fromUtf8("Расчитать"), this);
    Button1->setObjectName("Button1");
    Button2 = new QPushButton(QString::fromUtf8("Отмена"), this);
    Button2->setObjectName("Button2");
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    column->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, platform::Guarded([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, platform::Guarded([this] { Button2Click(); }));
    auto* cancel = new QAction(this);
    cancel->setShortcut(Qt::Key_Escape);
    cancel->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(cancel, &QAction::triggered, this, platform::Guarded([this] { Button2Click(); }));
    addAction(cancel);

    double k = 1, b = 0;
    if (const TField* factor = EditField(spec_, row_, sgFactor)) k = factor->GetValue().ToDouble();
    if (const TField* offset = EditField(spec_, row_, sgOffset)) b = offset->GetValue().ToDouble();
    const TScaleCalc start = ScaleCalcStart(k, b);
    edInMin->setValue(start.InMin);
    edInMax->setValue(start.InMax);
    edOutMin->setValue(start.OutMin);
    edOutMax->setValue(start.OutMax);
    setFocusProxy(edOutMin);
    setFocusPolicy(Qt::StrongFocus);
    focusWatch_ = connect(qApp, &QApplication::focusChanged, this,
                          [this](QWidget* old, QWidget* now) { platform::RunGuarded([&] { FocusChanged(old, now); }); });
    resize(sizeHint());
}

TfrCalcScale::~TfrCalcScale()
{
    // The focus moving while its controls go is no cancel.
    disconnect(focusWatch_);
}

TScaleCalc TfrCalcScale::Values() const
{
    TScaleCalc calc;
    for (auto [edit, value] : {std::pair{edInMin, &calc.InMin}, std::pair{edInMax, &calc.InMax},
                               std::pair{edOutMin, &calc.OutMin}, std::pair{edOutMax, &calc.OutMax}}) {
        edit->interpretText();
        *value = edit->value();
    }
    return calc;
}

void TfrCalcScale::Button1Click()
{
    if (done_) return;
    StoreScaleCalc(spec_, row_, Values());
    Done();
}

void TfrCalcScale::Button2Click() { Done(); }

void TfrCalcScale::Done()
{
    if (done_) return;
    done_ = true;
    platform::PostMessage(page_, platform::WM_FRAME_NOTIFY, 27, 0);
}

void TfrCalcScale::FocusChanged(QWidget* old, QWidget* now)
{
    // The focus leaving for another control of the window cancels; for another window
    // (an error box) or nowhere, nothing.
    const auto inside = [this](const QWidget* w) { return w == this || isAncestorOf(w); };
    if (done_ || !old || !now || !inside(old) || inside(now)) return;
    if (now->window() != window()) return;
    Button2Click();
}
