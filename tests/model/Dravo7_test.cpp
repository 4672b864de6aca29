#include "model/uDravo7.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/ProtocolBlockFixture.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace testsupport;
using platform::Format;

namespace {

std::unique_ptr<TZumo2Doc> NewDoc(std::unique_ptr<TZumo2Doc> (*make)(), bool reset = true)
{
    auto doc = make();
    if (reset) doc->ResetDefaults();
    return doc;
}

// The bytes of a document at an image offset.
std::vector<uint8_t> Bytes(TZumo2Doc& doc, uint32_t offset, size_t count)
{
    std::vector<uint8_t> out(count);
    EXPECT_TRUE(doc.Image.CopyRange(offset, out, false)) << std::hex << offset;
    return out;
}

// The paths the default check asks about, each answered `answer`.
std::vector<std::string> AskedPaths(TZumo2Doc& doc, int answer = mrNo)
{
    struct Recorder : IDefaultPrompt {
        int answer;
        std::vector<std::string> paths;
        int ask(const std::string& text) override
        {
            const size_t open = text.find('"');
            paths.push_back(text.substr(open + 1, text.find('"', open + 1) - open - 1));
            return answer;
        }
    } prompt;
    prompt.answer = answer;
    TDefaultCheckRun run{0, &prompt};
    doc.CheckDefaults(doc.ModelName, run);
    return prompt.paths;
}

struct DocCase {
    std::unique_ptr<TZumo2Doc> (*make)();
    const char* className;
    const char* modelName;
    const char* name;
    const char* scheme;
    const char* portA; // the class of "UART1"
    std::vector<std::pair<uint32_t, int32_t>> blocks;
};

const DocCase kDocs[] = {
    {MakeDravo7Doc, "TDravo7Doc", "Dravo7", "Контроллер Dravo7", "Scheme ID:8.0.0.0", "TPortA",
     {{0x0000, 76}, {0x0200, 14800}, {0x7000, 1925}}},
    {MakeDravo7_sinDoc, "TDravo7_sinDoc", "Dravo7 синх", "Zumo2", "Scheme ID:12.0.0.0", "TPortCOM",
     {{0x0000, 76}, {0x0200, 13595}, {0x7000, 1800}}},
};

} // namespace

TEST(Dravo7, DocumentsAndTheirBlocks)
{
    for (const DocCase& c : kDocs) {
        SCOPED_TRACE(c.className);
        auto doc = c.make();
        EXPECT_STREQ(doc->ClassName(), c.className);
        EXPECT_EQ(doc->ModelName, c.modelName);
        EXPECT_EQ(doc->Name, c.name);
        EXPECT_EQ(doc->GetCaption(), c.modelName);
        EXPECT_EQ(doc->ExpectedSchemeId, c.scheme);
        EXPECT_EQ(doc->BaseAddress, 0x08004000u);
        EXPECT_EQ(doc->PuProtocolMask, 0x00D59B7Eu);
        EXPECT_EQ(doc->KpProtocolMask, 0x0FEFEFBEu);
        EXPECT_EQ(doc->LogicKindMask, 255);
        EXPECT_EQ(doc->GetPortNames(), (std::vector<std::string>{"Port B", "Port A"}));
        ASSERT_EQ(doc->Image.BlockCount(), static_cast<int>(c.blocks.size()));
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(doc->Image.BlockByIndex(static_cast<int>(i))->Address, c.blocks[i].first) << i;
            EXPECT_EQ(doc->Image.BlockByIndex(static_cast<int>(i))->Size, c.blocks[i].second) << i;
        }
        EXPECT_EQ(doc->Find<TFieldLst>("UART1")->ClassName(), std::string(c.portA));
        EXPECT_EQ(doc->LogicChannelCount(), 20);
        EXPECT_EQ(doc->ApertureCount(), 50);
        EXPECT_EQ(doc->ScaleCount(), 50);
        // The base model's other common fields and its "UART2" are not there.
        for (const char* key : {"UART2", "time_offset", "inv_all_ts", "settime_test", "TS_DPI_buf_size",
                                "XPORT_settime_p", "noname_0_1"})
            EXPECT_EQ(doc->FindField(key), nullptr) << key;
    }
    // The synchronous variant is no TDravo7Doc.
    EXPECT_EQ(dynamic_cast<TDravo7Doc*>(MakeDravo7_sinDoc().get()), nullptr);
}

