#include "platform/Dialogs.h"
#include "platform/ScriptedDialogs.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <thread>

using namespace platform;
using testsupport::DialogScript;

TEST(ScriptedDialogs, AnswersInOrderAndRecordsEveryField)
{
    DialogScript script;
    script->PushAnswer(MsgResult::NoToAll);
    script->PushFile("/work/out/params", 2);
    script->PushInput(std::string("secret"));
    script->PushInput(std::nullopt);

    const MessageBoxRequest box{0x10001, "Нет данных\rдля экспорта", "Подтверждение", MsgIcon::Question,
                                MsgButtons::YesNoNoToAllYesToAll};
    EXPECT_EQ(ShowMessageBox(box), MsgResult::NoToAll);

    FileDialogRequest file;
    file.owner = 0x10002;
    file.kind = FileDialogKind::Save;
    file.title = "Сохранить";
    file.filter = "Файл параметров (*.hex)|*.hex|Все файлы|*.*";
    file.filterIndex = 1;
    file.initialDir = "/work";
    file.fileName = "old.hex";
    file.defaultExt = "hex";
    file.overwritePrompt = true;
    const FileDialogResult chosen = ShowFileDialog(file);
    EXPECT_TRUE(chosen.accepted);
    EXPECT_EQ(chosen.fileName, "/work/out/params.hex");
    EXPECT_EQ(chosen.filterIndex, 2);

    const InputRequest input{0, "Пароль", "Введите пароль", "", true};
    EXPECT_EQ(ShowInputQuery(input), "secret");
    EXPECT_EQ(ShowInputQuery(input), std::nullopt);

    const auto records = script->Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].kind, DialogKind::MessageBox);
    EXPECT_EQ(records[0].owner, 0x10001u);
    EXPECT_EQ(records[0].box.text, "Нет данных\rдля экспорта");
    EXPECT_EQ(records[0].box.caption, "Подтверждение");
    EXPECT_EQ(records[0].box.icon, MsgIcon::Question);
    EXPECT_EQ(records[0].box.buttons, MsgButtons::YesNoNoToAllYesToAll);
    EXPECT_EQ(records[1].kind, DialogKind::FileDialog);
    const FileDialogRequest& f = records[1].file;
    EXPECT_EQ(records[1].owner, 0x10002u);
    EXPECT_EQ(f.kind, FileDialogKind::Save);
    EXPECT_EQ(f.title, "Сохранить");
    EXPECT_EQ(f.filter, file.filter);
    EXPECT_EQ(f.filterIndex, 1);
    EXPECT_EQ(f.initialDir, "/work");
    EXPECT_EQ(f.fileName, "old.hex");
    EXPECT_EQ(f.defaultExt, "hex");
    EXPECT_FALSE(f.fileMustExist);
    EXPECT_TRUE(f.overwritePrompt);
    EXPECT_EQ(records[2].input.caption, "Пароль");
    EXPECT_EQ(records[2].input.prompt, "Введите пароль");
    EXPECT_TRUE(records[2].input.masked);
    for (const auto& r : records)
        EXPECT_FALSE(r.unexpected);
}

namespace {

// The failures fn reports, intercepted.
template <class Fn>
std::vector<std::string> FailuresOf(Fn fn)
{
    testing::TestPartResultArray results;
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        fn();
    }
    std::vector<std::string> messages;
    for (int i = 0; i < results.size(); ++i)
        messages.push_back(results.GetTestPartResult(i).message());
    return messages;
}

} // namespace

