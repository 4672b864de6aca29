#pragma once

#include "model/uDevProtocols.h"
#include "model/uDocument.h"

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The records of the controller image: ports, small records, logical channels and
// device slots.

// ---------------------------------------------------------------------------------
// Ports and small records

// The settings of one controller port, 8 bytes. The port's caption is its Name.
//   "016" bits 0..2 of the word at 0: mode, 0 asynchronous, 1 synchronous
//   "018" bit 3 of the word at 0: duplex, default given to the constructor
//   "051", "052", "053", "057", "058", "059", "flag_invDE": bits 0..6 of the word at 2
//   "055" word at 4: leader before transmission, ms; "056" word at 6: receive window, ms
class TUART : public TFieldLst {
public:
    const char* ClassName() const override { return "TUART"; }

    // The layout, then MarkFixedFields: the flags hold from construction on.
    void Build() override;
    // Sets the CheckDefault flags of the fields that must keep their defaults: every
    // field of a plain port.
    virtual void MarkFixedFields();
    // "016" is 1.
    bool IsSynchronous() const;

    int32_t DuplexDefault() const { return duplexDefault_; }

protected:
    TUART(TMemoryBlock* block, int32_t offset, int32_t duplexDefault = 0)
        : TFieldLst(block, offset), duplexDefault_(duplexDefault)
    {
    }

    // The fields of the record; kinds add theirs here.
    virtual void Layout();

private:
    int32_t duplexDefault_;
};

// A COM port: only "053" must keep its default.
class TPortCOM : public TUART {
public:
    const char* ClassName() const override { return "TPortCOM"; }
    void MarkFixedFields() override;

protected:
    using TUART::TUART;
};

// A port of the XPort module: duplex by default, and "is_xport" (bit 4 of the word at
// 0, default 1, checked) marks it. Still 8 bytes.
class TPortCOM_XPORT : public TUART {
public:
    const char* ClassName() const override { return "TPortCOM_XPORT"; }

protected:
    TPortCOM_XPORT(TMemoryBlock* block, int32_t offset) : TUART(block, offset, 1) {}
    void Layout() override;
};

// A modem port is synchronous: "016" gets the default 1, and the value 1 is written
// while the record is built.
class TModemPort : public TPortCOM {
public:
    const char* ClassName() const override { return "TModemPort"; }
    void Build() override;

protected:
    using TPortCOM::TPortCOM;
};

