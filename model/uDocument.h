#pragma once

#include "model/Event.h"
#include "model/KeyOrder.h"
#include "model/Memory.h"
#include "model/ProtocolTables.h"
#include "model/UiCallbacks.h"
#include "model/Variant.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Nodes bound to the bytes of a document's image: scalar fields and the named lists
// that hold them.

// ---------------------------------------------------------------------------------
// Events

class TObjNode;
class TField;
class TFieldLst;

// Called after a field stored a value; Sender is the field, or none when a handler
// is called to bring its dependants up to date.
using TNotifyEvent = TEvent<void(TField* Sender)>;

// Called before a value is stored; clearing Accept vetoes it. Sender is whoever
// raised the check (the field itself, or an editor control), Row the record of a
// grid row or none.
using TFieldValidateEvent =
    TEvent<void(const void* Sender, TField* Field, const Variant& Value, TFieldLst* Row, bool& Accept)>;

// ---------------------------------------------------------------------------------
// Nodes

struct NodeFactory;

// The base of everything bound to the image: where it lies and how big it is. A node
// keeps its block and offsets; its bytes are reached only through the checked
// accessors, little-endian and unaligned.
class TObjNode {
public:
    virtual ~TObjNode();
    TObjNode(const TObjNode&) = delete;
    TObjNode& operator=(const TObjNode&) = delete;

    TFieldLst* Parent = nullptr; // the list holding the node; set when it is added
    TMemoryBlock* Block = nullptr; // the image block the node lives in (none for a document)
    int32_t Offset = 0;            // within the parent, or within the block without one
    int32_t Size = 0;              // set by Build

    // The class name as users of CopyTo and the frames know it.
    virtual const char* ClassName() const { return "TObjNode"; }

    virtual bool IsModified() const = 0;
    virtual void SetModified(bool flag) = 0;
    virtual void Build() = 0;
    virtual void CheckDefaults(const std::string& path, TDefaultCheckRun& run) = 0;
    virtual void ResetDefaults() = 0;
    // What a list's ReloadAll does to a direct child: a field reloads its cache, a
    // list re-marks its unused fields.
    virtual void ReloadFromParent() = 0;

    // Offset plus the parents' offsets: the node's position within its block.
    int64_t NodeOffset() const;

    // Copy `count` bytes at an absolute offset of the block. A range that does not
    // lie inside the block raises platform::ERangeError "Range check error" and
    // touches nothing.
    void ReadBytes(int64_t absoluteOffset, void* out, size_t count) const;
    void WriteBytes(int64_t absoluteOffset, const void* in, size_t count);

    // Copies this node's Size bytes onto the destination's; both must be of one
    // class and one size.
    void CopyTo(TObjNode& destination) const;

protected:
    TObjNode(TMemoryBlock* block, int32_t offset) : Block(block), Offset(offset) {}

    // The class's own steps after Build.
    virtual void AfterConstruction() {}

private:
    uint8_t* CheckedBytes(int64_t absoluteOffset, size_t count) const;

    friend struct NodeFactory;
};

// Creates nodes in phases: construct (members only), Build, the class's own steps.
// Constructors never call virtual operations; every node is made here.
struct NodeFactory {
    template <class T>
    struct Made final : T {
        template <class... A>
        explicit Made(A&&... a) : T(std::forward<A>(a)...)
        {
        }
    };

    template <class T, class... A>
    static std::unique_ptr<T> Make(A&&... args)
    {
        std::unique_ptr<T> node(new Made<T>(std::forward<A>(args)...));
        TObjNode& n = *node;
        n.Build();
        n.AfterConstruction();
        return node;
    }

    // Lists get their name after Build, so Build never reads it.
    template <class T, class... A>
    static std::unique_ptr<T> MakeList(std::string name, A&&... args)
    {
        std::unique_ptr<T> list(new Made<T>(std::forward<A>(args)...));
        TObjNode& n = *list;
        n.Build();
        list->Name = std::move(name);
        n.AfterConstruction();
        return list;
    }

