#include "loader/core/Chips.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "tests/support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string Describe(const TChip& c)
{
    return platform::Format("%s|%u|%d|%d|%d|%d|%d|%d|%d|%d|%d|%d|%u", c.Name.c_str(), c.ByteID, c.Sector, c.SizeFlash,
                            c.SizeEPP, c.FlashTimeOut, c.FixedWriteTimeOut, c.ReadTimeOut, c.EEPTimeOut,
                            c.FixedWrite ? 1 : 0, c.LinearAddr ? 1 : 0, c.FindFirmwareID ? 1 : 0, c.FlashStartAddress);
}

// Python's configparser reads the file as an independent reader and prints each chip
// in the same form as Describe.
std::string ReadWithPython(const std::filesystem::path& file)
{
    const char* script =
        "import configparser, sys\n"
        "p = configparser.ConfigParser(interpolation=None)\n"
        "p.read(sys.argv[1], encoding='cp1251')\n"
        "print(p['Cfg']['AddrDev'])\n"
        "for i in range(int(p['Chip']['Count'])):\n"
        "    s = p['Chip%d' % i]\n"
        "    v = [s['Name'], str(int(s['ByteID'], 16))]\n"
        "    v += [str(int(s[k])) for k in ('Sector', 'SizeFlash', 'SizeEPP', 'FlashTimeOut',\n"
        "          'FixedWriteTimeOut', 'ReadTimeOut', 'EEPTimeOut', 'FixedWrite', 'LinearAddr', 'FindFirmwareID')]\n"
        "    v.append(str(int(s['FlashStartAddress'], 16)))\n"
        "    print('|'.join(v))\n";
    TempDir dir;
    WriteFile(dir / "read.py", script);
    std::string out;
    const int rc = RunCommand("/usr/bin/python3 " + (dir / "read.py").string() + " '" + file.string() + "' 2>&1", &out);
    EXPECT_EQ(rc, 0) << "python3 (Debian package python3) failed: " << out;
    return out;
}

const std::string kGolden = std::string(MIRVAK_SOURCE_DIR) + "/tests/loader/data/Chip.ini";

} // namespace

TEST(Chips, WithoutFileWritesTheBuiltInTable)
{
    TempDir dir;
    ScopedEnv env("MIRVAK_PROGRAM_DIR", dir.path().string());
    TChips chips;
    chips.Load();

    EXPECT_EQ(ReadFile(dir / "Chip.ini"), ReadFile(kGolden));
    ASSERT_EQ(chips.Count(), 14);
    EXPECT_EQ(chips.AddrDev, 250);
    EXPECT_EQ(chips.Current(), nullptr);
    EXPECT_EQ(Describe(chips.Items(0)), "Grendal|200|1024|4096|0|200|10000|300|300|1|1|1|1048576");
    EXPECT_EQ(Describe(chips.Items(13)), "STM32f205rg|195|1024|960|0|2000|10000|300|300|1|1|1|134283264");

    std::string expected = "250\n";
    for (int i = 0; i < chips.Count(); ++i) expected += Describe(chips.Items(i)) + "\n";
    EXPECT_EQ(ReadWithPython(dir / "Chip.ini"), expected);

    // Loading its own file again changes nothing.
    TChips again;
    again.Load();
    EXPECT_EQ(ReadFile(dir / "Chip.ini"), ReadFile(kGolden));
    for (int i = 0; i < 14; ++i) EXPECT_EQ(Describe(again.Items(i)), Describe(chips.Items(i)));
}

