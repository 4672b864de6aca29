#include "configurator/ChannelExport.h"
#include "model/uZumo2.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;

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

} // namespace
