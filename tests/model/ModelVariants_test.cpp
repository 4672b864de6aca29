#include "model/uZumo2sin.h"
#include "model/uZumo2sin_scale50.h"
#include "model/uZumo2sin_scale80.h"
#include "model/uZumo4.h"
#include "model/uZumo9.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

struct Port {
    const char* key;
    const char* className;
    const char* caption;
    int32_t duplex;
};

// The five documents that vary the base model, as the model table describes them.
struct ModelVariant {
    int code;
    std::unique_ptr<TZumo2Doc> (*make)();
    const char* className;
    const char* modelName;
    const char* scheme;
    int32_t schemeOffset; // of "SchemeID" in the header block
    std::vector<std::pair<uint32_t, int32_t>> blocks; // in list order
    int devices;
    int32_t deviceSize;
    std::vector<std::string> portNames;
    std::vector<Port> ports;
};

const std::vector<Port> kBasePorts = {{"UART0", "TPortCOM", "COM", 0},
                                      {"UART1", "TUART", "XPort", 1},
                                      {"UART2", "TUART", "485", 0},
                                      {"USB", "TUART", "USB", 1}};

const ModelVariant kModels[] = {
    {1, MakeZumo2sinDoc, "TZumo2sinDoc", "Zumo2 синх", "Scheme ID:9.0.0.0", 64,
     {{0x0000, 84}, {0x0200, 21200}, {0x54D0, 6455}, {0x7000, 1925}}, 20, 1044, {"COM", "XPort", "485"}, kBasePorts},
    {2, MakeZumo4Doc, "TZumo4Doc", "Zumo4", "Scheme ID:8.0.0.0", 56, {{0x0000, 84}, {0x0200, 14800}, {0x7000, 1925}},
     20, 724, {"COM", "XPort", "485"},
     {{"UART0", "TPortCOM", "COM", 0}, {"UART1", "TUART", "XPort", 1}, {"UART2", "TUART", "485", 0}}},
    {4, MakeZumo9Doc, "TZumo9Doc", "Zumo9", "Scheme ID:8.0.0.0", 64, {{0x0000, 84}, {0x0200, 14800}, {0x7000, 1925}},
     20, 724, {"COM1", "XPort", "COM2", "USB"},
     {{"UART0", "TPortCOM", "COM1", 0},
      {"UART1", "TUART", "XPort", 0},
      {"UART2", "TPortCOM", "COM2", 0},
      {"USB", "TUART", "USB", 1}}},
    {14, MakeZumo2sin80Doc, "TZumo2sin80Doc", "Zumo2 синх 80", "Scheme ID:13.0.0.0", 64,
     {{0x0000, 84}, {0x0200, 18380}, {0x49CC, 6455}, {0x74B0, 600}}, 15, 1204, {"COM", "XPort", "485"}, kBasePorts},
    {15, MakeZumo2sin50Doc, "TZumo2sin50Doc", "Zumo2 синх 50", "Scheme ID:9.0.0.0", 64,
     {{0x0000, 84}, {0x0200, 19600}, {0x5490, 6455}, {0x74B0, 600}}, 20, 964, {"COM", "XPort", "485"}, kBasePorts},
};

std::unique_ptr<TZumo2Doc> NewDoc(std::unique_ptr<TZumo2Doc> (*make)(), bool reset = true)
{
    auto doc = make();
    if (reset) doc->ResetDefaults();
    return doc;
}

std::unique_ptr<TZumo9Doc> NewZumo9() { return MakeAs<TZumo9Doc>(MakeZumo9Doc); }

// Writes a value into a field's bytes, past its limits and its validate event: the
// state a loaded file may bring.
void Poke(TField& field, uint32_t value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    field.WriteBytes(field.NodeOffset(), bytes, static_cast<size_t>(field.Size));
}

TField& FieldAt(const TFieldLst& list, const char* key)
{
    auto* field = list.Find<TField>(key);
    if (!field) throw std::logic_error(std::string("no field ") + key);
    return *field;
}

std::string BlockBytes(const TFieldLst& block)
{
    return Hex(block.Block->Data() + block.NodeOffset(), static_cast<size_t>(block.Size));
}

