#pragma once

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "platform/Windows.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

// The filter design dialog "Расчет коэффициентов фильтра" without widgets: a 256-tap
// band-pass FIR filter for 16000 Hz, designed by the filter library from four band
// edges and three weights, scaled to integer taps and shown as its amplitude response
// in dB from 0 to 8000 Hz. Its Qt view (configurator/pages/FilterView.h) shows the
// state kept here and calls the handlers.

// The dialog's input errors; shown on the error display, the dialog stays open.
class ECustomError : public platform::Exception {
public:
    using Exception::Exception;
};

inline constexpr int FilterTaps = 256;
inline constexpr double FilterSampleRate = 16000;
// The response is computed at 0, 5, 10 .. 8000 Hz.
inline constexpr int ResponsePoints = 1601;
inline constexpr double ResponseStep = 5;
// The sum of the integer taps' magnitudes a design is scaled to.
inline constexpr double TapScaleSum = 49152;
// Where the chart draws a zero amplitude, and the lowest ratio the limits and the
// labels take (a smaller one counts as this).
inline constexpr double ChartFloorDb = -150;

// What the modem page and the dialog share, one per program run: it keeps its contents
// between dialogs. The page fills it from a filter record before the dialog shows, OK
// writes the dialog's result into it.
struct TFilterDesignParams {
    uint16_t Fstop1 = 0, Fpass1 = 0, Fpass2 = 0, Fstop2 = 0; // band edges, Hz
    uint16_t Wstop1 = 0, Wpass = 0, Wstop2 = 0;               // band weights
    uint16_t Tone0 = 0, Tone1 = 0;                            // the filter's two tones, Hz
    int SpeedCode = 0;                                        // SpeedCode of the modem speed
    bool TonesKnown = false;                                  // SpeedCode is not 0
    std::array<uint16_t, FilterTaps> Coefficients{};          // 16-bit two's complement taps
    // On show: a band edge is not 0. After OK: a design is current.
    bool BandGiven = false;
};

// The speed code of a modem speed: 100 Bd 1, 200 2, 300 3, 600 4, 1200 5, any other 0.
int SpeedCode(int64_t speed);

// ---------------------------------------------------------------------------------
// The design routine

// How a call of the design routine went: the library could not be loaded, it lacks the
// routine, or the routine ran and gave Result.
struct TDesignCall {
    enum TStatus { Called, LibraryMissing, RoutineMissing } Status = Called;
    int Result = 0;
};

// One call of the design routine with its arguments, in the library's order: taps h,
// their number n, bands, 2 x bands edges (fractions of the sample rate), the desired
// amplitude and the weight of each band, the filter type (1: band pass).
using TFilterDesigner = std::function<TDesignCall(double* h, int n, int bands, const double* edges,
                                                  const double* desired, const double* weights, int type)>;

inline constexpr char FilterLibraryName[] = "libfilter.so";
inline constexpr char FilterRoutineName[] = "test";

// The designer over the filter library FilterLibraryName in folder: each call loads the
// library, finds its routine FilterRoutineName, calls it and releases the library right
// after. A library that does not load gives LibraryMissing; one without the routine
// RoutineMissing (and is released).
TFilterDesigner LibraryDesigner(std::filesystem::path folder);

// ---------------------------------------------------------------------------------
// Numbers of a design

// Taps scaled so that their magnitudes sum to TapScaleSum, each rounded to the nearest
// integer, ties to even. All zeros when the magnitudes sum to 0.
std::vector<int32_t> ScaleTaps(std::span<const double> h);

// The amplitude response of symmetric integer taps at the ResponsePoints frequencies
// 5 x i Hz, w = 5 x i x pi / 8000. Even length: m = n / 2, A[i] = |2 sum q[k]
// cos((k + 0.5) w)| over q[k] = tap m + k, k = 0 .. m - 1. Odd length: m = n div 2,
// A[i] = |q[0] + sum over k = 1 .. m of 2 q[k] cos(k w)|. No taps: zeros.
std::vector<double> ResponseEvenLength(std::span<const int32_t> taps);
std::vector<double> ResponseOddLength(std::span<const int32_t> taps);

