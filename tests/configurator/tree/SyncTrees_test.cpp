#include "configurator/tree/DocTree.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uZumo2.h"

#include <gtest/gtest.h>

// The sync models build the base model's tree over their own devices.
TEST(SyncTrees, RootPortAndDeviceSlots)
{
    struct Case {
        int code;
        const char* name;
        int devices;
    };
    for (const Case& c : {Case{1, "Zumo2 синх", 20}, Case{14, "Zumo2 синх 80", 15}, Case{15, "Zumo2 синх 50", 20}}) {
        SCOPED_TRACE(c.name);
        TFrameRegistry registry;
        TDocTree tree{registry};
        tree.CreateDocumentForModel(c.code, c.name);
        ASSERT_NE(tree.Document(), nullptr);
        EXPECT_EQ(ModelEntry(c.code)->Family, TTreeFamily::Zumo);
        const TTreeGroups& g = tree.Groups();
        EXPECT_EQ(g.Root->Caption(), c.name);
        EXPECT_EQ(g.Root->Child(0)->Caption(), "COM");
        ASSERT_NE(g.Devices, nullptr);
        EXPECT_EQ(g.Devices->ChildCount(), c.devices);
    }
}
