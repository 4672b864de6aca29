#include "tests/support/QtTestApp.h"

#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FCommon.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/StatusBar.h"
#include "configurator/widgets/uParamFrame.h"
#include "configurator/core/FModifBoard.h"
#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "platform/IniFile.h"
#include "platform/ProgramDir.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"
#include "tests/configurator/tree/ModelTreeCheck.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QEnterEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

using qttest::PumpUntil;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class CfgMain : public ::testing::Test {
protected:
    TempDir dir;
    testsupport::ScopedEnv programDir{platform::kProgramDirVariable, dir.path().string()};
    testsupport::DialogScript dialogs;

    void SetUp() override { qttest::App(); }

    TCfgMainOptions Options() const
    {
        TCfgMainOptions o;
        o.LibraryFile = dir / "libSarnupolexLib.so"; // none there
        o.IniFile = dir / "Mirvak.ini";
        // Every model gets the base document: these tests are about the window, not
        // about which models have documents.
        o.DocumentFactory = [](int) -> std::unique_ptr<TDocument> { return MakeZumo2Doc(); };
        return o;
    }

    // Options that start with a model of the real model table.
    TCfgMainOptions RealModelOptions(int code) const
    {
        WriteFile(dir / "Mirvak.ini", "[Cfg]\r\nSelHUB=" + std::to_string(code) + "\r\n");
        TCfgMainOptions o = Options();
        o.DocumentFactory = {};
        return o;
    }

    static bool Started(TfmCfgMain& w) { return PumpUntil([&] { return w.Controller().Document() != nullptr; }); }

    // Shows the window at a size, and again at that size once it started; false when it
    // does not start.
    static bool StartAt(TfmCfgMain& w, int width, int height)
    {
        w.resize(width, height);
        w.show();
        if (!Started(w)) return false;
        w.resize(width, height);
        QApplication::processEvents();
        return true;
    }

    static bool HasLine(TfmCfgMain& w, const std::string& text)
    {
        for (int i = 0; i < w.lbMsg->Log().Count(); ++i)
            if (w.lbMsg->Log().Entry(i).Text == text && w.lbMsg->Log().Entry(i).HasTime) return true;
        return false;
    }
};

TEST_F(CfgMain, StartsAsAFileEditorWithoutTheLibrary)
{
    TfmCfgMain w(Options());
    EXPECT_FALSE(w.LibraryLoaded());
    ASSERT_EQ(w.lbMsg->Log().Count(), 1);
    EXPECT_EQ(w.lbMsg->Log().Line(0), "Не найдена библиотека libSarnupolexLib.so");
    EXPECT_TRUE(w.tbOperations->actions().isEmpty());
    EXPECT_EQ(w.windowTitle(), "Mirvak");
    EXPECT_EQ(w.laTypeHUB->text(), "   Тип концентратора   ");
    EXPECT_EQ(w.acSaveAs->text(), "Сохратить как...");
    EXPECT_EQ(static_cast<QToolButton*>(w.tbFixed->widgetForAction(w.acSaveAs))->text(), "Сохратить как...");
    EXPECT_EQ(w.acSaveAs->statusTip(), "Сохранить файл параметров c именем...");
    EXPECT_EQ(w.acExportDeviceLogicChannToFile->text(), "Экcп. список каналов устройств в файл");

    ASSERT_TRUE(Started(w));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Zumo2"); }));
    EXPECT_EQ(w.lbMsg->Log().Line(w.lbMsg->Log().Count() - 1), "Не найдена библиотека libSarnupolexLib.so");

    ASSERT_EQ(w.cbTypeHUB->count(), 18);
    std::vector<bool> codes(18);
    for (int i = 0; i < 18; ++i) {
        const int code = w.cbTypeHUB->itemData(i).toInt();
        ASSERT_TRUE(code >= 0 && code < 18);
        codes[static_cast<size_t>(code)] = true;
        if (i > 0) {
            EXPECT_LT(CompareKeys(w.cbTypeHUB->itemText(i - 1).toStdString(), w.cbTypeHUB->itemText(i).toStdString()), 0);
        }
    }
    EXPECT_EQ(std::count(codes.begin(), codes.end(), true), 18);
    EXPECT_EQ(w.cbTypeHUB->currentText(), "Zumo2");
    w.UpdateControls();
    EXPECT_FALSE(w.acSave->isEnabled());
    EXPECT_FALSE(w.acExportDeviceLogicChannToFile->isEnabled());
}