// A TIT conversion, 8 bytes: "0001" single k = 1 at 0, "0002" single b = 0 at 4.
class TScaleTIT : public TFieldLst {
public:
    const char* ClassName() const override { return "TScaleTIT"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// A TIT aperture, 4 bytes: "0001" single 0.
class TAppertureTIT : public TFieldLst {
public:
    const char* ClassName() const override { return "TAppertureTIT"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// Eight TS inversion flags in one byte: "1" is bit 7 ... "8" is bit 0, each checked.
class TInverseTS : public TFieldLst {
public:
    const char* ClassName() const override { return "TInverseTS"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// A Zumo 7 own channel, 20 bytes, children in layout order: "start_adr" word 1,
// "count" word, "VAC" longword, "Chtype" byte 255, "ChFrm" byte 255, "shared_delay"
// word; bytes 12..19 reserved.
class TInternalChannel : public TFieldLst {
public:
    const char* ClassName() const override { return "TInternalChannel"; }
    void Build() override;

    TField* VAC = nullptr;

protected:
    TInternalChannel(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// A Zumo 7 discrete I/O channel: the layout of TInternalChannel.
class TDIO_Channel : public TFieldLst {
public:
    const char* ClassName() const override { return "TDIO_Channel"; }
    void Build() override;

    TField* VAC = nullptr;

protected:
    TDIO_Channel(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// ---------------------------------------------------------------------------------
// Logical channels

// Texts of codes; an unknown code gives "(" code ")Не найдено текст.представление".
std::string LogicTSSourceText(int code);  // the source of a ТС channel
std::string LogicTUCommandText(int code); // the command of a ТУ channel
std::string LogicTRKindText(int code);    // the kind of a ТР channel
// Short names of device channel types; an unknown code gives an empty text.
std::string ChannelKindShortName(int code);

// Sources of a ТИТ channel, in the order its pick list shows them.
struct TCodeText {
    int Code;
    const char* Text;
};
constexpr int LogicTITSourceCount = 14;
extern const TCodeText LogicTITSources[LogicTITSourceCount];
// The text of a ТИТ source; an unknown code gives its number.
std::string LogicTITSourceText(int code);

// The base of the kind records that lie over the 8-byte kind area of a logical
// channel. Besides its fields a kind has a display list: (caption, field) pairs that
// the channel grid shows as columns after the entry's own three. The list only refers
// to children of the record. It is derived from the current values whenever it is
// read, so a type byte written straight into the image (a load, a controller read)
// shows at once.
class TLogicChannel : public TFieldLst {
public:
    struct TParam {
        const char* Caption;
        TField* Field;
    };

    const char* ClassName() const override { return "TLogicChannel"; }

    // The text of display parameter index: here the value as text; empty without one.
    virtual std::string ParamText(int index) const;
    // The values display parameter index offers; nothing here.
    virtual void FillValueList(int index, TPickList& list) const;

    TField* ParamField(int index) const;    // none outside the list
    int ParamFieldCount() const;
    std::string ParamCaption(int index) const; // empty outside the list

    // The change handler of the type field: brings the display list up to date (which
    // every read does as well). Sender may be none.
    void TypeChanged(TField* sender);

protected:
    using TFieldLst::TFieldLst;

    // The display list for the current values; the kinds fill it.
    virtual void FillParams(std::vector<TParam>& params) const;
    // The field whose value picks the display list; its change handler becomes
    // TypeChanged.
    void SetSelector(TField* field);
    // The value of a field of the record, as an integer (0 when it is missing).
    int32_t ValueOf(std::string_view key) const;

private:
    const std::vector<TParam>& Params() const;

    mutable std::vector<TParam> params_;
};

// ТС: "101" word address, "102" byte source (default 5), "103" byte, "104" longword.
class TLogicTS : public TLogicChannel {
public:
    const char* ClassName() const override { return "TLogicTS"; }
    void Build() override;
    void MarkUnusedFields() override;
    std::string ParamText(int index) const override;

protected:
    using TLogicChannel::TLogicChannel;
    void FillParams(std::vector<TParam>& params) const override;
};

// ТИТ: "201" word address, "202" byte source (default 3), "203" .. "207" channel bytes.
class TLogicTIT : public TLogicChannel {
public:
    const char* ClassName() const override { return "TLogicTIT"; }
    void Build() override;
    void MarkUnusedFields() override;
    std::string ParamText(int index) const override;
    // Parameter 0: the ТИТ sources in their order.
    void FillValueList(int index, TPickList& list) const override;

protected:
    using TLogicChannel::TLogicChannel;
    void FillParams(std::vector<TParam>& params) const override;
};

// ТИИ: "701" word, "702" byte counter type, "noname_108" byte, "noname_109" longword.
class TLogicTII : public TLogicChannel {
public:
    const char* ClassName() const override { return "TLogicTII"; }
    void Build() override;
    std::string ParamText(int index) const override;

protected:
    using TLogicChannel::TLogicChannel;
    void FillParams(std::vector<TParam>& params) const override;
};

// ТУ: "301" word address, "302" byte command, "303" byte, "304" longword.
class TLogicTU : public TLogicChannel {
public:
    const char* ClassName() const override { return "TLogicTU"; }
    void Build() override;
    void MarkUnusedFields() override;
    std::string ParamText(int index) const override;

protected:
    using TLogicChannel::TLogicChannel;
    void FillParams(std::vector<TParam>& params) const override;
};

// A group command: "<p>01" word address, then three signed channels "<p>02" ..
// "<p>04" (default -1, -1 .. 32767); p is 5 for on, 6 for off.
class TLogicGroupTU : public TLogicChannel {
public:
    void Build() override;

protected:
    TLogicGroupTU(TMemoryBlock* block, int32_t offset, char prefix) : TLogicChannel(block, offset), prefix_(prefix) {}
    void FillParams(std::vector<TParam>& params) const override;

private:
    char prefix_;
};

class TLogicGroupTUOn : public TLogicGroupTU {
public:
    const char* ClassName() const override { return "TLogicGroupTUOn"; }

protected:
    TLogicGroupTUOn(TMemoryBlock* block, int32_t offset) : TLogicGroupTU(block, offset, '5') {}
};

class TLogicGroupTUOff : public TLogicGroupTU {
public:
    const char* ClassName() const override { return "TLogicGroupTUOff"; }

protected:
    TLogicGroupTUOff(TMemoryBlock* block, int32_t offset) : TLogicGroupTU(block, offset, '6') {}
};

// ТР: "Addr" word, "Type" byte (default 1), "Count" word, "Field2" 3 bytes: 8 bytes,
// so the record never reaches into the next entry.
class TLogicTR : public TLogicChannel {
public:
    const char* ClassName() const override { return "TLogicTR"; }
    void Build() override;
    std::string ParamText(int index) const override;

protected:
    using TLogicChannel::TLogicChannel;
    void FillParams(std::vector<TParam>& params) const override;
};

// One entry of the logical channel table, 16 bytes:
//   "000_1" bits 0..23 of the longword at 0: logical address (ВАК)
//   "000_2" bits 24..31 of it (default 1, checked); "001" word at 4 (checked)
//   "002" byte at 6: type code (ChannelTypeCodes), 255 none
//   "003" byte at 7: port index into the document's port names, 255 none
//   bytes 8..15: the kind area, over which the kind records lie.
// The kind records are owned by the entry but are not its children: they lie at the
// absolute offset of the area, so the entry must sit directly under its document.
class TLogic : public TFieldLst {
public:
    const char* ClassName() const override { return "TLogic"; }

    void Build() override;
    // The entry's own fields, then those of the active kind with the same path.
    void CheckDefaults(const std::string& path, TDefaultCheckRun& run) override;

    // Kind index of a type code: 0 none, 1..7 as ChannelTypeNames.
    static int KindIndexOfCode(int code);
    int ActiveKindIndex() const;
    TLogicChannel* ActiveKind() const;   // none without a kind
    TLogicChannel* Kind(int index) const; // none outside 1..7 or without a record

    // The grid's columns: 0 ВАК, 1 port, 2 type, from 3 the active kind's display
    // parameters. Outside: none, empty texts.
    TField* ColumnField(int index) const;
    std::string ColumnText(int index) const;
    std::string ColumnCaption(int index) const;

    // The document's port name of a port index, "Нет" without one.
    virtual std::string PortText(int portIndex) const;
    // The port names with their indexes, then "Нет" = 255.
    virtual void FillPortList(TPickList& list) const;

    // The change handler of "002": zeroes this entry's kind area and resets the kind
    // selected now. Sender may be none.
    void OnKindChanged(TField* sender);

    TField* AddrField = nullptr; // "000_1"
    TField* TypeField = nullptr; // "002"
    TField* PortField = nullptr; // "003"
    int64_t KindAreaOffset = 0;  // absolute, in the block
    static constexpr int32_t KindAreaSize = 8;

protected:
    using TFieldLst::TFieldLst;

    // The kind record of a kind index at the area's absolute offset, or none; entries
    // with other kinds override it.
    virtual std::unique_ptr<TLogicChannel> CreateKind(int index, int32_t areaOffset);

private:
    std::unique_ptr<TLogicChannel> kinds_[ChannelTypeCount];
};

// ---------------------------------------------------------------------------------
// Devices

// A run of objects of one type inside a device, mapped onto the controller's internal
// channel addresses (ВАК) from "0003" on.
class TDevChannel : public TFieldLst {
public:
    const char* ClassName() const override { return "TDevChannel"; }
    void Build() override;

protected:
    TDevChannel(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// A run of a device's TIT channels bound to one of the document's TIT apertures.
class TDevApperture : public TFieldLst {
public:
    const char* ClassName() const override { return "TDevApperture"; }
    void Build() override;

protected:
    TDevApperture(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// A run of a device's TIT channels bound to one of the document's TIT conversions.
class TDevScale : public TFieldLst {
public:
    const char* ClassName() const override { return "TDevScale"; }
    void Build() override;

protected:
    TDevScale(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// Makes one block record of a device: (name, block, offset) -> the built record.
template <class T>
using TBlockFactory = std::function<std::unique_ptr<T>(std::string name, TMemoryBlock* block, int32_t offset)>;

// The factory of the block record class B.
template <class B>
auto BlockFactoryOf()
{
    return [](std::string name, TMemoryBlock* block, int32_t offset) -> std::unique_ptr<B> {
        return MakeList<B>(std::move(name), block, offset);
    };
}

// One device slot of a controller: a device the controller polls (КП) or a control
// point polling it (ПУ), with its link settings, a protocol area over which the
// parameter blocks of every protocol lie, and its channel, aperture and scale blocks.
//
// The protocol blocks belong to the device but are not its children: only the block
// of the stored protocol code is reached, through FindField and CheckDefaults. A block
// is made only when it fits the device's area; a code whose block is missing still
// names its protocol but selects no block.
class TDevice : public TFieldLst {
public:
    ~TDevice() override;

    const char* ClassName() const override { return "TDevice"; }

    // The formats of the captions of the channel, aperture and scale blocks.
    struct TBlockNames {
        const char* Channel;
        const char* Aperture;
        const char* Scale;
    };

    void Build() override;
    // The list's check, then the active block's with the same path.
    void CheckDefaults(const std::string& path, TDefaultCheckRun& run) override;
    // Every field to its default, then the protocol area as a change of "004" leaves it.
    void ResetDefaults() override;
    // The device's own child, else the active protocol block's.
    TObjNode* FindField(std::string_view key) const override;
    void MarkUnusedFields() override;

    // The protocol index of a stored code, searched from the last index down; 0 when
    // no protocol has the code.
    static int ProtocolIndexOfCode(int code);
    int ActiveProtocolIndex() const;
    // The block of the active protocol; none without a protocol or without a block.
    TDevProtocol* ActiveProtocol() const;
    // The block made for a protocol index; none when there is none.
    TDevProtocol* ProtocolBlock(int index) const;

    // "ПУ " or "КП " and the protocol's name.
    std::string DeviceTitle() const;
    // The document's name of the port at "002"; "Нет" for none.
    std::string DevicePortName() const;
    // "<title>, <port>, адрес <address>".
    std::string DeviceCaption() const;

    // The absolute offset of the protocol area within the block.
    int64_t ProtocolAreaOffset() const { return protocolAreaOffset_; }

    int ChannelBlockCount() const { return static_cast<int>(channelBlocks_.size()); }
    TDevChannel* ChannelBlockByIndex(int index) const { return ItemAt(channelBlocks_, index); }
    int ApertureBlockCount() const { return static_cast<int>(apertureBlocks_.size()); }
    TDevApperture* ApertureBlockByIndex(int index) const { return ItemAt(apertureBlocks_, index); }
    int ScaleBlockCount() const { return static_cast<int>(scaleBlocks_.size()); }
    TDevScale* ScaleBlockByIndex(int index) const { return ItemAt(scaleBlocks_, index); }

    // Calls back for each channel block in order until the callback clears `proceed`.
    void ForEachChannelBlock(const std::function<void(TDevChannel& block, bool& proceed)>& callback) const;

    TField* AddressField() const { return address_; }  // "000"
    TField* PortField() const { return port_; }        // "002"
    TField* ProtocolField() const { return protocol_; } // "004"
    TField* RoleField() const { return role_; }        // "011", 1 ПУ, 0 КП

    // The device's own fields of a table of keys, in its order (none for a key that
    // names no field of the device itself). The table, a static array, is looked up on
    // its first use and the fields kept for later calls with it: a device's fields live
    // as long as it does. Another table replaces the kept one.
    std::span<TField* const> OwnFields(std::span<const char* const> keys) const;

protected:
    TDevice(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}

    // The device's fields in front of the protocol area (bytes 0..93), at the start of
    // the layout. The role, port, protocol and address fields ("011", "002", "004",
    // "000") must be among them; Build finds them by key afterwards.
    virtual void LayoutFields(TLayout& layout);
    // The formats of the block captions (TBlockNames), numbered from 01.
    virtual TBlockNames BlockNames() const;
    // Build steps behind the fields and the protocol area, each at the running offset.
    virtual void AddChannelBlocks(TLayout& layout, const TBlockFactory<TDevChannel>& make);
    virtual void AddApertureBlocks(TLayout& layout);
    virtual void AddScaleBlocks(TLayout& layout);
    // Bytes of the protocol area; blocks that need more are not made.
    virtual int32_t ProtocolAreaSize() const { return 70; }
    virtual void ReserveProtocolArea(TLayout& layout);
    // Where the blocks of a protocol index come from.
    virtual TDevProtocolFactory ProtocolFactory(int index) const { return DevProtocolFactory(index); }
    // Whether a protocol block is made when it is first asked for (ProtocolBlock, and
    // so ActiveProtocol, FindField, CheckDefaults, ResetDefaults and the change of
    // "004") rather than all of them while the device is built. Devices of the large
    // documents make them on first use.
    virtual bool ProtocolBlocksOnFirstUse() const { return false; }

    // `count` blocks made by the factory at the running offset, keyed "Channels%.2d",
    // "Apperture%.2d" or "Scales%.2d" from 00, named by BlockNames from 01, each
    // appended to its list.
    void AppendChannelBlocks(TLayout& layout, int count, const TBlockFactory<TDevChannel>& make);
    void AppendApertureBlocks(TLayout& layout, int count, const TBlockFactory<TDevApperture>& make);
    void AppendScaleBlocks(TLayout& layout, int count, const TBlockFactory<TDevScale>& make);

    // The OnChange of "004": zero the area, then the new protocol's block to its defaults.
    void OnProtocolChanged(TField* sender);
    // Sets the CheckDefault flag of the device's own fields of these keys.
    void SetCheckDefault(std::initializer_list<const char*> keys, bool checkDefault);

private:
    template <class T>
    static T* ItemAt(const std::vector<T*>& list, int index)
    {
        return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)] : nullptr;
    }
    template <class T>
    void AppendBlocks(TLayout& layout, int count, const char* keyFormat, const char* nameFormat,
                      std::vector<T*>& list, const TBlockFactory<T>& make);
    void CreateProtocolBlocks();
    // Makes the block of an index once; none when there is none or it does not fit.
    TDevProtocol* MakeProtocolBlock(int index) const;

    std::vector<TDevChannel*> channelBlocks_;
    std::vector<TDevApperture*> apertureBlocks_;
    std::vector<TDevScale*> scaleBlocks_;
    // By index; 0 stays empty. Made while building, or on first use.
    mutable std::array<std::unique_ptr<TDevProtocol>, ProtocolCount> protocols_;
    mutable std::array<bool, ProtocolCount> protocolMade_{}; // the factory of the index was asked
    int64_t protocolAreaOffset_ = 0;
    TField* address_ = nullptr;
    TField* port_ = nullptr;
    TField* protocol_ = nullptr;
    TField* role_ = nullptr;
    mutable const char* const* ownFieldsTable_ = nullptr; // the key table ownFields_ was found for
    mutable std::vector<TField*> ownFields_;
};
