#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using testsupport::AddressMap;
using testsupport::RunCommand;
using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::ErrorOf;

namespace {

// A base document that counts its validations.
class TCountingDoc : public TZumo2Doc {
public:
    int validations = 0;
    void Validate() override { ++validations; }
};

std::unique_ptr<TZumo2Doc> NewDocument()
{
    auto doc = MakeZumo2Doc();
    doc->ResetDefaults();
    return doc;
}

// The bytes of the document at an absolute address.
std::vector<uint8_t> At(const TZumo2Doc& doc, uint32_t address, size_t count)
{
    std::vector<uint8_t> out(count);
    auto& image = const_cast<TMemory&>(doc.Image);
    EXPECT_TRUE(image.CopyRange(address - doc.BaseAddress, out, false)) << std::hex << address;
    return out;
}

// Writes the document's image as a parameter file, each block cut by `cut[i]` bytes at
// its end (a whole block when its cut is its size).
void SaveCut(const TZumo2Doc& doc, const std::filesystem::path& file, std::vector<int32_t> cut)
{
    TMemory m;
    for (int i = 0; i < doc.Image.BlockCount(); ++i) {
        const TMemoryBlock* b = doc.Image.BlockByIndex(i);
        const int32_t size = b->Size - cut[static_cast<size_t>(i)];
        if (size <= 0) continue;
        std::memcpy(m.AddBlock(doc.BaseAddress + b->Address, size)->Data(), b->Data(), static_cast<size_t>(size));
    }
    m.SaveToHexFile(file, false, 0, 16);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

} // namespace

TEST(Zumo2Doc, MembersListsAndPortsOfTheBaseModel)
{
    auto doc = MakeZumo2Doc();
    EXPECT_EQ(testsupport::MembersOf(*doc), (testsupport::TDocMembers{"Zumo2", "Zumo2", 0x08004000,
                                                                      "Scheme ID:8.0.0.0", 0x00D59B7E, 0x0FEFEFBE, 255}));
    EXPECT_FALSE(doc->LinearHex);
    EXPECT_FALSE(doc->FirmwareWithParamsAllowed);

    ASSERT_EQ(doc->Image.BlockCount(), 3);
    const std::pair<uint32_t, int32_t> blocks[] = {{0x0000, 84}, {0x0200, 14800}, {0x7000, 1925}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(doc->Image.BlockByIndex(i)->Address, blocks[i].first);
        EXPECT_EQ(doc->Image.BlockByIndex(i)->Size, blocks[i].second);
    }
    for (const auto& [address, byte] : AddressMap(*doc)) ASSERT_EQ(byte, 0) << "a new image holds zeros";

    struct Elements {
        int count, expectedCount;
        std::function<TFieldLst*(int)> byIndex;
        const char* nameFormat;
        uint32_t block;
        int32_t start, size;
        const char* className;
    };
    const Elements elements[] = {
        {doc->DeviceCount(), 20, [&](int i) { return doc->DeviceByIndex(i); }, "Устройство_%.2d", 0x200, 0, 724, "TDevice"},
        {doc->LogicChannelCount(), 20, [&](int i) { return doc->LogicChannelByIndex(i); }, "Логический_канал_%.2d", 0x200,
         14480, 16, "TLogic"},
        {doc->ApertureCount(), 50, [&](int i) { return doc->ApertureByIndex(i); }, "Апертура_%.2d", 0x7000, 1200, 4,
         "TAppertureTIT"},
        {doc->ScaleCount(), 50, [&](int i) { return doc->ScaleByIndex(i); }, "Преобразование_%.2d", 0x7000, 1400, 8,
         "TScaleTIT"},
    };
    for (const Elements& e : elements) {
        EXPECT_EQ(e.count, e.expectedCount) << e.nameFormat;
        for (int i = 0; i < e.count; ++i) {
            TFieldLst* element = e.byIndex(i);
            const std::string name = platform::Format(e.nameFormat, i + 1);
            ASSERT_NE(element, nullptr) << name;
            EXPECT_EQ(element->Name, name);
            EXPECT_EQ(doc->FindField(name), element) << name;
            EXPECT_EQ(element->Block->Address, e.block) << name;
            EXPECT_EQ(element->NodeOffset(), e.start + e.size * i) << name;
            EXPECT_EQ(element->Size, e.size) << name;
            EXPECT_STREQ(element->ClassName(), e.className) << name;
        }
        EXPECT_EQ(e.byIndex(e.count), nullptr);
    }
    EXPECT_EQ(doc->InverseTSCount(), 0);
    EXPECT_EQ(doc->InverseTSByIndex(0), nullptr);

    EXPECT_EQ(doc->GetPortNames(), (std::vector<std::string>{"COM", "XPort", "485"}));
    struct Port {
        const char *key, *className, *name;
        int32_t offset, duplex;
    };
    for (const Port& p : {Port{"UART0", "TPortCOM", "COM", 0, 0}, Port{"UART1", "TUART", "XPort", 8, 1},
                          Port{"UART2", "TUART", "485", 16, 0}, Port{"USB", "TUART", "USB", 24, 1}}) {
        auto* port = doc->Find<TUART>(p.key);
        ASSERT_NE(port, nullptr) << p.key;
        EXPECT_STREQ(port->ClassName(), p.className);
        EXPECT_EQ(port->Name, p.name);
        EXPECT_EQ(port->Offset, p.offset);
        EXPECT_EQ(port->DuplexDefault(), p.duplex);
    }
    EXPECT_EQ(doc->SchemeIdField()->Offset, 64);
    EXPECT_EQ(doc->SchemeIdField()->Size, 20);
    EXPECT_EQ(doc->DeviceByIndex(0)->DevicePortName(), "COM") << "port 0 in a new image of zeros";

    EXPECT_STREQ(ModelNames[0], "Zumo2");
    EXPECT_STREQ(ModelNames[17], "Zumo2 Siemens");
    EXPECT_STREQ(ModelNames[9], "Pelvar-42 2хС1-ТЧ");

    const EDevChannelINValidValueException invalid("x");
    const EDevChannelRangeCheckFailedException range("y");
    EXPECT_NE(dynamic_cast<const EDevChannelException*>(&invalid), nullptr);
    EXPECT_NE(dynamic_cast<const platform::Exception*>(&range), nullptr);
}

TEST(Zumo2Doc, ResetDocumentHoldsTheTablesDefaults)
{
    auto doc = NewDocument();
    const uint32_t h = 0x08004000;
    const std::string scheme = "Scheme ID:8.0.0.0";
    std::vector<uint8_t> schemeBytes(scheme.begin(), scheme.end());
    schemeBytes.resize(20, 0);
    EXPECT_EQ(At(*doc, h + 0x40, 20), schemeBytes);
    EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), scheme);

    struct Spot {
        uint32_t address;
        std::vector<uint8_t> bytes;
    };
    const Spot spots[] = {
        {h + 0, {0, 0}},   {h + 8, {8, 0}},        {h + 16, {0, 0}},       {h + 24, {8, 0}},   // ports
        {h + 34, {0, 0}},  {h + 36, {0xC8, 0}},    {h + 38, {0, 0}},       {h + 42, {0x1A, 0}}, // common
        {h + 44, {0, 0}},  {h + 46, {0xF4, 0x01}}, {h + 48, {0xF4, 0x01}}, {h + 50, {0, 0}},
        {h + 52, {0xA0, 0x05}}, {h + 54, {0, 0}},  {h + 56, {0xFF, 0xFF}}, {h + 58, {0, 0}},
        {0x08004200, {0x00, 0xC2, 0x01, 0x00}},             // device 1
        {0x08004200 + 75, {0xFF}},
        {0x08004200 + 724 + 75, {0xFF}},                    // device 2
        {0x08004200 + 14480 + 3, {0x01}},                   // logical channel 1
        {0x08004200 + 14480 + 6, {0xFF, 0xFF}},
        {0x0800B000 + 1400, {0, 0, 0x80, 0x3F, 0, 0, 0, 0}}, // TIT conversion 1
        {0x0800B000 + 1400 + 49 * 8, {0, 0, 0x80, 0x3F, 0, 0, 0, 0}},
        {0x0800B000 + 1200, {0, 0, 0, 0}},                  // TIT aperture 1
    };
    for (const Spot& s : spots) EXPECT_EQ(At(*doc, s.address, s.bytes.size()), s.bytes) << std::hex << s.address;
}

