#include "configurator/rules/FAutoInc.h"

#include <algorithm>
#include <limits>
#include <utility>

TfmAutoInc::TfmAutoInc()
{
    for (int i = 0; i < AutoIncEditCount; ++i) values_[i] = AutoIncEdits[i].Initial;
}

std::string TfmAutoInc::Caption() { return "Установить значения"; }

int64_t TfmAutoInc::Minimum(TAutoIncValue which) const
{
    return which == aiCount ? 0 : std::numeric_limits<int32_t>::min();
}

int64_t TfmAutoInc::Maximum(TAutoIncValue which) const
{
    return which == aiCount ? countMaximum_ : std::numeric_limits<int32_t>::max();
}

void TfmAutoInc::SetValue(TAutoIncValue which, int64_t value)
{
    values_[which] = std::clamp(value, Minimum(which), Maximum(which));
}

void TfmAutoInc::SetCountMaximum(int64_t maximum)
{
    countMaximum_ = std::clamp<int64_t>(maximum, 0, std::numeric_limits<int32_t>::max());
    SetValue(aiCount, values_[aiCount]);
}

bool AskFillValues(int64_t maxCount, const TFillOperation& fill, std::shared_ptr<const platform::FormView> view,
                   platform::HWND owner)
{
    TfmAutoInc form;
    form.SetCountMaximum(maxCount);
    form.SetValue(aiCount, maxCount);
    platform::FormRequest request;
    request.owner = owner;
    request.model = &form;
    request.view = std::move(view);
    if (platform::ShowForm(request) != platform::MsgResult::OK) return false;
    fill(form.First(), form.Count(), form.Increment());
    return true;
}
