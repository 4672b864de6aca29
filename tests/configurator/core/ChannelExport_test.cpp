#include "configurator/core/ChannelExport.h"
#include "model/uZumo2.h"
#include "platform/Exceptions.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using platform::MsgResult;

namespace {

void Set(TFieldLst& list, const char* key, int64_t value) { list.Find<TField>(key)->SetValue(Variant(value)); }

// Values the editors refuse but a parameter file may hold.
void SetRaw32(TFieldLst& list, const char* key, uint32_t value)
{
    const TField* field = list.Find<TField>(key);
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    list.WriteBytes(field->NodeOffset(), bytes, sizeof bytes);
}

void SetBlock(TDevice& device, int index, uint32_t start, int count, uint32_t vak, int type)
{
    TDevChannel& block = *device.ChannelBlockByIndex(index);
    SetRaw32(block, "0001", start);
    Set(block, "0002", count);
    SetRaw32(block, "0003", vak);
    Set(block, "0004", type);
}

struct ChannelExportTest : ::testing::Test {
    std::unique_ptr<TZumo2Doc> doc = MakeZumo2Doc();
    void SetUp() override { doc->ResetDefaults(); }

    void UseTwoDevices()
    {
        TDevice& kp = *doc->DeviceByIndex(0);
        Set(kp, "004", 2); // ModBus
        Set(kp, "011", 0);
        Set(kp, "002", 0);
        Set(kp, "000", 5);
        SetBlock(kp, 0, 1, 8, 100, 0);
        SetBlock(kp, 1, 50, 0, 60, 1);                 // count 0: no line
        SetBlock(kp, 2, 0xFFFFFFF0u, 2, 0x80000001u, 200);

        TDevice& pu = *doc->DeviceByIndex(3);
        Set(pu, "004", 1); // МЭК
        Set(pu, "011", 1);
        Set(pu, "002", 1);
        Set(pu, "000", 7);
        SetBlock(pu, 0, 10, 1, 5, 1);
    }
};

TEST_F(ChannelExportTest, LinesOfTheBlocksInUseWithUnsignedNumbers)
{
    EXPECT_FALSE(HasDeviceInUse(doc.get()));
    EXPECT_TRUE(CollectChannelCsvLines(*doc).empty());
    EXPECT_FALSE(HasDeviceInUse(nullptr));

    UseTwoDevices();
    EXPECT_TRUE(HasDeviceInUse(doc.get()));
    EXPECT_EQ(CollectChannelCsvLines(*doc), (std::vector<std::string>{
                                                "КП ModBus, COM, 5, 1, 8, 100, ТС",
                                                "КП ModBus, COM, 5, 4294967280, 2, 2147483649, неопределено: 200",
                                                "ПУ МЭК, XPort, 7, 10, 1, 5, ТИТ",
                                            }));
}

TEST_F(ChannelExportTest, FileIsWindows1251WithCrLfAndTheHeaderFirst)
{
    UseTwoDevices();
    TempDir dir;
    const auto file = dir / "каналы.csv";
    WriteChannelCsv(file, CollectChannelCsvLines(*doc));

    const std::string bytes = ReadFile(file);
    // "Устройство" in Windows-1251.
    EXPECT_EQ(bytes.substr(0, 10), "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE");
    std::string decoded;
    ASSERT_EQ(RunCommand("iconv -f CP1251 -t UTF-8 '" + file.string() + "'", &decoded), 0)
        << "iconv (libc-bin) is needed";
    EXPECT_EQ(decoded,
              "Устройство, порт, адрес, нач, кол-во, ВАК, тип\r\n"
              "КП ModBus, COM, 5, 1, 8, 100, ТС\r\n"
              "КП ModBus, COM, 5, 4294967280, 2, 2147483649, неопределено: 200\r\n"
              "ПУ МЭК, XPort, 7, 10, 1, 5, ТИТ\r\n");
}

TEST_F(ChannelExportTest, CommandAsksForTheFileAndOffersToOpenIt)
{
    testsupport::DialogScript dialogs;
    TempDir dir;
    std::vector<std::string> opened;
    const TShellOpen open = [&](const std::string& f) { opened.push_back(f); };
    const std::string paramFile = (dir / "a.hex").string();

    // No device in use: refused before any question.
    try {
        ExportDeviceChannelsToCsv(doc.get(), 0, paramFile, open);
        ADD_FAILURE() << "no error";
    } catch (const platform::Exception& e) {
        EXPECT_STREQ(e.what(), "Не найдено устройство с логическими каналами");
    }
    EXPECT_TRUE(dialogs->Records().empty());

    // A device in use without a block in use: nothing to write.
    Set(*doc->DeviceByIndex(0), "004", 2);
    dialogs->PushFile((dir / "empty").string());
    dialogs->PushAnswer(MsgResult::OK);
    ExportDeviceChannelsToCsv(doc.get(), 0, paramFile, open);
    EXPECT_EQ(dialogs->Records().back().box.text, "Нет данных для экспорта");
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.csv"));

    UseTwoDevices();
    struct Case {
        std::string chosen;
        std::string written;
        MsgResult openIt;
    };
    const Case cases[] = {
        {"out", "out.csv", MsgResult::Yes},
        {"list.csv.txt", "list.csv.txt", MsgResult::No}, // ".csv" anywhere in the name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        dialogs.Reset();
        opened.clear();
        dialogs->PushFile((dir / c.chosen).string());
        dialogs->PushAnswer(c.openIt);
        ExportDeviceChannelsToCsv(doc.get(), 0, paramFile, open);

        const std::string written = (dir / c.written).string();
        EXPECT_EQ(ReadFile(written).substr(0, 10), "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE");
        const auto records = dialogs->Records();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].file.filter, "csv формат (*.csv)|*.csv|All files (*.*)|*.*");
        EXPECT_EQ(records[0].file.initialDir, dir.path().string());
        EXPECT_EQ(records[1].box.text, "Открыть файл " + written);
        EXPECT_EQ(records[1].box.caption, "Подтверждение");
        EXPECT_EQ(records[1].box.buttons, platform::MsgButtons::YesNo);
        EXPECT_EQ(opened, c.openIt == MsgResult::Yes ? std::vector<std::string>{written} : std::vector<std::string>{});
    }

    // Cancelled: nothing written, nothing asked.
    dialogs.Reset();
    dialogs->PushFileCancel();
    ExportDeviceChannelsToCsv(doc.get(), 0, "", open);
    EXPECT_EQ(dialogs->Records().size(), 1u);
    EXPECT_EQ(dialogs->Records()[0].file.initialDir, "");
}

} // namespace
