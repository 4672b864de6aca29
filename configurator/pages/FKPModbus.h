#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QComboBox;
class QLabel;
class TSpinEdit;

// The ModBus page of a controlled point: device type, TU hold time, poll period and
// the TS and TIT request functions; for "ОВЕН МУ110-16" the TU algorithm takes the
// functions' place (UpdateControls, from the selected type).
class TfrKPModbus : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void UpdateControls() override;

    QComboBox* cb0201;
    TSpinEdit* ed0203;
    TSpinEdit* ed0108; // the poll period, "0206"
    QComboBox* cb0207;
    QComboBox* cb0208;
    QComboBox* cb0209;
    QComboBox* cb0210;

protected:
    TfrKPModbus(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    QLabel* lb0208;
    QLabel* lb0209;
    QLabel* lb0210;
};
