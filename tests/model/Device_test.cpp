#include "model/uZumo_Classes.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

using testsupport::ScopedLogRecorder;
using testsupport::ScriptedPrompt;

using testsupport::ErrorOf;

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr int32_t kDeviceSize = 724;
constexpr int32_t kArea = 94; // the protocol area's offset in the record

// Stand-in for the block of protocol index 2: a few non-zero defaults, one of them on
// the last byte of the area, and a key the device has as well.
class TStandInBlock : public TDevProtocol {
public:
    void Build() override
    {
        TLayout l(*this);
        l.Field("0201", ftWord, int32_t{0x1234}, true);
        l.Field("0209", ftByte, int32_t{7}, true);
        l.Field("000", ftByte, int32_t{9}, false);
        l.Skip(65);
        l.Field("0270", ftByte, int32_t{0x5A}, true);
        l.Finish();
    }

protected:
    using TDevProtocol::TDevProtocol;
};

// Stand-in for index 28: a block that needs one byte more than the ordinary area.
class TWideBlock : public TDevProtocol {
public:
    int32_t ProtocolAreaSize() const override { return 71; }
    void Build() override
    {
        TLayout l(*this);
        l.Skip(70);
        l.Field("3571", ftByte, int32_t{0x77}, true);
        l.Finish();
    }

protected:
    using TDevProtocol::TDevProtocol;
};

template <class T>
std::unique_ptr<TDevProtocol> MakeStandIn(TMemoryBlock* block, int32_t offset, std::string name, TField*)
{
    return MakeList<T>(std::move(name), block, offset);
}

struct DeviceOptions {
    int32_t areaSize = 70;
    std::vector<int>* requested = nullptr; // protocol indexes asked for, in order
};

// A device whose protocol blocks are the stand-ins, with an area of a chosen size.
class TTestDevice : public TDevice {
protected:
    TTestDevice(TMemoryBlock* block, int32_t offset, DeviceOptions options) : TDevice(block, offset), options_(options)
    {
    }
    int32_t ProtocolAreaSize() const override { return options_.areaSize; }
    TDevProtocolFactory ProtocolFactory(int index) const override
    {
        if (options_.requested) options_.requested->push_back(index);
        if (index == 2) return &MakeStandIn<TStandInBlock>;
        if (index == 28) return &MakeStandIn<TWideBlock>;
        return nullptr;
    }

private:
    DeviceOptions options_;
};

// Ports "COM", "XPort" and "485", optionally a "UART0" record, and a block that holds
// two devices and is filled with the sentinel before they are built.
class TTestDoc : public TDocument {
public:
    TMemoryBlock* ports = nullptr;
    TMemoryBlock* devices = nullptr;
    TDevice* first = nullptr;
    TDevice* second = nullptr;

    void Build() override
    {
        ports = Image.AddBlock(0x0000, 8);
        devices = Image.AddBlock(0x0200, 2 * (kDeviceSize + options_.areaSize - 70));
        std::memset(devices->Data(), kSentinel, static_cast<size_t>(devices->Size));
        if (withUart_) AddField("UART0", MakeList<TPortCOM>("COM", ports, 0, 0));
        int32_t offset = 0;
        for (TDevice** slot : {&first, &second}) {
            auto device = MakeList<TTestDevice>("", devices, offset, options_);
            *slot = device.get();
            offset += AddField(offset == 0 ? "Устройство_01" : "Устройство_02", std::move(device));
        }
    }
    std::vector<std::string> GetPortNames() const override { return {"COM", "XPort", "485"}; }
    void SaveToFile(const std::filesystem::path&) override {}

    void SetUartMode(int mode) { Find<TFieldLst>("UART0")->Find<TField>("016")->SetValue(int32_t{mode}); }

protected:
    TTestDoc(bool withUart, DeviceOptions options) : withUart_(withUart), options_(options) { ModelName = "Doc"; }

private:
    bool withUart_;
    DeviceOptions options_;
};