// The data records of a HEX file as [first, last) absolute address ranges.
std::vector<std::pair<uint32_t, uint32_t>> DataRecords(const std::filesystem::path& file)
{
    std::vector<std::pair<uint32_t, uint32_t>> records;
    std::ifstream in(file);
    std::string line;
    uint32_t upper = 0;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':') continue;
        const auto byteAt = [&](size_t i) { return static_cast<uint32_t>(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16)); };
        const uint32_t count = byteAt(0);
        const uint32_t address = byteAt(1) << 8 | byteAt(2);
        const uint32_t type = byteAt(3);
        if (type == 4) upper = (byteAt(4) << 8 | byteAt(5)) << 16;
        if (type == 2) upper = (byteAt(4) << 8 | byteAt(5)) << 4;
        if (type == 0) records.emplace_back(upper + address, upper + address + count);
    }
    return records;
}

} // namespace

TEST(ModelVariants, VariantTable)
{
    for (const ModelVariant& v : kModels) {
        SCOPED_TRACE(v.className);
        auto doc = NewDoc(v.make);
        EXPECT_STREQ(doc->ClassName(), v.className);
        EXPECT_EQ(doc->ModelName, v.modelName);
        EXPECT_EQ(doc->Name, "Zumo2");
        EXPECT_EQ(doc->ExpectedSchemeId, v.scheme);
        EXPECT_EQ(doc->SchemeIdField()->DefaultValue.ToString(), v.scheme);
        EXPECT_EQ(doc->SchemeIdField()->GetValue().ToString(), v.scheme);
        EXPECT_EQ(doc->SchemeIdField()->NodeOffset(), v.schemeOffset);
        EXPECT_EQ(doc->SchemeIdField()->Block, doc->Image.BlockByIndex(0));
        EXPECT_EQ(doc->BaseAddress, 0x08004000u);
        EXPECT_EQ(doc->KpProtocolMask, 0x0FEFEFBEu);
        EXPECT_EQ(doc->PuProtocolMask, 0x00D59B7Eu);
        EXPECT_EQ(doc->LogicKindMask, 255);

        ASSERT_EQ(doc->Image.BlockCount(), static_cast<int>(v.blocks.size()));
        for (int i = 0; i < doc->Image.BlockCount(); ++i) {
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Address, v.blocks[static_cast<size_t>(i)].first) << i;
            EXPECT_EQ(doc->Image.BlockByIndex(i)->Size, v.blocks[static_cast<size_t>(i)].second) << i;
        }

        ASSERT_EQ(doc->DeviceCount(), v.devices);
        for (int i = 0; i < v.devices; ++i) {
            EXPECT_EQ(doc->DeviceByIndex(i)->NodeOffset(), v.deviceSize * i);
            EXPECT_TRUE(AuditLayout(*doc->DeviceByIndex(i), v.deviceSize));
        }
        ASSERT_EQ(doc->LogicChannelCount(), 20);
        EXPECT_EQ(doc->LogicChannelByIndex(0)->NodeOffset(), v.deviceSize * v.devices);
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(AuditLayout(*doc->LogicChannelByIndex(i), 16));
        ASSERT_EQ(doc->ScaleCount(), 50);
        ASSERT_EQ(doc->ApertureCount(), 50);
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(AuditLayout(*doc->ScaleByIndex(i), 8));
            EXPECT_TRUE(AuditLayout(*doc->ApertureByIndex(i), 4));
        }

        EXPECT_EQ(doc->GetPortNames(), v.portNames);
        int portRecords = 0;
        for (int i = 0; i < doc->FieldCount(); ++i)
            if (dynamic_cast<TUART*>(doc->FieldByIndex(i))) ++portRecords;
        EXPECT_EQ(portRecords, static_cast<int>(v.ports.size()));
        for (size_t i = 0; i < v.ports.size(); ++i) {
            const Port& p = v.ports[i];
            auto* port = doc->Find<TUART>(p.key);
            ASSERT_NE(port, nullptr) << p.key;
            EXPECT_STREQ(port->ClassName(), p.className) << p.key;
            EXPECT_EQ(port->Name, p.caption) << p.key;
            EXPECT_EQ(port->DuplexDefault(), p.duplex) << p.key;
            EXPECT_EQ(FieldAt(*port, "018").GetValue().ToInt32(), p.duplex) << p.key;
            EXPECT_EQ(port->NodeOffset(), static_cast<int64_t>(8 * i)) << p.key;
            EXPECT_TRUE(AuditLayout(*port, 8));
        }
        // The common fields follow the ports: the first of them, and the last in front of
        // the scheme text.
        const char* first = v.code == 4 ? "VAK_TU1" : "noname_0_1";
        EXPECT_EQ(FieldAt(*doc, first).NodeOffset(), v.schemeOffset - 32) << first;
        EXPECT_EQ(FieldAt(*doc, "noname_3").NodeOffset(), v.schemeOffset - 4);
        EXPECT_EQ(doc->Contains("noname_0_1"), v.code != 4);
        EXPECT_EQ(doc->Contains("VAK_TU1"), v.code == 4);

        ScriptedPrompt prompt; // a reset document asks nothing
        TDefaultCheckRun run{0, &prompt};
        doc->CheckDefaults(doc->ModelName, run);
        EXPECT_TRUE(prompt.Questions().empty());
    }
}

