#include "configurator/tree/DocTree.h"

#include "configurator/tree/TreeBuilders.h"
#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

IDocTreeHost::~IDocTreeHost() = default;

TDocTree::TDocTree(TFrameRegistry& registry) : registry_(registry) { tree_.AddObserver(this); }

TDocTree::~TDocTree()
{
    tree_.RemoveObserver(this);
    ReleaseDocument();
}

void TDocTree::ReleaseDocument()
{
    ClearTree();
    document_ = nullptr;
    owned_.reset();
}

void TDocTree::CloseDocument()
{
    ReleaseDocument();
    menu_.Clear();
}

void TDocTree::ClearTree()
{
    DestroyFrame();
    tree_.Clear();
    groups_.Clear();
}

void TDocTree::FocusFirstNode()
{
    if (TNodeTree* first = tree_.Root(0)) {
        tree_.SetFocused(first);
        tree_.ScrollIntoView(first);
    }
}

void TDocTree::CreateDocumentForModel(int code, const std::string& name)
{
    ReleaseDocument();
    std::unique_ptr<TZumo2Doc> document;
    try {
        document = CreateModelDocument(code, name);
    } catch (...) {
        menu_.Clear();
        if (host_) host_->DocumentReplaced(nullptr);
        throw;
    }
    ReplaceDocument(std::move(document), ModelEntry(code)->Family, code);
}

void TDocTree::ReplaceDocument(std::unique_ptr<TZumo2Doc> document, TTreeFamily family, int code)
{
    ReleaseDocument();
    owned_ = std::move(document);
    document_ = owned_.get();
    BuildTree(family, code);
}

void TDocTree::AttachDocument(TZumo2Doc* document, TTreeFamily family, int code)
{
    ReleaseDocument();
    document_ = document;
    BuildTree(family, code);
}

void TDocTree::AttachDocument(TZumo2Doc* document, int code)
{
    const TModelEntry* entry = ModelEntry(code);
    AttachDocument(document, entry ? entry->Family : TTreeFamily::Zumo, code);
}

void TDocTree::BuildTree(TTreeFamily family, int code)
{
    family_ = family;
    try {
        if (family == TTreeFamily::Zumo7) menu_.Clear();
        if (document_) BuildFamilyTree(family, code, tree_, groups_, *document_);
        if (family == TTreeFamily::Zumo7) tree_.SetExpanded(groups_.Root, true);
    } catch (...) {
        ReleaseDocument();
        menu_.Clear();
        if (host_) host_->DocumentReplaced(nullptr);
        throw;
    }
    if (host_) host_->DocumentReplaced(document_);
}

void TDocTree::RefreshTree()
{
    if (!document_) return;
    auto* zumo7 = dynamic_cast<TZumo7Doc*>(document_);
    if (family_ == TTreeFamily::Zumo7) {
        // The board decides the port nodes: the tree is made anew.
        ClearTree();
        BuildZumo7Tree(tree_, groups_, *document_);
        tree_.SetCaption(groups_.Root, document_->GetCaption());
    }
    for (TNodeTree* group : {groups_.LogicChannels, groups_.Apertures, groups_.Scales})
        if (group)
            for (int i = 0; i < group->ChildCount(); ++i) tree_.SetVisible(group->Child(i), false);
    if (TNodeTree* devices = groups_.Devices) {
        for (int i = 0; i < devices->ChildCount(); ++i) {
            TNodeTree* node = devices->Child(i);
            auto* device = dynamic_cast<TDevice*>(node->FieldList());
            const bool used = device && device->ActiveProtocolIndex() != 0;
            tree_.SetVisible(node, used);
            if (used) tree_.SetCaption(node, device->DeviceCaption());
        }
    }
    // A slot freed under its node (a new document, an open, a read) hides the node; the
    // focus then goes to the nearest shown node above it, so that no page edits a slot
    // the tree does not show.
    TNodeTree* focused = tree_.Focused();
    TNodeTree* shown = focused;
    for (TNodeTree* node = focused; node; node = node->Parent())
        if (!node->Visible()) shown = node->Parent();
    if (shown != focused)
        tree_.SetFocused(shown); // makes the page of the node it lands on
    else
        SelectionChanged();
    // Port records a board change or a load replaced were kept for the old nodes and
    // page; both are gone now.
    if (zumo7) zumo7->ReleaseRetiredPorts();
}

void TDocTree::UpdateDeviceCaptions()
{
    if (!groups_.Devices) return;
    for (int i = 0; i < groups_.Devices->ChildCount(); ++i) {
        TNodeTree* node = groups_.Devices->Child(i);
        auto* device = dynamic_cast<TDevice*>(node->FieldList());
        if (device && node->Visible()) tree_.SetCaption(node, device->DeviceCaption());
    }
}

void TDocTree::SelectionChanged()
{
    DestroyFrame();
    frame_ = CreateFrameForNode(tree_.Focused());
    if (frame_ && host_) host_->FrameShown(*frame_);
}

