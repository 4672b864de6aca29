#include "configurator/tree/DocTree.h"
#include "configurator/tree/TreeBuilders.h"
#include "model/uZumo2.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using testsupport::ErrorOf;

namespace {

using testsupport::LogLine;
using testsupport::ScopedLogRecorder;
using testsupport::UseSlot;

constexpr int ModBus = 2;
constexpr int IEC = 1;

struct Host : IDocTreeHost {
    int replaced = 0;
    TZumo2Doc* lastDocument = nullptr;
    int shown = 0;
    void DocumentReplaced(TZumo2Doc* d) override
    {
        ++replaced;
        lastDocument = d;
    }
    void FrameShown(TShownFrame&) override { ++shown; }
};

// A page that records what it is asked. It reads what it edits when it goes, so a page
// outliving its document shows up under the address sanitizer.
struct TestFrame : TShownFrame, IRecordSelector {
    static int live;
    TFrameArgs args;
    int refreshAll = 0;
    int recordsChanged = 0;
    const TFieldLst* selected = nullptr;
    int column = -1;

    explicit TestFrame(const TFrameArgs& a) : args(a) { ++live; }
    ~TestFrame() override
    {
        --live;
        if (args.List) {
            EXPECT_GE(args.List->FieldCount(), 0);
        }
        if (args.Document) {
            EXPECT_GE(args.Document->DeviceCount(), 0);
        }
    }
    void RefreshAll() override { ++refreshAll; }
    void RecordsChanged() override { ++recordsChanged; }
    IRecordSelector* RecordSelector() override { return this; }
    bool SelectRecord(const TFieldLst* record, int c) override
    {
        selected = record;
        column = c;
        return true;
    }
};
int TestFrame::live = 0;

// What the view would be asked to do.
struct ViewRequests : ITreeObserver {
    std::vector<TNodeTree*> scrolled;
    int inputFocus = 0;
    void TreeReset() override {}
    void NodeAdded(TNodeTree*) override {}
    void NodeChanged(TNodeTree*) override {}
    void FocusChanged(TNodeTree*) override {}
    void ScrollIntoView(TNodeTree* n) override { scrolled.push_back(n); }
    void TakeInputFocus() override { ++inputFocus; }
};

const TFrameKind AllKinds[] = {
    TFrameKind::Common,        TFrameKind::Port,          TFrameKind::Device,        TFrameKind::DeviceHask1,
    TFrameKind::DeviceGrendal, TFrameKind::Modem,         TFrameKind::DeviceGroup,   TFrameKind::LogicChannels,
    TFrameKind::InternalChannels, TFrameKind::DIOChannels, TFrameKind::Apertures,    TFrameKind::Scales,
    TFrameKind::DevChannels,   TFrameKind::DevApertures,  TFrameKind::DevScales,
};

class DocTreeTest : public ::testing::Test {
protected:
    TFrameRegistry registry;
    Host host;
    ScopedLogRecorder log;
    testsupport::DialogScript dialogs;
    TDocTree tree{registry};
    ViewRequests view;

    void SetUp() override
    {
        for (TFrameKind kind : AllKinds)
            registry.Register(kind, [](const TFrameArgs& a) { return std::make_unique<TestFrame>(a); });
        tree.SetHost(&host);
        tree.Tree().AddObserver(&view);
        tree.CreateDocumentForModel(0, "Zumo2");
        AfterNew();
    }
    void TearDown() override { tree.Tree().RemoveObserver(&view); }

    // What the window does after New, Open and a read.
    void AfterNew()
    {
        tree.RefreshTree();
        tree.BuildAddDeviceMenu();
    }

    TZumo2Doc& Doc() { return *tree.Document(); }
    TDevice& Dev(int i) { return *Doc().DeviceByIndex(i); }
    const TTreeGroups& G() { return tree.Groups(); }
    TNodeTree* DevNode(int i) { return G().Devices->Child(i); }
    TestFrame* Shown() { return static_cast<TestFrame*>(tree.Frame()); }
    void Focus(TNodeTree* n) { tree.Tree().SetFocused(n); }

