#include "tests/support/ProtocolBlockFixture.h"

#include "tests/support/LayoutAudit.h"
#include "tests/support/PromptAndLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace testsupport {

namespace {

void ForEachField(const TFieldLst& list, const std::function<void(TField&)>& visit)
{
    for (int i = 0; i < list.FieldCount(); ++i) {
        TObjNode* node = list.FieldByIndex(i);
        if (auto* field = dynamic_cast<TField*>(node))
            visit(*field);
        else if (auto* nested = dynamic_cast<TFieldLst*>(node))
            ForEachField(*nested, visit);
    }
}

// The path quoted at the start of a default question, without the root and its dot.
std::string PathOfQuestion(const std::string& question, const std::string& root)
{
    const size_t open = question.find('"');
    const size_t close = open == std::string::npos ? open : question.find('"', open + 1);
    if (close == std::string::npos) return "(unquoted) " + question;
    std::string path = question.substr(open + 1, close - open - 1);
    if (path.rfind(root + ".", 0) == 0) path.erase(0, root.size() + 1);
    return path;
}

// Every field of the node that one default check answered with No asked about, as
// paths below the root.
std::set<std::string> AskedByCheck(TObjNode& node, const std::string& root)
{
    ScriptedPrompt prompt;
    for (int i = 0; i < 512; ++i) prompt.Push(mrNo);
    TDefaultCheckRun run{0, &prompt};
    node.CheckDefaults(root, run);

    std::set<std::string> asked;
    for (const std::string& q : prompt.Questions()) asked.insert(PathOfQuestion(q, root));
    return asked;
}

// The same question through a device with the row's protocol selected.
std::set<std::string> AskedThroughDevice(const RuleRow& r)
{
    auto doc = TwoDeviceDoc::New();
    TDevice& device = doc->Select(r.index, r.role.value_or(0));
    TDevProtocol* block = device.ActiveProtocol();
    if (!block) throw std::runtime_error("no active block");
    SetAllAwayFromDefaults(*block);
    for (const auto& [path, value] : r.settings) FieldAt(*block, path).SetValue(value);

    std::set<std::string> asked;
    for (const std::string& path : AskedByCheck(device, "Doc.Устройство_01")) {
        const std::string key = path.substr(0, path.find('.'));
        if (!device.TFieldLst::FindField(key)) asked.insert(path);
    }
    return asked;
}

} // namespace

ProtocolBlockFixture::ProtocolBlockFixture(int index, std::optional<int> role, uint8_t areaFill, int areaSize)
    : areaSize_(areaSize), memory_(0, 2 * Guard + areaSize)
{
    uint8_t* bytes = memory_.Data();
    std::memset(bytes, Sentinel, static_cast<size_t>(memory_.Size));
    std::memset(bytes + Guard, areaFill, static_cast<size_t>(areaSize_));
    if (role) {
        roleBlock_ = TMemoryBlock::Make(0, 1);
        role_ = Make<TField>(roleBlock_.get(), 0, ftByte, Variant(0), false);
        role_->SetValue(*role);
    }
    const TDevProtocolFactory factory = DevProtocolFactory(index);
    if (!factory) throw std::runtime_error("no block for protocol index " + std::to_string(index));
    block_ = factory(&memory_, Guard, ProtocolNames[index], role_.get());
}

std::vector<uint8_t> ProtocolBlockFixture::Area() const
{
    const uint8_t* bytes = memory_.Data() + Guard;
    return {bytes, bytes + areaSize_};
}

std::map<int, uint8_t> ProtocolBlockFixture::NonZeroArea() const
{
    std::map<int, uint8_t> nonZero;
    const std::vector<uint8_t> area = Area();
    for (size_t i = 0; i < area.size(); ++i)
        if (area[i] != 0) nonZero[static_cast<int>(i)] = area[i];
    return nonZero;
}

bool ProtocolBlockFixture::GuardsIntact() const
{
    const uint8_t* bytes = memory_.Data();
    const auto sentinel = [](uint8_t b) { return b == Sentinel; };
    return std::all_of(bytes, bytes + Guard, sentinel) &&
           std::all_of(bytes + Guard + areaSize_, bytes + memory_.Size, sentinel);
}