TEST(Zumo2Doc, SavedFileHasTheBlocksInRecordsOf16Bytes)
{
    testsupport::TempDir dir;
    auto doc = NewDocument();
    doc->SaveToFile(dir / "new.hex");
    const std::vector<std::string> lines = Lines(testsupport::ReadFile(dir / "new.hex"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), ":020000040800F2\r\n");
    EXPECT_EQ(lines.back(), ":00000001FF\r\n");

    // The data records, as (address, length), in order.
    std::vector<std::pair<uint32_t, uint32_t>> expected;
    for (const auto& [start, size] : {std::pair<uint32_t, uint32_t>{0x4000, 84}, {0x4200, 14800}, {0xB000, 1925}})
        for (uint32_t at = 0; at < size; at += 16) expected.push_back({start + at, std::min(16u, size - at)});
    std::vector<std::pair<uint32_t, uint32_t>> records;
    int extended = 0;
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 2u);
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        EXPECT_EQ(line.find('\r'), line.size() - 2);
        const std::string type = line.substr(7, 2);
        if (type == "04") ++extended;
        if (type == "00")
            records.push_back({std::stoul(line.substr(3, 4), nullptr, 16), std::stoul(line.substr(1, 2), nullptr, 16)});
    }
    EXPECT_EQ(extended, 1);
    EXPECT_EQ(records, expected);
    EXPECT_EQ(records.size(), 6u + 925u + 121u);
}

