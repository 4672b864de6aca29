// The texts of system errors: the C library's Russian translations whatever the process
// locale, and the system part of a std::system_error put into them.

#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <filesystem>
#include <future>
#include <ios>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

using platform::ErrorText;
using platform::SysErrorMessage;

// The tests run in the "C" locale, as the program does: the texts still come in Russian
// (the set-up makes ru_RU.UTF-8; without it this fails).
TEST(SysErrorMessage, GivesTheCLibrarysRussianText)
{
    ASSERT_STREQ(std::setlocale(LC_MESSAGES, nullptr), "C");
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {ENOENT, "Нет такого файла или каталога"},
        {EBUSY, "Устройство или ресурс занято"},
        {EACCES, "Отказано в доступе"},
        {EIO, "Ошибка ввода/вывода"},
        {9999, "Неизвестная ошибка 9999"},
    };
    for (const auto& c : cases) EXPECT_EQ(SysErrorMessage(c.code), c.text) << c.code;
    // Each thread gets the same text; an unknown code's text is not overwritten by another's.
    std::string other;
    std::thread worker([&] { other = SysErrorMessage(9998); });
    const std::string mine = SysErrorMessage(9999);
    worker.join();
    EXPECT_EQ(mine, "Неизвестная ошибка 9999");
    EXPECT_EQ(other, "Неизвестная ошибка 9998");
}

TEST(SysErrorMessage, SystemErrorsShowTheRussianText)
{
    const std::error_code missing(ENOENT, std::generic_category());
    const struct {
        const char* name;
        std::exception_ptr error;
        std::string text;
    } cases[] = {
        {"system_error with a text", std::make_exception_ptr(std::system_error(missing, "/srv/fw")),
         "/srv/fw: Нет такого файла или каталога"},
        {"system category", std::make_exception_ptr(std::system_error(EBUSY, std::system_category())),
         "Устройство или ресурс занято"},
        {"filesystem_error",
         std::make_exception_ptr(std::filesystem::filesystem_error("cannot open", "/srv/fw", missing)),
         "filesystem error: cannot open: Нет такого файла или каталога [/srv/fw]"},
        // Other categories and other exceptions keep their own text.
        {"future category", std::make_exception_ptr(std::future_error(std::future_errc::no_state)),
         std::future_error(std::future_errc::no_state).what()},
        {"iostream category", std::make_exception_ptr(std::ios_base::failure("read", std::io_errc::stream)),
         std::ios_base::failure("read", std::io_errc::stream).what()},
        {"runtime_error", std::make_exception_ptr(std::runtime_error("No such file or directory")),
         "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            std::rethrow_exception(c.error);
        } catch (const std::exception& e) {
            EXPECT_EQ(ErrorText(e), c.text);
        }
        // What the error box shows.
        EXPECT_EQ(platform::ExceptionMessage(c.error), c.text);
    }
}
