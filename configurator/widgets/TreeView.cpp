#include "configurator/widgets/TreeView.h"

#include "platform/ErrorDisplay.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>

QIcon TreeIcon(int index)
{
    QStyle* style = QApplication::style();
    if (!style) return {};
    switch (index) {
    case 3: return style->standardIcon(QStyle::SP_ComputerIcon);              // document, Hask modems
    case 7: return style->standardIcon(QStyle::SP_DirIcon);                   // devices, ПУ/КП branches
    case 24: return style->standardIcon(QStyle::SP_DriveNetIcon);             // ports, modems
    case 25: return style->standardIcon(QStyle::SP_FileDialogDetailedView);   // apertures
    case 26: return style->standardIcon(QStyle::SP_FileDialogContentsView);   // scales
    case 27: return style->standardIcon(QStyle::SP_FileDialogListView);       // channels
    case 29: return style->standardIcon(QStyle::SP_DriveHDIcon);              // a device
    case 33: return style->standardIcon(QStyle::SP_DirLinkIcon);              // own channels, DIO
    default: return {};
    }
}

TDocTreeView::TDocTreeView(TDocTree& docTree, QWidget* parent) : QTreeWidget(parent), docTree_(docTree)
{
    setObjectName("vtTree");
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);

    popup_ = new QMenu(this);
    addDevice_ = popup_->addMenu("Добавить устройство");
    addDevice_->setObjectName("miAddDevice");
    acCopyDev_ = popup_->addAction("Создать копию");
    acCopyDev_->setObjectName("acCopyDev");
    acCopyDev_->setToolTip("Создать копию устройства");
    acCopyDev_->setStatusTip("Создать копию устройства");
    acDelDevice_ = popup_->addAction("Удалить устройство");
    acDelDevice_->setObjectName("acDelDevice");
    connect(popup_, &QMenu::aboutToShow, this, platform::Guarded([this] { UpdatePopupMenu(); }));
    connect(acCopyDev_, &QAction::triggered, this, platform::Guarded([this] { docTree_.CopyDevice(); }));
    connect(acDelDevice_, &QAction::triggered, this, platform::Guarded([this] { docTree_.DeleteDevice(); }));

    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnCurrentItemChanged(current); });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { OnExpansion(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { OnExpansion(item, false); });

    docTree_.Tree().AddObserver(this);
    Rebuild();
}

TDocTreeView::~TDocTreeView()
{
    docTree_.Tree().RemoveObserver(this);
    ++syncing_; // the items go with the widget: nothing is handed back any more
}

QTreeWidgetItem* TDocTreeView::ItemOf(const TNodeTree* node) const
{
    const auto it = items_.find(node);
    return it == items_.end() ? nullptr : it->second;
}

TNodeTree* TDocTreeView::NodeOf(const QTreeWidgetItem* item) const
{
    if (!item) return nullptr;
    auto* node = reinterpret_cast<TNodeTree*>(item->data(0, Qt::UserRole).value<quintptr>());
    // Only nodes the view mirrors now.
    return ItemOf(node) == item ? node : nullptr;
}

void TDocTreeView::Apply(QTreeWidgetItem* item, const TNodeTree* node)
{
    item->setText(0, QString::fromStdString(node->Caption()));
    item->setIcon(0, TreeIcon(node->Index()));
    item->setHidden(!node->Visible());
    item->setExpanded(node->Expanded());
}

QTreeWidgetItem* TDocTreeView::Mirror(TNodeTree* node)
{
    auto* item = new QTreeWidgetItem;
    item->setData(0, Qt::UserRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(node)));
    if (QTreeWidgetItem* parent = ItemOf(node->Parent()))
        parent->addChild(item);
    else
        addTopLevelItem(item);
    items_[node] = item;
    for (int i = 0; i < node->ChildCount(); ++i) Mirror(node->Child(i));
    Apply(item, node);
    return item;
}