    const TMenuItem& Item(const char* role, const char* port, const char* protocol)
    {
        const TMenuItem* r = tree.AddDeviceMenu().Find(role);
        const TMenuItem* p = r ? r->Find(port) : nullptr;
        const TMenuItem* item = p ? p->Find(protocol) : nullptr;
        if (!item) throw std::runtime_error(std::string("no menu item ") + role + "/" + port + "/" + protocol);
        return *item;
    }

    std::vector<int> VisibleSlots()
    {
        std::vector<int> out;
        for (int i = 0; i < G().Devices->ChildCount(); ++i)
            if (DevNode(i)->Visible()) out.push_back(i);
        return out;
    }

    std::vector<uint8_t> Bytes(const TObjNode& node)
    {
        std::vector<uint8_t> out(static_cast<size_t>(node.Size));
        node.ReadBytes(node.NodeOffset(), out.data(), out.size());
        return out;
    }

    std::vector<uint8_t> Image()
    {
        std::vector<uint8_t> out;
        for (int i = 0; i < Doc().Image.BlockCount(); ++i) {
            const TMemoryBlock* b = Doc().Image.BlockByIndex(i);
            out.insert(out.end(), b->Data(), b->Data() + b->Size);
        }
        return out;
    }
};

int32_t IntOf(TFieldLst& list, const char* key) { return list.Find<TField>(key)->GetValue().ToInt32(); }

TEST_F(DocTreeTest, ModelWithoutDocumentLeavesNoneAndEveryCommandIdle)
{
    Focus(DevNode(0)); // a page holding a device of the document
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(host.replaced, 1);

    EXPECT_EQ(ErrorOf([&] { tree.CreateDocumentForModel(18, "Новая"); }), "Тип Новая не реализован");
    EXPECT_EQ(TestFrame::live, 0);
    EXPECT_EQ(tree.Document(), nullptr);
    EXPECT_EQ(tree.Tree().RootCount(), 0);
    EXPECT_EQ(G().Root, nullptr);
    EXPECT_EQ(G().Devices, nullptr);
    EXPECT_EQ(tree.AddDeviceMenu().Count(), 0);
    EXPECT_EQ(host.replaced, 2);
    EXPECT_EQ(host.lastDocument, nullptr);

    tree.RefreshTree();
    tree.BuildAddDeviceMenu();
    tree.ResetSelectionToDefaults();
    tree.UpdateFrameControls();
    EXPECT_EQ(tree.AddDeviceMenu().Count(), 0);
    EXPECT_FALSE(tree.CanCopyDevice());
    EXPECT_FALSE(tree.CanDeleteDevice());
    EXPECT_EQ(tree.FirstFreeSlot(), nullptr);
    TMenuItem orphan;
    orphan.AddsDevice = true;
    EXPECT_FALSE(tree.AddDeviceFromMenu(orphan));
    EXPECT_FALSE(tree.FrameNotify(0, 1234));

    // Choosing a model with a document brings everything back.
    tree.CreateDocumentForModel(0, "Zumo2");
    ASSERT_NE(tree.Document(), nullptr);
    EXPECT_EQ(host.lastDocument, tree.Document());
    EXPECT_EQ(tree.Tree().Root(0)->Caption(), "Zumo2");
}

TEST_F(DocTreeTest, AFreedSlotsNodeGivesTheFocusToTheNodeAboveIt)
{
    // A new document, an open or a read frees a slot whose node (or a node below it) has
    // the focus: the refreshed tree hides the node and shows the devices group's page,
    // never the hidden slot's.
    UseSlot(Doc(), 0, ModBus, 0, 0);
    UseSlot(Doc(), 2, IEC, 1, 1, 5);
    tree.RefreshTree();
    for (TNodeTree* node : {DevNode(2), DevNode(2)->Child(0)}) {
        Focus(node);
        ASSERT_NE(Shown(), nullptr);
        Dev(2).ResetDefaults();
        tree.RefreshTree();
        EXPECT_EQ(tree.Tree().Focused(), G().Devices);
        ASSERT_NE(Shown(), nullptr);
        EXPECT_EQ(Shown()->args.Kind, TFrameKind::DeviceGroup);
        UseSlot(Doc(), 2, IEC, 1, 1, 5);
        tree.RefreshTree();
    }
    // A shown node keeps the focus and gets its page made again.
    Focus(DevNode(0));
    const int made = host.shown;
    tree.RefreshTree();
    EXPECT_EQ(tree.Tree().Focused(), DevNode(0));
    EXPECT_EQ(host.shown, made + 1);
}

TEST_F(DocTreeTest, ReplacingTheDocumentFreesThePageFirst)
{
    UseSlot(Doc(), 0, ModBus, 0, 0);
    tree.RefreshTree();
    Focus(DevNode(0)->Child(0)); // "Каналы": the page holds the device
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->args.Kind, TFrameKind::DevChannels);
    tree.CreateDocumentForModel(0, "Zumo2");
    EXPECT_EQ(TestFrame::live, 0);
    EXPECT_EQ(tree.Tree().Focused(), nullptr);
    tree.CloseDocument();
    EXPECT_EQ(tree.Document(), nullptr);
}

