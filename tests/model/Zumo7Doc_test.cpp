#include "model/uZumo7.h"
#include "model/uZumo7sin.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

using Maker = std::unique_ptr<TZumo2Doc> (*)();

// A document of the maker on a board, with its default contents (New).
std::unique_ptr<TZumo7Doc> NewOnBoard(int board, Maker make = MakeZumo7Doc)
{
    auto doc = MakeAs<TZumo7Doc>(make, false);
    doc->SetBoardSignature(board);
    doc->ResetDefaults();
    return doc;
}

std::string KeyOf(const TFieldLst& list, const TObjNode* node)
{
    for (int i = 0; i < list.FieldCount(); ++i)
        if (list.FieldByIndex(i) == node) return list.FieldName(i);
    return "(not a child)";
}

void SetMeta(TZumo7Doc& doc, const char* key, const Variant& value) { doc.MetaField(key)->SetValue(value); }
int32_t Meta(const TZumo7Doc& doc, const char* key) { return doc.MetaField(key)->GetValue().ToInt32(); }

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Where each port caption lies and what it is.
struct PortPlace {
    const char* key;
    int32_t offset;
    const char* className;
};
const std::map<std::string, PortPlace> kPlaces = {
    {"COM1", {"UART0", 0, "TPortCOM"}},         {"Xport1", {"UART1", 8, "TPortCOM_XPORT"}},
    {"Modem3", {"UART1", 8, "TModemPort"}},     {"COM2", {"UART2", 16, "TPortCOM"}},
    {"USB", {"USB", 24, "TUART"}},              {"COM3", {"UART4", 32, "TPortCOM"}},
    {"Modem2", {"UART4", 32, "TModemPort"}},    {"Xport3", {"UART4", 32, "TPortCOM_XPORT"}},
    {"COM4", {"UART5", 40, "TPortCOM"}},        {"Modem1", {"UART5", 40, "TModemPort"}},
    {"Xport4", {"UART5", 40, "TPortCOM_XPORT"}}, {"COM5", {"UART6", 48, "TPortCOM"}},
    {"Xport2", {"UART6", 48, "TPortCOM_XPORT"}}, {"Modem4", {"UART6", 48, "TModemPort"}},
};

using Names = std::vector<std::string>;

} // namespace

TEST(Zumo7Doc, IdentityAndImage)
{
    struct Case {
        Maker make;
        const char* className;
        const char* model;
        const char* scheme;
        std::vector<std::pair<uint32_t, int32_t>> blocks;
    };
    const Case cases[] = {
        {MakeZumo7Doc, "TZumo7Doc", "Zumo7", "Scheme ID:10.0.0.0",
         {{0xB700, 64}, {0x0000, 108}, {0x0200, 14800}, {0x7000, 1925}, {0x9000, 704}}},
        {MakeZumo7sinDoc, "TZumo7sinDoc", "Zumo7sin", "Scheme ID:14.0.0.0",
         {{0xB700, 64}, {0x0000, 108}, {0x0200, 21200}, {0x55D0, 6455}, {0x7000, 1800}, {0x9000, 640}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className);
        auto doc = NewOnBoard(10, c.make);
        EXPECT_STREQ(doc->ClassName(), c.className);
        EXPECT_EQ(doc->ModelName, c.model);
        EXPECT_EQ(doc->ExpectedSchemeId, c.scheme);
        EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), c.scheme);
        EXPECT_EQ(doc->BaseAddress, 0x08004000u);
        ASSERT_EQ(doc->Image.BlockCount(), static_cast<int>(c.blocks.size()));
        for (int i = 0; i < doc->Image.BlockCount(); ++i) {
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Address, c.blocks[static_cast<size_t>(i)].first) << i;
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Size, c.blocks[static_cast<size_t>(i)].second) << i;
        }
        EXPECT_EQ(doc->DeviceCount(), 20);
        EXPECT_EQ(doc->LogicChannelCount(), 20);
        EXPECT_EQ(doc->LogicChannelByIndex(0)->Offset, c.blocks[2].second - 320);
        EXPECT_EQ(doc->ApertureByIndex(0)->Offset, 1200);
        EXPECT_EQ(doc->ScaleByIndex(0)->Offset, 1400);
        EXPECT_TRUE(doc->RefusedKeys().empty());
    }
    auto sin = NewOnBoard(10, MakeZumo7sinDoc);
    EXPECT_STREQ(sin->DeviceByIndex(0)->ClassName(), "TZumo7sin_Device");
    EXPECT_EQ(sin->DeviceByIndex(0)->Size, 1044);
    EXPECT_EQ(sin->DeviceByIndex(0)->ScaleBlockCount(), 60);
    EXPECT_STREQ(sin->DeviceByIndex(0)->ScaleBlockByIndex(0)->ClassName(), "TZumo7sin_DevScale");
    EXPECT_STREQ(sin->ScaleByIndex(0)->ClassName(), "TZumo7sin_ScaleTIT");
}

