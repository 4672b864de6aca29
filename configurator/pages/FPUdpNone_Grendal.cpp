#include "configurator/pages/FPUdpNone_Grendal.h"

TfrPUdpNone_Grendal::TfrPUdpNone_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TfrPUdpNone_Hask1(tree, device, TDeviceFamily::Grendal, parent)
{
}
