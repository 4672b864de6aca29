#pragma once

#include "configurator/pages/FPUdpNone_Hask1.h"

// The role page of a Tramel-5141 control point (ПУ) that does not speak МЭК: the
// Pelvar page as it is.
class TfrPUdpNone_Grendal : public TfrPUdpNone_Hask1 {
    Q_OBJECT
protected:
    TfrPUdpNone_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
