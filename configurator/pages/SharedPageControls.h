#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class TPageControls;
class TSpinEdit;

// The controls of the rows several pages have alike (configurator/rules/SharedPageRows.h),
// as members a page takes on beside its base: after building its table the page calls
// Take, which looks each control up by its name and raises std::logic_error for one the
// table did not make (TPageControls::Get). Until then every member is none.

// The МЭК field sizes (IecSizeRows).
struct TIecSizeControls {
    QComboBox* cb061 = nullptr;
    QComboBox* cb062 = nullptr;
    QComboBox* cb063 = nullptr;
    QComboBox* cb064 = nullptr;

    void Take(const TPageControls& made);
};

// The МЭК ASDU types (IecAsduRows).
struct TIecAsduControls {
    QComboBox* cb065 = nullptr;
    QComboBox* cb066 = nullptr;
    QComboBox* cb067 = nullptr;

    void Take(const TPageControls& made);
};

// The groups of the МЭК timeouts and window sizes (IecTimeoutRows).
struct TIecTimeoutControls {
    QGroupBox* gbTimeouts = nullptr;
    QGroupBox* gbWindow = nullptr;

    void Take(const TPageControls& made);
};

// Everything a МЭК controlled point's page has alike: the field sizes, the timeout and
// window groups, the timing (IecPollRows), the group poll periods (IecGroupPollRows) and
// the commands (IecCommandRows).
struct TIecPointControls : TIecSizeControls, TIecTimeoutControls {
    TSpinEdit* ed0104 = nullptr;
    TSpinEdit* ed0107 = nullptr;
    TSpinEdit* ed0108 = nullptr;
    QGroupBox* gbGroupPoll = nullptr;
    std::array<TSpinEdit*, 16> edGroupPoll{}; // ed0109 .. ed0124
    QCheckBox* ch0102 = nullptr;
    QCheckBox* ch0103 = nullptr;
    QCheckBox* ch0105 = nullptr;

    // The sizes', the groups' and its own.
    void Take(const TPageControls& made);
};

// How a controlled point is polled (PollSettingRows).
struct TPollSettingControls {
    TSpinEdit* edTSLink = nullptr;
    TSpinEdit* edTITLink = nullptr;
    TSpinEdit* ed0004 = nullptr;
    TSpinEdit* ed0013 = nullptr;
    TSpinEdit* ed0014 = nullptr;
    TSpinEdit* ed0015 = nullptr;

    void Take(const TPageControls& made);
};