TEST(ModelVariants, CommandAddressOfZumo9)
{
    auto doc = NewZumo9();
    TField& vak = FieldAt(*doc, "VAK_TU1");
    EXPECT_EQ(doc->CommandAddressField(), &vak);
    EXPECT_EQ(vak.FieldType, ftWord);
    EXPECT_EQ(vak.DefaultValue.ToInt32(), 0);
    EXPECT_FALSE(vak.CheckDefault);
    EXPECT_EQ(vak.MinValue, 0);
    EXPECT_EQ(vak.MaxValue, 65535);
    EXPECT_EQ(vak.NodeOffset(), 32);
    // The other common fields are the base model's, where the base model has them.
    auto base = NewDoc(MakeZumo2Doc);
    for (const char* key : {"time_offset", "TS_DPI_buf_size", "022", "041", "044", "048", "noname_3"}) {
        TField& ours = FieldAt(*doc, key);
        TField& theirs = FieldAt(*base, key);
        EXPECT_EQ(ours.NodeOffset(), theirs.NodeOffset()) << key;
        EXPECT_EQ(ours.FieldType, theirs.FieldType) << key;
        EXPECT_TRUE(ours.DefaultValue.Equals(theirs.DefaultValue)) << key;
        EXPECT_EQ(ours.CheckDefault, theirs.CheckDefault) << key;
        EXPECT_EQ(ours.MaxValue, theirs.MaxValue) << key;
    }
}

class TZumo4Descendant : public TZumo4Doc {
public:
    const char* ClassName() const override { return "TZumo4Descendant"; }
};

TEST(ModelVariants, FirstDeviceDefaultsOnlyOnZumo4Itself)
{
    const std::string normal = "00 00 00 00 00 00 00 00 00 00 FF FF";
    auto zumo4 = NewDoc(MakeZumo4Doc);
    TDevice& first = *zumo4->DeviceByIndex(0);
    EXPECT_EQ(BlockBytes(*first.ChannelBlockByIndex(0)), "00 00 00 00 01 00 00 00 04 00 00 FF");
    EXPECT_EQ(BlockBytes(*first.ChannelBlockByIndex(1)), normal);
    EXPECT_EQ(BlockBytes(*zumo4->DeviceByIndex(1)->ChannelBlockByIndex(0)), normal);

    // Defaults, not values: a document that was only built holds zeros.
    auto built = MakeZumo4Doc();
    EXPECT_EQ(BlockBytes(*built->DeviceByIndex(0)->ChannelBlockByIndex(0)), "00 00 00 00 00 00 00 00 00 00 00 00");

    auto zumo9 = NewZumo9();
    EXPECT_EQ(BlockBytes(*zumo9->DeviceByIndex(0)->ChannelBlockByIndex(0)), normal);
    auto descendant = MakeDocument<TZumo4Descendant>();
    descendant->ResetDefaults();
    EXPECT_EQ(BlockBytes(*descendant->DeviceByIndex(0)->ChannelBlockByIndex(0)), normal);
}

