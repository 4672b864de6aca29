#include "common/StrRoutines.h"

#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct GetCase {
    const char* params;
    const char* key;
    const char* expected;
};

TEST(StrRoutines, GetParam)
{
    const GetCase cases[] = {
        {"Name=Dev 1;Speed = 5", "speed", ""},        // "speed=" is not "Speed ="
        {"A=;B=2", "A", ""},
        {"A= x", "A", "x"},
        {"TCPPort=10001", "Port", ""},                 // only where a pair begins
        {"TCPPort=10001", "tcpport", "10001"},
        {"Name=x udp=1;UDP=0", "UDP", "0"},
        {"Name=Подстанция udp=1", "UDP", ""},
        {"OPCode=0; Caption=Считать параметры", "caption", "Считать параметры"},
        {"OPCode=0;\t\r\nCaption=X", "Caption", "X"},
        {"A=1;B=2", "B", "2"},                          // last pair, no ";" behind
        {"A=\t 7 \r\n;B=2", "A", "7"},
        {" \tA=3", "a", "3"},
        {"a=1;A=2", "A", "1"},                          // the first pair wins
        {"A=x=y;B=1", "A", "x=y"},
        {"ИМЯ=Пункт Один", "имя", "Пункт Один"},
        {"Ёлка=1", "ёЛКА", "1"},
        {"ҐАНОК=2", "ґанок", "2"},
        {"ЂЃЄЅІЇЈЉЊЋЌЎЏ=3", "ђѓєѕіїјљњћќўџ", "3"},
        {"", "A", ""},
        {"A", "A", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetParam(c.params, c.key), c.expected) << c.params << " / " << c.key;
}

struct SetCase {
    const char* params;
    const char* key;
    const char* value;
    bool deleteEmpty;
    const char* expected;
};

TEST(StrRoutines, SetParam)
{
    const SetCase cases[] = {
        {"", "A", "1", true, "A=1"},
        {"B=2", "A", "1", true, "B=2;A=1"},
        {"B=2;", "A", "1", true, "B=2;A=1"},
        {"A=1;B=2", "a", "5", true, "A=5;B=2"},
        {"A=1;B=2", "A", "", true, "B=2"},
        {"A=1;B=2", "B", "", true, "A=1;"},
        {"A=1", "A", "", true, ""},
        {"A=1;B=2", "A", "", false, "A=;B=2"},
        {"A=;B=2", "A", "5", true, "A=5;B=2"},          // an empty value is filled too
        {"TCPPort=10001", "Port", "7", true, "TCPPort=10001;Port=7"},
        {"Name=x udp=1;UDP=0", "UDP", "1", true, "Name=x udp=1;UDP=1"},
        {"Name=x udp=1", "UDP", "1", true, "Name=x udp=1;UDP=1"},
        {"A=1; B= 2 ;C=3", "b", "4", true, "A=1; B=4;C=3"},
        {"B=2", "Name", "Ёлка", true, "B=2;Name=Ёлка"},
        {"ИМЯ=а;B=2", "имя", "Б", true, "ИМЯ=Б;B=2"},
        {"B=2", "A", "", true, "B=2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SetParam(c.params, c.key, c.value, c.deleteEmpty), c.expected)
            << c.params << " / " << c.key << " := " << c.value;
}

TEST(StrRoutines, SplitString)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a;;b", {"a", "", "b"}},
        {"a;b;", {"a", "b"}},
        {"", {}},
        {";", {""}},
        {"Один;Два", {"Один", "Два"}},
    };
    for (const auto& [text, parts] : cases) EXPECT_EQ(SplitString(';', text), parts) << text;

    // A device list keeps the index of every line, an empty one too.
    EXPECT_EQ(SplitString('\n', "Name=Dev 1;Port=COM1\n\nName=Dev 3;TCPIP=10.0.0.1\n"),
              (std::vector<std::string>{"Name=Dev 1;Port=COM1", "", "Name=Dev 3;TCPIP=10.0.0.1"}));
}

TEST(StrRoutines, SafeFileName)
{
    const std::string unsafe = ":;*/\\?.~`!@$%^&()[]{}\"'<>";
    ASSERT_EQ(unsafe.size(), 25u);
    EXPECT_EQ(SafeFileName(unsafe), "");
    const std::string kept = " 0123456789azAZ#,+=-_|ЯяЁ";
    EXPECT_EQ(SafeFileName(kept), kept);
    EXPECT_EQ(SafeFileName("Script:1.txt"), "Script1txt");
    EXPECT_EQ(SafeFileName("Пункт №1 (резерв)"), "Пункт №1 резерв");
}

TEST(StrRoutines, PathsAndCharacters)
{
    EXPECT_EQ(RemoveExtension("fw.old.hex"), "fw.old");
    EXPECT_EQ(RemoveExtension("noext"), "noext");
    EXPECT_EQ(RemoveExtension("dir.v2/file"), "dir");  // a full stop in a folder counts
    EXPECT_EQ(RemoveExtension(".hex"), "");
    EXPECT_EQ(RemoveExtension(""), "");

    EXPECT_EQ(LastCharPos('.', "a.b.c"), 4u);
    EXPECT_EQ(LastCharPos('a', "a"), 1u);
    EXPECT_EQ(LastCharPos('x', "abc"), 0u);
    EXPECT_EQ(LastCharPos('.', ""), 0u);
    EXPECT_EQ(LastCharPos('.', "Дом.txt"), 7u);  // a byte position

    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"a-b_c", "-_", "", "abc"},
        {"a-b", "-", "==", "a==b"},
        {"", "x", "y", ""},
        {"abc", "", "y", "abc"},
        {"Дом№5", "№", "N", "ДомN5"},
        {"ДаДа", "а", "", "ДД"},
        {"a\xFF" "b", "\xEF\xBF\xBD", "?", "a\xFF" "b"},  // a malformed byte is no U+FFFD
    };
    for (const auto& [s, set, repl, expected] : cases) EXPECT_EQ(ReplaceChars(s, set, repl), expected) << s;
}

