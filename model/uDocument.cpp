#include "uDocument.h"

#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <shared_mutex>

using platform::Format;

// ---------------------------------------------------------------------------------
// Message list and default prompt

IDefaultPrompt::~IDefaultPrompt() = default;
ILogSink::~ILogSink() = default;

namespace {

struct SinkSlot {
    std::shared_mutex lock;
    ILogSink* sink = nullptr;
};

SinkSlot& Slot()
{
    static SinkSlot slot;
    return slot;
}

// Low `count` bits set.
uint64_t LowBits(unsigned count) { return count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1; }

[[noreturn]] void UnsupportedType(uint16_t fieldType)
{
    throw platform::Exception(Format("тип %d не поддерживается", fieldType));
}

} // namespace

ILogSink* SetLogSink(ILogSink* sink)
{
    SinkSlot& slot = Slot();
    std::unique_lock guard(slot.lock);
    return std::exchange(slot.sink, sink);
}

void PostLogMessage(const std::string& text, int kind)
{
    SinkSlot& slot = Slot();
    std::shared_lock guard(slot.lock);
    if (slot.sink) slot.sink->post(text, kind);
}

// ---------------------------------------------------------------------------------
// TObjNode

TObjNode::~TObjNode() = default;

int64_t TObjNode::NodeOffset() const
{
    int64_t offset = Offset;
    for (const TObjNode* p = Parent; p; p = p->Parent) offset += p->Offset;
    return offset;
}

uint8_t* TObjNode::CheckedBytes(int64_t absoluteOffset, size_t count) const
{
    if (count == 0 && absoluteOffset >= 0) return nullptr;
    const int64_t blockSize = Block && Block->Data() ? Block->Size : 0;
    if (absoluteOffset < 0 || static_cast<uint64_t>(absoluteOffset) + count > static_cast<uint64_t>(blockSize))
        throw platform::ERangeError("Range check error");
    return Block->Data() + absoluteOffset;
}

void TObjNode::ReadBytes(int64_t absoluteOffset, void* out, size_t count) const
{
    if (const uint8_t* p = CheckedBytes(absoluteOffset, count)) std::memcpy(out, p, count);
}

void TObjNode::WriteBytes(int64_t absoluteOffset, const void* in, size_t count)
{
    if (uint8_t* p = CheckedBytes(absoluteOffset, count)) std::memcpy(p, in, count);
}

void TObjNode::CopyTo(TObjNode& destination) const
{
    if (std::strcmp(ClassName(), destination.ClassName()) != 0)
        throw platform::Exception(Format("Попытка скопировать \"%s\" в \"%s\"", ClassName(), destination.ClassName()));
    if (Size != destination.Size)
        throw platform::Exception(Format("Размер источника %d байт получателя %d байт", Size, destination.Size));
    const size_t n = static_cast<size_t>(Size);
    const uint8_t* from = CheckedBytes(NodeOffset(), n);
    uint8_t* to = destination.CheckedBytes(destination.NodeOffset(), n);
    if (n) std::memmove(to, from, n);
}

TFieldLst::~TFieldLst() = default;

// ---------------------------------------------------------------------------------
// TField

namespace {

// Little-endian reads and writes of the node's own bytes (the host is little-endian,
// as the image is).
template <class T>
T Load(const TObjNode& node)
{
    T v{};
    node.ReadBytes(node.NodeOffset(), &v, sizeof v);
    return v;
}

template <class T>
void Store(TObjNode& node, T v)
{
    node.WriteBytes(node.NodeOffset(), &v, sizeof v);
}

static_assert(std::endian::native == std::endian::little, "the image is little-endian");

} // namespace

TField::TField(TMemoryBlock* block, int32_t offset, uint16_t fieldType, Variant defaultValue, bool checkDefault,
               int32_t minValue, int32_t maxValue)
    : TObjNode(block, offset), FieldType(fieldType), CheckDefault(checkDefault), MinValue(minValue),
      MaxValue(maxValue), DefaultValue(std::move(defaultValue))
{
}

void TField::Build()
{
    switch (FieldType) {
    case ftShortInt:
    case ftByte: Size = 1; break;
    case ftSmallint:
    case ftWord: Size = 2; break;
    case ftInteger:
    case ftSingle:
    case ftLongWord: Size = 4; break;
    default: UnsupportedType(FieldType);
    }
}

void TField::AfterConstruction()
{
    if (MinValue != 0 || MaxValue != 0) return;
    switch (FieldType) {
    case ftSmallint: MinValue = -32768, MaxValue = 32767; break;
    case ftShortInt: MinValue = -128, MaxValue = 127; break;
    case ftByte: MaxValue = 255; break;
    case ftWord: MaxValue = 65535; break;
    case ftLongWord: MaxValue = 0x7FFFFFFF; break;
    default: break;
    }
}

Variant TField::GetValue() const
{
    switch (FieldType) {
    case ftSmallint: return Load<int16_t>(*this);
    case ftInteger: return Load<int32_t>(*this);
    case ftSingle: return Load<float>(*this);
    case ftShortInt: return Load<int8_t>(*this);
    case ftByte: return Load<uint8_t>(*this);
    case ftWord: return Load<uint16_t>(*this);
    case ftLongWord: return Load<uint32_t>(*this);
    default: UnsupportedType(FieldType);
    }
}

