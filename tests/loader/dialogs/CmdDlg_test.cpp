// The script editor's model without a display, on a temporary "Scripts" folder with a
// fixed process id.

#include "loader/dialogs/CmdDlg.h"
#include "platform/CodePages.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class ScriptDialogModel : public ::testing::Test {
protected:
    ScriptDialogModel()
    {
        place.Folder = dir / "Scripts";
        place.Pid = "4242";
        place.MarkSessionChanged = [this] { ++marks; };
    }

    fs::path Copy(const std::string& name) const { return place.Folder / (name + ".tmp4242"); }
    void Put(const std::string& name, const std::string& bytes) const
    {
        fs::create_directories(place.Folder);
        WriteFile(Copy(name), bytes);
    }
    std::vector<std::string> Names(const TScriptDialogModel& model) const
    {
        std::vector<std::string> names;
        for (int i = 0; i < model.Count(); ++i) names.push_back(model.ItemName(i));
        return names;
    }
    // Every file of the folder with its bytes.
    std::map<std::string, std::string> Folder() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(place.Folder))
            files[entry.path().filename().string()] = ReadFile(entry.path());
        return files;
    }

    testsupport::TempDir dir;
    TScriptPlace place;
    int marks = 0;
};

} // namespace

TEST_F(ScriptDialogModel, LoadsTheWorkingCopiesOfThisProcess)
{
    Put("b", "B");
    Put("a", "A");
    WriteFile(place.Folder / "c.tmp99", "C");
    WriteFile(place.Folder / "d.txt", "D");
    fs::create_directories(place.Folder / "e.tmp4242");
    TScriptDialogModel model(place);
    model.Load();
    EXPECT_EQ(Names(model), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(model.CurrentIndex(), -1);
    EXPECT_FALSE(model.ControlsEnabled());
    model.SelectByName("b");
    EXPECT_EQ(model.CurrentIndex(), 1);
    EXPECT_EQ(model.ScriptText(), "B");
    model.SelectByName("none");
    EXPECT_EQ(model.CurrentIndex(), 0);
    EXPECT_EQ(model.FormName(), "TScriptDialog");
}

TEST_F(ScriptDialogModel, FolderIsCreatedOrReported)
{
    TScriptDialogModel model(place);
    model.Load();
    EXPECT_TRUE(fs::is_directory(place.Folder));
    EXPECT_EQ(model.Count(), 0);

    fs::remove(place.Folder);
    WriteFile(place.Folder, "a file in the way");
    TScriptDialogModel blocked(place);
    try {
        blocked.Load();
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Не удалось создать папку для скриптов\n" + place.Folder.string());
    }
}

TEST_F(ScriptDialogModel, AddProposesTheNextFreeNumber)
{
    Put("x", "");
    Put("y", "");
    Put("script_5", "");
    TScriptDialogModel model(place);
    model.Load();
    ASSERT_TRUE(model.Add());
    EXPECT_EQ(model.CurrentName(), "Script_4");
    EXPECT_EQ(model.ScriptText(), "sleep 1000\r\nrestart 1");
    EXPECT_TRUE(model.ControlsEnabled());
    ASSERT_TRUE(model.Add());
    EXPECT_EQ(model.CurrentName(), "Script_6") << "Script_5 exists in another letter case";
}

TEST_F(ScriptDialogModel, NamesAreChecked)
{
    struct Case {
        std::string name;
        const char* refusal; // nullptr: accepted
    };
    const std::vector<Case> cases = {
        {"a.b", kScriptNameUnsafeText},
        {"a:b", kScriptNameUnsafeText},
        {"a;b", kScriptNameUnsafeText},
        {"", kScriptNameEmptyText},
        {"A", kScriptNameDuplicateText},
        {"日本", kScriptNameUnsafeText},
        {"Скрипт 1", nullptr},
        {"B", nullptr}, // its own name in another letter case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("a", "1");
        Put("b", "2");
        testsupport::DialogScript script;
        TScriptDialogModel model(place);
        model.Load();
        model.SelectByName("b");
        model.SetNameText(c.name);
        if (c.refusal) script->PushAnswer(platform::MsgResult::OK);
        EXPECT_EQ(model.Commit(), c.refusal == nullptr);
        if (c.refusal) {
            ASSERT_EQ(script->Records().size(), 1u);
            EXPECT_EQ(script->Records()[0].box.text, c.refusal);
            EXPECT_EQ(script->Records()[0].box.caption, "Ошибка");
            EXPECT_EQ(model.ItemName(1), "b") << "the entry stays as it was";
            // Leaving the entry or adding one is refused alike.
            script->PushAnswer(platform::MsgResult::OK);
            EXPECT_FALSE(model.Select(0));
            EXPECT_EQ(model.CurrentIndex(), 1);
        } else {
            EXPECT_EQ(model.ItemName(1), c.name);
            EXPECT_FALSE(model.Modified());
        }
        fs::remove_all(place.Folder);
    }
}

TEST_F(ScriptDialogModel, NameIsCutAtTwoHundredCharacters)
{
    Put("a", "");
    TScriptDialogModel model(place);
    model.Load();
    model.SelectByName("a");
    std::string name;
    for (int i = 0; i < 210; ++i) name += "ж";
    model.SetNameText(name);
    EXPECT_EQ(model.NameText().size(), 400u);
}

TEST_F(ScriptDialogModel, UntouchedScriptsStayByteIdentical)
{
    std::string odd = platform::Utf8ToAnsi("  ведущие пробелы; и точка с запятой\r\n");
    while (odd.size() < 5000) odd += "send 55AA ; комментарий\r\n";
    odd += "\xff\x98  ";
    Put("odd", odd);
    Put("other", "sleep 1");
    const auto before = Folder();

    TScriptDialogModel model(place);
    model.Load();
    model.SelectByName("odd");
    EXPECT_EQ(model.ScriptText(), platform::AnsiToUtf8(odd)) << "read whole, not cut at \";\" or 4096 bytes";
    ASSERT_TRUE(model.Save());
    EXPECT_EQ(Folder(), before);
    EXPECT_EQ(marks, 0) << "nothing changed";

    model.SelectByName("other");
    model.SetScriptText("sleep 2\r\nrestart 1");
    ASSERT_TRUE(model.Save());
    auto after = Folder();
    EXPECT_EQ(after.at("odd.tmp4242"), odd);
    EXPECT_EQ(after.at("other.tmp4242"), "sleep 2\r\nrestart 1");
    EXPECT_EQ(marks, 1);
}

TEST_F(ScriptDialogModel, SaveWritesWorkingCopiesOnly)
{
    Put("keep", "k");
    Put("gone", "g");
    Put("old", "o");
    WriteFile(place.Folder / "gone.txt", "g");
    WriteFile(place.Folder / "old.txt", "o");
    TScriptDialogModel model(place);
    model.Load();
    model.SelectByName("gone");
    model.Remove();
    EXPECT_EQ(model.CurrentIndex(), -1);
    model.SelectByName("old");
    model.SetNameText("Новый");
    model.SetScriptText("sleep 5\r\nтекст");
    ASSERT_TRUE(model.Add());
    ASSERT_TRUE(model.Save());
    EXPECT_EQ(model.CurrentName(), "Script_3");
    const auto files = Folder();
    EXPECT_EQ(files, (std::map<std::string, std::string>{
                         {"gone.txt", "g"},
                         {"old.txt", "o"},
                         {"keep.tmp4242", "k"},
                         {"Новый.tmp4242", platform::Utf8ToAnsi("sleep 5\r\nтекст")},
                         {"Script_3.tmp4242", "sleep 1000\r\nrestart 1"},
                     }));
    EXPECT_EQ(marks, 1);
}

TEST_F(ScriptDialogModel, NamesMayBeExchanged)
{
    Put("a", "A");
    Put("b", "B");
    testsupport::DialogScript script;
    TScriptDialogModel model(place);
    model.Load();
    model.SelectByName("a");
    model.SetNameText("c");
    ASSERT_TRUE(model.Select(1));
    model.SetNameText("a");
    ASSERT_TRUE(model.Select(0));
    model.SetNameText("b");
    ASSERT_TRUE(model.Save());
    EXPECT_EQ(Folder(), (std::map<std::string, std::string>{{"a.tmp4242", "B"}, {"b.tmp4242", "A"}}));
}
