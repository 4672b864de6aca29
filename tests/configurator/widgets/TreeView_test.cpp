#include "tests/support/QtTestApp.h"

#include "configurator/FCfgMain.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/TreeView.h"
#include "model/uZumo2.h"
#include "platform/qt/QtWindows.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PromptAndLog.h"
#include "platform/Exceptions.h"
#include "platform/ProgramDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::LogLine;
using testsupport::ScopedLogRecorder;
using testsupport::UseSlot;

// The base model's tree at the top of a view: one root "Zumo2", expanded, over its five
// groups in order. The root; none when the view has not exactly one.
QTreeWidgetItem* ExpectBaseModelRoot(const QTreeWidget& view)
{
    EXPECT_EQ(view.topLevelItemCount(), 1);
    if (view.topLevelItemCount() != 1) return nullptr;
    QTreeWidgetItem* root = view.topLevelItem(0);
    EXPECT_EQ(root->text(0), "Zumo2");
    EXPECT_TRUE(root->isExpanded());
    QStringList captions;
    for (int i = 0; i < root->childCount(); ++i) captions << root->child(i)->text(0);
    EXPECT_EQ(captions, (QStringList{"COM", "Устройства", "Логические каналы", "Апертуры каналов ТИТ",
                                     "Преобразования каналов ТИТ"}));
    return root;
}

// The action at a path of captions in a view's add-device menu, as the pop-up builds it.
QAction* AddDeviceMenuAction(TDocTreeView& view, const std::vector<QString>& path)
{
    view.UpdatePopupMenu();
    QMenu* menu = view.AddDeviceMenu();
    for (size_t i = 0; menu && i < path.size(); ++i) {
        QMenu* next = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text() != path[i]) continue;
            if (i + 1 == path.size()) return a;
            next = a->menu();
        }
        menu = next;
    }
    return nullptr;
}

// A page that remembers what it was made for and whether its document still existed
// when it went.
class TestPage : public QWidget, public IRecordsView, public IRecordSelector {
public:
    static inline std::vector<bool> documentAliveAtDestruction;

    TestPage(const TFrameArgs& a, TDocTree* owner) : QWidget(a.Parent), args(a), owner_(owner)
    {
        setObjectName(FrameKindName(a.Kind));
    }
    ~TestPage() override { documentAliveAtDestruction.push_back(owner_->Document() == args.Document); }

    void RefreshAll() { ++refreshAll; }
    void UpdateControls() {}
    void RecordsChanged() override { ++recordsChanged; }
    bool SelectRecord(const TFieldLst* record, int) override
    {
        selected = record;
        return true;
    }

    TFrameArgs args;
    int refreshAll = 0;
    int recordsChanged = 0;
    const TFieldLst* selected = nullptr;

private:
    TDocTree* owner_;
};

class TreeViewTest : public ::testing::Test, public testsupport::TreeViewWindow {
protected:
    void SetUp() override
    {
        TestPage::documentAliveAtDestruction.clear();
        const TFrameKind kinds[] = {TFrameKind::Common, TFrameKind::Port, TFrameKind::Device,
                                    TFrameKind::DeviceGroup, TFrameKind::LogicChannels, TFrameKind::Apertures,
                                    TFrameKind::Scales, TFrameKind::DevChannels, TFrameKind::DevApertures,
                                    TFrameKind::DevScales};
        for (TFrameKind kind : kinds)
            RegisterPage<TestPage>(registry, kind,
                                   [this](const TFrameArgs& a) { return new TestPage(a, doc.get()); });
        Open(700, 500, false);
        AfterNew();
    }
    void TearDown() override { Close(); }

    void AfterNew()
    {
        doc->RefreshTree();
        doc->BuildAddDeviceMenu();
    }

    QTreeWidgetItem* Item(const TNodeTree* node) { return view->ItemOf(node); }
    TestPage* Page() { return doc->Frame() ? static_cast<TestPage*>(doc->Frame()->Widget()) : nullptr; }

