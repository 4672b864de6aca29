#include "configurator/tree/DocTree.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/tree/TreeBuilders.h"
#include "model/uZumo7sin.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A page that keeps what it edits and reads it when it goes.
struct KeptFrame : TShownFrame {
    TFrameArgs args;
    explicit KeptFrame(const TFrameArgs& a) : args(a) {}
    ~KeptFrame() override
    {
        if (args.List) {
            EXPECT_GE(args.List->FieldCount(), 0);
        }
    }
    void RefreshAll() override {}
    void RecordsChanged() override {}
};

// Answers each default question through a callback.
struct CallbackPrompt : IDefaultPrompt {
    std::function<int(const std::string&)> answer;
    int asked = 0;
    int ask(const std::string& text) override
    {
        ++asked;
        return answer(text);
    }
};

std::vector<std::string> Captions(const TNodeTree* node)
{
    std::vector<std::string> out;
    for (int i = 0; i < node->ChildCount(); ++i) out.push_back(node->Child(i)->Caption());
    return out;
}

class Zumo7TreeTest : public ::testing::Test {
protected:
    TFrameRegistry registry;
    testsupport::ScopedLogRecorder log;
    testsupport::DialogScript dialogs;
    TDocTree tree{registry};

    void SetUp() override
    {
        for (TFrameKind kind : {TFrameKind::Common, TFrameKind::Port, TFrameKind::Device, TFrameKind::DeviceGroup})
            registry.Register(kind, [](const TFrameArgs& a) { return std::make_unique<KeptFrame>(a); });
    }

    // The model's document on a board, as New leaves it.
    TZumo7Doc& NewOnBoard(int code, int board)
    {
        tree.CreateDocumentForModel(code, code == 3 ? "Zumo7" : "Zumo7 синх");
        tree.ClearTree();
        Doc().SetBoardSignature(board);
        Doc().ResetDefaults();
        tree.RefreshTree();
        tree.BuildAddDeviceMenu();
        return Doc();
    }

    TZumo7Doc& Doc() { return *dynamic_cast<TZumo7Doc*>(tree.Document()); }
    const TTreeGroups& G() { return tree.Groups(); }
    TNodeTree* Child(const std::string& caption)
    {
        for (int i = 0; i < G().Root->ChildCount(); ++i)
            if (G().Root->Child(i)->Caption() == caption) return G().Root->Child(i);
        return nullptr;
    }
};

} // namespace

TEST_F(Zumo7TreeTest, ModelsMakeTheirDocumentsAndTheSkeleton)
{
    for (const auto& [code, className] : {std::pair{3, "TZumo7Doc"}, std::pair{16, "TZumo7sinDoc"}}) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(CreateModelDocument(code, "x")->ClassName(), className);
        tree.CreateDocumentForModel(code, "x");
        TNodeTree* root = tree.Tree().Root(0);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->Caption(), "Zumo7-E1C20");
        EXPECT_TRUE(root->Expanded());
        EXPECT_EQ(Captions(root), (std::vector<std::string>{"Устройства", "Логические каналы", "Апертуры каналов ТИТ",
                                                            "Преобразования каналов ТИТ", "Собственные каналы",
                                                            "DIO"}));
        for (int i = 0; i < root->ChildCount(); ++i) EXPECT_EQ(root->Child(i)->FieldList(), nullptr);
        EXPECT_EQ(tree.AddDeviceMenu().Count(), 0);
    }
}

TEST_F(Zumo7TreeTest, ModemBoardOfTheFirstKindHasNoCOM3)
{
    for (int code : {3, 16}) {
        SCOPED_TRACE(code);
        NewOnBoard(code, 610);
        ASSERT_EQ(tree.Tree().RootCount(), 1);
        EXPECT_EQ(G().Root->Caption(), "Zumo7-E1C20-M1");
        EXPECT_EQ(Captions(G().Root),
                  (std::vector<std::string>{"COM1", "COM2", "Modem1", "Устройства", "Логические каналы",
                                            "Апертуры каналов ТИТ", "Преобразования каналов ТИТ",
                                            "Собственные каналы", "DIO"}));
        for (int i = 0; i < 3; ++i) {
            EXPECT_STREQ(G().Root->Child(i)->ClassName(), "TUART_Node");
            EXPECT_EQ(G().Root->Child(i)->FieldList(), Doc().Find<TFieldLst>(i == 2 ? "UART5" : i == 1 ? "UART2" : "UART0"));
        }
        EXPECT_EQ(G().OwnChannels, Child("Собственные каналы"));
        EXPECT_EQ(G().DIO, Child("DIO"));
        EXPECT_EQ(G().OwnChannels->Index(), 33);
        EXPECT_EQ(G().DIO->Index(), 33);
        EXPECT_EQ(FrameKindForNode(G().OwnChannels, &Doc(), G()).Kind, TFrameKind::InternalChannels);
        EXPECT_EQ(FrameKindForNode(G().DIO, &Doc(), G()).Kind, TFrameKind::DIOChannels);
        EXPECT_EQ(G().Devices->ChildCount(), 20);
        EXPECT_TRUE(G().Root->Expanded());

        for (const char* role : {"ПУ", "КП"}) {
            const TMenuItem* branch = tree.AddDeviceMenu().Find(role);
            ASSERT_NE(branch, nullptr);
            const TMenuItem* com3 = branch->Find("COM3");
            ASSERT_NE(com3, nullptr);
            EXPECT_FALSE(com3->Enabled);
            EXPECT_EQ(com3->Count(), 0);
            EXPECT_EQ(com3->PortIndex, 4);
            EXPECT_FALSE(branch->Find("USB")->Enabled);
            EXPECT_TRUE(branch->Find("Modem1")->Enabled);
            EXPECT_GT(branch->Find("Modem1")->Count(), 0);
        }
    }
}