namespace {

// One pending change of a Zumo 9 document with a single channel block set up (the
// others hold their defaults), and whether the overlap rule lets it through.
struct OverlapCase {
    const char* what;
    uint32_t vak;   // "VAK_TU1" before the change
    uint32_t type;  // of the block
    uint32_t start;
    uint32_t count;
    const char* key; // "VAK_TU1" or a key of the block
    int64_t value;
    bool accept;
};

const OverlapCase kOverlap[] = {
    {"address equal to the start", 0, 3, 5, 3, "VAK_TU1", 5, false},
    {"address inside the range", 0, 3, 5, 3, "VAK_TU1", 7, false},
    {"address at start + count", 0, 3, 5, 3, "VAK_TU1", 8, true},
    {"address below the start", 0, 3, 5, 3, "VAK_TU1", 4, true},
    {"block of count 0", 0, 3, 5, 0, "VAK_TU1", 5, true},
    {"block of another type", 0, 1, 5, 3, "VAK_TU1", 6, true},
    {"address 0 over a range from 0", 9, 3, 0, 5, "VAK_TU1", 0, true},
    {"unsigned start near the top", 0, 3, 0xFFFFFFF0, 65535, "VAK_TU1", 5, true},
    {"start moved onto the address", 6, 3, 10, 3, "0003", 5, false},
    {"start moved past the address", 6, 3, 5, 3, "0003", 7, true},
    {"start moved to 0 covering the address", 2, 3, 10, 3, "0003", 0, false},
    {"start moved to 0 short of the address", 6, 3, 10, 3, "0003", 0, true},
    {"start moved over the address on a block of another type", 6, 255, 10, 3, "0003", 5, true},
    {"count grown over the address", 6, 3, 5, 1, "0002", 2, false},
    {"count shrunk off the address", 6, 3, 5, 3, "0002", 1, true},
    {"count set to 0", 6, 3, 5, 3, "0002", 0, true},
    {"type 3 to 0 on an overlapping block", 6, 3, 5, 3, "0004", 0, true},
    {"type 3 to 255 on an overlapping block", 6, 3, 5, 3, "0004", 255, true},
    {"type 255 to 3 over the address", 6, 255, 5, 3, "0004", 3, false},
    {"type 255 to 3 beside the address", 9, 255, 5, 3, "0004", 3, true},
    {"type to 3 with the address unset", 0, 255, 0, 5, "0004", 3, true},
    {"start to 0 with the address unset", 0, 3, 10, 5, "0003", 0, true},
    {"type to 3 on an unsigned start near the top", 5, 255, 0xFFFFFFF0, 65535, "0004", 3, true},
    {"first field of an overlapping block", 6, 3, 5, 3, "0001", 7, true},
    {"format of an overlapping block", 6, 3, 5, 3, "0005", 1, true},
};

struct OverlapFixture {
    std::unique_ptr<TZumo9Doc> doc = NewZumo9();
    TDevChannel& block = *doc->DeviceByIndex(4)->ChannelBlockByIndex(7);
    TField& vak = FieldAt(*doc, "VAK_TU1");

    explicit OverlapFixture(const OverlapCase& c)
    {
        Poke(FieldAt(block, "0004"), c.type);
        Poke(FieldAt(block, "0003"), c.start);
        Poke(FieldAt(block, "0002"), c.count);
        Poke(vak, c.vak);
    }
    TField& Changed(const OverlapCase& c) { return std::strcmp(c.key, "VAK_TU1") == 0 ? vak : FieldAt(block, c.key); }
};

} // namespace

TEST(ModelVariants, OverlapRuleThroughEveryDoor)
{
    for (const OverlapCase& c : kOverlap) {
        SCOPED_TRACE(c.what);
        const bool isAddress = std::strcmp(c.key, "VAK_TU1") == 0;
        {
            // The document's vetoes: the common page's and the channel grid's.
            OverlapFixture f(c);
            bool accept = true;
            if (isAddress)
                f.doc->ValidateFieldChange(nullptr, &f.vak, Variant(c.value), nullptr, accept);
            else
                f.doc->ValidateChannelChange(nullptr, &f.Changed(c), Variant(c.value), &f.block, accept);
            EXPECT_EQ(accept, c.accept) << "veto";
        }
        {
            // The field itself, whatever editor stores into it.
            OverlapFixture f(c);
            TField& field = f.Changed(c);
            const int64_t before = field.GetValue().ToInt64();
            int changes = 0;
            auto count = [&](TField*) { ++changes; };
            field.OnChange = TNotifyEvent::Of(count);
            EXPECT_EQ(ErrorOf([&] { field.SetValue(Variant(c.value)); }), "(no error)");
            EXPECT_EQ(field.GetValue().ToInt64(), c.accept ? c.value : before) << "store";
            EXPECT_EQ(changes, c.accept ? 1 : 0);
        }
        if (isAddress) {
            // The check of a loaded file.
            OverlapFixture f(c);
            Poke(f.vak, static_cast<uint32_t>(c.value));
            EXPECT_EQ(ErrorOf([&] { f.doc->Validate(); }),
                      c.accept ? "(no error)" : "ВАК ТУ1 пересекается с общим списком каналов ТУ");
        }
    }
}

