#include "configurator/widgets/uParamFrame.h"

#include "configurator/widgets/ParamControls.h"
#include "platform/ErrorDisplay.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

// A widget as a bound control. Each kind maps the field's value onto its widget and
// reports the widget's change signal, which Qt also emits on a programmatic change.
class TParamFrame::TQtControl : public QObject, public TBoundControl {
public:
    TQtControl(TParamFrame& frame, QWidget* widget) : widget_(widget), display_(frame)
    {
        // The frame is the connection's context, not this object: the slot frees this
        // object, whose destructor drops the connection.
        destroyed_ = connect(widget, &QObject::destroyed, &frame, [f = &frame, widget] { f->Forget(widget); });
    }
    ~TQtControl() override { disconnect(destroyed_); }

    const void* Sender() const override { return widget_.data(); }
    QWidget* Widget() const { return widget_.data(); }

    // Makes the control of a widget's kind.
    static std::unique_ptr<TQtControl> For(TParamFrame& frame, QWidget* widget);

protected:
    // The widget's change signal, guarded: its errors go to the frame's display.
    void Notify() { platform::RunGuarded([this] { Changed(); }, &display_); }

    QPointer<QWidget> widget_;

private:
    // The frame's display as the signal guard reports to it.
    class TFrameDisplay : public platform::ErrorDisplay {
    public:
        explicit TFrameDisplay(const TParamFrame& frame) : frame_(frame) {}
        void ShowException(std::exception_ptr error) noexcept override { frame_.ShowError(error); }

    private:
        const TParamFrame& frame_;
    };

    TFrameDisplay display_;
    QMetaObject::Connection destroyed_;
};

namespace {

using TQtControl = TParamFrame::TQtControl;

// Limits of the field when it has any, else the design's range, else its type's; the
// range always takes in the value shown, so the control shows what the field holds and
// a store back changes nothing.
class TSpinControl : public TQtControl {
public:
    TSpinControl(TParamFrame& frame, TSpinEdit* spin) : TQtControl(frame, spin)
    {
        connect(spin, &QDoubleSpinBox::valueChanged, this, [this] { Notify(); });
    }
    void Show(const TField& field) override
    {
        auto* spin = static_cast<TSpinEdit*>(Widget());
        const double value = field.GetValue().ToDouble();
        std::pair<double, double> range;
        if (field.MinValue != 0 || field.MaxValue != 0) {
            range = {field.MinValue, field.MaxValue};
        } else if (spin->DesignedRange()) {
            range = *spin->DesignedRange();
        } else {
            range = FieldTypeRange(field.FieldType);
        }
        if (std::isfinite(value)) range = {std::min(range.first, value), std::max(range.second, value)};
        {
            // Only the value change below counts as the control's change.
            const QSignalBlocker quiet(spin);
            spin->SetFloat(field.FieldType == ftSingle);
            spin->setRange(range.first, range.second);
        }
        spin->setValue(value);
    }
    std::optional<Variant> Read() const override
    {
        const double value = static_cast<const TSpinEdit*>(Widget())->value();
        // A floating field gets the floating value, fraction and all.
        if (Field() && Field()->FieldType == ftSingle) return Variant(value);
        return Variant(static_cast<int64_t>(std::llround(value)));
    }
};

// The item whose data equals the value is selected, none when no item carries it;
// nothing is read while none is selected.
class TComboControl : public TQtControl {
public:
    TComboControl(TParamFrame& frame, QComboBox* combo) : TQtControl(frame, combo)
    {
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { Notify(); });
    }
    void Show(const TField& field) override
    {
        auto* combo = static_cast<QComboBox*>(Widget());
        const int64_t value = field.GetValue().ToInt64();
        int index = -1;
        for (int i = 0; i < combo->count() && index < 0; ++i) {
            bool ok = false;
            const qlonglong data = combo->itemData(i).toLongLong(&ok);
            if (ok && data == value) index = i;
        }
        combo->setCurrentIndex(index);
    }
    std::optional<Variant> Read() const override
    {
        auto* combo = static_cast<const QComboBox*>(Widget());
        if (combo->currentIndex() < 0) return std::nullopt;
        return Variant(static_cast<int64_t>(combo->currentData().toLongLong()));
    }
};