void ProtocolBlockFixture::ZeroArea() { std::memset(memory_.Data() + Guard, 0, static_cast<size_t>(areaSize_)); }

TField& FieldAt(const TFieldLst& root, const std::string& path)
{
    const TFieldLst* list = &root;
    size_t start = 0;
    for (;;) {
        const size_t dot = path.find('.', start);
        TObjNode* node = list->FindField(path.substr(start, dot == std::string::npos ? dot : dot - start));
        if (dot == std::string::npos) {
            if (auto* field = dynamic_cast<TField*>(node)) return *field;
            break;
        }
        list = dynamic_cast<TFieldLst*>(node);
        if (!list) break;
        start = dot + 1;
    }
    throw std::runtime_error("no field " + path);
}

void SetAllAwayFromDefaults(const TFieldLst& list)
{
    ForEachField(list, [](TField& f) {
        if (f.FieldType == ftString) {
            f.SetValue(f.DefaultValue.ToString() == "x" ? "y" : "x");
            return;
        }
        const int32_t d = f.DefaultValue.ToInt32();
        const bool limited = f.MinValue != 0 || f.MaxValue != 0;
        f.SetValue(!limited || d < f.MaxValue ? d + 1 : d - 1);
    });
}

std::set<std::string>
ProtocolBlockFixture::AskedAbout(const std::vector<std::pair<std::string, Variant>>& settings) const
{
    SetAllAwayFromDefaults(*block_);
    for (const auto& [path, value] : settings) Set(path, value);
    return AskedByCheck(*block_, "P");
}

void TwoDeviceDoc::Build()
{
    Devices = Image.AddBlock(0x0200, 2 * DeviceSize);
    std::memset(Devices->Data(), Sentinel, static_cast<size_t>(Devices->Size));
    auto first = MakeList<TDevice>("", Devices, 0);
    First = first.get();
    const int32_t size = AddField("Устройство_01", std::move(first));
    auto second = MakeList<TDevice>("", Devices, size);
    Second = second.get();
    AddField("Устройство_02", std::move(second));
}

TDevice& TwoDeviceDoc::Select(int index, int role)
{
    First->ResetDefaults();
    First->RoleField()->SetValue(role);
    First->ProtocolField()->SetValue(ProtocolCodes[index]);
    return *First;
}

std::string Number(int n)
{
    char key[16];
    std::snprintf(key, sizeof key, "%.4d", n);
    return key;
}

std::vector<KeyAt> NumberedFlags(int first, int count, int offset)
{
    std::vector<KeyAt> keys;
    for (int i = 0; i < count; ++i) keys.push_back(Bit(Number(first + i), offset + i / 8, i % 8));
    return keys;
}

std::vector<KeyAt> Join(std::vector<KeyAt> a, const std::vector<KeyAt>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ExpectRules(const std::vector<RuleRow>& rows)
{
    for (const RuleRow& r : rows) {
        ProtocolBlockFixture f(r.index, r.role);
        std::string label = "index " + std::to_string(r.index) + ", role " +
                            (r.role ? std::to_string(*r.role) : std::string("none"));
        for (const auto& [key, value] : r.settings) label += ", " + key + " = " + value.ToString();
        EXPECT_EQ(f.AskedAbout(r.settings), r.asked) << label << ", block alone";
        EXPECT_EQ(AskedThroughDevice(r), r.asked) << label << ", through a device";
    }
}

void ExpectProtocolSwitches(const std::vector<BlockRow>& rows)
{
    auto doc = TwoDeviceDoc::New();
    TDevice& device = *doc->First;
    const auto code = static_cast<size_t>(device.ProtocolField()->NodeOffset());
    const auto area = static_cast<size_t>(device.ProtocolAreaOffset());
    // Each row starts from the area the previous protocol left, the first from the sentinel.
    for (int pass = 0; pass < 2; ++pass) {
        for (const BlockRow& row : rows) {
            SCOPED_TRACE(testing::Message() << "protocol index " << row.index << ", pass " << pass);
            device.ProtocolField()->SetValue(ProtocolCodes[row.index]);
            std::vector<uint8_t> expected(static_cast<size_t>(doc->Devices->Size), TwoDeviceDoc::Sentinel);
            std::fill_n(expected.begin() + static_cast<ptrdiff_t>(area), ProtocolBlockFixture::AreaSize, 0);
            for (const auto& [at, byte] : row.defaults) expected[area + static_cast<size_t>(at)] = byte;
            expected[code] = ProtocolCodes[row.index];
            const uint8_t* bytes = doc->Devices->Data();
            EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + doc->Devices->Size), expected);
        }
    }
}