std::unique_ptr<TTestDoc> MakeDoc(bool withUart = true, DeviceOptions options = {})
{
    return MakeDocument<TTestDoc>(withUart, options);
}

std::vector<uint8_t> Bytes(const TMemoryBlock& block)
{
    return std::vector<uint8_t>(block.Data(), block.Data() + block.Size);
}

int ValueOf(const TFieldLst& list, const char* key) { return list.Find<TField>(key)->GetValue().ToInt32(); }
void Set(TFieldLst& list, const char* key, int value) { list.Find<TField>(key)->SetValue(int32_t{value}); }

// The Part's layout of a device record with a 70-byte area: every key, its offset and
// its width (bit fields: their container).
struct KeyAt {
    const char* key;
    int32_t offset;
    int32_t size;
};
const KeyAt kDeviceLayout[] = {
    {"001", 0, 4},       {"003", 4, 16},    {"005", 20, 2},   {"006", 22, 2},     {"007", 24, 2},
    {"noname_4", 26, 2}, {"018", 28, 4},    {"011", 28, 4},   {"012", 28, 4},     {"014", 28, 4},
    {"013", 28, 4},      {"015", 28, 4},    {"016", 28, 4},   {"017", 28, 4},     {"019", 28, 4},
    {"020", 28, 4},      {"021", 28, 4},    {"051", 32, 1},   {"052", 32, 1},     {"053", 32, 1},
    {"057", 32, 1},      {"058", 32, 1},    {"059", 32, 1},   {"iec_dp_ts_asdu", 33, 1},
    {"055", 34, 2},      {"056", 36, 1},    {"056_2", 37, 1}, {"061", 38, 1},     {"063", 38, 1},
    {"062", 38, 1},      {"064", 38, 1},    {"065", 39, 1},   {"066", 40, 1},     {"067", 41, 1},
    {"068_1", 42, 2},    {"068_2", 42, 2},  {"068_3", 42, 2}, {"069", 44, 2},     {"070", 46, 2},
    {"073", 48, 2},      {"074", 48, 2},    {"075", 48, 2},   {"076", 48, 2},     {"077", 48, 2},
    {"078", 48, 2},      {"079", 48, 2},    {"090", 50, 2},   {"091", 52, 2},     {"092", 54, 2},
    {"093", 56, 2},      {"094", 58, 2},    {"095", 60, 2},   {"096", 62, 1},     {"097", 63, 1},
    {"098", 64, 2},      {"099", 66, 1},    {"101", 67, 1},   {"noname_5", 68, 4}, {"000", 72, 2},
    {"002", 74, 1},      {"004", 75, 1},    {"0004", 76, 2},  {"0013", 78, 2},    {"ts_link", 80, 4},
    {"tit_link", 84, 4}, {"noname_6", 88, 4}, {"0014", 92, 1}, {"0015", 93, 1},
};

// Fields that the default check compares whatever the settings.
const std::set<std::string> kAlwaysChecked = {"003", "007", "014", "015", "016", "017", "018",
                                              "052", "057", "058", "059", "069", "070"};

std::set<std::string> CheckedKeys(const TDevice& device)
{
    std::set<std::string> keys;
    for (int i = 0; i < device.FieldCount(); ++i)
        if (auto* f = dynamic_cast<const TField*>(device.FieldByIndex(i)); f && f->CheckDefault)
            keys.insert(device.FieldName(i));
    return keys;
}

} // namespace

