#include "configurator/tree/ModelFactory.h"
#include "configurator/tree/TreeBuilders.h"
#include "configurator/tree/AddDeviceMenu.h"
#include "model/uGrendal.h"
#include "model/uHask1.h"
#include "model/uZumo2.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using testsupport::THaskListsDoc;

std::vector<std::string> Captions(const TNodeTree* node)
{
    std::vector<std::string> out;
    for (int i = 0; i < node->ChildCount(); ++i) out.push_back(node->Child(i)->Caption());
    return out;
}

std::vector<int> Icons(const TNodeTree* node)
{
    std::vector<int> out;
    for (int i = 0; i < node->ChildCount(); ++i) out.push_back(node->Child(i)->Index());
    return out;
}

// Counts the reports of a tree.
struct Reports : ITreeObserver {
    int resets = 0, added = 0, changed = 0, focus = 0;
    int rootsAtFocusDrop = -1;
    TBindingTree* tree = nullptr;
    void TreeReset() override { ++resets; }
    void NodeAdded(TNodeTree*) override { ++added; }
    void NodeChanged(TNodeTree*) override { ++changed; }
    void FocusChanged(TNodeTree* n) override
    {
        ++focus;
        if (!n) rootsAtFocusDrop = tree->RootCount();
    }
};

struct FamilyCase {
    const char* name;
    std::function<std::unique_ptr<TZumo2Doc>()> make;
    std::function<void(TBindingTree&, TTreeGroups&, TZumo2Doc&)> build;
    std::vector<std::string> top;      // the root's children
    std::vector<int> icons;            // their icons
    std::vector<std::string> lists;    // keys of the lists the family's own nodes hold
};

