#include "configurator/tree/TreeNodes.h"

#include <algorithm>
#include <stdexcept>

TNodeTree::~TNodeTree() = default;

TNodeTree* TNodeTree::Child(int index) const
{
    return index >= 0 && index < ChildCount() ? children_[static_cast<size_t>(index)].get() : nullptr;
}

int TNodeTree::Position() const
{
    if (parent_) {
        for (int i = 0; i < parent_->ChildCount(); ++i)
            if (parent_->Child(i) == this) return i;
    } else if (tree_) {
        for (int i = 0; i < tree_->RootCount(); ++i)
            if (tree_->Root(i) == this) return i;
    }
    return -1;
}

ITreeObserver::~ITreeObserver() = default;

TBindingTree::TBindingTree() = default;

TBindingTree::~TBindingTree()
{
    // Nobody is told any more: observers may be gone already.
    observers_.clear();
    focused_ = nullptr;
    roots_.clear();
}

template <class F>
void TBindingTree::Notify(F&& f)
{
    // An observer may add or remove observers while it is told.
    const std::vector<ITreeObserver*> observers = observers_;
    for (ITreeObserver* o : observers)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) f(*o);
}

void TBindingTree::Adopt(TNodeTree* parent, std::unique_ptr<TNodeTree> node, bool visible)
{
    if (parent && parent->tree_ != this) throw std::logic_error("parent node of another tree");
    node->tree_ = this;
    node->parent_ = parent;
    node->visible_ = visible;
    TNodeTree* raw = node.get();
    (parent ? parent->children_ : roots_).push_back(std::move(node));
    if (!Updating()) Notify([raw](ITreeObserver& o) { o.NodeAdded(raw); });
}

void TBindingTree::Clear()
{
    SetFocused(nullptr);
    roots_.clear();
    if (!Updating()) Notify([](ITreeObserver& o) { o.TreeReset(); });
}

TNodeTree* TBindingTree::Root(int index) const
{
    return index >= 0 && index < RootCount() ? roots_[static_cast<size_t>(index)].get() : nullptr;
}

std::vector<TNodeTree*> TBindingTree::AllNodes() const
{
    std::vector<TNodeTree*> out;
    std::vector<TNodeTree*> stack;
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        TNodeTree* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (int i = n->ChildCount() - 1; i >= 0; --i) stack.push_back(n->Child(i));
    }
    return out;
}

bool TBindingTree::Contains(const TNodeTree* node) const { return node && node->tree_ == this; }

void TBindingTree::SetCaption(TNodeTree* node, std::string caption)
{
    if (!Contains(node) || node->caption_ == caption) return;
    node->caption_ = std::move(caption);
    if (!Updating()) Notify([node](ITreeObserver& o) { o.NodeChanged(node); });
}

void TBindingTree::SetVisible(TNodeTree* node, bool visible)
{
    if (!Contains(node) || node->visible_ == visible) return;
    node->visible_ = visible;
    if (!Updating()) Notify([node](ITreeObserver& o) { o.NodeChanged(node); });
}

void TBindingTree::SetExpanded(TNodeTree* node, bool expanded)
{
    if (!Contains(node) || node->expanded_ == expanded) return;
    node->expanded_ = expanded;
    if (!Updating()) Notify([node](ITreeObserver& o) { o.NodeChanged(node); });
}

void TBindingTree::ExpandParents(TNodeTree* node)
{
    if (!Contains(node)) return;
    for (TNodeTree* p = node->parent_; p; p = p->parent_) SetExpanded(p, true);
}

void TBindingTree::SetFocused(TNodeTree* node)
{
    if (node && !Contains(node)) return;
    if (focused_ == node) return;
    focused_ = node;
    Notify([node](ITreeObserver& o) { o.FocusChanged(node); });
}

void TBindingTree::ScrollIntoView(TNodeTree* node)
{
    if (!Contains(node) || Updating()) return;
    Notify([node](ITreeObserver& o) { o.ScrollIntoView(node); });
}

void TBindingTree::TakeInputFocus()
{
    Notify([](ITreeObserver& o) { o.TakeInputFocus(); });
}

void TBindingTree::EndUpdate()
{
    if (updating_ > 0 && --updating_ == 0) Notify([](ITreeObserver& o) { o.TreeReset(); });
}

void TBindingTree::AddObserver(ITreeObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TBindingTree::RemoveObserver(ITreeObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}