TEST(Zumo7Doc, OwnAndDioChannels)
{
    for (Maker make : {MakeZumo7Doc, MakeZumo7sinDoc}) {
        auto doc = NewOnBoard(10, make);
        TMemoryBlock* block = doc->Image.BlockByIndex(doc->Image.BlockCount() - 1);
        ASSERT_EQ(block->Address, 0x9000u);
        ASSERT_EQ(doc->InternalChannelCount(), 16);
        ASSERT_EQ(doc->DioChannelCount(), 16);
        EXPECT_EQ(doc->InternalChannelByIndex(16), nullptr);
        for (int i = 0; i < 16; ++i) {
            SCOPED_TRACE(i);
            TInternalChannel* own = doc->InternalChannelByIndex(i);
            TDIO_Channel* dio = doc->DioChannelByIndex(i);
            EXPECT_EQ(own->Block, block);
            EXPECT_EQ(dio->Block, block);
            EXPECT_EQ(own->NodeOffset(), 20 * i);
            EXPECT_EQ(dio->NodeOffset(), 320 + 20 * i);
            EXPECT_EQ(own->Name, platform::Format("Внутренний_канал_%.2d", i + 1));
            EXPECT_EQ(dio->Name, platform::Format("DIO_канал_%.2d", i + 1));
            for (TFieldLst* channel : {static_cast<TFieldLst*>(own), static_cast<TFieldLst*>(dio)}) {
                const char* keys[] = {"start_adr", "count", "VAC", "Chtype", "ChFrm", "shared_delay"};
                ASSERT_EQ(channel->FieldCount(), 6);
                for (int k = 0; k < 6; ++k) EXPECT_EQ(channel->FieldName(k), keys[k]);
                EXPECT_EQ(channel->Find<TField>("start_adr")->GetValue().ToInt32(), 1);
                EXPECT_EQ(channel->Find<TField>("Chtype")->GetValue().ToInt32(), 255);
                EXPECT_EQ(channel->Find<TField>("ChFrm")->GetValue().ToInt32(), 255);
            }
        }
    }
}

TEST(Zumo7Doc, PortsOfTheBoards)
{
    const std::pair<int, Names> cases[] = {
        {10, {"COM1", "Xport1", "COM2", "USB"}},
        {30, {"COM1", "Xport1", "COM2", "USB"}},
        {70, {"COM1", "Xport1", "COM2", "USB", "COM3", "COM4"}},
        {170, {"COM1", "Xport1", "COM2", "USB", "COM3", "COM4", "COM5"}},
        {220, {"COM1", "Xport1", "COM2", "USB", "Xport3", "Xport4", "Xport2"}},
        {610, {"COM1", "Xport1", "COM2", "USB", "COM3", "Modem1"}},
        {630, {"COM1", "Xport1", "COM2", "USB", "COM3"}},
        {670, {"COM1", "Xport1", "COM2", "USB", "Modem2", "Modem1"}},
        {730, {"COM1", "Modem3", "COM2", "USB", "Modem2", "Modem1", "Modem4"}},
        {760, {"COM1", "Modem3", "COM2", "USB", "Modem2", "Modem1", "Modem4"}},
    };
    for (const auto& [board, names] : cases) {
        SCOPED_TRACE(board);
        auto doc = NewOnBoard(board);
        EXPECT_EQ(doc->GetPortNames(), names);
        ASSERT_EQ(doc->PortCount(), static_cast<int>(names.size()));
        EXPECT_EQ(doc->PortByIndex(doc->PortCount()), nullptr);
        for (int i = 0; i < doc->PortCount(); ++i) {
            const TUART* port = doc->PortByIndex(i);
            const PortPlace& place = kPlaces.at(names[static_cast<size_t>(i)]);
            EXPECT_EQ(port->Name, names[static_cast<size_t>(i)]);
            EXPECT_STREQ(port->ClassName(), place.className) << port->Name;
            EXPECT_EQ(KeyOf(*doc, port), place.key) << port->Name;
            EXPECT_EQ(port->Offset, place.offset) << port->Name;
            EXPECT_EQ(port->Block, doc->Image.BlockByIndex(1)) << port->Name;
        }
    }
}

