#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <filesystem>
#include <sys/resource.h>

using namespace platform;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kSample =
    "; written by hand\r\n"
    "stray=before any section\r\n"
    "[Main]\r\n"
    "  Name = first  \r\n"
    "NAME=second\r\n"
    "Path=C:\\dir\\\"quoted\"; not a comment=x\r\n"
    "a line without equals\r\n"
    "\r\n"
    "[main]\r\n"
    "Other=in the second Main\r\n"
    "[\xD0\xE0\xE7\xE4\xE5\xEB]\r\n"    // [Раздел] in Windows-1251
    "\xCA\xEB\xFE\xF7=\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5\r\n"; // Ключ=значение

} // namespace

TEST(IniFile, ReadsWithProfileRules)
{
    TempDir dir;
    WriteFile(dir / "a.ini", kSample);
    MemIniFile ini(dir / "a.ini");

    // Names ignore case, blanks around names and values go, the first match wins.
    EXPECT_EQ(ini.ReadString("MAIN", "name", "?"), "first");
    EXPECT_FALSE(ini.ValueExists("Main", "Other"));
    // Nothing is escaped or stripped: the value is the rest of the line.
    EXPECT_EQ(ini.ReadString("Main", "path", "?"), "C:\\dir\\\"quoted\"; not a comment=x");
    // Lines before the first section and lines without '=' are not values.
    EXPECT_EQ(ini.ReadString("", "stray", "none"), "none");
    EXPECT_EQ(ini.ReadSection("Main"), (std::vector<std::string>{"Name", "Path"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "Раздел"}));
    // Cyrillic names ignore case too; values arrive as UTF-8.
    EXPECT_EQ(ini.ReadString("РАЗДЕЛ", "ключ", "?"), "значение");
    EXPECT_EQ(ini.ReadString("Missing", "Name", "dflt"), "dflt");
}

TEST(IniFile, WritingChangesOnlyItsLines)
{
    TempDir dir;
    WriteFile(dir / "a.ini", kSample);
    MemIniFile ini(dir / "a.ini");
    ini.WriteString("main", "NAME", "changed");      // first occurrence, its own spelling kept
    ini.WriteString("Main", "New", "v");             // after the section's last key
    ini.WriteInteger("Fresh", "Number", -5);         // a new section at the end
    ini.WriteString("Раздел", "Ключ", "другое");
    ini.UpdateFile();

    const std::string expected =
        "; written by hand\r\n"
        "stray=before any section\r\n"
        "[Main]\r\n"
        "Name=changed\r\n"
        "NAME=second\r\n"
        "Path=C:\\dir\\\"quoted\"; not a comment=x\r\n"
        "New=v\r\n"
        "a line without equals\r\n"
        "\r\n"
        "[main]\r\n"
        "Other=in the second Main\r\n"
        "[\xD0\xE0\xE7\xE4\xE5\xEB]\r\n"
        "\xCA\xEB\xFE\xF7=\xE4\xF0\xF3\xE3\xEE\xE5\r\n"
        "\r\n"
        "[Fresh]\r\n"
        "Number=-5\r\n";
    EXPECT_EQ(ReadFile(dir / "a.ini"), expected);

    ini.DeleteKey("MAIN", "new");
    ini.EraseSection("fresh");
    EXPECT_FALSE(ini.ValueExists("Main", "New"));
    EXPECT_FALSE(ini.SectionExists("Fresh"));
}

