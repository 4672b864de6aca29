#include "archive/HvoHashedStringList.h"
#include "platform/Exceptions.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

THvoHashedStringList Filled(std::initializer_list<const char*> strings, bool caseSensitive = false)
{
    THvoHashedStringList list;
    list.SetCaseSensitive(caseSensitive);
    for (const char* s : strings) list.Add(s);
    return list;
}

TEST(HvoHashedStringList, LooksUpAfterEachKindOfChange)
{
    // Filled before any lookup.
    THvoHashedStringList list = Filled({"abc", "Def", "ghi", "Жук", "abc"});
    EXPECT_EQ(list.IndexOf("def"), 1);
    EXPECT_EQ(list.IndexOf("ABC"), 4) << "equal strings: the highest index";
    EXPECT_EQ(list.IndexOf("жУК"), 3);
    EXPECT_EQ(list.IndexOf("xyz"), -1);

    // Appends after a lookup keep the index current.
    EXPECT_EQ(list.Add("new"), 5);
    EXPECT_EQ(list.IndexOf("NEW"), 5);

    // Put replaces the string in the index, also among equal strings.
    list.Put(4, "other");
    EXPECT_EQ(list.IndexOf("abc"), 0);
    EXPECT_EQ(list.IndexOf("other"), 4);
    list.Put(0, "first");
    EXPECT_EQ(list.IndexOf("abc"), -1);
    EXPECT_EQ(list.Get(0), "first");

    // Delete shifts the positions after it.
    list.Delete(0);
    EXPECT_EQ(list.IndexOf("Def"), 0);
    EXPECT_EQ(list.IndexOf("first"), -1);
    EXPECT_EQ(list.Count(), 5);

    list.Clear();
    EXPECT_EQ(list.IndexOf("Def"), -1);
    EXPECT_EQ(list.Add("Def"), 0);
    EXPECT_EQ(list.IndexOf("DEF"), 0);
}

TEST(HvoHashedStringList, CaseSensitiveListTakesStringsAsTheyAre)
{
    THvoHashedStringList list = Filled({"abc", "ABC"}, true);
    EXPECT_EQ(list.IndexOf("abc"), 0);
    EXPECT_EQ(list.IndexOf("ABC"), 1);
    EXPECT_EQ(list.IndexOf("Abc"), -1);
    list.SetCaseSensitive(false);
    EXPECT_EQ(list.IndexOf("Abc"), 1);
}

TEST(HvoHashedStringList, IndexOfNameMatchesTheWholeNamePart)
{
    THvoHashedStringList list = Filled({"name=1", "namex=2", "plain", "x=y=z", "NAME=3"});
    EXPECT_EQ(list.IndexOfName("namex"), 1);
    EXPECT_EQ(list.IndexOfName("nam"), -1);
    EXPECT_EQ(list.IndexOfName("x"), 3);
    EXPECT_EQ(list.IndexOfName("plain"), -1);
    EXPECT_EQ(list.IndexOfName("Name"), 4) << "the highest among equal names";
    list.Delete(4);
    EXPECT_EQ(list.IndexOfName("name"), 0);
    list.Add("late=1");
    EXPECT_EQ(list.IndexOfName("late"), 4);
    list.Put(0, "renamed=1");
    EXPECT_EQ(list.IndexOfName("name"), -1);
    EXPECT_EQ(list.IndexOfName("renamed"), 0);
}

TEST(HvoHashedStringList, GrowsItsIndexAndFindsEveryString)
{
    THvoHashedStringList list;
    EXPECT_EQ(list.IndexOf("none"), -1); // index made while small
    for (int i = 0; i < 6000; ++i) list.Add("dir/file" + std::to_string(i) + ".bin");
    for (int i = 0; i < 6000; ++i) ASSERT_EQ(list.IndexOf("DIR/FILE" + std::to_string(i) + ".BIN"), i);
    for (int i = 6000; i < 12000; ++i) list.Add("dir/file" + std::to_string(i) + ".bin");
    for (int i = 0; i < 12000; i += 7) ASSERT_EQ(list.IndexOf("dir/file" + std::to_string(i) + ".bin"), i);
}

TEST(HvoHashedStringList, RefusesIndexesOutsideTheList)
{
    THvoHashedStringList list = Filled({"a"});
    EXPECT_EQ(testsupport::MessageOf<platform::EListError>([&] { list.Delete(1); }), "List index out of bounds (1)");
    EXPECT_EQ(testsupport::MessageOf<platform::EListError>([&] { list.Put(-1, "x"); }), "List index out of bounds (-1)");
    EXPECT_EQ(testsupport::MessageOf<platform::EListError>([&] { (void)list.Get(5); }), "List index out of bounds (5)");
}

TEST(HvoStringHash, FindsTheNewestOfEqualKeys)
{
    THvoStringHash hash(7);
    hash.Add("k", 1);
    hash.Add("k", 2);
    hash.Add("j", 3);
    EXPECT_EQ(hash.ValueOf("k"), 2);
    hash.Remove("k");
    EXPECT_EQ(hash.ValueOf("k"), 1);
    hash.Add("k", 4);
    hash.Remove("k", 1);
    EXPECT_EQ(hash.ValueOf("k"), 4);
    hash.Remove("k");
    EXPECT_EQ(hash.ValueOf("k"), -1);
    hash.Clear();
    EXPECT_EQ(hash.ValueOf("j"), -1);
}

} // namespace
