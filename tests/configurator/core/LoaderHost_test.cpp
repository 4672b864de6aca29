#include "configurator/core/LoaderHost.h"

#include "model/Memory.h"
#include "tests/fixtures/LoaderCatalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(LoaderHost, VersionRuleComparesEachPartOnItsOwn)
{
    const std::tuple<TLoaderVersion, bool> cases[] = {
        {{1, 2, 4, 30}, true},  {{1, 2, 5, 31}, true},  {{1, 3, 0, 0}, false},
        {{2, 0, 0, 0}, false},  {{1, 2, 4, 29}, false}, {{0, 9, 9, 99}, false},
    };
    for (const auto& [version, supported] : cases)
        EXPECT_EQ(LoaderVersionSupported(version), supported)
            << version.Major << '.' << version.Minor << '.' << version.Release << '.' << version.Build;
    EXPECT_FALSE(LoaderVersionSupported(std::nullopt));  // no version record
}

TEST(LoaderHost, ParamsBlockBytes)
{
    const std::tuple<const char*, uint8_t> cases[] = {
        {"--DialogsConfDisabled", 1},
        {"--dialogsconfdisabled", 1},
        {"--DialogsConfDisabled=1", 0},
        {"", 0},  // the switch given only as a second argument leaves the first one empty
    };
    for (const auto& [argument, disabled] : cases) {
        const LoaderParams params = MakeLoaderParams(0x1234, argument, 0xABCD);
        uint8_t bytes[24];
        std::memcpy(bytes, &params, sizeof bytes);
        const uint8_t expected[24] = {24, 0, 0, 0, 0x34, 0x12, 0, 0, 0, disabled, 0, 0,
                                      0xCD, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes)) << argument;
    }
}

const char* const kCatalogue = kLoaderCatalogue;

std::vector<int> Codes(const TOperationToolbarModel& model)
{
    std::vector<int> codes;
    for (const TOperationEntry& e : model.Entries) codes.push_back(e.Code);
    return codes;
}

TEST(LoaderHost, CatalogueGivesTheToolbarInOrder)
{
    const TOperationToolbarModel plain = BuildOperationEntries(kCatalogue, false, false);
    EXPECT_TRUE(plain.Error.empty());
    EXPECT_EQ(Codes(plain), (std::vector<int>{0, -1, 1, 2, -1, 13, 9, -1, 11, -1, 14}));
    EXPECT_EQ(plain.Entries[0].Kind, TOperationKind::DeviceBox);
    EXPECT_EQ(plain.Entries[0].Caption, "");
    EXPECT_EQ(plain.Entries[0].Hint, "Настройки подключения");
    EXPECT_EQ(plain.Entries[1].Kind, TOperationKind::Separator);
    EXPECT_EQ(plain.Entries[2].Kind, TOperationKind::Button);
    EXPECT_EQ(plain.Entries[2].Caption, "Считать параметры");
    EXPECT_EQ(plain.Entries[2].Hint, "Считать параметры");  // no hint: the caption
    EXPECT_EQ(plain.Entries.back().Kind, TOperationKind::SendBox);

    EXPECT_EQ(Codes(BuildOperationEntries(kCatalogue, true, true)),
              (std::vector<int>{0, -1, 1, 2, -1, 13, 9, 12, -1, 10, 11, -1, 14}));
    EXPECT_EQ(Codes(BuildOperationEntries(kCatalogue, true, false)),
              (std::vector<int>{0, -1, 1, 2, -1, 13, 9, -1, 10, 11, -1, 14}));
}

TEST(LoaderHost, CraftedCatalogueLines)
{
    const TOperationToolbarModel model = BuildOperationEntries(
        "OPCode=1; Caption=A; Hidden=true\n\nOPCode=2; Caption=B; Hint=\n"
        "OPCode=11; Caption=C; Hint=Подсказка; Shortcut=Ctrl+R; Hidden=False",
        false, false);
    ASSERT_EQ(model.Entries.size(), 3u);
    EXPECT_TRUE(model.Entries[0].Hidden);
    EXPECT_EQ(model.Entries[1].Hint, "B");
    EXPECT_FALSE(model.Entries[2].Hidden);
    EXPECT_EQ(model.Entries[2].Hint, "Подсказка");
    EXPECT_EQ(model.Entries[2].Shortcut, "Ctrl+R");

    // A bad code ends the build; the lines behind it were already placed.
    const TOperationToolbarModel bad =
        BuildOperationEntries("OPCode=1; Caption=A\nOPCode=x1; Caption=B\nOPCode=2; Caption=C", false, false);
    EXPECT_EQ(bad.Error, "'x1' is not a valid integer value");
    EXPECT_EQ(Codes(bad), (std::vector<int>{2}));
}