    // Documents are named after their model, which their constructor sets.
    template <class T, class... A>
    static std::unique_ptr<T> MakeDocument(A&&... args)
    {
        std::unique_ptr<T> doc(new Made<T>(std::forward<A>(args)...));
        TObjNode& n = *doc;
        n.Build();
        doc->Name = doc->ModelName;
        n.AfterConstruction();
        return doc;
    }
};

// A field (or any node but a list): construct, Build, the class's own steps.
template <class T, class... A>
std::unique_ptr<T> Make(A&&... args)
{
    return NodeFactory::Make<T>(std::forward<A>(args)...);
}

// A list: construct with args, Build, Name := name, the class's own steps.
template <class T, class... A>
std::unique_ptr<T> MakeList(std::string name, A&&... args)
{
    return NodeFactory::MakeList<T>(std::move(name), std::forward<A>(args)...);
}

// A document: construct with args, Build, Name := ModelName, the class's own steps.
template <class T, class... A>
std::unique_ptr<T> MakeDocument(A&&... args)
{
    return NodeFactory::MakeDocument<T>(std::forward<A>(args)...);
}

// Field types: how a value is stored.
constexpr uint16_t ftSmallint = 2; // signed 16-bit
constexpr uint16_t ftInteger = 3;  // signed 32-bit
constexpr uint16_t ftSingle = 4;   // IEEE 754 single
constexpr uint16_t ftShortInt = 16;
constexpr uint16_t ftByte = 17;
constexpr uint16_t ftWord = 18;
constexpr uint16_t ftLongWord = 19; // unsigned 32-bit, limited to 0x7FFFFFFF
constexpr uint16_t ftLongWord24 = 20; // unsigned 24-bit in 3 bytes, 0 .. 0xFFFFFF
constexpr uint16_t ftString = 256;  // fixed-length Windows-1251 text

// One value stored little-endian in Size bytes of the image. The value lives only in
// the image; the field holds its default, limits, flags and handlers.
class TField : public TObjNode {
public:
    uint16_t FieldType = 0;
    bool Modified = false;
    bool CheckDefault = false; // whether the default check looks at this field
    int32_t MinValue = 0;
    int32_t MaxValue = 0;
    Variant DefaultValue;
    TNotifyEvent OnChange;
    TFieldValidateEvent OnValidate;

    const char* ClassName() const override { return "TField"; }

    bool IsModified() const override { return Modified; }
    void SetModified(bool flag) override { Modified = flag; }
    void Build() override;
    void CheckDefaults(const std::string& path, TDefaultCheckRun& run) override;
    void ResetDefaults() override { SetValue(DefaultValue); }
    void ReloadFromParent() override { Reload(); }

    virtual Variant GetValue() const;
    // Equal value: nothing happens. Then limits ("Меньше минимума", "Больше
    // максимума"), OnValidate, the store, Modified and OnChange.
    virtual void SetValue(const Variant& value);
    // Refreshes what a field caches from the image; scalar fields cache nothing.
    virtual void Reload() {}

protected:
    // Limits 0, 0 take the type's range after Build.
    TField(TMemoryBlock* block, int32_t offset, uint16_t fieldType, Variant defaultValue, bool checkDefault,
           int32_t minValue = 0, int32_t maxValue = 0);
    void AfterConstruction() override;

    // Runs OnValidate (Sender and Field this field, Row none); false when vetoed.
    bool Accepts(const Variant& value);
    // Marks the field modified and calls OnChange.
    void Changed();
};

// Text of a fixed number of bytes, zero-padded, in Windows-1251. No limits and no
// equality test: every accepted store writes.
class TStrField : public TField {
public:
    const char* ClassName() const override { return "TStrField"; }

    void Build() override { Size = 0; }
    Variant GetValue() const override;
    void SetValue(const Variant& value) override;

protected:
    TStrField(TMemoryBlock* block, int32_t offset, int32_t length, std::string defaultText, bool checkDefault);
    void AfterConstruction() override;

private:
    int32_t length_;
};