// Every letter pair of Windows-1251 folds, checked against the C library's Unicode case
// mapping; characters outside that code page stay as they are.
TEST(StrRoutines, AnsiCaseFolding)
{
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    ASSERT_NE(utf8, locale_t(0));
    int folded = 0;
    for (int b = 0; b < 256; ++b) {
        const char32_t ch = platform::ByteToChar(static_cast<uint8_t>(b), platform::CodePage::Ansi);
        char32_t expected = static_cast<char32_t>(towlower_l(static_cast<wint_t>(ch), utf8));
        if (platform::CharToByte(expected, platform::CodePage::Ansi) < 0) expected = ch;
        if (expected != ch) ++folded;
        std::string in, out;
        platform::AppendUtf8(in, ch);
        platform::AppendUtf8(out, expected);
        EXPECT_EQ(AnsiLowerCase(in), out) << "byte " << b;
    }
    EXPECT_EQ(folded, 26 + 32 + 15);  // ASCII, А-Я, Ё and the fourteen others
    freelocale(utf8);

    for (const char* other : {"Ѐ", "Ѝ", "Α", "Ā", "Ӂ", "Ω", "ß", "€", "😀", "ё", "z"})
        EXPECT_EQ(AnsiLowerCase(other), other) << other;

    // Malformed UTF-8 keeps its bytes and its length.
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::string s(rng() % 12, '\0');
        for (auto& c : s) c = static_cast<char>(rng() % 3 == 0 ? 0xD0 + rng() % 3 : rng() % 256);
        const std::string lower = AnsiLowerCase(s);
        ASSERT_EQ(lower.size(), s.size());
        EXPECT_EQ(AnsiLowerCase(lower), lower);
    }
}

// Letters to build keys and values from, each with its other case.
const std::pair<const char*, const char*> kLetters[] = {
    {"a", "A"}, {"q", "Q"}, {"z", "Z"}, {"1", "1"}, {"_", "_"}, {"я", "Я"}, {"ё", "Ё"},
    {"ґ", "Ґ"}, {"ў", "Ў"}, {"ж", "Ж"}, {"ї", "Ї"}, {"-", "-"},
};

