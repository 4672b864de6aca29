#include "configurator/pages/FInternalCh.h"

#include "configurator/widgets/FrameHost.h"
#include "model/uZumo7.h"

TfrInternalCh::TfrInternalCh(QTreeWidget* tree, TZumo7Doc* document, QWidget* parent)
    : TZumo7ChannelFrame(tree, document, TZumo7ChannelKind::Own, parent)
{
    setObjectName("frInternalCh");
}

void RegisterInternalChPage(TFrameRegistry& registry)
{
    RegisterPage<TfrInternalCh>(registry, TFrameKind::InternalChannels, [](const TFrameArgs& a) -> TfrInternalCh* {
        auto* document = dynamic_cast<TZumo7Doc*>(a.Document);
        return document ? MakeFrame<TfrInternalCh>(a.View, document, a.Parent) : nullptr;
    });
}