TEST(Device, LayoutFollowsTheRecordTable)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    EXPECT_TRUE(testsupport::AuditLayout(d, kDeviceSize));
    EXPECT_TRUE(testsupport::AuditLayout(*d.ChannelBlockByIndex(0), 12));
    EXPECT_TRUE(testsupport::AuditLayout(*d.ApertureBlockByIndex(0), 8));
    EXPECT_TRUE(testsupport::AuditLayout(*d.ScaleBlockByIndex(0), 8));
    EXPECT_TRUE(testsupport::AuditLayout(*doc->second, kDeviceSize)) << "laid out where it lies";

    std::set<std::string> expected;
    for (const KeyAt& k : kDeviceLayout) {
        expected.insert(k.key);
        const auto* f = d.Find<TField>(k.key);
        ASSERT_NE(f, nullptr) << k.key;
        EXPECT_EQ(f->Offset, k.offset) << k.key;
        EXPECT_EQ(f->Size, k.size) << k.key;
    }
    struct Blocks {
        const char* keyFormat;
        const char* nameFormat;
        int32_t start, size;
        const char* className;
    };
    for (const Blocks& b : {Blocks{"Channels%.2d", "Канал лог. ТС %.2d", 164, 12, "TDevChannel"},
                            Blocks{"Apperture%.2d", "Канал апертуры %.2d", 404, 8, "TDevApperture"},
                            Blocks{"Scales%.2d", "Канал преобр. ТИТ %.2d", 564, 8, "TDevScale"}}) {
        for (int i = 0; i < 20; ++i) {
            const std::string key = platform::Format(b.keyFormat, i);
            expected.insert(key);
            const auto* r = d.Find<TFieldLst>(key);
            ASSERT_NE(r, nullptr) << key;
            EXPECT_EQ(r->Offset, b.start + b.size * i) << key;
            EXPECT_EQ(r->Size, b.size) << key;
            EXPECT_EQ(r->Name, platform::Format(b.nameFormat, i + 1)) << key;
            EXPECT_STREQ(r->ClassName(), b.className) << key;
        }
    }
    std::set<std::string> actual;
    for (int i = 0; i < d.FieldCount(); ++i) {
        actual.insert(d.FieldName(i));
        const TObjNode* n = d.FieldByIndex(i);
        EXPECT_TRUE(n->Offset + n->Size <= kArea || n->Offset >= kArea + 70) << d.FieldName(i) << " in the area";
    }
    EXPECT_EQ(actual, expected);

    ASSERT_EQ(d.ChannelBlockCount(), 20);
    ASSERT_EQ(d.ApertureBlockCount(), 20);
    ASSERT_EQ(d.ScaleBlockCount(), 20);
    EXPECT_EQ(d.ChannelBlockByIndex(19), d.FindField("Channels19"));
    EXPECT_EQ(d.ScaleBlockByIndex(0), d.FindField("Scales00"));
    EXPECT_EQ(d.ApertureBlockByIndex(20), nullptr);

    // Block records: keys, offsets, widths and defaults.
    struct BlockField {
        const char* key;
        int32_t offset, size, defaultValue;
    };
    auto checkBlock = [](const TFieldLst& r, std::initializer_list<BlockField> fields) {
        ASSERT_EQ(r.FieldCount(), static_cast<int>(fields.size())) << r.ClassName();
        for (const BlockField& f : fields) {
            const auto* field = r.Find<TField>(f.key);
            ASSERT_NE(field, nullptr) << r.ClassName() << " " << f.key;
            EXPECT_EQ(field->Offset, f.offset) << r.ClassName() << " " << f.key;
            EXPECT_EQ(field->Size, f.size) << r.ClassName() << " " << f.key;
            EXPECT_EQ(field->DefaultValue.ToInt32(), f.defaultValue) << r.ClassName() << " " << f.key;
        }
    };
    checkBlock(*d.ChannelBlockByIndex(0),
               {{"0001", 0, 4, 0}, {"0003", 4, 4, 0}, {"0002", 8, 2, 0}, {"0004", 10, 1, 255}, {"0005", 11, 1, 255}});
    checkBlock(*d.ApertureBlockByIndex(0), {{"0001", 0, 4, 0}, {"0002", 4, 2, 0}, {"0003", 6, 2, 0}});
    checkBlock(*d.ScaleBlockByIndex(0), {{"0001", 0, 4, 0}, {"0002", 4, 2, 0}, {"0003", 6, 2, 0}});

    // The area's size is asked for while the device is built: a larger one moves the
    // blocks behind it.
    auto wide = MakeDoc(true, {100, nullptr});
    EXPECT_TRUE(testsupport::AuditLayout(*wide->first, kDeviceSize + 30));
    EXPECT_EQ(wide->first->FindField("Channels00")->Offset, 194);
    EXPECT_EQ(wide->first->FindField("Scales19")->Offset, 564 + 30 + 19 * 8);
}