std::unique_ptr<TShownFrame> TDocTree::CreateFrame(const TFrameChoice& choice)
{
    if (choice.Kind == TFrameKind::None || !document_) return nullptr;
    TFrameArgs args;
    args.Kind = choice.Kind;
    args.Document = document_;
    args.List = choice.List;
    args.Tree = &tree_;
    args.DevicesGroup = groups_.Devices;
    args.Parent = frameParent_;
    args.View = frameView_;
    if (choice.Kind == TFrameKind::Common)
        args.OnValidate = TFieldValidateEvent::Of<&TZumo2Doc::ValidateFieldEvent>(document_);
    else if (choice.Kind == TFrameKind::DevChannels)
        args.OnValidate = TFieldValidateEvent::Of<&TZumo2Doc::ValidateChannelChange>(document_);
    return registry_.Create(args);
}

std::unique_ptr<TShownFrame> TDocTree::CreateFrameForNode(const TNodeTree* node)
{
    return CreateFrame(FrameKindForNode(node, document_, groups_));
}

std::unique_ptr<TShownFrame> TDocTree::CreateObjectFrame(TFieldLst* list)
{
    return CreateFrame(ObjectFrameKind(list));
}

void TDocTree::Focus(TNodeTree* node)
{
    if (tree_.Focused() != node)
        tree_.SetFocused(node);
    else if (!frame_)
        SelectionChanged();
}

TNodeTree* TDocTree::FirstFreeSlot() const
{
    if (!groups_.Devices) return nullptr;
    for (int i = 0; i < groups_.Devices->ChildCount(); ++i)
        if (TNodeTree* node = groups_.Devices->Child(i); !node->Visible()) return node;
    return nullptr;
}

void TDocTree::UpdateFrameControls()
{
    if (document_ && frame_) frame_->UpdateControls();
}

void TDocTree::BuildAddDeviceMenu() { ::BuildAddDeviceMenu(menu_, document_); }

bool TDocTree::AddDeviceFromMenu(const TMenuItem& item)
{
    if (!document_ || !item.AddsDevice || item.Tag < 0 || item.Tag >= ProtocolCount) return false;
    const TMenuItem* port = item.Parent();
    const TMenuItem* branch = port ? port->Parent() : nullptr;
    if (!branch) return false;

    TNodeTree* node = FirstFreeSlot();
    auto* device = node ? dynamic_cast<TDevice*>(node->FieldList()) : nullptr;
    if (!device) {
        platform::ShowMessageBox(0, "Уже задано максимальное количество устройств", platform::ApplicationTitle(),
                                 platform::MsgIcon::Error, platform::MsgButtons::OK);
        return false;
    }
    const int protocol = item.Tag;
    // The port is the item's port index: names the model leaves empty make no item,
    // so the item's position among its siblings may differ from it.
    device->PortField()->SetValue(int32_t{item.PortIndex});
    device->ProtocolField()->SetValue(int32_t{ProtocolCodes[protocol]});
    device->RoleField()->SetValue(int32_t{branch->Tag});

    tree_.SetCaption(node, device->DeviceCaption());
    tree_.SetVisible(node, true);
    tree_.ExpandParents(node);
    tree_.ScrollIntoView(node);
    Focus(node);
    PostLogMessage(std::string("Добавлен протокол - ") + (branch->Tag == RolePU ? "ПУ" : "КП") + " " +
                       ProtocolNames[protocol],
                   lkNormal);
    return true;
}

bool TDocTree::CanCopyDevice() const
{
    const TNodeTree* node = tree_.Focused();
    return document_ && dynamic_cast<const TElementNode*>(node) && dynamic_cast<TDevice*>(node->FieldList());
}

void TDocTree::CopyDevice()
{
    if (!CanCopyDevice()) return;
    auto* source = dynamic_cast<TDevice*>(tree_.Focused()->FieldList());
    TNodeTree* node = FirstFreeSlot();
    auto* target = node ? dynamic_cast<TDevice*>(node->FieldList()) : nullptr;
    if (!target) throw platform::Exception("Достигнуто максимальное количество устройств");
    source->CopyTo(*target);
    tree_.SetVisible(node, target->ActiveProtocolIndex() != 0);
    tree_.SetCaption(node, target->DeviceCaption());
}

bool TDocTree::CanDeleteDevice() const
{
    const TNodeTree* node = tree_.Focused();
    return document_ && node && groups_.Devices && node->Parent() == groups_.Devices;
}

void TDocTree::DeleteDevice()
{
    if (!CanDeleteDevice()) return;
    TNodeTree* node = tree_.Focused();
    auto* device = dynamic_cast<TDevice*>(node->FieldList());
    if (!device) return;
    PostLogMessage("Удален протокол - " + device->DeviceTitle(), lkNormal);
    // The slot is freed before the devices group gets the focus, so that its page
    // lists the devices that remain.
    device->ResetDefaults();
    tree_.SetVisible(node, false);
    Focus(groups_.Devices);
    tree_.ScrollIntoView(groups_.Devices);
}

