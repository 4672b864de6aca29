#pragma once

#include "configurator/tree/DocTree.h"
#include "configurator/widgets/TreeView.h"
#include "tests/support/PromptAndLog.h"

#include <QWidget>

#include <memory>

namespace testsupport {

// The document tree with its view and a frame host in a shown window, as the main
// window lays them out, for the base model's document. A test derives from it, fills
// the registry in RegisterPages and then calls Open.
class TreeViewWindow : public IDocTreeHost {
public:
    TFrameRegistry registry;
    ScopedLogRecorder log;
    std::unique_ptr<QWidget> window;
    QWidget* frameHost = nullptr;
    std::unique_ptr<TDocTree> doc;
    TDocTreeView* view = nullptr;

    TreeViewWindow();
    virtual ~TreeViewWindow();

    // Builds the window of the given size with the tree view on the left and the frame
    // host taking the rest (stretched when stretchHost), shows it and makes the base
    // model's document.
    void Open(int width, int height, bool stretchHost);
    // Frees the view before the document tree it mirrors.
    void Close();

    // Places a shown page into the frame host.
    void FrameShown(TShownFrame& frame) override;

    TNodeTree* DevNode(int i) { return doc->Groups().Devices->Child(i); }
    // Selects a node as the user does and gives the page an idle cycle; the page shown
    // (none without one).
    QWidget* SelectNode(TNodeTree* node);
    // The same, the page as class F (none when it is of another class).
    template <class F>
    F* Select(TNodeTree* node)
    {
        return dynamic_cast<F*>(SelectNode(node));
    }
    // Handles the pending events a few rounds.
    static void Process();
};

} // namespace testsupport