TEST_F(DocTreeTest, AttachedDocumentStaysWithItsOwner)
{
    auto owned = testsupport::NewZumo2Doc();
    UseSlot(*owned, 4, ModBus, 0, 0);
    tree.AttachDocument(owned.get(), 0);
    EXPECT_EQ(tree.Document(), owned.get());
    EXPECT_EQ(host.lastDocument, owned.get());
    tree.RefreshTree();
    EXPECT_EQ(VisibleSlots(), (std::vector<int>{4}));
    Focus(DevNode(4));
    ASSERT_NE(Shown(), nullptr);

    tree.ReleaseDocument();
    EXPECT_EQ(TestFrame::live, 0);
    EXPECT_EQ(tree.Document(), nullptr);
    EXPECT_EQ(tree.Tree().RootCount(), 0);
    EXPECT_EQ(owned->DeviceByIndex(4)->ActiveProtocolIndex(), ModBus); // still there
}

TEST_F(DocTreeTest, RefreshShowsTheUsedSlotsAndTheRootResetFreesThem)
{
    UseSlot(Doc(), 0, ModBus, 0, 0, 0);
    UseSlot(Doc(), 2, IEC, 1, 1, 5);
    tree.RefreshTree();
    EXPECT_EQ(VisibleSlots(), (std::vector<int>{0, 2}));
    EXPECT_EQ(DevNode(0)->Caption(), "КП ModBus, COM, адрес 0");
    EXPECT_EQ(DevNode(2)->Caption(), "ПУ МЭК, XPort, адрес 5");
    EXPECT_EQ(DevNode(1)->Caption(), "Устройство 2");
    EXPECT_EQ(tree.FirstFreeSlot(), DevNode(1));

    // Freed behind the tree's back, then refreshed.
    Dev(2).ResetDefaults();
    tree.RefreshTree();
    EXPECT_EQ(VisibleSlots(), (std::vector<int>{0}));

    // The Delete key on the root frees every slot: the tree follows, and the first
    // free slot is slot 0 again.
    UseSlot(Doc(), 2, IEC, 1, 1, 5);
    tree.RefreshTree();
    Focus(G().Root);
    const int made = host.shown;
    tree.ResetSelectionToDefaults();
    EXPECT_TRUE(VisibleSlots().empty());
    EXPECT_EQ(tree.FirstFreeSlot(), DevNode(0));
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(host.shown, made + 1); // the page was made again
    EXPECT_EQ(Shown()->args.Kind, TFrameKind::Common);
}