TEST(Dravo7, HeaderOffsetTable)
{
    struct Row {
        const char* key;
        int32_t offset;
        int32_t size;     // of the field, or of its bits' container
        int position = 0; // of a bit field; -1: a whole field
        int32_t def = 0;
        bool checked = false;
    };
    const Row rows[] = {
        {"noname_0", 24, 4, -1, 0, false},  {"noname_1", 28, 4, -1, 0, false}, {"noname_2", 32, 2, -1, 0, false},
        {"021", 34, 2, 0, 0, true},         {"022", 34, 2, 1, 1, false},       {"023", 34, 2, 2, 0, false},
        {"024", 34, 2, 3, 1, false},        {"025", 34, 2, 4, 1, true},        {"026", 34, 2, 5, 0, true},
        {"027", 34, 2, 6, 0, true},         {"028", 34, 2, 7, 0, false},       {"040", 36, 2, -1, 0, true},
        {"041", 38, 2, -1, 500, false},     {"042", 40, 2, -1, 500, false},    {"043", 42, 2, -1, 0, false},
        {"044", 44, 2, -1, 1440, false},    {"045", 46, 2, -1, 0, true},       {"048", 48, 1, -1, -1, true},
        {"049", 49, 1, -1, -1, true},       {"047", 50, 2, -1, 0, true},       {"noname_3", 52, 4, -1, 0, false},
    };
    struct Port {
        const char* key;
        const char* name;
        int32_t offset;
        int32_t duplex;
    };
    const Port ports[] = {{"UART0", "Port B", 0, 0}, {"UART1", "Port A", 8, 0}, {"USB", "USB", 16, 1}};

    for (const DocCase& c : kDocs) {
        SCOPED_TRACE(c.className);
        auto doc = c.make();
        for (const Row& r : rows) {
            SCOPED_TRACE(r.key);
            auto* field = doc->Find<TField>(r.key);
            ASSERT_NE(field, nullptr);
            EXPECT_EQ(field->Block, doc->Image.BlockByIndex(0));
            EXPECT_EQ(field->NodeOffset(), r.offset);
            EXPECT_EQ(field->Size, r.size);
            EXPECT_EQ(field->DefaultValue.ToInt32(), r.def);
            EXPECT_EQ(field->CheckDefault, r.checked);
            auto* bits = dynamic_cast<TBitFleld*>(field);
            EXPECT_EQ(bits != nullptr, r.position >= 0);
            if (bits) {
                EXPECT_EQ(bits->Position, r.position);
                EXPECT_EQ(bits->BitCount, 1);
            }
        }
        EXPECT_EQ(doc->FindField("048")->Size, 1);
        EXPECT_EQ(doc->Find<TField>("048")->FieldType, ftShortInt);
        EXPECT_EQ(doc->Find<TField>("049")->FieldType, ftShortInt);
        for (const Port& p : ports) {
            auto* port = doc->Find<TUART>(p.key);
            ASSERT_NE(port, nullptr) << p.key;
            EXPECT_EQ(port->Name, p.name);
            EXPECT_EQ(port->NodeOffset(), p.offset);
            EXPECT_EQ(port->DuplexDefault(), p.duplex);
            EXPECT_TRUE(AuditLayout(*port, 8));
        }
        EXPECT_STREQ(doc->Find<TFieldLst>("UART0")->ClassName(), "TPortCOM");
        EXPECT_STREQ(doc->Find<TFieldLst>("USB")->ClassName(), "TUART");
        TStrField* scheme = doc->SchemeIdField();
        ASSERT_NE(scheme, nullptr);
        EXPECT_EQ(doc->FindField("SchemeID"), scheme);
        EXPECT_EQ(scheme->NodeOffset(), 56);
        EXPECT_EQ(scheme->Size, 20);
        EXPECT_EQ(scheme->NodeOffset() + scheme->Size, 76) << "the header ends with the scheme";
    }
}

