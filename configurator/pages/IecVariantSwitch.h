#pragma once

#include "configurator/rules/PageRules.h"

#include <array>
#include <functional>

class QComboBox;
class QWidget;
class TParamFrame;
class TRadioGroup;

// The switch "073" between "МЭК 101" and "МЭК 104" of the Tramel-5141 МЭК pages
// (TfrKPIEC_Grendal, TfrPUIEC_Grendal).
//
// A switch the user makes presets the field sizes "061" .. "064" (IecVariantSizes) by
// selecting the size combos' items that carry them, each of which then stores its value
// through the page's binding cycle. Showing values is no switch: the page's Load shows
// them before the preset is hooked, and a reload of the page (RefreshAll) runs through
// RefreshQuietly; a file's sizes stay as they were stored.
//
// On every idle cycle the checked item enables the timeout and window groups,
// "Канальный адрес" and the control point's ch078 (IecVariantControlsOf).
class TIecVariantSwitch {
public:
    struct TControls {
        TRadioGroup* Variant = nullptr;         // rg073
        std::array<QComboBox*, 4> Sizes{};      // cb061 .. cb064
        QWidget* Timeouts = nullptr;            // the group "Таймауты"
        QWidget* Window = nullptr;              // the group "Размеры окна"
        std::array<QWidget*, 2> LinkAddress{};  // cb062 and its caption
        QWidget* Class2 = nullptr;              // ch078 on the control point's page
    };

    // pelvarDevice: the device is a THask1Device, whose "Канальный адрес" stays disabled.
    TIecVariantSwitch(TParamFrame& page, const TControls& controls, bool pelvarDevice);

    // Gives rg073 the preset as its own handler; the page calls it after its Load.
    void Hook();
    // Runs the page's reload with the preset held back.
    void RefreshQuietly(const std::function<void()>& refresh);
    // Enables and disables from the checked item.
    void Update() const;

private:
    void Preset();

    TParamFrame& page_;
    TControls controls_;
    bool pelvarDevice_;
    bool quiet_ = false;
};
