#pragma once

#include "configurator/tree/DocTree.h"

#include <QIcon>
#include <QTreeWidget>

#include <unordered_map>
#include <vector>

class QAction;
class QMenu;

// The icon of a node's image index (the same for the normal and the selected state).
QIcon TreeIcon(int index);

// The document tree on screen (vtTree): a tree widget that mirrors the nodes of a
// TDocTree (captions, icons, hidden rows, expansion, the focused node) and hands the
// user's selection, expansion, the Delete key and its pop-up menu's commands back to
// it. It holds no state of its own.
//
// The pop-up menu holds "Добавить устройство" (built from the add-device menu model
// each time it opens), "Создать копию", "Удалить устройство" and the window's own
// actions added with AddPopupAction.
//
// The view must go before the document tree it mirrors.
class TDocTreeView : public QTreeWidget, private ITreeObserver {
    Q_OBJECT
public:
    explicit TDocTreeView(TDocTree& docTree, QWidget* parent = nullptr);
    ~TDocTreeView() override;

    TDocTree& DocTree() const { return docTree_; }
    QTreeWidgetItem* ItemOf(const TNodeTree* node) const;
    TNodeTree* NodeOf(const QTreeWidgetItem* item) const;

    // The width the widest caption of the shown rows needs, with its indentation and
    // icon (the view's frame not included).
    int WidestCaptionWidth() const { return sizeHintForColumn(0); }

    QMenu* PopupMenu() const { return popup_; }
    QMenu* AddDeviceMenu() const { return addDevice_; }
    QAction* CopyDeviceAction() const { return acCopyDev_; }
    QAction* DeleteDeviceAction() const { return acDelDevice_; }
    // Appends a window action to the pop-up menu.
    void AddPopupAction(QAction* action);
    // Brings the pop-up menu up to date: the add-device items from the model, the
    // commands enabled as the focused node allows. Runs whenever the menu opens.
    void UpdatePopupMenu();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void TreeReset() override;
    void NodeAdded(TNodeTree* node) override;
    void NodeChanged(TNodeTree* node) override;
    void FocusChanged(TNodeTree* node) override;
    void ScrollIntoView(TNodeTree* node) override;
    void TakeInputFocus() override;

    // Creates the item of a node (under its parent's item) and those of its children.
    QTreeWidgetItem* Mirror(TNodeTree* node);
    void Apply(QTreeWidgetItem* item, const TNodeTree* node);
    void Rebuild();
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    void OnExpansion(QTreeWidgetItem* item, bool expanded);
    // Adds a protocol item's click; resolved again by its path when clicked.
    void AddDeviceFromPath(const std::vector<int>& path);

    TDocTree& docTree_;
    std::unordered_map<const TNodeTree*, QTreeWidgetItem*> items_;
    int syncing_ = 0; // > 0 while the view is set from the tree
    QMenu* popup_ = nullptr;
    QMenu* addDevice_ = nullptr;
    QAction* acCopyDev_ = nullptr;
    QAction* acDelDevice_ = nullptr;
};