// Every direct child of a document lies inside its block and clear of the others,
// but for bit fields of one container; every record passes the layout audit.
TEST(Dravo7, EveryRecordIsLaidOutSoundly)
{
    const std::map<std::string, int32_t> recordSizes = {
        {"TPortCOM", 8},      {"TPortA", 8},     {"TUART", 8},           {"TDevice", 724},
        {"TDravo7sin_Device", 1364}, {"TLogic", 16}, {"TAppertureTIT", 4}, {"TScaleTIT", 8},
        {"TDravo7sin_ScaleTIT", 8},  {"TInverseTS", 1},
    };
    for (const DocCase& c : kDocs) {
        SCOPED_TRACE(c.className);
        auto doc = c.make();
        EXPECT_TRUE(doc->RefusedKeys().empty());
        std::map<const TMemoryBlock*, std::vector<std::pair<int64_t, const TObjNode*>>> byBlock;
        for (int i = 0; i < doc->FieldCount(); ++i) {
            const TObjNode* node = doc->FieldByIndex(i);
            byBlock[node->Block].push_back({node->NodeOffset(), node});
            if (auto* list = dynamic_cast<const TFieldLst*>(node)) {
                const auto size = recordSizes.find(list->ClassName());
                ASSERT_NE(size, recordSizes.end()) << list->ClassName();
                EXPECT_TRUE(AuditLayout(*list, size->second));
            }
        }
        for (auto& [block, nodes] : byBlock) {
            ASSERT_NE(block, nullptr);
            std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            int64_t end = 0;
            const TObjNode* last = nullptr;
            for (const auto& [offset, node] : nodes) {
                const bool sharesContainer = last && dynamic_cast<const TBitFleld*>(node) &&
                                             dynamic_cast<const TBitFleld*>(last) && last->NodeOffset() == offset;
                EXPECT_TRUE(offset >= end || sharesContainer) << std::hex << block->Address << " " << std::dec << offset;
                end = std::max(end, offset + node->Size);
                last = node;
            }
            EXPECT_LE(end, block->Size) << std::hex << block->Address;
        }
    }
}

TEST(Dravo7, ResetHeaderBytes)
{
    auto doc = NewDoc(MakeDravo7Doc);
    struct Spot {
        uint32_t offset;
        std::vector<uint8_t> bytes;
    };
    const Spot spots[] = {
        {0, {0x00, 0x00}},  {8, {0x00, 0x00}},  {16, {0x08, 0x00}}, {34, {0x1A, 0x00}},
        {38, {0xF4, 0x01}}, {40, {0xF4, 0x01}}, {44, {0xA0, 0x05}}, {48, {0xFF, 0xFF}},
    };
    for (const Spot& s : spots) EXPECT_EQ(Bytes(*doc, s.offset, s.bytes.size()), s.bytes) << s.offset;
    std::vector<uint8_t> scheme(20, 0);
    std::memcpy(scheme.data(), "Scheme ID:8.0.0.0", 17);
    EXPECT_EQ(Bytes(*doc, 56, 20), scheme);

    auto sin = NewDoc(MakeDravo7_sinDoc);
    EXPECT_EQ(sin->SchemeIdField()->GetValue().ToString(), "Scheme ID:12.0.0.0");
    EXPECT_EQ(Bytes(*sin, 0, 56), Bytes(*doc, 0, 56)) << "the same header defaults";
}

TEST(Dravo7, InversionRecords)
{
    auto doc = NewDoc(MakeDravo7Doc);
    ASSERT_EQ(doc->InverseTSCount(), 125);
    for (int i = 0; i < 125; ++i) {
        TInverseTS* record = doc->InverseTSByIndex(i);
        const std::string name = Format("Инверсия_ТС_%.2d", i + 1);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_EQ(record->Name, name);
        EXPECT_EQ(doc->FindField(name), record);
        EXPECT_EQ(record->Block->Address, 0x7000u);
        EXPECT_EQ(record->NodeOffset(), 1800 + i);
        EXPECT_EQ(record->Size, 1);
    }
    EXPECT_EQ(doc->InverseTSByIndex(125), nullptr);
    EXPECT_EQ(doc->InverseTSByIndex(99)->Name, "Инверсия_ТС_100");

    TInverseTS& last = *doc->InverseTSByIndex(124);
    EXPECT_EQ(last.Name, "Инверсия_ТС_125");
    EXPECT_EQ(last.NodeOffset(), 1924);
    EXPECT_EQ(last.NodeOffset() + 1, doc->Image.BlockByIndex(2)->Size) << "the last byte of the block";
    const auto before = AddressMap(*doc);
    last.Find<TField>("1")->SetValue(int32_t{1});
    auto after = AddressMap(*doc);
    EXPECT_EQ(after[0x0800B000 + 1924], 0x80);
    after[0x0800B000 + 1924] = 0;
    EXPECT_EQ(after, before) << "nothing else changed";

    EXPECT_EQ(NewDoc(MakeDravo7_sinDoc)->InverseTSCount(), 0);
}