// Reads after edits that move lines, duplicate a name or uncover a later occurrence:
// each read gives what the text as written says, where the first occurrence wins.
TEST(IniFile, ReadsFollowEdits)
{
    struct Read {
        const char* section;
        const char* key;
        const char* value; // nullptr: missing
    };
    struct Case {
        const char* name;
        std::function<void(MemIniFile&)> edit;
        std::vector<Read> reads;
        std::vector<std::string> mainKeys;
        std::vector<std::string> sections;
    };
    const std::vector<std::string> allSections{"Main", "Раздел"};
    const Case cases[] = {
        {"deleting the first of two keys uncovers the second",
         [](MemIniFile& ini) { ini.DeleteKey("main", "name"); },
         {{"Main", "Name", "second"}, {"Main", "Path", "C:\\dir\\\"quoted\"; not a comment=x"}},
         {"NAME", "Path"},
         allSections},
        {"erasing the first of two sections uncovers the second",
         [](MemIniFile& ini) { ini.EraseSection("MAIN"); },
         {{"Main", "Other", "in the second Main"}, {"Main", "Name", nullptr}, {"Раздел", "ключ", "значение"}},
         {"Other"},
         {"main", "Раздел"}},
        {"a key inserted inside the text moves the lines after it",
         [](MemIniFile& ini) {
             ini.WriteString("Main", "New", "v");
             ini.WriteString("Main", "Newer", "w");
             ini.WriteString("раздел", "КЛЮЧ", "другое");
         },
         {{"Main", "new", "v"}, {"Main", "newer", "w"}, {"Main", "Name", "first"}, {"Раздел", "Ключ", "другое"},
          {"Main", "Other", nullptr}},
         {"Name", "Path", "New", "Newer"},
         allSections},
        {"keys added to a new last section, then before it",
         [](MemIniFile& ini) {
             ini.WriteString("Fresh", "A", "1");
             ini.WriteString("fresh", "B", "2");
             ini.WriteString("Раздел", "Второй", "3");
             ini.WriteString("FRESH", "a", "4");
         },
         {{"Fresh", "A", "4"}, {"Fresh", "b", "2"}, {"Раздел", "второй", "3"}, {"Раздел", "Ключ", "значение"}},
         {"Name", "Path"},
         {"Main", "Раздел", "Fresh"}},
        {"a deleted key written again goes after the section's last key",
         [](MemIniFile& ini) {
             ini.DeleteKey("Main", "Path");
             ini.WriteString("Main", "Path", "again");
         },
         {{"Main", "Path", "again"}, {"Main", "Name", "first"}},
         {"Name", "Path"},
         allSections},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFile(dir / "a.ini", kSample);
        MemIniFile ini(dir / "a.ini");
        ini.ReadSections(); // lookups before the edit
        c.edit(ini);
        ini.UpdateFile();
        MemIniFile reread(dir / "a.ini");
        for (CustomIniFile* file : {static_cast<CustomIniFile*>(&ini), static_cast<CustomIniFile*>(&reread)}) {
            const char* which = file == &ini ? " (edited)" : " (read again)";
            for (const Read& r : c.reads)
                EXPECT_EQ(file->ReadString(r.section, r.key, "\x01missing"), r.value ? r.value : "\x01missing")
                    << c.name << which << ": " << r.section << "/" << r.key;
            EXPECT_EQ(file->ReadSection("Main"), c.mainKeys) << c.name << which;
            EXPECT_EQ(file->ReadSections(), c.sections) << c.name << which;
        }
    }
}

TEST(IniFile, IntegersAndBooleans)
{
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    };
    const Case cases[] = {
        {"250", true, 250},          {" -17 ", true, -17},         {"+3", true, 3},
        {"0x1FA", true, 0x1FA},      {"$ff", true, 255},           {"0X7fffffff", true, 0x7FFFFFFF},
        {"0xFFFFFFFF", true, -1},    {"0x80006000", true, static_cast<int32_t>(0x80006000u)},
        {"2147483647", true, 2147483647}, {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},    {"0x100000000", false, 0},    {"", false, 0},
        {"12abc", false, 0},         {"0x", false, 0},             {"1 2", false, 0},
    };
    for (const Case& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(ParseIniInteger(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }

    TempDir dir;
    WriteFile(dir / "b.ini", "[S]\nZero=0\nTwo=2\nBad=yes\n");
    MemIniFile ini(dir / "b.ini");
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "Two", false));
    EXPECT_TRUE(ini.ReadBool("S", "Bad", true));
    EXPECT_EQ(ini.ReadInteger("S", "Bad", 42), 42);
}