TEST(Zumo7Doc, EveryBoardKeepsTheHeaderLayout)
{
    auto doc = MakeAs<TZumo7Doc>(MakeZumo7Doc, false);
    std::vector<uint16_t> boards;
    GetBoardList(boards);
    for (uint16_t board : boards) {
        SCOPED_TRACE(board);
        doc->SetBoardSignature(board);
        EXPECT_EQ(doc->Find<TField>("noname_0_1")->Offset, 56);
        EXPECT_EQ(doc->SchemeIdField()->Offset, 88);
        std::set<std::string> captions, keys;
        for (int i = 0; i < doc->PortCount(); ++i) {
            const TUART* port = doc->PortByIndex(i);
            EXPECT_TRUE(captions.insert(port->Name).second) << port->Name;
            EXPECT_TRUE(keys.insert(KeyOf(*doc, port)).second) << port->Name;
            if (port->ClassName() == std::string("TModemPort")) {
                EXPECT_EQ(port->Find<TField>("016")->GetValue().ToInt32(), 1) << port->Name;
            }
        }
        EXPECT_EQ(doc->PortByIndex(0)->Name, "COM1");
        EXPECT_STREQ(doc->PortByIndex(0)->ClassName(), "TPortCOM");
        EXPECT_EQ(KeyOf(*doc, doc->PortByIndex(0)), "UART0");
        if (IsModemBoardM4(board)) {
            EXPECT_EQ(doc->Find<TUART>("UART1")->Name, "Modem3");
            EXPECT_EQ(doc->Find<TUART>("UART1")->Offset, 8);
            EXPECT_EQ(doc->Find<TUART>("UART6")->Name, "Modem4");
            EXPECT_EQ(doc->Find<TUART>("UART6")->Offset, 48);
        }
    }
    EXPECT_TRUE(doc->RefusedKeys().empty());
}

TEST(Zumo7Doc, MetaRecordOfANewDocument)
{
    auto doc = NewOnBoard(10);
    const uint8_t* meta = doc->Image.BlockByIndex(0)->Data();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(meta), 11), "quorvandell");
    EXPECT_EQ(Hex(meta + 11, 9), "02 01 02 00 00 00 0A 00 00");
    EXPECT_EQ(doc->Image.BlockByIndex(0)->Address + doc->BaseAddress, 0x0800F700u);
}

TEST(Zumo7Doc, SetBoardSignatureRefillsAndRebuildsOnlyForAnotherBoard)
{
    auto doc = NewOnBoard(10);
    doc->SetBoardSignature(730);
    EXPECT_EQ(doc->BoardSignature(), 730);
    EXPECT_EQ(Hex(doc->Image.BlockByIndex(0)->Data() + 11, 9), "02 01 04 00 00 00 DA 02 04");
    EXPECT_EQ(doc->PortCount(), 7);
    std::vector<TUART*> before;
    for (int i = 0; i < doc->PortCount(); ++i) before.push_back(doc->PortByIndex(i));
    const int retired = doc->RetiredPortCount();
    EXPECT_GT(retired, 0);
    doc->SetBoardSignature(730);
    for (int i = 0; i < doc->PortCount(); ++i) EXPECT_EQ(doc->PortByIndex(i), before[static_cast<size_t>(i)]);
    EXPECT_EQ(doc->RetiredPortCount(), retired);
    doc->ReleaseRetiredPorts();
    EXPECT_EQ(doc->RetiredPortCount(), 0);
}

