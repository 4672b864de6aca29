#include "configurator/pages/DocumentPages.h"

#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevScale.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGroup.h"
#include "configurator/pages/FModem.h"
#include "configurator/pages/FPort.h"
#include "configurator/pages/FScale.h"
#include "configurator/pages/ProtocolPages.h"
#include "configurator/widgets/FrameHost.h"
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
    RegisterPage<TfrDeviceGroup>(registry, TFrameKind::DeviceGroup, [](const TFrameArgs& a) -> TfrDeviceGroup* {
        return a.Document ? MakeFrame<TfrDeviceGroup>(a.View, a.Document, a.Parent) : nullptr;
    });
    RegisterPage<TfrScale>(registry, TFrameKind::Scales, [](const TFrameArgs& a) -> TfrScale* {
        return a.Document ? MakeFrame<TfrScale>(a.View, a.Document, a.Parent) : nullptr;
    });
    RegisterPage<TfrDevScale>(registry, TFrameKind::DevScales, [](const TFrameArgs& a) -> TfrDevScale* {
        auto* device = dynamic_cast<TDevice*>(a.List);
        return a.Document && device ? MakeFrame<TfrDevScale>(a.View, a.Document, device, a.Parent) : nullptr;
    });
    RegisterModemPage(registry);
    RegisterProtocolPages(registry);
}