TEST_F(CfgMain, RestoresAndSavesTheSettings)
{
    WriteFile(dir / "Mirvak.ini",
              "[Placement]\r\nLeft=40\r\nTop=30\r\nWidth=700\r\nHeight=500\r\nMaximized=0\r\n"
              "[Cfg]\r\nTreeWidth=250\r\nMsgHeight=120\r\nSelHUB=3\r\nLastParamFile=\r\n");
    {
        TfmCfgMain w(Options());
        w.show();
        ASSERT_TRUE(Started(w));
        EXPECT_EQ(w.geometry(), QRect(40, 30, 700, 500));
        EXPECT_EQ(w.TreeWidth(), 250);
        EXPECT_EQ(w.MsgHeight(), 120);
        EXPECT_EQ(w.cbTypeHUB->currentData().toInt(), 3);
        EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Zumo7"); }));
        // Selecting the restored model made no document of its own before the start-up.
        int created = 0;
        for (int i = 0; i < w.lbMsg->Log().Count(); ++i)
            created += w.lbMsg->Log().Entry(i).Text.rfind("Создание новых", 0) == 0;
        EXPECT_EQ(created, 1);

        // The user's choice of a model replaces the document.
        const int zumo2 = w.cbTypeHUB->findText("Zumo2");
        w.cbTypeHUB->setCurrentIndex(zumo2);
        EXPECT_EQ(w.Controller().ModelCode(), 3);
        emit w.cbTypeHUB->activated(zumo2);
        EXPECT_EQ(w.Controller().ModelCode(), 0);
        EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Zumo2"); }));

        w.setGeometry(50, 60, 720, 480);
        w.close();
    }
    platform::MemIniFile ini(dir / "Mirvak.ini");
    EXPECT_EQ(ini.ReadInteger("Placement", "Left", 0), 50);
    EXPECT_EQ(ini.ReadInteger("Placement", "Top", 0), 60);
    EXPECT_EQ(ini.ReadInteger("Placement", "Width", 0), 720);
    EXPECT_EQ(ini.ReadInteger("Placement", "Height", 0), 480);
    EXPECT_EQ(ini.ReadInteger("Cfg", "TreeWidth", 0), 250);
    EXPECT_EQ(ini.ReadInteger("Cfg", "SelHUB", -1), 0);
    const std::string text = ReadFile(dir / "Mirvak.ini");
    EXPECT_LT(text.find("TreeWidth"), text.find("MsgHeight"));
    EXPECT_LT(text.find("MsgHeight"), text.find("SelHUB"));
    EXPECT_LT(text.find("SelHUB"), text.find("LastParamFile"));

    // A window left far off the screen comes back; an unknown model selects the first item.
    WriteFile(dir / "Mirvak.ini", "[Placement]\r\nLeft=-5000\r\nTop=30\r\nWidth=500\r\nHeight=400\r\n"
                                  "[Cfg]\r\nSelHUB=99\r\n");
    TfmCfgMain w(Options());
    w.show();
    ASSERT_TRUE(Started(w));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(w.geometry().left(), area.left());
    EXPECT_LE(w.geometry().right(), area.right());
    EXPECT_EQ(w.cbTypeHUB->currentIndex(), 0);
    EXPECT_EQ(w.Controller().ModelCode(), w.cbTypeHUB->itemData(0).toInt());
}

TEST_F(CfgMain, SiemensModelComesFromTheModelTable)
{
    TfmCfgMain w(RealModelOptions(17));
    ASSERT_TRUE(Started(w));
    EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Zumo2 Siemens"); }));
    ASSERT_NE(w.Controller().Document(), nullptr);
    EXPECT_STREQ(w.Controller().Document()->ClassName(), "TZumo2SiemensDoc");
}

