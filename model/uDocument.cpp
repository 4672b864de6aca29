#include "model/uDocument.h"

#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>

using platform::Format;

namespace {

// Low `count` bits set.
uint64_t LowBits(unsigned count) { return count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1; }

[[noreturn]] void UnsupportedType(uint16_t fieldType)
{
    throw platform::Exception(Format("тип %d не поддерживается", fieldType));
}

} // namespace

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

namespace {

int32_t SizeOfType(uint16_t fieldType)
{
    switch (fieldType) {
    case ftShortInt:
    case ftByte: return 1;
    case ftSmallint:
    case ftWord: return 2;
    case ftInteger:
    case ftSingle:
    case ftLongWord: return 4;
    case ftLongWord24: return 3;
    default: UnsupportedType(fieldType);
    }
}

} // namespace

void TField::Build() { Size = SizeOfType(FieldType); }

void TField::AfterConstruction()
{
    if (MinValue != 0 || MaxValue != 0) return;
    switch (FieldType) {
    case ftSmallint: MinValue = -32768, MaxValue = 32767; break;
    case ftShortInt: MinValue = -128, MaxValue = 127; break;
    case ftByte: MaxValue = 255; break;
    case ftWord: MaxValue = 65535; break;
    case ftLongWord: MaxValue = 0x7FFFFFFF; break;
    case ftLongWord24: MaxValue = 0xFFFFFF; break;
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
    case ftLongWord24: {
        uint8_t b[3];
        ReadBytes(NodeOffset(), b, sizeof b);
        return static_cast<uint32_t>(b[0] | b[1] << 8 | b[2] << 16);
    }
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
    case ftLongWord24: {
        const auto v = static_cast<uint32_t>(value.ToInt64());
        const uint8_t b[3] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)};
        WriteBytes(NodeOffset(), b, sizeof b);
        break;
    }
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

// ---------------------------------------------------------------------------------
// String-table storages

namespace {

[[noreturn]] void RangeError() { throw platform::ERangeError("Range error"); }

} // namespace

Variant TFlashBinStorage::GetValue() const { return std::string(); }

void TFlashBinStorage::SetValue(const Variant&) { UnsupportedType(ftString); }

void TFlashVerStorage::ResetDefaults()
{
    ClearStorage();
    WriteHeader();
}

void TFlashFixedStringsStorage::Build() { Size = HeaderSize() + SlotSize() * Count; }

void TFlashFixedStringsStorage::AfterConstruction()
{
    TFlashStringsStorage::AfterConstruction();
    WriteHeader();
    ReloadStrings();
}

int64_t TFlashFixedStringsStorage::StorageOffset() const
{
    // Positions count from the storage's own offset, which is absolute only under a
    // document.
    assert(Parent == nullptr || dynamic_cast<const TDocument*>(Parent) != nullptr);
    return Offset;
}

int64_t TFlashFixedStringsStorage::SlotOffset(int index) const
{
    return StorageOffset() + HeaderSize() + int64_t{SlotSize()} * index;
}

void TFlashFixedStringsStorage::CheckIndex(int index) const
{
    if (index < 0 || index >= Count) RangeError();
}

void TFlashFixedStringsStorage::ReadHeader() const
{
    uint8_t version = 0;
    int32_t count = 0;
    ReadBytes(StorageOffset(), &version, 1);
    ReadBytes(StorageOffset() + 1, &count, sizeof count);
    if (version != Version)
        throw platform::Exception(
            Format("Версия справочника строк не подерживается (%d != %d)", int{Version}, int{version}));
    if (count != Count)
        throw platform::Exception(Format("Ошибка определения размера справочника строк (%d != %d)", count, Count));
}

void TFlashFixedStringsStorage::WriteHeader()
{
    WriteBytes(StorageOffset(), &Version, 1);
    WriteBytes(StorageOffset() + 1, &Count, sizeof Count);
}

void TFlashFixedStringsStorage::ClearStorage()
{
    const std::vector<uint8_t> zeros(static_cast<size_t>(Size), 0);
    WriteBytes(StorageOffset(), zeros.data(), zeros.size());
}

std::string TFlashFixedStringsStorage::GetString(int index) const
{
    CheckIndex(index);
    uint8_t length = 0;
    ReadBytes(SlotOffset(index), &length, 1);
    std::string bytes(std::min<size_t>(length, static_cast<size_t>(MaxStringLength())), '\0');
    ReadBytes(SlotOffset(index) + 1, bytes.data(), bytes.size());
    return platform::AnsiToUtf8(bytes);
}

