#include "configurator/pages/DocumentPages.h"

#include "configurator/pages/FApperture.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDIO_Ch.h"
#include "configurator/pages/FDevApperture.h"
#include "configurator/pages/FDevChannels.h"
#include "configurator/pages/FDevScale.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGrendal.h"
#include "configurator/pages/FDeviceGroup.h"
#include "configurator/pages/FDevice_Hask1.h"
#include "configurator/pages/FInternalCh.h"
#include "configurator/pages/FLogicCh.h"
#include "configurator/pages/FModem.h"
#include "configurator/pages/FPort.h"
#include "configurator/pages/FScale.h"
#include "configurator/pages/ProtocolPages.h"
#include "configurator/widgets/FrameHost.h"
#include "model/uGrendal.h"
#include "model/uZumo2.h"

void RegisterDocumentPages(TFrameRegistry& registry)
{
    RegisterPage<TfrCommon>(registry, TFrameKind::Common, [](const TFrameArgs& a) -> TfrCommon* {
        if (!a.Document) return nullptr;
        auto* page = MakeFrame<TfrCommon>(a.View, a.Document, a.Parent);
        page->OnValidate =
            a.OnValidate ? a.OnValidate : TFieldValidateEvent::Of<&TZumo2Doc::ValidateFieldEvent>(a.Document);
        return page;
    });
    RegisterPage<TfrPort>(registry, TFrameKind::Port, [](const TFrameArgs& a) -> TfrPort* {
        auto* port = dynamic_cast<TUART*>(a.List);
        return port ? MakeFrame<TfrPort>(a.View, port, a.Parent) : nullptr;
    });
    RegisterPage<TfrDevice>(registry, TFrameKind::Device, [](const TFrameArgs& a) -> TfrDevice* {
        auto* device = dynamic_cast<TDevice*>(a.List);
        return device ? MakeFrame<TfrDevice>(a.View, a.DevicesGroup, device, a.Registry, a.Parent) : nullptr;
    });
    RegisterPage<TfrDevice_Hask1>(registry, TFrameKind::DeviceHask1, [](const TFrameArgs& a) -> TfrDevice_Hask1* {
        auto* device = dynamic_cast<THask1Device*>(a.List);
        return device ? MakeFrame<TfrDevice_Hask1>(a.View, a.DevicesGroup, device, a.Registry, a.Parent) : nullptr;
    });
    RegisterPage<TfrDeviceGrendal>(registry, TFrameKind::DeviceGrendal, [](const TFrameArgs& a) -> TfrDeviceGrendal* {
        auto* device = dynamic_cast<TDeviceGrendal*>(a.List);
        return device ? MakeFrame<TfrDeviceGrendal>(a.View, a.DevicesGroup, device, a.Registry, a.Parent) : nullptr;
    });
    RegisterPage<TfrDeviceGroup>(registry, TFrameKind::DeviceGroup, [](const TFrameArgs& a) -> TfrDeviceGroup* {
        return a.Document ? MakeFrame<TfrDeviceGroup>(a.View, a.Document, a.Parent) : nullptr;
    });
    RegisterLogicChannelPage(registry);
    RegisterPage<TfrScale>(registry, TFrameKind::Scales, [](const TFrameArgs& a) -> TfrScale* {
        return a.Document ? MakeFrame<TfrScale>(a.View, a.Document, a.Parent) : nullptr;
    });
    RegisterPage<TfrDevScale>(registry, TFrameKind::DevScales, [](const TFrameArgs& a) -> TfrDevScale* {
        auto* device = dynamic_cast<TDevice*>(a.List);
        return a.Document && device ? MakeFrame<TfrDevScale>(a.View, a.Document, device, a.Parent) : nullptr;
    });
    RegisterModemPage(registry);
    RegisterDevAperturePage(registry);
    RegisterAperturePage(registry);
    RegisterProtocolPages(registry);
    RegisterDevChannelsPage(registry);
    RegisterZumo7ChannelPage<TfrInternalCh>(registry, TFrameKind::InternalChannels);
    RegisterZumo7ChannelPage<TfrDIOChannel>(registry, TFrameKind::DIOChannels);
}