TEST(ModelVariants, AnUnsetAddressPassesTheCheck)
{
    // A ТУ block from ВАК 0 with "VAK_TU1" 0, the state of a new document given such a
    // block: the file saved from it opens again.
    auto doc = NewZumo9();
    TDevChannel& block = *doc->DeviceByIndex(0)->ChannelBlockByIndex(0);
    FieldAt(block, "0004").SetValue(int32_t{3});
    FieldAt(block, "0002").SetValue(int32_t{4});
    EXPECT_EQ(FieldAt(block, "0002").GetValue().ToInt32(), 4);
    EXPECT_EQ(ErrorOf([&] { doc->Validate(); }), "(no error)");
    TempDir dir;
    doc->SaveToFile(dir / "z9.hex");
    auto again = MakeAs<TZumo9Doc>(MakeZumo9Doc, false);
    EXPECT_EQ(ErrorOf([&] { again->LoadFromFile(dir / "z9.hex"); }), "(no error)");
}

TEST(ModelVariants, ResetsClearAnOverlappingBlock)
{
    const OverlapCase overlapping{"", 6, 3, 5, 3, "0004", 0, true};
    const std::string cleared = "00 00 00 00 00 00 00 00 00 00 FF FF";
    {
        OverlapFixture f(overlapping);
        f.doc->DeviceByIndex(4)->ResetDefaults();
        EXPECT_EQ(BlockBytes(f.block), cleared);
    }
    {
        OverlapFixture f(overlapping); // Delete on the type
        FieldAt(f.block, "0004").ResetDefaults();
        EXPECT_EQ(FieldAt(f.block, "0004").GetValue().ToInt32(), 255);
        EXPECT_EQ(ErrorOf([&] { f.doc->Validate(); }), "(no error)");
    }
    {
        OverlapFixture f(overlapping); // a row reset
        f.block.ResetDefaults();
        EXPECT_EQ(BlockBytes(f.block), cleared);
    }
    {
        OverlapFixture f(overlapping); // the whole document
        f.doc->ResetDefaults();
        EXPECT_EQ(BlockBytes(f.block), cleared);
    }
}

TEST(ModelVariants, LoadingAZumo9FileChecksTheAddress)
{
    TempDir dir;
    const auto save = [&](uint32_t vak) {
        OverlapFixture f({"", vak, 3, 5, 3, "", 0, true});
        const auto path = dir / ("vak" + std::to_string(vak) + ".hex");
        f.doc->SaveToFile(path);
        return path;
    };
    {
        auto doc = MakeAs<TZumo9Doc>(MakeZumo9Doc, false);
        ScriptedPrompt prompt;
        doc->Prompt = &prompt;
        EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(save(6)); }), "ВАК ТУ1 пересекается с общим списком каналов ТУ");
        EXPECT_TRUE(prompt.Questions().empty());
        EXPECT_EQ(doc->CommandAddressField()->GetValue().ToInt32(), 6) << "the document stays as loaded";
    }
    {
        auto doc = MakeAs<TZumo9Doc>(MakeZumo9Doc, false);
        ScriptedPrompt prompt;
        doc->Prompt = &prompt;
        EXPECT_EQ(ErrorOf([&] { doc->LoadFromFile(save(9)); }), "(no error)");
        EXPECT_EQ(doc->CommandAddressField()->GetValue().ToInt32(), 9);
        EXPECT_EQ(FieldAt(*doc->DeviceByIndex(4)->ChannelBlockByIndex(7), "0003").GetValue().ToInt32(), 5);
    }
}