TEST(Zumo7Doc, ValidateChecksTheMetaRecordInOrder)
{
    enum class Kind { Plain, Meta, Board, None };
    struct Case {
        const char* name;
        std::function<void(TZumo7Doc&)> change;
        Kind kind;
        const char* text;
    };
    const char* const noRecord = "Конфигурация не поддерживается(не найдена заводская запись)";
    const Case cases[] = {
        {"wrong magic and version",
         [](TZumo7Doc& d) {
             SetMeta(d, "magic_signature", "Quorvandell");
             SetMeta(d, "meta_ver", int32_t{3});
         },
         Kind::Plain, noRecord},
        {"empty magic", [](TZumo7Doc& d) { SetMeta(d, "magic_signature", ""); }, Kind::Plain, noRecord},
        {"version 3", [](TZumo7Doc& d) { SetMeta(d, "meta_ver", int32_t{3}); }, Kind::Plain,
         "Конфигурация не поддерживается\rОбновите конфигуратор\rmetadata ver error"},
        {"version 0", [](TZumo7Doc& d) { SetMeta(d, "meta_ver", int32_t{0}); }, Kind::Plain,
         "Конфигурация не поддерживается\rОбновите конфигуратор\rmetadata ver error"},
        {"signature 15", [](TZumo7Doc& d) { SetMeta(d, "meta_board_signature", int32_t{15}); }, Kind::Board,
         "Возникла ошибка при проверке идентификатора контроллера (15)"},
        {"ethernet", [](TZumo7Doc& d) { SetMeta(d, "meta_ether_count", int32_t{2}); }, Kind::Meta,
         "Возникла ошибка при проверке кол. ethernet портов"},
        {"RS232", [](TZumo7Doc& d) { SetMeta(d, "meta_RS232_count", int32_t{3}); }, Kind::Meta,
         "Возникла ошибка при проверке кол. RS232 портов"},
        {"RS485", [](TZumo7Doc& d) { SetMeta(d, "meta_RS485_count", int32_t{1}); }, Kind::Meta,
         "Возникла ошибка при проверке кол. RS485 портов"},
        {"DI", [](TZumo7Doc& d) { SetMeta(d, "meta_InternalDI", int32_t{8}); }, Kind::Meta,
         "Возникла ошибка при проверке кол. DI портов"},
        {"DO", [](TZumo7Doc& d) { SetMeta(d, "meta_InternalDO", int32_t{8}); }, Kind::Meta,
         "Возникла ошибка при проверке кол. DO портов"},
        {"modem info", [](TZumo7Doc& d) { SetMeta(d, "meta_ModemInfo", int32_t{9}); }, Kind::None, ""},
        {"version 1", [](TZumo7Doc& d) { SetMeta(d, "meta_ver", int32_t{1}); }, Kind::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto doc = NewOnBoard(10);
        c.change(*doc);
        Kind kind = Kind::None;
        std::string text;
        try {
            doc->Validate();
        } catch (const EBoardSign& e) {
            kind = Kind::Board;
            text = e.what();
        } catch (const EMetaStruc& e) {
            kind = Kind::Meta;
            text = e.what();
        } catch (const std::exception& e) {
            kind = Kind::Plain;
            text = e.what();
        }
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(text, c.text);
    }
}

TEST(Zumo7Doc, CaptionByMetaVersion)
{
    const std::tuple<int, int, std::string> cases[] = {
        {0, 610, "Контроллер Zumo7 модификация не определена(нет заводской записи)"},
        {1, 610, "Zumo7-E1C20-M1"},
        {2, 610, "Zumo7-E1C20-M1"},
        {7, 10, "Контроллер Zumo7 модификация не поддерживается; meta_ver 7, board 10"},
    };
    for (const auto& [version, board, caption] : cases) {
        SCOPED_TRACE(version);
        auto doc = NewOnBoard(board);
        SetMeta(*doc, "meta_ver", int32_t{version});
        EXPECT_EQ(doc->GetCaption(), caption);
    }
}

// Files: a document saved and loaded into another.
class Zumo7Files : public ::testing::Test {
protected:
    // Saves the document and loads the file into a fresh document of the maker on board
    // 10, with the prompt (none: every question answered "No to all").
    std::unique_ptr<TZumo7Doc> Reopen(TZumo7Doc& doc, IDefaultPrompt* prompt, Maker make = MakeZumo7Doc)
    {
        doc.SaveToFile(dir / "file.hex");
        auto back = NewOnBoard(10, make);
        back->Prompt = prompt;
        back->LoadFromFile(dir / "file.hex");
        return back;
    }

    TempDir dir;
};

TEST_F(Zumo7Files, RoundTripOfEveryBlockAndPort)
{
    for (int board : {10, 220, 610, 730}) {
        SCOPED_TRACE(board);
        auto doc = NewOnBoard(board);
        for (int i = 0; i < doc->PortCount(); ++i) doc->PortByIndex(i)->Find<TField>("055")->SetValue(int32_t{100 + i});
        doc->Image.BlockByIndex(0)->Data()[40] = 0x5A; // reserved bytes of the meta block
        doc->Find<TField>("041")->SetValue(int32_t{321});
        doc->DeviceByIndex(3)->AddressField()->SetValue(int32_t{77});
        doc->ApertureByIndex(2)->Find<TField>("0001")->SetValue(2.5);
        doc->InternalChannelByIndex(5)->Find<TField>("count")->SetValue(int32_t{9});
        doc->DioChannelByIndex(15)->Find<TField>("VAC")->SetValue(int32_t{1234});
        doc->Image.BlockByIndex(4)->Data()[700] = 0xA5; // reserved bytes of the channel block

        auto back = Reopen(*doc, nullptr);
        EXPECT_EQ(back->BoardSignature(), board);
        EXPECT_EQ(back->GetPortNames(), doc->GetPortNames());
        EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
        for (int i = 0; i < back->PortCount(); ++i)
            EXPECT_EQ(back->PortByIndex(i)->Find<TField>("055")->GetValue().ToInt32(), 100 + i);
    }
}

TEST_F(Zumo7Files, AZumo2FileLacksTheMetaBlock)
{
    auto zumo2 = MakeZumo2Doc();
    zumo2->ResetDefaults();
    zumo2->SaveToFile(dir / "zumo2.hex");
    auto doc = NewOnBoard(10);
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "zumo2.hex"); }),
              "Файл параметров не имеет блока данных 0800F700 - 0800F740");
    EXPECT_EQ(doc->GetCaption(), "Контроллер Zumo7 модификация не определена(нет заводской записи)");
}

