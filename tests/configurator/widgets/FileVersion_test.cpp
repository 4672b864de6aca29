#include "configurator/widgets/FileVersion.h"
#include "configurator/widgets/StatusBar.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <vector>

namespace {

std::string Fixture(const std::string& name)
{
    return std::string(MIRVAK_BINARY_DIR) + "/tests/fixtures/" + name;
}

TEST(FileVersion, ShowVersionInStatusBar)
{
    qttest::App();
    const std::pair<const char*, const char*> cases[] = {
        {"version_program", "Версия 1.2.4.30"},
        {"version_program_debug", "Версия 1.2.4.30 (тестовая)"},
        {"libversion_lib_1_2_5_31.so", "Версия 1.2.5.31"},
        {"version_program_none", nullptr},
        {"no_such_file", nullptr},
    };
    for (const auto& [file, text] : cases) {
        SCOPED_TRACE(file);
        TStatusBar bar;
        bar.resize(700, 22);
        bar.show();
        std::string error = "0.0.0.0";
        ShowVersionInStatusBar(&bar, Fixture(file), error);
        EXPECT_EQ(error, "");
        if (!text) {
            EXPECT_EQ(bar.PanelCount(), 1);
            continue;
        }
        ASSERT_EQ(bar.PanelCount(), 2);
        EXPECT_EQ(bar.PanelText(1), QString::fromUtf8(text));
        EXPECT_EQ(bar.PanelWidth(0), 700 - bar.TextWidth(bar.PanelText(1)) - 25);
    }
}

TEST(FileVersion, PartsAndFlags)
{
    TFileVersionParts v;
    ASSERT_TRUE(GetFileVersionParts(Fixture("libversion_lib_flags.so"), v));
    EXPECT_EQ(std::vector<int>({v.Major, v.Minor, v.Release, v.Build}), std::vector<int>({65535, 0, 1, 65535}));
    EXPECT_FALSE(v.Debug);
    EXPECT_TRUE(v.Prerelease && v.PrivateBuild && v.SpecialBuild && v.IsDll);
    ASSERT_TRUE(GetFileVersionParts(Fixture("version_program_debug"), v));
    EXPECT_TRUE(v.Debug);
    EXPECT_FALSE(v.Prerelease || v.PrivateBuild || v.SpecialBuild || v.IsDll);
    EXPECT_FALSE(GetFileVersionParts(Fixture("version_program_none"), v));
}

struct FitCase {
    int barWidth;
    std::vector<int> leadingWidths;  // panels before the second-to-last one
    const char* lastText;
};

TEST(FileVersion, FitStatusPanels)
{
    qttest::App();
    const FitCase cases[] = {
        {800, {}, "Версия 1.1.2.273"},
        {600, {100}, "Версия 1.2.4.30 (тестовая)"},
        {500, {60, 70}, "x"},
        {900, {120, 30, 45}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.barWidth);
        TStatusBar bar;
        bar.resize(c.barWidth, 22);
        bar.show();
        bar.SetPanelWidth(0, c.leadingWidths.empty() ? 50 : c.leadingWidths[0]);
        for (size_t i = 1; i < c.leadingWidths.size(); ++i) bar.AddPanel("p", c.leadingWidths[i]);
        if (!c.leadingWidths.empty()) bar.AddPanel("текст", 50);
        bar.AddPanel(QString::fromUtf8(c.lastText), 50);
        FitStatusPanels(&bar);

        int others = 0;
        for (int w : c.leadingWidths) others += w;
        const int secondToLast = bar.PanelCount() - 2;
        const int last = bar.TextWidth(QString::fromUtf8(c.lastText));
        EXPECT_EQ(bar.PanelWidth(secondToLast), c.barWidth - last - others - 25);
        for (size_t i = 0; i < c.leadingWidths.size(); ++i)
            EXPECT_EQ(bar.PanelWidth(static_cast<int>(i)), c.leadingWidths[i]);

        // Fitted again on every resize.
        bar.resize(c.barWidth + 100, 22);
        QApplication::processEvents();
        EXPECT_EQ(bar.PanelWidth(secondToLast), c.barWidth + 100 - last - others - 25);
    }

    // A single panel is left as it is.
    TStatusBar single;
    single.resize(400, 22);
    single.SetPanelWidth(0, 77);
    FitStatusPanels(&single);
    EXPECT_EQ(single.PanelWidth(0), 77);
}

} // namespace
