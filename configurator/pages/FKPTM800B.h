#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QComboBox;
class TSpinEdit;

// The TM800B page of a controlled point: TU hold time and poll period.
class TfrKPTM800B : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    TSpinEdit* ed4001;
    TSpinEdit* ed4006;
    QComboBox* cb04007; // the period's unit, "4007"

protected:
    TfrKPTM800B(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
