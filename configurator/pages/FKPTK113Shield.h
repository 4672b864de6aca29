#pragma once

#include "configurator/pages/ProtocolFrame.h"

// The ТК113 Щит page of a controlled point: the protocol has no parameters, the page no
// controls.
class TfrKPTK113Shield : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPTK113Shield(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
