#include "configurator/rules/PageRules.h"
#include "configurator/rules/PageTable.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using K = TControlKind;

std::string Refusal(const TPageTable& table)
{
    try {
        CheckPageTable(table);
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "";
}

TEST(PageTable, RefusesTablesThatCannotBeBuilt)
{
    const TPagePanel panels[] = {
        {.Name = "gbOne", .Kind = TPanelKind::Group},
        {.Name = "paRow", .Kind = TPanelKind::Row},
        {.Name = "gbInRow", .Kind = TPanelKind::Group, .Parent = "paRow"},
        {.Name = "gbInGroup", .Kind = TPanelKind::Group, .Parent = "gbOne"},
    };
    const TPageRow sound = {.Panel = "gbOne", .Name = "edA", .Kind = K::SpinEdit, .Key = "001", .Caption = "А"};
    struct Case {
        const char* name;
        std::vector<TPageRow> rows;
        size_t panels; // how many of the panels the table has
        const char* refusal;
    };
    const Case cases[] = {
        {"sound", {sound, {.Panel = "gbInRow", .Name = "chB", .Kind = K::CheckBox, .Key = "002", .Caption = "Б"}}, 3,
         ""},
        {"key twice", {sound, {.Panel = nullptr, .Name = "chB", .Kind = K::CheckBox, .Key = "001"}}, 3,
         "T: the key \"001\" is bound twice"},
        {"name twice", {sound, {.Panel = nullptr, .Name = "edA", .Kind = K::CheckBox, .Key = "002"}}, 3,
         "T: the name \"edA\" is given twice"},
        {"rows without keys may repeat none", {sound, {.Panel = nullptr, .Name = "chC", .Kind = K::CheckBox, .Key = nullptr},
                                               {.Panel = nullptr, .Name = "chD", .Kind = K::CheckBox, .Key = nullptr}}, 3, ""},
        {"unknown panel", {{.Panel = "gbNone", .Name = "edA", .Kind = K::SpinEdit, .Key = "001"}}, 3,
         "T: the panel \"gbNone\" is not in the table"},
        {"row in a row panel", {{.Panel = "paRow", .Name = "chA", .Kind = K::CheckBox, .Key = "001"}}, 3,
         "T: \"chA\" sits directly in the row panel \"paRow\""},
        {"caption without panel", {{.Panel = nullptr, .Name = "edA", .Kind = K::SpinEdit, .Key = nullptr, .Caption = "А"}}, 3,
         "T: \"edA\" has a caption but no panel"},
        {"panel in a group", {sound}, 4, "T: the panel \"gbInGroup\" is not inside a row panel of the page"},
        {"beside a captioned row", {sound, {.Panel = "gbOne", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Beside = true}},
         3, ""},
        {"beside nothing", {{.Panel = "gbOne", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Beside = true}}, 3,
         "T: \"cbU\" has no captioned row without a unit before it"},
        {"beside a row with a unit",
         {{.Panel = "gbOne", .Name = "edA", .Kind = K::SpinEdit, .Key = "001", .Caption = "А", .Unit = "мс"},
          {.Panel = "gbOne", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Beside = true}}, 3,
         "T: \"cbU\" has no captioned row without a unit before it"},
        {"beside a row of another panel",
         {sound, {.Panel = "gbInRow", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Beside = true}}, 3,
         "T: \"cbU\" has no captioned row without a unit before it"},
        {"beside a row beside another",
         {sound, {.Panel = "gbOne", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Beside = true},
          {.Panel = "gbOne", .Name = "cbV", .Kind = K::ComboBox, .Key = "003", .Beside = true}}, 3,
         "T: \"cbV\" has no captioned row without a unit before it"},
        {"beside with a caption",
         {sound, {.Panel = "gbOne", .Name = "cbU", .Kind = K::ComboBox, .Key = "002", .Caption = "Ед.", .Beside = true}}, 3,
         "T: \"cbU\" sits beside a row and has a caption"},
    };
    for (const Case& c : cases) {
        const TPageTable table{"T", std::span(panels, c.panels), c.rows};
        EXPECT_EQ(Refusal(table), c.refusal) << c.name;
    }
}

// What a table makes, in layout order, with the panel that holds each.
TEST(PageTable, ControlsInLayoutOrder)
{
    const TPagePanel panels[] = {
        {.Name = "paRow", .Kind = TPanelKind::Row},
        {.Name = "gbLeft", .Kind = TPanelKind::Group, .Title = "Слева", .Parent = "paRow"},
    };
    const TPageRow rows[] = {
        {.Panel = nullptr, .Name = "chTop", .Kind = K::CheckBox, .Key = "001", .Caption = "Сверху"},
        {.Panel = "gbLeft", .Name = "edTime", .Kind = K::SpinEdit, .Key = "002", .Caption = "Время", .Unit = "мс"},
        {.Panel = "gbLeft", .Name = "cb003", .Kind = K::ComboBox, .Key = "003"},
    };
    std::vector<std::string> made;
    for (const TPageControlName& c : PageTableControls({"T", panels, rows}))
        made.push_back(c.Name + "@" + (c.Group ? c.Group : ""));
    EXPECT_EQ(made, (std::vector<std::string>{"chTop@", "paRow@", "gbLeft@paRow", "lbTime@gbLeft", "edTime@gbLeft",
                                              "lbTimeUnit@gbLeft", "cb003@gbLeft"}));
    EXPECT_EQ(Refusal(PortPageTable()), "");
}

TEST(PageTable, KeptTextsStayAndAreKeptOnce)
{
    std::string made = "ed" + std::to_string(109);
    const char* kept = KeptText(made);
    made = "changed";
    EXPECT_STREQ(kept, "ed109");
    EXPECT_EQ(KeptText("ed109"), kept);
    EXPECT_NE(KeptText("ed110"), kept);
}

} // namespace