TEST_F(DocTreeTest, AddDeviceTakesTheFirstFreeSlotWithAFreshProtocolArea)
{
    UseSlot(Doc(), 0, IEC, 1, 1);
    tree.RefreshTree();
    // Junk in the free slot's protocol area.
    const std::vector<uint8_t> junk(70, 0xAB);
    Dev(1).WriteBytes(Dev(1).ProtocolAreaOffset(), junk.data(), junk.size());

    ASSERT_TRUE(tree.AddDeviceFromMenu(Item("КП", "COM", "Протокол ModBus")));
    EXPECT_EQ(Dev(1).ActiveProtocolIndex(), ModBus);
    EXPECT_EQ(IntOf(Dev(1), "002"), 0);
    EXPECT_EQ(IntOf(Dev(1), "011"), 0);
    EXPECT_EQ(VisibleSlots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(DevNode(1)->Caption(), "КП ModBus, COM, адрес 0");
    EXPECT_EQ(tree.Tree().Focused(), DevNode(1));
    EXPECT_TRUE(G().Devices->Expanded());
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->args.Kind, TFrameKind::Device);
    EXPECT_EQ(Shown()->args.List, &Dev(1));
    ASSERT_FALSE(view.scrolled.empty());
    EXPECT_EQ(view.scrolled.back(), DevNode(1));

    // The area is what a clean slot gets from the same protocol.
    auto reference = testsupport::NewZumo2Doc();
    UseSlot(*reference, 1, ModBus, 0, 0);
    std::vector<uint8_t> got(70), expected(70);
    Dev(1).ReadBytes(Dev(1).ProtocolAreaOffset(), got.data(), got.size());
    reference->DeviceByIndex(1)->ReadBytes(Dev(1).ProtocolAreaOffset(), expected.data(), expected.size());
    EXPECT_EQ(got, expected);

    ASSERT_TRUE(tree.AddDeviceFromMenu(Item("ПУ", "485", "Протокол МЭК")));
    EXPECT_EQ(IntOf(Dev(2), "002"), 2);
    EXPECT_EQ(IntOf(Dev(2), "011"), 1);
    EXPECT_EQ(DevNode(2)->Caption(), "ПУ МЭК, 485, адрес 0");
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Добавлен протокол - КП ModBus", 0},
                                                  {"Добавлен протокол - ПУ МЭК", 0}}));
}

TEST_F(DocTreeTest, AddDeviceWithEverySlotUsedChangesNothing)
{
    for (int i = 0; i < 20; ++i) UseSlot(Doc(), i, ModBus, 0, 0, i);
    tree.RefreshTree();
    const std::vector<uint8_t> image = Image();
    dialogs->PushAnswer(platform::MsgResult::OK);
    EXPECT_FALSE(tree.AddDeviceFromMenu(Item("КП", "COM", "Протокол ModBus")));
    const auto asked = dialogs->Records();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, platform::DialogKind::MessageBox);
    EXPECT_EQ(asked[0].box.text, "Уже задано максимальное количество устройств");
    EXPECT_EQ(asked[0].box.icon, platform::MsgIcon::Error);
    EXPECT_EQ(asked[0].box.buttons, platform::MsgButtons::OK);
    EXPECT_EQ(Image(), image);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(DocTreeTest, AddDeviceStoresThePortIndexWhereNamesAreMissing)
{
    tree.ReplaceDocument(MakeDocument<testsupport::TPortNamesDoc>(std::vector<std::string>{"Channel", "", "ETH0", "USB"}),
                         TTreeFamily::Zumo, 0);
    Doc().ResetDefaults();
    AfterNew();
    ASSERT_TRUE(tree.AddDeviceFromMenu(Item("КП", "ETH0", "Протокол ModBus")));
    EXPECT_EQ(IntOf(Dev(0), "002"), 2);
    EXPECT_EQ(DevNode(0)->Caption(), "КП ModBus, ETH0, адрес 0");
}

