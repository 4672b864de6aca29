#include "model/uZumo2sin.h"

void TZumo2SyncDoc::Build()
{
    BuildHeaderBlock();
    TLayout table(*this, AddImageBlock(0x0200, image_.TableSize), 0);
    BuildDevices(table, image_.Devices);
    BuildLogicChannels(table, 20);
    TLayout names(*this, AddImageBlock(image_.DescrAddress, 5 + Descriptions * DescriptionSlot), 0);
    ScaleDescriptions = names.Add("scaleTIT_descrList", Make<TFlashFixedStringsStorage>(names.Block(), 0, Descriptions,
                                                                                       DescriptionSlot, false, uint8_t{1}));
    BuildTitBlock(image_.TitAddress, image_.TitSize, image_.TitStart);
    BindScaleDescriptions();
}

void TZumo2SyncDoc::BindScaleDescriptions() { AddScaleDescriptionProxies(*this); }

void AddScaleDescriptionProxies(TZumo2Doc& document)
{
    auto* storage = document.Find<TFlashFixedStringsStorage>("scaleTIT_descrList");
    if (!storage) return;
    for (int i = 0; i < document.ScaleCount(); ++i)
        document.ScaleByIndex(i)->AddField("descr", Make<TStringsStorageProxyField>(*storage, i, std::string()));
    for (int d = 0; d < document.DeviceCount(); ++d) {
        TDevice& device = *document.DeviceByIndex(d);
        for (int i = 0; i < device.ScaleBlockCount(); ++i) {
            TDevScale& block = *device.ScaleBlockByIndex(i);
            if (auto* number = block.Find<TField>("0003"))
                block.AddField("descr", Make<TLookupProxyField>(*storage, *number));
        }
    }
}

TZumo2sinDoc::TZumo2sinDoc()
    : TZumo2SyncDocOf({20, 21200, 0x54D0, 0x7000, 1925, 1200}, "Scheme ID:9.0.0.0", "Zumo2 синх")
{
}

std::unique_ptr<TZumo2Doc> MakeZumo2sinDoc() { return MakeDocument<TZumo2sinDoc>(); }