TEST(IniFile, FileBackedSeesOtherWritersAtOnce)
{
    TempDir dir;
    IniFile a(dir / "c.ini");
    IniFile b(dir / "c.ini");
    a.WriteString("S", "K", "1");
    EXPECT_EQ(b.ReadString("s", "k", "?"), "1");
    b.WriteString("S", "K", "2");
    EXPECT_EQ(a.ReadString("S", "K", "?"), "2");
    EXPECT_EQ(ReadFile(dir / "c.ini"), "[S]\r\nK=2\r\n");

    // A failed write raises and leaves nothing half written.
    WriteFile(dir / "blocker", "x");
    IniFile bad(dir / "blocker" / "d.ini");
    EXPECT_THROW(bad.WriteString("S", "K", "v"), EFCreateError);
    EXPECT_EQ(bad.ReadString("S", "K", "none"), "none");
}

TEST(IniFile, EmptyValueIsNotAMissingKey)
{
    TempDir dir;
    WriteFile(dir / "e.ini", "[S]\r\nEmpty=\r\nBlank=   \r\n");
    MemIniFile ini(dir / "e.ini");
    EXPECT_EQ(ini.ReadString("S", "Empty", "dflt"), "");
    EXPECT_EQ(ini.ReadString("S", "Blank", "dflt"), "");
    EXPECT_EQ(ini.ReadString("S", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("S", "Empty", 7), 7);
}

TEST(IniFile, FailedRewriteKeepsTheOldFile)
{
    TempDir dir;
    const std::string old = "[S]\r\nK=old\r\n";
    WriteFile(dir / "f.ini", old);
    MemIniFile ini(dir / "f.ini");
    ini.WriteString("S", "K", std::string(8000, 'x'));

    // A file size limit makes the write fail even where permissions do not.
    struct rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THROW(ini.UpdateFile(), EFCreateError);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(ReadFile(dir / "f.ini"), old);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

// Independent readers of the file: iconv decodes it as Windows-1251, and Python's
// configparser with the cp1251 codec finds the same values.
TEST(IniFile, PeersReadWhatWasWritten)
{
    TempDir dir;
    const auto file = dir / "Mirvak.ini";
    {
        MemIniFile ini(file);
        ini.WriteString("Cfg", "LastParamFile", "/home/u/Конфиги, старые/a;b \"c\".hex");
        ini.WriteInteger("Cfg", "TreeWidth", -3);
        ini.WriteString("Раздел", "Ключ", "значение");
        ini.UpdateFile();
    }
    const std::string utf8 =
        "[Cfg]\r\n"
        "LastParamFile=/home/u/Конфиги, старые/a;b \"c\".hex\r\n"
        "TreeWidth=-3\r\n"
        "\r\n"
        "[Раздел]\r\n"
        "Ключ=значение\r\n";

    std::string decoded;
    ASSERT_EQ(testsupport::RunCommand("iconv -f CP1251 -t UTF-8 '" + file.string() + "'", &decoded), 0)
        << "iconv (libc-bin) is needed";
    EXPECT_EQ(decoded, utf8);

    const std::string script = (dir / "read.py").string();
    WriteFile(script,
              "import configparser, sys\n"
              "p = configparser.ConfigParser(interpolation=None)\n"
              "p.read(sys.argv[1], encoding='cp1251')\n"
              "sys.stdout.buffer.write(('%s|%s|%s' % (p['Cfg']['LastParamFile'], p['Cfg'].getint('TreeWidth'),\n"
              "                                       p['Раздел']['Ключ'])).encode('utf-8'))\n");
    std::string values;
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 '" + script + "' '" + file.string() + "'", &values), 0)
        << "/usr/bin/python3 is needed";
    EXPECT_EQ(values, "/home/u/Конфиги, старые/a;b \"c\".hex|-3|значение");
}