// A group of bits inside a 1-, 2- or 4-byte container (FieldType 17, 18 or 19).
// Fields sharing a container are created at the same offset. Bits beyond BitCount
// are dropped; no limit check and no equality test.
class TBitFleld : public TField {
public:
    uint8_t Position = 0; // lowest bit of the group, 0 = least significant
    uint8_t BitCount = 0;

    const char* ClassName() const override { return "TBitFleld"; }

    Variant GetValue() const override;
    void SetValue(const Variant& value) override;

protected:
    TBitFleld(TMemoryBlock* block, int32_t offset, uint16_t containerType, uint8_t position, uint8_t bitCount,
              int32_t defaultValue, bool checkDefault);
    void AfterConstruction() override;

private:
    uint32_t ReadContainer() const;
};

// A pick list: texts with the values they stand for, in the order shown.
using TPickList = std::vector<std::pair<std::string, int>>;

// ---------------------------------------------------------------------------------
// String-table storages and proxy fields
//
// A storage is one field over a versioned block of fixed-size text slots, with a
// cached copy of its texts. Storages are direct children of a document (offset 0),
// so a storage's Offset is its position in its block; any other parent is a
// programming error. Storages have no value of their own: GetValue gives the empty
// text and SetValue raises "тип 256 не поддерживается". Their CheckDefault stays off.

// The base of the binary storage fields.
class TFlashBinStorage : public TField {
public:
    const char* ClassName() const override { return "TFlashBinStorage"; }

    // The empty text.
    Variant GetValue() const override;
    // Raises "тип 256 не поддерживается".
    void SetValue(const Variant& value) override;

protected:
    using TField::TField;
};

// A storage with a header in front of its data.
class TFlashVerStorage : public TFlashBinStorage {
public:
    const char* ClassName() const override { return "TFlashVerStorage"; }

    // Bytes of the header.
    virtual int32_t HeaderSize() const = 0;
    // Raises when the header in the image does not describe this storage; changes
    // nothing.
    virtual void ReadHeader() const = 0;
    // Writes this storage's header into the image.
    virtual void WriteHeader() = 0;
    // Zeroes every byte of the storage.
    virtual void ClearStorage() = 0;
    // ClearStorage, then WriteHeader.
    void ResetDefaults() override;

protected:
    using TFlashBinStorage::TFlashBinStorage;
};

// A storage of texts, numbered from 0, with the texts cached.
class TFlashStringsStorage : public TFlashVerStorage {
public:
    uint8_t Version = 0;      // what the header's first byte must hold
    TPickList CachedStrings; // text i with the value i

    const char* ClassName() const override { return "TFlashStringsStorage"; }

    // Text i as the image holds it. An index outside the storage raises "Range error".
    virtual std::string GetString(int index) const = 0;
    // Stores text i (UTF-8, stored in Windows-1251, cut to MaxStringLength characters)
    // and caches what was stored. An index outside raises "Range error", writing nothing.
    virtual void SetString(int index, const std::string& text) = 0;
    // Stores `length` Windows-1251 bytes as text i, cut to MaxStringLength; returns the
    // stored length. An index outside raises "Range error", writing nothing.
    virtual int32_t WriteString(int index, const char* buffer, int32_t length) = 0;
    // Refills the cache from the image.
    virtual void ReloadStrings() = 0;
    // Characters a text can hold.
    virtual int32_t MaxStringLength() const = 0;

protected:
    TFlashStringsStorage(TMemoryBlock* block, int32_t offset, uint8_t version, bool checkDefault, int32_t slotSize)
        : TFlashVerStorage(block, offset, ftString, Variant(int32_t{0}), checkDefault, 0, slotSize), Version(version)
    {
    }
};