TEST(ScriptedDialogs, UnexpectedRequestsAnswerAsClosedAndFailTheTest)
{
    struct Case {
        MsgButtons buttons;
        MsgResult answer;
    };
    const Case cases[] = {
        {MsgButtons::OK, MsgResult::OK},
        {MsgButtons::OKCancel, MsgResult::Cancel},
        {MsgButtons::YesNo, MsgResult::No},
        {MsgButtons::YesNoCancel, MsgResult::Cancel},
        {MsgButtons::YesNoNoToAllYesToAll, MsgResult::No},
        {MsgButtons::AbortRetryIgnore, MsgResult::Abort},
        {MsgButtons::AbortIgnore, MsgResult::Abort},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CloseAnswer(c.buttons), c.answer);
        MsgResult answer = MsgResult::None;
        const auto failures = FailuresOf([&] {
            DialogScript script;
            answer = ShowMessageBox(0, "Продолжить ?", "", MsgIcon::Warning, c.buttons);
        });
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(failures, (std::vector<std::string>{"Failed\nunexpected message box: \"\" \"Продолжить ?\" -> " +
                                                      std::string(MsgResultName(c.answer))}));
    }
    // An answer of the wrong kind, or not among the box's buttons, stays queued: the
    // request is unexpected, and an answer left unused fails the test as well.
    std::vector<MsgResult> answers;
    std::string file;
    auto failures = FailuresOf([&] {
        DialogScript script;
        script->PushFile("/tmp/a.hex");
        script->PushAnswer(MsgResult::Yes);
        answers.push_back(ShowMessageBox(0, "Файл?", "", MsgIcon::None, MsgButtons::OKCancel));
        file = ShowFileDialog({}).fileName;
        answers.push_back(ShowMessageBox(0, "Готово", "", MsgIcon::None, MsgButtons::OK));
    });
    EXPECT_EQ(answers, (std::vector<MsgResult>{MsgResult::Cancel, MsgResult::OK}));
    EXPECT_EQ(file, "/tmp/a.hex");
    EXPECT_EQ(failures, (std::vector<std::string>{"Failed\nunexpected message box: \"\" \"Файл?\" -> Cancel",
                                                  "Failed\nunexpected message box: \"\" \"Готово\" -> OK",
                                                  "Failed\nunused message box answer Yes"}));
    // Nothing chosen, nothing entered, Cancel, and a wait window that stops at once.
    failures = FailuresOf([&] {
        DialogScript script;
        EXPECT_FALSE(ShowFileDialog({}).accepted);
        EXPECT_EQ(ShowInputQuery({}), std::nullopt);
        EXPECT_EQ(ShowForm({}), MsgResult::Cancel);
        EXPECT_TRUE(ShowWaitWindow({})->StopPressed());
    });
    EXPECT_EQ(failures.size(), 4u);
}

namespace {

struct AddressModel : FormModel {
    std::string FormName() const override { return "TfmMemArea"; }
    uint32_t start = 0;
    uint32_t size = 0;
};

} // namespace

TEST(ScriptedDialogs, FormHandlersEditTheModel)
{
    DialogScript script;
    script->PushForm([](FormModel& model) {
        auto& m = dynamic_cast<AddressModel&>(model);
        m.start = 0x80000000;
        m.size = 4096;
        return MsgResult::OK;
    });
    script->PushForm([](FormModel& model) {
        dynamic_cast<AddressModel&>(model).size = 1;
        return MsgResult::Cancel;
    });
    AddressModel model;
    EXPECT_EQ(ShowForm({0x10005, &model, {}}), MsgResult::OK);
    EXPECT_EQ(model.start, 0x80000000u);
    EXPECT_EQ(model.size, 4096u);
    EXPECT_EQ(ShowForm({0, &model, {}}), MsgResult::Cancel);
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].form, "TfmMemArea");
    EXPECT_EQ(records[0].owner, 0x10005u);
}

TEST(ScriptedDialogs, WaitWindowStopsAfterItsPolls)
{
    DialogScript script;
    script->PushWaitWindow(2);
    script->PushWaitWindow(-1);
    WaitWindowRequest request{0, "Oжидание перезагрузки", "", "Остановить", "Если не используется скрипт"};
    auto window = ShowWaitWindow(request);
    EXPECT_FALSE(window->StopPressed());
    EXPECT_FALSE(window->StopPressed());
    EXPECT_TRUE(window->StopPressed());
    EXPECT_TRUE(window->StopPressed());
    window->Close();
    auto patient = ShowWaitWindow(request);
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(patient->StopPressed());
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].wait.caption, "Oжидание перезагрузки");
    EXPECT_EQ(records[0].wait.stopHint, "Если не используется скрипт");
}