TEST(Zumo2Doc, PeersReadTheSavedFile)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    testsupport::TempDir dir;
    auto doc = NewDocument();
    doc->DeviceByIndex(3)->Find<TField>("000")->SetValue(int32_t{0x1234});
    doc->SaveToFile(dir / "saved.hex");

    EXPECT_EQ(testsupport::IntelHexLines(dir / "saved.hex"), testsupport::AddressLines(*doc));

    ASSERT_EQ(testsupport::SrecRewrite(dir / "saved.hex", dir / "other.hex"), 0);
    auto back = MakeZumo2Doc();
    ScriptedPrompt prompt; // any question fails the test
    back->Prompt = &prompt;
    ScopedLogRecorder log;
    back->LoadFromFile(dir / "other.hex");
    EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    EXPECT_TRUE(prompt.Questions().empty());
    EXPECT_TRUE(log.Lines().empty());
}

TEST(Zumo2Doc, RoundTripKeepsBytesOfNoField)
{
    testsupport::TempDir dir;
    auto doc = NewDocument();
    uint8_t* tit = doc->Image.BlockByIndex(2)->Data();
    for (int i = 0; i < 1200; ++i) tit[i] = static_cast<uint8_t>(i * 7 + 1);
    for (int i = 1800; i < 1925; ++i) tit[i] = static_cast<uint8_t>(i * 13 + 5);
    doc->SaveToFile(dir / "pattern.hex");

    auto back = MakeZumo2Doc();
    back->LoadFromFile(dir / "pattern.hex");
    EXPECT_EQ(AddressMap(*back), AddressMap(*doc));
    back->ResetDefaults();
    EXPECT_EQ(back->Image.BlockByIndex(2)->Data()[5], tit[5]) << "a reset leaves them alone";
    EXPECT_EQ(back->Image.BlockByIndex(2)->Data()[1924], tit[1924]);
}

TEST(Zumo2Doc, OtherSchemeIsRefusedAfterTheBytesAreIn)
{
    testsupport::TempDir dir;
    auto source = NewDocument();
    source->SchemeIdField()->SetValue("Scheme ID:9.0.0.0");
    source->DeviceByIndex(0)->Find<TField>("000")->SetValue(int32_t{77});
    source->SaveToFile(dir / "v9.hex");

    auto doc = MakeDocument<TCountingDoc>();
    ScriptedPrompt prompt;
    doc->Prompt = &prompt;
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "v9.hex"); }),
              "Файл параметров имеет версию \"Scheme ID:9.0.0.0\" вместо \"Scheme ID:8.0.0.0\"\r\n"
              "Прошивка не подходит для контроллера Zumo2");
    EXPECT_EQ(doc->validations, 0);
    EXPECT_TRUE(prompt.Questions().empty());
    EXPECT_EQ(AddressMap(*doc), AddressMap(*source));
}