int32_t TFlashFixedStringsStorage::WriteString(int index, const char* buffer, int32_t length)
{
    CheckIndex(index);
    const int32_t n = std::clamp(length, 0, MaxStringLength());
    const std::vector<uint8_t> zeros(static_cast<size_t>(std::max(SlotSize() - 1, 0)), 0);
    const auto stored = static_cast<uint8_t>(n);
    WriteBytes(SlotOffset(index), zeros.data(), zeros.size());
    WriteBytes(SlotOffset(index), &stored, 1);
    WriteBytes(SlotOffset(index) + 1, buffer, static_cast<size_t>(n));
    return n;
}

void TFlashFixedStringsStorage::SetString(int index, const std::string& text)
{
    const std::string encoded = platform::Utf8ToAnsi(text);
    WriteString(index, encoded.data(), static_cast<int32_t>(encoded.size()));
    // The cache shows what the slot holds: the text as cut and encoded.
    const auto i = static_cast<size_t>(index);
    if (CachedStrings.size() <= i) ReloadStrings();
    else CachedStrings[i].first = GetString(index);
}

void TFlashFixedStringsStorage::ReloadStrings()
{
    CachedStrings.clear();
    for (int i = 0; i < Count; ++i) CachedStrings.emplace_back(GetString(i), i);
}

void TFlashFixedStringsStorage::ResetDefaults()
{
    // The header first: a reset repairs a header a kept load left broken.
    WriteHeader();
    for (int i = 0; i < Count; ++i) WriteString(i, "", 0);
    ReloadStrings();
}

void TFlashFixedStringsStorage::Reload()
{
    ReloadStrings();
    ReadHeader();
}

// ---------------------------------------------------------------------------------
// Proxy fields

namespace {

const TField* AsField(const TObjNode& node) { return dynamic_cast<const TField*>(&node); }

} // namespace

TProxyField::TProxyField(TObjNode& target, Variant defaultValue)
    : TField(target.Block, static_cast<int32_t>(target.NodeOffset()), AsField(target) ? AsField(target)->FieldType : 0,
             std::move(defaultValue), false, AsField(target) ? AsField(target)->MinValue : 0,
             AsField(target) ? AsField(target)->MaxValue : 0),
      Target(&target)
{
}

void TProxyField::FillLookupList(TPickList&, int) const {}

Variant TStringsStorageProxyField::GetValue() const { return Storage().GetString(StringIndex); }

void TStringsStorageProxyField::SetValue(const Variant& value)
{
    Storage().SetString(StringIndex, value.ToString());
    Changed();
}

void TStringsStorageProxyField::ResetDefaults() { SetValue(DefaultText); }

Variant TLookupProxyField::GetValue() const { return IndexField->GetValue(); }

void TLookupProxyField::SetValue(const Variant& value) { IndexField->SetValue(value); }

void TLookupProxyField::FillLookupList(TPickList& list, int offset) const
{
    const TPickList& texts = Storage().CachedStrings;
    for (size_t i = 0; i < texts.size(); ++i)
        list.emplace_back(texts[i].first, offset == 0 ? texts[i].second : static_cast<int>(i) + offset);
}

std::string TLookupProxyField::LookupText(int offset) const
{
    const int64_t wanted = IndexField->GetValue().ToInt64() + offset;
    for (const auto& [text, value] : Storage().CachedStrings)
        if (value == wanted) return text;
    RangeError();
}

// ---------------------------------------------------------------------------------
// TFieldLst

TFieldLst::~TFieldLst()
{
    while (!children_.empty()) children_.pop_back();
}

std::vector<int>::const_iterator TFieldLst::KeyPosition(std::string_view key) const
{
    return std::lower_bound(byKey_.begin(), byKey_.end(), key, [this](int i, std::string_view k) {
        return CompareKeys(children_[static_cast<size_t>(i)].key, k) < 0;
    });
}

int TFieldLst::IndexOf(std::string_view key) const
{
    if (LayoutOrder) {
        const auto it = KeyPosition(key);
        return it != byKey_.end() && CompareKeys(children_[static_cast<size_t>(*it)].key, key) == 0 ? *it : -1;
    }
    const auto it = std::lower_bound(children_.begin(), children_.end(), key,
                                     [](const Child& c, std::string_view k) { return CompareKeys(c.key, k) < 0; });
    if (it != children_.end() && CompareKeys(it->key, key) == 0) return static_cast<int>(it - children_.begin());
    return -1;
}