TEST(Chips, ReadsFilesAsWritten)
{
    struct Case {
        const char* what;
        std::string input;
        std::function<void(TChips&, const std::string& written)> check;
    };
    const Case cases[] = {
        {"a built-in row in the file keeps its values and goes last",
         "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=STM32f103re\r\nSector=512\r\n",
         [](TChips& c, const std::string&) {
             ASSERT_EQ(c.Count(), 14);
             EXPECT_EQ(Describe(c.Items(13)), "STM32f103re|0|512|0|0|3000|3000|300|3000|0|0|1|0");
             EXPECT_EQ(c.Items(0).Name, "Grendal");
             EXPECT_EQ(c.Items(12).Name, "STM32f205rg");
         }},
        {"another letter case is another chip",
         "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=stm32f103re\r\n",
         [](TChips& c, const std::string&) {
             ASSERT_EQ(c.Count(), 15);
             EXPECT_EQ(c.Items(14).Name, "stm32f103re");
             EXPECT_EQ(c.Items(12).Name, "STM32f103re");
         }},
        {"hexadecimal identifiers and full 32-bit start addresses",
         "[Chip]\r\nCount=3\r\n[Chip0]\r\nName=A\r\nByteID=c3\r\nFlashStartAddress=0x80006000\r\n"
         "[Chip1]\r\nName=B\r\nByteID=1A5\r\nFlashStartAddress=4294967295\r\n"
         "[Chip2]\r\nName=C\r\nByteID=zz\r\nFlashStartAddress=-1\r\n",
         [](TChips& c, const std::string& written) {
             ASSERT_EQ(c.Count(), 17);
             EXPECT_EQ(c.Items(14).ByteID, 0xC3);
             EXPECT_EQ(c.Items(14).FlashStartAddress, 0x80006000u);
             EXPECT_EQ(c.Items(15).ByteID, 0xA5);
             EXPECT_EQ(c.Items(15).FlashStartAddress, 0xFFFFFFFFu);
             EXPECT_EQ(c.Items(16).ByteID, 0);
             EXPECT_EQ(c.Items(16).FlashStartAddress, 0u);
             EXPECT_NE(written.find("[Chip14]\r\nName=A\r\nByteID=C3\r\n"), std::string::npos);
             EXPECT_NE(written.find("FlashStartAddress=0x80006000\r\n\r\n[Chip15]"), std::string::npos);
         }},
        {"sections beyond the count stay as they are",
         "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=Only\r\n\r\n[Chip40]\r\n; kept\r\nName = Old  \r\nodd line\r\n",
         [](TChips& c, const std::string& written) {
             EXPECT_EQ(c.Count(), 15);
             EXPECT_NE(written.find("\r\n[Chip40]\r\n; kept\r\nName = Old  \r\nodd line\r\n"), std::string::npos);
             EXPECT_EQ(written.find("Name=Old"), std::string::npos);
         }},
        {"a gap in the sections",
         "[Chip]\r\nCount=3\r\n[Chip0]\r\nName=First\r\n[Chip2]\r\nName=Third\r\n",
         [](TChips& c, const std::string& written) {
             ASSERT_EQ(c.Count(), 16);
             EXPECT_EQ(c.Items(14).Name, "First");
             EXPECT_EQ(c.Items(15).Name, "Third");
             EXPECT_NE(written.find("Count=16\r\n"), std::string::npos);
         }},
        {"a count above the sections present",
         "[Chip]\r\nCount=7\r\n[Chip0]\r\nName=One\r\n",
         [](TChips& c, const std::string&) {
             ASSERT_EQ(c.Count(), 15);
             EXPECT_EQ(c.Items(14).Name, "One");
         }},
        {"a huge count: the sections present, in index order, at once",
         "[Chip]\r\nCount=2000000000\r\n[CHIP7]\r\nName=Seven\r\n[Chip05]\r\nName=NoIndex\r\n[Chip5]\r\nName=Five\r\n"
         "[Chip-1]\r\nName=Negative\r\n",
         [](TChips& c, const std::string&) {
             ASSERT_EQ(c.Count(), 16);
             EXPECT_EQ(c.Items(14).Name, "Five");
             EXPECT_EQ(c.Items(15).Name, "Seven");
         }},
        {"a negative count reads no section",
         "[Chip]\r\nCount=-3\r\n[Chip0]\r\nName=Zero\r\n",
         [](TChips& c, const std::string&) { EXPECT_EQ(c.Count(), 14); }},
        {"names of sections and keys ignore case",
         "[chip]\r\ncount=1\r\n[chip0]\r\nname=Lower\r\nsector=64\r\n",
         [](TChips& c, const std::string&) {
             ASSERT_EQ(c.Count(), 15);
             EXPECT_EQ(c.Items(14).Name, "Lower");
             EXPECT_EQ(c.Items(14).Sector, 64);
         }},
        {"a Cyrillic name in Windows-1251",
         "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=\xCF\xF0\xEE\xF6\xE5\xF1\xF1\xEE\xF0\r\n",
         [](TChips& c, const std::string& written) {
             ASSERT_EQ(c.Count(), 15);
             EXPECT_EQ(c.Items(14).Name, "Процессор");
             EXPECT_NE(written.find("[Chip14]\r\nName=\xCF\xF0\xEE\xF6\xE5\xF1\xF1\xEE\xF0\r\n"), std::string::npos);
         }},
        {"the slave address keeps its low byte",
         "[Cfg]\r\nAddrDev=0x1FA\r\n",
         [](TChips& c, const std::string& written) {
             EXPECT_EQ(c.AddrDev, 0xFA);
             EXPECT_EQ(written.rfind("[Cfg]\r\nAddrDev=250\r\n", 0), 0u);
         }},
        {"unreadable numbers take the defaults",
         "[Cfg]\r\nAddrDev=many\r\n[Chip]\r\nCount=1\r\n[Chip0]\r\nName=X\r\nReadTimeOut=slow\r\nFindFirmwareID=no\r\n",
         [](TChips& c, const std::string&) {
             EXPECT_EQ(c.AddrDev, 250);
             EXPECT_EQ(Describe(c.Items(14)), "X|0|0|0|0|3000|3000|300|3000|0|0|1|0");
         }},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.what);
        TempDir dir;
        WriteFile(dir / "Chip.ini", tc.input);
        TChips chips;
        chips.Load(dir / "Chip.ini");
        tc.check(chips, ReadFile(dir / "Chip.ini"));
    }
}

