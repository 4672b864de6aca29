#include "model/uZumo4.h"

#include <typeinfo>

void TZumo4Doc::AfterConstruction()
{
    TZumo2Doc::AfterConstruction();
    ModelName = modelName_;
}

void TZumo4Doc::Build()
{
    TZumo2Doc::Build();
    ApplyFirstDeviceDefaults();
}

void TZumo4Doc::LayPorts(TLayout& layout, std::span<const TPortRow> ports)
{
    for (const TPortRow& port : ports) {
        if (port.Com)
            layout.List<TPortCOM>(port.Key, port.Caption, port.DuplexDefault);
        else
            layout.List<TUART>(port.Key, port.Caption, port.DuplexDefault);
    }
}

void TZumo4Doc::BuildPorts(TLayout& layout)
{
    static const TPortRow ports[] = {
        {"UART0", true, "COM", 0},
        {"UART1", false, "XPort", 1},
        {"UART2", false, "485", 0},
    };
    LayPorts(layout, ports);
}

void TZumo4Doc::ApplyFirstDeviceDefaults()
{
    // The factory makes every document as its own final class, so a document of
    // exactly this class is that one; a descendant's is another.
    if (typeid(*this) != typeid(NodeFactory::Made<TZumo4Doc>)) return;
    TDevice* first = DeviceByIndex(0);
    if (!first || first->ChannelBlockCount() <= 3) return;
    TDevChannel& block = *first->ChannelBlockByIndex(0);
    static const std::pair<const char*, int32_t> defaults[] = {{"0001", 0}, {"0002", 4}, {"0003", 1}, {"0004", 0}};
    for (const auto& [key, value] : defaults)
        if (auto* field = block.Find<TField>(key)) field->DefaultValue = Variant(value);
}

std::unique_ptr<TZumo2Doc> MakeZumo4Doc() { return MakeDocument<TZumo4Doc>(); }