bool TFieldLst::Adopt(std::string key, std::unique_ptr<TObjNode> node)
{
    auto at = children_.end();
    bool taken = false;
    if (LayoutOrder) {
        const auto position = KeyPosition(key);
        taken = position != byKey_.end() && CompareKeys(children_[static_cast<size_t>(*position)].key, key) == 0;
        if (!taken) byKey_.insert(position, static_cast<int>(children_.size()));
    } else if (!children_.empty() && CompareKeys(children_.back().key, key) >= 0) {
        // Layouts mostly add keys in ascending order, which the test above appends.
        at = std::lower_bound(children_.begin(), children_.end(), key,
                              [](const Child& c, const std::string& k) { return CompareKeys(c.key, k) < 0; });
        taken = CompareKeys(at->key, key) == 0;
    }
    if (taken) {
        refused_.push_back(std::move(key));
        return false;
    }
    node->Parent = this;
    if (at == children_.end())
        children_.push_back({std::move(key), std::move(node)});
    else
        children_.insert(at, {std::move(key), std::move(node)});
    return true;
}

int32_t TFieldLst::AddField(std::string key, std::unique_ptr<TObjNode> node)
{
    const int32_t size = node->Size;
    Adopt(std::move(key), std::move(node)); // a key already there keeps its node; this one is freed
    return size;
}

void TFieldLst::RemoveField(std::string_view key) { TakeField(key); }

std::unique_ptr<TObjNode> TFieldLst::TakeField(std::string_view key)
{
    const int i = IndexOf(key);
    if (i < 0) return nullptr;
    std::unique_ptr<TObjNode> node = std::move(children_[static_cast<size_t>(i)].node);
    children_.erase(children_.begin() + i);
    if (LayoutOrder) {
        std::erase(byKey_, i);
        for (int& position : byKey_)
            if (position > i) --position;
    }
    return node;
}

void TFieldLst::ReplaceField(std::string key, std::unique_ptr<TObjNode> node)
{
    RemoveField(key);
    AddField(std::move(key), std::move(node));
}

TObjNode* TFieldLst::FieldByIndex(int index) const
{
    if (index < 0 || index >= FieldCount()) return nullptr;
    return children_[static_cast<size_t>(index)].node.get();
}

const std::string& TFieldLst::FieldName(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw platform::EListError(Format("List index out of bounds (%d)", index));
    return children_[static_cast<size_t>(index)].key;
}

TObjNode* TFieldLst::FindField(std::string_view key) const
{
    const int i = IndexOf(key);
    return i >= 0 ? children_[static_cast<size_t>(i)].node.get() : nullptr;
}

bool TFieldLst::IsModified() const
{
    for (const Child& c : children_)
        if (c.node->IsModified()) return true;
    return false;
}

void TFieldLst::SetModified(bool flag)
{
    for (const Child& c : children_) c.node->SetModified(flag);
}

// Handlers run inside these walks (OnChange of a reset field), so they go by position.
void TFieldLst::CheckDefaults(const std::string& path, TDefaultCheckRun& run)
{
    MarkUnusedFields();
    // One buffer for all children, the path and its dot written once: documents have
    // very many fields.
    std::string childPath = path + '.';
    const size_t prefix = childPath.size();
    for (size_t i = 0; i < children_.size(); ++i) {
        childPath.resize(prefix);
        childPath.append(children_[i].key);
        children_[i].node->CheckDefaults(childPath, run);
    }
}

void TFieldLst::ResetDefaults()
{
    for (size_t i = 0; i < children_.size(); ++i) children_[i].node->ResetDefaults();
    ReloadAll();
}

void TFieldLst::ReloadAll()
{
    for (size_t i = 0; i < children_.size(); ++i) children_[i].node->ReloadFromParent();
}

// ---------------------------------------------------------------------------------
// TLayout

TField* TLayout::Field(std::string key, uint16_t type, Variant defaultValue, bool checkDefault, int32_t minValue,
                       int32_t maxValue)
{
    return Add(std::move(key),
               Make<TField>(block_, offset_, type, std::move(defaultValue), checkDefault, minValue, maxValue));
}

TStrField* TLayout::Text(std::string key, int32_t length, std::string defaultText, bool checkDefault)
{
    return Add(std::move(key), Make<TStrField>(block_, offset_, length, std::move(defaultText), checkDefault));
}

void TLayout::Bits(uint16_t containerType, std::initializer_list<Bit> bits)
{
    const int32_t size = SizeOfType(containerType);
    for (const Bit& b : bits)
        list_.AddField(b.key, Make<TBitFleld>(block_, offset_, containerType, b.position, b.count,
                                              b.defaultValue, b.checkDefault));
    offset_ += size;
}