TEST(Chips, Selection)
{
    TempDir dir;
    TChips chips;
    WriteFile(dir / "Chip.ini", "[Chip]\r\nCount=1\r\n[Chip0]\r\nName=Twin\r\nByteID=C8\r\n");
    chips.Load(dir / "Chip.ini");
    ASSERT_EQ(chips.Count(), 15);

    chips.SelectChip(3);
    EXPECT_EQ(chips.Current(), &chips.Items(3));
    for (int bad : {-1, chips.Count()}) {
        chips.SelectChip(3);
        chips.SelectChip(bad);
        EXPECT_EQ(chips.Current(), nullptr) << bad;
    }
    EXPECT_THROW(chips.Items(chips.Count()), platform::EListError);

    EXPECT_EQ(chips.IndexOfName("grendal", true), -1);
    EXPECT_EQ(chips.Current(), nullptr);
    EXPECT_EQ(chips.IndexOfName("Grendal", false), 0);
    EXPECT_EQ(chips.Current(), nullptr);
    EXPECT_EQ(chips.IndexOfName("BLACKFIN", true), 8);
    EXPECT_EQ(chips.Current(), &chips.Items(8));
    // The built-in Grendal and the file's Twin share 0xC8: the first one counts.
    EXPECT_EQ(chips.IndexOfByteID(0xC8, true), 0);
    EXPECT_EQ(chips.Current(), &chips.Items(0));
    EXPECT_EQ(chips.IndexOfByteID(0x01, true), -1);
    EXPECT_EQ(chips.Current(), nullptr);

    chips.SelectChip(2);
    chips.Clear();
    EXPECT_EQ(chips.Count(), 0);
    EXPECT_EQ(chips.Current(), nullptr);
}

TEST(Chips, FolderThatCannotBeWritten)
{
    TempDir dir;
    WriteFile(dir / "file", "not a folder");
    TChips chips;
    EXPECT_NO_THROW(chips.Load(dir / "file" / "Chip.ini"));
    EXPECT_EQ(chips.Count(), 14);
    EXPECT_EQ(chips.Items(13).Name, "STM32f205rg");
}
