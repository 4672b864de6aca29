#include "configurator/core/CfgController.h"
#include "model/uZumo7_utils.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "tests/support/DialogScript.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

using platform::DialogKind;
using platform::MsgResult;
using testsupport::LogLine;
using testsupport::TempDir;

namespace {

// Records what the file commands ask of the tree.
struct RecordingView : ICfgDocumentView {
    std::vector<std::string> calls;
    TDocument* attached = nullptr;
    void ReleaseDocument() override
    {
        calls.push_back("release");
        attached = nullptr;
    }
    void AttachDocument(TDocument* d) override
    {
        calls.push_back("attach");
        attached = d;
    }
    void RefreshTree() override { calls.push_back("refresh"); }
    void BuildAddDeviceMenu() override { calls.push_back("menu"); }
    void FocusFirstNode() override { calls.push_back("focus"); }
    void ClearTree() override { calls.push_back("clear"); }
};

void SaveDocument(const std::filesystem::path& file, const std::string& schemeId = {})
{
    auto doc = MakeZumo2Doc();
    doc->ResetDefaults();
    if (!schemeId.empty()) doc->SchemeIdField()->SetValue(Variant(schemeId));
    doc->SaveToFile(file);
}

struct CfgControllerTest : ::testing::Test {
    TempDir dir;
    testsupport::DialogScript dialogs;
    testsupport::ScopedLogRecorder log;
    RecordingView view;
    TCfgController ctl{view};
    std::vector<std::string> captions;

    void SetUp() override
    {
        ctl.OnCaptionChanged = [this](const std::string& c) { captions.push_back(c); };
    }

    bool Logged(const std::string& text, int kind) const
    {
        for (const LogLine& line : log.Lines())
            if (line.text == text && line.kind == kind) return true;
        return false;
    }
};

TEST_F(CfgControllerTest, StartupOpensAnExistingLastFileOnce)
{
    const auto file = (dir / "a.hex").string();
    SaveDocument(file);

    struct Case {
        std::string last;
        bool pending;
    };
    const Case cases[] = {{file, true}, {(dir / "gone.hex").string(), false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        log.Clear();
        ctl.RestoreFiles(dir.path().string(), c.last);
        EXPECT_EQ(ctl.PendingFile, c.pending);
        EXPECT_EQ(ctl.OpenDialog.InitialDir, dir.path().string());
        EXPECT_EQ(ctl.SaveDialog.InitialDir, dir.path().string());

        ctl.Startup();
        ASSERT_NE(ctl.Document(), nullptr);
        EXPECT_TRUE(Logged("Создание новых настроек устройства - Zumo2", 0));
        EXPECT_EQ(Logged("Открытие файла параметров - " + file, 0), c.pending);
        EXPECT_EQ(ctl.Caption(), c.pending ? "Mirvak - " + file : "Mirvak");
        // Opened once: nothing pending, Save disabled, nothing remembered.
        EXPECT_FALSE(ctl.PendingFile);
        EXPECT_FALSE(ctl.CanSave());
        EXPECT_EQ(ctl.LastParamFile(), "");
    }
}

TEST_F(CfgControllerTest, NoBoardQuestionBeforeThePendingFileIsOpened)
{
    const auto file = (dir / "a.hex").string();
    SaveDocument(file);
    std::vector<std::string> order;
    ctl.ChooseBoard = [&](TDocument&) -> std::optional<int> {
        order.push_back("board");
        return 0; // cancelled: the default board
    };

    ctl.RestoreFiles(dir.path().string(), file);
    ctl.Startup();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(ctl.Caption(), "Mirvak - " + file);

    // Without a pending file a new document asks for its board and gets the default
    // when the dialog is cancelled.
    struct BoardDoc : TDocument {
        int signature = -1;
        std::vector<std::string> GetPortNames() const override { return {}; }
        void SaveToFile(const std::filesystem::path&) override {}
        void SetBoardSignature(int32_t s) override { signature = s; }
        void Build() override {}
    };
    TCfgController other(view, [](int) -> std::unique_ptr<TDocument> { return MakeDocument<BoardDoc>(); });
    other.ChooseBoard = ctl.ChooseBoard;
    view.calls.clear();
    other.ChangeModel(3);
    EXPECT_EQ(order, std::vector<std::string>{"board"});
    EXPECT_EQ(static_cast<BoardDoc*>(other.Document())->signature, DefaultBoardSignature());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"attach", "clear", "refresh", "menu"}));
    EXPECT_TRUE(Logged("Создание новых настроек устройства - Zumo7", 0));
}

