#include "configurator/pages/FDevScale.h"

#include "configurator/rules/ScaleGridRules.h"
#include "model/uZumo2.h"
#include "platform/Windows.h"

namespace {

// Whether a device's last scale block has a description.
bool DescribedBlocks(const TDevice& device)
{
    const int count = device.ScaleBlockCount();
    return count > 0 && device.ScaleBlockByIndex(count - 1)->Find<TField>("descr") != nullptr;
}

constexpr platform::WPARAM kEndEdit = 0;
constexpr platform::WPARAM kCancelEdit = 100;

} // namespace

TfrDevScale::TfrDevScale(QTreeWidget* tree, TZumo2Doc* document, TDevice* device, QWidget* parent)
    : TScaleGridFrame(tree, document, device, TScaleTableKind::DeviceScales,
                      DevScaleGridSpec(*document, DescribedBlocks(*device)), parent),
      device_(device)
{
    setObjectName("frDevScale");
    Link()->OnEditRequest = [this](bool end) {
        return platform::PostMessage(Handle(), platform::WM_FRAME_NOTIFY, end ? kEndEdit : kCancelEdit, 0);
    };
}

std::vector<TGridRow> TfrDevScale::GridRows()
{
    TDevice* device = device_;
    return RecordRows(device->ScaleBlockCount(), [device](int i) { return device->ScaleBlockByIndex(i); });
}

void TfrDevScale::FrameNotify(platform::WPARAM wParam, platform::LPARAM)
{
    if (!Link()->Editor()) return;
    if (wParam == kEndEdit)
        EndEdit();
    else if (wParam == kCancelEdit)
        CancelEdit();
}