TEST_F(Zumo7Files, OldMetaVersionsAreUpgradedBeforeTheCheck)
{
    for (int version : {0, 1}) {
        SCOPED_TRACE(version);
        auto doc = NewOnBoard(630);
        SetMeta(*doc, "meta_ver", int32_t{version});
        SetMeta(*doc, "meta_ModemInfo", int32_t{0});
        ScriptedPrompt prompt;
        auto back = Reopen(*doc, &prompt);
        EXPECT_EQ(Meta(*back, "meta_ver"), 2);
        EXPECT_EQ(Meta(*back, "meta_ModemInfo"), 1);
        EXPECT_TRUE(prompt.Questions().empty());
    }
}

TEST_F(Zumo7Files, LoadingAdoptsTheFilesBoard)
{
    auto doc730 = NewOnBoard(730);
    auto back = Reopen(*doc730, nullptr);
    EXPECT_EQ(back->BoardSignature(), 730);
    EXPECT_EQ(back->GetPortNames(), doc730->GetPortNames());
    EXPECT_EQ(back->GetCaption(), "Zumo7-E1C20-M4");

    // The same board keeps its records.
    auto doc10 = NewOnBoard(10);
    doc10->SaveToFile(dir / "ten.hex");
    auto same = NewOnBoard(10);
    std::vector<TUART*> before;
    for (int i = 0; i < same->PortCount(); ++i) before.push_back(same->PortByIndex(i));
    same->LoadFromFile(dir / "ten.hex");
    for (int i = 0; i < same->PortCount(); ++i) EXPECT_EQ(same->PortByIndex(i), before[static_cast<size_t>(i)]);
    EXPECT_EQ(same->RetiredPortCount(), 0);
}

