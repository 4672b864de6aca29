#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FPort.h"
#include "configurator/widgets/FrameHost.h"
#include "configurator/widgets/ParamControls.h"
#include "platform/qt/WinUtils.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uDravo7.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include <memory>
#include <string>

namespace {

using testsupport::UseSlot;

// The real tree and pages of a Dravo 7 model in a window.
class DravoPages : public ::testing::Test, public testsupport::TreeViewWindow {
protected:
    std::unique_ptr<TZumo2Doc> kept;

    void SetUp() override
    {
        RegisterDocumentPages(registry);
        Open(900, 700, true);
    }
    void TearDown() override
    {
        if (doc->Document() == kept.get()) doc->ReleaseDocument();
        Close();
    }

    TZumo2Doc& Show(int code, const char* name)
    {
        kept = CreateModelDocument(code, name);
        doc->AttachDocument(kept.get(), code);
        doc->RefreshTree();
        return *kept;
    }
    TField* PortField(const char* port, const char* key)
    {
        return kept->Find<TFieldLst>(port)->Find<TField>(key);
    }
};

TEST_F(DravoPages, PortAShowsOnlyTheDuplexGroupWithTheModeFixed)
{
    Show(5, "Dravo7-STM");
    auto* page = Select<TfrPort>(doc->Groups().Root->Child(1));
    ASSERT_NE(page, nullptr);
    const auto expectPortA = [&] {
        EXPECT_TRUE(page->gbMode->isVisible());
        EXPECT_TRUE(page->ch018->isVisible());
        EXPECT_TRUE(page->cb016->isVisible());
        EXPECT_FALSE(page->gbFlags->isVisible());
        EXPECT_FALSE(page->gbTimes->isVisible());
        EXPECT_FALSE(page->cb016->isEnabled());
        EXPECT_TRUE(page->ch018->isEnabled());
    };
    expectPortA();
    EXPECT_EQ(page->ch018->text(), "Дуплекс");
    page->ch018->setChecked(true);
    EXPECT_EQ(PortField("UART1", "018")->GetValue().ToInt32(), 1);
    // The mode rule does not run here: the switched controls keep their state in
    // both modes.
    EXPECT_FALSE(PortModeEnables(*kept->Find<TUART>("UART1"), 1).has_value());
    EXPECT_FALSE(PortModeEnables(*kept->Find<TUART>("UART1"), 0).has_value());
    EXPECT_TRUE(PortModeRule(*kept->Find<TUART>("UART1"), 1).empty());

    // A lock of the window and its end leave the page as it was.
    EnableChildren(window.get(), false);
    EXPECT_FALSE(page->ch018->isEnabled());
    EnableChildren(window.get(), true);
    expectPortA();
}

TEST_F(DravoPages, PortBFollowsTheModeRule)
{
    Show(5, "Dravo7-STM");
    auto* page = Select<TfrPort>(doc->Groups().Root->Child(0));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->gbFlags->isVisible());
    EXPECT_TRUE(page->cb016->isEnabled());
    EXPECT_FALSE(page->gbFlags->isEnabled());
    EXPECT_FALSE(page->edSendLider->isEnabled());
    page->cb016->setCurrentIndex(1);
    EXPECT_EQ(PortField("UART0", "016")->GetValue().ToInt32(), 1);
    EXPECT_TRUE(page->gbFlags->isEnabled());
    EXPECT_TRUE(page->edSendLider->isEnabled());
}

TEST_F(DravoPages, SerialPanelOfADevice)
{
    struct Case {
        int code;
        const char* name;
        int portBMode;
        int devicePort;
        bool shown;
    };
    const Case cases[] = {
        {5, "Dravo7-STM", 0, 1, true},
        {5, "Dravo7-STM", 1, 1, false},
        {5, "Dravo7-STM", 0, 0, false},
        // The synchronous variant follows the general rule: "UART0"'s mode alone.
        {13, "Dravo7 синх", 0, 1, true},
        {13, "Dravo7 синх", 1, 1, false},
        {13, "Dravo7 синх", 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(c.portBMode) + " port " +
                     std::to_string(c.devicePort));
        TZumo2Doc& dravo = Show(c.code, c.name);
        UseSlot(dravo, 0, 2, c.devicePort, 0, 1);
        PortField("UART0", "016")->SetValue(c.portBMode);
        doc->RefreshTree();
        auto* page = Select<TfrDevice>(DevNode(0));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->cbPort->currentText().toStdString(), c.devicePort == 0 ? "Port B" : "Port A");
        EXPECT_EQ(page->paPort->isVisible(), c.shown);
        doc->ReleaseDocument();
    }
}

TEST_F(DravoPages, CommonPageTakesTheBaseBranch)
{
    TZumo2Doc& dravo = Show(5, "Dravo7-STM");
    auto* page = Select<TfrCommon>(doc->Groups().Root);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->gbBuffer->title(), "Буфер архива событий (макс. 1200 событий)");
    EXPECT_EQ(page->FieldOf(page->seTimeOffset), nullptr);
    EXPECT_EQ(page->FieldOf(page->edBufTSDPI), nullptr);
    EXPECT_EQ(page->FieldOf(page->ch028), dravo.FindField("028"));
    EXPECT_EQ(page->FieldOf(page->edBufTS), dravo.FindField("041"));
    EXPECT_TRUE(page->ch022->isChecked());
    page->ch028->setChecked(true);
    EXPECT_EQ(dravo.Find<TField>("028")->GetValue().ToInt32(), 1);
    EXPECT_EQ(dravo.Image.BlockByIndex(0)->Data()[34], 0x9A) << "bit 7 of the word at 34";
}

} // namespace