void TDocTreeView::Rebuild()
{
    ++syncing_;
    setUpdatesEnabled(false);
    clear();
    items_.clear();
    TBindingTree& tree = docTree_.Tree();
    for (int i = 0; i < tree.RootCount(); ++i) Mirror(tree.Root(i));
    setCurrentItem(ItemOf(tree.Focused()));
    setUpdatesEnabled(true);
    --syncing_;
}

void TDocTreeView::TreeReset() { Rebuild(); }

void TDocTreeView::NodeAdded(TNodeTree* node)
{
    if (node->Parent() && !ItemOf(node->Parent())) return Rebuild();
    ++syncing_;
    Mirror(node);
    --syncing_;
}

void TDocTreeView::NodeChanged(TNodeTree* node)
{
    QTreeWidgetItem* item = ItemOf(node);
    if (!item) return;
    ++syncing_;
    Apply(item, node);
    --syncing_;
}

void TDocTreeView::FocusChanged(TNodeTree* node)
{
    ++syncing_;
    setCurrentItem(ItemOf(node));
    --syncing_;
}

void TDocTreeView::ScrollIntoView(TNodeTree* node)
{
    if (QTreeWidgetItem* item = ItemOf(node)) scrollToItem(item);
}

void TDocTreeView::TakeInputFocus() { setFocus(Qt::OtherFocusReason); }

void TDocTreeView::OnCurrentItemChanged(QTreeWidgetItem* current)
{
    if (syncing_) return;
    platform::RunGuarded([&] { docTree_.Tree().SetFocused(NodeOf(current)); });
}

void TDocTreeView::OnExpansion(QTreeWidgetItem* item, bool expanded)
{
    if (syncing_) return;
    if (TNodeTree* node = NodeOf(item)) docTree_.Tree().SetExpanded(node, expanded);
}

void TDocTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        platform::RunGuarded([this] { docTree_.ResetSelectionToDefaults(); });
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TDocTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    popup_->popup(event->globalPos());
    event->accept();
}

void TDocTreeView::AddPopupAction(QAction* action) { popup_->addAction(action); }

namespace {

// The menu model's items under a Qt menu; protocol items call back with their path.
template <class OnClick>
void BuildMenu(QMenu* menu, const TMenuItem& model, std::vector<int>& path, OnClick& onClick)
{
    for (int i = 0; i < model.Count(); ++i) {
        const TMenuItem& item = *model.Item(i);
        path.push_back(i);
        const QString caption = QString::fromStdString(item.Caption);
        if (item.Count() > 0) {
            QMenu* sub = menu->addMenu(TreeIcon(item.ImageIndex), caption);
            sub->setObjectName(QString::fromStdString(item.Name));
            sub->setEnabled(item.Enabled);
            BuildMenu(sub, item, path, onClick);
        } else {
            QAction* action = menu->addAction(TreeIcon(item.ImageIndex), caption);
            action->setObjectName(QString::fromStdString(item.Name));
            action->setEnabled(item.Enabled);
            action->setData(item.Tag);
            if (item.AddsDevice)
                QObject::connect(action, &QAction::triggered, menu,
                                 platform::Guarded([onClick, path] { onClick(path); }));
        }
        path.pop_back();
    }
}

} // namespace

void TDocTreeView::UpdatePopupMenu()
{
    addDevice_->clear();
    // clear() keeps the sub-menus themselves.
    for (QMenu* sub : addDevice_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete sub;
    std::vector<int> path;
    auto onClick = [this](const std::vector<int>& p) { AddDeviceFromPath(p); };
    BuildMenu(addDevice_, docTree_.AddDeviceMenu(), path, onClick);
    addDevice_->setEnabled(docTree_.Document() && !addDevice_->isEmpty());
    acCopyDev_->setEnabled(docTree_.CanCopyDevice());
    acDelDevice_->setEnabled(docTree_.CanDeleteDevice());
}

void TDocTreeView::AddDeviceFromPath(const std::vector<int>& path)
{
    const TMenuItem* item = &docTree_.AddDeviceMenu();
    for (int i : path) {
        item = item->Item(i);
        if (!item) return;
    }
    docTree_.AddDeviceFromMenu(*item);
}
