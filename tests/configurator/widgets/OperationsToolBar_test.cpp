#include "configurator/widgets/OperationsToolBar.h"

#include "tests/fixtures/LoaderCatalogue.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// The bars in a window, as the main window holds them.
class OperationsToolBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        qttest::App();
        window = std::make_unique<QMainWindow>();
        bar = new TOperationsToolBar(window.get());
        window->addToolBar(bar);
        window->addToolBar(bar->CommandLine());
        window->resize(1600, 300);
        window->show();
    }

    void Build(bool linearHex = true, bool firmwareWithParams = true, bool enabled = true)
    {
        bar->Build(BuildOperationEntries(kLoaderCatalogue, linearHex, firmwareWithParams).Entries, enabled);
    }

    // The bar's items in order: "[devices]", "|" for a gap, else the action's text.
    static Strings Items(QToolBar* toolBar)
    {
        Strings items;
        for (QAction* action : toolBar->actions()) {
            auto* widgetAction = qobject_cast<QWidgetAction*>(action);
            QWidget* widget = widgetAction ? widgetAction->defaultWidget() : nullptr;
            if (auto* label = qobject_cast<QLabel*>(widget))
                items.push_back(label->text().toStdString());
            else if (widget)
                items.push_back("[" + widget->objectName().toStdString() + "]");
            else
                items.push_back(action->text().toStdString());
        }
        return items;
    }

    Qt::ToolButtonStyle ButtonStyle(int code) const
    {
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(bar->OperationAction(code)));
        EXPECT_NE(button, nullptr) << code;
        return button ? button->toolButtonStyle() : Qt::ToolButtonFollowStyle;
    }

    std::unique_ptr<QMainWindow> window;
    TOperationsToolBar* bar = nullptr;
};

TEST_F(OperationsToolBar, ShowsTheCatalogueInOrder)
{
    Build();
    EXPECT_EQ(bar->objectName(), "tbOperations");
    EXPECT_EQ(bar->CommandLine()->objectName(), "tbCommandLine");
    // Gaps between the groups, none at the end; the command line on its own bar.
    EXPECT_EQ(Items(bar), (Strings{"[cbDevice]", "Настройки подключения", "[opGap]", "Считать параметры",
                                   "Записать параметры", "[opGap]", "Выбрать файл прошивки", "Записать прошивку",
                                   "Записать прошивку и текущие параметры", "[opGap]",
                                   "Считать EEPROM и сохранить в файл", "Считать FLASH и сохранить в файл"}));
    EXPECT_EQ(Items(bar->CommandLine()), (Strings{"   Командная строка: ", "[SendBox]"}));
    EXPECT_EQ(bar->OperationAction(opQuickSend), nullptr);
    EXPECT_EQ(bar->OperationAction(opSeparator), nullptr);

    // The settings button shows its image only, the others their captions too.
    EXPECT_EQ(ButtonStyle(opSettings), Qt::ToolButtonIconOnly);
    EXPECT_EQ(ButtonStyle(opReadParams), Qt::ToolButtonTextBesideIcon);
    QAction* settings = bar->OperationAction(opSettings);
    EXPECT_EQ(settings->toolTip(), "Настройки подключения");
    EXPECT_EQ(settings->statusTip(), "Настройки подключения");
    EXPECT_EQ(settings->data().toInt(), opSettings);

    QComboBox* box = bar->SendBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isEditable());
    EXPECT_TRUE(box->currentText().isEmpty());
    EXPECT_EQ(box->maxVisibleItems(), 10);
    EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
}