TEST_F(CfgMain, VariantModelsComeFromTheModelTable)
{
    TCfgMainOptions options = Options();
    options.DocumentFactory = {}; // the real model table
    TfmCfgMain w(options);
    ASSERT_TRUE(Started(w));
    struct Model {
        int code;
        const char* name;
        const char* className;
    };
    for (const Model& m : {Model{1, "Zumo2 синх", "TZumo2sinDoc"}, Model{2, "Zumo4", "TZumo4Doc"},
                           Model{4, "Zumo9", "TZumo9Doc"}, Model{14, "Zumo2 синх 80", "TZumo2sin80Doc"},
                           Model{15, "Zumo2 синх 50", "TZumo2sin50Doc"}}) {
        SCOPED_TRACE(m.name);
        const int index = w.cbTypeHUB->findData(m.code);
        ASSERT_GE(index, 0);
        w.cbTypeHUB->setCurrentIndex(index); // as the user picks it
        emit w.cbTypeHUB->activated(index);
        EXPECT_EQ(w.cbTypeHUB->currentText().toStdString(), m.name);
        EXPECT_TRUE(PumpUntil([&] { return HasLine(w, std::string("Создание новых настроек устройства - ") + m.name); }));
        ASSERT_NE(w.Controller().Document(), nullptr);
        EXPECT_STREQ(w.Controller().Document()->ClassName(), m.className);
    }
}

TEST_F(CfgMain, DravoModelShowsItsTwoPorts)
{
    TfmCfgMain w(RealModelOptions(5));
    ASSERT_TRUE(Started(w));
    EXPECT_EQ(w.cbTypeHUB->currentText(), "Dravo7-STM");
    EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Dravo7-STM"); }));
    ASSERT_NE(w.Controller().Document(), nullptr);
    EXPECT_STREQ(w.Controller().Document()->ClassName(), "TDravo7Doc");
    w.DocTree()->RefreshTree();
    const TNodeTree* root = w.DocTree()->Tree().Groups().Root;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Caption(), "Dravo7");
    ASSERT_GE(root->ChildCount(), 3);
    EXPECT_EQ(root->Child(0)->Caption(), "Port B");
    EXPECT_EQ(root->Child(1)->Caption(), "Port A");
    EXPECT_EQ(root->Child(2)->Caption(), "Устройства");
}

TEST_F(CfgMain, SaveAsThenOpenThroughTheCommands)
{
    TfmCfgMain w(Options());
    ASSERT_TRUE(Started(w));
    const std::string saved = (dir / "new.hex").string();

    dialogs->PushFile((dir / "new").string(), 1);
    w.acSaveAs->trigger();
    EXPECT_TRUE(std::filesystem::is_regular_file(saved));
    EXPECT_EQ(w.windowTitle().toStdString(), "Mirvak - " + saved);
    EXPECT_TRUE(PumpUntil([&] { return w.acSave->isEnabled(); }));

    w.acNew->trigger();
    EXPECT_EQ(w.windowTitle(), "Mirvak");
    dialogs->PushFile(saved);
    w.acOpen->trigger();
    EXPECT_EQ(w.windowTitle().toStdString(), "Mirvak - " + saved);
    EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Открытие файла параметров - " + saved); }));
    EXPECT_FALSE(HasLine(w, "Ошибка открытия файла настроек - "));

    // A command that fails shows its error and leaves the window usable.
    std::filesystem::remove(saved);
    std::filesystem::create_directory(saved); // no file can replace a folder
    dialogs->PushAnswer(platform::MsgResult::OK);
    w.acSave->trigger();
    const auto box = dialogs->Records().back();
    EXPECT_EQ(box.box.icon, platform::MsgIcon::Error);
    EXPECT_NE(box.box.text.find(saved), std::string::npos);
}

