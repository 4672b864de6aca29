#pragma once

#include "configurator/tree/AddDeviceMenu.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/tree/TreeNodes.h"

#include <cstdint>
#include <memory>
#include <string>

class QTreeWidget;
class QWidget;
class TDevice;
class TZumo2Doc;

// What the document tree asks of its window.
class IDocTreeHost {
public:
    virtual ~IDocTreeHost();
    // A document replaced the previous one, or none is left after a failed creation:
    // the operations tool bar follows.
    virtual void DocumentReplaced(TZumo2Doc*) {}
    // A page was made for the focused node: the window places and fits it.
    virtual void FrameShown(TShownFrame&) {}
};

// The main window's document, its tree, the shown page and the tree's commands,
// without widgets. The view mirrors Tree(); the window calls the commands.
//
// Order of teardown: the page first (it holds field pointers), then the tree, then the
// document. Without a document (after a failed creation) every command does nothing.
class TDocTree : private ITreeObserver {
public:
    explicit TDocTree(TFrameRegistry& registry = Frames());
    ~TDocTree() override;
    TDocTree(const TDocTree&) = delete;
    TDocTree& operator=(const TDocTree&) = delete;

    void SetHost(IDocTreeHost* host) { host_ = host; }
    // The widgets pages are made with (none in tests without widgets).
    void SetFrameWidgets(QWidget* parent, QTreeWidget* view)
    {
        frameParent_ = parent;
        frameView_ = view;
    }

    TBindingTree& Tree() { return tree_; }
    const TTreeGroups& Groups() const { return groups_; }
    TZumo2Doc* Document() const { return document_; }
    TShownFrame* Frame() const { return frame_.get(); }
    // "Добавить устройство" ("miAddDevice") with its branches.
    TMenuItem& AddDeviceMenu() { return menu_; }
    const TMenuItem& AddDeviceMenu() const { return menu_; }

    // Replaces the document by a new one of the model code, with its default
    // contents, and builds its tree. The page, the tree and the old document go
    // first; a code without a document raises "Тип " + name + " не реализован" and
    // leaves no document.
    void CreateDocumentForModel(int code, const std::string& name);
    // The same with a document made elsewhere and the family's builder.
    void ReplaceDocument(std::unique_ptr<TZumo2Doc> document, TTreeFamily family, int code);
    // Shows a document that its owner keeps: the page, the tree and the previous
    // document go, then the family's builder runs (the model code's family with the
    // second form). The owner calls ReleaseDocument before it frees the document.
    void AttachDocument(TZumo2Doc* document, TTreeFamily family, int code);
    void AttachDocument(TZumo2Doc* document, int code);
    // The page and the tree go, and the document (freed when it is owned here).
    void ReleaseDocument();
    // ReleaseDocument and the add-device menu emptied (shutdown).
    void CloseDocument();
    // The page goes and the tree is emptied; the document stays (its tree is built
    // again by RefreshTree where the family rebuilds it).
    void ClearTree();
    // Focuses the first node and scrolls it into view.
    void FocusFirstNode();

    // Device nodes shown exactly for the slots in use, captioned with DeviceCaption;
    // then the focused node's page made again.
    void RefreshTree();
    // The focused node's page made again (after a selection change).
    void SelectionChanged();
    // The page of a node (FrameKindForNode) or of an element's list (ObjectFrameKind),
    // made by the registry; none without a document, for a kind without a page or a
    // kind nobody registered.
    std::unique_ptr<TShownFrame> CreateFrameForNode(const TNodeTree* node);
    std::unique_ptr<TShownFrame> CreateObjectFrame(TFieldLst* list);
    // The first device node in slot order that is hidden; none when every slot is used.
    TNodeTree* FirstFreeSlot() const;
    // The shown page's UpdateControls (idle).
    void UpdateFrameControls();

    // Builds the add-device menu for the document (empty without one).
    void BuildAddDeviceMenu();
    // A protocol item's click: the first free slot gets the item's port, protocol and
    // role, its node is shown, focused and logged. No free slot: the error box
    // "Уже задано максимальное количество устройств" (through the dialog service) and
    // nothing changes. False when nothing was added.
    bool AddDeviceFromMenu(const TMenuItem& item);

    // "Создать копию": the focused node is an element node holding a device.
    bool CanCopyDevice() const;
    // Copies the focused device onto the first free slot; none raises
    // "Достигнуто максимальное количество устройств".
    void CopyDevice();
    // "Удалить устройство": the focused node is a device node.
    bool CanDeleteDevice() const;
    // Logs "Удален протокол - " + the device's title, frees the slot, hides its node and
    // focuses the devices group.
    void DeleteDevice();

    // The tree's Delete key: the records behind the focused node to their defaults.
    void ResetSelectionToDefaults();
    // Resets a device and stores its protocol, port and role back.
    static void ResetDeviceKeepIdentity(TDevice& device);

    // WM_FRAME_NOTIFY: wParam 0 asks to show the object at lParam, which is looked up
    // among the document's devices, TIT apertures and TIT conversions before it is
    // touched; anything else is ignored. True when an object was found.
    bool FrameNotify(uintptr_t wParam, intptr_t lParam);

private:
    void TreeReset() override {}
    void NodeAdded(TNodeTree*) override {}
    void NodeChanged(TNodeTree*) override {}
    void FocusChanged(TNodeTree*) override { SelectionChanged(); }

    void DestroyFrame() { frame_.reset(); }
    // Runs the builder for the current document; without one, or when the builder
    // raises, no document is left.
    void BuildTree(TTreeFamily family, int code);
    // Focuses a node and makes sure its page exists.
    void Focus(TNodeTree* node);
    // Captions of the visible device nodes from their devices.
    void UpdateDeviceCaptions();
    void ShowRecordInGroup(TNodeTree* group, const TFieldLst* record);
    std::unique_ptr<TShownFrame> CreateFrame(const TFrameChoice& choice);

    TFrameRegistry& registry_;
    IDocTreeHost* host_ = nullptr;
    QWidget* frameParent_ = nullptr;
    QTreeWidget* frameView_ = nullptr;
    TZumo2Doc* document_ = nullptr;
    std::unique_ptr<TZumo2Doc> owned_; // the document, when it is owned here
    TTreeFamily family_ = TTreeFamily::Zumo;
    TBindingTree tree_;
    TTreeGroups groups_;
    TMenuItem menu_{"Добавить устройство", "miAddDevice", 0, -1};
    std::unique_ptr<TShownFrame> frame_;
};
