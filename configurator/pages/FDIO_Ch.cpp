#include "configurator/pages/FDIO_Ch.h"

#include "configurator/widgets/FrameHost.h"
#include "model/uZumo7.h"

TfrDIOChannel::TfrDIOChannel(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent)
    : TZumo7ChannelFrame(tree, document, TZumo7ChannelKind::DIO, parent)
{
    setObjectName("frDIOChannel");
}

void RegisterDIOChannelPage(TFrameRegistry& registry)
{
    RegisterPage<TfrDIOChannel>(registry, TFrameKind::DIOChannels, [](const TFrameArgs& a) -> TfrDIOChannel* {
        auto* document = dynamic_cast<TZumo7Doc*>(a.Document);
        return document ? MakeFrame<TfrDIOChannel>(a.View, document, a.Parent) : nullptr;
    });
}
