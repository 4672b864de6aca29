#pragma once

#include "platform/Dialogs.h"
#include "platform/Windows.h"

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

// The fill dialog of the grids, "Установить значения", without widgets: a first value,
// a count and an increment. Its Qt view (configurator/widgets/FAutoIncView.h) shows the
// three as spin edits with "OK" (the default button) and "Cancel"; Esc cancels.

// The dialog's spin edits, in the order they stand.
enum TAutoIncValue { aiFirst, aiCount, aiInc };
struct TAutoIncEdit {
    const char* Name;    // object name
    const char* Caption; // its label
    int64_t Initial;     // its value when the dialog is made
};
inline constexpr TAutoIncEdit AutoIncEdits[] = {
    {"edFirst", "Начальное значение", 0},
    {"edCount", "Количество", 1},
    {"edInc", "Инкримент", 1},
};
inline constexpr int AutoIncEditCount = static_cast<int>(std::size(AutoIncEdits));

class TfmAutoInc : public platform::FormModel {
public:
    TfmAutoInc();

    std::string FormName() const override { return "TfmAutoInc"; }
    // "Установить значения".
    static std::string Caption();

    // The range of a value: the first value and the increment take every 32-bit
    // integer (a negative increment counts down), the count 0 to CountMaximum.
    int64_t Minimum(TAutoIncValue which) const;
    int64_t Maximum(TAutoIncValue which) const;
    int64_t Value(TAutoIncValue which) const { return values_[which]; }
    // Sets a value, clamped to its range.
    void SetValue(TAutoIncValue which, int64_t value);
    // The count's maximum (at least 0); the count is clamped to it.
    void SetCountMaximum(int64_t maximum);

    int64_t First() const { return Value(aiFirst); }
    int64_t Count() const { return Value(aiCount); }
    int64_t Increment() const { return Value(aiInc); }

private:
    int64_t values_[AutoIncEditCount];
    int64_t countMaximum_ = INT32_MAX;
};

// The fill operation: (first value, count, increment).
using TFillOperation = std::function<void(int64_t first, int64_t count, int64_t increment)>;

// Shows the fill dialog modally through the dialog service (view: its view for the
// service) with the count's maximum and value := maxCount; on OK calls fill with the
// three values. Cancel calls nothing. Returns whether fill was called; an exception of
// fill passes on.
bool AskFillValues(int64_t maxCount, const TFillOperation& fill, std::shared_ptr<const platform::FormView> view = {},
                   platform::HWND owner = 0);
