// The simulator's memory and block requests on their own: chip profiles from the chip
// table, the golden reads decoded, the protocol rules, writes with and without FixedWrite
// against the activation's checksum, the spaces, Intel HEX and the firmware marker.

#include "loader/core/Chips.h"
#include "tests/sim/SimMemory.h"
#include "tests/support/GoldenFrames.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using sim::ChipProfile;
using sim::SimMemory;
using testsupport::Bytes;

namespace {

ChipProfile Profile(const std::string& name)
{
    const auto profile = sim::FindChipProfile(name);
    if (!profile) throw std::runtime_error("no chip profile " + name);
    return *profile;
}

const std::string& GoldenPdu(const std::string& name)
{
    for (const auto& g : testsupport::GoldenFrames())
        if (g.name == name) return g.pdu;
    throw std::runtime_error("no golden frame " + name);
}

} // namespace

TEST(SimMemory, ProfilesAreTheChipTableRows)
{
    ASSERT_EQ(sim::ChipProfiles().size(), static_cast<size_t>(kBuiltInChipCount));
    const ChipProfile stm = Profile("STM32f205rg");
    EXPECT_EQ(stm.sector, 1024);
    EXPECT_TRUE(stm.linear);
    EXPECT_TRUE(stm.fixedWrite);
    EXPECT_EQ(stm.flashStart, 0x08010000u);
    EXPECT_EQ(stm.byteId, 0xC3);
    EXPECT_EQ(stm.device, 250);
    const ChipProfile mega8 = Profile("ATMEGA8");
    EXPECT_EQ(mega8.sector, 64);
    EXPECT_EQ(mega8.sizeEpp, 512);
    EXPECT_FALSE(mega8.linear);
    EXPECT_FALSE(Profile("ATMEGA128").fixedWrite);
    EXPECT_FALSE(sim::FindChipProfile("stm32f205rg")); // letter case counts
}

TEST(SimMemory, GoldenReadsAndTheirReplies)
{
    SimMemory stm(Profile("STM32f205rg"));
    stm.Write(false, 0x08004000, "\x11\x22");
    const auto reply = stm.Answer(GoldenPdu("read 128 bytes at 0x08004000, linear"));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 133u);
    EXPECT_EQ(reply->substr(0, 7), Bytes("FA 14 82 81 00 11 22"));
    EXPECT_EQ(reply->substr(7), std::string(126, '\xFF'));
    ASSERT_EQ(stm.Requests().size(), 1u);
    EXPECT_EQ(stm.Requests()[0].address, 0x08004000u);
    EXPECT_EQ(stm.Requests()[0].words, 64);
    EXPECT_FALSE(stm.Requests()[0].eeprom);

    SimMemory mega(Profile("ATMEGA1281"));
    mega.Write(true, 0x100, "\x5A");
    const auto eeprom = mega.Answer(GoldenPdu("read 128 bytes at EEPROM 0x100, file/record"));
    ASSERT_TRUE(eeprom);
    EXPECT_EQ(eeprom->substr(0, 6), Bytes("FA 14 82 81 06 5A"));
    EXPECT_TRUE(mega.Requests()[0].eeprom);
    EXPECT_EQ(mega.Requests()[0].address, 0x100u);
    EXPECT_TRUE(stm.ProtocolErrors().empty());
    EXPECT_TRUE(mega.ProtocolErrors().empty());
}