TEST_F(DocTreeTest, CopyDuplicatesEveryByteOntoAFreeSlot)
{
    UseSlot(Doc(), 0, ModBus, 1, 0, 17);
    Dev(0).ChannelBlockByIndex(3)->Find<TField>("0002")->SetValue(int32_t{12});
    Dev(0).ScaleBlockByIndex(1)->Find<TField>("0003")->SetValue(int32_t{4});
    UseSlot(Doc(), 1, IEC, 0, 1);
    tree.RefreshTree();

    Focus(G().Devices);
    EXPECT_FALSE(tree.CanCopyDevice());
    Focus(DevNode(0)->Child(0)); // "Каналы" holds the device too
    EXPECT_TRUE(tree.CanCopyDevice());
    Focus(DevNode(0));
    ASSERT_TRUE(tree.CanCopyDevice());
    tree.CopyDevice();
    EXPECT_EQ(Bytes(Dev(2)), Bytes(Dev(0)));
    EXPECT_EQ(VisibleSlots(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(DevNode(2)->Caption(), "КП ModBus, XPort, адрес 17");
    EXPECT_EQ(tree.Tree().Focused(), DevNode(0));

    for (int i = 3; i < 20; ++i) UseSlot(Doc(), i, ModBus, 0, 0, i);
    tree.RefreshTree();
    const std::vector<uint8_t> image = Image();
    EXPECT_EQ(ErrorOf([&] { tree.CopyDevice(); }), "Достигнуто максимальное количество устройств");
    EXPECT_EQ(Image(), image);
}

TEST_F(DocTreeTest, DeleteFreesTheSlotAndFocusesTheGroup)
{
    UseSlot(Doc(), 0, ModBus, 0, 0, 3);
    tree.RefreshTree();
    Focus(DevNode(0)->Child(1));
    EXPECT_FALSE(tree.CanDeleteDevice());
    Focus(G().Root);
    EXPECT_FALSE(tree.CanDeleteDevice());
    Focus(DevNode(0));
    ASSERT_TRUE(tree.CanDeleteDevice());
    tree.DeleteDevice();
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{{"Удален протокол - КП ModBus", 0}}));
    EXPECT_EQ(Dev(0).ActiveProtocolIndex(), 0);
    EXPECT_EQ(IntOf(Dev(0), "000"), 0);
    EXPECT_TRUE(VisibleSlots().empty());
    EXPECT_EQ(tree.FirstFreeSlot(), DevNode(0));
    EXPECT_EQ(tree.Tree().Focused(), G().Devices);
    EXPECT_EQ(view.scrolled.back(), G().Devices);
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->args.Kind, TFrameKind::DeviceGroup);
    EXPECT_FALSE(tree.CanDeleteDevice());
    // No slot in use: what the channel export's enabling reads.
    for (int i = 0; i < Doc().DeviceCount(); ++i) EXPECT_EQ(Dev(i).ActiveProtocolIndex(), 0);
}