TEST(Dravo7, DefaultCheckOfThePorts)
{
    struct Case {
        std::unique_ptr<TZumo2Doc> (*make)();
        const char* key;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {MakeDravo7Doc, "016", {}},
        {MakeDravo7Doc, "018", {}},
        {MakeDravo7Doc, "051", {"Dravo7.UART1.051"}},
        {MakeDravo7Doc, "053", {"Dravo7.UART1.053"}},
        {MakeDravo7Doc, "flag_invDE", {"Dravo7.UART1.flag_invDE"}},
        {MakeDravo7_sinDoc, "016", {}},
        {MakeDravo7_sinDoc, "051", {}},
        {MakeDravo7_sinDoc, "053", {"Dravo7 синх.UART1.053"}},
    };
    for (const Case& c : cases) {
        auto doc = NewDoc(c.make);
        SCOPED_TRACE(doc->ModelName + " " + c.key);
        EXPECT_TRUE(AskedPaths(*doc).empty()) << "a reset document asks nothing";
        TField* field = doc->Find<TFieldLst>("UART1")->Find<TField>(c.key);
        ASSERT_NE(field, nullptr);
        field->SetValue(field->DefaultValue.ToInt32() == 0 ? 1 : 0);
        EXPECT_EQ(AskedPaths(*doc), c.asked);
    }
    // The fixed flags of "USB" are TUART's: every field.
    auto doc = NewDoc(MakeDravo7Doc);
    doc->Find<TFieldLst>("USB")->Find<TField>("018")->SetValue(int32_t{0});
    EXPECT_EQ(AskedPaths(*doc), std::vector<std::string>{"Dravo7.USB.018"});
}