TEST(LoaderHost, DeviceTexts)
{
    const std::tuple<const char*, const char*> cases[] = {
        {"ioType=iotSerial; SerialComNumber=255; SerialBaudRate=57600", "Авто COM, 57600"},
        {"ioType=iotSerial; SerialComNumber=3; SerialBaudRate=9600", "COM3, 9600"},
        {"ioType=IOTSERIAL; SerialComNumber=4", "COM4"},
        {"Name=Стенд", "Стенд"},
        {"ioType=iotTCP; TCPIP=10.0.0.5; TCPPort=502; Name=КП 1", "КП 1 (10.0.0.5:502)"},
        {"ioType=iotTCP; TCPPort=502", "502"},
        {"ioType=iotUDP", "<без имени>"},
    };
    for (const auto& [line, text] : cases) EXPECT_EQ(DeviceDisplayText(line), text) << line;
}

int Width(std::string_view text) { return static_cast<int>(text.size()) * 10; }

TEST(LoaderHost, DeviceComboFillingAndSelection)
{
    int last = -1;
    TDeviceComboModel model = BuildDeviceCombo("Name=a\n\nName=b\nName=c\n", last, -1, Width);
    EXPECT_EQ(model.Items, (std::vector<std::string>{"a", "b", "c"}));  // the empty line gives no index
    EXPECT_TRUE(model.Enabled);
    EXPECT_EQ(model.Selected, 0);
    EXPECT_EQ(model.Width, 100);  // 10 + 30, raised to the least width

    EXPECT_EQ(BuildDeviceCombo(std::string("Name=") + std::string(15, 'x'), last, -1, Width).Width, 180);
    EXPECT_EQ(BuildDeviceCombo(std::string("Name=") + std::string(40, 'x'), last, -1, Width).Width, 250);

    // A remembered index is used once; then the combo box's own selection counts.
    last = 2;
    EXPECT_EQ(BuildDeviceCombo("Name=a\nName=b\nName=c", last, 0, Width).Selected, 2);
    EXPECT_EQ(last, -1);
    EXPECT_EQ(BuildDeviceCombo("Name=a\nName=b\nName=c", last, 1, Width).Selected, 1);

    // An index past the list selects nothing; after the settings operation the chosen
    // device past the old list is found in the new one.
    last = 5;
    EXPECT_EQ(BuildDeviceCombo("Name=a\nName=b", last, 0, Width).Selected, -1);
    last = 2;
    EXPECT_EQ(BuildDeviceCombo("Name=a\nName=b\nName=new", last, 0, Width).Selected, 2);

    TDeviceComboModel empty = BuildDeviceCombo("", last, -1, Width);
    EXPECT_TRUE(empty.Items.empty());
    EXPECT_FALSE(empty.Enabled);
    EXPECT_EQ(empty.Selected, -1);
}

void Put(TMemory& image, uint32_t address, const std::string& bytes)
{
    TMemoryBlock* block = image.AddBlock(address, static_cast<int32_t>(bytes.size()));
    std::memcpy(block->Data(), bytes.data(), bytes.size());
}

TEST(LoaderHost, SchemeVersionQuestions)
{
    const std::string expected = "Scheme ID:8.0.0.0";
    const std::tuple<std::string, std::optional<std::string>> cases[] = {
        {std::string("abc\0\0", 5),
         "Схема версии Scheme ID:8.0.0.0, а в параметрах нет идентификатора версии. Продолжать?"},
        {std::string("Scheme ID:8\0\0", 13), std::nullopt},
        {std::string("Scheme ID:8.0.0.0\0", 18), std::nullopt},
        {std::string("Scheme ID:9.0.0.0\0", 18),
         "Схема версии Scheme ID:8.0.0.0, а параметры версии Scheme ID:9.0.0.0. Продолжать?"},
        {"xxScheme ID:8.0.0", "Схема версии Scheme ID:8.0.0.0, а параметры версии Scheme ID:8.0.0. Продолжать?"},
    };
    for (const auto& [bytes, question] : cases) {
        TMemory image;
        Put(image, 0x100, bytes);
        EXPECT_EQ(SchemeVersionQuestion(image, expected), question) << bytes;
    }
    TMemory none;
    EXPECT_TRUE(SchemeVersionQuestion(none, expected).has_value());
}

TEST(LoaderHost, SendBoxHistoryAndAbortRule)
{
    std::vector<std::string> items;
    for (int i = 0; i < 11; ++i) RememberSendText(items, std::to_string(i));
    EXPECT_EQ(items.size(), 10u);
    EXPECT_EQ(items.front(), "10");
    EXPECT_EQ(items.back(), "1");  // the 11th dropped
    RememberSendText(items, "5");  // known: stays where it is
    EXPECT_EQ(items.front(), "10");

    EXPECT_FALSE(AbortQuestionDue(1000, 1000 + 19999));
    EXPECT_FALSE(AbortQuestionDue(1000, 1000 + 20000));
    EXPECT_TRUE(AbortQuestionDue(1000, 1000 + 20001));
    EXPECT_TRUE(AbortQuestionDue(0xFFFFF000u, 0xFFFFF000u + 20001u));  // across the wrap
}

} // namespace