TEST(Device, BuildingWritesNothingAndMakesBlocksInOrder)
{
    std::vector<int> requested;
    auto doc = MakeDoc(true, {70, &requested});
    EXPECT_EQ(Bytes(*doc->devices), std::vector<uint8_t>(2 * kDeviceSize, kSentinel));
    const std::vector<int> order = {1, 2, 7, 8, 13, 14, 17, 19, 3, 4, 5, 6, 9, 21,
                                    10, 11, 15, 22, 23, 24, 25, 16, 18, 20, 26, 27, 12, 28};
    std::vector<int> expected = order;
    expected.insert(expected.end(), order.begin(), order.end()); // two devices
    EXPECT_EQ(requested, expected);

    TDevice& second = *doc->second;
    EXPECT_EQ(second.ProtocolAreaOffset(), kDeviceSize + kArea);
    ASSERT_NE(second.ProtocolBlock(2), nullptr);
    EXPECT_TRUE(testsupport::FitsArea(*second.ProtocolBlock(2), second.ProtocolAreaOffset(), 70));
    EXPECT_EQ(second.ProtocolBlock(2)->Name, "ModBus");
    EXPECT_EQ(second.ProtocolBlock(2)->Parent, nullptr);
    EXPECT_EQ(second.ProtocolBlock(2)->Find<TField>("0209")->NodeOffset(), kDeviceSize + kArea + 2);
    EXPECT_EQ(second.ProtocolBlock(28), nullptr) << "the wide block does not fit";
    EXPECT_EQ(second.ProtocolBlock(0), nullptr);

    auto wide = MakeDoc(true, {71, nullptr});
    EXPECT_NE(wide->first->ProtocolBlock(28), nullptr) << "it fits a larger area";
}

TEST(Device, ResetDeviceHoldsTheDefaultsOfTheTable)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    std::memset(doc->devices->Data(), 0, kDeviceSize); // a new image; bits of no field stay as they are
    d.ResetDefaults();

    EXPECT_EQ(ValueOf(d, "004"), 255);
    EXPECT_EQ(d.ActiveProtocolIndex(), 0);
    EXPECT_EQ(d.ActiveProtocol(), nullptr);
    EXPECT_EQ(d.DeviceTitle(), "ПУ Нет");
    EXPECT_EQ(d.DevicePortName(), "Нет");

    const uint8_t* b = doc->devices->Data();
    auto word = [b](int at) { return b[at] | b[at + 1] << 8; };
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x00, 0xC2, 0x01, 0x00}));
    EXPECT_EQ(std::vector<uint8_t>(b + 4, b + 28), std::vector<uint8_t>(24, 0)) << "text and words";
    EXPECT_EQ(std::vector<uint8_t>(b + 28, b + 32), (std::vector<uint8_t>{0x02, 0, 0, 0}));
    EXPECT_EQ(b[32], 0x01);
    EXPECT_EQ(b[33], 31);
    EXPECT_EQ(b[38], 0x95);
    EXPECT_EQ(std::vector<uint8_t>(b + 39, b + 42), (std::vector<uint8_t>{30, 36, 37}));
    EXPECT_EQ(std::vector<uint8_t>(b + 42, b + 44), (std::vector<uint8_t>{0x08, 0x01}));
    EXPECT_EQ(word(44), 1);
    EXPECT_EQ(std::vector<uint8_t>(b + 48, b + 50), (std::vector<uint8_t>{0x04, 0x00}));
    std::vector<int> words;
    for (int at = 50; at <= 60; at += 2) words.push_back(word(at));
    EXPECT_EQ(words, (std::vector<int>{30, 15, 10, 20, 12, 8}));
    EXPECT_EQ(b[74], 0xFF);
    EXPECT_EQ(b[75], 0xFF);
    EXPECT_EQ(b[92], 3);
    EXPECT_EQ(b[93], 1);
    EXPECT_EQ(std::vector<uint8_t>(b + kArea, b + kArea + 70), std::vector<uint8_t>(70, 0));
    for (int i = 0; i < 20; ++i) {
        const uint8_t* c = b + 164 + 12 * i;
        EXPECT_EQ(std::vector<uint8_t>(c, c + 12), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
    }
    EXPECT_EQ(std::vector<uint8_t>(b + 404, b + kDeviceSize), std::vector<uint8_t>(kDeviceSize - 404, 0));
    EXPECT_EQ(Bytes(*doc->devices).back(), kSentinel) << "the next device is untouched";
}

