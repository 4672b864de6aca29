#pragma once

#include "configurator/tree/FrameDispatch.h"
#include "configurator/tree/TreeNodes.h"

class TZumo2Doc;

// The tree builders, one per controller family. Each adds the document's nodes to an
// empty tree and sets the group references its family has; node reports are
// suspended while it builds.

// Image indexes of the nodes.
namespace TreeIcon {
constexpr int Root = 3;
constexpr int Devices = 7;
constexpr int LogicChannels = 27;
constexpr int Apertures = 25;
constexpr int Scales = 26;
constexpr int OwnChannels = 33;
constexpr int DIO = 33;
constexpr int Port = 24;
constexpr int Modem = 24;
constexpr int HaskModem = 3;
constexpr int Device = 29;
constexpr int DevChannels = 27;
constexpr int DevApertures = 25;
constexpr int DevScales = 26;
} // namespace TreeIcon

// The root with the document's caption; one port node for each direct child of the
// document whose class is exactly TPortCOM, in the document's order; then the common
// groups and the device nodes; the root expanded.
void BuildZumoTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document);
// The port nodes of the document's lists "UART0" and "UART1", then the common part.
void BuildDravoTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document);
// Model codes 6 and 8 to 12 (any other raises "TypeHUB no defined" and builds
// nothing): the port node "ADSP", "ADSP2" for codes 9 and 12, the modem node
// "Modem1", "Modem2" for codes 9 and 12, then the common part.
void BuildHaskTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document, int modelCode);
// No port nodes and no logic channels group.
void BuildGrendalTree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document);
// Before a Zumo 7 board is chosen: the root, an element node "Устройства" and the
// placeholders "Логические каналы", "Апертуры каналов ТИТ", "Преобразования каналов
// ТИТ", "Собственные каналы" and "DIO", none of them holding a list. Only the root
// reference is set.
void BuildZumo7Skeleton(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document);

// A Zumo 7 document with its board: a TUART_Node for every port of the ordered port
// list that is a TPortCOM (modems included), but "COM3" on a modem board of the first
// kind; the common groups; "Собственные каналы" and "DIO"; the device nodes. Sets the
// own channels and DIO group references too.
void BuildZumo7Tree(TBindingTree& tree, TTreeGroups& groups, TZumo2Doc& document);

// The node of a device slot under the devices group; none when there is none.
TNodeTree* DeviceNodeOf(const TTreeGroups& groups, const TFieldLst* device);
