#pragma once

#include "model/uZumo2.h"

#include <cstdint>
#include <memory>

// The synchronous Zumo 2 models: devices with more TIT conversion references, and a
// description for each TIT conversion kept in a string table of the image. This unit
// holds what the three sync models share and the model of code 1.

// Adds "descr" to every TIT conversion i of the document (a string proxy on text i of
// its storage "scaleTIT_descrList", default empty) and to every scale reference block
// of every device that has a "0003" (a lookup proxy on the storage by that field,
// which numbers the conversions from 1). Nothing without the storage.
void AddScaleDescriptionProxies(TZumo2Doc& document);

// Where a sync document lays its blocks, besides the base header at 0x0000 and the
// device table at 0x0200.
struct TSyncImage {
    int Devices;            // devices at the start of the table, 20 logical channels after them
    int32_t TableSize;      // bytes of the table block
    uint32_t DescrAddress;  // the block of "scaleTIT_descrList"
    uint32_t TitAddress;    // the block of the TIT apertures and conversions
    int32_t TitSize;
    int32_t TitStart;       // where the apertures start in it
};

// A sync document: the base layout with its own device table, the description table
// "scaleTIT_descrList" (version 1, 50 slots of 129 bytes: up to 128 characters) and
// its TIT block. Every TIT conversion i gets a string proxy "descr" on description i
// (default empty); every scale reference block of every device a lookup proxy "descr"
// on its "0003", which numbers the conversions from 1.
class TZumo2SyncDoc : public TZumo2Doc {
public:
    static constexpr int Descriptions = 50;
    static constexpr int32_t DescriptionSlot = 129;

    TFlashFixedStringsStorage* ScaleDescriptions = nullptr; // the child "scaleTIT_descrList"

    void Build() override;
    // Adds the "descr" proxies to the conversions and the device scale blocks.
    void BindScaleDescriptions();

protected:
    TZumo2SyncDoc(const TSyncImage& image, const char* schemeId) : image_(image) { ExpectedSchemeId = schemeId; }

private:
    TSyncImage image_;
};

// A sync document whose devices are of class D and whose conversions of class S; the
// model's name is given after the base named the document.
template <class D, class S>
class TZumo2SyncDocOf : public TZumo2SyncDoc {
protected:
    TZumo2SyncDocOf(const TSyncImage& image, const char* schemeId, const char* modelName)
        : TZumo2SyncDoc(image, schemeId), modelName_(modelName)
    {
    }
    void AfterConstruction() override
    {
        TZumo2SyncDoc::AfterConstruction();
        ModelName = modelName_;
    }
    void BuildDevices(TLayout& layout, int count) override
    {
        AddNumbered(layout, devices_, BlockFactoryOf<D>(), count, "Устройство_%.2d");
    }
    void BuildScales(TLayout& layout, int count) override
    {
        AddNumbered(layout, scales_, BlockFactoryOf<S>(), count, "Преобразование_%.2d");
    }

private:
    const char* modelName_;
};

// The layout of record class B under the class name Text: each sync model keeps its
// own names for its records, which CopyTo compares.
template <class B, const char* Text>
class TNamedRecord : public B {
public:
    const char* ClassName() const override { return Text; }

protected:
    using B::B;
};

// A sync device of class name Text: `Blocks` scale reference blocks of class S in
// place of 20.
template <class S, int Blocks, const char* Text>
class TZumo2SyncDevice : public TDevice {
public:
    const char* ClassName() const override { return Text; }

protected:
    using TDevice::TDevice;
    void AddScaleBlocks(TLayout& layout) override { AppendScaleBlocks(layout, Blocks, BlockFactoryOf<S>()); }
};

// Model code 1: 60 scale reference blocks, so 1044-byte devices.
inline constexpr char Zumo2sinDevScaleName[] = "TZumo2sin_DevScale";
inline constexpr char Zumo2sinScaleTITName[] = "TZumo2sin_ScaleTIT";
inline constexpr char Zumo2sinDeviceName[] = "TZumo2sin_Device";
using TZumo2sin_DevScale = TNamedRecord<TDevScale, Zumo2sinDevScaleName>;
using TZumo2sin_ScaleTIT = TNamedRecord<TScaleTIT, Zumo2sinScaleTITName>;
using TZumo2sin_Device = TZumo2SyncDevice<TZumo2sin_DevScale, 60, Zumo2sinDeviceName>;

// Model code 1, "Zumo2 синх", "Scheme ID:9.0.0.0": 0x0200 21200 bytes (20 devices),
// 0x54D0 the descriptions, 0x7000 1925 bytes (from 1200).
class TZumo2sinDoc : public TZumo2SyncDocOf<TZumo2sin_Device, TZumo2sin_ScaleTIT> {
public:
    const char* ClassName() const override { return "TZumo2sinDoc"; }

protected:
    TZumo2sinDoc();
};

// A code-1 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo2sinDoc();
