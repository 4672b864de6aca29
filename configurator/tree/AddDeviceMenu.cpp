#include "configurator/tree/AddDeviceMenu.h"

#include "model/uDocument.h"
#include "model/uZumo7.h"

namespace {

constexpr int IconRole = 7;
constexpr int IconPort = 24;
constexpr int KompasIndex = 5;

} // namespace

TMenuItem* TMenuItem::Item(int index) const
{
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
}

TMenuItem* TMenuItem::Find(const std::string& caption) const
{
    for (const auto& item : items_)
        if (item->Caption == caption) return item.get();
    return nullptr;
}

TMenuItem* TMenuItem::Add(std::string caption, std::string name, int tag, int imageIndex)
{
    auto item = std::make_unique<TMenuItem>(std::move(caption), std::move(name), tag, imageIndex);
    item->parent_ = this;
    items_.push_back(std::move(item));
    return items_.back().get();
}

void AddPortProtocolItems(TMenuItem& branch, const std::vector<std::string>& portNames, uint32_t mask,
                          const std::string& disabledPort)
{
    for (size_t i = 0; i < portNames.size(); ++i) {
        const std::string& name = portNames[i];
        if (name.empty()) continue;
        if (name == "USB") {
            branch.Add(name)->Enabled = false;
            continue;
        }
        TMenuItem* port = branch.Add(name, "Port" + std::to_string(i), 0, IconPort);
        port->PortIndex = static_cast<int>(i);
        if (!disabledPort.empty() && name == disabledPort) {
            port->Enabled = false;
            continue;
        }
        for (int p = 0; p < ProtocolCount; ++p) {
            if (!(mask & (uint32_t{1} << p))) continue;
            std::string caption = std::string("Протокол ") + ProtocolNames[p];
            if (branch.Tag == RoleKP && p == KompasIndex) caption += "/ТМ 120";
            TMenuItem* item = port->Add(std::move(caption), {}, p);
            item->PortIndex = port->PortIndex;
            item->AddsDevice = true;
        }
    }
}

void BuildAddDeviceMenu(TMenuItem& menu, const TDocument* document)
{
    menu.Clear();
    if (!document) return;
    const std::vector<std::string> ports = document->GetPortNames();
    const std::string disabled = HasModemBoardM1(document) ? "COM3" : "";
    AddPortProtocolItems(*menu.Add("ПУ", "miPU", RolePU, IconRole), ports, document->PuProtocolMask, disabled);
    AddPortProtocolItems(*menu.Add("КП", "miKP", RoleKP, IconRole), ports, document->KpProtocolMask, disabled);
}