std::string RandomWord(std::mt19937& rng, size_t minLength)
{
    std::string s;
    const size_t n = minLength + rng() % 5;
    for (size_t i = 0; i < n; ++i) s += kLetters[rng() % std::size(kLetters)].first;
    return s;
}

// The same word with each letter in a random case.
std::string RandomCase(std::mt19937& rng, const std::string& word)
{
    std::string out;
    for (size_t pos = 0; pos < word.size();) {
        for (const auto& [lower, upper] : kLetters) {
            const std::string_view l(lower);
            if (word.compare(pos, l.size(), l) == 0) {
                out += (rng() % 2) ? upper : lower;
                pos += l.size();
                break;
            }
        }
    }
    return out;
}

std::string RandomValue(std::mt19937& rng)
{
    // Blanks and "=" inside, never outside; no ";".
    std::string v = RandomWord(rng, 1);
    const int inner = static_cast<int>(rng() % 3);
    for (int i = 0; i < inner; ++i) v += std::string(rng() % 2 ? " " : "=") + RandomWord(rng, 1);
    return v;
}

TEST(StrRoutines, RandomRoundTrip)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::pair<std::string, std::string>> pairs;  // keys in lower case here
        bool trailingSeparator = false;
        std::string params;
        for (int step = 0; step < 30; ++step) {
            size_t index = pairs.size();
            std::string key;
            if (!pairs.empty() && rng() % 2) {
                index = rng() % pairs.size();
                key = AnsiLowerCase(pairs[index].first);
            } else {
                key = RandomWord(rng, 1);
                for (size_t i = 0; i < pairs.size(); ++i)
                    if (AnsiLowerCase(pairs[i].first) == key) index = i;
            }
            const bool remove = index < pairs.size() && rng() % 5 == 0;
            const std::string value = remove ? std::string() : RandomValue(rng);
            params = SetParam(params, RandomCase(rng, key), value, true);

            if (remove) {
                if (index + 1 == pairs.size()) trailingSeparator = index > 0 || trailingSeparator;
                pairs.erase(pairs.begin() + static_cast<long>(index));
                if (pairs.empty()) trailingSeparator = false;
            } else if (index < pairs.size()) {
                pairs[index].second = value;
            } else {
                // Appending keeps the caller's spelling: remember the one in the string.
                const size_t eq = params.rfind('=', params.size() - value.size() - 1);
                const size_t semi = params.rfind(';', eq);
                const size_t keyStart = semi == std::string::npos ? 0 : semi + 1;
                pairs.emplace_back(params.substr(keyStart, eq - keyStart), value);
                trailingSeparator = false;
            }

            // The string is exactly the pairs in their order: nothing else moved.
            std::string expected;
            for (size_t i = 0; i < pairs.size(); ++i)
                expected += (i ? ";" : "") + pairs[i].first + "=" + pairs[i].second;
            if (trailingSeparator) expected += ";";
            ASSERT_EQ(params, expected) << "round " << round << " step " << step;
            for (const auto& [k, v] : pairs) ASSERT_EQ(GetParam(params, RandomCase(rng, AnsiLowerCase(k))), v);
        }
    }
}

TEST(StrRoutines, MalformedStringsStayInside)
{
    const char* pieces[] = {";", "=", " ", "\t", "a", "A", "\xD0", "\x90", "\xD2", "\xFF", "б", "Б", ";;", "=="};
    std::mt19937 rng(99);
    for (int i = 0; i < 5000; ++i) {
        std::string params, key;
        for (unsigned n = rng() % 16; n > 0; --n) params += pieces[rng() % std::size(pieces)];
        for (unsigned n = rng() % 3; n > 0; --n) key += pieces[4 + rng() % 8];
        const std::string got = GetParam(params, key);
        EXPECT_NE(params.find(got), std::string::npos);
        SetParam(params, key, "", true);
        SetParam(params, key, "", false);
        // A letter key written into any string reads back.
        const std::string letterKey = rng() % 2 ? "a" : "Б";
        const std::string written = SetParam(params, letterKey, "v x", true);
        EXPECT_EQ(GetParam(written, letterKey), "v x") << params;
        SplitString(';', params);
        RemoveExtension(params);
        SafeFileName(params);
    }
}

} // namespace
