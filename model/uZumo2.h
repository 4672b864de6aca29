#pragma once

#include "model/uZumo_Classes.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

// The configuration document of the base controller model, and the base of every
// other model's document.

// Errors of the channel grids.
class EDevChannelException : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EDevChannelException() override;
};

class EDevChannelINValidValueException : public EDevChannelException {
public:
    using EDevChannelException::EDevChannelException;
    ~EDevChannelINValidValueException() override;
};

class EDevChannelRangeCheckFailedException : public EDevChannelException {
public:
    using EDevChannelException::EDevChannelException;
    ~EDevChannelRangeCheckFailedException() override;
};

// The base model's image, from BaseAddress:
//   0x0000, 84 bytes: four port records, the common fields at 32, "SchemeID" at 64;
//   0x0200, 14800 bytes: 20 devices, then 20 logical channels at 14480;
//   0x7000, 1925 bytes: 50 TIT apertures at 1200, 50 TIT conversions at 1400; the
//   other bytes of this block belong to no field and are kept as read.
// Its elements are its children; typed lists keep them in creation order. The image
// is laid out by virtual build steps that model documents override.
class TZumo2Doc : public TDocument {
public:
    ~TZumo2Doc() override;

    const char* ClassName() const override { return "TZumo2Doc"; }

    void Build() override;
    // "SchemeID" emptied, the HEX text read into a temporary image, every block copied
    // from it (CopyBlocksFrom), then the scheme text compared. A failure keeps what
    // was copied.
    bool ImportImage(std::istream& stream) override;
    std::vector<std::string> GetPortNames() const override;
    // The blocks in list order, 16 bytes a record; the old file is replaced atomically.
    void SaveToFile(const std::filesystem::path& fileName) override;

    // Copies every block of Image, in list order, from `source` at BaseAddress + the
    // block's address. The first block that `source` does not cover whole raises
    // "Файл параметров не имеет блока данных %.8X - %.8X"; the bytes copied up to
    // there stay.
    void CopyBlocksFrom(TMemory& source);

    // Vetoes a change of a logical channel's value; nothing here.
    virtual void ValidateChannelChange(const void* sender, TField* field, const Variant& value,
                                       TFieldLst* channelList, bool& accept);
    // Forwards to ValidateFieldChange; pages bind their validate events to it.
    void ValidateFieldEvent(const void* sender, TField* field, const Variant& value, TFieldLst* row, bool& accept)
    {
        ValidateFieldChange(sender, field, value, row, accept);
    }

    int DeviceCount() const { return static_cast<int>(devices_.size()); }
    TDevice* DeviceByIndex(int index) const { return ItemAt(devices_, index); }
    int LogicChannelCount() const { return static_cast<int>(logicChannels_.size()); }
    TLogic* LogicChannelByIndex(int index) const { return ItemAt(logicChannels_, index); }
    int ScaleCount() const { return static_cast<int>(scales_.size()); }
    TScaleTIT* ScaleByIndex(int index) const { return ItemAt(scales_, index); }
    int ApertureCount() const { return static_cast<int>(apertures_.size()); }
    TAppertureTIT* ApertureByIndex(int index) const { return ItemAt(apertures_, index); }
    int InverseTSCount() const { return static_cast<int>(inverseTS_.size()); }
    TInverseTS* InverseTSByIndex(int index) const { return ItemAt(inverseTS_, index); }

    // Every channel block of every device, in order, until the callback clears `proceed`.
    void ForEachDeviceChannelList(
        const std::function<void(TDevice& device, TDevChannel& block, bool& proceed)>& callback) const;

    // The "SchemeID" text field.
    TStrField* SchemeIdField() const { return schemeId_; }

    // Adds a block to the image.
    TMemoryBlock* AddImageBlock(uint32_t offset, int32_t size) { return Image.AddBlock(offset, size); }

protected:
    // Sets the base model's members; Build lays out the image afterwards.
    TZumo2Doc();

    // Build steps, each at the layout's block and running offset.
    virtual void BuildPorts(TLayout& layout);
    virtual void BuildCommon(TLayout& layout);
    virtual void BuildDevices(TLayout& layout, int count);
    virtual void BuildLogicChannels(TLayout& layout, int count);
    virtual void BuildScales(TLayout& layout, int count);
    virtual void BuildApertures(TLayout& layout, int count);
    // The common fields, 32 bytes from the running offset; the first, a reserved word
    // (default 0, not checked), takes the given key.
    void BuildCommonFields(TLayout& layout, const char* firstKey);
    // The "SchemeID" text, 20 bytes, defaulting to ExpectedSchemeId.
    void AddSchemeId(TLayout& layout);
    // The header block at 0x0000, 84 bytes: BuildPorts, BuildCommon, "SchemeID".
    void BuildHeaderBlock();
    // A block of `size` bytes at `address` with 50 TIT apertures, then 50 TIT
    // conversions, from `start`.
    void BuildTitBlock(uint32_t address, int32_t size, int32_t start);

    // `count` elements made by the factory, each named and keyed Format(nameFormat, i)
    // for i = 1 .. count, at the running offset, appended to `list`.
    template <class T, class F>
    void AddNumbered(TLayout& layout, std::vector<T*>& list, F&& make, int count, const char* nameFormat)
    {
        for (int i = 1; i <= count; ++i) {
            std::string name = platform::Format(nameFormat, i);
            std::unique_ptr<T> node = make(name, layout.Block(), layout.Offset());
            if (T* added = layout.Add(std::move(name), std::move(node))) list.push_back(added);
        }
    }

    std::vector<TAppertureTIT*> apertures_;
    std::vector<TDevice*> devices_;
    std::vector<TInverseTS*> inverseTS_;
    std::vector<TLogic*> logicChannels_;
    std::vector<TScaleTIT*> scales_;

private:
    template <class T>
    static T* ItemAt(const std::vector<T*>& list, int index)
    {
        return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)] : nullptr;
    }

    TStrField* schemeId_ = nullptr;
};

// A base-model document, built; its fields read what the new image holds (zeros).
// ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo2Doc();