// Count slots of SlotSize bytes behind a 5-byte header:
//   0: Version; 1..4: Count, little-endian signed;
//   5 + i x SlotSize: the length n of text i (0 .. SlotSize - 1), then its n
//   characters in Windows-1251.
// Size is 5 + SlotSize x Count. MaxValue holds SlotSize and MinValue 0, so pages that
// take an edit length from MaxValue - 1 get the text length. A freshly made storage
// has written its header and cached the texts its slots hold.
class TFlashFixedStringsStorage : public TFlashStringsStorage {
public:
    const int32_t Count;

    const char* ClassName() const override { return "TFlashFixedStringsStorage"; }

    int32_t SlotSize() const { return MaxValue; }

    void Build() override;
    int32_t HeaderSize() const override { return 5; }
    // A version other than Version raises Format("Версия справочника строк не
    // подерживается (%d != %d)", Version, read); a count other than Count raises
    // Format("Ошибка определения размера справочника строк (%d != %d)", read, Count).
    void ReadHeader() const override;
    void WriteHeader() override;
    void ClearStorage() override;
    // The length byte cut to MaxStringLength, and that many characters.
    std::string GetString(int index) const override;
    void SetString(int index, const std::string& text) override;
    // Zeroes slot bytes 0 .. SlotSize - 2, then writes the length byte and the text.
    int32_t WriteString(int index, const char* buffer, int32_t length) override;
    void ReloadStrings() override;
    int32_t MaxStringLength() const override { return SlotSize() - 1; }
    // The header, then every slot empty, then the cache.
    void ResetDefaults() override;
    // Refills the cache from the slots, then ReadHeader: after a bad header the cache
    // still shows what the image holds, and the header error passes on.
    void Reload() override;

protected:
    TFlashFixedStringsStorage(TMemoryBlock* block, int32_t offset, int32_t count, int32_t slotSize,
                              bool checkDefault, uint8_t version)
        : TFlashStringsStorage(block, offset, version, checkDefault, slotSize), Count(count)
    {
    }
    // WriteHeader, then ReloadStrings.
    void AfterConstruction() override;

private:
    // The position of the storage in its block; asserts that it sits under a document.
    int64_t StorageOffset() const;
    int64_t SlotOffset(int index) const;
    // Raises "Range error" for an index outside 0 .. Count - 1.
    void CheckIndex(int index) const;
};

// A field with no bytes of its own (Size 0) that stands for bytes of Target: it takes
// the target's block, absolute offset, type and limits. Its Offset is absolute, so its
// bytes are never reached through NodeOffset; all access goes through the target.
class TProxyField : public TField {
public:
    TObjNode* const Target;

    const char* ClassName() const override { return "TProxyField"; }

    void Build() override { Size = 0; }
    // Nothing: a proxy has no default of its own.
    void ResetDefaults() override {}
    // Appends the texts a pick list offers; nothing here.
    virtual void FillLookupList(TPickList& list, int offset) const;

protected:
    TProxyField(TObjNode& target, Variant defaultValue);
};

// Text StringIndex of a string storage, with a default text.
class TStringsStorageProxyField : public TProxyField {
public:
    const int StringIndex;
    const std::string DefaultText;

    const char* ClassName() const override { return "TStringsStorageProxyField"; }

    TFlashStringsStorage& Storage() const { return static_cast<TFlashStringsStorage&>(*Target); }

    // The storage's text.
    Variant GetValue() const override;
    // Stores the value's text into the storage; no limit check and no validate event;
    // then Modified and OnChange.
    void SetValue(const Variant& value) override;
    // SetValue(DefaultText).
    void ResetDefaults() override;

protected:
    TStringsStorageProxyField(TFlashStringsStorage& storage, int index, std::string defaultText)
        : TProxyField(storage, Variant(defaultText)), StringIndex(index), DefaultText(std::move(defaultText))
    {
    }
};

// A field whose value is IndexField's, a number that selects a text of the storage;
// the storage's texts are its pick list.
class TLookupProxyField : public TStringsStorageProxyField {
public:
    TField* const IndexField;

    const char* ClassName() const override { return "TLookupProxyField"; }

