#pragma once
// One loader operation as the worker thread runs it, without widgets: the call into
// the library's entry point, the release of everything the library returns, the scheme
// check of read data and the hand-over of those data to the document. The window locks
// itself before the thread starts and unlocks when it ends; everything that touches
// the document or controls goes through TLoaderOperationHost, which runs it on the
// window thread.

#include "loader/SarnupolexLib.h"

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

class TDocument;
class TMemory;
class TMemoryBlock;

// The entry points older libraries export in place of Invoke3.
using InvokeProc = int32_t (*)(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                               TBlockList** result);
using Invoke2Proc = int32_t (*)(int32_t op, int32_t device, const char* scheme, TBlockList* blocks,
                                TBlockList** result, uint32_t hostWindow);

// The library's entry points as bound by name, and the older Invoke entry points; any
// of them may be empty. The host calls GetDevices, GetOPCodes, QuickSend,
// SetSarnupolexParams and Invoke3, else Invoke2, else Invoke.
struct TLoaderEntryPoints : TSarnupolexEntryPoints {
    InvokeProc Invoke = nullptr;
    Invoke2Proc Invoke2 = nullptr;

    bool CanInvoke() const { return Invoke3 || Invoke2 || Invoke; }
};

// The names of the older Invoke entry points, bound besides kSarnupolexEntryPoints.
inline constexpr std::tuple kOlderInvokeEntryPoints{
    TEntryPointName{"Invoke", &TLoaderEntryPoints::Invoke},
    TEntryPointName{"Invoke2", &TLoaderEntryPoints::Invoke2},
};

// What the worker takes from the window before it starts.
struct TOperationRequest {
    int32_t Op = 0;
    std::string Caption;           // the action's hint; heads every log line
    int32_t Device = -1;           // the device combo box's selection
    bool HasDeviceCombo = false;
    int32_t ModelCode = 0;         // the selected model, for the settings operation
    uint8_t LinearHex = 0;
    uint32_t BaseAddress = 0;
    uint32_t HostWindow = 0;
    std::string ExpectedSchemeId;  // the document's, for the check of read data
    LoaderParams Params{};
    std::vector<TMemoryBlock*> Blocks;  // the document's blocks, in image order; the library only reads them
};

// The window side of an operation. Log may be called from the worker; the others run
// their work on the window thread and return its result.
class TLoaderOperationHost {
public:
    virtual ~TLoaderOperationHost() = default;
    // kind 0 normal, 1 error.
    virtual void Log(const std::string& line, int kind) = 0;
    // A warning with Yes and No; true for Yes.
    virtual bool AskWarning(const std::string& question) = 0;
    // The settings operation chose this device: remember it and refill the combo box.
    virtual void DeviceChosen(int32_t index) = 0;
    // The read image replaces the document (ApplyReadImage and the tree's refresh);
    // raises to report a failure.
    virtual void ApplyReadDocument(TMemory& image) = 0;
};

// Runs the operation: logs the caption; with no Invoke entry point bound logs
// caption + " - Ok" at once. Otherwise hands over the parameter block (when
// SetSarnupolexParams is bound), calls Invoke3, else Invoke2, else Invoke; a zero
// result logs caption + " - неудача" (kind 1). The settings operation passes its own
// list holding the model code and, when the combo box exists, reports the device index
// the library put into it (else the request's index); it never takes that list for
// read data. A list the library returns for any other operation is read into a private
// image, each returned block at BaseAddress + its address (the library answers with
// addresses relative to the document, like those it received), each returned block
// and then the list released once by its own Release on
// every path; when the scheme question is not answered No, the image goes to the host.
// Every failure is logged as caption + " - " + its message (kind 1); success as
// caption + " - Ok". Never raises.
void RunLoaderOperation(const TLoaderEntryPoints& entries, const TOperationRequest& request,
                        TLoaderOperationHost& host) noexcept;

// Replaces the document by the read image: first checks that the image covers every
// block of the document at BaseAddress + the block's address, raising "Файл параметров
// не имеет блока данных %.8X - %.8X" with the document untouched when one is missing;
// then ResetDefaults, the copy of every block, AfterLoad (its exception passes on) and
// SetModified(true).
void ApplyReadImage(TDocument& document, TMemory& image);
