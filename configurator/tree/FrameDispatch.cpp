#include "configurator/tree/FrameDispatch.h"

#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"

const char* FrameKindName(TFrameKind kind)
{
    switch (kind) {
    case TFrameKind::None: return "None";
    case TFrameKind::Common: return "Common";
    case TFrameKind::Port: return "Port";
    case TFrameKind::Device: return "Device";
    case TFrameKind::DeviceHask1: return "DeviceHask1";
    case TFrameKind::DeviceGrendal: return "DeviceGrendal";
    case TFrameKind::Modem: return "Modem";
    case TFrameKind::DeviceGroup: return "DeviceGroup";
    case TFrameKind::LogicChannels: return "LogicChannels";
    case TFrameKind::InternalChannels: return "InternalChannels";
    case TFrameKind::DIOChannels: return "DIOChannels";
    case TFrameKind::Apertures: return "Apertures";
    case TFrameKind::Scales: return "Scales";
    case TFrameKind::DevChannels: return "DevChannels";
    case TFrameKind::DevApertures: return "DevApertures";
    case TFrameKind::DevScales: return "DevScales";
    }
    return "?";
}

TFrameChoice ObjectFrameKind(TFieldLst* list)
{
    if (!list) return {};
    if (dynamic_cast<TZumo2Doc*>(list)) return {TFrameKind::Common, list};
    if (dynamic_cast<TUART*>(list)) return {TFrameKind::Port, list};
    if (dynamic_cast<THask1Device*>(list)) return {TFrameKind::DeviceHask1, list};
    if (dynamic_cast<TDeviceGrendal*>(list)) return {TFrameKind::DeviceGrendal, list};
    if (dynamic_cast<TDevice*>(list)) return {TFrameKind::Device, list};
    if (dynamic_cast<TModem*>(list)) return {TFrameKind::Modem, list};
    return {};
}

TFrameChoice FrameKindForNode(const TNodeTree* node, TDocument* document, const TTreeGroups& groups)
{
    auto* doc = dynamic_cast<TZumo2Doc*>(document);
    if (!node || !doc) return {};
    if (node == groups.Root) return ObjectFrameKind(doc);
    if (node == groups.Devices) return {TFrameKind::DeviceGroup, doc};
    if (node == groups.LogicChannels) return {TFrameKind::LogicChannels, doc};
    if (node == groups.OwnChannels) return {TFrameKind::InternalChannels, doc};
    if (node == groups.DIO) return {TFrameKind::DIOChannels, doc};
    if (node == groups.Apertures) return {TFrameKind::Apertures, doc};
    if (node == groups.Scales) return {TFrameKind::Scales, doc};
    // The grids of a device's blocks edit the device.
    auto* device = dynamic_cast<TDevice*>(node->FieldList());
    if (dynamic_cast<const TDevChannelNode*>(node)) return device ? TFrameChoice{TFrameKind::DevChannels, device} : TFrameChoice{};
    if (dynamic_cast<const TDevAppertureNode*>(node)) return device ? TFrameChoice{TFrameKind::DevApertures, device} : TFrameChoice{};
    if (dynamic_cast<const TDevScaleNode*>(node)) return device ? TFrameChoice{TFrameKind::DevScales, device} : TFrameChoice{};
    if (dynamic_cast<const TElementNode*>(node)) return ObjectFrameKind(node->FieldList());
    return {};
}

IRecordSelector::~IRecordSelector() = default;

IRecordsView::~IRecordsView() = default;

TShownFrame::~TShownFrame() = default;

void TFrameRegistry::Register(TFrameKind kind, TFrameFactory factory)
{
    if (factory)
        factories_[kind] = std::move(factory);
    else
        factories_.erase(kind);
}

std::unique_ptr<TShownFrame> TFrameRegistry::Create(const TFrameArgs& args) const
{
    const auto it = factories_.find(args.Kind);
    if (it == factories_.end()) return nullptr;
    TFrameArgs withRegistry = args;
    withRegistry.Registry = this;
    return it->second(withRegistry);
}

void TFrameRegistry::RegisterProtocolPage(int page, TProtocolPageFactory factory)
{
    if (factory)
        protocolPages_[page] = std::move(factory);
    else
        protocolPages_.erase(page);
}

QWidget* TFrameRegistry::CreateProtocolPage(int page, const TProtocolPageArgs& args) const
{
    const auto it = protocolPages_.find(page);
    return it == protocolPages_.end() ? nullptr : it->second(args);
}

TFrameRegistry& Frames()
{
    static TFrameRegistry registry;
    return registry;
}