    // IndexField's value.
    Variant GetValue() const override;
    // Stores into IndexField through its own SetValue (limits and events included).
    void SetValue(const Variant& value) override;
    // Nothing.
    void ResetDefaults() override {}
    // Appends each cached text i with the value i + offset; the list is not cleared.
    void FillLookupList(TPickList& list, int offset) const override;
    // The text whose value (its position) equals IndexField's value + offset; none
    // raises "Range error".
    std::string LookupText(int offset) const;

protected:
    TLookupProxyField(TFlashStringsStorage& storage, TField& indexField)
        : TStringsStorageProxyField(storage, 0, std::string()), IndexField(&indexField)
    {
    }
};

// ---------------------------------------------------------------------------------
// Lists

// A named list of nodes laid over a stretch of the image; every record, group and
// document is one. It owns its children, each under a unique key, in key order (or
// in the order they were added, for the lists that ask for it in their constructor).
// Concrete lists lay out their children in Build, with TLayout.
class TFieldLst : public TObjNode {
public:
    ~TFieldLst() override;

    std::string Name;

    const char* ClassName() const override { return "TFieldLst"; }

    // Adds the node under the key, becomes its parent and owner, and returns its Size
    // for the caller's running offset. A key that is already there keeps its node:
    // the new one is freed, and its Size is still returned.
    int32_t AddField(std::string key, std::unique_ptr<TObjNode> node);
    // Frees the child of that key, if there is one.
    void RemoveField(std::string_view key);
    // Takes the child of that key out of the list without freeing it; none when there
    // is none. The node keeps its Parent, block and offset, so it still reads its bytes.
    std::unique_ptr<TObjNode> TakeField(std::string_view key);
    void ReplaceField(std::string key, std::unique_ptr<TObjNode> node);

    int FieldCount() const { return static_cast<int>(children_.size()); }
    // The child at a position of the order; none outside the list.
    TObjNode* FieldByIndex(int index) const;
    // The key at a position; outside the list: EListError "List index out of bounds (%d)".
    const std::string& FieldName(int index) const;
    // Keys a layout gave twice, in the order they came: the list kept the first node
    // and freed the later one. A sound layout has none.
    const std::vector<std::string>& RefusedKeys() const { return refused_; }
    // Whether a direct child has the key (case ignored).
    bool Contains(std::string_view key) const { return IndexOf(key) >= 0; }
    // The child of a key (case ignored), or none.
    virtual TObjNode* FindField(std::string_view key) const;
    // FindField for a child of a known kind; none when missing or of another kind.
    template <class T>
    T* Find(std::string_view key) const
    {
        return dynamic_cast<T*>(FindField(key));
    }

    bool IsModified() const override;
    void SetModified(bool flag) override;
    // MarkUnusedFields first, then every child with path + "." + key.
    void CheckDefaults(const std::string& path, TDefaultCheckRun& run) override;
    // Every child's defaults in order, then ReloadAll.
    void ResetDefaults() override;
    void ReloadFromParent() override { MarkUnusedFields(); }

    // ReloadFromParent of every direct child: fields reload, lists re-mark. Nothing
    // deeper is visited.
    virtual void ReloadAll();
    // Records set the CheckDefault flags of their fields from the current settings: a
    // field that the settings do not use must hold its default. Nothing here.
    virtual void MarkUnusedFields() {}

protected:
    TFieldLst(TMemoryBlock* block, int32_t offset) : TObjNode(block, offset) {}

    // Set by a constructor of a list whose children stay in the order they are added.
    bool LayoutOrder = false;

private:
    struct Child {
        std::string key;
        std::unique_ptr<TObjNode> node;
    };
    // Position of the key, or -1.
    int IndexOf(std::string_view key) const;
    // Layout-order lists: where the key stands or would stand in byKey_.
    std::vector<int>::const_iterator KeyPosition(std::string_view key) const;
    // Takes the node under the key; false (and the node freed) when the key is taken.
    bool Adopt(std::string key, std::unique_ptr<TObjNode> node);

    friend class TLayout;