// The band edges as indexes of the 5 Hz grid: floor for the stop edges' outer sides,
// ceil for the pass band's: floor(Fstop1 / 5), ceil(Fpass1 / 5), floor(Fpass2 / 5),
// ceil(Fstop2 / 5).
struct TBandIndexes {
    int Stop1 = 0, Pass1 = 0, Pass2 = 0, Stop2 = 0;
    bool operator==(const TBandIndexes&) const = default;
};
TBandIndexes BandIndexes(int fstop1, int fpass1, int fpass2, int fstop2);

// StopMax: the largest amplitude at 0 .. Stop1 and Stop2 .. the last point (at least 0).
// PassMax, PassMin: the largest and smallest at Pass1 .. Pass2, starting from A[Pass1].
// Indexes outside the response are left out.
struct TBandMeasures {
    double StopMax = 0, PassMax = 0, PassMin = 0;
};
TBandMeasures MeasureBands(std::span<const double> response, const TBandIndexes& bands);

// A level in dB as the labels show it: two decimals with the user's separator.
std::string DecibelText(double db);

struct TAxisRange {
    double Min = 0, Max = 0;
    bool operator==(const TAxisRange&) const = default;
};
struct TChartPoint {
    double X = 0, Y = 0; // Hz, dB
    bool operator==(const TChartPoint&) const = default;
};

// What the dialog shows of a design, a the mean of the pass band's largest and
// smallest amplitude (above 0):
// - Left: the left axis, from 40 log10(stop max / a), at most -40, to 40 log10(2 pass
//   max / (pass max + pass min)), at least 5;
// - Series: (5 i Hz, 20 log10(A[i] / a) dB) for every point, ChartFloorDb for a zero;
// - PassLabel: "- в полосе пропускания: " + 20 log10(pass max / pass min) + " дБ";
// - StopLabel: "- в полосе заграждения: " + 20 log10(stop max / a) + " дБ".
// An amplitude ratio below the floor counts as the floor, so a stop band or a pass-band
// minimum of 0 gives finite limits and labels.
struct TResponseChart {
    TAxisRange Left;
    std::vector<TChartPoint> Series;
    std::string PassLabel, StopLabel;
};
TResponseChart ChartResponse(std::span<const double> response, const TBandMeasures& measures);

// ---------------------------------------------------------------------------------
// The dialog

// The dialog's spin edits, in their order.
enum class TFilterSpin { Fstop1, Fpass1, Fpass2, Fstop2, Wstop1, Wpass, Wstop2 };
inline constexpr int FilterSpinCount = 7;
struct TFilterSpinDef {
    const char* Name;    // object name
    const char* Caption;
    int Minimum, Maximum, Initial;
};
// fs1SE "Fstop1", fp1SE "Fpass1", fp2SE "Fpass2", fs2SE "Fstop2": 100 .. 7500, initially
// 2430, 2540, 2740, 2850; ws1SE "Wstop1", wpSE "Wpass", ws2SE "Wstop2": 1 .. 999,
// initially 1.
extern const TFilterSpinDef FilterSpins[FilterSpinCount];

// The dialog's model, made for one show over the program's parameter block and a
// designer. Handlers raise ECustomError for input errors (the view shows them and stays
// open); the library's failures are message boxes through the dialog service.
class TFilterForm : public platform::FormModel {
public:
    TFilterForm(TFilterDesignParams& params, TFilterDesigner designer);

    std::string FormName() const override { return "TFilterForm"; }
    // "Расчет коэффициентов фильтра".
    static std::string Caption();

    // The window the dialog's message boxes belong to (0: the main window).
    platform::HWND Owner = 0;

    int SpinValue(TFilterSpin spin) const { return spins_[Index(spin)]; }
    // Sets a spin, kept within its range as the spin edit keeps it.
    void SetSpinValue(TFilterSpin spin, int value);

