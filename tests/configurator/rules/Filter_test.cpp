#include "configurator/rules/Filter.h"

#include "platform/DecimalSeparator.h"
#include "platform/ProgramDir.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

namespace {

using platform::DialogKind;
using platform::MsgResult;

// A design routine that records its arguments and writes taps of its own making.
struct FakeRoutine {
    int calls = 0;
    int n = 0, bands = 0, type = 0;
    std::vector<double> edges, desired, weights;
    std::vector<double> taps; // written into h; empty: nothing written
    int result = 0;

    TFilterDesigner Designer()
    {
        return [this](double* h, int count, int bandCount, const double* e, const double* d, const double* w,
                      int kind) -> TDesignCall {
            ++calls;
            n = count;
            bands = bandCount;
            type = kind;
            edges.assign(e, e + 2 * bandCount);
            desired.assign(d, d + bandCount);
            weights.assign(w, w + bandCount);
            for (size_t i = 0; i < taps.size() && i < static_cast<size_t>(count); ++i) h[i] = taps[i];
            return {TDesignCall::Called, result};
        };
    }
};

// A symmetric band pass of 256 taps: a windowed difference of two sinc low passes
// (900 .. 2500 Hz at 16 kHz). Independent of the library.
std::vector<double> SincBandPass()
{
    std::vector<double> h(FilterTaps);
    const double f1 = 900 / FilterSampleRate, f2 = 2500 / FilterSampleRate;
    for (int i = 0; i < FilterTaps; ++i) {
        const double t = i - (FilterTaps - 1) / 2.0;
        const double window = 0.54 - 0.46 * std::cos(2 * std::numbers::pi * i / (FilterTaps - 1));
        const auto lowPass = [t](double f) { return std::sin(2 * std::numbers::pi * f * t) / (std::numbers::pi * t); };
        h[static_cast<size_t>(i)] = (lowPass(f2) - lowPass(f1)) * window;
    }
    return h;
}

TFilterDesignParams Params(uint16_t fs1, uint16_t fp1, uint16_t fp2, uint16_t fs2)
{
    TFilterDesignParams p;
    p.Fstop1 = fs1;
    p.Fpass1 = fp1;
    p.Fpass2 = fp2;
    p.Fstop2 = fs2;
    p.Wstop1 = p.Wpass = p.Wstop2 = 1;
    p.BandGiven = fs1 || fp1 || fp2 || fs2;
    return p;
}

std::vector<int> Spins(const TFilterForm& form)
{
    std::vector<int> out;
    for (int i = 0; i < FilterSpinCount; ++i) out.push_back(form.SpinValue(static_cast<TFilterSpin>(i)));
    return out;
}

TEST(FilterForm, AutoFillSetsTheBandFromTheTonesAndTheSpeed)
{
    struct Case {
        const char* name;
        int speed;
        uint16_t tone0, tone1;
        bool enabled;
        std::vector<int> edges; // Fstop1, Fpass1, Fpass2, Fstop2 after "Авто"
    };
    const Case cases[] = {
        {"600 Bd, step 600, d 2", 600, 1300, 2100, true, {990, 1100, 2300, 2410}},
        {"an exact half rounds to even", 600, 1301, 2100, true, {990, 1100, 2300, 2410}},
        {"1200 Bd, step 1200, d 1", 1200, 1700, 2300, true, {1290, 1400, 2600, 2710}},
        {"2400 Bd has speed code 0: no \"Авто\"", 2400, 1300, 2100, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::DialogScript dialogs;
        FakeRoutine routine;
        routine.taps = SincBandPass();
        TFilterDesignParams params;
        params.SpeedCode = SpeedCode(c.speed);
        params.TonesKnown = params.SpeedCode != 0;
        params.Tone0 = c.tone0;
        params.Tone1 = c.tone1;
        TFilterForm form(params, routine.Designer());
        EXPECT_TRUE(form.FormActivate());
        EXPECT_EQ(form.AutoFillEnabled(), c.enabled);
        if (!c.enabled) continue;
        form.AutoFillBtnClick();
        const std::vector<int> spins = Spins(form);
        EXPECT_EQ(std::vector<int>(spins.begin(), spins.begin() + 4), c.edges);
        EXPECT_EQ(routine.calls, 1);
        EXPECT_TRUE(form.DesignCurrent());
    }
    EXPECT_EQ(SpeedCode(100), 1);
    EXPECT_EQ(SpeedCode(300), 3);
    EXPECT_EQ(SpeedCode(1200), 5);
    EXPECT_EQ(SpeedCode(0), 0);
}

TEST(FilterForm, CalcChecksTheBandEdges)
{
    struct Case {
        const char* name;
        int fs1, fp1, fp2, fs2;
        const char* error; // none: the design runs
    };
    const Case cases[] = {
        {"the dialog's initial edges", 2430, 2540, 2740, 2850, nullptr},
        {"pass edges equal", 2430, 2540, 2540, 2850, "Неверно заданы частоты фильтра"},
        {"stop edge above the pass edge", 2600, 2540, 2740, 2850, "Неверно заданы частоты фильтра"},
        {"upper stop edge below the pass edge", 2430, 2540, 2740, 2700, "Неверно заданы частоты фильтра"},
        {"widths 100 and 260", 2440, 2540, 2740, 3000, "Задайте симметричную характеристику"},
        {"widths 260 and 100", 2280, 2540, 2740, 2840, "Задайте симметричную характеристику"},
        {"r = 0.4 exactly", 2440, 2540, 2740, 2990, nullptr},
        {"r = 2.5 exactly", 2290, 2540, 2740, 2840, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRoutine routine;
        routine.taps = SincBandPass();
        TFilterDesignParams params;
        TFilterForm form(params, routine.Designer());
        form.SetSpinValue(TFilterSpin::Fstop1, c.fs1);
        form.SetSpinValue(TFilterSpin::Fpass1, c.fp1);
        form.SetSpinValue(TFilterSpin::Fpass2, c.fp2);
        form.SetSpinValue(TFilterSpin::Fstop2, c.fs2);
        if (c.error) {
            try {
                form.CalcBtnClick();
                ADD_FAILURE() << "no error";
            } catch (const ECustomError& e) {
                EXPECT_STREQ(e.what(), c.error);
            }
            EXPECT_EQ(routine.calls, 0);
            EXPECT_FALSE(form.DesignCurrent());
        } else {
            form.CalcBtnClick();
            EXPECT_EQ(routine.calls, 1);
            EXPECT_TRUE(form.DesignCurrent());
        }
    }
}

// The routine gets the dialog's edges as fractions of 16 kHz, the weights, 256 taps,
// three bands and type 1; its taps are scaled to integers summing to 49152 in magnitude.
TEST(FilterForm, CalcCallsTheRoutineAndScalesItsTaps)
{
    FakeRoutine routine;
    routine.taps = SincBandPass();
    TFilterDesignParams params;
    TFilterForm form(params, routine.Designer());
    form.SetSpinValue(TFilterSpin::Wstop1, 3);
    form.SetSpinValue(TFilterSpin::Wpass, 1);
    form.SetSpinValue(TFilterSpin::Wstop2, 7);
    form.CalcBtnClick();
    EXPECT_EQ(routine.n, 256);
    EXPECT_EQ(routine.bands, 3);
    EXPECT_EQ(routine.type, 1);
    EXPECT_EQ(routine.edges, (std::vector<double>{0, 2430 / 16000.0, 2540 / 16000.0, 2740 / 16000.0, 2850 / 16000.0, 0.5}));
    EXPECT_EQ(routine.desired, (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(routine.weights, (std::vector<double>{3, 1, 7}));
    EXPECT_EQ(form.DoubleTaps(), routine.taps);

    double sum = 0;
    for (double v : routine.taps) sum += std::fabs(v);
    long magnitude = 0;
    for (size_t i = 0; i < FilterTaps; ++i) {
        EXPECT_EQ(form.IntegerTaps()[i], std::lround(routine.taps[i] * 49152 / sum)) << i;
        magnitude += std::labs(form.IntegerTaps()[i]);
    }
    EXPECT_NEAR(magnitude, 49152, 128); // each tap rounds by at most one half
    EXPECT_EQ(form.Response(), ResponseEvenLength(form.IntegerTaps()));
    EXPECT_EQ(form.Series().size(), static_cast<size_t>(ResponsePoints));
    EXPECT_EQ(form.BottomAxis(), (TAxisRange{0, 8000}));
}

// The same through the filter library of the build.
TEST(FilterForm, DesignsWithTheLibrary)
{
    TFilterDesignParams params = Params(990, 1100, 2300, 2410);
    TFilterForm form(params, LibraryDesigner(platform::ExecutableDir()));
    ASSERT_TRUE(form.FormActivate()); // a band is given: it designs at once
    ASSERT_TRUE(form.DesignCurrent());
    long magnitude = 0;
    for (int32_t tap : form.IntegerTaps()) magnitude += std::labs(tap);
    EXPECT_NEAR(magnitude, 49152, 128);
    for (int i = 0; i < FilterTaps; ++i) EXPECT_EQ(form.IntegerTaps()[i], form.IntegerTaps()[FilterTaps - 1 - i]);
    // A band pass: about 0 dB between the pass edges, far down in the stop bands.
    const TBandMeasures& m = form.Measures();
    EXPECT_LT(20 * std::log10(m.PassMax / m.PassMin), 1.0);
    EXPECT_LT(20 * std::log10(m.StopMax / ((m.PassMax + m.PassMin) / 2)), -20.0);
    EXPECT_NEAR(form.Series()[1700 / 5].Y, 0.0, 0.5);

    // OK stores the low 16 bits of each tap, the spins and the design-current flag.
    EXPECT_TRUE(form.OKBtnClick());
    bool negative = false;
    for (int i = 0; i < FilterTaps; ++i) {
        const int32_t tap = form.IntegerTaps()[static_cast<size_t>(i)];
        negative = negative || tap < 0;
        EXPECT_EQ(params.Coefficients[static_cast<size_t>(i)], tap < 0 ? 65536 + tap : tap) << i;
    }
    EXPECT_TRUE(negative);
    EXPECT_TRUE(params.BandGiven);
    EXPECT_EQ(params.Fstop1, 990);
    EXPECT_EQ(params.Fstop2, 2410);
}

TEST(FilterNumbers, BandIndexesAndMeasures)
{
    EXPECT_EQ(BandIndexes(2433, 2541, 2739, 2851), (TBandIndexes{486, 509, 547, 571}));
    EXPECT_EQ(BandIndexes(2430, 2540, 2740, 2850), (TBandIndexes{486, 508, 548, 570}));

    // Stop max over both stop bands, the pass band's extremes from its first point on.
    std::vector<double> a(ResponsePoints, 0.5);
    a[3] = 2;       // lower stop band
    a[1590] = 3;    // upper stop band, the larger
    a[10] = 9;      // transition: not measured
    a[20] = 0.25;   // pass band
    a[25] = 4;
    a[30] = 100;    // past the pass band
    const TBandMeasures m = MeasureBands(a, {5, 20, 25, 40});
    EXPECT_EQ(m.StopMax, 3);
    EXPECT_EQ(m.PassMax, 4);
    EXPECT_EQ(m.PassMin, 0.25);
    // An empty pass band measures its first point.
    const TBandMeasures single = MeasureBands(a, {5, 25, 24, 40});
    EXPECT_EQ(single.PassMax, 4);
    EXPECT_EQ(single.PassMin, 4);
}

// Both responses against the direct sum |sum h[n] e^(-j w n)|.
TEST(FilterNumbers, ResponsesEqualTheDirectSum)
{
    const auto direct = [](const std::vector<int32_t>& h, int i) {
        const double w = 5.0 * i * std::numbers::pi / 8000;
        std::complex<double> sum = 0;
        for (size_t k = 0; k < h.size(); ++k) sum += static_cast<double>(h[k]) * std::polar(1.0, -w * static_cast<double>(k));
        return std::abs(sum);
    };
    const std::vector<int32_t> odd = {3, -5, 7, 20, 7, -5, 3};
    const std::vector<int32_t> even = {-2, 4, 9, 31, 31, 9, 4, -2};
    const std::vector<double> oddA = ResponseOddLength(odd);
    const std::vector<double> evenA = ResponseEvenLength(even);
    ASSERT_EQ(oddA.size(), static_cast<size_t>(ResponsePoints));
    ASSERT_EQ(evenA.size(), static_cast<size_t>(ResponsePoints));
    for (int i = 0; i < ResponsePoints; ++i) {
        EXPECT_NEAR(oddA[static_cast<size_t>(i)], direct(odd, i), 1e-9) << i;
        EXPECT_NEAR(evenA[static_cast<size_t>(i)], direct(even, i), 1e-9) << i;
    }
}

TEST(FilterNumbers, LabelsFollowTheUsersSeparator)
{
    std::vector<double> a(ResponsePoints, 0.01);
    for (int i = 200; i <= 300; ++i) a[static_cast<size_t>(i)] = i % 2 ? 1.0 : 0.5;
    const TBandMeasures m = MeasureBands(a, {190, 200, 300, 310});
    for (const auto& [separator, pass, stop] : {std::tuple{',', "6,02", "-37,50"}, std::tuple{'.', "6.02", "-37.50"}}) {
        platform::SetDecimalSeparatorForTesting(separator);
        const TResponseChart chart = ChartResponse(a, m);
        EXPECT_EQ(chart.PassLabel, std::string("- в полосе пропускания: ") + pass + " дБ");
        EXPECT_EQ(chart.StopLabel, std::string("- в полосе заграждения: ") + stop + " дБ");
    }
    platform::SetDecimalSeparatorForTesting(0);
}

// Zero amplitudes in the stop band and the pass band keep the axes and labels finite:
// a ratio below the plot's floor of -150 dB counts as the floor.
TEST(FilterNumbers, ZeroAmplitudesGiveFiniteAxesAndLabels)
{
    platform::SetDecimalSeparatorForTesting('.');
    std::vector<double> a(ResponsePoints, 0.0);
    a[250] = 2;
    const TResponseChart chart = ChartResponse(a, MeasureBands(a, {190, 200, 300, 310}));
    EXPECT_EQ(chart.Left, (TAxisRange{-300, 2 * 20 * std::log10(2.0)}));
    EXPECT_EQ(chart.PassLabel, "- в полосе пропускания: 150.00 дБ");
    EXPECT_EQ(chart.StopLabel, "- в полосе заграждения: -150.00 дБ");
    EXPECT_EQ(chart.Series[0], (TChartPoint{0, -150}));
    EXPECT_EQ(chart.Series[250], (TChartPoint{1250, 20 * std::log10(2.0)}));
    platform::SetDecimalSeparatorForTesting(0);
}

// A routine that fails, or gives no usable taps, shows "Ошибка DLL..." and leaves the
// dialog as it was: its taps, the design-current flag and the chart.
TEST(FilterForm, AFailedDesignChangesNothing)
{
    struct Case {
        const char* name;
        std::vector<double> taps;
        int result;
    };
    std::vector<double> nan = SincBandPass();
    nan[7] = std::nan("");
    const Case cases[] = {
        {"the routine writes nothing", {}, 0},
        {"the routine writes zeros", std::vector<double>(FilterTaps, 0.0), 0},
        {"the routine reports a failure", SincBandPass(), 1},
        {"a tap is not a number", nan, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::DialogScript dialogs;
        dialogs->PushAnswer(MsgResult::OK);
        FakeRoutine routine;
        routine.taps = c.taps;
        routine.result = c.result;
        TFilterDesignParams params = Params(2430, 2540, 2740, 2850);
        params.BandGiven = false;
        params.Coefficients[0] = 100;
        params.Coefficients[255] = 65531;
        TFilterForm form(params, routine.Designer());
        form.FormActivate();
        const int revision = form.Revision();
        form.CalcBtnClick();
        EXPECT_EQ(routine.calls, 1);
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Ошибка DLL...");
        EXPECT_FALSE(form.DesignCurrent());
        EXPECT_EQ(form.Revision(), revision);
        EXPECT_TRUE(form.Series().empty());
        EXPECT_EQ(form.IntegerTaps()[0], 100);
        EXPECT_EQ(form.IntegerTaps()[255], -5);
        EXPECT_EQ(form.PassLabel(), "- в полосе пропускания:");
    }
}

TEST(FilterForm, ActivationRunsOncePerShow)
{
    FakeRoutine routine;
    routine.taps = SincBandPass();
    // A band given: the spins take the parameters and one design runs.
    TFilterDesignParams given = Params(990, 1100, 2300, 2410);
    given.Wstop1 = 3;
    TFilterForm form(given, routine.Designer());
    EXPECT_TRUE(form.FormActivate());
    EXPECT_EQ(Spins(form), (std::vector<int>{990, 1100, 2300, 2410, 3, 1, 1}));
    EXPECT_EQ(routine.calls, 1);
    EXPECT_TRUE(form.DesignCurrent());
    EXPECT_FALSE(form.FormActivate());
    EXPECT_EQ(routine.calls, 1);

    // None given: no design; spins within their ranges; the taps the parameters'.
    TFilterDesignParams none;
    none.Coefficients[3] = 65535;
    TFilterForm empty(none, routine.Designer());
    EXPECT_TRUE(empty.FormActivate());
    EXPECT_EQ(routine.calls, 1);
    EXPECT_FALSE(empty.DesignCurrent());
    EXPECT_EQ(Spins(empty), (std::vector<int>{100, 100, 100, 100, 1, 1, 1}));
    EXPECT_EQ(empty.PassLabel(), "- в полосе пропускания:");
    EXPECT_EQ(empty.StopLabel(), "- в полосе заграждения:");
    EXPECT_EQ(empty.LeftAxis(), (TAxisRange{-100, 5}));
    EXPECT_EQ(empty.IntegerTaps()[3], -1);
    // OK without a design writes the same taps back.
    empty.OKBtnClick();
    EXPECT_EQ(none.Coefficients[3], 65535);
    EXPECT_FALSE(none.BandGiven);
}

TEST(FilterForm, NoFilterPassesThrough)
{
    FakeRoutine routine;
    routine.taps = SincBandPass();
    TFilterDesignParams params = Params(990, 1100, 2300, 2410);
    TFilterForm form(params, routine.Designer());
    form.FormActivate();
    ASSERT_TRUE(form.DesignCurrent());
    form.ClearBtnClick();
    EXPECT_FALSE(form.DesignCurrent());
    std::vector<int32_t> through(FilterTaps, 0);
    through[0] = 32767;
    EXPECT_EQ(form.IntegerTaps(), through);
    EXPECT_EQ(form.Series(), (std::vector<TChartPoint>{{0, 0}, {8000, 0}}));
    EXPECT_EQ(form.LeftAxis(), (TAxisRange{-40, 5}));
    EXPECT_EQ(form.BottomAxis(), (TAxisRange{0, 8000}));
    EXPECT_EQ(form.PassLabel(), "- в полосе пропускания:");
    form.OKBtnClick();
    EXPECT_EQ(params.Coefficients[0], 32767);
    for (int i = 1; i < FilterTaps; ++i) EXPECT_EQ(params.Coefficients[static_cast<size_t>(i)], 0) << i;
    EXPECT_FALSE(params.BandGiven);
    EXPECT_EQ(params.Fpass1, 1100);
}

} // namespace
