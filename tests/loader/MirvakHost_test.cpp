// The loader test host on the catalogue, Invoke3's refusals, the settings operation,
// QuickSend and the direct I/O.

#include "tests/loader/MirvakHost.h"
#include "tests/loader/SettingsOperation.h"

#include "loader/dialogs/FParam.h"
#include "common/StrRoutines.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

#include <climits>

namespace fs = std::filesystem;
using platform::FormModel;
using platform::MsgResult;
using testhost::MirvakHost;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

TEST_F(MirvakHost, ReadsTheCatalogueAndTheDevices)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=A\nName=B");
    Load();
    const std::string catalogue = entries.GetOPCodes(nullptr);
    EXPECT_EQ(catalogue, ReadFile(fs::path(MIRVAK_SOURCE_DIR) / "tests/loader/data/OperationCatalogue.1251.txt"));
    ASSERT_NE(entries.GetDevices(nullptr), nullptr);
    EXPECT_EQ(std::string(entries.GetDevices("")), "Name=A\nName=B");
    EXPECT_TRUE(script->Records().empty()) << "a supported host gets no warning";
}

TEST_F(MirvakHost, RefusedOperationsShowOneBoxAndDeleteTheLog)
{
    Load();
    for (int32_t op : {3, 14, INT32_MIN}) {
        script.Reset();
        WriteFile(dir / "SarnupolexLib.log", "marker");
        script->PushAnswer(MsgResult::OK);
        EXPECT_EQ(Invoke(op, 0, nullptr), 0);
        const auto records = script->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].box.text, "Операция с кодом " + std::to_string(op) + " не поддерживается");
        EXPECT_EQ(records[0].box.caption, "Ошибка");
        EXPECT_EQ(records[0].owner, window);
        EXPECT_FALSE(fs::exists(dir / "SarnupolexLib.log") && ReadFile(dir / "SarnupolexLib.log") == "marker");
    }
    fs::remove(dir / "SarnupolexLib.log");
    fs::create_directories(dir / "SarnupolexLib.log" / "inner");
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(20, 0, nullptr), 0);
}

TEST_F(MirvakHost, SettingsOkSelectsRenamesAndAsksAtUnload)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=A\nName=B\nName=C");
    Load();
    const settingsop::TRenameCase rename = {0, 2, "Новый"};
    settingsop::PushRename(script, rename);
    ASSERT_NO_FATAL_FAILURE(settingsop::ExpectSelected(
        [this](int32_t op, int32_t device, TBlockList** result) { return Invoke(op, device, result); }, rename));
    ASSERT_NO_FATAL_FAILURE(
        settingsop::ExpectRenamed(SplitString('\n', platform::AnsiToUtf8(entries.GetDevices(""))), 3, rename));

    script->PushAnswer(MsgResult::No);
    Unload();
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].box.text, "Сохранить сессионные настройки?\n(параметры подключения, скрипты)");
    EXPECT_EQ(ReadFile(dir / "Sarnupolex.dvs"), "Name=A\nName=B\nName=C");
}

TEST_F(MirvakHost, SettingsCancelChangesNothing)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=A\nName=B");
    Load();
    const fs::path working = dir / ("Sarnupolex.dvs.tmp" + std::to_string(getpid()));
    ASSERT_NE(entries.GetDevices(""), nullptr); // makes the working copy
    const std::string before = ReadFile(working);
    script->PushForm([](FormModel&) { return MsgResult::Cancel; });
    TBlockList list;
    list.AddInteger(7);
    TBlockList* host = &list;
    EXPECT_EQ(Invoke(opSettings, 1, &host), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ReadFile(working), before);
    script->PushForm([](FormModel&) { return MsgResult::OK; });
    EXPECT_EQ(Invoke(opSettings, 1, nullptr), -1) << "no host list";
    // The OK marked the session changed: the unload asks once.
    script->PushAnswer(MsgResult::No);
    Unload();
    EXPECT_EQ(script->Records().size(), 3u);
}

TEST_F(MirvakHost, QuickSendAndDirectIO)
{
    testsupport::Pty pty;
    ports.emplace(platform::kComPortsVariable, "COM7=" + pty.slave);
    WriteFile(dir / "Sarnupolex.dvs", "Name=A;ioType=iotSerial;SerialComNumber=7;SerialBaudRate=19200");
    Load();
    // The first Invoke3 names the host window, which then gets the connection's lines.
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(20, 0, nullptr), 0);
    progress.clear();
    EXPECT_EQ(entries.QuickSend(0, "", "AT", 0, 0), 1);
    EXPECT_EQ(pty.Receive(4), testsupport::Bytes("41 54 0D 0A"));
    const std::vector<std::string> texts = Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "Установка соединения COM7(19200)");

    EXPECT_EQ(entries.IOWrite(0, "ping", 4), 4);
    EXPECT_EQ(pty.Receive(4), "ping");

    struct Case {
        int32_t device;
        const char* error;
    };
    char buffer[4];
    for (const Case& c : {Case{-1, "Не выбрано подключение"}, Case{-2, "Выбранное подключение не определено"},
                          Case{1, "Выбранное подключение не определено"},
                          Case{6, "Выбранное подключение не определено"}}) {
        EXPECT_EQ(entries.QuickSend(c.device, nullptr, "AT", 0, 0), 0) << c.device;
        EXPECT_EQ(platform::LastErrorText(), c.error);
        EXPECT_EQ(entries.IORead(c.device, buffer, 4), -1) << c.device;
        EXPECT_EQ(platform::LastErrorText(), c.error);
    }
    EXPECT_EQ(entries.QuickSend(0, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(entries.IOWriteRead(0, nullptr, 1, 1, 0, 0), -1);
}

} // namespace

namespace {

TEST_F(MirvakHost, ChosenFirmwareFileOutlivesTheLibrary)
{
    WriteFile(dir / "Sarnupolex.dvs", "Name=A;ioType=iotTCP;TCPIP=127.0.0.1;TCPPort=1");
    Load();
    script->PushAnswer(MsgResult::OK);
    EXPECT_EQ(Invoke(opWriteFirmware, 0, nullptr), 0);
    const fs::path firmware = dir / "fw.a90";
    WriteFile(firmware, ":00000001FF\n");
    script->PushFile(firmware.string());
    EXPECT_EQ(Invoke(opChooseFirmware, 0, nullptr), -1);
    Unload();
    Load();
    fs::remove(firmware);
    script->PushAnswer(MsgResult::OK);
    progress.clear();
    EXPECT_EQ(Invoke(opWriteFirmware, 0, nullptr), 0);
    const auto records = script->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].box.text, "Файл не найден");
    EXPECT_EQ(records[2].box.text, "Файл \"" + firmware.string() + "\" не найден");
    EXPECT_EQ(records[2].box.caption, "Ошибка");
    EXPECT_EQ(records[2].owner, window);
    EXPECT_TRUE(progress.empty()) << "no connection was opened";
}

} // namespace