    QAction* MenuAction(const std::vector<QString>& path) { return AddDeviceMenuAction(*view, path); }
};

TEST_F(TreeViewTest, MirrorsTheTree)
{
    QTreeWidgetItem* root = ExpectBaseModelRoot(*view);
    ASSERT_NE(root, nullptr);
    for (int i = 0; i < root->childCount(); ++i) EXPECT_FALSE(root->child(i)->icon(0).isNull()) << i;
    QTreeWidgetItem* devices = Item(doc->Groups().Devices);
    ASSERT_EQ(devices->childCount(), 20);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(devices->child(i)->isHidden()) << i;
    EXPECT_EQ(devices->child(4)->child(0)->text(0), "Каналы");
    for (int icon : {3, 7, 24, 25, 26, 27, 29, 33}) EXPECT_FALSE(TreeIcon(icon).isNull()) << icon;

    UseSlot(*doc->Document(), 1, 2, 0, 0, 4);
    doc->RefreshTree();
    EXPECT_FALSE(devices->child(1)->isHidden());
    EXPECT_EQ(devices->child(1)->text(0), "КП ModBus, COM, адрес 4");

    // The user's expansion goes back to the tree.
    devices->setExpanded(true);
    EXPECT_TRUE(doc->Groups().Devices->Expanded());
}

