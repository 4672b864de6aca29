// The block transfer requests byte by byte (against the shared golden frames), the write
// checksum, the exception texts and the chunk size check.

#include "loader/protocol/LoaderTransfer.h"

#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "tests/support/GoldenFrames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::Bytes;

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

const std::string& GoldenPdu(const std::string& name)
{
    for (const auto& g : testsupport::GoldenFrames())
        if (g.name == name) return g.pdu;
    throw std::runtime_error("no golden frame " + name);
}

} // namespace

TEST(LoaderTransfer, RequestBytes)
{
    EXPECT_EQ(Text(BlockReadRequest(0xFA, 0x08004000, 128, false, 128, true)),
              GoldenPdu("read 128 bytes at 0x08004000, linear"));
    EXPECT_EQ(BlockReadReplyLength(128), 133);
    const uint32_t eeprom = 0x80000000u + 0x100;
    ASSERT_TRUE(IsEepromAddress(eeprom));
    EXPECT_EQ(Text(BlockReadRequest(0xFA, eeprom, 128, IsEepromAddress(eeprom), 128, false)),
              GoldenPdu("read 128 bytes at EEPROM 0x100, file/record"));
    // A 1024-byte chunk: byte 2 is (1024 + 9) mod 256.
    EXPECT_EQ(BlockReadRequest(1, 0, 1024, false, 1024, true)[2], 0x09);
    // File/record: the file is the address div the divisor, the record its low word.
    EXPECT_EQ(Text(BlockReadRequest(0xFA, 0x1FF00, 256, false, 256, false)), Bytes("FA 14 09 06 01 FF FF 00 00 80"));

    // An odd count gets one pad byte that the checksum leaves out.
    const uint8_t data[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(Text(BlockWriteRequest(0xFA, data, 0x08000005, 3, 128, false, true)),
              Bytes("FA 15 89 00 08 00 00 05 00 02 01 02 03 00"));
    EXPECT_EQ(Text(BlockWriteRequest(0xFA, data, 0x80000010, 2, 64, true, false)),
              Bytes("FA 15 49 06 80 00 00 10 00 01 01 02"));
    const uint16_t sum = AddToWriteChecksum(0, data, 3);
    EXPECT_EQ(sum, 6);
    EXPECT_EQ(Text(ActivationRequest(0xFA, sum)), GoldenPdu("activation with checksum 0x0006"));
    const uint8_t high[] = {0xFF, 0xFF};
    EXPECT_EQ(AddToWriteChecksum(0xFFFF, high, 2), 0x01FD); // wraps
}

TEST(LoaderTransfer, EepromRuleAndExceptionTexts)
{
    EXPECT_FALSE(IsEepromAddress(0x7FFFFFFF));
    EXPECT_TRUE(IsEepromAddress(0x80000000));
    EXPECT_TRUE(IsEepromAddress(0x80006000)); // AVR32 FLASH counts as EEPROM, as specified
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {1, ": неверная функция"},
        {2, ": неверный адрес данных"},
        {3, ": неверное значение"},
        {4, ": сбой устройства"},
        {6, ": устройство занято"},
        {8, ": ключи активированы, включите игнорирование ключей"},
        {9, ": ошибка при записи ячейки памяти, повторите запись"},
        {5, ""},
        {7, ""},
        {0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ModbusExceptionText(c.code), c.text) << c.code;
}

TEST(LoaderTransfer, ChunkSizeBelowOneIsRefused)
{
    TChip chip(0x42, "STM32f205rg", 1024, 0, 0, false, 3000, 3000, 300, 3000, true, false, 0x08000000);
    EXPECT_EQ(ChunkSize(chip), 1024);
    for (int32_t sector : {0, -1}) {
        chip.Sector = sector;
        try {
            ChunkSize(chip);
            ADD_FAILURE() << "no error for " << sector;
        } catch (const ESarnupolex& e) {
            EXPECT_EQ(std::string(e.what()), "Неверный размер сектора " + std::to_string(sector) + " у STM32f205rg");
        }
    }
}