    std::vector<Child> children_;
    std::vector<std::string> refused_;
    // Lists in layout order: the positions of their children in key order, so that
    // lookups and the check for a taken key stay logarithmic.
    std::vector<int> byKey_;
};

// One row of a record's layout table: a field where the record's description puts
// it. Rows of a table go in the order of their offsets, which count from the start of
// the layout; the bytes between two rows are reserved. Bit fields of one container
// name its offset and type in rows that follow one another.
//
// The columns after Type are optional; rows that need one of the later columns name
// their columns (.Key = ..., .Length = 8).
struct TLayoutRow {
    // A bit field's bits: Count bits from bit Position (0 = least significant) of its
    // container. Count 0: the row is a whole field.
    struct TBits {
        uint8_t Position = 0;
        uint8_t Count = 0;
    };

    const char* Key;          // with Count: a format of one number ("%.4d")
    int32_t Offset;           // the field's, or its container's
    uint16_t Type;            // ftByte ...; a bit field: its container's (17, 18, 19); ftString: a text
    int32_t Default = 0;      // a number; a single takes it as a whole number
    bool CheckDefault = false;
    TBits Bits = {};
    int32_t MinValue = 0;     // limits; 0 and 0: the type's range
    int32_t MaxValue = 0;
    int32_t Length = 0;       // a text: its bytes
    const char* Text = "";    // a text: its default
    // A numbered run: Count fields keyed Format(Key, First), Format(Key, First + 1) ...
    // Whole fields follow one another from Offset; bit fields take the next Bits.Count
    // bits each, going on into the next container of the type when one is full.
    int First = 0;
    int Count = 0;
};

// Lays out the children of a list with a running offset, as a record's Build does:
// each child at the offset relative to the list, in the list's block; the offset
// grows by the child's Size; a group of bit fields shares one container and the
// offset grows once for it; reserved bytes are skipped. Finish sets the list's Size.
// The adders return the new child, or none when its key was already taken.
class TLayout {
public:
    explicit TLayout(TFieldLst& list, int32_t start = 0)
        : list_(list), block_(list.Block), start_(start), offset_(start)
    {
    }
    // Children of a list that spans blocks (a document) placed in one of them.
    TLayout(TFieldLst& list, TMemoryBlock* block, int32_t start)
        : list_(list), block_(block), start_(start), offset_(start)
    {
    }

    TMemoryBlock* Block() const { return block_; }

    int32_t Offset() const { return offset_; }

    TField* Field(std::string key, uint16_t type, Variant defaultValue, bool checkDefault, int32_t minValue = 0,
                  int32_t maxValue = 0);
    TStrField* Text(std::string key, int32_t length, std::string defaultText, bool checkDefault);

    // One bit field of a shared container.
    struct Bit {
        const char* key;
        uint8_t position;
        uint8_t count;
        int32_t defaultValue;
        bool checkDefault;
    };
    // The bit fields of one container of type 17, 18 or 19 at the running offset.
    void Bits(uint16_t containerType, std::initializer_list<Bit> bits);

    // The fields of a layout table, each at the start of the layout plus its row's
    // offset; the running offset then lies behind the last of them. A row that lies
    // before the running offset overlaps a field already laid out, unless it is a bit
    // field of the container a row opened last with nothing laid out behind it since;
    // a bit field that runs
    // past the end of its container does not fit: both std::logic_error, naming the
    // key. A key already taken is refused as in every adder.
    void Rows(std::span<const TLayoutRow> rows);

    void Skip(int32_t reserved) { offset_ += reserved; }

    // Room for `more` children beyond those the list holds, so that adding them moves
    // nothing; the order and the keys stay as the adders make them.
    // Repeated calls still grow the list geometrically.
    void Reserve(size_t more)
    {
        auto& children = list_.children_;
        if (children.size() + more > children.capacity())
            children.reserve(std::max(children.size() + more, 2 * children.capacity()));
    }