TEST_F(CfgControllerTest, OpenValidAndBrokenFiles)
{
    const auto good = (dir / "good.hex").string();
    const auto other = (dir / "other.hex").string(); // another scheme: loaded, then refused
    SaveDocument(good);
    SaveDocument(other, "Scheme ID:7.0.0.0");
    ctl.RestoreFiles(dir.path().string(), "");
    ctl.Startup();

    dialogs->PushFile(good);
    ctl.Open();
    EXPECT_EQ(ctl.Caption(), "Mirvak - " + good);
    EXPECT_TRUE(ctl.CanSave());
    EXPECT_EQ(ctl.LastParamFile(), good);
    EXPECT_EQ(ctl.SaveDialog.FileName, good);
    const auto request = dialogs->Records().back().file;
    EXPECT_EQ(request.filter, "Файлы параметров (*.hex)|*.hex|Все файлы|*.*");
    EXPECT_TRUE(request.fileMustExist);

    for (MsgResult answer : {MsgResult::Yes, MsgResult::No}) {
        SCOPED_TRACE(platform::MsgResultName(answer));
        // Start from a good current file: the failure must forget it as well.
        dialogs->PushFile(good);
        ctl.Open();
        ASSERT_TRUE(ctl.CanSave());
        log.Clear();
        dialogs.Reset();
        captions.clear();

        dialogs->PushFile(other);
        dialogs->PushAnswer(answer);
        ctl.Open();

        const std::string message = "Файл параметров имеет версию \"Scheme ID:7.0.0.0\" вместо \"Scheme ID:8.0.0.0\""
                                    "\r\nПрошивка не подходит для контроллера Zumo2";
        EXPECT_TRUE(Logged("Ошибка открытия файла настроек - " + message, 1));
        const auto box = dialogs->Records().back();
        ASSERT_EQ(box.kind, DialogKind::MessageBox);
        EXPECT_EQ(box.box.text, message + "\rПродолжить ?");
        EXPECT_EQ(box.box.buttons, platform::MsgButtons::YesNo);
        EXPECT_EQ(box.box.icon, platform::MsgIcon::Warning);

        // Nothing to save over, nothing to remember.
        EXPECT_FALSE(ctl.CanSave());
        EXPECT_EQ(ctl.LastParamFile(), "");
        EXPECT_EQ(ctl.SaveDialog.FileName, "");
        EXPECT_EQ(ctl.Caption(), "Mirvak");
        EXPECT_EQ(Logged("Создание новых настроек устройства - Zumo2", 0), answer == MsgResult::No);
        // Yes keeps what was loaded (the other scheme text), No starts afresh.
        const auto* doc = static_cast<TZumo2Doc*>(ctl.Document());
        EXPECT_EQ(doc->SchemeIdField()->GetValue().Str(),
                  answer == MsgResult::Yes ? "Scheme ID:7.0.0.0" : "Scheme ID:8.0.0.0");
        ctl.Save(); // disabled: nothing written
        EXPECT_FALSE(Logged("Сохранения файла параметров - " + other, 0));
    }

    // A cancelled dialog opens nothing and still rebuilds the add-device menu.
    view.calls.clear();
    dialogs->PushFileCancel();
    ctl.Open();
    EXPECT_EQ(view.calls, std::vector<std::string>{"menu"});
}

TEST_F(CfgControllerTest, SaveAsNamesTheFileAndMakesItCurrent)
{
    std::filesystem::create_directory(dir / "my.dir");
    ctl.RestoreFiles(dir.path().string(), "");
    ctl.Startup();

    struct Case {
        std::string chosen;
        int filter;
        std::string saved;
    };
    const Case cases[] = {
        {"file", 1, "file.hex"},
        {"file2", 2, "file2.hex"},                // the dialog's default extension
        {"my.dir/file", 1, "my.dir/file.hex"},
        {"plain.txt", 2, "plain.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs->PushFile((dir / c.chosen).string(), c.filter);
        ctl.SaveAs();
        const std::string saved = (dir / c.saved).string();
        EXPECT_TRUE(std::filesystem::is_regular_file(saved));
        EXPECT_EQ(ctl.Caption(), "Mirvak - " + saved);
        EXPECT_EQ(ctl.LastParamFile(), saved);
        EXPECT_EQ(ctl.OpenDialog.InitialDir, std::filesystem::path(saved).parent_path().string());
        EXPECT_TRUE(Logged("Сохранения файла параметров - " + saved, 0));
    }
    const auto request = dialogs->Records().back().file;
    EXPECT_EQ(request.defaultExt, "hex");
    EXPECT_EQ(request.filter, "Файл параметров (*.hex)|*.hex|Все файлы|*.*");
    EXPECT_TRUE(request.overwritePrompt);

    // Save writes the current file again; the file reads back.
    std::filesystem::remove(dir / "plain.txt");
    ctl.Save();
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "plain.txt"));
    dialogs->PushFile((dir / "plain.txt").string());
    ctl.Open();
    EXPECT_EQ(ctl.Caption(), "Mirvak - " + (dir / "plain.txt").string());
    EXPECT_FALSE(Logged("Ошибка открытия файла настроек - ", 1));
}

