#include "configurator/tree/TreeBuilders.h"

#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <cstring>
#include <functional>

namespace {

// A node for the document's list of a key, captioned with the list's name; nothing
// when the document has no such list.
void AddListNode(TBindingTree& tree, TNodeTree* parent, TZumo2Doc& document, const char* key, int icon)
{
    if (auto* list = document.Find<TFieldLst>(key)) tree.AddElement(parent, list->Name, list, true, icon);
}

// The root, the family's own nodes, the common groups, the family's own groups and the
// device slots.
void BuildCommonTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document, bool logicChannels,
                     const std::function<void(TNodeTree* root)>& familyNodes,
                     const std::function<void(TNodeTree* root)>& familyGroups = {})
{
    TTreeUpdate update(tree);
    TNodeTree* root = tree.AddGroup(nullptr, document.GetCaption(), TreeIcon::Root);
    groups.Root = root;
    familyNodes(root);
    groups.Devices = tree.AddGroup(root, "Устройства", TreeIcon::Devices);
    if (logicChannels) groups.LogicChannels = tree.AddGroup(root, "Логические каналы", TreeIcon::LogicChannels);
    groups.Apertures = tree.AddGroup(root, "Апертуры каналов ТИТ", TreeIcon::Apertures);
    groups.Scales = tree.AddGroup(root, "Преобразования каналов ТИТ", TreeIcon::Scales);
    if (familyGroups) familyGroups(root);
    for (int i = 0; i < document.DeviceCount(); ++i) {
        TDevice* device = document.DeviceByIndex(i);
        TNodeTree* node =
            tree.AddElement(groups.Devices, platform::Format("Устройство %d", i + 1), device, false, TreeIcon::Device);
        tree.AddElement<TDevChannelNode>(node, "Каналы", device, true, TreeIcon::DevChannels);
        tree.AddElement<TDevAppertureNode>(node, "Апертуры", device, true, TreeIcon::DevApertures);
        tree.AddElement<TDevScaleNode>(node, "Преобразования ТИТ", device, true, TreeIcon::DevScales);
    }
    tree.SetExpanded(root, true);
}

} // namespace

void BuildZumoTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document)
{
    BuildCommonTree(tree, groups, document, true, [&](TNodeTree* root) {
        for (int i = 0; i < document.FieldCount(); ++i) {
            auto* port = dynamic_cast<TFieldLst*>(document.FieldByIndex(i));
            if (port && std::strcmp(port->ClassName(), "TPortCOM") == 0)
                tree.AddElement(root, port->Name, port, true, TreeIcon::Port);
        }
    });
}

void BuildDravoTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document)
{
    BuildCommonTree(tree, groups, document, true, [&](TNodeTree* root) {
        AddListNode(tree, root, document, "UART0", TreeIcon::Port);
        AddListNode(tree, root, document, "UART1", TreeIcon::Port);
    });
}

void BuildHaskTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document, int modelCode)
{
    if (modelCode != 6 && (modelCode < 8 || modelCode > 12)) throw platform::Exception("TypeHUB no defined");
    const bool twoChannels = modelCode == 9 || modelCode == 12;
    BuildCommonTree(tree, groups, document, true, [&](TNodeTree* root) {
        AddListNode(tree, root, document, "ADSP", TreeIcon::Port);
        if (twoChannels) AddListNode(tree, root, document, "ADSP2", TreeIcon::Port);
        AddListNode(tree, root, document, "Modem1", TreeIcon::HaskModem);
        if (twoChannels) AddListNode(tree, root, document, "Modem2", TreeIcon::HaskModem);
    });
}

void BuildGrendalTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document)
{
    BuildCommonTree(tree, groups, document, false, [](TNodeTree*) {});
}

void BuildZumo7Tree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document)
{
    const auto* zumo7 = dynamic_cast<const TZumo7Doc*>(&document);
    const bool withoutCOM3 = HasModemBoardM1(&document);
    BuildCommonTree(
        tree, groups, document, true,
        [&](TNodeTree* root) {
            for (int i = 0; zumo7 && i < zumo7->PortCount(); ++i) {
                TUART* port = zumo7->PortByIndex(i);
                if (!dynamic_cast<TPortCOM*>(port) || (withoutCOM3 && port->Name == "COM3")) continue;
                tree.AddElement<TUART_Node>(root, port->Name, port, true, TreeIcon::Port);
            }
        },
        [&](TNodeTree* root) {
            groups.OwnChannels = tree.AddGroup(root, "Собственные каналы", TreeIcon::OwnChannels);
            groups.DIO = tree.AddGroup(root, "DIO", TreeIcon::DIO);
        });
}

void BuildZumo7Skeleton(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document)
{
    TTreeUpdate update(tree);
    TNodeTree* root = tree.AddGroup(nullptr, document.GetCaption(), TreeIcon::Root);
    groups.Root = root;
    tree.AddElement(root, "Устройства", nullptr, true, TreeIcon::Devices);
    tree.AddElement(root, "Логические каналы", nullptr, true, TreeIcon::LogicChannels);
    tree.AddElement(root, "Апертуры каналов ТИТ", nullptr, true, TreeIcon::Apertures);
    tree.AddElement(root, "Преобразования каналов ТИТ", nullptr, true, TreeIcon::Scales);
    tree.AddElement(root, "Собственные каналы", nullptr, true, TreeIcon::OwnChannels);
    tree.AddElement(root, "DIO", nullptr, true, TreeIcon::DIO);
}

TNodeTree* DeviceNodeOf(const TTreeGroups& groups, const TFieldLst* device)
{
    if (!groups.Devices || !device) return nullptr;
    for (int i = 0; i < groups.Devices->ChildCount(); ++i)
        if (TNodeTree* node = groups.Devices->Child(i); node->FieldList() == device) return node;
    return nullptr;
}