TEST(Device, ProtocolSwitchRewritesOnlyTheArea)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    const std::vector<uint8_t> before = Bytes(*doc->devices);

    Set(d, "004", 2);
    EXPECT_EQ(d.ActiveProtocolIndex(), 2);
    EXPECT_EQ(d.ActiveProtocol(), d.ProtocolBlock(2));
    std::vector<uint8_t> expected = before;
    expected[75] = 2;
    std::fill(expected.begin() + kArea, expected.begin() + kArea + 70, 0);
    expected[kArea + 0] = 0x34;
    expected[kArea + 1] = 0x12;
    expected[kArea + 2] = 7;
    expected[kArea + 3] = 9;
    expected[kArea + 69] = 0x5A;
    EXPECT_EQ(Bytes(*doc->devices), expected);

    doc->devices->Data()[kArea + 10] = 0x42; // a marker: the same code again must not zero
    Set(d, "004", 2);
    EXPECT_EQ(doc->devices->Data()[kArea + 10], 0x42);

    Set(d, "004", 10); // a code of no protocol
    EXPECT_EQ(d.ActiveProtocolIndex(), 0);
    EXPECT_EQ(d.ActiveProtocol(), nullptr);
    expected[75] = 10;
    std::fill(expected.begin() + kArea, expected.begin() + kArea + 70, 0);
    EXPECT_EQ(Bytes(*doc->devices), expected);

    Set(d, "004", 2);
    d.ResetDefaults();
    EXPECT_EQ(ValueOf(d, "004"), 255);
    const uint8_t* area = doc->devices->Data() + kArea;
    EXPECT_EQ(std::vector<uint8_t>(area, area + 70), std::vector<uint8_t>(70, 0));
}

TEST(Device, CodeOfABlockTooLargeForTheAreaSelectsNone)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->second; // the last slot of the block
    const int32_t at = kDeviceSize;
    std::vector<uint8_t> expected = Bytes(*doc->devices);

    Set(d, "004", 35);
    EXPECT_EQ(d.ActiveProtocolIndex(), 28);
    EXPECT_EQ(d.ActiveProtocol(), nullptr);
    EXPECT_EQ(d.DeviceTitle(), "КП Siemens Symap");
    expected[at + 75] = 35;
    std::fill(expected.begin() + at + kArea, expected.begin() + at + kArea + 70, 0);
    EXPECT_EQ(Bytes(*doc->devices), expected) << "exactly the 70 bytes of the area are zeroed";
    EXPECT_EQ(d.FindField("3571"), nullptr);

    ScriptedPrompt prompt{mrYesToAll};
    ScopedLogRecorder log;
    TDefaultCheckRun run{0, &prompt};
    d.CheckDefaults("Doc.Устройство_02", run);
    EXPECT_EQ(ValueOf(d, "004"), 35) << "the stored code stays as read";
    // Only the device's own checked fields changed; the area and everything behind it
    // (channel blocks, which nothing checks) kept their bytes.
    const std::vector<uint8_t> after = Bytes(*doc->devices);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + at, expected.begin()));
    EXPECT_TRUE(std::equal(after.begin() + at + kArea, after.end(), expected.begin() + at + kArea));
    for (const auto& line : log.Lines()) EXPECT_EQ(line.text.find("3571"), std::string::npos) << line.text;
}