TEST(ScriptedDialogs, CallsFromSeveralThreads)
{
    DialogScript script;
    constexpr int threads = 6, each = 50;
    for (int i = 0; i < threads * each; ++i)
        script->PushAnswer(i % 2 ? MsgResult::Yes : MsgResult::No);
    std::vector<std::thread> workers;
    std::atomic<int> yes{0};
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < each; ++i)
                if (ShowMessageBox(0, std::to_string(t), "", MsgIcon::None, MsgButtons::YesNo) == MsgResult::Yes)
                    ++yes;
        });
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(yes, threads * each / 2);
    EXPECT_EQ(script->Records().size(), size_t(threads * each));
}

TEST(Dialogs, WithoutAServiceNothingIsShown)
{
    auto before = SetDialogService(nullptr);
    EXPECT_EQ(ShowMessageBox(0, "?", "", MsgIcon::None, MsgButtons::YesNoCancel), MsgResult::Cancel);
    EXPECT_FALSE(ShowFileDialog({}).accepted);
    EXPECT_TRUE(ShowWaitWindow({})->StopPressed());
    SetDialogService(before);
}

TEST(Dialogs, DefaultExtension)
{
    struct Case {
        const char* chosen;
        const char* defaultExt;
        const char* result;
    };
    const Case cases[] = {
        {"file", "hex", "file.hex"},
        {"/home/u/dir.v2/file", "hex", "/home/u/dir.v2/file.hex"},
        {"dir.v2/file", ".hex", "dir.v2/file.hex"},
        {"file.txt", "hex", "file.txt"},
        {"/a/b.c/file.tar.gz", "hex", "/a/b.c/file.tar.gz"},
        {"file", "", "file"},
        {"", "hex", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplyDefaultExt(c.chosen, c.defaultExt), c.result) << c.chosen;
        // The common front applies it for every service.
        DialogScript script;
        script->PushFile(c.chosen);
        FileDialogRequest request;
        request.defaultExt = c.defaultExt;
        request.filterIndex = 3;
        const auto answer = ShowFileDialog(request);
        EXPECT_EQ(answer.fileName, c.result);
        EXPECT_EQ(answer.filterIndex, 3);
    }
}

TEST(Dialogs, FilterStrings)
{
    struct Case {
        const char* filter;
        std::vector<FileFilter> parsed;
    };
    const Case cases[] = {
        {"Файлы прошивок|*.a90;*.a82|Hex файлы|*.hex|Все файлы|*.*",
         {{"Файлы прошивок", {"*.a90", "*.a82"}}, {"Hex файлы", {"*.hex"}}, {"Все файлы", {"*.*"}}}},
        {"csv формат (*.csv)|*.csv|All files (*.*)|*.*", {{"csv формат (*.csv)", {"*.csv"}}, {"All files (*.*)", {"*.*"}}}},
        {"Скрипты|*.txt; *.scr|Без шаблона", {{"Скрипты", {"*.txt", "*.scr"}}}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseFileFilter(c.filter), c.parsed) << c.filter;
    const auto firmware = ParseFileFilter(cases[0].filter);
    EXPECT_EQ(firmware[2 - 1].description, "Hex файлы");

    struct Match {
        const char* name;
        std::vector<std::string> patterns;
        bool matches;
    };
    const Match matches[] = {
        {"FW.A90", {"*.a90", "*.a82"}, true},
        {"fw.a82", {"*.A90", "*.A82"}, true},
        {"fw.hex", {"*.a90", "*.a82"}, false},
        {"ПАРАМЕТРЫ.HEX", {"параметры.*"}, true},
        {"README", {"*.*"}, true},
        {"a1c.txt", {"a?c.*"}, true},
        {"abbc.txt", {"a?c.*"}, false},
        {"x.hex.bak", {"*.hex"}, false},
    };
    for (const Match& m : matches)
        EXPECT_EQ(MatchesFileFilter(m.name, m.patterns), m.matches) << m.name;
}

TEST(Dialogs, LineBreaks)
{
    EXPECT_EQ(NormalizeLineBreaks("Значение\rИспользовать значение по умолчанию?"),
              "Значение\nИспользовать значение по умолчанию?");
    EXPECT_EQ(NormalizeLineBreaks("a\r\nb\nc\r\r\nd\r"), "a\nb\nc\n\nd\n");
}