void TField::SetValue(const Variant& value)
{
    const Variant current = GetValue();
    const bool nan = current.Kind() == VariantKind::Double && std::isnan(current.ToDouble());
    if (!nan && current.Equals(value)) return;

    if (MinValue != 0 || MaxValue != 0) {
        if (value.CompareTo(Variant(MinValue)) < 0) throw platform::Exception("Меньше минимума");
        if (value.CompareTo(Variant(MaxValue)) > 0) throw platform::Exception("Больше максимума");
    }
    if (!Accepts(value)) return;

    switch (FieldType) {
    case ftSmallint: Store(*this, static_cast<int16_t>(value.ToInt32())); break;
    case ftInteger: Store(*this, value.ToInt32()); break;
    case ftSingle: Store(*this, value.ToSingle()); break;
    case ftShortInt: Store(*this, static_cast<int8_t>(value.ToInt32())); break;
    case ftByte: Store(*this, static_cast<uint8_t>(value.ToInt32())); break;
    case ftWord: Store(*this, static_cast<uint16_t>(value.ToInt32())); break;
    case ftLongWord: Store(*this, static_cast<uint32_t>(value.ToInt64())); break;
    default: UnsupportedType(FieldType);
    }
    Changed();
}

bool TField::Accepts(const Variant& value)
{
    bool accept = true;
    if (OnValidate) OnValidate(this, this, value, nullptr, accept);
    return accept;
}

void TField::Changed()
{
    SetModified(true);
    if (OnChange) OnChange(this);
}

void TField::CheckDefaults(const std::string& path, TDefaultCheckRun& run)
{
    if (!CheckDefault) return;
    const Variant current = GetValue();
    if (current.Equals(DefaultValue)) return;

    std::string text = Format("Параметр \"%s\" имеет значение %s отличное от значения по умолчанию %s.", path.c_str(),
                              current.ToString().c_str(), DefaultValue.ToString().c_str());
    static const char* const kReset = " Присвоено значение по умолчанию.";
    if (run.Answer == mrYesToAll) {
        SetValue(DefaultValue);
        text += kReset;
    } else if (run.Answer != mrNoToAll) {
        if (!run.Prompt) {
            run.Answer = mrNoToAll; // nobody to ask: change nothing, only report
        } else {
            run.Answer = run.Prompt->ask(text + "\rИспользовать значение по умолчанию?");
            if (run.Answer == mrYes || run.Answer == mrYesToAll) {
                SetValue(DefaultValue);
                text += kReset;
            }
        }
    }
    PostLogMessage(text, lkHighlight);
}

// ---------------------------------------------------------------------------------
// TStrField

TStrField::TStrField(TMemoryBlock* block, int32_t offset, int32_t length, std::string defaultText, bool checkDefault)
    : TField(block, offset, ftString, Variant(std::move(defaultText)), checkDefault, 0, 0), length_(length)
{
}

void TStrField::AfterConstruction()
{
    TField::AfterConstruction();
    Size = length_;
}

Variant TStrField::GetValue() const
{
    std::string bytes(static_cast<size_t>(Size), '\0');
    ReadBytes(NodeOffset(), bytes.data(), bytes.size());
    bytes.resize(std::strlen(bytes.c_str()));
    return platform::AnsiToUtf8(bytes);
}

void TStrField::SetValue(const Variant& value)
{
    if (!Accepts(value)) return;
    // One byte per character in Windows-1251: cutting bytes never splits one.
    const std::string encoded = platform::Utf8ToAnsi(value.ToString());
    std::string bytes(static_cast<size_t>(Size), '\0');
    std::memcpy(bytes.data(), encoded.data(), std::min(bytes.size(), encoded.size()));
    WriteBytes(NodeOffset(), bytes.data(), bytes.size());
    Changed();
}

// ---------------------------------------------------------------------------------
// TBitFleld

TBitFleld::TBitFleld(TMemoryBlock* block, int32_t offset, uint16_t containerType, uint8_t position,
                     uint8_t bitCount, int32_t defaultValue, bool checkDefault)
    : TField(block, offset, containerType, Variant(defaultValue), checkDefault, 0, 0), Position(position),
      BitCount(bitCount)
{
}

void TBitFleld::AfterConstruction()
{
    TField::AfterConstruction();
    MinValue = 0;
    MaxValue = BitCount >= 31 ? 0x7FFFFFFF : static_cast<int32_t>((1u << BitCount) - 1);
}

uint32_t TBitFleld::ReadContainer() const
{
    switch (Size) {
    case 1: return Load<uint8_t>(*this);
    case 2: return Load<uint16_t>(*this);
    default: return Load<uint32_t>(*this);
    }
}

Variant TBitFleld::GetValue() const
{
    const uint32_t bits =
        Position < 32 ? static_cast<uint32_t>((ReadContainer() >> Position) & LowBits(BitCount)) : 0;
    if (Size == 4) return bits;
    return static_cast<int32_t>(bits);
}

void TBitFleld::SetValue(const Variant& value)
{
    if (!Accepts(value)) return;
    const uint64_t v = static_cast<uint64_t>(value.ToInt64());
    const uint64_t mask = Position < 32 ? LowBits(BitCount) << Position : 0;
    const uint64_t stored = (ReadContainer() & ~mask) | ((v << (Position & 63)) & mask);
    switch (Size) {
    case 1: Store(*this, static_cast<uint8_t>(stored)); break;
    case 2: Store(*this, static_cast<uint16_t>(stored)); break;
    default: Store(*this, static_cast<uint32_t>(stored)); break;
    }
    Modified = true;
    if (OnChange) OnChange(this);
}
