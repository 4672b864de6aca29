#include "configurator/tree/DocTree.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uZumo2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The models that vary the base model build its tree: the root, a node for each COM
// port, then the groups and the device slots.
TEST(ModelTrees, RootPortNodesAndDeviceSlots)
{
    struct Case {
        int code;
        const char* name;
        const char* className;
        std::vector<std::string> ports;
        int devices;
    };
    const Case cases[] = {
        {1, "Zumo2 синх", "TZumo2sinDoc", {"COM"}, 20},
        {2, "Zumo4", "TZumo4Doc", {"COM"}, 20},
        {4, "Zumo9", "TZumo9Doc", {"COM1", "COM2"}, 20},
        {14, "Zumo2 синх 80", "TZumo2sin80Doc", {"COM"}, 15},
        {15, "Zumo2 синх 50", "TZumo2sin50Doc", {"COM"}, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ModelEntry(c.code)->Family, TTreeFamily::Zumo);
        TFrameRegistry registry;
        TDocTree tree{registry};
        tree.CreateDocumentForModel(c.code, c.name);
        ASSERT_NE(tree.Document(), nullptr);
        EXPECT_STREQ(tree.Document()->ClassName(), c.className);
        const TTreeGroups& g = tree.Groups();
        EXPECT_EQ(g.Root->Caption(), c.name);
        std::vector<std::string> ports;
        for (int i = 0; i < g.Root->ChildCount() && g.Root->Child(i) != g.Devices; ++i)
            ports.push_back(g.Root->Child(i)->Caption());
        EXPECT_EQ(ports, c.ports);
        ASSERT_NE(g.Devices, nullptr);
        EXPECT_EQ(g.Devices->ChildCount(), c.devices);
    }
}