// The user's way to lose a file: open it, pick another model (or New) and press Save.
// The new document belongs to no file, so Save stays disabled and the file is left as
// it was; Save as then saves the new document.
TEST_F(CfgMain, SaveIsDisabledAfterAModelChangeAndNew)
{
    const std::string file = (dir / "a.hex").string();
    {
        auto doc = MakeZumo2Doc();
        doc->ResetDefaults();
        doc->Find<TField>("time_offset")->SetValue(3);
        doc->SaveToFile(file);
    }
    const std::string before = ReadFile(file);
    TfmCfgMain w(Options());
    w.show();
    ASSERT_TRUE(Started(w));

    const std::function<void()> makeNew[] = {
        [&] {
            const int other = w.cbTypeHUB->findText("Pelvar-44");
            ASSERT_GE(other, 0);
            w.cbTypeHUB->setCurrentIndex(other);
            emit w.cbTypeHUB->activated(other); // as the user picks it
        },
        [&] { w.acNew->trigger(); },
    };
    for (const auto& action : makeNew) {
        dialogs->PushFile(file);
        w.acOpen->trigger();
        ASSERT_TRUE(PumpUntil([&] { return w.acSave->isEnabled(); }));
        ASSERT_EQ(w.windowTitle().toStdString(), "Mirvak - " + file);
        action();
        EXPECT_EQ(w.windowTitle(), "Mirvak");
        EXPECT_TRUE(PumpUntil([&] { return !w.acSave->isEnabled(); }));
        w.acSave->trigger();
        w.Controller().Save(); // also when called past the disabled action
        EXPECT_EQ(ReadFile(file), before);
        EXPECT_FALSE(HasLine(w, "Сохранения файла параметров - " + file));
    }

    const std::string other = (dir / "b.hex").string();
    dialogs->PushFile(other, 1);
    w.acSaveAs->trigger();
    EXPECT_TRUE(std::filesystem::is_regular_file(other));
    EXPECT_EQ(w.windowTitle().toStdString(), "Mirvak - " + other);
    EXPECT_TRUE(PumpUntil([&] { return w.acSave->isEnabled(); }));
    EXPECT_EQ(ReadFile(file), before);
}

void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

