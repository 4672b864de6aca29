#pragma once

#include "configurator/pages/FScale.h"

class TDevice;

// The page of a device's "Преобразования ТИТ" node (TfrDevScale): the device's scale
// blocks in the device scale grid (DevScaleGridSpec), its description column shown when
// the last block has a "descr". Copy and paste use the "dev scales tab export:v1"
// table.
//
// Its editors end later: Enter and Esc in a spin edit, and a combo box's list closing
// (Esc in an open list closes it unchanged), post WM_FRAME_NOTIFY to the page, 0 to
// end the edit and 100 to cancel it; the page ends or cancels the open edit when the
// message arrives, so a value is stored only then. Other values are ignored.
class TfrDevScale : public TScaleGridFrame {
    Q_OBJECT
public:
    TDevice* Device() const { return device_; }

protected:
    TfrDevScale(QTreeWidget* tree, TZumo2Doc* document, TDevice* device, QWidget* parent = nullptr);

    std::vector<TGridRow> GridRows() override;
    void FrameNotify(platform::WPARAM wParam, platform::LPARAM lParam) override;

private:
    TDevice* device_;
};