TEST_F(TreeViewTest, SelectingItemsReplacesThePage)
{
    UseSlot(*doc->Document(), 0, 2, 0, 0);
    doc->RefreshTree();
    view->setCurrentItem(Item(doc->Groups().Root->Child(0)));
    QPointer<TestPage> port = Page();
    ASSERT_TRUE(port);
    EXPECT_EQ(port->args.Kind, TFrameKind::Port);
    EXPECT_EQ(port->parentWidget(), frameHost);
    EXPECT_EQ(port->args.View, view);

    view->setCurrentItem(Item(doc->Groups().Devices));
    EXPECT_FALSE(port);
    QPointer<TestPage> group = Page();
    ASSERT_TRUE(group);
    EXPECT_EQ(group->args.Kind, TFrameKind::DeviceGroup);

    view->setCurrentItem(Item(DevNode(0)->Child(2)));
    EXPECT_FALSE(group);
    QPointer<TestPage> scales = Page();
    ASSERT_TRUE(scales);
    EXPECT_EQ(scales->args.Kind, TFrameKind::DevScales);
    EXPECT_EQ(scales->args.List, doc->Document()->DeviceByIndex(0));

    // A model change frees the page while its document still exists.
    doc->CreateDocumentForModel(0, "Zumo2");
    EXPECT_FALSE(scales);
    EXPECT_EQ(TestPage::documentAliveAtDestruction, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(view->currentItem(), nullptr);
    EXPECT_EQ(view->topLevelItem(0)->text(0), "Zumo2");
}

TEST_F(TreeViewTest, PopupMenuAddsCopiesAndDeletesDevices)
{
    QAction* modbus = MenuAction({"КП", "COM", "Протокол ModBus"});
    ASSERT_NE(modbus, nullptr);
    EXPECT_NE(MenuAction({"ПУ", "XPort", "Протокол МЭК"}), nullptr);
    EXPECT_NE(MenuAction({"КП", "485", "Протокол Компас 1.1/ТМ 120"}), nullptr);
    EXPECT_EQ(view->AddDeviceMenu()->title(), "Добавить устройство");
    EXPECT_EQ(view->PopupMenu()->actions().at(0)->menu(), view->AddDeviceMenu());

    modbus = MenuAction({"КП", "COM", "Протокол ModBus"});
    modbus->trigger();
    QTreeWidgetItem* item = Item(DevNode(0));
    EXPECT_FALSE(item->isHidden());
    EXPECT_EQ(item->text(0), "КП ModBus, COM, адрес 0");
    EXPECT_EQ(view->currentItem(), item);
    EXPECT_TRUE(item->isSelected());
    EXPECT_TRUE(Item(doc->Groups().Devices)->isExpanded());
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Добавлен протокол - КП ModBus", 0}}));
    ASSERT_NE(Page(), nullptr);
    EXPECT_EQ(Page()->args.Kind, TFrameKind::Device);

    view->UpdatePopupMenu();
    ASSERT_TRUE(view->CopyDeviceAction()->isEnabled());
    EXPECT_EQ(view->CopyDeviceAction()->text(), "Создать копию");
    EXPECT_EQ(view->CopyDeviceAction()->toolTip(), "Создать копию устройства");
    view->CopyDeviceAction()->trigger();
    EXPECT_FALSE(Item(DevNode(1))->isHidden());
    EXPECT_EQ(Item(DevNode(1))->text(0), "КП ModBus, COM, адрес 0");

    view->UpdatePopupMenu();
    ASSERT_TRUE(view->DeleteDeviceAction()->isEnabled());
    view->DeleteDeviceAction()->trigger();
    EXPECT_TRUE(item->isHidden());
    EXPECT_EQ(view->currentItem(), Item(doc->Groups().Devices));
    EXPECT_EQ(log.Lines().back(), (LogLine{"Удален протокол - КП ModBus", 0}));

    view->UpdatePopupMenu();
    EXPECT_FALSE(view->CopyDeviceAction()->isEnabled());
    EXPECT_FALSE(view->DeleteDeviceAction()->isEnabled());
}

TEST_F(TreeViewTest, DeleteKeyOnTheRootEmptiesTheDevices)
{
    UseSlot(*doc->Document(), 0, 2, 0, 0);
    UseSlot(*doc->Document(), 5, 1, 1, 1);
    doc->RefreshTree();
    view->setCurrentItem(view->topLevelItem(0));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    QTreeWidgetItem* devices = Item(doc->Groups().Devices);
    for (int i = 0; i < devices->childCount(); ++i) EXPECT_TRUE(devices->child(i)->isHidden()) << i;
    ASSERT_NE(Page(), nullptr);
    EXPECT_EQ(Page()->args.Kind, TFrameKind::Common);
    EXPECT_EQ(Page()->refreshAll, 1);

    // The devices group's page is told that its records changed.
    view->setCurrentItem(devices);
    QApplication::sendEvent(view, &press);
    EXPECT_EQ(Page()->recordsChanged, 1);
    EXPECT_EQ(Page()->refreshAll, 0);
}

TEST_F(TreeViewTest, PostedFrameNotifySelectsTheDeviceLater)
{
    // The main window's handling of the message.
    QWidget receiver;
    const platform::HWND hwnd = platform::qt::RegisterWidget(
        &receiver, [this](platform::HWND, platform::UINT msg, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
            if (msg == platform::WM_FRAME_NOTIFY) doc->FrameNotify(w, l);
            return 0;
        });
    window->activateWindow();
    UseSlot(*doc->Document(), 3, 2, 0, 0);
    doc->RefreshTree();
    view->setCurrentItem(view->topLevelItem(0));
    view->collapseAll();
    const auto lParam = reinterpret_cast<platform::LPARAM>(doc->Document()->DeviceByIndex(3));
    ASSERT_TRUE(platform::PostMessage(hwnd, platform::WM_FRAME_NOTIFY, 0, lParam));
    EXPECT_EQ(view->currentItem(), view->topLevelItem(0)); // not before the events are processed
    Process();
    EXPECT_EQ(view->currentItem(), Item(DevNode(3)));
    EXPECT_TRUE(Item(doc->Groups().Devices)->isExpanded());
    EXPECT_TRUE(view->hasFocus());

    // Queued before the model changed: the device it names is gone.
    auto replacement = testsupport::NewZumo2Doc(); // made while the old one still exists
    UseSlot(*replacement, 3, 2, 0, 0);
    ASSERT_TRUE(platform::PostMessage(hwnd, platform::WM_FRAME_NOTIFY, 0, lParam));
    doc->ReplaceDocument(std::move(replacement), TTreeFamily::Zumo, 0);
    doc->RefreshTree();
    Process();
    EXPECT_EQ(view->currentItem(), nullptr);
    EXPECT_EQ(doc->Tree().Focused(), nullptr);

    // And a model without a document.
    ASSERT_TRUE(platform::PostMessage(hwnd, platform::WM_FRAME_NOTIFY, 0,
                                      reinterpret_cast<platform::LPARAM>(doc->Document()->DeviceByIndex(3))));
    EXPECT_THROW(doc->CreateDocumentForModel(18, "Новая"), std::exception);
    Process();
    EXPECT_EQ(view->topLevelItemCount(), 0);
}

// The tree in the main window, with the model table's documents and test pages in the
// program's registry.
class WindowTree : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;
    std::unique_ptr<TfmCfgMain> w;

    static constexpr TFrameKind kinds[] = {TFrameKind::Common, TFrameKind::Port, TFrameKind::Device,
                                           TFrameKind::DeviceGroup};

    void SetUp() override
    {
        qttest::App();
        TestPage::documentAliveAtDestruction.clear();
        TCfgMainOptions o;
        o.LibraryFile = dir / "libSarnupolexLib.so"; // none there
        o.IniFile = dir / "Mirvak.ini";
        // The model table, except that the Dravo 7 document cannot be made: a model
        // change that fails.
        o.DocumentFactory = [real = ModelDocumentFactory()](int code) -> std::unique_ptr<TDocument> {
            if (code == 5) throw platform::Exception("Тип Dravo7 не реализован");
            return real(code);
        };
        w = std::make_unique<TfmCfgMain>(o);
        for (TFrameKind kind : kinds)
            RegisterPage<TestPage>(Frames(), kind,
                                   [this](const TFrameArgs& a) { return new TestPage(a, &Tree()); });
        w->resize(800, 600);
        w->show();
        ASSERT_TRUE(qttest::PumpUntil([&] { return w->Controller().Document() != nullptr; }));
    }
    void TearDown() override
    {
        w.reset();
        for (TFrameKind kind : kinds) Frames().Register(kind, {});
    }

    TDocTree& Tree() { return w->DocTree()->Tree(); }
    TDocTreeView* View() { return w->DocTree()->View(); }
    TNodeTree* DevNode(int i) { return Tree().Groups().Devices->Child(i); }
    QTreeWidgetItem* Item(const TNodeTree* n) { return View()->ItemOf(n); }

    bool Logged(const std::string& text)
    {
        for (int i = 0; i < w->lbMsg->Log().Count(); ++i)
            if (w->lbMsg->Log().Entry(i).Text == text) return true;
        return false;
    }

    QAction* MenuAction(const std::vector<QString>& path) { return AddDeviceMenuAction(*View(), path); }

    void ChooseModel(const char* name)
    {
        const int index = w->cbTypeHUB->findText(name);
        w->cbTypeHUB->setCurrentIndex(index);
        emit w->cbTypeHUB->activated(index);
    }
};