// The item index; a value without its button checks none, and nothing is read then.
class TRadioControl : public TQtControl {
public:
    TRadioControl(TParamFrame& frame, TRadioGroup* group) : TQtControl(frame, group)
    {
        connect(group, &TRadioGroup::ItemIndexChanged, this, [this] { Notify(); });
    }
    void Show(const TField& field) override
    {
        auto* group = static_cast<TRadioGroup*>(Widget());
        const int64_t value = field.GetValue().ToInt64();
        group->SetItemIndex(value >= 0 && value < group->Count() ? static_cast<int>(value) : -1);
    }
    std::optional<Variant> Read() const override
    {
        const int index = static_cast<const TRadioGroup*>(Widget())->ItemIndex();
        if (index < 0) return std::nullopt;
        return Variant(int32_t{index});
    }
};

class TCheckControl : public TQtControl {
public:
    TCheckControl(TParamFrame& frame, QCheckBox* check) : TQtControl(frame, check)
    {
        connect(check, &QCheckBox::toggled, this, [this] { Notify(); });
    }
    void Show(const TField& field) override
    {
        static_cast<QCheckBox*>(Widget())->setChecked(field.GetValue().ToInt64() != 0);
    }
    std::optional<Variant> Read() const override { return Variant(static_cast<const QCheckBox*>(Widget())->isChecked()); }
};

class TEditControl : public TQtControl {
public:
    TEditControl(TParamFrame& frame, QLineEdit* edit) : TQtControl(frame, edit)
    {
        connect(edit, &QLineEdit::textChanged, this, [this] { Notify(); });
    }
    void Show(const TField& field) override
    {
        static_cast<QLineEdit*>(Widget())->setText(QString::fromStdString(field.GetValue().ToString()));
    }
    std::optional<Variant> Read() const override
    {
        auto* edit = static_cast<const QLineEdit*>(Widget());
        if (auto* ip = qobject_cast<const TIPAddressEdit*>(edit)) return Variant(ip->Address().toStdString());
        return Variant(edit->text().toStdString());
    }
};

// A widget of another kind: it holds its field, the frame leaves it alone.
class TOtherControl : public TQtControl {
public:
    using TQtControl::TQtControl;
    bool Edits() const override { return false; }
    void Show(const TField&) override {}
    std::optional<Variant> Read() const override { return std::nullopt; }
};

} // namespace

std::unique_ptr<TQtControl> TQtControl::For(TParamFrame& frame, QWidget* widget)
{
    if (auto* w = qobject_cast<TSpinEdit*>(widget)) return std::make_unique<TSpinControl>(frame, w);
    if (auto* w = qobject_cast<QComboBox*>(widget)) return std::make_unique<TComboControl>(frame, w);
    if (auto* w = qobject_cast<TRadioGroup*>(widget)) return std::make_unique<TRadioControl>(frame, w);
    if (auto* w = qobject_cast<QCheckBox*>(widget)) return std::make_unique<TCheckControl>(frame, w);
    if (auto* w = qobject_cast<QLineEdit*>(widget)) return std::make_unique<TEditControl>(frame, w);
    return std::make_unique<TOtherControl>(frame, widget);
}

TParamFrame::TParamFrame(QWidget* parent) : QFrame(parent) {}

TParamFrame::TParamFrame(QTreeWidget* tree, TFieldLst* fieldList, QWidget* parent) : QFrame(parent), Tree(tree)
{
    FieldList = fieldList;
}

TParamFrame::~TParamFrame()
{
    // The controls go before the widgets: no change of a dying widget reaches the cycle.
    adapters_.clear();
}