// The Delete key by node kind: which records get their defaults.
TEST_F(DocTreeTest, DeleteKeyResetsTheRecordsBehindTheNode)
{
    struct Probe {
        const char* name;
        std::function<TField*()> field;
        Variant junk;
    };
    const std::vector<Probe> probes = {
        {"port", [&] { return Doc().Find<TFieldLst>("UART0")->Find<TField>("055"); }, int32_t{77}},
        {"common", [&] { return Doc().Find<TField>("041"); }, int32_t{123}},
        {"dev0", [&] { return Dev(0).AddressField(); }, int32_t{7}},
        {"dev1", [&] { return Dev(1).AddressField(); }, int32_t{9}},
        {"dev0.proto", [&] { return Dev(0).ProtocolBlock(ModBus)->Find<TField>("0203"); }, int32_t{3}},
        {"logic", [&] { return Doc().LogicChannelByIndex(4)->Find<TField>("001"); }, int32_t{5}},
        {"aperture", [&] { return Doc().ApertureByIndex(2)->Find<TField>("0001"); }, 2.5},
        {"scale", [&] { return Doc().ScaleByIndex(3)->Find<TField>("0001"); }, 3.0},
        {"dev0.channels", [&] { return Dev(0).ChannelBlockByIndex(5)->Find<TField>("0002"); }, int32_t{4}},
        {"dev0.apertures", [&] { return Dev(0).ApertureBlockByIndex(6)->Find<TField>("0002"); }, int32_t{4}},
        {"dev0.scales", [&] { return Dev(0).ScaleBlockByIndex(7)->Find<TField>("0002"); }, int32_t{4}},
    };
    struct Row {
        const char* node;
        std::function<TNodeTree*()> pick;
        std::vector<std::string> reset;
        bool slotsFreed; // false: every used slot keeps protocol, port and role
        bool refreshAll;
    };
    const Row rows[] = {
        {"root", [&] { return G().Root; },
         {"port", "common", "dev0", "dev1", "dev0.proto", "logic", "aperture", "scale", "dev0.channels",
          "dev0.apertures", "dev0.scales"},
         true, true},
        {"devices group", [&] { return G().Devices; },
         {"dev0", "dev1", "dev0.proto", "dev0.channels", "dev0.apertures", "dev0.scales"}, false, false},
        {"logic channels", [&] { return G().LogicChannels; }, {"logic"}, false, true},
        {"apertures", [&] { return G().Apertures; }, {"aperture"}, false, true},
        {"scales", [&] { return G().Scales; }, {"scale"}, false, true},
        {"device", [&] { return DevNode(0); },
         {"dev0", "dev0.proto", "dev0.channels", "dev0.apertures", "dev0.scales"}, false, true},
        {"Каналы", [&] { return DevNode(0)->Child(0); }, {"dev0.channels"}, false, true},
        {"Апертуры", [&] { return DevNode(0)->Child(1); }, {"dev0.apertures"}, false, true},
        {"Преобразования ТИТ", [&] { return DevNode(0)->Child(2); }, {"dev0.scales"}, false, true},
        {"port node", [&] { return G().Root->Child(0); }, {}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.node);
        tree.CreateDocumentForModel(0, "Zumo2");
        UseSlot(Doc(), 0, ModBus, 1, 0);
        UseSlot(Doc(), 1, IEC, 2, 1);
        for (const Probe& p : probes) {
            ASSERT_NE(p.field(), nullptr) << p.name;
            p.field()->SetValue(p.junk);
        }
        AfterNew();
        Focus(row.pick());
        tree.ResetSelectionToDefaults();

        for (const Probe& p : probes) {
            const bool reset = std::find(row.reset.begin(), row.reset.end(), p.name) != row.reset.end();
            TField* f = p.field();
            EXPECT_EQ(!f->GetValue().Equals(p.junk), reset) << p.name;
            // A freed slot's protocol block lies in a zeroed area and has no defaults.
            if (reset && !(row.slotsFreed && std::string(p.name) == "dev0.proto")) {
                EXPECT_TRUE(f->GetValue().Equals(f->DefaultValue)) << p.name;
            }
        }
        if (row.slotsFreed) {
            EXPECT_TRUE(VisibleSlots().empty());
            EXPECT_EQ(Dev(0).ActiveProtocolIndex(), 0);
        } else {
            EXPECT_EQ(VisibleSlots(), (std::vector<int>{0, 1}));
            EXPECT_EQ(Dev(0).ActiveProtocolIndex(), ModBus);
            EXPECT_EQ(IntOf(Dev(0), "002"), 1);
            EXPECT_EQ(IntOf(Dev(0), "011"), 0);
            EXPECT_EQ(Dev(1).ActiveProtocolIndex(), IEC);
            EXPECT_EQ(IntOf(Dev(1), "002"), 2);
            EXPECT_EQ(IntOf(Dev(1), "011"), 1);
            // Captions follow the reset addresses.
            EXPECT_EQ(DevNode(0)->Caption(), Dev(0).DeviceCaption());
        }
        ASSERT_NE(Shown(), nullptr);
        EXPECT_EQ(Shown()->refreshAll, row.refreshAll ? 1 : 0);
        EXPECT_EQ(Shown()->recordsChanged, row.pick() == G().Devices ? 1 : 0);
    }
}