TEST(SimMemory, BrokenRulesAreReported)
{
    const struct {
        const char* name;
        const char* chip;
        std::string pdu;
        std::string error;
        uint32_t address;
    } cases[] = {
        {"file/record address", "ATMEGA128", Bytes("FA 14 09 06 01 FF FF 00 00 80"), "", 0x1FF00},
        {"byte 2", "STM32f205rg", Bytes("FA 14 09 00 08 00 40 00 00 40"), "byte 2 is 9, not (128 + 9) mod 256",
         0x08004000},
        {"reference type", "ATMEGA128", Bytes("FA 14 89 00 00 00 01 00 00 40"), "reference type 0 for ATMEGA128", 0},
        {"record", "ATMEGA128", Bytes("FA 14 89 06 00 01 00 05 00 40"), "record 5 is not the low word of address 85",
         0x85},
        {"length", "STM32f205rg", Bytes("FA 15 0B 00 00 00 00 00 00 01 01"), "a PDU of 11 bytes for 1 words", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimMemory memory(Profile(c.chip));
        memory.Answer(c.pdu);
        const auto errors = memory.ProtocolErrors();
        EXPECT_EQ(errors.empty() ? std::string() : errors[0], c.error);
        ASSERT_EQ(memory.Requests().size(), 1u);
        EXPECT_EQ(memory.Requests()[0].address, c.address);
    }
}

// FixedWrite keeps writes pending until an activation with the sum of the bytes last
// written to each chunk; a wrong sum gets exception 4 and commits nothing.
TEST(SimMemory, WritesAndActivation)
{
    SimMemory mega(Profile("ATMEGA1281"));
    const std::string first = Bytes("FA 15 0D 06 00 40 01 00 00 02 01 02 03 00");   // 0x100, d = 4
    const std::string again = Bytes("FA 15 0D 06 00 00 00 00 00 02 10 20 00 00");   // 0x000, d = 4
    const std::string eeprom = Bytes("FA 15 0D 06 80 00 00 08 00 02 05 06 07 08");  // EEPROM 8
    EXPECT_EQ(mega.Answer(first), first);
    EXPECT_EQ(mega.Answer(again), again);
    EXPECT_EQ(mega.Answer(eeprom), eeprom);
    EXPECT_EQ(mega.Answer(again), again); // the same chunk again counts once
    EXPECT_EQ(mega.Checksum(), 6 + 0x30 + 26);
    EXPECT_EQ(mega.Read(false, 0x100), 0xFF); // pending
    EXPECT_EQ(*mega.Answer(Bytes("FA 56 00 07 00 00")), Bytes("FA D6 04"));
    EXPECT_EQ(mega.Read(false, 0x100), 0xFF);
    const std::string activation = Bytes("FA 56 00 50 00 00");
    EXPECT_EQ(*mega.Answer(activation), activation);
    EXPECT_EQ(mega.Read(false, 0x100, 5), Bytes("01 02 03 00 FF"));
    EXPECT_EQ(mega.Read(true, 8, 4), Bytes("05 06 07 08"));
    EXPECT_EQ(mega.Read(false, 8), 0xFF); // the EEPROM is a space of its own
    EXPECT_EQ(mega.Checksum(), 0);

    SimMemory atmega128(Profile("ATMEGA128")); // no FixedWrite: committed at once
    atmega128.Answer(first);
    EXPECT_EQ(atmega128.Read(false, 0x100, 3), Bytes("01 02 03"));
    EXPECT_TRUE(mega.ProtocolErrors().empty());
}

TEST(SimMemory, SpacesHexFilesAndMarker)
{
    testsupport::TempDir dir;
    SimMemory stm(Profile("STM32f205rg"));
    stm.Write(true, 0x80000010, "\x42"); // linear: one space
    EXPECT_EQ(stm.Read(false, 0x80000010), 0x42);
    stm.PlaceMarker(false, 0x08010003, "1.2.3");
    EXPECT_EQ(stm.Read(false, 0x08010003, 18), std::string("Firmware ID:1.2.3") + '\0');
    stm.SaveHex(dir / "stm.hex", false);
    SimMemory loaded(Profile("STM32f205rg"));
    loaded.LoadHex(dir / "stm.hex");
    EXPECT_EQ(loaded.Committed(false), stm.Committed(false));

    SimMemory mega(Profile("ATMEGA1281"));
    mega.PlaceMarker(true, 0x1F0, "AB");
    mega.Write(false, 0x300, "\x01\x02");
    mega.SaveHex(dir / "eep.hex", true);
    mega.SaveHex(dir / "flash.hex", false);
    SimMemory back(Profile("ATMEGA1281"));
    back.LoadHex(dir / "eep.hex");
    back.LoadHex(dir / "flash.hex");
    EXPECT_EQ(back.Committed(true), mega.Committed(true));
    EXPECT_EQ(back.Committed(false), mega.Committed(false));
    EXPECT_EQ(back.Read(true, 0x1F0, 15), std::string("Firmware ID:AB") + '\0');
}