TBoundControl& TParamFrame::Adapter(QWidget* control)
{
    auto& slot = adapters_[control];
    if (!slot) slot = TQtControl::For(*this, control);
    return *slot;
}

void TParamFrame::Forget(QWidget* control)
{
    adapters_.erase(control);
}

void TParamFrame::AddTableRow(const TPageRow& row, QWidget* control) { tableControls_.push_back({&row, control}); }

void TParamFrame::Load(TFieldLst* list)
{
    for (const TTableControl& c : tableControls_)
        if (c.Row->Key) BindControlTo(c.Control, c.Row->Key, list);
    TParamBinding::Load(list);
}

void TParamFrame::BindControl(QWidget* control)
{
    BindControl(control, ControlKey(control->objectName().toStdString()));
}

void TParamFrame::BindControlTo(QWidget* control, std::string_view key, TFieldLst* list)
{
    BindControlTo(Adapter(control), key, list);
}

void TParamFrame::BindControlsTo(const std::vector<QWidget*>& controls, TFieldLst* list,
                                 const std::vector<std::string>& keys)
{
    std::vector<TBoundControl*> bound;
    bound.reserve(controls.size());
    for (QWidget* c : controls) bound.push_back(&Adapter(c));
    BindControlsTo(bound, list, keys);
}

void TParamFrame::UnbindControl(QWidget* control)
{
    if (TBoundControl* c = ControlOf(control)) UnbindControl(*c);
}

void TParamFrame::UnbindControls(const std::vector<QWidget*>& controls)
{
    for (QWidget* c : controls) UnbindControl(c);
}

void TParamFrame::SetChangeHandler(QWidget* control, TControlHandler handler)
{
    SetChangeHandler(Adapter(control), std::move(handler));
}

void TParamFrame::ShowValue(QWidget* control)
{
    if (TBoundControl* c = ControlOf(control)) ShowValue(*c);
}

void TParamFrame::ShowValueQuiet(QWidget* control)
{
    if (TBoundControl* c = ControlOf(control)) ShowValueQuiet(*c);
}

TField* TParamFrame::FieldOf(QWidget* control) const
{
    const TBoundControl* c = ControlOf(control);
    return c ? c->Field() : nullptr;
}

TBoundControl* TParamFrame::ControlOf(QWidget* control) const
{
    const auto it = adapters_.find(control);
    return it == adapters_.end() ? nullptr : it->second.get();
}

QWidget* TParamFrame::WidgetOf(const TBoundControl& control)
{
    auto* c = dynamic_cast<const TQtControl*>(&control);
    return c ? c->Widget() : nullptr;
}

void TParamFrame::AddGrid(QWidget* grid)
{
    grids_.emplace_back(grid);
}

void TParamFrame::FitHeight()
{
    if (QLayout* l = layout()) {
        // A page laid out by a layout first takes the height its layout asks for at its
        // width, so that its children sit where the layout puts them and are not
        // squeezed into whatever height the page had before.
        const int wanted = l->hasHeightForWidth() ? l->totalHeightForWidth(width()) : l->totalSizeHint().height();
        resize(width(), std::max(wanted, l->totalMinimumSize().height()));
        l->activate();
    }
    int bottom = 0;
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow() || w->isHidden()) continue;
        bottom = std::max(bottom, w->geometry().y() + w->geometry().height());
    }
    int height = bottom + 4;
    // Never below what the layout needs, or it squeezes the children again.
    if (QLayout* l = layout()) height = std::max(height, l->totalMinimumSize().height());
    resize(width(), height);
}

void TParamFrame::RefreshAll()
{
    TParamBinding::RefreshAll();
    for (const QPointer<QWidget>& grid : grids_) {
        if (!grid) continue;
        if (auto* area = qobject_cast<QAbstractScrollArea*>(grid.data())) {
            area->viewport()->update();
        } else {
            grid->update();
        }
    }
}