// A catalogue line's hint, shortcut and hidden flag reach its action; the actions start
// enabled as asked and their buttons or shortcuts report the action.
TEST_F(OperationsToolBar, ActionsCarryTheEntries)
{
    bar->Build(BuildOperationEntries("OPCode=1; Caption=Считать; Hint=Считать параметры; Shortcut=Ctrl+R\n"
                                     "OPCode=2; Caption=Записать; Hidden=TRUE",
                                     false, false)
                   .Entries,
               false);
    QAction* read = bar->OperationAction(opReadParams);
    QAction* write = bar->OperationAction(opWriteParams);
    ASSERT_NE(read, nullptr);
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(read->text(), "Считать параметры");
    EXPECT_EQ(read->iconText(), "Считать");
    EXPECT_EQ(read->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_TRUE(read->isVisible());
    EXPECT_FALSE(write->isVisible());
    EXPECT_FALSE(read->isEnabled());
    EXPECT_EQ(bar->DeviceCombo(), nullptr);
    EXPECT_EQ(bar->SendBox(), nullptr);
    EXPECT_TRUE(bar->CommandLine()->actions().isEmpty());

    std::vector<QAction*> triggered;
    QObject::connect(bar, &TOperationsToolBar::OperationTriggered, [&](QAction* action) { triggered.push_back(action); });
    bar->SetOperationsEnabled(true);
    EXPECT_TRUE(read->isEnabled());
    QTest::mouseClick(bar->widgetForAction(read), Qt::LeftButton);
    EXPECT_EQ(triggered, std::vector<QAction*>{read});
    bar->SetOperationsEnabled(false);
    EXPECT_FALSE(read->isEnabled());
    EXPECT_FALSE(write->isEnabled());
}

// A rebuild leaves nothing of the last build; the device box's selection comes back
// from the one it removes.
TEST_F(OperationsToolBar, RebuildReplacesEverything)
{
    Build();
    int lastDevice = -1;
    bar->FillDevices(std::string("Name=A\nName=B\nName=C"), lastDevice);
    bar->DeviceCombo()->setCurrentIndex(2);
    const QPointer<QComboBox> oldCombo = bar->DeviceCombo();
    const QPointer<QComboBox> oldBox = bar->SendBox();
    const QPointer<QAction> oldRead = bar->OperationAction(opReadParams);

    Build(false, false);
    EXPECT_TRUE(oldCombo.isNull());
    EXPECT_TRUE(oldBox.isNull());
    EXPECT_TRUE(oldRead.isNull());
    EXPECT_EQ(Items(bar), (Strings{"[cbDevice]", "Настройки подключения", "[opGap]", "Считать параметры",
                                   "Записать параметры", "[opGap]", "Выбрать файл прошивки", "Записать прошивку",
                                   "[opGap]", "Считать FLASH и сохранить в файл"}));
    EXPECT_EQ(Items(bar->CommandLine()), (Strings{"   Командная строка: ", "[SendBox]"}));
    EXPECT_EQ(bar->findChildren<QComboBox*>("cbDevice").size(), 1);
    EXPECT_EQ(bar->CommandLine()->findChildren<QComboBox*>("SendBox").size(), 1);

    bar->FillDevices(std::string("Name=A\nName=B\nName=C"), lastDevice);
    bar->DeviceCombo()->setCurrentIndex(1);
    EXPECT_EQ(bar->TakeDeviceCombo(), std::optional<int>(1));
    EXPECT_EQ(bar->DeviceCombo(), nullptr);
    EXPECT_EQ(bar->SelectedDeviceIndex(), -1);
    EXPECT_EQ(bar->TakeDeviceCombo(), std::nullopt);
    // An empty catalogue empties both bars.
    bar->Build({}, true);
    EXPECT_TRUE(bar->actions().isEmpty());
    EXPECT_TRUE(bar->CommandLine()->actions().isEmpty());
    EXPECT_EQ(ToolBarWidth(bar), 0);
}

TEST_F(OperationsToolBar, DeviceBoxFollowsTheDeviceList)
{
    Build();
    QComboBox* combo = bar->DeviceCombo();
    ASSERT_NE(combo, nullptr);
    struct Case {
        const char* name;
        std::optional<std::string> devices;
        int lastDevice;
        int selectBefore;
        Strings items;
        int selected;
        int lastDeviceAfter;
        bool enabled;
    };
    const Case cases[] = {
        {"remembered index used once", "Name=A\n\nName=B", 1, -1, {"A", "B"}, 1, -1, true},
        {"selection kept", "Name=A\nName=B\nName=C", -1, 2, {"A", "B", "C"}, 2, -1, true},
        {"nothing selected: the first", "Name=A\nName=B", -1, -1, {"A", "B"}, 0, -1, true},
        {"empty list", "", -1, -1, {}, -1, -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int lastDevice = -1;
        bar->FillDevices(std::string("Name=A\nName=B\nName=C"), lastDevice);
        combo->setCurrentIndex(c.selectBefore);
        lastDevice = c.lastDevice;
        bar->FillDevices(c.devices, lastDevice);
        Strings items;
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(bar->SelectedDeviceIndex(), c.selected);
        EXPECT_EQ(lastDevice, c.lastDeviceAfter);
        EXPECT_EQ(combo->isEnabled(), c.enabled);
        EXPECT_GE(combo->width(), 100);
        EXPECT_LE(combo->width(), 250);
    }
    // Without the library's device list the box is only emptied.
    int lastDevice = 0;
    bar->FillDevices(std::nullopt, lastDevice);
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(lastDevice, 0);
}

// Enter in the command-line box puts the text first in its history and asks for the
// send; the box keeps the text.
TEST_F(OperationsToolBar, CommandLineEnterKeepsTheHistory)
{
    Build();
    Strings sent;
    QObject::connect(bar, &TOperationsToolBar::SendRequested, [&](const std::string& text) { sent.push_back(text); });
    QComboBox* box = bar->SendBox();
    ASSERT_NE(box, nullptr);
    const std::pair<const char*, Qt::Key> presses[] = {
        {"AT", Qt::Key_Return}, {"ATZ", Qt::Key_Enter}, {"AT", Qt::Key_Return}};
    for (const auto& [text, key] : presses) {
        box->setEditText(QString::fromUtf8(text));
        QTest::keyClick(box->lineEdit(), key);
    }
    EXPECT_EQ(sent, (Strings{"AT", "ATZ", "AT"}));
    Strings items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    EXPECT_EQ(items, (Strings{"ATZ", "AT"}));
    EXPECT_EQ(box->currentText(), "AT");
    // Another key is the box's own.
    QTest::keyClick(box->lineEdit(), Qt::Key_X);
    EXPECT_EQ(sent.size(), 3u);
    EXPECT_EQ(box->currentText(), "ATx");
}

// Images only make the bar narrower; the settings button shows its image either way.
TEST_F(OperationsToolBar, WidthWithAndWithoutCaptions)
{
    Build();
    const int withCaptions = bar->WidthShowing(true);
    EXPECT_EQ(ButtonStyle(opReadParams), Qt::ToolButtonTextBesideIcon);
    const int imagesOnly = bar->WidthShowing(false);
    EXPECT_EQ(ButtonStyle(opReadParams), Qt::ToolButtonIconOnly);
    EXPECT_EQ(ButtonStyle(opSettings), Qt::ToolButtonIconOnly);
    EXPECT_GT(imagesOnly, 0);
    EXPECT_LT(imagesOnly, withCaptions);
    EXPECT_EQ(bar->WidthShowing(true), withCaptions);
}

} // namespace