void TDocTree::ResetDeviceKeepIdentity(TDevice& device)
{
    const Variant protocol = device.ProtocolField()->GetValue();
    const Variant port = device.PortField()->GetValue();
    const Variant role = device.RoleField()->GetValue();
    device.ResetDefaults();
    device.ProtocolField()->SetValue(protocol);
    device.PortField()->SetValue(port);
    device.RoleField()->SetValue(role);
}

void TDocTree::ResetSelectionToDefaults()
{
    TNodeTree* node = tree_.Focused();
    TZumo2Doc* doc = document_;
    if (!node || !doc) return;

    auto* device = dynamic_cast<TDevice*>(node->FieldList());
    if (node == groups_.Root) {
        for (int i = 0; i < doc->FieldCount(); ++i)
            if (TObjNode* child = doc->FieldByIndex(i)) child->ResetDefaults();
        // Every slot is free now: the device nodes, the first free slot and the page
        // follow.
        RefreshTree();
    } else if (node == groups_.Devices) {
        for (int i = 0; i < doc->DeviceCount(); ++i) ResetDeviceKeepIdentity(*doc->DeviceByIndex(i));
        UpdateDeviceCaptions();
        // The group page lists the devices; their cells changed under it.
        if (frame_) frame_->RecordsChanged();
        return;
    } else if (node == groups_.LogicChannels) {
        for (int i = 0; i < doc->LogicChannelCount(); ++i) doc->LogicChannelByIndex(i)->ResetDefaults();
    } else if (auto* zumo7 = dynamic_cast<TZumo7Doc*>(doc); zumo7 && node == groups_.OwnChannels) {
        for (int i = 0; i < zumo7->InternalChannelCount(); ++i) zumo7->InternalChannelByIndex(i)->ResetDefaults();
    } else if (zumo7 && node == groups_.DIO) {
        for (int i = 0; i < zumo7->DioChannelCount(); ++i) zumo7->DioChannelByIndex(i)->ResetDefaults();
    } else if (node == groups_.Apertures) {
        for (int i = 0; i < doc->ApertureCount(); ++i) doc->ApertureByIndex(i)->ResetDefaults();
    } else if (node == groups_.Scales) {
        for (int i = 0; i < doc->ScaleCount(); ++i) doc->ScaleByIndex(i)->ResetDefaults();
    } else if (device && dynamic_cast<TDevChannelNode*>(node)) {
        for (int i = 0; i < device->ChannelBlockCount(); ++i) device->ChannelBlockByIndex(i)->ResetDefaults();
    } else if (device && dynamic_cast<TDevAppertureNode*>(node)) {
        for (int i = 0; i < device->ApertureBlockCount(); ++i) device->ApertureBlockByIndex(i)->ResetDefaults();
    } else if (device && dynamic_cast<TDevScaleNode*>(node)) {
        for (int i = 0; i < device->ScaleBlockCount(); ++i) device->ScaleBlockByIndex(i)->ResetDefaults();
    } else if (device && node->Parent() == groups_.Devices) {
        ResetDeviceKeepIdentity(*device);
        tree_.SetCaption(node, device->DeviceCaption());
    } else {
        return;
    }
    if (frame_) frame_->RefreshAll();
}

void TDocTree::ShowRecordInGroup(TNodeTree* group, const TFieldLst* record)
{
    if (!group) return;
    Focus(group);
    tree_.ScrollIntoView(group);
    if (frame_)
        if (IRecordSelector* selector = frame_->RecordSelector()) selector->SelectRecord(record, 1);
}

bool TDocTree::FrameNotify(uintptr_t wParam, intptr_t lParam)
{
    TZumo2Doc* doc = document_;
    if (wParam != 0 || lParam == 0 || !doc) return false;
    // The address is compared with the current document's records before anything
    // is read through it: a message queued before the document was replaced points
    // into a freed one.
    const auto is = [lParam](const void* record) { return reinterpret_cast<intptr_t>(record) == lParam; };
    for (int i = 0; i < doc->ApertureCount(); ++i)
        if (TAppertureTIT* aperture = doc->ApertureByIndex(i); is(aperture)) {
            ShowRecordInGroup(groups_.Apertures, aperture);
            return true;
        }
    for (int i = 0; i < doc->ScaleCount(); ++i)
        if (TScaleTIT* scale = doc->ScaleByIndex(i); is(scale)) {
            ShowRecordInGroup(groups_.Scales, scale);
            return true;
        }
    for (int i = 0; i < doc->DeviceCount(); ++i)
        if (TDevice* device = doc->DeviceByIndex(i); is(device)) {
            TNodeTree* node = DeviceNodeOf(groups_, device);
            if (!node) return false;
            tree_.ExpandParents(node);
            Focus(node);
            tree_.ScrollIntoView(node);
            tree_.TakeInputFocus();
            return true;
        }
    return false;
}
