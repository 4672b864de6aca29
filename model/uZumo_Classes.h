#pragma once

#include "model/uDevProtocols.h"
#include "model/uDocument.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The records of the controller image: ports, small records, logical channels and
// device slots.

// ---------------------------------------------------------------------------------
// Ports and small records

// ---------------------------------------------------------------------------------
// Logical channels

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

protected:
    TDevice(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}

    // Build steps behind the fields and the protocol area, each at the running offset.
    virtual void AddChannelBlocks(TLayout& layout, const TBlockFactory<TDevChannel>& make);
    virtual void AddApertureBlocks(TLayout& layout);
    virtual void AddScaleBlocks(TLayout& layout);
    // Bytes of the protocol area; blocks that need more are not made.
    virtual int32_t ProtocolAreaSize() const { return 70; }
    virtual void ReserveProtocolArea(TLayout& layout);
    // Where the blocks of a protocol index come from.
    virtual TDevProtocolFactory ProtocolFactory(int index) const { return DevProtocolFactory(index); }

    // `count` blocks made by the factory at the running offset, keyed "Channels%.2d",
    // "Apperture%.2d" or "Scales%.2d" from 00, named from 01, each appended to its list.
    void AppendChannelBlocks(TLayout& layout, int count, const TBlockFactory<TDevChannel>& make);
    void AppendApertureBlocks(TLayout& layout, int count, const TBlockFactory<TDevApperture>& make);
    void AppendScaleBlocks(TLayout& layout, int count, const TBlockFactory<TDevScale>& make);

    // The OnChange of "004": zero the area, then the new protocol's block to its defaults.
    void OnProtocolChanged(TField* sender);

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
    void SetCheckDefault(std::initializer_list<const char*> keys, bool checkDefault);

    std::vector<TDevChannel*> channelBlocks_;
    std::vector<TDevApperture*> apertureBlocks_;
    std::vector<TDevScale*> scaleBlocks_;
    std::array<std::unique_ptr<TDevProtocol>, ProtocolCount> protocols_; // by index; 0 stays empty
    int64_t protocolAreaOffset_ = 0;
    TField* address_ = nullptr;
    TField* port_ = nullptr;
    TField* protocol_ = nullptr;
    TField* role_ = nullptr;
};