TEST(Dravo7, SyncDevicesAndDescriptions)
{
    auto doc = NewDoc(MakeDravo7_sinDoc);
    ASSERT_EQ(doc->DeviceCount(), 5);
    for (int d = 0; d < 5; ++d) {
        TDevice& device = *doc->DeviceByIndex(d);
        SCOPED_TRACE(device.Name);
        EXPECT_STREQ(device.ClassName(), "TDravo7sin_Device");
        EXPECT_EQ(device.Name, Format("Устройство_%.2d", d + 1));
        EXPECT_EQ(device.NodeOffset(), 1364 * d);
        EXPECT_EQ(device.Size, 1364);
        ASSERT_EQ(device.ApertureBlockCount(), 60);
        ASSERT_EQ(device.ScaleBlockCount(), 60);
        for (int i = 0; i < 60; ++i) {
            TDevApperture& aperture = *device.ApertureBlockByIndex(i);
            TDevScale& scale = *device.ScaleBlockByIndex(i);
            EXPECT_EQ(aperture.NodeOffset(), device.NodeOffset() + 404 + 8 * i);
            EXPECT_EQ(scale.NodeOffset(), device.NodeOffset() + 884 + 8 * i);
            EXPECT_STREQ(aperture.ClassName(), "TDevApperture");
            EXPECT_STREQ(scale.ClassName(), "TDravo7sin_DevScale");
        }
        EXPECT_EQ(device.FindField("Apperture59"), device.ApertureBlockByIndex(59));
        EXPECT_EQ(device.ApertureBlockByIndex(59)->Name, "Канал апертуры 60");
        EXPECT_EQ(device.FindField("Scales59"), device.ScaleBlockByIndex(59));
        EXPECT_EQ(device.ScaleBlockByIndex(59)->Name, "Канал преобр. ТИТ 60");
    }
    EXPECT_EQ(doc->LogicChannelByIndex(0)->NodeOffset(), 6820);
    for (int i = 0; i < 50; ++i) {
        EXPECT_STREQ(doc->ScaleByIndex(i)->ClassName(), "TDravo7sin_ScaleTIT");
        EXPECT_EQ(doc->ScaleByIndex(i)->NodeOffset(), 1400 + 8 * i);
        EXPECT_EQ(doc->ApertureByIndex(i)->NodeOffset(), 1200 + 4 * i);
    }

    auto& sin = dynamic_cast<TDravo7_sinDoc&>(*doc);
    TFlashFixedStringsStorage* storage = sin.ScaleDescriptions;
    ASSERT_NE(storage, nullptr);
    EXPECT_EQ(doc->FindField("scaleTIT_descrList"), storage);
    EXPECT_EQ(storage->Parent, doc.get());
    EXPECT_EQ(storage->Block->Address + storage->NodeOffset(), 0x1DE4u);
    EXPECT_EQ(storage->NodeOffset() + storage->Size, 13595);
    EXPECT_EQ(storage->Count, 50);
    EXPECT_EQ(storage->SlotSize(), 129);
    EXPECT_EQ(Bytes(*doc, 0x1DE4, 5), (std::vector<uint8_t>{0x01, 0x32, 0x00, 0x00, 0x00}));

    // Slot 2 is the description of the third conversion, which the blocks number 3.
    ASSERT_EQ(doc->FindField("Преобразование_03"), doc->ScaleByIndex(2));
    doc->ScaleByIndex(2)->Find<TField>("descr")->SetValue("Ток фазы B");
    EXPECT_EQ(storage->GetString(2), "Ток фазы B");
    const std::vector<uint8_t> slot = Bytes(*doc, 0x1DE4 + 5 + 2 * 129, 11);
    EXPECT_EQ(slot[0], 10);
    int shown = 0;
    for (int d = 0; d < doc->DeviceCount(); ++d) {
        TDevice& device = *doc->DeviceByIndex(d);
        for (int i = 0; i < device.ScaleBlockCount(); ++i) {
            TDevScale& block = *device.ScaleBlockByIndex(i);
            auto* lookup = block.Find<TLookupProxyField>("descr");
            ASSERT_NE(lookup, nullptr);
            if ((d + i) % 7 == 0) block.Find<TField>("0003")->SetValue(int32_t{3});
            if (block.Find<TField>("0003")->GetValue().ToInt32() == 3) {
                EXPECT_EQ(lookup->LookupText(-1), "Ток фазы B") << d << " " << i;
                ++shown;
            }
        }
    }
    EXPECT_GT(shown, 40);
}

TEST(Dravo7, SavedFilesHoldTheBlocksInListOrderAndPeersReadThem)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    for (const DocCase& c : kDocs) {
        SCOPED_TRACE(c.className);
        TempDir dir;
        auto doc = NewDoc(c.make);
        doc->DeviceByIndex(1)->AddressField()->SetValue(int32_t{0x1234});
        doc->SaveToFile(dir / "a.hex");

        // The data records, as (address, length), follow the blocks in list order.
        std::vector<std::pair<uint32_t, uint32_t>> expected;
        for (const auto& [start, size] : c.blocks)
            for (uint32_t at = 0; at < static_cast<uint32_t>(size); at += 16)
                expected.push_back({0x4000 + start + at, std::min(16u, static_cast<uint32_t>(size) - at)});
        std::vector<std::pair<uint32_t, uint32_t>> records;
        const std::string text = ReadFile(dir / "a.hex");
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            if (line.substr(7, 2) == "00")
                records.push_back({std::stoul(line.substr(3, 4), nullptr, 16), std::stoul(line.substr(1, 2), nullptr, 16)});
            at = end + 1;
        }
        EXPECT_EQ(records, expected);

        EXPECT_EQ(IntelHexLines(dir / "a.hex"), AddressLines(*doc));
        ASSERT_EQ(RunCommand("srec_cat '" + (dir / "a.hex").string() + "' -intel -o '" + (dir / "b.hex").string() +
                             "' -intel -obs=32"),
                  0);
        auto back = NewDoc(c.make, false);
        ScriptedPrompt prompt; // any question fails the test
        back->Prompt = &prompt;
        back->LoadFromFile(dir / "b.hex");
        EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    }
}

