#include "configurator/rules/Filter.h"

#include "platform/DecimalSeparator.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

int SpeedCode(int64_t speed)
{
    switch (speed) {
    case 100: return 1;
    case 200: return 2;
    case 300: return 3;
    case 600: return 4;
    case 1200: return 5;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------------
// The design routine

TFilterDesigner LibraryDesigner(std::filesystem::path folder)
{
    return [folder = std::move(folder)](double* h, int n, int bands, const double* edges, const double* desired,
                                        const double* weights, int type) -> TDesignCall {
        using TRoutine = int(double*, int, int, const double*, const double*, const double*, int);
        void* library = dlopen((folder / FilterLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) return {TDesignCall::LibraryMissing, 0};
        auto* routine = reinterpret_cast<TRoutine*>(dlsym(library, FilterRoutineName));
        if (!routine) {
            dlclose(library);
            return {TDesignCall::RoutineMissing, 0};
        }
        const int result = routine(h, n, bands, edges, desired, weights, type);
        dlclose(library);
        return {TDesignCall::Called, result};
    };
}

// ---------------------------------------------------------------------------------
// Numbers of a design

std::vector<int32_t> ScaleTaps(std::span<const double> h)
{
    double sum = 0;
    for (double v : h) sum += std::fabs(v);
    std::vector<int32_t> taps(h.size(), 0);
    if (!(sum > 0) || !std::isfinite(sum)) return taps;
    const double s = TapScaleSum / sum;
    // The default rounding mode rounds ties to even.
    for (size_t i = 0; i < h.size(); ++i) taps[i] = static_cast<int32_t>(std::nearbyint(h[i] * s));
    return taps;
}

namespace {

double GridOmega(int i) { return ResponseStep * i * std::numbers::pi / (FilterSampleRate / 2); }

} // namespace

std::vector<double> ResponseEvenLength(std::span<const int32_t> taps)
{
    std::vector<double> a(ResponsePoints, 0.0);
    const size_t m = taps.size() / 2;
    for (int i = 0; i < ResponsePoints; ++i) {
        const double w = GridOmega(i);
        double sum = 0;
        for (size_t k = 0; k < m; ++k) sum += taps[m + k] * std::cos((static_cast<double>(k) + 0.5) * w);
        a[static_cast<size_t>(i)] = std::fabs(2 * sum);
    }
    return a;
}

std::vector<double> ResponseOddLength(std::span<const int32_t> taps)
{
    std::vector<double> a(ResponsePoints, 0.0);
    if (taps.empty()) return a;
    const size_t m = taps.size() / 2;
    for (int i = 0; i < ResponsePoints; ++i) {
        const double w = GridOmega(i);
        double sum = taps[m];
        for (size_t k = 1; k <= m; ++k) sum += 2.0 * taps[m + k] * std::cos(static_cast<double>(k) * w);
        a[static_cast<size_t>(i)] = std::fabs(sum);
    }
    return a;
}

TBandIndexes BandIndexes(int fstop1, int fpass1, int fpass2, int fstop2)
{
    const auto floorOf = [](int f) { return static_cast<int>(std::floor(f / ResponseStep)); };
    const auto ceilOf = [](int f) { return static_cast<int>(std::ceil(f / ResponseStep)); };
    return {floorOf(fstop1), ceilOf(fpass1), floorOf(fpass2), ceilOf(fstop2)};
}

TBandMeasures MeasureBands(std::span<const double> response, const TBandIndexes& bands)
{
    TBandMeasures m;
    const int last = static_cast<int>(response.size()) - 1;
    const auto at = [&](int i) { return response[static_cast<size_t>(i)]; };
    for (int i = 0; i <= std::min(bands.Stop1, last); ++i) m.StopMax = std::max(m.StopMax, at(i));
    for (int i = std::max(bands.Stop2, 0); i <= last; ++i) m.StopMax = std::max(m.StopMax, at(i));
    if (bands.Pass1 >= 0 && bands.Pass1 <= last) {
        m.PassMax = m.PassMin = at(bands.Pass1);
        for (int i = bands.Pass1; i <= std::min(bands.Pass2, last); ++i) {
            m.PassMax = std::max(m.PassMax, at(i));
            m.PassMin = std::min(m.PassMin, at(i));
        }
    }
    return m;
}

std::string DecibelText(double db)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", db);
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', platform::DecimalSeparator());
    return out;
}

namespace {

const char* const kPassLabel = "- в полосе пропускания:";
const char* const kStopLabel = "- в полосе заграждения:";

// 20 log10 of an amplitude ratio, a ratio below the chart's floor counting as the floor.
double RatioDb(double ratio)
{
    const double floor = std::pow(10.0, ChartFloorDb / 20);
    return 20 * std::log10(ratio > floor ? ratio : floor);
}

} // namespace

TResponseChart ChartResponse(std::span<const double> response, const TBandMeasures& m)
{
    TResponseChart chart;
    const double a = (m.PassMax + m.PassMin) / 2;
    chart.Left = {std::min(2 * RatioDb(m.StopMax / a), -40.0),
                  std::max(2 * RatioDb(2 * m.PassMax / (m.PassMax + m.PassMin)), 5.0)};
    chart.Series.reserve(response.size());
    for (size_t i = 0; i < response.size(); ++i) {
        const double amplitude = response[i];
        chart.Series.push_back(
            {ResponseStep * static_cast<double>(i), amplitude == 0 ? ChartFloorDb : 20 * std::log10(amplitude / a)});
    }
    // pass max / pass min, written as the inverse of the ratio that may reach the floor.
    chart.PassLabel = std::string(kPassLabel) + " " + DecibelText(-RatioDb(m.PassMin / m.PassMax)) + " дБ";
    chart.StopLabel = std::string(kStopLabel) + " " + DecibelText(RatioDb(m.StopMax / a)) + " дБ";
    return chart;
}

// ---------------------------------------------------------------------------------
// The dialog

const TFilterSpinDef FilterSpins[FilterSpinCount] = {
    {"fs1SE", "Fstop1", 100, 7500, 2430}, {"fp1SE", "Fpass1", 100, 7500, 2540}, {"fp2SE", "Fpass2", 100, 7500, 2740},
    {"fs2SE", "Fstop2", 100, 7500, 2850}, {"ws1SE", "Wstop1", 1, 999, 1},       {"wpSE", "Wpass", 1, 999, 1},
    {"ws2SE", "Wstop2", 1, 999, 1},
};

namespace {

const TAxisRange kFrequencyAxis{0, FilterSampleRate / 2};

} // namespace

TFilterForm::TFilterForm(TFilterDesignParams& params, TFilterDesigner designer)
    : params_(params), designer_(std::move(designer)), integerTaps_(FilterTaps, 0)
{
    for (int i = 0; i < FilterSpinCount; ++i) spins_[static_cast<size_t>(i)] = FilterSpins[i].Initial;
    ResetLabels();
}

std::string TFilterForm::Caption() { return "Расчет коэффициентов фильтра"; }

void TFilterForm::SetSpinValue(TFilterSpin spin, int value)
{
    const TFilterSpinDef& def = FilterSpins[Index(spin)];
    const int kept = std::clamp(value, def.Minimum, def.Maximum);
    if (spins_[static_cast<size_t>(Index(spin))] == kept) return;
    spins_[static_cast<size_t>(Index(spin))] = kept;
    ++revision_;
}

void TFilterForm::ResetLabels()
{
    passLabel_ = kPassLabel;
    stopLabel_ = kStopLabel;
}

void TFilterForm::DllError() const
{
    platform::ShowMessageBox(Owner, "Ошибка DLL...", platform::ApplicationTitle(), platform::MsgIcon::None,
                             platform::MsgButtons::OK);
}

bool TFilterForm::FormActivate()
{
    if (activated_) return false;
    activated_ = true;
    series_.clear();
    leftAxis_ = {-100, 5};
    bottomAxis_ = kFrequencyAxis;
    const uint16_t values[FilterSpinCount] = {params_.Fstop1, params_.Fpass1, params_.Fpass2, params_.Fstop2,
                                              params_.Wstop1, params_.Wpass,  params_.Wstop2};
    for (int i = 0; i < FilterSpinCount; ++i) SetSpinValue(static_cast<TFilterSpin>(i), values[i]);
    // The show starts from the coefficients it was opened with.
    for (int i = 0; i < FilterTaps; ++i)
        integerTaps_[static_cast<size_t>(i)] = static_cast<int16_t>(params_.Coefficients[static_cast<size_t>(i)]);
    designCurrent_ = params_.BandGiven;
    autoFillEnabled_ = params_.TonesKnown;
    ++revision_;
    if (designCurrent_)
        CalcBtnClick();
    else
        ResetLabels();
    return true;
}

void TFilterForm::CalcBtnClick()
{
    const double fs1 = SpinValue(TFilterSpin::Fstop1), fp1 = SpinValue(TFilterSpin::Fpass1);
    const double fp2 = SpinValue(TFilterSpin::Fpass2), fs2 = SpinValue(TFilterSpin::Fstop2);
    if (!(fs1 < fp1 && fp1 < fp2 && fp2 < fs2)) throw ECustomError("Неверно заданы частоты фильтра");
    const double r = std::fabs(fp1 - fs1) / std::fabs(fs2 - fp2);
    if (r < 0.4 || r > 2.5) throw ECustomError("Задайте симметричную характеристику");

    std::vector<double> h(FilterTaps, 0.0);
    const double edges[6] = {0, fs1 / FilterSampleRate, fp1 / FilterSampleRate, fp2 / FilterSampleRate,
                             fs2 / FilterSampleRate, 0.5};
    const double desired[3] = {0, 1, 0};
    const double weights[3] = {static_cast<double>(SpinValue(TFilterSpin::Wstop1)),
                               static_cast<double>(SpinValue(TFilterSpin::Wpass)),
                               static_cast<double>(SpinValue(TFilterSpin::Wstop2))};
    const TDesignCall call =
        designer_ ? designer_(h.data(), FilterTaps, 3, edges, desired, weights, 1) : TDesignCall{TDesignCall::LibraryMissing};
    if (call.Status == TDesignCall::LibraryMissing) {
        platform::ShowMessageBox(Owner, "DLL не найден...", platform::ApplicationTitle(), platform::MsgIcon::None,
                                 platform::MsgButtons::OK);
        return;
    }
    if (call.Status == TDesignCall::RoutineMissing || call.Result != 0) return DllError();
    double sum = 0;
    for (double v : h) sum += std::fabs(v);
    if (!std::isfinite(sum) || sum == 0) return DllError();

    std::vector<int32_t> taps = ScaleTaps(h);
    std::vector<double> response = FilterTaps % 2 == 0 ? ResponseEvenLength(taps) : ResponseOddLength(taps);
    const TBandIndexes bands = BandIndexes(static_cast<int>(fs1), static_cast<int>(fp1), static_cast<int>(fp2),
                                           static_cast<int>(fs2));
    const TBandMeasures m = MeasureBands(response, bands);
    const double a = (m.PassMax + m.PassMin) / 2;
    if (!(a > 0)) return DllError();

    doubleTaps_ = std::move(h);
    integerTaps_ = std::move(taps);
    response_ = std::move(response);
    bands_ = bands;
    measures_ = m;
    designCurrent_ = true;
    TResponseChart chart = ChartResponse(response_, m);
    leftAxis_ = chart.Left;
    bottomAxis_ = kFrequencyAxis;
    series_ = std::move(chart.Series);
    passLabel_ = std::move(chart.PassLabel);
    stopLabel_ = std::move(chart.StopLabel);
    ++revision_;
}

void TFilterForm::AutoFillBtnClick()
{
    static constexpr int kSteps[] = {100, 200, 300, 600, 1200, 2400, 40, 60, 80};
    const int code = params_.SpeedCode;
    const double step = code >= 1 && code <= 9 ? kSteps[code - 1] : 50;
    const double t0 = params_.Tone0, t1 = params_.Tone1;
    const double d = std::ceil(std::fabs(t1 - t0) / step);
    const int fpass1 = static_cast<int>(std::nearbyint((t0 + t1 - step * d) / 2));
    const int fpass2 = static_cast<int>(std::nearbyint((step * d + t0 + t1) / 2));
    SetSpinValue(TFilterSpin::Fpass1, fpass1);
    SetSpinValue(TFilterSpin::Fpass2, fpass2);
    SetSpinValue(TFilterSpin::Fstop1, fpass1 - 110);
    SetSpinValue(TFilterSpin::Fstop2, fpass2 + 110);
    CalcBtnClick();
}

void TFilterForm::ClearBtnClick()
{
    std::fill(integerTaps_.begin(), integerTaps_.end(), 0);
    integerTaps_[0] = 32767;
    designCurrent_ = false;
    series_ = {{0, 0}, {FilterSampleRate / 2, 0}};
    leftAxis_ = {-40, 5};
    bottomAxis_ = kFrequencyAxis;
    ResetLabels();
    ++revision_;
}

bool TFilterForm::OKBtnClick()
{
    params_.Fstop1 = static_cast<uint16_t>(SpinValue(TFilterSpin::Fstop1));
    params_.Fpass1 = static_cast<uint16_t>(SpinValue(TFilterSpin::Fpass1));
    params_.Fpass2 = static_cast<uint16_t>(SpinValue(TFilterSpin::Fpass2));
    params_.Fstop2 = static_cast<uint16_t>(SpinValue(TFilterSpin::Fstop2));
    params_.Wstop1 = static_cast<uint16_t>(SpinValue(TFilterSpin::Wstop1));
    params_.Wpass = static_cast<uint16_t>(SpinValue(TFilterSpin::Wpass));
    params_.Wstop2 = static_cast<uint16_t>(SpinValue(TFilterSpin::Wstop2));
    params_.BandGiven = designCurrent_;
    for (int i = 0; i < FilterTaps; ++i)
        params_.Coefficients[static_cast<size_t>(i)] = static_cast<uint16_t>(integerTaps_[static_cast<size_t>(i)]);
    return true;
}
