#include "configurator/tree/DocTree.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uZumo2_Siemens.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PromptAndLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::LogLine;

struct NoHost : IDocTreeHost {
    void DocumentReplaced(TZumo2Doc*) override {}
    void FrameShown(TShownFrame&) override {}
};

struct KindFrame : TShownFrame {
    TFrameArgs args;
    explicit KindFrame(const TFrameArgs& a) : args(a) {}
    void RefreshAll() override {}
    void RecordsChanged() override {}
};

// The tree of the Siemens model, made as the window makes a new document.
class SiemensTree : public ::testing::Test {
protected:
    TFrameRegistry registry;
    NoHost host;
    testsupport::ScopedLogRecorder log;
    testsupport::DialogScript dialogs;
    TDocTree tree{registry};

    void SetUp() override
    {
        registry.Register(TFrameKind::Device, [](const TFrameArgs& a) { return std::make_unique<KindFrame>(a); });
        tree.SetHost(&host);
        tree.CreateDocumentForModel(17, "Zumo2 Siemens");
        tree.RefreshTree();
        tree.BuildAddDeviceMenu();
    }

    const TMenuItem* Port(const char* role, const char* port) const
    {
        const TMenuItem* r = tree.AddDeviceMenu().Find(role);
        return r ? r->Find(port) : nullptr;
    }
};

} // namespace

TEST_F(SiemensTree, ModelTableMakesTheSiemensDocument)
{
    auto doc = CreateModelDocument(17, "Zumo2 Siemens");
    ASSERT_TRUE(doc);
    EXPECT_STREQ(doc->ClassName(), "TZumo2SiemensDoc");
    EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), "Scheme ID:15.0.0.0") << "with its default contents";
    EXPECT_EQ(ModelEntry(17)->Family, TTreeFamily::Zumo);
}

TEST_F(SiemensTree, TreeMenuAndDevices)
{
    ASSERT_NE(tree.Document(), nullptr);
    const TTreeGroups& g = tree.Groups();
    EXPECT_EQ(g.Root->Caption(), "Zumo2 Siemens");
    ASSERT_GE(g.Root->ChildCount(), 1);
    EXPECT_EQ(g.Root->Child(0)->Caption(), "COM");
    ASSERT_NE(g.Devices, nullptr);
    ASSERT_EQ(g.Devices->ChildCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(g.Devices->Child(i)->Visible()) << i;

    const TMenuItem* kp = Port("КП", "COM");
    const TMenuItem* pu = Port("ПУ", "COM");
    ASSERT_NE(kp, nullptr);
    ASSERT_NE(pu, nullptr);
    const TMenuItem* siemens = kp->Find("Протокол Siemens Symap");
    ASSERT_NE(siemens, nullptr);
    EXPECT_EQ(siemens->Tag, 28);
    EXPECT_EQ(pu->Find("Протокол Siemens Symap"), nullptr);

    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tree.AddDeviceFromMenu(*siemens)) << i;
    TDevice& first = *tree.Document()->DeviceByIndex(0);
    EXPECT_EQ(first.ActiveProtocol(), first.ProtocolBlock(28));
    EXPECT_NE(first.ActiveProtocol(), nullptr);
    EXPECT_EQ(g.Devices->Child(0)->Caption(), "КП Siemens Symap, COM, адрес 0");
    ASSERT_NE(tree.Frame(), nullptr);
    EXPECT_EQ(static_cast<KindFrame*>(tree.Frame())->args.Kind, TFrameKind::Device);

    // A fourth device finds no slot.
    dialogs->PushAnswer(platform::MsgResult::OK);
    EXPECT_FALSE(tree.AddDeviceFromMenu(*siemens));
    const auto asked = dialogs->Records();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].box.text, "Уже задано максимальное количество устройств");
    EXPECT_EQ(log.Lines().size(), 3u);
}