TEST_F(Zumo7TreeTest, FourModemBoardShowsItsModems)
{
    NewOnBoard(3, 730);
    EXPECT_EQ(G().Root->Caption(), "Zumo7-E1C20-M4");
    const std::vector<std::string> captions = Captions(G().Root);
    EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + 6),
              (std::vector<std::string>{"COM1", "Modem3", "COM2", "Modem2", "Modem1", "Modem4"}));
    EXPECT_TRUE(tree.AddDeviceMenu().Find("КП")->Find("Modem2")->Enabled);
}

TEST_F(Zumo7TreeTest, DeleteKeyResetsOwnAndDioChannels)
{
    TZumo7Doc& doc = NewOnBoard(3, 10);
    for (int i = 0; i < 16; ++i) {
        doc.InternalChannelByIndex(i)->Find<TField>("count")->SetValue(int32_t{7});
        doc.DioChannelByIndex(i)->Find<TField>("Chtype")->SetValue(int32_t{3});
    }
    tree.Tree().SetFocused(G().DIO);
    tree.ResetSelectionToDefaults();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(doc.DioChannelByIndex(i)->Find<TField>("Chtype")->GetValue().ToInt32(), 255) << i;
        EXPECT_EQ(doc.InternalChannelByIndex(i)->Find<TField>("count")->GetValue().ToInt32(), 7) << i;
    }
    tree.Tree().SetFocused(G().OwnChannels);
    tree.ResetSelectionToDefaults();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(doc.InternalChannelByIndex(i)->Find<TField>("count")->GetValue().ToInt32(), 0);
}

// The Delete key on the root after a file of another board: the meta record keeps
// describing the loaded board.
TEST_F(Zumo7TreeTest, RootResetAfterLoadingAnotherBoard)
{
    testsupport::TempDir dir;
    {
        auto other = MakeZumo7Doc();
        other->SetBoardSignature(730);
        other->ResetDefaults();
        other->SaveToFile(dir / "730.hex");
    }
    TZumo7Doc& doc = NewOnBoard(3, 10);
    doc.LoadFromFile(dir / "730.hex");
    tree.RefreshTree();
    tree.Tree().SetFocused(G().Root);
    tree.ResetSelectionToDefaults();
    EXPECT_EQ(doc.MetaField("meta_board_signature")->GetValue().ToInt32(), 730);
    EXPECT_EQ(doc.MetaField("meta_RS232_count")->GetValue().ToInt32(), 4);
    EXPECT_NO_THROW(doc.Validate());
    EXPECT_EQ(G().Root->Caption(), "Zumo7-E1C20-M4");
}

// A load that changes the board replaces port records while the old tree and page still
// point at them, and the default check asks a question meanwhile.
TEST_F(Zumo7TreeTest, ReplacedPortsLiveUntilTheTreeIsRebuilt)
{
    testsupport::TempDir dir;
    {
        auto ten = MakeZumo7Doc();
        ten->ResetDefaults();
        ten->Find<TFieldLst>("USB")->Find<TField>("055")->SetValue(int32_t{5}); // one question
        ten->SaveToFile(dir / "10.hex");
    }
    TZumo7Doc& doc = NewOnBoard(3, 730);
    auto* uart4 = doc.Find<TFieldLst>("UART4");
    ASSERT_NE(uart4, nullptr);
    EXPECT_EQ(uart4->Name, "Modem2");
    tree.Tree().SetFocused(Child("Modem2"));
    ASSERT_NE(tree.Frame(), nullptr);
    TFieldLst* pageList = static_cast<KeptFrame*>(tree.Frame())->args.List;
    EXPECT_EQ(pageList, uart4);

    CallbackPrompt prompt;
    prompt.answer = [&](const std::string&) {
        // What the idle update of the shown page reads while the question is open: the
        // retired record still reads its slot, which now holds the loaded file's bytes.
        EXPECT_EQ(uart4->Find<TField>("016")->GetValue().ToInt32(), doc.Image.BlockByIndex(1)->Data()[32] & 7);
        EXPECT_EQ(pageList->FieldCount(), uart4->FieldCount());
        return mrNo;
    };
    doc.Prompt = &prompt;
    doc.LoadFromFile(dir / "10.hex");
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(doc.FindField("UART4"), nullptr);
    EXPECT_GT(doc.RetiredPortCount(), 0);
    tree.UpdateFrameControls();

    tree.RefreshTree();
    EXPECT_EQ(doc.RetiredPortCount(), 0);
    const std::vector<std::string> captions = Captions(G().Root);
    EXPECT_EQ(std::vector<std::string>(captions.begin(), captions.begin() + 2),
              (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(G().Root->Caption(), "Zumo7-E1C20");
}