TEST(TreeBuilders, FamiliesShareTheRootGroupsAndDeviceSlots)
{
    const std::vector<std::string> groups = {"Устройства", "Логические каналы", "Апертуры каналов ТИТ",
                                             "Преобразования каналов ТИТ"};
    const auto withGroups = [&](std::vector<std::string> own, bool logic = true) {
        for (const auto& g : groups)
            if (logic || g != "Логические каналы") own.push_back(g);
        return own;
    };
    const auto hask = [](int code) {
        return [code](TBindingTree& t, TTreeGroups& g, TZumo2Doc& d) { BuildHaskTree(t, g, d, code); };
    };
    const FamilyCase cases[] = {
        {"Zumo", [] { return MakeZumo2Doc(); }, BuildZumoTree, withGroups({"COM"}), {24, 7, 27, 25, 26}, {"UART0"}},
        // "Modem1" is a TModemPort, a TPortCOM descendant: not a port node of this family.
        {"Zumo, modem port", [] { return MakeDocument<THaskListsDoc>(); }, BuildZumoTree, withGroups({"COM"}),
         {24, 7, 27, 25, 26}, {"UART0"}},
        {"Dravo", [] { return MakeZumo2Doc(); }, BuildDravoTree, withGroups({"COM", "XPort"}),
         {24, 24, 7, 27, 25, 26}, {"UART0", "UART1"}},
        {"Hask 6", [] { return MakeDocument<THaskListsDoc>(); }, hask(6), withGroups({"ADSP канал 1", "Модем 1"}),
         {24, 3, 7, 27, 25, 26}, {"ADSP", "Modem1"}},
        {"Hask 9", [] { return MakeDocument<THaskListsDoc>(); }, hask(9),
         withGroups({"ADSP канал 1", "ADSP канал 2", "Модем 1", "Модем 2"}), {24, 24, 3, 3, 7, 27, 25, 26},
         {"ADSP", "ADSP2", "Modem1", "Modem2"}},
        {"Hask 12", [] { return MakeDocument<THaskListsDoc>(); }, hask(12),
         withGroups({"ADSP канал 1", "ADSP канал 2", "Модем 1", "Модем 2"}), {24, 24, 3, 3, 7, 27, 25, 26},
         {"ADSP", "ADSP2", "Modem1", "Modem2"}},
        {"Grendal", [] { return MakeZumo2Doc(); }, BuildGrendalTree, withGroups({}, false), {7, 25, 26}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = c.make();
        TBindingTree tree;
        TTreeGroups g;
        Reports reports;
        reports.tree = &tree;
        tree.AddObserver(&reports);
        c.build(tree, g, *doc);

        // One report for the whole build.
        EXPECT_EQ(reports.resets, 1);
        EXPECT_EQ(reports.added + reports.changed, 0);

        ASSERT_EQ(tree.RootCount(), 1);
        TNodeTree* root = tree.Root(0);
        EXPECT_EQ(root, g.Root);
        EXPECT_EQ(root->Caption(), "Zumo2");
        EXPECT_STREQ(root->ClassName(), "TGroupNode");
        EXPECT_EQ(root->Index(), 3);
        EXPECT_TRUE(root->Expanded());
        EXPECT_EQ(Captions(root), c.top);
        EXPECT_EQ(Icons(root), c.icons);
        for (size_t i = 0; i < c.lists.size(); ++i) {
            EXPECT_STREQ(root->Child(static_cast<int>(i))->ClassName(), "TElementNode");
            EXPECT_EQ(root->Child(static_cast<int>(i))->FieldList(), doc->FindField(c.lists[i]));
        }

        const size_t own = c.lists.size();
        EXPECT_EQ(g.Devices, root->Child(static_cast<int>(own)));
        const bool logic = c.top.size() == own + 4;
        EXPECT_EQ(g.LogicChannels, logic ? root->Child(static_cast<int>(own + 1)) : nullptr);
        EXPECT_EQ(g.Apertures, root->Child(root->ChildCount() - 2));
        EXPECT_EQ(g.Scales, root->Child(root->ChildCount() - 1));
        EXPECT_EQ(g.OwnChannels, nullptr);
        EXPECT_EQ(g.DIO, nullptr);

        ASSERT_EQ(g.Devices->ChildCount(), 20);
        for (int i = 0; i < 20; ++i) {
            TNodeTree* d = g.Devices->Child(i);
            EXPECT_EQ(d->Caption(), "Устройство " + std::to_string(i + 1));
            EXPECT_FALSE(d->Visible());
            EXPECT_EQ(d->Index(), 29);
            EXPECT_EQ(d->FieldList(), doc->DeviceByIndex(i));
            EXPECT_EQ(DeviceNodeOf(g, doc->DeviceByIndex(i)), d);
            EXPECT_EQ(Captions(d), (std::vector<std::string>{"Каналы", "Апертуры", "Преобразования ТИТ"}));
            EXPECT_EQ(Icons(d), (std::vector<int>{27, 25, 26}));
            EXPECT_STREQ(d->Child(0)->ClassName(), "TDevChannelNode");
            EXPECT_STREQ(d->Child(1)->ClassName(), "TDevAppertureNode");
            EXPECT_STREQ(d->Child(2)->ClassName(), "TDevScaleNode");
            for (int k = 0; k < 3; ++k) EXPECT_EQ(d->Child(k)->FieldList(), doc->DeviceByIndex(i));
        }
        tree.RemoveObserver(&reports);
    }
}

TEST(TreeBuilders, HaskBuilderRefusesOtherModelCodes)
{
    auto doc = MakeDocument<THaskListsDoc>();
    for (int code : {0, 5, 7, 13, -1}) {
        TBindingTree tree;
        TTreeGroups g;
        try {
            BuildHaskTree(tree, g, *doc, code);
            ADD_FAILURE() << code << " built";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "TypeHUB no defined");
        }
        EXPECT_EQ(tree.RootCount(), 0) << code;
        EXPECT_EQ(g.Root, nullptr);
    }
}

