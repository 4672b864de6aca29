#include "platform/Atoms.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

std::string Name(ATOM atom)
{
    std::string text = "<none>";
    GetAtomName(atom, text);
    return text;
}

std::string Cyrillic(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += "Ж";
    return s;
}

} // namespace

TEST(Atoms, SameTextSharesOneAtomWithReferences)
{
    const ATOM a = AddAtom("Считывание параметров");
    const ATOM b = AddAtom("Считывание параметров");
    ASSERT_NE(a, 0);
    EXPECT_EQ(a, b);
    EXPECT_GE(a, kFirstAtom);
    EXPECT_TRUE(DeleteAtom(a));
    EXPECT_EQ(Name(a), "Считывание параметров");
    EXPECT_TRUE(DeleteAtom(a));
    std::string untouched = "x";
    EXPECT_FALSE(GetAtomName(a, untouched));
    EXPECT_EQ(untouched, "x");
    EXPECT_FALSE(DeleteAtom(a));
}

TEST(Atoms, TextsAreMatchedExactly)
{
    const ATOM upper = AddAtom("Ошибка COM1");
    const ATOM lower = AddAtom("ошибка com1");
    ASSERT_NE(upper, 0);
    ASSERT_NE(lower, 0);
    EXPECT_NE(upper, lower);
    EXPECT_EQ(Name(upper), "Ошибка COM1");
    EXPECT_EQ(Name(lower), "ошибка com1");
    // A leading "#" is no number.
    const ATOM version = AddAtom("#Версия: 1.2");
    EXPECT_EQ(Name(version), "#Версия: 1.2");
    for (ATOM a : {upper, lower, version})
        EXPECT_TRUE(DeleteAtom(a));
}

TEST(Atoms, LengthCountsCharacters)
{
    const ATOM longest = AddAtom(Cyrillic(255)); // 510 bytes
    ASSERT_NE(longest, 0);
    EXPECT_EQ(Name(longest), Cyrillic(255));
    EXPECT_TRUE(DeleteAtom(longest));
    EXPECT_EQ(AddAtom(Cyrillic(256)), 0);
    EXPECT_EQ(AddAtom(std::string(256, 'a')), 0);
    EXPECT_EQ(AddAtom(""), 0);
}

TEST(Atoms, UnknownAtomsFail)
{
    std::string text;
    EXPECT_FALSE(GetAtomName(0, text));
    EXPECT_FALSE(GetAtomName(1, text));
    EXPECT_FALSE(GetAtomName(0xBFFF, text));
    EXPECT_FALSE(DeleteAtom(0));
}

TEST(Atoms, FullTableGivesZero)
{
    std::vector<ATOM> atoms;
    for (size_t i = 0; i <= size_t(kLastAtom) - kFirstAtom; ++i) {
        const ATOM a = AddAtom("atom " + std::to_string(i));
        ASSERT_NE(a, 0) << i;
        atoms.push_back(a);
    }
    EXPECT_EQ(std::set<ATOM>(atoms.begin(), atoms.end()).size(), atoms.size());
    EXPECT_EQ(AddAtom("one more"), 0);
    // A text that is in the table still gets its atom, with one more reference.
    EXPECT_EQ(AddAtom("atom 7"), atoms[7]);
    EXPECT_TRUE(DeleteAtom(atoms[7]));
    EXPECT_TRUE(DeleteAtom(atoms[100]));
    const ATOM again = AddAtom("one more");
    EXPECT_EQ(again, atoms[100]);
    EXPECT_EQ(Name(again), "one more");
    EXPECT_EQ(AddAtom("and another"), 0);
    for (ATOM a : atoms)
        EXPECT_TRUE(DeleteAtom(a));
}

TEST(Atoms, ConcurrentAddAndDelete)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                // Half the texts are shared by all threads, half are the thread's own.
                const std::string text = (i % 2 ? "shared " : "own " + std::to_string(t) + " ") + std::to_string(i % 50);
                const ATOM a = AddAtom(text);
                std::string back;
                if (a == 0 || !GetAtomName(a, back) || back != text || !DeleteAtom(a))
                    ++failures[t];
            }
        });
    }
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(failures[t], 0) << t;
    std::string text;
    for (ATOM a = kFirstAtom;; ++a) {
        EXPECT_FALSE(GetAtomName(a, text)) << "left: " << text;
        if (a == kLastAtom)
            break;
    }
}
