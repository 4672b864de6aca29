#include "platform/ErrorDisplay.h"
#include "platform/Windows.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace platform;
using testsupport::DialogScript;

TEST(ErrorDisplay, ShowsAnErrorBoxCaptionedWithTheApplicationsTitle)
{
    EXPECT_EQ(ApplicationTitle(), "test_platform_ErrorDisplay_test");
    SetApplicationTitle("Mirvak");
    SetMainWindow(0x10077);
    DialogScript script;
    script->PushAnswer(MsgResult::OK);
    script->PushAnswer(MsgResult::OK);
    ShowException(std::make_exception_ptr(std::runtime_error("Больше максимума")));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].box.text, "Больше максимума");
    EXPECT_EQ(records[0].box.caption, "Mirvak");
    EXPECT_EQ(records[0].box.icon, MsgIcon::Error);
    EXPECT_EQ(records[0].box.buttons, MsgButtons::OK);
    EXPECT_EQ(records[0].owner, 0x10077u);
    EXPECT_EQ(records[1].box.text, "Неизвестная ошибка");
    SetMainWindow(0);
}

namespace {

struct RecordingDisplay : ErrorDisplay {
    void ShowException(std::exception_ptr error) noexcept override { messages.push_back(ExceptionMessage(error)); }
    std::vector<std::string> messages;
};

} // namespace

TEST(ErrorDisplay, GuardReportsToTheDisplayItIsGiven)
{
    DialogScript script; // nothing may reach the application's box
    RecordingDisplay library;
    int sum = 0;
    auto slot = Guarded([&](int a, int b) { sum = a + b; if (a < 0) throw std::invalid_argument("Не выбрано подключение"); },
                        &library);
    slot(2, 3);
    EXPECT_EQ(sum, 5);
    slot(-1, 0);
    // A callable that takes nothing ignores the signal's arguments.
    auto timer = Guarded([&] { throw std::runtime_error("Канал не пуст"); }, &library);
    timer(true);
    EXPECT_EQ(library.messages, (std::vector<std::string>{"Не выбрано подключение", "Канал не пуст"}));

    // Another application display replaces the box.
    RecordingDisplay application;
    ErrorDisplay* before = SetApplicationErrorDisplay(&application);
    EXPECT_TRUE(RunGuarded([] {}));
    Guarded([] { throw std::runtime_error("Соединение не установлено"); })();
    SetApplicationErrorDisplay(before);
    EXPECT_EQ(application.messages, (std::vector<std::string>{"Соединение не установлено"}));
}

TEST(ErrorDisplay, LastErrorTextBelongsToItsThread)
{
    platform::SetLastErrorText("Не выбрано подключение");
    std::string other = "unset";
    std::thread([&] {
        other = platform::LastErrorText();
        platform::SetLastErrorText("другая");
    }).join();
    EXPECT_EQ(other, "");
    EXPECT_EQ(platform::LastErrorText(), "Не выбрано подключение");
    platform::SetLastErrorText({});
    EXPECT_EQ(platform::LastErrorText(), "");
}
