#include "configurator/tree/DocTree.h"
#include "configurator/tree/ModelFactory.h"
#include "model/uDravo7.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Both Dravo 7 models build their root with "Port B" and "Port A" before the groups;
// no node edits the TS inversion records.
TEST(DravoTrees, RootPortsAndDeviceSlots)
{
    struct Case {
        int code;
        const char* name;     // of the model list
        const char* caption;  // of the root
        const char* className;
        int devices;
    };
    const Case cases[] = {{5, "Dravo7-STM", "Dravo7", "TDravo7Doc", 20},
                          {13, "Dravo7 синх", "Dravo7 синх", "TDravo7_sinDoc", 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ModelEntry(c.code)->Family, TTreeFamily::Dravo);
        TFrameRegistry registry;
        TDocTree tree{registry};
        tree.CreateDocumentForModel(c.code, c.name);
        TZumo2Doc* doc = tree.Document();
        ASSERT_NE(doc, nullptr);
        EXPECT_STREQ(doc->ClassName(), c.className);

        const TTreeGroups& g = tree.Groups();
        ASSERT_NE(g.Root, nullptr);
        EXPECT_EQ(g.Root->Caption(), c.caption);
        std::vector<std::string> top;
        for (int i = 0; i < g.Root->ChildCount(); ++i) top.push_back(g.Root->Child(i)->Caption());
        EXPECT_EQ(top, (std::vector<std::string>{"Port B", "Port A", "Устройства", "Логические каналы",
                                                 "Апертуры каналов ТИТ", "Преобразования каналов ТИТ"}));
        EXPECT_EQ(g.Root->Child(0)->FieldList(), doc->FindField("UART0"));
        EXPECT_EQ(g.Root->Child(1)->FieldList(), doc->FindField("UART1"));
        ASSERT_NE(g.Devices, nullptr);
        EXPECT_EQ(g.Devices->ChildCount(), c.devices);
        EXPECT_EQ(g.Devices->Child(c.devices - 1)->FieldList(), doc->DeviceByIndex(c.devices - 1));

        int nodes = 0;
        std::function<void(TNodeTree*)> walk = [&](TNodeTree* node) {
            ++nodes;
            EXPECT_EQ(dynamic_cast<const TInverseTS*>(node->FieldList()), nullptr) << node->Caption();
            for (int i = 0; i < node->ChildCount(); ++i) walk(node->Child(i));
        };
        walk(g.Root);
        EXPECT_EQ(nodes, 1 + 2 + 4 + 4 * c.devices);
    }
}
