#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/widgets/TreeView.h"
#include "model/uZumo7.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>

#include <utility>
#include <vector>

namespace {

using testsupport::UseSlot;

constexpr int ModBus = 2;

// The real pages of a Zumo 7 document on board 610 ("Zumo7-E1C20-M1": COM1, Xport1,
// COM2, USB, COM3, Modem1) in a window.
class Zumo7PagesTest : public ::testing::Test, public testsupport::TreeViewWindow {
protected:
    void SetUp() override
    {
        RegisterDocumentPages(registry);
        Open(900, 700, true);
        doc->CreateDocumentForModel(3, "Zumo7");
        doc->ClearTree();
        Document().SetBoardSignature(610);
        Document().ResetDefaults();
        doc->RefreshTree();
    }
    void TearDown() override { Close(); }

    TZumo7Doc& Document() { return *dynamic_cast<TZumo7Doc*>(doc->Document()); }

    TfrDevice* SelectDevice(int slot)
    {
        view->setCurrentItem(view->ItemOf(DevNode(slot)));
        Process();
        doc->UpdateFrameControls();
        return doc->Frame() ? dynamic_cast<TfrDevice*>(doc->Frame()->Widget()) : nullptr;
    }
};

std::vector<std::pair<QString, int>> Items(const QComboBox* combo)
{
    std::vector<std::pair<QString, int>> items;
    for (int i = 0; i < combo->count(); ++i) items.emplace_back(combo->itemText(i), combo->itemData(i).toInt());
    return items;
}

} // namespace

TEST_F(Zumo7PagesTest, DevicePortListAndSerialPanelFollowTheBoardsPorts)
{
    UseSlot(Document(), 0, ModBus, 5, 0, 1); // on "Modem1", synchronous
    UseSlot(Document(), 1, ModBus, 2, 0, 2); // on "COM2"
    doc->RefreshTree();

    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Items(page->cbPort), (std::vector<std::pair<QString, int>>{
                                       {"COM1", 0}, {"Xport1", 1}, {"COM2", 2}, {"USB", 3}, {"Modem1", 5}}));
    EXPECT_EQ(page->cbPort->currentText(), "Modem1");
    EXPECT_EQ(page->PortList(), Document().PortByIndex(5));
    EXPECT_FALSE(page->paPort->isVisible());

    page = SelectDevice(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->PortList(), Document().PortByIndex(2));
    EXPECT_TRUE(page->paPort->isVisible());

    // Choosing "Modem1": the page follows the new port at the next idle cycle.
    page->cbPort->setCurrentIndex(page->cbPort->findText("Modem1"));
    EXPECT_EQ(Document().DeviceByIndex(1)->PortField()->GetValue().ToInt32(), 5);
    EXPECT_EQ(page->PortList(), Document().PortByIndex(5));
    doc->UpdateFrameControls();
    EXPECT_FALSE(page->paPort->isVisible());
}

TEST_F(Zumo7PagesTest, StoredPortWithoutAnItem)
{
    UseSlot(Document(), 0, ModBus, 4, 0, 1); // "COM3", which this board does not offer
    UseSlot(Document(), 1, ModBus, 9, 0, 2); // past the board's ports
    doc->RefreshTree();
    TfrDevice* page = SelectDevice(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->cbPort->currentIndex(), -1);
    EXPECT_FALSE(page->paPort->isVisible());
    page = SelectDevice(1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->PortList(), nullptr);
    EXPECT_FALSE(page->paPort->isVisible());
    EXPECT_EQ(Document().DeviceByIndex(1)->PortField()->GetValue().ToInt32(), 9) << "nothing stored";
}