TEST(ModelVariants, CrossLoads)
{
    struct Case {
        std::unique_ptr<TZumo2Doc> (*from)();
        std::unique_ptr<TZumo2Doc> (*to)();
        std::string error;                  // "(no error)" when it loads
        std::vector<std::string> questions; // the paths asked about, in order
    };
    const Case cases[] = {
        {MakeZumo2sin50Doc, MakeZumo2sinDoc, "Файл параметров не имеет блока данных 08004200 - 080094D0", {}},
        {MakeZumo2sinDoc, MakeZumo2sin80Doc,
         "Файл параметров имеет версию \"Scheme ID:9.0.0.0\" вместо \"Scheme ID:13.0.0.0\"\r\nПрошивка не подходит "
         "для контроллера Zumo2 синх 80",
         {}},
        {MakeZumo2Doc, MakeZumo9Doc, "(no error)", {"Zumo9.UART1.018"}},
        {MakeZumo9Doc, MakeZumo2Doc, "(no error)", {"Zumo2.UART1.018"}},
        {MakeZumo2Doc, MakeZumo4Doc,
         "Файл параметров имеет версию \"яя\" вместо \"Scheme ID:8.0.0.0\"\r\nПрошивка не подходит для контроллера "
         "Zumo4",
         {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        auto from = NewDoc(c.from);
        SCOPED_TRACE(from->ClassName());
        from->SaveToFile(dir / "from.hex");
        auto to = NewDoc(c.to, false);
        ScriptedPrompt prompt{mrNo};
        to->Prompt = &prompt;
        ScopedLogRecorder log;
        EXPECT_EQ(ErrorOf([&] { to->LoadFromFile(dir / "from.hex"); }), c.error);
        ASSERT_EQ(prompt.Questions().size(), c.questions.size());
        for (size_t i = 0; i < c.questions.size(); ++i)
            EXPECT_NE(prompt.Questions()[i].find("\"" + c.questions[i] + "\""), std::string::npos)
                << prompt.Questions()[i];
    }
}

TEST(ModelVariants, Code15LeavesItsGapOutOfTheFile)
{
    TempDir dir;
    auto doc = NewDoc(MakeZumo2sin50Doc);
    doc->SaveToFile(dir / "z50.hex");
    const auto records = DataRecords(dir / "z50.hex");
    ASSERT_FALSE(records.empty());
    for (const auto& [first, last] : records)
        EXPECT_TRUE(last <= 0x08008E90u || first >= 0x08009490u) << std::hex << first << " - " << last;
    int64_t bytes = 0;
    for (const auto& [first, last] : records) bytes += last - first;
    EXPECT_EQ(bytes, 84 + 19600 + 6455 + 600);
}

TEST(ModelVariants, FilesOfEachModelRoundTripAndPeersAgree)
{
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c 'import intelhex' 2>/dev/null"), 0)
        << "the Debian package python3-intelhex is needed";
    ASSERT_EQ(RunCommand("command -v srec_cat >/dev/null"), 0) << "the Debian package srecord is needed";
    for (const ModelVariant& v : kModels) {
        SCOPED_TRACE(v.className);
        TempDir dir;
        auto doc = NewDoc(v.make);
        doc->SaveToFile(dir / "reset.hex");
        // python3-intelhex reads exactly the image: every block, nothing in between.
        EXPECT_EQ(IntelHexLines(dir / "reset.hex"), AddressLines(*doc));

        // A file rewritten by srec_cat, 32 bytes a record, opens to the same image.
        ASSERT_EQ(RunCommand("srec_cat " + Quote(dir / "reset.hex") + " -intel -o " + Quote(dir / "other.hex") +
                             " -intel -obs=32 >/dev/null 2>&1"),
                  0);
        auto other = NewDoc(v.make, false);
        ScriptedPrompt none;
        other->Prompt = &none;
        other->LoadFromFile(dir / "other.hex");
        EXPECT_TRUE(none.Questions().empty());
        EXPECT_EQ(AddressLines(*other), AddressLines(*doc));

        // A random image with a valid scheme, description header and "VAK_TU1" 0.
        std::mt19937 random(static_cast<unsigned>(v.code) + 120);
        for (int i = 0; i < doc->Image.BlockCount(); ++i) {
            TMemoryBlock* b = doc->Image.BlockByIndex(i);
            for (int32_t k = 0; k < b->Size; ++k) b->Data()[k] = static_cast<uint8_t>(random());
        }
        doc->SchemeIdField()->SetValue(doc->ExpectedSchemeId);
        if (auto* sync = dynamic_cast<TZumo2SyncDoc*>(doc.get())) sync->ScaleDescriptions->WriteHeader();
        if (auto* vak = doc->Find<TField>("VAK_TU1")) Poke(*vak, 0);
        doc->SaveToFile(dir / "random.hex");
        auto again = NewDoc(v.make, false);
        ScriptedPrompt prompt{mrNoToAll}; // random bytes hold no defaults: keep them all
        again->Prompt = &prompt;
        ScopedLogRecorder log;
        EXPECT_EQ(ErrorOf([&] { again->LoadFromFile(dir / "random.hex"); }), "(no error)");
        again->SaveToFile(dir / "random2.hex");
        EXPECT_EQ(ReadFile(dir / "random2.hex"), ReadFile(dir / "random.hex"));
    }
}