TEST(Dravo7, RandomImagesRoundTripByteForByte)
{
    std::mt19937 random(1123);
    for (const DocCase& c : kDocs) {
        SCOPED_TRACE(c.className);
        TempDir dir;
        auto doc = NewDoc(c.make, false);
        for (int i = 0; i < doc->Image.BlockCount(); ++i) {
            TMemoryBlock* block = doc->Image.BlockByIndex(i);
            for (int32_t at = 0; at < block->Size; ++at) block->Data()[at] = static_cast<uint8_t>(random());
        }
        uint8_t* header = doc->Image.BlockByIndex(0)->Data();
        std::memset(header + 56, 0, 20);
        std::memcpy(header + 56, c.scheme, std::strlen(c.scheme));
        if (auto* storage = doc->Find<TFlashFixedStringsStorage>("scaleTIT_descrList")) storage->WriteHeader();
        doc->SaveToFile(dir / "a.hex");

        auto back = NewDoc(c.make, false);
        ScriptedPrompt prompt{mrNoToAll};
        back->Prompt = &prompt;
        back->LoadFromFile(dir / "a.hex");
        EXPECT_EQ(prompt.Questions().size(), 1u);
        back->SaveToFile(dir / "b.hex");
        EXPECT_EQ(ReadFile(dir / "b.hex"), ReadFile(dir / "a.hex"));
    }
}

namespace {

// A parameter file of the Zumo 4 layout with its defaults: three ports at 0, 8 and 16,
// the base model's common fields from 24, "SchemeID" at 56 in an 84-byte header, and
// the base model's other blocks. The base model's header carries the same three ports
// before its "USB" and the same common fields eight bytes later.
void SaveZumo4File(const std::filesystem::path& file)
{
    auto zumo2 = NewDoc(MakeZumo2Doc);
    TMemory image;
    for (int i = 0; i < zumo2->Image.BlockCount(); ++i) {
        const TMemoryBlock* b = zumo2->Image.BlockByIndex(i);
        uint8_t* out = image.AddBlock(zumo2->BaseAddress + b->Address, b->Size)->Data();
        if (b->Address != 0) {
            std::memcpy(out, b->Data(), static_cast<size_t>(b->Size));
            continue;
        }
        std::memcpy(out, b->Data(), 24);
        std::memcpy(out + 24, b->Data() + 32, 52);
    }
    image.SaveToHexFile(file, false, 0, 16);
}

} // namespace

TEST(Dravo7, FilesOfOtherModels)
{
    TempDir dir;
    NewDoc(MakeZumo2Doc)->SaveToFile(dir / "zumo2.hex");
    NewDoc(MakeDravo7Doc)->SaveToFile(dir / "dravo7.hex");
    SaveZumo4File(dir / "zumo4.hex");

    struct Case {
        const char* file;
        std::unique_ptr<TZumo2Doc> (*make)();
        std::string error;
        std::vector<std::string> questions; // the paths asked about
    };
    const Case cases[] = {
        {"zumo2.hex", MakeDravo7Doc,
         "Файл параметров имеет версию \"яя\" вместо \"Scheme ID:8.0.0.0\"\r\nПрошивка не подходит для "
         "контроллера Dravo7",
         {}},
        {"dravo7.hex", MakeZumo2Doc, "Файл параметров не имеет блока данных 08004000 - 08004054", {}},
        {"zumo4.hex", MakeDravo7Doc, "(no error)", {"Dravo7.USB.018"}},
        {"dravo7.hex", MakeDravo7_sinDoc,
         "Файл параметров имеет версию \"Scheme ID:8.0.0.0\" вместо \"Scheme ID:12.0.0.0\"\r\nПрошивка не "
         "подходит для контроллера Dravo7 синх",
         {}},
    };
    for (const Case& c : cases) {
        auto doc = NewDoc(c.make, false);
        SCOPED_TRACE(std::string(c.file) + " -> " + doc->ModelName);
        ScriptedPrompt prompt;
        for (size_t i = 0; i < c.questions.size(); ++i) prompt.Push(mrNo);
        doc->Prompt = &prompt;
        EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / c.file); }), c.error);
        ASSERT_EQ(prompt.Questions().size(), c.questions.size());
        for (size_t i = 0; i < c.questions.size(); ++i)
            EXPECT_NE(prompt.Questions()[i].find("\"" + c.questions[i] + "\""), std::string::npos)
                << prompt.Questions()[i];
    }
}
