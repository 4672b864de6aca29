#include "configurator/rules/ParamBinding.h"

#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <limits>

TBoundControl::~TBoundControl()
{
    if (owner_) owner_->Forget(*this);
}

void TBoundControl::Changed()
{
    if (hooked_ && owner_) {
        owner_->Hooked(*this);
    } else if (onChange_) {
        const TControlHandler handler = onChange_; // it may replace itself
        handler(Sender());
    }
}

TParamBinding::TParamBinding(TErrorDisplay display) : display_(std::move(display)) {}

TParamBinding::~TParamBinding()
{
    // Controls that outlive the frame keep their own handlers and store nothing.
    for (TBoundControl* c : controls_) {
        if (auto it = store_.find(c); it != store_.end()) c->onChange_ = std::move(it->second);
        c->owner_ = nullptr;
        c->hooked_ = false;
        c->field_ = nullptr;
    }
}

void TParamBinding::ShowError(std::exception_ptr error) const noexcept
{
    if (display_) {
        try {
            display_(error);
            return;
        } catch (...) {
            // A display that fails gives way to the application's.
        }
    }
    platform::ShowException(error);
}

void TParamBinding::Register(TBoundControl& control)
{
    if (control.owner_ == this) return;
    if (control.owner_) {
        // Bound by another frame before: it leaves that frame with its own handler.
        TParamBinding* other = control.owner_;
        if (auto it = other->store_.find(&control); it != other->store_.end()) {
            control.onChange_ = std::move(it->second);
        }
        control.hooked_ = false;
        other->Forget(control);
    }
    control.owner_ = this;
    controls_.push_back(&control);
}

void TParamBinding::Forget(TBoundControl& control)
{
    std::erase(controls_, &control);
    std::erase_if(missed_, [&](const TMissedKey& m) { return m.Control == &control; });
    store_.erase(&control);
    control.owner_ = nullptr;
}

void TParamBinding::BindControlTo(TBoundControl& control, std::string_view key, TFieldLst* list)
{
    Register(control);
    control.field_ = list ? dynamic_cast<TField*>(list->FindField(key)) : nullptr;
    if (!control.field_) missed_.push_back({&control, std::string(key)});
}

void TParamBinding::BindControlsTo(const std::vector<TBoundControl*>& controls, TFieldLst* list,
                                   const std::vector<std::string>& keys)
{
    if (controls.size() < keys.size()) {
        throw platform::EListError(platform::Format("List index out of bounds (%d)", static_cast<int>(controls.size())));
    }
    for (size_t i = 0; i < keys.size(); ++i) BindControlTo(*controls[i], keys[i], list);
}

void TParamBinding::UnbindControl(TBoundControl& control)
{
    control.field_ = nullptr;
    if (control.owner_ != this || !control.hooked_) return; // its own handler stays where it is
    control.hooked_ = false;
    if (auto it = store_.find(&control); it != store_.end()) {
        control.onChange_ = std::move(it->second);
        store_.erase(it);
    } else {
        control.onChange_ = nullptr;
    }
}

void TParamBinding::UnbindControls(const std::vector<TBoundControl*>& controls)
{
    for (TBoundControl* c : controls) UnbindControl(*c);
}

void TParamBinding::SetChangeHandler(TBoundControl& control, TControlHandler handler)
{
    if (control.owner_ == this && control.hooked_) {
        if (handler) {
            store_[&control] = std::move(handler);
        } else {
            store_.erase(&control);
        }
    } else {
        control.onChange_ = std::move(handler);
    }
}

void TParamBinding::Hook(TBoundControl& control)
{
    if (control.hooked_) return; // already runs this frame's cycle: nothing to save
    if (control.onChange_ && !store_.contains(&control)) store_[&control] = std::move(control.onChange_);
    control.onChange_ = nullptr;
    control.hooked_ = true;
}

void TParamBinding::Load(TFieldLst*)
{
    // By index: a control may go while others are set.
    for (size_t i = 0; i < controls_.size(); ++i) {
        TBoundControl& c = *controls_[i];
        if (!c.field_ || !c.Edits()) continue;
        Hook(c);
        const bool was = Loading;
        Loading = true;
        try {
            c.Show(*c.field_);
        } catch (...) {
            Loading = was;
            throw;
        }
        Loading = was;
    }
}

void TParamBinding::Hooked(TBoundControl& control)
{
    try {
        ControlChanged(control);
    } catch (...) {
        ShowError(std::current_exception());
    }
}

void TParamBinding::ControlChanged(TBoundControl& sender)
{
    if (Loading) return;
    if (TField* field = sender.Field(); field && sender.Edits()) {
        if (const std::optional<Variant> value = sender.Read()) {
            bool accept = true;
            ValidateValue(sender, field, *value, nullptr, accept);
            if (accept) {
                field->SetValue(*value);
                if (OnFieldChanged) OnFieldChanged(sender.Sender(), field);
            }
        }
    }
    if (auto it = store_.find(&sender); it != store_.end()) {
        const TControlHandler handler = it->second; // it may unbind the control
        handler(sender.Sender());
    }
}

void TParamBinding::ValidateValue(TBoundControl& sender, TField* field, const Variant& value, TFieldLst* row,
                                  bool& accept)
{
    if (!OnValidate) return;
    try {
        OnValidate(sender.Sender(), field, value, row, accept);
    } catch (...) {
        accept = false;
    }
    if (!accept) {
        ShowValueQuiet(sender);
        if (OnRejected) OnRejected(sender.Sender(), field, value);
    }
}

void TParamBinding::RefreshAll()
{
    for (size_t i = 0; i < controls_.size(); ++i) {
        TBoundControl& c = *controls_[i];
        if (c.field_ && c.Edits()) ShowValue(c);
    }
}

void TParamBinding::ShowValue(TBoundControl& control)
{
    if (control.field_ && control.Edits()) control.Show(*control.field_);
}

void TParamBinding::ShowValueQuiet(TBoundControl& control)
{
    const bool was = Loading;
    Loading = true;
    try {
        ShowValue(control);
    } catch (...) {
        Loading = was;
        throw;
    }
    Loading = was;
}

std::string ControlKey(std::string_view controlName)
{
    for (const char* prefix : {"cb", "ed", "ch", "rg", "se"}) {
        if (controlName.starts_with(prefix)) return std::string(controlName.substr(2));
    }
    return std::string(controlName);
}

std::pair<double, double> FieldTypeRange(uint16_t fieldType)
{
    switch (fieldType) {
    case ftSmallint: return {INT16_MIN, INT16_MAX};
    case ftInteger: return {INT32_MIN, INT32_MAX};
    case ftSingle: return {-FLT_MAX, FLT_MAX};
    case ftShortInt: return {INT8_MIN, INT8_MAX};
    case ftByte: return {0, UINT8_MAX};
    case ftWord: return {0, UINT16_MAX};
    case ftLongWord: return {0, UINT32_MAX};
    case ftLongWord24: return {0, 0xFFFFFF};
    default: return {0, 0};
    }
}