TEST_F(WindowTree, StartsWithTheBaseModelsTree)
{
    EXPECT_EQ(w->vtTree, View());
    QTreeWidgetItem* root = ExpectBaseModelRoot(*View());
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(View()->PopupMenu()->actions().contains(w->acExportDeviceLogicChannToFile));

    // Pages go into the frame host.
    View()->setCurrentItem(root);
    ASSERT_NE(w->ShownFrame(), nullptr);
    EXPECT_EQ(static_cast<TestPage*>(w->ShownFrame())->args.Kind, TFrameKind::Common);
    EXPECT_EQ(static_cast<TestPage*>(w->ShownFrame())->args.View, View());
}

TEST_F(WindowTree, PopupAddsAndDeletesADevice)
{
    QAction* modbus = MenuAction({"КП", "COM", "Протокол ModBus"});
    ASSERT_NE(modbus, nullptr);
    modbus->trigger();
    QTreeWidgetItem* item = Item(DevNode(0));
    EXPECT_FALSE(item->isHidden());
    EXPECT_EQ(item->text(0), "КП ModBus, COM, адрес 0");
    EXPECT_EQ(View()->currentItem(), item);
    EXPECT_EQ(static_cast<TestPage*>(w->ShownFrame())->args.Kind, TFrameKind::Device);
    EXPECT_TRUE(qttest::PumpUntil([&] { return Logged("Добавлен протокол - КП ModBus"); }));
    w->UpdateControls();
    EXPECT_TRUE(w->acExportDeviceLogicChannToFile->isEnabled());

    View()->UpdatePopupMenu();
    View()->DeleteDeviceAction()->trigger();
    EXPECT_TRUE(item->isHidden());
    EXPECT_EQ(View()->currentItem(), Item(Tree().Groups().Devices));
    EXPECT_TRUE(qttest::PumpUntil([&] { return Logged("Удален протокол - КП ModBus"); }));
    w->UpdateControls();
    EXPECT_FALSE(w->acExportDeviceLogicChannToFile->isEnabled());
}

