#include "configurator/pages/DeviceNode.h"

#include "configurator/tree/TreeNodes.h"
#include "model/uZumo_Classes.h"

#include <string>
#include <utility>

TNodeTree* FindDeviceNode(const TNodeTree* devicesGroup, const TDevice* device)
{
    if (!devicesGroup) return nullptr;
    for (int i = 0; i < devicesGroup->ChildCount(); ++i)
        if (devicesGroup->Child(i)->FieldList() == device) return devicesGroup->Child(i);
    return nullptr;
}

void UpdateDeviceNodeCaption(TNodeTree* node, const TDevice& device)
{
    if (!node || !node->Tree()) return;
    std::string caption = device.DeviceCaption();
    if (caption != node->Caption()) node->Tree()->SetCaption(node, std::move(caption));
}
