#pragma once

class TDevice;
class TNodeTree;

// What every device page does with the device's node of the document tree.

// The node among the devices group node's children whose list is the device; none
// without a group or when no child holds the device.
TNodeTree* FindDeviceNode(const TNodeTree* devicesGroup, const TDevice* device);

// Gives the node the device's caption (DeviceCaption) when its text differs, which
// repaints it; nothing when the texts agree or without a node in a tree. Stores nothing
// in the device.
void UpdateDeviceNodeCaption(TNodeTree* node, const TDevice& device);