// A file of another board, then New on that board (or the reset of the whole document):
// the meta record must describe the loaded board, whose ports the document now has.
TEST_F(Zumo7Files, ResetsAfterLoadingAnotherBoardKeepItsMetaRecord)
{
    auto doc730 = NewOnBoard(730);
    for (bool rootReset : {false, true}) {
        SCOPED_TRACE(rootReset);
        auto doc = Reopen(*doc730, nullptr);
        ASSERT_EQ(doc->BoardSignature(), 730);
        if (rootReset) {
            for (int i = 0; i < doc->FieldCount(); ++i) doc->FieldByIndex(i)->ResetDefaults();
        } else {
            doc->SetBoardSignature(730);
            doc->ResetDefaults();
        }
        EXPECT_EQ(Meta(*doc, "meta_board_signature"), 730);
        EXPECT_EQ(Meta(*doc, "meta_RS232_count"), 4);
        EXPECT_EQ(Meta(*doc, "meta_ModemInfo"), 4);
        EXPECT_NO_THROW(doc->Validate());
        ScriptedPrompt prompt;
        auto again = Reopen(*doc, &prompt);
        EXPECT_EQ(again->BoardSignature(), 730);
        EXPECT_EQ(again->GetPortNames(), doc730->GetPortNames());
        EXPECT_TRUE(prompt.Questions().empty());
    }
}

TEST_F(Zumo7Files, NewDocumentsPassTheirOwnCheck)
{
    for (Maker make : {MakeZumo7Doc, MakeZumo7sinDoc})
        for (int board : {10, 610, 730}) {
            SCOPED_TRACE(board);
            auto doc = NewOnBoard(board, make);
            ScriptedPrompt prompt;
            doc->Prompt = &prompt;
            EXPECT_NO_THROW(doc->AfterLoad());
            EXPECT_TRUE(prompt.Questions().empty());
        }
}

TEST_F(Zumo7Files, SyncFileHoldsItsBlocksInOrderAndPeersReadIt)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    auto doc = NewOnBoard(610, MakeZumo7sinDoc);
    doc->ScaleByIndex(4)->Find<TField>("descr")->SetValue("Ток фазы А");
    doc->DeviceByIndex(0)->ScaleBlockByIndex(59)->Find<TField>("0003")->SetValue(int32_t{5});
    EXPECT_EQ(doc->DeviceByIndex(0)->ScaleBlockByIndex(59)->Find<TLookupProxyField>("descr")->LookupText(-1),
              "Ток фазы А");
    doc->SaveToFile(dir / "sin.hex");

    // The data records run through the blocks in the document's order.
    std::ifstream file(dir / "sin.hex");
    std::vector<uint32_t> order;
    uint32_t upper = 0;
    for (std::string line; std::getline(file, line);) {
        const auto byte = [&](size_t at) { return static_cast<uint32_t>(std::stoul(line.substr(at, 2), nullptr, 16)); };
        const uint32_t type = byte(7);
        if (type == 4) upper = byte(9) << 24 | byte(11) << 16;
        if (type != 0) continue;
        const uint32_t address = (upper | byte(3) << 8 | byte(5)) - doc->BaseAddress;
        uint32_t block = 0;
        for (int i = 0; i < doc->Image.BlockCount(); ++i)
            if (address >= doc->Image.BlockByIndex(i)->Address) block = std::max(block, doc->Image.BlockByIndex(i)->Address);
        if (order.empty() || order.back() != block) order.push_back(block);
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{0xB700, 0x0000, 0x0200, 0x55D0, 0x7000, 0x9000}));
    EXPECT_EQ(IntelHexLines(dir / "sin.hex"), AddressLines(*doc));

    ASSERT_EQ(RunCommand("srec_cat " + Quote(dir / "sin.hex") + " -intel -o " + Quote(dir / "other.hex") +
                         " -intel -obs=32 >/dev/null 2>&1"),
              0);
    auto back = NewOnBoard(10, MakeZumo7sinDoc);
    ScriptedPrompt prompt;
    back->Prompt = &prompt;
    back->LoadFromFile(dir / "other.hex");
    EXPECT_TRUE(prompt.Questions().empty());
    EXPECT_EQ(back->BoardSignature(), 610);
    EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    EXPECT_EQ(back->DeviceByIndex(0)->ScaleBlockByIndex(59)->Find<TLookupProxyField>("descr")->LookupText(-1),
              "Ток фазы А");
}