TEST_F(CfgMain, MessageListKeysAndDoubleClick)
{
    TfmCfgMain w(Options());
    ASSERT_TRUE(Started(w));
    TMessageList& list = *w.lbMsg;
    list.Model().Clear();
    list.AddLine("c", 0);
    list.AddLine("b", 1);
    list.AddLine("a", 2);
    QApplication::clipboard()->setText("kept");

    list.setCurrentIndex(list.model()->index(1, 0)); // current but nothing selected
    list.clearSelection();
    Key(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");

    list.selectionModel()->select(list.model()->index(2, 0), QItemSelectionModel::Select);
    list.selectionModel()->select(list.model()->index(0, 0), QItemSelectionModel::Select);
    Key(&list, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    Key(&list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "a\r\nc\r\n");

    Key(&list, Qt::Key_Delete, Qt::NoModifier);
    ASSERT_EQ(list.Log().Count(), 1);
    EXPECT_EQ(list.Log().Line(0), "b");
    Key(&list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list.SelectedRows(), std::vector<int>{0});

    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &click);
    EXPECT_EQ(list.Log().Count(), 0);
}

TEST_F(CfgMain, SplitterRefusesHeightsOutsideItsRange)
{
    TfmCfgMain w(Options());
    w.show();
    ASSERT_TRUE(Started(w));
    const int start = w.MsgHeight();
    auto moveTo = [&](int h) { w.spMsg->MoveHandle(w.spMsg->height() - h - w.spMsg->handleWidth(), 1); };
    for (int refused : {16, 150}) {
        moveTo(refused);
        EXPECT_EQ(w.MsgHeight(), start) << refused;
    }
    moveTo(120);
    EXPECT_EQ(w.MsgHeight(), 120);
    moveTo(17);
    EXPECT_EQ(w.MsgHeight(), 17);
}

// An editing frame with one control reaching down to childBottom.
class TestFrame : public TParamFrame {
public:
    int updates = 0;
    void UpdateControls() override { ++updates; }

protected:
    explicit TestFrame(int childBottom)
    {
        auto* child = new QWidget(this);
        child->setGeometry(10, 10, 100, childBottom - 10);
    }
};

QWidget* Frame(int childBottom) { return MakeFrame<TestFrame>(childBottom); }

TEST_F(CfgMain, TallFramesGrowTheWindowAndSmallOnesDoNotShrinkIt)
{
    TfmCfgMain w(Options());
    ASSERT_TRUE(StartAt(w, 700, 300));
    const int host = w.paParams->viewport()->height();

    w.PlaceFrame(Frame(host + 100));
    EXPECT_EQ(w.height(), 400);
    EXPECT_EQ(w.ShownFrame()->height(), host + 104);

    // The idle update reaches the shown frame.
    auto* shown = static_cast<TestFrame*>(w.ShownFrame());
    EXPECT_TRUE(PumpUntil([&] { return shown->updates > 0; }));

    QPointer<QWidget> tall = w.ShownFrame();
    w.PlaceFrame(Frame(20));
    EXPECT_TRUE(tall.isNull()); // the shown frame is freed
    EXPECT_EQ(w.height(), 400);

    // An overhang of 4 pixels or less changes nothing; the screen bounds the growth.
    w.PlaceFrame(Frame(w.paParams->viewport()->height() + 4));
    EXPECT_EQ(w.height(), 400);
    w.PlaceFrame(Frame(5000));
    EXPECT_GT(w.height(), 700);
    EXPECT_LE(w.frameGeometry().height(), w.screen()->availableGeometry().height());
}

// A frame whose idle update fits it to a new height, as a device page does when its
// hosted page shows or hides a group.
class TResizingFrame : public TParamFrame {
public:
    int childBottom;
    void UpdateControls() override
    {
        child_->setGeometry(10, 10, 100, childBottom - 10);
        FitHeight();
    }

protected:
    explicit TResizingFrame(int bottom) : childBottom(bottom)
    {
        child_ = new QWidget(this);
        child_->setGeometry(10, 10, 100, bottom - 10);
    }

private:
    QWidget* child_;
};

TEST_F(CfgMain, AFrameThatGrowsInItsIdleUpdateGrowsTheWindow)
{
    TfmCfgMain w(Options());
    ASSERT_TRUE(StartAt(w, 700, 300));
    const int host = w.paParams->viewport()->height();
    auto* frame = MakeFrame<TResizingFrame>(host - 50);
    w.PlaceFrame(frame);
    EXPECT_EQ(w.height(), 300);

    frame->childBottom = host + 100;
    w.UpdateControls();
    EXPECT_EQ(frame->height(), host + 104);
    EXPECT_EQ(w.height(), 400);
    // Smaller again: the window keeps its height.
    frame->childBottom = host - 50;
    w.UpdateControls();
    EXPECT_EQ(frame->height(), host - 46);
    EXPECT_EQ(w.height(), 400);
}

TEST_F(CfgMain, TheDevicePageFitsItsHostAndItsEditorsLineUp)
{
    RegisterDocumentPages();
    TfmCfgMain w(Options());
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(Started(w));
    // КП TM800A on COM: no protocol page, so that the page fits the small offscreen screen.
    testsupport::UseSlot(*static_cast<TZumo2Doc*>(w.Controller().Document()), 0, 3, 0, 0, 17);
    w.DocTree()->RefreshTree();
    TDocTreeView* view = w.DocTree()->View();
    view->setCurrentItem(view->ItemOf(w.DocTree()->Tree().Groups().Devices->Child(0)));
    ASSERT_TRUE(PumpUntil([&] { return w.ShownFrame() && w.ShownFrame()->objectName() == "frDevice"; }));
    QWidget* page = w.ShownFrame();
    ASSERT_TRUE(PumpUntil([&] { return page->findChild<QWidget*>("paPort")->isVisible(); }));
    for (int i = 0; i < 5; ++i) QApplication::processEvents();

    // The window grew to take the page in, within the screen, and needs no scroll bar.
    EXPECT_GT(w.height(), 600);
    EXPECT_LE(w.frameGeometry().height(), w.screen()->availableGeometry().height());
    EXPECT_FALSE(w.paParams->verticalScrollBar()->isVisible());
    EXPECT_LE(PageContentBottom(page), w.paParams->viewport()->height());

    // Its editors share one left edge, across the panels that hold them.
    const char* editors[] = {"cbPort", "edAddr", "edSpeed", "cb005", "cb068_1", "cb068_2", "cb068_3", "ed006"};
    const int left = page->findChild<QWidget*>("cbPort")->mapTo(page, QPoint(0, 0)).x();
    for (const char* name : editors) {
        auto* editor = page->findChild<QWidget*>(name);
        ASSERT_NE(editor, nullptr) << name;
        EXPECT_EQ(editor->mapTo(page, QPoint(0, 0)).x(), left) << name;
    }
}

TEST_F(CfgMain, AtTheFirstStartTheTreePaneShowsItsCaptionsWhole)
{
    TfmCfgMain w(Options());
    w.resize(900, 600);
    w.show();
    ASSERT_TRUE(Started(w));
    ASSERT_TRUE(PumpUntil([&] { return w.vtTree->topLevelItemCount() > 0; }));
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_LE(w.TreeWidth(), 900 / 3);
    QTreeWidgetItem* root = w.vtTree->topLevelItem(0);
    ASSERT_GT(root->childCount(), 3);
    const QFontMetrics metrics(w.vtTree->font());
    for (int i = 0; i < root->childCount(); ++i) {
        QTreeWidgetItem* item = root->child(i);
        const int right = w.vtTree->visualItemRect(item).left() + w.vtTree->iconSize().width() +
                          metrics.horizontalAdvance(item->text(0));
        EXPECT_LT(right, w.vtTree->viewport()->width()) << item->text(0).toStdString();
    }
    // A page taller than the screen allows does scroll.
    w.PlaceFrame(Frame(5000));
    EXPECT_TRUE(PumpUntil([&] { return w.paParams->verticalScrollBar()->isVisible(); }));
}

TEST_F(CfgMain, HintsShowInPanelZero)
{
    TfmCfgMain w(Options());
    w.show();
    ASSERT_TRUE(Started(w));
    QWidget* open = w.tbFixed->widgetForAction(w.acOpen);
    ASSERT_NE(open, nullptr);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(open, &enter);
    EXPECT_EQ(w.sbStatus->PanelText(0), "Открыть файл параметров");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(open, &leave);
    EXPECT_EQ(w.sbStatus->PanelText(0), "Готов");
}

TEST_F(CfgMain, RescaleCommands)
{
    TfmCfgMain w(Options());
    // After the start-up, which widens a first start's window to its tool bars.
    ASSERT_TRUE(Started(w));
    w.resize(500, 400);
    const qreal size = w.font().pointSizeF();
    platform::SendMessage(w.Handle(), platform::WM_SYSCOMMAND, TfmCfgMain::kScaleUp, 0);
    EXPECT_EQ(w.size(), QSize(600, 480));
    EXPECT_DOUBLE_EQ(w.font().pointSizeF(), size * 1.2);
    platform::SendMessage(w.Handle(), platform::WM_SYSCOMMAND, TfmCfgMain::kScaleDown, 0);
    EXPECT_EQ(w.size(), QSize(480, 384));
}

} // namespace

