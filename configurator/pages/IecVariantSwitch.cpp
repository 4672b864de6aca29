#include "configurator/pages/IecVariantSwitch.h"

#include "configurator/widgets/ParamControls.h"
#include "configurator/widgets/uParamFrame.h"

#include <QComboBox>

namespace {

// Touches the widget only when its own state differs (the rule runs on every idle
// cycle), whatever a disabled window around it makes of it meanwhile.
void SetEnabled(QWidget* widget, bool enabled)
{
    if (widget && widget->testAttribute(Qt::WA_ForceDisabled) == enabled) widget->setEnabled(enabled);
}

} // namespace

TIecVariantSwitch::TIecVariantSwitch(TParamFrame& page, const TControls& controls, bool pelvarDevice)
    : page_(page), controls_(controls), pelvarDevice_(pelvarDevice)
{
}

void TIecVariantSwitch::Hook()
{
    page_.SetChangeHandler(controls_.Variant, [this](const void*) { Preset(); });
}

void TIecVariantSwitch::RefreshQuietly(const std::function<void()>& refresh)
{
    quiet_ = true;
    try {
        refresh();
    } catch (...) {
        quiet_ = false;
        throw;
    }
    quiet_ = false;
}

void TIecVariantSwitch::Preset()
{
    if (quiet_) return;
    const auto sizes = IecVariantSizes(controls_.Variant->ItemIndex());
    if (!sizes) return;
    for (size_t i = 0; i < controls_.Sizes.size(); ++i) {
        QComboBox* combo = controls_.Sizes[i];
        combo->setCurrentIndex(combo->findData(QVariant::fromValue<qlonglong>((*sizes)[i])));
    }
}

void TIecVariantSwitch::Update() const
{
    const TIecVariantControls enabled = IecVariantControlsOf(controls_.Variant->ItemIndex(), pelvarDevice_);
    SetEnabled(controls_.Timeouts, enabled.TimeoutsEnabled);
    SetEnabled(controls_.Window, enabled.TimeoutsEnabled);
    for (QWidget* w : controls_.LinkAddress) SetEnabled(w, enabled.LinkAddressEnabled);
    SetEnabled(controls_.Class2, enabled.Class2Enabled);
}
