#include "configurator/core/MessageLog.h"
#include "configurator/core/StatusHint.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// A clock that gives the times queued, one per line.
struct FakeClock {
    std::vector<TLogTime> times;
    size_t next = 0;
    TLogTime operator()() { return times.at(next++); }
};

TEST(MessageLog, StampsNewestFirstAndCopiesInListOrder)
{
    auto clock = std::make_shared<FakeClock>();
    clock->times = {{3, 7, 9, 5, 1, 42}, {31, 12, 23, 59, 59, 999}};
    TMessageLog log([clock] { return (*clock)(); });

    log.AddLine("Не найдена библиотека libSarnupolexLib.so", 0);
    log.Add("Открытие файла параметров - /tmp/a.hex", 0);
    log.Add("Ошибка  с двумя пробелами", 1);

    ASSERT_EQ(log.Count(), 3);
    EXPECT_EQ(log.Line(0), "31.12 23:59:59.999  Ошибка  с двумя пробелами");
    EXPECT_EQ(log.Entry(0).Kind, 1);
    EXPECT_EQ(log.Line(1), "03.07 09:05:01.042  Открытие файла параметров - /tmp/a.hex");
    EXPECT_EQ(log.Line(2), "Не найдена библиотека libSarnupolexLib.so");

    // The stamp is drawn up to its first blank; a line without one entirely in its colour.
    EXPECT_EQ(log.Line(0).substr(0, log.Entry(0).StampLength()), "31.12 23:59:59.999 ");
    EXPECT_EQ(log.Entry(2).StampLength(), 0u);

    // Copy: list order whatever the selection order, each line with CR LF.
    EXPECT_EQ(log.CopyText({2, 0, 2, 7}),
              "31.12 23:59:59.999  Ошибка  с двумя пробелами\r\nНе найдена библиотека libSarnupolexLib.so\r\n");
    EXPECT_EQ(log.CopyText({}), "");

    log.Delete({0, 2, -1, 5});
    ASSERT_EQ(log.Count(), 1);
    EXPECT_EQ(log.Entry(0).Text, "Открытие файла параметров - /tmp/a.hex");
    log.Clear();
    EXPECT_EQ(log.Count(), 0);
}

TEST(MessageLog, LocalClockGivesAWellFormedStamp)
{
    const std::string stamp = FormatLogTimeStamp(LocalLogTime());
    ASSERT_EQ(stamp.size(), 20u);
    EXPECT_EQ(stamp[2], '.');
    EXPECT_EQ(stamp[5], ' ');
    EXPECT_EQ(stamp[8], ':');
    EXPECT_EQ(stamp[14], '.');
    EXPECT_EQ(stamp.substr(18), "  ");
}

TEST(StatusHint, HintThenLastingTextThenReady)
{
    const std::tuple<bool, const char*, const char*, std::optional<std::string>> cases[] = {
        {false, "Открыть файл параметров", "#чтение", "Открыть файл параметров"},
        {false, "", "Чтение параметров", "Чтение параметров"},
        {false, "", "", "Готов"},
        {true, "Открыть файл параметров", "", std::nullopt}, // a busy progress display keeps its text
    };
    for (const auto& [busy, hint, lasting, expected] : cases)
        EXPECT_EQ(ShowHintInStatusBar(busy, hint, lasting), expected) << hint << "|" << lasting;
}

} // namespace