TEST(TreeBuilders, Zumo7SkeletonHoldsNoLists)
{
    auto doc = MakeZumo2Doc();
    TBindingTree tree;
    TTreeGroups g;
    BuildZumo7Skeleton(tree, g, *doc);
    ASSERT_EQ(tree.RootCount(), 1);
    TNodeTree* root = tree.Root(0);
    EXPECT_EQ(g.Root, root);
    EXPECT_EQ(root->Caption(), "Zumo2");
    EXPECT_EQ(Captions(root), (std::vector<std::string>{"Устройства", "Логические каналы", "Апертуры каналов ТИТ",
                                                        "Преобразования каналов ТИТ", "Собственные каналы", "DIO"}));
    EXPECT_EQ(Icons(root), (std::vector<int>{7, 27, 25, 26, 33, 33}));
    for (int i = 0; i < root->ChildCount(); ++i) {
        EXPECT_STREQ(root->Child(i)->ClassName(), "TElementNode");
        EXPECT_EQ(root->Child(i)->FieldList(), nullptr);
        EXPECT_EQ(root->Child(i)->ChildCount(), 0);
    }
    EXPECT_EQ(g.Devices, nullptr);
    EXPECT_EQ(g.LogicChannels, nullptr);
}

TEST(TreeBuilders, ClearDropsTheFocusWhileTheNodesExist)
{
    auto doc = MakeZumo2Doc();
    TBindingTree tree;
    TTreeGroups g;
    BuildZumoTree(tree, g, *doc);
    Reports reports;
    reports.tree = &tree;
    tree.AddObserver(&reports);
    tree.SetFocused(g.Devices);
    tree.SetFocused(g.Devices); // unchanged: no report
    EXPECT_EQ(reports.focus, 1);
    tree.Clear();
    EXPECT_EQ(reports.focus, 2);
    EXPECT_EQ(reports.rootsAtFocusDrop, 1);
    EXPECT_EQ(reports.resets, 1);
    EXPECT_EQ(tree.RootCount(), 0);
    EXPECT_EQ(tree.Focused(), nullptr);
    tree.RemoveObserver(&reports);
}

TEST(ModelFactory, ModelsWithoutADocumentAreRefused)
{
    auto doc = CreateModelDocument(0, "Zumo2");
    ASSERT_TRUE(doc);
    EXPECT_STREQ(doc->ClassName(), "TZumo2Doc");
    // With its default contents.
    EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), "Scheme ID:8.0.0.0");
    EXPECT_EQ(doc->FindField("041") ? dynamic_cast<TField*>(doc->FindField("041"))->GetValue().ToInt32() : -1, 500);

    const std::pair<int, const char*> missing[] = {{18, "Новая"}, {-1, "Никакая"}};
    for (const auto& [code, name] : missing) {
        try {
            CreateModelDocument(code, name);
            ADD_FAILURE() << code;
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Тип ") + name + " не реализован");
        }
    }
    EXPECT_EQ(ModelEntry(3)->Family, TTreeFamily::Zumo7);
    EXPECT_EQ(ModelEntry(16)->Family, TTreeFamily::Zumo7);
    EXPECT_EQ(ModelEntry(9)->Family, TTreeFamily::Hask);
    EXPECT_EQ(ModelEntry(13)->Family, TTreeFamily::Dravo);
    EXPECT_EQ(ModelEntry(18), nullptr);
}