TEST_F(WindowTree, ModelChangeFreesThePageBeforeTheDocument)
{
    View()->setCurrentItem(Item(Tree().Groups().Root->Child(0)));
    QPointer<QWidget> page = w->ShownFrame();
    ASSERT_TRUE(page);
    ChooseModel("Zumo2");
    EXPECT_FALSE(page);
    EXPECT_EQ(TestPage::documentAliveAtDestruction, (std::vector<bool>{true}));
    ASSERT_NE(Tree().Document(), nullptr);
    EXPECT_EQ(View()->topLevelItem(0)->text(0), "Zumo2");

    // A model whose document cannot be made: the error box, and no document is left.
    dialogs->PushAnswer(platform::MsgResult::OK);
    ChooseModel("Dravo7-STM");
    const auto asked = dialogs->Records();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].box.text, "Тип Dravo7 не реализован");
    EXPECT_EQ(Tree().Document(), nullptr);
    EXPECT_EQ(w->Controller().Document(), nullptr);
    EXPECT_EQ(View()->topLevelItemCount(), 0);
    View()->UpdatePopupMenu();
    EXPECT_FALSE(View()->AddDeviceMenu()->isEnabled());
}

TEST_F(WindowTree, PostedFrameNotifySelectsTheDevice)
{
    UseSlot(*Tree().Document(), 3, 2, 0, 0);
    Tree().RefreshTree();
    View()->setCurrentItem(View()->topLevelItem(0));
    w->activateWindow();
    const auto device = reinterpret_cast<platform::LPARAM>(Tree().Document()->DeviceByIndex(3));
    ASSERT_TRUE(platform::PostMessage(w->Handle(), platform::WM_FRAME_NOTIFY, 0, device));
    EXPECT_EQ(View()->currentItem(), View()->topLevelItem(0));
    ASSERT_TRUE(qttest::PumpUntil([&] { return View()->currentItem() == Item(DevNode(3)); }));
    EXPECT_TRUE(View()->hasFocus());

    // Queued before a model change.
    View()->setCurrentItem(View()->topLevelItem(0));
    ASSERT_TRUE(platform::PostMessage(w->Handle(), platform::WM_FRAME_NOTIFY, 0, device));
    dialogs->PushAnswer(platform::MsgResult::OK);
    ChooseModel("Dravo7-STM");
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    EXPECT_EQ(View()->topLevelItemCount(), 0);
    EXPECT_EQ(Tree().Tree().Focused(), nullptr);
}

} // namespace