TEST(Device, FindFieldReachesTheActiveBlockAfterTheDevice)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    EXPECT_EQ(d.FindField("0209"), nullptr);
    Set(d, "004", 2);
    ASSERT_NE(d.FindField("0209"), nullptr);
    EXPECT_EQ(d.FindField("0209"), d.ProtocolBlock(2)->FindField("0209"));
    EXPECT_EQ(d.Find<TField>("0209")->GetValue().ToInt32(), 7);
    EXPECT_EQ(d.FindField("000")->Offset, 72) << "the device's own key wins";
    Set(d, "004", 1);
    EXPECT_EQ(d.FindField("0209"), nullptr) << "another protocol";
}

TEST(Device, MarkUnusedFieldsFollowsRoleProtocolAndPort)
{
    const std::vector<std::string> byRole = {"0004", "ts_link", "tit_link"};
    const std::vector<std::string> iecOnly = {"061", "062", "063", "064", "065", "066", "067", "073",
                                              "074", "075", "076", "077", "078", "090", "091", "092",
                                              "093", "094", "095", "096", "097", "098", "099", "101"};
    const std::vector<std::string> kpOnly = {"019"};
    const std::vector<std::string> iecFlags = {"020", "021"};
    const std::vector<std::string> serial = {"006", "068_1", "068_2", "068_3"};
    struct Row {
        int role, index, port, uartMode; // uartMode -1: the document has no "UART0"
        bool byRole, iecOnly, kpOnly, iecFlags, serial;
    };
    const Row rows[] = {
        // ПУ: the wait time-out and link channels must hold defaults except for 5, 9, 12.
        {1, 2, 0, 0, true, true, false, true, false},
        {1, 0, 0, 0, true, true, false, true, false},
        {1, 5, 0, 0, false, true, false, true, false},
        {1, 9, 0, 0, false, true, false, true, false},
        {1, 12, 0, 0, false, true, false, true, false},
        {0, 5, 0, 0, false, true, true, true, false},
        {0, 2, 0, 0, false, true, true, true, false},
        // МЭК uses its own keys, and its validity flags in the ПУ role.
        {1, 1, 0, 0, true, false, false, false, false},
        {0, 1, 0, 0, false, false, true, true, false},
        // Port 1 never uses the serial settings; other ports follow the first port's mode.
        {0, 2, 1, 0, false, true, true, true, true},
        {0, 2, 0, 1, false, true, true, true, true},
        {0, 2, 2, 1, false, true, true, true, true},
        {0, 2, 2, 0, false, true, true, true, false},
        {0, 2, 255, 2, false, true, true, true, true},
        {0, 2, 0, -1, false, true, true, true, false},
        {0, 2, 1, -1, false, true, true, true, true},
    };
    for (const Row& r : rows) {
        const std::string label = ::testing::PrintToString(std::vector<int>{r.role, r.index, r.port, r.uartMode});
        auto doc = MakeDoc(r.uartMode >= 0);
        if (r.uartMode >= 0) doc->SetUartMode(r.uartMode);
        TDevice& d = *doc->first;
        d.ResetDefaults();
        Set(d, "011", r.role);
        Set(d, "004", ProtocolCodes[r.index]);
        Set(d, "002", r.port);
        d.MarkUnusedFields();

        std::set<std::string> expected = kAlwaysChecked;
        auto add = [&expected](bool on, const std::vector<std::string>& keys) {
            if (on) expected.insert(keys.begin(), keys.end());
        };
        add(r.byRole, byRole);
        add(r.iecOnly, iecOnly);
        add(r.kpOnly, kpOnly);
        add(r.iecFlags, iecFlags);
        add(r.serial, serial);
        EXPECT_EQ(CheckedKeys(d), expected) << label;
    }
}