TEST_F(CfgControllerTest, AFailedSaveAsLeavesSaveOnTheOpenedFile)
{
    const auto opened = (dir / "opened.hex").string();
    SaveDocument(opened);
    // A path whose parent is a regular file: nobody, root included, can create it.
    const auto blocked = (dir / "opened.hex" / "new.hex").string();
    const std::string before = testsupport::ReadFile(opened);
    ctl.RestoreFiles(dir.path().string(), "");
    ctl.Startup();
    dialogs->PushFile(opened);
    ctl.Open();
    // An edit that Save must write into the opened file.
    auto* doc = static_cast<TZumo2Doc*>(ctl.Document());
    doc->SchemeIdField()->SetValue(Variant(std::string("Scheme ID:8.0.0.1")));
    log.Clear();

    dialogs->PushFile(blocked);
    EXPECT_ANY_THROW(ctl.SaveAs());

    EXPECT_EQ(ctl.Caption(), "Mirvak - " + opened);
    EXPECT_EQ(ctl.SaveDialog.FileName, opened);
    EXPECT_EQ(ctl.OpenDialog.FileName, opened);
    EXPECT_EQ(testsupport::ReadFile(opened), before);
    EXPECT_TRUE(Logged("Сохранения файла параметров - " + blocked, lkNormal));
    bool failure = false;
    for (const LogLine& line : log.Lines())
        failure = failure || (line.kind == lkHighlight &&
                              line.text.rfind("Ошибка сохранения файла параметров - " + blocked + ": ", 0) == 0 &&
                              line.text.size() > ("Ошибка сохранения файла параметров - " + blocked + ": ").size());
    EXPECT_TRUE(failure);

    // Save now writes the opened file, and only it.
    log.Clear();
    ctl.Save();
    EXPECT_TRUE(Logged("Сохранения файла параметров - " + opened, lkNormal));
    EXPECT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(testsupport::ReadFile(opened), before);

    // Without a file in the caption a failed Save as leaves the save dialog empty.
    ctl.New();
    dialogs->PushFile(blocked);
    EXPECT_ANY_THROW(ctl.SaveAs());
    EXPECT_EQ(ctl.Caption(), "Mirvak");
    EXPECT_EQ(ctl.SaveDialog.FileName, "");
}

// A new document, made by New or by a model change, belongs to no file: Save writes
// nothing over the file shown before (the lost data of a new document saved over it),
// and Save as gives the document a file again.
TEST_F(CfgControllerTest, NewDocumentNeverOverwritesTheLastFile)
{
    const auto file = (dir / "a.hex").string();
    {
        auto doc = MakeZumo2Doc();
        doc->ResetDefaults();
        doc->Find<TField>("time_offset")->SetValue(3); // unlike any new document
        doc->SaveToFile(file);
    }
    const std::string before = testsupport::ReadFile(file);
    ctl.RestoreFiles(dir.path().string(), "");
    ctl.Startup();

    const struct {
        const char* name;
        std::function<void()> makeNew;
    } cases[] = {
        {"New", [&] { ctl.New(); }},
        {"another model", [&] { ctl.ChangeModel(1); }},
        {"the same model again", [&] { ctl.ChangeModel(ctl.ModelCode()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->PushFile(file);
        ctl.Open();
        ASSERT_TRUE(ctl.CanSave());
        ASSERT_EQ(ctl.Document()->Find<TField>("time_offset")->GetValue().ToInt32(), 3);
        log.Clear();

        c.makeNew();
        EXPECT_EQ(ctl.Caption(), "Mirvak");
        EXPECT_FALSE(ctl.CanSave());
        EXPECT_EQ(ctl.OpenDialog.FileName, "");
        EXPECT_EQ(ctl.SaveDialog.FileName, "");
        EXPECT_EQ(ctl.LastParamFile(), "");
        ctl.Save();
        EXPECT_EQ(testsupport::ReadFile(file), before);
        EXPECT_FALSE(Logged("Сохранения файла параметров - " + file, lkNormal));
    }

    // Save as saves the new document under a name of its own, and Save follows it.
    const auto other = (dir / "b.hex").string();
    dialogs->PushFile(other, 1);
    ctl.SaveAs();
    EXPECT_EQ(dialogs->Records().back().file.fileName, "");
    EXPECT_TRUE(std::filesystem::is_regular_file(other));
    EXPECT_TRUE(ctl.CanSave());
    EXPECT_EQ(ctl.Caption(), "Mirvak - " + other);
    EXPECT_EQ(testsupport::ReadFile(file), before);
}

TEST(CfgModels, SortedListKeepsTheCodes)
{
    const std::vector<TModelItem> items = SortedModelItems();
    ASSERT_EQ(items.size(), static_cast<size_t>(ModelCount));
    std::vector<bool> seen(ModelCount);
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].Text, ModelNames[items[i].Code]);
        seen[static_cast<size_t>(items[i].Code)] = true;
        if (i > 0) {
            EXPECT_LT(CompareKeys(items[i - 1].Text, items[i].Text), 0);
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), ModelCount);
    EXPECT_EQ(items[static_cast<size_t>(ModelItemIndex(items, 3))].Code, 3);
    EXPECT_EQ(ModelItemIndex(items, 99), 0); // an unknown code selects the first item
}

} // namespace