    // The first activation of a show: clears the series; left axis -100 .. 5, bottom
    // 0 .. 8000; the spins from the parameters; the integer taps are the parameters'
    // coefficients; the design is current when a band was given, and then designs at
    // once (CalcBtnClick, whose errors pass on), else resets the labels; "Авто" is
    // enabled when the tones are known. Later activations of the same show (the window
    // regaining the focus) do nothing. Returns whether it ran.
    bool FormActivate();
    // "Расчет": checks the edges (ECustomError "Неверно заданы частоты фильтра" unless
    // Fstop1 < Fpass1 < Fpass2 < Fstop2; "Задайте симметричную характеристику" when
    // |Fpass1 - Fstop1| / |Fstop2 - Fpass2| is below 0.4 or above 2.5), runs the
    // routine, scales its taps, computes the response, the band measures, the axes,
    // the series and the labels, and marks the design current. "DLL не найден..." when
    // the library does not load; "Ошибка DLL..." when it lacks the routine, or the
    // routine fails (a non-zero result, taps that sum to 0 or are not finite, a pass
    // band of mean 0): nothing of the dialog changes then.
    void CalcBtnClick();
    // "Авто": band edges from the tones and the speed code's step, then CalcBtnClick.
    // Step 100, 200, 300, 600, 1200, 2400, 40, 60, 80 Bd for codes 1 .. 9, else 50;
    // d = ceil(|Tone1 - Tone0| / step); Fpass1 = (Tone0 + Tone1 - step d) / 2 and
    // Fpass2 = (Tone0 + Tone1 + step d) / 2, rounded, ties to even; Fstop1 = Fpass1 - 110,
    // Fstop2 = Fpass2 + 110.
    void AutoFillBtnClick();
    // "Без фильтра": taps 32767, 0 .. 0; no design current; the series the two points
    // (0, 0) and (8000, 0); left axis -40 .. 5; the labels reset.
    void ClearBtnClick();
    // "OK": the spins, the design-current flag (as BandGiven) and the low 16 bits of
    // the integer taps go into the parameters. The dialog closes with OK (true).
    bool OKBtnClick();

    bool Activated() const { return activated_; }
    bool DesignCurrent() const { return designCurrent_; }
    bool AutoFillEnabled() const { return autoFillEnabled_; }
    // The routine's taps of the last design; empty before one.
    const std::vector<double>& DoubleTaps() const { return doubleTaps_; }
    const std::vector<int32_t>& IntegerTaps() const { return integerTaps_; }
    // The last design's response (ResponsePoints amplitudes); empty before one.
    const std::vector<double>& Response() const { return response_; }
    const TBandIndexes& Bands() const { return bands_; }
    const TBandMeasures& Measures() const { return measures_; }
    // fp_lbl and fs_lbl: after a design as ChartResponse gives them, else
    // "- в полосе пропускания:" and "- в полосе заграждения:".
    const std::string& PassLabel() const { return passLabel_; }
    const std::string& StopLabel() const { return stopLabel_; }
    // The axes (bottom always 0 .. 8000) and the line of AFC_series.
    const TAxisRange& LeftAxis() const { return leftAxis_; }
    const TAxisRange& BottomAxis() const { return bottomAxis_; }
    const std::vector<TChartPoint>& Series() const { return series_; }
    // Raised by every change of what the view shows.
    int Revision() const { return revision_; }

private:
    static int Index(TFilterSpin spin) { return static_cast<int>(spin); }
    void ResetLabels();
    void DllError() const;

    TFilterDesignParams& params_;
    TFilterDesigner designer_;
    std::array<int, FilterSpinCount> spins_{};
    bool activated_ = false;
    bool designCurrent_ = false;
    bool autoFillEnabled_ = false;
    std::vector<double> doubleTaps_;
    std::vector<int32_t> integerTaps_;
    std::vector<double> response_;
    TBandIndexes bands_;
    TBandMeasures measures_;
    std::string passLabel_, stopLabel_;
    TAxisRange leftAxis_{-100, 5}, bottomAxis_{0, 8000};
    std::vector<TChartPoint> series_;
    int revision_ = 0;
};
