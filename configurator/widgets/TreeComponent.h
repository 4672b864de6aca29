#pragma once

#include "configurator/core/CfgController.h"
#include "configurator/tree/DocTree.h"
#include "configurator/widgets/TreeView.h"

#include <QPointer>

#include <functional>

// The main window's document tree: the tree without widgets, its view (vtTree) and
// the pages, joined to the window's controller (which owns the document) and to its
// frame host.
class TTreeComponent : public ICfgDocumentView, private IDocTreeHost {
public:
    struct Hooks {
        // Shows a page in the frame host and fits it; the page may go at any time.
        std::function<void(QWidget* page)> PlaceFrame;
        // The model code of the document being attached.
        std::function<int()> ModelCode;
        // A document replaced the previous one (none after a failed creation).
        std::function<void(TZumo2Doc* document)> DocumentReplaced;
    };

    explicit TTreeComponent(Hooks hooks, TFrameRegistry& registry = Frames());
    // The view goes first: it mirrors the tree.
    ~TTreeComponent() override;

    TDocTree& Tree() { return tree_; }
    TDocTreeView* View() const { return view_.data(); }
    // Makes the view (once); the caller places it.
    TDocTreeView* CreateView(QWidget* parent = nullptr);
    // The widget pages are made in.
    void SetFrameHost(QWidget* host);

    // ICfgDocumentView
    void ReleaseDocument() override { tree_.ReleaseDocument(); }
    void AttachDocument(TDocument* document) override;
    void RefreshTree() override { tree_.RefreshTree(); }
    void BuildAddDeviceMenu() override { tree_.BuildAddDeviceMenu(); }
    void FocusFirstNode() override { tree_.FocusFirstNode(); }
    void ClearTree() override { tree_.ClearTree(); }

private:
    void FrameShown(TShownFrame& frame) override;
    void DocumentReplaced(TZumo2Doc* document) override;

    Hooks hooks_;
    TDocTree tree_;
    QPointer<TDocTreeView> view_;
    QWidget* frameHost_ = nullptr;
};

// The documents of the model table, for the window's controller: "Тип " + the model's
// name + " не реализован" for a model without one.
TCfgController::DocumentFactory ModelDocumentFactory();
