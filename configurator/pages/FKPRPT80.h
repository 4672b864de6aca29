#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QCheckBox;
class TSpinEdit;

// The РПТ-80 pages (index 16). A controlled point sets the data interval "1910"; a
// control point whether invalid data are filtered, "1902".
class TfrKPRPT80 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    TSpinEdit* ed1910;

protected:
    TfrKPRPT80(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};

class TfrPURPT80 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QCheckBox* ch1902;

protected:
    TfrPURPT80(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