void TLayout::MoveTo(int32_t at, const std::string& key)
{
    if (at < offset_)
        throw std::logic_error(Format("layout row \"%s\" at %d overlaps what lies before %d", key.c_str(),
                                      at - start_, offset_ - start_));
    offset_ = at;
}

void TLayout::Rows(std::span<const TLayoutRow> rows)
{
    size_t fields = 0;
    for (const TLayoutRow& row : rows) fields += static_cast<size_t>(row.Count > 0 ? row.Count : 1);
    Reserve(fields);
    for (const TLayoutRow& row : rows) {
        const int count = row.Count > 0 ? row.Count : 1;
        for (int i = 0; i < count; ++i) {
            std::string key = row.Count > 0 ? Format(row.Key, row.First + i) : std::string(row.Key);
            if (row.Bits.Count > 0) {
                const int32_t size = SizeOfType(row.Type);
                const int bit = row.Bits.Position + i * row.Bits.Count;
                const int32_t at = start_ + row.Offset + bit / (8 * size) * size;
                if (bit % (8 * size) + row.Bits.Count > 8 * size)
                    throw std::logic_error(Format("layout row \"%s\" does not fit its container", key.c_str()));
                // A container stays open only while nothing was laid out behind it.
                const bool open = at == openContainer_ && row.Type == openType_ && offset_ == at + size;
                if (!open) {
                    MoveTo(at, key);
                    offset_ = at + size;
                    openContainer_ = at;
                    openType_ = row.Type;
                }
                list_.AddField(std::move(key), Make<TBitFleld>(block_, at, row.Type, static_cast<uint8_t>(bit % (8 * size)),
                                                    row.Bits.Count, row.Default, row.CheckDefault));
                continue;
            }
            const int32_t size = row.Type == ftString ? row.Length : SizeOfType(row.Type);
            MoveTo(start_ + row.Offset + i * size, key);
            if (row.Type == ftString)
                Text(std::move(key), row.Length, row.Text, row.CheckDefault);
            else if (row.Type == ftSingle)
                Field(std::move(key), row.Type, static_cast<double>(row.Default), row.CheckDefault, row.MinValue,
                      row.MaxValue);
            else
                Field(std::move(key), row.Type, row.Default, row.CheckDefault, row.MinValue, row.MaxValue);
        }
    }
}

void LayOutTable(TFieldLst& list, std::span<const TLayoutRow> rows)
{
    TLayout layout(list);
    layout.Rows(rows);
    layout.Finish();
}

// ---------------------------------------------------------------------------------
// TDocument

void TDocument::AfterConstruction()
{
    // Records directly under a document compute absolute offsets from their own.
    assert(Offset == 0 && Parent == nullptr);
    TFieldLst::AfterConstruction();
}

void TDocument::ValidateFieldChange(const void*, TField*, const Variant&, TFieldLst*, bool&) {}

bool TDocument::ImportImage(std::istream&) { return false; }

void TDocument::SetBoardSignature(int32_t) {}

void TDocument::ReloadAfterFailure() noexcept
{
    try {
        ReloadAll();
    } catch (...) {
    }
}

void TDocument::LoadFromStream(std::istream& stream)
{
    bool imported = false;
    try {
        imported = ImportImage(stream);
    } catch (...) {
        ReloadAfterFailure(); // part of the image may be new: caches must follow it
        throw;
    }
    if (imported) AfterLoad();
}

void TDocument::LoadFromFile(const std::filesystem::path& fileName)
{
    std::ifstream file;
    platform::OpenInputFile(fileName, file);
    file.seekg(0);
    LoadFromStream(file);
}

void TDocument::ReloadAll()
{
    std::exception_ptr first;
    for (int i = 0; i < FieldCount(); ++i) {
        try {
            FieldByIndex(i)->ReloadFromParent();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void TDocument::AfterLoad()
{
    try {
        // A storage header that does not match means the image is not this model's:
        // said before anything is asked about its values.
        for (int i = 0; i < FieldCount(); ++i)
            if (const auto* storage = dynamic_cast<const TFlashVerStorage*>(FieldByIndex(i))) storage->ReadHeader();
        Validate();
        TDefaultCheckRun run{0, Prompt};
        CheckDefaults(ModelName, run);
    } catch (...) {
        ReloadAfterFailure();
        throw;
    }
    ReloadAll();
}