    // A nested list named `name` under `key`, made with (block, offset, args...).
    template <class T, class... A>
    T* List(std::string key, std::string name, A&&... args)
    {
        return Add(std::move(key), MakeList<T>(std::move(name), block_, offset_, std::forward<A>(args)...));
    }

    // A node made by the caller at this->Offset() in this->Block().
    template <class T>
    T* Add(std::string key, std::unique_ptr<T> node)
    {
        T* raw = node.get();
        offset_ += node->Size;
        return list_.Adopt(std::move(key), std::move(node)) ? raw : nullptr;
    }

    // The list's Size := the running offset.
    void Finish() { list_.Size = offset_; }

private:
    // Moves the running offset forward to `at`; raises for a row that lies before it.
    void MoveTo(int32_t at, const std::string& key);

    TFieldLst& list_;
    TMemoryBlock* block_;
    int32_t start_;
    int32_t offset_;
    int32_t openContainer_ = -1; // offset of the bit container a table row opened last
    uint16_t openType_ = 0;
};

// A list laid out by one table alone: TLayout(list).Rows(rows), then Finish.
void LayOutTable(TFieldLst& list, std::span<const TLayoutRow> rows);

// ---------------------------------------------------------------------------------
// Documents

// The list at the root: the image, the model's identity and rules, and the load,
// validate and default-check cycle. A document has no block and lies at offset 0, so
// records directly under it may compute absolute offsets in their own Build.
class TDocument : public TFieldLst {
public:
    uint32_t BaseAddress = 0;      // absolute address of image offset 0
    std::string ModelName;         // caption, and the root of default-check paths
    bool FirmwareWithParamsAllowed = false;
    bool LinearHex = false;        // the linear flag of the parameter file
    uint8_t LogicKindMask = 0;     // bit i: kind index i of ChannelTypeNames
    TMemory Image;
    uint32_t KpProtocolMask = 0;   // bit i: protocol index i of ProtocolNames
    uint32_t PuProtocolMask = 0;
    std::string ExpectedSchemeId;  // what "SchemeID" must hold, and its default
    IDefaultPrompt* Prompt = nullptr; // the owner's; none: checks only report

    const char* ClassName() const override { return "TDocument"; }

    // Raises when the document is inconsistent; nothing here.
    virtual void Validate() {}
    // Vetoes a value an editor is about to store; nothing here.
    virtual void ValidateFieldChange(const void* sender, TField* field, const Variant& value, TFieldLst* row,
                                     bool& accept);
    // Reads a parameter file into the image; false here.
    virtual bool ImportImage(std::istream& stream);
    virtual std::string GetCaption() const { return ModelName; }
    // ImportImage, then AfterLoad when it read something. ReloadAll also runs when the
    // import fails, and the import's exception passes on.
    virtual void LoadFromStream(std::istream& stream);
    // Opens the file read-only ("Cannot open file "%s". %s") and loads from its start.
    virtual void LoadFromFile(const std::filesystem::path& fileName);
    // The model's port names by port index.
    virtual std::vector<std::string> GetPortNames() const = 0;
    virtual void SaveToFile(const std::filesystem::path& fileName) = 0;
    virtual void SetBoardSignature(int32_t signature);
    // The header check of every storage among the direct children (a bad header
    // raises its message before anything is asked), Validate, the default check from
    // ModelName with the document's prompt, then ReloadAll; ReloadAll runs also when
    // a step raises, and the first exception passes on.
    virtual void AfterLoad();
    // ReloadFromParent of every direct child, each one even when an earlier one
    // raised; the first exception then passes on.
    void ReloadAll() override;

    // ValidateFieldChange as an event, for fields and frames.
    TFieldValidateEvent ValidateFieldChangeEvent()
    {
        return TFieldValidateEvent::Of<&TDocument::ValidateFieldChange>(this);
    }

protected:
    TDocument() : TFieldLst(nullptr, 0) {}
    void AfterConstruction() override;

private:
    // ReloadAll on the way out of a failure: its own exception gives way.
    void ReloadAfterFailure() noexcept;
};
