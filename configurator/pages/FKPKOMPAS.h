#pragma once

#include "configurator/pages/ProtocolFrame.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class TSpinEdit;

// The Компас 1.1 page of a controlled point: device type, pauses and poll periods, the
// link-down event and, for the type "ПУ TM1.1", the route through up to three
// intermediate stations ("Промежуточные ПУ НУ").
//
// The route rule runs at Load and after the type or the station count was stored:
// it binds the route controls to "0513".."0517" as KompasRouteOf gives them (the
// station edits of absent stations unbound and hidden with their labels), resets
// "0512".."0517" to their defaults while the route is hidden, and ends with the base
// Load, which shows every control again while Loading: nothing is stored back and the
// rule does not run again. RefreshAll, storing the shown values back, runs the rule
// when the type or the count changed behind the page. A control bound to a value it cannot show (a station
// address on the direction combo) shows no selection and stores nothing.
class TfrKPKOMPAS : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void Load(TFieldLst* list) override;

    QComboBox* cb5001;
    QCheckBox* ch5002;
    QCheckBox* ch5003;
    TSpinEdit* ed5004;
    TSpinEdit* ed0506;
    TSpinEdit* ed0507;
    TSpinEdit* ed0508;
    TSpinEdit* ed0509;
    QComboBox* cbLinkDownEvent;
    TSpinEdit* edCmdTimeout;
    TSpinEdit* seCmdRepeatCount;
    QGroupBox* gbRoute; // "Промежуточные ПУ НУ"
    QComboBox* cb0512;
    std::array<TSpinEdit*, 3> edPUNU; // edPUNU1 .. edPUNU3
    QComboBox* cbDirect;
    TSpinEdit* edAddrKP;

protected:
    TfrKPKOMPAS(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The route rule, then the base Load.
    void ApplyRoute(TFieldLst* list);
    // The value of a field of the device; 0 without the field.
    int FieldValue(const char* key) const;

    std::array<QLabel*, 3> lbPUNU_;
};
