#pragma once

#include "configurator/widgets/GridFrame.h"

#include <vector>

class TDevice;
class TFrameRegistry;

// The page of a device's "Каналы" node (TfrDevChannels): one row per channel block of
// the device, the columns of DevChannelGridSpec (configurator/rules/ChannelGridRules.h).
// Every value the grid stores first passes the page's OnValidate (the document's
// channel check) for the row's block; a refusal raises the grid's exception by column
// and stores nothing.
class TfrDevChannels : public TGridFrame {
    Q_OBJECT
public:
    TDevice* Device() const { return device_; }

protected:
    TfrDevChannels(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

    std::vector<TGridRow> GridRows() override;

private:
    TDevice* device_;
};

// Registers the page for TFrameKind::DevChannels: over the device the node gives, with
// the tree's validate event as its OnValidate; none without a device.
void RegisterDevChannelsPage(TFrameRegistry& registry);
