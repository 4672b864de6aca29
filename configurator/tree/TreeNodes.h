#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TFieldLst;
class TBindingTree;

// The document tree without widgets: nodes with their binding objects, visibility,
// expansion and the focused node. The window's tree view mirrors it; everything the
// configurator decides about the tree is decided here.

// One node of the tree and what it stands for. The tree owns its nodes; a node owns
// its children. A node never owns the element it points to.
class TNodeTree {
public:
    virtual ~TNodeTree();
    TNodeTree(const TNodeTree&) = delete;
    TNodeTree& operator=(const TNodeTree&) = delete;

    virtual const char* ClassName() const { return "TNodeTree"; }

    const std::string& Caption() const { return caption_; }
    // The image index for the normal and the selected state; -1 for none.
    int Index() const { return index_; }
    bool Visible() const { return visible_; }
    bool Expanded() const { return expanded_; }

    TNodeTree* Parent() const { return parent_; }
    int ChildCount() const { return static_cast<int>(children_.size()); }
    // The child at a position; none outside.
    TNodeTree* Child(int index) const;
    // The position among the parent's children (or among the top-level nodes).
    int Position() const;
    // The tree the node belongs to.
    TBindingTree* Tree() const { return tree_; }

    // The field list the node edits; none for a group.
    virtual TFieldLst* FieldList() const { return nullptr; }

protected:
    TNodeTree(std::string caption, int index) : caption_(std::move(caption)), index_(index) {}

private:
    friend class TBindingTree;

    std::string caption_;
    int index_;
    bool visible_ = true;
    bool expanded_ = false;
    TBindingTree* tree_ = nullptr;
    TNodeTree* parent_ = nullptr;
    std::vector<std::unique_ptr<TNodeTree>> children_;
};

// A node that groups others: a caption and an icon (its group kind).
class TGroupNode : public TNodeTree {
public:
    TGroupNode(std::string caption, int groupKind) : TNodeTree(std::move(caption), groupKind) {}
    const char* ClassName() const override { return "TGroupNode"; }
};

// A node that edits a field list (which may be none for a placeholder).
class TElementNode : public TNodeTree {
public:
    TElementNode(std::string caption, TFieldLst* fieldList, int index)
        : TNodeTree(std::move(caption), index), list_(fieldList)
    {
    }
    const char* ClassName() const override { return "TElementNode"; }
    TFieldLst* FieldList() const override { return list_; }

private:
    TFieldLst* list_;
};

// Marks for what an element node stands for; they have no behaviour of their own.

// A serial port of a Zumo 7 document.
class TUART_Node : public TElementNode {
public:
    using TElementNode::TElementNode;
    const char* ClassName() const override { return "TUART_Node"; }
};

// "Каналы" under a device: holds the device's list.
class TDevChannelNode : public TElementNode {
public:
    using TElementNode::TElementNode;
    const char* ClassName() const override { return "TDevChannelNode"; }
};

// "Апертуры" under a device: holds the device's list.
class TDevAppertureNode : public TElementNode {
public:
    using TElementNode::TElementNode;
    const char* ClassName() const override { return "TDevAppertureNode"; }
};

// "Преобразования ТИТ" under a device: holds the device's list.
class TDevScaleNode : public TElementNode {
public:
    using TElementNode::TElementNode;
    const char* ClassName() const override { return "TDevScaleNode"; }
};

// Told about every change of a tree. Changes of nodes are not reported while updates
// are suspended (the end of the suspension reports TreeReset); focus changes always are.
class ITreeObserver {
public:
    virtual ~ITreeObserver();
    // Nodes came or went: everything must be read again.
    virtual void TreeReset() = 0;
    // A node was added (its parent and siblings exist already).
    virtual void NodeAdded(TNodeTree* node) = 0;
    // A node's caption, visibility or expansion changed.
    virtual void NodeChanged(TNodeTree* node) = 0;
    // The focused node changed (none: no node is focused).
    virtual void FocusChanged(TNodeTree* node) = 0;
    // View requests that change no state.
    virtual void ScrollIntoView(TNodeTree*) {}
    virtual void TakeInputFocus() {}
};

// The nodes of the document tree, in order, with the focused node.
class TBindingTree {
public:
    TBindingTree();
    ~TBindingTree();
    TBindingTree(const TBindingTree&) = delete;
    TBindingTree& operator=(const TBindingTree&) = delete;

    // Adds a node made of args under parent (none: a top-level node), last among its
    // siblings, visible or hidden.
    template <class T, class... A>
    T* Add(TNodeTree* parent, bool visible, A&&... args)
    {
        auto node = std::make_unique<T>(std::forward<A>(args)...);
        T* raw = node.get();
        Adopt(parent, std::move(node), visible);
        return raw;
    }
    TGroupNode* AddGroup(TNodeTree* parent, std::string caption, int groupKind)
    {
        return Add<TGroupNode>(parent, true, std::move(caption), groupKind);
    }
    template <class T = TElementNode>
    T* AddElement(TNodeTree* parent, std::string caption, TFieldLst* list, bool visible, int index)
    {
        return Add<T>(parent, visible, std::move(caption), list, index);
    }

    // Frees every node. The focus is dropped first (reported while the nodes still
    // exist), then the nodes go, then TreeReset.
    void Clear();

    int RootCount() const { return static_cast<int>(roots_.size()); }
    TNodeTree* Root(int index) const;
    // Every node, parents before children, in order.
    std::vector<TNodeTree*> AllNodes() const;
    bool Contains(const TNodeTree* node) const;

    void SetCaption(TNodeTree* node, std::string caption);
    void SetVisible(TNodeTree* node, bool visible);
    void SetExpanded(TNodeTree* node, bool expanded);
    // Expands every ancestor of the node.
    void ExpandParents(TNodeTree* node);

    TNodeTree* Focused() const { return focused_; }
    // Focuses a node of this tree (none: no focus); reported only when it changes.
    void SetFocused(TNodeTree* node);
    void ScrollIntoView(TNodeTree* node);
    // Asks the view to take the input focus.
    void TakeInputFocus();

    // Suspends the reports of node changes (nested); the last EndUpdate reports
    // TreeReset.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();
    bool Updating() const { return updating_ > 0; }

    void AddObserver(ITreeObserver* observer);
    void RemoveObserver(ITreeObserver* observer);

private:
    void Adopt(TNodeTree* parent, std::unique_ptr<TNodeTree> node, bool visible);
    template <class F>
    void Notify(F&& f);

    std::vector<std::unique_ptr<TNodeTree>> roots_;
    TNodeTree* focused_ = nullptr;
    int updating_ = 0;
    std::vector<ITreeObserver*> observers_;
};

// Suspends a tree's reports for a scope.
class TTreeUpdate {
public:
    explicit TTreeUpdate(TBindingTree& tree) : tree_(tree) { tree_.BeginUpdate(); }
    ~TTreeUpdate() { tree_.EndUpdate(); }
    TTreeUpdate(const TTreeUpdate&) = delete;
    TTreeUpdate& operator=(const TTreeUpdate&) = delete;

private:
    TBindingTree& tree_;
};