TEST_F(DocTreeTest, NodesGetThePageOfTheirKind)
{
    UseSlot(Doc(), 0, ModBus, 0, 0);
    tree.RefreshTree();
    TZumo2Doc* doc = &Doc();
    struct Row {
        const char* node;
        TNodeTree* pick;
        TFrameKind kind;
        TFieldLst* list;
    };
    const Row rows[] = {
        {"root", G().Root, TFrameKind::Common, doc},
        {"COM", G().Root->Child(0), TFrameKind::Port, doc->Find<TFieldLst>("UART0")},
        {"device", DevNode(0), TFrameKind::Device, &Dev(0)},
        {"devices group", G().Devices, TFrameKind::DeviceGroup, doc},
        {"logic channels", G().LogicChannels, TFrameKind::LogicChannels, doc},
        {"apertures", G().Apertures, TFrameKind::Apertures, doc},
        {"scales", G().Scales, TFrameKind::Scales, doc},
        {"Каналы", DevNode(0)->Child(0), TFrameKind::DevChannels, &Dev(0)},
        {"Апертуры", DevNode(0)->Child(1), TFrameKind::DevApertures, &Dev(0)},
        {"Преобразования ТИТ", DevNode(0)->Child(2), TFrameKind::DevScales, &Dev(0)},
    };
    int shown = host.shown;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.node);
        EXPECT_EQ(FrameKindForNode(row.pick, doc, G()), (TFrameChoice{row.kind, row.list}));
        EXPECT_EQ(FrameKindForNode(row.pick, nullptr, G()).Kind, TFrameKind::None);
        Focus(row.pick);
        ASSERT_NE(Shown(), nullptr);
        EXPECT_EQ(TestFrame::live, 1);
        EXPECT_EQ(host.shown, ++shown);
        const TFrameArgs& a = Shown()->args;
        EXPECT_EQ(a.Kind, row.kind);
        EXPECT_EQ(a.List, row.list);
        EXPECT_EQ(a.Document, doc);
        EXPECT_EQ(a.Tree, &tree.Tree());
        EXPECT_EQ(a.DevicesGroup, G().Devices);
        if (row.kind == TFrameKind::Common)
            EXPECT_TRUE(a.OnValidate == TFieldValidateEvent::Of<&TZumo2Doc::ValidateFieldEvent>(doc));
        else if (row.kind == TFrameKind::DevChannels)
            EXPECT_TRUE(a.OnValidate == TFieldValidateEvent::Of<&TZumo2Doc::ValidateChannelChange>(doc));
        else
            EXPECT_FALSE(a.OnValidate);
    }
    EXPECT_EQ(FrameKindForNode(nullptr, doc, G()).Kind, TFrameKind::None);

    // The page of an element's own list, by its class.
    const std::pair<TFieldLst*, TFrameKind> objects[] = {
        {doc, TFrameKind::Common},
        {doc->Find<TFieldLst>("USB"), TFrameKind::Port},
        {&Dev(7), TFrameKind::Device},
        {doc->LogicChannelByIndex(0), TFrameKind::None},
        {Dev(0).ChannelBlockByIndex(0), TFrameKind::None},
        {nullptr, TFrameKind::None},
    };
    for (const auto& [list, kind] : objects) {
        std::unique_ptr<TShownFrame> page = tree.CreateObjectFrame(list);
        EXPECT_EQ(page ? static_cast<TestFrame*>(page.get())->args.Kind : TFrameKind::None, kind)
            << (list ? list->Name : "none");
    }

    // A kind without a factory gives no page.
    registry.Register(TFrameKind::Port, {});
    Focus(G().Root->Child(0));
    EXPECT_EQ(tree.Frame(), nullptr);
    EXPECT_EQ(TestFrame::live, 0);

    // Zumo 7 placeholders have no page; the root has the common page.
    tree.ReplaceDocument(MakeZumo2Doc(), TTreeFamily::Zumo7, 3);
    EXPECT_EQ(tree.AddDeviceMenu().Count(), 0);
    TNodeTree* root = tree.Tree().Root(0);
    EXPECT_TRUE(root->Expanded());
    for (int i = 0; i < root->ChildCount(); ++i) {
        SCOPED_TRACE(root->Child(i)->Caption());
        EXPECT_EQ(FrameKindForNode(root->Child(i), tree.Document(), G()).Kind, TFrameKind::None);
        Focus(root->Child(i));
        EXPECT_EQ(tree.Frame(), nullptr);
    }
    EXPECT_EQ(FrameKindForNode(root, tree.Document(), G()).Kind, TFrameKind::Common);
}

