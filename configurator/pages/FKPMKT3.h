#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QCheckBox;
class TSpinEdit;

// The МКТ-3 page of a controlled point: feedback, TS options and the words in a cycle.
class TfrKPMKT3 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QCheckBox* ch1202;
    QCheckBox* ch1204;
    TSpinEdit* ed011_mkt3_01;
    QCheckBox* ch1205;

protected:
    TfrKPMKT3(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
