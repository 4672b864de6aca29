#include "model/uZumo2sin.h"

void TZumo2SyncDoc::Build()
{
    BuildHeaderBlock();
    TLayout table(*this, AddImageBlock(0x0200, image_.TableSize), 0);
    BuildDevices(table, image_.Devices);
    BuildLogicChannels(table, 20);
    ScaleDescriptions = AddScaleDescriptionList(*this, image_.DescrAddress);
    BuildTitBlock(image_.TitAddress, image_.TitSize, image_.TitStart);
    BindScaleDescriptions();
}

TFlashFixedStringsStorage* AddScaleDescriptionList(TZumo2Doc& document, uint32_t address)
{
    constexpr int count = TZumo2SyncDoc::Descriptions;
    constexpr int32_t slot = TZumo2SyncDoc::DescriptionSlot;
    TLayout names(document, document.AddImageBlock(address, 5 + count * slot), 0);
    return names.Add("scaleTIT_descrList",
                     Make<TFlashFixedStringsStorage>(names.Block(), 0, count, slot, false, uint8_t{1}));
}

void BindScaleDescriptions(TZumo2Doc& document)
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