void ExpectKeysThroughDevice(const std::vector<BlockRow>& rows)
{
    auto doc = TwoDeviceDoc::New();
    TDevice& device = *doc->First;
    for (const BlockRow& active : rows) {
        device.ProtocolField()->SetValue(ProtocolCodes[active.index]);
        const TDevProtocol* block = device.ActiveProtocol();
        ASSERT_NE(block, nullptr) << "protocol index " << active.index;
        for (const BlockRow& row : rows) {
            for (const KeyAt& k : row.keys) {
                // A device key would hide the block's from the pages.
                EXPECT_EQ(device.TFieldLst::FindField(k.key), nullptr) << k.key << " is the device's own";
                const TObjNode* found = device.FindField(k.key);
                if (&row == &active)
                    EXPECT_TRUE(found && found == block->FindField(k.key)) << k.key << " of the active block";
                else
                    EXPECT_EQ(found, block->FindField(k.key))
                        << k.key << " of index " << row.index << " under index " << active.index;
            }
        }
    }
}

std::vector<std::string> KeysOf(const TFieldLst& list)
{
    std::vector<std::string> keys;
    for (int i = 0; i < list.FieldCount(); ++i) keys.push_back(list.FieldName(i));
    return keys;
}

void ExpectBlockMatches(const BlockRow& row, int areaSize)
{
    SCOPED_TRACE(testing::Message() << "protocol index " << row.index << " (" << row.className << ")");

    constexpr uint8_t fill = 0x5A;
    ProtocolBlockFixture f(row.index, std::nullopt, fill, areaSize);
    const TDevProtocol& block = f.Block();

    EXPECT_EQ(f.Area(), std::vector<uint8_t>(static_cast<size_t>(areaSize), fill)) << "building wrote";
    EXPECT_STREQ(block.ClassName(), row.className);
    EXPECT_EQ(block.Name, ProtocolNames[row.index]);
    EXPECT_EQ(block.Size, row.size);
    EXPECT_EQ(block.ProtocolAreaSize(), areaSize);
    EXPECT_TRUE(AuditLayout(block, row.size));
    EXPECT_TRUE(FitsArea(block, ProtocolBlockFixture::Guard, block.ProtocolAreaSize()));

    std::set<std::string> expectedKeys, actualKeys;
    for (const KeyAt& k : row.keys) expectedKeys.insert(k.key);
    for (const std::string& k : KeysOf(block)) actualKeys.insert(k);
    EXPECT_EQ(actualKeys, expectedKeys);

    for (const KeyAt& k : row.keys) {
        SCOPED_TRACE(k.key);
        const TObjNode* node = block.FindField(k.key);
        if (!node) continue; // reported by the key set
        EXPECT_EQ(node->NodeOffset() - ProtocolBlockFixture::Guard, k.offset);
        EXPECT_EQ(node->Size, k.size);
        const auto* field = dynamic_cast<const TField*>(node);
        if (k.type == 0) {
            EXPECT_NE(dynamic_cast<const TFieldLst*>(node), nullptr) << "a record";
            continue;
        }
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->FieldType, k.type);
        const auto* bits = dynamic_cast<const TBitFleld*>(node);
        if (k.bit < 0) {
            EXPECT_EQ(bits, nullptr) << "a whole field";
        } else if (bits) {
            EXPECT_EQ(static_cast<int>(bits->Position), k.bit);
            EXPECT_EQ(static_cast<int>(bits->BitCount), k.bits);
        } else {
            ADD_FAILURE() << "a bit field";
        }
    }

    f.ZeroArea();
    f.Block().ResetDefaults();
    EXPECT_EQ(f.NonZeroArea(), row.defaults);
    EXPECT_TRUE(f.GuardsIntact());
    ForEachField(block, [](TField& field) {
        EXPECT_TRUE(field.GetValue().Equals(field.DefaultValue))
            << "reads " << field.GetValue().ToString() << " after a reset";
    });
}

} // namespace testsupport
