#include "configurator/core/LoaderOperation.h"

#include "configurator/core/LoaderHost.h"
#include "model/Memory.h"
#include "model/uDocument.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

namespace {

// The library's failure answer, logged as caption + " - неудача".
struct TOperationFailed {};

// Releases a list the library returned, every block in it first, once, on every path.
class TReturnedList {
public:
    explicit TReturnedList(TBlockList* list) : list_(list) {}
    ~TReturnedList()
    {
        if (!list_) return;
        for (int i = 0; i < list_->Count(); ++i)
            if (TMemoryBlock* block = list_->Block(i)) block->Release();
        list_->Release();
    }
    TReturnedList(const TReturnedList&) = delete;
    TReturnedList& operator=(const TReturnedList&) = delete;
    TBlockList* get() const { return list_; }

private:
    TBlockList* list_;
};

struct TListRelease {
    void operator()(TBlockList* list) const { list->Release(); }
};
using TOwnList = std::unique_ptr<TBlockList, TListRelease>;

int32_t CallInvoke(const TLoaderEntryPoints& entries, const TOperationRequest& request, TBlockList* blocks,
                   TBlockList** result)
{
    if (entries.Invoke3)
        return entries.Invoke3(request.Op, request.Device, kLoaderScheme, blocks, result, request.HostWindow,
                               request.LinearHex, request.BaseAddress);
    if (entries.Invoke2)
        return entries.Invoke2(request.Op, request.Device, kLoaderScheme, blocks, result, request.HostWindow);
    return entries.Invoke(request.Op, request.Device, kLoaderScheme, blocks, result);
}

// Copies every non-empty returned block into the image. The library gives addresses
// relative to the document, as it received them; the image holds them at the
// document's base address + that address, where the document's blocks are looked up.
void TakeReadBlocks(const TBlockList& list, uint32_t baseAddress, TMemory& image)
{
    for (int i = 0; i < list.Count(); ++i) {
        const TMemoryBlock* item = list.Block(i);
        if (!item || item->Size <= 0 || !item->Data()) continue;
        TMemoryBlock* copy = image.AddBlock(baseAddress + item->Address, item->Size);
        std::memcpy(copy->Data(), item->Data(), static_cast<size_t>(item->Size));
    }
}

void Execute(const TLoaderEntryPoints& entries, const TOperationRequest& request, TLoaderOperationHost& host)
{
    if (entries.SetSarnupolexParams) entries.SetSarnupolexParams(&request.Params, sizeof(LoaderParams));

    TOwnList blocks(new TBlockList);
    for (TMemoryBlock* block : request.Blocks) blocks->AddBlock(block);

    if (request.Op == opSettings) {
        TOwnList own(new TBlockList);
        own->AddInteger(request.ModelCode);
        TBlockList* list = own.get();
        if (CallInvoke(entries, request, blocks.get(), &list) == 0) throw TOperationFailed{};
        if (request.HasDeviceCombo) host.DeviceChosen(own->Count() > 0 ? own->Integer(0) : request.Device);
        return;
    }

    TBlockList* result = nullptr;
    const int32_t answer = CallInvoke(entries, request, blocks.get(), &result);
    TReturnedList returned(result);
    if (answer == 0) throw TOperationFailed{};
    blocks.reset();
    if (!returned.get()) return;

    TMemory image;
    TakeReadBlocks(*returned.get(), request.BaseAddress, image);
    if (const std::optional<std::string> question = SchemeVersionQuestion(image, request.ExpectedSchemeId))
        if (!host.AskWarning(*question)) return;
    host.ApplyReadDocument(image);
}

} // namespace

void RunLoaderOperation(const TLoaderEntryPoints& entries, const TOperationRequest& request,
                        TLoaderOperationHost& host) noexcept
{
    try {
        host.Log(request.Caption, 0);
        if (entries.CanInvoke()) Execute(entries, request, host);
        host.Log(request.Caption + " - Ok", 0);
    } catch (const TOperationFailed&) {
        host.Log(request.Caption + " - неудача", 1);
    } catch (const std::exception& e) {
        host.Log(request.Caption + " - " + e.what(), 1);
    } catch (...) {
        host.Log(request.Caption + " - неизвестная ошибка", 1);
    }
}

void ApplyReadImage(TDocument& document, TMemory& image)
{
    std::vector<std::vector<uint8_t>> copies;
    for (int i = 0; i < document.Image.BlockCount(); ++i) {
        const TMemoryBlock* block = document.Image.BlockByIndex(i);
        const uint32_t start = document.BaseAddress + block->Address;
        std::vector<uint8_t>& bytes = copies.emplace_back(static_cast<size_t>(std::max(block->Size, 0)));
        if (!image.CopyRange(start, bytes, false))
            throw platform::Exception(platform::Format("Файл параметров не имеет блока данных %.8X - %.8X", start,
                                                       start + static_cast<uint32_t>(block->Size)));
    }
    document.ResetDefaults();
    for (int i = 0; i < document.Image.BlockCount() && i < static_cast<int>(copies.size()); ++i)
        std::memcpy(document.Image.BlockByIndex(i)->Data(), copies[i].data(), copies[i].size());
    document.AfterLoad();
    document.SetModified(true);
}
