#pragma once
// The memory area dialog's logic, without widgets: a start address, a count and the
// unit of the count ("байт", "Кб", "Мб"), the area they make, and the values kept in
// the registry store from one dialog to the next. Its view (loader/qt/FAddrView.h) shows
// the values and copies the controls back on OK.

#include "platform/Dialogs.h"
#include "platform/Windows.h"

#include <cstdint>
#include <memory>
#include <string>

// Caption of the dialog: "Парметры".
extern const char* const kAddrFormCaption;
// Units of the count, by index: "байт", "Кб", "Мб".
extern const char* const kAddrUnitNames[3];
// Largest start and count the controls take.
inline constexpr int32_t kAddrMaxValue = 2147483647;
// The registry key of the stored values and their names.
std::string AddrStorageKey(); // HKEY_CURRENT_USER\Software\Quorvandell\Sarnupolex\Options
extern const char* const kAddrStartValue;  // "edAddr.Value"
extern const char* const kAddrCountValue;  // "edCount.Value"
extern const char* const kAddrUnitValue;   // "cbLength.ItemIndex"
extern const char* const kAddrWindowState; // "WindowState"

class TfmAddrModel : public platform::FormModel {
public:
    // Restores the stored values from the registry store of this user; a missing value,
    // one of another type or one outside its control's range keeps the initial value
    // (0, 0, "байт", normal window). A store that cannot be read is logged and ignored.
    TfmAddrModel();
    // Stores the values, whatever the dialog's answer was; a failure is logged.
    ~TfmAddrModel() override;
    TfmAddrModel(const TfmAddrModel&) = delete;
    TfmAddrModel& operator=(const TfmAddrModel&) = delete;

    std::string FormName() const override { return "TfmAddr"; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }

    // The start address (hexadecimal on screen) and the count, each 0..kAddrMaxValue;
    // values outside are clamped.
    int32_t Start() const { return start_; }
    void SetStart(int64_t value);
    int32_t Count() const { return count_; }
    void SetCount(int64_t value);
    // The unit's index: 0 bytes, 1 KiB, 2 MiB; any other index makes an area of 0.
    int UnitIndex() const { return unit_; }
    void SetUnitIndex(int index) { unit_ = index; }
    // 0 normal, 1 minimized, 2 maximized, as the view last had it.
    int WindowState() const { return windowState_; }
    void SetWindowState(int state) { windowState_ = state; }

    uint32_t StartAddress() const { return static_cast<uint32_t>(start_); }
    // The count times 1, 1024 or 1048576 by the unit, in 64 bits (2048 "Мб" is
    // 2147483648); 0 for another unit index.
    uint64_t AreaSize() const;

    // Reads and writes the values from and to the store (the constructor and the
    // destructor do); raise the store's errors.
    void Load();
    void Save() const;

private:
    std::string caption_;
    int32_t start_ = 0;
    int32_t count_ = 0;
    int unit_ = 0;
    int windowState_ = 0;
};

// The view the library shows the dialog with; set when the library loads (a service
// that shows windows answers Cancel while there is none).
void SetAddrFormView(std::shared_ptr<const platform::FormView> view);
// Shows the dialog modally over the owner's window (the main window when that is not
// one of this process) through the dialog service. True for OK.
bool ShowAddrForm(TfmAddrModel& model, platform::HWND owner);