TEST_F(DocTreeTest, NotifyActsOnlyOnRecordsOfTheCurrentDocument)
{
    UseSlot(Doc(), 3, ModBus, 0, 0);
    tree.RefreshTree();
    tree.Tree().SetExpanded(G().Root, false);
    Focus(G().Root);
    const auto address = [](const void* p) { return reinterpret_cast<intptr_t>(p); };

    // Not asked to select, or nothing named.
    EXPECT_FALSE(tree.FrameNotify(1, address(&Dev(3))));
    EXPECT_FALSE(tree.FrameNotify(0, 0));
    EXPECT_EQ(tree.Tree().Focused(), G().Root);

    ASSERT_TRUE(tree.FrameNotify(0, address(&Dev(3))));
    EXPECT_EQ(tree.Tree().Focused(), DevNode(3));
    EXPECT_TRUE(G().Root->Expanded());
    EXPECT_TRUE(G().Devices->Expanded());
    EXPECT_EQ(view.scrolled.back(), DevNode(3));
    EXPECT_EQ(view.inputFocus, 1);

    ASSERT_TRUE(tree.FrameNotify(0, address(Doc().ApertureByIndex(4))));
    EXPECT_EQ(tree.Tree().Focused(), G().Apertures);
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->selected, Doc().ApertureByIndex(4));
    EXPECT_EQ(Shown()->column, 1);

    ASSERT_TRUE(tree.FrameNotify(0, address(Doc().ScaleByIndex(49))));
    EXPECT_EQ(tree.Tree().Focused(), G().Scales);
    EXPECT_EQ(Shown()->selected, Doc().ScaleByIndex(49));

    // A device of another document (as one queued before a model change would name),
    // and records of other kinds: nothing happens.
    auto other = testsupport::NewZumo2Doc();
    Focus(G().Root);
    const TestFrame* page = Shown();
    for (const void* p : {static_cast<const void*>(other->DeviceByIndex(3)),
                          static_cast<const void*>(other->ApertureByIndex(4)),
                          static_cast<const void*>(Doc().LogicChannelByIndex(0)), static_cast<const void*>(&Doc()),
                          static_cast<const void*>(&tree)}) {
        EXPECT_FALSE(tree.FrameNotify(0, address(p)));
        EXPECT_EQ(tree.Tree().Focused(), G().Root);
        EXPECT_EQ(Shown(), page);
    }
    EXPECT_EQ(view.inputFocus, 1);
}

} // namespace