TEST(Device, DefaultCheckReportsBlockFieldsUnderTheDevicePath)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    d.ResetDefaults();
    doc->second->ResetDefaults();
    Set(d, "004", 2);
    Set(d, "0209", 8);
    ScriptedPrompt prompt{mrYes};
    doc->Prompt = &prompt;
    ScopedLogRecorder log;
    doc->AfterLoad();
    ASSERT_EQ(prompt.Questions().size(), 1u);
    EXPECT_EQ(prompt.Questions()[0], "Параметр \"Doc.Устройство_01.0209\" имеет значение 8 отличное от значения по "
                                     "умолчанию 7.\rИспользовать значение по умолчанию?");
    EXPECT_EQ(ValueOf(d, "0209"), 7);
}

TEST(Device, CaptionNamesRoleProtocolPortAndAddress)
{
    auto doc = MakeDoc();
    TDevice& d = *doc->first;
    d.ResetDefaults();
    Set(d, "011", 0);
    Set(d, "004", 2);
    Set(d, "002", 0);
    Set(d, "000", 5);
    EXPECT_EQ(d.DeviceCaption(), "КП ModBus, COM, адрес 5");
    Set(d, "002", 2);
    Set(d, "004", 24); // no block: the title still comes from the index
    Set(d, "011", 1);
    EXPECT_EQ(d.DeviceCaption(), "ПУ СЭТ-4ТМ, 485, адрес 5");
    Set(d, "002", 3);
    EXPECT_EQ(d.DevicePortName(), "Нет");

    for (int i = 1; i < ProtocolCount; ++i) EXPECT_EQ(TDevice::ProtocolIndexOfCode(ProtocolCodes[i]), i);
    for (int code : {0, 10, 13, 14, 20, 22, 27, 28, 255}) EXPECT_EQ(TDevice::ProtocolIndexOfCode(code), 0) << code;
}

TEST(Device, ForEachChannelBlockStopsWhenAsked)
{
    auto doc = MakeDoc();
    std::vector<const TDevChannel*> seen;
    doc->first->ForEachChannelBlock([&seen](TDevChannel& block, bool& proceed) {
        seen.push_back(&block);
        if (seen.size() == 5) proceed = false;
    });
    ASSERT_EQ(seen.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], doc->first->ChannelBlockByIndex(i));

    seen.clear();
    doc->first->ForEachChannelBlock([&seen](TDevChannel& block, bool&) { seen.push_back(&block); });
    EXPECT_EQ(seen.size(), 20u);
}

TEST(Device, CopyTakesTheWholeRecordWithoutProtocolChange)
{
    auto doc = MakeDoc();
    TDevice& a = *doc->first;
    TDevice& b = *doc->second;
    a.ResetDefaults();
    Set(a, "004", 2);
    Set(a, "0209", 99);
    Set(a, "000", 17);
    a.ChannelBlockByIndex(3)->Find<TField>("0003")->SetValue(int32_t{1234});
    a.CopyTo(b);
    const uint8_t* data = doc->devices->Data();
    EXPECT_TRUE(std::equal(data, data + kDeviceSize, data + kDeviceSize));
    EXPECT_EQ(b.ActiveProtocolIndex(), 2);
    EXPECT_EQ(ValueOf(b, "0209"), 99) << "the area is copied, not reset";

    auto wide = MakeDoc(true, {100, nullptr});
    EXPECT_EQ(ErrorOf([&] { a.CopyTo(*wide->first); }), "Размер источника 724 байт получателя 754 байт");
}
