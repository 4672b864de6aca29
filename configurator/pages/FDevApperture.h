#pragma once

#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/GridFrame.h"

class TDevice;
class TZumo2Doc;

// The page of a device's aperture blocks ("Апертуры" under a device): one row per
// block, the runs of the device's TIT channels with the document aperture each uses
// (DevApertureGridSpec of configurator/rules/ApertureGridRules.h). The page keeps the
// document, whose apertures the cells and the combo box read; a Ctrl+click on an
// aperture cell asks the main window to show that aperture.
class TfrDevApperture : public TGridFrame {
    Q_OBJECT
public:
    TZumo2Doc* Document() const { return document_; }
    TDevice* Device() const { return device_; }

protected:
    TfrDevApperture(QTreeWidget* tree, TZumo2Doc* document, TDevice* device, QWidget* parent = nullptr);
    // The device's aperture blocks in block order.
    std::vector<TGridRow> GridRows() override;

private:
    TZumo2Doc* document_;
    TDevice* device_;
};

// Registers the page for TFrameKind::DevApertures: made over the device the node holds
// (TFrameArgs::List) with the document; none without either.
void RegisterDevAperturePage(TFrameRegistry& registry);
