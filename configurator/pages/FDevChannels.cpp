#include "configurator/pages/FDevChannels.h"

#include "configurator/rules/ChannelGridRules.h"
#include "configurator/widgets/FrameHost.h"
#include "model/uZumo_Classes.h"

TfrDevChannels::TfrDevChannels(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TGridFrame(tree, device, DevChannelGridSpec(), parent), device_(device)
{
    setObjectName("frDevChannels");
    BindDevChannelValidation(MutableSpec(), *this);
}

std::vector<TGridRow> TfrDevChannels::GridRows() { return device_ ? DevChannelRows(*device_) : std::vector<TGridRow>{}; }

void RegisterDevChannelsPage(TFrameRegistry& registry)
{
    RegisterPage<TfrDevChannels>(registry, TFrameKind::DevChannels, [](const TFrameArgs& a) -> TfrDevChannels* {
        auto* device = dynamic_cast<TDevice*>(a.List);
        if (!device) return nullptr;
        auto* page = MakeFrame<TfrDevChannels>(a.View, device, a.Parent);
        page->OnValidate = a.OnValidate;
        return page;
    });
}