namespace {

// The board dialog's answer: OK on the row of a signature (0: no row focused), or Cancel.
std::function<platform::MsgResult(platform::FormModel&)> Board(platform::MsgResult result, uint16_t signature = 0)
{
    return [result, signature](platform::FormModel& model) {
        auto& form = dynamic_cast<TfmBoardModif&>(model);
        EXPECT_EQ(form.RowCount(), 78);
        if (signature != 0) form.SetFocusedRow(form.RowOfSignature(signature));
        return result;
    };
}

uint16_t BoardOf(TfmCfgMain& w)
{
    auto* doc = dynamic_cast<TZumo7Doc*>(w.Controller().Document());
    return doc ? doc->BoardSignature() : 0;
}

} // namespace

TEST_F(CfgMain, NewZumo7DocumentAsksForItsBoard)
{
    WriteFile(dir / "Mirvak.ini", "[Cfg]\r\nSelHUB=3\r\nLastParamFile=\r\n");
    TCfgMainOptions o = Options();
    o.DocumentFactory = {}; // the model table's documents
    dialogs->PushForm(Board(platform::MsgResult::OK, 610));
    TfmCfgMain w(o);
    ASSERT_TRUE(Started(w));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Создание новых настроек устройства - Zumo7"); }));
    EXPECT_EQ(BoardOf(w), 610);
    TNodeTree* root = w.DocTree()->Tree().Tree().Root(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Caption(), "Zumo7-E1C20-M1");
    EXPECT_EQ(root->Child(2)->Caption(), "Modem1");

    const std::pair<std::function<platform::MsgResult(platform::FormModel&)>, int> answers[] = {
        {Board(platform::MsgResult::Cancel, 730), 10},
        {Board(platform::MsgResult::OK, 730), 730},
        {Board(platform::MsgResult::OK), 10},
    };
    for (const auto& [answer, board] : answers) {
        dialogs->PushForm(answer);
        w.acNew->trigger();
        EXPECT_EQ(BoardOf(w), board);
    }
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 4u);
    for (const auto& record : records) EXPECT_EQ(record.form, "TfmBoardModif");
}

