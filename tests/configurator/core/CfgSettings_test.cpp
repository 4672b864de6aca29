#include "configurator/core/CfgSettings.h"
#include "platform/ProgramDir.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

TEST(CfgSettings, MissingFileGivesDefaultsAndTheFileLivesInTheProgramFolder)
{
    TempDir dir;
    ScopedEnv env(platform::kProgramDirVariable, dir.path().string());
    EXPECT_EQ(CfgIniFileName(), dir / "Mirvak.ini");

    const TCfgSettings s = LoadCfgSettings(CfgIniFileName());
    EXPECT_FALSE(s.HasPlacement);
    EXPECT_EQ(s.TreeWidth, 200);
    EXPECT_FALSE(s.HasTreeWidth); // the window then fits the tree pane to its captions
    EXPECT_EQ(s.MsgHeight, 100);
    EXPECT_EQ(s.SelHUB, 0);
    EXPECT_EQ(s.LastParamFile, "");
    EXPECT_EQ(s.LastDevice, 0);
}

TEST(CfgSettings, WritesInOrderKeepsOtherLinesAndReadsBack)
{
    TempDir dir;
    const auto file = dir / "Mirvak.ini";
    // Another writer's comment and key, and keys of ours in other letter case.
    WriteFile(file, "; kept\r\n[cfg]\r\ntreewidth=1\r\nOwn=x\r\n");

    TCfgSettings s;
    s.Placement = {{-5000, 40, 800, 600}, true};
    s.LastDevice = 3;
    s.TreeWidth = 250;
    s.MsgHeight = 120;
    s.SelHUB = 17;
    s.LastParamFile = "/home/u/Конфиги, старые/a;b \"c\".hex";
    SaveCfgSettings(file, s, true);

    EXPECT_EQ(ReadFile(file),
              "; kept\r\n"
              "[cfg]\r\n"
              "treewidth=250\r\n"
              "Own=x\r\n"
              "MsgHeight=120\r\n"
              "SelHUB=17\r\n"
              "LastParamFile=/home/u/\xCA\xEE\xED\xF4\xE8\xE3\xE8, \xF1\xF2\xE0\xF0\xFB\xE5/a;b \"c\".hex\r\n"
              "\r\n"
              "[Placement]\r\n"
              "Left=-5000\r\n"
              "Top=40\r\n"
              "Width=800\r\n"
              "Height=600\r\n"
              "Maximized=1\r\n"
              "\r\n"
              "[Autosave]\r\n"
              "LastDevice=3\r\n");

    const TCfgSettings r = LoadCfgSettings(file);
    EXPECT_TRUE(r.HasPlacement);
    EXPECT_EQ(r.Placement.Normal.Left, -5000);
    EXPECT_EQ(r.Placement.Normal.Height, 600);
    EXPECT_TRUE(r.Placement.Maximized);
    EXPECT_EQ(r.LastDevice, 3);
    EXPECT_EQ(r.TreeWidth, 250);
    EXPECT_TRUE(r.HasTreeWidth);
    EXPECT_EQ(r.SelHUB, 17);
    EXPECT_EQ(r.LastParamFile, s.LastParamFile); // a comma is no list separator

    // Without the loader's device list, LastDevice is not written.
    TempDir other;
    SaveCfgSettings(other / "Mirvak.ini", TCfgSettings{}, false);
    EXPECT_EQ(ReadFile(other / "Mirvak.ini").find("Autosave"), std::string::npos);
}

TEST(CfgSettings, PathsTheFileCannotCarryAreStoredEmpty)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/Параметры/a.hex", "/tmp/Параметры/a.hex"},
        {"/tmp/Müller/a.hex", ""},       // no ü in Windows-1251: never "?"
        {"/tmp/a\nb.hex", ""},           // would end the line
        {"/tmp/a.hex ", ""},             // blanks at the ends are trimmed on reading
        {"", ""},
    };
    for (const auto& [path, stored] : cases) EXPECT_EQ(StorableParamFile(path), stored) << path;

    TempDir dir;
    TCfgSettings s;
    s.LastParamFile = "/tmp/Müller/a.hex";
    SaveCfgSettings(dir / "Mirvak.ini", s, false);
    EXPECT_EQ(LoadCfgSettings(dir / "Mirvak.ini").LastParamFile, "");
}

TEST(CfgSettings, RestoredPlacementComesBackOnScreen)
{
    const TScreenRect area{0, 30, 1920, 1050}; // the primary screen without its panel
    struct Case {
        TScreenRect in;
        TScreenRect out;
    };
    const Case cases[] = {
        {{100, 50, 800, 600}, {100, 50, 800, 600}},     // on screen: unchanged
        {{-5000, 50, 800, 600}, {560, 50, 800, 600}},   // centred, top kept
        {{3000, 50, 800, 600}, {560, 50, 800, 600}},    // beyond the virtual width
        {{-1, 5000, 800, 600}, {560, 255, 800, 600}},   // top off screen too: centred
        {{10, 10, 800, 100}, {10, 10, 800, 300}},       // below the minimum height
    };
    for (const Case& c : cases) {
        const TWindowPlacement p = FixRestoredPlacement({c.in, false}, 2560, area, 300);
        EXPECT_EQ(p.Normal.Left, c.out.Left) << c.in.Left;
        EXPECT_EQ(p.Normal.Top, c.out.Top) << c.in.Left;
        EXPECT_EQ(p.Normal.Width, c.out.Width) << c.in.Left;
        EXPECT_EQ(p.Normal.Height, c.out.Height) << c.in.Left;
    }
}

} // namespace