TEST(ModelFactory, PelvarModelsBuildTheirTrees)
{
    struct Case {
        int code;
        const char* caption;
        std::vector<std::string> own; // the root's children before the groups
    };
    const std::vector<std::string> single = {"Channel", "Параметры модема"};
    const std::vector<std::string> twin = {"Channel", "Voice", "Параметры модема channel", "Параметры модема voice"};
    const Case cases[] = {
        {6, "Pelvar-44", single},          {8, "Pelvar-42 С1-ТЧ и VOICE", single}, {9, "Pelvar-42 2хС1-ТЧ", twin},
        {10, "Pelvar-41", single},         {11, "Pelvar-43 С1-ТЧ и VOICE", single}, {12, "Pelvar-43 2хС1-ТЧ", twin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const TModelEntry* entry = ModelEntry(c.code);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Family, TTreeFamily::Hask);
        auto doc = CreateModelDocument(c.code, c.caption);
        EXPECT_EQ(doc->ModelName, c.caption);
        EXPECT_EQ(doc->Find<TField>("041")->GetValue().ToInt32(), 500) << "with its defaults";
        TBindingTree tree;
        TTreeGroups g;
        BuildFamilyTree(entry->Family, c.code, tree, g, *doc);
        TNodeTree* root = g.Root;
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->Caption(), c.caption);
        std::vector<std::string> top = c.own;
        for (const char* group : {"Устройства", "Логические каналы", "Апертуры каналов ТИТ", "Преобразования каналов ТИТ"})
            top.push_back(group);
        EXPECT_EQ(Captions(root), top);
        std::vector<int> icons = c.own.size() == 2 ? std::vector<int>{24, 3} : std::vector<int>{24, 24, 3, 3};
        icons.insert(icons.end(), {7, 27, 25, 26});
        EXPECT_EQ(Icons(root), icons);

        // A port node shows the port page, a device the Pelvar device page, each modem
        // node the modem page over its modem list.
        EXPECT_EQ(FrameKindForNode(root->Child(0), doc.get(), g).Kind, TFrameKind::Port);
        const int ports = static_cast<int>(c.own.size()) / 2;
        for (int modem = ports; modem < static_cast<int>(c.own.size()); ++modem) {
            TFieldLst* list = doc->Find<TFieldLst>(modem == ports ? "Modem1" : "Modem2");
            ASSERT_NE(list, nullptr);
            EXPECT_EQ(FrameKindForNode(root->Child(modem), doc.get(), g), (TFrameChoice{TFrameKind::Modem, list}));
        }
        EXPECT_EQ(FrameKindForNode(g.Devices->Child(0), doc.get(), g),
                  (TFrameChoice{TFrameKind::DeviceHask1, doc->DeviceByIndex(0)}));
        EXPECT_STREQ(doc->DeviceByIndex(0)->ClassName(), "THask1Device");
    }
}

TEST(ModelFactory, TramelHas200SlotsAndNoLogicalChannels)
{
    const TModelEntry* entry = ModelEntry(7);
    ASSERT_NE(entry, nullptr);
    auto doc = CreateModelDocument(7, "Tramel-5141");
    TBindingTree tree;
    TTreeGroups g;
    BuildFamilyTree(entry->Family, 7, tree, g, *doc);
    ASSERT_NE(g.Root, nullptr);
    EXPECT_EQ(g.Root->Caption(), "Tramel-5141");
    EXPECT_EQ(Captions(g.Root),
              (std::vector<std::string>{"Устройства", "Апертуры каналов ТИТ", "Преобразования каналов ТИТ"}));
    EXPECT_EQ(g.LogicChannels, nullptr);
    ASSERT_EQ(g.Devices->ChildCount(), 200);
    for (int i : {0, 99, 199}) {
        TNodeTree* d = g.Devices->Child(i);
        EXPECT_EQ(d->FieldList(), doc->DeviceByIndex(i));
        EXPECT_EQ(d->ChildCount(), 3);
    }
    EXPECT_EQ(FrameKindForNode(g.Devices->Child(0), doc.get(), g),
              (TFrameChoice{TFrameKind::DeviceGrendal, doc->DeviceByIndex(0)}));

    // Nine port items in each role; a control point speaks МЭК or ModBus only.
    TMenuItem menu;
    BuildAddDeviceMenu(menu, doc.get());
    ASSERT_EQ(menu.Count(), 2);
    for (int role = 0; role < 2; ++role) ASSERT_EQ(menu.Item(role)->Count(), 9) << role;
    const TMenuItem& pu = *menu.Item(0);
    EXPECT_EQ(pu.Item(6)->Caption, "LAN1");
    std::vector<std::string> protocols;
    for (int i = 0; i < pu.Item(0)->Count(); ++i) protocols.push_back(pu.Item(0)->Item(i)->Caption);
    EXPECT_EQ(protocols, (std::vector<std::string>{"Протокол МЭК", "Протокол ModBus"}));
    EXPECT_EQ(menu.Item(1)->Item(0)->Count(), 8);
}

} // namespace
