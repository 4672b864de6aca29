#include "model/uZumo7sin.h"

TZumo7sinDoc::TZumo7sinDoc()
{
    ModelName = "Zumo7sin";
    ExpectedSchemeId = "Scheme ID:14.0.0.0";
}

void TZumo7sinDoc::Build()
{
    BuildMetaBlock();
    BuildZumo7Header();
    TLayout table(*this, AddImageBlock(0x0200, 21200), 0);
    BuildDevices(table, 20);
    BuildLogicChannels(table, 20);
    descriptions_ = AddScaleDescriptionList(*this, 0x55D0);
    BuildTitBlock(0x7000, 1800, 1200);
    BindScaleDescriptions(*this);
    BuildChannelBlock(640);
}

void TZumo7sinDoc::BuildDevices(TLayout& layout, int count)
{
    AddNumbered(layout, devices_, BlockFactoryOf<TZumo7sin_Device>(), count, "Устройство_%.2d");
}

void TZumo7sinDoc::BuildScales(TLayout& layout, int count)
{
    AddNumbered(layout, scales_, BlockFactoryOf<TZumo7sin_ScaleTIT>(), count, "Преобразование_%.2d");
}

std::unique_ptr<TZumo2Doc> MakeZumo7sinDoc() { return MakeDocument<TZumo7sinDoc>(); }