TEST(Zumo2Doc, MissingBytesNameTheBlockAndKeepWhatWasCopied)
{
    testsupport::TempDir dir;
    auto source = NewDocument();
    source->DeviceByIndex(0)->Find<TField>("000")->SetValue(int32_t{77});

    SaveCut(*source, dir / "short.hex", {0, 0, 1});
    auto doc = MakeZumo2Doc();
    EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(dir / "short.hex"); }),
              "Файл параметров не имеет блока данных 0800B000 - 0800B785");
    const TMemoryBlock* tit = doc->Image.BlockByIndex(2);
    for (int i = 0; i < 2; ++i) {
        const TMemoryBlock* a = doc->Image.BlockByIndex(i);
        EXPECT_EQ(std::memcmp(a->Data(), source->Image.BlockByIndex(i)->Data(), static_cast<size_t>(a->Size)), 0);
    }
    EXPECT_EQ(std::memcmp(tit->Data(), source->Image.BlockByIndex(2)->Data(), 1924), 0) << "copied up to the gap";
    EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), "Scheme ID:8.0.0.0");

    SaveCut(*source, dir / "headless.hex", {84, 0, 0});
    auto other = MakeZumo2Doc();
    EXPECT_EQ(ErrorOf([&] { other->LoadFromFile(dir / "headless.hex"); }),
              "Файл параметров не имеет блока данных 08004000 - 08004054");
    EXPECT_EQ(other->SchemeIdField()->GetValue().ToString(), "");

    // A broken HEX line passes its own error through.
    std::istringstream broken(":0100000001FF\r\n");
    EXPECT_NE(ErrorOf([&] { other->LoadFromStream(broken); }), "(no error)");
}

TEST(Zumo2Doc, DefaultCheckNamesTheDeviceField)
{
    testsupport::TempDir dir;
    auto source = NewDocument();
    source->DeviceByIndex(0)->Find<TField>("003")->SetValue("X");
    source->SaveToFile(dir / "x.hex");

    auto doc = MakeZumo2Doc();
    TField* text = doc->DeviceByIndex(0)->Find<TField>("003"); // taken before the load
    ScriptedPrompt prompt{mrNo};
    doc->Prompt = &prompt;
    ScopedLogRecorder log;
    doc->LoadFromFile(dir / "x.hex");
    ASSERT_EQ(prompt.Questions().size(), 1u);
    EXPECT_EQ(prompt.Questions()[0], "Параметр \"Zumo2.Устройство_01.003\" имеет значение X отличное от значения по "
                                     "умолчанию .\rИспользовать значение по умолчанию?");
    EXPECT_EQ(text->GetValue().ToString(), "X") << "fields stay bound to the same bytes";
}

TEST(Zumo2Doc, ForEachDeviceChannelListVisitsBlocksInOrder)
{
    auto doc = MakeZumo2Doc();
    std::vector<std::pair<TDevice*, TDevChannel*>> seen;
    doc->ForEachDeviceChannelList([&seen](TDevice& device, TDevChannel& block, bool&) {
        seen.push_back({&device, &block});
    });
    ASSERT_EQ(seen.size(), 400u);
    for (size_t i = 0; i < seen.size(); ++i) {
        TDevice* device = doc->DeviceByIndex(static_cast<int>(i / 20));
        EXPECT_EQ(seen[i].first, device);
        EXPECT_EQ(seen[i].second, device->ChannelBlockByIndex(static_cast<int>(i % 20)));
    }

    seen.clear();
    doc->ForEachDeviceChannelList([&seen](TDevice& device, TDevChannel& block, bool& proceed) {
        seen.push_back({&device, &block});
        proceed = seen.size() < 23;
    });
    ASSERT_EQ(seen.size(), 23u);
    EXPECT_EQ(seen.back().second, doc->DeviceByIndex(1)->ChannelBlockByIndex(2));
}
