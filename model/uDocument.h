#pragma once

#include "model/Memory.h"
#include "model/Variant.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// Nodes bound to the bytes of a document's image: scalar fields and the named lists
// that hold them.

// ---------------------------------------------------------------------------------
// Events

// A method pointer: an object and a function, 16 bytes, nothing allocated. An empty
// event costs nothing and is not called. The bound object must outlive the event.
template <class Signature>
class TEvent;

template <class R, class... Args>
class TEvent<R(Args...)> {
public:
    TEvent() = default;

    // obj->Method(args...)
    template <auto Method, class C>
    static TEvent Of(C* obj)
    {
        TEvent e;
        e.obj_ = obj;
        e.fn_ = [](void* o, Args... a) -> R { return (static_cast<C*>(o)->*Method)(std::forward<Args>(a)...); };
        return e;
    }

    // callable(args...), for a callable object (a lambda) that lives elsewhere.
    template <class F>
    static TEvent Of(F& callable)
    {
        TEvent e;
        e.obj_ = const_cast<void*>(static_cast<const void*>(&callable));
        e.fn_ = [](void* o, Args... a) -> R { return (*static_cast<F*>(o))(std::forward<Args>(a)...); };
        return e;
    }
    template <class F>
    static TEvent Of(F&& temporary) = delete; // would dangle

    explicit operator bool() const { return fn_ != nullptr; }
    R operator()(Args... a) const { return fn_(obj_, std::forward<Args>(a)...); }
    bool operator==(const TEvent&) const = default;

private:
    void* obj_ = nullptr;
    R (*fn_)(void*, Args...) = nullptr;
};

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
// What the model asks of the user interface

// Answers of the default question, as the message box returns them.
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// Asks whether a field that differs from its default should get it back. The text
// is the finding, a lone CR, and the question; the result is one of the answers
// above.
class IDefaultPrompt {
public:
    virtual ~IDefaultPrompt();
    virtual int ask(const std::string& text) = 0;
};

// Kinds of message list lines.
constexpr int lkNormal = 0;
constexpr int lkError = 1;
constexpr int lkHighlight = 2;

// Receives the lines of the message list. Called from any thread.
class ILogSink {
public:
    virtual ~ILogSink();
    virtual void post(const std::string& text, int kind) = 0;
};

// Installs the process's sink (none removes it) and returns the one it replaces.
// Waits for posts in flight to the old sink.
ILogSink* SetLogSink(ILogSink* sink);

// Hands a line to the installed sink, whole; without a sink the line is dropped.
// Thread-safe.
void PostLogMessage(const std::string& text, int kind);

// One default check: the answer remembered across it (0 at the start) and whom to
// ask. Without a prompt the check behaves as if "No to All" had been answered.
struct TDefaultCheckRun {
    int Answer = 0;
    IDefaultPrompt* Prompt = nullptr;
};

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

// A named list of nodes; every record and document is one.
class TFieldLst : public TObjNode {
public:
    ~TFieldLst() override;

    std::string Name;

protected:
    using TObjNode::TObjNode;
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
};

template <class T, class... A>
std::unique_ptr<T> Make(A&&... args)
{
    return NodeFactory::Make<T>(std::forward<A>(args)...);
}

// Field types: how a value is stored.
constexpr uint16_t ftSmallint = 2; // signed 16-bit
constexpr uint16_t ftInteger = 3;  // signed 32-bit
constexpr uint16_t ftSingle = 4;   // IEEE 754 single
constexpr uint16_t ftShortInt = 16;
constexpr uint16_t ftByte = 17;
constexpr uint16_t ftWord = 18;
constexpr uint16_t ftLongWord = 19; // unsigned 32-bit, limited to 0x7FFFFFFF
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