TEST_F(CfgMain, PendingZumo7FileAtStartUpAsksForNoBoard)
{
    {
        auto file = MakeZumo7Doc();
        file->SetBoardSignature(730);
        file->ResetDefaults();
        file->SaveToFile(dir / "730.hex");
    }
    WriteFile(dir / "Mirvak.ini", "[Cfg]\r\nSelHUB=3\r\nLastParamFile=" + (dir / "730.hex").string() + "\r\n");
    TCfgMainOptions o = Options();
    o.DocumentFactory = {};
    TfmCfgMain w(o);
    w.show();
    ASSERT_TRUE(Started(w));
    ASSERT_TRUE(PumpUntil([&] { return HasLine(w, "Открытие файла параметров - " + (dir / "730.hex").string()); }));
    EXPECT_EQ(BoardOf(w), 730);
    EXPECT_TRUE(dialogs->Records().empty());
    EXPECT_EQ(w.DocTree()->Tree().Tree().Root(0)->Caption(), "Zumo7-E1C20-M4");
}

// Every model of the model table as a user meets it: picked in the combo, its tree and
// its common page, then Save as and Open again without a question.
TEST_F(CfgMain, EveryModelBuildsItsTreeAndPageAndOpensItsOwnFile)
{
    RegisterDocumentPages();
    TfmCfgMain w(RealModelOptions(0));
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(Started(w));
    for (const modeltable::Row& row : modeltable::Rows()) {
        SCOPED_TRACE(testing::PrintToString(row));
        const bool zumo7 = row.code == 3 || row.code == 16;
        dialogs.Reset();
        const int index = w.cbTypeHUB->findData(row.code);
        ASSERT_GE(index, 0);
        EXPECT_EQ(w.cbTypeHUB->itemText(index).toStdString(), row.comboText);
        if (zumo7) dialogs->PushForm(Board(platform::MsgResult::Cancel)); // board 10
        w.cbTypeHUB->setCurrentIndex(index);
        emit w.cbTypeHUB->activated(index);
        ASSERT_TRUE(PumpUntil([&] {
            return HasLine(w, std::string("Создание новых настроек устройства - ") + row.comboText);
        }));
        ASSERT_NE(w.Controller().Document(), nullptr);
        EXPECT_STREQ(w.Controller().Document()->ClassName(), row.className);
        if (zumo7) {
            EXPECT_EQ(BoardOf(w), 10);
        }

        // The tree: caption, port nodes, groups and devices.
        const TTreeGroups& g = w.DocTree()->Tree().Groups();
        EXPECT_TRUE(modeltable::TreeMatchesRow(g, row));
        ASSERT_NE(g.Root, nullptr);

        // The common page with the model's event buffer.
        TDocTreeView* view = w.DocTree()->View();
        view->setCurrentItem(view->ItemOf(g.Root));
        ASSERT_TRUE(PumpUntil([&] { return w.ShownFrame() && w.ShownFrame()->objectName() == "frCommon"; }));
        auto* common = dynamic_cast<TfrCommon*>(w.ShownFrame());
        ASSERT_NE(common, nullptr);
        EXPECT_EQ(common->gbBuffer->title().toStdString(),
                  "Буфер архива событий (макс. " + std::to_string(row.capacity) + " событий)");

        // Save as, then Open: no question, and the caption names the file.
        const std::string saved = (dir / ("model" + std::to_string(row.code) + ".hex")).string();
        dialogs->PushFile((dir / ("model" + std::to_string(row.code))).string(), 1);
        w.acSaveAs->trigger();
        EXPECT_TRUE(std::filesystem::is_regular_file(saved));
        EXPECT_EQ(w.windowTitle().toStdString(), "Mirvak - " + saved);
        dialogs->PushFile(saved);
        w.acOpen->trigger();
        EXPECT_TRUE(PumpUntil([&] { return HasLine(w, "Открытие файла параметров - " + saved); }));
        EXPECT_FALSE(HasLine(w, "Ошибка открытия файла настроек - "));
        EXPECT_EQ(w.windowTitle().toStdString(), "Mirvak - " + saved);
        ASSERT_NE(w.Controller().Document(), nullptr);
        EXPECT_STREQ(w.Controller().Document()->ClassName(), row.className);
        ASSERT_NE(w.DocTree()->Tree().Groups().Root, nullptr);
        EXPECT_EQ(w.DocTree()->Tree().Groups().Root->Caption(), row.caption);
        for (const auto& record : dialogs->Records())
            EXPECT_NE(record.kind, platform::DialogKind::MessageBox) << record.box.text;
    }
}
